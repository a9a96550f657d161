#include "rhlib_M.h"

// ===========================================================================
// Matrix operations, eigen analysis and SVD
// ===========================================================================

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_eigen.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>
#include <omp.h>

#include "nrutilRH.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace matrixdetail {

inline bool Missing(double x) { return x == MISSING; }

bool HasMissing(int n, int m, double** X) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++)
            if (Missing(X[i][j])) return true;
    return false;
}

// B (m x n) = A' (A n x m), in tiles so that both sides stay in cache.
template <class Get, class Put>
void TransposeTiles(int n, int m, Get get, Put put) {
    constexpr int kTile = 64;
    for (int i0 = 0; i0 < n; i0 += kTile)
        for (int j0 = 0; j0 < m; j0 += kTile) {
            const int i1 = std::min(n, i0 + kTile), j1 = std::min(m, j0 + kTile);
            for (int i = i0; i < i1; i++)
                for (int j = j0; j < j1; j++) put(j, i, get(i, j));
        }
}

// The product behind MatrixProd, MatrixProdMV and the selected and weighted
// forms: rows of Y accumulated along rows of B (contiguous), each cell summing
// its terms in ascending k as a cell-by-cell loop would.
int Product(int n, int m, int m2, int p, double** A, double** B, double** Y, const int* select,
            const int* weights, bool markEmpty) {
    if (m != m2) return 1;
    const bool missing = HasMissing(n, m, A) || HasMissing(m, p, B);
    std::vector<double> acc(p > 0 ? p : 0);
    std::vector<int> terms(markEmpty ? acc.size() : 0);
    for (int i = 0; i < n; i++) {
        std::fill(acc.begin(), acc.end(), 0.0);
        std::fill(terms.begin(), terms.end(), 0);
        const double* a = A[i];
        for (int k = 0; k < m; k++) {
            const double aik = a[k];
            if (missing && Missing(aik)) continue;
            const double* b = B[k];
            if (!missing && select == nullptr && weights == nullptr) {
                for (int j = 0; j < p; j++) acc[j] += aik * b[j];
                continue;
            }
            for (int j = 0; j < p; j++) {
                if (select != nullptr && select[j] != 1) continue;
                if (missing && Missing(b[j])) continue;
                acc[j] += weights != nullptr ? aik * b[j] * weights[k] : aik * b[j];
                if (markEmpty) terms[j]++;
            }
        }
        double* y = Y[i];
        for (int j = 0; j < p; j++) {
            if (select != nullptr && select[j] != 1)
                y[j] = 0.0;
            else if (markEmpty && missing && terms[j] == 0)
                y[j] = MISSING;
            else
                y[j] = acc[j];
        }
    }
    return 0;
}

// 0 when an eigenvalue is notably negative, else 1. A zero total (identical
// units) gives no proportions: only a negative eigenvalue beyond rounding of
// the others' size then counts.
int EigenCheck(int n, const double* eig) {
    double sum = 0.0, magnitude = 0.0;
    for (int k = 0; k < n; k++) {
        sum += eig[k];
        magnitude += std::fabs(eig[k]);
    }
    for (int k = 0; k < n; k++) {
        if (sum != 0.0) {
            if (eig[k] / sum < -0.001) return 0;
        } else if (eig[k] < -0.001 * magnitude) {
            return 0;
        }
    }
    return 1;
}

gsl_matrix* GslCopy(int n, int m, double** A) {
    gsl_matrix* g = gsl_matrix_alloc(static_cast<size_t>(n), static_cast<size_t>(m));
    for (int i = 0; i < n; i++) std::memcpy(gsl_matrix_ptr(g, i, 0), A[i], sizeof(double) * m);
    return g;
}

// Row and column means of a full symmetric matrix given by its upper triangle
// (diagonal included), and the grand mean.
void SymmetricMeans(int n, double** G, std::vector<double>& rowMean, double& grandMean) {
    rowMean.assign(n, 0.0);
    for (int i = 0; i < n; i++) {
        const double* g = G[i];
        rowMean[i] += g[i];
        for (int j = i + 1; j < n; j++) {
            rowMean[i] += g[j];
            rowMean[j] += g[j];
        }
    }
    double total = 0.0;
    for (int i = 0; i < n; i++) {
        total += rowMean[i];
        rowMean[i] /= n;
    }
    grandMean = total / (static_cast<double>(n) * n);
}

}  // namespace matrixdetail

// --- Products -------------------------------------------------------------------

int MatrixProd(int n, int m, int m2, int p, double** A, double** B, double** Y) {
    return matrixdetail::Product(n, m, m2, p, A, B, Y, nullptr, nullptr, false);
}

int MatrixProdMV(int n, int m, int m2, int p, double** A, double** B, double** Y) {
    return matrixdetail::Product(n, m, m2, p, A, B, Y, nullptr, nullptr, true);
}

int MatrixProdSelect(int n, int m, int m2, int p, double** A, double** B, double** Y, const int* select) {
    return matrixdetail::Product(n, m, m2, p, A, B, Y, select, nullptr, false);
}

int MatrixProdSelectMV(int n, int m, int m2, int p, double** A, double** B, double** Y, const int* select) {
    return MatrixProdSelect(n, m, m2, p, A, B, Y, select);
}

int MatrixProdSelectMV_Weight(int n, int m, int m2, int p, double** A, double** B, double** Y,
                              const int* select, const int* weights) {
    return matrixdetail::Product(n, m, m2, p, A, B, Y, select, weights, false);
}

int MatrixProdTargetMV(int n, int m, int m2, int p, int target, double** A, double** B, double** Y,
                       double** D) {
    if (m != m2 || target < 0 || target >= p || target >= m) return 1;
    using matrixdetail::Missing;
    for (int i = 0; i < n; i++) {
        const double* b = B[i];
        double* d = D[i];
        auto term = [&](int k, int j) {
            const double bik = b[k];
            if (Missing(bik)) return;
            const double y = Y[k][j], a = A[k][j];
            if (!Missing(y) && !Missing(a)) {
                d[j] += bik * (y - a);
                return;
            }
            // A missing value on one side only: the term enters or leaves the
            // product whole (a cell that had no term starts from 0).
            if (!Missing(y)) d[j] = (Missing(d[j]) ? 0.0 : d[j]) + bik * y;
            if (!Missing(a) && !Missing(d[j])) d[j] -= bik * a;
        };
        for (int j = 0; j < p; j++) {
            if (j == target) {
                for (int k = 0; k < m; k++) term(k, j);
            } else if (j < m) {
                term(std::min(j, target), j);
                term(std::max(j, target), j);
            } else {
                term(target, j);
            }
        }
    }
    return 0;
}

namespace matrixdetail {

int AdjustWeight(int n, int m, int m2, int p, double** W, double** B, double** Y, const int* select,
                 const int* weights, int pairMode) {
    if (m != m2) return 1;
    // pairMode 1: weight weights[k] x weights[j]; 0: 1 when either is 1, else
    // 0; -1: weights[k] alone. The trait weights weights[j] exist only for
    // trait columns that are also species (j < m); the others count as 0.
    const size_t width = p > 0 ? static_cast<size_t>(p) : 0;
    std::vector<double> traitWeight(width, 0.0), traitIsOne(width, 0.0);
    for (int j = 0; j < p && j < m; j++) {
        traitWeight[j] = weights[j];
        traitIsOne[j] = weights[j] == 1 ? 1.0 : 0.0;
    }
    const bool dense = select == nullptr && !HasMissing(m, p, B);
    // Every thread's work rows exist before the region, so nothing in it throws.
    const int maxThreads = omp_get_max_threads();
    std::vector<double> sums(width * maxThreads), partials(width * maxThreads);
    std::vector<int> counts(width * maxThreads);
#pragma omp parallel
    {
        const size_t off = width * static_cast<size_t>(omp_get_thread_num());
        double* sum = sums.data() + off;
        double* partial = partials.data() + off;
        int* count = counts.data() + off;
#pragma omp for schedule(static)
        for (int i = 0; i < n; i++) {
            std::fill(sum, sum + width, 0.0);
            std::fill(partial, partial + width, 0.0);
            std::fill(count, count + width, 0);
            const double* w = W[i];
            double total = 0.0, densePartial = 0.0;
            int denseCount = 0;
            for (int k = 0; k < m; k++) {
                const double wik = w[k];
                if (Missing(wik)) continue;
                total += wik;
                const double* b = B[k];
                // The weights of this species' terms: one value for every
                // trait, or a row over the traits.
                double scalar = 1.0;
                const double* row = nullptr;
                if (pairMode == -1) {
                    scalar = weights[k];
                } else if (pairMode == 1) {
                    scalar = weights[k];
                    row = traitWeight.data();
                } else if (weights[k] != 1) {
                    row = traitIsOne.data();
                }
                if (dense) {
                    densePartial += wik;
                    denseCount++;
                    if (row == nullptr)
                        for (int j = 0; j < p; j++) sum[j] += wik * b[j] * scalar;
                    else if (pairMode == 1)
                        for (int j = 0; j < p; j++) sum[j] += wik * b[j] * (scalar * row[j]);
                    else
                        for (int j = 0; j < p; j++) sum[j] += wik * b[j] * row[j];
                    continue;
                }
                for (int j = 0; j < p; j++) {
                    if ((select != nullptr && select[j] != 1) || Missing(b[j])) continue;
                    const double weight = row == nullptr ? scalar : (pairMode == 1 ? scalar * row[j] : row[j]);
                    sum[j] += wik * b[j] * weight;
                    partial[j] += wik;
                    count[j]++;
                }
            }
            double* y = Y[i];
            for (int j = 0; j < p; j++) {
                if (select != nullptr && select[j] != 1) continue;
                const double part = dense ? densePartial : partial[j];
                if ((dense ? denseCount : count[j]) == 0) {
                    y[j] = MISSING;
                    continue;
                }
                y[j] = sum[j];
                if (part > 0.0) y[j] /= part / total;
            }
        }
    }
    return 0;
}

}  // namespace matrixdetail

int MatrixProdSelectMV_Adjust_Weight(int n, int m, int m2, int p, double** W, double** B, double** Y,
                                     const int* select, const int* weights, bool pairMode) {
    return matrixdetail::AdjustWeight(n, m, m2, p, W, B, Y, select, weights, pairMode ? 1 : 0);
}

int MatrixProdSelectMV_Adjust_Weight(int n, int m, int m2, int p, double** W, double** B, double** Y,
                                     const int* select, const int* weights) {
    return matrixdetail::AdjustWeight(n, m, m2, p, W, B, Y, select, weights, -1);
}

void ScalarMatrixProd(int n, int m, double s, double** A, double** B) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) B[i][j] = matrixdetail::Missing(A[i][j]) ? MISSING : s * A[i][j];
}

double VectorProd(int n, const double* x, const double* y) { return CrossProduct2Vec(n, x, y); }

double VectorProdMV(int n, const double* x, const double* y) { return CrossProduct2VecMV(n, x, y); }

void VectorOuterProd(int n, int m, const double* u, const double* v, double** M) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) M[i][j] = u[i] * v[j];
}

int MatrixSum(int n, int m, int rowsB, int colsB, double** A, double** B, double** Y, int k) {
    if (n != rowsB || m != colsB) return 1;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) Y[i][j] = A[i][j] + k * B[i][j];
    return 0;
}

// --- Copies, transposes and triangles -------------------------------------------

void TransposeMatrix(int n, int m, double** A, double** B) {
    matrixdetail::TransposeTiles(
        n, m, [&](int i, int j) { return A[i][j]; }, [&](int j, int i, double v) { B[j][i] = v; });
}

void CopyMatrix(int n, int m, double** A, double** B) {
    if (A == B) return;
    for (int i = 0; i < n; i++) std::memmove(B[i], A[i], sizeof(double) * (m > 0 ? m : 0));
}

namespace matrixdetail {
template <class T>
void TransposeSq(int n, T** A, T** B) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j <= i; j++) {
            const T old = B[j][i];
            B[j][i] = A[i][j];
            B[i][j] = old;
        }
}
}  // namespace matrixdetail

void TransposeSqMatrix(int n, double** A, double** B) { matrixdetail::TransposeSq(n, A, B); }

void TransposeSqMatrix(int n, int** A, int** B) { matrixdetail::TransposeSq(n, A, B); }

void UpperToLowerMatrix(int n, double** M) {
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) M[j][i] = M[i][j];
}

void LowerToUpperMatrix(int n, double** M) {
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) M[i][j] = M[j][i];
}

double MatrixTrace(int n, double** M) {
    double t = 0.0;
    for (int i = 0; i < n; i++) t += M[i][i];
    return t;
}

// --- Totals and extremes ----------------------------------------------------------

namespace matrixdetail {
void Totals(int n, int m, double** M, double* rows, double* cols, bool mv) {
    if (cols != nullptr)
        for (int j = 0; j < m; j++) cols[j] = 0.0;
    for (int i = 0; i < n; i++) {
        const double* x = M[i];
        double s = 0.0;
        for (int j = 0; j < m; j++) {
            if (mv && Missing(x[j])) continue;
            s += x[j];
            if (cols != nullptr) cols[j] += x[j];
        }
        if (rows != nullptr) rows[i] = s;
    }
}
double Total(int n, int m, double** M, bool mv) {
    double t = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++)
            if (!mv || !Missing(M[i][j])) t += M[i][j];
    return t;
}
}  // namespace matrixdetail

void RowTotals(int n, int m, double** M, double* t) { matrixdetail::Totals(n, m, M, t, nullptr, false); }
void ColTotals(int n, int m, double** M, double* t) { matrixdetail::Totals(n, m, M, nullptr, t, false); }
double MatrixTotal(int n, int m, double** M) { return matrixdetail::Total(n, m, M, false); }
void RowTotalsMV(int n, int m, double** M, double* t) { matrixdetail::Totals(n, m, M, t, nullptr, true); }
void ColTotalsMV(int n, int m, double** M, double* t) { matrixdetail::Totals(n, m, M, nullptr, t, true); }
double MatrixTotalMV(int n, int m, double** M) { return matrixdetail::Total(n, m, M, true); }

namespace matrixdetail {
template <class T, class Better>
T Extreme(int n, const T* x, T start, Better better) {
    T e = start;
    for (int i = 0; i < n; i++)
        if (better(x[i], e)) e = x[i];
    return e;
}
template <class T, class Better>
int Which(int n, const T* x, Better better) {
    int w = 0;
    for (int i = 1; i < n; i++)
        if (better(x[i], x[w])) w = i;
    return w;
}
constexpr auto kGreater = [](auto a, auto b) { return a > b; };
constexpr auto kLess = [](auto a, auto b) { return a < b; };
}  // namespace matrixdetail


int maxVector(int n, const int* x) { return matrixdetail::Extreme(n, x, INT_MIN + 1, matrixdetail::kGreater); }
double maxVector(int n, const double* x) { return matrixdetail::Extreme(n, x, -DBL_MAX, matrixdetail::kGreater); }
int minVector(int n, const int* x) { return matrixdetail::Extreme(n, x, INT_MAX, matrixdetail::kLess); }
double minVector(int n, const double* x) { return matrixdetail::Extreme(n, x, DBL_MAX, matrixdetail::kLess); }
int maxVectorInt(int n, const int* x) { return matrixdetail::Extreme(n, x, INT_MIN, matrixdetail::kGreater); }
int minVectorInt(int n, const int* x) { return minVector(n, x); }
int MaxVectorWhich(int n, const double* x) { return matrixdetail::Which(n, x, matrixdetail::kGreater); }
int MaxVectorWhich(int n, const int* x) { return matrixdetail::Which(n, x, matrixdetail::kGreater); }
int MinVectorWhich(int n, const double* x) { return matrixdetail::Which(n, x, matrixdetail::kLess); }
int MinVectorWhich(int n, const int* x) { return matrixdetail::Which(n, x, matrixdetail::kLess); }

// --- Eigen analysis and SVD --------------------------------------------------------

int EigenHouseholderQL_GSL_D(int n, double** A, double** evec, double* eig) {
    if (n <= 0) return 1;  // GSL refuses empty matrices
    // One GSL copy (destroyed by the solver, released before the eigenvectors
    // are written out) and one eigenvector matrix.
    gsl_matrix* a = matrixdetail::GslCopy(n, n, A);
    gsl_vector* values = gsl_vector_alloc(static_cast<size_t>(n));
    gsl_matrix* vectors = gsl_matrix_alloc(static_cast<size_t>(n), static_cast<size_t>(n));
    gsl_eigen_symmv_workspace* work = gsl_eigen_symmv_alloc(static_cast<size_t>(n));
    gsl_eigen_symmv(a, values, vectors, work);
    gsl_eigen_symmv_free(work);
    gsl_matrix_free(a);
    gsl_eigen_symmv_sort(values, vectors, GSL_EIGEN_SORT_VAL_DESC);
    for (int k = 0; k < n; k++) eig[k] = gsl_vector_get(values, k);
    // Column k of the GSL matrix becomes row k of evec.
    matrixdetail::TransposeTiles(
        n, n, [&](int i, int k) { return *gsl_matrix_const_ptr(vectors, i, k); },
        [&](int k, int i, double v) { evec[k][i] = v; });
    gsl_matrix_free(vectors);
    gsl_vector_free(values);
    return matrixdetail::EigenCheck(n, eig);
}

int EigenHouseholderQL(int n, double** A, double** evec, double* eig) {
    if (n <= 0) return 1;
    double** a = dim2DT<double>(n + 1, n + 1);
    Convertn_n1(n, n, A, a);
    double* d = dvector(1, n);
    double* e = dvector(1, n);
    tred2(a, n, d, e);
    tqli(d, e, n, a);
    eigsrt(d, a, n);
    for (int k = 0; k < n; k++) {
        eig[k] = d[k + 1];
        for (int i = 0; i < n; i++) evec[k][i] = a[i + 1][k + 1];
    }
    free_dvector(e, 1, n);
    free_dvector(d, 1, n);
    free2DT(a, n + 1);
    return matrixdetail::EigenCheck(n, eig);
}

double EigenHouseholderQL_NegEigen(int n, double** A) {
    if (n <= 0) return 0.0;
    gsl_matrix* a = matrixdetail::GslCopy(n, n, A);
    gsl_vector* values = gsl_vector_alloc(static_cast<size_t>(n));
    gsl_eigen_symm_workspace* work = gsl_eigen_symm_alloc(static_cast<size_t>(n));
    gsl_eigen_symm(a, values, work);
    gsl_eigen_symm_free(work);
    gsl_matrix_free(a);
    double sum = 0.0;
    for (int k = 0; k < n; k++) sum += gsl_vector_get(values, k);
    double negative = 0.0;
    if (sum != 0.0)
        for (int k = 0; k < n; k++) {
            const double proportion = gsl_vector_get(values, k) / sum;
            if (proportion < -0.001) negative += std::fabs(proportion);
        }
    gsl_vector_free(values);
    return negative;
}

int EigenRank(int n, const double* eig) {
    double positive = 0.0;
    for (int k = 0; k < n; k++)
        if (eig[k] > 0.0) positive += eig[k];
    if (positive <= 0.0) return 0;
    int rank = 0;
    for (int k = 0; k < n; k++)
        if (100.0 * eig[k] / positive > 1e-5) rank++;
    return rank;
}

int SingValueDecomp(int n, int m, double** A, double** U, double* s, double** V) {
    if (n <= 0 || m <= 0) return 1;  // GSL refuses empty matrices
    // GSL needs at least as many rows as columns: a wide matrix is decomposed
    // through its transpose, A' = U1 S V1', so A = V1 S U1'.
    const bool wide = n < m;
    const int rows = wide ? m : n, cols = wide ? n : m;
    gsl_matrix* a = gsl_matrix_alloc(static_cast<size_t>(rows), static_cast<size_t>(cols));
    if (wide)
        matrixdetail::TransposeTiles(
            n, m, [&](int i, int j) { return A[i][j]; },
            [&](int j, int i, double v) { *gsl_matrix_ptr(a, j, i) = v; });
    else
        for (int i = 0; i < n; i++) std::memcpy(gsl_matrix_ptr(a, i, 0), A[i], sizeof(double) * m);
    gsl_matrix* v = gsl_matrix_alloc(static_cast<size_t>(cols), static_cast<size_t>(cols));
    gsl_vector* values = gsl_vector_alloc(static_cast<size_t>(cols));
    gsl_vector* work = gsl_vector_alloc(static_cast<size_t>(cols));
    const int status = gsl_linalg_SV_decomp(a, v, values, work);
    if (status == 0) {
        for (int k = 0; k < cols; k++) s[k] = gsl_vector_get(values, k);
        double** left = wide ? V : U;   // receives the GSL left factor (rows x cols)
        double** right = wide ? U : V;  // receives the GSL right factor (cols x cols)
        for (int i = 0; i < rows; i++) std::memcpy(left[i], gsl_matrix_const_ptr(a, i, 0), sizeof(double) * cols);
        for (int i = 0; i < cols; i++) std::memcpy(right[i], gsl_matrix_const_ptr(v, i, 0), sizeof(double) * cols);
    }
    gsl_vector_free(work);
    gsl_vector_free(values);
    gsl_matrix_free(v);
    gsl_matrix_free(a);
    return status == 0 ? 1 : 0;
}

// --- Stopping-rule statistics ---------------------------------------------------------

double BrokenStick(int k, int p) {
    if (p <= 0) return 0.0;
    double s = 0.0;
    for (int i = k; i <= p; i++) s += 1.0 / i;
    return s / p;
}

double Bartlett_u(int /*count*/, int k, const double* eig, int n, int p) {
    const int q = p - k + 1;
    if (q <= 0 || k < 1) return 0.0;
    const double lnTiny = std::log(1e-10);
    double sum = 0.0, logs = 0.0;
    for (int i = k - 1; i < p; i++) {
        if (eig[i] <= 0.0) {
            logs += lnTiny;
            sum += eig[i] + 1e-10;
        } else {
            logs += std::log(eig[i]);
            sum += eig[i];
        }
    }
    const double mean = sum / q;
    const double lnMean = mean > 0.0 ? std::log(mean) : 0.0;
    return (n - (2.0 * p + 11.0) / 6.0) * (q * lnMean - logs);
}

double Bartlett_uProb(int count, int k, const double* eig, int n, int p) {
    const int df = (count - k) * (count - k + 3) / 2;
    // No degrees of freedom (the last axis) leaves nothing to test: a
    // chi-square with none would make any positive u significant, and a
    // negative number is a GSL domain error.
    if (df <= 0) return 1.0;
    return gsl_cdf_chisq_Q(Bartlett_u(count, k, eig, n, p), df);
}

double RVDIM(int p, int k, const double* eig) {
    if (k < 1 || k > p) return 0.0;
    double q = 0.0;
    for (int i = k - 1; i < p; i++) q += eig[i] * eig[i];
    return q > 0.0 ? eig[k - 1] / std::sqrt(q) : 0.0;
}

double PseudoF_eig(int p, int k, const double* eig) {
    if (k < 1 || k > p) return 0.0;
    double s = 0.0;
    for (int i = k; i <= p - 2; i++) s += eig[i];
    return s > 0.0 ? eig[k - 1] / s : 0.0;
}

// --- Conversions for principal coordinates -----------------------------------------------

void DissToCenterProdMatrix(int n, double** D, double** G, bool squared) {
    if (n <= 0) return;
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) G[i][j] = squared ? D[i][j] : D[i][j] * D[i][j];
    std::vector<double> rowMean;
    double grandMean;
    matrixdetail::SymmetricMeans(n, G, rowMean, grandMean);
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) G[i][j] = -0.5 * (G[i][j] - rowMean[i] - rowMean[j] + grandMean);
}

void GowerMatrixCentering(int n, double** D, double** G, bool square) {
    if (n <= 0) return;
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) G[i][j] = square ? D[i][j] * D[i][j] : D[i][j];
    std::vector<double> rowMean;
    double grandMean;
    matrixdetail::SymmetricMeans(n, G, rowMean, grandMean);
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) G[j][i] = G[i][j] = -0.5 * (G[i][j] - rowMean[i] - rowMean[j] + grandMean);
}

void ProdToSqDist(int n, double** S, double** D) {
    // Every off-diagonal value reads the diagonal of S, so it is written
    // before the diagonal of D is zeroed (D may be S).
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) D[i][j] = S[i][i] + S[j][j] - 2.0 * S[i][j];
    for (int i = 0; i < n; i++) D[i][i] = 0.0;
}

namespace matrixdetail {
// B[i][j] = B[j][i] = f(A[i][j]) for j >= i (A's upper triangle read first).
template <class F>
void MapUpper(int n, double** A, double** B, F f) {
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) B[j][i] = B[i][j] = f(A[i][j], i == j);
}
}  // namespace matrixdetail

void SquareSqMatrix(int n, double** A, double** B) {
    matrixdetail::MapUpper(n, A, B, [](double a, bool) { return a * a; });
}

void SquareRootSqMatrix(int n, double** A, double** B) {
    matrixdetail::MapUpper(n, A, B, [](double a, bool) { return std::sqrt(a); });
}

void CorrToSqDist(int n, double** R, double** D) {
    matrixdetail::MapUpper(n, R, D, [](double r, bool diagonal) { return diagonal ? 0.0 : 2.0 * (1.0 - r); });
}

void ProbToDissim(int n, double** P, double** D) {
    matrixdetail::MapUpper(n, P, D, [](double p, bool) { return 1.0 - p; });
}

void ScoreCorrComp(int nAxes, int n, double** scores, double** data, int nVar, int byVariables, int maxAxes,
                   double** R) {
    const int axes = std::max(0, std::min(nAxes, maxAxes));
    // Row pointers over the score rows and the variables; columns of data are
    // gathered into rows of their own.
    std::vector<double*> rows(static_cast<size_t>(axes + nVar));
    for (int a = 0; a < axes; a++) rows[a] = scores[a];
    std::vector<double> columns(byVariables ? 0 : static_cast<size_t>(nVar) * (n > 0 ? n : 0));
    for (int k = 0; k < nVar; k++) {
        if (byVariables) {
            rows[axes + k] = data[k];
        } else {
            double* c = columns.data() + static_cast<size_t>(k) * n;
            for (int i = 0; i < n; i++) c[i] = data[i][k];
            rows[axes + k] = c;
        }
    }
    CorrelationPartition(axes, nVar, n, rows.data(), R);
}


// ===========================================================================
// Random generator, permutation and bootstrap lists
// ===========================================================================

// ===========================================================================
// Beals smoothing and its tests
// ===========================================================================

// ===========================================================================
// Analysis dispatchers
// ===========================================================================

// ===========================================================================
// Hierarchical clustering
// ===========================================================================

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "rhlibDim.h"

namespace {

// The strict order in which pair values compete: smaller (or, for similarity
// fusions, larger) values are better, and a NaN is worse than any number, so
// a search that starts from the first admissible pair always ends on a pair.
inline bool Better(double x, double incumbent, bool smallest) {
    if (std::isnan(incumbent)) return !std::isnan(x);
    return smallest ? x < incumbent : x > incumbent;
}

// Working copy of the upper triangle of an n x n matrix: row i holds the
// columns i+1 to n-1 contiguously, so a row scan reads consecutive memory.
// Element (i, j), i < j, is row[i][j - i - 1]; the rows may also point into a
// caller's square matrix.
struct Upper {
    double** row = nullptr;
    double* packed = nullptr;
    int n = 0;

    double& operator()(int i, int j) const { return row[i][j - i - 1]; }
    double Get(int i, int j) const { return i < j ? row[i][j - i - 1] : row[j][i - j - 1]; }
    void Set(int i, int j, double v) const {
        if (i < j)
            row[i][j - i - 1] = v;
        else
            row[j][i - j - 1] = v;
    }
};

Upper PackedUpper(int n) {
    Upper u;
    u.n = n;
    unsigned long long total = static_cast<unsigned long long>(n) * (n > 0 ? n - 1 : 0) / 2;
    u.packed = static_cast<double*>(dim1D(sizeof(double) * (total > 0 ? total : 1), 1));
    u.row = dim1DT<double*>(n > 0 ? n : 1);
    unsigned long long offset = 0;
    for (int i = 0; i < n; i++) {
        u.row[i] = u.packed + offset;
        offset += static_cast<unsigned long long>(n - i - 1);
    }
    return u;
}

Upper ViewOf(int n, double** square) {
    Upper u;
    u.n = n;
    u.row = dim1DT<double*>(n > 0 ? n : 1);
    for (int i = 0; i < n; i++) u.row[i] = square[i] + i + 1;
    return u;
}

void Release(Upper& u) {
    free1D(u.packed);
    free1D(u.row);
    u = Upper();
}

// Adjacency of the constrained method in the same packed layout.
struct UpperFlags {
    char* packed = nullptr;
    unsigned long long* offset = nullptr;
    bool operator()(int i, int j) const { return packed[offset[i] + (j - i - 1)] != 0; }
    char& At(int i, int j) const { return packed[offset[i] + (j - i - 1)]; }
};

// The value of the new group against another group g in the linkage methods,
// from its old values against the two fused groups.
inline double LinkageValue(int method, bool isDissimilarity, double xa, double xb, double na,
                           double nb) {
    switch (method) {
        case 1:
            return isDissimilarity ? Fmin(xa, xb) : Fmax(xa, xb);
        case 2:
            return isDissimilarity ? Fmax(xa, xb) : Fmin(xa, xb);
        case 4:
            return (na * xa + nb * xb) / (na + nb);
        case 5:
            return (xa + xb) / 2;
        default:
            return xa;
    }
}

// Squared distance between the centroid of the new group and group g (Ward),
// from the squared centroid distances of the two fused groups.
inline double WardValue(double dga, double dgb, double dab, double na, double nb) {
    double nn = na + nb;
    return (na * dga + nb * dgb) / nn - na * nb * dab / (nn * nn);
}

// Increase of the within-group sum of squares when two groups fuse.
inline double WardIncrease(double na, double dab, double nb) { return na * dab * nb / (na + nb); }

// Current groups of an agglomeration kept at fixed positions: a fused group
// stays at the lower position and the higher one leaves. Because the groups
// keep their relative order, scanning the active positions in order is the
// same as scanning a compacted matrix, ties included. Each row caches its
// best admissible column, so a fusion costs the rows it touches, not a scan
// of every pair.
class PairSearch {
public:
    // value(i, j) and admissible(i, j) for active positions i < j.
    PairSearch(int n, bool smallest) : n_(n), smallest_(smallest) {
        next_ = dim1DT<int>(n + 1);
        prev_ = dim1DT<int>(n + 1);
        bestCol_ = dim1DT<int>(n + 1);
        bestVal_ = dim1DT<double>(n + 1);
        for (int i = 0; i < n; i++) {
            next_[i] = i + 1 < n ? i + 1 : -1;
            prev_[i] = i - 1;
            bestCol_[i] = -1;
        }
        head_ = n > 0 ? 0 : -1;
    }
    ~PairSearch() {
        free1D(next_);
        free1D(prev_);
        free1D(bestCol_);
        free1D(bestVal_);
    }
    PairSearch(const PairSearch&) = delete;
    PairSearch& operator=(const PairSearch&) = delete;

    int Head() const { return head_; }
    int Next(int i) const { return next_[i]; }

    template <class Value, class Admissible>
    void Init(const Value& value, const Admissible& admissible) {
        for (int g = head_; g != -1; g = next_[g]) RecomputeRow(g, value, admissible);
    }

    // The first best admissible pair in row-major order; false when none.
    bool Best(int& a, int& b) const {
        int ga = -1;
        for (int g = head_; g != -1; g = next_[g])
            if (bestCol_[g] >= 0 && (ga < 0 || Better(bestVal_[g], bestVal_[ga], smallest_))) ga = g;
        if (ga < 0) return false;
        a = ga;
        b = bestCol_[ga];
        return true;
    }

    // The first best pair of all, admissible or not.
    template <class Value>
    void BestOfAll(int& a, int& b, const Value& value) const {
        a = -1;
        double best = 0;
        for (int i = head_; i != -1; i = next_[i])
            for (int j = next_[i]; j != -1; j = next_[j]) {
                double v = value(i, j);
                if (a < 0 || Better(v, best, smallest_)) {
                    a = i;
                    b = j;
                    best = v;
                }
            }
    }

    // After the values of position a against every group changed and
    // position b left (a < b), brings the row caches up to date.
    template <class Value, class Admissible>
    void Fused(int a, int b, const Value& value, const Admissible& admissible) {
        Remove(b);
        RecomputeRow(a, value, admissible);
        for (int g = head_; g != a; g = next_[g]) {
            if (bestCol_[g] == a || bestCol_[g] == b) {
                RecomputeRow(g, value, admissible);
            } else if (admissible(g, a)) {
                // Only the value against a changed in this row.
                double v = value(g, a);
                if (bestCol_[g] < 0 || Better(v, bestVal_[g], smallest_) ||
                    (!Better(bestVal_[g], v, smallest_) && a < bestCol_[g])) {
                    bestCol_[g] = a;
                    bestVal_[g] = v;
                }
            }
        }
        for (int g = next_[a]; g != -1 && g < b; g = next_[g])
            if (bestCol_[g] == b) RecomputeRow(g, value, admissible);
    }

private:
    template <class Value, class Admissible>
    void RecomputeRow(int g, const Value& value, const Admissible& admissible) {
        int col = -1;
        double best = 0;
        for (int c = next_[g]; c != -1; c = next_[c]) {
            if (!admissible(g, c)) continue;
            double v = value(g, c);
            if (col < 0 || Better(v, best, smallest_)) {
                col = c;
                best = v;
            }
        }
        bestCol_[g] = col;
        bestVal_[g] = best;
    }

    void Remove(int b) {
        if (prev_[b] >= 0)
            next_[prev_[b]] = next_[b];
        else
            head_ = next_[b];
        if (next_[b] >= 0) prev_[next_[b]] = prev_[b];
        bestCol_[b] = -1;
    }

    int n_;
    bool smallest_;
    int head_;
    int* next_;
    int* prev_;
    int* bestCol_;
    double* bestVal_;
};

// Member lists of the current groups, by position: entity numbers from 1 in
// the order the records list them.
class MemberLists {
public:
    explicit MemberLists(int n) {
        first_ = dim1DT<int>(n > 0 ? n : 1);
        last_ = dim1DT<int>(n > 0 ? n : 1);
        next_ = dim1DT<int>(n > 0 ? n : 1);
        size_ = dim1DT<int>(n > 0 ? n : 1);
        for (int i = 0; i < n; i++) {
            first_[i] = last_[i] = i;
            next_[i] = -1;
            size_[i] = 1;
        }
    }
    ~MemberLists() {
        free1D(first_);
        free1D(last_);
        free1D(next_);
        free1D(size_);
    }
    MemberLists(const MemberLists&) = delete;
    MemberLists& operator=(const MemberLists&) = delete;

    int Size(int pos) const { return size_[pos]; }
    // Entities (from 0) of the group at pos, in order.
    int First(int pos) const { return first_[pos]; }
    int After(int entity) const { return next_[entity]; }

    // Writes members, nMembers and lastOfFirst of the fusion of a and b.
    void Describe(int a, int b, clusterReport& r) const {
        int k = 0;
        for (int e = first_[a]; e != -1; e = next_[e]) r.members[k++] = e + 1;
        for (int e = first_[b]; e != -1; e = next_[e]) r.members[k++] = e + 1;
        r.nMembers = k;
        r.lastOfFirst = last_[a] + 1;
    }

    void Join(int a, int b) {
        next_[last_[a]] = first_[b];
        last_[a] = last_[b];
        size_[a] += size_[b];
    }

private:
    int* first_;
    int* last_;
    int* next_;
    int* size_;
};

// The common frame of Ward and constrained Ward. `input` is read for the
// group sums; the working matrix holds squared centroid distances.
void SumSqFrame(int n, double** input, const UpperFlags* adjacency, clusterReport* records,
                bool isSquared) {
    if (n < 2) return;
    Upper d = PackedUpper(n);
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) {
            double x = input[i][j];
            d(i, j) = isSquared ? x : x * x;
        }
    auto squared = [&](int e1, int e2) {
        double x = e1 < e2 ? input[e1][e2] : input[e2][e1];
        return isSquared ? x : x * x;
    };
    double* sums = dim1DT<double>(n);
    MemberLists groups(n);
    auto value = [&](int i, int j) {
        return WardIncrease(groups.Size(i), d(i, j), groups.Size(j));
    };
    auto all = [](int, int) { return true; };
    auto adjacent = [&](int i, int j) { return (*adjacency)(i, j); };

    PairSearch search(n, true);
    if (adjacency)
        search.Init(value, adjacent);
    else
        search.Init(value, all);

    for (int k = 1; k < n; k++) {
        int a = 0, b = 1;
        if (!search.Best(a, b)) search.BestOfAll(a, b, value);
        double na = groups.Size(a), nb = groups.Size(b);
        double dab = d(a, b);

        double sum = sums[a] + sums[b];
        for (int e1 = groups.First(a); e1 != -1; e1 = groups.After(e1))
            for (int e2 = groups.First(b); e2 != -1; e2 = groups.After(e2)) sum += squared(e1, e2);

        clusterReport& r = records[k - 1];
        groups.Describe(a, b, r);
        r.node = n + k;
        r.level = sum / (na + nb);
        r.criterion = WardIncrease(na, dab, nb);
        r.branchFirst = r.level - sums[a] / na;
        r.branchSecond = r.level - sums[b] / nb;

        if (adjacency) {
            for (int g = search.Head(); g != -1; g = search.Next(g)) {
                if (g == a || g == b) continue;
                char& ga = g < a ? adjacency->At(g, a) : adjacency->At(a, g);
                char gb = g < b ? adjacency->At(g, b) : adjacency->At(b, g);
                if (gb > ga) ga = gb;
            }
        }
        for (int g = search.Head(); g != -1; g = search.Next(g)) {
            if (g == a || g == b) continue;
            d.Set(g, a, WardValue(d.Get(g, a), d.Get(g, b), dab, na, nb));
        }
        sums[a] = sum;
        groups.Join(a, b);
        if (adjacency)
            search.Fused(a, b, value, adjacent);
        else
            search.Fused(a, b, value, all);
    }
    free1D(sums);
    Release(d);
}

}  // namespace

clusterReport* NewClusterReports(int n, int p, bool factorial) {
    int count = n > 1 ? n - 1 : 0;
    clusterReport* records =
        static_cast<clusterReport*>(dim1D(sizeof(clusterReport), count > 0 ? count : 1));
    for (int k = 0; k < count; k++) {
        records[k].members = dim1DT<int>(n);
        if (factorial) {
            records[k].weightsAxis1 = dim1DT<double>(2);
            records[k].weightsAxis2 = dim1DT<double>(2);
            records[k].scoresAxis1 = dim1DT<double>(p > 0 ? p : 1);
            records[k].scoresAxis2 = dim1DT<double>(p > 0 ? p : 1);
        }
    }
    return records;
}

void FreeClusterReports(clusterReport* records, int n) {
    if (!records) return;
    for (int k = 0; k < n - 1; k++) {
        free1D(records[k].members);
        free1D(records[k].weightsAxis1);
        free1D(records[k].weightsAxis2);
        free1D(records[k].scoresAxis1);
        free1D(records[k].scoresAxis2);
    }
    free1D(records);
}

void LinkageCluster(int n, double** matrix, clusterReport* records, bool isDissimilarity,
                    bool isSquared, int method, bool workOnCopy) {
    if (n < 2) return;
    Upper w;
    bool rootFirst = isDissimilarity && isSquared && (method == 4 || method == 5);
    if (workOnCopy) {
        w = PackedUpper(n);
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++) w(i, j) = matrix[i][j];
    } else {
        w = ViewOf(n, matrix);
    }
    // Averages of squared dissimilarities are not what the user asked for:
    // these two methods work on the rooted values throughout.
    if (rootFirst)
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++) w(i, j) = std::sqrt(w(i, j));
    bool rootLevel = isDissimilarity && isSquared && (method == 1 || method == 2);

    double* nodeLevel = dim1DT<double>(n);
    MemberLists groups(n);
    auto value = [&](int i, int j) { return w(i, j); };
    auto all = [](int, int) { return true; };
    PairSearch search(n, isDissimilarity);
    search.Init(value, all);

    for (int k = 1; k < n; k++) {
        int a = 0, b = 1;
        search.Best(a, b);
        double x = w(a, b);
        clusterReport& r = records[k - 1];
        groups.Describe(a, b, r);
        r.node = n + k;
        r.level = rootLevel ? std::sqrt(x) : x;
        r.branchFirst = r.level - nodeLevel[a];
        r.branchSecond = r.level - nodeLevel[b];

        double na = groups.Size(a), nb = groups.Size(b);
        for (int g = search.Head(); g != -1; g = search.Next(g)) {
            if (g == a || g == b) continue;
            w.Set(g, a, LinkageValue(method, isDissimilarity, w.Get(g, a), w.Get(g, b), na, nb));
        }
        nodeLevel[a] = r.level;
        groups.Join(a, b);
        search.Fused(a, b, value, all);
    }
    free1D(nodeLevel);
    Release(w);
}

void SumSqCluster(int n, double** dissimilarities, clusterReport* records, bool isSquared) {
    SumSqFrame(n, dissimilarities, nullptr, records, isSquared);
}

void SumSqClusterRestrained(int n, double** dissimilarities, int** adjacency,
                            clusterReport* records, bool isSquared) {
    if (n < 2) return;
    unsigned long long total = static_cast<unsigned long long>(n) * (n - 1) / 2;
    UpperFlags flags;
    flags.packed = static_cast<char*>(dim1D(total, 1));
    flags.offset = dim1DT<unsigned long long>(n);
    unsigned long long offset = 0;
    for (int i = 0; i < n; i++) {
        flags.offset[i] = offset;
        for (int j = i + 1; j < n; j++) flags.packed[offset + (j - i - 1)] = adjacency[i][j] != 0;
        offset += static_cast<unsigned long long>(n - i - 1);
    }
    SumSqFrame(n, dissimilarities, &flags, records, isSquared);
    free1D(flags.packed);
    free1D(flags.offset);
}

namespace {

// Removes position b (a < b excluded) from a compacted square matrix: the row
// pointer of b goes to the end, later rows and columns move down one place.
template <class T>
void RemovePosition(int m, int b, T** matrix) {
    for (int i = 0; i < m; i++)
        for (int j = b + 1; j < m; j++) matrix[i][j - 1] = matrix[i][j];
    T* rowB = matrix[b];
    for (int i = b; i < m - 1; i++) matrix[i] = matrix[i + 1];
    matrix[m - 1] = rowB;
}

void JoinSizes(int m, int* sizes, int a, int b) {
    sizes[a] += sizes[b];
    for (int i = b; i < m - 1; i++) sizes[i] = sizes[i + 1];
}

template <class T>
T& UpperAt(T** matrix, int i, int j) {
    return i < j ? matrix[i][j] : matrix[j][i];
}

}  // namespace

void LinkageFusion(int m, int* sizes, int a, int b, double** matrix, bool isDissimilarity,
                   int method) {
    double na = sizes[a], nb = sizes[b];
    for (int g = 0; g < m; g++) {
        if (g == a || g == b) continue;
        double& ga = UpperAt(matrix, g, a);
        ga = LinkageValue(method, isDissimilarity, ga, UpperAt(matrix, g, b), na, nb);
    }
    RemovePosition(m, b, matrix);
    JoinSizes(m, sizes, a, b);
}

void FusionMatrix(int m, int* sizes, int a, int b, double** matrix) {
    double na = sizes[a], nb = sizes[b];
    double dab = UpperAt(matrix, a, b);
    for (int g = 0; g < m; g++) {
        if (g == a || g == b) continue;
        double& ga = UpperAt(matrix, g, a);
        ga = WardValue(ga, UpperAt(matrix, g, b), dab, na, nb);
    }
    RemovePosition(m, b, matrix);
    JoinSizes(m, sizes, a, b);
}

void TopologyFusion(int m, int* sizes, int a, int b, int** adjacency) {
    (void)sizes;
    for (int g = 0; g < m; g++) {
        if (g == a || g == b) continue;
        int& ga = UpperAt(adjacency, g, a);
        ga = Fmax(ga, UpperAt(adjacency, g, b));
    }
    RemovePosition(m, b, adjacency);
}

// ===========================================================================
// Partitions and Newick text
// ===========================================================================

namespace {

// For each record, the records that formed its two parts (-1 for a single
// entity), found from the member lists: a part is whatever group held its
// first entity just before the fusion.
void ChildRecords(int n, const clusterReport* records, int* childFirst, int* childSecond) {
    int* top = dim1DT<int>(n > 0 ? n : 1);
    for (int e = 0; e < n; e++) top[e] = -1;
    for (int r = 0; r < n - 1; r++) {
        const clusterReport& rec = records[r];
        int p = 0;
        while (p < rec.nMembers && rec.members[p] != rec.lastOfFirst) p++;
        p++;
        childFirst[r] = top[rec.members[0] - 1];
        childSecond[r] = p < rec.nMembers ? top[rec.members[p] - 1] : -1;
        for (int i = 0; i < rec.nMembers; i++) top[rec.members[i] - 1] = r;
    }
    free1D(top);
}

// Position in `members` where the second part begins.
int SecondPartStart(const clusterReport& rec) {
    int p = 0;
    while (p < rec.nMembers && rec.members[p] != rec.lastOfFirst) p++;
    return p + 1;
}

// The order in which a cut applies the records. Ward's levels are not
// monotone in fusion order, so for method 3 the records are sorted by level
// (the exchange sort below decides ties). A group can only form after its
// parts: a record sorts by the highest level in its subtree, which is its own
// level whenever the levels grow towards the root (always for Euclidean
// input), and parts that tie with their group are placed before it.
void CutOrder(int n, const clusterReport* records, int method, int* order) {
    int m = n - 1;
    for (int r = 0; r < m; r++) order[r] = r;
    if (method != 3 || m < 2) return;

    int* childFirst = dim1DT<int>(m);
    int* childSecond = dim1DT<int>(m);
    ChildRecords(n, records, childFirst, childSecond);
    double* key = dim1DT<double>(m);
    for (int r = 0; r < m; r++) {
        double k = records[r].level;
        if (childFirst[r] >= 0 && key[childFirst[r]] > k) k = key[childFirst[r]];
        if (childSecond[r] >= 0 && key[childSecond[r]] > k) k = key[childSecond[r]];
        key[r] = k;
    }
    for (int i = 0; i < m; i++)
        for (int j = i + 1; j < m; j++)
            if (key[order[i]] > key[order[j]]) std::swap(order[i], order[j]);

    // Parts before their group (they can only tie with it here).
    char* placed = dim1DT<char>(m);
    int* sorted = dim1DT<int>(m);
    int* stack = dim1DT<int>(m);
    int count = 0;
    for (int i = 0; i < m; i++) {
        int depth = 0;
        if (!placed[order[i]]) stack[depth++] = order[i];
        while (depth > 0) {
            int r = stack[depth - 1];
            int c1 = childFirst[r], c2 = childSecond[r];
            if (c1 >= 0 && !placed[c1]) {
                stack[depth++] = c1;
            } else if (c2 >= 0 && !placed[c2]) {
                stack[depth++] = c2;
            } else {
                placed[r] = 1;
                sorted[count++] = r;
                depth--;
            }
        }
    }
    for (int i = 0; i < m; i++) order[i] = sorted[i];
    free1D(stack);
    free1D(sorted);
    free1D(placed);
    free1D(key);
    free1D(childSecond);
    free1D(childFirst);
}

// Labels become group numbers 1, 2, ... in the order of the label values.
void NumberByLabel(int n, int* labels, int* rank) {
    for (int e = 0; e <= n; e++) rank[e] = 0;
    for (int e = 0; e < n; e++) rank[labels[e]] = 1;
    int g = 0;
    for (int v = 0; v <= n; v++)
        if (rank[v]) rank[v] = ++g;
    for (int e = 0; e < n; e++) labels[e] = rank[labels[e]];
}

// Applies the records order[0 .. count-1]: every entity of a new group takes
// the number of the group's first member.
void ApplyRecords(int n, const clusterReport* records, const int* order, int count, int* labels) {
    for (int e = 0; e < n; e++) labels[e] = e + 1;
    for (int i = 0; i < count; i++) {
        const clusterReport& rec = records[order[i]];
        for (int j = 1; j < rec.nMembers; j++) labels[rec.members[j] - 1] = rec.members[0];
    }
}

int ClampGroups(int n, int k) { return k < 1 ? 1 : (k > n ? n : k); }

}  // namespace

void GetClusterPartitionLevel(int n, int k, int* partition, double* levelOut,
                              clusterReport* records, int method) {
    if (n < 1) return;
    k = ClampGroups(n, k);
    int* order = dim1DT<int>(n);
    CutOrder(n, records, method, order);
    ApplyRecords(n, records, order, n - k, partition);
    if (levelOut) *levelOut = k == n ? 0.0 : records[order[n - k - 1]].level;
    int* rank = dim1DT<int>(n + 1);
    NumberByLabel(n, partition, rank);
    free1D(rank);
    free1D(order);
}

void GetClusterPartitionNew(int n, int k, int* partition, clusterReport* records, int method) {
    GetClusterPartitionLevel(n, k, partition, nullptr, records, method);
}

void ForEachClusterPartition(int n, clusterReport* records, int method,
                             const std::function<void(int, const int*, double)>& visit) {
    if (n < 2) return;
    int* order = dim1DT<int>(n);
    CutOrder(n, records, method, order);
    // From one group down: undoing the last applied record splits one group
    // into its two parts; the second part takes the number of its first member.
    int* labels = dim1DT<int>(n);
    int* partition = dim1DT<int>(n);
    int* rank = dim1DT<int>(n + 1);
    ApplyRecords(n, records, order, n - 1, labels);
    for (int k = 2; k <= n; k++) {
        const clusterReport& rec = records[order[n - k]];
        int p = SecondPartStart(rec);
        for (int j = p; j < rec.nMembers; j++) labels[rec.members[j] - 1] = rec.members[p];
        for (int e = 0; e < n; e++) partition[e] = labels[e];
        NumberByLabel(n, partition, rank);
        visit(k, partition, k == n ? 0.0 : records[order[n - k - 1]].level);
    }
    free1D(rank);
    free1D(partition);
    free1D(labels);
    free1D(order);
}

int GetClusterPartition(int n, int k, int* partition, clusterReport* records) {
    if (n < 1) return 0;
    k = ClampGroups(n, k);
    int* order = dim1DT<int>(n);
    CutOrder(n, records, 0, order);
    ApplyRecords(n, records, order, n - k, partition);
    int* rank = dim1DT<int>(n + 1);
    NumberByLabel(n, partition, rank);
    free1D(rank);
    free1D(order);
    return k;
}

void GetClusterPartitionWhich(int n, int k, int* partition, int* pair, clusterReport* records) {
    if (n < 1) return;
    k = ClampGroups(n, k);
    GetClusterPartition(n, k, partition, records);
    pair[0] = pair[1] = 0;
    if (k < 2) return;
    int* fewer = dim1DT<int>(n);
    GetClusterPartition(n, k - 1, fewer, records);
    for (int e = 0; e < n; e++)
        if (fewer[e] != partition[e]) {
            pair[0] = fewer[e];
            pair[1] = partition[e];
            break;
        }
    free1D(fewer);
}

treeNode* NewNode(int number) {
    treeNode* node = static_cast<treeNode*>(dim1D(sizeof(treeNode), 1));
    node->number = number;
    node->left = node->right = node->parent = nullptr;
    return node;
}

void TrimRese(int n, int k, const int* partition, double** matrix, double** out) {
    int* first = dim1DT<int>(k > 0 ? k : 1);
    for (int g = 0; g < k; g++) first[g] = -1;
    for (int e = 0; e < n; e++) {
        int g = partition[e] - 1;
        if (g >= 0 && g < k && first[g] < 0) first[g] = e;
    }
    for (int i = 0; i < k; i++)
        for (int j = i; j < k; j++) {
            int a = first[i], b = first[j];
            if (a < 0 || b < 0) continue;
            out[i][j] = a <= b ? matrix[a][b] : matrix[b][a];
        }
    free1D(first);
}

namespace {

// A label as a Newick name: kept as it is unless it holds punctuation of the
// format, a quote or a blank; then it goes between single quotes, with its
// quotes doubled.
void AppendNewickLabel(std::string& text, const char* label) {
    bool quote = *label == '\0';
    for (const char* c = label; *c; c++)
        if (strchr("(),:;[]'", *c) || isspace(static_cast<unsigned char>(*c))) quote = true;
    if (!quote) {
        text += label;
        return;
    }
    text += '\'';
    for (const char* c = label; *c; c++) {
        if (*c == '\'') text += '\'';
        text += *c;
    }
    text += '\'';
}

void AppendLength(std::string& text, double length) {
    char number[64];
    snprintf(number, sizeof number, ":%g", length);
    text += number;
}

}  // namespace

void NewickFormat(int n, const clusterReport* records, char** labels, bool withLengths,
                  std::string& text) {
    auto entity = [&](int e, bool root, double length) {
        if (labels && labels[e - 1]) {
            AppendNewickLabel(text, labels[e - 1]);
        } else {
            char number[16];
            snprintf(number, sizeof number, "%d", e);
            text += number;
        }
        if (withLengths && !root) AppendLength(text, length);
    };
    if (n < 1) return;
    if (n == 1) {
        entity(1, true, 0.0);
        return;
    }
    int m = n - 1;
    int* childFirst = dim1DT<int>(m);
    int* childSecond = dim1DT<int>(m);
    ChildRecords(n, records, childFirst, childSecond);

    // Depth-first from the root, the first part before the second: a record
    // is opened, its parts are written, then it is closed with its length.
    struct Item {
        int record;      // -1: an entity
        int entity;      // when record is -1
        int stage;       // 0 open, 1 between the parts, 2 close
        double length;
    };
    Item* stack = static_cast<Item*>(dim1D(sizeof(Item), 2 * n));
    int depth = 0;
    stack[depth++] = {m - 1, 0, 0, 0.0};
    while (depth > 0) {
        Item& it = stack[depth - 1];
        if (it.record < 0) {
            entity(it.entity, false, it.length);
            depth--;
            continue;
        }
        const clusterReport& rec = records[it.record];
        int r = it.record;
        if (it.stage == 0) {
            text += '(';
            it.stage = 1;
            int c = childFirst[r];
            stack[depth++] = {c, c < 0 ? rec.members[0] : 0, 0, rec.branchFirst};
        } else if (it.stage == 1) {
            text += ',';
            it.stage = 2;
            int c = childSecond[r];
            int start = SecondPartStart(rec);
            stack[depth++] = {c, c < 0 ? rec.members[start] : 0, 0, rec.branchSecond};
        } else {
            text += ')';
            if (withLengths && r != m - 1) AppendLength(text, it.length);
            depth--;
        }
    }
    free1D(stack);
    free1D(childSecond);
    free1D(childFirst);
}

