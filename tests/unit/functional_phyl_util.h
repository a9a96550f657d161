// Reference forms that several tests of the functional and phylogenetic
// module take, on tables held as vectors of rows.
#ifndef TEST_FUNCTIONAL_PHYL_UTIL_H
#define TEST_FUNCTIONAL_PHYL_UTIL_H

#include <cmath>
#include <cstddef>

#include "linear_models_reference.h"

namespace fptest {

using lsref::Matrix;
using lsref::Vec;

// Euclidean distances between the rows, the textbook way.
inline Matrix Euclidean(const Matrix& m) {
    Matrix d(m.size(), Vec(m.size()));
    for (size_t i = 0; i < m.size(); i++)
        for (size_t j = 0; j < m.size(); j++) {
            double s = 0;
            for (size_t k = 0; k < m[i].size(); k++) s += (m[i][k] - m[j][k]) * (m[i][k] - m[j][k]);
            d[i][j] = std::sqrt(s);
        }
    return d;
}

// The first rows x cols block of m.
inline Matrix Rows(const Matrix& m, size_t rows, size_t cols) {
    Matrix r(rows, Vec(cols));
    for (size_t i = 0; i < rows; i++)
        for (size_t j = 0; j < cols; j++) r[i][j] = m[i][j];
    return r;
}

}  // namespace fptest

#endif
