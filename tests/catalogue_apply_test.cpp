// Each row of the catalogue applies itself: whatever a door accepts for a
// row reaches the program. A row added without the code that stores it (or,
// for a biology-level row, translates it) leaves the program as it was and
// fails here, whichever door would have taken it.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/catalogue.h"
#include "model/driver.h"
#include "model/fields.h"
#include "model/settings.h"
#include "tests/testutil.h"

namespace {

class CatalogueApply : public ProgramTest {};

// Every setting and derived value the program holds, read from the
// variables themselves, not through the catalogue.
std::vector<double> Snapshot() {
  std::vector<double> v;
  const auto put = [&v](const auto* values, int n) {
    for (int i = 0; i < n; ++i) v.push_back(static_cast<double>(values[i]));
  };
  put(startPop, 9);
  put(phasedPop, 2);
  put(&NTot, 1);
  put(startF, 9);
  put(w, 9);
  put(mutA, 2);
  put(mutB, 2);
  put(&rec_cM, 1);
  put(&rec, 1);
  put(&doMig, 1);
  put(&migN, 1);
  put(migF, 9);
  put(migCumF, 9);
  put(&mateRule, 1);
  put(matePref, 6);
  put(&mateCheck, 1);
  put(&nIter, 1);
  put(&genMax, 1);
  put(&trackCopies, 1);
  put(setAllFix, 2);
  put(&stopAtFix, 1);
  return v;
}

RawValue Raw(double x) {
  RawValue raw;
  raw.kind = RawValue::Real;
  raw.real = x;
  raw.where = "test";
  return raw;
}
RawValue Whole(std::int64_t n) {
  RawValue raw = Raw(0.0);
  raw.kind = RawValue::Integer;
  raw.integer = n;
  return raw;
}
RawValue Raw(const std::string& text) {
  RawValue raw;
  raw.kind = RawValue::Text;
  raw.text = text;
  raw.where = "test";
  return raw;
}

// What the run would start from: the state, or nothing when refused.
struct Outcome {
  bool accepted = false;
  std::vector<double> state;
  bool operator==(const Outcome& o) const { return accepted == o.accepted && state == o.state; }
};

// Settings as a door hands them over: every value through TOVALUE.
Outcome Apply(const std::map<std::string, RawValue>& raws) {
  SettingMap settings;
  for (const auto& [key, raw] : raws) {
    const SettingRow* row = FINDSETTING(key);
    EXPECT_NE(row, nullptr) << key;
    std::string fault;
    EXPECT_TRUE(TOVALUE(*row, raw, settings[key], fault)) << fault;
  }
  std::vector<std::string> faults;
  Outcome o;
  o.accepted = APPLYSETTINGS(settings, faults);
  if (o.accepted) o.state = Snapshot();
  return o;
}

// The other settings a row needs before its value can matter: migration
// on, preferences that differ, selection on the gene, a population size.
std::map<std::string, RawValue> Context(const std::string& key) {
  std::map<std::string, RawValue> c;
  const std::string head = key.substr(0, key.find_last_of('.') + 1);
  if (key == "migration.mix.aabb") {
    c = {{"migration.immigrants", Raw(1.0)}, {"migration.mix.AABB", Raw(0.5)}};
  } else if (head == "migration.mix." || key == "migration.immigrants") {
    c = {{"migration.immigrants", Raw(1.0)}, {"migration.mix.aabb", Raw("rest")}};
  } else if (key == "mating.isolation") {
    c = {{"mating.AA_AA", Raw(0.5)}};
  } else if (head == "mating.") {
    c = {{"mating.isolation", Raw("postmating")}};
  } else if (head == "selection.alpha." || head == "selection.beta.") {
    if (key.substr(head.size()) != "s") c = {{head + "s", Raw(0.5)}};
  } else if (key == "selection.combine") {
    c = {{"selection.alpha.s", Raw(0.5)}, {"selection.beta.s", Raw(0.5)}};
  } else if (head == "population." && key != "population.size") {
    c = {{"population.size", Whole(160)}};
  }
  if (c.count(key) != 0) c.erase(key);
  return c;
}

// A value other than the default that the context allows.
RawValue Other(const SettingRow& row) {
  const std::string key = row.key;
  if (key == "migration.immigrants" || key == "selection.alpha.h" || key == "selection.beta.h") return Raw(1.0);
  if (key == "migration.mix.aabb") return Raw(0.5);
  switch (row.type) {
    case SettingType::Count:
      return Whole(static_cast<std::int64_t>(row.defaultValue) + (row.defaultValue < row.hi ? 1 : -1));
    case SettingType::Flag: {
      RawValue raw;
      raw.kind = RawValue::Boolean;
      raw.boolean = row.defaultValue == 0.0;
      raw.where = "test";
      return raw;
    }
    default: {
      const double step = (row.hi - row.lo) / 4.0;
      return Raw(row.defaultValue + step <= row.hi ? row.defaultValue + step : row.defaultValue - step);
    }
  }
}

RawValue Default(const SettingRow& row) {
  RawValue raw = Other(row);
  raw.integer = static_cast<std::int64_t>(row.defaultValue);
  raw.real = row.defaultValue;
  raw.boolean = row.defaultValue != 0.0;
  if (raw.kind == RawValue::Real && row.type == SettingType::Count) raw.kind = RawValue::Integer;
  return raw;
}

// For every row: its default and another value give different runs (the
// other value accepted), and each choice of a choice row gives a run of its
// own. Nothing is exempt, biology-level rows included.
TEST_F(CatalogueApply, EveryValueOfEveryRowReachesTheProgram) {
  for (const SettingRow& row : CATALOGUE()) {
    SCOPED_TRACE(row.key);
    std::map<std::string, RawValue> settings = Context(row.key);
    if (row.type == SettingType::Choice) {
      std::vector<Outcome> seen;
      for (int c = 0; row.choices[c] != nullptr; ++c) {
        settings[row.key] = Raw(row.choices[c]);
        const Outcome o = Apply(settings);
        if (!o.accepted) continue;
        for (const Outcome& before : seen) EXPECT_FALSE(before == o) << "choice " << row.choices[c] << " changes nothing";
        seen.push_back(o);
      }
      EXPECT_GE(seen.size(), 2u);
      continue;
    }
    settings[row.key] = Other(row);
    const Outcome other = Apply(settings);
    EXPECT_TRUE(other.accepted);
    settings[row.key] = Default(row);
    EXPECT_FALSE(Apply(settings) == other) << "another value changes nothing";
  }
}

// The wiring each row declares: its editor exists, it stores into the
// variable its "variable" column names, of the kind its type needs; the
// defaults and the reset reach every variable.
TEST_F(CatalogueApply, RowsStoreWhereTheySayAndStartAtTheirDefaults) {
  struct Variable {
    const char* name;
    const void* at;
    std::size_t size;  // bytes of one element
  };
  const Variable variables[] = {
      {"startPop", startPop, sizeof startPop[0]}, {"w", w, sizeof w[0]},
      {"phasedPop", phasedPop, sizeof phasedPop[0]},
      {"mutA", mutA, sizeof mutA[0]},             {"mutB", mutB, sizeof mutB[0]},
      {"matePref", matePref, sizeof matePref[0]}, {"mateCheck", &mateCheck, 0},
      {"rec_cM", &rec_cM, 0},                     {"mateRule", &mateRule, 0},
      {"nIter", &nIter, 0},                       {"genMax", &genMax, 0},
      {"migN", &migN, 0},                         {"migF", migF, sizeof migF[0]},
      {"trackCopies", &trackCopies, 0},           {"stopAtFix", &stopAtFix, 0},
      {"setAllFix", setAllFix, sizeof setAllFix[0]}};
  std::set<char> letters;
  for (const SettingRow& row : CATALOGUE()) {
    SCOPED_TRACE(row.key);
    const void* target = row.real != nullptr ? static_cast<const void*>(row.real)
                         : row.count != nullptr ? static_cast<const void*>(row.count)
                                                : static_cast<const void*>(row.code);
    const int targets = (row.real != nullptr) + (row.count != nullptr) + (row.code != nullptr);
    if (row.field == '\0') {
      EXPECT_EQ(targets, 0);
      continue;
    }
    letters.insert(row.field);
    ASSERT_EQ(targets, 1);
    EXPECT_NE(EDITOROF(row.field), nullptr);
    EXPECT_EQ(row.real != nullptr, row.type == SettingType::Real);
    EXPECT_EQ(row.count != nullptr, row.type == SettingType::Count);
    // "w[8]" is element 8 of w; "nIter" the variable itself.
    const std::string name = row.variable;
    const std::size_t bracket = name.find('[');
    const std::string base = name.substr(0, bracket);
    const int index = bracket == std::string::npos ? 0 : std::stoi(name.substr(bracket + 1));
    bool found = false;
    for (const Variable& v : variables) {
      if (base != v.name) continue;
      found = true;
      EXPECT_EQ(target, static_cast<const char*>(v.at) + index * v.size);
    }
    EXPECT_TRUE(found) << name;
  }
  for (const Editor& e : EDITORS()) EXPECT_EQ(letters.count(e.letter), 1u) << "an editor without rows: " << e.letter;
  EXPECT_EQ(letters.size(), EDITORS().size());

  RESETPROGRAM();
  STARTDEF();
  for (const SettingRow& row : CATALOGUE()) {
    SCOPED_TRACE(row.key);
    if (row.real != nullptr) {
      EXPECT_EQ(*row.real, row.defaultValue);
    } else if (row.count != nullptr) {
      EXPECT_EQ(*row.count, static_cast<std::int64_t>(row.defaultValue));
    } else if (row.code != nullptr) {
      EXPECT_EQ(*row.code, static_cast<std::int32_t>(row.defaultValue));
    }
  }
  RESETSETTINGS();
  for (double x : Snapshot()) EXPECT_EQ(x, 0.0);
}

}  // namespace
