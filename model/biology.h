// Settings in the terms of biology, translated into the settings of the
// screen exactly as a user would type them there, so that a run set up by
// s, h and allele frequencies writes the same files as the console given
// the translated fitnesses and founder counts.
//
// Selection (keys selection.*): on each gene the favoured homozygote has
// fitness 1, the heterozygote 1 - h s, the other homozygote 1 - s; the two
// genes combine multiplicatively (wA wB) or additively (wA + wB - 1).
//
// Founders (keys population.*): a population size and the allele
// frequencies of A and B, with linkage disequilibrium D or a phase choice,
// give the nine genotype frequencies by random union of haplotypes; these
// are rounded to whole counts adding up to the size (largest remainders,
// ties to the earlier genotype).
#ifndef DUOLOCUS_MODEL_BIOLOGY_H
#define DUOLOCUS_MODEL_BIOLOGY_H

#include <cstdint>
#include <string>
#include <vector>

#include "model/catalogue.h"

// Replaces every biology-level key of settings by the screen keys it
// stands for (fitness.*, founders.*). Returns false with one message per
// refusal (a fitness outside 0 to 1, impossible frequencies or D, both a
// biology-level key and the screen keys it would set), leaving settings as
// they were. The values are those TOVALUE gave (types and ranges checked).
bool TRANSLATEBIOLOGY(SettingMap& settings, std::vector<std::string>& faults);

// The nine founder counts for a population of size n with allele
// frequencies pA, pB and linkage disequilibrium d, by the rounding rule
// above. d must lie within the bounds the frequencies allow.
void FOUNDERCOUNTS(std::int64_t n, double pA, double pB, double d, std::int64_t counts[9]);

// The nine fitnesses (genotype order) of selection by s and h on each gene;
// favouredSmall[k] is 1 when the small allele of gene k is favoured;
// additive combines the genes additively. Values may leave 0 to 1: the
// caller refuses those.
void SELECTIONFITNESS(const double s[2], const double h[2], const int favouredSmall[2],
                      bool additive, double fitness[9]);

#endif
