// Temporary until the engine lands.
#include "engine/founders.h"
#include "engine/generation.h"
#include "engine/random.h"
#include "model/fixation.h"
#include "model/iteration.h"
#include "model/state.h"
std::uint64_t randCalls, drawCount;
void GLIBCSRAND(std::uint32_t) {}
std::int32_t GLIBCRAND() { return 0; }
void SEEDRND() {}
int RNDI() { return 0; }
double RANDREAL() { return 0.0; }
void RANDRESET() {}
void POPBUILD() {}
void SHUFFLE() {}
void GENBUILD() {}
void MUTATE() {}
std::int32_t INDEXDRAW() { return 0; }
void ITERINIT() { contIter = 1; }
void CONTCHK() { contIter = 0; }
void ALCOMP() {}
void COALESCE() {}
void ADDNEW() {}
