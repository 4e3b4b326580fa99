// Number formats and line ends shared by the text report and the iteration
// table.
#ifndef DUOLOCUS_REPORT_FORMAT_H
#define DUOLOCUS_REPORT_FORMAT_H

#include <cstdint>
#include <iomanip>
#include <ostream>

// The two report streams live for the whole program, so every real number
// sets its own notation and precision rather than trusting what an earlier
// block, run or caller left in the stream.
inline void PUTFIXED(std::ostream& os, double x, int decimals) {
  os << std::fixed << std::setprecision(decimals) << x;
}

// A real number fixed with the given decimals, filled with spaces on the
// left to at least width characters.
inline void PUTFIXED(std::ostream& os, double x, int decimals, int width) {
  os << std::fixed << std::setprecision(decimals) << std::setw(width) << x;
}

// An integer filled with spaces on the left to at least width characters.
inline void PUTRIGHT(std::ostream& os, std::int64_t n, int width) {
  os << std::setw(width) << n;
}

// Every line is flushed as it ends, so the files can be read up to their
// last complete line while a long run goes on.
inline void LINEEND(std::ostream& os) { os << std::endl; }

// Picks the text of a three-way setting; every value past 1 takes the last.
inline const char* PICKTEXT(std::int32_t value, const char* zero, const char* one,
                            const char* other) {
  if (value == 0) return zero;
  return value == 1 ? one : other;
}

#endif
