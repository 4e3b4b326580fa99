// The founding population and the shuffle of the next-generation buffer.
#include <gtest/gtest.h>

#include <vector>

#include "engine/founders.h"
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
        EXPECT_EQ(ind.copyA[c], 2 * j + c);
        EXPECT_EQ(ind.copyB[c], 2 * j + c);
        EXPECT_EQ(ind.originA[c], 2 * ind.alleleA[c] + ind.alleleB[c]);
        EXPECT_EQ(ind.originB[c], ind.originA[c]);
        EXPECT_EQ(ind.alleleA[c], g / 3 == 2 ? 1 : (g / 3 == 1 ? c : 0));
      }
      if (g == 4) {
        // Coupling (AB/ab) on a draw below one half, repulsion (Ab/aB) else.
        const int expectedB0 = draws[static_cast<std::size_t>(h++)] < 0.5 ? 0 : 1;
        EXPECT_EQ(ind.alleleB[0], expectedB0);
        EXPECT_EQ(ind.alleleB[1], 1 - expectedB0);
      }
    }
  }
  EXPECT_EQ(pIND[60].copyA[0], 120);
  EXPECT_EQ(pIND[60].copyA[1], 121);
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

// The shuffle as first described: repeated scans for the smallest key.
std::vector<std::int64_t> NaiveOrder(std::vector<double> keys) {
  std::vector<std::int64_t> order;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    double least = 2.0;
    std::size_t m = 0;
    for (std::size_t j = 0; j < keys.size(); ++j) {
      if (keys[j] < least) {
        least = keys[j];
        m = j;
      }
    }
    order.push_back(static_cast<std::int64_t>(m));
    keys[m] = 3.0;
  }
  return order;
}

void CheckPermute(const std::vector<double>& keys) {
  for (std::size_t i = 0; i < keys.size(); ++i) {
    pRand[i] = keys[i];
    pNIND[i].copyA[0] = static_cast<std::int64_t>(i);  // a label to follow
  }
  PERMUTE();
  const std::vector<std::int64_t> expected = NaiveOrder(keys);
  for (std::size_t i = 0; i < keys.size(); ++i) ASSERT_EQ(pNIND[i].copyA[0], expected[i]) << i;
}

TEST_F(FoundersTest, ShuffleMatchesRepeatedScans) {
  SetPopulation({5, 0, 0, 0, 0, 0, 0, 0, 5});
  CheckPermute({0.5, 0.25, 0.5, 0.0, 0.25, 0.75, 0.0, 0.5, 0.1, 0.5});  // ties
  SetPopulation({100, 50, 0, 7, 60, 0, 0, 3, 80});
  for (unsigned seed = 1; seed <= 20; ++seed) {
    RestartRandom(seed);
    std::vector<double> keys(static_cast<std::size_t>(NTot));
    for (double& k : keys) k = static_cast<double>(static_cast<int>(RANDREAL() * 40)) / 40;
    CheckPermute(keys);  // many ties
    for (double& k : keys) k = RANDREAL();
    CheckPermute(keys);
  }
}

}  // namespace
