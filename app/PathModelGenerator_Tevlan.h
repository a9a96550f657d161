// Path-model generator: a simulation study of the permutation tests of path
// models. Data sets are drawn from a given path model, the basis-set test of
// key F's engine is run on each, and the report gives the proportion of
// tests that found the model valid at ten significance levels.
#ifndef PATHMODELGENERATOR_TEVLAN_H
#define PATHMODELGENERATOR_TEVLAN_H

#include <string>
#include <vector>

#include "FtevlanRn.h"

// Key J (English only). The seed and the source of the answers are asked on
// the standard input; every later answer is read from `in`, which is left on
// the options file (or the keyboard) afterwards, so that the main menu goes
// on reading there. The current data set is not touched, and the resemblance
// options a criterion forces are restored however the run ends. Returns 1.
int PathModelGenerator();

// Distribution codes of the deviates.
enum PathDeviates {
    kUniformDeviates = 1,
    kNormalDeviates = 2,
    kNegativeBinomialDeviates = 4,
    kLognormalDeviates = 5,
    kExponentialDeviates = 7,
    kCubedExponentialDeviates = 8
};

// Comparison of blocks: 1 Procrustes, 2 Mantel, 3 RV, 4 Rd.
enum PathCriterion { kProcrustesCriterion = 1, kMantelCriterion = 2, kRVCriterion = 3, kRdCriterion = 4 };

// The ten significance levels at which a model is judged.
constexpr int kPathLevels = 10;
extern const double kPathLevelValues[kPathLevels];

// One study as its dialogue leaves it.
struct PathModelStudy {
    std::string output;         // the file the study appends to (created empty by the dialogue)
    int p = 2, n = 3;           // variables and sampling units
    std::vector<double> B;      // p x p, row by row: B[k * p + j] is the path from k to j
    std::vector<int> levels;    // one per variable
    int deviates = kNormalDeviates;
    std::vector<double> probabilities;  // negative binomial: one per variable
    int criterion = kProcrustesCriterion;
    int tests = 1;
    bool saveDataSets = false;      // each data set, its node matrix and its test
    bool savePermutations = false;  // every permutation of every test
    int nullModel = kPermuteAllNodes;
    int nPerm = 1;
    int restriction = 0, dim = 0;
    bool nested = false, bundled = false;
    std::vector<int> nestGroups, bundleGroups;  // n entries when used
    std::vector<int> sizes;                      // blocks of consecutive variables
    std::vector<PathClaim> claims;
};

// The tally of a study: counts[l] tests found the model valid at level l
// (Q greater than it), out of `defined` tests whose Fisher's C was defined;
// `undefined` tests had a claim whose observed partial correlation was not
// finite; `notFinite` simulated data sets held values that were not finite
// and were not tested. In `uncomputed` of the random arrangements of the
// tests run (defined and undefined) a claim had no partial correlation.
struct PathModelTally {
    int defined = 0;
    int undefined = 0;
    int notFinite = 0;
    int counts[kPathLevels] = {};
    long long uncomputed = 0;
};

// Runs the tests of a study on the generator r as it stands, appending to
// s.output (when it cannot be opened a message is printed and that output is
// left out) the saved blocks and the final results with the seed printed.
PathModelTally RunPathModelStudy(const PathModelStudy& s, unsigned long seed);

// Adds the test of probability Q to the tally: defined or not, and each
// level that Q exceeds. A Q within rounding of a level does not exceed it.
void TallyTest(double Q, PathModelTally& tally);

// One simulated table X (n x p) from r: every cell drawn, unit by unit, then
// the path model imposed. The variables of each level above 0, level by
// level upwards and in column order within a level, become in every unit
// the sum over the other variables k of B[k][j] x[k] plus their own draw,
// which is their error term; the variables of level 0 and below keep their
// draws. probabilities: one per variable, for the negative binomial.
void DrawPathModelData(int n, int p, const double* B, const int* levels, int deviates, const double* probabilities,
                       double** X);

// Nodes compared by the RV coefficient (squared, from squared distances) or
// the Rd coefficient (not squared) of one n x n resemblance matrix per node
// (both triangles; read in the constructor only). Each matrix is
// Gower-centred once: an arrangement permutes the rows and columns of the
// centred matrices, which is the centred permuted matrix, so each node pair
// costs one pass over the cells read through the lists.
class CentredResemblanceNodes : public PathNodes {
public:
    CentredResemblanceNodes(int n, const std::vector<double**>& matrices, bool squared);
    int Nodes() const override { return static_cast<int>(centred_.size()); }
    int Units() const override { return n_; }
    void NodeMatrix(const int* const* lists, double** M) override;
    void FirstNodeMatrix(int first, const int* list, double** observed, double** M) override;

private:
    // The coefficient of matrices a and c read through their lists (both
    // null: as observed).
    double Pair(int a, int c, const int* la, const int* lc) const;

    int n_;
    std::vector<std::vector<double>> centred_;  // n x n, row by row
    std::vector<double> sumSquares_;
};

// The library's names for the stopping-rule study's line printers
// (PrintIntermediateResults and kin): one line appended to the file named
// `file`, "%s for axis %d:\t%g\n" (text, axis, value), the same with two
// values, or text as it stands. Each returns 1, or 0 when the file cannot be
// opened (after fopenck's message: the line is left out, the program goes
// on).
int PrintIntermediateResults_(const char* file, int axis, const char* text, double value);
int Print2IntermediateResults_(const char* file, int axis, const char* text, double value1, double value2);
int PrintAnyIntermediateMessage_(const char* file, const char* text);

#endif
