#!/usr/bin/python3
"""The summary of a study of a million iterations: time and peak memory of
duolocus-summary merging the job tables of a study (--merge) and of it
summarising the merged table, each in a process of its own.

    bench/summary_bench.py [--batch build/duolocus-batch] [--rows 1000000] [--keep DIR]

The study: 20 jobs of ROWS/20 iterations each, a population of 4 (two AABB,
two aabb founders) in which nearly every iteration fixes both genes and
their gene copies within a few generations, so every column of the summary
has values, the program writes the rows in seconds and the figures measure
the summary alone. Goal: the summary of 1,000,000 rows in
under 20 s and 400 MB.
"""

import argparse
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)


def measured(command):
    """Runs command; returns (seconds, peak resident MB of the process)."""
    script = ("import resource, subprocess, sys, time\n"
              "start = time.perf_counter()\n"
              "status = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL).returncode\n"
              "seconds = time.perf_counter() - start\n"
              "peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024\n"
              "print(status, seconds, peak)\n")
    out = subprocess.run([sys.executable, "-c", script, *command], capture_output=True, text=True, check=True)
    status, seconds, peak = out.stdout.split()
    if status != "0":
        sys.exit(f"failed ({status}): {' '.join(command)}")
    return float(seconds), float(peak)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--batch", default=os.path.join(REPO, "build", "duolocus-batch"))
    ap.add_argument("--rows", type=int, default=1_000_000)
    ap.add_argument("--keep", metavar="DIR", help="write the study here and keep it")
    args = ap.parse_args()
    args.batch = os.path.abspath(args.batch)
    jobs = 20
    per_job = args.rows // jobs
    folder = args.keep or tempfile.mkdtemp(prefix="duolocus-bench-")
    os.makedirs(folder, exist_ok=True)
    try:
        study = os.path.join(folder, "big.toml")
        with open(study, "w") as handle:
            handle.write(f"seed = {{ from = 1, to = {jobs} }}\niterations = {per_job}\nmax_generations = 100\n"
                         "map_distance_cM = 20.0\n[founders]\nAABB = 2\naabb = 2\n")
        start = time.perf_counter()
        subprocess.run([args.batch, study, "--quiet"], cwd=folder, check=True)
        print(f"study: {jobs} jobs of {per_job} iterations written in {time.perf_counter() - start:.1f} s")
        tool = [sys.executable, os.path.join(REPO, "tools", "duolocus-summary")]
        merged = os.path.join(folder, "big.csv")
        seconds, peak = measured(tool + ["--merge", merged, os.path.join(folder, "big_index.csv")])
        size = os.path.getsize(merged) / 1e6
        print(f"merge of {jobs * per_job} rows ({size:.0f} MB): {seconds:.1f} s, peak {peak:.0f} MB")
        seconds, peak = measured(tool + [merged, "--csv", os.path.join(folder, "s.csv"),
                                         "--text", os.path.join(folder, "s.txt")])
        verdict = "meets" if seconds < 20 and peak < 400 else "MISSES"
        print(f"summary of the merged table: {seconds:.1f} s, peak {peak:.0f} MB "
              f"({verdict} the goal of 20 s and 400 MB)")
        seconds, peak = measured(tool + [os.path.join(folder, "big_index.csv"), "--by", "run",
                                         "--csv", os.path.join(folder, "s2.csv")])
        print(f"summary from the index (20 job tables and reports): {seconds:.1f} s, peak {peak:.0f} MB")
    finally:
        if not args.keep:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
