// The generation builder checked draw by draw against a naive reading of
// its rules, plus the cases the naive reading cannot end.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "engine/founders.h"
#include "engine/generation.h"
#include "engine/random.h"
#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"
#include "tests/testutil.h"

namespace {

struct Draws {
  std::vector<double> d;
  std::size_t used = 0;
  double Next() { return d.at(used++); }
};

int Alpha(const IND& ind) { return ind.alleleA[0] + ind.alleleA[1]; }

void Gamete(const IND& parent, IND& child, int c, Draws& d) {
  const int h = d.Next() < 0.5 ? 0 : 1;
  int hb = h;
  if (rec > 0 && d.Next() < rec) hb = 1 - h;
  child.alleleA[c] = parent.alleleA[h];
  child.copyA[c] = parent.copyA[h];
  child.originA[c] = parent.originA[h];
  child.alleleB[c] = parent.alleleB[hb];
  child.copyB[c] = parent.copyB[hb];
  child.originB[c] = parent.originB[hb];
}

// One generation exactly as the rules read, slowly and without shortcuts.
std::vector<IND> NaiveGeneration(const std::vector<IND>& cur, Draws& d) {
  const int n = static_cast<int>(cur.size());
  std::vector<IND> next(cur.size());
  auto index = [&] {
    for (;;) {
      const int pos = static_cast<int>(d.Next() * n);
      if (pos != n) return pos;
    }
  };
  std::size_t k = 0;
  for (int slot = 0; doMig && slot < n; ++slot) {
    const double r = d.Next();
    if (d.Next() < migP) {
      int g = 8;
      for (int i = 7; i >= 0; --i) if (r < migCumF[i]) g = i;
      int t = g < 4 ? g : g + 1;
      if (g == 4 && d.Next() >= 0.5) t = 5;
      next[k++] = mIND[t];
    }
  }
  std::vector<long> mated(cur.size(), -1);
  auto pref = [&](int a, int b) { return matePref[whichMating[Alpha(cur[a])][Alpha(cur[b])]]; };
  for (std::size_t s = k; s < cur.size(); ++s) {
    int p1 = 0;
    int p2 = 0;
    for (;;) {
      do { p1 = index(); } while (fitCheck && d.Next() > w[GTINDEX(cur[p1])]);
      for (;;) {
        int c = index();
        if (mateRule == 0) while (c == p1) c = index();
        if (mateRule == 2) {
          if (mated[p1] >= 0) c = static_cast<int>(mated[p1]);
          else do { c = index(); } while (c == p1 || mated[c] != -1);
        }
        if (mateCheck == 2 && d.Next() > pref(p1, c)) continue;
        if (fitCheck && d.Next() > w[GTINDEX(cur[c])]) continue;
        p2 = c;
        break;
      }
      if (mateCheck == 1 && d.Next() > pref(p1, p2)) continue;
      break;
    }
    if (mateRule == 2) {
      if (mated[p1] == -1) mated[p1] = p2;
      if (mated[p2] == -1) mated[p2] = p1;
    }
    Gamete(cur[p1], next[s], 0, d);
    Gamete(cur[p2], next[s], 1, d);
  }
  for (IND& ind : next) {
    for (int c = 0; mutCheck && c < 2; ++c) {
      if (d.Next() < mutA[ind.alleleA[c]]) ind.alleleA[c] = 1 - ind.alleleA[c];
      if (d.Next() < mutB[ind.alleleB[c]]) ind.alleleB[c] = 1 - ind.alleleB[c];
    }
  }
  return next;
}

bool Same(const IND& a, const IND& b) {
  for (int c = 0; c < 2; ++c) {
    if (a.alleleA[c] != b.alleleA[c] || a.copyA[c] != b.copyA[c] || a.originA[c] != b.originA[c] ||
        a.alleleB[c] != b.alleleB[c] || a.copyB[c] != b.copyB[c] || a.originB[c] != b.originB[c])
      return false;
  }
  return true;
}

class GenerationTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    STARTDEF();
  }
  void Derive() {
    fitCheck = 0;
    for (double x : w) if (x < 1.0) fitCheck = 1;
    mutCheck = (mutA[0] > 0 || mutA[1] > 0 || mutB[0] > 0 || mutB[1] > 0) ? 1 : 0;
    double sum = 0.0;
    for (int g = 0; g < 9; ++g) migCumF[g] = (sum += migF[g]);
  }
  // Builds generations from seeded founders and compares each with the
  // naive reading, record for record and draw for draw.
  void CompareWithNaive(const std::vector<std::int64_t>& counts, int generations) {
    Derive();
    SetPopulation(counts);
    for (unsigned seed = 1; seed <= 12; ++seed) {
      RestartRandom(seed);
      POPBUILD();
      gen = 0;
      for (int g = 0; g < generations; ++g) {
        const unsigned genSeed = seed * 100 + static_cast<unsigned>(g);
        std::vector<IND> cur(pIND, pIND + NTot);
        Draws d{RecordDraws(genSeed, 60000)};
        const std::vector<IND> expected = NaiveGeneration(cur, d);
        GENBUILD();
        ASSERT_EQ(iterExtinct, 0);
        ASSERT_EQ(drawCount, d.used) << "seed " << seed << " generation " << g;
        for (std::int64_t i = 0; i < NTot; ++i) {
          ASSERT_TRUE(Same(pIND[i], expected[static_cast<std::size_t>(i)])) << i;
          ASSERT_TRUE(Same(pIND[i], pNIND[i]));
        }
        std::int64_t counted[9] = {};
        for (const IND& ind : expected) ++counted[GTINDEX(ind)];
        for (int x = 0; x < 9; ++x) ASSERT_EQ(N[x], counted[x]);
      }
    }
  }
};

TEST_F(GenerationTest, DefaultGenerationUsesFourDrawsAnOffspring) {
  SetPopulation({10, 20, 10, 20, 40, 20, 10, 20, 10});
  RestartRandom(3);
  POPBUILD();
  const std::uint64_t before = drawCount;
  GENBUILD();
  EXPECT_EQ(drawCount - before, 640u);
  EXPECT_EQ(gen, 1);
  rec = 0.25;
  GENBUILD();
  EXPECT_EQ(drawCount - before, 640u + 960u);  // a recombination draw a gamete
  mutCheck = 1;
  GENBUILD();
  EXPECT_EQ(drawCount - before, 640u + 960u + 960u + 640u);  // four mutation draws a record
}

TEST_F(GenerationTest, MatchesNaiveUnderEveryRule) {
  for (int rule : {0, 1, 2}) {
    mateRule = rule;
    CompareWithNaive({3, 2, 1, 4, 6, 2, 1, 0, 3}, 6);
  }
}

TEST_F(GenerationTest, MatchesNaiveWithSelectionRecombinationAndMutation) {
  const double fitness[9] = {1.0, 0.9, 0.2, 0.5, 1.0, 0.7, 0.05, 0.3, 0.6};
  for (int g = 0; g < 9; ++g) w[g] = fitness[g];
  rec = 0.3;
  mutA[0] = 0.1;
  mutA[1] = 0.02;
  mutB[1] = 1.0;
  for (int rule : {0, 1, 2}) {
    mateRule = rule;
    CompareWithNaive({4, 0, 2, 3, 5, 1, 2, 2, 3}, 5);
  }
}

TEST_F(GenerationTest, MatchesNaiveWithMatingPreferences) {
  const double prefs[6] = {1.0, 0.2, 0.05, 0.7, 0.4, 0.9};
  for (int k = 0; k < 6; ++k) matePref[k] = prefs[k];
  w[3] = 0.4;
  for (int check : {1, 2}) {
    mateCheck = check;
    for (int rule : {0, 1, 2}) {
      mateRule = rule;
      CompareWithNaive({5, 1, 0, 3, 4, 2, 0, 1, 4}, 4);
    }
  }
}

TEST_F(GenerationTest, MatchesNaiveWithMigration) {
  doMig = 1;
  const double mix[9] = {0.1, 0.0, 0.2, 0.05, 0.3, 0.1, 0.0, 0.15, 0.1};
  for (int g = 0; g < 9; ++g) migF[g] = mix[g];
  migN = 7.5;
  trackCopies = 0;
  Derive();
  SetPopulation({2, 2, 2, 2, 2, 2, 2, 2, 2});  // sets migP = 7.5 / 18
  mutA[0] = 0.3;
  CompareWithNaive({2, 2, 2, 2, 2, 2, 2, 2, 2}, 5);
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
    for (int slot = 0; slot < 4; ++slot) {
      const double selector = draws[static_cast<std::size_t>(2 * slot)];
      if (!(draws[static_cast<std::size_t>(2 * slot + 1)] < migP)) continue;
      EXPECT_EQ(pIND[k].copyA[0], -1);
      EXPECT_EQ(GTINDEX(pIND[k]), selector < draws[0] ? 0 : 2);
      ++k;
    }
    if (k < NTot) {
      EXPECT_NE(pIND[k].copyA[0], -1);  // offspring follow the immigrants
    }
  }
}

TEST_F(GenerationTest, RecombinationMixesChromosomes) {
  SetPopulation({0, 0, 0, 0, 1, 0, 0, 0, 0});
  rec = 0.5;
  int recombinant = 0;
  for (unsigned seed = 1; seed <= 400; ++seed) {
    RestartRandom(seed);
    POPBUILD();
    const IND parent = pIND[0];
    GENBUILD();
    for (int c = 0; c < 2; ++c) {
      const IND& child = pIND[0];
      // Each gene's copy keeps its allele and origin together.
      const int ha = child.copyA[c] == parent.copyA[0] ? 0 : 1;
      const int hb = child.copyB[c] == parent.copyB[0] ? 0 : 1;
      EXPECT_EQ(child.alleleA[c], parent.alleleA[ha]);
      EXPECT_EQ(child.originA[c], parent.originA[ha]);
      EXPECT_EQ(child.alleleB[c], parent.alleleB[hb]);
      EXPECT_EQ(child.originB[c], parent.originB[hb]);
      recombinant += ha != hb;
    }
  }
  EXPECT_GT(recombinant, 330);  // about 400 of 800 gametes
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
      // Label both copies of each parent with its position, so an
      // offspring's chromosome 0 names its first parent, chromosome 1 its
      // second.
      for (std::int64_t i = 0; i < NTot; ++i) {
        for (int c = 0; c < 2; ++c) pIND[i].copyA[c] = i;
      }
      GENBUILD();
      std::vector<std::int64_t> partner(static_cast<std::size_t>(NTot), -1);
      for (std::int64_t i = 0; i < NTot; ++i) {
        const std::int64_t a = pIND[i].copyA[0];
        const std::int64_t b = pIND[i].copyA[1];
        selfed += a == b;
        if (rule == 0) {
          EXPECT_NE(a, b);
        }
        if (rule != 2) continue;
        // Under monogamy each parent has one partner in the generation.
        for (auto [x, y] : {std::pair{a, b}, std::pair{b, a}}) {
          std::int64_t& known = partner[static_cast<std::size_t>(x)];
          if (known == -1) known = y;
          EXPECT_EQ(known, y);
        }
      }
    }
    if (rule == 1) {
      EXPECT_GT(selfed, 0);
    } else {
      EXPECT_EQ(selfed, 0);
    }
  }
}

TEST_F(GenerationTest, MutationAtRateOneFlipsEveryAllele) {
  mutA[0] = 1.0;
  mutB[1] = 1.0;
  mutCheck = 1;
  SetPopulation({5, 0, 0, 0, 0, 0, 0, 0, 5});
  RestartRandom(2);
  POPBUILD();
  GENBUILD();
  // Every A became a and every b became B; no allele is flipped back.
  EXPECT_EQ(N[6], NTot);
}

// Populations in which parent choice as first described never ends.
class NoPartnerTest : public GenerationTest {
 protected:
  void BuildOne(const std::vector<std::int64_t>& counts) {
    SetPopulation(counts);
    RestartRandom(8);
    POPBUILD();
    iterExtinct = 0;
    GENBUILD();
  }
};

TEST_F(NoPartnerTest, PostmatingWithNoAcceptablePairEndsTheIteration) {
  // Only AA and aa individuals; only AA:aa matings allowed, but aa sterile.
  mateCheck = 1;
  for (double& p : matePref) p = 0.0;
  matePref[2] = 1.0;
  w[8] = 0.0;
  fitCheck = 1;
  BuildOne({5, 0, 0, 0, 0, 0, 0, 0, 5});
  EXPECT_EQ(iterExtinct, 1);
  EXPECT_EQ(drawCount, 0u);  // detected before any parent is drawn
}

TEST_F(NoPartnerTest, PrematingFirstParentWithoutPartnerIsSetAside) {
  // aa individuals may mate only with aa, and there is one aa: under rule 0
  // it never finds a partner, while the AA individuals mate freely.
  mateCheck = 2;
  for (double& p : matePref) p = 0.0;
  matePref[0] = 1.0;
  matePref[5] = 1.0;
  mateRule = 0;
  BuildOne({6, 0, 0, 0, 0, 0, 0, 0, 1});
  EXPECT_EQ(iterExtinct, 0);
  EXPECT_EQ(N[0], NTot);  // every offspring has AA parents
}

TEST_F(NoPartnerTest, PrematingWithNoFirstParentAbleToMateEndsTheIteration) {
  mateCheck = 2;
  for (double& p : matePref) p = 0.0;
  matePref[0] = 1.0;
  mateRule = 0;
  BuildOne({1, 0, 0, 0, 0, 0, 0, 0, 3});
  EXPECT_EQ(iterExtinct, 1);
}

TEST_F(NoPartnerTest, MonogamyWithAnOddSterileRemainderStillEnds) {
  // Three fertile individuals: once two are paired the third is the last
  // without a partner; it is set aside and the pair breeds on.
  mateRule = 2;
  w[8] = 0.0;
  fitCheck = 1;
  BuildOne({3, 0, 0, 0, 0, 0, 0, 0, 4});
  EXPECT_EQ(iterExtinct, 0);
}

TEST_F(NoPartnerTest, MonogamyWithOnePairOfAllowedMatingsEnds) {
  // Premating: only AA:aa matings. One AA, two aa: the AA pairs with one aa,
  // the other aa can never pair and is set aside whenever drawn.
  mateRule = 2;
  mateCheck = 2;
  for (double& p : matePref) p = 0.0;
  matePref[2] = 1.0;
  BuildOne({1, 0, 0, 0, 0, 0, 0, 0, 2});
  EXPECT_EQ(iterExtinct, 0);
}

}  // namespace
