// The one table of settings. Each range and default is written here and
// nowhere else; the genotype, mating and allele names come from the name
// tables of model/settings.h, and the words of each range are made from its
// bounds, so a bound changed here changes every message and form with it.
#include "model/catalogue.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <sstream>

#include "model/runentry.h"
#include "model/settings.h"

namespace {

// Texts made while the table is built live here for the whole program, so
// the rows can point at them.
const char* KEEP(const std::string& text) {
  static std::deque<std::string> pool;
  pool.push_back(text);
  return pool.back().c_str();
}

// A bound as the ranges show it: always with a point ("50.0", "0.25").
std::string BOUND(double x) {
  std::string text = SHORTEST(x);
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

std::string REALRANGE(double lo, double hi) {
  return "a number from " + BOUND(lo) + " to " + BOUND(hi);
}

std::string COUNTRANGE(double lo, double hi) {
  return "a whole number from " + std::to_string(static_cast<std::int64_t>(lo)) + " to " +
         std::to_string(static_cast<std::int64_t>(hi));
}

// The names of a choice, the default first: "\"any\", \"A\" or \"a\"".
std::string CHOICERANGE(const char* const* choices, int deflt) {
  std::vector<std::string> names = {choices[deflt]};
  for (int c = 0; choices[c] != nullptr; ++c) {
    if (c != deflt) names.push_back(choices[c]);
  }
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
    text += "\"" + names[i] + "\"";
  }
  return text;
}

const char* const* CHOICES(const std::vector<std::string>& names) {
  static std::deque<std::vector<const char*>> lists;
  std::vector<const char*> list;
  for (const std::string& n : names) list.push_back(KEEP(n));
  list.push_back(nullptr);
  lists.push_back(list);
  return lists.back().data();
}

// What a row needs besides its key; the words of the range and the default
// are made from the numbers unless given.
struct Draft {
  std::string key;
  char screen;
  std::string label;
  SettingType type;
  double lo, hi;
  const char* const* choices;
  double deflt;
  std::string help, group, variable, derives;
  std::string range = "";       // "" for the words made from the bounds
  std::string rangeNote = "";   // added after them
  std::string report = "";      // the report's label, set after the row is drafted
  double* real = nullptr;       // where the value goes (AIM)
  std::int64_t* count = nullptr;
  std::int32_t* code = nullptr;
  char field = '\0';            // the field of a row the screen does not show
  std::string defaultText = ""; // the default as a study writes it, when not the number
};

void AIM(Draft& d, double* x) { d.real = x; }
void AIM(Draft& d, std::int64_t* x) { d.count = x; }
void AIM(Draft& d, std::int32_t* x) { d.code = x; }

SettingRow MAKEROW(const Draft& s) {
  SettingRow row{};
  row.key = KEEP(s.key);
  row.screen = s.screen;
  row.label = KEEP(s.label);
  row.type = s.type;
  row.lo = s.lo;
  row.hi = s.hi;
  row.choices = s.choices;
  row.defaultValue = s.deflt;
  row.help = KEEP(s.help);
  row.group = KEEP(s.group);
  row.variable = KEEP(s.variable);
  row.derives = KEEP(s.derives);
  row.report = KEEP(s.report);
  row.real = s.real;
  row.count = s.count;
  row.code = s.code;
  row.field = s.field != '\0' ? s.field : s.screen;
  std::string range = s.range;
  std::string deflt;
  switch (s.type) {
    case SettingType::Count:
      if (range.empty()) range = COUNTRANGE(s.lo, s.hi);
      deflt = std::to_string(static_cast<std::int64_t>(s.deflt));
      break;
    case SettingType::Real:
      if (range.empty()) range = REALRANGE(s.lo, s.hi);
      deflt = s.defaultText.empty() ? BOUND(s.deflt) : s.defaultText;
      break;
    case SettingType::Flag:
      if (range.empty()) range = "true or false";
      deflt = s.deflt != 0.0 ? "true" : "false";
      break;
    case SettingType::Choice:
      if (range.empty()) range = CHOICERANGE(s.choices, static_cast<int>(s.deflt));
      deflt = std::string("\"") + s.choices[static_cast<int>(s.deflt)] + "\"";
      break;
  }
  row.range = KEEP(range + s.rangeNote);
  row.deflt = KEEP(deflt);
  return row;
}

std::string INDEXED(const char* name, int i) { return std::string(name) + "[" + std::to_string(i) + "]"; }

void FOUNDERROWS(std::vector<Draft>& drafts) {
  static const std::int64_t counts[9] = {10, 20, 10, 20, 40, 20, 10, 20, 10};
  for (int g = 0; g < 9; ++g) {
    drafts.push_back({"founders." + GTNAME(g), 'P', "Founders of " + GTNAME(g), SettingType::Count, 0,
                     static_cast<double>(MAXPOP), nullptr, static_cast<double>(counts[g]),
                     "founders of genotype " + GTNAME(g) + " in every iteration", "founders",
                     INDEXED("startPop", g), "POPSUM, POPFREQ", "",
                     "; the nine add up to 1 to " + std::to_string(MAXPOP) + " (genotypes left out count 0)"});
    drafts.back().report = GTNAME(g);  // the genotype's line, Number column
    AIM(drafts.back(), &startPop[g]);
  }
  // Double heterozygotes by phase: the study files', the package's and the
  // lab's; the console's founders take a random phase, so its screen has
  // no place for them.
  for (int k = 0; k < 2; ++k) {
    const std::string a = haplo[k], b = haplo[3 - k];
    drafts.push_back({"founders." + a + "_" + b, '\0', "Founders " + a + "/" + b, SettingType::Count, 0,
                     static_cast<double>(MAXPOP), nullptr, 0.0,
                     std::string("founders ") + GTNAME(4) + " with chromosomes " + a + " and " + b + " (" +
                         (k == 0 ? "coupling" : "repulsion") + ") in every iteration; they add to founders." +
                         GTNAME(4) + ", whose phase is drawn for each founder",
                     "founders", "phasedPop[" + std::to_string(k) + "]", "POPSUM, POPFREQ", "",
                     "; with the nine they add up to 1 to " + std::to_string(MAXPOP)});
    AIM(drafts.back(), &phasedPop[k]);
    drafts.back().field = 'P';
  }
}

void FITNESSROWS(std::vector<Draft>& drafts) {
  for (int g = 0; g < 9; ++g) {
    drafts.push_back({"fitness." + GTNAME(g), 'W', "Fitness of " + GTNAME(g), SettingType::Real, 0.0, 1.0,
                     nullptr, 1.0, "relative fitness of " + GTNAME(g), "fitness", INDEXED("w", g),
                     "SCALEFIT", "", "; the nine are scaled so that the largest is 1.0"});
    drafts.back().report = GTNAME(g);  // the genotype's line, Relative Fitness column
    AIM(drafts.back(), &w[g]);
  }
}

void MUTATIONROWS(std::vector<Draft>& drafts) {
  static const char* const variables[4] = {"mutA[0]", "mutA[1]", "mutB[0]", "mutB[1]"};
  double* const targets[4] = {&mutA[0], &mutA[1], &mutB[0], &mutB[1]};
  for (int i = 0; i < 4; ++i) {
    drafts.push_back({"mutation." + MUTATIONNAME(i, "_to_"), static_cast<char>('1' + i),
                     "Mutation rate " + MUTATIONNAME(i, " to "), SettingType::Real, 0.0, 1.0, nullptr, 0.0,
                     "mutation rate " + MUTATIONNAME(i, " to ") + " per gene copy per generation",
                     "mutation", variables[i], ""});
    drafts.back().report = MUTATIONNAME(i, " to ") + ":";
    AIM(drafts.back(), targets[i]);
  }
}

void MATINGROWS(std::vector<Draft>& drafts) {
  for (int k = 0; k < 6; ++k) {
    drafts.push_back({"mating." + MATINGNAME(k, "_"), 'N', "Mating preference " + MATINGNAME(k, " with "),
                     SettingType::Real, 0.0, 1.0, nullptr, 1.0,
                     "relative preference of the mating " + MATINGNAME(k, " with "), "mating",
                     INDEXED("matePref", k), "SCALEPREF", "",
                     "; the six are scaled so that the largest is 1.0"});
    drafts.back().report = MATINGNAME(k, ":");
    AIM(drafts.back(), &matePref[k]);
  }
  static const char* const* isolation = CHOICES({"none", "postmating", "premating"});
  drafts.push_back({"mating.isolation", 'N', "Isolation", SettingType::Choice, 0, 2, isolation, 0,
                   "how the mating preferences act", "mating", "mateCheck", "",
                   "\"postmating\" or \"premating\" (required when the preferences differ)"});
  drafts.back().report = "MATING PREFERENCES";
  AIM(drafts.back(), &mateCheck);
}

void MIGRATIONROWS(std::vector<Draft>& drafts) {
  drafts.push_back({"migration.immigrants", 'D', "Immigrants per generation", SettingType::Real, 0.0,
                   static_cast<double>(MAXPOP), nullptr, 0.0, "average number of immigrants per generation",
                   "migration", "migN", "doMig, trackCopies",
                   "0 (no migration), or more than 0 and less than the population size"});
  drafts.back().report = "MIGRATION: Average number of immigrants/generation:";
  AIM(drafts.back(), &migN);
  static const char* const* rest = CHOICES({"rest"});
  for (int g = 0; g < 9; ++g) {
    const bool last = g == 8;
    drafts.push_back({"migration.mix." + GTNAME(g), 'D', "Share of " + GTNAME(g) + " among immigrants",
                     SettingType::Real, 0.0, 1.0, last ? rest : nullptr, 0.0,
                     "share of " + GTNAME(g) + " among immigrants", "migration", INDEXED("migF", g),
                     "MIGREMAINDER, MIGCUMSUM", "",
                     last ? ", or \"rest\" (what the other eight leave, as when it is left out); the nine add up to 1.0"
                          : "; the nine add up to 1.0 (genotypes left out count 0)"});
    drafts.back().report = "p(" + GTNAME(g) + ")=";
    // Left out, aabb is what the other eight leave, as at the console,
    // whose migration editor never asks for it.
    if (last) drafts.back().defaultText = "\"rest\"";
    AIM(drafts.back(), &migF[g]);
  }
}

void RUNROWS(std::vector<Draft>& drafts) {
  static const char* const* rules = CHOICES({"selfing-not-allowed", "selfing-allowed", "monogamy"});
  drafts.push_back({"map_distance_cM", 'L', "Map distance (cM)", SettingType::Real, 0.0, 50.0, nullptr, 0.0,
                   "map distance between the genes in cM (recombination fraction cM / 100)", "linkage",
                   "rec_cM", "LINKDERIVE"});
  drafts.back().report = "LINKAGE BETWEEN A & B GENES:";
  AIM(drafts.back(), &rec_cM);
  drafts.push_back({"fertilization", 'F', "Fertilization", SettingType::Choice, 0, 2, rules, 1,
                   "fertilization rule", "fertilization", "mateRule", ""});
  drafts.back().report = "FERTILIZATION:";
  AIM(drafts.back(), &mateRule);
  drafts.push_back({"iterations", 'I', "Iterations", SettingType::Count, 1, static_cast<double>(MAXITER),
                   nullptr, 1, "iterations run with these settings", "run", "nIter", ""});
  AIM(drafts.back(), &nIter);
  drafts.push_back({"max_generations", 'M', "Maximum generations", SettingType::Count, 1,
                   static_cast<double>(MAXGEN), nullptr, 30000, "generation limit of an iteration", "run",
                   "genMax", ""});
  drafts.back().report = "MAXIMUM NUMBER OF GENERATIONS PER ITERATION:";
  AIM(drafts.back(), &genMax);
}

void OPTIONROWS(std::vector<Draft>& drafts) {
  drafts.push_back({"track_gene_copies", 'G', "Track gene copies", SettingType::Flag, 0, 1, nullptr, 1,
                   "track gene-copy history", "run", "trackCopies", "", "true or false (false with migration)"});
  AIM(drafts.back(), &trackCopies);
  drafts.push_back({"stop_at_fixation", 'V', "Stop at fixation", SettingType::Flag, 0, 1, nullptr, 1,
                   "end an iteration once everything tracked has fixed", "run", "stopAtFix", ""});
  drafts.back().report = "ITERATIONS STOPPED AFTER FIXATION:";
  AIM(drafts.back(), &stopAtFix);
  static const char* const* alpha = CHOICES({"any", ALLELENAME(0, 0), ALLELENAME(0, 1)});
  static const char* const* beta = CHOICES({"any", ALLELENAME(1, 0), ALLELENAME(1, 1)});
  drafts.push_back({"fixation.alpha", 'A', "Alpha fixation", SettingType::Choice, 0, 2, alpha, 0,
                   "which Alpha allele fixation counts", "run", "setAllFix[0]", ""});
  drafts.back().report = "ALPHA ALLELE FIXATION TRACKED:";
  AIM(drafts.back(), &setAllFix[0]);
  drafts.push_back({"fixation.beta", 'A', "Beta fixation", SettingType::Choice, 0, 2, beta, 0,
                   "which Beta allele fixation counts", "run", "setAllFix[1]", ""});
  drafts.back().report = "BETA ALLELE FIXATION TRACKED:";
  AIM(drafts.back(), &setAllFix[1]);
}

// Settings in the terms of biology: translated into the rows above before
// anything is applied (model/biology.h).
void SELECTIONROWS(std::vector<Draft>& drafts) {
  static const char* const genes[2] = {"alpha", "beta"};
  for (int gene = 0; gene < 2; ++gene) {
    const std::string head = std::string("selection.") + genes[gene];
    const std::string name = gene == 0 ? "Alpha" : "Beta";
    const char* const* alleles = CHOICES({ALLELENAME(gene, 0), ALLELENAME(gene, 1)});
    drafts.push_back({head + ".s", '\0', name + " selection coefficient s", SettingType::Real, 0.0, 1.0,
                     nullptr, 0.0, "selection against the other homozygote at " + name + ": its fitness is 1 - s",
                     "selection", "", ""});
    drafts.push_back({head + ".h", '\0', name + " dominance h", SettingType::Real, 0.0, 100.0, nullptr, 0.5,
                     "dominance at " + name + ": the heterozygote's fitness is 1 - h s", "selection", "", ""});
    drafts.push_back({head + ".favoured", '\0', name + " favoured allele", SettingType::Choice, 0, 1, alleles, 0,
                     "the allele whose homozygote has fitness 1 at " + name, "selection", "", ""});
  }
  static const char* const* combine = CHOICES({"multiplicative", "additive"});
  drafts.push_back({"selection.combine", '\0', "Combining the genes", SettingType::Choice, 0, 1, combine, 0,
                   "how the fitnesses of the two genes combine: wA wB, or wA + wB - 1", "selection", "", ""});
}

void POPULATIONROWS(std::vector<Draft>& drafts) {
  double size = 0.0;
  for (const Draft& s : drafts) {
    if (s.group == "founders") size += s.deflt;
  }
  static const char* const* phase = CHOICES({"none", "coupling", "repulsion"});
  drafts.push_back({"population.size", '\0', "Population size", SettingType::Count, 1,
                   static_cast<double>(MAXPOP), nullptr, size,
                   "founders in every iteration; required with any other population key", "population", "", ""});
  drafts.push_back({"population.p_A", '\0', "Frequency of " + ALLELENAME(0, 0), SettingType::Real, 0.0, 1.0,
                   nullptr, 0.5, "frequency of allele " + ALLELENAME(0, 0) + " among the founders", "population", "", ""});
  drafts.push_back({"population.p_B", '\0', "Frequency of " + ALLELENAME(1, 0), SettingType::Real, 0.0, 1.0,
                   nullptr, 0.5, "frequency of allele " + ALLELENAME(1, 0) + " among the founders", "population", "", ""});
  drafts.push_back({"population.D", '\0', "Linkage disequilibrium D", SettingType::Real, -0.25, 0.25, nullptr, 0.0,
                   "linkage disequilibrium p_AB p_ab - p_Ab p_aB of the founders' chromosomes: as many carry AB as "
                   "bring D nearest this value that the allele counts allow, and every AaBb founder keeps the phase "
                   "its chromosomes were counted in", "population", "", ""});
  drafts.push_back({"population.phase", '\0', "Phase", SettingType::Choice, 0, 2, phase, 0,
                   "instead of D: as many AB chromosomes as the allele counts allow (coupling: A on B chromosomes "
                   "wherever there are enough) or as few (repulsion), and every AaBb founder in that phase",
                   "population", "", ""});
}

std::vector<SettingRow> MAKECATALOGUE() {
  // The order of the settings screen, then the biology-level settings.
  std::vector<Draft> drafts;
  FOUNDERROWS(drafts);
  FITNESSROWS(drafts);
  MUTATIONROWS(drafts);
  MATINGROWS(drafts);
  RUNROWS(drafts);
  MIGRATIONROWS(drafts);
  OPTIONROWS(drafts);
  SELECTIONROWS(drafts);
  POPULATIONROWS(drafts);
  std::vector<SettingRow> rows;
  for (const Draft& s : drafts) rows.push_back(MAKEROW(s));
  return rows;
}

const char* TYPEWORD(SettingType type) {
  switch (type) {
    case SettingType::Count: return "count";
    case SettingType::Real: return "real";
    case SettingType::Flag: return "flag";
    default: return "choice";
  }
}

std::string RAWTYPE(const RawValue& raw) {
  switch (raw.kind) {
    case RawValue::Integer: return "a whole number";
    case RawValue::Real: return "a number with a point";
    case RawValue::Boolean: return "true or false";
    default: return "a string";
  }
}

// The value as written, for messages.
std::string WRITTEN(const RawValue& raw) {
  switch (raw.kind) {
    case RawValue::Integer: return raw.beyond ? raw.text : std::to_string(raw.integer);
    case RawValue::Real: return SHORTEST(raw.real);
    case RawValue::Boolean: return raw.boolean ? "true" : "false";
    default: return "\"" + raw.text + "\"";
  }
}

// A choice's index by name, or -1.
int CHOICEINDEX(const char* const* choices, const std::string& name) {
  for (int c = 0; choices != nullptr && choices[c] != nullptr; ++c) {
    if (name == choices[c]) return c;
  }
  return -1;
}

// Whether the whole of text reads as a number.
bool READSASNUMBER(const std::string& text) {
  if (text.empty() || text.find('\0') != std::string::npos) return false;
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return end != text.c_str() && *end == '\0';
}

// Converts raw by the row's type: typeOk when the kind fits, inRange when
// the value is allowed.
void CONVERT(const SettingRow& row, const RawValue& raw, SettingValue& out, bool& typeOk, bool& inRange) {
  switch (row.type) {
    case SettingType::Count:
      typeOk = raw.kind == RawValue::Integer;
      out.count = raw.integer;
      inRange = typeOk && !raw.beyond && static_cast<double>(out.count) >= row.lo &&
                static_cast<double>(out.count) <= row.hi;
      return;
    case SettingType::Real:
      if (raw.kind == RawValue::Text && row.choices != nullptr) {
        // A word standing for a number ("rest"): the value is that word. A
        // number written as a text ("0.5") is a text where a number belongs.
        typeOk = !READSASNUMBER(raw.text);
        out.choice = CHOICEINDEX(row.choices, raw.text);
        inRange = out.choice >= 0;
        out.type = SettingType::Choice;
        out.text = raw.text;
        return;
      }
      typeOk = raw.kind == RawValue::Real || raw.kind == RawValue::Integer;
      // -0.0 cannot be typed at the console and would print with a sign.
      if (raw.kind == RawValue::Integer) {
        out.real = raw.beyond ? std::strtod(raw.text.c_str(), nullptr) : static_cast<double>(raw.integer);
      } else {
        out.real = raw.real + 0.0;
      }
      inRange = typeOk && std::isfinite(out.real) && out.real >= row.lo && out.real <= row.hi;
      return;
    case SettingType::Flag:
      typeOk = inRange = raw.kind == RawValue::Boolean;
      out.flag = raw.boolean;
      return;
    case SettingType::Choice:
      typeOk = raw.kind == RawValue::Text;
      out.text = raw.text;
      out.choice = CHOICEINDEX(row.choices, raw.text);
      inRange = typeOk && out.choice >= 0;
      if (!inRange) out.choice = 0;
      return;
  }
}

void JSONTEXT(std::ostringstream& out, const std::string& text) {
  out << '"';
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out << '\\' << c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      static const char* const hex = "0123456789abcdef";
      out << "\\u00" << hex[(c >> 4) & 0xf] << hex[c & 0xf];
    } else {
      out << c;
    }
  }
  out << '"';
}

// A number in JSON: whole numbers without a point, others as the shortest
// decimal that reads back as the same double.
std::string JSONNUMBER(double x) {
  if (x == std::floor(x) && std::fabs(x) < 9.0e15) return std::to_string(static_cast<std::int64_t>(x));
  char buf[64];
#if defined(__EMSCRIPTEN__)
  // The browser lab's C++ library (emscripten 3.1.6) has no to_chars for
  // doubles: the fewest significant digits that read back as x.
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, x);
    if (std::strtod(buf, nullptr) == x) break;
  }
  return std::string(buf);
#else
  const auto result = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, result.ptr);
#endif
}

void JSONROW(std::ostringstream& out, const SettingRow& row) {
  out << "{\"key\": ";
  JSONTEXT(out, row.key);
  out << ", \"screen\": ";
  JSONTEXT(out, row.screen == '\0' ? std::string() : std::string(1, row.screen));
  out << ", \"label\": ";
  JSONTEXT(out, row.label);
  out << ", \"type\": \"" << TYPEWORD(row.type) << "\", \"lo\": " << JSONNUMBER(row.lo)
      << ", \"hi\": " << JSONNUMBER(row.hi) << ", \"choices\": [";
  for (int c = 0; row.choices != nullptr && row.choices[c] != nullptr; ++c) {
    if (c > 0) out << ", ";
    JSONTEXT(out, row.choices[c]);
  }
  out << "], \"range\": ";
  JSONTEXT(out, row.range);
  out << ", \"default\": ";
  JSONTEXT(out, row.deflt);
  out << ", \"defaultValue\": " << JSONNUMBER(row.defaultValue) << ", \"help\": ";
  JSONTEXT(out, row.help);
  out << ", \"group\": ";
  JSONTEXT(out, row.group);
  out << ", \"variable\": ";
  JSONTEXT(out, row.variable);
  out << ", \"derives\": ";
  JSONTEXT(out, row.derives);
  out << ", \"report\": ";
  JSONTEXT(out, row.report);
  out << "}";
}

}  // namespace

const std::vector<SettingRow>& CATALOGUE() {
  static const std::vector<SettingRow> rows = MAKECATALOGUE();
  return rows;
}

const SettingRow* FINDSETTING(const std::string& key) {
  for (const SettingRow& row : CATALOGUE()) {
    if (key == row.key) return &row;
  }
  return nullptr;
}

std::string SHORTEST(double x) {
  char buf[400];
#if defined(__EMSCRIPTEN__)
  // No to_chars for doubles there either: the fewest decimals that read
  // back as x, correctly rounded, are the same digits for every value a
  // setting can hold (below 1e17).
  for (int decimals = 0; decimals < 340; ++decimals) {
    std::snprintf(buf, sizeof buf, "%.*f", decimals, x);
    if (std::strtod(buf, nullptr) == x) break;
  }
  return std::string(buf);
#else
  const auto result = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed);
  return std::string(buf, result.ptr);
#endif
}

std::string SHOWVALUE(const SettingValue& v) {
  switch (v.type) {
    case SettingType::Count: return std::to_string(v.count);
    case SettingType::Real: return SHORTEST(v.real);
    case SettingType::Flag: return v.flag ? "true" : "false";
    default: return v.text;
  }
}

bool TOVALUE(const SettingRow& row, const RawValue& raw, SettingValue& out, std::string& fault) {
  out = SettingValue{};
  out.type = row.type;
  out.where = raw.where;
  bool typeOk = false;
  bool inRange = false;
  CONVERT(row, raw, out, typeOk, inRange);
  const std::string lead = raw.where + ": " + row.key + " = " + WRITTEN(raw);
  if (!typeOk) {
    fault = lead + " is " + RAWTYPE(raw) + "; allowed: " + row.range;
    return false;
  }
  if (!inRange) {
    fault = lead + " is out of range; allowed: " + row.range;
    return false;
  }
  return true;
}

std::string CATALOGUEJSON() {
  std::ostringstream out;
  out << "[\n";
  const std::vector<SettingRow>& rows = CATALOGUE();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    out << "  ";
    JSONROW(out, rows[i]);
    out << (i + 1 < rows.size() ? ",\n" : "\n");
  }
  out << "]\n";
  return out.str();
}

namespace {

void JSONLIST(std::ostringstream& out, const std::vector<std::string>& items) {
  out << "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out << ", ";
    JSONTEXT(out, items[i]);
  }
  out << "]";
}

}  // namespace

std::string CATALOGUEFILE() {
  std::ostringstream out;
  out << "{\n  \"settings\": [\n";
  const std::vector<SettingRow>& rows = CATALOGUE();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    out << "    ";
    JSONROW(out, rows[i]);
    out << (i + 1 < rows.size() ? ",\n" : "\n");
  }
  out << "  ],\n  \"statistics\": ";
  std::vector<std::string> columns;
  std::istringstream header(TRAJHEADER);
  for (std::string column; std::getline(header, column, ',');) columns.push_back(column);
  JSONLIST(out, columns);
  out << ",\n  \"limits\": {\"seed\": [1, " << MAXSEED << "], \"trajectory\": [0, " << MAXTRAJECTORY
      << "]},\n  \"genotypes\": ";
  std::vector<std::string> names;
  for (int g = 0; g < 9; ++g) names.push_back(GTNAME(g));
  JSONLIST(out, names);
  out << ",\n  \"haplotypes\": ";
  JSONLIST(out, std::vector<std::string>(haplo, haplo + 4));
  out << "\n}\n";
  return out.str();
}
