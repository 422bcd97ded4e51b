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

function collect(directory, prefix, files) {
  for (const [name, inode] of directory.contents) {
    if (inode instanceof Directory) {
      collect(inode, `${prefix}${name}/`, files);
    } else {
      files[`${prefix}${name}`] = inode.data;
    }
  }
  return files;
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
    self.postMessage({ done: true, status, errors, files });
  } catch (error) {
    self.postMessage({ done: true, status: -1, errors: `${errors}${error}`, files: {} });
  }
};
