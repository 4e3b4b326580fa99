// What duolocus-batch prints about settings rather than runs: the
// catalogue (--keys) and, for each job, what its run will start from
// (--check).
#ifndef DUOLOCUS_BATCH_DESCRIBE_H
#define DUOLOCUS_BATCH_DESCRIBE_H

#include <string>

#include "batch/study.h"
#include "model/runentry.h"

namespace batch {

// Every setting of the catalogue as text: key and default as a study file
// writes them, what is allowed, what it means and its screen field.
std::string KEYSTEXT();

// The population, starting allele and haplotype frequencies, fitnesses and
// immigrant mix of one job, a few lines headed by its run and seed.
std::string JOBTEXT(const Job& job, const RunPreview& preview);

}  // namespace batch

#endif
