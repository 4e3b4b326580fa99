"""The public API documents itself: every public function and class of the
package's modules has a docstring that names each of its arguments and
says what it returns, and the examples that need no files run as shown."""

import doctest
import importlib
import inspect
import re

import pytest

import duolocus

MODULES = ["duolocus.engine", "duolocus.figures", "duolocus.reports", "duolocus.stats",
           "duolocus.tables", "duolocus.theory", "duolocus.files", "duolocus.errors"]


def public_objects():
    """(name, object) of every public function, class and method the
    modules define (not those they import)."""
    found = []
    for name in MODULES:
        module = importlib.import_module(name)
        for attr, obj in vars(module).items():
            if attr.startswith("_") or getattr(obj, "__module__", None) != name:
                continue
            if inspect.isfunction(obj):
                found.append((f"{name}.{attr}", obj))
            elif inspect.isclass(obj):
                found.append((f"{name}.{attr}", obj))
                for method, fn in vars(obj).items():
                    if not method.startswith("_") and inspect.isfunction(fn):
                        found.append((f"{name}.{attr}.{method}", fn))
    return found


OBJECTS = public_objects()


def test_the_walk_finds_the_api():
    names = {name for name, _ in OBJECTS}
    assert {"duolocus.engine.run", "duolocus.engine.run_many", "duolocus.engine.RunResult",
            "duolocus.engine.RunResult.summarise", "duolocus.stats.summarise", "duolocus.tables.read_study",
            "duolocus.theory.kimura_ohta_times", "duolocus.tables.load_merged"} <= names
    assert len(names) > 80


@pytest.mark.parametrize("name, obj", OBJECTS, ids=[name for name, _ in OBJECTS])
def test_documented(name, obj):
    doc = inspect.getdoc(obj)
    assert doc and doc.strip(), f"{name} has no docstring"
    if inspect.isclass(obj):
        return
    words = set(re.findall(r"[A-Za-z_][A-Za-z0-9_]*", doc))
    missing = [p for p in inspect.signature(obj).parameters if p not in ("self", "cls") and p not in words]
    assert not missing, f"{name}: the docstring does not name {', '.join(missing)}"
    assert re.search(r"^Returns:", doc, re.M), f"{name}: the docstring does not say what it returns"


def test_package_names_are_the_documented_ones():
    for name in ("run", "run_many", "settings", "RunResult", "read_table", "read_study", "read_trajectory",
                 "read_report", "summarise"):
        obj = getattr(duolocus, name)
        assert inspect.getdoc(obj), name
        assert obj.__module__ in MODULES, name


def test_the_theory_examples_hold():
    theory = importlib.import_module("duolocus.theory")
    finder = doctest.DocTestFinder()
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    tests = [t for t in finder.find(theory, "theory", globs=vars(theory).copy()) if t.examples]
    assert tests
    for test in tests:
        runner.run(test)
    assert runner.failures == 0
