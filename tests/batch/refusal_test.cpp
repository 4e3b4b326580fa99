// Bad input stops the batch program before it writes anything, with the
// place, the key and what is allowed, and exit status 2; outputs that
// cannot be written end it with status 1, the file name and the reason.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <set>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/batch/batch_util.h"
#include "tests/testutil.h"

namespace fs = std::filesystem;

namespace {

struct Refusal {
  const char* name;
  const char* study;  // written to study.toml beside the output folder
  const char* args;   // after the study file
  const char* message;
};

// Each study is written with its text as is, so the line numbers in the
// expected messages count from the first line of the text.
const std::vector<Refusal>& Refusals() {
  static const std::vector<Refusal> cases = {
      {"UnknownKey", "seed = 1\nfitnes.aabb = 0.5\n", "",
       "study.toml:2: unknown key fitnes.aabb; a study holds prefix, seed, seed_mode, [sweep], [runs.NAME] and the settings founders, fitness"},
      {"UnknownKeyInATable", "seed = 1\n[fitness]\nAAbB = 0.5\n", "",
       "study.toml:3: unknown key fitness.AAbB; fitness holds AABB, AABb, AAbb, AaBB, AaBb, Aabb, aaBB, aaBb, aabb"},
      // aabb given as a number: the nine must add up to 1.0 (left out, it
      // would take the rest, as at the console).
      {"ImmigrantSharesShortOfOne",
       "seed = 1\nmigration.immigrants = 2\nmigration.mix.AABB = 0.5\nmigration.mix.aabb = 0.25\n", "",
       "study.toml:3, study.toml:4: the immigrant shares add up to 0.75 (genotypes left out count 0); allowed: the "
       "nine add up to 1.0, or migration.mix.aabb = \"rest\" to give aabb what the others leave"},
      // An empty table is no value and no table of settings: refused, as
      // an empty dict is from Python, rather than passed over.
      {"AnEmptyTableWhereAValueBelongs", "seed = 1\niterations = {}\n", "",
       "study.toml:2: iterations = a table is a table; allowed: a whole number from 1 to 50000"},
      {"AnEmptyTableOfNoSettings", "seed = 1\n[fitnes]\n", "", "study.toml:2: unknown key fitnes; a study holds"},
      {"AnEmptyTableInARun", "seed = 1\n[runs.a]\nmating.isolation = {}\n", "",
       "study.toml:3: mating.isolation = a table is a table"},
      {"TheAabbShareIsANumberOrRest", "seed = 1\nmigration.mix.aabb = \"all\"\n", "",
       "study.toml:2: migration.mix.aabb = \"all\" is out of range; allowed: a number from 0.0 to 1.0, or \"rest\""},
      {"RealOutOfRange", "seed = 1\nmap_distance_cM = 50.5\n", "",
       "study.toml:2: map_distance_cM = 50.5 is out of range; allowed: a number from 0.0 to 50.0"},
      {"NotANumber", "seed = 1\nmutation.A_to_a = nan\n", "",
       "study.toml:2: mutation.A_to_a = nan is out of range; allowed: a number from 0.0 to 1.0"},
      {"IterationsZero", "seed = 1\niterations = 0\n", "",
       "study.toml:2: iterations = 0 is out of range; allowed: a whole number from 1 to 50000"},
      {"GenerationsAboveTheLimit", "seed = 1\nmax_generations = 10000000\n", "",
       "max_generations = 10000000 is out of range; allowed: a whole number from 1 to 9999999"},
      {"WholeNumberWithAPoint", "seed = 1\niterations = 2.5\n", "",
       "study.toml:2: iterations = 2.5 is a number with a point; allowed: a whole number from 1 to 50000"},
      {"ChoiceAsNumber", "seed = 1\nfertilization = 2\n", "",
       "study.toml:2: fertilization = 2 is a whole number; allowed: \"selfing-allowed\", \"selfing-not-allowed\" or \"monogamy\""},
      {"UnknownChoice", "seed = 1\nfixation.alpha = \"B\"\n", "",
       "fixation.alpha = \"B\" is out of range; allowed: \"any\", \"A\" or \"a\""},
      {"FlagAsString", "seed = 1\ntrack_gene_copies = \"yes\"\n", "",
       "track_gene_copies = \"yes\" is a string; allowed: true or false"},
      {"ListOutsideTheSweep", "seed = 1\nmap_distance_cM = [1, 2]\n", "",
       "(lists of values belong in [sweep])"},
      {"MalformedFile", "seed = = 1\n", "", "study.toml:1:8: malformed study file:"},
      {"SeedOutOfRange", "seed = 32768\n", "",
       "study.toml:1: seed = 32768 is out of range; allowed: a whole number from 1 to 32767"},
      {"SeedRangeBackwards", "seed = { from = 9, to = 3 }\n", "", "seed.from = 9 is above seed.to = 3"},
      {"SeedTwice", "seed = [4, 4]\n", "", "seed 4 is listed twice"},
      {"NoSeed", "iterations = 2\n", "", "no seed for run main: give seed = N (1 to 32767)"},
      {"CommandLineSeedOutOfRange", "seed = 1\n", "--seed 0", "--seed 0 is out of range; allowed: 1 to 32767"},
      {"CommandLineSetOutOfRange", "seed = 1\n", "--set fitness.aabb=1.5",
       "--set fitness.aabb=1.5: fitness.aabb = 1.5 is out of range; allowed: a number from 0.0 to 1.0"},
      {"CommandLineSetWrongType", "seed = 1\n", "--set iterations=many",
       "--set iterations=many: iterations = \"many\" is a string; allowed: a whole number from 1 to 50000"},
      {"CommandLineSetUnknownKey", "seed = 1\n", "-d fitness.Aabbb=1", "--set fitness.Aabbb=1: unknown key fitness.Aabbb"},
      {"CommandLineSetWithoutValue", "seed = 1\n", "--set iterations", "--set iterations: expected KEY=VALUE"},
      {"SweepValueOutOfRange", "seed = 1\n[sweep]\nmap_distance_cM = [\n  10,\n  60,\n]\n", "",
       "study.toml:5: map_distance_cM = 60 is out of range; allowed: a number from 0.0 to 50.0"},
      {"SweepOfUnequalListsSideBySide", "seed = 1\n[sweep]\nmode = \"zip\"\nmap_distance_cM = [1, 2]\niterations = [1]\n", "",
       "sweep.mode = \"zip\" needs lists of one length"},
      {"RunSetsASweptKey", "seed = 1\n[sweep]\niterations = [1, 2]\n[runs.a]\niterations = 3\n", "",
       "study.toml:5: runs.a sets iterations, which [sweep] varies"},
      {"RunNameUnfitForAFileName", "seed = 1\n[runs.\"a b\"]\n", "", "run name \"a b\" may hold only letters, digits, - and _"},
      {"UnknownRun", "seed = 1\n[runs.a]\n", "--run b", "--run b: the study has no such run; its runs are a"},
      {"FoundersAddUpToZero",
       "seed = 1\n[founders]\nAABB = 0\nAABb = 0\nAAbb = 0\nAaBB = 0\nAaBb = 0\nAabb = 0\naaBB = 0\naaBb = 0\naabb = 0\n", "",
       "the founders add up to 0 (genotypes left out count 0); allowed: a total of 1 to 1000000"},
      {"FoundersAboveTheLimit", "seed = 1\nfounders.AABB = 999851\nfounders.aabb = 150\n", "",
       "study.toml:2, study.toml:3: the founders add up to 1000001"},
      {"OneFounderCountAboveTheLimit", "seed = 1\nfounders.AaBb = 1000001\n", "",
       "study.toml:2: founders.AaBb = 1000001 is out of range; allowed: a whole number from 0 to 1000000"},
      {"BiologyKeyOutOfRange", "seed = 1\nselection.alpha.h = 101\npopulation.D = -0.3\n", "",
       "study.toml:2: selection.alpha.h = 101 is out of range; allowed: a number from 0.0 to 100.0"},
      {"ImmigrantSharesAboveOne", "seed = 1\nmigration.immigrants = 2\nmigration.mix.AABB = 0.6\nmigration.mix.aaBb = 0.5\n", "",
       "study.toml:3, study.toml:4: the immigrant shares of AABB to aaBb add up to more than 1.0"},
      {"ImmigrantsNotBelowThePopulation", "seed = 1\nmigration.immigrants = 160\n", "",
       "study.toml:2: migration.immigrants = 160 is out of range; allowed: 0 (no migration), or more than 0 and less than the population size (160)"},
      {"TrackingWithMigration", "seed = 1\nmigration.immigrants = 1\ntrack_gene_copies = true\n", "",
       "study.toml:3: track_gene_copies = true cannot go with migration (study.toml:2)"},
      {"PreferencesDifferWithoutIsolation", "seed = 1\nmating.AA_aa = 0.5\n", "",
       "study.toml:2: the mating preferences differ, so mating.isolation must say how they act"},
      {"NoFertileFounders", "seed = 1\n[fitness]\nAABB = 0\nAABb = 0\nAAbb = 0\nAaBB = 0\nAaBb = 0\nAabb = 0\naaBB = 0\naaBb = 0\naabb = 0\n", "",
       "study.toml: run main, seed 1: the run cannot start: The starting population has no fertile individuals."},
      {"FewerThanTwoFertile", "seed = 1\nfertilization = \"monogamy\"\nfitness.AABB = 0.5\n[founders]\nAABB = 1\nAABb = 0\nAAbb = 0\nAaBB = 0\nAaBb = 0\nAabb = 0\naaBB = 0\naaBb = 0\naabb = 0\n", "",
       "The starting population has fewer than two fertile individuals."},
      {"NoAllowableMatings", "seed = 1\n[mating]\nisolation = \"premating\"\nAA_AA = 0\nAA_Aa = 0\nAA_aa = 0\nAa_Aa = 0\nAa_aa = 0\naa_aa = 0\n", "",
       "the run cannot start: There are no allowable matings."},
      {"OneBadJobOfASweepStopsTheStudy", "seed = 1\nfertilization = \"monogamy\"\n[sweep]\nfitness.aabb = [1, 0]\n[founders]\nAABB = 0\nAABb = 0\nAAbb = 0\nAaBB = 0\nAaBb = 0\nAabb = 0\naaBB = 0\naaBb = 0\naabb = 2\n", "",
       "study.toml: run p2, seed 1: the run cannot start: The starting population has no fertile individuals."},
      {"UnknownOption", "seed = 1\n", "--sed 3", "duolocus-batch: The following arguments were not expected: 3 --sed"},
      {"TwoStudyFiles", "seed = 1\n", "other.toml", "duolocus-batch: The following argument was not expected: other.toml"},
      {"KeysWithAStudy", "seed = 1\n", "--keys", "duolocus-batch: STUDY excludes --keys"},
      {"JsonWithoutKeys", "seed = 1\n", "--json", "duolocus-batch: --json requires --keys"},
  };
  return cases;
}

class Refused : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refused, WithItsMessageAndNothingWritten) {
  const Refusal& r = GetParam();
  const std::string top = MakeTempDir();
  const std::string dir = top + "/out";
  fs::create_directory(dir);
  WriteText(top + "/study.toml", r.study);
  for (const char* extra : {"", " --check", " --list"}) {
    SCOPED_TRACE(extra);
    // The study is named from the output folder so that messages say study.toml.
    const BatchResult result = RunBatch(dir, std::string("../study.toml ") + r.args + extra);
    EXPECT_EQ(result.status, 2);
    const std::string shown = "../study.toml";
    std::string err = result.err;
    for (std::size_t at = err.find(shown); at != std::string::npos; at = err.find(shown)) err.replace(at, shown.size(), "study.toml");
    EXPECT_NE(err.find(r.message), std::string::npos) << err;
    EXPECT_TRUE(result.out.empty()) << result.out;
    EXPECT_TRUE(FilesIn(dir).empty());
  }
  fs::remove_all(top);
}

INSTANTIATE_TEST_SUITE_P(BadInput, Refused, ::testing::ValuesIn(Refusals()),
                         [](const ::testing::TestParamInfo<Refusal>& p) { return std::string(p.param.name); });

TEST(Refused, AStudyFileThatCannotBeRead) {
  const std::string dir = MakeTempDir();
  const BatchResult r = RunBatch(dir, "missing.toml");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("missing.toml: cannot read the study file"), std::string::npos) << r.err;
  EXPECT_TRUE(FilesIn(dir).empty());
  fs::remove_all(dir);
}

struct WriteCase {
  std::string name;
  std::string prepare;  // a folder that stands in the way of a file
  std::string shell;    // a limit on the size of a file (in 512-byte blocks)
  std::string args;
  std::string message;
  int status = 1;       // 2: refused before the run, as --check refuses it
};

// Outputs that cannot be written: the file, the reason, status 1, and no
// file left at a final name nor under a temporary one.
TEST(WriteFailures, NameTheFileAndTheReasonAndLeaveNothing) {
  const std::string limit = "trap '' XFSZ; ulimit -f ";
  const std::vector<WriteCase> cases = {
      // A folder already in the way is seen before the run, as --check sees it.
      {"ReportIsAFolder", "x.txt/", "", "--out x",
       "output prefix x: x.txt is a folder (or another thing that is not a file); the run writes a file there", 2},
      {"TableCutShort", "", limit + "1", "--out x", "run main, seed 1: could not write x.csv: File too large"},
      {"ReportCutShort", "", limit + "2", "--out x", "run main, seed 1: could not write x.txt: File too large"},
      {"TrajectoryCutShort", "", limit + "4", "--out x --trajectory 1",
       "run main, seed 1: could not write x.traj.csv: File too large"},
      {"OneJobOfAStudyCutShort", "", limit + "1", "--out x --set seed=[1,2]",
       "run main, seed 1: could not write x_main_1.csv: File too large"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string top = MakeTempDir();
    WriteText(top + "/study.toml", "seed = 1\niterations = 3\nmax_generations = 100\n");
    const std::string dir = top + "/out";
    fs::create_directory(dir);
    if (!c.prepare.empty()) fs::create_directory(dir + "/" + c.prepare);
    const BatchResult r = RunBatch(dir, "../study.toml --quiet " + c.args, c.shell);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    std::set<std::string> left = FilesIn(dir);
    left.erase("x_index.csv");  // lists no job: checked below
    EXPECT_EQ(left, c.prepare.empty() ? std::set<std::string>{} : std::set<std::string>{"x.txt"});
    if (FileExists(dir + "/x_index.csv")) {
      EXPECT_EQ(ReadFile(dir + "/x_index.csv").find("\nmain,"), std::string::npos);
    }
    fs::remove_all(top);
  }
}

// A prefix the run cannot use is refused before anything is written, with
// --check too: exit 2.
TEST(Refused, PrefixesThatCannotBeWritten) {
  const std::string top = MakeTempDir();
  WriteText(top + "/study.toml", "seed = [1, 2]\niterations = 2\nmax_generations = 50\n");
  WriteText(top + "/afile", "");
  const std::string dir = top + "/out";
  fs::create_directory(dir);
  const std::string longName(251, 'n');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"--out nofolder/x", "output prefix nofolder/x: the folder nofolder does not exist; create it first"},
      {"--out ../afile/x", "output prefix ../afile/x: ../afile is not a folder"},
      {"--out " + longName, "the file name " + longName + "_main_1.traj.csv.part has 272 characters; the folder . allows 255"},
      {"--set 'prefix=\"nofolder/y\"'", "output prefix nofolder/y: the folder nofolder does not exist"},
  };
  for (const auto& [args, message] : cases) {
    for (const char* extra : {"", " --check", " --write-index"}) {
      SCOPED_TRACE(args + extra);
      const BatchResult r = RunBatch(dir, "../study.toml -q " + args + extra);
      EXPECT_EQ(r.status, 2);
      EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
      EXPECT_TRUE(FilesIn(dir).empty());
    }
  }
  fs::remove_all(top);
}

// Prefixes that name a folder, and folders standing where a run writes a
// file (final, temporary, trajectory, lock): refused by --check and by the
// run alike, exit 2, naming the prefix and the file, and nothing written
// (no hidden out/.csv).
TEST(Refused, PrefixesNamingFoldersOrWithFoldersInTheWay) {
  const std::string top = MakeTempDir();
  WriteText(top + "/study.toml", "seed = 1\niterations = 2\nmax_generations = 50\n");
  const std::string dir = top + "/out";
  fs::create_directory(dir);
  fs::create_directory(dir + "/adir");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"--out adir/", "output prefix adir/ names a folder, not files; give a name in it, such as adir/run"},
      {"--out adir", "output prefix adir is a folder; give a name in it, such as adir/run"},
      {"--out adir/.", "output prefix adir/. names a folder, not files"},
      {"--set 'prefix=\"adir/\"'", "output prefix adir/ names a folder"},
      {"--out x", "output prefix x is a folder; give a name in it, such as x/run"},
      {"--out /proc/x", "output prefix /proc/x: no file can be written in the folder /proc"},
      {"--out c", "output prefix c: c.csv is a folder"},
      {"--out t --trajectory 5", "output prefix t: t.traj.csv is a folder"},
      {"--out p", "output prefix p: p.txt.part is a folder"},
      {"--out k", "output prefix k: k.lock is a folder"},
  };
  for (const char* folder : {"c.csv", "t.traj.csv", "p.txt.part", "k.lock", "x"}) fs::create_directory(dir + "/" + folder);
  const std::set<std::string> before = FilesIn(dir);
  for (const auto& [args, message] : cases) {
    for (const char* extra : {"", " --check"}) {
      SCOPED_TRACE(args + extra);
      const BatchResult r = RunBatch(dir, "../study.toml -q " + args + extra);
      EXPECT_EQ(r.status, 2);
      EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
      EXPECT_EQ(FilesIn(dir), before);
      EXPECT_TRUE(FilesIn(dir + "/adir").empty());
    }
  }
  fs::remove_all(top);
}

// Duplicate keys mean nothing: a quoted dotted key beside its table, or a
// key given twice by --set, is refused rather than letting one of the two
// silently win. Keys are case-sensitive.
TEST(Refused, DuplicateAndMiscasedKeys) {
  const std::string top = MakeTempDir();
  WriteText(top + "/quoted.toml", "seed = 1\n\"fitness.AABB\" = 0.7\n[fitness]\nAABB = 0.5\n");
  WriteText(top + "/plain.toml", "seed = 1\nfitness.AABB = 0.5\n");
  WriteText(top + "/cased.toml", "seed = 1\nITERATIONS = 2\n");
  const BatchResult quoted = RunBatch(top, "quoted.toml --check");
  EXPECT_EQ(quoted.status, 2);
  EXPECT_NE(quoted.err.find(": fitness.AABB is given twice (also at quoted.toml:"), std::string::npos) << quoted.err;
  const BatchResult twice = RunBatch(top, "plain.toml --check --set fitness.AABB=0.6 --set fitness.AABB=0.7");
  EXPECT_EQ(twice.status, 2);
  EXPECT_NE(twice.err.find("--set fitness.AABB=0.7: fitness.AABB is given twice on the command line "
                           "(also --set fitness.AABB=0.6)"),
            std::string::npos)
      << twice.err;
  // Once on the command line over the file is what --set is for.
  EXPECT_EQ(RunBatch(top, "plain.toml --check --set fitness.AABB=0.6").status, 0);
  const BatchResult cased = RunBatch(top, "cased.toml --check");
  EXPECT_EQ(cased.status, 2);
  EXPECT_NE(cased.err.find("unknown key ITERATIONS"), std::string::npos) << cased.err;
  EXPECT_EQ(RunBatch(top, "plain.toml --check --set Iterations=2").status, 2);
  fs::remove_all(top);
}

// A folder the user cannot write in; as root the program runs as nobody.
TEST(Refused, AFolderWithoutWritePermission) {
  const std::string top = MakeTempDir();
  WriteText(top + "/study.toml", "seed = 1\n");
  const std::string dir = top + "/out";
  fs::create_directory(dir);
  fs::permissions(top, fs::perms::all);
  fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec);
  const std::string as = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  if (geteuid() != 0) fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
  const std::string command = "cd '" + dir + "' && " + as + "'" DUOLOCUS_BATCH_BIN "' ../study.toml -q --out x --check 2>&1";
  std::string said;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) said += buffer;
  const int status = pclose(pipe);
  EXPECT_EQ(WEXITSTATUS(status), 2) << said;
  EXPECT_NE(said.find("output prefix x: no file can be written in the folder .: Permission denied"), std::string::npos)
      << said;
  fs::permissions(dir, fs::perms::owner_all);
  fs::remove_all(top);
}

}  // namespace
