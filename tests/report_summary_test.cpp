// The summary statistics block of the text report.
#include <iomanip>
#include <string>

#include "model/settings.h"
#include "model/state.h"
#include "report/report.h"
#include "tests/report_fixture.h"

namespace {

class ReportSummary : public ReportFixture {
 protected:
  // 100 iterations, copies tracked, either allele may fix, no extinction.
  void HundredIterations() {
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
  }
};

const char* const kHundredIterations =
    "\n"
    "SUMMARY STATISTICS\n"
    "\n"
    "FIXATION TIMES\n"
    "                    number   mean     \n"
    "                    -------  ---------\n"
    "Alpha Allele             63      812.4\n"
    "Alpha Gene Copy          60      910.3\n"
    "Beta Allele              71      640.0\n"
    "Beta Gene Copy            1  nc\n"
    "\n"
    "\n"
    "ALLELE FIXATION -- OUTPUT REFLECTS SPECIFIED ALLELE FIXATION OPTIONS\n"
    "ALPHA FIXATION\n"
    "A allele fixed 40 times.\n"
    "a allele fixed 23 times.\n"
    "Fixation did not occur 37 times.\n"
    "\n"
    "BETA FIXATION\n"
    "B allele fixed 35 times.\n"
    "b allele fixed 36 times.\n"
    "Fixation did not occur 29 times.\n"
    "\n"
    "Iteration halted due to extinction 0 times.\n";

TEST_F(ReportSummary, HundredIterationsWithCopiesTracked) {
  HundredIterations();
  SUMSTATS();
  EXPECT_EQ(Summary(), kHundredIterations);
}

TEST_F(ReportSummary, FollowsTheSettingsReportDirectly) {
  HundredIterations();
  SETTINGSREPORT();
  SUMSTATS();
  EXPECT_EQ(Summary(), std::string(kDefaultSettingsReport) + kHundredIterations);
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
  EXPECT_EQ(Summary(),
            "\n"
            "SUMMARY STATISTICS\n"
            "\n"
            "FIXATION TIMES\n"
            "                    number   mean     \n"
            "                    -------  ---------\n"
            "Alpha Allele              7      150.0\n"
            "Beta Allele               9       99.6\n"
            "\n"
            "\n"
            "ALLELE FIXATION -- OUTPUT REFLECTS SPECIFIED ALLELE FIXATION OPTIONS\n"
            "ALPHA FIXATION\n"
            "A allele fixed 7 times.\n"
            "Fixation did not occur 12 times.\n"
            "\n"
            "BETA FIXATION\n"
            "b allele fixed 9 times.\n"
            "Fixation did not occur 10 times.\n"
            "\n"
            "Iteration halted due to extinction 1 times.\n");
}

TEST_F(ReportSummary, EveryIterationExtinctShowsNoMeans) {
  rep = 4;
  noFixedACopy = noFixedBCopy = 3;
  nIterExtinct = 3;
  setAllFix[0] = 2;
  setAllFix[1] = 1;
  SUMSTATS();
  const std::string text = Summary();
  EXPECT_NE(text.find("\nAlpha Allele              0  nc\n"
                      "Alpha Gene Copy           0  nc\n"
                      "Beta Allele               0  nc\n"
                      "Beta Gene Copy            0  nc\n"),
            std::string::npos);
  EXPECT_NE(text.find("\nALPHA FIXATION\n"
                      "a allele fixed 0 times.\n"
                      "Fixation did not occur 0 times.\n\n"
                      "BETA FIXATION\n"
                      "B allele fixed 0 times.\n"
                      "Fixation did not occur 0 times.\n\n"
                      "Iteration halted due to extinction 3 times.\n"),
            std::string::npos);
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

TEST_F(ReportSummary, EarlierStreamFormatDoesNotLeakIn) {
  HundredIterations();
  sumfl << std::scientific << std::setprecision(4) << 2.0 << '\n';
  SUMSTATS();
  EXPECT_EQ(Summary(), std::string("2.0000e+00\n") + kHundredIterations);
}

}  // namespace
