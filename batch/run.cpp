#include "batch/run.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "batch/apply.h"
#include "batch/outputs.h"
#include "batch/trajectory.h"
#include "console/io.h"
#include "engine/random.h"
#include "model/derive.h"
#include "model/driver.h"
#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"
#include "report/files.h"

namespace batch {

namespace {

// The console's progress lines go nowhere; nothing is ever read.
std::ostream& NULLOUT() {
  static std::ostream out(nullptr);
  return out;
}
std::istream& NULLIN() {
  static std::istringstream in;
  return in;
}

Progress* liveProgress = nullptr;
Trajectory* liveTrajectory = nullptr;
std::string liveJob;

void ONGENERATION() {
  if (liveTrajectory != nullptr) TRAJSAMPLE(*liveTrajectory);
  if (liveProgress != nullptr) PROGGEN(*liveProgress);
}

void ONITERATION() {
  if (liveTrajectory != nullptr) TRAJCHECK(*liveTrajectory);
  if (liveProgress != nullptr) PROGITER(*liveProgress);
}

// GIVEUP in a batch run means the population arrays could not be had;
// MEMALLOC runs before any file of the job is opened.
[[noreturn]] void ONHALT() {
  if (liveProgress != nullptr) PROGEND(*liveProgress);
  std::cerr << "duolocus-batch: " << liveJob << ": not enough memory for a population of "
            << NTot << "; no file of this run was written" << std::endl;
  std::exit(1);
}

// Opens the temporary name of a file; messages name the file itself.
bool OPENONE(std::ofstream& os, const std::string& name, std::string& fault) {
  os.clear();
  errno = 0;
  if (OPENFILE(os, PARTNAME(name))) return true;
  fault = "cannot write " + name + ": " + (errno != 0 ? std::strerror(errno) : "cannot open");
  return false;
}

}  // namespace

int RUNJOB(const Job& job, const RunOptions& options, std::string& fault) {
  std::vector<std::string> faults;
  APPLYSETTINGS(job.settings, faults);  // checked before any job ran
  CONSOLE(NULLIN(), NULLOUT());
  liveJob = "run " + job.run + ", seed " + std::to_string(job.seed);
  haltHook = ONHALT;
  onm = job.prefix;
  datanm = onm + ".csv";
  sumnm = onm + ".txt";
  MEMALLOC();

  // The hand-over of the settings screen, from a fresh random table so that
  // the seed in the report repeats this run in either program.
  RANDRESET();
  doSeed = 1;
  rsd = job.seed;
  SEEDRND();
  RUNFLAGS();
  if (!OPENONE(datafl, datanm, fault)) return 1;
  if (!OPENONE(sumfl, sumnm, fault)) {
    datafl.close();
    return 1;
  }
  Trajectory trajectory;
  trajectory.every = options.trajectory;
  if (options.trajectory > 0 && !TRAJOPEN(trajectory, PARTNAME(onm + ".traj.csv"))) {
    fault = "cannot write " + onm + ".traj.csv: " + trajectory.error;
    datafl.close();
    sumfl.close();
    return 1;
  }
  FILESOPENED();
  sumfl << BANNER << std::endl;
  CHECKFILES();

  liveProgress = options.progress;
  liveTrajectory = options.trajectory > 0 ? &trajectory : nullptr;
  if (liveProgress != nullptr || liveTrajectory != nullptr) {
    generationHook = ONGENERATION;
    iterationHook = ONITERATION;
  }
  if (liveProgress != nullptr) PROGJOB(*liveProgress, liveProgress->job, job.run + ", seed " + std::to_string(job.seed), nIter);
  RUNINIT();
  RUNITERATIONS();
  CLOSEFILES();
  const bool trajOk = TRAJCLOSE(trajectory);
  generationHook = iterationHook = nullptr;
  liveProgress = nullptr;
  liveTrajectory = nullptr;
  if (!dataError.empty()) {
    fault = "could not write " + datanm + ": " + dataError;
  } else if (!sumError.empty()) {
    fault = "could not write " + sumnm + ": " + sumError;
  } else if (!trajOk) {
    fault = "could not write " + onm + ".traj.csv: " + trajectory.error;
  } else {
    return 0;
  }
  return 1;
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
