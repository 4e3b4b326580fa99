// The deterministic expectation drawn under the live lines, against values
// worked out by hand from the classical recursions.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { expectation, genotypeIndex, parameters } from '../src/expect.js';

const DEFAULT_FOUNDERS = [10, 20, 10, 20, 40, 20, 10, 20, 10];
const ONES = new Array(9).fill(1);
const close = (a, b, tol = 1e-12) => assert.ok(Math.abs(a - b) <= tol, `${a} is not ${b}`);

test('genotype names give the program\'s genotype order', () => {
  assert.deepEqual(['AABB', 'AABb', 'AAbb', 'AaBB', 'AaBb', 'Aabb', 'aaBB', 'aaBb', 'aabb'].map(genotypeIndex),
    [0, 1, 2, 3, 4, 5, 6, 7, 8]);
});

test('under drift p stays at the founders\', D decays by 1 - r and 2pq by 1 - 1/2N', () => {
  // 30 AB/AB and 10 ab/ab founders: p_A = p_B = 0.75, D = 0.75 - 0.5625.
  const founders = [30, 0, 0, 0, 0, 0, 0, 0, 10];
  const e = expectation({ w: ONES, founders, r: 0.1, mu: null, m: 0, immigrants: null, preferences: false });
  for (const t of [1, 7, 50]) {
    const s = e(t);
    close(s.p_A, 0.75);
    close(s.p_B, 0.75);
    close(s.D, 0.1875 * 0.9 ** t);
    close(s.He_A, 0.375 * (1 - 1 / 80) ** t);
    close(s.p_AB + s.p_Ab + s.p_aB + s.p_ab, 1);
  }
});

test('selection on one gene follows the one-locus recursion; the other gene stays put', () => {
  // aa has fitness 0.8, Aa 0.9 (s = 0.2, h = 0.5), Beta neutral.
  const w = [1, 1, 1, 0.9, 0.9, 0.9, 0.8, 0.8, 0.8];
  const e = expectation({ w, founders: DEFAULT_FOUNDERS, r: 0.5, mu: null, m: 0, immigrants: null, preferences: false });
  let p = 0.5;
  for (let t = 1; t <= 20; t += 1) {
    const q = 1 - p;
    p = (p * p + p * q * 0.9) / (p * p + 2 * p * q * 0.9 + q * q * 0.8);
    close(e(t).p_A, p, 1e-12);
    close(e(t).p_B, 0.5, 1e-12);
    close(e(t).He_A, 2 * p * (1 - p), 1e-12);
  }
});

test('mutation moves p by u and v each generation; migration pulls it to the immigrants\'', () => {
  const mutating = expectation({ w: ONES, founders: DEFAULT_FOUNDERS, r: 0, mu: [0.01, 0.002, 0, 0], m: 0, immigrants: null, preferences: false });
  let p = 0.5;
  for (let t = 1; t <= 10; t += 1) {
    p = p * (1 - 0.01) + (1 - p) * 0.002;
    close(mutating(t).p_A, p, 1e-12);
  }
  const immigrants = [1, 0, 0, 0, 0, 0, 0, 0, 0];
  const migrating = expectation({ w: ONES, founders: DEFAULT_FOUNDERS, r: 0, mu: null, m: 0.05, immigrants, preferences: false });
  close(migrating(10).p_A, 1 - 0.5 * 0.95 ** 10, 1e-12);
  close(migrating(10).p_B, 1 - 0.5 * 0.95 ** 10, 1e-12);
});

test('no curve under mating preferences, nor without a population', () => {
  assert.equal(expectation({ w: ONES, founders: DEFAULT_FOUNDERS, r: 0, mu: null, m: 0, immigrants: null, preferences: true }), null);
  assert.equal(expectation({ w: ONES, founders: new Array(9).fill(0), r: 0, mu: null, m: 0, immigrants: null, preferences: false }), null);
});

test('parameters are read from the screen settings by catalogue group', () => {
  const rows = [];
  const screen = {};
  const names = ['AABB', 'AABb', 'AAbb', 'AaBB', 'AaBb', 'Aabb', 'aaBB', 'aaBb', 'aabb'];
  names.forEach((n, g) => {
    rows.push({ key: `founders.${n}`, group: 'founders', type: 'count', hi: 1e6 });
    rows.push({ key: `fitness.${n}`, group: 'fitness', type: 'real', hi: 1 });
    rows.push({ key: `migration.mix.${n}`, group: 'migration', type: 'real', hi: 1 });
    screen[`founders.${n}`] = DEFAULT_FOUNDERS[g];
    screen[`fitness.${n}`] = g === 8 ? 0.5 : 1;
    screen[`migration.mix.${n}`] = g === 0 ? 0.25 : 0;
  });
  rows.push({ key: 'migration.immigrants', group: 'migration', type: 'real', hi: 1e6 });
  screen['migration.immigrants'] = 8;
  rows.push({ key: 'map_distance_cM', group: 'linkage', type: 'real', hi: 50 });
  screen.map_distance_cM = 12.5;
  ['A_to_a', 'a_to_A', 'B_to_b', 'b_to_B'].forEach((k, j) => {
    rows.push({ key: `mutation.${k}`, group: 'mutation', type: 'real', hi: 1 });
    screen[`mutation.${k}`] = j === 3 ? 0.001 : 0;
  });
  ['AA_AA', 'AA_Aa'].forEach((k) => {
    rows.push({ key: `mating.${k}`, group: 'mating', type: 'real', hi: 1 });
    screen[`mating.${k}`] = 1;
  });
  const p = parameters(screen, rows);
  assert.equal(p.w[8], 0.5);
  assert.deepEqual(p.founders, DEFAULT_FOUNDERS);
  close(p.r, 0.125);
  assert.deepEqual(p.mu, [0, 0, 0, 0.001]);
  close(p.m, 8 / 160);
  assert.deepEqual(p.immigrants, [0.25, 0, 0, 0, 0, 0, 0, 0, 0.75]);
  assert.equal(p.preferences, false);
  screen['mating.AA_Aa'] = 0.5;
  assert.equal(parameters(screen, rows).preferences, true);
});

test('the founders\' haplotypes, where the engine knows them, start the curve', () => {
  // 20 AaBb founders all in coupling: D = 0.25 at the start, halving at r = 0.5.
  const founders = [0, 0, 0, 0, 20, 0, 0, 0, 0];
  const e = expectation({ w: ONES, founders, r: 0.5, mu: null, m: 0, immigrants: null, preferences: false, haplotypes: [0.5, 0, 0, 0.5] });
  close(e(0).D, 0.25);
  close(e(3).D, 0.25 / 8);
  const randomPhase = expectation({ w: ONES, founders, r: 0.5, mu: null, m: 0, immigrants: null, preferences: false });
  close(randomPhase(0).D, 0);
});
