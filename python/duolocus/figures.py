"""Figures of Duolocus runs with matplotlib, made to be projected: titles that
say in words what was run, large type, selection given as s and h, theory
drawn beside the observations for both genes wherever a law applies.

- times: fixation-time histograms by allele, with the neutral expectation
- final: the distribution of the final allele frequencies
- probability: fixation probability against a swept setting, with 95% Wilson
  intervals and the theoretical curve
- trajectory: allele frequencies and D over the generations, from generation 0
"""

import os
import re

import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

from . import catalogue, stats, theory  # noqa: E402
from .errors import InputError, OutputError  # noqa: E402
from .files import write_atomically  # noqa: E402
from .tables import GENES, GENOTYPES  # noqa: E402

NEUTRAL_TEXT = theory.NEUTRAL_TEXT
KIMURA_TEXT = theory.KIMURA_TEXT
COLOURS = {"A": "tab:blue", "a": "tab:orange", "B": "tab:green", "b": "tab:red"}
# Type readable from the back of a classroom on a projected 1100-pixel figure.
STYLE = {"font.size": 13, "axes.titlesize": 14, "axes.labelsize": 13, "xtick.labelsize": 12,
         "ytick.labelsize": 12, "legend.fontsize": 11, "legend.title_fontsize": 11,
         "figure.titlesize": 14, "lines.linewidth": 2.0, "lines.markersize": 7}


# ---------------------------------------------------------------- settings in words

def _float(ctx, key):
    try:
        return float(ctx.get(key, ""))
    except (TypeError, ValueError):
        return None


def _gene_words(name, small, classes):
    sh = theory.selection_s_h(classes)
    if sh is None:
        return None
    s, h, favoured = sh
    return f"{name} s = {s:.3g}, h = {h:.3g}" + (f" favouring {small}" if favoured == "small" else "")


def describe_fitness(ctx):
    """Selection in words: neutral, s and h of the gene (or genes) selected,
    or the fitnesses that differ from 1 when the genes do not select apart.

    Args:
        ctx: the settings of a run (a dict of study keys and texts, as
            stats.group_context gives them).

    Returns:
        str: e.g. "neutral" or "Alpha s = 0.1, h = 0.5".
    """
    w = theory.fitness_table(ctx)
    if w is None:
        return None
    if max(w) - min(w) < 1e-12:
        return "neutral"
    for gene, (name, small) in enumerate((("Alpha", "a"), ("Beta", "b"))):
        classes = theory.gene_fitness(w, gene)
        if classes is not None:
            # Fitness depends on this gene alone.
            return _gene_words(name, small, classes) or "fitness " + ":".join(f"{v:g}" for v in classes)
    alpha = [max(w[i * 3:i * 3 + 3]) for i in range(3)]
    beta = [max(w[j::3]) for j in range(3)]
    for rule, combine in (("multiplicative", lambda x, y: x * y), ("additive", lambda x, y: x + y - 1)):
        if all(abs(w[i * 3 + j] - combine(alpha[i], beta[j])) < 1e-6 for i in range(3) for j in range(3)):
            words = [_gene_words("Alpha", "a", alpha), _gene_words("Beta", "b", beta)]
            if all(words):
                return f"{words[0]}; {words[1]} ({rule})"
    # Epistasis: the genes do not select apart.
    return "fitness " + ", ".join(f"{g} {v:g}" for g, v in zip(GENOTYPES, w) if v != 1.0)


def describe(ctx, skip=()):
    """The settings of a run in a few words, for a figure's title.

    Args:
        ctx: the settings of a run (a dict of study keys and texts).
        skip: the keys to leave out (those on an axis or in a legend).

    Returns:
        str: the words, comma-separated.
    """
    parts = []

    def has(key):
        value = ctx.get(key, "")
        return value not in ("", "mixed", None) and key not in skip

    if has("population"):
        parts.append(f"N = {ctx['population']}")
    if has("p0_A") and has("p0_B") and not any(k.startswith("founders.") for k in skip):
        parts.append(f"p0(A) = {float(ctx['p0_A']):.2f}, p0(B) = {float(ctx['p0_B']):.2f}")
    if has("map_distance_cM"):
        parts.append(f"{float(ctx['map_distance_cM']):g} cM")
    if not any(k.startswith("fitness.") for k in skip):
        words = describe_fitness(ctx)
        if words:
            parts.append(words)
    rates = [(k, _float(ctx, f"mutation.{k}")) for k in ("A_to_a", "a_to_A", "B_to_b", "b_to_B")]
    rates = [f"{k.replace('_to_', '>')} {v:g}" for k, v in rates if v and f"mutation.{k}" not in skip]
    if rates:
        parts.append("mutation " + ", ".join(rates))
    if has("migration.immigrants") and float(ctx["migration.immigrants"]) > 0:
        parts.append(f"{float(ctx['migration.immigrants']):g} immigrants/generation")
    if has("fertilization") and ctx["fertilization"] != "selfing-allowed":
        parts.append(ctx["fertilization"].replace("-", " "))
    if has("mating.isolation") and ctx["mating.isolation"] != "none":
        parts.append(f"{ctx['mating.isolation']} preferences")
    for gene in ("alpha", "beta"):
        if has(f"fixation.{gene}") and ctx[f"fixation.{gene}"] != "any":
            parts.append(f"only {ctx[f'fixation.{gene}']} fixation counts")
    if has("stop_at_fixation") and ctx["stop_at_fixation"] == "false":
        parts.append("runs to the limit")
    if has("max_generations") and str(ctx["max_generations"]) != catalogue.default("max_generations"):
        parts.append(f"at most {ctx['max_generations']} generations")
    return ", ".join(parts)


def counts_line(jobs):
    """How many iterations and which seeds a figure shows, in words.

    Args:
        jobs: the tables.Job objects drawn.

    Returns:
        str: e.g. "400 iterations (+3 halted by extinction), seeds 1-4".
    """
    rows = sum(j.rows for j in jobs)
    seeds = sorted({j.seed for j in jobs if j.seed is not None})
    text = f"{rows} iterations"
    if all(j.extinct is not None for j in jobs):
        extinct = sum(j.extinct for j in jobs)
        if extinct:
            text += f" (+{extinct} halted by extinction)"
    if seeds:
        text += f", seed{'s' if len(seeds) > 1 else ''} " + _seed_list(seeds)
    return text


def _seed_list(seeds):
    if len(seeds) > 2 and seeds == list(range(seeds[0], seeds[-1] + 1)):
        return f"{seeds[0]}-{seeds[-1]}"
    return ", ".join(map(str, seeds[:6])) + (", ..." if len(seeds) > 6 else "")


def _wrap(text, width=105):
    """Breaks a long line of settings at its commas."""
    lines, line = [], ""
    for part in text.split(", "):
        candidate = f"{line}, {part}" if line else part
        if len(candidate) > width and line:
            lines.append(line + ",")
            line = part
        else:
            line = candidate
    lines.append(line)
    return "\n".join(lines)


# ---------------------------------------------------------------- drawing and saving

def save(fig, path):
    """Writes a figure as PNG, whole or not at all (see files.write_atomically).

    Args:
        fig: the matplotlib Figure.
        path: the file to write.

    Returns:
        None. Raises errors.OutputError when the file cannot be written.
    """
    folder = os.path.dirname(path) or "."
    try:
        try:
            os.makedirs(folder, exist_ok=True)
        except OSError as err:
            raise OutputError(path, f"cannot make its folder {folder}: {err.strerror}") from None
        write_atomically(path, lambda handle: fig.savefig(handle, format="png", dpi=100), binary=True)
    finally:
        plt.close(fig)


def _members(study, members):
    jobs = [study.jobs[i] for i in members]
    rows = study.rows[study.rows["job"].isin(members)] if len(members) < len(study.jobs) else study.rows
    return jobs, rows


def _title(fig, heading, label, ctx, jobs, skip=()):
    words = describe(ctx, skip)
    first = f"{heading}: {label}" if label else heading
    fig.suptitle(f"{first}\n{_wrap(words + '; ' + counts_line(jobs))}")


def times(study, members, label=None, bins=30):
    """Fixation-time histograms, one panel per gene, with the mean of each
    allele and, for a neutral gene, Kimura and Ohta's expected time.

    Args:
        study: a tables.Study.
        members: the indexes of the study's jobs to draw (one run, or a group).
        label: what the title calls them (a run's name).
        bins: the number of bars.

    Returns:
        matplotlib.figure.Figure: the figure (save it with save).

    Example:
        >>> study = tables.read_study("results/classroom/classroom.csv")
        >>> figures.save(figures.times(study, [0, 1, 2], label="neutral"), "times.png")
    """
    jobs, rows = _members(study, members)
    ctx = stats.group_context(jobs)
    with plt.rc_context(STYLE):
        fig, axes = plt.subplots(1, 2, figsize=(11, 5), layout="constrained")
        for g, (gene, big, small, at) in enumerate(GENES):
            ax = axes[g]
            fixed = rows[f"{big}_all_fixed"].to_numpy()
            when = rows[f"gens_fix_{big}_all"].to_numpy()
            series = [(allele, when[fixed == allele]) for allele in (big, small)]
            law = theory.fixation_times_law(ctx, g)
            p0 = _float(ctx, f"p0_{big}")
            expected = law(p0) if law and p0 is not None else (None, None)
            every = np.concatenate([t for _, t in series])
            if not len(every):
                ax.text(0.5, 0.5, f"no {gene} allele fixed", ha="center", va="center", transform=ax.transAxes)
            else:
                top = every.max()
                edges = [top * k / bins for k in range(bins + 1)] if top > 0 else [-0.5, 0.5]
                labels = []
                for allele, t in series:
                    labels.append(f"{allele} fixed: {len(t)}, mean {t.mean():.1f}" if len(t) else f"{allele} fixed: 0")
                ax.hist([t for _, t in series], bins=edges, stacked=True, label=labels,
                        color=[COLOURS[a] for a, _ in series], edgecolor="white", linewidth=0.4)
                for (allele, t), exp in zip(series, expected):
                    if len(t):
                        ax.axvline(t.mean(), color=COLOURS[allele], linestyle="--", linewidth=2)
                    if exp is not None and len(t):
                        ax.axvline(exp, color=COLOURS[allele], linestyle=":", linewidth=2.5,
                                   label=f"theory, {allele}: {exp:.0f}")
                ax.legend(title="dashed: mean" + (", dotted: Kimura-Ohta" if law else ""))
            ax.set_title(f"{gene} ({big} or {small})")
            ax.set_xlabel(f"generation at which the {gene} allele fixed")
            ax.set_ylabel("iterations")
        _title(fig, "Fixation times", label, ctx, jobs)
    return fig


def final(study, members, label=None):
    """The distribution of the final frequency of A and of B.

    Args:
        study: a tables.Study.
        members: the indexes of the study's jobs to draw.
        label: what the title calls them.

    Returns:
        matplotlib.figure.Figure: the figure.
    """
    jobs, rows = _members(study, members)
    ctx = stats.group_context(jobs)
    edges = [k / 20 for k in range(21)]
    with plt.rc_context(STYLE):
        fig, axes = plt.subplots(1, 2, figsize=(11, 5), layout="constrained")
        for g, (gene, big, small, _) in enumerate(GENES):
            ax = axes[g]
            values = rows[f"finalp_{big}"].to_numpy()
            ax.hist(values, bins=edges, color=COLOURS[big], edgecolor="white", linewidth=0.4)
            lost = int((values == 0.0).sum())
            fixed = int((values == 1.0).sum())
            ax.set_xlim(0, 1)
            ax.set_title(f"{gene}: {big} lost {lost}, fixed {fixed}, between {len(values) - lost - fixed}")
            ax.set_xlabel(f"final frequency of {big} (bins of 0.05)")
            ax.set_ylabel("iterations")
        _title(fig, "Final allele frequencies", label, ctx, jobs)
    return fig


AXIS_NAMES = {"map_distance_cM": "map distance (cM)", "migration.immigrants": "immigrants per generation",
              "max_generations": "generation limit", "iterations": "iterations",
              "population": "population size N", "run": "run"}


def axis_name(key):
    """What an axis showing a setting is labelled.

    Args:
        key: a study key, or p0, run or population.

    Returns:
        str: the setting in words with its unit, e.g. "map distance (cM)".
    """
    if key in AXIS_NAMES:
        return AXIS_NAMES[key]
    m = re.fullmatch(r"selection\.(alpha|beta)\.(s|h)", key)
    if m:
        return f"{'selection coefficient s' if m.group(2) == 's' else 'dominance h'} at {m.group(1).capitalize()}"
    m = re.fullmatch(r"(founders|fitness|mating|mutation|migration\.mix)\.(\w+)", key)
    if m:
        what = {"founders": "founders of genotype {} (count)", "fitness": "relative fitness of {}",
                "mating": "mating preference {}", "mutation": "mutation rate {} per copy per generation",
                "migration.mix": "share of {} among immigrants"}[m.group(1)]
        return what.format(m.group(2).replace("_to_", " to ").replace("_", ":"))
    return key


def describe_keys(ctx, keys):
    """The values of these settings in a few words (a series' label).

    Args:
        ctx: the settings of a group (a dict of study keys and texts).
        keys: the keys to show.

    Returns:
        str: e.g. "selection.alpha.s 0.1, map distance 10 cM".
    """
    parts = []
    if any(k.startswith("founders.") for k in keys):
        parts.append(f"p0(A) = {float(ctx['p0_A']):.2f}, p0(B) = {float(ctx['p0_B']):.2f}")
    for key in keys:
        if key.startswith(("founders.", "fitness.", "selection.")):
            continue
        value = ctx.get(key, "")
        parts.append(f"{float(value):g} cM" if key == "map_distance_cM" else f"{key} = {value}")
    if any(k.startswith(("fitness.", "selection.")) for k in keys):
        parts.append(describe_fitness(ctx) or "fitness unknown")
    return ", ".join(parts)


def varying_keys(labels, contexts, keys):
    """The settings, of those the study varies, whose value differs between
    these groups.

    Args:
        labels: the groups' names.
        contexts: each group's settings, by name.
        keys: the study's swept settings.

    Returns:
        list of str: the keys that vary.
    """
    return [k for k in keys if len({contexts[label].get(k, "") for label in labels}) > 1]


def _numeric(values):
    try:
        [float(v) for v in values]
    except (TypeError, ValueError):
        return False
    return True


def default_x(labels, contexts, keys):
    """The x axis when none is asked for: the starting frequency when founders
    vary, else the first varying setting that is a number, else the first
    varying one, else the run.

    Args:
        labels, contexts, keys: as varying_keys takes them.

    Returns:
        str: a study key, or "p0" or "run".
    """
    found = varying_keys(labels, contexts, keys)
    if any(k.startswith(("founders.", "population.p")) for k in found):
        return "p0"
    for key in found:
        if _numeric(contexts[label].get(key, "") for label in labels):
            return key
    if found:
        return found[0]
    if len(labels) > 1:
        return "run"
    raise InputError("probability", "one run only: the figure needs a sweep or several runs "
                                    "(or --x KEY)")


def probability(study, groups, x_key=None, series_key=None):
    """Fixation probability of A and of B against a setting, with 95% Wilson
    intervals, one series per combination of the other settings that vary,
    and theory's curve where a law applies.

    Args:
        study: a tables.Study.
        groups: the points, {label: [job indexes]} (e.g. one per run).
        x_key: the setting on the x axis (default: default_x's choice); also
            p0, run or population.
        series_key: the setting that makes the series (default: every other
            setting that varies).

    Returns:
        matplotlib.figure.Figure: the figure.

    Example:
        >>> sweep = tables.from_runs(runs, names=["0 cM", "5 cM", "50 cM"], keys=["map_distance_cM"])
        >>> figures.probability(sweep, {"0 cM": [0], "5 cM": [1], "50 cM": [2]})
    """
    keys = study.keys
    labels = list(groups)
    members_of = {label: [study.jobs[i] for i in m] for label, m in groups.items()}
    contexts = {label: stats.group_context(jobs) for label, jobs in members_of.items()}
    for label in labels:
        contexts[label]["run"] = label
    records = {}
    for label, member_ids in groups.items():
        sub_rows = study.rows[study.rows["job"].isin(member_ids)].copy()
        remap = {old: new for new, old in enumerate(member_ids)}
        sub_rows["job"] = sub_rows["job"].map(remap).astype(np.int32)
        sub = type(study)([study.jobs[i] for i in member_ids], sub_rows, [])
        records[label] = stats.summary_records(sub, by=[], keys=[])[0]
    if x_key is None:
        x_key = default_x(labels, contexts, keys)
    elif x_key not in ("p0", "run", "population") and all(x_key not in c for c in contexts.values()):
        raise InputError(f"--x {x_key}", "no such setting; allowed: p0, run, population or a setting "
                                         "such as " + ", ".join(keys[:4] or ["map_distance_cM"]))
    if series_key:
        series_by = [series_key]
    else:
        series_by = [k for k in varying_keys(labels, contexts, keys)
                     if k != x_key and not (x_key == "p0" and k.startswith(("founders.", "population.p")))]
    series = {}
    for label in labels:
        key = tuple(contexts[label].get(k, "") for k in series_by)
        series.setdefault(key, []).append(label)
    names = {}
    for key, members in series.items():
        ctx = contexts[members[0]]
        if series_key:
            names[key] = f"{series_key} {key[0]}" if series_key != "run" else key[0]
        else:
            names[key] = describe_keys(ctx, series_by) or "observed"

    categorical = False
    categories = []
    if x_key != "p0":
        values = [contexts[label].get(x_key, "") for label in labels]
        categorical = not _numeric(values)
        categories = list(dict.fromkeys(values))

    def x_of(label, big):
        ctx = contexts[label]
        if x_key == "p0":
            return float(ctx.get(f"p0_{big}", "nan"))
        value = ctx.get(x_key, "")
        return categories.index(value) if categorical else float(value)

    every_x = [x_of(label, big) for label in labels for big in ("A", "B")]
    span = (max(every_x) - min(every_x)) or 1.0
    formulas = set()
    with plt.rc_context(STYLE):
        fig, axes = plt.subplots(1, 2, figsize=(12, 5.4), sharey=True, layout="constrained")
        for g, (gene, big, small, _) in enumerate(GENES):
            ax = axes[g]
            drawn = {}
            for i, (key, members) in enumerate(series.items()):
                colour = f"C{i % 10}"
                points = sorted(((x_of(label, big), records[label], contexts[label]) for label in members),
                                key=lambda point: point[0])
                shift = (i - (len(series) - 1) / 2) * 0.008 * span
                shown = [(x + shift, rec) for x, rec, _ in points if rec[f"{big}_p"] is not None]
                if shown:
                    ys = [rec[f"{big}_p"] for _, rec in shown]
                    # Zero-length bars where the interval ends at the estimate
                    # (all or none fixed); never negative, whatever a summary read
                    # from a file holds.
                    err = [[max(0.0, y - rec[f"{big}_lo95"]) for y, (_, rec) in zip(ys, shown)],
                           [max(0.0, rec[f"{big}_hi95"] - y) for y, (_, rec) in zip(ys, shown)]]
                    ax.errorbar([x for x, _ in shown], ys, yerr=err, fmt="o", color=colour, capsize=4,
                                label=names[key], zorder=2)
                laws = [theory.fixation_law(ctx, g) for _, _, ctx in points]
                # Theory where a law applies: a curve, or a point at each x that has one.
                points = [point for point, law in zip(points, laws) if law is not None]
                laws = [law for law in laws if law is not None]
                if not points:
                    continue
                kinds = {law[0] for law in laws}
                formulas |= {NEUTRAL_TEXT if k == NEUTRAL_TEXT else KIMURA_TEXT for k in kinds}
                text = kinds.pop() if len(kinds) == 1 else "theory"
                if x_key == "p0" and len({law[0] for law in laws}) == 1:
                    xs = [k / 200 for k in range(201)]
                    ys = [laws[0][1](p) for p in xs]
                    marker = None
                else:
                    xs = [x for x, _, _ in points]
                    ys = [law[1](float(ctx.get(f"p0_{big}"))) for (_, _, ctx), law in zip(points, laws)]
                    marker = "x"
                curve = (text, tuple(xs), tuple(round(y, 9) for y in ys))
                if curve in drawn:
                    continue
                same = [c for c in drawn if c[0] == text]
                label = f"theory: {text}" + (f" ({names[key]})" if same else "")
                line, = ax.plot(xs, ys, linestyle=("--", ":", "-.")[len(drawn) % 3], marker=marker,
                                markersize=9, color="0.25", linewidth=1.8, label=label, zorder=1)
                drawn[curve] = line
            ax.set_title(f"{gene}: probability that {big} fixed")
            ax.set_xlabel(f"starting frequency of {big}" if x_key == "p0" else axis_name(x_key))
            ax.set_ylim(-0.03, 1.03)
            if x_key == "p0":
                ax.set_xlim(0, 1)
            if categorical:
                ax.set_xticks(range(len(categories)))
                ax.set_xticklabels(categories, rotation=30, ha="right")
            ax.grid(alpha=0.3)
            if not any(records[label][f"{big}_p"] is not None for label in labels):
                ax.text(0.5, 0.5, "no iteration to count:\nevery one was halted by extinction",
                        ha="center", va="center", transform=ax.transAxes)
                if x_key != "p0":
                    low, high = min(every_x), max(every_x)
                    ax.set_xlim(low - 0.05 * span, high + 0.05 * span)
            if ax.get_legend_handles_labels()[0]:
                # Against the starting frequency the corner below the diagonal
                # stays clear unless selection acts against the allele.
                ax.legend(fontsize=10, framealpha=0.85, loc="lower right" if x_key == "p0" else "best")
        axes[0].set_ylabel("probability of fixation (95% Wilson interval)")
        everyone = [j for jobs in members_of.values() for j in jobs]
        ctx = stats.group_context(everyone)
        skip = {k for k, v in ctx.items() if v == "mixed"}
        if x_key == "p0":
            skip |= {"p0_A", "p0_B"}
        shared = describe(ctx, skip)
        what = "the starting frequency" if x_key == "p0" else axis_name(x_key)
        fig.suptitle(f"Fixation probability against {what}\n"
                     + _wrap(f"{shared + '; ' if shared else ''}{len(groups)} runs, {counts_line(everyone)}"))
        note = "Probabilities: share of the iterations not halted by extinction."
        if formulas:
            note += " Theory: " + "; ".join(sorted(formulas)) + "."
        fig.supxlabel(note, x=0.01, ha="left", fontsize=9)
    return fig


def _founders_d(ctx):
    """Linkage disequilibrium among the founders, the double heterozygotes
    counted half in each phase (their phase is drawn at random)."""
    counts = [_float(ctx, f"founders.{g}") for g in GENOTYPES]
    if any(c is None for c in counts) or not sum(counts):
        return None
    hap = {"AB": 0.0, "Ab": 0.0, "aB": 0.0, "ab": 0.0}
    for g, c in zip(GENOTYPES, counts):
        a, b = g[:2], g[2:]
        if a[0] != a[1] and b[0] != b[1]:
            for h in ("AB", "ab", "Ab", "aB"):
                hap[h] += c / 2
            continue
        for i in range(2):
            hap[a[i] + b[i]] += c
    total = 2 * sum(counts)
    f = {h: v / total for h, v in hap.items()}
    return f["AB"] * f["ab"] - f["Ab"] * f["aB"]


def _outcome(ys, fixed, capital):
    """What became of the capital allele in one iteration: "fixed", "lost"
    or None. The iteration table says it when given (A_all_fixed, which
    counts the first fixation even when mutation later undoes it);
    otherwise the first 0 or 1 the samples reach."""
    if fixed is not None:
        return "fixed" if fixed == capital else "lost" if fixed == capital.lower() else None
    for y in ys:
        if y == 1.0:
            return "fixed"
        if y == 0.0:
            return "lost"
    return None


def trajectory(frame, ctx=None, limit=30, label=None, seed=None, table=None):
    """Allele frequencies of A and B and D over the generations, one line per
    iteration, each from its founders at generation 0 (when the settings
    are known).

    Args:
        frame: a trajectory (tables.read_trajectory, or run(...,
            trajectory=K).trajectory).
        ctx: the run's settings (a dict of study keys and texts), for the
            title and the founders.
        limit: the most iterations drawn.
        label: what the title calls the run.
        seed: the run's seed, for the title.
        table: the run's iteration table, which tells which allele fixed.

    Returns:
        matplotlib.figure.Figure: the figure.
    """
    ctx = ctx or {}
    fixed = {}
    if table is not None:
        for it, a, b in zip(table["iter"], table["A_all_fixed"], table["B_all_fixed"]):
            fixed[int(it)] = (str(a), str(b))
    p0 = (_float(ctx, "p0_A"), _float(ctx, "p0_B"))
    d0 = _founders_d(ctx)
    iterations = list(dict.fromkeys(frame["iter"].tolist()))
    shown = iterations[:limit]
    with plt.rc_context(STYLE):
        fig, axes = plt.subplots(3, 1, figsize=(10, 8.5), sharex=True, layout="constrained")
        for it, points in frame[frame["iter"].isin(shown)].groupby("iter", sort=False):
            gens = points["gen"].to_numpy()
            for k, (ax, column) in enumerate(zip(axes, ("p_A", "p_B", "D"))):
                ys = points[column].to_numpy()
                start = (p0[k] if k < 2 else d0)
                if start is not None and (not len(gens) or gens[0] > 0):
                    gens_k, ys = np.concatenate([[0], gens]), np.concatenate([[start], ys])
                else:
                    gens_k = gens
                if k < 2:
                    told = fixed.get(int(it), (None, None))[k] if fixed else None
                    outcome = _outcome(ys, told, "AB"[k])
                    colour = {"fixed": "tab:blue", "lost": "tab:red"}.get(outcome, "0.5")
                else:
                    colour = "0.35"
                ax.plot(gens_k, ys, color=colour, linewidth=1.2, alpha=0.7)
        for k, ax in enumerate(axes[:2]):
            if p0[k] is not None:
                ax.plot([0], [p0[k]], "ko", markersize=8, zorder=3, label="generation 0 (founders)")
                ax.legend(loc="upper right")
        axes[0].set_ylabel("frequency of A")
        axes[1].set_ylabel("frequency of B")
        axes[2].set_ylabel("linkage disequilibrium D")
        axes[2].set_xlabel("generation")
        for ax in axes[:2]:
            ax.set_ylim(-0.02, 1.02)
        for ax in axes:
            ax.grid(alpha=0.3)
        axes[0].set_title("blue: the allele fixed, red: it was lost, grey: neither yet", fontsize=12)
        more = f" (first {len(shown)} of {len(iterations)})" if len(iterations) > len(shown) else ""
        words = describe(ctx) if ctx else "settings unknown (no report beside the file)"
        first = f"Allele-frequency trajectories: {label}" if label else "Allele-frequency trajectories"
        seed_text = f", seed {seed}" if seed is not None else ""
        # Narrower than the other figures' titles: this figure is 10 inches wide.
        fig.suptitle(f"{first}\n" + _wrap(f"{words}; {len(shown)} iterations{more}{seed_text}", 80))
    return fig


def trajectory_from_file(path, limit=30):
    """The trajectory figure of PREFIX.traj.csv, with the settings of
    PREFIX.txt and the outcomes of PREFIX.csv beside it when they are there.

    Args:
        path: the trajectory file.
        limit: the most iterations drawn.

    Returns:
        matplotlib.figure.Figure: the figure.
    """
    from .reports import read_report
    from .tables import read_table, read_trajectory
    frame = read_trajectory(path)
    base = path[:-len(".traj.csv")] if path.endswith(".traj.csv") else path
    ctx, seed, table = {}, None, None
    if os.path.exists(base + ".txt"):
        rep = read_report(base + ".txt")
        ctx, seed = rep.context, rep.seed
    if os.path.exists(base + ".csv"):
        table = read_table(base + ".csv")
    return trajectory(frame, ctx, limit, seed=seed, table=table)
