"""Shared paths and helpers of the tests of the study tools.

ctest passes the programs through the environment; run by hand, the tests
use this repository's build and tools folders."""

import os
import subprocess
import sys

import pytest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOLS = os.path.join(REPO, "tools")
SUMMARY = os.path.join(TOOLS, "duolocus-summary")
PLOT = os.path.join(TOOLS, "duolocus-plot")
BATCH = os.environ.get("DUOLOCUS_BATCH_BIN", os.path.join(REPO, "build", "duolocus-batch"))
STUDIES = os.path.join(REPO, "examples", "studies")


def run_tool(tool, *args, cwd=None):
    """Runs a tool with this Python; returns (status, stdout, stderr)."""
    done = subprocess.run([sys.executable, tool, *map(str, args)], capture_output=True, text=True, cwd=cwd)
    return done.returncode, done.stdout, done.stderr


def run_batch(study_text, folder, name="study", *args):
    """Writes a study file into folder and runs all its jobs; returns the
    study file's path."""
    if not os.path.exists(BATCH):
        pytest.skip(f"{BATCH} is not built")
    path = os.path.join(folder, name + ".toml")
    with open(path, "w") as handle:
        handle.write(study_text)
    subprocess.run([BATCH, path, "--quiet", *args], check=True, cwd=folder)
    return path


# Founders of every genotype given, so that a study sets the whole population.
def founders(**counts):
    names = ["AABB", "AABb", "AAbb", "AaBB", "AaBb", "Aabb", "aaBB", "aaBb", "aabb"]
    return "[founders]\n" + "".join(f"{g} = {counts.get(g, 0)}\n" for g in names)


@pytest.fixture(scope="session")
def summary_module():
    import importlib.machinery
    import importlib.util
    loader = importlib.machinery.SourceFileLoader("duolocus_summary", SUMMARY)
    found = importlib.util.spec_from_loader("duolocus_summary", loader)
    module = importlib.util.module_from_spec(found)
    loader.exec_module(module)
    return module
