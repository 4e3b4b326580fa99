// The prefix, seed and run-again prompts, end of input, and whole
// sessions of the built program.
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "model/state.h"
#include "tests/console_fixture.h"

using ConsolePrompts = ConsoleTest;

namespace {
const std::string kAgain = "\n\nDo you want to run the program again? [Y/N] ";
const std::string kTryAgain = "\aTry again. [Y/N]? ";
std::string FileFailure(const std::string& name) {
  return "\aTHE FILE " + name + " MAY ALREADY EXIST.\nTYPE Q <enter> TO QUIT\n"
         "OR N <enter> FOR NEW FILENAME.> ";
}
std::string Tail(const std::string& text, std::size_t n) {
  return text.size() < n ? text : text.substr(text.size() - n);
}
}  // namespace

TEST_F(ConsolePrompts, PrefixCreatesOrEmptiesBothFiles) {
  const std::string prefix = MakeTempDir() + "/a_rather_long_prefix_of_many_characters";
  { std::ofstream(prefix + ".csv") << "old rows\n"; }
  Input(prefix);
  OUTFILE();
  EXPECT_EQ(Output(), kPrefixPrompt);
  EXPECT_EQ(datanm, prefix + ".csv");
  EXPECT_EQ(sumnm, prefix + ".txt");
  EXPECT_EQ(ReadFile(datanm), "");
  EXPECT_TRUE(FileExists(sumnm));
  EXPECT_FALSE(datafl.is_open() || sumfl.is_open());
}

TEST_F(ConsolePrompts, FailedOpenOffersNewPrefixOrQuit) {
  const std::string dir = MakeTempDir();
  const std::string bad = dir + "/nodir/x";
  Input(bad + " maybe no " + dir + "/good");
  OUTFILE();
  EXPECT_EQ(Output(), kPrefixPrompt + FileFailure(bad + ".csv") + kPrefixPrompt);
  EXPECT_TRUE(FileExists(dir + "/good.txt"));

  // Only the report name fails: it is the one named.
  ASSERT_EQ(mkdir((dir + "/x.txt").c_str(), 0700), 0);
  ClearOutput();
  Input(dir + "/x N " + dir + "/y");
  OUTFILE();
  EXPECT_EQ(Output(), kPrefixPrompt + FileFailure(dir + "/x.txt") + kPrefixPrompt);
  EXPECT_FALSE(datafl.is_open());

  ClearOutput();
  Input(bad + " Quit");
  EXPECT_THROW(OUTFILE(), Halted);
  EXPECT_EQ(Output(), kPrefixPrompt + FileFailure(bad + ".csv") + kHalted);
}

TEST_F(ConsolePrompts, SeedBounds) {
  Input("0 32768 -5 12a 99999999999999999999999 1");
  SEEDASK();
  EXPECT_EQ(Output(), Refused(kSeedPrompt, "\a\nBad seed.  Try again.\n", 5));
  EXPECT_EQ(rsd, 1u);
  Input("32767");
  SEEDASK();
  EXPECT_EQ(rsd, 32767u);
}

TEST_F(ConsolePrompts, RunAgainAnswers) {
  Input("yes");
  AGAIN();
  EXPECT_EQ(Output(), kAgain + "\n\n");
  EXPECT_EQ(doProgAgain, 1);
  ClearOutput();
  Input("maybe ? no");
  AGAIN();
  EXPECT_EQ(Output(), kAgain + "\n" + kTryAgain + kTryAgain + "\n");
  EXPECT_EQ(doProgAgain, 0);
}

TEST_F(ConsolePrompts, EndOfInputHaltsAtEveryKindOfQuestion) {
  const std::string dir = MakeTempDir();
  const struct {
    void (*ask)();
    std::string input;
    std::string ending;
  } cases[] = {
      {OUTFILE, "", kPrefixPrompt + kHalted},
      {SEEDASK, "0", "Try again.\n" + kSeedPrompt + kHalted},
      {AGAIN, "maybe", kTryAgain + kHalted},
      {OUTFILE, dir + "/nodir/x other", "NEW FILENAME.> " + kHalted},
      {START, dir + "/p 1 zz", kCommandPrompt + "\aTRY AGAIN " + kHalted},
      {START, dir + "/p 1 p 0", "Number of AABb individuals: " + kHalted},
  };
  for (const auto& c : cases) {
    ClearOutput();
    Input(c.input);
    EXPECT_THROW(c.ask(), Halted) << c.input;
    EXPECT_EQ(Tail(Output(), c.ending.size()), c.ending) << c.input;
  }
  for (double& fitness : w) fitness = 0.0;
  Input("x");
  EXPECT_THROW(STARTCHECKS(), Halted);
}

TEST(ConsoleSession, QuitAtTheScreen) {
  const std::string dir = MakeTempDir();
  int status = -1;
  EXPECT_EQ(RunProgram(dir, "run1\n7\nq\n", &status),
            kPrefixPrompt + kSeedPrompt + std::string(50, '\n') + kDefaultScreen +
                kCommandPrompt + kHalted);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile(dir + "/run1.csv"), "");
  EXPECT_TRUE(FileExists(dir + "/run1.txt"));
  EXPECT_EQ(RunProgram(dir, "run1 40000", &status),
            kPrefixPrompt + Refused(kSeedPrompt, "\a\nBad seed.  Try again.\n", 1) + kHalted);
  EXPECT_EQ(status, 0);
}

TEST(ConsoleSession, NewPrefixThenTwoRuns) {
  const std::string dir = MakeTempDir();
  int status = -1;
  const std::string out =
      RunProgram(dir, "nodir/a n first 3\nM 50 C\nyes\nsecond 4\nQ\n", &status);
  EXPECT_EQ(status, 0);
  const std::string opening = kPrefixPrompt + FileFailure("nodir/a.csv") + kPrefixPrompt +
                              kSeedPrompt + std::string(50, '\n') + kDefaultScreen +
                              kCommandPrompt;
  EXPECT_EQ(out.substr(0, opening.size()), opening);
  EXPECT_EQ(ReadFile(dir + "/first.txt").substr(0, 14), "Duolocus v6.1\n");
  // The second run asks prefix and seed again and keeps the first run's
  // settings.
  const std::size_t again = out.find(kAgain + "\n\n" + kPrefixPrompt + kSeedPrompt);
  ASSERT_NE(again, std::string::npos);
  EXPECT_NE(out.find("M MAX GENERATIONS:   50\n", again), std::string::npos);
  EXPECT_EQ(Tail(out, kHalted.size()), kHalted);
  EXPECT_EQ(ReadFile(dir + "/second.txt"), "");
}

TEST(ConsoleSession, RunAgainNoEndsTheProgram) {
  int status = -1;
  const std::string out = RunProgram(MakeTempDir(), "r 1 M 10 c maybe n\n", &status);
  EXPECT_EQ(status, 0);
  const std::string ending = kAgain + "\n" + kTryAgain + "\n\n\nDuolocus 6.1 done.\n";
  EXPECT_EQ(Tail(out, ending.size()), ending);
}
