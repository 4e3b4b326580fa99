// Editors of the single fields of the settings screen.
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

#include "console/ask.h"
#include "console/input.h"
#include "console/io.h"
#include "model/catalogue.h"
#include "model/derive.h"
#include "model/settings.h"

namespace {

// Asks the nine counts once and returns their total.
std::int64_t ASKCOUNTS() {
  // Any single count is taken; only the total is held to the limit.
  const std::int64_t most = std::numeric_limits<std::int64_t>::max();
  for (int g = 0; g < 9; ++g) {
    const SettingRow& row = ROW("founders." + GTNAME(g));
    startPop[g] = ASKINT("Number of " + GTNAME(g) + " individuals: ", static_cast<std::int64_t>(row.lo), most,
                         BADNUMBER);
  }
  return POPSUM();
}

// Asks which allele of one gene is to fix: 0 either, 1 capital, 2 small.
std::int32_t ASKFIX(const char* gene, char capital, char small) {
  *conOut << "If you do not care which " << gene << " allele fixes, type 0." << std::endl
          << "If you want to know when the " << capital << " allele fixes, type 1." << std::endl
          << "If you want to know when the " << small << " allele fixes, type 2." << std::endl;
  const SettingRow& row = ROW(gene[0] == 'A' ? "fixation.alpha" : "fixation.beta");
  return static_cast<std::int32_t>(
      ASKINT("Enter 0, 1 or 2: ", static_cast<std::int64_t>(row.lo), static_cast<std::int64_t>(row.hi), BADVALUE));
}

}  // namespace

void POPEDIT() {
  for (;;) {
    *conOut << "Maximum population size is " << MAXPOP << ".\n" << std::endl
            << "Enter Values for the Starting Population:" << std::endl;
    NTot = ASKCOUNTS();
    if (NTot == 0) {
      *conOut << "\a\nPopulation size is zero." << std::endl;
    } else if (NTot > MAXPOP) {
      *conOut << "\a\nPopulation size exceeds " << MAXPOP << "." << std::endl;
    } else {
      break;
    }
  }
  POPFREQ();
}

void FITEDIT() {
  for (int g = 0; g < 9; ++g) {
    const SettingRow& row = ROW("fitness." + GTNAME(g));
    w[g] = ASKREAL("Fitness of " + GTNAME(g) + " genotype [" + SPAN(row) + "]: ", row.lo, row.hi, BADVALUE);
  }
  SCALEFIT();
}

void MUTEDIT(int rate) {
  double* const target[4] = {&mutA[0], &mutA[1], &mutB[0], &mutB[1]};
  const SettingRow& row = ROW("mutation." + MUTATIONNAME(rate, "_to_"));
  *target[rate] = ASKREAL("Mutation rate of " + MUTATIONNAME(rate, " to ") + " [" + SPAN(row) + "]: ",
                          row.lo, row.hi, BADVALUE);
}

void LINKEDIT() {
  // The explanation is part of the question: it is shown before every try.
  const SettingRow& row = ROW("map_distance_cM");
  const std::string question =
      "You must specify the map distance between\n"
      "genes A and B.\n"
      "  A map distance of 0.0 cM allows no\n"
      "  crossing-over between the two genes.\n\n"
      "  A map distance of 50 cM allows for\n"
      "  independent assortment of the two genes.\n\n"
      "Map distance [" + SPAN(row) + " cM]: ";
  rec_cM = ASKREAL(question, row.lo, row.hi, BADVALUE);
  LINKDERIVE();
}

void FERTEDIT() {
  // Allowed -> monogamy -> not allowed -> allowed.
  static const std::int32_t next[3] = {1, 2, 0};
  mateRule = next[mateRule];
}

void ITEREDIT() {
  const SettingRow& row = ROW("iterations");
  nIter = ASKINT("Number of iterations using the same settings [" + SPAN(row) + "]: ",
                 static_cast<std::int64_t>(row.lo), static_cast<std::int64_t>(row.hi), BADNUMBER);
}

void GENEDIT() {
  const SettingRow& row = ROW("max_generations");
  genMax = ASKINT("Maximum number of generations/iteration [" + SPAN(row) + "]: ",
                  static_cast<std::int64_t>(row.lo), static_cast<std::int64_t>(row.hi), BADNUMBER);
}

void TRACKEDIT() {
  if (trackCopies == 1) {
    trackCopies = 0;
  } else if (doMig == 0) {
    trackCopies = 1;
  } else {
    *conOut << "Note: You can not track gene copies if" << std::endl
            << "migration is allowed.\n" << std::endl
            << "Type C<enter> to continue. " << std::flush;
    PAUSE();
  }
}

void STOPEDIT() { stopAtFix = (stopAtFix == 0) ? 1 : 0; }

void FIXEDIT() {
  setAllFix[0] = ASKFIX("Alpha", 'A', 'a');
  *conOut << std::endl;
  setAllFix[1] = ASKFIX("Beta", 'B', 'b');
  if (setAllFix[0] > 0 || setAllFix[1] > 0) {
    *conOut << "\nWARNING:" << std::endl
            << "You have chosen to track fixation of a specific allele." << std::endl
            << "In the absence of appropriate mutation and/or migration," << std::endl
            << "fixation of that allele may not occur before the specified" << std::endl
            << "maximum number of generations.\n" << std::endl
            << "Type C<enter> to continue. " << std::endl;
    PAUSE();
  }
}
