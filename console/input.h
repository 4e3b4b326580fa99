// Input rules shared by every question of the dialogue.
#ifndef DUOLOCUS_CONSOLE_INPUT_H
#define DUOLOCUS_CONSOLE_INPUT_H

#include <cstdint>
#include <string>

// The word last read. Words are kept whole, whatever their length.
extern std::string strng;
// Upper-cased first character of the last answer to a pause, the run-again
// question or the file-failure question.
extern char fchar;
extern std::int32_t chk;
extern std::int32_t chk2;

// The dialogue's own state as at program start: no word read, no answer.
void RESETCONSOLE();

// 1 when every character is a decimal digit (the empty word passes).
int GF_INTCHK(const char* text);
// 1 when every character is a decimal digit but for at most one '.'.
int GF_REALCHK(const char* text);

#endif
