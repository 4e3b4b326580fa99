// The settings of a run, field by field, put into the program as the
// editors of the settings screen would put them: the machinery behind
// APPLYSETTINGS (model/catalogue.h), shared by every front end and by the
// typed console session duolocus-batch prints.
//
// Each screen row of the catalogue names its field by the screen letter
// (SettingRow::field) and says where its value goes; an editor here holds what the field does
// beyond storing its rows (the derivation, the rules over the whole
// group) and the keystrokes that set it at the console. Nothing here asks
// which setting a value belongs to: a new row of an existing field is
// stored, derived, checked and typed with the others.
#ifndef DUOLOCUS_MODEL_FIELDS_H
#define DUOLOCUS_MODEL_FIELDS_H

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "model/catalogue.h"

using Faults = std::vector<std::string>;

// The keystrokes of a console session, as the batch program prints it for
// a user to type (or pipe) into the console program.
class Keystrokes {
 public:
  // A command letter; the start checks then run on the settings as they
  // are (its editor comes after them), and each failed check waits for C.
  void Command(char letter);
  void Count(std::int64_t n) { text_ << n << '\n'; }
  void Real(double x) { text_ << SHORTEST(x) << '\n'; }
  void Word(const std::string& word) { text_ << word << '\n'; }
  int LastFailed() const { return lastFailed_; }
  std::string Text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  int lastFailed_ = 0;
};

// One field of the settings screen, as its editor sets it.
struct Editor {
  char letter;  // its command on the settings screen
  // Whether the settings give the field; null for "any of its rows".
  bool (*gives)(const SettingMap& settings);
  // Rows left out count 0 once any row of the field is given (tables that
  // must add up); otherwise a row left out keeps what the program holds.
  bool leftOutZero;
  // Off until a study switches it on: its derivation is not made from the
  // defaults.
  bool optional;
  // What the editor derives from what was entered; null for nothing.
  void (*derive)();
  // What the editor refuses or adjusts, given the whole group; null for
  // nothing.
  void (*rule)(const SettingMap& settings, Faults& faults);
  // Types the command and its answers, then sets the field (with
  // APPLYEDITOR) so the next start checks see what the console will see.
  void (*keys)(Keystrokes& keys, const SettingMap& settings, const struct Editor& editor, Faults& faults);
};

// The editors in the order a typed session visits them (founders first:
// the migration editor checks the number of immigrants against the
// population).
const std::vector<Editor>& EDITORS();
// The editor of a screen letter, or null.
const Editor* EDITOROF(char letter);

// Whether the settings give any key of the field.
bool GIVES(const SettingMap& settings, const Editor& editor);

// Sets one field from the settings with everything its editor derives.
// Appends a message for each combination the editor would refuse.
void APPLYEDITOR(const SettingMap& settings, const Editor& editor, Faults& faults);

// Puts a value where its row says, as the row's editor stores it.
void STOREVALUE(const SettingRow& row, const SettingValue& value);
// Puts the row's default there.
void STOREDEFAULT(const SettingRow& row);

// The start checks of the settings screen on the current settings; one
// message for each that fails.
std::vector<std::string> STARTFAULTS();

// The value of key in settings, or null.
const SettingValue* SETTING(const SettingMap& settings, const std::string& key);

#endif
