"""The engine from Python: the same files as duolocus-batch over generated
settings, the study file's refusals as ValueError, runs in parallel
processes, the catalogue."""

import os
import random
import subprocess
import sys

import pandas as pd
import pytest

from conftest import BATCH, PACKAGE_ROOT

import duolocus
from duolocus import tables

try:
    from duolocus import _engine  # noqa: F401
except ImportError:
    pytestmark = pytest.mark.skip(reason="the compiled engine is not built (pip install the package)")

GENOTYPES = tables.GENOTYPES


def toml_value(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, str):
        return f'"{value}"'
    return repr(value)


def batch_files(tmp_path, settings, seed, trajectory=0):
    """The files duolocus-batch writes for these settings and seed."""
    if not os.path.exists(BATCH):
        pytest.skip(f"{BATCH} is not built")
    study = tmp_path / "s.toml"
    study.write_text(f"seed = {seed}\n" + "".join(f"{k} = {toml_value(v)}\n" for k, v in settings.items()))
    extra = ["--trajectory", str(trajectory)] if trajectory else []
    done = subprocess.run([BATCH, str(study), "--quiet", *extra], cwd=tmp_path, capture_output=True, text=True)
    if done.returncode != 0:
        return None, done.stderr
    files = {ext: (tmp_path / f"s.{ext}").read_bytes() for ext in ("csv", "txt")}
    if trajectory:
        files["traj"] = (tmp_path / "s.traj.csv").read_bytes()
    return files, ""


def generated_settings(rnd):
    """Small random runs over most kinds of setting."""
    s = {"iterations": rnd.randint(2, 12), "max_generations": rnd.randint(1, 250)}
    if rnd.random() < 0.25:
        s["population.size"] = rnd.randint(4, 30)
        s["population.p_A"] = rnd.choice([0.1, 0.5, 0.75])
        s["population.p_B"] = rnd.choice([0.2, 0.5])
        s["population.phase"] = rnd.choice(["none", "coupling", "repulsion"])
    elif rnd.random() < 0.6:
        for g in GENOTYPES:
            s[f"founders.{g}"] = rnd.choice([0, 0, 1, 3, 8])
        if sum(s[f"founders.{g}"] for g in GENOTYPES) == 0:
            s["founders.AaBb"] = 4
    if rnd.random() < 0.5:
        for g in rnd.sample(GENOTYPES, 3):
            s[f"fitness.{g}"] = round(rnd.uniform(0.2, 1.0), 3)
    elif rnd.random() < 0.5:
        s["selection.alpha.s"] = round(rnd.uniform(0, 0.5), 3)
        s["selection.alpha.h"] = rnd.choice([0.0, 0.5, 1.0])
    s["map_distance_cM"] = rnd.choice([0.0, 1.5, 10, 50.0])
    if rnd.random() < 0.3:
        s["mutation.A_to_a"] = rnd.choice([0.001, 0.01])
        s["mutation.b_to_B"] = 0.005
    s["fertilization"] = rnd.choice(["selfing-allowed", "selfing-not-allowed", "monogamy"])
    if rnd.random() < 0.3:
        s["stop_at_fixation"] = False
    if rnd.random() < 0.3:
        s["track_gene_copies"] = False
    if rnd.random() < 0.2:
        s["fixation.alpha"] = "A"
    if rnd.random() < 0.2:
        s["migration.immigrants"] = rnd.choice([0.5, 2.0])
        s["migration.mix.AABB"] = 0.5
        s["migration.mix.aabb"] = 0.5
    if rnd.random() < 0.2:
        s["mating.isolation"] = rnd.choice(["premating", "postmating"])
        s["mating.AA_aa"] = 0.3
    return s


class TestSameAsTheBatchProgram:
    def test_the_issues_one_line_run(self):
        assert duolocus.run({"iterations": 50, "map_distance_cM": 10}, seed=3).table.shape == (50, 28)

    @pytest.mark.parametrize("case", range(40))
    def test_generated_settings(self, tmp_path, case):
        rnd = random.Random(1900 + case)
        settings = generated_settings(rnd)
        seed = rnd.randint(1, 32767)
        trajectory = rnd.choice([0, 0, 7])
        files, refusal = batch_files(tmp_path, settings, seed, trajectory)
        if files is None:
            with pytest.raises(ValueError):
                duolocus.run(settings, seed=seed, trajectory=trajectory)
            return
        result = duolocus.run(settings, seed=seed, trajectory=trajectory, keep_bytes=True, name="s")
        assert result.csv_bytes == files["csv"]
        assert result.txt_bytes == files["txt"]
        pd.testing.assert_frame_equal(result.table, tables.read_table(str(tmp_path / "s.csv")))
        if trajectory:
            assert result.trajectory_bytes == files["traj"]
            pd.testing.assert_frame_equal(result.trajectory, tables.read_trajectory(str(tmp_path / "s.traj.csv")))
        t = result.tallies
        assert len(result.table) == t["iterations"] - t["extinct"] == settings["iterations"] - t["extinct"]
        assert t["A"] + t["a"] + t["Alpha none"] == len(result.table)

    def test_extinctions_are_counted_without_rows(self):
        settings = {"iterations": 6, "fertilization": "selfing-not-allowed",
                    "fitness": {"AaBB": 0.0, "AaBb": 0.0, "Aabb": 0.0}}
        settings.update({f"founders.{g}": 3 if g in ("AABB", "aabb") else 0 for g in GENOTYPES})
        result = duolocus.run(settings, seed=11)
        summary = result.summary.iloc[0]
        assert summary["iterations"] == 6 and summary["extinct"] > 0
        assert summary["rows"] == len(result.table) == 6 - summary["extinct"]
        rec = result.summarise().iloc[0]
        assert rec["iterations"] == 6 and rec["extinct"] == summary["extinct"]


class TestRefusals:
    @pytest.mark.parametrize("key, value", [("max_generations", 0), ("map_distance_cM", 50.5),
                                            ("fertilization", "sometimes"), ("iterations", True),
                                            ("stop_at_fixation", 1), ("fitness.aabb", "high")])
    def test_the_study_files_message(self, tmp_path, key, value):
        files, message = batch_files(tmp_path, {key: value}, 1)
        assert files is None
        told = message.splitlines()[0]
        place = f"duolocus-batch: {tmp_path / 's.toml'}:2: "
        assert told.startswith(place), told
        with pytest.raises(ValueError) as err:
            duolocus.run({key: value})
        # The same words after the place: the study file's line there, the dict's key here.
        assert str(err.value) == f"settings['{key}']: " + told[len(place):]

    def test_unknown_key_names_the_close_ones(self):
        with pytest.raises(ValueError) as err:
            duolocus.run({"map_distanse_cM": 5})
        assert "settings['map_distanse_cM']: no such setting; did you mean map_distance_cM" in str(err.value)

    def test_start_checks_refuse_a_run_that_cannot_start(self):
        nobody = {f"founders.{g}": 0 for g in GENOTYPES}
        nobody["founders.AABB"] = 1
        with pytest.raises(ValueError):
            duolocus.run(dict(nobody, fertilization="selfing-not-allowed"))

    def test_seed_out_of_range(self):
        with pytest.raises(ValueError, match="seed = 0; allowed: a whole number from 1 to 32767"):
            duolocus.run({}, seed=0)


class TestManyRuns:
    def test_processes_give_the_runs_of_one_process(self):
        settings = [{"iterations": 5, "map_distance_cM": cm} for cm in (0.0, 10.0, 50.0)]
        together = duolocus.run_many(settings, seeds=[4, 5, 6], processes=2, progress=False)
        for s, seed, result in zip(settings, (4, 5, 6), together):
            alone = duolocus.run(s, seed=seed)
            pd.testing.assert_frame_equal(result.table, alone.table)
            assert result.tallies == alone.tallies

    def test_bad_settings_refused_before_any_process(self):
        with pytest.raises(ValueError, match="no such setting"):
            duolocus.run_many([{"iterations": 2}, {"nonsense": 1}], processes=2, progress=False)


def test_catalogue_lists_the_study_keys():
    frame = duolocus.settings()
    keys = list(frame["key"])
    assert {"iterations", "map_distance_cM", "fitness.aabb", "selection.alpha.s", "population.size"} <= set(keys)
    assert len(keys) == len(set(keys))
    assert {"range", "default", "help"} <= set(frame.columns)


def test_structured_arrays_without_pandas():
    code = ("import sys; sys.modules['pandas'] = None\n"
            "import duolocus\n"
            "r = duolocus.run({'iterations': 7}, seed=2)\n"
            "print(r.table.shape, r.table.dtype.names[:3], r.summary['iterations'])\n")
    env = dict(os.environ)
    if os.environ.get("DUOLOCUS_TEST_INSTALLED") != "1":
        env["PYTHONPATH"] = PACKAGE_ROOT
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "(7,) ('iter', 'gens', 'A_all_fixed') 7"
