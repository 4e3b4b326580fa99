#include "model/settings.h"

#include "model/catalogue.h"
#include "model/derive.h"

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

std::string ALLELENAME(int gene, int code) {
  const char* const* names = gene == 0 ? aGType : bGType;
  return std::string(1, names[2 * code][0]);
}

std::string MATINGNAME(int k, const char* between) {
  for (int x = 0; x < 3; ++x) {
    for (int y = x; y < 3; ++y) {
      if (whichMating[x][y] == k) return std::string(aGType[x]) + between + aGType[y];
    }
  }
  return "";
}

std::string MUTATIONNAME(int i, const char* between) {
  const int gene = i / 2;
  const int from = i % 2;
  return ALLELENAME(gene, from) + between + ALLELENAME(gene, 1 - from);
}

namespace {

double DEFAULTOF(const std::string& key) { return FINDSETTING(key)->defaultValue; }

std::int64_t COUNTDEFAULT(const std::string& key) {
  return static_cast<std::int64_t>(DEFAULTOF(key));
}

}  // namespace

void STARTDEF() {
  // Only the settings that start away from zero: migration, the map
  // distance and the isolation type start off, as the program starts.
  for (int g = 0; g < 9; ++g) {
    startPop[g] = COUNTDEFAULT("founders." + GTNAME(g));
    w[g] = DEFAULTOF("fitness." + GTNAME(g));
  }
  NTot = POPSUM();
  POPFREQ();
  double* const rates[4] = {&mutA[0], &mutA[1], &mutB[0], &mutB[1]};
  for (int i = 0; i < 4; ++i) *rates[i] = DEFAULTOF("mutation." + MUTATIONNAME(i, "_to_"));
  genMax = COUNTDEFAULT("max_generations");
  nIter = COUNTDEFAULT("iterations");
  mateRule = static_cast<std::int32_t>(DEFAULTOF("fertilization"));
  for (int k = 0; k < 6; ++k) matePref[k] = DEFAULTOF("mating." + MATINGNAME(k, "_"));
  trackCopies = static_cast<std::int32_t>(DEFAULTOF("track_gene_copies"));
  setAllFix[0] = static_cast<std::int32_t>(DEFAULTOF("fixation.alpha"));
  setAllFix[1] = static_cast<std::int32_t>(DEFAULTOF("fixation.beta"));
  stopAtFix = static_cast<std::int32_t>(DEFAULTOF("stop_at_fixation"));
}

void RESETSETTINGS() {
  for (int g = 0; g < 9; ++g) {
    startPop[g] = 0;
    startF[g] = w[g] = migF[g] = migCumF[g] = 0.0;
  }
  for (double& p : matePref) p = 0.0;
  NTot = 0;
  mutA[0] = mutA[1] = mutB[0] = mutB[1] = 0.0;
  rec_cM = rec = migN = migP = 0.0;
  doMig = mateRule = mateCheck = trackCopies = stopAtFix = 0;
  setAllFix[0] = setAllFix[1] = 0;
  nIter = genMax = 0;
  rsd = 0;
  onm.clear();
  datanm.clear();
  sumnm.clear();
  fitCheck = mutCheck = 0;
}
