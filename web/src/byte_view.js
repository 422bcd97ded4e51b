// The model file's bytes: a coverage bar of where they go (header, directory, each block, gaps,
// overlaps, past the end), and the whole file in hex, scrolled virtually: only the rows in
// sight are read from the file and drawn, so a 500 MB file is as quick as a small one.
import { element } from './dom.js';
import { blockEnd } from './damage.js';

const kRowBytes = 16;
const kRowHeight = 18;      // px, as the style sheet sets it
const kRowsShown = 16;
const kTallest = 1 << 22;   // px: a browser does not scroll much taller boxes
const kBarParts = 2000;     // parts drawn on the bar at most

const hex2 = (byte) => byte.toString(16).padStart(2, '0');
const escaped = (text) => text.replace(/[&<>]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;' })[c]);

// An offset typed as hex ("0x1A0", "1a0h") or decimal.
export function parseOffset(text) {
  const typed = text.trim().toLowerCase();
  const hex = typed.match(/^(?:0x([0-9a-f]+)|([0-9a-f]+)h)$/);
  if (hex) return parseInt(hex[1] ?? hex[2], 16);
  return /^\d+$/.test(typed) ? Number(typed) : NaN;
}

// One row: its offset, 16 bytes in hex and as text; the chosen range's bytes marked, its first
// and last byte too, and the byte gone to.
function rowHtml(at, bytes, chosen, target) {
  const cells = [];
  const text = [];
  for (let i = 0; i < kRowBytes; ++i) {
    if (i >= bytes.length) {
      cells.push('  ');
      continue;
    }
    const p = at + i;
    const classes = [];
    if (chosen && p >= chosen.start && p < chosen.end) classes.push('in');
    if (chosen && p === chosen.start) classes.push('first');
    if (chosen && p === chosen.end - 1) classes.push('last');
    if (p === target) classes.push('target');
    const byte = bytes[i];
    const shown = byte >= 32 && byte < 127 ? escaped(String.fromCharCode(byte)) : '.';
    cells.push(classes.length ? `<span class="${classes.join(' ')}">${hex2(byte)}</span>` : hex2(byte));
    text.push(classes.includes('in') ? `<span class="in">${shown}</span>` : shown);
  }
  return `${at.toString(16).padStart(8, '0')}  ${cells.join(' ')}  ${text.join('')}`;
}

// The hex view of `file` (a File or Blob). show(start, end) marks a range and goes to it.
export function hexView(file, label) {
  const size = file.size;
  const rows = Math.max(1, Math.ceil(size / kRowBytes));
  const spacer = element('div', { className: 'hex-spacer' });
  const lines = element('pre', { className: 'hex-rows', 'aria-live': 'off' });
  const scroller = element('div', { className: 'hex-scroll', tabIndex: 0, role: 'region', 'aria-label': `The bytes of ${label}` }, lines, spacer);
  const viewport = kRowsShown * kRowHeight;
  spacer.style.height = `${Math.min(rows * kRowHeight, kTallest)}px`;
  const room = () => Math.max(1, Math.min(rows * kRowHeight, kTallest) - viewport);
  const lastFirst = Math.max(0, rows - kRowsShown);
  const state = { chosen: null, target: -1, drawn: 0 };

  const draw = async () => {
    const first = Math.round((scroller.scrollTop / room()) * lastFirst);
    const token = ++state.drawn;
    const start = first * kRowBytes;
    const bytes = new Uint8Array(await file.slice(start, start + kRowsShown * kRowBytes).arrayBuffer());
    if (token !== state.drawn) return;
    const html = [];
    for (let r = 0; r < kRowsShown && r * kRowBytes < Math.max(bytes.length, 1); ++r) {
      html.push(rowHtml(start + r * kRowBytes, bytes.subarray(r * kRowBytes, (r + 1) * kRowBytes), state.chosen, state.target));
    }
    lines.innerHTML = html.join('\n');
    lines.dataset.first = String(start);
  };
  let pending = false;
  scroller.addEventListener('scroll', () => {
    if (pending) return;
    pending = true;
    requestAnimationFrame(() => {
      pending = false;
      draw();
    });
  });

  const goTo = (offset) => {
    const row = Math.min(Math.floor(offset / kRowBytes), rows - 1);
    state.target = offset;
    scroller.scrollTop = lastFirst === 0 ? 0 : (Math.min(row, lastFirst) / lastFirst) * room();
    return draw();
  };

  const field = element('input', { type: 'text', inputMode: 'text', size: 12, placeholder: '0x0' });
  const said = element('span', { className: 'offset-said', role: 'status' });
  const form = element('form', { className: 'goto' },
    element('label', {}, 'Go to offset ', field), ' ',
    element('button', { type: 'submit', textContent: 'Go' }), ' ', said);
  form.addEventListener('submit', (event) => {
    event.preventDefault();
    const offset = parseOffset(field.value);
    if (!(offset >= 0 && offset < Math.max(size, 1))) {
      said.textContent = `An offset from 0 to 0x${Math.max(size - 1, 0).toString(16)}, in hex (0x1a0) or decimal.`;
      return;
    }
    said.textContent = '';
    goTo(offset);
  });
  draw();
  return {
    element: element('div', { className: 'bytes' }, form, scroller),
    show(start, end) {
      state.chosen = { start, end };
      return goTo(start);
    },
  };
}

// Where a range sits on the bar, as a percentage of the file (whose part is `room` percent).
const placed = (node, start, end, size, room) => {
  node.style.left = `${(start / size) * room}%`;
  node.style.width = `${Math.max(((end - start) / size) * room, 0)}%`;
};

// The coverage bar: the file's parts in place; a block's part selects the block.
export function coverageBar(parts, blocks, size, damaged, select) {
  const pastEnd = blocks.some((block) => blockEnd(block) > size);
  const room = pastEnd ? 94 : 100;
  const bar = element('div', { className: 'coverage', role: 'group', 'aria-label': 'Where the bytes of the file go' });
  const drawn = parts.slice(0, kBarParts);
  for (const part of drawn) {
    const title = part.kind === 'block'
      ? `Block ${part.block.index}: ${part.block.name}, bytes ${part.start} to ${part.end}`
      : `${part.kind === 'gap' ? 'Not in any block' : part.kind[0].toUpperCase() + part.kind.slice(1)}: bytes ${part.start} to ${part.end}`;
    const node = part.kind === 'block'
      ? element('button', { type: 'button', title, 'aria-label': title, 'data-block': String(part.block.index) })
      : element('span', { title });
    node.className = `part ${part.kind}${part.kind === 'block' && damaged.has(part.block.index) ? ' damaged' : ''}`;
    placed(node, part.start, part.end, size || 1, room);
    if (part.kind === 'block') node.addEventListener('click', () => select(part.block));
    bar.append(node);
  }
  if (pastEnd) {
    const node = element('span', { className: 'part past', title: 'Past the end of the file: blocks declare bytes the file does not hold' });
    node.style.left = `${room}%`;
    node.style.width = `${100 - room}%`;
    bar.append(node);
  }
  const legend = element('ul', { className: 'legend' }, ...[['header', 'header'], ['directory', 'directory'],
    ['block', 'block'], ['block damaged', 'damaged or overlapping block'], ['gap', 'in no block'],
    ...(pastEnd ? [['past', 'past the end']] : [])].map(([kind, text]) =>
    element('li', {}, element('span', { className: `key part ${kind}` }), ` ${text}`)));
  const note = parts.length > kBarParts ? element('p', { textContent: `The bar shows the first ${kBarParts} of ${parts.length} parts.` }) : null;
  return element('div', { className: 'coverage-box' }, bar, legend, note);
}
