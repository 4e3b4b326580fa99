#include "model/settings.h"

#include "model/catalogue.h"
#include "model/derive.h"
#include "model/fields.h"

const char* const aGType[3] = {"AA", "Aa", "aa"};
const char* const bGType[3] = {"BB", "Bb", "bb"};
const char* const haplo[4] = {"AB", "Ab", "aB", "ab"};
const std::int32_t whichMating[3][3] = {{0, 1, 2}, {1, 3, 4}, {2, 4, 5}};

std::int64_t startPop[9];
std::int64_t phasedPop[2];
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

void STARTDEF() {
  // Every setting the screen shows takes its default; then what the editors
  // derive from them, but for the fields that start off (migration).
  for (const SettingRow& row : CATALOGUE()) STOREDEFAULT(row);
  for (const Editor& e : EDITORS()) {
    if (!e.optional && e.derive != nullptr) e.derive();
  }
}

void RESETSETTINGS() {
  for (const SettingRow& row : CATALOGUE()) {
    SettingValue zero;
    zero.type = row.type;
    STOREVALUE(row, zero);
  }
  // What the editors and the run derive.
  for (int g = 0; g < 9; ++g) startF[g] = migCumF[g] = 0.0;
  NTot = 0;
  rec = migP = 0.0;
  doMig = 0;
  rsd = 0;
  onm.clear();
  datanm.clear();
  sumnm.clear();
  fitCheck = mutCheck = 0;
}
