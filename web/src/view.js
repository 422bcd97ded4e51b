// The page's side of a model's view: a canvas drawn by a worker of its own (view_worker.js),
// so that loading a large mesh never holds up the page. The page hands the worker the canvas,
// the glb and the canvas's pointer, wheel and key events, and sets the view's switches.
/* global VIEW_WORKER_SOURCE */
const viewWorkerUrl = URL.createObjectURL(new Blob([VIEW_WORKER_SOURCE], { type: 'text/javascript' }));

// The page's thread goes on with other work (a timer, a click) between steps: the next step
// waits behind every task that is due (a timeout of 0 may run before them).
export const nextTask = () => new Promise((resolve) => {
  if (globalThis.scheduler?.postTask) {
    globalThis.scheduler.postTask(resolve, { priority: 'background' });
  } else {
    setTimeout(resolve, 0);
  }
});

const kForwarded = ['pointerdown', 'pointermove', 'pointerup', 'pointercancel', 'wheel',
  'contextmenu', 'keydown', 'keyup'];
const kFields = ['pointerId', 'pointerType', 'button', 'ctrlKey', 'metaKey', 'shiftKey',
  'deltaY', 'deltaMode', 'key', 'code'];

// The canvas's events as the orbit controls read them, with places relative to the canvas.
// Keys of the view's own, besides the orbit controls' arrows: zoom, the three looks and fit.
const kKeys = { '+': ['zoom', 0.8], '=': ['zoom', 0.8], '-': ['zoom', 1.25], '_': ['zoom', 1.25],
  f: ['look', 'front'], t: ['look', 'top'], s: ['look', 'side'], 0: ['fit'] };

function forwardEvents(canvas, worker) {
  canvas.addEventListener('keydown', (event) => {
    const command = !event.ctrlKey && !event.metaKey && !event.altKey && kKeys[event.key.toLowerCase()];
    if (!command) return;
    event.preventDefault();
    worker.postMessage({ command: command[0], values: command.slice(1) });
  });
  for (const type of kForwarded) {
    canvas.addEventListener(type, (event) => {
      // The wheel zooms and the arrow keys pan the view, not the page.
      const arrow = type === 'keydown' && event.key.startsWith('Arrow');
      if (type === 'wheel' || type === 'contextmenu' || arrow) event.preventDefault();
      if (type === 'pointerdown') canvas.setPointerCapture(event.pointerId);
      const box = canvas.getBoundingClientRect();
      const copy = { type, clientX: event.clientX - box.left, clientY: event.clientY - box.top };
      copy.pageX = copy.clientX;
      copy.pageY = copy.clientY;
      for (const field of kFields) copy[field] = event[field];
      worker.postMessage({ event: copy });
    }, { passive: !['wheel', 'contextmenu', 'keydown'].includes(type) });
  }
}

// A canvas and its drawing worker, made ahead of the model they will show.
export function makeView(width, height, label) {
  const canvas = document.createElement('canvas');
  Object.assign(canvas, { width, height, tabIndex: 0 });  // focused, the arrow keys pan
  canvas.setAttribute('aria-label', label);
  const worker = new Worker(viewWorkerUrl);
  const offscreen = canvas.transferControlToOffscreen();
  worker.postMessage({ canvas: offscreen }, [offscreen]);
  forwardEvents(canvas, worker);
  // Each frame drawn is counted on the canvas, for whoever waits for the view to change.
  worker.addEventListener('message', ({ data }) => {
    if (data.frame) canvas.dataset.frame = String(data.frame);
  });
  return { canvas, worker };
}

export function dropView(view) {
  view?.worker.terminate();
}

// Shows the glb (an ArrayBuffer, handed over to the worker); resolves to the view's switches
// and materials.
export function showGlb(view, glb) {
  const { worker } = view;
  const command = (name, ...values) => worker.postMessage({ command: name, values });
  return new Promise((resolve, reject) => {
    const answer = ({ data }) => {
      if (!data.materials && !data.failed) return;
      worker.removeEventListener('message', answer);
      if (data.failed) {
        reject(new Error(data.failed));
        return;
      }
      resolve({
        fit: () => command('fit'),
        materials: data.materials.map((material, index) => ({
          ...material,
          show: (visible) => command('material', index, visible),
        })),
        showBodies: (visible) => command('bodies', visible),
        look: (name) => command('look', name),
        wireframe: (on) => command('wireframe', on),
      });
    };
    worker.addEventListener('message', answer);
    worker.postMessage({ glb }, [glb]);
  });
}
