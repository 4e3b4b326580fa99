// A second, deliberately plain model of the simulation, written from the
// rules alone and shared with none of the program's code. Every step works one
// individual and one draw at a time on plain vectors, so that a comparison
// with the program shows the program's faults rather than repeating them.
#ifndef DUOLOCUS_TESTS_REFERENCE_H
#define DUOLOCUS_TESTS_REFERENCE_H

#include <cstdint>
#include <string>
#include <vector>

namespace ref {

// The step between two random reals, 2^-30.
extern const double kStep;

// The shuffle-table generator over the C library's own srand/rand, in double
// arithmetic as the rules state it.
class RefRandom {
 public:
  // As at program start with seed entered: srand(seed), table not yet built.
  explicit RefRandom(unsigned seed);
  // A later run: srand(seed) again, the table and y kept as they are.
  void Reseed(unsigned seed);
  int Rndi();
  double Real();
  std::uint64_t RandCalls() const { return randCalls_; }
  // The slot a raw value y picks, and a raw table value scaled to 0..32767.
  static int Slot(double y);
  static int Scale(double t);

 private:
  double Raw();
  bool buildTable_ = true;
  double v_[98] = {};  // slots 1 to 97; slot 0 unused
  double y_ = 0.0;
  std::uint64_t randCalls_ = 0;
};

// Where the model takes its draws from: scripted values first, then either
// a naive generator or a list recorded from the program.
class RefSource {
 public:
  explicit RefSource(RefRandom& generator) : gen_(&generator) {}
  explicit RefSource(std::vector<double> recorded) : recorded_(std::move(recorded)) {}
  void Script(const std::vector<double>& values);
  double Draw();
  std::uint64_t Used() const { return used_; }

 private:
  RefRandom* gen_ = nullptr;
  std::vector<double> recorded_;
  std::size_t nextRecorded_ = 0;
  std::vector<double> scripted_;
  std::size_t nextScripted_ = 0;
  std::uint64_t used_ = 0;
};

// One individual, fields as the rules name them.
struct RefInd {
  int alleleA[2] = {0, 0};
  std::int64_t copyA[2] = {0, 0};
  int originA[2] = {0, 0};
  int alleleB[2] = {0, 0};
  std::int64_t copyB[2] = {0, 0};
  int originB[2] = {0, 0};
};

int AlphaOf(const RefInd& ind);     // number of a alleles, 0 to 2
int BetaOf(const RefInd& ind);      // number of b alleles, 0 to 2
int GenotypeOf(const RefInd& ind);  // 3 * Alpha + Beta

// Every setting of a run that the simulation reads, with the defaults the
// program starts with. Derived values (NTot, startF, rec, fitCheck,
// mutCheck, migCumF, migP) are worked out by the model.
struct RefSettings {
  std::int64_t startPop[9] = {10, 20, 10, 20, 40, 20, 10, 20, 10};
  double w[9] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
  double mutA[2] = {0.0, 0.0};
  double mutB[2] = {0.0, 0.0};
  double rec_cM = 0.0;
  int doMig = 0;
  double migN = 0.0;
  double migF[9] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  int mateRule = 1;
  double matePref[6] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
  int mateCheck = 0;
  std::int64_t nIter = 1;
  std::int64_t genMax = 30000;
  int trackCopies = 1;
  int setAllFix[2] = {0, 0};
  int stopAtFix = 1;
};

class RefModel {
 public:
  // The run's initialisation: derived flags, templates, tallies at zero.
  explicit RefModel(const RefSettings& settings);

  // Settings and what follows from them.
  RefSettings s;
  std::int64_t NTot = 0;
  double startF[9] = {};
  double rec = 0.0;
  double migP = 0.0;
  double migCumF[9] = {};
  int fitCheck = 0;
  int mutCheck = 0;
  RefInd templates[10];

  // Population.
  std::vector<RefInd> cur;   // the current generation
  std::vector<RefInd> next;  // the generation being built
  std::vector<std::int64_t> mated;
  std::int64_t N[9] = {};
  double f[9] = {};

  // Iteration state.
  std::int64_t gen = 0;
  std::int64_t rep = 1;
  int contIter = 0;
  int iterExtinct = 0;
  int fixedAAll = 2, fixedBAll = 2;
  std::int64_t genFixedAAll = 0, genFixedBAll = 0;
  std::int64_t fixedACopy = -1, fixedBCopy = -1;
  std::int64_t genFixedACopy = 0, genFixedBCopy = 0;
  int ancAHap = 0, ancBHap = 0;

  // Run tallies.
  std::int64_t totAFixed[3] = {}, totBFixed[3] = {};
  std::int64_t sumGenFixedAAll = 0, sumGenFixedBAll = 0;
  std::int64_t sumGenFixedACopy = 0, sumGenFixedBCopy = 0;
  std::int64_t noFixedACopy = 0, noFixedBCopy = 0;
  std::int64_t nIterExtinct = 0;

  // What iteration control writes to the console.
  std::string console;

  void Founders(RefSource& src);
  void Shuffle(RefSource& src);
  void IterInit();
  // One generation; stops early, with iterExtinct set, when no permitted
  // pair of parents is left.
  void Generation(RefSource& src);
  void AlleleFix();
  void CopyFix();
  void ContCheck();
  void Tally();
  // One iteration as the driver performs it (rep is left as it is).
  void Iteration(RefSource& src);
  // Every iteration of a run, rep counted from 1.
  void Run(RefSource& src);

  // Whether an acceptance test with probability p can pass on a draw other
  // than exactly 0.0.
  static bool CanPass(double p);
  // The possible-partner and pair tests of parent choice, open for tests.
  bool Fertile(std::int64_t i) const;
  bool PossiblePartner(std::int64_t i, std::int64_t j) const;
  bool AnyPair() const;
  // Counters of parent choice since the model was made, for checking that a
  // family reaches the cases it is meant to.
  std::uint64_t setAside = 0;
  std::uint64_t offspring = 0;

 private:
  int MatingClass(std::int64_t i, std::int64_t j) const;
  bool HasPossiblePartner(std::int64_t i) const;
  std::int64_t IndexDraw(RefSource& src) const;
  bool ChooseParents(RefSource& src, std::int64_t& first, std::int64_t& second);
  void Transmit(RefSource& src, const RefInd& parent, RefInd& child, int c) const;
  void Mutate(RefSource& src);
  void Count();
  bool AllOf(int g0, int g1, int g2) const;
  bool Pending() const;
};

}  // namespace ref

#endif
