// The lab's engine: the run entry and the settings catalogue offered to the
// page's worker as plain C functions (called with ccall/cwrap). The worker
// owns one module instance, so the program-wide state of the engine is its
// alone; a Stop terminates the worker and with it the instance.
//
// Settings arrive one by one as the form holds them (LABSET), are checked
// against the catalogue there, and the whole set is checked by the start
// checks (LABCHECK) before anything runs. Strings handed back live until the
// next call that returns one of the same kind.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/biology.h"
#include "model/catalogue.h"
#include "model/runentry.h"

namespace {

SettingMap labSettings;
std::vector<std::string> labFaults;
RunResult labResult;
std::string labText;

// Statistics are taken for the first plotIterations iterations only: the
// plots draw no more, and a run of many iterations then goes at full speed.
std::int64_t plotIterations = 0;
std::int64_t currentIter = 1;
double genBuffer[13];
double generations = 0;

// The screen settings the last checked settings stand for (biology-level
// ones translated), as numbers: the page draws the deterministic
// expectation from them.
std::vector<std::pair<std::string, double>> labScreen;

// A whole number as the form wrote it: its digits read exactly (a double
// holds only 15 of them); digits beyond 64 bits are refused as written.
void WHOLE(const std::string& written, double number, RawValue& raw) {
  errno = 0;
  char* end = nullptr;
  const long long value = written.empty() ? 0 : std::strtoll(written.c_str(), &end, 10);
  if (!written.empty() && end != nullptr && *end == '\0') {
    raw.beyond = errno == ERANGE;
    raw.integer = raw.beyond ? 0 : static_cast<std::int64_t>(value);
    raw.text = written;
    return;
  }
  // No digits given: the number, when a 64-bit whole number holds it.
  raw.beyond = !(number > -9.2e18 && number < 9.2e18);
  raw.integer = raw.beyond ? 0 : static_cast<std::int64_t>(number);
  raw.text = std::to_string(number);
}

}  // namespace

// Hands one generation's statistics to the worker (Module.onGeneration).
EM_JS(void, LABGENERATION, (const double* stats), {
  if (Module.onGeneration) Module.onGeneration(HEAPF64.subarray(stats >> 3, (stats >> 3) + 13));
});
// Tells the worker an iteration has ended (Module.onIteration).
EM_JS(void, LABITERATION, (double iter), {
  if (Module.onIteration) Module.onIteration(iter);
});

namespace {

// Where each column of the trajectory file (TRAJHEADER) finds its value
// among a generation's statistics: the worker reads them in that order, the
// one its catalogue lists.
const std::vector<int>& ORDER() {
  static const std::vector<int> order = [] {
    static const char* const names[13] = {"iter", "gen",  "p_A",  "p_B",  "p_AB", "p_Ab", "p_aB",
                                          "p_ab", "D",    "Ho_A", "He_A", "Ho_B", "He_B"};
    std::vector<int> out;
    const std::string all = TRAJHEADER;
    for (std::size_t at = 0; at <= all.size();) {
      const std::size_t comma = std::min(all.find(',', at), all.size());
      const std::string column = all.substr(at, comma - at);
      const auto found = std::find_if(std::begin(names), std::end(names), [&](const char* n) { return column == n; });
      out.push_back(found == std::end(names) ? -1 : int(found - std::begin(names)));
      at = comma + 1;
    }
    return out;
  }();
  return order;
}

void ONGENERATION(void*) {
  generations += 1;
  if (currentIter > plotIterations) return;
  GenerationStats s;
  GENSTATS(s);
  const double values[13] = {double(s.iter), double(s.gen), s.pA,  s.pB,  s.pAB, s.pAb, s.paB,
                             s.pab,          s.D,           s.HoA, s.HeA, s.HoB, s.HeB};
  const std::vector<int>& order = ORDER();
  for (std::size_t k = 0; k < order.size() && k < 13; ++k) genBuffer[k] = order[k] < 0 ? 0.0 : values[order[k]];
  LABGENERATION(genBuffer);
}

void ONITERATION(void*) {
  LABITERATION(double(currentIter));
  ++currentIter;
}

}  // namespace

extern "C" {

// The catalogue as JSON: the form is built from it.
EMSCRIPTEN_KEEPALIVE const char* LABCATALOGUE() {
  labText = CATALOGUEJSON();
  return labText.c_str();
}

// Forgets the settings of an earlier run.
EMSCRIPTEN_KEEPALIVE void LABCLEAR() {
  labSettings.clear();
  labFaults.clear();
}

// One setting as the form holds it: kind 0 whole number, 1 real, 2 flag,
// 3 text (a choice's name, or what could not be read as a number). Returns
// 1 when the catalogue accepts it; otherwise 0 with its message as fault 0.
EMSCRIPTEN_KEEPALIVE int LABSET(const char* key, int kind, double number, const char* text,
                                int textBytes, const char* where) {
  labFaults.clear();
  const SettingRow* row = FINDSETTING(key);
  if (row == nullptr) {
    labFaults.push_back(std::string(where) + ": " + key + " is no setting of this program");
    return 0;
  }
  RawValue raw;
  raw.where = where;
  switch (kind) {
    case 0:
      raw.kind = RawValue::Integer;
      WHOLE(std::string(text, static_cast<std::size_t>(textBytes)), number, raw);
      break;
    case 1:
      raw.kind = RawValue::Real;
      raw.real = number;
      break;
    case 2:
      raw.kind = RawValue::Boolean;
      raw.boolean = number != 0.0;
      break;
    default:
      raw.kind = RawValue::Text;
      // By its length: a NUL the text holds stays in it (and in the message).
      raw.text.assign(text, static_cast<std::size_t>(textBytes));
      break;
  }
  SettingValue value;
  std::string fault;
  if (!TOVALUE(*row, raw, value, fault)) {
    labFaults.push_back(fault);
    return 0;
  }
  labSettings[key] = value;
  return 1;
}

// The settings given so far, applied to a fresh program with the start
// checks. Returns 1 when a run may start; otherwise 0 with the faults.
EMSCRIPTEN_KEEPALIVE int LABCHECK() {
  labFaults.clear();
  if (!APPLYSETTINGS(labSettings, labFaults)) return 0;
  SettingMap screen = labSettings;
  std::vector<std::string> ignored;
  TRANSLATEBIOLOGY(screen, ignored);
  labScreen.clear();
  for (const SettingRow& row : CATALOGUE()) {
    if (row.variable == nullptr || row.variable[0] == '\0') continue;
    const auto it = screen.find(row.key);
    double value = row.defaultValue;
    if (it != screen.end()) {
      const SettingValue& v = it->second;
      switch (row.type) {
        case SettingType::Count: value = double(v.count); break;
        case SettingType::Real: value = v.real; break;
        case SettingType::Flag: value = v.flag ? 1.0 : 0.0; break;
        case SettingType::Choice: value = double(v.choice); break;
      }
    }
    labScreen.emplace_back(row.key, value);
  }
  return 1;
}

// The columns of each generation's statistics, comma-separated.
EMSCRIPTEN_KEEPALIVE const char* LABSTATISTICS() { return TRAJHEADER; }

// What the settings given so far start a run from, as JSON: the founders
// the run will build (genotype counts), their allele frequencies, haplotype
// frequencies and D; "" with the faults when the run would be refused.
EMSCRIPTEN_KEEPALIVE const char* LABPREVIEW() {
  static std::string text;
  labFaults.clear();
  RunPreview preview;
  text.clear();
  if (!PREVIEWRUN(labSettings, preview, labFaults)) return text.c_str();
  char number[40];
  const auto real = [&](double v) {
    std::snprintf(number, sizeof number, "%.17g", v);
    return std::string(number);
  };
  text = "{\"population\": " + std::to_string(preview.population) + ", \"founders\": [";
  for (int g = 0; g < 9; ++g) text += (g ? ", " : "") + std::to_string(preview.founders[g]);
  text += "], \"pA\": " + real(preview.pA) + ", \"pB\": " + real(preview.pB) + ", \"haplotypes\": [";
  for (int h = 0; h < 4; ++h) text += (h ? ", " : "") + real(preview.haplotypes[h]);
  // The double heterozygotes placed in coupling and in repulsion; the rest
  // of them take their phase at random.
  text += "], \"D\": " + real(preview.D) + ", \"phased\": [" + std::to_string(preview.phased[0]) + ", " +
          std::to_string(preview.phased[1]) + "]}";
  return text.c_str();
}

EMSCRIPTEN_KEEPALIVE int LABSCREENCOUNT() { return static_cast<int>(labScreen.size()); }
EMSCRIPTEN_KEEPALIVE const char* LABSCREENKEY(int k) { return labScreen.at(static_cast<std::size_t>(k)).first.c_str(); }
EMSCRIPTEN_KEEPALIVE double LABSCREENVALUE(int k) { return labScreen.at(static_cast<std::size_t>(k)).second; }
// Generations made in the last run, every iteration's counted.
EMSCRIPTEN_KEEPALIVE double LABGENERATIONS() { return generations; }

// Carries out one run. Returns the run entry's status (0 done, 1 a file
// failed, 2 refused).
EMSCRIPTEN_KEEPALIVE int LABRUN(int seed, const char* prefix, double iterationsPlotted) {
  RunRequest request;
  request.settings = labSettings;
  request.seed = static_cast<std::uint32_t>(seed);
  request.prefix = prefix;
  request.keepBytes = true;
  request.onGeneration = ONGENERATION;
  request.onIteration = ONITERATION;
  plotIterations = static_cast<std::int64_t>(iterationsPlotted);
  currentIter = 1;
  generations = 0;
  labResult = RunResult();
  RUNENTRY(request, labResult);
  labFaults = labResult.faults;
  return labResult.status;
}

// The seed's message ("" when the run entry would take it), so that the
// page marks the seed before anything runs.
EMSCRIPTEN_KEEPALIVE const char* LABSEEDFAULT(double seed) {
  static std::string fault;
  fault = SEEDFAULT(seed);
  return fault.c_str();
}

EMSCRIPTEN_KEEPALIVE int LABFAULTCOUNT() { return static_cast<int>(labFaults.size()); }
EMSCRIPTEN_KEEPALIVE const char* LABFAULT(int k) { return labFaults.at(static_cast<std::size_t>(k)).c_str(); }
// Its length in bytes: a message quoting a text with a NUL in it goes on
// past the NUL.
EMSCRIPTEN_KEEPALIVE int LABFAULTSIZE(int k) { return static_cast<int>(labFaults.at(static_cast<std::size_t>(k)).size()); }

// The files of the last run, as written (they may hold any byte: the worker
// reads them by pointer and size).
EMSCRIPTEN_KEEPALIVE const char* LABCSV() { return labResult.csv.data(); }
EMSCRIPTEN_KEEPALIVE int LABCSVSIZE() { return static_cast<int>(labResult.csv.size()); }
EMSCRIPTEN_KEEPALIVE const char* LABTXT() { return labResult.txt.data(); }
EMSCRIPTEN_KEEPALIVE int LABTXTSIZE() { return static_cast<int>(labResult.txt.size()); }

// The run's tallies: 0 iterations, 1 extinct, 2-4 Alpha A/a/none, 5-7 Beta B/b/none.
EMSCRIPTEN_KEEPALIVE double LABTALLY(int k) {
  const RunTallies& t = labResult.tallies;
  switch (k) {
    case 0: return double(t.iterations);
    case 1: return double(t.extinct);
    case 2: case 3: case 4: return double(t.alphaFixed[k - 2]);
    case 5: case 6: case 7: return double(t.betaFixed[k - 5]);
    default: return 0.0;
  }
}

}  // extern "C"
