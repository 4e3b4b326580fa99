// The prefix and run-again prompts. Whole sessions of the built program are
// in tests/sessions.
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "model/state.h"
#include "tests/console_fixture.h"

using ConsolePrompts = ConsoleTest;

namespace {
std::string FileFailure(const std::string& name) {
  return "\aTHE FILE " + name + " MAY ALREADY EXIST.\nTYPE Q <enter> TO QUIT\n"
         "OR N <enter> FOR NEW FILENAME.> ";
}
}  // namespace

TEST_F(ConsolePrompts, PrefixCreatesOrEmptiesBothFiles) {
  const std::string prefix = MakeTempDir() + "/a_rather_long_prefix_of_many_characters";
  { std::ofstream(prefix + ".csv") << "old rows\n"; }
  Input(prefix);
  OUTFILE();
  EXPECT_EQ(Output(), kPrefixPrompt);
  EXPECT_EQ(ReadFile(prefix + ".csv"), "");
  EXPECT_TRUE(FileExists(prefix + ".txt"));
  EXPECT_FALSE(datafl.is_open() || sumfl.is_open());
}

// A missing directory with N for a new prefix is a recorded session.
TEST_F(ConsolePrompts, FailedOpenOffersNewPrefixOrQuit) {
  const std::string dir = MakeTempDir();
  // Only the report name fails: it is the one named.
  ASSERT_EQ(mkdir((dir + "/x.txt").c_str(), 0700), 0);
  Input(dir + "/x N " + dir + "/y");
  OUTFILE();
  EXPECT_EQ(Output(), kPrefixPrompt + FileFailure(dir + "/x.txt") + kPrefixPrompt);
  EXPECT_TRUE(FileExists(dir + "/y.csv"));

  ClearOutput();
  Input(dir + "/nodir/x maybe Quit");
  EXPECT_THROW(OUTFILE(), Halted);
  EXPECT_EQ(Output(), kPrefixPrompt + FileFailure(dir + "/nodir/x.csv") +
                          "\nDuolocus 6.1 halted.\n");
}

// Y and N themselves are in the recorded sessions.
TEST_F(ConsolePrompts, RunAgainAnswers) {
  Input("maybe ? yes");
  AGAIN();
  EXPECT_EQ(Output(), "\n\nDo you want to run the program again? [Y/N] \n"
                      "\aTry again. [Y/N]? \aTry again. [Y/N]? \n");
  EXPECT_EQ(doProgAgain, 1);
}
