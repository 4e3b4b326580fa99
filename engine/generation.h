// The generation builder: migration, parent choice, transmission, mutation.
#ifndef DUOLOCUS_ENGINE_GENERATION_H
#define DUOLOCUS_ENGINE_GENERATION_H

#include <cstdint>

// Builds one generation into pNIND and makes it the current one. When no
// permitted pair of parents is left it stops early with iterExtinct set.
void GENBUILD();
// Mutates every allele of pNIND at the four rates (four draws a record)
// and notes the genotypes afresh in pNGT.
void MUTATE();
// Index draw of a candidate parent: a position 0 to NTot - 1.
std::int32_t INDEXDRAW();

#endif
