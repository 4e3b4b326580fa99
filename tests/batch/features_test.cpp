// What the batch program writes besides the two files of a run: the job
// list, the index, trajectories, the typed console session and progress.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
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
  // --check says how the runs get their seeds.
  const BatchResult check = Run(kSweep, "--check");
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.err, "");
  EXPECT_EQ(check.out.rfind("run x-p1, seed 4: population 160\n  founders:    AABB 10  AABb 20", 0), 0u) << check.out;
  // Eight lines a job (the default founders have AaBb founders: a line of
  // their phase), then the seeds.
  EXPECT_EQ(std::count(check.out.begin(), check.out.end(), '\n'), 8 * 8 + 1);
  // Its last line says how the runs get their seeds.
  EXPECT_NE(check.out.find("\n../st.toml: 8 jobs in 4 runs; seeds: common (seed_mode = \"common\": runs given the "
                           "same seeds share them); 8 jobs share their seed with another run's job, so their results "
                           "are not independent\n"), std::string::npos) << check.out;
  const BatchResult own = Run("seed_mode = \"independent\"\n" + std::string(kSweep), "--check");
  EXPECT_NE(own.out.find("\n../st.toml: 8 jobs in 4 runs; seeds: independent (seed_mode = \"independent\": each run "
                         "its own seeds)\n"), std::string::npos) << own.out;
  // Run r takes its seeds plus r times their span (8 - 4 + 1 = 5); --seed
  // then picks the jobs of a seed, keeping their names.
  const std::string independent = "seed_mode = \"independent\"\n" + std::string(kSweep);
  EXPECT_EQ(Run(independent, "--list").out,
            "x-p1\t4\tst_x-p1_4\nx-p1\t8\tst_x-p1_8\nx-p2\t9\tst_x-p2_9\nx-p2\t13\tst_x-p2_13\n"
            "y-p1\t14\tst_y-p1_14\ny-p1\t18\tst_y-p1_18\ny-p2\t19\tst_y-p2_19\ny-p2\t23\tst_y-p2_23\n");
  EXPECT_EQ(Run(independent, "--list --run y-p1 --seed 18").out, "y-p1\t18\tst_y-p1_18\n");
  EXPECT_EQ(Run(independent, "--list --seed 5").status, 2);
  EXPECT_NE(Run("seed_mode = \"independent\"\nseed = [1, 32000]\n[sweep]\niterations = [1, 2]\n", "--list").err.find(
                "seed_mode = \"independent\" gives run p2 the seed 64000, above 32767"),
            std::string::npos);
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
            "  D:           0.1750\n"
            "  fitness:     AABB 0.250000  AABb 1.000000  AAbb 1.000000  AaBB 1.000000  AaBb 1.000000  "
            "Aabb 1.000000  aaBB 1.000000  aaBb 1.000000  aabb 0.500000\n"
            "  immigrants:  2.5 per generation: AABB 0.0000  AABb 0.0000  AAbb 0.0000  AaBB 0.0000  "
            "AaBb 0.5000  Aabb 0.0000  aaBB 0.0000  aaBb 0.0000  aabb 0.5000\n"
            "../st.toml: 1 job in 1 run; seeds: common (seed_mode = \"common\": runs given the same seeds share them)\n");
  const BatchResult phase = Run("seed = 3\n[founders]\nAaBb = 4\n", "--check");
  EXPECT_NE(phase.out.find("p_AB 0.2500  p_Ab 0.2500  p_aB 0.2500  p_ab 0.2500 (AaBb founders counted half in each phase)"),
            std::string::npos) << phase.out;
  EXPECT_NE(phase.out.find("immigrants:  none"), std::string::npos);
}

// Founders by their chromosomes: --check shows the double heterozygotes by
// phase and what they make of the haplotypes and D before anything runs.
TEST_F(BatchFeatures, CheckShowsFoundersByPhaseAndTheirRealisedFrequencies) {
  // 40 founders, 16 A and 40 B of 80 chromosomes, all 16 A on B chromosomes.
  const BatchResult coupling = Run(
      "seed = 3\n[population]\nsize = 40\np_A = 0.2\np_B = 0.5\nphase = \"coupling\"\n", "--check");
  ASSERT_EQ(coupling.status, 0) << coupling.err;
  EXPECT_NE(coupling.out.find("  founders:    AABB 1  AABb 0  AAbb 0  AaBB 6  AaBb 8  Aabb 0  aaBB 3  aaBb 12  aabb 10\n"
                              "  phase:       AaBb AB/ab 8  Ab/aB 0  drawn 0\n"
                              "  alleles:     p_A 0.2000  p_B 0.5000\n"
                              "  haplotypes:  p_AB 0.2000  p_Ab 0.0000  p_aB 0.3000  p_ab 0.5000\n"
                              "  D:           0.1000\n"),
            std::string::npos)
      << coupling.out;
  // 30 AB/ab and 10 Ab/aB: 30 AB, 10 Ab, 10 aB, 30 ab chromosomes of 80.
  const BatchResult given = Run("seed = 3\n[founders]\nAB_ab = 30\nAb_aB = 10\n", "--check");
  ASSERT_EQ(given.status, 0) << given.err;
  EXPECT_NE(given.out.find("  haplotypes:  p_AB 0.3750  p_Ab 0.1250  p_aB 0.1250  p_ab 0.3750\n  D:           0.1250\n"),
            std::string::npos)
      << given.out;
  // founders.AaBb adds the ones whose phase is drawn: counted half in each.
  const BatchResult both = Run("seed = 3\n[founders]\nAaBb = 10\nAB_ab = 30\n", "--check");
  ASSERT_EQ(both.status, 0) << both.err;
  EXPECT_NE(both.out.find("AaBb 40"), std::string::npos) << both.out;
  EXPECT_NE(both.out.find("  phase:       AaBb AB/ab 30  Ab/aB 0  drawn 10\n"), std::string::npos) << both.out;
  EXPECT_NE(both.out.find("p_AB 0.4375  p_Ab 0.0625  p_aB 0.0625  p_ab 0.4375 (AaBb founders counted half in each phase)\n"
                          "  D:           0.1875 (on average over the draws)\n"),
            std::string::npos)
      << both.out;
  // No console session types a phase; at 0 it is the console's own default.
  const BatchResult session = Run("seed = 3\n[founders]\nAaBb = 10\nAB_ab = 30\n", "--session");
  EXPECT_EQ(session.status, 2);
  EXPECT_NE(session.err.find("founders.AB_ab = 30: the console cannot set it"), std::string::npos) << session.err;
  EXPECT_EQ(Run("seed = 3\n[founders]\nAaBb = 10\nAB_ab = 0\n", "--session").status, 0);
  // Given with population keys they are refused like any founders key.
  const BatchResult clash = Run("seed = 3\npopulation.size = 10\nfounders.Ab_aB = 2\n", "--check");
  EXPECT_EQ(clash.status, 2);
  EXPECT_NE(clash.err.find("with founders.Ab_aB"), std::string::npos) << clash.err;
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
  EXPECT_EQ(ReadFile(result), "61 founders.AABB 1000000 ['map_distance_cM']\n");
  EXPECT_EQ(RunBatch(dir_, "").status, 2);
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

// The index names each complete job, its settings and its files relative to
// itself, with their sizes and checksums.
TEST_F(BatchFeatures, TheIndexNamesEveryJobItsSettingsAndItsFiles) {
  const BatchResult r = Run(kSweep, "--quiet --trajectory 20");
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream index(ReadFile(dir_ + "/st_index.csv"));
  std::string line;
  std::getline(index, line);
  EXPECT_EQ(line, "run,seed,prefix,csv,txt,traj,map_distance_cM,fertilization,"
                  "csv_bytes,csv_crc32,txt_bytes,txt_crc32,traj_bytes,traj_crc32,job_print");
  const std::vector<std::string> starts = {
      "x-p1,4,st_x-p1_4,st_x-p1_4.csv,st_x-p1_4.txt,st_x-p1_4.traj.csv,0.5,,",
      "x-p1,8,st_x-p1_8,st_x-p1_8.csv,st_x-p1_8.txt,st_x-p1_8.traj.csv,0.5,,",
      "x-p2,4,st_x-p2_4,st_x-p2_4.csv,st_x-p2_4.txt,st_x-p2_4.traj.csv,20,,",
      "x-p2,8,st_x-p2_8,st_x-p2_8.csv,st_x-p2_8.txt,st_x-p2_8.traj.csv,20,,",
      "y-p1,4,st_y-p1_4,st_y-p1_4.csv,st_y-p1_4.txt,st_y-p1_4.traj.csv,0.5,monogamy,",
      "y-p1,8,st_y-p1_8,st_y-p1_8.csv,st_y-p1_8.txt,st_y-p1_8.traj.csv,0.5,monogamy,",
      "y-p2,4,st_y-p2_4,st_y-p2_4.csv,st_y-p2_4.txt,st_y-p2_4.traj.csv,20,monogamy,",
      "y-p2,8,st_y-p2_8,st_y-p2_8.csv,st_y-p2_8.txt,st_y-p2_8.traj.csv,20,monogamy,"};
  std::set<std::string> prints;
  for (const std::string& start : starts) {
    ASSERT_TRUE(std::getline(index, line));
    ASSERT_EQ(line.rfind(start, 0), 0u) << line;
    const auto fields = Rows(line)[0];
    ASSERT_EQ(fields.size(), 15u) << line;
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(std::stoull(fields[8 + 2 * k]), fs::file_size(dir_ + "/" + fields[3 + k])) << line;
      EXPECT_EQ(fields[9 + 2 * k].find_first_not_of("0123456789abcdef"), std::string::npos) << line;
      EXPECT_EQ(fields[9 + 2 * k].size(), 8u) << line;
    }
    prints.insert(fields[14]);
  }
  EXPECT_EQ(prints.size(), starts.size());  // every job's settings and seed differ
  EXPECT_FALSE(std::getline(index, line));
  EXPECT_EQ(FilesIn(dir_).size(), 8u * 3 + 1);
}

// One job per process, as a cluster runs them: the same files as the whole
// study, and no index; --write-index then lists the jobs whose files are there.
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
  const std::size_t line = index.find("\ny-p2,8,");
  ASSERT_NE(line, std::string::npos);
  EXPECT_EQ(ReadFile(dir_ + "/st_index.csv"), index.substr(0, index.find('\n') + 1) + index.substr(line + 1));
}

// The founders (generation 0), every K-th generation and the last one of
// each iteration; the last row of an iteration agrees with that iteration's
// row of the table.
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
    ASSERT_LT(row, traj.size());
    const auto& founders = traj[row++];
    EXPECT_EQ(founders[0], table[it][0]);
    EXPECT_EQ(founders[1], "0");
    EXPECT_EQ(founders[2], "0.5000000");  // the default founders' p_A and p_B
    EXPECT_EQ(founders[3], "0.5000000");
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

// Immigrants given alone are all aabb, as when the console's migration
// editor is given eight zeros: a left-out aabb share is the rest, in a study
// file as on the command line, and means the same as writing "rest".
TEST_F(BatchFeatures, ImmigrantsAloneAreAllAabbAsAtTheConsole) {
  const char* const alone = "seed = 3\nprefix = \"alone\"\niterations = 2\nmax_generations = 60\nmigration.immigrants = 2\n";
  const BatchResult session = Run(alone, "--session");
  ASSERT_EQ(session.status, 0) << session.err;
  EXPECT_EQ(session.out, "alone\n3\nD\n0\n0\n0\n0\n0\n0\n0\n0\n2\nC\nI\n2\nM\n60\nC\nN\n");
  ASSERT_EQ(Run(alone, "--quiet").status, 0);
  const std::string txt = ReadFile(dir_ + "/alone.txt");
  const std::string csv = ReadFile(dir_ + "/alone.csv");
  EXPECT_NE(txt.find("p(aabb)=1.0000"), std::string::npos) << txt;
  const BatchResult rest = Run(std::string(alone) + "migration.mix.aabb = \"rest\"\n", "--quiet --force");
  ASSERT_EQ(rest.status, 0) << rest.err;
  EXPECT_EQ(ReadFile(dir_ + "/alone.txt"), txt);
  EXPECT_EQ(ReadFile(dir_ + "/alone.csv"), csv);
  const BatchResult set = RunBatch(dir_, "../st.toml --quiet --force --out viaset --set migration.mix.AABB=0.25");
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_NE(ReadFile(dir_ + "/viaset.txt").find("p(aabb)=0.7500"), std::string::npos);
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
