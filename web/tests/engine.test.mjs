// The lab's engine module (in Node) against the catalogue file the page
// takes everything from: the same rows, the same statistics in the same
// order, the same seed limits; and its preview of the founders a run
// starts from.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { readFileSync, existsSync } from 'node:fs';
import path from 'node:path';
import { webDir } from './harness.mjs';

const catalogue = JSON.parse(readFileSync(new URL('../../python/duolocus/catalogue.json', import.meta.url), 'utf8'));
let engine;

before(async () => {
  const file = path.resolve(webDir, 'duolocus-engine.js');
  if (!existsSync(file)) throw new Error(`no engine in ${webDir}: build it first with make web`);
  const createEngine = createRequire(import.meta.url)(file);
  engine = await createEngine({ wasmBinary: readFileSync(path.resolve(webDir, 'duolocus-engine.wasm')) });
});

const text = (ptr) => engine.UTF8ToString(ptr);

function set(key, value) {
  const kind = Number.isInteger(value) ? 0 : typeof value === 'number' ? 1 : 3;
  const written = String(value);
  return engine.ccall('LABSET', 'number', ['string', 'number', 'number', 'string', 'number', 'string'],
    [key, kind, typeof value === 'number' ? value : 0, written, new TextEncoder().encode(written).length, 'test']);
}

test('the engine\'s catalogue, statistics and seed limits are the shipped file\'s', () => {
  const rows = JSON.parse(text(engine._LABCATALOGUE()));
  assert.deepEqual(rows.map((r) => r.key), catalogue.settings.map((r) => r.key));
  rows.forEach((row, k) => {
    for (const [column, value] of Object.entries(row)) {
      assert.deepEqual(catalogue.settings[k][column], value, `${row.key}: ${column}`);
    }
  });
  assert.deepEqual(text(engine._LABSTATISTICS()).split(','), catalogue.statistics);
  const [lo, hi] = catalogue.limits.seed;
  assert.equal(text(engine._LABSEEDFAULT(lo)), '');
  assert.equal(text(engine._LABSEEDFAULT(hi)), '');
  assert.match(text(engine._LABSEEDFAULT(hi + 1)), new RegExp(`allowed: ${lo} to ${hi}`));
  assert.match(text(engine._LABSEEDFAULT(lo - 1)), /out of range/);
});

test('the preview gives the founders a run starts from: left-out genotypes 0, frequencies and D', () => {
  engine._LABCLEAR();
  assert.equal(set('founders.AABB', 30), 1);
  assert.equal(set('founders.aabb', 10), 1);
  assert.equal(engine._LABCHECK(), 1);
  const preview = JSON.parse(text(engine._LABPREVIEW()));
  assert.equal(preview.population, 40);
  assert.deepEqual(preview.founders, [30, 0, 0, 0, 0, 0, 0, 0, 10]);
  assert.equal(preview.pA, 0.75);
  assert.equal(preview.pB, 0.75);
  assert.deepEqual(preview.haplotypes, [0.75, 0, 0, 0.25]);
  assert.equal(preview.D, 0.75 * 0.25);
  // Settings a run would refuse give no preview, and their faults.
  engine._LABCLEAR();
  for (const g of catalogue.genotypes) set(`founders.${g}`, 0);
  assert.equal(text(engine._LABPREVIEW()), '');
  assert.ok(engine._LABFAULTCOUNT() > 0);
  assert.match(text(engine._LABFAULT(0)), /founders add up to 0/);
});
