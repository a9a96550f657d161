// ===========================================================================
// The alternative statistics
// ===========================================================================

#include "rhlibClasses.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"
#include "rhlibClasses_internal.h"

using namespace manovadetail;

void RandomizationTestManova::EvaluateAlternative(Run& run, ThreadBuffers& b, int count,
                                                  const int* const* lists) {
    const int n = n_, k = k_;
    const bool fromPairs = statistic_ == 3 || statistic_ == 4;
    if (fromPairs && !run.undefinedPair) PartitionSums(run, b, count, lists);
    for (int t = 0; t < count; t++) {
        Statistics& s = b.stats[t];
        s.alt.assign(k, fromPairs && run.undefinedPair ? kNaN : 0.0);
        if (fromPairs && run.undefinedPair) continue;
        for (int f = 0; f < k; f++) {
            const Partition& p = partitions_[f];
            if (statistic_ == 1 || statistic_ == 2) {
                // The groups of the positions the units land in, as 1..g.
                for (int a = 0; a < n; a++) b.pl[lists[t][a] - 1] = p.pos[a] + 1;
                s.alt[f] = statistic_ == 1 ? F_SUM(n, rec_.nVar, b.pl.data(), rec_.data)
                                           : LR_IND(n, rec_.nVar, b.pl.data(), rec_.data);
                continue;
            }
            const double* W = &b.W[static_cast<size_t>(t) * run.wPerPerm + run.groupOffset[distinctIndex_[f]]];
            const int g = p.Groups();
            if (statistic_ == 3) {
                double delta = 0.0;
                for (int c = 0; c < g; c++) {
                    if (p.size[c] < 2) continue;
                    const double pairs = 0.5 * p.size[c] * (p.size[c] - 1.0);
                    const double weight = rec_.mrppOption ? (p.size[c] - 1.0) / (n - g)
                                                          : static_cast<double>(p.size[c]) / n;
                    delta += weight * (W[c] / pairs);
                }
                s.alt[f] = delta;
            } else {
                double within = 0.0, nWithin = 0.0;
                for (int c = 0; c < g; c++) {
                    within += W[c];
                    nWithin += 0.5 * p.size[c] * (p.size[c] - 1.0);
                }
                const double nPairs = 0.5 * n * (n - 1.0);
                const double rW = nWithin > 0 ? within / nWithin : 0.0;
                const double rB = nPairs - nWithin > 0 ? (run.Qt - within) / (nPairs - nWithin) : 0.0;
                s.alt[f] = (rB - rW) / (n * (n - 1.0) / 4.0);
            }
        }
    }
}

void RandomizationTestManova::RunAlternativeTest() {
    const int n = n_, k = k_;
    const bool printing = rec_.printEachPermutation && rec_.report;
    Run run;
    PrepareRun(run, printing);
    double** D = rec_.dissim;
    if (statistic_ == 3) {
        const bool squared = rec_.alreadySquared, squares = rec_.mrppOption;
        run.T.Fill(n, [=](int i, int j) {
            const double d = D[i][j];
            return squared == squares ? d : (squared ? std::sqrt(d) : d * d);
        });
    } else if (statistic_ == 4) {
        // Ranked once; every permutation reads the ranks through its labels.
        run.T.Fill(n, [D](int i, int j) { return D[i][j]; });
    }
    // A pair without a dissimilarity has no rank, and the groups it falls in
    // change from one arrangement to the next: no statistic is defined, and
    // the test is not testable rather than run on the other pairs.
    std::vector<double>& v = run.T.Values();
    run.undefinedPair = std::any_of(v.begin(), v.end(), [](double x) { return std::isnan(x); });
    if (statistic_ == 4 && !run.undefinedPair) {
        RankInPlace(v.size(), v.data());
        for (double r : v) run.Qt += r;  // the total of the ranks
    }

    std::vector<int> identity(n);
    for (int a = 0; a < n; a++) identity[a] = a + 1;
    const int* idList = identity.data();
    EvaluateAlternative(run, run.buffers[0], 1, &idList);
    StartCounting(run.buffers[0].stats[0], (k + 1) * (k + 1) + 1, printing);
    if (printing) {
        PrintAlternativeReport(rec_.report, rec_.unitLabels, rec_.digits, true, 0);
    }

    const Statistics& obs = *observed_;
    const TieRule rule = statistic_ == 3 ? TieRule::Smaller : TieRule::Larger;
    PermutationLoop(run, [&](ThreadBuffers& b, int count, const int* const* lists, long long first) {
        EvaluateAlternative(run, b, count, lists);
        for (int t = 0; t < count; t++) {
            const Statistics& s = b.stats[t];
            for (int f = 0; f < k; f++)
                if (CountsTowardP(s.alt[f], obs.alt[f], rule))
                    counts_[StatIndex(k, f, f)].fetch_add(1, std::memory_order_relaxed);
            if (printing)
                Show(s, lists[t], [&]() {
                    PrintAlternativeReport(rec_.report, rec_.unitLabels, rec_.digits, true,
                                           static_cast<int>(first + t));
                });
        }
    });
    inLoop_ = false;
    currentList_ = identity;
    for (int f = 0; f < k; f++) {
        Qb_[f][f] = obs.alt[f];
        P_[f][f] = PermutationP(static_cast<double>(counts_[StatIndex(k, f, f)]), rec_.nPermutations, Qb_[f][f]);
    }
    ComputeGroupMeans(k);
}

// Mean of every variable in every group of the first nPartitions partitions,
// over the values that are not MISSING.
void RandomizationTestManova::ComputeGroupMeans(int nPartitions) {
    if (!rec_.groupMeans || !rec_.data || rec_.nVar < 1) return;
    const int p = rec_.nVar;
    nMeanPartitions_ = nPartitions;
    means_ = static_cast<double***>(dim1D(sizeof(double**), nPartitions));
    std::vector<int> count;
    for (int q = 0; q < nPartitions; q++) {
        const Partition& part = partitions_[q];
        const int G = part.Groups();
        means_[q] = dim2DT<double>(G, p);
        count.assign(static_cast<size_t>(G) * p, 0);
        for (int u = 0; u < n_; u++)
            for (int v = 0; v < p; v++) {
                const double x = rec_.data[u][v];
                if (x == MISSING) continue;
                means_[q][part.pos[u]][v] += x;
                count[static_cast<size_t>(part.pos[u]) * p + v]++;
            }
        for (int g = 0; g < G; g++)
            for (int v = 0; v < p; v++) {
                const int c = count[static_cast<size_t>(g) * p + v];
                means_[q][g][v] = c > 0 ? means_[q][g][v] / c : MISSING;
            }
    }
    results_.groupMeans = means_;
}

void RandomizationTestManova::ReplaceProbabilities(double** P, double** contrastP) {
    if (refused_) return;
    for (int i = 0; i <= k_; i++)
        for (int j = i; j <= k_; j++) P_[i][j] = P[i][j];
    if (contrastP && contrastRes_)
        for (const Contrast& c : contrasts_) contrastRes_[c.factor][c.index][1] = contrastP[c.factor][c.index];
}

void RandomizationTestManova::ReplaceProbabilities(double** P, double** contrastP, double threeFactorP) {
    ReplaceProbabilities(P, contrastP);
    if (refused_) return;
    P3_ = threeFactorP;
    results_.P3 = P3_;
}

void RandomizationTestManova::SetElapsedTime(float seconds) {
    elapsed_ = seconds;
    results_.elapsedTime = seconds;
}

void RandomizationTestManova::SetNumberOfPermutations(int nPermutations) { rec_.nPermutations = nPermutations; }
