"""The workflow on a real Slurm cluster through workflow/profiles/slurm,
against a local run of the same study, byte for byte. Runs when a cluster
answers (sinfo): CI starts one with tools/slurm-cluster; `make test-slurm`
starts one, runs this and stops it. The job count is small: each Slurm job
costs seconds of Snakemake start-up (docs/studies.md)."""

import filecmp
import os
import shutil
import subprocess

import pytest

from conftest import BATCH, REPO, founders

SNAKEFILE = os.path.join(REPO, "workflow", "Snakefile")
PROFILE = os.path.join(REPO, "workflow", "profiles", "slurm")
SNAKEMAKE = shutil.which("snakemake")


def cluster_answers():
    try:
        return subprocess.run(["sinfo", "-h", "-o", "%T"], capture_output=True, text=True,
                              timeout=20).stdout.split()[:1] in (["idle"], ["mixed"], ["allocated"])
    except (OSError, subprocess.TimeoutExpired):
        return False


pytestmark = [
    pytest.mark.skipif(SNAKEMAKE is None, reason="snakemake is not installed (apt-get install snakemake)"),
    pytest.mark.skipif(not os.path.exists(BATCH), reason=f"{BATCH} is not built"),
    pytest.mark.skipif(not cluster_answers(), reason="no Slurm cluster answers (make test-slurm starts one)"),
]

STUDY = ("seed = [1, 2]\niterations = 20\nmax_generations = 300\n" + founders(AABB=10, aabb=10)
         + "[sweep]\nmap_distance_cM = [0.0, 50.0]\n")


def results(folder):
    """Every file of the results folder but the logs and the workflow's lock."""
    top = folder / "results" / "tiny"
    return sorted(str(p.relative_to(top)) for p in top.rglob("*")
                  if p.is_file() and "logs" not in p.parts and p.name != "workflow.lock")


def test_slurm_profile_matches_a_local_run(tmp_path):
    local, cluster = tmp_path / "local", tmp_path / "cluster"
    for folder in (local, cluster):
        folder.mkdir()
        (folder / "tiny.toml").write_text(STUDY)
    command = [SNAKEMAKE, "-s", SNAKEFILE, "--config", f"study={local / 'tiny.toml'}", f"batch={BATCH}"]
    done = subprocess.run(command + ["-j", "2"], cwd=local, capture_output=True, text=True)
    assert done.returncode == 0, done.stdout + done.stderr
    # As in most CI containers: no USER. Two jobs of the four in one bundle
    # each: two submissions.
    env = {k: v for k, v in os.environ.items() if k != "USER"}
    command = [SNAKEMAKE, "-s", SNAKEFILE, "--profile", PROFILE, "--config",
               f"study={cluster / 'tiny.toml'}", f"batch={BATCH}", "bundle=2"]
    done = subprocess.run(command, cwd=cluster, capture_output=True, text=True, env=env)
    said = done.stdout + done.stderr
    assert done.returncode == 0, said
    assert said.count("has been submitted with SLURM jobid") == 2, said
    logs = list((cluster / ".snakemake" / "slurm_logs").rglob("*.log"))
    assert len(logs) == 2
    names = results(local)
    assert names == results(cluster)
    assert "runs/tiny_p2_2.csv" in names and "tiny.summary.txt" in names
    same, different, errors = filecmp.cmpfiles(local / "results" / "tiny", cluster / "results" / "tiny", names,
                                               shallow=False)
    assert different == [] and errors == []
