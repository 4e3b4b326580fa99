#include "batch/values.h"

namespace batch {

namespace {

std::string TYPENAME(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::array: return "a list";
    case toml::node_type::table: return "a table";
    default: return "a date or time";
  }
}

// The scalar a node holds; false for lists, tables, dates and times.
bool TORAW(const toml::node& node, RawValue& raw) {
  raw.where = WHERE(node);
  if (const auto* s = node.as_string()) {
    raw.kind = RawValue::Text;
    raw.text = s->get();
  } else if (const auto* d = node.as_floating_point()) {
    raw.kind = RawValue::Real;
    raw.real = d->get();
  } else if (const auto* i = node.as_integer()) {
    raw.kind = RawValue::Integer;
    raw.integer = i->get();
  } else if (const auto* b = node.as_boolean()) {
    raw.kind = RawValue::Boolean;
    raw.boolean = b->get();
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::string WHERE(const toml::node& node) {
  const toml::source_region& src = node.source();
  const std::string path = src.path ? *src.path : std::string("?");
  if (path.compare(0, 5, "--set") == 0) return path;
  return path + ":" + std::to_string(src.begin.line);
}

bool TOMLVALUE(const SettingRow& row, const toml::node& node, SettingValue& out, std::string& fault) {
  RawValue raw;
  if (!TORAW(node, raw)) {
    const std::string kind = TYPENAME(node);
    fault = raw.where + ": " + row.key + " = " + kind + " is " + kind + "; allowed: " + row.range;
    return false;
  }
  return TOVALUE(row, raw, out, fault);
}

std::vector<std::string> KEYSIN(const std::string& table) {
  std::vector<std::string> names;
  const std::string head = table.empty() ? "" : table + ".";
  for (const SettingRow& row : CATALOGUE()) {
    const std::string key = row.key;
    if (key.compare(0, head.size(), head) != 0) continue;
    std::string rest = key.substr(head.size());
    rest = rest.substr(0, rest.find('.'));
    bool seen = false;
    for (const std::string& n : names) seen = seen || n == rest;
    if (!seen) names.push_back(rest);
  }
  return names;
}

}  // namespace batch
