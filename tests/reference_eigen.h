// Eigen analysis written out for the tests, as a reference independent of
// the library's routines.
#ifndef TEST_REFERENCE_EIGEN_H
#define TEST_REFERENCE_EIGEN_H

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace refeig {

using Vec = std::vector<double>;
using Matrix = std::vector<Vec>;

// Eigen analysis of a symmetric matrix by cyclic Jacobi rotations: the
// eigenvalues in descending order, with the eigenvectors as rows.
struct Eigen {
    Vec values;
    Matrix vectors;
};

inline Eigen Jacobi(Matrix a) {
    const size_t n = a.size();
    Matrix v(n, Vec(n, 0.0));
    for (size_t i = 0; i < n; i++) v[i][i] = 1.0;
    for (int sweep = 0; sweep < 100; sweep++) {
        double off = 0;
        for (size_t p = 0; p < n; p++)
            for (size_t q = p + 1; q < n; q++) off += a[p][q] * a[p][q];
        if (off < 1e-26) break;
        for (size_t p = 0; p < n; p++)
            for (size_t q = p + 1; q < n; q++) {
                if (a[p][q] == 0.0) continue;
                const double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (size_t k = 0; k < n; k++) {
                    const double akp = a[k][p], akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (size_t k = 0; k < n; k++) {
                    const double apk = a[p][k], aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
                for (size_t k = 0; k < n; k++) {
                    const double vkp = v[k][p], vkq = v[k][q];
                    v[k][p] = c * vkp - s * vkq;
                    v[k][q] = s * vkp + c * vkq;
                }
            }
    }
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](size_t x, size_t y) { return a[x][x] > a[y][y]; });
    Eigen e;
    for (size_t k : order) {
        e.values.push_back(a[k][k]);
        Vec col(n);
        for (size_t i = 0; i < n; i++) col[i] = v[i][k];
        e.vectors.push_back(col);
    }
    return e;
}

}  // namespace refeig

#endif
