// How the runs of a study get their seeds (seed_mode):
//  - "common" (the default): every run uses the seeds it is given, so runs
//    that are given the same seeds share them (common random numbers: the
//    points of a sweep then move together);
//  - "independent": run r (counting from 0 in the order of --list) uses its
//    given seeds plus r x W, W the span of all the study's given seeds
//    (largest - smallest + 1), so no two runs share a seed.
#ifndef DUOLOCUS_BATCH_SEEDS_H
#define DUOLOCUS_BATCH_SEEDS_H

#include <string>
#include <vector>

#include <toml++/toml.h>

#include "batch/study.h"

namespace batch {

// Reads seed_mode; false with a message when it is not one of the two.
bool READSEEDMODE(const toml::node& node, bool& independent, std::vector<std::string>& faults);

// Gives the jobs of an independent study their seeds (and so their
// prefixes); there --seed S picks the jobs whose seed is S. False with a
// message when a seed would pass 32767 or --seed picks no job.
bool DERIVESEEDS(Study& study, const Overrides& overrides, std::vector<std::string>& faults);

// One line saying how the study's runs get their seeds, for --check and
// the workflow.
std::string SEEDSTATEMENT(const Study& study);

}  // namespace batch

#endif
