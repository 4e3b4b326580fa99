#include "console/io.h"

#include <iostream>

#include "console/input.h"
#include "model/driver.h"

std::istream* conIn = &std::cin;
std::ostream* conOut = &std::cout;

void CONSOLE(std::istream& in, std::ostream& out) {
  conIn = &in;
  conOut = &out;
}

void READWORD() {
  // The dialogue has no answer for the end of input; without this every
  // question would be asked again forever.
  if (!(*conIn >> strng)) {
    GIVEUP();
  }
}
