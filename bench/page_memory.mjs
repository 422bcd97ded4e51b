// The page's memory and pauses over a model's whole visit, in a browser of its own, on tmpfs:
// the tab's resident memory (its renderer process, workers included) before the model, once it
// is converted and shown, at its peak after the zip of every output and the info file are
// downloaded, and after its panel is closed; the longest task of the page's thread and the
// longest gap of a 10 ms timer meanwhile, and the conversion's time by the page's clock.
// Usage: node bench/page_memory.mjs [SIZE_MB]   (after the release and web builds; by hand)
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, rmSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

const root = new URL('..', import.meta.url).pathname;
const { chromium } = await import(`${root}tests/render/node_modules/playwright-core/index.mjs`);
const size = Number(process.argv[2] ?? 100);
const work = mkdtempSync('/dev/shm/page-memory-');
const model = join(work, 'big.zmdl');
execFileSync(`${root}build/release/tools/make-large-model`, [String(size), model]);

// The renderer processes' resident memory now and at its peak, in MiB.
function renderers() {
  let [now, peak] = [0, 0];
  for (const pid of readdirSync('/proc').filter((entry) => /^\d+$/.test(entry))) {
    try {
      if (!readFileSync(`/proc/${pid}/cmdline`, 'latin1').includes('--type=renderer')) continue;
      const status = readFileSync(`/proc/${pid}/status`, 'latin1');
      now += Number(/VmRSS:\s+(\d+)/.exec(status)?.[1] ?? 0) / 1024;
      peak = Math.max(peak, Number(/VmHWM:\s+(\d+)/.exec(status)?.[1] ?? 0) / 1024);
    } catch {
      // gone meanwhile
    }
  }
  return { now: Math.round(now), peak: Math.round(peak) };
}

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-sandbox'],
});
try {
  const context = await browser.newContext({ acceptDownloads: true });
  const tab = await context.newPage();
  await tab.goto(pathToFileURL(`${root}build/wasm/model-unpack.html`).href);
  await tab.waitForTimeout(2000);
  const before = renderers();
  await tab.evaluate(() => {
    window.ticks = { last: performance.now(), gap: 0, task: 0 };
    setInterval(() => {
      const now = performance.now();
      window.ticks.gap = Math.max(window.ticks.gap, now - window.ticks.last);
      window.ticks.last = now;
    }, 10);
    new PerformanceObserver((list) => {
      for (const task of list.getEntries()) window.ticks.task = Math.max(window.ticks.task, task.duration);
    }).observe({ type: 'longtask' });
    document.querySelector('input[type=file]').addEventListener('change', () => {
      window.ticks.chosen = performance.now();
    }, { capture: true });
    new MutationObserver(() => {
      if (document.querySelector('[data-model]:not([data-state=converting])')) window.ticks.ended ??= performance.now();
    }).observe(document.body, { subtree: true, attributes: true, attributeFilter: ['data-state'] });
  });
  const panel = '[data-model="big.zmdl"]';
  await tab.setInputFiles('input[type=file]', [model]);
  await tab.waitForSelector(`${panel}:not([data-state=converting])`, { timeout: 600000 });
  await tab.waitForSelector(`${panel} :is(.looks, .view > p)`, { timeout: 600000 });
  const shown = renderers();
  for (const name of ['big.zip', 'big.txt']) {
    const [download] = await Promise.all([tab.waitForEvent('download', { timeout: 600000 }),
      tab.click(`${panel} a[download="${name}"]`)]);
    await download.path();
  }
  const downloaded = renderers();
  const ticks = await tab.evaluate(() => window.ticks);
  await tab.click(`${panel} .close`);
  await tab.waitForTimeout(3000);
  const closed = renderers();
  console.log(`${size} MB model: converted in ${((ticks.ended - ticks.chosen) / 1000).toFixed(2)} s by the page's clock; ` +
    `longest task ${ticks.task.toFixed(0)} ms, longest timer gap ${ticks.gap.toFixed(0)} ms (zip and info file downloaded); ` +
    `tab memory: before ${before.now} MiB, shown ${shown.now} MiB, after the downloads ${downloaded.now} MiB, ` +
    `peak ${downloaded.peak} MiB, after closing ${closed.now} MiB`);
} finally {
  await browser.close();
  rmSync(work, { recursive: true, force: true });
}
