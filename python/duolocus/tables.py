"""The tables of Duolocus runs: iteration tables (PREFIX.csv), study indexes
(PREFIX_index.csv), merged tables and their jobs tables, trajectories;
read into pandas columns, checked, and merged.

A table is read column by column, a chunk of rows at a time, so a merged
table of millions of rows costs a few bytes per field; a file that fails a
check is read again line by line to name the first faulty line exactly."""

import csv
import io
import os
import re

import numpy as np
import pandas as pd

from . import catalogue
from .errors import InputError
from .reports import GENOTYPES, SETTING_KEYS, read_report

COLUMNS = (
    "iter gens A_all_fixed gens_fix_A_all finalp_A gens_fix_A_copy A_origin_ht A_origin_gt "
    "B_all_fixed gens_fix_B_all finalp_B gens_fix_B_copy B_origin_ht B_origin_gt "
    "p_AB_AB p_AB_Ab p_Ab_Ab p_AB_aB p_AB_ab p_Ab_aB p_Ab_ab p_aB_aB p_aB_ab p_ab_ab "
    "p_AB p_Ab p_aB p_ab").split()
FREQUENCIES = COLUMNS[14:]
INDEX_HEAD = ["run", "seed", "prefix", "csv", "txt", "traj"]
# What duolocus-batch keeps in its index for resuming (sizes, checksums and
# each job's fingerprint): not settings.
INDEX_BOOKKEEPING = {f"{f}_{what}" for f in ("csv", "txt", "traj") for what in ("bytes", "crc32")} | {"job_print"}
# The per-generation statistics, in the trajectory file's order.
TRAJ_COLUMNS = catalogue.statistics()
HAPLOTYPES = catalogue.haplotypes()
# Each gene: its name, capital allele, small allele, and where its six columns begin.
GENES = (("Alpha", "A", "a", 2), ("Beta", "B", "b", 8))
# The jobs table: run, seed, the swept settings as the study wrote them, then
# these columns, then every other setting as the job's report gives it.
JOBS_MID = ["prefix", "csv", "txt", "traj", "iterations", "rows", "extinct", "track_gene_copies",
            "population", "p0_A", "p0_B"]
WHAT_IS_READ = ("allowed: an iteration table PREFIX.csv (its 28 columns iter,gens,...,p_ab), "
                "a study index PREFIX_index.csv (run,seed,prefix,csv,txt,traj,...) or a merged "
                "table (run,seed, the swept settings, then the 28 columns)")
CHUNK = 100_000

_FIXED = {big: pd.CategoricalDtype([big, small, "none"]) for _, big, small, _ in GENES}
_HT = pd.CategoricalDtype(HAPLOTYPES + ["NA"])
_GT = pd.CategoricalDtype(GENOTYPES + ["NA"])


# ---------------------------------------------------------------- lines, exactly

def _records(path, data=None):
    """The lines of a comma-separated file as lists of fields, with their line
    numbers; a byte-order mark before the first is dropped."""
    if data is not None:
        handle = io.StringIO(data.decode("utf-8-sig") if isinstance(data, bytes) else data, newline="")
    else:
        try:
            handle = open(path, newline="", encoding="utf-8-sig")
        except OSError as err:
            raise InputError(path, f"cannot read it: {err.strerror}") from None
    with handle:
        reader = csv.reader(handle, strict=True)
        try:
            for fields in reader:
                yield reader.line_num, fields
        except (csv.Error, UnicodeDecodeError) as err:
            raise InputError(f"{path}:{reader.line_num + 1}", f"not a comma-separated table: {err}") from None


def read_header(path, data=None):
    """The header line's fields.

    Args:
        path: the file (named in messages).
        data: the file's bytes, when they are in memory already.

    Returns:
        list of str: the column names.
    """
    for _, fields in _records(path, data):
        return fields
    raise InputError(f"{path}:1", f"the file is empty; {WHAT_IS_READ}")


def jobs_mid(header):
    """Where the fixed columns of a jobs table begin.

    Args:
        header: a header line's fields.

    Returns:
        int: the index of the first fixed column; None when the header is not
        a jobs table's.
    """
    for at in range(2, len(header) - len(JOBS_MID) + 1):
        if header[at:at + len(JOBS_MID)] == JOBS_MID:
            return at
    return None


def kind_of(header):
    """Which Duolocus table a header line opens.

    Args:
        header: a header line's fields.

    Returns:
        str: "table" (PREFIX.csv), "index", "merged", "jobs" or "trajectory";
        None for none of them.
    """
    if header == COLUMNS:
        return "table"
    # A jobs table of a study without swept settings begins like an index.
    if header[:2] == ["run", "seed"] and jobs_mid(header) is not None:
        return "jobs"
    if header[:6] == INDEX_HEAD:
        return "index"
    if header[:2] == ["run", "seed"] and header[-28:] == COLUMNS:
        return "merged"
    if header == TRAJ_COLUMNS:
        return "trajectory"
    return None


def _int(text, place, column, low=0):
    if not re.fullmatch(r"[0-9]+", text) or int(text) < low:
        raise InputError(place, f'{column} is "{text}"; allowed: a whole number from {low}')
    return int(text)


def _freq(text, place, column):
    if not re.fullmatch(r"[0-9]+\.[0-9]+", text) or float(text) > 1.0:
        raise InputError(place, f'{column} is "{text}"; allowed: a frequency from 0.0 to 1.0')
    return float(text)


def _seed(text, place):
    lo, hi = catalogue.limit("seed")
    if not re.fullmatch(r"[0-9]+", text) or not lo <= int(text) <= hi:
        raise InputError(place, f'seed is "{text}"; allowed: a whole number from {lo} to {hi}')
    return int(text)


def check_row(fields, place):
    """Checks one row of the 28 columns, as written.

    Args:
        fields: the row's fields, as texts.
        place: where it is (file:line), for the message.

    Returns:
        None; raises errors.InputError at the first fault.
    """
    _int(fields[0], place, "iter", 1)
    _int(fields[1], place, "gens")
    for _, big, small, at in GENES:
        names = COLUMNS[at:at + 6]
        fixed = fields[at]
        if fixed not in (big, small, "none"):
            raise InputError(place, f'{names[0]} is "{fixed}"; allowed: {big}, {small} or none')
        when = fields[at + 1]
        if fixed == "none":
            if when != "NA":
                raise InputError(place, f'{names[1]} is "{when}" but {names[0]} is none; allowed: NA')
        else:
            _int(when, place, names[1])
        _freq(fields[at + 2], place, names[2])
        copy, ht, gt = fields[at + 3], fields[at + 4], fields[at + 5]
        if copy in ("NA", "none"):
            if ht != "NA" or gt != "NA":
                raise InputError(place, f'{names[4]} and {names[5]} are "{ht}" and "{gt}" but no '
                                        f'gene copy fixed ({names[3]} is {copy}); allowed: NA')
        else:
            _int(copy, place, names[3])
            if ht not in HAPLOTYPES:
                raise InputError(place, f'{names[4]} is "{ht}"; allowed: {", ".join(HAPLOTYPES)}')
            if gt not in GENOTYPES:
                raise InputError(place, f'{names[5]} is "{gt}"; allowed: a genotype from AABB to aabb')
    for k in range(14, 28):
        _freq(fields[k], place, COLUMNS[k])


def _exact_fault(path, width, lead, data=None):
    """Reads the table line by line and raises at its first fault (lines
    whose job key is judged elsewhere are checked for their 28 columns)."""
    records = _records(path, data)
    next(records, None)
    last = {}
    for line, fields in records:
        place = f"{path}:{line}"
        if len(fields) != width:
            raise InputError(place, f"{len(fields)} fields; every line of this table has {width}")
        if lead:
            _seed(fields[1], place)
        check_row(fields[lead:], place)
        key = tuple(fields[:2]) if lead else ()
        it = int(fields[lead])
        if key in last and it <= last[key]:
            raise InputError(place, f"iteration {it} follows iteration {last[key]}; "
                                    "iterations stand in increasing order, each once")
        last[key] = it
    raise InputError(path, "not a Duolocus table: a field could not be read as its column's type")


# ---------------------------------------------------------------- columns, fast

class Job:
    """One run with one seed: where its rows are and what its report says."""

    def __init__(self, run, seed, settings, source):
        self.run = run
        self.seed = seed
        self.settings = settings      # the swept (index) columns, as the study wrote them
        self.source = source          # the file its rows came from
        self.report = None            # reports.Report, or None when unknown
        self.context = {}             # every setting by study key, from the report
        self.iterations = None
        self.extinct = None
        self.expected_rows = None
        self.rows = 0                 # rows in the table
        self.tracked = None           # gene copies tracked: True, False, None (no row tells)
        self.last_iter = 0
        self.csv = self.txt = self.traj = ""
        self.counts = None            # per gene and outcome: rows, for the report's check
        self.times = None             # per gene: [(count, sum) of allele times, of copy times]

    def value(self, key):
        """A column of the job: run, seed, a swept setting or a setting from its report.

        Args:
            key: the column's name (a study key for a setting).

        Returns:
            str: its value as text; "" when the job does not know it.
        """
        if key == "run":
            return self.run
        if key == "seed":
            return str(self.seed) if self.seed is not None else ""
        if self.settings.get(key, "") != "":
            return self.settings[key]
        return self.context.get(key, "")


def _parse_chunk(chunk, lead):
    """The 28 columns of a chunk as numbers and categories; None when any
    field is not what its column allows."""
    out = {}
    bad = np.zeros(len(chunk), dtype=bool)
    it = chunk["iter"].to_numpy()
    gens = chunk["gens"].to_numpy()
    bad |= (it < 1) | (gens < 0)
    out["iter"], out["gens"] = it, gens
    tracked = []
    for _, big, small, at in GENES:
        names = COLUMNS[at:at + 6]
        fixed = chunk[names[0]]
        codes = fixed.cat.codes.to_numpy()
        bad |= codes < 0
        when = pd.to_numeric(chunk[names[1]].replace("NA", np.nan), errors="coerce").to_numpy(dtype=float)
        bad |= (codes == 2) != np.isnan(when)
        with np.errstate(invalid="ignore"):
            bad |= ~np.isnan(when) & ((when < 0) | (when != np.floor(when)))
        finalp = chunk[names[2]].to_numpy(dtype=float)
        copy = chunk[names[3]].to_numpy(dtype=object)
        not_tracked = copy == "NA"
        none = copy == "none"
        copy_gen = pd.to_numeric(pd.Series(copy).where(~(not_tracked | none)), errors="coerce").to_numpy(float)
        fixed_copy = ~(not_tracked | none)
        with np.errstate(invalid="ignore"):
            bad |= fixed_copy & (np.isnan(copy_gen) | (copy_gen < 0) | (copy_gen != np.floor(copy_gen)))
        ht, gt = chunk[names[4]], chunk[names[5]]
        ht_na = ht.cat.codes.to_numpy() == 4
        gt_na = gt.cat.codes.to_numpy() == 9
        bad |= (ht.cat.codes.to_numpy() < 0) | (gt.cat.codes.to_numpy() < 0)
        bad |= fixed_copy == ht_na
        bad |= fixed_copy == gt_na
        out[names[0]], out[names[1]], out[names[2]] = fixed, when, finalp
        out[names[3]], out[names[4]], out[names[5]] = copy_gen, ht, gt
        tracked.append(~not_tracked)
    for name in FREQUENCIES + ["finalp_A", "finalp_B"]:
        values = chunk[name].to_numpy(dtype=float)
        with np.errstate(invalid="ignore"):
            bad |= ~((values >= 0.0) & (values <= 1.0))
        if name in FREQUENCIES:
            out[name] = values
    if bad.any():
        return None, None
    return out, tracked


def _read_chunks(path, header, data):
    names = header
    # Lead columns (run, seed, settings) serve only to find each job's rows.
    dtypes = {name: "category" for name in names[:len(names) - 28]}
    dtypes.update({"iter": np.int64, "gens": np.int64})
    for _, big, _, at in GENES:
        dtypes[COLUMNS[at]] = _FIXED[big]
        dtypes[COLUMNS[at + 1]] = str
        dtypes[COLUMNS[at + 3]] = str
        dtypes[COLUMNS[at + 4]] = _HT
        dtypes[COLUMNS[at + 5]] = _GT
    source = io.BytesIO(data) if data is not None else path
    return pd.read_csv(source, header=0, names=names, dtype=dtypes, keep_default_na=False, na_filter=False,
                       skip_blank_lines=False, chunksize=CHUNK, encoding="utf-8-sig",
                       float_precision="round_trip", engine="c")


class _Parsed:
    """The rows of one file, column by column."""

    def __init__(self):
        self.parts = []
        self.job_codes = []


def _read_rows(path, header, jobs_of, frequencies, data=None):
    """Reads every row of an iteration table or merged table. jobs_of(lead
    values of a stretch of rows, place) gives the Job of each stretch.
    Returns a DataFrame with a `job` column (index into the jobs list)."""
    lead = len(header) - 28
    width = len(header)
    parts = []
    row_base = 2
    last_job = None
    try:
        reader = _read_chunks(path, header, data)
        for chunk in reader:
            if len(chunk.columns) != width or (len(chunk) and chunk.iloc[:, -1].isna().any()):
                _exact_fault(path, width, lead, data)
            out, tracked = _parse_chunk(chunk, lead)
            if out is None:
                _exact_fault(path, width, lead, data)
            n = len(chunk)
            codes = np.empty(n, dtype=np.int32)
            # Stretches of rows of one job: where any lead column changes.
            if lead:
                change = np.zeros(n, dtype=bool)
                if n:
                    change[0] = True
                for k in range(lead):
                    col = chunk.iloc[:, k].cat.codes.to_numpy()
                    change[1:] |= col[1:] != col[:-1]
                starts = list(np.flatnonzero(change)) + [n]
                for s, e in zip(starts[:-1], starts[1:]):
                    values = [str(chunk.iloc[s, k]) for k in range(lead)]
                    job_index = jobs_of(values, f"{path}:{row_base + s}", last_job)
                    codes[s:e] = job_index
                    last_job = job_index
            else:
                job_index = jobs_of([], path, last_job)
                codes[:] = job_index
                last_job = job_index
            frame = pd.DataFrame(out if frequencies else {k: v for k, v in out.items() if k not in FREQUENCIES})
            frame.insert(0, "job", codes)
            frame["_tA"], frame["_tB"] = tracked
            parts.append(frame)
            row_base += n
    except InputError:
        raise
    except (ValueError, pd.errors.ParserError, UnicodeDecodeError):
        _exact_fault(path, width, lead, data)
    except OSError as err:
        raise InputError(path, f"cannot read it: {err.strerror}") from None
    if parts:
        rows = pd.concat(parts, ignore_index=True) if len(parts) > 1 else parts[0]
    else:
        rows = pd.DataFrame({"job": np.empty(0, np.int32)})
        for name in COLUMNS:
            if name in FREQUENCIES and not frequencies:
                continue
            rows[name] = _empty_column(name)
        rows["_tA"] = np.empty(0, bool)
        rows["_tB"] = np.empty(0, bool)
    # Within a job, iterations stand in increasing order, each once.
    it = rows["iter"].to_numpy()
    job = rows["job"].to_numpy()
    if len(it) > 1:
        same = job[1:] == job[:-1]
        wrong = np.flatnonzero(same & (it[1:] <= it[:-1]))
        if len(wrong):
            k = wrong[0] + 1
            raise InputError(f"{path}:{k + 2}", f"iteration {it[k]} follows iteration {it[k - 1]}; "
                                                "iterations stand in increasing order, each once")
    return rows


def _empty_column(name):
    if name in ("iter", "gens"):
        return np.empty(0, np.int64)
    for _, big, _, at in GENES:
        if name == COLUMNS[at]:
            return pd.Categorical([], dtype=_FIXED[big])
        if name == COLUMNS[at + 4]:
            return pd.Categorical([], dtype=_HT)
        if name == COLUMNS[at + 5]:
            return pd.Categorical([], dtype=_GT)
    return np.empty(0, float)


def _tally(jobs, rows):
    """Each job's row count, tracking, last iteration, outcome counts and time
    sums, from the columns (for the check against its report)."""
    if not len(rows):
        return
    codes = rows["job"].to_numpy()
    order = np.unique(codes)
    for g, (gene, big, small, at) in enumerate(GENES):
        fixed = rows[COLUMNS[at]].cat.codes.to_numpy()
        when = rows[COLUMNS[at + 1]].to_numpy()
        copy = rows[COLUMNS[at + 3]].to_numpy()
        tracked = rows["_t" + big].to_numpy()
        nj = len(jobs)
        counts = np.zeros((nj, 3), np.int64)
        np.add.at(counts, (codes, fixed), 1)
        has_time = ~np.isnan(when)
        t_n = np.bincount(codes[has_time], minlength=nj)
        t_sum = np.bincount(codes[has_time], weights=when[has_time], minlength=nj)
        has_copy = ~np.isnan(copy)
        c_n = np.bincount(codes[has_copy], minlength=nj)
        c_sum = np.bincount(codes[has_copy], weights=copy[has_copy], minlength=nj)
        tr_n = np.bincount(codes[tracked], minlength=nj)
        for j in order:
            job = jobs[j]
            if job.counts is None:
                job.counts, job.times = {}, {}
            for k, allele in enumerate((big, small, "none")):
                job.counts[gene, allele] = int(counts[j, k])
            job.times[gene] = ((int(t_n[j]), int(round(t_sum[j]))), (int(c_n[j]), int(round(c_sum[j]))))
            job.tracked_rows = getattr(job, "tracked_rows", {})
            job.tracked_rows[gene] = int(tr_n[j])
    n = np.bincount(codes, minlength=len(jobs))
    last = pd.Series(rows["iter"].to_numpy()).groupby(codes).max()
    tracked_a = np.bincount(codes[rows["_tA"].to_numpy()], minlength=len(jobs))
    for j in order:
        job = jobs[j]
        job.rows = int(n[j])
        job.last_iter = int(last[j])
        job.tracked = bool(tracked_a[j] == n[j]) if tracked_a[j] in (0, n[j]) else True


# ---------------------------------------------------------------- the report beside a table

def attach_report(job, txt, required=False, text=None):
    """Reads the job's report and checks it against the job's rows.

    Args:
        job: the tables.Job.
        txt: the report's file (PREFIX.txt).
        required: refuse a missing report rather than go without.
        text: the report's text, when it is in memory already.

    Returns:
        None; the job takes the report's settings (job.context) and counts.
        Raises errors.InputError when the report is missing (required) or
        disagrees with the rows.
    """
    if text is None and not os.path.exists(txt):
        if required:
            raise InputError(txt, f"the report of run {job.run}, seed {job.seed} is missing")
        return
    rep = read_report(txt, text)
    job.report = rep
    job.txt = txt
    job.context = rep.context
    if job.rows:
        job.context["track_gene_copies"] = "true" if job.tracked else "false"
    elif rep.summary is not None:
        # No rows (every iteration extinct): the report lists the gene-copy
        # rows only when copies were tracked.
        job.context["track_gene_copies"] = "true" if "Alpha Gene Copy" in rep.summary else "false"
    if job.seed is None:
        job.seed = rep.seed
    source = job.source
    if rep.summary is None:
        # One iteration: a row, or none when it was halted by extinction.
        if job.rows > 1:
            raise InputError(txt, f"the report has no SUMMARY STATISTICS but {source} has {job.rows} "
                                  "rows: the run has not finished, or the report was cut short")
        job.iterations, job.extinct = 1, 1 - job.rows
    else:
        sm = rep.summary
        job.extinct = sm["extinct"]
        job.iterations = sm["A"] + sm["a"] + sm["Alpha none"] + job.extinct
        told = {("Alpha", "A"): sm["A"], ("Alpha", "a"): sm["a"], ("Alpha", "none"): sm["Alpha none"],
                ("Beta", "B"): sm["B"], ("Beta", "b"): sm["b"], ("Beta", "none"): sm["Beta none"]}
        counts = job.counts or {}
        for key, count in told.items():
            if counts.get(key, 0) != count:
                what = "no fixation" if key[1] == "none" else f"{key[1]} fixed"
                raise InputError(source, f"{job.rows} rows, {counts.get(key, 0)} with {what} at {key[0]}; "
                                         f"its report {txt} counts {count}: the two files do not belong "
                                         "together, or one is incomplete")
        if job.rows != job.iterations - job.extinct:
            raise InputError(source, f"{job.rows} rows; its report {txt} counts "
                                     f"{job.iterations - job.extinct} iterations not halted by extinction")
        for gene, _, _, _ in GENES:
            allele, copy = job.times[gene] if job.times else ((0, 0), (0, 0))
            for what, (count_here, total) in (("Allele", allele), ("Gene Copy", copy)):
                if f"{gene} {what}" not in sm:
                    continue
                count, mean = sm[f"{gene} {what}"]
                ours = format(total / count_here, ".1f") if count_here > 1 else "nc"
                if count != count_here or mean != ours:
                    raise InputError(source, f"{count_here} {gene} {what.lower()} fixations, mean {ours}; "
                                             f"its report {txt} says {count}, mean {mean}: the two files "
                                             "do not belong together")
        # The iteration numbers the table skips are iterations halted by
        # extinction: never more of them than the report counts.
        skipped = job.last_iter - job.rows
        if skipped > job.extinct:
            raise InputError(source, f"the table skips {skipped} iteration numbers (iterations halted "
                                     f"by extinction); its report {txt} counts {job.extinct} extinctions")
    job.context["iterations"] = str(job.iterations)
    if job.rows and job.last_iter > job.iterations:
        raise InputError(source, f"iteration {job.last_iter} is beyond the {job.iterations} iterations "
                                 f"of its report {txt}")


def check_iterations(job, told, where):
    """The iterations the study gives a job (its index, a trajectory) against
    those its report and table count.

    Args:
        job: the tables.Job.
        told: the iterations the study says the job has.
        where: what said so (named in the message).

    Returns:
        None; raises errors.InputError when they differ.
    """
    if job.iterations is not None and told != job.iterations:
        raise InputError(job.txt or job.source,
                         f"its report counts {job.extinct} iterations halted by extinction, so "
                         f"{job.iterations} iterations with the {job.rows} rows of {job.source}; "
                         f"{where} says {told}: the files do not belong together")


def _trajectory_iterations(path):
    """The number of iterations a trajectory file covers (its last iter)."""
    last = None
    try:
        with open(path, "rb") as handle:
            handle.seek(0, os.SEEK_END)
            size = handle.tell()
            handle.seek(max(0, size - 4096))
            tail = handle.read().decode("utf-8", "replace").strip().splitlines()
    except OSError:
        return None
    if tail:
        first = tail[-1].split(",")[0]
        if first.isdigit():
            last = int(first)
    return last


# ---------------------------------------------------------------- a study of many jobs

class Study:
    """Every job of some inputs and their rows, one column per field.

    rows: DataFrame with `job` (index into jobs), the 28 columns of
    PREFIX.csv parsed (allele columns categories, generations float with NaN
    where the file says NA or none, frequencies floats); jobs: Job objects;
    keys: the swept settings the inputs carry."""

    def __init__(self, jobs, rows, keys):
        self.jobs = jobs
        self.rows = rows
        self.keys = keys

    @property
    def table(self):
        """The merged table: run, seed, the swept settings, the 28 columns."""
        lead = {"run": [j.run for j in self.jobs], "seed": [j.seed for j in self.jobs]}
        for key in self.keys:
            lead[key] = [j.settings.get(key, "") for j in self.jobs]
        codes = self.rows["job"].to_numpy()
        out = {}
        for key, values in lead.items():
            if key == "seed":
                out[key] = np.asarray([-1 if v is None else v for v in values], dtype=np.int64)[codes]
                continue
            cats = list(dict.fromkeys(values))
            per_job = np.asarray([cats.index(v) for v in values], dtype=np.int64)
            out[key] = pd.Categorical.from_codes(per_job[codes] if len(per_job) else codes, categories=cats)
        frame = pd.DataFrame(out)
        for name in COLUMNS:
            if name in self.rows:
                frame[name] = self.rows[name].to_numpy() if not isinstance(self.rows[name].dtype,
                                                                           pd.CategoricalDtype) \
                    else self.rows[name].array
        return frame

    @property
    def jobs_frame(self):
        """One line per job: run, seed, iterations, rows, extinctions, tracking
        and every setting the report gives."""
        records = []
        for job in self.jobs:
            rec = {"run": job.run, "seed": job.seed}
            rec.update({k: job.settings.get(k, "") for k in self.keys})
            rec.update({"iterations": job.iterations, "rows": job.rows, "extinct": job.extinct,
                        "track_gene_copies": job.context.get("track_gene_copies")})
            rec.update({k: v for k, v in job.context.items() if k not in rec})
            records.append(rec)
        return pd.DataFrame(records)


def _single(path, with_report, frequencies, data=None, txt_text=None):
    name = os.path.basename(path)
    stem = name[:-4] if name.endswith(".csv") else name
    job = Job(stem, None, {}, path)
    job.csv = path
    jobs = [job]
    rows = _read_rows(path, COLUMNS, lambda values, place, last: 0, frequencies, data)
    _tally(jobs, rows)
    txt = (path[:-4] if path.endswith(".csv") else path) + ".txt"
    if txt_text is not None:
        attach_report(job, txt, text=txt_text)
    elif with_report and os.path.exists(txt):
        attach_report(job, txt)
        traj = txt[:-4] + ".traj.csv"
        covered = _trajectory_iterations(traj) if os.path.exists(traj) else None
        if covered is not None:
            job.traj = traj
            check_iterations(job, covered, f"its trajectory {traj}")
    return jobs, rows


def load_index(path, with_report=True, frequencies=True):
    """The jobs of a study index PREFIX_index.csv and their rows.

    Args:
        path: the index file; the jobs' files are read from its folder.
        with_report: read each job's report too.
        frequencies: read the frequency columns (memory for large studies).

    Returns:
        tuple: (jobs, the parts of the rows, one DataFrame per job, swept keys).
    """
    folder = os.path.dirname(path)
    header = read_header(path)
    if kind_of(header) != "index":
        raise InputError(f"{path}:1", f"not a study index; expected the header {','.join(INDEX_HEAD)},...")
    # The settings columns; the bookkeeping for resuming comes after them.
    keys = [k for k in header[6:] if k not in INDEX_BOOKKEEPING]
    jobs, parts = [], []
    seen = {}
    records = _records(path)
    next(records)
    for line, fields in records:
        place = f"{path}:{line}"
        if len(fields) != len(header):
            raise InputError(place, f"{len(fields)} fields; every line of this index has {len(header)}")
        run, seed = fields[0], _seed(fields[1], place)
        if (run, seed) in seen:
            raise InputError(place, f"run {run}, seed {seed} is listed twice (also line {seen[run, seed]})")
        seen[run, seed] = line
        settings = {k: v for k, v in zip(header[6:], fields[6:]) if k not in INDEX_BOOKKEEPING}
        job = Job(run, seed, settings, None)
        # The job files stand beside the index, whatever folder it was written from.
        job.csv = os.path.join(folder, os.path.basename(fields[3]))
        job.txt = os.path.join(folder, os.path.basename(fields[4]))
        job.traj = os.path.join(folder, os.path.basename(fields[5])) if fields[5] else ""
        job.source = job.csv
        csv_header = read_header(job.csv)
        if csv_header != COLUMNS:
            raise InputError(f"{job.csv}:1", f"not an iteration table (run {run}, seed {seed}); "
                                             "expected the 28 columns iter,gens,...,p_ab")
        index = len(jobs)
        jobs.append(job)
        rows = _read_rows(job.csv, COLUMNS, lambda values, place, last: index, frequencies)
        _tally(jobs, rows)
        parts.append(rows)
        if with_report:
            attach_report(job, job.txt, required=True)
            if job.report.seed != seed:
                raise InputError(job.txt, f"its seed is {job.report.seed}, the index says {seed}")
            told = job.settings.get("iterations", "")
            if told.isdigit():
                check_iterations(job, int(told), f"the index {path}")
            if job.traj and os.path.exists(job.traj):
                covered = _trajectory_iterations(job.traj)
                # The trajectory samples the last generation of every
                # iteration, extinct ones too.
                if covered is not None:
                    check_iterations(job, covered, f"its trajectory {job.traj}")
            # An empty setting has the program's default: the report says which.
            for k in keys:
                if job.settings[k] == "":
                    job.settings[k] = job.context.get(k, "")
    if not jobs:
        raise InputError(path, "the index lists no job: an empty study has nothing to summarise")
    return jobs, parts, keys


def load_jobs_table(path):
    """The jobs listed in a merged table's jobs table.

    Args:
        path: the jobs table.

    Returns:
        tuple: (jobs, swept keys).
    """
    header = read_header(path)
    if kind_of(header) != "jobs":
        raise InputError(f"{path}:1", "not a jobs table; expected the header run,seed, the swept "
                                      f"settings, {','.join(JOBS_MID)}, the other settings")
    at = jobs_mid(header)
    keys = header[2:at]
    jobs = []
    records = _records(path)
    next(records)
    for line, fields in records:
        place = f"{path}:{line}"
        if len(fields) != len(header):
            raise InputError(place, f"{len(fields)} fields; every line of this table has {len(header)}")
        values = dict(zip(header, fields))
        job = Job(values["run"], _seed(values["seed"], place), {k: values[k] for k in keys}, path)
        job.iterations = _int(values["iterations"], place, "iterations", 1)
        job.extinct = _int(values["extinct"], place, "extinct")
        job.expected_rows = _int(values["rows"], place, "rows")
        if job.expected_rows + job.extinct != job.iterations:
            raise InputError(place, f"{job.expected_rows} rows and {job.extinct} extinctions do not "
                                    f"make its {job.iterations} iterations")
        job.context = {k: v for k, v in values.items() if k not in ("run", "seed", *keys, "prefix", "csv",
                                                                    "txt", "traj", "rows", "extinct")}
        folder = os.path.dirname(path)
        job.csv = os.path.join(folder, values["csv"]) if values["csv"] else ""
        job.txt = os.path.join(folder, values["txt"]) if values["txt"] else ""
        job.traj = os.path.join(folder, values["traj"]) if values["traj"] else ""
        jobs.append(job)
    return jobs, keys


def load_merged(path, header, jobs_path, frequencies=True):
    """The jobs and rows of a merged table.

    Args:
        path: the merged table.
        header: its header line's fields.
        jobs_path: its jobs table, or None to take the jobs from the rows.
        frequencies: read the frequency columns.

    Returns:
        tuple: (jobs, rows as one DataFrame, swept keys).
    """
    keys = header[2:-28]
    jobs = []
    by_key = {}
    if jobs_path:
        listed, listed_keys = load_jobs_table(jobs_path)
        if listed_keys != keys:
            raise InputError(jobs_path, f"its swept settings ({', '.join(listed_keys) or 'none'}) are not "
                                        f"those of {path} ({', '.join(keys) or 'none'})")
        for job in listed:
            by_key[job.run, job.seed] = len(jobs)
            jobs.append(job)
    seen_rows = set()

    def jobs_of(values, place, last):
        key = (values[0], _seed(values[1], place))
        index = by_key.get(key)
        settings = dict(zip(keys, values[2:]))
        if index is None:
            if jobs_path:
                raise InputError(place, f"run {key[0]}, seed {key[1]} is not in {jobs_path}")
            index = by_key[key] = len(jobs)
            job = Job(key[0], key[1], settings, path)
            jobs.append(job)
        elif index in seen_rows and last != index:
            raise InputError(place, f"rows of run {key[0]}, seed {key[1]} stand apart; "
                                    "the rows of a job stand together")
        job = jobs[index]
        if index in seen_rows or jobs_path:
            if settings != job.settings:
                raise InputError(place, f"the swept settings of run {key[0]}, seed {key[1]} differ from "
                                        f"those in {jobs_path or 'its first rows'}")
        job.settings = settings
        job.source = path
        seen_rows.add(index)
        return index

    rows = _read_rows(path, header, jobs_of, frequencies)
    _tally(jobs, rows)
    if jobs_path:
        for job in jobs:
            job.source = path
            if job.expected_rows != job.rows:
                raise InputError(path, f"run {job.run}, seed {job.seed} has {job.rows} rows; "
                                       f"{jobs_path} counts {job.expected_rows}: the table is incomplete")
    return jobs, rows, keys


def load(paths, jobs_path=None, with_report=True, frequencies=True):
    """Every job of the inputs and their rows.

    Args:
        paths: iteration tables (PREFIX.csv), study indexes and merged tables.
        jobs_path: the jobs table of a merged table.
        with_report: read each job's report too.
        frequencies: read the frequency columns.

    Returns:
        Study: the jobs and their rows.
    """
    jobs, parts, keys = [], [], []
    for path in paths:
        header = read_header(path)
        kind = kind_of(header)
        if kind == "table":
            found, rows = _single(path, with_report, frequencies)
            found_parts = [rows]
        elif kind == "index":
            found, found_parts, more = load_index(path, with_report, frequencies)
            keys += [k for k in more if k not in keys]
        elif kind == "merged":
            sibling = (path[:-4] if path.endswith(".csv") else path) + ".jobs.csv"
            given = jobs_path or (sibling if with_report and os.path.exists(sibling) else None)
            found, rows, more = load_merged(path, header, given, frequencies)
            if not found:
                raise InputError(path, "the merged table has no rows and no jobs table beside it: "
                                       "an empty study has nothing to summarise")
            found_parts = [rows]
            keys += [k for k in more if k not in keys]
        else:
            raise InputError(f"{path}:1", f"not a Duolocus table: its header is "
                                          f"\"{','.join(header)[:80]}\"; {WHAT_IS_READ}")
        base = len(jobs)
        for rows in found_parts:
            if base:
                rows["job"] += base
            parts.append(rows)
        jobs += found
    seen = {}
    for job in jobs:
        key = (job.run, job.seed) if job.seed is not None else (job.source,)
        if key in seen:
            what = f"run {job.run}, seed {job.seed}" if job.seed is not None else job.source
            raise InputError(job.source, f"{what} is given twice (also in {seen[key]}); "
                                         "each job may be read once")
        seen[key] = job.source
    rows = pd.concat(parts, ignore_index=True) if len(parts) > 1 else parts[0]
    return Study(jobs, rows, keys)


def public(rows):
    """The 28 columns of parsed rows, without the bookkeeping columns.

    Args:
        rows: rows as the module keeps them.

    Returns:
        DataFrame: the iteration table.
    """
    return rows[[c for c in COLUMNS if c in rows]].reset_index(drop=True)


def read_table(path, data=None):
    """One iteration table PREFIX.csv as a DataFrame of its 28 columns:
    allele columns as categories, generation columns as floats with NaN where
    the file says NA or none, frequencies as floats.

    Args:
        path: the file (named in messages).
        data: its bytes, when they are in memory already.

    Returns:
        DataFrame: the table; errors.InputError names the first faulty line.

    Example:
        >>> table = tables.read_table("demo.csv")
        >>> table["A_all_fixed"].value_counts()
    """
    header = read_header(path, data)
    if header != COLUMNS:
        raise InputError(f"{path}:1", "not an iteration table; expected the 28 columns iter,gens,...,p_ab")
    rows = _read_rows(path, COLUMNS, lambda values, place, last: 0, True, data)
    return public(rows)


def read_study(paths, jobs_path=None, with_reports=True):
    """Iteration tables, study indexes or a merged table, as one Study.

    Args:
        paths: a path or a list of paths.
        jobs_path: the jobs table of a merged table (found beside it when
            None).
        with_reports: read each job's report (needed for theory and titles).

    Returns:
        Study: its jobs and rows, ready for stats.summarise and figures.

    Example:
        >>> study = tables.read_study("results/classroom/classroom.csv")
        >>> stats.summarise(study, with_theory=True)
    """
    if isinstance(paths, (str, os.PathLike)):
        paths = [paths]
    return load([os.fspath(p) for p in paths], jobs_path, with_reports)


# ---------------------------------------------------------------- writing the merged table

def write_merged(study, table_path, jobs_path):
    """Writes the merged table (run, seed, the swept settings, the 28 columns
    as each job's file has them) and the jobs table (one line per job: its
    files, iteration and extinction counts and every setting its report
    gives), both or neither.

    Args:
        study: the Study to write.
        table_path: the merged table's file.
        jobs_path: the jobs table's file.

    Returns:
        None; raises errors.OutputError when a file cannot be written.
    """
    from .files import write_together
    keys = study.keys

    def table(handle):
        writer = csv.writer(handle, lineterminator="\n")
        writer.writerow(["run", "seed"] + keys + COLUMNS)
        for job in study.jobs:
            text = io.StringIO()
            csv.writer(text, lineterminator="").writerow([job.run, job.seed] + [job.settings.get(k, "") for k in keys])
            lead = text.getvalue() + ","
            try:
                with open(job.csv, encoding="utf-8-sig", newline="") as source:
                    source.readline()
                    for line in source:
                        handle.write(lead + line.rstrip("\r\n") + "\n")
            except OSError as err:
                raise InputError(job.csv, f"cannot read it: {err.strerror}") from None

    folder = os.path.dirname(os.path.abspath(jobs_path))

    def rel(path):
        return os.path.relpath(path, folder) if path else ""

    def job_table(handle):
        writer = csv.writer(handle, lineterminator="\n")
        rest = [k for k in ["population", "p0_A", "p0_B"] + SETTING_KEYS if k not in keys]
        writer.writerow(["run", "seed"] + keys + JOBS_MID[:8] + rest)
        for job in study.jobs:
            track = job.context.get("track_gene_copies", "NA")
            writer.writerow([job.run, job.seed] + [job.settings.get(k, "") for k in keys]
                            + [os.path.basename(job.csv)[:-4], rel(job.csv), rel(job.txt), rel(job.traj),
                               job.iterations, job.rows, job.extinct, track]
                            + [job.context.get(k, "") for k in rest])

    write_together([(table_path, table), (jobs_path, job_table)])


# ---------------------------------------------------------------- trajectories

def read_trajectory(path, data=None):
    """A trajectory file PREFIX.traj.csv as a DataFrame of its 13 columns.

    Args:
        path: the file (named in messages).
        data: its bytes, when they are in memory already.

    Returns:
        DataFrame: iter, gen, allele and haplotype frequencies, D and the
        heterozygosities.
    """
    header = read_header(path, data)
    if header != TRAJ_COLUMNS:
        raise InputError(f"{path}:1", "not a trajectory file; expected the header " + ",".join(TRAJ_COLUMNS))
    source = io.BytesIO(data) if data is not None else path
    try:
        frame = pd.read_csv(source, encoding="utf-8-sig", dtype={"iter": np.int64, "gen": np.int64},
                            skip_blank_lines=False)
        if frame.isna().any().any() or len(frame.columns) != len(TRAJ_COLUMNS):
            raise ValueError
        frame[TRAJ_COLUMNS[2:]] = frame[TRAJ_COLUMNS[2:]].astype(float)
    except (ValueError, pd.errors.ParserError):
        for line, fields in list(_records(path, data))[1:]:
            place = f"{path}:{line}"
            if len(fields) != len(TRAJ_COLUMNS):
                raise InputError(place, f"{len(fields)} fields; every line of a trajectory file has "
                                        f"{len(TRAJ_COLUMNS)}") from None
            try:
                int(fields[0]), int(fields[1]), [float(v) for v in fields[2:]]
            except ValueError:
                raise InputError(place, "a field is not a number; allowed: iter and gen whole numbers, "
                                        "the rest numbers with 7 decimals") from None
        raise InputError(path, "not a trajectory file") from None
    return frame


# ---------------------------------------------------------------- runs made from Python

def from_runs(results, names=None, keys=()):
    """A Study of runs made with duolocus.run or run_many, each a job.

    Args:
        results: the RunResult objects.
        names: the jobs' names (default run1, run2, ...).
        keys: the settings shown as swept columns (the values given to the
            run, or the defaults its report shows).

    Returns:
        Study: ready for stats.summarise and figures.

    Example:
        >>> runs = duolocus.run_many([{"map_distance_cM": d} for d in (0, 5, 50)])
        >>> sweep = tables.from_runs(runs, names=["0 cM", "5 cM", "50 cM"], keys=["map_distance_cM"])
    """
    jobs, parts = [], []
    keys = list(keys)
    for k, result in enumerate(results):
        name = names[k] if names else f"run{k + 1}"
        settings = {key: str(result.settings[key]) if key in result.settings else "" for key in keys}
        job = Job(name, result.seed, settings, f"run {name}")
        jobs.append(job)
        rows = result._rows.copy()
        rows["job"] = np.int32(k)
        _tally(jobs, rows)
        attach_report(job, f"run {name} (report)", text=result.txt_text)
        for key in keys:
            if job.settings[key] == "":
                job.settings[key] = job.context.get(key, "")
        parts.append(rows)
    if not jobs:
        raise InputError("runs", "no run given: an empty study has nothing to summarise")
    rows = pd.concat(parts, ignore_index=True)
    return Study(jobs, rows, keys)
