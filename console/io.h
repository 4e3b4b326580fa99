// The console: every question reads and every message writes through this
// stream pair, so tests can point it at string streams.
#ifndef DUOLOCUS_CONSOLE_IO_H
#define DUOLOCUS_CONSOLE_IO_H

#include <iosfwd>
#include <string>

extern std::istream* conIn;
extern std::ostream* conOut;

// Points the console at the given streams.
void CONSOLE(std::istream& in, std::ostream& out);

// Reads the next white-space separated word, whole, into strng. When no
// word can be read any more the program halts as through GIVEUP.
void READWORD();

#endif
