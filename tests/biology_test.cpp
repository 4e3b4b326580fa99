// Settings in the terms of biology: s and h, allele frequencies and D,
// translated into the fitnesses and founder counts a user would type.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "model/biology.h"

namespace {

SettingValue Real(double x, const std::string& where) {
  SettingValue v;
  v.type = SettingType::Real;
  v.real = x;
  v.where = where;
  return v;
}

SettingValue Count(std::int64_t n, const std::string& where) {
  SettingValue v;
  v.type = SettingType::Count;
  v.count = n;
  v.where = where;
  return v;
}

SettingValue Choice(const std::string& text, const std::string& where) {
  SettingValue v;
  v.type = SettingType::Choice;
  v.text = text;
  v.where = where;
  return v;
}

// What the console would be typed: the shortest text that reads back.
std::string Typed(double x) {
  char buf[64];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed).ptr);
}

const char* const GT[9] = {"AABB", "AABb", "AAbb", "AaBB", "AaBb", "Aabb", "aaBB", "aaBb", "aabb"};

std::vector<std::string> Typed9(const SettingMap& settings, const char* group) {
  std::vector<std::string> out;
  for (const char* g : GT) {
    const SettingValue& v = settings.at(std::string(group) + g);
    out.push_back(v.type == SettingType::Count ? std::to_string(v.count) : Typed(v.real));
  }
  return out;
}

// The nine genotype counts, AaBb split by phase: AABB ... AB/ab, Ab/aB ... aabb
// (ten numbers), so that every chromosome is accounted for.
std::vector<std::int64_t> Counts(std::int64_t n, double pA, double pB, double d, int phase = 0) {
  std::int64_t counts[9];
  std::int64_t phased[2];
  FOUNDERCOUNTS(n, pA, pB, d, phase, counts, phased);
  EXPECT_EQ(counts[4], phased[0] + phased[1]);  // no founder of biology-level keys has its phase drawn
  return {counts[0], counts[1], counts[2], counts[3], phased[0], phased[1], counts[5], counts[6], counts[7], counts[8]};
}

// Chromosomes AB, Ab, aB, ab of founders given as by Counts.
std::vector<std::int64_t> Chromosomes(const std::vector<std::int64_t>& c) {
  return {2 * c[0] + c[1] + c[3] + c[4], c[1] + 2 * c[2] + c[5] + c[6], c[3] + c[5] + 2 * c[7] + c[8],
          c[4] + c[6] + c[8] + 2 * c[9]};
}

TEST(BiologyTest, OneGeneGivesOneMinusHsAndOneMinusSUnderEitherCombination) {
  for (const char* combine : {"additive", "multiplicative"}) {
    SettingMap settings{{"selection.alpha.s", Real(0.05, "study.toml:3")},
                        {"selection.combine", Choice(combine, "study.toml:4")},
                        {"iterations", Count(5, "study.toml:8")}};
    std::vector<std::string> faults;
    ASSERT_TRUE(TRANSLATEBIOLOGY(settings, faults)) << combine;
    EXPECT_TRUE(faults.empty());
    // The new user's case: 1 : 0.975 : 0.95 for AA : Aa : aa, whatever B.
    EXPECT_EQ(Typed9(settings, "fitness."),
              (std::vector<std::string>{"1", "1", "1", "0.975", "0.975", "0.975", "0.95", "0.95",
                                        "0.95"}))
        << combine;
    EXPECT_EQ(settings.at("fitness.AaBb").type, SettingType::Real);
    EXPECT_EQ(settings.at("fitness.AaBb").where,
              "study.toml:3 (from selection.alpha.s, selection.combine)");
    EXPECT_EQ(settings.count("selection.alpha.s") + settings.count("selection.combine"), 0u);
    EXPECT_EQ(settings.at("iterations").count, 5);
    EXPECT_EQ(settings.size(), 10u);
  }
  SettingMap small{{"selection.alpha.s", Real(0.05, "s:1")},
                   {"selection.alpha.favoured", Choice("a", "s:2")}};
  std::vector<std::string> faults;
  ASSERT_TRUE(TRANSLATEBIOLOGY(small, faults));
  EXPECT_EQ(Typed9(small, "fitness."), (std::vector<std::string>{"0.95", "0.95", "0.95", "0.975",
                                                                 "0.975", "0.975", "1", "1", "1"}));
}

TEST(BiologyTest, TwoGenesCombineByProductOrBySumOfReductions) {
  const double s[2] = {0.05, 0.05};
  const double h[2] = {0.5, 0.5};
  const int capital[2] = {0, 0};
  double w[9];
  SELECTIONFITNESS(s, h, capital, false, w);
  const double product[9] = {1, 0.975, 0.95, 0.975, 0.950625, 0.92625, 0.95, 0.92625, 0.9025};
  for (int g = 0; g < 9; ++g) EXPECT_NEAR(w[g], product[g], 1e-15) << GT[g];
  SELECTIONFITNESS(s, h, capital, true, w);
  const double sum[9] = {1, 0.975, 0.95, 0.975, 0.95, 0.925, 0.95, 0.925, 0.9};
  for (int g = 0; g < 9; ++g) EXPECT_NEAR(w[g], sum[g], 1e-15) << GT[g];
  // Small alleles favoured, B recessive-acting (h = 0): aa and bb are 1.
  const double s2[2] = {0.2, 0.4};
  const double h2[2] = {0.5, 0.0};
  const int small[2] = {1, 1};
  SELECTIONFITNESS(s2, h2, small, false, w);
  const double flipped[9] = {0.48, 0.8, 0.8, 0.54, 0.9, 0.9, 0.6, 1, 1};
  for (int g = 0; g < 9; ++g) EXPECT_NEAR(w[g], flipped[g], 1e-15) << GT[g];
}

TEST(BiologyTest, SelectionOutsideZeroToOneAndMixedKeysAreRefused) {
  const std::string allowed =
      "; allowed: every fitness from 0.0 to 1.0 (h s at most 1 on each gene; additive: the "
      "reductions of the two genes add up to at most 1)";
  SettingMap additive{{"selection.alpha.s", Real(0.8, "study.toml:3")},
                      {"selection.beta.s", Real(0.8, "study.toml:4")},
                      {"selection.combine", Choice("additive", "study.toml:5")}};
  SettingMap overdone{{"selection.alpha.s", Real(0.5, "study.toml:3")},
                      {"selection.alpha.h", Real(3, "--set selection.alpha.h=3")}};
  SettingMap mixed{{"selection.alpha.s", Real(0.05, "study.toml:3")},
                   {"fitness.aabb", Real(0.5, "study.toml:9")},
                   {"population.p_A", Real(0.3, "study.toml:5")},
                   {"founders.AaBb", Count(7, "study.toml:12")}};
  const std::vector<std::string> expected[3] = {
      {"study.toml:3: selection.alpha.s = 0.8, selection.beta.s = 0.8, selection.combine = "
       "\"additive\" give fitness.Aabb = -0.2, fitness.aaBb = -0.2, fitness.aabb = -0.6" +
       allowed},
      {"study.toml:3: selection.alpha.s = 0.5, selection.alpha.h = 3 give fitness.AaBB = -0.5, "
       "fitness.AaBb = -0.5, fitness.Aabb = -0.5" + allowed},
      {"study.toml:3: selection.alpha.s = 0.05 with fitness.aabb (study.toml:9); give either "
       "selection.* or fitness.*, not both",
       "study.toml:5: population.p_A = 0.3 with founders.AaBb (study.toml:12); give either "
       "population.* or founders.*, not both"}};
  SettingMap* maps[3] = {&additive, &overdone, &mixed};
  for (int i = 0; i < 3; ++i) {
    const SettingMap before = *maps[i];
    std::vector<std::string> faults;
    EXPECT_FALSE(TRANSLATEBIOLOGY(*maps[i], faults));
    EXPECT_EQ(faults, expected[i]);
    EXPECT_EQ(maps[i]->size(), before.size()) << "a refused map is left as it was";
  }
}

// Worked by hand from the rule: allele copies round(2N p), then the AB
// chromosomes nearest the asked D, then pairs of chromosomes by whole parts
// of N g_h g_k (2 N g_h g_k for two haplotypes) and the largest remainders.
TEST(BiologyTest, FoundersRoundByLargestRemaindersWithTiesToTheEarlierGenotype) {
  // Size 10, pA = pB = 0.5, D = 0: 5 chromosomes of each haplotype; in 40ths
  // a homozygous pair expects 25 (0 whole, remainder 25), a mixed one 50 (1,
  // remainder 10). The six mixed pairs take 12 chromosomes, the 4 founders
  // left go to the four homozygous pairs, the largest remainders.
  EXPECT_EQ(Counts(10, 0.5, 0.5, 0.0), (std::vector<std::int64_t>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
  // Size 100, D = 0.1: 100 A and 100 B of 200, AB = 100 x 100 / 200 + 200 x
  // 0.1 = 70, so 70 30 30 70. In 400ths: AB/AB 4900 (12, r 100), AB/Ab and
  // AB/aB 4200 (10, r 200), AB/ab 9800 (24, r 200), Ab/Ab 900 (2, r 100),
  // Ab/aB 1800 (4, r 200), Ab/ab 4200, aB/aB 900, aB/ab 4200, ab/ab 4900:
  // 96 whole, 2 chromosomes of each haplotype left. The remainders of 200 in
  // order: AB/Ab, then AB/aB (AB/AB no longer fits), then Ab/aB; ab/ab the last.
  EXPECT_EQ(Counts(100, 0.5, 0.5, 0.1), (std::vector<std::int64_t>{12, 11, 2, 11, 24, 5, 10, 2, 10, 13}));
  EXPECT_EQ(Chromosomes(Counts(100, 0.5, 0.5, 0.1)), (std::vector<std::int64_t>{70, 30, 30, 70}));
  // Size 40, pA = 0.2, pB = 0.5: 16 A copies (0.2 exactly, where random union
  // of genotypes gave 0.2125) and 40 B of 80; D = 0 gives 8 AB: 8 8 32 32.
  // In 160ths: AB/Ab 128, aB/ab 2048 (12, r 128), AB/aB, AB/ab, Ab/aB, Ab/ab
  // 512 (3, r 32), aB/aB, ab/ab 1024 (6, r 64), AB/AB, Ab/Ab 64: 36 whole, 2
  // of each left: AB/Ab, aB/ab (r 128), then AB/aB and Ab/ab (r 32).
  EXPECT_EQ(Counts(40, 0.2, 0.5, 0.0), (std::vector<std::int64_t>{0, 1, 0, 4, 3, 3, 4, 6, 13, 6}));
  // Coupling: all 16 A on B chromosomes: 16 0 24 40, no Ab at all.
  const std::vector<std::int64_t> coupling = Counts(40, 0.2, 0.5, 0.0, 1);
  EXPECT_EQ(coupling, (std::vector<std::int64_t>{1, 0, 0, 6, 8, 0, 0, 3, 12, 10}));
  EXPECT_EQ(Chromosomes(coupling), (std::vector<std::int64_t>{16, 0, 24, 40}));
}

TEST(BiologyTest, PhaseSetsDToTheBoundsOfTheFrequencies) {
  // pA = 0.3, pB = 0.6, size 100: 60 A and 120 B of 200. Coupling: 60 AB, 0
  // Ab, 60 aB, 80 ab; repulsion: 0 AB, 60 Ab, 120 aB, 20 ab. Every expected
  // pair is whole here, and every AaBb founder is in the phase asked.
  const struct {
    const char* phase;
    std::vector<std::string> founders;
    std::int64_t coupled, repelled;
  } cases[2] = {{"coupling", {"9", "0", "0", "18", "0", "0", "9", "24", "16"}, 24, 0},
                {"repulsion", {"0", "0", "9", "0", "0", "6", "36", "12", "1"}, 0, 36}};
  for (const auto& c : cases) {
    SettingMap settings{{"population.size", Count(100, "study.toml:2")},
                        {"population.p_A", Real(0.3, "study.toml:3")},
                        {"population.p_B", Real(0.6, "study.toml:4")},
                        {"population.phase", Choice(c.phase, "study.toml:5")}};
    std::vector<std::string> faults;
    ASSERT_TRUE(TRANSLATEBIOLOGY(settings, faults)) << c.phase;
    EXPECT_EQ(Typed9(settings, "founders."), c.founders) << c.phase;
    EXPECT_EQ(settings.at("founders.AB_ab").count, c.coupled) << c.phase;
    EXPECT_EQ(settings.at("founders.Ab_aB").count, c.repelled) << c.phase;
    EXPECT_EQ(settings.at("founders.aabb").type, SettingType::Count);
    EXPECT_EQ(settings.at("founders.aabb").where,
              "study.toml:2 (from population.size, population.p_A, population.p_B, "
              "population.phase)");
    EXPECT_EQ(settings.size(), 11u);
  }
  // A bound met on paper but missed in doubles (0.1 * 0.7 < 0.07) is still allowed.
  SettingMap edge{{"population.size", Count(1000, "s:1")},
                  {"population.p_A", Real(0.1, "s:2")},
                  {"population.p_B", Real(0.7, "s:3")},
                  {"population.D", Real(-0.07, "s:4")}};
  std::vector<std::string> faults;
  EXPECT_TRUE(TRANSLATEBIOLOGY(edge, faults));
  EXPECT_EQ(edge.at("founders.AABB").count, 0);
}

TEST(BiologyTest, ImpossibleFoundersAreRefused) {
  SettingMap settings{{"population.p_A", Real(0.3, "study.toml:3")},
                      {"population.p_B", Real(0.6, "study.toml:4")},
                      {"population.D", Real(0.2, "study.toml:5")}};
  std::vector<std::string> faults;
  EXPECT_FALSE(TRANSLATEBIOLOGY(settings, faults));
  settings["population.size"] = Count(50, "study.toml:2");
  settings["population.phase"] = Choice("coupling", "study.toml:6");
  EXPECT_FALSE(TRANSLATEBIOLOGY(settings, faults));
  settings.erase("population.phase");
  EXPECT_FALSE(TRANSLATEBIOLOGY(settings, faults));
  EXPECT_EQ(faults,
            (std::vector<std::string>{
                "study.toml:3: population.p_A = 0.3 without population.size; population.size is "
                "required with any population.* key",
                "study.toml:5: population.D = 0.2 is out of range for population.p_A = 0.3, "
                "population.p_B = 0.6; allowed: -0.18 to 0.12",
                "study.toml:5: population.D = 0.2 with population.phase = \"coupling\"; give a "
                "nonzero D or a phase other than \"none\", not both",
                "study.toml:5: population.D = 0.2 is out of range for population.p_A = 0.3, "
                "population.p_B = 0.6; allowed: -0.18 to 0.12"}));
}

// Over random sizes, frequencies and D: the founders add up, the allele
// copies are the nearest whole numbers, no other count of AB chromosomes
// brings D nearer the one asked, and no genotype strays far from random
// union of the chromosomes counted.
TEST(BiologyTest, CountsAddUpToTheSizeAndStayWithinOneOfTheirExpectation) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int trial = 0; trial < 5000; ++trial) {
    const std::int64_t n = 1 + static_cast<std::int64_t>(unit(random) * (trial % 2 == 0 ? 1000000.0 : 60.0));
    const double pA = unit(random), pB = unit(random);
    const double lo = -std::min(pA * pB, (1 - pA) * (1 - pB));
    const double hi = std::min(pA * (1 - pB), (1 - pA) * pB);
    const double d = lo + unit(random) * (hi - lo);
    const std::vector<std::int64_t> c = Counts(n, pA, pB, d);
    const std::vector<std::int64_t> x = Chromosomes(c);
    SCOPED_TRACE("n " + std::to_string(n) + " pA " + std::to_string(pA) + " pB " + std::to_string(pB) + " D " +
                 std::to_string(d));
    std::int64_t total = 0;
    for (std::int64_t k : c) {
      ASSERT_GE(k, 0);
      total += k;
    }
    ASSERT_EQ(total, n);
    const long double two = 2.0L * n;
    const std::int64_t nA = x[0] + x[1], nB = x[0] + x[2];
    ASSERT_LE(std::fabs(static_cast<long double>(nA) - two * pA), 0.5L + 1e-9L);
    ASSERT_LE(std::fabs(static_cast<long double>(nB) - two * pB), 0.5L + 1e-9L);
    const auto gap = [&](std::int64_t ab) {
      return std::fabs(ab / two - static_cast<long double>(nA) * nB / (two * two) - d);
    };
    // One AB chromosome more or fewer (where the allele counts allow it)
    // would not come nearer.
    if (x[1] > 0 && x[2] > 0) {
      ASSERT_LE(gap(x[0]), gap(x[0] + 1) + 1e-12L);
    }
    if (x[0] > 0 && x[3] > 0) {
      ASSERT_LE(gap(x[0]), gap(x[0] - 1) + 1e-12L);
    }
    const long double g[4] = {x[0] / two, x[1] / two, x[2] / two, x[3] / two};
    const long double expected[10] = {n * g[0] * g[0], 2 * n * g[0] * g[1], n * g[1] * g[1], 2 * n * g[0] * g[2],
                                      2 * n * g[0] * g[3], 2 * n * g[1] * g[2], 2 * n * g[1] * g[3],
                                      n * g[2] * g[2], 2 * n * g[2] * g[3], n * g[3] * g[3]};
    for (int k = 0; k < 10; ++k) ASSERT_LT(std::fabs(c[k] - expected[k]), 2.0L) << "count " << k;
  }
}

// The founders hold the D asked, to the nearest AB chromosome: their phase
// is the one they were counted in, none drawn.
TEST(BiologyTest, EveryDoubleHeterozygoteKeepsItsCountedPhaseSoTheFoundersHoldD) {
  const std::vector<std::int64_t> c = Counts(1000000, 0.3, 0.6, 0.1);
  const std::vector<std::int64_t> x = Chromosomes(c);
  const double copies = 2000000.0;
  EXPECT_EQ(x[0] + x[1], 600000);
  EXPECT_EQ(x[0] + x[2], 1200000);
  EXPECT_EQ(x[0], 560000);  // 600000 x 1200000 / 2000000 + 2000000 x 0.1
  const double pAB = x[0] / copies, pA = (x[0] + x[1]) / copies, pB = (x[0] + x[2]) / copies;
  EXPECT_NEAR(pAB - pA * pB, 0.1, 1e-12);
}

}  // namespace
