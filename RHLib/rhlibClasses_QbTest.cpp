// ===========================================================================
// The Qb and pseudo-F test
// ===========================================================================

#include "rhlibClasses.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlib_M.h"
#include "rhlibClasses_internal.h"

using namespace manovadetail;

namespace {

// Permutations evaluated against one tile: enough arrangements (permutations
// times partitions) to make the tile's reads count, few enough that their
// labels stay in cache.
constexpr int kJobsPerTile = 24;
constexpr int kMaxBatch = 8;

}  // namespace

void RandomizationTestManova::PrepareRun(Run& run, bool printing) {
    const int n = n_;
    run.wPerPerm = 0;
    run.distinct.clear();
    run.groupOffset.clear();
    distinctIndex_.assign(partitions_.size(), 0);
    for (size_t q = 0; q < partitions_.size(); q++) {
        if (partitions_[q].distinct == static_cast<int>(q)) {
            run.distinct.push_back(static_cast<int>(q));
            run.groupOffset.push_back(run.wPerPerm);
            run.wPerPerm += partitions_[q].Groups();
        }
        distinctIndex_[q] = static_cast<int>(
            std::find(run.distinct.begin(), run.distinct.end(), partitions_[q].distinct) - run.distinct.begin());
    }
    const int nd = static_cast<int>(run.distinct.size());
    run.batch = printing ? 1 : std::max(1, std::min(kMaxBatch, kJobsPerTile / std::max(1, nd)));
    run.perPerm = n;
    run.contrastOffset.clear();
    int maxUnits = 0;
    for (const Contrast& c : contrasts_) {
        run.contrastOffset.push_back(run.perPerm - n);
        run.perPerm += static_cast<int>(c.units.size());
        maxUnits = std::max(maxUnits, static_cast<int>(c.units.size()));
    }
    run.buffers.resize(std::max(1, omp_get_max_threads()));
    for (ThreadBuffers& b : run.buffers) {
        b.lab.assign(static_cast<size_t>(run.batch) * nd * n, 0.0);
        b.W.assign(static_cast<size_t>(run.batch) * run.wPerPerm, 0.0);
        b.clab.assign(static_cast<size_t>(run.batch) * maxUnits, 0.0);
        b.cW.assign(static_cast<size_t>(run.batch) * 2, 0.0);
        b.gather.assign(static_cast<size_t>(kRows) * kChunk, 0.0);
        b.jobs.assign(static_cast<size_t>(run.batch) * std::max(1, nd), Job{nullptr, nullptr});
        b.stats.resize(run.batch);
        b.sumQ.assign(nd, 0.0);
        b.pl.assign(n, 0);
    }
}

// The within sums of the distinct partitions of count arrangements, each the
// main list lists[t] (n unit numbers from 1); W of arrangement t at
// b.W[t * wPerPerm + groupOffset[d]].
void RandomizationTestManova::PartitionSums(Run& run, ThreadBuffers& b, int count,
                                            const int* const* lists) {
    const int n = n_, nd = static_cast<int>(run.distinct.size());
    for (int t = 0; t < count; t++) {
        const int* list = lists[t];
        for (int d = 0; d < nd; d++) {
            const Partition& p = partitions_[run.distinct[d]];
            double* lab = &b.lab[(static_cast<size_t>(t) * nd + d) * n];
            for (int a = 0; a < n; a++) lab[list[a] - 1] = p.pos[a];
            double* W = &b.W[static_cast<size_t>(t) * run.wPerPerm + run.groupOffset[d]];
            std::fill(W, W + p.Groups(), 0.0);
            b.jobs[static_cast<size_t>(t) * nd + d] = {lab, W};
        }
    }
    WithinSums(run.T, nullptr, n, b.jobs.data(), count * nd, b.gather.data());
}

// Statistics of count arrangements into b.stats. reference: the observed
// statistics, whose Qw decide the pseudo-F division (null: the arrangement is
// the observed one).
void RandomizationTestManova::EvaluateQb(Run& run, ThreadBuffers& b, int count,
                                         const int* const* lists, const Statistics* reference) {
    const int k = k_, nd = static_cast<int>(run.distinct.size()), K = k + 2;
    PartitionSums(run, b, count, lists);
    for (int t = 0; t < count; t++) {
        Statistics& s = b.stats[t];
        for (int d = 0; d < nd; d++) {
            const Partition& p = partitions_[run.distinct[d]];
            const double* W = &b.W[static_cast<size_t>(t) * run.wPerPerm + run.groupOffset[d]];
            double sum = 0.0;
            for (int g = 0; g < p.Groups(); g++) sum += W[g] / p.size[g];
            b.sumQ[d] = sum;
        }
        auto qbOf = [&](int q) { return run.Qt - b.sumQ[distinctIndex_[q]]; };
        s.qb.assign(static_cast<size_t>(K) * K, 0.0);
        auto Q = [&](int i, int j) -> double& { return s.qb[static_cast<size_t>(i) * K + j]; };
        for (int i = 0; i < k; i++) Q(i, i) = qbOf(i);
        Q(k, k) = qbOf(k);
        int q = k + 1;
        for (int i = 0; i < k; i++)
            for (int j = i + 1; j < k; j++) Q(i, j) = qbOf(q++) - Q(i, i) - Q(j, j);
        Q(k + 1, k + 1) = run.Qt;
        s.three = 0.0;
        if (k == 3) s.three = Q(3, 3) - (Q(0, 0) + Q(1, 1) + Q(2, 2) + Q(0, 1) + Q(0, 2) + Q(1, 2));
        s.qw = run.Qt - Q(k, k);
        if (blockFactor_ >= 0) {
            for (int j = 0; j < k; j++)
                if (j != blockFactor_) s.qw += Q(std::min(j, blockFactor_), std::max(j, blockFactor_));
            if (k == 3) s.qw += s.three;
        }
        const double refQw = reference ? reference->qw : s.qw;
        if (rec_.pseudoF && refQw > 0) {
            for (int i = 0; i <= k; i++)
                for (int j = i; j <= k; j++) Q(i, j) /= s.qw;
            s.three /= s.qw;
        }
        s.contrast.assign(contrasts_.size() * 2, 0.0);
    }
    // Contrasts: each on its own units, with its own lists.
    for (size_t c = 0; c < contrasts_.size(); c++) {
        const Contrast& ct = contrasts_[c];
        const int m = static_cast<int>(ct.units.size());
        for (int t = 0; t < count; t++) {
            const int* cl = lists[t] + n_ + run.contrastOffset[c];
            double* lab = &b.clab[static_cast<size_t>(t) * m];
            for (int a = 0; a < m; a++) {
                const int local = ct.local[cl[a] - 1];
                if (local >= 0) lab[local] = ct.side[ct.units[a]];
            }
            double* W = &b.cW[static_cast<size_t>(t) * 2];
            W[0] = W[1] = 0.0;
            b.jobs[t] = {lab, W};
        }
        WithinSums(run.T, ct.units.data(), m, b.jobs.data(), count, b.gather.data());
        for (int t = 0; t < count; t++) {
            const double* W = &b.cW[static_cast<size_t>(t) * 2];
            const double qPos = ct.nPos > 0 ? W[0] / ct.nPos : 0.0;
            const double qNeg = ct.nNeg > 0 ? W[1] / ct.nNeg : 0.0;
            double stat = ct.q0 - qPos - qNeg;
            const double qwc = qPos + qNeg;
            const double refQwc = reference ? reference->contrast[2 * c + 1] : qwc;
            if (rec_.pseudoF && refQwc > 0) stat /= qwc;
            b.stats[t].contrast[2 * c] = stat;
            b.stats[t].contrast[2 * c + 1] = qwc;
        }
    }
}

void RandomizationTestManova::RunQbTest() {
    const int n = n_, k = k_;
    const bool printing = (rec_.printEachPermutation || rec_.intermediateTable) && rec_.report;
    Run run;
    PrepareRun(run, printing);
    const bool squared = rec_.alreadySquared;
    double** D = rec_.dissim;
    run.T.Fill(n, [D, squared](int i, int j) { return squared ? D[i][j] : D[i][j] * D[i][j]; });
    // Qt and each contrast's Q0 by the same kernel: every unit in group 0.
    {
        ThreadBuffers& b = run.buffers[0];
        std::vector<double> zero(n, 0.0);
        double W = 0.0;
        Job job{zero.data(), &W};
        WithinSums(run.T, nullptr, n, &job, 1, b.gather.data());
        run.Qt = n > 0 ? W / n : 0.0;
        for (Contrast& c : contrasts_) {
            W = 0.0;
            WithinSums(run.T, c.units.data(), static_cast<int>(c.units.size()), &job, 1,
                       b.gather.data());
            c.q0 = c.units.empty() ? 0.0 : W / c.units.size();
        }
    }

    // Balancing: subsample when some partition (or, for a contrast, its two
    // sides) has groups of unequal size, or always.
    subsample_ = false;
    if (rec_.balance) {
        subsample_ = rec_.balanceAlways;
        for (const Partition& p : partitions_)
            if (*std::min_element(p.size.begin(), p.size.end()) !=
                *std::max_element(p.size.begin(), p.size.end()))
                subsample_ = true;
        const Partition& cells = partitions_[k];
        cellMembers_.assign(cells.Groups(), {});
        for (int u = 0; u < n; u++) cellMembers_[cells.pos[u]].push_back(u);
    }

    // The observed data: the identity list.
    std::vector<int> identity(run.perPerm);
    for (int a = 0; a < n; a++) identity[a] = a + 1;
    for (size_t c = 0; c < contrasts_.size(); c++)
        for (size_t a = 0; a < contrasts_[c].units.size(); a++)
            identity[n + run.contrastOffset[c] + a] = contrasts_[c].units[a] + 1;
    const int* idList = identity.data();
    EvaluateQb(run, run.buffers[0], 1, &idList, nullptr);
    const int K = k + 2;
    StartCounting(run.buffers[0].stats[0], (k + 1) * (k + 1) + 1 + static_cast<int>(contrasts_.size()),
                  printing);
    if (printing) {
        if (rec_.printEachPermutation)
            PrintQbReport(rec_.report, rec_.unitLabels, rec_.digits, rec_.nRemoved,
                          rec_.removedFactors, false, true, 0);
        if (rec_.intermediateTable) PrintManovaIntermResults(rec_.report, rec_.digits, 0);
    }

    const Statistics& obs = *observed_;
    auto countIf = [&](int idx, double random, double observed, TieRule rule) {
        if (CountsTowardP(random, observed, rule)) counts_[idx].fetch_add(1, std::memory_order_relaxed);
    };
    const int baseContrast = (k + 1) * (k + 1) + 1;
    PermutationLoop(run, [&](ThreadBuffers& b, int count, const int* const* lists, long long first) {
        EvaluateQb(run, b, count, lists, &obs);
        for (int t = 0; t < count; t++) {
            const Statistics& s = b.stats[t];
            auto at = [&](const Statistics& x, int i, int j) { return x.qb[static_cast<size_t>(i) * K + j]; };
            for (int i = 0; i < k; i++) countIf(StatIndex(k, i, i), at(s, i, i), at(obs, i, i), TieRule::Larger);
            if (k >= 2) {
                countIf(StatIndex(k, k, k), at(s, k, k), at(obs, k, k), TieRule::Larger);
                for (int i = 0; i < k; i++)
                    for (int j = i + 1; j < k; j++)
                        countIf(StatIndex(k, i, j), at(s, i, j), at(obs, i, j), TieRule::Larger);
                if (k == 3) countIf((k + 1) * (k + 1), s.three, obs.three, TieRule::Larger);
            }
            for (size_t c = 0; c < contrasts_.size(); c++)
                countIf(baseContrast + static_cast<int>(c), s.contrast[2 * c], obs.contrast[2 * c],
                        TieRule::Larger);
            if (printing) {
                const int number = static_cast<int>(first + t);
                Show(s, lists[t], [&]() {
                    if (rec_.printEachPermutation)
                        PrintQbReport(rec_.report, rec_.unitLabels, rec_.digits, rec_.nRemoved,
                                      rec_.removedFactors, false, true, number);
                    if (rec_.intermediateTable) PrintManovaIntermResults(rec_.report, rec_.digits, number);
                });
            }
        }
    });
    inLoop_ = false;
    std::copy(identity.begin(), identity.begin() + n, currentList_.begin());

    // Results.
    const int N = rec_.nPermutations;
    for (int i = 0; i < K; i++)
        for (int j = 0; j < K; j++) Qb_[i][j] = obs.qb[static_cast<size_t>(i) * K + j];
    for (int i = 0; i <= k; i++)
        for (int j = i; j <= k; j++)
            P_[i][j] = PermutationP(static_cast<double>(counts_[StatIndex(k, i, j)]), N, Qb_[i][j]);
    Qb3_ = obs.three;
    P3_ = k == 3 ? PermutationP(static_cast<double>(counts_[(k + 1) * (k + 1)]), N, Qb3_) : 0.0;
    for (size_t c = 0; c < contrasts_.size(); c++) {
        double* r = contrastRes_[contrasts_[c].factor][contrasts_[c].index];
        r[0] = obs.contrast[2 * c];
        r[1] = PermutationP(static_cast<double>(counts_[baseContrast + c]), N, r[0]);
        r[2] = obs.contrast[2 * c + 1];
    }
    results_.Qb3 = Qb3_;
    results_.P3 = P3_;
    ComputeGroupMeans(static_cast<int>(partitions_.size()));
}

// The observed statistics become what the printers show, and every counter
// starts at 1 (the observed data). Printed permutations come in order: one
// thread runs the loop, and the team stays so until the processors
// preference is set again.
void RandomizationTestManova::StartCounting(const Statistics& observed, int nStats, bool printing) {
    observed_.reset(new Statistics(observed));
    shown_ = observed_.get();
    currentList_.resize(n_);
    for (int a = 0; a < n_; a++) currentList_[a] = a + 1;
    counts_.reset(new std::atomic<long long>[nStats]);
    for (int s = 0; s < nStats; s++) counts_[s] = 1;
    inLoop_ = true;
    if (printing) {
        InitMultiprocessing(1);
        elapsed_ = difftime_Clock(start_);
    }
}

// Prints with a permutation's statistics and list shown in place of the
// observed ones.
void RandomizationTestManova::Show(const Statistics& s, const int* list, const std::function<void()>& print) {
#pragma omp critical
    {
        shown_ = &s;
        std::copy(list, list + n_, currentList_.begin());
        print();
        shown_ = observed_.get();
    }
}

// Draws the lists of the N - 1 random permutations serially, in the order
// one thread would, and evaluates them on the team in batches: evaluate(b,
// count, lists, first) gets count lists whose first is permutation number
// first (the observed data being 0).
void RandomizationTestManova::PermutationLoop(Run& run, const BatchFunction& evaluate) {
    const long long nRandom = static_cast<long long>(rec_.nPermutations) - 1;
    if (nRandom <= 0) return;
    const int batch = run.batch;
    // A block holds some hundreds of millions of pair reads (a tenth of a
    // second on one thread), so that the team's meeting at its end costs
    // little next to it even when the units are few; its lists take at
    // most 2^22 ints.
    const long long perBlockInts = 1 << 22;
    const double pairsPerPerm =
        0.5 * n_ * (n_ - 1.0) * static_cast<double>(run.distinct.size() + contrasts_.size()) + n_;
    const double wanted = std::ceil(static_cast<double>(1 << 28) / (pairsPerPerm * batch));
    const long long fit = perBlockInts / (static_cast<long long>(run.perPerm) * batch);
    const int batchesPerBlock = static_cast<int>(
        std::max(1LL, std::min(fit, static_cast<long long>(std::min(std::max(32.0, wanted), 1e9)))));
    const long long blockPerms = static_cast<long long>(batchesPerBlock) * batch;
    const int nBlocks = static_cast<int>((nRandom + blockPerms - 1) / blockPerms);
    const int N = rec_.nPermutations;
    DrawWork work(n_);

    RunDrawnBlocks(
        nBlocks,
        [&](int blk, std::vector<int>& store) {
            const long long first = blk * blockPerms;
            const int count = static_cast<int>(std::min(blockPerms, nRandom - first));
            store.resize(static_cast<size_t>(count) * run.perPerm);
            for (int t = 0; t < count; t++) Draw(run, &store[static_cast<size_t>(t) * run.perPerm], work);
            return (count + batch - 1) / batch;
        },
        [&](int blk, int item, const std::vector<int>& store, int thread) {
            const int inBlock = static_cast<int>(store.size() / run.perPerm);
            const int t0 = item * batch, count = std::min(batch, inBlock - t0);
            const int* lists[kMaxBatch];
            for (int t = 0; t < count; t++) lists[t] = &store[static_cast<size_t>(t0 + t) * run.perPerm];
            evaluate(run.buffers[thread], count, lists, blk * blockPerms + t0 + 1);
            const long long done = run.done.fetch_add(count) + count;
            if (rec_.showProgress) {
                char text[128];
                const bool pt = rec_.portuguese == 1;
                const int threads = omp_get_num_threads();
                if (statistic_ != 0)
                    snprintf(text, sizeof text, Tx(pt, "Permutation: %d %lld", "Permutacao: %d %lld"), N, done + 1);
                else if (rec_.nTests != 1)
                    snprintf(text, sizeof text,
                             Tx(pt, "Test: %d %d Permutation: %d %lld   CPUs: %d",
                                "Teste: %d %d Permutacao: %d %lld   CPUs: %d"),
                             rec_.nTests, rec_.testIndex, N, done + 1, threads);
                else
                    snprintf(text, sizeof text,
                             Tx(pt, "Permutation: %d %lld   CPUs: %d", "Permutacao: %d %lld   CPUs: %d"), N,
                             done + 1, threads);
                HandleEventInfoWhere2(text);
            }
        },
        [](int, std::vector<int>&) {},
        // A batch is a few milliseconds of work: handed out one at a time, the
        // thread that drew the next block still finds a share of this one.
        // Some tenths of a second of pair reads are worth the team at once.
        1, pairsPerPerm * static_cast<double>(nRandom) >= static_cast<double>(1 << 30));
}


// ===========================================================================
// Lists and subsamples
// ===========================================================================


// Marks in mask a random subset of `take` of the units members (ascending):
// the members are permuted among themselves (RndListSelect over their
// positions) and the units that land on the first `take` positions are
// chosen. work and sel are scratch (sel all false on entry and on return).
void RandomizationTestManova::RndListSelect_(const std::vector<int>& members, int take, bool* mask,
                                             DrawWork& w) {
    for (int u : members) w.cellMask[u] = true;
    RndListSelect(n_, w.list.data(), w.cellMask.get());
    for (int u : members) w.cellMask[u] = false;
    for (int t = 0; t < take && t < static_cast<int>(members.size()); t++) mask[w.list[members[t]] - 1] = true;
}

// Balancing of the main permutation: in every cell of all factors larger
// than the smallest (every cell with balanceAlways), only a random subset of
// the smallest cell's size is permuted; the other units keep their places.
void RandomizationTestManova::SampleObjSelect(bool* mask, DrawWork& w) {
    const Partition& cells = partitions_[k_];
    const int smallest = *std::min_element(cells.size.begin(), cells.size.end());
    std::fill(mask, mask + n_, false);
    for (int g = 0; g < cells.Groups(); g++) {
        const std::vector<int>& members = cellMembers_[g];
        if (cells.size[g] > smallest || rec_.balanceAlways) {
            RndListSelect_(members, smallest, mask, w);
        } else {
            for (int u : members) mask[u] = true;
        }
    }
}

// Balancing of a contrast: the larger side (both with balanceAlways)
// contributes a random subset of the smaller side's size.
void RandomizationTestManova::SampleObjSelect_Contrasts(const Contrast& c, bool* mask, DrawWork& w) {
    std::fill(mask, mask + n_, false);
    const int smaller = std::min(c.nPos, c.nNeg);
    for (int side = 0; side < 2; side++) {
        std::vector<int>& members = w.side;
        members.clear();
        for (int u : c.units)
            if (c.side[u] == side) members.push_back(u);
        if (static_cast<int>(members.size()) > smaller || rec_.balanceAlways) {
            RndListSelect_(members, smaller, mask, w);
        } else {
            for (int u : members) mask[u] = true;
        }
    }
}

// Every list of one random permutation, in the order they are drawn: the
// balancing subsample, the main list, then for each contrast its subsample
// and its list. Each list starts from the identity. out receives the main
// list, then for each contrast the units at its positions.
void RandomizationTestManova::Draw(Run& run, int* out, DrawWork& w) {
    const int n = n_;
    if (subsample_) SampleObjSelect(w.permuted.get(), w);
    for (int a = 0; a < n; a++) out[a] = a + 1;
    const bool restricted = rec_.nested || rec_.permuteBundles;
    if (restricted) {
        if (statistic_ == 0 && rec_.synchronized)
            RndListNestedSynchronized(n, rec_.nested, rec_.nestGroups, rec_.permuteBundles, rec_.bundleGroups,
                                      rec_.bundlesOnly, out, true, w.order.data());
        else
            RndListNestedNew(n, rec_.nested, rec_.nestGroups, rec_.permuteBundles, rec_.bundleGroups,
                             rec_.bundlesOnly, out);
    } else {
        RndListSelect(n, out, w.permuted.get());
    }
    for (size_t c = 0; c < contrasts_.size(); c++) {
        const Contrast& ct = contrasts_[c];
        const bool* sel = ct.mask.get();
        if (subsample_ && (rec_.balanceAlways || ct.minSide > 0)) {
            SampleObjSelect_Contrasts(ct, w.contrastMask.get(), w);
            sel = w.contrastMask.get();
        }
        for (int a = 0; a < n; a++) w.list[a] = a + 1;
        if (restricted)
            RndListNestedSelect(n, rec_.nested, rec_.nestGroups, rec_.permuteBundles, rec_.bundleGroups,
                                rec_.bundlesOnly, w.list.data(), sel);
        else
            RndListSelect(n, w.list.data(), sel);
        int* dst = out + n + run.contrastOffset[c];
        for (size_t a = 0; a < ct.units.size(); a++) dst[a] = w.list[ct.units[a]];
    }
}
