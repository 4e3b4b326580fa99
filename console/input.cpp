#include "console/input.h"

std::string strng;
char fchar = '.';
std::int32_t chk = 0;
std::int32_t chk2 = 0;

int GF_INTCHK(const char* text) {
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return 0;
  }
  return 1;
}

int GF_REALCHK(const char* text) {
  int points = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '.') {
      if (++points > 1) return 0;
    } else if (*c < '0' || *c > '9') {
      return 0;
    }
  }
  return 1;
}

void RESETCONSOLE() {
  strng.clear();
  fchar = '.';
  chk = chk2 = 0;
}
