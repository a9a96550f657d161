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

#include "rhlibClasses.h"

#include <algorithm>
#include <cstring>

#include "rhSimd.h"
#include "rhlibClasses_internal.h"

using namespace manovadetail;

namespace {

constexpr int kLanes = 8;

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

}  // namespace

namespace manovadetail {

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

}  // namespace manovadetail
