// lineagetree's HTML viewer in headless Chromium, on the page made from the
// sample data: the root total, zooming in and out, the breadcrumb, the
// details on hover, the search, names with markup shown as text, and the
// choice of one sample's reads on the page made with the sample count table.
// A missing browser or Node package is a failure, never a skip.
//
//   node viewer_test.mjs --lineagetree BIN --readtally BIN --template HTML
//                        --data DIR --scratch DIR
//
// The browser is $AT_BROWSER, or the first of chromium-headless-shell,
// chromium, chromium-browser found on PATH.

import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const args = {};
for (let i = 2; i < process.argv.length; i += 2) args[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
for (const key of ['lineagetree', 'readtally', 'data', 'scratch']) {
  if (!args[key]) fail(`--${key} is missing`);
}

const failures = [];
function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) failures.push(what);
}
function fail(message) {
  console.error(`viewer_test: ${message}`);
  process.exit(1);
}

function findBrowser() {
  if (process.env.AT_BROWSER) {
    try { fs.accessSync(process.env.AT_BROWSER, fs.constants.X_OK); } catch { fail(`AT_BROWSER=${process.env.AT_BROWSER} cannot be run`); }
    return process.env.AT_BROWSER;
  }
  for (const name of ['chromium-headless-shell', 'chromium', 'chromium-browser']) {
    for (const dir of (process.env.PATH || '').split(':')) {
      const candidate = path.join(dir, name);
      try { fs.accessSync(candidate, fs.constants.X_OK); return candidate; } catch {}
    }
  }
  fail('no browser: install Debian\'s chromium-headless-shell (or chromium), or set AT_BROWSER');
}

// The page lineagetree --html wrote into a folder.
function makePage(folder) {
  return path.join(folder, 'taxonomy.html');
}

function run(program, input, folder, options = []) {
  execFileSync(program, [...options, input], { cwd: folder, stdio: ['ignore', 'inherit', 'inherit'] });
}

// Rows "name<TAB>reads" of a readtally table.
function table(file) {
  return fs.readFileSync(file, 'utf8').split('\n').filter(Boolean).map(line => {
    const [name, reads] = line.split('\t');
    return { name, reads: Number(reads) };
  });
}

// The columns of a readtally X.samples.txt table: for each sample, its name
// and its reads by key.
function samplesTable(file) {
  const [header, ...rows] = fs.readFileSync(file, 'utf8').split('\n').filter(Boolean).map(line => line.split('\t'));
  return header.slice(1).map((name, i) => ({ name, reads: new Map(rows.map(row => [row[0], Number(row[i + 1])])) }));
}

// Waits for the page to be drawn, or to say that it could not be.
async function ready(page) {
  await page.waitForSelector('body[data-state]', { timeout: 30000 });
  const state = await page.$eval('body', body => body.dataset.state);
  if (state !== 'ready') fail(`the page is "${state}", not ready: ${await page.$eval('#status', e => e.textContent)}`);
}

const digits = s => Number(String(s).replace(/[^0-9.]/g, ''));

// A point where the element itself is hit, so that the mouse reaches it as a
// person's would: anything drawn over it would take the event instead.
async function pointOn(page, selector) {
  const point = await page.$eval(selector, element => {
    const box = element.getBoundingClientRect();
    for (let step = 8; step <= 64; step *= 2) {
      for (let i = 1; i < step; i++) {
        for (let j = 1; j < step; j++) {
          const x = box.left + box.width * i / step, y = box.top + box.height * j / step;
          if (document.elementFromPoint(x, y) === element) return { x, y };
        }
      }
    }
    return null;
  });
  if (!point) throw new Error(`no point of ${selector} can be reached`);
  return point;
}
async function clickOn(page, selector) {
  const point = await pointOn(page, selector);
  await page.mouse.move(point.x, point.y);
  await page.mouse.click(point.x, point.y);
}

const scratch = path.resolve(args.scratch);
fs.rmSync(scratch, { recursive: true, force: true });
fs.mkdirSync(scratch, { recursive: true });

let puppeteer;
try {
  ({ default: puppeteer } = await import('puppeteer-core'));
} catch (error) {
  fail(`puppeteer-core is not installed: run "npm ci" in ${path.dirname(new URL(import.meta.url).pathname)} (${error.message})`);
}
const browserPath = findBrowser();
console.log(`browser: ${browserPath}`);

const sample = path.join(scratch, 'sample');
fs.mkdirSync(sample);
const classification = path.join(path.resolve(args.data), 'reads.reference.wang.taxonomy');
run(path.resolve(args.lineagetree), classification, sample, ['--html']);
run(path.resolve(args.readtally), classification, sample);
const phyla = table(path.join(sample, 'phylum.txt')).filter(row => row.name !== 'unassigned');
const expectedTotal = phyla.reduce((sum, row) => sum + row.reads, 0);
const genus = table(path.join(sample, 'genus.txt')).filter(row => row.name !== 'unassigned')
  .sort((a, b) => b.reads - a.reads || a.name.localeCompare(b.name))[0];

// The same reads weighed by the sample count table, which names samples.
const weighed = path.join(scratch, 'weighed');
fs.mkdirSync(weighed);
const countTable = ['--count', path.join(path.resolve(args.data), 'groups', 'reads.count_table')];
run(path.resolve(args.lineagetree), classification, weighed, ['--html', ...countTable]);
run(path.resolve(args.readtally), classification, weighed, countTable);
const weighedTotal = table(path.join(weighed, 'phylum.txt')).filter(row => row.name !== 'unassigned')
  .reduce((sum, row) => sum + row.reads, 0);
const phylumColumns = samplesTable(path.join(weighed, 'phylum.samples.txt'));
const genusColumns = samplesTable(path.join(weighed, 'genus.samples.txt'));

// Names that look like markup: the page shows them as text, and the "<" that
// the page writes as \u003c cannot end the script that holds the tree.
const hostile = path.join(scratch, 'hostile');
fs.mkdirSync(hostile);
const oddPhylum = '</script><i id="injected">x</i> & "q"';
fs.writeFileSync(path.join(hostile, 'reads.taxonomy'),
  `r1\tk__Bacteria(100);p__${oddPhylum}(100);c__C(100);o__O(100);f__F(100);g__G(100);s__S(100);u__1(100);\n` +
  'r2\tk__Bacteria(100);p__Plain(100);c__C(100);o__O(100);f__F(100);g__G(100);s__S(100);u__2(100);\n');
run(path.resolve(args.lineagetree), path.join(hostile, 'reads.taxonomy'), hostile, ['--html']);

const browser = await puppeteer.launch({
  executablePath: browserPath,
  headless: path.basename(browserPath).includes('headless-shell') ? 'shell' : true,
  args: ['--no-sandbox', '--disable-gpu', '--font-render-hinting=none'],
});
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1200, height: 800 });
  const errors = [], requests = [];
  page.on('console', message => { if (message.type() === 'error') errors.push(message.text()); });
  page.on('pageerror', error => errors.push(error.message));
  page.on('request', request => requests.push(request.url()));

  const samplePage = makePage(sample);
  await page.goto(pathToFileURL(samplePage).href);
  await ready(page);
  check(requests.every(url => url === pathToFileURL(samplePage).href),
        `the page loads nothing but itself (${requests.join(', ')})`);

  // The root.
  const centreReads = await page.$eval('#centre-reads', e => e.textContent);
  check(digits(centreReads) === expectedTotal,
        `the root shows ${expectedTotal} reads, the reads with a phylum in phylum.txt (shown: "${centreReads}")`);
  const ring = await page.$$eval('path.slice[data-depth="1"]', paths =>
    paths.map(p => ({ name: p.dataset.name, reads: Number(p.dataset.reads), other: p.dataset.other === 'true' })));
  const byName = new Map(phyla.map(row => [row.name, row.reads]));
  const named = ring.filter(slice => !slice.other);
  check(named.length > 0 && named.every(slice => byName.get(slice.name) === slice.reads),
        `each phylum drawn has its reads of phylum.txt (${named.map(s => `${s.name} ${s.reads}`).join(', ')})`);
  check(ring.reduce((sum, slice) => sum + slice.reads, 0) === expectedTotal,
        'the first ring, its "other" slice included, adds up to the root');

  // Zoom into the largest phylum, hover its largest class, go back up through the centre.
  const top = phyla.slice().sort((a, b) => b.reads - a.reads)[0];
  const topSlice = `path.slice[data-depth="1"][data-name="${top.name}"]`;
  await page.screenshot({ path: path.join(scratch, 'viewer-root.png') });
  await clickOn(page, topSlice);
  const zoomed = await page.evaluate(() => ({
    crumbs: [...document.querySelectorAll('#breadcrumb button')].map(b => b.textContent),
    current: document.querySelector('#breadcrumb [aria-current]')?.dataset.name,
    centre: document.getElementById('centre-reads').textContent,
    depths: [...new Set([...document.querySelectorAll('path.slice')].map(p => p.dataset.depth))].sort(),
  }));
  check(zoomed.current === top.name && zoomed.crumbs.length === 2 && zoomed.crumbs[1] === top.name,
        `a click on ${top.name} zooms into it and the breadcrumb shows it (${zoomed.crumbs.join(' > ')})`);
  check(digits(zoomed.centre) === top.reads && zoomed.depths.join() === '2,3,4',
        `the centre holds ${top.reads} reads and the rings are classes to families (shown: "${zoomed.centre}", depths ${zoomed.depths})`);
  const biggest = await page.$$eval('path.slice[data-depth="2"]:not([data-other])', paths => paths
    .map(p => ({ name: p.dataset.name, reads: Number(p.dataset.reads), lineage: p.dataset.lineage }))
    .sort((a, b) => b.reads - a.reads)[0]);
  const point = await pointOn(page, `path.slice[data-lineage=${JSON.stringify(biggest.lineage)}]`);
  await page.mouse.move(point.x, point.y);
  const details = await page.evaluate(() => Object.fromEntries(['name', 'reads', 'parent', 'all']
    .map(key => [key, document.getElementById(`details-${key}`).textContent])));
  const classRow = table(path.join(sample, 'class.txt')).find(row => row.name === biggest.name);
  const ofParent = 100 * biggest.reads / top.reads, ofAll = 100 * biggest.reads / expectedTotal;
  check(details.name === biggest.name && digits(details.reads) === biggest.reads && classRow?.reads === biggest.reads &&
        Math.abs(digits(details.parent) - ofParent) < 0.051 && Math.abs(digits(details.all) - ofAll) < 0.051,
        `hovering ${biggest.name} shows its ${classRow?.reads} reads of class.txt, ${ofParent.toFixed(2)} % of ` +
        `${top.name} and ${ofAll.toFixed(2)} % of all (shown: ${JSON.stringify(details)})`);
  await page.screenshot({ path: path.join(scratch, 'viewer-phylum.png') });
  await clickOn(page, '#centre circle');
  const back = await page.$$eval('#breadcrumb button', buttons => buttons.length);
  check(back === 1, 'a click on the centre goes back up to the root');
  const noChoice = await page.$eval('#sample-choice', e => e.hidden && e.offsetParent === null);
  check(noChoice, 'without samples the page offers no choice of sample');

  // Search for a genus of genus.txt, in lower case.
  await page.type('#search', genus.name.toLowerCase());
  await page.waitForSelector('#search-count[data-count]', { timeout: 10000 });
  const results = await page.$$eval('#search-results button', buttons =>
    buttons.map(b => ({ name: b.dataset.name, depth: Number(b.dataset.depth), reads: Number(b.dataset.reads) })));
  const hits = results.filter(r => r.name === genus.name && r.depth === 5);
  check(hits.length > 0 && hits.reduce((sum, r) => sum + r.reads, 0) === genus.reads,
        `the search for "${genus.name.toLowerCase()}" finds the genus ${genus.name} with its ${genus.reads} reads of genus.txt`);
  const lineage = await page.evaluate(name =>
    [...document.querySelectorAll('#search-results button')].find(b => b.dataset.name === name && b.dataset.depth === '5')
      ?.querySelector('small').textContent, genus.name);
  const phylum = (lineage || '').split(' › ')[0];
  const marked = await page.$$eval('path.slice.within[data-depth="1"]', paths => paths.map(p => p.dataset.name));
  check(marked.includes(phylum), `the phylum that holds ${genus.name}, ${phylum}, is highlighted (${marked.join(', ')})`);
  await page.evaluate(name => [...document.querySelectorAll('#search-results button')]
    .find(b => b.dataset.name === name && b.dataset.depth === '5')?.click(), genus.name);
  const found = await page.evaluate(() => document.querySelector('#breadcrumb [aria-current]')?.dataset.name);
  check(found === genus.name, `a click on the search result zooms to ${genus.name} (breadcrumb ends in ${found})`);
  await clickOn(page, '#centre circle');
  const matched = await page.$$eval('path.slice.match', paths => paths.map(p => p.dataset.name));
  check(matched.includes(genus.name), `one level up, the slice of ${genus.name} is highlighted as a match`);
  await page.screenshot({ path: path.join(scratch, 'viewer-search.png') });
  check(errors.length === 0, `no console errors (${errors.join(' | ')})`);

  // One sample at a time, on the page weighed by the count table.
  const weighedPage = makePage(weighed);
  await page.goto(pathToFileURL(weighedPage).href);
  await ready(page);
  const choices = await page.$$eval('#sample option', options => options.map(o => o.textContent));
  check(choices.join() === ['All reads', ...phylumColumns.map(c => c.name)].join(),
        `the choice offers all reads and each sample of phylum.samples.txt (${choices.join(', ')})`);
  const shown = () => page.evaluate(() => ({
    centre: document.getElementById('centre-reads').textContent,
    details: document.getElementById('details-reads').textContent,
    crumb: document.querySelector('#breadcrumb button').textContent,
    ring: [...document.querySelectorAll('path.slice[data-depth="1"]')]
      .map(p => ({ name: p.dataset.name, reads: Number(p.dataset.reads), other: p.dataset.other === 'true' })),
  }));
  for (const [i, column] of phylumColumns.entries()) {
    await page.select('#sample', String(i));
    const inSample = await shown();
    const columnTotal = [...column.reads].filter(([key]) => key !== 'unassigned').reduce((sum, [, reads]) => sum + reads, 0);
    const named = inSample.ring.filter(slice => !slice.other);
    check(digits(inSample.centre) === columnTotal && digits(inSample.details) === columnTotal && inSample.crumb === column.name,
          `${column.name}: the root, its details and breadcrumb show the sample's ${columnTotal} reads with a phylum ` +
          `in phylum.samples.txt (shown: ${JSON.stringify({ ...inSample, ring: undefined })})`);
    check(named.length > 0 && named.every(slice => column.reads.get(slice.name) === slice.reads) &&
          inSample.ring.reduce((sum, slice) => sum + slice.reads, 0) === columnTotal,
          `${column.name}: each phylum drawn has the sample's reads, and the ring adds up to its root ` +
          `(${inSample.ring.map(s => `${s.name} ${s.reads}`).join(', ')})`);
  }
  // The search within the last sample: its largest genus, with its reads there.
  const lastColumn = genusColumns[genusColumns.length - 1];
  const [sampleGenus, sampleGenusReads] = [...lastColumn.reads].filter(([key]) => key !== 'unassigned')
    .sort((a, b) => b[1] - a[1] || a[0].localeCompare(b[0]))[0];
  await page.type('#search', sampleGenus.toLowerCase());
  await page.waitForSelector('#search-count[data-count]', { timeout: 10000 });
  const sampleHits = await page.$$eval('#search-results button', buttons => buttons
    .map(b => ({ name: b.dataset.name, depth: Number(b.dataset.depth), reads: Number(b.dataset.reads) })));
  const sampleGenusFound = sampleHits.filter(r => r.name === sampleGenus && r.depth === 5).reduce((sum, r) => sum + r.reads, 0);
  check(sampleGenusFound === sampleGenusReads,
        `in ${lastColumn.name}, the search finds the genus ${sampleGenus} with its ${sampleGenusReads} reads of genus.samples.txt ` +
        `(found ${sampleGenusFound})`);
  await page.screenshot({ path: path.join(scratch, 'viewer-sample.png') });
  await page.select('#sample', '-1');
  const allAgain = await shown();
  check(digits(allAgain.centre) === weighedTotal && allAgain.crumb === 'All reads',
        `back on all reads, the root shows the ${weighedTotal} weighed reads with a phylum again (shown: "${allAgain.centre}")`);
  check(errors.length === 0, `no console errors on the weighed page (${errors.join(' | ')})`);

  // Names with markup.
  const hostilePage = makePage(hostile);
  errors.length = 0;
  await page.goto(pathToFileURL(hostilePage).href);
  await ready(page);
  const odd = await page.evaluate(() => ({
    injected: document.getElementById('injected') !== null,
    names: [...document.querySelectorAll('path.slice[data-depth="1"]')].map(p => p.dataset.name),
    total: document.getElementById('centre-reads').textContent,
  }));
  check(!odd.injected && odd.names.includes(oddPhylum) && digits(odd.total) === 2 && errors.length === 0,
        `a name with markup is shown as text (${JSON.stringify(odd)}; errors: ${errors.join(' | ')})`);
} finally {
  await browser.close();
}

console.log(`screenshots: ${scratch}/viewer-*.png`);
if (failures.length) fail(`${failures.length} check(s) failed`);
