"""The Snakemake workflow run for real (snakemake -j 2) on tiny studies: its
merged table, summary and figures; a bad study; a job that fails."""

import csv
import os
import shutil
import subprocess

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
    # A second run has nothing to do.
    status, said = snakemake(tmp_path, tmp_path / "tiny.toml")
    assert status == 0 and "Nothing to be done" in said, said


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
