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

double REAL(const SettingMap& s, const std::string& key, double fallback) {
  const SettingValue* v = SETTING(s, key);
  return v != nullptr ? v->real : fallback;
}

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

bool GIVESANY(const SettingMap& s, const std::string& head) {
  for (const auto& [key, value] : s) {
    if (key.compare(0, head.size(), head) == 0) return true;
  }
  return false;
}

void FOUNDERS(const SettingMap& s, std::vector<std::string>& faults) {
  for (int g = 0; g < 9; ++g) {
    const SettingValue* v = SETTING(s, "founders." + GTNAME(g));
    startPop[g] = v != nullptr ? v->count : 0;
  }
  NTot = POPSUM();
  if (NTot == 0 || NTot > MAXPOP) {
    const std::string total = NTot <= 10 * MAXPOP ? std::to_string(NTot) : "more than " + std::to_string(MAXPOP);
    faults.push_back(PLACES(s, "founders.") + ": the founders add up to " + total +
                     " (genotypes left out count 0); allowed: a total of 1 to " + std::to_string(MAXPOP));
    NTot = 1;  // keeps the later fields computable; the run is refused anyway
  }
  POPFREQ();
}

// The immigrant mix: shares left out count 0, and the nine must add up to
// 1.0 unless aabb is "rest", the console's remainder rule.
void MIGRATIONMIX(const SettingMap& s, std::vector<std::string>& faults) {
  for (int g = 0; g < 8; ++g) migF[g] = REAL(s, "migration.mix." + GTNAME(g), 0.0);
  const double remainder = MIGREMAINDER();
  const SettingValue* last = SETTING(s, "migration.mix." + GTNAME(8));
  const bool rest = last != nullptr && last->type == SettingType::Choice;
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
  MIGCUMSUM();
}

void MIGRATION(const SettingMap& s, std::vector<std::string>& faults) {
  const SettingValue* n = SETTING(s, "migration.immigrants");
  if (n == nullptr || n->real == 0.0) return;  // migration stays off; a mix alone means nothing
  MIGRATIONMIX(s, faults);
  if (!(n->real > 0.0 && n->real < static_cast<double>(NTot))) {
    faults.push_back(n->where + ": migration.immigrants = " + SHOWVALUE(*n) +
                     " is out of range; allowed: 0 (no migration), or more than 0 and less than "
                     "the population size (" + std::to_string(NTot) + ")");
  }
  migN = n->real;
  doMig = 1;
  // Immigrants bring copies of no founder, so no copy could ever fix.
  const SettingValue* track = SETTING(s, "track_gene_copies");
  if (track != nullptr && track->flag) {
    faults.push_back(track->where + ": track_gene_copies = true cannot go with migration (" +
                     n->where + "); gene copies are tracked only without immigrants");
  }
  trackCopies = 0;
}

void FITNESS(const SettingMap& s) {
  for (int g = 0; g < 9; ++g) w[g] = REAL(s, "fitness." + GTNAME(g), w[g]);
  SCALEFIT();
}

void MUTATION(const SettingMap& s) {
  double* const target[4] = {&mutA[0], &mutA[1], &mutB[0], &mutB[1]};
  for (int i = 0; i < 4; ++i) *target[i] = REAL(s, "mutation." + MUTATIONNAME(i, "_to_"), *target[i]);
}

void MATING(const SettingMap& s, std::vector<std::string>& faults) {
  for (int k = 0; k < 6; ++k) matePref[k] = REAL(s, "mating." + MATINGNAME(k, "_"), matePref[k]);
  SCALEPREF();
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

bool GIVESPREFS(const SettingMap& s) {
  for (int k = 0; k < 6; ++k) {
    if (SETTING(s, "mating." + MATINGNAME(k, "_")) != nullptr) return true;
  }
  return false;
}

// The single-key fields: the key, and where its value goes.
const char* SINGLEKEY(Field field) {
  switch (field) {
    case Field::Linkage: return "map_distance_cM";
    case Field::Fertilization: return "fertilization";
    case Field::Tracking: return "track_gene_copies";
    case Field::Stopping: return "stop_at_fixation";
    case Field::Iterations: return "iterations";
    case Field::Generations: return "max_generations";
    default: return nullptr;
  }
}

void SINGLE(const SettingValue& v, Field field) {
  switch (field) {
    case Field::Linkage:
      rec_cM = v.real;
      LINKDERIVE();
      break;
    case Field::Fertilization: mateRule = v.choice; break;
    case Field::Tracking:
      if (doMig == 0) trackCopies = v.flag ? 1 : 0;
      break;
    case Field::Stopping: stopAtFix = v.flag ? 1 : 0; break;
    case Field::Iterations: nIter = v.count; break;
    case Field::Generations: genMax = v.count; break;
    default: break;
  }
}

}  // namespace

const SettingValue* SETTING(const SettingMap& s, const std::string& key) {
  const auto it = s.find(key);
  return it == s.end() ? nullptr : &it->second;
}

const std::vector<Field>& FIELDORDER() {
  static const std::vector<Field> order = {
      Field::Founders, Field::Migration, Field::Fitness,  Field::Mutation,
      Field::Linkage,  Field::Fertilization, Field::Mating, Field::Tracking,
      Field::Stopping, Field::Fixation,  Field::Iterations, Field::Generations};
  return order;
}

bool GIVES(const SettingMap& s, Field field) {
  switch (field) {
    case Field::Founders: return GIVESANY(s, "founders.");
    case Field::Migration: {
      const SettingValue* n = SETTING(s, "migration.immigrants");
      return n != nullptr && n->real != 0.0;
    }
    case Field::Fitness: return GIVESANY(s, "fitness.");
    case Field::Mutation: return GIVESANY(s, "mutation.");
    case Field::Mating: return GIVESPREFS(s);
    case Field::Fixation: return GIVESANY(s, "fixation.");
    default: return SETTING(s, SINGLEKEY(field)) != nullptr;
  }
}

void APPLYFIELD(const SettingMap& s, Field field, std::vector<std::string>& faults) {
  switch (field) {
    case Field::Founders: FOUNDERS(s, faults); break;
    case Field::Migration: MIGRATION(s, faults); break;
    case Field::Fitness: FITNESS(s); break;
    case Field::Mutation: MUTATION(s); break;
    case Field::Mating: MATING(s, faults); break;
    case Field::Fixation:
      if (const SettingValue* v = SETTING(s, "fixation.alpha")) setAllFix[0] = v->choice;
      if (const SettingValue* v = SETTING(s, "fixation.beta")) setAllFix[1] = v->choice;
      break;
    default:
      if (const SettingValue* v = SETTING(s, SINGLEKEY(field))) SINGLE(*v, field);
      break;
  }
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
  for (Field field : FIELDORDER()) {
    if (GIVES(screen, field)) APPLYFIELD(screen, field, faults);
  }
  if (faults.size() != before) return false;
  for (const std::string& fault : STARTFAULTS()) faults.push_back("the run cannot start: " + fault);
  return faults.size() == before;
}
