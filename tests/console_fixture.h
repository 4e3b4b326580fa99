// Shared pieces of the console dialogue tests.
#ifndef DUOLOCUS_TESTS_CONSOLE_FIXTURE_H
#define DUOLOCUS_TESTS_CONSOLE_FIXTURE_H

#include <string>

#include "console/dialogue.h"
#include "model/settings.h"
#include "tests/testutil.h"

inline const std::string kPrefixPrompt = "Prefix of output files (.csv and .txt suffixes added): ";

// The program state at start-up: defaults applied, console on strings.
class ConsoleTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    STARTDEF();
  }
  // Runs the editor of a command letter on the given input; returns what it wrote.
  std::string Edit(char command, const std::string& input) {
    Input(input);
    ClearOutput();
    RUNEDITOR(command);
    return Output();
  }
  // Runs the start checks with a C waiting for every pause; out receives what they wrote.
  int Checks(std::string& out) {
    Input("C C C");
    ClearOutput();
    const int passed = STARTCHECKS();
    out = Output();
    return passed;
  }
  std::string Screen() {
    ClearOutput();
    DRAWSCREEN();
    return Output();
  }
};

#endif
