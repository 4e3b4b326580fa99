// The run driver: program entry, run initialisation and halting.
#ifndef DUOLOCUS_MODEL_DRIVER_H
#define DUOLOCUS_MODEL_DRIVER_H

// The whole program: runs until the user declines another run. Returns the
// exit status (always 0).
int RUNPROGRAM();

// Per-run initialisation: migP, tallies, immigrant templates.
void RUNINIT();

// One iteration: founders, then generations until iteration control ends
// it; then its row and its tallies.
void ITERATION();

// Simulates the iterations of one run (after START has handed over).
void RUNITERATIONS();

// Writes the halt message and ends the program with status 0.
[[noreturn]] void GIVEUP();

// What GIVEUP does after its message: by default std::exit(0). Tests install
// a function that throws, so a halted dialogue can be examined in-process;
// it must not return.
using HaltFn = void (*)();
extern HaltFn haltHook;

// Puts every setting, state variable, array, stream and the random source
// back to program start (before the defaults), and the console back on the
// standard streams. The program calls it once; tests call it before each case.
void RESETPROGRAM();

#endif
