// The settings screen, the command loop, the start checks and the
// hand-over to the run.
#include <string>

#include "console/input.h"
#include "console/io.h"
#include "model/state.h"
#include "tests/console_fixture.h"

using ConsoleScreen = ConsoleTest;

namespace {
const std::string kLines25(25, '\n');
const std::string kContinue = "Type C<enter> to continue. \n";
const std::string kNoFertile =
    kLines25 + "\n\nThe starting population has no fertile individuals.\n\n";
const std::string kFewerThanTwo =
    kLines25 + "\n\nThe starting population has fewer than two fertile individuals.\n\n";
const std::string kNoMatings =
    "\a\n\n\nThere are no allowable matings.\nChange either the starting population or\n"
    "the mating preferences.\n\n" + kContinue;
}  // namespace

TEST_F(ConsoleScreen, DefaultScreenIsExact) { EXPECT_EQ(Screen(), kDefaultScreen); }

TEST_F(ConsoleScreen, ShowsEditedSettingsInTheirFormats) {
  mutA[0] = 1.0;
  mutB[1] = 0.0000002;
  mateCheck = 2;
  matePref[2] = 0.5;
  rec_cM = 12.5;
  mateRule = 2;
  doMig = 1;
  migN = 159.5;
  for (int g = 0; g < 9; ++g) migF[g] = g == 8 ? 0.2 : 0.1;
  trackCopies = stopAtFix = 0;
  setAllFix[0] = 2;
  setAllFix[1] = 1;
  const std::string screen = Screen();
  for (const char* part : {"1 A>a: 1.00000000    2 a>A: 0.00000000\n", "4 b>B: 0.00000020\n",
                           "1.0000       N MATING PREFERENCES (premating)\n",
                           "AA:aa 0.5000000      Aa:Aa 1.0000000\n", "DISTANCE:  12.50000 cM\n",
                           "F FERTILIZATION:     Monogamy enforced\n"}) {
    EXPECT_NE(screen.find(part), std::string::npos) << part;
  }
  const std::string tail =
      "\nD MIGRATION: Average number of immigrants/generation: 159.50000\n"
      "    p(AABB)=0.1000   p(AABb)=0.1000   p(AAbb)=0.1000\n"
      "    p(AaBB)=0.1000   p(AaBb)=0.1000   p(Aabb)=0.1000\n"
      "    p(aaBB)=0.1000   p(aaBb)=0.1000   p(aabb)=0.2000\n"
      "G TRACK GENE COPY HISTORY? No\nV STOP ITERATION AT FIXATION? No\n"
      "A ALLELE FIXATION: Alpha=a   | Beta=B\n";
  EXPECT_EQ(screen.substr(screen.size() - tail.size()), tail);
  setAllFix[0] = 1;
  setAllFix[1] = 2;
  EXPECT_NE(Screen().find("Alpha=A  | Beta=b\n"), std::string::npos);
}

TEST_F(ConsoleScreen, DefaultsStartAtOnceAndHandOver) {
  const std::string dir = MakeTempDir();
  Input(dir + "/run1 5 C");
  START();
  EXPECT_EQ(Output(), kPrefixPrompt + kSeedPrompt + std::string(50, '\n') + kDefaultScreen +
                          kCommandPrompt);
  EXPECT_EQ(rsd, 5u);
  EXPECT_EQ(fitCheck, 0);
  EXPECT_EQ(mutCheck, 0);
  datafl.close();
  sumfl.close();
  EXPECT_EQ(ReadFile(dir + "/run1.txt"), "Duolocus v6.1\n");
  EXPECT_TRUE(FileExists(dir + "/run1.csv"));

  w[4] = 0.999;
  mutB[0] = 1e-9;
  HANDOVER();
  EXPECT_EQ(fitCheck, 1);
  EXPECT_EQ(mutCheck, 1);
}

TEST_F(ConsoleScreen, HandOverOffersNewPrefixWhenAFileCannotBeOpened) {
  const std::string dir = MakeTempDir();
  datanm = dir + "/gone/f.csv";
  sumnm = dir + "/gone/f.txt";
  Input("x N " + dir + "/good");
  HANDOVER();
  EXPECT_EQ(Output(), "\aTHE FILE " + dir + "/gone/f.csv MAY ALREADY EXIST.\n"
                      "TYPE Q <enter> TO QUIT\nOR N <enter> FOR NEW FILENAME.> " + kPrefixPrompt);
  sumfl.close();
  datafl.close();
  EXPECT_EQ(ReadFile(dir + "/good.txt"), "Duolocus v6.1\n");
  datanm = dir + "/gone/f.csv";
  Input("Q");
  EXPECT_THROW(HANDOVER(), Halted);
}

TEST_F(ConsoleScreen, RefusedCommandsAndCounterResetPerDisplay) {
  Input(MakeTempDir() + "/p 1 x 9 ? V 0 C");
  START();
  const std::string out = Output();
  EXPECT_NE(out.find(kCommandPrompt + "\aTRY AGAIN \a> \a> " + std::string(50, '\n')),
            std::string::npos);
  const std::string last = kCommandPrompt + "\aTRY AGAIN ";
  EXPECT_EQ(out.substr(out.size() - last.size()), last);
  EXPECT_EQ(Count(out, "\a> "), 2);
  EXPECT_EQ(stopAtFix, 0);
}

TEST_F(ConsoleScreen, EditorRunsAfterTheChecksOfItsPass) {
  for (double& fitness : w) fitness = 0.0;
  Input(MakeTempDir() + "/p 1 C c wide C .5 .5 .5 .5 .5 .5 .5 .5 .5 c");
  START();
  const std::string out = Output();
  // C with a failing check starts no run.
  EXPECT_EQ(Count(out, kNoFertile + kContinue), 2);
  EXPECT_EQ(Count(out, kCommandPrompt), 3);
  const std::size_t editor = out.find("Fitness of AABB genotype [0.0 - 1.0]: ");
  ASSERT_NE(editor, std::string::npos);
  EXPECT_LT(out.rfind(kNoFertile), editor);
  EXPECT_EQ(out.substr(editor - 25, 25), kLines25);
  for (double fitness : w) EXPECT_EQ(fitness, 1.0);
  EXPECT_TRUE(sumfl.is_open());
}

TEST_F(ConsoleScreen, FertilityByRule) {
  std::string out;
  for (double& fitness : w) fitness = 0.0;
  EXPECT_EQ(Checks(out), 0);
  EXPECT_EQ(out, kNoFertile + kContinue);
  mateRule = 0;
  EXPECT_EQ(Checks(out), 0);
  EXPECT_EQ(out, kFewerThanTwo + kContinue);
  mateRule = 2;
  EXPECT_EQ(Checks(out), 0);
  EXPECT_EQ(out, kNoFertile + kFewerThanTwo + kContinue);
  w[4] = 1e-9;
  EXPECT_EQ(Checks(out), 1);
  EXPECT_EQ(out, "");
  // A pause ignores other words and leaves the rest of the line.
  w[4] = 0.0;
  Input("x continue? .5");
  EXPECT_EQ(STARTCHECKS(), 0);
  READWORD();
  EXPECT_EQ(strng, ".5");
}

TEST_F(ConsoleScreen, MatingsBySizeOfClasses) {
  std::string out;
  for (std::int64_t& count : startPop) count = 0;
  startPop[4] = NTot = 1;
  EXPECT_EQ(Checks(out), 1);
  matePref[3] = 0.0;
  EXPECT_EQ(Checks(out), 0);
  EXPECT_EQ(out, kNoMatings);
  matePref[3] = 1.0;
  for (std::int32_t rule : {0, 2}) {
    mateRule = rule;
    EXPECT_EQ(Checks(out), 0);
    EXPECT_EQ(out, kFewerThanTwo + kContinue + kNoMatings);
  }
  // Monogamy, AA only, AA:AA prevented: empty classes offer nothing.
  startPop[4] = 0;
  startPop[0] = startPop[2] = NTot = 20;
  matePref[0] = 0.0;
  EXPECT_EQ(Checks(out), 0);
  EXPECT_EQ(out, kNoMatings);
  startPop[5] = 1;
  EXPECT_EQ(Checks(out), 1);
}

TEST_F(ConsoleScreen, ImmigrantsAgainstChangedPopulation) {
  std::string out;
  doMig = 1;
  migN = 100.0;
  NTot = 80;
  EXPECT_EQ(Checks(out), 0);
  EXPECT_EQ(out, "\a\n\nYou have changed your initial population size.\n"
                 "You now have more immigrants/generation than allowed.\n"
                 "Change either the initial population or the migration settings.\n\n" +
                     kContinue);
  NTot = 100;
  EXPECT_EQ(Checks(out), 1);
}
