// The generation builder checked draw by draw against a naive reading of
// its rules, plus the populations in which that reading never ends.
#include <gtest/gtest.h>

#include <cmath>
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

struct Draws {
  std::vector<double> d;
  std::size_t used = 0;
  double Next() { return d.at(used++); }
};

int Alpha(const IND& ind) { return AlleleA(ind, 0) + AlleleA(ind, 1); }

void Gamete(const IND& parent, IND& child, int c, Draws& d) {
  const int h = d.Next() < 0.5 ? 0 : 1;
  const int hb = rec > 0 && d.Next() < rec ? 1 - h : h;
  SetChromosome(child, c, AlleleA(parent, h), CopyA(parent, h), OriginA(parent, h),
                AlleleB(parent, hb), CopyB(parent, hb), OriginB(parent, hb));
}

// One generation exactly as the rules read: one offspring at a time, every
// record read where it lies, no bookkeeping.
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
    if (!(d.Next() < migP)) continue;
    int g = 8;
    for (int i = 7; i >= 0; --i) g = r < migCumF[i] ? i : g;
    int t = g < 4 ? g : g + 1;
    if (g == 4) t = d.Next() < 0.5 ? 4 : 5;
    next[k++] = mIND[t];
  }
  std::vector<long> mated(cur.size(), -1);
  auto pref = [&](int a, int b) { return matePref[whichMating[Alpha(cur[a])][Alpha(cur[b])]]; };
  for (std::size_t s = k; s < cur.size(); ++s) {
    int p1 = 0;
    int p2 = 0;
    do {
      do { p1 = index(); } while (fitCheck && d.Next() > w[GTINDEX(cur[p1])]);
      for (;;) {
        p2 = index();
        while (mateRule == 0 && p2 == p1) p2 = index();
        if (mateRule == 2 && mated[p1] >= 0) p2 = static_cast<int>(mated[p1]);
        else if (mateRule == 2) do { p2 = index(); } while (p2 == p1 || mated[p2] != -1);
        if (mateCheck == 2 && d.Next() > pref(p1, p2)) continue;
        if (fitCheck && d.Next() > w[GTINDEX(cur[p2])]) continue;
        break;
      }
    } while (mateCheck == 1 && d.Next() > pref(p1, p2));
    if (mateRule == 2 && mated[p1] == -1) mated[p1] = p2;
    if (mateRule == 2 && mated[p2] == -1) mated[p2] = p1;
    Gamete(cur[p1], next[s], 0, d);
    Gamete(cur[p2], next[s], 1, d);
  }
  for (IND& ind : next) {
    for (int c = 0; mutCheck && c < 2; ++c) {
      int a = AlleleA(ind, c);
      int b = AlleleB(ind, c);
      if (d.Next() < mutA[a]) a = 1 - a;
      if (d.Next() < mutB[b]) b = 1 - b;
      SetChromosome(ind, c, a, CopyA(ind, c), OriginA(ind, c), b, CopyB(ind, c), OriginB(ind, c));
    }
  }
  return next;
}

bool Same(const IND& a, const IND& b) {
  for (int c = 0; c < 2; ++c) {
    if (AlleleA(a, c) != AlleleA(b, c) || CopyA(a, c) != CopyA(b, c) ||
        OriginA(a, c) != OriginA(b, c) || AlleleB(a, c) != AlleleB(b, c) ||
        CopyB(a, c) != CopyB(b, c) || OriginB(a, c) != OriginB(b, c))
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
    for (double x : w) fitCheck |= x < 1.0;
    mutCheck = mutA[0] > 0 || mutA[1] > 0 || mutB[0] > 0 || mutB[1] > 0;
    double sum = 0.0;
    for (int g = 0; g < 9; ++g) migCumF[g] = (sum += migF[g]);
  }
  // Builds generations from seeded founders, each compared with the naive
  // reading record for record and draw for draw.
  void CompareWithNaive(const std::vector<std::int64_t>& counts, int generations) {
    Derive();
    SetPopulation(counts);
    for (unsigned seed = 1; seed <= 10; ++seed) {
      RestartRandom(seed);
      POPBUILD();
      for (int g = 0; g < generations; ++g) {
        std::vector<IND> cur(pIND, pIND + NTot);
        Draws d{RecordDraws(seed * 100 + static_cast<unsigned>(g), 60000)};
        const std::vector<IND> expected = NaiveGeneration(cur, d);
        GENBUILD();
        ASSERT_EQ(iterExtinct, 0);
        ASSERT_EQ(drawCount, d.used) << "seed " << seed << " generation " << g;
        std::int64_t counted[9] = {};
        for (std::int64_t i = 0; i < NTot; ++i) {
          ASSERT_TRUE(Same(pIND[i], expected[static_cast<std::size_t>(i)])) << i;
          ++counted[GTINDEX(pIND[i])];
          ASSERT_EQ(pGT[i], GTINDEX(pIND[i])) << i;  // parent choice reads these
        }
        for (int x = 0; x < 9; ++x) ASSERT_EQ(N[x], counted[x]);
        // The buffers trade places: the one just left holds the previous
        // generation, which the next one overwrites before reading.
        ASSERT_TRUE(Same(pNIND[0], cur[0]));
      }
    }
  }
};

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

TEST_F(GenerationTest, MatchesNaiveReading) {
  const double fitness[9] = {1.0, 0.9, 0.2, 0.5, 1.0, 0.7, 0.05, 0.3, 0.6};
  const double prefs[6] = {1.0, 0.2, 0.05, 0.7, 0.4, 0.9};
  const double mix[9] = {0.1, 0.0, 0.2, 0.05, 0.3, 0.1, 0.0, 0.15, 0.1};
  const std::vector<std::pair<const char*, std::function<void()>>> cases = {
      {"defaults", [] {}},
      {"selection, recombination, mutation", [&] {
         for (int g = 0; g < 9; ++g) w[g] = fitness[g];
         rec = 0.3;
         mutA[0] = 0.1;
         mutA[1] = 0.02;
         mutB[1] = 1.0;
       }},
      {"postmating", [&] {
         for (int k = 0; k < 6; ++k) matePref[k] = prefs[k];
         w[3] = 0.4;
         mateCheck = 1;
       }},
      {"premating", [&] {
         for (int k = 0; k < 6; ++k) matePref[k] = prefs[k];
         w[3] = 0.4;
         mateCheck = 2;
       }},
      {"migration", [&] {
         doMig = 1;
         trackCopies = 0;
         for (int g = 0; g < 9; ++g) migF[g] = mix[g];
         migN = 7.5;
         mutA[0] = 0.3;
       }},
  };
  for (const auto& [name, configure] : cases) {
    for (int rule : {0, 1, 2}) {
      SCOPED_TRACE(std::string(name) + ", rule " + std::to_string(rule));
      RESETPROGRAM();
      STARTDEF();
      configure();
      mateRule = rule;
      CompareWithNaive({3, 2, 1, 4, 6, 2, 1, 0, 3}, 4);
    }
  }
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
