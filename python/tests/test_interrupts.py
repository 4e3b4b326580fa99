"""The engine as a notebook uses it: Ctrl-C ends a run and the next one
works, other threads go on while it runs, a second thread is refused, the
progress of a run is reported as it goes, and run_many stops its workers."""

import os
import signal
import subprocess
import sys
import textwrap
import threading
import time

import pytest

from conftest import PACKAGE_ROOT

import duolocus

try:
    from duolocus import _engine  # noqa: F401
except ImportError:
    pytestmark = pytest.mark.skip(reason="the compiled engine is not built (pip install the package)")

# Runs for minutes unless interrupted: mutation keeps both alleles in play.
LONG = {"iterations": 50000, "max_generations": 9999999, "mutation.A_to_a": 0.01, "mutation.a_to_A": 0.01}
# A few seconds on a slow machine, less on a quick one.
SECONDS = {"iterations": 300, "max_generations": 3000, "mutation.A_to_a": 0.01, "mutation.a_to_A": 0.01}


def python_child(code, cwd=None):
    """A Python running code, the package importable as under test; its
    lines are read as they come."""
    env = dict(os.environ, PYTHONUNBUFFERED="1")
    if os.environ.get("DUOLOCUS_TEST_INSTALLED") != "1":
        env["PYTHONPATH"] = PACKAGE_ROOT
    return subprocess.Popen([sys.executable, "-c", textwrap.dedent(code)], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, env=env, cwd=cwd)


def rest_of(child, limit):
    """What the child prints until it ends (after lines read one by one:
    communicate() would miss what readline has buffered)."""
    child.wait(timeout=limit)
    return child.stdout.read(), child.stderr.read()


def wait_for_line(child, line, limit=120):
    start = time.monotonic()
    while time.monotonic() - start < limit:
        got = child.stdout.readline()
        if got.strip() == line:
            return
        if got == "" and child.poll() is not None:
            break
    child.kill()
    raise AssertionError(f"the child never printed {line!r}: {child.stderr.read()}")


class TestCtrlC:
    def test_sigint_ends_a_long_run_and_the_next_run_works(self, tmp_path):
        child = python_child(cwd=tmp_path, code=f"""
            import time, duolocus
            print("running", flush=True)
            try:
                duolocus.run({LONG!r}, seed=1)
                print("finished")
            except KeyboardInterrupt:
                print("interrupted", flush=True)
            print(duolocus.run({{"iterations": 50, "map_distance_cM": 10}}, seed=3).table.shape, flush=True)
        """)
        wait_for_line(child, "running")
        time.sleep(4)
        child.send_signal(signal.SIGINT)
        sent = time.monotonic()
        wait_for_line(child, "interrupted")
        assert time.monotonic() - sent < 2.0
        out, err = rest_of(child, 120)
        assert out.strip() == "(50, 28)", err
        assert child.returncode == 0, err
        # Nothing was written where the run ran.
        assert os.listdir(tmp_path) == []

    def test_run_many_stops_its_workers(self):
        child = python_child(f"""
            import multiprocessing, duolocus
            print("running", flush=True)
            try:
                duolocus.run_many([{LONG!r}] * 4, processes=2, progress=False)
            except KeyboardInterrupt:
                print("interrupted", flush=True)
            print(len(multiprocessing.active_children()), flush=True)
        """)
        wait_for_line(child, "running")
        time.sleep(3)
        child.send_signal(signal.SIGINT)
        sent = time.monotonic()
        wait_for_line(child, "interrupted")
        assert time.monotonic() - sent < 5.0
        out, err = rest_of(child, 60)
        assert out.strip() == "0", err


class TestThreads:
    def test_another_thread_keeps_ticking_during_a_run(self):
        gaps, stop = [], threading.Event()

        def tick():
            last = time.monotonic()
            while not stop.is_set():
                time.sleep(0.01)
                now = time.monotonic()
                gaps.append(now - last)
                last = now
        ticker = threading.Thread(target=tick)
        ticker.start()
        try:
            started = time.monotonic()
            duolocus.run(SECONDS, seed=2)
            took = time.monotonic() - started
        finally:
            stop.set()
            ticker.join()
        assert took > 0.5, "the run was too short to tell"
        assert max(gaps) < 0.5
        assert len(gaps) > took / 0.1

    def test_a_second_thread_is_refused_and_the_first_run_is_untouched(self):
        alone = duolocus.run(SECONDS, seed=4, keep_bytes=True)
        refusals, second_started = [], threading.Event()

        def second():
            second_started.set()
            try:
                duolocus.run({"iterations": 2}, seed=1)
            except RuntimeError as err:
                refusals.append(str(err))

        def start_second(done, total, generation):
            if not second_started.is_set():
                other = threading.Thread(target=second)
                other.start()
                other.join()
        together = duolocus.run(SECONDS, seed=4, keep_bytes=True, progress=start_second)
        assert len(refusals) == 1 and "another thread is running the engine" in refusals[0]
        assert together.csv_bytes == alone.csv_bytes and together.txt_bytes == alone.txt_bytes
        # The engine is free again.
        assert duolocus.run({"iterations": 2}, seed=1).tallies["iterations"] == 2


    def test_run_many_from_another_thread_during_a_run_is_refused_then_works(self):
        # run_many checks its settings with the engine before it forks: while
        # another thread runs, it is refused at once, with what to do.
        refusals, asked = [], threading.Event()

        def sweep():
            try:
                duolocus.run_many([{"iterations": 3}] * 2, seeds=[1, 2], processes=2, progress=False)
            except RuntimeError as err:
                refusals.append(str(err))

        def start_sweep(done, total, generation):
            if not asked.is_set():
                asked.set()
                other = threading.Thread(target=sweep)
                other.start()
                other.join()
        duolocus.run(SECONDS, seed=4, progress=start_sweep)
        assert len(refusals) == 1 and "another thread is running the engine" in refusals[0]
        # Afterwards its workers, forked from this process, find the engine free.
        wanted = [duolocus.run({"iterations": 3}, seed=s, keep_bytes=True).csv_bytes for s in (1, 2)]
        got = duolocus.run_many([{"iterations": 3}] * 2, seeds=[1, 2], processes=2, keep_bytes=True,
                                progress=False)
        assert [r.csv_bytes for r in got] == wanted

    def test_a_run_cannot_start_from_inside_a_run(self):
        def again(done, total, generation):
            duolocus.run({"iterations": 2}, seed=1)
        with pytest.raises(RuntimeError, match="already under way in this thread"):
            duolocus.run(SECONDS, seed=3, progress=again)
        assert duolocus.run({"iterations": 2}, seed=1).tallies["iterations"] == 2


class TestProgress:
    def test_callback_sees_iterations_go_up_to_the_end_and_changes_nothing(self):
        seen = []
        watched = duolocus.run(SECONDS, seed=6, keep_bytes=True, trajectory=50,
                               progress=lambda done, total, gen: seen.append((done, total, gen)))
        plain = duolocus.run(SECONDS, seed=6, keep_bytes=True, trajectory=50)
        assert watched.csv_bytes == plain.csv_bytes
        assert watched.trajectory_bytes == plain.trajectory_bytes
        assert len(seen) >= 2
        assert all(total == 300 for _, total, _ in seen)
        done = [d for d, _, _ in seen]
        assert done == sorted(done) and 0 <= done[0] and done[-1] == 300
        assert all(0 <= gen <= 3000 for _, _, gen in seen)

    def test_an_exception_in_the_callback_ends_the_run(self):
        class Enough(Exception):
            pass

        def stop(done, total, gen):
            raise Enough()
        with pytest.raises(Enough):
            duolocus.run(LONG, seed=1, progress=stop)
        assert duolocus.run({"iterations": 3}, seed=1).tallies["iterations"] == 3

    def test_a_bar_of_iterations(self, capfd):
        pytest.importorskip("tqdm")
        duolocus.run({"iterations": 40}, seed=1, progress=True)
        err = capfd.readouterr().err
        assert "40/40" in err and "iteration" in err

    def test_run_many_counts_the_iterations_of_every_run(self, capfd):
        pytest.importorskip("tqdm")
        runs = [{"iterations": 7}, {"iterations": 11}, {}]
        default = int(duolocus.settings().set_index("key").loc["iterations", "defaultValue"])
        total = 18 + default
        for processes in (1, 2):
            duolocus.run_many(runs, processes=processes, progress=True)
            assert f"{total}/{total}" in capfd.readouterr().err

    def test_progress_must_be_a_flag_or_a_function(self):
        with pytest.raises(ValueError, match="progress = 'yes'"):
            duolocus.run({"iterations": 2}, progress="yes")
