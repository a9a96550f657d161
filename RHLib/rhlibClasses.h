// The permutation MANOVA engine: one run of the group-comparison test, from
// its parameter record to its report.
//
// Use (the group-comparison driver):
//   manovaInput in{};                       // value-initialised, then filled
//   in.nObj = ...; in.dissim = ...; ...
//   RandomizationTestManova* t = new RandomizationTestManova(&in);   // Qb or pseudo-F
//   // or new RandomizationTestManova(&in, 3) for MRPP (1 SUM-F, 2 LR-IND, 4 ANOSIM)
//   if (t->Refused()) { ... nothing was computed; say so, delete t ... }
//   manovaResults* res = t->GetManovaResults();   // read P of a run of a series
//   t->ReplaceProbabilities(P, contrastP);         // last run of a series only
//   t->SetElapsedTime(seconds);
//   t->PrintManovaResults(file, unitLabels, digits, 0, nullptr, true);
//   delete t;
// The constructor does the whole computation: observed statistics, the
// permutation loop on the thread team, probabilities and group means. The
// record and every array it points to must outlive the object, which keeps
// the pointers and never frees them.
#ifndef RHLIBCLASSES_H
#define RHLIBCLASSES_H

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Parameter record of one run, filled by the caller, in this order.
// Factors, contrasts and groups: k = nFactors; factor f's groups are its
// distinct codes in ascending order ("positions"), whatever the codes are.
struct manovaInput {
    int nObj;                  // n sampling units
    int nVar;                  // p variables of data
    int nPermutations;         // N, counting the observed data as permutation 1 (1 or more)
    double** dissim;           // n x n dissimilarities; the lower triangle (row > column) is
                               // read, and afterwards the upper triangle holds it too
    double*** contrastCoef;    // [factor][contrast][group position] coefficients; only
                               // their signs count
    double** data;             // n x p table for the group means (SUM-F, LR-IND: the
                               // statistics); may be null otherwise. MISSING is skipped
    bool alreadySquared;       // dissim holds squared dissimilarities (summed as they stand)
    bool doContrasts;          // contrasts are tested
    bool seedGenerator;        // the constructor seeds r with seed (0: the current time)
    bool nested;               // permutations within the nesting groups nestGroups
    bool permuteBundles;       // bundles (bundleGroups) permuted as wholes
    bool bundlesOnly;          // with both: only the bundles are permuted, within nesting groups
    bool firstFactorBlocks;    // factor nestingFactor (1 when that is 0) is a block factor:
                               // printed without P, its interactions pooled into Qw
    bool synchronized;         // with nesting: one permutation repeated in every nesting group
    bool groupMeans;           // mean vectors of the groups from data
    bool pseudoF;              // statistic F = Qb / Qw (no degrees of freedom) instead of Qb
    int nFactors;              // k, 1 or more
    int** memberships;         // [factor][unit] group code (any int)
    int* nContrasts;           // contrasts per factor (may be null without contrasts)
    int nestingFactor;         // 1-based factor used for nesting, 0 none
    int* nestGroups;           // nesting group of each unit
    int* bundleGroups;         // bundle of each unit
    char** factorLabels;       // factor names
    char** unitLabels;         // unit labels
    unsigned int seed;         // seed (see seedGenerator); printed in the report
    int portuguese;            // 1: Portuguese texts
    int digits;                // significant digits of the report
    bool printEachPermutation; // every permutation's block is written to report
    int nRemoved;              // factors whose effects were removed by residuals (0 to 3)
    int* removedFactors;       // their 1-based numbers
    bool intermediateTable;    // a table of the random statistics is written to report
    bool balance;              // balanced subsampling of unequal groups
    bool balanceAlways;        // subsample even when the groups are equal
    int nTests;                // number of tests in the driver's series (progress line)
    int testIndex;             // number of this test in the series
    bool showProgress;         // the progress line is shown
    bool mrppOption;           // MRPP's useSquares (MRPP in rhlib_M.h)
    FILE* report;              // stream of the per-permutation output (null: not written)
};

// Results of one run, owned by the object (GetManovaResults).
//   Qb: (k + 2) x (k + 2), upper triangle: [i][i] factor i's between-group sum
//       of squares (i < k); [i][j] the interaction of factors i < j < k,
//       Qb(cells of i x j) - [i][i] - [j][j]; [k][k] Qb of the cells of all
//       factors; [k + 1][k + 1] the total Qt. With pseudoF the entries
//       0 <= i <= j <= k hold F = Qb / Qw (undivided when Qw is 0).
//       Second constructor: [i][i] holds factor i's statistic.
//   P: the same layout, P = count / N for [i][j], 0 <= i <= j <= k (counts
//       start at 1 for the observed data). With one factor the cells are
//       not tested: P[1][1] = 1 / N. NaN means "not testable": the
//       observed statistic is not a finite number.
//   Qb3, P3: the three-factor interaction (k = 3), [3][3] minus the six
//       entries [a][b], a <= b < 3.
//   contrasts: [factor][contrast][3] = statistic (F with pseudoF), P, and
//       the contrast's within sum of squares Qw_c; null without contrasts.
//   groupMeans: [partition][group][variable] with data and groupMeans set
//       (null otherwise); partitions are the k factors, the cells of all
//       factors, then the factor pairs (1,2), (1,3) ... (2,3) ...; groups in
//       ascending order of code (cells: of their first unit). A group without
//       a value of a variable has the mean MISSING.
//   elapsedTime: seconds from the start of the run to its end.
struct manovaResults {
    double** Qb;
    double** P;
    double Qb3;
    double P3;
    double*** contrasts;
    double*** groupMeans;
    double elapsedTime;
};

class RandomizationTestManova {
public:
    // Qb or pseudo-F test with contrasts and restrictions.
    explicit RandomizationTestManova(manovaInput* in);
    // Alternative statistic per factor: 1 SUM-F, 2 LR-IND (from data), 3 MRPP
    // (small values extreme; useSquares = mrppOption), 4 ANOSIM (from dissim).
    RandomizationTestManova(manovaInput* in, int statistic);
    ~RandomizationTestManova();
    RandomizationTestManova(const RandomizationTestManova&) = delete;
    RandomizationTestManova& operator=(const RandomizationTestManova&) = delete;

    // True when the run was refused before any draw: N < 1, no units or
    // factors, a missing array the run needs, a statistic outside 1..4, or a
    // restriction design that CheckNestedDesign refuses (its message is then
    // printed). A refused object has no results to show: its P are NaN and
    // the printers write nothing.
    bool Refused() const { return refused_; }

    manovaResults* GetManovaResults() { return &results_; }
    // Copies P[i][j], 0 <= i <= j <= k, into the object's P and, with
    // contrasts, contrastP[f][c] into each contrast's P (contrastP may be
    // null). The third form also puts in the three-factor P (k = 3): the
    // default test series takes it from its residual run.
    void ReplaceProbabilities(double** P, double** contrastP);
    void ReplaceProbabilities(double** P, double** contrastP, double threeFactorP);
    void SetElapsedTime(float seconds);
    // The number of permutations the report states, for an object that only
    // reports a series: made with N = 1 (the observed statistics, no draws),
    // its P all put in by ReplaceProbabilities from runs of N permutations.
    void SetNumberOfPermutations(int nPermutations);

    // The report (each call makes file the object's report stream). Each form
    // writes the report of the object's statistic: Qb / pseudo-F, or the
    // alternative statistic of the second constructor.
    // fromSeries: the run ends the driver's default test series, whose notes
    // are printed. permutationBlock: the block of one permutation (0 the
    // observed data, printed as "Permutation 1").
    void PrintManovaResults(FILE* file, char** unitLabels, int digits, int nRemoved,
                            int* removedFactors, bool fromSeries, bool permutationBlock,
                            int permutation);
    void PrintManovaResults(FILE* file, char** unitLabels, int digits, int nRemoved,
                            int* removedFactors, bool fromSeries);
    void PrintManovaResults(FILE* file, int digits, int nRemoved, int* removedFactors,
                            char** unitLabels);
    void PrintManovaResults(FILE* file, char** unitLabels, int digits);
    // The form for the alternative statistics.
    void PrintManovaResults(FILE* file, char** unitLabels, int digits, bool permutationBlock,
                            int permutation);
    // One row of the table of intermediate results (with its heading for
    // permutation 0).
    void PrintManovaIntermResults(FILE* file, int digits, int permutation);

private:
    struct Partition;      // a partition of the units into groups
    struct Contrast;       // a contrast of groups of one factor
    struct Statistics;     // the statistics of one arrangement of the units
    struct ThreadBuffers;  // work arrays of one thread of the permutation loop
    struct Run;            // what the permutation loop shares
    struct DrawWork;       // work arrays of the draws
    using BatchFunction = std::function<void(ThreadBuffers&, int, const int* const*, long long)>;

    void Setup(manovaInput* in, int statistic);
    void BuildPartitions();
    void DimensionArrays();
    void MirrorLowerTriangle();
    void MarkRefused();

    // The permutation loop and the statistics of a batch of arrangements.
    void PrepareRun(Run& run, bool printing);
    void PermutationLoop(Run& run, const BatchFunction& evaluate);
    void PartitionSums(Run& run, ThreadBuffers& b, int count, const int* const* lists);
    void EvaluateQb(Run& run, ThreadBuffers& b, int count, const int* const* lists,
                    const Statistics* reference);
    void EvaluateAlternative(Run& run, ThreadBuffers& b, int count, const int* const* lists);
    void RunQbTest();
    void StartCounting(const Statistics& observed, int nStats, bool printing);
    void Show(const Statistics& s, const int* list, const std::function<void()>& print);
    void RunAlternativeTest();
    void ComputeGroupMeans(int nPartitions);

    // Lists and balancing subsamples, drawn serially.
    void Draw(Run& run, int* out, DrawWork& w);
    void RndListSelect_(const std::vector<int>& members, int take, bool* mask, DrawWork& w);
    void SampleObjSelect(bool* mask, DrawWork& w);
    void SampleObjSelect_Contrasts(const Contrast& c, bool* mask, DrawWork& w);

    // The report.
    const char* FactorName(int f) const;
    void PrintUnit(FILE* file, const char* format, char** labels, int u) const;
    double Shown(int i, int j) const;
    double ShownP(int i, int j) const;
    double ShownThreeP() const;
    double ShownContrastP(int c) const;
    void PrintTitle(FILE* file, char** unitLabels, bool block, int permutation, bool withList);
    void PrintHeader(FILE* file, char** unitLabels, bool alternative);
    void PrintDataNotes(FILE* file, int nRemoved, int* removedFactors);
    void PrintRestrictionNotes(FILE* file, bool withSynchronized);
    void PrintQbReport(FILE* file, char** unitLabels, int digits, int nRemoved, int* removedFactors,
                       bool fromSeries, bool block, int permutation);
    void PrintTable(FILE* file, int digits, bool seriesNotes, bool block);
    void PrintGroupMeans(FILE* file, int digits, bool pairsToo);
    void PrintAlternativeReport(FILE* file, char** unitLabels, int digits, bool block, int permutation);

    manovaInput rec_{};      // copy of the record (the seed actually used, the report stream)
    int statistic_ = 0;      // 0 Qb / pseudo-F, else the alternative statistic
    bool refused_ = false;
    int n_ = 0, k_ = 0;
    int blockFactor_ = -1;   // 0-based, -1 none
    int maxContrasts_ = 0;
    bool subsample_ = false;
    double start_ = 0;
    double elapsed_ = 0;
    std::vector<std::string> factorNames_;

    std::vector<Partition> partitions_;  // k factors, the cells, the factor pairs
    std::vector<int> distinctIndex_;     // per partition: its index among the distinct ones
    std::vector<bool> pairComplete_;     // per factor pair: every level combination present
    std::vector<Contrast> contrasts_;    // every factor's contrasts, factor after factor
    std::vector<std::vector<int>> cellMembers_;  // balancing: the units of each cell

    std::unique_ptr<Statistics> observed_;
    const Statistics* shown_ = nullptr;  // what the printers show (a permutation's in its block)
    std::vector<int> currentList_;       // the list shown
    std::unique_ptr<std::atomic<long long>[]> counts_;  // counts of the permutation loop
    bool inLoop_ = false;                // the printers show counts, not P

    // Results, in the shapes of manovaResults.
    double** Qb_ = nullptr;
    double** P_ = nullptr;
    double*** contrastRes_ = nullptr;
    double*** means_ = nullptr;
    int nMeanPartitions_ = 0;
    double Qb3_ = 0, P3_ = 0;
    manovaResults results_{};
};

#endif
