#include "model/iteration.h"

#include <ostream>

#include "console/io.h"
#include "model/settings.h"
#include "model/state.h"

namespace {

// Sums of genotype counts: every individual AA, aa, BB, bb.
inline std::int64_t ALLAA() { return N[0] + N[1] + N[2]; }
inline std::int64_t ALLaa() { return N[6] + N[7] + N[8]; }
inline std::int64_t ALLBB() { return N[0] + N[3] + N[6]; }
inline std::int64_t ALLbb() { return N[2] + N[5] + N[8]; }

// Fixation state of one gene at the start of an iteration.
void STARTGENE(std::int64_t capitals, std::int64_t smalls, std::int32_t option,
               std::int32_t& fixedAll, std::int64_t& genFixedAll) {
  fixedAll = 2;
  genFixedAll = genMax + 1;
  if (capitals == NTot && option != 2) {
    fixedAll = 0;
    genFixedAll = 0;
  } else if (smalls == NTot && option != 1) {
    fixedAll = 1;
    genFixedAll = 0;
  }
}

bool PENDING() {
  return fixedAAll == 2 || fixedBAll == 2 ||
         (trackCopies == 1 && (fixedACopy == -1 || fixedBCopy == -1)) || stopAtFix == 0;
}

// Whether some permitted mating can still be formed, counting individuals of
// every fitness.
bool MATINGPOSSIBLE() {
  const std::int64_t nAA = ALLAA();
  const std::int64_t nAa = N[3] + N[4] + N[5];
  const std::int64_t naa = ALLaa();
  const std::int64_t k = mateRule == 1 ? 1 : 2;
  return (matePref[0] > 0.0 && nAA >= k) || (matePref[3] > 0.0 && nAa >= k) ||
         (matePref[5] > 0.0 && naa >= k) || (matePref[1] > 0.0 && nAA >= 1 && nAa >= 1) ||
         (matePref[2] > 0.0 && nAA >= 1 && naa >= 1) ||
         (matePref[4] > 0.0 && nAa >= 1 && naa >= 1);
}

}  // namespace

void ITERINIT() {
  contIter = 1;
  gen = 0;
  *conOut << "\nReplicate #" << rep << " " << std::flush;
  STARTGENE(ALLAA(), ALLaa(), setAllFix[0], fixedAAll, genFixedAAll);
  STARTGENE(ALLBB(), ALLbb(), setAllFix[1], fixedBAll, genFixedBAll);
  fixedACopy = -1;
  fixedBCopy = -1;
  genFixedACopy = genMax + 1;
  genFixedBCopy = genMax + 1;
  iterExtinct = 0;
}

void CONTCHK() {
  const bool pending = PENDING();
  contIter = pending ? 1 : 0;
  if (gen == genMax) {
    contIter = 0;
    *conOut << " " << gen << " generations" << std::endl;
  } else if (!pending) {
    *conOut << " " << gen << " generations" << std::endl;
  } else if (gen % 1000 == 0) {
    *conOut << "." << std::flush;
  }
  std::int64_t fertile = 0;
  for (int g = 0; g < 9; ++g) {
    if (w[g] > 0.0) fertile += N[g];
  }
  if ((mateRule == 1 && fertile == 0) || (mateRule != 1 && fertile < 2)) {
    contIter = 0;
    iterExtinct = 1;
  }
  if (mateCheck != 0 && iterExtinct == 0 && !MATINGPOSSIBLE()) {
    contIter = 0;
    iterExtinct = 1;
  }
}
