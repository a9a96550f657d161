// Functional and phylogenetic community statistics: the statistics of one
// community table, effect sizes and P values of random values, partial
// correlations, single-statistic permutation tests and subsets of a set.
//
// Community tables are W, c communities x p OTUs (abundances; an OTU is
// present where W > 0). Resemblances between OTUs are p x p matrices. Every
// array is the caller's; sizes come from the caller.
//
// The permutation tests share the conventions of every test of the library:
// N arrangements in all, the observed one counted (counters start at 1),
// N from 1 to 2147483647; a random value counts when it equals the observed
// one within one unit in the last single-precision place or lies beyond it in
// the tested direction; P = count / N. An observed statistic that is not a
// finite number is not testable: its P is NaN and nothing is counted. A
// given seed gives the same P whatever the number of threads (the loops are
// serial). With trace on and a stream given, the intermediate results are
// written to it.
#ifndef RHFUNCTIONALPHYL_H
#define RHFUNCTIONALPHYL_H

#include <cstdio>
#include <limits>
#include <vector>

// ---------------------------------------------------------------------------
// Statistics of one community table
// ---------------------------------------------------------------------------

// Mean nearest-neighbour resemblance between the OTUs of each community.
// mirror: S's upper triangle is first copied onto its lower one (S is
// changed). richness (one count per community; null: the number of OTUs with
// W > 0). In each community with richness above 1, every present OTU j finds
// the other present OTU k with the smallest S[j][k] (dissimilarity; values
// of the largest float or above never qualify) or the largest (similarity;
// only values above 0 qualify), the first k winning ties, and adds S[j][k]
// W[k] W[j] (dissimilarity) or S[j][k] / (W[k] W[j]) (similarity); an OTU
// without a qualifying neighbour adds 0. The community's value is its sum
// divided by its richness; the result is the mean over the communities with
// richness above 1, NaN when there is none.
double NearNeigAvgTraitResemblance_WithinCommunity(int p, int c, double** W, double** S,
                                                   bool dissimilarity, bool mirror,
                                                   const int* richness);

// Nearest-neighbour contribution of each of n entities: its nearest
// neighbours are the j != i with the smallest T[i][j]; result[i] = the mean
// of D[i][j] over them (ties average). T entries that are MISSING or NaN are
// no neighbours; an entity without a neighbour (a single one) gets 0.
// Returns true.
bool NNCRD(int n, double** T, double** D, double* result);

// Local contributions to beta diversity: G = -1/2 J D^2 J (D^2 = D itself
// when squared), result[i] = G[i][i] / trace(G), 1 standing in for a trace
// of 0. Reads the upper triangle of D. Returns true.
bool LCBD(int n, double** D, double* result, bool squared);

// Partition of Rao's diversity of the communities with the dissimilarities D
// between OTUs (D's upper triangle is copied onto its lower one). Each
// community becomes its profile of relative abundances; alpha is the mean of
// their Rao indices, gamma the Rao index of their mean profile, beta = gamma
// - alpha. Equivalent numbers: 1 / (1 - alpha) and 1 / (1 - gamma), their
// ratio for beta, and betaProportion = (gammaEq - alphaEq) / gammaEq; they
// are meaningful for dissimilarities within [0, 1] only. D null: Simpson's
// index (every pair of OTUs at distance 1). Communities without a positive
// total take no part; with none, every index is 0 and every equivalent
// number 1. Returns true.
bool DiversityPartition(int c, int p, double** W, double** D, double& alpha, double& beta,
                        double& gamma, double& alphaEquivalent, double& betaEquivalent,
                        double& gammaEquivalent, double& betaProportion);

// ---------------------------------------------------------------------------
// Effect sizes and P values of the random values of a statistic
// ---------------------------------------------------------------------------

// (observed - mean) / standard deviation of n random values given by their
// sum and sum of squares. A spread of 0 gives the IEEE result (an infinity,
// or NaN for 0 / 0).
double SES(double observed, double sumOfSquares, double sum, int n);
// (observed - median) / (highQuantile - median) at or above the median,
// (observed - median) / (median - lowQuantile) below it (IEEE on 0 spread).
double SES_median(double observed, double median, double lowQuantile, double highQuantile);
// P of an observed value among n random values: (1 + count) / (n + 1).
// sided 1 counts the random values at or above the observed one, -1 those at
// or below it; 0 takes the tail on the observed value's side of the median
// and doubles the P, capped at 1. Ties within one unit in the last
// single-precision place count. NaN when the observed value is not finite.
// Any other sided ends the program (exit code 1) after a message.
double Pvalue(int n, const double* random, double observed, double median, int sided);

// ---------------------------------------------------------------------------
// Partial correlations
// ---------------------------------------------------------------------------

// Correlation of X and Y given Z from the three correlations; 0 when |rXZ|
// or |rYZ| lies within 1e-9 of 1.
double PartialCorrelation(double rXY, double rXZ, double rYZ);

// A covariate table of n rows: cols columns, the columns with select[j] = 1
// taken (select null: all).
struct CovariateBlock {
    int cols;
    const int* select;
    double** X;
};

// Correlation of the tables X1 (n x p1) and X2 (n x p2) after the covariates:
// the selected columns of every block are joined, X1 and X2 are replaced, in
// work copies, by their residuals on the principal components of the joined
// covariates (correlations; at most (n - 2) / tolerance components when
// tolerance > 0; without covariates, the deviations from the column means);
// method 2 gives the Procrustes correlation of the residuals, 3 their RV
// coefficient, any other 0. The caller's tables are not changed.
double PartialMatrixCorrelation(int n, int p1, int p2, double** X1, double** X2, int method,
                                double tolerance, const std::vector<CovariateBlock>& blocks);

namespace fp_detail {
inline void CollectBlocks(std::vector<CovariateBlock>&) {}
template <class... Rest>
void CollectBlocks(std::vector<CovariateBlock>& out, int cols, const int* select, double** X,
                   Rest... rest) {
    out.push_back({cols, select, X});
    CollectBlocks(out, rest...);
}
}  // namespace fp_detail

// The same with the blocks as arguments after their number, three for each:
// its number of columns (int), its selection (const int*, or nullptr) and
// its table (double**). The types are checked when the call is compiled;
// NaN when blocks differs from the number of triples given.
template <class... Rest>
double PartialMatrixCorrelation(int n, int p1, int p2, double** X1, double** X2, int method,
                                double tolerance, int blocks, Rest... rest) {
    std::vector<CovariateBlock> list;
    fp_detail::CollectBlocks(list, rest...);
    if (static_cast<int>(list.size()) != blocks) return std::numeric_limits<double>::quiet_NaN();
    return PartialMatrixCorrelation(n, p1, p2, X1, X2, method, tolerance, list);
}

// ---------------------------------------------------------------------------
// Resemblance options of another program
// ---------------------------------------------------------------------------

// Measure number (ResemblanceLib) of the resemblance options 1 to 10 of
// another program, 0 where this library has none: 3 -> 1, 5 -> 17, 6 -> 3,
// 8 -> 2, 10 -> 18; 1, 2, 4, 7 and 9 -> 0; any other option -> 1.
int TranslateReseOpt_KELDAN_TEVLAN(int option);

// ---------------------------------------------------------------------------
// Single-statistic permutation tests
// ---------------------------------------------------------------------------

// Mantel test of the n x n matrices A and B: r = the matrix correlation of
// the upper triangles (A made symmetric from its upper triangle in a work
// copy; A is not changed), observed receives it; each random arrangement
// permutes the rows and columns of A together and counts |r*| >= |r|.
// Returns P (1 with fewer than 2 objects, where r is 0).
double ProbMantel(int n, int N, double** A, double** B, double& observed);

// Test of limiting similarity: the statistic is the mean nearest-neighbour
// resemblance within communities (no mirroring, richness counted); each
// random arrangement permutes the OTUs of S (rows and columns together) and
// counts the values at or above the observed one for dissimilarities, at or
// below it for similarities. Returns P; NaN when N is below 1 or the
// observed statistic is not finite (no community of two OTUs).
double Prob_LimitingSimilarity(int N, int p, int c, double** W, double** S, bool dissimilarity,
                               bool trace, FILE* stream);

// Test of functional redundancy: the redundancy of community i is
// diversity[i] minus the Rao index of its row of W with the similarities S
// between OTUs (square roots of 1 - s when sqrtRao; S's upper triangle is
// copied onto its lower one). Each random arrangement permutes the OTUs of
// S (all, or with restricted only the OTUs present in some community, each
// once) and counts, per community, random redundancies at or above the
// observed one; P (c values) receives the probabilities. k is not used.
// Returns true; false, with P all NaN, when N is below 1.
bool Prob_Redundancy(int N, int p, int k, int c, const double* diversity, double* P, double** S,
                     double** W, bool sqrtRao, bool trace, FILE* stream, bool restricted);

// Test of ro(XE) and of the partial ro(XE.T): X = W U (c communities x k
// types of the p OTUs), DX its resemblance matrix between communities by the
// measure TranslateReseOpt_KELDAN_TEVLAN(measure); ro(XE) = the matrix
// correlation of DE and DX, ro(XT) of DX and DT (with 2 communities each is
// 1 - |a - b| / max(|a|, |b|) of the two off-diagonal entries, 1 when they
// are equal), ro(XE.T) = PartialCorrelation(ro(XE), ro(XT), rTE). Each random
// arrangement permutes the rows of U and counts values at or above the
// observed ones; P_XE and P_XET receive the probabilities. Refused (false,
// nothing computed) with an option that translates to 0, fewer than 2
// communities or N below 1.
bool Prob_ro_XE_T(int N, int p, int k, int c, double** U, double** W, double rTE, double** DT,
                  double** DE, double& P_XE, double& P_XET, int measure, bool trace, FILE* stream);
// The same; with specified, each arrangement reshuffles the previous one
// (RndListSpecified) instead of drawing from the identity (RndList).
bool Prob_ro_XE_T(int N, int p, int k, int c, double** U, double** W, double rTE, double** DT,
                  double** DE, double& P_XE, double& P_XET, int measure, bool trace, FILE* stream,
                  bool specified);

// ---------------------------------------------------------------------------
// Subsets of a set
// ---------------------------------------------------------------------------

// Every non-empty subset of n items as a 0/1 row of M (rows x n, cleared
// first): the subsets of size 1, then of size 2, and so on up to n (or
// maxSize), each size in lexicographic order of the chosen positions. False,
// with nothing written, when rows is smaller than the number of subsets.
bool AllCombinations(int** M, int rows, int n);
bool AllCombinations(int** M, int rows, int maxSize, int n);
// The recursive step: marks (work, n flags) each position from start on in
// turn, records it in chosen[depth] (chosen may be null) and recurses; at
// depth = size writes the marks into row counter of M and increases counter.
// M must have room for the rows written.
void Combi(int** M, int& counter, int* work, int size, int start, int depth, int* chosen, int n);
// 2^n - 1, the number of non-empty subsets, for n from 0 to 31; -1 otherwise.
int NumberAllCombinations(int n);

// ---------------------------------------------------------------------------
// Functional and phylogenetic statistics and their permutation test
// ---------------------------------------------------------------------------
//
// Correlations between community resemblance matrices built from
// community-weighted traits T = W B (columns scaled to unit length),
// composition in fuzzy types X = W U, phylogeny-weighted composition P = W Q,
// Rao entropies R (with Sb) and F (with Sf), the nearest-neighbour
// contribution V (NNCRD of DX referenced on DE, as residuals on the OTU
// richness) and the ecological variables E, with partial correlations among
// them, for one arrangement of the data; and the test that repeats them over
// N arrangements (the observed one counted).
//
// ro(AB) by test type: 1 and 5 the matrix correlation of the resemblance
// matrices of A and B (DT, DX, DP by ResemblanceLib; DR, DF, DV the absolute
// differences of the community values; DE and DY the host's); 2 the
// Procrustes and 3 the RV coefficient of the tables (R, F and V as tables of
// one column, Y for DY). Partial correlations: type 2 from the residual tables
// (PartialMatrixCorrelation), the others from the pairwise values
// (PartialCorrelation, applied twice for two covariates). A statistic whose
// inputs are not given (the phylogenetic family without the phylogeny flag,
// R without Sb, F without Sf, ro(RY) and ro(VY) without DY, or Y under types
// 2 and 3, ro(BM) without M) is NaN: not testable.

// The statistics: rows 0..23 of the test, then ro(FE) in its own slots.
enum FunctionalPhylStatistic : int {
    fpTE, fpXT, fpXE, fpXE_T, fpPE, fpPT, fpPX, fpPX_T, fpTE_P, fpXE_P, fpXE_TP, fpPE_T, fpPE_X,
    fpRE, fpXR, fpTR, fpXE_R, fpTE_R, fpXT_R, fpXE_TR, fpRY, fpVE, fpVY, fpBM, fpFE
};
constexpr int kFunctionalPhylRows = 24;
constexpr int kFunctionalPhylStatistics = 25;
// The name as printed ("ro(TE)"); "" outside 0..24.
const char* FunctionalPhylStatisticName(int statistic);
// 1: one-sided (random values at or above the observed one count); 0:
// two-sided (Pvalue's tail on the observed side of the median, doubled;
// absolute values in the cumulative frequencies). ro(FE) is two-sided.
int FunctionalPhylSided(int statistic);

// The whole input and the results of the test, filled by the host. Arrays
// are the host's and are read only (results go to the result fields and to
// the optional outputs). Tables are communities x columns; OTU x OTU
// matrices and DE, DY are read on both triangles.
struct PermTest_FunctionalPhyl_Correl_Input {
    int N = 0;                        // arrangements, the observed one included (3 or more)
    int traits = 0;                   // columns of B
    int* otuSelection = nullptr;      // 1: the OTU enters the products, the Rao sums and
                                      // the OTU shuffle; null: every OTU
    int otus = 0;                     // p
    int types = 0;                    // columns of U
    int phylColumns = 0;              // columns of Q
    int ecoVariables = 0;             // columns of E
    int communities = 0;              // c (2 or more)
    int* unsettledList = nullptr;     // carried for the host, not read
    int unsettledCount = 0;
    double** B = nullptr;             // OTUs x traits
    double** Sb = nullptr;            // trait similarity between OTUs (may be null)
    double** So = nullptr;            // a further OTU x OTU matrix: carried, not read
    double** Sf = nullptr;            // phylogenetic similarity (or dissimilarity in 0-1)
    double** E = nullptr;             // communities x ecological variables
    double** U = nullptr;             // OTUs x types (fuzzy belongings)
    double** Q = nullptr;             // OTUs x phylogenetic columns
    double** DE = nullptr;            // resemblance between communities from E
    double** DY = nullptr;            // resemblance between communities from Y (may be null)
    double** W = nullptr;             // communities x OTUs
    double** Y = nullptr;             // a second community table (communities x OTUs)
    double** M = nullptr;             // co-occurrence between OTUs (may be null)

    // Results. Slots 0..23 follow the rows; NaN where a statistic is not
    // testable (its observed value is not finite, or N < 3 refused the test).
    double cumulativeP[kFunctionalPhylRows] = {};  // count (the observed included) / N
    std::vector<double> ratioT;        // type 5: Qb / (Qt - Qb) of DT, one per variable
    std::vector<double> ratioTraits;   // type 5: the same on each trait alone (variable-major)
    std::vector<double> ratioTP;       // their cumulative probabilities (larger values count)
    std::vector<double> ratioTraitsP;
    double** rows = nullptr;           // optional, the host's 25 x (N + 8); row s receives the
                                       // N - 1 random values sorted (those not finite last),
                                       // the median, the 0.15865 and 0.84135 quantiles, the
                                       // observed value, SES_median, the 0.025 and 0.975
                                       // quantiles, P, and NaN in the spare last slot
    double ses[kFunctionalPhylRows] = {};   // SES of the mean, or SES_median with the median flag
    double centre[kFunctionalPhylRows] = {};  // mean of the random values, or their median
    double quantile025[kFunctionalPhylRows] = {};
    double quantile975[kFunctionalPhylRows] = {};
    double P[kFunctionalPhylRows] = {};       // Pvalue of the N - 1 random values
    double sesFE = 0, quantile025FE = 0, quantile975FE = 0, PFE = 0;  // ro(FE)

    int testType = 1;                 // 1, 2, 3 or 5 (4 is refused)
    char criterion = 'm';             // set by the test: 'm' (types 1, 5), 'p' (2), 'v' (3)
    bool dissimilarity = true;        // DE and DY hold dissimilarities (false: similarities)
    int criterionReserved = 0;        // carried, not read
    bool trace = false;               // write every arrangement's statistics to stream
    bool specifiedList = false;       // each OTU list reshuffles the previous one
    bool phylogeny = false;           // compute P, F and their statistics
    bool sbDissimilarity = false;     // Sb holds dissimilarities (false: similarities)
    bool mDissimilarity = false;      // M holds dissimilarities (false: similarities)
    int restriction = 0;              // 0 selected OTUs; 1 within OTU groups
    int* otuGroups = nullptr;         // one label per OTU (restriction 1)
    int shuffle = 't';                // 't' OTU shuffle, 's' site shuffle
    bool sfDissimilarity = false;     // Sf holds dissimilarities in 0-1
    bool shuffleReserved = false;     // carried, not read
    bool median = false;              // median-based centre and effect size
    double** observedT = nullptr;     // optional outputs: c x traits, c x types,
    double** observedX = nullptr;     // c x phylColumns, c x 2 (R and F), 2 x c (V and
    double** observedP = nullptr;     // its residuals)
    double** observedR = nullptr;
    double** nncrd = nullptr;
    int* richness = nullptr;          // OTUs per community (null: counted, W > 0)
    int* communitySelection = nullptr;  // 1: the community has Rao entropies, enters type
                                        // 5's sums of squares and its site shuffle; null: all
    bool weightAdjustment = false;    // pair mode of the weighted product of T
    bool bootstrap = false;           // resample communities instead of shuffling
    FILE* stream = nullptr;           // trace output
};

struct FunctionalPhylBuffers;

// The work record: the arrangement FunctionalPhyl_Stats_Lib reads and the
// statistics it writes. Made from the input's sizes; owns its arrays.
struct FunctionalPhyl_Stats_Lib_Input {
    explicit FunctionalPhyl_Stats_Lib_Input(const PermTest_FunctionalPhyl_Correl_Input& in);
    ~FunctionalPhyl_Stats_Lib_Input();
    FunctionalPhyl_Stats_Lib_Input(const FunctionalPhyl_Stats_Lib_Input&) = delete;
    FunctionalPhyl_Stats_Lib_Input& operator=(const FunctionalPhyl_Stats_Lib_Input&) = delete;

    int measureTP = 3, measureX = 3;  // ResemblanceLib measures of DT and DP, and of DX

    // The arrangement, the input's own data unless the test resamples them.
    double** W;
    double** E;
    double** Y;
    double** DE;
    double** DY;
    const int* richness;
    const int* communitySelection;
    const int* otuList = nullptr;   // OTU a takes the rows of OTU otuList[a] (from 1); null: as given
    const int* siteList = nullptr;  // community i takes the observed tables and Rao entropies of
                                    // community siteList[i]; null: computed from W
    int iteration = 0;              // 0: the observed arrangement (its trace is written)

    // Results of the last call: the current T, X, P (views when a site list
    // is given), their resemblance matrices, DR, DV, DF, the Rao entropies
    // (MISSING for communities not selected), V and its residuals.
    double** T;
    double** X;
    double** P;
    double** DT;
    double** DX;
    double** DP;
    double** DR;
    double** DV;
    double** DF;
    double* R;
    double* F;
    double* V;
    double* Vres;
    double** M;
    double** Sb;
    double ro[kFunctionalPhylStatistics];
    std::vector<double> ratioT, ratioTraits;  // type 5

    FunctionalPhylBuffers* buffers;
};

// One arrangement: writes the statistics into work. False (nothing written)
// when the input is refused (as by PermTest_FunctionalPhyl_Correl, N and the
// shuffle aside), or its sizes and options (selection given or not, test
// type, phylogeny flag, kind of DE, a site list without a site shuffle) are
// not those the work record was made for.
bool FunctionalPhyl_Stats_Lib(PermTest_FunctionalPhyl_Correl_Input* in, FunctionalPhyl_Stats_Lib_Input* work);

// The test: the observed arrangement, then N - 1 bootstrap samples of
// communities or shuffles; each row keeps its random values, and the
// summaries go to the result fields. False, with nothing computed, for N
// below 3, a test type other than 1, 2, 3 and 5, a shuffle other than 't'
// and 's', a restriction other than 0 and 1 (1 without OTU groups), sizes
// below 1 (2 communities), a null W, B, U, E or DE (Q with the phylogeny flag), or,
// under type 5, an ecological value that is not a finite number within the
// int range.
bool PermTest_FunctionalPhyl_Correl(PermTest_FunctionalPhyl_Correl_Input* in);

namespace fp_detail {
// The summary slots of one row from its random values (n of them, sorted in
// place; values that are not finite are left out): median, the 0.15865,
// 0.84135, 0.025 and 0.975 quantiles (GSL, R's type 7), SES_median and
// Pvalue with the row's sidedness; NaN throughout without a value.
struct RowSummary {
    double median, q15865, q84135, sesMedian, q025, q975, P;
    int kept;
};
RowSummary SummariseRow(int n, double* values, double observed, int sided);
}  // namespace fp_detail

#endif
