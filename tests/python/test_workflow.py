"""The Snakemake workflow run for real (snakemake -j 2) on tiny studies: its
merged table, summary and figures; a bad study; a job that fails; a run
stopped by Ctrl-C or a kill and completed by the same command; only what
changed runs again."""

import csv
import os
import re
import shutil
import signal
import subprocess
import time

import pytest

from conftest import BATCH, REPO, founders

SNAKEFILE = os.path.join(REPO, "workflow", "Snakefile")
SNAKEMAKE = shutil.which("snakemake")

pytestmark = [
    pytest.mark.skipif(SNAKEMAKE is None, reason="snakemake is not installed (apt-get install snakemake)"),
    pytest.mark.skipif(not os.path.exists(BATCH), reason=f"{BATCH} is not built"),
]

TINY = ("seed = [1, 2]\niterations = 6\nmax_generations = 300\n" + founders(AABB=10, aabb=10)
        + "[sweep]\nmap_distance_cM = [0.0, 50.0]\n")


def snakemake(folder, study, *config):
    done = subprocess.run([SNAKEMAKE, "-s", SNAKEFILE, "-j", "2", "--config", f"study={study}",
                           f"batch={config[0] if config else BATCH}"],
                          cwd=folder, capture_output=True, text=True)
    return done.returncode, done.stdout + done.stderr


def write_study(folder, name, text):
    path = folder / f"{name}.toml"
    path.write_text(text)
    return path


def rows(path):
    with open(path, newline="") as handle:
        return list(csv.DictReader(handle))


def test_tiny_study_end_to_end(tmp_path):
    status, said = snakemake(tmp_path, write_study(tmp_path, "tiny", TINY))
    assert status == 0, said
    out = tmp_path / "results" / "tiny"
    merged = rows(out / "tiny.csv")
    assert len(merged) == 24
    assert list(merged[0])[:4] == ["run", "seed", "map_distance_cM", "iter"]
    assert sorted({(r["run"], r["seed"], r["map_distance_cM"]) for r in merged}) == \
        [("p1", "1", "0"), ("p1", "2", "0"), ("p2", "1", "50"), ("p2", "2", "50")]
    # The merged rows are the job tables' rows, in job order.
    with open(out / "runs" / "tiny_p2_1.csv") as handle:
        job_lines = handle.read().splitlines()[1:]
    assert [",".join(list(r.values())[3:]) for r in merged if (r["run"], r["seed"]) == ("p2", "1")] == job_lines
    summary = rows(out / "tiny.summary.csv")
    assert [(s["run"], s["n"], s["jobs"]) for s in summary] == [("p1", "12", "2"), ("p2", "12", "2")]
    assert "ALPHA: FIXATION PROBABILITY" in (out / "tiny.summary.txt").read_text()
    figures = out / "figures"
    for name in ("times/p1.png", "times/p2.png", "final/p1.png", "final/p2.png", "fixation_probability.png"):
        with open(figures / name, "rb") as handle:
            assert handle.read(8) == b"\x89PNG\r\n\x1a\n", name
    # A second run has nothing to do; it says how the runs get their seeds.
    status, said = snakemake(tmp_path, tmp_path / "tiny.toml")
    assert status == 0 and "Nothing to be done" in said, said
    assert ("duolocus workflow: " + str(tmp_path / "tiny.toml") + ": 4 jobs in 2 runs; seeds: common") in said, said
    assert "population 20" not in said


def test_bad_study_starts_no_job(tmp_path):
    study = write_study(tmp_path, "bad", TINY.replace("max_generations = 300", "max_generations = 0"))
    status, said = snakemake(tmp_path, study)
    assert status != 0
    assert f"the study {study} cannot run; no job was started." in said
    assert (f"duolocus-batch: {study}:3: max_generations = 0 is out of range; "
            "allowed: a whole number from 1 to 9999999") in said
    assert not (tmp_path / "results").exists()


def test_failed_job_is_named_and_leaves_no_merged_table(tmp_path):
    study = write_study(tmp_path, "tiny", TINY)
    status, said = snakemake(tmp_path, study)
    assert status == 0, said
    merged = tmp_path / "results" / "tiny" / "tiny.csv"
    assert merged.exists()
    # The study changes, every job runs again, and one of them fails.
    study.write_text(TINY.replace("iterations = 6", "iterations = 5"))
    failing = tmp_path / "failing-batch"
    failing.write_text("#!/bin/sh\n"
                       'case " $* " in *" --run p2 --seed 2 "*)\n'
                       '  echo "duolocus-batch: could not write x.csv: No space left on device" >&2; exit 1;;\n'
                       "esac\n"
                       f'exec "{BATCH}" "$@"\n')
    failing.chmod(0o755)
    status, said = snakemake(tmp_path, study, failing)
    assert status != 0
    assert ("these jobs failed:\n  run p2, seed 2 (tiny_p2_2; log results/tiny/logs/tiny_p2_2.log): "
            "duolocus-batch: could not write x.csv: No space left on device") in said, said
    assert not merged.exists()
    assert not (tmp_path / "results" / "tiny" / "tiny.summary.csv").exists()


# A study whose jobs take a moment each, so that a signal lands among them.
SLOW = ("seed = [1, 2, 3]\niterations = 150\nmax_generations = 3000\n"
        "[sweep]\nmap_distance_cM = [0.0, 50.0]\n")


def job_tables(folder):
    runs = folder / "results" / "slow" / "runs"
    return {p.name: p.read_bytes() for p in sorted(runs.iterdir())} if runs.exists() else {}


@pytest.fixture(scope="module")
def reference(tmp_path_factory):
    """The job files and index of the slow study run by duolocus-batch
    alone, under the prefix the workflow gives them."""
    folder = tmp_path_factory.mktemp("reference")
    (folder / "results" / "slow" / "runs").mkdir(parents=True)
    write_study(folder, "slow", SLOW)
    subprocess.run([BATCH, str(folder / "slow.toml"), "-q", "--out", "results/slow/runs/slow"], cwd=folder, check=True)
    return job_tables(folder)


@pytest.mark.parametrize("sig", [signal.SIGINT, signal.SIGKILL], ids=["ctrl-c", "kill"])
def test_stopped_workflow_completes_with_the_same_command(tmp_path, reference, sig):
    study = write_study(tmp_path, "slow", SLOW)
    command = [SNAKEMAKE, "-s", SNAKEFILE, "-j", "2", "--config", f"study={study}", f"batch={BATCH}"]
    # Ctrl-C at a terminal signals the whole foreground process group; a kill
    # of the session takes every process with it.
    running = subprocess.Popen(command, cwd=tmp_path, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    runs = tmp_path / "results" / "slow" / "runs"
    while running.poll() is None and len([p for p in runs.glob("*.csv")]) < 2:
        time.sleep(0.01)
    os.killpg(running.pid, sig)
    running.wait()
    stopped = job_tables(tmp_path)
    assert any(name.endswith(".csv") for name in stopped)
    for name, data in stopped.items():
        if name.endswith(".part") or name == "slow.lock":
            continue
        assert data == reference[name], f"{name} is at its final name but not complete"
    kept = {name: (runs / name).stat().st_mtime_ns for name in stopped if name.endswith((".csv", ".txt"))}
    done = subprocess.run(command, cwd=tmp_path, capture_output=True, text=True)
    assert done.returncode == 0, done.stdout + done.stderr
    assert job_tables(tmp_path) == reference
    assert {name: (runs / name).stat().st_mtime_ns for name in kept} == kept, "a finished job ran again"
    assert (tmp_path / "results" / "slow" / "slow.summary.csv").exists()


def test_only_what_changed_runs_again(tmp_path):
    runs_study = ("seed = [1, 2]\niterations = 4\nmax_generations = 200\n" + founders(AABB=10, aabb=10)
                  + "[runs.a]\nmap_distance_cM = 1.0\n[runs.b]\nmap_distance_cM = 2.0\n")
    study = write_study(tmp_path, "two", runs_study)
    status, said = snakemake(tmp_path, study)
    assert status == 0, said
    runs = tmp_path / "results" / "two" / "runs"
    stamps = lambda: {p.name: p.stat().st_mtime_ns for p in runs.glob("two_*_*.*")}
    ran = lambda said: sorted(re.findall(r"job (two_\w+_\d+): run", said))
    first = stamps()
    # A deleted result: that job alone.
    (runs / "two_b_2.csv").unlink()
    status, said = snakemake(tmp_path, study)
    assert status == 0 and ran(said) == ["two_b_2"], said
    # One run edited: its jobs alone.
    study.write_text(runs_study.replace("map_distance_cM = 2.0", "map_distance_cM = 3.0"))
    status, said = snakemake(tmp_path, study)
    assert status == 0 and ran(said) == ["two_b_1", "two_b_2"], said
    now = stamps()
    assert {k: now[k] for k in now if "_a_" in k} == {k: first[k] for k in first if "_a_" in k}
    # Bundles of jobs make the same files.
    before = {p.name: p.read_bytes() for p in runs.glob("two_*_*.*")}
    for p in runs.glob("two_*_*.*"):
        p.unlink()
    done = subprocess.run([SNAKEMAKE, "-s", SNAKEFILE, "-j", "2", "--config", f"study={study}", f"batch={BATCH}",
                           "bundle=3"], cwd=tmp_path, capture_output=True, text=True)
    assert done.returncode == 0, done.stdout + done.stderr
    assert sorted(re.findall(r"bundle (\d+): jobs", done.stdout + done.stderr)) == ["1", "2"]
    assert {p.name: p.read_bytes() for p in runs.glob("two_*_*.*")} == before
