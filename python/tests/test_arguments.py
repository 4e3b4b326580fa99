"""What run(), run_many() and preview() accept: a settings dict means what a
study file means, every refusal names the key or argument and what is
allowed, and no Python value reaches the engine unchecked."""

import math
import os
import re
import subprocess
from fractions import Fraction

import numpy as np
import pytest

from conftest import BATCH, PACKAGE_ROOT

import duolocus
from duolocus import arguments, catalogue

try:
    from duolocus import _engine  # noqa: F401
    ENGINE = True
except ImportError:
    ENGINE = False
needs_engine = pytest.mark.skipif(not ENGINE, reason="the compiled engine is not built")


def refusal(settings=None, **kwargs):
    """The message run() refuses with (it must refuse)."""
    with pytest.raises(ValueError) as err:
        duolocus.run(settings, **kwargs)
    return str(err.value)


def study_refusal(tmp_path, key, toml_value):
    """What duolocus-batch says for `key = toml_value` in a study file, after the place."""
    if not os.path.exists(BATCH):
        pytest.skip(f"{BATCH} is not built")
    study = tmp_path / "s.toml"
    study.write_text(f"seed = 1\n{key} = {toml_value}\n")
    done = subprocess.run([BATCH, str(study), "--check"], capture_output=True, text=True)
    assert done.returncode != 0
    first = done.stderr.splitlines()[0]
    return first.split(":2: ", 1)[1]


@needs_engine
class TestOneMeaningPerKey:
    def test_a_key_given_twice_is_refused(self):
        told = refusal({"fitness": {"AABB": 0.5}, "fitness.AABB": 0.7})
        assert told.startswith("settings['fitness.AABB']: given twice")
        assert "settings['fitness']['AABB']" in told

    def test_keys_are_case_sensitive(self):
        told = refusal({"ITERATIONS": 3})
        assert told == "settings['ITERATIONS']: no such setting; keys are case-sensitive: did you mean iterations?"
        # Genotypes differ by case alone: the closest first, never folded into one.
        told = refusal({"fitness": {"aabB": 0.5}})
        assert told.startswith("settings['fitness.aabB']: no such setting; keys are case-sensitive: did you mean ")
        assert "fitness.aabb" in told and "fitness.aaBb" in told

    def test_empty_dicts(self):
        # Under an unknown key: refused; under a table: nothing set, as an
        # empty [fitness] in a study file; under a setting: a table where a value belongs.
        assert refusal({"nonsense": {}}).startswith("settings['nonsense']: no such setting")
        assert duolocus.run({"fitness": {}, "iterations": 2}, seed=4).tallies["iterations"] == 2
        assert refusal({"iterations": {}}) == \
            "settings['iterations']: iterations = a table is a table; allowed: a whole number from 1 to 50000"

    def test_a_table_given_one_value_names_its_keys(self):
        assert "fitness is a table" in refusal({"fitness": 0.5})

    def test_genotypes_left_out_of_the_founders_count_0(self):
        start = duolocus.preview({"founders": {"AABB": 5, "aabb": 5}})["founders"]
        assert start["population"] == 10
        assert start["counts"] == dict(zip(catalogue.genotypes(), [5, 0, 0, 0, 0, 0, 0, 0, 5]))

    def test_every_fault_on_its_own_line(self):
        for settings in ({"iterations": 0, "map_distance_cM": 99.0}, {"nonsense": 1, "ITERATIONS": 2}):
            told = refusal(settings).splitlines()
            assert [line.split("'")[1] for line in told] == list(settings)


@needs_engine
class TestValuesAsAStudyFileRefusesThem:
    @pytest.mark.parametrize("key, python, toml", [
        ("max_generations", float("nan"), "nan"),
        ("map_distance_cM", float("nan"), "nan"),
        ("map_distance_cM", float("inf"), "inf"),
        ("iterations", 2.5, "2.5"),
        ("stop_at_fixation", 1, "1"),
        ("fertilization", "sometimes", '"sometimes"'),
        ("migration.mix.aabb", "0.5", '"0.5"'),
        ("population.phase", True, "true"),
    ])
    def test_the_study_files_words(self, tmp_path, key, python, toml):
        assert refusal({key: python}) == f"settings['{key}']: " + study_refusal(tmp_path, key, toml)

    def test_a_list_as_a_study_file_says_it(self, tmp_path):
        told = study_refusal(tmp_path, "map_distance_cM", "[1, 2]")
        for value in ([1, 2], (1, 2), np.array([1, 2]), np.array([5.0])):
            mine = refusal({"map_distance_cM": value})
            # The study file adds where lists belong there ([sweep]); the rest is the same.
            assert told.startswith(mine.split(": ", 1)[1]), (mine, told)

    def test_big_whole_numbers_name_the_range(self):
        assert refusal({"max_generations": 2 ** 80}) == (
            f"settings['max_generations']: max_generations = {2 ** 80} is out of range; "
            "allowed: a whole number from 1 to 9999999")
        assert "allowed: a number from 0.0 to 50.0" in refusal({"map_distance_cM": 2 ** 80})
        assert "allowed: a number from 0.0 to 50.0" in refusal({"map_distance_cM": 10 ** 400})
        assert "is a whole number; allowed: true or false" in refusal({"stop_at_fixation": 2 ** 80})

    def test_a_nul_does_not_cut_the_message(self):
        told = refusal({"fertilization": "mono\0gamy"})
        assert told.startswith("settings['fertilization']: fertilization = \"mono\0gamy\" is out of range")
        assert told.endswith('allowed: "selfing-allowed", "selfing-not-allowed" or "monogamy"')

    @pytest.mark.parametrize("value, words", [
        (None, "None is nothing (None)"),
        (b"none", "is bytes, not a text"),
        (object(), "is a object"),
        (1 + 2j, "is a complex"),
        ("\udc80", "is a text that is not valid UTF-8"),
    ])
    def test_values_no_study_file_holds(self, value, words):
        told = refusal({"mating.isolation": value})
        assert told.startswith("settings['mating.isolation']: mating.isolation = ")
        assert words in told and told.endswith('allowed: "postmating" or "premating" (required when the '
                                               'preferences differ)')

    def test_numpy_and_other_numbers_are_their_values(self):
        plain = duolocus.run({"iterations": 3, "map_distance_cM": 12.5}, seed=9, keep_bytes=True)
        for it, cm in ((np.int64(3), np.float64(12.5)), (np.int16(3), np.float32(12.5)),
                       (np.array(3), Fraction(25, 2))):
            other = duolocus.run({"iterations": it, "map_distance_cM": cm}, seed=9, keep_bytes=True)
            assert other.csv_bytes == plain.csv_bytes and other.txt_bytes == plain.txt_bytes
        # numpy's bool is a bool, not a number.
        assert "is true or false" in refusal({"iterations": np.bool_(True)})

    def test_the_engine_refuses_what_slips_past(self):
        # The binding checks too: a value that is not one of the four kinds
        # comes back as a refusal naming the key, never reaches the run.
        from duolocus import _engine
        raw = _engine.run([("map_distance_cM", [1, 2])], 1, 0, "x")
        assert raw["status"] == 2 and raw["faults"][0].startswith("settings['map_distance_cM']")
        raw = _engine.run([("max_generations", 2 ** 80)], 1, 0, "x")
        assert raw["status"] == 2 and "allowed: a whole number from 1 to 9999999" in raw["faults"][0]


@needs_engine
class TestArguments:
    @pytest.mark.parametrize("kwargs, told", [
        ({"seed": 0}, "seed = 0; allowed: a whole number from 1 to 32767"),
        ({"seed": 2.0}, "seed = 2.0; allowed"),
        ({"seed": True}, "seed = True; allowed"),
        ({"seed": "7"}, "seed = '7'; allowed"),
        ({"trajectory": 10 ** 12}, "trajectory = 1000000000000; allowed: a whole number from 0 (none) to 9999999"),
        ({"trajectory": -1}, "trajectory = -1; allowed"),
        ({"keep_bytes": "no"}, "keep_bytes = 'no'; allowed: True or False"),
        ({"keep_bytes": 1}, "keep_bytes = 1; allowed: True or False"),
        ({"name": ""}, "name = ''; allowed: a file prefix"),
        ({"name": "a\nb"}, "name = 'a\\nb'; allowed"),
        ({"name": "a\0b"}, "name = 'a\\x00b'; allowed"),
        ({"name": "out/"}, "name = 'out/'; allowed"),
        ({"name": 5}, "name = 5; allowed"),
    ])
    def test_run_names_the_argument(self, kwargs, told):
        assert refusal({}, **kwargs).startswith(told)

    def test_settings_must_be_a_dict(self):
        assert refusal([("iterations", 2)]).startswith("settings = [('iterations', 2)]; allowed: a dict")
        assert refusal({5: 1}).startswith("settings: the key 5 is a int, not a text")

    def test_the_name_is_the_reports_own(self):
        result = duolocus.run({"iterations": 2}, seed=3, keep_bytes=True, name="out/run7")
        assert b"\nOUTPUT FILE: out/run7.txt\n" in result.txt_bytes

    @pytest.mark.parametrize("kwargs, told", [
        ({"processes": "2"}, "processes = '2'; allowed: None (every CPU this process may use) or a whole number from 1"),
        ({"processes": 0}, "processes = 0; allowed"),
        ({"processes": 1.5}, "processes = 1.5; allowed"),
        ({"seeds": "12"}, "seeds = '12'; allowed"),
        ({"seeds": [1]}, "seeds: 1 seeds for 2 settings"),
        ({"seeds": [1, 0]}, "seeds[1] = 0; allowed: a whole number from 1 to 32767"),
        ({"seeds": 40000}, "seeds = 40000; allowed"),
        ({"progress": "yes"}, "progress = 'yes'; allowed: True or False"),
        ({"trajectory": 10 ** 12}, "trajectory = 1000000000000; allowed"),
        ({"keep_bytes": None}, "keep_bytes = None; allowed"),
    ])
    def test_run_many_names_the_argument_before_any_process(self, kwargs, told):
        kwargs.setdefault("progress", False)
        with pytest.raises(ValueError) as err:
            duolocus.run_many([{"iterations": 2}, {"iterations": 3}], **kwargs)
        assert str(err.value).startswith(told), str(err.value)

    def test_run_many_names_the_run_whose_settings_are_refused(self):
        with pytest.raises(ValueError) as err:
            duolocus.run_many([{"iterations": 2}, {"ITERATIONS": 1}, {"iterations": 0}], progress=False)
        lines = str(err.value).splitlines()
        assert lines[0].startswith("settings_list[1]: settings['ITERATIONS']: no such setting")
        assert lines[1].startswith("settings_list[2]: settings['iterations']: iterations = 0 is out of range")
        with pytest.raises(ValueError, match="settings_list = "):
            duolocus.run_many({"iterations": 2}, progress=False)

    def test_one_seed_or_numpy_seeds_for_every_run(self):
        one = duolocus.run_many([{"iterations": 2}] * 2, seeds=np.int32(5), processes=1, progress=False)
        listed = duolocus.run_many([{"iterations": 2}] * 2, seeds=np.array([5, 5]), processes=1, progress=False)
        assert [r.seed for r in one] == [r.seed for r in listed] == [5, 5]
        assert one[0].tallies == listed[1].tallies


@needs_engine
class TestFounders:
    def test_preview_and_the_runs_founders_agree(self):
        settings = {"population.size": 40, "population.p_A": 0.2, "population.p_B": 0.5,
                    "population.phase": "coupling"}
        start = duolocus.preview(settings)
        founders = start["founders"]
        assert founders["population"] == sum(founders["counts"].values()) == 40
        hap = founders["haplotypes"]
        assert sum(hap.values()) == pytest.approx(1.0)
        assert founders["p_A"] == pytest.approx(hap["AB"] + hap["Ab"])
        assert founders["D"] == pytest.approx(hap["AB"] * hap["ab"] - hap["Ab"] * hap["aB"])
        assert max(start["fitness"].values()) == 1.0
        assert duolocus.run(settings, seed=2).founders == founders

    def test_preview_refuses_as_run_does(self):
        with pytest.raises(ValueError, match=r"settings\['population.size'\]: population.size = 0 is out of range"):
            duolocus.preview({"population.size": 0})


class TestCatalogueFile:
    def test_the_files_shape(self):
        data = catalogue.data()
        assert set(data) >= {"settings", "statistics", "limits", "genotypes", "haplotypes"}
        keys = catalogue.keys()
        assert len(keys) == len(set(keys))
        for row in catalogue.rows():
            assert {"key", "label", "type", "lo", "hi", "range", "default", "report"} <= set(row)
        assert catalogue.statistics()[:2] == ["iter", "gen"]
        lo, hi = catalogue.limit("seed")
        assert 1 == lo < hi

    @needs_engine
    def test_the_file_is_the_engines_catalogue(self):
        # The shipped file and the compiled engine describe the same settings:
        # a row added to one alone is caught here (rebuild the file).
        import json
        from duolocus import _engine
        engine = json.loads(_engine.catalogue_json())
        engine = engine["settings"] if isinstance(engine, dict) else engine
        columns = set(engine[0]) & set(catalogue.rows()[0])
        assert {"key", "type", "lo", "hi", "range", "default"} <= columns
        assert [{k: row[k] for k in columns} for row in catalogue.rows()] == \
            [{k: row[k] for k in columns} for row in engine]
        assert catalogue.statistics() == _engine.trajectory_header().split(",")

    def test_read_without_the_compiled_engine(self):
        code = ("import sys; sys.modules['duolocus._engine'] = None\n"
                "import duolocus\n"
                "from duolocus import arguments, reports, tables, theory\n"
                "print(len(duolocus.settings()) > 40, arguments.seed(7), reports.SETTING_KEYS[0])\n")
        env = dict(os.environ)
        if os.environ.get("DUOLOCUS_TEST_INSTALLED") != "1":
            env["PYTHONPATH"] = PACKAGE_ROOT
        done = subprocess.run([os.sys.executable, "-c", code], capture_output=True, text=True, env=env)
        assert done.returncode == 0, done.stderr
        assert done.stdout.split() == ["True", "7", "founders.AABB"]

    def test_no_limit_or_default_written_into_the_package(self):
        # Ranges, defaults and limits come from the catalogue file alone.
        folder = os.path.dirname(os.path.abspath(duolocus.__file__))
        found = []
        for name in sorted(os.listdir(folder)):
            if not name.endswith((".py", ".cpp")):
                continue
            with open(os.path.join(folder, name), encoding="utf-8") as handle:
                for number, line in enumerate(handle, 1):
                    if re.search(r"(?<![0-9.])(30000|32767|9999999|50000)(?![0-9])", line):
                        found.append(f"{name}:{number}: {line.strip()}")
        assert not found, "\n".join(found)


def test_arguments_checks_alone():
    # The checks need neither the engine nor pandas.
    assert arguments.seed(np.int64(9)) == 9
    assert arguments.settings({"fitness": {"aabb": np.float32(0.5)}}) == [("fitness.aabb", 0.5)]
    assert arguments.settings(None) == []
    with pytest.raises(TypeError):  # a refusal is a TypeError too, for callers that catch that
        arguments.flag("keep_bytes", "no")
    assert math.isnan(arguments.settings({"map_distance_cM": float("nan")})[0][1])


def _bad_values(row):
    """Values a study file refuses for this row, whatever the row: beyond
    each end, and of each kind the row does not take."""
    kind = row["type"]
    out = []
    if kind in ("count", "real"):
        step = 1 if kind == "count" else 0.5
        out += [row["lo"] - step, row["hi"] + step]
    if kind != "count":
        out.append(7 if kind in ("flag", "choice") else None)
    if kind == "count":
        out.append(1.5)
    if kind != "flag":
        out.append(True)
    out.append("no such word" if kind != "choice" else "No Such Choice")
    return [v for v in out if v is not None]


def _toml(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, str):
        return f'"{value}"'
    return repr(value)


@needs_engine
def test_every_row_refuses_as_a_study_file_does(tmp_path):
    # The study file and Python refuse the same values of every setting
    # with the same words (only the place differs), rows added later included.
    if not os.path.exists(BATCH):
        pytest.skip(f"{BATCH} is not built")
    study = tmp_path / "s.toml"
    differ = []
    for row in catalogue.rows():
        for value in _bad_values(row):
            study.write_text(f"seed = 1\n{row['key']} = {_toml(value)}\n")
            done = subprocess.run([BATCH, str(study), "--check"], capture_output=True, text=True)
            told = done.stderr.splitlines()[0].split(":2: ", 1)[-1] if done.returncode else "(accepted)"
            with pytest.raises(ValueError) as err:
                duolocus.preview({row["key"]: value})
            mine = str(err.value).split(": ", 1)[1]
            if mine != told:
                differ.append(f"{row['key']} = {value!r}:\n  study file: {told}\n  Python:     {mine}")
    assert not differ, "\n".join(differ)


@needs_engine
class TestFoundersByTheirChromosomes:
    """Founders given by phase, and the founders a run starts from."""

    phased = pytest.mark.skipif(catalogue.row("founders.AB_ab") is None,
                                reason="this engine takes no founders by phase")

    @phased
    def test_double_heterozygotes_by_phase(self):
        founders = duolocus.preview({"founders": {"AB_ab": 30, "Ab_aB": 10}})["founders"]
        assert founders["counts"]["AaBb"] == founders["population"] == 40
        assert founders["haplotypes"]["AB"] == pytest.approx(0.375)
        assert founders["D"] == pytest.approx(0.125)
        if "phased" in founders:  # an engine that hands the phased counts over
            assert founders["phased"] == {"AB_ab": 30, "Ab_aB": 10}

    @phased
    def test_coupling_hits_the_allele_frequency_and_never_puts_A_on_b(self):
        founders = duolocus.preview({"population.size": 40, "population.p_A": 0.2, "population.p_B": 0.5,
                                     "population.phase": "coupling"})["founders"]
        assert founders["p_A"] == pytest.approx(0.2) and founders["p_B"] == pytest.approx(0.5)
        assert founders["haplotypes"]["Ab"] == 0.0

    def test_the_trajectory_starts_where_the_founders_are(self):
        result = duolocus.run({"iterations": 2, "founders": {"AABB": 6, "AaBb": 4, "aabb": 10}}, seed=8,
                              trajectory=50)
        first = result.trajectory[result.trajectory["iter"] == 1].iloc[0]
        if first["gen"] != 0:
            pytest.skip("this engine's trajectory starts after the founders")
        founders = result.founders
        assert first["p_A"] == pytest.approx(founders["p_A"], abs=1e-7)
        assert first["p_B"] == pytest.approx(founders["p_B"], abs=1e-7)
        # The double heterozygotes' phase is drawn: the realised D lies between
        # all in repulsion and all in coupling.
        n = founders["population"]
        assert abs(first["D"] - founders["D"]) <= 4 / (2 * n) + 1e-7
