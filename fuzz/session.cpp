#include "fuzz/session.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <string>

#include "console/io.h"
#include "model/driver.h"
#include "model/settings.h"
#include "report/files.h"

namespace {

struct Halted {};
[[noreturn]] void THROWHALT() { throw Halted{}; }

constexpr std::int64_t kMostIter = 3;
constexpr std::int64_t kMostGen = 100;
constexpr std::int64_t kMostPop = 200;
constexpr double kLeastAccept = 0.01;

// Shrinks a run to the caps after the dialogue has accepted it. The
// settings screen of a later run then shows the shrunk settings, which is
// as good an input to fuzz as any.
void CAPRUN() {
  nIter = std::min(nIter, kMostIter);
  genMax = std::min(genMax, kMostGen);
  if (NTot > kMostPop) {
    std::int64_t total = 0;
    for (std::int64_t& count : startPop) total += (count = count * kMostPop / NTot);
    if (total == 0) total = startPop[0] = 1;
    NTot = total;
    for (int g = 0; g < 9; ++g) startF[g] = static_cast<double>(startPop[g]) / static_cast<double>(NTot);
    if (migN >= static_cast<double>(NTot)) migN = static_cast<double>(NTot) / 2.0;
  }
  for (double& x : w) {
    if (x > 0.0 && x < kLeastAccept) x = kLeastAccept;
  }
  for (double& x : matePref) {
    if (x > 0.0 && x < kLeastAccept) x = kLeastAccept;
  }
}

}  // namespace

int FUZZSESSION(const std::uint8_t* data, std::size_t size, const std::string& dir) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::replace(text.begin(), text.end(), '/', '_');
  std::istringstream in(text);
  std::ostream discard(nullptr);  // the console output is not looked at
  char here[4096];
  const bool back = getcwd(here, sizeof here) != nullptr;
  if (chdir(dir.c_str()) != 0) return -1;
  int status = 0;
  RESETPROGRAM();
  CONSOLE(in, discard);
  const HaltFn previousHalt = haltHook;
  haltHook = THROWHALT;
  runHook = CAPRUN;
  try {
    status = RUNPROGRAM();
  } catch (const Halted&) {
    status = EXITSTATUS();
  }
  RESETPROGRAM();
  CONSOLE(std::cin, std::cout);
  haltHook = previousHalt;
  runHook = nullptr;
  if (back && chdir(here) != 0) status = -1;
  return status;
}
