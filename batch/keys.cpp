#include "batch/keys.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>

#include "model/settings.h"

namespace batch {

namespace {

const char* const GT[9] = {"AABB", "AABb", "AAbb", "AaBB", "AaBb", "Aabb", "aaBB", "aaBb", "aabb"};
const char* const PREFS[6] = {"AA_AA", "AA_Aa", "AA_aa", "Aa_Aa", "Aa_aa", "aa_aa"};

std::vector<KeyDef> MAKEKEYS() {
  const double most = static_cast<double>(std::numeric_limits<std::int64_t>::max());
  const std::int64_t pop[9] = {10, 20, 10, 20, 40, 20, 10, 20, 10};
  std::vector<KeyDef> keys;
  for (int g = 0; g < 9; ++g) {
    keys.push_back({std::string("founders.") + GT[g], Type::Count, 0, most, {},
                    "a whole number, 0 or more; the nine add up to 1 to 1000000",
                    std::to_string(pop[g]),
                    std::string("founders of genotype ") + GT[g] + " in every iteration"});
  }
  for (int g = 0; g < 9; ++g) {
    keys.push_back({std::string("fitness.") + GT[g], Type::Real, 0.0, 1.0, {},
                    "a number from 0.0 to 1.0; the nine are scaled so that the largest is 1.0",
                    "1.0", std::string("relative fitness of ") + GT[g]});
  }
  const char* const change[4] = {"A_to_a", "a_to_A", "B_to_b", "b_to_B"};
  const char* const words[4] = {"A to a", "a to A", "B to b", "b to B"};
  for (int i = 0; i < 4; ++i) {
    keys.push_back({std::string("mutation.") + change[i], Type::Real, 0.0, 1.0, {},
                    "a number from 0.0 to 1.0", "0.0",
                    std::string("mutation rate ") + words[i] + " per gene copy per generation"});
  }
  keys.push_back({"map_distance_cM", Type::Real, 0.0, 50.0, {}, "a number from 0.0 to 50.0",
                  "0.0", "map distance between the genes in cM (recombination fraction cM / 100)"});
  keys.push_back({"fertilization", Type::Choice, 0, 0,
                  {"selfing-not-allowed", "selfing-allowed", "monogamy"},
                  "\"selfing-allowed\", \"selfing-not-allowed\" or \"monogamy\"",
                  "\"selfing-allowed\"", "fertilization rule"});
  for (int k = 0; k < 6; ++k) {
    keys.push_back({std::string("mating.") + PREFS[k], Type::Real, 0.0, 1.0, {},
                    "a number from 0.0 to 1.0; the six are scaled so that the largest is 1.0",
                    "1.0", "relative preference of the mating " + std::string(PREFS[k]).replace(2, 1, " with ")});
  }
  keys.push_back({"mating.isolation", Type::Choice, 0, 0, {"none", "postmating", "premating"},
                  "\"postmating\" or \"premating\" (required when the preferences differ)",
                  "none", "how the mating preferences act"});
  keys.push_back({"migration.immigrants", Type::Real, 0.0, most, {},
                  "0 (no migration), or more than 0 and less than the population size", "0",
                  "average number of immigrants per generation"});
  for (int g = 0; g < 8; ++g) {
    keys.push_back({std::string("migration.mix.") + GT[g], Type::Real, 0.0, 1.0, {},
                    "a number from 0.0 to 1.0; the eight add up to at most 1.0 (aabb takes "
                    "the rest)",
                    "0.0", std::string("share of ") + GT[g] + " among immigrants"});
  }
  keys.push_back({"iterations", Type::Count, 1, static_cast<double>(MAXITER), {},
                  "a whole number from 1 to 50000", "1", "iterations run with these settings"});
  keys.push_back({"max_generations", Type::Count, 1, static_cast<double>(MAXGEN), {},
                  "a whole number from 1 to 9999999", "30000", "generation limit of an iteration"});
  keys.push_back({"track_gene_copies", Type::Flag, 0, 0, {}, "true or false (false with migration)",
                  "true (false when migration is on)", "track gene-copy history"});
  keys.push_back({"stop_at_fixation", Type::Flag, 0, 0, {}, "true or false", "true",
                  "end an iteration once everything tracked has fixed"});
  keys.push_back({"fixation.alpha", Type::Choice, 0, 0, {"any", "A", "a"},
                  "\"any\", \"A\" or \"a\"", "\"any\"", "which Alpha allele fixation counts"});
  keys.push_back({"fixation.beta", Type::Choice, 0, 0, {"any", "B", "b"},
                  "\"any\", \"B\" or \"b\"", "\"any\"", "which Beta allele fixation counts"});
  return keys;
}

std::string TYPENAME(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::integer: return "a whole number";
    case toml::node_type::floating_point: return "a number with a point";
    case toml::node_type::boolean: return "true or false";
    case toml::node_type::string: return "a string";
    case toml::node_type::array: return "a list";
    case toml::node_type::table: return "a table";
    default: return "a date or time";
  }
}

// The value as written, for messages.
std::string WRITTEN(const toml::node& node) {
  std::ostringstream text;
  if (const auto* s = node.as_string()) {
    text << '"' << s->get() << '"';
  } else if (const auto* d = node.as_floating_point()) {
    text << SHORTEST(d->get());
  } else if (node.is_integer() || node.is_boolean()) {
    node.visit([&](auto&& v) {
      if constexpr (toml::is_integer<decltype(v)> || toml::is_boolean<decltype(v)>) text << v;
    });
  } else {
    text << TYPENAME(node);
  }
  return text.str();
}

}  // namespace

const std::vector<KeyDef>& KEYS() {
  static const std::vector<KeyDef> keys = MAKEKEYS();
  return keys;
}

const KeyDef* FINDKEY(const std::string& name) {
  for (const KeyDef& key : KEYS()) {
    if (key.name == name) return &key;
  }
  return nullptr;
}

std::vector<std::string> KEYSIN(const std::string& table) {
  std::vector<std::string> names;
  const std::string head = table.empty() ? "" : table + ".";
  for (const KeyDef& key : KEYS()) {
    if (key.name.compare(0, head.size(), head) != 0) continue;
    std::string rest = key.name.substr(head.size());
    rest = rest.substr(0, rest.find('.'));
    bool seen = false;
    for (const std::string& n : names) seen = seen || n == rest;
    if (!seen) names.push_back(rest);
  }
  return names;
}

std::string SHORTEST(double x) {
  char buf[400];
  const auto result = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed);
  return std::string(buf, result.ptr);
}

std::string SHOW(const Value& v) {
  switch (v.type) {
    case Type::Count: return std::to_string(v.count);
    case Type::Real: return SHORTEST(v.real);
    case Type::Flag: return v.flag ? "true" : "false";
    default: return v.text;
  }
}

std::string WHERE(const toml::node& node) {
  const toml::source_region& src = node.source();
  const std::string path = src.path ? *src.path : std::string("?");
  if (path.compare(0, 5, "--set") == 0) return path;
  return path + ":" + std::to_string(src.begin.line);
}

bool TOVALUE(const KeyDef& key, const toml::node& node, Value& out, std::string& fault) {
  out = Value{};
  out.type = key.type;
  out.where = WHERE(node);
  const std::string lead = out.where + ": " + key.name + " = " + WRITTEN(node);
  bool typeOk = false;
  bool inRange = false;
  switch (key.type) {
    case Type::Count:
      if (const auto* i = node.as_integer()) {
        typeOk = true;
        out.count = i->get();
        inRange = static_cast<double>(out.count) >= key.lo && static_cast<double>(out.count) <= key.hi;
      }
      break;
    case Type::Real:
      if (const auto* d = node.as_floating_point()) {
        typeOk = true;
        // -0.0 cannot be typed at the console and would print with a sign.
        out.real = d->get() + 0.0;
      } else if (const auto* i = node.as_integer()) {
        typeOk = true;
        out.real = static_cast<double>(i->get());
      }
      inRange = typeOk && std::isfinite(out.real) && out.real >= key.lo && out.real <= key.hi;
      break;
    case Type::Flag:
      if (const auto* b = node.as_boolean()) {
        typeOk = inRange = true;
        out.flag = b->get();
      }
      break;
    case Type::Choice:
    case Type::Text:
      if (const auto* s = node.as_string()) {
        typeOk = true;
        out.text = s->get();
        if (key.type == Type::Text) {
          inRange = true;
        } else {
          for (std::size_t c = 0; c < key.choices.size(); ++c) {
            if (key.choices[c] == out.text) {
              inRange = true;
              out.choice = static_cast<int>(c);
            }
          }
        }
      }
      break;
  }
  if (!typeOk) {
    fault = lead + " is " + TYPENAME(node) + "; allowed: " + key.range;
    return false;
  }
  if (!inRange) {
    fault = lead + " is out of range; allowed: " + key.range;
    return false;
  }
  return true;
}

}  // namespace batch
