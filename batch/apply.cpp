#include "batch/apply.h"

#include <cstdint>

#include "model/derive.h"
#include "model/driver.h"
#include "model/settings.h"

namespace batch {

namespace {

const char* const GT[9] = {"AABB", "AABb", "AAbb", "AaBB", "AaBb", "Aabb", "aaBB", "aaBb", "aabb"};
const char* const PREFS[6] = {"AA_AA", "AA_Aa", "AA_aa", "Aa_Aa", "Aa_aa", "aa_aa"};
const char* const CHANGE[4] = {"A_to_a", "a_to_A", "B_to_b", "b_to_B"};

const Value* GET(const SettingMap& s, const std::string& key) {
  const auto it = s.find(key);
  return it == s.end() ? nullptr : &it->second;
}

double REAL(const SettingMap& s, const std::string& key, double fallback) {
  const Value* v = GET(s, key);
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
  static const std::int64_t pop[9] = {10, 20, 10, 20, 40, 20, 10, 20, 10};
  for (int g = 0; g < 9; ++g) {
    const Value* v = GET(s, std::string("founders.") + GT[g]);
    startPop[g] = v != nullptr ? v->count : pop[g];
  }
  NTot = POPSUM();
  if (NTot == 0 || NTot > MAXPOP) {
    std::string total = NTot == 0 ? "0" : "more than " + std::to_string(MAXPOP);
    if (NTot > 0 && NTot <= 10 * MAXPOP) total = std::to_string(NTot);
    faults.push_back(PLACES(s, "founders.") + ": the founders add up to " + total +
                     " (keys left out count with their defaults); allowed: a total of 1 to 1000000");
    NTot = 1;  // keeps the later fields computable; the job is refused anyway
  }
  POPFREQ();
}

void MIGRATION(const SettingMap& s, std::vector<std::string>& faults) {
  const Value* n = GET(s, "migration.immigrants");
  if (n == nullptr || n->real == 0.0) return;  // migration stays off; a mix alone means nothing
  for (int g = 0; g < 8; ++g) migF[g] = REAL(s, std::string("migration.mix.") + GT[g], 0.0);
  if (MIGREMAINDER() < 0.0) {
    faults.push_back(PLACES(s, "migration.mix.") +
                     ": the immigrant shares of AABB to aaBb add up to more than 1.0; allowed: "
                     "at most 1.0 together (aabb takes the rest)");
  }
  MIGCUMSUM();
  if (!(n->real > 0.0 && n->real < static_cast<double>(NTot))) {
    faults.push_back(n->where + ": migration.immigrants = " + SHOW(*n) +
                     " is out of range; allowed: 0 (no migration), or more than 0 and less than "
                     "the population size (" + std::to_string(NTot) + ")");
  }
  migN = n->real;
  doMig = 1;
  // Immigrants bring copies of no founder, so no copy could ever fix.
  const Value* track = GET(s, "track_gene_copies");
  if (track != nullptr && track->flag) {
    faults.push_back(track->where + ": track_gene_copies = true cannot go with migration (" +
                     n->where + "); gene copies are tracked only without immigrants");
  }
  trackCopies = 0;
}

void FITNESS(const SettingMap& s) {
  for (int g = 0; g < 9; ++g) w[g] = REAL(s, std::string("fitness.") + GT[g], 1.0);
  SCALEFIT();
}

void MATING(const SettingMap& s, std::vector<std::string>& faults) {
  for (int k = 0; k < 6; ++k) matePref[k] = REAL(s, std::string("mating.") + PREFS[k], 1.0);
  SCALEPREF();
  mateCheck = 0;
  if (!PREFSDIFFER()) return;
  const Value* iso = GET(s, "mating.isolation");
  if (iso == nullptr || iso->choice == 0) {
    faults.push_back((iso != nullptr ? iso->where : PLACES(s, "mating.")) +
                     ": the mating preferences differ, so mating.isolation must say how they act: "
                     "\"postmating\" or \"premating\"");
    return;
  }
  mateCheck = iso->choice;
}

}  // namespace

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
      const Value* n = GET(s, "migration.immigrants");
      return n != nullptr && n->real != 0.0;
    }
    case Field::Fitness: return GIVESANY(s, "fitness.");
    case Field::Mutation: return GIVESANY(s, "mutation.");
    case Field::Linkage: return GET(s, "map_distance_cM") != nullptr;
    case Field::Fertilization: return GET(s, "fertilization") != nullptr;
    case Field::Mating:
      for (const char* p : PREFS) {
        if (GET(s, std::string("mating.") + p) != nullptr) return true;
      }
      return false;
    case Field::Tracking: return GET(s, "track_gene_copies") != nullptr;
    case Field::Stopping: return GET(s, "stop_at_fixation") != nullptr;
    case Field::Fixation: return GIVESANY(s, "fixation.");
    case Field::Iterations: return GET(s, "iterations") != nullptr;
    case Field::Generations: return GET(s, "max_generations") != nullptr;
  }
  return false;
}

void APPLYFIELD(const SettingMap& s, Field field, std::vector<std::string>& faults) {
  switch (field) {
    case Field::Founders: FOUNDERS(s, faults); break;
    case Field::Migration: MIGRATION(s, faults); break;
    case Field::Fitness: FITNESS(s); break;
    case Field::Mutation: {
      double* const target[4] = {&mutA[0], &mutA[1], &mutB[0], &mutB[1]};
      for (int i = 0; i < 4; ++i) *target[i] = REAL(s, std::string("mutation.") + CHANGE[i], *target[i]);
      break;
    }
    case Field::Linkage:
      rec_cM = REAL(s, "map_distance_cM", rec_cM);
      LINKDERIVE();
      break;
    case Field::Fertilization:
      if (const Value* v = GET(s, "fertilization")) mateRule = v->choice;
      break;
    case Field::Mating: MATING(s, faults); break;
    case Field::Tracking:
      if (const Value* v = GET(s, "track_gene_copies")) {
        if (doMig == 0) trackCopies = v->flag ? 1 : 0;
      }
      break;
    case Field::Stopping:
      if (const Value* v = GET(s, "stop_at_fixation")) stopAtFix = v->flag ? 1 : 0;
      break;
    case Field::Fixation:
      if (const Value* v = GET(s, "fixation.alpha")) setAllFix[0] = v->choice;
      if (const Value* v = GET(s, "fixation.beta")) setAllFix[1] = v->choice;
      break;
    case Field::Iterations:
      if (const Value* v = GET(s, "iterations")) nIter = v->count;
      break;
    case Field::Generations:
      if (const Value* v = GET(s, "max_generations")) genMax = v->count;
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

bool APPLYSETTINGS(const SettingMap& s, std::vector<std::string>& faults) {
  RESETPROGRAM();
  STARTDEF();
  const std::size_t before = faults.size();
  for (Field field : FIELDORDER()) {
    if (GIVES(s, field)) APPLYFIELD(s, field, faults);
  }
  if (faults.size() != before) return false;
  for (const std::string& fault : STARTFAULTS()) {
    faults.push_back("the run cannot start: " + fault);
  }
  return faults.size() == before;
}

}  // namespace batch
