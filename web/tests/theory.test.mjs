// The lab's theory against the table of values the Python package's theory
// module answers too (tests/theory_values.json, worked out from the
// published formulas): one set of numbers for both languages.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import * as theory from '../src/theory.js';

const { cases } = JSON.parse(readFileSync(new URL('../../tests/theory_values.json', import.meta.url), 'utf8'));
// The names come from the shipped catalogue, as the page hands them over.
theory.useCatalogue(JSON.parse(readFileSync(new URL('../../python/duolocus/catalogue.json', import.meta.url), 'utf8')));
const camel = (name) => name.replace(/_([a-z])/g, (_, c) => c.toUpperCase()).replace(/SH$/i, 'SH');
const NAMES = { selection_s_h: 'selectionSH', wf_absorption_times: 'wfAbsorptionTimes' };

function close(got, want, tol, what) {
  if (want === null) {
    assert.equal(got, null, what);
  } else if (Array.isArray(want)) {
    assert.ok(Array.isArray(got) && got.length === want.length, `${what}: ${got}`);
    want.forEach((w, k) => close(got[k], w, tol, what));
  } else if (typeof want === 'object') {
    for (const [key, value] of Object.entries(want)) close(got[key], value, tol, `${what} [${key}]`);
  } else if (typeof want === 'string') {
    assert.equal(got, want, what);
  } else {
    assert.ok(Math.abs(got - want) <= tol * Math.max(1, Math.abs(want)), `${what}: ${got}, not ${want}`);
  }
}

test('every formula gives the table\'s values', () => {
  const formulas = cases.filter((c) => c.name !== 'fixation_law');
  assert.ok(formulas.length > 30);
  for (const c of formulas) {
    const fn = theory[NAMES[c.name] || camel(c.name)];
    assert.equal(typeof fn, 'function', c.name);
    close(fn(...c.args), c.value, c.tol, `${c.name}(${JSON.stringify(c.args)})`);
  }
});

test('a run\'s settings call for the law the table names, with its u at the start', () => {
  const laws = cases.filter((c) => c.name === 'fixation_law');
  assert.ok(laws.length >= 10);
  for (const c of laws) {
    const [ctx, gene, p] = c.args;
    const law = theory.fixationLaw(ctx, gene);
    if (c.kind === null) {
      assert.equal(law, null, c.title);
      continue;
    }
    assert.ok(law, c.title);
    assert.equal(law.neutral, c.kind === 'neutral', c.title);
    close(law.u(p), c.value, c.tol, c.title);
  }
});

test('neutral times follow only a neutral law; z measures the distance in standard errors', () => {
  const ctx = cases.find((c) => c.name === 'fixation_law' && c.kind === 'neutral').args[0];
  const times = theory.fixationTimesLaw(ctx, 0)(0.5);
  close(times, [theory.kimuraOhtaTimes(ctx.population, 0.5).fix, theory.kimuraOhtaTimes(ctx.population, 0.5).loss], 1e-12, 'times');
  const selected = cases.find((c) => c.name === 'fixation_law' && c.kind === 'Kimura').args[0];
  assert.equal(theory.fixationTimesLaw(selected, 0), null);
  close(theory.zScore(0.6, 0.5, 100), 2, 1e-12, 'z');
  assert.equal(theory.zScore(1, 1, 10), 0);
  assert.equal(theory.zScore(0.5, 1, 10), null);
  assert.equal(theory.zScore(0.5, null, 10), null);
  assert.throws(() => theory.wfAbsorptionTimes(theory.EXACT_TIMES_MAX_N + 1, 1), RangeError);
});

test('the exact chain applies where one gene behaves as one locus in a small population, from the founders\' genotypes', () => {
  const base = cases.find((c) => c.name === 'fixation_law' && c.kind === 'neutral').args[0];
  const ctx = { ...base, population: 4, 'founders.AABB': 1, 'founders.AABb': 0, 'founders.AAbb': 0, 'founders.AaBB': 0,
    'founders.AaBb': 2, 'founders.Aabb': 0, 'founders.aaBB': 0, 'founders.aaBb': 0, 'founders.aabb': 1 };
  const genotypes = ['AABB', 'AABb', 'AAbb', 'AaBB', 'AaBb', 'Aabb', 'aaBB', 'aaBb', 'aabb'];
  genotypes.forEach((g, k) => { ctx[`fitness.${g}`] = [0.8, 0.9, 1.0][Math.floor(k / 3)]; });
  const table = cases.find((c) => c.name === 'selection_fixation_exact' && c.args[0] === 4 && c.args[1][0] === 0.8);
  const founders = genotypes.map((g) => ctx[`founders.${g}`]);
  close(theory.exactFixationLaw(ctx, 0)(founders), table.value, 1e-9, 'Alpha from AA 1, Aa 2, aa 1');
  // Neutral: the exact chain gives p0 itself.
  const neutral = { ...ctx };
  genotypes.forEach((g) => { neutral[`fitness.${g}`] = 1; });
  close(theory.exactFixationLaw(neutral, 1)(founders), 0.5, 1e-9, 'neutral Beta');
  assert.equal(theory.exactFixationLaw({ ...ctx, population: theory.EXACT_SELECTION_MAX_N + 1 }, 0), null);
  assert.equal(theory.exactFixationLaw({ ...ctx, fertilization: 'monogamy' }, 0), null);
  assert.equal(theory.exactFixationLaw({ ...ctx, 'migration.immigrants': 1 }, 0), null);
  assert.equal(theory.selectionFixationExact(4, [1, 0.9, 0.8], [4, 0, 0]), 1);
  assert.equal(theory.selectionFixationExact(4, [1, 0.9, 0.8], [0, 0, 4]), 0);
});

test('founder origins under drift: each founding chromosome alike, the phase of double heterozygotes kept', () => {
  // 1 AABB, 2 AaBb (one placed in coupling, one drawn), 1 aabb: 8 chromosomes.
  const founders = [1, 0, 0, 0, 2, 0, 0, 0, 1];
  const shares = theory.originShares(founders, [1, 0]);
  const want = { 'AB in AABB': 2, 'AB in AaBb': 1.5, 'ab in AaBb': 1.5, 'Ab in AaBb': 0.5, 'aB in AaBb': 0.5, 'ab in aabb': 2 };
  assert.deepEqual([...shares.keys()].sort(), Object.keys(want).sort());
  for (const [label, copies] of Object.entries(want)) close(shares.get(label), copies / 8, 1e-15, label);
  // Any founders: the shares add up to 1, and a genotype's to its share of
  // the founders.
  let seed = 7;
  const next = () => { seed = (seed * 48271) % 2147483647; return seed; };
  for (let trial = 0; trial < 50; trial += 1) {
    const counts = theory.GENOTYPES.map(() => next() % 6);
    if (counts.every((c) => c === 0)) continue;
    const coupled = Math.min(counts[4], next() % 3);
    const sharesOf = theory.originShares(counts, [coupled, Math.min(counts[4] - coupled, next() % 3)]);
    const n = counts.reduce((a, b) => a + b, 0);
    close([...sharesOf.values()].reduce((a, b) => a + b, 0), 1, 1e-12, 'total');
    theory.GENOTYPES.forEach((g, k) => {
      const ofG = [...sharesOf.entries()].filter(([label]) => label.endsWith(` in ${g}`)).reduce((a, [, v]) => a + v, 0);
      close(ofG, counts[k] / n, 1e-12, g);
    });
  }
});
