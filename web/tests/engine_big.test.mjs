// The lab's engine module on its own (in Node.js, the same V8 as Chromium)
// on populations large enough for the generation builder's path for big
// populations, which makes offspring in batches: its files must be the
// native program's, byte for byte, under every way of choosing parents, and
// the statistics it hands the live plots every generation those of the
// batch program's trajectory file. The browser tests run small populations
// only.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { webDir, nativeFiles, batchBin } from './harness.mjs';

let engine;
let types;

before(async () => {
  const createEngine = createRequire(import.meta.url)(path.resolve(webDir, 'duolocus-engine.js'));
  engine = await createEngine({ wasmBinary: readFileSync(path.join(webDir, 'duolocus-engine.wasm')) });
  const rows = JSON.parse(engine.UTF8ToString(engine._LABCATALOGUE()));
  types = new Map(rows.map((r) => [r.key, r.type]));
});

// Hands the settings over as the lab's worker does, each by the kind its
// catalogue type asks for, and runs with live statistics for every
// iteration; returns the two files and the statistics of each generation.
function runEngine(prefix, seed, settings) {
  engine._LABCLEAR();
  for (const [key, value] of Object.entries(settings)) {
    const type = types.get(key);
    assert.ok(type, `${key} is a setting`);
    const text = String(value);
    let kind = 3;
    if (type === 'flag') kind = 2;
    else if (type !== 'choice' && Number.isFinite(Number(text))) kind = Number.isInteger(Number(text)) ? 0 : 1;
    const number = kind === 2 ? Number(text === 'true') : Number(text) || 0;
    const ok = engine.ccall('LABSET', 'number', ['string', 'number', 'number', 'string', 'number', 'string'],
      [key, kind, number, text, new TextEncoder().encode(text).length, key]);
    assert.equal(ok, 1, `${key} = ${text} is taken`);
  }
  assert.equal(engine._LABCHECK(), 1, 'the settings pass the start checks');
  const stats = [];
  engine.onGeneration = (values) => stats.push(Array.from(values));
  const status = engine.ccall('LABRUN', 'number', ['number', 'string', 'number'], [seed, prefix, 1e9]);
  engine.onGeneration = null;
  assert.equal(status, 0, 'the run ends well');
  const bytes = (ptr, size) => Buffer.from(engine.HEAPU8.slice(ptr, ptr + size));
  return {
    csv: bytes(engine._LABCSV(), engine._LABCSVSIZE()),
    txt: bytes(engine._LABTXT(), engine._LABTXTSIZE()),
    generations: engine._LABGENERATIONS(),
    stats,
  };
}

// The batch program's trajectory of every generation, as numbers.
function nativeTrajectory(seed, settings) {
  const dir = mkdtempSync(path.join(os.tmpdir(), 'duolocus-traj-'));
  try {
    writeFileSync(path.join(dir, 'study.toml'), `seed = ${seed}\n`);
    const sets = Object.entries(settings).flatMap(([k, v]) => ['--set', `${k}=${v}`]);
    execFileSync(batchBin, [path.join(dir, 'study.toml'), '-o', 'traj', '-q', '--trajectory', '1', ...sets],
      { cwd: dir, stdio: ['ignore', 'ignore', 'pipe'] });
    const lines = readFileSync(path.join(dir, 'traj.traj.csv'), 'utf8').trim().split('\n');
    // The file starts each iteration with its founders (generation 0); the
    // live plots are handed each generation made.
    return lines.slice(1).map((line) => line.split(',').map(Number)).filter((row) => row[1] > 0);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

// Founders of every genotype, unevenly, adding up to size.
function founders(size) {
  const shares = [1, 2, 1, 2, 4, 2, 1, 2, 1];
  const names = ['AABB', 'AABb', 'AAbb', 'AaBB', 'AaBb', 'Aabb', 'aaBB', 'aaBb', 'aabb'];
  const out = {};
  let placed = 0;
  names.forEach((g, k) => {
    const n = k === 8 ? size - placed : Math.floor((size * shares[k]) / 16) + (k % 3);
    out[`founders.${g}`] = n;
    placed += n;
  });
  return out;
}

// Sizes at and above the big path's threshold (65,536), and one that does
// not divide into whole batches.
const FAMILIES = [
  { name: 'no selection, genes fully linked', seed: 3, size: 65536,
    settings: { map_distance_cM: 0, max_generations: 4, stop_at_fixation: 'false', iterations: 2 } },
  { name: 'selection and recombination', seed: 11, size: 70001,
    settings: { 'fitness.aabb': 0.9, 'fitness.AaBb': 0.5, 'fitness.AAbb': 0.75, map_distance_cM: 10,
      max_generations: 5, stop_at_fixation: 'false', iterations: 2 } },
  { name: 'monogamy with premating preferences', seed: 29, size: 66000,
    settings: { fertilization: 'monogamy', 'mating.AA_aa': 0.2, 'mating.Aa_aa': 0.6, 'mating.isolation': 'premating',
      'fitness.aabb': 0.7, map_distance_cM: 30, max_generations: 3, stop_at_fixation: 'false' } },
  { name: 'no selfing, postmating isolation, immigrants and mutation', seed: 500, size: 70001,
    settings: { fertilization: 'selfing-not-allowed', 'mating.AA_AA': 0.5, 'mating.isolation': 'postmating',
      'migration.immigrants': 700.5, 'migration.mix.AABB': 0.5, 'migration.mix.AaBb': 0.25, 'migration.mix.aabb': 'rest',
      'mutation.A_to_a': 0.001, 'mutation.b_to_B': 0.002, map_distance_cM: 20, max_generations: 3,
      stop_at_fixation: 'false' } },
];

for (const family of FAMILIES) {
  test(`big population, ${family.name}: the engine module writes the native program's files`, async () => {
    const settings = { ...founders(family.size), ...family.settings };
    const got = runEngine('big', family.seed, settings);
    const native = await nativeFiles('big', family.seed, settings);
    const iterations = settings.iterations ?? 1;
    assert.equal(got.generations, iterations * settings.max_generations, 'every generation was made');
    assert.ok(native.csv.equals(got.csv), 'CSV table as the native program\'s');
    assert.ok(native.txt.equals(got.txt), 'text report as the native program\'s');
    // The trajectory file has seven decimals: a single chromosome counted
    // in the wrong haplotype moves a frequency by more than 7e-6 here.
    const trajectory = nativeTrajectory(family.seed, settings);
    assert.equal(got.stats.length, trajectory.length, 'statistics for every generation');
    got.stats.forEach((row, k) => {
      assert.deepEqual(row.slice(0, 2), trajectory[k].slice(0, 2), `row ${k}: iteration and generation`);
      row.slice(2).forEach((v, j) => {
        assert.ok(Math.abs(v - trajectory[k][2 + j]) <= 5.1e-8,
          `row ${k}, column ${2 + j}: ${v} against the trajectory's ${trajectory[k][2 + j]}`);
      });
    });
  });
}
