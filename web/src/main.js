// The page: models dropped or chosen are converted by the batch tool's module in a worker, each
// in a panel of its own, with the view, the container's directory and blocks, the warnings
// and errors and every output to download, all from what the tool tells as JSON Lines. Nothing leaves the machine.
import { unzlibSync, zipSync } from 'fflate';

import { dropView, makeView, nextTask, showGlb } from './view.js';

/* global MODULE_DEFLATED, WORKER_SOURCE */
const kLargestModel = 512 * 1024 * 1024;  // the outputs take several times the model
const module = WebAssembly.compile(unzlibSync(base64Bytes(MODULE_DEFLATED)));
const workerUrl = URL.createObjectURL(new Blob([WORKER_SOURCE], { type: 'text/javascript' }));

// A conversion worker is made ahead, while the page waits, and again after each conversion;
// the first view too (a later one is made as its model starts). Each takes a while to start,
// which a model would otherwise wait for.
const readyAhead = { worker: null, view: null };
// Null where the browser cannot draw a view in a worker: the outputs come all the same.
const newView = () => {
  try {
    return makeView(640, 480, 'The model');
  } catch {
    return null;
  }
};
function makeSpares(view) {
  readyAhead.worker ??= new Worker(workerUrl);
  if (view) readyAhead.view = newView();
}
function take(kind) {
  const taken = readyAhead[kind];
  readyAhead[kind] = null;
  return taken;
}

function base64Bytes(text) {
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

function element(tag, properties = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(properties)) {
    if (key.startsWith('data-') || key.startsWith('aria-') || key === 'role') {
      node.setAttribute(key, value);
    } else {
      node[key] = value;
    }
  }
  node.append(...children.filter((child) => child !== null && child !== undefined));
  return node;
}

// What a file that is no model is, from its first bytes; nothing for a possible model.
function notAModel(bytes, size) {
  if (size === 0) return 'it is empty';
  const starts = (...signature) => signature.every((byte, i) => bytes[i] === byte);
  if (starts(0x89, 0x50, 0x4e, 0x47) || starts(0xff, 0xd8, 0xff) || starts(0x47, 0x49, 0x46)) {
    return 'it is a picture';
  }
  if (starts(0x25, 0x50, 0x44, 0x46)) return 'it is a PDF document';
  if (starts(0x50, 0x4b, 0x03, 0x04)) return 'it is a zip archive';
  if (bytes.every((byte) => byte === 9 || byte === 10 || byte === 13 || (byte >= 32 && byte < 127))) {
    return 'it is a text file';
  }
  return null;
}

function hexView(bytes, offset) {
  const rows = [];
  for (let at = 0; at < bytes.length; at += 16) {
    const row = bytes.subarray(at, at + 16);
    const hex = [...row].map((b) => b.toString(16).padStart(2, '0')).join(' ');
    const text = [...row].map((b) => (b >= 32 && b < 127 ? String.fromCharCode(b) : '.')).join('');
    rows.push(`${(offset + at).toString(16).padStart(8, '0')}  ${hex.padEnd(48)}  ${text}`);
  }
  return rows.join('\n');
}

// Bytes of the model from `offset`, read from its file when asked for.
async function modelBytes(file, offset, length) {
  return new Uint8Array(await file.slice(offset, offset + length).arrayBuffer());
}

// A download whose file is made when it is chosen: the outputs of a large model are several
// times its size, and each copy held for a link would be one more.
function lazyDownload(name, make) {
  const link = element('a', { download: name, textContent: name, href: '#' });
  link.addEventListener('click', () => {
    if (link.href.startsWith('blob:')) return;
    const bytes = make();
    // A Blob takes no view of an array that can grow: such a file is copied now.
    link.href = URL.createObjectURL(new Blob([bytes.buffer.resizable ? bytes.slice() : bytes]));
  });
  return element('li', {}, link);
}

// The outputs, named as the batch tool names them, and all of them as STEM.zip: the export
// files in the folder STEM (the model's exports folder, named after its stem), the others
// beside it.
function downloads(exportsFolder, files) {
  const list = element('ul', { className: 'downloads' });
  const zip = {};
  const stem = exportsFolder.slice(exportsFolder.lastIndexOf('/') + 1);
  for (const path of Object.keys(files).sort()) {
    const bytes = files[path];
    const exported = path.startsWith(`${exportsFolder}/`);
    const name = exported ? path.slice(exportsFolder.length + 1) : path;
    list.append(lazyDownload(name, () => bytes));
    zip[exported ? `${stem}/${name}` : name] = bytes;
  }
  // Stored, not compressed: quick on the page's thread, and the files are the same.
  if (Object.keys(zip).length > 0) {
    list.append(lazyDownload(`${stem}.zip`, () => zipSync(zip, { level: 0 })));
  }
  return list;
}

// What a model's run told, gathered from its events as they come.
function newReport() {
  return { model: null, header: null, blocks: [], sections: new Map(), mesh: null, messages: [], files: [] };
}

function gather(report, events, messages) {
  for (const event of events) {
    switch (event.event) {
      case 'model': report.model = event; break;
      case 'header': report.header = event; break;
      case 'block': report.blocks.push(event); break;
      case 'section': report.sections.set(event.index, event); break;
      case 'mesh': report.mesh = event; break;
      case 'file': report.files.push(event); break;
      case 'warning':
      case 'error':
        report.messages.push(event);
        messages.append(element('li', { className: event.event, textContent: event.text }));
        break;
      default:
    }
  }
}

// A block's part of the info file, the first megabyte of it at most.
function blockText(info, section) {
  const end = Math.min(section.end, section.start + (1 << 20));
  // A copy: a decoder takes no view of an array that can grow.
  const text = new TextDecoder('latin1').decode(info.slice(section.start, end));
  return end < section.end ? `${text}\n(the first megabyte of ${section.end - section.start} bytes)` : text;
}

const address = (offset) => `0x${offset.toString(16).toUpperCase()}`;

function directoryTable(report, info, file, detail) {
  const table = element('table', { className: 'directory' },
    element('caption', { textContent: 'Directory' }),
    element('tr', {}, ...['Block', 'Name', 'Address', 'Size', 'Kind', 'In the info file'].map(
      (title) => element('th', { scope: 'col', textContent: title }))));
  for (const block of report.blocks) {
    const button = element('button', { type: 'button', textContent: block.name });
    const section = report.sections.get(block.index);
    button.addEventListener('click', async () => {
      const bytes = await modelBytes(file, block.offset, 4096);
      detail.replaceChildren(
        element('h3', { textContent: `Block ${block.index}: ${block.name}` }),
        section ? element('pre', { className: 'info', tabIndex: 0, textContent: blockText(info, section) }) : null,
        element('h3', { textContent: 'Its first bytes' }),
        element('pre', { className: 'hex', tabIndex: 0, textContent: hexView(bytes, block.offset) }));
    });
    table.append(element('tr', {}, element('td', { textContent: String(block.index) }),
      element('td', {}, button), element('td', { textContent: address(block.offset) }),
      element('td', { textContent: block.count === null ? 'past the end' : String(block.count) }),
      element('td', { textContent: block.known ? 'known' : 'unknown' }),
      element('td', { textContent: block.info_shows ? 'shown' : 'listed only' })));
  }
  return table;
}

// The header as the info file shows it: its text, then its 28 bytes.
function headerText(header) {
  const bytes = header.hex.match(/../g).join(' ');
  return `${header.text.replace(/[\x00-\x1f\x7f]/g, '.')}\n${bytes}${header.whole ? '' : ' (the file ends inside it)'}`;
}

const countOf = (n, one, many) => `${n} ${n === 1 ? one : many}`;

async function viewer(panel, glb, mesh, shown) {
  const controls = element('div', { className: 'controls' });
  panel.querySelector('.view').append(shown.canvas, controls);
  if (mesh) {
    controls.append(element('p', { textContent: [countOf(mesh.vertices, 'vertex', 'vertices'),
      countOf(mesh.triangles, 'triangle', 'triangles'),
      countOf(mesh.bodies, 'collision body', 'collision bodies')].join(', ') }));
  }
  if (mesh?.vertices === 0) controls.append(element('p', { textContent: 'The model has no vertices.' }));
  const view = await showGlb(shown, glb);
  const fit = element('button', { type: 'button', textContent: 'Fit to view' });
  fit.addEventListener('click', view.fit);
  const toggle = (label, act, checked = true) => {
    const box = element('input', { type: 'checkbox', checked });
    box.addEventListener('change', () => act(box.checked));
    return element('label', {}, box, ` ${label}`);
  };
  const materials = element('ul', { className: 'materials', 'aria-label': 'Materials' });
  for (const material of view.materials) {
    const swatch = element('span', { className: 'swatch' });
    swatch.style.background = material.colour;
    materials.append(element('li', {}, swatch, toggle(material.name, material.show)));
  }
  controls.append(fit, toggle('collision bodies', view.showBodies),
    toggle('wireframe', view.wireframe, false), materials);
}

// A file the run wrote in `role`, if it wrote one.
const written = (report, files, role) => files[report.files.find((f) => f.role === role)?.path];

async function finish(panel, file, result, report, view) {
  const info = written(report, result.files, 'info');
  const detail = element('div', { className: 'block' });
  if (report.header) {
    panel.append(element('h3', { textContent: 'Header' }),
      element('pre', { className: 'header', tabIndex: 0, textContent: headerText(report.header) }),
      directoryTable(report, info, file, detail), detail);
  }
  panel.append(element('h3', { textContent: 'Downloads' }),
    downloads(report.model?.exports_folder ?? '', result.files));
  const glb = written(report, result.files, 'glb');
  await nextTask();
  try {
    if (glb && view) await viewer(panel, glb, report.mesh, view);
    if (glb && !view) throw new Error('this browser cannot draw it in a worker');
  } catch (error) {
    view?.canvas.remove();
    panel.querySelector('.view').append(element('p', { textContent: `The view cannot be shown: ${error.message}.` }));
  }
  if (!glb) dropView(view);
  if (report.messages.length === 0) panel.querySelector('.messages').append(element('li', { textContent: 'None.' }));
  if (result.errors) panel.querySelector('.message').textContent = result.errors.trim();
}

// The conversion in a worker: its lines shown as they come, the bar moved by what it writes
// (the outputs of a model are about six times its size), its results shown when it ends.
async function convert(file, panel, fail) {
  const worker = take('worker') ?? new Worker(workerUrl);
  const view = take('view') ?? newView();
  const progress = panel.querySelector('progress');
  const cancel = panel.querySelector('.cancel');
  const messages = panel.querySelector('.messages');
  const report = newReport();
  progress.max = Math.max(1, 6 * file.size);
  const stop = () => {
    worker.terminate();
    dropView(view);
  };
  cancel.addEventListener('click', () => {
    stop();
    fail('Cancelled.');
  });
  worker.onmessage = async ({ data }) => {
    if (data.events) return gather(report, data.events, messages);
    if (data.written) {
      progress.value = Math.min(data.written, 0.99 * progress.max);
      return undefined;
    }
    worker.terminate();
    progress.remove();
    cancel.remove();
    try {
      await finish(panel, file, data, report, view);
      // Status 1: the job ran and said what went wrong; its lines and outputs are shown.
      panel.dataset.state = data.status === 0 || data.status === 1 ? 'done' : 'failed';
    } catch (error) {
      fail(`Showing ${file.name} failed: ${error.message}`);
    }
    nextTask().then(() => makeSpares(false));
    return undefined;
  };
  worker.onerror = (event) => {
    stop();
    fail(`The conversion failed: ${event.message}`);
  };
  worker.postMessage({ module: await module, file });
}

function modelPanel(file) {
  return element('section', { className: 'model', 'data-model': file.name, 'data-state': 'converting' },
    element('h2', { textContent: file.name }),
    element('progress', { 'aria-label': `Converting ${file.name}` }),
    element('button', { type: 'button', className: 'cancel', textContent: 'Cancel' }),
    element('p', { className: 'message', role: 'status' }), element('div', { className: 'view' }),
    element('h3', { textContent: 'Warnings and errors' }), element('ul', { className: 'messages' }));
}

function openModel(file, list) {
  const panel = modelPanel(file);
  list.prepend(panel);
  const fail = (message) => {
    panel.querySelector('.message').textContent = message;
    panel.dataset.state = 'failed';
    panel.querySelector('progress')?.remove();
    panel.querySelector('.cancel')?.remove();
  };
  if (file.size > kLargestModel) {
    fail(`${file.name} is too large for this page (${file.size} bytes; at most ${kLargestModel}): use the command-line tool.`);
    return;
  }
  modelBytes(file, 0, 4096).then((head) => {
    const reason = notAModel(head, file.size);
    if (reason) return fail(`${file.name} is not a model file: ${reason}.`);
    return convert(file, panel, fail);
  }).catch((error) => fail(`${file.name} cannot be read: ${error.message}`));
}

const input = document.querySelector('input[type=file]');
const drop = document.querySelector('.drop');
const list = document.querySelector('.models');
const openAll = (files) => { for (const file of files) openModel(file, list); };
input.addEventListener('change', () => {
  openAll(input.files);
  input.value = '';
});
drop.addEventListener('dragover', (event) => event.preventDefault());
drop.addEventListener('drop', (event) => {
  event.preventDefault();
  openAll(event.dataTransfer.files);
});
nextTask().then(() => makeSpares(true));
