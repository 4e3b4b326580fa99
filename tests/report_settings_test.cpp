// The settings block of the text report.
#include <iomanip>
#include <string>

#include "model/settings.h"
#include "model/state.h"
#include "report/report.h"
#include "tests/report_fixture.h"

namespace {

class ReportSettings : public ReportFixture {};

// Replaces the one occurrence of from in text.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST_F(ReportSettings, DefaultsAtFiftyCentimorgans) {
  SETTINGSREPORT();
  EXPECT_EQ(Summary(), kDefaultSettingsReport);
}

TEST_F(ReportSettings, MigrationPutsTheAverageOnItsLineAndThreeLinesOfProportions) {
  doMig = 1;
  migN = 2.5;
  migF[4] = 1.0;
  SETTINGSREPORT();
  const std::string expected = Replaced(
      kDefaultSettingsReport, "MIGRATION: none\n",
      "MIGRATION: Average number of immigrants/generation: 2.50000\n"
      "    p(AABB)=0.0000   p(AABb)=0.0000   p(AAbb)=0.0000\n"
      "    p(AaBB)=0.0000   p(AaBb)=1.0000   p(Aabb)=0.0000\n"
      "    p(aaBB)=0.0000   p(aaBb)=0.0000   p(aabb)=0.0000\n");
  EXPECT_EQ(Summary(), expected);
}

TEST_F(ReportSettings, PostmatingAndTheFirstChoiceOfEveryOtherText) {
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
  setAllFix[0] = 1;
  setAllFix[1] = 1;
  stopAtFix = 0;
  SETTINGSREPORT();
  const std::string text = Summary();
  for (const char* line : {
           "\nAaBb      1000000  0.25000000  1.00000000\n",
           "\naabb           10  0.06250000  0.12500000\n",
           "\nA to a: 0.00012000\na to A: 0.00000000\nB to b: 0.00000000\nb to B: 1.00000000\n\n",
           "\nMATING PREFERENCES (postmating)\n"
           "AA:AA 1.00000000  AA:Aa 1.00000000  AA:aa 0.00000000\n"
           "Aa:Aa 1.00000000  Aa:aa 0.50000000  aa:aa 1.00000000\n\n",
           "\nLINKAGE BETWEEN A & B GENES: 0.0000000 cM\n",
           "\nFERTILIZATION:  Self-fertilization not allowed\n\n",
           "\nMAXIMUM NUMBER OF GENERATIONS PER ITERATION: 9999999\n",
           "\nALPHA ALLELE FIXATION TRACKED: A allele must fix\n",
           "\nBETA ALLELE FIXATION TRACKED: B allele must fix\n",
       }) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  const std::string last = "\nITERATIONS STOPPED AFTER FIXATION: No\n\n";
  ASSERT_GE(text.size(), last.size());
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
}

TEST_F(ReportSettings, PrematingAndTheLastChoiceOfEveryOtherText) {
  mateCheck = 2;
  mateRule = 2;
  setAllFix[0] = 2;
  setAllFix[1] = 2;
  SETTINGSREPORT();
  const std::string text = Summary();
  for (const char* line : {
           "\nMATING PREFERENCES (premating)\n",
           "\nFERTILIZATION:  Monogamy enforced\n\n",
           "\nALPHA ALLELE FIXATION TRACKED: a allele must fix\n",
           "\nBETA ALLELE FIXATION TRACKED: b allele must fix\n",
       }) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
}

// The report streams outlive runs; whatever a caller or an earlier block
// left in the stream's number format must not show in the report.
TEST_F(ReportSettings, EarlierStreamFormatDoesNotLeakIn) {
  sumfl << std::scientific << std::setprecision(2) << 1.5;
  SETTINGSREPORT();
  EXPECT_EQ(Summary(), std::string("1.50e+00") + kDefaultSettingsReport);
}

}  // namespace
