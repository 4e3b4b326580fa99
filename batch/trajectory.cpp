#include "batch/trajectory.h"

#include <cerrno>
#include <cstring>

#include "model/settings.h"
#include "model/state.h"
#include "report/format.h"
#include "report/report.h"

namespace batch {

const char* const TRAJHEADER = "iter,gen,p_A,p_B,p_AB,p_Ab,p_aB,p_ab,D,Ho_A,He_A,Ho_B,He_B";

bool TRAJOPEN(Trajectory& t, const std::string& name) {
  t.name = name;
  t.error.clear();
  errno = 0;
  t.file.open(name, std::ios::out);
  if (!t.file.is_open()) {
    t.error = errno != 0 ? std::strerror(errno) : "cannot open";
    return false;
  }
  t.file << TRAJHEADER << '\n';
  TRAJCHECK(t);
  return t.error.empty();
}

void TRAJSAMPLE(Trajectory& t) {
  if (gen % t.every != 0 && contIter != 0) return;
  std::int64_t coupling = 0;
  std::int64_t hap[4];
  CHROMCOUNT(coupling, hap);
  const double chromosomes = static_cast<double>(2 * NTot);
  const double pAB = static_cast<double>(hap[0]) / chromosomes;
  const double pAb = static_cast<double>(hap[1]) / chromosomes;
  const double paB = static_cast<double>(hap[2]) / chromosomes;
  const double pab = static_cast<double>(hap[3]) / chromosomes;
  // The same sums, in the same order, as the iteration table's final
  // frequencies.
  const double pA = f[3] / 2.0 + f[0] + f[1] + f[4] / 2.0 + f[2] + f[5] / 2.0;
  const double pB = f[1] / 2.0 + f[0] + f[3] + f[4] / 2.0 + f[6] + f[7] / 2.0;
  const double hoA = f[3] + f[4] + f[5];
  const double hoB = f[1] + f[4] + f[7];
  const double values[11] = {pA,  pB,  pAB, pAb, paB, pab, pAB * pab - pAb * paB,
                             hoA, 2.0 * pA * (1.0 - pA), hoB, 2.0 * pB * (1.0 - pB)};
  t.file << rep << ',' << gen;
  for (double v : values) {
    t.file << ',';
    PUTFIXED(t.file, v + 0.0, 7);
  }
  t.file << '\n';
}

void TRAJCHECK(Trajectory& t) {
  if (t.file.fail() && t.error.empty()) t.error = errno != 0 ? std::strerror(errno) : "write error";
}

bool TRAJCLOSE(Trajectory& t) {
  if (!t.file.is_open()) return t.error.empty();
  t.file.flush();
  TRAJCHECK(t);
  errno = 0;
  t.file.close();
  TRAJCHECK(t);
  return t.error.empty();
}

}  // namespace batch
