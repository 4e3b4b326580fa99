// Settings of a run and the constant name tables of the genotype model.
//
// Alleles are coded 0 (capital: A, B) and 1 (small: a, b). The genotype
// index is g = 3 * (number of a alleles) + (number of b alleles), so the nine
// genotypes run AABB, AABb, AAbb, AaBB, AaBb, Aabb, aaBB, aaBb, aabb. A
// chromosome's haplotype is 2 * Alpha allele + Beta allele (AB, Ab, aB, ab).
// Mating classes are indexed by whichMating[alpha class][alpha class].
#ifndef DUOLOCUS_MODEL_SETTINGS_H
#define DUOLOCUS_MODEL_SETTINGS_H

#include <cstdint>
#include <string>

// Limits the editors enforce.
constexpr std::int64_t MAXPOP = 1000000;
constexpr std::int64_t MAXITER = 50000;
constexpr std::int64_t MAXGEN = 9999999;
constexpr std::int64_t MAXSEED = 32767;

// Constant name tables.
extern const char* const aGType[3];
extern const char* const bGType[3];
extern const char* const haplo[4];
extern const std::int32_t whichMating[3][3];

// Settings, kept from run to run within one execution.
extern std::int64_t startPop[9];
// Double heterozygotes of a fixed phase among the startPop[4] AaBb founders
// ([0] AB/ab, coupling; [1] Ab/aB, repulsion); the rest of them take their
// phase by a draw. The console never sets them: they stay 0 there.
extern std::int64_t phasedPop[2];
extern std::int64_t NTot;
extern double startF[9];
extern double w[9];
extern double mutA[2];
extern double mutB[2];
extern double rec_cM;
extern double rec;
extern std::int32_t doMig;
extern double migN;
extern double migF[9];
extern double migCumF[9];
extern std::int32_t mateRule;
extern double matePref[6];
extern std::int32_t mateCheck;
extern std::int64_t nIter;
extern std::int64_t genMax;
extern std::int32_t trackCopies;
extern std::int32_t setAllFix[2];
extern std::int32_t stopAtFix;
extern std::uint32_t rsd;
extern std::string onm;
extern std::string datanm;
extern std::string sumnm;

// Flags derived for a run.
extern std::int32_t fitCheck;
extern std::int32_t mutCheck;
extern double migP;

// The name of genotype g, such as "AaBb".
std::string GTNAME(int g);
// The letter of allele code (0 capital, 1 small) of gene 0 (Alpha) or 1
// (Beta): "A", "a", "B", "b".
std::string ALLELENAME(int gene, int code);
// The two Alpha genotypes of mating class k joined by between: "AA:Aa",
// "AA with Aa".
std::string MATINGNAME(int k, const char* between);
// The change of mutation rate i (0 A>a, 1 a>A, 2 B>b, 3 b>B), the two
// alleles joined by between: "A to a".
std::string MUTATIONNAME(int i, const char* between);

// Applies the defaults of the settings catalogue; run once at program
// start, when every other setting is still zero.
void STARTDEF();
// Puts every setting and derived run flag back to zero, as before STARTDEF.
void RESETSETTINGS();

#endif
