// The founding population and the shuffle of the next-generation buffer.
#include <gtest/gtest.h>

#include <vector>

#include "engine/founders.h"
#include "engine/generation.h"
#include "engine/random.h"
#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"
#include "tests/testutil.h"

namespace {

class FoundersTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    STARTDEF();
  }
};

TEST_F(FoundersTest, DefaultFoundersAreLaidOutInGenotypeOrder) {
  SetPopulation({10, 20, 10, 20, 40, 20, 10, 20, 10});
  const std::vector<double> draws = RecordDraws(101, 40);
  POPBUILD();
  EXPECT_EQ(drawCount, 40u);
  const int blockStart[10] = {0, 10, 30, 40, 60, 100, 120, 130, 150, 160};
  int h = 0;
  for (int g = 0; g < 9; ++g) {
    for (int j = blockStart[g]; j < blockStart[g + 1]; ++j) {
      const IND& ind = pIND[j];
      ASSERT_EQ(GTINDEX(ind), g) << j;
      for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(CopyA(ind, c), 2 * j + c);
        EXPECT_EQ(CopyB(ind, c), 2 * j + c);
        EXPECT_EQ(OriginA(ind, c), 2 * AlleleA(ind, c) + AlleleB(ind, c));
        EXPECT_EQ(OriginB(ind, c), OriginA(ind, c));
        EXPECT_EQ(AlleleA(ind, c), g / 3 == 2 ? 1 : (g / 3 == 1 ? c : 0));
      }
      if (g == 4) {
        // Coupling (AB/ab) on a draw below one half, repulsion (Ab/aB) else.
        const int expectedB0 = draws[static_cast<std::size_t>(h++)] < 0.5 ? 0 : 1;
        EXPECT_EQ(AlleleB(ind, 0), expectedB0);
        EXPECT_EQ(AlleleB(ind, 1), 1 - expectedB0);
      }
    }
  }
  EXPECT_EQ(CopyA(pIND[60], 0), 120);
  EXPECT_EQ(CopyA(pIND[60], 1), 121);
  for (int g = 0; g < 9; ++g) {
    EXPECT_EQ(N[g], startPop[g]);
    EXPECT_EQ(f[g], startF[g]);
  }
}

TEST_F(FoundersTest, DrawCounts) {
  SetPopulation({3, 0, 0, 0, 0, 0, 0, 0, 4});
  RestartRandom(5);
  POPBUILD();
  EXPECT_EQ(drawCount, 0u);  // no double heterozygotes, no draws
  SHUFFLE();
  EXPECT_EQ(drawCount, 7u);
  SetPopulation({10, 20, 10, 20, 40, 20, 10, 20, 10});
  RestartRandom(5);
  POPBUILD();
  SHUFFLE();
  EXPECT_EQ(drawCount, 200u);
}

// Double heterozygotes of a given phase: the AaBb block holds first those
// whose phase is drawn (one draw each, as the console's), then the AB/ab,
// then the Ab/aB ones, which draw nothing; every chromosome's origin is its
// haplotype, so the founders' haplotype counts are the ones given.
TEST_F(FoundersTest, DoubleHeterozygotesOfAGivenPhaseDrawNothing) {
  phasedPop[0] = 3;
  phasedPop[1] = 2;
  SetPopulation({1, 0, 0, 0, 9, 0, 0, 0, 1});
  const std::vector<double> draws = RecordDraws(7, 4);
  POPBUILD();
  EXPECT_EQ(drawCount, 4u);  // the 9 - 3 - 2 drawn ones
  int haplotypes[4] = {0, 0, 0, 0};
  for (int j = 1; j <= 9; ++j) {
    const IND& ind = pIND[j];
    ASSERT_EQ(GTINDEX(ind), 4) << j;
    int expectedB0 = 0;  // coupling: AB on chromosome 0
    if (j <= 4) expectedB0 = draws[static_cast<std::size_t>(j - 1)] < 0.5 ? 0 : 1;
    if (j >= 8) expectedB0 = 1;  // repulsion: Ab on chromosome 0
    EXPECT_EQ(AlleleB(ind, 0), expectedB0) << j;
    EXPECT_EQ(AlleleB(ind, 1), 1 - expectedB0) << j;
    if (j > 4) {
      for (int c = 0; c < 2; ++c) ++haplotypes[OriginA(ind, c)];
    }
  }
  EXPECT_EQ(haplotypes[0], 3);  // AB
  EXPECT_EQ(haplotypes[3], 3);  // ab
  EXPECT_EQ(haplotypes[1], 2);  // Ab
  EXPECT_EQ(haplotypes[2], 2);  // aB
  EXPECT_EQ(GTINDEX(pIND[10]), 8);
  phasedPop[0] = phasedPop[1] = 0;
}

// The shuffle's order never reaches the population (the next generation
// overwrites the buffer it would reorder); what it must leave is its place in
// the random stream. A generation after SHUFFLE is the generation after
// NTot draws thrown away, record for record, and the founders are untouched.
TEST_F(FoundersTest, ShuffleLeavesOnlyItsDraws) {
  SetPopulation({100, 50, 0, 7, 60, 0, 0, 3, 80});
  for (unsigned seed = 1; seed <= 5; ++seed) {
    RestartRandom(seed);
    POPBUILD();
    const std::vector<IND> founders(pIND, pIND + NTot);
    SHUFFLE();
    for (std::int64_t i = 0; i < NTot; ++i) {
      ASSERT_EQ(CopyA(pIND[i], 0), CopyA(founders[static_cast<std::size_t>(i)], 0));
      ASSERT_EQ(CopyB(pIND[i], 1), CopyB(founders[static_cast<std::size_t>(i)], 1));
    }
    GENBUILD();
    std::vector<std::int64_t> afterShuffle;
    for (std::int64_t i = 0; i < NTot; ++i) {
      for (int c = 0; c < 2; ++c) afterShuffle.push_back(CopyA(pIND[i], c) * 4 + OriginB(pIND[i], c));
    }
    RestartRandom(seed);
    POPBUILD();
    for (std::int64_t i = 0; i < NTot; ++i) RANDREAL();
    GENBUILD();
    std::vector<std::int64_t> afterDraws;
    for (std::int64_t i = 0; i < NTot; ++i) {
      for (int c = 0; c < 2; ++c) afterDraws.push_back(CopyA(pIND[i], c) * 4 + OriginB(pIND[i], c));
    }
    ASSERT_EQ(afterShuffle, afterDraws) << seed;
  }
}

}  // namespace
