// Bounds that keep a study file from crashing or exhausting the machine,
// checked before the parser or the expansion could: how deeply the file
// nests, and how many jobs it makes. And the check that every output file
// of a study can be created where its prefix puts it.
#ifndef DUOLOCUS_BATCH_LIMITS_H
#define DUOLOCUS_BATCH_LIMITS_H

#include <cstdint>
#include <string>
#include <vector>

#include <toml++/toml.h>

#include "batch/study.h"

namespace batch {

// The deepest nesting a study may have: tables, dotted keys, lists and
// inline tables together. The deepest a study needs is 5
// ([runs.NAME.migration.mix] AABB = 0.5).
constexpr int MAXNESTING = 8;
// The default bound on the number of jobs of a study (--max-jobs).
constexpr std::uint64_t MAXJOBS = 100000;

// Scans TOML text (of the file named where) without parsing it. False
// with a message naming the line when it nests deeper than MAXNESTING.
bool NESTINGOK(const std::string& text, const std::string& where, std::vector<std::string>& faults);

// The number of jobs the parsed study (with --set applied) will make,
// counted from its lists without expanding them; at most 2^62.
std::uint64_t JOBCOUNT(const toml::table& root, bool seedGiven);
// False with a message giving the count when it is above limit.
bool JOBCOUNTOK(const toml::table& root, const std::string& path, bool seedGiven, std::uint64_t limit,
                std::vector<std::string>& faults);

// Every output file of the study, its temporaries and its lock file: the
// folder must exist and be writable, every name must fit the folder's
// limit. Appends one message per fault.
void PREFIXFAULTS(const Study& study, std::vector<std::string>& faults);

}  // namespace batch

#endif
