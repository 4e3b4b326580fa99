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

std::vector<std::int64_t> Counts(std::int64_t n, double pA, double pB, double d) {
  std::vector<std::int64_t> counts(9);
  FOUNDERCOUNTS(n, pA, pB, d, counts.data());
  return counts;
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

TEST(BiologyTest, FoundersRoundByLargestRemaindersWithTiesToTheEarlierGenotype) {
  // Size 10, no D: expectations 0.625 1.25 0.625 1.25 2.5 1.25 0.625 1.25 0.625; the floors
  // give 6, and the four remainders of 0.625 take the other 4.
  EXPECT_EQ(Counts(10, 0.5, 0.5, 0.0), (std::vector<std::int64_t>{1, 1, 1, 1, 2, 1, 1, 1, 1}));
  // Size 12: 0.75 1.5 0.75 1.5 3 1.5 0.75 1.5 0.75; floors 7, the four 0.75 take four, and of
  // the four tied 0.5 the earliest (AABb) takes the last.
  EXPECT_EQ(Counts(12, 0.5, 0.5, 0.0), (std::vector<std::int64_t>{1, 2, 1, 1, 3, 1, 1, 1, 1}));
  // D = 0.1: haplotypes 0.35 0.15 0.15 0.35; expectations 12.25 10.5 2.25 10.5 29 10.5 2.25
  // 10.5 12.25; floors 97, and three of the four tied 0.5 take the rest, aaBb misses out.
  EXPECT_EQ(Counts(100, 0.5, 0.5, 0.1),
            (std::vector<std::int64_t>{12, 11, 2, 11, 29, 11, 2, 10, 12}));
  // Size 40, pA = 0.2, pB = 0.5: 0.4 0.8 0.4 3.2 6.4 3.2 6.4 12.8 6.4 on paper, off by a few
  // 1e-16 in doubles, which must not break the ties: floors 36, the two 0.8 take two, and of
  // the five tied 0.4 the earliest two (AABB, AAbb) the rest.
  EXPECT_EQ(Counts(40, 0.2, 0.5, 0.0), (std::vector<std::int64_t>{1, 1, 1, 3, 6, 3, 6, 13, 6}));
}

TEST(BiologyTest, PhaseSetsDToTheBoundsOfTheFrequencies) {
  // pA = 0.3, pB = 0.6: D from -min(0.18, 0.28) to min(0.12, 0.42).
  const struct {
    const char* phase;
    std::vector<std::string> founders;
  } cases[2] = {{"coupling", {"9", "0", "0", "18", "24", "0", "9", "24", "16"}},
                {"repulsion", {"0", "0", "9", "0", "36", "6", "36", "12", "1"}}};
  for (const auto& c : cases) {
    SettingMap settings{{"population.size", Count(100, "study.toml:2")},
                        {"population.p_A", Real(0.3, "study.toml:3")},
                        {"population.p_B", Real(0.6, "study.toml:4")},
                        {"population.phase", Choice(c.phase, "study.toml:5")}};
    std::vector<std::string> faults;
    ASSERT_TRUE(TRANSLATEBIOLOGY(settings, faults)) << c.phase;
    EXPECT_EQ(Typed9(settings, "founders."), c.founders) << c.phase;
    EXPECT_EQ(settings.at("founders.aabb").type, SettingType::Count);
    EXPECT_EQ(settings.at("founders.aabb").where,
              "study.toml:2 (from population.size, population.p_A, population.p_B, "
              "population.phase)");
    EXPECT_EQ(settings.size(), 9u);
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

TEST(BiologyTest, CountsAddUpToTheSizeAndStayWithinOneOfTheirExpectation) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int trial = 0; trial < 5000; ++trial) {
    const std::int64_t n = 1 + static_cast<std::int64_t>(unit(random) * 1000000.0);
    const double pA = unit(random), pB = unit(random);
    const double lo = -std::min(pA * pB, (1 - pA) * (1 - pB));
    const double hi = std::min(pA * (1 - pB), (1 - pA) * pB);
    const double d = lo + unit(random) * (hi - lo);
    const std::vector<std::int64_t> counts = Counts(n, pA, pB, d);
    const long double q[4] = {pA * (long double)pB + d, pA * (1 - (long double)pB) - d,
                              (1 - (long double)pA) * pB - d,
                              (1 - (long double)pA) * (1 - (long double)pB) + d};
    const long double f[9] = {q[0] * q[0], 2 * q[0] * q[1], q[1] * q[1],
                              2 * q[0] * q[2], 2 * (q[0] * q[3] + q[1] * q[2]), 2 * q[1] * q[3],
                              q[2] * q[2], 2 * q[2] * q[3], q[3] * q[3]};
    std::int64_t total = 0;
    for (int g = 0; g < 9; ++g) {
      total += counts[g];
      ASSERT_GE(counts[g], 0);
      ASSERT_LT(std::fabs(static_cast<long double>(counts[g]) - n * f[g]), 1.0L + 1e-6L)
          << "n " << n << " pA " << pA << " pB " << pB << " D " << d << " " << GT[g];
    }
    ASSERT_EQ(total, n);
  }
}

TEST(BiologyTest, RandomPhaseOfDoubleHeterozygotesHalvesTheExpectedD) {
  // AaBb founders are coupling or repulsion with equal chance, so among the
  // founders pAB is expected at pA pB + D / 2.
  const std::vector<std::int64_t> c = Counts(1000000, 0.3, 0.6, 0.1);
  const double copies = 2000000.0;
  const double pAB = (2.0 * c[0] + c[1] + c[3] + 0.5 * c[4]) / copies;
  const double pA = (2.0 * (c[0] + c[1] + c[2]) + c[3] + c[4] + c[5]) / copies;
  const double pB = (2.0 * (c[0] + c[3] + c[6]) + c[1] + c[4] + c[7]) / copies;
  EXPECT_NEAR(pAB - pA * pB, 0.05, 1e-5);
}

}  // namespace
