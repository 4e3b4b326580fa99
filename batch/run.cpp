#include "batch/run.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

#include "batch/outputs.h"
#include "model/runentry.h"

namespace batch {

namespace {

struct Live {
  Progress* progress = nullptr;
  std::string job;
};

void ONGENERATION(void* context) { PROGGEN(*static_cast<Live*>(context)->progress); }

void ONITERATION(void* context) { PROGITER(*static_cast<Live*>(context)->progress); }

// The population arrays could not be had; the entry allocates them before
// any file of the job is opened.
[[noreturn]] void ONHALT(void* context) {
  const Live& live = *static_cast<Live*>(context);
  if (live.progress != nullptr) PROGEND(*live.progress);
  DROPGUARDED();
  std::cerr << "duolocus-batch: " << live.job << ": not enough memory for a population of "
            << RUNPOSITION().population << "; no file of this run was written" << std::endl;
  std::exit(1);
}

// Opens the temporary name of a file; messages name the file itself.
bool OPENONE(std::ofstream& os, const std::string& name, std::string& fault) {
  os.clear();
  errno = 0;
  os.open(PARTNAME(name), std::ios::out | std::ios::binary);
  if (os.is_open()) return true;
  fault = "cannot write " + name + ": " + (errno != 0 ? std::strerror(errno) : "cannot open");
  return false;
}

// Writes text to the open stream and closes it; false with the reason.
bool FINISH(std::ofstream& os, const std::string& name, const std::string& text, std::string& fault) {
  errno = 0;
  os << text;
  os.flush();
  const bool written = !os.fail();
  const int why = errno;
  os.close();
  if (written && !os.fail()) return true;
  fault = "could not write " + name + ": " + (why != 0 ? std::strerror(why) : "write error");
  return false;
}

// The files are kept in memory and written under temporary names after the
// run, so that the report still names the file it will be.
RunRequest REQUEST(const Job& job, const RunOptions& options, Live& live) {
  RunRequest request;
  request.settings = job.settings;
  request.seed = job.seed;
  request.namedAs = job.prefix;
  request.keepBytes = true;
  request.trajectory = options.trajectory;
  request.context = &live;
  request.onHalt = ONHALT;
  if (options.progress != nullptr) {
    request.onGeneration = ONGENERATION;
    request.onIteration = ONITERATION;
  }
  return request;
}

}  // namespace

int RUNJOB(const Job& job, const RunOptions& options, std::string& fault) {
  Live live;
  live.progress = options.progress;
  live.job = "run " + job.run + ", seed " + std::to_string(job.seed);
  // The files are opened first, so that a folder they cannot be written in
  // stops the job before the run.
  const std::vector<std::string> names = JOBFILES(job.prefix, options.trajectory > 0);
  std::ofstream files[3];
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!OPENONE(files[i], names[i], fault)) return 1;
  }
  if (live.progress != nullptr) {
    const auto it = job.settings.find("iterations");
    const std::int64_t iters = it != job.settings.end() ? it->second.count : 1;
    PROGJOB(*live.progress, live.progress->job, job.run + ", seed " + std::to_string(job.seed), iters);
  }
  RunResult result;
  const int status = RUNENTRY(REQUEST(job, options, live), result);
  if (status != 0) {
    fault = result.faults.empty() ? "the run failed" : result.faults[0];
    return status;
  }
  const std::string* bytes[3] = {&result.csv, &result.txt, &result.trajectory};
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!FINISH(files[i], names[i], *bytes[i], fault)) return 1;
  }
  return 0;
}

std::string CSVFIELD(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string INDEXNAME(const Study& study) { return study.prefix + "_index.csv"; }

}  // namespace batch
