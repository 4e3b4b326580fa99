// Shared helpers of the tests: a clean program state for each case, the
// console on string streams, and whole sessions of the built program.
#ifndef DUOLOCUS_TESTS_TESTUTIL_H
#define DUOLOCUS_TESTS_TESTUTIL_H

#include <gtest/gtest.h>

#include <sstream>
#include <cstdint>
#include <string>
#include <vector>

#include "model/store.h"

// Thrown by the test halt hook in place of ending the process.
struct Halted {};

// Every test that touches program state derives from this: it resets all
// state, points the console at string streams and makes GIVEUP throw Halted.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Replaces what the console will read.
  void Input(const std::string& text);
  // Everything written to the console so far.
  std::string Output() const { return out_.str(); }
  void ClearOutput() { out_.str(""); }

  std::istringstream in_;
  std::ostringstream out_;
};

// A fresh empty directory under the system's temporary directory.
std::string MakeTempDir();
// Whole contents of a file ("" when it cannot be read).
std::string ReadFile(const std::string& path);
// Whether a file exists.
bool FileExists(const std::string& path);

// Runs build/duolocus in dir with session as its standard input; returns the
// console output. exitCode receives the process's exit status.
std::string RunProgram(const std::string& dir, const std::string& session, int* exitCode = nullptr);

#endif

// Starts the random source afresh from seed, as at program start, with the
// draw counters at zero.
void RestartRandom(unsigned seed);
// The next n draws from seed, after which the source is restarted on seed,
// so the code under test draws the same values.
std::vector<double> RecordDraws(unsigned seed, std::size_t n);
// Sets a population size from per-genotype counts, allocates the arrays and
// prepares the run as the driver would (after the defaults).
void SetPopulation(const std::vector<std::int64_t>& counts);
// The contents of tests/golden/NAME: long expected texts kept as data.
std::string Golden(const std::string& name);

// The fields of an individual record by their names. Tests read and write
// records only through these, so the record's layout may change freely.
int AlleleA(const IND& ind, int c);
int AlleleB(const IND& ind, int c);
std::int64_t CopyA(const IND& ind, int c);
std::int64_t CopyB(const IND& ind, int c);
int OriginA(const IND& ind, int c);
int OriginB(const IND& ind, int c);
// Sets every field of chromosome c of a record.
void SetChromosome(IND& ind, int c, int alleleA, std::int64_t copyA, int originA, int alleleB,
                   std::int64_t copyB, int originB);
