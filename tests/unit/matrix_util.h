// Matrices owned by a test, made by the library's allocator.
#ifndef TEST_MATRIX_UTIL_H
#define TEST_MATRIX_UTIL_H

#include <initializer_list>
#include <vector>

#include "rhlibDim.h"

namespace testmat {

// A rows x cols table, zero-filled or filled from nested lists.
struct Table {
    int rows, cols;
    double** x;
    Table(int r, int c) : rows(r), cols(c), x(dim2DT<double>(r, c)) {}
    Table(std::initializer_list<std::initializer_list<double>> v)
        : Table(static_cast<int>(v.size()), static_cast<int>(v.begin()->size())) {
        int i = 0;
        for (auto& row : v) {
            int k = 0;
            for (double d : row) x[i][k++] = d;
            i++;
        }
    }
    // A copy of a table held as rows of a vector.
    explicit Table(const std::vector<std::vector<double>>& v)
        : Table(static_cast<int>(v.size()), v.empty() ? 0 : static_cast<int>(v[0].size())) {
        for (int i = 0; i < rows; i++)
            for (int k = 0; k < cols; k++) x[i][k] = v[i][k];
    }
    ~Table() { free2DT(x, rows); }
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;
    double* operator[](int i) const { return x[i]; }
};

// A square matrix pre-filled with a sentinel, so that unwritten cells show.
struct Square : Table {
    explicit Square(int n, double fill = 12345.0) : Table(n, n) {
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) x[i][j] = fill;
    }
};

}  // namespace testmat

#endif
