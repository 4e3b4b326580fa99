// Temporary: replaced by the real dialogue.
#include "console/dialogue.h"
#include "model/settings.h"
#include "model/state.h"
#include "engine/random.h"
void START() {
  rsd = 1; onm = "out"; datanm = "out.csv"; sumnm = "out.txt";
  SEEDRND(); fitCheck = 0; mutCheck = 0;
  for (double x : w) if (x < 1.0) fitCheck = 1;
  if (mutA[0] > 0 || mutA[1] > 0 || mutB[0] > 0 || mutB[1] > 0) mutCheck = 1;
  datafl.open(datanm); sumfl.open(sumnm); sumfl << "Duolocus v6.1" << std::endl;
}
void OUTFILE() {}
void SEEDASK() {}
void AGAIN() { doProgAgain = 0; }
