// The records and tables that the tests of the clustering engines and the
// tests of the partitions and Newick text cut from their records share.
#ifndef TEST_CLUSTERING_UTIL_H
#define TEST_CLUSTERING_UTIL_H

#include <cmath>
#include <random>
#include <vector>

#include "rhlib_M.h"

namespace clustertest {

using Matrix = std::vector<std::vector<double>>;

// Row-pointer view of a matrix for the library's double** arguments.
class Rows {
public:
    explicit Rows(Matrix& m) {
        for (auto& r : m) p_.push_back(r.data());
    }
    operator double**() { return p_.data(); }

private:
    std::vector<double*> p_;
};

// Owns the n-1 records of one run.
class Records {
public:
    explicit Records(int n, int p = 0, bool factorial = false)
        : n_(n), r_(NewClusterReports(n, p, factorial)) {}
    ~Records() { FreeClusterReports(r_, n_); }
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
    clusterReport* get() { return r_; }
    const clusterReport& operator[](int k) const { return r_[k]; }
    std::vector<int> Members(int k) const {
        return std::vector<int>(r_[k].members, r_[k].members + r_[k].nMembers);
    }

private:
    int n_;
    clusterReport* r_;
};

// The five-object example that the tests work by hand.
inline Matrix Five() {
    return Matrix({{0, 2, 6, 10, 9},
                   {2, 0, 5, 9, 8},
                   {6, 5, 0, 4, 5},
                   {10, 9, 4, 0, 3},
                   {9, 8, 5, 3, 0}});
}

inline Matrix RandomPoints(int n, int dims, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(0, 10);
    Matrix x(n, std::vector<double>(dims));
    for (auto& r : x)
        for (auto& v : r) v = u(gen);
    return x;
}

inline Matrix Euclidean(const Matrix& x) {
    int n = x.size();
    Matrix d(n, std::vector<double>(n));
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            double s = 0;
            for (size_t t = 0; t < x[i].size(); t++) s += (x[i][t] - x[j][t]) * (x[i][t] - x[j][t]);
            d[i][j] = std::sqrt(s);
        }
    return d;
}

inline std::vector<std::vector<int>> Chain(int n) {
    std::vector<std::vector<int>> adj(n, std::vector<int>(n));
    for (int i = 0; i + 1 < n; i++) adj[i][i + 1] = 1;
    return adj;
}

inline std::vector<int*> IntRows(std::vector<std::vector<int>>& m) {
    std::vector<int*> p;
    for (auto& r : m) p.push_back(r.data());
    return p;
}

}  // namespace clustertest

#endif
