// Converts one model with the batch tool's WebAssembly module, on files held in memory: the
// model file alone in the root folder, and the outputs as `model-unpack-batch -C exports --glb
// --png MODEL` writes them. The page sends the compiled module and the model's file; this
// worker sends back the console lines as they come and how much is written, then every file
// the job wrote, handed over rather than copied.
import {
  ConsoleStdout,
  Directory,
  File,
  OpenFile,
  PreopenDirectory,
  WASI,
} from '@bjorn3/browser_wasi_shim';

import { kExportsFolder, modelFileOf, stemOf } from './names.js';

const kBadDescriptor = 8;

// The shim copies every piece read or written into a new array and gives a file a new array
// of exactly its new size at every write: a large model's job then spent most of its time in
// garbage collection and in copying. Here reading hands out views of the model, writing copies
// once, straight from the module's memory, into an array that grows in place (a resizable one
// where the browser has them, else one that doubles), the file's bytes being a view of the part
// written.
OpenFile.prototype.fd_read = function read(size) {
  const at = Number(this.file_pos);
  const data = this.file.data.subarray(at, at + size);
  this.file_pos += BigInt(data.length);
  return { ret: 0, data };
};
OpenFile.prototype.fd_pread = function pread(size, offset) {
  const at = Number(offset);
  return { ret: 0, data: this.file.data.subarray(at, at + size) };
};

const kLargestFile = 2 ** 32 - 2 ** 16;
const kMostLetterKs = 1 << 20;
const resizable = typeof ArrayBuffer.prototype.resize === 'function';

// A file's array with room for `end` bytes, its bytes kept.
function roomFor(file, end) {
  let room = file.data.buffer === file.room ? file.room : null;
  if (room && room.byteLength >= end) return room;
  if (room?.resizable && room.maxByteLength >= end) {
    room.resize(end);
    return room;
  }
  room = resizable ? new ArrayBuffer(end, { maxByteLength: Math.max(kLargestFile, end) })
    : new ArrayBuffer(Math.max(end, 2 * (room?.byteLength ?? 0), 65536));
  new Uint8Array(room).set(file.data);
  file.room = room;
  return room;
}

OpenFile.prototype.fd_write = function write(data) {
  const file = this.file;
  if (file.readonly) return { ret: kBadDescriptor, nwritten: 0 };
  const at = Number(this.file_pos);
  const end = at + data.byteLength;
  const bytes = new Uint8Array(roomFor(file, end));
  bytes.set(data, at);
  // For the info file: where the letter k is, found while the bytes are at hand (see below);
  // forgotten for a file full of them, which is then searched whole.
  if (file.letterKs) {
    for (let k = data.indexOf(0x6b); k >= 0; k = data.indexOf(0x6b, k + 1)) file.letterKs.push(at + k);
    if (file.letterKs.length > kMostLetterKs) file.letterKs = null;
  }
  file.data = bytes.subarray(0, Math.max(end, file.data.byteLength));
  this.file_pos = BigInt(end);
  return { ret: 0, nwritten: data.byteLength };
};

// The shim's fd_write with views of the module's memory instead of copies; `wrote` hears of
// every piece that reaches a file.
function writeFromMemory(wasi, wrote) {
  return (fd, pieces, count, writtenAt) => {
    const open = wasi.fds[fd];
    if (open === undefined) return kBadDescriptor;
    const memory = wasi.inst.exports.memory.buffer;
    const words = new DataView(memory);
    let written = 0;
    let status = 0;
    for (let i = 0; i < count && status === 0; ++i) {
      const length = words.getUint32(pieces + 8 * i + 4, true);
      const result = open.fd_write(new Uint8Array(memory, words.getUint32(pieces + 8 * i, true), length));
      status = result.ret;
      written += result.nwritten;
      if (open instanceof OpenFile) wrote(result.nwritten);
      if (result.nwritten !== length) break;
    }
    words.setUint32(writtenAt, written, true);
    return status;
  };
}

// The shim's path_open, marking the file opened as `infoName` in the root folder for the
// search for its block headings. The tool writes it under a temporary name beside it
// (".castle.txt.1a2b3c") and renames it when the job ends.
function openMarking(wasi, infoName) {
  const open = wasi.wasiImport.path_open;
  const isInfo = (path) => path === infoName
    || (path.length === infoName.length + 8 && path.startsWith(`.${infoName}.`));
  return (fd, flags, pathAt, pathLength, oflags, rights, inherited, fdFlags, openedAt) => {
    const status = open(fd, flags, pathAt, pathLength, oflags, rights, inherited, fdFlags, openedAt);
    const memory = wasi.inst.exports.memory.buffer;
    if (status === 0 && fd === 3 && isInfo(utf8.decode(new Uint8Array(memory, pathAt, pathLength)))) {
      const file = wasi.fds[new DataView(memory).getUint32(openedAt, true)]?.file;
      if (file) file.letterKs = [];
    }
    return status;
  };
}

// Every file under `directory` by its path, and the arrays that hold them, to hand over.
function collect(directory, prefix, files, arrays) {
  for (const [name, inode] of directory.contents) {
    if (inode instanceof Directory) {
      collect(inode, `${prefix}${name}/`, files, arrays);
    } else {
      files[`${prefix}${name}`] = inode.data;
      arrays.add(inode.data.buffer);
    }
  }
}

const latin1 = new TextDecoder('latin1');
const utf8 = new TextDecoder();
// A copy of the bytes is decoded: a decoder takes no view of an array that can grow.
const text = (bytes, from, to) => latin1.decode(bytes.slice(from, Math.min(to, bytes.length)));
const kHeading = /-{19}\r\n--Block number +\d+--\r\n-{19}\r\n/y;
const kBlockWord = [...'--Block number'].map((c) => c.charCodeAt(0));

// Where the info file's block headings begin. The info file may be larger than the longest
// string a browser makes, so its bytes are searched: for the rare letter k (at the places
// found while it was written, when there are any), then the whole heading around it.
function headingStarts(info, letterKs) {
  const starts = [];
  const check = (k) => {
    const word = k - 6;  // "--Block": the k is its seventh letter
    if (word < 21 || !kBlockWord.every((c, i) => info[word + i] === c)) return;
    kHeading.lastIndex = 0;
    if (kHeading.test(text(info, word - 21, word + 64))) starts.push(word - 21);
  };
  if (letterKs) {
    letterKs.forEach(check);
  } else {
    for (let k = info.indexOf(0x6b); k >= 0; k = info.indexOf(0x6b, k + 1)) check(k);
  }
  return starts;
}

// The info file's header text and its block sections: each block's listing fields, and where
// its part of the file begins and ends, so the page's thread never reads a large info file.
function infoSections(info, letterKs, knownKinds) {
  if (!info) return { header: '', sections: [] };
  const starts = headingStarts(info, letterKs);
  const tail = text(info, Math.max(0, info.length - 4096), info.length);
  const endMark = tail.lastIndexOf('---End of file---');
  const last = endMark < 0 ? info.length : info.length - tail.length + endMark;
  const sections = starts.map((start, i) => {
    const end = i + 1 < starts.length ? starts[i + 1] : last;
    const head = text(info, start, Math.min(end, start + 4096));
    const field = (label) => new RegExp(`${label}: (.*)\\r\\n`).exec(head)?.[1] ?? '';
    const body = head.indexOf('\r\n\r\n');
    const name = field('Name of block');
    return {
      name,
      address: field('Adress of block'),
      size: field('Size of block'),
      known: knownKinds.has(name),
      start,
      end,
      rendered: body >= 0 && head.slice(body + 4, body + 68).trim() !== '',
    };
  });
  // The header's bytes are shown as the hex view shows them: control characters as dots.
  const header = text(info, 0, Math.min(starts[0] ?? last, 65536)).trimEnd()
    .replace(/[\x00-\x08\x0b\x0c\x0e-\x1f\x7f]/g, '.');
  return { header, sections };
}

function kindNames(instance) {
  const memory = new Uint8Array(instance.exports.memory.buffer);
  const at = instance.exports.block_kind_names();
  return new Set(text(memory, at, memory.indexOf(0, at)).split('\n').filter(Boolean));
}

// Console lines go to the page a whole line at a time.
function lineSender() {
  const decoder = new TextDecoder();
  let pending = '';
  return {
    take(chunk) {
      pending += decoder.decode(chunk, { stream: true });
      const end = pending.lastIndexOf('\n');
      if (end < 0) return;
      self.postMessage({ lines: pending.slice(0, end + 1) });
      pending = pending.slice(end + 1);
    },
    flush() {
      if (pending) self.postMessage({ lines: pending });
    },
  };
}

// How much the job has written, at most ten times a second.
function writtenSender() {
  let written = 0;
  let told = 0;
  return (bytes) => {
    written += bytes;
    if (performance.now() - told < 100) return;
    told = performance.now();
    self.postMessage({ written });
  };
}

const infoName = (name) => `${stemOf(name)}.txt`;

// The model's bytes, read in four parts at once: a browser reads a large file faster so.
async function readModel(file) {
  const bytes = new Uint8Array(file.size);
  const part = Math.max(1, Math.ceil(file.size / 4));
  await Promise.all([0, 1, 2, 3].map(async (i) => {
    const read = await file.slice(i * part, (i + 1) * part).arrayBuffer();
    bytes.set(new Uint8Array(read), i * part);
  }));
  return bytes;
}

// The batch tool's run over the folder `root`, and the module's instance; the module is made
// ready while the model is being read.
async function batchRun(module, root, name, errors) {
  const wasi = new WASI(
    ['model-unpack-batch', '-C', kExportsFolder, '--glb', '--png', name],
    ['PWD=/'],
    [new OpenFile(new File([])), new ConsoleStdout(errors.lines.take),
      new ConsoleStdout((chunk) => { errors.text += new TextDecoder().decode(chunk); }), root],
    { debug: false },
  );
  const imports = {
    ...wasi.wasiImport,
    fd_write: writeFromMemory(wasi, writtenSender()),
    path_open: openMarking(wasi, infoName(name)),
  };
  return { wasi, instance: await WebAssembly.instantiate(module, { wasi_snapshot_preview1: imports }) };
}

self.onmessage = async ({ data: { module, file } }) => {
  const name = file.name;
  const said = { lines: lineSender(), text: '' };
  try {
    const root = new PreopenDirectory('/', new Map());
    const [bytes, { wasi, instance }] = await Promise.all([readModel(file), batchRun(module, root, name, said)]);
    // Where the tool looks for it: "castle" is opened as "castle.zmdl".
    root.dir.contents.set(modelFileOf(name), new File(bytes));
    const status = wasi.start(instance);
    said.lines.flush();
    root.dir.contents.delete(modelFileOf(name));
    const files = {};
    const arrays = new Set();
    collect(root.dir, '', files, arrays);
    const info = root.dir.contents.get(infoName(name));
    const { header, sections } = infoSections(info?.data, info?.letterKs, kindNames(instance));
    self.postMessage({ done: true, status, errors: said.text, files, header, sections }, [...arrays]);
  } catch (error) {
    said.lines.flush();
    self.postMessage({ done: true, status: -1, errors: `${said.text}${error}`, files: {} });
  }
};
