// The page: models dropped or chosen are converted by the batch tool's module in a worker, each
// in a panel of its own, with the view, the container's directory and blocks, the console
// lines and every output to download. Nothing leaves the machine.
import { unzlibSync, zipSync } from 'fflate';

import { kExportsFolder, stemOf } from './names.js';
import { dropView, makeView, nextTask, showGlb } from './view.js';

/* global MODULE_DEFLATED, WORKER_SOURCE */
const kLargestModel = 512 * 1024 * 1024;  // the outputs take several times the model
const module = WebAssembly.compile(unzlibSync(base64Bytes(MODULE_DEFLATED)));
const workerUrl = URL.createObjectURL(new Blob([WORKER_SOURCE], { type: 'text/javascript' }));

// A conversion worker is made ahead, while the page waits, and again after each conversion;
// the first view too (a later one is made as its model starts). Each takes a while to start,
// which a model would otherwise wait for.
const spares = { worker: null, view: null };
// Null where the browser cannot draw a view in a worker: the outputs come all the same.
const newView = () => {
  try {
    return makeView(640, 480, 'The model');
  } catch {
    return null;
  }
};
function makeSpares(view) {
  spares.worker ??= new Worker(workerUrl);
  if (view) spares.view = newView();
}
function take(kind) {
  const taken = spares[kind];
  spares[kind] = null;
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

// The outputs, named as the batch tool names them, and all of them as STEM.zip.
function downloads(stem, files) {
  const list = element('ul', { className: 'downloads' });
  const zip = {};
  const folder = `${kExportsFolder}/`;
  for (const path of Object.keys(files).sort()) {
    const bytes = files[path];
    const inZip = path.startsWith(folder) ? path.slice(folder.length) : path;
    list.append(lazyDownload(inZip.startsWith(`${stem}/`) ? inZip.slice(stem.length + 1) : inZip, () => bytes));
    zip[inZip] = bytes;
  }
  // Stored, not compressed: quick on the page's thread, and the files are the same.
  if (Object.keys(zip).length > 0) {
    list.append(lazyDownload(`${stem}.zip`, () => zipSync(zip, { level: 0 })));
  }
  return list;
}

// The job's console lines, warnings and errors marked.
function appendLines(pre, text) {
  for (const line of text.split('\n').slice(0, -1)) {
    const kind = line.startsWith('Error') ? 'error' : line.startsWith('Warning') ? 'warning' : '';
    pre.append(element('span', { className: kind, textContent: `${line}\n` }));
  }
}

// A block's part of the info file, the first megabyte of it at most.
function blockText(info, section) {
  const end = Math.min(section.end, section.start + (1 << 20));
  // A copy: a decoder takes no view of an array that can grow.
  const text = new TextDecoder('latin1').decode(info.slice(section.start, end));
  return end < section.end ? `${text}\n(the first megabyte of ${section.end - section.start} bytes)` : text;
}

function directoryTable(sections, info, file, detail) {
  const table = element('table', { className: 'directory' },
    element('caption', { textContent: 'Directory' }),
    element('tr', {}, ...['Block', 'Name', 'Address', 'Size', 'Kind', 'In the info file'].map(
      (title) => element('th', { scope: 'col', textContent: title }))));
  sections.forEach((section, i) => {
    const button = element('button', { type: 'button', textContent: section.name });
    button.addEventListener('click', async () => {
      const address = Number(section.address);
      const bytes = Number.isSafeInteger(address) ? await modelBytes(file, address, 4096) : new Uint8Array();
      detail.replaceChildren(
        element('h3', { textContent: `Block ${i}: ${section.name}` }),
        element('pre', { className: 'info', tabIndex: 0, textContent: blockText(info, section) }),
        element('h3', { textContent: 'Its first bytes' }),
        element('pre', { className: 'hex', tabIndex: 0, textContent: hexView(bytes, address) }));
    });
    table.append(element('tr', {}, element('td', { textContent: String(i) }),
      element('td', {}, button), element('td', { textContent: section.address }),
      element('td', { textContent: section.size }),
      element('td', { textContent: section.known ? 'known' : 'unknown' }),
      element('td', { textContent: section.rendered ? 'shown' : 'listed only' })));
  });
  return table;
}

async function viewer(panel, glb, lines, shown) {
  const controls = element('div', { className: 'controls' });
  panel.querySelector('.view').append(shown.canvas, controls);
  const counts = /Mesh written: .* \((.*)\)/.exec(lines)?.[1];
  if (counts) controls.append(element('p', { textContent: counts }));
  if (/Mesh written: .* \(0 vertices/.test(lines)) {
    controls.append(element('p', { textContent: 'The model has no vertices.' }));
  }
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

async function finish(panel, file, result, view) {
  const stem = stemOf(file.name);
  const lines = panel.querySelector('.console').textContent;
  const info = result.files[`${stem}.txt`];
  const detail = element('div', { className: 'block' });
  if (info) {
    panel.append(element('h3', { textContent: 'Header' }),
      element('pre', { className: 'header', tabIndex: 0, textContent: result.header }),
      directoryTable(result.sections, info, file, detail), detail);
  }
  panel.append(element('h3', { textContent: 'Downloads' }), downloads(stem, result.files));
  const glb = result.files[`${stem}.glb`];
  await nextTask();
  try {
    if (glb && view) await viewer(panel, glb, lines, view);
    if (glb && !view) throw new Error('this browser cannot draw it in a worker');
  } catch (error) {
    view?.canvas.remove();
    panel.querySelector('.view').append(element('p', { textContent: `The view cannot be shown: ${error.message}.` }));
  }
  if (!glb) dropView(view);
  if (result.errors) panel.querySelector('.message').textContent = result.errors.trim();
}

// The conversion in a worker: its lines shown as they come, the bar moved by what it writes
// (the outputs of a model are about six times its size), its results shown when it ends.
async function convert(file, panel, fail) {
  const worker = take('worker') ?? new Worker(workerUrl);
  const view = take('view') ?? newView();
  const progress = panel.querySelector('progress');
  const cancel = panel.querySelector('.cancel');
  const output = panel.querySelector('.console');
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
    if (data.lines) return appendLines(output, data.lines);
    if (data.written) {
      progress.value = Math.min(data.written, 0.99 * progress.max);
      return undefined;
    }
    worker.terminate();
    progress.remove();
    cancel.remove();
    try {
      await finish(panel, file, data, view);
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
    element('h3', { textContent: 'Console' }), element('pre', { className: 'console', tabIndex: 0 }));
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
