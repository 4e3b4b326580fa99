// The settings catalogue against the dialogue it describes: every field of
// the settings screen has its rows, each range is what the field's editor
// accepts (its ends taken, just beyond them refused), and settings applied
// from the catalogue are what the editors would leave.
#include <algorithm>
#include <set>
#include <string>

#include "console/ask.h"
#include "model/catalogue.h"
#include "model/driver.h"
#include "model/fields.h"
#include "model/state.h"
#include "tests/console_fixture.h"

namespace {

using Catalogue = ConsoleTest;

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A number just beyond a bound, written as the console accepts numbers.
std::string Beyond(const SettingRow& row) {
  if (row.type != SettingType::Real) return std::to_string(static_cast<std::int64_t>(row.hi) + 1);
  return SHORTEST(row.hi + 1e-6);
}

std::string Written(const SettingRow& row, double x) {
  return row.type != SettingType::Real ? std::to_string(static_cast<std::int64_t>(x)) : SHORTEST(x);
}

// The stored value of the setting a screen row edits.
double Stored(const std::string& key) {
  for (int g = 0; g < 9; ++g) {
    if (key == "fitness." + GTNAME(g)) return w[g];
    if (key == "migration.mix." + GTNAME(g)) return migF[g];
  }
  for (int k = 0; k < 6; ++k) {
    if (key == "mating." + MATINGNAME(k, "_")) return matePref[k];
  }
  const double rates[4] = {mutA[0], mutA[1], mutB[0], mutB[1]};
  for (int i = 0; i < 4; ++i) {
    if (key == "mutation." + MUTATIONNAME(i, "_to_")) return rates[i];
  }
  if (key == "map_distance_cM") return rec_cM;
  if (key == "iterations") return static_cast<double>(nIter);
  if (key == "max_generations") return static_cast<double>(genMax);
  if (key == "fixation.alpha") return setAllFix[0];
  if (key == "fixation.beta") return setAllFix[1];
  return -1.0;
}

// The answers an editor asks for, with answer in place of the one the row
// sets; the others keep a value that leaves the row's own unscaled.
std::string Answers(const SettingRow& row, const std::string& answer) {
  const std::string key = row.key;
  std::string text;
  const auto group = [&](const std::string& head, int n, const std::string& others,
                         std::string (*name)(int)) {
    for (int i = 0; i < n; ++i) text += (head + name(i) == key ? answer : others) + " ";
  };
  switch (row.screen) {
    case 'W': group("fitness.", 9, "1", GTNAME); break;
    case 'N':
      group("mating.", 6, "1", [](int k) { return MATINGNAME(k, "_"); });
      text += "1";  // postmating, should the preferences differ
      break;
    case 'D':
      group("migration.mix.", 8, "0", GTNAME);
      text += "1 C";  // one immigrant a generation; the note on tracking
      break;
    case 'A':
      text = key == "fixation.alpha" ? answer + " 0 C" : "0 " + answer + " C";
      break;
    default: text = answer;
  }
  return text;
}

TEST_F(Catalogue, EveryFieldOfTheScreenHasItsRowsAndOnlyThose) {
  std::set<char> screens;
  std::set<std::string> keys;
  for (const SettingRow& row : CATALOGUE()) {
    EXPECT_TRUE(keys.insert(row.key).second) << "twice: " << row.key;
    EXPECT_EQ(FINDSETTING(row.key), &row);
    // Rows the screen does not show: the biology-level ones, and the
    // founders by phase, stored by the founders' field.
    const bool biology = row.screen == '\0' && row.field == '\0';
    EXPECT_EQ(biology, row.variable[0] == '\0') << row.key;
    if (biology) {
      EXPECT_TRUE(std::string(row.group) == "selection" || std::string(row.group) == "population") << row.key;
    } else if (row.screen == '\0') {
      EXPECT_EQ(row.field, 'P') << row.key;
    } else {
      screens.insert(row.screen);
    }
    EXPECT_LE(row.lo, row.hi) << row.key;
    if (row.type != SettingType::Choice && row.type != SettingType::Flag) {
      EXPECT_GE(row.defaultValue, row.lo) << row.key;
      EXPECT_LE(row.defaultValue, row.hi) << row.key;
    }
  }
  // The command letters of the screen but C and Q.
  EXPECT_EQ(screens, (std::set<char>{'P', 'W', '1', '2', '3', '4', 'N', 'L', 'F', 'I', 'M', 'D', 'G', 'V', 'A'}));
  EXPECT_EQ(FINDSETTING("fitness.AaBB")->screen, 'W');
  EXPECT_EQ(FINDSETTING("nonsense"), nullptr);
  EXPECT_EQ(CATALOGUE().size(), 49u + 12u);
}

// Each bounded row of an editor that asks for it: its bounds are taken,
// just above the upper one is refused and asked again.
TEST_F(Catalogue, RangesAreWhatTheEditorsAccept) {
  int rows = 0;
  for (const SettingRow& row : CATALOGUE()) {
    const std::string key = row.key;
    const bool asked = row.screen != '\0' && row.screen != 'P' && row.screen != 'F' && row.screen != 'G' &&
                       row.screen != 'V' && key != "mating.isolation" && key != "migration.immigrants" &&
                       key != "migration.mix.aabb";
    if (!asked) continue;
    ++rows;
    for (const double bound : {row.lo, row.hi}) {
      SCOPED_TRACE(key + " at " + Written(row, bound));
      RESETPROGRAM();
      STARTDEF();
      const std::string out = Edit(row.screen, Answers(row, Beyond(row) + " " + Written(row, bound)));
      EXPECT_EQ(Stored(key), bound);
      EXPECT_EQ(Count(out, "Try again"), 1) << out;
      // Below the lower bound: 0 less one for whole numbers; a real number
      // below 0 cannot be typed at all.
      if (row.type == SettingType::Count && bound == row.lo) {
        Edit(row.screen, Answers(row, Written(row, row.lo - 1) + " " + Written(row, bound)));
        EXPECT_EQ(Stored(key), bound);
      }
    }
  }
  EXPECT_EQ(rows, 9 + 4 + 6 + 1 + 2 + 8 + 2);
}

// The founders: each count alone may reach the row's upper bound, which is
// the population limit; one more is refused by the total.
TEST_F(Catalogue, FounderRangeIsThePopulationLimit) {
  const SettingRow& row = *FINDSETTING("founders.AaBb");
  EXPECT_EQ(row.hi, static_cast<double>(MAXPOP));
  const std::string hi = Written(row, row.hi);
  std::string out = Edit('P', "0 0 0 0 " + hi + " 0 0 0 0");
  EXPECT_EQ(NTot, MAXPOP);
  out = Edit('P', "0 0 0 0 " + Beyond(row) + " 0 0 0 0  0 0 0 0 1 0 0 0 0");
  EXPECT_EQ(Count(out, "Population size exceeds"), 1);
  EXPECT_EQ(NTot, 1);
}

TEST_F(Catalogue, StartDefaultsAreTheCataloguesDefaults) {
  for (const SettingRow& row : CATALOGUE()) {
    const double stored = Stored(row.key);
    if (stored >= 0.0 && row.screen != 'D') {
      EXPECT_EQ(stored, row.defaultValue) << row.key;
    }
  }
  EXPECT_EQ(static_cast<double>(NTot), FINDSETTING("population.size")->defaultValue);
  EXPECT_EQ(mateRule, FINDSETTING("fertilization")->defaultValue);
  EXPECT_EQ(startPop[4], FINDSETTING("founders.AaBb")->defaultValue);
}

TEST_F(Catalogue, ValuesAreTypedAndRangeCheckedWithTheirPlace) {
  const SettingRow& map = *FINDSETTING("map_distance_cM");
  SettingValue v;
  std::string fault;
  RawValue raw;
  raw.where = "here:3";
  raw.kind = RawValue::Integer;
  raw.integer = 50;
  EXPECT_TRUE(TOVALUE(map, raw, v, fault));
  EXPECT_EQ(v.real, 50.0);
  raw.kind = RawValue::Real;
  raw.real = 50.5;
  EXPECT_FALSE(TOVALUE(map, raw, v, fault));
  EXPECT_EQ(fault, "here:3: map_distance_cM = 50.5 is out of range; allowed: a number from 0.0 to 50.0");
  raw.real = -0.0;
  ASSERT_TRUE(TOVALUE(map, raw, v, fault));
  EXPECT_EQ(SHOWVALUE(v), "0");  // no sign, as the console could not type one
  raw.kind = RawValue::Text;
  raw.text = "far";
  EXPECT_FALSE(TOVALUE(map, raw, v, fault));
  EXPECT_EQ(fault, "here:3: map_distance_cM = \"far\" is a string; allowed: a number from 0.0 to 50.0");
  const SettingRow& iterations = *FINDSETTING("iterations");
  raw.kind = RawValue::Real;
  raw.real = 2.5;
  EXPECT_FALSE(TOVALUE(iterations, raw, v, fault));
  EXPECT_EQ(fault, "here:3: iterations = 2.5 is a number with a point; allowed: a whole number from 1 to 50000");
  const SettingRow& rule = *FINDSETTING("fertilization");
  raw.kind = RawValue::Text;
  raw.text = "monogamy";
  ASSERT_TRUE(TOVALUE(rule, raw, v, fault));
  EXPECT_EQ(v.choice, 2);
  EXPECT_EQ(std::string(rule.range), "\"selfing-allowed\", \"selfing-not-allowed\" or \"monogamy\"");
  const SettingRow& last = *FINDSETTING("migration.mix.aabb");
  raw.text = "rest";
  ASSERT_TRUE(TOVALUE(last, raw, v, fault));
  EXPECT_EQ(v.type, SettingType::Choice);
  EXPECT_EQ(SHOWVALUE(v), "rest");
}

SettingValue CountOf(std::int64_t n) {
  SettingValue v;
  v.type = SettingType::Count;
  v.count = n;
  v.where = "test";
  return v;
}

SettingValue RealOf(double x) {
  SettingValue v;
  v.real = x;
  v.where = "test";
  return v;
}

// A founders table that names some genotypes gives the others none; the
// immigrant mix likewise, but for aabb, which takes the rest unless it is
// given a number.
TEST_F(Catalogue, PartialFoundersAndMixCountTheRestAsNone) {
  SettingMap s;
  s["founders.AABB"] = CountOf(25);
  s["founders.aabb"] = CountOf(25);
  std::vector<std::string> faults;
  ASSERT_TRUE(APPLYSETTINGS(s, faults)) << faults[0];
  EXPECT_EQ(NTot, 50);
  for (int g = 1; g < 8; ++g) EXPECT_EQ(startPop[g], 0) << g;
  EXPECT_EQ(startF[0], 0.5);
  EXPECT_EQ(startF[8], 0.5);
  // Without a founders key the defaults stand.
  ASSERT_TRUE(APPLYSETTINGS({}, faults));
  EXPECT_EQ(NTot, static_cast<std::int64_t>(FINDSETTING("population.size")->defaultValue));

  s["migration.immigrants"] = RealOf(2.0);
  s["migration.mix.AaBb"] = RealOf(0.3);
  faults.clear();
  ASSERT_TRUE(APPLYSETTINGS(s, faults)) << faults[0];
  EXPECT_EQ(migF[8], 0.7);
  s["migration.mix.aabb"] = RealOf(0.0);
  EXPECT_FALSE(APPLYSETTINGS(s, faults));
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_NE(faults[0].find("the immigrant shares add up to 0.3 (genotypes left out count 0)"), std::string::npos);
  SettingValue rest;
  rest.type = SettingType::Choice;
  rest.text = "rest";
  s["migration.mix.aabb"] = rest;
  faults.clear();
  ASSERT_TRUE(APPLYSETTINGS(s, faults)) << faults[0];
  EXPECT_EQ(migF[4], 0.3);
  EXPECT_EQ(migF[8], 0.7);
  EXPECT_EQ(migCumF[8], 1.0);
  EXPECT_EQ(doMig, 1);
  EXPECT_EQ(trackCopies, 0);
  // aabb given as a number must be what the others leave.
  s["migration.mix.aabb"] = RealOf(0.7);
  ASSERT_TRUE(APPLYSETTINGS(s, faults));
  EXPECT_EQ(migF[8], 1.0 - 0.3);
  s["migration.mix.aabb"] = RealOf(0.6);
  EXPECT_FALSE(APPLYSETTINGS(s, faults));
}

TEST_F(Catalogue, JsonHasOneObjectPerRowWithEveryColumn) {
  const std::string json = CATALOGUEJSON();
  EXPECT_EQ(json.front(), '[');
  EXPECT_EQ(static_cast<std::size_t>(Count(json, "{\"key\": ")), CATALOGUE().size());
  EXPECT_NE(json.find("{\"key\": \"map_distance_cM\", \"screen\": \"L\", \"label\": \"Map distance (cM)\", "
                      "\"type\": \"real\", \"lo\": 0, \"hi\": 50, \"choices\": [], \"range\": \"a number from 0.0 "
                      "to 50.0\", \"default\": \"0.0\", \"defaultValue\": 0,"),
            std::string::npos);
  EXPECT_NE(json.find("\"key\": \"population.D\", \"screen\": \"\""), std::string::npos);
  EXPECT_NE(json.find("\"lo\": -0.25, \"hi\": 0.25"), std::string::npos);
  EXPECT_NE(json.find("\"range\": \"\\\"postmating\\\" or \\\"premating\\\""), std::string::npos);
}

}  // namespace
