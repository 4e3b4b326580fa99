// The generation builder's own bookkeeping, its strict comparisons, and the
// populations in which a plain reading of parent choice never ends. Record by
// record agreement with the rules is checked in reference_test.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "engine/founders.h"
#include "engine/generation.h"
#include "engine/random.h"
#include "model/driver.h"
#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"
#include "tests/testutil.h"

namespace {

class GenerationTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    STARTDEF();
  }
  void Derive() {
    fitCheck = 0;
    for (double x : w) fitCheck |= x < 1.0;
    mutCheck = mutA[0] > 0 || mutA[1] > 0 || mutB[0] > 0 || mutB[1] > 0;
    double sum = 0.0;
    for (int g = 0; g < 9; ++g) migCumF[g] = (sum += migF[g]);
  }
};

// The parent choice of the next generation reads the genotype of every
// record from pGT and the counts N; both must describe the records just made.
// The buffers trade places, so the one just left holds the previous
// generation.
TEST_F(GenerationTest, GenotypeIndexAndCountsDescribeTheNewRecords) {
  rec = 0.3;
  doMig = 1;
  for (int g = 0; g < 9; ++g) migF[g] = 1.0 / 9.0;
  Derive();
  SetPopulation({3, 2, 1, 4, 6, 2, 1, 0, 3});
  migP = 3.5 / static_cast<double>(NTot);
  RestartRandom(11);
  POPBUILD();
  for (int g = 0; g < 5; ++g) {
    const std::vector<IND> before(pIND, pIND + NTot);
    GENBUILD();
    ASSERT_EQ(iterExtinct, 0);
    std::int64_t counted[9] = {};
    for (std::int64_t i = 0; i < NTot; ++i) {
      ++counted[GTINDEX(pIND[i])];
      ASSERT_EQ(pGT[i], GTINDEX(pIND[i])) << i;
    }
    for (int x = 0; x < 9; ++x) ASSERT_EQ(N[x], counted[x]) << x;
    ASSERT_EQ(0, std::memcmp(&pNIND[0], &before[0], sizeof(IND)));
  }
}

TEST_F(GenerationTest, DrawsPerGeneration) {
  SetPopulation({10, 20, 10, 20, 40, 20, 10, 20, 10});
  RestartRandom(3);
  POPBUILD();
  GENBUILD();
  EXPECT_EQ(drawCount, 40u + 640u);  // founders, then four draws an offspring
  EXPECT_EQ(gen, 1);
  rec = 0.25;
  GENBUILD();
  EXPECT_EQ(drawCount, 680u + 960u);  // a recombination draw a gamete
  mutCheck = 1;
  GENBUILD();
  EXPECT_EQ(drawCount, 1640u + 960u + 640u);  // four mutation draws a record
}

TEST_F(GenerationTest, MigrationComparisonsAreStrict) {
  doMig = 1;
  SetPopulation({0, 0, 0, 0, 0, 0, 0, 0, 4});
  const std::vector<double> draws = RecordDraws(17, 8);
  // The first slot's selector lies exactly on the boundaries of genotypes 0
  // and 1, so it must pick genotype 2; only genotypes 0 and 2 can come.
  for (int g = 0; g < 9; ++g) migCumF[g] = g < 2 ? draws[0] : 1.0;
  for (double p : {draws[1], std::nextafter(draws[1], 1.0)}) {
    migP = p;  // a slot draw equal to migP is no immigrant
    POPBUILD();
    RestartRandom(17);
    GENBUILD();
    int k = 0;
    for (std::size_t slot = 0; slot < 4; ++slot) {
      if (!(draws[2 * slot + 1] < migP)) continue;
      EXPECT_EQ(CopyA(pIND[k], 0), -1);
      EXPECT_EQ(GTINDEX(pIND[k]), draws[2 * slot] < draws[0] ? 0 : 2);
      ++k;
    }
    if (k < NTot) {
      EXPECT_NE(CopyA(pIND[k], 0), -1);  // offspring follow the immigrants
    }
  }
}

TEST_F(GenerationTest, FreeRecombinationAtFiftyCentimorgans) {
  SetPopulation({0, 0, 0, 0, 1, 0, 0, 0, 0});
  rec = 0.5;
  int recombinant = 0;
  for (unsigned seed = 1; seed <= 400; ++seed) {
    RestartRandom(seed);
    POPBUILD();
    GENBUILD();
    for (int c = 0; c < 2; ++c) recombinant += CopyA(pIND[0], c) != CopyB(pIND[0], c);
  }
  EXPECT_GT(recombinant, 330);  // about 400 of 800 gametes, sd 14
  EXPECT_LT(recombinant, 470);
}

TEST_F(GenerationTest, ParentsFollowTheFertilizationRule) {
  const double fitness[9] = {1.0, 0.5, 0.8, 1.0, 0.3, 1.0, 0.9, 1.0, 0.6};
  for (int g = 0; g < 9; ++g) w[g] = fitness[g];
  fitCheck = 1;
  SetPopulation({4, 6, 2, 8, 10, 4, 2, 6, 4});
  for (int rule : {0, 1, 2}) {
    mateRule = rule;
    int selfed = 0;
    for (unsigned seed = 1; seed <= 20; ++seed) {
      RestartRandom(seed);
      POPBUILD();
      // Both copies of a parent carry its position: an offspring's
      // chromosome 0 names its first parent, chromosome 1 its second.
      for (std::int64_t i = 0; i < NTot; ++i) {
        IND& ind = pIND[i];
        for (int c = 0; c < 2; ++c) {
          SetChromosome(ind, c, AlleleA(ind, c), i, OriginA(ind, c), AlleleB(ind, c), CopyB(ind, c), OriginB(ind, c));
        }
      }
      GENBUILD();
      std::vector<std::int64_t> partner(static_cast<std::size_t>(NTot), -1);
      for (std::int64_t i = 0; i < NTot; ++i) {
        const std::int64_t a = CopyA(pIND[i], 0);
        const std::int64_t b = CopyA(pIND[i], 1);
        selfed += a == b;
        // Under monogamy each parent has one partner in the generation.
        for (auto [x, y] : {std::pair{a, b}, std::pair{b, a}}) {
          std::int64_t& known = partner[static_cast<std::size_t>(x)];
          if (known == -1) known = y;
          if (rule == 2) {
            EXPECT_EQ(known, y);
          }
        }
      }
    }
    EXPECT_EQ(selfed > 0, rule == 1) << rule;
  }
}

// Populations in which the naive reading never ends: a first parent without
// any acceptable partner is set aside; with no first parent able to mate,
// the iteration is halted as extinct.
TEST_F(GenerationTest, ParentChoiceAlwaysEnds) {
  struct Case {
    const char* name;
    std::vector<std::int64_t> counts;
    int rule, check;
    std::vector<int> allowedClasses;  // others get preference 0
    int sterile;                      // genotype with fitness 0, or -1
    int extinct;
  };
  const Case cases[] = {
      {"postmating, only AA:aa allowed, aa sterile", {5, 0, 0, 0, 0, 0, 0, 0, 5}, 1, 1, {2}, 8, 1},
      {"premating, a lone aa beside AA", {6, 0, 0, 0, 0, 0, 0, 0, 1}, 0, 2, {0, 5}, -1, 0},
      {"premating, the AA alone in its class", {1, 0, 0, 0, 0, 0, 0, 0, 3}, 0, 2, {0}, -1, 1},
      {"monogamy, odd number of fertile", {3, 0, 0, 0, 0, 0, 0, 0, 4}, 2, 0, {0, 1, 2, 3, 4, 5}, 8, 0},
      {"monogamy and premating, one AA for two aa", {1, 0, 0, 0, 0, 0, 0, 0, 2}, 2, 2, {2}, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RESETPROGRAM();
    STARTDEF();
    mateRule = c.rule;
    mateCheck = c.check;
    for (double& p : matePref) p = 0.0;
    for (int k : c.allowedClasses) matePref[k] = 1.0;
    if (c.sterile >= 0) w[c.sterile] = 0.0;
    fitCheck = c.sterile >= 0;
    SetPopulation(c.counts);
    RestartRandom(8);
    POPBUILD();
    GENBUILD();
    EXPECT_EQ(iterExtinct, c.extinct);
    if (c.extinct == 1) {
      EXPECT_EQ(drawCount, 0u);  // seen from the counts, before any draw
    } else if (c.counts[0] == 6) {
      EXPECT_EQ(N[0], NTot);  // the lone aa never became a parent
    }
  }
}

// A draw is k * 2^-30, so a fitness or preference below 2^-30 passes only on
// k = 0: the searches must treat it as 0, not wait hours for that draw. At
// exactly one step the draws go on as usual.
TEST_F(GenerationTest, ProbabilitiesBelowOneDrawStepActAsZero) {
  const double below = kDrawStep * 0.99;
  // Premating, only Aa individuals, Aa:Aa preference under one step.
  mateRule = 0;
  mateCheck = 2;
  for (double& p : matePref) p = 0.0;
  matePref[0] = 1.0;
  matePref[3] = 1e-10;
  SetPopulation({0, 0, 0, 6, 0, 0, 0, 0, 0});
  RestartRandom(5);
  POPBUILD();
  GENBUILD();
  EXPECT_EQ(iterExtinct, 1);
  EXPECT_EQ(drawCount, 0u);

  for (double fitness : {below, kDrawStep}) {
    SCOPED_TRACE(fitness);
    RESETPROGRAM();
    STARTDEF();
    w[8] = fitness;
    fitCheck = 1;
    SetPopulation({0, 0, 0, 0, 0, 0, 0, 0, 2});
    RestartRandom(5);
    POPBUILD();
    // Per offspring: index, selection exactly at the step, index,
    // selection, two chromosome draws.
    const std::vector<double> one = {0.0, kDrawStep, 0.6, 0.0, 0.0, 0.0};
    std::vector<double> script = one;
    script.insert(script.end(), one.begin(), one.end());
    SCRIPTDRAWS(script);
    GENBUILD();
    if (fitness < kDrawStep) {
      EXPECT_EQ(iterExtinct, 1);
      EXPECT_EQ(drawCount, 0u);
    } else {
      EXPECT_EQ(iterExtinct, 0);
      EXPECT_EQ(SCRIPTLEFT(), 0u);
    }
  }
}

}  // namespace
