"""duolocus-summary: its numbers against tables computed by hand and against
the program's own SUMMARY STATISTICS, the merged table, and the files it
refuses."""

import csv
import math
import os
import re

import pytest

from conftest import REPO, SUMMARY, founders, run_batch, run_tool

HEADER = ("iter,gens,A_all_fixed,gens_fix_A_all,finalp_A,gens_fix_A_copy,A_origin_ht,A_origin_gt,"
          "B_all_fixed,gens_fix_B_all,finalp_B,gens_fix_B_copy,B_origin_ht,B_origin_gt,"
          "p_AB_AB,p_AB_Ab,p_Ab_Ab,p_AB_aB,p_AB_ab,p_Ab_aB,p_Ab_ab,p_aB_aB,p_aB_ab,p_ab_ab,"
          "p_AB,p_Ab,p_aB,p_ab")
FIXED_AB = ",".join(["1.0000000"] + ["0.0000000"] * 9 + ["1.0000000", "0.0000000", "0.0000000", "0.0000000"])
FIXED_ab = ",".join(["0.0000000"] * 9 + ["1.0000000"] + ["0.0000000", "0.0000000", "0.0000000", "1.0000000"])
HALF = ",".join(["0.1000000"] * 10 + ["0.2500000"] * 4)

# Five iterations worked through by hand (iteration 4 went extinct):
#   Alpha: A at 10, 20 and 40, a at 30, nothing fixed in iteration 6.
#   Beta:  B at 12 and 22, b at 30, nothing fixed in iterations 5 and 6.
#   Alpha copies fixed at 15 (AB of AABB), 25 (AB of AaBb), 35 (ab of aabb)
#   and 45 (AB of AABB); none in iteration 6.
HAND_ROWS = [
    f"1,15,A,10,1.0000000,15,AB,AABB,B,12,1.0000000,15,AB,AABB,{FIXED_AB}",
    f"2,25,A,20,1.0000000,25,AB,AaBb,B,22,1.0000000,25,AB,AaBb,{FIXED_AB}",
    f"3,35,a,30,0.0000000,35,ab,aabb,b,30,0.0000000,35,ab,aabb,{FIXED_ab}",
    f"5,45,A,40,1.0000000,45,AB,AABB,none,NA,0.5000000,45,AB,AABB,{HALF}",
    f"6,99,none,NA,0.5000000,none,NA,NA,none,NA,0.5000000,none,NA,NA,{HALF}",
]


def write(path, lines):
    with open(path, "w") as handle:
        handle.write("".join(line + "\n" for line in lines))
    return str(path)


def read_csv(path):
    with open(path, newline="") as handle:
        return list(csv.DictReader(handle))


def summarise(*args, cwd=None):
    status, out, err = run_tool(SUMMARY, *args, cwd=cwd)
    assert status == 0, err
    return out


def program_summary(txt):
    """The SUMMARY STATISTICS block of a PREFIX.txt, read here on its own."""
    with open(txt) as handle:
        text = handle.read()
    block = text[text.index("SUMMARY STATISTICS"):]
    found = {}
    for label, count, mean in re.findall(r"^(Alpha Allele|Alpha Gene Copy|Beta Allele|Beta Gene Copy)"
                                         r" +(\d+)  +(nc|[0-9.]+)$", block, re.M):
        found[label] = (int(count), mean)
    for allele, count in re.findall(r"^([AaBb]) allele fixed (\d+) times\.$", block, re.M):
        found[allele] = int(count)
    nones = re.findall(r"^Fixation did not occur (\d+) times\.$", block, re.M)
    found["Alpha none"], found["Beta none"] = map(int, nones)
    found["extinct"] = int(re.search(r"^Iteration halted due to extinction (\d+) times\.$", block, re.M).group(1))
    return found


class TestHandComputed:
    @pytest.fixture
    def table(self, tmp_path):
        return write(tmp_path / "hand.csv", [HEADER] + HAND_ROWS)

    def test_probabilities_with_errors_and_intervals(self, table, tmp_path):
        summarise(table, "--csv", tmp_path / "s.csv")
        [rec] = read_csv(tmp_path / "s.csv")
        assert rec["n"] == "5"
        assert rec["iterations"] == "NA" and rec["extinct"] == "NA"   # no report beside the table
        assert (rec["A_fixed"], rec["a_fixed"], rec["Alpha_unfixed"]) == ("3", "1", "1")
        assert float(rec["A_p"]) == pytest.approx(0.6)
        assert float(rec["A_se"]) == pytest.approx(math.sqrt(0.6 * 0.4 / 5))
        # Wilson interval of 3 of 5: (p + z^2/2n -+ z sqrt(p q / n + z^2/4n^2)) / (1 + z^2/n).
        assert float(rec["A_lo95"]) == pytest.approx(0.230724, abs=1e-6)
        assert float(rec["A_hi95"]) == pytest.approx(0.882379, abs=1e-6)
        assert float(rec["a_p"]) == pytest.approx(0.2)
        assert (rec["B_fixed"], rec["b_fixed"], rec["Beta_unfixed"]) == ("2", "1", "2")
        assert (rec["AB_fixed"], rec["ab_fixed"], rec["Ab_fixed"], rec["aB_fixed"]) == ("2", "1", "0", "0")

    def test_fixation_times_by_allele_and_gene_copy(self, table, tmp_path):
        summarise(table, "--csv", tmp_path / "s.csv")
        [rec] = read_csv(tmp_path / "s.csv")
        # A at 10, 20, 40: mean 70/3, SD sqrt(700/3), quartiles 15 and 30 (inclusive interpolation).
        assert [float(rec[f"A_time_{s}"]) for s in ("n", "mean", "sd", "q1", "median", "q3")] == \
            pytest.approx([3, 70 / 3, math.sqrt(700 / 3), 15, 20, 30])
        # One a fixation: no SD, its time is every quantile.
        assert (rec["a_time_n"], rec["a_time_sd"], rec["a_time_median"]) == ("1", "NA", "30.0")
        # Either allele: 10, 20, 30, 40.
        assert [float(rec[f"Alpha_time_{s}"]) for s in ("n", "mean", "q1", "median", "q3")] == \
            pytest.approx([4, 25, 17.5, 25, 32.5])
        assert [float(rec[f"Alpha_copy_{s}"]) for s in ("n", "mean", "median")] == pytest.approx([4, 30, 30])
        assert rec["Alpha_copy_none"] == "1"
        assert rec["B_time_mean"] == "17.0" and rec["b_time_n"] == "1"

    def test_founder_shares_of_the_fixed_copies(self, table, tmp_path):
        summarise(table, "--csv", tmp_path / "s.csv")
        [rec] = read_csv(tmp_path / "s.csv")
        assert [float(rec[f"Alpha_copy_ht_{h}"]) for h in ("AB", "Ab", "aB", "ab")] == [0.75, 0.0, 0.0, 0.25]
        assert float(rec["Alpha_copy_gt_AABB"]) == 0.5
        assert float(rec["Alpha_copy_gt_AaBb"]) == 0.25
        assert float(rec["Alpha_copy_gt_aabb"]) == 0.25

    def test_text_table(self, table):
        text = summarise(table)
        line = next(l for l in text.splitlines() if l.startswith("hand ") and "0.600" in l)
        assert line.split() == ["hand", "NA", "5", "NA", "3", "0.600", "0.219", "0.231-0.882",
                                "1", "0.200", "0.179", "0.036-0.624", "1"]
        assert re.search(r"^hand +A allele +3 +23\.3 +15\.3 +15\.0 +20\.0 +30\.0$", text, re.M)
        assert re.search(r"^hand +Alpha gene copy +4 +30\.0 ", text, re.M)

    def test_gene_copies_not_tracked_and_only_one_allele_counted(self, tmp_path):
        untracked = f"1,30000,none,NA,0.5625000,NA,NA,NA,none,NA,0.5468750,NA,NA,NA,{HALF}"
        summarise(write(tmp_path / "u.csv", [HEADER, untracked]), "--csv", tmp_path / "s.csv")
        [rec] = read_csv(tmp_path / "s.csv")
        assert rec["Alpha_copy_tracked"] == "0" and rec["Alpha_copy_n"] == "NA"
        assert rec["Alpha_unfixed_p"] == "1.0" and rec["A_time_n"] == "0" and rec["A_time_mean"] == "NA"


class TestAgainstTheProgram:
    """Real runs of the program: every count and mean its SUMMARY STATISTICS
    shows, and the summary's, are the same."""

    STUDIES = {
        "tracked": "iterations = 40\nmax_generations = 400\nmap_distance_cM = 5.0\n",
        "options": ("iterations = 30\ntrack_gene_copies = false\nfixation = { alpha = \"A\", beta = \"b\" }\n"
                    "mutation = { A_to_a = 0.001, b_to_B = 0.001 }\nmax_generations = 300\n"),
        "extinct": ('iterations = 30\nfertilization = "selfing-not-allowed"\n'
                    + founders(AABB=3, aabb=3) + "[fitness]\nAaBB = 0.0\nAaBb = 0.0\nAabb = 0.0\n"),
        "single": "iterations = 2\nmax_generations = 150\n",
    }

    @pytest.mark.parametrize("name", sorted(STUDIES))
    def test_counts_and_means(self, tmp_path, name):
        run_batch("seed = 11\n" + self.STUDIES[name], tmp_path, name)
        self.check(tmp_path / name, tmp_path)
        if name == "extinct":
            assert program_summary(tmp_path / "extinct.txt")["extinct"] > 0
        if name == "options":
            assert "a" not in program_summary(tmp_path / "options.txt")

    # Recorded console sessions: migration, monogamy, selection, every
    # iteration extinct.
    @pytest.mark.parametrize("files", ["hundred_iterations/files/sel", "two_runs_migration_monogamy/files/mix",
                                       "all_extinct/files/ext", "options_and_progress/files/opt"])
    def test_recorded_sessions(self, tmp_path, files):
        self.check(os.path.join(REPO, "tests", "sessions", files), tmp_path)

    def check(self, prefix, tmp_path):
        summarise(f"{prefix}.csv", "--csv", tmp_path / "s.csv")
        [rec] = read_csv(tmp_path / "s.csv")
        told = program_summary(f"{prefix}.txt")
        assert int(rec["extinct"]) == told["extinct"]
        assert int(rec["iterations"]) == \
            told.get("A", 0) + told.get("a", 0) + told["Alpha none"] + told["extinct"]
        for gene, big, small in (("Alpha", "A", "a"), ("Beta", "B", "b")):
            if big in told:
                assert int(rec[f"{big}_fixed"]) == told[big]
            if small in told:
                assert int(rec[f"{small}_fixed"]) == told[small]
            assert int(rec[f"{gene}_unfixed"]) == told[f"{gene} none"]
            for label, column in ((f"{gene} Allele", f"{gene}_time"), (f"{gene} Gene Copy", f"{gene}_copy")):
                if label not in told:
                    assert rec[f"{gene}_copy_tracked"] == "0"
                    continue
                count, mean = told[label]
                assert int(rec[f"{column}_n"]) == count
                if mean != "nc":
                    assert f"{float(rec[f'{column}_mean']):.1f}" == mean
        for allele in "AaBb":
            if allele not in told:
                assert rec[f"{allele}_fixed"] == "NA"

    def test_index_merged_table_and_grouping(self, tmp_path):
        study = "seed = [3, 4]\niterations = 15\nmax_generations = 300\n[sweep]\nmap_distance_cM = [0.0, 50.0]\n"
        run_batch(study, tmp_path, "sw")
        merged = tmp_path / "sw.csv"
        status, _, err = run_tool(SUMMARY, "--merge", merged, tmp_path / "sw_index.csv")
        assert status == 0, err
        rows = read_csv(merged)
        assert len(rows) == 60
        assert list(rows[0])[:4] == ["run", "seed", "map_distance_cM", "iter"]
        assert {(r["run"], r["seed"], r["map_distance_cM"]) for r in rows} == \
            {("p1", "3", "0"), ("p1", "4", "0"), ("p2", "3", "50"), ("p2", "4", "50")}
        jobs = read_csv(tmp_path / "sw.jobs.csv")
        assert [(j["run"], j["seed"], j["rows"], j["iterations"]) for j in jobs] == \
            [("p1", "3", "15", "15"), ("p1", "4", "15", "15"), ("p2", "3", "15", "15"), ("p2", "4", "15", "15")]
        # The same numbers from the merged table, from the index and from the job files.
        summarise(merged, "--csv", tmp_path / "m.csv")
        summarise(tmp_path / "sw_index.csv", "--csv", tmp_path / "i.csv")
        by_seed = [tmp_path / f"sw_{run}_{seed}.csv" for run in ("p1", "p2") for seed in (3, 4)]
        summarise(*by_seed, "--by", "map_distance_cM", "--csv", tmp_path / "f.csv")
        from_merged, from_index = read_csv(tmp_path / "m.csv"), read_csv(tmp_path / "i.csv")
        assert from_merged == from_index
        assert [r["run"] for r in from_merged] == ["p1", "p2"]
        pooled = read_csv(tmp_path / "f.csv")
        assert [r["map_distance_cM"] for r in pooled] == ["0", "50"]
        for a, b in zip(from_merged, pooled):
            assert (a["n"], a["A_fixed"], a["Alpha_time_mean"], a["Beta_copy_q3"]) == \
                   (b["n"], b["A_fixed"], b["Alpha_time_mean"], b["Beta_copy_q3"])


class TestRefusals:
    """Files that are not Duolocus tables, or not whole: exit status 2, the
    file and line named, nothing written."""

    CASES = {
        "wrong_header": (["run,seed,x", "a,1,2"], ":1: not a Duolocus table"),
        "field_count": ([HEADER, HAND_ROWS[0], "2,25,A,20"], ":3: 4 fields; every line of this table has 28"),
        "bad_allele": ([HEADER, HAND_ROWS[0].replace(",A,10,", ",C,10,")], ':2: A_all_fixed is "C"; allowed: A, a or none'),
        "bad_frequency": ([HEADER, HAND_ROWS[0].replace("1.0000000", "1.5", 1)], ":2: finalp_A is \"1.5\""),
        "order": ([HEADER, HAND_ROWS[1], HAND_ROWS[0]], ":3: iteration 1 follows iteration 2"),
        "empty": ([], ":1: the file is empty"),
    }

    @pytest.mark.parametrize("case", sorted(CASES))
    def test_refused(self, tmp_path, case):
        lines, message = self.CASES[case]
        path = write(tmp_path / f"{case}.csv", lines)
        status, out, err = run_tool(SUMMARY, path, "--csv", tmp_path / "out.csv")
        assert status == 2
        assert err.startswith(f"duolocus-summary: {path}{message}"), err
        assert out == "" and not (tmp_path / "out.csv").exists()

    def test_table_cut_short_against_its_report(self, tmp_path):
        run_batch("seed = 5\niterations = 6\nmax_generations = 200\n", tmp_path, "cut")
        with open(tmp_path / "cut.csv") as handle:
            lines = handle.read().splitlines()
        write(tmp_path / "cut.csv", lines[:-1])
        status, _, err = run_tool(SUMMARY, tmp_path / "cut.csv")
        assert status == 2
        assert "cut.csv: 5 rows" in err and "cut.txt" in err, err

    def test_index_with_a_missing_job(self, tmp_path):
        run_batch("seed = [1, 2]\niterations = 3\nmax_generations = 100\n", tmp_path, "ix")
        os.remove(tmp_path / "ix_main_2.csv")
        status, _, err = run_tool(SUMMARY, "--merge", tmp_path / "m.csv", tmp_path / "ix_index.csv")
        assert status == 2
        assert "ix_main_2.csv: cannot read it: No such file or directory" in err
        assert not (tmp_path / "m.csv").exists() and not (tmp_path / "m.jobs.csv").exists()

    def test_merged_table_missing_rows_of_a_job(self, tmp_path):
        run_batch("seed = [1, 2]\niterations = 3\nmax_generations = 100\n", tmp_path, "mg")
        run_tool(SUMMARY, "--merge", tmp_path / "mg.csv", tmp_path / "mg_index.csv")
        with open(tmp_path / "mg.csv") as handle:
            lines = handle.read().splitlines()
        write(tmp_path / "mg.csv", lines[:-1])
        status, _, err = run_tool(SUMMARY, tmp_path / "mg.csv")
        assert status == 2
        assert "run main, seed 2 has 2 rows" in err and "the table is incomplete" in err, err

    def test_unwritable_output(self, tmp_path):
        path = write(tmp_path / "hand.csv", [HEADER] + HAND_ROWS)
        status, _, err = run_tool(SUMMARY, path, "--csv", tmp_path / "no" / "s.csv")
        assert status == 1
        assert "cannot write" in err and "No such file or directory" in err

