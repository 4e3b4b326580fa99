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
void timeRow(std::ostream& os, const char* label, std::int64_t count, std::int64_t sum) {
  os << label;
  putRight(os, count, 7);
  os << "  ";
  if (count >= 2) {
    putFixed(os, static_cast<double>(sum) / static_cast<double>(count), 1, 9);
  } else {
    os << "nc";
  }
  lineEnd(os);
}

void fixationTimes(std::ostream& os) {
  os << "FIXATION TIMES";
  lineEnd(os);
  os << "                    number   mean     ";
  lineEnd(os);
  os << "                    -------  ---------";
  lineEnd(os);
  const bool copies = trackCopies != 0;
  timeRow(os, "Alpha Allele        ", totAFixed[0] + totAFixed[1], sumGenFixedAAll);
  if (copies) timeRow(os, "Alpha Gene Copy     ", (rep - 1) - noFixedACopy, sumGenFixedACopy);
  timeRow(os, "Beta Allele         ", totBFixed[0] + totBFixed[1], sumGenFixedBAll);
  if (copies) timeRow(os, "Beta Gene Copy      ", (rep - 1) - noFixedBCopy, sumGenFixedBCopy);
}

// An allele that the fixation option excludes is never counted as fixed, so
// its line is left out rather than shown as 0.
void geneFixation(std::ostream& os, const char* heading, const char* capital, const char* small,
                  const std::int64_t tot[3], std::int32_t allFix) {
  os << heading;
  lineEnd(os);
  if (allFix != 2) {
    os << capital << " allele fixed " << tot[0] << " times.";
    lineEnd(os);
  }
  if (allFix != 1) {
    os << small << " allele fixed " << tot[1] << " times.";
    lineEnd(os);
  }
  os << "Fixation did not occur " << tot[2] << " times.\n";
  lineEnd(os);
}

}  // namespace

void SUMSTATS() {
  lineEnd(sumfl);
  sumfl << "SUMMARY STATISTICS\n";
  lineEnd(sumfl);
  fixationTimes(sumfl);
  sumfl << "\n";
  lineEnd(sumfl);
  sumfl << "ALLELE FIXATION -- OUTPUT REFLECTS SPECIFIED ALLELE FIXATION OPTIONS";
  lineEnd(sumfl);
  geneFixation(sumfl, "ALPHA FIXATION", "A", "a", totAFixed, setAllFix[0]);
  geneFixation(sumfl, "BETA FIXATION", "B", "b", totBFixed, setAllFix[1]);
  sumfl << "Iteration halted due to extinction " << nIterExtinct << " times.";
  lineEnd(sumfl);
}
