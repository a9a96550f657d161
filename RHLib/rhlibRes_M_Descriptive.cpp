#include "rhlibRes_M.h"

// ===========================================================================
// Descriptive statistics, standardisations and ranks
// ===========================================================================

#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <utility>
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
            if (statsdetail::Missing(x[k])) return true;
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
        if (!statsdetail::Missing(a[k]) && !statsdetail::Missing(b[k])) s += a[k] * b[k];
    return s;
}
// Dot product of a and b over the positions where neither maskA nor maskB
// holds a missing value (the masks are the original data, so a derived value
// that happens to equal -999 is not taken for a missing one).
inline double DotMasked(int m, const double* a, const double* b, const double* maskA,
                        const double* maskB) {
    double s = 0.0;
    for (int k = 0; k < m; k++)
        if (!statsdetail::Missing(maskA[k]) && !statsdetail::Missing(maskB[k])) s += a[k] * b[k];
    return s;
}

// A contiguous n x m work matrix (one allocation, rows in sequence).
struct Block {
    int rows, cols;
    std::vector<double> v;
    Block(int r, int c) : rows(r), cols(c), v(static_cast<size_t>(r) * static_cast<size_t>(c)) {}
    double* operator[](int i) { return v.data() + static_cast<size_t>(i) * static_cast<size_t>(cols); }
};

// The mean of the values x[i] whose position keep(i) accepts, and their
// count. Taken as the first such value plus the mean of the differences from
// it: a constant vector has exactly its value as mean, so its deviations are
// exactly 0 (sum / k can miss a constant such as 0.05 by a rounding error,
// whose deviations a division by their norm would blow up to unit size).
template <class T, class Keep>
double ShiftedMean(int n, const T* x, Keep keep, int& k) {
    k = 0;
    double origin = 0.0, s = 0.0;
    for (int i = 0; i < n; i++) {
        if (!keep(i)) continue;
        const double v = static_cast<double>(x[i]);
        if (k == 0) origin = v;
        s += v - origin;
        k++;
    }
    return k > 0 ? origin + s / k : 0.0;
}

// A sum of squares that neither overflowed nor came near the underflow of
// its terms, whose square root is then the norm to rounding. Values near
// 1e200 overflow it, and a norm of inf made their standardised values 0.
inline bool SquaresInRange(double q) { return q >= 0x1p-900 && q <= DBL_MAX; }

// v scaled by the power of two that takes the magnitude largest (finite, > 0)
// into [0.5, 1): exact, but for values so much smaller than the largest that
// they go below the smallest normal number, beneath its rounding anyway.
inline int ScaleExponent(double largest) {
    int e;
    std::frexp(largest, &e);
    return -e;
}

// The cells keep(c) accepts of z (m values), scaled as above so that their
// largest magnitude is in [0.5, 1), as a careful nrm2 scales them before
// squaring. False, z unchanged, when the largest is 0 or not finite.
template <class Keep>
bool ScaleToUnit(int m, double* z, Keep keep) {
    double largest = 0.0;
    for (int c = 0; c < m; c++)
        if (keep(c)) largest = std::max(largest, std::fabs(z[c]));
    if (!(largest > 0.0) || !std::isfinite(largest)) return false;
    const int e = ScaleExponent(largest);
    for (int c = 0; c < m; c++)
        if (keep(c)) z[c] = std::ldexp(z[c], e);
    return true;
}

// Each row of X centred on its mean and divided by its norm (complete data)
// into Z; with masks, missing cells take no part and are left as they are.
void CenterNormalizeRow(int m, const double* x, double* z, bool skipMissing) {
    auto counted = [&](int c) { return !skipMissing || !statsdetail::Missing(x[c]); };
    int k;
    const double mean = ShiftedMean(m, x, counted, k);
    double q = 0.0;
    for (int c = 0; c < m; c++)
        if (counted(c)) {
            z[c] = x[c] - mean;
            q += z[c] * z[c];
        } else {
            z[c] = x[c];
        }
    if (!SquaresInRange(q)) {
        // Very large or very small values: the values scaled (so that
        // their deviations cannot overflow), then the deviations (so that
        // their squares neither overflow nor underflow). A row of zero
        // deviations stays 0, a row that is not finite NaN.
        std::copy(x, x + m, z);
        if (ScaleToUnit(m, z, counted)) {
            const double scaledMean = ShiftedMean(m, z, counted, k);
            for (int c = 0; c < m; c++)
                if (counted(c)) z[c] -= scaledMean;
            q = 0.0;
            if (ScaleToUnit(m, z, counted))
                for (int c = 0; c < m; c++)
                    if (counted(c)) q += z[c] * z[c];
        } else {
            q = 0.0;
            for (int c = 0; c < m; c++)
                if (counted(c)) z[c] -= mean;
        }
    }
    const double norm = statsdetail::NormOf(q);
    for (int c = 0; c < m; c++)
        if (counted(c)) z[c] /= norm;
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

// The sum of squared deviations from the mean over the non-missing values,
// and their count. Taken in two passes: the one-pass Q - S^2/k subtracts two
// nearly equal large numbers for values far from zero ({1e8+0.1, 1e8+0.2,
// 1e8+0.3} gave a variance of -2 instead of 0.01).
double DeviationSS(int n, const double* x, int& k) {
    auto present = [x](int i) { return !Missing(x[i]); };
    const double mean = ShiftedMean(n, x, present, k);
    double q = 0.0;
    for (int i = 0; i < n; i++)
        if (present(i)) q += (x[i] - mean) * (x[i] - mean);
    return q;
}


}  // namespace statsdetail


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
    if (n <= 0) {
        mean = sd = 0.0;
        return;
    }
    int k;
    mean = statsdetail::ShiftedMean(n, x, [](int) { return true; }, k);
    // Two passes, as in Variance: no cancellation for values far from zero.
    double q = 0.0;
    for (int i = 0; i < n; i++) q += (x[i] - mean) * (x[i] - mean);
    sd = std::sqrt(q / statsdetail::NonZero(n - 1));
}

double Median(int n, const double* x, const int* select) {
    if (n <= 0) return 0.0;
    std::vector<double> copy(x, x + n);
    size_t kept = 0;
    for (int i = 0; i < n; i++) {
        if (statsdetail::Missing(copy[i]) || (select != nullptr && select[i] != 1))
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
        if (!statsdetail::Missing(x[i])) q += x[i] * x[i];
    return q;
}

double SumOfSquares(int n, const float* x) {
    double q = 0.0;
    for (int i = 0; i < n; i++)
        if (x[i] != static_cast<float>(MISSING)) q += static_cast<double>(x[i]) * x[i];
    return q;
}



double SumOfSquaresDev(int n, const double* x) {
    int k;
    return statsdetail::DeviationSS(n, x, k);
}

double Variance(int n, const double* x) {
    int k;
    const double q = statsdetail::DeviationSS(n, x, k);
    return k > 0 ? q / statsdetail::NonZero(k - 1) : 0.0;
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
    // Row by row, each column's mean first (shifted by its first value, as
    // in Variance), then its squared deviations.
    std::vector<int> k(m > 0 ? m : 0, 0);
    std::vector<double> origin(k.size(), 0.0), mean(k.size(), 0.0), q(k.size(), 0.0);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++)
            if (!statsdetail::Missing(X[i][j])) {
                if (k[j] == 0) origin[j] = X[i][j];
                k[j]++;
                mean[j] += X[i][j] - origin[j];
            }
    for (int j = 0; j < m; j++)
        if (k[j] > 0) mean[j] = origin[j] + mean[j] / k[j];
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++)
            if (!statsdetail::Missing(X[i][j])) q[j] += (X[i][j] - mean[j]) * (X[i][j] - mean[j]);
    double t = 0.0;
    for (int j = 0; j < m; j++)
        if (k[j] > 0) t += q[j] / statsdetail::NonZero(k[j] - 1);
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
            for (int k = 0; k < m; k++) p[k] = (statsdetail::Missing(a[k]) || statsdetail::Missing(b[k])) ? MISSING : a[k] * b[k];
        }
}

void CrossProductMVSum(int n, int m, double*** P, double** R, const int* select) {
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) {
            const double* p = P[i][j];
            double s = 0.0;
            for (int k = 0; k < m; k++)
                if (select[k] == 1 && !statsdetail::Missing(p[k])) s += p[k];
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
    const double d = statsdetail::NonZero(m - 1);
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) R[i][j] = statsdetail::Dot(m, c[i], c[j]) / d;
}

double Covariance2VecMV(int n, const double* x, const double* y) {
    int k = 0;
    double sx = 0.0, sy = 0.0;
    for (int i = 0; i < n; i++)
        if (!statsdetail::Missing(x[i]) && !statsdetail::Missing(y[i])) {
            k++;
            sx += x[i];
            sy += y[i];
        }
    if (k == 0) return 0.0;
    const double mx = sx / k, my = sy / k, d = statsdetail::NonZero(k - 1);
    double s = 0.0;
    for (int i = 0; i < n; i++)
        if (!statsdetail::Missing(x[i]) && !statsdetail::Missing(y[i])) s += (x[i] - mx) * (y[i] - my) / d;
    return s;
}

void CovarianceMV(int n, int m, double** X, double** R) {
    if (!statsdetail::HasMissing(n, m, X)) {
        // Rows centred and divided by sqrt(m - 1): their cross-products are
        // the covariances.
        statsdetail::Block c(n, m);
        const double d = std::sqrt(statsdetail::NonZero(m - 1));
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

double CorrelationBeyondRounding(int m, double r) {
    return std::fabs(r) <= 4.0 * m * DBL_EPSILON ? 0.0 : r;
}

namespace statsdetail {
template <class T>
double CorrelationPairs(int n, const T* x, const double* y, const int* select) {
    auto keep = [&](int i) {
        return !statsdetail::Missing(static_cast<double>(x[i])) && !statsdetail::Missing(y[i]) &&
               (select == nullptr || select[i] == 1);
    };
    int k;
    const double mx = ShiftedMean(n, x, keep, k), my = ShiftedMean(n, y, keep, k);
    if (k == 0) return 0.0;
    double qx = 0.0, qy = 0.0;
    for (int i = 0; i < n; i++)
        if (keep(i)) {
            qx += (x[i] - mx) * (x[i] - mx);
            qy += (y[i] - my) * (y[i] - my);
        }
    if (!SquaresInRange(qx) || !SquaresInRange(qy)) {
        // Very large or very small values: the pairs kept, each side
        // standardised with scaling, as complete rows are.
        std::vector<double> a, b;
        for (int i = 0; i < n; i++)
            if (keep(i)) {
                a.push_back(static_cast<double>(x[i]));
                b.push_back(y[i]);
            }
        std::vector<double> za(a.size()), zb(b.size());
        CenterNormalizeRow(k, a.data(), za.data(), false);
        CenterNormalizeRow(k, b.data(), zb.data(), false);
        return CorrelationBeyondRounding(k, Dot(k, za.data(), zb.data()));
    }
    const double nx = statsdetail::NormOf(qx), ny = statsdetail::NormOf(qy);
    double r = 0.0;
    for (int i = 0; i < n; i++)
        if (keep(i)) r += ((x[i] - mx) / nx) * ((y[i] - my) / ny);
    return CorrelationBeyondRounding(k, r);
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
    return CorrelationBeyondRounding(n, statsdetail::Dot(n, a.data(), b.data()));
}

void CenterNormalizeVector(int n, const double* x, double* z) { statsdetail::CenterNormalizeRow(n, x, z, false); }

namespace statsdetail {
// pair(i, j) for every pair of rows i <= j, on the team when there is work
// enough (pairs times values) to share. Each pair is computed whole by one
// thread, so that its value does not depend on the team.
template <class Pair>
void UpperPairs(int n, int m, Pair pair) {
    const double work = 0.5 * n * (n + 1.0) * m;
#pragma omp parallel for schedule(dynamic, 4) if (work > 2e6)
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) pair(i, j);
}
}  // namespace statsdetail

void Correlation(int n, int m, double** X, double** R) {
    statsdetail::Block z(n, m);
    for (int i = 0; i < n; i++) statsdetail::CenterNormalizeRow(m, X[i], z[i], false);
    statsdetail::UpperPairs(n, m, [&](int i, int j) {
        R[i][j] = CorrelationBeyondRounding(m, statsdetail::Dot(m, z[i], z[j]));
    });
    statsdetail::MirrorUpper(n, R);
}

void CorrelationMV(int n, int m, double** X, double** R) {
    if (!statsdetail::HasMissing(n, m, X)) {
        Correlation(n, m, X, R);
        return;
    }
    // The rows without a missing value are standardised once, and their
    // pairs correlated as complete rows are: the same mean, norm and order
    // of terms as Correlation2VecMV's, so the same values to the bit.
    std::vector<char> complete(n > 0 ? n : 0);
    statsdetail::Block z(n, m);
    for (int i = 0; i < n; i++) {
        complete[i] = !statsdetail::HasMissing(1, m, &X[i]);
        if (complete[i]) statsdetail::CenterNormalizeRow(m, X[i], z[i], false);
    }
    statsdetail::UpperPairs(n, m, [&](int i, int j) {
        R[i][j] = complete[i] && complete[j] ? CorrelationBeyondRounding(m, statsdetail::Dot(m, z[i], z[j]))
                                             : Correlation2VecMV(m, X[i], X[j]);
    });
}

void CorrelationPartition(int nA, int nB, int m, double** X, double** R) {
    statsdetail::Block z(nA + nB, m);
    for (int i = 0; i < nA + nB; i++) statsdetail::CenterNormalizeRow(m, X[i], z[i], true);
    for (int b = 0; b < nB; b++)
        for (int a = 0; a < nA; a++)
            R[b][a] = CorrelationBeyondRounding(m, statsdetail::DotMasked(m, z[a], z[nA + b], X[a], X[nA + b]));
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
        R[i][i + lag] = CorrelationBeyondRounding(m, statsdetail::Dot(m, z[i], z[i + lag]));
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
                if (skipMissing && statsdetail::Missing(v)) continue;
                k[j]++;
                s[j] += v;
                q[j] += v * v;
                if (v < mn[j]) mn[j] = v;
                if (v > mx[j]) mx[j] = v;
            }
        }
    }
    // A constant column's mean is its value: s / k can miss it by a rounding
    // error, which centring leaves as deviations that a division by their
    // norm or deviation would blow up to unit size.
    double Mean(int j) const { return k[j] > 0 ? (mn[j] == mx[j] ? mn[j] : s[j] / k[j]) : 0.0; }
};

// Row statistics of the cells that count.
struct RowStats {
    int k = 0;
    double s = 0.0, q = 0.0, mn = DBL_MAX, mx = -DBL_MAX;
    RowStats(int m, const double* x, bool skipMissing) {
        for (int j = 0; j < m; j++) {
            const double v = x[j];
            if (skipMissing && statsdetail::Missing(v)) continue;
            k++;
            s += v;
            q += v * v;
            if (v < mn) mn = v;
            if (v > mx) mx = v;
        }
    }
    double Mean() const { return k > 0 ? (mn == mx ? mn : s / k) : 0.0; }  // as ColumnStats::Mean
};

// Sum of squared deviations from mean over the cells that count.
double RowDeviationSquares(int m, const double* x, double mean, bool skipMissing) {
    double q = 0.0;
    for (int j = 0; j < m; j++)
        if (!skipMissing || !statsdetail::Missing(x[j])) q += (x[j] - mean) * (x[j] - mean);
    return q;
}

// y = f(x) on the cells that count, MISSING on the others.
template <class F>
void MapRow(int m, const double* x, double* y, bool skipMissing, F f) {
    for (int j = 0; j < m; j++) y[j] = (skipMissing && statsdetail::Missing(x[j])) ? MISSING : f(x[j]);
}

template <class F>
void MapCols(int n, int m, double** X, double** Y, bool skipMissing, F f) {
    for (int i = 0; i < n; i++) {
        const double* x = X[i];
        double* y = Y[i];
        for (int j = 0; j < m; j++) y[j] = (skipMissing && statsdetail::Missing(x[j])) ? MISSING : f(x[j], j);
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

// The division of a vector by its norm, given its count k, sum of squares q
// and extremes: v / sqrt(q), or, when q overflowed or came near underflow,
// v scaled by the power of two that takes the largest magnitude into
// [0.5, 1) divided by the norm of the values so scaled (scaledSquares, which
// the caller sums when Scaled() holds). A vector that is not finite keeps the
// plain rule.
struct NormDivision {
    double norm = 1.0;
    int exponent = 0;
    bool scaled = false;
    NormDivision(int k, double q, double mn, double mx) {
        const double largest = std::max(std::fabs(mn), std::fabs(mx));
        scaled = k > 0 && !SquaresInRange(q) && largest > 0.0 && std::isfinite(largest);
        if (scaled)
            exponent = ScaleExponent(largest);
        else
            norm = statsdetail::NormOf(q);
    }
    double Scale(double v) const { return std::ldexp(v, exponent); }
    void SetScaledSquares(double scaledSquares) { norm = std::sqrt(scaledSquares); }
    double operator()(double v) const { return scaled ? Scale(v) / norm : v / norm; }
};

void NormalizeRow(int m, const double* x, double* y, bool mv) {
    const RowStats r(m, x, mv);
    NormDivision d(r.k, r.q, r.mn, r.mx);
    if (d.scaled) {
        double q = 0.0;
        for (int j = 0; j < m; j++)
            if (!mv || !statsdetail::Missing(x[j])) q += d.Scale(x[j]) * d.Scale(x[j]);
        d.SetScaledSquares(q);
    }
    MapRow(m, x, y, mv, d);
}

void NormalizeRowsImpl(int n, int m, double** X, double** Y, bool mv) {
    for (int i = 0; i < n; i++) NormalizeRow(m, X[i], Y[i], mv);
}

void NormalizeColsImpl(int n, int m, double** X, double** Y, bool mv) {
    ColumnStats c(n, m, X, mv);
    std::vector<NormDivision> d;
    std::vector<double> q(c.k.size(), 0.0);
    bool scaled = false;
    for (int j = 0; j < m; j++) {
        d.emplace_back(c.k[j], c.q[j], c.mn[j], c.mx[j]);
        scaled = scaled || d[j].scaled;
    }
    for (int i = 0; scaled && i < n; i++)
        for (int j = 0; j < m; j++)
            if (d[j].scaled && (!mv || !statsdetail::Missing(X[i][j]))) q[j] += d[j].Scale(X[i][j]) * d[j].Scale(X[i][j]);
    for (int j = 0; j < m; j++)
        if (d[j].scaled) d[j].SetScaledSquares(q[j]);
    MapCols(n, m, X, Y, mv, [&](double v, int j) { return d[j](v); });
}

void UnitSumRowsImpl(int n, int m, double** Y, double** X, bool mv, bool root) {
    for (int i = 0; i < n; i++) {
        const double d = statsdetail::NonZero(RowStats(m, X[i], mv).s);
        if (root)
            MapRow(m, X[i], Y[i], mv, [&](double v) { return std::sqrt(v / d); });
        else
            MapRow(m, X[i], Y[i], mv, [&](double v) { return v / d; });
    }
}

void UnitSumColsImpl(int n, int m, double** Y, double** X, bool mv, bool root) {
    ColumnStats c(n, m, X, mv);
    std::vector<double> d(c.k.size());
    for (int j = 0; j < m; j++) d[j] = statsdetail::NonZero(c.s[j]);
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
        const double mean = r.Mean(), d = std::sqrt(statsdetail::NonZero(r.k > 0 ? r.k - 1 : 0));
        statsdetail::MapRow(m, X[i], Y[i], true, [&](double v) { return (v - mean) / d; });
    }
}

void CenterColsCovMV(int n, int m, double** X, double** Y) {
    statsdetail::ColumnStats c(n, m, X, true);
    std::vector<double> mean(c.k.size()), d(c.k.size());
    for (int j = 0; j < m; j++) {
        mean[j] = c.Mean(j);
        d[j] = std::sqrt(statsdetail::NonZero(c.k[j] > 0 ? c.k[j] - 1 : 0));
    }
    statsdetail::MapCols(n, m, X, Y, true, [&](double v, int j) { return (v - mean[j]) / d[j]; });
}

void NormalizeRows(int n, int m, double** X, double** Y) { statsdetail::NormalizeRowsImpl(n, m, X, Y, false); }
void NormalizeCols(int n, int m, double** X, double** Y) { statsdetail::NormalizeColsImpl(n, m, X, Y, false); }
void NormalizeMatrixRows(int n, int m, double** X, double** Y) { NormalizeRows(n, m, X, Y); }
void NormalizeRowsMV(int n, int m, double** X, double** Y) { statsdetail::NormalizeRowsImpl(n, m, X, Y, true); }
void NormalizeColsMV(int n, int m, double** X, double** Y) { statsdetail::NormalizeColsImpl(n, m, X, Y, true); }

void NormalizeVector(int n, const double* x, double* y) { statsdetail::NormalizeRow(n, x, y, true); }

void NormalizeColsSelectedRowsMV(int n, int m, double** X, double** Y, const int* select) {
    std::vector<double> q(m > 0 ? m : 0, 0.0);
    for (int i = 0; i < n; i++) {
        if (select[i] != 1) continue;
        for (int j = 0; j < m; j++)
            if (!statsdetail::Missing(X[i][j])) q[j] += X[i][j] * X[i][j];
    }
    for (int j = 0; j < m; j++) q[j] = statsdetail::NormOf(q[j]);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++)
            Y[i][j] = (select[i] != 1 || statsdetail::Missing(X[i][j])) ? MISSING : X[i][j] / q[j];
}

void UnitSumRowsAdj(int n, int m, double** Y, double** X) { statsdetail::UnitSumRowsImpl(n, m, Y, X, false, false); }
void UnitSumColsAdj(int n, int m, double** Y, double** X) { statsdetail::UnitSumColsImpl(n, m, Y, X, false, false); }
void UnitSumRowsAdjMV(int n, int m, double** Y, double** X) { statsdetail::UnitSumRowsImpl(n, m, Y, X, true, false); }
void UnitSumColsAdjMV(int n, int m, double** Y, double** X) { statsdetail::UnitSumColsImpl(n, m, Y, X, true, false); }
void HellingerRowsAdjMV(int n, int m, double** Y, double** X) { statsdetail::UnitSumRowsImpl(n, m, Y, X, true, true); }
void HellingerColsAdjMV(int n, int m, double** Y, double** X) { statsdetail::UnitSumColsImpl(n, m, Y, X, true, true); }

double UnitSumVectorAdjMV(int n, const double* x, double* y) {
    const double d = statsdetail::NonZero(statsdetail::RowStats(n, x, true).s);
    statsdetail::MapRow(n, x, y, true, [&](double v) { return v / d; });
    return d;
}

void MaxAdjMV(int n, const double* x, double* y) {
    double mx = 0.0;
    for (int i = 0; i < n; i++)
        if (!statsdetail::Missing(x[i]) && x[i] > mx) mx = x[i];
    const double d = statsdetail::NonZero(mx);
    statsdetail::MapRow(n, x, y, true, [&](double v) { return v / d; });
}

void RangeRowsAdjMV(int n, int m, double** X, double** Y) {
    for (int i = 0; i < n; i++) {
        statsdetail::RowStats r(m, X[i], true);
        const double d = r.k > 0 ? statsdetail::NonZero(r.mx - r.mn) : 1.0;
        statsdetail::MapRow(m, X[i], Y[i], true, [&](double v) { return v / d; });
    }
}

void RangeColsAdjMV(int n, int m, double** X, double** Y) {
    statsdetail::ColumnStats c(n, m, X, true);
    std::vector<double> d(c.k.size());
    for (int j = 0; j < m; j++) d[j] = c.k[j] > 0 ? statsdetail::NonZero(c.mx[j] - c.mn[j]) : 1.0;
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
        for (int i = 0; i < n; i++) outliers[i] = (!statsdetail::Missing(x[i]) && std::fabs(y[i]) > limit) ? 1 : 0;
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
            if (!statsdetail::Missing(X[i][j])) q[j] += (X[i][j] - mean[j]) * (X[i][j] - mean[j]);
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
    for (int j = 0; j < m; j++) q[j] = statsdetail::NormOf(q[j]);
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
            if (!statsdetail::Missing(x) && r[i] > 0.0 && c.s[j] > 0.0 && t != 0.0) {
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
            if (!statsdetail::Missing(X[i][j])) {
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
    const double v = q / statsdetail::NonZero(m - 1 > 0 ? m - 1 : 0);
    const double d = v > 0.0 ? std::sqrt(v) : 1.0;
    for (int i = 0; i < n; i++) statsdetail::MapRow(m, X[i], X[i], true, [&](double x) { return x / d; });
}

void GowerStandardizationCols(int n, int m, double** X) {
    double q = 0.0;
    for (int i = 0; i < n; i++) q += SumOfSquares(m, X[i]);
    const double v = q / statsdetail::NonZero(n - 1 > 0 ? n - 1 : 0);
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
        if (!statsdetail::Missing(x[i])) {
            values.push_back(x[i]);
            where.push_back(i);
        }
    statsdetail::RankValues(values.size(), values.data(), values.data());
    for (int i = 0; i < n; i++)
        if (statsdetail::Missing(x[i])) r[i] = MISSING;
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

// Ranking in place by buckets of value. Each value goes to one of B buckets
// by its place in the range [lo, hi] of the values; that map never puts a
// larger value in an earlier bucket, so a bucket's members take the ranks
// after those of the buckets before it. The positions are distributed to
// their buckets (32-bit, the only array as long as the values), then each
// bucket is sorted by value on its own and its tied runs take the mean of
// their ranks. Every step is shared by the team; a value's rank depends on
// the values alone.
namespace rankdetail {

// Values a thread's scan of the buckets can hold for sorting beside it;
// a larger bucket is sorted through its positions.
constexpr size_t kLocal = 4096;

struct Buckets {
    double lo, scale;
    uint32_t last;
    uint32_t Of(double x) const {
        const double b = (x - lo) * scale;
        return b >= static_cast<double>(last) ? last : static_cast<uint32_t>(b);
    }
};

// Ranks of the members of one bucket, at[0..m-1] (positions in v), whose
// first rank is first + 1.
void RankBucket(double* v, uint32_t* at, size_t m, size_t first,
                std::vector<std::pair<double, uint32_t>>& local) {
    auto give = [&](size_t from, size_t to) {
        const double rank = 0.5 * static_cast<double>(first + from + 1 + first + to);
        for (size_t q = from; q < to; q++) v[at[q]] = rank;
    };
    if (m == 1) {
        v[at[0]] = static_cast<double>(first + 1);
        return;
    }
    const double x0 = v[at[0]];
    bool allEqual = true;
    for (size_t q = 1; q < m && allEqual; q++) allEqual = v[at[q]] == x0;
    if (allEqual) {
        give(0, m);
        return;
    }
    if (m <= kLocal) {
        local.clear();
        for (size_t q = 0; q < m; q++) local.emplace_back(v[at[q]], at[q]);
        std::sort(local.begin(), local.end(),
                  [](const std::pair<double, uint32_t>& a, const std::pair<double, uint32_t>& b) {
                      return a.first < b.first;
                  });
        for (size_t q = 0; q < m; q++) at[q] = local[q].second;
    } else {
        std::sort(at, at + m, [v](uint32_t a, uint32_t b) { return v[a] < v[b]; });
    }
    // A run of equal values is found before any of its members is written.
    for (size_t from = 0; from < m;) {
        const double x = v[at[from]];
        size_t to = from + 1;
        while (to < m && v[at[to]] == x) to++;
        give(from, to);
        from = to;
    }
}

}  // namespace rankdetail

void RankInPlace(size_t k, double* v) {
    using namespace rankdetail;
    if (k == 0) return;
    // A team pays from some tens of thousands of values.
    const int team = k >= (size_t(1) << 16) ? std::max(1, omp_get_max_threads()) : 1;
    double lo = v[0], hi = v[0];
    int nan = 0;
#pragma omp parallel for num_threads(team) reduction(min : lo) reduction(max : hi) reduction(| : nan)
    for (size_t i = 0; i < k; i++) {
        lo = std::min(lo, v[i]);
        hi = std::max(hi, v[i]);
        nan |= std::isnan(v[i]) ? 1 : 0;
    }
    // Values that are not all numbers, or whose range is not one, and more
    // values than 32-bit positions count, go the plain way.
    const uint64_t fewBuckets = std::max<uint64_t>(1, k / 8);
    const uint32_t B = static_cast<uint32_t>(std::min<uint64_t>(uint64_t(1) << 13, fewBuckets));
    const double scale = B / (hi - lo);
    if (nan || !(hi > lo) || !std::isfinite(hi - lo) || !std::isfinite(scale) || k >= UINT32_MAX) {
        if (!nan && hi == lo)
            std::fill(v, v + k, 0.5 * (static_cast<double>(k) + 1.0));
        else
            statsdetail::RankValues(k, v, v);
        return;
    }
    const Buckets map{lo, scale, B - 1};
    std::vector<uint32_t> at(k);
    std::vector<uint32_t> counts(static_cast<size_t>(team) * B);
    std::vector<uint32_t> rangeTotal(team + 1);
    std::vector<std::vector<std::pair<double, uint32_t>>> local(team);
    for (auto& l : local) l.reserve(kLocal);
#pragma omp parallel num_threads(team)
    {
        const int t = omp_get_thread_num(), T = omp_get_num_threads();
        const size_t a = k * t / T, b = k * (t + 1) / T;
        uint32_t* mine = counts.data() + static_cast<size_t>(t) * B;
        for (size_t i = a; i < b; i++) mine[map.Of(v[i])]++;
#pragma omp barrier
        // Where each thread's members of each bucket go: bucket by bucket,
        // thread by thread within a bucket. Each thread sums a range of the
        // buckets, the ranges are added up, and each thread fills its own.
        const uint32_t g0 = static_cast<uint32_t>(uint64_t(B) * t / T);
        const uint32_t g1 = static_cast<uint32_t>(uint64_t(B) * (t + 1) / T);
        uint32_t total = 0;
        for (uint32_t g = g0; g < g1; g++)
            for (int u = 0; u < T; u++) total += counts[static_cast<size_t>(u) * B + g];
        rangeTotal[t + 1] = total;
#pragma omp barrier
#pragma omp single
        for (int u = 0; u < T; u++) rangeTotal[u + 1] += rangeTotal[u];
        uint32_t next = rangeTotal[t];
        for (uint32_t g = g0; g < g1; g++)
            for (int u = 0; u < T; u++) {
                uint32_t& c = counts[static_cast<size_t>(u) * B + g];
                const uint32_t here = c;
                c = next;
                next += here;
            }
#pragma omp barrier
        for (size_t i = a; i < b; i++) at[mine[map.Of(v[i])]++] = static_cast<uint32_t>(i);
#pragma omp barrier
        // Each thread's slots now end where the next thread's begin: bucket g
        // spans [start(g), start(g + 1)), start(g) = slot of thread 0 less its
        // members, that is, the end of the last thread's slots of bucket g - 1.
#pragma omp for schedule(dynamic, 64)
        for (int64_t g = 0; g < static_cast<int64_t>(B); g++) {
            const uint32_t end = counts[static_cast<size_t>(T - 1) * B + g];
            const uint32_t begin = g == 0 ? 0 : counts[static_cast<size_t>(T - 1) * B + g - 1];
            if (end > begin) RankBucket(v, at.data() + begin, end - begin, begin, local[t]);
        }
    }
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
            if (!statsdetail::Missing(X[i][j])) values.push_back(X[i][j]);
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

int GroupPositions(int n, const int* groups, int* positions) {
    std::vector<int> pos;
    const int g = statsdetail::GroupPositions(n, groups, pos);
    for (int i = 0; i < n; i++) positions[i] = pos[i] + 1;
    return g;
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
            Y[a][b] /= statsdetail::NonZero(rowSize[a] * colSize[b]);
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


// ===========================================================================
// Entropy, diversity and information measures
// ===========================================================================

#include <cfloat>
#include <climits>

#include "rhlibOut.h"

namespace info_detail {

// An order this close to 1 is Shannon's: the Renyi formula would divide a
// rounding error by a rounding error there.
constexpr double kShannonTolerance = 1e-12;

inline bool IsShannon(double alpha) { return std::fabs(alpha - 1.0) <= kShannonTolerance; }

// The order as the coherence, column-entropy and pairwise mutual-entropy
// measures have always held it: in single precision.
inline double SingleOrder(double alpha) {
    return std::fabs(alpha) <= FLT_MAX ? static_cast<double>(static_cast<float>(alpha)) : alpha;
}

inline bool Present(double v) { return v != MISSING && !std::isnan(v); }

}  // namespace info_detail

double RootOfOneLessSquare(double r) {
    // The entropies behind r carry a few units of rounding: two independent
    // variables come out with a mutual entropy of 1e-16 instead of 0, and
    // the square root would turn that noise into a coherence of 2e-8.
    const double v = 1.0 - r * r;
    return v > 16 * DBL_EPSILON ? std::sqrt(v) : 0.0;
}

namespace info_detail {

void Bell() {
    fputc(7, stdout);
    fflush(stdout);
}

// ln of the p-weighted mean of exp(delta r_i), the core of every Renyi form:
// ln(sum p_i exp(delta r_i) / sum p_i). Written naively, p^alpha underflows
// to 0 (and its logarithm to -inf) from orders of a few hundred, and the
// ratio ln(sum) / (alpha - 1) loses its digits near order 1. So: near order 1
// the sum is taken as 1 + sum p_i expm1(delta r_i) (log1p keeps the small
// difference); elsewhere the largest exponent is taken out of the sum, which
// then lies between the smallest weight and 1 and can neither underflow nor
// overflow, whatever the order.
double LogMeanExp(const std::vector<double>& weights, const std::vector<double>& r, double delta) {
    double P = 0.0;
    for (double w : weights) P += w;
    if (std::fabs(delta) <= 0.5) {
        double t = 0.0;
        for (size_t i = 0; i < r.size(); i++) t += weights[i] * std::expm1(delta * r[i]);
        return std::log1p(t / P);
    }
    double m = -HUGE_VAL;
    for (double v : r) m = std::max(m, delta * v);
    double t = 0.0;
    for (size_t i = 0; i < r.size(); i++) t += weights[i] * std::exp(delta * r[i] - m);
    return m + std::log(t / P);
}

// Renyi entropy of order alpha of proportions that are all above 0:
// ln(sum p^alpha) / (1 - alpha) = -ln(sum p p^(alpha-1)) / (alpha - 1). As the
// order grows it tends to the min-entropy -ln(max p), which it reaches in
// double precision long before the largest order accepted.
double Renyi(const std::vector<double>& p, double alpha) {
    if (IsShannon(alpha)) {
        double s = 0.0;
        for (double v : p) s += v * std::log(v);
        return std::fabs(s);
    }
    if (p.empty()) return 0.0;
    std::vector<double> logs(p.size());
    for (size_t i = 0; i < p.size(); i++) logs[i] = std::log(p[i]);
    const double delta = alpha - 1.0;
    return -LogMeanExp(p, logs, delta) / delta;
}

// The positive entries of x divided by their total.
std::vector<double> Proportions(int n, const double* x) {
    double total = 0.0;
    for (int i = 0; i < n; i++)
        if (x[i] > 0) total += x[i];
    std::vector<double> p;
    if (!(total > 0)) return p;
    for (int i = 0; i < n; i++)
        if (x[i] > 0) p.push_back(x[i] / total);
    return p;
}

// Totals of a two-way table over its non-missing cells.
struct Margins {
    double total = 0.0;
    std::vector<double> rows, cols;
    Margins(int n, int p, double** T) : rows(n, 0.0), cols(p, 0.0) {
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++) {
                double v = T[i][j];
                if (v == MISSING) continue;
                rows[i] += v;
                cols[j] += v;
                total += v;
            }
    }
};

// Totals of a three-way table over its non-missing cells: one-way and
// two-way margins.
struct Margins3 {
    int a, b, c;
    double total = 0.0;
    std::vector<double> ni, nj, nk, nij, nik, njk;
    Margins3(int a_, int b_, int c_, double*** T)
        : a(a_), b(b_), c(c_), ni(a_, 0.0), nj(b_, 0.0), nk(c_, 0.0),
          nij(static_cast<size_t>(a_) * b_, 0.0), nik(static_cast<size_t>(a_) * c_, 0.0),
          njk(static_cast<size_t>(b_) * c_, 0.0) {
        for (int i = 0; i < a; i++)
            for (int j = 0; j < b; j++)
                for (int k = 0; k < c; k++) {
                    double v = T[i][j][k];
                    if (v == MISSING) continue;
                    total += v;
                    ni[i] += v;
                    nj[j] += v;
                    nk[k] += v;
                    nij[static_cast<size_t>(i) * b + j] += v;
                    nik[static_cast<size_t>(i) * c + k] += v;
                    njk[static_cast<size_t>(j) * c + k] += v;
                }
    }
};

// Divergence of cell proportions p from reference proportions e over the
// cells with p > 0: sum p ln(p/e) at order 1, otherwise
// ln(sum p^alpha e^(1-alpha)) / (alpha - 1), taken as
// ln(sum p (p/e)^(alpha-1)) / (alpha - 1) in the stable form of LogMeanExp;
// its limit as the order grows is ln(max p/e). cell(f) calls f(p, e) per cell.
template <class Cells>
double Divergence(double alpha, Cells cells) {
    bool shannon = IsShannon(alpha);
    double s = 0.0;
    std::vector<double> weights, ratios;
    cells([&](double p, double e) {
        if (!(p > 0) || !(e > 0)) return;
        if (shannon) {
            s += p * std::log(p / e);
        } else {
            weights.push_back(p);
            // Two logarithms: p / e can overflow or underflow where they cannot.
            ratios.push_back(std::log(p) - std::log(e));
        }
    });
    if (shannon) return s;
    if (weights.empty()) return 0.0;
    const double delta = alpha - 1.0;
    return LogMeanExp(weights, ratios, delta) / delta;
}

// Divergence of a three-way table from reference(margins, i, j, k).
template <class Reference>
double Divergence3(int a, int b, int c, double*** T3, double alpha, Reference reference) {
    Margins3 g(a, b, c, T3);
    if (!(g.total > 0)) return 0.0;
    return Divergence(alpha, [&](auto cell) {
        for (int i = 0; i < a; i++)
            for (int j = 0; j < b; j++)
                for (int k = 0; k < c; k++) {
                    double v = T3[i][j][k];
                    if (v == MISSING || !(v > 0)) continue;
                    cell(v / g.total, reference(g, i, j, k));
                }
    });
}

int ToInt(double v) {
    if (!(v >= INT_MIN)) return INT_MIN;
    if (v > INT_MAX) return INT_MAX;
    return static_cast<int>(v);
}

// The states of a nominal vector in order of first appearance (values
// truncated toward zero; missing values take no part) and, for every
// position, the index of its state (-1 where missing). Returns their number.
int ListStates(int q, const double* x, int* index, std::vector<double>& states) {
    std::vector<std::pair<double, int>> v;
    v.reserve(q > 0 ? static_cast<size_t>(q) : 0);
    for (int k = 0; k < q; k++) {
        index[k] = -1;
        if (Present(x[k])) v.emplace_back(std::trunc(x[k]), k);
    }
    std::sort(v.begin(), v.end());
    // Runs of one value, each with its first position.
    struct Run {
        int first;
        size_t from, to;
    };
    std::vector<Run> runs;
    for (size_t r = 0; r < v.size();) {
        size_t e = r;
        while (e < v.size() && v[e].first == v[r].first) e++;
        runs.push_back({v[r].second, r, e});
        r = e;
    }
    std::sort(runs.begin(), runs.end(), [](const Run& p, const Run& q2) { return p.first < q2.first; });
    states.clear();
    for (size_t s = 0; s < runs.size(); s++) {
        states.push_back(v[runs[s].from].first);
        for (size_t e = runs[s].from; e < runs[s].to; e++) index[v[e].second] = static_cast<int>(s);
    }
    return static_cast<int>(runs.size());
}

// The nominal rows of a table with their state lists, for the tables of
// every pair or triplet of rows.
struct NominalRows {
    int m, q, maxStates = 0;
    std::vector<int> index;  // m x q state indices, -1 where missing
    std::vector<std::vector<double>> states;
    NominalRows(int m_, int q_, double** X)
        : m(m_), q(q_), index(static_cast<size_t>(m_) * (q_ > 0 ? q_ : 0)), states(m_) {
        for (int i = 0; i < m; i++) {
            int s = ListStates(q, X[i], Row(i), states[i]);
            maxStates = std::max(maxStates, s);
        }
    }
    int* Row(int i) { return index.data() + static_cast<size_t>(i) * q; }
    const int* Row(int i) const { return index.data() + static_cast<size_t>(i) * q; }
    int Count(int i) const { return static_cast<int>(states[i].size()); }
};

void Table2(const NominalRows& R, int i, int j, double** T) {
    int a = R.Count(i), b = R.Count(j);
    for (int r = 0; r < a; r++)
        for (int c = 0; c < b; c++) T[r][c] = 0.0;
    const int *x = R.Row(i), *y = R.Row(j);
    for (int k = 0; k < R.q; k++)
        if (x[k] >= 0 && y[k] >= 0) T[x[k]][y[k]] += 1.0;
}

void Table3(const NominalRows& R, int i, int j, int l, double*** T) {
    int a = R.Count(i), b = R.Count(j), c = R.Count(l);
    for (int r = 0; r < a; r++)
        for (int s = 0; s < b; s++)
            for (int t = 0; t < c; t++) T[r][s][t] = 0.0;
    const int *x = R.Row(i), *y = R.Row(j), *z = R.Row(l);
    for (int k = 0; k < R.q; k++)
        if (x[k] >= 0 && y[k] >= 0 && z[k] >= 0) T[x[k]][y[k]][z[k]] += 1.0;
}

void WriteStates(FILE* f, const char* title, const std::vector<double>& states) {
    fprintf(f, title, static_cast<int>(states.size()));
    for (double s : states) fprintf(f, "%d\t", ToInt(s));
}

void WriteTable(FILE* f, const std::vector<double>& rowStates, const std::vector<double>& colStates,
                double** T) {
    WriteStates(f, "Row states (%d): ", rowStates);
    WriteStates(f, "\nColumn states (%d): ", colStates);
    fprintf(f, "\n");
    PrintMatrixFloat(f, static_cast<int>(rowStates.size()), static_cast<int>(colStates.size()), T, 6,
                     0);
}

void WriteTable3(FILE* f, const std::vector<double>& firstStates, const std::vector<double>& rowStates,
                 const std::vector<double>& colStates, double*** T) {
    WriteStates(f, "Row states (%d): ", rowStates);
    WriteStates(f, "\nColumn states (%d): ", colStates);
    fprintf(f, "\n");
    for (size_t s = 0; s < firstStates.size(); s++)
        PrintMatrixFloat(f, static_cast<int>(rowStates.size()), static_cast<int>(colStates.size()),
                         T[s], 6, 0);
}

// Whether the tables file last asked for was written whole.
bool tablesWritten = false;

// Fills the upper triangle with the diagonal of R with measure(a, b, T) of
// the table of every pair of rows, writing the tables to "Tables.txt" when
// asked.
template <class Measure>
bool PairwiseTables(int m, int q, double** X, double** R, bool printTables, Measure measure) {
    if (!CheckStateCodes(m, q, X)) return false;
    NominalRows rows(m, q, X);
    int side = std::max(rows.maxStates, 1);
    double** T = dim2DT<double>(side, side);
    FILE* f = printTables ? fopenck("Tables.txt", nullptr, "w") : nullptr;
    tablesWritten = false;
    for (int i = 0; i < m; i++)
        for (int j = i; j < m; j++) {
            Table2(rows, i, j, T);
            if (f) {
                fprintf(f, "\nContingency table var.%d x var.%d:\n", i + 1, j + 1);
                WriteTable(f, rows.states[i], rows.states[j], T);
            }
            R[i][j] = measure(rows.Count(i), rows.Count(j), T);
        }
    if (f) tablesWritten = fcloseck(f, "Tables.txt");
    free2DT(T, side);
    return true;
}

// Information divergence of two abundance rows over the attributes present
// in both; with totals, also the totals of those attributes.
double Divergence2(int q, const double* x, const double* y, double* tx, double* ty) {
    double s = 0.0, sx = 0.0, sy = 0.0;
    for (int k = 0; k < q; k++) {
        double u = x[k], v = y[k];
        if (u == MISSING || v == MISSING) continue;
        sx += u;
        sy += v;
        double t = u + v;
        if (!(t > 0)) continue;
        if (u > 0) s += u * std::log(2.0 * u / t);
        if (v > 0) s += v * std::log(2.0 * v / t);
    }
    if (tx) *tx = sx;
    if (ty) *ty = sy;
    return s;
}

// Distance d_ij from a resemblance: the dissimilarity itself or 1 - s, and its
// square root when asked (of 0 when rounding left it just below).
inline double RaoDistance(double r, bool isDissimilarity, bool sqrtOpt) {
    double d = isDissimilarity ? r : 1.0 - r;
    if (sqrtOpt) d = d > 0 ? std::sqrt(d) : 0.0;
    return d;
}

// The pair weight: w_i w_j when multiply, else 1 when either weight is 1.
inline double PairWeight(const int* w, int i, int j, bool multiply) {
    if (multiply) return static_cast<double>(w[i]) * w[j];
    return (w[i] == 1 || w[j] == 1) ? 1.0 : 0.0;
}

// Rao's quadratic entropy: the sum over all i, j of p_i p_j d_ij weight(i, j).
template <class Distance, class Weight>
double Rao(int n, const double* x, Distance distance, Weight weight) {
    double total = 0.0;
    for (int i = 0; i < n; i++)
        if (x[i] != MISSING) total += x[i];
    if (!(total > 0)) return 0.0;
    double q = 0.0;
    for (int i = 0; i < n; i++) {
        if (x[i] == MISSING) continue;
        double pi = x[i] / total;
        for (int j = 0; j < n; j++) {
            if (x[j] == MISSING) continue;
            double d;
            if (!distance(i, j, d)) continue;
            q += pi * (x[j] / total) * d * weight(i, j);
        }
    }
    return q;
}

// Rao's entropy with the distances of a resemblance matrix (missing entries
// left out). The upper triangle of D is first copied onto its lower one, so
// that a caller holding only the upper triangle gets a whole matrix back.
template <class Weight>
double RaoWithMatrix(int n, const double* x, double** D, bool isDissimilarity, bool sqrtOpt,
                     Weight weight) {
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) D[j][i] = D[i][j];
    return Rao(
        n, x,
        [&](int i, int j, double& d) {
            double r = D[i][j];
            if (r == MISSING) return false;
            d = RaoDistance(r, isDissimilarity, sqrtOpt);
            return true;
        },
        weight);
}

// Number of communities holding each species and of species in each community.
void Occupancy(int s, int c, double** X, std::vector<double>& f, std::vector<double>& r) {
    f.assign(s, 0.0);
    r.assign(c, 0.0);
    for (int i = 0; i < s; i++)
        for (int j = 0; j < c; j++)
            if (X[i][j] > 0) {
                f[i] += 1;
                r[j] += 1;
            }
}

bool CheckAbsentSpecies(const std::vector<double>& f) {
    for (size_t i = 0; i < f.size(); i++)
        if (f[i] == 0) {
            fprintf(stderr, "\nCheck species in row %d. It is completely absent!\n", static_cast<int>(i) + 1);
            Bell();
            return false;
        }
    return true;
}

}  // namespace info_detail

// --- Entropy of a vector -----------------------------------------------------

double EntropyVector(int n, const double* x, double alpha) {
    return info_detail::Renyi(info_detail::Proportions(n, x), alpha);
}

double EntropyVectorCodeLength(int n, const double* x, double alpha, double* code) {
    if (!info_detail::IsShannon(alpha)) return EntropyVector(n, x, alpha);
    // The entropy from the code lengths themselves: one logarithm a cell,
    // and the same terms, in the same order, as EntropyVector sums. Whether
    // an amount is above 0 is as unforeseeable as the data: the total adds
    // +0 for the others (no bit changes), and the positions of the amounts
    // above 0 are listed without a branch before the logarithms.
    double total = 0.0;
    for (int i = 0; i < n; i++) total += x[i] > 0 ? x[i] : 0.0;
    if (!(total > 0)) return 0.0;
    std::vector<int> positive(n);
    int m = 0;
    for (int i = 0; i < n; i++) {
        positive[m] = i;
        m += x[i] > 0;
    }
    double s = 0.0;
    for (int t = 0; t < m; t++) {
        const int i = positive[t];
        const double p = x[i] / total, l = std::log(p);
        code[i] = -l;
        s += p * l;
    }
    return std::fabs(s);
}

// --- Entropies of a table ------------------------------------------------------

int EntropyOrderCount(double alphaFrom, double alphaTo, double alphaStep) {
    // Orders alphaFrom + k alphaStep while they do not pass alphaTo. The
    // quotient is rounded when it is a whole number but for the binary error
    // of the step (0.2 / 0.1), and cut down otherwise, so that no order
    // beyond alphaTo is computed.
    if (!(alphaStep > 0)) return alphaFrom <= alphaTo ? 1 : 0;
    double r = (alphaTo - alphaFrom) / alphaStep;
    if (!(r > -0.5)) return 0;
    if (r > 1e7) r = 1e7;
    double whole = std::round(r);
    double k = std::fabs(r - whole) <= 1e-9 * std::max(1.0, whole) ? whole : std::floor(r);
    if (k < 0) return 0;
    return static_cast<int>(k) + 1;
}

int EntropyMV(int n, int p, double** T, double* joint, double* colEnt, double* rowEnt,
              double alphaFrom, double alphaTo, double alphaStep) {
    using namespace info_detail;
    Margins g(n, p, T);
    std::vector<double> cells, rows, cols;
    if (g.total > 0) {
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++)
                if (T[i][j] != MISSING && T[i][j] > 0) cells.push_back(T[i][j] / g.total);
        for (double v : g.rows)
            if (v > 0) rows.push_back(v / g.total);
        for (double v : g.cols)
            if (v > 0) cols.push_back(v / g.total);
    }
    int count = EntropyOrderCount(alphaFrom, alphaTo, alphaStep);
    for (int k = 0; k < count; k++) {
        double alpha = alphaFrom + k * alphaStep;
        joint[k] = Renyi(cells, alpha);
        rowEnt[k] = Renyi(rows, alpha);
        colEnt[k] = Renyi(cols, alpha);
    }
    return count;
}

int Entropy_MV(int n, int p, double** T, double* joint, double* colEnt, double* rowEnt,
               double* mutual, double* rajski, double* coherence, double alphaFrom,
               double alphaTo, double alphaStep) {
    int count = EntropyMV(n, p, T, joint, colEnt, rowEnt, alphaFrom, alphaTo, alphaStep);
    for (int k = 0; k < count; k++) {
        mutual[k] = rowEnt[k] + colEnt[k] - joint[k];
        if (mutual[k] < 0) {
            mutual[k] = 0.0;
            rajski[k] = 1.0;
            coherence[k] = 0.0;
        } else if (!(joint[k] > 0)) {
            // One occupied cell: both variables are constant and agree.
            rajski[k] = 0.0;
            coherence[k] = 1.0;
        } else {
            rajski[k] = 1.0 - mutual[k] / joint[k];
            coherence[k] = RootOfOneLessSquare(rajski[k]);
        }
    }
    return count;
}

double CoheCoefMV(int n, int p, double** T, double alpha) {
    double joint, col, row, mutual, rajski, coherence;
    double order = info_detail::SingleOrder(alpha);
    Entropy_MV(n, p, T, &joint, &col, &row, &mutual, &rajski, &coherence, order, order, 0.0);
    return coherence;
}

double EntropyRows(int n, int p, double** T, double alpha) {
    info_detail::Margins g(n, p, T);
    return EntropyVector(n, g.rows.data(), alpha);
}

double EntropyCols(int n, int p, double** T, double alpha) {
    info_detail::Margins g(n, p, T);
    return EntropyVector(p, g.cols.data(), info_detail::SingleOrder(alpha));
}

double MutualEntropyMV(int n, int p, double** T, double alpha) {
    using namespace info_detail;
    Margins g(n, p, T);
    if (!(g.total > 0)) return 0.0;
    double G = g.total;
    return Divergence(alpha, [&](auto cell) {
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++)
                if (T[i][j] != MISSING) cell(T[i][j] / G, (g.rows[i] / G) * (g.cols[j] / G));
    });
}

double MutualEntropy3D_MV(int a, int b, int c, double*** T3, double alpha) {
    // Kirkwood reference p_ij p_ik p_jk / (p_i p_j p_k): the totals cancel, so
    // the ratio of counts is already a proportion.
    return info_detail::Divergence3(a, b, c, T3, alpha, [b, c](const info_detail::Margins3& g, int i, int j, int k) {
        double two = g.nij[static_cast<size_t>(i) * b + j] * g.nik[static_cast<size_t>(i) * c + k] *
                     g.njk[static_cast<size_t>(j) * c + k];
        double one = g.ni[i] * g.nj[j] * g.nk[k];
        return one > 0 ? two / one : 0.0;
    });
}

double ThreeWayInteraction_MV(int a, int b, int c, double*** T3, double alpha) {
    return info_detail::Divergence3(a, b, c, T3, alpha, [](const info_detail::Margins3& g, int i, int j, int k) {
        double G = g.total;
        return (g.ni[i] / G) * (g.nj[j] / G) * (g.nk[k] / G);
    });
}

double QuiSquareFromContingencyMV(int n, int p, double** T) {
    info_detail::Margins g(n, p, T);
    if (!(g.total > 0)) return 0.0;
    double x2 = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) {
            if (T[i][j] == MISSING) continue;
            double e = g.rows[i] * g.cols[j] / g.total;
            if (!(e > 0)) continue;
            double d = T[i][j] - e;
            x2 += d * d / e;
        }
    return x2;
}

// --- Contingency tables ---------------------------------------------------------

void ContingencyVector(int n, const double* x, double* freq, int* nStates, int* states) {
    std::vector<int> index(n > 0 ? n : 0);
    std::vector<double> list;
    int s = info_detail::ListStates(n, x, index.data(), list);
    for (int k = 0; k < s; k++) {
        states[k] = info_detail::ToInt(list[k]);
        freq[k] = 0.0;
    }
    for (int i = 0; i < n; i++)
        if (index[i] >= 0) freq[index[i]] += 1.0;
    *nStates = s;
}

int ContingencyStateIndex(int n, const double* x, int* index) {
    std::vector<double> list;
    return info_detail::ListStates(n, x, index, list);
}

void ContingencyMV(int q, const double* x, const double* y, double** T, int dims[2], FILE* file) {
    using namespace info_detail;
    std::vector<int> ix(q > 0 ? q : 0), iy(q > 0 ? q : 0);
    std::vector<double> sx, sy;
    int a = ListStates(q, x, ix.data(), sx), b = ListStates(q, y, iy.data(), sy);
    for (int r = 0; r < a; r++)
        for (int c = 0; c < b; c++) T[r][c] = 0.0;
    for (int k = 0; k < q; k++)
        if (ix[k] >= 0 && iy[k] >= 0) T[ix[k]][iy[k]] += 1.0;
    dims[0] = a;
    dims[1] = b;
    if (file) WriteTable(file, sx, sy, T);
}

void Contingency3D_MV(int q, const double* x, const double* y, const double* z, double*** T3,
                      int dims[3], FILE* file) {
    using namespace info_detail;
    size_t n = q > 0 ? static_cast<size_t>(q) : 0;
    std::vector<int> ix(n), iy(n), iz(n);
    std::vector<double> sx, sy, sz;
    int a = ListStates(q, x, ix.data(), sx), b = ListStates(q, y, iy.data(), sy),
        c = ListStates(q, z, iz.data(), sz);
    for (int r = 0; r < a; r++)
        for (int s = 0; s < b; s++)
            for (int t = 0; t < c; t++) T3[r][s][t] = 0.0;
    for (int k = 0; k < q; k++)
        if (ix[k] >= 0 && iy[k] >= 0 && iz[k] >= 0) T3[ix[k]][iy[k]][iz[k]] += 1.0;
    dims[0] = a;
    dims[1] = b;
    dims[2] = c;
    if (file) WriteTable3(file, sx, sy, sz, T3);
}

bool CheckStateCodes(int m, int q, double** X) {
    for (int i = 0; i < m; i++)
        for (int k = 0; k < q; k++) {
            double v = X[i][k];
            if (v == MISSING) continue;
            if (std::isfinite(v) && v == std::trunc(v) && v >= INT_MIN && v <= INT_MAX) continue;
            // The rows compared are variables or sampling units as the
            // caller chose: the value is named, not its place.
            fprintf(stderr,
                    "\nQualitative variables must hold whole-number states: %g is not one. Nothing "
                    "was computed.\n",
                    v);
            info_detail::Bell();
            return false;
        }
    return true;
}

// --- Pairwise measures on nominal rows ---------------------------------------------

bool MutualEntropyPairwiseMV(int m, int q, double** X, double** R, double alpha,
                             bool printTables) {
    double order = info_detail::SingleOrder(alpha);
    return info_detail::PairwiseTables(m, q, X, R, printTables, [order](int a, int b, double** T) {
        return MutualEntropyMV(a, b, T, order);
    });
}

bool TablesFileWritten() { return info_detail::tablesWritten; }

bool CoheCoefPairwiseMV(int m, int q, double** X, double** R, double alpha, bool printTables) {
    return info_detail::PairwiseTables(m, q, X, R, printTables, [alpha](int a, int b, double** T) {
        return CoheCoefMV(a, b, T, alpha);
    });
}

bool MDISMV(int m, int q, double** X, double** R, bool printTables) {
    return info_detail::PairwiseTables(m, q, X, R, printTables, [](int a, int b, double** T) {
        info_detail::Margins g(a, b, T);
        return 2.0 * g.total * MutualEntropyMV(a, b, T, 1.0);
    });
}

bool QuiSquareMV(int m, int q, double** X, double** R, bool printTables) {
    return info_detail::PairwiseTables(m, q, X, R, printTables, [](int a, int b, double** T) {
        return QuiSquareFromContingencyMV(a, b, T);
    });
}

bool MutualEntropyTripletsMV(int m, int q, double** X, double*** R3, double alpha,
                             bool printTables) {
    using namespace info_detail;
    if (!CheckStateCodes(m, q, X)) return false;
    NominalRows rows(m, q, X);
    int side = std::max(rows.maxStates, 1);
    double*** T = dim3DT<double>(side, side, side);
    FILE* f = printTables ? fopenck("Tables3D.txt", nullptr, "w") : nullptr;
    for (int i = 0; i < m; i++)
        for (int j = i; j < m; j++)
            for (int k = j; k < m; k++) {
                Table3(rows, i, j, k, T);
                if (f) {
                    fprintf(f, "\nContingency table var.%d x var.%d:\n", i + 1, j + 1);
                    WriteTable3(f, rows.states[i], rows.states[j], rows.states[k], T);
                }
                R3[i][j][k] = MutualEntropy3D_MV(rows.Count(i), rows.Count(j), rows.Count(k), T, alpha);
            }
    if (f) fcloseck(f, "Tables3D.txt");
    free3DT(T, side, side);
    return true;
}

// --- Information divergence and mutual information -----------------------------------

void IDivergenceMV(int m, int q, double** X, double** R) {
    for (int i = 0; i < m; i++)
        for (int j = i; j < m; j++) R[i][j] = info_detail::Divergence2(q, X[i], X[j], nullptr, nullptr);
}

void IDivergenceNeighbours(int m, int q, double** X, double** R, int lag) {
    if (lag < 0) return;
    for (int i = 0; i + lag < m; i++)
        R[i][i + lag] = info_detail::Divergence2(q, X[i], X[i + lag], nullptr, nullptr);
}

void MutualInformationMV(int m, int q, double** X, double** R) {
    // The divergence less the same divergence of the two totals: the total of
    // the two-row table times the mutual information between row and column.
    // Totals are taken over the attributes that entered the divergence.
    for (int i = 0; i < m; i++)
        for (int j = i; j < m; j++) {
            double ti, tj;
            double d = info_detail::Divergence2(q, X[i], X[j], &ti, &tj);
            double t = ti + tj;
            if (t > 0) {
                if (ti > 0) d -= ti * std::log(2.0 * ti / t);
                if (tj > 0) d -= tj * std::log(2.0 * tj / t);
            }
            R[i][j] = d;
        }
}

// --- Rao's quadratic entropy --------------------------------------------------------

double RaoIndex(int n, const double* x, double** D, bool isDissimilarity, bool sqrtOpt) {
    return info_detail::RaoWithMatrix(n, x, D, isDissimilarity, sqrtOpt, [](int, int) { return 1.0; });
}

double RaoIndex(int n, const double* x, double** S, bool sqrtOpt) {
    return RaoIndex(n, x, S, false, sqrtOpt);
}

double RaoIndex_Simpson(int n, const double* x, double** D, bool isDissimilarity, bool sqrtOpt) {
    if (D) return RaoIndex(n, x, D, isDissimilarity, sqrtOpt);
    return info_detail::Rao(
        n, x,
        [](int i, int j, double& d) {
            d = 1.0;
            return i != j;
        },
        [](int, int) { return 1.0; });
}

double RaoIndex_Weight(int n, const double* x, double** D, bool isDissimilarity, bool sqrtOpt,
                       const int* w, bool multiply) {
    return info_detail::RaoWithMatrix(n, x, D, isDissimilarity, sqrtOpt, [&](int i, int j) {
        return info_detail::PairWeight(w, i, j, multiply);
    });
}

double RaoIndex_Weight(int n, const double* x, double** D, bool isDissimilarity, const int* w,
                       bool multiply) {
    // Similarities become the distance sqrt(1 - s); dissimilarities are used as they are.
    return RaoIndex_Weight(n, x, D, isDissimilarity, !isDissimilarity, w, multiply);
}

bool RaoIndex_Weight_Matrix(int m, int n, double** X, double** D, double* Q,
                            bool isDissimilarity, bool sqrtOpt, const int* w, bool multiply,
                            bool relative) {
    using namespace info_detail;
    std::vector<double> x(n > 0 ? n : 0);
    std::vector<int> present(x.size());
    for (int i = 0; i < m; i++) {
        double total = 0.0;
        for (int j = 0; j < n; j++)
            if (X[i][j] != MISSING) total += X[i][j];
        // A pair with a quantity of 0 adds 0 to every sum, so the pairs are
        // taken among the entities present: community tables are sparse, and
        // the permutation tests call this once per arrangement.
        int count = 0;
        for (int j = 0; j < n; j++) {
            double v = X[i][j];
            if (relative && v != MISSING) v = total > 0 ? v / total : 0.0;
            x[j] = v;
            if (v != MISSING && v != 0.0) present[count++] = j;
        }
        double sum = 0.0, entered = 0.0, all = 0.0;
        for (int a = 0; a < count; a++) {
            const int j = present[a];
            for (int b = a + 1; b < count; b++) {
                const int k = present[b];
                double xx = x[j] * x[k];
                all += xx;
                double r = D[j][k];
                if (r == MISSING) continue;
                entered += xx;
                double weight = w ? PairWeight(w, j, k, multiply) : 1.0;
                sum += RaoDistance(r, isDissimilarity, sqrtOpt) * xx * weight;
            }
        }
        if (entered > 0 && all > 0) sum *= all / entered;
        Q[i] = 2.0 * sum;
    }
    return true;
}

// --- Library-only measures -------------------------------------------------------------

double SumAbsDeviations(int n, const double* x, const double* y, bool squared) {
    double sx = 0.0, sy = 0.0;
    for (int i = 0; i < n; i++) {
        if (x[i] == MISSING || y[i] == MISSING) continue;
        sx += x[i];
        sy += y[i];
    }
    if (!(sx > 0) || !(sy > 0)) return 0.0;
    double s = 0.0;
    for (int i = 0; i < n; i++) {
        if (x[i] == MISSING || y[i] == MISSING) continue;
        double d = x[i] / sx - y[i] / sy;
        s += squared ? d * d : std::fabs(d);
    }
    return 0.5 * s;
}

int CompareVector(int n, const double* x, const double* y) {
    for (int i = 0; i < n; i++)
        if (x[i] != y[i]) return 0;
    return 1;
}

void FlorulaFrequencies(int n, int p, double** X, int* nPatterns, double* freq) {
    // Patterns as bit strings of the rows, one per column.
    int words = (n + 63) / 64;
    std::vector<uint64_t> pattern(static_cast<size_t>(p > 0 ? p : 0) * words, 0);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++)
            if (X[i][j] > 0) pattern[static_cast<size_t>(j) * words + (i >> 6)] |= uint64_t{1} << (i & 63);
    std::vector<int> first;  // the first column of each distinct pattern
    for (int j = 0; j < p; j++) {
        const uint64_t* pj = pattern.data() + static_cast<size_t>(j) * words;
        size_t k = 0;
        for (; k < first.size(); k++)
            if (std::equal(pj, pj + words, pattern.data() + static_cast<size_t>(first[k]) * words)) break;
        if (k == first.size()) {
            first.push_back(j);
            freq[k] = 0.0;
        }
        freq[k] += 1.0;
    }
    *nPatterns = static_cast<int>(first.size());
}

int ValenceInvalence(int s, int c, double** X, double* localValence, double* floristicValence,
                     double* localInvalence, double* floristicInvalence, double alpha) {
    using namespace info_detail;
    std::vector<double> f, r;
    Occupancy(s, c, X, f, r);
    if (!CheckAbsentSpecies(f)) return 0;
    for (int j = 0; j < c; j++)
        if (r[j] == 0) {
            fprintf(stderr, "\nCheck community in column %d. It is completely empty!\n", j + 1);
            Bell();
            return 0;
        }
    std::vector<double> fInv(s), rVal(c), rInv(c);
    for (int i = 0; i < s; i++) fInv[i] = c - f[i];
    for (int j = 0; j < c; j++) {
        rVal[j] = r[j] / c;
        rInv[j] = (s - r[j]) / c;
    }
    *localValence = EntropyVector(s, f.data(), alpha);
    *localInvalence = EntropyVector(s, fInv.data(), alpha);
    *floristicValence = EntropyVector(c, rVal.data(), alpha);
    *floristicInvalence = EntropyVector(c, rInv.data(), alpha);
    return 1;
}

namespace info_detail {

// One of the four values of ValenceInvalence (0 when they cannot be computed).
double Valence(int s, int c, double** X, double alpha, int which) {
    double v[4] = {0, 0, 0, 0};
    if (!ValenceInvalence(s, c, X, &v[0], &v[1], &v[2], &v[3], alpha)) return 0.0;
    return v[which];
}

}  // namespace info_detail

double LocalValence(int s, int c, double** X, double alpha) {
    return info_detail::Valence(s, c, X, alpha, 0);
}

double FloristicValence(int s, int c, double** X, double alpha) {
    return info_detail::Valence(s, c, X, alpha, 1);
}

double LocalInvalence(int s, int c, double** X, double alpha) {
    return info_detail::Valence(s, c, X, alpha, 2);
}

double FloristicInvalence(int s, int c, double** X, double alpha) {
    return info_detail::Valence(s, c, X, alpha, 3);
}

double LocalDistinctiveness(int s, int c, double** X, double alpha) {
    using namespace info_detail;
    std::vector<double> f, r;
    Occupancy(s, c, X, f, r);
    if (!CheckAbsentSpecies(f)) return 0.0;
    double sum = 0.0;
    for (int i = 0; i < s; i++) {
        double pair[2] = {f[i], c - f[i]};
        sum += EntropyVector(2, pair, alpha);
    }
    return sum;
}

double FlorulaDiversity(int s, int c, double** X, double alpha) {
    std::vector<double> freq(c > 0 ? c : 0);
    int patterns = 0;
    FlorulaFrequencies(s, c, X, &patterns, freq.data());
    return EntropyVector(patterns, freq.data(), alpha);
}


// ===========================================================================
// Matrix comparisons
// ===========================================================================

#include <limits>

namespace compare_detail {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

inline bool Missing(double x) { return x == MISSING; }

// Pearson's r from the centred sums; 0 when either side has no spread, NaN
// when a sum is not a number (a matrix holding NaN or an infinity has no
// correlation to report, and 0 would pass for "no relation").
inline double Correlation(double sxy, double sxx, double syy) {
    if (std::isnan(sxy) || std::isnan(sxx) || std::isnan(syy)) return NaN;
    return sxx > 0.0 && syy > 0.0 ? sxy / std::sqrt(sxx * syy) : 0.0;
}

// Calls f(a, b) for every pair i < j in which neither A nor B holds MISSING.
template <class F>
void ForEachPair(int n, double** A, double** B, F&& f) {
    for (int i = 0; i < n; i++) {
        const double* a = A[i];
        const double* b = B[i];
        for (int j = i + 1; j < n; j++)
            if (!Missing(a[j]) && !Missing(b[j])) f(a[j], b[j]);
    }
}

// Pearson correlation of the pairs that each(f) hands to f(a, b), in two
// passes (means, then centred sums) so that large common offsets cost no
// precision. 0 when either side has no spread.
template <class Each>
double Pearson(Each&& each) {
    double sa = 0.0, sb = 0.0;
    long long m = 0;
    each([&](double a, double b) {
        sa += a;
        sb += b;
        m++;
    });
    if (m < 2) return 0.0;
    const double ma = sa / m, mb = sb / m;
    double saa = 0.0, sbb = 0.0, sab = 0.0;
    each([&](double a, double b) {
        const double da = a - ma, db = b - mb;
        saa += da * da;
        sbb += db * db;
        sab += da * db;
    });
    return Correlation(sab, saa, sbb);
}

template <class Keep>
double PairPearson(int n, double** A, double** B, Keep keep) {
    return Pearson([&](auto f) {
        ForEachPair(n, A, B, [&](double a, double b) {
            if (keep(a, b)) f(a, b);
        });
    });
}

bool HasMissingUpper(int n, double** A) {
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++)
            if (Missing(A[i][j])) return true;
    return false;
}

// The columns of X (n x p) centred over their non-missing values into C (n x
// at least p), missing cells then set to 0 so that they add nothing to a
// cross-product. Missing is read from X: a centred value may be -999 without
// being missing.
void CentreZeroFill(int n, int p, double** X, double** C) {
    CenterColsMV(n, p, X, C);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++)
            if (Missing(X[i][j])) C[i][j] = 0.0;
}

// <A A', B B'>, <A A', A A'> and <B B', B B'> (Frobenius products of the n x
// n inner-product matrices), by whichever of two exact routes is cheaper: the
// inner products pair by pair (n^2 (a + b)) or the sums of squares of the
// cross-products A' B, A' A and B' B (n (a + b)^2).
void GramProducts(int n, int a, int b, double** A, double** B, double& ab, double& aa, double& bb) {
    ab = aa = bb = 0.0;
    if (n < a + b) {
        for (int i = 0; i < n; i++)
            for (int j = i; j < n; j++) {
                double ga = 0.0, gb = 0.0;
                for (int k = 0; k < a; k++) ga += A[i][k] * A[j][k];
                for (int k = 0; k < b; k++) gb += B[i][k] * B[j][k];
                const double w = i == j ? 1.0 : 2.0;
                ab += w * ga * gb;
                aa += w * ga * ga;
                bb += w * gb * gb;
            }
        return;
    }
    auto squares = [n](int r, int c, double** L, double** R) {
        ScopedMatrix<double> C(r, c);
        CrossProductCols(n, r, c, L, R, C);
        double s = 0.0;
        for (int i = 0; i < r; i++)
            for (int j = 0; j < c; j++) s += C[i][j] * C[i][j];
        return s;
    };
    ab = squares(a, b, A, B);
    aa = squares(a, a, A, A);
    bb = squares(b, b, B, B);
}

double RVFrom(double ab, double aa, double bb) {
    const double d = aa * bb;
    return d > 0.0 ? ab / std::sqrt(d) : NaN;
}

// X (n x p) standardised for Procrustes into S (n x k, k >= p, columns from
// p left as the caller made them): columns centred over their non-missing
// values, missing cells 0, the whole scaled to a total sum of squares of
// n - 1 (as GowerStandardizationCols, which would take a centred -999 for a
// missing value).
void ProcrustesStandardised(int n, int p, double** X, double** S) {
    CentreZeroFill(n, p, X, S);
    double ss = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) ss += S[i][j] * S[i][j];
    const double v = ss / (n > 1 ? n - 1 : 1), d = v > 0.0 ? std::sqrt(v) : 1.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) S[i][j] /= d;
}

// SX (n x cx, cx >= p) and SY (n x cy, cy >= q): X and Y standardised,
// zero-filled beyond their own columns; C (cx x cy) = SX' SY / (n - 1).
void ProcrustesCross(int n, int p, int q, double** X, double** Y, int cx, int cy, double** SX, double** SY,
                     double** C) {
    ProcrustesStandardised(n, p, X, SX);
    ProcrustesStandardised(n, q, Y, SY);
    CrossProductCols(n, cx, cy, SX, SY, C);
    ScalarMatrixProd(cx, cy, 1.0 / (n > 1 ? n - 1 : 1), C, C);
}

// Sum of the singular values of C (r x c); U, s and V as SingValueDecomp
// gives them. Returns false when the decomposition fails.
bool SingularSum(int r, int c, double** C, double** U, double* s, double** V, double& sum) {
    sum = 0.0;
    if (!SingValueDecomp(r, c, C, U, s, V)) return false;
    for (int k = 0; k < std::min(r, c); k++) sum += s[k];
    return true;
}

// The partial correlation of A and B given Z from the three correlations.
double PartialFromCorrelations(double rAB, double rAZ, double rBZ) {
    // A or B a linear function of Z: undefined, also when rounding leaves
    // 1 - r^2 a hair above 0.
    const double eps = 1e-12;
    const double da = 1.0 - rAZ * rAZ, db = 1.0 - rBZ * rBZ;
    if (!(da > eps) || !(db > eps)) return NaN;
    return (rAB - rAZ * rBZ) / std::sqrt(da * db);
}

// The (1 - s) copy of a similarity matrix, MISSING kept.
void Complement(int n, double** S, double** D) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) D[i][j] = Missing(S[i][j]) ? MISSING : 1.0 - S[i][j];
}

}  // namespace compare_detail

double MatrixCorr(int n, double** A, double** B) {
    return compare_detail::PairPearson(n, A, B, [](double, double) { return true; });
}

double PartialMatrixCorr(int n, double** A, double** B, double** Z) {
    using compare_detail::Missing;
    auto each = [&](auto f) {
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++) {
                const double a = A[i][j], b = B[i][j], z = Z[i][j];
                if (!Missing(a) && !Missing(b) && !Missing(z)) f(a, b, z);
            }
    };
    double sa = 0.0, sb = 0.0, sz = 0.0;
    long long m = 0;
    each([&](double a, double b, double z) {
        sa += a;
        sb += b;
        sz += z;
        m++;
    });
    double saa = 0.0, sbb = 0.0, szz = 0.0, sab = 0.0, saz = 0.0, sbz = 0.0;
    if (m > 0) {
        const double ma = sa / m, mb = sb / m, mz = sz / m;
        each([&](double a, double b, double z) {
            const double da = a - ma, db = b - mb, dz = z - mz;
            saa += da * da;
            sbb += db * db;
            szz += dz * dz;
            sab += da * db;
            saz += da * dz;
            sbz += db * dz;
        });
    }
    using compare_detail::Correlation;
    return compare_detail::PartialFromCorrelations(Correlation(sab, saa, sbb), Correlation(saz, saa, szz),
                                                   Correlation(sbz, sbb, szz));
}

double RdMatrixCorr(int n, double** A, double** B, bool squared) {
    using namespace compare_detail;
    if (HasMissingUpper(n, A) || HasMissingUpper(n, B)) return NaN;
    ScopedMatrix<double> GA(n, n), GB(n, n);
    GowerMatrixCentering(n, A, GA, squared);
    GowerMatrixCentering(n, B, GB, squared);
    return Pearson([&](auto f) {
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) f(GA[i][j], GB[i][j]);
    });
}

double MatrixStressKruskal(int n, double** A, double** B) {
    double num = 0.0, den = 0.0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) {
        num += (a - b) * (a - b);
        den += 0.25 * (a + b) * (a + b);
    });
    return den > 0.0 ? std::sqrt(num / den) : -1.0;
}

double vecProd(int n, double** A, double** B) {
    double s = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) s += A[i][j] * B[i][j];
    return s;
}

double MatrixStress(int n, double** A, double** B) {
    const double r = MatrixCorr(n, A, B);
    return 1.0 - r * r;
}

double MatrixCov(int n, double** A, double** B) {
    double sa = 0.0, sb = 0.0;
    long long m = 0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) {
        sa += a;
        sb += b;
        m++;
    });
    if (m < 2) return 0.0;
    const double ma = sa / m, mb = sb / m;
    double sab = 0.0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) { sab += (a - ma) * (b - mb); });
    return sab / (m - 1);
}

double MatrixCos(int n, double** A, double** B) {
    double saa = 0.0, sbb = 0.0, sab = 0.0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) {
        saa += a * a;
        sbb += b * b;
        sab += a * b;
    });
    return saa > 0.0 && sbb > 0.0 ? sab / std::sqrt(saa * sbb) : 0.0;
}

double MatrixRankCorr(int n, double** A, double** B) {
    std::vector<double> a, b;
    compare_detail::ForEachPair(n, A, B, [&](double x, double y) {
        a.push_back(x);
        b.push_back(y);
    });
    const int m = static_cast<int>(a.size());
    for (int k = 0; k < m; k++)
        if (std::isnan(a[k]) || std::isnan(b[k])) return compare_detail::NaN;
    std::vector<double> ra(a.size()), rb(b.size());
    RankVectorAdj(m, a.data(), ra.data());
    RankVectorAdj(m, b.data(), rb.data());
    return compare_detail::Pearson([&](auto f) {
        for (int k = 0; k < m; k++) f(ra[k], rb[k]);
    });
}

namespace compare_detail {
// Pairs that are not double zeros.
inline bool NotDoubleZero(double a, double b) { return !(std::fabs(a) < 1e-6 && std::fabs(b) < 1e-6); }
}  // namespace compare_detail

double MatrixCorrAdj(int n, double** A, double** B) {
    return compare_detail::PairPearson(n, A, B, compare_detail::NotDoubleZero);
}

double MatrixProdMomentAdj(int n, double meanA, double meanB, double** A, double** B) {
    double s = 0.0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) {
        if (compare_detail::NotDoubleZero(a, b)) s += (a - meanA) * (b - meanB);
    });
    return s;
}

double MatrixAbsValDist(int n, double** A, double** B) {
    double s = 0.0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) { s += std::fabs(a - b); });
    return s;
}

double MatrixEudDist(int n, double** A, double** B) {
    double s = 0.0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) { s += (a - b) * (a - b); });
    return std::sqrt(s);
}

double MatrixDist(int n, double** A, double** B) {
    double s = 0.0;
    long long m = 0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) {
        s += (a - b) * (a - b);
        m++;
    });
    return m > 0 ? std::sqrt(s / m) : 0.0;
}

namespace compare_detail {
template <class Term>
double CellDeviations(int n, int p, double** A, double** B, Term term) {
    double s = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++)
            if (!Missing(A[i][j]) && !Missing(B[i][j])) s += term(A[i][j] - B[i][j]);
    return 1.0 - s / (2.0 * n);
}
}  // namespace compare_detail

double SQMatrixDeviations(int n, int p, double** A, double** B) {
    return compare_detail::CellDeviations(n, p, A, B, [](double d) { return d * d; });
}

double SumAbsMatrixDeviations(int n, int p, double** A, double** B) {
    return compare_detail::CellDeviations(n, p, A, B, [](double d) { return std::fabs(d); });
}

double MatrixCorrelationLib(int n, int p, int q, double** X, double** Y, double** A, double** B,
                            bool aIsDissimilarity, bool bIsDissimilarity, bool rdSquared, char code) {
    switch (code) {
        case 'm': {
            // Pearson's r of 1 - s and d is minus that of s and d: the
            // conversion is a change of sign when the kinds differ.
            const double r = MatrixCorr(n, A, B);
            return aIsDissimilarity == bIsDissimilarity ? r : -r;
        }
        case 'r': {
            ScopedMatrix<double> CA(aIsDissimilarity ? 0 : n, n), CB(bIsDissimilarity ? 0 : n, n);
            if (!aIsDissimilarity) compare_detail::Complement(n, A, CA);
            if (!bIsDissimilarity) compare_detail::Complement(n, B, CB);
            return RdMatrixCorr(n, aIsDissimilarity ? A : CA.x, bIsDissimilarity ? B : CB.x, rdSquared);
        }
        case 'v':
            return RVcoeff(n, p, q, X, Y);
        case 'p':
            return ProcrustesCoeff(n, p, q, X, Y);
        default:
            return 0.0;
    }
}

double MatrixCorrelationLib(int n, int p, int q, double** X, double** Y, double** A, double** B,
                            bool isDissimilarity, char code) {
    return MatrixCorrelationLib(n, p, q, X, Y, A, B, isDissimilarity, isDissimilarity, false, code);
}

double RVcoeff(int n, int p, int q, double** X, double** Y) {
    using namespace compare_detail;
    ScopedMatrix<double> CX(n, p), CY(n, q);
    CentreZeroFill(n, p, X, CX);
    CentreZeroFill(n, q, Y, CY);
    double ab, aa, bb;
    GramProducts(n, p, q, CX, CY, ab, aa, bb);
    return RVFrom(ab, aa, bb);
}

double RVcoeff_OLD(int n, int p, int q, double** X, double** Y) {
    ScopedMatrix<double> CX(n, p), CY(n, q), TX(p, n), TY(q, n), WX(n, n), WY(n, n);
    CenterColsMV(n, p, X, CX);
    CenterColsMV(n, q, Y, CY);
    TransposeMatrix(n, p, CX, TX);
    TransposeMatrix(n, q, CY, TY);
    MatrixProd(n, p, p, n, CX, TX, WX);
    MatrixProd(n, q, q, n, CY, TY, WY);
    return compare_detail::RVFrom(vecProd(n, WX, WY), vecProd(n, WX, WX), vecProd(n, WY, WY));
}

double ProcrustesCoeff(int n, int p, int q, double** X, double** Y) {
    using namespace compare_detail;
    // Symmetric in X and Y: the one with fewer columns goes first.
    if (p > q) {
        std::swap(p, q);
        std::swap(X, Y);
    }
    if (n < 1 || p < 1) return 0.0;
    ScopedMatrix<double> SX(n, p), SY(n, q), C(p, q), U(p, p), V(q, p);
    std::vector<double> s(p);
    ProcrustesCross(n, p, q, X, Y, p, q, SX, SY, C);
    double t = 0.0;
    return SingularSum(p, q, C, U, s.data(), V, t) ? t : 0.0;
}

double ProcrustesCoeff(int n, int p, int q, double** X, double** Y, double** fit) {
    using namespace compare_detail;
    const int k = std::max(p, q);
    if (n < 1 || k < 1) return 0.0;
    ScopedMatrix<double> SX(n, k), SY(n, k), C(k, k), U(k, k), V(k, k), rot(k, k);
    std::vector<double> s(k);
    ProcrustesCross(n, p, q, X, Y, k, k, SX, SY, C);
    double t = 0.0;
    if (!SingularSum(k, k, C, U, s.data(), V, t)) {
        for (int i = 0; i < n; i++)
            for (int j = 0; j < k; j++) fit[i][j] = 0.0;
        return 0.0;
    }
    // rot = V U': maximises trace(Xs' Ys rot) over the orthogonal matrices.
    for (int a = 0; a < k; a++)
        for (int b = 0; b < k; b++) {
            double v = 0.0;
            for (int c = 0; c < k; c++) v += V[a][c] * U[b][c];
            rot[a][b] = v;
        }
    MatrixProd(n, k, k, k, SY, rot, fit);
    ScalarMatrixProd(n, k, t, fit, fit);
    return t;
}

double ProcrustesCoeff_T(int p, int q, int n, double** X, double** Y, double** fit) {
    ScopedMatrix<double> TX(n, p), TY(n, q);
    TransposeMatrix(p, n, X, TX);
    TransposeMatrix(q, n, Y, TY);
    return ProcrustesCoeff(n, p, q, TX, TY, fit);
}

void ProcrustesAdjT(int kX, int kY, int n, double** X, double** Y, double** fit, double* dist) {
    if (kX < 1) return;
    std::vector<double> meanX(kX, 0.0);
    ScopedMatrix<double> Xc(kX, n), Yc(kY, n);
    auto centre = [n](int k, double** S, double** C, double* means) {
        for (int a = 0; a < k; a++) {
            double m = 0.0;
            for (int i = 0; i < n; i++) m += S[a][i];
            m = n > 0 ? m / n : 0.0;
            if (means) means[a] = m;
            for (int i = 0; i < n; i++) C[a][i] = S[a][i] - m;
        }
    };
    centre(kX, X, Xc, meanX.data());
    centre(kY, Y, Yc, nullptr);

    // M = Xc Yc' = U W V'; the rotation Q = V U' (kY x kX) turns Y's axes
    // towards X's.
    const int r = std::min(kX, kY);
    ScopedMatrix<double> M(kX, kY), U(kX, r > 0 ? r : 1), V(kY > 0 ? kY : 1, r > 0 ? r : 1), Q(kY, kX);
    std::vector<double> w(r > 0 ? r : 1);
    for (int a = 0; a < kX; a++)
        for (int b = 0; b < kY; b++) M[a][b] = CrossProduct2Vec(n, Xc[a], Yc[b]);
    if (r > 0 && SingValueDecomp(kX, kY, M, U, w.data(), V))
        for (int b = 0; b < kY; b++)
            for (int a = 0; a < kX; a++) {
                double v = 0.0;
                for (int c = 0; c < r; c++) v += V[b][c] * U[a][c];
                Q[b][a] = v;
            }

    // The rotated configuration, one row per axis: (Yc' Q)'.
    for (int a = 0; a < kX; a++)
        for (int i = 0; i < n; i++) {
            double v = 0.0;
            for (int b = 0; b < kY; b++) v += Yc[b][i] * Q[b][a];
            fit[a][i] = v;
        }
    double num = 0.0, den = 0.0;
    for (int a = 0; a < kX; a++) num += CrossProduct2Vec(n, fit[a], Xc[a]);
    for (int b = 0; b < kY; b++) den += CrossProduct2Vec(n, Yc[b], Yc[b]);
    const double scale = den > 0.0 ? num / den : 0.0;
    for (int a = 0; a < kX; a++) {
        for (int i = 0; i < n; i++) fit[a][i] *= scale;
        if (dist) dist[a] = EucliDistSq2Vec(n, Xc[a], fit[a]);
        for (int i = 0; i < n; i++) fit[a][i] += meanX[a];
    }
}

void ProcrustesAdjT(int kX, int kY, int n, double** X, double** Y, double** fit) {
    ProcrustesAdjT(kX, kY, n, X, Y, fit, nullptr);
}

double ProcrustesAdj(int n, int kX, int kY, double** X, double** Y, double** fit, double* dist) {
    ScopedMatrix<double> TX(kX, n), TY(kY, n), TF(kX, n);
    TransposeMatrix(n, kX, X, TX);
    TransposeMatrix(n, kY, Y, TY);
    ProcrustesAdjT(kX, kY, n, TX, TY, TF, dist);
    TransposeMatrix(kX, n, TF, fit);
    return 0.0;
}

double ProcrustesCoeff_OLD(int n, int k, double** X, double** Y) {
    ScopedMatrix<double> fit(n, k);
    ProcrustesAdj(n, k, k, X, Y, fit, nullptr);
    double e = 0.0, t = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < k; j++) {
            e += (X[i][j] - fit[i][j]) * (X[i][j] - fit[i][j]);
            t += X[i][j] * X[i][j];
        }
    if (!(t > 0.0)) return compare_detail::NaN;
    return 2.0 * (1.0 - std::sqrt(1.0 - e / t));
}

// --- The statistics on permuted units ---------------------------------------

namespace compare_detail {

// For each of K permutations (perm[k], inverse inv[k], from 0): the sum over
// the pairs i < j (i <= j with the diagonal) of G[perm[i]][perm[j]] w[i][j],
// for w1 and, when given, w2; w packed by rows from rowStart. The sum is
// taken row by row of G (row a is row i = inv[a] of the arrangement), so
// that a block of permutations reads each row of G once while it is in the
// cache. Four partial sums a row, so that the additions do not wait on one
// another.
void GatherDots(int n, bool diagonal, double** G, int K, const int* perm, const int* inv, const long long* rowStart,
                const double* w1, const double* w2, double* d1, double* d2) {
    double a[PermutedComparison::kBlock][4] = {}, b[PermutedComparison::kBlock][4] = {};
    for (int r = 0; r < n; r++) {
        const double* g = G[r];
        for (int k = 0; k < K; k++) {
            const int i = inv[k * n + r], from = diagonal ? i : i + 1, m = n - from;
            const int* id = perm + k * n + from;
            const double* x = w1 + rowStart[i];
            double* s = a[k];
            int q = 0;
            if (w2) {
                const double* y = w2 + rowStart[i];
                double* t = b[k];
                for (; q + 4 <= m; q += 4)
                    for (int u = 0; u < 4; u++) {
                        const double v = g[id[q + u]];
                        s[u] += v * x[q + u];
                        t[u] += v * y[q + u];
                    }
                for (; q < m; q++) {
                    s[0] += g[id[q]] * x[q];
                    t[0] += g[id[q]] * y[q];
                }
            } else {
                for (; q + 4 <= m; q += 4)
                    for (int u = 0; u < 4; u++) s[u] += g[id[q + u]] * x[q + u];
                for (; q < m; q++) s[0] += g[id[q]] * x[q];
            }
        }
    }
    for (int k = 0; k < K; k++) {
        d1[k] = (a[k][0] + a[k][1]) + (a[k][2] + a[k][3]);
        d2[k] = (b[k][0] + b[k][1]) + (b[k][2] + b[k][3]);
    }
}

// C (a x b) = sum over i of the outer product of row ia[i] of A (n x a) and
// row ib[i] of B (n x b); a null index is the identity. The inner loop runs
// over b (callers put the wider table second) and takes four units at a
// time, so that C is read and written once for four products.
void CrossOfRows(int n, int a, int b, double** A, const int* ia, double** B, const int* ib, double** C) {
    for (int x = 0; x < a; x++) std::fill(C[x], C[x] + b, 0.0);
    auto rowA = [&](int i) { return A[ia ? ia[i] : i]; };
    auto rowB = [&](int i) { return B[ib ? ib[i] : i]; };
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const double *a0 = rowA(i), *a1 = rowA(i + 1), *a2 = rowA(i + 2), *a3 = rowA(i + 3);
        const double *b0 = rowB(i), *b1 = rowB(i + 1), *b2 = rowB(i + 2), *b3 = rowB(i + 3);
        for (int x = 0; x < a; x++) {
            const double f0 = a0[x], f1 = a1[x], f2 = a2[x], f3 = a3[x];
            double* c = C[x];
            for (int y = 0; y < b; y++) c[y] += (f0 * b0[y] + f1 * b1[y]) + (f2 * b2[y] + f3 * b3[y]);
        }
    }
    for (; i < n; i++) {
        const double* ar = rowA(i);
        const double* br = rowB(i);
        for (int x = 0; x < a; x++) {
            const double f = ar[x];
            double* c = C[x];
            for (int y = 0; y < b; y++) c[y] += f * br[y];
        }
    }
}

// M packed by rows above (with diagonal: on and above) the diagonal, each
// entry less mean; the diagonal halved so that twice the packed sum is the
// sum over all cells. Returns the sum of squares of what it packs over the
// same cells (all cells with the diagonal).
double Pack(int n, double** M, double mean, bool diagonal, double* w) {
    double ss = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = diagonal ? i : i + 1; j < n; j++) {
            const double d = M[i][j] - mean;
            *w++ = i == j ? 0.5 * d : d;
            ss += i == j ? d * d : (diagonal ? 2.0 : 1.0) * d * d;
        }
    return ss;
}

// Mean of the entries above the diagonal, or of all cells with the diagonal
// (M symmetric).
double MeanOf(int n, double** M, bool diagonal) {
    double s = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = diagonal ? i : i + 1; j < n; j++) s += i == j || !diagonal ? M[i][j] : 2.0 * M[i][j];
    const double cells = diagonal ? static_cast<double>(n) * n : 0.5 * n * (n - 1.0);
    return cells > 0 ? s / cells : 0.0;
}

bool Symmetric(int n, double** M) {
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++)
            if (M[i][j] != M[j][i]) return false;
    return true;
}

bool HasMissingAbove(int n, double** M, bool diagonal) {
    for (int i = 0; i < n; i++)
        for (int j = diagonal ? i : i + 1; j < n; j++)
            if (Missing(M[i][j])) return true;
    return false;
}

}  // namespace compare_detail

PermutedComparison::PermutedComparison(Statistic statistic, int n, double** P, double** F, double** Z, bool squared)
    : statistic_(statistic), n_(n > 0 ? n : 0), p_(0), q_(0), squared_(squared), P_(P), F_(F), Z_(Z) {
    idx_ = dim1DT<int>(kBlock * n_);
    inv_ = dim1DT<int>(kBlock * n_);
    PrepareMatrices(P, F, Z);
}

PermutedComparison::PermutedComparison(Statistic statistic, int n, int p, int q, double** P, double** F)
    : statistic_(statistic), n_(n > 0 ? n : 0), p_(p > 0 ? p : 0), q_(q > 0 ? q : 0), squared_(false), P_(P),
      F_(F), Z_(nullptr) {
    idx_ = dim1DT<int>(kBlock * n_);
    inv_ = dim1DT<int>(kBlock * n_);
    PrepareTables(P, F);
}

PermutedComparison::~PermutedComparison() {
    const int lo = std::min(p_, q_), hi = std::max(p_, q_);
    free1D(idx_);
    free1D(inv_);
    free1D(rowStart_);
    free2DT(gather_, gather_ ? n_ : 0);
    free1D(w1_);
    free1D(w2_);
    free2DT(fixedT_, fixedT_ ? n_ : 0);
    free2DT(permT_, permT_ ? n_ : 0);
    free2DT(cross_, cross_ ? lo : 0);
    free2DT(u_, u_ ? lo : 0);
    free2DT(v_, v_ ? hi : 0);
    free1D(s_);
    free2DT(random_, random_ ? n_ : 0);
}

namespace compare_detail {
// Where each packed row begins: rows of n - i entries (with the diagonal) or
// n - i - 1. Returns the number of entries.
long long RowStarts(int n, bool diagonal, long long* start) {
    long long at = 0;
    for (int i = 0; i < n; i++) {
        start[i] = at;
        at += diagonal ? n - i : n - i - 1;
    }
    return at;
}
}  // namespace compare_detail

void PermutedComparison::PrepareMatrices(double** P, double** F, double** Z) {
    using namespace compare_detail;
    const int n = n_;
    const bool rd = statistic_ == kRd, partial = statistic_ == kPartialMantel;
    // The gather reads P in both triangles and takes the fixed side's pairs
    // as they stand: MISSING pairs, which the plain routines leave out pair
    // by pair, and a P whose triangles differ go the plain way.
    plain_ = HasMissingAbove(n, P, rd) || !Symmetric(n, P) || HasMissingAbove(n, F, rd) ||
             (partial && HasMissingAbove(n, Z, false));
    if (plain_) {
        random_ = dim2DT<double>(n, n);
        return;
    }
    rowStart_ = dim1DT<long long>(n);
    const long long cells = RowStarts(n, rd, rowStart_);
    gather_ = dim2DT<double>(n, n);
    w1_ = dim1DT<double>(static_cast<int>(cells));
    if (rd) {
        // Centring commutes with permuting rows and columns together: the
        // centred P' is the centred P read in permuted order.
        ScopedMatrix<double> GF(n, n);
        GowerMatrixCentering(n, P, gather_, squared_);
        GowerMatrixCentering(n, F, GF, squared_);
        const double mP = MeanOf(n, gather_, true);
        sums_[0] = 0.0;
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) {
                gather_[i][j] -= mP;
                sums_[0] += gather_[i][j] * gather_[i][j];
            }
        sums_[1] = Pack(n, GF, MeanOf(n, GF, true), true, w1_);
        return;
    }
    const double mP = MeanOf(n, P, false);
    sums_[0] = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            gather_[i][j] = P[i][j] - mP;
            if (j > i) sums_[0] += gather_[i][j] * gather_[i][j];
        }
    sums_[1] = Pack(n, F, MeanOf(n, F, false), false, w1_);
    if (partial) {
        w2_ = dim1DT<double>(static_cast<int>(cells));
        sums_[2] = Pack(n, Z, MeanOf(n, Z, false), false, w2_);
        double fz = 0.0;
        for (long long k = 0; k < cells; k++) fz += w1_[k] * w2_[k];
        sums_[3] = Correlation(fz, sums_[1], sums_[2]);
    }
}

void PermutedComparison::PrepareTables(double** P, double** F) {
    using namespace compare_detail;
    const int n = n_, p = p_, q = q_;
    fixedT_ = dim2DT<double>(n, q);
    permT_ = dim2DT<double>(n, p);
    if (statistic_ == kProcrustes) {
        // Centring by column and scaling the whole table are the same for
        // the rows in any order.
        ProcrustesStandardised(n, q, F, fixedT_);
        ProcrustesStandardised(n, p, P, permT_);
        const int lo = std::min(p, q), hi = std::max(p, q);
        cross_ = dim2DT<double>(lo, hi);
        u_ = dim2DT<double>(lo, lo);
        v_ = dim2DT<double>(hi, lo);
        s_ = dim1DT<double>(lo);
        return;
    }
    CentreZeroFill(n, q, F, fixedT_);
    CentreZeroFill(n, p, P, permT_);
    double ab;
    GramProducts(n, q, p, fixedT_, permT_, ab, sums_[0], sums_[1]);
    // <F F', P' P'> is a gather over the n x n inner products of P (n^2 / 2
    // terms read in permuted order) or the sum of squares of F' P' (npq
    // terms in order, some four times cheaper each): whichever costs less.
    gram_ = 2.0 * (n + 1.0) < static_cast<double>(p) * q;
    if (gram_) {
        rowStart_ = dim1DT<long long>(n);
        gather_ = dim2DT<double>(n, n);
        w1_ = dim1DT<double>(static_cast<int>(RowStarts(n, true, rowStart_)));
        ScopedMatrix<double> WF(n, n);
        for (int i = 0; i < n; i++)
            for (int j = i; j < n; j++) {
                WF[i][j] = WF[j][i] = CrossProduct2Vec(q, fixedT_[i], fixedT_[j]);
                gather_[i][j] = gather_[j][i] = CrossProduct2Vec(p, permT_[i], permT_[j]);
            }
        Pack(n, WF, 0.0, true, w1_);
    } else {
        cross_ = dim2DT<double>(std::min(p, q), std::max(p, q));
    }
}

double PermutedComparison::operator()(const int* list) {
    double value = 0.0;
    if (list) {
        Evaluate(1, list, &value);
        return value;
    }
    std::vector<int> identity(n_);
    for (int i = 0; i < n_; i++) identity[i] = i + 1;
    Evaluate(1, identity.data(), &value);
    return value;
}

void PermutedComparison::Evaluate(int count, const int* lists, double* values) {
    const int n = n_;
    for (int from = 0; from < count; from += kBlock) {
        const int K = std::min(kBlock, count - from);
        for (int k = 0; k < K; k++)
            for (int i = 0; i < n; i++) {
                const int unit = lists[static_cast<long long>(from + k) * n + i] - 1;
                idx_[k * n + i] = unit;
                inv_[k * n + unit] = i;
            }
        if (gather_) {
            MatrixStatistics(K, values + from);
        } else {
            for (int k = 0; k < K; k++)
                values[from + k] = plain_ ? PlainStatistic(idx_ + k * n) : TableStatistic(idx_ + k * n);
        }
    }
}

void PermutedComparison::MatrixStatistics(int K, double* values) {
    using compare_detail::Correlation;
    const bool whole = statistic_ == kRd || statistic_ == kRV;
    double d1[kBlock], d2[kBlock];
    compare_detail::GatherDots(n_, whole, gather_, K, idx_, inv_, rowStart_, w1_,
                               statistic_ == kPartialMantel ? w2_ : nullptr, d1, d2);
    for (int k = 0; k < K; k++) switch (statistic_) {
            case kMantel:
                values[k] = Correlation(d1[k], sums_[0], sums_[1]);
                break;
            case kPartialMantel:
                values[k] = compare_detail::PartialFromCorrelations(
                    Correlation(d1[k], sums_[0], sums_[1]), Correlation(d2[k], sums_[0], sums_[2]), sums_[3]);
                break;
            case kRd:
                values[k] = Correlation(2.0 * d1[k], sums_[0], sums_[1]);
                break;
            default:  // RV by inner products
                values[k] = compare_detail::RVFrom(2.0 * d1[k], sums_[0], sums_[1]);
        }
}

double PermutedComparison::TableStatistic(const int* idx) {
    using namespace compare_detail;
    const int n = n_, p = p_, q = q_, lo = std::min(p, q), hi = std::max(p, q);
    if (lo < 1 || n < 1) return statistic_ == kRV ? NaN : 0.0;
    // The narrower table first; either orientation has the same singular
    // values and sum of squares.
    if (q <= p)
        CrossOfRows(n, q, p, fixedT_, nullptr, permT_, idx, cross_);
    else
        CrossOfRows(n, p, q, permT_, idx, fixedT_, nullptr, cross_);
    if (statistic_ == kRV) {
        double ab = 0.0;
        for (int x = 0; x < lo; x++)
            for (int y = 0; y < hi; y++) ab += cross_[x][y] * cross_[x][y];
        return RVFrom(ab, sums_[0], sums_[1]);
    }
    double t = 0.0;
    if (!SingularSum(lo, hi, cross_, u_, s_, v_, t)) return 0.0;
    return t / (n > 1 ? n - 1 : 1);
}

double PermutedComparison::PlainStatistic(const int* idx) {
    const int n = n_;
    const bool rd = statistic_ == kRd;
    for (int i = 0; i < n; i++) {
        const double* row = P_[idx[i]];
        // Rd's centring reads the diagonal: it moves with its unit.
        for (int j = rd ? i : i + 1; j < n; j++) random_[i][j] = row[idx[j]];
    }
    switch (statistic_) {
        case kMantel:
            return MatrixCorr(n, random_, F_);
        case kPartialMantel:
            return PartialMatrixCorr(n, random_, F_, Z_);
        default:
            return RdMatrixCorr(n, F_, random_, squared_);
    }
}
