// What the editors derive from what the user enters, and the checks made
// before a run. The settings screen and the batch program both go through
// these, so a setting typed at the console and one read from a study file
// end up as the same doubles, computed in the same order.
#ifndef DUOLOCUS_MODEL_DERIVE_H
#define DUOLOCUS_MODEL_DERIVE_H

#include <cstdint>

// Total of the nine starting counts; a total too large to be held stays at
// the largest int64, which is refused like any total above MAXPOP.
std::int64_t POPSUM();
// startF from startPop and NTot (NTot 1 to MAXPOP).
void POPFREQ();

// Divides the nine fitnesses by the largest. All zeros stay zeros: nobody is
// fertile and the start checks say so.
void SCALEFIT();
// Divides the six preferences by the largest; all zeros stay zeros.
void SCALEPREF();
// Whether the scaled preferences differ, so that the isolation type must be
// chosen (mateCheck 1 postmating, 2 premating; 0 when they do not differ).
bool PREFSDIFFER();

// The aabb share of immigrants: 1 minus the first eight, summed in genotype
// order. Stored in migF[8]; a negative remainder means the eight add up to
// more than 1.
double MIGREMAINDER();
// The running sums migCumF of migF, in genotype order.
void MIGCUMSUM();

// rec from rec_cM.
void LINKDERIVE();

// fitCheck and mutCheck for the run about to start.
void RUNFLAGS();

// The start checks without their console messages.
// Starting individuals whose genotype has a fitness above 0.
std::int64_t FERTILECOUNT();
// Fertility: 0 passes; otherwise FERTNONE (nobody fertile, under any rule
// but 0) plus FERTFEWER (fewer than two fertile, under rules 0 and 2): under
// monogamy with nobody fertile both apply, and the console writes both.
constexpr int FERTNONE = 1;
constexpr int FERTFEWER = 2;
int FERTILITYFAULT();
// Some mating possible among the founders has a preference above 0.
bool MATINGALLOWED();
// No more immigrants per generation than individuals.
bool MIGRATIONFITS();

// The messages of the start checks, as the console shows them (without the
// blank lines and bells around them).
extern const char* const NOFERTILEMSG;
extern const char* const FEWFERTILEMSG;
extern const char* const NOMATINGMSG;
extern const char* const MIGRATIONMSG;

// First line of every text report.
extern const char* const BANNER;

#endif
