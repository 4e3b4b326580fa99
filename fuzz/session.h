// One whole console session fed from bytes, for the fuzzer and for the
// replay of its corpus in the tests.
#ifndef DUOLOCUS_FUZZ_SESSION_H
#define DUOLOCUS_FUZZ_SESSION_H

#include <cstddef>
#include <cstdint>
#include <string>

// Runs the program on data as its typed input, from program start to the
// end of the input (or Q, or N at the run-again question), in the folder
// dir. Every '/' of the input is read as '_', so no prefix can name a file
// outside dir. Runs are capped so that each input ends quickly: at most 3
// iterations of at most 100 generations of at most 200 individuals, and
// acceptance probabilities of at least 0.01 (lower ones make a run slow,
// not wrong). Returns the program's exit status.
int FUZZSESSION(const std::uint8_t* data, std::size_t size, const std::string& dir);

#endif
