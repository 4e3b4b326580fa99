#!/usr/bin/env python3
"""Writes tests/theory_values.json: the values both the Python package's
theory module and the lab's JavaScript port must give, worked out here from
the published formulas at 40 digits (mpmath) or in exact fractions, not from
either implementation.

    python3 tests/theory_values.py   # rewrites the table beside this script
"""

import json
import os
from fractions import Fraction
from math import comb

import mpmath as mp

mp.mp.dps = 40
HERE = os.path.dirname(os.path.abspath(__file__))


def kimura(n, s, p):
    """Kimura (1962): u = (1 - e^{-4Nsp}) / (1 - e^{-4Ns})."""
    n, s, p = mp.mpf(n), mp.mpf(s), mp.mpf(p)
    if s == 0:
        return p
    return (1 - mp.e ** (-4 * n * s * p)) / (1 - mp.e ** (-4 * n * s))


def ohta(n, p):
    """Kimura and Ohta (1969), the diffusion's mean times."""
    n, p = mp.mpf(n), mp.mpf(p)
    q = 1 - p
    return {"any": -4 * n * (p * mp.log(p) + q * mp.log(q)),
            "fix": -4 * n * q * mp.log(q) / p,
            "loss": -4 * n * p * mp.log(p) / q}


def exact_times(n, i0):
    """Mean absorption times of the Wright-Fisher chain of 2N genes in exact
    fractions: t(i) = 1 + sum_j Q*(i, j) t(j) over the transient states,
    Q*(i, j) = Q(i, j) w(j) / w(i) for the weights 1, j and 2N - j."""
    m = 2 * n
    q = [[Fraction(comb(m, j)) * Fraction(i, m) ** j * Fraction(m - i, m) ** (m - j) for j in range(m + 1)]
         for i in range(m + 1)]

    def times(weight):
        size = m - 1
        a = [[(1 if i == j else 0) - q[i][j] * weight(j) / weight(i) for j in range(1, m)] + [Fraction(1)]
             for i in range(1, m)]
        for col in range(size):
            piv = next(r for r in range(col, size) if a[r][col] != 0)
            a[col], a[piv] = a[piv], a[col]
            for r in range(size):
                if r != col and a[r][col] != 0:
                    f = a[r][col] / a[col][col]
                    a[r] = [x - f * y for x, y in zip(a[r], a[col])]
        return a[i0 - 1][size] / a[i0 - 1][i0 - 1]

    return {"any": times(lambda j: Fraction(1)), "fix": times(lambda j: Fraction(j)),
            "loss": times(lambda j: Fraction(m - j))}


def exact_selection(n, w, start):
    """P(A fixes) for the chain on genotype counts (AA, Aa, aa) of N
    diploids: each offspring's two genes are independent draws, A with
    probability x = (w_AA n_AA + w_Aa n_Aa / 2) / sum(w n), so the next
    counts are multinomial in x^2, 2x(1-x), (1-x)^2. Exact fractions."""
    w = [Fraction(v).limit_denominator(10 ** 6) for v in w]
    states = [(i, j) for i in range(n + 1) for j in range(n + 1 - i)]
    fix, loss = (n, 0), (0, 0)
    transient = [s for s in states if s not in (fix, loss)]
    at = {s: k for k, s in enumerate(transient)}
    size = len(transient)
    a = [[Fraction(0)] * (size + 1) for _ in range(size)]
    fact = [1]
    for k in range(1, n + 1):
        fact.append(fact[-1] * k)
    for s in transient:
        i, j = s
        k = n - i - j
        row = a[at[s]]
        row[at[s]] += 1
        x = (w[0] * i + w[1] * j / 2) / (w[0] * i + w[1] * j + w[2] * k)
        for i2, j2 in states:
            k2 = n - i2 - j2
            p = Fraction(fact[n], fact[i2] * fact[j2] * fact[k2]) * (x * x) ** i2 * (2 * x * (1 - x)) ** j2 \
                * ((1 - x) * (1 - x)) ** k2
            if (i2, j2) == fix:
                row[size] += p
            elif (i2, j2) != loss:
                row[at[(i2, j2)]] -= p
    for col in range(size):
        piv = next(r for r in range(col, size) if a[r][col] != 0)
        a[col], a[piv] = a[piv], a[col]
        for r in range(size):
            if r != col and a[r][col] != 0:
                g = a[r][col] / a[col][col]
                a[r] = [x - g * y for x, y in zip(a[r], a[col])]
    k = at[tuple(start[:2])]
    return a[k][size] / a[k][k]


def f(x):
    return float(x)


GENOTYPES = ["AABB", "AABb", "AAbb", "AaBB", "AaBb", "Aabb", "aaBB", "aaBb", "aabb"]


def context(**changes):
    """A run's settings as a study file keys them, at the program's defaults
    unless changed (choices by name)."""
    ctx = {f"fitness.{g}": 1.0 for g in GENOTYPES}
    ctx.update({f"founders.{g}": c for g, c in zip(GENOTYPES, [10, 20, 10, 20, 40, 20, 10, 20, 10])})
    ctx.update({"mutation.A_to_a": 0.0, "mutation.a_to_A": 0.0, "mutation.B_to_b": 0.0, "mutation.b_to_B": 0.0,
                "migration.immigrants": 0.0, "mating.isolation": "none", "fertilization": "selfing-allowed",
                "fixation.alpha": "either", "fixation.beta": "either", "map_distance_cM": 50.0,
                "population": 160, "p0_A": 0.5, "p0_B": 0.5})
    for key, value in changes.items():
        ctx[key.replace("__", ".")] = value
    return ctx


def genic(wa):
    """Fitnesses 1, (1 + wa) / 2, wa at Alpha, none at Beta."""
    out = {}
    for g, name in enumerate(GENOTYPES):
        out[f"fitness__{name}"] = (1.0, (1.0 + wa) / 2, wa)[g // 3]
    return out


def main():
    cases = []
    add = cases.append
    for n, s, p in [(100, 0.02 / 1.98, 0.1), (400, 0.05, 0.1), (16, -0.02, 0.5),
                    (1000, 0.001, 0.01), (50, 0.0, 0.3), (100, 1e-9, 0.3), (400, 0.1 / 1.9, 0.2)]:
        add({"name": "kimura_fixation", "args": [n, s, p], "value": f(kimura(n, s, p)), "tol": 1e-12})
    for a, b in [(1.0, 0.98), (0.9, 1.0), (1.0, 0.0)]:
        add({"name": "effective_s", "args": [a, b], "value": f((mp.mpf(a) - b) / (mp.mpf(a) + b)), "tol": 1e-15})
    for n, p in [(100, 0.1), (16, 0.5), (400, 0.2), (1000, 0.01)]:
        t = ohta(n, p)
        add({"name": "kimura_ohta_times", "args": [n, p], "value": {k: f(v) for k, v in t.items()}, "tol": 1e-9})
        add({"name": "neutral_fixation_time", "args": [n, p, True], "value": f(t["fix"]), "tol": 1e-9})
        add({"name": "neutral_fixation_time", "args": [n, p, False], "value": f(t["loss"]), "tol": 1e-9})
    for args, value in [([100, 0.0, True], None), ([100, 1.0, True], 0.0), ([100, 0.0, False], 0.0),
                        ([100, 1.0, False], None)]:
        add({"name": "neutral_fixation_time", "args": args, "value": value, "tol": 0})
    for n, i0 in [(1, 1), (2, 1), (3, 2), (5, 5), (6, 1)]:
        add({"name": "wf_absorption_times", "args": [n, i0],
             "value": {k: float(v) for k, v in exact_times(n, i0).items()}, "tol": 1e-9})
    for classes, value in [([1.0, 0.99, 0.98], [0.02, 0.5, "capital"]), ([0.8, 0.9, 1.0], [0.2, 0.5, "small"]),
                           ([1.0, 1.0, 0.9], [0.1, 0.0, "capital"]), ([1.0, 0.5, 1.0], None)]:
        add({"name": "selection_s_h", "args": [classes], "value": value, "tol": 1e-12})
    for n, w, start in [(3, [1.0, 0.9, 0.8], [1, 1, 1]), (4, [1.0, 1.0, 0.9], [0, 2, 2]), (4, [0.8, 0.9, 1.0], [1, 2, 1]),
                        (2, [1.0, 1.0, 1.0], [0, 1, 1])]:
        add({"name": "selection_fixation_exact", "args": [n, w, start], "value": float(exact_selection(n, w, start)),
             "tol": 1e-9})
    for counts, gene, value in [([10, 20, 10, 20, 40, 20, 10, 20, 10], "A", 0.5), ([1, 0, 0, 0, 0, 0, 0, 0, 3], "A", 0.25),
                                ([0, 2, 0, 0, 0, 0, 0, 1, 1], "B", 0.375)]:
        add({"name": "founder_allele_freq", "args": [counts, gene], "value": value, "tol": 1e-15})

    # Which law a run's settings call for, and its u at the run's start.
    laws = [
        ("neutral at the defaults", context(), 0, 0.5, "neutral", 0.5),
        ("neutral, realised p0 not one half", context(p0_A=0.5125), 0, 0.5125, "neutral", 0.5125),
        ("genic selection, random union", context(population=400, **genic(0.9)), 0, 0.1, "Kimura", None),
        ("genic selection against A", context(population=50, **{f"fitness__{g}": (0.9, 0.95, 1.0)[k // 3]
                                                           for k, g in enumerate(GENOTYPES)}), 0, 0.3, "Kimura", None),
        ("no law at a gene linked to one under selection", context(population=400, **genic(0.9)), 1, 0.5, None, None),
        ("no law without selfing", context(population=400, fertilization="selfing-not-allowed", **genic(0.9)), 0, 0.1, None, None),
        ("no law under dominance", context(**{f"fitness__{g}": (1.0, 1.0, 0.9)[k // 3] for k, g in enumerate(GENOTYPES)}),
         0, 0.5, None, None),
        ("no law with mutation at the gene", context(mutation__a_to_A=0.001), 0, 0.5, None, None),
        ("mutation at the other gene is no matter", context(mutation__B_to_b=0.001), 0, 0.5, "neutral", 0.5),
        ("no law with migration", context(migration__immigrants=2.0), 1, 0.5, None, None),
        ("no law under mating preferences", context(mating__isolation="premating"), 0, 0.5, None, None),
        ("no law when only the small allele counts", context(fixation__alpha="a"), 0, 0.5, None, None),
        ("one locus at 0 cM from AB and ab founders",
         context(map_distance_cM=0.0, population=40,
                 **{f"founders__{g}": (20 if g in ("AABB", "aabb") else 0) for g in GENOTYPES},
                 **{f"fitness__{g}": {"AABB": 1.0, "AaBb": 0.95, "aabb": 0.9}.get(g, 0.5) for g in GENOTYPES}),
         0, 0.5, "Kimura", None),
    ]
    for title, ctx, gene, p, kind, value in laws:
        if kind == "Kimura":
            w = [ctx[f"fitness.{g}"] for g in GENOTYPES]
            top = max(w)
            big, small = (w[0] / top, w[8] / top) if ctx["map_distance_cM"] == 0.0 and w[1] != w[0] else \
                ((w[0] / top, w[6] / top) if gene == 0 else (w[0] / top, w[2] / top))
            s = (mp.mpf(big) - small) / (mp.mpf(big) + small)
            value = f(kimura(ctx["population"], s, p))
        add({"name": "fixation_law", "title": title, "args": [ctx, gene, p], "kind": kind, "value": value,
             "tol": 1e-12})

    path = os.path.join(HERE, "theory_values.json")
    with open(path + ".partial", "w", encoding="utf-8") as out:
        json.dump({"about": "theory values worked out by tests/theory_values.py; the Python package's "
                            "theory module and the lab's theory.js both answer them",
                   "cases": cases}, out, indent=1)
        out.write("\n")
    os.replace(path + ".partial", path)


if __name__ == "__main__":
    main()
