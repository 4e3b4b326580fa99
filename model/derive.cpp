#include "model/derive.h"

#include <limits>

#include "model/settings.h"

const char* const NOFERTILEMSG = "The starting population has no fertile individuals.";
const char* const FEWFERTILEMSG = "The starting population has fewer than two fertile individuals.";
const char* const NOMATINGMSG = "There are no allowable matings.";
const char* const MIGRATIONMSG = "You now have more immigrants/generation than allowed.";
const char* const BANNER = "Duolocus v6.1";

std::int64_t POPSUM() {
  const std::int64_t most = std::numeric_limits<std::int64_t>::max();
  std::int64_t total = 0;
  for (std::int64_t count : startPop) {
    total = (count > most - total) ? most : total + count;
  }
  return total;
}

void POPFREQ() {
  for (int g = 0; g < 9; ++g) {
    startF[g] = static_cast<double>(startPop[g]) / static_cast<double>(NTot);
  }
}

namespace {

template <int n>
void SCALE(double (&values)[n]) {
  double largest = 0.0;
  for (double v : values) {
    if (v > largest) largest = v;
  }
  if (largest > 0.0) {
    for (double& v : values) v /= largest;
  }
}

}  // namespace

void SCALEFIT() { SCALE(w); }

void SCALEPREF() { SCALE(matePref); }

bool PREFSDIFFER() {
  for (double pref : matePref) {
    if (pref < 1.0) return true;
  }
  return false;
}

double MIGREMAINDER() {
  double sum = 0.0;
  for (int g = 0; g < 8; ++g) sum += migF[g];
  migF[8] = 1.0 - sum;
  return migF[8];
}

void MIGCUMSUM() {
  double running = 0.0;
  for (int g = 0; g < 9; ++g) {
    running += migF[g];
    migCumF[g] = running;
  }
}

void LINKDERIVE() { rec = rec_cM / 100.0; }

void RUNFLAGS() {
  fitCheck = 0;
  for (double fitness : w) {
    if (fitness < 1.0) fitCheck = 1;
  }
  mutCheck = (mutA[0] > 0.0 || mutA[1] > 0.0 || mutB[0] > 0.0 || mutB[1] > 0.0) ? 1 : 0;
}

std::int64_t FERTILECOUNT() {
  std::int64_t fertile = 0;
  for (int g = 0; g < 9; ++g) {
    if (w[g] > 0.0) fertile += startPop[g];
  }
  return fertile;
}

int FERTILITYFAULT() {
  const std::int64_t fertile = FERTILECOUNT();
  int fault = 0;
  if (mateRule != 0 && fertile == 0) fault += FERTNONE;
  if ((mateRule == 0 || mateRule == 2) && fertile < 2) fault += FERTFEWER;
  return fault;
}

bool MATINGALLOWED() {
  std::int64_t inClass[3] = {0, 0, 0};
  for (int g = 0; g < 9; ++g) inClass[g / 3] += startPop[g];
  // With self-fertilization one individual can mate with itself.
  const std::int64_t sameNeeds = (mateRule == 1) ? 1 : 2;
  for (int x = 0; x < 3; ++x) {
    for (int y = x; y < 3; ++y) {
      const bool possible = (x == y) ? inClass[x] >= sameNeeds : inClass[x] >= 1 && inClass[y] >= 1;
      if (possible && matePref[whichMating[x][y]] > 0.0) return true;
    }
  }
  return false;
}

bool MIGRATIONFITS() { return migN <= static_cast<double>(NTot); }
