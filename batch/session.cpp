#include "batch/session.h"

#include <sstream>
#include <vector>

#include "batch/apply.h"
#include "model/derive.h"
#include "model/driver.h"
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

const char* const GT[9] = {"AABB", "AABb", "AAbb", "AaBB", "AaBb", "Aabb", "aaBB", "aaBb", "aabb"};
const char* const PREFS[6] = {"AA_AA", "AA_Aa", "AA_aa", "Aa_Aa", "Aa_aa", "aa_aa"};
const char* const CHANGE[4] = {"A_to_a", "a_to_A", "B_to_b", "b_to_B"};

// Types one field's command and answers, then sets the field as its editor
// does, so the next start checks see what the console will see.
void TYPEFIELD(Typist& t, const SettingMap& s, Field field, std::vector<std::string>& faults) {
  switch (field) {
    case Field::Founders: {
      t.Command('P');
      APPLYFIELD(s, field, faults);
      for (std::int64_t n : startPop) t.Count(n);
      return;
    }
    case Field::Migration: {
      t.Command('D');
      const std::int32_t tracked = trackCopies;
      APPLYFIELD(s, field, faults);
      for (int g = 0; g < 8; ++g) t.Real(migF[g]);
      t.Real(migN);
      if (tracked == 1) t.Word("C");  // the note that tracking is switched off
      return;
    }
    case Field::Fitness:
      t.Command('W');
      for (int g = 0; g < 9; ++g) {
        const auto it = s.find(std::string("fitness.") + GT[g]);
        t.Real(it != s.end() ? it->second.real : w[g]);
      }
      APPLYFIELD(s, field, faults);
      return;
    case Field::Mutation:
      for (int i = 0; i < 4; ++i) {
        const auto it = s.find(std::string("mutation.") + CHANGE[i]);
        if (it == s.end()) continue;
        t.Command(static_cast<char>('1' + i));
        t.Real(it->second.real);
        double* const target[4] = {&mutA[0], &mutA[1], &mutB[0], &mutB[1]};
        *target[i] = it->second.real;
      }
      return;
    case Field::Linkage:
      t.Command('L');
      APPLYFIELD(s, field, faults);
      t.Real(rec_cM);
      return;
    case Field::Fertilization: {
      const std::int32_t target = s.at("fertilization").choice;
      static const std::int32_t next[3] = {1, 2, 0};
      while (mateRule != target) {
        t.Command('F');
        mateRule = next[mateRule];
      }
      return;
    }
    case Field::Mating:
      t.Command('N');
      for (int k = 0; k < 6; ++k) {
        const auto it = s.find(std::string("mating.") + PREFS[k]);
        t.Real(it != s.end() ? it->second.real : 1.0);
      }
      APPLYFIELD(s, field, faults);
      if (mateCheck != 0) t.Count(mateCheck);
      return;
    case Field::Tracking:
      if (trackCopies != (s.at("track_gene_copies").flag ? 1 : 0) && doMig == 0) {
        t.Command('G');
        APPLYFIELD(s, field, faults);
      }
      return;
    case Field::Stopping:
      if (stopAtFix != (s.at("stop_at_fixation").flag ? 1 : 0)) {
        t.Command('V');
        APPLYFIELD(s, field, faults);
      }
      return;
    case Field::Fixation:
      t.Command('A');
      APPLYFIELD(s, field, faults);
      t.Count(setAllFix[0]);
      t.Count(setAllFix[1]);
      if (setAllFix[0] > 0 || setAllFix[1] > 0) t.Word("C");  // the warning
      return;
    case Field::Iterations:
      t.Command('I');
      APPLYFIELD(s, field, faults);
      t.Count(nIter);
      return;
    case Field::Generations:
      t.Command('M');
      APPLYFIELD(s, field, faults);
      t.Count(genMax);
      return;
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
  RESETPROGRAM();
  STARTDEF();
  Typist t;
  t.Word(prefix);
  t.Count(seed);
  for (Field field : FIELDORDER()) {
    if (GIVES(settings, field)) TYPEFIELD(t, settings, field, faults);
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
