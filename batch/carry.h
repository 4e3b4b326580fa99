// Carries out the jobs of a study as one writer: the study's lock is taken
// first; a run of the whole study skips the jobs that are done (resume)
// unless forced, removes a job's earlier files before running it, writes
// each job's files under temporary names and renames them on success, and
// keeps the index listing exactly the jobs whose files are complete.
#ifndef DUOLOCUS_BATCH_CARRY_H
#define DUOLOCUS_BATCH_CARRY_H

#include <cstdint>
#include <vector>

#include "batch/study.h"

namespace batch {

struct CarryOptions {
  std::int64_t trajectory = 0;
  bool quiet = false;
  bool force = false;      // run every job, done or not
  bool indexOnly = false;  // --write-index
  bool whole = true;       // the whole study (no --run)
};

// Returns the exit status: 0 done, 1 a file could not be written, 2 the
// study is in use by another process.
int CARRYOUT(const Study& study, const std::vector<Job>& jobs, const CarryOptions& options);

}  // namespace batch

#endif
