// What the batch program writes besides the two files of a run: the job
// list, the index, trajectories, the typed console session and progress.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/batch/batch_util.h"
#include "tests/testutil.h"

namespace fs = std::filesystem;

namespace {

class BatchFeatures : public ::testing::Test {
 protected:
  void SetUp() override {
    top_ = MakeTempDir();
    dir_ = top_ + "/out";
    fs::create_directory(dir_);
  }
  void TearDown() override { fs::remove_all(top_); }
  BatchResult Run(const std::string& study, const std::string& args) {
    WriteText(top_ + "/st.toml", study);
    return RunBatch(dir_, "../st.toml " + args);
  }
  std::string top_, dir_;
};

const char* const kSweep =
    "seed = [4, 8]\niterations = 2\nmax_generations = 40\n"
    "[sweep]\nmap_distance_cM = [0.5, 20]\n[runs.x]\n[runs.y]\nfertilization = \"monogamy\"\n";

TEST_F(BatchFeatures, ListAndCheckWriteNothing) {
  const BatchResult list = Run(kSweep, "--list");
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.out,
            "x-p1\t4\tst_x-p1_4\nx-p1\t8\tst_x-p1_8\nx-p2\t4\tst_x-p2_4\nx-p2\t8\tst_x-p2_8\n"
            "y-p1\t4\tst_y-p1_4\ny-p1\t8\tst_y-p1_8\ny-p2\t4\tst_y-p2_4\ny-p2\t8\tst_y-p2_8\n");
  // Options may stand before the study file; each --set takes one value.
  EXPECT_EQ(RunBatch(dir_, "--set iterations=3 -d seed=[4,8] ../st.toml --list").out, list.out);
  const BatchResult check = Run(kSweep, "--check");
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.err, "");
  EXPECT_EQ(check.out.rfind("run x-p1, seed 4: population 160\n  founders:    AABB 10  AABb 20", 0), 0u) << check.out;
  EXPECT_EQ(std::count(check.out.begin(), check.out.end(), '\n'), 8 * 6);
  EXPECT_TRUE(FilesIn(dir_).empty());
}

// --check says what each run starts from, so that nothing a study leaves
// out goes unseen: here the founders it does not name count 0.
TEST_F(BatchFeatures, CheckShowsTheStartingPopulationFitnessAndImmigrants) {
  const BatchResult r = Run(
      "seed = 3\n[founders]\nAABB = 25\naaBb = 15\naabb = 10\n[fitness]\naabb = 0.5\nAABB = 0.25\n"
      "[migration]\nimmigrants = 2.5\nmix.AaBb = 0.5\nmix.aabb = \"rest\"\n",
      "--check");
  ASSERT_EQ(r.status, 0) << r.err;
  // 100 chromosomes: AB 50, aB 15, ab 15 + 20; A 50, B 50 + 15.
  EXPECT_EQ(r.out,
            "run main, seed 3: population 50\n"
            "  founders:    AABB 25  AABb 0  AAbb 0  AaBB 0  AaBb 0  Aabb 0  aaBB 0  aaBb 15  aabb 10\n"
            "  alleles:     p_A 0.5000  p_B 0.6500\n"
            "  haplotypes:  p_AB 0.5000  p_Ab 0.0000  p_aB 0.1500  p_ab 0.3500\n"
            "  fitness:     AABB 0.250000  AABb 1.000000  AAbb 1.000000  AaBB 1.000000  AaBb 1.000000  "
            "Aabb 1.000000  aaBB 1.000000  aaBb 1.000000  aabb 0.500000\n"
            "  immigrants:  2.5 per generation: AABB 0.0000  AABb 0.0000  AAbb 0.0000  AaBB 0.0000  "
            "AaBb 0.5000  Aabb 0.0000  aaBB 0.0000  aaBb 0.0000  aabb 0.5000\n");
  const BatchResult phase = Run("seed = 3\n[founders]\nAaBb = 4\n", "--check");
  EXPECT_NE(phase.out.find("p_AB 0.2500  p_Ab 0.2500  p_aB 0.2500  p_ab 0.2500 (AaBb founders counted half in each phase)"),
            std::string::npos) << phase.out;
  EXPECT_NE(phase.out.find("immigrants:  none"), std::string::npos);
}

// The catalogue, as text and as JSON, with every setting a study may give.
TEST_F(BatchFeatures, KeysListTheCatalogue) {
  const BatchResult text = RunBatch(dir_, "--keys");
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("map_distance_cM = 0.0\n    allowed: a number from 0.0 to 50.0\n"), std::string::npos);
  EXPECT_NE(text.out.find("population.size = 160\n"), std::string::npos);
  const BatchResult json = RunBatch(dir_, "--keys --json");
  ASSERT_EQ(json.status, 0) << json.err;
  WriteText(top_ + "/keys.json", json.out);
  // Parsed by Python's json module: what the tools and the other front ends read.
  const std::string script =
      "import json; rows = json.load(open('" + top_ + "/keys.json')); "
      "print(len(rows), rows[0]['key'], rows[0]['hi'], [r['key'] for r in rows if r['screen'] == 'L'])";
  const std::string result = top_ + "/parsed.txt";
  ASSERT_EQ(std::system(("python3 -c \"" + script + "\" > '" + result + "'").c_str()), 0);
  EXPECT_EQ(ReadFile(result), "59 founders.AABB 1000000 ['map_distance_cM']\n");
  EXPECT_EQ(RunBatch(dir_, "").status, 2);
}

TEST_F(BatchFeatures, TheIndexNamesEveryJobItsSettingsAndItsFiles) {
  const BatchResult r = Run(kSweep, "--quiet --trajectory 20");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(dir_ + "/st_index.csv"),
            "run,seed,prefix,csv,txt,traj,map_distance_cM,fertilization\n"
            "x-p1,4,st_x-p1_4,st_x-p1_4.csv,st_x-p1_4.txt,st_x-p1_4.traj.csv,0.5,\n"
            "x-p1,8,st_x-p1_8,st_x-p1_8.csv,st_x-p1_8.txt,st_x-p1_8.traj.csv,0.5,\n"
            "x-p2,4,st_x-p2_4,st_x-p2_4.csv,st_x-p2_4.txt,st_x-p2_4.traj.csv,20,\n"
            "x-p2,8,st_x-p2_8,st_x-p2_8.csv,st_x-p2_8.txt,st_x-p2_8.traj.csv,20,\n"
            "y-p1,4,st_y-p1_4,st_y-p1_4.csv,st_y-p1_4.txt,st_y-p1_4.traj.csv,0.5,monogamy\n"
            "y-p1,8,st_y-p1_8,st_y-p1_8.csv,st_y-p1_8.txt,st_y-p1_8.traj.csv,0.5,monogamy\n"
            "y-p2,4,st_y-p2_4,st_y-p2_4.csv,st_y-p2_4.txt,st_y-p2_4.traj.csv,20,monogamy\n"
            "y-p2,8,st_y-p2_8,st_y-p2_8.csv,st_y-p2_8.txt,st_y-p2_8.traj.csv,20,monogamy\n");
  EXPECT_EQ(FilesIn(dir_).size(), 8u * 3 + 1);
}

// One job per process, as a cluster runs them: the same files as the whole
// study, and no index (--write-index writes it on its own).
TEST_F(BatchFeatures, OneJobOfAStudyWritesWhatTheWholeStudyWrites) {
  ASSERT_EQ(Run(kSweep, "--quiet").status, 0);
  const std::string whole = ReadFile(dir_ + "/st_y-p2_8.csv") + ReadFile(dir_ + "/st_y-p2_8.txt");
  const std::string index = ReadFile(dir_ + "/st_index.csv");
  for (const auto& name : FilesIn(dir_)) fs::remove(dir_ + "/" + name);
  const BatchResult one = Run(kSweep, "--quiet --run y-p2 --seed 8");
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(FilesIn(dir_), (std::set<std::string>{"st_y-p2_8.csv", "st_y-p2_8.txt"}));
  EXPECT_EQ(ReadFile(dir_ + "/st_y-p2_8.csv") + ReadFile(dir_ + "/st_y-p2_8.txt"), whole);
  ASSERT_EQ(Run(kSweep, "--write-index").status, 0);
  EXPECT_EQ(ReadFile(dir_ + "/st_index.csv"), index);
}

std::vector<std::vector<std::string>> Rows(const std::string& csv) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(csv);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, ',')) fields.push_back(cell);
    rows.push_back(fields);
  }
  return rows;
}

// Every K-th generation and the last one of each iteration; the last row of
// an iteration agrees with that iteration's row of the table.
TEST_F(BatchFeatures, TrajectoryRowsAgreeWithTheIterationTable) {
  const BatchResult r =
      Run("seed = 3\niterations = 3\nmax_generations = 95\nmap_distance_cM = 10\n", "--quiet --trajectory 30");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto traj = Rows(ReadFile(dir_ + "/st.traj.csv"));
  const auto table = Rows(ReadFile(dir_ + "/st.csv"));
  ASSERT_GE(traj.size(), 2u);
  EXPECT_EQ(traj[0], (std::vector<std::string>{"iter", "gen", "p_A", "p_B", "p_AB", "p_Ab", "p_aB", "p_ab",
                                               "D", "Ho_A", "He_A", "Ho_B", "He_B"}));
  std::size_t row = 1;
  for (std::size_t it = 1; it < table.size(); ++it) {
    const std::int64_t gens = std::stoll(table[it][1]);
    for (std::int64_t g = 30; g < gens; g += 30, ++row) {
      ASSERT_LT(row, traj.size());
      EXPECT_EQ(traj[row][0], table[it][0]);
      EXPECT_EQ(std::stoll(traj[row][1]), g);
    }
    ASSERT_LT(row, traj.size());
    const auto& last = traj[row++];
    EXPECT_EQ(std::stoll(last[1]), gens);
    EXPECT_EQ(last[2], table[it][4]);  // p_A and finalp_A
    EXPECT_EQ(last[3], table[it][10]);
    for (int h = 0; h < 4; ++h) EXPECT_EQ(last[4 + h], table[it][24 + h]);
    const double pAB = std::stod(last[4]), pAb = std::stod(last[5]), paB = std::stod(last[6]), pab = std::stod(last[7]);
    EXPECT_NEAR(std::stod(last[8]), pAB * pab - pAb * paB, 1e-6);
    const double pA = std::stod(last[2]);
    EXPECT_NEAR(std::stod(last[10]), 2 * pA * (1 - pA), 1e-6);
    EXPECT_NEAR(std::stod(last[9]), std::stod(table[it][17]) + std::stod(table[it][18]) +
                                        std::stod(table[it][19]) + std::stod(table[it][20]), 1e-6);
  }
  EXPECT_EQ(row, traj.size());
}

TEST_F(BatchFeatures, TheTypedSessionOfAJob) {
  const BatchResult r = Run(
      "seed = 12\nprefix = \"demo\"\nfertilization = \"selfing-not-allowed\"\nstop_at_fixation = false\n"
      "mutation.B_to_b = 1e-4\nmigration.immigrants = 2.5\nmigration.mix.AaBb = 1\n"
      "[mating]\nAA_aa = 0.5\nisolation = \"premating\"\n[fixation]\nbeta = \"b\"\n",
      "--session");
  ASSERT_EQ(r.status, 0) << r.err;
  // Prefix, seed; D with eight shares, the number and C for the note that
  // tracking is off; 3 and its rate; F twice to reach the rule; N with six
  // preferences and 2 for premating; V; A with C for its warning; C; N.
  EXPECT_EQ(r.out,
            "demo\n12\nD\n0\n0\n0\n0\n1\n0\n0\n0\n2.5\nC\n3\n0.0001\nF\nF\n"
            "N\n1\n1\n0.5\n1\n1\n1\n2\nV\nA\n0\n2\nC\nC\nN\n");
  EXPECT_TRUE(FilesIn(dir_).empty());
  EXPECT_EQ(Run("seed = [1, 2]\n", "--session").status, 2);
}

TEST_F(BatchFeatures, ProgressIsOneLinePerRunUnlessQuiet) {
  const BatchResult r = Run("seed = [1, 2]\niterations = 2\nmax_generations = 20\n", "");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.err.rfind("run 1 of 2 (main, seed 1): 2 iterations, ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("\nrun 2 of 2 (main, seed 2): 2 iterations, "), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2);
  EXPECT_EQ(Run("seed = [1, 2]\niterations = 2\nmax_generations = 20\n", "-q").err, "");
}

// Every example study is valid, and each of its jobs runs (cut short here
// to keep the tests quick).
TEST_F(BatchFeatures, ExampleStudiesRun) {
  int studies = 0;
  for (const auto& entry : fs::directory_iterator(DUOLOCUS_STUDIES)) {
    if (entry.path().extension() != ".toml") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ++studies;
    const std::string path = entry.path().string();
    EXPECT_EQ(RunBatch(dir_, "'" + path + "' --check").status, 0);
    const BatchResult list = RunBatch(dir_, "'" + path + "' --list");
    const BatchResult r = RunBatch(dir_, "'" + path + "' -q --set iterations=2 --set max_generations=100");
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream jobs(list.out);
    std::string run, seed, prefix;
    int n = 0;
    while (jobs >> run >> seed >> prefix) {
      ++n;
      EXPECT_TRUE(FileExists(dir_ + "/" + prefix + ".csv")) << prefix;
      EXPECT_TRUE(FileExists(dir_ + "/" + prefix + ".txt")) << prefix;
    }
    EXPECT_GT(n, 0);
    for (const auto& name : FilesIn(dir_)) fs::remove(dir_ + "/" + name);
  }
  EXPECT_GE(studies, 4);
}

}  // namespace
