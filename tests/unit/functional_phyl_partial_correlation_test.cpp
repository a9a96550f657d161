// Partial correlations: of two variables from their correlations, and of two
// tables after covariate tables.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "functional_phyl_util.h"
#include "linear_models_reference.h"
#include "matrix_util.h"
#include "reference_stats.h"
#include "rhFunctionalPhyl.h"

namespace {

using fptest::Rows;
using lsref::Matrix;
using lsref::Vec;
using testmat::Table;

TEST(PartialCorrelation, FormulaAndDegenerateCovariates) {
    EXPECT_NEAR(PartialCorrelation(0.5, 0.3, 0.4), 0.4346336, 5e-8);
    for (double r : {1.0, -1.0, 1 - 1e-10, -1 + 1e-10}) {
        EXPECT_EQ(PartialCorrelation(0.5, r, 0.4), 0.0) << r;
        EXPECT_EQ(PartialCorrelation(0.5, 0.4, r), 0.0) << r;
    }
    // The correlation of the residuals of x and y on z, computed here.
    const Vec x = {1, 3, 2, 5, 4, 7}, y = {2, 1, 4, 3, 6, 5}, z = {1, 2, 2, 3, 5, 4};
    auto residuals = [&z](const Vec& v) {
        const double mz = std::accumulate(z.begin(), z.end(), 0.0) / z.size(),
                     mv = std::accumulate(v.begin(), v.end(), 0.0) / v.size();
        double szv = 0, szz = 0;
        for (size_t k = 0; k < z.size(); k++) szv += (z[k] - mz) * (v[k] - mv), szz += (z[k] - mz) * (z[k] - mz);
        Vec r(v.size());
        for (size_t k = 0; k < v.size(); k++) r[k] = v[k] - mv - szv / szz * (z[k] - mz);
        return r;
    };
    EXPECT_NEAR(PartialCorrelation(Pearson(x, y), Pearson(x, z), Pearson(y, z)), Pearson(residuals(x), residuals(y)),
                1e-12);
}

// ---------------------------------------------------------------------------
// Partial correlation of two tables
// ---------------------------------------------------------------------------

// Least-squares residuals of each column of y on an intercept and the
// columns of z (normal equations, at most two covariates).
Matrix Residuals(const Matrix& y, const Matrix& z) {
    const size_t n = y.size(), k = z.empty() ? 0 : z[0].size();
    Matrix zc = z, r = y;
    auto centre = [n](Matrix& m) {
        for (size_t j = 0; j < m[0].size(); j++) {
            double mean = 0;
            for (size_t i = 0; i < n; i++) mean += m[i][j] / n;
            for (size_t i = 0; i < n; i++) m[i][j] -= mean;
        }
    };
    centre(r);
    if (k == 0) return r;
    centre(zc);
    double a = 0, b = 0, d = 0;
    for (size_t i = 0; i < n; i++) {
        a += zc[i][0] * zc[i][0];
        if (k == 2) b += zc[i][0] * zc[i][1], d += zc[i][1] * zc[i][1];
    }
    for (size_t j = 0; j < y[0].size(); j++) {
        double s0 = 0, s1 = 0;
        for (size_t i = 0; i < n; i++) s0 += zc[i][0] * r[i][j], s1 += k == 2 ? zc[i][1] * r[i][j] : 0;
        double c0, c1 = 0;
        if (k == 1) {
            c0 = s0 / a;
        } else {
            const double det = a * d - b * b;
            c0 = (d * s0 - b * s1) / det;
            c1 = (a * s1 - b * s0) / det;
        }
        for (size_t i = 0; i < n; i++) r[i][j] -= c0 * zc[i][0] + (k == 2 ? c1 * zc[i][1] : 0);
    }
    return r;
}

// RV of two centred tables: <XX', YY'> / sqrt(<XX', XX'> <YY', YY'>).
double RV(const Matrix& x, const Matrix& y) {
    auto gram = [](const Matrix& m) {
        Matrix g(m.size(), Vec(m.size()));
        for (size_t i = 0; i < m.size(); i++)
            for (size_t j = 0; j < m.size(); j++)
                for (size_t k = 0; k < m[0].size(); k++) g[i][j] += m[i][k] * m[j][k];
        return g;
    };
    const Matrix gx = gram(x), gy = gram(y);
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = 0; i < x.size(); i++)
        for (size_t j = 0; j < x.size(); j++) xy += gx[i][j] * gy[i][j], xx += gx[i][j] * gx[i][j], yy += gy[i][j] * gy[i][j];
    return xy / std::sqrt(xx * yy);
}

// Procrustes correlation of a centred table x against one centred column y:
// each scaled to a total sum of squares of 1, the one singular value of x'y
// is the length of that vector.
double ProcrustesOneColumn(const Matrix& x, const Matrix& y) {
    double sx = 0, sy = 0;
    for (size_t i = 0; i < x.size(); i++) {
        for (double v : x[i]) sx += v * v;
        sy += y[i][0] * y[i][0];
    }
    double length = 0;
    for (size_t k = 0; k < x[0].size(); k++) {
        double s = 0;
        for (size_t i = 0; i < x.size(); i++) s += x[i][k] * y[i][0];
        length += s * s;
    }
    return std::sqrt(length / (sx * sy));
}

TEST(PartialMatrixCorrelation, ResidualsOnTheCovariates) {
    const Matrix dune = lsref::Dune(), env = lsref::DuneEnvironment();
    Matrix X1(20, Vec(2)), X2(20, Vec(1)), Z(20, Vec(2)), Zwide(20, Vec(3));
    for (int i = 0; i < 20; i++) {
        X1[i] = {dune[i][0], dune[i][16]};
        X2[i] = {env[i][0]};
        Z[i] = {env[i][3], env[i][2]};
        Zwide[i] = {env[i][2], 7.0, env[i][3]};  // the middle column is left out
    }
    Table a(X1), b(X2), z(Z), wide(Zwide), manure(Rows(Z, 20, 1));
    const int select[] = {1, 0, 1};
    const Matrix r1 = Residuals(X1, Z), r2 = Residuals(X2, Z);
    const double rv = RV(r1, r2), procrustes = ProcrustesOneColumn(r1, r2);
    ASSERT_GT(rv, 0.01);

    EXPECT_NEAR(PartialMatrixCorrelation(20, 2, 1, a.x, b.x, 3, 0.0, 1, 2, nullptr, z.x), rv, 1e-10);
    EXPECT_NEAR(PartialMatrixCorrelation(20, 2, 1, a.x, b.x, 2, 0.0, 1, 2, nullptr, z.x), procrustes, 1e-10);
    // The same covariates from two blocks, or selected out of a wider block
    // (the order of the covariates does not change the residuals).
    EXPECT_NEAR(PartialMatrixCorrelation(20, 2, 1, a.x, b.x, 3, 0.0, 2, 1, nullptr, manure.x, 3, select, wide.x), rv,
                1e-10);
    const std::vector<CovariateBlock> blocks = {{3, select, wide.x}};
    EXPECT_NEAR(PartialMatrixCorrelation(20, 2, 1, a.x, b.x, 3, 0.0, blocks), rv, 1e-10);
    // Without covariates: the coefficients of the centred tables.
    EXPECT_NEAR(PartialMatrixCorrelation(20, 2, 1, a.x, b.x, 3, 0.0, 0), RV(Residuals(X1, {}), Residuals(X2, {})),
                1e-10);
    EXPECT_NEAR(PartialMatrixCorrelation(20, 2, 1, a.x, b.x, 3, 0.0, 1, 1, nullptr, manure.x),
                RV(Residuals(X1, Rows(Z, 20, 1)), Residuals(X2, Rows(Z, 20, 1))), 1e-10);
    // Other methods give 0; a count that differs from the blocks given, NaN.
    EXPECT_EQ(PartialMatrixCorrelation(20, 2, 1, a.x, b.x, 1, 0.0, 1, 2, nullptr, z.x), 0.0);
    EXPECT_TRUE(std::isnan(PartialMatrixCorrelation(20, 2, 1, a.x, b.x, 3, 0.0, 2, 2, nullptr, z.x)));
    // The caller's tables are not changed.
    for (int i = 0; i < 20; i++) {
        EXPECT_EQ(a[i][0], X1[i][0]);
        EXPECT_EQ(b[i][0], X2[i][0]);
    }
}

}  // namespace
