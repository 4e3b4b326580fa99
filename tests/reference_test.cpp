// The program against the plain model of tests/reference.cpp: the random
// source, the founders, one generation record for record, whole iterations
// and the run tallies, over many seeds and setting families.
#include <algorithm>
#include <cmath>
#include <memory>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/founders.h"
#include "engine/generation.h"
#include "engine/random.h"
#include "model/driver.h"
#include "model/fixation.h"
#include "model/iteration.h"
#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"
#include "tests/reference.h"
#include "tests/testutil.h"

namespace {

using ref::RefInd;
using ref::RefModel;
using ref::RefRandom;
using ref::RefSettings;
using ref::RefSource;

// Seeds spread over the whole range 1 to 32767, different for each salt.
std::vector<unsigned> Seeds(int count, unsigned salt) {
  std::vector<unsigned> seeds;
  for (int k = 0; k < count; ++k)
    seeds.push_back(1u + static_cast<unsigned>((salt * 7919u + static_cast<unsigned>(k) * 104729u) % 32767u));
  return seeds;
}

// The settings screen's hand-over: every setting from s, the derived flags
// as the rules define them, then the run's allocation and initialisation.
void Apply(const RefSettings& s) {
  STARTDEF();
  for (int g = 0; g < 9; ++g) w[g] = s.w[g];
  for (int k = 0; k < 2; ++k) {
    mutA[k] = s.mutA[k];
    mutB[k] = s.mutB[k];
    setAllFix[k] = s.setAllFix[k];
  }
  rec_cM = s.rec_cM;
  rec = s.rec_cM / 100.0;
  doMig = s.doMig;
  migN = s.migN;
  double sum = 0.0;
  for (int g = 0; g < 9; ++g) {
    migF[g] = s.migF[g];
    sum += s.migF[g];
    migCumF[g] = sum;
  }
  mateRule = s.mateRule;
  for (int c = 0; c < 6; ++c) matePref[c] = s.matePref[c];
  mateCheck = s.mateCheck;
  nIter = s.nIter;
  genMax = s.genMax;
  trackCopies = s.trackCopies;
  stopAtFix = s.stopAtFix;
  fitCheck = 0;
  for (int g = 0; g < 9; ++g)
    if (s.w[g] < 1.0) fitCheck = 1;
  mutCheck = (s.mutA[0] > 0.0 || s.mutA[1] > 0.0 || s.mutB[0] > 0.0 || s.mutB[1] > 0.0) ? 1 : 0;
  SetPopulation(std::vector<std::int64_t>(s.startPop, s.startPop + 9));
}

RefInd FromProgram(const IND& ind) {
  RefInd r;
  for (int c = 0; c < 2; ++c) {
    r.alleleA[c] = AlleleA(ind, c);
    r.copyA[c] = CopyA(ind, c);
    r.originA[c] = OriginA(ind, c);
    r.alleleB[c] = AlleleB(ind, c);
    r.copyB[c] = CopyB(ind, c);
    r.originB[c] = OriginB(ind, c);
  }
  return r;
}

std::string Describe(const RefInd& r) {
  std::ostringstream out;
  for (int c = 0; c < 2; ++c) {
    out << (c == 0 ? "" : " | ") << "A" << r.alleleA[c] << " copy " << r.copyA[c] << " orig " << r.originA[c] << ", B"
        << r.alleleB[c] << " copy " << r.copyB[c] << " orig " << r.originB[c];
  }
  return out.str();
}

bool SameRecord(const RefInd& a, const RefInd& b) {
  for (int c = 0; c < 2; ++c) {
    if (a.alleleA[c] != b.alleleA[c] || a.copyA[c] != b.copyA[c] || a.originA[c] != b.originA[c] ||
        a.alleleB[c] != b.alleleB[c] || a.copyB[c] != b.copyB[c] || a.originB[c] != b.originB[c])
      return false;
  }
  return true;
}

// The current generation, its counts, gen, iterExtinct and the draws used.
// Before ITERINIT the last two still hold what an earlier case left.
::testing::AssertionResult SameGeneration(const RefModel& m, const RefSource& src, bool iterationStarted = true) {
  for (std::int64_t i = 0; i < m.NTot; ++i) {
    const RefInd actual = FromProgram(pIND[i]);
    const RefInd& expected = m.cur[static_cast<std::size_t>(i)];
    if (!SameRecord(actual, expected))
      return ::testing::AssertionFailure() << "record " << i << "\n  expected " << Describe(expected)
                                           << "\n  actual   " << Describe(actual);
  }
  for (int g = 0; g < 9; ++g) {
    if (N[g] != m.N[g]) return ::testing::AssertionFailure() << "N[" << g << "] " << N[g] << ", expected " << m.N[g];
    if (f[g] != m.f[g]) return ::testing::AssertionFailure() << "f[" << g << "] " << f[g] << ", expected " << m.f[g];
  }
  if (iterationStarted && gen != m.gen)
    return ::testing::AssertionFailure() << "gen " << gen << ", expected " << m.gen;
  if (iterationStarted && iterExtinct != m.iterExtinct)
    return ::testing::AssertionFailure() << "iterExtinct " << iterExtinct << ", expected " << m.iterExtinct;
  if (drawCount != src.Used())
    return ::testing::AssertionFailure() << "draws used " << drawCount << ", expected " << src.Used();
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameIterationState(const RefModel& m) {
  std::ostringstream diff;
  auto check = [&diff](const char* name, std::int64_t actual, std::int64_t expected) {
    if (actual != expected) diff << " " << name << " " << actual << " (expected " << expected << ")";
  };
  check("contIter", contIter, m.contIter);
  check("iterExtinct", iterExtinct, m.iterExtinct);
  check("gen", gen, m.gen);
  check("fixedAAll", fixedAAll, m.fixedAAll);
  check("genFixedAAll", genFixedAAll, m.genFixedAAll);
  check("fixedBAll", fixedBAll, m.fixedBAll);
  check("genFixedBAll", genFixedBAll, m.genFixedBAll);
  check("fixedACopy", fixedACopy, m.fixedACopy);
  check("genFixedACopy", genFixedACopy, m.genFixedACopy);
  check("fixedBCopy", fixedBCopy, m.fixedBCopy);
  check("genFixedBCopy", genFixedBCopy, m.genFixedBCopy);
  if (m.fixedACopy != -1) check("ancAHap", ancAHap, m.ancAHap);
  if (m.fixedBCopy != -1) check("ancBHap", ancBHap, m.ancBHap);
  if (diff.str().empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "iteration state:" << diff.str();
}

::testing::AssertionResult SameTallies(const RefModel& m) {
  std::ostringstream diff;
  auto check = [&diff](const std::string& name, std::int64_t actual, std::int64_t expected) {
    if (actual != expected) diff << " " << name << " " << actual << " (expected " << expected << ")";
  };
  for (int k = 0; k < 3; ++k) {
    check("totAFixed[" + std::to_string(k) + "]", totAFixed[k], m.totAFixed[k]);
    check("totBFixed[" + std::to_string(k) + "]", totBFixed[k], m.totBFixed[k]);
  }
  check("sumGenFixedAAll", sumGenFixedAAll, m.sumGenFixedAAll);
  check("sumGenFixedBAll", sumGenFixedBAll, m.sumGenFixedBAll);
  check("sumGenFixedACopy", sumGenFixedACopy, m.sumGenFixedACopy);
  check("sumGenFixedBCopy", sumGenFixedBCopy, m.sumGenFixedBCopy);
  check("noFixedACopy", noFixedACopy, m.noFixedACopy);
  check("noFixedBCopy", noFixedBCopy, m.noFixedBCopy);
  check("nIterExtinct", nIterExtinct, m.nIterExtinct);
  if (diff.str().empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "tallies:" << diff.str();
}

// A named group of settings.
struct Family {
  std::string name;
  RefSettings s;
};

RefSettings Population(std::vector<std::int64_t> counts) {
  RefSettings s;
  for (int g = 0; g < 9; ++g) s.startPop[g] = counts[static_cast<std::size_t>(g)];
  return s;
}

// What a family reached over its seeds, so that each test can check that
// its settings exercise what they are meant to.
struct Reached {
  std::uint64_t setAside = 0;
  std::uint64_t offspring = 0;
  int extinct = 0;
  int runs = 0;
  std::uint64_t draws = 0;
};

class ReferenceTest : public ProgramTest {
 protected:
  // Founders, shuffle and `gens` generations of one seed, compared after
  // every step; the first difference ends the seed with a failure that
  // names where it happened.
  void CompareGenerations(const Family& fam, unsigned seed, int gens, Reached* reached = nullptr) {
    SCOPED_TRACE("family " + fam.name + ", seed " + std::to_string(seed));
    Apply(fam.s);
    RestartRandom(seed);
    RefRandom generator(seed);
    RefSource src(generator);
    RefModel m(fam.s);
    POPBUILD();
    m.Founders(src);
    ASSERT_TRUE(SameGeneration(m, src, false)) << "after the founders";
    SHUFFLE();
    m.Shuffle(src);
    ASSERT_EQ(drawCount, src.Used()) << "after the shuffle";
    ITERINIT();
    m.IterInit();
    for (int g = 1; g <= gens; ++g) {
      GENBUILD();
      m.Generation(src);
      ASSERT_TRUE(SameGeneration(m, src)) << "generation " << g;
      if (m.iterExtinct == 1) break;
    }
    if (reached != nullptr) {
      reached->setAside += m.setAside;
      reached->offspring += m.offspring;
      reached->extinct += m.iterExtinct;
      reached->draws += src.Used();
      ++reached->runs;
    }
  }

  void CompareFamily(const Family& fam, int seeds, int gens, unsigned salt, Reached* reached = nullptr) {
    for (unsigned seed : Seeds(seeds, salt)) {
      CompareGenerations(fam, seed, gens, reached);
      if (HasFatalFailure()) return;
    }
  }

  // `iterations` whole iterations of one seed through the driver's
  // ITERATION, compared after each, and the tallies at the end.
  void CompareIterations(const Family& fam, unsigned seed, int iterations, Reached* reached = nullptr) {
    SCOPED_TRACE("family " + fam.name + ", seed " + std::to_string(seed));
    Apply(fam.s);
    RestartRandom(seed);
    RefRandom generator(seed);
    RefSource src(generator);
    RefModel m(fam.s);
    for (int r = 1; r <= iterations; ++r) {
      rep = r;
      m.rep = r;
      ClearOutput();
      m.console.clear();
      ITERATION();
      m.Iteration(src);
      ASSERT_TRUE(SameIterationState(m)) << "iteration " << r;
      ASSERT_TRUE(SameGeneration(m, src)) << "last generation of iteration " << r;
      ASSERT_EQ(Output(), m.console) << "console of iteration " << r;
      if (reached != nullptr) reached->extinct += m.iterExtinct;
    }
    ASSERT_TRUE(SameTallies(m));
    if (reached != nullptr) {
      reached->setAside += m.setAside;
      reached->offspring += m.offspring;
      reached->draws += src.Used();
      ++reached->runs;
    }
  }

  void CompareIterationFamily(const Family& fam, int seeds, int iterations, unsigned salt,
                              Reached* reached = nullptr) {
    for (unsigned seed : Seeds(seeds, salt)) {
      CompareIterations(fam, seed, iterations, reached);
      if (HasFatalFailure()) return;
    }
  }
};

// ---------------------------------------------------------------- families

RefSettings Defaults() { return RefSettings(); }

RefSettings WithSelection(RefSettings s) {
  const double ws[9] = {1.0, 0.5, 0.0, 1e-10, 0.9, 0.2, 1.0, 0.05, 0.7};
  for (int g = 0; g < 9; ++g) s.w[g] = ws[g];
  return s;
}

RefSettings WithPrefs(RefSettings s, int check, std::vector<double> prefs) {
  s.mateCheck = check;
  for (int c = 0; c < 6; ++c) s.matePref[c] = prefs[static_cast<std::size_t>(c)];
  return s;
}

RefSettings WithRule(RefSettings s, int rule) {
  s.mateRule = rule;
  return s;
}

RefSettings WithMigration(RefSettings s, double migN, std::vector<double> migF) {
  s.doMig = 1;
  s.migN = migN;
  s.trackCopies = 0;
  for (int g = 0; g < 9; ++g) s.migF[g] = migF[static_cast<std::size_t>(g)];
  return s;
}

std::vector<double> OnlyGenotype(int g) {
  std::vector<double> migF(9, 0.0);
  migF[static_cast<std::size_t>(g)] = 1.0;
  return migF;
}

const std::vector<double> kPrefs = {1.0, 0.3, 0.0, 0.8, 1e-12, 0.5};

// ---------------------------------------------------------------- random source

TEST_F(ReferenceTest, RandomSourceDrawsAsTheNaiveTableForManySeeds) {
  for (unsigned seed : Seeds(24, 1)) {
    RestartRandom(seed);
    RefRandom naive(seed);
    for (int n = 0; n < 20000; ++n) {
      const double expected = naive.Real();
      const double actual = RANDREAL();
      ASSERT_EQ(actual, expected) << "seed " << seed << ", draw " << n;
    }
    EXPECT_EQ(drawCount, 20000u);
    EXPECT_EQ(randCalls, naive.RandCalls()) << "seed " << seed;
  }
  // The two ends of the seed range.
  for (unsigned seed : {1u, 32767u}) {
    RestartRandom(seed);
    RefRandom naive(seed);
    for (int n = 0; n < 5000; ++n) ASSERT_EQ(RANDREAL(), naive.Real()) << "seed " << seed << ", draw " << n;
  }
}

TEST_F(ReferenceTest, RandomSourceBuildsItsTableFromTheFirstDrawOnly) {
  for (unsigned seed : Seeds(20, 2)) {
    RestartRandom(seed);
    EXPECT_EQ(randCalls, 0u);
    RANDREAL();
    // 195 to build the table, then one refill for each of two RNDI draws.
    EXPECT_EQ(randCalls, 197u) << "seed " << seed;
    for (int n = 0; n < 99; ++n) RANDREAL();
    EXPECT_EQ(randCalls, 195u + 200u) << "seed " << seed;
    EXPECT_EQ(drawCount, 100u);
  }
}

TEST_F(ReferenceTest, RandomSourceKeepsItsTableWhenReseeded) {
  for (unsigned seed : Seeds(20, 3)) {
    const unsigned second = seed % 2 == 0 ? seed : 32768u - seed;
    RestartRandom(seed);
    RefRandom naive(seed);
    for (int n = 0; n < 300; ++n) ASSERT_EQ(RANDREAL(), naive.Real());
    // A second run: only srand is called again.
    rsd = second;
    SEEDRND();
    naive.Reseed(second);
    const std::uint64_t callsBefore = randCalls;
    std::vector<double> again;
    for (int n = 0; n < 3000; ++n) {
      const double d = RANDREAL();
      again.push_back(d);
      ASSERT_EQ(d, naive.Real()) << "seed " << seed << " then " << second << ", draw " << n;
    }
    EXPECT_EQ(randCalls - callsBefore, 6000u) << "no table is built again";
    // Not the sequence of a fresh start on the same seed.
    RefRandom fresh(second);
    int same = 0;
    for (int n = 0; n < 3000; ++n) same += fresh.Real() == again[static_cast<std::size_t>(n)] ? 1 : 0;
    EXPECT_LT(same, 3000);
  }
}

TEST_F(ReferenceTest, RandomSourceDrawsStayWithinTheirRange) {
  double least = 1.0;
  double most = 0.0;
  RestartRandom(4242);
  for (int n = 0; n < 200000; ++n) {
    const double d = RANDREAL();
    ASSERT_GE(d, 0.0);
    ASSERT_LT(d, 1.0);
    ASSERT_EQ(std::ldexp(d, 30), std::floor(std::ldexp(d, 30))) << "a whole multiple of 2^-30";
    least = std::min(least, d);
    most = std::max(most, d);
  }
  EXPECT_LT(least, 1e-4);
  EXPECT_GT(most, 1.0 - 1e-4);
}

// The program works the slot and the scale in whole numbers; the rules give
// them in double arithmetic. The two must agree at every boundary.
TEST_F(ReferenceTest, SlotAndScaleAgreeWithTheDoubleFormulas) {
  const std::uint32_t top = 2147483647u;
  std::vector<std::uint32_t> values = {0u, 1u, 2u, top - 2u, top - 1u, top};
  for (std::uint64_t k = 1; k <= 97; ++k) {
    const std::uint64_t edge = k * top / 97u;
    for (std::int64_t d = -3; d <= 3; ++d) {
      const std::int64_t v = static_cast<std::int64_t>(edge) + d;
      if (v >= 0 && v <= static_cast<std::int64_t>(top)) values.push_back(static_cast<std::uint32_t>(v));
    }
  }
  for (std::uint64_t k = 1; k <= 32768; ++k) {
    const std::uint64_t edge = k * top / 32768u;
    for (std::int64_t d = -2; d <= 2; ++d) {
      const std::int64_t v = static_cast<std::int64_t>(edge) + d;
      if (v >= 0 && v <= static_cast<std::int64_t>(top)) values.push_back(static_cast<std::uint32_t>(v));
    }
  }
  std::uint32_t x = 12345u;
  for (int n = 0; n < 200000; ++n) {
    x = x * 1103515245u + 12345u;
    values.push_back(x & top);
  }
  for (std::uint32_t v : values) {
    ASSERT_EQ(static_cast<int>(RNDISLOT(v)), RefRandom::Slot(static_cast<double>(v))) << "raw " << v;
    ASSERT_EQ(RNDISCALE(v), RefRandom::Scale(static_cast<double>(v))) << "raw " << v;
  }
  EXPECT_EQ(RefRandom::Slot(2147483647.0), 97);
  EXPECT_EQ(RefRandom::Scale(2147483647.0), 32767);
}

TEST_F(ReferenceTest, ReferenceFedWithRecordedDrawsMatchesTheProgram) {
  // The model on the program's own recorded draws: the generations match
  // whatever the comparison of the two random sources says.
  const RefSettings s = WithPrefs(WithSelection(WithRule(Defaults(), 2)), 2, kPrefs);
  for (unsigned seed : Seeds(20, 5)) {
    Apply(s);
    const std::vector<double> recorded = RecordDraws(seed, 60000);
    RefSource src(recorded);
    RefModel m(s);
    POPBUILD();
    m.Founders(src);
    SHUFFLE();
    m.Shuffle(src);
    ITERINIT();
    m.IterInit();
    for (int g = 1; g <= 4; ++g) {
      GENBUILD();
      m.Generation(src);
      ASSERT_TRUE(SameGeneration(m, src)) << "seed " << seed << ", generation " << g;
    }
  }
}

// ---------------------------------------------------------------- founders

TEST_F(ReferenceTest, FoundersTheirPhaseCountsAndShuffleDraws) {
  const std::vector<Family> families = {
      {"defaults", Defaults()},
      {"only AaBb", Population({0, 0, 0, 0, 37, 0, 0, 0, 0})},
      {"no AaBb", Population({3, 1, 4, 1, 0, 5, 9, 2, 6})},
      {"one AaBb", Population({0, 0, 0, 0, 1, 0, 0, 0, 0})},
      {"sparse", Population({0, 7, 0, 0, 3, 0, 2, 0, 1})},
      {"thousand", Population({100, 120, 80, 130, 150, 110, 90, 120, 100})},
  };
  for (const Family& fam : families) {
    for (unsigned seed : Seeds(20, 6)) {
      SCOPED_TRACE(fam.name + ", seed " + std::to_string(seed));
      Apply(fam.s);
      RestartRandom(seed);
      RefRandom generator(seed);
      RefSource src(generator);
      RefModel m(fam.s);
      POPBUILD();
      m.Founders(src);
      ASSERT_TRUE(SameGeneration(m, src, false));
      EXPECT_EQ(drawCount, static_cast<std::uint64_t>(fam.s.startPop[4]));
      for (int g = 0; g < 9; ++g) {
        EXPECT_EQ(N[g], startPop[g]);
        EXPECT_EQ(f[g], startF[g]);
      }
      SHUFFLE();
      m.Shuffle(src);
      EXPECT_EQ(drawCount, src.Used());
      EXPECT_EQ(drawCount, static_cast<std::uint64_t>(fam.s.startPop[4] + m.NTot));
    }
  }
}

TEST_F(ReferenceTest, FounderPhaseAtExactlyOneHalfIsRepulsion) {
  const RefSettings s = Population({1, 0, 0, 0, 4, 0, 0, 0, 1});
  const std::vector<double> script = {0.5, 0.5 - std::ldexp(1.0, -30), 0.0, 0.999999999};
  Apply(s);
  RestartRandom(77);
  SCRIPTDRAWS(script);
  RefRandom generator(77);
  RefSource src(generator);
  src.Script(script);
  RefModel m(s);
  POPBUILD();
  m.Founders(src);
  ASSERT_TRUE(SameGeneration(m, src, false));
  // Founder 1 drew 0.5: Ab / aB.
  EXPECT_EQ(AlleleB(pIND[1], 0), 1);
  EXPECT_EQ(OriginA(pIND[1], 0), 1);
  EXPECT_EQ(OriginA(pIND[1], 1), 2);
  // Founder 2 drew just below: AB / ab.
  EXPECT_EQ(AlleleB(pIND[2], 0), 0);
  EXPECT_EQ(OriginB(pIND[2], 1), 3);
  EXPECT_EQ(SCRIPTLEFT(), 0u);
}

// ---------------------------------------------------------------- one generation

TEST_F(ReferenceTest, GenerationDefaultsAndRecombination) {
  RefSettings r30 = Defaults();
  r30.rec_cM = 30.0;
  RefSettings r50 = Defaults();
  r50.rec_cM = 50.0;
  RefSettings r50rule0 = WithRule(r50, 0);
  r50rule0.rec_cM = 50.0;
  RefSettings r1 = Defaults();
  r1.rec_cM = 1.0;
  for (const Family& fam : std::vector<Family>{
           {"defaults", Defaults()}, {"rec 0.3", r30}, {"rec 0.5", r50}, {"rec 0.5 rule 0", r50rule0}, {"rec 0.01", r1}}) {
    CompareFamily(fam, 20, 8, 10);
    if (HasFatalFailure()) return;
  }
}

TEST_F(ReferenceTest, GenerationDefaultsUseFourDrawsAnOffspring) {
  for (unsigned seed : Seeds(20, 11)) {
    Apply(Defaults());
    RestartRandom(seed);
    POPBUILD();
    SHUFFLE();
    ITERINIT();
    const std::uint64_t before = drawCount;
    GENBUILD();
    EXPECT_EQ(drawCount - before, 640u);
  }
}

TEST_F(ReferenceTest, GenerationSelection) {
  RefSettings harsh = Defaults();
  const double ws[9] = {0.0, 0.0, 1e-12, 0.0, 1.0, 0.0, 1e-300, 0.0, 0.3};
  for (int g = 0; g < 9; ++g) harsh.w[g] = ws[g];
  Reached reached;
  for (const Family& fam : std::vector<Family>{{"selection", WithSelection(Defaults())},
                                               {"selection rule 0", WithRule(WithSelection(Defaults()), 0)},
                                               {"selection monogamy", WithRule(WithSelection(Defaults()), 2)},
                                               {"selection rec 0.5", [] {
                                                  RefSettings s = WithSelection(Defaults());
                                                  s.rec_cM = 50.0;
                                                  return s;
                                                }()},
                                               {"harsh selection", harsh},
                                               {"harsh selection rule 0", WithRule(harsh, 0)}}) {
    CompareFamily(fam, 20, 8, 12, &reached);
    if (HasFatalFailure()) return;
  }
  EXPECT_EQ(reached.extinct, 0);
}

TEST_F(ReferenceTest, GenerationMutation) {
  RefSettings small = Defaults();
  small.mutA[0] = 0.01;
  small.mutB[1] = 0.02;  // the other two rates are 0, their draws still made
  RefSettings ones = Defaults();
  ones.mutA[0] = 1.0;
  ones.mutB[1] = 1.0;
  RefSettings allOnes = Defaults();
  allOnes.mutA[0] = allOnes.mutA[1] = allOnes.mutB[0] = allOnes.mutB[1] = 1.0;
  RefSettings tiny = Defaults();
  tiny.mutB[0] = 1e-300;  // mutation on, but practically never
  RefSettings mixed = WithSelection(Defaults());
  mixed.mutA[0] = mixed.mutA[1] = mixed.mutB[0] = mixed.mutB[1] = 0.05;
  mixed.rec_cM = 30.0;
  for (const Family& fam : std::vector<Family>{{"small rates", small},
                                               {"rates 1 and 0", ones},
                                               {"all rates 1", allOnes},
                                               {"rate near 0", tiny},
                                               {"with selection and rec", mixed}}) {
    CompareFamily(fam, 20, 6, 13);
    if (HasFatalFailure()) return;
  }
}

TEST_F(ReferenceTest, GenerationMigrationOfEachGenotypeAlone) {
  for (int g = 0; g < 9; ++g) {
    const Family fam{"immigrants genotype " + std::to_string(g), WithMigration(Defaults(), 24.5, OnlyGenotype(g))};
    CompareFamily(fam, 20, 4, 20 + static_cast<unsigned>(g));
    if (HasFatalFailure()) return;
  }
}

TEST_F(ReferenceTest, GenerationMigrationMixed) {
  const std::vector<double> mixed = {0.1, 0.05, 0.15, 0.1, 0.2, 0.1, 0.1, 0.1, 0.1};
  const std::vector<double> partial = {0.3, 0.0, 0.0, 0.0, 0.2, 0.0, 0.0, 0.0, 0.0};  // the rest falls to aabb
  RefSettings flood = WithMigration(Population({1, 0, 1, 0, 1, 0, 1, 0, 1}), 4.999, mixed);
  RefSettings withMutation = WithMigration(WithSelection(Defaults()), 10.0, mixed);
  withMutation.mutA[0] = withMutation.mutB[1] = 0.1;
  withMutation.rec_cM = 50.0;
  for (const Family& fam : std::vector<Family>{{"mixed", WithMigration(Defaults(), 16.0, mixed)},
                                               {"partial", WithMigration(Defaults(), 40.0, partial)},
                                               {"flood", flood},
                                               {"AaBb with selection and mutation",
                                                WithMigration(WithSelection(Defaults()), 10.0, OnlyGenotype(4))},
                                               {"mixed with mutation", withMutation},
                                               {"monogamy premating", WithPrefs(WithRule(WithMigration(Defaults(), 30.0,
                                                                                                       mixed),
                                                                                         2),
                                                                                2, kPrefs)}}) {
    CompareFamily(fam, 20, 6, 30);
    if (HasFatalFailure()) return;
  }
}

TEST_F(ReferenceTest, GenerationFertilizationRules) {
  for (int rule = 0; rule <= 2; ++rule) {
    CompareFamily({"rule " + std::to_string(rule), WithRule(Defaults(), rule)}, 20, 8, 40);
    if (HasFatalFailure()) return;
    CompareFamily({"rule " + std::to_string(rule) + " small", WithRule(Population({0, 1, 0, 1, 2, 0, 1, 1, 0}), rule)},
                  20, 10, 41);
    if (HasFatalFailure()) return;
  }
}

TEST_F(ReferenceTest, GenerationPostmating) {
  for (int rule = 0; rule <= 2; ++rule) {
    CompareFamily({"postmating rule " + std::to_string(rule), WithPrefs(WithRule(Defaults(), rule), 1, kPrefs)}, 20, 6,
                  50);
    if (HasFatalFailure()) return;
  }
  CompareFamily({"postmating with selection", WithPrefs(WithSelection(Defaults()), 1, kPrefs)}, 20, 6, 51);
}

TEST_F(ReferenceTest, GenerationPremating) {
  for (int rule = 0; rule <= 1; ++rule) {
    CompareFamily({"premating rule " + std::to_string(rule), WithPrefs(WithRule(Defaults(), rule), 2, kPrefs)}, 20, 6,
                  60);
    if (HasFatalFailure()) return;
  }
  CompareFamily({"premating with selection", WithPrefs(WithSelection(Defaults()), 2, kPrefs)}, 20, 6, 61);
}

TEST_F(ReferenceTest, GenerationMonogamyWithPremating) {
  Reached reached;
  CompareFamily({"monogamy premating", WithPrefs(WithRule(Defaults(), 2), 2, kPrefs)}, 20, 6, 70, &reached);
  if (HasFatalFailure()) return;
  CompareFamily({"monogamy premating selection", WithPrefs(WithRule(WithSelection(Defaults()), 2), 2, kPrefs)}, 20, 6,
                71, &reached);
  if (HasFatalFailure()) return;
  CompareFamily({"monogamy premating odd", WithPrefs(WithRule(Population({1, 1, 0, 1, 1, 0, 1, 1, 1}), 2), 2, kPrefs)},
                20, 10, 72, &reached);
  EXPECT_GT(reached.setAside, 0u);
}

// Populations whose parent choice sets first parents aside.
TEST_F(ReferenceTest, GenerationGuardsSetAside) {
  Reached reached;
  // No AA individual has any permitted partner.
  CompareFamily({"AA without partners", WithPrefs(Defaults(), 2, {0.0, 0.0, 1e-11, 1.0, 1.0, 1.0})}, 20, 6, 80,
                &reached);
  if (HasFatalFailure()) return;
  // Monogamy in odd populations: the last one without a partner.
  for (std::vector<std::int64_t> counts : {std::vector<std::int64_t>{0, 1, 0, 0, 1, 0, 1, 0, 0},
                                           std::vector<std::int64_t>{1, 0, 1, 0, 1, 1, 0, 0, 1},
                                           std::vector<std::int64_t>{1, 1, 1, 0, 1, 0, 1, 1, 1}}) {
    CompareFamily({"monogamy odd", WithRule(Population(counts), 2)}, 20, 10, 81, &reached);
    if (HasFatalFailure()) return;
  }
  // Monogamy where a sterile majority leaves few possible partners.
  RefSettings sterile = WithRule(Population({3, 0, 0, 0, 2, 0, 0, 0, 4}), 2);
  sterile.w[8] = 1e-12;
  CompareFamily({"monogamy near-sterile", sterile}, 20, 6, 82, &reached);
  if (HasFatalFailure()) return;
  // Premating, rule 0: the only aa individual may mate only with aa.
  CompareFamily({"lone aa", WithRule(WithPrefs(Population({3, 0, 0, 2, 0, 0, 1, 0, 0}), 2,
                                               {1.0, 1.0, 0.0, 1.0, 0.0, 1.0}),
                                     0)},
                20, 6, 83, &reached);
  EXPECT_GT(reached.setAside, 100u);
}

// Populations that cannot reproduce although the counts let them go on.
TEST_F(ReferenceTest, GenerationGuardsEndInExtinction) {
  struct Case {
    std::string name;
    RefSettings s;
  };
  std::vector<Case> cases;
  {
    RefSettings s = WithRule(Population({1, 0, 0, 0, 0, 0, 0, 0, 1}), 0);
    s.w[8] = 1e-12;  // counts as fertile for the iteration control only
    cases.push_back({"rule 0, one fertile", s});
  }
  {
    RefSettings s = WithRule(Population({0, 0, 0, 0, 3, 0, 0, 0, 0}), 1);
    s.w[4] = 1e-12;
    cases.push_back({"rule 1, none fertile", s});
  }
  {
    RefSettings s = WithRule(Population({1, 0, 0, 0, 0, 0, 0, 0, 2}), 0);
    cases.push_back({"premating, no permitted class", WithPrefs(s, 2, {1.0, 1e-11, 0.0, 1.0, 1.0, 0.0})});
  }
  {
    RefSettings s = WithRule(Population({1, 0, 0, 0, 0, 0, 0, 0, 2}), 0);
    cases.push_back({"postmating, no permitted class", WithPrefs(s, 1, {1.0, 1.0, 0.0, 1.0, 1.0, 1e-13})});
  }
  {
    // Fertile pairs have preference 0; pairs with a sterile one do not count.
    RefSettings s = Population({2, 0, 0, 0, 0, 0, 2, 0, 0});
    s.w[6] = 0.0;
    cases.push_back({"postmating, only sterile pairs permitted", WithPrefs(s, 1, {0.0, 1.0, 1.0, 1.0, 1.0, 1.0})});
  }
  {
    RefSettings s = WithRule(Population({0, 0, 0, 0, 0, 0, 0, 0, 1}), 2);
    cases.push_back({"monogamy, one individual", s});
  }
  {
    RefSettings s = WithRule(Population({1, 0, 0, 0, 0, 0, 0, 0, 1}), 2);
    s.w[0] = 1e-20;
    cases.push_back({"monogamy, one fertile", s});
  }
  {
    RefSettings s = WithRule(Population({2, 0, 0, 0, 0, 0, 0, 0, 1}), 2);
    cases.push_back({"monogamy premating", WithPrefs(s, 2, {0.0, 1.0, 0.0, 1.0, 1.0, 1.0})});
  }
  {
    RefSettings s = WithMigration(WithRule(Population({1, 0, 0, 0, 0, 0, 0, 0, 1}), 0), 0.02, OnlyGenotype(4));
    s.w[8] = 1e-12;
    s.mutA[0] = 0.5;
    cases.push_back({"after migration draws", s});
  }
  for (const Case& c : cases) {
    Reached reached;
    CompareFamily({c.name, c.s}, 20, 3, 90, &reached);
    if (HasFatalFailure()) return;
    EXPECT_EQ(reached.extinct, reached.runs) << c.name;
  }
}

TEST_F(ReferenceTest, GenerationExtinctionLeavesTheGenerationUntouched) {
  RefSettings s = WithRule(Population({1, 0, 0, 0, 1, 0, 0, 0, 1}), 0);
  s.w[4] = s.w[8] = 1e-12;
  s.mutA[0] = 0.3;
  for (unsigned seed : Seeds(20, 91)) {
    Apply(s);
    RestartRandom(seed);
    POPBUILD();
    SHUFFLE();
    ITERINIT();
    std::vector<RefInd> before;
    for (std::int64_t i = 0; i < NTot; ++i) before.push_back(FromProgram(pIND[i]));
    const std::uint64_t draws = drawCount;
    GENBUILD();
    EXPECT_EQ(iterExtinct, 1);
    EXPECT_EQ(gen, 1);
    EXPECT_EQ(drawCount, draws) << "no draw at all, not even for mutation";
    for (std::int64_t i = 0; i < NTot; ++i) EXPECT_TRUE(SameRecord(FromProgram(pIND[i]), before[static_cast<std::size_t>(i)]));
    EXPECT_EQ(N[0], 1);
    EXPECT_EQ(N[4], 1);
    EXPECT_EQ(N[8], 1);
  }
}

TEST_F(ReferenceTest, GenerationPopulationSizes) {
  RefSettings one = Population({0, 0, 0, 0, 1, 0, 0, 0, 0});
  one.rec_cM = 50.0;
  RefSettings thousand = Population({100, 120, 80, 130, 150, 110, 90, 120, 100});
  thousand.rec_cM = 20.0;
  RefSettings thousandMono = WithPrefs(WithRule(WithSelection(Population({111, 111, 111, 111, 111, 111, 111, 111, 111})),
                                                2),
                                       2, kPrefs);
  for (const Family& fam : std::vector<Family>{
           {"one", one},
           {"one, mutation", [&] {
              RefSettings s = one;
              s.mutA[0] = s.mutA[1] = 0.5;
              return s;
            }()},
           {"two rule 0", WithRule(Population({0, 0, 0, 0, 1, 0, 0, 0, 1}), 0)},
           {"two rule 1", Population({1, 0, 0, 0, 1, 0, 0, 0, 0})},
           {"two monogamy", WithRule(Population({0, 0, 1, 0, 1, 0, 0, 0, 0}), 2)},
           {"three", WithRule(Population({0, 1, 0, 0, 1, 0, 0, 1, 0}), 0)},
           {"five", WithPrefs(Population({1, 0, 1, 0, 1, 0, 1, 0, 1}), 2, kPrefs)},
           {"seven", WithRule(WithSelection(Population({1, 1, 1, 0, 1, 1, 0, 1, 1})), 0)},
           {"thousand", thousand},
           {"999 monogamy premating selection", thousandMono}}) {
    CompareFamily(fam, 20, 5, 100);
    if (HasFatalFailure()) return;
  }
}

// ---------------------------------------------------------------- draws on a boundary

// Runs one generation of s on a scripted start, program and model alike.
class ScriptedTest : public ReferenceTest {
 protected:
  void Run(const RefSettings& s, const std::vector<double>& founderDraws, const std::vector<double>& script) {
    Apply(s);
    RestartRandom(99);
    RefRandom generator(99);
    RefSource src(generator);
    model_.reset(new RefModel(s));
    std::vector<double> all = founderDraws;
    for (std::int64_t i = 0; i < NTot; ++i) all.push_back(0.5);  // shuffle keys
    all.insert(all.end(), script.begin(), script.end());
    SCRIPTDRAWS(all);
    src.Script(all);
    POPBUILD();
    model_->Founders(src);
    SHUFFLE();
    model_->Shuffle(src);
    ITERINIT();
    model_->IterInit();
    GENBUILD();
    model_->Generation(src);
    ASSERT_TRUE(SameGeneration(*model_, src));
    EXPECT_EQ(SCRIPTLEFT(), 0u) << "the script is used up";
  }
  std::unique_ptr<RefModel> model_;
};

TEST_F(ScriptedTest, ChromosomeDrawOfOneHalfTakesChromosomeOne) {
  // Two founders AABB and aabb, self-fertilization allowed.
  const RefSettings s = Population({1, 0, 0, 0, 0, 0, 0, 0, 1});
  // Offspring 0: parents 1 and 0; chromosome draws 0.5 and just below.
  // Offspring 1: parents 0 and 0.
  const double below = 0.5 - std::ldexp(1.0, -30);
  Run(s, {}, {0.5, 0.0, 0.5, below, 0.0, 0.0, 0.999, 0.0});
  EXPECT_EQ(CopyA(pIND[0], 0), 3);
  EXPECT_EQ(CopyA(pIND[0], 1), 0);
  EXPECT_EQ(CopyA(pIND[1], 0), 1);
  EXPECT_EQ(CopyA(pIND[1], 1), 0);
}

TEST_F(ScriptedTest, RecombinationDrawEqualToTheFractionDoesNotRecombine) {
  // A draw can equal the fraction only when the fraction lies on the grid of
  // draws, multiples of 2^-30; 25 cM does.
  RefSettings s = Population({0, 0, 0, 0, 1, 0, 0, 0, 0});
  s.rec_cM = 25.0;
  const double rate = 25.0 / 100.0;
  // Founder in coupling; gametes: chromosome 0 with draw equal to rec, then
  // chromosome 1 with the draw just below rec.
  Run(s, {0.0}, {0.0, 0.0, 0.0, rate, 0.7, rate - ref::kStep});
  EXPECT_EQ(CopyB(pIND[0], 0), 0);
  EXPECT_EQ(CopyB(pIND[0], 1), 0) << "the second gamete recombined";
  EXPECT_EQ(AlleleA(pIND[0], 1), 1);
  EXPECT_EQ(AlleleB(pIND[0], 1), 0);
}

TEST_F(ScriptedTest, MigrationBoundaries) {
  const std::vector<double> migF = {0.25, 0.0, 0.0, 0.0, 0.25, 0.0, 0.0, 0.0, 0.5};
  RefSettings s = WithMigration(Population({1, 0, 0, 0, 0, 0, 0, 0, 3}), 2.0, migF);
  const double p = 2.0 / 4.0;
  const double below = std::nextafter(p, 0.0);
  // Slot 0: selector equal to migCumF[0] picks AaBb, phase 0.5: repulsion.
  // Slot 1: second draw equal to migP: no immigrant.
  // Slot 2: selector equal to migCumF[4]: past AaBb, so aabb.
  // Slot 3: selector 0: AABB.
  Run(s, {}, {0.25, below, 0.5, 0.1, p, 0.5, below, 0.0, below,
              // one offspring: parents 0 and 0, chromosome draws
              0.0, 0.0, 0.0, 0.0});
  EXPECT_EQ(AlleleB(pIND[0], 0), 1) << "repulsion: Ab on chromosome 0";
  EXPECT_EQ(AlleleA(pIND[1], 0), 1);
  EXPECT_EQ(AlleleB(pIND[1], 1), 1);
  EXPECT_EQ(N[0], 2);
  EXPECT_EQ(CopyA(pIND[3], 0), 0);
  EXPECT_EQ(CopyA(pIND[0], 0), -1);
}

TEST_F(ScriptedTest, AaBbImmigrantPhase) {
  RefSettings s = WithMigration(Population({0, 0, 0, 0, 0, 0, 0, 0, 2}), 1.999, OnlyGenotype(4));
  const double below = 0.5 - std::ldexp(1.0, -30);
  Run(s, {}, {0.3, 0.0, below, 0.3, 0.0, 0.5});
  EXPECT_EQ(OriginA(pIND[0], 0), -1);
  EXPECT_EQ(AlleleB(pIND[0], 0), 0) << "coupling below one half";
  EXPECT_EQ(AlleleB(pIND[0], 1), 1);
  EXPECT_EQ(AlleleB(pIND[1], 0), 1) << "repulsion at one half";
  EXPECT_EQ(AlleleB(pIND[1], 1), 0);
}

TEST_F(ScriptedTest, AcceptanceTestsPassOnADrawEqualToTheirValue) {
  RefSettings s = WithPrefs(Population({1, 0, 0, 0, 0, 0, 1, 0, 0}), 2, {1.0, 1.0, 0.25, 1.0, 1.0, 1.0});
  s.w[0] = 0.75;
  s.mateRule = 0;
  // First parent 0, selection draw 0.75 (= w); second 1, premating 0.25
  // (= pref), selection of aaBB at 1; transmission.
  // Second offspring: first parent 1, selection; second candidate 1 again,
  // redrawn to 0; premating just above 0.25: rejected; candidate 0,
  // premating 0.25, selection just above 0.75: rejected; candidate 0,
  // premating 0, selection 0.
  // Scripted draws must be draws the generator can make: the next one above
  // a value on the grid is one step of 2^-30 further.
  const double above25 = 0.25 + ref::kStep;
  const double above75 = 0.75 + ref::kStep;
  Run(s, {}, {0.0, 0.75, 0.5, 0.25, 0.99, 0.0, 0.0,
              0.5, 0.0, 0.5, 0.0, above25, 0.0, 0.25, above75, 0.0, 0.0, 0.0, 0.0, 0.0});
  EXPECT_EQ(CopyA(pIND[0], 0), 0);
  EXPECT_EQ(CopyA(pIND[0], 1), 2);
  EXPECT_EQ(CopyA(pIND[1], 0), 2);
  EXPECT_EQ(CopyA(pIND[1], 1), 0);
}

TEST_F(ScriptedTest, ASterileFirstParentPassesOnlyOnZero) {
  // The sterile aabb is drawn and passes on 0.0; under premating it has no
  // possible partner and is set aside without a further draw.
  RefSettings s = WithPrefs(Population({2, 0, 0, 0, 0, 0, 0, 0, 1}), 2, {1.0, 1.0, 1.0, 1.0, 1.0, 1.0});
  s.matePref[2] = 0.0;
  s.matePref[5] = 0.5;
  s.w[8] = 0.0;
  // Offspring 0: 2 passes (0.0), set aside; 0 passes; second 1, premating,
  // selection; transmission. Offspring 1, 2: 2 rejected on the smallest
  // step; then 1 with 0, and 0 with itself.
  const double step = std::ldexp(1.0, -30);
  Run(s, {}, {0.9, 0.0, 0.0, 0.0, 0.5, 0.0, 0.0, 0.0, 0.0,
              0.9, step, 0.5, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0,
              0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0});
  EXPECT_EQ(model_->setAside, 1u);
  EXPECT_EQ(CopyA(pIND[2], 1), 0);
}

TEST_F(ScriptedTest, MutationDrawEqualToTheRateDoesNotMutate) {
  RefSettings s = Population({1, 0, 0, 0, 0, 0, 0, 0, 0});
  s.mutA[0] = 0.25;
  s.mutB[0] = 0.5;
  // One offspring of the AABB founder with itself, then its four mutation
  // draws: Alpha at the rate, Beta just below, Alpha just below, Beta at.
  Run(s, {}, {0.0, 0.0, 0.0, 0.0, 0.25, std::nextafter(0.5, 0.0), std::nextafter(0.25, 0.0), 0.5});
  EXPECT_EQ(AlleleA(pIND[0], 0), 0);
  EXPECT_EQ(AlleleB(pIND[0], 0), 1);
  EXPECT_EQ(AlleleA(pIND[0], 1), 1);
  EXPECT_EQ(AlleleB(pIND[0], 1), 0);
  EXPECT_EQ(N[4], 1);
}

TEST_F(ScriptedTest, AFitnessOfOneStepIsFertileAndJustBelowIsNot) {
  const double step = std::ldexp(1.0, -30);
  RefSettings s = WithRule(Population({1, 0, 0, 0, 0, 0, 0, 0, 1}), 0);
  s.w[8] = step;
  // Offspring 0: first parent 0; second candidate 0, redrawn to 1, which
  // passes on a draw of one step. Offspring 1: first parent 1, passing on
  // 0.0, with 0.
  Run(s, {}, {0.0, 0.0, 0.0, 0.5, step, 0.0, 0.0, 0.5, 0.0, 0.0, 0.0, 0.0, 0.0});
  EXPECT_EQ(iterExtinct, 0);
  EXPECT_EQ(CopyA(pIND[0], 1), 2);
  EXPECT_EQ(CopyA(pIND[1], 0), 2);
  // Just below one step the aabb counts as sterile: no pair is left and the
  // generation ends before its first draw.
  s.w[8] = std::nextafter(step, 0.0);
  Run(s, {}, {});
  EXPECT_EQ(iterExtinct, 1);
  EXPECT_EQ(drawCount, 2u) << "the shuffle's draws only";
}

TEST_F(ScriptedTest, APreferenceOfOneStepPermitsAndJustBelowSetsAside) {
  const double step = std::ldexp(1.0, -30);
  // AABB and aabb; only AA:aa and Aa:Aa matings permitted.
  RefSettings s = WithPrefs(Population({1, 0, 0, 0, 0, 0, 0, 0, 1}), 2, {0.0, 0.0, step, 1.0, 0.0, 0.0});
  // Offspring 0: first parent 1, candidate 0, premating on one step.
  // Offspring 1: first parent 0, candidate 1, premating on 0.0.
  Run(s, {}, {0.5, 0.0, step, 0.0, 0.0, 0.0, 0.5, 0.0, 0.0, 0.0});
  EXPECT_EQ(iterExtinct, 0);
  EXPECT_EQ(model_->setAside, 0u);
  s.matePref[2] = std::nextafter(step, 0.0);
  Run(s, {}, {});
  EXPECT_EQ(iterExtinct, 1);
  EXPECT_EQ(drawCount, 2u);
}

// ---------------------------------------------------------------- whole iterations

RefSettings Small() { return Population({2, 2, 1, 2, 4, 2, 1, 2, 2}); }

TEST_F(ReferenceTest, IterationFixationAndCopies) {
  RefSettings untracked = Small();
  untracked.trackCopies = 0;
  RefSettings recombining = Small();
  recombining.rec_cM = 20.0;
  for (const Family& fam : std::vector<Family>{{"small", Small()},
                                               {"trackCopies 0", untracked},
                                               {"recombining", recombining},
                                               {"selection", WithSelection(Small())},
                                               {"rule 0", WithRule(Small(), 0)},
                                               {"monogamy premating", WithPrefs(WithRule(Small(), 2), 2, kPrefs)},
                                               {"postmating", WithPrefs(Small(), 1, kPrefs)}}) {
    CompareIterationFamily(fam, 20, 3, 200);
    if (HasFatalFailure()) return;
  }
}

TEST_F(ReferenceTest, IterationSetAllFixCombinations) {
  for (int a = 0; a <= 2; ++a) {
    for (int b = 0; b <= 2; ++b) {
      RefSettings s = Population({1, 1, 1, 1, 2, 1, 1, 1, 1});
      s.setAllFix[0] = a;
      s.setAllFix[1] = b;
      s.mutA[0] = s.mutA[1] = 0.003;
      s.mutB[0] = 0.004;
      s.mutB[1] = 0.002;
      s.genMax = 4000;
      s.trackCopies = (a + b) % 2;
      CompareIterationFamily({"setAllFix " + std::to_string(a) + std::to_string(b), s}, 20, 2,
                             210 + static_cast<unsigned>(3 * a + b));
      if (HasFatalFailure()) return;
    }
  }
}

TEST_F(ReferenceTest, IterationMonomorphicFounders) {
  std::vector<Family> families;
  for (int a = 0; a <= 2; ++a) {
    for (int t = 0; t <= 1; ++t) {
      RefSettings s = Population({0, 0, 0, 0, 0, 0, 6, 0, 0});  // all aaBB
      s.setAllFix[0] = a;
      s.setAllFix[1] = 2 - a;
      s.trackCopies = t;
      s.mutA[1] = 0.01;
      s.mutB[0] = 0.01;
      s.genMax = 3000;
      families.push_back({"aaBB setAllFix " + std::to_string(a) + " trackCopies " + std::to_string(t), s});
    }
  }
  RefSettings fixedUntracked = Population({0, 0, 5, 0, 0, 0, 0, 0, 0});
  fixedUntracked.trackCopies = 0;
  families.push_back({"all fixed, nothing tracked", fixedUntracked});
  for (const Family& fam : families) {
    CompareIterationFamily(fam, 20, 2, 220);
    if (HasFatalFailure()) return;
  }
  // Both genes fixed at the start and nothing else tracked: one generation.
  Apply(fixedUntracked);
  RestartRandom(5);
  rep = 1;
  ITERATION();
  EXPECT_EQ(gen, 1);
  EXPECT_EQ(totAFixed[0], 1);
  EXPECT_EQ(totBFixed[1], 1);
}

TEST_F(ReferenceTest, IterationStopAtFixAndGenMax) {
  RefSettings runOn = Population({0, 1, 0, 1, 1, 0, 0, 1, 0});
  runOn.stopAtFix = 0;
  runOn.genMax = 2500;
  RefSettings runOnUntracked = runOn;
  runOnUntracked.trackCopies = 0;
  RefSettings capped = Defaults();
  capped.genMax = 40;
  RefSettings one = Small();
  one.genMax = 1;
  RefSettings thousandDots = Population({0, 0, 0, 0, 2, 0, 0, 0, 0});
  thousandDots.genMax = 2000;
  thousandDots.mutA[0] = 0.2;  // A is lost for good once gone
  thousandDots.setAllFix[0] = 1;
  thousandDots.trackCopies = 0;
  for (const Family& fam : std::vector<Family>{{"stopAtFix 0", runOn},
                                               {"stopAtFix 0 untracked", runOnUntracked},
                                               {"genMax 40", capped},
                                               {"genMax 1", one},
                                               {"ends on a thousand", thousandDots}}) {
    CompareIterationFamily(fam, 20, 2, 230);
    if (HasFatalFailure()) return;
  }
}

TEST_F(ReferenceTest, IterationExtinction) {
  Reached reached;
  // Mutants are sterile: the population runs out of fertile individuals.
  RefSettings sterileMutants = WithRule(Population({3, 0, 0, 0, 0, 0, 0, 0, 0}), 0);
  for (int g = 3; g < 9; ++g) sterileMutants.w[g] = 0.0;
  sterileMutants.mutA[0] = 0.3;
  // Mutants hold on to a fitness below one step: the control lets them go
  // on, parent choice does not.
  RefSettings subStepMutants = sterileMutants;
  for (int g = 3; g < 9; ++g) subStepMutants.w[g] = 1e-12;
  RefSettings monoOdd = WithRule(Population({1, 0, 0, 0, 1, 0, 0, 0, 1}), 2);
  monoOdd.w[8] = 1e-12;
  monoOdd.mutA[1] = 0.2;
  RefSettings premating = WithPrefs(Population({2, 0, 0, 0, 1, 0, 0, 0, 1}), 2, {0.0, 1.0, 1.0, 1.0, 1.0, 0.0});
  premating.mutA[0] = 0.1;
  RefSettings migrating = WithMigration(WithRule(Population({2, 0, 0, 0, 0, 0, 0, 0, 2}), 0), 1.5, OnlyGenotype(8));
  migrating.w[8] = 1e-12;
  for (const Family& fam : std::vector<Family>{{"sterile mutants", sterileMutants},
                                               {"sub-step mutants", subStepMutants},
                                               {"monogamy", monoOdd},
                                               {"premating", premating},
                                               {"migration", migrating}}) {
    CompareIterationFamily(fam, 20, 3, 240, &reached);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(reached.extinct, 100);
}

TEST_F(ReferenceTest, IterationMigrationAndSizes) {
  RefSettings migrating = WithMigration(Small(), 0.7, {0.2, 0.0, 0.1, 0.0, 0.4, 0.0, 0.1, 0.0, 0.2});
  migrating.genMax = 300;
  migrating.setAllFix[0] = 1;
  RefSettings one = Population({0, 0, 0, 0, 1, 0, 0, 0, 0});
  one.rec_cM = 50.0;
  RefSettings two = WithRule(Population({0, 0, 0, 0, 1, 1, 0, 0, 0}), 0);
  RefSettings thousand = Population({100, 120, 80, 130, 150, 110, 90, 120, 100});
  thousand.genMax = 25;
  RefSettings thousandMono = WithRule(thousand, 2);
  for (const Family& fam : std::vector<Family>{{"migration", migrating},
                                               {"one", one},
                                               {"two rule 0", two},
                                               {"thousand", thousand},
                                               {"thousand monogamy", thousandMono}}) {
    CompareIterationFamily(fam, 20, 2, 250);
    if (HasFatalFailure()) return;
  }
}

// The driver's whole run of iterations, tallies included.
TEST_F(ReferenceTest, RunTalliesOverSeveralIterations) {
  RefSettings mixed = Population({1, 1, 1, 1, 2, 1, 1, 1, 1});
  mixed.nIter = 6;
  mixed.mutA[0] = 0.02;
  mixed.w[8] = 0.0;
  mixed.mateRule = 0;
  mixed.genMax = 400;
  RefSettings untracked = mixed;
  untracked.trackCopies = 0;
  untracked.setAllFix[1] = 2;
  for (const Family& fam : std::vector<Family>{{"mixed", mixed}, {"untracked", untracked}}) {
    for (unsigned seed : Seeds(20, 260)) {
      SCOPED_TRACE(fam.name + ", seed " + std::to_string(seed));
      Apply(fam.s);
      RestartRandom(seed);
      RefRandom generator(seed);
      RefSource src(generator);
      RefModel m(fam.s);
      RUNITERATIONS();
      m.Run(src);
      ASSERT_TRUE(SameTallies(m));
      EXPECT_EQ(rep, fam.s.nIter + 1);
      EXPECT_EQ(drawCount, src.Used());
      const std::int64_t counted = totAFixed[0] + totAFixed[1] + totAFixed[2];
      EXPECT_EQ(counted + nIterExtinct, fam.s.nIter);
    }
  }
}

// ---------------------------------------------------------------- long sweeps (make stats)

TEST_F(ReferenceTest, DISABLED_LongGenerationSweep) {
  std::vector<Family> families = {
      {"defaults", Defaults()},
      {"selection", WithSelection(Defaults())},
      {"rec 0.5 rule 0", [] {
         RefSettings s = WithRule(Defaults(), 0);
         s.rec_cM = 50.0;
         return s;
       }()},
      {"mutation", [] {
         RefSettings s = WithSelection(Defaults());
         s.mutA[0] = 0.05;
         s.mutB[0] = s.mutB[1] = 1.0;
         return s;
       }()},
      {"migration", WithMigration(Defaults(), 40.0, {0.1, 0.05, 0.15, 0.1, 0.2, 0.1, 0.1, 0.1, 0.1})},
      {"postmating monogamy", WithPrefs(WithRule(Defaults(), 2), 1, kPrefs)},
      {"premating rule 0", WithPrefs(WithRule(WithSelection(Defaults()), 0), 2, kPrefs)},
      {"monogamy premating", WithPrefs(WithRule(WithSelection(Defaults()), 2), 2, kPrefs)},
      {"monogamy odd", WithRule(Population({1, 1, 1, 0, 1, 0, 1, 1, 1}), 2)},
      {"lone aa", WithRule(WithPrefs(Population({3, 0, 0, 2, 0, 0, 1, 0, 0}), 2, {1.0, 1.0, 0.0, 1.0, 0.0, 1.0}), 0)},
  };
  for (int g = 0; g < 9; ++g)
    families.push_back({"immigrants " + std::to_string(g), WithMigration(Defaults(), 24.5, OnlyGenotype(g))});
  for (const Family& fam : families) {
    CompareFamily(fam, 300, 12, 500);
    if (HasFatalFailure()) return;
  }
}

TEST_F(ReferenceTest, DISABLED_LongIterationSweep) {
  RefSettings mutating = Population({1, 1, 1, 1, 2, 1, 1, 1, 1});
  mutating.mutA[0] = mutating.mutB[1] = 0.003;
  mutating.genMax = 3000;
  RefSettings sterileMutants = WithRule(Population({3, 0, 0, 0, 0, 0, 0, 0, 0}), 0);
  for (int g = 3; g < 9; ++g) sterileMutants.w[g] = (g % 2 == 0) ? 0.0 : 1e-12;
  sterileMutants.mutA[0] = 0.3;
  for (const Family& fam : std::vector<Family>{{"small", Small()},
                                               {"mutating", mutating},
                                               {"sterile mutants", sterileMutants},
                                               {"monogamy premating", WithPrefs(WithRule(Small(), 2), 2, kPrefs)},
                                               {"postmating rule 0", WithPrefs(WithRule(Small(), 0), 1, kPrefs)}}) {
    CompareIterationFamily(fam, 200, 3, 600);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
