#include "batch/describe.h"

#include <algorithm>
#include <iomanip>
#include <sstream>

#include "model/settings.h"

namespace batch {

namespace {

std::string FIXEDTEXT(double x, int decimals) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(decimals) << x + 0.0;
  return text.str();
}

// Nine values by genotype: "AABB 10  AABb 20 ...".
template <typename T>
std::string BYGENOTYPE(const T (&values)[9], int decimals) {
  std::string text;
  for (int g = 0; g < 9; ++g) {
    text += (g > 0 ? "  " : "") + GTNAME(g) + " ";
    text += decimals < 0 ? std::to_string(values[g]) : FIXEDTEXT(static_cast<double>(values[g]), decimals);
  }
  return text;
}

// One setting of --keys: its key and default, what is allowed, what it means.
void KEYROW(std::ostream& text, const SettingRow& row) {
  text << row.key << " = " << row.deflt << "\n";
  text << "    allowed: " << row.range << "\n";
  text << "    " << row.help;
  if (row.screen != '\0') {
    text << " (screen " << row.screen << ")";
  } else if (row.field != '\0') {
    text << " (not on the console's screen)";
  } else {
    text << " (translated into the fitness or founders keys it stands for)";
  }
  text << "\n";
}

}  // namespace

std::string KEYSTEXT() {
  // Rows by group, the groups in the order they first appear: the screen
  // puts migration between the iterations and the options that end them.
  std::vector<std::string> groups;
  for (const SettingRow& row : CATALOGUE()) {
    if (std::find(groups.begin(), groups.end(), row.group) == groups.end()) groups.push_back(row.group);
  }
  std::ostringstream text;
  for (const std::string& group : groups) {
    text << (text.tellp() > 0 ? "\n" : "") << "# " << group << "\n";
    for (const SettingRow& row : CATALOGUE()) {
      if (group == row.group) KEYROW(text, row);
    }
  }
  return text.str();
}

std::string JOBTEXT(const Job& job, const RunPreview& p) {
  std::ostringstream text;
  text << "run " << job.run << ", seed " << job.seed << ": population " << p.population << "\n";
  text << "  founders:    " << BYGENOTYPE(p.founders, -1) << "\n";
  const std::int64_t drawn = p.founders[4] - p.phased[0] - p.phased[1];
  if (p.founders[4] > 0) {
    text << "  phase:       " << GTNAME(4) << " " << haplo[0] << "/" << haplo[3] << " " << p.phased[0] << "  " << haplo[1]
         << "/" << haplo[2] << " " << p.phased[1] << "  drawn " << drawn << "\n";
  }
  text << "  alleles:     p_" << ALLELENAME(0, 0) << " " << FIXEDTEXT(p.pA, 4) << "  p_" << ALLELENAME(1, 0)
       << " " << FIXEDTEXT(p.pB, 4) << "\n";
  text << "  haplotypes:  ";
  for (int h = 0; h < 4; ++h) {
    text << (h > 0 ? "  p_" : "p_") << ALLELENAME(0, h / 2) << ALLELENAME(1, h % 2) << " "
         << FIXEDTEXT(p.haplotypes[h], 4);
  }
  text << (drawn > 0 ? " (" + GTNAME(4) + " founders counted half in each phase)" : "") << "\n";
  text << "  D:           " << FIXEDTEXT(p.D, 4) << (drawn > 0 ? " (on average over the draws)" : "") << "\n";
  text << "  fitness:     " << BYGENOTYPE(p.fitness, 6) << "\n";
  if (p.immigrants > 0.0) {
    text << "  immigrants:  " << SHORTEST(p.immigrants) << " per generation: " << BYGENOTYPE(p.mix, 4) << "\n";
  } else {
    text << "  immigrants:  none\n";
  }
  return text.str();
}

}  // namespace batch
