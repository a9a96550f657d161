// Regression, redundancy analysis and the residual routines, against figures
// from R's lm and vegan's rda on the dune data and against least squares by
// Householder QR computed here.
#include <gtest/gtest.h>
#include <gsl/gsl_rng.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "levels_util.h"
#include "linear_models_reference.h"
#include "matrix_util.h"
#include "reference_stats.h"
#include "rhLinearModels.h"
#include "rhlibDim.h"
#include "rhlib_M.h"
#include "stream_util.h"

namespace {

using lsref::Matrix;
using lsref::Counts;
using lsref::Permuted;
using lsref::Vec;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// A library matrix holding m, and a check that it still does bit for bit.
struct Held : testmat::Table {
    explicit Held(const Matrix& m) : Table(static_cast<int>(m.size()), static_cast<int>(m[0].size())) {
        for (int i = 0; i < rows; i++)
            for (int j = 0; j < cols; j++) x[i][j] = m[i][j];
    }
    bool Unchanged(const Matrix& m) const {
        for (int i = 0; i < rows; i++)
            if (std::memcmp(x[i], m[i].data(), sizeof(double) * cols) != 0) return false;
        return true;
    }
};

Matrix Select(const Matrix& m, const std::vector<int>& columns) {
    Matrix s(m.size());
    for (size_t i = 0; i < m.size(); i++)
        for (int j : columns) s[i].push_back(m[i][j]);
    return s;
}

// Rows drawn from a generator of the test's own, with values spread enough
// that no two are equal.
Matrix RandomTable(int n, int p, unsigned seed) {
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, seed);
    Matrix m(n, Vec(p));
    for (auto& row : m)
        for (double& v : row) v = 10 * gsl_rng_uniform(g) - 3;
    gsl_rng_free(g);
    return m;
}

Matrix ToMatrix(const testmat::Table& t) {
    Matrix m(t.rows, Vec(t.cols));
    for (int i = 0; i < t.rows; i++)
        for (int j = 0; j < t.cols; j++) m[i][j] = t[i][j];
    return m;
}

// Outputs of one regression call.
struct RegressionOut {
    int ok = 0;
    Matrix B, fitted;
    Vec b0, r2, sst;
};

RegressionOut Regress(const Matrix& y, const Matrix& x) {
    const int n = static_cast<int>(y.size()), q = static_cast<int>(y[0].size()),
              p = static_cast<int>(x[0].size());
    Held Y(y), X(x);
    testmat::Table B(p, q), fitted(n, q);
    RegressionOut o;
    o.b0.resize(q);
    o.r2.resize(q);
    o.sst.resize(q);
    o.ok = regression(n, q, p, Y.x, X.x, B.x, o.b0.data(), fitted.x, o.r2.data(), o.sst.data(), false,
                      nullptr, 0, false);
    o.B = ToMatrix(B);
    o.fitted = ToMatrix(fitted);
    EXPECT_TRUE(Y.Unchanged(y) && X.Unchanged(x)) << "the caller's tables were changed";
    return o;
}

// Outputs of one RDA call.
struct RdaOut {
    int ok = 0, axes = -1;
    double total = 0;
    Vec eig, corr;
    Matrix evec, sx, sy, corrX;
};

RdaOut Rda(const Matrix& y, const Matrix& x) {
    const int n = static_cast<int>(y.size()), q = static_cast<int>(y[0].size()),
              p = static_cast<int>(x[0].size());
    Held Y(y), X(x);
    testmat::Table evec(q, q), sx(q, n), sy(q, n), corrX(q, p);
    RdaOut o;
    o.eig.resize(q);
    o.corr.resize(q);
    o.ok = RDA(n, q, p, Y.x, X.x, o.eig.data(), evec.x, &o.axes, &o.total, sx.x, sy.x, o.corr.data(),
               corrX.x);
    o.evec = ToMatrix(evec);
    o.sx = ToMatrix(sx);
    o.sy = ToMatrix(sy);
    o.corrX = ToMatrix(corrX);
    EXPECT_TRUE(Y.Unchanged(y) && X.Unchanged(x)) << "the caller's tables were changed";
    return o;
}

TEST(Regression, DuneSpeciesOnTheFourCodesAgreeWithLmAndWithQR) {
    const Matrix Y = lsref::Dune(), X = lsref::DuneEnvironment();
    ASSERT_EQ(Y.size(), 20u);
    RegressionOut o = Regress(Y, X);
    ASSERT_EQ(o.ok, 1);

    // R: lm(Achimill ~ Moisture + Management + Use + Manure) and the same for Agrostol.
    struct Lm {
        int column;
        double b0, b[4], r2, sst;
    };
    const Lm lm[] = {
        {0, 3.6673972133, {-0.1920510812, -0.6489375528, -0.4597525649, 0.1986623232}, 0.5631171561, 29.2},
        {1, -3.6611798468, {0.8907180695, 0.6927826831, 0.2831994146, 0.5913521023}, 0.6673112895, 136.8},
    };
    for (const Lm& e : lm) {
        EXPECT_NEAR(o.b0[e.column], e.b0, 1e-9);
        for (int f = 0; f < 4; f++) EXPECT_NEAR(o.B[f][e.column], e.b[f], 1e-9);
        EXPECT_NEAR(o.r2[e.column], e.r2, 1e-9);
        EXPECT_NEAR(o.sst[e.column], e.sst, 1e-9);
    }
    for (int v = 0; v < 30; v++) {
        const lsref::Fit f = lsref::LeastSquares(X, lsref::Column(Y, v));
        EXPECT_NEAR(o.b0[v], f.b0, 1e-10) << v;
        for (int k = 0; k < 4; k++) EXPECT_NEAR(o.B[k][v], f.b[k], 1e-10) << v;
        EXPECT_NEAR(o.r2[v], f.r2, 1e-10) << v;
        for (int i = 0; i < 20; i++) EXPECT_NEAR(o.fitted[i][v], f.fitted[i], 1e-10) << v;
    }
}

TEST(Regression, OneFactorOneResponseIsTheSlopeAndTheSquaredCorrelation) {
    const Matrix dune = lsref::Dune();
    const Matrix y = Select(dune, {0}), x = Select(dune, {16});  // Achimill on Lolipere
    RegressionOut o = Regress(y, x);
    ASSERT_EQ(o.ok, 1);
    EXPECT_NEAR(o.b0[0], 0.2727272727, 1e-9);
    EXPECT_NEAR(o.B[0][0], 0.1818181818, 1e-9);
    EXPECT_NEAR(o.r2[0], 0.1718555417, 1e-9);
    const double r = Pearson(lsref::Column(y, 0), lsref::Column(x, 0));
    EXPECT_NEAR(o.r2[0], r * r, 1e-12);
}

TEST(Regression, RefusesModelsThatCannotBeFitted) {
    const Matrix base = RandomTable(8, 2, 7);
    Matrix collinear = base, constant = base;
    for (auto& row : collinear) row.push_back(2.5 * row[0] - 0.3 * row[1]);
    for (auto& row : constant) row[1] = 4.2;
    const Matrix y = RandomTable(8, 3, 8);
    struct Case {
        const char* what;
        Matrix x, y;
    };
    const Case cases[] = {
        {"collinear factors", collinear, y},
        {"a constant factor", constant, y},
        {"as many factors as units", RandomTable(4, 4, 9), RandomTable(4, 2, 10)},
        {"more factors than units", RandomTable(3, 5, 11), RandomTable(3, 2, 12)},
    };
    for (const Case& c : cases) {
        CaptureStderr();
        RegressionOut o = Regress(c.y, c.x);
        const std::string err = GetCapturedStderr();
        EXPECT_NE(err.find("gaussj: Singular Matrix"), std::string::npos) << c.what;
        EXPECT_EQ(o.ok, 0) << c.what;
        for (double v : o.r2) EXPECT_TRUE(std::isnan(v)) << c.what;
        for (double v : o.b0) EXPECT_TRUE(std::isnan(v)) << c.what;
        EXPECT_TRUE(std::isnan(o.B[0][0]) && std::isnan(o.fitted[0][0])) << c.what;

        CaptureStderr();
        RdaOut rda = Rda(c.y, c.x);
        GetCapturedStderr();
        EXPECT_EQ(rda.ok, 0) << c.what;
        EXPECT_EQ(rda.axes, 0) << c.what;
        EXPECT_TRUE(std::isnan(rda.eig[0])) << c.what;
    }
}

TEST(Regression, ConstantResponseHasUndefinedDetermination) {
    Matrix y = RandomTable(10, 2, 3);
    for (auto& row : y) row[1] = 5.0;
    RegressionOut o = Regress(y, RandomTable(10, 2, 4));
    ASSERT_EQ(o.ok, 1);
    EXPECT_EQ(o.sst[1], 0.0);
    EXPECT_TRUE(std::isnan(o.r2[1]));
    EXPECT_TRUE(std::isfinite(o.r2[0]));
    EXPECT_NEAR(o.b0[1], 5.0, 1e-12);
}

// A centred factor value of exactly -999 is a number like any other.
TEST(Regression, CentredValueOfMinus999IsNotMissing) {
    const Matrix x = {{1}, {1999}, {1000}, {3}, {1997}};
    const Matrix y = {{2}, {5}, {3}, {1}, {7}};
    RegressionOut o = Regress(y, x);
    const lsref::Fit f = lsref::LeastSquares(x, lsref::Column(y, 0));
    EXPECT_NEAR(o.B[0][0], f.b[0], 1e-12);
    EXPECT_NEAR(o.r2[0], f.r2, 1e-12);
}

TEST(Regression, PrintoutsInBothLanguages) {
    const Matrix y = {{1, 2}, {2, 2}, {4, 5}, {3, 7}}, x = {{0}, {1}, {2}, {3}};
    struct Case {
        int port;
        bool full;
        std::vector<const char*> present, absent;
    };
    const Case cases[] = {
        {0, false,
         {"\nRegression coefficients for each factor (rows), one model for each response variable (coluns):\n"
          "Factor 1:\t0.8\t1.8\t\n\nIntersection (bo for each response variable):\n1.3\t1.3\t",
          "\nCoefficient of determination (r squared) for 2 response variables:\n0.64\t0.9\t\n"},
         {"Factor matrix", "Predicted"}},
        {0, true,
         {"\nFactor matrix:\n0\t\n1\t\n2\t\n3\t\n\nResponse matrix:\n1\t2\t\n",
          "\n\nPredicted model responses (for each response variable in columns, and sampling unit in rows):\n"
          "1.3\t1.3\t\n2.1\t3.1\t\n",
          "\nResiduals not explained by the model (for each response variable in columns, and sampling unit in "
          "rows):\n-0.3\t0.7\t\n",
          "(this is simply the residuals plus the mean of the response variable) (for each response variable in "
          "columns, and sampling unit in rows):\n2.2\t4.7\t\n"},
         {}},
        {1, true,
         {"\nMatriz de fatores:\n", "Fator 1:\t0.8\t1.8\t\n", "\nIntersecao (bo para cada variavel resposta):\n",
          "\nCoeficiente de determinacao (r quadrado) para 2 variaveis resposta:\n0.64\t0.9\t\n"},
         {"Factor"}},
    };
    for (const Case& c : cases) {
        Held Y(y), X(x);
        testmat::Table B(1, 2), fitted(4, 2);
        Vec b0(2), r2(2);
        const std::string text = Printed([&](FILE* f) {
            regression(4, 2, 1, Y.x, X.x, B.x, b0.data(), fitted.x, r2.data(), true, f, c.port, c.full);
        });
        for (const char* s : c.present) EXPECT_NE(text.find(s), std::string::npos) << s << "\n---\n" << text;
        for (const char* s : c.absent) EXPECT_EQ(text.find(s), std::string::npos) << s;
    }
    // The nine-argument form prints nothing and needs no stream.
    Held Y(y), X(x);
    testmat::Table B(1, 2), fitted(4, 2);
    Vec b0(2), r2(2);
    EXPECT_EQ(regression(4, 2, 1, Y.x, X.x, B.x, b0.data(), fitted.x, r2.data()), 1);
    EXPECT_NEAR(r2[1], 0.9, 1e-12);
}

double VarianceOf(const Vec& x, int n) {
    double m = 0, s = 0;
    for (int i = 0; i < n; i++) m += x[i] / n;
    for (int i = 0; i < n; i++) s += (x[i] - m) * (x[i] - m);
    return s / (n - 1);
}

TEST(RedundancyAnalysis, DuneOnTheFourCodesAgreesWithVegan) {
    const Matrix Y = lsref::Dune(), X = lsref::DuneEnvironment();
    RdaOut o = Rda(Y, X);
    ASSERT_EQ(o.ok, 1);
    EXPECT_NEAR(o.total, 84.12368421, 1e-8);
    ASSERT_EQ(o.axes, 4);
    const double eig[] = {21.92934948, 12.94696230, 3.394462780, 2.359331503};
    const double corr[] = {0.9488038933, 0.8642827258, 0.8067009076, 0.8680336706};
    const double corrX1[] = {0.9191061938, 0.6058144502, 0.1472885817, 0.2650881773};
    for (int k = 0; k < 4; k++) {
        EXPECT_NEAR(o.eig[k], eig[k], 1e-8) << k;
        EXPECT_NEAR(o.corr[k], corr[k], 1e-9) << k;
        EXPECT_NEAR(std::fabs(o.corrX[0][k]), corrX1[k], 1e-9) << k;
        EXPECT_NEAR(VarianceOf(o.sx[k], 20), o.eig[k], 1e-9) << k;
    }
    // Column k of evec is the unit eigenvector of axis k.
    for (int a = 0; a < 4; a++)
        for (int b = 0; b < 4; b++) {
            double s = 0;
            for (int v = 0; v < 30; v++) s += o.evec[v][a] * o.evec[v][b];
            EXPECT_NEAR(s, a == b ? 1.0 : 0.0, 1e-12);
        }
    // The fifth eigenvalue on is null up to rounding.
    EXPECT_LT(std::fabs(o.eig[4]), 1e-10);
}

TEST(RedundancyAnalysis, OneResponseHasOneAxisWhateverTheFactors) {
    const Matrix Y = Select(lsref::Dune(), {0}), X = Select(lsref::DuneEnvironment(), {0, 1, 2});
    RdaOut o = Rda(Y, X);
    ASSERT_EQ(o.ok, 1);
    EXPECT_EQ(o.axes, 1);
    EXPECT_NEAR(o.eig[0], 0.8194595874, 1e-9);
    EXPECT_NEAR(o.corr[0], 0.7302123017, 1e-9);
    // With one response the axis is the fitted response itself.
    const lsref::Fit f = lsref::LeastSquares(X, lsref::Column(Y, 0));
    EXPECT_NEAR(o.corr[0], std::sqrt(f.r2), 1e-12);
}

TEST(ResidualRoutines, MatrixRegressionsAgainstLeastSquaresOfTheUpperCells) {
    const int n = 7;
    const Matrix a = RandomTable(n, n, 21), b = RandomTable(n, n, 22);
    Matrix x, xf;
    Vec y, yf;
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) {
            x.push_back({a[i][j]});
            y.push_back(b[i][j]);
            xf.push_back({static_cast<double>(static_cast<float>(a[i][j]))});
            yf.push_back(static_cast<float>(b[i][j]));
        }
    const lsref::Fit f = lsref::LeastSquares(x, y);
    const lsref::Fit ff = lsref::LeastSquares(xf, yf);
    Held A(a), B(b);
    testmat::Square R(n), P(n);
    EXPECT_EQ(ResidualsMatrixRegression(n, A.x, B.x, R.x), 1);
    EXPECT_EQ(PredictedMatrixRegression(n, A.x, B.x, P.x), 1);
    int k = 0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            if (j <= i) {  // only the upper triangle is written
                EXPECT_EQ(R[i][j], 12345.0);
                EXPECT_EQ(P[i][j], 12345.0);
                continue;
            }
            EXPECT_NEAR(R[i][j], b[i][j] - f.fitted[k], 1e-10);
            EXPECT_NEAR(P[i][j], ff.fitted[k], 1e-10);
            k++;
        }
    EXPECT_TRUE(A.Unchanged(a) && B.Unchanged(b));
}

Matrix Residuals(const Matrix& y, const Matrix& x) {
    Matrix r = y;
    for (size_t v = 0; v < y[0].size(); v++) {
        const lsref::Fit f = lsref::LeastSquares(x, lsref::Column(y, v));
        for (size_t i = 0; i < y.size(); i++) r[i][v] = y[i][v] - f.fitted[i];
    }
    return r;
}

Matrix Centred(const Matrix& y) {
    Matrix r = y;
    for (size_t v = 0; v < y[0].size(); v++) {
        double m = 0;
        for (auto& row : y) m += row[v] / y.size();
        for (auto& row : r) row[v] -= m;
    }
    return r;
}

// The k leading principal axes of the covariance (or correlation) matrix of
// the columns of x by orthogonal iteration, and the scores on them.
Matrix PrincipalScores(Matrix x, int k, bool correlations) {
    if (x.empty()) return {};
    x = Centred(x);
    const size_t n = x.size(), p = x[0].size();
    if (correlations)
        for (size_t j = 0; j < p; j++) {
            double s = 0;
            for (auto& row : x) s += row[j] * row[j];
            for (auto& row : x) row[j] /= std::sqrt(s);
        }
    Matrix c(p, Vec(p, 0.0));
    for (size_t a = 0; a < p; a++)
        for (size_t b = 0; b < p; b++)
            for (size_t i = 0; i < n; i++) c[a][b] += x[i][a] * x[i][b];
    Matrix q(k, Vec(p, 0.0));
    for (int a = 0; a < k; a++) q[a][a] = 1;
    for (int it = 0; it < 2000; it++) {
        Matrix z(k, Vec(p, 0.0));
        for (int a = 0; a < k; a++)
            for (size_t i = 0; i < p; i++)
                for (size_t j = 0; j < p; j++) z[a][i] += c[i][j] * q[a][j];
        for (int a = 0; a < k; a++) {  // Gram-Schmidt
            for (int b = 0; b < a; b++) {
                double d = 0;
                for (size_t i = 0; i < p; i++) d += z[a][i] * z[b][i];
                for (size_t i = 0; i < p; i++) z[a][i] -= d * z[b][i];
            }
            double s = 0;
            for (double v : z[a]) s += v * v;
            for (double& v : z[a]) v /= std::sqrt(s);
        }
        q = z;
    }
    Matrix scores(n, Vec(k, 0.0));
    for (size_t i = 0; i < n; i++)
        for (int a = 0; a < k; a++)
            for (size_t j = 0; j < p; j++) scores[i][a] += x[i][j] * q[a][j];
    return scores;
}

void ExpectSame(const testmat::Table& r, const Matrix& e, const char* what) {
    for (int i = 0; i < r.rows; i++)
        for (int v = 0; v < r.cols; v++) EXPECT_NEAR(r[i][v], e[i][v], 1e-9) << what << " " << i << "," << v;
}

TEST(ResidualRoutines, SelectedAndPrincipalComponentPredictors) {
    const int n = 20, p = 5, q = 3;
    const Matrix x = RandomTable(n, p, 31);
    Matrix y = RandomTable(n, q, 32);
    for (int i = 0; i < n; i++) y[i][0] += 2 * x[i][0] - x[i][3];
    Held Y(y), X(x);
    testmat::Table R(n, q), S(n, q);

    const int select[] = {1, 0, 1, 1, 0};
    EXPECT_EQ(Regression_ResidualsSelect(n, q, p, Y.x, X.x, R.x, select), 1);
    ExpectSame(R, Residuals(y, Select(x, {0, 2, 3})), "selected columns");
    EXPECT_EQ(Regression_ResidualsSelect(n, q, p, Y.x, X.x, R.x, nullptr), 1);
    ExpectSame(R, Residuals(y, x), "every column");
    const int none[] = {0, 0, 0, 0, 0};
    EXPECT_EQ(Regression_ResidualsSelect(n, q, p, Y.x, X.x, R.x, none), 1);
    ExpectSame(R, Centred(y), "no column");

    // Every component kept spans the same space as the factors themselves.
    for (int type : {1, 2}) {
        EXPECT_EQ(PCA_Regression_ResidualsSelect(n, q, p, Y.x, X.x, S.x, select, type, 0.0), 1);
        ExpectSame(S, Residuals(y, Select(x, {0, 2, 3})), "every component");
    }
    // (20 - 2) / 6 = 3 components.
    EXPECT_EQ(PCA_Regression_ResidualsSelect(n, q, p, Y.x, X.x, S.x, nullptr, 1, 6.0), 1);
    ExpectSame(S, Residuals(y, PrincipalScores(x, 3, false)), "three covariance components");
    EXPECT_EQ(PCA_Regression_ResidualsSelect(n, q, p, Y.x, X.x, S.x, nullptr, 2, 6.0), 1);
    ExpectSame(S, Residuals(y, PrincipalScores(x, 3, true)), "three correlation components");
    // No predictor: another type, or a bound below one component.
    EXPECT_EQ(PCA_Regression_ResidualsSelect(n, q, p, Y.x, X.x, S.x, nullptr, 3, 0.0), 1);
    ExpectSame(S, Centred(y), "type 3");
    EXPECT_EQ(PCA_Regression_ResidualsSelect(n, q, p, Y.x, X.x, S.x, nullptr, 1, 19.0), 1);
    ExpectSame(S, Centred(y), "ratio 19");
    EXPECT_TRUE(Y.Unchanged(y) && X.Unchanged(x));
}

TEST(FixedFactorFits, PermutedFitsAndCountsEqualTheDirectRoute) {
    struct Case {
        const char* what;
        Matrix y, x;
        int perms;
    };
    const Matrix dune = lsref::Dune(), env = lsref::DuneEnvironment();
    const Case cases[] = {
        {"dune on the four codes", dune, env, 199},
        {"one response, three factors", Select(dune, {0}), Select(env, {0, 1, 2}), 199},
        {"random, n 40", RandomTable(40, 6, 41), RandomTable(40, 3, 42), 99},
        {"nine factors, summed in two passes", RandomTable(30, 5, 43), RandomTable(30, 9, 44), 49},
    };
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 99);
    for (const Case& c : cases) {
        const int n = static_cast<int>(c.y.size()), q = static_cast<int>(c.y[0].size()),
                  p = static_cast<int>(c.x[0].size());
        int m = std::min(p, q);
        Held Y(c.y), X(c.x);
        FixedFactorFits fits(n, q, p, Y.x, X.x);
        ASSERT_TRUE(fits.Fitted()) << c.what;
        testmat::Table B(p, q), Bobs(p, q);
        Vec r2(q), r2obs(q), corr(m), corrObs(m);
        fits.Regression(nullptr, Bobs.x, r2obs.data());
        const int axesObs = fits.AxisCorrelations(nullptr, m, corrObs.data());
        RegressionOut direct = Regress(c.y, c.x);
        RdaOut rda = Rda(c.y, c.x);
        EXPECT_EQ(axesObs, rda.axes) << c.what;

        std::vector<int> fastCounts(p * q + q + m, 1), directCounts(fastCounts.size(), 1);
        std::vector<int> list(n);
        for (int k = 0; k < c.perms; k++) {
            for (int i = 0; i < n; i++) list[i] = i + 1;  // a list by a rule of the test's own
            for (int i = n - 1; i > 0; i--) std::swap(list[i], list[gsl_rng_uniform_int(g, i + 1)]);
            fits.Regression(list.data(), B.x, r2.data());
            const int axes = fits.AxisCorrelations(list.data(), m, corr.data());
            RegressionOut d = Regress(Permuted(c.y, list), c.x);
            RdaOut e = Rda(Permuted(c.y, list), c.x);
            EXPECT_EQ(axes, e.axes) << c.what;
            int s = 0;
            for (int f = 0; f < p; f++)
                for (int v = 0; v < q; v++, s++) {
                    EXPECT_NEAR(B[f][v], d.B[f][v], 1e-9 * (1 + std::fabs(d.B[f][v]))) << c.what;
                    fastCounts[s] += Counts(B[f][v], Bobs[f][v]);
                    directCounts[s] += Counts(d.B[f][v], direct.B[f][v]);
                }
            for (int v = 0; v < q; v++, s++) {
                EXPECT_NEAR(r2[v], d.r2[v], 1e-10) << c.what;
                fastCounts[s] += Counts(r2[v], r2obs[v]);
                directCounts[s] += Counts(d.r2[v], direct.r2[v]);
            }
            for (int a = 0; a < m; a++, s++) {
                const double de = a < e.axes ? e.corr[a] : 0.0;
                EXPECT_NEAR(corr[a], de, 1e-9) << c.what << " axis " << a;
                if (a >= axesObs) continue;
                fastCounts[s] += Counts(corr[a], corrObs[a]);
                directCounts[s] += Counts(de, rda.corr[a]);
            }
        }
        EXPECT_EQ(fastCounts, directCounts) << c.what;
    }
    gsl_rng_free(g);
}

// The cross-products run in the registers of each vector level the processor
// has, the plain ones included: the same bits at every level, one pass of
// factors (3) and two (9).
TEST(FixedFactorFits, IdenticalBitsOnEveryVectorLevel) {
    for (int p : {3, 9}) {
        Held Y(RandomTable(30, 5, 61)), X(RandomTable(30, p, 62));
        std::vector<int> list(30);
        for (int i = 0; i < 30; i++) list[i] = (7 * i) % 30 + 1;
        testmat::Table base(p, 5);
        testlevels::OnEveryLevel([&](simd::Level level) {
            FixedFactorFits fits(30, 5, p, Y.x, X.x);
            testmat::Table B(p, 5);
            Vec r2(5);
            fits.Regression(list.data(), (level == simd::kBaseline ? base : B).x, r2.data());
            for (int f = 0; level != simd::kBaseline && f < p; f++)
                EXPECT_EQ(std::memcmp(base[f], B[f], sizeof(double) * 5), 0) << "level " << level << " p " << p;
        });
    }
}

TEST(FixedFactorFits, SingularFactorsAreNotFitted) {
    Matrix x = RandomTable(6, 2, 51);
    for (auto& row : x) row.push_back(row[0] + row[1]);
    Held Y(RandomTable(6, 2, 52)), X(x);
    EXPECT_FALSE(FixedFactorFits(6, 2, 3, Y.x, X.x).Fitted());
    Held Y2(RandomTable(3, 2, 53)), X2(RandomTable(3, 3, 54));
    EXPECT_FALSE(FixedFactorFits(3, 2, 3, Y2.x, X2.x).Fitted());
}

}  // namespace
