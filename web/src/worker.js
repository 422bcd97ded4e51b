// Converts one model with the batch tool's WebAssembly module, on files held in memory: the
// model file alone in the root folder, and the outputs as `model-unpack-batch -C exports --glb
// --png MODEL` writes them. The page sends the compiled module and the model's bytes; this
// worker sends back the console lines as they come, then every file the job wrote.
import {
  ConsoleStdout,
  Directory,
  File,
  OpenFile,
  PreopenDirectory,
  WASI,
} from '@bjorn3/browser_wasi_shim';

// The shim gives a file a new array of exactly its new size at every write, so a file written
// in 256 KiB pieces costs the square of its size; here its array grows by doubling instead, and
// the file's bytes are a view of the part written.
const kBadDescriptor = 8;
OpenFile.prototype.fd_write = function write(data) {
  const file = this.file;
  if (file.readonly) return { ret: kBadDescriptor, nwritten: 0 };
  const at = Number(this.file_pos);
  const end = at + data.byteLength;
  let room = file.data.buffer.byteLength === file.data.byteLength && file.data.byteOffset === 0
    ? file.data.buffer : file.room;
  if (!room || room.byteLength < end) {
    const grown = new ArrayBuffer(Math.max(end, 2 * (room?.byteLength ?? 0), 65536));
    new Uint8Array(grown).set(file.data);
    room = grown;
  }
  file.room = room;
  const bytes = new Uint8Array(room);
  bytes.set(data, at);
  file.data = bytes.subarray(0, Math.max(end, file.data.byteLength));
  this.file_pos = BigInt(end);
  return { ret: 0, nwritten: data.byteLength };
};

function collect(directory, prefix, files) {
  for (const [name, inode] of directory.contents) {
    if (inode instanceof Directory) {
      collect(inode, `${prefix}${name}/`, files);
    } else {
      files[`${prefix}${name}`] = inode.data.slice();
    }
  }
  return files;
}

// The info file's block sections, found here so the page's thread never reads a large info
// file whole: each block's listing fields, and where its part of the file begins and ends.
function blockSections(info) {
  if (!info) return [];
  const text = new TextDecoder('latin1').decode(info);
  const heading = /-{19}\r\n--Block number +\d+--\r\n-{19}\r\n/g;
  const starts = [...text.matchAll(heading)].map((match) => match.index);
  const last = text.lastIndexOf('---End of file---');
  return starts.map((start, i) => {
    const end = i + 1 < starts.length ? starts[i + 1] : last;
    const head = text.slice(start, Math.min(end, start + 512));
    const field = (label) => new RegExp(`${label}: (.*)\\r\\n`).exec(head)?.[1] ?? '';
    const body = text.indexOf('\r\n\r\n', start) + 4;
    return {
      name: field('Name of block'),
      address: field('Adress of block'),
      size: field('Size of block'),
      start,
      end,
      rendered: text.slice(body, Math.min(end, body + 64)).trim() !== '',
    };
  });
}

self.onmessage = async ({ data: { module, name, bytes } }) => {
  const decoder = new TextDecoder();
  let pending = '';
  const lines = (chunk) => {
    pending += decoder.decode(chunk, { stream: true });
    const end = pending.lastIndexOf('\n');
    if (end < 0) return;
    self.postMessage({ lines: pending.slice(0, end + 1) });
    pending = pending.slice(end + 1);
  };
  let errors = '';
  const root = new PreopenDirectory('/', new Map([[name, new File(bytes)]]));
  const wasi = new WASI(
    ['model-unpack-batch', '-C', 'exports', '--glb', '--png', name],
    ['PWD=/'],
    [
      new OpenFile(new File([])),
      new ConsoleStdout(lines),
      new ConsoleStdout((chunk) => { errors += decoder.decode(chunk); }),
      root,
    ],
    { debug: false },
  );
  try {
    const instance = await WebAssembly.instantiate(module, {
      wasi_snapshot_preview1: wasi.wasiImport,
    });
    const status = wasi.start(instance);
    if (pending) self.postMessage({ lines: pending });
    const files = collect(root.dir, '', {});
    delete files[name];
    const stem = name.includes('.') ? name.slice(0, name.indexOf('.')) : name;
    const sections = blockSections(files[`${stem}.txt`]);
    self.postMessage({ done: true, status, errors, files, sections });
  } catch (error) {
    self.postMessage({ done: true, status: -1, errors: `${errors}${error}`, files: {} });
  }
};
