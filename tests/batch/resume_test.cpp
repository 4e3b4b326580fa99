// A study interrupted at any point leaves no file at a final name that is
// not complete, and the same command then finishes it, redoing only the jobs
// the index does not list, byte for byte as an uninterrupted run. One process
// at a time writes a study; bounds refuse studies that would exhaust the
// machine.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/batch/batch_util.h"
#include "tests/testutil.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Six jobs of a fraction of a second each, with trajectories.
const char* const kStudy =
    "seed = [1, 2, 3]\niterations = 60\nmax_generations = 3000\n[sweep]\nmap_distance_cM = [0.0, 10.0]\n";
const char* const kArgs = "--trajectory 50";

// Starts the batch program in dir; returns its process id.
pid_t Start(const std::string& dir, const std::string& args) {
  const std::string command = "cd '" + dir + "' && exec '" DUOLOCUS_BATCH_BIN "' " + args + " </dev/null >/dev/null 2>&1";
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  pid_t pid = 0;
  EXPECT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  return pid;
}

// Waits until what(dir) holds, or the process has ended; false when it ended.
template <typename Check>
bool WaitFor(pid_t pid, const std::string& dir, Check what) {
  for (int i = 0; i < 60000; ++i) {
    if (what(dir)) return true;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

std::size_t Count(const std::string& dir, const std::string& ending) {
  std::size_t n = 0;
  for (const std::string& name : FilesIn(dir)) n += name.size() > ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0;
  return n;
}

std::map<std::string, std::string> Contents(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const std::string& name : FilesIn(dir)) files[name] = ReadFile(dir + "/" + name);
  return files;
}

std::set<std::string> Lines(const std::string& text) {
  std::set<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

struct Stamp {
  ino_t inode = 0;
  std::int64_t mtime = 0;
  bool operator==(const Stamp& o) const { return inode == o.inode && mtime == o.mtime; }
};

Stamp StampOf(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return {info.st_ino, static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

class Interrupted : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    top_ = MakeTempDir();
    WriteText(top_ + "/st.toml", kStudy);
    fs::create_directory(top_ + "/ref");
    const BatchResult r = RunBatch(top_ + "/ref", std::string("../st.toml -q ") + kArgs);
    ASSERT_EQ(r.status, 0) << r.err;
    reference_ = Contents(top_ + "/ref");
    ASSERT_EQ(reference_.size(), 6u * 3 + 1);
  }
  static void TearDownTestSuite() { fs::remove_all(top_); }

  // Interrupts a run with sig once ready(dir) holds, checks what it left,
  // runs the same command again and checks the whole.
  template <typename Check>
  void InterruptAndResume(const std::string& name, int sig, Check ready) {
    const std::string dir = top_ + "/" + name;
    fs::create_directory(dir);
    const pid_t pid = Start(dir, std::string("../st.toml -q ") + kArgs);
    ASSERT_TRUE(WaitFor(pid, dir, ready)) << "the run ended before the point of interruption";
    kill(pid, sig);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig);
    // Every file at a final name is the complete file; every index line is
    // the uninterrupted run's.
    std::map<std::string, Stamp> kept;
    const std::set<std::string> whole = Lines(reference_.at("st_index.csv"));
    for (const auto& [file, bytes] : Contents(dir)) {
      if (file == "st_index.csv") {
        for (const std::string& line : Lines(bytes)) EXPECT_EQ(whole.count(line), 1u) << line;
      } else if (file.size() > 5 && (file.compare(file.size() - 5, 5, ".part") == 0 || file == "st.lock")) {
        EXPECT_EQ(sig, SIGKILL) << file << " left by a run that could clean up";
      } else {
        ASSERT_EQ(reference_.count(file), 1u) << file;
        EXPECT_EQ(bytes, reference_.at(file)) << file << " is at its final name but not complete";
      }
    }
    // The jobs the index lists are kept as they are.
    for (const std::string& line : Lines(ReadFile(dir + "/st_index.csv"))) {
      if (line.rfind("run,", 0) == 0) continue;
      const std::string prefix = line.substr(line.find(',', line.find(',') + 1) + 1);
      const std::string job = prefix.substr(0, prefix.find(','));
      for (const char* ext : {".csv", ".txt", ".traj.csv"}) kept[job + ext] = StampOf(dir + "/" + job + ext);
    }
    const BatchResult again = RunBatch(dir, std::string("../st.toml -q ") + kArgs);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Contents(dir), reference_);
    for (const auto& [file, stamp] : kept) EXPECT_EQ(StampOf(dir + "/" + file), stamp) << file << " was redone";
    // Nothing is left to do.
    const BatchResult idle = RunBatch(dir, std::string("../st.toml ") + kArgs);
    EXPECT_EQ(idle.err, "duolocus-batch: 6 of 6 jobs are done already (their files match the study); nothing to run "
                        "(--force runs every job)\n");
  }

  static std::string top_;
  static std::map<std::string, std::string> reference_;
};

std::string Interrupted::top_;
std::map<std::string, std::string> Interrupted::reference_;

auto WhileTheFirstJobRuns = [](const std::string& dir) { return Count(dir, ".part") > 0; };
auto AfterThreeJobs = [](const std::string& dir) { return Count(dir, ".traj.csv") >= 3; };

TEST_F(Interrupted, BySigintDuringTheFirstJob) { InterruptAndResume("int1", SIGINT, WhileTheFirstJobRuns); }
TEST_F(Interrupted, BySigintAfterThreeJobs) { InterruptAndResume("int3", SIGINT, AfterThreeJobs); }
TEST_F(Interrupted, BySigtermAfterThreeJobs) { InterruptAndResume("term3", SIGTERM, AfterThreeJobs); }
TEST_F(Interrupted, BySigkillDuringTheFirstJob) { InterruptAndResume("kill1", SIGKILL, WhileTheFirstJobRuns); }
TEST_F(Interrupted, BySigkillAfterThreeJobs) { InterruptAndResume("kill3", SIGKILL, AfterThreeJobs); }

// A changed setting reruns the jobs it changes, and only those; --force
// reruns every job.
TEST_F(Interrupted, AChangedRunIsRedoneAndTheRestKept) {
  const std::string dir = top_ + "/edit";
  fs::create_directory(dir);
  ASSERT_EQ(RunBatch(dir, std::string("../st.toml -q ") + kArgs).status, 0);
  const Stamp p1 = StampOf(dir + "/st_p1_2.csv");
  const Stamp p2 = StampOf(dir + "/st_p2_2.csv");
  const BatchResult edited = RunBatch(dir, std::string("../st.toml ") + kArgs + " --set 'sweep.map_distance_cM=[0.0, 20.0]'");
  ASSERT_EQ(edited.status, 0) << edited.err;
  EXPECT_EQ(edited.err.rfind("duolocus-batch: 3 of 6 jobs are done already", 0), 0u) << edited.err;
  EXPECT_EQ(StampOf(dir + "/st_p1_2.csv"), p1);
  EXPECT_FALSE(StampOf(dir + "/st_p2_2.csv") == p2);
  EXPECT_NE(ReadFile(dir + "/st_p2_2.csv"), reference_.at("st_p2_2.csv"));
  // One byte of a kept file changed (same size): its job is redone.
  std::string bytes = ReadFile(dir + "/st_p1_1.txt");
  bytes[bytes.size() / 2] ^= 1;
  WriteText(dir + "/st_p1_1.txt", bytes);
  const BatchResult back = RunBatch(dir, std::string("../st.toml ") + kArgs);
  EXPECT_EQ(back.err.rfind("duolocus-batch: 2 of 6 jobs are done already", 0), 0u) << back.err;
  EXPECT_EQ(Contents(dir), reference_);
  const BatchResult forced = RunBatch(dir, std::string("../st.toml -q --force ") + kArgs);
  EXPECT_EQ(forced.err, "");
  EXPECT_FALSE(StampOf(dir + "/st_p1_2.csv") == p1);
  EXPECT_EQ(Contents(dir), reference_);
}

// A second process on the same prefix is refused at once, naming the prefix
// and the process; the first goes on undisturbed.
TEST_F(Interrupted, TwoRunsOnOnePrefix) {
  const std::string dir = top_ + "/two";
  fs::create_directory(dir);
  const pid_t first = Start(dir, std::string("../st.toml -q ") + kArgs);
  ASSERT_TRUE(WaitFor(first, dir, WhileTheFirstJobRuns));
  const std::string busy = "st is in use by another duolocus-batch (process " + std::to_string(first) + ")";
  for (const std::string& args : {std::string(kArgs), std::string(kArgs) + " --force", std::string("--write-index"),
                                  std::string(kArgs) + " --run p2 --seed 3"}) {
    SCOPED_TRACE(args);
    const BatchResult second = RunBatch(dir, "../st.toml -q " + args);
    EXPECT_EQ(second.status, 2);
    EXPECT_NE(second.err.find(busy), std::string::npos) << second.err;
  }
  int status = 0;
  ASSERT_EQ(waitpid(first, &status, 0), first);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Contents(dir), reference_);
}

// Jobs run one per process (as a cluster runs them) share the study: two
// different jobs at once are fine, the same job twice is refused.
TEST(OneWriter, JobsOfOneStudyRunSideBySide) {
  const std::string dir = MakeTempDir();
  WriteText(dir + "/st.toml", "seed = [1, 2]\niterations = 400\nmax_generations = 3000\n");
  const pid_t first = Start(dir, "st.toml -q --run main --seed 1");
  ASSERT_TRUE(WaitFor(first, dir, WhileTheFirstJobRuns));
  const BatchResult same = RunBatch(dir, "st.toml -q --run main --seed 1");
  EXPECT_EQ(same.status, 2);
  EXPECT_NE(same.err.find("st is in use by another duolocus-batch (process " + std::to_string(first) + ")"),
            std::string::npos) << same.err;
  EXPECT_EQ(RunBatch(dir, "st.toml -q --set iterations=2 --run main --seed 2").status, 0);
  EXPECT_EQ(RunBatch(dir, "st.toml -q --set iterations=2").status, 2);
  int status = 0;
  ASSERT_EQ(waitpid(first, &status, 0), first);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(FilesIn(dir), (std::set<std::string>{"st.toml", "st_main_1.csv", "st_main_1.txt", "st_main_2.csv", "st_main_2.txt"}));
  fs::remove_all(dir);
}

// Study files that would crash the parser or exhaust the memory are refused
// with a message before anything is expanded.
TEST(Bounds, DeepNestingAndTooManyJobs) {
  const std::string dir = MakeTempDir();
  std::string header = "seed = 1\n[a";
  for (int i = 0; i < 50000; ++i) header += ".a";
  std::string lists = "seed = 1\nx = ";
  for (int i = 0; i < 100000; ++i) lists += "[";
  std::string inlined = "seed = 1\n[runs.r]\nfitness = { a = { b = { c = { d = { e = { f = 1 } } } } } }\n";
  std::string sweep = "seed = { from = 1, to = 32767 }\n[sweep]\nmap_distance_cM = [0.0";
  for (int i = 1; i < 1000; ++i) sweep += ", " + std::to_string(i % 50);
  sweep += "]\n";
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {header + "]\n", "", "study.toml:2: the study nests more than 8 levels deep"},
      {lists + "\n", "", "study.toml:2: the study nests more than 8 levels deep"},
      {inlined, "", "study.toml:3: the study nests more than 8 levels deep"},
      {"seed = 1\n", "--set a.a.a.a.a.a.a.a.a.a=1", "--set a.a.a.a.a.a.a.a.a.a=1:1: the study nests more than 8"},
      {sweep, "", "study.toml: the study makes 32767000 jobs (runs and sweep points times seeds); the limit is 100000"},
      {"seed = [1, 2, 3]\n[sweep]\niterations = [1, 2]\n[runs.a]\n[runs.b]\nseed = [4, 5]\n", "--max-jobs 9",
       "study.toml: the study makes 10 jobs"},
  };
  for (const auto& [text, args, message] : cases) {
    SCOPED_TRACE(message);
    WriteText(dir + "/study.toml", text);
    for (const char* extra : {"", " --check"}) {
      const BatchResult r = RunBatch(dir, "study.toml -q " + args + extra);
      EXPECT_EQ(r.status, 2);
      EXPECT_NE(r.err.find(message), std::string::npos) << r.err.substr(0, 300);
      EXPECT_EQ(FilesIn(dir), std::set<std::string>{"study.toml"});
    }
  }
  WriteText(dir + "/study.toml", std::get<0>(cases.back()));
  EXPECT_EQ(RunBatch(dir, "study.toml --check --max-jobs 10").status, 0);
  fs::remove_all(dir);
}

}  // namespace
