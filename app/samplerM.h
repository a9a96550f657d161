// Bootstrap samplers of sample sufficiency: how the mean, standard deviation
// and skewness (or the Renyi entropy) of each variable, with their confidence
// limits, settle as a bootstrap sample of the current data grows.
#ifndef SAMPLERM_H
#define SAMPLERM_H

#include <gsl/gsl_rng.h>

#include <vector>

// The dialogue of every bootstrap sampler. Asks on `out` and reads from `in`
// (texts in the language of `port`; source name "keyboard"), in this order:
//   - the initial sample size, minInitial..n (a minimum above n counts as n),
//     truncated to a whole number;
//   - only when the initial size is below n, the step: units added at each
//     sampling step, 1..n; otherwise *step is 0 and nothing is asked;
//   - the iterations, 1..2147483647;
//   - only with askAlpha 1, alpha for the confidence limits, above 0 and at
//     most 1. The iterations are then raised until iterations x alpha is an
//     even whole number (BootstrapEvenIterations: 999 at 0.05 become 1000, 10
//     become 40). An alpha that would raise them past their cap gets one line
//     and is asked again. With askAlpha 0, *alpha is left alone and the
//     iterations stay as typed;
//   - only when seed is not null, the seed: (1) the calendar time in seconds,
//     cut to 32 bits, or (2) a typed number 0..4294967295;
//   - whether to save intermediate results ("y n", Portuguese "s n"). Above
//     50 iterations a yes is confirmed once; any answer but a (confirmed) yes
//     stores 'n', without asking again. *save holds 'y' or 'n' in both
//     languages.
// Answers out of range are asked again; the end of `in` raises error code 2.
// Returns 1.
int SetBootstrapOptions(int n, int minInitial, int* initial, int* step, int* iterations,
                        unsigned int* seed, int* save, int askAlpha, double* alpha);

// The number of sample sizes of a sampler: initial, initial + step, ... while
// below n, then n (a size that would pass n is cut to n). CountSteps(10, 3, 4)
// is 3: sizes 3, 7 and 10. An initial size of n or more gives 1. A step below
// 1 with an initial size below n (which the dialogue never gives) goes
// straight to n.
int CountSteps(int n, int initial, int step);
// The CountSteps(n, initial, step) sizes themselves, into sizes.
void SampleSizes(int n, int initial, int step, int* sizes);

// Bootstrap samplers over the n x p table data. Each asks its options
// (SetBootstrapOptions with a minimum of 1 unit, alpha and a seed), appends
// its report to "Vidive.txt" and leaves modeVidive at "a" and the generator r
// seeded with the run's seed.
//
// Every iteration draws one list of n units with replacement (RndListBootstrap
// on r); the sample at each size is the first units of that list, so the
// samples of one iteration are nested. The variables taken are those whose
// EffectiveVarType is 1 or 3 (means) or 1 or 2 (entropy). For each cell (a
// statistic of one variable at one size) the report gives the average over
// the iterations and the confidence limits: the m-th smallest and m-th
// largest value, m = (int)(iterations x alpha x 0.5).
//
// Undefined values never enter a sum or a limit. Missing values (-999) take
// no part in a sample; a statistic is undefined when its sample holds fewer
// than 1 value that is not missing (2 for the standard deviation). A cell's
// average is over the iterations in which it was defined; an average or a
// limit that cannot be formed (no defined value, or fewer than m for a limit)
// is printed -999. When "Vidive.txt" cannot be opened, fopenck says so and no
// iteration runs. Each returns true when every block of its report was
// written and closed whole (fcloseck has spoken of any that was not).
//
// SamplerMeans: mean, standard deviation (divisor s - 1) and skewness m3 /
// m2^1.5 (central moments with divisor s; 0 when m2 is 0).
bool SamplerMeans(int n, int p, double** data);
// SamplerEntropy: the Renyi entropy of order alphaEntropy, in nats, of the
// frequencies of the states (whole-number codes) in the sample.
bool SamplerEntropy(int n, int p, double** data);

// ---------------------------------------------------------------------------
// Samplers of group sharpness and ordination stability
// ---------------------------------------------------------------------------
//
// Both ask their options with SetBootstrapOptions (no alpha), append their
// report to "Vidive.txt" (when it cannot be opened, fopenck says so and
// nothing runs) and leave modeVidive at "a" and r seeded with the run's seed.
// Iterations run on the thread team. Each iteration draws everything (its
// bootstrap list of n units first, then permutations, null samples and the
// orders of the nearest-neighbour matching) from a generator of its own,
// seeded by a number drawn from r in iteration order, and the sums over
// iterations are formed in iteration order: a seed gives the same report on
// any number of threads. With intermediate results saved the loop runs on
// one thread, so that each iteration's block comes whole and in order. Both
// return true when every block of their report was written and closed
// whole.

struct clusterReport;

// Sharpness of the partitions into 2..K groups of the n sampling units that
// records (n - 1 fusions by method clusMeth) describe, R the clustered
// matrix (rese), isDissimilarity what it holds. Asks K in 2..n - 1 and an
// initial size of at least K + 1. Refused with a message: fewer than 3
// units, or distances that are all 0.
//
// D2, the squared distances: R^2 for dissimilarities, ProdToSqDist(R) for
// similarities; for measure 4 turned into the centred product matrix and
// back. At each size s, the first s units of the iteration's list are
// clustered anew (methods 1, 2, 4 and 5 on R; the others by Ward on D2) and
// cut into k groups; the n reference units (groups 1..k, the complete data
// cut at k) and the s sampled units (groups k + 1..2k) form one set of n + s
// units. With T = SumSqDissim of the set and B = BetweenGrSSPairwise (B[i][k
// + j] = Q(i and j pooled) - Q(i) - Q(j)), each reference group is matched to
// one sample group (NearNeigSSqWhich, cost S) and G* = 1 - S / T. A null
// sample, drawing each matched sample group's units from the members of its
// reference group, gives GNull with the same matching: P(GNull <= G*), and
// per group P(QbNull >= Qb).
bool SamplerGroups(int n, double** R, bool isDissimilarity, clusterReport* records);

// Buffers of one thread for GroupPartitionSharpness_PerGroup, with the
// reference partitions of the complete data into 2..K groups cut from
// records by method and their part of the group-pair sums of D2 (squared
// distances, n x n). shareReference (may be null): a work whose reference
// this one shares, so that it is made once per run.
struct SharpnessWork;
SharpnessWork* NewSharpnessWork(int n, int K, double** D2, clusterReport* records, int method,
                                const SharpnessWork* shareReference);
void FreeSharpnessWork(SharpnessWork* work);

// One iteration of SamplerGroups over every size of the list (n unit
// numbers from 1). Gstar (K - 1 levels x steps) receives G*; countG [level]
// [step] and countGroup [level][step][group] are incremented (by 1 per null
// sample, of which there are nullSamples). squared: D2 holds squared
// distances (SamplerGroups: true; with false its entries are squared and a
// work of this call's own is used). work, made from the same D2, may be null
// (made and released here, the reference cut from records); g null draws
// from r. save 'y' appends the iteration's intermediate block to
// "Vidive.txt"; false when that block could not be written whole.
bool GroupPartitionSharpness_PerGroup(int iteration, int iterations, int nullSamples, int n, int step,
                                      int initial, double** R, double** D2, bool isDissimilarity,
                                      bool squared, clusterReport* records, const int* list, int save,
                                      double** Gstar, int** countG, SharpnessWork* work,
                                      int*** countGroup, int K, int method, gsl_rng* g);
// The same iteration without the per-group counts.
bool GroupPartitionSharpness(int iteration, int iterations, int nullSamples, int n, int step, int initial,
                             double** R, double** D2, bool isDissimilarity, bool squared,
                             clusterReport* records, const int* list, int save, double** Gstar,
                             int** countG, SharpnessWork* work, int K, int method, gsl_rng* g);

// Stability of the first A axes of the current ordination (escores, one row
// per axis, by unit) when the sample grows. Offered for principal
// coordinates of sampling units and for principal components or
// correspondence analysis of variables (the unit scores are compared).
// Asks A in 1..min(nVar, rank, nObj - 1) and an initial size of at least
// A + 1. ro* of axis a at a size: the correlation, over the sampled units,
// of their reference scores on axis a with their scores on the bootstrap
// sample's ordination after the Procrustes adjustment of its first a + 1
// axes to the reference ones. The same on a copy of the data whose
// variables were permuted independently gives roRnd: P(roRnd >= ro*).
// Averages and probabilities are over the iterations in which ro* was
// defined; a cell never defined prints -999.
bool SamplerOrdination();

// Buffers of one thread for BootstrappedOrdination_D (the current data set's
// sizes, A axes).
struct StabilityWork;
StabilityWork* NewStabilityWork(int A);
void FreeStabilityWork(StabilityWork* work);

// One iteration of SamplerOrdination over every size of the list, with the
// current data set's data, options and transformations: roStar (A x steps)
// receives ro* (-999 where undefined: the sample yields fewer axes, the
// random data fewer axes, or a value that is not a number); countP [axis]
// [step] is incremented when roRnd >= ro* (equal in single precision
// counts). The last monitored axis gets ro* 0 when its eigenvalue is below
// 0.001 of the sum of the first ones. reference: the unit scores of the
// reference ordination, one row per axis. work may be null; g null draws
// from r. save 'y' appends the intermediate block (at iteration 1 the
// reference scores first); false when a block could not be written whole.
bool BootstrappedOrdination_D(int iteration, int iterations, int step, int initial, const int* list,
                              double** roStar, int** countP, int A, double** reference, int save,
                              gsl_rng* g, StabilityWork* work);

// The iterations of SamplerOrdination, for any caller that has set up the
// current data set (nObj units of dataOrig, the transformation, resemblance
// and ordination options in force): for each axis a < A and each size st
// (from initial by step, CountSteps of them), cell a x steps + st of sums
// gets the sum of the defined ro*, their number, and the number of
// iterations with roRnd >= ro*. reference holds the unit scores of the
// ordination of the complete data (at least A rows of nObj values). Each
// iteration draws from a generator of its own seeded from r in iteration
// order, and the cells are added in iteration order, so the sums do not
// depend on the number of threads; with save 'y' one thread runs them and
// each iteration's block is appended to "Vidive.txt". Returns the number of
// threads that ran them; written is false when a block could not be
// written whole.
struct StabilitySums {
    std::vector<double> sum;
    std::vector<long long> defined, countP;
    bool written = true;
};
int OrdinationStabilityRun(int A, int initial, int step, int iterations, int save, double** reference,
                           StabilitySums& sums);

// Zero-fills Y (n x p) and copies into it, in order, every column of X (n x
// p) that holds a value other than 0; *cols receives their number and
// columns (p entries, may be null) the column of X each came from.
void CheckZeroData(int n, int p, int* cols, double** X, double** Y, int* columns);
void CheckZeroData(int n, int p, int* cols, double** X, double** Y);

#endif
