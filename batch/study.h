// A study file: base settings, a sweep, named runs and seeds, read into the
// list of jobs (one run with one seed each) that the program carries out.
#ifndef DUOLOCUS_BATCH_STUDY_H
#define DUOLOCUS_BATCH_STUDY_H

#include <cstdint>
#include <string>
#include <vector>

#include "model/catalogue.h"

namespace batch {

struct Job {
  std::string run;
  std::uint32_t seed = 0;
  SettingMap settings;  // every setting the study gives this job
  std::string prefix;   // of its output files
  std::string where;    // where the run is defined, for messages
};

struct Study {
  std::string file;
  std::string prefix;
  std::vector<std::string> runs;       // names, in order
  std::vector<Job> jobs;               // run by run, seed by seed
  std::vector<std::string> shownKeys;  // swept keys, then keys set by named runs
  bool multi = false;                  // files are PREFIX_RUN_SEED, with an index
};

// What the command line changes in the study.
struct Overrides {
  std::vector<std::string> sets;  // KEY=VALUE
  bool haveSeed = false;
  std::int64_t seed = 0;
  bool haveOut = false;
  std::string out;
};

// Reads the study at path with the overrides. On failure returns false with
// one message per fault, each naming the place and what is allowed.
bool LOADSTUDY(const std::string& path, const Overrides& overrides, Study& study,
               std::vector<std::string>& faults);

}  // namespace batch

#endif
