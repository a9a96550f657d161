// Independent references for the regression tests: least squares by
// Householder QR of the design matrix [1 X] (never the normal equations the
// library solves), and the dune tables of the examples folder.
#ifndef TEST_LINEAR_MODELS_REFERENCE_H
#define TEST_LINEAR_MODELS_REFERENCE_H

#include <gsl/gsl_rng.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace lsref {

using Vec = std::vector<double>;
using Matrix = std::vector<Vec>;  // rows

struct Fit {
    double b0 = 0;
    Vec b;       // one per factor
    Vec fitted;  // one per unit
    double r2 = 0, sst = 0;
};

// Least squares of y on the columns of X with an intercept.
inline Fit LeastSquares(const Matrix& X, const Vec& y) {
    const size_t n = y.size(), p = X.empty() ? 0 : X[0].size(), m = p + 1;
    Matrix a(n, Vec(m));
    for (size_t i = 0; i < n; i++) {
        a[i][0] = 1.0;
        for (size_t j = 0; j < p; j++) a[i][j + 1] = X[i][j];
    }
    Vec z = y;
    for (size_t k = 0; k < m; k++) {
        double norm = 0;
        for (size_t i = k; i < n; i++) norm += a[i][k] * a[i][k];
        norm = std::sqrt(norm);
        const double alpha = a[k][k] > 0 ? -norm : norm;
        Vec v(n, 0.0);
        for (size_t i = k; i < n; i++) v[i] = a[i][k];
        v[k] -= alpha;
        double vv = 0;
        for (size_t i = k; i < n; i++) vv += v[i] * v[i];
        if (vv == 0) continue;
        for (size_t j = k; j < m; j++) {
            double s = 0;
            for (size_t i = k; i < n; i++) s += v[i] * a[i][j];
            for (size_t i = k; i < n; i++) a[i][j] -= 2 * s / vv * v[i];
        }
        double s = 0;
        for (size_t i = k; i < n; i++) s += v[i] * z[i];
        for (size_t i = k; i < n; i++) z[i] -= 2 * s / vv * v[i];
    }
    Vec beta(m);
    for (size_t k = m; k-- > 0;) {
        double s = z[k];
        for (size_t j = k + 1; j < m; j++) s -= a[k][j] * beta[j];
        beta[k] = s / a[k][k];
    }
    Fit f;
    f.b0 = beta[0];
    f.b.assign(beta.begin() + 1, beta.end());
    double mean = 0;
    for (double v : y) mean += v / n;
    double rss = 0;
    f.fitted.resize(n);
    for (size_t i = 0; i < n; i++) {
        double s = f.b0;
        for (size_t j = 0; j < p; j++) s += f.b[j] * X[i][j];
        f.fitted[i] = s;
        rss += (y[i] - s) * (y[i] - s);
        f.sst += (y[i] - mean) * (y[i] - mean);
    }
    f.r2 = 1 - rss / f.sst;
    return f;
}

inline Vec Column(const Matrix& m, size_t j) {
    Vec c(m.size());
    for (size_t i = 0; i < m.size(); i++) c[i] = m[i][j];
    return c;
}

// The first rows x cols numbers of a data file of the examples folder.
inline Matrix ExampleTable(const std::string& name, size_t rows, size_t cols) {
    Matrix m(rows, Vec(cols));
    FILE* f = fopen((std::string(TEVLAN_TEST_DATA) + "/" + name).c_str(), "r");
    if (!f) return Matrix();
    for (auto& row : m)
        for (double& v : row)
            if (fscanf(f, "%lf", &v) != 1) v = NAN;
    fclose(f);
    return m;
}

// The variable labels of the dune table: the words after its numbers and
// its 20 unit labels.
inline std::vector<std::string> DuneSpecies() {
    std::vector<std::string> labels;
    FILE* f = fopen((std::string(TEVLAN_TEST_DATA) + "/dune.txt").c_str(), "r");
    if (!f) return labels;
    char word[64];
    for (int k = 0; k < 20 * 30 + 20 && fscanf(f, "%63s", word) == 1; k++) {
    }
    while (fscanf(f, "%63s", word) == 1) labels.push_back(word);
    fclose(f);
    return labels;
}

inline Matrix Dune() { return ExampleTable("dune.txt", 20, 30); }
inline Matrix DuneEnvironment() { return ExampleTable("dune_env_nominal.txt", 20, 4); }

// The tie rule of every permutation test: a random statistic counts when its
// magnitude is larger or equal in single precision up to one unit in the last
// place (written out here, not taken from the library).
inline bool Counts(double random, double observed) {
    if (!std::isfinite(random)) return false;
    const float a = std::fabs(static_cast<float>(random)), b = std::fabs(static_cast<float>(observed));
    if (a >= b) return true;
    int32_t ia, ib;
    std::memcpy(&ia, &a, 4);
    std::memcpy(&ib, &b, 4);
    return ib - ia <= 1;
}

// A free permutation of 1..n drawn as the program draws it: the identity,
// then position i swapped with i + U(n - i) for i = 0 .. n - 2.
inline std::vector<int> DrawnList(gsl_rng* g, int n) {
    std::vector<int> list(n);
    for (int i = 0; i < n; i++) list[i] = i + 1;
    for (int i = 0; i + 1 < n; i++)
        std::swap(list[i], list[i + gsl_rng_uniform_int(g, n - i)]);
    return list;
}

// Rows of y in list order (unit numbers from 1).
inline Matrix Permuted(const Matrix& y, const std::vector<int>& list) {
    Matrix r;
    for (int u : list) r.push_back(y[u - 1]);
    return r;
}

}  // namespace lsref

#endif
