#include "engine/generation.h"

#include "engine/random.h"
#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"

namespace {

// Template-selecting draw of the current migration slot.
double rVal = 0.0;

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

std::int32_t SECONDPARENT(std::int32_t p1) {
  const int a1 = ALPHA(p1);
  for (;;) {
    std::int32_t c = INDEXDRAW();
    if (mateRule == 0) {
      while (c == p1) c = INDEXDRAW();
    } else if (mateRule == 2) {
      if (pMated[p1] >= 0) {
        c = static_cast<std::int32_t>(pMated[p1]);
      } else {
        // The candidate already drawn is set aside unexamined.
        do {
          c = INDEXDRAW();
        } while (c == p1 || pMated[c] != -1);
      }
    }
    if (mateCheck == 2 && RANDREAL() > matePref[whichMating[a1][ALPHA(c)]]) continue;
    if (fitCheck != 0 && RANDREAL() > w[GT(c)]) continue;
    return c;
  }
}

// Chooses the two parents of one offspring; false when no permitted pair is
// left in the generation.
bool CHOOSEPARENTS(std::int32_t& p1, std::int32_t& p2) {
  for (;;) {
    if (!mateableKnown) {
      if (!MATEABLE()) return false;
      mateableKnown = true;
    }
    do {
      p1 = INDEXDRAW();
    } while (fitCheck != 0 && RANDREAL() > w[GT(p1)]);
    if (checkPartner && !HASPARTNER(p1)) continue;  // set aside, draw anew
    p2 = SECONDPARENT(p1);
    if (mateCheck == 1 &&
        RANDREAL() > matePref[whichMating[ALPHA(p1)][ALPHA(p2)]]) {
      continue;
    }
    if (mateRule == 2) RECORDPAIR(p1, p2);
    return true;
  }
}

// The chromosomes one parent passes: which one gives the Alpha copy and
// which the Beta copy. No recombination draw at all when the genes are fully
// linked.
inline void GAMETE(std::uint8_t& ha, std::uint8_t& hb) {
  ha = RANDREAL() < 0.5 ? 0 : 1;
  hb = (rec > 0.0 && RANDREAL() < rec) ? 1 - ha : ha;
}

inline void PASS(const IND& parent, IND& child, int c, int ha, int hb) {
  child.alleleA[c] = parent.alleleA[ha];
  child.copyA[c] = parent.copyA[ha];
  child.originA[c] = parent.originA[ha];
  child.alleleB[c] = parent.alleleB[hb];
  child.copyB[c] = parent.copyB[hb];
  child.originB[c] = parent.originB[hb];
}

// Offspring are decided a batch at a time (parents and chromosomes, every
// draw in its order) and copied afterwards. The copies read parents at
// random places in a large array; made together, their cache misses overlap
// instead of each one stalling the chain of draws. The records made are the
// same: parents are only read, and every slot is written once.
struct PICK {
  std::int32_t p1;
  std::int32_t p2;
  std::uint8_t h[4];  // Alpha and Beta chromosome of the first, then the second parent
};
constexpr std::int64_t kBatch = 256;
PICK picks[kBatch];

// Fills slots s to s + n - 1 with offspring; false when parent choice ran out
// of permitted pairs.
bool OFFSPRING(std::int64_t s, std::int64_t n) {
  for (std::int64_t i = 0; i < n; ++i) {
    PICK& pick = picks[i];
    if (!CHOOSEPARENTS(pick.p1, pick.p2)) return false;
    GAMETE(pick.h[0], pick.h[1]);
    GAMETE(pick.h[2], pick.h[3]);
  }
  for (std::int64_t i = 0; i < n; ++i) {
    const PICK& pick = picks[i];
    PASS(pIND[pick.p1], pNIND[s + i], 0, pick.h[0], pick.h[1]);
    PASS(pIND[pick.p2], pNIND[s + i], 1, pick.h[2], pick.h[3]);
  }
  return true;
}

// Immigrants fill the buffer from slot 0; returns their number.
std::int64_t MIGRATE() {
  std::int64_t k = 0;
  if (doMig == 0) return k;
  for (std::int64_t slot = 0; slot < NTot; ++slot) {
    // Both draws are made for every slot, immigrant or not.
    rVal = RANDREAL();
    if (!(RANDREAL() < migP)) continue;
    int g = 8;
    for (int i = 0; i < 8; ++i) {
      if (rVal < migCumF[i]) {
        g = i;
        break;
      }
    }
    // AaBb has two templates: coupling (4) when the phase draw falls below
    // one half, repulsion (5) otherwise. The genotypes after it sit one
    // template further on.
    int t = g;
    if (g == 4) {
      t = RANDREAL() < 0.5 ? 4 : 5;
    } else if (g > 4) {
      t = g + 1;
    }
    pNIND[k++] = mIND[t];
  }
  return k;
}

}  // namespace

std::int32_t INDEXDRAW() {
  const double n = static_cast<double>(NTot);
  std::int32_t pos;
  do {
    pos = static_cast<std::int32_t>(RANDREAL() * n);
  } while (pos == NTot);
  return pos;
}

void MUTATE() {
  const IND* const end = pNIND + NTot;
  for (IND* p = pNIND; p != end; ++p) {
    for (int c = 0; c < 2; ++c) {
      const int a = p->alleleA[c];
      if (RANDREAL() < mutA[a]) p->alleleA[c] = 1 - a;
      const int b = p->alleleB[c];
      if (RANDREAL() < mutB[b]) p->alleleB[c] = 1 - b;
    }
  }
}

void GENBUILD() {
  ++gen;
  const std::int64_t k = MIGRATE();
  STARTCHOICE();
  for (std::int64_t s = k; s < NTot; s += kBatch) {
    if (!OFFSPRING(s, NTot - s < kBatch ? NTot - s : kBatch)) {
      iterExtinct = 1;
      return;
    }
  }
  if (mutCheck != 0) MUTATE();
  FREQCALC();
  EXCHANGE();
}
