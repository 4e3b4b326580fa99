#include "batch/carry.h"

#include <unistd.h>

#include <chrono>
#include <iostream>
#include <string>

#include "batch/lock.h"
#include "batch/outputs.h"
#include "batch/progress.h"
#include "batch/resume.h"
#include "batch/run.h"

namespace batch {

namespace {

using Clock = std::chrono::steady_clock;

struct Carry {
  const Study& study;
  const CarryOptions& options;
  IndexEntries entries;  // the jobs whose files are complete
  bool keepsIndex = false;
  Clock::time_point written;
  Clock::duration writing{};  // how long the index took to write last
};

int FAIL(const std::string& what) {
  std::cerr << "duolocus-batch: " << what << std::endl;
  return 1;
}

bool SAVEINDEX(Carry& c, std::string& fault) {
  const Clock::time_point start = Clock::now();
  const bool saved = !c.keepsIndex || WRITEINDEX(c.study, INDEXNAME(c.study), c.entries, fault);
  c.written = Clock::now();
  c.writing = c.written - start;
  return saved;
}

// After each job while the index is quick to write; for a large study at
// most a twentieth of the time goes into it. A job finished since the last
// writing runs again after an interruption.
bool INDEXDUE(const Carry& c) { return c.keepsIndex && Clock::now() - c.written >= 20 * c.writing; }

// --write-index: the jobs whose files all stand at their final names (a
// file there is complete, as only a finished job renames it there).
int INDEXONLY(Carry& c) {
  for (const Job& job : c.study.jobs) {
    IndexEntry entry = ENTRYOF(job, c.options.trajectory);
    bool complete = true;
    for (const FileSum& sum : entry.sums) complete = complete && sum.present;
    if (complete) c.entries[{job.run, job.seed}] = entry;
  }
  c.keepsIndex = true;
  std::string fault;
  return SAVEINDEX(c, fault) ? 0 : FAIL(fault);
}

// The jobs still to run; the done ones go into the index at once.
std::vector<const Job*> PLAN(Carry& c, const std::vector<Job>& jobs) {
  std::vector<const Job*> todo;
  const IndexEntries old = c.keepsIndex && !c.options.force ? READINDEX(INDEXNAME(c.study)) : IndexEntries{};
  for (const Job& job : jobs) {
    if (!old.empty() && JOBDONE(job, c.options.trajectory, old)) {
      c.entries[{job.run, job.seed}] = old.at({job.run, job.seed});
    } else {
      todo.push_back(&job);
    }
  }
  if (!c.options.quiet && todo.size() < jobs.size()) {
    std::cerr << "duolocus-batch: " << jobs.size() - todo.size() << " of " << jobs.size()
              << " jobs are done already (their files match the study); "
              << (todo.empty() ? std::string("nothing to run") : "running the other " + std::to_string(todo.size()))
              << " (--force runs every job)" << std::endl;
  }
  return todo;
}

// One job: its earlier files removed, its files written under temporary
// names and renamed when complete.
bool ONEJOB(Carry& c, const Job& job, const RunOptions& run, std::string& fault) {
  const std::vector<std::string> files = JOBFILES(job.prefix, c.options.trajectory > 0);
  c.entries.erase({job.run, job.seed});
  if (!CLEARFILES(files, fault)) return false;
  GUARD(0, files);
  const bool ran = RUNJOB(job, run, fault) == 0;
  if (!ran) DISCARD(files);
  HOLDSIGNALS(true);
  const bool published = ran && PUBLISH(files, fault);
  GUARD(0, {});
  if (published) c.entries[{job.run, job.seed}] = ENTRYOF(job, c.options.trajectory);
  const bool indexed = !published || !INDEXDUE(c) || SAVEINDEX(c, fault);
  HOLDSIGNALS(false);
  return published && indexed;
}

std::int64_t ITERATIONS(const std::vector<const Job*>& jobs) {
  std::int64_t total = 0;
  for (const Job* job : jobs) {
    const auto it = job->settings.find("iterations");
    total += it != job->settings.end() ? it->second.count : 1;
  }
  return total;
}

int RUNALL(Carry& c, const std::vector<const Job*>& todo) {
  Progress progress;
  RunOptions run;
  run.trajectory = c.options.trajectory;
  if (!c.options.quiet) {
    PROGSTART(progress, todo.size(), ITERATIONS(todo), isatty(STDERR_FILENO) == 1);
    run.progress = &progress;
  }
  std::string fault;
  for (std::size_t i = 0; i < todo.size(); ++i) {
    progress.job = i + 1;
    if (!ONEJOB(c, *todo[i], run, fault)) {
      PROGEND(progress);
      std::string indexFault;
      SAVEINDEX(c, indexFault);
      return FAIL("run " + todo[i]->run + ", seed " + std::to_string(todo[i]->seed) + ": " + fault);
    }
    if (!c.options.quiet) PROGJOBDONE(progress);
  }
  PROGEND(progress);
  return SAVEINDEX(c, fault) ? 0 : FAIL(fault);
}

// Where each job's byte of the lock file is: from its run and seed, which
// name its files, whatever the command line picked.
std::vector<std::size_t> POSITIONS(const std::vector<Job>& jobs) {
  std::vector<std::size_t> at;
  for (const Job& job : jobs) at.push_back(CRCTEXT(job.run + "\t" + std::to_string(job.seed)) & 0x3fffffffu);
  return at;
}

}  // namespace

int CARRYOUT(const Study& study, const std::vector<Job>& jobs, const CarryOptions& options) {
  const bool whole = options.whole || options.indexOnly;
  StudyLock lock;
  std::string fault;
  if (!LOCKSTUDY(lock, study.prefix, whole ? std::vector<std::size_t>{} : POSITIONS(jobs), fault)) {
    std::cerr << "duolocus-batch: " << fault << std::endl;
    return 2;
  }
  if (whole) GUARDLOCK(lock.name);
  GUARDSIGNALS();
  Carry c{study, options, {}, false, Clock::now()};
  c.keepsIndex = whole && study.multi;
  int status = 0;
  if (options.indexOnly) {
    status = INDEXONLY(c);
  } else {
    const std::vector<const Job*> todo = PLAN(c, jobs);
    status = SAVEINDEX(c, fault) ? RUNALL(c, todo) : FAIL(fault);
  }
  GUARDLOCK("");
  UNLOCKSTUDY(lock);
  return status;
}

}  // namespace batch
