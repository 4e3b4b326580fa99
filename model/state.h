// Simulation state shared by the driver, the engine and the reports.
#ifndef DUOLOCUS_MODEL_STATE_H
#define DUOLOCUS_MODEL_STATE_H

#include <cstdint>
#include <fstream>

// Genotype counts and frequencies of the newest generation.
extern std::int64_t N[9];
extern double f[9];

extern std::int64_t gen;     // generation last built in this iteration
extern std::int64_t rep;     // iteration number within the run, from 1
extern std::int32_t contIter;
extern std::int32_t iterExtinct;

// Fixation state of the current iteration. Allele state 2 and generation
// genMax + 1 mean "not fixed"; copy -1 means "no copy fixed".
extern std::int32_t fixedAAll, fixedBAll;
extern std::int64_t genFixedAAll, genFixedBAll;
extern std::int64_t fixedACopy, fixedBCopy;
extern std::int64_t genFixedACopy, genFixedBCopy;
extern std::int32_t ancAHap, ancBHap;

// Run tallies.
extern std::int64_t totAFixed[3], totBFixed[3];
extern std::int64_t sumGenFixedAAll, sumGenFixedBAll;
extern std::int64_t sumGenFixedACopy, sumGenFixedBCopy;
extern std::int64_t noFixedACopy, noFixedBCopy;
extern std::int64_t nIterExtinct;

extern std::int32_t doSeed;
extern std::int32_t doProgAgain;

// The iteration table and the text report; they live for the whole program.
extern std::ofstream datafl;
extern std::ofstream sumfl;

// Puts the simulation state and the run tallies back to program start.
void RESETSTATE();

#endif
