#include "engine/founders.h"

#include <algorithm>
#include <cstring>

#include "engine/random.h"
#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"

namespace {

// Alleles and origins of each founder genotype, as (chromosome 0,
// chromosome 1). Genotype 4 is written in coupling; a draw may turn it to
// repulsion.
struct FounderRow {
  int alleleA[2];
  int alleleB[2];
};
constexpr FounderRow kFounder[9] = {
    {{0, 0}, {0, 0}}, {{0, 0}, {0, 1}}, {{0, 0}, {1, 1}},
    {{0, 1}, {0, 0}}, {{0, 1}, {0, 1}}, {{0, 1}, {1, 1}},
    {{1, 1}, {0, 0}}, {{1, 1}, {0, 1}}, {{1, 1}, {1, 1}}};

void SETFOUNDER(IND& ind, std::int64_t j, const int alleleA[2], const int alleleB[2]) {
  for (int c = 0; c < 2; ++c) {
    ind.alleleA[c] = alleleA[c];
    ind.alleleB[c] = alleleB[c];
    // Both genes of a chromosome share its identifier and its origin, so a
    // fixed copy names its founder and founding haplotype.
    ind.copyA[c] = ind.copyB[c] = 2 * j + c;
    ind.originA[c] = ind.originB[c] = 2 * alleleA[c] + alleleB[c];
  }
}

}  // namespace

void POPBUILD() {
  for (int g = 0; g < 9; ++g) {
    N[g] = startPop[g];
    f[g] = startF[g];
  }
  static const int repulsionB[2] = {1, 0};
  std::int64_t j = 0;
  for (int g = 0; g < 9; ++g) {
    for (std::int64_t i = 0; i < N[g]; ++i, ++j) {
      const int* alleleB = kFounder[g].alleleB;
      // Double heterozygotes take their phase by a draw, in order of position.
      if (g == 4 && RANDREAL() >= 0.5) alleleB = repulsionB;
      SETFOUNDER(pIND[j], j, kFounder[g].alleleA, alleleB);
      pGT[j] = static_cast<std::uint8_t>(g);
    }
  }
}

void SHUFFLE() {
  for (std::int64_t i = 0; i < NTot; ++i) pRand[i] = RANDREAL();
  PERMUTE();
}

void PERMUTE() {
  const std::int64_t n = NTot;
  // Positions in ascending order of key, the lower position first among
  // equal keys: the order repeated minimum scans would give, in n log n.
  for (std::int64_t i = 0; i < n; ++i) pOrder[i] = i;
  const double* keys = pRand;
  std::sort(pOrder, pOrder + n, [keys](std::int64_t a, std::int64_t b) {
    return keys[a] < keys[b] || (keys[a] == keys[b] && a < b);
  });
  for (std::int64_t i = 0; i < n; ++i) pPERMUTEIND[i] = pNIND[pOrder[i]];
  std::memcpy(pNIND, pPERMUTEIND, static_cast<std::size_t>(n) * sizeof(IND));
}
