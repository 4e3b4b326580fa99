// The run entry as a front end uses it: many runs in one process, each as a
// fresh console program would make it; files or bytes alone; trajectories,
// observers, tallies and refusals.
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "console/io.h"
#include "model/runentry.h"
#include "tests/testutil.h"

namespace fs = std::filesystem;

namespace {

using RunEntry = ProgramTest;

SettingValue Count(std::int64_t n) {
  SettingValue v;
  v.type = SettingType::Count;
  v.count = n;
  v.where = "test";
  return v;
}

SettingValue Real(double x) {
  SettingValue v;
  v.real = x;
  v.where = "test";
  return v;
}

RunRequest Request(std::int64_t iterations, std::uint32_t seed) {
  RunRequest r;
  r.settings["iterations"] = Count(iterations);
  r.settings["max_generations"] = Count(400);
  r.settings["map_distance_cM"] = Real(12.5);
  r.seed = seed;
  r.keepBytes = true;
  return r;
}

// The console given the same settings writes the same bytes; with no
// prefix the entry writes no file but hands back those bytes.
TEST_F(RunEntry, BytesAreTheConsolesWithOrWithoutFiles) {
  const std::string dir = MakeTempDir();
  int status = -1;
  RunProgram(dir, "con\n77\nI\n3\nM\n400\nL\n12.5\nC\nN\n", &status);
  ASSERT_EQ(status, 0);
  RunRequest request = Request(3, 77);
  request.namedAs = "con";
  RunResult inMemory;
  ASSERT_EQ(RUNENTRY(request, inMemory), 0);
  EXPECT_EQ(inMemory.csv, ReadFile(dir + "/con.csv"));
  EXPECT_EQ(inMemory.txt, ReadFile(dir + "/con.txt"));
  EXPECT_EQ(inMemory.txt.rfind("Duolocus v6.1\n", 0), 0u);
  EXPECT_TRUE(inMemory.trajectory.empty());
  request.prefix = dir + "/entry";
  RunResult onDisk;
  ASSERT_EQ(RUNENTRY(request, onDisk), 0);
  // The report names its file, the only difference.
  std::string named = inMemory.txt;
  const std::string line = "OUTPUT FILE: con.txt";
  named.replace(named.find(line), line.size(), "OUTPUT FILE: " + request.prefix + ".txt");
  EXPECT_EQ(onDisk.csv, inMemory.csv);
  EXPECT_EQ(onDisk.txt, named);
  EXPECT_EQ(ReadFile(dir + "/entry.csv"), inMemory.csv);
  EXPECT_EQ(ReadFile(dir + "/entry.txt"), named);
  std::size_t files = 0;
  for (const auto& e : fs::directory_iterator(dir)) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 4u);  // con.* and entry.*: the run without a prefix left nothing
  fs::remove_all(dir);
}

// Every call starts afresh: a run between two equal ones changes nothing,
// and neither do observers.
TEST_F(RunEntry, EachCallIsAFreshProgram) {
  RunResult first, other, again;
  ASSERT_EQ(RUNENTRY(Request(2, 5), first), 0);
  RunRequest different = Request(4, 9);
  different.settings["fertilization"].type = SettingType::Choice;
  different.settings["fertilization"].choice = 2;
  different.settings["fertilization"].text = "monogamy";
  ASSERT_EQ(RUNENTRY(different, other), 0);
  EXPECT_NE(other.csv, first.csv);
  struct Counts {
    std::int64_t generations = 0, iterations = 0;
  } counts;
  RunRequest observed = Request(2, 5);
  observed.context = &counts;
  observed.onGeneration = [](void* c) { ++static_cast<Counts*>(c)->generations; };
  observed.onIteration = [](void* c) { ++static_cast<Counts*>(c)->iterations; };
  ASSERT_EQ(RUNENTRY(observed, again), 0);
  EXPECT_EQ(again.csv, first.csv);
  EXPECT_EQ(again.txt, first.txt);
  EXPECT_EQ(counts.iterations, 2);
  // The generations column of the table adds up to what was observed.
  std::int64_t gens = 0;
  std::istringstream rows(first.csv);
  std::string line;
  std::getline(rows, line);
  while (std::getline(rows, line)) gens += std::stoll(line.substr(line.find(',') + 1));
  EXPECT_EQ(counts.generations, gens);
}

TEST_F(RunEntry, TalliesAndTrajectory) {
  RunRequest request = Request(6, 11);
  request.trajectory = 100;
  RunResult result;
  ASSERT_EQ(RUNENTRY(request, result), 0);
  const RunTallies& t = result.tallies;
  EXPECT_EQ(t.iterations, 6);
  EXPECT_EQ(t.alphaFixed[0] + t.alphaFixed[1] + t.alphaFixed[2] + t.extinct, 6);
  EXPECT_EQ(t.betaFixed[0] + t.betaFixed[1] + t.betaFixed[2] + t.extinct, 6);
  EXPECT_EQ(result.trajectory.rfind(std::string(TRAJHEADER) + "\n1,", 0), 0u) << result.trajectory;
  // The last sample of each iteration is its last generation: one line per
  // iteration at least, and the last line is of iteration 6.
  const std::size_t lastLine = result.trajectory.rfind('\n', result.trajectory.size() - 2);
  EXPECT_EQ(result.trajectory.substr(lastLine + 1, 2), "6,");
}

TEST_F(RunEntry, RefusalsAndFilesThatCannotBeWritten) {
  RunRequest request = Request(1, 1);
  request.settings["founders.AABB"] = Count(0);  // nobody
  RunResult result;
  EXPECT_EQ(RUNENTRY(request, result), 2);
  ASSERT_FALSE(result.faults.empty());
  EXPECT_NE(result.faults[0].find("the founders add up to 0"), std::string::npos);
  request = Request(1, 0);
  EXPECT_EQ(RUNENTRY(request, result), 2);
  EXPECT_EQ(result.faults, std::vector<std::string>{"seed = 0 is out of range; allowed: 1 to 32767"});
  // The same check serves front ends that hold any number (the browser's).
  EXPECT_EQ(SEEDFAULT(1), "");
  EXPECT_EQ(SEEDFAULT(32767), "");
  EXPECT_EQ(SEEDFAULT(32768), "seed = 32768 is out of range; allowed: 1 to 32767");
  EXPECT_EQ(SEEDFAULT(-3), "seed = -3 is out of range; allowed: 1 to 32767");
  EXPECT_EQ(SEEDFAULT(2.5), "seed = 2.5 is not a whole number; allowed: 1 to 32767");
  EXPECT_EQ(SEEDFAULT(1e20), "seed = 1e+20 is out of range; allowed: 1 to 32767");
  request = Request(1, 3);
  request.prefix = "/nonexistent-folder/x";
  EXPECT_EQ(RUNENTRY(request, result), 1);
  EXPECT_EQ(result.faults,
            std::vector<std::string>{"cannot write /nonexistent-folder/x.csv: No such file or directory"});
  // And the next run is whole again.
  request.prefix.clear();
  EXPECT_EQ(RUNENTRY(request, result), 0);
  EXPECT_FALSE(result.csv.empty());
}

// A prefix that names a folder is refused before anything is written, by
// every door alike: the run entry is where they all pass.
TEST_F(RunEntry, PrefixesThatNameAFolderAreRefused) {
  const std::string dir = MakeTempDir();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {dir + "/", "output prefix " + dir + "/ names a folder, not files; give a name in it, such as " + dir + "/run"},
      {dir + "/.", "names a folder, not files"},
      {dir + "/..", "names a folder, not files"},
      {dir, "output prefix " + dir + " is a folder; give a name in it, such as " + dir + "/run"},
  };
  for (const auto& [prefix, message] : cases) {
    SCOPED_TRACE(prefix);
    RunRequest request = Request(1, 3);
    request.prefix = prefix;
    RunResult result;
    EXPECT_EQ(RUNENTRY(request, result), 2);
    ASSERT_EQ(result.faults.size(), 1u);
    EXPECT_NE(result.faults[0].find(message), std::string::npos) << result.faults[0];
  }
  EXPECT_FALSE(FileExists(dir + "/.csv"));
  EXPECT_FALSE(FileExists(dir + ".csv"));
  EXPECT_EQ(PREFIXFAULT(dir + "/run"), "");
  EXPECT_EQ(PREFIXFAULT("run"), "");
  EXPECT_NE(PREFIXFAULT(""), "");
  std::filesystem::remove_all(dir);
}

// The trajectory's first line of every iteration is its founders,
// generation 0, whose allele frequencies are the settings' own.
TEST_F(RunEntry, TrajectoryStartsAtTheFounders) {
  RunRequest request = Request(3, 4);
  request.settings["founders.AABB"] = Count(30);
  request.settings["founders.aabb"] = Count(10);
  request.trajectory = 1000;
  RunResult result;
  ASSERT_EQ(RUNENTRY(request, result), 0);
  std::istringstream lines(result.trajectory);
  std::string line;
  std::getline(lines, line);
  std::int64_t iteration = 0;
  while (std::getline(lines, line)) {
    if (line.compare(0, line.find(',') + 1, std::to_string(iteration) + ",") == 0) continue;
    ++iteration;
    // 30 AABB and 10 aabb: p_A = p_B = p_AB = 0.75, p_ab = 0.25, D = 0.1875.
    EXPECT_EQ(line, std::to_string(iteration) +
                        ",0,0.7500000,0.7500000,0.7500000,0.0000000,0.0000000,0.2500000,0.1875000,"
                        "0.0000000,0.3750000,0.0000000,0.3750000");
  }
  EXPECT_EQ(iteration, 3);
}

// A front end may stop a run from an observer by throwing (an interrupt):
// the next run, and the console, find everything as before.
TEST_F(RunEntry, AnObserverThatThrowsLeavesTheNextRunWhole) {
  RunResult whole;
  ASSERT_EQ(RUNENTRY(Request(2, 8), whole), 0);
  RunRequest stopped = Request(2, 8);
  stopped.onGeneration = [](void*) {
    if (RUNPOSITION().gen == 50) throw 1;
  };
  RunResult cut;
  EXPECT_THROW(RUNENTRY(stopped, cut), int);
  EXPECT_EQ(conOut, static_cast<std::ostream*>(&out_));  // the console is the test's again
  RunResult again;
  ASSERT_EQ(RUNENTRY(Request(2, 8), again), 0);
  EXPECT_EQ(again.csv, whole.csv);
  EXPECT_EQ(again.txt, whole.txt);
}

}  // namespace
