// Iteration control, fixation tracking and the run tallies.
#include <gtest/gtest.h>

#include <vector>

#include "engine/founders.h"
#include "engine/generation.h"
#include "model/driver.h"
#include "model/fixation.h"
#include "model/iteration.h"
#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"
#include "tests/testutil.h"

namespace {

class IterationTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    STARTDEF();
  }
  void Counts(const std::vector<std::int64_t>& counts) {
    NTot = 0;
    for (int g = 0; g < 9; ++g) NTot += (N[g] = counts[static_cast<std::size_t>(g)]);
  }
};

TEST_F(IterationTest, StartStateAndConsoleLine) {
  rep = 7;
  Counts({3, 0, 2, 0, 0, 0, 0, 0, 0});  // all AA, Beta polymorphic
  ITERINIT();
  EXPECT_EQ(Output(), "\nReplicate #7 ");
  EXPECT_EQ(contIter, 1);
  EXPECT_EQ(gen, 0);
  EXPECT_EQ(fixedAAll, 0);
  EXPECT_EQ(genFixedAAll, 0);
  EXPECT_EQ(fixedBAll, 2);
  EXPECT_EQ(genFixedBAll, genMax + 1);
  EXPECT_EQ(fixedACopy, -1);
  EXPECT_EQ(genFixedBCopy, genMax + 1);
  // An excluded allele fixed at the start leaves the gene pending.
  setAllFix[0] = 2;
  ITERINIT();
  EXPECT_EQ(fixedAAll, 2);
  Counts({0, 0, 0, 0, 0, 0, 0, 0, 4});
  setAllFix[0] = 1;
  setAllFix[1] = 2;
  ITERINIT();
  EXPECT_EQ(fixedAAll, 2);
  EXPECT_EQ(fixedBAll, 1);
}

TEST_F(IterationTest, ProgressLineDotsAndEnd) {
  Counts({5, 5, 0, 0, 0, 0, 0, 0, 0});
  genMax = 3000;
  fixedAAll = fixedBAll = 2;
  for (gen = 1; gen <= 3000; ++gen) {
    CONTCHK();
    if (contIter == 0) break;
  }
  // A dot at 1000 and 2000; at the limit the closing line and no dot.
  EXPECT_EQ(Output(), ".. 3000 generations\n");
  EXPECT_EQ(gen, 3000);
  ClearOutput();
  fixedAAll = fixedBAll = 0;
  trackCopies = 0;
  gen = 12;
  CONTCHK();
  EXPECT_EQ(contIter, 0);
  EXPECT_EQ(Output(), " 12 generations\n");
  stopAtFix = 0;
  ClearOutput();
  CONTCHK();
  EXPECT_EQ(contIter, 1);
  EXPECT_EQ(Output(), "");
}

TEST_F(IterationTest, ExtinctionPaths) {
  struct Case {
    std::vector<std::int64_t> counts;
    int rule, check;
    std::vector<int> allowedClasses;  // the others get preference 0
    int sterile;                      // genotype with fitness 0, or -1
    int extinct;
  };
  const Case cases[] = {
      // One fertile individual: enough with selfing, too few otherwise.
      {{1, 0, 0, 0, 0, 0, 0, 0, 3}, 1, 0, {}, 8, 0},
      {{1, 0, 0, 0, 0, 0, 0, 0, 3}, 0, 0, {}, 8, 1},
      {{1, 0, 0, 0, 0, 0, 0, 0, 3}, 2, 0, {}, 8, 1},
      // Sterile individuals still count in the mating test.
      {{1, 0, 0, 0, 0, 0, 0, 0, 3}, 1, 2, {5}, 8, 0},
      // Only AA left and AA:AA forbidden; then allowed, with selfing.
      {{4, 0, 0, 0, 0, 0, 0, 0, 0}, 1, 1, {5}, -1, 1},
      {{1, 0, 0, 0, 0, 0, 0, 0, 0}, 1, 1, {0}, -1, 0},
      // One AA and one aa, no selfing, only same-class matings allowed.
      {{1, 0, 0, 0, 0, 0, 0, 0, 1}, 0, 2, {0, 5}, -1, 1},
  };
  trackCopies = 0;
  fixedAAll = fixedBAll = 2;
  gen = 5;
  for (const Case& c : cases) {
    Counts(c.counts);
    mateRule = c.rule;
    mateCheck = c.check;
    for (double& p : matePref) p = c.allowedClasses.empty() ? 1.0 : 0.0;
    for (int k : c.allowedClasses) matePref[k] = 1.0;
    for (int g = 0; g < 9; ++g) w[g] = g == c.sterile ? 0.0 : 1.0;
    iterExtinct = 0;
    CONTCHK();
    EXPECT_EQ(iterExtinct, c.extinct) << &c - cases;
    EXPECT_EQ(contIter, 1 - c.extinct) << &c - cases;
  }
  // A finished iteration is still marked extinct when it cannot reproduce,
  // and its console line is closed.
  mateCheck = 0;
  mateRule = 0;
  Counts({1, 0, 0, 0, 0, 0, 0, 0, 0});
  fixedAAll = fixedBAll = 0;
  iterExtinct = 0;
  CONTCHK();
  EXPECT_EQ(Output(), " 5 generations\n");
  EXPECT_EQ(iterExtinct, 1);
}

TEST_F(IterationTest, AlleleFixationHonoursTheOptions) {
  genMax = 100;
  gen = 9;
  Counts({0, 0, 0, 0, 0, 0, 2, 0, 1});  // all aa, Beta polymorphic
  fixedAAll = fixedBAll = 2;
  setAllFix[0] = 1;  // only A may count
  ALCOMP();
  EXPECT_EQ(fixedAAll, 2);
  Counts({3, 0, 0, 0, 0, 0, 0, 0, 0});
  gen = 10;
  ALCOMP();
  EXPECT_EQ(fixedAAll, 0);
  EXPECT_EQ(genFixedAAll, 10);
  EXPECT_EQ(fixedBAll, 0);
  Counts({0, 0, 0, 0, 0, 0, 0, 0, 3});
  gen = 11;
  ALCOMP();  // recorded fixations are never revised
  EXPECT_EQ(fixedAAll, 0);
  EXPECT_EQ(genFixedAAll, 10);
}

TEST_F(IterationTest, GeneCopyFixation) {
  SetPopulation({0, 0, 0, 0, 1, 0, 0, 0, 0});
  RestartRandom(1);
  POPBUILD();
  fixedACopy = fixedBCopy = -1;
  gen = 0;
  COALESCE();  // a population of one starts with two copies
  EXPECT_EQ(fixedACopy, -1);
  pIND[0].copyA[1] = pIND[0].copyA[0];
  pIND[0].originA[1] = 3;
  gen = 4;
  COALESCE();
  EXPECT_EQ(fixedACopy, 0);
  EXPECT_EQ(genFixedACopy, 4);
  EXPECT_EQ(ancAHap, pIND[0].originA[0]);
  EXPECT_EQ(fixedBCopy, -1);
  // Immigrant copies never count as a common ancestor.
  pIND[0].copyB[0] = pIND[0].copyB[1] = -1;
  COALESCE();
  EXPECT_EQ(fixedBCopy, -1);
}

TEST_F(IterationTest, TalliesOfEachOutcome) {
  genMax = 50;
  RUNINIT();
  // {extinct, Alpha state, its generation, Beta state, its generation,
  //  Alpha copy generation, Beta copy generation}; 51 means not fixed.
  const std::int64_t outcomes[3][7] = {{0, 1, 0, 2, 51, 30, 51},
                                       {1, 0, 7, 0, 7, 7, 7},  // extinct: counted as such only
                                       {0, 0, 12, 0, 50, 50, 51}};
  for (const auto& o : outcomes) {
    iterExtinct = static_cast<std::int32_t>(o[0]);
    fixedAAll = static_cast<std::int32_t>(o[1]);
    genFixedAAll = o[2];
    fixedBAll = static_cast<std::int32_t>(o[3]);
    genFixedBAll = o[4];
    genFixedACopy = o[5];
    genFixedBCopy = o[6];
    ADDNEW();
  }
  EXPECT_EQ(std::vector<std::int64_t>(totAFixed, totAFixed + 3), (std::vector<std::int64_t>{1, 1, 0}));
  EXPECT_EQ(std::vector<std::int64_t>(totBFixed, totBFixed + 3), (std::vector<std::int64_t>{1, 0, 1}));
  EXPECT_EQ(sumGenFixedAAll, 12);
  EXPECT_EQ(sumGenFixedBAll, 50);
  EXPECT_EQ(sumGenFixedACopy, 80);
  EXPECT_EQ(sumGenFixedBCopy, 0);
  EXPECT_EQ(noFixedACopy, 1);
  EXPECT_EQ(noFixedBCopy, 3);
  EXPECT_EQ(nIterExtinct, 1);
  trackCopies = 0;  // untracked copies are never tallied
  RUNINIT();
  iterExtinct = 1;
  ADDNEW();
  EXPECT_EQ(noFixedACopy, 0);
  EXPECT_EQ(nIterExtinct, 1);
}

// Whole iterations through the driver, with the reports' output ignored.
class RunTest : public IterationTest {
 protected:
  void Run(unsigned seed) {
    fitCheck = 0;
    for (double x : w) if (x < 1.0) fitCheck = 1;
    mutCheck = (mutA[0] > 0 || mutA[1] > 0 || mutB[0] > 0 || mutB[1] > 0) ? 1 : 0;
    rsd = seed;
    RestartRandom(seed);
    MEMALLOC();
    RUNINIT();
    RUNITERATIONS();
  }
};

TEST_F(RunTest, FixedFromTheStartStillBuildsOneGeneration) {
  for (int g = 0; g < 9; ++g) startPop[g] = 0;
  startPop[0] = 6;
  NTot = 6;
  startF[0] = 1.0;
  for (int g = 1; g < 9; ++g) startF[g] = 0.0;
  trackCopies = 0;
  Run(4);
  EXPECT_EQ(gen, 1);
  EXPECT_EQ(totAFixed[0], 1);
  EXPECT_EQ(sumGenFixedAAll, 0);
  EXPECT_EQ(Output(), "\nReplicate #1  1 generations\n");
}

TEST_F(RunTest, FixationInTheLastGenerationIsRecorded) {
  // One selfing AABb and a limit of one generation: Beta fixes in about half
  // the iterations, always at generation 1, the last one.
  for (int g = 0; g < 9; ++g) startPop[g] = startF[g] = 0;
  startPop[1] = 1;
  startF[1] = 1.0;
  NTot = 1;
  genMax = 1;
  nIter = 200;
  Run(5);
  const std::int64_t fixed = totBFixed[0] + totBFixed[1];
  EXPECT_GT(fixed, 60);
  EXPECT_EQ(sumGenFixedBAll, fixed);
  EXPECT_EQ(totBFixed[2], 200 - fixed);
  EXPECT_EQ(sumGenFixedAAll, 0);  // Alpha fixed among the founders
  EXPECT_EQ(totAFixed[0], 200);
}

TEST_F(RunTest, EveryIterationEndsAccountedFor) {
  nIter = 30;
  genMax = 400;
  mateRule = 2;
  w[4] = 0.0;
  Run(11);
  EXPECT_EQ(rep, 31);
  EXPECT_EQ(totAFixed[0] + totAFixed[1] + totAFixed[2] + nIterExtinct, 30);
  EXPECT_EQ(totBFixed[0] + totBFixed[1] + totBFixed[2] + nIterExtinct, 30);
  EXPECT_LE(noFixedACopy, 30);
}

TEST_F(RunTest, NeutralAlleleFixesWithItsStartingFrequency) {
  // 40 founders, a quarter of the Alpha alleles small: a fixes in about a
  // quarter of the iterations.
  for (int g = 0; g < 9; ++g) startPop[g] = 0;
  startPop[0] = 20;
  startPop[3] = 20;
  NTot = 40;
  startF[0] = startF[3] = 0.5;
  nIter = 400;
  Run(2024);
  EXPECT_EQ(totAFixed[2], 0);
  EXPECT_EQ(totAFixed[0] + totAFixed[1], 400);
  EXPECT_GT(totAFixed[1], 70);  // expected 100, sd about 8.7
  EXPECT_LT(totAFixed[1], 130);
  // Drift at Alpha alone: the copy fixes no earlier than the allele.
  EXPECT_GE(sumGenFixedACopy, sumGenFixedAAll);
}

}  // namespace

namespace {

// Fixation probabilities over many replicates; run by `make stats`.
TEST_F(RunTest, DISABLED_LongFixationProbabilities) {
  // Neutral: a fixes with its starting frequency (0.25). Selection against
  // aa (fitness 0.8, Aa 0.9) lowers it.
  for (int g = 0; g < 9; ++g) startPop[g] = 0;
  startPop[0] = 20;
  startPop[3] = 20;
  NTot = 40;
  startF[0] = startF[3] = 0.5;
  nIter = 4000;
  Run(77);
  EXPECT_NEAR(static_cast<double>(totAFixed[1]) / 4000.0, 0.25, 0.03);
  for (int g = 3; g < 6; ++g) w[g] = 0.9;
  for (int g = 6; g < 9; ++g) w[g] = 0.8;
  Run(78);
  EXPECT_LT(static_cast<double>(totAFixed[1]) / 4000.0, 0.15);
}

}  // namespace
