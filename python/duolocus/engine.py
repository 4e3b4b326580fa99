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

import concurrent.futures
import io
import os
import signal
import sys
import threading
import zlib

from . import arguments
from . import catalogue as _catalogue

try:
    from . import _engine
except ImportError as err:  # a checkout without the compiled engine
    _engine = None
    _ENGINE_ERROR = err
else:
    if hasattr(os, "register_at_fork"):
        os.register_at_fork(after_in_child=_engine.free_after_fork)

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
    """Every setting a run takes, as the shipped catalogue lists it.

    Returns:
        list of dict: per setting its key, screen letter, label, type, range
        (lo, hi, choices and in words), default, help and group.
    """
    return [dict(row) for row in _catalogue.rows()]


def settings():
    """The settings catalogue as a table: one row per study key, screen
    settings first, then the biology-level ones (selection by s and h,
    founders by size and allele frequencies).

    Returns:
        DataFrame: the catalogue (a list of dicts without pandas).

    Example:
        >>> duolocus.settings().set_index("key").loc["map_distance_cM", "range"]
    """
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
    """What a run of these settings starts from, without running it.

    Args:
        settings (dict): study keys and their values, as run() takes them.

    Returns:
        dict: "founders" (the "population", "counts" by genotype, "p_A",
        "p_B", "haplotypes" AB, Ab, aB, ab and their "D"), "fitness" as the
        run uses them (scaled, by genotype), "immigrants" per generation and
        their "mix".

    Raises:
        ValueError: refused settings, as run() refuses them.

    Example:
        >>> duolocus.preview({"population.size": 40, "population.p_A": 0.2})["founders"]["p_A"]
        0.2
    """
    raw = _require_engine().preview(arguments.settings(settings))
    _refused(raw)
    genotypes = _catalogue.genotypes()
    return {"founders": _founders(raw),
            "fitness": dict(zip(genotypes, raw["fitness"])),
            "immigrants": raw["immigrants"],
            "mix": dict(zip(genotypes, raw["mix"]))}


_TALLY_NAMES = ("iterations", "extinct", "A", "a", "Alpha none", "B", "b", "Beta none")


class RunResult:
    """One run: its table, summary, trajectory and, on request, the files' bytes.

    A result keeps the run's files as compressed bytes (about a kilobyte for
    a small run) and reads them into tables the first time they are asked
    for, so that a list of 100,000 results from run_many fits in memory;
    results pickle as those bytes.

    Attributes:
        settings (dict): the settings as given, each key as the catalogue
            spells it.
        seed (int): the seed of the run.
        tallies (dict): iterations asked for, extinct (halted by extinction,
            no row), and how often each allele fixed ("A", "a", "Alpha none",
            "B", "b", "Beta none").
        table: the iteration table, PREFIX.csv's 28 columns (a DataFrame; a
            numpy structured array without pandas).
        summary: one row: iterations, extinct, rows and the fixations per
            allele (a DataFrame; a dict without pandas).
        trajectory: the sampled generations (None when no trajectory was
            asked for).
        report (reports.Report): the text report read back (None without
            pandas).
        csv_bytes, txt_bytes, trajectory_bytes (bytes): with keep_bytes=True,
            PREFIX.csv, PREFIX.txt and PREFIX.traj.csv exactly as
            duolocus-batch writes them; None otherwise.
        founders (dict): what the run started from: counts by genotype, p_A,
            p_B, haplotypes and D (as preview() gives them).

    Example:
        >>> result = duolocus.run({"iterations": 20}, seed=3)
        >>> result.tallies["iterations"], len(result.table) + result.tallies["extinct"]
        (20, 20)
    """

    __slots__ = ("settings", "seed", "_tallies", "_sizes", "_packed", "_keep", "__dict__")

    def __init__(self, settings, seed, raw, keep_bytes):
        self.settings = dict(settings)
        self.seed = seed
        self.founders = None
        tallies = raw["tallies"]
        self._tallies = tuple(int(tallies[name]) for name in _TALLY_NAMES)
        # The three files in one compressed block: a report compresses to
        # a third, and 100,000 results are held at once.
        files = (raw["csv"], raw["txt"], raw["trajectory"] or b"")
        self._sizes = tuple(len(data) for data in files)
        self._packed = zlib.compress(b"".join(files), 6)
        self._keep = bool(keep_bytes)

    # Pickled (to and from worker processes) as the packed files alone: the
    # tables read from them are made again where they are wanted.
    def __getstate__(self):
        return (self.settings, self.seed, self._tallies, self._sizes, self._packed, self._keep)

    def __setstate__(self, state):
        (self.settings, self.seed, self._tallies, self._sizes, self._packed, self._keep) = state

    def _files(self):
        data = zlib.decompress(self._packed)
        csv_end = self._sizes[0]
        txt_end = csv_end + self._sizes[1]
        return data[:csv_end], data[csv_end:txt_end], data[txt_end:] or None

    @property
    def tallies(self):
        return dict(zip(_TALLY_NAMES, self._tallies))

    @property
    def csv_bytes(self):
        return self._files()[0] if self._keep else None

    @property
    def txt_bytes(self):
        return self._files()[1] if self._keep else None

    @property
    def trajectory_bytes(self):
        return self._files()[2] if self._keep else None

    def _read(self):
        """Reads the files into tables, once."""
        if "table" in self.__dict__:
            return self.__dict__
        done = self.__dict__
        csv, txt, traj = self._files()
        if pd is not None:
            from .reports import read_report
            from .tables import read_trajectory
            from .tables import COLUMNS, _read_rows, public
            # The rows as the tables module keeps them (tables.from_runs
            # gathers runs into a study), and as a plain table.
            rows = _read_rows("PREFIX.csv", COLUMNS, lambda values, place, last: 0, True, csv)
            table = public(rows)
            txt_text = txt.decode("utf-8")
            report = read_report("PREFIX.txt", txt_text)
            context = report.context
            context["iterations"] = str(self._tallies[0])
            copies = bool(rows["_tA"].all()) if len(rows) else True
            table.attrs.update({"run": "run", "seed": self.seed, "context": context,
                                "tallies": self.tallies, "track_gene_copies": copies})
            done.update(_rows=rows, txt_text=txt_text, report=report,
                        trajectory=read_trajectory("PREFIX.traj.csv", data=traj) if traj else None)
        else:
            import numpy as np
            done.update(report=None, trajectory=_structured(traj, np) if traj else None)
            table = _structured(csv, np)
        done["table"] = table
        return done

    def __getattr__(self, name):
        # Only for what _read makes: everything else is a plain attribute.
        if name in ("table", "_rows", "txt_text", "report", "trajectory"):
            return self._read()[name]
        raise AttributeError(f"{type(self).__name__!r} object has no attribute {name!r}")

    @property
    def summary(self):
        t = self.tallies
        summary = {"iterations": t["iterations"], "extinct": t["extinct"],
                   "rows": t["iterations"] - t["extinct"],
                   "A_fixed": t["A"], "a_fixed": t["a"], "Alpha_unfixed": t["Alpha none"],
                   "B_fixed": t["B"], "b_fixed": t["b"], "Beta_unfixed": t["Beta none"]}
        return pd.DataFrame([summary]) if pd is not None else summary

    def summarise(self, with_theory=True):
        """The paper-ready summary of this run, theory beside it.

        Args:
            with_theory (bool): add what population genetics expects where a
                law applies (the X_p_theory and X_time_theory columns).

        Returns:
            DataFrame: one row, the columns of stats.summarise.

        Example:
            >>> duolocus.run({"iterations": 100}, seed=5).summarise()["A_p"]
        """
        from .stats import summarise
        return summarise(self.table, with_theory=with_theory)

    def __repr__(self):
        t = self.tallies
        return (f"<duolocus run, seed {self.seed}: {t['iterations']} iterations, {t['extinct']} halted by "
                f"extinction; A fixed {t['A']}, a {t['a']}; B fixed {t['B']}, b {t['b']}>")


def _structured(data, np):
    """A CSV as a numpy structured array (where pandas is missing)."""
    return np.genfromtxt(io.BytesIO(data), delimiter=",", names=True, dtype=None, encoding="utf-8")


def run(settings=None, seed=1, trajectory=0, keep_bytes=False, name="duolocus", progress=False):
    """One run of the simulator.

    The engine lets other threads go on while it runs, and Ctrl-C (a
    notebook's "interrupt kernel") ends the run within a second with
    KeyboardInterrupt; nothing is written, and the next run starts afresh.
    The engine keeps program-wide state: while one thread runs, a run asked
    for by another thread is refused with RuntimeError (use run_many for
    runs in parallel).

    Args:
        settings (dict): study keys and their values (duolocus.settings()
            lists them); a nested dict stands for dotted keys.
        seed (int): a whole number in the seed range of the catalogue
            (duolocus.catalogue.limits()).
        trajectory (int): K > 0 samples the population every K generations
            and at the last generation of each iteration; 0 for none.
        keep_bytes (bool): also keep the exact bytes of the files.
        name (str): the prefix the files would have (the report names itself
            NAME.txt), so that the bytes equal those of duolocus-batch given
            that prefix.
        progress: True shows a progress bar of iterations and generations
            (tqdm's, a widget in a notebook); a callable is called as
            progress(iterations done, iterations, generation) about every
            50 ms and once at the end; False shows nothing.

    Returns:
        RunResult: the run's table, summary, trajectory and report, and the
        founders it started from (see preview()).

    Raises:
        ValueError: a setting or argument is refused (the study file's
            message, naming the key).
        RuntimeError: another thread is running the engine.
        KeyboardInterrupt: the run was interrupted.

    Example:
        >>> result = duolocus.run({"iterations": 200, "map_distance_cM": 10}, seed=3, trajectory=10)
        >>> result.table.shape
        (200, 28)
    """
    engine = _require_engine()
    seed = arguments.seed(seed)
    trajectory = arguments.trajectory(trajectory)
    keep_bytes = arguments.flag("keep_bytes", keep_bytes)
    name = arguments.prefix(name)
    report = _progress_callback(progress)
    pairs = arguments.settings(settings)
    start = engine.preview(pairs)
    _refused(start)
    bar = _Bar(_iterations_of(pairs), "iteration") if report is True else None
    try:
        raw = engine.run(pairs, seed, trajectory, name, bar.iteration if bar is not None else report)
    finally:
        if bar is not None:
            bar.close()
    _refused(raw)
    result = RunResult(dict(pairs), seed, raw, keep_bytes)
    result.founders = _founders(start)
    return result


def _check_settings(settings):
    """Refuses settings a run would refuse, without running them."""
    _refused(_require_engine().preview(arguments.settings(settings)))


def _progress_callback(progress):
    """progress= as run() takes it: True (a bar), None (nothing) or a callable."""
    if progress is None or progress is False:
        return None
    if progress is True or callable(progress):
        return progress
    raise ValueError(f"progress = {progress!r}; allowed: true/false, or a function "
                     "progress(iterations done, iterations, generation)")


def _iterations_of(pairs):
    """The iterations a run is asked for: its setting, else the catalogue's default."""
    for key, value in pairs:
        if key == "iterations":
            return int(value)
    return int(next(row["defaultValue"] for row in catalogue() if row["key"] == "iterations"))


class _Bar:
    """A progress bar: tqdm's (as a notebook widget when one can be shown),
    else a line of text on standard error."""

    def __init__(self, total, unit):
        self.bar = None
        self.total = total
        self.unit = unit
        self.done = 0
        self.generation = None
        try:
            try:
                import ipywidgets  # noqa: F401
                from tqdm.auto import tqdm
            except ImportError:
                from tqdm import tqdm
            self.bar = tqdm(total=total, unit=unit, desc="duolocus")
        except ImportError:
            self._line()

    def _line(self):
        where = f", generation {self.generation}" if self.generation is not None else ""
        sys.stderr.write(f"\rduolocus: {self.done}/{self.total} {self.unit}s{where}   ")
        sys.stderr.flush()

    def to(self, done, generation=None):
        """Moves the bar to done (never back)."""
        step = done - self.done
        self.generation = generation
        if step < 0:
            return
        self.done = done
        if self.bar is not None:
            if generation is not None:
                self.bar.set_postfix_str(f"generation {generation}", refresh=False)
            self.bar.update(step)
        else:
            self._line()

    def iteration(self, done, total, generation):
        """The engine's progress callback."""
        self.to(done, generation)

    def close(self):
        if self.bar is not None:
            self.bar.close()
        else:
            sys.stderr.write("\n")
            sys.stderr.flush()


# Threads of one worker process (a dask worker's, a thread pool's) take
# turns at the engine; a user's own threads are refused instead (run).
_TURNS = threading.Lock()


def _run_one(task):
    """One task of run_many, in whichever process runs it."""
    settings, seed, trajectory, keep_bytes, name = task[:5]
    with _TURNS:
        return run(settings, seed, trajectory, keep_bytes, name, progress=_worker_progress(task))


# Worker processes of run_many's own pool: where each run reports the
# iterations it has done (one slot per run, shared with the parent).
_SLOTS = None


def _worker_progress(task):
    if _SLOTS is None or len(task) < 6:
        return None
    slot = task[5]

    def report(done, total, generation):
        _SLOTS[slot] = done
    return report


def _pool_start(slots):
    global _SLOTS
    _SLOTS = slots
    # Ctrl-C is the parent's to handle: it stops the workers.
    signal.signal(signal.SIGINT, signal.SIG_IGN)


def _pool_chunk(items):
    """A few tasks at once: many small runs would spend their time passing
    messages one by one."""
    return [(k, _run_one(task + (k,))) for k, task in items]


def run_many(settings_list, seeds=None, trajectory=0, processes=None, keep_bytes=False, progress=True,
             executor=None, on_result=None):
    """Many runs in parallel, each in a process of its own (the engine keeps
    program-wide state), with a progress bar of the iterations of all runs.

    Ctrl-C stops every worker and raises KeyboardInterrupt. Results are kept
    as their files, compressed, until their tables are asked for, so 100,000
    small runs take about 200 MB; on_result hands each out as it comes
    instead, keeping none.

    Args:
        settings_list (list of dict): one settings dict per run (as run()
            takes them).
        seeds: a list of as many seeds, one seed for all, or None for
            1, 2, 3, ...
        trajectory (int): as run()'s, for every run.
        processes (int): how many runs at once on this machine (default: the
            CPUs this process may use); ignored with an executor.
        keep_bytes (bool): as run()'s.
        progress (bool): show a progress bar.
        executor (concurrent.futures.Executor): run the runs there instead of
            in processes of this machine: a dask.distributed
            Client(...).get_executor() reaches a cluster (Slurm through
            dask-jobqueue). Its workers must run each task in a process that
            has duolocus installed; threads of one worker take turns.
        on_result: a function on_result(index, result) called in this process
            as each run arrives (in the order they finish); then run_many
            keeps nothing and returns None.

    Returns:
        list of RunResult: in the order given (None with on_result).

    Example:
        >>> sweep = [{"iterations": 100, "map_distance_cM": d} for d in (0, 5, 50)]
        >>> results = duolocus.run_many(sweep, seeds=[1, 2, 3], processes=2)
        >>> [r.tallies["A"] for r in results]
    """
    settings_list, seeds, trajectory, processes, keep_bytes, progress = arguments.many(
        settings_list, seeds, trajectory, processes, keep_bytes, progress, _check_settings)
    n = len(settings_list)
    if executor is not None and not isinstance(executor, concurrent.futures.Executor):
        raise arguments.ArgumentError(f"executor = {executor!r}; allowed: a concurrent.futures.Executor, "
                                      "such as dask.distributed's Client(...).get_executor()")
    if on_result is not None and not callable(on_result):
        raise arguments.ArgumentError(f"on_result = {on_result!r}; allowed: a function "
                                      "on_result(index, result)")
    tasks = [(s, seed, trajectory, keep_bytes, "duolocus") for s, seed in zip(settings_list, seeds)]
    iterations = [_iterations_of(arguments.settings(s)) for s in settings_list]
    results = [None] * n if on_result is None else None

    def arrived(k, result):
        if on_result is None:
            results[k] = result
        else:
            on_result(k, result)

    bar = _Bar(sum(iterations), "iteration") if progress else None
    try:
        if executor is not None:
            _on_executor(executor, tasks, iterations, arrived, bar)
        elif processes == 1:
            done = 0
            for k, task in enumerate(tasks):
                report = None
                if bar is not None:
                    def report(now, total, generation, before=done):
                        bar.to(before + now, generation)
                arrived(k, run(*task, progress=report))
                done += iterations[k]
        else:
            _on_pool(processes, tasks, iterations, arrived, bar)
    finally:
        if bar is not None:
            bar.close()
    return results


def _on_pool(processes, tasks, iterations, arrived, bar):
    """run_many on processes of this machine, forked so that they start with
    the package loaded; each run starts from a fresh program anyway."""
    import multiprocessing
    import numpy as np
    context = multiprocessing.get_context("fork" if sys.platform.startswith("linux") else None)
    slots = context.RawArray("q", max(1, len(tasks)))
    counts = np.frombuffer(slots, dtype=np.int64)
    finished = 0
    size = max(1, min(32, len(tasks) // (processes * 16)))
    items = list(enumerate(tasks))
    chunks = [items[at:at + size] for at in range(0, len(items), size)]
    pool = context.Pool(processes, initializer=_pool_start, initargs=(slots,))
    try:
        pending = pool.imap_unordered(_pool_chunk, chunks)
        for _ in range(len(chunks)):
            while True:
                try:
                    arrivals = pending.next(timeout=0.1)
                    break
                except multiprocessing.TimeoutError:
                    if bar is not None:
                        bar.to(finished + int(counts.sum()))
            for k, result in arrivals:
                counts[k] = 0
                finished += iterations[k]
                arrived(k, result)
            if bar is not None:
                bar.to(finished + int(counts.sum()))
        pool.close()
    except BaseException:
        pool.terminate()
        raise
    finally:
        pool.join()


def _on_executor(executor, tasks, iterations, arrived, bar):
    """run_many through an Executor: at most a window of tasks handed over
    at a time, so that 100,000 runs do not wait as 100,000 futures; Ctrl-C
    cancels what has not started (the executor itself is the caller's)."""
    import queue
    window = 1024
    waiting = {}
    finished_futures = queue.SimpleQueue()
    upcoming = iter(enumerate(tasks))
    finished = 0
    try:
        while True:
            while len(waiting) < window:
                item = next(upcoming, None)
                if item is None:
                    break
                future = executor.submit(_run_one, item[1])
                waiting[future] = item[0]
                future.add_done_callback(finished_futures.put)
            if not waiting:
                return
            try:
                future = finished_futures.get(timeout=0.2)
            except queue.Empty:
                continue
            k = waiting.pop(future)
            arrived(k, future.result())
            finished += iterations[k]
            if bar is not None:
                bar.to(finished)
    except BaseException:
        for future in waiting:
            future.cancel()
        raise
