// Helpers of the batch program's tests: running the built program in a
// folder, and looking at what it left there.
#ifndef DUOLOCUS_TESTS_BATCH_UTIL_H
#define DUOLOCUS_TESTS_BATCH_UTIL_H

#include <set>
#include <string>

struct BatchResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs build/duolocus-batch in dir with the given arguments (already quoted
// for the shell), standard input empty.
// shell, when given, runs first in the same shell (limits, traps).
BatchResult RunBatch(const std::string& dir, const std::string& args, const std::string& shell = "");
// Writes text to path.
void WriteText(const std::string& path, const std::string& text);
// Names of the files in dir.
std::set<std::string> FilesIn(const std::string& dir);

#endif
