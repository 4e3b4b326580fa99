#include "model/fields.h"

#include <cmath>
#include <cstdint>

#include "model/biology.h"
#include "model/derive.h"
#include "model/driver.h"
#include "model/settings.h"

namespace {

// How far the nine immigrant shares may miss 1.0 in a study, which writes
// them in decimals; the console never sees the ninth, it takes the
// remainder, and so does the run.
constexpr double kShareSlack = 1e-9;

// Where the keys of a field were given, for messages on combinations.
std::string PLACES(const SettingMap& s, const std::string& head) {
  std::string text;
  for (const auto& [key, value] : s) {
    if (key.compare(0, head.size(), head) != 0) continue;
    if (text.find(value.where) != std::string::npos) continue;
    text += (text.empty() ? "" : ", ") + value.where;
  }
  return text.empty() ? "defaults" : text;
}

// The rows of an editor, in catalogue order.
template <typename Fn>
void EACHROW(const Editor& e, Fn fn) {
  for (const SettingRow& row : CATALOGUE()) {
    if (row.field == e.letter) fn(row);
  }
}

// ---- What the editors derive and refuse beyond storing their rows ----

// Founders of a fixed phase are AaBb founders as well.
void POPDERIVE() {
  startPop[4] += phasedPop[0] + phasedPop[1];
  NTot = POPSUM();
  POPFREQ();
}

void FOUNDERRULE(const SettingMap& s, Faults& faults) {
  if (NTot != 0 && NTot <= MAXPOP) return;
  const std::string total = NTot <= 10 * MAXPOP ? std::to_string(NTot) : "more than " + std::to_string(MAXPOP);
  faults.push_back(PLACES(s, "founders.") + ": the founders add up to " + total +
                   " (genotypes left out count 0); allowed: a total of 1 to " + std::to_string(MAXPOP));
  NTot = 1;  // keeps the later fields computable; the run is refused anyway
  POPFREQ();
}

// Migration is on only with a number of immigrants above 0; a mix alone
// means nothing.
bool MIGRATIONGIVEN(const SettingMap& s) {
  const SettingValue* n = SETTING(s, "migration.immigrants");
  return n != nullptr && n->real != 0.0;
}

// The console never asks for the ninth share: it is what the others leave.
void MIGDERIVE() {
  MIGREMAINDER();
  MIGCUMSUM();
}

// The nine shares add up to 1.0 unless aabb is "rest" (given so, or left
// out), the console's remainder rule; the immigrants fit the population;
// nothing is tracked.
void MIGRATIONRULE(const SettingMap& s, Faults& faults) {
  const double remainder = migF[8];
  const SettingValue* last = SETTING(s, "migration.mix." + GTNAME(8));
  const bool rest = last == nullptr || last->type == SettingType::Choice;
  if (remainder < 0.0) {
    faults.push_back(PLACES(s, "migration.mix.") + ": the immigrant shares of " + GTNAME(0) + " to " + GTNAME(7) +
                     " add up to more than 1.0; allowed: the nine add up to 1.0");
  } else if (!rest && std::fabs(remainder - (last != nullptr ? last->real : 0.0)) > kShareSlack) {
    double sum = last != nullptr ? last->real : 0.0;
    for (int g = 0; g < 8; ++g) sum += migF[g];
    faults.push_back(PLACES(s, "migration.mix.") + ": the immigrant shares add up to " + SHORTEST(sum) +
                     " (genotypes left out count 0); allowed: the nine add up to 1.0, or migration.mix." +
                     GTNAME(8) + " = \"rest\" to give " + GTNAME(8) + " what the others leave");
  }
  const SettingValue* n = SETTING(s, "migration.immigrants");
  if (!(n->real > 0.0 && n->real < static_cast<double>(NTot))) {
    faults.push_back(n->where + ": migration.immigrants = " + SHOWVALUE(*n) +
                     " is out of range; allowed: 0 (no migration), or more than 0 and less than "
                     "the population size (" + std::to_string(NTot) + ")");
  }
  doMig = 1;
  // Immigrants bring copies of no founder, so no copy could ever fix.
  const SettingValue* track = SETTING(s, "track_gene_copies");
  if (track != nullptr && track->flag) {
    faults.push_back(track->where + ": track_gene_copies = true cannot go with migration (" +
                     n->where + "); gene copies are tracked only without immigrants");
  }
  trackCopies = 0;
}

// The preferences decide the mating editor; the isolation type alone does
// not open it.
bool PREFSGIVEN(const SettingMap& s) {
  for (int k = 0; k < 6; ++k) {
    if (SETTING(s, "mating." + MATINGNAME(k, "_")) != nullptr) return true;
  }
  return false;
}

// The editor asks how preferences act only when they differ.
void MATINGRULE(const SettingMap& s, Faults& faults) {
  mateCheck = 0;
  if (!PREFSDIFFER()) return;
  const SettingValue* iso = SETTING(s, "mating.isolation");
  if (iso == nullptr || iso->choice == 0) {
    faults.push_back((iso != nullptr ? iso->where : PLACES(s, "mating.")) +
                     ": the mating preferences differ, so mating.isolation must say how they act: "
                     "\"postmating\" or \"premating\"");
    return;
  }
  mateCheck = iso->choice;
}

// Gene copies cannot be tracked with migration: the switch stays off.
void TRACKINGRULE(const SettingMap&, Faults&) {
  if (doMig != 0) trackCopies = 0;
}

// ---- The keystrokes of each editor ----

// Most editors: the command, then the value of each row as the editor
// keeps it, in the order it asks for them.
void TYPESTORED(Keystrokes& t, const SettingMap& s, const Editor& e, Faults& faults) {
  t.Command(e.letter);
  APPLYEDITOR(s, e, faults);
  EACHROW(e, [&](const SettingRow& row) {
    if (row.screen == '\0') return;  // not asked at the console (CONSOLESESSION refuses it when set)
    if (row.count != nullptr) t.Count(*row.count);
    if (row.real != nullptr) t.Real(*row.real);
    if (row.code != nullptr) t.Count(*row.code);
  });
}

// Editors that scale what is typed: the rows given (or what the program
// holds) are typed before the editor scales them.
void TYPEGIVEN(Keystrokes& t, const SettingMap& s, const Editor& e, Faults& faults) {
  t.Command(e.letter);
  EACHROW(e, [&](const SettingRow& row) {
    if (row.real == nullptr) return;
    const SettingValue* v = SETTING(s, row.key);
    t.Real(v != nullptr ? v->real : *row.real);
  });
  APPLYEDITOR(s, e, faults);
  // The mating editor asks the isolation type when the preferences differ.
  if (e.rule == MATINGRULE && mateCheck != 0) t.Count(mateCheck);
}

void TYPEMIGRATION(Keystrokes& t, const SettingMap& s, const Editor& e, Faults& faults) {
  t.Command(e.letter);
  const std::int32_t tracked = trackCopies;
  APPLYEDITOR(s, e, faults);
  for (int g = 0; g < 8; ++g) t.Real(migF[g]);
  t.Real(migN);
  if (tracked == 1) t.Word("C");  // the note that tracking is switched off
}

void TYPEFERTILIZATION(Keystrokes& t, const SettingMap& s, const Editor& e, Faults&) {
  // F steps the rule: allowed, monogamy, not allowed, allowed.
  static const std::int32_t next[3] = {1, 2, 0};
  EACHROW(e, [&](const SettingRow& row) {
    const SettingValue* v = SETTING(s, row.key);
    if (v == nullptr) return;
    while (*row.code != v->choice) {
      t.Command(e.letter);
      *row.code = next[*row.code];
    }
  });
}

// A switch is typed only when it must change, and tracking not at all with
// migration (the console refuses it).
void TYPESWITCH(Keystrokes& t, const SettingMap& s, const Editor& e, Faults& faults) {
  bool change = false;
  EACHROW(e, [&](const SettingRow& row) {
    const SettingValue* v = SETTING(s, row.key);
    if (v != nullptr && *row.code != (v->flag ? 1 : 0)) change = true;
  });
  if (!change || (e.rule == TRACKINGRULE && doMig != 0)) return;
  t.Command(e.letter);
  APPLYEDITOR(s, e, faults);
}

void TYPEFIXATION(Keystrokes& t, const SettingMap& s, const Editor& e, Faults& faults) {
  t.Command(e.letter);
  APPLYEDITOR(s, e, faults);
  bool specific = false;
  EACHROW(e, [&](const SettingRow& row) {
    t.Count(*row.code);
    if (*row.code > 0) specific = true;
  });
  if (specific) t.Word("C");  // the warning
}

}  // namespace

void Keystrokes::Command(char letter) {
  text_ << letter << '\n';
  const int failed = (FERTILITYFAULT() != 0 ? 1 : 0) + (MATINGALLOWED() ? 0 : 1) + (MIGRATIONFITS() ? 0 : 1);
  for (int i = 0; i < failed; ++i) text_ << "C\n";
  lastFailed_ = failed;
}

const std::vector<Editor>& EDITORS() {
  static const std::vector<Editor> editors = {
      {'P', nullptr, true, false, POPDERIVE, FOUNDERRULE, TYPESTORED},
      {'D', MIGRATIONGIVEN, true, true, MIGDERIVE, MIGRATIONRULE, TYPEMIGRATION},
      {'W', nullptr, false, false, SCALEFIT, nullptr, TYPEGIVEN},
      {'1', nullptr, false, false, nullptr, nullptr, TYPESTORED},
      {'2', nullptr, false, false, nullptr, nullptr, TYPESTORED},
      {'3', nullptr, false, false, nullptr, nullptr, TYPESTORED},
      {'4', nullptr, false, false, nullptr, nullptr, TYPESTORED},
      {'L', nullptr, false, false, LINKDERIVE, nullptr, TYPESTORED},
      {'F', nullptr, false, false, nullptr, nullptr, TYPEFERTILIZATION},
      {'N', PREFSGIVEN, false, false, SCALEPREF, MATINGRULE, TYPEGIVEN},
      {'G', nullptr, false, false, nullptr, TRACKINGRULE, TYPESWITCH},
      {'V', nullptr, false, false, nullptr, nullptr, TYPESWITCH},
      {'A', nullptr, false, false, nullptr, nullptr, TYPEFIXATION},
      {'I', nullptr, false, false, nullptr, nullptr, TYPESTORED},
      {'M', nullptr, false, false, nullptr, nullptr, TYPESTORED}};
  return editors;
}

const Editor* EDITOROF(char letter) {
  for (const Editor& e : EDITORS()) {
    if (e.letter == letter) return &e;
  }
  return nullptr;
}

const SettingValue* SETTING(const SettingMap& s, const std::string& key) {
  const auto it = s.find(key);
  return it == s.end() ? nullptr : &it->second;
}

void STOREVALUE(const SettingRow& row, const SettingValue& v) {
  if (row.count != nullptr) *row.count = v.count;
  // A word standing for a number ("rest") stores nothing: the editor's
  // derivation gives that number.
  if (row.real != nullptr && v.type == SettingType::Real) *row.real = v.real;
  if (row.code != nullptr) *row.code = row.type == SettingType::Flag ? (v.flag ? 1 : 0) : v.choice;
}

void STOREDEFAULT(const SettingRow& row) {
  if (row.count != nullptr) *row.count = static_cast<std::int64_t>(row.defaultValue);
  if (row.real != nullptr) *row.real = row.defaultValue;
  if (row.code != nullptr) *row.code = static_cast<std::int32_t>(row.defaultValue);
}

bool GIVES(const SettingMap& s, const Editor& e) {
  if (e.gives != nullptr) return e.gives(s);
  bool given = false;
  EACHROW(e, [&](const SettingRow& row) { given = given || SETTING(s, row.key) != nullptr; });
  return given;
}

void APPLYEDITOR(const SettingMap& s, const Editor& e, Faults& faults) {
  EACHROW(e, [&](const SettingRow& row) {
    if (const SettingValue* v = SETTING(s, row.key)) {
      STOREVALUE(row, *v);
    } else if (e.leftOutZero) {
      SettingValue zero;
      zero.type = row.type;
      STOREVALUE(row, zero);
    }
  });
  if (e.derive != nullptr) e.derive();
  if (e.rule != nullptr) e.rule(s, faults);
}

std::vector<std::string> STARTFAULTS() {
  std::vector<std::string> faults;
  const int fertility = FERTILITYFAULT();
  const std::string fertile = " (see founders, fitness and fertilization)";
  if ((fertility & FERTNONE) != 0) faults.push_back(NOFERTILEMSG + fertile);
  if ((fertility & FERTFEWER) != 0) faults.push_back(FEWFERTILEMSG + fertile);
  if (!MATINGALLOWED()) {
    faults.push_back(std::string(NOMATINGMSG) + " (see founders, the mating preferences and fertilization)");
  }
  if (!MIGRATIONFITS()) faults.push_back(std::string(MIGRATIONMSG) + " (see migration.immigrants and founders)");
  return faults;
}

bool APPLYSETTINGS(const SettingMap& settings, std::vector<std::string>& faults) {
  const std::size_t before = faults.size();
  SettingMap screen = settings;
  if (!TRANSLATEBIOLOGY(screen, faults)) return false;
  RESETPROGRAM();
  STARTDEF();
  for (const Editor& e : EDITORS()) {
    if (GIVES(screen, e)) APPLYEDITOR(screen, e, faults);
  }
  if (faults.size() != before) return false;
  for (const std::string& fault : STARTFAULTS()) faults.push_back("the run cannot start: " + fault);
  return faults.size() == before;
}
