// Analysis routines: matrix operations and eigen analysis, random lists,
// Beals smoothing, the analysis dispatchers, and the clustering engines.
#ifndef RHLIB_M_H
#define RHLIB_M_H

#include <cstdio>

// ===========================================================================
// Matrix operations, eigen analysis and SVD
// ===========================================================================

// Plain routines on 0-based double** matrices, written to caller-allocated
// outputs. MISSING (-999) is skipped where the name ends in MV and where a
// routine says so.

// --- Products ---------------------------------------------------------------
// A is n x m, B is m2 x p, Y is n x p. Each returns 1 without computing when
// m differs from m2, else 0. Y must not be A or B.
// Y = A B, terms with MISSING in either factor left out.
int MatrixProd(int n, int m, int m2, int p, double** A, double** B, double** Y);
// The same; a cell all of whose terms were left out becomes MISSING.
int MatrixProdMV(int n, int m, int m2, int p, double** A, double** B, double** Y);
// As MatrixProd for the columns j with select[j] = 1; the other columns are 0.
int MatrixProdSelect(int n, int m, int m2, int p, double** A, double** B, double** Y, const int* select);
int MatrixProdSelectMV(int n, int m, int m2, int p, double** A, double** B, double** Y, const int* select);
// Each term k multiplied by weights[k].
int MatrixProdSelectMV_Weight(int n, int m, int m2, int p, double** A, double** B, double** Y,
                              const int* select, const int* weights);
// D holds B A (B n x m, A m2 x p, D n x p); Y differs from A in row and column
// target (and possibly on the diagonal). D is brought to B Y by adding, for
// each i and j, the differences of the terms k = target and k = j (every k
// when j = target). Returns 1 without computing unless m = m2 and 0 <= target
// < min(m, p).
int MatrixProdTargetMV(int n, int m, int m2, int p, int target, double** A, double** B, double** Y,
                       double** D);
// Community-weighted product (W communities x species, B species x traits):
// Y[i][j] = sum_k W[i][k] B[k][j] weight_k over the terms without MISSING,
// rescaled by total / partial for the W left out; MISSING when every term was
// left out. Weight of term k: weights[k] weights[j] with pairMode, otherwise 1
// when weights[k] = 1 or weights[j] = 1, else 0; the nine-argument form uses
// weights[k] alone. select null means every column; unselected columns are
// not written. Rows are split over the thread team.
int MatrixProdSelectMV_Adjust_Weight(int n, int m, int m2, int p, double** W, double** B, double** Y,
                                     const int* select, const int* weights, bool pairMode);
int MatrixProdSelectMV_Adjust_Weight(int n, int m, int m2, int p, double** W, double** B, double** Y,
                                     const int* select, const int* weights);
// B = s A; MISSING stays MISSING. B may be A.
void ScalarMatrixProd(int n, int m, double s, double** A, double** B);
double VectorProd(int n, const double* x, const double* y);
double VectorProdMV(int n, const double* x, const double* y);
// M[i][j] = u[i] v[j].
void VectorOuterProd(int n, int m, const double* u, const double* v, double** M);
// Y = A + k B; returns 1 without computing when B is not n x m, else 0.
int MatrixSum(int n, int m, int rowsB, int colsB, double** A, double** B, double** Y, int k);

// --- Copies, transposes and triangles ---------------------------------------
// B (m x n) [j][i] = A[i][j]. B must not be A.
void TransposeMatrix(int n, int m, double** A, double** B);
void CopyMatrix(int n, int m, double** A, double** B);
// For j <= i: A[i][j] goes to B[j][i] and the old B[j][i] to B[i][j]; given the
// same matrix twice it transposes it in place.
void TransposeSqMatrix(int n, double** A, double** B);
void TransposeSqMatrix(int n, int** A, int** B);
void UpperToLowerMatrix(int n, double** M);
void LowerToUpperMatrix(int n, double** M);
double MatrixTrace(int n, double** M);

// --- Totals and extremes ----------------------------------------------------
void RowTotals(int n, int m, double** M, double* t);
void ColTotals(int n, int m, double** M, double* t);
double MatrixTotal(int n, int m, double** M);
void RowTotalsMV(int n, int m, double** M, double* t);
void ColTotalsMV(int n, int m, double** M, double* t);
double MatrixTotalMV(int n, int m, double** M);
// Extremes; the search starts at INT_MIN + 1 / -DBL_MAX (max) and INT_MAX /
// DBL_MAX (min). maxVectorInt starts at INT_MIN.
int maxVector(int n, const int* x);
double maxVector(int n, const double* x);
int minVector(int n, const int* x);
double minVector(int n, const double* x);
int maxVectorInt(int n, const int* x);
int minVectorInt(int n, const int* x);
// 0-based position of the first largest or smallest value (0 when n is 0).
int MaxVectorWhich(int n, const double* x);
int MaxVectorWhich(int n, const int* x);
int MinVectorWhich(int n, const double* x);
int MinVectorWhich(int n, const int* x);

// --- Eigen analysis and SVD -------------------------------------------------
// Symmetric eigen analysis (GSL): eigenvalues in descending order in eig,
// eigenvector k (unit length) in row k of evec. Reads the lower triangle and
// the diagonal of A (callers fill the whole matrix). Returns 0 when an
// eigenvalue is notably negative (below -0.001 of the sum of the eigenvalues),
// else 1; the results are written in both cases.
int EigenHouseholderQL_GSL_D(int n, double** A, double** evec, double* eig);
// The same contract, computed by Householder reduction and QL iterations.
int EigenHouseholderQL(int n, double** A, double** evec, double* eig);
// Sum of the magnitudes of the eigenvalue proportions below -0.001.
double EigenHouseholderQL_NegEigen(int n, double** A);
// Number of eigenvalues above 1e-5 percent of the total of the positive ones.
int EigenRank(int n, const double* eig);
// Singular value decomposition (GSL) of A (n x m): A = U diag(s) V', with
// r = min(n, m) singular values in descending order in s, U n x r and V m x r.
// Returns 1, or 0 when GSL reports a failure.
int SingValueDecomp(int n, int m, double** A, double** U, double* s, double** V);

// --- Stopping-rule statistics (k is 1-based) --------------------------------
// Broken-stick expected proportion of axis k of p: (sum_{i=k}^{p} 1/i) / p.
double BrokenStick(int k, int p);
// Bartlett's u over the eigenvalues k to p of n units (count not used).
double Bartlett_u(int count, int k, const double* eig, int n, int p);
// Upper-tail chi-square probability of Bartlett_u with (count - k)(count - k
// + 3) / 2 (integer division) degrees of freedom; 1 when there are none.
double Bartlett_uProb(int count, int k, const double* eig, int n, int p);
// eig[k-1] / sqrt(sum of eig[k-1..p-1]^2); 0 when that sum is 0.
double RVDIM(int p, int k, const double* eig);
// eig[k-1] / sum of eig[k..p-2]; 0 when that sum is empty or not positive.
double PseudoF_eig(int p, int k, const double* eig);

// --- Conversions for principal coordinates (n x n) --------------------------
// Gower's double centring of the squared dissimilarities (D itself when
// squared, D^2 otherwise) into the upper triangle of G (diagonal included);
// reads the upper triangle of D. G may be D.
void DissToCenterProdMatrix(int n, double** D, double** G, bool squared);
// The same centring over the full matrix (D^2 when square), both triangles.
// G may be D.
void GowerMatrixCentering(int n, double** D, double** G, bool square);
// D[i][j] = S[i][i] + S[j][j] - 2 S[i][j] for i < j, diagonal 0; the lower
// triangle is not written. D may be S.
void ProdToSqDist(int n, double** S, double** D);
// B[i][j] = B[j][i] = A[i][j]^2 (upper triangle of A read). B may be A.
void SquareSqMatrix(int n, double** A, double** B);
// B[i][j] = B[j][i] = sqrt(A[i][j]) (upper triangle of A read). B may be A.
void SquareRootSqMatrix(int n, double** A, double** B);
// D = 2 (1 - R) off the diagonal, 0 on it (upper triangle of R read).
void CorrToSqDist(int n, double** R, double** D);
// D = 1 - P (upper triangle of P read, mirrored).
void ProbToDissim(int n, double** P, double** D);
// Correlations R (nVar x min(nAxes, maxAxes)) between the score rows (axis x
// n units) and the variables: rows of data (nVar x n) when byVariables,
// otherwise its columns (data n x nVar).
void ScoreCorrComp(int nAxes, int n, double** scores, double** data, int nVar, int byVariables,
                   int maxAxes, double** R);


// ===========================================================================
// Random generator, permutation and bootstrap lists
// ===========================================================================


// ===========================================================================
// Beals smoothing and its tests
// ===========================================================================


// ===========================================================================
// Analysis dispatchers
// ===========================================================================


// ===========================================================================
// Hierarchical clustering
// ===========================================================================

// One fusion of an agglomerative clustering; the n-1 records of a run describe
// the whole dendrogram of n entities. The caller makes the records (zero-filled,
// every `members` with room for n entities; NewClusterReports does it) and owns
// them with everything they point to.
struct clusterReport {
    double level;         // fusion level of the new group (depends on the method)
    double criterion;     // Ward forms: increase of the sum of squares; method 6: first eigenvalue
    int nMembers;         // entities in the new group
    int* members;         // entity numbers from 1: the first group's, then the second group's
    int node;             // n + k for the k-th fusion (entity i is node i); not written by method 6
    int lastOfFirst;      // entity number of the first group's last member
    double branchFirst;   // level minus the level of the first group's node
    double branchSecond;  // level minus the level of the second group's node
    double* weightsAxis1; // method 6: weights of the pair on the first eigenvector (2 values)
    double* scoresAxis1;  // method 6: merged profile on the first axis (p values)
    double* weightsAxis2; // method 6: weights of the pair on the second eigenvector (2 values)
    double* scoresAxis2;  // method 6: merged profile on the second axis (p values)
};

// n-1 zero-filled records for n entities, each with room for n members; with
// `factorial` also the four arrays of method 6 (p values per profile).
clusterReport* NewClusterReports(int n, int p, bool factorial);
void FreeClusterReports(clusterReport* records, int n);

// Single (1), complete (2), average (4, UPGMA) and weighted average (5, WPGMA)
// linkage on the upper triangle of `matrix`. Similarities fuse the largest
// values first. Without `workOnCopy` the caller's upper triangle is used as
// the working matrix (its values are rewritten).
void LinkageCluster(int n, double** matrix, clusterReport* records, bool isDissimilarity,
                    bool isSquared, int method, bool workOnCopy);
// Incremental sum of squares (Ward) on dissimilarities, plain or squared.
void SumSqCluster(int n, double** dissimilarities, clusterReport* records, bool isSquared);
// Ward restricted to pairs marked adjacent in the upper triangle of
// `adjacency`; a fused group is adjacent to every neighbour of either part.
// When no adjacent pair remains, the best pair of all competes.
void SumSqClusterRestrained(int n, double** dissimilarities, int** adjacency,
                            clusterReport* records, bool isSquared);
// Hierarchical factorial clustering of the n rows of `data` (n x p).
void HierFactorialClustering(int n, int p, double** data, clusterReport* records);

// Fusion of positions a < b of a compacted working matrix of m groups (upper
// triangle): the new group's values go to position a and position b is
// removed (its row moves to the end, later rows and columns move down one).
// The first two also add the sizes and close the gap in `sizes`.
void LinkageFusion(int m, int* sizes, int a, int b, double** matrix, bool isDissimilarity,
                   int method);
void FusionMatrix(int m, int* sizes, int a, int b, double** matrix);
void TopologyFusion(int m, int* sizes, int a, int b, int** adjacency);

// ===========================================================================
// Partitions and Newick text
// ===========================================================================

#include <functional>
#include <string>

// Partition of the n entities into k groups (2 <= k <= n), numbered 1 to k in
// the order of their first members. For method 3 the cut applies the fusions
// of lowest level; for the other methods the first n-k fusions.
void GetClusterPartitionNew(int n, int k, int* partition, clusterReport* records, int method);
// The same, with the level of the cut (0 when k = n).
void GetClusterPartitionLevel(int n, int k, int* partition, double* levelOut,
                              clusterReport* records, int method);
// Every partition of a dendrogram, k = 2, 3, ..., n, in one pass: visit(k,
// partition, level) is called once per k in that order.
void ForEachClusterPartition(int n, clusterReport* records, int method,
                             const std::function<void(int, const int*, double)>& visit);
// The partition into k groups by the first n-k fusions.
int GetClusterPartition(int n, int k, int* partition, clusterReport* records);
// As GetClusterPartition; pair receives the numbers of the two groups of the
// partition into k that the next fusion joins.
void GetClusterPartitionWhich(int n, int k, int* partition, int* pair, clusterReport* records);

// Node of a tree: its number and three empty links. Release with free1D.
struct treeNode {
    int number;
    treeNode* left;
    treeNode* right;
    treeNode* parent;
};
treeNode* NewNode(int number);

// For each group 1 to k, its first entity; `out` (k x k) receives the upper
// triangle, diagonal included, of `matrix` among these representatives.
void TrimRese(int n, int k, const int* partition, double** matrix, double** out);

// Appends the Newick text of the tree (without the closing ";") to `text`.
// Labels (null: entity numbers) that hold Newick punctuation, a quote or a
// blank are quoted. The records must carry node numbers and branch lengths.
void NewickFormat(int n, const clusterReport* records, char** labels, bool withLengths,
                  std::string& text);

#endif
