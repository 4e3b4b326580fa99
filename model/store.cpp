#include "model/store.h"

#include <cstdlib>
#include <cstring>
#include <ostream>

#include "console/io.h"
#include "model/driver.h"
#include "model/settings.h"
#include "model/state.h"

IND* pIND = nullptr;
IND* pNIND = nullptr;
IND* pPERMUTEIND = nullptr;
double* pRand = nullptr;
std::int64_t* pMated = nullptr;
std::int64_t* pOrder = nullptr;
std::uint8_t* pGT = nullptr;
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
  release(pPERMUTEIND);
  release(pRand);
  release(pMated);
  release(pOrder);
  release(pGT);
}

void MEMALLOC() {
  // A run may have another population size than the last; its arrays are
  // released and made anew, so every run starts from zero-filled storage.
  MEMFREE();
  allocate(pIND, NTot);
  allocate(pNIND, NTot);
  allocate(pPERMUTEIND, NTot);
  allocate(pRand, NTot);
  allocate(pMated, NTot);
  allocate(pOrder, NTot);
  allocate(pGT, NTot);
}

void FREQCALC() {
  std::int64_t count[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (std::int64_t i = 0; i < NTot; ++i) {
    const int g = GTINDEX(pNIND[i]);
    pGT[i] = static_cast<std::uint8_t>(g);
    ++count[g];
  }
  const double total = static_cast<double>(NTot);
  for (int g = 0; g < 9; ++g) {
    N[g] = count[g];
    f[g] = static_cast<double>(count[g]) / total;
  }
}

void EXCHANGE() {
  std::memcpy(pIND, pNIND, static_cast<std::size_t>(NTot) * sizeof(IND));
}
