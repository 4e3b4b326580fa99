// The questions that frame every run: output prefix, seed, run again.
#include <cstdint>
#include <ostream>
#include <string>

#include "console/ask.h"
#include "console/dialogue.h"
#include "console/input.h"
#include "console/io.h"
#include "model/settings.h"
#include "model/state.h"
#include "report/files.h"

void FILEFAIL(const std::string& name) {
  // The cause may as well be a missing directory or a lack of permission;
  // one message serves them all.
  *conOut << "\aTHE FILE " << name << " MAY ALREADY EXIST." << std::endl
          << "TYPE Q <enter> TO QUIT" << std::endl
          << "OR N <enter> FOR NEW FILENAME.> " << std::flush;
  NORQUIT();
}

void OUTFILE() {
  for (;;) {
    *conOut << "Prefix of output files (.csv and .txt suffixes added): " << std::flush;
    READWORD();
    onm = strng;
    datanm = onm + ".csv";
    sumnm = onm + ".txt";
    datafl.clear();
    if (!OPENFILE(datafl, datanm)) {
      FILEFAIL(datanm);
      datafl.clear();
      continue;
    }
    sumfl.clear();
    if (!OPENFILE(sumfl, sumnm)) {
      FILEFAIL(sumnm);
      datafl.close();
      sumfl.clear();
      continue;
    }
    // Both files now exist and are empty; the hand-over opens them again.
    datafl.close();
    sumfl.close();
    return;
  }
}

void SEEDASK() {
  rsd = static_cast<std::uint32_t>(
      ASKINT("Random number generator seed [integer, 1 - " + std::to_string(MAXSEED) + "]: ", 1,
             MAXSEED, "\a\nBad seed.  Try again."));
}

void AGAIN() {
  *conOut << "\n" << std::endl << "Do you want to run the program again? [Y/N] " << std::flush;
  READWORD();
  fchar = FIRSTUP();
  *conOut << std::endl;
  while (fchar != 'Y' && fchar != 'N') {
    *conOut << "\aTry again. [Y/N]? " << std::flush;
    READWORD();
    fchar = FIRSTUP();
  }
  doProgAgain = (fchar == 'Y') ? 1 : 0;
  *conOut << std::endl;
}
