// The rules of a generation as they read, for the benchmarks to measure the
// program against: the double formulas of the shuffle table over the C
// library's rand, the 64-byte record with its six named fields, a copy of
// the whole buffer at the end of a generation and a stable sort for the
// shuffle. Kept in bench/ only; the program never links it.
#ifndef DUOLOCUS_BENCH_STRAIGHTFORWARD_H
#define DUOLOCUS_BENCH_STRAIGHTFORWARD_H

#include <cstdint>
#include <vector>

struct PLAININD {
  std::int32_t alleleA[2];
  std::int64_t copyA[2];
  std::int32_t originA[2];
  std::int32_t alleleB[2];
  std::int64_t copyB[2];
  std::int32_t originB[2];
};

// Seeds std::rand and forgets the table (built at the next draw).
void PLAINSEED(unsigned seed);
// RNDI and RANDREAL by the double formulas.
int PLAINRNDI();
double PLAINRANDREAL();

// The population: current generation, next generation, the shuffle's keys
// and scratch. PLAINSETUP takes the program's current generation (pIND) as
// its own, with the program's settings.
extern std::vector<PLAININD> plainCur, plainNext;
void PLAINSETUP();
// One generation: self-fertilization allowed, no preferences, no migration;
// selection, recombination and mutation as set (w, rec, mutA, mutB).
void PLAINGENERATION();
// The shuffle of the next-generation buffer: n keys, a stable sort, copies.
void PLAINSHUFFLE();
// Whether the plain current generation equals the program's pIND, field by
// field.
bool PLAINSAMEASPROGRAM();

#endif
