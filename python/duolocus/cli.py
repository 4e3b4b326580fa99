"""The command lines duolocus-summary and duolocus-plot: options, messages and
exit statuses; the work is done by tables, stats and figures.

Exit status 0: done; 1: an output could not be written (the message names
it); 2: an input was refused (the message names the file and line)."""

import argparse
import csv
import os
import sys

from .errors import InputError, OutputError
from .files import write_atomically

SUMMARY = "duolocus-summary"
PLOT = "duolocus-plot"


# ---------------------------------------------------------------- the summary's text and CSV

def csv_value(value):
    if value is None:
        return "NA"
    if isinstance(value, float):
        return repr(value)
    return str(value)


def write_csv(records, handle):
    writer = csv.writer(handle, lineterminator="\n")
    if not records:
        return
    writer.writerow(list(records[0]))
    for rec in records:
        writer.writerow([csv_value(v) for v in rec.values()])


def _fmt(value, digits):
    if value is None:
        return "NA"
    if isinstance(value, str):
        return value
    if isinstance(value, int):
        return str(value)
    return f"{value:.{digits}f}"


def _prob(value):
    if value in ("", "mixed", None):
        return value or "NA"
    return f"{float(value):.3f}"


def _interval(lo, hi, digits):
    return "NA" if lo is None else f"{lo:.{digits}f}-{hi:.{digits}f}"


def aligned(header, rows, numeric_from):
    """An aligned table: text columns left-aligned, numbers right-aligned."""
    widths = [max(len(str(c)) for c in col) for col in zip(header, *rows)]
    lines = []
    for cells in [header] + rows:
        parts = []
        for i, cell in enumerate(cells):
            parts.append(str(cell).rjust(widths[i]) if i >= numeric_from else str(cell).ljust(widths[i]))
        lines.append("  ".join(parts).rstrip())
    return lines


def text_report(records, by, keys):
    from .tables import GENES, GENOTYPES, HAPLOTYPES
    # The settings that tell the groups apart stand in a table of their own,
    # so that the tables below stay narrow.
    rest = [k for k in keys if k not in by]
    ident = list(by)
    theory = bool(records) and "Alpha_theory" in records[0]
    out = []
    total = sum(r["n"] for r in records)
    known = all(r["iterations"] is not None for r in records)
    line = f"{len(records)} group{'s' if len(records) != 1 else ''}, {sum(r['jobs'] for r in records)} jobs, "
    if known:
        line += (f"{sum(r['iterations'] for r in records)} iterations, "
                 f"{sum(r['extinct'] for r in records)} halted by extinction")
    else:
        line += f"{total} iterations not halted by extinction (extinctions not known: no report)"
    out += [line,
            "Probabilities: share of the n iterations not halted by extinction; SE = sqrt(p(1-p)/n);",
            "95% interval: Wilson score interval. Times in generations; SD with n-1; quartiles interpolated;",
            "mean time: SE = SD/sqrt(n), 95% interval mean +- 1.96 SE.",
            ""]
    if rest:
        out.append("SETTINGS OF THE GROUPS (as the study gives them; mixed: they differ within the group)")
        out += aligned(ident + rest, [[r[k] for k in ident + rest] for r in records], len(ident)) + [""]
    for gene, big, small, _ in GENES:
        out.append(f"{gene.upper()}: FIXATION PROBABILITY")
        header = ident + [f"p0_{big}", "n", "extinct"]
        for allele in (big, small):
            header += [allele, f"P({allele})", "SE", "95% interval"] + (["theory"] if theory else [])
        header += ["unfixed"]
        rows = []
        for r in records:
            cells = [r[k] for k in ident] + [_prob(r[f"p0_{big}"]), r["n"], _fmt(r["extinct"], 0)]
            for allele in (big, small):
                cells += [_fmt(r[f"{allele}_fixed"], 0), _fmt(r[f"{allele}_p"], 3), _fmt(r[f"{allele}_se"], 3),
                          _interval(r[f"{allele}_lo95"], r[f"{allele}_hi95"], 3)]
                if theory:
                    cells += [_fmt(r[f"{allele}_p_theory"], 3)]
            cells += [r[f"{gene}_unfixed"]]
            rows.append(cells)
        out += aligned(header, rows, len(ident)) + [""]
        if theory:
            laws = sorted({r[f"{gene}_theory"] for r in records if r[f"{gene}_theory"]})
            out += [f"theory: {', '.join(laws) if laws else 'no formula applies'}", ""]
    out.append("BOTH GENES: ALLELES FIXED TOGETHER (count and share of n)")
    header = ident + ["n"] + [f"{h} fixed" for h in HAPLOTYPES]
    rows = [[r[k] for k in ident] + [r["n"]]
            + [f"{r[f'{h}_fixed']} ({_fmt(r[f'{h}_p'], 3)})" for h in HAPLOTYPES] for r in records]
    out += aligned(header, rows, len(ident)) + [""]

    def time_rows():
        for r in records:
            for gene, big, small, _ in GENES:
                for label, prefix, key in ((f"{big} allele", f"{big}_time", big),
                                           (f"{small} allele", f"{small}_time", small),
                                           (f"{gene} allele", f"{gene}_time", None),
                                           (f"{gene} gene copy", f"{gene}_copy", None)):
                    if r[f"{prefix}_n"] is None:
                        continue
                    yield r, label, prefix, key

    out.append("FIXATION TIME (generations)")
    header = ident + ["fixation", "n", "mean", "SD", "Q1", "median", "Q3"]
    rows = [[r[k] for k in ident] + [label, r[f"{prefix}_n"]]
            + [_fmt(r[f"{prefix}_{s}"], 1) for s in ("mean", "sd", "q1", "median", "q3")]
            for r, label, prefix, _ in time_rows()]
    out += aligned(header, rows, len(ident) + 1) + [""]
    out.append("MEAN FIXATION TIME WITH ITS STANDARD ERROR AND 95% INTERVAL (generations)")
    header = ident + ["fixation", "n", "mean", "SE", "95% interval"] + (["theory"] if theory else [])
    rows = []
    for r, label, prefix, key in time_rows():
        cells = [r[k] for k in ident] + [label, r[f"{prefix}_n"], _fmt(r[f"{prefix}_mean"], 1),
                                         _fmt(r[f"{prefix}_se"], 1),
                                         _interval(r[f"{prefix}_lo95"], r[f"{prefix}_hi95"], 1)]
        if theory:
            cells.append(_fmt(r.get(f"{key}_time_theory") if key else None, 1))
        rows.append(cells)
    out += aligned(header, rows, len(ident) + 1) + [""]
    out.append("ORIGIN OF THE FIXED GENE COPIES (share of the copies fixed: founding haplotype, founder genotype)")
    header = ident + ["gene", "fixed"] + HAPLOTYPES + GENOTYPES
    rows = []
    for r in records:
        for gene, _, _, _ in GENES:
            if r[f"{gene}_copy_n"] is None:
                continue
            rows.append([r[k] for k in ident] + [gene, r[f"{gene}_copy_n"]]
                        + [_fmt(r[f"{gene}_copy_ht_{h}"], 3) for h in HAPLOTYPES]
                        + [_fmt(r[f"{gene}_copy_gt_{g}"], 3) for g in GENOTYPES])
    if rows:
        out += aligned(header, rows, len(ident) + 1)
    else:
        out.append("(gene copies were not tracked)")
    return "\n".join(out) + "\n"


# ---------------------------------------------------------------- duolocus-summary

def summary_args(argv):
    ap = argparse.ArgumentParser(
        prog=SUMMARY,
        description="Fixation probabilities (with standard errors and 95% Wilson intervals), "
                    "fixation times (mean with its standard error and 95% interval, SD, quartiles), "
                    "gene-copy origins and extinctions of Duolocus runs.",
        epilog="Inputs: iteration tables PREFIX.csv (their PREFIX.txt is read when it stands beside "
               "them), study indexes PREFIX_index.csv (the job files stand beside them) or merged "
               "tables (their NAME.jobs.csv is read when it stands beside them). See duolocus-summary(1).")
    ap.add_argument("inputs", nargs="+", metavar="FILE", help="PREFIX.csv, PREFIX_index.csv or a merged table")
    ap.add_argument("--by", metavar="COLUMNS",
                    help="group by these comma-separated columns (run, seed or a setting such as "
                         "map_distance_cM); default: run")
    ap.add_argument("--pool", action="store_true", help="all inputs in one group")
    ap.add_argument("--jobs", metavar="FILE", help="the jobs table of a merged table (default: NAME.jobs.csv beside NAME.csv)")
    ap.add_argument("--no-reports", action="store_true",
                    help="read no PREFIX.txt or jobs table: extinctions and settings stay unknown")
    ap.add_argument("--csv", metavar="FILE", help="write the summary as CSV to FILE ('-': standard output)")
    ap.add_argument("--text", metavar="FILE",
                    help="write the aligned text table to FILE (default: standard output, unless --csv -)")
    ap.add_argument("--merge", metavar="TABLE",
                    help="write the merged table of the study indexes given to TABLE, and its jobs "
                         "table to TABLE's name with .jobs.csv for .csv")
    ap.add_argument("--theory", action="store_true",
                    help="add what theory expects beside the observed values: u = p0 for a neutral "
                         "gene, Kimura's u(p) under genic selection, Kimura and Ohta's fixation times")
    return ap.parse_args(argv)


def grouping(args, study):
    from .reports import SETTING_KEYS
    if args.pool:
        for job in study.jobs:
            job.settings["group"] = "all"
        return ["group"]
    if args.by:
        by = [c.strip() for c in args.by.split(",") if c.strip()]
        known = {"run", "seed"} | set(study.keys) | {k for j in study.jobs for k in j.context}
        for column in by:
            if column not in known:
                raise InputError(f"--by {args.by}", f"no column {column}; allowed: "
                                 + ", ".join(["run", "seed"] + study.keys + ["population", "p0_A", "p0_B"]
                                             + SETTING_KEYS))
        return by
    return ["run"]


def summary_main(argv=None):
    args = summary_args(sys.argv[1:] if argv is None else argv)
    try:
        from . import stats, tables
        if args.merge:
            for path in args.inputs:
                if tables.kind_of(tables.read_header(path)) != "index":
                    raise InputError(f"{path}:1", "--merge reads study indexes PREFIX_index.csv only")
            if not args.merge.endswith(".csv"):
                raise InputError(f"--merge {args.merge}", "the merged table's name must end in .csv")
        study = tables.load(args.inputs, args.jobs, not args.no_reports, frequencies=False)
        by = grouping(args, study)
    except InputError as err:
        print(f"{SUMMARY}: {err}", file=sys.stderr)
        return 2
    try:
        if args.merge:
            tables.write_merged(study, args.merge, args.merge[:-4] + ".jobs.csv")
        records = stats.summary_records(study, by, study.keys, with_theory=args.theory)
        if args.csv:
            write_atomically(args.csv, lambda h: write_csv(records, h))
        if args.text or not (args.csv == "-" or args.merge):
            text = text_report(records, by, study.keys)
            write_atomically(args.text or "-", lambda h: h.write(text))
    except InputError as err:
        print(f"{SUMMARY}: {err}", file=sys.stderr)
        return 2
    except OutputError as err:
        print(f"{SUMMARY}: {err}", file=sys.stderr)
        return 1
    return 0


# ---------------------------------------------------------------- duolocus-plot

def plot_args(argv):
    ap = argparse.ArgumentParser(prog=PLOT, description="PNG figures of Duolocus runs.",
                                 epilog="See duolocus-plot(1).")
    sub = ap.add_subparsers(dest="figure", required=True, metavar="FIGURE")

    def tables(p):
        p.add_argument("inputs", nargs="+", metavar="FILE",
                       help="PREFIX.csv files, study indexes PREFIX_index.csv or a merged table")
        p.add_argument("--by", metavar="COLUMNS", help="group by these columns (default: run)")
        p.add_argument("--pool", action="store_true", help="all inputs in one group")
        p.add_argument("--jobs", metavar="FILE", help="the jobs table of a merged table")
        p.add_argument("--no-reports", action="store_true", help="read no PREFIX.txt or jobs table")
        p.add_argument("--run", metavar="NAMES", help="only these groups (comma-separated)")

    def output(p, each):
        p.add_argument("-o", "--output", metavar="PNG", help="the figure's file")
        if each:
            p.add_argument("--each", metavar="DIR", help="one figure per group: DIR/GROUP.png")

    p = sub.add_parser("times", help="fixation-time histograms by allele")
    tables(p)
    output(p, True)
    p.add_argument("--bins", type=int, default=30, help="number of bins (default 30)")
    p = sub.add_parser("final", help="distribution of the final allele frequencies")
    tables(p)
    output(p, True)
    p = sub.add_parser("probability", help="fixation probability against a swept setting")
    tables(p)
    output(p, False)
    p.add_argument("--x", metavar="KEY", help="the setting on the x axis: a swept setting, p0 "
                                               "(the starting frequency), population or run")
    p.add_argument("--series", metavar="KEY",
                   help="one series per value of this column (default: the named run)")
    p = sub.add_parser("trajectory", help="allele frequencies over the generations")
    p.add_argument("inputs", nargs="+", metavar="TRAJ", help="PREFIX.traj.csv files")
    output(p, True)
    p.add_argument("--iterations", type=int, default=30, help="draw at most this many iterations (default 30)")
    args = ap.parse_args(argv)
    if args.figure != "probability" and bool(args.output) == bool(getattr(args, "each", None)):
        ap.error("give either -o PNG or --each DIR")
    if args.figure == "probability" and not args.output:
        ap.error("give -o PNG")
    if getattr(args, "bins", 1) < 1 or getattr(args, "iterations", 1) < 1:
        ap.error("--bins and --iterations take a whole number from 1")
    return args


def groups_of(args):
    """The groups to draw: {label: Study of the group's jobs}, and the swept keys."""
    from . import stats, tables
    study = tables.load(args.inputs, args.jobs, not args.no_reports)
    if args.pool:
        by = ["group"]
        for job in study.jobs:
            job.settings["group"] = "all"
    else:
        by = [c.strip() for c in (args.by or "run").split(",") if c.strip()]
    groups = {}
    for key, members in stats.group_jobs(study.jobs, by).items():
        groups["_".join(str(k) for k in key)] = members
    if args.run:
        wanted = [r.strip() for r in args.run.split(",")]
        missing = [r for r in wanted if r not in groups]
        if missing:
            raise InputError(f"--run {args.run}", f"no group {', '.join(missing)}; the groups are "
                                                  + ", ".join(groups))
        groups = {r: groups[r] for r in wanted}
    return study, groups


def safe_name(text):
    import re
    return re.sub(r"[^A-Za-z0-9._-]+", "_", text) or "group"


def plot_main(argv=None):
    args = plot_args(sys.argv[1:] if argv is None else argv)
    try:
        import matplotlib
        matplotlib.use("Agg")
        from . import figures
    except ImportError as err:
        print(f"{PLOT}: this Python ({sys.executable}) cannot load matplotlib ({err}); on Debian: "
              "apt-get install python3-matplotlib, then run the program with /usr/bin/python3",
              file=sys.stderr)
        return 1
    try:
        if args.figure == "trajectory":
            from .tables import read_trajectory
            for p in args.inputs:
                read_trajectory(p)
            figures_to_draw = [(os.path.basename(p)[:-len(".traj.csv")] if p.endswith(".traj.csv") else
                                os.path.basename(p), lambda p=p: figures.trajectory_from_file(p, args.iterations))
                               for p in args.inputs]
        else:
            study, groups = groups_of(args)
            if args.figure == "probability":
                fig = figures.probability(study, groups, args.x, args.series)
                figures_to_draw = [(None, lambda: fig)]
            else:
                make = (lambda label, m: figures.times(study, m, label, args.bins)) if args.figure == "times" \
                    else (lambda label, m: figures.final(study, m, label))
                figures_to_draw = [(label, lambda label=label, m=members: make(label, m))
                                   for label, members in groups.items()]
        if getattr(args, "output", None) and len(figures_to_draw) > 1:
            names = ", ".join(str(f[0]) for f in figures_to_draw[:5])
            raise InputError(args.output, f"{len(figures_to_draw)} figures to draw ({names}"
                                          f"{', ...' if len(figures_to_draw) > 5 else ''}); choose one with --run "
                                          "or write one per group with --each DIR")
    except InputError as err:
        print(f"{PLOT}: {err}", file=sys.stderr)
        return 2
    try:
        for label, draw in figures_to_draw:
            path = args.output or os.path.join(args.each, safe_name(label) + ".png")
            figures.save(draw(), path)
    except InputError as err:
        print(f"{PLOT}: {err}", file=sys.stderr)
        return 2
    except OutputError as err:
        print(f"{PLOT}: {err}", file=sys.stderr)
        return 1
    return 0


def summary_entry():
    sys.exit(_guarded(summary_main))


def plot_entry():
    sys.exit(_guarded(plot_main))


def _guarded(main):
    try:
        return main()
    except BrokenPipeError:
        # The reader went away (| head): say nothing more.
        try:
            sys.stdout = open(os.devnull, "w")
        except OSError:
            pass
        return 1
