#include "tests/testutil.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "console/io.h"
#include "engine/random.h"
#include "model/driver.h"
#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"

namespace {
[[noreturn]] void throwHalted() { throw Halted{}; }
}  // namespace

void ProgramTest::SetUp() {
  RESETPROGRAM();
  CONSOLE(in_, out_);
  haltHook = throwHalted;
}

void ProgramTest::TearDown() {
  RESETPROGRAM();
}

void ProgramTest::Input(const std::string& text) {
  in_.clear();
  in_.str(text);
}

std::string MakeTempDir() {
  char pattern[] = "/tmp/duolocus-test-XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir == nullptr ? std::string() : std::string(dir);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::string RunProgram(const std::string& dir, const std::string& session, int* exitCode) {
  const std::string sessionFile = dir + "/session.in";
  {
    std::ofstream out(sessionFile, std::ios::binary);
    out << session;
  }
  const std::string outputFile = dir + "/console.out";
  const std::string command = "cd '" + dir + "' && '" DUOLOCUS_BIN "' < session.in > console.out";
  const int status = std::system(command.c_str());
  if (exitCode != nullptr) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::string text = ReadFile(outputFile);
  std::remove(sessionFile.c_str());
  std::remove(outputFile.c_str());
  return text;
}

void RestartRandom(unsigned seed) {
  RANDRESET();
  doSeed = 1;
  rsd = seed;
  SEEDRND();
}

std::vector<double> RecordDraws(unsigned seed, std::size_t n) {
  RestartRandom(seed);
  std::vector<double> draws(n);
  for (double& d : draws) d = RANDREAL();
  RestartRandom(seed);
  return draws;
}

void SetPopulation(const std::vector<std::int64_t>& counts) {
  NTot = 0;
  for (int g = 0; g < 9; ++g) {
    startPop[g] = counts[static_cast<std::size_t>(g)];
    NTot += startPop[g];
  }
  for (int g = 0; g < 9; ++g) startF[g] = static_cast<double>(startPop[g]) / static_cast<double>(NTot);
  MEMALLOC();
  RUNINIT();
}

std::string Golden(const std::string& name) {
  const std::string text = ReadFile(std::string(DUOLOCUS_GOLDEN) + "/" + name);
  EXPECT_FALSE(text.empty()) << "missing golden file " << name;
  return text;
}

int AlleleA(const IND& ind, int c) { return alleleA(ind, c); }
int AlleleB(const IND& ind, int c) { return alleleB(ind, c); }
std::int64_t CopyA(const IND& ind, int c) { return copyA(ind, c); }
std::int64_t CopyB(const IND& ind, int c) { return copyB(ind, c); }
int OriginA(const IND& ind, int c) { return originA(ind, c); }
int OriginB(const IND& ind, int c) { return originB(ind, c); }

void SetChromosome(IND& ind, int c, int alleleA, std::int64_t copyA, int originA, int alleleB,
                   std::int64_t copyB, int originB) {
  ind.geneA[c] = MAKECOPY(alleleA, copyA, originA);
  ind.geneB[c] = MAKECOPY(alleleB, copyB, originB);
}
