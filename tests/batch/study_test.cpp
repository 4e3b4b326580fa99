// How a study file becomes jobs: sweeps, named runs, seeds, the command
// line's precedence and the names of the files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "batch/study.h"
#include "tests/batch/batch_util.h"
#include "tests/testutil.h"

namespace fs = std::filesystem;

namespace {

class StudyTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = MakeTempDir(); }
  void TearDown() override { fs::remove_all(dir_); }

  batch::Study Load(const std::string& text, const batch::Overrides& o = {}) {
    const std::string file = dir_ + "/demo.toml";
    WriteText(file, text);
    batch::Study study;
    std::vector<std::string> faults;
    EXPECT_TRUE(batch::LOADSTUDY(file, o, study, faults)) << (faults.empty() ? "" : faults[0]);
    return study;
  }
  static std::string Shown(const batch::Job& job, const std::string& key) {
    const auto it = job.settings.find(key);
    return it == job.settings.end() ? "-" : SHOWVALUE(it->second);
  }
  std::string dir_;
};

TEST_F(StudyTest, OneRunAndOneSeedWritePrefixFilesNamedFromTheStudy) {
  const batch::Study s = Load("seed = 9\niterations = 4\n");
  ASSERT_EQ(s.jobs.size(), 1u);
  EXPECT_FALSE(s.multi);
  EXPECT_EQ(s.jobs[0].prefix, "demo");
  EXPECT_EQ(s.jobs[0].run, "main");
  EXPECT_EQ(s.jobs[0].seed, 9u);
  batch::Overrides o;
  o.haveOut = true;
  o.out = "res/x";
  EXPECT_EQ(Load("seed = 9\nprefix = \"ignored\"\n", o).jobs[0].prefix, "res/x");
  EXPECT_EQ(Load("seed = 9\nprefix = \"out/y\"\n").jobs[0].prefix, "out/y");
}

TEST_F(StudyTest, TablesAndDottedKeysAreTheSameSetting) {
  const batch::Study a = Load("seed = 1\n[fitness]\naabb = 0.5\n[migration.mix]\nAaBb = 1\n");
  const batch::Study b = Load("seed = 1\nfitness.aabb = 0.5\n\"migration\".mix.AaBb = 1.0\n");
  EXPECT_EQ(Shown(a.jobs[0], "fitness.aabb"), "0.5");
  EXPECT_EQ(Shown(b.jobs[0], "fitness.aabb"), "0.5");
  EXPECT_EQ(Shown(a.jobs[0], "migration.mix.AaBb"), "1");
  EXPECT_EQ(Shown(b.jobs[0], "migration.mix.AaBb"), "1");
}

TEST_F(StudyTest, AGridVariesTheLastKeyFastestAndZipPairsTheLists) {
  const batch::Study grid =
      Load("seed = 1\n[sweep]\nmap_distance_cM = [1, 2]\niterations = [3, 4, 5]\n");
  ASSERT_EQ(grid.jobs.size(), 6u);
  EXPECT_TRUE(grid.multi);
  const std::vector<std::string> expected = {"1/3", "1/4", "1/5", "2/3", "2/4", "2/5"};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(Shown(grid.jobs[i], "map_distance_cM") + "/" + Shown(grid.jobs[i], "iterations"), expected[i]);
    EXPECT_EQ(grid.jobs[i].run, "p" + std::to_string(i + 1));
    EXPECT_EQ(grid.jobs[i].prefix, "demo_p" + std::to_string(i + 1) + "_1");
  }
  EXPECT_EQ(grid.shownKeys, (std::vector<std::string>{"map_distance_cM", "iterations"}));
  const batch::Study zip =
      Load("seed = 1\n[sweep]\nmode = \"zip\"\nmap_distance_cM = [1, 2]\niterations = [3, 4]\n");
  ASSERT_EQ(zip.jobs.size(), 2u);
  EXPECT_EQ(Shown(zip.jobs[1], "map_distance_cM") + "/" + Shown(zip.jobs[1], "iterations"), "2/4");
}

TEST_F(StudyTest, NamedRunsOverrideTheBaseAndEachTakesTheSweep) {
  const batch::Study s = Load(
      "seed = [2, 3]\niterations = 7\nfitness.aabb = 0.9\n"
      "[sweep]\nmap_distance_cM = [0, 50]\n"
      "[runs.weak]\n[runs.strong]\nfitness.aabb = 0.1\nseed = 5\n");
  // weak: 2 points x 2 seeds; strong: 2 points x its own seed.
  ASSERT_EQ(s.jobs.size(), 6u);
  EXPECT_EQ(s.runs, (std::vector<std::string>{"weak-p1", "weak-p2", "strong-p1", "strong-p2"}));
  EXPECT_EQ(s.jobs[1].run + " " + std::to_string(s.jobs[1].seed), "weak-p1 3");
  EXPECT_EQ(Shown(s.jobs[0], "fitness.aabb"), "0.9");
  EXPECT_EQ(Shown(s.jobs[4], "fitness.aabb"), "0.1");
  EXPECT_EQ(s.jobs[4].seed, 5u);
  EXPECT_EQ(Shown(s.jobs[4], "iterations"), "7");
  EXPECT_EQ(s.jobs[5].prefix, "demo_strong-p2_5");
  EXPECT_EQ(s.shownKeys, (std::vector<std::string>{"map_distance_cM", "fitness.aabb"}));
}

TEST_F(StudyTest, SeedRangesAndTheCommandLineSeed) {
  const batch::Study range = Load("seed = { from = 32765, to = 32767 }\n");
  ASSERT_EQ(range.jobs.size(), 3u);
  EXPECT_EQ(range.jobs[2].seed, 32767u);
  EXPECT_EQ(range.jobs[2].prefix, "demo_main_32767");
  // --seed picks one seed per run; the files keep the names the whole
  // study gives them, so one job per process writes what the study would.
  batch::Overrides o;
  o.haveSeed = true;
  o.seed = 32766;
  const batch::Study one = Load("seed = { from = 32765, to = 32767 }\n", o);
  ASSERT_EQ(one.jobs.size(), 1u);
  EXPECT_EQ(one.jobs[0].prefix, "demo_main_32766");
  // Without a seed in the file --seed supplies it; a single job keeps PREFIX.
  EXPECT_EQ(Load("iterations = 2\n", o).jobs[0].prefix, "demo");
}

TEST_F(StudyTest, TheCommandLineWinsOverRunsAndTheSweep) {
  batch::Overrides o;
  o.sets = {"iterations=9", "fertilization=monogamy", "runs.b.fitness.AABB=0.5", "sweep.max_generations=[10, 20]"};
  const batch::Study s = Load(
      "seed = 1\n[sweep]\niterations = [1, 2]\n[runs.a]\niterations = 4\n[runs.b]\n", o);
  ASSERT_EQ(s.jobs.size(), 4u);  // the sweep of iterations is gone; max_generations is swept
  for (const batch::Job& job : s.jobs) {
    EXPECT_EQ(Shown(job, "iterations"), "9");
    EXPECT_EQ(Shown(job, "fertilization"), "monogamy");
    EXPECT_EQ(job.settings.at("iterations").where, "--set iterations=9");
  }
  EXPECT_EQ(Shown(s.jobs[2], "fitness.AABB"), "0.5");
  EXPECT_EQ(Shown(s.jobs[0], "fitness.AABB"), "-");
  EXPECT_EQ(Shown(s.jobs[3], "max_generations"), "20");
}

}  // namespace
