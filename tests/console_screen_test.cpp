// The settings screen, the command loop, the start checks and the
// hand-over to the run. Whole runs with their run flags are recorded
// sessions (tests/sessions).
#include <string>

#include "model/state.h"
#include "tests/console_fixture.h"

using ConsoleScreen = ConsoleTest;

namespace {
const std::string kCommandPrompt =
    "\nType the letter or number <enter> for the field you wish to change.\n"
    "Type C<enter> to run the simulation(s).  Type Q<enter> to quit. ";

int Count(const std::string& text, const std::string& needle) {
  int n = 0;
  for (std::size_t at = 0; (at = text.find(needle, at)) != std::string::npos; ++at) ++n;
  return n;
}
}  // namespace

// One dialogue: refusals ("\aTRY AGAIN " first on each display, "\a> "
// after); C with a failing check starts no run; a command's editor runs at
// the start of the next pass, after the checks of its own pass; the last
// screen shows every field edited.
TEST_F(ConsoleScreen, CommandLoopEditsTheFields) {
  EXPECT_EQ(Screen(), Golden("default_screen.txt"));
  for (double& fitness : w) fitness = 0.0;
  Input(MakeTempDir() + "/p 1 x 9 ? C c wide C .5 .5 .5 .5 .5 .5 .5 .5 .5 1 1 4 .0000002 " +
        "N 1 1 .5 1 1 1 2 L 12.5 F D .1 .1 .1 .1 .1 .1 .1 .1 159.5 C V A 2 1 C 0 C");
  START();
  const std::string out = Output();
  const std::string noFertile = "no fertile individuals.\n\nType C<enter> to continue. \n";
  EXPECT_NE(out.find(kCommandPrompt + "\aTRY AGAIN \a> \a> " + std::string(27, '\n') +
                     "The starting population has " + noFertile),
            std::string::npos);
  const std::string last = kCommandPrompt + "\aTRY AGAIN ";
  EXPECT_EQ(out.substr(out.size() - last.size()), last);
  EXPECT_EQ(Count(out, "\a> "), 2);
  EXPECT_EQ(Count(out, noFertile), 2);
  EXPECT_EQ(Count(out, kCommandPrompt), 11);
  const std::size_t editor = out.find("Fitness of AABB genotype [0.0 - 1.0]: ");
  ASSERT_NE(editor, std::string::npos);
  EXPECT_LT(out.rfind(noFertile), editor);
  EXPECT_EQ(out.substr(editor - 25, 25), std::string(25, '\n'));
  EXPECT_EQ(Screen(), Golden("edited_screen.txt"));
  setAllFix[0] = 1;
  setAllFix[1] = 2;
  EXPECT_NE(Screen().find("\nA ALLELE FIXATION: Alpha=A  | Beta=b\n"), std::string::npos);
}

// Files that can no longer be opened bring back the prefix question.
TEST_F(ConsoleScreen, HandOverSetsRunFlagsAndReopensFiles) {
  const std::string dir = MakeTempDir();
  datanm = dir + "/gone/f.csv";
  sumnm = dir + "/gone/f.txt";
  w[4] = 0.999;
  mutB[0] = 1e-9;
  Input("x N " + dir + "/good");
  HANDOVER();
  EXPECT_EQ(Output(), "\aTHE FILE " + dir + "/gone/f.csv MAY ALREADY EXIST.\n"
                      "TYPE Q <enter> TO QUIT\nOR N <enter> FOR NEW FILENAME.> " + kPrefixPrompt);
  EXPECT_EQ(fitCheck, 1);
  EXPECT_EQ(mutCheck, 1);
  sumfl.close();
  EXPECT_EQ(ReadFile(dir + "/good.txt"), "Duolocus v6.1\n");
}

// Each step changes the state the step before left; what the failing steps
// write, one after the other, is the golden text.
TEST_F(ConsoleScreen, StartChecksByState) {
  const struct {
    void (*change)();
    int passed;
  } steps[] = {
      // A single individual mates only with self-fertilization allowed.
      {[] { for (std::int64_t& count : startPop) count = 0; startPop[4] = NTot = 1; }, 1},
      {[] { matePref[3] = 0.0; }, 0},
      {[] { matePref[3] = 1.0; mateRule = 0; }, 0},
      {[] { mateRule = 2; }, 0},
      // Monogamy, AA only, AA:AA prevented: empty classes offer nothing.
      {[] { startPop[4] = 0; startPop[0] = startPop[2] = NTot = 20; matePref[0] = 0.0; }, 0},
      {[] { startPop[5] = 1; }, 1},
      {[] { for (double& fitness : w) fitness = 0.0; }, 0},
      {[] { mateRule = 0; }, 0},
      {[] { mateRule = 1; }, 0},
      {[] { w[0] = 1e-9; }, 1},
      {[] { doMig = 1; migN = 100.0; NTot = 80; }, 0},
      {[] { NTot = 100; }, 1},
  };
  std::string all;
  for (int i = 0; i < 12; ++i) {
    steps[i].change();
    std::string out;
    EXPECT_EQ(Checks(out), steps[i].passed) << "step " << i;
    EXPECT_EQ(out.empty(), steps[i].passed == 1) << "step " << i;
    all += out;
  }
  EXPECT_EQ(all, Golden("start_checks.txt"));
}
