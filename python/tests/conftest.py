"""Shared paths and helpers of the package's tests.

Run from a checkout, the tests use the package beside them (python/); with
DUOLOCUS_TEST_INSTALLED=1 (the venv test of `make test`) they use the
installed one. duolocus-batch comes from DUOLOCUS_BATCH_BIN or the build."""

import os
import subprocess
import sys

import pytest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PACKAGE_ROOT = os.path.join(REPO, "python")
if os.environ.get("DUOLOCUS_TEST_INSTALLED") != "1" and PACKAGE_ROOT not in sys.path:
    sys.path.insert(0, PACKAGE_ROOT)
BATCH = os.environ.get("DUOLOCUS_BATCH_BIN", os.path.join(REPO, "build", "duolocus-batch"))
STUDIES = os.path.join(REPO, "examples", "studies")
# The command lines, run as `python -m duolocus NAME`.
SUMMARY = "summary"
PLOT = "plot"


def run_tool(tool, *args, cwd=None):
    """Runs a command line of the package with this Python; returns (status, stdout, stderr)."""
    env = dict(os.environ, MPLBACKEND="Agg")
    if os.environ.get("DUOLOCUS_TEST_INSTALLED") != "1":
        env["PYTHONPATH"] = PACKAGE_ROOT + os.pathsep + env.get("PYTHONPATH", "")
    done = subprocess.run([sys.executable, "-m", "duolocus", tool, *map(str, args)], capture_output=True,
                          text=True, cwd=cwd, env=env)
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
