// The lab in real Chromium: runs set through the form write the console
// program's files byte for byte, the plots draw, links carry the settings,
// bad values are refused beside their field with nothing run, the
// exercises are valid settings, and the console pane shows the native
// program's screen.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { readFile } from 'node:fs/promises';
import os from 'node:os';
import path from 'node:path';
import { serve, launch, openLab, runAndDownload, nativeFiles, consoleBin } from './harness.mjs';

let server;
let chromium;

before(async () => {
  server = await serve();
  chromium = await launch();
});

after(async () => {
  await chromium.close();
  await server.close();
});

// The visible label of a setting's field: the test finds the field by it,
// as a person or a screen reader would.
async function labelOf(page, key) {
  return page.evaluate((k) => {
    const field = document.querySelector(`[data-key="${k}"]`);
    if (!field) return null;
    const label = field.querySelector('label');
    // Details that hold it are opened, as a person would click them.
    const details = field.closest('details');
    if (details) details.open = true;
    return label.textContent;
  }, key);
}

async function setSetting(page, key, value) {
  const label = key === 'seed' ? 'Seed' : key === 'prefix' ? 'Prefix' : await labelOf(page, key);
  assert.ok(label, `the form has a field for ${key}`);
  const field = page.getByLabel(label, { exact: true });
  const kind = await field.evaluate((el) => (el.type === 'checkbox' ? 'checkbox' : el.tagName));
  if (kind === 'checkbox') await field.setChecked(value === 'true');
  else if (kind === 'SELECT') await field.selectOption(String(value));
  else await field.fill(String(value));
  await field.dispatchEvent('change');
}

async function formValues(page) {
  return page.evaluate(() => Object.fromEntries([...document.querySelectorAll('#settings input, #settings select')]
    .map((el) => [el.id, el.type === 'checkbox' ? String(el.checked) : el.value])));
}

// Several families of settings: each is set through the form, run in the
// browser, and both downloaded files are compared with the batch program's
// for the same settings and seed.
const FAMILIES = [
  { name: 'defaults', seed: 42, settings: { iterations: 5 } },
  { name: 'selection by s and h, population by size and frequencies', seed: 9,
    settings: { iterations: 12, 'selection.alpha.s': 0.2, 'selection.alpha.h': 0.3, 'selection.beta.s': 0.05,
      'population.size': 300, 'population.p_A': 0.3, 'population.p_B': 0.6, map_distance_cM: 5 } },
  { name: 'migration', seed: 77,
    settings: { iterations: 6, max_generations: 400, 'migration.immigrants': 3.5, 'migration.mix.AABB': 0.5,
      'migration.mix.AaBb': 0.25, 'migration.mix.aabb': 'rest', stop_at_fixation: 'false' } },
  { name: 'mating preferences under monogamy', seed: 1234,
    settings: { iterations: 8, fertilization: 'monogamy', 'mating.AA_aa': 0.2, 'mating.Aa_aa': 0.6,
      'mating.isolation': 'premating', 'fitness.aabb': 0.7 } },
  { name: 'mutation, linkage, postmating isolation, no selfing', seed: 500,
    settings: { iterations: 4, max_generations: 300, 'mutation.A_to_a': 0.001, 'mutation.b_to_B': 0.002,
      map_distance_cM: 20, fertilization: 'selfing-not-allowed', 'mating.AA_AA': 0.5, 'mating.isolation': 'postmating',
      'fixation.alpha': 'a', track_gene_copies: 'false' } },
];

test('runs set through the form write the console program\'s files, byte for byte', async () => {
  const { page, foreign, errors } = await openLab(chromium.browser, server.url);
  for (const family of FAMILIES) {
    await page.getByRole('button', { name: 'Defaults' }).click();
    await setSetting(page, 'seed', family.seed);
    await setSetting(page, 'prefix', 'lab');
    for (const [key, value] of Object.entries(family.settings)) await setSetting(page, key, value);
    const got = await runAndDownload(page);
    assert.equal(got.state, 'done', `${family.name}: the run ended`);
    assert.equal(got.csvName, 'lab.csv');
    assert.equal(got.txtName, 'lab.txt');
    const native = await nativeFiles('lab', family.seed, family.settings);
    assert.ok(native.csv.equals(got.csv), `${family.name}: CSV table as the native program's`);
    assert.ok(native.txt.equals(got.txt), `${family.name}: text report as the native program's`);
  }
  assert.deepEqual(foreign, [], 'no request leaves the lab\'s own server');
  assert.deepEqual(errors, []);
  await page.close();
});

test('the live plots draw every drawn iteration, with the expectation', async () => {
  const { page } = await openLab(chromium.browser, server.url);
  await setSetting(page, 'seed', 3);
  await setSetting(page, 'iterations', 4);
  await setSetting(page, 'population.size', 2000);
  const got = await runAndDownload(page);
  assert.equal(got.state, 'done');
  const drawn = await page.evaluate(() => ({
    draws: Number(document.getElementById('plots').dataset.draws),
    canvases: [...document.querySelectorAll('#plots canvas')].map((c) => {
      const data = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
      let ink = 0;
      for (let k = 3; k < data.length; k += 4) if (data[k] > 0) ink += 1;
      return ink;
    }),
    results: document.getElementById('fixation').textContent,
  }));
  assert.ok(drawn.draws >= 1);
  assert.equal(drawn.canvases.length, 3);
  drawn.canvases.forEach((ink) => assert.ok(ink > 1000, 'each plot has lines on it'));
  assert.match(drawn.results, /Probability/);
  await page.close();
});

test('a shared link opens the lab with the same settings and seed', async () => {
  const { page } = await openLab(chromium.browser, server.url);
  await setSetting(page, 'seed', 321);
  await setSetting(page, 'iterations', 7);
  await setSetting(page, 'selection.beta.s', 0.15);
  await setSetting(page, 'fertilization', 'monogamy');
  await setSetting(page, 'migration.immigrants', 2);
  await page.waitForFunction(() => location.search.includes('seed=321') && location.search.includes('immigrants'));
  const before = await formValues(page);
  const link = page.url();
  const opened = await openLab(chromium.browser, link);
  assert.deepEqual(await formValues(opened.page), before);
  await opened.page.close();
  await page.close();
});

test('a bad value is refused beside its field and nothing runs', async () => {
  const { page } = await openLab(chromium.browser, server.url);
  const cases = [['iterations', '0'], ['map_distance_cM', 'far'], ['migration.immigrants', '1000']];
  for (const [key, value] of cases) {
    await page.getByRole('button', { name: 'Defaults' }).click();
    await setSetting(page, key, value);
    await page.getByRole('button', { name: 'Run', exact: true }).click();
    const id = await page.evaluate((k) => document.querySelector(`[data-key="${k}"] input, [data-key="${k}"] select`).id, key);
    await page.waitForSelector(`[id="${id}"][aria-invalid="true"]`);
    const message = await page.locator(`[id="${id}-msg"]`).textContent();
    assert.ok(message.length > 10, `${key}: a message beside the field (${message})`);
    assert.equal(await page.evaluate(() => document.body.dataset.run), undefined, `${key}: nothing ran`);
  }
  // The seed's range is the engine's: its message stands beside the seed.
  for (const seed of ['0', '40000']) {
    await page.getByRole('button', { name: 'Defaults' }).click();
    await setSetting(page, 'seed', seed);
    await page.getByRole('button', { name: 'Run', exact: true }).click();
    await page.waitForSelector('#f-seed[aria-invalid="true"]');
    assert.match(await page.locator('#f-seed-msg').textContent(), new RegExp(`seed = ${seed} is out of range; allowed: 1 to \\d+`));
    assert.equal(await page.evaluate(() => document.body.dataset.run), undefined, `seed ${seed}: nothing ran`);
  }
  await setSetting(page, 'seed', '1');
  // A D the frequencies do not allow is marked on D, though its message
  // names the frequencies too.
  await page.getByRole('button', { name: 'Defaults' }).click();
  await setSetting(page, 'population.size', '100');
  await setSetting(page, 'population.p_A', '0.3');
  await setSetting(page, 'population.p_B', '0.6');
  await setSetting(page, 'population.D', '0.2');
  await page.getByRole('button', { name: 'Run', exact: true }).click();
  await page.waitForSelector('[data-key="population.D"] [aria-invalid="true"]');
  const markedD = await page.evaluate(() => [...document.querySelectorAll('[aria-invalid="true"]')].map((el) => el.id));
  assert.equal(markedD.length, 1, `only D is marked (${markedD})`);
  assert.equal(await page.evaluate(() => document.body.dataset.run), undefined);
  // A start check: no fertile founder.
  await page.getByRole('button', { name: 'Defaults' }).click();
  for (const genotype of ['AABB', 'AABb', 'AAbb', 'AaBB', 'AaBb', 'Aabb', 'aaBB', 'aaBb', 'aabb']) {
    await setSetting(page, `fitness.${genotype}`, 0);
  }
  await page.getByRole('button', { name: 'Run', exact: true }).click();
  await page.waitForSelector('[aria-invalid="true"], #form-faults:not(:empty)');
  const marked = await page.evaluate(() => [...document.querySelectorAll('[aria-invalid="true"]')]
    .map((el) => ({ id: el.id, message: document.getElementById(`${el.id}-msg`).textContent })));
  assert.equal(marked.length, 1);
  assert.match(marked[0].id, /^f-fitness-/, 'the start check\'s message sits beside a fitness changed');
  assert.match(marked[0].message, /fertile/);
  assert.equal(await page.evaluate(() => document.body.dataset.run), undefined);
  assert.equal(await page.evaluate(() => document.getElementById('results-body').hidden), true);
  await page.close();
});

test('every exercise opens valid settings and explains itself', async () => {
  const { page } = await openLab(chromium.browser, server.url);
  const ids = await page.evaluate(() => [...document.querySelectorAll('#exercise option')].map((o) => o.value).filter(Boolean));
  assert.equal(ids.length, 5);
  for (const id of ids) {
    await page.selectOption('#exercise', id);
    await page.waitForFunction((e) => location.search.includes(`exercise=${e}`), id);
    await page.waitForFunction(() => document.getElementById('settings').dataset.valid !== undefined);
    await page.waitForFunction(() => document.getElementById('settings').dataset.valid === 'true', null, { timeout: 5000 })
      .catch(() => {});
    const state = await page.evaluate(() => ({
      valid: document.getElementById('settings').dataset.valid,
      text: document.getElementById('exercise-text').textContent,
      faults: [...document.querySelectorAll('.msg')].map((m) => m.textContent).join(' '),
    }));
    assert.equal(state.valid, 'true', `${id}: ${state.faults}`);
    assert.ok(state.text.length > 100);
  }
  await page.close();
});

test('the console pane shows the native program\'s screens and writes its files', async () => {
  const { page } = await openLab(chromium.browser, server.url);
  await page.getByRole('button', { name: 'Start the console' }).click();
  await page.waitForFunction(() => window.duolocusTerminal);
  const screenText = () => page.evaluate(() => {
    const buffer = window.duolocusTerminal.buffer.active;
    const lines = [];
    for (let k = 0; k < buffer.length; k += 1) lines.push(buffer.getLine(k).translateToString(true));
    return lines;
  });
  const shows = (text) => page.waitForFunction((t) => {
    const b = window.duolocusTerminal.buffer.active;
    for (let k = 0; k < b.length; k += 1) if (b.getLine(k).translateToString(true).includes(t)) return true;
    return false;
  }, text);
  await shows('Prefix');
  await page.locator('#terminal').click();
  await page.keyboard.type('demo\r42\r');
  await shows('Type C<enter>');
  const lines = await screenText();

  // The native program, given the same answers and then C and N.
  const dir = mkdtempSync(path.join(os.tmpdir(), 'duolocus-console-'));
  const native = execFileSync(consoleBin, { input: 'demo\n42\nC\nN\n', cwd: dir }).toString().split('\n');
  const from = (all) => all.slice(all.findIndex((l) => l.startsWith('Population Size:')));
  const upTo = (all) => all.slice(0, all.findIndex((l) => l.startsWith('Type C<enter>')) + 1);
  assert.deepEqual(upTo(from(lines)), upTo(from(native)));
  assert.ok(upTo(from(lines)).length >= 20);

  await page.keyboard.type('C\rN\r');
  await shows('done.');
  assert.ok((await screenText()).some((l) => /^Replicate #1 /.test(l)));
  await page.getByRole('button', { name: 'Files the console wrote' }).click();
  for (const name of ['demo.csv', 'demo.txt']) {
    const [download] = await Promise.all([page.waitForEvent('download'), page.getByRole('link', { name }).click()]);
    const got = await readFile(await download.path());
    assert.ok(got.equals(readFileSync(path.join(dir, name))), `${name} as the native program wrote it`);
  }
  rmSync(dir, { recursive: true, force: true });
  await page.close();
});

test('Stop ends a long run at once, and the lab runs again offline', async () => {
  const { page, context } = await openLab(chromium.browser, server.url);
  await context.setOffline(true);
  try {
    await setSetting(page, 'seed', 2);
    await setSetting(page, 'population.size', 20000);
    await setSetting(page, 'iterations', 50);
    await setSetting(page, 'max_generations', 100000);
    await setSetting(page, 'stop_at_fixation', 'false');
    await page.getByRole('button', { name: 'Run', exact: true }).click();
    await page.waitForFunction(() => /iteration \d+, generation \d+/.test(document.getElementById('status').textContent));
    assert.equal(await page.getByRole('button', { name: 'Run', exact: true }).isDisabled(), true);
    await page.getByRole('button', { name: 'Stop' }).click();
    assert.equal(await page.evaluate(() => document.body.dataset.run), 'stopped');
    assert.equal(await page.evaluate(() => document.getElementById('results-body').hidden), true);
    await page.getByRole('button', { name: 'Defaults' }).click();
    await setSetting(page, 'seed', 42);
    await setSetting(page, 'iterations', 5);
    const got = await runAndDownload(page);
    assert.equal(got.state, 'done');
    const native = await nativeFiles('duolocus', 42, { iterations: 5 });
    assert.ok(native.csv.equals(got.csv) && native.txt.equals(got.txt));
  } finally {
    await context.setOffline(false);
  }
  await page.close();
});

test('every field has a visible label, the controls are named, and focus follows the page', async () => {
  const { page } = await openLab(chromium.browser, server.url);
  const fields = await page.evaluate(() => [...document.querySelectorAll('#settings input, #settings select, #exercise, #ld-choice')]
    .map((el) => ({ id: el.id, labels: [...el.labels].map((l) => l.textContent.trim()), described: el.getAttribute('aria-describedby') })));
  assert.ok(fields.length > 60, 'every setting of the catalogue has a field');
  for (const f of fields) assert.ok(f.labels.length === 1 && f.labels[0].length > 0, `${f.id} has one label with text`);
  const catalogueLabels = await page.evaluate(() => [...document.querySelectorAll('[data-key] label')].map((l) => l.textContent));
  for (const name of ['Seed', 'Prefix', 'Iterations', 'Population size']) {
    assert.ok(name === 'Seed' || name === 'Prefix' ? fields.some((f) => f.labels[0] === name) : catalogueLabels.includes(name), name);
  }
  assert.equal(await page.locator('[tabindex]:not([tabindex="0"]):not([tabindex="-1"])').count(), 0, 'no tab order of its own');
  await page.getByRole('button', { name: 'Run', exact: true }).focus();
  await page.keyboard.press('Enter');
  await page.waitForSelector('body[data-run="done"]');
  assert.equal(await page.getByRole('link', { name: 'CSV table' }).count(), 1);
  assert.equal(await page.getByRole('link', { name: 'Text report' }).count(), 1);
  await page.close();
});
