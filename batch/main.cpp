// duolocus-batch: runs a study file, one job per run and seed, each job
// writing the files the console program writes for the same settings.
#include <CLI/CLI.hpp>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "batch/carry.h"
#include "batch/describe.h"
#include "batch/limits.h"
#include "batch/resume.h"
#include "batch/seeds.h"
#include "batch/session.h"
#include "batch/study.h"
#include "model/runentry.h"
#include "model/settings.h"

namespace {

constexpr int kBadInput = 2;
constexpr int kWriteFailed = 1;

struct Options {
  std::string studyFile;
  batch::Overrides overrides;
  std::int64_t trajectory = 0;
  std::string runName;
  bool quiet = false, check = false, list = false, session = false, indexOnly = false;
  bool keys = false, json = false;
  bool force = false, prints = false;
};

int REFUSE(const std::vector<std::string>& faults) {
  for (const std::string& fault : faults) std::cerr << "duolocus-batch: " << fault << '\n';
  std::cerr << "duolocus-batch: nothing was written" << std::endl;
  return kBadInput;
}

int PRINT(const std::string& text) {
  std::cout << text << std::flush;
  return std::cout.fail() ? kWriteFailed : 0;
}

// Reads the command line into o; returns -1 to go on, else the exit status.
int PARSEARGS(int argc, char** argv, Options& o) {
  CLI::App app{"Runs the Duolocus simulations of a study file; see docs/batch.md."};
  auto* studyOpt = app.add_option("STUDY", o.studyFile, "the study file (TOML)");
  auto* seedOpt = app.add_option("-s,--seed", o.overrides.seed,
                                 "run every job with this seed (1 to " + std::to_string(MAXSEED) + ")");
  auto* outOpt = app.add_option("-o,--out", o.overrides.out, "prefix of the output files");
  app.add_option("-d,--set", o.overrides.sets, "KEY=VALUE: a setting, as in the study file (dotted key)")
      ->allow_extra_args(false);
  app.add_option("--trajectory", o.trajectory, "also write PREFIX.traj.csv, every K generations")
      ->check(CLI::Range(std::int64_t{1}, MAXTRAJECTORY));
  app.add_option("--run", o.runName, "carry out this run of the study only");
  app.add_flag("-q,--quiet", o.quiet, "no progress on standard error");
  app.add_flag("--check", o.check, "check the study and print what each run starts from; write nothing");
  auto* listOpt = app.add_flag("--list", o.list, "print the jobs: run, seed and output prefix, tab-separated");
  app.add_flag("--session", o.session, "print the console session that makes the same run");
  app.add_flag("--write-index", o.indexOnly, "write the index file only");
  auto* keysOpt = app.add_flag("--keys", o.keys, "print every setting a study may give, with its range and default")
      ->excludes(studyOpt);
  app.add_flag("--json", o.json, "with --keys: print them as JSON")->needs(keysOpt);
  app.add_flag("--force", o.force, "run every job, also those whose files are complete and match the study");
  app.add_option("--max-jobs", o.overrides.maxJobs, "refuse a study of more jobs (default 100000)")
      ->check(CLI::PositiveNumber);
  app.add_flag("--fingerprints", o.prints, "with --list: a fourth column, each job's fingerprint")
      ->needs(listOpt);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "duolocus-batch: " << e.what() << "\nRun with --help for the options." << std::endl;
    return kBadInput;
  }
  if (o.studyFile.empty() && !o.keys) {
    std::cerr << "duolocus-batch: STUDY is required\nRun with --help for the options." << std::endl;
    return kBadInput;
  }
  o.overrides.haveSeed = seedOpt->count() > 0;
  o.overrides.haveOut = outOpt->count() > 0;
  return -1;
}

// The jobs of the chosen run, or every job.
bool CHOOSE(const batch::Study& study, const std::string& runName, std::vector<batch::Job>& jobs,
            std::vector<std::string>& faults) {
  jobs = study.jobs;
  if (runName.empty()) return true;
  std::vector<batch::Job> chosen;
  for (const batch::Job& job : jobs) {
    if (job.run == runName) chosen.push_back(job);
  }
  if (chosen.empty()) {
    std::string names;
    for (const std::string& n : study.runs) names += (names.empty() ? "" : ", ") + n;
    faults.push_back("--run " + runName + ": the study has no such run; its runs are " + names);
    return false;
  }
  jobs.swap(chosen);
  return true;
}

// Every job's settings as the run will take them; with describe, the text
// of what each starts from.
bool CHECKJOBS(const batch::Study& study, const std::vector<batch::Job>& jobs, std::string& describe,
               std::vector<std::string>& faults) {
  for (const batch::Job& job : jobs) {
    std::vector<std::string> jobFaults;
    RunPreview preview;
    if (PREVIEWRUN(job.settings, preview, jobFaults)) {
      describe += batch::JOBTEXT(job, preview);
      continue;
    }
    for (const std::string& f : jobFaults) {
      faults.push_back(study.file + ": run " + job.run + ", seed " + std::to_string(job.seed) + ": " + f);
    }
  }
  return faults.empty();
}

int SESSION(const std::vector<batch::Job>& jobs) {
  if (jobs.size() != 1) {
    return REFUSE({"--session makes the console session of one job: choose it with --run NAME and --seed S"});
  }
  std::string text, fault;
  if (!batch::CONSOLESESSION(jobs[0].settings, jobs[0].prefix, jobs[0].seed, text, fault)) return REFUSE({fault});
  return PRINT(text);
}

int LIST(const std::vector<batch::Job>& jobs, const Options& o) {
  std::string text;
  for (const batch::Job& job : jobs) {
    text += job.run + '\t' + std::to_string(job.seed) + '\t' + job.prefix;
    text += (o.prints ? '\t' + batch::JOBPRINT(job, o.trajectory) : std::string()) + '\n';
  }
  return PRINT(text);
}

int STUDY(const Options& o) {
  std::vector<std::string> faults;
  batch::Study study;
  std::vector<batch::Job> jobs;
  if (!batch::LOADSTUDY(o.studyFile, o.overrides, study, faults)) return REFUSE(faults);
  if (!CHOOSE(study, o.runName, jobs, faults)) return REFUSE(faults);
  std::string describe;
  if (!CHECKJOBS(study, jobs, describe, faults)) return REFUSE(faults);
  if (!o.list && !o.session) batch::PREFIXFAULTS(study, faults);
  if (!faults.empty()) return REFUSE(faults);
  if (o.check) return PRINT(describe + study.file + ": " + batch::SEEDSTATEMENT(study) + '\n');
  if (o.list) return LIST(jobs, o);
  if (o.session) return SESSION(jobs);
  batch::CarryOptions carry;
  carry.trajectory = o.trajectory;
  carry.quiet = o.quiet;
  carry.force = o.force;
  carry.indexOnly = o.indexOnly;
  carry.whole = o.runName.empty();
  return batch::CARRYOUT(study, jobs, carry);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
  Options o;
  const int parsed = PARSEARGS(argc, argv, o);
  if (parsed >= 0) return parsed;
  if (o.keys) return PRINT(o.json ? CATALOGUEJSON() : batch::KEYSTEXT());
  return STUDY(o);
}
