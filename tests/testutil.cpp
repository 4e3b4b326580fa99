#include "tests/testutil.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "console/io.h"
#include "model/driver.h"

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
