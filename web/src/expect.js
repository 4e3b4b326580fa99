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

function summary(x, decay) {
  const pA = x[0] + x[1];
  const pB = x[0] + x[2];
  return {
    pA, pB, pAB: x[0], pAb: x[1], paB: x[2], pab: x[3], D: x[0] * x[3] - x[1] * x[2],
    HeA: 2 * pA * (1 - pA) * decay, HeB: 2 * pB * (1 - pB) * decay,
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
// preferences act}. Returns t -> expected statistics, or null.
export function expectation(p) {
  if (!p || p.preferences) return null;
  const n = p.founders.reduce((a, b) => a + b, 0);
  if (!(n > 0)) return null;
  const x0 = haplotypes(p.founders.map((c) => c / n));
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

// Reads the recursion's parameters from the screen settings, finding each
// by its catalogue group: the nine fitnesses and founder counts, the map
// distance, the four mutation rates (in the screen's order A>a, a>A, B>b,
// b>B), the number of immigrants (the migration row that is not a share)
// and their genotype shares (aabb: what the others leave, as on the
// screen), and the six mating preferences.
export function parameters(screen, rows) {
  const group = (name) => rows.filter((r) => r.group === name && typeof screen[r.key] === 'number');
  const w = nine(screen, group('fitness'));
  const founders = nine(screen, group('founders'));
  if (!w || !founders) return null;
  const linkage = group('linkage')[0];
  const r = linkage ? screen[linkage.key] / 100 : 0;
  const rates = group('mutation').map((row) => screen[row.key]);
  const mu = rates.length === 4 && rates.some((v) => v > 0) ? rates : null;
  const migration = group('migration');
  const number = migration.find((row) => row.hi > 1);
  const n = founders.reduce((a, b) => a + b, 0);
  let m = 0;
  let immigrants = null;
  if (number && screen[number.key] > 0) {
    m = screen[number.key] / n;
    immigrants = nine(screen, migration.filter((row) => row !== number));
    if (!immigrants) return null;
    immigrants[8] = Math.max(0, 1 - immigrants.slice(0, 8).reduce((a, b) => a + b, 0));
  }
  const preferences = group('mating').filter((row) => row.type === 'real').map((row) => screen[row.key]);
  return { w, founders, r, mu, m, immigrants, preferences: preferences.some((v) => v !== preferences[0]) };
}
