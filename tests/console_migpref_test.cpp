// The migration and mating-preference editors.
#include <string>

#include "tests/console_fixture.h"

using ConsoleMigPref = ConsoleTest;

// Switching on asks the mix and number; switching off keeps the mix, and
// tracking once switched off stays off, so the note comes only once.
TEST_F(ConsoleMigPref, MigrationOnAndOff) {
  std::string out = Edit('D', "0 0 0 0 0 0 0 0 10 C");
  EXPECT_EQ(doMig, 1);
  EXPECT_EQ(migN, 10.0);
  EXPECT_EQ(trackCopies, 0);
  EXPECT_EQ(migCumF[7], 0.0);
  EXPECT_EQ(migCumF[8], 1.0);
  migP = 0.25;  // as a run leaves it
  EXPECT_EQ(Edit('D', ""), "");
  EXPECT_EQ(doMig, 0);
  EXPECT_EQ(migN, 0.0);
  EXPECT_EQ(migP, 0.0);
  EXPECT_EQ(migF[8], 1.0);
  // A remainder of exactly zero is accepted.
  out += Edit('D', "1.0 0 0 0 0 0 0 0 5");
  EXPECT_EQ(migF[8], 0.0);
  EXPECT_EQ(migCumF[0], 1.0);
  Edit('D', "");
  // A negative remainder asks all eight again; the immigrants must be more
  // than none and fewer than the population.
  out += Edit('D', "0.5 0.6 0 0 0 0 0 0  0.5 1.5 0.25 0 0 0 0 0 0  160 0 . 159.5");
  EXPECT_EQ(out, Golden("migration.txt"));
  EXPECT_EQ(migF[8], 0.25);
  EXPECT_EQ(migCumF[1], 0.75);
  EXPECT_EQ(migN, 159.5);
}

// The isolation question comes at most once per use, only when the scaled
// preferences differ; all zeros are kept and then no mating is allowed.
TEST_F(ConsoleMigPref, PreferencesScaledAndIsolationAskedOnce) {
  std::string out = Edit('N', ".5 .5 .5 .5 .5 .5");
  for (double pref : matePref) EXPECT_EQ(pref, 1.0);
  EXPECT_EQ(mateCheck, 0);
  out += Edit('N', "1 1 0 1 1 1.5 1 3 x 99999999999999999999 2");
  EXPECT_EQ(mateCheck, 2);
  out += Edit('N', ".4 .8 .8 .8 .8 .8 1");
  EXPECT_EQ(matePref[0], 0.5);
  EXPECT_EQ(matePref[5], 1.0);
  EXPECT_EQ(mateCheck, 1);
  out += Edit('N', "0 0 0 0 0 0 1");
  EXPECT_EQ(out, Golden("mating_preferences.txt"));
  for (double pref : matePref) EXPECT_EQ(pref, 0.0);
  std::string checks;
  EXPECT_EQ(Checks(checks), 0);
  EXPECT_NE(checks.find("There are no allowable matings."), std::string::npos);
}
