"""The theory module against the table of values the lab's JavaScript port
answers too (tests/theory_values.json, worked out from the published
formulas): one set of numbers for both languages."""

import json
import os

import pytest

from conftest import REPO

from duolocus import theory

with open(os.path.join(REPO, "tests", "theory_values.json"), encoding="utf-8") as fh:
    CASES = json.load(fh)["cases"]


def _close(got, want, tol, what):
    if want is None:
        assert got is None, what
    elif isinstance(want, dict):
        for key, value in want.items():
            _close(got[key], value, tol, f"{what} [{key}]")
    elif isinstance(want, list):
        assert got is not None and len(got) == len(want), what
        for g, w in zip(got, want):
            _close(g, w, tol, what)
    elif isinstance(want, str):
        assert got == want, what
    else:
        assert got == pytest.approx(want, rel=tol, abs=tol), what


@pytest.mark.parametrize("case", [c for c in CASES if c["name"] != "fixation_law"],
                         ids=lambda c: f"{c['name']}{c['args']}")
def test_formula(case):
    got = getattr(theory, case["name"])(*case["args"])
    _close(got, case["value"], case["tol"], case["name"])


@pytest.mark.parametrize("case", [c for c in CASES if c["name"] == "fixation_law"], ids=lambda c: c["title"])
def test_law_a_run_calls_for(case):
    ctx, gene, p = case["args"]
    law = theory.fixation_law(ctx, gene)
    if case["kind"] is None:
        assert law is None
        return
    assert law is not None
    assert (law[0] == theory.NEUTRAL_TEXT) == (case["kind"] == "neutral")
    _close(law[1](p), case["value"], case["tol"], case["title"])
