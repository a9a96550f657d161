// Distances and similarity coefficients between the rows of a table.
#include <gtest/gtest.h>

#include <omp.h>

#include <cmath>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "levels_util.h"
#include "matrix_util.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace {

using testmat::Square;
using testmat::Table;

// Random table; with missing > 0 about that share of cells is -999.
void FillRandom(Table& t, unsigned seed, double missing, bool binary) {
    std::mt19937 g(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int i = 0; i < t.rows; i++)
        for (int k = 0; k < t.cols; k++) {
            double v = binary ? (u(g) < 0.4 ? 1.0 : 0.0) : std::floor(u(g) * 50.0) / 4.0;
            t[i][k] = (u(g) < missing) ? MISSING : v;
        }
}

bool Present(double v) { return v != MISSING; }

// ---------------------------------------------------------------------------
// Euclidean family and city-block
// ---------------------------------------------------------------------------

TEST(Euclidean, HandWorkedPairsWithAndWithoutMissingValues) {
    Table t{{0, 0, 1}, {3, 4, 1}, {3, -999, 1}};
    Square r(3);
    EucliDist(2, 3, t.x, r.x);
    EXPECT_DOUBLE_EQ(r[0][1], 5.0);
    EXPECT_DOUBLE_EQ(r[1][0], 5.0);
    EXPECT_EQ(r[0][0], 0.0);

    Square s(3);
    EucliDistMV(3, 3, t.x, s.x);
    EXPECT_DOUBLE_EQ(s[0][1], 5.0);
    EXPECT_DOUBLE_EQ(s[0][2], 3.0);  // the missing attribute is left out
    EXPECT_DOUBLE_EQ(s[1][2], 0.0);
    EXPECT_DOUBLE_EQ(s[2][0], 3.0);  // both triangles
    for (int i = 0; i < 3; i++) EXPECT_EQ(s[i][i], 0.0);

    Square q(3);
    EucliDistSq(3, 3, t.x, q.x);
    EXPECT_DOUBLE_EQ(q[0][1], 25.0);
    EXPECT_EQ(q[1][0], 12345.0);  // upper triangle only
    EXPECT_DOUBLE_EQ(EucliDistSq2Vec(3, t[0], t[1]), 25.0);
}

TEST(Euclidean, SelectionsAndOneAttribute) {
    Table t{{0, 0, 1}, {3, 4, -999}, {1, 1, 5}};
    Square r(3);
    int sel[3] = {0, 1, 1};
    EucliDistMVSelect(3, 3, t.x, r.x, sel);
    EXPECT_DOUBLE_EQ(r[0][1], 4.0);
    EXPECT_DOUBLE_EQ(r[0][2], std::sqrt(1.0 + 16.0));
    EXPECT_DOUBLE_EQ(r[1][2], 3.0);
    EXPECT_EQ(r[1][0], 12345.0);  // not mirrored
    EXPECT_EQ(r[1][1], 0.0);

    Square o(3);
    EucliDistMVSelectOne(3, 3, t.x, o.x, 3);  // third attribute, 1-based
    EXPECT_EQ(o[0][1], 0.0);                  // missing in unit 2
    EXPECT_DOUBLE_EQ(o[0][2], 4.0);
    EXPECT_EQ(o[2][2], 0.0);
}

TEST(Euclidean, NothingSharedGivesZero) {
    Table t{{1, -999}, {-999, 7}};
    Square e(2), a(2), c(2);
    EucliDistMV(2, 2, t.x, e.x);
    AbsValFunctionMV(2, 2, t.x, a.x);
    ChordDistMV(2, 2, t.x, c.x);
    EXPECT_EQ(e[0][1], 0.0);
    EXPECT_EQ(a[0][1], 0.0);
    EXPECT_EQ(c[0][1], 0.0);
}

TEST(CityBlock, HandWorkedAndVectorForms) {
    Table t{{1, -999, 3}, {4, 5, 7}, {0, 0, 0}};
    Square r(3);
    AbsValFunctionMV(3, 3, t.x, r.x);
    EXPECT_DOUBLE_EQ(r[0][1], 7.0);
    EXPECT_DOUBLE_EQ(r[1][2], 16.0);
    EXPECT_EQ(r[1][0], 12345.0);

    Table c{{1, 2, 3}, {4, 5, 7}};
    Square p(2);
    AbsValFunction(2, 3, c.x, p.x);
    EXPECT_DOUBLE_EQ(p[0][1], 10.0);
    EXPECT_DOUBLE_EQ(AbsValFunction2VecD(3, c[0], c[1]), 10.0);

    double v[4] = {2, -999, 5, -1};
    Square d(4);
    AbsValFunctionMV(4, v, d.x);
    EXPECT_DOUBLE_EQ(d[0][2], 3.0);
    EXPECT_DOUBLE_EQ(d[0][3], 3.0);
    EXPECT_EQ(d[0][1], 0.0);
    EXPECT_EQ(d[1][2], 0.0);
}

// The matrix routines against the textbook definitions computed pair by pair,
// on a table with missing values.
TEST(Euclidean, AgreesWithBruteForceOnARandomTable) {
    Table t(37, 23);
    FillRandom(t, 7, 0.1, false);
    Square e(37), a(37);
    EucliDistMV(37, 23, t.x, e.x);
    AbsValFunctionMV(37, 23, t.x, a.x);
    for (int i = 0; i < 37; i++)
        for (int j = i + 1; j < 37; j++) {
            double ss = 0, sa = 0;
            for (int k = 0; k < 23; k++)
                if (Present(t[i][k]) && Present(t[j][k])) {
                    ss += (t[i][k] - t[j][k]) * (t[i][k] - t[j][k]);
                    sa += std::fabs(t[i][k] - t[j][k]);
                }
            EXPECT_NEAR(e[i][j], std::sqrt(ss), 1e-12 * (1 + ss));
            EXPECT_EQ(e[j][i], e[i][j]);
            EXPECT_NEAR(a[i][j], sa, 1e-12 * (1 + sa));
        }
}

// ---------------------------------------------------------------------------
// Chord distance
// ---------------------------------------------------------------------------

TEST(Chord, UnitVectorsAndSharedPositions) {
    Table t{{1, 0}, {0, 1}, {2, 2}, {5, 5}};
    Square r(4);
    ChordDistMV(4, 2, t.x, r.x);
    EXPECT_DOUBLE_EQ(r[0][1], std::sqrt(2.0));
    EXPECT_NEAR(r[2][3], 0.0, 1e-15);
    EXPECT_NEAR(r[0][2], std::sqrt(2.0 - std::sqrt(2.0)), 1e-15);
    EXPECT_DOUBLE_EQ(r[1][0], r[0][1]);

    // With a missing value each pair is scaled over the positions it shares:
    // (3, 4) and (6, 8) point the same way.
    Table m{{3, 4, -999}, {6, 8, 1}, {0, 0, 1}};
    Square s(3);
    ChordDistMV(3, 3, m.x, s.x);
    EXPECT_NEAR(s[0][1], 0.0, 1e-15);
    // A row with norm 0 over the shared positions is divided by 1, not 0/0.
    EXPECT_DOUBLE_EQ(s[0][2], 1.0);
    EXPECT_FALSE(std::isnan(s[0][2]));
    EXPECT_DOUBLE_EQ(ChordDistSq2VecMV(3, m[0], m[2]), 1.0);
    EXPECT_DOUBLE_EQ(ChordDistSq2Vec(2, t[0], t[1]), 2.0);
}

// ---------------------------------------------------------------------------
// Mahalanobis distance and the second eigenvalue of a pair
// ---------------------------------------------------------------------------

TEST(Mahalanobis, HandWorkedSquare) {
    // Covariance diag(4/3, 4/3): the distance of two corners one side apart
    // is sqrt(4 / (4/3)) = sqrt(3).
    Table t{{0, 0}, {2, 0}, {0, 2}, {2, 2}};
    Square r(4);
    ASSERT_TRUE(Mahalanobis(4, 2, t.x, r.x));
    EXPECT_NEAR(r[0][1], std::sqrt(3.0), 1e-14);
    EXPECT_NEAR(r[0][3], std::sqrt(6.0), 1e-14);
    EXPECT_EQ(r[1][1], 0.0);
    EXPECT_EQ(r[1][0], 12345.0);
}

// Against the textbook definition: covariance with divisor n - 1 and its
// inverse by cofactors, computed here.
TEST(Mahalanobis, AgreesWithCofactorInverseAndSkipsMissingDifferences) {
    std::mt19937 g(17);
    std::normal_distribution<double> z(0.0, 1.0);
    const int m = 12;
    Table t(m, 3);
    for (int i = 0; i < m; i++) {
        double a = z(g), b = z(g), c = z(g);
        t[i][0] = 10 + 3 * a;
        t[i][1] = 0.001 * (a + b);  // a very different scale
        t[i][2] = 500 + 40 * (b - c);
    }
    double mean[3] = {0, 0, 0}, V[3][3] = {};
    for (int i = 0; i < m; i++)
        for (int k = 0; k < 3; k++) mean[k] += t[i][k] / m;
    for (int i = 0; i < m; i++)
        for (int k = 0; k < 3; k++)
            for (int l = 0; l < 3; l++) V[k][l] += (t[i][k] - mean[k]) * (t[i][l] - mean[l]) / (m - 1);
    double Vi[3][3];
    for (int k = 0; k < 3; k++)
        for (int l = 0; l < 3; l++) {
            int k1 = (l + 1) % 3, k2 = (l + 2) % 3, l1 = (k + 1) % 3, l2 = (k + 2) % 3;
            Vi[k][l] = V[k1][l1] * V[k2][l2] - V[k1][l2] * V[k2][l1];
        }
    double det = V[0][0] * Vi[0][0] + V[0][1] * Vi[1][0] + V[0][2] * Vi[2][0];
    for (auto& row : Vi)
        for (double& v : row) v /= det;
    auto dist = [&](const double* d) {
        double s = 0;
        for (int k = 0; k < 3; k++)
            for (int l = 0; l < 3; l++) s += d[k] * Vi[k][l] * d[l];
        return std::sqrt(s);
    };
    Square r(m);
    ASSERT_TRUE(Mahalanobis(m, 3, t.x, r.x));
    for (int i = 0; i < m; i++)
        for (int j = i + 1; j < m; j++) {
            double d[3] = {t[i][0] - t[j][0], t[i][1] - t[j][1], t[i][2] - t[j][2]};
            EXPECT_NEAR(r[i][j], dist(d), 1e-9 * dist(d)) << i << " " << j;
        }
}

TEST(Mahalanobis, MissingValueGivesAZeroDifference) {
    Table t{{0, 0}, {2, 0}, {0, 2}, {2, 2}, {1, -999}};
    Square r(5);
    ASSERT_TRUE(Mahalanobis(5, 2, t.x, r.x));
    // Variable 1 over five units: mean 1, variance (1+1+1+1+0)/4 = 1;
    // variable 2 over four: 4/3; their covariance over the four shared: 0.
    double d01 = std::sqrt(4.0 / 1.0);
    EXPECT_NEAR(r[0][1], d01, 1e-14);
    EXPECT_NEAR(r[0][4], std::sqrt(1.0 / 1.0), 1e-14);  // only variable 1 differs
}

TEST(Mahalanobis, SingularCovarianceIsRefused) {
    Square r(3, 7.0);
    // As many variables as units.
    Table square{{1, 2, 3}, {4, 5, 7}, {2, 9, 1}};
    EXPECT_FALSE(Mahalanobis(3, 3, square.x, r.x));
    // A constant variable.
    Table constant{{1, 5}, {2, 5}, {4, 5}};
    EXPECT_FALSE(Mahalanobis(3, 2, constant.x, r.x));
    // A variable that is the sum of the two others (exactly singular, but
    // rounding leaves a tiny pivot).
    Table collinear{{0.1, 0.7, 0.8}, {0.3, 0.2, 0.5}, {0.9, 0.4, 1.3}, {0.6, 0.6, 1.2}, {0.2, 0.9, 1.1}};
    Square c(5, 7.0);
    EXPECT_FALSE(Mahalanobis(5, 3, collinear.x, c.x));
    EXPECT_EQ(c[0][1], 7.0);  // nothing written
    EXPECT_EQ(r[0][1], 7.0);
}

TEST(HierFactorialEigen, CrossProductsAndCorrelation) {
    double x[4] = {1, 2, 3, -999}, y[4] = {1, 3, 2, 8};
    double first, second, v1[2], v2[2];
    // [[14, 13], [13, 14]]: eigenvalues 27 and 1, vectors (1, 1) and (1, -1).
    HierFactorialEigen(4, x, y, &first, &second, v1, v2);
    EXPECT_NEAR(first, 27.0, 1e-12);
    EXPECT_NEAR(second, 1.0, 1e-12);
    EXPECT_NEAR(std::fabs(v1[0]), std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(v1[0] * v1[1], 0.5, 1e-12);
    EXPECT_NEAR(v2[0] * v2[1], -0.5, 1e-12);
    // Centred and normalised rows: [[1, r], [r, 1]], second eigenvalue 1 - |r|.
    double a[3] = {-1 / std::sqrt(2.0), 0, 1 / std::sqrt(2.0)};
    double b[3] = {0.8 / std::sqrt(1.28), -0.8 / std::sqrt(1.28), 0};
    double r = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    HierFactorialEigen(3, a, b, nullptr, &second, nullptr, nullptr);
    EXPECT_NEAR(second, 1 - std::fabs(r), 1e-14);
}

// ---------------------------------------------------------------------------
// Percentage difference
// ---------------------------------------------------------------------------

TEST(BrayCurtis, HandWorkedShiftAndMissingValues) {
    Table t{{1, 2, 3}, {3, 2, 1}, {0, 0, 0}, {0, 0, 0}};
    Square r(4);
    BrayCurtisMV(4, 3, t.x, r.x);
    EXPECT_DOUBLE_EQ(r[0][1], 4.0 / 12.0);
    EXPECT_DOUBLE_EQ(r[0][2], 1.0);
    EXPECT_EQ(r[2][3], 0.0);  // two empty units: no denominator, written 0
    EXPECT_EQ(r[1][0], 12345.0);

    // Negative values: everything is shifted by the smallest value, -1.
    Table n{{-1, 1}, {1, 3}};
    Square s(2);
    BrayCurtisMV(2, 2, n.x, s.x);
    EXPECT_DOUBLE_EQ(s[0][1], 4.0 / 8.0);

    Table m{{1, -999, 3}, {3, 9, 1}};
    Square u(2);
    BrayCurtisMV(2, 3, m.x, u.x);
    EXPECT_DOUBLE_EQ(u[0][1], 4.0 / 8.0);
}

// ---------------------------------------------------------------------------
// Legendre & Chodorowski, logarithmic distance
// ---------------------------------------------------------------------------

// ---------------------------------------------------------------------------
// Gower
// ---------------------------------------------------------------------------

// Binary, nominal, quantitative and ordinal variables. Quantitative range
// 5 - 1 = 4; the ordinal values 3, 1, 2, 3 rank 3.5, 1, 2, 3.5 (range 2.5).
TEST(Gower, MixedVariablesHandWorked) {
    Table t{{1, 2, 1, 3}, {0, 2, 3, 1}, {0, 1, -999, 2}, {0, 3, 5, 3}};
    int types[4] = {1, 2, 3, 4};
    Square r(4);
    double ranges[4] = {-1, -1, -1, -1};
    GowerMVOpt(4, 4, types, t.x, r.x, ranges, nullptr, 0);
    // Units 1, 2: binary unequal (0 of 1), nominal equal (1 of 1),
    // quantitative 1 - 2/4, ordinal 1 - 2.5/2.5: 1.5 of 4.
    EXPECT_DOUBLE_EQ(r[0][1], 1.5 / 4.0);
    // Units 2, 3: double absence left out, nominal unequal, quantitative
    // missing, ordinal 1 - 1/2.5: 0.6 of 2.
    EXPECT_DOUBLE_EQ(r[1][2], 0.6 / 2.0);
    EXPECT_DOUBLE_EQ(r[2][1], r[1][2]);
    EXPECT_EQ(r[2][2], 1.0);
    EXPECT_DOUBLE_EQ(ranges[2], 4.0);
    EXPECT_DOUBLE_EQ(ranges[3], 2.5);
    EXPECT_EQ(ranges[0], -1.0);  // no range for binary and nominal variables
    // The ranks were taken in a work copy.
    EXPECT_EQ(t[0][3], 3.0);
    EXPECT_EQ(t[2][3], 2.0);

    // Double absences counted: 1.6 of 3.
    GowerMVOpt(4, 4, types, t.x, r.x, nullptr, nullptr, 1);
    EXPECT_DOUBLE_EQ(r[1][2], 1.6 / 3.0);
    // Weights: the nominal variable left out.
    double w[4] = {1, 0, 1, 1};
    GowerMVOpt(4, 4, types, t.x, r.x, nullptr, w, 1);
    EXPECT_DOUBLE_EQ(r[0][1], 0.5 / 3.0);
    // The earlier form: no ordinal type, double absences counted.
    GowerMV(4, 4, types, t.x, r.x, nullptr, nullptr);
    EXPECT_DOUBLE_EQ(r[1][2], 1.0 / 2.0);
    EXPECT_DOUBLE_EQ(r[0][1], 1.5 / 3.0);
}

TEST(Gower, OnlyDoubleAbsencesGiveNoValue) {
    Table t{{0, 5}, {0, -999}};
    int types[2] = {1, 3};
    Square r(2);
    GowerMVOpt(2, 2, types, t.x, r.x, nullptr, nullptr, 0);
    EXPECT_EQ(r[0][1], 0.0);  // no comparable variable: written 0, never a stale value
    EXPECT_EQ(r[1][0], 0.0);
    GowerMVOpt(2, 2, types, t.x, r.x, nullptr, nullptr, 1);
    EXPECT_EQ(r[0][1], 1.0);
}

TEST(Gower, PartialContributionOfOneVariable) {
    double ord[3] = {10, 30, 20}, bin[3] = {0, 0, 1};
    float** r = dim2DT<float>(3, 3);
    GowerMVPartial_dAbsences(3, 4, ord, r, 2.0, 0.5, 0);  // ranks 1, 3, 2
    EXPECT_FLOAT_EQ(r[0][1], 0.0f);
    EXPECT_FLOAT_EQ(r[0][2], 0.25f);
    GowerMVPartial_dAbsences(3, 1, bin, r, 0.0, 1.0, 0);
    EXPECT_EQ(r[0][1], -999.0f);  // a double absence does not count
    EXPECT_EQ(r[0][2], 0.0f);
    free2DT(r, 3);
}

TEST(LegendreChodorowski, HandWorked) {
    Table t{{2, 0, 3, -999}, {2, 1, 5, 4}, {0, 0, 0, 0}};
    Square r(3);
    LegendreChodorowski(3, 4, t.x, r.x, nullptr, 1.0);
    // Variable 1 gives 2(1+1-0)/(2+2) = 1, variable 2 one absence (0), variable
    // 3 a difference above k (0), variable 4 missing: 1/3, held in single
    // precision.
    const double third = 0.3333333432674407958984375;  // 1/3 as a float
    EXPECT_EQ(r[0][1], third);
    EXPECT_EQ(r[1][0], third);
    EXPECT_EQ(r[0][0], 1.0);
    EXPECT_EQ(r[0][2], 0.0);  // nothing comparable: 0, never a stale value

    // k = 2: variable 3 now counts 2(2+1-2)/(4+2+4) = 0.2.
    LegendreChodorowski(3, 4, t.x, r.x, nullptr, 2.0);
    EXPECT_FLOAT_EQ(r[0][1], 0.4);
    EXPECT_EQ(r[0][1], static_cast<double>(static_cast<float>(r[0][1])));

    // A weight of 0 leaves its variable out but not the ones after it.
    double w[4] = {1, 0, 1, 1};
    LegendreChodorowski(3, 4, t.x, r.x, w, 2.0);
    EXPECT_EQ(r[0][1], 0.60000002384185791015625);  // 0.6 as a float
}

TEST(CYD, LogarithmicDistanceWithZerosReplaced) {
    Table t{{1, 2, 0}, {3, 0, 0}, {1, 2, 0}};
    Square r(3);
    CYD(3, 3, t.x, r.x);
    auto term = [](double x, double y) {
        double l10 = std::log(10.0);
        return ((x + y) * std::log((x + y) / 2) - x * std::log(y) - y * std::log(x)) / l10 / (x + y);
    };
    EXPECT_NEAR(r[0][1], (term(1, 3) + term(2, 0.1)) / 2, 1e-14);
    EXPECT_NEAR(r[0][2], 0.0, 1e-15);
    EXPECT_EQ(r[1][0], 12345.0);
}

TEST(Cleanup, DiagonalOneLowerZero) {
    Square r(3, 7.0);
    Cleanup(3, r.x);
    EXPECT_EQ(r[1][1], 1.0);
    EXPECT_EQ(r[2][0], 0.0);
    EXPECT_EQ(r[0][2], 7.0);
}

// ---------------------------------------------------------------------------
// Binary coefficients
// ---------------------------------------------------------------------------

TEST(JointFrequencies, CountsAndIgnoredValues) {
    double x[7] = {1, 1, 0, 0, 1, 2, -999};
    double y[7] = {1, 0, 1, 0, 1, 1, 0};
    int a, b, c, d;
    JointFreq(7, x, y, &a, &b, &c, &d);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(c, 1);
    EXPECT_EQ(d, 1);  // the 2 and the -999 count nowhere
}

TEST(BinaryCoefficients, HandWorkedPair) {
    // a = 2, b = 1, c = 1, d = 1; the last two positions count nowhere.
    Table t{{1, 1, 0, 0, 1, 2, -999}, {1, 0, 1, 0, 1, 1, 0}};
    auto upper = [&](void (*f)(int, int, double**, double**)) {
        Square r(2);
        f(2, 7, t.x, r.x);
        EXPECT_EQ(r[1][0], 12345.0);  // lower triangle left to the caller
        return r[0][1];
    };
    EXPECT_DOUBLE_EQ(upper(Jaccard), 0.5);
    EXPECT_DOUBLE_EQ(upper(Sorensen), 4.0 / 6.0);
    EXPECT_DOUBLE_EQ(upper(Ochiai), 2.0 / 3.0);
    EXPECT_DOUBLE_EQ(upper(SokalMichener), 2.0 / 5.0);
    EXPECT_DOUBLE_EQ(upper(MeanSquareContingency), 1.0 / 36.0);
    EXPECT_DOUBLE_EQ(upper(JaccardDissimilarity), 0.5);
    EXPECT_DOUBLE_EQ(upper(JaccardTurnover), 0.5);
    EXPECT_DOUBLE_EQ(upper(JaccardNestedness), 0.0);
    EXPECT_DOUBLE_EQ(upper(SorensenDissimilarity), 2.0 / 6.0);
    EXPECT_DOUBLE_EQ(upper(SorensenTurnover), 1.0 / 3.0);
    EXPECT_DOUBLE_EQ(upper(SorensenNestedness), 0.0);
    // Simple matching takes any values: positions 1, 4, 5 of the 6 where
    // both are present are equal.
    EXPECT_DOUBLE_EQ(upper(SimpleMatching), 3.0 / 6.0);
}

TEST(BinaryCoefficients, NestedPairAndDiagonal) {
    // Unit 2 holds a subset of unit 1: a = 2, b = 2, c = 0, d = 1.
    Table t{{1, 1, 1, 1, 0}, {1, 1, 0, 0, 0}};
    Square r(2);
    JaccardNestedness(2, 5, t.x, r.x);
    EXPECT_DOUBLE_EQ(r[0][1], 2.0 / 4.0 * (2.0 / 2.0));
    EXPECT_EQ(r[0][0], 0.0);  // b = c = 0 on the diagonal
    SorensenNestedness(2, 5, t.x, r.x);
    EXPECT_DOUBLE_EQ(r[0][1], 2.0 / 6.0 * (2.0 / 2.0));
    Jaccard(2, 5, t.x, r.x);
    EXPECT_EQ(r[0][0], 1.0);
    EXPECT_EQ(r[1][1], 1.0);
}

TEST(BinaryCoefficients, EmptyUnits) {
    Table t{{0, 0, 0}, {0, 0, -999}};
    Square r(2);
    Jaccard(2, 3, t.x, r.x);
    EXPECT_EQ(r[0][1], 0.0);
    JaccardDissimilarity(2, 3, t.x, r.x);
    EXPECT_EQ(r[0][1], 1.0);
    SorensenDissimilarity(2, 3, t.x, r.x);
    EXPECT_EQ(r[0][1], 1.0);
    for (auto f : {JaccardTurnover, JaccardNestedness, SorensenTurnover, SorensenNestedness}) {
        f(2, 3, t.x, r.x);
        EXPECT_EQ(r[0][1], MISSING);
        EXPECT_EQ(r[0][0], MISSING);
    }
    Ochiai(2, 3, t.x, r.x);
    EXPECT_EQ(r[0][1], 0.0);
    MeanSquareContingency(2, 3, t.x, r.x);
    EXPECT_EQ(r[0][1], 0.0);
    Table none{{-999, 5}, {1, -999}};
    SimpleMatching(2, 2, none.x, r.x);
    EXPECT_EQ(r[0][1], 0.0);
}

TEST(BinaryCoefficients, SokalMichenerCountsOnlyJointPresences) {
    Table t{{1, 0, 0, 0}, {1, 0, 0, 0}};
    Square r(2);
    SokalMichener(2, 4, t.x, r.x);
    EXPECT_DOUBLE_EQ(r[0][1], 0.25);
    EXPECT_DOUBLE_EQ(r[0][0], 0.25);
}

// Independent checks on random presence/absence tables: phi squared is the
// square of the Pearson correlation of the two 0/1 vectors; turnover and
// nestedness add up to the dissimilarity; every coefficient matches the
// joint frequencies counted by the pair routine, across word boundaries.
// Both with other values than 0 and 1 in the table and with a pure 0/1 table.
class BinaryRandom : public testing::TestWithParam<bool> {};

TEST_P(BinaryRandom, AgainstIndependentForms) {
    const int m = 23, q = 130;
    Table t(m, q);
    bool pure = GetParam();
    FillRandom(t, 11, pure ? 0.0 : 0.05, true);
    if (!pure) t[3][64] = 2.0;  // a value that counts nowhere, on a word boundary
    Square ja(m), jd(m), jt(m), jn(m), sd(m), st(m), sn(m), so(m), ms(m), oc(m);
    Jaccard(m, q, t.x, ja.x);
    JaccardDissimilarity(m, q, t.x, jd.x);
    JaccardTurnover(m, q, t.x, jt.x);
    JaccardNestedness(m, q, t.x, jn.x);
    SorensenDissimilarity(m, q, t.x, sd.x);
    SorensenTurnover(m, q, t.x, st.x);
    SorensenNestedness(m, q, t.x, sn.x);
    Sorensen(m, q, t.x, so.x);
    MeanSquareContingency(m, q, t.x, ms.x);
    Ochiai(m, q, t.x, oc.x);
    for (int i = 0; i < m; i++)
        for (int j = i; j < m; j++) {
            int a, b, c, d;
            JointFreq(q, t[i], t[j], &a, &b, &c, &d);
            EXPECT_DOUBLE_EQ(ja[i][j], static_cast<double>(a) / (a + b + c));
            EXPECT_DOUBLE_EQ(so[i][j], 2.0 * a / (2 * a + b + c));
            EXPECT_DOUBLE_EQ(oc[i][j], a / std::sqrt(double(a + b) * (a + c)));
            EXPECT_NEAR(ja[i][j] + jd[i][j], 1.0, 1e-15);
            EXPECT_NEAR(jt[i][j] + jn[i][j], jd[i][j], 1e-15);
            EXPECT_NEAR(st[i][j] + sn[i][j], sd[i][j], 1e-15);
            // Pearson correlation over the positions where both are 0 or 1.
            double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
            int n = 0;
            for (int k = 0; k < q; k++) {
                double u = t[i][k], v = t[j][k];
                if ((u != 0 && u != 1) || (v != 0 && v != 1)) continue;
                n++;
                sx += u, sy += v, sxx += u * u, syy += v * v, sxy += u * v;
            }
            double cov = sxy - sx * sy / n, vx = sxx - sx * sx / n, vy = syy - sy * sy / n;
            if (vx > 0 && vy > 0) {
                EXPECT_NEAR(ms[i][j], cov * cov / (vx * vy), 1e-12);
            }
        }
}

INSTANTIATE_TEST_SUITE_P(BinaryCoefficients, BinaryRandom, testing::Values(false, true));

TEST(BetaSOR, HandWorkedWholeTableAndGroups) {
    // Richness 2 + 2 + 1 = 5 over 4 species; min/max of the b counts of the
    // three pairs: (1, 1), (1, 2), (1, 2): (3 + 5) / (2 (5 - 4) + 3 + 5).
    Table t{{1, 1, 0, 0}, {1, 0, 1, 0}, {0, 0, 0, 1}};
    EXPECT_DOUBLE_EQ(BetaSOR(3, 4, t.x, nullptr, nullptr), 0.8);
    Table same{{1, 1, 0}, {1, 1, 0}};
    EXPECT_DOUBLE_EQ(BetaSOR(2, 3, same.x, nullptr, nullptr), 0.0);
    Table apart{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    EXPECT_DOUBLE_EQ(BetaSOR(3, 3, apart.x, nullptr, nullptr), 1.0);

    // Groups by arbitrary labels, values in ascending order of label; a -999
    // takes no part; a group of one unit has no value.
    Table g{{1, 0, 0}, {1, 1, -999}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
    int labels[5] = {20, 7, 20, 20, 99};
    double out[3] = {0, 0, 0};
    EXPECT_EQ(BetaSOR(5, 3, g.x, labels, out), 0.0);
    EXPECT_DOUBLE_EQ(out[0], MISSING);  // group 7
    EXPECT_DOUBLE_EQ(out[1], 1.0);      // group 20: three sites, one species each
    EXPECT_DOUBLE_EQ(out[2], MISSING);  // group 99
}

TEST(Spearman, TiesAndAgreementWithPearsonOnRanks) {
    double x[5] = {1, 2, 3, 4, 5}, y[5] = {5, 6, 7, 8, 7};
    // Ranks of y: 1, 2, 3.5, 5, 3.5; D = 3.5; 1 - 6 D / (125 - 5).
    EXPECT_DOUBLE_EQ(Spearman2Vec(5, x, y), 1.0 - 21.0 / 120.0);
    // Without ties it is the Pearson correlation of the ranks.
    double a[6] = {0.3, 2.0, -1.0, 7.0, 4.0, 5.5}, b[6] = {10, 30, 20, 60, 40, 50};
    double ra[6] = {2, 3, 1, 6, 4, 5}, rb[6] = {1, 3, 2, 6, 4, 5};
    double sa = 0, sb = 0, sab = 0, saa = 0, sbb = 0;
    for (int k = 0; k < 6; k++) {
        sa += ra[k], sb += rb[k], sab += ra[k] * rb[k], saa += ra[k] * ra[k], sbb += rb[k] * rb[k];
    }
    double pearson = (sab - sa * sb / 6) / std::sqrt((saa - sa * sa / 6) * (sbb - sb * sb / 6));
    EXPECT_NEAR(Spearman2Vec(6, a, b), pearson, 1e-15);

    // 257^3 = 16974593 has no single-precision image: it is held as
    // 16974592. Two neighbours swapped: D = 2.
    std::vector<double> u(257), v(257);
    for (int k = 0; k < 257; k++) u[k] = v[k] = k;
    std::swap(v[100], v[101]);
    EXPECT_EQ(Spearman2Vec(257, u.data(), v.data()), 1.0 - 12.0 / (16974592.0 - 257.0));
}

// One unit, or units without attributes: every routine writes its diagonal
// and nothing outside the matrix (the sanitizer build checks the bounds).
TEST(ResemblanceShapes, OneUnitAndNoAttributes) {
    using Fn = void (*)(int, int, double**, double**);
    Fn all[] = {EucliDist,     EucliDistMV,        EucliDistSq, AbsValFunctionMV, AbsValFunction,
                ChordDistMV,   BrayCurtisMV,       Jaccard,     SimpleMatching,   SokalMichener,
                Ochiai,        Sorensen,           MeanSquareContingency, JaccardDissimilarity,
                JaccardTurnover, JaccardNestedness, SorensenDissimilarity, SorensenTurnover,
                SorensenNestedness, CYD};
    Table one{{1, 0, 3}};
    Table none(3, 0);
    for (Fn f : all) {
        Square r1(1), r3(3);
        f(1, 3, one.x, r1.x);
        f(3, 0, none.x, r3.x);
        EXPECT_NE(r1[0][0], 12345.0);
    }
    Square r(3);
    EucliDistMV(3, 0, none.x, r.x);
    EXPECT_EQ(r[0][2], 0.0);
    int types[1] = {3};
    GowerMVOpt(3, 0, types, none.x, r.x, nullptr, nullptr, 1);
    EXPECT_EQ(r[0][1], 0.0);
    EXPECT_EQ(BetaSOR(0, 3, none.x, nullptr, nullptr), MISSING);
}

// ---------------------------------------------------------------------------
// Threads: the same bits whatever the size of the team
// ---------------------------------------------------------------------------

TEST(ResemblanceThreads, IdenticalBitsForOneAndManyThreads) {
    const int m = 301, q = 67;
    Table t(m, q), b(m, q);
    FillRandom(t, 3, 0.08, false);
    FillRandom(b, 5, 0.0, true);
    using Fn = void (*)(int, int, double**, double**);
    struct Case {
        Fn f;
        Table* data;
    } cases[] = {{EucliDistMV, &t}, {EucliDist, &b},        {AbsValFunctionMV, &t},
                 {BrayCurtisMV, &t}, {Jaccard, &b},         {SorensenNestedness, &b},
                 {SimpleMatching, &t}, {EucliDistSq, &t},   {ChordDistMV, &b},
                 {BrayCurtisMV, &b}};
    int saved = omp_get_max_threads();
    for (auto& c : cases) {
        Square one(m, 0.0), many(m, 0.0), odd(m, 0.0);
        omp_set_num_threads(1);
        c.f(m, q, c.data->x, one.x);
        omp_set_num_threads(8);
        c.f(m, q, c.data->x, many.x);
        omp_set_num_threads(3);
        c.f(m, q, c.data->x, odd.x);
        for (int i = 0; i < m; i++) {
            EXPECT_EQ(std::memcmp(one[i], many[i], sizeof(double) * m), 0) << "row " << i;
            EXPECT_EQ(std::memcmp(one[i], odd[i], sizeof(double) * m), 0) << "row " << i;
        }
    }
    omp_set_num_threads(saved);
}

// The kernels compiled for each vector level give the baseline's bits, on
// tables whose sizes leave a tail of every length past the lanes, with
// missing values, with negative values (a shifted percentage difference) and
// with other values among presences and absences.
TEST(ResemblanceLevels, IdenticalBitsOnEveryVectorLevel) {
    const int m = 29;
    using Fn = void (*)(int, int, double**, double**);
    const Fn measures[] = {EucliDist,    EucliDistMV,  EucliDistSq,          AbsValFunction, AbsValFunctionMV,
                           BrayCurtisMV, Jaccard,      MeanSquareContingency, SimpleMatching, SorensenNestedness};
    for (int q : {3, 8, 21, 67}) {
        Table full(m, q), holes(m, q), below0(m, q), binary(m, q), mixed(m, q);
        FillRandom(full, q, 0.0, false);
        FillRandom(holes, q + 1, 0.1, false);
        FillRandom(below0, q + 2, 0.1, false);
        FillRandom(binary, q + 3, 0.0, true);
        FillRandom(mixed, q + 4, 0.1, true);
        // Values with every bit of the mantissa in use, so that a product
        // fused into an addition would show in the sums.
        for (Table* t : {&full, &holes, &below0})
            for (int i = 0; i < m; i++)
                for (int k = 0; k < q; k++)
                    if ((*t)[i][k] != MISSING) (*t)[i][k] = (*t)[i][k] / 3.7 - (t == &below0 ? 3 : 0);
        for (const Fn& f : measures)
            for (Table* t : {&full, &holes, &below0, &binary, &mixed}) {
                Square base(m);
                testlevels::OnEveryLevel([&](simd::Level level) {
                    Square r(m);
                    f(m, q, t->x, (level == simd::kBaseline ? base : r).x);
                    for (int i = 0; level != simd::kBaseline && i < m; i++)
                        ASSERT_EQ(std::memcmp(base[i], r[i], sizeof(double) * m), 0)
                            << "measure " << (&f - measures) << " level " << level << " q " << q;
                });
            }
    }
}

// Gower's index and Mahalanobis distance share their pairs out on the team
// too (Gower writes both triangles from it).
TEST(ResemblanceThreads, GowerAndMahalanobisIdenticalForOneAndManyThreads) {
    const int m = 257, q = 9;
    Table t(m, q);
    FillRandom(t, 13, 0.0, false);
    int types[9] = {1, 2, 3, 4, 3, 3, 4, 2, 1};
    for (int i = 0; i < m; i++) {
        t[i][0] = t[i][0] > 6 ? 1 : 0;
        t[i][8] = t[i][8] > 3 ? 1 : 0;
        t[i][1] = std::floor(t[i][1] / 4);
        t[i][7] = std::floor(t[i][7] / 3);
    }
    Table g(m, q);
    for (int i = 0; i < m; i++)
        for (int k = 0; k < q; k++) g[i][k] = t[i][k];
    g[5][2] = MISSING;
    int saved = omp_get_max_threads();
    for (int threads : {3, 8}) {
        Square one(m, 0.0), many(m, 0.0), m1(m, 0.0), mm(m, 0.0);
        omp_set_num_threads(1);
        GowerMVOpt(m, q, types, g.x, one.x, nullptr, nullptr, 0);
        ASSERT_TRUE(Mahalanobis(m, q, t.x, m1.x));
        omp_set_num_threads(threads);
        GowerMVOpt(m, q, types, g.x, many.x, nullptr, nullptr, 0);
        ASSERT_TRUE(Mahalanobis(m, q, t.x, mm.x));
        for (int i = 0; i < m; i++) {
            EXPECT_EQ(std::memcmp(one[i], many[i], sizeof(double) * m), 0) << "Gower row " << i;
            EXPECT_EQ(std::memcmp(m1[i], mm[i], sizeof(double) * m), 0) << "Mahalanobis row " << i;
        }
    }
    omp_set_num_threads(saved);
}

}  // namespace
