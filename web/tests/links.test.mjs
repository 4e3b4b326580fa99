// A lab link means what the same keys mean to `duolocus-batch --set`:
// genotypes left out of a founders or immigrant table count 0 once any is
// given (aabb among immigrants takes "rest"), keys are case-sensitive and
// given once. Read against the catalogue the lab ships.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { readLink, zeroTables, wordOf } from '../src/links.js';

const catalogue = JSON.parse(readFileSync(new URL('../../python/duolocus/catalogue.json', import.meta.url), 'utf8'));
const rows = catalogue.settings;
const founderKeys = rows.filter((r) => r.group === 'founders').map((r) => r.key);

test('founders given in part: the genotypes left out count 0, the other settings keep their defaults', () => {
  const link = readLink('?seed=5&founders.AABB=5&founders.aabb=5&founders.AaBb=4&iterations=2', rows);
  assert.deepEqual(link.faults, []);
  assert.deepEqual(link.page, { seed: '5' });
  const values = Object.fromEntries(link.values);
  for (const key of founderKeys) {
    const want = { 'founders.AABB': '5', 'founders.aabb': '5', 'founders.AaBb': '4' }[key] || '0';
    assert.equal(values[key], want, key);
  }
  assert.equal(values.iterations, '2');
  assert.equal(values['fitness.AABB'], undefined, 'fitnesses left out keep their defaults');
  assert.equal(Object.keys(values).some((k) => k.startsWith('migration.')), false, 'no immigrant share is set');
});

test('an immigrant mix given in part: shares left out count 0, aabb is what the others leave', () => {
  const values = Object.fromEntries(readLink('migration.immigrants=2&migration.mix.AABB=0.5', rows).values);
  assert.equal(values['migration.mix.AABB'], '0.5');
  assert.equal(values['migration.mix.AaBb'], '0');
  assert.equal(values['migration.mix.aabb'], 'rest');
  assert.equal(values['migration.immigrants'], '2');
  const given = Object.fromEntries(readLink('migration.mix.aabb=0.25&migration.mix.AABB=0.75', rows).values);
  assert.equal(given['migration.mix.aabb'], '0.25');
  // The tables are found by what their ranges say, not by name.
  const tables = [...zeroTables(rows).keys()].sort();
  assert.deepEqual(tables, ['founders.', 'migration.mix.']);
  assert.equal(wordOf(rows.find((r) => r.key === 'migration.mix.aabb')), 'rest');
  assert.equal(wordOf(rows.find((r) => r.key === 'population.phase')), null);
});

test('duplicate keys, keys in another case and unknown keys are refused, naming the key', () => {
  const twice = readLink('iterations=3&iterations=4&seed=1&seed=2', rows);
  assert.equal(twice.faults.length, 2);
  assert.match(twice.faults[0], /iterations is given more than once/);
  assert.match(twice.faults[1], /seed is given more than once/);
  const cased = readLink('ITERATIONS=3&Founders.AABB=2', rows);
  assert.equal(cased.faults.length, 2);
  assert.match(cased.faults[0], /ITERATIONS is no setting/);
  assert.deepEqual(cased.values, [], 'a key in another case sets nothing, nor fills a table');
  assert.deepEqual(readLink('', rows), { page: {}, values: [], faults: [] });
});

test('the lab\'s sources hold no limit or default of their own: they come from the catalogue', async () => {
  const { readdirSync } = await import('node:fs');
  const dir = new URL('../src/', import.meta.url);
  const limits = [catalogue.limits.seed[1], catalogue.limits.trajectory[1],
    ...rows.filter((r) => r.key === 'max_generations').map((r) => r.defaultValue), 50000, 30000, 32767, 9999999];
  for (const name of readdirSync(dir)) {
    const text = readFileSync(new URL(name, dir), 'utf8');
    for (const value of new Set(limits)) {
      assert.ok(!new RegExp(`(^|[^0-9.])${value}([^0-9]|$)`).test(text), `${name} writes ${value} itself`);
    }
  }
  assert.deepEqual(catalogue.statistics.slice(0, 2), ['iter', 'gen']);
});
