// The batch program against the console program: for generated study files,
// the console is given the session typed from the same settings, and both
// programs' PREFIX.csv and PREFIX.txt must be equal byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "model/biology.h"
#include "model/catalogue.h"
#include "batch/session.h"
#include "batch/study.h"
#include "model/runentry.h"
#include "model/settings.h"
#include "tests/batch/batch_util.h"
#include "tests/testutil.h"

namespace fs = std::filesystem;

namespace {

// Keys by the catalogue's names.
std::string GT(int g) { return GTNAME(g); }
std::string PREF(int k) { return MATINGNAME(k, "_"); }
std::string CHANGE(int i) { return MUTATIONNAME(i, "_to_"); }

// Whether the translation of the settings in the terms of biology is in
// this build (a stand-in refuses every such key until it is).
bool BiologyTranslated() {
  SettingMap s;
  s["selection.alpha.s"].real = 0.1;
  std::vector<std::string> faults;
  return TRANSLATEBIOLOGY(s, faults);
}

// One generated study: settings as TOML text, by key, in the order given.
struct Case {
  std::vector<std::pair<std::string, std::string>> keys;
  std::vector<std::string> sets;  // KEY=VALUE moved to the command line
  bool sections = false;          // [table] headers instead of dotted keys

  void Set(const std::string& key, const std::string& value) {
    for (auto& kv : keys) {
      if (kv.first == key) {
        kv.second = value;
        return;
      }
    }
    keys.emplace_back(key, value);
  }
  bool Has(const std::string& key) const {
    for (const auto& kv : keys) {
      if (kv.first == key) return true;
    }
    return false;
  }

  std::string Toml() const {
    std::ostringstream top, tables;
    std::map<std::string, std::ostringstream> sectionText;
    std::vector<std::string> sectionOrder;
    for (const auto& [key, value] : keys) {
      const std::size_t dot = key.find('.');
      if (!sections || dot == std::string::npos) {
        top << key << " = " << value << "\n";
        continue;
      }
      const std::string table = key.substr(0, dot);
      if (sectionText.find(table) == sectionText.end()) sectionOrder.push_back(table);
      sectionText[table] << key.substr(dot + 1) << " = " << value << "\n";
    }
    std::string text = "# generated\n" + top.str();
    for (const std::string& t : sectionOrder) text += "\n[" + t + "]\n" + sectionText[t].str();
    return text;
  }
};

class Maker {
 public:
  explicit Maker(std::uint64_t seed) : rng_(seed) {}
  std::uint64_t U(std::uint64_t n) { return rng_() % n; }
  bool Chance(int percent) { return U(100) < static_cast<std::uint64_t>(percent); }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[U(items.size())];
  }

  // Directed cases first (one boundary or choice each), then random ones.
  Case Make(int index) {
    Case c;
    c.Set("seed", std::to_string(1 + U(32767)));
    c.Set("max_generations", Pick<std::string>({"1", "5", "30", "200"}));
    switch (index) {
      case 0: Founders(c, {0, 0, 0, 0, 1, 0, 0, 0, 0}); break;
      case 1:
        c.Set("founders.AABB", "1000000");  // the other eight count 0
        c.Set("max_generations", "1");
        break;
      case 2:
        Founders(c, {0, 1, 0, 0, 0, 0, 0, 1, 0});
        c.Set("iterations", "50000");
        c.Set("max_generations", "1");
        break;
      case 3:
        Founders(c, {1, 0, 0, 0, 2, 0, 0, 0, 1});
        c.Set("max_generations", "9999999");
        break;
      case 4: c.Set("seed", "1"); c.Set("iterations", "1"); break;
      case 5: c.Set("seed", "32767"); break;
      case 6: c.Set("map_distance_cM", "50"); break;
      case 7: c.Set("map_distance_cM", "0.0"); c.Set("iterations", "3"); break;
      case 8:
        for (int i = 0; i < 4; ++i) c.Set("mutation." + CHANGE(i), "1");
        break;
      case 9:
        c.Set("mutation.A_to_a", "1e-9");
        c.Set("mutation.a_to_A", "0");
        c.Set("mutation.b_to_B", "2.5e-3");
        break;
      case 10:
        for (int g = 0; g < 9; ++g) c.Set("fitness." + GT(g), g == 4 ? "1e-9" : "0");
        break;
      case 11:
        for (int g = 0; g < 9; ++g) c.Set("fitness." + GT(g), "0.5");
        break;
      case 12:
        for (int k = 0; k < 6; ++k) c.Set("mating." + PREF(k), "0.5");
        break;
      case 13:
        c.Set("mating.AA_aa", "0");
        c.Set("mating.AA_AA", "0.25");
        c.Set("mating.isolation", "\"premating\"");
        break;
      case 14:
        for (int k = 0; k < 6; ++k) c.Set("mating." + PREF(k), k == 3 ? "1" : "0");
        c.Set("mating.isolation", "\"postmating\"");
        c.Set("fertilization", "\"monogamy\"");
        break;
      case 15:
        c.Set("migration.immigrants", "159.999");
        c.Set("migration.mix.aabb", "\"rest\"");
        break;
      case 16:
        c.Set("migration.immigrants", "0.001");
        c.Set("migration.mix.aabb", "\"rest\"");
        break;
      case 17:
        // Four shares that make 1.0: the others, aabb too, count 0.
        for (int g = 0; g < 4; ++g) c.Set("migration.mix." + GT(g), "0.25");
        c.Set("migration.mix.aabb", "0.0");
        c.Set("migration.immigrants", "2.5");
        c.Set("track_gene_copies", "false");
        break;
      case 18: c.Set("fertilization", "\"selfing-not-allowed\""); break;
      case 19: c.Set("fertilization", "\"selfing-allowed\""); c.Set("stop_at_fixation", "true"); break;
      case 20:
        c.Set("fixation.alpha", "\"A\"");
        c.Set("fixation.beta", "\"b\"");
        c.Set("mutation.a_to_A", "0.01");
        c.Set("mutation.B_to_b", "0.01");
        break;
      case 21:
        c.Set("fixation.alpha", "\"a\"");
        c.Set("fixation.beta", "\"B\"");
        c.Set("track_gene_copies", "false");
        c.Set("stop_at_fixation", "false");
        c.Set("max_generations", "50");
        break;
      case 22:
        c.Set("fixation.alpha", "\"any\"");
        c.Set("fixation.beta", "\"any\"");
        c.Set("track_gene_copies", "true");
        break;
      case 23: c.keys.erase(c.keys.begin() + 1); break;  // every default, the generation limit too
      case 24: Biology(c, true, true); break;
      default:
        if (index >= 25 && index < 34) {
          // Every immigrant of one genotype: a remainder of exactly 0, or
          // all aabb for the last.
          c.Set("migration.immigrants", "1.5");
          c.Set("migration.mix." + GT(index - 25), "1");
        } else {
          Random(c);
        }
    }
    c.sections = Chance(50);
    if (Chance(15)) {
      // One setting from the command line instead of the file.
      const auto kv = c.keys[U(c.keys.size())];
      if (kv.first != "seed") {
        std::string value = kv.second;
        if (value.front() == '"' && Chance(50)) value = value.substr(1, value.size() - 2);
        c.sets.push_back(kv.first + "=" + value);
        c.keys.erase(std::find(c.keys.begin(), c.keys.end(), kv));
      }
    }
    return c;
  }

 private:
  void Founders(Case& c, const std::vector<int>& counts) {
    for (int g = 0; g < 9; ++g) c.Set("founders." + GT(g), std::to_string(counts[g]));
  }

  std::string Fraction() {
    return Pick<std::string>({"0", "1", "0.5", "0.25", "1.0", "0.0", "0.333", "1e-3",
                              "0." + std::to_string(100 + U(900))});
  }

  // Immigrant shares: the rest to aabb, aabb given as what is left, or
  // (seldom) shares that leave something over, which is refused.
  void Mix(Case& c) {
    double sum = 0.0;
    for (int g = 0; g < 8; ++g) {
      if (!Chance(40)) continue;
      const std::string share = Pick<std::string>({"0", "0.1", "0.05", "0.125"});
      c.Set("migration.mix." + GT(g), share);
      sum += std::stod(share);
    }
    const int how = static_cast<int>(U(10));
    if (how < 7) {
      c.Set("migration.mix.aabb", "\"rest\"");
    } else if (how < 9) {
      c.Set("migration.mix.aabb", SHORTEST(1.0 - sum));
    }
  }

  // Settings in the terms of biology, instead of the fitnesses or founders
  // they stand for.
  void Biology(Case& c, bool selection, bool population) {
    auto drop = [&c](const std::string& head) {
      c.keys.erase(std::remove_if(c.keys.begin(), c.keys.end(),
                                  [&](const auto& kv) { return kv.first.compare(0, head.size(), head) == 0; }),
                   c.keys.end());
    };
    if (selection) {
      drop("fitness.");
      for (const char* gene : {"alpha", "beta"}) {
        if (Chance(30)) continue;
        const std::string head = std::string("selection.") + gene;
        c.Set(head + ".s", Pick<std::string>({"0", "0.05", "0.1", "0.5", "1"}));
        if (Chance(60)) c.Set(head + ".h", Pick<std::string>({"0", "0.5", "1", "2", "0.25"}));
        if (Chance(50)) c.Set(head + ".favoured", std::string(gene) == "alpha" ? Pick<std::string>({"\"A\"", "\"a\""}) : Pick<std::string>({"\"B\"", "\"b\""}));
      }
      if (Chance(50)) c.Set("selection.combine", Pick<std::string>({"\"multiplicative\"", "\"additive\""}));
    }
    if (population) {
      drop("founders.");
      c.Set("population.size", Pick<std::string>({"1", "2", "7", "50", "160", "333"}));
      if (Chance(70)) c.Set("population.p_A", Pick<std::string>({"0", "0.3", "0.5", "0.91", "1"}));
      if (Chance(70)) c.Set("population.p_B", Pick<std::string>({"0", "0.25", "0.5", "0.6", "1"}));
      if (Chance(30)) {
        c.Set("population.D", Pick<std::string>({"0", "0.01", "-0.02", "0.05"}));
      } else if (Chance(50)) {
        c.Set("population.phase", Pick<std::string>({"\"none\"", "\"coupling\"", "\"repulsion\""}));
      }
    }
  }

  void Random(Case& c) {
    std::int64_t total = 160;
    if (Chance(60)) {
      total = 0;
      for (int g = 0; g < 9; ++g) {
        if (!Chance(70)) continue;  // left out: 0
        const int n = static_cast<int>(U(25));
        c.Set("founders." + GT(g), std::to_string(n));
        total += n;
      }
      if (total == 0) c.Set("founders.aabb", "3");
      // Double heterozygotes of a given phase, which no console session can
      // type: mostly 0 (typed as the default), now and then some.
      for (const char* phased : {"founders.AB_ab", "founders.Ab_aB"}) {
        if (Chance(8)) c.Set(phased, Chance(50) ? "0" : std::to_string(1 + U(10)));
      }
    }
    if (Chance(70)) c.Set("iterations", std::to_string(1 + U(4)));
    if (Chance(40)) {
      for (int g = 0; g < 9; ++g) {
        if (Chance(50)) c.Set("fitness." + GT(g), Fraction());
      }
    }
    if (Chance(30)) {
      for (int i = 0; i < 4; ++i) {
        if (Chance(50)) c.Set("mutation." + CHANGE(i), Pick<std::string>({"0", "1e-3", "0.01", "0.5", "1", "2.5e-4"}));
      }
    }
    if (Chance(40)) {
      c.Set("map_distance_cM", Pick<std::string>({"0", "50", "0.5", "12", std::to_string(U(50)) + "." + std::to_string(U(100))}));
    }
    if (Chance(40)) {
      c.Set("fertilization", Pick<std::string>({"\"selfing-allowed\"", "\"selfing-not-allowed\"", "\"monogamy\""}));
    }
    if (Chance(30)) {
      for (int k = 0; k < 6; ++k) {
        if (Chance(60)) c.Set("mating." + PREF(k), Pick<std::string>({"0", "1", "0.5", "0.8", "0.333"}));
      }
      if (Chance(85)) c.Set("mating.isolation", Pick<std::string>({"\"postmating\"", "\"premating\""}));
    }
    if (Chance(25)) {
      const double most = static_cast<double>(total > 1 ? total - 1 : 1);
      c.Set("migration.immigrants", SHORTEST(0.001 + std::floor(most * static_cast<double>(U(1000))) / 1000.0));
      Mix(c);
    }
    if (Chance(25)) c.Set("track_gene_copies", Chance(50) ? "true" : "false");
    if (Chance(25)) c.Set("stop_at_fixation", Chance(50) ? "true" : "false");
    if (Chance(25)) {
      c.Set("fixation.alpha", Pick<std::string>({"\"any\"", "\"A\"", "\"a\""}));
      c.Set("fixation.beta", Pick<std::string>({"\"any\"", "\"B\"", "\"b\""}));
    }
    if (Chance(35)) Biology(c, Chance(60), Chance(60));
  }

  std::mt19937_64 rng_;
};

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// What the accepted settings of a job cover: each key, each key at the
// ends of its range, each choice, and the population and immigrant limits.
void Cover(const batch::Job& job, std::set<std::string>& tags) {
  // The population as the run takes it, biology-level keys translated.
  RunPreview preview;
  std::vector<std::string> faults;
  ASSERT_TRUE(PREVIEWRUN(job.settings, preview, faults));
  const std::int64_t total = preview.population;
  if (total == 1) tags.insert("population=1");
  if (total == MAXPOP) tags.insert("population=1000000");
  for (const auto& [key, v] : job.settings) {
    const SettingRow* def = FINDSETTING(key);
    tags.insert(key);
    if (v.type == SettingType::Count || v.type == SettingType::Real) {
      const double x = v.type == SettingType::Count ? static_cast<double>(v.count) : v.real;
      if (x == def->lo) tags.insert(key + "@lo");
      if (x == def->hi) tags.insert(key + "@hi");
    }
    if (v.type == SettingType::Choice) tags.insert(key + "=" + v.text);
    if (v.type == SettingType::Flag) tags.insert(key + (v.flag ? "=true" : "=false"));
    if (key == "migration.immigrants" && v.real > 0.0 && v.real < 0.01) tags.insert("immigrants>0");
    if (key == "migration.immigrants" && v.real > static_cast<double>(total) - 0.01) tags.insert("immigrants<population");
    if (v.where.compare(0, 5, "--set") == 0) tags.insert("--set");
  }
  tags.insert("seed=" + std::to_string(job.seed));
}

std::set<std::string> Expected() {
  std::set<std::string> tags = {"population=1", "population=1000000", "immigrants>0",
                                "immigrants<population", "--set", "seed=1", "seed=32767"};
  const bool biology = BiologyTranslated();
  for (const SettingRow& row : CATALOGUE()) {
    const std::string key = row.key;
    const bool translated = row.variable[0] == '\0';
    if (translated && !biology) continue;
    tags.insert(key);
    for (int c = 0; row.choices != nullptr && row.choices[c] != nullptr; ++c) {
      if (!(key == "mating.isolation" && c == 0)) tags.insert(key + "=" + row.choices[c]);
    }
    if (row.type == SettingType::Flag) {
      tags.insert(key + "=true");
      tags.insert(key + "=false");
    }
    // Bounds a case reaches: not the founders' upper one (but for AABB,
    // the whole population), nor those of the biology-level keys, whose
    // ends mostly leave no population or no fitness.
    const bool bounded = row.type == SettingType::Real || row.type == SettingType::Count;
    const bool founders = key.compare(0, 9, "founders.") == 0;
    if (bounded && key != "migration.immigrants" && !translated) {
      tags.insert(key + "@lo");
      if (!founders || key == "founders.AABB") tags.insert(key + "@hi");
    }
  }
  return tags;
}

// Runs the console on the typed session of each job and compares its two
// files with the batch program's.
void CompareWithConsole(const batch::Study& study, const std::string& batchDir, int& compared) {
  for (const batch::Job& job : study.jobs) {
    SCOPED_TRACE("run " + job.run + ", seed " + std::to_string(job.seed));
    std::string session, fault;
    ASSERT_TRUE(batch::CONSOLESESSION(job.settings, job.prefix, job.seed, session, fault)) << fault;
    const std::string consoleDir = MakeTempDir();
    int status = -1;
    RunProgram(consoleDir, session, &status);
    EXPECT_EQ(status, 0);
    for (const char* ext : {".csv", ".txt"}) {
      const std::string mine = ReadFile(batchDir + "/" + job.prefix + ext);
      EXPECT_FALSE(mine.empty()) << job.prefix << ext;
      EXPECT_EQ(mine, ReadFile(consoleDir + "/" + job.prefix + ext)) << job.prefix << ext << "\nsession:\n" << session;
    }
    fs::remove_all(consoleDir);
    ++compared;
  }
}

TEST(ByteIdentity, GeneratedStudiesMatchTheTypedConsoleSession) {
  Maker maker(20260101);
  const std::string studies = MakeTempDir();
  std::set<std::string> covered;
  int accepted = 0;
  int refused = 0;
  int compared = 0;
  int biology = 0;  // accepted studies that give settings in the terms of biology
  int phased = 0;   // accepted studies whose founders have a given phase: not typeable
  for (int index = 0; accepted < 320 && index < 640; ++index) {
    const Case c = maker.Make(index);
    const std::string file = studies + "/case" + std::to_string(index) + ".toml";
    WriteText(file, c.Toml());
    std::string args = ShellQuote(file) + " --out x --quiet";
    batch::Overrides overrides;
    for (const std::string& s : c.sets) {
      args += " --set " + ShellQuote(s);
      overrides.sets.push_back(s);
    }
    SCOPED_TRACE("case " + std::to_string(index) + ":\n" + c.Toml() + "--set " + (c.sets.empty() ? "" : c.sets[0]));
    batch::Study study;
    std::vector<std::string> faults;
    overrides.haveOut = true;
    overrides.out = "x";
    ASSERT_TRUE(batch::LOADSTUDY(file, overrides, study, faults)) << faults[0];
    ASSERT_EQ(study.jobs.size(), 1u);
    const std::string batchDir = MakeTempDir();
    const BatchResult r = RunBatch(batchDir, args);
    std::string session, fault;
    const bool runnable = batch::CONSOLESESSION(study.jobs[0].settings, "x", study.jobs[0].seed, session, fault);
    if (r.status == 2) {
      // Refused settings: the console would not start them either, and
      // nothing was written.
      EXPECT_FALSE(runnable);
      EXPECT_TRUE(FilesIn(batchDir).empty());
      ++refused;
    } else {
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(FilesIn(batchDir), (std::set<std::string>{"x.csv", "x.txt"}));
      RunPreview preview;
      std::vector<std::string> previewFaults;
      ASSERT_TRUE(PREVIEWRUN(study.jobs[0].settings, preview, previewFaults));
      if (preview.phased[0] + preview.phased[1] > 0) {
        // The console's founders take a random phase: the session is refused.
        EXPECT_FALSE(runnable);
        EXPECT_NE(fault.find("the console cannot set it"), std::string::npos) << fault;
        ++phased;
      } else {
        CompareWithConsole(study, batchDir, compared);
      }
      Cover(study.jobs[0], covered);
      ++accepted;
      for (const auto& [key, value] : study.jobs[0].settings) {
        if (FINDSETTING(key)->variable[0] == '\0') {
          ++biology;
          break;
        }
      }
    }
    fs::remove_all(batchDir);
    if (HasFatalFailure()) break;
  }
  fs::remove_all(studies);
  std::cout << accepted << " studies accepted (" << biology << " in the terms of biology, " << phased
            << " with founders of a given phase, not typeable), " << refused << " refused (the console would not start them either), "
            << covered.size() << " keys, limits and choices covered" << std::endl;
  EXPECT_GE(accepted, 300);
  EXPECT_GT(phased, 0);
  EXPECT_LE(phased, accepted / 3);
  if (BiologyTranslated()) {
    EXPECT_GE(biology, 50);
  }
  EXPECT_GT(refused, 0);
  for (const std::string& tag : Expected()) EXPECT_TRUE(covered.count(tag) == 1) << "never covered: " << tag;
}

// Several jobs in one process: each starts from a fresh random table and
// the defaults, so each matches a console program started for it alone.
TEST(ByteIdentity, EveryJobOfASweepWithReplicatesMatchesAFreshConsole) {
  const std::string studies = MakeTempDir();
  const std::string file = studies + "/sweep.toml";
  WriteText(file,
            "prefix = \"sw\"\nseed = { from = 3, to = 4 }\niterations = 2\nmax_generations = 300\n"
            "[fitness]\naabb = 0.6\n[sweep]\nmap_distance_cM = [0, 7.5, 50]\n"
            "\"fertilization\" = [\"monogamy\", \"selfing-allowed\"]\n"
            "[runs.plain]\n[runs.mutating]\nmutation.A_to_a = 0.002\n");
  batch::Study study;
  std::vector<std::string> faults;
  ASSERT_TRUE(batch::LOADSTUDY(file, {}, study, faults));
  ASSERT_EQ(study.jobs.size(), 24u);
  const std::string dir = MakeTempDir();
  const BatchResult r = RunBatch(dir, ShellQuote(file) + " --quiet --trajectory 50");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(FilesIn(dir).size(), 24u * 3 + 1);
  int compared = 0;
  CompareWithConsole(study, dir, compared);
  EXPECT_EQ(compared, 24);
  fs::remove_all(dir);
  fs::remove_all(studies);
}

}  // namespace
