"""Runs of the simulator from Python, through the compiled engine.

    result = duolocus.run({"iterations": 200, "map_distance_cM": 10}, seed=3, trajectory=10)
    result.table       # PREFIX.csv as a DataFrame: the same table duolocus-batch writes
    result.summary     # iterations asked for, halted by extinction, fixations per allele
    result.trajectory  # allele and haplotype frequencies, D, heterozygosity every 10 generations

Settings are the study file's keys (duolocus.settings() lists them, with
their ranges and defaults), checked and refused with the study file's
messages (as ValueError). Nested dicts stand for dotted keys:
{"fitness": {"aabb": 0.5}} is {"fitness.aabb": 0.5}.

The engine keeps program-wide state, so a process carries out one run at a
time: do not call run() from several threads. run_many() runs in parallel
in separate processes.
"""

import io
import sys

from . import arguments
from . import catalogue as _catalogue

try:
    from . import _engine
except ImportError as err:  # a checkout without the compiled engine
    _engine = None
    _ENGINE_ERROR = err

try:
    import pandas as pd
except ImportError:
    pd = None


def _require_engine():
    if _engine is None:
        raise ImportError("the compiled engine duolocus._engine is not built: install the package "
                          f"(pip install --no-build-isolation --no-index .) ({_ENGINE_ERROR})")
    return _engine


def catalogue():
    """Every setting as a dict: key, screen letter, label, type, range, default, help, group."""
    return [dict(row) for row in _catalogue.rows()]


def settings():
    """The settings catalogue: one row per study key, screen settings first,
    then the biology-level ones (selection by s and h, founders by size and
    allele frequencies). A DataFrame (a list of dicts without pandas)."""
    rows = catalogue()
    return pd.DataFrame(rows) if pd is not None else list(rows)


def _refused(raw):
    """The engine's refusals as the exception a caller sees."""
    if raw["status"] == 2:
        raise arguments.ArgumentError("\n".join(raw["faults"]) or "the settings were refused")
    if raw["status"] != 0:
        raise RuntimeError("; ".join(raw["faults"]) or f"the run ended with status {raw['status']}")


def _founders(raw):
    """The founders a preview names: counts by genotype, allele and haplotype
    frequencies and their D."""
    genotypes, haplotypes = _catalogue.genotypes(), _catalogue.haplotypes()
    hap = dict(zip(haplotypes, raw["haplotypes"]))
    founders = {"population": raw["population"],
                "counts": dict(zip(genotypes, raw["founders"])),
                "p_A": raw["p_A"], "p_B": raw["p_B"],
                "haplotypes": hap,
                "D": raw.get("D", hap["AB"] * hap["ab"] - hap["Ab"] * hap["aB"])}
    if "phased" in raw:
        # Of the double heterozygotes, those placed in coupling (AB/ab) and
        # in repulsion (Ab/aB); the rest take their phase at random.
        founders["phased"] = dict(zip(("AB_ab", "Ab_aB"), raw["phased"]))
    return founders


def preview(settings=None):
    """What a run of these settings starts from, without running it: a dict
    with the founders ("population", "counts" by genotype, "p_A", "p_B",
    "haplotypes" AB, Ab, aB, ab and their "D"), the fitnesses as the run
    uses them (scaled, by genotype), the immigrants per generation and
    their mix. Refused settings raise ValueError, as run() does.

        duolocus.preview({"population.size": 40, "population.p_A": 0.2})["founders"]["p_A"]
    """
    raw = _require_engine().preview(arguments.settings(settings))
    _refused(raw)
    genotypes = _catalogue.genotypes()
    return {"founders": _founders(raw),
            "fitness": dict(zip(genotypes, raw["fitness"])),
            "immigrants": raw["immigrants"],
            "mix": dict(zip(genotypes, raw["mix"]))}


class RunResult:
    """One run: its table, summary, trajectory and, on request, the files' bytes.

    table       the iteration table (DataFrame, or numpy structured array without pandas)
    summary     one row: iterations asked for, extinct, rows, and how often each allele fixed
    trajectory  the sampled generations (None when no trajectory was asked for)
    report      the text report read back (reports.Report; None without pandas)
    csv_bytes, txt_bytes, trajectory_bytes   with keep_bytes=True: PREFIX.csv, PREFIX.txt and
                PREFIX.traj.csv exactly as duolocus-batch writes them
    founders    what the run started from: counts by genotype, p_A, p_B, haplotypes and D
                (as preview() gives them)
    """

    def __init__(self, settings, seed, raw, keep_bytes):
        self.settings = dict(settings)
        self.seed = seed
        self.founders = None
        self.tallies = dict(raw["tallies"])
        csv, txt, traj = raw["csv"], raw["txt"], raw["trajectory"]
        if keep_bytes:
            self.csv_bytes, self.txt_bytes = csv, txt
            self.trajectory_bytes = traj or None
        else:
            self.csv_bytes = self.txt_bytes = self.trajectory_bytes = None
        self.report = None
        if pd is not None:
            from .reports import read_report
            from .tables import read_trajectory
            from .tables import COLUMNS, _read_rows, public
            # The rows as the tables module keeps them (tables.from_runs
            # gathers runs into a study), and as a plain table.
            self._rows = _read_rows("PREFIX.csv", COLUMNS, lambda values, place, last: 0, True, csv)
            self.table = public(self._rows)
            self.txt_text = txt.decode("utf-8")
            self.report = read_report("PREFIX.txt", self.txt_text)
            self.trajectory = read_trajectory("PREFIX.traj.csv", data=traj) if traj else None
            context = self.report.context
            context["iterations"] = str(self.tallies["iterations"])
            copies = bool(self._rows["_tA"].all()) if len(self._rows) else True
            self.table.attrs.update({"run": "run", "seed": seed, "context": context,
                                     "tallies": self.tallies,
                                     "track_gene_copies": copies})
        else:
            import numpy as np
            self.table = _structured(csv, np)
            self.trajectory = _structured(traj, np) if traj else None
        t = self.tallies
        summary = {"iterations": t["iterations"], "extinct": t["extinct"],
                   "rows": t["iterations"] - t["extinct"],
                   "A_fixed": t["A"], "a_fixed": t["a"], "Alpha_unfixed": t["Alpha none"],
                   "B_fixed": t["B"], "b_fixed": t["b"], "Beta_unfixed": t["Beta none"]}
        self.summary = pd.DataFrame([summary]) if pd is not None else summary

    def summarise(self, with_theory=True):
        """The paper-ready summary of this run (stats.summarise), theory beside it."""
        from .stats import summarise
        return summarise(self.table, with_theory=with_theory)

    def __repr__(self):
        t = self.tallies
        return (f"<duolocus run, seed {self.seed}: {t['iterations']} iterations, {t['extinct']} halted by "
                f"extinction; A fixed {t['A']}, a {t['a']}; B fixed {t['B']}, b {t['b']}>")


def _structured(data, np):
    """A CSV as a numpy structured array (where pandas is missing)."""
    return np.genfromtxt(io.BytesIO(data), delimiter=",", names=True, dtype=None, encoding="utf-8")


def run(settings=None, seed=1, trajectory=0, keep_bytes=False, name="duolocus"):
    """One run of the simulator.

    settings: a dict of study keys (duolocus.settings()); seed: a whole
    number in the catalogue's seed range; trajectory: K > 0 samples every K
    generations and the last of each iteration; keep_bytes: also keep the
    exact bytes of the files; name: the prefix the files would have (the
    report names itself NAME.txt), so that the bytes equal those of a
    program given that prefix. The result's founders are what the run
    started from (see preview()).
    Refused settings and arguments raise ValueError with the study file's
    messages, naming the key or argument."""
    engine = _require_engine()
    seed = arguments.seed(seed)
    trajectory = arguments.trajectory(trajectory)
    keep_bytes = arguments.flag("keep_bytes", keep_bytes)
    name = arguments.prefix(name)
    pairs = arguments.settings(settings)
    start = engine.preview(pairs)
    _refused(start)
    raw = engine.run(pairs, seed, trajectory, name)
    _refused(raw)
    result = RunResult(dict(pairs), seed, raw, keep_bytes)
    result.founders = _founders(start)
    return result


def _check_settings(settings):
    """Refuses settings a run would refuse, without running them."""
    _refused(_require_engine().preview(arguments.settings(settings)))


def _run_one(task):
    settings, seed, trajectory, keep_bytes, name = task
    return run(settings, seed, trajectory, keep_bytes, name)


class _Progress:
    """A progress bar: tqdm's (as a notebook widget when one can be shown),
    else a line of text on standard error."""

    def __init__(self, total, shown):
        self.bar = None
        self.total = total
        self.done = 0
        self.shown = shown
        if not shown:
            return
        try:
            try:
                import ipywidgets  # noqa: F401
                from tqdm.auto import tqdm
            except ImportError:
                from tqdm import tqdm
            self.bar = tqdm(total=total, unit="run", desc="duolocus")
        except ImportError:
            self.bar = None
            self._line()

    def _line(self):
        sys.stderr.write(f"\rduolocus: {self.done}/{self.total} runs")
        sys.stderr.flush()

    def step(self):
        self.done += 1
        if self.bar is not None:
            self.bar.update(1)
        elif self.shown:
            self._line()

    def close(self):
        if self.bar is not None:
            self.bar.close()
        elif self.shown:
            sys.stderr.write("\n")


def run_many(settings_list, seeds=None, trajectory=0, processes=None, keep_bytes=False, progress=True):
    """Many runs in parallel, each in a process of its own (the engine keeps
    program-wide state), with a progress bar; results in the order given.

    settings_list: a list of settings dicts; seeds: a list of as many seeds,
    or one seed for all, or None for 1, 2, 3, ...; processes: how many at
    once (default: the CPUs this process may use)."""
    settings_list, seeds, trajectory, processes, keep_bytes, progress = arguments.many(
        settings_list, seeds, trajectory, processes, keep_bytes, progress, _check_settings)
    n = len(settings_list)
    tasks = [(s, seed, trajectory, keep_bytes, "duolocus") for s, seed in zip(settings_list, seeds)]
    bar = _Progress(n, progress)
    results = [None] * n
    try:
        if processes == 1:
            for k, task in enumerate(tasks):
                results[k] = _run_one(task)
                bar.step()
        else:
            import multiprocessing
            from concurrent.futures import ProcessPoolExecutor, as_completed
            # fork: the workers inherit the loaded package; each run starts
            # from a fresh program, so nothing carries over between runs.
            context = multiprocessing.get_context("fork" if sys.platform.startswith("linux") else None)
            with ProcessPoolExecutor(max_workers=processes, mp_context=context) as pool:
                futures = {pool.submit(_run_one, task): k for k, task in enumerate(tasks)}
                for future in as_completed(futures):
                    results[futures[future]] = future.result()
                    bar.step()
    finally:
        bar.close()
    return results
