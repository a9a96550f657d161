// Descriptive statistics, covariances and correlations, row and column
// standardisations and ranks.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace {

const double M = MISSING;

// Owns a 0-based matrix made from rows.
class Table {
public:
    Table(const std::vector<std::vector<double>>& rows)
        : n_(static_cast<int>(rows.size())), m_(static_cast<int>(rows[0].size())) {
        a_ = dim2DT<double>(n_, m_);
        for (int i = 0; i < n_; i++)
            for (int j = 0; j < m_; j++) a_[i][j] = rows[i][j];
    }
    Table(int n, int m, double fill = 0.0) : n_(n), m_(m) {
        a_ = dim2DT<double>(n, m);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < m; j++) a_[i][j] = fill;
    }
    ~Table() { free2DT(a_, n_); }
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;
    operator double**() const { return a_; }
    double* operator[](int i) const { return a_[i]; }
    std::vector<double> Row(int i) const { return std::vector<double>(a_[i], a_[i] + m_); }

private:
    int n_, m_;
    double** a_;
};

void ExpectRowNear(const Table& t, int i, const std::vector<double>& expected, double tol = 1e-12) {
    for (size_t j = 0; j < expected.size(); j++)
        EXPECT_NEAR(t[i][j], expected[j], tol) << "row " << i << " column " << j;
}

// Sums of products of deviations (two-pass) over the positions where neither
// value is missing: xy, xx, yy, and the count of such positions.
struct Deviations {
    double xy = 0, xx = 0, yy = 0;
    int k = 0;
    Deviations(const std::vector<double>& x, const std::vector<double>& y) {
        std::vector<double> a, b;
        for (size_t i = 0; i < x.size(); i++)
            if (x[i] != M && y[i] != M) {
                a.push_back(x[i]);
                b.push_back(y[i]);
            }
        k = static_cast<int>(a.size());
        double mx = 0, my = 0;
        for (int i = 0; i < k; i++) {
            mx += a[i] / k;
            my += b[i] / k;
        }
        for (int i = 0; i < k; i++) {
            xy += (a[i] - mx) * (b[i] - my);
            xx += (a[i] - mx) * (a[i] - mx);
            yy += (b[i] - my) * (b[i] - my);
        }
    }
};

double Pearson(const std::vector<double>& x, const std::vector<double>& y) {
    Deviations d(x, y);
    return d.xy / std::sqrt(d.xx * d.yy);
}

double SampleCovariance(const std::vector<double>& x, const std::vector<double>& y) {
    Deviations d(x, y);
    return d.xy / (d.k - 1);
}

// ---------------------------------------------------------------------------
// Descriptive statistics
// ---------------------------------------------------------------------------

TEST(Descriptive, MeansDeviationsAndVariances) {
    const double x[] = {2, 4, 4, 4, 5, 5, 7, 9};  // mean 5, sum of squared deviations 32
    EXPECT_DOUBLE_EQ(Mean(8, x), 5.0);
    double mean, sd;
    MeanStDev(8, x, mean, sd);
    EXPECT_DOUBLE_EQ(mean, 5.0);
    EXPECT_NEAR(sd, std::sqrt(32.0 / 7.0), 1e-14);
    EXPECT_NEAR(Variance(8, x), 32.0 / 7.0, 1e-14);
    EXPECT_NEAR(SumOfSquaresDev(8, x), 32.0, 1e-12);
    EXPECT_DOUBLE_EQ(SumOfSquares(8, x), 232.0);
    const float xf[] = {1.5f, -999.0f, 2.0f};
    EXPECT_DOUBLE_EQ(SumOfSquares(3, xf), 6.25);
    EXPECT_NEAR(Moment(8, x, 2), 4.0, 1e-14);  // 32 / 8
    EXPECT_NEAR(Moment(8, x, 3), (-27 - 1 - 1 - 1 + 0 + 0 + 8 + 64) / 8.0, 1e-12);

    // Missing values take no part.
    const double y[] = {2, M, 4, 4, M, 4, 5, 5, 7, 9};
    EXPECT_NEAR(Variance(10, y), 32.0 / 7.0, 1e-14);
    EXPECT_NEAR(SumOfSquaresDev(10, y), 32.0, 1e-12);
    EXPECT_DOUBLE_EQ(SumOfSquares(10, y), 232.0);

    // A constant vector whose one-pass sum of squares rounds below 0
    // (0.03 - 0.09 / 3 = -3.5e-18) has deviation 0, not NaN.
    const double c[] = {0.1, 0.1, 0.1};
    MeanStDev(3, c, mean, sd);
    EXPECT_EQ(sd, 0.0);
    // One value: no division by zero.
    const double one[] = {3.0};
    MeanStDev(1, one, mean, sd);
    EXPECT_EQ(sd, 0.0);
    EXPECT_EQ(Variance(1, one), 0.0);

    EXPECT_DOUBLE_EQ(Range(3, x), 2.0);  // running max starts at 0: 4 - 2
    const double neg[] = {-3, -1};
    EXPECT_DOUBLE_EQ(Range(2, neg), 3.0);  // 0 - (-3)
}

TEST(Descriptive, MedianSkipsMissingAndUnselected) {
    const double x[] = {3, M, 1, 2};
    EXPECT_DOUBLE_EQ(Median(4, x, nullptr), 2.0);
    const int select[] = {1, 1, 1, 0};
    EXPECT_DOUBLE_EQ(Median(4, x, select), 2.0);  // of 1 and 3
    const double even[] = {4, 1, 3, 2};
    EXPECT_DOUBLE_EQ(Median(4, even, nullptr), 2.5);
    const double none[] = {M, M};
    EXPECT_DOUBLE_EQ(Median(2, none, nullptr), 0.0);
    EXPECT_EQ(x[0], 3.0);  // input left as it was
}

TEST(Descriptive, RowColumnAndMatrixSummaries) {
    Table X({{1, 2, 3}, {4, 6, 8}});
    double rows[2], cols[3];
    MeanVectorRows(2, 3, X, rows);
    MeanVectorCols(2, 3, X, cols);
    EXPECT_EQ(std::vector<double>(rows, rows + 2), (std::vector<double>{2, 6}));
    EXPECT_EQ(std::vector<double>(cols, cols + 3), (std::vector<double>{2.5, 4, 5.5}));
    EXPECT_NEAR(MatrixVarianceRows(2, 3, X), 1.0 + 4.0, 1e-12);
    EXPECT_NEAR(MatrixVarianceCols(2, 3, X), 4.5 + 8.0 + 12.5, 1e-12);
    EXPECT_DOUBLE_EQ(MatrixMax(2, 3, X), 8.0);
    Table Y(2, 3);
    MatrixUnitMaxTransf(2, 3, X, Y);
    EXPECT_DOUBLE_EQ(Y[1][0], 0.5);
    Table N({{-1, -2}});
    Table Z(1, 2, 7.0);
    MatrixUnitMaxTransf(1, 2, N, Z);  // no positive maximum: nothing written
    EXPECT_EQ(Z[0][0], 7.0);
}

// ---------------------------------------------------------------------------
// Cross-products, covariances and correlations
// ---------------------------------------------------------------------------

TEST(CrossProducts, MissingPairsAreLeftOut) {
    Table X({{1, 2, M}, {3, M, 5}, {2, 2, 2}});
    Table R(3, 3);
    CrossProductMV(3, 3, X, R);
    EXPECT_DOUBLE_EQ(R[0][0], 1 + 4);
    EXPECT_DOUBLE_EQ(R[0][1], 3);        // only column 0
    EXPECT_DOUBLE_EQ(R[1][0], 3);        // mirrored
    EXPECT_DOUBLE_EQ(R[1][2], 6 + 10);   // columns 0 and 2
    EXPECT_DOUBLE_EQ(R[2][2], 12);
    const double a[] = {1, M, 3}, b[] = {2, 5, 4};
    EXPECT_DOUBLE_EQ(CrossProduct2VecMV(3, a, b), 14);
    const double c[] = {1, 2, 3};
    EXPECT_DOUBLE_EQ(CrossProduct2Vec(3, c, b), 2 + 10 + 12);
    EXPECT_DOUBLE_EQ(CenteredCrossProduct2Vec(3, c, b), (-1) * (-5.0 / 3) + 0 + 1 * (1.0 / 3));
    double centred[3];
    CenterVector(3, b, centred);
    EXPECT_DOUBLE_EQ(centred[0], -5.0 / 3);
    EXPECT_DOUBLE_EQ(centred[1], 4.0 / 3);
    EXPECT_DOUBLE_EQ(centred[2], 1.0 / 3);
}

TEST(CrossProducts, SelectedPartialAndNeighbourForms) {
    Table X({{1, 2, M}, {3, 4, 5}, {0, 1, 2}});
    Table R(3, 3, -1.0);
    const int select[] = {0, 1, 1};
    CrossProductMVSelect(3, 3, X, R, select);
    EXPECT_EQ(R[0][0], -1.0);  // column 0 not selected
    EXPECT_EQ(R[0][1], 11);    // 3 + 8
    EXPECT_EQ(R[1][2], 14);    // 0 + 4 + 10
    EXPECT_EQ(R[1][0], -1.0);  // not mirrored

    double*** P = dim3DT<double>(3, 3, 3);
    CrossProductMVPartial(3, 3, X, P);
    EXPECT_EQ(P[0][1][1], 8);
    EXPECT_EQ(P[0][1][2], M);
    const int cols[] = {1, 0, 1};
    CrossProductMVSum(3, 3, P, R, cols);
    EXPECT_EQ(R[0][1], 3);        // column 2 is missing for row 0
    EXPECT_EQ(R[1][2], 0 + 10.0);
    free3DT(P, 3, 3);

    Table Y({{1, 2}, {3, 4}, {5, 6}});
    Table N(3, 3, -1.0);
    CrossProductNeighbours(3, 2, Y, N, 1);
    EXPECT_EQ(N[0][1], 11);
    EXPECT_EQ(N[1][2], 39);
    EXPECT_EQ(N[0][0], 5);
    EXPECT_EQ(N[1][1], 25);
    EXPECT_EQ(N[2][2], -1.0);  // i < n - lag only

    Table Z({{1, 2, 3}, {3, 2, 1}, {1, 2, 4}});
    Table C(3, 3, -1.0);
    CorrelationNeighbours(3, 3, Z, C, 1);
    EXPECT_NEAR(C[0][1], -1, 1e-15);
    EXPECT_NEAR(C[1][2], Pearson(Z.Row(1), Z.Row(2)), 1e-15);
    EXPECT_NEAR(C[0][0], 1, 1e-15);
}

TEST(Correlations, SelectedVectorsAndWholeMatrices) {
    Table X({{1, 2}, {2, 7}, {3, 1}});
    Table Y({{2, 1}, {4, M}, {7, 3}});
    EXPECT_NEAR(Correlation2SelectedVecMV(3, 2, X, Y, 0, true), Pearson({1, 2}, {2, 1}), 1e-15);
    EXPECT_NEAR(Correlation2SelectedVecMV(3, 2, X, Y, 1, false), Pearson({2, 1}, {1, 3}), 1e-15);
    Table L({{3, 5}, {5, 15}, {7, 3}});  // 2 X + 1
    EXPECT_NEAR(Correlation2Matrices(3, 2, X, L), 1.0, 1e-15);

    Table S({{3, 1}, {4, M}, {9, 9}});
    Table T(3, 2);
    const int rows[] = {1, 1, 0};
    NormalizeColsSelectedRowsMV(3, 2, S, T, rows);
    EXPECT_NEAR(T[0][0], 0.6, 1e-15);
    EXPECT_NEAR(T[1][0], 0.8, 1e-15);
    EXPECT_EQ(T[2][0], M);
    EXPECT_EQ(T[0][1], 1.0);
    EXPECT_EQ(T[1][1], M);

    double*** A = dim3DT<double>(2, 1, 2);
    double*** B = dim3DT<double>(2, 1, 2);
    A[0][0][0] = 1;
    A[1][0][1] = 4;
    MatrixUnitMaxTransf3D(2, 1, 2, A, B);
    EXPECT_EQ(B[1][0][1], 1.0);
    EXPECT_EQ(B[0][0][0], 0.25);
    A[1][0][1] = -4;
    A[0][0][0] = -1;
    MatrixUnitMaxTransf3D(2, 1, 2, A, B);  // no positive maximum: copied
    EXPECT_EQ(B[1][0][1], -4.0);
    free3DT(A, 2, 1);
    free3DT(B, 2, 1);
}

TEST(Covariances, CompleteAndPairwiseAgreeWithTwoPassFormula) {
    std::mt19937 gen(21);
    std::uniform_real_distribution<double> u(0, 10);
    const int n = 4, m = 9;
    Table X(n, m);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) X[i][j] = u(gen);

    Table R(n, n), C(n, n);
    CovarianceMV(n, m, X, R);
    Covariance(n, m, X, C);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            const double expected = SampleCovariance(X.Row(i), X.Row(j));
            EXPECT_NEAR(R[i][j], expected, 1e-12);
            if (j >= i) {
                EXPECT_NEAR(C[i][j], expected, 1e-12);
            }
        }

    X[1][3] = M;
    X[2][5] = M;
    CovarianceMV(n, m, X, R);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) EXPECT_NEAR(R[i][j], SampleCovariance(X.Row(i), X.Row(j)), 1e-12);
    EXPECT_NEAR(Covariance2VecMV(m, X[1], X[2]), SampleCovariance(X.Row(1), X.Row(2)), 1e-12);
}

TEST(Correlations, CompleteDataGivesTheFullMatrix) {
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(-5, 5);
    const int n = 4, m = 7;
    Table X(n, m);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) X[i][j] = u(gen);
    Table R(n, n);
    CorrelationMV(n, m, X, R);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) EXPECT_NEAR(R[i][j], Pearson(X.Row(i), X.Row(j)), 1e-13);
    EXPECT_NEAR(Correlation2Vec(m, X[0], X[2]), Pearson(X.Row(0), X.Row(2)), 1e-13);
    Table Rc(n, n);
    Correlation(n, m, X, Rc);
    EXPECT_NEAR(Rc[3][1], Pearson(X.Row(3), X.Row(1)), 1e-13);

    // Rows 0, 1 against rows 2, 3.
    Table P(2, 2);
    CorrelationPartition(2, 2, m, X, P);
    for (int b = 0; b < 2; b++)
        for (int a = 0; a < 2; a++) EXPECT_NEAR(P[b][a], Pearson(X.Row(a), X.Row(2 + b)), 1e-13);
}

TEST(Correlations, MissingValuesSwitchToPairwiseCorrelations) {
    Table X({{1, 2, 3, M, 5}, {2, 1, 4, 3, 7}, {M, 3, 1, 2, 2}});
    Table R(3, 3, 99.0);
    CorrelationMV(3, 5, X, R);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(R[i][j], Pearson(X.Row(i), X.Row(j)), 1e-13);
    const int xi[] = {1, 2, -999, 4};
    const double y[] = {2, 4, 100, 9};
    EXPECT_NEAR(Correlation2VecMV(4, xi, y), Pearson({1, 2, 4}, {2, 4, 9}), 1e-13);
    const double xd[] = {1, 2, 8, 4};
    const int select[] = {1, 1, 0, 1};
    EXPECT_NEAR(Correlation2VecSelectMV(4, xd, y, select), Pearson({1, 2, 4}, {2, 4, 9}), 1e-13);
    // A constant vector correlates 0 with anything (divisor rule).
    const double k[] = {3, 3, 3, 3};
    EXPECT_EQ(Correlation2VecMV(4, k, y), 0.0);
}

// The pairs of rows without a missing value take the complete route: every
// pair has Correlation2VecMV's value to the bit, on one thread or eight.
TEST(Correlations, PairwiseMatrixEqualsPairByPairOnAnyTeam) {
    const int n = 100, m = 500;
    std::mt19937 gen(7);
    Table X(n, m), R(n, n, 99.0);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) X[i][j] = std::uniform_real_distribution<double>(-5, 5)(gen);
    X[0][0] = X[40][3] = X[41][4] = M;
    const int saved = NumberOfThreads();
    for (const int threads : {1, 8}) {
        InitMultiprocessing(threads);
        CorrelationMV(n, m, X, R);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++)
                ASSERT_EQ(R[i][j], Correlation2VecMV(m, X[std::min(i, j)], X[std::max(i, j)]))
                    << threads << ": " << i << "," << j;
    }
    InitMultiprocessing(saved);
}

// A constant series whose sum does not come out exact (0.05 twenty times,
// and nineteen times beside a missing cell) has deviations of exactly 0 and
// so a correlation of exactly 0 with anything, by every route. A mean taken
// as sum / count leaves rounding noise that the division by its norm blows
// up: beside a missing cell the constant then correlated about 0.07.
TEST(Correlations, ConstantSeriesThatDoesNotAddUpExactlyCorrelatesZero) {
    const int m = 20;
    for (const bool missing : {false, true}) {
        SCOPED_TRACE(missing ? "with a missing cell" : "complete");
        Table X(2, m);
        for (int k = 0; k < m; k++) {
            X[0][k] = (k * 7 % 11) - 5.0 + 0.1 * k;
            X[1][k] = 0.05;
        }
        if (missing) X[1][3] = M;
        Table P(1, 1);
        CorrelationPartition(1, 1, m, X, P);
        EXPECT_EQ(P[0][0], 0.0);
        EXPECT_EQ(Correlation2VecMV(m, X[1], X[0]), 0.0);
        if (missing) continue;
        EXPECT_EQ(Correlation2Vec(m, X[0], X[1]), 0.0);
        Table R(2, 2);
        Correlation(2, m, X, R);
        EXPECT_EQ(R[0][1], 0.0);
        std::vector<double> z(m, 1.0);
        CenterNormalizeVector(m, X[1], z.data());
        EXPECT_EQ(z, std::vector<double>(m, 0.0));
    }
}

TEST(Correlations, CentredValueOfMinus999IsNotMissing) {
    // Row (0, 1998) centres to (-999, 999): still data, not a missing value.
    Table X({{0, 1998}, {1, 3}});
    Table R(2, 2);
    CorrelationMV(2, 2, X, R);
    EXPECT_NEAR(R[0][1], 1.0, 1e-15);
    Table P(1, 1);
    CorrelationPartition(1, 1, 2, X, P);
    EXPECT_NEAR(P[0][0], 1.0, 1e-15);
}

// Values whose squares overflow or underflow, and values of both signs near
// the largest double, whose differences overflow, are standardised and
// correlated (complete, pairwise) as the same values near 1; a value that is
// not finite gives a correlation that is not a number, never 0.
TEST(Correlations, VeryLargeAndVerySmallValuesAsValuesNearOne) {
    const std::vector<double> x = {1, 3, 0, 0, 2, 2, 2, 0, 0, 4, 0, 1};
    const std::vector<double> y = {-0.2, -0.6, 0.4, 1, -1, 0, -0.6, 0.8, 0.2, -0.2, 0.9, 0.1};
    const int m = 12;
    const double norm = std::sqrt(std::inner_product(y.begin(), y.end(), y.begin(), 0.0));
    for (const double scale : {1e200, 1e-200, 1e-300, 1.7e308, HUGE_VAL}) {
        Table X({x, y}), Y(2, m), Yt(m, 1), R(2, 2);
        for (int k = 0; k < m; k++) Yt[k][0] = X[1][k] *= scale;
        for (const bool missing : {false, true}) {
            X[0][3] = missing ? M : x[3];
            CorrelationMV(2, m, X, R);
            if (scale == HUGE_VAL) {
                EXPECT_TRUE(std::isnan(R[0][1]));
                continue;
            }
            std::vector<double> xm = x;
            xm[3] = X[0][3];
            EXPECT_NEAR(R[0][1], Pearson(xm, y), 1e-14) << scale;
            EXPECT_NEAR(R[1][1], 1.0, 1e-14) << scale;
        }
        if (scale == HUGE_VAL) continue;
        NormalizeRowsMV(2, m, X, Y);
        NormalizeColsMV(m, 1, Yt, Yt);
        for (int k = 0; k < m; k++) {
            EXPECT_NEAR(Y[1][k], y[k] / norm, 1e-15) << scale;
            EXPECT_NEAR(Yt[k][0], y[k] / norm, 1e-15) << scale;
        }
    }
}

// ---------------------------------------------------------------------------
// Row and column transformations
// ---------------------------------------------------------------------------

TEST(Transformations, UnitSumHellingerAndNormalize) {
    Table X({{1, M, 3}, {0, 0, 0}, {4, 0, 5}});
    Table Y(3, 3);
    UnitSumRowsAdjMV(3, 3, Y, X);
    ExpectRowNear(Y, 0, {0.25, M, 0.75});
    ExpectRowNear(Y, 1, {0, 0, 0});
    HellingerRowsAdjMV(3, 3, Y, X);
    ExpectRowNear(Y, 0, {0.5, M, std::sqrt(0.75)});
    UnitSumColsAdjMV(3, 3, Y, X);
    ExpectRowNear(Y, 0, {0.2, M, 3.0 / 8});
    ExpectRowNear(Y, 2, {0.8, 0, 5.0 / 8});
    HellingerColsAdjMV(3, 3, Y, X);
    ExpectRowNear(Y, 2, {std::sqrt(0.8), 0, std::sqrt(5.0 / 8)});
    NormalizeRowsMV(3, 3, X, Y);
    ExpectRowNear(Y, 0, {1 / std::sqrt(10.0), M, 3 / std::sqrt(10.0)});
    ExpectRowNear(Y, 1, {0, 0, 0});
    NormalizeColsMV(3, 3, X, Y);
    ExpectRowNear(Y, 2, {4 / std::sqrt(17.0), 0, 5 / std::sqrt(34.0)});

    Table C({{3, 4}, {0, 2}});
    UnitSumRowsAdj(2, 2, C, C);  // in place
    ExpectRowNear(C, 0, {3.0 / 7, 4.0 / 7});
    Table D({{3, 4}, {0, 0}});
    for (auto normalize : {NormalizeRows, NormalizeMatrixRows}) {
        normalize(2, 2, D, Y);
        ExpectRowNear(Y, 0, {0.6, 0.8});
        ExpectRowNear(Y, 1, {0, 0});
    }
    NormalizeCols(2, 2, D, Y);
    ExpectRowNear(Y, 0, {1, 1});
    UnitSumColsAdj(2, 2, Y, D);
    ExpectRowNear(Y, 0, {1, 1});
    const double v[] = {3, M, 4};
    double w[3];
    NormalizeVector(3, v, w);
    EXPECT_NEAR(w[0], 0.6, 1e-15);
    EXPECT_EQ(w[1], M);
    EXPECT_NEAR(UnitSumVectorAdjMV(3, v, w), 7.0, 1e-15);
    EXPECT_NEAR(w[2], 4.0 / 7, 1e-15);
    MaxAdjMV(3, v, w);
    EXPECT_NEAR(w[0], 0.75, 1e-15);
}

TEST(Transformations, CentringRangesAndDeviationDivisors) {
    Table X({{1, 2, 3}, {2, 4, M}});
    Table Y(2, 3);
    CenterRowsCovMV(2, 3, X, Y);
    ExpectRowNear(Y, 0, {-1 / std::sqrt(2.0), 0, 1 / std::sqrt(2.0)});
    ExpectRowNear(Y, 1, {-1, 1, M});  // k = 2: divided by 1
    CenterRowsMV(2, 3, X, Y);
    ExpectRowNear(Y, 1, {-1, 1, M});
    CenterColsMV(2, 3, X, Y);
    ExpectRowNear(Y, 0, {-0.5, -1, 0});
    ExpectRowNear(Y, 1, {0.5, 1, M});
    CenterColsCovMV(2, 3, X, Y);
    ExpectRowNear(Y, 0, {-0.5, -1, 0});
    RangeRowsAdjMV(2, 3, X, Y);
    ExpectRowNear(Y, 0, {0.5, 1, 1.5});  // the minimum is not subtracted
    ExpectRowNear(Y, 1, {1, 2, M});
    RangeColsAdjMV(2, 3, X, Y);
    ExpectRowNear(Y, 0, {0, 0, 0});
    ExpectRowNear(Y, 1, {1, 1, M});

    Table P({{1, 2, 6}, {2, 2, 2}});
    CenterRows(2, 3, P, P);  // in place
    ExpectRowNear(P, 0, {-2, -1, 3});
    ExpectRowNear(P, 1, {0, 0, 0});
    CenterCols(2, 3, P, P);
    ExpectRowNear(P, 0, {-1, -0.5, 1.5});
}

TEST(Transformations, EveryFormInPlaceEqualsItsCopy) {
    // Each routine reads all statistics of a row or column before writing it,
    // so the output may be the input itself.
    using Form = void (*)(int, int, double**, double**);
    auto outputFirst = [](Form f) {
        return [f](int n, int m, double** in, double** out) { f(n, m, out, in); };
    };
    const std::vector<std::function<void(int, int, double**, double**)>> forms = {
        CenterRowsMV, CenterColsMV, CenterRowsCovMV, CenterColsCovMV, NormalizeRowsMV, NormalizeColsMV,
        RangeRowsAdjMV, RangeColsAdjMV, static_cast<Form>(ZStandardizationRowsMV),
        static_cast<Form>(ZStandardizationColsMV), DeviationsExpectationsMV, outputFirst(UnitSumRowsAdjMV),
        outputFirst(UnitSumColsAdjMV), outputFirst(HellingerRowsAdjMV), outputFirst(HellingerColsAdjMV),
        outputFirst(CorrAdj)};
    const std::vector<std::vector<double>> rows = {{1, 2, M, 4}, {0, 5, 3, 1}, {2, M, 7, 2}, {6, 1, 1, 0}};
    for (size_t f = 0; f < forms.size(); f++) {
        Table X(rows), Y(4, 4), Z(rows);
        forms[f](4, 4, X, Y);
        forms[f](4, 4, Z, Z);
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 4; j++) EXPECT_EQ(Z[i][j], Y[i][j]) << "form " << f << " cell " << i << "," << j;
    }
}

TEST(Transformations, ZScoresAndCorrAdj) {
    const double x[] = {1, 3, M, 5};
    double z[4];
    int out[4] = {9, 9, 9, 9};
    ZStandardizationVectorMV(4, x, z, true, 1.0, out);
    const double sd = std::sqrt(8.0 / 3);
    EXPECT_NEAR(z[0], -2 / sd, 1e-14);
    EXPECT_NEAR(z[1], 0, 1e-14);
    EXPECT_EQ(z[2], M);
    EXPECT_NEAR(z[3], 2 / sd, 1e-14);
    EXPECT_EQ(std::vector<int>(out, out + 4), (std::vector<int>{1, 0, 0, 1}));

    Table X({{1, 10}, {3, 10}, {M, 10}, {5, 10}});
    Table Y(4, 2);
    ZStandardizationColsMV(4, 2, X, Y);
    EXPECT_NEAR(Y[0][0], -2 / sd, 1e-14);
    EXPECT_EQ(Y[2][0], M);
    EXPECT_EQ(Y[0][1], 0.0);  // constant column: divisor 1
    Table T({{1, 3, M, 5}});
    Table U(1, 4);
    ZStandardizationRowsMV(1, 4, T, U);
    EXPECT_NEAR(U[0][3], 2 / sd, 1e-14);
    const double means[] = {3}, devs[] = {2};
    ZStandardizationRowsMV(1, 4, T, U, means, devs);
    ExpectRowNear(U, 0, {-1, 0, M, 1});
    const double cm[] = {3, 10}, cd[] = {2, 0};
    ZStandardizationColsMV(4, 2, X, Y, cm, cd);
    EXPECT_NEAR(Y[3][0], 1, 1e-15);
    EXPECT_EQ(Y[3][1], 0.0);

    Table C(std::vector<std::vector<double>>{{1}, {2}, {3}});
    Table D(3, 1);
    CorrAdj(3, 1, D, C);
    EXPECT_EQ(D[0][0], static_cast<double>(static_cast<float>(-1 / std::sqrt(2.0))));
    EXPECT_EQ(D[1][0], 0.0);
}

// A constant column or row of 0.05 over six cells (whose sum / 6 misses
// 0.05 by a rounding error) is centred to exactly 0, and stays 0 when the
// centred values are then divided by their norm or deviation; it had become
// 1/sqrt(6) or -1 in every cell.
TEST(Transformations, ConstantThatDoesNotAddUpExactlyCentresToZero) {
    const std::vector<double> zero(6, 0.0);
    using Form = std::function<void(double**, double**, bool byRows)>;
    const std::vector<std::pair<const char*, Form>> forms = {
        {"centring and normalisation",
         [](double** X, double** Y, bool r) {
             if (r) {
                 CenterRowsMV(1, 6, X, Y);
                 NormalizeRowsMV(1, 6, Y, Y);
             } else {
                 CenterColsMV(6, 1, X, Y);
                 NormalizeColsMV(6, 1, Y, Y);
             }
         }},
        {"covariance centring", [](double** X, double** Y, bool r) {
             r ? CenterRowsCovMV(1, 6, X, Y) : CenterColsCovMV(6, 1, X, Y);
         }},
        {"z-scores", [](double** X, double** Y, bool r) {
             r ? ZStandardizationRowsMV(1, 6, X, Y) : ZStandardizationColsMV(6, 1, X, Y);
         }},
        {"correlation adjustment", [](double** X, double** Y, bool r) {
             if (!r) CorrAdj(6, 1, Y, X);
         }},
    };
    for (const auto& form : forms)
        for (const bool byRows : {false, true}) {
            SCOPED_TRACE(std::string(form.first) + (byRows ? ", a row" : ", a column"));
            Table row(1, 6, 0.05), column(6, 1, 0.05), out(byRows ? 1 : 6, byRows ? 6 : 1, 0.0);
            form.second(byRows ? row : column, out, byRows);
            std::vector<double> got;
            for (int k = 0; k < 6; k++) got.push_back(byRows ? out[0][k] : out[k][0]);
            EXPECT_EQ(got, zero);
        }
}

TEST(Transformations, DeviationsFromExpectations) {
    Table X({{1, 2}, {3, 4}, {0, 0}, {M, 5}});
    Table Y(4, 2);
    DeviationsExpectationsMV(4, 2, X, Y);
    // r = 3, 7, 0, 5; c = 4, 11; T = 15
    EXPECT_NEAR(Y[0][0], (1 * 15 - 3 * 4) / (std::sqrt(12.0) * 15), 1e-14);
    EXPECT_NEAR(Y[1][1], (4 * 15 - 7 * 11) / (std::sqrt(77.0) * 15), 1e-14);
    ExpectRowNear(Y, 2, {0, 0});  // row total 0: unchanged
    EXPECT_EQ(Y[3][0], M);
}

TEST(Transformations, GroupMeansUseAnyLabels) {
    // Labels 10, 0 and -5: arbitrary integers, not positions.
    Table X({{1, 5}, {2, M}, {3, 7}, {4, 8}});
    const int groups[] = {10, 0, 10, -5};
    Table Y(4, 2);
    DeviationsGroupMeansMV(4, 2, X, Y, groups);
    ExpectRowNear(Y, 0, {-1, -1});
    ExpectRowNear(Y, 1, {0, M});
    ExpectRowNear(Y, 2, {1, 1});
    ExpectRowNear(Y, 3, {0, 0});
    const int plain[] = {1, 1, 2, 2};
    DeviationsGroupMeansMV(4, 2, X, X, plain);  // in place
    ExpectRowNear(X, 0, {-0.5, 0});
    ExpectRowNear(X, 3, {0.5, 0.5});
}

TEST(Transformations, GowerStandardisationAndPartition) {
    Table X({{1, 2, 2}, {0, M, 1}});
    GowerStandardizationRows(2, 3, X);  // sum of squares 10, / (3 - 1)
    ExpectRowNear(X, 0, {1 / std::sqrt(5.0), 2 / std::sqrt(5.0), 2 / std::sqrt(5.0)});
    EXPECT_EQ(X[1][1], M);
    Table Z({{1, 2, 2}, {0, M, 1}});
    GowerStandardizationCols(2, 3, Z);  // / (2 - 1)
    ExpectRowNear(Z, 1, {0, M, 1 / std::sqrt(10.0)});

    Table Q({{0, 2, 4, -1}});
    Table Y(1, 4);
    DataPartitionQualQuant(1, 4, Q, Y, 1);
    ExpectRowNear(Y, 0, {0, -1, 1, 0});
    DataPartitionQualQuant(1, 4, Q, Y, 2);
    ExpectRowNear(Y, 0, {0, 3, 3, 0});
}

// ---------------------------------------------------------------------------
// Ranks
// ---------------------------------------------------------------------------

TEST(Ranks, TiesAndMissingValues) {
    const double x[] = {1, 2, 2, 3};
    double r[4];
    RankVectorAdj(4, x, r);
    EXPECT_EQ(std::vector<double>(r, r + 4), (std::vector<double>{1, 2.5, 2.5, 4}));
    const double y[] = {5, M, 3, 5};
    RankVectorAdjMV(4, y, r);
    EXPECT_EQ(std::vector<double>(r, r + 4), (std::vector<double>{2.5, M, 1, 2.5}));
    // A genuine value below -999 is ranked among the data, never 0 or below.
    const double low[] = {-2000, M, 3};
    RankVectorAdjMV(3, low, r);
    EXPECT_EQ(std::vector<double>(r, r + 3), (std::vector<double>{1, M, 2}));
    double in[] = {30, 10, 20};
    RankVectorAdj(3, in, in);  // in place
    EXPECT_EQ(std::vector<double>(in, in + 3), (std::vector<double>{3, 1, 2}));
}

TEST(Ranks, SortingRanksAgreeWithCountingRanks) {
    std::mt19937 gen(9);
    const int n = 300;
    std::vector<double> x(n);
    for (auto& v : x) v = static_cast<double>(gen() % 40);  // many ties
    std::vector<double> bySort(n), byCount(n);
    RankVectorAdj(n, x.data(), bySort.data());
    RankVectorDAdj(n, x.data(), byCount.data());
    EXPECT_EQ(bySort, byCount);
    // In place, runs of ties included: each run is read before it is ranked.
    std::vector<double> inPlace = x;
    RankVectorAdj(n, inPlace.data(), inPlace.data());
    EXPECT_EQ(inPlace, byCount);

    Table X(2, n);
    for (int j = 0; j < n; j++) X[0][j] = X[1][j] = x[j];
    Table R(2, n), S(2, n);
    RankRowsAdj(2, n, X, R);
    RankRowsDAdj(2, n, X, S);
    EXPECT_EQ(R.Row(1), S.Row(1));
}

// Ranking in place by buckets gives the sorted ranks to the bit: values
// spread and tied within buckets, a bucket made large by an outlier, signed
// zeros (tied), all equal, an infinity, a NaN, a range too narrow or too
// wide for a finite bucket scale; on one thread and on a team.
TEST(Ranks, RankingInPlaceAgreesWithSortedRanks) {
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> u(-5.0, 5.0);
    auto make = [&](size_t k, int levels, double outlier) {
        std::vector<double> x(k);
        for (size_t i = 0; i < k; i++) x[i] = i % 2 && levels ? static_cast<double>(gen() % levels) / 7 : u(gen);
        if (outlier != 0) x[k / 3] = outlier;
        return x;
    };
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<std::vector<double>> cases = {
        make(200000, 50, 0), make(100000, 0, 1e9), make(3000, 20, 0), make(70000, 3, -inf),
        std::vector<double>(70000, 2.5), {0.0, -0.0, 1.0, -0.0}, {4.0},
        {5e-324, 0.0, 1e-323, 5e-324, -0.0}, {1e-300, 1e-300 + 1e-310, 1e-300}, {-1e308, 1e308, 0.0, 1e308}};
    cases[2][7] = std::nan("");
    for (const std::vector<double>& x : cases) {
        std::vector<double> expected(x.size());
        RankVectorAdj(static_cast<int>(x.size()), x.data(), expected.data());
        for (int threads : {1, 3}) {
            omp_set_num_threads(threads);
            std::vector<double> r = x;
            RankInPlace(r.size(), r.data());
            EXPECT_EQ(r, expected) << x.size() << " values on " << threads << " threads";
        }
    }
    omp_set_num_threads(omp_get_num_procs());
    std::vector<double> zeros = cases[5];
    RankInPlace(zeros.size(), zeros.data());
    EXPECT_EQ(zeros, (std::vector<double>{2.0, 2.0, 4.0, 2.0}));
}

TEST(Ranks, OrdersAndIndexes) {
    const int g[] = {30, 10, 20};
    int idx[3];
    IndexVector(3, g, idx);
    EXPECT_EQ(std::vector<int>(idx, idx + 3), (std::vector<int>{2, 3, 1}));
    const double x[] = {-3, 1, 2};
    RankVector(3, x, idx);
    EXPECT_EQ(std::vector<int>(idx, idx + 3), (std::vector<int>{1, 2, 3}));
    RankVectorAbs(3, x, idx);
    EXPECT_EQ(std::vector<int>(idx, idx + 3), (std::vector<int>{2, 3, 1}));
}

TEST(Ranks, UpperTriangleOfAResemblanceMatrix) {
    Table D({{0, 4, 1, 4}, {4, 0, 2, 9}, {1, 2, 0, 3}, {4, 9, 3, 0}});
    Table R(4, 4, -1.0);
    RankReseAdj(4, D, R);
    // Upper entries 4 1 4 2 9 3: ranks 4.5 1 4.5 2 6 3.
    EXPECT_EQ(R[0][1], 4.5);
    EXPECT_EQ(R[0][2], 1);
    EXPECT_EQ(R[0][3], 4.5);
    EXPECT_EQ(R[1][2], 2);
    EXPECT_EQ(R[1][3], 6);
    EXPECT_EQ(R[2][3], 3);
    EXPECT_EQ(R[1][0], -1.0);  // lower triangle and diagonal not written
    EXPECT_EQ(R[2][2], -1.0);
}

TEST(Ranks, MatrixPercentile) {
    Table X({{1, 2}, {3, 4}, {5, M}});
    // Ranks 1..5 over 6 cells: the smallest value with rank / 6 > 0.5 is 4.
    EXPECT_EQ(MatrixPercentile(3, 2, X, 0.5), 4.0);
    EXPECT_EQ(MatrixPercentile(3, 2, X, 0.0), 1.0);
    EXPECT_EQ(MatrixPercentile(3, 2, X, 0.9), M);
}

}  // namespace
