#include "model/settings.h"

const char* const aGType[3] = {"AA", "Aa", "aa"};
const char* const bGType[3] = {"BB", "Bb", "bb"};
const char* const haplo[4] = {"AB", "Ab", "aB", "ab"};
const std::int32_t whichMating[3][3] = {{0, 1, 2}, {1, 3, 4}, {2, 4, 5}};

std::int64_t startPop[9];
std::int64_t NTot;
double startF[9];
double w[9];
double mutA[2];
double mutB[2];
double rec_cM;
double rec;
std::int32_t doMig;
double migN;
double migF[9];
double migCumF[9];
std::int32_t mateRule;
double matePref[6];
std::int32_t mateCheck;
std::int64_t nIter;
std::int64_t genMax;
std::int32_t trackCopies;
std::int32_t setAllFix[2];
std::int32_t stopAtFix;
std::uint32_t rsd;
std::string onm;
std::string datanm;
std::string sumnm;

std::int32_t fitCheck;
std::int32_t mutCheck;
double migP;

std::string GTNAME(int g) {
  return std::string(aGType[g / 3]) + bGType[g % 3];
}

void STARTDEF() {
  static const std::int64_t pop[9] = {10, 20, 10, 20, 40, 20, 10, 20, 10};
  genMax = 30000;
  NTot = 160;
  for (int g = 0; g < 9; ++g) {
    startPop[g] = pop[g];
    w[g] = 1.0;
    startF[g] = static_cast<double>(pop[g]) / static_cast<double>(NTot);
  }
  mutA[0] = mutA[1] = mutB[0] = mutB[1] = 0.0;
  nIter = 1;
  mateRule = 1;
  for (double& p : matePref) p = 1.0;
  trackCopies = 1;
  setAllFix[0] = setAllFix[1] = 0;
  stopAtFix = 1;
}
