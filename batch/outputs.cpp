#include "batch/outputs.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace batch {

const char* const LONGESTSUFFIX = ".traj.csv.part";

std::string PARTNAME(const std::string& name) { return name + ".part"; }

std::vector<std::string> JOBFILES(const std::string& prefix, bool trajectory) {
  std::vector<std::string> names = {prefix + ".csv", prefix + ".txt"};
  if (trajectory) names.push_back(prefix + ".traj.csv");
  return names;
}

bool CLEARFILES(const std::vector<std::string>& names, std::string& fault) {
  for (const std::string& name : names) {
    for (const std::string& each : {name, PARTNAME(name)}) {
      // A folder of that name is left alone: the rename then says why.
      if (unlink(each.c_str()) != 0 && errno != ENOENT && errno != EISDIR) {
        fault = "cannot remove the earlier " + each + ": " + std::strerror(errno);
        return false;
      }
    }
  }
  return true;
}

bool PUBLISH(const std::vector<std::string>& names, std::string& fault) {
  for (std::size_t i = names.size(); i-- > 0;) {
    if (std::rename(PARTNAME(names[i]).c_str(), names[i].c_str()) != 0) {
      fault = "cannot write " + names[i] + ": " + std::strerror(errno);
      DISCARD(names);
      for (std::size_t j = i + 1; j < names.size(); ++j) std::remove(names[j].c_str());
      return false;
    }
  }
  return true;
}

void DISCARD(const std::vector<std::string>& names) {
  for (const std::string& name : names) std::remove(PARTNAME(name).c_str());
}

namespace {

// Room for the temporaries of one job (three files) and of the index, and
// the lock file; a name that does not fit is not guarded (it could not be
// created either: names are checked against the system's limits first).
constexpr int kSlots = 2;
constexpr int kNames = 3;
constexpr std::size_t kLength = 4096;
char guarded[kSlots][kNames][kLength];
char guardedLock[kLength];
volatile std::sig_atomic_t counts[kSlots] = {0, 0};

void COPYNAME(char* to, const std::string& from) {
  if (from.size() >= kLength) {
    to[0] = '\0';
    return;
  }
  std::memcpy(to, from.c_str(), from.size() + 1);
}

// Only calls that are safe in a signal handler.
void UNLINKGUARDED() {
  for (int s = 0; s < kSlots; ++s) {
    for (int n = 0; n < counts[s]; ++n) {
      if (guarded[s][n][0] != '\0') unlink(guarded[s][n]);
    }
  }
  if (guardedLock[0] != '\0') unlink(guardedLock);
}

extern "C" void ONINTERRUPT(int sig) {
  UNLINKGUARDED();
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace

void DROPGUARDED() { UNLINKGUARDED(); }

void GUARD(int slot, const std::vector<std::string>& names) {
  counts[slot] = 0;  // the handler looks at no name while they change
  const int n = static_cast<int>(names.size() < kNames ? names.size() : kNames);
  for (int i = 0; i < n; ++i) COPYNAME(guarded[slot][i], PARTNAME(names[static_cast<std::size_t>(i)]));
  counts[slot] = n;
}

void GUARDLOCK(const std::string& name) {
  guardedLock[0] = '\0';
  COPYNAME(guardedLock, name);
}

void GUARDSIGNALS() {
  struct sigaction action {};
  action.sa_handler = ONINTERRUPT;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, sig);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
}

void HOLDSIGNALS(bool hold) {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
  sigprocmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

FileSum SUMFILE(const std::string& name) {
  FileSum sum;
  const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return sum;
  uLong crc = crc32(0L, Z_NULL, 0);
  unsigned char buffer[1 << 16];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      close(fd);
      return FileSum{};
    }
    if (got == 0) break;
    crc = crc32(crc, buffer, static_cast<uInt>(got));
    sum.bytes += static_cast<std::uint64_t>(got);
  }
  close(fd);
  sum.present = true;
  sum.crc = static_cast<std::uint32_t>(crc);
  return sum;
}

std::uint32_t CRCTEXT(const std::string& text) {
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(text.data()),
                          static_cast<uInt>(text.size()));
  return static_cast<std::uint32_t>(crc);
}

std::string HEX32(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

}  // namespace batch
