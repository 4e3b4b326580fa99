#include "bench/straightforward.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"

std::vector<PLAININD> plainCur, plainNext;

namespace {

double table[98];
double y = 0.0;
bool built = false;
std::int64_t plainN[9];
std::vector<double> keys;
std::vector<std::int64_t> order;
std::vector<PLAININD> scratch;

int GT(const PLAININD& ind) {
  return 3 * (ind.alleleA[0] + ind.alleleA[1]) + ind.alleleB[0] + ind.alleleB[1];
}

std::int32_t INDEX(std::int64_t n) {
  std::int32_t pos;
  do {
    pos = static_cast<std::int32_t>(PLAINRANDREAL() * static_cast<double>(n));
  } while (pos == n);
  return pos;
}

std::int32_t PARENT(std::int64_t n) {
  std::int32_t p;
  do {
    p = INDEX(n);
  } while (fitCheck != 0 && PLAINRANDREAL() > w[GT(plainCur[static_cast<std::size_t>(p)])]);
  return p;
}

void GAMETE(const PLAININD& parent, PLAININD& child, int c) {
  const int h = PLAINRANDREAL() < 0.5 ? 0 : 1;
  const int hb = rec > 0.0 && PLAINRANDREAL() < rec ? 1 - h : h;
  child.alleleA[c] = parent.alleleA[h];
  child.copyA[c] = parent.copyA[h];
  child.originA[c] = parent.originA[h];
  child.alleleB[c] = parent.alleleB[hb];
  child.copyB[c] = parent.copyB[hb];
  child.originB[c] = parent.originB[hb];
}

}  // namespace

static_assert(sizeof(PLAININD) == 64, "the record as the rules lay it out");

void PLAINSEED(unsigned seed) {
  std::srand(seed);
  built = false;
}

int PLAINRNDI() {
  if (!built) {
    for (int i = 0; i < 97; ++i) std::rand();
    for (int j = 1; j <= 97; ++j) table[j] = std::rand();
    y = std::rand();
    built = true;
  }
  int j = static_cast<int>(y * 97.0 / 2147483647.0 + 1.0);
  if (j > 97) j = 97;
  const double t = table[j];
  y = t;
  table[j] = std::rand();
  double u = t / 2147483647.0 * 32768.0;
  if (u == 32768.0) u = 32767.0;
  return static_cast<int>(u);
}

double PLAINRANDREAL() {
  const std::int64_t r1 = PLAINRNDI();
  const std::int64_t r2 = PLAINRNDI();
  return static_cast<double>(r1 * 32768 + r2) * 9.313225746154785e-10;
}

void PLAINSETUP() {
  const std::size_t n = static_cast<std::size_t>(NTot);
  plainCur.assign(n, PLAININD{});
  plainNext.assign(n, PLAININD{});
  keys.assign(n, 0.0);
  order.assign(n, 0);
  scratch.assign(n, PLAININD{});
  for (std::size_t i = 0; i < n; ++i) {
    for (int c = 0; c < 2; ++c) {
      PLAININD& p = plainCur[i];
      p.alleleA[c] = alleleA(pIND[i], c);
      p.copyA[c] = copyA(pIND[i], c);
      p.originA[c] = originA(pIND[i], c);
      p.alleleB[c] = alleleB(pIND[i], c);
      p.copyB[c] = copyB(pIND[i], c);
      p.originB[c] = originB(pIND[i], c);
    }
  }
}

void PLAINGENERATION() {
  const std::int64_t n = NTot;
  for (std::int64_t s = 0; s < n; ++s) {
    const std::int32_t p1 = PARENT(n);
    const std::int32_t p2 = PARENT(n);
    GAMETE(plainCur[static_cast<std::size_t>(p1)], plainNext[static_cast<std::size_t>(s)], 0);
    GAMETE(plainCur[static_cast<std::size_t>(p2)], plainNext[static_cast<std::size_t>(s)], 1);
  }
  if (mutCheck != 0) {
    for (PLAININD& ind : plainNext) {
      for (int c = 0; c < 2; ++c) {
        const int a = ind.alleleA[c];
        if (PLAINRANDREAL() < mutA[a]) ind.alleleA[c] = 1 - a;
        const int b = ind.alleleB[c];
        if (PLAINRANDREAL() < mutB[b]) ind.alleleB[c] = 1 - b;
      }
    }
  }
  for (int g = 0; g < 9; ++g) plainN[g] = 0;
  for (const PLAININD& ind : plainNext) ++plainN[GT(ind)];
  std::memcpy(plainCur.data(), plainNext.data(), plainNext.size() * sizeof(PLAININD));
}

void PLAINSHUFFLE() {
  const std::size_t n = plainNext.size();
  for (double& k : keys) k = PLAINRANDREAL();
  std::iota(order.begin(), order.end(), std::int64_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [](std::int64_t a, std::int64_t b) { return keys[static_cast<std::size_t>(a)] < keys[static_cast<std::size_t>(b)]; });
  for (std::size_t i = 0; i < n; ++i) scratch[i] = plainNext[static_cast<std::size_t>(order[i])];
  std::memcpy(plainNext.data(), scratch.data(), n * sizeof(PLAININD));
}

bool PLAINSAMEASPROGRAM() {
  for (std::size_t i = 0; i < plainCur.size(); ++i) {
    const PLAININD& p = plainCur[i];
    for (int c = 0; c < 2; ++c) {
      if (p.alleleA[c] != alleleA(pIND[i], c) || p.copyA[c] != copyA(pIND[i], c) ||
          p.originA[c] != originA(pIND[i], c) || p.alleleB[c] != alleleB(pIND[i], c) ||
          p.copyB[c] != copyB(pIND[i], c) || p.originB[c] != originB(pIND[i], c)) {
        return false;
      }
    }
  }
  for (int g = 0; g < 9; ++g) {
    if (plainN[g] != N[g]) return false;
  }
  return true;
}
