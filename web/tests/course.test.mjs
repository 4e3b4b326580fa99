// The lab as a course uses it, in real Chromium: exercise links set their
// settings, the founders show before a run and theory beside the results,
// runs are kept side by side, plots save as real PNG and SVG files, a
// phone's screen is not scrolled sideways, a broken engine is said on the
// page, the page runs under its Content-Security-Policy, and after one
// visit the lab loads and runs offline. A link's keys run what
// `duolocus-batch --set` runs for the same keys.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { cp, mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import os from 'node:os';
import path from 'node:path';
import { serve, launch, openLab, runAndDownload, nativeFiles, webDir } from './harness.mjs';

let server;
let chromium;

// Every page records the Content-Security-Policy violations it meets.
const RECORD_VIOLATIONS = () => {
  window.cspViolations = [];
  document.addEventListener('securitypolicyviolation', (e) => window.cspViolations.push(`${e.violatedDirective} ${e.blockedURI}`));
};

before(async () => {
  server = await serve();
  chromium = await launch();
  await chromium.browser.addInitScript(RECORD_VIOLATIONS);
});

after(async () => {
  await chromium.close();
  await server.close();
});

async function formValues(page) {
  return page.evaluate(() => Object.fromEntries([...document.querySelectorAll('#settings input, #settings select')]
    .map((el) => [el.id, el.type === 'checkbox' ? String(el.checked) : el.value])));
}

async function run(page) {
  const before = Number(await page.evaluate(() => document.body.dataset.runs || 0));
  await page.getByRole('button', { name: 'Run', exact: true }).click();
  await page.waitForFunction((n) => Number(document.body.dataset.runs || 0) > n || document.body.dataset.run === 'failed', before,
    { timeout: 120000 });
  assert.equal(await page.evaluate(() => document.body.dataset.run), 'done');
}

async function violations(page) {
  return page.evaluate(() => window.cspViolations);
}

test('every exercise link sets the exercise\'s settings, as choosing it does', async () => {
  const { page } = await openLab(chromium.browser, server.url);
  const defaults = await formValues(page);
  const ids = await page.evaluate(() => [...document.querySelectorAll('#exercise option')].map((o) => o.value).filter(Boolean));
  assert.ok(ids.length >= 5);
  for (const id of ids) {
    const linked = await openLab(chromium.browser, `${server.url}?exercise=${id}`);
    const values = await formValues(linked.page);
    const changed = Object.keys(values).filter((k) => values[k] !== defaults[k]);
    assert.ok(changed.length >= 2, `${id}: the link changes the settings (${changed})`);
    assert.equal(await linked.page.locator('#exercise').inputValue(), id);
    // Choosing the exercise in the list gives the same form.
    await page.getByRole('button', { name: 'Defaults' }).click();
    await page.selectOption('#exercise', id);
    await page.waitForFunction((e) => location.search.includes(`exercise=${e}`), id);
    assert.deepEqual(await formValues(page), values, `${id}: link and list agree`);
    await linked.page.waitForFunction(() => document.getElementById('settings').dataset.valid !== undefined);
    assert.equal(await linked.page.evaluate(() => document.getElementById('settings').dataset.valid), 'true', id);
    await linked.page.close();
  }
  // A name that is no exercise is said, and nothing runs.
  const wrong = await openLab(chromium.browser, `${server.url}?exercise=nosuch`);
  await wrong.page.waitForFunction(() => document.getElementById('form-faults').textContent.includes('nosuch'));
  assert.match(await wrong.page.locator('#form-faults').textContent(), /no exercise of this lab; allowed: drift/);
  await wrong.page.close();
  await page.close();
});

test('the hitchhiking exercise starts every A on a B chromosome, and at 0 cM B fixes wherever A does', async () => {
  const { page } = await openLab(chromium.browser, `${server.url}?exercise=hitchhiking`);
  await page.waitForFunction(() => document.getElementById('preview-frequencies'));
  const founders = await page.locator('#preview-frequencies').textContent();
  assert.match(founders, /400 founders: p_A 0\.1000, p_B 0\.5000, D 0\.0500 \(AB 0\.1000, Ab 0\.0000,/);
  const got = await runAndDownload(page);
  const rows = got.csv.toString().trim().split('\n').slice(1).map((l) => l.split(','));
  assert.equal(rows.length, 30);
  const fixedA = rows.filter((r) => r[2] === 'A');
  assert.ok(fixedA.length > 20);
  for (const r of fixedA) assert.equal(r[8], 'B', `iteration ${r[0]}: B fixed with A`);
  await page.close();
});

test('the founders show before a run, and theory stands beside the results', async () => {
  const { page } = await openLab(chromium.browser, `${server.url}?seed=11&iterations=60&population.size=16`);
  await page.waitForFunction(() => document.getElementById('preview-frequencies'));
  assert.match(await page.locator('#preview-frequencies').textContent(), /^16 founders: p_A 0\.5000, p_B 0\.5000, D /);
  await run(page);
  const table = page.locator('#fixation table').first();
  const head = await table.locator('th').allTextContents();
  const theoryAt = head.findIndex((h) => /theory|expected|kimura/i.test(h));
  assert.ok(theoryAt > 0, `a column for theory (${head})`);
  const cells = await table.locator('tr').nth(1).locator('td').allTextContents();
  assert.equal(cells[theoryAt], '0.5000', 'neutral: u = p0');
  assert.match(await page.locator('#fixation').textContent(), /neutral: u = p0/);
  // Neutral times: Kimura and Ohta's and the exact chain's beside the mean.
  const times = page.locator('#fixation table').nth(1);
  const timeCells = await times.locator('tr').nth(1).locator('td').allTextContents();
  assert.equal(Number(timeCells.at(-2)), Number((-4 * 16 * 0.5 * Math.log(0.5) / 0.5).toFixed(1)));
  assert.ok(Number(timeCells.at(-1)) > 30 && Number(timeCells.at(-1)) < 50, `exact time ${timeCells.at(-1)}`);
  // Founder origins under drift: every founding chromosome alike, so the
  // expected counts of a gene add up to the copies that fixed there.
  const origins = page.locator('#origins table');
  assert.match((await origins.locator('th').allTextContents()).at(-1), /Expected/);
  const originRows = await origins.locator('tr').evaluateAll((rows) => rows.slice(1)
    .map((r) => [...r.querySelectorAll('td')].map((td) => td.textContent)));
  for (const gene of ['Alpha', 'Beta']) {
    const mine = originRows.filter((r) => r[0] === gene);
    const fixedHere = mine.reduce((a, r) => a + Number(r[3]), 0);
    const expected = mine.reduce((a, r) => a + Number(r[4]), 0);
    // Each expectation is shown to one decimal.
    assert.ok(fixedHere > 0 && Math.abs(expected - fixedHere) <= 0.05 * mine.length + 1e-9,
      `${gene}: ${expected} expected of ${fixedHere}`);
  }
  // Selection: Kimura's u with the effective s, from the realised p0.
  await page.goto(`${server.url}?seed=4&iterations=20&population.size=40&population.p_A=0.2&selection.alpha.s=0.1`);
  await page.waitForSelector('body[data-ready="true"]');
  await run(page);
  const s = 0.1 / 1.9;
  // The founders the engine built, whose p_A the size may not allow to be 0.2 exactly.
  const p0 = Number(/p_A (0\.\d{4})/.exec(await page.locator('#preview-frequencies').textContent())[1]);
  assert.ok(Math.abs(p0 - 0.2) < 0.05);
  if (p0 !== 0.2) assert.match(await page.locator('#preview-asked').textContent(), new RegExp(`^Asked p_A 0\\.2; the founders built give p_A ${p0.toFixed(4)}`));
  const u = (1 - Math.exp(-4 * 40 * s * p0)) / (1 - Math.exp(-4 * 40 * s));
  const selected = await page.locator('#fixation table').first().locator('tr').nth(1).locator('td').allTextContents();
  assert.ok(Math.abs(Number(selected[5]) - u) < 1e-4, `Kimura at the realised p0: ${selected[5]}, not ${u}`);
  assert.match(await page.locator('#fixation').textContent(), /Kimura, 4Ns = 8\.4/);
  // A population small enough for the exact chain on genotype counts: the
  // run agrees with it (a fixed seed, so the same run every time).
  await page.goto(`${server.url}?seed=4&iterations=200&population.size=12&population.p_A=0.25&selection.alpha.s=0.2`);
  await page.waitForSelector('body[data-ready="true"]');
  await run(page);
  const small = page.locator('#fixation table').first();
  const smallHead = await small.locator('th').allTextContents();
  const exactAt = smallHead.indexOf('Exact chain');
  assert.ok(exactAt > 0);
  const [observed, se, exact] = await small.locator('tr').nth(1).locator('td').allTextContents()
    .then((c) => [c[3], c[4], c[exactAt]].map(Number));
  assert.ok(exact > 0.5 && exact < 1, `exact u ${exact}`);
  assert.ok(Math.abs(observed - exact) < 3 * se, `observed ${observed} against exact ${exact}`);
  assert.deepEqual(await violations(page), []);
  await page.close();
});

test('after two runs the table named Runs holds both; a kept run draws beneath; runs clear', async () => {
  const { page } = await openLab(chromium.browser, `${server.url}?seed=3&iterations=5`);
  await run(page);
  await page.getByLabel('Iterations', { exact: true }).fill('7');
  await page.getByLabel('Iterations', { exact: true }).dispatchEvent('change');
  await run(page);
  const runs = page.getByRole('table', { name: 'Runs' });
  assert.equal(await runs.locator('tr').count(), 3);
  const second = await runs.locator('tr').nth(2).locator('td').allTextContents();
  assert.equal(second[0], '2');
  assert.match(second[1], /iterations = 7/);
  assert.equal(second[3], '7');
  assert.match(second[4], /^\d\.\d{3} ± \d\.\d{3}$/);
  const linesBefore = await page.evaluate(() => document.getElementById('plots').dataset.draws);
  await page.getByRole('checkbox', { name: 'Draw run 1 beneath the plots' }).check();
  await page.waitForFunction((n) => document.getElementById('plots').dataset.draws !== n, linesBefore);
  await page.getByRole('button', { name: 'Clear run 1' }).click();
  assert.equal(await runs.locator('tr').count(), 2);
  await page.getByRole('button', { name: 'Clear all runs' }).click();
  assert.equal(await page.getByRole('table', { name: 'Runs' }).count(), 0);
  await page.close();
});

test('each plot saves as a real PNG and a real SVG, titled with the settings in words', async () => {
  const { page } = await openLab(chromium.browser, `${server.url}?seed=23&iterations=6&population.size=100&population.p_A=0.2&selection.alpha.s=0.1&selection.alpha.h=0&map_distance_cM=5`);
  await run(page);
  const pngs = page.getByRole('button', { name: /PNG/ });
  const svgs = page.getByRole('button', { name: /SVG/ });
  assert.equal(await pngs.count(), 5, 'three live plots and two histograms');
  assert.equal(await svgs.count(), 5);
  for (let k = 0; k < 5; k += 1) {
    const [png] = await Promise.all([page.waitForEvent('download'), pngs.nth(k).click()]);
    const bytes = await readFile(await png.path());
    assert.match(png.suggestedFilename(), /\.png$/);
    assert.deepEqual([...bytes.subarray(0, 8)], [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a], 'a PNG signature');
    assert.ok(bytes.length > 5000);
    const [svg] = await Promise.all([page.waitForEvent('download'), svgs.nth(k).click()]);
    const text = (await readFile(await svg.path())).toString();
    assert.match(svg.suggestedFilename(), /\.svg$/);
    assert.match(text, /^<svg xmlns="http:\/\/www\.w3\.org\/2000\/svg"/);
    assert.match(text, /<\/svg>\n$/);
    const marks = (text.match(/<polyline/g) || []).length + (text.match(/<rect [^>]*><title>/g) || []).length;
    assert.ok(marks >= 4, `the lines or bars are in the drawing (${marks})`);
    const title = /<title>([^<]*)<\/title>/.exec(text)[1];
    for (const words of ['population 100', 'starting p_A 0.200', 'A favoured, s 0.1, h 0', 'Beta: no selection', '5 cM', '6 iterations', 'seed 23']) {
      assert.ok(title.includes(words), `"${words}" in the title: ${title}`);
    }
    // The browser itself reads the drawing as an image.
    const size = await page.evaluate(async (source) => {
      const doc = new DOMParser().parseFromString(source, 'image/svg+xml');
      return doc.querySelector('parsererror') ? null : doc.documentElement.getAttribute('width');
    }, text);
    assert.equal(size, '860');
  }
  await page.close();
});

test('at 375 px the page is no wider than the screen', async () => {
  const { page } = await openLab(chromium.browser, `${server.url}?seed=2&iterations=4&exercise=selection`);
  await page.setViewportSize({ width: 375, height: 800 });
  await run(page);
  await run(page);
  await page.getByRole('button', { name: 'Start the console' }).click();
  await page.waitForFunction(() => window.duolocusTerminal);
  await page.evaluate(() => document.querySelectorAll('details').forEach((d) => { d.open = true; }));
  await page.waitForTimeout(300);
  const widths = await page.evaluate(() => ({
    page: document.documentElement.scrollWidth,
    body: document.body.scrollWidth,
    wide: [...document.querySelectorAll('body *')].filter((el) => el.getBoundingClientRect().right > 376
      && !el.closest('table.numbers, .scroll, #terminal')).map((el) => `${el.tagName}#${el.id}.${el.className}`).slice(0, 5),
  }));
  assert.ok(widths.page <= 375, `page ${widths.page} px wide: ${widths.wide}`);
  assert.ok(widths.body <= 375, `body ${widths.body} px wide`);
  assert.deepEqual(widths.wide, []);
  await page.close();
});

test('a broken engine file or worker puts a message on the page', async () => {
  for (const [file, bytes] of [['duolocus-engine.wasm', 'this is no WebAssembly'], ['worker.js', 'this is no script (']]) {
    const dir = await mkdtemp(path.join(os.tmpdir(), 'duolocus-broken-'));
    await cp(webDir, dir, { recursive: true });
    await writeFile(path.join(dir, file), bytes);
    const broken = await serve(dir);
    const page = await chromium.browser.newPage();
    await page.goto(broken.url);
    await page.waitForSelector('#lab-fault:not([hidden])', { timeout: 20000 });
    const text = await page.locator('#lab-fault').textContent();
    assert.match(text, /engine/, `${file}: ${text}`);
    assert.match(text, /Reload the page/, `${file}: says what to do`);
    assert.doesNotMatch(await page.locator('#status').textContent(), /Loading/);
    await page.close();
    await broken.close();
    await rm(dir, { recursive: true, force: true });
  }
  // A file that is not there at all.
  const dir = await mkdtemp(path.join(os.tmpdir(), 'duolocus-broken-'));
  await cp(webDir, dir, { recursive: true });
  await rm(path.join(dir, 'duolocus-engine.js'));
  const missing = await serve(dir);
  const page = await chromium.browser.newPage();
  await page.goto(missing.url);
  await page.waitForSelector('#lab-fault:not([hidden])', { timeout: 20000 });
  assert.match(await page.locator('#lab-fault').textContent(), /duolocus-engine\.js could not be loaded \(404/);
  await page.close();
  await missing.close();
  await rm(dir, { recursive: true, force: true });
});

test('a Content-Security-Policy with default-src guards the page, and the lab runs under it', async () => {
  const html = await readFile(path.join(webDir, 'index.html'), 'utf8');
  const meta = /<meta http-equiv="Content-Security-Policy" content="([^"]*)">/.exec(html);
  assert.ok(meta, 'a meta Content-Security-Policy');
  assert.match(meta[1], /(^|; )default-src 'self'(;|$)/);
  assert.doesNotMatch(meta[1], /'unsafe-eval'/);
  const { page, errors } = await openLab(chromium.browser, `${server.url}?seed=5&iterations=3`);
  await run(page);
  await page.getByRole('button', { name: 'Start the console' }).click();
  await page.waitForFunction(() => window.duolocusTerminal);
  assert.deepEqual(await violations(page), []);
  assert.deepEqual(errors, []);
  await page.close();
});

test('a manifest and a service worker: after one visit the lab loads and runs offline', async () => {
  const own = await launch();
  try {
    const { page, context } = await openLab(own.browser, server.url);
    const manifest = await page.evaluate(async () => {
      const href = document.querySelector('link[rel="manifest"]').href;
      return (await fetch(href)).json();
    });
    assert.equal(manifest.name, 'Duolocus lab');
    assert.ok(manifest.icons.length >= 1 && manifest.start_url);
    await page.evaluate(() => navigator.serviceWorker.ready);
    await page.waitForFunction(() => navigator.serviceWorker.controller !== null);
    await context.setOffline(true);
    try {
      const offline = await context.newPage();
      await offline.goto(`${server.url}?seed=42&iterations=5`);
      await offline.waitForSelector('body[data-ready="true"]', { timeout: 20000 });
      const got = await runAndDownload(offline);
      assert.equal(got.state, 'done');
      const native = await nativeFiles('duolocus', 42, { iterations: 5 });
      assert.ok(native.csv.equals(got.csv) && native.txt.equals(got.txt), 'offline, the same bytes');
      await offline.close();
    } finally {
      await context.setOffline(false);
    }
    await page.close();
  } finally {
    await own.close();
  }
});

test('a link\'s keys run what duolocus-batch --set runs for the same keys', async () => {
  const sets = { 'founders.AABB': 30, 'founders.aabb': 20, 'founders.AaBb': 10, iterations: 6, max_generations: 500 };
  const query = new URLSearchParams({ seed: '77', ...Object.fromEntries(Object.entries(sets).map(([k, v]) => [k, String(v)])) });
  const { page } = await openLab(chromium.browser, `${server.url}?${query}`);
  await page.waitForFunction(() => document.getElementById('preview-frequencies'));
  assert.match(await page.locator('#preview-frequencies').textContent(), /^60 founders/, 'left-out genotypes count 0');
  const got = await runAndDownload(page);
  assert.equal(got.state, 'done');
  const native = await nativeFiles('duolocus', 77, sets);
  assert.ok(native.csv.equals(got.csv), 'the CSV table of duolocus-batch --set');
  assert.ok(native.txt.equals(got.txt), 'the text report of duolocus-batch --set');
  // Refused: a key given twice, a key in another case; nothing runs.
  for (const [search, message] of [['?seed=1&iterations=3&iterations=4', /iterations is given more than once/],
    ['?seed=1&Iterations=3', /Iterations is no setting of this program/]]) {
    const bad = await openLab(chromium.browser, `${server.url}${search}`);
    await bad.page.waitForFunction(() => document.getElementById('settings').dataset.valid === 'false');
    assert.match(await bad.page.locator('#form-faults').textContent(), message);
    await bad.page.getByRole('button', { name: 'Run', exact: true }).click();
    await bad.page.waitForFunction(() => /Nothing was run/.test(document.getElementById('status').textContent));
    assert.equal(await bad.page.evaluate(() => document.body.dataset.run), undefined);
    await bad.page.close();
  }
  await page.close();
});
