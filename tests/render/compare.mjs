// Renders glb files with three.js in headless Chromium and compares each rendering with the
// tool's own picture of the same model. Prints one JSON object per case on standard output.
// Usage: node compare.mjs CASES.json [SAVE_DIR]
//   CASES.json: [{"glb": path, "png": path, "size": N, "frame": {right, up, forward, centre,
//   scale}}, ...]; with SAVE_DIR, each rendering is saved there as NAME.three.png.
import { createServer } from 'node:http';
import { readFile, writeFile } from 'node:fs/promises';
import { basename, dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = dirname(fileURLToPath(import.meta.url));
const [casesPath, saveDir] = process.argv.slice(2);
const cases = JSON.parse(await readFile(casesPath, 'utf8'));

// Serves the page, three.js and the case files, on the loopback interface only.
const files = new Map();
const server = createServer(async (request, response) => {
  const url = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
  let path = null;
  if (url === '/') path = join(here, 'page.html');
  else if (url.startsWith('/three/')) path = join(here, 'node_modules', url);
  else if (files.has(url)) path = files.get(url);
  if (path === null || path.includes('..')) {
    response.writeHead(404).end();
    return;
  }
  try {
    const body = await readFile(path);
    const type = path.endsWith('.html') ? 'text/html' : path.endsWith('.js') ? 'text/javascript'
      : path.endsWith('.png') ? 'image/png' : 'application/octet-stream';
    response.writeHead(200, { 'content-type': type }).end(body);
  } catch {
    response.writeHead(404).end();
  }
});
await new Promise((done) => server.listen(0, '127.0.0.1', done));
const origin = `http://127.0.0.1:${server.address().port}`;

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-sandbox'],
  timeout: 60000,
});
let failed = false;
try {
  const page = await browser.newPage();
  page.on('pageerror', (error) => console.error(`page error: ${error.message}`));
  await page.goto(origin + '/');
  await page.waitForFunction(() => window.ready === true);
  for (const [index, item] of cases.entries()) {
    files.set(`/case${index}.glb`, resolve(item.glb));
    files.set(`/case${index}.png`, resolve(item.png));
    const result = await page.evaluate((args) => window.compare(args), {
      glb: `/case${index}.glb`, png: `/case${index}.png`, frame: item.frame, size: item.size,
    });
    if (saveDir) {
      const name = basename(item.glb).replace(/\.glb$/, '.three.png');
      await writeFile(join(saveDir, name),
        Buffer.from(result.renderedUrl.replace(/^data:image\/png;base64,/, ''), 'base64'));
    }
    delete result.renderedUrl;
    console.log(JSON.stringify({ glb: item.glb, ...result }));
  }
} catch (error) {
  console.error(error);
  failed = true;
} finally {
  await browser.close();
  server.close();
}
process.exit(failed ? 1 : 0);
