"""Reading tables into columns: what the columns hold, a byte-order mark,
studies without jobs, reports that disagree with their tables."""

import numpy as np
import pandas as pd
import pytest

from conftest import SUMMARY, run_batch, run_tool
from test_cli import HAND_ROWS, HEADER, write

from duolocus import tables
from duolocus.errors import InputError


class TestColumns:
    def test_iteration_table_as_columns(self, tmp_path):
        table = tables.read_table(write(tmp_path / "hand.csv", [HEADER] + HAND_ROWS))
        assert list(table.columns) == tables.COLUMNS and len(table) == 5
        assert table["iter"].tolist() == [1, 2, 3, 5, 6]
        assert table["A_all_fixed"].tolist() == ["A", "A", "a", "A", "none"]
        # NA (no fixation) and none (tracked, no copy fixed) are both missing numbers.
        assert np.isnan(table["gens_fix_A_all"].iloc[4]) and np.isnan(table["gens_fix_A_copy"].iloc[4])
        assert table["gens_fix_B_all"].tolist()[:3] == [12.0, 22.0, 30.0]
        assert table["A_origin_gt"].tolist()[:3] == ["AABB", "AaBb", "aabb"]
        assert table["p_ab"].tolist() == [0.0, 0.0, 1.0, 0.25, 0.25]

    def test_byte_order_mark_is_accepted(self, tmp_path):
        plain = tables.read_table(write(tmp_path / "plain.csv", [HEADER] + HAND_ROWS))
        marked = tmp_path / "marked.csv"
        marked.write_bytes(b"\xef\xbb\xbf" + (tmp_path / "plain.csv").read_bytes())
        pd.testing.assert_frame_equal(tables.read_table(str(marked)), plain)
        status, out, err = run_tool(SUMMARY, marked)
        assert status == 0, err
        assert "marked" in out

    def test_faults_found_by_columns_are_named_by_line(self, tmp_path):
        # A row short of fields in a later chunk of a long table.
        tables_chunk = tables.CHUNK
        try:
            tables.CHUNK = 2
            rows = [HEADER] + HAND_ROWS[:4] + [HAND_ROWS[4].replace(",0.2500000", "", 1)]
            with pytest.raises(InputError) as err:
                tables.read_table(write(tmp_path / "t.csv", rows))
            assert str(err.value) == f"{tmp_path / 't.csv'}:6: 27 fields; every line of this table has 28"
        finally:
            tables.CHUNK = tables_chunk

    def test_copy_origin_without_copy_is_refused(self, tmp_path):
        row = HAND_ROWS[4].replace("none,NA,NA,none", "none,NA,NA,none", 1).replace(",none,NA,NA,", ",none,AB,NA,", 1)
        with pytest.raises(InputError) as err:
            tables.read_table(write(tmp_path / "t.csv", [HEADER, row]))
        assert ":2: A_origin_ht and A_origin_gt are \"AB\" and \"NA\" but no gene copy fixed" in str(err.value)


class TestStudies:
    def test_header_only_index_is_an_empty_study(self, tmp_path):
        index = write(tmp_path / "e_index.csv", [",".join(tables.INDEX_HEAD)])
        status, out, err = run_tool(SUMMARY, index)
        assert status == 2 and out == ""
        assert err == f"duolocus-summary: {index}: the index lists no job: an empty study has nothing to summarise\n"

    def test_merged_table_equals_its_jobs(self, tmp_path):
        run_batch("seed = [3, 4]\niterations = 8\nmax_generations = 300\n[sweep]\nmap_distance_cM = [0.0, 50.0]\n",
                  tmp_path, "sw")
        status, _, err = run_tool(SUMMARY, "--merge", tmp_path / "sw.csv", tmp_path / "sw_index.csv")
        assert status == 0, err
        merged = tables.read_study(tmp_path / "sw.csv")
        indexed = tables.read_study(tmp_path / "sw_index.csv")
        pd.testing.assert_frame_equal(merged.table, indexed.table)
        assert [(j.run, j.seed, j.iterations, j.extinct) for j in merged.jobs] == \
            [("p1", 3, 8, 0), ("p1", 4, 8, 0), ("p2", 3, 8, 0), ("p2", 4, 8, 0)]
        one = tables.read_table(str(tmp_path / "sw_p2_4.csv"))
        rows = merged.table[(merged.table["run"] == "p2") & (merged.table["seed"] == 4)]
        pd.testing.assert_frame_equal(tables.public(rows.drop(columns=["run", "seed", "map_distance_cM"])), one)

    def test_report_counting_an_extinction_the_trajectory_does_not_know(self, tmp_path):
        run_batch("seed = 5\niterations = 6\nmax_generations = 200\n", tmp_path, "tr", "--trajectory", "50")
        report = tmp_path / "tr.txt"
        text = report.read_text()
        assert "Iteration halted due to extinction 0 times." in text
        report.write_text(text.replace("extinction 0 times.", "extinction 1 times."))
        status, _, err = run_tool(SUMMARY, tmp_path / "tr.csv")
        assert status == 2
        assert "its report counts 1 iterations halted by extinction, so 7 iterations" in err
        assert "says 6" in err, err

    def test_table_skipping_more_iterations_than_its_report_counts(self, tmp_path):
        run_batch("seed = 5\niterations = 4\nmax_generations = 200\n", tmp_path, "gap")
        lines = (tmp_path / "gap.csv").read_text().splitlines()
        # Iteration 2's row renumbered 3 and iteration 3's dropped: the counts still add up.
        rows = [lines[0], lines[1]] + [lines[2].replace("2,", "3,", 1)] + [lines[4]]
        (tmp_path / "gap.csv").write_text("\n".join(rows) + "\n")
        status, _, err = run_tool(SUMMARY, tmp_path / "gap.csv")
        assert status == 2
        assert "gap.csv" in err and "gap.txt" in err


class TestReportLabels:
    """The report is read by the catalogue's report labels: every setting the
    report shows comes back as it was set."""

    def test_every_labelled_setting_read_back(self):
        duolocus = pytest.importorskip("duolocus")
        try:
            from duolocus import _engine  # noqa: F401
        except ImportError:
            pytest.skip("the compiled engine is not built")
        from duolocus import catalogue
        given = {"iterations": 1, "max_generations": 37, "map_distance_cM": 12.5,
                 "fertilization": "selfing-not-allowed", "stop_at_fixation": False,
                 "fixation.alpha": "A", "fixation.beta": "b", "mating.isolation": "premating",
                 "mutation": {"A_to_a": 0.001, "a_to_A": 0.002, "B_to_b": 0.003, "b_to_B": 0.004},
                 "mating": {"AA_aa": 0.5, "Aa_aa": 0.25},
                 "migration": {"immigrants": 2.0, "mix": {"AABb": 0.5, "aabb": "rest"}},
                 "founders": {"AABB": 3, "AaBb": 5, "aabb": 7},
                 "fitness": {"AABB": 0.75, "aabb": 0.5}}
        result = duolocus.run(given, seed=5)
        read = result.report.settings
        labelled = [row["key"] for row in catalogue.rows() if row["report"]]
        assert sorted(read) == sorted(labelled)
        expected = {"max_generations": "37", "map_distance_cM": "12.5", "fertilization": "selfing-not-allowed",
                    "stop_at_fixation": "false", "fixation.alpha": "A", "fixation.beta": "b",
                    "mating.isolation": "premating", "mutation.A_to_a": "0.001", "mutation.b_to_B": "0.004",
                    "mating.AA_aa": "0.5", "mating.Aa_aa": "0.25", "mating.AA_AA": "1",
                    "migration.immigrants": "2", "migration.mix.AABb": "0.5", "migration.mix.aabb": "0.5",
                    "migration.mix.AABB": "0", "founders.AABB": "3", "founders.AaBb": "5", "founders.AABb": "0",
                    "fitness.AABB": "0.75", "fitness.aabb": "0.5", "fitness.AaBb": "1"}
        assert {k: read[k] for k in expected} == expected
        assert result.report.founders["aabb"] == 7 and result.report.population == 15
