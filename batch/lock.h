// One writer per study prefix: an advisory lock (fcntl) on PREFIX.lock,
// which the system releases when its holder ends, however it ends. A run of
// the whole study locks the whole file; a job run on its own (--run, as a
// cluster runs them) shares the study's lock with the other jobs and locks
// its own byte, so two processes never write one job's files and no job
// runs beside a run of the whole study.
#ifndef DUOLOCUS_BATCH_LOCK_H
#define DUOLOCUS_BATCH_LOCK_H

#include <cstddef>
#include <string>
#include <vector>

namespace batch {

struct StudyLock {
  int fd = -1;
  std::string name;
  bool whole = false;
};

// The lock file of a study prefix.
std::string LOCKNAME(const std::string& prefix);

// Takes the lock for the whole study (jobs empty) or for those jobs (each
// a position of its own in the lock file). False with a message naming the prefix and the
// process that holds it, or why the lock file cannot be had.
bool LOCKSTUDY(StudyLock& lock, const std::string& prefix, const std::vector<std::size_t>& jobs,
               std::string& fault);
// Releases the lock; the lock file is removed when no other process holds
// a part of it.
void UNLOCKSTUDY(StudyLock& lock);

}  // namespace batch

#endif
