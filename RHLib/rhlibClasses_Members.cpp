// ===========================================================================
// Members
// ===========================================================================

#include "rhlibClasses.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"
#include "rhlibClasses_internal.h"

using namespace manovadetail;

RandomizationTestManova::RandomizationTestManova(manovaInput* in) { Setup(in, 0); }

RandomizationTestManova::RandomizationTestManova(manovaInput* in, int statistic) {
    Setup(in, statistic);
}

RandomizationTestManova::~RandomizationTestManova() {
    if (Qb_) free2DT(Qb_, k_ + 2);
    if (P_) free2DT(P_, k_ + 2);
    if (contrastRes_) free3DT(contrastRes_, k_, maxContrasts_);
    if (means_) {
        for (int q = 0; q < nMeanPartitions_; q++) free2DT(means_[q], partitions_[q].Groups());
        free1D(means_);
    }
}

void RandomizationTestManova::Setup(manovaInput* in, int statistic) {
    rec_ = *in;
    statistic_ = statistic;
    n_ = rec_.nObj;
    k_ = std::max(0, rec_.nFactors);
    for (int f = 0; f < k_; f++)
        factorNames_.push_back(rec_.factorLabels && rec_.factorLabels[f] ? rec_.factorLabels[f]
                                                                         : std::to_string(f + 1));
    if (!rec_.doContrasts || !rec_.contrastCoef || !rec_.nContrasts) rec_.doContrasts = false;
    if (rec_.doContrasts)
        for (int f = 0; f < k_; f++) maxContrasts_ = std::max(maxContrasts_, rec_.nContrasts[f]);
    const bool needsDissim = statistic == 0 || statistic == 3 || statistic == 4;
    const bool needsData = statistic == 1 || statistic == 2;
    refused_ = rec_.nPermutations < 1 || n_ < 1 || k_ < 1 || !rec_.memberships ||
               statistic < 0 || statistic > 4 || (needsDissim && !rec_.dissim) ||
               (needsData && (!rec_.data || rec_.nVar < 1)) ||
               (rec_.nested && !rec_.nestGroups) || (rec_.permuteBundles && !rec_.bundleGroups);
    if (refused_) {
        // Nothing to show, but the record is complete and deletable.
        k_ = std::max(k_, 1);
        maxContrasts_ = 0;
        rec_.doContrasts = false;
        factorNames_.resize(k_);
        DimensionArrays();
        MarkRefused();
        return;
    }
    if (rec_.firstFactorBlocks)
        blockFactor_ = rec_.nestingFactor >= 1 && rec_.nestingFactor <= k_ ? rec_.nestingFactor - 1 : 0;
    BuildPartitions();
    DimensionArrays();
    const bool restricted = rec_.nested || rec_.permuteBundles;
    if (restricted &&
        !CheckNestedDesign(n_, rec_.nested, rec_.nestGroups, rec_.permuteBundles, rec_.bundleGroups,
                           rec_.bundlesOnly, statistic_ == 0 && rec_.synchronized, nullptr, rec_.portuguese == 1)) {
        refused_ = true;
    }
    for (const Contrast& c : contrasts_)
        if (!refused_ && restricted &&
            !CheckNestedDesign(n_, rec_.nested, rec_.nestGroups, rec_.permuteBundles,
                               rec_.bundleGroups, rec_.bundlesOnly, false, c.mask.get(), rec_.portuguese == 1))
            refused_ = true;
    if (refused_) {
        MarkRefused();
        return;
    }
    if (rec_.seedGenerator) {
        if (rec_.seed == 0) rec_.seed = static_cast<unsigned int>(time(nullptr));
        InitRndNumberGenerator(rec_.seed);
    }
    start_ = difftime_Clock_Init();
    if (statistic_ == 0)
        RunQbTest();
    else
        RunAlternativeTest();
    if (needsDissim) MirrorLowerTriangle();
    elapsed_ = difftime_Clock(start_);
    results_.elapsedTime = elapsed_;
}

void RandomizationTestManova::BuildPartitions() {
    const int k = k_, n = n_;
    const int nPart = statistic_ == 0 ? k + 1 + k * (k - 1) / 2 : k;
    partitions_.resize(nPart);
    auto finish = [n](Partition& p) {
        std::vector<int> codes(n);
        int count = 0;
        CountGroups(n, p.label.data(), count, codes.data());
        p.codes.assign(codes.begin(), codes.begin() + count);
        p.pos.resize(n);
        p.size.assign(count, 0);
        for (int u = 0; u < n; u++) {
            p.pos[u] = static_cast<int>(std::lower_bound(p.codes.begin(), p.codes.end(), p.label[u]) -
                                        p.codes.begin());
            p.size[p.pos[u]]++;
        }
    };
    for (int f = 0; f < k; f++) {
        partitions_[f].label.assign(rec_.memberships[f], rec_.memberships[f] + n);
        finish(partitions_[f]);
    }
    if (statistic_ != 0) {
        for (int f = 0; f < k; f++) partitions_[f].distinct = f;
        return;
    }
    // Cells: the number (from 1) of the first unit with the same groups on the
    // given factors.
    auto cells = [&](Partition& p, const std::vector<int>& factors) {
        std::vector<int> order(n);
        for (int u = 0; u < n; u++) order[u] = u;
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            for (int f : factors)
                if (rec_.memberships[f][a] != rec_.memberships[f][b])
                    return rec_.memberships[f][a] < rec_.memberships[f][b];
            return false;
        });
        p.label.assign(n, 0);
        for (size_t t = 0; t < order.size(); t++) {
            const int u = order[t];
            bool same = t > 0;
            if (same)
                for (int f : factors) same = same && rec_.memberships[f][u] == rec_.memberships[f][order[t - 1]];
            p.label[u] = same ? p.label[order[t - 1]] : u + 1;
        }
        finish(p);
    };
    std::vector<int> all(k);
    for (int f = 0; f < k; f++) all[f] = f;
    cells(partitions_[k], all);
    int q = k + 1;
    pairComplete_.clear();
    for (int i = 0; i < k; i++)
        for (int j = i + 1; j < k; j++, q++) {
            Partition& p = partitions_[q];
            cells(p, {i, j});
            p.levelA.assign(p.Groups(), 0);
            p.levelB.assign(p.Groups(), 0);
            for (int u = 0; u < n; u++) {
                p.levelA[p.pos[u]] = rec_.memberships[i][u];
                p.levelB[p.pos[u]] = rec_.memberships[j][u];
            }
            pairComplete_.push_back(static_cast<long long>(p.Groups()) ==
                                    static_cast<long long>(partitions_[i].Groups()) * partitions_[j].Groups());
        }
    // Partitions with the same grouping share their sums.
    for (size_t a = 0; a < partitions_.size(); a++) {
        partitions_[a].distinct = static_cast<int>(a);
        for (size_t b = 0; b < a; b++) {
            const Partition &pa = partitions_[a], &pb = partitions_[b];
            if (pb.distinct != static_cast<int>(b) || pa.Groups() != pb.Groups()) continue;
            // Same grouping: the map from one's groups to the other's is one to one.
            std::vector<int> map(pa.Groups(), -1);
            bool same = true;
            for (int u = 0; u < n && same; u++) {
                int& m = map[pa.pos[u]];
                if (m < 0) m = pb.pos[u];
                same = m == pb.pos[u];
            }
            if (same) {
                partitions_[a].distinct = static_cast<int>(b);
                break;
            }
        }
    }

    // Contrasts, factor after factor.
    if (!rec_.doContrasts) return;
    for (int f = 0; f < k; f++) {
        const Partition& p = partitions_[f];
        for (int c = 0; c < rec_.nContrasts[f]; c++) {
            Contrast ct;
            ct.factor = f;
            ct.index = c;
            const double* coef = rec_.contrastCoef[f][c];
            char text[64];
            for (int g = 0; g < p.Groups(); g++) {
                snprintf(text, sizeof text, " %g", coef[g]);
                ct.label += text;
            }
            ct.side.assign(n, -1);
            ct.local.assign(n, -1);
            ct.mask.reset(new bool[n]);
            for (int u = 0; u < n; u++) {
                const double cf = coef[p.pos[u]];
                ct.side[u] = cf > 0 ? 0 : (cf < 0 ? 1 : -1);
                ct.mask[u] = ct.side[u] >= 0;
                if (ct.side[u] < 0) continue;
                ct.local[u] = static_cast<int>(ct.units.size());
                ct.units.push_back(u);
                (ct.side[u] == 0 ? ct.nPos : ct.nNeg)++;
            }
            ct.minSide = ct.nPos == ct.nNeg ? 0 : std::min(ct.nPos, ct.nNeg);
            contrasts_.push_back(std::move(ct));
        }
    }
}

void RandomizationTestManova::DimensionArrays() {
    Qb_ = dim2DT<double>(k_ + 2, k_ + 2);
    P_ = dim2DT<double>(k_ + 2, k_ + 2);
    if (rec_.doContrasts && maxContrasts_ > 0) contrastRes_ = dim3DT<double>(k_, maxContrasts_, 3);
    results_.Qb = Qb_;
    results_.P = P_;
    results_.contrasts = contrastRes_;
    results_.groupMeans = nullptr;
    shown_ = nullptr;
}

void RandomizationTestManova::MarkRefused() {
    refused_ = true;
    for (int i = 0; i < k_ + 2; i++)
        for (int j = 0; j < k_ + 2; j++) P_[i][j] = kNaN;
    P3_ = results_.P3 = kNaN;
}

void RandomizationTestManova::MirrorLowerTriangle() { LowerToUpperMatrix(n_, rec_.dissim); }
