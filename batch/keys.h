// The settings a study file may name: each key with its type, its range as
// the editors enforce it and its default, and the conversion of a value
// read from the file or the command line.
#ifndef DUOLOCUS_BATCH_KEYS_H
#define DUOLOCUS_BATCH_KEYS_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <toml++/toml.h>

namespace batch {

enum class Type { Count, Real, Flag, Choice, Text };

struct KeyDef {
  std::string name;  // dotted, as in the file: "fitness.aabb"
  Type type;
  double lo;  // Count and Real: inclusive bounds of one value
  double hi;
  std::vector<std::string> choices;  // Choice: the names, in code order
  std::string range;                 // what is allowed, in words
  std::string deflt;                 // the default, in words
  std::string meaning;
};

// One value of a setting, converted, with where it was written.
struct Value {
  Type type = Type::Real;
  std::int64_t count = 0;
  double real = 0.0;
  bool flag = false;
  std::string text;   // Text, and the name of a Choice
  int choice = 0;     // Choice: index into KeyDef::choices
  std::string where;  // "study.toml:12" or "--set fitness.aabb=0.5"
};

// A value as it would be written in a study file (strings unquoted).
std::string SHOW(const Value& v);
// A real number in the shortest fixed-point form that reads back as the
// same double; the form the console accepts (digits and one point).
std::string SHORTEST(double x);

// Every settings key, in the order of the settings screen.
const std::vector<KeyDef>& KEYS();
// The key of that name, or null.
const KeyDef* FINDKEY(const std::string& name);
// The keys that start with "table." (for messages on unknown keys).
std::vector<std::string> KEYSIN(const std::string& table);

// Where a node was written: "FILE:LINE", or the --set argument it came
// from.
std::string WHERE(const toml::node& node);

// Converts node to a value of key, checking type and range. On failure
// returns false with a message that names the place, the key and what is
// allowed.
bool TOVALUE(const KeyDef& key, const toml::node& node, Value& out, std::string& fault);

// Settings of one job, by key name.
using SettingMap = std::map<std::string, Value>;

}  // namespace batch

#endif
