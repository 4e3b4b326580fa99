#include "model/driver.h"

int main() { return RUNPROGRAM(); }
