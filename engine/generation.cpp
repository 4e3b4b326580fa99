#include "engine/generation.h"

#include "engine/random.h"
#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"

// The hot loops keep the random chain's state in registers; every helper
// that draws must be inlined into them, or the state would go to memory and
// every draw would wait for a store and a load.
#if defined(__GNUC__)
#define DUO_HOT inline __attribute__((always_inline))
#define DUO_PREFETCH(address) __builtin_prefetch(address)
#define DUO_PREFETCHW(address) __builtin_prefetch(address, 1)
#else
#define DUO_PREFETCHW(address) ((void)0)
#define DUO_HOT inline
#define DUO_PREFETCH(address) ((void)0)
#endif

namespace {

// Parent-choice bookkeeping of the generation being built. Under monogamy:
// individuals of each genotype still without a partner, and how many paired
// individuals could pass every test with their partner.
std::int64_t unpairedN[9];
std::int64_t pairedOk = 0;
// Outside monogamy, under premating isolation: how many individuals each
// genotype could accept as second parent.
std::int64_t acceptN[9];
// Whether a first parent must be checked for a possible partner, and whether
// the generation is known to offer some permitted pair.
bool checkPartner = false;
bool mateableKnown = false;

// The probabilities of the generation as thresholds on the whole number k
// of a draw k * 2^-30 (DRAWBELOW, DRAWATMOST): a candidate of genotype g is
// accepted when k < fitK[g], a mating of class m when k < prefK[m]; a gamete
// recombines when k < recK, a slot takes an immigrant when k < migK, the
// template selector picks genotype g when k < migCumK[g], an allele mutates
// when k < mutAK[allele] (mutBK at Beta). A draw below one half is k < 2^29.
std::int64_t fitK[9];
std::int64_t prefK[6];
std::int64_t recK = 0;
std::int64_t migK = 0;
std::int64_t migCumK[9];
std::int64_t mutAK[2];
std::int64_t mutBK[2];
constexpr std::int64_t kHalfK = std::int64_t{1} << 29;

void THRESHOLDS() {
  for (int g = 0; g < 9; ++g) {
    fitK[g] = DRAWATMOST(w[g]);
    migCumK[g] = DRAWBELOW(migCumF[g]);
  }
  for (int m = 0; m < 6; ++m) prefK[m] = DRAWATMOST(matePref[m]);
  recK = DRAWBELOW(rec);
  migK = DRAWBELOW(migP);
  for (int a = 0; a < 2; ++a) {
    mutAK[a] = DRAWBELOW(mutA[a]);
    mutBK[a] = DRAWBELOW(mutB[a]);
  }
}

inline int GT(std::int64_t i) { return pGT[i]; }
inline int ALPHA(std::int64_t i) { return pGT[i] / 3; }

// Fitness and preferences below one draw step pass only on a draw of exactly
// 0.0, one in 2^30: the searches below count them as 0, or a generation of
// such parents would take hours.
inline bool FERTILE(int g) { return CANPASS(w[g]); }
inline bool PREFERRED(int g1, int g2) { return CANPASS(matePref[whichMating[g1 / 3][g2 / 3]]); }

// Whether an individual of genotype g1 can accept one of genotype g2 as its
// second parent on more than a draw of exactly zero.
inline bool ACCEPTABLE(int g1, int g2) {
  return FERTILE(g2) && (mateCheck != 2 || PREFERRED(g1, g2));
}

// Whether some first parent that can be accepted has a partner with whom it
// passes every test. Without one, parent choice would never end.
bool MATEABLE() {
  if (mateRule == 2 && pairedOk > 0) return true;
  const std::int64_t* avail = mateRule == 2 ? unpairedN : N;
  const std::int64_t self = mateRule == 1 ? 0 : 1;
  for (int g1 = 0; g1 < 9; ++g1) {
    if (avail[g1] == 0 || !FERTILE(g1)) continue;
    for (int g2 = 0; g2 < 9; ++g2) {
      if (!FERTILE(g2)) continue;
      if (mateCheck != 0 && !PREFERRED(g1, g2)) continue;
      if (avail[g2] - (g1 == g2 ? self : 0) > 0) return true;
    }
  }
  return false;
}

// Whether first parent p1 has any second parent it could accept.
bool HASPARTNER(std::int32_t p1) {
  const int g1 = GT(p1);
  if (mateRule != 2) return acceptN[g1] > 0;
  if (pMated[p1] >= 0) return ACCEPTABLE(g1, GT(pMated[p1]));
  std::int64_t count = ACCEPTABLE(g1, g1) ? -1 : 0;  // p1 itself is unpaired
  for (int g2 = 0; g2 < 9; ++g2) {
    if (ACCEPTABLE(g1, g2)) count += unpairedN[g2];
  }
  return count > 0;
}

void STARTCHOICE() {
  checkPartner = mateCheck == 2 || mateRule == 2;
  mateableKnown = false;
  if (mateRule == 2) {
    for (std::int64_t i = 0; i < NTot; ++i) pMated[i] = -1;
    for (int g = 0; g < 9; ++g) unpairedN[g] = N[g];
    pairedOk = 0;
  } else if (checkPartner) {
    for (int g1 = 0; g1 < 9; ++g1) {
      acceptN[g1] = mateRule == 0 && ACCEPTABLE(g1, g1) ? -1 : 0;
      for (int g2 = 0; g2 < 9; ++g2) {
        if (ACCEPTABLE(g1, g2)) acceptN[g1] += N[g2];
      }
    }
  }
}

void RECORDPAIR(std::int32_t p1, std::int32_t p2) {
  if (pMated[p1] != -1) return;  // an existing pair mated again
  pMated[p1] = p2;
  pMated[p2] = p1;
  const int g1 = GT(p1);
  const int g2 = GT(p2);
  --unpairedN[g1];
  --unpairedN[g2];
  const bool ok = FERTILE(g1) && FERTILE(g2) && (mateCheck == 0 || PREFERRED(g1, g2));
  if (ok) {
    pairedOk += 2;
  } else {
    mateableKnown = false;  // accepted only on a draw of exactly zero
  }
}

// Index draw: truncation of draw * NTot. The draw is k * 2^-30 and k * NTot
// is below 2^50, so the double product is exact and its truncation is
// (k * NTot) >> 30; it is always below NTot, so the redraw on NTot that the
// rule asks for never happens.
DUO_HOT std::int32_t INDEXAT(DRAWS& d) {
  return static_cast<std::int32_t>((RANDK(d) * NTot) >> 30);
}

// Second parent for first parent p1 under every rule and test.
template <bool FIT>
DUO_HOT std::int32_t SECONDPARENT(DRAWS& d, std::int32_t p1) {
  const int a1 = ALPHA(p1);
  for (;;) {
    std::int32_t c = INDEXAT(d);
    if (mateRule == 0) {
      while (c == p1) c = INDEXAT(d);
    } else if (mateRule == 2) {
      if (pMated[p1] >= 0) {
        c = pMated[p1];
      } else {
        // The candidate already drawn is set aside unexamined.
        do {
          c = INDEXAT(d);
        } while (c == p1 || pMated[c] != -1);
      }
    }
    if (mateCheck == 2 && RANDK(d) >= prefK[whichMating[a1][ALPHA(c)]]) continue;
    if (FIT && RANDK(d) >= fitK[GT(c)]) continue;
    return c;
  }
}

// Chooses the two parents of one offspring; false when no permitted pair is
// left in the generation. SIMPLE: self-fertilization allowed and no mating
// preferences, so a candidate second parent is tested for fitness alone.
template <bool FIT, bool SIMPLE>
DUO_HOT bool CHOOSEPARENTS(DRAWS& d, std::int32_t& p1, std::int32_t& p2) {
  if (SIMPLE) {
    // The generation's one check for a permitted pair is made before the
    // first offspring (OFFSPRING).
    do {
      p1 = INDEXAT(d);
    } while (FIT && RANDK(d) >= fitK[GT(p1)]);
    do {
      p2 = INDEXAT(d);
    } while (FIT && RANDK(d) >= fitK[GT(p2)]);
    return true;
  }
  for (;;) {
    if (!mateableKnown) {
      if (!MATEABLE()) return false;
      mateableKnown = true;
    }
    do {
      p1 = INDEXAT(d);
    } while (FIT && RANDK(d) >= fitK[GT(p1)]);
    if (checkPartner && !HASPARTNER(p1)) continue;  // set aside, draw anew
    p2 = SECONDPARENT<FIT>(d, p1);
    if (mateCheck == 1 && RANDK(d) >= prefK[whichMating[ALPHA(p1)][ALPHA(p2)]]) continue;
    if (mateRule == 2) RECORDPAIR(p1, p2);
    return true;
  }
}

// The chromosomes one parent passes: which one gives the Alpha copy and
// which the Beta copy. No recombination draw at all when the genes are fully
// linked. A draw below one half (k < 2^29) takes chromosome 0.
template <bool REC>
DUO_HOT void GAMETE(DRAWS& d, std::uint8_t& ha, std::uint8_t& hb) {
  const std::uint8_t h = static_cast<std::uint8_t>(RANDK(d) >> 29);
  ha = h;
  hb = REC ? static_cast<std::uint8_t>(h ^ (RANDK(d) < recK ? 1 : 0)) : h;
}

// What an offspring takes from its parents: their positions and the
// chromosome each gene comes from.
struct PICK {
  std::int32_t p1;
  std::int32_t p2;
  std::uint8_t h[4];  // Alpha and Beta chromosome of the first, then the second parent
};

// Writes offspring slot s from its pick and its parents' records (or
// copies of them) and counts its genotype.
DUO_HOT void MAKECHILDOF(std::int64_t s, const PICK& pick, const IND& mother, const IND& father,
                         std::int64_t count[9]) {
  IND child;
  child.geneA[0] = mother.geneA[pick.h[0]];
  child.geneB[0] = mother.geneB[pick.h[1]];
  child.geneA[1] = father.geneA[pick.h[2]];
  child.geneB[1] = father.geneB[pick.h[3]];
  pNIND[s] = child;
  const int g = GTINDEX(child);
  pNGT[s] = static_cast<std::uint8_t>(g);
  ++count[g];
}

// Writes offspring slot s from its pick and counts its genotype.
DUO_HOT void MAKECHILD(std::int64_t s, const PICK& pick, std::int64_t count[9]) {
  MAKECHILDOF(s, pick, pIND[pick.p1], pIND[pick.p2], count);
}

// Offspring are made one pick behind another: the parents of an offspring
// are chosen (every draw in its order), their records are asked for, and the
// offspring chosen kLag picks earlier, whose parents have arrived in cache by
// now, is written. The records made are the same: parents are only read,
// and every slot is written once.
constexpr std::int64_t kLag = 16;
constexpr std::int64_t kRing = 32;  // a power of two above kLag
// How far ahead of the slot being chosen its line of the buffer is asked
// for.
constexpr std::int64_t kAheadWrite = 128;
// From this size on (a megabyte of records) the buffers no longer stay in
// cache between generations.
constexpr std::int64_t kBigFrom = 65536;

#if defined(__EMSCRIPTEN__)
// WebAssembly has no prefetch. Written as above, a parent's record would be
// fetched only when its offspring is written, with the draws of the next
// offspring in between, so few fetches from main memory would be under way
// at a time. So a big population is made in batches: the parents of kBatch
// offspring are chosen (every draw in its order, as above), then their
// records are copied out in a loop of loads alone, which do not depend on
// one another and go out together, and then the batch is written from the
// copies. The records made are the same: parents are only read, and every
// slot is written once.
constexpr std::int64_t kBatch = 256;

template <bool FIT, bool SIMPLE, bool REC>
bool OFFSPRINGBATCHED(DRAWS& chain, std::int64_t from, std::int64_t count[9]) {
  DRAWS d = chain;
  PICK batch[kBatch];
  IND parents[2 * kBatch];
  const std::int64_t n = NTot;
  if (SIMPLE && from < n && !MATEABLE()) return false;
  for (std::int64_t s = from; s < n; s += kBatch) {
    const std::int64_t size = n - s < kBatch ? n - s : kBatch;
    for (std::int64_t t = 0; t < size; ++t) {
      PICK& pick = batch[t];
      if (!CHOOSEPARENTS<FIT, SIMPLE>(d, pick.p1, pick.p2)) {
        chain = d;
        return false;
      }
      GAMETE<REC>(d, pick.h[0], pick.h[1]);
      GAMETE<REC>(d, pick.h[2], pick.h[3]);
    }
    for (std::int64_t t = 0; t < size; ++t) {
      parents[2 * t] = pIND[batch[t].p1];
      parents[2 * t + 1] = pIND[batch[t].p2];
    }
    for (std::int64_t t = 0; t < size; ++t) {
      MAKECHILDOF(s + t, batch[t], parents[2 * t], parents[2 * t + 1], count);
    }
  }
  chain = d;
  return true;
}
#endif

// Fills slots from to NTot - 1 with offspring; false when parent choice ran
// out of permitted pairs. BIG: the population outgrows the caches, so
// parents are asked for ahead and each offspring written kLag picks later;
// a small population is read from cache and written at once.
template <bool FIT, bool SIMPLE, bool REC, bool BIG>
bool OFFSPRING(DRAWS& chain, std::int64_t from, std::int64_t count[9]) {
#if defined(__EMSCRIPTEN__)
  if (BIG) return OFFSPRINGBATCHED<FIT, SIMPLE, REC>(chain, from, count);
#endif
  DRAWS d = chain;  // a local copy stays in registers
  PICK ring[kRing];
  const std::int64_t n = NTot;
  // Without preferences and with selfing allowed, the pairs permitted depend
  // only on the counts of the current generation, so one check serves the
  // whole generation; it is made only when an offspring is to be chosen.
  if (SIMPLE && from < n && !MATEABLE()) return false;
  for (std::int64_t s = from; s < n; ++s) {
    PICK& pick = ring[BIG ? s & (kRing - 1) : 0];
    if (!CHOOSEPARENTS<FIT, SIMPLE>(d, pick.p1, pick.p2)) {
      chain = d;
      return false;
    }
    GAMETE<REC>(d, pick.h[0], pick.h[1]);
    GAMETE<REC>(d, pick.h[2], pick.h[3]);
    if (!BIG) {
      MAKECHILD(s, pick, count);
      continue;
    }
    DUO_PREFETCH(pIND + pick.p1);
    DUO_PREFETCH(pIND + pick.p2);
    // The slots about to be written are asked for too: the buffer holds the
    // generation before last, long out of cache, and stores that wait for
    // their lines would hold up the draws behind them.
    const std::int64_t ahead = s + kAheadWrite < n ? s + kAheadWrite : n - 1;
    DUO_PREFETCHW(pNIND + ahead);
    DUO_PREFETCHW(pNGT + ahead);
    if (s - kLag >= from) MAKECHILD(s - kLag, ring[(s - kLag) & (kRing - 1)], count);
  }
  if (BIG) {
    for (std::int64_t s = n - kLag < from ? from : n - kLag; s < n; ++s) {
      MAKECHILD(s, ring[s & (kRing - 1)], count);
    }
  }
  chain = d;
  return true;
}

using OFFSPRINGFN = bool (*)(DRAWS&, std::int64_t, std::int64_t*);

template <bool FIT, bool SIMPLE, bool REC>
OFFSPRINGFN OFFSPRINGSIZED(bool big) {
  return big ? OFFSPRING<FIT, SIMPLE, REC, true> : OFFSPRING<FIT, SIMPLE, REC, false>;
}

OFFSPRINGFN OFFSPRINGFOR(bool fit, bool simple, bool recombine, bool big) {
  static OFFSPRINGFN (*const table[8])(bool) = {
      OFFSPRINGSIZED<false, false, false>, OFFSPRINGSIZED<false, false, true>,
      OFFSPRINGSIZED<false, true, false>,  OFFSPRINGSIZED<false, true, true>,
      OFFSPRINGSIZED<true, false, false>,  OFFSPRINGSIZED<true, false, true>,
      OFFSPRINGSIZED<true, true, false>,   OFFSPRINGSIZED<true, true, true>};
  return table[(fit ? 4 : 0) + (simple ? 2 : 0) + (recombine ? 1 : 0)](big);
}

// Immigrants fill the buffer from slot 0; returns their number.
std::int64_t MIGRATE(DRAWS& chain, std::int64_t count[9]) {
  std::int64_t k = 0;
  if (doMig == 0) return k;
  DRAWS d = chain;
  for (std::int64_t slot = 0; slot < NTot; ++slot) {
    // Both draws are made for every slot, immigrant or not: the template
    // selector first, then the slot draw.
    const std::int64_t selector = RANDK(d);
    if (!(RANDK(d) < migK)) continue;
    int g = 8;
    for (int i = 0; i < 8; ++i) {
      if (selector < migCumK[i]) {
        g = i;
        break;
      }
    }
    // AaBb has two templates: coupling (4) when the phase draw falls below
    // one half, repulsion (5) otherwise. The genotypes after it sit one
    // template further on.
    int t = g;
    if (g == 4) {
      t = RANDK(d) < kHalfK ? 4 : 5;
    } else if (g > 4) {
      t = g + 1;
    }
    pNIND[k] = mIND[t];
    pNGT[k] = static_cast<std::uint8_t>(g);
    ++count[g];
    ++k;
  }
  chain = d;
  return k;
}

// Mutation of every record of pNIND (four draws each), then its genotype
// counted afresh.
void MUTATEAT(DRAWS& chain, std::int64_t count[9]) {
  DRAWS d = chain;
  for (int g = 0; g < 9; ++g) count[g] = 0;
  const std::int64_t n = NTot;
  for (std::int64_t i = 0; i < n; ++i) {
    IND& ind = pNIND[i];
    for (int c = 0; c < 2; ++c) {
      // The allele is bit 0 of a gene copy: a mutation flips it.
      ind.geneA[c] ^= RANDK(d) < mutAK[ALLELEOF(ind.geneA[c])] ? 1u : 0u;
      ind.geneB[c] ^= RANDK(d) < mutBK[ALLELEOF(ind.geneB[c])] ? 1u : 0u;
    }
    const int g = GTINDEX(ind);
    pNGT[i] = static_cast<std::uint8_t>(g);
    ++count[g];
  }
  chain = d;
}

}  // namespace

std::int32_t INDEXDRAW() {
  DRAWS d = DRAWSTART();
  const std::int32_t pos = INDEXAT(d);
  DRAWEND(d);
  return pos;
}

void MUTATE() {
  THRESHOLDS();
  std::int64_t count[9];
  DRAWS d = DRAWSTART();
  MUTATEAT(d, count);
  DRAWEND(d);
}

void GENBUILD() {
  ++gen;
  THRESHOLDS();
  std::int64_t count[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  DRAWS d = DRAWSTART();
  const std::int64_t k = MIGRATE(d, count);
  STARTCHOICE();
  const bool simple = mateRule == 1 && mateCheck == 0;
  const bool big = NTot >= kBigFrom;
  if (!OFFSPRINGFOR(fitCheck != 0, simple, rec > 0.0, big)(d, k, count)) {
    DRAWEND(d);
    iterExtinct = 1;
    return;
  }
  if (mutCheck != 0) MUTATEAT(d, count);
  DRAWEND(d);
  FREQTOTALS(count);
  EXCHANGE();
}
