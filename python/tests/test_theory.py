"""The closed forms the summaries and figures set beside the observations,
and the one theory module the validation suite reads too."""

import math
import os
import sys

import pytest

from conftest import REPO

from duolocus import theory


def test_kimura_against_its_limits():
    # Weak selection tends to neutrality; u(0) = 0, u(1) = 1.
    assert theory.kimura_fixation(100, 1e-9, 0.3) == pytest.approx(0.3, rel=1e-6)
    assert theory.kimura_fixation(100, 0.0, 0.3) == 0.3
    assert theory.kimura_fixation(100, 0.01, 0.0) == 0.0
    assert theory.kimura_fixation(100, 0.01, 1.0) == pytest.approx(1.0)
    # Against the allele: below neutral.
    assert theory.kimura_fixation(100, -0.01, 0.5) < 0.5 < theory.kimura_fixation(100, 0.01, 0.5)
    # The figures' and docs' worked value: N = 100, w 1.0 : 0.99 : 0.98, p0 = 0.1.
    s = theory.effective_s(1.0, 0.98)
    assert 4 * 100 * s == pytest.approx(4.0404, abs=1e-4)
    assert theory.kimura_fixation(100, s, 0.1) == pytest.approx(0.338, abs=5e-4)


def test_neutral_times():
    t = theory.neutral_fixation_time(100, 0.1)
    assert t == pytest.approx(-400 * 0.9 * math.log(0.9) / 0.1)
    assert t == pytest.approx(379.3, abs=0.05)
    assert theory.neutral_fixation_time(100, 0.1, fixed=False) == pytest.approx(102.3, abs=0.05)
    assert theory.neutral_fixation_time(100, 0.0) is None
    assert theory.neutral_fixation_time(100, 1.0) == 0.0


def test_s_and_h_of_three_fitnesses():
    assert theory.selection_s_h([1.0, 0.99, 0.98]) == pytest.approx((0.02, 0.5, "capital"))
    s, h, favoured = theory.selection_s_h([0.8, 0.9, 1.0])
    assert (s, h, favoured) == (pytest.approx(0.2), pytest.approx(0.5), "small")
    assert theory.selection_s_h([1.0, 0.5, 1.0]) is None


def test_validation_suite_reads_the_same_module():
    sys.path.insert(0, os.path.join(REPO, "tests", "validation"))
    try:
        import theory as suite
    finally:
        sys.path.pop(0)
    assert suite.kimura_ohta_times is theory.kimura_ohta_times
    assert suite.kimura_fixation is theory.kimura_fixation
