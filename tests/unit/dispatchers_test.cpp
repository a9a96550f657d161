// The analysis dispatchers: resemblance by option number, data
// transformations, and ordination, against values computed here another way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "linear_models_reference.h"
#include "matrix_util.h"
#include "reference_stats.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

namespace {

using testmat::Square;
using testmat::Table;

const double kLn2 = std::log(2.0);

// Column j of a table as a vector.
std::vector<double> Column(const Table& t, int j) {
    std::vector<double> v(t.rows);
    for (int i = 0; i < t.rows; i++) v[i] = t[i][j];
    return v;
}

double Euclid(const std::vector<double>& a, const std::vector<double>& b) {
    double s = 0;
    for (size_t k = 0; k < a.size(); k++) s += (a[k] - b[k]) * (a[k] - b[k]);
    return std::sqrt(s);
}

bool Symmetric(int m, double** r) {
    for (int i = 0; i < m; i++)
        for (int j = 0; j < m; j++)
            if (!(r[i][j] == r[j][i])) return false;
    return true;
}

// ---------------------------------------------------------------------------
// Similarity or dissimilarity
// ---------------------------------------------------------------------------

TEST(Measures, SimilaritiesAreExactlyTheListedOnes) {
    const std::vector<int> similar = {1, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15, 16, 17, 19, 22};
    for (int m = 0; m <= 30; m++) {
        bool listed = false;
        for (int s : similar) listed = listed || s == m;
        EXPECT_EQ(IsSimilarityMeasure(m), listed) << "measure " << m;
    }
}

// ---------------------------------------------------------------------------
// ResemblanceLib
// ---------------------------------------------------------------------------

// Four units by three variables, as a researcher's small abundance table.
Table Abundances() { return Table{{1, 0, 4}, {3, 2, 0}, {0, 5, 1}, {2, 2, 2}}; }

TEST(ResemblanceLib, EuclideanBetweenUnitsAndBetweenVariables) {
    Table t = Abundances();
    Square units(4);
    ASSERT_EQ(ResemblanceLib(4, 3, t.x, units.x, 1, 3, 0, nullptr, 1, 0, 0, false), reseComputed);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) {
            std::vector<double> a(t[i], t[i] + 3), b(t[j], t[j] + 3);
            EXPECT_NEAR(units[i][j], Euclid(a, b), 1e-12);
        }

    Square vars(3);
    ASSERT_EQ(ResemblanceLib(4, 3, t.x, vars.x, 2, 3, nullptr, 1, 0, 0, false), reseComputed);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(vars[i][j], Euclid(Column(t, i), Column(t, j)), 1e-12);
    // The table is as it was.
    Table again = Abundances();
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 3; j++) EXPECT_EQ(t[i][j], again[i][j]);
}

TEST(ResemblanceLib, CorrelationCovarianceAndProductBetweenVariables) {
    Table t = Abundances();
    Square r(3), c(3), x(3);
    ResemblanceLib(4, 3, t.x, r.x, 2, 17, nullptr, 1, 0, 0, false);
    ResemblanceLib(4, 3, t.x, c.x, 2, 22, nullptr, 1, 0, 0, false);
    ResemblanceLib(4, 3, t.x, x.x, 2, 1, nullptr, 1, 0, 0, false);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            std::vector<double> a = Column(t, i), b = Column(t, j);
            EXPECT_NEAR(r[i][j], Pearson(a, b), 1e-12);
            double ma = (a[0] + a[1] + a[2] + a[3]) / 4, mb = (b[0] + b[1] + b[2] + b[3]) / 4;
            double cov = 0, prod = 0;
            for (int k = 0; k < 4; k++) cov += (a[k] - ma) * (b[k] - mb) / 3, prod += a[k] * b[k];
            EXPECT_NEAR(c[i][j], cov, 1e-12);
            EXPECT_NEAR(x[i][j], prod, 1e-12);
        }
}

TEST(ResemblanceLib, BrayCurtisAndJaccardHandWorked) {
    Table t = Abundances();
    Square bc(4);
    ResemblanceLib(4, 3, t.x, bc.x, 1, 20, nullptr, 1, 0, 0, false);
    // Units 1 and 2: |1-3| + |0-2| + |4-0| = 8 over 1+0+4+3+2+0 = 10.
    EXPECT_NEAR(bc[0][1], 0.8, 1e-12);
    EXPECT_NEAR(bc[1][0], 0.8, 1e-12);
    // Units 3 and 4: 2 + 3 + 1 = 6 over 12.
    EXPECT_NEAR(bc[2][3], 0.5, 1e-12);

    Table pa{{1, 1, 0, 0}, {1, 0, 1, 0}, {0, 0, 0, 1}};
    Square jac(3), jacVar(4);
    ResemblanceLib(3, 4, pa.x, jac.x, 1, 11, nullptr, 1, 0, 0, false);
    EXPECT_NEAR(jac[0][1], 1.0 / 3.0, 1e-12);  // a = 1, b = 1, c = 1
    EXPECT_EQ(jac[0][2], 0.0);
    EXPECT_EQ(jac[0][0], 1.0);
    // Between the four variables: variables 1 and 2 share unit 1 and differ
    // at unit 2 (a = 1, b = 1).
    ResemblanceLib(3, 4, pa.x, jacVar.x, 2, 11, nullptr, 1, 0, 0, false);
    EXPECT_NEAR(jacVar[0][1], 0.5, 1e-12);
    EXPECT_NEAR(jacVar[1][0], 0.5, 1e-12);
    EXPECT_EQ(jacVar[0][3], 0.0);
}

TEST(ResemblanceLib, PostTransformationsKeepUndefinedValues) {
    Table t = Abundances();
    Square plain(4), sq(4), root(4);
    ResemblanceLib(4, 3, t.x, plain.x, 1, 20, 0, nullptr, 1, 0, 0, false);
    ResemblanceLib(4, 3, t.x, sq.x, 1, 20, 1, nullptr, 1, 0, 0, false);
    ASSERT_EQ(ResemblanceLib(4, 3, t.x, root.x, 1, 20, 2, nullptr, 1, 0, 0, false), reseComputed);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) {
            EXPECT_NEAR(sq[i][j], plain[i][j] * plain[i][j], 1e-15);
            EXPECT_NEAR(root[i][j], std::sqrt(plain[i][j]), 1e-15);
        }

    // Two empty units: the Jaccard turnover of the pair is undefined (-999)
    // and stays so under either post-transformation.
    Table pa{{0, 0, 0}, {0, 0, 0}, {1, 1, 0}};
    for (int post = 0; post <= 2; post++) {
        Square r(3);
        ResemblanceLib(3, 3, pa.x, r.x, 1, 24, post, nullptr, 1, 0, 0, false);
        EXPECT_EQ(r[0][1], MISSING) << "post-transformation " << post;
        EXPECT_EQ(r[1][0], MISSING) << "post-transformation " << post;
    }
}

TEST(ResemblanceLib, SquareRootOfNegativeCorrelationsIsReportedNeverNaN) {
    Table t{{1, 2, 3, 4}, {4, 3, 2, 1}, {1, 3, 2, 4}};
    Square r(3);
    EXPECT_EQ(ResemblanceLib(3, 4, t.x, r.x, 1, 17, 2, nullptr, 1, 0, 0, false), reseNegativeRoot);
    EXPECT_NEAR(r[0][1], -1.0, 1e-12);  // signed root of -1
    EXPECT_NEAR(r[0][2], std::sqrt(0.8), 1e-12);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_FALSE(std::isnan(r[i][j]));
}

TEST(ResemblanceLib, RajskiMetricFromCoherence) {
    // Two identical nominal rows have coherence 1 and Rajski distance 0; an
    // independent pair has coherence 0 and Rajski distance 1.
    Table nom{{1, 2, 1, 2}, {1, 2, 1, 2}, {1, 1, 2, 2}};
    Square rajski(3), coherence(3);
    ASSERT_EQ(ResemblanceLib(3, 4, nom.x, rajski.x, 1, 8, nullptr, 1, 0, 0, false), reseComputed);
    ResemblanceLib(3, 4, nom.x, coherence.x, 1, 9, nullptr, 1, 0, 0, false);
    EXPECT_EQ(rajski[0][1], 0.0);
    EXPECT_NEAR(coherence[0][1], 1.0, 1e-12);
    EXPECT_NEAR(coherence[0][2], 0.0, 1e-12);
    EXPECT_NEAR(rajski[0][2], 1.0, 1e-12);
    EXPECT_NEAR(rajski[2][0], 1.0, 1e-12);
}

TEST(ResemblanceLib, SecondEigenvalueOfAPairIsOneLessTheAbsoluteCorrelation) {
    // Centred rows of unit length have the cross-product matrix [[1, r], [r, 1]],
    // whose eigenvalues are 1 + |r| and 1 - |r|.
    Table t = Abundances();
    Square r(3, 0.0);
    ASSERT_EQ(ResemblanceLib(4, 3, t.x, r.x, 2, 21, nullptr, 1, 0, 0, false), reseComputed);
    for (int i = 0; i < 3; i++)
        for (int j = i + 1; j < 3; j++) {
            const double expected = 1.0 - std::fabs(Pearson(Column(t, i), Column(t, j)));
            EXPECT_NEAR(r[i][j], expected, 1e-12);
            EXPECT_NEAR(r[j][i], expected, 1e-12);
        }
    EXPECT_EQ(r[1][1], 0.0);  // the diagonal is the caller's
}

TEST(ResemblanceLib, RefusalsLeaveTheMatrixUnchanged) {
    Table t{{1.5, 2, 1}, {1, 2, 2}};
    const int types[3] = {3, 3, 3};
    // Out of range; chi-square of codes that are not whole numbers; Gower's
    // index between variables (the types describe the variables, not the
    // units) or without types; Mahalanobis with a singular covariance matrix.
    const int cases[6][3] = {{0, 1, 1}, {30, 1, 1}, {10, 1, 1}, {5, 2, 1}, {5, 1, 0}, {29, 1, 1}};
    for (auto& c : cases) {
        Square r(3, 7.0);
        EXPECT_EQ(ResemblanceLib(2, 3, t.x, r.x, c[1], c[0], c[2] ? types : nullptr, 1, 0, 0, false),
                  reseRefused)
            << "measure " << c[0];
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) EXPECT_EQ(r[i][j], 7.0);
    }
}

TEST(ResemblanceLib, EveryMeasureGivesASymmetricMatrixInBothDirections) {
    std::mt19937 g(7);
    std::uniform_int_distribution<int> u(0, 3);
    Table t(6, 5);
    for (int i = 0; i < 6; i++)
        for (int j = 0; j < 5; j++) t[i][j] = (j % 2) ? u(g) % 2 : u(g);
    int types[5] = {3, 1, 3, 1, 3};
    // Some routines fill both triangles, some the upper one (with or without
    // missing values): each comes back whole, post-transformed on both sides.
    for (int missing = 0; missing <= 1; missing++) {
        if (missing) t[2][2] = MISSING;
        for (int measure = 1; measure <= 29; measure++)
            for (int dir = 1; dir <= 2; dir++)
                for (int post = 0; post <= 2; post++) {
                    const int m = dir == 1 ? 6 : 5;
                    Square r(m, 7.0);
                    if (measure == 5 && dir == 2) continue;  // units only
                    int status = ResemblanceLib(6, 5, t.x, r.x, dir, measure, post, types, 1, 1, 1, false);
                    // Mahalanobis refuses the singular covariance of too few entities.
                    if (measure == 29 && status == reseRefused) continue;
                    EXPECT_EQ(status, post == 2 ? status : reseComputed) << "measure " << measure;
                    EXPECT_NE(status, reseRefused) << "measure " << measure;
                    EXPECT_TRUE(Symmetric(m, r.x))
                        << "measure " << measure << " direction " << dir << " post " << post << " missing " << missing;
                }
    }
}

// ---------------------------------------------------------------------------
// ResemblanceLibTriplets
// ---------------------------------------------------------------------------

TEST(ResemblanceLibTriplets, ExclusiveOrCarriesOneBitOfThreeWayInformation) {
    // X and Y independent and uniform, Z = X xor Y: every pair is independent
    // and the triplet holds H(XY) + H(XZ) + H(YZ) - H(X) - H(Y) - H(Z) - H(XYZ)
    // = 3 ln 4 - 3 ln 2 - ln 4 = ln 2.
    Table t{{0, 0, 0}, {0, 1, 1}, {1, 0, 1}, {1, 1, 0}};
    double*** r3 = dim3DT<double>(3, 3, 3);
    ASSERT_EQ(ResemblanceLibTriplets(4, 3, t.x, r3, 2, 7, nullptr, 1.0, false), 1);
    const int order[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (auto& o : order) EXPECT_NEAR(r3[o[0]][o[1]][o[2]], kLn2, 1e-12);
    // Any other measure computes nothing.
    r3[0][1][2] = 5.0;
    EXPECT_EQ(ResemblanceLibTriplets(4, 3, t.x, r3, 2, 8, nullptr, 1.0, false), 0);
    EXPECT_EQ(r3[0][1][2], 5.0);
    free3DT(r3, 3, 3);
}

// ---------------------------------------------------------------------------
// DataTransformationsLib
// ---------------------------------------------------------------------------

using Vec = std::vector<double>;
using Grid = std::vector<Vec>;

Grid GridOf(const Table& t) {
    Grid g(t.rows, Vec(t.cols));
    for (int i = 0; i < t.rows; i++)
        for (int j = 0; j < t.cols; j++) g[i][j] = t[i][j];
    return g;
}

// A vector rule applied to every column (byRows false) or row.
Grid Applied(const Grid& t, bool byRows, const std::function<Vec(const Vec&)>& rule) {
    const int rows = static_cast<int>(t.size()), cols = static_cast<int>(t[0].size());
    Grid r(rows, Vec(cols));
    const int count = byRows ? rows : cols, len = byRows ? cols : rows;
    for (int v = 0; v < count; v++) {
        Vec x(len);
        for (int k = 0; k < len; k++) x[k] = byRows ? t[v][k] : t[k][v];
        Vec y = rule(x);
        for (int k = 0; k < len; k++) (byRows ? r[v][k] : r[k][v]) = y[k];
    }
    return r;
}

double Sum(const Vec& x) {
    double s = 0;
    for (double v : x) s += v;
    return s;
}

Vec Centred(const Vec& x) {
    Vec y(x);
    const double m = Sum(x) / x.size();
    for (double& v : y) v -= m;
    return y;
}

Vec Normalised(const Vec& x) {
    double q = 0;
    for (double v : x) q += v * v;
    Vec y(x);
    for (double& v : y) v /= q > 0 ? std::sqrt(q) : 1.0;  // a zero divisor becomes 1
    return y;
}

void ExpectNear(const Grid& a, const Grid& b, const char* what) {
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < a[i].size(); j++) EXPECT_NEAR(a[i][j], b[i][j], 1e-12) << what << " at " << i << "," << j;
}

// Transformed copy of the abundance table.
Grid Transformed(int scalar, int col, int row, const int* groups = nullptr, bool formD = false) {
    Table t = Abundances();
    if (formD)
        DataTransformationsLib_D(4, 3, t.x, scalar, col, row, 3, 3);
    else if (groups)
        DataTransformationsLib(4, 3, t.x, scalar, col, row, 3, 3, 0, true, false, groups);
    else
        DataTransformationsLib(4, 3, t.x, scalar, col, row, 3, 3, 0, true, false);
    return GridOf(t);
}

TEST(DataTransformationsLib, ScalarOptionsCellByCell) {
    Table t{{-2, 0, 3, -999}, {0.5, 8, -999, 99}};
    DataTransformationsLib(2, 4, t.x, 1, 0, 0, 0, 0, 0, true, false);
    Table a{{-2, 0, 1, -999}, {1, 1, -999, 1}};
    ExpectNear(GridOf(t), GridOf(a), "presence/absence");

    Table u{{-4, 0, 9, -999}};
    DataTransformationsLib(1, 4, u.x, 2, 0, 0, 0, 0, 0, true, false);
    Table b{{2, 0, 3, -999}};
    ExpectNear(GridOf(u), GridOf(b), "square root");

    Table w{{-4, 0, 9, -999}};
    DataTransformationsLib(1, 4, w.x, 3, 0, 0, 0, 0, 0, true, false);
    Table c{{-4, 0, 1, -999}};
    ExpectNear(GridOf(w), GridOf(c), "log10(x + 1)");
}

TEST(DataTransformationsLib, EveryVectorOptionWithinVariablesAndWithinUnits) {
    const Grid t = GridOf(Abundances());
    const double sqrt3 = std::sqrt(3.0);
    struct Case {
        int option;
        std::function<Vec(const Vec&)> rule;
    };
    const std::vector<Case> both = {
        {1, [](const Vec& x) { Vec y(x); double s = Sum(x); for (double& v : y) v /= s; return y; }},
        {3, Centred},
        {4, Normalised},
        {5, [](const Vec& x) { return Normalised(Centred(x)); }},
        {9, [](const Vec& x) {  // ranks, ties averaged, counted by brute force
             Vec y(x.size());
             for (size_t i = 0; i < x.size(); i++) {
                 double below = 0, equal = 0;
                 for (double v : x) below += v < x[i], equal += v == x[i];
                 y[i] = below + (equal + 1) / 2;
             }
             return y;
         }},
        {10, [](const Vec& x) { Vec y(x); double s = Sum(x); for (double& v : y) v = std::sqrt(v / s); return y; }},
    };
    for (const Case& c : both) {
        ExpectNear(Transformed(0, c.option, 0), Applied(t, false, c.rule), "within variables");
        ExpectNear(Transformed(0, 0, c.option), Applied(t, true, c.rule), "within units");
    }
    // Centring and division by sqrt(N - 1): columns have 4 values, rows 3.
    ExpectNear(Transformed(0, 2, 0),
                     Applied(t, false, [&](const Vec& x) { Vec y = Centred(x); for (double& v : y) v /= sqrt3; return y; }),
                     "column covariance scaling");
    ExpectNear(Transformed(0, 0, 2),
                     Applied(t, true, [](const Vec& x) { Vec y = Centred(x); for (double& v : y) v /= std::sqrt(2.0); return y; }),
                     "row covariance scaling");
    // Range: columns (x - min) / range; rows x / range.
    // The fourth unit is constant: its zero range divides as 1.
    auto range = [](const Vec& x) {
        double r = *std::max_element(x.begin(), x.end()) - *std::min_element(x.begin(), x.end());
        return r == 0 ? 1.0 : r;
    };
    ExpectNear(Transformed(0, 7, 0), Applied(t, false, [&](const Vec& x) {
                         Vec y(x); double lo = *std::min_element(x.begin(), x.end());
                         for (double& v : y) v = (v - lo) / range(x);
                         return y; }), "column range");
    ExpectNear(Transformed(0, 0, 7), Applied(t, true, [&](const Vec& x) {
                         Vec y(x); for (double& v : y) v /= range(x); return y; }), "row range");
    // Three classes of equal width: class 1 at the minimum, else
    // ceil((x - min) 3 / range).
    auto classes = [&](const Vec& x) {
        Vec y(x); double lo = *std::min_element(x.begin(), x.end());
        for (double& v : y) v = v == lo ? 1.0 : std::ceil((v - lo) * 3 / range(x));
        return y;
    };
    ExpectNear(Transformed(0, 8, 0), Applied(t, false, classes), "column classes");
    ExpectNear(Transformed(0, 0, 8), Applied(t, true, classes), "row classes");
}

TEST(DataTransformationsLib, DeviationsFromExpectationsAndFromGroupMeans) {
    const Grid t = GridOf(Abundances());
    // (x T - r c) / (sqrt(r c) T), margins of the table: the cells whose
    // squares sum to chi-square / T.
    double rs[4] = {5, 5, 6, 6}, cs[3] = {6, 9, 7}, T = 22;
    Grid e(4, Vec(3));
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 3; j++) e[i][j] = (t[i][j] * T - rs[i] * cs[j]) / (std::sqrt(rs[i] * cs[j]) * T);
    ExpectNear(Transformed(0, 0, 6), e, "row option 6");
    ExpectNear(Transformed(0, 6, 0, nullptr, true), e, "column option 6 of the generator's form");
    ExpectNear(Transformed(0, 6, 0), t, "column option 6 elsewhere");
    ExpectNear(Transformed(0, 0, 11, nullptr, true), t, "Beals smoothing is not in the generator's form");

    // Group labels 10 and 20: units 1, 4 and units 2, 3.
    const int groups[4] = {10, 20, 20, 10};
    Grid g(4, Vec(3));
    for (int j = 0; j < 3; j++) {
        double m1 = (t[0][j] + t[3][j]) / 2, m2 = (t[1][j] + t[2][j]) / 2;
        g[0][j] = t[0][j] - m1, g[3][j] = t[3][j] - m1, g[1][j] = t[1][j] - m2, g[2][j] = t[2][j] - m2;
    }
    ExpectNear(Transformed(0, 12, 0, groups), g, "group means with the group vector");
    ExpectNear(Transformed(0, 12, 0), t, "group means without the group vector");
}

TEST(DataTransformationsLib, ScalarThenColumnsThenRows) {
    const Grid t = GridOf(Abundances());
    Grid expected = Applied(t, false, [](const Vec& x) { Vec y(x); for (double& v : y) v = v > 0 ? 1 : v; return Centred(y); });
    Grid both = Applied(expected, true, [](const Vec& x) { Vec y(x); double s = Sum(x); for (double& v : y) v /= (s == 0 ? 1 : s); return y; });
    ExpectNear(Transformed(1, 3, 1), both, "presence, centred variables, unit-sum units");
}

TEST(DataTransformationsLib, BealsSmoothingOfPresencesWithTheTargetIncluded) {
    // Type 0, target included, rows of the conditional matrix not scaled:
    // M[a][b] = joint occurrences of a and b / occurrences of a, M[a][a] = 1,
    // smoothed[i][b] = sum over a of (x_ia / row total) M[a][b].
    Table t{{1, 1, 0}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
    Table x{{1, 1, 0}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
    DataTransformationsLib(4, 3, t.x, 0, 0, 11, 0, 0, 0, true, false);
    for (int i = 0; i < 4; i++)
        for (int b = 0; b < 3; b++) {
            double total = x[i][0] + x[i][1] + x[i][2], s = 0;
            for (int a = 0; a < 3; a++) {
                double occ = 0, joint = 0;
                for (int k = 0; k < 4; k++) occ += x[k][a], joint += x[k][a] * x[k][b];
                s += x[i][a] / total * (a == b ? 1.0 : joint / occ);
            }
            EXPECT_NEAR(t[i][b], s, 1e-12) << i << "," << b;
        }
    // Each of the 3 taxa occurs in 3 units and each pair in 2: a unit with two
    // taxa gets 1/2 (1 + 2/3) for them and 2/3 for the third.
    EXPECT_NEAR(t[0][0], 5.0 / 6.0, 1e-12);
    EXPECT_NEAR(t[0][2], 2.0 / 3.0, 1e-12);
}

// ---------------------------------------------------------------------------
// OrdinationLib_D
// ---------------------------------------------------------------------------

// Eigenvalues of a symmetric 2 x 2 matrix [[a, b], [b, d]], larger first.
std::pair<double, double> Eigen2(double a, double b, double d) {
    const double m = (a + d) / 2, r = std::sqrt((a - d) * (a - d) / 4 + b * b);
    return {m + r, m - r};
}

// Five units on two variables: the centred scatter matrix is 2 x 2, so the
// eigenvalues of the n x n centred cross-product are known in closed form.
Table Points() { return Table{{0, 0}, {4, 1}, {1, 3}, {5, 5}, {2, -1}}; }

std::pair<double, double> ScatterEigenvalues(const Table& t) {
    double m0 = 0, m1 = 0;
    for (int i = 0; i < t.rows; i++) m0 += t[i][0] / t.rows, m1 += t[i][1] / t.rows;
    double a = 0, b = 0, d = 0;
    for (int i = 0; i < t.rows; i++) {
        a += (t[i][0] - m0) * (t[i][0] - m0);
        b += (t[i][0] - m0) * (t[i][1] - m1);
        d += (t[i][1] - m1) * (t[i][1] - m1);
    }
    return Eigen2(a, b, d);
}

struct Ordination {
    int n, axes = -1, status = 99;
    bool ok = false;
    Square evectors, scores;
    std::vector<double> eig;
    Ordination(int n_, int scoreCols) : n(n_), evectors(n_), scores(n_ > scoreCols ? n_ : scoreCols), eig(n_, 12345.0) {}
    void Run(int p, double** data, double** rese, int type, int measure, int direction) {
        status = OrdinationLib_D(n, p, data, rese, evectors.x, scores.x, &axes, eig.data(), &ok, type,
                                 measure, direction);
    }
};

TEST(OrdinationLib, PrincipalCoordinatesOfEuclideanDistances) {
    Table t = Points();
    Square d(5);
    ResemblanceLib(5, 2, t.x, d.x, 1, 3, nullptr, 1, 0, 0, false);
    Ordination o(5, 5);
    o.Run(2, t.x, d.x, 1, 3, 1);
    ASSERT_EQ(o.status, ordinationDone);
    EXPECT_TRUE(o.ok);
    auto e = ScatterEigenvalues(t);
    ASSERT_EQ(o.axes, 2);
    EXPECT_NEAR(o.eig[0], e.first, 1e-9);
    EXPECT_NEAR(o.eig[1], e.second, 1e-9);
    for (int k = 2; k < 5; k++) EXPECT_NEAR(o.eig[k], 0.0, 1e-9);
    // The coordinates reproduce the distances, and each axis has the length
    // of the square root of its eigenvalue.
    for (int i = 0; i < 5; i++)
        for (int j = 0; j < 5; j++) {
            double s = 0;
            for (int k = 0; k < 2; k++) s += (o.scores[k][i] - o.scores[k][j]) * (o.scores[k][i] - o.scores[k][j]);
            EXPECT_NEAR(std::sqrt(s), d[i][j], 1e-9);
        }
    for (int k = 0; k < 2; k++) {
        double q = 0;
        for (int i = 0; i < 5; i++) q += o.scores[k][i] * o.scores[k][i];
        EXPECT_NEAR(q, o.eig[k], 1e-9);
    }
    // Only the axes kept have scores.
    for (int i = 0; i < 5; i++) EXPECT_EQ(o.scores[2][i], 12345.0);
}

TEST(OrdinationLib, PrincipalCoordinatesOfCrossProductsAreThoseOfTheDistances) {
    // From the product moment s, s_ii + s_jj - 2 s_ij is the squared distance.
    Table t = Points();
    Square s(5);
    ResemblanceLib(5, 2, t.x, s.x, 1, 1, nullptr, 1, 0, 0, false);
    Ordination o(5, 5);
    o.Run(2, t.x, s.x, 1, 1, 1);
    auto e = ScatterEigenvalues(t);
    ASSERT_EQ(o.axes, 2);
    EXPECT_NEAR(o.eig[0], e.first, 1e-9);
    EXPECT_NEAR(o.eig[1], e.second, 1e-9);
}

TEST(OrdinationLib, NonEuclideanDissimilaritiesAreFlagged) {
    // d(1,3) = 10 > d(1,2) + d(2,3): the centred matrix has a large negative
    // eigenvalue. Its eigenvalues sum to its trace, the mean of the squared
    // dissimilarities over all ordered pairs divided by 2 ... here computed
    // directly: trace = sum over i of -0.5 (0 - 2 rowmean_i + grandmean).
    Table dd{{0, 1, 10}, {1, 0, 1}, {10, 1, 0}};
    Table none(1, 1);
    Ordination o(3, 3);
    o.Run(0, none.x, dd.x, 1, 3, 1);
    EXPECT_FALSE(o.ok);
    double rowMean[3], grand = 0;
    for (int i = 0; i < 3; i++) {
        rowMean[i] = 0;
        for (int j = 0; j < 3; j++) rowMean[i] += dd[i][j] * dd[i][j] / 3;
        grand += rowMean[i] / 3;
    }
    double trace = 0;
    for (int i = 0; i < 3; i++) trace += -0.5 * (-2 * rowMean[i] + grand);
    EXPECT_NEAR(o.eig[0] + o.eig[1] + o.eig[2], trace, 1e-9);
    EXPECT_LT(o.eig[2], -1.0);
    EXPECT_EQ(o.axes, 1);  // only the positive eigenvalues count
}

// Without eigenvectors the eigen analysis gives the eigenvalues, the axes
// and the flag of the full one, principal coordinates of a non-Euclidean
// matrix included.
TEST(OrdinationLib, EigenvaluesAloneAgreeWithTheFullAnalysis) {
    Table t = Points();
    Table nonEuclidean{{0, 1, 10}, {1, 0, 1}, {10, 1, 0}};
    Square d(5), huge(5);
    ResemblanceLib(5, 2, t.x, d.x, 1, 3, nullptr, 1, 0, 0, false);
    // Entries far beyond the square root of the largest double are scaled
    // down for the analysis and its values scaled back, by both routes alike.
    for (int i = 0; i < 5; i++)
        for (int j = 0; j < 5; j++) huge[i][j] = d[i][j] * 1e100;
    for (auto [rese, n] : {std::make_pair(d.x, 5), std::make_pair(nonEuclidean.x, 3), std::make_pair(huge.x, 5)})
        for (int type : {1, 2}) {
            Ordination full(n, 5);
            full.Run(0, t.x, rese, type, 3, 1);
            std::vector<double> eig(n, 12345.0);
            int axes = -1;
            bool ok = !full.ok;
            EXPECT_EQ(OrdinationLib_Eigen(n, rese, nullptr, &axes, eig.data(), &ok, type, 3), full.status);
            EXPECT_EQ(axes, full.axes);
            EXPECT_EQ(ok, full.ok);
            for (int k = 0; k < n; k++) EXPECT_EQ(eig[k], full.eig[k]) << k;
        }
}

// Distances whose squares overflow leave principal coordinates without a
// number to analyse: refused as undefined values, rather than axes of
// infinities.
TEST(OrdinationLib, SquaresBeyondTheLargestDoubleGiveNoAxes) {
    Table t = Points();
    Square d(5);
    ResemblanceLib(5, 2, t.x, d.x, 1, 3, nullptr, 1, 0, 0, false);
    for (int i = 0; i < 5; i++)
        for (int j = 0; j < 5; j++) d[i][j] *= 1e200;
    Ordination o(5, 5);
    o.Run(0, t.x, d.x, 1, 3, 1);
    EXPECT_EQ(o.status, ordinationUndefinedValues);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.axes, 0);
    for (int k = 0; k < 5; k++) EXPECT_TRUE(std::isnan(o.eig[k])) << k;
}

// An ordination computes the eigenvectors of its axes alone. Against the
// complete analysis of the same matrix (every vector, another LAPACK
// route): the same eigenvalues, the same vectors of the kept axes, rows of
// the other axes 0; a matrix of huge or tiny entries gives the same axes
// with its values scaled, not overflow or underflow.
TEST(OrdinationLib, EigenvectorsOfTheKeptAxesAreThoseOfTheCompleteAnalysis) {
    const int n = 40, p = 6;
    std::mt19937 g(7);
    std::uniform_real_distribution<double> u(0, 10);
    Table t(n, p);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) t[i][j] = u(g);
    Square d(n), cross(n);
    ResemblanceLib(n, p, t.x, d.x, 1, 3, nullptr, 1, 0, 0, false);
    ResemblanceLib(n, p, t.x, cross.x, 1, 1, nullptr, 1, 0, 0, false);
    for (auto [rese, type, scale] : {std::make_tuple(d.x, 1, 1.0), std::make_tuple(cross.x, 2, 1.0),
                                     std::make_tuple(cross.x, 2, 1e200), std::make_tuple(cross.x, 2, 1e-200)}) {
        SCOPED_TRACE("type " + std::to_string(type) + " scale " + std::to_string(scale));
        Square matrix(n), analysed(n), complete(n);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) matrix[i][j] = rese[i][j] * scale;
        Ordination o(n, n);
        o.Run(p, t.x, matrix.x, type, type == 1 ? 3 : 1, 1);
        ASSERT_EQ(o.status, ordinationDone);
        // The complete analysis of the matrix the ordination analyses, at the
        // scale of the unscaled matrix.
        OrdinationMatrix(n, rese, analysed.x, type, type == 1 ? 3 : 1);
        std::vector<double> eig(n);
        ASSERT_EQ(EigenHouseholderQL_GSL_D(n, analysed.x, complete.x, eig.data()), 1);
        ASSERT_EQ(o.axes, p) << "a table of p variables spans p axes";
        for (int k = 0; k < n; k++) EXPECT_NEAR(o.eig[k] / scale, eig[k], 1e-10 * eig[0]) << k;
        for (int k = 0; k < o.axes; k++)
            for (int i = 0; i < n; i++) EXPECT_NEAR(o.evectors[k][i], complete[k][i], 1e-9) << k << " " << i;
        for (int k = o.axes; k < n; k++)
            for (int i = 0; i < n; i++) EXPECT_EQ(o.evectors[k][i], 0.0) << k << " " << i;
    }
}

// Tables with a few values of 1e150 among ordinary ones give matrices whose
// entries span some 300 orders of magnitude, on which LAPACK's MRRR method
// reports a failure: the ordination still ends with the eigen pairs of the
// matrix it analyses (the dune table with every 19th value 1e150, principal
// coordinates of Euclidean distances; every 37th, principal components of
// the correlations between the species).
TEST(OrdinationLib, ExtremeValuesStillGiveTheEigenPairs) {
    const lsref::Matrix dune = lsref::Dune();
    ASSERT_EQ(dune.size(), 20u);
    for (auto [every, type, measure, direction] : {std::make_tuple(19, 1, 3, 1), std::make_tuple(37, 2, 17, 2)}) {
        SCOPED_TRACE("every " + std::to_string(every) + "th value");
        Table t(20, 30);
        for (int i = 0, k = 1; i < 20; i++)
            for (int j = 0; j < 30; j++, k++) t[i][j] = k % every == 0 ? 1e150 : dune[i][j];
        const int n = direction == 1 ? 20 : 30;
        Square rese(n), analysed(n);
        ASSERT_EQ(ResemblanceLib(20, 30, t.x, rese.x, direction, measure, nullptr, 1, 0, 0, false), reseComputed);
        OrdinationMatrix(n, rese.x, analysed.x, type, measure);
        Ordination o(n, 30);
        o.Run(direction == 1 ? 30 : 20, t.x, rese.x, type, measure, direction);
        ASSERT_EQ(o.status, ordinationDone);
        ASSERT_GT(o.axes, 0);
        double largest = 0;
        for (int k = 0; k < n; k++) {
            ASSERT_TRUE(std::isfinite(o.eig[k])) << k;
            largest = std::max(largest, std::fabs(o.eig[k]));
        }
        for (int k = 0; k < o.axes; k++) {
            double residual = 0;
            for (int i = 0; i < n; i++) {
                double av = 0;
                for (int j = 0; j < n; j++) av += analysed[i][j] * o.evectors[k][j];
                residual = std::max(residual, std::fabs(av - o.eig[k] * o.evectors[k][i]));
            }
            EXPECT_LE(residual, 1e-12 * largest) << "axis " << k;
            for (int l = 0; l <= k; l++) {
                double dot = 0;
                for (int i = 0; i < n; i++) dot += o.evectors[k][i] * o.evectors[l][i];
                EXPECT_NEAR(dot, k == l ? 1.0 : 0.0, 1e-12) << k << " " << l;
            }
        }
    }
}

// A finite matrix whose largest eigenvalue or singular value is beyond the
// largest double has nothing to give: refused by every route, its outputs
// NaN, instead of infinite eigenvalues taken as an ordination without axes.
TEST(OrdinationLib, EigenvaluesBeyondTheLargestDoubleAreRefused) {
    Square big(3, 0.9 * std::numeric_limits<double>::max()), vectors(3), V(3);
    std::vector<double> values(3);
    EXPECT_EQ(EigenHouseholderQL_GSL_D(3, big.x, vectors.x, values.data()), 0);
    EXPECT_EQ(SingValueDecomp(3, 3, big.x, vectors.x, values.data(), V.x), 0);
    Table units(5, 3);
    Ordination o(3, 5);
    o.Run(5, units.x, big.x, 2, 22, 2);
    EXPECT_EQ(o.status, ordinationFailed);
    EXPECT_EQ(o.axes, 0);
    for (int k = 0; k < 3; k++) EXPECT_TRUE(std::isnan(o.eig[k])) << k;
    // With the vectors asked over the matrix, the slower route still reads
    // the matrix.
    EXPECT_EQ(EigenHouseholderQL_GSL_D(3, big.x, big.x, values.data()), 0);
    for (int k = 0; k < 3; k++) EXPECT_TRUE(std::isnan(values[k])) << k;
}

TEST(OrdinationLib, RefusalsAndEmptyOrdinations) {
    Table t = Points();
    Square r(5, 1.0);
    r[1][3] = r[3][1] = MISSING;
    Ordination o(5, 5);
    o.Run(2, t.x, r.x, 1, 24, 1);
    EXPECT_EQ(o.status, ordinationUndefinedValues);
    EXPECT_EQ(o.axes, 0);
    EXPECT_FALSE(o.ok);
    r[1][3] = r[3][1] = std::nan("");
    o.Run(2, t.x, r.x, 1, 3, 1);
    EXPECT_EQ(o.status, ordinationUndefinedValues);

    Square zero(5, 0.0);
    o.Run(2, t.x, zero.x, 4, 3, 1);
    EXPECT_EQ(o.status, ordinationUnknownType);
    EXPECT_EQ(o.axes, 0);

    // Identical units: every distance 0, every eigenvalue 0, no axis and no score.
    Ordination z(5, 5);
    z.Run(2, t.x, zero.x, 1, 3, 1);
    EXPECT_EQ(z.status, ordinationDone);
    EXPECT_EQ(z.axes, 0);
    for (int i = 0; i < 5; i++) EXPECT_EQ(z.scores[0][i], 12345.0);
    EXPECT_EQ(OrdinationLib_Scores(5, 2, t.x, zero.x, z.scores.x, 1, 3, 1), 0);
}

// A table of 6 units by 3 variables for the components.
Table Components() { return Table{{2, 1, 7}, {4, 3, 5}, {1, 0, 8}, {6, 6, 2}, {3, 1, 3}, {5, 4, 4}}; }

TEST(OrdinationLib, PrincipalComponentsOfCovariancesAndCorrelations) {
    Table t = Components();
    for (int measure : {22, 17}) {
        Square r(3);
        ResemblanceLib(6, 3, t.x, r.x, 2, measure, nullptr, 1, 0, 0, false);
        Ordination o(3, 6);
        o.Run(6, t.x, r.x, 2, measure, 2);
        ASSERT_EQ(o.status, ordinationDone);
        ASSERT_EQ(o.axes, 3);
        // The eigenvalues add up to the total variance (3 for correlations).
        double trace = 0;
        for (int j = 0; j < 3; j++) {
            Vec c = Column(t, j);
            double m = Sum(c) / 6, v = 0;
            for (double x : c) v += (x - m) * (x - m) / 5;
            trace += measure == 22 ? v : 1.0;
        }
        EXPECT_NEAR(o.eig[0] + o.eig[1] + o.eig[2], trace, 1e-9) << "measure " << measure;
        // Each eigenvalue is the variance of its component: the scores of the
        // six units are centred and their sum of squares is the eigenvalue
        // (the table was scaled by sqrt(N - 1) or to unit length first).
        for (int k = 0; k < 3; k++) {
            double s = 0, q = 0;
            for (int u = 0; u < 6; u++) s += o.scores[k][u], q += o.scores[k][u] * o.scores[k][u];
            EXPECT_NEAR(s, 0.0, 1e-9);
            EXPECT_NEAR(q, o.eig[k], 1e-9) << "measure " << measure << " axis " << k;
        }
        // Component scores of different axes are uncorrelated.
        double c01 = 0;
        for (int u = 0; u < 6; u++) c01 += o.scores[0][u] * o.scores[1][u];
        EXPECT_NEAR(c01, 0.0, 1e-9);
    }
}

TEST(OrdinationLib, PrincipalComponentsOfTwoVariablesInClosedForm) {
    Table t = Points();
    Square c(2);
    ResemblanceLib(5, 2, t.x, c.x, 2, 22, nullptr, 1, 0, 0, false);
    Ordination o(2, 5);
    o.Run(5, t.x, c.x, 2, 22, 2);
    auto e = ScatterEigenvalues(t);  // the scatter matrix is 4 covariance matrices
    EXPECT_NEAR(o.eig[0], e.first / 4, 1e-12);
    EXPECT_NEAR(o.eig[1], e.second / 4, 1e-12);
    // Unit eigenvectors, the first along the larger spread.
    for (int k = 0; k < 2; k++)
        EXPECT_NEAR(o.evectors[k][0] * o.evectors[k][0] + o.evectors[k][1] * o.evectors[k][1], 1.0, 1e-12);
    EXPECT_NEAR(c[0][0] * o.evectors[0][0] + c[0][1] * o.evectors[0][1], o.eig[0] * o.evectors[0][0], 1e-12);
}

TEST(OrdinationLib, CorrespondenceAnalysisOfAContingencyTable) {
    // Inertia = chi-square / N, from the table's own margins.
    Table x{{10, 4, 2}, {3, 8, 5}, {1, 2, 9}, {6, 6, 4}};
    const int n = 4, p = 3;
    double r[4] = {0, 0, 0, 0}, c[3] = {0, 0, 0}, N = 0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) r[i] += x[i][j], c[j] += x[i][j], N += x[i][j];
    double chi2 = 0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) {
            double e = r[i] * c[j] / N;
            chi2 += (x[i][j] - e) * (x[i][j] - e) / e;
        }
    for (int direction : {1, 2}) {
        Table z{{10, 4, 2}, {3, 8, 5}, {1, 2, 9}, {6, 6, 4}};
        DataTransformationsLib(n, p, z.x, 0, 0, 6, 0, 0, 0, true, false);
        const int m = direction == 1 ? n : p, other = direction == 1 ? p : n;
        Square rese(m);
        ResemblanceLib(n, p, z.x, rese.x, direction, 1, nullptr, 1, 0, 0, false);
        Ordination o(m, other);
        // The untransformed table as stored, units by variables, either way.
        o.Run(other, x.x, rese.x, 3, 1, direction);
        ASSERT_EQ(o.status, ordinationDone);
        double total = 0;
        for (int k = 0; k < m; k++) total += o.eig[k];
        EXPECT_NEAR(total, chi2 / N, 1e-12) << "direction " << direction;
        ASSERT_EQ(o.axes, 2);  // a 4 x 3 table has two dimensions
        // Standard coordinates: weighted by the margins they are centred and
        // of unit variance, for the rows (rescaled eigenvectors) and the
        // columns (scores) alike.
        const double* wRows = direction == 1 ? r : c;
        const double* wCols = direction == 1 ? c : r;
        for (int k = 0; k < 2; k++) {
            double s = 0, q = 0;
            for (int i = 0; i < m; i++) s += wRows[i] / N * o.evectors[k][i], q += wRows[i] / N * o.evectors[k][i] * o.evectors[k][i];
            EXPECT_NEAR(s, 0.0, 1e-9);
            EXPECT_NEAR(q, 1.0, 1e-9);
            s = q = 0;
            for (int j = 0; j < other; j++) s += wCols[j] / N * o.scores[k][j], q += wCols[j] / N * o.scores[k][j] * o.scores[k][j];
            EXPECT_NEAR(s, 0.0, 1e-9);
            EXPECT_NEAR(q, 1.0, 1e-9);
        }
    }
}

}  // namespace
