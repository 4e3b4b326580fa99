// The settings block of the text report. The default block is checked with
// the summary that follows it; here every other choice of each text.
#include <string>

#include "report/report.h"
#include "tests/report_fixture.h"

namespace {

class ReportSettings : public ReportFixture {};

TEST_F(ReportSettings, MigrationPutsTheAverageOnItsLineAndThreeLinesOfProportions) {
  doMig = 1;
  migN = 2.5;
  migF[4] = 1.0;
  SETTINGSREPORT();
  EXPECT_EQ(Summary(), Golden("settings_migration.txt"));
}

// Postmating and the first choice of every other text, then premating and
// the last choice of each text that has three.
TEST_F(ReportSettings, EveryOtherChoiceOfEachText) {
  startPop[4] = 1000000;
  w[8] = 0.125;
  mutA[0] = 0.00012;
  mutB[1] = 1.0;
  mateCheck = 1;
  matePref[2] = 0.0;
  matePref[4] = 0.5;
  mateRule = 0;
  rec = 0.0;
  genMax = 9999999;
  setAllFix[0] = setAllFix[1] = 1;
  stopAtFix = 0;
  SETTINGSREPORT();
  mateCheck = 2;
  mateRule = 2;
  setAllFix[0] = setAllFix[1] = 2;
  SETTINGSREPORT();
  EXPECT_EQ(Summary(), Golden("settings_first_choices.txt") + Golden("settings_last_choices.txt"));
}

}  // namespace
