// Builds the page: one HTML file holding its script, its two workers and the batch tool's module
// (deflated, in base64), so that it works opened from disk with no network.
// Usage: node build.mjs MODULE.wasm OUTPUT.html LICENSE NOTICES VERSION SAMPLE.zmdl
import { readFileSync, writeFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';

import { build } from 'esbuild';
import { zlibSync } from 'fflate';

const here = fileURLToPath(new URL('.', import.meta.url));
const [modulePath, outputPath, licensePath, noticesPath, version, samplePath] = process.argv.slice(2);
const bundle = async (entry, define = {}) =>
  (await build({
    entryPoints: [`${here}src/${entry}`],
    bundle: true,
    minify: true,
    format: 'iife',
    target: 'es2020',
    write: false,
    legalComments: 'none',
    define,
  })).outputFiles[0].text;

const worker = await bundle('worker.js');
const viewWorker = await bundle('view_worker.js');
const deflated = Buffer.from(zlibSync(readFileSync(modulePath), { level: 9 })).toString('base64');
const script = await bundle('main.js', {
  MODULE_DEFLATED: JSON.stringify(deflated),
  SAMPLE_BASE64: JSON.stringify(readFileSync(samplePath).toString('base64')),
  WORKER_SOURCE: JSON.stringify(worker),
  VIEW_WORKER_SOURCE: JSON.stringify(viewWorker),
});
const page = readFileSync(`${here}src/page.html`, 'utf8');
// A script's text may not hold "</script"; the bundles' strings are escaped where they do.
const safe = script.replaceAll('</script', '<\\/script');
// The licence and the notices of the code the page carries travel in it, as a comment (which
// may not hold "-->").
const notices = [licensePath, noticesPath].map((path) => readFileSync(path, 'utf8')).join('\n')
  .replaceAll('-->', '- ->');
writeFileSync(outputPath, page.replace('/*SCRIPT*/', () => safe)
  .replace('<!--NOTICES-->', () => `<!--\n${notices}\n-->`).replaceAll('@VERSION@', version));
console.log(`${outputPath}: ${readFileSync(outputPath).length} bytes`);
