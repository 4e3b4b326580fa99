// What population-genetics theory expects of a run, beside what it gave:
// the same formulas as the Python package's theory module (duolocus.theory),
// with the same names in camel case, checked against the same table of
// values (tests/theory_values.json) by both test suites.
//
// Settings come as a context object keyed as a study file keys them
// (fitness.AABB, mutation.A_to_a, fertilization, ...), choices by name,
// plus "population" and the realised starting frequencies "p0_A", "p0_B".

// The genotype and haplotype names in the engine's order, as the catalogue
// file gives them: the page hands the file over once it has it.
export let GENOTYPES = [];
export let HAPLOTYPES = [];
export function useCatalogue(file) {
  GENOTYPES = [...file.genotypes];
  HAPLOTYPES = [...file.haplotypes];
}

export const NEUTRAL_TEXT = 'neutral: u = p0';
export const KIMURA_OHTA_TEXT = 'Kimura and Ohta';

// Frequency of A (gene 'A') or B among founders counted in genotype order.
export function founderAlleleFreq(counts, gene) {
  const n = counts.reduce((a, b) => a + b, 0);
  let copies = 0;
  counts.forEach((c, g) => {
    const small = gene === 'A' ? Math.floor(g / 3) : g % 3;
    copies += c * (2 - small);
  });
  return copies / (2 * n);
}

// Kimura and Ohta's mean times to absorption, to fixation and to loss of a
// neutral allele at frequency p among 2N genes (diffusion).
export function kimuraOhtaTimes(n, p) {
  const q = 1 - p;
  return {
    any: -4 * n * (p * Math.log(p) + q * Math.log(q)),
    fix: (-4 * n * q * Math.log(q)) / p,
    loss: (-4 * n * p * Math.log(p)) / q,
  };
}

// A neutral allele fixes with the probability of its frequency.
export function neutralFixation(p) {
  return p;
}

// The selection coefficient of one copy of the capital allele as the
// program's parent acceptance makes it (a parent is taken with probability
// equal to its fitness): s = (w_XX - w_xx) / (w_XX + w_xx).
export function effectiveS(wXX, wxx) {
  return (wXX - wxx) / (wXX + wxx);
}

// Kimura's probability that an allele at frequency p fixes among N diploids
// when each copy adds s: (1 - exp(-4Nsp)) / (1 - exp(-4Ns)); p when s is 0.
export function kimuraFixation(n, s, p) {
  const scale = 4 * n * s;
  if (scale === 0) return p;
  return -Math.expm1(-scale * p) / -Math.expm1(-scale);
}

// Mean time to fixation (fixed true) or to loss of a neutral allele at p,
// among the iterations that end so; null where it cannot end so.
export function neutralFixationTime(n, p, fixed = true) {
  if (!(p > 0 && p < 1)) {
    if ((p === 1 && fixed) || (p === 0 && !fixed)) return 0;
    return null;
  }
  return kimuraOhtaTimes(n, p)[fixed ? 'fix' : 'loss'];
}

// P(K = k), k = 0..n, K binomial(n, x).
function binomialPmf(n, x) {
  if (x <= 0) return [1, ...new Array(n).fill(0)];
  if (x >= 1) return [...new Array(n).fill(0), 1];
  const lx = Math.log(x);
  const lq = Math.log1p(-x);
  const lg = [0];
  for (let k = 1; k <= n; k += 1) lg.push(lg[k - 1] + Math.log(k));
  return Array.from({ length: n + 1 }, (_, k) => Math.exp(lg[n] - lg[k] - lg[n - k] + k * lx + (n - k) * lq));
}

// Solves a x = b (Gaussian elimination with partial pivoting; a is changed).
function solve(a, b) {
  const n = b.length;
  const m = a.map((row, i) => [...row, b[i]]);
  for (let col = 0; col < n; col += 1) {
    let piv = col;
    for (let r = col + 1; r < n; r += 1) if (Math.abs(m[r][col]) > Math.abs(m[piv][col])) piv = r;
    if (m[piv][col] === 0) throw new RangeError('singular system');
    [m[col], m[piv]] = [m[piv], m[col]];
    const prow = m[col];
    const inv = 1 / prow[col];
    for (let r = col + 1; r < n; r += 1) {
      const row = m[r];
      const f = row[col] * inv;
      if (f !== 0) for (let c = col; c <= n; c += 1) row[c] -= f * prow[c];
    }
  }
  const x = new Array(n).fill(0);
  for (let r = n - 1; r >= 0; r -= 1) {
    let s = m[r][n];
    for (let c = r + 1; c < n; c += 1) s -= m[r][c] * x[c];
    x[r] = s / m[r][r];
  }
  return x;
}

// The largest population whose exact chain the page solves while one waits
// (the work grows as the cube of 2N).
export const EXACT_TIMES_MAX_N = 200;

// Exact mean absorption time of the Wright-Fisher chain of 2N genes from
// i0 copies, and conditional on fixation and on loss (the Doob transform
// Q*(i, j) = Q(i, j) j / i, as fixation from i copies has probability i/2N).
export function wfAbsorptionTimes(n, i0) {
  if (!(Number.isInteger(n) && n >= 1 && n <= EXACT_TIMES_MAX_N)) throw new RangeError(`n = ${n}: allowed 1 to ${EXACT_TIMES_MAX_N}`);
  const m = 2 * n;
  if (!(Number.isInteger(i0) && i0 >= 1 && i0 < m)) throw new RangeError(`i0 = ${i0}: allowed 1 to ${m - 1}`);
  const q = Array.from({ length: m + 1 }, (_, i) => binomialPmf(m, i / m));
  const meanTime = (weight) => {
    const a = [];
    for (let i = 1; i < m; i += 1) {
      const wi = weight(i);
      const row = [];
      for (let j = 1; j < m; j += 1) row.push((i === j ? 1 : 0) - (q[i][j] * weight(j)) / wi);
      a.push(row);
    }
    return solve(a, new Array(m - 1).fill(1));
  };
  const k = i0 - 1;
  return {
    any: meanTime(() => 1)[k],
    fix: meanTime((i) => i)[k],
    loss: meanTime((i) => m - i)[k],
  };
}

// The largest population whose exact chain on genotype counts the page
// solves while one waits (its states grow as N^2 / 2, the work as their cube).
export const EXACT_SELECTION_MAX_N = 30;

// Exact probability that A fixes from founders with start = [AA, Aa, aa]
// counts and Alpha-genotype fitnesses w = [w_AA, w_Aa, w_aa]: a parent is
// accepted with probability equal to its fitness, so each gene of an
// offspring comes from a parent drawn in proportion to fitness and is A
// with probability x = (w_AA n_AA + w_Aa n_Aa / 2) / sum(w n); the next
// generation's genotype counts are multinomial in Hardy-Weinberg
// proportions of x. The chain runs on genotype counts, since selection acts
// on genotypes.
export function selectionFixationExact(n, w, start) {
  if (!(Number.isInteger(n) && n >= 1 && n <= EXACT_SELECTION_MAX_N)) throw new RangeError(`n = ${n}: allowed 1 to ${EXACT_SELECTION_MAX_N}`);
  const states = [];
  for (let i = 0; i <= n; i += 1) for (let j = 0; j <= n - i; j += 1) states.push([i, j]);
  const isFix = ([i, j]) => i === n && j === 0;
  const isLoss = ([i, j]) => i === 0 && j === 0;
  const transient = states.filter((st) => !isFix(st) && !isLoss(st));
  const index = new Map(transient.map(([i, j], k) => [i * (n + 1) + j, k]));
  const lg = [0];
  for (let k = 1; k <= n; k += 1) lg.push(lg[k - 1] + Math.log(k));
  const size = transient.length;
  const a = transient.map(() => new Array(size).fill(0));
  const b = new Array(size).fill(0);
  transient.forEach(([i, j], r) => {
    const k = n - i - j;
    const row = a[r];
    row[r] += 1;
    const x = (w[0] * i + (w[1] * j) / 2) / (w[0] * i + w[1] * j + w[2] * k);
    if (!(x > 0 && x < 1)) {
      if (x >= 1) b[r] = 1;
      return;
    }
    const l1 = 2 * Math.log(x);
    const l2 = Math.log(2 * x * (1 - x));
    const l3 = 2 * Math.log1p(-x);
    for (const [i2, j2] of states) {
      const k2 = n - i2 - j2;
      const p = Math.exp(lg[n] - lg[i2] - lg[j2] - lg[k2] + i2 * l1 + j2 * l2 + k2 * l3);
      if (i2 === n && j2 === 0) b[r] += p;
      else if (!(i2 === 0 && j2 === 0)) row[index.get(i2 * (n + 1) + j2)] -= p;
    }
  });
  if (start[0] === n) return 1;
  if (start[0] === 0 && start[1] === 0) return 0;
  const u = solve(a, b);
  return u[index.get(start[0] * (n + 1) + start[1])];
}

// The fitnesses of XX, Xx, xx of one gene (0 Alpha, 1 Beta) when the other
// gene does not change fitness; null otherwise. w: the nine in genotype order.
export function geneFitness(w, gene) {
  const classes = [];
  for (let own = 0; own < 3; own += 1) {
    const values = [0, 1, 2].map((other) => (gene === 0 ? w[own * 3 + other] : w[other * 3 + own]));
    if (Math.max(...values) - Math.min(...values) > 1e-9) return null;
    classes.push(values[0]);
  }
  return classes;
}

// [s, h, favoured] of the three fitnesses XX, Xx, xx read as the favoured
// homozygote 1, the heterozygote 1 - hs, the other 1 - s; favoured is
// "capital" or "small". null without selection between the homozygotes.
export function selectionSH(classes) {
  const [wXX, wXy, wyy] = classes;
  const top = Math.max(wXX, wyy);
  if (top <= 0 || wXX === wyy) return null;
  const favoured = wXX > wyy ? 'capital' : 'small';
  const s = 1 - Math.min(wXX, wyy) / top;
  const h = (1 - wXy / top) / s;
  return [s, h, favoured];
}

// A setting as a number, as Python's float() reads it; null when it is none.
function num(ctx, key) {
  const v = ctx[key];
  if (v === undefined || v === null) return null;
  if (typeof v === 'number') return v;
  if (typeof v === 'boolean') return v ? 1 : 0;
  const text = String(v).trim();
  if (text === '') return null;
  const x = Number(text);
  return Number.isNaN(x) ? null : x;
}

// The nine fitnesses scaled so the largest is 1, or null when unknown.
export function fitnessTable(ctx) {
  const w = GENOTYPES.map((g) => num(ctx, `fitness.${g}`));
  if (w.some((v) => v === null)) return null;
  const top = Math.max(...w);
  return top > 0 ? w.map((v) => v / top) : w;
}

function onlyABChromosomes(ctx) {
  const counts = GENOTYPES.map((g) => num(ctx, `founders.${g}`));
  if (counts.some((c) => c === null)) return false;
  return counts.every((c, k) => k === 0 || k === GENOTYPES.length - 1 || c === 0);
}

// The fitnesses of a gene that behaves as one locus: its fitness does not
// depend on the other gene, or the genes never recombine, never mutate and
// start from AB and ab chromosomes only (so they share one fate).
export function singleLocusFitness(ctx, w, gene) {
  const classes = geneFitness(w, gene);
  if (classes) return classes;
  const rates = ['A_to_a', 'a_to_A', 'B_to_b', 'b_to_B'].map((k) => num(ctx, `mutation.${k}`));
  if (num(ctx, 'map_distance_cM') === 0 && rates.every((r) => r === 0) && onlyABChromosomes(ctx)) return [w[0], w[4], w[8]];
  return null;
}

// The fixation probability of the capital allele of a gene (0 Alpha,
// 1 Beta) as a function of its starting frequency where a formula applies:
// {label, u}; null where none does (mutation at the gene, migration, mating
// preferences, dominance, selection at a gene it recombines with, a
// fertilization rule other than random union).
export function fixationLaw(ctx, gene) {
  const n = num(ctx, 'population');
  const w = fitnessTable(ctx);
  if (n === null || w === null) return null;
  const [big, small] = gene === 0 ? ['A', 'a'] : ['B', 'b'];
  for (const key of [`mutation.${big}_to_${small}`, `mutation.${small}_to_${big}`, 'migration.immigrants']) {
    if (num(ctx, key) !== 0) return null;
  }
  if (ctx['mating.isolation'] !== 'none' || ctx[`fixation.${gene === 0 ? 'alpha' : 'beta'}`] === small) return null;
  const classes = singleLocusFitness(ctx, w, gene);
  if (!classes) return null;
  const [wXX, wXy, wyy] = classes;
  if (wXX === wXy && wXy === wyy) return { label: NEUTRAL_TEXT, neutral: true, u: neutralFixation };
  if (Math.abs(wXy - (wXX + wyy) / 2) > 1e-6 || ctx.fertilization !== 'selfing-allowed') return null;
  const s = effectiveS(wXX, wyy);
  return { label: `Kimura, 4Ns = ${Number((4 * n * s).toPrecision(3))}`, neutral: false, u: (p) => kimuraFixation(n, s, p) };
}

// Kimura and Ohta's mean times to fixation of the capital and of the small
// allele of a neutral gene as a function of the capital's starting
// frequency: p -> [time if the capital fixes, time if the small fixes];
// null where the gene is not neutral or another force acts.
export function fixationTimesLaw(ctx, gene) {
  const law = fixationLaw(ctx, gene);
  const n = num(ctx, 'population');
  if (!law || !law.neutral) return null;
  return (p) => [neutralFixationTime(n, p, true), neutralFixationTime(n, p, false)];
}

// z of an observed proportion k/n against the theory's u: the distance in
// standard errors of a binomial proportion with mean u; null where it has none.
export function zScore(observed, u, n) {
  if (!(n > 0) || u === null || u === undefined) return null;
  const se = Math.sqrt((u * (1 - u)) / n);
  if (se === 0) return observed === u ? 0 : null;
  return (observed - u) / se;
}

// The exact finite-population fixation probability of a gene's capital
// allele where the chain on genotype counts describes the run: the gene
// behaves as one locus, no mutation at it, no migration or mating
// preferences, selfing allowed, at most EXACT_SELECTION_MAX_N founders.
// Returns founders (nine counts) -> u, or null.
export function exactFixationLaw(ctx, gene) {
  const n = num(ctx, 'population');
  const w = fitnessTable(ctx);
  if (n === null || w === null || !(n <= EXACT_SELECTION_MAX_N)) return null;
  const [big, small] = gene === 0 ? ['A', 'a'] : ['B', 'b'];
  for (const key of [`mutation.${big}_to_${small}`, `mutation.${small}_to_${big}`, 'migration.immigrants']) {
    if (num(ctx, key) !== 0) return null;
  }
  if (ctx['mating.isolation'] !== 'none' || ctx[`fixation.${gene === 0 ? 'alpha' : 'beta'}`] === small) return null;
  if (ctx.fertilization !== 'selfing-allowed') return null;
  const classes = singleLocusFitness(ctx, w, gene);
  if (!classes) return null;
  return (founders) => {
    const start = [0, 0, 0];
    founders.forEach((c, g) => { start[gene === 0 ? Math.floor(g / 3) : g % 3] += c; });
    return selectionFixationExact(n, classes, start);
  };
}

// Under neutral drift every founding gene copy is as likely as any other to
// be the one all copies come from, so the chance that the fixed copy sat on
// a chromosome of haplotype h in a founder of genotype g is the share of
// the 2N founding chromosomes that are such. founders: the nine counts;
// phased: the double heterozygotes placed in coupling (AB/ab) and in
// repulsion (Ab/aB); the others are each phase with chance 1/2. Returns
// 'h in g' -> share.
export function originShares(founders, phased = [0, 0]) {
  const chromosomes = 2 * founders.reduce((a, b) => a + b, 0);
  const shares = new Map();
  const add = (h, g, copies) => {
    const label = `${HAPLOTYPES[h]} in ${GENOTYPES[g]}`;
    if (copies > 0) shares.set(label, (shares.get(label) || 0) + copies / chromosomes);
  };
  founders.forEach((count, g) => {
    // g counts the small alleles: 3 per a, 1 per b; a haplotype 2 per a, 1 per b.
    const smallA = Math.floor(g / 3);
    const smallB = g % 3;
    if (smallA === 1 && smallB === 1) {
      const drawn = count - phased[0] - phased[1];
      for (const h of [0, 3]) add(h, g, phased[0] + drawn / 2);
      for (const h of [1, 2]) add(h, g, phased[1] + drawn / 2);
      return;
    }
    // Otherwise one gene is homozygous, and the two chromosomes are what
    // the genotype says: the first takes the capital allele of each
    // heterozygous gene, the second the small one.
    add(2 * Math.min(smallA, 1) + Math.min(smallB, 1), g, count);
    add(2 * Math.max(smallA - 1, 0) + Math.max(smallB - 1, 0), g, count);
  });
  return shares;
}
