// The founding population of every iteration.
#ifndef DUOLOCUS_ENGINE_FOUNDERS_H
#define DUOLOCUS_ENGINE_FOUNDERS_H

// Builds generation 0 in pIND from startPop, in genotype order; sets N, f.
void POPBUILD();
// Reorders pNIND by random keys (NTot draws).
void SHUFFLE();
// Reorders pNIND by the keys in pRand: ascending, the lower position first
// among equal keys.
void PERMUTE();

#endif
