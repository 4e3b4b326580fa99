// A job's files reach their final names only when complete: they are
// written under a temporary name in the same folder (NAME.part) and renamed
// when the job has succeeded. A job that fails, or is interrupted by
// SIGINT, SIGTERM or SIGHUP, removes its temporaries; one killed outright
// leaves only temporaries, which the next run of that job overwrites.
#ifndef DUOLOCUS_BATCH_OUTPUTS_H
#define DUOLOCUS_BATCH_OUTPUTS_H

#include <cstdint>
#include <string>
#include <vector>

namespace batch {

// The temporary name of a file while it is written.
std::string PARTNAME(const std::string& name);
// The longest suffix any file of a prefix gets (for checking name lengths).
extern const char* const LONGESTSUFFIX;

// The files a job writes, by final name: PREFIX.csv, PREFIX.txt and, with a
// trajectory, PREFIX.traj.csv.
std::vector<std::string> JOBFILES(const std::string& prefix, bool trajectory);

// Removes the final and temporary names of files (those that exist), so an
// interrupted rerun cannot leave an older result beside a newer one.
// False with the reason when one cannot be removed.
bool CLEARFILES(const std::vector<std::string>& names, std::string& fault);
// Renames every NAME.part to NAME, the first name last (so the table, which
// a workflow waits for, appears only when the rest are there). False with
// the file and reason when a rename fails; the parts are then removed.
bool PUBLISH(const std::vector<std::string>& names, std::string& fault);
// Removes the temporaries of names.
void DISCARD(const std::vector<std::string>& names);

// The temporaries an interruption must remove: kept in fixed buffers so the
// signal handler touches no allocator. GUARD replaces the guarded set of a
// slot (0: the job's files, 1: the index); an empty list clears it.
void GUARD(int slot, const std::vector<std::string>& names);
// A file to remove as well on interruption (the lock file), or "".
void GUARDLOCK(const std::string& name);
// Removes the guarded temporaries now (before the program ends on a fault).
void DROPGUARDED();
// Installs the handlers of SIGINT, SIGTERM and SIGHUP: they remove the
// guarded temporaries and end the process by the same signal.
void GUARDSIGNALS();

// Holds SIGINT, SIGTERM and SIGHUP back (true) or lets them through again
// (false): a job's files are renamed and recorded in the index as one step.
void HOLDSIGNALS(bool hold);

// Size and CRC-32 (zlib's, the checksum of gzip and PNG) of a file.
struct FileSum {
  bool present = false;
  std::uint64_t bytes = 0;
  std::uint32_t crc = 0;
};
FileSum SUMFILE(const std::string& name);
// CRC-32 of a text.
std::uint32_t CRCTEXT(const std::string& text);
// Eight lowercase hex digits.
std::string HEX32(std::uint32_t value);

}  // namespace batch

#endif
