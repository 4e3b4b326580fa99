// The summary statistics block of the text report.
#include <iomanip>
#include <string>

#include "report/report.h"
#include "tests/report_fixture.h"

namespace {

class ReportSummary : public ReportFixture {};

// The default settings block and the summary of a run of 100 iterations,
// one after the other. The streams outlive runs: whatever number format a
// caller or an earlier block left in the stream must not show in the report.
TEST_F(ReportSummary, HundredIterationsAfterTheSettingsWhateverTheStreamFormat) {
  rep = 101;
  totAFixed[0] = 40;
  totAFixed[1] = 23;
  totAFixed[2] = 37;
  sumGenFixedAAll = 51181;  // 63 fixations averaging 812.397
  noFixedACopy = 40;
  sumGenFixedACopy = 54618;  // 60 averaging 910.3
  totBFixed[0] = 35;
  totBFixed[1] = 36;
  totBFixed[2] = 29;
  sumGenFixedBAll = 45440;  // 71 averaging 640.0
  noFixedBCopy = 99;
  sumGenFixedBCopy = 4321;  // a single copy fixation
  sumfl << std::scientific << std::setprecision(2) << 1.5;
  SETTINGSREPORT();
  sumfl << std::scientific << std::setprecision(4) << 2.0 << '\n';
  SUMSTATS();
  EXPECT_EQ(Summary(), "1.50e+00" + Golden("default_settings_report.txt") + "2.0000e+00\n" +
                           Golden("summary_hundred.txt"));
}

TEST_F(ReportSummary, UntrackedCopiesAndExcludedAllelesAreLeftOut) {
  rep = 21;
  trackCopies = 0;
  setAllFix[0] = 1;
  setAllFix[1] = 2;
  totAFixed[0] = 7;
  totAFixed[2] = 12;
  sumGenFixedAAll = 1050;
  totBFixed[1] = 9;
  totBFixed[2] = 10;
  sumGenFixedBAll = 896;
  nIterExtinct = 1;
  SUMSTATS();
  EXPECT_EQ(Summary(), Golden("summary_untracked.txt"));
}

TEST_F(ReportSummary, EveryIterationExtinctShowsNoMeans) {
  rep = 4;
  noFixedACopy = noFixedBCopy = 3;
  nIterExtinct = 3;
  setAllFix[0] = 2;
  setAllFix[1] = 1;
  SUMSTATS();
  EXPECT_EQ(Summary(), Golden("summary_extinct.txt"));
}

// Large counts fill the columns exactly; the mean keeps one decimal.
TEST_F(ReportSummary, WideCountsAndMeansFillTheirColumns) {
  rep = 50001;
  trackCopies = 0;
  totAFixed[0] = 50000;
  sumGenFixedAAll = 50000LL * 9999999;
  totBFixed[1] = 2;
  sumGenFixedBAll = 3;
  SUMSTATS();
  const std::string text = Summary();
  EXPECT_NE(text.find("\nAlpha Allele          50000  9999999.0\n"), std::string::npos);
  EXPECT_NE(text.find("\nBeta Allele               2        1.5\n"), std::string::npos);
}

}  // namespace
