// The text report (PREFIX.txt) and the iteration table (PREFIX.csv).
#ifndef DUOLOCUS_REPORT_REPORT_H
#define DUOLOCUS_REPORT_REPORT_H

// Writes the settings block of the text report to sumfl.
void SETTINGSREPORT();
// End of an iteration: on the first, the settings report and the CSV header;
// then the iteration's row unless it was halted by extinction.
void OUTWRITE();
// After a run of two or more iterations: the summary statistics.
void SUMSTATS();

#endif
