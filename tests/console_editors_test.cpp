// The editors of single fields, the seed prompt, and the answer rules they
// apply. The golden texts hold what each dialogue writes, refusals included.
#include <string>

#include "model/state.h"
#include "tests/console_fixture.h"

using ConsoleEditors = ConsoleTest;

// Each numeric question refuses bad words and out-of-range numbers with its
// family's message, asks its whole prompt again and stores the last answer.
TEST_F(ConsoleEditors, NumericAnswersPerQuestion) {
  const std::string huge = "1" + std::string(400, '0') + ".";
  const std::string badCounts = "0 50001 5x 9223372036854775808 99999999999999999999999 ";
  const struct {
    char command;
    std::string input;
    double (*stored)();
    double value;
  } cases[] = {
      {'1', "1.5 1.0.0 -1 1e-3 0,5 +1 " + huge + " 1", [] { return mutA[0]; }, 1.0},
      {'2', "2 .5", [] { return mutA[1]; }, 0.5},
      {'3', ".25", [] { return mutB[0]; }, 0.25},
      {'4', "5. 1.", [] { return mutB[1]; }, 1.0},
      {'I', badCounts + "50000", [] { return double(nIter); }, 50000},
      {'I', "00000000000000000000007", [] { return double(nIter); }, 7},
      {'M', "0 10000000 9999999", [] { return double(genMax); }, 9999999},
      {'L', "50.1 50", [] { return rec; }, 0.5},
      {'L', "12.5", [] { return rec; }, 0.125},
  };
  std::string out;
  for (const auto& c : cases) {
    out += Edit(c.command, c.input);
    EXPECT_EQ(c.stored(), c.value) << c.command << ' ' << c.input;
  }
  Input("0 32768 -5 12a 99999999999999999999999 1 32767");
  ClearOutput();
  SEEDASK();
  EXPECT_EQ(rsd, 1u);
  SEEDASK();
  EXPECT_EQ(rsd, 32767u);
  EXPECT_EQ(out + Output(), Golden("numeric_answers.txt"));
}

TEST_F(ConsoleEditors, PopulationTotalsAndLimits) {
  std::string out = Edit('P', "0 0 0 0 0 0 0 0 5");
  EXPECT_EQ(NTot, 5);
  EXPECT_EQ(startF[0], 0.0);
  EXPECT_EQ(startF[8], 1.0);
  // A refused count asks only its own genotype again.
  out += Edit('P', "1 -2 9223372036854775808 2 3 4 5 6 7 8 9");
  EXPECT_EQ(NTot, 45);
  EXPECT_EQ(startF[2], 3.0 / 45.0);
  // A zero or too large total asks all nine again; the last sum passes 2^64
  // by 5 although each count is acceptable.
  out += Edit('P', "0 0 0 0 0 0 0 0 0  1 1 1 1 1 1 1 1 1");
  EXPECT_EQ(NTot, 9);
  out += Edit('P', "999999 0 0 0 0 0 0 0 2  999999 0 0 0 0 0 0 0 1");
  EXPECT_EQ(NTot, 1000000);
  const std::string most = "9223372036854775807 ";
  out += Edit('P', most + most + "7 0 0 0 0 0 0  0 0 0 0 7 0 0 0 0");
  EXPECT_EQ(NTot, 7);
  EXPECT_EQ(startF[4], 1.0);
  EXPECT_THROW(Edit('P', "1 2 3"), Halted);
  EXPECT_EQ(out + Output(), Golden("population.txt"));
}

TEST_F(ConsoleEditors, FitnessIsScaledToLargest) {
  // A refused entry asks only its own genotype again.
  std::string out = Edit('W', "0.2 0.4 1.5 1.0.0 0.8 0.8 0.8 0.8 0.8 0.8 0.8");
  EXPECT_EQ(w[0], 0.25);
  EXPECT_EQ(w[1], 0.5);
  for (int g = 2; g < 9; ++g) EXPECT_EQ(w[g], 1.0);
  out += Edit('W', ".5 .5 .5 .5 .5 .5 .5 .5 .5");
  for (double fitness : w) EXPECT_EQ(fitness, 1.0);
  // All zeros are kept; nobody is fertile.
  out += Edit('W', "0 0 . 0 0 0 0 0 0.0");
  EXPECT_EQ(out, Golden("fitness.txt"));
  for (double fitness : w) EXPECT_EQ(fitness, 0.0);
  std::string checks;
  EXPECT_EQ(Checks(checks), 0);
  EXPECT_NE(checks.find("no fertile individuals"), std::string::npos);
}

TEST_F(ConsoleEditors, SwitchesWithoutQuestions) {
  for (std::int32_t rule : {2, 0, 1}) {
    EXPECT_EQ(Edit('F', ""), "");
    EXPECT_EQ(mateRule, rule);
  }
  for (std::int32_t now : {0, 1}) {
    EXPECT_EQ(Edit('V', "") + Edit('G', ""), "");
    EXPECT_EQ(stopAtFix, now);
    EXPECT_EQ(trackCopies, now);
  }
  // With migration on, tracking cannot come back; the pause ignores x.
  trackCopies = 0;
  doMig = 1;
  EXPECT_EQ(Edit('G', "x C"),
            "Note: You can not track gene copies if\nmigration is allowed.\n\n"
            "Type C<enter> to continue. ");
  EXPECT_EQ(trackCopies, 0);
}

// 0 and 0 need no warning; 3 and x are refused, and 0 and 2 bring it.
TEST_F(ConsoleEditors, AlleleFixationAndWarning) {
  std::string out = Edit('A', "0 0");
  out += Edit('A', "3 x 0 2 next C");
  EXPECT_EQ(out, Golden("allele_fixation.txt"));
  EXPECT_EQ(setAllFix[0], 0);
  EXPECT_EQ(setAllFix[1], 2);
}
