// The settings catalogue: one row per setting, the only place where a
// setting's study key, screen letter, label, type, range and default are
// written. The console's editors, STARTDEF, the batch program, the Python
// package and the browser lab all read their ranges and defaults here.
//
// Two kinds of rows:
//  - screen settings: each sets one program variable, exactly as an editor
//    of the settings screen would, followed by the derivation that editor
//    makes (SCALEFIT, POPFREQ, LINKDERIVE, ...); a few of them (the
//    founders by phase) belong to a field whose screen does not show them
//    and so have no screen letter of their own;
//  - biology-level settings (selection by s and h, founders by population
//    size and allele frequencies): they set no variable themselves but are
//    translated into screen settings, as a user would type them, before
//    anything is applied (see model/biology.h).
#ifndef DUOLOCUS_MODEL_CATALOGUE_H
#define DUOLOCUS_MODEL_CATALOGUE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

enum class SettingType { Count, Real, Flag, Choice };

struct SettingRow {
  const char* key;       // study key, dotted: "fitness.AABB", "map_distance_cM"
  char screen;           // letter or digit of the settings screen; '\0' for none
  const char* label;     // short label for a form: "Fitness of AABB"
  SettingType type;
  double lo;             // Count and Real: inclusive bounds of one value
  double hi;
  const char* const* choices;  // Choice: names in code order, null-terminated
  const char* range;     // what is allowed, in words
  const char* deflt;     // the default, as it would be written in a study file
  double defaultValue;   // the default as a number (Choice: its index; Flag: 0 or 1)
  const char* help;      // one sentence: what the setting means
  const char* group;     // "founders", "fitness", "selection", ... (forms group by it)
  const char* variable;  // the program variable it sets ("w[8]"), "" for biology-level rows
  const char* derives;   // the derivation it triggers ("SCALEFIT"), "" for none
  const char* report;    // the text the settings report (PREFIX.txt) writes just before the
                         // setting's value ("A to a:"), "" where the report shows none
  // Where a screen row's value goes, as its editor stores it: one of the
  // three (Flag: 0 or 1, Choice: the index of its name); all null for the
  // biology-level rows, which are translated instead. The editor of the
  // row's screen letter (model/fields.h) derives and checks the group.
  double* real;
  std::int64_t* count;
  std::int32_t* code;
  // The screen letter of the field whose editor stores the row: its screen
  // letter, or, for a row of a field that the screen does not show (the
  // founders' phase), that field's letter; '\0' for biology-level rows.
  char field;
};

// Every row, screen settings in the order of the settings screen, then the
// biology-level settings.
const std::vector<SettingRow>& CATALOGUE();
// The row of that key, or null.
const SettingRow* FINDSETTING(const std::string& key);

// A value as a front end hands it over, before conversion: what a TOML
// node, a Python object or a form field holds, and where it was written
// ("study.toml:12", "--set fitness.aabb=0.5", "settings['iterations']").
struct RawValue {
  enum Kind { Integer, Real, Boolean, Text } kind = Real;
  std::int64_t integer = 0;
  // An Integer too large for 64 bits (2**80 from Python, a long run of
  // digits in a link): its digits are in text, and it is refused as out of
  // range, shown as written.
  bool beyond = false;
  double real = 0.0;
  bool boolean = false;
  std::string text;
  std::string where;
};

// One value of a setting, converted and range-checked.
struct SettingValue {
  SettingType type = SettingType::Real;
  std::int64_t count = 0;
  double real = 0.0;
  bool flag = false;
  std::string text;  // the name of a Choice
  int choice = 0;    // Choice: index into the row's choices
  std::string where;
};

// Settings of one run, by key.
using SettingMap = std::map<std::string, SettingValue>;

// Converts raw to a value of row, checking type and range. On failure
// returns false with a message naming the place, the key and what is
// allowed (every front end shows the same message).
bool TOVALUE(const SettingRow& row, const RawValue& raw, SettingValue& out, std::string& fault);

// A fresh program with the defaults, then every setting (biology-level
// ones translated first), each field set as its editor would, then the
// start checks. Returns false with one message per refusal.
bool APPLYSETTINGS(const SettingMap& settings, std::vector<std::string>& faults);

// The catalogue as JSON: an array of objects with every column above
// (type as "count", "real", "flag" or "choice"; screen "" for none; the
// default both as written, "default", and as a number, "defaultValue";
// "report" the report's label).
std::string CATALOGUEJSON();

// The catalogue for the other languages (python/duolocus/catalogue.json,
// written by duolocus-catalogue): an object with "settings" (the rows as
// CATALOGUEJSON gives them), "statistics" (the trajectory file's columns),
// "limits" (inclusive bounds of the seed and of the trajectory step, 0 for
// none), "genotypes" and "haplotypes" (the names in code order).
std::string CATALOGUEFILE();

// A value as it would be written in a study file (strings unquoted).
std::string SHOWVALUE(const SettingValue& v);
// A real number in the shortest fixed-point form that reads back as the
// same double: the form the console accepts (digits and one point).
std::string SHORTEST(double x);

// One Real row takes a word as well as a number: migration.mix.aabb =
// "rest" gives aabb what the other eight shares leave, as the console's
// migration editor does. Its value then has type Choice and text "rest".

#endif
