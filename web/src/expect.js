// The deterministic expectation drawn under the live lines, from the
// screen settings the engine reports for the run (biology-level settings
// already translated):
//  - without selection, mutation and migration, the allele frequencies
//    stay at the founders' (p0), D decays by (1 - r) a generation and the
//    expected heterozygosity 2pq by 1 - 1/(2N);
//  - otherwise the two-locus recursion of an infinite randomly mating
//    population: selection on the nine genotypes, recombination,
//    mutation at the four rates, then immigrants replacing a share m.
// Under mating preferences theory gives no such curve, and none is drawn.

// Genotype index from its name (AABB ... aabb): three times the number of
// small Alpha alleles plus the number of small Beta alleles, the order of
// every nine-genotype table of the program.
export function genotypeIndex(name) {
  const alpha = [...name.slice(0, 2)].filter((c) => c === 'a').length;
  const beta = [...name.slice(2, 4)].filter((c) => c === 'b').length;
  return 3 * alpha + beta;
}

// The nine values of the rows given, placed by the genotype that ends
// each row's key (fitness.AaBb, migration.mix.aabb).
function nine(values, rows) {
  const out = new Array(9).fill(null);
  for (const row of rows) {
    const name = row.key.split('.').pop();
    if (/^[Aa]{2}[Bb]{2}$/.test(name) && typeof values[row.key] === 'number') out[genotypeIndex(name)] = values[row.key];
  }
  return out.every((v) => v !== null) ? out : null;
}

// Haplotype frequencies (AB, Ab, aB, ab) of a genotype mix, the double
// heterozygotes split evenly between the phases as the random phase of the
// founders gives on average.
function haplotypes(freq) {
  const x = [0, 0, 0, 0];
  freq.forEach((fg, g) => {
    const pA = 1 - Math.floor(g / 3) / 2;
    const pB = 1 - (g % 3) / 2;
    x[0] += fg * pA * pB;
    x[1] += fg * pA * (1 - pB);
    x[2] += fg * (1 - pA) * pB;
    x[3] += fg * (1 - pA) * (1 - pB);
  });
  return x;
}

// The expected statistics, named as the trajectory file's columns.
function summary(x, decay) {
  const pA = x[0] + x[1];
  const pB = x[0] + x[2];
  return {
    p_A: pA, p_B: pB, p_AB: x[0], p_Ab: x[1], p_aB: x[2], p_ab: x[3], D: x[0] * x[3] - x[1] * x[2],
    He_A: 2 * pA * (1 - pA) * decay, He_B: 2 * pB * (1 - pB) * decay,
  };
}

// One generation of the recursion.
function step(x, p) {
  const fitness = (i, j) => p.w[3 * ((i >> 1) + (j >> 1)) + (i & 1) + (j & 1)];
  const marginal = x.map((_, i) => x.reduce((sum, xj, j) => sum + xj * fitness(i, j), 0));
  const mean = x.reduce((sum, xi, i) => sum + xi * marginal[i], 0);
  if (!(mean > 0)) return null;
  const d = x[0] * x[3] - x[1] * x[2];
  const sign = [-1, 1, 1, -1];
  let y = x.map((xi, i) => (xi * marginal[i] + sign[i] * p.r * p.w[4] * d) / mean);
  if (p.mu) {
    const [uA, vA, uB, vB] = p.mu;
    const alpha = [[1 - uA, uA], [vA, 1 - vA]];
    const beta = [[1 - uB, uB], [vB, 1 - vB]];
    const z = [0, 0, 0, 0];
    y.forEach((yi, i) => {
      for (let j = 0; j < 4; j += 1) z[j] += yi * alpha[i >> 1][j >> 1] * beta[i & 1][j & 1];
    });
    y = z;
  }
  if (p.m > 0) y = y.map((yi, i) => (1 - p.m) * yi + p.m * p.immigrants[i]);
  return y;
}

// p: {w[9], founders[9], r, mu: [A>a, a>A, B>b, b>B] or null, m,
// immigrants[9] (genotype shares), preferences: true when mating
// preferences act, haplotypes: the founders' haplotype frequencies (AB, Ab,
// aB, ab) where known, as the engine's preview gives them}. Returns
// t -> expected statistics, or null.
export function expectation(p) {
  if (!p || p.preferences) return null;
  const n = p.founders.reduce((a, b) => a + b, 0);
  if (!(n > 0)) return null;
  const x0 = p.haplotypes && p.haplotypes.length === 4 ? [...p.haplotypes] : haplotypes(p.founders.map((c) => c / n));
  const wMax = Math.max(...p.w);
  const neutral = p.w.every((w) => w === wMax) && !p.mu && !(p.m > 0);
  const params = { ...p, immigrants: p.m > 0 ? haplotypes(p.immigrants) : null };
  const path = [x0];
  return (t) => {
    const decay = neutral ? (1 - 1 / (2 * n)) ** t : 1;
    if (neutral) {
      const d0 = x0[0] * x0[3] - x0[1] * x0[2];
      const pA = x0[0] + x0[1];
      const pB = x0[0] + x0[2];
      const dt = d0 * (1 - p.r) ** t;
      // Haplotype frequencies follow from p, q and D.
      return summary([pA * pB + dt, pA * (1 - pB) - dt, (1 - pA) * pB - dt, (1 - pA) * (1 - pB) + dt], decay);
    }
    while (path.length <= t && path.length < 200000) {
      const next = step(path[path.length - 1], params);
      if (!next) return null;
      path.push(next);
    }
    return path[t] ? summary(path[t], 1) : null;
  };
}

// Reads the recursion's parameters from the screen settings, each found by
// its key: the nine fitnesses and founder counts (fitness.GENOTYPE,
// founders.GENOTYPE), the map distance, the four mutation rates, the number
// of immigrants and their genotype shares (aabb: what the others leave, as
// on the screen), and the mating preferences (the real-valued rows of the
// mating group).
const MUTATIONS = ['mutation.A_to_a', 'mutation.a_to_A', 'mutation.B_to_b', 'mutation.b_to_B'];

export function parameters(screen, rows) {
  const known = rows.filter((r) => typeof screen[r.key] === 'number');
  const prefixed = (prefix) => known.filter((r) => r.key.startsWith(prefix));
  const w = nine(screen, prefixed('fitness.'));
  const founders = nine(screen, prefixed('founders.'));
  if (!w || !founders) return null;
  const r = typeof screen.map_distance_cM === 'number' ? screen.map_distance_cM / 100 : 0;
  const rates = MUTATIONS.map((key) => (typeof screen[key] === 'number' ? screen[key] : 0));
  const mu = rates.some((v) => v > 0) ? rates : null;
  const n = founders.reduce((a, b) => a + b, 0);
  let m = 0;
  let immigrants = null;
  const number = screen['migration.immigrants'];
  if (typeof number === 'number' && number > 0) {
    m = number / n;
    immigrants = nine(screen, prefixed('migration.mix.'));
    if (!immigrants) return null;
    immigrants[8] = Math.max(0, 1 - immigrants.slice(0, 8).reduce((a, b) => a + b, 0));
  }
  const preferences = known.filter((row) => row.group === 'mating' && row.type === 'real').map((row) => screen[row.key]);
  return { w, founders, r, mu, m, immigrants, preferences: preferences.some((v) => v !== preferences[0]) };
}
