// ===========================================================================
// Descriptive statistics, standardisations and ranks
// ===========================================================================

#include "rhlibRes_M.h"

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
#include "rhlibRes_M_internal.h"
#include "rhlib_M.h"

namespace statsdetail {

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
    UpperToLowerMatrix(n, R);
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
        UpperToLowerMatrix(n, R);
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
    UpperToLowerMatrix(n, R);
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
    UpperToLowerMatrix(n, R);
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
