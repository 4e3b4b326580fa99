// Shared pieces of the console dialogue tests.
#ifndef DUOLOCUS_TESTS_CONSOLE_FIXTURE_H
#define DUOLOCUS_TESTS_CONSOLE_FIXTURE_H

#include <string>

#include "console/dialogue.h"
#include "model/settings.h"
#include "tests/testutil.h"

// The settings screen with the default settings.
inline const std::string kDefaultScreen =
    "Population Size:     160          MUTATION RATES\n"
    "Type P to change POPULATION       1 A>a: 0.00000000    2 a>A: 0.00000000\n"
    "Type W to change FITNESS          3 B>b: 0.00000000    4 b>B: 0.00000000\n"
    "           P            W       \n"
    "AABB      10  0.062  1.0000       N MATING PREFERENCES (none)\n"
    "AABb      20  0.125  1.0000       AA:AA 1.0000000      AA:Aa 1.0000000\n"
    "AAbb      10  0.062  1.0000       AA:aa 1.0000000      Aa:Aa 1.0000000\n"
    "AaBB      20  0.125  1.0000       Aa:aa 1.0000000      aa:aa 1.0000000\n"
    "AaBb      40  0.250  1.0000\n"
    "Aabb      20  0.125  1.0000       L LINKAGE DISTANCE:  0.00000 cM\n"
    "aaBB      10  0.062  1.0000       F FERTILIZATION:     Self-fert allowed\n"
    "aaBb      20  0.125  1.0000       I ITERATIONS:        1\n"
    "aabb      10  0.062  1.0000       M MAX GENERATIONS:   30000\n"
    "\n"
    "D MIGRATION: none\n"
    "G TRACK GENE COPY HISTORY? Yes\n"
    "V STOP ITERATION AT FIXATION? Yes\n"
    "A ALLELE FIXATION: Alpha=any | Beta=any\n";

inline const std::string kCommandPrompt =
    "\nType the letter or number <enter> for the field you wish to change.\n"
    "Type C<enter> to run the simulation(s).  Type Q<enter> to quit. ";

inline const std::string kPrefixPrompt = "Prefix of output files (.csv and .txt suffixes added): ";
inline const std::string kSeedPrompt = "Random number generator seed [integer, 1 - 32767]: ";
inline const std::string kHalted = "\nDuolocus 6.1 halted.\n";
inline const std::string kBadValue = "\a\nBad value.  Try again.\n";
inline const std::string kBadNumber = "\a\nBad number.  Try again.\n";

// Number of times needle occurs in text.
inline int Count(const std::string& text, const std::string& needle) {
  int n = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + needle.size())) {
    ++n;
  }
  return n;
}

// The prompt written once, then again after each of n refusals.
inline std::string Refused(const std::string& prompt, const std::string& fail, int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += prompt + fail;
  return text + prompt;
}

// The program state at start-up: defaults applied, console on strings.
class ConsoleTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    STARTDEF();
  }
  // Runs the editor of a command letter on the given input; returns what
  // it wrote.
  std::string Edit(char command, const std::string& input) {
    Input(input);
    ClearOutput();
    RUNEDITOR(command);
    return Output();
  }
  // Runs the start checks with a C waiting for every pause; out receives
  // what they wrote.
  int Checks(std::string& out) {
    Input("C C C");
    ClearOutput();
    const int passed = STARTCHECKS();
    out = Output();
    return passed;
  }
  // The screen as it stands now.
  std::string Screen() {
    ClearOutput();
    DRAWSCREEN();
    std::string text = Output();
    ClearOutput();
    return text;
  }
};

#endif
