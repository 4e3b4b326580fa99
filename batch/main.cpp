// duolocus-batch: runs a study file, one job per run and seed, each job
// writing the files the console program writes for the same settings.
#include <CLI/CLI.hpp>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "batch/apply.h"
#include "batch/carry.h"
#include "batch/limits.h"
#include "batch/resume.h"
#include "batch/seeds.h"
#include "batch/session.h"
#include "batch/study.h"
#include "model/settings.h"

namespace {

constexpr int kBadInput = 2;
constexpr int kWriteFailed = 1;

int REFUSE(const std::vector<std::string>& faults) {
  for (const std::string& fault : faults) std::cerr << "duolocus-batch: " << fault << '\n';
  std::cerr << "duolocus-batch: nothing was written" << std::endl;
  return kBadInput;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
  CLI::App app{"Runs the Duolocus simulations of a study file; see docs/batch.md."};
  std::string studyFile;
  batch::Overrides overrides;
  std::int64_t trajectory = 0;
  std::string runName;
  bool quiet = false, check = false, list = false, session = false, indexOnly = false, force = false,
       prints = false;
  app.add_option("STUDY", studyFile, "the study file (TOML)")->required();
  auto* seedOpt = app.add_option("-s,--seed", overrides.seed, "run every job with this seed (1 to 32767)");
  auto* outOpt = app.add_option("-o,--out", overrides.out, "prefix of the output files");
  app.add_option("-d,--set", overrides.sets, "KEY=VALUE: a setting, as in the study file (dotted key)")
      ->allow_extra_args(false);
  app.add_option("--trajectory", trajectory, "also write PREFIX.traj.csv, every K generations")
      ->check(CLI::Range(std::int64_t{1}, MAXGEN));
  app.add_option("--run", runName, "carry out this run of the study only");
  app.add_flag("-q,--quiet", quiet, "no progress on standard error");
  app.add_flag("--check", check, "check the study and every run, write nothing");
  app.add_flag("--list", list, "print the jobs: run, seed and output prefix, tab-separated");
  app.add_flag("--fingerprints", prints, "with --list: a fourth column, each job's fingerprint (as the index has it)");
  app.add_flag("--session", session, "print the console session that makes the same run");
  app.add_flag("--write-index", indexOnly, "write the index file only");
  app.add_flag("--force", force, "run every job, also those whose files are complete and match the study");
  app.add_option("--max-jobs", overrides.maxJobs, "refuse a study of more jobs than this (default 100000)")
      ->check(CLI::PositiveNumber);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "duolocus-batch: " << e.what() << "\nRun with --help for the options." << std::endl;
    return kBadInput;
  }
  overrides.haveSeed = seedOpt->count() > 0;
  overrides.haveOut = outOpt->count() > 0;

  std::vector<std::string> faults;
  batch::Study study;
  if (!batch::LOADSTUDY(studyFile, overrides, study, faults)) return REFUSE(faults);
  std::vector<batch::Job> jobs = study.jobs;
  if (!runName.empty()) {
    std::vector<batch::Job> chosen;
    for (const batch::Job& job : jobs) {
      if (job.run == runName) chosen.push_back(job);
    }
    if (chosen.empty()) {
      std::string names;
      for (const std::string& n : study.runs) names += (names.empty() ? "" : ", ") + n;
      return REFUSE({"--run " + runName + ": the study has no such run; its runs are " + names});
    }
    jobs.swap(chosen);
  }
  for (const batch::Job& job : jobs) {
    std::vector<std::string> jobFaults;
    if (!batch::APPLYSETTINGS(job.settings, jobFaults)) {
      for (const std::string& f : jobFaults) {
        faults.push_back(study.file + ": run " + job.run + ", seed " + std::to_string(job.seed) + ": " + f);
      }
    }
  }
  if (!list && !session) batch::PREFIXFAULTS(study, faults);
  if (!faults.empty()) return REFUSE(faults);
  if (check) {
    std::cout << study.file << ": " << batch::SEEDSTATEMENT(study) << std::endl;
    return std::cout.fail() ? kWriteFailed : 0;
  }
  if (list) {
    for (const batch::Job& job : jobs) {
      std::cout << job.run << '\t' << job.seed << '\t' << job.prefix;
      std::cout << (prints ? '\t' + batch::JOBPRINT(job, trajectory) : std::string()) << '\n';
    }
    std::cout << std::flush;
    return std::cout.fail() ? kWriteFailed : 0;
  }
  if (session) {
    if (jobs.size() != 1) {
      return REFUSE({"--session makes the console session of one job: choose it with --run NAME and --seed S"});
    }
    std::string text, fault;
    if (!batch::CONSOLESESSION(jobs[0].settings, jobs[0].prefix, jobs[0].seed, text, fault)) return REFUSE({fault});
    std::cout << text << std::flush;
    return std::cout.fail() ? kWriteFailed : 0;
  }
  batch::CarryOptions carry;
  carry.trajectory = trajectory;
  carry.quiet = quiet;
  carry.force = force;
  carry.indexOnly = indexOnly;
  carry.whole = runName.empty();
  return batch::CARRYOUT(study, jobs, carry);
}
