#include "rhlibClasses.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>

#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"
#include "rhSimd.h"

// ===========================================================================
// The sums of squares of a permuted arrangement
// ===========================================================================
//
// Group membership stays with the positions and a permutation moves the
// units: the unit at position a (list[a]) takes the group of position a. So
// instead of reading the dissimilarity of list[a] and list[b] for every pair
// of positions, every unit gets the label of the group it lands in, and the
// triangle of squared dissimilarities is read in its own order, adding each
// pair to its group when the two labels agree. The triangle is made once,
// packed and shared read-only by the whole team; a thread evaluates several
// permutations (and every partition of each) against one tile of it while
// the tile is in cache.
//
// Each sum is formed in a fixed order (tiles of columns, then rows, then
// eight lanes added in a fixed tree) that depends neither on the other
// permutations evaluated with it nor on the thread, so a seed gives the same
// statistics, and the same counts, on any number of threads.

namespace {

constexpr int kLanes = 8;
constexpr int kChunk = 256;  // columns per tile of the triangle
constexpr int kRows = 16;    // rows per tile
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The report's separator line (79 dashes).
const char* const kSeparator =
    "-------------------------------------------------------------------------------";

// The packed lower triangle of the values summed over pairs: row i holds its
// columns 0..i-1 at offset i(i-1)/2.
class Triangle {
public:
    // Rows on the team (of a triangle large enough to repay it): each entry
    // is written once, whatever the thread.
    template <class Value>
    void Fill(int n, Value value) {
        n_ = n;
        v_.resize(n > 1 ? static_cast<size_t>(n) * (n - 1) / 2 : 0);
#pragma omp parallel for schedule(dynamic, 32) if (n > 1000)
        for (int i = 1; i < n; i++) {
            double* row = v_.data() + Offset(i);
            for (int j = 0; j < i; j++) row[j] = value(i, j);
        }
    }
    const double* Row(int i) const { return v_.data() + Offset(i); }
    std::vector<double>& Values() { return v_; }
    int Size() const { return n_; }

private:
    static size_t Offset(int i) { return static_cast<size_t>(i) * (i - 1) / 2; }
    int n_ = 0;
    std::vector<double> v_;
};

// Vectors of two, four or eight doubles (and of their bit patterns), the
// widths of the processor's registers. A wider vector than the registers
// would have its comparisons made one element at a time.
typedef double Vec2 __attribute__((vector_size(2 * sizeof(double))));
typedef long long Bits2 __attribute__((vector_size(2 * sizeof(long long))));
typedef double Vec4 __attribute__((vector_size(4 * sizeof(double))));
typedef long long Bits4 __attribute__((vector_size(4 * sizeof(long long))));
typedef double Vec8 __attribute__((vector_size(8 * sizeof(double))));
typedef long long Bits8 __attribute__((vector_size(8 * sizeof(long long))));
static_assert(kLanes == 8, "the lanes are added in a fixed tree of eight");

// Sum of row[j] over j < len where lab[j] == target. Element j + l of a run
// goes to lane l of eight; four accumulators of eight lanes take the runs in
// turn, so that four additions are in flight at once; they and their lanes
// are added in a fixed tree. A lane is held in vectors of V's width, eight
// lanes in kLanes / width of them; every lane adds the same elements in the
// same order whatever the width, so the sums are the same.
template <class V, class Bits>
__attribute__((always_inline)) inline double MaskedSum(const double* row, const double* lab, int len,
                                                       double target) {
    constexpr int width = sizeof(V) / sizeof(double), parts = kLanes / width;
    V a[4][parts] = {};
    const V t = a[0][0] + target;
    auto add = [&](V* acc, int j) {
        for (int q = 0; q < parts; q++) {
            V r, l;
            std::memcpy(&r, row + j + q * width, sizeof r);
            std::memcpy(&l, lab + j + q * width, sizeof l);
            acc[q] += reinterpret_cast<V>(reinterpret_cast<Bits>(r) & (l == t));
        }
    };
    int j = 0;
    for (; j + 4 * kLanes <= len; j += 4 * kLanes) {
        add(a[0], j);
        add(a[1], j + kLanes);
        add(a[2], j + 2 * kLanes);
        add(a[3], j + 3 * kLanes);
    }
    for (; j + kLanes <= len; j += kLanes) add(a[0], j);
    double tail = 0.0;
    for (; j < len; j++) tail += lab[j] == target ? row[j] : 0.0;
    double acc[kLanes];
    for (int q = 0; q < parts; q++) {
        const V sum = (a[0][q] + a[1][q]) + (a[2][q] + a[3][q]);
        std::memcpy(acc + q * width, &sum, sizeof sum);
    }
    return (((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]))) + tail;
}

// One arrangement of the units of a subproblem: lab[i] is the group (0, 1,
// ...) of local unit i, or -1 when it takes no part; W[g] receives the sum
// over the pairs of group g.
struct Job {
    const double* lab;
    double* W;
};

// The within-group sums of every job over the subproblem of the m units
// units[0..m-1] (ascending; null: every unit of T). The triangle is read in
// tiles of kRows rows by kChunk columns, small enough to stay in the first
// cache while every job passes over it; a job's sums are added in the same
// order (tiles of columns, then rows) whatever the other jobs. gather holds
// kRows x kChunk values.
template <class V, class Bits>
__attribute__((always_inline)) inline void WithinSumsBody(const Triangle& T, const int* units, int m,
                                                          const Job* jobs, int nJobs, double* gather) {
    const double* rows[kRows];
    int lens[kRows];
    for (int j0 = 0; j0 < m; j0 += kChunk) {
        const int j1 = std::min(m, j0 + kChunk);
        for (int i0 = j0 + 1; i0 < m; i0 += kRows) {
            const int i1 = std::min(m, i0 + kRows);
            for (int i = i0; i < i1; i++) {
                const int len = std::min(j1, i) - j0;
                lens[i - i0] = len;
                if (!units) {
                    rows[i - i0] = T.Row(i) + j0;
                } else {
                    double* g = gather + static_cast<size_t>(i - i0) * kChunk;
                    const double* full = T.Row(units[i]);
                    for (int b = 0; b < len; b++) g[b] = full[units[j0 + b]];
                    rows[i - i0] = g;
                }
            }
            for (int t = 0; t < nJobs; t++) {
                const double* lab = jobs[t].lab;
                double* W = jobs[t].W;
                for (int i = i0; i < i1; i++) {
                    const double li = lab[i];
                    if (li < 0) continue;
                    W[static_cast<int>(li)] += MaskedSum<V, Bits>(rows[i - i0], lab + j0, lens[i - i0], li);
                }
            }
        }
    }
}

// The kernel compiled for the widest registers the processor has, in vectors
// of their width; the instructions differ, the sums do not.
void WithinSums(const Triangle& T, const int* units, int m, const Job* jobs, int nJobs, double* gather) {
    simd::Run([&](auto width) SIMD_INLINE {
        constexpr int W = decltype(width)::value;
        if constexpr (W == 8)
            WithinSumsBody<Vec8, Bits8>(T, units, m, jobs, nJobs, gather);
        else if constexpr (W == 4)
            WithinSumsBody<Vec4, Bits4>(T, units, m, jobs, nJobs, gather);
        else
            WithinSumsBody<Vec2, Bits2>(T, units, m, jobs, nJobs, gather);
    });
}

// The text of the language chosen.
inline const char* Tx(bool pt, const char* english, const char* portuguese) {
    return pt ? portuguese : english;
}

// The threads a parallel region would have. Without a dynamic team and
// outside a region that is the team size set: no team is started (and met)
// only to count it.
int TeamSize() {
    if (!omp_get_dynamic() && !omp_in_parallel()) return std::min(omp_get_max_threads(), omp_get_thread_limit());
    int threads = 1;
#pragma omp parallel
    {
#pragma omp single
        threads = omp_get_num_threads();
    }
    return threads;
}

}  // namespace

// ===========================================================================
// Members
// ===========================================================================

struct RandomizationTestManova::Partition {
    std::vector<int> label;   // per unit: the factor's code, or the cell (its first unit, from 1)
    std::vector<int> codes;   // distinct labels, ascending
    std::vector<int> pos;     // per unit: index of its group in codes
    std::vector<int> size;    // units per group
    int distinct = 0;         // first partition with the same grouping
    std::vector<int> levelA;  // factor pairs: the two levels of each cell
    std::vector<int> levelB;
    int Groups() const { return static_cast<int>(codes.size()); }
};

struct RandomizationTestManova::Contrast {
    int factor = 0, index = 0;
    std::vector<int> units;          // units with a non-zero coefficient, ascending (from 0)
    std::vector<int> local;          // per unit: its index in units, -1 outside
    std::vector<signed char> side;   // per unit: 0 positive, 1 negative, -1 zero coefficient
    std::unique_ptr<bool[]> mask;    // non-zero coefficient
    int nPos = 0, nNeg = 0;
    int minSide = 0;                 // balancing: the smaller side, 0 when equal
    double q0 = 0;                   // Q of its units: permutations keep them in place
    std::string label;               // the coefficients, " %g" each
};

struct RandomizationTestManova::Statistics {
    std::vector<double> qb;        // (k + 2) x (k + 2)
    double three = 0;
    double qw = 0;
    std::vector<double> contrast;  // per contrast: statistic, Qw_c
    std::vector<double> alt;       // second constructor: one statistic per factor
};

// Buffers of one thread of the permutation loop, made before it.
struct RandomizationTestManova::ThreadBuffers {
    std::vector<double> lab, W;    // labels and within sums of the partitions
    std::vector<double> clab, cW;  // the same for one contrast
    std::vector<double> gather, sumQ;
    std::vector<Job> jobs;
    std::vector<Statistics> stats;
    std::vector<int> pl;
};

// What the permutation loop shares.
struct RandomizationTestManova::Run {
    int batch = 1;                    // permutations evaluated together
    int perPerm = 0;                  // ints stored per drawn permutation
    std::vector<int> contrastOffset;  // where each contrast's list starts after the main list
    std::vector<int> distinct;        // the partitions with a grouping of their own
    std::vector<int> groupOffset;     // where their within sums start
    int wPerPerm = 0;
    Triangle T;
    double Qt = 0;                    // ANOSIM: the total of the ranks
    bool undefinedPair = false;       // MRPP, ANOSIM: a dissimilarity is not a number
    std::vector<ThreadBuffers> buffers;
    std::atomic<long long> done{0};
};

struct RandomizationTestManova::DrawWork {
    std::unique_ptr<bool[]> permuted, cellMask, contrastMask;
    std::vector<int> list, order, side;
    explicit DrawWork(int n)
        : permuted(new bool[n]), cellMask(new bool[n]), contrastMask(new bool[n]), list(n), order(n) {
        for (int i = 0; i < n; i++) {
            permuted[i] = true;
            cellMask[i] = false;
            order[i] = i + 1;
        }
    }
};

namespace {
inline int StatIndex(int k, int i, int j) { return i * (k + 1) + j; }
}  // namespace

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
                           rec_.bundlesOnly, statistic_ == 0 && rec_.synchronized, nullptr)) {
        refused_ = true;
    }
    for (const Contrast& c : contrasts_)
        if (!refused_ && restricted &&
            !CheckNestedDesign(n_, rec_.nested, rec_.nestGroups, rec_.permuteBundles,
                               rec_.bundleGroups, rec_.bundlesOnly, false, c.mask.get()))
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

// ===========================================================================
// The Qb and pseudo-F test
// ===========================================================================

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

// ===========================================================================
// The alternative statistics
// ===========================================================================

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

// ===========================================================================
// The report
// ===========================================================================

namespace {

// A probability ("%g"), or the words for one that is not testable.
void PrintP(FILE* f, double p, bool pt) {
    if (std::isnan(p))
        fputs(NotTestableText(pt), f);
    else
        fprintf(f, "%g", p);
}

}  // namespace

const char* RandomizationTestManova::FactorName(int f) const {
    return factorNames_[f].c_str();
}

// Unit u's label (its number without labels) in format; nothing is
// allocated, as blocks are printed inside the permutation loop.
void RandomizationTestManova::PrintUnit(FILE* file, const char* format, char** labels, int u) const {
    if (!labels) labels = rec_.unitLabels;
    char number[16];
    snprintf(number, sizeof number, "%d", u + 1);
    fprintf(file, format, labels && labels[u] ? labels[u] : number);
}

double RandomizationTestManova::Shown(int i, int j) const {
    return shown_->qb[static_cast<size_t>(i) * (k_ + 2) + j];
}

// P of entry [i][j], or during the loop the count reached so far.
double RandomizationTestManova::ShownP(int i, int j) const {
    if (!inLoop_) return P_[i][j];
    const double observed = statistic_ == 0 ? observed_->qb[static_cast<size_t>(i) * (k_ + 2) + j]
                                            : observed_->alt[i];
    return std::isfinite(observed) ? static_cast<double>(counts_[StatIndex(k_, i, j)]) : kNaN;
}

double RandomizationTestManova::ShownThreeP() const {
    if (!inLoop_) return P3_;
    return std::isfinite(observed_->three) ? static_cast<double>(counts_[(k_ + 1) * (k_ + 1)]) : kNaN;
}

double RandomizationTestManova::ShownContrastP(int c) const {
    const Contrast& ct = contrasts_[c];
    if (!inLoop_) return contrastRes_[ct.factor][ct.index][1];
    const int idx = (k_ + 1) * (k_ + 1) + 1 + c;
    return std::isfinite(observed_->contrast[2 * c]) ? static_cast<double>(counts_[idx]) : kNaN;
}

void RandomizationTestManova::PrintManovaResults(FILE* file, char** unitLabels, int digits, int nRemoved,
                                                 int* removedFactors, bool fromSeries,
                                                 bool permutationBlock, int permutation) {
    if (statistic_ != 0)
        PrintAlternativeReport(file, unitLabels, digits, permutationBlock, permutation);
    else
        PrintQbReport(file, unitLabels, digits, nRemoved, removedFactors, fromSeries, permutationBlock,
                      permutation);
}

void RandomizationTestManova::PrintManovaResults(FILE* file, char** unitLabels, int digits, int nRemoved,
                                                 int* removedFactors, bool fromSeries) {
    PrintManovaResults(file, unitLabels, digits, nRemoved, removedFactors, fromSeries, false, 0);
}

void RandomizationTestManova::PrintManovaResults(FILE* file, int digits, int nRemoved, int* removedFactors,
                                                 char** unitLabels) {
    PrintManovaResults(file, unitLabels, digits, nRemoved, removedFactors, false);
}

void RandomizationTestManova::PrintManovaResults(FILE* file, char** unitLabels, int digits) {
    PrintManovaResults(file, digits, 0, nullptr, unitLabels);
}

void RandomizationTestManova::PrintManovaResults(FILE* file, char** unitLabels, int digits,
                                                 bool permutationBlock, int permutation) {
    PrintManovaResults(file, unitLabels, digits, rec_.nRemoved, rec_.removedFactors, false,
                       permutationBlock, permutation);
}

// Title lines; in a block its number and, without contrasts, the list.
void RandomizationTestManova::PrintTitle(FILE* file, char** unitLabels, bool block, int permutation,
                                         bool withList) {
    const bool pt = rec_.portuguese == 1;
    fprintf(file, "\n%s\n", kSeparator);
    fputs(Tx(pt, "RANDOMIZATION TEST", "TESTE DE ALEATORIZACAO"), file);
    if (block) {
        fprintf(file, Tx(pt, "\nINTERMEDIATE RESULTS Permutation %d", "\nRESULTADOS INTERMEDIARIOS Permutacao %d"),
                permutation + 1);
        if (withList) {
            fputs(Tx(pt, "\nRandom permutation of sampling unit vectors:\t",
                     "\nPermutacao aleatoria dos vetores das unidades amostrais:\t"),
                  file);
            for (int a = 0; a < n_; a++) PrintUnit(file, "%s\t", unitLabels, currentList_[a] - 1);
        }
    }
    fprintf(file, "\n%s\n", kSeparator);
}

// Time, run and partition lines.
void RandomizationTestManova::PrintHeader(FILE* file, char** unitLabels, bool alternative) {
    const bool pt = rec_.portuguese == 1;
    const time_t now = time(nullptr);
    fprintf(file, "%s", ctime(&now));
    fprintf(file, Tx(pt, "Elapsed time: %g seconds\n", "Tempo decorrido: %g seconds\n"), elapsed_);
    fprintf(file, "Maximum number of threads: %d\n", TeamSize());
    if (alternative)
        fprintf(file,
                Tx(pt, "Number of random permutations plus observed data: %d\n",
                   "Numero de permutacoes aleatorias mais os dados observados: %d\n"),
                rec_.nPermutations);
    else
        fprintf(file,
                Tx(pt, "Number of random permutations plus observed data set: %d\n",
                   "Numero de permutacoes aleatorias mais o conjunto de dados observado: %d\n"),
                rec_.nPermutations);
    fprintf(file, Tx(pt, "Random number generation initializer: %u\n",
                     "Inicializador da geracao de numeros aleatorios: %u\n"),
            rec_.seed);
    fputs(Tx(pt, "Group partition of sampling units:\n", "Particao das unidades amostrais em grupos:\n"), file);
    fputs(Tx(pt, "Sampling units:   ", "Unidades amostrais:"), file);
    for (int u = 0; u < n_; u++) PrintUnit(file, " %s", unitLabels, u);
    for (int f = 0; f < k_; f++) {
        fprintf(file, Tx(pt, "\nFactor %s: ", "\nFator %s: "), FactorName(f));
        if (alternative)
            fputs(Tx(pt, "\nGroups:             ", "\nGrupos:              "), file);
        else
            fputs(Tx(pt, "\nGroups:           ", "\nGrupos:            "), file);
        for (int u = 0; u < n_; u++) fprintf(file, " %d", partitions_[f].label[u]);
        fputs("\n", file);
        // The alternative statistics have no contrast results to order.
        if (rec_.doContrasts && !alternative) {
            fputs(Tx(pt, "Order of groups in contrasts:", "Ordem dos grupos nos contrastes:"), file);
            for (int code : partitions_[f].codes) fprintf(file, " %d", code);
            fputs("\n", file);
        }
    }
}

void RandomizationTestManova::PrintDataNotes(FILE* file, int nRemoved, int* removedFactors) {
    const bool pt = rec_.portuguese == 1;
    auto removed = [&](int t) {
        const int f = removedFactors ? removedFactors[t] - 1 : -1;
        return f >= 0 && f < k_ ? FactorName(f) : "";
    };
    fputs(Tx(pt, "\nPermuted data were ", "\nOs dados permutados foram "), file);
    if (nRemoved <= 0 || !removedFactors)
        fputs(Tx(pt, "vectors of raw data.", "vetores de dados brutos."), file);
    else if (nRemoved == 1)
        fprintf(file, Tx(pt, "vectors of residuals (effect of factor %s was removed).",
                         "vetores de residuos (o efeito do fator %s foi removido)."),
                removed(0));
    else if (nRemoved == 2)
        fprintf(file, Tx(pt, "vectors of residuals (effects of factors %s and %s were removed).",
                         "vetores de residuos (os efeitos dos fatores %s e %s foram removidos)."),
                removed(0), removed(1));
    else
        fprintf(file, Tx(pt, "vectors of residuals (effects of factors %s, %s and %s were removed).",
                         "vetores de residuos (os efeitos dos fatores %s, %s e %s foram removidos)."),
                removed(0), removed(1), removed(2));
}

void RandomizationTestManova::PrintRestrictionNotes(FILE* file, bool withSynchronized) {
    const bool pt = rec_.portuguese == 1;
    fputs(Tx(pt, "\nRandomization restrictions:", "\nRestricoes a aleatorizacao:"), file);
    if (!rec_.nested && !rec_.permuteBundles) fputs(Tx(pt, "none\n", "nenhuma\n"), file);
    if (rec_.permuteBundles) {
        fputs(Tx(pt, "\nUnits randomly permuted as bundles:\t", "\nUnidades permutadas aleatoriamente em feixes:\t"),
              file);
        for (int u = 0; u < n_; u++) fprintf(file, " %d", rec_.bundleGroups[u]);
    }
    if (rec_.nested) {
        fputs(Tx(pt, "\nRandom permutation within nesting groups:\t",
                 "\nPermutacao aleatoria dentro de grupos de aninhamento:\t"),
              file);
        for (int u = 0; u < n_; u++) fprintf(file, " %d", rec_.nestGroups[u]);
    }
    // The order of the two steps means something only when both are taken.
    if (rec_.permuteBundles && rec_.nested) {
        if (rec_.bundlesOnly)
            fputs(Tx(pt, "\nPermutation of bundles within nesting groups.\n",
                     "\nPermutacao dos feixes dentro de grupos de aninhamento.\n"),
                  file);
        else
            fputs(Tx(pt, "\nPermutation of units within nesting groups, followed by permutation of the bundles.\n",
                     "\nPermutacao das unidades dentro de grupos de aninhamento, seguida pela permutacao dos "
                     "feixes.\n"),
                  file);
    }
    if (withSynchronized && rec_.synchronized)
        fputs(Tx(pt, "\nSynchronized permutations were performed.\n", "\nForam realizadas permutacoes sincronizadas.\n"),
              file);
}

void RandomizationTestManova::PrintQbReport(FILE* file, char** unitLabels, int digits, int nRemoved,
                                            int* removedFactors, bool fromSeries, bool block, int permutation) {
    if (refused_ || !file) return;
    rec_.report = file;
    const bool pt = rec_.portuguese == 1;
    const int k = k_;
    PrintTitle(file, unitLabels, block, permutation, !rec_.doContrasts);
    // The notes of the default test series belong to its designs only; any
    // other report says how its own data were permuted.
    const bool seriesNotes = fromSeries && (k > 2 || (k == 2 && blockFactor_ < 0));
    if (!(block && permutation > 0)) {
        PrintHeader(file, unitLabels, false);
        if (seriesNotes) {
            fputs(Tx(pt,
                     "\nVectors of raw data were used to generate probabilities for the main effects while "
                     "vectors of residuals were used for double interactions (both factor effects removed).",
                     "\nVetores de dados brutos foram usados para gerar as probabilidades dos efeitos "
                     "principais, enquanto vetores de residuos foram usados para as interacoes duplas "
                     "(efeitos de ambos os fatores removidos)."),
                  file);
            fputs(Tx(pt,
                     "\nFor each main effect permutations were restricted within the groups defined by the "
                     "combination of the other factors.",
                     "\nPara cada efeito principal as permutacoes foram restritas aos grupos definidos pela "
                     "combinacao dos outros fatores."),
                  file);
            fputs(Tx(pt, "\nFor the all-factor combination effect permutations were unrestricted.\n",
                     "\nPara o efeito da combinacao de todos os fatores as permutacoes foram irrestritas.\n"),
                  file);
            fputs(Tx(pt,
                     "\n(*) Probabilities P generated for sum of squares (Qb), except for interactions, where "
                     "F=Qb/Qw was used as test criterion.\n",
                     "\n(*) Probabilidades P geradas para a soma de quadrados (Qb), exceto para as interacoes, "
                     "onde F=Qb/Qw foi usado como criterio de teste.\n"),
                  file);
        } else {
            PrintDataNotes(file, nRemoved, removedFactors);
            PrintRestrictionNotes(file, true);
        }
        if (rec_.balance) {
            if (rec_.balanceAlways)
                fputs(Tx(pt, "Balancing analysis was always performed even when group sizes equal.\n",
                         "Foi sempre feita analise balanceada, mesmo com grupos de tamanhos iguais.\n"),
                      file);
            else if (subsample_)
                fputs(Tx(pt, "Balancing analysis was performed when group sizes were unequal.\n",
                         "Foi feita analise balanceada quando os tamanhos dos grupos eram desiguais.\n"),
                      file);
        }
    }
    PrintTable(file, digits, seriesNotes, block);
    fprintf(file, "%-22s\t%20.*g\n", Tx(pt, "Within groups", "Dentro dos grupos"), digits, NoNegativeZero(shown_->qw));
    fprintf(file, "%.78s\n", kSeparator);
    fprintf(file, "%-22s\t%20.*g\n", "Total", digits, NoNegativeZero(Shown(k + 1, k + 1)));
    if (!block && means_) PrintGroupMeans(file, digits, k > 1);
}

// The table of the Qb test, or with pseudoF of the F test: one line per
// factor (with its contrasts), factor pair, three-factor term and the cells
// of all factors. F is printed with Q = F x Qw, or with "-" when Qw is not
// positive (F then holds Q undivided).
void RandomizationTestManova::PrintTable(FILE* file, int digits, bool seriesNotes, bool block) {
    const bool pt = rec_.portuguese == 1, F = rec_.pseudoF;
    const int k = k_;
    const double qw = shown_->qw;
    const bool divided = F && observed_->qw > 0;
    const char* source = Tx(pt, "Source of variation   ", "Fonte de variacao     ");
    const char* sumSq = Tx(pt, "Sum of squares(Q)   ", "Soma de quadrados(Q)");
    if (F) {
        fprintf(file, "\n\n%-22s\t%20.20s\t%12.12s\t%s\n", source, sumSq, "F=Qb/Qw",
                block ? " Freq(FNULL>=F)" : " P(FNULL>=F)");
    } else {
        const char* head = block ? (seriesNotes ? " Freq(QbNULL>=Qb) *" : " Freq(QbNULL>=Qb)")
                                 : (seriesNotes ? " P(QbNULL>=Qb) *" : " P(QbNULL>=Qb)");
        fprintf(file, "\n\n%-22s\t%20.20s\t%s\n", source, sumSq, head);
    }
    // Q and F of a value, in fields of the given widths.
    auto values = [&](double v, double divisor, int wq, int wf, bool divide) {
        if (!F)
            fprintf(file, "%*.*g\t", wq, digits, NoNegativeZero(v));
        else if (divide)
            fprintf(file, "%*.*g\t%*.*g\t", wq, digits, NoNegativeZero(v * divisor), wf, digits, NoNegativeZero(v));
        else
            fprintf(file, "%*.*g\t%*s\t", wq, digits, NoNegativeZero(v), wf, "-");
    };
    auto endP = [&](double p) {
        PrintP(file, p, pt);
        fputs("\n", file);
    };
    const char* between = Tx(pt, "Between groups", "Entre grupos");
    for (int i = 0; i < k; i++) {
        fprintf(file, "%.78s\n", kSeparator);
        if (F)
            fprintf(file, Tx(pt, "Factor %s:\n", "Fator %s:\n"), FactorName(i));
        else
            fprintf(file, Tx(pt, "\nFactor %s: \n", "\nFator %s: \n"), FactorName(i));
        fprintf(file, "%-22s\t", between);
        values(Shown(i, i), qw, 20, 12, divided);
        if (i == blockFactor_)
            fputs("\n", file);
        else
            endP(ShownP(i, i));
        bool heading = false;
        for (size_t c = 0; c < contrasts_.size(); c++) {
            const Contrast& ct = contrasts_[c];
            if (ct.factor != i) continue;
            if (!heading) fprintf(file, "%-22s\n", Tx(pt, "   Contrasts:", "   Contrastes:"));
            heading = true;
            const double stat = shown_->contrast[2 * c], qwc = shown_->contrast[2 * c + 1];
            fprintf(file, "%-22s\t", ct.label.c_str());
            if (F) {
                values(stat, qwc, 20, 12, observed_->contrast[2 * c + 1] > 0);
                endP(ShownContrastP(static_cast<int>(c)));
            } else if (i == blockFactor_) {
                fprintf(file, "%20.*g\n", digits, NoNegativeZero(stat));
            } else {
                fprintf(file, "%20.*g\t\t", digits, NoNegativeZero(stat));
                endP(ShownContrastP(static_cast<int>(c)));
            }
        }
    }
    for (int i = 0, pair = 0; i < k; i++)
        for (int j = i + 1; j < k; j++, pair++) {
            if (i == blockFactor_ || j == blockFactor_) continue;
            fprintf(file, "%.78s\n", kSeparator);
            fprintf(file, "%-9s x %-9s\t", FactorName(i), FactorName(j));
            values(Shown(i, j), qw, 20, 12, divided);
            endP(ShownP(i, j));
            if (!pairComplete_[pair])
                fputs(Tx(pt, "Warning! Data do not contain all the combinations of levels for these factors.\n",
                         "Atencao! Os dados nao contem todas as combinacoes de niveis destes fatores.\n"),
                      file);
        }
    if (k == 3 && blockFactor_ < 0) {
        fprintf(file, "%.78s\n", kSeparator);
        fprintf(file, "%-9s x %-9s x %-9s\t", FactorName(0), FactorName(1), FactorName(2));
        values(shown_->three, qw, 13, 9, divided);
        endP(ShownThreeP());
    }
    if (k > 3) {
        double other = Shown(k, k);
        for (int i = 0; i < k; i++)
            for (int j = i; j < k; j++) other -= Shown(i, j);
        fprintf(file, "%.78s\n", kSeparator);
        fprintf(file, "%-22s\t%20.*g\n", Tx(pt, "Other interactions", "Outras interacoes"), digits,
                NoNegativeZero(divided ? other * qw : other));
    }
    if (k > 1 && blockFactor_ < 0) {
        fprintf(file, "%.78s\n", kSeparator);
        fprintf(file, "%-22s\t", between);
        if (F && !divided)
            fprintf(file, "%20.*g\t%-12s\t", digits, NoNegativeZero(Shown(k, k)), "-");
        else
            values(Shown(k, k), qw, 20, 12, divided);
        endP(ShownP(k, k));
    }
}

void RandomizationTestManova::PrintGroupMeans(FILE* file, int digits, bool pairsToo) {
    const bool pt = rec_.portuguese == 1;
    const int p = rec_.nVar;
    fputs(Tx(pt, "\nMean vectors of each group:\n", "\nVetores medios de cada grupo:\n"), file);
    for (int f = 0; f < k_; f++) {
        fprintf(file, Tx(pt, "Factor %s:\n", "Fator %s:\n"), FactorName(f));
        const Partition& part = partitions_[f];
        for (int g = 0; g < part.Groups(); g++) {
            fprintf(file, Tx(pt, "Group %d (n=%d):\t", "Grupo %d (n=%d):\t"), part.codes[g], part.size[g]);
            PrintVector(file, p, means_[f][g], digits, 10, 0);
        }
    }
    if (!pairsToo || nMeanPartitions_ <= k_ + 1) return;
    fputs("\n", file);
    int q = k_ + 1;
    for (int i = 0; i < k_; i++)
        for (int j = i + 1; j < k_; j++, q++) {
            fprintf(file, Tx(pt, "Interaction factors %s x %s:\n", "Interacao dos fatores %s x %s:\n"), FactorName(i),
                    FactorName(j));
            const Partition& part = partitions_[q];
            for (int g = 0; g < part.Groups(); g++) {
                fprintf(file, Tx(pt, "Group %d x %d (n=%d):\t", "Grupo %d x %d (n=%d):\t"), part.levelA[g],
                        part.levelB[g], part.size[g]);
                PrintVector(file, p, means_[q][g], digits, 10, 0);
            }
        }
}

void RandomizationTestManova::PrintAlternativeReport(FILE* file, char** unitLabels, int digits, bool block,
                                                     int permutation) {
    if (refused_ || !file) return;
    rec_.report = file;
    const bool pt = rec_.portuguese == 1;
    PrintTitle(file, unitLabels, block, permutation, false);
    if (!(block && permutation > 0)) {
        PrintHeader(file, unitLabels, true);
        switch (statistic_) {
        case 1:
            fputs(Tx(pt, "\n(*) Probabilities P generated for the sum F statistic based on ANOVA Fs for each variable.\n",
                     "\n(*) Probabilidades P geradas para a estatistica soma de F, baseada nos F da ANOVA de cada "
                     "variavel.\n"),
                  file);
            break;
        case 2:
            fputs("\n(*) Probabilities P generated for the LR-IND likelihood ratio for independent variables "
                  "statistic (Eskell & Calvet 2004).\n",
                  file);
            break;
        case 3:
            fputs(Tx(pt,
                     "\n(*) Probabilities P generated for the MRPP statistic (average dissimilaritty, v=1, Sorvin "
                     "& Dosset 2001).\n",
                     "\n(*) Probabilidades P geradas para a estatistica MRPP (dissimilaridade media, v=1, Sorvin "
                     "& Dosset 2001).\n"),
                  file);
            break;
        default:
            fputs(Tx(pt, "\n(*) Probabilities P generated for the ANOSIM statistic (R, Wendle 1993).\n",
                     "\n(*) Probabilidades P geradas para a estatistica ANOSIM (R, Wendle 1993).\n"),
                  file);
        }
        PrintRestrictionNotes(file, false);
    }
    static const char* const names[4] = {"SUM-F", "LR-IND", "MRPP", "ANOSIM R"};
    static const char* const pLabels[4] = {"P(SUM-F_Rnd>=SUM-F):", "P(LR-IND_Rnd>=LR-IND):",
                                           "P(MRPP_Rnd<=MRPP):", "P(R_Rnd>=R):"};
    static const char* const freqLabels[4] = {"Freq(SUM-F_Rnd>=SUM-F):", "Freq(LR-IND_Rnd>=LR-IND):",
                                              "Freq(MRPP_Rnd<=MRPP):", "Freq(R_Rnd>=R):"};
    const int s = statistic_ - 1;
    for (int f = 0; f < k_; f++) {
        fprintf(file, "%.78s\n", kSeparator);
        fprintf(file, Tx(pt, "Factor %s:\n", "Fator %s:\n"), FactorName(f));
        fprintf(file, "%s:\t%g\t%s\t", names[s], NoNegativeZero(shown_->alt[f]), block ? freqLabels[s] : pLabels[s]);
        PrintP(file, ShownP(f, f), pt);
        fputs("\n", file);
    }
    // Contrasts asked for with a statistic that tests none are not passed
    // over in silence.
    if (rec_.doContrasts && maxContrasts_ > 0 && !(block && permutation > 0))
        fprintf(file,
                Tx(pt, "Contrasts were not tested: the %s statistic has no contrast results.\n",
                   "Os contrastes nao foram testados: a estatistica %s nao tem resultados de contrastes.\n"),
                names[s]);
    if (!block && means_) PrintGroupMeans(file, digits, false);
}

// One row of the table of intermediate results: the statistics of the
// arrangement shown, and the list of units without contrasts.
void RandomizationTestManova::PrintManovaIntermResults(FILE* file, int digits, int permutation) {
    if (refused_ || !file || statistic_ != 0) return;
    rec_.report = file;
    const bool pt = rec_.portuguese == 1;
    const int k = k_;
    const bool noBlock = blockFactor_ < 0;
    if (permutation == 0) {
        fprintf(file, "\n%s\n", kSeparator);
        fputs(Tx(pt, "RANDOMIZATION TEST - INTERMEDIATE RESULTS", "TESTE DE ALEATORIZACAO - RESULTADOS INTERMEDIARIOS"),
              file);
        fprintf(file, "\n%s\n", kSeparator);
        for (int f = 0; f < k; f++) fprintf(file, "%s\t", FactorName(f));
        for (int i = 0; i < k; i++)
            for (int j = i + 1; j < k; j++)
                if (i != blockFactor_ && j != blockFactor_) fprintf(file, "%s x %s\t", FactorName(i), FactorName(j));
        if (k == 3 && noBlock) fprintf(file, "%s x %s x %s\t", FactorName(0), FactorName(1), FactorName(2));
        if (k > 1 && noBlock) fputs(Tx(pt, "All factors\t", "Todos os fatores\t"), file);
        if (!rec_.doContrasts) fputs(Tx(pt, "Random permutations", "Permutacoes aleatorias"), file);
        fprintf(file, "\n%s", kSeparator);
    }
    // One line per arrangement, as the heading has one column per statistic.
    fputs("\n", file);
    for (int f = 0; f < k; f++) fprintf(file, "%*g\t", digits, NoNegativeZero(Shown(f, f)));
    for (int i = 0; i < k; i++)
        for (int j = i + 1; j < k; j++)
            if (i != blockFactor_ && j != blockFactor_) fprintf(file, "%20.*g\t", digits, NoNegativeZero(Shown(i, j)));
    if (k == 3 && noBlock) fprintf(file, "%13.*g\t", digits, NoNegativeZero(shown_->three));
    if (k > 1 && noBlock) fprintf(file, "%20.*g\t", digits, NoNegativeZero(Shown(k, k)));
    if (!rec_.doContrasts)
        for (int a = 0; a < n_; a++) PrintUnit(file, "%s\t", nullptr, currentList_[a] - 1);
}
