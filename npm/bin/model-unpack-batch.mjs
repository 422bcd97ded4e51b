#!/usr/bin/env node
// model-unpack-batch as WebAssembly: runs the module with Node's WASI, with the host's
// arguments, standard streams, folders and exit status.
import { readFile } from 'node:fs/promises';
import { fileURLToPath } from 'node:url';
import { setFlagsFromString } from 'node:v8';

import { guestArguments, guestPath, preopenedFolders } from '../lib/host_paths.mjs';
import { rawArguments, standardStreams } from '../lib/linux_host.mjs';

// Each growth of the module's memory tells V8 of more memory held outside its heap, which can
// start an incremental marking of the heap while the memory is being grown in place; Node.js
// 20 then dies in that garbage collection (a fault, or "unreachable code") once a model's mesh
// takes a few hundred megabytes. Without incremental marking the heap is marked in one pass,
// which for this program's small heap costs nothing. Set before the module exists.
setFlagsFromString('--no-incremental-marking');

// Node warns on every run that WASI is experimental; that is not the user's concern.
const emitWarning = process.emitWarning;
process.emitWarning = (warning, ...rest) => {
  const type = typeof rest[0] === 'string' ? rest[0] : rest[0]?.type;
  if (type === 'ExperimentalWarning' && String(warning).includes('WASI')) return;
  emitWarning.call(process, warning, ...rest);
};
const { WASI } = await import('node:wasi');

const args = guestArguments(process.argv.slice(2));
const cwd = guestPath(process.cwd());
const raw = rawArguments(process.argv.length - 2);
const [stdin, stdout, stderr] = standardStreams();
const wasi = new WASI({
  version: 'preview1',
  args: ['model-unpack-batch', ...args],
  // Words that are not valid UTF-8 travel in hex, which the module reads instead.
  env: raw === undefined ? { PWD: cwd } : { PWD: cwd, MODEL_UNPACK_RAW_ARGUMENTS: raw },
  preopens: preopenedFolders([cwd, ...args]),
  stdin,
  stdout,
  stderr,
  returnOnExit: true,
});
const wasm = await readFile(fileURLToPath(new URL('../model-unpack-batch.wasm', import.meta.url)));
const instance = await WebAssembly.instantiate(
  await WebAssembly.compile(wasm),
  typeof wasi.getImportObject === 'function'
    ? wasi.getImportObject()
    : { wasi_snapshot_preview1: wasi.wasiImport });
process.exitCode = wasi.start(instance);
