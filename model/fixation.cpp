#include "model/fixation.h"

#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"

namespace {

void ALLELEFIX(std::int64_t capitals, std::int64_t smalls, std::int32_t option,
               std::int32_t& fixedAll, std::int64_t& genFixedAll) {
  if (capitals == NTot && option != 2) {
    fixedAll = 0;
    genFixedAll = gen;
  } else if (smalls == NTot && option != 1) {
    fixedAll = 1;
    genFixedAll = gen;
  }
}

// Gene-copy fixation at one gene: every chromosome carries the copy of
// chromosome 0 of individual 0. The member pointer picks the gene.
void COPYFIX(GENECOPY (IND::*gene)[2], std::int64_t& fixedCopy, std::int64_t& genFixedCopy,
             std::int32_t& ancHap) {
  const std::int64_t x = COPYOF((pIND[0].*gene)[0]);
  const IND* const end = pIND + NTot;
  for (const IND* p = pIND; p != end; ++p) {
    if (COPYOF((p->*gene)[0]) != x || COPYOF((p->*gene)[1]) != x) return;
  }
  // Immigrants' copies (-1) never count as a common ancestor.
  if (x == -1) return;
  fixedCopy = x;
  genFixedCopy = gen;
  ancHap = ORIGINOF((pIND[0].*gene)[0]);
}

void TALLYGENE(std::int32_t fixedAll, std::int64_t genFixedAll, std::int64_t tot[3],
               std::int64_t& sumGen) {
  if (fixedAll == 0 || fixedAll == 1) {
    ++tot[fixedAll];
    sumGen += genFixedAll;
  } else {
    ++tot[2];
  }
}

void TALLYCOPY(std::int64_t genFixedCopy, std::int64_t& sumGen, std::int64_t& noFixed) {
  if (genFixedCopy < genMax + 1) {
    sumGen += genFixedCopy;
  } else {
    ++noFixed;
  }
}

}  // namespace

void ALCOMP() {
  if (fixedAAll == 2) {
    ALLELEFIX(N[0] + N[1] + N[2], N[6] + N[7] + N[8], setAllFix[0], fixedAAll, genFixedAAll);
  }
  if (fixedBAll == 2) {
    ALLELEFIX(N[0] + N[3] + N[6], N[2] + N[5] + N[8], setAllFix[1], fixedBAll, genFixedBAll);
  }
}

void COALESCE() {
  if (fixedACopy == -1) COPYFIX(&IND::geneA, fixedACopy, genFixedACopy, ancAHap);
  if (fixedBCopy == -1) COPYFIX(&IND::geneB, fixedBCopy, genFixedBCopy, ancBHap);
}

void ADDNEW() {
  if (iterExtinct == 1) {
    ++nIterExtinct;
    if (trackCopies == 1) {
      ++noFixedACopy;
      ++noFixedBCopy;
    }
    return;
  }
  TALLYGENE(fixedAAll, genFixedAAll, totAFixed, sumGenFixedAAll);
  TALLYGENE(fixedBAll, genFixedBAll, totBFixed, sumGenFixedBAll);
  if (trackCopies == 1) {
    TALLYCOPY(genFixedACopy, sumGenFixedACopy, noFixedACopy);
    TALLYCOPY(genFixedBCopy, sumGenFixedBCopy, noFixedBCopy);
  }
}
