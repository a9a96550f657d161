// Randomization tests and path analysis: the prologue every test opens with,
// the permutation-restriction dialogue, the conventions all permutation tests
// share, and the test drivers.
#ifndef FTEVLANRN_H
#define FTEVLANRN_H

#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <string>
#include <vector>

#include "rhlibDim.h"  // TieRule, CountsTowardP, PermutationP

// ===========================================================================
// Prologue
// ===========================================================================

// Shows the status and the title of the test family, sets optCompara (1 when
// the last resemblance compared sampling units, 2 otherwise), asks how to
// seed the generator (the clock, or a typed seed from 0 to 4294967295),
// stores the seed in `seed` and seeds `r` with it. Reports print `seed`
// (PrintSeed), so a run seeded from the clock can be repeated.
void AleatorizacaoMain();

// ===========================================================================
// Permutation restrictions
// ===========================================================================

// Restriction options, as the menu numbers them.
enum PermutationRestriction {
    kNoRestriction = 0,
    kEmbeddedMatrix = 1,  // units are the cells of an m x m resemblance matrix
    kWithinGroups = 2,    // units permuted within nesting groups
    kBundles = 3          // bundles of units permuted as wholes
};

// The restriction dialogue. Clears *nested and *permuteBundles, then writes
// the option and what belongs to it: option 1 the dimension m (asked until
// m(m-1)/2 = nObj; the option is refused when no m fits), option 2 *nested
// and nestGroups, option 3 *permuteBundles and bundleGroups (nObj entries
// each, the user's labels as given); the other outputs are not touched.
// Groups come from a file or the keyboard. A group file is read strictly, by
// the reader of key G's membership files and with its messages: a field that
// is not a whole number within the int range, or a file that ends before
// nObj numbers, ends the program (error code 2), unless askAgain is set:
// then the file-or-keyboard question is asked again. The file is closed
// here, once.
void SetPermutationRestrictions(int* option, int* dimension, bool* nested, int* nestGroups, bool* permuteBundles,
                                int* bundleGroups, bool askAgain = false);
// The same dialogue over n units that are not those of the current data set,
// shown by their numbers 1..n (group vectors of n entries).
void SetPermutationRestrictions(int n, int* option, int* dimension, bool* nested, int* nestGroups,
                                bool* permuteBundles, int* bundleGroups);

// The restriction lines of a final block, after "Permutation restrictions:\t":
// none, the embedded matrix with its dimension, or the nesting groups and/or
// bundles with their group vectors (nObj entries). The bundle line of most
// tests leaves its parenthesis open; closed closes it.
void PrintPermutationRestrictions(FILE* report, int option, int dimension, bool nested, const int* nestGroups,
                                  bool permuteBundles, const int* bundleGroups, bool closed = false);

// ===========================================================================
// Conventions shared by every permutation test
// ===========================================================================
//
// Counting: counters start at 1.0 (the observed arrangement is permutation
// 1, so N - 1 random ones are drawn); each random statistic adds 1.0 when
// CountsTowardP(random, observed, rule) holds (rhlibDim.h: TieRule::Larger,
// LargerAbsolute for correlations and coefficients, Smaller for MRPP);
// P = PermutationP(count, N, observed), NaN when the observed statistic is
// not finite. Print P with ProbabilityText, which names such a P
// "not testable".

// "Number of permutations: ", read as a whole number from 1 to 2147483647
// (integer part kept; anything else is refused and read again).
int AskNumberOfPermutations();

// The save question in its general form: the question in each language and,
// with orTable, the key p accepted too (a table of intermediate results).
// A yes for more than 50 permutations is confirmed by "Are you sure? y/n
// There are %d permutations! "; a no there asks the save question again.
// Returns 'y' (in either language), 'n' or 'p'.
int AskSaveQuestion(int nPerm, const char* english, const char* portuguese, bool orTable);
// "Save data and results of each random permutation? y/n "; true to save.
bool AskSaveEachPermutation(int nPerm);

// The progress line before random permutation i of nPerm
// ("Permutation: %d %d"); ClearLine removes it after the loop.
void ShowPermutationProgress(int nPerm, int i);

// Report lines common to the test reports, in the current language; each
// driver prints them in its own order, after the separator and the time
// stamp (TimeStamp).
void PrintNumberOfPermutations(FILE* report, int nPerm);  // "Number of permutations: %d\n"
void PrintElapsedTime(FILE* report, double seconds);      // "Elapsed time: %g seconds\n"
void PrintSeed(FILE* report);                             // "Random number generation initializer: %u\n"
// The head of a final block: the title (already in the current language),
// with ": Final results" after it when every permutation was saved, between
// separators; then the time stamp, the elapsed time, the status, the number
// of permutations and the seed.
void PrintFinalBlockHead(FILE* report, const char* title, bool saved, time_t stamp, double seconds, int nPerm);

// "not testable" ("nao testavel").
const char* NotTestable();
// A probability as "%.*g" with digits, or NotTestable() when it is NaN.
std::string ProbabilityText(double p, int digits);
// A statistic as "%g", or NotTestable() when it is NaN.
std::string ValueText(double x);
// An observed partial correlation, or "undefined" where the covariables left
// it without a value.
std::string CorrelationText(double r);

// ===========================================================================
// Test drivers
// ===========================================================================

int AleatorizacaoUnitsManova();

// Key A (a resemblance matrix between the variables is current): the
// resemblance of every pair of variables against arrangements in which each
// variable's values are permuted among the units apart from the others, then
// the follow-ups the measure allows (triplets of mutual entropy, partial
// correlations).
void AleatorizacaoVar();
// The mutual entropy of the variable triplet and of each pair conditional on
// the third, against free permutations of each variable (measure 7, three
// variables).
void AleatorizacaoVar_Triplets();

// ===========================================================================
// Path analysis
// ===========================================================================
//
// Key F. The nodes of a path model are the variables of the current data set
// (univariate road) or blocks of consecutive variables. A claim states that
// two nodes are independent given a list of other nodes; it is tested by
// the partial correlation of the pair given the covariables, read from the
// node matrix (correlations between variables, Procrustes or Mantel
// correlations between blocks), against the same statistic over random
// arrangements.
//
// The engine below runs every such test: PermutationTestOfClaims draws, for
// each permutation, one unit list per node (in node order, by the restriction
// option), asks a PathNodes object for the node matrix of that arrangement
// (null model 2: of each claim's first node moved alone by its list) and
// counts each claim's random partial correlation by absolute value. Key
// F's four routines, the variable-comparison test (its basis set of partial
// correlations goes through PathAnalysisBasisSetPermutationTest with the
// main test's N, restrictions and save answer) and the path-model generator
// (its own node matrices, from generated tables, through the same engine:
// it derives a PathNodes for RV and Rd, or uses the two given here) all run
// through it, so the draws, the null models and the counting are one rule.
// The loop stays on the calling thread; nothing is allocated per claim or per
// permutation.

// The main-menu handler of key F: road, null model, prologue, N,
// restrictions, save question, then the search or one of the three
// basis-set tests. The resemblance options it forces for a road are
// restored on every way out.
void PathAnalysis();

// One claim: the two nodes of the pair (0-based, first < second) and the
// covariable nodes in the order given.
struct PathClaim {
    int first = 0;
    int second = 0;
    std::vector<int> covariables;
};

// The node statistic of a test: the b x b node matrix of the arrangement in
// which node a takes its units in the order lists[a][0..n-1] (unit numbers
// from 1; lists null: the observed arrangement). Both triangles are filled
// and the diagonal is 1.
class PathNodes {
public:
    virtual ~PathNodes() = default;
    virtual int Nodes() const = 0;
    virtual int Units() const = 0;
    virtual void NodeMatrix(const int* const* lists, double** M) = 0;
    // The node matrix of the arrangement in which node first takes its
    // units in the order list and every other node keeps the observed order
    // (observed: the node matrix of the observed arrangement): null model
    // 2's matrix for a claim whose pair begins with first. Being the node
    // matrix of real data, with correlations between variables it is a
    // correlation matrix, and the covariables' block is the observed one
    // (unless transformations applied anew carry the move into the other
    // columns). This form computes the whole matrix; nodes whose pairs are
    // computed apart override it to compute only first's.
    virtual void FirstNodeMatrix(int first, const int* list, double** observed, double** M);

protected:
    // observed into M (b x b), then row and column first from pair(c), the
    // statistic of node first moved against node c as observed.
    template <class Pair>
    static void FirstRow(int b, int first, double** observed, double** M, Pair pair) {
        for (int a = 0; a < b; a++)
            for (int c = 0; c < b; c++) M[a][c] = observed[a][c];
        for (int c = 0; c < b; c++) M[first][c] = M[c][first] = c == first ? 1.0 : pair(c);
    }
    // 1..n: the observed order of the units.
    const int* Identity();

private:
    std::vector<int> identity_;
    std::vector<const int*> lists_;
};

// Correlations between the p columns of X (n x p). With retransform, X holds
// the data as read and every arrangement is transformed again with the
// transformations in force (ReapplyTransformations) before its correlations;
// otherwise X is taken as it is. Without missing values or transformations
// an arrangement costs its columns' standardisation and their cross-products,
// which give the values of ResemblanceLib to the last bit; otherwise each
// arrangement is gathered into a table and correlated by ResemblanceLib
// (measure 17 between variables). X must outlive the object.
class VariableNodes : public PathNodes {
public:
    VariableNodes(int n, int p, double** X, bool retransform);
    ~VariableNodes() override;
    VariableNodes(const VariableNodes&) = delete;
    VariableNodes& operator=(const VariableNodes&) = delete;
    int Nodes() const override { return p_; }
    int Units() const override { return n_; }
    void NodeMatrix(const int* const* lists, double** M) override;
    void FirstNodeMatrix(int first, const int* list, double** observed, double** M) override;
    // The arranged table (n x p) as the correlations see it: gathered, and
    // transformed again when the object re-transforms.
    void ArrangedTable(const int* const* lists, double** T);

private:
    // The cross-products of the columns of gathered_, into sums_.
    void CrossProducts();

    int n_, p_;
    int stride_ = 0;
    double** X_;
    bool retransform_, literal_;
    std::vector<double> columns_;   // p x n, the columns of X (cross-product route)
    std::vector<double> column_;    // 2 n, one arranged column and its standardised values
    std::vector<double> gathered_;  // n x stride_, the arrangement's standardised values
    std::vector<double> sums_;      // 16 per tile of 4 x 4 columns
    std::vector<double> standardised_;  // n x p, the columns of X standardised (first-node matrices)
    std::vector<double> rowSums_;       // p, the cross-products of one first node
    double** work_ = nullptr;       // n x p (ResemblanceLib route)
};

// Blocks of consecutive columns of X (n x p): block a holds sizes[a] columns
// from the column after the earlier blocks. The node matrix holds
// statistic(n, size(a), size(c), block a, block c) for each pair of blocks
// (ProcrustesCoeff for the Procrustes test), the rows of each block moved
// together by its list. statistic may be null for an object that only keeps
// the block tables.
class BlockTableNodes : public PathNodes {
public:
    using Statistic = double (*)(int n, int p, int q, double** X, double** Y);
    BlockTableNodes(int n, double** X, const std::vector<int>& sizes, Statistic statistic);
    ~BlockTableNodes() override;
    BlockTableNodes(const BlockTableNodes&) = delete;
    BlockTableNodes& operator=(const BlockTableNodes&) = delete;
    int Nodes() const override { return static_cast<int>(sizes_.size()); }
    int Units() const override { return n_; }
    void NodeMatrix(const int* const* lists, double** M) override;
    void FirstNodeMatrix(int first, const int* list, double** observed, double** M) override;
    // Block a as read (n x size(a), owned by the object).
    double** Table(int a) const { return observed_[a]; }
    int Size(int a) const { return sizes_[a]; }

private:
    int n_;
    std::vector<int> sizes_;
    Statistic statistic_;
    std::vector<double**> observed_, arranged_, current_;
};

// One n x n resemblance matrix per node (both triangles; caller-owned, they
// must outlive the object). The node matrix holds the Mantel correlation
// (MatrixCorr) of each pair; an arrangement permutes the rows and columns of
// each matrix by its node's list: entry (u, v) is the observed entry of the
// units listed at u and v, read through the lists, never copied.
class ResemblanceNodes : public PathNodes {
public:
    ResemblanceNodes(int n, const std::vector<double**>& matrices);
    ~ResemblanceNodes() override;
    ResemblanceNodes(const ResemblanceNodes&) = delete;
    ResemblanceNodes& operator=(const ResemblanceNodes&) = delete;
    int Nodes() const override { return static_cast<int>(matrices_.size()); }
    int Units() const override { return n_; }
    void NodeMatrix(const int* const* lists, double** M) override;
    void FirstNodeMatrix(int first, const int* list, double** observed, double** M) override;
    // Matrix a with its rows and columns in the order list (null: as
    // observed), into D (n x n).
    void ArrangedMatrix(int a, const int* list, double** D) const;

private:
    // The Mantel correlation of matrices a and c read through their lists
    // (both null: as observed), from the centred pairs.
    double Pair(int a, int c, const int* la, const int* lc) const;

    int n_;
    std::vector<double**> matrices_;
    bool literal_;                                  // a matrix holds MISSING: MatrixCorr on copies
    std::vector<std::vector<double>> centred_;      // n x n, the upper triangle less its mean
    std::vector<double> sumSquares_;
    std::vector<double**> copies_;
};

// The sum over v = from..n-1 of a[la[v] - 1] c[lc[v] - 1] (lists null:
// a[v] c[v]), for the node statistics that read matrices through the lists.
// It is kept in four interleaved parts, so that the gathers of one term do
// not wait on the sum of the one before; both forms add in the same order,
// so an arrangement that leaves the units in place gives the observed value.
inline double GatheredDot(const double* a, const double* c, const int* la, const int* lc, int from, int n) {
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    int v = from;
    if (la) {
        for (; v + 3 < n; v += 4) {
            s0 += a[la[v] - 1] * c[lc[v] - 1];
            s1 += a[la[v + 1] - 1] * c[lc[v + 1] - 1];
            s2 += a[la[v + 2] - 1] * c[lc[v + 2] - 1];
            s3 += a[la[v + 3] - 1] * c[lc[v + 3] - 1];
        }
        for (; v < n; v++) s0 += a[la[v] - 1] * c[lc[v] - 1];
    } else {
        for (; v + 3 < n; v += 4) {
            s0 += a[v] * c[v];
            s1 += a[v + 1] * c[v + 1];
            s2 += a[v + 2] * c[v + 2];
            s3 += a[v + 3] * c[v + 3];
        }
        for (; v < n; v++) s0 += a[v] * c[v];
    }
    return (s0 + s1) + (s2 + s3);
}

// How the units are permuted: the restriction answers of
// SetPermutationRestrictions (group vectors of one entry per unit of the
// nodes), and RndListNestedNew's bundlesWithinBlocks.
struct PermutationDesign {
    int nPerm = 1;
    int restriction = 0;
    int dim = 0;
    bool nested = false;
    const int* nestGroups = nullptr;
    bool bundled = false;
    const int* bundleGroups = nullptr;
    bool bundleFlag = false;
    // Shown on the progress line before the permutation ("%s, permutation
    // %d"), for a run that is one of many; null: "Permutation: %d %d".
    const char* progressLead = nullptr;
};

// Null models: 1 every node permuted; 2 only the first node of the claim's
// pair, against the other nodes as observed (PathNodes::FirstNodeMatrix).
// Either way a permutation draws one list per node, in node order; model 2
// moves the first node by its own list.
enum PathNullModel { kPermuteAllNodes = 1, kPermuteFirstNode = 2 };

// Receives every random arrangement of a run, for the reports that save
// them: the lists, the random node matrix and each claim's random partial
// correlation.
class ClaimsObserver {
public:
    virtual ~ClaimsObserver() = default;
    virtual void Permutation(int i, const int* const* lists, double** random, const double* partials) = 0;
};

// The permutation test of the claims against the observed node matrix
// (b x b): rObs[c] its partial correlations; P[c] the share of the nPerm
// arrangements (the observed one counted) whose |random| >= |observed| by
// the tie rule, NaN (not testable) when rObs[c] is not finite. A random
// partial correlation that cannot be computed (covariables that do not
// invert, a variance given them that is not positive) counts as at least as
// extreme; the result is the number of random arrangements in which a
// testable claim's could not be. The progress line shows the permutation.
int PermutationTestOfClaims(PathNodes& nodes, double** observed, const std::vector<PathClaim>& claims,
                            int nullModel, const PermutationDesign& design, double* rObs, double* P,
                            ClaimsObserver* observer = nullptr);
// The report line for `none` of `permutations` random arrangements that
// gave a claim no partial correlation ("\n...:\t%lld of %lld"); nothing
// when none is 0.
void PrintUncomputedPartials(FILE* f, long long none, long long permutations);

// The texts of the claim dialogue (formats with %d take nodes - 2, or the
// order for the count error).
struct ClaimTexts {
    const char* pairPrompt;
    const char* pairLabels;
    const char* pairMarks;
    const char* pairError;
    const char* orderPrompt;
    const char* covariableLabels;
    const char* covariableMarks;
    const char* covariableCountError;
    const char* covariableInPairError;
};
// One claim over nodes labelled labels[0..nodes-1]: the pair marked 0/1 (the
// first two marked, in node order; asked again unless exactly two), the
// order (0 to nodes - 2), and as many covariables marked 0/1 (asked again
// unless exactly that many, none of them in the pair).
PathClaim AskClaim(int nodes, const char* const* labels, const ClaimTexts& texts);
// The basis set over nodes labelled labels[0..b-1]: its size (1 to
// 2147483647; one above C(b,2) - (b - 1), the largest basis set, is warned
// about and kept) and the claims, each as it is typed (a size typed by
// mistake allocates nothing).
std::vector<PathClaim> AskBasisSet(int b, const char* const* labels, const ClaimTexts& texts);
// The blocks of consecutive variables of a table of nVariables columns: their
// number (2 to nVariables) and sizes (each 1 to nVariables, all asked again
// while their sum exceeds nVariables).
std::vector<int> AskBlocks(int nVariables);

// A claim in a report: pair (a format taking the two labels), then, when it
// has covariables, the text covariables and "%s\t" per covariable label.
void PrintClaim(FILE* f, const PathClaim& c, const char* const* labels, const char* pair, const char* covariables);
// "\nPermutation method:\t" and the text of the null model.
void PrintNullModel(FILE* f, int nullModel);

// The resemblance options a test forces (direction, measure and
// post-transformation), restored however it ends.
class ForcedResemblanceOptions {
public:
    ForcedResemblanceOptions(int direction, int measure, int post);
    ~ForcedResemblanceOptions();
    ForcedResemblanceOptions(const ForcedResemblanceOptions&) = delete;
    ForcedResemblanceOptions& operator=(const ForcedResemblanceOptions&) = delete;

private:
    int direction_, measure_, post_;
};

// The saved permutations of a basis-set test: what the report shows of its
// nodes, the observed arrangement (BasisSetDumpHeader) and every random one
// (BasisSetDump, an observer of PermutationTestOfClaims).
enum class NodeKind { Variables, Procrustes, Mantel };
struct BasisSetNodes {
    NodeKind kind;
    PathNodes* nodes;
    std::vector<const char*> labels;
    VariableNodes* variables = nullptr;        // single variables
    BlockTableNodes* blocks = nullptr;         // blocks: their tables
    ResemblanceNodes* resemblances = nullptr;  // blocks compared through resemblance matrices
    // Blocks: the line that names the criterion after "Test criterion:\n",
    // the heading of each claim's null-model-2 matrix (a format taking the
    // pair's labels; null: those matrices are not shown) and the heading of
    // the random node matrix.
    const char* criterionLine = nullptr;
    const char* firstNodeHeading = nullptr;
    const char* randomHeading = nullptr;
};
void BasisSetDumpHeader(FILE* f, const BasisSetNodes& s, const std::vector<PathClaim>& claims, double** observed,
                        const double* rObs, int nPerm);
class BasisSetDump : public ClaimsObserver {
public:
    BasisSetDump(FILE* report, const BasisSetNodes& s, const std::vector<PathClaim>& claims, double** observed,
                 int nullModel);
    ~BasisSetDump() override;
    BasisSetDump(const BasisSetDump&) = delete;
    BasisSetDump& operator=(const BasisSetDump&) = delete;
    void Permutation(int i, const int* const* lists, double** random, const double* partials) override;

private:
    FILE* f_;
    const BasisSetNodes& s_;
    const std::vector<PathClaim>& claims_;
    double** observed_;
    int nullModel_, b_, n_;
    ScopedMatrix<double> model_, square_;
    std::vector<double**> tables_;
};

// Fisher's C = -2 sum ln P over the claims and its probability
// gsl_cdf_chisq_Q(C, 2k); NaN for both when a P is not a number.
void FisherC(int k, const double* P, double* C, double* probability);

// The record of one run of the partial-correlation test of the undirected
// search (arrays owned by whoever made the record).
struct partialCorr {
    int nVar;
    int nObj;
    double** corr;  // nVar x nVar observed correlations
    unsigned int seed;
    int nPerm;
    int restriction;
    int dim;
    bool nested;
    int* nestGroups;
    bool bundled;
    int* bundleGroups;
    bool bundleFlag;
    char save;  // 'y': every permutation goes to the report
    int nCorr;
    int** pairs;  // nCorr x 2, 0-based
    int* order;
    int** covariables;  // nCorr rows, order[c] used
    double* rObs;       // output
    double* P;          // output (NaN: not testable)
};

// rObs and P of every claim of the record, the variables of the current data
// set permuted from dataOrig with the transformations in force applied again
// (one list per variable per permutation). Returns the number of random
// arrangements that gave a claim no partial correlation (as
// PermutationTestOfClaims).
int AleatorizacaoVar_PartialCorrelation(partialCorr* run, int nullModel);

// The permutation loop of key A on the current data set: counts[j][i], i < j,
// becomes 1 plus the number of the nPerm - 1 random arrangements in which
// |resemblance of the pair| >= |observed[i][j]| by the tie rule (a pair
// whose observed value is MISSING or not finite is not counted). In each
// arrangement variable j takes its values from dataOrig in the order of its
// own list (drawn in column order by the design's restriction); the table is
// transformed again as the data were and compared by the options in force,
// without post-transformation. With a dump every arrangement's table, as
// drawn, and its resemblance matrix are written there. Correlations of data
// without missing values or transformations are formed from the arranged
// columns without a table (VariableNodes; the same values); literal forces
// the table route.
void VariableComparisonCounts(const PermutationDesign& design, double** observed, double** counts, FILE* dump,
                              bool literal = false);

// The undirected search: links between all pairs of variables, removed
// order by order (0 to nVar - 3) when a partial correlation of the pair given
// some subset of the other variables is not significant (P > alpha). The
// final links are left in the lower triangle of links (nVar x nVar).
void SearchingUndirectedPath(double alpha, int** links, int nPerm, int restriction, int dim, bool nested,
                             int* nestGroups, bool bundled, int* bundleGroups, bool bundleFlag, int nullModel,
                             char save);

// The basis-set tests: ask the claims, test them, and append the report to
// "Vidive.txt" (Fisher's C, and for single variables AICc). The block forms
// ask the blocks first; the Mantel form expects the resemblance options
// forced to sampling units, Euclidean distance, no post-transformation.
void PathAnalysisBasisSetPermutationTest(int nPerm, int restriction, int dim, bool nested, int* nestGroups,
                                         bool bundled, int* bundleGroups, bool bundleFlag, int nullModel,
                                         char save);
void PathAnalysisBasisSetPermutationTest_Procrustes(int nPerm, int restriction, int dim, bool nested,
                                                    int* nestGroups, bool bundled, int* bundleGroups,
                                                    bool bundleFlag, int nullModel, char save);
void PathAnalysisBasisSetPermutationTest_Mantel(int nPerm, int restriction, int dim, bool nested,
                                                int* nestGroups, bool bundled, int* bundleGroups, bool bundleFlag,
                                                int nullModel, char save);

class Session;

// The tests between sets, and key K before them, relate sets unit by unit:
// every set must be there, with data, and describe as many sampling units as
// the first; otherwise one line says which does not and the answer is false.
bool SetsOfTheSameUnits(std::initializer_list<const Session*> sets);

// The two sessions hold the same sampling units in the same order: s1 the
// responses (Y), s2 the factors or explanatory variables (X). Sessions of
// different sizes and tables holding missing values are refused with a
// message before the dialogue, and a model whose factors cannot be fitted
// (collinear, constant, or as many as the units) runs no permutation.

// Permutation test of the regressions of the variables of s1 (responses) on
// those of s2 (factors), over the same sampling units: every coefficient and
// every r squared. full adds the tables and fitted values to the printout of
// the observed fit.
void AleatorizacaoModLin(Session* s1, Session* s2, bool full);
// Redundancy analysis of s1 on s2 and the permutation test of the
// correlation of each canonical axis.
void AleatorizacaoRDA(Session* s1, Session* s2);

// Permutation tests between data sets held as snapshots of the same sampling
// units in the same order. The first set is the one permuted (N - 1 free
// lists, drawn in order on the calling thread): the rows and columns of its
// resemblance matrix together for the Mantel, partial Mantel and Rd tests,
// the rows of its data table for the Procrustes and RV tests; each random
// statistic counts when its magnitude reaches the observed one. Sets that do
// not describe the first set's units, or lack the matrix between units or
// the table the test compares, are refused with a line naming the data file
// before the dialogue. An observed statistic that is not finite is reported
// as undefined and not testable, and no permutation runs. The statistics
// never write the sets' arrays, except that the Mantel tests copy the upper
// triangle of s1's matrix onto its lower one.
void AleatorizacaoMantel(Session* s1, Session* s2);
// s1 against s2 with s3 held constant.
void AleatorizacaoPartialMantel(Session* s1, Session* s2, Session* s3);
void AleatorizacaoProcrustes(Session* s1, Session* s2);
void AleatorizacaoRV(Session* s1, Session* s2);
// Rd of the Gower-centred matrices (not squared); s1's matrix is permuted
// with its diagonal.
void AleatorizacaoRd(Session* s1, Session* s2);

// ===========================================================================
// Tests of the axes of the current ordination (key O)
// ===========================================================================

// Key O's menu entries for the tests that apply to the current ordination,
// each as "\t%s\n ", with their numbers appended to accepted: (4) the RVDIM
// test after principal components of variables, (5) the Malinvaud test
// after a correspondence analysis, each with at least one axis.
void OrdinationTestEntries(std::string& accepted);

// The RVDIM test of the axes of principal components of variables: the
// current resemblance matrix is ordinated again for the variable weights and
// unit scores (continued sessions keep no eigenvectors of principal
// components). Both drivers leave the current ordination as it is and
// return 1 when the test ran, 0 when it does not apply.
int AleatorizacaoOrdination();
// The Malinvaud test of a correspondence analysis: dataOrig must be a table
// of whole counts from 0 with a total of 1 to 2147483647; any other table is
// refused with a message before the test's dialogue.
int Aleatorizacao_CA();
// Its permutations, on the current data set (a correspondence analysis of a
// table of whole counts, total T): X2[j] = T x the sum of the eigenvalues
// after axis j + 1, and its P against nPerm - 1 random tables with the
// margins of dataOrig (the counts' row numbers permuted over their column
// numbers), each transformed, compared and ordinated with the current
// options, for the rank axes. With save each table is appended to
// "Vidive.txt".
void MalinvaudTest(int nPerm, bool save, double* X2, double* P);

#endif
