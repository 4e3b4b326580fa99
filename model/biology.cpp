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
  std::int64_t phased[2];
  FOUNDERCOUNTS(size->second.count, pA, pB, d, phase, counts, phased);
  // Every double heterozygote has the phase its chromosomes were counted in.
  counts[4] -= phased[0] + phased[1];
  const std::string where = SOURCE(given);
  SettingValue v;
  v.type = SettingType::Count;
  v.where = where;
  for (int g = 0; g < 9; ++g) {
    v.count = counts[g];
    out["founders." + GTNAME(g)] = v;
  }
  for (int k = 0; k < 2; ++k) {
    v.count = phased[k];
    out["founders." + std::string(haplo[k]) + "_" + haplo[3 - k]] = v;
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

namespace {

// The whole number nearest x, halves up; x within ROUNDINGSLACK of a half
// or a whole number is taken as that number (40 x 0.2 is 8 on paper).
std::int64_t NEAREST(double x) {
  double below = std::floor(x);
  if (std::fabs(x - std::round(x)) < ROUNDINGSLACK) return static_cast<std::int64_t>(std::round(x));
  if (std::fabs(x - below - 0.5) < ROUNDINGSLACK) return static_cast<std::int64_t>(below) + 1;
  return static_cast<std::int64_t>(std::floor(x + 0.5));
}

}  // namespace

void FOUNDERCOUNTS(std::int64_t n, double pA, double pB, double d, int phase, std::int64_t counts[9],
                   std::int64_t phased[2]) {
  const std::int64_t two = 2 * n;
  const std::int64_t nA = std::min(two, std::max<std::int64_t>(0, NEAREST(static_cast<double>(two) * pA)));
  const std::int64_t nB = std::min(two, std::max<std::int64_t>(0, NEAREST(static_cast<double>(two) * pB)));
  const std::int64_t fewest = std::max<std::int64_t>(0, nA + nB - two);
  const std::int64_t most = std::min(nA, nB);
  // D of x AB chromosomes is x / 2N - nA nB / (2N)^2: x = nA nB / 2N + 2N D.
  std::int64_t ab = phase == 1   ? most
                    : phase == 2 ? fewest
                                 : NEAREST(static_cast<double>(nA) * static_cast<double>(nB) / static_cast<double>(two) +
                                           static_cast<double>(two) * d);
  ab = std::min(most, std::max(fewest, ab));
  const std::int64_t hap[4] = {ab, nA - ab, nB - ab, two - nA - nB + ab};
  // Pairs of haplotypes in the order of the tie rule; the expected number
  // of a pair is hap[h] hap[k] (twice that for two different haplotypes)
  // over 4N, in whole numbers so that remainders compare exactly.
  static const int pairs[10][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 1}, {1, 2}, {1, 3}, {2, 2}, {2, 3}, {3, 3}};
  const std::int64_t over = 4 * n;
  std::int64_t taken[10];
  std::int64_t remainder[10];
  std::int64_t left[4] = {hap[0], hap[1], hap[2], hap[3]};
  std::int64_t unpaired = n;
  for (int p = 0; p < 10; ++p) {
    const int h = pairs[p][0], k = pairs[p][1];
    const std::int64_t expected = hap[h] * hap[k] * (h == k ? 1 : 2);
    taken[p] = expected / over;
    remainder[p] = expected % over;
    left[h] -= taken[p];
    left[k] -= taken[p];
    unpaired -= taken[p];
  }
  // The whole parts use no more chromosomes of a haplotype than it has, and
  // the chromosomes left always pair up: two of one haplotype, or two
  // different ones.
  for (; unpaired > 0; --unpaired) {
    int best = -1;
    for (int p = 0; p < 10; ++p) {
      const int h = pairs[p][0], k = pairs[p][1];
      const bool fits = h == k ? left[h] >= 2 : left[h] >= 1 && left[k] >= 1;
      if (fits && (best < 0 || remainder[p] > remainder[best])) best = p;
    }
    ++taken[best];
    remainder[best] = -1;  // its remainder is spent: pairs with one left go first
    --left[pairs[best][0]];
    --left[pairs[best][1]];
  }
  for (int g = 0; g < 9; ++g) counts[g] = 0;
  for (int p = 0; p < 10; ++p) {
    const int h = pairs[p][0], k = pairs[p][1];
    // Haplotype h is 2 a + b with a, b the small-allele codes.
    counts[3 * (h / 2 + k / 2) + (h % 2 + k % 2)] += taken[p];
  }
  phased[0] = taken[3];  // AB/ab
  phased[1] = taken[5];  // Ab/aB
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
