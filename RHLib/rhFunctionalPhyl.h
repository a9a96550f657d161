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

#endif
