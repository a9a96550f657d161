// ===========================================================================
// Beals smoothing and its tests
// ===========================================================================

#include "rhlib_M.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <omp.h>

#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace {

inline bool Known(double x) { return x != MISSING; }

// Co-occurrence term of one unit for reference value xa and target value xb
// (both known). Sums of terms run over the units in ascending order and skip
// zero terms only (adding 0 changes nothing), so that every routine below that
// forms the same sum gets the same bits.
inline double Term(int type, double xa, double xb) {
    switch (type) {
    case 0:
        return (xa > 0 && xb > 0) ? 1.0 : 0.0;
    case 1:
        return xb > 0 ? xa : 0.0;
    case 2:
        return xa * xb;
    default:
        return 0.0;
    }
}

inline bool KnownType(int type) { return type >= 0 && type <= 2; }

// Raw sums of the terms of reference a with target t (col[a]) and of a with
// itself (diag[a]), for every a.
void RawColumn(int t, int n, int p, double** X, int type, double* col, double* diag) {
    for (int a = 0; a < p; a++) col[a] = diag[a] = 0.0;
    for (int k = 0; k < n; k++) {
        const double* row = X[k];
        const double xt = row[t];
        for (int a = 0; a < p; a++) {
            const double xa = row[a];
            if (!Known(xa)) continue;
            const double self = Term(type, xa, xa);
            if (self != 0) diag[a] += self;
            if (Known(xt)) {
                const double v = Term(type, xa, xt);
                if (v != 0) col[a] += v;
            }
        }
    }
}

// Conditional value of reference a from its raw sum (types 0 and 1 divide by
// the positive raw diagonal).
inline double Conditional(int type, double raw, double diag) {
    if (type == 0 || type == 1) return diag > 0 ? raw / diag : raw;
    return type == 2 ? raw : 0.0;
}

// Column t of the conditional matrix that the smoothing uses (after the
// diagonal rule of include and the second scaling of normalize).
void ConditionalColumn(int t, int n, int p, double** X, double* col, int type, bool normalize,
                       bool include) {
    if (normalize && KnownType(type)) {
        double** M0 = dim2DT<double>(p, p);
        ConditionalProb(n, p, X, M0, type, true);
        if (!include) {
            for (int a = 0; a < p; a++) M0[a][a] = 0;
            UnitSumRowsAdj(p, p, M0, M0);
        }
        for (int a = 0; a < p; a++) col[a] = M0[a][t];
        free2DT(M0, p);
        return;
    }
    std::vector<double> diag(p);
    RawColumn(t, n, p, X, type, col, diag.data());
    for (int a = 0; a < p; a++)
        if (a != t) col[a] = Conditional(type, col[a], diag[a]);
    col[t] = (type == 0 || type == 1) ? 1.0 : (type == 2 ? diag[t] : 0.0);
    if (!include) col[t] = 0;
}

// The division of the smoothing without include: by 1 - w, 0 where the unit
// holds that taxon alone. A missing cell had no share in the sum: not divided.
inline double WithoutOwnShare(double value, double w) {
    if (!Known(w)) return value;
    if (w == 1) return 0.0;
    return value / (1 - w);
}

// ConditionalProb of the table whose counts M holds (CooccurrenceCounts), in
// place.
void ConditionalOfCounts(int p, double** M, int type, bool normalize) {
    if (!KnownType(type)) return;
    if (type == 0 || type == 1) {
        for (int a = 0; a < p; a++) {
            const double d = M[a][a];
            if (d > 0)
                for (int b = 0; b < p; b++)
                    if (b != a) M[a][b] /= d;
            M[a][a] = 1;
        }
    }
    if (normalize) UnitSumRowsAdj(p, p, M, M);
}

// The smoothing out of test mode of the table whose rows divided by their
// totals W holds, from the counts of the reference table in M0, which it
// takes as its work matrix.
void SmoothWithCounts(int n, int p, double** W, double** M0, double** out, double** M, bool include, int type,
                      bool normalize) {
    ConditionalOfCounts(p, M0, type, normalize);
    if (!include) {
        for (int a = 0; a < p; a++) M0[a][a] = 0;
        if (normalize) UnitSumRowsAdj(p, p, M0, M0);
    }
    MatrixProdMV(n, p, p, p, W, M0, out);
    if (M)
        for (int a = 0; a < p; a++)
            for (int b = 0; b < p; b++) M[a][b] = M0[a][b];
    if (!include)
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++) out[i][j] = WithoutOwnShare(out[i][j], W[i][j]);
}

void OlderSmoothing(int n, int p, double** X, double** out, bool include, double** M0, bool adjust) {
    double** W = dim2DT<double>(n, p);
    UnitSumRowsAdjMV(n, p, W, X);
    if (include) {
        MatrixProdMV(n, p, p, p, W, M0, out);
    } else {
        for (int a = 0; a < p; a++) {
            M0[a][a] = 0;
            if (adjust)
                for (int b = 0; b < p; b++)
                    if (b != a) {
                        double d = 1 - M0[a][b];
                        M0[a][b] /= d == 0 ? 1 : d;
                    }
        }
        for (int i = 0; i < n; i++)
            for (int b = 0; b < p; b++) {
                const double wb = W[i][b];
                if (wb == 1) {
                    out[i][b] = 0;
                    continue;
                }
                const double div = Known(wb) ? 1 - wb : 1.0;
                double s = 0;
                for (int a = 0; a < p; a++)
                    if (Known(W[i][a])) s += W[i][a] / div * M0[a][b];
                out[i][b] = s;
            }
    }
    free2DT(W, n);
}

// ---------------------------------------------------------------------------
// The permutation tests. For taxon t a permutation moves the values of column
// t among the units that take part; the statistic reads only the smoothed
// column t (without the taxon's own value) of the permuted table.
// ---------------------------------------------------------------------------

enum class BealsStatistic { median = 1, mean = 2, correlation = 3 };

// Per-thread work vectors, allocated once per test.
struct BealsBuffers {
    std::vector<double> y;         // the permuted column
    std::vector<double> dot;       // by unit
    std::vector<double> byTaxon;   // conditional values of the permuted column
    std::vector<double> smoothed;  // by unit
    std::vector<int> flagP, flagA;
    int taxon = -1;
    std::vector<int> units;  // the units whose smoothed value the statistic reads
    double** table = nullptr;     // whole-table test: the permuted table
    double** tableOut = nullptr;  // and its smoothing
    int rows = 0;
    explicit BealsBuffers(int n, int p)
        : y(n), dot(n), byTaxon(p), smoothed(n), flagP(n), flagA(n) {}
    ~BealsBuffers() {
        if (table) free2DT(table, rows);
        if (tableOut) free2DT(tableOut, rows);
    }
    BealsBuffers(const BealsBuffers&) = delete;
    BealsBuffers& operator=(const BealsBuffers&) = delete;
};

// What every permutation of one test reads and no thread changes.
//
// For taxon t, the smoothed value of unit i without its own share is
//   dot_i / (the total of the other taxa of unit i),
//   dot_i = sum over a != t of x_ia m_a,  m_a = c_a / d_a,
//   c_a = sum over the units k of f(x_ka) w(y_k),
// y the permuted column t, d_a the raw diagonal (types 0 and 1 divide by it
// when positive), f(x) = [x > 0] for type 0 and x otherwise, w(y) = [y > 0]
// for types 0 and 1 and y for type 2. Without normalisation dot_i is linear
// in w:
//   dot_i = sum over k of w(y_k) K[k][i] - x_it c_t / d_t,
//   K[k][i] = sum over every a of x_ia f(x_ka) / d_a,
// so a permutation costs one pass over the units where w is non-zero instead
// of one over every known value. K is n x n and takes a pass over the pairs
// of units sharing each taxon to build: it pays only while the units are no
// more than the taxa. Otherwise, and with normalisation, m is formed taxon by
// taxon from c; with normalisation m_a is also divided by the sum of row a of
// the conditional matrix without its diagonal, which depends on c_a.
class BealsModel {
public:
    BealsModel(int n, int p, double** X, int type, bool normalize)
        : n_(n), p_(p), type_(type), X_(X), diag_(p, 0.0), rowTotal_(n, 0.0) {
        for (int k = 0; k < n; k++)
            for (int a = 0; a < p; a++) {
                const double x = X[k][a];
                if (!Known(x)) continue;
                rowTotal_[k] += x;
                const double self = Term(type, x, x);
                if (self != 0) diag_[a] += self;
            }
        if (!KnownType(type)) return;  // nothing is counted: every value is 0
        if (!normalize && n <= p) {
            K_ = dim2DT<double>(n, n);
            std::vector<int> units;
            for (int a = 0; a < p; a++) {
                units.clear();
                for (int k = 0; k < n; k++)
                    if (Known(X[k][a]) && X[k][a] != 0) units.push_back(k);
                for (int k : units) {
                    const double f = F(X[k][a]);
                    if (f == 0) continue;
                    const double coef = f / Divisor(diag_[a]);
                    double* Kk = K_[k];
                    for (int i : units) Kk[i] += X[i][a] * coef;
                }
            }
            return;
        }
        start_.assign(n + 1, 0);
        for (int k = 0; k < n; k++) {
            for (int a = 0; a < p; a++) {
                const double x = X[k][a];
                if (!Known(x) || x == 0) continue;
                col_.push_back(a);
                val_.push_back(x);
            }
            start_[k + 1] = static_cast<int>(col_.size());
        }
        sparse_ = true;
        if (!normalize) return;
        // Each reference taxon's sum of conditional values over the other
        // targets, for the second scaling.
        G_ = dim2DT<double>(p, p);
        ConditionalProb(n, p, X, G_, type, false);
        rowSum_.assign(p, 0.0L);
        for (int a = 0; a < p; a++) {
            G_[a][a] = 0;
            for (int b = 0; b < p; b++) rowSum_[a] += G_[a][b];
        }
    }
    ~BealsModel() {
        if (K_) free2DT(K_, n_);
        if (G_) free2DT(G_, p_);
    }
    BealsModel(const BealsModel&) = delete;
    BealsModel& operator=(const BealsModel&) = delete;

    // Smoothed values of taxon t without its own share, for the units of
    // b.units, in the table whose column t is X[list[k] - 1][t] (b.y holds
    // that column afterwards; b.smoothed the values).
    void Column(int t, const int* list, BealsBuffers& b) const {
        double* y = b.y.data();
        for (int k = 0; k < n_; k++) y[k] = X_[list[k] - 1][t];
        double* dot = b.dot.data();
        std::fill(dot, dot + n_, 0.0);
        if (K_) {
            double ct = 0;
            for (int k = 0; k < n_; k++) {
                const double w = W(y[k]);
                if (w == 0) continue;
                const double* Kk = K_[k];
                for (int i = 0; i < n_; i++) dot[i] += w * Kk[i];
                if (Known(X_[k][t])) ct += F(X_[k][t]) * w;
            }
            const double mt = ct / Divisor(diag_[t]);
            for (int i : b.units)
                if (Known(X_[i][t])) dot[i] -= X_[i][t] * mt;
        } else if (sparse_) {
            double* c = b.byTaxon.data();
            std::fill(c, c + p_, 0.0);
            for (int k = 0; k < n_; k++) {
                const double w = W(y[k]);
                if (w == 0) continue;
                for (int e = start_[k]; e < start_[k + 1]; e++) c[col_[e]] += F(val_[e]) * w;
            }
            for (int a = 0; a < p_; a++) {
                const double g = c[a] / Divisor(diag_[a]);
                if (!G_) {
                    c[a] = g;
                    continue;
                }
                const double s = static_cast<double>(rowSum_[a] - G_[a][t] + g);
                c[a] = g / (s == 0 ? 1.0 : s);
            }
            c[t] = 0;
            for (int i : b.units) {
                // Four partial sums, so that the additions need not wait on
                // one another.
                double d[4] = {0, 0, 0, 0};
                const int end = start_[i + 1];
                int e = start_[i];
                for (; e + 4 <= end; e += 4)
                    for (int u = 0; u < 4; u++) d[u] += val_[e + u] * c[col_[e + u]];
                for (; e < end; e++) d[0] += val_[e] * c[col_[e]];
                dot[i] = (d[0] + d[1]) + (d[2] + d[3]);
            }
        }
        for (int i : b.units) {
            const double other = rowTotal_[i] - (Known(X_[i][t]) ? X_[i][t] : 0.0);
            // (dot / total) / (1 - y / total) is dot over the total of the
            // other taxa: one rounding instead of three.
            if (other + y[i] == 0)
                b.smoothed[i] = WithoutOwnShare(dot[i], y[i]);  // a zero total counts as 1
            else
                b.smoothed[i] = other == 0 ? 0.0 : dot[i] / other;
        }
    }

private:
    double F(double x) const { return type_ == 0 ? (x > 0 ? 1.0 : 0.0) : x; }
    double W(double y) const {
        if (!Known(y)) return 0.0;
        return type_ == 2 ? y : (y > 0 ? 1.0 : 0.0);
    }
    double Divisor(double d) const { return (type_ == 0 || type_ == 1) && d > 0 ? d : 1.0; }

    int n_, p_, type_;
    double** X_;
    std::vector<double> diag_;      // raw diagonal of the conditional matrix
    std::vector<double> rowTotal_;  // of the known values of each unit
    double** K_ = nullptr;          // without normalisation, no more units than taxa
    bool sparse_ = false;           // otherwise: m taxon by taxon from
    std::vector<int> start_, col_;  // the non-zero known values, row by row
    std::vector<double> val_;
    double** G_ = nullptr;          // with normalisation: conditional values, zero diagonal
    std::vector<long double> rowSum_;
};

// The statistic of taxon t from b.smoothed, with presence read from b.y.
double Statistic(BealsStatistic s, int n, BealsBuffers& b, int nPres, int nAbs, const int* take) {
    if (s == BealsStatistic::correlation)
        return Correlation2VecSelectMV(n, b.y.data(), b.smoothed.data(), take);
    if (s == BealsStatistic::mean) {
        double sumP = 0, sumA = 0;
        for (int i : b.units) {
            if (b.y[i] > 0)
                sumP += b.smoothed[i];
            else if (b.y[i] == 0)
                sumA += b.smoothed[i];
        }
        return sumP / nPres - sumA / nAbs;
    }
    std::fill(b.flagP.begin(), b.flagP.end(), 0);
    std::fill(b.flagA.begin(), b.flagA.end(), 0);
    for (int i : b.units) {
        if (b.y[i] > 0) b.flagP[i] = 1;
        if (b.y[i] == 0) b.flagA[i] = 1;
    }
    return Median(n, b.smoothed.data(), b.flagP.data()) - Median(n, b.smoothed.data(), b.flagA.data());
}

enum class Smoothing { column, wholeTable };

// Algorithm shared by the three tests. The lists of one taxon are drawn by one
// thread in the one-thread order (taxon after taxon, permutation after
// permutation) while the team evaluates the previous taxon's lists.
void RunBealsTest(int n, int p, int nPerm, double** X, double* stat, double* prob, int type,
                  bool normalize, BealsStatistic statistic, Smoothing smoothing) {
    if (n <= 0 || p <= 0) return;
    if (nPerm < 1) nPerm = 1;

    // Units that take part: known value and a non-zero smoothed value with
    // the taxon's own value included.
    double** S1 = dim2DT<double>(n, p);
    BealsSmoothing(n, p, X, X, S1, false, 0, nullptr, true, type, normalize);
    std::vector<int> take(static_cast<size_t>(p) * n);
    std::vector<int> nPres(p, 0), nAbs(p, 0);
    std::vector<char> testable(p, 0);
    for (int t = 0; t < p; t++) {
        int* tk = &take[static_cast<size_t>(t) * n];
        double lo = 0, hi = 0;
        int nTake = 0;
        for (int i = 0; i < n; i++) {
            const double x = X[i][t];
            tk[i] = Known(x) && !AlmostEqual2sComplement(S1[i][t], 0, 1);
            if (Known(x) && x > 0) nPres[t]++;
            if (x == 0) nAbs[t]++;
            if (tk[i]) {
                if (nTake == 0 || x < lo) lo = x;
                if (nTake == 0 || x > hi) hi = x;
                nTake++;
            }
        }
        testable[t] = statistic == BealsStatistic::correlation ? (nTake >= 2 && lo < hi)
                                                               : (nPres[t] > 0 && nAbs[t] > 0);
    }
    free2DT(S1, n);

    std::unique_ptr<BealsModel> model;
    double** S2 = nullptr;
    if (smoothing == Smoothing::column) {
        model.reset(new BealsModel(n, p, X, type, normalize));
    } else {
        S2 = dim2DT<double>(n, p);
        BealsSmoothing(n, p, X, X, S2, false, 0, nullptr, false, type, normalize);
    }

    const int nThreads = std::max(1, omp_get_max_threads());
    std::vector<std::unique_ptr<BealsBuffers>> buffers;
    for (int k = 0; k < nThreads; k++) {
        buffers.emplace_back(new BealsBuffers(n, p));
        if (smoothing == Smoothing::wholeTable) {
            BealsBuffers& b = *buffers.back();
            b.rows = n;
            b.table = dim2DT<double>(n, p);
            b.tableOut = dim2DT<double>(n, p);
            for (int i = 0; i < n; i++)
                for (int a = 0; a < p; a++) b.table[i][a] = X[i][a];
        }
    }

    // Prepares b for taxon t (its units; the whole-table buffer gets back the
    // column of the taxon it held before).
    auto forTaxon = [&](BealsBuffers& b, int t) {
        if (b.taxon == t) return;
        if (b.table && b.taxon >= 0)
            for (int i = 0; i < n; i++) b.table[i][b.taxon] = X[i][b.taxon];
        b.taxon = t;
        b.units.clear();
        const int* tk = &take[static_cast<size_t>(t) * n];
        for (int i = 0; i < n; i++) {
            const double x = X[i][t];
            // Presence and absence follow the permuted values, so every unit
            // whose value may move or count is evaluated.
            if (statistic == BealsStatistic::correlation ? tk[i] == 1 : Known(x))
                b.units.push_back(i);
        }
    };
    // The statistic of taxon t in the table permuted by list.
    auto evaluate = [&](int t, const int* list, BealsBuffers& b) {
        forTaxon(b, t);
        const int* tk = &take[static_cast<size_t>(t) * n];
        if (model) {
            model->Column(t, list, b);
        } else {
            for (int i = 0; i < n; i++) b.y[i] = b.table[i][t] = X[list[i] - 1][t];
            BealsSmoothing(n, p, b.table, b.table, b.tableOut, false, 0, nullptr, false, type,
                           normalize);
            for (int i : b.units) b.smoothed[i] = b.tableOut[i][t];
        }
        return Statistic(statistic, n, b, nPres[t], nAbs[t], tk);
    };

    // Observed statistics: the same computation on the unpermuted table, so
    // that a permutation leaving the column as it was gives the very same
    // value (whole-table test: from the smoothing of X).
    std::vector<int> identity(n);
    for (int i = 0; i < n; i++) identity[i] = i + 1;
#pragma omp parallel for schedule(dynamic, 1)
    for (int t = 0; t < p; t++) {
        BealsBuffers& b = *buffers[omp_get_thread_num()];
        stat[t] = MISSING;
        prob[t] = 1.0;
        if (!testable[t]) continue;
        if (model) {
            stat[t] = evaluate(t, identity.data(), b);
        } else {
            forTaxon(b, t);
            for (int i = 0; i < n; i++) b.y[i] = X[i][t];
            for (int i : b.units) b.smoothed[i] = S2[i][t];
            stat[t] = Statistic(statistic, n, b, nPres[t], nAbs[t], &take[static_cast<size_t>(t) * n]);
        }
    }
    if (S2) free2DT(S2, n);

    // Permutations 2..nPerm of each taxon, taxon after taxon: item k is
    // permutation k % nRandom + 2 of taxon k / nRandom. Blocks hold the lists
    // of at most 2^20 units.
    const int nRandom = nPerm - 1;
    const long long nItems = static_cast<long long>(p) * nRandom;
    const long long chunk = std::max(1, (1 << 20) / n);
    const int nBlocks = static_cast<int>((nItems + chunk - 1) / chunk);
    std::vector<int> count(p, 1);

    RunDrawnBlocks(
        nBlocks,
        [&](int blk, std::vector<int>& store) {
            const long long first = blk * chunk;
            const int items = static_cast<int>(std::min(chunk, nItems - first));
            store.resize(static_cast<size_t>(items) * n);
            for (int q = 0; q < items; q++) {
                const int t = static_cast<int>((first + q) / nRandom);
                int* list = &store[static_cast<size_t>(q) * n];
                for (int i = 0; i < n; i++) list[i] = i + 1;
                RndListSelect(n, list, &take[static_cast<size_t>(t) * n]);
            }
            return items;
        },
        [&](int blk, int q, const std::vector<int>& store, int thread) {
            const long long item = blk * chunk + q;
            const int t = static_cast<int>(item / nRandom);
            if (!testable[t]) return;
            char text[96];
            snprintf(text, sizeof text, "Taxon: %d %d Permutation: %d %d", p, t + 1, nPerm,
                     static_cast<int>(item % nRandom) + 2);
            HandleEventInfoWhere2(text);
            double s = evaluate(t, &store[static_cast<size_t>(q) * n], *buffers[thread]);
            if (IsLargerThanOrEqual(s, stat[t], 1, false)) {
#pragma omp atomic
                count[t]++;
            }
        });

    for (int t = 0; t < p; t++)
        if (testable[t]) prob[t] = static_cast<double>(count[t]) / nPerm;
}

}  // namespace

void CooccurrenceCounts(int n, int p, double** X, double** C, int type) {
    for (int a = 0; a < p; a++)
        for (int b = 0; b < p; b++) C[a][b] = 0;
    if (!KnownType(type)) return;
    std::vector<int> pos, nz;
    for (int k = 0; k < n; k++) {
        const double* row = X[k];
        pos.clear();
        nz.clear();
        for (int a = 0; a < p; a++) {
            const double x = row[a];
            if (!Known(x) || x == 0) continue;
            nz.push_back(a);
            if (x > 0) pos.push_back(a);
        }
        // Only non-zero terms are added (see Term).
        if (type == 0) {
            for (int a : pos)
                for (int b : pos) C[a][b] += 1.0;
        } else if (type == 1) {
            for (int a : nz)
                for (int b : pos) C[a][b] += row[a];
        } else {
            for (int a : nz)
                for (int b : nz) C[a][b] += row[a] * row[b];
        }
    }
}

void ConditionalProb(int n, int p, double** X, double** M, int type, bool normalize) {
    CooccurrenceCounts(n, p, X, M, type);
    ConditionalOfCounts(p, M, type, normalize);
}

void ConditionalProb(int n, int p, double** X, double** M, int type) {
    ConditionalProb(n, p, X, M, type, type == 2);
}

void ConditionalProb(int n, int p, double** X, double** M) { ConditionalProb(n, p, X, M, 1, false); }

void ConditionalProb(int taxon, int n, int p, double** X, double** M, int type, bool normalize) {
    if (taxon < 0 || taxon >= p) return;
    if (normalize && KnownType(type)) {
        ConditionalProb(n, p, X, M, type, true);
        return;
    }
    std::vector<double> row(p, 0.0), col(p), diag(p);
    RawColumn(taxon, n, p, X, type, col.data(), diag.data());
    for (int k = 0; k < n; k++) {
        const double xt = X[k][taxon];
        if (!Known(xt)) continue;
        for (int b = 0; b < p; b++) {
            const double xb = X[k][b];
            if (!Known(xb)) continue;
            const double v = Term(type, xt, xb);
            if (v != 0) row[b] += v;
        }
    }
    for (int a = 0; a < p; a++) {
        if (a == taxon) continue;
        M[taxon][a] = Conditional(type, row[a], diag[taxon]);
        M[a][taxon] = Conditional(type, col[a], diag[a]);
    }
    for (int a = 0; a < p; a++) M[a][a] = (type == 0 || type == 1) ? 1.0 : (type == 2 ? diag[a] : 0.0);
}

void ConditionalProb(int taxon, int n, int p, double** X, double** M, int type) {
    ConditionalProb(taxon, n, p, X, M, type, type == 2);
}

void BealsSmoothing(int n, int p, double** X, double** Xref, double** out, bool testMode, int taxon,
                    double** M, bool include, int type, bool normalize) {
    if (n <= 0 || p <= 0) return;
    double** W = dim2DT<double>(n, p);
    UnitSumRowsAdjMV(n, p, W, X);
    if (testMode) {
        if (taxon >= 0 && taxon < p) {
            std::vector<double> col(p);
            ConditionalColumn(taxon, n, p, Xref, col.data(), type, normalize, include);
            for (int i = 0; i < n; i++) {
                double s = 0;
                bool any = false;
                for (int a = 0; a < p; a++)
                    if (Known(W[i][a]) && Known(col[a])) {
                        s += W[i][a] * col[a];
                        any = true;
                    }
                double v = any ? s : MISSING;
                out[i][taxon] = include ? v : WithoutOwnShare(v, W[i][taxon]);
            }
        }
        free2DT(W, n);
        return;
    }
    double** M0 = dim2DT<double>(p, p);
    CooccurrenceCounts(n, p, Xref, M0, type);
    SmoothWithCounts(n, p, W, M0, out, M, include, type, normalize);
    free2DT(M0, p);
    free2DT(W, n);
}

void BealsSmoothingOfCounts(int n, int p, double** X, double** C, double** out, double** M, bool include, int type,
                            bool normalize) {
    if (n <= 0 || p <= 0) return;
    double** W = dim2DT<double>(n, p);
    UnitSumRowsAdjMV(n, p, W, X);
    double** M0 = dim2DT<double>(p, p);
    for (int a = 0; a < p; a++) std::copy(C[a], C[a] + p, M0[a]);
    SmoothWithCounts(n, p, W, M0, out, M, include, type, normalize);
    free2DT(M0, p);
    free2DT(W, n);
}

void BealsSmoothing(int n, int p, double** X, double** Xref, double** out, bool testMode, int taxon,
                    double** M, bool include, int type) {
    BealsSmoothing(n, p, X, Xref, out, testMode, taxon, M, include, type, type == 2);
}

void BealsSmoothing(int n, int p, double** X, double** Xref, double** out, bool include) {
    if (n <= 0 || p <= 0) return;
    double** M0 = dim2DT<double>(p, p);
    ConditionalProb(n, p, Xref, M0);
    OlderSmoothing(n, p, X, out, include, M0, false);
    free2DT(M0, p);
}

void BealsSmoothing(int n, int p, double** X, double** Xref, double** out, bool include, int type) {
    if (n <= 0 || p <= 0) return;
    double** M0 = dim2DT<double>(p, p);
    ConditionalProb(n, p, Xref, M0, type);
    OlderSmoothing(n, p, X, out, include, M0, type == 2);
    free2DT(M0, p);
}

void BealsSmoothing(int n, int p, double** X, double** Xref, double** out, bool include, int type,
                    bool normalize) {
    if (n <= 0 || p <= 0) return;
    double** M0 = dim2DT<double>(p, p);
    ConditionalProb(n, p, Xref, M0, type, normalize);
    OlderSmoothing(n, p, X, out, include, M0, normalize);
    free2DT(M0, p);
}

void BealsTest_Partial(int n, int p, int nPerm, double** X, double* stat, double* prob, int type,
                       bool normalize, int statistic) {
    if (statistic != 1 && statistic != 2) {
        // No such statistic: nothing can be tested.
        for (int t = 0; t < p; t++) stat[t] = MISSING, prob[t] = 1.0;
        return;
    }
    RunBealsTest(n, p, nPerm, X, stat, prob, type, normalize,
                 statistic == 1 ? BealsStatistic::median : BealsStatistic::mean, Smoothing::column);
}

void BealsTest_Partial(int n, int p, int nPerm, double** X, double* stat, double* prob, int type) {
    BealsTest_Partial(n, p, nPerm, X, stat, prob, type, type == 2, 2);
}

void BealsTest(int n, int p, int nPerm, double** X, double* stat, double* prob, int type) {
    RunBealsTest(n, p, nPerm, X, stat, prob, type, type == 2, BealsStatistic::mean,
                 Smoothing::wholeTable);
}

void BealsTestBSA(int n, int p, int nPerm, double** X, double* stat, double* prob, int type) {
    RunBealsTest(n, p, nPerm, X, stat, prob, type, type == 2, BealsStatistic::correlation,
                 Smoothing::column);
}
