// The run driver: program entry, run initialisation and halting.
#ifndef DUOLOCUS_MODEL_DRIVER_H
#define DUOLOCUS_MODEL_DRIVER_H

#include <string>

// The whole program: runs until the user declines another run. Returns the
// exit status: 0, or 1 when an output file could not be written completely.
int RUNPROGRAM();

// Per-run initialisation: migP, tallies, immigrant templates.
void RUNINIT();

// One iteration: founders, then generations until iteration control ends
// it; then its row and its tallies.
void ITERATION();

// Simulates the iterations of one run (after START has handed over).
void RUNITERATIONS();

// Writes the halt message and ends the program (status 0, or 1 when an
// output file of an earlier run could not be written completely).
[[noreturn]] void GIVEUP();

// What GIVEUP does after its message: by default it exits. Tests install
// a function that throws, so a halted dialogue can be examined in-process;
// it must not return.
using HaltFn = void (*)();
extern HaltFn haltHook;

// Observers of a run, all null in the console program: a scripted run shows
// its progress and samples trajectories through them, and the fuzzer caps
// the size of a run. They draw nothing and write nothing to the files, so a
// run is the same with or without them unless they change settings.
using HookFn = void (*)();
extern HookFn runHook;         // after START has handed over, before MEMALLOC
extern HookFn foundersHook;    // after each iteration's founders are built (generation 0)
extern HookFn generationHook;  // after each generation's fixation tests and CONTCHK
extern HookFn iterationHook;   // after each iteration's row and tallies

// The hand-over to a run, shared by the console's C command and the run
// entry: seeds the random source with rsd, sets the run flags, opens both
// files of the run and writes the banner line. False, with the name of the
// file that could not be opened (and nothing open), when a file fails.
bool RUNHANDOVER(std::string& failed);

// Puts every setting, state variable, array, file stream and the random
// source back to program start (before the defaults). The console streams
// and the hooks above are left as they are: whoever set them restores them.
// The program calls it once; tests call it before each case.
void RESETPROGRAM();

#endif
