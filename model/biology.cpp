// TEMPORARY: stands in for the translation of the settings in the terms of
// biology until it is merged; it refuses every such key. Replaced at merge.
#include "model/biology.h"

bool TRANSLATEBIOLOGY(SettingMap& settings, std::vector<std::string>& faults) {
  bool ok = true;
  for (const auto& [key, value] : settings) {
    const SettingRow* row = FINDSETTING(key);
    if (row != nullptr && row->variable[0] == '\0') {
      faults.push_back(value.where + ": " + key + " is not yet supported");
      ok = false;
    }
  }
  return ok;
}
