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


class TestRefusals:
    """Every helper refuses what it cannot compute with a ValueError naming
    the argument, at once, rather than running for minutes or failing inside."""

    @pytest.mark.parametrize("call, name", [
        (lambda: theory.wf_matrix(10 ** 7), "m"),
        (lambda: theory.wf_absorption_times(10 ** 7, 0.1), "n_ind"),
        (lambda: theory.wf_absorption_times(10, 0), "i0"),
        (lambda: theory.migration_mean(1, math.nan, 10 ** 7, 10 ** 7), "p_imm"),
        (lambda: theory.migration_mean(1, 0.5, 10 ** 7, 10 ** 7), "m"),
        (lambda: theory.ancestral_process_time(10 ** 6), "n_ind"),
        (lambda: theory.selection_fixation_exact(10 ** 4, (1, 1, 1), (0, 0, 10 ** 4)), "n_ind"),
        (lambda: theory.selection_fixation_exact(10, (0, 0, 0), (1, 2, 7)), "w"),
        (lambda: theory.selection_fixation_exact(10, (1, 1, 1), (1, 2, 3)), "start"),
        (lambda: theory.selection_fixation_diffusion(100, (1, 1, 0), 0.5), "w"),
        (lambda: theory.kimura_ohta_times(50, 0.0), "p"),
        (lambda: theory.kimura_ohta_times(50, 1.0), "p"),
        (lambda: theory.kimura_ohta_times(-5, 0.5), "n_ind"),
        (lambda: theory.kimura_genic(10 ** 6, -1.0, 0.5), "s"),
        (lambda: theory.coalescent_time(0), "n_ind"),
        (lambda: theory.coalescent_time(math.inf), "n_ind"),
        (lambda: theory.heterozygosity(1, 0, 0.5, 0.5, 3), "n_ind"),
        (lambda: theory.heterozygosity(100, 3, 0.5, 0.5, 3), "rule"),
        (lambda: theory.mutation_drift_moments(100, 0.01, 0.01, 0.5, 10 ** 12), "t"),
        (lambda: theory.mutation_drift_diffusion(100, 0.0, 0.0), "u"),
        (lambda: theory.ld_decay(100, math.nan, 0.1, 0.0, 10), "r"),
        (lambda: theory.joint_fixation(100, 0.1, 0.5, 0.5, 0.0, 0.0, horizon=10 ** 12), "horizon"),
        (lambda: theory.founder_allele_freq([0] * 9, "A"), "counts"),
        (lambda: theory.founder_allele_freq([1] * 9, "C"), "gene"),
        (lambda: theory.origin_shares([1, 2, 3]), "counts"),
        (lambda: theory.founder_ld([1, -1, 0, 0, 0, 0, 0, 0, 1]), "counts[1]"),
        (lambda: theory.effective_s(0.0, 0.0), "w_xx"),
        (lambda: theory.kimura_fixation(100, math.nan, 0.5), "s"),
        (lambda: theory.neutral_fixation_time(100, "0.5"), "p"),
        (lambda: theory.coalescence_correlation(100, -0.5), "r"),
        (lambda: theory.effective_size(0, 1), "n_ind"),
        (lambda: theory.wf_matrix(True), "m"),
        (lambda: theory.binomial_pmf(-1, 0.5), "n"),
        (lambda: theory.binomial_pmf(10, math.nan), "x"),
        (lambda: theory.simpson(math.sin, 0, 1, 0), "steps"),
        (lambda: theory.gene_fitness([1.0] * 3, 0), "w"),
        (lambda: theory.gene_fitness([1.0] * 9, 2), "gene"),
        (lambda: theory.solve([[0.0, 0.0], [0.0, 1.0]], [1.0, 1.0]), "a"),
    ])
    def test_refused_at_once_naming_the_argument(self, call, name):
        import time
        start = time.monotonic()
        with pytest.raises(ValueError) as err:
            call()
        assert str(err.value).startswith(f"{name} = "), str(err.value)
        assert "; allowed: " in str(err.value)
        assert time.monotonic() - start < 5

    def test_the_largest_chains_still_computed(self):
        # The validation suite's sizes sit inside the limits.
        assert len(theory.wf_matrix(100)) == 101
        assert theory.wf_absorption_times(50, 20)["fix"] > 0
        assert 0 < theory.selection_fixation_exact(20, (1.0, 0.9, 0.8), (0, 4, 16)) < 1

    def test_founders_that_cannot_all_breed(self):
        # Only heterozygotes breed: states without one die out (A never
        # fixes from there) instead of dividing by a total fitness of 0.
        u = theory.selection_fixation_exact(5, (0.0, 1.0, 0.0), (0, 2, 3))
        assert 0 < u < 0.5
        # Starting fixed or lost.
        assert theory.selection_fixation_exact(5, (1.0, 1.0, 1.0), (5, 0, 0)) == 1.0
        assert theory.selection_fixation_exact(5, (1.0, 1.0, 1.0), (0, 0, 5)) == 0.0

    def test_strong_selection_neither_overflows_nor_is_refused(self):
        # Strongly favoured: certain fixation; strongly against: none.
        assert theory.selection_fixation_diffusion(10 ** 5, (1.0, 0.5, 0.1), 0.5) == pytest.approx(1.0)
        assert theory.selection_fixation_diffusion(10 ** 4, (0.1, 0.5, 1.0), 0.5) == pytest.approx(0.0, abs=1e-12)
        assert theory.kimura_fixation(10 ** 6, -0.5, 0.5) == 0.0
        assert theory.kimura_genic(100, 0.0, 0.3) == 0.3
        # The allele favoured from p fixes as often as the other one is lost
        # from 1 - p: the scaled form (favoured) against the plain one.
        for n, w, p in ((20, (1.0, 0.95, 0.9), 0.2), (500, (1.0, 0.9, 0.5), 0.05)):
            favoured = theory.selection_fixation_diffusion(n, w, p)
            against = theory.selection_fixation_diffusion(n, w[::-1], 1 - p)
            assert favoured == pytest.approx(1 - against, abs=1e-3)


def test_origin_shares_keep_the_phase_of_placed_double_heterozygotes():
    # 1 AABB, 2 AaBb (one placed in coupling, one drawn), 1 aabb: 8
    # chromosomes, as the lab's table of origins counts them too.
    gt, ht = theory.origin_shares([1, 0, 0, 0, 2, 0, 0, 0, 1], phased=(1, 0))
    assert gt == {"AABB": 0.25, "AaBb": 0.5, "aabb": 0.25}
    assert ht == {"AB": 3.5 / 8, "Ab": 0.5 / 8, "aB": 0.5 / 8, "ab": 3.5 / 8}
    # Unplaced, each phase is as likely: the old rule.
    assert theory.origin_shares([0, 0, 0, 0, 4, 0, 0, 0, 0])[1] == {h: 0.25 for h in ("AB", "Ab", "aB", "ab")}
    for bad in [(3, 0), (-1, 0), (1,), "AB"]:
        with pytest.raises(ValueError, match="phased"):
            theory.origin_shares([1, 0, 0, 0, 2, 0, 0, 0, 1], phased=bad)
