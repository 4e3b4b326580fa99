#include "model/driver.h"

#include <cstdlib>
#include <iostream>

#include "console/dialogue.h"
#include "console/input.h"
#include "console/io.h"
#include "engine/founders.h"
#include "engine/generation.h"
#include "engine/random.h"
#include "model/derive.h"
#include "model/fixation.h"
#include "model/iteration.h"
#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"
#include "report/files.h"
#include "report/report.h"

namespace {

[[noreturn]] void exitProgram() { std::exit(EXITSTATUS()); }

}  // namespace

HaltFn haltHook = exitProgram;
HookFn runHook = nullptr;
HookFn foundersHook = nullptr;
HookFn generationHook = nullptr;
HookFn iterationHook = nullptr;

// One iteration: founders, then generations until iteration control stops.
void ITERATION() {
  POPBUILD();
  SHUFFLE();
  ITERINIT();
  if (foundersHook != nullptr) foundersHook();
  while (contIter == 1) {
    GENBUILD();
    if (iterExtinct == 1) {
      // Parent choice found no permitted pair: the generation could not be
      // completed and the iteration ends as halted by extinction.
      contIter = 0;
      break;
    }
    if (fixedAAll == 2 || fixedBAll == 2) ALCOMP();
    if (trackCopies == 1 && (fixedACopy == -1 || fixedBCopy == -1)) COALESCE();
    CONTCHK();
    if (generationHook != nullptr) generationHook();
  }
  OUTWRITE();
  CHECKFILES();
  ADDNEW();
}

void GIVEUP() {
  *conOut << "\nDuolocus 6.1 halted." << std::endl;
  haltHook();
  std::exit(EXITSTATUS());  // a hook must not return; never leave GIVEUP either way
}

void RUNINIT() {
  migP = migN / static_cast<double>(NTot);
  sumGenFixedAAll = sumGenFixedBAll = 0;
  sumGenFixedACopy = sumGenFixedBCopy = 0;
  for (int i = 0; i < 3; ++i) totAFixed[i] = totBFixed[i] = 0;
  noFixedACopy = noFixedBCopy = 0;
  nIterExtinct = 0;
  // Alleles of the ten templates as (Alpha, Beta) on chromosome 0 and 1.
  static const int alleles[10][4] = {
      {0, 0, 0, 0}, {0, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 0}, {0, 0, 1, 1},
      {0, 1, 1, 0}, {0, 1, 1, 1}, {1, 0, 1, 0}, {1, 0, 1, 1}, {1, 1, 1, 1}};
  for (int t = 0; t < 10; ++t) {
    IND& m = mIND[t];
    for (int c = 0; c < 2; ++c) {
      m.geneA[c] = MAKECOPY(alleles[t][2 * c], -1, -1);
      m.geneB[c] = MAKECOPY(alleles[t][2 * c + 1], -1, -1);
    }
  }
}

void RUNITERATIONS() {
  rep = 1;
  if (nIter > 0) {
    do {
      ITERATION();
      if (iterationHook != nullptr) iterationHook();
      ++rep;
    } while (rep <= nIter);
  }
  if (rep >= 3) {
    SUMSTATS();
    CHECKFILES();
  }
}

int RUNPROGRAM() {
  RESETPROGRAM();
  STARTDEF();
  while (doProgAgain == 1) {
    START();
    if (runHook != nullptr) runHook();
    MEMALLOC();
    RUNINIT();
    RUNITERATIONS();
    CLOSEFILES();
    REPORTFILES();
    AGAIN();
  }
  *conOut << "\n\nDuolocus 6.1 done." << std::endl;
  return EXITSTATUS();
}

bool RUNHANDOVER(std::string& failed) {
  SEEDRND();
  RUNFLAGS();
  if (!OPENRUNFILES(failed)) return false;
  FILESOPENED();
  sumfl << BANNER << std::endl;
  CHECKFILES();
  return true;
}

void RESETPROGRAM() {
  // Each subsystem puts back its own state.
  MEMFREE();
  RESETSETTINGS();
  RESETSTATE();
  RESETREPORT();
  RESETCONSOLE();
  RESETENGINE();
}
