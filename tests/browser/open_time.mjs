// Times how long a taxonomy.html takes to open in headless Chromium: from the
// start of navigation to the page's first drawing, in fresh tabs.
//
//   node open_time.mjs PAGE [TABS]
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';

const [page_path, tabs = '5'] = process.argv.slice(2);
const browserPath = ['chromium-headless-shell', 'chromium'].flatMap(name =>
  (process.env.PATH || '').split(':').map(dir => path.join(dir, name))).find(p => fs.existsSync(p));
const browser = await puppeteer.launch({ executablePath: browserPath, headless: 'shell', args: ['--no-sandbox', '--disable-gpu'] });
const times = [];
for (let i = 0; i < Number(tabs); ++i) {
  const page = await browser.newPage();
  const started = performance.now();
  await page.goto(pathToFileURL(path.resolve(page_path)).href, { timeout: 120000 });
  await page.waitForSelector('body[data-state="ready"]', { timeout: 120000 });
  times.push((performance.now() - started) / 1000);
  await page.close();
}
await browser.close();
times.sort((a, b) => a - b);
console.log(`open times (s): ${times.map(t => t.toFixed(2)).join(' ')}; median ${times[times.length >> 1].toFixed(2)}`);
