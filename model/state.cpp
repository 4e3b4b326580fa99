#include "model/state.h"

std::int64_t N[9];
double f[9];

std::int64_t gen;
std::int64_t rep;
std::int32_t contIter;
std::int32_t iterExtinct;

std::int32_t fixedAAll, fixedBAll;
std::int64_t genFixedAAll, genFixedBAll;
std::int64_t fixedACopy, fixedBCopy;
std::int64_t genFixedACopy, genFixedBCopy;
std::int32_t ancAHap, ancBHap;

std::int64_t totAFixed[3], totBFixed[3];
std::int64_t sumGenFixedAAll, sumGenFixedBAll;
std::int64_t sumGenFixedACopy, sumGenFixedBCopy;
std::int64_t noFixedACopy, noFixedBCopy;
std::int64_t nIterExtinct;

std::int32_t doSeed;
std::int32_t doProgAgain;

std::ofstream datafl;
std::ofstream sumfl;

void RESETSTATE() {
  for (int g = 0; g < 9; ++g) {
    N[g] = 0;
    f[g] = 0.0;
  }
  gen = rep = 0;
  contIter = iterExtinct = 0;
  fixedAAll = fixedBAll = ancAHap = ancBHap = 0;
  genFixedAAll = genFixedBAll = fixedACopy = fixedBCopy = 0;
  genFixedACopy = genFixedBCopy = 0;
  for (int i = 0; i < 3; ++i) totAFixed[i] = totBFixed[i] = 0;
  sumGenFixedAAll = sumGenFixedBAll = sumGenFixedACopy = sumGenFixedBCopy = 0;
  noFixedACopy = noFixedBCopy = nIterExtinct = 0;
  doProgAgain = 1;
}
