// The iteration table: header, rows, founder attribution and the settings
// report that comes with the first iteration.
#include <cstdint>
#include <initializer_list>
#include <iomanip>
#include <string>

#include "model/store.h"
#include "report/report.h"
#include "tests/report_fixture.h"

namespace {

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
      SetChromosome(pNIND[i], 0, b.a0, 0, 0, b.b0, 0, 0);
      SetChromosome(pNIND[i], 1, b.a1, 0, 0, b.b1, 0, 0);
    }
  }
  FREQCALC();
  EXCHANGE();
}

// 160 individuals with genotype counts 12, 25, 9, 30, 38, 20, 8, 12, 6, of
// whose 38 double heterozygotes 21 are in coupling phase; both phases are
// met with either chromosome first. Nothing fixed within 30000 generations.
void UnfixedIteration() {
  Populate({{12, 0, 0, 0, 0}, {25, 0, 0, 0, 1}, {9, 0, 1, 0, 1}, {30, 0, 0, 1, 0},
            {11, 0, 0, 1, 1}, {10, 1, 1, 0, 0}, {9, 0, 1, 1, 0}, {8, 1, 0, 0, 1},
            {20, 0, 1, 1, 1}, {8, 1, 0, 1, 0}, {12, 1, 0, 1, 1}, {6, 1, 1, 1, 1}});
  fixedAAll = fixedBAll = 2;
  genFixedAAll = genFixedBAll = genMax + 1;
  fixedACopy = fixedBCopy = -1;
  genFixedACopy = genFixedBCopy = genMax + 1;
  gen = 30000;
}

class ReportTable : public ReportFixture {};

// An iteration where everything fixed, then copies at the boundaries of the
// founder blocks. Founders are laid out in genotype order, two copies each:
// with the default founders copies 0 to 19 are AABB, 20 to 59 AABb, 60 to
// 79 AAbb.
TEST_F(ReportTable, FixedRowsAndFounderGenotypeAtTheBlockBoundaries) {
  Populate({{160, 0, 1, 0, 1}});
  gen = 412;
  fixedAAll = 0;
  genFixedAAll = 377;
  genFixedACopy = 398;
  fixedBAll = 1;
  genFixedBAll = 350;
  genFixedBCopy = 412;
  const struct {
    std::int64_t copyA, copyB;
    std::int32_t hapA, hapB;
  } rows[] = {{21, 21, 1, 1}, {19, 20, 0, 3}, {59, 60, 2, 0}, {60, 59, 3, 2}, {59, 60, 1, 1}};
  for (rep = 3; rep < 8; ++rep) {
    // The last row has no AAbb founders, whose block then takes no copies.
    if (rep == 7) startPop[2] = 0;
    fixedACopy = rows[rep - 3].copyA;
    fixedBCopy = rows[rep - 3].copyB;
    ancAHap = rows[rep - 3].hapA;
    ancBHap = rows[rep - 3].hapB;
    OUTWRITE();
  }
  EXPECT_EQ(Table(), Golden("table_fixed_rows.txt"));
  EXPECT_EQ(Summary(), "");
}

// A number format left in the stream must not show in the rows.
TEST_F(ReportTable, UnfixedRowSplitsDoubleHeterozygotesByPhase) {
  UnfixedIteration();
  rep = 5;
  trackCopies = 0;
  datafl << std::scientific << std::setprecision(3) << 0.25 << '\n';
  OUTWRITE();
  trackCopies = 1;
  OUTWRITE();
  EXPECT_EQ(Table(), "2.500e-01\n" + Golden("table_unfixed_row.txt") +
                         Golden("table_unfixed_tracked_row.txt"));
}

// The first iteration brings the settings report and the header, also when
// it died out; every extinct iteration only loses its own row.
TEST_F(ReportTable, FirstIterationBringsTheSettingsReportAndTheHeader) {
  UnfixedIteration();
  trackCopies = 0;
  for (rep = 1; rep <= 6; ++rep) {
    iterExtinct = rep == 1 || rep == 3 || rep == 4 || rep == 6;
    OUTWRITE();
  }
  const std::string row = Golden("table_unfixed_row.txt");
  EXPECT_EQ(Table(), Golden("table_header.txt") + "2" + row.substr(1) + row);
  EXPECT_EQ(Summary(), Golden("default_settings_report.txt"));
}

}  // namespace
