// The iteration table: one header line per run and one row per iteration
// that was not halted by extinction.
#include <cstdint>
#include <ostream>
#include <string>

#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"
#include "report/format.h"
#include "report/report.h"

namespace {

// Founders are laid out in genotype order and founder k carries the copies
// 2k and 2k + 1, so a copy belongs to the first genotype whose founders,
// counted with all before them, hold more than x copies. Genotypes without
// founders add nothing to the total and so never match.
std::string FOUNDERGT(std::int64_t x) {
  std::int64_t total = 0;
  for (int g = 0; g < 9; ++g) {
    total += startPop[g];
    if (2 * total > x) return GTNAME(g);
  }
  return "NA";
}

void ALLELEFIELDS(std::ostream& os, std::int32_t fixedAll, std::int64_t genFixedAll,
                  const char* capital, const char* small) {
  if (fixedAll == 0) {
    os << capital << ',' << genFixedAll;
  } else if (fixedAll == 1) {
    os << small << ',' << genFixedAll;
  } else {
    os << "none,NA";
  }
}

void COPYFIELDS(std::ostream& os, std::int64_t fixedCopy, std::int64_t genFixedCopy,
                std::int32_t ancHap) {
  if (trackCopies == 0) {
    os << "NA,NA,NA";
  } else if (fixedCopy == -1) {
    os << "none,NA,NA";
  } else {
    os << genFixedCopy << ',' << haplo[ancHap] << ',' << FOUNDERGT(fixedCopy);
  }
}

// The six fields of one gene, each followed by a comma.
void GENEFIELDS(std::ostream& os, std::int32_t fixedAll, std::int64_t genFixedAll,
                const char* capital, const char* small, double finalp, std::int64_t fixedCopy,
                std::int64_t genFixedCopy, std::int32_t ancHap) {
  ALLELEFIELDS(os, fixedAll, genFixedAll, capital, small);
  os << ',';
  PUTFIXED(os, finalp, 7);
  os << ',';
  COPYFIELDS(os, fixedCopy, genFixedCopy, ancHap);
  os << ',';
}

#if !defined(__EMSCRIPTEN__)  // the browser build counts coupling by sums (CHROMCOUNT)
bool ISCOUPLING(const IND& ind) {
  return (alleleA(ind, 0) == 0 && alleleA(ind, 1) == 1 && alleleB(ind, 0) == 0 &&
          alleleB(ind, 1) == 1) ||
         (alleleA(ind, 0) == 1 && alleleA(ind, 1) == 0 && alleleB(ind, 0) == 1 &&
          alleleB(ind, 1) == 0);
}
#endif

void PUTFREQ(std::ostream& os, double x) {
  PUTFIXED(os, x, 7);
  os << ',';
}

// The ten genotype columns split AaBb by phase; the four haplotype columns
// close the row.
void FREQFIELDS(std::ostream& os) {
  std::int64_t coupling = 0;
  std::int64_t hapCount[4];
  CHROMCOUNT(coupling, hapCount);
  const double total = static_cast<double>(NTot);
  for (int g = 0; g < 4; ++g) PUTFREQ(os, f[g]);
  PUTFREQ(os, static_cast<double>(coupling) / total);
  PUTFREQ(os, static_cast<double>(N[4] - coupling) / total);
  for (int g = 5; g < 9; ++g) PUTFREQ(os, f[g]);
  const double chromosomes = static_cast<double>(2 * NTot);
  for (int h = 0; h < 4; ++h) {
    PUTFIXED(os, static_cast<double>(hapCount[h]) / chromosomes, 7);
    if (h < 3) os << ',';
  }
  LINEEND(os);
}

void WRITEHEADER(std::ostream& os) {
  os << "iter,gens,"
     << "A_all_fixed,gens_fix_A_all,finalp_A,gens_fix_A_copy,A_origin_ht,A_origin_gt,"
     << "B_all_fixed,gens_fix_B_all,finalp_B,gens_fix_B_copy,B_origin_ht,B_origin_gt,"
     << "p_AB_AB,p_AB_Ab,p_Ab_Ab,p_AB_aB,p_AB_ab,p_Ab_aB,p_Ab_ab,p_aB_aB,p_aB_ab,p_ab_ab,"
     << "p_AB,p_Ab,p_aB,p_ab\n";
}

void WRITEROW(std::ostream& os) {
  // The allele frequencies are summed in a fixed order so that the last
  // decimal never depends on how the compiler groups the terms.
  const double finalpA = f[3] / 2.0 + f[0] + f[1] + f[4] / 2.0 + f[2] + f[5] / 2.0;
  const double finalpB = f[1] / 2.0 + f[0] + f[3] + f[4] / 2.0 + f[6] + f[7] / 2.0;
  os << rep << ',' << gen << ',';
  GENEFIELDS(os, fixedAAll, genFixedAAll, "A", "a", finalpA, fixedACopy, genFixedACopy, ancAHap);
  GENEFIELDS(os, fixedBAll, genFixedBAll, "B", "b", finalpB, fixedBCopy, genFixedBCopy, ancBHap);
  FREQFIELDS(os);
}

}  // namespace

// The genotype counts cannot tell the two phases of AaBb apart, nor the
// haplotypes; both come from the chromosomes themselves.
void CHROMCOUNT(std::int64_t& coupling, std::int64_t hapCount[4]) {
#if defined(__EMSCRIPTEN__)
  // The browser lab counts every generation for its live plots. Its
  // compiler keeps the branches of the tests above, which go either way at
  // random in a mixed population, and the counts in memory; so there the
  // same numbers are found by sums alone. Coupling: the two Alpha alleles
  // differ and each chromosome carries the same allele at both loci. With
  // a and b the alleles of a chromosome, sumAB counts haplotype 3 (a = b =
  // 1), and the sums of a and of b give haplotypes 2 and 1 less it.
  std::int64_t couple = 0;
  std::int64_t sumA = 0;
  std::int64_t sumB = 0;
  std::int64_t sumAB = 0;
  for (std::int64_t i = 0; i < NTot; ++i) {
    const IND& ind = pIND[i];
    const int a0 = alleleA(ind, 0);
    const int a1 = alleleA(ind, 1);
    const int b0 = alleleB(ind, 0);
    const int b1 = alleleB(ind, 1);
    couple += (a0 ^ a1) & (1 ^ a0 ^ b0) & (1 ^ a1 ^ b1);
    sumA += a0 + a1;
    sumB += b0 + b1;
    sumAB += (a0 & b0) + (a1 & b1);
  }
  coupling = couple;
  hapCount[3] = sumAB;
  hapCount[2] = sumA - sumAB;
  hapCount[1] = sumB - sumAB;
  hapCount[0] = 2 * NTot - sumA - sumB + sumAB;
#else
  coupling = 0;
  for (int h = 0; h < 4; ++h) hapCount[h] = 0;
  for (std::int64_t i = 0; i < NTot; ++i) {
    const IND& ind = pIND[i];
    if (ISCOUPLING(ind)) ++coupling;
    for (int c = 0; c < 2; ++c) ++hapCount[2 * alleleA(ind, c) + alleleB(ind, c)];
  }
#endif
}

void OUTWRITE() {
  if (rep == 1) {
    SETTINGSREPORT();
    WRITEHEADER(datafl);
  }
  if (iterExtinct != 0) return;
  WRITEROW(datafl);
}
