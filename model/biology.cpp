#include "model/biology.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "model/settings.h"

namespace {

// A D this far beyond the bounds the frequencies allow is taken as the bound:
// decimal frequencies and D (pA = 0.1, pB = 0.7, D = -0.07) meet their bound
// exactly on paper but not always in doubles.
const double DSLACK = 1e-12;

// How close two remainders of founder counts (or a count and a whole
// number) must be to count as equal: far above the noise of doubles, far
// below any difference a population of at most a million can make.
const double ROUNDINGSLACK = 1e-9;

// The keys of each group in the order their messages list them.
const char* const SELECTIONKEYS[] = {"selection.alpha.s",        "selection.alpha.h",
                                     "selection.alpha.favoured", "selection.beta.s",
                                     "selection.beta.h",         "selection.beta.favoured",
                                     "selection.combine"};
const char* const POPULATIONKEYS[] = {"population.size", "population.p_A", "population.p_B",
                                      "population.D", "population.phase"};

struct Given {
  const char* key;
  const SettingValue* value;
};

// The shortest fixed-point text that reads back as x: what was typed.
std::string TYPED(double x) { return SHORTEST(x + 0.0); }

// A computed number for a message: twelve decimals at most, so that the
// bound 0.1 * (1 - 0.7) shows as 0.03.
std::string ROUNDED(double x) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.12f", x);
  std::string text(buf);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text == "-0" ? "0" : text;
}

std::string SHOWN(const SettingValue& v) {
  switch (v.type) {
    case SettingType::Count: return std::to_string(v.count);
    case SettingType::Real: return TYPED(v.real);
    case SettingType::Flag: return v.flag ? "true" : "false";
    default: return '"' + v.text + '"';
  }
}

template <std::size_t n>
std::vector<Given> GIVEN(const SettingMap& settings, const char* const (&keys)[n]) {
  std::vector<Given> given;
  for (const char* key : keys) {
    const auto it = settings.find(key);
    if (it != settings.end()) given.push_back({key, &it->second});
  }
  return given;
}

// "KEY = VALUE, KEY = VALUE" of the keys given.
std::string LISTED(const std::vector<Given>& given) {
  std::string text;
  for (const Given& g : given) {
    if (!text.empty()) text += ", ";
    text += std::string(g.key) + " = " + SHOWN(*g.value);
  }
  return text;
}

// Where the screen settings came from: the place of the first key given and
// every key given.
std::string SOURCE(const std::vector<Given>& given) {
  std::string keys;
  for (const Given& g : given) keys += (keys.empty() ? "" : ", ") + std::string(g.key);
  return given.front().value->where + " (from " + keys + ")";
}

std::string LEAD(const Given& g) { return g.value->where + ": " + g.key + " = " + SHOWN(*g.value); }

// A key left out means what the catalogue gives as its default.
double NUMBER(const SettingMap& settings, const char* key) {
  const auto it = settings.find(key);
  if (it == settings.end()) return FINDSETTING(key)->defaultValue;
  const SettingValue& v = it->second;
  return v.type == SettingType::Count ? static_cast<double>(v.count) : v.real;
}

// The index of a choice among the catalogue's names (its default when left
// out); -1, with a message, for a name the catalogue does not know.
int CHOICE(const SettingMap& settings, const char* key, std::vector<std::string>& faults) {
  const SettingRow* row = FINDSETTING(key);
  const auto it = settings.find(key);
  if (it == settings.end()) return static_cast<int>(row->defaultValue);
  for (int c = 0; row->choices[c] != nullptr; ++c) {
    if (it->second.text == row->choices[c]) return c;
  }
  faults.push_back(LEAD({key, &it->second}) + " is out of range; allowed: " + row->range);
  return -1;
}

// Refuses a biology-level group given together with the screen keys it
// would set.
bool CLASH(const SettingMap& settings, const std::vector<Given>& given, const std::string& screen,
           const char* group, std::vector<std::string>& faults) {
  const auto it = settings.lower_bound(screen);
  if (it == settings.end() || it->first.compare(0, screen.size(), screen) != 0) return false;
  faults.push_back(LEAD(given.front()) + " with " + it->first + " (" + it->second.where +
                   "); give either " + group + ".* or " + screen + "*, not both");
  return true;
}

bool SELECTION(const SettingMap& settings, SettingMap& out, std::vector<std::string>& faults) {
  const std::vector<Given> given = GIVEN(settings, SELECTIONKEYS);
  if (given.empty()) return true;
  if (CLASH(settings, given, "fitness.", "selection", faults)) return false;
  const double s[2] = {NUMBER(settings, "selection.alpha.s"), NUMBER(settings, "selection.beta.s")};
  const double h[2] = {NUMBER(settings, "selection.alpha.h"), NUMBER(settings, "selection.beta.h")};
  // The catalogue names the capital allele first and the multiplicative
  // combination first, so an index is what SELECTIONFITNESS takes.
  const int favouredSmall[2] = {CHOICE(settings, "selection.alpha.favoured", faults),
                                CHOICE(settings, "selection.beta.favoured", faults)};
  const int combine = CHOICE(settings, "selection.combine", faults);
  if (favouredSmall[0] < 0 || favouredSmall[1] < 0 || combine < 0) return false;
  double fit[9];
  SELECTIONFITNESS(s, h, favouredSmall, combine == 1, fit);
  std::string outside;
  for (int g = 0; g < 9; ++g) {
    if (fit[g] >= 0.0 && fit[g] <= 1.0) continue;
    outside += (outside.empty() ? "" : ", ") + std::string("fitness.") + GTNAME(g) + " = " +
               ROUNDED(fit[g]);
  }
  if (!outside.empty()) {
    faults.push_back(given.front().value->where + ": " + LISTED(given) + " give " + outside +
                     "; allowed: every fitness from 0.0 to 1.0 (h s at most 1 on each gene; "
                     "additive: the reductions of the two genes add up to at most 1)");
    return false;
  }
  const std::string where = SOURCE(given);
  for (int g = 0; g < 9; ++g) {
    SettingValue v;
    v.type = SettingType::Real;
    v.real = fit[g];
    v.where = where;
    out["fitness." + GTNAME(g)] = v;
  }
  return true;
}

double DLOW(double pA, double pB) { return -std::min(pA * pB, (1.0 - pA) * (1.0 - pB)); }
double DHIGH(double pA, double pB) { return std::min(pA * (1.0 - pB), (1.0 - pA) * pB); }

bool POPULATION(const SettingMap& settings, SettingMap& out, std::vector<std::string>& faults) {
  const std::vector<Given> given = GIVEN(settings, POPULATIONKEYS);
  if (given.empty()) return true;
  if (CLASH(settings, given, "founders.", "population", faults)) return false;
  bool ok = true;
  const auto size = settings.find("population.size");
  if (size == settings.end()) {
    faults.push_back(LEAD(given.front()) +
                     " without population.size; population.size is required with any "
                     "population.* key");
    ok = false;
  }
  const double pA = NUMBER(settings, "population.p_A");
  const double pB = NUMBER(settings, "population.p_B");
  const double asked = NUMBER(settings, "population.D");
  // Phase choices in catalogue order: none, coupling, repulsion.
  const int phase = CHOICE(settings, "population.phase", faults);
  const double lo = DLOW(pA, pB);
  const double hi = DHIGH(pA, pB);
  double d = asked;
  if (phase < 0) {
    ok = false;
  } else if (phase > 0) {
    d = phase == 1 ? hi : lo;
    if (asked != 0.0) {
      const Given g{"population.D", &settings.at("population.D")};
      faults.push_back(LEAD(g) + " with population.phase = \"" + FINDSETTING("population.phase")->choices[phase] +
                       "\"; give a nonzero D or a phase other than \"none\", not both");
      ok = false;
    }
  } else if (d < lo - DSLACK || d > hi + DSLACK) {
    const Given g{"population.D", &settings.at("population.D")};
    faults.push_back(LEAD(g) + " is out of range for population.p_A = " + TYPED(pA) +
                     ", population.p_B = " + TYPED(pB) + "; allowed: " + ROUNDED(lo) + " to " +
                     ROUNDED(hi));
    ok = false;
  } else {
    d = std::min(std::max(d, lo), hi);
  }
  if (!ok) return false;
  std::int64_t counts[9];
  FOUNDERCOUNTS(size->second.count, pA, pB, d, counts);
  const std::string where = SOURCE(given);
  for (int g = 0; g < 9; ++g) {
    SettingValue v;
    v.type = SettingType::Count;
    v.count = counts[g];
    v.where = where;
    out["founders." + GTNAME(g)] = v;
  }
  return true;
}

}  // namespace

bool TRANSLATEBIOLOGY(SettingMap& settings, std::vector<std::string>& faults) {
  SettingMap screen;
  // Both groups are checked so that one pass reports every refusal.
  const bool selectionOk = SELECTION(settings, screen, faults);
  const bool populationOk = POPULATION(settings, screen, faults);
  if (!selectionOk || !populationOk) return false;
  for (const char* key : SELECTIONKEYS) settings.erase(key);
  for (const char* key : POPULATIONKEYS) settings.erase(key);
  for (const auto& entry : screen) settings[entry.first] = entry.second;
  return true;
}

void FOUNDERCOUNTS(std::int64_t n, double pA, double pB, double d, std::int64_t counts[9]) {
  // Haplotype frequencies; a bound met in doubles may leave -1e-17.
  const double gAB = std::max(0.0, pA * pB + d);
  const double gAb = std::max(0.0, pA * (1.0 - pB) - d);
  const double gaB = std::max(0.0, (1.0 - pA) * pB - d);
  const double gab = std::max(0.0, (1.0 - pA) * (1.0 - pB) + d);
  const double f[9] = {gAB * gAB,       2.0 * gAB * gAb,
                       gAb * gAb,       2.0 * gAB * gaB,
                       2.0 * (gAB * gab + gAb * gaB),
                       2.0 * gAb * gab, gaB * gaB,
                       2.0 * gaB * gab, gab * gab};
  double remainder[9];
  std::int64_t left = n;
  for (int g = 0; g < 9; ++g) {
    double expected = static_cast<double>(n) * f[g];
    // Decimal frequencies rarely multiply out exactly in doubles: 40 x
    // 0.2 x 0.2 x 0.25 is 0.4 on paper but not always here. An expectation
    // within ROUNDINGSLACK of a whole number is that number, and remainders
    // that close count as a tie, so the counts are those of exact arithmetic.
    if (std::fabs(expected - std::round(expected)) < ROUNDINGSLACK) expected = std::round(expected);
    const double whole = std::floor(expected);
    counts[g] = static_cast<std::int64_t>(whole);
    remainder[g] = expected - whole;
    left -= counts[g];
  }
  // Each whole count is at most its expectation and each remainder below 1,
  // so 0 <= left < 9 and every genotype gains at most one.
  bool raised[9] = {false, false, false, false, false, false, false, false, false};
  for (; left > 0; --left) {
    int best = -1;
    for (int g = 0; g < 9; ++g) {
      if (!raised[g] && (best < 0 || remainder[g] > remainder[best] + ROUNDINGSLACK)) best = g;
    }
    raised[best] = true;
    ++counts[best];
  }
}

void SELECTIONFITNESS(const double s[2], const double h[2], const int favouredSmall[2],
                      bool additive, double fitness[9]) {
  for (int g = 0; g < 9; ++g) {
    // Copies of the disfavoured allele on each gene, and the reduction of
    // fitness they bring: none, h s, or s.
    double reduction[2];
    for (int k = 0; k < 2; ++k) {
      const int small = k == 0 ? g / 3 : g % 3;
      const int other = favouredSmall[k] ? 2 - small : small;
      reduction[k] = other == 0 ? 0.0 : (other == 1 ? h[k] * s[k] : s[k]);
    }
    // Additive as 1 - (rA + rB) rather than wA + wB - 1: with one gene
    // unselected it gives that gene's fitnesses exactly (0.975, not
    // 0.9750000000000000888).
    const double value = additive ? 1.0 - (reduction[0] + reduction[1])
                                  : (1.0 - reduction[0]) * (1.0 - reduction[1]);
    fitness[g] = value + 0.0;
  }
}
