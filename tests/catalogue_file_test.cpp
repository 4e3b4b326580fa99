// The catalogue as the other languages read it: its shape, parsed by
// Python's json module as the package and the lab's build read it, and the
// report labels, each of which must lead to its value in a real report.
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "model/catalogue.h"
#include "model/runentry.h"
#include "report/report.h"
#include "tests/report_fixture.h"

namespace {

class CatalogueFile : public ReportFixture {};

// The number written right after a label (after any spaces), or NaN.
double After(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos) return std::nan("");
  const char* start = text.c_str() + at + label.size();
  char* end = nullptr;
  const double value = std::strtod(start, &end);
  return end == start ? std::nan("") : value;
}

TEST_F(CatalogueFile, ParsesAsJsonWithEveryPartTheOtherLanguagesRead) {
  const std::string file = CATALOGUEFILE();
  ASSERT_EQ(file.back(), '\n');
  const std::string path = dir_ + "/catalogue.json";
  {
    std::ofstream out(path);
    out << file;
  }
  // Each part checked against what a consumer would expect of it, in Python
  // so that the file is read as the package reads it.
  const std::string script =
      "import json; c = json.load(open('" + path + "', encoding='utf-8')); "
      "s = c['settings']; "
      "print(len(s), sorted(c), s[0]['key'], s[0]['report'], "
      "','.join(c['statistics']), c['limits']['seed'], c['limits']['trajectory'], "
      "''.join(c['genotypes']), ''.join(c['haplotypes']), "
      "sorted(set(len(r) for r in s)), [r['report'] for r in s if r['key'] == 'mutation.b_to_B'])";
  const std::string result = dir_ + "/parsed.txt";
  ASSERT_EQ(std::system(("python3 -c \"" + script + "\" > '" + result + "'").c_str()), 0);
  std::ostringstream expected;
  expected << CATALOGUE().size()
           << " ['genotypes', 'haplotypes', 'limits', 'settings', 'statistics'] founders.AABB AABB " << TRAJHEADER
           << " [1, " << MAXSEED << "] [0, " << MAXTRAJECTORY << "] "
           << "AABBAABbAAbbAaBBAaBbAabbaaBBaaBbaabb ABAbaBab [15] ['b to B:']\n";
  EXPECT_EQ(ReadFile(result), expected.str());
  // The settings part holds the rows exactly as --keys --json prints them.
  const std::string rows = CATALOGUEJSON();
  std::string indented;
  std::istringstream lines(rows.substr(2, rows.size() - 5));
  for (std::string line; std::getline(lines, line);) indented += "  " + line + "\n";
  EXPECT_NE(file.find(indented), std::string::npos);
}

// Every label the catalogue gives is written in a report, and the number
// after it is the setting's value: a reader driven by the labels reads the
// report back. Only the rows the report never shows have none.
TEST_F(CatalogueFile, ReportLabelsLeadToTheirValues) {
  doMig = 1;
  migN = 2.5;
  migF[0] = 0.25;
  migF[8] = 0.75;
  mutB[1] = 0.00125;
  matePref[5] = 0.5;
  rec_cM = 12.5;
  rec = 0.125;
  genMax = 4321;
  SETTINGSREPORT();
  const std::string report = Summary();
  std::string silent;
  for (const SettingRow& row : CATALOGUE()) {
    const std::string label = row.report;
    if (label.empty()) {
      if (row.screen != '\0') silent += std::string(row.key) + " ";
      continue;
    }
    EXPECT_NE(report.find(label), std::string::npos) << row.key << ": " << label;
  }
  EXPECT_EQ(silent, "iterations track_gene_copies ");
  EXPECT_EQ(After(report, FINDSETTING("migration.immigrants")->report), 2.5);
  EXPECT_EQ(After(report, FINDSETTING("migration.mix.AABB")->report), 0.25);
  EXPECT_EQ(After(report, FINDSETTING("migration.mix.aabb")->report), 0.75);
  EXPECT_EQ(After(report, FINDSETTING("mutation.b_to_B")->report), 0.00125);
  EXPECT_EQ(After(report, FINDSETTING("mating.aa_aa")->report), 0.5);
  EXPECT_EQ(After(report, FINDSETTING("map_distance_cM")->report), 12.5);
  EXPECT_EQ(After(report, FINDSETTING("max_generations")->report), 4321.0);
  EXPECT_EQ(After(report, FINDSETTING("founders.AaBb")->report), 40.0);
}

}  // namespace
