"""Population-genetics expectations: what theory says Duolocus should give.

The summaries and figures of the package set their observed values beside
these, and the validation suite (tests/validation/validate.py) tests the
program against them; both read this one module, so a formula is written
once.  Wherever it can be done the value is the exact one for the finite
population rather than the diffusion or coalescent limit.

The process, as far as these results need it (no mating preferences):

* Self-fertilisation allowed: each offspring draws its two parents
  independently, each with probability proportional to its fitness, and each
  parent passes one of its two chromosomes at random.  Without selection the
  2N gene copies of a generation are therefore independent uniform draws from
  the 2N copies of the previous one: the Wright-Fisher model of 2N genes,
  exactly, at each gene.
* Self-fertilisation not allowed: the two parents of an offspring are two
  distinct individuals, uniform over ordered pairs.
* Monogamy: the first parent is uniform over the population; if it already
  has a partner in this generation that partner is the second parent,
  otherwise the second parent is uniform over the other individuals without
  a partner and the pair is formed.  For an even population no individual is
  ever left without a possible partner.
* A parent's gamete carries the Alpha copy of a random chromosome and the
  Beta copy of the same chromosome, or with probability r of the other one.
* Mutation acts on every allele of the new generation once, after the
  offspring are made; immigrants take each place independently with
  probability m = immigrants / N before the offspring are made.

Python standard library only (the validation suite runs under any Python 3.9
or later, with or without numpy).
"""

from __future__ import annotations

import math
import numbers
from typing import Callable, Dict, List, Sequence, Tuple

from . import catalogue as _catalogue

# --------------------------------------------------------------------------
# What the helpers accept
# --------------------------------------------------------------------------
# The exact chains are solved in pure Python: the largest sizes below are
# what each solves in a second or two; beyond them the diffusion forms
# (kimura_ohta_times, coalescent_time, selection_fixation_diffusion) serve.
MAX_WF_GENES = 1000         # wf_matrix: 2N genes
MAX_WF_SIZE = 100           # wf_absorption_times: N
MAX_ANCESTRAL_SIZE = 1000   # ancestral_process_time: N
MAX_SELECTION_SIZE = 22     # selection_fixation_exact: N
MAX_GENERATIONS = 10 ** 6   # the recursions generation by generation
MAX_BINOMIAL = 10 ** 6      # binomial_pmf: trials


def _refuse(name, value, allowed):
    shown = repr(value)
    if len(shown) > 60:
        shown = shown[:57] + "..."
    raise ValueError(f"{name} = {shown}; allowed: {allowed}")


def _real(name, value, lo=None, hi=None, above=None, below=None):
    """value as a float, refused (ValueError naming it) unless a finite
    number within [lo, hi] and (above, below) where given."""
    words = []
    if lo is not None and hi is not None:
        words.append(f"a number from {lo} to {hi}")
    elif lo is not None:
        words.append(f"a number of at least {lo}")
    elif hi is not None:
        words.append(f"a number of at most {hi}")
    if above is not None:
        words.append(f"above {above}")
    if below is not None:
        words.append(f"below {below}")
    allowed = (", ".join(words) if words else "a number") + " (not NaN nor infinite)"
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        _refuse(name, value, allowed)
    try:
        x = float(value)
    except (OverflowError, ValueError):
        _refuse(name, value, allowed)
    if (not math.isfinite(x) or (lo is not None and x < lo) or (hi is not None and x > hi)
            or (above is not None and x <= above) or (below is not None and x >= below)):
        _refuse(name, value, allowed)
    return x


def _whole(name, value, lo, hi=None, why=""):
    """value as an int, refused unless a whole number from lo to hi."""
    if isinstance(value, bool) or not isinstance(value, numbers.Integral) or value < lo or \
            (hi is not None and value > hi):
        allowed = f"a whole number from {lo} to {hi}" if hi is not None else f"a whole number from {lo}"
        _refuse(name, value, allowed + why)
    return int(value)


def _size(value, hi=None, why=""):
    """A population size N: a whole number of at least 1 (float sizes that
    are whole, as the settings give them, are taken too)."""
    if isinstance(value, numbers.Real) and not isinstance(value, (bool, numbers.Integral)):
        if math.isfinite(float(value)) and float(value) == int(value):
            value = int(value)
    return _whole("n_ind", value, 1, hi, why)


def _counts(name, counts, length=9):
    """Nine founder counts (genotype order), none negative, not all 0."""
    if isinstance(counts, (str, bytes)) or not hasattr(counts, "__len__") or len(counts) != length:
        _refuse(name, counts, f"{length} counts in genotype order {', '.join(GENOTYPES)}")
    values = [_real(f"{name}[{k}]", c, lo=0) for k, c in enumerate(counts)]
    if sum(values) <= 0:
        _refuse(name, counts, "counts that are not all 0")
    return values


def _gene(gene):
    if gene not in ("A", "B"):
        _refuse("gene", gene, '"A" or "B"')
    return gene


def _fitnesses(name, w, positive_ends=False):
    if isinstance(w, (str, bytes)) or not hasattr(w, "__len__") or len(w) != 3:
        _refuse(name, w, "the three fitnesses (XX, Xx, xx)")
    values = [_real(f"{name}[{k}]", v, lo=0) for k, v in enumerate(w)]
    if positive_ends and (values[0] <= 0 or values[2] <= 0):
        _refuse(name, w, "fitnesses of the two homozygotes above 0")
    if not any(values):
        _refuse(name, w, "fitnesses that are not all 0")
    return tuple(values)


# --------------------------------------------------------------------------
# Small numerical tools
# --------------------------------------------------------------------------


def solve(a: List[List[float]], b: List[float]) -> List[float]:
    """Solves a x = b by Gaussian elimination with partial pivoting.

    The matrices met here (I - Q of an absorbing chain) are well conditioned
    and at most a few hundred rows, so a plain elimination is enough.

    Args:
        a: the square matrix, as a list of rows (left unchanged).
        b: the right-hand side.

    Returns:
        list of float: x.
    """
    n = len(b)
    m = [row[:] + [b[i]] for i, row in enumerate(a)]
    for col in range(n):
        piv = max(range(col, n), key=lambda r: abs(m[r][col]))
        if m[piv][col] == 0.0:
            raise ValueError("a = the matrix of the system; allowed: a matrix that is not singular")
        m[col], m[piv] = m[piv], m[col]
        prow = m[col]
        inv = 1.0 / prow[col]
        for r in range(col + 1, n):
            row = m[r]
            f = row[col] * inv
            if f != 0.0:
                for c in range(col, n + 1):
                    row[c] -= f * prow[c]
    x = [0.0] * n
    for r in range(n - 1, -1, -1):
        row = m[r]
        s = row[n]
        for c in range(r + 1, n):
            s -= row[c] * x[c]
        x[r] = s / row[r]
    return x


def binomial_pmf(n: int, x: float) -> List[float]:
    """P(K = k), k = 0..n, for K ~ Binomial(n, x).

    Args:
        n: the number of draws.
        x: the probability of success of each.

    Returns:
        list of float: the n + 1 probabilities.
    """
    n = _whole("n", n, 0, MAX_BINOMIAL)
    x = _real("x", x, lo=0, hi=1)
    if x <= 0.0:
        return [1.0] + [0.0] * n
    if x >= 1.0:
        return [0.0] * n + [1.0]
    lx, lq = math.log(x), math.log1p(-x)
    lgn = math.lgamma(n + 1)
    return [math.exp(lgn - math.lgamma(k + 1) - math.lgamma(n - k + 1)
                     + k * lx + (n - k) * lq) for k in range(n + 1)]


def simpson(f: Callable[[float], float], a: float, b: float, steps: int = 2000) -> float:
    """The integral of f from a to b by Simpson's rule.

    Args:
        f: the function of one number.
        a, b: the bounds.
        steps: the number of intervals (made even).

    Returns:
        float: the integral.
    """
    a = _real("a", a)
    b = _real("b", b)
    steps = _whole("steps", steps, 1, MAX_GENERATIONS)
    if steps % 2:
        steps += 1
    h = (b - a) / steps
    s = f(a) + f(b)
    for i in range(1, steps):
        s += (4 if i % 2 else 2) * f(a + i * h)
    return s * h / 3.0


# --------------------------------------------------------------------------
# 1. Neutral fixation probability
# --------------------------------------------------------------------------

NEUTRAL_FIXATION = ("u(p0) = p0: the allele frequency is a martingale under "
                    "neutral sampling, whatever the fertilisation rule "
                    "(Fisher 1930; Kimura 1962)")


def founder_allele_freq(counts: Sequence[int], gene: str) -> float:
    """The frequency of A (gene 'A') or B (gene 'B') among the founders.

    Args:
        counts: the founders of each genotype, in genotype order AABB, AABb,
            ..., aabb.
        gene: 'A' or 'B'.

    Returns:
        float: the allele's share of the 2N genes.
    """
    counts = _counts("counts", counts)
    _gene(gene)
    n = sum(counts)
    cap = 0
    for g, c in enumerate(counts):
        small = g // 3 if gene == "A" else g % 3
        cap += c * (2 - small)
    return cap / (2.0 * n)


# --------------------------------------------------------------------------
# 2. Absorption times of the Wright-Fisher chain (Kimura and Ohta 1969)
# --------------------------------------------------------------------------

ABSORPTION_TIME = ("t(p) = -4N[p ln p + (1-p) ln(1-p)]; conditional on "
                   "fixation t1(p) = -4N (1-p) ln(1-p) / p "
                   "(Kimura and Ohta 1969, diffusion)")


def wf_matrix(m: int) -> List[List[float]]:
    """The transition matrix of the allele count among m = 2N genes.

    Args:
        m: the number of genes.

    Returns:
        list of list of float: row i, column j: P(j copies next | i now).
    """
    m = _whole("m", m, 1, MAX_WF_GENES, " (2N genes; beyond that the exact chain takes too long)")
    return [binomial_pmf(m, i / m) for i in range(m + 1)]


def wf_absorption_times(n_ind: int, i0: int) -> Dict[str, float]:
    """Exact mean absorption time, and conditional on fixation and on loss,
    for the Wright-Fisher chain of 2N genes starting with i0 copies.

    Conditioning on fixation is the Doob transform Q*(i, j) = Q(i, j) j / i,
    since the fixation probability from i copies is i / 2N.

    Args:
        n_ind: N, the diploid individuals.
        i0: the copies of the allele at the start.

    Returns:
        dict: "any", "fix" and "loss": the mean generations to absorption,
        to fixation and to loss.
    """
    n_ind = _size(n_ind, MAX_WF_SIZE, " (beyond that, kimura_ohta_times)")
    i0 = _whole("i0", i0, 1, 2 * n_ind - 1, " (copies of the allele, 2N = "
                f"{2 * n_ind} genes: neither lost nor fixed)")
    m = 2 * n_ind
    q = wf_matrix(m)
    idx = list(range(1, m))

    def mean_time(weight: Callable[[int], float]) -> List[float]:
        a = []
        for i in idx:
            wi = weight(i)
            a.append([(1.0 if i == j else 0.0) - q[i][j] * weight(j) / wi for j in idx])
        return solve(a, [1.0] * len(idx))

    t_any = mean_time(lambda i: 1.0)
    t_fix = mean_time(lambda i: float(i))
    t_loss = mean_time(lambda i: float(m - i))
    k = i0 - 1
    return {"any": t_any[k], "fix": t_fix[k], "loss": t_loss[k]}


def kimura_ohta_times(n_ind: int, p: float) -> Dict[str, float]:
    """Kimura and Ohta's diffusion times for a neutral allele at frequency p.

    Args:
        n_ind: N, the diploid individuals.
        p: the starting frequency, strictly between 0 and 1.

    Returns:
        dict: "any" (mean time until either allele fixes), "fix" (given that
        this allele fixes) and "loss" (given that it is lost), in generations.

    Example:
        >>> round(kimura_ohta_times(50, 0.5)["fix"], 1)
        138.6
    """
    n_ind = _real("n_ind", n_ind, above=0)
    p = _real("p", p, above=0, below=1)
    q = 1.0 - p
    return {"any": -4.0 * n_ind * (p * math.log(p) + q * math.log(q)),
            "fix": -4.0 * n_ind * q * math.log(q) / p,
            "loss": -4.0 * n_ind * p * math.log(p) / q}


# --------------------------------------------------------------------------
# 3. Time to gene-copy fixation: the ancestral process of 2N copies
# --------------------------------------------------------------------------

COPY_FIXATION = ("E[T] = time for the 2N copies of a generation to descend "
                 "from one founding copy = E[T_MRCA] of the whole population; "
                 "coalescent: 4N(1 - 1/2N) (Kingman 1982; Hudson 1990)")


def ancestral_process_time(n_ind: int) -> float:
    """Exact mean number of generations for the 2N gene copies of a
    Wright-Fisher population to trace back to a single copy.

    Going back one generation, k lineages pick parent copies uniformly among
    2N: the number of distinct parents is the occupancy of k balls in 2N
    boxes.  A founding copy has fixed by generation t exactly when the
    lineages of generation t have met by generation 0, so the mean fixation
    time equals the mean absorption time of this backward chain from 2N.

    Args:
        n_ind: N, the diploid individuals.

    Returns:
        float: the mean gene-copy fixation time in generations.
    """
    n_ind = _size(n_ind, MAX_ANCESTRAL_SIZE, " (beyond that, coalescent_time)")
    m = 2 * n_ind
    # rows[k][j]: P(k lineages have j distinct parents), built ball by ball
    rows: List[List[float]] = [[1.0]]  # k = 0
    dist = [1.0]
    for k in range(1, m + 1):
        new = [0.0] * (k + 1)
        for j, pj in enumerate(dist):
            if pj == 0.0:
                continue
            new[j] += pj * j / m
            new[j + 1] += pj * (m - j) / m
        dist = new
        rows.append(dist)
    t = [0.0] * (m + 1)
    for k in range(2, m + 1):
        row = rows[k]
        s = 1.0 + sum(row[j] * t[j] for j in range(1, k))
        t[k] = s / (1.0 - row[k])
    return t[m]


def coalescent_time(n_ind: int) -> float:
    """The coalescent's mean time to the common ancestor of all 2N copies,
    4N (1 - 1/2N).

    Args:
        n_ind: N, the diploid individuals.

    Returns:
        float: generations.
    """
    n_ind = _real("n_ind", n_ind, above=0)
    return 4.0 * n_ind * (1.0 - 1.0 / (2 * n_ind))


# --------------------------------------------------------------------------
# 4. Origin of the fixed gene copy
# --------------------------------------------------------------------------

COPY_ORIGIN = ("every founding copy is equally likely to fix: "
               "P(origin genotype g) = n_g / N, P(origin haplotype h) = "
               "E[founding chromosomes of haplotype h] / 2N, a double "
               "heterozygote founder being in coupling or repulsion with "
               "probability 1/2 (exchangeability of neutral lineages)")

GENOTYPES = _catalogue.genotypes()
HAPLOTYPES = _catalogue.haplotypes()

# expected founding chromosomes per founder, by genotype
_FOUNDER_HAPS = {
    0: {"AB": 2.0}, 1: {"AB": 1.0, "Ab": 1.0}, 2: {"Ab": 2.0},
    3: {"AB": 1.0, "aB": 1.0},
    4: {"AB": 0.5, "ab": 0.5, "Ab": 0.5, "aB": 0.5},
    5: {"Ab": 1.0, "ab": 1.0}, 6: {"aB": 2.0}, 7: {"aB": 1.0, "ab": 1.0},
    8: {"ab": 2.0},
}


def origin_shares(counts: Sequence[int], phased: Sequence[int] = (0, 0)
                  ) -> Tuple[Dict[str, float], Dict[str, float]]:
    """Where the fixed gene copy is expected to come from: every founding
    copy is equally likely to fix.

    Args:
        counts: the founders of each genotype, in genotype order.
        phased: of the double heterozygotes, how many were placed in
            coupling (AB/ab) and in repulsion (Ab/aB) (founders.AB_ab,
            founders.Ab_aB, or a population phase); the others take either
            phase with chance 1/2.

    Returns:
        tuple: (share of each founder genotype, share of each founding
        haplotype AB, Ab, aB, ab), each a dict.

    Example:
        >>> origin_shares([1, 0, 0, 0, 2, 0, 0, 0, 1], phased=(1, 0))[1]["AB"]
        0.4375
    """
    counts = _counts("counts", counts)
    if isinstance(phased, (str, bytes)) or not hasattr(phased, "__len__") or len(phased) != 2:
        _refuse("phased", phased, "two counts: double heterozygotes in coupling and in repulsion")
    coupled, repelled = (_real(f"phased[{k}]", v, lo=0) for k, v in enumerate(phased))
    if coupled + repelled > counts[4]:
        _refuse("phased", phased, f"at most the {counts[4]:g} double heterozygotes")
    n = float(sum(counts))
    gt = {GENOTYPES[g]: c / n for g, c in enumerate(counts) if c}
    ht = {h: 0.0 for h in HAPLOTYPES}
    for g, c in enumerate(counts):
        if g == 4:
            drawn = c - coupled - repelled
            for h, placed in (("AB", coupled), ("ab", coupled), ("Ab", repelled), ("aB", repelled)):
                ht[h] += (placed + drawn / 2.0) / (2.0 * n)
            continue
        for h, k in _FOUNDER_HAPS[g].items():
            ht[h] += c * k / (2.0 * n)
    return gt, ht


# --------------------------------------------------------------------------
# 5. Fixation probability under selection (Kimura 1962)
# --------------------------------------------------------------------------

SELECTION_FIXATION = ("u(p) = int_0^p G / int_0^1 G, G(y) = exp(-int_0^y 2M/V), "
                      "M = y(1-y)[(w11-w12)y + (w12-w22)(1-y)]/wbar, "
                      "V = y(1-y)/2N; genic: u = (1-exp(-2Nsp))/(1-exp(-2Ns)) "
                      "(Kimura 1962, diffusion)")


def selection_fixation_exact(n_ind: int, w: Tuple[float, float, float],
                             start: Tuple[int, int, int]) -> float:
    """Exact probability that A fixes, from founders with start = (AA, Aa, aa)
    counts and Alpha-genotype fitnesses w = (w_AA, w_Aa, w_aa).

    A parent is accepted with probability equal to its fitness, so each gene
    of an offspring comes from a parent drawn in proportion to fitness and is
    A with probability x = (w_AA n_AA + w_Aa n_Aa / 2) / sum(w n).  The two
    genes of an offspring are independent draws, so the next generation's
    genotype counts are multinomial with Hardy-Weinberg proportions in x.
    The chain runs on genotype counts, not on allele counts alone, because
    selection acts on genotypes.

    Args:
        n_ind: N, the diploid individuals.
        w: the fitnesses of AA, Aa and aa.
        start: the founders of AA, Aa and aa.

    Returns:
        float: P(A fixes).
    """
    n = _size(n_ind, MAX_SELECTION_SIZE, " (beyond that, selection_fixation_diffusion)")
    w = _fitnesses("w", w)
    if isinstance(start, (str, bytes)) or not hasattr(start, "__len__") or len(start) != 3 or \
            any(isinstance(c, bool) or not isinstance(c, numbers.Integral) or c < 0 for c in start) or \
            sum(start) != n:
        _refuse("start", start, f"three whole counts (AA, Aa, aa) adding up to n_ind = {n}")
    if sum(x * c for x, c in zip(w, start)) == 0:
        _refuse("w", w, "fitnesses under which some founder can be a parent")
    states = [(i, j) for i in range(n + 1) for j in range(n + 1 - i)]
    index = {s: k for k, s in enumerate(states)}
    fix_state, loss_state = (n, 0), (0, 0)
    lg = [math.lgamma(k + 1) for k in range(n + 1)]
    transient = [s for s in states if s not in (fix_state, loss_state)]
    tindex = {s: k for k, s in enumerate(transient)}
    size = len(transient)
    a = [[0.0] * size for _ in range(size)]
    b = [0.0] * size
    if tuple(start[:2]) == fix_state:
        return 1.0
    if tuple(start[:2]) == loss_state:
        return 0.0
    for s in transient:
        i, j = s
        k = n - i - j
        tot = w[0] * i + w[1] * j + w[2] * k
        row = a[tindex[s]]
        row[tindex[s]] += 1.0
        if tot == 0:
            # No founder of this state can be a parent: the population dies
            # out, and A never fixes from here.
            continue
        x = (w[0] * i + w[1] * j / 2.0) / tot
        if x <= 0.0 or x >= 1.0:
            if x >= 1.0:
                b[tindex[s]] = 1.0
            continue
        l1 = 2.0 * math.log(x)
        l2 = math.log(2.0 * x * (1.0 - x))
        l3 = 2.0 * math.log1p(-x)
        for s2 in states:
            i2, j2 = s2
            k2 = n - i2 - j2
            p = math.exp(lg[n] - lg[i2] - lg[j2] - lg[k2] + i2 * l1 + j2 * l2 + k2 * l3)
            if s2 == fix_state:
                b[tindex[s]] += p
            elif s2 != loss_state:
                row[tindex[s2]] -= p
    del index
    u = solve(a, b)
    return u[tindex[tuple(start[:2])]]


def selection_fixation_diffusion(n_ind: int, w: Tuple[float, float, float], p: float) -> float:
    """Kimura's diffusion probability of fixation under any dominance:
    u(p) = int_0^p G / int_0^1 G, G(y) = exp(-int_0^y 2M/V).

    Args:
        n_ind: N, the diploid individuals.
        w: the fitnesses of AA, Aa and aa.
        p: the starting frequency of A.

    Returns:
        float: P(A fixes).
    """
    n_ind = _real("n_ind", n_ind, above=0)
    w11, w12, w22 = _fitnesses("w", w, positive_ends=True)
    p = _real("p", p, lo=0, hi=1)

    def two_m_over_v(y: float) -> float:
        wbar = w11 * y * y + 2 * w12 * y * (1 - y) + w22 * (1 - y) ** 2
        return 4.0 * n_ind * ((w11 - w12) * y + (w12 - w22) * (1 - y)) / wbar

    # G(y) = exp(-int_0^y 2M/V), integrated on a fine grid
    steps = 4000
    h = 1.0 / steps
    cum = [0.0]
    for i in range(steps):
        y0, y1 = i * h, (i + 1) * h
        cum.append(cum[-1] + h * (two_m_over_v(y0) + 4 * two_m_over_v((y0 + y1) / 2)
                                  + two_m_over_v(y1)) / 6.0)
    # G up to a constant factor, which the ratio below cancels: scaled so
    # that its largest value is 1, it cannot overflow however strong the
    # selection for the allele.
    low = min(cum)
    g = [math.exp(low - c) for c in cum]

    def integral(upto: float) -> float:
        k = int(round(upto * steps))
        return sum((g[i] + g[i + 1]) * h / 2.0 for i in range(k))

    return integral(p) / integral(1.0)


def kimura_genic(n_ind: int, s: float, p: float) -> float:
    """Kimura's closed form for fitnesses 1, 1 - s/2, 1 - s (genic).

    Args:
        n_ind: N, the diploid individuals.
        s: the selection coefficient against the homozygote of the other allele.
        p: the starting frequency.

    Returns:
        float: the fixation probability.
    """
    n_ind = _real("n_ind", n_ind, above=0)
    s = _real("s", s, hi=1)
    p = _real("p", p, lo=0, hi=1)
    scale = 2.0 * n_ind * s
    if scale == 0.0:
        return p
    if scale < -700:
        _refuse("s", s, "a number with 2N|s| up to about 700 when s is negative")
    return math.expm1(-scale * p) / math.expm1(-scale)


# --------------------------------------------------------------------------
# 6. Mutation and drift
# --------------------------------------------------------------------------

MUTATION_DRIFT = ("E[p'] = (1-u-v)E[p] + v; E[p'^2] = (1-1/2N)E[p*^2] + E[p*]/2N "
                  "with p* = (1-u-v)p + v; stationary limit of the diffusion: "
                  "Beta(4Nv, 4Nu), mean v/(u+v), variance pq/(1+4N(u+v)) "
                  "(Wright 1931)")


def mutation_drift_moments(n_ind: int, u: float, v: float, p0: float, t: int) -> Tuple[float, float]:
    """Exact mean and variance of the frequency of the capital allele after t
    generations.  Every gene of the new generation is an independent draw that
    is capital with probability p* = (1-u-v) p + v, so the count is
    Binomial(2N, p*) given p.

    Args:
        n_ind: N, the diploid individuals.
        u: the mutation rate capital to small.
        v: the mutation rate small to capital.
        p0: the starting frequency of the capital allele.
        t: generations.

    Returns:
        tuple: (mean, variance).
    """
    n_ind = _real("n_ind", n_ind, above=0)
    u = _real("u", u, lo=0, hi=1)
    v = _real("v", v, lo=0, hi=1)
    p0 = _real("p0", p0, lo=0, hi=1)
    t = _whole("t", t, 0, MAX_GENERATIONS)
    m = 2.0 * n_ind
    a = 1.0 - u - v
    e1, e2 = p0, p0 * p0
    for _ in range(t):
        s1 = a * e1 + v
        s2 = a * a * e2 + 2 * a * v * e1 + v * v
        e1, e2 = s1, (1.0 - 1.0 / m) * s2 + s1 / m
    return e1, e2 - e1 * e1


def mutation_drift_diffusion(n_ind: int, u: float, v: float) -> Tuple[float, float]:
    """The stationary mean and variance of the capital allele's frequency under
    mutation and drift (the beta distribution of the diffusion).

    Args:
        n_ind: N, the diploid individuals.
        u: the mutation rate capital to small.
        v: the mutation rate small to capital.

    Returns:
        tuple: (mean v / (u + v), variance).
    """
    n_ind = _real("n_ind", n_ind, above=0)
    u = _real("u", u, lo=0, hi=1)
    v = _real("v", v, lo=0, hi=1)
    if u + v == 0:
        _refuse("u", u, "rates u and v that are not both 0 (without mutation there is no balance)")
    mean = v / (u + v)
    return mean, mean * (1 - mean) / (1 + 4 * n_ind * (u + v))


# --------------------------------------------------------------------------
# 7 and 10. Heterozygosity under the three fertilisation rules
# --------------------------------------------------------------------------

HETEROZYGOSITY = ("H_t = H_0 (1 - 1/2N)^t for the gene diversity H = 2pq "
                  "under self-fertilisation allowed (Wright 1931); observed "
                  "heterozygosity one generation behind")

FERTILISATION = ("hw' = hb, hb' = hw/2N + (1-1/N) hb without selfing and "
                 "under monogamy; hw' = hb' = hw/2N + (1-1/N) hb with "
                 "selfing allowed; H = 2pq = hw/2N + (1-1/N) hb; "
                 "no selfing: Ne = 1/(2(1-lambda)) ~ N + 1/2 "
                 "(Wright 1931; Crow and Kimura 1970, 3.7)")


def heterozygosity(n_ind: int, rule: int, het0: float, div0: float, t: int) -> Tuple[float, float]:
    """Exact E[observed heterozygosity] and E[2pq] after t generations.

    hw is the share of heterozygous individuals, hb the chance that random
    genes of two distinct individuals differ.  Looking back one generation,
    two genes of one individual come from distinct parents (rules 0 and 2)
    or from two independent draws (rule 1); two genes of distinct
    individuals share their parent with probability 1/N under every rule
    (under monogamy two offspring are full sibs with probability 2/N and
    then share the parent of the gene with probability 1/2), and a shared
    parent gives the same gene or its other gene with probability 1/2 each.

    Args:
        n_ind: N, the diploid individuals.
        rule: 0 self-fertilisation not allowed, 1 allowed, 2 monogamy.
        het0: hw at the start.
        div0: hb at the start.
        t: generations.

    Returns:
        tuple: (observed heterozygosity, 2pq).
    """
    n = _real("n_ind", n_ind, above=1)
    rule = _whole("rule", rule, 0, 2, " (0 selfing not allowed, 1 allowed, 2 monogamy)")
    het0 = _real("het0", het0, lo=0, hi=1)
    div0 = _real("div0", div0, lo=0, hi=1)
    t = _whole("t", t, 0, MAX_GENERATIONS)
    hw = het0
    hb = (div0 - het0 / (2 * n)) / (1 - 1 / n)
    for _ in range(t):
        between = hw / (2 * n) + (1 - 1 / n) * hb
        if rule == 1:
            hw, hb = between, between
        else:
            hw, hb = hb, between
    return hw, hw / (2 * n) + (1 - 1 / n) * hb


def effective_size(n_ind: int, rule: int) -> float:
    """Ne = 1 / (2 (1 - lambda)), lambda the leading eigenvalue of the
    heterozygosity recursion.

    Args:
        n_ind: N, the diploid individuals.
        rule: 0 self-fertilisation not allowed, 1 allowed, 2 monogamy.

    Returns:
        float: the effective size.
    """
    n = _real("n_ind", n_ind, above=0)
    rule = _whole("rule", rule, 0, 2, " (0 selfing not allowed, 1 allowed, 2 monogamy)")
    if rule == 1:
        lam = 1 - 1 / (2 * n)
    else:
        # lambda^2 - (1 - 1/N) lambda - 1/2N = 0
        b = 1 - 1 / n
        lam = (b + math.sqrt(b * b + 2 / n)) / 2
    return 1 / (2 * (1 - lam))


# --------------------------------------------------------------------------
# 8. Decay of linkage disequilibrium
# --------------------------------------------------------------------------

LD_DECAY = ("E[D_t+1] = (1-1/2N)[(1-r)D_t + r C_t], E[C_t+1] = -(1/2N)[(1-r)D_t + r C_t], "
            "C = cross-chromosome A.B frequency within individuals - pA pB; "
            "infinite population: D_t = D_0 (1-r)^t (Robbins 1918; "
            "Hill and Robertson 1968)")


def founder_ld(counts: Sequence[int]) -> Tuple[float, float]:
    """E[D_0] and E[C_0] of the founders, averaging over the random phase of
    the double heterozygotes (both are linear in the phase).

    Args:
        counts: the founders of each genotype, in genotype order.

    Returns:
        tuple: (E[D_0], E[C_0]).
    """
    counts = _counts("counts", counts)
    n = float(sum(counts))
    pa = founder_allele_freq(counts, "A")
    pb = founder_allele_freq(counts, "B")
    _, ht = origin_shares(counts)
    d0 = ht["AB"] - pa * pb
    # cross: A on a random chromosome and B on the other one.  Outside the
    # double heterozygote the two are independent, (A copies / 2)(B copies / 2);
    # AB/ab gives 0 and Ab/aB 1/2, so 1/4 on average over the phase.
    def cross(g: int) -> float:
        if g == 4:
            return 0.25
        return (2 - g // 3) / 2.0 * (2 - g % 3) / 2.0

    x = sum(c * cross(g) for g, c in enumerate(counts)) / n
    return d0, x - pa * pb


def ld_decay(n_ind: int, r: float, d0: float, c0: float, t: int) -> float:
    """Exact E[D_t] for the haplotype sample of 2N chromosomes, selfing
    allowed.  A gamete is AB with probability (1-r) p_AB + r X, where X is the
    frequency of A and B on the two different chromosomes of a parent, and
    2N gametes drawn independently give E[D'] = (1 - 1/2N) D_gamete.

    Args:
        n_ind: N, the diploid individuals.
        r: the recombination fraction.
        d0, c0: E[D_0] and E[C_0] (founder_ld).
        t: generations.

    Returns:
        float: E[D_t].
    """
    n_ind = _real("n_ind", n_ind, above=0)
    r = _real("r", r, lo=0, hi=1)
    d0 = _real("d0", d0, lo=-1, hi=1)
    c0 = _real("c0", c0, lo=-1, hi=1)
    t = _whole("t", t, 0, MAX_GENERATIONS)
    m = 2.0 * n_ind
    d, c = d0, c0
    for _ in range(t):
        g = (1 - r) * d + r * c
        d, c = (1 - 1 / m) * g, -g / m
    return d


# --------------------------------------------------------------------------
# 9. Migration
# --------------------------------------------------------------------------

MIGRATION = ("E[p_t] = p_I + (p_0 - p_I)(1-m)^t, m = immigrants/N; "
             "immigrant share of a genotype m f_g; AaBb immigrants in "
             "coupling with probability 1/2 (island model, Wright 1931)")


def migration_mean(p0: float, p_imm: float, m: float, t: int) -> float:
    """The expected frequency after t generations of migration: every place is
    an immigrant with probability m, whose gene is capital with probability
    p_imm, and otherwise an offspring whose gene is a copy of a random
    parental gene.

    Args:
        p0: the starting frequency.
        p_imm: the frequency among immigrants.
        m: the chance that a place goes to an immigrant.
        t: generations.

    Returns:
        float: the mean frequency.
    """
    p0 = _real("p0", p0, lo=0, hi=1)
    p_imm = _real("p_imm", p_imm, lo=0, hi=1)
    m = _real("m", m, lo=0, hi=1)
    t = _whole("t", t, 0)
    return p_imm + (p0 - p_imm) * (1 - m) ** t


def immigrant_allele_freq(mig: Sequence[float], gene: str) -> float:
    """The frequency of A or B among immigrants.

    Args:
        mig: the shares of the nine genotypes among immigrants.
        gene: 'A' or 'B'.

    Returns:
        float: the allele's frequency.
    """
    mig = _counts("mig", mig)
    return founder_allele_freq([x * 1000000 for x in mig], gene)


# --------------------------------------------------------------------------
# 11. Linkage and the joint fate of the two genes
# --------------------------------------------------------------------------

LINKAGE = ("P(A and B fix) = pA pB + sum_t E[D_gamete,t]/2N, zero excess for "
           "founders with E[D_0] = E[C_0] = 0; coalescence-time correlation "
           "of unlinked genes (R+18)/(R^2+13R+18), R = 4Nr (Griffiths 1981; "
           "Hudson 1990); at 0 cM the two genes share one genealogy")


def joint_fixation(n_ind: int, r: float, pa: float, pb: float, d0: float, c0: float,
                   horizon: int = 100000) -> float:
    """Exact P(A and B both fix): E[pA pB] grows by E[D_gamete]/2N each
    generation (the covariance of the 2N multinomial draws).

    Args:
        n_ind: N, the diploid individuals.
        r: the recombination fraction.
        pa, pb: the starting frequencies of A and B.
        d0, c0: E[D_0] and E[C_0] (founder_ld).
        horizon: the most generations summed.

    Returns:
        float: P(A and B fix).
    """
    n_ind = _real("n_ind", n_ind, above=0)
    r = _real("r", r, lo=0, hi=1)
    pa = _real("pa", pa, lo=0, hi=1)
    pb = _real("pb", pb, lo=0, hi=1)
    d0 = _real("d0", d0, lo=-1, hi=1)
    c0 = _real("c0", c0, lo=-1, hi=1)
    horizon = _whole("horizon", horizon, 0, MAX_GENERATIONS)
    m = 2.0 * n_ind
    d, c, total = d0, c0, pa * pb
    for _ in range(horizon):
        g = (1 - r) * d + r * c
        total += g / m
        d, c = (1 - 1 / m) * g, -g / m
        if abs(g) < 1e-15:
            break
    return total


def coalescence_correlation(n_ind: int, r: float) -> float:
    """The correlation of the coalescence times of two genes,
    (R + 18) / (R^2 + 13R + 18), R = 4Nr.

    Args:
        n_ind: N, the diploid individuals.
        r: the recombination fraction.

    Returns:
        float: the correlation.
    """
    n_ind = _real("n_ind", n_ind, above=0)
    r = _real("r", r, lo=0, hi=1)
    big_r = 4.0 * n_ind * r
    return (big_r + 18) / (big_r * big_r + 13 * big_r + 18)


# --------------------------------------------------------------------------
# 12. Closed forms the summaries and figures set beside the observed values
# --------------------------------------------------------------------------

NEUTRAL_TEXT = "neutral: u = p0"
KIMURA_TEXT = ("genic selection (Kimura): u = (1 - exp(-4Nsp0)) / (1 - exp(-4Ns)), "
               "s = (w_XX - w_xx)/(w_XX + w_xx)")
KIMURA_OHTA_TEXT = "neutral fixation time (Kimura and Ohta): t = -4N (1 - p0) ln(1 - p0) / p0"


def neutral_fixation(p: float) -> float:
    """A neutral allele fixes with the probability of its frequency.

    Args:
        p: the starting frequency.

    Returns:
        float: p.
    """
    return p


def effective_s(w_xx: float, w_yy: float) -> float:
    """The selection coefficient of one copy of the capital allele, as the
    program's parent acceptance makes it: a parent is taken with probability
    equal to its fitness, so under genic selection (heterozygote halfway) the
    capital allele's share grows by the factor w_XX / ((w_XX + w_xx) / 2)
    per copy, that is by 1 + s with s = (w_XX - w_xx) / (w_XX + w_xx).

    Args:
        w_xx: the fitness of the capital homozygote XX.
        w_yy: the fitness of the small homozygote xx.

    Returns:
        float: s.
    """
    w_xx = _real("w_xx", w_xx, lo=0)
    w_yy = _real("w_yy", w_yy, lo=0)
    if w_xx + w_yy == 0:
        _refuse("w_xx", w_xx, "fitnesses of the two homozygotes that are not both 0")
    return (w_xx - w_yy) / (w_xx + w_yy)


def kimura_fixation(n_ind: float, s: float, p: float) -> float:
    """Kimura's diffusion probability that an allele at frequency p fixes in
    a population of N diploids when each copy adds s:
    u = (1 - exp(-4Nsp)) / (1 - exp(-4Ns)); p itself when s is 0.

    Args:
        n_ind: N, the diploid individuals.
        s: the selection coefficient of one copy (effective_s).
        p: the starting frequency.

    Returns:
        float: u.

    Example:
        >>> round(kimura_fixation(50, 0.01, 0.1), 3)
        0.21
    """
    n_ind = _real("n_ind", n_ind, above=0)
    s = _real("s", s, lo=-1, hi=1)
    p = _real("p", p, lo=0, hi=1)
    scale = 4.0 * n_ind * s
    if scale == 0.0:
        return p
    if scale < -700:
        # exp(4N|s|) overflows a double: the allele's chance is 0 to within one.
        return 0.0 if p < 1.0 else 1.0
    return -math.expm1(-scale * p) / -math.expm1(-scale)


def neutral_fixation_time(n_ind: float, p: float, fixed: bool = True) -> float:
    """Kimura and Ohta's mean time to fixation (fixed=True) or to loss of a
    neutral allele at frequency p, among the iterations that end so.

    Args:
        n_ind: N, the diploid individuals.
        p: the starting frequency.
        fixed: True for the time to fixation, False to loss.

    Returns:
        float: generations; None where the allele cannot fix (p 0) or cannot
        be lost (p 1).
    """
    n_ind = _real("n_ind", n_ind, above=0)
    p = _real("p", p, lo=0, hi=1)
    if not 0.0 < p < 1.0:
        if p == 1.0 and fixed or p == 0.0 and not fixed:
            return 0.0
        return None
    return kimura_ohta_times(n_ind, p)["fix" if fixed else "loss"]


def gene_fitness(w: Sequence[float], gene: int):
    """The fitness of the three genotypes of one gene (XX, Xx, xx) when the
    other gene does not change fitness.

    Args:
        w: the nine fitnesses in genotype order AABB ... aabb.
        gene: 0 Alpha, 1 Beta.

    Returns:
        tuple: (w_XX, w_Xx, w_xx); None when the other gene changes fitness.
    """
    if isinstance(w, (str, bytes)) or not hasattr(w, "__len__") or len(w) != 9:
        _refuse("w", w, f"the nine fitnesses in genotype order {', '.join(GENOTYPES)}")
    gene = _whole("gene", gene, 0, 1, " (0 Alpha, 1 Beta)")
    classes = []
    for own in range(3):
        values = [w[own * 3 + other] if gene == 0 else w[other * 3 + own] for other in range(3)]
        if max(values) - min(values) > 1e-9:
            return None
        classes.append(values[0])
    return classes


def selection_s_h(classes: Sequence[float]):
    """(s, h, favoured) of the three fitnesses XX, Xx, xx of a gene, read as
    the favoured homozygote 1, the heterozygote 1 - hs, the other 1 - s.

    Args:
        classes: the fitnesses of XX, Xx and xx.

    Returns:
        tuple: (s, h, favoured), favoured "capital" or "small"; None for a
        gene without selection between its homozygotes (s 0) or with all
        fitnesses 0.

    Example:
        >>> selection_s_h([1.0, 0.75, 0.5])
        (0.5, 0.5, 'capital')
    """
    w_xx, w_xy, w_yy = classes
    top = max(w_xx, w_yy)
    if top <= 0 or w_xx == w_yy:
        return None
    favoured = "capital" if w_xx > w_yy else "small"
    s = 1.0 - min(w_xx, w_yy) / top
    h = (1.0 - w_xy / top) / s
    return s, h, favoured


# --------------------------------------------------------------------------
# 13. Which law applies to a run, read from its settings
# --------------------------------------------------------------------------
# Settings come as the study file writes them (strings or numbers by study
# key), with "population" and the starting frequencies "p0_A", "p0_B".

def _float(ctx, key):
    try:
        return float(ctx.get(key, ""))
    except (TypeError, ValueError):
        return None


def fitness_table(ctx):
    """The nine fitnesses of a run, scaled so the largest is 1.

    Args:
        ctx: the settings of a run, as its report gives them (a dict of
            study keys and texts).

    Returns:
        list of float: in genotype order; None when unknown.
    """
    w = [_float(ctx, f"fitness.{g}") for g in GENOTYPES]
    if any(v is None for v in w):
        return None
    top = max(w)
    return [v / top for v in w] if top > 0 else w


def _only_ab_chromosomes(ctx):
    """Whether every founder is AABB or aabb, so every founding chromosome is AB or ab."""
    counts = [_float(ctx, f"founders.{g}") for g in GENOTYPES]
    if any(c is None for c in counts):
        return False
    return all(c == 0 for g, c in zip(GENOTYPES, counts) if g not in ("AABB", "aabb"))


def single_locus_fitness(ctx, w, gene):
    """The fitnesses of XX, Xx and xx of a gene that behaves as one locus:
    its own fitness does not depend on the other gene, or the two genes never
    recombine, never mutate and start from AB and ab chromosomes only, so
    that each chromosome stays AB or ab and the genes share one fate.

    Args:
        ctx: the settings of a run (a dict of study keys and texts).
        w: the nine fitnesses (fitness_table).
        gene: 0 Alpha, 1 Beta.

    Returns:
        tuple: (w_XX, w_Xx, w_xx); None when the gene does not behave as one
        locus.
    """
    classes = gene_fitness(w, gene)
    if classes is not None:
        return classes
    rates = [_float(ctx, f"mutation.{k}") for k in ("A_to_a", "a_to_A", "B_to_b", "b_to_B")]
    if _float(ctx, "map_distance_cM") == 0.0 and rates == [0.0] * 4 and _only_ab_chromosomes(ctx):
        return [w[0], w[4], w[8]]
    return None


def fixation_law(ctx, gene):
    """The fixation probability of the capital allele of a gene as a function
    of its starting frequency, where a formula applies.

    Args:
        ctx: the settings of a run (a dict of study keys and texts).
        gene: 0 Alpha, 1 Beta.

    Returns:
        tuple: (label, function of p0); None where no formula applies
        (mutation at the gene, migration, mating preferences, dominance,
        selection at a gene it recombines with, a fertilization rule other
        than random union).
    """
    n = _float(ctx, "population")
    w = fitness_table(ctx)
    if n is None or w is None:
        return None
    big, small = ("A", "a") if gene == 0 else ("B", "b")
    for key in (f"mutation.{big}_to_{small}", f"mutation.{small}_to_{big}", "migration.immigrants"):
        if _float(ctx, key) != 0.0:
            return None
    if ctx.get("mating.isolation") != "none" or ctx.get(f"fixation.{('alpha', 'beta')[gene]}") == small:
        return None
    classes = single_locus_fitness(ctx, w, gene)
    if classes is None:
        return None
    w_xx, w_xy, w_yy = classes
    if w_xx == w_xy == w_yy:
        return NEUTRAL_TEXT, neutral_fixation
    if abs(w_xy - (w_xx + w_yy) / 2) > 1e-6 or ctx.get("fertilization") != "selfing-allowed":
        return None
    s = effective_s(w_xx, w_yy)
    return f"Kimura, 4Ns = {4 * n * s:.3g}", lambda p: kimura_fixation(n, s, p)


def fixation_times_law(ctx, gene):
    """Kimura and Ohta's mean fixation times of the capital and the small
    allele of a neutral gene, as a function of the capital allele's starting
    frequency.

    Args:
        ctx: the settings of a run (a dict of study keys and texts).
        gene: 0 Alpha, 1 Beta.

    Returns:
        function: p -> (time if the capital fixes, time if the small fixes);
        None where the gene is not neutral or another force acts.
    """
    law = fixation_law(ctx, gene)
    n = _float(ctx, "population")
    if law is None or law[0] != NEUTRAL_TEXT:
        return None
    return lambda p: (neutral_fixation_time(n, p, True), neutral_fixation_time(n, p, False))
