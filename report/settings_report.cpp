// The settings block of the text report, written once per run after the
// banner line.
#include <ostream>

#include "model/settings.h"
#include "model/state.h"
#include "report/format.h"
#include "report/report.h"

namespace {

void reportTitle(std::ostream& os) {
  os << "\n\nInitial settings\n";
  lineEnd(os);
  os << "OUTPUT FILE: " << sumnm;
  lineEnd(os);
  os << "RANDOM NUMBER SEED: " << rsd << "\n";
  lineEnd(os);
}

// The columns end under their headings: counts under Number, proportions
// under Proportion, fitnesses under Relative Fitness.
void reportGenotypes(std::ostream& os) {
  os << "                               Relative";
  lineEnd(os);
  os << "Genotype   Number  Proportion  Fitness";
  lineEnd(os);
  for (int g = 0; g < 9; ++g) {
    os << GTNAME(g) << "      ";
    putRight(os, startPop[g], 7);
    os << "  ";
    putFixed(os, startF[g], 8);
    os << "  ";
    putFixed(os, w[g], 8);
    lineEnd(os);
  }
  os << "\nTotal Population Size: " << NTot << "\n";
  lineEnd(os);
}

void reportMutation(std::ostream& os) {
  static const char* const label[4] = {"A to a: ", "a to A: ", "B to b: ", "b to B: "};
  const double rate[4] = {mutA[0], mutA[1], mutB[0], mutB[1]};
  os << "MUTATION RATES:";
  lineEnd(os);
  for (int i = 0; i < 4; ++i) {
    os << label[i];
    putFixed(os, rate[i], 8);
    if (i == 3) os << "\n";
    lineEnd(os);
  }
}

// All six preferences are listed whatever the isolation type, so a report
// shows what would apply were preferences switched on.
void reportPreferences(std::ostream& os) {
  static const char* const label[6] = {"AA:AA ", "AA:Aa ", "AA:aa ", "Aa:Aa ", "Aa:aa ", "aa:aa "};
  os << "MATING PREFERENCES "
     << pickText(mateCheck, "(none)", "(postmating)", "(premating)");
  lineEnd(os);
  for (int i = 0; i < 6; ++i) {
    if (i % 3 != 0) os << "  ";
    os << label[i];
    putFixed(os, matePref[i], 8);
    if (i == 5) os << "\n";
    if (i % 3 == 2) lineEnd(os);
  }
}

void reportMigration(std::ostream& os) {
  os << "MIGRATION: ";
  if (doMig == 0) {
    os << "none";
    lineEnd(os);
    return;
  }
  os << "Average number of immigrants/generation: ";
  putFixed(os, migN, 5);
  lineEnd(os);
  for (int g = 0; g < 9; ++g) {
    os << (g % 3 == 0 ? "    p(" : "  p(") << GTNAME(g) << ")=";
    putFixed(os, migF[g], 4);
    if (g % 3 != 2) {
      os << " ";
    } else {
      lineEnd(os);
    }
  }
}

void reportRules(std::ostream& os) {
  os << "LINKAGE BETWEEN A & B GENES: ";
  putFixed(os, rec * 100.0, 7);
  os << " cM";
  lineEnd(os);
  reportMigration(os);
  os << "FERTILIZATION: "
     << pickText(mateRule, " Self-fertilization not allowed\n", " Self-fertilization allowed\n",
                 " Monogamy enforced\n");
  lineEnd(os);
  os << "MAXIMUM NUMBER OF GENERATIONS PER ITERATION: " << genMax;
  lineEnd(os);
  os << "ALPHA ALLELE FIXATION TRACKED: "
     << pickText(setAllFix[0], "either A or a allele must fix", "A allele must fix",
                 "a allele must fix");
  lineEnd(os);
  os << "BETA ALLELE FIXATION TRACKED: "
     << pickText(setAllFix[1], "either B or b allele must fix", "B allele must fix",
                 "b allele must fix");
  lineEnd(os);
  os << "ITERATIONS STOPPED AFTER FIXATION: " << (stopAtFix != 0 ? "Yes\n" : "No\n");
  lineEnd(os);
}

}  // namespace

void SETTINGSREPORT() {
  reportTitle(sumfl);
  reportGenotypes(sumfl);
  reportMutation(sumfl);
  reportPreferences(sumfl);
  reportRules(sumfl);
}
