#!/usr/bin/env python3
"""Validation of Duolocus against population-genetics theory.

Each scenario runs whole sessions of the real program, reads PREFIX.csv and
sets the mean over the iterations against the theory of tests/validation/
theory.py: z = (observed - expected) / SE.  A check passes when |z| <= 4,
after a stated allowance where the expectation is only an approximation.

    validate.py                  the full suite (under a minute on 2 cores)
    validate.py --quick          the seeded subset that `make test` runs
    validate.py --report FILE    also write the table as Markdown
"""

from __future__ import annotations

import argparse
import datetime
import math
import os
import platform
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor
from typing import Callable, Dict, List, Optional, Sequence, Tuple

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import theory as th  # noqa: E402
from session import Settings, run_session  # noqa: E402

Z_LIMIT = 4.0

# Faults planted by hand to show the suite can fail; rerun by hand when the
# suite changes (edit the engine, rebuild, run validate.py, restore).
PLANTED = [
    ("recombination drawn against 2r", "8. Decay of linkage disequilibrium", "-426"),
    ("mutation rates doubled (each mutation applied twice)", "6. Mutation-drift balance", "-46"),
    ("every AaBb immigrant in repulsion", "9. Migration", "-141"),
    ("self-fertilization not refused when forbidden", "10. Fertilisation rules and effective size", "-79"),
    ("fitness applied twice (w squared)", "5. Fixation probability under selection", "+86"),
]


# --------------------------------------------------------------------------
# Checks and their statistics
# --------------------------------------------------------------------------

class Check:
    """One expected value against one observed mean.

    method says where the expected value comes from: "exact" (the finite
    population's own value), or the approximation it stands for, in which
    case `allowance` is subtracted from |observed - expected| before z is
    taken.  `approx` carries the classical approximation for comparison when
    the test itself uses the exact value."""

    def __init__(self, label: str, expected: float, observed: float, se: float, n: int,
                 method: str = "exact", allowance: float = 0.0,
                 approx: Optional[Tuple[str, float]] = None):
        self.label = label
        self.expected = expected
        self.observed = observed
        self.se = se
        self.n = n
        self.method = method
        self.allowance = allowance
        self.approx = approx

    @property
    def raw_z(self) -> float:
        diff = self.observed - self.expected
        if self.se > 0:
            return diff / self.se
        return 0.0 if abs(diff) < 1e-12 else math.copysign(math.inf, diff)

    @property
    def z(self) -> float:
        diff = self.observed - self.expected
        excess = max(0.0, abs(diff) - self.allowance)
        if self.se > 0:
            return math.copysign(excess / self.se, diff)
        return 0.0 if excess < 1e-12 else math.copysign(math.inf, diff)

    @property
    def passed(self) -> bool:
        return abs(self.z) <= Z_LIMIT


def mean_se(xs: Sequence[float]) -> Tuple[float, float]:
    n = len(xs)
    m = sum(xs) / n
    var = sum((x - m) ** 2 for x in xs) / (n - 1)
    return m, math.sqrt(var / n)


def var_se(xs: Sequence[float]) -> Tuple[float, float]:
    """Sample variance and its standard error, (m4 - s^4 (n-3)/(n-1)) / n."""
    n = len(xs)
    m = sum(xs) / n
    m2 = sum((x - m) ** 2 for x in xs) / (n - 1)
    m4 = sum((x - m) ** 4 for x in xs) / n
    return m2, math.sqrt(max(m4 - m2 * m2 * (n - 3) / (n - 1), 0.0) / n)


def share(hits: int, n: int, p: float) -> Tuple[float, float]:
    """Observed share and its binomial SE under the expected share."""
    return hits / n, math.sqrt(p * (1 - p) / n)


def correlation(xs: Sequence[float], ys: Sequence[float]) -> Tuple[float, float]:
    n = len(xs)
    mx, my = sum(xs) / n, sum(ys) / n
    sxy = sum((x - mx) * (y - my) for x, y in zip(xs, ys))
    sxx = sum((x - mx) ** 2 for x in xs)
    syy = sum((y - my) ** 2 for y in ys)
    r = sxy / math.sqrt(sxx * syy) if sxx > 0 and syy > 0 else 0.0
    return r, (1 - r * r) / math.sqrt(n - 1)


def diversity(p: float) -> float:
    return 2.0 * p * (1.0 - p)


def alpha_het(row: Dict[str, str]) -> float:
    return sum(float(row[c]) for c in ("p_AB_aB", "p_AB_ab", "p_Ab_aB", "p_Ab_ab"))


def ld(row: Dict[str, str]) -> float:
    ab, a_b, ab_ = float(row["p_AB"]), float(row["p_Ab"]), float(row["p_aB"])
    return ab - (ab + a_b) * (ab + ab_)


# --------------------------------------------------------------------------
# Scenarios
# --------------------------------------------------------------------------

class Context:
    def __init__(self, program: str, quick: bool, batch: Optional[str] = None):
        self.program = program
        self.quick = quick
        self.batch = batch

    def n(self, full: int, quick: int) -> int:
        return quick if self.quick else full

    def run(self, runs: Sequence[Settings], seed: int):
        return run_session(self.program, runs, [seed + k for k in range(len(runs))])

    def run_batch(self, settings: Dict[str, str], seed: int) -> List[Dict[str, str]]:
        """Rows of PREFIX.csv of one duolocus-batch run of these study keys
        (given as --set KEY=VALUE, values as TOML writes them)."""
        import csv
        import tempfile
        with tempfile.TemporaryDirectory() as folder:
            study = os.path.join(folder, "study.toml")
            with open(study, "w") as f:
                f.write("seed = %d\n" % seed)
            args = [self.batch, study, "--quiet", "--out", os.path.join(folder, "run")]
            for key, value in settings.items():
                args += ["--set", "%s=%s" % (key, value)]
            done = subprocess.run(args, capture_output=True, text=True)
            if done.returncode != 0:
                raise RuntimeError("duolocus-batch failed: " + done.stderr)
            with open(os.path.join(folder, "run.csv"), newline="") as f:
                return list(csv.DictReader(f))


class Scenario:
    def __init__(self, key: str, title: str, result: str, theory_text: str,
                 settings: str, seed: int, checks: List[Check], notes: str = ""):
        self.key = key
        self.title = title
        self.result = result
        self.theory_text = theory_text
        self.settings = settings
        self.seed = seed
        self.checks = checks
        self.notes = notes
        self.seconds = 0.0

    @property
    def passed(self) -> bool:
        return all(c.passed for c in self.checks)


def pop_text(pop: Sequence[int]) -> str:
    return ", ".join("%d %s" % (c, th.GENOTYPES[g]) for g, c in enumerate(pop) if c)


def neutral_fixation(ctx: Context) -> Scenario:
    """1. The neutral fixation probability equals the starting frequency."""
    pop = (2, 0, 0, 4, 4, 0, 2, 4, 4)
    n1, n2 = ctx.n(20000, 2500), ctx.n(10000, 1200)
    runs = [Settings(pop=pop, cm=50, track=False, iterations=n1),
            Settings(pop=pop, cm=50, track=False, rule=2, iterations=n2)]
    seed = 1101
    res = ctx.run(runs, seed)
    checks = []
    for run, rule in zip(res, ("selfing allowed", "monogamy")):
        for gene, col, allele in (("A", "A_all_fixed", "A"), ("B", "B_all_fixed", "B")):
            p0 = th.founder_allele_freq(pop, gene)
            hits = sum(1 for x in run.column(col) if x == allele)
            obs, se = share(hits, len(run.rows), p0)
            checks.append(Check("P(%s fixes), %s" % (allele, rule), p0, obs, se, len(run.rows)))
    return Scenario("neutral_fixation", "Neutral fixation probability",
                    "the probability that an allele fixes equals its starting frequency",
                    th.NEUTRAL_FIXATION,
                    "N = 20 (%s), 50 cM, p0(A) = 0.3, p0(B) = 0.6; selfing allowed, then "
                    "monogamy; runs to fixation" % pop_text(pop), seed, checks)


def absorption_time(ctx: Context) -> Scenario:
    """2. Mean time to fixation or loss, and conditional on fixation."""
    pop = (10, 0, 0, 0, 0, 0, 40, 0, 0)
    size = sum(pop)
    n = ctx.n(20000, 1500)
    seed = 1201
    run = ctx.run([Settings(pop=pop, track=False, iterations=n)], seed)[0]
    p0 = th.founder_allele_freq(pop, "A")
    exact = th.wf_absorption_times(size, int(round(p0 * 2 * size)))
    approx = th.kimura_ohta_times(size, p0)
    times = {"any": [], "fix": [], "loss": []}
    for row in run.rows:
        t = float(row["gens_fix_A_all"])
        times["any"].append(t)
        times["fix" if row["A_all_fixed"] == "A" else "loss"].append(t)
    checks = []
    for key, label in (("any", "mean generations to fixation or loss"),
                       ("fix", "mean generations to fixation, given A fixed"),
                       ("loss", "mean generations to loss, given A lost")):
        m, se = mean_se(times[key])
        checks.append(Check(label, exact[key], m, se, len(times[key]),
                            approx=("Kimura-Ohta diffusion", approx[key])))
    return Scenario("absorption_time", "Mean time to fixation or loss",
                    "mean absorption time of a neutral allele and its mean time to fixation "
                    "when it fixes (Kimura and Ohta 1969)",
                    th.ABSORPTION_TIME + ". Tested against the exact mean absorption times "
                    "of the Wright-Fisher chain of 2N genes, (I - Q) t = 1, and of its "
                    "transform conditioned on fixation (on loss), Q*(i,j) = Q(i,j) j/i",
                    "N = 50 (%s), p0(A) = 0.2, Beta fixed; selfing allowed; runs to "
                    "fixation" % pop_text(pop), seed, checks)


def copy_fixation(ctx: Context) -> Scenario:
    """3. Time until one founding gene copy is carried by every chromosome."""
    pop = (5, 5, 5, 5, 10, 5, 5, 5, 5)
    size = sum(pop)
    n = ctx.n(10000, 600)
    seed = 1301
    run = ctx.run([Settings(pop=pop, cm=50, iterations=n)], seed)[0]
    exact = th.ancestral_process_time(size)
    approx = th.coalescent_time(size)
    checks = []
    for gene in ("A", "B"):
        m, se = mean_se(run.floats("gens_fix_%s_copy" % gene))
        checks.append(Check("mean generations to %s gene-copy fixation" %
                            ("Alpha" if gene == "A" else "Beta"),
                            exact, m, se, n, approx=("coalescent 4N(1-1/2N)", approx)))
    return Scenario("copy_fixation", "Time to gene-copy fixation",
                    "the time for one founding copy to be carried by all 2N chromosomes is "
                    "the time to the most recent common ancestor of the whole population",
                    th.COPY_FIXATION + ". Tested against the exact discrete-generation "
                    "value: the mean absorption time of the backward Wright-Fisher "
                    "ancestral process from 2N lineages (k lineages pick their parents "
                    "among 2N copies; the distinct parents follow the occupancy law)",
                    "N = 50 (%s), 50 cM, gene copies tracked; selfing allowed" % pop_text(pop),
                    seed, checks)


def copy_origin(ctx: Context) -> Scenario:
    """4. Which founder the fixed gene copy came from."""
    pop = (2, 3, 0, 0, 4, 1, 0, 0, 2)
    n = ctx.n(40000, 3000)
    seed = 1401
    run = ctx.run([Settings(pop=pop, cm=20, iterations=n)], seed)[0]
    gt, ht = th.origin_shares(pop)
    checks = []
    for gene in ("A", "B"):
        name = "Alpha" if gene == "A" else "Beta"
        col_gt = run.column("%s_origin_gt" % gene)
        col_ht = run.column("%s_origin_ht" % gene)
        for g, p in gt.items():
            obs, se = share(col_gt.count(g), n, p)
            checks.append(Check("%s copy from a %s founder" % (name, g), p, obs, se, n))
        for h, p in ht.items():
            obs, se = share(col_ht.count(h), n, p)
            checks.append(Check("%s copy on a founding %s chromosome" % (name, h), p, obs, se, n))
    return Scenario("copy_origin", "Origin of the fixed gene copy",
                    "under neutrality every founding copy is equally likely to become the "
                    "ancestor of the population",
                    th.COPY_ORIGIN,
                    "N = 12 (%s), 20 cM, gene copies tracked; selfing allowed; the four "
                    "AaBb founders take their phase at random, so each of their "
                    "chromosomes counts 1/2 towards AB and ab (coupling) and 1/2 towards "
                    "Ab and aB (repulsion)" % pop_text(pop), seed, checks)


def selection_fixation(ctx: Context) -> Scenario:
    """5. Fixation probability of a favoured allele, genic and dominant."""
    pop = (0, 0, 0, 4, 0, 0, 16, 0, 0)
    size = sum(pop)
    s = 0.2
    cases = [("genic (1, 1-s/2, 1-s)", (1.0, 1 - s / 2, 1 - s)),
             ("dominant (1, 1, 1-s)", (1.0, 1.0, 1 - s))]
    n = ctx.n(30000, 2000)
    runs = [Settings(pop=pop, fitness=[w[g // 3] for g in range(9)], track=False,
                     iterations=n) for _, w in cases]
    seed = 1501
    res = ctx.run(runs, seed)
    p0 = th.founder_allele_freq(pop, "A")
    checks = []
    for (label, w), run in zip(cases, res):
        exact = th.selection_fixation_exact(size, w, (0, 4, 16))
        diff = th.selection_fixation_diffusion(size, w, p0)
        hits = run.column("A_all_fixed").count("A")
        obs, se = share(hits, n, exact)
        checks.append(Check("P(A fixes), %s" % label, exact, obs, se, n,
                            approx=("diffusion", diff)))
    return Scenario("selection_fixation", "Fixation probability under selection",
                    "a favoured allele fixes with the probability of Kimura (1962)",
                    th.SELECTION_FIXATION + ". Tested against the exact value: the "
                    "absorbing Markov chain on genotype counts (a parent is accepted with "
                    "probability equal to its fitness, so each gene of an offspring is A "
                    "with probability x = (w11 nAA + w12 nAa/2) / sum w n and the offspring "
                    "are multinomial in Hardy-Weinberg proportions of x), solved for the "
                    "founders' state. Genic closed form (1-exp(-2Nsp))/(1-exp(-2Ns)) = %.4f"
                    % th.kimura_genic(size, s, p0),
                    "N = 20 (%s), p0(A) = 0.1, s = %.1f on the Alpha genotypes; "
                    "selfing allowed; neutral value 0.1" % (pop_text(pop), s), seed, checks)


def mutation_drift(ctx: Context) -> Scenario:
    """6. Mean and variance of the allele frequency under two-way mutation."""
    pop = (0, 0, 0, 0, 50, 0, 0, 0, 0)
    size = sum(pop)
    rates = (0.01, 0.005, 0.002, 0.006)
    t = 300
    n = ctx.n(6000, 400)
    seed = 1601
    run = ctx.run([Settings(pop=pop, mutation=rates, cm=50, track=False, stop=False,
                            generations=t, iterations=n)], seed)[0]
    checks = []
    for gene, (u, v) in (("A", rates[:2]), ("B", rates[2:])):
        p0 = th.founder_allele_freq(pop, gene)
        mean, var = th.mutation_drift_moments(size, u, v, p0, t)
        dmean, dvar = th.mutation_drift_diffusion(size, u, v)
        xs = run.floats("finalp_%s" % gene)
        m, se = mean_se(xs)
        checks.append(Check("mean p(%s), generation %d" % (gene, t), mean, m, se, n,
                            approx=("Wright's stationary Beta", dmean)))
        s2, se2 = var_se(xs)
        checks.append(Check("variance of p(%s), generation %d" % (gene, t), var, s2, se2, n,
                            approx=("Wright's stationary Beta", dvar)))
    return Scenario("mutation_drift", "Mutation-drift balance",
                    "under two-way mutation the allele frequency settles to Wright's "
                    "distribution: mean v/(u+v), variance shrinking with 4N(u+v)",
                    th.MUTATION_DRIFT + ". Tested against the exact two moments after t "
                    "generations from the founders (the recursion above, not the limit)",
                    "N = 50 (%s), A>a 0.01, a>A 0.005 (4N(u+v) = 3), B>b 0.002, b>B 0.006 "
                    "(4N(u+v) = 1.6), 50 cM; every iteration runs %d generations"
                    % (pop_text(pop), t), seed, checks)


def heterozygosity_decay(ctx: Context) -> Scenario:
    """7. Decay of heterozygosity, H_t = H_0 (1 - 1/2N)^t."""
    pop = (0, 0, 0, 0, 30, 0, 0, 0, 0)
    size = sum(pop)
    times = (10, 30, 90)
    n = ctx.n(6000, 1000)
    runs = [Settings(pop=pop, cm=50, track=False, stop=False, generations=t,
                     iterations=n) for t in times]
    seed = 1701
    res = ctx.run(runs, seed)
    checks = []
    for t, run in zip(times, res):
        for gene in ("A", "B"):
            p0 = th.founder_allele_freq(pop, gene)
            expect = diversity(p0) * (1 - 1 / (2.0 * size)) ** t
            m, se = mean_se([diversity(p) for p in run.floats("finalp_%s" % gene)])
            checks.append(Check("H = 2pq(%s), generation %d" % (gene, t), expect, m, se, n))
        hobs, _ = th.heterozygosity(size, 1, 1.0, diversity(0.5), t)
        m, se = mean_se([alpha_het(r) for r in run.rows])
        checks.append(Check("share of Aa individuals, generation %d" % t, hobs, m, se, n))
    return Scenario("heterozygosity_decay", "Decay of heterozygosity",
                    "gene diversity decays by 1 - 1/2N a generation",
                    th.HETEROZYGOSITY + ". Exact for this process: E[2p'q' | p] = (1-1/2N) "
                    "2pq under binomial sampling of 2N genes, and the observed share of "
                    "heterozygotes at t is E[2pq] at t-1",
                    "N = 30, all AaBb founders (H0 = 1/2 at both genes), 50 cM; selfing "
                    "allowed; iterations run to generation 10, 30 and 90", seed, checks)


def ld_decay(ctx: Context) -> Scenario:
    """8. Decay of linkage disequilibrium with recombination fraction r."""
    pop = (40, 0, 0, 0, 20, 0, 0, 0, 40)
    size = sum(pop)
    cases = ((0.0, 10), (5.0, 10), (20.0, 4), (50.0, 2))
    n = ctx.n(15000, 1000)
    runs = [Settings(pop=pop, cm=cm, track=False, stop=False, generations=t, iterations=n)
            for cm, t in cases]
    seed = 1801
    res = ctx.run(runs, seed)
    d0, c0 = th.founder_ld(pop)
    checks = []
    for (cm, t), run in zip(cases, res):
        r = cm / 100.0
        expect = th.ld_decay(size, r, d0, c0, t)
        m, se = mean_se([ld(row) for row in run.rows])
        checks.append(Check("D at %g cM, generation %d" % (cm, t), expect, m, se, n,
                            approx=("D0 (1-r)^t", d0 * (1 - r) ** t)))
    return Scenario("ld_decay", "Decay of linkage disequilibrium",
                    "D decays by (1 - r) a generation, and by drift",
                    th.LD_DECAY + ". Exact for the finite population (the recursion above); "
                    "E[D_0] = %.2f averages the random phase of the AaBb founders (coupling "
                    "adds AB and ab, repulsion Ab and aB, each with probability 1/2)" % d0,
                    "N = 100 (%s), D0 = 0.2 expected; selfing allowed; map distances "
                    "0, 5, 20 and 50 cM" % pop_text(pop), seed, checks)


def migration(ctx: Context) -> Scenario:
    """9. Approach to the immigrants' allele frequencies; phase of AaBb immigrants."""
    pop = (0,) * 8 + (100,)
    size = sum(pop)
    mix = (0.2, 0.0, 0.1, 0.0, 0.4, 0.0, 0.0, 0.0)  # aabb: 0.3
    full_mix = list(mix) + [1 - sum(mix)]
    immigrants = 5.0
    m = immigrants / size
    times = (1, 10, 40)
    n1, n = ctx.n(10000, 2000), ctx.n(8000, 1000)
    runs = [Settings(pop=pop, migration=mix, immigrants=immigrants, stop=False,
                     generations=t, iterations=n1 if t == 1 else n) for t in times]
    seed = 1901
    res = ctx.run(runs, seed)
    checks = []
    first = res[0]
    k = len(first.rows)
    # in generation 1 the offspring of aabb founders are aabb: every other
    # individual is an immigrant
    imm_share = m * (1 - full_mix[8])
    mm, se = mean_se([1 - float(r["p_ab_ab"]) for r in first.rows])
    checks.append(Check("immigrant share, generation 1", imm_share, mm, se, k))
    mm, se = mean_se([float(r["p_AB_ab"]) + float(r["p_Ab_aB"]) for r in first.rows])
    checks.append(Check("AaBb share, generation 1", m * full_mix[4], mm, se, k))
    coupling = sum(int(round(float(r["p_AB_ab"]) * size)) for r in first.rows)
    total = coupling + sum(int(round(float(r["p_Ab_aB"]) * size)) for r in first.rows)
    obs, se = share(coupling, total, 0.5)
    checks.append(Check("coupling share of AaBb immigrants", 0.5, obs, se, total))
    for t, run in zip(times[1:], res[1:]):
        for gene in ("A", "B"):
            p_imm = th.immigrant_allele_freq(full_mix, gene)
            expect = th.migration_mean(th.founder_allele_freq(pop, gene), p_imm, m, t)
            mm, se = mean_se(run.floats("finalp_%s" % gene))
            checks.append(Check("mean p(%s), generation %d" % (gene, t), expect, mm, se,
                                len(run.rows)))
    return Scenario("migration", "Migration",
                    "the population approaches the immigrants' allele frequencies at rate m",
                    th.MIGRATION + ". Exact: each place is an immigrant with probability m",
                    "N = 100 aabb founders; 5 immigrants a generation (m = 0.05): 20% AABB, "
                    "10% AAbb, 40% AaBb, 30% aabb, so p_I(A) = 0.5, p_I(B) = 0.4; 0 cM; "
                    "iterations run to generation 1, 10 and 40", seed, checks)


def fertilisation(ctx: Context) -> Scenario:
    """10. No selfing and monogamy against selfing allowed."""
    pop = (4, 0, 0, 0, 0, 0, 4, 0, 0)
    size = sum(pop)
    times = (1, 10)
    n = ctx.n(40000, 4000)
    rules = ((1, "selfing allowed"), (2, "monogamy"), (0, "no selfing"))
    runs = [Settings(pop=pop, rule=rule, track=False, stop=False, generations=t,
                     iterations=n) for rule, _ in rules for t in times]
    seed = 2001
    res = ctx.run(runs, seed)
    het0 = 0.0
    div0 = diversity(th.founder_allele_freq(pop, "A"))
    checks = []
    k = 0
    for rule, name in rules:
        for t in times:
            run = res[k]
            k += 1
            hobs, h = th.heterozygosity(size, rule, het0, div0, t)
            m, se = mean_se([alpha_het(r) for r in run.rows])
            checks.append(Check("share of Aa, %s, generation %d" % (name, t), hobs, m, se, n))
            m, se = mean_se([diversity(p) for p in run.floats("finalp_A")])
            checks.append(Check("2pq, %s, generation %d" % (name, t), h, m, se, n))
    return Scenario("fertilisation", "Fertilisation rules and effective size",
                    "without self-fertilisation (and under monogamy) the two genes of an "
                    "individual never come from one parent: heterozygotes are in excess "
                    "and the effective size is N + 1/2 instead of N",
                    th.FERTILISATION + ". Exact for each rule; with N = %d the "
                    "recursions give Ne = %.3f (no selfing, monogamy) and %.3f (selfing)"
                    % (size, th.effective_size(size, 0), th.effective_size(size, 1)),
                    "N = 8 (%s: no heterozygotes, 2pq = 1/2); Beta fixed; each rule run to "
                    "generation 1 and to generation 10" % pop_text(pop), seed, checks)


def linkage(ctx: Context) -> Scenario:
    """11. Independent assortment at 50 cM; one genealogy at 0 cM."""
    free_pop = (4, 8, 4, 8, 16, 8, 4, 8, 4)
    tight_pop = (32, 0, 0, 0, 0, 0, 0, 0, 32)
    size = sum(free_pop)
    n1, n2 = ctx.n(12000, 800), ctx.n(5000, 300)
    runs = [Settings(pop=free_pop, cm=50, track=False, iterations=n1),
            Settings(pop=tight_pop, cm=0, iterations=n2)]
    seed = 2101
    free, tight = ctx.run(runs, seed)
    checks = []
    ta, tb = free.floats("gens_fix_A_all"), free.floats("gens_fix_B_all")
    rho, se = correlation(ta, tb)
    approx = th.coalescence_correlation(size, 0.5)
    checks.append(Check("correlation of the fixation times, 50 cM", 0.0, rho, se, n1,
                        method="unlinked limit", allowance=0.05,
                        approx=("pairwise coalescence times", approx)))
    for run, pop, r, label, k in ((free, free_pop, 0.5, "50 cM, founders in equilibrium", n1),
                                  (tight, tight_pop, 0.0, "0 cM, founders AABB and aabb", n2)):
        d0, c0 = th.founder_ld(pop)
        expect = th.joint_fixation(size, r, 0.5, 0.5, d0, c0)
        hits = sum(1 for row in run.rows if row["A_all_fixed"] == "A" and row["B_all_fixed"] == "B")
        obs, se = share(hits, k, expect)
        checks.append(Check("P(A and B both fix), %s" % label, expect, obs, se, k))
    partner = {"A": "B", "a": "b"}
    same_fate = sum(1 for row in tight.rows
                    if row["B_all_fixed"] == partner.get(row["A_all_fixed"])
                    and row["gens_fix_A_all"] == row["gens_fix_B_all"])
    checks.append(Check("same allele fate and generation, 0 cM", 1.0, same_fate / n2, 0.0, n2,
                        method="exact (certain)"))
    same_copy = sum(1 for row in tight.rows
                    if row["gens_fix_A_copy"] == row["gens_fix_B_copy"]
                    and row["A_origin_gt"] == row["B_origin_gt"]
                    and row["A_origin_ht"] == row["B_origin_ht"])
    checks.append(Check("same fixed copy, generation and origin, 0 cM", 1.0, same_copy / n2,
                        0.0, n2, method="exact (certain)"))
    return Scenario("linkage", "Linkage: independent assortment and complete linkage",
                    "at 50 cM the two genes drift almost independently; at 0 cM they share "
                    "one genealogy, and founders in full LD give them identical fates",
                    th.LINKAGE + ". The correlation of the fixation times is tested against "
                    "0, the limit of unlinked genes in a large population, with an allowance "
                    "of 0.05 for the common pedigree of a population of 64 (the coalescent "
                    "value for pairwise coalescence times, %.3f, stands for its order); the "
                    "joint fixation probabilities are exact" % approx,
                    "N = 64; 50 cM with founders in Hardy-Weinberg and linkage equilibrium "
                    "(%s); 0 cM with %s, gene copies tracked" % (pop_text(free_pop),
                                                              pop_text(tight_pop)),
                    seed, checks)


def phase_start(ctx: Context) -> Scenario:
    """12. Founders in a given phase at 0 cM: haplotypes fix whole."""
    n1, n2 = ctx.n(2000, 300), ctx.n(3000, 300)
    base = {"population.size": "40", "population.p_A": "0.2", "population.p_B": "0.5",
            "map_distance_cM": "0", "track_gene_copies": "false"}
    coupling = dict(base, **{"population.phase": '"coupling"', "selection.alpha.s": "0.3",
                             "iterations": str(n1)})
    repulsion = dict(base, **{"population.phase": '"repulsion"', "iterations": str(n2)})
    seed = 2201
    rows_c = ctx.run_batch(coupling, seed)
    rows_r = ctx.run_batch(repulsion, seed + 1)
    checks = []
    fixed_a = [r for r in rows_c if r["A_all_fixed"] == "A"]
    with_b = sum(1 for r in fixed_a if r["B_all_fixed"] == "B")
    checks.append(Check("P(B fixes | A fixes), coupling, A favoured (%d of %d fixed A)"
                        % (len(fixed_a), n1), 1.0, with_b / max(1, len(fixed_a)), 0.0,
                        len(fixed_a), method="exact (certain)"))
    # Neutral at 0 cM each founding haplotype is one neutral allele: Ab, the
    # 16 A chromosomes of 80, fixes with probability 0.2.
    hits = sum(1 for r in rows_r if r["A_all_fixed"] == "A" and r["B_all_fixed"] == "b")
    obs, se = share(hits, n2, 0.2)
    checks.append(Check("P(A and b fix), repulsion, neutral", 0.2, obs, se, n2))
    wrong = sum(1 for r in rows_r if r["A_all_fixed"] == "A" and r["B_all_fixed"] != "b")
    checks.append(Check("P(B fixes with A), repulsion", 0.0, wrong / n2, 0.0, n2,
                        method="exact (certain)"))
    return Scenario("phase_start", "Founders in a given phase, no recombination",
                    "in coupling every A chromosome carries B, so where A fixes B fixes; "
                    "in repulsion every A chromosome carries b",
                    "At 0 cM a chromosome is passed on whole, so a haplotype behaves as "
                    "one allele: it fixes with its starting frequency when neutral, and A "
                    "can fix only together with the B allele of every A chromosome. Run "
                    "through duolocus-batch (the console's founders take a random phase)",
                    "N = 40 from population.size with p_A = 0.2, p_B = 0.5: 16 A and 40 B "
                    "of 80 chromosomes; coupling (16 AB, 24 aB, 40 ab) with s = 0.3 for "
                    "A; repulsion (16 Ab, 40 aB, 24 ab) neutral", seed, checks)


# The full suite, roughly the most expensive first so that two workers end together.
SCENARIOS: List[Callable[[Context], Scenario]] = [
    linkage, copy_fixation, absorption_time, mutation_drift, selection_fixation,
    neutral_fixation, migration, heterozygosity_decay, copy_origin, ld_decay, fertilisation,
    phase_start,
]
ORDER = [neutral_fixation, absorption_time, copy_fixation, copy_origin, selection_fixation,
         mutation_drift, heterozygosity_decay, ld_decay, migration, fertilisation, linkage,
         phase_start]


# --------------------------------------------------------------------------
# Output
# --------------------------------------------------------------------------

def fmt(x: float) -> str:
    if x is None:
        return ""
    if math.isinf(x):
        return "inf" if x > 0 else "-inf"
    if x == 0:
        return "0"
    if abs(x) >= 1000:
        return "%.1f" % x
    return "%.5g" % x


def fmt_z(c: Check) -> str:
    return "%+.2f" % c.z if not math.isinf(c.z) else ("+inf" if c.z > 0 else "-inf")


def console_table(results: Sequence[Scenario]) -> str:
    lines = []
    for s in results:
        lines.append("%s  [%s, seed %d, %.1f s]" % (s.title, "pass" if s.passed else "FAIL",
                                                  s.seed, s.seconds))
        for c in s.checks:
            lines.append("  %-52s exp %-10s obs %-10s se %-9s z %6s  n %-6d %s" % (
                c.label, fmt(c.expected), fmt(c.observed), fmt(c.se), fmt_z(c), c.n,
                "" if c.passed else "FAIL"))
    return "\n".join(lines)


def machine() -> str:
    cpu = "unknown CPU"
    cores = 0
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name") and cpu == "unknown CPU":
                    cpu = line.split(":", 1)[1].strip()
                if line.startswith("processor"):
                    cores += 1
    except OSError:
        pass
    u = platform.uname()
    return "%s (%d logical cores), %s %s %s" % (cpu, cores or os.cpu_count() or 0,
                                                 u.system, u.release, u.machine)


def commit(root: str) -> str:
    try:
        head = subprocess.run(["git", "rev-parse", "--short", "HEAD"], cwd=root,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              universal_newlines=True).stdout.strip()
        dirty = subprocess.run(["git", "status", "--porcelain", "--untracked-files=no",
                                "--", ".", ":(exclude)docs/validation.md"], cwd=root,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               universal_newlines=True).stdout.strip()
        return (head or "unknown") + (" (with uncommitted changes)" if dirty else "")
    except OSError:
        return "unknown"


def markdown(results: Sequence[Scenario], seconds: float, root: str) -> str:
    now = datetime.datetime.now().strftime("%Y-%m-%d %H:%M")
    out = []
    w = out.append
    w("# Validation against population-genetics theory")
    w("")
    w("Written by `make validate` on %s, commit %s, on %s. The full suite took "
      "%.0f s of wall time." % (now, commit(root), machine(), seconds))
    w("")
    w("Each scenario runs whole sessions of `build/duolocus`, typed as a user would "
      "type them (founders of a given phase, which the console cannot set up, go "
      "through `build/duolocus-batch`), and reads the iteration table PREFIX.csv. The observed value is the "
      "mean over the iterations (a share for probabilities, a sample variance or "
      "correlation where named); SE is its standard error (binomial under the expected "
      "share for probabilities); z = (observed - expected) / SE. A check passes when "
      "|z| <= %g. Expected values are the exact ones for the finite population "
      "(Markov chains and moment recursions of the process the program carries out, "
      "in `tests/validation/theory.py`) except where the Theory column names an "
      "approximation; there an allowance is taken off |observed - expected| before z "
      "is computed. Where the exact value is used, the classical approximation is "
      "given for comparison in the scenario's notes below. Runs within a scenario share "
      "one execution of the program and use seeds seed, seed + 1, ... in turn."
      % Z_LIMIT)
    w("")
    w("| # | Scenario | Check | Theory | Expected | Observed | SE | z | Iterations | Seed | Result |")
    w("|---|---|---|---|---|---|---|---|---|---|---|")
    for i, s in enumerate(results, 1):
        for c in s.checks:
            theory_col = c.method + (" (allowance %g)" % c.allowance if c.allowance else "")
            w("| %d | %s | %s | %s | %s | %s | %s | %s | %d | %d | %s |" % (
                i, s.title, c.label, theory_col, fmt(c.expected), fmt(c.observed),
                fmt(c.se), fmt_z(c), c.n, s.seed, "pass" if c.passed else "**FAIL**"))
    total = sum(len(s.checks) for s in results)
    failed = sum(1 for s in results for c in s.checks if not c.passed)
    w("")
    w("%d checks in %d scenarios, %d failed." % (total, len(results), failed))
    w("")
    w("## Scenarios")
    for i, s in enumerate(results, 1):
        w("")
        w("### %d. %s" % (i, s.title))
        w("")
        w("- Result: %s." % s.result)
        w("- Theory: %s." % s.theory_text)
        w("- Settings: %s. Seed %d; %.1f s." % (s.settings, s.seed, s.seconds))
        for c in s.checks:
            if c.approx:
                w("- %s: expected %s (%s), for comparison %s %s; raw z %s." % (
                    c.label, fmt(c.expected), c.method, c.approx[0], fmt(c.approx[1]),
                    "%+.2f" % c.raw_z if not math.isinf(c.raw_z) else "inf"))
        if s.notes:
            w("- %s" % s.notes)
    w("")
    w("## Does the suite catch faults?")
    w("")
    w("Each fault below was planted by hand in the generation builder, the program "
      "rebuilt and the full suite run; the table gives the scenario that failed and "
      "its worst z.")
    w("")
    w("| Fault planted | Scenario that failed | Worst z |")
    w("|---|---|---|")
    for fault, scenario, z in PLANTED:
        w("| %s | %s | %s |" % (fault, scenario, z))
    w("")
    return "\n".join(out)


def main(argv: Optional[Sequence[str]] = None) -> int:
    root = os.path.dirname(os.path.dirname(HERE))
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--program", default=os.path.join(root, "build", "duolocus"),
                    help="the console program (default: build/duolocus)")
    ap.add_argument("--batch", default=os.path.join(root, "build", "duolocus-batch"),
                    help="duolocus-batch, for the scenarios the console cannot set up "
                    "(default: build/duolocus-batch; left out when missing)")
    ap.add_argument("--quick", action="store_true",
                    help="fewer iterations: the seeded subset run by make test")
    ap.add_argument("--jobs", type=int, default=1, help="scenarios run at once (default 1)")
    ap.add_argument("--only", action="append", default=[],
                    help="run only this scenario (repeatable): " +
                    ", ".join(f.__name__ for f in ORDER))
    ap.add_argument("--report", help="write the table as Markdown to this file")
    args = ap.parse_args(argv)
    if not os.path.isfile(args.program) or not os.access(args.program, os.X_OK):
        print("validate.py: no program at %s (build it with `make build`)" % args.program,
              file=sys.stderr)
        return 2
    chosen = SCENARIOS
    if args.only:
        names = {f.__name__: f for f in SCENARIOS}
        unknown = [n for n in args.only if n not in names]
        if unknown:
            print("validate.py: unknown scenario %s; known: %s" %
                  (", ".join(unknown), ", ".join(names)), file=sys.stderr)
            return 2
        chosen = [names[n] for n in args.only]
    have_batch = os.path.isfile(args.batch) and os.access(args.batch, os.X_OK)
    if not have_batch:
        print("validate.py: no duolocus-batch at %s: phase_start left out" % args.batch,
              file=sys.stderr)
        chosen = [f for f in chosen if f is not phase_start]
    ctx = Context(args.program, args.quick, args.batch if have_batch else None)

    def timed(f: Callable[[Context], Scenario]) -> Scenario:
        start = time.time()
        s = f(ctx)
        s.seconds = time.time() - start
        print("%-22s %-4s %6.1f s" % (s.key, "pass" if s.passed else "FAIL", s.seconds),
              flush=True)
        return s

    start = time.time()
    with ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        done = list(pool.map(timed, chosen))
    seconds = time.time() - start
    by_name = {s.key: s for s in done}
    results = [by_name[f.__name__] for f in ORDER if f.__name__ in by_name]
    print()
    print(console_table(results))
    failed = [s.key for s in results if not s.passed]
    print("\n%d scenarios, %d checks, %s in %.1f s" % (
        len(results), sum(len(s.checks) for s in results),
        "all passed" if not failed else "FAILED: " + ", ".join(failed), seconds))
    if args.report:
        with open(args.report + ".tmp", "w") as f:
            f.write(markdown(results, seconds, root))
        os.replace(args.report + ".tmp", args.report)
        print("wrote %s" % args.report)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
