// The summary statistics that close the text report of a run of two or more
// iterations.
#include <cstdint>
#include <ostream>

#include "model/settings.h"
#include "model/state.h"
#include "report/format.h"
#include "report/report.h"

namespace {

// A mean over fewer than two fixations says little, so it is not computed.
void TIMEROW(std::ostream& os, const char* label, std::int64_t count, std::int64_t sum) {
  os << label;
  PUTRIGHT(os, count, 7);
  os << "  ";
  if (count >= 2) {
    PUTFIXED(os, static_cast<double>(sum) / static_cast<double>(count), 1, 9);
  } else {
    os << "nc";
  }
  LINEEND(os);
}

void FIXATIONTIMES(std::ostream& os) {
  os << "FIXATION TIMES";
  LINEEND(os);
  os << "                    number   mean     ";
  LINEEND(os);
  os << "                    -------  ---------";
  LINEEND(os);
  const bool copies = trackCopies != 0;
  TIMEROW(os, "Alpha Allele        ", totAFixed[0] + totAFixed[1], sumGenFixedAAll);
  if (copies) TIMEROW(os, "Alpha Gene Copy     ", (rep - 1) - noFixedACopy, sumGenFixedACopy);
  TIMEROW(os, "Beta Allele         ", totBFixed[0] + totBFixed[1], sumGenFixedBAll);
  if (copies) TIMEROW(os, "Beta Gene Copy      ", (rep - 1) - noFixedBCopy, sumGenFixedBCopy);
}

// An allele that the fixation option excludes is never counted as fixed, so
// its line is left out rather than shown as 0.
void GENEFIXATION(std::ostream& os, const char* heading, const char* capital, const char* small,
                  const std::int64_t tot[3], std::int32_t allFix) {
  os << heading;
  LINEEND(os);
  if (allFix != 2) {
    os << capital << " allele fixed " << tot[0] << " times.";
    LINEEND(os);
  }
  if (allFix != 1) {
    os << small << " allele fixed " << tot[1] << " times.";
    LINEEND(os);
  }
  os << "Fixation did not occur " << tot[2] << " times.\n";
  LINEEND(os);
}

}  // namespace

void SUMSTATS() {
  LINEEND(sumfl);
  sumfl << "SUMMARY STATISTICS\n";
  LINEEND(sumfl);
  FIXATIONTIMES(sumfl);
  sumfl << "\n";
  LINEEND(sumfl);
  sumfl << "ALLELE FIXATION -- OUTPUT REFLECTS SPECIFIED ALLELE FIXATION OPTIONS";
  LINEEND(sumfl);
  GENEFIXATION(sumfl, "ALPHA FIXATION", "A", "a", totAFixed, setAllFix[0]);
  GENEFIXATION(sumfl, "BETA FIXATION", "B", "b", totBFixed, setAllFix[1]);
  sumfl << "Iteration halted due to extinction " << nIterExtinct << " times.";
  LINEEND(sumfl);
}
