#include "model/runentry.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <fstream>
#include <iterator>
#include <sstream>

#include "console/io.h"
#include "model/driver.h"
#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"
#include "report/files.h"
#include "report/format.h"
#include "report/report.h"

const char* const TRAJHEADER = "iter,gen,p_A,p_B,p_AB,p_Ab,p_aB,p_ab,D,Ho_A,He_A,Ho_B,He_B";

void GENSTATS(GenerationStats& out) {
  std::int64_t coupling = 0;
  std::int64_t hap[4];
  CHROMCOUNT(coupling, hap);
  const double chromosomes = static_cast<double>(2 * NTot);
  out.iter = rep;
  out.gen = gen;
  out.pAB = static_cast<double>(hap[0]) / chromosomes;
  out.pAb = static_cast<double>(hap[1]) / chromosomes;
  out.paB = static_cast<double>(hap[2]) / chromosomes;
  out.pab = static_cast<double>(hap[3]) / chromosomes;
  // The same sums, in the same order, as the iteration table's final
  // frequencies, so the last sample of an iteration shows its row's values.
  out.pA = f[3] / 2.0 + f[0] + f[1] + f[4] / 2.0 + f[2] + f[5] / 2.0;
  out.pB = f[1] / 2.0 + f[0] + f[3] + f[4] / 2.0 + f[6] + f[7] / 2.0;
  out.D = out.pAB * out.pab - out.pAb * out.paB;
  out.HoA = f[3] + f[4] + f[5];
  out.HeA = 2.0 * out.pA * (1.0 - out.pA);
  out.HoB = f[1] + f[4] + f[7];
  out.HeB = 2.0 * out.pB * (1.0 - out.pB);
}

namespace {

// The run under way: the driver's hooks take no arguments.
const RunRequest* liveRequest = nullptr;
std::ostringstream liveTrajectory;

// The console's progress lines go nowhere, and nothing is ever read.
std::ostream& NULLOUT() {
  static std::ostream out(nullptr);
  return out;
}
std::istream& NULLIN() {
  static std::istringstream in;
  return in;
}

const RunRequest* haltRequest = nullptr;

[[noreturn]] void ONHALT() {
  haltRequest->onHalt(haltRequest->context);
  std::exit(EXITSTATUS());  // it must not return; never leave GIVEUP either way
}

void TRAJROW() {
  GenerationStats s;
  GENSTATS(s);
  const double values[11] = {s.pA, s.pB, s.pAB, s.pAb, s.paB, s.pab, s.D, s.HoA, s.HeA, s.HoB, s.HeB};
  liveTrajectory << s.iter << ',' << s.gen;
  for (double v : values) {
    liveTrajectory << ',';
    PUTFIXED(liveTrajectory, v + 0.0, 7);
  }
  liveTrajectory << '\n';
}

// The founders are the trajectory's first row, generation 0 of every
// iteration, so that a figure starts where the run starts.
void ONFOUNDERS() {
  if (liveRequest->trajectory > 0) TRAJROW();
}

void ONGENERATION() {
  const std::int64_t every = liveRequest->trajectory;
  // Every K-th generation, and the last of each iteration.
  if (every > 0 && (gen % every == 0 || contIter == 0)) TRAJROW();
  if (liveRequest->onGeneration != nullptr) liveRequest->onGeneration(liveRequest->context);
}

void ONITERATION() {
  if (liveRequest->onIteration != nullptr) liveRequest->onIteration(liveRequest->context);
}

std::string READBACK(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int REFUSE(RunResult& result, int status) {
  result.status = status;
  return status;
}

// Applies the settings and the seed; false with the refusals in result.
bool PREPARE(const RunRequest& request, RunResult& result) {
  if (!APPLYSETTINGS(request.settings, result.faults)) return false;
  const std::string seedFault = SEEDFAULT(static_cast<double>(request.seed));
  if (!seedFault.empty()) {
    result.faults.push_back(seedFault);
    return false;
  }
  const std::string prefixFault = request.prefix.empty() ? "" : PREFIXFAULT(request.prefix);
  if (!prefixFault.empty()) {
    result.faults.push_back(prefixFault);
    return false;
  }
  return true;
}

// The run itself, from the allocation to the closed files.
void SIMULATE(const RunRequest& request) {
  liveRequest = &request;
  liveTrajectory.str(std::string());
  if (request.trajectory > 0) liveTrajectory << TRAJHEADER << '\n';
  // No hook without an observer: a plain run calls nothing per generation.
  if (request.trajectory > 0 || request.onGeneration != nullptr) generationHook = ONGENERATION;
  if (request.trajectory > 0) foundersHook = ONFOUNDERS;
  if (request.onIteration != nullptr) iterationHook = ONITERATION;
  RUNINIT();
  RUNITERATIONS();
  CLOSEFILES();
  foundersHook = generationHook = iterationHook = nullptr;
}

void TALLIES(RunResult& result) {
  result.tallies.iterations = nIter;
  result.tallies.extinct = nIterExtinct;
  for (int i = 0; i < 3; ++i) {
    result.tallies.alphaFixed[i] = totAFixed[i];
    result.tallies.betaFixed[i] = totBFixed[i];
  }
}

// The outcome of the files: status 1 with the file and the reason when one
// could not be written completely; the bytes when they are wanted.
int COLLECT(const RunRequest& request, RunResult& result) {
  TALLIES(result);
  if (request.trajectory > 0) result.trajectory = liveTrajectory.str();
  liveTrajectory.str(std::string());
  if (!dataError.empty()) result.faults.push_back("could not write " + datanm + ": " + dataError);
  if (!sumError.empty()) result.faults.push_back("could not write " + sumnm + ": " + sumError);
  if (!result.faults.empty()) return REFUSE(result, 1);
  if (request.keepBytes) {
    result.csv = request.prefix.empty() ? MEMORYDATA() : READBACK(datanm);
    result.txt = request.prefix.empty() ? MEMORYSUM() : READBACK(sumnm);
  }
  return REFUSE(result, 0);
}

// What the entry changes for the length of a run and gives back however
// the run ends: normally, or by an observer that throws (a front end's
// interrupt), so that the next call, or the console, finds things as before.
struct Borrowed {
  std::istream* in = conIn;
  std::ostream* out = conOut;
  HaltFn halt = haltHook;
  ~Borrowed() {
    CLOSEFILES();  // already closed unless an observer threw
    foundersHook = generationHook = iterationHook = nullptr;
    haltHook = halt;
    liveRequest = nullptr;
    haltRequest = nullptr;
    MEMORYFILES(false);
    CONSOLE(*in, *out);
  }
};

}  // namespace

std::string SEEDFAULT(double seed) {
  if (seed >= 1.0 && seed <= static_cast<double>(MAXSEED) && seed == std::floor(seed)) return "";
  std::ostringstream shown;
  shown << std::setprecision(17) << seed;
  const char* what = seed == std::floor(seed) ? " is out of range" : " is not a whole number";
  return "seed = " + shown.str() + what + "; allowed: 1 to " + std::to_string(MAXSEED);
}

std::string PREFIXFAULT(const std::string& prefix) {
  if (prefix.empty()) return "output prefix \"\" names no files; give one, such as results/run";
  const std::size_t slash = prefix.find_last_of('/');
  const std::string base = slash == std::string::npos ? prefix : prefix.substr(slash + 1);
  const std::string example = prefix + (prefix.back() == '/' ? "" : "/") + "run";
  const std::string instead = "; give a name in it, such as " + example + " (for " + example + ".csv and " +
                              example + ".txt)";
  if (base.empty() || base == "." || base == "..") return "output prefix " + prefix + " names a folder, not files" + instead;
#if !defined(__EMSCRIPTEN__)
  // The lab's files live in memory; on disk a folder of that name would
  // take PREFIX.csv beside it, not in it.
  std::error_code error;
  if (std::filesystem::is_directory(prefix, error)) return "output prefix " + prefix + " is a folder" + instead;
#endif
  return "";
}

int RUNENTRY(const RunRequest& request, RunResult& result) {
  result = RunResult{};
  if (!PREPARE(request, result)) return REFUSE(result, 2);
  const Borrowed borrowed;
  CONSOLE(NULLIN(), NULLOUT());
  rsd = request.seed;
  // The report names its own file; bytes kept in memory name what the
  // front end will call them.
  onm = request.prefix.empty() ? request.namedAs : request.prefix;
  datanm = onm + ".csv";
  sumnm = onm + ".txt";
  MEMORYFILES(request.prefix.empty());
  // The arrays first: a population too large for memory halts (GIVEUP)
  // before any file is opened.
  haltRequest = &request;
  if (request.onHalt != nullptr) haltHook = ONHALT;
  MEMALLOC();
  haltHook = borrowed.halt;
  std::string failed;
  int status = 0;
  if (RUNHANDOVER(failed)) {
    SIMULATE(request);
    status = COLLECT(request, result);
  } else {
    result.faults.push_back("cannot write " + failed + ": " + openError);
    status = REFUSE(result, 1);
  }
  MEMFREE();
  return status;
}

RunPosition RUNPOSITION() {
  RunPosition p;
  p.iter = rep;
  p.gen = gen;
  p.genLimit = genMax;
  p.iterations = nIter;
  p.population = NTot;
  p.going = contIter == 1;
  return p;
}

bool PREVIEWRUN(const SettingMap& settings, RunPreview& preview, std::vector<std::string>& faults) {
  preview = RunPreview{};
  if (!APPLYSETTINGS(settings, faults)) return false;
  // Chromosomes of each genotype by haplotype; a double heterozygote whose
  // phase is drawn counts half in each phase, one of a given phase in its own.
  static const double chromosomes[9][4] = {{2, 0, 0, 0}, {1, 1, 0, 0},     {0, 2, 0, 0},
                                           {1, 0, 1, 0}, {0.5, 0.5, 0.5, 0.5}, {0, 1, 0, 1},
                                           {0, 0, 2, 0}, {0, 0, 1, 1},     {0, 0, 0, 2}};
  preview.population = NTot;
  preview.phased[0] = phasedPop[0];
  preview.phased[1] = phasedPop[1];
  double copies[4] = {0, 0, 0, 0};
  for (int g = 0; g < 9; ++g) {
    preview.founders[g] = startPop[g];
    preview.fitness[g] = w[g];
    preview.mix[g] = doMig == 1 ? migF[g] : 0.0;
    const double drawn = static_cast<double>(g == 4 ? startPop[4] - phasedPop[0] - phasedPop[1] : startPop[g]);
    for (int h = 0; h < 4; ++h) copies[h] += chromosomes[g][h] * drawn;
  }
  copies[0] += static_cast<double>(phasedPop[0]);
  copies[3] += static_cast<double>(phasedPop[0]);
  copies[1] += static_cast<double>(phasedPop[1]);
  copies[2] += static_cast<double>(phasedPop[1]);
  const double all = 2.0 * static_cast<double>(NTot);
  for (int h = 0; h < 4; ++h) preview.haplotypes[h] = copies[h] / all;
  // Whole copies of A and of B over all chromosomes: exact to the last digit.
  preview.pA = static_cast<double>(2 * (startPop[0] + startPop[1] + startPop[2]) + startPop[3] + startPop[4] +
                                   startPop[5]) / all;
  preview.pB = static_cast<double>(2 * (startPop[0] + startPop[3] + startPop[6]) + startPop[1] + startPop[4] +
                                   startPop[7]) / all;
  preview.D = preview.haplotypes[0] * preview.haplotypes[3] - preview.haplotypes[1] * preview.haplotypes[2];
  preview.immigrants = doMig == 1 ? migN : 0.0;
  return true;
}
