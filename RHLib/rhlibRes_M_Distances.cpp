// ===========================================================================
// Distances and similarity coefficients
// ===========================================================================

#include "rhlibRes_M.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "rhlibDim.h"
#include "rhlib_M.h"
#include "nrutilRH.h"
#include "rhSimd.h"

namespace dist_detail {

// Below this many attribute comparisons a resemblance matrix is computed on
// the calling thread: starting a team would cost more than it saves.
constexpr double kParallelWork = 2.0e5;

bool HasMissing(int m, int q, double** X) {
    for (int i = 0; i < m; i++)
        for (int k = 0; k < q; k++)
            if (X[i][k] == MISSING) return true;
    return false;
}

// Rows [first, last) of thread t out of T for a loop over the upper triangle
// (row i holds the m - i pairs j >= i): the rows are cut where the running
// count of pairs crosses t/T of the total, so that every thread gets the same
// number of pairs, not the same number of rows.
void TriangleRows(int m, int T, int t, int& first, int& last) {
    auto start = [m, T](int s) -> int {
        if (s <= 0) return 0;
        if (s >= T) return m;
        double total = 0.5 * m * (m + 1.0);
        double target = total * s / T;
        // Smallest r whose pairs before it, r m - r (r - 1) / 2, reach target.
        int lo = 0, hi = m;
        while (lo < hi) {
            int r = lo + (hi - lo) / 2;
            double before = static_cast<double>(r) * m - 0.5 * r * (r - 1.0);
            if (before >= target)
                hi = r;
            else
                lo = r + 1;
        }
        return lo;
    };
    first = start(t);
    last = start(t + 1);
}

// Calls rows(first, last) on every thread of the current team with its share
// of the triangle. rows must neither allocate nor throw.
template <class RowsFn>
void ForEachTriangleShare(int m, double workPerPair, RowsFn rows) {
    double work = 0.5 * m * (m + 1.0) * workPerPair;
#pragma omp parallel if (work > kParallelWork)
    {
        int first, last;
        TriangleRows(m, omp_get_num_threads(), omp_get_thread_num(), first, last);
        rows(first, last);
    }
}

// Calls rowFn(i) for every row i on the current thread team.
template <class RowFn>
void ForEachTriangleRow(int m, int q, RowFn rowFn) {
    ForEachTriangleShare(m, q > 0 ? q : 1, [&](int first, int last) {
        for (int i = first; i < last; i++) rowFn(i);
    });
}

// Lanes of the pair sums: enough independent sums to hide the latency of
// the additions.
constexpr int kLanes = 8;

// Terms of the pair sums: Add puts attribute (a, b) of a pair into lane l of
// its sums. Where a value is missing an MV term adds exactly 0, which leaves
// a sum of non-negative terms unchanged, so that complete rows give the same
// bits with or without the tests. The terms are computed whatever the values
// and then chosen: the compiler does not turn an arithmetic operation it
// would have to skip into a vector one.
inline bool BothPresent(double a, double b) { return (a != MISSING) & (b != MISSING); }

// The difference where both values are present, else 0.
inline double PresentDiff(double a, double b) { return BothPresent(a, b) ? a - b : 0.0; }

// v where both values count, else +0, by a mask: a choice the compiler
// could not vectorise.
template <bool MV>
SIMD_INLINE inline double Counted(double a, double b, double v) {
    if (!MV) return v;
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bits &= -static_cast<std::uint64_t>(BothPresent(a, b));
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

template <bool MV>
struct SqDiffTerm {
    static constexpr int kSums = 1;
    SIMD_INLINE void Add(double a, double b, double (*acc)[kLanes], int l) const {
        const double d = Counted<MV>(a, b, a - b);
        acc[0][l] += d * d;
    }
};

template <bool MV>
struct AbsDiffTerm {
    static constexpr int kSums = 1;
    SIMD_INLINE void Add(double a, double b, double (*acc)[kLanes], int l) const {
        acc[0][l] += std::fabs(Counted<MV>(a, b, a - b));
    }
};

// Numerator and denominator of the percentage difference with shift s (a
// shift of 0 is skipped: subtracting it would change no bit).
template <bool MV, bool Shift>
struct BrayCurtisTerm {
    static constexpr int kSums = 2;
    double s;
    SIMD_INLINE void Add(double a, double b, double (*acc)[kLanes], int l) const {
        acc[0][l] += std::fabs(Counted<MV>(a, b, a - b));
        acc[1][l] += Counted<MV>(a, b, Shift ? (a - s) + (b - s) : a + b);
    }
};

// The sums of the pairs of each of the B rows x[0..B-1] with row y: kLanes
// interleaved lanes per sum (attribute k in lane k mod kLanes, the last q mod
// kLanes in lane 0), added pairwise in a fixed order, so that the result
// depends only on the two rows. The B pairs read y once and give the
// processor B independent sums to add at once; each pair's own sums are the
// same whatever B.
template <int B, class Term>
SIMD_INLINE inline void PairSums(const Term& term, int q, const double* const* x, const double* y,
                                 double (*out)[Term::kSums]) {
    double acc[B][Term::kSums][kLanes];
    for (int b = 0; b < B; b++)
        for (int s = 0; s < Term::kSums; s++)
            for (int l = 0; l < kLanes; l++) acc[b][s][l] = 0.0;
    int k = 0;
    // Each lane is its own sum, so running the lanes side by side in vector
    // registers changes no result.
    for (; k + kLanes <= q; k += kLanes)
        for (int b = 0; b < B; b++)
#pragma omp simd
            for (int l = 0; l < kLanes; l++) term.Add(x[b][k + l], y[k + l], acc[b], l);
    for (; k < q; k++)
        for (int b = 0; b < B; b++) term.Add(x[b][k], y[k], acc[b], 0);
    static_assert(kLanes == 8, "the lanes are added in a fixed tree of eight");
    for (int b = 0; b < B; b++)
        for (int s = 0; s < Term::kSums; s++) {
            const double* a = acc[b][s];
            out[b][s] = ((a[0] + a[1]) + (a[2] + a[3])) + ((a[4] + a[5]) + (a[6] + a[7]));
        }
}

template <class Term>
SIMD_INLINE inline void PairSums(const Term& term, int q, const double* x, const double* y, double* out) {
    double sums[1][Term::kSums];
    PairSums<1>(term, q, &x, y, sums);
    for (int s = 0; s < Term::kSums; s++) out[s] = sums[0][s];
}

// Every pair i < j of the rows of X on the thread team, store(i, j, sums);
// the diagonal of R is set to 0. The sums in the processor's widest
// registers, B rows i at a time against each row j: a row j is read from
// memory once for the B of them, and the B pairs are added side by side. The
// lanes of a pair are the same at every width and every B.
template <class Term, class Store>
void TrianglePairs(const Term& term, int m, int q, double** X, double** R, Store store) {
    ForEachTriangleShare(m, q > 0 ? q : 1, [&](int first, int last) {
        simd::Run([&](auto width) SIMD_INLINE {
            // Eight lanes of a sum take one register of AVX-512, two of AVX2,
            // four of SSE2: B pairs' sums and a row keep within the registers.
            constexpr int W = decltype(width)::value, B = (W == 8 ? 8 : W == 4 ? 4 : 2) / Term::kSums;
            double sums[B][Term::kSums];
            for (int i = first; i < last; i++) R[i][i] = 0.0;
            int i0 = first;
            for (; i0 + B <= last; i0 += B) {
                // Pairs within the block, then every later row against all B.
                for (int i = i0; i < i0 + B; i++)
                    for (int j = i + 1; j < i0 + B; j++) {
                        PairSums<1>(term, q, X + i, X[j], sums);
                        store(i, j, sums[0]);
                    }
                for (int j = i0 + B; j < m; j++) {
                    PairSums<B>(term, q, X + i0, X[j], sums);
                    for (int b = 0; b < B; b++) store(i0 + b, j, sums[b]);
                }
            }
            for (int i = i0; i < last; i++)
                for (int j = i + 1; j < m; j++) {
                    PairSums<1>(term, q, X + i, X[j], sums);
                    store(i, j, sums[0]);
                }
        });
    });
}

inline double RootOrZero(double s) { return s > 0 ? std::sqrt(s) : 0.0; }

// Copies the upper triangle onto the lower one, tile by tile so that both
// the rows read and the rows written stay in cache, on the thread team.
void MirrorUpper(int m, double** R) {
    constexpr int B = 32;
    int tiles = (m + B - 1) / B;
    ForEachTriangleShare(tiles, static_cast<double>(B) * B, [&](int first, int last) {
        for (int bi = first; bi < last; bi++)
            for (int bj = bi; bj < tiles; bj++) {
                int iEnd = std::min(m, (bi + 1) * B), jEnd = std::min(m, (bj + 1) * B);
                for (int i = bi * B; i < iEnd; i++)
                    for (int j = std::max(i + 1, bj * B); j < jEnd; j++) R[j][i] = R[i][j];
            }
    });
}

template <bool MV>
void Euclid(int m, int q, double** X, double** R) {
    TrianglePairs(SqDiffTerm<MV>{}, m, q, X, R,
                  [R](int i, int j, const double* s) { R[i][j] = RootOrZero(s[0]); });
    MirrorUpper(m, R);
}

// Presence and absence of every row as bit sets, for the joint frequencies
// of the binary coefficients: bit k of the presence set is on where the
// value is 1, of the absence set where it is 0; other values are in neither.
struct BinaryRows {
    int words = 0, q = 0;
    bool onlyBinary = true;   // every cell holds 0 or 1
    std::vector<uint64_t> presence, absence;
    std::vector<int> presences;  // number of 1s of each row

    BinaryRows(int m, int q_, double** X) : words((q_ + 63) / 64), q(q_), presences(m > 0 ? m : 0, 0) {
        presence.assign(static_cast<size_t>(m) * words, 0);
        absence.assign(static_cast<size_t>(m) * words, 0);
        for (int i = 0; i < m; i++) {
            uint64_t* p = presence.data() + static_cast<size_t>(i) * words;
            uint64_t* a = absence.data() + static_cast<size_t>(i) * words;
            for (int k = 0; k < q; k++) {
                uint64_t bit = uint64_t{1} << (k & 63);
                if (X[i][k] == 1.0) {
                    p[k >> 6] |= bit;
                    presences[i]++;
                } else if (X[i][k] == 0.0) {
                    a[k >> 6] |= bit;
                } else {
                    onlyBinary = false;
                }
            }
        }
    }
    const uint64_t* P(int i) const { return presence.data() + static_cast<size_t>(i) * words; }
    const uint64_t* A(int i) const { return absence.data() + static_cast<size_t>(i) * words; }
};

SIMD_INLINE inline int BitCount(uint64_t v) {
    v = v - ((v >> 1) & 0x5555555555555555ULL);
    v = (v & 0x3333333333333333ULL) + ((v >> 2) & 0x3333333333333333ULL);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return static_cast<int>((v * 0x0101010101010101ULL) >> 56);
}

struct Joint {
    int a, b, c, d;
};

SIMD_INLINE inline Joint JointOfRows(const BinaryRows& B, int i, int j) {
    const uint64_t *pi = B.P(i), *pj = B.P(j);
    Joint f{0, 0, 0, 0};
    if (B.onlyBinary) {
        // Every position is a presence or an absence in both rows: the joint
        // presences give the other three counts.
        for (int w = 0; w < B.words; w++) f.a += BitCount(pi[w] & pj[w]);
        f.b = B.presences[i] - f.a;
        f.c = B.presences[j] - f.a;
        f.d = B.q - f.a - f.b - f.c;
        return f;
    }
    const uint64_t *ai = B.A(i), *aj = B.A(j);
    for (int w = 0; w < B.words; w++) {
        f.a += BitCount(pi[w] & pj[w]);
        f.b += BitCount(pi[w] & aj[w]);
        f.c += BitCount(ai[w] & pj[w]);
        f.d += BitCount(ai[w] & aj[w]);
    }
    return f;
}

// Fills the upper triangle with the diagonal by coef(joint frequencies).
template <class Coef>
void BinaryCoefficient(int m, int q, double** X, double** R, Coef coef) {
    if (m <= 0) return;
    BinaryRows B(m, q, X);
    // The bit counts by the processor's own instruction where it has one.
    ForEachTriangleShare(m, std::max(1, B.words * 4), [&](int first, int last) {
        simd::Run([&](auto) SIMD_INLINE {
            for (int i = first; i < last; i++)
                for (int j = i; j < m; j++) R[i][j] = coef(JointOfRows(B, i, j));
        });
    });
}

}  // namespace dist_detail

// --- Euclidean family ------------------------------------------------------

void EucliDist(int m, int q, double** X, double** R) { dist_detail::Euclid<false>(m, q, X, R); }

void EucliDistMV(int m, int q, double** X, double** R) {
    // A complete table takes the sums without the tests (the same bits).
    if (dist_detail::HasMissing(m, q, X))
        dist_detail::Euclid<true>(m, q, X, R);
    else
        dist_detail::Euclid<false>(m, q, X, R);
}

void EucliDistMVSelect(int m, int q, double** X, double** R, const int* sel) {
    using namespace dist_detail;
    // The selected attributes, so that the pair loop reads no selection vector.
    std::vector<int> cols;
    for (int k = 0; k < q; k++)
        if (sel[k] != 0) cols.push_back(k);
    int n = static_cast<int>(cols.size());
    ForEachTriangleRow(m, n, [&](int i) {
        R[i][i] = 0.0;
        const double* x = X[i];
        for (int j = i + 1; j < m; j++) {
            const double* y = X[j];
            double s = 0.0;
            for (int c = 0; c < n; c++) {
                double d = PresentDiff(x[cols[c]], y[cols[c]]);
                s += d * d;
            }
            R[i][j] = RootOrZero(s);
        }
    });
}

void EucliDistMVSelectOne(int m, int q, double** X, double** R, int k) {
    using namespace dist_detail;
    (void)q;
    int c = k - 1;
    for (int i = 0; i < m; i++) {
        R[i][i] = 0.0;
        for (int j = i + 1; j < m; j++) R[i][j] = std::fabs(PresentDiff(X[i][c], X[j][c]));
    }
}

void EucliDistSq(int m, int q, double** X, double** R) {
    dist_detail::TrianglePairs(dist_detail::SqDiffTerm<false>{}, m, q, X, R,
                                  [R](int i, int j, const double* s) { R[i][j] = s[0]; });
}

double EucliDistSq2Vec(int q, const double* x, const double* y) {
    double s;
    dist_detail::PairSums(dist_detail::SqDiffTerm<false>{}, q, x, y, &s);
    return s;
}

// --- City-block --------------------------------------------------------------

void AbsValFunctionMV(int m, int q, double** X, double** R) {
    using namespace dist_detail;
    auto store = [R](int i, int j, const double* s) { R[i][j] = s[0]; };
    if (HasMissing(m, q, X))
        TrianglePairs(AbsDiffTerm<true>{}, m, q, X, R, store);
    else
        TrianglePairs(AbsDiffTerm<false>{}, m, q, X, R, store);
}

void AbsValFunction(int m, int q, double** X, double** R) {
    dist_detail::TrianglePairs(dist_detail::AbsDiffTerm<false>{}, m, q, X, R,
                                  [R](int i, int j, const double* s) { R[i][j] = s[0]; });
}

void AbsValFunctionMV(int m, const double* x, double** R) {
    using namespace dist_detail;
    for (int i = 0; i < m; i++) {
        R[i][i] = 0.0;
        for (int j = i + 1; j < m; j++) R[i][j] = std::fabs(PresentDiff(x[i], x[j]));
    }
}

double AbsValFunction2VecD(int q, const double* x, const double* y) {
    double s;
    dist_detail::PairSums(dist_detail::AbsDiffTerm<false>{}, q, x, y, &s);
    return s;
}

// --- Chord distance ------------------------------------------------------------

namespace dist_detail {

// Squared chord distance over the positions where both values count
// (present when mv is true, every position otherwise). A norm of 0 is
// replaced by 1, so that a row of zeros stays at the origin.
double ChordSq(int q, const double* x, const double* y, bool mv) {
    double xx = 0.0, yy = 0.0;
    for (int k = 0; k < q; k++) {
        if (mv && (x[k] == MISSING || y[k] == MISSING)) continue;
        xx += x[k] * x[k];
        yy += y[k] * y[k];
    }
    double nx = xx > 0 ? std::sqrt(xx) : 1.0;
    double ny = yy > 0 ? std::sqrt(yy) : 1.0;
    double s = 0.0;
    for (int k = 0; k < q; k++) {
        if (mv && (x[k] == MISSING || y[k] == MISSING)) continue;
        double d = x[k] / nx - y[k] / ny;
        s += d * d;
    }
    return s;
}

}  // namespace dist_detail

double ChordDistSq2VecMV(int q, const double* x, const double* y) {
    return dist_detail::ChordSq(q, x, y, true);
}

double ChordDistSq2Vec(int q, const double* x, const double* y) {
    return dist_detail::ChordSq(q, x, y, false);
}

// --- Percentage difference ---------------------------------------------------

void BrayCurtisMV(int m, int q, double** X, double** R) {
    using namespace dist_detail;
    // Shift: the smallest value when it is 0 or negative, so that every
    // shifted value is non-negative and the denominator is a total.
    bool any = false;
    double low = 0.0;
    for (int i = 0; i < m; i++)
        for (int k = 0; k < q; k++) {
            double v = X[i][k];
            if (v == MISSING) continue;
            if (!any || v < low) low = v;
            any = true;
        }
    double s = (any && low <= 0.0) ? low : 0.0;
    // A pair without a positive denominator has every shared value at the
    // shift (or none shared): the rows do not differ.
    auto store = [R](int i, int j, const double* sums) {
        R[i][j] = sums[1] > 0 ? sums[0] / sums[1] : 0.0;
    };
    bool mv = HasMissing(m, q, X);
    if (s != 0.0) {
        if (mv)
            TrianglePairs(BrayCurtisTerm<true, true>{s}, m, q, X, R, store);
        else
            TrianglePairs(BrayCurtisTerm<false, true>{s}, m, q, X, R, store);
    } else if (mv) {
        TrianglePairs(BrayCurtisTerm<true, false>{s}, m, q, X, R, store);
    } else {
        TrianglePairs(BrayCurtisTerm<false, false>{s}, m, q, X, R, store);
    }
}

// --- Binary coefficients -----------------------------------------------------

void JointFreq(int q, const double* x, const double* y, int* a, int* b, int* c, int* d) {
    int na = 0, nb = 0, nc = 0, nd = 0;
    for (int k = 0; k < q; k++) {
        double u = x[k], v = y[k];
        if (u == 1.0) {
            if (v == 1.0)
                na++;
            else if (v == 0.0)
                nb++;
        } else if (u == 0.0) {
            if (v == 1.0)
                nc++;
            else if (v == 0.0)
                nd++;
        }
    }
    *a = na;
    *b = nb;
    *c = nc;
    *d = nd;
}

void Jaccard(int m, int q, double** X, double** R) {
    dist_detail::BinaryCoefficient(m, q, X, R, [](dist_detail::Joint f) {
        int s = f.a + f.b + f.c;
        return s > 0 ? static_cast<double>(f.a) / s : 0.0;
    });
}

void SimpleMatching(int m, int q, double** X, double** R) {
    using namespace dist_detail;
    ForEachTriangleRow(m, q, [&](int i) {
        const double* x = X[i];
        for (int j = i; j < m; j++) {
            const double* y = X[j];
            int equal = 0, present = 0;
            for (int k = 0; k < q; k++) {
                bool both = (x[k] != MISSING) & (y[k] != MISSING);
                present += both;
                equal += both & (x[k] == y[k]);
            }
            R[i][j] = present > 0 ? static_cast<double>(equal) / present : 0.0;
        }
    });
}

void SokalMichener(int m, int q, double** X, double** R) {
    dist_detail::BinaryCoefficient(m, q, X, R, [](dist_detail::Joint f) {
        int s = f.a + f.b + f.c + f.d;
        return s > 0 ? static_cast<double>(f.a) / s : 0.0;
    });
}

void Ochiai(int m, int q, double** X, double** R) {
    dist_detail::BinaryCoefficient(m, q, X, R, [](dist_detail::Joint f) {
        double p = static_cast<double>(f.a + f.b) * (f.a + f.c);
        return p > 0 ? f.a / std::sqrt(p) : 0.0;
    });
}

void Sorensen(int m, int q, double** X, double** R) {
    dist_detail::BinaryCoefficient(m, q, X, R, [](dist_detail::Joint f) {
        int s = 2 * f.a + f.b + f.c;
        return s > 0 ? 2.0 * f.a / s : 0.0;
    });
}

void MeanSquareContingency(int m, int q, double** X, double** R) {
    dist_detail::BinaryCoefficient(m, q, X, R, [](dist_detail::Joint f) {
        double a = f.a, b = f.b, c = f.c, d = f.d;
        double margins = (a + b) * (c + d) * (a + c) * (b + d);
        double cross = a * d - b * c;
        return margins > 0 ? cross * cross / margins : 0.0;
    });
}

void JaccardDissimilarity(int m, int q, double** X, double** R) {
    dist_detail::BinaryCoefficient(m, q, X, R, [](dist_detail::Joint f) {
        int s = f.a + f.b + f.c;
        return s > 0 ? static_cast<double>(f.b + f.c) / s : 1.0;
    });
}

void JaccardTurnover(int m, int q, double** X, double** R) {
    dist_detail::BinaryCoefficient(m, q, X, R, [](dist_detail::Joint f) {
        int mn = std::min(f.b, f.c);
        int s = f.a + 2 * mn;
        return s > 0 ? 2.0 * mn / s : MISSING;
    });
}

void JaccardNestedness(int m, int q, double** X, double** R) {
    dist_detail::BinaryCoefficient(m, q, X, R, [](dist_detail::Joint f) {
        int mn = std::min(f.b, f.c), mx = std::max(f.b, f.c);
        int s1 = f.a + 2 * mn, s2 = f.a + f.b + f.c;
        if (s1 <= 0 || s2 <= 0) return MISSING;
        return static_cast<double>(mx - mn) / s2 * (static_cast<double>(f.a) / s1);
    });
}

void SorensenDissimilarity(int m, int q, double** X, double** R) {
    dist_detail::BinaryCoefficient(m, q, X, R, [](dist_detail::Joint f) {
        int s = 2 * f.a + f.b + f.c;
        return s > 0 ? static_cast<double>(f.b + f.c) / s : 1.0;
    });
}

void SorensenTurnover(int m, int q, double** X, double** R) {
    dist_detail::BinaryCoefficient(m, q, X, R, [](dist_detail::Joint f) {
        int mn = std::min(f.b, f.c);
        int s = f.a + mn;
        return s > 0 ? static_cast<double>(mn) / s : MISSING;
    });
}

void SorensenNestedness(int m, int q, double** X, double** R) {
    dist_detail::BinaryCoefficient(m, q, X, R, [](dist_detail::Joint f) {
        int mn = std::min(f.b, f.c), mx = std::max(f.b, f.c);
        int s1 = f.a + mn, s2 = 2 * f.a + f.b + f.c;
        if (s1 <= 0 || s2 <= 0) return MISSING;
        return static_cast<double>(mx - mn) / s2 * (static_cast<double>(f.a) / s1);
    });
}

// --- Chord distance over complete tables -----------------------------------------

void ChordDistMV(int m, int q, double** X, double** R) {
    using namespace dist_detail;
    if (!HasMissing(m, q, X)) {
        double** unit = dim2DT<double>(m, q);
        NormalizeRowsMV(m, q, X, unit);
        EucliDistMV(m, q, unit, R);
        free2DT(unit, m);
        return;
    }
    // Each pair is scaled over the attributes it shares.
    for (int i = 0; i < m; i++)
        for (int j = i; j < m; j++) R[i][j] = RootOrZero(ChordDistSq2VecMV(q, X[i], X[j]));
    MirrorUpper(m, R);
}

// --- Gower ---------------------------------------------------------------------------

namespace dist_detail {

// Gower's similarity of two values of one variable: adds its share to the
// numerator and its weight to the denominator. Nothing for a missing value,
// an excluded double absence or a type that does not take part.
inline void GowerTerm(int type, double a, double b, double range, double w, bool doubleAbsence,
                      bool ordinal, double& num, double& den) {
    if (a == MISSING || b == MISSING) return;
    switch (type) {
        case 1:
            if (a == b) {
                if (!doubleAbsence && a == 0.0) return;
                num += w;
            }
            den += w;
            return;
        case 2:
            if (a == b) num += w;
            den += w;
            return;
        case 4:
            if (!ordinal) return;
            [[fallthrough]];
        case 3:
            num += range > 0 ? (1.0 - std::fabs(a - b) / range) * w : w;
            den += w;
            return;
        default:
            return;
    }
}

inline bool RankedType(int type, bool ordinal) { return type == 3 || (ordinal && type == 4); }

// Range of the non-missing values (0 when there are fewer than two).
double RangeMV(int n, const double* x, int stride) {
    bool any = false;
    double lo = 0.0, hi = 0.0;
    for (int i = 0; i < n; i++) {
        double v = x[static_cast<size_t>(i) * stride];
        if (v == MISSING) continue;
        if (!any || v < lo) lo = v;
        if (!any || v > hi) hi = v;
        any = true;
    }
    return hi - lo;
}

void Gower(int m, int q, const int* varType, double** X, double** R, double* ranges,
           const double* weights, bool doubleAbsence, bool ordinal) {
    // A work copy with the ordinal variables replaced by their ranks, stored
    // by rows for the pair loop; the caller's table is not changed.
    std::vector<double> W(static_cast<size_t>(m) * q);
    std::vector<double> column(m), ranks(m);
    for (int k = 0; k < q; k++) {
        for (int i = 0; i < m; i++) column[i] = X[i][k];
        if (ordinal && varType[k] == 4) {
            RankVectorAdjMV(m, column.data(), ranks.data());
            for (int i = 0; i < m; i++) W[static_cast<size_t>(i) * q + k] = ranks[i];
        } else {
            for (int i = 0; i < m; i++) W[static_cast<size_t>(i) * q + k] = column[i];
        }
    }
    std::vector<double> range(q, 0.0), weight(q, 1.0);
    for (int k = 0; k < q; k++) {
        if (RankedType(varType[k], ordinal)) {
            range[k] = RangeMV(m, W.data() + k, q);
            if (ranges) ranges[k] = range[k];
        }
        if (weights) weight[k] = weights[k];
    }
    ForEachTriangleRow(m, q, [&](int i) {
        R[i][i] = 1.0;
        const double* a = W.data() + static_cast<size_t>(i) * q;
        for (int j = i + 1; j < m; j++) {
            const double* b = W.data() + static_cast<size_t>(j) * q;
            double num = 0.0, den = 0.0;
            for (int k = 0; k < q; k++) {
                if (!(weight[k] > 0)) continue;
                GowerTerm(varType[k], a[k], b[k], range[k], weight[k], doubleAbsence, ordinal, num, den);
            }
            // A pair without any comparable variable has no similarity; 0, as
            // in a fresh matrix, rather than whatever the matrix held before.
            R[i][j] = den > 0 ? num / den : 0.0;
            R[j][i] = R[i][j];
        }
    });
}

}  // namespace dist_detail

void GowerMVOpt(int m, int q, const int* varType, double** X, double** R, double* ranges,
                const double* weights, int countDoubleAbsence) {
    dist_detail::Gower(m, q, varType, X, R, ranges, weights, countDoubleAbsence != 0, true);
}

void GowerMV(int m, int q, const int* varType, double** X, double** R, double* ranges,
             const double* weights) {
    dist_detail::Gower(m, q, varType, X, R, ranges, weights, true, false);
}

void GowerMVPartial_dAbsences(int m, int type, const double* x, float** R, double range,
                              double weight, int countDoubleAbsence) {
    using namespace dist_detail;
    std::vector<double> v(x, x + m);
    if (type == 4) RankVectorAdjMV(m, x, v.data());
    for (int i = 0; i < m; i++)
        for (int j = i + 1; j < m; j++) {
            double num = 0.0, den = 0.0;
            GowerTerm(type, v[i], v[j], range, 1.0, countDoubleAbsence != 0, true, num, den);
            R[i][j] = den > 0 ? static_cast<float>(num * weight) : static_cast<float>(MISSING);
        }
}

// --- Multiple-site Sorensen dissimilarity ------------------------------------------

double BetaSOR(int n, int p, double** X, const int* groups, double* out) {
    using namespace dist_detail;
    // Position of each unit's group among the sorted labels (0 for one group).
    int count = 1;
    std::vector<int> position(n > 0 ? n : 0, 0);
    if (groups && n > 0) {
        std::vector<int> labels(n);
        CountGroupsNew(n, groups, count, labels.data());
        for (int i = 0; i < n; i++)
            position[i] = static_cast<int>(std::lower_bound(labels.begin(), labels.begin() + count, groups[i]) -
                                           labels.begin());
    }
    BinaryRows B(n, p, X);
    std::vector<double> sumMin(count, 0.0), sumMax(count, 0.0), si(count, 0.0), st(count, 0.0);
    std::vector<uint64_t> seen(static_cast<size_t>(count) * B.words, 0);  // variables present in a group
    for (int i = 0; i < n; i++) {
        int g = position[i];
        const uint64_t* pi = B.P(i);
        for (int w = 0; w < B.words; w++) {
            si[g] += BitCount(pi[w]);
            seen[static_cast<size_t>(g) * B.words + w] |= pi[w];
        }
        for (int j = i + 1; j < n; j++) {
            if (position[j] != g) continue;
            int bij = 0, bji = 0;
            const uint64_t *ai = B.A(i), *pj = B.P(j), *aj = B.A(j);
            for (int w = 0; w < B.words; w++) {
                bij += BitCount(pi[w] & aj[w]);
                bji += BitCount(pj[w] & ai[w]);
            }
            sumMin[g] += std::min(bij, bji);
            sumMax[g] += std::max(bij, bji);
        }
    }
    for (int g = 0; g < count; g++) {
        for (int w = 0; w < B.words; w++) st[g] += BitCount(seen[static_cast<size_t>(g) * B.words + w]);
        double den = 2.0 * (si[g] - st[g]) + sumMin[g] + sumMax[g];
        double value = den > 0 ? (sumMax[g] + sumMin[g]) / den : MISSING;
        if (!groups) return value;
        out[g] = value;
    }
    return 0.0;
}

// --- Spearman rank correlation ------------------------------------------------------

double Spearman2Vec(int q, const double* x, const double* y) {
    if (q < 2) return 0.0;
    std::vector<double> rx(q), ry(q);
    RankVectorAdj(q, x, rx.data());
    RankVectorAdj(q, y, ry.data());
    double d = 0.0;
    for (int k = 0; k < q; k++) d += (rx[k] - ry[k]) * (rx[k] - ry[k]);
    // q^3 in single precision, as the coefficient has always been computed
    // (exact up to q = 256).
    float n = static_cast<float>(q);
    float cube = n * n * n;
    return 1.0 - 6.0 * d / (static_cast<double>(cube) - q);
}

// --- Mahalanobis ------------------------------------------------------------------

namespace dist_detail {

// The smallest eigenvalue of a correlation matrix, relative to the largest,
// below which the covariance matrix is taken as singular: its inverse would
// carry fewer than about six significant digits, or would not exist.
constexpr double kMahalanobisConditioning = 1e-10;

// Inverse of the covariance matrix V (q x q) into Vi, through the correlation
// matrix so that variables on very different scales do not matter. False
// when a variable is constant or the correlation matrix is singular, nearly
// so, or not positive definite.
bool InverseCovariance(int q, double** V, double** Vi) {
    std::vector<double> sd(q);
    for (int k = 0; k < q; k++) {
        if (!(V[k][k] > 0)) return false;
        sd[k] = std::sqrt(V[k][k]);
    }
    double** C = dim2DT<double>(q, q);
    double** Ci = dim2DT<double>(q, q);
    double** evec = dim2DT<double>(q, q);
    std::vector<double> eig(q);
    for (int k = 0; k < q; k++)
        for (int l = 0; l < q; l++) C[k][l] = V[k][l] / (sd[k] * sd[l]);
    EigenHouseholderQL_GSL_D(q, C, evec, eig.data());
    bool ok = eig[0] > 0 && eig[q - 1] > kMahalanobisConditioning * eig[0] && MatrixInverse(q, q, C, Ci);
    if (ok)
        for (int k = 0; k < q; k++)
            for (int l = 0; l < q; l++) Vi[k][l] = Ci[k][l] / (sd[k] * sd[l]);
    free2DT(C, q);
    free2DT(Ci, q);
    free2DT(evec, q);
    return ok;
}

}  // namespace dist_detail

bool Mahalanobis(int m, int q, double** X, double** R) {
    using namespace dist_detail;
    // The covariance matrix of m units has rank at most m - 1.
    if (q < 1 || m <= q) return false;
    double** T = dim2DT<double>(q, m);
    double** V = dim2DT<double>(q, q);
    double** Vi = dim2DT<double>(q, q);
    TransposeMatrix(m, q, X, T);
    CovarianceMV(q, m, T, V);
    bool ok = InverseCovariance(q, V, Vi);
    if (ok && !HasMissing(m, q, X)) {
        // d' Vi d = (x_i - x_j) . (y_i - y_j) with Y = X Vi: one product of
        // the table instead of one per pair.
        double** Y = dim2DT<double>(m, q);
        MatrixProd(m, q, q, q, X, Vi, Y);
        ForEachTriangleRow(m, 2 * q, [&](int i) {
            R[i][i] = 0.0;
            for (int j = i + 1; j < m; j++) {
                double s = 0.0;
                for (int k = 0; k < q; k++) s += (X[i][k] - X[j][k]) * (Y[i][k] - Y[j][k]);
                R[i][j] = RootOrZero(s);
            }
        });
        free2DT(Y, m);
    } else if (ok) {
        // The difference vector has 0 where either value is missing.
        double** d = dim2DT<double>(q, 1);
        double** u = dim2DT<double>(q, 1);
        std::vector<double> dv(q), uv(q);
        for (int i = 0; i < m; i++) {
            R[i][i] = 0.0;
            for (int j = i + 1; j < m; j++) {
                for (int k = 0; k < q; k++) d[k][0] = dv[k] = PresentDiff(X[i][k], X[j][k]);
                MatrixProdMV(q, q, q, 1, Vi, d, u);
                for (int k = 0; k < q; k++) uv[k] = u[k][0];
                R[i][j] = RootOrZero(VectorProdMV(q, dv.data(), uv.data()));
            }
        }
        free2DT(d, q);
        free2DT(u, q);
    }
    free2DT(T, q);
    free2DT(V, q);
    free2DT(Vi, q);
    return ok;
}

// --- Second eigenvalue of a pair ------------------------------------------------------

void HierFactorialEigen(int q, const double* x, const double* y, double* firstEig,
                        double* secondEig, double* firstVec, double* secondVec) {
    double** M = dim2DT<double>(2, 2);
    double** evec = dim2DT<double>(2, 2);
    double eig[2];
    // All three cross products over the positions where neither is missing.
    std::vector<double> xs(x, x + q), ys(y, y + q);
    for (int k = 0; k < q; k++)
        if (x[k] == MISSING || y[k] == MISSING) xs[k] = ys[k] = MISSING;
    M[0][0] = CrossProduct2VecMV(q, xs.data(), xs.data());
    M[0][1] = M[1][0] = CrossProduct2VecMV(q, xs.data(), ys.data());
    M[1][1] = CrossProduct2VecMV(q, ys.data(), ys.data());
    EigenHouseholderQL_GSL_D(2, M, evec, eig);
    if (secondEig) *secondEig = eig[1];
    if (firstEig) *firstEig = eig[0];
    if (firstVec) firstVec[0] = evec[0][0], firstVec[1] = evec[0][1];
    if (secondVec) secondVec[0] = evec[1][0], secondVec[1] = evec[1][1];
    free2DT(M, 2);
    free2DT(evec, 2);
}

// --- Legendre & Chodorowski ---------------------------------------------------

void LegendreChodorowski(int m, int q, double** X, double** R, const double* weights, double k) {
    for (int i = 0; i < m; i++) {
        R[i][i] = 1.0;
        for (int j = i + 1; j < m; j++) {
            double num = 0.0, den = 0.0;
            for (int v = 0; v < q; v++) {
                double w = weights ? weights[v] : 1.0;
                if (!(w > 0)) continue;
                double x = X[i][v], y = X[j][v];
                if (x == MISSING || y == MISSING) continue;
                if (!(x + y > 0)) continue;
                den += w;
                double diff = std::fabs(x - y);
                if (diff <= k && x * y > 0)
                    num += w * 2.0 * (k + 1.0 - diff) / (2.0 * k + 2.0 + k * diff);
            }
            // The index is kept to single precision, as the stored matrices
            // of this measure always were.
            R[i][j] = den > 0 ? static_cast<double>(static_cast<float>(num / den)) : 0.0;
            R[j][i] = R[i][j];
        }
    }
}

// --- Logarithmic distance ---------------------------------------------------------

void CYD(int m, int q, double** X, double** R) {
    // A zero abundance has no logarithm: it stands for a count below the
    // smallest one observable and is replaced by 0.1. A double zero then adds
    // exactly 0. Missing and negative values take no part.
    auto value = [](double v) { return v == 0.0 ? 0.1 : v; };
    for (int i = 0; i < m; i++) {
        R[i][i] = 0.0;
        for (int j = i + 1; j < m; j++) {
            double sum = 0.0;
            int counted = 0;
            for (int k = 0; k < q; k++) {
                double x0 = X[i][k], y0 = X[j][k];
                if (x0 == MISSING || y0 == MISSING || x0 < 0 || y0 < 0) continue;
                if (x0 >= 1 || y0 >= 1) counted++;
                double x = value(x0), y = value(y0), s = x + y;
                sum += (s * std::log10(s / 2) - x * std::log10(y) - y * std::log10(x)) / s;
            }
            R[i][j] = counted > 0 ? sum / counted : 0.0;
        }
    }
}

void Cleanup(int m, double** R) {
    for (int i = 0; i < m; i++) {
        R[i][i] = 1.0;
        for (int j = 0; j < i; j++) R[i][j] = 0.0;
    }
}
