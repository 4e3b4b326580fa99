"""run_many at scale: results kept as bytes and handed out as they come, any
concurrent.futures executor (a dask.distributed cluster of worker processes
for real), the same bytes as a local run; one shape of summary."""

import os
import pickle
from concurrent.futures import ThreadPoolExecutor

import pandas as pd
import pytest

from conftest import PACKAGE_ROOT

import duolocus
from duolocus import stats, tables

try:
    from duolocus import _engine  # noqa: F401
except ImportError:
    pytestmark = pytest.mark.skip(reason="the compiled engine is not built (pip install the package)")

SWEEP = [{"iterations": 6, "map_distance_cM": cm, "selection.alpha.s": s}
         for cm in (0.0, 10.0, 50.0) for s in (0.0, 0.1)]
SEEDS = [11, 12, 13, 14, 15, 16]


def same_bytes(results, local):
    assert len(results) == len(local)
    for got, want in zip(results, local):
        assert got is not None
        assert (got.settings, got.seed) == (want.settings, want.seed)
        assert got.csv_bytes == want.csv_bytes and got.txt_bytes == want.txt_bytes
        assert got.csv_bytes is not None


@pytest.fixture(scope="module")
def local():
    return [duolocus.run(s, seed=seed, keep_bytes=True) for s, seed in zip(SWEEP, SEEDS)]


class TestExecutors:
    def test_own_processes(self, local):
        same_bytes(duolocus.run_many(SWEEP, seeds=SEEDS, processes=2, keep_bytes=True, progress=False), local)

    def test_a_thread_pool_takes_turns(self, local):
        with ThreadPoolExecutor(3) as pool:
            same_bytes(duolocus.run_many(SWEEP, seeds=SEEDS, executor=pool, keep_bytes=True, progress=False),
                       local)

    def test_a_dask_cluster_of_worker_processes(self, local, monkeypatch):
        distributed = pytest.importorskip("distributed")
        if os.environ.get("DUOLOCUS_TEST_INSTALLED") != "1":
            monkeypatch.setenv("PYTHONPATH", PACKAGE_ROOT)
        with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                      dashboard_address=None) as cluster, \
                distributed.Client(cluster) as client:
            results = duolocus.run_many(SWEEP, seeds=SEEDS, executor=client.get_executor(), keep_bytes=True,
                                        progress=False)
            # The runs were carried out by the workers, in processes of their own.
            ran = client.run(lambda: (os.getpid(), "duolocus.engine" in __import__("sys").modules))
        assert any(loaded for _, loaded in ran.values())
        assert os.getpid() not in [pid for pid, _ in ran.values()]
        same_bytes(results, local)

    def test_something_else_is_refused(self):
        with pytest.raises(ValueError, match="executor = 2; allowed: a concurrent.futures.Executor"):
            duolocus.run_many(SWEEP, executor=2)


class TestMemory:
    def test_handed_out_as_they_come(self, local):
        got = {}
        kept = duolocus.run_many(SWEEP, seeds=SEEDS, processes=2, keep_bytes=True, progress=False,
                                 on_result=lambda k, result: got.setdefault(k, result))
        assert kept is None
        same_bytes([got[k] for k in range(len(SWEEP))], local)

    def test_a_result_travels_and_stays_as_its_packed_bytes(self, local):
        result = duolocus.run({"iterations": 4}, seed=9, trajectory=5, keep_bytes=True)
        files = len(result.csv_bytes) + len(result.txt_bytes) + len(result.trajectory_bytes)
        small = len(pickle.dumps(result))
        assert small < files
        table = result.table          # read on first use, then kept, but not sent
        again = pickle.loads(pickle.dumps(result))
        assert len(pickle.dumps(result)) == small
        pd.testing.assert_frame_equal(again.table, table)
        pd.testing.assert_frame_equal(again.trajectory, result.trajectory)
        assert again.tallies == result.tallies
        assert (again.csv_bytes, again.txt_bytes, again.trajectory_bytes) == \
            (result.csv_bytes, result.txt_bytes, result.trajectory_bytes)
        assert duolocus.run({"iterations": 4}, seed=9).csv_bytes is None

    def test_many_small_runs_go_to_the_workers_in_chunks(self):
        runs = [{"iterations": 1, "max_generations": 5 + k % 7} for k in range(150)]
        seeds = [100 + k for k in range(150)]
        order = []
        together = duolocus.run_many(runs, seeds=seeds, processes=2, keep_bytes=True, progress=False)
        duolocus.run_many(runs, seeds=seeds, processes=2, progress=False,
                          on_result=lambda k, result: order.append((k, result.seed)))
        assert sorted(order) == [(k, 100 + k) for k in range(150)]
        for k in (0, 1, 77, 149):
            alone = duolocus.run(runs[k], seed=seeds[k], keep_bytes=True)
            assert together[k].csv_bytes == alone.csv_bytes and together[k].txt_bytes == alone.txt_bytes

    def test_tables_of_runs_from_many(self, local):
        study = tables.from_runs(local, keys=["map_distance_cM"])
        assert len(study.rows) == sum(len(r.table) for r in local)


class TestOneShapeOfSummary:
    def test_a_study_and_a_table_both_give_a_data_frame(self, local):
        study = tables.from_runs(local, keys=["map_distance_cM", "selection.alpha.s"])
        of_study = stats.summarise(study, by=["map_distance_cM"])
        of_table = stats.summarise(local[0].table)
        assert isinstance(of_study, pd.DataFrame) and isinstance(of_table, pd.DataFrame)
        assert list(of_study["map_distance_cM"]) == ["0.0", "10.0", "50.0"]
        assert list(of_study["n"]) == [sum(len(r.table) for r in local[k:k + 2]) for k in (0, 2, 4)]
        # The records the command line prints hold the same numbers.
        records = stats.summary_records(study, by=["map_distance_cM"])
        assert [r["A_fixed"] for r in records] == list(of_study["A_fixed"])
