// Analysis routines: matrix operations and eigen analysis, random lists,
// Beals smoothing, the analysis dispatchers, and the clustering engines.
#ifndef RHLIB_M_H
#define RHLIB_M_H

#include <cstdio>

// ===========================================================================
// Matrix operations, eigen analysis and SVD
// ===========================================================================


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
