// A clean program state with both report streams open on files in a fresh
// directory, for the tests of the text report and the iteration table.
#ifndef DUOLOCUS_TESTS_REPORT_FIXTURE_H
#define DUOLOCUS_TESTS_REPORT_FIXTURE_H

#include <filesystem>
#include <string>

#include "model/settings.h"
#include "model/state.h"
#include "tests/testutil.h"

// The settings block for the defaults with 50 cM, seed 101 and prefix run1.
inline const char* const kDefaultSettingsReport =
    "\n"
    "\n"
    "Initial settings\n"
    "\n"
    "OUTPUT FILE: run1.txt\n"
    "RANDOM NUMBER SEED: 101\n"
    "\n"
    "                               Relative\n"
    "Genotype   Number  Proportion  Fitness\n"
    "AABB           10  0.06250000  1.00000000\n"
    "AABb           20  0.12500000  1.00000000\n"
    "AAbb           10  0.06250000  1.00000000\n"
    "AaBB           20  0.12500000  1.00000000\n"
    "AaBb           40  0.25000000  1.00000000\n"
    "Aabb           20  0.12500000  1.00000000\n"
    "aaBB           10  0.06250000  1.00000000\n"
    "aaBb           20  0.12500000  1.00000000\n"
    "aabb           10  0.06250000  1.00000000\n"
    "\n"
    "Total Population Size: 160\n"
    "\n"
    "MUTATION RATES:\n"
    "A to a: 0.00000000\n"
    "a to A: 0.00000000\n"
    "B to b: 0.00000000\n"
    "b to B: 0.00000000\n"
    "\n"
    "MATING PREFERENCES (none)\n"
    "AA:AA 1.00000000  AA:Aa 1.00000000  AA:aa 1.00000000\n"
    "Aa:Aa 1.00000000  Aa:aa 1.00000000  aa:aa 1.00000000\n"
    "\n"
    "LINKAGE BETWEEN A & B GENES: 50.0000000 cM\n"
    "MIGRATION: none\n"
    "FERTILIZATION:  Self-fertilization allowed\n"
    "\n"
    "MAXIMUM NUMBER OF GENERATIONS PER ITERATION: 30000\n"
    "ALPHA ALLELE FIXATION TRACKED: either A or a allele must fix\n"
    "BETA ALLELE FIXATION TRACKED: either B or b allele must fix\n"
    "ITERATIONS STOPPED AFTER FIXATION: Yes\n"
    "\n";

// Each test gets the default settings with 50 cM, seed 101 and prefix run1,
// and both report streams open on files of a fresh directory.
class ReportFixture : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    STARTDEF();
    rsd = 101;
    onm = "run1";
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
  // Closes both streams and returns what each file holds.
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
