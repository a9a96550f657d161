// Statistics, group counting, resemblance coefficients, matrix comparisons and
// information measures.
#ifndef RHLIBRES_M_H
#define RHLIBRES_M_H

#include <cstdio>

// ===========================================================================
// Descriptive statistics, standardisations and ranks
// ===========================================================================

// Conventions. Matrices are n rows x m columns (double**, indexed from 0);
// "Rows" routines treat each row as a vector, "Cols" routines each column.
// Routines whose names end in MV skip cells holding MISSING (-999): they take
// no part in sums, counts, means or extremes, and the output cell at their
// place is MISSING. Outputs may be the input itself unless a routine says
// otherwise. A divisor that would be 0 (a sum, a norm, a range, a count less
// one) is replaced by 1, so that an all-zero row stays zero.

// --- Descriptive statistics of one vector ---------------------------------
double Mean(int n, const double* x);
void MeanVectorRows(int n, int m, double** X, double* means);
void MeanVectorCols(int n, int m, double** X, double* means);
// mean = S / n, sd = sqrt((Q - S^2 / n) / (n - 1)) (no missing values).
void MeanStDev(int n, const double* x, double& mean, double& sd);
// Median of the values that are not MISSING and, when select is given, whose
// select entry is 1. 0 when no value is kept.
double Median(int n, const double* x, const int* select);
// Mean over all n values of (x - mean)^k.
double Moment(int n, const double* x, int k);
// Sum of squares of the non-missing values.
double SumOfSquares(int n, const double* x);
double SumOfSquares(int n, const float* x);
// Over the k non-missing values: Q - S^2 / k, and (Q - S^2 / k) / (k - 1).
double SumOfSquaresDev(int n, const double* x);
double Variance(int n, const double* x);
// max - min; the running maximum starts at 0, the minimum at DBL_MAX.
double Range(int n, const double* x);
// Largest entry (starting at 0); Y = X / that maximum (Y is not written when
// it is not positive; the 3D form then copies X).
double MatrixMax(int n, int m, double** X);
void MatrixUnitMaxTransf(int n, int m, double** X, double** Y);
void MatrixUnitMaxTransf3D(int a, int b, int c, double*** X, double*** Y);
// Sum of the Variance of every row or column.
double MatrixVarianceRows(int n, int m, double** X);
double MatrixVarianceCols(int n, int m, double** X);

// --- Cross-products, covariances and correlations (between rows) ----------
// R[i][j] = sum_k X[i][k] X[j][k] over the pairs without MISSING; full matrix.
void CrossProductMV(int n, int m, double** X, double** R);
// As CrossProductMV for the pairs (i, j >= i) with select[j] != 0; the upper
// triangle only.
void CrossProductMVSelect(int n, int m, double** X, double** R, const int* select);
// P[i][j][k] = X[i][k] X[j][k] for j >= i and pairs without MISSING.
void CrossProductMVPartial(int n, int m, double** X, double*** P);
// R[i][j] = sum over k with select[k] = 1 of the non-missing P[i][j][k], j >= i.
void CrossProductMVSum(int n, int m, double*** P, double** R, const int* select);
// R[i][i+lag] = cross-product of rows i and i + lag, R[i][i] = sum of squares
// of row i, for i < n - lag.
void CrossProductNeighbours(int n, int m, double** X, double** R, int lag);
double CrossProduct2Vec(int n, const double* x, const double* y);
double CrossProduct2VecMV(int n, const double* x, const double* y);
// Cross-product of the centred vectors; y = x - mean.
double CenteredCrossProduct2Vec(int n, const double* x, const double* y);
void CenterVector(int n, const double* x, double* y);
// Row covariances (divisor m - 1), the upper triangle with the diagonal.
void Covariance(int n, int m, double** X, double** R);
// Covariance over the positions where neither value is MISSING.
double Covariance2VecMV(int n, const double* x, const double* y);
// Resemblance measure 22: full matrix of row covariances (pairwise over
// non-missing positions when X holds MISSING).
void CovarianceMV(int n, int m, double** X, double** R);
// A correlation of m pairs of values within the rounding noise of its sums
// (4 m eps, beyond the error bound of a sum of m products of unit vectors) is
// 0: data uncorrelated in exact arithmetic otherwise give +-1e-17 or so, by
// the order of the terms, and a test would count random values against that
// noise. Every correlation below takes this rule, so observed and random
// values alike.
double CorrelationBeyondRounding(int m, double r);
// Correlation over the positions where neither value is MISSING; a constant
// vector has correlation 0. The int form reads -999 as missing in x.
double Correlation2VecMV(int n, const double* x, const double* y);
double Correlation2VecMV(int n, const int* x, const double* y);
// Correlation2VecMV over the positions with select = 1.
double Correlation2VecSelectMV(int n, const double* x, const double* y, const int* select);
// Correlation of two complete vectors.
double Correlation2Vec(int n, const double* x, const double* y);
// x less its mean, divided by the norm of the result (a constant vector gives
// zeros), as Correlation forms its rows: the cross-products of two such
// vectors, summed from the first position on, are Correlation's values to
// the last bit.
void CenterNormalizeVector(int n, const double* x, double* z);
// Resemblance measure 17: full matrix (with MISSING, pairwise correlations).
void CorrelationMV(int n, int m, double** X, double** R);
// X holds nA + nB rows; R (nB x nA) [b][a] = correlation of row a with row nA + b.
void CorrelationPartition(int nA, int nB, int m, double** X, double** R);
// Correlation of row (byRows) or column k of X with row or column k of Y
// (Correlation2VecMV rules).
double Correlation2SelectedVecMV(int n, int m, double** X, double** Y, int k, bool byRows);
// Correlation of two complete n x m matrices taken as vectors.
double Correlation2Matrices(int n, int m, double** X, double** Y);
// Correlations of all row pairs of a complete matrix (full matrix).
void Correlation(int n, int m, double** X, double** R);
// R[i][i+lag] = correlation of rows i and i + lag of a complete matrix,
// R[i][i] = 1, for i < n - lag.
void CorrelationNeighbours(int n, int m, double** X, double** R, int lag);

// --- Row and column transformations ---------------------------------------
// x - mean (complete data).
void CenterRows(int n, int m, double** X, double** Y);
void CenterCols(int n, int m, double** X, double** Y);
// x - mean of the non-missing values (option 3).
void CenterRowsMV(int n, int m, double** X, double** Y);
void CenterColsMV(int n, int m, double** X, double** Y);
// (x - mean) / sqrt(k - 1), k non-missing values (option 2): cross-products
// of the result are covariances.
void CenterRowsCovMV(int n, int m, double** X, double** Y);
void CenterColsCovMV(int n, int m, double** X, double** Y);
// x / sqrt(sum of squares) (option 4; 1 when that sum is 0 or less).
void NormalizeRows(int n, int m, double** X, double** Y);
void NormalizeCols(int n, int m, double** X, double** Y);
void NormalizeMatrixRows(int n, int m, double** X, double** Y);
void NormalizeRowsMV(int n, int m, double** X, double** Y);
void NormalizeColsMV(int n, int m, double** X, double** Y);
void NormalizeVector(int n, const double* x, double* y);
// Columns normalised over the rows with select = 1; the other rows become MISSING.
void NormalizeColsSelectedRowsMV(int n, int m, double** X, double** Y, const int* select);
// x / sum (option 1). Output first, input second.
void UnitSumRowsAdj(int n, int m, double** Y, double** X);
void UnitSumColsAdj(int n, int m, double** Y, double** X);
void UnitSumRowsAdjMV(int n, int m, double** Y, double** X);
void UnitSumColsAdjMV(int n, int m, double** Y, double** X);
// One vector divided by its non-missing sum; returns the divisor.
double UnitSumVectorAdjMV(int n, const double* x, double* y);
// One vector divided by its largest non-missing value (the search starts at
// 0, so a vector without a positive value is left as it is).
void MaxAdjMV(int n, const double* x, double* y);
// sqrt(x / sum) (option 10). Output first, input second.
void HellingerRowsAdjMV(int n, int m, double** Y, double** X);
void HellingerColsAdjMV(int n, int m, double** Y, double** X);
// Rows: x / (max - min); columns: (x - min) / (max - min) (option 7).
void RangeRowsAdjMV(int n, int m, double** X, double** Y);
void RangeColsAdjMV(int n, int m, double** X, double** Y);
// z-scores: (x - mean) / sqrt(sum of squared deviations / k), k non-missing
// values. The six-argument forms take the means and deviations given.
void ZStandardizationRowsMV(int n, int m, double** X, double** Y);
void ZStandardizationColsMV(int n, int m, double** X, double** Y);
void ZStandardizationRowsMV(int n, int m, double** X, double** Y, const double* means,
                            const double* deviations);
void ZStandardizationColsMV(int n, int m, double** X, double** Y, const double* means,
                            const double* deviations);
// With flag, outliers[i] = 1 where |z| exceeds limit (0 elsewhere).
void ZStandardizationVectorMV(int n, const double* x, double* y, bool flag, double limit,
                              int* outliers);
// Per column: (x - mean) / sqrt(sum of squared deviations), rounded to single
// precision. Output first.
void CorrAdj(int n, int m, double** Y, double** X);
// Deviations from expectations (option 6): (x T - r c) / (sqrt(r c) T).
void DeviationsExpectationsMV(int n, int m, double** X, double** Y);
// Deviations from the group means of each column (option 12). groups holds
// one label per row (any integers).
void DeviationsGroupMeansMV(int n, int m, double** X, double** Y, const int* groups);
// In place: every non-missing cell / sqrt(total sum of squares / (m - 1))
// (rows) or / (n - 1) (columns).
void GowerStandardizationRows(int n, int m, double** X);
void GowerStandardizationCols(int n, int m, double** X);
// Per row: 0 where x <= 0; elsewhere x - the mean of the positive values
// (mode 1) or that mean (mode 2).
void DataPartitionQualQuant(int n, int m, double** X, double** Y, int mode);

// --- Ranks (ties get the mean of the ranks they span) ---------------------
void RankVectorAdj(int n, const double* x, double* r);
void RankRowsAdj(int n, int m, double** X, double** R);
// Option 9: the non-missing values ranked among themselves; MISSING stays.
void RankVectorAdjMV(int n, const double* x, double* r);
// The same ranks by counting (quadratic: for short vectors).
void RankVectorDAdj(int n, const double* x, double* r);
void RankRowsDAdj(int n, int m, double** X, double** R);
// values[0..k-1] replaced by their ranks, as RankVectorAdj gives them, on
// the team: beside the values, k 32-bit positions and some small tables.
// Values that are not all numbers are ranked as RankVectorAdj ranks them.
void RankInPlace(size_t k, double* values);
// idx = the 1-based positions of g in ascending order of value.
void IndexVector(int n, const int* g, int* idx);
// order = the 1-based positions of x in ascending order (of |x| for Abs).
void RankVector(int n, const double* x, int* order);
void RankVectorAbs(int n, const double* x, int* order);
// Ranks of the entries above the diagonal of D, written above the diagonal of
// R (the diagonal and lower triangle of R are not written).
void RankReseAdj(int n, double** D, double** R);
// The smallest value whose rank among the non-missing cells divided by n m
// exceeds p; MISSING when none does.
double MatrixPercentile(int n, int m, double** X, double p);


// ===========================================================================
// Group counting and partitions
// ===========================================================================

// Group vectors hold one int label per sampling unit. Routines that index
// arrays by group use the position of a label among the sorted distinct
// labels (1..g), so any integers may serve as labels.

// count = number of distinct labels; labels (at least n entries) receives
// them in ascending order.
void CountGroups(int n, const int* groups, int& count, int* labels);
// The same; labels may be null.
void CountGroupsNew(int n, const int* groups, int& count, int* labels);
// The same over the positions with select = 1.
void CountGroupsSelect(int n, const int* groups, const int* select, int& count, int* labels);
// positions[i] = the position 1..g of groups[i] among the sorted distinct
// labels; returns g. Every routine that indexes per-group arrays by a user's
// label goes through this, so labels such as 0, 10 or -5 never index outside.
int GroupPositions(int n, const int* groups, int* positions);
// Closes the gaps among the positive labels in place (1, 3, 5, 3 -> 1, 2, 3, 2),
// keeping their order; k is the number of distinct labels.
void RenamePartitionLabels(int n, int k, int* labels);

// Classes of equal width (vector transformation 8): class 1 for the minimum,
// k for the maximum, ceil((x - min) k / (max - min)) between; MISSING stays
// in the MV forms. Return 0 (nothing written) when k < 1, else 1.
int ClassesMV(int n, const double* x, double* classes, int k);
int ClassesDefinitionMV(int n, const double* x, double* classes, int k, double min, double max);
int Classes(int n, const double* x, double* classes, int k);
int ClassesDefinition(int n, const double* x, double* classes, int k, double min, double max);
// Counts of the values in k classes of equal width; upperBounds (optional)
// receives min + (c + 1)(max - min) / k.
void FreqDistribution(int n, const double* x, int* counts, int k, double* upperBounds);

// Q (n x k): 1 in the column of each unit's group, 0 elsewhere; groups null
// means one group per unit.
void CrispBelonging(int n, int k, const int* groups, double** Q);
// Fuzzy belonging of every unit to each of k groups from the similarity
// matrix S (upper triangle; 1 - S when dissimilarity), rows of Q summing to 1.
void FuzzyBelonging(int n, int k, double** S, const int* groups, double** Q, bool dissimilarity);
// Units whose resemblance is exactly 1 (or 0 for dissimilarities) join the
// group of the earlier unit; partition gets labels 1..count.
void ClusterIdenticals(int n, double** S, int* partition, int& count, bool dissimilarity);
// Y (kRows x kCols): the sums of X over each pair of a row group and a column
// group divided by the product of the group sizes; mode 1 rescales Y to the
// total of the plain sums.
void ConcentrateGroups(int n, int m, double** X, double** Y, int kRows, const int* rowGroups,
                       int kCols, const int* colGroups, int mode);
// For each group g and each of its units u in order: Y[j][g-1] = X[j][u] -
// Y[j][g-1] over the m rows j.
void ReleveChange(int n, double** X, double** Y, int m, int k, const int* groups);
// Means of width consecutive rows (byRows) or columns for each window
// position; count receives the number of windows.
void SplitMovingWinPool(int n, int m, double** X, double** Y, int width, int& count, bool byRows);


// ===========================================================================
// Distances and similarity coefficients
// ===========================================================================
// Resemblance between the rows of a table X (m rows, the compared entities, by
// q attributes; -999 missing) written into a caller-allocated m x m matrix R.
// Unless said otherwise a routine writes the upper triangle with the diagonal
// and leaves the lower triangle to the caller. The Euclidean, city-block,
// Bray-Curtis, Gower, simple matching, binary and (complete tables)
// Mahalanobis routines run on the current thread team; every pair
// is computed by the same sequential code whatever thread gets it, so the
// results do not depend on the number of threads.

// Euclidean distance over all attributes (no missing-value check); both
// triangles, diagonal 0.
void EucliDist(int m, int q, double** X, double** R);
// Euclidean distance over the attributes present in both rows; both triangles.
void EucliDistMV(int m, int q, double** X, double** R);
// As EucliDistMV over the attributes whose sel entry is not 0; upper triangle
// without the diagonal, diagonal 0.
void EucliDistMVSelect(int m, int q, double** X, double** R, const int* sel);
// Absolute difference on attribute k alone (1-based), 0 where either value is
// missing; upper triangle without the diagonal, diagonal 0.
void EucliDistMVSelectOne(int m, int q, double** X, double** R, int k);
// Squared Euclidean distances (no missing-value check); upper triangle, diagonal 0.
void EucliDistSq(int m, int q, double** X, double** R);
// Sum of squared differences of two vectors (no missing-value check).
double EucliDistSq2Vec(int q, const double* x, const double* y);

// City-block distance (sum of absolute differences) over the attributes
// present in both rows; upper triangle, diagonal 0.
void AbsValFunctionMV(int m, int q, double** X, double** R);
// The same without the missing-value check.
void AbsValFunction(int m, int q, double** X, double** R);
// Absolute differences between the entries of one vector (0 where either is
// missing); upper triangle, diagonal 0.
void AbsValFunctionMV(int m, const double* x, double** R);
// Sum of absolute differences of two vectors.
double AbsValFunction2VecD(int q, const double* x, const double* y);

// Chord distance: the Euclidean distance between the rows scaled to unit
// length; both triangles. With missing values each pair is scaled over the
// attributes present in both.
void ChordDistMV(int m, int q, double** X, double** R);
// Squared chord distance over the positions present in both vectors; a vector
// whose norm there is 0 is divided by 1.
double ChordDistSq2VecMV(int q, const double* x, const double* y);
// Squared chord distance of two complete vectors.
double ChordDistSq2Vec(int q, const double* x, const double* y);

// Mahalanobis distance between rows with the covariance matrix of the
// attributes; upper triangle, diagonal 0. A covariance matrix that is singular
// or too ill-conditioned to invert reliably (fewer units than attributes plus
// one, a constant attribute, collinear attributes) is refused: the routine
// returns false and leaves R unchanged, so that the caller can say why.
bool Mahalanobis(int m, int q, double** X, double** R);

// Percentage difference (Bray-Curtis); a table with negative values is
// shifted by its smallest value. Upper triangle, diagonal 0; 0 for a pair
// without a positive denominator.
void BrayCurtisMV(int m, int q, double** X, double** R);

// Gower's similarity for mixed variables (varType: 1 binary, 2 nominal,
// 3 quantitative, 4 ordinal). Ordinal variables are ranked in a work copy, X
// is not changed. ranges, when given, receives the range used for each
// variable (computed from the data); weights, when given, weighs each variable
// (a weight of 0 or less leaves it out). countDoubleAbsence 0: a double absence
// on a binary variable counts nothing. Both triangles, diagonal 1; a pair
// without any comparable variable gets 0.
void GowerMVOpt(int m, int q, const int* varType, double** X, double** R, double* ranges,
                const double* weights, int countDoubleAbsence);
// The earlier form: no ordinal type, double absences always counted.
void GowerMV(int m, int q, const int* varType, double** X, double** R, double* ranges,
             const double* weights);
// Gower contribution (numerator part, times weight) of one variable x of the
// given type for every pair, upper triangle, stored in single precision.
void GowerMVPartial_dAbsences(int m, int type, const double* x, float** R, double range,
                              double weight, int countDoubleAbsence);

// Legendre & Chodorowski similarity with parameter k; weights (may be null)
// weigh each variable, a weight of 0 or less leaving it out. Both triangles,
// diagonal 1, values rounded to single precision; a pair without a
// comparable variable gets 0.
void LegendreChodorowski(int m, int q, double** X, double** R, const double* weights, double k);

// Eigen analysis of the 2 x 2 cross-product matrix of x and y over the
// positions present in both. secondEig receives the second eigenvalue; the
// other outputs are written when given (firstVec and secondVec: two values).
void HierFactorialEigen(int q, const double* x, const double* y, double* firstEig,
                        double* secondEig, double* firstVec, double* secondVec);

// Joint frequencies of two binary vectors: a (1,1), b (1,0), c (0,1), d (0,0).
// A position holding anything but 0 or 1 in either vector counts nowhere.
void JointFreq(int q, const double* x, const double* y, int* a, int* b, int* c, int* d);

// Binary similarity and dissimilarity coefficients on the joint frequencies;
// upper triangle with the diagonal.
void Jaccard(int m, int q, double** X, double** R);             // a/(a+b+c), 0 if empty
void SimpleMatching(int m, int q, double** X, double** R);      // equal values / present pairs
void SokalMichener(int m, int q, double** X, double** R);       // a/(a+b+c+d)
void Ochiai(int m, int q, double** X, double** R);              // a/sqrt((a+b)(a+c))
void Sorensen(int m, int q, double** X, double** R);            // 2a/(2a+b+c)
void MeanSquareContingency(int m, int q, double** X, double** R);  // phi squared
void JaccardDissimilarity(int m, int q, double** X, double** R);   // (b+c)/(a+b+c), 1 if empty
void JaccardTurnover(int m, int q, double** X, double** R);        // -999 when undefined
void JaccardNestedness(int m, int q, double** X, double** R);      // -999 when undefined
void SorensenDissimilarity(int m, int q, double** X, double** R);  // (b+c)/(2a+b+c), 1 if empty
void SorensenTurnover(int m, int q, double** X, double** R);       // -999 when undefined
void SorensenNestedness(int m, int q, double** X, double** R);     // -999 when undefined

// Multiple-site Sorensen dissimilarity of a presence/absence table (n units by
// p variables; only the cells holding 0 or 1 count). groups null: one value
// for the whole table, returned. Otherwise out[g] receives the value of the
// g-th group in ascending order of label and the routine returns 0. A group
// whose value is undefined (a denominator of 0) gets -999.
double BetaSOR(int n, int p, double** X, const int* groups, double* out);

// Spearman rank correlation of two complete vectors (ties averaged; q^3 in
// single precision).
double Spearman2Vec(int q, const double* x, const double* y);
// Logarithmic distance: for each pair the sum over the attributes of
// [(x+y) log10((x+y)/2) - x log10 y - y log10 x] / (x+y), divided by the
// number of attributes where x or y is at least 1. A zero abundance, which has
// no logarithm, is taken as 0.1; missing and negative values take no part.
// Upper triangle, diagonal 0.
void CYD(int m, int q, double** X, double** R);
// Diagonal to 1, lower triangle to 0.
void Cleanup(int m, double** R);



// ===========================================================================
// Entropy, diversity and information measures
// ===========================================================================
// Logarithms are natural (entropies in nats). An order alpha within 1e-12 of
// 1 is Shannon's. Contingency tables hold counts in double cells; a cell of
// -999 in a table given by the caller is missing and skipped. 0 ln 0 is 0.

// Renyi entropy of order alpha of the proportions x_i / (sum of the positive
// x); entries of 0 or less take no part. 0 when nothing is positive.
double EntropyVector(int n, const double* x, double alpha);
// The same; at order 1 also code[i] = -ln p_i for every p_i > 0 (the other
// entries are left as they are).
double EntropyVectorCodeLength(int n, const double* x, double alpha, double* code);

// Number of orders alphaFrom, alphaFrom + alphaStep, ... up to alphaTo that the
// table entropies compute (a step that divides the span but for its binary
// error still reaches alphaTo; none goes beyond it); when alphaStep is not
// positive, 1 (0 when alphaFrom is above alphaTo). Callers size the result
// vectors with it.
int EntropyOrderCount(double alphaFrom, double alphaTo, double alphaStep);
// Renyi entropies of an n x p table for each order k (alpha = alphaFrom +
// k alphaStep): of its cell proportions (joint), of its column margin and of
// its row margin. Returns the number of orders.
int EntropyMV(int n, int p, double** T, double* joint, double* colEnt, double* rowEnt,
              double alphaFrom, double alphaTo, double alphaStep);
// As EntropyMV, plus mutual = row + column - joint entropy, Rajski's metric
// 1 - mutual/joint and the coherence coefficient sqrt(1 - rajski^2). A
// negative mutual entropy gives 0, Rajski 1 and coherence 0; a joint entropy
// of 0 (one occupied cell) gives Rajski 0 and coherence 1.
int Entropy_MV(int n, int p, double** T, double* joint, double* colEnt, double* rowEnt,
               double* mutual, double* rajski, double* coherence, double alphaFrom,
               double alphaTo, double alphaStep);
// Whether the last "Tables.txt" asked for (by a pairwise routine with
// printTables) was created and written whole.
bool TablesFileWritten();
// sqrt(1 - r^2), and 0 when 1 - r^2 is within rounding of 0: the coherence
// from Rajski's metric and Rajski's metric from the coherence.
double RootOfOneLessSquare(double r);
// Coherence coefficient of one table at order alpha (alpha rounded to single
// precision).
double CoheCoefMV(int n, int p, double** T, double alpha);
// Entropy of the row margin (alpha as given), of the column margin (alpha
// rounded to single precision).
double EntropyRows(int n, int p, double** T, double alpha);
double EntropyCols(int n, int p, double** T, double alpha);
// Mutual entropy of a two-way table: at order 1 the sum of
// p_ij ln(p_ij / (p_i p_j)); otherwise ln(sum p_ij^alpha (p_i p_j)^(1-alpha)) / (alpha-1).
double MutualEntropyMV(int n, int p, double** T, double alpha);
// Three-way information against the two-way margins (Kirkwood reference
// p_ij p_ik p_jk / (p_i p_j p_k)): at order 1, H(XY) + H(XZ) + H(YZ) - H(X)
// - H(Y) - H(Z) - H(XYZ).
double MutualEntropy3D_MV(int a, int b, int c, double*** T3, double alpha);
// Information of a three-way table against the product of its one-way margins.
double ThreeWayInteraction_MV(int a, int b, int c, double*** T3, double alpha);
// Chi-square statistic of a two-way table (cells whose expected count is 0
// are skipped).
double QuiSquareFromContingencyMV(int n, int p, double** T);

// The states of a nominal vector (its non-missing values truncated to whole
// numbers) in order of first appearance, into states, and the number of
// values of each state, into freq; *nStates receives their number. states
// and freq need room for n entries.
void ContingencyVector(int n, const double* x, double* freq, int* nStates, int* states);
// The state of each of the n positions, numbered from 0 as ContingencyVector
// lists them, -1 where the value is missing; returns the number of states.
// For counting the states of many subsets of one vector without listing
// them anew each time.
int ContingencyStateIndex(int n, const double* x, int* index);
// Contingency table of two nominal vectors over the q positions where both
// are present: rows are the states of x, columns those of y, each in order of
// first appearance. T must hold CountStates(q, x) x CountStates(q, y) cells;
// dims receives the two state counts. With a file, the states and the table
// are written to it.
void ContingencyMV(int q, const double* x, const double* y, double** T, int dims[2], FILE* file);
// The three-way table of x, y and z (positions where all three are present).
void Contingency3D_MV(int q, const double* x, const double* y, const double* z, double*** T3,
                      int dims[3], FILE* file);

// Qualitative measures need whole-number state codes. Returns true when every
// non-missing value of X is one; otherwise prints which value is not on the
// standard error stream and returns false.
bool CheckStateCodes(int m, int q, double** X);

// Resemblance between the nominal rows of X (m rows, q attributes) from
// their contingency tables; upper triangle with the diagonal. Each first
// checks the state codes (CheckStateCodes) and returns false, R unchanged,
// when one is not a whole number. With printTables the tables go to
// "Tables.txt" (replaced at each call; "Tables3D.txt" for the triplets).
// The pairwise mutual entropy rounds alpha to single precision.
bool MutualEntropyPairwiseMV(int m, int q, double** X, double** R, double alpha,
                             bool printTables);
bool CoheCoefPairwiseMV(int m, int q, double** X, double** R, double alpha, bool printTables);
// Minimum discrimination information statistic 2 G I (Shannon).
bool MDISMV(int m, int q, double** X, double** R, bool printTables);
// Chi-square statistic without continuity correction.
bool QuiSquareMV(int m, int q, double** X, double** R, bool printTables);
// R3[i][j][k] for i <= j <= k: MutualEntropy3D_MV of rows i, j, k.
bool MutualEntropyTripletsMV(int m, int q, double** X, double*** R3, double alpha,
                             bool printTables);

// Information divergence between abundance rows: for each pair, the sum over
// the attributes present in both of x ln(2x/(x+y)) + y ln(2y/(x+y)) (terms
// of zero abundance are 0). Upper triangle with the diagonal.
void IDivergenceMV(int m, int q, double** X, double** R);
// The same for the pairs (i, i + lag) only.
void IDivergenceNeighbours(int m, int q, double** X, double** R, int lag);
// Mutual information between sampling units (total times the mutual
// information of their two-row table over the attributes present in both).
void MutualInformationMV(int m, int q, double** X, double** R);

// Rao's quadratic entropy of the quantities x with the resemblances D between
// their entities (the upper triangle of D is first copied onto its lower
// triangle: D is changed): sum over i, j of p_i p_j d_ij, with d = D or, for
// similarities, 1 - D, and its square root when sqrtOpt. Missing quantities
// and resemblances take no part; 0 when the total is not positive.
double RaoIndex(int n, const double* x, double** D, bool isDissimilarity, bool sqrtOpt);
// With similarities always.
double RaoIndex(int n, const double* x, double** S, bool sqrtOpt);
// With no matrix: Simpson's diversity, the sum of p_i p_j over i != j.
double RaoIndex_Simpson(int n, const double* x, double** D, bool isDissimilarity, bool sqrtOpt);
// Each term times the pair weight w_i w_j (multiply) or, otherwise, 1 when w_i
// or w_j is 1 and 0 else. Similarities give the distance sqrt(1 - s).
double RaoIndex_Weight(int n, const double* x, double** D, bool isDissimilarity, const int* w,
                       bool multiply);
double RaoIndex_Weight(int n, const double* x, double** D, bool isDissimilarity, bool sqrtOpt,
                       const int* w, bool multiply);
// For each of the m rows of X (quantities of n entities), Q[i] = 2 x the sum
// over the pairs j < k with D, x_j, x_k present of d_jk x_j x_k w_jk; with
// relative, each row is first divided by its total. When some resemblances
// are missing the sum is scaled up by (sum of x_j x_k over all pairs) / (over
// the pairs that entered). Returns true.
bool RaoIndex_Weight_Matrix(int m, int n, double** X, double** D, double* Q,
                            bool isDissimilarity, bool sqrtOpt, const int* w, bool multiply,
                            bool relative);

// Half the sum of the absolute (or squared) differences between the
// proportions x_i / sum x and y_i / sum y; 0 when either total is not positive.
double SumAbsDeviations(int n, const double* x, const double* y, bool squared);
// 1 when the vectors are equal element by element, else 0.
int CompareVector(int n, const double* x, const double* y);
// Groups the p columns of X by their presence pattern (value > 0) over the n
// rows: freq[k] receives the number of columns with the k-th distinct
// pattern (order of first appearance), *nPatterns their number. X is not changed.
void FlorulaFrequencies(int n, int p, double** X, int* nPatterns, double* freq);
// Valences of a species (s rows) by communities (c columns) table at order
// alpha. Returns 1, or 0 after a message when a species is absent from every
// community or a community is empty.
int ValenceInvalence(int s, int c, double** X, double* localValence, double* floristicValence,
                     double* localInvalence, double* floristicInvalence, double alpha);
double LocalValence(int s, int c, double** X, double alpha);
double FloristicValence(int s, int c, double** X, double alpha);
double LocalInvalence(int s, int c, double** X, double alpha);
double FloristicInvalence(int s, int c, double** X, double alpha);
double LocalDistinctiveness(int s, int c, double** X, double alpha);
double FlorulaDiversity(int s, int c, double** X, double alpha);



// ===========================================================================
// Matrix comparisons
// ===========================================================================
//
// One number that compares two resemblance matrices of the same n objects
// (n x n, both triangles stored) or two configurations of the same n objects
// (tables of n rows by p and q columns, or score tables of one row per axis).
// Shared rules:
// - Pair statistics read the entries above the diagonal (i < j) and leave out
//   every pair in which one of the matrices compared holds MISSING (-999).
// - The caller's arrays are never written: centring, standardising, squaring
//   and the 1 - s conversion work on copies (sessions share their arrays with
//   the current data set).
// - A statistic that is undefined is NaN (test with std::isnan), never a
//   made-up number; callers report it as not testable. The Pearson-type
//   statistics (MatrixCorr, RdMatrixCorr, MatrixRankCorr, MatrixCorrAdj and
//   the correlations inside PartialMatrixCorr) instead give 0 for a matrix
//   whose compared entries have no spread (all equal, or fewer than 2 pairs);
//   a NaN among the compared entries (or, but for the ranks, an infinity)
//   makes them NaN.

// --- Resemblance matrices ---------------------------------------------------
// Mantel statistic: Pearson correlation of the pairs (A[i][j], B[i][j]), i < j.
double MatrixCorr(int n, double** A, double** B);
// Partial matrix correlation of A and B given Z over the pairs where none of
// the three holds MISSING: (r_AB - r_AZ r_BZ) / sqrt((1 - r_AZ^2)(1 - r_BZ^2)),
// each r as MatrixCorr's (0 without spread). NaN when (1 - r_AZ^2)(1 - r_BZ^2)
// <= 0 (A or B a linear function of Z).
double PartialMatrixCorr(int n, double** A, double** B, double** Z);
// Rd: Pearson correlation of all n x n cells of the Gower-centred A and B
// (GowerMatrixCentering of the upper triangles). squared true squares the
// entries before centring: with Euclidean distances that gives the RV
// coefficient of the two tables; false gives the squared distance
// correlation (dCor^2). NaN when A or B holds MISSING on or above the
// diagonal; 0 without spread.
double RdMatrixCorr(int n, double** A, double** B, bool squared);
// Kruskal's stress sqrt(sum (a - b)^2 / sum ((a + b) / 2)^2) over the pairs
// i < j; -1 when the denominator is 0 (two zero matrices, or no pair).
double MatrixStressKruskal(int n, double** A, double** B);
// The sum over all n x n cells of A[i][j] B[i][j] (no missing-value check).
double vecProd(int n, double** A, double** B);

// Forms without a caller in the interactive program (upper-triangle pairs,
// MISSING pairs left out as above).
// 1 - r^2, r = MatrixCorr(A, B).
double MatrixStress(int n, double** A, double** B);
// Covariance of the pairs (divisor: the number of pairs less one; 0 with
// fewer than 2 pairs).
double MatrixCov(int n, double** A, double** B);
// Cosine (uncentred correlation); 0 when either side is all zero.
double MatrixCos(int n, double** A, double** B);
// Spearman correlation: Pearson correlation of the ranks (ties averaged).
double MatrixRankCorr(int n, double** A, double** B);
// MatrixCorr leaving out, besides, the pairs in which both values are below
// 1e-6 in absolute value (double zeros); its means are over the kept pairs.
double MatrixCorrAdj(int n, double** A, double** B);
// Sum over those kept pairs of (a - meanA)(b - meanB), with the means given.
double MatrixProdMomentAdj(int n, double meanA, double meanB, double** A, double** B);
// Sum of |a - b|; Euclidean distance sqrt(sum (a - b)^2); and the
// root-mean-square difference sqrt(sum (a - b)^2 / number of pairs), a
// distance that does not grow with n (0 without pairs).
double MatrixAbsValDist(int n, double** A, double** B);
double MatrixEudDist(int n, double** A, double** B);
double MatrixDist(int n, double** A, double** B);
// 1 - (sum over all n x p cells of (a - b)^2, or of |a - b|) / 2n; cells in
// which either holds MISSING are left out.
double SQMatrixDeviations(int n, int p, double** A, double** B);
double SumAbsMatrixDeviations(int n, int p, double** A, double** B);

// Dispatch by code: 'm' MatrixCorr(A, B), 'r' RdMatrixCorr(A, B, rdSquared),
// 'v' RVcoeff(n, p, q, X, Y), 'p' ProcrustesCoeff(n, p, q, X, Y); any other
// code gives 0. Only the arrays the code needs are read (the others may be
// null). Each flag speaks for its own matrix: a matrix whose flag is false
// holds similarities and is compared as 1 - s (MISSING kept), so that two
// similarity matrices, two dissimilarity matrices or one of each are always
// compared on the same footing.
double MatrixCorrelationLib(int n, int p, int q, double** X, double** Y, double** A, double** B,
                            bool aIsDissimilarity, bool bIsDissimilarity, bool rdSquared, char code);
// The older form: the one flag speaks for both matrices; Rd unsquared.
double MatrixCorrelationLib(int n, int p, int q, double** X, double** Y, double** A, double** B,
                            bool isDissimilarity, char code);

// --- Tables of the same n objects -------------------------------------------
// RV coefficient of X (n x p) and Y (n x q): the columns centred over their
// non-missing values, W_X = X X' and W_Y = Y Y', RV = <W_X, W_Y> /
// sqrt(<W_X, W_X> <W_Y, W_Y>), cells of W made of missing values only
// counting as 0. NaN when either table has no spread.
double RVcoeff(int n, int p, int q, double** X, double** Y);
// The same, with W formed by MatrixProd (the same value, except that
// MatrixProd also leaves out a centred value of exactly -999; kept as a
// second route to it).
double RVcoeff_OLD(int n, int p, int q, double** X, double** Y);
// Procrustes correlation of X (n x p) and Y (n x q), p and q in any order:
// both centred by column (missing values left out) and scaled to a total sum
// of squares of 1; the sum of the singular values of X' Y. 1 for two
// configurations that differ by a rotation, reflection, scale and shift;
// symmetric in X and Y. 0 when the decomposition fails.
double ProcrustesCoeff(int n, int p, int q, double** X, double** Y);
// The same statistic t (returned), X and Y taken in the order given, and the
// fit of Y onto X in k = max(p, q) dimensions: fit (n x k, caller-allocated)
// = t x Ys V U', Xs and Ys the standardised tables (each of total sum of
// squares n - 1) padded with zero columns to k, and Xs' Ys / (n - 1) = U W V'.
// The fit is then as near Xs as a rotation allows: the sum of squares of Xs -
// fit is (n - 1)(1 - t^2). Missing cells of Y count as 0 in the fit.
double ProcrustesCoeff(int n, int p, int q, double** X, double** Y, double** fit);
// The six-argument form for tables stored one row per variable (or axis):
// X p x n, Y q x n; fit n x max(p, q) as there.
double ProcrustesCoeff_T(int p, int q, int n, double** X, double** Y, double** fit);

// Procrustes adjustment of configuration Y onto the target X, both stored one
// row per axis (X kX x n, Y kY x n; the sampler of ordination stability
// passes kX = kY). Xc, Yc: every axis centred over the n objects; Xc Yc' =
// U W V'; the rotated Y is R = Yc' V U' (n x kX), its scale trace(R Xc) /
// trace(Yc' Yc) (0 when Y has no spread). fit (kX x n, caller-allocated)
// receives the scaled rotation with the means of X's axes added back; dist
// (kX entries, may be null) the squared distance between each axis of Xc and
// the same axis of the fit before the means are added. X and Y are not
// changed; fit may not be X or Y.
void ProcrustesAdjT(int kX, int kY, int n, double** X, double** Y, double** fit, double* dist);
void ProcrustesAdjT(int kX, int kY, int n, double** X, double** Y, double** fit);
// The same adjustment for configurations stored one row per object: X n x kX,
// Y n x kY, fit n x kX; dist as above. Returns 0.0.
double ProcrustesAdj(int n, int kX, int kY, double** X, double** Y, double** fit, double* dist);
// Fits Y onto X (both n x k) by ProcrustesAdj and returns 2 (1 - sqrt(1 -
// e / t)), e the sum of squares of X - fit and t that of the uncentred X;
// NaN when t is 0.
double ProcrustesCoeff_OLD(int n, int k, double** X, double** Y);

// --- The statistics on permuted units ---------------------------------------
// A permutation test between two data sets recomputes one of the statistics
// above with the sampling units of one set permuted: the rows and columns of
// its resemblance matrix together, or the rows of its table. A
// PermutedComparison computes once what permuting leaves unchanged (the
// centred triangles and their sums of squares, the Gower-centred matrices,
// the centred or standardised tables and their inner-product norms), so that
// each arrangement costs one O(n^2) gather, or one O(npq) cross-product and a
// small SVD, with no allocation of its own. Values agree with the plain
// routines to rounding. A permuted matrix that holds MISSING, or is not
// symmetric, or a fixed one with MISSING above the diagonal, is copied in the
// permuted order and handed to the plain routine.
//
// The caller's arrays are read, never written, and must outlive the object.
class PermutedComparison {
public:
    enum Statistic { kMantel, kPartialMantel, kRd, kRV, kProcrustes };

    // Resemblance matrices (n x n): P the permuted one, F and Z fixed (Z for
    // the partial test only, may be null otherwise). With P' the permuted P
    // (P'[i][j] = P[list[i] - 1][list[j] - 1] above the diagonal and, for Rd,
    // on it), the statistic is MatrixCorr(n, P', F), PartialMatrixCorr(n, P',
    // F, Z) or RdMatrixCorr(n, F, P', squared).
    PermutedComparison(Statistic statistic, int n, double** P, double** F, double** Z, bool squared);
    // Tables of the same n units: P (n x p) the permuted one, F (n x q)
    // fixed; with P' (row i = row list[i] - 1 of P) the statistic is
    // RVcoeff(n, q, p, F, P') or ProcrustesCoeff(n, q, p, F, P').
    PermutedComparison(Statistic statistic, int n, int p, int q, double** P, double** F);
    ~PermutedComparison();
    PermutedComparison(const PermutedComparison&) = delete;
    PermutedComparison& operator=(const PermutedComparison&) = delete;

    // The statistic with the units in the order of list (unit numbers from
    // 1, as RndList draws them); null for the units as they are.
    double operator()(const int* list);
    // values[k] = the statistic for list k of count lists of n unit numbers
    // stored one after another. A block of lists shares each pass over the
    // matrix read in permuted order, which is cheaper than one list at a
    // time; each value is the same whatever the block.
    void Evaluate(int count, const int* lists, double* values);
    static constexpr int kBlock = 8;

private:
    void PrepareMatrices(double** P, double** F, double** Z);
    void PrepareTables(double** P, double** F);
    void MatrixStatistics(int count, double* values);
    double TableStatistic(const int* idx);
    double PlainStatistic(const int* idx);

    Statistic statistic_;
    int n_, p_, q_;
    bool squared_, plain_ = false, gram_ = false;
    double** P_;
    double** F_;
    double** Z_;
    // idx_, inv_: kBlock permutations from 0 and their inverses; gather_:
    // the n x n matrix read in permuted order (centred P, Gower-centred P or
    // P P'); w1_, w2_: the fixed side, packed by rows above (and for the
    // whole-matrix statistics on) the diagonal, row i from rowStart_[i];
    // sums_: the sums of squares and the fixed correlation that finish a
    // statistic.
    int* idx_ = nullptr;
    int* inv_ = nullptr;
    long long* rowStart_ = nullptr;
    double** gather_ = nullptr;
    double* w1_ = nullptr;
    double* w2_ = nullptr;
    double sums_[4] = {0.0, 0.0, 0.0, 0.0};
    // Tables: the fixed (fixedT_, n x q) and permuted (permT_, n x p)
    // tables, centred or standardised; cross_ their cross-product and u_,
    // s_, v_ the decomposition of it.
    double** fixedT_ = nullptr;
    double** permT_ = nullptr;
    double** cross_ = nullptr;
    double** u_ = nullptr;
    double** v_ = nullptr;
    double* s_ = nullptr;
    // The permuted copy that the plain routines read.
    double** random_ = nullptr;
};

#endif
