#include "rhlibRes_M.h"

// ===========================================================================
// Descriptive statistics, standardisations and ranks
// ===========================================================================

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include <gsl/gsl_sort.h>
#include <gsl/gsl_statistics_double.h>

#include "nrutilRH.h"
#include "rhlibDim.h"

namespace statsdetail {

inline bool Missing(double x) { return x == MISSING; }

// The divisor rule of the library: a divisor of 0 becomes 1.
inline double NonZero(double d) { return d == 0.0 ? 1.0 : d; }

// The norm rule: the square root of a sum of squares, 1 when the sum is not
// positive.
inline double NormOf(double sumSquares) { return sumSquares > 0.0 ? std::sqrt(sumSquares) : 1.0; }

bool HasMissing(int n, int m, double** X) {
    for (int i = 0; i < n; i++) {
        const double* x = X[i];
        for (int k = 0; k < m; k++)
            if (Missing(x[k])) return true;
    }
    return false;
}

void MirrorUpper(int n, double** R) {
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) R[j][i] = R[i][j];
}

// Plain dot product, and the one that leaves out pairs with a missing value.
inline double Dot(int m, const double* a, const double* b) {
    double s = 0.0;
    for (int k = 0; k < m; k++) s += a[k] * b[k];
    return s;
}
inline double DotMV(int m, const double* a, const double* b) {
    double s = 0.0;
    for (int k = 0; k < m; k++)
        if (!Missing(a[k]) && !Missing(b[k])) s += a[k] * b[k];
    return s;
}
// Dot product of a and b over the positions where neither maskA nor maskB
// holds a missing value (the masks are the original data, so a derived value
// that happens to equal -999 is not taken for a missing one).
inline double DotMasked(int m, const double* a, const double* b, const double* maskA,
                        const double* maskB) {
    double s = 0.0;
    for (int k = 0; k < m; k++)
        if (!Missing(maskA[k]) && !Missing(maskB[k])) s += a[k] * b[k];
    return s;
}

// A contiguous n x m work matrix (one allocation, rows in sequence).
struct Block {
    int rows, cols;
    std::vector<double> v;
    Block(int r, int c) : rows(r), cols(c), v(static_cast<size_t>(r) * static_cast<size_t>(c)) {}
    double* operator[](int i) { return v.data() + static_cast<size_t>(i) * static_cast<size_t>(cols); }
};

// Each row of X centred on its mean and divided by its norm (complete data)
// into Z; with masks, missing cells take no part and are left as they are.
void CenterNormalizeRow(int m, const double* x, double* z, bool skipMissing) {
    double s = 0.0;
    int k = 0;
    for (int c = 0; c < m; c++)
        if (!skipMissing || !Missing(x[c])) {
            s += x[c];
            k++;
        }
    const double mean = k > 0 ? s / k : 0.0;
    double q = 0.0;
    for (int c = 0; c < m; c++)
        if (!skipMissing || !Missing(x[c])) {
            z[c] = x[c] - mean;
            q += z[c] * z[c];
        } else {
            z[c] = x[c];
        }
    const double norm = NormOf(q);
    for (int c = 0; c < m; c++)
        if (!skipMissing || !Missing(x[c])) z[c] /= norm;
}

// Ranks (ties averaged) of values[0..k-1] into ranks[0..k-1], through sort2
// and crank on 1-based copies. ranks may be values.
void RankValues(size_t k, const double* values, double* ranks) {
    if (k == 0) return;
    const long top = static_cast<long>(k);
    double* w = dvector(1, top);
    double* where = dvector(1, top);
    for (size_t i = 0; i < k; i++) {
        w[i + 1] = values[i];
        where[i + 1] = static_cast<double>(i);
    }
    sort2(k, w, where);
    double s;
    crank(k, w, &s);
    for (size_t i = 1; i <= k; i++) ranks[static_cast<size_t>(where[i])] = w[i];
    free_dvector(where, 1, top);
    free_dvector(w, 1, top);
}

// Position (0-based) of each label among the sorted distinct labels; returns
// the number of distinct labels.
int GroupPositions(int n, const int* groups, std::vector<int>& pos) {
    std::vector<int> distinct(groups, groups + (n > 0 ? n : 0));
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    pos.resize(n > 0 ? n : 0);
    for (int i = 0; i < n; i++)
        pos[i] = static_cast<int>(std::lower_bound(distinct.begin(), distinct.end(), groups[i]) -
                                  distinct.begin());
    return static_cast<int>(distinct.size());
}

}  // namespace statsdetail

using statsdetail::Missing;
using statsdetail::NonZero;
using statsdetail::NormOf;

// --- Descriptive statistics -------------------------------------------------

double Mean(int n, const double* x) {
    if (n <= 0) return 0.0;
    double s = 0.0;
    for (int i = 0; i < n; i++) s += x[i];
    return s / n;
}

void MeanVectorRows(int n, int m, double** X, double* means) {
    for (int i = 0; i < n; i++) means[i] = Mean(m, X[i]);
}

void MeanVectorCols(int n, int m, double** X, double* means) {
    std::vector<double> s(m > 0 ? m : 0, 0.0);
    for (int i = 0; i < n; i++) {
        const double* x = X[i];
        for (int j = 0; j < m; j++) s[j] += x[j];
    }
    for (int j = 0; j < m; j++) means[j] = n > 0 ? s[j] / n : 0.0;
}

void MeanStDev(int n, const double* x, double& mean, double& sd) {
    double s = 0.0, q = 0.0;
    for (int i = 0; i < n; i++) {
        s += x[i];
        q += x[i] * x[i];
    }
    if (n <= 0) {
        mean = sd = 0.0;
        return;
    }
    mean = s / n;
    // Rounding can leave the one-pass sum of squares of a constant vector a
    // hair below 0: its deviation is 0, not the root of a negative number.
    const double v = (q - s * s / n) / NonZero(n - 1);
    sd = v > 0.0 ? std::sqrt(v) : 0.0;
}

double Median(int n, const double* x, const int* select) {
    if (n <= 0) return 0.0;
    std::vector<double> copy(x, x + n);
    size_t kept = 0;
    for (int i = 0; i < n; i++) {
        if (Missing(copy[i]) || (select != nullptr && select[i] != 1))
            copy[i] = DBL_MAX;
        else
            kept++;
    }
    gsl_sort(copy.data(), 1, static_cast<size_t>(n));
    if (kept == 0) return 0.0;
    return gsl_stats_median_from_sorted_data(copy.data(), 1, kept);
}

double Moment(int n, const double* x, int k) {
    if (n <= 0) return 0.0;
    const double mean = Mean(n, x);
    double s = 0.0;
    for (int i = 0; i < n; i++) s += std::pow(x[i] - mean, k);
    return s / n;
}

double SumOfSquares(int n, const double* x) {
    double q = 0.0;
    for (int i = 0; i < n; i++)
        if (!Missing(x[i])) q += x[i] * x[i];
    return q;
}

double SumOfSquares(int n, const float* x) {
    double q = 0.0;
    for (int i = 0; i < n; i++)
        if (x[i] != static_cast<float>(MISSING)) q += static_cast<double>(x[i]) * x[i];
    return q;
}

namespace statsdetail {
// Count, sum and sum of squares of the non-missing values.
inline void Sums(int n, const double* x, int& k, double& s, double& q) {
    k = 0;
    s = q = 0.0;
    for (int i = 0; i < n; i++)
        if (!Missing(x[i])) {
            k++;
            s += x[i];
            q += x[i] * x[i];
        }
}
}  // namespace statsdetail

double SumOfSquaresDev(int n, const double* x) {
    int k;
    double s, q;
    statsdetail::Sums(n, x, k, s, q);
    return k > 0 ? q - s * s / k : 0.0;
}

double Variance(int n, const double* x) {
    int k;
    double s, q;
    statsdetail::Sums(n, x, k, s, q);
    return k > 0 ? (q - s * s / k) / NonZero(k - 1) : 0.0;
}

double Range(int n, const double* x) {
    double mx = 0.0, mn = DBL_MAX;
    for (int i = 0; i < n; i++) {
        if (x[i] > mx) mx = x[i];
        if (x[i] < mn) mn = x[i];
    }
    return mx - mn;
}

double MatrixMax(int n, int m, double** X) {
    double mx = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++)
            if (X[i][j] > mx) mx = X[i][j];
    return mx;
}

void MatrixUnitMaxTransf(int n, int m, double** X, double** Y) {
    const double mx = MatrixMax(n, m, X);
    if (!(mx > 0.0)) return;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) Y[i][j] = X[i][j] / mx;
}

void MatrixUnitMaxTransf3D(int a, int b, int c, double*** X, double*** Y) {
    double mx = 0.0;
    for (int i = 0; i < a; i++)
        for (int j = 0; j < b; j++)
            for (int k = 0; k < c; k++)
                if (X[i][j][k] > mx) mx = X[i][j][k];
    const double d = mx > 0.0 ? mx : 1.0;
    for (int i = 0; i < a; i++)
        for (int j = 0; j < b; j++)
            for (int k = 0; k < c; k++) Y[i][j][k] = X[i][j][k] / d;
}

double MatrixVarianceRows(int n, int m, double** X) {
    double t = 0.0;
    for (int i = 0; i < n; i++) t += Variance(m, X[i]);
    return t;
}

double MatrixVarianceCols(int n, int m, double** X) {
    std::vector<int> k(m > 0 ? m : 0, 0);
    std::vector<double> s(k.size(), 0.0), q(k.size(), 0.0);
    for (int i = 0; i < n; i++) {
        const double* x = X[i];
        for (int j = 0; j < m; j++)
            if (!Missing(x[j])) {
                k[j]++;
                s[j] += x[j];
                q[j] += x[j] * x[j];
            }
    }
    double t = 0.0;
    for (int j = 0; j < m; j++)
        if (k[j] > 0) t += (q[j] - s[j] * s[j] / k[j]) / NonZero(k[j] - 1);
    return t;
}

// --- Cross-products, covariances and correlations ----------------------------

void CrossProductMV(int n, int m, double** X, double** R) {
    const bool missing = statsdetail::HasMissing(n, m, X);
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++)
            R[i][j] = missing ? statsdetail::DotMV(m, X[i], X[j]) : statsdetail::Dot(m, X[i], X[j]);
    statsdetail::MirrorUpper(n, R);
}

void CrossProductMVSelect(int n, int m, double** X, double** R, const int* select) {
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++)
            if (select[j] != 0) R[i][j] = statsdetail::DotMV(m, X[i], X[j]);
}

void CrossProductMVPartial(int n, int m, double** X, double*** P) {
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) {
            const double* a = X[i];
            const double* b = X[j];
            double* p = P[i][j];
            for (int k = 0; k < m; k++) p[k] = (Missing(a[k]) || Missing(b[k])) ? MISSING : a[k] * b[k];
        }
}

void CrossProductMVSum(int n, int m, double*** P, double** R, const int* select) {
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) {
            const double* p = P[i][j];
            double s = 0.0;
            for (int k = 0; k < m; k++)
                if (select[k] == 1 && !Missing(p[k])) s += p[k];
            R[i][j] = s;
        }
}

void CrossProductNeighbours(int n, int m, double** X, double** R, int lag) {
    for (int i = 0; i < n - lag; i++) {
        R[i][i + lag] = statsdetail::Dot(m, X[i], X[i + lag]);
        R[i][i] = statsdetail::Dot(m, X[i], X[i]);
    }
}

double CrossProduct2Vec(int n, const double* x, const double* y) { return statsdetail::Dot(n, x, y); }

double CrossProduct2VecMV(int n, const double* x, const double* y) { return statsdetail::DotMV(n, x, y); }

double CenteredCrossProduct2Vec(int n, const double* x, const double* y) {
    const double mx = Mean(n, x), my = Mean(n, y);
    double s = 0.0;
    for (int i = 0; i < n; i++) s += (x[i] - mx) * (y[i] - my);
    return s;
}

void CenterVector(int n, const double* x, double* y) {
    const double mx = Mean(n, x);
    for (int i = 0; i < n; i++) y[i] = x[i] - mx;
}

void Covariance(int n, int m, double** X, double** R) {
    statsdetail::Block c(n, m);
    for (int i = 0; i < n; i++) {
        const double mean = Mean(m, X[i]);
        double* ci = c[i];
        for (int k = 0; k < m; k++) ci[k] = X[i][k] - mean;
    }
    const double d = NonZero(m - 1);
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) R[i][j] = statsdetail::Dot(m, c[i], c[j]) / d;
}

double Covariance2VecMV(int n, const double* x, const double* y) {
    int k = 0;
    double sx = 0.0, sy = 0.0;
    for (int i = 0; i < n; i++)
        if (!Missing(x[i]) && !Missing(y[i])) {
            k++;
            sx += x[i];
            sy += y[i];
        }
    if (k == 0) return 0.0;
    const double mx = sx / k, my = sy / k, d = NonZero(k - 1);
    double s = 0.0;
    for (int i = 0; i < n; i++)
        if (!Missing(x[i]) && !Missing(y[i])) s += (x[i] - mx) * (y[i] - my) / d;
    return s;
}

void CovarianceMV(int n, int m, double** X, double** R) {
    if (!statsdetail::HasMissing(n, m, X)) {
        // Rows centred and divided by sqrt(m - 1): their cross-products are
        // the covariances.
        statsdetail::Block c(n, m);
        const double d = std::sqrt(NonZero(m - 1));
        for (int i = 0; i < n; i++) {
            const double mean = Mean(m, X[i]);
            double* ci = c[i];
            for (int k = 0; k < m; k++) ci[k] = (X[i][k] - mean) / d;
        }
        for (int i = 0; i < n; i++)
            for (int j = i; j < n; j++) R[i][j] = statsdetail::Dot(m, c[i], c[j]);
        statsdetail::MirrorUpper(n, R);
        return;
    }
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) R[i][j] = R[j][i] = Covariance2VecMV(m, X[i], X[j]);
}

namespace statsdetail {
template <class T>
double CorrelationPairs(int n, const T* x, const double* y, const int* select) {
    auto keep = [&](int i) {
        return !Missing(static_cast<double>(x[i])) && !Missing(y[i]) &&
               (select == nullptr || select[i] == 1);
    };
    int k = 0;
    double sx = 0.0, sy = 0.0;
    for (int i = 0; i < n; i++)
        if (keep(i)) {
            k++;
            sx += x[i];
            sy += y[i];
        }
    if (k == 0) return 0.0;
    const double mx = sx / k, my = sy / k;
    double qx = 0.0, qy = 0.0;
    for (int i = 0; i < n; i++)
        if (keep(i)) {
            qx += (x[i] - mx) * (x[i] - mx);
            qy += (y[i] - my) * (y[i] - my);
        }
    const double nx = NormOf(qx), ny = NormOf(qy);
    double r = 0.0;
    for (int i = 0; i < n; i++)
        if (keep(i)) r += ((x[i] - mx) / nx) * ((y[i] - my) / ny);
    return r;
}
}  // namespace statsdetail

double Correlation2VecMV(int n, const double* x, const double* y) {
    return statsdetail::CorrelationPairs(n, x, y, nullptr);
}

double Correlation2VecMV(int n, const int* x, const double* y) {
    return statsdetail::CorrelationPairs(n, x, y, nullptr);
}

double Correlation2VecSelectMV(int n, const double* x, const double* y, const int* select) {
    return statsdetail::CorrelationPairs(n, x, y, select);
}

double Correlation2Vec(int n, const double* x, const double* y) {
    std::vector<double> a(n > 0 ? n : 0), b(a.size());
    statsdetail::CenterNormalizeRow(n, x, a.data(), false);
    statsdetail::CenterNormalizeRow(n, y, b.data(), false);
    return statsdetail::Dot(n, a.data(), b.data());
}

void Correlation(int n, int m, double** X, double** R) {
    statsdetail::Block z(n, m);
    for (int i = 0; i < n; i++) statsdetail::CenterNormalizeRow(m, X[i], z[i], false);
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) R[i][j] = statsdetail::Dot(m, z[i], z[j]);
    statsdetail::MirrorUpper(n, R);
}

void CorrelationMV(int n, int m, double** X, double** R) {
    if (!statsdetail::HasMissing(n, m, X)) {
        Correlation(n, m, X, R);
        return;
    }
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) R[i][j] = Correlation2VecMV(m, X[i], X[j]);
}

void CorrelationPartition(int nA, int nB, int m, double** X, double** R) {
    statsdetail::Block z(nA + nB, m);
    for (int i = 0; i < nA + nB; i++) statsdetail::CenterNormalizeRow(m, X[i], z[i], true);
    for (int b = 0; b < nB; b++)
        for (int a = 0; a < nA; a++)
            R[b][a] = statsdetail::DotMasked(m, z[a], z[nA + b], X[a], X[nA + b]);
}

double Correlation2SelectedVecMV(int n, int m, double** X, double** Y, int k, bool byRows) {
    if (byRows) return Correlation2VecMV(m, X[k], Y[k]);
    std::vector<double> x(n > 0 ? n : 0), y(x.size());
    for (int i = 0; i < n; i++) {
        x[i] = X[i][k];
        y[i] = Y[i][k];
    }
    return Correlation2VecMV(n, x.data(), y.data());
}

double Correlation2Matrices(int n, int m, double** X, double** Y) {
    statsdetail::Block x(1, n * m), y(1, n * m);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) {
            x[0][i * m + j] = X[i][j];
            y[0][i * m + j] = Y[i][j];
        }
    return Correlation2Vec(n * m, x[0], y[0]);
}

void CorrelationNeighbours(int n, int m, double** X, double** R, int lag) {
    statsdetail::Block z(n, m);
    for (int i = 0; i < n; i++) statsdetail::CenterNormalizeRow(m, X[i], z[i], false);
    for (int i = 0; i < n - lag; i++) {
        R[i][i + lag] = statsdetail::Dot(m, z[i], z[i + lag]);
        R[i][i] = statsdetail::Dot(m, z[i], z[i]);
    }
}

// --- Row and column transformations -------------------------------------------
//
// Row forms read a row's statistics first, then write it; column forms gather
// all column statistics in one pass over the rows, then write. Both may work in
// place.

namespace statsdetail {

// Per-column count, sum, sum of squares, minimum and maximum of the cells that
// count (all, or the non-missing ones).
struct ColumnStats {
    std::vector<int> k;
    std::vector<double> s, q, mn, mx;
    ColumnStats(int n, int m, double** X, bool skipMissing)
        : k(m > 0 ? m : 0, 0), s(k.size(), 0.0), q(k.size(), 0.0), mn(k.size(), DBL_MAX),
          mx(k.size(), -DBL_MAX) {
        for (int i = 0; i < n; i++) {
            const double* x = X[i];
            for (int j = 0; j < m; j++) {
                const double v = x[j];
                if (skipMissing && Missing(v)) continue;
                k[j]++;
                s[j] += v;
                q[j] += v * v;
                if (v < mn[j]) mn[j] = v;
                if (v > mx[j]) mx[j] = v;
            }
        }
    }
    double Mean(int j) const { return k[j] > 0 ? s[j] / k[j] : 0.0; }
};

// Row statistics of the cells that count.
struct RowStats {
    int k = 0;
    double s = 0.0, q = 0.0, mn = DBL_MAX, mx = -DBL_MAX;
    RowStats(int m, const double* x, bool skipMissing) {
        for (int j = 0; j < m; j++) {
            const double v = x[j];
            if (skipMissing && Missing(v)) continue;
            k++;
            s += v;
            q += v * v;
            if (v < mn) mn = v;
            if (v > mx) mx = v;
        }
    }
    double Mean() const { return k > 0 ? s / k : 0.0; }
};

// Sum of squared deviations from mean over the cells that count.
double RowDeviationSquares(int m, const double* x, double mean, bool skipMissing) {
    double q = 0.0;
    for (int j = 0; j < m; j++)
        if (!skipMissing || !Missing(x[j])) q += (x[j] - mean) * (x[j] - mean);
    return q;
}

// y = f(x) on the cells that count, MISSING on the others.
template <class F>
void MapRow(int m, const double* x, double* y, bool skipMissing, F f) {
    for (int j = 0; j < m; j++) y[j] = (skipMissing && Missing(x[j])) ? MISSING : f(x[j]);
}

template <class F>
void MapCols(int n, int m, double** X, double** Y, bool skipMissing, F f) {
    for (int i = 0; i < n; i++) {
        const double* x = X[i];
        double* y = Y[i];
        for (int j = 0; j < m; j++) y[j] = (skipMissing && Missing(x[j])) ? MISSING : f(x[j], j);
    }
}

void CenterRowsImpl(int n, int m, double** X, double** Y, bool mv) {
    for (int i = 0; i < n; i++) {
        const double mean = RowStats(m, X[i], mv).Mean();
        MapRow(m, X[i], Y[i], mv, [&](double v) { return v - mean; });
    }
}

void CenterColsImpl(int n, int m, double** X, double** Y, bool mv) {
    ColumnStats c(n, m, X, mv);
    std::vector<double> mean(c.k.size());
    for (int j = 0; j < m; j++) mean[j] = c.Mean(j);
    MapCols(n, m, X, Y, mv, [&](double v, int j) { return v - mean[j]; });
}

void NormalizeRowsImpl(int n, int m, double** X, double** Y, bool mv) {
    for (int i = 0; i < n; i++) {
        const double norm = NormOf(RowStats(m, X[i], mv).q);
        MapRow(m, X[i], Y[i], mv, [&](double v) { return v / norm; });
    }
}

void NormalizeColsImpl(int n, int m, double** X, double** Y, bool mv) {
    ColumnStats c(n, m, X, mv);
    std::vector<double> norm(c.k.size());
    for (int j = 0; j < m; j++) norm[j] = NormOf(c.q[j]);
    MapCols(n, m, X, Y, mv, [&](double v, int j) { return v / norm[j]; });
}

void UnitSumRowsImpl(int n, int m, double** Y, double** X, bool mv, bool root) {
    for (int i = 0; i < n; i++) {
        const double d = NonZero(RowStats(m, X[i], mv).s);
        if (root)
            MapRow(m, X[i], Y[i], mv, [&](double v) { return std::sqrt(v / d); });
        else
            MapRow(m, X[i], Y[i], mv, [&](double v) { return v / d; });
    }
}

void UnitSumColsImpl(int n, int m, double** Y, double** X, bool mv, bool root) {
    ColumnStats c(n, m, X, mv);
    std::vector<double> d(c.k.size());
    for (int j = 0; j < m; j++) d[j] = NonZero(c.s[j]);
    if (root)
        MapCols(n, m, X, Y, mv, [&](double v, int j) { return std::sqrt(v / d[j]); });
    else
        MapCols(n, m, X, Y, mv, [&](double v, int j) { return v / d[j]; });
}

}  // namespace statsdetail

void CenterRows(int n, int m, double** X, double** Y) { statsdetail::CenterRowsImpl(n, m, X, Y, false); }
void CenterCols(int n, int m, double** X, double** Y) { statsdetail::CenterColsImpl(n, m, X, Y, false); }
void CenterRowsMV(int n, int m, double** X, double** Y) { statsdetail::CenterRowsImpl(n, m, X, Y, true); }
void CenterColsMV(int n, int m, double** X, double** Y) { statsdetail::CenterColsImpl(n, m, X, Y, true); }

void CenterRowsCovMV(int n, int m, double** X, double** Y) {
    for (int i = 0; i < n; i++) {
        statsdetail::RowStats r(m, X[i], true);
        const double mean = r.Mean(), d = std::sqrt(NonZero(r.k > 0 ? r.k - 1 : 0));
        statsdetail::MapRow(m, X[i], Y[i], true, [&](double v) { return (v - mean) / d; });
    }
}

void CenterColsCovMV(int n, int m, double** X, double** Y) {
    statsdetail::ColumnStats c(n, m, X, true);
    std::vector<double> mean(c.k.size()), d(c.k.size());
    for (int j = 0; j < m; j++) {
        mean[j] = c.Mean(j);
        d[j] = std::sqrt(NonZero(c.k[j] > 0 ? c.k[j] - 1 : 0));
    }
    statsdetail::MapCols(n, m, X, Y, true, [&](double v, int j) { return (v - mean[j]) / d[j]; });
}

void NormalizeRows(int n, int m, double** X, double** Y) { statsdetail::NormalizeRowsImpl(n, m, X, Y, false); }
void NormalizeCols(int n, int m, double** X, double** Y) { statsdetail::NormalizeColsImpl(n, m, X, Y, false); }
void NormalizeMatrixRows(int n, int m, double** X, double** Y) { NormalizeRows(n, m, X, Y); }
void NormalizeRowsMV(int n, int m, double** X, double** Y) { statsdetail::NormalizeRowsImpl(n, m, X, Y, true); }
void NormalizeColsMV(int n, int m, double** X, double** Y) { statsdetail::NormalizeColsImpl(n, m, X, Y, true); }

void NormalizeVector(int n, const double* x, double* y) {
    const double norm = NormOf(SumOfSquares(n, x));
    statsdetail::MapRow(n, x, y, true, [&](double v) { return v / norm; });
}

void NormalizeColsSelectedRowsMV(int n, int m, double** X, double** Y, const int* select) {
    std::vector<double> q(m > 0 ? m : 0, 0.0);
    for (int i = 0; i < n; i++) {
        if (select[i] != 1) continue;
        for (int j = 0; j < m; j++)
            if (!Missing(X[i][j])) q[j] += X[i][j] * X[i][j];
    }
    for (int j = 0; j < m; j++) q[j] = NormOf(q[j]);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++)
            Y[i][j] = (select[i] != 1 || Missing(X[i][j])) ? MISSING : X[i][j] / q[j];
}

void UnitSumRowsAdj(int n, int m, double** Y, double** X) { statsdetail::UnitSumRowsImpl(n, m, Y, X, false, false); }
void UnitSumColsAdj(int n, int m, double** Y, double** X) { statsdetail::UnitSumColsImpl(n, m, Y, X, false, false); }
void UnitSumRowsAdjMV(int n, int m, double** Y, double** X) { statsdetail::UnitSumRowsImpl(n, m, Y, X, true, false); }
void UnitSumColsAdjMV(int n, int m, double** Y, double** X) { statsdetail::UnitSumColsImpl(n, m, Y, X, true, false); }
void HellingerRowsAdjMV(int n, int m, double** Y, double** X) { statsdetail::UnitSumRowsImpl(n, m, Y, X, true, true); }
void HellingerColsAdjMV(int n, int m, double** Y, double** X) { statsdetail::UnitSumColsImpl(n, m, Y, X, true, true); }

double UnitSumVectorAdjMV(int n, const double* x, double* y) {
    const double d = NonZero(statsdetail::RowStats(n, x, true).s);
    statsdetail::MapRow(n, x, y, true, [&](double v) { return v / d; });
    return d;
}

void MaxAdjMV(int n, const double* x, double* y) {
    double mx = 0.0;
    for (int i = 0; i < n; i++)
        if (!Missing(x[i]) && x[i] > mx) mx = x[i];
    const double d = NonZero(mx);
    statsdetail::MapRow(n, x, y, true, [&](double v) { return v / d; });
}

void RangeRowsAdjMV(int n, int m, double** X, double** Y) {
    for (int i = 0; i < n; i++) {
        statsdetail::RowStats r(m, X[i], true);
        const double d = r.k > 0 ? NonZero(r.mx - r.mn) : 1.0;
        statsdetail::MapRow(m, X[i], Y[i], true, [&](double v) { return v / d; });
    }
}

void RangeColsAdjMV(int n, int m, double** X, double** Y) {
    statsdetail::ColumnStats c(n, m, X, true);
    std::vector<double> d(c.k.size());
    for (int j = 0; j < m; j++) d[j] = c.k[j] > 0 ? NonZero(c.mx[j] - c.mn[j]) : 1.0;
    statsdetail::MapCols(n, m, X, Y, true, [&](double v, int j) { return (v - c.mn[j]) / d[j]; });
}

namespace statsdetail {
inline double Deviation(double sumSquares, int k) {
    return sumSquares > 0.0 && k > 0 ? std::sqrt(sumSquares / k) : 1.0;
}
inline double Given(double deviation) { return deviation > 0.0 ? deviation : 1.0; }
}  // namespace statsdetail

void ZStandardizationVectorMV(int n, const double* x, double* y, bool flag, double limit, int* outliers) {
    statsdetail::RowStats r(n, x, true);
    const double mean = r.Mean();
    const double d = statsdetail::Deviation(statsdetail::RowDeviationSquares(n, x, mean, true), r.k);
    statsdetail::MapRow(n, x, y, true, [&](double v) { return (v - mean) / d; });
    if (flag)
        for (int i = 0; i < n; i++) outliers[i] = (!Missing(x[i]) && std::fabs(y[i]) > limit) ? 1 : 0;
}

void ZStandardizationRowsMV(int n, int m, double** X, double** Y) {
    for (int i = 0; i < n; i++) ZStandardizationVectorMV(m, X[i], Y[i], false, 0.0, nullptr);
}

void ZStandardizationColsMV(int n, int m, double** X, double** Y) {
    statsdetail::ColumnStats c(n, m, X, true);
    std::vector<double> mean(c.k.size()), q(c.k.size(), 0.0);
    for (int j = 0; j < m; j++) mean[j] = c.Mean(j);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++)
            if (!Missing(X[i][j])) q[j] += (X[i][j] - mean[j]) * (X[i][j] - mean[j]);
    for (int j = 0; j < m; j++) q[j] = statsdetail::Deviation(q[j], c.k[j]);
    statsdetail::MapCols(n, m, X, Y, true, [&](double v, int j) { return (v - mean[j]) / q[j]; });
}

void ZStandardizationRowsMV(int n, int m, double** X, double** Y, const double* means,
                            const double* deviations) {
    for (int i = 0; i < n; i++) {
        const double mean = means[i], d = statsdetail::Given(deviations[i]);
        statsdetail::MapRow(m, X[i], Y[i], true, [&](double v) { return (v - mean) / d; });
    }
}

void ZStandardizationColsMV(int n, int m, double** X, double** Y, const double* means,
                            const double* deviations) {
    statsdetail::MapCols(n, m, X, Y, true,
                         [&](double v, int j) { return (v - means[j]) / statsdetail::Given(deviations[j]); });
}

void CorrAdj(int n, int m, double** Y, double** X) {
    statsdetail::ColumnStats c(n, m, X, false);
    std::vector<double> mean(c.k.size()), q(c.k.size(), 0.0);
    for (int j = 0; j < m; j++) mean[j] = c.Mean(j);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) q[j] += (X[i][j] - mean[j]) * (X[i][j] - mean[j]);
    for (int j = 0; j < m; j++) q[j] = NormOf(q[j]);
    statsdetail::MapCols(n, m, X, Y, false,
                         [&](double v, int j) { return static_cast<double>(static_cast<float>((v - mean[j]) / q[j])); });
}

void DeviationsExpectationsMV(int n, int m, double** X, double** Y) {
    std::vector<double> r(n > 0 ? n : 0, 0.0);
    for (int i = 0; i < n; i++) r[i] = statsdetail::RowStats(m, X[i], true).s;
    statsdetail::ColumnStats c(n, m, X, true);
    double t = 0.0;
    for (int j = 0; j < m; j++) t += c.s[j];
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) {
            const double x = X[i][j];
            // A zero grand total (possible only with negative cells) leaves the
            // cell as it is instead of dividing by it.
            if (!Missing(x) && r[i] > 0.0 && c.s[j] > 0.0 && t != 0.0) {
                const double e = r[i] * c.s[j];
                Y[i][j] = (x * t - e) / (std::sqrt(e) * t);
            } else {
                Y[i][j] = x;
            }
        }
}

void DeviationsGroupMeansMV(int n, int m, double** X, double** Y, const int* groups) {
    std::vector<int> pos;
    const int g = statsdetail::GroupPositions(n, groups, pos);
    statsdetail::Block sum(g, m), count(g, m);
    for (int i = 0; i < n; i++) {
        double* s = sum[pos[i]];
        double* k = count[pos[i]];
        for (int j = 0; j < m; j++)
            if (!Missing(X[i][j])) {
                s[j] += X[i][j];
                k[j] += 1.0;
            }
    }
    for (int i = 0; i < n; i++) {
        const double* s = sum[pos[i]];
        const double* k = count[pos[i]];
        statsdetail::MapCols(1, m, X + i, Y + i, true, [&](double v, int j) { return v - s[j] / k[j]; });
    }
}

void GowerStandardizationRows(int n, int m, double** X) {
    double q = 0.0;
    for (int i = 0; i < n; i++) q += SumOfSquares(m, X[i]);
    const double v = q / NonZero(m - 1 > 0 ? m - 1 : 0);
    const double d = v > 0.0 ? std::sqrt(v) : 1.0;
    for (int i = 0; i < n; i++) statsdetail::MapRow(m, X[i], X[i], true, [&](double x) { return x / d; });
}

void GowerStandardizationCols(int n, int m, double** X) {
    double q = 0.0;
    for (int i = 0; i < n; i++) q += SumOfSquares(m, X[i]);
    const double v = q / NonZero(n - 1 > 0 ? n - 1 : 0);
    const double d = v > 0.0 ? std::sqrt(v) : 1.0;
    for (int i = 0; i < n; i++) statsdetail::MapRow(m, X[i], X[i], true, [&](double x) { return x / d; });
}

void DataPartitionQualQuant(int n, int m, double** X, double** Y, int mode) {
    for (int i = 0; i < n; i++) {
        const double* x = X[i];
        double s = 0.0;
        int k = 0;
        for (int j = 0; j < m; j++)
            if (x[j] > 0.0) {
                s += x[j];
                k++;
            }
        const double mean = k > 0 ? s / k : 0.0;
        double* y = Y[i];
        for (int j = 0; j < m; j++) y[j] = x[j] <= 0.0 ? 0.0 : (mode == 1 ? x[j] - mean : mean);
    }
}

// --- Ranks ----------------------------------------------------------------------

void RankVectorAdj(int n, const double* x, double* r) {
    if (n > 0) statsdetail::RankValues(static_cast<size_t>(n), x, r);
}

void RankRowsAdj(int n, int m, double** X, double** R) {
    for (int i = 0; i < n; i++) RankVectorAdj(m, X[i], R[i]);
}

void RankVectorAdjMV(int n, const double* x, double* r) {
    std::vector<double> values;
    std::vector<int> where;
    values.reserve(n > 0 ? n : 0);
    where.reserve(values.capacity());
    for (int i = 0; i < n; i++)
        if (!Missing(x[i])) {
            values.push_back(x[i]);
            where.push_back(i);
        }
    statsdetail::RankValues(values.size(), values.data(), values.data());
    for (int i = 0; i < n; i++)
        if (Missing(x[i])) r[i] = MISSING;
    for (size_t v = 0; v < values.size(); v++) r[where[v]] = values[v];
}

void RankVectorDAdj(int n, const double* x, double* r) {
    std::vector<double> v(x, x + (n > 0 ? n : 0));
    for (int i = 0; i < n; i++) {
        int less = 0, lessOrEqual = 0;
        for (int j = 0; j < n; j++) {
            if (v[j] < v[i]) less++;
            if (v[j] <= v[i]) lessOrEqual++;
        }
        r[i] = 0.5 * (less + 1 + lessOrEqual);
    }
}

void RankRowsDAdj(int n, int m, double** X, double** R) {
    for (int i = 0; i < n; i++) RankVectorDAdj(m, X[i], R[i]);
}

namespace statsdetail {
template <class T, class F>
void OrderOf(int n, const T* x, int* order, F key) {
    if (n <= 0) return;
    double* a = dvector(1, n);
    unsigned long* indx = lvector(1, n);
    for (int i = 0; i < n; i++) a[i + 1] = key(x[i]);
    indexx(static_cast<unsigned long>(n), a, indx);
    for (int i = 0; i < n; i++) order[i] = static_cast<int>(indx[i + 1]);
    free_lvector(indx, 1, n);
    free_dvector(a, 1, n);
}
}  // namespace statsdetail

void IndexVector(int n, const int* g, int* idx) {
    statsdetail::OrderOf(n, g, idx, [](int v) { return static_cast<double>(v); });
}

void RankVector(int n, const double* x, int* order) {
    statsdetail::OrderOf(n, x, order, [](double v) { return v; });
}

void RankVectorAbs(int n, const double* x, int* order) {
    statsdetail::OrderOf(n, x, order, [](double v) { return std::fabs(v); });
}

void RankReseAdj(int n, double** D, double** R) {
    if (n < 2) return;
    const size_t count = static_cast<size_t>(n) * static_cast<size_t>(n - 1) / 2;
    std::vector<double> v;
    v.reserve(count);
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) v.push_back(D[i][j]);
    statsdetail::RankValues(count, v.data(), v.data());
    size_t p = 0;
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) R[i][j] = v[p++];
}

double MatrixPercentile(int n, int m, double** X, double p) {
    const size_t cells = static_cast<size_t>(n > 0 ? n : 0) * static_cast<size_t>(m > 0 ? m : 0);
    std::vector<double> values, ranks;
    values.reserve(cells);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++)
            if (!Missing(X[i][j])) values.push_back(X[i][j]);
    ranks.resize(values.size());
    statsdetail::RankValues(values.size(), values.data(), ranks.data());
    double best = MISSING;
    bool found = false;
    for (size_t v = 0; v < values.size(); v++)
        if (ranks[v] / static_cast<double>(cells) > p && (!found || values[v] < best)) {
            best = values[v];
            found = true;
        }
    return best;
}


// ===========================================================================
// Group counting and partitions
// ===========================================================================

#include <omp.h>

namespace groupsdetail {

// Sorted distinct values of the selected labels (all when select is null).
std::vector<int> Distinct(int n, const int* groups, const int* select) {
    std::vector<int> v;
    v.reserve(n > 0 ? n : 0);
    for (int i = 0; i < n; i++)
        if (select == nullptr || select[i] == 1) v.push_back(groups[i]);
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    return v;
}

void Report(const std::vector<int>& distinct, int& count, int* labels) {
    count = static_cast<int>(distinct.size());
    if (labels != nullptr) std::copy(distinct.begin(), distinct.end(), labels);
}

// Class of x by the equal-width rule; always within 1..k.
inline double ClassOf(double x, int k, double min, double max) {
    if (x == min) return 1.0;
    if (x == max) return k;
    double c = std::ceil((x - min) * k / (max - min));
    // Rounding at the top end, or a value outside the bounds given, stays in
    // the range of classes.
    if (!(c >= 1.0)) c = 1.0;
    if (c > k) c = k;
    return c;
}

// Positions 0..k-1 of the units' groups: the position of each label among
// the sorted distinct labels, or the unit itself when groups is null.
std::vector<int> Positions(int n, const int* groups) {
    std::vector<int> pos;
    if (groups == nullptr) {
        pos.resize(n > 0 ? n : 0);
        for (int i = 0; i < n; i++) pos[i] = i;
    } else {
        statsdetail::GroupPositions(n, groups, pos);
    }
    return pos;
}

}  // namespace groupsdetail

void CountGroups(int n, const int* groups, int& count, int* labels) {
    groupsdetail::Report(groupsdetail::Distinct(n, groups, nullptr), count, labels);
}

void CountGroupsNew(int n, const int* groups, int& count, int* labels) {
    groupsdetail::Report(groupsdetail::Distinct(n, groups, nullptr), count, labels);
}

void CountGroupsSelect(int n, const int* groups, const int* select, int& count, int* labels) {
    groupsdetail::Report(groupsdetail::Distinct(n, groups, select), count, labels);
}

void RenamePartitionLabels(int n, int k, int* labels) {
    // Equivalent to: for v = 1..k, while no label is v and some label exceeds
    // v, decrease every label above v by 1. Labels below 1 never move; the
    // distinct positive labels take 1, 2, ... in order, and labels beyond the
    // k-th keep their distances to it. Done by one pass over the distinct
    // labels instead of one pass over the units per decrement.
    std::vector<int> distinct;
    distinct.reserve(n > 0 ? n : 0);
    for (int i = 0; i < n; i++)
        if (labels[i] >= 1) distinct.push_back(labels[i]);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    std::vector<long long> target(distinct.size());
    long long shift = 0;
    size_t d = 0;
    for (long long v = 1; v <= k && d < distinct.size(); v++, d++) {
        // distinct[d] - shift is the current value of the smallest label not
        // yet settled; it is at least v.
        shift += distinct[d] - shift - v;
        target[d] = v;
    }
    for (; d < distinct.size(); d++) target[d] = distinct[d] - shift;
    for (int i = 0; i < n; i++) {
        if (labels[i] < 1) continue;
        const size_t p = std::lower_bound(distinct.begin(), distinct.end(), labels[i]) - distinct.begin();
        labels[i] = static_cast<int>(target[p]);
    }
}

int ClassesDefinitionMV(int n, const double* x, double* classes, int k, double min, double max) {
    if (k < 1) return 0;
    for (int i = 0; i < n; i++) {
        if (x[i] == min)
            classes[i] = 1.0;
        else if (x[i] == max)
            classes[i] = k;
        else if (x[i] == MISSING)
            classes[i] = MISSING;
        else
            classes[i] = groupsdetail::ClassOf(x[i], k, min, max);
    }
    return 1;
}

int ClassesMV(int n, const double* x, double* classes, int k) {
    if (k < 1) return 0;
    statsdetail::RowStats r(n, x, true);
    return ClassesDefinitionMV(n, x, classes, k, r.mn, r.mx);
}

int ClassesDefinition(int n, const double* x, double* classes, int k, double min, double max) {
    if (k < 1) return 0;
    for (int i = 0; i < n; i++) classes[i] = groupsdetail::ClassOf(x[i], k, min, max);
    return 1;
}

int Classes(int n, const double* x, double* classes, int k) {
    if (k < 1) return 0;
    statsdetail::RowStats r(n, x, false);
    return ClassesDefinition(n, x, classes, k, r.mn, r.mx);
}

void FreqDistribution(int n, const double* x, int* counts, int k, double* upperBounds) {
    if (k < 1) return;
    for (int c = 0; c < k; c++) counts[c] = 0;
    if (n <= 0) return;
    statsdetail::RowStats r(n, x, false);
    for (int i = 0; i < n; i++) counts[static_cast<int>(groupsdetail::ClassOf(x[i], k, r.mn, r.mx)) - 1]++;
    if (upperBounds != nullptr)
        for (int c = 0; c < k; c++) upperBounds[c] = r.mn + (c + 1) * (r.mx - r.mn) / k;
}

void CrispBelonging(int n, int k, const int* groups, double** Q) {
    const std::vector<int> pos = groupsdetail::Positions(n, groups);
    for (int i = 0; i < n; i++)
        for (int g = 0; g < k; g++) Q[i][g] = pos[i] == g ? 1.0 : 0.0;
}

void FuzzyBelonging(int n, int k, double** S, const int* groups, double** Q, bool dissimilarity) {
    if (n <= 0) return;
    const std::vector<int> pos = groupsdetail::Positions(n, groups);
    auto raw = [&](int i, int j) { return i <= j ? S[i][j] : S[j][i]; };
    auto sim = [&](double s) { return dissimilarity ? 1.0 - s : s; };

    std::vector<int> count(k > 0 ? k : 0, 0);
    for (int i = 0; i < n; i++)
        if (pos[i] < k) count[pos[i]]++;

    // A unit identical to an earlier unit of its group is marked and leaves
    // that group's count; it then stands in for that unit in its own row.
    std::vector<int> duplicateOf(n, -1);
#pragma omp parallel for schedule(static)
    for (int i = 0; i < n; i++) {
        if (pos[i] >= k) continue;
        for (int j = 0; j < i; j++) {
            if (pos[j] != pos[i]) continue;
            const double s = raw(j, i);
            if (s != MISSING && AlmostEqual2sComplement(sim(s), 1.0, 1)) {
                duplicateOf[i] = j;
#pragma omp atomic
                count[pos[i]]--;
                break;
            }
        }
    }

    // Work rows of every thread made before the parallel region, so that
    // nothing in it can throw.
    const size_t kk = count.size();
    std::vector<double> sums(kk * static_cast<size_t>(omp_get_max_threads()));
    std::vector<char> addeds(sums.size());
#pragma omp parallel
    {
        double* sum = sums.data() + kk * static_cast<size_t>(omp_get_thread_num());
        char* added = addeds.data() + kk * static_cast<size_t>(omp_get_thread_num());
#pragma omp for schedule(static)
        for (int i = 0; i < n; i++) {
            std::fill(sum, sum + kk, 0.0);
            std::fill(added, added + kk, 0);
            for (int j = 0; j < n; j++) {
                const int g = pos[j];
                if (g >= k) continue;
                if (j != i && (duplicateOf[j] >= 0 || j == duplicateOf[i])) continue;
                const double s = raw(i, j);
                if (s == MISSING) continue;
                sum[g] += sim(s);
                added[g] = 1;
            }
            for (int g = 0; g < k; g++) Q[i][g] = added[g] ? sum[g] / count[g] : MISSING;
        }
    }
    UnitSumRowsAdjMV(n, k, Q, Q);
}

void ClusterIdenticals(int n, double** S, int* partition, int& count, bool dissimilarity) {
    const double same = dissimilarity ? 0.0 : 1.0;
    for (int i = 0; i < n; i++) partition[i] = i + 1;
    for (int j = 1; j < n; j++)
        for (int i = 0; i < j; i++)
            if (S[i][j] == same) {
                partition[j] = partition[i];
                break;
            }
    CountGroupsNew(n, partition, count, nullptr);
    RenamePartitionLabels(n, count, partition);
}

void ConcentrateGroups(int n, int m, double** X, double** Y, int kRows, const int* rowGroups, int kCols,
                       const int* colGroups, int mode) {
    const std::vector<int> rp = groupsdetail::Positions(n, rowGroups);
    const std::vector<int> cp = groupsdetail::Positions(m, colGroups);
    std::vector<double> rowSize(kRows > 0 ? kRows : 0, 0.0), colSize(kCols > 0 ? kCols : 0, 0.0);
    for (int i = 0; i < n; i++)
        if (rp[i] < kRows) rowSize[rp[i]]++;
    for (int j = 0; j < m; j++)
        if (cp[j] < kCols) colSize[cp[j]]++;
    for (int a = 0; a < kRows; a++)
        for (int b = 0; b < kCols; b++) Y[a][b] = 0.0;
    double plain = 0.0;
    for (int i = 0; i < n; i++) {
        if (rp[i] >= kRows) continue;
        double* y = Y[rp[i]];
        for (int j = 0; j < m; j++)
            if (cp[j] < kCols) {
                y[cp[j]] += X[i][j];
                plain += X[i][j];
            }
    }
    double total = 0.0;
    for (int a = 0; a < kRows; a++)
        for (int b = 0; b < kCols; b++) {
            Y[a][b] /= NonZero(rowSize[a] * colSize[b]);
            total += Y[a][b];
        }
    if (mode == 1 && total != 0.0) {
        const double f = plain / total;
        for (int a = 0; a < kRows; a++)
            for (int b = 0; b < kCols; b++) Y[a][b] *= f;
    }
}

void ReleveChange(int n, double** X, double** Y, int m, int k, const int* groups) {
    std::vector<int> pos;
    statsdetail::GroupPositions(n, groups, pos);
    for (int g = 0; g < k; g++)
        for (int u = 0; u < n; u++) {
            if (pos[u] != g) continue;
            for (int j = 0; j < m; j++) Y[j][g] = X[j][u] - Y[j][g];
        }
}

void SplitMovingWinPool(int n, int m, double** X, double** Y, int width, int& count, bool byRows) {
    const int length = byRows ? n : m;
    count = (width >= 1 && width <= length) ? length - width + 1 : 0;
    for (int w = 0; w < count; w++) {
        if (byRows) {
            for (int c = 0; c < m; c++) {
                double s = 0.0;
                for (int r = w; r < w + width; r++) s += X[r][c];
                Y[w][c] = s / width;
            }
        } else {
            for (int r = 0; r < n; r++) {
                double s = 0.0;
                for (int c = w; c < w + width; c++) s += X[r][c];
                Y[r][w] = s / width;
            }
        }
    }
}


// ===========================================================================
// Distances and similarity coefficients
// ===========================================================================

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "rhlibDim.h"

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

// Calls rowFn(i) for every row i on the current thread team, rows cut by
// TriangleRows. rowFn must neither allocate nor throw.
template <class RowFn>
void ForEachTriangleRow(int m, int q, RowFn rowFn) {
    double work = 0.5 * m * (m + 1.0) * (q > 0 ? q : 1);
#pragma omp parallel if (work > kParallelWork)
    {
        int first, last;
        TriangleRows(m, omp_get_num_threads(), omp_get_thread_num(), first, last);
        for (int i = first; i < last; i++) rowFn(i);
    }
}

// Pair kernels. Each sums in four interleaved lanes added in a fixed order, so
// that the result of a pair depends only on its two rows.
inline double SumSqDiff(int q, const double* x, const double* y) {
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    int k = 0;
    for (; k + 4 <= q; k += 4) {
        double d0 = x[k] - y[k], d1 = x[k + 1] - y[k + 1];
        double d2 = x[k + 2] - y[k + 2], d3 = x[k + 3] - y[k + 3];
        s0 += d0 * d0;
        s1 += d1 * d1;
        s2 += d2 * d2;
        s3 += d3 * d3;
    }
    for (; k < q; k++) {
        double d = x[k] - y[k];
        s0 += d * d;
    }
    return (s0 + s1) + (s2 + s3);
}

// The difference where both values are present, else 0 (which adds exactly
// nothing to a sum of non-negative terms, so complete rows give the same bits
// as SumSqDiff).
inline double PresentDiff(double a, double b) {
    bool both = (a != MISSING) & (b != MISSING);
    return both ? a - b : 0.0;
}

inline double SumSqDiffMV(int q, const double* x, const double* y) {
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    int k = 0;
    for (; k + 4 <= q; k += 4) {
        double d0 = PresentDiff(x[k], y[k]), d1 = PresentDiff(x[k + 1], y[k + 1]);
        double d2 = PresentDiff(x[k + 2], y[k + 2]), d3 = PresentDiff(x[k + 3], y[k + 3]);
        s0 += d0 * d0;
        s1 += d1 * d1;
        s2 += d2 * d2;
        s3 += d3 * d3;
    }
    for (; k < q; k++) {
        double d = PresentDiff(x[k], y[k]);
        s0 += d * d;
    }
    return (s0 + s1) + (s2 + s3);
}

inline double SumAbsDiffMV(int q, const double* x, const double* y) {
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    int k = 0;
    for (; k + 4 <= q; k += 4) {
        s0 += std::fabs(PresentDiff(x[k], y[k]));
        s1 += std::fabs(PresentDiff(x[k + 1], y[k + 1]));
        s2 += std::fabs(PresentDiff(x[k + 2], y[k + 2]));
        s3 += std::fabs(PresentDiff(x[k + 3], y[k + 3]));
    }
    for (; k < q; k++) s0 += std::fabs(PresentDiff(x[k], y[k]));
    return (s0 + s1) + (s2 + s3);
}

inline double SumAbsDiff(int q, const double* x, const double* y) {
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    int k = 0;
    for (; k + 4 <= q; k += 4) {
        s0 += std::fabs(x[k] - y[k]);
        s1 += std::fabs(x[k + 1] - y[k + 1]);
        s2 += std::fabs(x[k + 2] - y[k + 2]);
        s3 += std::fabs(x[k + 3] - y[k + 3]);
    }
    for (; k < q; k++) s0 += std::fabs(x[k] - y[k]);
    return (s0 + s1) + (s2 + s3);
}

// Numerator and denominator of the percentage difference with shift s.
inline void BrayCurtisSums(int q, const double* x, const double* y, double s, double& num,
                           double& den) {
    double n0 = 0, n1 = 0, n2 = 0, n3 = 0, e0 = 0, e1 = 0, e2 = 0, e3 = 0;
    auto term = [s](double a, double b, double& n, double& e) {
        bool both = (a != MISSING) & (b != MISSING);
        double d = both ? a - b : 0.0;
        double t = both ? (a - s) + (b - s) : 0.0;
        n += std::fabs(d);
        e += t;
    };
    int k = 0;
    for (; k + 4 <= q; k += 4) {
        term(x[k], y[k], n0, e0);
        term(x[k + 1], y[k + 1], n1, e1);
        term(x[k + 2], y[k + 2], n2, e2);
        term(x[k + 3], y[k + 3], n3, e3);
    }
    for (; k < q; k++) term(x[k], y[k], n0, e0);
    num = (n0 + n1) + (n2 + n3);
    den = (e0 + e1) + (e2 + e3);
}

inline double RootOrZero(double s) { return s > 0 ? std::sqrt(s) : 0.0; }

void MirrorUpper(int m, double** R) {
    for (int i = 0; i < m; i++)
        for (int j = i + 1; j < m; j++) R[j][i] = R[i][j];
}

// Presence and absence of every row as bit sets, for the joint frequencies
// of the binary coefficients: bit k of the presence set is on where the
// value is 1, of the absence set where it is 0; other values are in neither.
struct BinaryRows {
    int words = 0;
    std::vector<uint64_t> presence, absence;

    BinaryRows(int m, int q, double** X) : words((q + 63) / 64) {
        presence.assign(static_cast<size_t>(m) * words, 0);
        absence.assign(static_cast<size_t>(m) * words, 0);
        for (int i = 0; i < m; i++) {
            uint64_t* p = &presence[static_cast<size_t>(i) * words];
            uint64_t* a = &absence[static_cast<size_t>(i) * words];
            for (int k = 0; k < q; k++) {
                uint64_t bit = uint64_t{1} << (k & 63);
                if (X[i][k] == 1.0)
                    p[k >> 6] |= bit;
                else if (X[i][k] == 0.0)
                    a[k >> 6] |= bit;
            }
        }
    }
    const uint64_t* P(int i) const { return &presence[static_cast<size_t>(i) * words]; }
    const uint64_t* A(int i) const { return &absence[static_cast<size_t>(i) * words]; }
};

inline int BitCount(uint64_t v) {
    v = v - ((v >> 1) & 0x5555555555555555ULL);
    v = (v & 0x3333333333333333ULL) + ((v >> 2) & 0x3333333333333333ULL);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return static_cast<int>((v * 0x0101010101010101ULL) >> 56);
}

struct Joint {
    int a, b, c, d;
};

inline Joint JointOfRows(const BinaryRows& B, int i, int j) {
    const uint64_t *pi = B.P(i), *ai = B.A(i), *pj = B.P(j), *aj = B.A(j);
    Joint f{0, 0, 0, 0};
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
    ForEachTriangleRow(m, B.words * 4, [&](int i) {
        for (int j = i; j < m; j++) R[i][j] = coef(JointOfRows(B, i, j));
    });
}

}  // namespace dist_detail

// --- Euclidean family ------------------------------------------------------

void EucliDist(int m, int q, double** X, double** R) {
    using namespace dist_detail;
    ForEachTriangleRow(m, q, [&](int i) {
        R[i][i] = 0.0;
        for (int j = i + 1; j < m; j++) R[i][j] = RootOrZero(SumSqDiff(q, X[i], X[j]));
    });
    MirrorUpper(m, R);
}

void EucliDistMV(int m, int q, double** X, double** R) {
    using namespace dist_detail;
    if (!HasMissing(m, q, X)) {
        EucliDist(m, q, X, R);  // same sums, without the tests
        return;
    }
    ForEachTriangleRow(m, q, [&](int i) {
        R[i][i] = 0.0;
        for (int j = i + 1; j < m; j++) R[i][j] = RootOrZero(SumSqDiffMV(q, X[i], X[j]));
    });
    MirrorUpper(m, R);
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
    using namespace dist_detail;
    ForEachTriangleRow(m, q, [&](int i) {
        R[i][i] = 0.0;
        for (int j = i + 1; j < m; j++) R[i][j] = SumSqDiff(q, X[i], X[j]);
    });
}

double EucliDistSq2Vec(int q, const double* x, const double* y) {
    return dist_detail::SumSqDiff(q, x, y);
}

// --- City-block --------------------------------------------------------------

void AbsValFunctionMV(int m, int q, double** X, double** R) {
    using namespace dist_detail;
    ForEachTriangleRow(m, q, [&](int i) {
        R[i][i] = 0.0;
        for (int j = i + 1; j < m; j++) R[i][j] = SumAbsDiffMV(q, X[i], X[j]);
    });
}

void AbsValFunction(int m, int q, double** X, double** R) {
    using namespace dist_detail;
    ForEachTriangleRow(m, q, [&](int i) {
        R[i][i] = 0.0;
        for (int j = i + 1; j < m; j++) R[i][j] = SumAbsDiff(q, X[i], X[j]);
    });
}

void AbsValFunctionMV(int m, const double* x, double** R) {
    using namespace dist_detail;
    for (int i = 0; i < m; i++) {
        R[i][i] = 0.0;
        for (int j = i + 1; j < m; j++) R[i][j] = std::fabs(PresentDiff(x[i], x[j]));
    }
}

double AbsValFunction2VecD(int q, const double* x, const double* y) {
    return dist_detail::SumAbsDiff(q, x, y);
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
    ForEachTriangleRow(m, q, [&](int i) {
        R[i][i] = 0.0;
        for (int j = i + 1; j < m; j++) {
            double num, den;
            BrayCurtisSums(q, X[i], X[j], s, num, den);
            // A pair without a positive denominator has every shared value
            // at the shift (or none shared): the rows do not differ.
            R[i][j] = den > 0 ? num / den : 0.0;
        }
    });
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
            R[i][j] = den > 0 ? num / den : 0.0;
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


// ===========================================================================
// Entropy, diversity and information measures
// ===========================================================================

// ===========================================================================
// Matrix comparisons
// ===========================================================================

