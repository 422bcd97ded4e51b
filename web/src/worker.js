// Converts one model with the batch tool's WebAssembly module, on files held in memory: the
// model file alone in the root folder, and the outputs as `model-unpack-batch -C exports --glb
// --png MODEL` writes them. The tool tells what it does as JSON Lines (--json): this worker
// sends the page each event as it comes and how much is written, then the files the events
// name, handed over rather than copied. Which file the tool opens for the model, the tool says
// too (--plan).
import { Zip, ZipPassThrough } from 'fflate';
import {
  ConsoleStdout,
  Directory,
  File,
  OpenFile,
  PreopenDirectory,
  WASI,
} from '@bjorn3/browser_wasi_shim';

const kBadDescriptor = 8;
const kExportsFolder = 'exports';

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

// The file at `path` under `directory`, if there is one.
function fileAt(directory, path) {
  let node = directory;
  for (const name of path.split('/')) node = node instanceof Directory ? node.contents.get(name) : undefined;
  return node instanceof File ? node : undefined;
}

// The tool's JSON Lines, parsed a whole line at a time, handed on as arrays of events.
function eventReader(take) {
  const decoder = new TextDecoder();
  let pending = '';
  return {
    take(chunk) {
      pending += decoder.decode(chunk, { stream: true });
      const end = pending.lastIndexOf('\n');
      if (end < 0) return;
      take(pending.slice(0, end).split('\n').map((line) => JSON.parse(line)));
      pending = pending.slice(end + 1);
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

// The model's bytes, read whole: Chromium reads a large file at once about twice as fast as in
// four parts (100 MB: 0.45 s against 0.8-1.1 s). Given its buffer, the shim's File takes the
// bytes as they are (given an array, it copies them: 0.3 to 0.5 s of new memory for 100 MB).
async function readModel(file) {
  return file.arrayBuffer();
}

// One run of the batch tool with `args` over the folder `root`; `events` hears its JSON
// Lines, `errors` its standard error. Its exit status.
async function batchRun(module, root, args, events, errors) {
  const stdout = eventReader(events);
  const wasi = new WASI(
    ['model-unpack-batch', ...args],
    ['PWD=/'],
    [new OpenFile(new File([])), new ConsoleStdout(stdout.take),
      new ConsoleStdout((chunk) => { errors.text += new TextDecoder().decode(chunk); }), root],
    { debug: false },
  );
  const imports = { ...wasi.wasiImport, fd_write: writeFromMemory(wasi, writtenSender()) };
  const instance = await WebAssembly.instantiate(module, { wasi_snapshot_preview1: imports });
  return wasi.start(instance);
}

// The outputs stay here, in the worker, until the page closes the model's panel (and ends the
// worker): the page's thread never holds or copies them. It asks for what it shows or offers.
const held = { files: {} };

// A stored zip of `entries` ([name in the zip, path of an output]), made in pieces so that a
// cancel can come between them; the page hears how far it is.
async function zipBlob(id, entries) {
  // The zip's pieces gathered into Blobs as they come, a few large parts in the end rather
  // than many small ones.
  const parts = [];
  let pieces = [];
  const gather = () => {
    if (pieces.length > 0) parts.push(new Blob(pieces));
    pieces = [];
  };
  const zip = new Zip((error, chunk) => {
    if (error) throw error;
    pieces.push(chunk);
  });
  const total = entries.reduce((sum, [, path]) => sum + held.files[path].byteLength, 0) || 1;
  let done = 0;
  for (const [name, path] of entries) {
    const entry = new ZipPassThrough(name);
    zip.add(entry);
    const bytes = held.files[path];
    const piece = 8 << 20;
    for (let at = 0; ; at += piece) {
      const last = at + piece >= bytes.byteLength;
      entry.push(bytes.buffer.resizable ? bytes.slice(at, at + piece) : bytes.subarray(at, at + piece), last);
      done += Math.min(piece, bytes.byteLength - at);
      gather();
      self.postMessage({ reply: id, progress: done / total });
      await new Promise((resolve) => { setTimeout(resolve, 0); });
      if (held.cancelled === id) throw new Error('cancelled');
      if (last) break;
    }
  }
  zip.end();
  gather();
  return new Blob(parts, { type: 'application/zip' });
}

// What the page asks of the outputs held: a file as a Blob, a part of one, or a zip of several.
async function answer({ request: id, blob, slice, zip }) {
  try {
    if (blob !== undefined) return self.postMessage({ reply: id, blob: new Blob(blobParts(held.files[blob])) });

    if (slice !== undefined) {
      const [path, start, end] = slice;
      const bytes = held.files[path].slice(start, end).buffer;
      return self.postMessage({ reply: id, bytes }, [bytes]);
    }
    return self.postMessage({ reply: id, blob: await zipBlob(id, zip) });
  } catch (error) {
    return self.postMessage({ reply: id, failed: String(error.message ?? error) });
  }
}

// A Blob takes no view of an array that can grow: such a file goes in copies of 16 MB pieces,
// made when it is asked for (making the whole array one that cannot grow copies it too, for
// every output of every model, asked for or not).
function blobParts(data) {
  if (!data.buffer.resizable) return [data];
  const parts = [];
  for (let at = 0; at < data.byteLength; at += 16 << 20) parts.push(data.slice(at, at + (16 << 20)));
  return parts;
}

async function convert(module, file) {
  const errors = { text: '' };
  try {
    const root = new PreopenDirectory('/', new Map());
    const args = ['-C', kExportsFolder, '--glb', '--png', file.name];
    // Where the tool looks for the model: "castle" is opened as "castle.zmdl".
    let planned;
    const bytes = readModel(file);
    await batchRun(module, root, ['--plan', ...args], (events) => {
      planned ??= events.find((event) => event.event === 'model');
    }, errors);
    if (!planned) throw new Error(errors.text.trim() || 'the tool made no plan');
    root.dir.contents.set(planned.path, new File(await bytes));
    const status = await batchRun(module, root, ['--json', ...args], (events) => {
      for (const event of events) {
        if (event.event !== 'file') continue;
        const data = fileAt(root.dir, event.path)?.data;
        if (data) held.files[event.path] = data;
      }
      self.postMessage({ events });
    }, errors);
    const sizes = Object.fromEntries(Object.entries(held.files).map(([path, data]) => [path, data.byteLength]));
    self.postMessage({ done: true, status, errors: errors.text, files: sizes });
  } catch (error) {
    self.postMessage({ done: true, status: -1, errors: `${errors.text}${error}`, files: {} });
  }
}

self.onmessage = ({ data }) => {
  if (data.module) return convert(data.module, data.file);
  if (data.cancel !== undefined) {
    held.cancelled = data.cancel;
    return undefined;
  }
  return answer(data);
};
