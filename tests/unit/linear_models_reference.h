// Independent references for the regression tests: least squares by
// Householder QR of the design matrix [1 X] (never the normal equations the
// library solves), and the dune tables of the examples folder.
#ifndef TEST_LINEAR_MODELS_REFERENCE_H
#define TEST_LINEAR_MODELS_REFERENCE_H

#include <cmath>
#include <cstdio>
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

inline Matrix Dune() { return ExampleTable("dune.txt", 20, 30); }
inline Matrix DuneEnvironment() { return ExampleTable("dune_env_nominal.txt", 20, 4); }

}  // namespace lsref

#endif
