#include "tests/batch/batch_util.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/testutil.h"

BatchResult RunBatch(const std::string& dir, const std::string& args, const std::string& shell) {
  // The captured output goes beside the folder, so the folder holds only
  // what the program wrote.
  const std::string out = dir + ".stdout";
  const std::string err = dir + ".stderr";
  const std::string command = (shell.empty() ? "" : shell + "; ") + "cd '" + dir + "' && '" DUOLOCUS_BATCH_BIN "' " + args + " < /dev/null > '" +
                              out + "' 2> '" + err + "'";
  BatchResult r;
  const int status = std::system(command.c_str());
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = ReadFile(out);
  r.err = ReadFile(err);
  std::remove(out.c_str());
  std::remove(err.c_str());
  return r;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
}

std::set<std::string> FilesIn(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}
