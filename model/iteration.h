// Iteration control: the start of each iteration and the decision, after
// every generation, whether it goes on.
#ifndef DUOLOCUS_MODEL_ITERATION_H
#define DUOLOCUS_MODEL_ITERATION_H

void ITERINIT();
void CONTCHK();

#endif
