// The browser engine against the native program on the same run, at each
// population size asked for (10,000 and 1,000,000 individuals unless
// --size says otherwise): founders in the default proportions, aabb fitness
// 0.9, 10 cM, one iteration not stopped at fixation, seed 1, as many
// generations as make 20,000,000 offspring in all (2,000 generations at
// 10,000, 20 at 1,000,000).
//
// The machine is shared, so the two sides are measured in turns: every
// round runs the native program once and then each browser run once, and a
// browser run is compared with the native run of its own round. The table
// gives the medians of the times and of those per-round ratios, and the
// range of the ratios.
//   node web/bench/bench.mjs --native build/duolocus-batch --web build/web
//     [--size 10000 --size 1000000] [--rounds 5]
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { serve, launch, openLab, webDir, batchBin } from '../tests/harness.mjs';

const args = process.argv.slice(2);
const valuesOf = (name) => args.flatMap((a, k) => (a === name && k + 1 < args.length ? [args[k + 1]] : []));
const option = (name, fallback) => (valuesOf(name).length > 0 ? path.resolve(valuesOf(name).at(-1)) : fallback);
const nativeBin = option('--native', batchBin);
const web = option('--web', webDir);

function wholeNumber(text, what, least) {
  const n = Number(text);
  if (!Number.isInteger(n) || n < least) {
    console.error(`bench: ${what} must be a whole number of at least ${least}, not "${text}"`);
    process.exit(2);
  }
  return n;
}

const SIZES = (valuesOf('--size').length > 0 ? valuesOf('--size') : ['10000', '1000000'])
  .map((s) => wholeNumber(s, '--size', 16));
const ROUNDS = wholeNumber(valuesOf('--rounds').at(-1) ?? '5', '--rounds', 1);
const OFFSPRING = 20000000;
const SEED = 1;

// Founders in the default proportions (1:2:1 at each locus, independently),
// AaBb taking what rounding leaves.
const SHARES = { AABB: 1, AABb: 2, AAbb: 1, AaBB: 2, AaBb: 4, Aabb: 2, aaBB: 1, aaBb: 2, aabb: 1 };
function foundersOf(size) {
  const out = {};
  let placed = 0;
  for (const [g, share] of Object.entries(SHARES)) {
    if (g === 'AaBb') continue;
    out[`founders.${g}`] = Math.round((size * share) / 16);
    placed += out[`founders.${g}`];
  }
  out['founders.AaBb'] = size - placed;
  return out;
}

function settingsFor(size) {
  const generations = Math.max(1, Math.round(OFFSPRING / size));
  return {
    generations,
    settings: {
      ...foundersOf(size), iterations: 1, max_generations: generations, stop_at_fixation: 'false',
      map_distance_cM: 10, 'fitness.aabb': 0.9,
    },
  };
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

function nativeSeconds(settings) {
  const dir = mkdtempSync(path.join(os.tmpdir(), 'duolocus-bench-'));
  try {
    writeFileSync(path.join(dir, 'bench.toml'), `seed = ${SEED}\n`);
    const sets = Object.entries(settings).flatMap(([k, v]) => ['--set', `${k}=${v}`]);
    const start = process.hrtime.bigint();
    execFileSync(nativeBin, [path.join(dir, 'bench.toml'), '-o', 'bench', '-q', ...sets], { cwd: dir });
    return Number(process.hrtime.bigint() - start) / 1e9;
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

async function browserSeconds(page, settings, drawn) {
  await page.getByRole('button', { name: 'Defaults' }).click();
  await page.evaluate(({ settings: all, seed, drawn: d }) => {
    const set = (id, value) => { document.getElementById(id).value = String(value); };
    set('f-seed', seed);
    set('f-plotted', d);
    for (const [key, value] of Object.entries(all)) {
      const input = document.querySelector(`[data-key="${key}"] input, [data-key="${key}"] select`);
      if (input.type === 'checkbox') input.checked = value === 'true';
      else input.value = String(value);
    }
  }, { settings, seed: SEED, drawn });
  await page.evaluate(() => { delete document.body.dataset.run; });
  await page.getByRole('button', { name: 'Run', exact: true }).click();
  await page.waitForSelector('body[data-run="done"], body[data-run="failed"]', { timeout: 600000 });
  const last = await page.evaluate(() => ({ state: document.body.dataset.run, run: window.duolocusLastRun }));
  if (last.state !== 'done') throw new Error(`the lab's run did not end well (${last.state})`);
  return last.run.seconds;
}

// Headless Chromium started as the tests start it (as root, without its
// sandbox) may check every WebAssembly memory access explicitly; a desktop
// Chromium catches stray accesses with guard pages and a signal handler
// instead (V8's trap handler), as Node.js does. Both are measured.
const BROWSERS = [
  ['browser engine, headless Chromium as the tests start it', []],
  ['browser engine, Chromium with the trap handler of a desktop Chromium', ['--js-flags=--wasm-trap-handler']],
];
const MODES = [['plots off', 0], ['live plots of 1 iteration', 1]];

const server = await serve(web);
const opened = [];
try {
  for (const [, flags] of BROWSERS) {
    const chromium = await launch(flags);
    opened.push(chromium);
    chromium.page = (await openLab(chromium.browser, server.url)).page;
  }
  const tables = [];
  for (const size of SIZES) {
    const { generations, settings } = settingsFor(size);
    const runs = BROWSERS.flatMap((b, bi) => MODES.map((m, mi) => ({ name: `${b[0]}, ${m[0]}`, bi, drawn: m[1], mi, times: [], ratios: [] })));
    const native = [];
    // A first run of each, not counted: the browser compiles the engine's
    // hot code with its optimizing tier only after it has run a while.
    nativeSeconds(settings);
    for (const r of runs) await browserSeconds(opened[r.bi].page, settings, r.drawn);
    for (let k = 0; k < ROUNDS; k += 1) {
      const n = nativeSeconds(settings);
      native.push(n);
      for (const r of runs) {
        const s = await browserSeconds(opened[r.bi].page, settings, r.drawn);
        r.times.push(s);
        r.ratios.push(s / n);
      }
    }
    tables.push({ size, generations, native, runs });
  }
  const perGen = (s, generations) => ((1e3 * s) / generations).toFixed(3);
  for (const { size, generations, native, runs } of tables) {
    console.log(`\n${size.toLocaleString('en-US')} individuals, ${generations.toLocaleString('en-US')} generations, seed ${SEED}; ${ROUNDS} rounds, medians`);
    console.log('| Run | Time (s) | ms per generation | Against native (median) | Against native (range) |');
    console.log('|---|---:|---:|---:|---:|');
    const n = median(native);
    console.log(`| native (duolocus-batch, whole process) | ${n.toFixed(3)} | ${perGen(n, generations)} | 1.00x | |`);
    for (const r of runs) {
      const t = median(r.times);
      const lo = Math.min(...r.ratios).toFixed(2);
      const hi = Math.max(...r.ratios).toFixed(2);
      console.log(`| ${r.name} | ${t.toFixed(3)} | ${perGen(t, generations)} | ${median(r.ratios).toFixed(2)}x | ${lo} to ${hi} |`);
    }
  }
} finally {
  for (const chromium of opened) await chromium.close();
  await server.close();
}
