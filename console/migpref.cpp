// Editors of migration and of mating preferences.
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>

#include "console/ask.h"
#include "console/input.h"
#include "console/io.h"
#include "model/catalogue.h"
#include "model/derive.h"
#include "model/settings.h"

namespace {

// Asks the first eight immigrant proportions until their remainder, the
// aabb proportion, is not negative.
void ASKMIGF() {
  chk2 = 0;
  while (chk2 == 0) {
    for (int g = 0; g < 8; ++g) {
      const SettingRow& row = ROW("migration.mix." + GTNAME(g));
      migF[g] = ASKREAL("Proportion of " + GTNAME(g) + " genotype in immigrants [" + SPAN(row) + "]: ",
                        row.lo, row.hi, BADVALUE);
    }
    if (MIGREMAINDER() < 0.0) {
      *conOut << "\a\nGenotype proportions add up to a number" << std::endl
              << "greater than 1.0.  Try again.\n" << std::endl;
    } else {
      chk2 = 1;
    }
  }
}

// Asks the average number of immigrants, strictly between 0 and NTot. The
// explanation is part of the question, shown again before every try. The
// strict bounds are the inclusive bounds of the nearest doubles inside them.
void ASKMIGN() {
  const std::string size = std::to_string(NTot);
  const std::string question =
      "\n\nAverage number of immigrants per generation.\n"
      "This number does not have to be an integer.\n"
      "It must be greater than zero and less than the\n"
      "population size (" + size + ").\n"
      "Immigrants/generation [>0.0 - <" + size + "]: ";
  migN = ASKREAL(question, std::nextafter(ROW("migration.immigrants").lo, 1.0),
                 std::nextafter(static_cast<double>(NTot), 0.0), BADNUMBER);
}

// Asks whether the preferences act after (1) or before (2) mating.
std::int32_t ASKISOLATION() {
  std::int64_t choice = 0;
  for (;;) {
    *conOut << "\nYou have indicated that there are mating preferences." << std::endl
            << "Type '1' for postmating isolaton; type '2' for premating isolation." << std::endl;
    READWORD();
    if (TOINT(choice) && (choice == 1 || choice == 2)) return static_cast<std::int32_t>(choice);
    *conOut << "Invalid choice.  Try again." << std::endl;
  }
}

}  // namespace

void MIGEDIT() {
  if (doMig == 1) {
    // The old proportions stay, unseen, until migration is switched on
    // again, which asks for new ones.
    doMig = 0;
    migN = 0.0;
    migP = 0.0;
    return;
  }
  ASKMIGF();
  MIGCUMSUM();
  *conOut << "\nImmigrant genotype proportions:" << std::endl;
  for (int g = 0; g < 9; ++g) {
    *conOut << "p(" << GTNAME(g) << ")=" << FIXED(migF[g], 4) << std::endl;
  }
  ASKMIGN();
  doMig = 1;
  if (trackCopies == 1) {
    // Immigrants bring copies of no founder, so no copy could ever fix.
    trackCopies = 0;
    *conOut << "\nNote: You can not track gene copies when" << std::endl
            << "migration is allowed.  The program settings" << std::endl
            << "have been changed to reflect this.\n" << std::endl
            << "Type C<enter> to continue " << std::flush;
    PAUSE();
  }
}

void PREFEDIT() {
  *conOut << "Set relative mating preferences for the" << std::endl
          << "six possible matings involving gene Alpha." << std::endl
          << "Relative mating preferences will be scaled" << std::endl
          << "to a maximum of 1.0.  Negative values are" << std::endl
          << "not allowed.\n" << std::endl
          << "To prevent a given mating, set the relative" << std::endl
          << "mating preference to 0.0.\n" << std::endl;
  for (int k = 0; k < 6; ++k) {
    const SettingRow& row = ROW("mating." + MATINGNAME(k, "_"));
    matePref[k] = ASKREAL(MATINGNAME(k, " with ") + " [" + SPAN(row) + "]: ", row.lo, row.hi, BADVALUE);
  }
  SCALEPREF();
  // The question is asked at most once, whichever preferences differ.
  mateCheck = PREFSDIFFER() ? ASKISOLATION() : 0;
}
