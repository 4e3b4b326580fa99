"""Duolocus from Python: runs of the two-locus simulator, their tables,
summaries, theory and figures.

    import duolocus
    result = duolocus.run({"iterations": 50, "map_distance_cM": 10}, seed=3)
    result.table        # the iteration table, as duolocus-batch writes PREFIX.csv
    result.summary      # iterations, extinctions and fixations of the run
    duolocus.summarise(result.table)       # probabilities and times with SE and 95% intervals

Modules, one job each: tables (reading and merging the CSV files), reports
(the PREFIX.txt report), stats (summaries), theory (what population
genetics expects), figures (matplotlib), cli (duolocus-summary and
duolocus-plot), engine (the compiled simulator).

Importing the package loads nothing heavy: numpy, pandas, matplotlib and the
compiled engine are loaded by the first name that needs them, so the theory
module works under a bare Python.
"""

__version__ = "6.1"

_LAZY = {
    "run": "engine", "run_many": "engine", "settings": "engine", "RunResult": "engine",
    "preview": "engine",
    "read_table": "tables", "read_study": "tables", "read_trajectory": "tables",
    "read_report": "reports",
    "summarise": "stats",
}


def __getattr__(name):
    import importlib
    if name in _LAZY:
        module = importlib.import_module(f"{__name__}.{_LAZY[name]}")
        return getattr(module, name)
    if name in ("tables", "reports", "stats", "theory", "figures", "cli", "engine", "files", "arguments",
                "catalogue"):
        return importlib.import_module(f"{__name__}.{name}")
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


def __dir__():
    return sorted(list(globals()) + list(_LAZY) + ["tables", "reports", "stats", "theory", "figures",
                                                   "cli", "engine", "arguments", "catalogue"])
