// ===========================================================================
// Partial correlations, communality and binarisation
// ===========================================================================

#include "rhlib_M.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

#include "nrutilRH.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

double PartialCorrelation_GeneralProc(int /*p*/, double** R, int i, int j, int k, int* covariables) {
    // A variable with itself correlates 1, whatever the matrix holds there.
    auto r = [R](int a, int b) { return a == b ? 1.0 : R[a][b]; };
    if (k <= 0) return r(i, j);
    const int* c = covariables;
    // The 1-based copy that the elimination inverts in place: on the stack for
    // the orders that permutation tests ask for thousands of times per run.
    constexpr int kStackOrder = 16;
    double stackCells[(kStackOrder + 1) * (kStackOrder + 1)];
    double* stackRows[kStackOrder + 1];
    int stackWork[3 * (kStackOrder + 1)];
    std::vector<double> heapCells;
    std::vector<double*> heapRows;
    std::vector<int> heapWork;
    double* cells = stackCells;
    double** G = stackRows;
    int* work = stackWork;
    if (k > kStackOrder) {
        heapCells.resize(static_cast<size_t>(k + 1) * (k + 1));
        heapRows.resize(k + 1);
        heapWork.resize(3 * (static_cast<size_t>(k) + 1));
        cells = heapCells.data();
        G = heapRows.data();
        work = heapWork.data();
    }
    for (int a = 0; a <= k; a++) G[a] = cells + static_cast<size_t>(a) * (k + 1);
    for (int a = 0; a < k; a++)
        for (int b = 0; b < k; b++) G[a + 1][b + 1] = r(c[a], c[b]);
    bool inverts = gaussj_RH(G, k, work);
    // Diagonal entry a of the inverse is 1 / (1 - R2), R2 the squared multiple
    // correlation of covariable a with the others. Covariables collinear in
    // the data come out of their correlations a few units in the last place
    // off (an indicator repeated may correlate 1 + 1e-15 with itself), the
    // elimination then finds a pivot of rounding noise, and the result would
    // be a number of no meaning: they fail, as an exact zero pivot does.
    constexpr double kCollinear = 1e10;
    for (int a = 0; inverts && a < k; a++) inverts = G[a + 1][a + 1] > 0 && G[a + 1][a + 1] < kCollinear;
    // S = A - B G^-1 B', the 2 x 2 covariances of i and j given the covariables.
    double s00 = 1.0, s11 = 1.0, s01 = r(i, j);
    if (inverts) {
        for (int a = 0; a < k; a++)
            for (int b = 0; b < k; b++) {
                const double g = G[a + 1][b + 1];
                s00 -= r(i, c[a]) * g * r(i, c[b]);
                s11 -= r(j, c[a]) * g * r(j, c[b]);
                s01 -= r(i, c[a]) * g * r(j, c[b]);
            }
    }
    const double failed = std::numeric_limits<double>::infinity();
    // A conditional variance of 0 or less (rounding, or a matrix that is no
    // correlation matrix) has no square root: a failure, never NaN.
    if (!inverts || !(s00 > 0) || !(s11 > 0)) return failed;
    const double result = s01 / std::sqrt(s00 * s11);
    return std::isfinite(result) ? result : failed;
}

namespace communality_detail {

// The leading m x m block of a covariance matrix S (n x n) is singular for
// every m beyond the first variable that depends on those before it, and
// the LDL' factorisation of a leading block is the leading part of the whole
// one: one pass finds the first pivot of rounding size (the tolerance of
// MatrixInverse), and so the size of the largest block likely to invert.
int FirstNegligiblePivot(int n, double** S) {
    double biggest = 0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) biggest = std::max(biggest, std::fabs(S[i][j]));
    const double tolerance = n * DBL_EPSILON * biggest;
    std::vector<double> L(static_cast<size_t>(n) * n, 0.0), LD(static_cast<size_t>(n) * n, 0.0), d(n);
    for (int k = 0; k < n; k++) {
        const double* lk = &L[static_cast<size_t>(k) * n];
        double dk = S[k][k];
        for (int j = 0; j < k; j++) dk -= lk[j] * LD[static_cast<size_t>(k) * n + j];
        if (!(dk > tolerance)) return k;
        d[k] = dk;
        for (int i = k + 1; i < n; i++) {
            double s = S[i][k];
            const double* li = &L[static_cast<size_t>(i) * n];
            const double* ldk = &LD[static_cast<size_t>(k) * n];
            for (int j = 0; j < k; j++) s -= li[j] * ldk[j];
            L[static_cast<size_t>(i) * n + k] = s / dk;
        }
        for (int i = k + 1; i < n; i++)
            LD[static_cast<size_t>(i) * n + k] = L[static_cast<size_t>(i) * n + k] * dk;
    }
    return n;
}

// The largest m whose leading block of S inverts (MatrixInverse decides), its
// inverse left in the leading block of inv; 0 when none does. The whole
// matrix is tried first; otherwise the factorisation proposes a size and
// MatrixInverse moves from there, up while the next block inverts or down
// until one does, instead of trying every size from the top (hundreds of
// inversions when many variables depend on others).
int LargestInvertibleBlock(int n, double** S, double** inv) {
    if (n < 1) return 0;
    if (MatrixInverse(n, n, S, inv)) return n;
    int m = std::max(1, std::min(FirstNegligiblePivot(n, S), n - 1));
    if (MatrixInverse(m, m, S, inv)) {
        while (m + 1 < n && MatrixInverse(m + 1, m + 1, S, inv)) m++;
        return m;
    }
    while (--m > 0 && !MatrixInverse(m, m, S, inv)) {
    }
    return m;
}

}  // namespace communality_detail

bool Communality(int nVariables, int nUnits, double** X, double* communality, int* kept) {
    const int n = nVariables;
    for (int v = 0; v < n; v++) communality[v] = MISSING;
    *kept = 0;
    if (n < 1) return true;
    // The variables with most entries above 0 first.
    std::vector<int> positives(n, 0), ascending(n), variable(n);
    for (int v = 0; v < n; v++)
        for (int u = 0; u < nUnits; u++) positives[v] += X[v][u] > 0 ? 1 : 0;
    IndexVector(n, positives.data(), ascending.data());
    double** W = dim2DT<double>(n, nUnits > 0 ? nUnits : 1);
    for (int r = 0; r < n; r++) {
        variable[r] = ascending[n - 1 - r] - 1;
        std::copy(X[variable[r]], X[variable[r]] + nUnits, W[r]);
    }
    CenterRowsCovMV(n, nUnits, W, W);
    // The covariances once; each smaller set of variables is a leading block.
    double** S = dim2DT<double>(n, n);
    double** inverse = dim2DT<double>(n, n);
    CrossProductMV(n, nUnits, W, S);
    const int m = communality_detail::LargestInvertibleBlock(n, S, inverse);
    for (int s = 0; s < m; s++)
        communality[variable[s]] = (S[s][s] - 1.0 / inverse[s][s]) / S[s][s];
    *kept = m;
    free2DT(inverse, n);
    free2DT(S, n);
    free2DT(W, n);
    return true;
}

long long BinarizedColumns(int n, int p, const bool* expand, double** X) {
    std::vector<double> column(n > 0 ? n : 1);
    long long total = 0;
    for (int j = 0; j < p; j++) {
        if (!expand[j]) {
            total += 1;
            continue;
        }
        for (int i = 0; i < n; i++) column[i] = X[i][j];
        total += CountStates(n, column.data());
    }
    return total;
}

bool Binarize(int n, int p, const bool* expand, double** X, double** Y, int* newCols, int** states,
              int* nStates) {
    std::vector<double> column(n > 0 ? n : 1);
    // The states first, so that a refused code leaves Y as it was.
    for (int j = 0; j < p; j++) {
        nStates[j] = 1;
        if (!expand[j]) continue;
        for (int i = 0; i < n; i++) column[i] = X[i][j];
        const int k = ListStates(n, column.data(), states[j]);
        if (k < 0) return false;
        nStates[j] = k;
    }
    int c = 0;
    for (int j = 0; j < p; j++) {
        if (!expand[j]) {
            for (int i = 0; i < n; i++) Y[i][c] = X[i][j];
            c++;
            continue;
        }
        for (int s = 0; s < nStates[j]; s++, c++)
            for (int i = 0; i < n; i++) {
                const double x = X[i][j];
                const bool known = x != MISSING && !std::isnan(x);
                Y[i][c] = known && std::trunc(x) == states[j][s] ? 1.0 : 0.0;
            }
    }
    *newCols = c;
    return true;
}
