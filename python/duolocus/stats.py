"""Summaries of runs fit for a paper: per group of jobs, the probability that
each allele fixed with its standard error and 95% interval; fixation times
with mean, standard error, 95% interval, SD and quartiles; iterations and
extinctions; the origins of the fixed gene copies; and, on request, what
theory expects beside the observed values.

Computed column by column (numpy), so a table of a million rows takes
seconds and a few hundred bytes per row at most."""

import math

import numpy as np
import pandas as pd

from . import theory
from .tables import COLUMNS, GENES, GENOTYPES, HAPLOTYPES, Study

# z for a two-sided 95% interval.
Z95 = 1.959963984540054
TIME_STATS = ("n", "mean", "se", "lo95", "hi95", "sd", "q1", "median", "q3")


def wilson(k, n, z=Z95):
    """The Wilson score interval of a proportion k/n.

    Args:
        k: the successes.
        n: the trials.
        z: the normal quantile (1.96 for 95%).

    Returns:
        tuple: (low, high); (None, None) when n is 0. The interval always
        holds k/n itself: at k = 0 and k = n the bound that rounding would
        put a hair away from 0 or 1 is the estimate exactly.

    Example:
        wilson(10, 10) == (0.7224672001371107, 1.0)
    """
    if n == 0:
        return None, None
    p = k / n
    centre = (p + z * z / (2 * n)) / (1 + z * z / n)
    half = z * math.sqrt(p * (1 - p) / n + z * z / (4 * n * n)) / (1 + z * z / n)
    return min(p, max(0.0, centre - half)), max(p, min(1.0, centre + half))


def proportion(k, n):
    """A proportion with its uncertainty.

    Args:
        k: the successes.
        n: the trials.

    Returns:
        tuple: (k, k/n, its standard error, Wilson 95% low, high); None in
        place of each number but k where n is 0.
    """
    k, n = int(k), int(n)
    if n == 0:
        return k, None, None, None, None
    p = k / n
    lo, hi = wilson(k, n)
    return k, p, math.sqrt(p * (1 - p) / n), lo, hi


def spread(values):
    """n, mean, its standard error and normal 95% interval (mean +- 1.96 SE),
    SD (n - 1 in the denominator), lower quartile, median, upper quartile of
    the values. Quartiles interpolate linearly between order statistics
    (numpy's and R's default).

    Args:
        values: the numbers (fixation times).

    Returns:
        tuple: the nine statistics in that order; None where one cannot be
        told (no value; no spread of a single one).
    """
    values = np.asarray(values, dtype=float)
    return _spread_of(len(values), float(values.sum()) if len(values) else 0.0,
                      float(values.std(ddof=1)) if len(values) > 1 else None,
                      np.quantile(values, [0.25, 0.5, 0.75]) if len(values) else None)


def _spread_of(n, total, sd, quartiles):
    n = int(n)
    if n == 0:
        return (0,) + (None,) * 8
    mean = total / n
    if n > 1:
        se = sd / math.sqrt(n)
        lo, hi = mean - Z95 * se, mean + Z95 * se
    else:
        sd = se = lo = hi = None
    q1, median, q3 = (float(q) for q in quartiles)
    return n, mean, se, lo, hi, sd, q1, median, q3


def group_jobs(jobs, by):
    """Jobs grouped by the values of the columns `by`, in order of first
    appearance.

    Args:
        jobs: the tables.Job objects of a study.
        by: the columns (run, seed, settings).

    Returns:
        dict: {tuple of values: [job indexes]}.
    """
    groups = {}
    for index, job in enumerate(jobs):
        key = tuple(job.value(k) for k in by)
        groups.setdefault(key, []).append(index)
    return groups


def tracks(job, g, allele):
    """Whether the job's settings record a fixation of this allele.

    Args:
        job: a tables.Job.
        g: the gene, 0 Alpha or 1 Beta.
        allele: "A", "a", "B" or "b".

    Returns:
        bool.
    """
    return job.context.get("fixation." + GENES[g][0].lower(), "any") in ("any", "", allele)


def group_context(members):
    """The settings that all jobs of a group share.

    Args:
        members: the tables.Job objects of the group.

    Returns:
        dict: study key -> value as text, "mixed" where the jobs differ.
    """
    keys = set()
    for job in members:
        keys |= set(job.context) | set(job.settings)
    ctx = {}
    for key in keys:
        values = {job.value(key) for job in members}
        ctx[key] = values.pop() if len(values) == 1 else "mixed"
    return ctx


def _grouped_times(gid, values, mask, groups):
    """Per group: count, sum, SD and quartiles of values[mask]."""
    g = gid[mask]
    v = values[mask]
    n = np.bincount(g, minlength=groups)
    total = np.bincount(g, weights=v, minlength=groups)
    out = {k: (int(n[k]), float(total[k]), None, None) for k in range(groups)}
    if len(v):
        series = pd.Series(v)
        grouped = series.groupby(g)
        sd = grouped.std(ddof=1)
        quart = grouped.quantile([0.25, 0.5, 0.75]).unstack()
        for k in sd.index:
            out[k] = (int(n[k]), float(total[k]), float(sd[k]) if n[k] > 1 else None,
                      quart.loc[k].to_numpy())
    return out


def summarise(data, by=None, keys=None, with_theory=True):
    """The summary of a study or an iteration table: one row per group.

    Per group: the probability that each allele fixed with its standard
    error and Wilson 95% interval; the fixation times per allele and per
    gene (mean, SE, 95% interval, SD, quartiles); iterations, extinctions;
    the gene-copy fixation times and the origins of the fixed copies.

    Args:
        data: a tables.Study (tables.read_study, tables.from_runs), or an
            iteration table as a DataFrame (duolocus.run(...).table, a
            merged table).
        by (list of str): the columns to group by (default: run).
        keys (list of str): the swept settings to show (default: the
            study's).
        with_theory (bool): add what theory expects (X_p_theory,
            X_time_theory, Gene_theory) where a law applies (the default:
            every number beside what theory expects of it).

    Returns:
        DataFrame: one row per group, the columns of duolocus-summary's CSV.

    Example:
        >>> study = tables.read_study("results/classroom/classroom.csv")
        >>> stats.summarise(study, by=["map_distance_cM"])[["map_distance_cM", "A_p", "A_se"]]
    """
    return pd.DataFrame(summary_records(data, by, keys, with_theory))


def summary_records(data, by=None, keys=None, with_theory=False):
    """summarise as a list of dicts, one per group, with Python values
    (None where a value does not apply): what duolocus-summary prints.

    Args:
        data, by, keys, with_theory: as summarise's.

    Returns:
        list of dict: one ordered record per group.
    """
    if isinstance(data, pd.DataFrame):
        data = _study_of_frame(data)
    study = data
    keys = study.keys if keys is None else keys
    by = ["run"] if by is None else list(by)
    jobs, rows = study.jobs, study.rows
    groups = group_jobs(jobs, by)
    group_of_job = np.zeros(len(jobs), dtype=np.int64)
    for k, members in enumerate(groups.values()):
        group_of_job[members] = k
    ng = len(groups)
    gid = group_of_job[rows["job"].to_numpy()] if len(rows) else np.empty(0, np.int64)
    n_of = np.bincount(gid, minlength=ng)

    per_gene = []
    for g, (gene, big, small, at) in enumerate(GENES):
        fixed = rows[COLUMNS[at]].cat.codes.to_numpy()
        when = rows[COLUMNS[at + 1]].to_numpy()
        copy = rows[COLUMNS[at + 3]].to_numpy()
        tracked = rows["_t" + big].to_numpy()
        counts = np.zeros((ng, 3), np.int64)
        np.add.at(counts, (gid, fixed), 1)
        times = {label: _grouped_times(gid, when, mask, ng) for label, mask in
                 ((big, fixed == 0), (small, fixed == 1), (gene, fixed != 2))}
        has_copy = ~np.isnan(copy)
        copy_times = _grouped_times(gid, copy, has_copy, ng)
        tracked_n = np.bincount(gid[tracked], minlength=ng)
        ht = np.zeros((ng, 5), np.int64)
        np.add.at(ht, (gid[has_copy], rows[COLUMNS[at + 4]].cat.codes.to_numpy()[has_copy]), 1)
        gt = np.zeros((ng, 10), np.int64)
        np.add.at(gt, (gid[has_copy], rows[COLUMNS[at + 5]].cat.codes.to_numpy()[has_copy]), 1)
        per_gene.append((counts, times, copy_times, tracked_n, ht, gt))
    a_codes = rows["A_all_fixed"].cat.codes.to_numpy()
    b_codes = rows["B_all_fixed"].cat.codes.to_numpy()
    both = np.zeros((ng, 4), np.int64)
    sel = (a_codes < 2) & (b_codes < 2)
    np.add.at(both, (gid[sel], a_codes[sel] * 2 + b_codes[sel]), 1)

    records = []
    for k, (key, member_ids) in enumerate(groups.items()):
        members = [jobs[i] for i in member_ids]
        rec = {}
        for column, value in zip(by, key):
            rec[column] = value
        for name in keys:
            if name not in by:
                values = {j.value(name) for j in members}
                rec[name] = values.pop() if len(values) == 1 else "mixed"
        rec["jobs"] = len(members)
        known = all(j.iterations is not None for j in members)
        rec["iterations"] = sum(j.iterations for j in members) if known else None
        rec["extinct"] = sum(j.extinct for j in members) if known else None
        rec["extinct_p"] = rec["extinct"] / rec["iterations"] if known and rec["iterations"] else None
        n = int(n_of[k])
        rec["n"] = n
        for name in ("population", "p0_A", "p0_B"):
            values = {j.context.get(name, "") for j in members}
            rec[name] = values.pop() if len(values) == 1 else "mixed"
        ctx = group_context(members) if with_theory else None
        laws = {}
        for g, (gene, big, small, _) in enumerate(GENES):
            counts, times, copy_times, tracked_n, ht, gt = per_gene[g]
            if with_theory:
                laws[g] = (theory.fixation_law(ctx, g), theory.fixation_times_law(ctx, g),
                           _float(ctx.get(f"p0_{big}")))
            for a, allele in enumerate((big, small)):
                kk, p, se, lo, hi = proportion(counts[k, a], n)
                if not any(tracks(j, g, allele) for j in members):
                    # The settings let only the other allele count: this one is never recorded.
                    kk = p = se = lo = hi = None
                rec.update({f"{allele}_fixed": kk, f"{allele}_p": p, f"{allele}_se": se,
                            f"{allele}_lo95": lo, f"{allele}_hi95": hi})
                if with_theory:
                    law, _, p0 = laws[g]
                    expected = None
                    if law is not None and p0 is not None and p is not None:
                        u = law[1](p0)
                        expected = u if a == 0 else 1.0 - u
                    rec[f"{allele}_p_theory"] = expected
            kk, p, _, _, _ = proportion(counts[k, 2], n)
            rec[f"{gene}_unfixed"], rec[f"{gene}_unfixed_p"] = kk, p
        for h, hap in enumerate(HAPLOTYPES):
            kk, p, _, _, _ = proportion(both[k, h], n)
            rec.update({f"{hap}_fixed": kk, f"{hap}_p": p})
        for g, (gene, big, small, _) in enumerate(GENES):
            counts, times, copy_times, tracked_n, ht, gt = per_gene[g]
            for label in (big, small, gene):
                stats = _spread_of(*times[label][k])
                for name, value in zip(TIME_STATS, stats):
                    rec[f"{label}_time_{name}"] = value
                if with_theory and label != gene:
                    law, times_law, p0 = laws[g]
                    expected = None
                    if times_law is not None and p0 is not None:
                        expected = times_law(p0)[0 if label == big else 1]
                    rec[f"{label}_time_theory"] = expected
        for g, (gene, big, small, _) in enumerate(GENES):
            counts, times, copy_times, tracked_n, ht, gt = per_gene[g]
            # Copies tracked in iterations that all went extinct count none fixed.
            known = tracked_n[k] > 0 or any(j.context.get("track_gene_copies") == "true" for j in members)
            stats = _spread_of(*copy_times[k]) if known else (None,) * 9
            fixed_n = copy_times[k][0]
            rec[f"{gene}_copy_tracked"] = int(tracked_n[k])
            for name, value in zip(TIME_STATS, stats):
                rec[f"{gene}_copy_{name}"] = value
            rec[f"{gene}_copy_none"] = int(tracked_n[k]) - fixed_n if known else None
            for h, hap in enumerate(HAPLOTYPES):
                rec[f"{gene}_copy_ht_{hap}"] = ht[k, h] / fixed_n if fixed_n else None
            for t, genotype in enumerate(GENOTYPES):
                rec[f"{gene}_copy_gt_{genotype}"] = gt[k, t] / fixed_n if fixed_n else None
        if with_theory:
            for g, (gene, _, _, _) in enumerate(GENES):
                law = laws[g][0]
                rec[f"{gene}_theory"] = law[0] if law else None
        records.append({name: _plain(value) for name, value in rec.items()})
    return records


def _float(value):
    try:
        return float(value)
    except (TypeError, ValueError):
        return None


def _plain(value):
    """numpy scalars as Python numbers, so that they print as Python's."""
    if isinstance(value, np.integer):
        return int(value)
    if isinstance(value, np.floating):
        return float(value)
    return value


def _study_of_frame(frame):
    """A Study of an iteration table (or merged table) held as a DataFrame."""
    from .tables import Job, _tally
    rows = pd.DataFrame({c: frame[c] for c in COLUMNS if c in frame})
    if "run" in frame:
        keys = [c for c in frame.columns if c not in COLUMNS and c not in ("run", "seed")]
        lead = ["run"] + (["seed"] if "seed" in frame else []) + keys
        codes, uniques = pd.MultiIndex.from_frame(frame[lead].astype(str)).factorize()
        jobs = []
        for values in uniques:
            values = dict(zip(lead, values))
            job = Job(values["run"], values.get("seed"), {k: values[k] for k in keys}, "table")
            jobs.append(job)
        rows.insert(0, "job", codes.astype(np.int32))
    else:
        keys = []
        jobs = [Job(frame.attrs.get("run", "run"), frame.attrs.get("seed"), {}, "table")]
        rows.insert(0, "job", np.zeros(len(rows), np.int32))
    for _, big, _, at in GENES:
        rows["_t" + big] = frame.attrs.get("track_gene_copies", True) if len(rows) else np.empty(0, bool)
    _tally(jobs, rows)
    context = frame.attrs.get("context")
    for job in jobs:
        if context:
            job.context = dict(context)
        tallies = frame.attrs.get("tallies")
        if tallies and len(jobs) == 1:
            job.iterations, job.extinct = tallies["iterations"], tallies["extinct"]
    return Study(jobs, rows, keys)
