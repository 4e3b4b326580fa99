// The settings dialogue: prompts, the settings screen and the editors.
#ifndef DUOLOCUS_CONSOLE_DIALOGUE_H
#define DUOLOCUS_CONSOLE_DIALOGUE_H

// Before each run: prefix, seed, settings screen until C; then seeds the
// generator, sets fitCheck and mutCheck, opens both files and writes the
// banner line.
void START();
// Asks for the output prefix until both files can be opened.
void OUTFILE();
// Asks for the random seed.
void SEEDASK();
// After each run: asks whether to run again; sets doProgAgain.
void AGAIN();

// Writes the settings screen (without the command prompt).
void DRAWSCREEN();
// Runs the three start checks with their messages and pauses; 1 when all
// three pass.
int STARTCHECKS();
// Runs the editor of an accepted command letter (nothing for C).
void RUNEDITOR(char command);
// Seeds the generator, sets the run flags, opens both files for the run
// and writes the banner line.
void HANDOVER();

#endif
