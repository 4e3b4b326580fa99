#include "batch/session.h"

#include <sstream>
#include <vector>

#include "model/biology.h"
#include "model/derive.h"
#include "model/driver.h"
#include "model/fields.h"
#include "model/settings.h"

namespace batch {

namespace {

class Typist {
 public:
  // A command letter; the start checks then run on the settings as they
  // are (its editor comes after them), and each failed check waits for C.
  void Command(char letter) {
    text_ << letter << '\n';
    const int failed = (FERTILITYFAULT() != 0 ? 1 : 0) + (MATINGALLOWED() ? 0 : 1) +
                       (MIGRATIONFITS() ? 0 : 1);
    for (int i = 0; i < failed; ++i) text_ << "C\n";
    lastFailed_ = failed;
  }
  void Count(std::int64_t n) { text_ << n << '\n'; }
  void Real(double x) { text_ << SHORTEST(x) << '\n'; }
  void Word(const std::string& word) { text_ << word << '\n'; }
  int LastFailed() const { return lastFailed_; }
  std::string Text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  int lastFailed_ = 0;
};

// A field's answers are what its editor leaves in the program, read back
// after APPLYFIELD; only fitness and preferences are typed as given, since
// their editors scale what is typed.
using Faults = std::vector<std::string>;

void TYPEFOUNDERS(Typist& t, const SettingMap& s, Faults& faults) {
  t.Command('P');
  APPLYFIELD(s, Field::Founders, faults);
  for (std::int64_t n : startPop) t.Count(n);
}

void TYPEMIGRATION(Typist& t, const SettingMap& s, Faults& faults) {
  t.Command('D');
  const std::int32_t tracked = trackCopies;
  APPLYFIELD(s, Field::Migration, faults);
  for (int g = 0; g < 8; ++g) t.Real(migF[g]);
  t.Real(migN);
  if (tracked == 1) t.Word("C");  // the note that tracking is switched off
}

void TYPEFITNESS(Typist& t, const SettingMap& s, Faults& faults) {
  t.Command('W');
  for (int g = 0; g < 9; ++g) {
    const SettingValue* v = SETTING(s, "fitness." + GTNAME(g));
    t.Real(v != nullptr ? v->real : w[g]);
  }
  APPLYFIELD(s, Field::Fitness, faults);
}

void TYPEMUTATION(Typist& t, const SettingMap& s) {
  double* const target[4] = {&mutA[0], &mutA[1], &mutB[0], &mutB[1]};
  for (int i = 0; i < 4; ++i) {
    const SettingValue* v = SETTING(s, "mutation." + MUTATIONNAME(i, "_to_"));
    if (v == nullptr) continue;
    t.Command(static_cast<char>('1' + i));
    t.Real(v->real);
    *target[i] = v->real;
  }
}

void TYPEFERTILIZATION(Typist& t, const SettingMap& s) {
  // F steps the rule: allowed, monogamy, not allowed, allowed.
  static const std::int32_t next[3] = {1, 2, 0};
  const std::int32_t target = SETTING(s, "fertilization")->choice;
  while (mateRule != target) {
    t.Command('F');
    mateRule = next[mateRule];
  }
}

void TYPEMATING(Typist& t, const SettingMap& s, Faults& faults) {
  t.Command('N');
  for (int k = 0; k < 6; ++k) {
    const SettingValue* v = SETTING(s, "mating." + MATINGNAME(k, "_"));
    t.Real(v != nullptr ? v->real : matePref[k]);
  }
  APPLYFIELD(s, Field::Mating, faults);
  if (mateCheck != 0) t.Count(mateCheck);
}

// The switches G and V: typed only when they must change.
void TYPESWITCH(Typist& t, const SettingMap& s, Field field, Faults& faults) {
  const bool tracking = field == Field::Tracking;
  const SettingValue* v = SETTING(s, tracking ? "track_gene_copies" : "stop_at_fixation");
  const std::int32_t now = tracking ? trackCopies : stopAtFix;
  if (now == (v->flag ? 1 : 0) || (tracking && doMig != 0)) return;
  t.Command(tracking ? 'G' : 'V');
  APPLYFIELD(s, field, faults);
}

void TYPEFIXATION(Typist& t, const SettingMap& s, Faults& faults) {
  t.Command('A');
  APPLYFIELD(s, Field::Fixation, faults);
  t.Count(setAllFix[0]);
  t.Count(setAllFix[1]);
  if (setAllFix[0] > 0 || setAllFix[1] > 0) t.Word("C");  // the warning
}

// One-answer fields: the command, then the value the editor keeps.
void TYPEONE(Typist& t, const SettingMap& s, Field field, Faults& faults) {
  t.Command(field == Field::Linkage ? 'L' : field == Field::Iterations ? 'I' : 'M');
  APPLYFIELD(s, field, faults);
  if (field == Field::Linkage) {
    t.Real(rec_cM);
  } else {
    t.Count(field == Field::Iterations ? nIter : genMax);
  }
}

// Types one field's command and answers, then sets the field as its editor
// does, so the next start checks see what the console will see.
void TYPEFIELD(Typist& t, const SettingMap& s, Field field, Faults& faults) {
  switch (field) {
    case Field::Founders: TYPEFOUNDERS(t, s, faults); return;
    case Field::Migration: TYPEMIGRATION(t, s, faults); return;
    case Field::Fitness: TYPEFITNESS(t, s, faults); return;
    case Field::Mutation: TYPEMUTATION(t, s); return;
    case Field::Fertilization: TYPEFERTILIZATION(t, s); return;
    case Field::Mating: TYPEMATING(t, s, faults); return;
    case Field::Tracking:
    case Field::Stopping: TYPESWITCH(t, s, field, faults); return;
    case Field::Fixation: TYPEFIXATION(t, s, faults); return;
    default: TYPEONE(t, s, field, faults); return;
  }
}

}  // namespace

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
  Typist t;
  t.Word(prefix);
  t.Count(seed);
  for (Field field : FIELDORDER()) {
    if (GIVES(screen, field)) TYPEFIELD(t, screen, field, faults);
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
