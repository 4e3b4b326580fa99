"""One meaning of a setting in every door: each case of corpus.json goes
through a study file, --set, the Python package and the lab's engine, and
every door must run it to the same bytes or refuse it with the same
messages. A door that cannot be reached here (not built) is skipped, and
says so."""

import glob
import importlib
import json
import os
import shutil
import sys

import pytest

import doors

with open(os.path.join(doors.HERE, "corpus.json"), encoding="utf-8") as _f:
    CASES = json.load(_f)["cases"]
ALL_DOORS = ("study", "set", "python", "lab")


def _doors_of(case):
    return tuple(case.get("doors", ALL_DOORS))


@pytest.fixture(scope="session")
def duolocus(tmp_path_factory):
    """The package from the checkout with the engine the build compiled."""
    engines = glob.glob(os.path.join(doors.BUILD, "python", "duolocus", "_engine*.so"))
    if not engines:
        pytest.skip("the package's engine is not built (build/python/duolocus/_engine*.so)")
    root = tmp_path_factory.mktemp("package")
    package = root / "duolocus"
    shutil.copytree(os.path.join(doors.REPO, "python", "duolocus"), package,
                    ignore=shutil.ignore_patterns("__pycache__", "*.so"))
    shutil.copy(engines[0], package)
    sys.path.insert(0, str(root))
    try:
        return importlib.import_module("duolocus")
    finally:
        sys.path.remove(str(root))


@pytest.fixture(scope="session")
def lab_answers():
    """The lab's answers; None where the lab is not built, which fails
    when DUOLOCUS_REQUIRE_LAB=1 (make test sets it once it built the lab)."""
    if not os.path.exists(os.path.join(doors.WEB, "duolocus-engine.js")):
        if os.environ.get("DUOLOCUS_REQUIRE_LAB") == "1":
            pytest.fail(f"the lab is not built in {doors.WEB}")
        return None
    return doors.lab_engine([c for c in CASES if "lab" in _doors_of(c)])


@pytest.fixture(scope="session")
def batch():
    if not os.path.exists(doors.BATCH):
        pytest.skip(f"{doors.BATCH} is not built")
    return doors.BATCH


def _answers(case, duolocus, lab_answers):
    answers = {}
    for door in _doors_of(case):
        if door == "study":
            answers[door] = doors.study_file(case)
        elif door == "set":
            answers[door] = doors.set_options(case)
        elif door == "python":
            answers[door] = doors.python_package(case, duolocus)
        elif lab_answers is not None:
            answers[door] = lab_answers[case["name"]]
    return answers


@pytest.mark.parametrize("case", CASES, ids=[c["name"] for c in CASES])
def test_every_door_agrees(case, batch, duolocus, lab_answers):
    answers = _answers(case, duolocus, lab_answers)
    kinds = {door: answer[0] for door, answer in answers.items()}
    assert set(kinds.values()) == {case["expect"]}, f"{case['name']}: {answers}"
    first_door, first = next(iter(answers.items()))
    for door, answer in answers.items():
        if case["expect"] == "run":
            assert answer[1] == first[1], f"{door} and {first_door} wrote different PREFIX.csv"
            assert answer[2] == first[2], f"{door} and {first_door} wrote different PREFIX.txt"
        elif case.get("same", "text") == "text":
            assert answer[1] == first[1], f"{door} and {first_door} refuse differently"


def test_refusals_name_the_key_and_what_is_allowed(batch, duolocus, lab_answers):
    """A refusal of a single value says which key and what it allows."""
    for case in CASES:
        # (A door's own words name an unknown key in their place.)
        if case["expect"] != "refuse" or len(case["settings"]) > 1 or case.get("same") == "refusal":
            continue
        key = next(iter(case["settings"])) if case["settings"] else "seed"
        for door, answer in _answers(case, duolocus, lab_answers).items():
            text = " ".join(answer[1])
            # A fault of a whole table names the table.
            assert key in text or key.split(".")[0] in text, f"{case['name']} in {door}: {answer[1]}"
