#include "console/ask.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <ostream>
#include <sstream>

#include "console/input.h"
#include "console/io.h"
#include "model/driver.h"

const char* const BADNUMBER = "\a\nBad number.  Try again.";
const char* const BADVALUE = "\a\nBad value.  Try again.";

char FIRSTUP() {
  if (strng.empty()) return '\0';
  return static_cast<char>(std::toupper(static_cast<unsigned char>(strng[0])));
}

namespace {
// A zero byte inside a word would hide the rest of it from the checks.
bool WHOLEWORD() { return strng.find('\0') == std::string::npos; }
}  // namespace

bool TOINT(std::int64_t& value) {
  if (!WHOLEWORD() || GF_INTCHK(strng.c_str()) == 0) return false;
  errno = 0;
  const long long v = std::strtoll(strng.c_str(), nullptr, 10);
  if (errno == ERANGE) return false;
  value = static_cast<std::int64_t>(v);
  return true;
}

bool TOREAL(double& value) {
  if (!WHOLEWORD() || GF_REALCHK(strng.c_str()) == 0) return false;
  // A point alone is 0.0, as with atof; strtod converts every other
  // accepted form the same way atof does.
  const double v = std::strtod(strng.c_str(), nullptr);
  if (std::isinf(v)) return false;
  value = v;
  return true;
}

namespace {

// The retry loop shared by every numeric question: the prompt, a word, and
// the failure message until convert accepts the word and it lies in lo..hi.
template <typename T>
T ASKNUMBER(const std::string& prompt, T lo, T hi, const char* fail, bool (*convert)(T&)) {
  T value{};
  chk = 0;
  while (chk == 0) {
    *conOut << prompt << std::flush;
    READWORD();
    if (convert(value) && value >= lo && value <= hi) {
      chk = 1;
    } else {
      *conOut << fail << std::endl;
    }
  }
  return value;
}

}  // namespace

std::int64_t ASKINT(const std::string& prompt, std::int64_t lo, std::int64_t hi, const char* fail) {
  return ASKNUMBER(prompt, lo, hi, fail, TOINT);
}

double ASKREAL(const std::string& prompt, double lo, double hi, const char* fail) {
  return ASKNUMBER(prompt, lo, hi, fail, TOREAL);
}

void PAUSE() {
  // A C left from an earlier answer must not end a pause that has read
  // nothing yet.
  fchar = '.';
  while (fchar != 'C') {
    READWORD();
    fchar = FIRSTUP();
  }
}

void NORQUIT() {
  fchar = '.';
  while (fchar != 'N' && fchar != 'Q') {
    READWORD();
    fchar = FIRSTUP();
  }
  if (fchar == 'Q') GIVEUP();
}

void LINEENDS(int n) {
  for (int i = 0; i < n; ++i) *conOut << '\n';
  *conOut << std::flush;
}

std::string FIXED(double x, int decimals) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(decimals) << x;
  return text.str();
}

const SettingRow& ROW(const std::string& key) { return *FINDSETTING(key); }

std::string SPAN(const SettingRow& row) {
  if (row.type == SettingType::Real) return FIXED(row.lo, 1) + " - " + FIXED(row.hi, 1);
  return std::to_string(static_cast<std::int64_t>(row.lo)) + " - " + std::to_string(static_cast<std::int64_t>(row.hi));
}
