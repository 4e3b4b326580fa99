// The browser engine against the native program on the same run: 10,000
// individuals for 2,000 generations (one iteration, not stopped at
// fixation), each side run REPEATS times, medians compared.
//   node web/bench/bench.mjs --native build/duolocus-batch --web build/web
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { serve, launch, openLab, webDir, batchBin } from '../tests/harness.mjs';

const args = process.argv.slice(2);
const option = (name, fallback) => (args.includes(name) ? path.resolve(args[args.indexOf(name) + 1]) : fallback);
const nativeBin = option('--native', batchBin);
const web = option('--web', webDir);
const REPEATS = 3;
const GENERATIONS = 2000;
const SEED = 1;
// 10,000 founders in the default proportions.
const SETTINGS = {
  'founders.AABB': 625, 'founders.AABb': 1250, 'founders.AAbb': 625, 'founders.AaBB': 1250, 'founders.AaBb': 2500,
  'founders.Aabb': 1250, 'founders.aaBB': 625, 'founders.aaBb': 1250, 'founders.aabb': 625,
  iterations: 1, max_generations: GENERATIONS, stop_at_fixation: 'false', map_distance_cM: 10, 'fitness.aabb': 0.9,
};

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

function nativeSeconds() {
  const dir = mkdtempSync(path.join(os.tmpdir(), 'duolocus-bench-'));
  writeFileSync(path.join(dir, 'bench.toml'), `seed = ${SEED}\n`);
  const sets = Object.entries(SETTINGS).flatMap(([k, v]) => ['--set', `${k}=${v}`]);
  const start = process.hrtime.bigint();
  execFileSync(nativeBin, [path.join(dir, 'bench.toml'), '-o', 'bench', '-q', ...sets], { cwd: dir });
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  rmSync(dir, { recursive: true, force: true });
  return seconds;
}

async function browserSeconds(page, drawn) {
  await page.getByRole('button', { name: 'Defaults' }).click();
  await page.evaluate(({ settings, seed, drawn: d }) => {
    const set = (id, value) => { document.getElementById(id).value = String(value); };
    set('f-seed', seed);
    set('f-plotted', d);
    for (const [key, value] of Object.entries(settings)) {
      const input = document.querySelector(`[data-key="${key}"] input, [data-key="${key}"] select`);
      if (input.type === 'checkbox') input.checked = value === 'true';
      else input.value = String(value);
    }
  }, { settings: SETTINGS, seed: SEED, drawn });
  await page.evaluate(() => { delete document.body.dataset.run; });
  await page.getByRole('button', { name: 'Run', exact: true }).click();
  await page.waitForSelector('body[data-run="done"]', { timeout: 600000 });
  return page.evaluate(() => window.duolocusLastRun);
}

// Headless Chromium started as the tests start it (as root, without its
// sandbox) checks every WebAssembly memory access explicitly; a desktop
// Chromium catches stray accesses with guard pages and a signal handler
// instead (V8's trap handler), as Node.js does. Both are measured.
const BROWSERS = [
  ['browser engine, headless Chromium as the tests start it', []],
  ['browser engine, Chromium with the trap handler of a desktop Chromium', ['--js-flags=--wasm-trap-handler']],
];

const server = await serve(web);
const native = [];
const results = BROWSERS.map(() => ({ engine: [], lab: [] }));
for (let k = 0; k < REPEATS; k += 1) native.push(nativeSeconds());
for (const [b, [, flags]] of BROWSERS.entries()) {
  const chromium = await launch(flags);
  const { page } = await openLab(chromium.browser, server.url);
  for (let k = 0; k < REPEATS; k += 1) {
    results[b].engine.push((await browserSeconds(page, 0)).seconds);
    results[b].lab.push((await browserSeconds(page, 1)).seconds);
  }
  await chromium.close();
}
for (let k = 0; k < REPEATS; k += 1) native.push(nativeSeconds());
await server.close();

const perGen = (s) => (1e3 * s) / GENERATIONS;
const n = median(native);
const rows = [['native (duolocus-batch, whole process)', n]];
BROWSERS.forEach(([name], b) => {
  rows.push([`${name}, plots off`, median(results[b].engine)]);
  rows.push([`${name}, live plots of 1 iteration`, median(results[b].lab)]);
});
console.log(`10,000 individuals, ${GENERATIONS} generations, seed ${SEED}; medians of ${REPEATS} browser runs and ${2 * REPEATS} native runs`);
console.log('| Run | Time (s) | ms per generation | Against native |');
console.log('|---|---:|---:|---:|');
for (const [name, s] of rows) console.log(`| ${name} | ${s.toFixed(3)} | ${perGen(s).toFixed(3)} | ${(s / n).toFixed(2)}x |`);
