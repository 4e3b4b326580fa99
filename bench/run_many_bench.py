#!/usr/bin/env python3
"""run_many at scale: RUNS small runs kept as results in this process, what
they take in memory (the results alone, and the process at its peak) and
how long they take; then the same runs handed out through on_result, kept
as nothing but a count. Goal: 100,000 small runs well under 1 GB.

    bench/run_many_bench.py [--runs 100000] [--processes 2] [--engine-dir build/python/duolocus]
"""

import argparse
import gc
import os
import resource
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def peak_mb():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0


def resident_mb():
    with open("/proc/self/statm") as handle:
        return int(handle.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") / 2**20


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=100000)
    parser.add_argument("--processes", type=int, default=2)
    parser.add_argument("--engine-dir", help="where CMake put the compiled engine (build/python/duolocus), "
                                             "for the package of the checkout")
    args = parser.parse_args()

    sys.path.insert(0, os.path.join(HERE, "..", "python"))
    import duolocus
    if args.engine_dir:
        duolocus.__path__.append(os.path.abspath(args.engine_dir))
    small = {"iterations": 2, "max_generations": 40, "map_distance_cM": 10}
    settings = [dict(small, **{"selection.alpha.s": (k % 10) / 100}) for k in range(args.runs)]
    seeds = [1 + k % 32000 for k in range(args.runs)]
    # What any run_many loads, loaded before the measure starts.
    duolocus.run_many(settings[:4], seeds=seeds[:4], processes=args.processes, progress=False)[0].table
    gc.collect()
    before = resident_mb()
    started = time.monotonic()
    results = duolocus.run_many(settings, seeds=seeds, processes=args.processes, progress=False)
    took = time.monotonic() - started
    gc.collect()
    kept = resident_mb() - before
    print(f"{args.runs} runs kept as results, {args.processes} processes: {took:.1f} s "
          f"({args.runs / took:.0f} runs/s)")
    print(f"  the results take {kept:.1f} MB ({kept * 2**20 / args.runs:.0f} bytes a run); "
          f"the process peaked at {peak_mb():.0f} MB (held {before:.0f} MB before the runs)")
    sample = results[args.runs // 2]
    assert len(sample.table) + sample.tallies["extinct"] == 2
    del results
    gc.collect()

    count = [0]

    def arrived(k, result):
        count[0] += 1
    started = time.monotonic()
    duolocus.run_many(settings, seeds=seeds, processes=args.processes, progress=False, on_result=arrived)
    took = time.monotonic() - started
    assert count[0] == args.runs
    print(f"{args.runs} runs handed out through on_result: {took:.1f} s; the process peaked at {peak_mb():.0f} MB")
    goal = 1024
    print(f"goal: well under {goal} MB: {'met' if peak_mb() < goal / 2 else 'NOT met'}")


if __name__ == "__main__":
    sys.exit(main())
