// The page: models dropped or chosen are converted by the batch tool's module in a worker, each
// in a panel of its own, with the view, the preview picture, the container's directory, its
// bytes and what is wrong with them, the warnings and errors and every output to download, all
// from what the tool tells as JSON Lines. The outputs stay in the model's worker until its panel
// is closed. Nothing leaves the machine.
import { unzlibSync } from 'fflate';

import { coverageBar, hexView } from './byte_view.js';
import { blockEnd, fileParts, findDamage } from './damage.js';
import { countOf, element, sizeText } from './dom.js';
import { outputsIn } from './outputs.js';
import { dropView, makeView, nextTask, showGlb } from './view.js';

/* global MODULE_DEFLATED, SAMPLE_BASE64, WORKER_SOURCE */
const kLargestModel = 512 * 1024 * 1024;  // the outputs take several times the model
const kTableRows = 1000;                  // directory rows shown at a time
const kSlowView = 10000;                  // ms after which the view offers to be skipped
const module = WebAssembly.compile(unzlibSync(base64Bytes(MODULE_DEFLATED)));
const workerUrl = URL.createObjectURL(new Blob([WORKER_SOURCE], { type: 'text/javascript' }));
const announce = (text) => { document.querySelector('#announce').textContent = text; };

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

// A download whose Blob is asked of the worker when it is first chosen; the link is then
// followed again, now to the Blob.
function offer(name, make, model) {
  const link = element('a', { download: name, textContent: name, href: '#' });
  link.addEventListener('click', async (event) => {
    if (link.href.startsWith('blob:')) return;
    event.preventDefault();
    if (link.dataset.busy) return;
    link.dataset.busy = 'yes';
    try {
      const blob = await make();
      if (!blob) return;
      link.href = model.url(blob);
      link.click();
    } catch (error) {
      link.after(element('span', { className: 'failed', textContent: ` ${error.message}` }));
    } finally {
      delete link.dataset.busy;
    }
  });
  return link;
}

// The zip of every output, made in the worker with its progress shown and a Cancel.
function zipOffer(stem, entries, model) {
  const item = element('li');
  const progress = element('span', { className: 'zip-progress', role: 'status' });
  const make = () => new Promise((resolve, reject) => {
    const { answer, cancel } = model.outputs.zip(entries, (done) => {
      progress.textContent = ` making the zip: ${Math.floor(100 * done)} % `;
    });
    const stop = element('button', { type: 'button', textContent: 'Cancel' });
    stop.addEventListener('click', () => {
      cancel();
      resolve(null);
    });
    progress.after(stop);
    answer.then(resolve, reject).finally(() => {
      stop.remove();
      progress.textContent = '';
    });
  });
  item.append(offer(`${stem}.zip`, make, model), progress);
  return item;
}

// The outputs, named as the batch tool names them, and all of them as STEM.zip: the export
// files in the folder STEM (the model's exports folder, named after its stem), the others
// beside it.
function downloads(exportsFolder, files, model) {
  const list = element('ul', { className: 'downloads' });
  const entries = [];
  const stem = exportsFolder.slice(exportsFolder.lastIndexOf('/') + 1);
  for (const path of Object.keys(files).sort()) {
    const exported = path.startsWith(`${exportsFolder}/`);
    const name = exported ? path.slice(exportsFolder.length + 1) : path;
    list.append(element('li', {}, offer(name, () => model.outputs.blob(path), model),
      element('span', { className: 'size', textContent: ` ${sizeText(files[path])}` })));
    entries.push([exported ? `${stem}/${name}` : name, path]);
  }
  if (entries.length > 0) list.append(zipOffer(stem, entries, model));
  return list;
}

// What a model's run told, gathered from its events as they come.
function newReport() {
  return { model: null, header: null, blocks: [], directory: null, sections: new Map(), mesh: null, messages: [], files: [] };
}

// The phase a run is in, from the last event that came.
const kPhases = { model: 'reading the header and directory', directory: 'writing the export files',
  section: 'writing the info file', file: 'making the glb and the picture' };

function gather(report, events, panel) {
  for (const event of events) {
    switch (event.event) {
      case 'model': report.model = event; break;
      case 'header': report.header = event; break;
      case 'block': report.blocks.push(event); break;
      case 'directory': report.directory = event; break;
      case 'section': report.sections.set(event.index, event); break;
      case 'mesh': report.mesh = event; break;
      case 'file': report.files.push(event); break;
      case 'warning':
      case 'error':
        report.messages.push(event);
        panel.querySelector('.messages').append(element('li', { className: event.event, textContent: event.text }));
        break;
      default:
    }
    if (kPhases[event.event]) panel.querySelector('.phase').textContent = kPhases[event.event];
  }
}

const address = (offset) => `0x${offset.toString(16).toUpperCase()}`;

// The header as the info file shows it: its text, then its 28 bytes.
function headerText(header) {
  const bytes = header.hex.match(/../g).join(' ');
  return `${header.text.replace(/[\x00-\x1f\x7f]/g, '.')}\n${bytes}${header.whole ? '' : ' (the file ends inside it)'}`;
}

// A block chosen: its part of the info file (the first megabyte at most) and its bytes.
async function showBlock(model, block, detail, bytes) {
  const section = model.report.sections.get(block.index);
  const info = model.report.files.find((f) => f.role === 'info')?.path;
  const end = blockEnd(block);
  detail.replaceChildren(element('h3', { textContent: `Block ${block.index}: ${block.name}` }),
    element('p', { textContent: `Bytes ${address(block.offset)} to ${address(end)} (${sizeText(end - block.offset)}).` }));
  bytes.show(block.offset, Math.min(end, model.file.size));
  if (!section || !info) return;
  const last = Math.min(section.end, section.start + (1 << 20));
  const text = new TextDecoder('latin1').decode(await model.outputs.slice(info, section.start, last));
  detail.append(element('pre', { className: 'info', tabIndex: 0,
    textContent: last < section.end ? `${text}\n(the first megabyte of ${section.end - section.start} bytes)` : text }));
}

function blockRow(block, faults, choose) {
  const button = element('button', { type: 'button', textContent: block.name });
  button.addEventListener('click', () => choose(block));
  const end = blockEnd(block);
  return element('tr', { className: faults ? 'damaged' : '' }, element('td', { textContent: String(block.index) }),
    element('td', {}, button), element('td', { textContent: address(block.offset) }),
    element('td', { textContent: block.count === null ? 'past the end' : String(block.count) }),
    element('td', { textContent: `${address(block.offset)}–${address(end)}` }),
    element('td', { textContent: block.end === null ? 'not known' : String(end - block.offset) }),
    element('td', { textContent: block.known ? 'known' : 'unknown' }),
    element('td', { textContent: block.info_shows ? 'shown' : 'listed only' }),
    element('td', { className: 'faults', textContent: faults ? faults.join('; ') : '' }));
}

// The directory, a thousand rows at a time: a directory may hold millions of entries.
function directoryTable(report, damage, choose) {
  const table = element('table', { className: 'directory' },
    element('caption', { textContent: `Directory: ${countOf(report.blocks.length, 'block', 'blocks')}` }),
    element('tr', {}, ...['Block', 'Name', 'Address', 'Size', 'Bytes', 'Length', 'Kind', 'In the info file', 'Found wrong'].map(
      (title) => element('th', { scope: 'col', textContent: title }))));
  const more = element('button', { type: 'button', className: 'more' });
  let shown = 0;
  const showMore = () => {
    const rows = report.blocks.slice(shown, shown + kTableRows);
    table.append(...rows.map((block) => blockRow(block, damage.blocks.get(block.index), choose)));
    shown += rows.length;
    more.textContent = `Show ${Math.min(kTableRows, report.blocks.length - shown)} more of ${report.blocks.length}`;
    more.hidden = shown >= report.blocks.length;
  };
  more.addEventListener('click', showMore);
  showMore();
  return element('div', { className: 'table-box' }, table, more);
}

// The header, the coverage bar, the directory, the chosen block and the bytes.
function layoutPart(model, damage) {
  const { report, file } = model;
  const detail = element('div', { className: 'block' });
  const bytes = hexView(file, file.name);
  const choose = (block) => showBlock(model, block, detail, bytes);
  const parts = fileParts(report.blocks, report.directory, report.header);
  return [element('h3', { textContent: 'Header' }),
    element('pre', { className: 'header', tabIndex: 0, textContent: headerText(report.header) }),
    element('h3', { textContent: 'Where the bytes go' }),
    coverageBar(parts, report.blocks, report.directory.file_size, damage.blocks, choose),
    directoryTable(report, damage, choose), detail,
    element('h3', { textContent: 'Bytes' }), bytes.element];
}

async function viewer(panel, glb, mesh, shown, name) {
  const controls = element('div', { className: 'controls' });
  shown.canvas.setAttribute('aria-label', `3D view of ${name}`);
  panel.querySelector('.view').prepend(shown.canvas, controls);
  if (mesh) {
    controls.append(element('p', { textContent: [countOf(mesh.vertices, 'vertex', 'vertices'),
      countOf(mesh.triangles, 'triangle', 'triangles'),
      countOf(mesh.bodies, 'collision body', 'collision bodies')].join(', ') }));
  }
  if (mesh?.vertices === 0) controls.append(element('p', { textContent: 'The model has no vertices.' }));
  const view = await drawOrSkip(shown, glb, controls);
  if (!view) return;
  const button = (text, act) => {
    const node = element('button', { type: 'button', textContent: text });
    node.addEventListener('click', act);
    return node;
  };
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
  controls.append(element('div', { className: 'looks' }, button('Fit to view', view.fit),
    button('Front', () => view.look('front')), button('Top', () => view.look('top')), button('Side', () => view.look('side'))),
  toggle('collision bodies', view.showBodies), toggle('wireframe', view.wireframe, false), materials,
  element('p', { className: 'keys', textContent: 'Keys, with the view focused: arrows pan, Shift+arrows rotate, + and − zoom, F front, T top, S side, 0 fit.' }));
}

// Draws the view, with a Cancel, and after a while an offer to skip it; null when skipped.
function drawOrSkip(shown, glb, controls) {
  const waiting = element('p', { className: 'drawing', textContent: 'Drawing the view… ' });
  const skip = element('button', { type: 'button', textContent: 'Cancel' });
  waiting.append(skip);
  controls.append(waiting);
  const slow = setTimeout(() => {
    waiting.firstChild.textContent = 'The view is taking long to draw. ';
    skip.textContent = 'Skip the view';
  }, kSlowView);
  return new Promise((resolve, reject) => {
    skip.addEventListener('click', () => {
      dropView(shown);
      shown.canvas.replaceWith(element('p', { textContent: 'The view was skipped: the picture and every download are here.' }));
      resolve(null);
    });
    showGlb(shown, glb).then(resolve, reject);
  }).finally(() => {
    clearTimeout(slow);
    waiting.remove();
  });
}

// A file the run wrote in `role`, if it wrote one.
const written = (report, role) => report.files.find((f) => f.role === role)?.path;

async function showPicture(model) {
  const png = written(model.report, 'png');
  if (!png) return;
  const image = element('img', { className: 'preview', alt: `Preview picture of ${model.file.name}` });
  image.src = model.url(await model.outputs.blob(png));
  model.panel.querySelector('.view').append(element('figure', {}, image, element('figcaption', { textContent: 'The preview picture' })));
}

async function showView(model, view) {
  const glb = written(model.report, 'glb');
  try {
    if (glb && view) {
      await viewer(model.panel, await model.outputs.slice(glb, 0, model.sizes[glb]), model.report.mesh, view, model.file.name);
    } else if (glb) {
      throw new Error('this browser cannot draw it in a worker');
    }
  } catch (error) {
    view?.canvas.remove();
    model.panel.querySelector('.view').append(element('p', { textContent: `The view cannot be shown: ${error.message}.` }));
  }
  if (!glb) dropView(view);
}

// The state, the summary at the top of the panel and what the live region says, once the run
// ended: failed when it converted nothing, warnings when it or the page found anything wrong.
function conclude(model, status, damage) {
  const { report, panel, file } = model;
  const errors = report.messages.filter((m) => m.event === 'error');
  const warnings = report.messages.filter((m) => m.event === 'warning');
  const converted = (status === 0 || status === 1) && report.files.length > 0 && !damage.notAModel;
  const found = [...errors.map((m) => m.text), ...warnings.map((m) => m.text), ...damage.file];
  const state = !converted ? 'failed' : found.length > 0 ? 'warnings' : 'done';
  panel.dataset.state = state;
  const summary = panel.querySelector('.summary');
  const counts = [countOf(errors.length, 'error', 'errors'), countOf(warnings.length, 'warning', 'warnings')];
  if (damage.file.length > 0) counts.push(damage.file.join(', '));
  const failed = damage.notAModel ? 'Not a model: its directory names no block the tool knows'
    : 'Not converted';
  summary.textContent = state === 'done' ? 'Converted: no errors, no warnings, no damage found.'
    : `${state === 'failed' ? failed : 'Converted, with faults'}: ${counts.join(', ')}.`;
  if (found.length > 0) summary.append(element('ul', {}, ...found.slice(0, 5).map((text) => element('li', { textContent: text }))));
  announce(`${file.name}: ${summary.firstChild.textContent}`);
}

async function finish(model, data, view) {
  const { report, panel } = model;
  model.sizes = data.files;
  const held = Object.values(data.files).reduce((sum, n) => sum + n, 0);
  panel.querySelector('.held').textContent = `; this page holds ${sizeText(held)} of its outputs`;
  const damage = report.directory ? findDamage(report.blocks, report.directory)
    : { blocks: new Map(), file: [], notAModel: false };
  conclude(model, data.status, damage);
  if (report.header && report.directory) panel.append(...layoutPart(model, damage));
  panel.append(element('h3', { textContent: 'Downloads' }), downloads(report.model?.exports_folder ?? '', data.files, model));
  await nextTask();
  await showPicture(model);
  await showView(model, view);
  if (report.messages.length === 0) panel.querySelector('.messages').append(element('li', { textContent: 'None.' }));
  if (data.errors) panel.querySelector('.message').textContent = data.errors.trim();
}

// The conversion in a worker: its lines shown as they come, the bar moved by what it writes
// (the outputs of a model are about six times its size), its results shown when it ends.
async function convert(model) {
  const { file, panel } = model;
  const worker = take('worker') ?? new Worker(workerUrl);
  const view = take('view') ?? newView();
  model.outputs = outputsIn(worker);
  model.report = newReport();
  model.closers.push(() => { worker.terminate(); dropView(view); });
  const progress = panel.querySelector('progress');
  const percent = panel.querySelector('.percent');
  progress.max = Math.max(1, 6 * file.size);
  panel.querySelector('.cancel').addEventListener('click', () => {
    worker.terminate();
    dropView(view);
    model.fail('Cancelled.');
  });
  worker.onmessage = async ({ data }) => {
    if (model.outputs.receive(data)) return undefined;
    if (data.events) return gather(model.report, data.events, panel);
    if (data.written) {
      progress.value = Math.min(data.written, 0.99 * progress.max);
      percent.textContent = `${Math.floor((100 * progress.value) / progress.max)} %`;
      return undefined;
    }
    panel.querySelector('.progress-box').remove();
    try {
      await finish(model, data, view);
    } catch (error) {
      model.fail(`Showing ${file.name} failed: ${error.message}`);
    }
    nextTask().then(() => makeSpares(false));
    return undefined;
  };
  worker.onerror = (event) => {
    worker.terminate();
    dropView(view);
    model.fail(`The conversion failed: ${event.message}`);
  };
  worker.postMessage({ module: await module, file });
}

function modelPanel(file) {
  return element('section', { className: 'model', 'data-model': file.name, 'data-state': 'converting', 'aria-label': file.name },
    element('div', { className: 'panel-head' },
      element('h2', { textContent: file.name }),
      element('button', { type: 'button', className: 'close', textContent: `Close ${file.name}` })),
    element('p', { className: 'facts' }, `Model file (.zmdl), ${sizeText(file.size)} (${file.size} bytes)`,
      element('span', { className: 'held' })),
    element('div', { className: 'summary' }),
    element('div', { className: 'progress-box' },
      element('progress', { 'aria-label': `Converting ${file.name}` }), ' ',
      element('span', { className: 'percent', textContent: '0 %' }), ' ',
      element('span', { className: 'phase', textContent: 'starting' }), ' ',
      element('button', { type: 'button', className: 'cancel', textContent: 'Cancel' })),
    element('p', { className: 'message' }), element('div', { className: 'view' }),
    element('h3', { textContent: 'Warnings and errors' }), element('ul', { className: 'messages' }));
}

// A model's panel and what it holds; closing it ends its workers and lets go of its outputs.
function openModel(file, list) {
  const panel = modelPanel(file);
  list.prepend(panel);
  const urls = [];
  const model = { file, panel, closers: [], url: (blob) => { urls.push(URL.createObjectURL(blob)); return urls.at(-1); } };
  model.fail = (message) => {
    panel.querySelector('.message').textContent = message;
    panel.dataset.state = 'failed';
    panel.querySelector('.progress-box')?.remove();
    announce(`${file.name}: ${message}`);
  };
  panel.querySelector('.close').addEventListener('click', () => {
    for (const close of model.closers) close();
    for (const url of urls) URL.revokeObjectURL(url);
    panel.remove();
    announce(`Closed ${file.name}.`);
  });
  if (file.size > kLargestModel) {
    model.fail(`${file.name} is too large for this page (${file.size} bytes; at most ${kLargestModel}): use the command-line tool.`);
    return;
  }
  file.slice(0, 4096).arrayBuffer().then((head) => {
    const reason = notAModel(new Uint8Array(head), file.size);
    if (reason) return model.fail(`${file.name} is not a model file: ${reason}.`);
    return convert(model);
  }).catch((error) => model.fail(`${file.name} cannot be read: ${error.message}`));
}

const input = document.querySelector('input[type=file]');
const list = document.querySelector('.models');
const openAll = (files) => { for (const file of files) openModel(file, list); };
input.addEventListener('change', () => {
  openAll(input.files);
  input.value = '';
});
document.querySelector('.sample').addEventListener('click', () => {
  openAll([new File([base64Bytes(SAMPLE_BASE64)], 'sample.zmdl')]);
});
// Files may be dropped anywhere on the page; the drop target is lit while they are dragged.
const dragsFiles = (event) => event.dataTransfer?.types.includes('Files');
document.addEventListener('dragover', (event) => {
  if (!dragsFiles(event)) return;
  event.preventDefault();
  document.body.classList.add('dragging');
});
document.addEventListener('dragleave', (event) => {
  if (event.relatedTarget === null) document.body.classList.remove('dragging');
});
document.addEventListener('drop', (event) => {
  document.body.classList.remove('dragging');
  if (!dragsFiles(event)) return;
  event.preventDefault();
  openAll(event.dataTransfer.files);
});
nextTask().then(() => makeSpares(true));
