// The migration and mating-preference editors.
#include <string>

#include "tests/console_fixture.h"

using ConsoleMigPref = ConsoleTest;

namespace {
std::string MigPrompts() {
  std::string text;
  for (int g = 0; g < 8; ++g) {
    text += "Proportion of " + GTNAME(g) + " genotype in immigrants [0.0 - 1.0]: ";
  }
  return text;
}
const std::string kImmigrants =
    "\n\nAverage number of immigrants per generation.\n"
    "This number does not have to be an integer.\n"
    "It must be greater than zero and less than the\n"
    "population size (160).\n"
    "Immigrants/generation [>0.0 - <160]: ";
const std::string kPrefText =
    "Set relative mating preferences for the\nsix possible matings involving gene Alpha.\n"
    "Relative mating preferences will be scaled\nto a maximum of 1.0.  Negative values are\n"
    "not allowed.\n\nTo prevent a given mating, set the relative\n"
    "mating preference to 0.0.\n\n"
    "AA with AA [0.0 - 1.0]: AA with Aa [0.0 - 1.0]: AA with aa [0.0 - 1.0]: "
    "Aa with Aa [0.0 - 1.0]: Aa with aa [0.0 - 1.0]: aa with aa [0.0 - 1.0]: ";
const std::string kIsolation =
    "\nYou have indicated that there are mating preferences.\n"
    "Type '1' for postmating isolaton; type '2' for premating isolation.\n";
}  // namespace

TEST_F(ConsoleMigPref, AllImmigrantsAabbWithTrackingNote) {
  EXPECT_EQ(Edit('D', "0 0 0 0 0 0 0 0 10 C"),
            MigPrompts() +
                "\nImmigrant genotype proportions:\n"
                "p(AABB)=0.0000\np(AABb)=0.0000\np(AAbb)=0.0000\np(AaBB)=0.0000\n"
                "p(AaBb)=0.0000\np(Aabb)=0.0000\np(aaBB)=0.0000\np(aaBb)=0.0000\n"
                "p(aabb)=1.0000\n" + kImmigrants +
                "\nNote: You can not track gene copies when\n"
                "migration is allowed.  The program settings\n"
                "have been changed to reflect this.\n\nType C<enter> to continue ");
  EXPECT_EQ(doMig, 1);
  EXPECT_EQ(migN, 10.0);
  EXPECT_EQ(trackCopies, 0);
  EXPECT_EQ(migCumF[7], 0.0);
  EXPECT_EQ(migCumF[8], 1.0);
  EXPECT_NE(Screen().find("D MIGRATION: Average number of immigrants/generation: 10.00000\n"
                          "    p(AABB)=0.0000   p(AABb)=0.0000   p(AAbb)=0.0000\n"),
            std::string::npos);
}

TEST_F(ConsoleMigPref, RemainderZeroAcceptedNegativeAsksAllAgain) {
  trackCopies = 0;
  Edit('D', "1.0 0 0 0 0 0 0 0 5");
  EXPECT_EQ(migF[8], 0.0);
  EXPECT_EQ(migCumF[0], 1.0);
  doMig = 0;
  const std::string out = Edit('D', "0.5 0.6 0 0 0 0 0 0  0.5 1.5 0.25 0 0 0 0 0 0 5");
  const std::string refused = MigPrompts() +
                              "\a\nGenotype proportions add up to a number\n"
                              "greater than 1.0.  Try again.\n\n" + MigPrompts().substr(0, 55);
  EXPECT_EQ(out.substr(0, refused.size()), refused);
  EXPECT_EQ(Count(out, "Proportion of AABb"), 3);
  EXPECT_EQ(migF[8], 0.25);
  EXPECT_EQ(migCumF[1], 0.75);
  EXPECT_EQ(Count(out, "Note:"), 0);
}

TEST_F(ConsoleMigPref, ImmigrantCountBelowPopulation) {
  trackCopies = 0;
  const std::string out = Edit('D', "0 0 0 0 0 0 0 0  160 0 . 159.5");
  const std::string asked = Refused(kImmigrants, kBadNumber, 3);
  EXPECT_EQ(out.substr(out.size() - asked.size()), asked);
  EXPECT_EQ(migN, 159.5);
}

TEST_F(ConsoleMigPref, SwitchingOffKeepsProportions) {
  Edit('D', "0.5 0 0 0 0 0 0 0 12.5 C");
  EXPECT_EQ(Edit('D', ""), "");
  EXPECT_EQ(doMig, 0);
  EXPECT_EQ(migN, 0.0);
  EXPECT_EQ(migP, 0.0);
  EXPECT_EQ(migF[0], 0.5);
  EXPECT_NE(Screen().find("D MIGRATION: none\nG TRACK GENE COPY HISTORY? No\n"), std::string::npos);
}

TEST_F(ConsoleMigPref, PreferencesScaledAndIsolationAskedOnce) {
  EXPECT_EQ(Edit('N', ".5 .5 .5 .5 .5 .5"), kPrefText);
  for (double pref : matePref) EXPECT_EQ(pref, 1.0);
  EXPECT_EQ(mateCheck, 0);

  const std::string invalid = "Invalid choice.  Try again.\n";
  EXPECT_EQ(Edit('N', "1 1 0 1 1 1.5 1 3 x 99999999999999999999 2"),
            kPrefText + kBadValue + "aa with aa [0.0 - 1.0]: " + Refused(kIsolation, invalid, 3));
  EXPECT_EQ(mateCheck, 2);
  EXPECT_NE(Screen().find("N MATING PREFERENCES (premating)"), std::string::npos);

  Edit('N', ".4 .8 .8 .8 .8 .8 1");
  EXPECT_EQ(matePref[0], 0.5);
  EXPECT_EQ(matePref[5], 1.0);
  EXPECT_EQ(mateCheck, 1);
}

TEST_F(ConsoleMigPref, AllZeroPreferencesRefusedAtStart) {
  EXPECT_EQ(Edit('N', "0 0 0 0 0 0 1"), kPrefText + kIsolation);
  for (double pref : matePref) EXPECT_EQ(pref, 0.0);
  std::string checks;
  EXPECT_EQ(Checks(checks), 0);
  EXPECT_NE(checks.find("There are no allowable matings."), std::string::npos);
}
