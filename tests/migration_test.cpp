// Immigrants: the template each draw sequence brings, worked by hand, and
// the share of double heterozygous immigrants in each phase.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/founders.h"
#include "engine/generation.h"
#include "engine/random.h"
#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"
#include "tests/testutil.h"

namespace {

class MigrationTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    STARTDEF();
    trackCopies = 0;
  }
  // Every immigrant of genotype g, with migP set directly (RUNINIT would
  // derive it from migN).
  void ImmigrantsOf(int g, const std::vector<std::int64_t>& founders, double p) {
    SetPopulation(founders);
    doMig = 1;
    for (int x = 0; x < 9; ++x) {
      migF[x] = x == g ? 1.0 : 0.0;
      migCumF[x] = x >= g ? 1.0 : 0.0;
    }
    migP = p;
  }
};

// Chromosome 0 and 1 as haplotype codes (0 AB, 1 Ab, 2 aB, 3 ab).
int Haplotype(const IND& ind, int c) { return 2 * AlleleA(ind, c) + AlleleB(ind, c); }

TEST_F(MigrationTest, HandWorkedPhaseDraws) {
  const double step = std::ldexp(1.0, -30);
  struct Case {
    double phase;
    int chromosome0, chromosome1;  // haplotypes of the immigrant
  };
  const Case cases[] = {
      {0.25, 0, 3},         // below one half: coupling, AB / ab
      {0.5 - step, 0, 3},   // the largest draw below one half
      {0.5, 1, 2},          // exactly one half: repulsion, Ab / aB
      {0.75, 1, 2},         // above: repulsion
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.phase);
    ImmigrantsOf(4, {0, 0, 0, 0, 0, 0, 0, 0, 1}, 0.5);
    RestartRandom(1);
    POPBUILD();
    // Template selector, slot draw (below migP: an immigrant), phase draw.
    SCRIPTDRAWS({0.3, 0.1, c.phase});
    GENBUILD();
    EXPECT_EQ(SCRIPTLEFT(), 0u);
    EXPECT_EQ(drawCount, 3u);
    EXPECT_EQ(Haplotype(pIND[0], 0), c.chromosome0);
    EXPECT_EQ(Haplotype(pIND[0], 1), c.chromosome1);
    for (int k = 0; k < 2; ++k) {
      EXPECT_EQ(CopyA(pIND[0], k), -1);
      EXPECT_EQ(CopyB(pIND[0], k), -1);
      EXPECT_EQ(OriginA(pIND[0], k), -1);
      EXPECT_EQ(OriginB(pIND[0], k), -1);
    }
    EXPECT_EQ(N[4], 1);
  }
}

TEST_F(MigrationTest, EveryGenotypeArrivesAsItsTemplate) {
  // Haplotypes of chromosome 0 and 1 of each genotype's template (AaBb in
  // coupling here: its phase draw is below one half).
  const int expected[9][2] = {{0, 0}, {0, 1}, {1, 1}, {0, 2}, {0, 3},
                              {1, 3}, {2, 2}, {2, 3}, {3, 3}};
  for (int g = 0; g < 9; ++g) {
    SCOPED_TRACE(g);
    ImmigrantsOf(g, {1, 0, 0, 0, 0, 0, 0, 0, 0}, 0.5);
    RestartRandom(1);
    POPBUILD();
    std::vector<double> draws = {0.5, 0.0};
    if (g == 4) draws.push_back(0.0);
    SCRIPTDRAWS(draws);
    GENBUILD();
    EXPECT_EQ(SCRIPTLEFT(), 0u);
    EXPECT_EQ(drawCount, draws.size());  // only AaBb makes a phase draw
    EXPECT_EQ(Haplotype(pIND[0], 0), expected[g][0]);
    EXPECT_EQ(Haplotype(pIND[0], 1), expected[g][1]);
  }
}

TEST_F(MigrationTest, SlotDrawEqualToMigPBringsNoImmigrant) {
  ImmigrantsOf(4, {0, 0, 0, 0, 0, 0, 0, 0, 1}, 0.5);
  RestartRandom(1);
  POPBUILD();
  // Selector, a slot draw equal to migP, then the offspring of the lone
  // founder: two index draws and two chromosome draws. No phase draw.
  SCRIPTDRAWS({0.3, 0.5, 0.0, 0.0, 0.0, 0.75});
  GENBUILD();
  EXPECT_EQ(SCRIPTLEFT(), 0u);
  EXPECT_EQ(CopyA(pIND[0], 0), 0);  // founder 0's chromosome 0 ...
  EXPECT_EQ(CopyA(pIND[0], 1), 1);  // ... and its chromosome 1
  EXPECT_EQ(N[8], 1);
}

// 100 AABB founders, half of each generation immigrant AaBb: an immigrant
// is in coupling with probability one half, and a chromosome of the new
// generation is Ab with probability 1/2 x 1/2 x 1/2 = 0.125, since only
// repulsion immigrants carry Ab and offspring of AABB parents are AB.
TEST_F(MigrationTest, DoubleHeterozygousImmigrantsComeInBothPhases) {
  ImmigrantsOf(4, {100, 0, 0, 0, 0, 0, 0, 0, 0}, 0.5);
  RestartRandom(4711);
  std::int64_t immigrants = 0;
  std::int64_t coupling = 0;
  double sumAb = 0.0;
  const int generations = 2000;
  for (int i = 0; i < generations; ++i) {
    POPBUILD();
    GENBUILD();
    std::int64_t ab = 0;
    for (std::int64_t j = 0; j < NTot; ++j) {
      const IND& ind = pIND[j];
      if (CopyA(ind, 0) == -1) {
        ++immigrants;
        coupling += Haplotype(ind, 0) == 0;
      }
      for (int c = 0; c < 2; ++c) ab += Haplotype(ind, c) == 1;
    }
    sumAb += static_cast<double>(ab) / static_cast<double>(2 * NTot);
  }
  // About 100,000 immigrants: the share's standard error is 0.0016 and the
  // mean Ab frequency's 0.0005; the bounds are six to eight of them.
  EXPECT_NEAR(static_cast<double>(immigrants) / generations, 50.0, 1.0);
  EXPECT_NEAR(static_cast<double>(coupling) / static_cast<double>(immigrants), 0.5, 0.01);
  EXPECT_NEAR(sumAb / generations, 0.125, 0.004);
}

}  // namespace
