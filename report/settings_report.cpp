// The settings block of the text report, written once per run after the
// banner line.
#include <ostream>
#include <string>

#include "model/catalogue.h"
#include "model/settings.h"
#include "model/state.h"
#include "report/format.h"
#include "report/report.h"

namespace {

// A setting's label as the catalogue gives it, so that what reads a report
// back finds each value by the same text.
const char* LABEL(const std::string& key) { return FINDSETTING(key)->report; }

void REPORTTITLE(std::ostream& os) {
  os << "\n\nInitial settings\n";
  LINEEND(os);
  os << "OUTPUT FILE: " << sumnm;
  LINEEND(os);
  os << "RANDOM NUMBER SEED: " << rsd << "\n";
  LINEEND(os);
}

// The columns end under their headings: counts under Number, proportions
// under Proportion, fitnesses under Relative Fitness.
void REPORTGENOTYPES(std::ostream& os) {
  os << "                               Relative";
  LINEEND(os);
  os << "Genotype   Number  Proportion  Fitness";
  LINEEND(os);
  for (int g = 0; g < 9; ++g) {
    os << GTNAME(g) << "      ";
    PUTRIGHT(os, startPop[g], 7);
    os << "  ";
    PUTFIXED(os, startF[g], 8);
    os << "  ";
    PUTFIXED(os, w[g], 8);
    LINEEND(os);
  }
  os << "\nTotal Population Size: " << NTot << "\n";
  LINEEND(os);
}

void REPORTMUTATION(std::ostream& os) {
  const double rate[4] = {mutA[0], mutA[1], mutB[0], mutB[1]};
  os << "MUTATION RATES:";
  LINEEND(os);
  for (int i = 0; i < 4; ++i) {
    os << LABEL("mutation." + MUTATIONNAME(i, "_to_")) << ' ';
    PUTFIXED(os, rate[i], 8);
    if (i == 3) os << "\n";
    LINEEND(os);
  }
}

// All six preferences are listed whatever the isolation type, so a report
// shows what would apply were preferences switched on.
void REPORTPREFS(std::ostream& os) {
  os << LABEL("mating.isolation") << ' '
     << PICKTEXT(mateCheck, "(none)", "(postmating)", "(premating)");
  LINEEND(os);
  for (int i = 0; i < 6; ++i) {
    if (i % 3 != 0) os << "  ";
    os << LABEL("mating." + MATINGNAME(i, "_")) << ' ';
    PUTFIXED(os, matePref[i], 8);
    if (i == 5) os << "\n";
    if (i % 3 == 2) LINEEND(os);
  }
}

void REPORTMIGRATION(std::ostream& os) {
  os << "MIGRATION: ";
  if (doMig == 0) {
    os << "none";
    LINEEND(os);
    return;
  }
  // The line's head was written above; the label holds both.
  const std::string label = LABEL("migration.immigrants");
  os << label.substr(label.find(' ') + 1) << ' ';
  PUTFIXED(os, migN, 5);
  LINEEND(os);
  for (int g = 0; g < 9; ++g) {
    os << (g % 3 == 0 ? "    " : "  ") << LABEL("migration.mix." + GTNAME(g));
    PUTFIXED(os, migF[g], 4);
    if (g % 3 != 2) {
      os << " ";
    } else {
      LINEEND(os);
    }
  }
}

void REPORTRULES(std::ostream& os) {
  os << LABEL("map_distance_cM") << ' ';
  PUTFIXED(os, rec * 100.0, 7);
  os << " cM";
  LINEEND(os);
  REPORTMIGRATION(os);
  os << LABEL("fertilization") << ' '
     << PICKTEXT(mateRule, " Self-fertilization not allowed\n", " Self-fertilization allowed\n",
                 " Monogamy enforced\n");
  LINEEND(os);
  os << LABEL("max_generations") << ' ' << genMax;
  LINEEND(os);
  os << LABEL("fixation.alpha") << ' '
     << PICKTEXT(setAllFix[0], "either A or a allele must fix", "A allele must fix",
                 "a allele must fix");
  LINEEND(os);
  os << LABEL("fixation.beta") << ' '
     << PICKTEXT(setAllFix[1], "either B or b allele must fix", "B allele must fix",
                 "b allele must fix");
  LINEEND(os);
  os << LABEL("stop_at_fixation") << ' ' << (stopAtFix != 0 ? "Yes\n" : "No\n");
  LINEEND(os);
}

}  // namespace

void SETTINGSREPORT() {
  REPORTTITLE(sumfl);
  REPORTGENOTYPES(sumfl);
  REPORTMUTATION(sumfl);
  REPORTPREFS(sumfl);
  REPORTRULES(sumfl);
}
