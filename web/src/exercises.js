// Ready exercises: each opens the lab with its settings (by catalogue key,
// as a shared link would) and says in one paragraph what to do.
export const EXERCISES = [
  {
    id: 'drift',
    title: 'Drift and population size',
    settings: { iterations: '50', 'population.size': '16' },
    seed: '11',
    text: 'Sixteen founders with both alleles at frequency one half, fifty iterations, no selection. Run it and note how often A was fixed and how many generations fixation took; then make the population ten times larger and run again. Theory says each allele fixes with the probability of its starting frequency whatever the size, while the time to fixation grows in proportion to the population size (about 2.8 N generations for p = 0.5): do the results panel and the histograms agree?',
  },
  {
    id: 'selection',
    title: 'Selection and dominance',
    settings: { iterations: '40', 'population.size': '400', 'population.p_A': '0.2', 'selection.alpha.s': '0.1', 'selection.alpha.h': '0' },
    seed: '23',
    text: 'Allele A starts at 0.2 and is favoured: aa has fitness 1 - s = 0.9 and Aa, with h = 0, is as fit as AA (A dominant). Run and compare the allele-frequency lines with the deterministic curve. Then set h to 1 (A recessive) and run again with the same seed: when does a favoured allele spread faster, rare or common, dominant or recessive, and why does a rare recessive one linger?',
  },
  {
    id: 'hitchhiking',
    title: 'Linkage and hitchhiking',
    settings: {
      iterations: '30', 'founders.AABB': '0', 'founders.AABb': '0', 'founders.AAbb': '0', 'founders.AaBB': '80',
      'founders.AaBb': '0', 'founders.Aabb': '0', 'founders.aaBB': '80', 'founders.aaBb': '80', 'founders.aabb': '160',
      'selection.alpha.s': '0.2', map_distance_cM: '0',
    },
    seed: '5',
    text: 'Selection favours A (s = 0.2, h = 0.5), which starts rare (p_A = 0.1) in 80 AaBB founders of 400: every A sits on a chromosome with B (coupling, D = 0.05, as the founders table shows), and the Beta gene is neutral. At 0 cM nothing separates them: watch D and the Beta frequencies, and in the results count how often B fixed together with A. Then raise the map distance to 50 cM (free recombination) and run again with the same seed: how much less does Beta move, how fast does D decay, and how often does B fix now?',
  },
  {
    id: 'migration',
    title: 'Migration',
    settings: { iterations: '20', max_generations: '500', 'migration.immigrants': '2', 'migration.mix.AABB': '1', stop_at_fixation: 'false' },
    seed: '7',
    text: 'Two immigrants a generation, all AABB, join a population of 160. Without selection, where do the allele frequencies settle, and how fast? Compare with the expectation p(t) = 1 - (1 - p0)(1 - m)^t with m = 2/160. Then lower the number of immigrants to 0.2: does drift or migration win now?',
  },
  {
    id: 'mating',
    title: 'Mating systems',
    settings: { iterations: '20', fertilization: 'monogamy', 'mating.AA_aa': '0.1', 'mating.AA_Aa': '0.5', 'mating.Aa_aa': '0.5', 'mating.isolation': 'premating' },
    seed: '3',
    text: 'Monogamy, and matings between different Alpha genotypes are disfavoured before mating (premating isolation). Watch the observed heterozygosity (dotted) fall below 2pq as like mates with like. Switch the isolation to postmating with the same seed, then try selfing allowed: which setting drives the population to one homozygote fastest?',
  },
];
