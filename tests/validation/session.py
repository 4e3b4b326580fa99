"""Drives the real console program: types a whole session, reads PREFIX.csv.

A session is one execution of the program.  Each run in it is described by
its full settings; the typed answers move the settings screen from what the
previous run left to what the next run needs, so several runs can share an
execution (the random table then continues from run to run).
"""

from __future__ import annotations

import csv
import os
import subprocess
import tempfile
from typing import Dict, List, Optional, Sequence

DEFAULT_POP = (10, 20, 10, 20, 40, 20, 10, 20, 10)


def decimal(x: float) -> str:
    """A decimal the program accepts: digits and one point, no exponent."""
    if x < 0:
        raise ValueError("the program takes no negative numbers")
    text = "%.12f" % x
    text = text.rstrip("0")
    return text + "0" if text.endswith(".") else text


class Settings:
    """Everything a run depends on; defaults are those of a fresh program."""

    def __init__(self, pop: Sequence[int] = DEFAULT_POP,
                 fitness: Sequence[float] = (1.0,) * 9,
                 mutation: Sequence[float] = (0.0, 0.0, 0.0, 0.0),
                 cm: float = 0.0, rule: int = 1,
                 migration: Optional[Sequence[float]] = None, immigrants: float = 0.0,
                 iterations: int = 1, generations: int = 30000,
                 track: bool = True, stop: bool = True):
        self.pop = tuple(int(c) for c in pop)
        self.fitness = tuple(float(w) for w in fitness)
        self.mutation = tuple(float(m) for m in mutation)
        self.cm = float(cm)
        self.rule = int(rule)
        # the eight proportions AABB .. aaBb; aabb takes what remains
        self.migration = None if migration is None else tuple(float(x) for x in migration)
        self.immigrants = float(immigrants)
        self.iterations = int(iterations)
        self.generations = int(generations)
        self.track = bool(track) and migration is None
        self.stop = bool(stop)
        if not 1 <= self.iterations <= 50000:
            raise ValueError("iterations must be 1 to 50000")
        if not 1 <= self.generations <= 9999999:
            raise ValueError("generations must be 1 to 9999999")
        if max(self.fitness) != 1.0:
            raise ValueError("give fitnesses with the largest at 1.0 (the program rescales)")

    @property
    def size(self) -> int:
        return sum(self.pop)


def answers(current: Settings, target: Settings) -> List[str]:
    """The words that turn the screen from `current` into `target` and start
    the run.  Start checks never fail on the way: the population is set
    before migration, and every population used has fertile pairs."""
    w: List[str] = []
    if target.pop != current.pop:
        w += ["P"] + [str(c) for c in target.pop]
    if target.fitness != current.fitness:
        w += ["W"] + [decimal(x) for x in target.fitness]
    for key, old, new in zip("1234", current.mutation, target.mutation):
        if old != new:
            w += [key, decimal(new)]
    if target.cm != current.cm:
        w += ["L", decimal(target.cm)]
    # F steps allowed (1) -> monogamy (2) -> not allowed (0) -> allowed
    order = [1, 2, 0]
    steps = (order.index(target.rule) - order.index(current.rule)) % 3
    w += ["F"] * steps
    track = current.track
    if (target.migration, target.immigrants) != (current.migration, current.immigrants):
        if current.migration is not None:
            w += ["D"]
        if target.migration is not None:
            w += ["D"] + [decimal(x) for x in target.migration] + [decimal(target.immigrants)]
            if track:
                w += ["C"]  # the note that tracking is now off waits for C
                track = False
    if target.track != track:
        w += ["G"]
    if target.stop != current.stop:
        w += ["V"]
    if target.iterations != current.iterations:
        w += ["I", str(target.iterations)]
    if target.generations != current.generations:
        w += ["M", str(target.generations)]
    return w + ["C"]


class RunResult:
    def __init__(self, rows: List[Dict[str, str]], report: str):
        self.rows = rows
        self.report = report

    def column(self, name: str) -> List[str]:
        return [r[name] for r in self.rows]

    def floats(self, name: str) -> List[float]:
        return [float(r[name]) for r in self.rows]


class ProgramError(RuntimeError):
    pass


def run_session(program: str, runs: Sequence[Settings], seeds: Sequence[int],
                timeout: float = 3000.0) -> List[RunResult]:
    """Type one session of len(runs) runs into the program and return each
    run's table.  Every run must finish with one row per iteration: the
    scenarios use no settings under which an iteration can die out."""
    if len(runs) != len(seeds):
        raise ValueError("one seed per run")
    words: List[str] = []
    current = Settings()
    for k, (target, seed) in enumerate(zip(runs, seeds)):
        if not 1 <= seed <= 32767:
            raise ValueError("seeds are 1 to 32767")
        if k:
            words.append("Y")
        words += ["run%d" % k, str(seed)]
        words += answers(current, target)
        current = target
    words.append("N")
    with tempfile.TemporaryDirectory(prefix="duoval") as tmp:
        with open(os.path.join(tmp, "console.txt"), "w") as console:
            proc = subprocess.run([os.path.abspath(program)], input="\n".join(words) + "\n",
                                  stdout=console, stderr=subprocess.STDOUT,
                                  cwd=tmp, universal_newlines=True, timeout=timeout)
        with open(os.path.join(tmp, "console.txt")) as console:
            tail = console.read()[-2000:]
        if proc.returncode != 0 or "done." not in tail:
            raise ProgramError("the session did not end normally:\n" + tail)
        results = []
        for k, target in enumerate(runs):
            with open(os.path.join(tmp, "run%d.csv" % k), newline="") as f:
                rows = list(csv.DictReader(f))
            with open(os.path.join(tmp, "run%d.txt" % k)) as f:
                report = f.read()
            check_report(report, target)
            if len(rows) != target.iterations:
                raise ProgramError("run %d: %d rows for %d iterations" %
                                   (k, len(rows), target.iterations))
            results.append(RunResult(rows, report))
    return results


def check_report(report: str, s: Settings) -> None:
    """The text report repeats the settings: a typed answer that went astray
    shows up here instead of as a wrong statistic."""
    rule_text = {0: "Self-fertilization not allowed", 1: "Self-fertilization allowed",
                 2: "Monogamy enforced"}[s.rule]
    expect = [
        "Total Population Size: %d" % s.size,
        "LINKAGE BETWEEN A & B GENES: %.7f cM" % s.cm,
        "FERTILIZATION:  " + rule_text,
        "MAXIMUM NUMBER OF GENERATIONS PER ITERATION: %d" % s.generations,
        "ITERATIONS STOPPED AFTER FIXATION: " + ("Yes" if s.stop else "No"),
        "A to a: %.8f" % s.mutation[0],
        "b to B: %.8f" % s.mutation[3],
    ]
    if s.migration is None:
        expect.append("MIGRATION: none")
    else:
        expect.append("MIGRATION: Average number of immigrants/generation: %.5f" % s.immigrants)
    for line in expect:
        if line not in report:
            raise ProgramError("the run's report lacks %r: the session went astray" % line)
