#include "batch/run.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

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
  std::cerr << "duolocus-batch: " << live.job << ": not enough memory for a population of "
            << RUNPOSITION().population << "; no file of this run was written" << std::endl;
  std::exit(1);
}

bool OPENONE(std::ofstream& os, const std::string& name, std::string& fault) {
  os.clear();
  errno = 0;
  os.open(name, std::ios::out);
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

RunRequest REQUEST(const Job& job, const RunOptions& options, Live& live) {
  RunRequest request;
  request.settings = job.settings;
  request.seed = job.seed;
  request.prefix = job.prefix;
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
  // The trajectory file is opened first, so that a folder it cannot be
  // written in stops the job before the run.
  const std::string trajName = job.prefix + ".traj.csv";
  std::ofstream traj;
  if (options.trajectory > 0 && !OPENONE(traj, trajName, fault)) return 1;
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
  if (options.trajectory > 0 && !FINISH(traj, trajName, result.trajectory, fault)) return 1;
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

bool WRITEINDEX(const Study& study, const std::string& name, std::int64_t trajectory,
                std::string& fault) {
  std::ofstream out;
  if (!OPENONE(out, name, fault)) return false;
  std::string text = "run,seed,prefix,csv,txt,traj";
  for (const std::string& key : study.shownKeys) text += ',' + CSVFIELD(key);
  text += '\n';
  for (const Job& job : study.jobs) {
    text += CSVFIELD(job.run) + ',' + std::to_string(job.seed) + ',' + CSVFIELD(job.prefix) + ',' +
            CSVFIELD(job.prefix + ".csv") + ',' + CSVFIELD(job.prefix + ".txt") + ',' +
            (trajectory > 0 ? CSVFIELD(job.prefix + ".traj.csv") : std::string());
    for (const std::string& key : study.shownKeys) {
      const auto it = job.settings.find(key);
      text += ',';
      if (it != job.settings.end()) text += CSVFIELD(SHOWVALUE(it->second));
    }
    text += '\n';
  }
  return FINISH(out, name, text, fault);
}

}  // namespace batch
