// Whole sessions of the built program: each folder of tests/sessions holds
// what is typed (stdin), what the console must show (stdout) and every file
// the session must leave behind (files/), compared byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

#include "tests/testutil.h"

namespace fs = std::filesystem;

namespace {

std::set<std::string> FileNames(const fs::path& dir) {
  std::set<std::string> names;
  if (!fs::exists(dir)) return names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  return names;
}

class Session : public ::testing::TestWithParam<std::string> {};

TEST_P(Session, MatchesRecordedOutput) {
  const fs::path recorded = fs::path(DUOLOCUS_SESSIONS) / GetParam();
  const std::string dir = MakeTempDir();
  int status = -1;
  const std::string console = RunProgram(dir, ReadFile((recorded / "stdin").string()), &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(console, ReadFile((recorded / "stdout").string()));
  const std::set<std::string> expected = FileNames(recorded / "files");
  EXPECT_EQ(FileNames(dir), expected);
  for (const std::string& name : expected) {
    EXPECT_EQ(ReadFile(dir + "/" + name), ReadFile((recorded / "files" / name).string())) << name;
  }
  fs::remove_all(dir);
}

std::vector<std::string> Recorded() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(DUOLOCUS_SESSIONS)) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Recorded, Session, ::testing::ValuesIn(Recorded()),
                         [](const ::testing::TestParamInfo<std::string>& param) { return param.param; });

}  // namespace

namespace {

// Every example session runs to the end and leaves its two files.
TEST(Examples, RunToCompletion) {
  for (const auto& entry : fs::directory_iterator(DUOLOCUS_EXAMPLES)) {
    // examples/studies holds the batch program's study files.
    if (entry.path().extension() == ".md" || entry.is_directory()) continue;
    SCOPED_TRACE(entry.path().filename().string());
    const std::string dir = MakeTempDir();
    int status = -1;
    const std::string console = RunProgram(dir, ReadFile(entry.path().string()), &status);
    EXPECT_EQ(status, 0);
    const std::string done = "\n\nDuolocus 6.1 done.\n";
    ASSERT_GE(console.size(), done.size());
    EXPECT_EQ(console.substr(console.size() - done.size()), done);
    EXPECT_EQ(FileNames(dir).size(), 2u);
    fs::remove_all(dir);
  }
}

}  // namespace
