// The founding population of every iteration.
#ifndef DUOLOCUS_ENGINE_FOUNDERS_H
#define DUOLOCUS_ENGINE_FOUNDERS_H

// Builds generation 0 in pIND from startPop, in genotype order; sets N, f.
void POPBUILD();
// The random keys of the shuffle of pNIND (NTot draws); the order they
// would give is never read, so pNIND is left as it is.
void SHUFFLE();

#endif
