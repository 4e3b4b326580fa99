"""figures and duolocus-plot: every figure drawn from real runs and read back
as an image; the theoretical curves; what it refuses."""

import math

import pytest

from conftest import PLOT, founders, run_batch, run_tool

matplotlib = pytest.importorskip("matplotlib")
import matplotlib.image  # noqa: E402

from duolocus import figures, tables, theory  # noqa: E402


def read_png(path):
    """The image's height and width in pixels; fails unless it is a PNG with
    something drawn on it."""
    with open(path, "rb") as handle:
        assert handle.read(8) == b"\x89PNG\r\n\x1a\n"
    pixels = matplotlib.image.imread(str(path))
    assert pixels.std() > 0.05, "the figure is blank"
    return pixels.shape[0], pixels.shape[1]


@pytest.fixture(scope="module")
def sweep(tmp_path_factory):
    """Two points of a sweep, two seeds each, with trajectories."""
    folder = tmp_path_factory.mktemp("sweep")
    run_batch("seed = [1, 2]\niterations = 12\nmax_generations = 400\n" + founders(AABB=20, aabb=20)
              + "[sweep]\nmap_distance_cM = [0.0, 50.0]\n", folder, "sw", "--trajectory", "5")
    return folder


class TestFigures:
    def test_times_and_final_one_per_run(self, sweep, tmp_path):
        for figure in ("times", "final"):
            status, _, err = run_tool(PLOT, figure, "--each", tmp_path / figure, sweep / "sw_index.csv")
            assert status == 0, err
            for run in ("p1", "p2"):
                assert read_png(tmp_path / figure / f"{run}.png") == (500, 1100)

    def test_probability_against_the_swept_setting(self, sweep, tmp_path):
        status, _, err = run_tool(PLOT, "probability", "-o", tmp_path / "p.png", sweep / "sw_index.csv")
        assert status == 0, err
        assert read_png(tmp_path / "p.png") == (540, 1200)

    def test_trajectory(self, sweep, tmp_path):
        status, _, err = run_tool(PLOT, "trajectory", "-o", tmp_path / "t.png", sweep / "sw_p2_1.traj.csv")
        assert status == 0, err
        assert read_png(tmp_path / "t.png") == (850, 1000)

    def test_trajectory_colours_say_which_allele_fixed(self):
        import pandas as pd
        # Iteration 1: A reaches 1 and mutation takes it back down; B never
        # fixes. Iteration 2: A is lost at once.
        frame = pd.DataFrame({"iter": [1, 1, 1, 2, 2], "gen": [5, 10, 15, 5, 10],
                              "p_A": [0.8, 1.0, 0.95, 0.0, 0.0], "p_B": [0.5, 0.6, 0.7, 0.4, 0.3],
                              "D": [0.0] * 5})

        def colours(fig, k):
            return [matplotlib.colors.to_hex(line.get_color()) for line in fig.axes[k].lines
                    if len(line.get_xdata()) > 1]
        blue, red, grey = (matplotlib.colors.to_hex(c) for c in ("tab:blue", "tab:red", "0.5"))
        # From the samples alone: the first 0 or 1 they reach.
        fig = figures.trajectory(frame)
        assert colours(fig, 0) == [blue, red] and colours(fig, 1) == [grey, grey]
        # The iteration table knows better: B fixed in iteration 2 between samples.
        table = pd.DataFrame({"iter": [1, 2], "A_all_fixed": ["A", "a"], "B_all_fixed": ["none", "B"]})
        fig = figures.trajectory(frame, table=table)
        assert colours(fig, 0) == [blue, red] and colours(fig, 1) == [grey, blue]

    def test_titles_name_the_settings(self, sweep):
        study = tables.load([str(sweep / "sw_index.csv")])
        p2 = [i for i, j in enumerate(study.jobs) if j.run == "p2"]
        fig = figures.times(study, p2, "p2", 30)
        title = fig._suptitle.get_text()
        assert title == ("Fixation times: p2\nN = 40, p0(A) = 0.50, p0(B) = 0.50, 50 cM, neutral, "
                         "at most 400 generations; 24 iterations, seeds 1, 2")
        assert [ax.get_xlabel() for ax in fig.axes] == ["generation at which the Alpha allele fixed",
                                                        "generation at which the Beta allele fixed"]
        fig = figures.probability(study, {"p1": [i for i, j in enumerate(study.jobs) if j.run == "p1"],
                                          "p2": p2}, None, None)
        assert fig.axes[0].get_xlabel() == "map distance (cM)"
        assert fig.axes[0].get_ylabel() == "probability of fixation (95% Wilson interval)"
        assert "theory: neutral: u = p0" in [t.get_text() for t in fig.axes[0].get_legend().get_texts()]


    def test_runs_halted_by_extinction_say_so(self, tmp_path):
        # Two founders that cannot self and whose offspring are all sterile.
        run_batch('seed = [1, 2]\niterations = 3\nfertilization = "selfing-not-allowed"\n'
                  + founders(AABB=1, aabb=1) + "[fitness]\nAaBB = 0.0\nAaBb = 0.0\nAabb = 0.0\n"
                  + "[sweep]\nmap_distance_cM = [0.0, 50.0]\n", tmp_path, "ext")
        study = tables.load([str(tmp_path / "ext_index.csv")])
        groups = {run: [i for i, j in enumerate(study.jobs) if j.run == run] for run in ("p1", "p2")}
        fig = figures.probability(study, groups, None, None)
        for ax in fig.axes:
            assert [t.get_text() for t in ax.texts] == ["no iteration to count:\nevery one was halted by extinction"]
            assert ax.get_legend() is None
            assert ax.get_xlim()[1] > 50
        assert "0 iterations (+12 halted by extinction)" in fig._suptitle.get_text()


class TestTheory:
    BASE = {"population": "100", "mutation.A_to_a": "0", "mutation.a_to_A": "0", "mutation.B_to_b": "0",
            "mutation.b_to_B": "0", "migration.immigrants": "0", "mating.isolation": "none",
            "fixation.alpha": "any", "fixation.beta": "any", "fertilization": "selfing-allowed",
            "map_distance_cM": "0", "p0_A": "0.5", "p0_B": "0.5"}

    def context(self, fitness, cm="0", only_ab=True, **more):
        ctx = dict(self.BASE, map_distance_cM=cm, **more)
        for g, w in zip(["AABB", "AABb", "AAbb", "AaBB", "AaBb", "Aabb", "aaBB", "aaBb", "aabb"], fitness):
            ctx[f"fitness.{g}"] = str(w)
            ctx[f"founders.{g}"] = "50" if g in ("AABB", "aabb") or not only_ab else "0"
        return ctx

    SEL_A = [1.0, 1.0, 1.0, 0.99, 0.99, 0.99, 0.98, 0.98, 0.98]

    def test_neutral(self):
        label, u = theory.fixation_law(self.context([1.0] * 9), 1)
        assert label == theory.NEUTRAL_TEXT and u(0.3) == 0.3

    def test_kimura_for_genic_selection(self):
        label, u = theory.fixation_law(self.context(self.SEL_A, cm="50"), 0)
        four_ns = 4 * 100 * 0.02 / 1.98
        assert label == "Kimura, 4Ns = 4.04"
        assert u(0.5) == pytest.approx((1 - math.exp(-four_ns / 2)) / (1 - math.exp(-four_ns)))
        assert u(0.0) == 0.0 and u(1.0) == pytest.approx(1.0)

    def test_linked_gene_shares_the_selected_gene_only_without_recombination(self):
        # Beta is neutral but rides on A: the same curve at 0 cM from AB and ab chromosomes only.
        label, _ = theory.fixation_law(self.context(self.SEL_A, cm="0"), 1)
        assert label == "Kimura, 4Ns = 4.04"
        assert theory.fixation_law(self.context(self.SEL_A, cm="50"), 1) is None
        assert theory.fixation_law(self.context(self.SEL_A, cm="0", only_ab=False), 1) is None
        assert theory.fixation_law(self.context(self.SEL_A, cm="0", **{"mutation.B_to_b": "0.001"}), 1) is None

    def test_no_formula(self):
        dominant = [1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 0.9, 0.9, 0.9]
        assert theory.fixation_law(self.context(dominant, cm="50"), 0) is None
        assert theory.fixation_law(self.context(self.SEL_A, fertilization="monogamy"), 0) is None
        assert theory.fixation_law(self.context([1.0] * 9, **{"migration.immigrants": "2"}), 0) is None


class TestRefusals:
    def test_not_a_table(self, tmp_path):
        (tmp_path / "x.csv").write_text("a,b\n1,2\n")
        status, _, err = run_tool(PLOT, "times", "-o", tmp_path / "t.png", tmp_path / "x.csv")
        assert status == 2
        assert err.startswith(f"duolocus-plot: {tmp_path / 'x.csv'}:1: not a Duolocus table")
        assert not (tmp_path / "t.png").exists()

    def test_not_a_trajectory(self, sweep, tmp_path):
        status, _, err = run_tool(PLOT, "trajectory", "-o", tmp_path / "t.png", sweep / "sw_p1_1.csv")
        assert status == 2 and ":1: not a trajectory file" in err

    def test_one_file_for_many_figures(self, sweep, tmp_path):
        status, _, err = run_tool(PLOT, "final", "-o", tmp_path / "f.png", sweep / "sw_index.csv")
        assert status == 2
        assert "2 figures to draw (p1, p2); choose one with --run or write one per group with --each DIR" in err
        assert not (tmp_path / "f.png").exists()

    def test_probability_of_one_run(self, sweep, tmp_path):
        status, _, err = run_tool(PLOT, "probability", "-o", tmp_path / "p.png", sweep / "sw_p1_1.csv")
        assert status == 2 and "one run only" in err


class TestWords:
    @staticmethod
    def fitness(values):
        return {f"fitness.{g}": str(w) for g, w in
                zip(["AABB", "AABb", "AAbb", "AaBB", "AaBb", "Aabb", "aaBB", "aaBb", "aabb"], values)}

    def test_selection_as_s_and_h(self):
        assert figures.describe_fitness(self.fitness([1, 1, 1, 0.95, 0.95, 0.95, 0.9, 0.9, 0.9])) == \
            "Alpha s = 0.1, h = 0.5"
        assert figures.describe_fitness(self.fitness([0.8, 1, 1, 0.8, 1, 1, 0.8, 1, 1])) == \
            "Beta s = 0.2, h = 0 favouring b"
        both = [a * b for a in (1, 0.9, 0.8) for b in (1, 1, 0.5)]
        assert figures.describe_fitness(self.fitness(both)) == \
            "Alpha s = 0.2, h = 0.5; Beta s = 0.5, h = 0 (multiplicative)"
        assert figures.describe_fitness(self.fitness([1, 1, 1, 1, 0.5, 1, 1, 1, 1])) == "fitness AaBb 0.5"
        assert figures.describe_fitness(self.fitness([1] * 9)) == "neutral"

    def test_trajectory_from_generation_0_titled_in_words(self, sweep):
        fig = figures.trajectory_from_file(str(sweep / "sw_p2_1.traj.csv"))
        title = fig._suptitle.get_text()
        assert title.startswith("Allele-frequency trajectories\nN = 40, p0(A) = 0.50, p0(B) = 0.50, 50 cM")
        assert "sw_p2" not in title
        for ax in fig.axes:
            drawn = [line for line in ax.get_lines() if len(line.get_xdata()) > 1]
            assert drawn and all(line.get_xdata()[0] == 0 for line in drawn)
        # The founders: AABB and aabb only, so D starts at 0.25.
        assert all(line.get_ydata()[0] == pytest.approx(0.25) for line in fig.axes[2].get_lines())

    def test_neutral_times_drawn_for_both_genes(self, sweep):
        study = tables.load([str(sweep / "sw_index.csv")])
        fig = figures.times(study, [0, 1], "p1", 30)
        for ax, (big, small) in zip(fig.axes, (("A", "a"), ("B", "b"))):
            labels = [t.get_text() for t in ax.get_legend().get_texts()]
            assert any(label.startswith(f"theory, {big}: ") for label in labels), labels
            assert any(label.startswith(f"theory, {small}: ") for label in labels), labels


class TestEnds:
    def test_probability_when_every_iteration_fixed(self):
        # 3 of 3 and 0 of 3 fixed: the interval ends at the estimate, and the
        # error bar on that side has length 0 (it was negative once).
        duolocus = pytest.importorskip("duolocus")
        try:
            from duolocus import _engine  # noqa: F401
        except ImportError:
            pytest.skip("the compiled engine is not built")
        runs = [duolocus.run({"iterations": 3, "founders": {"AABB": 8, "aaBB": 2}, "map_distance_cM": cm,
                              "fitness": {"aaBB": 0.0, "AaBB": 0.2}}, seed=3) for cm in (0.0, 10.0)]
        assert all(r.tallies["A"] == 3 and r.tallies["b"] == 0 for r in runs)
        from duolocus import stats
        study = tables.from_runs(runs, keys=["map_distance_cM"])
        fig = figures.probability(study, stats.group_jobs(study.jobs, ["map_distance_cM"]))
        bars = [c for c in fig.axes[0].collections if hasattr(c, "get_segments")]
        tops = [max(y for _, y in seg) for c in bars for seg in c.get_segments()]
        assert tops and all(top == 1.0 for top in tops)

    def test_trajectory_with_its_generation_0_drawn_once(self):
        import pandas as pd
        # A file that starts at the founders: its own generation 0 is the
        # start, never a second point made from the settings.
        frame = pd.DataFrame({"iter": [1, 1, 1], "gen": [0, 5, 10],
                              "p_A": [0.3, 0.6, 1.0], "p_B": [0.5, 0.5, 0.5], "D": [0.05, 0.02, 0.0]})
        ctx = {"p0_A": "0.25", "p0_B": "0.5", "population": "20"}
        fig = figures.trajectory(frame, ctx)
        for k, column in enumerate(("p_A", "p_B", "D")):
            [line] = [line for line in fig.axes[k].lines if len(line.get_xdata()) > 1]
            assert list(line.get_xdata()) == [0, 5, 10]
            assert list(line.get_ydata()) == list(frame[column])
        # A file without it starts from the settings' founders.
        fig = figures.trajectory(frame[frame["gen"] > 0], ctx)
        [line] = [line for line in fig.axes[0].lines if len(line.get_xdata()) > 1]
        assert list(line.get_xdata()) == [0, 5, 10] and line.get_ydata()[0] == 0.25
