// The text report (PREFIX.txt) and the iteration table (PREFIX.csv).
#ifndef DUOLOCUS_REPORT_REPORT_H
#define DUOLOCUS_REPORT_REPORT_H

#include <cstdint>

// Writes the settings block of the text report to sumfl.
void SETTINGSREPORT();
// End of an iteration: on the first, the settings report and the CSV header;
// then the iteration's row unless it was halted by extinction.
void OUTWRITE();
// Counts the current generation's AaBb individuals in coupling phase and
// its chromosomes by haplotype (AB, Ab, aB, ab).
void CHROMCOUNT(std::int64_t& coupling, std::int64_t hapCount[4]);
// After a run of two or more iterations: the summary statistics.
void SUMSTATS();

#endif
