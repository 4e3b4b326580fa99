// The iteration table: header, rows, founder attribution and the settings
// report that comes with the first iteration.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"
#include "report/report.h"
#include "tests/report_fixture.h"

namespace {

const char* const kHeader =
    "iter,gens,A_all_fixed,gens_fix_A_all,finalp_A,gens_fix_A_copy,A_origin_ht,A_origin_gt,"
    "B_all_fixed,gens_fix_B_all,finalp_B,gens_fix_B_copy,B_origin_ht,B_origin_gt,"
    "p_AB_AB,p_AB_Ab,p_Ab_Ab,p_AB_aB,p_AB_ab,p_Ab_aB,p_Ab_ab,p_aB_aB,p_aB_ab,p_ab_ab,"
    "p_AB,p_Ab,p_aB,p_ab\n";

// A row of an iteration in which nothing fixed within 30000 generations.
const char* const kUnfixedRow =
    "5,30000,none,NA,0.5625000,NA,NA,NA,none,NA,0.5468750,NA,NA,NA,"
    "0.0750000,0.1562500,0.0562500,0.1875000,0.1312500,0.1062500,0.1250000,0.0500000,"
    "0.0750000,0.0375000,0.3125000,0.2500000,0.2343750,0.2031250\n";

// count individuals carrying (Alpha, Beta) alleles a0 b0 on chromosome 0
// and a1 b1 on chromosome 1.
struct Block {
  std::int64_t count;
  int a0, b0, a1, b1;
};

// Makes the blocks, in order, the current generation, with N and f counted
// from it as after a generation.
void Populate(std::initializer_list<Block> blocks) {
  NTot = 0;
  for (const Block& b : blocks) NTot += b.count;
  MEMALLOC();
  std::int64_t i = 0;
  for (const Block& b : blocks) {
    for (std::int64_t k = 0; k < b.count; ++k, ++i) {
      IND& ind = pNIND[i];
      ind.alleleA[0] = b.a0;
      ind.alleleB[0] = b.b0;
      ind.alleleA[1] = b.a1;
      ind.alleleB[1] = b.b1;
    }
  }
  FREQCALC();
  EXCHANGE();
}

// 160 individuals with genotype counts 12, 25, 9, 30, 38, 20, 8, 12, 6, of
// whose 38 double heterozygotes 21 are in coupling phase; both phases are
// met with either chromosome first.
void PopulateUnfixed() {
  Populate({{12, 0, 0, 0, 0},
            {25, 0, 0, 0, 1},
            {9, 0, 1, 0, 1},
            {30, 0, 0, 1, 0},
            {11, 0, 0, 1, 1},
            {10, 1, 1, 0, 0},
            {9, 0, 1, 1, 0},
            {8, 1, 0, 0, 1},
            {20, 0, 1, 1, 1},
            {8, 1, 0, 1, 0},
            {12, 1, 0, 1, 1},
            {6, 1, 1, 1, 1}});
}

void NothingFixed() {
  fixedAAll = fixedBAll = 2;
  genFixedAAll = genFixedBAll = genMax + 1;
  fixedACopy = fixedBCopy = -1;
  genFixedACopy = genFixedBCopy = genMax + 1;
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, ',')) fields.push_back(field);
  if (!line.empty() && line.back() == ',') fields.push_back("");
  return fields;
}

std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) rows.push_back(SplitFields(line));
  return rows;
}

class ReportTable : public ReportFixture {};

TEST_F(ReportTable, RowOfAnIterationWhereEverythingFixed) {
  Populate({{160, 0, 1, 0, 1}});
  rep = 3;
  gen = 412;
  fixedAAll = 0;
  genFixedAAll = 377;
  fixedACopy = 21;
  genFixedACopy = 398;
  ancAHap = 1;
  fixedBAll = 1;
  genFixedBAll = 350;
  fixedBCopy = 21;
  genFixedBCopy = 412;
  ancBHap = 1;
  OUTWRITE();
  EXPECT_EQ(Table(),
            "3,412,A,377,1.0000000,398,Ab,AABb,b,350,0.0000000,412,Ab,AABb,0.0000000,0.0000000,"
            "1.0000000,0.0000000,0.0000000,0.0000000,0.0000000,0.0000000,0.0000000,0.0000000,"
            "0.0000000,1.0000000,0.0000000,0.0000000\n");
  EXPECT_EQ(Summary(), "");
}

TEST_F(ReportTable, UnfixedRowSplitsDoubleHeterozygotesByPhase) {
  PopulateUnfixed();
  NothingFixed();
  rep = 5;
  gen = 30000;
  trackCopies = 0;
  OUTWRITE();
  trackCopies = 1;
  OUTWRITE();
  std::string tracked = kUnfixedRow;
  tracked.replace(tracked.find(",NA,NA,NA,none"), 9, ",none,NA,NA");
  tracked.replace(tracked.find(",NA,NA,NA,0.0750000"), 9, ",none,NA,NA");
  EXPECT_EQ(Table(), std::string(kUnfixedRow) + tracked);
}

// Founders are laid out in genotype order, two copies each: with the
// default founders copies 0 to 19 are AABB, 20 to 59 AABb, 60 to 79 AAbb.
TEST_F(ReportTable, FounderGenotypeAtTheBlockBoundaries) {
  Populate({{160, 0, 1, 0, 1}});
  NothingFixed();
  const std::int64_t ids[6] = {19, 20, 59, 60, 59, 60};
  const char* const names[6] = {"AABB", "AABb", "AABb", "AAbb", "AABb", "AaBB"};
  for (int k = 0; k < 6; ++k) {
    // The last two rows have no AAbb founders, whose block then takes no copies.
    if (k == 4) startPop[2] = 0;
    rep = 2 + k;
    fixedACopy = fixedBCopy = ids[k];
    genFixedACopy = genFixedBCopy = 7;
    ancAHap = 0;
    ancBHap = 3;
    OUTWRITE();
  }
  const auto rows = ParseCsv(Table());
  ASSERT_EQ(rows.size(), 6u);
  for (int k = 0; k < 6; ++k) {
    ASSERT_EQ(rows[k].size(), 28u);
    EXPECT_EQ(rows[k][7], names[k]) << "Alpha copy " << ids[k];
    EXPECT_EQ(rows[k][13], names[k]) << "Beta copy " << ids[k];
    EXPECT_EQ(rows[k][6], "AB");
    EXPECT_EQ(rows[k][12], "ab");
  }
}

TEST_F(ReportTable, FirstIterationBringsTheSettingsReportAndTheHeader) {
  PopulateUnfixed();
  NothingFixed();
  trackCopies = 0;
  gen = 30000;
  rep = 1;
  OUTWRITE();
  rep = 5;
  OUTWRITE();
  EXPECT_EQ(Summary(), kDefaultSettingsReport);
  std::string first = kUnfixedRow;
  first[0] = '1';
  EXPECT_EQ(Table(), kHeader + first + kUnfixedRow);
}

// The first iteration dying out still brings the settings report and the
// header; every extinct iteration only loses its own row.
TEST_F(ReportTable, ExtinctIterationsLeaveNoRow) {
  PopulateUnfixed();
  NothingFixed();
  trackCopies = 0;
  gen = 30000;
  for (rep = 1; rep <= 6; ++rep) {
    iterExtinct = rep == 1 || rep == 3 || rep == 4 || rep == 6;
    OUTWRITE();
  }
  EXPECT_EQ(Table(), kHeader + std::string("2") + (kUnfixedRow + 1) + kUnfixedRow);
  EXPECT_EQ(Summary(), kDefaultSettingsReport);
}

TEST_F(ReportTable, EveryLineParsesIntoTwentyEightFields) {
  PopulateUnfixed();
  NothingFixed();
  for (rep = 1; rep <= 4; ++rep) {
    gen = 100 * rep;
    fixedAAll = rep % 3;
    genFixedAAll = rep;
    fixedBCopy = rep == 2 ? 319 : -1;
    ancBHap = 2;
    trackCopies = rep != 4;
    OUTWRITE();
  }
  const auto rows = ParseCsv(Table());
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], SplitFields(std::string(kHeader, std::string(kHeader).size() - 1)));
  for (std::size_t r = 0; r < rows.size(); ++r) {
    ASSERT_EQ(rows[r].size(), 28u) << "line " << r;
    for (const std::string& field : rows[r]) {
      EXPECT_FALSE(field.empty()) << "line " << r;
      EXPECT_EQ(field.find(' '), std::string::npos) << "line " << r;
    }
  }
  for (std::size_t r = 1; r < rows.size(); ++r) {
    double genotypes = 0.0, haplotypes = 0.0;
    for (int c = 14; c < 24; ++c) genotypes += std::atof(rows[r][c].c_str());
    for (int c = 24; c < 28; ++c) haplotypes += std::atof(rows[r][c].c_str());
    EXPECT_NEAR(genotypes, 1.0, 1e-6);
    EXPECT_NEAR(haplotypes, 1.0, 1e-6);
  }
  EXPECT_EQ(rows[1][2], "a");
  EXPECT_EQ(rows[2][13], "aabb");
  EXPECT_EQ(rows[2][3], "NA");
  EXPECT_EQ(rows[4][5], "NA");
}

TEST_F(ReportTable, EarlierStreamFormatDoesNotLeakIn) {
  PopulateUnfixed();
  NothingFixed();
  trackCopies = 0;
  rep = 5;
  gen = 30000;
  datafl << std::scientific << std::setprecision(3) << 0.25 << '\n';
  OUTWRITE();
  EXPECT_EQ(Table(), std::string("2.500e-01\n") + kUnfixedRow);
}

}  // namespace
