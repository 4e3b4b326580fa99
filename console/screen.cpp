// The settings screen: its drawing, the command loop, the checks made
// before a run and the hand-over to the run.
#include <cstdint>
#include <iomanip>
#include <ostream>
#include <string>

#include "console/ask.h"
#include "console/dialogue.h"
#include "console/input.h"
#include "console/io.h"
#include "model/derive.h"
#include "model/driver.h"
#include "model/settings.h"

namespace {

const char* const CONTINUE = "Type C<enter> to continue. ";

// Two mating preferences side by side: classes k and k + 1.
std::string PREFPAIR(int k) {
  return "       " + MATINGNAME(k, ":") + " " + FIXED(matePref[k], 7) + "      " + MATINGNAME(k + 1, ":") +
         " " + FIXED(matePref[k + 1], 7);
}

// Right-hand text of genotype row g: the mating preferences, then the
// single-value fields.
std::string ROWTAIL(int g) {
  static const char* const isolation[3] = {"(none)", "(postmating)", "(premating)"};
  static const char* const fertilization[3] = {"Self-fert not allowed", "Self-fert allowed",
                                               "Monogamy enforced"};
  switch (g) {
    case 0:
      return std::string("       N MATING PREFERENCES ") + isolation[mateCheck];
    case 1:
    case 2:
    case 3:
      return PREFPAIR(2 * (g - 1));
    case 5:
      return "       L LINKAGE DISTANCE:  " + FIXED(rec_cM, 5) + " cM";
    case 6:
      return std::string("       F FERTILIZATION:     ") + fertilization[mateRule];
    case 7:
      return "       I ITERATIONS:        " + std::to_string(nIter);
    case 8:
      return "       M MAX GENERATIONS:   " + std::to_string(genMax);
    default:
      return "";
  }
}

void DRAWMIGRATION() {
  *conOut << "D MIGRATION: ";
  if (doMig == 0) {
    *conOut << "none" << std::endl;
    return;
  }
  *conOut << "Average number of immigrants/generation: " << FIXED(migN, 5) << std::endl;
  for (int g = 0; g < 9; ++g) {
    *conOut << (g % 3 == 0 ? "    p(" : "  p(") << GTNAME(g) << ")=" << FIXED(migF[g], 4);
    if (g % 3 == 2) {
      *conOut << std::endl;
    } else {
      *conOut << " ";
    }
  }
}

void DRAWOPTIONS() {
  static const char* const alpha[3] = {"any | ", "A  | ", "a   | "};
  static const char* const beta[3] = {"any", "B", "b"};
  *conOut << "G TRACK GENE COPY HISTORY? " << (trackCopies == 1 ? "Yes" : "No") << std::endl;
  *conOut << "V STOP ITERATION AT FIXATION? " << (stopAtFix == 1 ? "Yes" : "No") << std::endl;
  *conOut << "A ALLELE FIXATION: Alpha=" << alpha[setAllFix[0]] << "Beta=" << beta[setAllFix[1]]
          << std::endl;
}

// Letters and digits that the command prompt accepts.
bool ISCOMMAND(char c) {
  return c != '\0' && std::string("1234ACDFGILMNPQVW").find(c) != std::string::npos;
}

// Reads commands until one is accepted; Q halts at once.
char READCOMMAND() {
  int refusals = 0;
  char command = '\0';
  while (!ISCOMMAND(command)) {
    if (command != '\0') *conOut << (refusals++ == 0 ? "\aTRY AGAIN " : "\a> ") << std::flush;
    READWORD();
    command = FIRSTUP();
    // The empty word cannot be read, but must not end the loop either.
    if (command == '\0') command = ' ';
  }
  if (command == 'Q') GIVEUP();
  return command;
}

// One pass: the pending editor, the screen, one command, the checks.
// Returns 1 when the pass ends with a run.
int COMMANDPASS(char& pending) {
  LINEENDS(25);
  if (pending != '\0') {
    RUNEDITOR(pending);
    pending = '\0';
  }
  LINEENDS(25);
  DRAWSCREEN();
  *conOut << "\nType the letter or number <enter> for the field you wish "
          << "to change." << std::endl
          << "Type C<enter> to run the simulation(s).  Type Q<enter> to quit. " << std::flush;
  const char command = READCOMMAND();
  if (command != 'C') pending = command;
  const int passed = STARTCHECKS();
  return (command == 'C' && passed == 1) ? 1 : 0;
}

int FERTILITYCHECK() {
  const int fault = FERTILITYFAULT();
  if ((fault & FERTNONE) != 0) {
    LINEENDS(25);
    *conOut << "\n\n" << NOFERTILEMSG << "\n" << std::endl;
  }
  if ((fault & FERTFEWER) != 0) {
    LINEENDS(25);
    *conOut << "\n\n" << FEWFERTILEMSG << "\n" << std::endl;
  }
  if (fault != 0) {
    *conOut << CONTINUE << std::endl;
    PAUSE();
  }
  return fault == 0 ? 1 : 0;
}

int MATINGCHECK() {
  if (MATINGALLOWED()) return 1;
  *conOut << "\a\n\n\n" << NOMATINGMSG << std::endl
          << "Change either the starting population or" << std::endl
          << "the mating preferences.\n" << std::endl
          << CONTINUE << std::endl;
  PAUSE();
  return 0;
}

int MIGRATIONCHECK() {
  if (MIGRATIONFITS()) return 1;
  *conOut << "\a\n\nYou have changed your initial population size." << std::endl
          << MIGRATIONMSG << std::endl
          << "Change either the initial population or the migration settings.\n" << std::endl
          << CONTINUE << std::endl;
  PAUSE();
  return 0;
}

}  // namespace

void DRAWSCREEN() {
  *conOut << "Population Size: " << std::setw(7) << NTot << "          MUTATION RATES" << std::endl
          << "Type P to change POPULATION       1 A>a: " << FIXED(mutA[0], 8)
          << "    2 a>A: " << FIXED(mutA[1], 8) << std::endl
          << "Type W to change FITNESS          3 B>b: " << FIXED(mutB[0], 8)
          << "    4 b>B: " << FIXED(mutB[1], 8) << std::endl
          << "           P            W       " << std::endl;
  for (int g = 0; g < 9; ++g) {
    *conOut << GTNAME(g) << " " << std::setw(7) << startPop[g] << "  " << FIXED(startF[g], 3)
            << "  " << FIXED(w[g], 4) << ROWTAIL(g) << std::endl;
  }
  *conOut << std::endl;
  DRAWMIGRATION();
  DRAWOPTIONS();
}

int STARTCHECKS() {
  // Every check runs, so the user sees every reason at once.
  const int fertility = FERTILITYCHECK();
  const int matings = MATINGCHECK();
  const int migration = MIGRATIONCHECK();
  return (fertility == 1 && matings == 1 && migration == 1) ? 1 : 0;
}

void RUNEDITOR(char command) {
  switch (command) {
    case 'P': POPEDIT(); break;
    case 'W': FITEDIT(); break;
    case '1': MUTEDIT(0); break;
    case '2': MUTEDIT(1); break;
    case '3': MUTEDIT(2); break;
    case '4': MUTEDIT(3); break;
    case 'N': PREFEDIT(); break;
    case 'L': LINKEDIT(); break;
    case 'F': FERTEDIT(); break;
    case 'I': ITEREDIT(); break;
    case 'M': GENEDIT(); break;
    case 'D': MIGEDIT(); break;
    case 'G': TRACKEDIT(); break;
    case 'V': STOPEDIT(); break;
    case 'A': FIXEDIT(); break;
    default: break;
  }
}

void HANDOVER() {
  // OUTFILE opened both names moments ago, but the file system may have
  // changed since; a run without its files would be lost, so the user
  // chooses a new prefix or quits, as at the file prompt.
  std::string failed;
  while (!RUNHANDOVER(failed)) {
    FILEFAIL(failed);
    OUTFILE();
  }
}

void START() {
  OUTFILE();
  SEEDASK();
  char pending = '\0';
  while (COMMANDPASS(pending) == 0) {
  }
  HANDOVER();
}
