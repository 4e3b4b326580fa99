#include "model/store.h"

#include <cstdlib>
#include <ostream>
#include <utility>

#include "console/io.h"
#include "model/driver.h"
#include "model/settings.h"
#include "model/state.h"

IND* pIND = nullptr;
IND* pNIND = nullptr;
std::int32_t* pMated = nullptr;
std::uint8_t* pGT = nullptr;
std::uint8_t* pNGT = nullptr;
IND mIND[10];

namespace {

// Zero-filled allocation of n elements; on failure the run cannot start.
template <typename T>
void allocate(T*& array, std::int64_t n) {
  array = static_cast<T*>(std::calloc(static_cast<std::size_t>(n), sizeof(T)));
  if (array == nullptr) {
    *conOut << "\a\nNOT ENOUGH MEMORY." << std::endl;
    GIVEUP();
  }
}

template <typename T>
void release(T*& array) {
  std::free(array);
  array = nullptr;
}

}  // namespace

void MEMFREE() {
  release(pIND);
  release(pNIND);
  release(pMated);
  release(pGT);
  release(pNGT);
}

// The shuffle of the founders needs no scratch arrays (see SHUFFLE), and the
// generations need only the two buffers, their genotype bytes and, for
// monogamy, the partners.
void MEMALLOC() {
  // A run may have another population size than the last; its arrays are
  // released and made anew, so every run starts from zero-filled storage.
  MEMFREE();
  allocate(pIND, NTot);
  allocate(pNIND, NTot);
  allocate(pMated, NTot);
  allocate(pGT, NTot);
  allocate(pNGT, NTot);
}

void FREQCALC() {
  std::int64_t count[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (std::int64_t i = 0; i < NTot; ++i) {
    const int g = GTINDEX(pNIND[i]);
    pNGT[i] = static_cast<std::uint8_t>(g);
    ++count[g];
  }
  FREQTOTALS(count);
}

void FREQTOTALS(const std::int64_t count[9]) {
  const double total = static_cast<double>(NTot);
  for (int g = 0; g < 9; ++g) {
    N[g] = count[g];
    f[g] = static_cast<double>(count[g]) / total;
  }
}

// Every slot of the next generation is written before anything reads it
// (the generation builder fills all NTot of them, immigrants first), so the
// buffers trade places instead of copying: pIND is the new generation, and
// pNIND holds the one before until the next generation overwrites it.
void EXCHANGE() {
  std::swap(pIND, pNIND);
  std::swap(pGT, pNGT);
}
