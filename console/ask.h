// Helpers shared by the parts of the dialogue: reading and converting
// answers, the numeric retry loops, pauses and fixed-point numbers.
#ifndef DUOLOCUS_CONSOLE_ASK_H
#define DUOLOCUS_CONSOLE_ASK_H

#include <cstdint>
#include <string>

#include "model/catalogue.h"

// Failure messages of the numeric question families.
extern const char* const BADNUMBER;
extern const char* const BADVALUE;

// Upper-cased first character of the word in strng.
char FIRSTUP();

// Converts the word in strng when it passes GF_INTCHK and fits an int64;
// a word of digits too long for 64 bits is as unacceptable as a letter.
bool TOINT(std::int64_t& value);
// Converts the word in strng when it passes GF_REALCHK and is finite.
bool TOREAL(double& value);

// The numeric retry loop: writes prompt, reads a word, and repeats with
// the failure message until the answer lies in lo..hi (both included).
std::int64_t ASKINT(const std::string& prompt, std::int64_t lo, std::int64_t hi, const char* fail);
double ASKREAL(const std::string& prompt, double lo, double hi, const char* fail);

// Reads words until one begins with c or C.
void PAUSE();
// Reads words until one begins with N or Q; Q halts the program.
void NORQUIT();

// Writes n line ends.
void LINEENDS(int n);

// x in fixed-point notation with the given number of decimals.
std::string FIXED(double x, int decimals);

// The catalogue's row of a setting the dialogue edits (it always exists).
const SettingRow& ROW(const std::string& key);
// The range of a row as a prompt shows it: "0.0 - 50.0", "1 - 50000".
std::string SPAN(const SettingRow& row);

// Editors of the settings screen, one per field.
void POPEDIT();
void FITEDIT();
void MUTEDIT(int rate);  // 0 A>a, 1 a>A, 2 B>b, 3 b>B
void LINKEDIT();
void FERTEDIT();
void ITEREDIT();
void GENEDIT();
void TRACKEDIT();
void STOPEDIT();
void FIXEDIT();
void MIGEDIT();
void PREFEDIT();

// Writes the three lines that answer a file that cannot be opened, then
// waits for N (returns) or Q (halts).
void FILEFAIL(const std::string& name);

#endif
