// Allele fixation, gene-copy fixation and the run tallies.
#ifndef DUOLOCUS_MODEL_FIXATION_H
#define DUOLOCUS_MODEL_FIXATION_H

void ALCOMP();
void COALESCE();
void ADDNEW();

#endif
