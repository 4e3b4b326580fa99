#include "batch/lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace batch {

namespace {

bool SETLOCK(int fd, short type, off_t start, off_t length) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = start;
  range.l_len = length;
  return fcntl(fd, F_SETLK, &range) == 0;
}

// The process holding a lock that conflicts with the one asked for.
pid_t HOLDER(int fd, short type, off_t start, off_t length) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = start;
  range.l_len = length;
  if (fcntl(fd, F_GETLK, &range) != 0 || range.l_type == F_UNLCK) return 0;
  return range.l_pid;
}

// Whether fd is still the file at name: a holder that ends removes the
// file, and a process that opened it just before must not lock the
// removed file.
bool STILLTHERE(int fd, const std::string& name) {
  struct stat opened {}, named {};
  return fstat(fd, &opened) == 0 && stat(name.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

std::string BUSY(const std::string& prefix, pid_t pid) {
  return prefix + " is in use by another duolocus-batch" +
         (pid > 0 ? " (process " + std::to_string(pid) + ")" : std::string()) +
         "; one process at a time writes a study's files: wait for it to end, or stop it";
}

// Tries every lock asked for; the position of the one refused, or -1.
int TAKE(int fd, const std::vector<std::size_t>& jobs, short& type, off_t& start, off_t& length) {
  if (jobs.empty()) {
    type = F_WRLCK, start = 0, length = 0;
    return SETLOCK(fd, type, start, length) ? -1 : 0;
  }
  type = F_RDLCK, start = 0, length = 1;
  if (!SETLOCK(fd, type, start, length)) return 0;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    type = F_WRLCK, start = static_cast<off_t>(jobs[i] + 1), length = 1;
    if (!SETLOCK(fd, type, start, length)) return static_cast<int>(i) + 1;
  }
  return -1;
}

}  // namespace

std::string LOCKNAME(const std::string& prefix) { return prefix + ".lock"; }

bool LOCKSTUDY(StudyLock& lock, const std::string& prefix, const std::vector<std::size_t>& jobs,
               std::string& fault) {
  lock.name = LOCKNAME(prefix);
  lock.whole = jobs.empty();
  for (int attempt = 0; attempt < 10; ++attempt) {
    lock.fd = open(lock.name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock.fd < 0) {
      fault = "cannot write " + lock.name + ": " + std::strerror(errno);
      return false;
    }
    short type = 0;
    off_t start = 0, length = 0;
    if (TAKE(lock.fd, jobs, type, start, length) >= 0) {
      const int err = errno;
      const pid_t pid = (err == EACCES || err == EAGAIN) ? HOLDER(lock.fd, type, start, length) : 0;
      close(lock.fd);
      lock.fd = -1;
      fault = (err == EACCES || err == EAGAIN) ? BUSY(prefix, pid)
                                               : "cannot lock " + lock.name + ": " + std::strerror(err);
      return false;
    }
    if (STILLTHERE(lock.fd, lock.name)) return true;
    close(lock.fd);
    lock.fd = -1;
  }
  fault = "cannot lock " + lock.name + ": it keeps being replaced";
  return false;
}

void UNLOCKSTUDY(StudyLock& lock) {
  if (lock.fd < 0) return;
  // Alone on the file when the whole of it can be locked.
  if (SETLOCK(lock.fd, F_WRLCK, 0, 0) && STILLTHERE(lock.fd, lock.name)) unlink(lock.name.c_str());
  close(lock.fd);
  lock.fd = -1;
}

}  // namespace batch
