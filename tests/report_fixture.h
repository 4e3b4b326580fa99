// A clean program state with both report streams open on files in a fresh
// directory, for the tests of the text report and the iteration table.
#ifndef DUOLOCUS_TESTS_REPORT_FIXTURE_H
#define DUOLOCUS_TESTS_REPORT_FIXTURE_H

#include <filesystem>
#include <string>

#include "model/settings.h"
#include "model/state.h"
#include "tests/testutil.h"

// Each test gets the default settings with 50 cM, seed 101 and prefix run1
// (those of golden/default_settings_report.txt), and both report streams
// open on files of a fresh directory.
class ReportFixture : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    STARTDEF();
    rsd = 101;
    datanm = "run1.csv";
    sumnm = "run1.txt";
    rec_cM = 50.0;
    rec = 0.5;
    dir_ = MakeTempDir();
    datafl.open(dir_ + "/" + datanm);
    sumfl.open(dir_ + "/" + sumnm);
  }
  void TearDown() override {
    ProgramTest::TearDown();
    std::filesystem::remove_all(dir_);
  }
  // Closes a stream and returns what its file holds.
  std::string Summary() {
    if (sumfl.is_open()) sumfl.close();
    return ReadFile(dir_ + "/" + sumnm);
  }
  std::string Table() {
    if (datafl.is_open()) datafl.close();
    return ReadFile(dir_ + "/" + datanm);
  }

  std::string dir_;
};

#endif
