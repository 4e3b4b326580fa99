// Output files that cannot be named, written or closed, and a console that
// goes away: nothing is lost or half-written while success is reported.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "model/state.h"
#include "tests/console_fixture.h"

namespace fs = std::filesystem;

namespace {

using OutputFiles = ConsoleTest;

// Five iterations with default settings, then N.
const std::string kFiveIterations = "7\nI\n5\nC\nN\n";

// A zero byte would cut the name short, and both files would be opened on
// the same cut name: such a prefix opens nothing.
TEST_F(OutputFiles, PrefixWithZeroByteOpensNothing) {
  const std::string dir = MakeTempDir();
  const std::string bad = dir + "/ab" + std::string(1, '\0') + "cd";
  Input(bad + "\nN\n" + dir + "/ok\n");
  OUTFILE();
  EXPECT_EQ(Output(), kPrefixPrompt + "\aTHE FILE " + bad +
                          ".csv MAY ALREADY EXIST.\nTYPE Q <enter> TO QUIT\n"
                          "OR N <enter> FOR NEW FILENAME.> " + kPrefixPrompt);
  EXPECT_FALSE(FileExists(dir + "/ab"));
  EXPECT_TRUE(FileExists(dir + "/ok.csv"));
  fs::remove_all(dir);
}

struct Outcome {
  std::string console;
  int status;
};

Outcome RunSession(const std::string& dir, const std::string& session) {
  Outcome o;
  o.console = RunProgram(dir, session, &o.status);
  return o;
}

// Either file on a full device: the console names the file and the reason,
// the dialogue ends as usual, and the exit status tells a script.
TEST(FileFailures, WriteErrorsAreReportedAndSetTheExitStatus) {
  for (const char* failing : {"x.csv", "x.txt"}) {
    SCOPED_TRACE(failing);
    const std::string dir = MakeTempDir();
    ASSERT_EQ(symlink("/dev/full", (dir + "/" + failing).c_str()), 0);
    const Outcome o = RunSession(dir, "x\n" + kFiveIterations);
    EXPECT_EQ(o.status, 1);
    const std::string message =
        std::string("\a\nERROR: could not write ") + failing + ": No space left on device\n";
    EXPECT_NE(o.console.find("Replicate #5"), std::string::npos);
    const std::size_t at = o.console.find(message);
    ASSERT_NE(at, std::string::npos) << o.console;
    EXPECT_LT(at, o.console.find("Do you want to run the program again?"));
    EXPECT_NE(o.console.find("\n\nDuolocus 6.1 done.\n"), std::string::npos);
    EXPECT_EQ(o.console.find("ERROR", at + message.size()), std::string::npos);  // the other file is fine
    fs::remove_all(dir);
  }
}

// A failed run is remembered: a later good run, or quitting, still ends
// with status 1. A program whose files were all written ends with 0.
TEST(FileFailures, ExitStatusRemembersEveryRun) {
  const std::string dir = MakeTempDir();
  ASSERT_EQ(symlink("/dev/full", (dir + "/bad.csv").c_str()), 0);
  const std::string firstRun = "bad\n7\nC\nY\n";
  Outcome o = RunSession(dir, firstRun + "good\n7\nC\nN\n");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(ReadFile(dir + "/good.txt").rfind("Duolocus v6.1\n", 0), 0u);
  o = RunSession(dir, firstRun + "good\n7\nQ\n");
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.console.find("Duolocus 6.1 halted."), std::string::npos);
  o = RunSession(dir, "good\n7\nC\nN\n");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.console.find("ERROR"), std::string::npos);
  fs::remove_all(dir);
}

// A reader that stops after 100 bytes closes the console pipe long before
// the run ends. The run goes on and its files are those of a normal run.
TEST(FileFailures, BrokenConsolePipeLeavesTheFilesWhole) {
  const std::string normal = MakeTempDir();
  const std::string cut = MakeTempDir();
  const std::string session = "run\n7\nI\n100\nC\nN\n";
  ASSERT_EQ(RunSession(normal, session).status, 0);
  {
    std::ofstream(cut + "/session.in") << session;
  }
  const std::string command = "cd '" + cut + "' && bash -c 'set -o pipefail; \"" DUOLOCUS_BIN
                              "\" < session.in | head -c 100 > /dev/null'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  for (const char* name : {"run.csv", "run.txt"}) {
    EXPECT_EQ(ReadFile(cut + "/" + name), ReadFile(normal + "/" + name)) << name;
  }
  EXPECT_NE(ReadFile(cut + "/run.txt").find("SUMMARY STATISTICS"), std::string::npos);
  fs::remove_all(normal);
  fs::remove_all(cut);
}

}  // namespace
