#!/usr/bin/env node
// model-unpack-batch as WebAssembly: runs the module with Node's WASI, with the host's
// arguments, standard streams, folders and exit status.
import { closeSync, mkdtempSync, openSync, readFileSync, rmSync } from 'node:fs';
import { readFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { setFlagsFromString } from 'node:v8';

import { guestArguments, guestPath, planPathWords, preopenedFolders } from '../lib/host_paths.mjs';
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

const wasm = await readFile(fileURLToPath(new URL('../model-unpack-batch.wasm', import.meta.url)));
const module = await WebAssembly.compile(wasm);

// Runs the module once; its exit status.
async function run(options) {
  const wasi = new WASI({ version: 'preview1', returnOnExit: true, ...options });
  const instance = await WebAssembly.instantiate(
    module,
    typeof wasi.getImportObject === 'function'
      ? wasi.getImportObject()
      : { wasi_snapshot_preview1: wasi.wasiImport });
  return wasi.start(instance);
}

// Which words are paths, as the module parses them: only where paths are named otherwise
// inside (Windows), and by a run that touches no file.
async function pathWords(args) {
  if (process.platform !== 'win32') return [];
  const folder = mkdtempSync(join(tmpdir(), 'model-unpack-'));
  try {
    const plan = openSync(join(folder, 'plan'), 'w+');
    await run({ args: ['model-unpack-batch', '--plan', ...args], stdout: plan, stderr: plan });
    closeSync(plan);
    return planPathWords(readFileSync(join(folder, 'plan'), 'utf8'));
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}

const hostArgs = process.argv.slice(2);
const args = guestArguments(hostArgs, await pathWords(hostArgs));
const cwd = guestPath(process.cwd());
const raw = rawArguments(process.argv.length - 2);
const [stdin, stdout, stderr] = standardStreams();
process.exitCode = await run({
  args: ['model-unpack-batch', ...args],
  // Words that are not valid UTF-8 travel in hex, which the module reads instead.
  env: raw === undefined ? { PWD: cwd } : { PWD: cwd, MODEL_UNPACK_RAW_ARGUMENTS: raw },
  preopens: preopenedFolders([cwd, ...args]),
  stdin,
  stdout,
  stderr,
});
