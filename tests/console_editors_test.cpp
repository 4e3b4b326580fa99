// The editors of single fields, and the answer rules they apply.
#include <string>

#include "tests/console_fixture.h"

using ConsoleEditors = ConsoleTest;

namespace {
const std::string kMutPrompt = "Mutation rate of A to a [0.0 - 1.0]: ";
const std::string kIterPrompt = "Number of iterations using the same settings [1 - 50000]: ";
const std::string kPopHeader =
    "Maximum population size is 1000000.\n\nEnter Values for the Starting Population:\n";
const std::string kTooMany = "\a\nPopulation size exceeds 1000000.\n";
const std::string kFixAlpha =
    "If you do not care which Alpha allele fixes, type 0.\n"
    "If you want to know when the A allele fixes, type 1.\n"
    "If you want to know when the a allele fixes, type 2.\n";
const std::string kFixBeta =
    "\nIf you do not care which Beta allele fixes, type 0.\n"
    "If you want to know when the B allele fixes, type 1.\n"
    "If you want to know when the b allele fixes, type 2.\n";
const std::string kEnterFix = "Enter 0, 1 or 2: ";

std::string PopPrompts(int from, int to = 9) {
  std::string text;
  for (int g = from; g < to; ++g) text += "Number of " + GTNAME(g) + " individuals: ";
  return text;
}
}  // namespace

TEST_F(ConsoleEditors, DecimalAnswers) {
  const std::string huge = "1" + std::string(400, '0') + ".";
  EXPECT_EQ(Edit('1', "1.5 1.0.0 -1 1e-3 0,5 +1 " + huge + " 1"), Refused(kMutPrompt, kBadValue, 7));
  EXPECT_EQ(mutA[0], 1.0);
  EXPECT_NE(Screen().find("1 A>a: 1.00000000"), std::string::npos);
  Edit('2', ".");
  EXPECT_EQ(mutA[1], 0.0);
  Edit('3', ".25");
  EXPECT_EQ(mutB[0], 0.25);
  EXPECT_EQ(Edit('4', "5. 1."), Refused("Mutation rate of b to B [0.0 - 1.0]: ", kBadValue, 1));
  EXPECT_EQ(mutB[1], 1.0);
}

TEST_F(ConsoleEditors, IntegerAnswersAndBounds) {
  EXPECT_EQ(Edit('I', "0 50001 5x 9223372036854775808 99999999999999999999999 50000"),
            Refused(kIterPrompt, kBadNumber, 5));
  EXPECT_EQ(nIter, 50000);
  Edit('I', "00000000000000000000007");
  EXPECT_EQ(nIter, 7);
  const std::string gens = "Maximum number of generations/iteration [1 - 9999999]: ";
  EXPECT_EQ(Edit('M', "0 10000000 9999999"), Refused(gens, kBadNumber, 2));
  EXPECT_EQ(genMax, 9999999);
}

TEST_F(ConsoleEditors, PopulationSetsTotalAndProportions) {
  EXPECT_EQ(Edit('P', "0 0 0 0 0 0 0 0 5"), kPopHeader + PopPrompts(0));
  EXPECT_EQ(NTot, 5);
  EXPECT_EQ(startF[0], 0.0);
  EXPECT_EQ(startF[8], 1.0);
  // A refused count asks only its own genotype again.
  EXPECT_EQ(Edit('P', "1 -2 2 3 4 5 6 7 8 9"),
            kPopHeader + PopPrompts(0, 2) + kBadNumber + PopPrompts(1));
  EXPECT_EQ(NTot, 45);
  EXPECT_NE(Screen().find("Population Size:      45 "), std::string::npos);
  EXPECT_NE(Screen().find("AAbb       3  0.067  1.0000"), std::string::npos);
}

TEST_F(ConsoleEditors, PopulationLimitsAskAllNineAgain) {
  EXPECT_EQ(Edit('P', "0 0 0 0 0 0 0 0 0  1 1 1 1 1 1 1 1 1"),
            kPopHeader + PopPrompts(0) + "\a\nPopulation size is zero.\n" + kPopHeader +
                PopPrompts(0));
  Edit('P', "999999 0 0 0 0 0 0 0 1");
  EXPECT_EQ(NTot, 1000000);
  EXPECT_EQ(Edit('P', "999999 0 0 0 0 0 0 0 2  2 0 0 0 0 0 0 0 0"),
            kPopHeader + PopPrompts(0) + kTooMany + kPopHeader + PopPrompts(0));
  EXPECT_EQ(NTot, 2);
  // Nine acceptable counts whose sum no 64-bit number can hold.
  const std::string most = "9223372036854775807 ";
  EXPECT_EQ(Edit('P', most + most + most + "0 0 0 0 0 0  0 0 0 0 7 0 0 0 0"),
            kPopHeader + PopPrompts(0) + kTooMany + kPopHeader + PopPrompts(0));
  EXPECT_EQ(NTot, 7);
  EXPECT_EQ(startF[4], 1.0);
}

TEST_F(ConsoleEditors, FitnessIsScaledToLargest) {
  const std::string out = Edit('W', "0.2 0.4 1.5 1.0.0 0.8 0.8 0.8 0.8 0.8 0.8 0.8");
  EXPECT_EQ(Count(out, "Fitness of AAbb genotype [0.0 - 1.0]: " + kBadValue), 2);
  EXPECT_EQ(Count(out, "Fitness of"), 11);
  EXPECT_EQ(w[0], 0.25);
  EXPECT_EQ(w[1], 0.5);
  for (int g = 2; g < 9; ++g) EXPECT_EQ(w[g], 1.0);
  Edit('W', ".5 .5 .5 .5 .5 .5 .5 .5 .5");
  for (double fitness : w) EXPECT_EQ(fitness, 1.0);
  // All zeros are kept; nobody is fertile.
  Edit('W', "0 0 . 0 0 0 0 0 0.0");
  for (double fitness : w) EXPECT_EQ(fitness, 0.0);
  std::string checks;
  EXPECT_EQ(Checks(checks), 0);
  EXPECT_NE(checks.find("no fertile individuals"), std::string::npos);
}

TEST_F(ConsoleEditors, MapDistanceRepeatsItsExplanation) {
  const std::string text =
      "You must specify the map distance between\ngenes A and B.\n"
      "  A map distance of 0.0 cM allows no\n  crossing-over between the two genes.\n\n"
      "  A map distance of 50 cM allows for\n  independent assortment of the two genes.\n\n"
      "Map distance [0.0 - 50.0 cM]: ";
  EXPECT_EQ(Edit('L', "50.1 50"), Refused(text, kBadValue, 1));
  EXPECT_EQ(rec, 0.5);
  Edit('L', "12.5");
  EXPECT_EQ(rec, 0.125);
}

TEST_F(ConsoleEditors, SwitchesWithoutQuestions) {
  EXPECT_EQ(Edit('F', ""), "");
  EXPECT_EQ(mateRule, 2);
  Edit('F', "");
  EXPECT_NE(Screen().find("F FERTILIZATION:     Self-fert not allowed\n"), std::string::npos);
  Edit('F', "");
  EXPECT_EQ(mateRule, 1);
  EXPECT_EQ(Edit('V', ""), "");
  EXPECT_EQ(stopAtFix, 0);
  Edit('V', "");
  EXPECT_EQ(stopAtFix, 1);
  EXPECT_EQ(Edit('G', ""), "");
  EXPECT_EQ(trackCopies, 0);
  Edit('G', "");
  EXPECT_EQ(trackCopies, 1);
  // With migration on, tracking cannot come back.
  trackCopies = 0;
  doMig = 1;
  EXPECT_EQ(Edit('G', "x C"),
            "Note: You can not track gene copies if\nmigration is allowed.\n\n"
            "Type C<enter> to continue. ");
  EXPECT_EQ(trackCopies, 0);
}

TEST_F(ConsoleEditors, AlleleFixationAndWarning) {
  EXPECT_EQ(Edit('A', "0 0"), kFixAlpha + kEnterFix + kFixBeta + kEnterFix);
  EXPECT_EQ(Edit('A', "3 x 0 2 next C"),
            kFixAlpha + Refused(kEnterFix, kBadValue, 2) + kFixBeta + kEnterFix +
                "\nWARNING:\nYou have chosen to track fixation of a specific allele.\n"
                "In the absence of appropriate mutation and/or migration,\n"
                "fixation of that allele may not occur before the specified\n"
                "maximum number of generations.\n\nType C<enter> to continue. \n");
  EXPECT_EQ(setAllFix[0], 0);
  EXPECT_EQ(setAllFix[1], 2);
}

TEST_F(ConsoleEditors, EndOfInputHaltsInsideAnEditor) {
  EXPECT_THROW(Edit('P', "1 2 3"), Halted);
  EXPECT_EQ(Output(), kPopHeader + PopPrompts(0, 4) + kHalted);
}
