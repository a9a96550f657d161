// Matrix comparisons: Mantel-type statistics, Rd, RV and Procrustes on the
// dune tables (figures from R: vegan mantel, mantel.partial and protest,
// energy dcor, ade4 RV.rtest), each also checked against a computation
// written out here: Pearson of the upper triangles, the RV from its n x n
// inner-product matrices, the Procrustes statistic from the eigenvalues of a
// small cross-product (Jacobi rotations), and fits built by hand.
#include <gtest/gtest.h>
#include <gsl/gsl_rng.h>

#include <cmath>
#include <vector>

#include "comparisons_reference.h"
#include "linear_models_reference.h"
#include "matrix_util.h"
#include "reference_eigen.h"
#include "reference_stats.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

namespace {

using lsref::Matrix;
using lsref::Vec;
using namespace cmpref;

struct Owned : testmat::Table {
    explicit Owned(const Matrix& m) : Table(static_cast<int>(m.size()), static_cast<int>(m[0].size())) {
        for (int i = 0; i < rows; i++)
            for (int j = 0; j < cols; j++) x[i][j] = m[i][j];
    }
    Matrix Values() const {
        Matrix m(rows, Vec(cols));
        for (int i = 0; i < rows; i++)
            for (int j = 0; j < cols; j++) m[i][j] = x[i][j];
        return m;
    }
};

double SumSquaredDifference(const Matrix& A, double** B) {
    double s = 0;
    for (size_t i = 0; i < A.size(); i++)
        for (size_t j = 0; j < A[0].size(); j++) s += (A[i][j] - B[i][j]) * (A[i][j] - B[i][j]);
    return s;
}

class DuneComparisons : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dune = lsref::Dune();
        env = lsref::DuneEnvironment();
        BC = BrayCurtis(dune);
        E = Euclidean(dune);
        Ee = Euclidean(env);
    }
    static Matrix dune, env, BC, E, Ee;
};
Matrix DuneComparisons::dune, DuneComparisons::env, DuneComparisons::BC, DuneComparisons::E,
    DuneComparisons::Ee;

TEST_F(DuneComparisons, MantelPartialMantelAndStress) {
    ASSERT_EQ(dune.size(), 20u);
    Owned bc(BC), ee(Ee), e(E);
    const double r = MatrixCorr(20, bc.x, ee.x);
    EXPECT_NEAR(r, 0.5527849634, 1e-9);
    EXPECT_NEAR(r, Pearson(Upper(BC), Upper(Ee)), 1e-12);

    const double rAB = Pearson(Upper(BC), Upper(Ee)), rAZ = Pearson(Upper(BC), Upper(E)),
                 rBZ = Pearson(Upper(Ee), Upper(E));
    const double partial = PartialMatrixCorr(20, bc.x, ee.x, e.x);
    EXPECT_NEAR(partial, 0.2757965528, 1e-9);
    EXPECT_NEAR(partial, (rAB - rAZ * rBZ) / std::sqrt((1 - rAZ * rAZ) * (1 - rBZ * rBZ)), 1e-12);

    double num = 0, den = 0;
    const Vec a = Upper(BC), b = Upper(Ee);
    for (size_t k = 0; k < a.size(); k++) num += (a[k] - b[k]) * (a[k] - b[k]), den += (a[k] + b[k]) * (a[k] + b[k]) / 4;
    EXPECT_NEAR(MatrixStressKruskal(20, bc.x, ee.x), 1.422236994, 1e-9);
    EXPECT_NEAR(MatrixStressKruskal(20, bc.x, ee.x), std::sqrt(num / den), 1e-12);
}

TEST_F(DuneComparisons, DegenerateAndMissingPairs) {
    Owned bc(BC), ee(Ee), e(E);
    testmat::Square constant(20, 3.0), zero(20, 0.0);
    EXPECT_DOUBLE_EQ(MatrixCorr(20, bc.x, bc.x), 1.0);
    EXPECT_EQ(MatrixCorr(20, bc.x, constant.x), 0.0);
    EXPECT_EQ(MatrixStressKruskal(20, zero.x, zero.x), -1.0);
    EXPECT_EQ(RdMatrixCorr(20, bc.x, constant.x, false), 0.0);

    // -999 in either matrix: the pair is left out (pairs 0 and 30 in row order).
    Owned holes(BC);
    holes[0][1] = holes[1][0] = -999.0;
    ee[1][13] = ee[13][1] = -999.0;  // pair 19 + 11 = 30
    EXPECT_NEAR(MatrixCorr(20, holes.x, ee.x), Pearson(Upper(BC, {0, 30}), Upper(Ee, {0, 30})), 1e-12);
    const Vec a = Upper(BC, {0, 30}), b = Upper(E, {0, 30}), z = Upper(Ee, {0, 30});
    const double rAB = Pearson(a, b), rAZ = Pearson(a, z), rBZ = Pearson(b, z);
    EXPECT_NEAR(PartialMatrixCorr(20, holes.x, e.x, ee.x),
                (rAB - rAZ * rBZ) / std::sqrt((1 - rAZ * rAZ) * (1 - rBZ * rBZ)), 1e-12);
    // An Rd of a matrix holding -999 is undefined.
    EXPECT_TRUE(std::isnan(RdMatrixCorr(20, holes.x, e.x, false)));

    // A partial correlation given a matrix that is a linear function of A.
    Owned linear(BC);
    for (int i = 0; i < 20; i++)
        for (int j = 0; j < 20; j++) linear[i][j] = 2 * BC[i][j] + 1;
    EXPECT_TRUE(std::isnan(PartialMatrixCorr(20, bc.x, ee.x, linear.x)));
    EXPECT_TRUE(std::isnan(PartialMatrixCorr(20, bc.x, ee.x, bc.x)));
}

TEST_F(DuneComparisons, RdAndRV) {
    Owned bc(BC), ee(Ee), e(E), x(dune), y(env);
    EXPECT_NEAR(RdMatrixCorr(20, ee.x, bc.x, false), 0.7688004631, 1e-9);
    EXPECT_NEAR(RdMatrixCorr(20, e.x, ee.x, false), 0.7465450851, 1e-9);
    EXPECT_NEAR(RdMatrixCorr(20, e.x, ee.x, true), 0.6946520577, 1e-9);

    EXPECT_NEAR(RVcoeff(20, 30, 4, x.x, y.x), 0.6946520577, 1e-9);
    EXPECT_NEAR(RVcoeff(20, 30, 4, x.x, y.x), ReferenceRV(dune, env), 1e-12);
    EXPECT_NEAR(RVcoeff_OLD(20, 30, 4, x.x, y.x), ReferenceRV(dune, env), 1e-12);

    // More units than columns (the cross-product route), and missing cells,
    // whose terms are left out of W.
    Matrix left = Columns(env, 0, 2), right = Columns(env, 2, 4);
    left[3][1] = -999.0;
    right[7][0] = -999.0;
    right[3][1] = -999.0;
    Owned l(left), r(right);
    EXPECT_NEAR(RVcoeff(20, 2, 2, l.x, r.x), ReferenceRV(left, right), 1e-12);
    EXPECT_NEAR(RVcoeff_OLD(20, 2, 2, l.x, r.x), ReferenceRV(left, right), 1e-12);

    // No spread: undefined.
    testmat::Table flat(20, 3);
    EXPECT_TRUE(std::isnan(RVcoeff(20, 30, 3, x.x, flat.x)));

    // The caller's arrays are never centred or squared in place.
    EXPECT_EQ(x.Values(), dune);
    EXPECT_EQ(y.Values(), env);
    EXPECT_EQ(e.Values(), E);
}

// A centred value of exactly -999 is a number like any other: only what the
// tables hold as -999 is missing. Here row 0 of the first column (0 among
// 1998 and eighteen 999s) centres to -999.
TEST_F(DuneComparisons, CentredValueOfMinus999IsNotMissing) {
    Matrix left = Columns(env, 0, 2);
    for (size_t i = 0; i < 20; i++) left[i][0] = i == 0 ? 0 : i == 1 ? 1998 : 999;
    const Matrix right = Columns(env, 2, 4);
    Owned l(left), r(right);
    EXPECT_NEAR(RVcoeff(20, 2, 2, l.x, r.x), ReferenceRV(left, right), 1e-12);
    EXPECT_NEAR(ProcrustesCoeff(20, 2, 2, l.x, r.x), ReferenceProcrustes(left, right), 1e-10);
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 3);
    const std::vector<int> list = lsref::DrawnList(g, 20);
    gsl_rng_free(g);
    PermutedComparison rv(PermutedComparison::kRV, 20, 2, 2, l.x, r.x),
        procrustes(PermutedComparison::kProcrustes, 20, 2, 2, l.x, r.x);
    EXPECT_NEAR(rv(list.data()), ReferenceRV(lsref::Permuted(left, list), right), 1e-12);
    EXPECT_NEAR(procrustes(list.data()), ReferenceProcrustes(lsref::Permuted(left, list), right), 1e-10);
}

// A matrix holding NaN or an infinity has no correlation: NaN (not
// testable), never the 0 of a matrix without spread.
TEST_F(DuneComparisons, MatricesHoldingNaNGiveNaN) {
    Owned bc(BC), ee(Ee), e(E);
    for (double bad : {NAN, INFINITY}) {
        Owned holed(Ee);
        holed[2][6] = holed[6][2] = bad;
        EXPECT_TRUE(std::isnan(MatrixCorr(20, bc.x, holed.x))) << bad;
        EXPECT_TRUE(std::isnan(MatrixCorrAdj(20, holed.x, bc.x))) << bad;
        EXPECT_TRUE(std::isnan(PartialMatrixCorr(20, bc.x, holed.x, e.x))) << bad;
        EXPECT_TRUE(std::isnan(PartialMatrixCorr(20, bc.x, e.x, holed.x))) << bad;
        EXPECT_TRUE(std::isnan(RdMatrixCorr(20, holed.x, bc.x, false))) << bad;
        using PC = PermutedComparison;
        for (PC::Statistic statistic : {PC::kMantel, PC::kPartialMantel, PC::kRd}) {
            PC permuted(statistic, 20, holed.x, bc.x, e.x, false), fixed(statistic, 20, bc.x, holed.x, e.x, false);
            EXPECT_TRUE(std::isnan(permuted(nullptr))) << bad << " " << statistic;
            EXPECT_TRUE(std::isnan(fixed(nullptr))) << bad << " " << statistic;
        }
    }
    Owned nan(Ee);
    nan[0][1] = nan[1][0] = NAN;
    EXPECT_TRUE(std::isnan(MatrixRankCorr(20, bc.x, nan.x)));
}

TEST_F(DuneComparisons, ProcrustesCorrelation) {
    Owned x(dune), y(env);
    const double t = ProcrustesCoeff(20, 4, 30, y.x, x.x);
    EXPECT_NEAR(t, 0.667291325, 1e-8);
    EXPECT_NEAR(ProcrustesCoeff(20, 30, 4, x.x, y.x), t, 1e-12);
    EXPECT_NEAR(t, ReferenceProcrustes(env, dune), 1e-10);

    const Matrix management = Columns(env, 1, 2);
    Owned m(management);
    EXPECT_NEAR(ProcrustesCoeff(20, 1, 30, m.x, x.x), 0.3646792486, 1e-9);
    EXPECT_NEAR(ProcrustesCoeff(20, 1, 30, m.x, x.x), ReferenceProcrustes(management, dune), 1e-10);
    EXPECT_NEAR(ProcrustesCoeff(20, 4, 4, y.x, y.x), 1.0, 1e-12);

    // The six-argument fit of dune onto env, in 30 dimensions: whatever the
    // rotation, the residual sum of squares is (n - 1)(1 - t^2).
    testmat::Table fit(20, 30);
    EXPECT_NEAR(ProcrustesCoeff(20, 4, 30, y.x, x.x, fit.x), t, 1e-12);
    Matrix target = Standardised(env, 19.0);
    for (Vec& row : target) row.resize(30, 0.0);
    EXPECT_NEAR(SumSquaredDifference(target, fit.x), 10.53972347, 1e-7);
    EXPECT_NEAR(SumSquaredDifference(target, fit.x), 19 * (1 - t * t), 1e-9);

    // The same fit from tables stored one row per variable.
    Owned tx(Transposed(env)), ty(Transposed(dune));
    testmat::Table fitT(20, 30);
    ProcrustesCoeff_T(4, 30, 20, tx.x, ty.x, fitT.x);
    EXPECT_NEAR(SumSquaredDifference(target, fitT.x), 19 * (1 - t * t), 1e-9);

    EXPECT_EQ(x.Values(), dune);
    EXPECT_EQ(y.Values(), env);
}

// A configuration of 3 axes x 8 objects, turned by an orthogonal matrix,
// scaled by 2.5 and shifted: the adjustment gives the target back.
TEST(Procrustes, AdjustmentUndoesRotationScaleAndShift) {
    const Matrix target = {{1, 4, -2, 0.5, 3, -1, 2, 0},
                           {0, 1, 2, -3, 1, 2, -1, 0.5},
                           {2, -1, 0, 1, 0.5, -2, 1, 3}};
    // Rotation about the first axis by 0.7 radians, then a reflection of the third.
    const double c = std::cos(0.7), s = std::sin(0.7);
    const Matrix Q = {{1, 0, 0}, {0, c, -s}, {0, -s, -c}};
    Matrix moved(3, Vec(8, 0.0));
    for (int a = 0; a < 3; a++)
        for (int i = 0; i < 8; i++) {
            for (int b = 0; b < 3; b++) moved[a][i] += 2.5 * Q[a][b] * target[b][i];
            moved[a][i] += 10.0 * (a + 1);
        }
    Owned X(target), Y(moved);
    testmat::Table fit(3, 8);
    double dist[3] = {-1, -1, -1};
    ProcrustesAdjT(3, 3, 8, X.x, Y.x, fit.x, dist);
    for (int a = 0; a < 3; a++) {
        EXPECT_NEAR(dist[a], 0.0, 1e-20);
        for (int i = 0; i < 8; i++) EXPECT_NEAR(fit[a][i], target[a][i], 1e-12);
    }
    EXPECT_EQ(Y.Values(), moved);

    // The form with one row per object gives the same fit.
    Owned rx(Transposed(target)), ry(Transposed(moved));
    testmat::Table fitRows(8, 3);
    EXPECT_EQ(ProcrustesAdj(8, 3, 3, rx.x, ry.x, fitRows.x, nullptr), 0.0);
    for (int i = 0; i < 8; i++)
        for (int a = 0; a < 3; a++) EXPECT_NEAR(fitRows[i][a], target[a][i], 1e-12);
    EXPECT_NEAR(ProcrustesCoeff_OLD(8, 3, rx.x, ry.x), 0.0, 1e-12);

    // A configuration without spread: scale 0, the fit is X's axis means.
    testmat::Table flat(3, 8);
    ProcrustesAdjT(3, 3, 8, X.x, flat.x, fit.x, dist);
    for (int a = 0; a < 3; a++) {
        double mean = 0, ss = 0;
        for (int i = 0; i < 8; i++) mean += target[a][i] / 8;
        for (int i = 0; i < 8; i++) ss += (target[a][i] - mean) * (target[a][i] - mean);
        EXPECT_NEAR(dist[a], ss, 1e-12);
        for (int i = 0; i < 8; i++) EXPECT_NEAR(fit[a][i], mean, 1e-12);
    }
    testmat::Table zeros(8, 3);
    EXPECT_TRUE(std::isnan(ProcrustesCoeff_OLD(8, 3, zeros.x, ry.x)));
}

TEST_F(DuneComparisons, AdjustmentOfPrincipalCoordinates) {
    // Principal coordinates of Bray-Curtis (target) and Euclidean distances:
    // the reflections allowed in the adjustment make the result independent
    // of the signs of the eigenvectors.
    Owned x(dune), bc(BC), e(E);
    auto coordinates = [&](double** rese, int measure, testmat::Table& scores) {
        testmat::Table evectors(20, 20);
        std::vector<double> eig(20);
        int axes = 0;
        bool ok = false;
        OrdinationLib_D(20, 30, x.x, rese, evectors.x, scores.x, &axes, eig.data(), &ok, 1, measure, 1);
        return axes;
    };
    testmat::Table target(20, 20), fitted(20, 20), fit(2, 20);
    ASSERT_GE(coordinates(bc.x, 20, target), 2);
    ASSERT_GE(coordinates(e.x, 3, fitted), 2);
    double dist[2];
    ProcrustesAdjT(2, 2, 20, target.x, fitted.x, fit.x, dist);
    EXPECT_NEAR(dist[0], 0.1630240157, 1e-8);
    EXPECT_NEAR(dist[1], 0.1880838036, 1e-8);
}

// Hand-worked upper triangles a = 1..6 and b = 2 1 4 3 6 8 (4 x 4 matrices).
TEST(MatrixComparisons, LibraryFormsOnHandWorkedPairs) {
    auto square = [](const Vec& upper) {
        Matrix m(4, Vec(4, 0.0));
        size_t k = 0;
        for (int i = 0; i < 4; i++)
            for (int j = i + 1; j < 4; j++) m[i][j] = m[j][i] = upper[k++];
        return m;
    };
    Owned A(square({1, 2, 3, 4, 5, 6})), B(square({2, 1, 4, 3, 6, 8}));
    // Deviations: a -2.5 -1.5 -.5 .5 1.5 2.5, b -2 -3 0 -1 2 4: Sab 22,
    // Saa 17.5, Sbb 34; raw ab 106, aa 91, bb 130.
    const double r = 22 / std::sqrt(17.5 * 34);
    struct Case {
        const char* name;
        double got, expected;
    } cases[] = {
        {"MatrixCorr", MatrixCorr(4, A.x, B.x), r},
        {"MatrixStress", MatrixStress(4, A.x, B.x), 1 - 484.0 / 595.0},
        {"MatrixCov", MatrixCov(4, A.x, B.x), 22.0 / 5},
        {"MatrixCos", MatrixCos(4, A.x, B.x), 106 / std::sqrt(91.0 * 130)},
        {"MatrixRankCorr", MatrixRankCorr(4, A.x, B.x), 1 - 6 * 4.0 / (6 * 35)},
        {"MatrixAbsValDist", MatrixAbsValDist(4, A.x, B.x), 7},
        {"MatrixEudDist", MatrixEudDist(4, A.x, B.x), 3},
        {"MatrixDist", MatrixDist(4, A.x, B.x), std::sqrt(9.0 / 6)},
        {"SQMatrixDeviations", SQMatrixDeviations(4, 4, A.x, B.x), 1 - 18.0 / 8},
        {"SumAbsMatrixDeviations", SumAbsMatrixDeviations(4, 4, A.x, B.x), 1 - 14.0 / 8},
        {"vecProd", vecProd(4, A.x, B.x), 2 * 106.0},
        {"Lib m", MatrixCorrelationLib(4, 0, 0, nullptr, nullptr, A.x, B.x, true, true, false, 'm'), r},
        {"Lib m, one similarity", MatrixCorrelationLib(4, 0, 0, nullptr, nullptr, A.x, B.x, false, true, false, 'm'),
         -r},
        {"Lib m, older form", MatrixCorrelationLib(4, 0, 0, nullptr, nullptr, A.x, B.x, false, 'm'), r},
        {"Lib unknown code", MatrixCorrelationLib(4, 0, 0, nullptr, nullptr, A.x, B.x, true, true, false, 'x'), 0},
    };
    for (const Case& c : cases) EXPECT_NEAR(c.got, c.expected, 1e-12) << c.name;

    // Ties share their mean rank: b = 1 1 2 2 3 3.
    Owned T(square({1, 1, 2, 2, 3, 3}));
    EXPECT_NEAR(MatrixRankCorr(4, A.x, T.x), Pearson({1, 2, 3, 4, 5, 6}, {1.5, 1.5, 3.5, 3.5, 5.5, 5.5}), 1e-12);

    // Double zeros left out: the pair (0, 0) goes, means over the other five.
    Owned Z1(square({0, 2, 3, 4, 5, 6})), Z2(square({0, 1, 4, 3, 6, 8}));
    EXPECT_NEAR(MatrixCorrAdj(4, Z1.x, Z2.x), Pearson({2, 3, 4, 5, 6}, {1, 4, 3, 6, 8}), 1e-12);
    EXPECT_NEAR(MatrixProdMomentAdj(4, 1, 2, Z1.x, Z2.x), -1 + 4 + 3 + 16 + 30, 1e-12);
}

TEST_F(DuneComparisons, DispatchOfMatrixCorrelationLib) {
    Owned bc(BC), e(E), x(dune), y(env);
    // A similarity is compared as 1 - s: Rd of the complement made here.
    Matrix similarity = BC;
    for (Vec& row : similarity)
        for (double& v : row) v = 1 - v;
    Owned s(similarity);
    EXPECT_NEAR(MatrixCorrelationLib(20, 0, 0, nullptr, nullptr, s.x, e.x, false, true, true, 'r'),
                RdMatrixCorr(20, bc.x, e.x, true), 1e-12);
    EXPECT_NEAR(MatrixCorrelationLib(20, 30, 4, x.x, y.x, nullptr, nullptr, true, true, false, 'v'),
                RVcoeff(20, 30, 4, x.x, y.x), 1e-15);
    EXPECT_NEAR(MatrixCorrelationLib(20, 30, 4, x.x, y.x, nullptr, nullptr, true, true, false, 'p'),
                ProcrustesCoeff(20, 30, 4, x.x, y.x), 1e-15);
    EXPECT_EQ(s.Values(), similarity);
}

}  // namespace

namespace {

// The precomputed forms against the plain routines on the permuted copies,
// over lists from a generator of the test's own: fast routes, the routes for
// matrices holding MISSING or not symmetric, both table orientations and both
// routes of the RV.
TEST_F(DuneComparisons, PermutedFormsAgreeWithThePlainRoutines) {
    Matrix bcHoles = BC, eeHoles = Ee, skew = Ee, products(20, Vec(20, 0.0)), leftHoles = Columns(env, 0, 2);
    bcHoles[2][5] = bcHoles[5][2] = -999.0;
    eeHoles[0][7] = eeHoles[7][0] = -999.0;
    skew[3][9] += 0.5;  // upper and lower triangles differ
    // A similarity whose diagonal differs from unit to unit.
    for (size_t i = 0; i < 20; i++)
        for (size_t j = 0; j < 20; j++)
            for (size_t k = 0; k < 30; k++) products[i][j] += dune[i][k] * dune[j][k];
    leftHoles[4][1] = -999.0;
    using PC = PermutedComparison;
    struct Case {
        const char* what;
        PC::Statistic statistic;
        Matrix P, F, Z;
    };
    const Case cases[] = {
        {"Mantel", PC::kMantel, BC, Ee, {}},
        {"Mantel, -999 in P", PC::kMantel, bcHoles, Ee, {}},
        {"Mantel, -999 in F", PC::kMantel, BC, eeHoles, {}},
        {"partial", PC::kPartialMantel, BC, Ee, E},
        {"partial, -999 in Z", PC::kPartialMantel, BC, E, eeHoles},
        {"Rd", PC::kRd, BC, Ee, {}},
        {"Rd, similarity", PC::kRd, products, Ee, {}},
        {"Rd, asymmetric", PC::kRd, skew, BC, {}},
        {"RV, inner products", PC::kRV, dune, env, {}},
        {"RV, cross-products", PC::kRV, Columns(env, 2, 4), leftHoles, {}},
        {"RV, wide fixed table", PC::kRV, Columns(env, 1, 2), dune, {}},
        {"Procrustes", PC::kProcrustes, dune, env, {}},
        {"Procrustes, one column permuted", PC::kProcrustes, Columns(env, 1, 2), dune, {}},
        {"Procrustes, -999", PC::kProcrustes, leftHoles, Columns(env, 2, 4), {}},
    };
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 2024);
    for (const Case& c : cases) {
        const bool tables = c.statistic == PC::kRV || c.statistic == PC::kProcrustes;
        Owned P(c.P), F(c.F), Z(c.Z.empty() ? c.F : c.Z);
        const int p = P.cols, q = F.cols;
        PC fast = tables ? PC(c.statistic, 20, p, q, P.x, F.x) : PC(c.statistic, 20, P.x, F.x, Z.x, false);
        auto plainOf = [&](double** R) {
            switch (c.statistic) {
                case PC::kMantel: return MatrixCorr(20, R, F.x);
                case PC::kPartialMantel: return PartialMatrixCorr(20, R, F.x, Z.x);
                case PC::kRd: return RdMatrixCorr(20, F.x, R, false);
                case PC::kRV: return RVcoeff(20, q, p, F.x, R);
                default: return ProcrustesCoeff(20, q, p, F.x, R);
            }
        };
        EXPECT_NEAR(fast(nullptr), plainOf(P.x), 1e-12) << c.what;
        // Ten lists evaluated in one call (more than a block) and one by one.
        std::vector<int> lists;
        for (int k = 0; k < 10; k++) {
            const std::vector<int> l = lsref::DrawnList(g, 20);
            lists.insert(lists.end(), l.begin(), l.end());
        }
        double values[10];
        fast.Evaluate(10, lists.data(), values);
        for (int k = 0; k < 10; k++) {
            const std::vector<int> list(lists.begin() + 20 * k, lists.begin() + 20 * (k + 1));
            // A matrix as a test reads it: above the diagonal in permuted order.
            Owned R(tables ? lsref::Permuted(c.P, list) : PermutedSquare(c.P, list));
            for (int i = 0; i < 20 && !tables; i++)
                for (int j = 0; j < i; j++) R[i][j] = R[j][i];
            const double plain = plainOf(R.x);
            EXPECT_TRUE(std::isfinite(plain)) << c.what;
            EXPECT_NEAR(values[k], plain, 1e-12) << c.what << " list " << k;
            EXPECT_EQ(fast(list.data()), values[k]) << c.what << " list " << k;
        }
        EXPECT_EQ(P.Values(), c.P) << c.what;
        EXPECT_EQ(F.Values(), c.F) << c.what;
    }
    gsl_rng_free(g);

    // Against the statistics as defined, on one list.
    gsl_rng_set(g = gsl_rng_alloc(gsl_rng_mt19937), 7);
    const std::vector<int> list = lsref::DrawnList(g, 20);
    gsl_rng_free(g);
    Owned bc(BC), ee(Ee), x(dune), y(env);
    PC mantel(PC::kMantel, 20, bc.x, ee.x, nullptr, false), rd(PC::kRd, 20, bc.x, ee.x, nullptr, false),
        rv(PC::kRV, 20, 30, 4, x.x, y.x), procrustes(PC::kProcrustes, 20, 30, 4, x.x, y.x);
    EXPECT_NEAR(mantel(list.data()), Pearson(Upper(PermutedSquare(BC, list)), Upper(Ee)), 1e-12);
    EXPECT_NEAR(rd(list.data()), ReferenceRd(PermutedSquare(BC, list), Ee), 1e-12);
    EXPECT_NEAR(rv(list.data()), ReferenceRV(lsref::Permuted(dune, list), env), 1e-12);
    EXPECT_NEAR(procrustes(list.data()), ReferenceProcrustes(lsref::Permuted(dune, list), env), 1e-10);
}

}  // namespace
