// Settings as a study file writes them: a TOML value converted by the
// settings catalogue (model/catalogue.h), which holds every key, range and
// default; this file only knows TOML.
#ifndef DUOLOCUS_BATCH_VALUES_H
#define DUOLOCUS_BATCH_VALUES_H

#include <string>
#include <vector>

#include <toml++/toml.h>

#include "model/catalogue.h"

namespace batch {

// Where a node was written: "FILE:LINE", or the --set argument it came
// from.
std::string WHERE(const toml::node& node);

// Converts node to a value of row, checking type and range (TOVALUE). On
// failure returns false with a message that names the place, the key and
// what is allowed.
bool TOMLVALUE(const SettingRow& row, const toml::node& node, SettingValue& out, std::string& fault);

// The names directly below table among the settings keys ("fitness" gives
// AABB ... aabb; "" gives founders, fitness, ...), for messages on unknown
// keys.
std::vector<std::string> KEYSIN(const std::string& table);

}  // namespace batch

#endif
