#include "batch/seeds.h"

#include <algorithm>
#include <map>
#include <set>

#include "batch/values.h"
#include "model/settings.h"

namespace batch {

bool READSEEDMODE(const toml::node& node, bool& independent, std::vector<std::string>& faults) {
  const auto* mode = node.as_string();
  if (mode != nullptr && (mode->get() == "common" || mode->get() == "independent")) {
    independent = mode->get() == "independent";
    return true;
  }
  faults.push_back(WHERE(node) + ": seed_mode must be \"common\" (every run uses the seeds it is given) or "
                   "\"independent\" (each run its own seeds, derived from those given)");
  return false;
}

namespace {

bool PICKSEED(Study& study, std::int64_t seed, std::vector<std::string>& faults) {
  std::vector<Job> picked;
  for (const Job& job : study.jobs) {
    if (job.seed == seed) picked.push_back(job);
  }
  if (picked.empty()) {
    faults.push_back("--seed " + std::to_string(seed) + ": under seed_mode = \"independent\" --seed picks the jobs "
                     "of that seed, and no job has it (--list gives every job's seed)");
    return false;
  }
  study.jobs.swap(picked);
  return true;
}

}  // namespace

bool DERIVESEEDS(Study& study, const Overrides& overrides, std::vector<std::string>& faults) {
  if (!study.independentSeeds || study.jobs.empty()) return true;
  std::uint32_t lo = MAXSEED, hi = 1;
  for (const Job& job : study.jobs) lo = std::min(lo, job.seed), hi = std::max(hi, job.seed);
  const std::uint64_t span = hi - lo + 1;
  std::uint64_t run = 0;
  for (std::size_t i = 0; i < study.jobs.size(); ++i) {
    Job& job = study.jobs[i];
    if (i > 0 && job.run != study.jobs[i - 1].run) ++run;
    const std::uint64_t seed = job.seed + run * span;
    if (seed > static_cast<std::uint64_t>(MAXSEED)) {
      faults.push_back(study.file + ": seed_mode = \"independent\" gives run " + job.run + " the seed " +
                       std::to_string(seed) + ", above 32767 (" + std::to_string(study.runs.size()) +
                       " runs, seeds spanning " + std::to_string(span) + "): give fewer seeds or runs");
      return false;
    }
    job.seed = static_cast<std::uint32_t>(seed);
    if (study.multi) job.prefix = study.prefix + "_" + job.run + "_" + std::to_string(job.seed);
  }
  return !overrides.haveSeed || PICKSEED(study, overrides.seed, faults);
}

std::string SEEDSTATEMENT(const Study& study) {
  std::map<std::uint32_t, int> uses;
  for (const Job& job : study.jobs) ++uses[job.seed];
  std::size_t shared = 0;
  for (const auto& [seed, n] : uses) shared += n > 1 ? static_cast<std::size_t>(n) : 0;
  const auto count = [](std::size_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
  };
  std::string line = count(study.jobs.size(), "job") + " in " + count(study.runs.size(), "run") + "; seeds: ";
  line += study.independentSeeds ? "independent (seed_mode = \"independent\": each run its own seeds)"
                                 : "common (seed_mode = \"common\": runs given the same seeds share them)";
  if (shared > 0) {
    line += "; " + std::to_string(shared) + " jobs share their seed with another run's job, so their results "
            "are not independent";
  }
  return line;
}

}  // namespace batch
