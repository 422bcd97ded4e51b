// The page against the native batch tool on one generated model, on tmpfs: the page's time from
// choosing the file (the input's change event) to data-state="done", by the page's clock, the longest gap of a 10 ms timer on the page meanwhile
// (how responsive it stays), the tab's peak memory (its renderer process, worker included, in a
// browser of its own), and `model-unpack-batch -C DIR --glb --png` in a new folder; the two
// alternate. The file is chosen as soon as the page has opened, or after it has stood idle for
// IDLE_MS, as a user would leave it while finding the file: the page starts its module, its
// worker and its view at opening, and a file chosen at once waits for them.
// Usage: node bench/page_compare.mjs [RUNS] [SIZE_MB] [IDLE_MS]   (after the release and web
// builds; by hand, not in CI)
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

const root = new URL('..', import.meta.url).pathname;
const { chromium } = await import(`${root}tests/render/node_modules/playwright-core/index.mjs`);
const runs = Number(process.argv[2] ?? 3);
const size = Number(process.argv[3] ?? 100);
const idle = Number(process.argv[4] ?? 0);
const work = mkdtempSync('/dev/shm/page-bench-');
const model = join(work, 'big.zmdl');
execFileSync(`${root}build/release/tools/make-large-model`, [String(size), model]);
const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];

const launch = () => chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-sandbox'],
});
// The largest peak resident size of the browser's renderer processes, in MiB.
function rendererPeak() {
  let peak = 0;
  for (const pid of readdirSync('/proc').filter((entry) => /^\d+$/.test(entry))) {
    try {
      if (!readFileSync(`/proc/${pid}/cmdline`, 'latin1').includes('--type=renderer')) continue;
      const kib = Number(/VmHWM:\s+(\d+)/.exec(readFileSync(`/proc/${pid}/status`, 'latin1'))?.[1] ?? 0);
      peak = Math.max(peak, kib / 1024);
    } catch {
      // gone meanwhile
    }
  }
  return peak;
}
const native = [];
const page = [];
const gaps = [];
const peaks = [];
let browser;
try {
  for (let run = 0; run < runs; ++run) {
    // The native run first, alone: a browser just started goes on starting for a while.
    const folder = join(work, `native${run}`);
    mkdirSync(folder);
    const start = performance.now();
    execFileSync(`${root}build/release/model-unpack-batch`, ['-q', '-C', folder, '--glb', '--png', model],
      { cwd: folder });
    native.push((performance.now() - start) / 1000);
    rmSync(folder, { recursive: true });
    rmSync(join(work, 'big.txt'), { force: true });

    browser = await launch();
    const tab = await browser.newPage();
    await tab.goto(pathToFileURL(`${root}build/wasm/model-unpack.html`).href);
    // The page's own clock, from the file input's change (the file chosen) to the panel's
    // data-state saying the conversion ended.
    await tab.evaluate(() => {
      window.longestGap = 0;
      let last = performance.now();
      setInterval(() => {
        const now = performance.now();
        window.longestGap = Math.max(window.longestGap, now - last);
        last = now;
      }, 10);
      document.querySelector('input[type=file]').addEventListener('change', () => {
        window.chosenAt = performance.now();
      }, { capture: true });
      new MutationObserver(() => {
        if (document.querySelector('[data-model]:not([data-state=converting])')) {
          window.endedAt ??= performance.now();
        }
      }).observe(document.body, { subtree: true, attributes: true, attributeFilter: ['data-state'] });
    });
    await new Promise((resolve) => { setTimeout(resolve, idle); });
    await tab.setInputFiles('input[type=file]', [model]);
    await tab.waitForSelector('[data-model="big.zmdl"]:not([data-state=converting])', { timeout: 600000 });
    const state = await tab.getAttribute('[data-model="big.zmdl"]', 'data-state');
    if (state === 'failed') throw new Error(`the page: ${await tab.textContent('.message')}`);
    page.push(await tab.evaluate(() => (window.endedAt - window.chosenAt) / 1000));
    gaps.push(await tab.evaluate(() => window.longestGap));
    peaks.push(rendererPeak());
    await browser.close();
    browser = undefined;
  }
} finally {
  await browser?.close();
  rmSync(work, { recursive: true, force: true });
}
console.log(`${size} MB model, ${runs} runs${idle ? `, the page idle ${idle} ms first` : ''}: native --glb --png ${median(native).toFixed(3)} s, ` +
  `page ${median(page).toFixed(3)} s (${(median(page) / median(native)).toFixed(2)} x), ` +
  `longest timer gap on the page ${median(gaps).toFixed(0)} ms, tab's peak memory ` +
  `${median(peaks).toFixed(0)} MiB (other renderers of the same browser included, if any)`);
