// Temporary: replaced by the real reports.
#include "report/report.h"
void SETTINGSREPORT() {}
void OUTWRITE() {}
void SUMSTATS() {}
