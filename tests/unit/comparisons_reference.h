// Independent references for the matrix comparisons: resemblances, the
// statistics as defined (Pearson of upper triangles, RV from the n x n inner
// products, Rd from Gower-centred matrices, Procrustes from the eigenvalues of
// a small cross-product by Jacobi rotations), written out without the
// library.
#ifndef TEST_COMPARISONS_REFERENCE_H
#define TEST_COMPARISONS_REFERENCE_H

#include <algorithm>
#include <cmath>
#include <vector>

#include "linear_models_reference.h"
#include "reference_eigen.h"
#include "reference_stats.h"

namespace cmpref {

using lsref::Matrix;
using lsref::Vec;

template <class Pair>
inline Matrix Distances(const Matrix& X, Pair pair) {
    const size_t n = X.size();
    Matrix D(n, Vec(n, 0.0));
    for (size_t i = 0; i < n; i++)
        for (size_t j = i + 1; j < n; j++) D[i][j] = D[j][i] = pair(X[i], X[j]);
    return D;
}

inline Matrix Euclidean(const Matrix& X) {
    return Distances(X, [](const Vec& a, const Vec& b) {
        double s = 0;
        for (size_t k = 0; k < a.size(); k++) s += (a[k] - b[k]) * (a[k] - b[k]);
        return std::sqrt(s);
    });
}

inline Matrix BrayCurtis(const Matrix& X) {
    return Distances(X, [](const Vec& a, const Vec& b) {
        double d = 0, s = 0;
        for (size_t k = 0; k < a.size(); k++) d += std::fabs(a[k] - b[k]), s += a[k] + b[k];
        return d / s;
    });
}

// Upper-triangle values, pairs whose index is in `skip` (row order) left out.
inline Vec Upper(const Matrix& D, const std::vector<size_t>& skip = {}) {
    Vec v;
    size_t k = 0;
    for (size_t i = 0; i < D.size(); i++)
        for (size_t j = i + 1; j < D.size(); j++, k++)
            if (std::find(skip.begin(), skip.end(), k) == skip.end()) v.push_back(D[i][j]);
    return v;
}

inline Matrix Columns(const Matrix& X, size_t from, size_t to) {
    Matrix m;
    for (const Vec& row : X) m.emplace_back(row.begin() + from, row.begin() + to);
    return m;
}

inline Matrix Transposed(const Matrix& X) {
    Matrix t(X[0].size(), Vec(X.size()));
    for (size_t i = 0; i < X.size(); i++)
        for (size_t j = 0; j < X[0].size(); j++) t[j][i] = X[i][j];
    return t;
}

// The columns centred and the whole scaled to a total sum of squares of ss.
inline Matrix Standardised(Matrix X, double ss) {
    const size_t n = X.size(), p = X[0].size();
    double total = 0;
    for (size_t j = 0; j < p; j++) {
        double m = 0;
        for (size_t i = 0; i < n; i++) m += X[i][j] / n;
        for (size_t i = 0; i < n; i++) X[i][j] -= m, total += X[i][j] * X[i][j];
    }
    for (Vec& row : X)
        for (double& v : row) v *= std::sqrt(ss / total);
    return X;
}

// Procrustes correlation: the sum of the singular values of X' Y for the
// standardised tables, from the eigenvalues of (X' Y)(X' Y)' on the side of
// the table with fewer columns.
inline double ReferenceProcrustes(const Matrix& X0, const Matrix& Y0) {
    Matrix X = Standardised(X0, 1.0), Y = Standardised(Y0, 1.0);
    if (X[0].size() > Y[0].size()) std::swap(X, Y);
    const size_t n = X.size(), p = X[0].size(), q = Y[0].size();
    Matrix C(p, Vec(q, 0.0)), CC(p, Vec(p, 0.0));
    for (size_t a = 0; a < p; a++)
        for (size_t b = 0; b < q; b++)
            for (size_t i = 0; i < n; i++) C[a][b] += X[i][a] * Y[i][b];
    for (size_t a = 0; a < p; a++)
        for (size_t c = 0; c < p; c++)
            for (size_t b = 0; b < q; b++) CC[a][c] += C[a][b] * C[c][b];
    double t = 0;
    for (double e : refeig::Jacobi(CC).values) t += std::sqrt(std::max(e, 0.0));
    return t;
}

// The RV coefficient as defined: columns centred over their present values,
// W = X X' with missing terms left out, <Wx, Wy> / sqrt(<Wx, Wx> <Wy, Wy>).
inline double ReferenceRV(const Matrix& X, const Matrix& Y) {
    auto gram = [](Matrix A) {
        const size_t n = A.size(), p = A[0].size();
        // Missing is what the table holds; a centred value may be -999.
        std::vector<std::vector<bool>> missing(n, std::vector<bool>(p));
        for (size_t j = 0; j < p; j++) {
            double s = 0;
            int k = 0;
            for (size_t i = 0; i < n; i++)
                if (!(missing[i][j] = A[i][j] == -999.0)) s += A[i][j], k++;
            for (size_t i = 0; i < n; i++)
                if (!missing[i][j]) A[i][j] -= s / k;
        }
        Matrix W(n, Vec(n, 0.0));
        for (size_t i = 0; i < n; i++)
            for (size_t j = 0; j < n; j++)
                for (size_t c = 0; c < p; c++)
                    if (!missing[i][c] && !missing[j][c]) W[i][j] += A[i][c] * A[j][c];
        return W;
    };
    const Matrix a = gram(X), b = gram(Y);
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < a.size(); j++) ab += a[i][j] * b[i][j], aa += a[i][j] * a[i][j], bb += b[i][j] * b[i][j];
    return ab / std::sqrt(aa * bb);
}

// Rd: Pearson correlation of all cells of the Gower-centred matrices,
// -(d - row mean - column mean + grand mean) / 2 of the distances d as they
// are (not squared).
inline double ReferenceRd(const Matrix& A, const Matrix& B) {
    auto centred = [](const Matrix& D) {
        const size_t n = D.size();
        Vec row(n, 0.0);
        double grand = 0;
        for (size_t i = 0; i < n; i++)
            for (size_t j = 0; j < n; j++) row[i] += D[i][j] / n, grand += D[i][j] / (n * n);
        Vec cells;
        for (size_t i = 0; i < n; i++)
            for (size_t j = 0; j < n; j++) cells.push_back(-0.5 * (D[i][j] - row[i] - row[j] + grand));
        return cells;
    };
    return Pearson(centred(A), centred(B));
}

// Rows and columns of a square matrix in the order of list (from 1).
inline Matrix PermutedSquare(const Matrix& D, const std::vector<int>& list) {
    Matrix r(D.size(), Vec(D.size()));
    for (size_t i = 0; i < D.size(); i++)
        for (size_t j = 0; j < D.size(); j++) r[i][j] = D[list[i] - 1][list[j] - 1];
    return r;
}

}  // namespace cmpref

#endif
