// The population store: individual records, the per-run arrays and the
// immigrant templates.
#ifndef DUOLOCUS_MODEL_STORE_H
#define DUOLOCUS_MODEL_STORE_H

#include <cstdint>

// One gene copy on one chromosome, in 32 bits: bit 0 the allele, bits 1 to 3
// the origin + 1, bits 4 to 31 the gene-copy identifier + 1. An immigrant's
// identifier and origin, -1 and -1, are stored as 0. Identifiers of a
// population stay below 2 * 1000000, far inside the 28 bits. A gamete passes
// a copy as one word, so allele, identifier and origin always travel
// together.
using GENECOPY = std::uint32_t;

// One diploid individual: the Alpha copy and the Beta copy on each of its
// two chromosomes (index [0] and [1]). Sixteen bytes, so a record never
// straddles two cache lines.
struct IND {
  GENECOPY geneA[2];
  GENECOPY geneB[2];
};

inline GENECOPY MAKECOPY(int allele, std::int64_t copy, int origin) {
  return static_cast<GENECOPY>(copy + 1) << 4 | static_cast<GENECOPY>(origin + 1) << 1 |
         static_cast<GENECOPY>(allele);
}
inline int ALLELEOF(GENECOPY x) { return static_cast<int>(x & 1u); }
inline std::int64_t COPYOF(GENECOPY x) { return static_cast<std::int64_t>(x >> 4) - 1; }
inline int ORIGINOF(GENECOPY x) { return static_cast<int>((x >> 1) & 7u) - 1; }

// The fields of a record by their names: allele, gene-copy identifier and
// founding-haplotype origin of each gene on chromosome c.
inline int alleleA(const IND& ind, int c) { return ALLELEOF(ind.geneA[c]); }
inline int alleleB(const IND& ind, int c) { return ALLELEOF(ind.geneB[c]); }
inline std::int64_t copyA(const IND& ind, int c) { return COPYOF(ind.geneA[c]); }
inline std::int64_t copyB(const IND& ind, int c) { return COPYOF(ind.geneB[c]); }
inline int originA(const IND& ind, int c) { return ORIGINOF(ind.geneA[c]); }
inline int originB(const IND& ind, int c) { return ORIGINOF(ind.geneB[c]); }

// Genotype index of an individual.
inline int GTINDEX(const IND& ind) {
  return 3 * (alleleA(ind, 0) + alleleA(ind, 1)) + alleleB(ind, 0) + alleleB(ind, 1);
}

extern IND* pIND;             // current generation
extern IND* pNIND;            // next generation, being built
extern std::int32_t* pMated;  // monogamy partners, -1 for none
// Genotype index of each individual of the current generation (pGT) and of
// the next (pNGT). Parent choice reads genotypes at random positions; a byte
// each keeps those reads in cache where the whole records would not be.
extern std::uint8_t* pGT;
extern std::uint8_t* pNGT;

// Immigrant templates, filled per run.
extern IND mIND[10];

// Allocates the arrays for this run's NTot (zero-filled); halts the program
// with its message when memory runs out.
void MEMALLOC();
// Releases the arrays (program end, tests).
void MEMFREE();
// Counts the genotypes of pNIND into N and f, and notes each one in pNGT
// for when pNIND has become the current generation.
void FREQCALC();
// N and f from genotype counts of pNIND already made (the generation
// builder counts as it fills the buffer).
void FREQTOTALS(const std::int64_t count[9]);
// Makes the generation in pNIND the current one.
void EXCHANGE();

#endif
