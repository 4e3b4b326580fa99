// Settings in the terms of biology, translated into the settings of the
// screen exactly as a user would type them there, so that a run set up by
// s, h and allele frequencies writes the same files as the console given
// the translated fitnesses and founder counts.
//
// Selection (keys selection.*): on each gene the favoured homozygote has
// fitness 1, the heterozygote 1 - h s, the other homozygote 1 - s; the two
// genes combine multiplicatively (wA wB) or additively (wA + wB - 1).
//
// Founders (keys population.*): a population of size N, the allele
// frequencies pA and pB, and linkage disequilibrium D or a phase, built as
// chromosomes in three steps, each exact where whole numbers allow:
//  1. allele copies: round(2N pA) chromosomes carry A and round(2N pB) carry
//     B (nearest whole number, halves up);
//  2. haplotypes: of those, the number of AB chromosomes whose D (pAB - pA pB
//     with the realised frequencies) is nearest the asked D, within what the
//     allele counts allow (ties to the larger D); phase "coupling" takes the
//     most AB chromosomes the counts allow, "repulsion" the fewest. Ab, aB
//     and ab follow from the allele counts;
//  3. genotypes: the 2N chromosomes paired into N founders as near to random
//     union as whole numbers allow: each pair of haplotypes gets the whole
//     part of its expected number, and the pairs left over go, one at a
//     time, to the largest remainder whose chromosomes are still unpaired
//     (ties to the earlier pair in the order AB/AB, AB/Ab, AB/aB, AB/ab,
//     Ab/Ab, Ab/aB, Ab/ab, aB/aB, aB/ab, ab/ab).
// Every chromosome is placed as counted, so a double heterozygote is AB/ab
// or Ab/aB as its pair says (founders.AB_ab and founders.Ab_aB, none whose
// phase is drawn): the founders hold exactly those allele and haplotype
// counts. Under coupling no A sits on a b chromosome when pA <= pB.
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

// The founders of a population of size n with allele frequencies pA, pB
// and linkage disequilibrium d (phase 0), or phase 1 (coupling) or 2
// (repulsion), by the rule above: the nine genotype counts (counts[4] all
// double heterozygotes) and of those the coupling (phased[0]) and repulsion
// (phased[1]) ones. d must lie within the bounds the frequencies allow.
void FOUNDERCOUNTS(std::int64_t n, double pA, double pB, double d, int phase, std::int64_t counts[9],
                   std::int64_t phased[2]);

// The nine fitnesses (genotype order) of selection by s and h on each gene;
// favouredSmall[k] is 1 when the small allele of gene k is favoured;
// additive combines the genes additively. Values may leave 0 to 1: the
// caller refuses those.
void SELECTIONFITNESS(const double s[2], const double h[2], const int favouredSmall[2],
                      bool additive, double fitness[9]);

#endif
