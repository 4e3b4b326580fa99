// Resuming a study: the index PREFIX_index.csv lists the jobs whose files
// are complete, each with the size and CRC-32 of every file and a
// fingerprint of what made them (the program, the settings, the seed, the
// prefix and the trajectory interval). A job is done when its line is
// there, its fingerprint is the one the study now gives it, and its files
// have those sizes and checksums; a run of the study skips done jobs.
#ifndef DUOLOCUS_BATCH_RESUME_H
#define DUOLOCUS_BATCH_RESUME_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "batch/outputs.h"
#include "batch/study.h"

namespace batch {

// The fingerprint of a job: CRC-32 of a canonical text of everything that
// decides its files' bytes, as eight hex digits.
std::string JOBPRINT(const Job& job, std::int64_t trajectory);

// What the index says of one job.
struct IndexEntry {
  std::string print;
  std::vector<std::string> files;  // relative to the index
  std::vector<FileSum> sums;
};
using IndexEntries = std::map<std::pair<std::string, std::uint32_t>, IndexEntry>;

// Reads an index written by this program; an index that is missing, from
// an older version or unreadable gives no entries (its jobs run again).
IndexEntries READINDEX(const std::string& name);

// Whether the job's files are complete and its entry matches the study.
bool JOBDONE(const Job& job, std::int64_t trajectory, const IndexEntries& entries);

// The entry of a job from its files as they stand.
IndexEntry ENTRYOF(const Job& job, std::int64_t trajectory);

// Writes the index (through a temporary name) with the jobs of the study
// that have an entry, in study order. False with the reason on failure.
bool WRITEINDEX(const Study& study, const std::string& name, const IndexEntries& entries,
                std::string& fault);

}  // namespace batch

#endif
