#include "tests/reference.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace ref {

const double kStep = std::ldexp(1.0, -30);

namespace {
const int kClass[3][3] = {{0, 1, 2}, {1, 3, 4}, {2, 4, 5}};
}  // namespace

// ---------------------------------------------------------------- random

RefRandom::RefRandom(unsigned seed) { std::srand(seed); }

void RefRandom::Reseed(unsigned seed) { std::srand(seed); }

double RefRandom::Raw() {
  ++randCalls_;
  return static_cast<double>(std::rand());
}

int RefRandom::Rndi() {
  if (buildTable_) {
    for (int i = 0; i < 97; ++i) Raw();
    for (int slot = 1; slot <= 97; ++slot) v_[slot] = Raw();
    y_ = Raw();
    buildTable_ = false;
  }
  const int j = Slot(y_);
  const double t = v_[j];
  y_ = t;
  v_[j] = Raw();
  return Scale(t);
}

int RefRandom::Slot(double y) {
  const int j = static_cast<int>(y * 97.0 / 2147483647.0 + 1.0);
  return j > 97 ? 97 : j;  // only the largest raw value gives 98
}

int RefRandom::Scale(double t) {
  double u = t / 2147483647.0 * 32768.0;
  if (u == 32768.0) u = 32767.0;
  return static_cast<int>(u);
}

double RefRandom::Real() {
  const std::int64_t r1 = Rndi();
  const std::int64_t r2 = Rndi();
  const std::int64_t k = r1 * 32768 + r2;
  return static_cast<double>(k) * kStep;
}

void RefSource::Script(const std::vector<double>& values) {
  scripted_ = values;
  nextScripted_ = 0;
}

double RefSource::Draw() {
  ++used_;
  if (nextScripted_ < scripted_.size()) return scripted_[nextScripted_++];
  if (gen_ != nullptr) return gen_->Real();
  if (nextRecorded_ >= recorded_.size()) throw std::runtime_error("reference ran out of recorded draws");
  return recorded_[nextRecorded_++];
}

// ---------------------------------------------------------------- records

int AlphaOf(const RefInd& ind) { return ind.alleleA[0] + ind.alleleA[1]; }
int BetaOf(const RefInd& ind) { return ind.alleleB[0] + ind.alleleB[1]; }
int GenotypeOf(const RefInd& ind) { return 3 * AlphaOf(ind) + BetaOf(ind); }

namespace {
// A chromosome whose two copies started on haplotype (a, b) of a founder
// or came with an immigrant.
void SetChrom(RefInd& ind, int c, int a, int b, std::int64_t copy, int origin) {
  ind.alleleA[c] = a;
  ind.alleleB[c] = b;
  ind.copyA[c] = copy;
  ind.copyB[c] = copy;
  ind.originA[c] = origin;
  ind.originB[c] = origin;
}
}  // namespace

// ---------------------------------------------------------------- the run

RefModel::RefModel(const RefSettings& settings) : s(settings) {
  NTot = 0;
  for (int g = 0; g < 9; ++g) NTot += s.startPop[g];
  for (int g = 0; g < 9; ++g) startF[g] = static_cast<double>(s.startPop[g]) / static_cast<double>(NTot);
  rec = s.rec_cM / 100.0;
  fitCheck = 0;
  for (int g = 0; g < 9; ++g)
    if (s.w[g] < 1.0) fitCheck = 1;
  mutCheck = (s.mutA[0] > 0.0 || s.mutA[1] > 0.0 || s.mutB[0] > 0.0 || s.mutB[1] > 0.0) ? 1 : 0;
  double sum = 0.0;
  for (int g = 0; g < 9; ++g) {
    sum += s.migF[g];
    migCumF[g] = sum;
  }
  migP = s.migN / static_cast<double>(NTot);

  // Templates: (Alpha, Beta) on chromosome 0 and on chromosome 1.
  const int alleles[10][4] = {{0, 0, 0, 0}, {0, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 0}, {0, 0, 1, 1},
                              {0, 1, 1, 0}, {0, 1, 1, 1}, {1, 0, 1, 0}, {1, 0, 1, 1}, {1, 1, 1, 1}};
  for (int t = 0; t < 10; ++t) {
    SetChrom(templates[t], 0, alleles[t][0], alleles[t][1], -1, -1);
    SetChrom(templates[t], 1, alleles[t][2], alleles[t][3], -1, -1);
  }
  cur.assign(static_cast<std::size_t>(NTot), RefInd());
  next.assign(static_cast<std::size_t>(NTot), RefInd());
  mated.assign(static_cast<std::size_t>(NTot), -1);
}

// ---------------------------------------------------------------- founders

void RefModel::Founders(RefSource& src) {
  for (int g = 0; g < 9; ++g) {
    N[g] = s.startPop[g];
    f[g] = startF[g];
  }
  // Haplotypes of chromosome 0 and chromosome 1 of each genotype's founder;
  // AaBb is entered in coupling and may turn to repulsion below.
  const int hap[9][2] = {{0, 0}, {0, 1}, {1, 1}, {0, 2}, {0, 3}, {1, 3}, {2, 2}, {2, 3}, {3, 3}};
  std::int64_t pos = 0;
  for (int g = 0; g < 9; ++g) {
    for (std::int64_t n = 0; n < s.startPop[g]; ++n) {
      RefInd& ind = cur[static_cast<std::size_t>(pos)];
      for (int c = 0; c < 2; ++c) {
        const int h = hap[g][c];
        SetChrom(ind, c, h / 2, h % 2, 2 * pos + c, h);
      }
      ++pos;
    }
  }
  for (std::int64_t j = 0; j < NTot; ++j) {
    RefInd& ind = cur[static_cast<std::size_t>(j)];
    if (GenotypeOf(ind) != 4) continue;
    if (src.Draw() < 0.5) {
      SetChrom(ind, 0, 0, 0, 2 * j, 0);
      SetChrom(ind, 1, 1, 1, 2 * j + 1, 3);
    } else {
      SetChrom(ind, 0, 0, 1, 2 * j, 1);
      SetChrom(ind, 1, 1, 0, 2 * j + 1, 2);
    }
  }
}

void RefModel::Shuffle(RefSource& src) {
  const std::size_t n = next.size();
  std::vector<double> keys(n);
  for (std::size_t i = 0; i < n; ++i) keys[i] = src.Draw();
  std::vector<RefInd> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    double least = 2.0;
    std::size_t m = 0;
    for (std::size_t k = 0; k < n; ++k) {
      if (keys[k] < least) {
        least = keys[k];
        m = k;
      }
    }
    out[i] = next[m];
    keys[m] = 3.0;
  }
  next = out;
}

// ---------------------------------------------------------------- iteration control

bool RefModel::AllOf(int g0, int g1, int g2) const { return N[g0] + N[g1] + N[g2] == NTot; }

bool RefModel::Pending() const {
  if (fixedAAll == 2 || fixedBAll == 2) return true;
  if (s.trackCopies == 1 && (fixedACopy == -1 || fixedBCopy == -1)) return true;
  return s.stopAtFix == 0;
}

void RefModel::IterInit() {
  contIter = 1;
  gen = 0;
  console += "\nReplicate #" + std::to_string(rep) + " ";
  bool pending = true;
  if (AllOf(0, 1, 2) && s.setAllFix[0] != 2) {
    fixedAAll = 0;
    genFixedAAll = 0;
    pending = false;
  }
  if (pending && AllOf(6, 7, 8) && s.setAllFix[0] != 1) {
    fixedAAll = 1;
    genFixedAAll = 0;
    pending = false;
  }
  if (pending) {
    fixedAAll = 2;
    genFixedAAll = s.genMax + 1;
  }
  pending = true;
  if (AllOf(0, 3, 6) && s.setAllFix[1] != 2) {
    fixedBAll = 0;
    genFixedBAll = 0;
    pending = false;
  }
  if (pending && AllOf(2, 5, 8) && s.setAllFix[1] != 1) {
    fixedBAll = 1;
    genFixedBAll = 0;
    pending = false;
  }
  if (pending) {
    fixedBAll = 2;
    genFixedBAll = s.genMax + 1;
  }
  fixedACopy = -1;
  fixedBCopy = -1;
  genFixedACopy = s.genMax + 1;
  genFixedBCopy = s.genMax + 1;
  iterExtinct = 0;
}

void RefModel::ContCheck() {
  contIter = Pending() ? 1 : 0;
  if (gen == s.genMax) {
    contIter = 0;
    console += " " + std::to_string(gen) + " generations\n";
  } else if (!Pending()) {
    console += " " + std::to_string(gen) + " generations\n";
  } else if (gen % 1000 == 0) {
    console += ".";
  }
  std::int64_t fertile = 0;
  for (int g = 0; g < 9; ++g)
    if (s.w[g] > 0.0) fertile += N[g];
  if ((s.mateRule == 1 && fertile == 0) || (s.mateRule != 1 && fertile < 2)) {
    contIter = 0;
    iterExtinct = 1;
  }
  if (s.mateCheck != 0 && iterExtinct == 0) {
    const std::int64_t nAA = N[0] + N[1] + N[2];
    const std::int64_t nAa = N[3] + N[4] + N[5];
    const std::int64_t naa = N[6] + N[7] + N[8];
    const std::int64_t k = s.mateRule == 1 ? 1 : 2;
    const double* p = s.matePref;
    const bool permitted = (p[0] > 0.0 && nAA >= k) || (p[3] > 0.0 && nAa >= k) || (p[5] > 0.0 && naa >= k) ||
                           (p[1] > 0.0 && nAA >= 1 && nAa >= 1) || (p[2] > 0.0 && nAA >= 1 && naa >= 1) ||
                           (p[4] > 0.0 && nAa >= 1 && naa >= 1);
    if (!permitted) {
      contIter = 0;
      iterExtinct = 1;
    }
  }
}

// ---------------------------------------------------------------- fixation

void RefModel::AlleleFix() {
  if (fixedAAll == 2) {
    if (AllOf(0, 1, 2) && s.setAllFix[0] != 2) {
      fixedAAll = 0;
      genFixedAAll = gen;
    } else if (AllOf(6, 7, 8) && s.setAllFix[0] != 1) {
      fixedAAll = 1;
      genFixedAAll = gen;
    }
  }
  if (fixedBAll == 2) {
    if (AllOf(0, 3, 6) && s.setAllFix[1] != 2) {
      fixedBAll = 0;
      genFixedBAll = gen;
    } else if (AllOf(2, 5, 8) && s.setAllFix[1] != 1) {
      fixedBAll = 1;
      genFixedBAll = gen;
    }
  }
}

void RefModel::CopyFix() {
  if (fixedACopy == -1) {
    const std::int64_t x = cur[0].copyA[0];
    bool same = true;
    for (std::size_t i = 0; i < cur.size() && same; ++i) {
      if (cur[i].copyA[0] != x) same = false;
      else if (cur[i].copyA[1] != x) same = false;
    }
    if (same && x != -1) {
      fixedACopy = x;
      genFixedACopy = gen;
      ancAHap = cur[0].originA[0];
    }
  }
  if (fixedBCopy == -1) {
    const std::int64_t x = cur[0].copyB[0];
    bool same = true;
    for (std::size_t i = 0; i < cur.size() && same; ++i) {
      if (cur[i].copyB[0] != x) same = false;
      else if (cur[i].copyB[1] != x) same = false;
    }
    if (same && x != -1) {
      fixedBCopy = x;
      genFixedBCopy = gen;
      ancBHap = cur[0].originB[0];
    }
  }
}

void RefModel::Tally() {
  if (iterExtinct == 1) {
    ++nIterExtinct;
    if (s.trackCopies == 1) {
      ++noFixedACopy;
      ++noFixedBCopy;
    }
    return;
  }
  if (fixedAAll == 0 || fixedAAll == 1) {
    ++totAFixed[fixedAAll];
    sumGenFixedAAll += genFixedAAll;
  } else {
    ++totAFixed[2];
  }
  if (fixedBAll == 0 || fixedBAll == 1) {
    ++totBFixed[fixedBAll];
    sumGenFixedBAll += genFixedBAll;
  } else {
    ++totBFixed[2];
  }
  if (s.trackCopies == 1) {
    if (genFixedACopy < s.genMax + 1) sumGenFixedACopy += genFixedACopy;
    else ++noFixedACopy;
    if (genFixedBCopy < s.genMax + 1) sumGenFixedBCopy += genFixedBCopy;
    else ++noFixedBCopy;
  }
}

// ---------------------------------------------------------------- parent choice

bool RefModel::CanPass(double p) { return p >= kStep; }

int RefModel::MatingClass(std::int64_t i, std::int64_t j) const {
  return kClass[AlphaOf(cur[static_cast<std::size_t>(i)])][AlphaOf(cur[static_cast<std::size_t>(j)])];
}

bool RefModel::Fertile(std::int64_t i) const { return CanPass(s.w[GenotypeOf(cur[static_cast<std::size_t>(i)])]); }

bool RefModel::PossiblePartner(std::int64_t i, std::int64_t j) const {
  if (!Fertile(j)) return false;
  if (j == i && s.mateRule != 1) return false;
  if (s.mateRule == 2) {
    const std::int64_t partner = mated[static_cast<std::size_t>(i)];
    if (partner >= 0) {
      if (j != partner) return false;
    } else {
      if (mated[static_cast<std::size_t>(j)] != -1) return false;
      if (j == i) return false;
    }
  }
  if (s.mateCheck == 2 && !CanPass(s.matePref[MatingClass(i, j)])) return false;
  return true;
}

bool RefModel::HasPossiblePartner(std::int64_t i) const {
  for (std::int64_t j = 0; j < NTot; ++j)
    if (PossiblePartner(i, j)) return true;
  return false;
}

bool RefModel::AnyPair() const {
  for (std::int64_t i = 0; i < NTot; ++i) {
    if (!Fertile(i)) continue;
    for (std::int64_t j = 0; j < NTot; ++j) {
      if (!PossiblePartner(i, j)) continue;
      if ((s.mateCheck == 1 || s.mateCheck == 2) && !CanPass(s.matePref[MatingClass(i, j)])) continue;
      return true;
    }
  }
  return false;
}

std::int64_t RefModel::IndexDraw(RefSource& src) const {
  while (true) {
    const double r = src.Draw();
    const std::int64_t pos = static_cast<std::int64_t>(r * static_cast<double>(NTot));
    if (pos != NTot) return pos;
  }
}

bool RefModel::ChooseParents(RefSource& src, std::int64_t& first, std::int64_t& second) {
  while (true) {
    if (!AnyPair()) return false;
    const std::int64_t i = IndexDraw(src);
    if (fitCheck == 1) {
      const double r = src.Draw();
      if (r > s.w[GenotypeOf(cur[static_cast<std::size_t>(i)])]) continue;
    }
    if ((s.mateCheck == 2 || s.mateRule == 2) && !HasPossiblePartner(i)) {
      ++setAside;
      continue;
    }
    std::int64_t j = 0;
    while (true) {
      j = IndexDraw(src);
      if (s.mateRule == 0) {
        while (j == i) j = IndexDraw(src);
      } else if (s.mateRule == 2) {
        if (mated[static_cast<std::size_t>(i)] >= 0) {
          j = mated[static_cast<std::size_t>(i)];
        } else {
          // The first candidate is set aside unexamined.
          do {
            j = IndexDraw(src);
          } while (j == i || mated[static_cast<std::size_t>(j)] != -1);
        }
      }
      if (s.mateCheck == 2) {
        const double r = src.Draw();
        if (r > s.matePref[MatingClass(i, j)]) continue;
      }
      if (fitCheck == 1) {
        const double r = src.Draw();
        if (r > s.w[GenotypeOf(cur[static_cast<std::size_t>(j)])]) continue;
      }
      break;
    }
    if (s.mateCheck == 1) {
      const double r = src.Draw();
      if (r > s.matePref[MatingClass(i, j)]) continue;
    }
    if (s.mateRule == 2) {
      if (mated[static_cast<std::size_t>(i)] == -1) mated[static_cast<std::size_t>(i)] = j;
      if (mated[static_cast<std::size_t>(j)] == -1) mated[static_cast<std::size_t>(j)] = i;
    }
    first = i;
    second = j;
    return true;
  }
}

// ---------------------------------------------------------------- transmission

void RefModel::Transmit(RefSource& src, const RefInd& parent, RefInd& child, int c) const {
  const int h = src.Draw() < 0.5 ? 0 : 1;
  child.alleleA[c] = parent.alleleA[h];
  child.copyA[c] = parent.copyA[h];
  child.originA[c] = parent.originA[h];
  int hb = h;
  if (rec > 0.0) {
    if (src.Draw() < rec) hb = 1 - h;
  }
  child.alleleB[c] = parent.alleleB[hb];
  child.copyB[c] = parent.copyB[hb];
  child.originB[c] = parent.originB[hb];
}

void RefModel::Mutate(RefSource& src) {
  for (RefInd& ind : next) {
    for (int c = 0; c < 2; ++c) {
      const int a = ind.alleleA[c];
      const double ra = src.Draw();
      if (a == 0 && ra < s.mutA[0]) ind.alleleA[c] = 1;
      if (a == 1 && ra < s.mutA[1]) ind.alleleA[c] = 0;
      const int b = ind.alleleB[c];
      const double rb = src.Draw();
      if (b == 0 && rb < s.mutB[0]) ind.alleleB[c] = 1;
      if (b == 1 && rb < s.mutB[1]) ind.alleleB[c] = 0;
    }
  }
}

void RefModel::Count() {
  for (int g = 0; g < 9; ++g) N[g] = 0;
  for (const RefInd& ind : next) ++N[GenotypeOf(ind)];
  for (int g = 0; g < 9; ++g) f[g] = static_cast<double>(N[g]) / static_cast<double>(NTot);
}

void RefModel::Generation(RefSource& src) {
  ++gen;
  std::int64_t k = 0;
  if (s.doMig == 1) {
    for (std::int64_t slot = 0; slot < NTot; ++slot) {
      const double rVal = src.Draw();
      if (src.Draw() < migP) {
        int g = 8;
        for (int h = 0; h <= 7; ++h) {
          if (rVal < migCumF[h]) {
            g = h;
            break;
          }
        }
        int t = g;
        if (g == 4) t = src.Draw() < 0.5 ? 4 : 5;
        else if (g > 4) t = g + 1;
        next[static_cast<std::size_t>(k)] = templates[t];
        ++k;
      }
    }
  }
  if (s.mateRule == 2)
    for (std::int64_t& m : mated) m = -1;
  for (std::int64_t slot = k; slot < NTot; ++slot) {
    std::int64_t i = 0;
    std::int64_t j = 0;
    if (!ChooseParents(src, i, j)) {
      iterExtinct = 1;
      return;
    }
    ++offspring;
    RefInd child;
    Transmit(src, cur[static_cast<std::size_t>(i)], child, 0);
    Transmit(src, cur[static_cast<std::size_t>(j)], child, 1);
    next[static_cast<std::size_t>(slot)] = child;
  }
  if (mutCheck == 1) Mutate(src);
  Count();
  cur = next;
}

// ---------------------------------------------------------------- the driver

void RefModel::Iteration(RefSource& src) {
  Founders(src);
  Shuffle(src);
  IterInit();
  while (contIter == 1) {
    Generation(src);
    if (iterExtinct == 1) {
      // The iteration ends here without CONTCHK; it no longer goes on, so
      // contIter reads 0 like that of any other ended iteration.
      contIter = 0;
      break;
    }
    if (fixedAAll == 2 || fixedBAll == 2) AlleleFix();
    if (s.trackCopies == 1 && (fixedACopy == -1 || fixedBCopy == -1)) CopyFix();
    ContCheck();
  }
  Tally();
}

void RefModel::Run(RefSource& src) {
  for (rep = 1; rep <= s.nIter; ++rep) Iteration(src);
}

}  // namespace ref
