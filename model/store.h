// The population store: individual records, the per-run arrays and the
// immigrant templates.
#ifndef DUOLOCUS_MODEL_STORE_H
#define DUOLOCUS_MODEL_STORE_H

#include <cstdint>

// One diploid individual. Index [0] and [1] are its two chromosomes; at each
// gene a copy is an allele, a gene-copy identifier and the haplotype code of
// the founding chromosome it started on (-1 and -1 for immigrants' copies).
struct IND {
  std::int32_t alleleA[2];
  std::int64_t copyA[2];
  std::int32_t originA[2];
  std::int32_t alleleB[2];
  std::int64_t copyB[2];
  std::int32_t originB[2];
};

extern IND* pIND;         // current generation
extern IND* pNIND;        // next generation, being built
extern IND* pPERMUTEIND;  // shuffle scratch
extern double* pRand;     // shuffle keys
extern std::int64_t* pMated;  // monogamy partners, -1 for none
extern std::int64_t* pOrder;  // shuffle scratch: positions sorted by key
// Genotype index of each individual of the current generation. Parent choice
// reads genotypes at random positions; a byte each keeps those reads in cache
// where the whole records would not be.
extern std::uint8_t* pGT;

// Immigrant templates, filled per run.
extern IND mIND[10];

// Genotype index of an individual.
inline int GTINDEX(const IND& ind) {
  return 3 * (ind.alleleA[0] + ind.alleleA[1]) + ind.alleleB[0] + ind.alleleB[1];
}

// Allocates the arrays for this run's NTot (zero-filled); halts the program
// with its message when memory runs out.
void MEMALLOC();
// Releases the arrays (program end, tests).
void MEMFREE();
// Counts the genotypes of pNIND into N and f, and notes each one in pGT
// for when pNIND has become the current generation.
void FREQCALC();
// Makes the generation in pNIND the current one.
void EXCHANGE();

#endif
