#include "batch/study.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <utility>

#include "batch/limits.h"
#include "batch/seeds.h"
#include "batch/values.h"
#include "model/settings.h"

namespace batch {

namespace {

using Leaf = std::pair<std::string, const toml::node*>;

// Entries of a table in the order they were written; toml++ keeps them by
// name. Entries put in by --set have no position and come last.
std::vector<std::pair<std::string, const toml::node*>> INORDER(const toml::table& table) {
  std::vector<std::pair<std::string, const toml::node*>> entries;
  for (auto&& [k, v] : table) entries.emplace_back(std::string(k.str()), &v);
  auto position = [](const toml::node* n) {
    const auto& b = n->source().begin;
    const bool placed = b.line != 0 && !(n->source().path && n->source().path->rfind("--set", 0) == 0);
    return std::make_pair(placed ? 0 : 1, std::make_pair(b.line, b.column));
  };
  std::stable_sort(entries.begin(), entries.end(),
                   [&](const auto& a, const auto& b) { return position(a.second) < position(b.second); });
  return entries;
}

// Leaves of a table under dotted names: [fitness] aabb = 0.5 and
// "fitness.aabb" = 0.5 both give fitness.aabb. An empty table is a leaf
// of its own unless it names a table of settings ([fitness] with nothing in
// it sets nothing): iterations = {} or [fitnes] is refused, not passed over.
void FLATTEN(const toml::table& table, const std::string& head, std::vector<Leaf>& leaves);

// The leaves a node of that dotted name gives.
void LEAVES(const toml::node& node, const std::string& dotted, std::vector<Leaf>& leaves) {
  const auto* sub = node.as_table();
  if (sub != nullptr && (!sub->empty() || !KEYSIN(dotted).empty())) {
    FLATTEN(*sub, dotted, leaves);
  } else {
    leaves.emplace_back(dotted, &node);
  }
}

void FLATTEN(const toml::table& table, const std::string& head, std::vector<Leaf>& leaves) {
  for (const auto& [name, node] : INORDER(table)) {
    LEAVES(*node, head.empty() ? name : head + "." + name, leaves);
  }
}

std::string JOIN(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
  return text;
}

std::string UNKNOWN(const std::string& where, const std::string& name) {
  std::string table = name.substr(0, name.rfind('.') == std::string::npos ? 0 : name.rfind('.'));
  std::vector<std::string> known = KEYSIN(table);
  while (known.empty() && !table.empty()) {
    table = table.substr(0, table.rfind('.') == std::string::npos ? 0 : table.rfind('.'));
    known = KEYSIN(table);
  }
  std::string text = where + ": unknown key " + name + "; ";
  if (table.empty()) {
    text += "a study holds prefix, seed, seed_mode, [sweep], [runs.NAME] and the settings " + JOIN(known);
  } else {
    text += table + " holds " + JOIN(known);
  }
  return text;
}

// A settings leaf: converted into map, or a fault.
void READSETTING(const Leaf& leaf, SettingMap& map, std::vector<std::string>& faults) {
  const SettingRow* row = FINDSETTING(leaf.first);
  if (row == nullptr) {
    faults.push_back(UNKNOWN(WHERE(*leaf.second), leaf.first));
    return;
  }
  SettingValue v;
  std::string fault;
  // A quoted key ("fitness.AABB" = 0.7) beside its table ([fitness] AABB)
  // names one setting twice; neither may silently win.
  const auto given = map.find(row->key);
  if (given != map.end()) {
    faults.push_back(WHERE(*leaf.second) + ": " + row->key + " is given twice (also at " + given->second.where +
                     "); give each setting once");
    return;
  }
  if (TOMLVALUE(*row, *leaf.second, v, fault)) {
    map[row->key] = v;
  } else {
    if (leaf.second->is_array()) fault += " (lists of values belong in [sweep])";
    faults.push_back(fault);
  }
}

struct SeedList {
  bool given = false;
  std::vector<std::uint32_t> seeds;
  std::string where;
};

const std::string SEEDRANGE =
    "a whole number from 1 to " + std::to_string(MAXSEED) + ", a list of them, or {from = 1, to = 10}";

bool ONESEED(const toml::node& node, std::uint32_t& seed, std::vector<std::string>& faults,
             const std::string& name = "seed") {
  const auto* i = node.as_integer();
  if (i == nullptr || i->get() < 1 || i->get() > MAXSEED) {
    std::ostringstream got;
    if (i != nullptr) got << " = " << i->get();
    faults.push_back(WHERE(node) + ": " + name + got.str() + (i == nullptr ? " is not a whole number" : " is out of range") +
                     "; allowed: " + SEEDRANGE);
    return false;
  }
  seed = static_cast<std::uint32_t>(i->get());
  return true;
}

SeedList SEEDS(const toml::node& node, std::vector<std::string>& faults) {
  SeedList list;
  list.given = true;
  list.where = WHERE(node);
  std::uint32_t seed = 0;
  if (const auto* array = node.as_array()) {
    for (const toml::node& element : *array) {
      if (ONESEED(element, seed, faults)) list.seeds.push_back(seed);
    }
    if (array->empty()) faults.push_back(list.where + ": seed is an empty list; allowed: " + SEEDRANGE);
  } else if (const auto* range = node.as_table()) {
    const toml::node* from = range->get("from");
    const toml::node* to = range->get("to");
    for (auto&& [k, v] : *range) {
      if (k.str() != "from" && k.str() != "to") {
        faults.push_back(WHERE(v) + ": unknown key seed." + std::string(k.str()) + "; a seed range holds from and to");
      }
    }
    std::uint32_t lo = 0;
    std::uint32_t hi = 0;
    if (from == nullptr || to == nullptr) {
      faults.push_back(list.where + ": a seed range needs both from and to; allowed: " + SEEDRANGE);
    } else if (ONESEED(*from, lo, faults, "seed.from") && ONESEED(*to, hi, faults, "seed.to")) {
      if (lo > hi) {
        faults.push_back(list.where + ": seed.from = " + std::to_string(lo) + " is above seed.to = " +
                         std::to_string(hi));
      }
      for (std::uint32_t s = lo; s <= hi && lo <= hi; ++s) list.seeds.push_back(s);
    }
  } else if (ONESEED(node, seed, faults)) {
    list.seeds.push_back(seed);
  }
  std::set<std::uint32_t> seen;
  for (std::uint32_t s : list.seeds) {
    if (!seen.insert(s).second) {
      faults.push_back(list.where + ": seed " + std::to_string(s) + " is listed twice; each seed names one job and its files");
    }
  }
  return list;
}

struct Run {
  std::string name;
  std::string where;
  SettingMap settings;
  SeedList seeds;
};

bool GOODNAME(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

struct Sweep {
  std::vector<std::string> keys;
  std::vector<std::vector<SettingValue>> values;  // per key
  bool zip = false;
  std::string where;
};

void READSWEEP(const toml::table& table, Sweep& sweep, std::vector<std::string>& faults) {
  sweep.where = WHERE(table);
  std::vector<Leaf> leaves;
  FLATTEN(table, "", leaves);
  for (const Leaf& leaf : leaves) {
    const std::string where = WHERE(*leaf.second);
    if (leaf.first == "mode") {
      const auto* mode = leaf.second->as_string();
      if (mode != nullptr && (mode->get() == "grid" || mode->get() == "zip")) {
        sweep.zip = mode->get() == "zip";
      } else {
        faults.push_back(where + ": sweep.mode must be \"grid\" (every combination) or \"zip\" (the lists side by side)");
      }
      continue;
    }
    if (leaf.first == "seed" || leaf.first == "prefix") {
      faults.push_back(where + ": sweep." + leaf.first + ": replicates are given by seed = [...] or {from, to}; the prefix is one for the study");
      continue;
    }
    const SettingRow* row = FINDSETTING(leaf.first);
    if (row == nullptr) {
      faults.push_back(UNKNOWN(where, leaf.first) + " (in [sweep])");
      continue;
    }
    const auto* array = leaf.second->as_array();
    if (array == nullptr || array->empty()) {
      faults.push_back(where + ": sweep." + leaf.first + " must be a list of values, each " + row->range);
      continue;
    }
    std::vector<SettingValue> values;
    for (const toml::node& element : *array) {
      SettingValue v;
      std::string fault;
      if (TOMLVALUE(*row, element, v, fault)) {
        values.push_back(v);
      } else {
        faults.push_back(fault);
      }
    }
    sweep.keys.push_back(row->key);
    sweep.values.push_back(values);
  }
}

// Digits, with a sign perhaps, that no 64-bit whole number holds.
bool BEYOND64(const std::string& text) {
  std::size_t at = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
  if (at == text.size()) return false;
  for (std::size_t i = at; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  errno = 0;
  std::strtoll(text.c_str(), nullptr, 10);
  return errno == ERANGE;
}

// A --set value: a TOML value, or else taken as a string.
bool SETVALUE(const std::string& arg, const std::string& text, toml::table& holder,
              std::vector<std::string>& faults) {
  const std::string source = "--set " + arg;
  try {
    holder = toml::parse(std::string_view("v = " + text + "\n"), std::string_view(source));
    if (holder.size() == 1 && holder.get("v") != nullptr) return true;
  } catch (const toml::parse_error&) {
  }
  std::string quoted;
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  try {
    holder = toml::parse(std::string_view("v = \"" + quoted + "\"\n"), std::string_view(source));
    return true;
  } catch (const toml::parse_error& e) {
    faults.push_back(source + ": the value cannot be read: " + std::string(e.description()));
    return false;
  }
}

std::vector<std::string> SPLITDOTS(const std::string& key) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = key.find('.', start);
    parts.push_back(key.substr(start, dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return parts;
}

// Removes a dotted settings key from a table (in either spelling).
void ERASEKEY(toml::table& table, const std::string& key) {
  table.erase(key);
  const std::size_t dot = key.find('.');
  if (dot == std::string::npos) return;
  if (auto* sub = table.get_as<toml::table>(key.substr(0, dot))) ERASEKEY(*sub, key.substr(dot + 1));
}

void APPLYSET(toml::table& root, const std::string& arg, std::vector<std::string>& faults) {
  const std::size_t eq = arg.find('=');
  if (eq == std::string::npos || eq == 0) {
    faults.push_back("--set " + arg + ": expected KEY=VALUE, for example --set fitness.aabb=0.5");
    return;
  }
  const std::string key = arg.substr(0, eq);
  // A whole number too long for TOML's 64 bits is still a whole number:
  // refused as out of range, as every other door refuses it, not read as a
  // string.
  const SettingRow* row = FINDSETTING(key);
  if (row != nullptr && BEYOND64(arg.substr(eq + 1))) {
    RawValue raw;
    raw.kind = RawValue::Integer;
    raw.beyond = true;
    raw.text = arg.substr(eq + 1);
    raw.where = "--set " + arg;
    SettingValue ignored;
    std::string fault;
    TOVALUE(*row, raw, ignored, fault);
    faults.push_back(fault);
    return;
  }
  toml::table holder;
  if (!SETVALUE(arg, arg.substr(eq + 1), holder, faults)) return;
  const std::vector<std::string> parts = SPLITDOTS(key);
  for (const std::string& p : parts) {
    if (p.empty()) {
      faults.push_back("--set " + arg + ": " + key + " is not a key");
      return;
    }
  }
  // The command line wins over every run and the sweep.
  if (FINDSETTING(key) != nullptr) {
    if (auto* sweep = root.get_as<toml::table>("sweep")) ERASEKEY(*sweep, key);
    if (auto* runs = root.get_as<toml::table>("runs")) {
      for (auto&& [name, run] : *runs) {
        if (auto* t = run.as_table()) ERASEKEY(*t, key);
      }
    }
    ERASEKEY(root, key);
  }
  toml::table* at = &root;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    toml::node* next = at->get(parts[i]);
    if (next == nullptr) {
      at->insert(parts[i], toml::table{});
      next = at->get(parts[i]);
    }
    if (!next->is_table()) {
      faults.push_back("--set " + arg + ": " + parts[i] + " holds a value, not a table of keys");
      return;
    }
    at = next->as_table();
  }
  at->insert_or_assign(parts.back(), std::move(*holder.get("v")));
}

std::string STEM(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name = name.substr(0, dot);
  return name;
}

std::string PADDED(std::size_t i, std::size_t n) {
  const std::string digits = std::to_string(n);
  std::string s = std::to_string(i);
  return std::string(digits.size() - s.size(), '0') + s;
}


using Faults = std::vector<std::string>;

// What the file says, before it becomes jobs.
struct Parts {
  SettingMap base;
  SeedList seeds;
  Sweep sweep;
  std::vector<Run> runs;
};

// The parsed file, with the --set arguments put in; false on a fault.
bool PARSE(const std::string& path, const Overrides& overrides, toml::table& root, Faults& faults) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    faults.push_back(path + ": cannot read the study file");
    return false;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!NESTINGOK(text, path, faults)) return false;
  try {
    root = toml::parse(std::string_view(text), std::string_view(path));
  } catch (const toml::parse_error& e) {
    faults.push_back(path + ":" + std::to_string(e.source().begin.line) + ":" +
                     std::to_string(e.source().begin.column) + ": malformed study file: " +
                     std::string(e.description()));
    return false;
  }
  std::map<std::string, std::string> keys;  // key of each --set, and the argument that gave it
  for (const std::string& arg : overrides.sets) {
    const std::string key = arg.substr(0, arg.find('='));
    const auto [at, fresh] = keys.emplace(key, arg);
    if (!fresh) {
      faults.push_back("--set " + arg + ": " + key + " is given twice on the command line (also --set " +
                       at->second + "); give each setting once");
      continue;
    }
    if (NESTINGOK(arg, "--set " + arg, faults)) APPLYSET(root, arg, faults);
  }
  return faults.empty() && JOBCOUNTOK(root, path, overrides.haveSeed, overrides.maxJobs, faults);
}

// One [runs.NAME] table: its settings and its own seeds.
void READRUN(const std::string& name, const toml::node& node, Parts& parts, Faults& faults) {
  Run run;
  run.name = name;
  run.where = WHERE(node);
  if (!GOODNAME(name)) {
    faults.push_back(run.where + ": run name \"" + name +
                     "\" may hold only letters, digits, - and _ (1 to 64 of them); it names files");
  }
  const auto* table = node.as_table();
  if (table == nullptr) {
    faults.push_back(run.where + ": runs." + name + " must be a table of settings");
    return;
  }
  std::vector<Leaf> leaves;
  for (const auto& [k, v] : INORDER(*table)) {
    if (k == "seed") {
      run.seeds = SEEDS(*v, faults);
    } else {
      LEAVES(*v, k, leaves);
    }
  }
  for (const Leaf& leaf : leaves) READSETTING(leaf, run.settings, faults);
  parts.runs.push_back(run);
}

void READPREFIX(const toml::node& node, Study& study, Faults& faults) {
  const auto* s = node.as_string();
  if (s == nullptr || s->get().empty() || s->get().find('\0') != std::string::npos) {
    faults.push_back(WHERE(node) + ": prefix must be a non-empty string naming the output files, such as \"results/demo\"");
  } else {
    study.prefix = s->get();
  }
}

// One entry of the top level of the file.
void READTOP(const std::string& name, const toml::node& node, Study& study, Parts& parts, Faults& faults) {
  if (name == "prefix") {
    READPREFIX(node, study, faults);
  } else if (name == "seed") {
    parts.seeds = SEEDS(node, faults);
  } else if (name == "seed_mode") {
    READSEEDMODE(node, study.independentSeeds, faults);
  } else if (name == "sweep") {
    if (const auto* t = node.as_table()) {
      READSWEEP(*t, parts.sweep, faults);
    } else {
      faults.push_back(WHERE(node) + ": sweep must be a table: [sweep] with KEY = [values]");
    }
  } else if (name == "runs") {
    const auto* t = node.as_table();
    if (t == nullptr) {
      faults.push_back(WHERE(node) + ": runs must hold tables: [runs.NAME] with settings");
      return;
    }
    for (const auto& [runName, runNode] : INORDER(*t)) READRUN(runName, *runNode, parts, faults);
  } else {
    std::vector<Leaf> leaves;
    LEAVES(node, name, leaves);
    for (const Leaf& leaf : leaves) READSETTING(leaf, parts.base, faults);
  }
}

void READOVERRIDES(const Overrides& overrides, Study& study, Faults& faults) {
  if (overrides.haveOut) {
    if (overrides.out.empty()) {
      faults.push_back("--out: the prefix must not be empty");
    } else {
      study.prefix = overrides.out;
    }
  }
  if (overrides.haveSeed && (overrides.seed < 1 || overrides.seed > MAXSEED)) {
    faults.push_back("--seed " + std::to_string(overrides.seed) + " is out of range; allowed: 1 to " +
                     std::to_string(MAXSEED));
  }
}

using Point = std::vector<const SettingValue*>;

// Every combination of the lists, the last key varying fastest.
std::vector<Point> GRIDPOINTS(const Sweep& sweep) {
  std::vector<Point> points(1);
  for (const auto& values : sweep.values) {
    std::vector<Point> grown;
    for (const auto& point : points) {
      for (const SettingValue& v : values) {
        grown.push_back(point);
        grown.back().push_back(&v);
      }
    }
    points.swap(grown);
  }
  return points;
}

// The lists side by side; they must be of one length.
bool ZIPPOINTS(const Sweep& sweep, std::vector<Point>& points, Faults& faults) {
  const std::size_t n = sweep.values[0].size();
  for (std::size_t k = 1; k < sweep.keys.size(); ++k) {
    if (sweep.values[k].size() != n) {
      faults.push_back(sweep.where + ": sweep.mode = \"zip\" needs lists of one length; sweep." + sweep.keys[0] +
                       " has " + std::to_string(n) + " values, sweep." + sweep.keys[k] + " has " +
                       std::to_string(sweep.values[k].size()));
      return false;
    }
  }
  points.assign(n, {});
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < sweep.keys.size(); ++k) points[i].push_back(&sweep.values[k][i]);
  }
  return true;
}

// A named run may not set what the sweep varies.
void CHECKRUNS(const Parts& parts, Faults& faults) {
  for (const Run& run : parts.runs) {
    for (const std::string& key : parts.sweep.keys) {
      const auto it = run.settings.find(key);
      if (it != run.settings.end()) {
        faults.push_back(it->second.where + ": runs." + run.name + " sets " + key +
                         ", which [sweep] varies; give it in one place only");
      }
    }
  }
}

// Every run has seeds; returns the most seeds of one run.
std::size_t CHECKSEEDS(const Parts& parts, const Overrides& overrides, Faults& faults) {
  std::size_t most = 0;
  for (const Run& run : parts.runs) {
    const SeedList& seeds = run.seeds.given ? run.seeds : parts.seeds;
    if (!seeds.given && !overrides.haveSeed) {
      faults.push_back(run.where + ": no seed for run " + run.name +
                       ": give seed = N (1 to " + std::to_string(MAXSEED) +
                       "), a list or {from, to} in the study, or --seed S");
    }
    most = std::max(most, seeds.seeds.size());
  }
  return most;
}

// The keys the index shows: swept keys, then keys set by named runs.
void SHOWNKEYS(const Parts& parts, Study& study) {
  for (const std::string& key : parts.sweep.keys) study.shownKeys.push_back(key);
  for (const Run& run : parts.runs) {
    for (const auto& [key, value] : run.settings) {
      if (std::find(study.shownKeys.begin(), study.shownKeys.end(), key) == study.shownKeys.end()) {
        study.shownKeys.push_back(key);
      }
    }
  }
}

// The jobs of one run at one sweep point, one per seed.
void ADDJOBS(const Run& run, const std::string& name, const SettingMap& settings, const Parts& parts,
             const Overrides& overrides, Study& study) {
  std::vector<std::uint32_t> seeds = run.seeds.given ? run.seeds.seeds : parts.seeds.seeds;
  if (overrides.haveSeed && !study.independentSeeds) seeds.assign(1, static_cast<std::uint32_t>(overrides.seed));
  for (std::uint32_t seed : seeds) {
    Job job;
    job.run = name;
    job.seed = seed;
    job.settings = settings;
    job.where = run.where;
    job.prefix = study.multi ? study.prefix + "_" + name + "_" + std::to_string(seed) : study.prefix;
    study.jobs.push_back(job);
  }
}

bool MAKEJOBS(const Parts& parts, const std::vector<Point>& points, bool named, const Overrides& overrides,
              Study& study, Faults& faults) {
  const Sweep& sweep = parts.sweep;
  for (const Run& run : parts.runs) {
    for (std::size_t p = 0; p < points.size(); ++p) {
      std::string name = run.name;
      if (points.size() > 1) name = (named ? name + "-p" : std::string("p")) + PADDED(p + 1, points.size());
      if (std::find(study.runs.begin(), study.runs.end(), name) != study.runs.end()) {
        faults.push_back(run.where + ": two runs are named " + name);
        return false;
      }
      study.runs.push_back(name);
      SettingMap settings = parts.base;
      for (const auto& [key, value] : run.settings) settings[key] = value;
      for (std::size_t k = 0; k < sweep.keys.size(); ++k) settings[sweep.keys[k]] = *points[p][k];
      ADDJOBS(run, name, settings, parts, overrides, study);
    }
  }
  return true;
}

}  // namespace

bool LOADSTUDY(const std::string& path, const Overrides& overrides, Study& study, Faults& faults) {
  study = Study{};
  study.file = path;
  study.prefix = STEM(path);
  toml::table root;
  if (!PARSE(path, overrides, root, faults)) return false;
  Parts parts;
  for (const auto& [name, node] : INORDER(root)) READTOP(name, *node, study, parts, faults);
  READOVERRIDES(overrides, study, faults);
  if (!faults.empty()) return false;
  std::vector<Point> points(1);
  if (!parts.sweep.keys.empty()) {
    if (!parts.sweep.zip) {
      points = GRIDPOINTS(parts.sweep);
    } else if (!ZIPPOINTS(parts.sweep, points, faults)) {
      return false;
    }
  }
  CHECKRUNS(parts, faults);
  if (!faults.empty()) return false;
  const bool named = !parts.runs.empty();
  if (!named) {
    Run only;
    only.name = "main";
    only.where = path;
    parts.runs.push_back(only);
  }
  const std::size_t seedCount = CHECKSEEDS(parts, overrides, faults);
  if (!faults.empty()) return false;
  study.multi = parts.runs.size() * points.size() > 1 || seedCount > 1;
  SHOWNKEYS(parts, study);
  return MAKEJOBS(parts, points, named, overrides, study, faults) && DERIVESEEDS(study, overrides, faults);
}

}  // namespace batch
