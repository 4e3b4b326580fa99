"""Summaries: fixation-time standard errors and intervals, theory beside the
observations, and the columnar sums against a plain count row by row."""

import math
import random
import statistics

import pandas as pd
import pytest

from test_cli import HAND_ROWS, HEADER, write

from duolocus import stats, tables, theory


def hand_record(tmp_path, **kwargs):
    study = tables.load([write(tmp_path / "hand.csv", [HEADER] + HAND_ROWS)])
    [rec] = stats.summary_records(study, **kwargs)
    return rec


class TestTimes:
    def test_mean_time_with_standard_error_and_interval(self, tmp_path):
        rec = hand_record(tmp_path)
        # A fixed at 10, 20 and 40.
        sd = math.sqrt(700 / 3)
        se = sd / math.sqrt(3)
        assert rec["A_time_mean"] == pytest.approx(70 / 3)
        assert rec["A_time_se"] == pytest.approx(se)
        assert (rec["A_time_lo95"], rec["A_time_hi95"]) == pytest.approx((70 / 3 - 1.959964 * se,
                                                                          70 / 3 + 1.959964 * se))
        # One time: a mean, but no spread.
        assert rec["a_time_n"] == 1 and rec["a_time_mean"] == 30.0
        assert rec["a_time_se"] is None and rec["a_time_lo95"] is None

    def test_summary_of_a_data_frame(self, tmp_path):
        table = tables.read_table(write(tmp_path / "hand.csv", [HEADER] + HAND_ROWS))
        frame = stats.summarise(table, with_theory=False)
        assert isinstance(frame, pd.DataFrame) and len(frame) == 1
        assert frame.loc[0, "n"] == 5 and frame.loc[0, "A_fixed"] == 3
        assert frame.loc[0, "Alpha_time_median"] == 25.0


class TestTheoryColumns:
    CONTEXT = {"population": "50", "p0_A": "0.3", "p0_B": "0.5", "map_distance_cM": "50",
               "mutation.A_to_a": "0", "mutation.a_to_A": "0", "mutation.B_to_b": "0", "mutation.b_to_B": "0",
               "migration.immigrants": "0", "mating.isolation": "none", "fixation.alpha": "any",
               "fixation.beta": "any", "fertilization": "selfing-allowed"}

    def record(self, tmp_path, fitness):
        study = tables.load([write(tmp_path / "hand.csv", [HEADER] + HAND_ROWS)])
        ctx = dict(self.CONTEXT)
        for g, w in zip(tables.GENOTYPES, fitness):
            ctx[f"fitness.{g}"] = str(w)
        study.jobs[0].context = ctx
        [rec] = stats.summary_records(study, with_theory=True)
        return rec

    def test_neutral(self, tmp_path):
        rec = self.record(tmp_path, [1.0] * 9)
        assert rec["A_p_theory"] == pytest.approx(0.3) and rec["a_p_theory"] == pytest.approx(0.7)
        assert rec["A_time_theory"] == pytest.approx(-4 * 50 * 0.7 * math.log(0.7) / 0.3)
        assert rec["a_time_theory"] == pytest.approx(-4 * 50 * 0.3 * math.log(0.3) / 0.7)
        assert rec["Alpha_theory"] == theory.NEUTRAL_TEXT

    def test_genic_selection_on_alpha_only(self, tmp_path):
        rec = self.record(tmp_path, [1.0, 1.0, 1.0, 0.95, 0.95, 0.95, 0.9, 0.9, 0.9])
        s = 0.1 / 1.9
        assert rec["A_p_theory"] == pytest.approx((1 - math.exp(-4 * 50 * s * 0.3)) / (1 - math.exp(-4 * 50 * s)))
        assert rec["A_time_theory"] is None          # no neutral time under selection
        # Beta is neutral but recombines with the selected Alpha: no simple law.
        assert rec["B_p_theory"] is None and rec["Beta_theory"] is None

    def test_no_law_no_numbers(self, tmp_path):
        rec = self.record(tmp_path, [1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 0.9, 0.9, 0.9])   # dominance
        assert rec["A_p_theory"] is None and rec["Alpha_theory"] is None


def test_columns_against_a_count_row_by_row(tmp_path):
    """Random rows of three jobs: every count, mean, SD and quartile the
    columnar summary gives equals a plain computation per group."""
    rnd = random.Random(19)
    lines = [HEADER]
    expected = []
    for it in range(1, 301):
        fixed = rnd.choice(["A", "a", "none"])
        when = rnd.randint(0, 900)
        copy = rnd.choice([None, rnd.randint(0, 999)])
        p = "1.0000000" if fixed == "A" else "0.0000000" if fixed == "a" else "0.5000000"
        alpha = f"{fixed},{'NA' if fixed == 'none' else when},{p}," + \
                (f"{copy},Ab,AaBb" if copy is not None else "none,NA,NA")
        lines.append(f"{it},1000,{alpha},none,NA,0.5000000,none,NA,NA," + ",".join(["0.1000000"] * 10 + ["0.2500000"] * 4))
        expected.append((fixed, when, copy))
    study = tables.load([write(tmp_path / "r.csv", lines)])
    [rec] = stats.summary_records(study)
    times = [w for f, w, _ in expected if f == "A"]
    assert rec["A_fixed"] == len(times)
    assert rec["A_time_mean"] == pytest.approx(statistics.mean(times), rel=1e-12)
    assert rec["A_time_sd"] == pytest.approx(statistics.stdev(times), rel=1e-12)
    assert [rec["A_time_q1"], rec["A_time_median"], rec["A_time_q3"]] == \
        pytest.approx(statistics.quantiles(times, n=4, method="inclusive"), rel=1e-12)
    copies = [c for _, _, c in expected if c is not None]
    assert rec["Alpha_copy_n"] == len(copies) and rec["Alpha_copy_none"] == 300 - len(copies)
    assert rec["Alpha_copy_mean"] == pytest.approx(statistics.mean(copies), rel=1e-12)
    assert rec["Alpha_copy_gt_AaBb"] == 1.0 and rec["Alpha_copy_ht_Ab"] == 1.0
    k = sum(1 for f, _, _ in expected if f == "none")
    assert rec["Alpha_unfixed"] == k and rec["Beta_unfixed"] == 300


class TestIntervalsHoldTheirEstimate:
    def test_every_proportion_up_to_1000(self):
        # All fixed or none fixed: the bound the formula puts a rounding
        # error short of 1 or above 0 is the estimate itself.
        for n in range(1, 1001):
            for k in (0, 1, n // 2, n - 1, n):
                _, p, se, lo, hi = stats.proportion(k, n)
                assert 0.0 <= lo <= p <= hi <= 1.0, (k, n, lo, p, hi)
            assert stats.proportion(n, n)[4] == 1.0 and stats.proportion(0, n)[3] == 0.0

    def test_interior_intervals_are_wilsons(self):
        # Clamping touches the ends only: 3 of 10 as the textbook gives it.
        lo, hi = stats.wilson(3, 10)
        assert (lo, hi) == pytest.approx((0.1078, 0.6032), abs=1e-4)
        assert stats.wilson(0, 0) == (None, None)
