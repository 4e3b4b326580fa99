#include "engine/founders.h"

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
    // Both genes of a chromosome share its identifier and its origin, so a
    // fixed copy names its founder and founding haplotype.
    const std::int64_t copy = 2 * j + c;
    const int origin = 2 * alleleA[c] + alleleB[c];
    ind.geneA[c] = MAKECOPY(alleleA[c], copy, origin);
    ind.geneB[c] = MAKECOPY(alleleB[c], copy, origin);
  }
}

}  // namespace

void POPBUILD() {
  for (int g = 0; g < 9; ++g) {
    N[g] = startPop[g];
    f[g] = startF[g];
  }
  static const int repulsionB[2] = {1, 0};
  DRAWS d = DRAWSTART();
  std::int64_t j = 0;
  // The AaBb block: first those whose phase is drawn, then those given in
  // coupling, then those given in repulsion.
  const std::int64_t drawn = N[4] - phasedPop[0] - phasedPop[1];
  for (int g = 0; g < 9; ++g) {
    for (std::int64_t i = 0; i < N[g]; ++i, ++j) {
      const int* alleleB = kFounder[g].alleleB;
      // Double heterozygotes take their phase by a draw, in order of
      // position: one half or more (k >= 2^29) makes repulsion.
      if (g == 4 && i < drawn && RANDK(d) >= (std::int64_t{1} << 29)) alleleB = repulsionB;
      if (g == 4 && i >= drawn + phasedPop[0]) alleleB = repulsionB;
      SETFOUNDER(pIND[j], j, kFounder[g].alleleA, alleleB);
      pGT[j] = static_cast<std::uint8_t>(g);
    }
  }
  DRAWEND(d);
}

// The shuffle reorders pNIND by n random keys. The next generation
// overwrites every record of pNIND before anything reads one (EXCHANGE
// swaps the buffers, so pNIND holds nothing the population still needs), so
// the order it makes never reaches the population: all it leaves behind is
// the n draws it took between the founders and the first generation. Those
// draws are made; the reordering and its scratch arrays are left out.
void SHUFFLE() {
  DRAWS d = DRAWSTART();
  for (std::int64_t i = 0; i < NTot; ++i) RANDK(d);
  DRAWEND(d);
}
