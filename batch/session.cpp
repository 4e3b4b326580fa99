#include "batch/session.h"

#include <sstream>
#include <vector>

#include "model/biology.h"
#include "model/derive.h"
#include "model/driver.h"
#include "model/fields.h"
#include "model/settings.h"

namespace batch {

bool CONSOLESESSION(const SettingMap& settings, const std::string& prefix, std::uint32_t seed,
                    std::string& session, std::string& fault) {
  if (prefix.find_first_of(" \t\n\r\v\f") != std::string::npos || prefix.find('\0') != std::string::npos) {
    fault = "the console reads the prefix as one word: \"" + prefix + "\" cannot be typed there";
    return false;
  }
  std::vector<std::string> faults;
  SettingMap screen = settings;
  if (!TRANSLATEBIOLOGY(screen, faults)) {
    fault = faults.empty() ? "the settings cannot be translated" : faults[0];
    return false;
  }
  RESETPROGRAM();
  STARTDEF();
  Keystrokes t;
  t.Word(prefix);
  t.Count(seed);
  for (const Editor& e : EDITORS()) {
    if (GIVES(screen, e)) e.keys(t, screen, e, faults);
  }
  // A row the screen does not show can be typed only at its default.
  for (const SettingRow& row : CATALOGUE()) {
    if (row.screen != '\0' || row.field == '\0' || !faults.empty()) continue;
    const SettingValue* v = SETTING(screen, row.key);
    if (v == nullptr || SHOWVALUE(*v) == row.deflt) continue;
    faults.push_back(v->where + ": " + row.key + " = " + SHOWVALUE(*v) +
                     ": the console cannot set it (its founders " + GTNAME(4) +
                     " take a random phase); only duolocus-batch, the package and the lab run such founders");
  }
  t.Command('C');
  if (!faults.empty() || t.LastFailed() != 0) {
    fault = faults.empty() ? "the console would not start this run (a start check fails)" : faults[0];
    return false;
  }
  t.Word("N");
  session = t.Text();
  return true;
}

}  // namespace batch
