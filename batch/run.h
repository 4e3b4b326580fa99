// Carries out jobs through the run entry (model/runentry.h): a fresh
// program and random table for each, the settings applied, the run made
// exactly as the console makes it, and every output file checked.
#ifndef DUOLOCUS_BATCH_RUN_H
#define DUOLOCUS_BATCH_RUN_H

#include <cstdint>
#include <string>
#include <vector>

#include "batch/progress.h"
#include "batch/study.h"

namespace batch {

struct RunOptions {
  std::int64_t trajectory = 0;  // K, 0 for none
  Progress* progress = nullptr;  // null when quiet
};

// Runs one job. Returns 0, or 1 with a message naming the file and the
// reason when an output file could not be opened or written completely
// (2 when its settings are refused, which a checked study never is).
int RUNJOB(const Job& job, const RunOptions& options, std::string& fault);

// Writes the index of a study: one line per job. Returns false with the
// reason when the file could not be written.
bool WRITEINDEX(const Study& study, const std::string& name, std::int64_t trajectory,
                std::string& fault);
// The name of a study's index file.
std::string INDEXNAME(const Study& study);

// A CSV field, quoted when it holds a comma, a quote or a line end.
std::string CSVFIELD(const std::string& text);

}  // namespace batch

#endif
