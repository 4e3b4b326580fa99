// Progress of a study on standard error: the job and iteration under way,
// generations per second and the time left. On a terminal one line is
// redrawn in place; otherwise one line is written as each job ends.
#ifndef DUOLOCUS_BATCH_PROGRESS_H
#define DUOLOCUS_BATCH_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <string>

namespace batch {

struct Progress {
  bool on = false;
  bool terminal = false;
  std::size_t jobs = 0;           // in the study
  std::int64_t totalIters = 0;    // over all jobs
  std::int64_t doneIters = 0;     // of finished jobs and iterations
  std::size_t job = 0;            // 1-based, the job under way
  std::string name;               // run and seed of the job under way
  std::int64_t jobIters = 0;
  std::int64_t jobGens = 0;
  std::int64_t sinceLook = 0;
  std::chrono::steady_clock::time_point start, jobStart, lastDraw;
};

void PROGSTART(Progress& p, std::size_t jobs, std::int64_t totalIters, bool terminal);
void PROGJOB(Progress& p, std::size_t job, const std::string& name, std::int64_t iters);
// After every generation: redraws at most a few times a second.
void PROGGEN(Progress& p);
void PROGITER(Progress& p);
void PROGJOBDONE(Progress& p);
// Ends the redrawn line.
void PROGEND(Progress& p);

// Seconds as m:ss or h:mm:ss.
std::string CLOCKTEXT(double seconds);

}  // namespace batch

#endif
