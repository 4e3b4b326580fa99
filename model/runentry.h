// The run entry: how every front end other than the console dialogue
// (duolocus-batch, the Python package, the browser lab) carries out one
// run. Read this header and nothing else to drive the engine.
//
//   RunRequest request;
//   request.settings = ...;      // study keys, converted with TOVALUE
//   request.seed = 42;
//   request.prefix = "out/run1"; // or "" for no files
//   RunResult result;
//   RUNENTRY(request, result);   // 0: done; 1: a file failed; 2: refused
//
// A run starts from a fresh program and a fresh random table, applies the
// settings as the editors of the settings screen would, and hands over
// exactly as the console's C command does (the same procedure), so for the
// same settings and seed PREFIX.csv and PREFIX.txt are byte for byte the
// console program's. The engine keeps program-wide state: one run at a
// time in a process; run in parallel with separate processes.
//
// With prefix "" nothing is written to disk: the two files are kept in
// memory and keepBytes hands them back (the report names its own file:
// set namedAs to the prefix it should name). The console's progress goes
// nowhere; observers see each generation and iteration instead. Before a
// run, PREVIEWRUN says what it will start from; during one, RUNPOSITION
// says where it stands.
#ifndef DUOLOCUS_MODEL_RUNENTRY_H
#define DUOLOCUS_MODEL_RUNENTRY_H

#include <cstdint>
#include <string>
#include <vector>

#include "model/catalogue.h"
#include "model/settings.h"

// The population after one generation, as the trajectory file shows it.
struct GenerationStats {
  std::int64_t iter = 0;
  std::int64_t gen = 0;
  double pA = 0, pB = 0;                  // allele frequencies of A and B
  double pAB = 0, pAb = 0, paB = 0, pab = 0;  // haplotype frequencies
  double D = 0;                           // pAB * pab - pAb * paB
  double HoA = 0, HeA = 0, HoB = 0, HeB = 0;  // observed and expected heterozygosity
};
// The largest step of the trajectory file (every K generations): a step
// beyond the generation limit would sample nothing but the last. 0 means
// no trajectory.
constexpr std::int64_t MAXTRAJECTORY = MAXGEN;
// The column names of the trajectory file, one line without its end.
extern const char* const TRAJHEADER;
// The current generation's statistics.
void GENSTATS(GenerationStats& out);

// The run's tallies, as the summary statistics count them.
struct RunTallies {
  std::int64_t iterations = 0;         // asked for
  std::int64_t extinct = 0;            // halted by extinction (no CSV row)
  std::int64_t alphaFixed[3] = {0, 0, 0};  // A, a, none
  std::int64_t betaFixed[3] = {0, 0, 0};   // B, b, none
};

// Observers, all optional. They draw nothing and write nothing to the
// files, so a run is the same with or without them.
using RunObserver = void (*)(void* context);

struct RunRequest {
  SettingMap settings;
  std::uint32_t seed = 1;       // 1 to 32767
  std::string prefix;           // PREFIX.csv and PREFIX.txt; "" writes no file
  std::string namedAs;          // prefix "": the prefix the report names as its own
  bool keepBytes = false;       // return the bytes of both files in the result
  std::int64_t trajectory = 0;  // K: sample every K generations and the last; 0 none
  RunObserver onGeneration = nullptr;  // after each generation (GENSTATS reads it)
  RunObserver onIteration = nullptr;   // after each iteration's row and tallies
  void* context = nullptr;
  // Memory for the population ran out (before any file was opened): called
  // instead of ending the process, and must not return (throw or exit).
  RunObserver onHalt = nullptr;
};

struct RunResult {
  int status = 0;                   // 0 done, 1 a file could not be written, 2 refused
  std::vector<std::string> faults;  // status 2: the refusals; status 1: the file and reason
  std::string csv;                  // keepBytes: PREFIX.csv as written
  std::string txt;                  // keepBytes: PREFIX.txt as written
  std::string trajectory;           // trajectory > 0: PREFIX.traj.csv as written
  RunTallies tallies;
};

// The seed's check as every front end makes it: "" for a whole number from
// 1 to MAXSEED, else the message a refused run would give. Takes a double
// so that a front end can hand over whatever number it was given.
std::string SEEDFAULT(double seed);

// The check of an output prefix every front end makes before a run: "" when
// PREFIX.csv and PREFIX.txt name files, else why not. A prefix that ends
// in '/' would hide its files as FOLDER/.csv; one that names a folder
// would put them beside it while seeming to put them in it.
std::string PREFIXFAULT(const std::string& prefix);

// Carries out one run. Returns result.status.
int RUNENTRY(const RunRequest& request, RunResult& result);

// What a run will start from, for a front end to show before it runs:
// the founders, their allele and haplotype frequencies and D (double
// heterozygotes of a given phase counted in it; those whose phase is drawn
// counted half in each phase, so the haplotypes and D are then what the
// draws give on average), the fitnesses as the run uses them (scaled) and
// the immigrants.
struct RunPreview {
  std::int64_t population = 0;
  std::int64_t founders[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};  // genotype order; [4] all AaBb
  std::int64_t phased[2] = {0, 0};      // of the AaBb founders: AB/ab, Ab/aB; the rest are drawn
  double pA = 0, pB = 0;
  double haplotypes[4] = {0, 0, 0, 0};  // AB, Ab, aB, ab
  double D = 0;                         // pAB pab - pAb paB of the founders
  double fitness[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  double immigrants = 0;                // per generation; 0 without migration
  double mix[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};  // shares among immigrants
};
// Applies the settings as RUNENTRY would (nothing is run or written) and
// fills preview. Returns false with the same refusals as RUNENTRY.
bool PREVIEWRUN(const SettingMap& settings, RunPreview& preview, std::vector<std::string>& faults);

// Where the run under way stands; cheap enough for an observer to ask after
// every generation (GENSTATS counts the whole population).
struct RunPosition {
  std::int64_t iter = 0;        // 1 to iterations; iterations + 1 once all are done
  std::int64_t gen = 0;         // generation last built in this iteration
  std::int64_t genLimit = 0;    // max_generations
  std::int64_t iterations = 0;
  std::int64_t population = 0;
  bool going = false;           // the iteration goes on after this generation
};
RunPosition RUNPOSITION();

#endif
