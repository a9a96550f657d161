// The analysis dispatchers: resemblance by option number, data
// transformations, and ordination, against values computed here another way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "matrix_util.h"
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

double Pearson(const std::vector<double>& a, const std::vector<double>& b) {
    const double n = static_cast<double>(a.size());
    double ma = 0, mb = 0;
    for (size_t k = 0; k < a.size(); k++) ma += a[k] / n, mb += b[k] / n;
    double sab = 0, saa = 0, sbb = 0;
    for (size_t k = 0; k < a.size(); k++) {
        sab += (a[k] - ma) * (b[k] - mb);
        saa += (a[k] - ma) * (a[k] - ma);
        sbb += (b[k] - mb) * (b[k] - mb);
    }
    return sab / std::sqrt(saa * sbb);
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
    for (int measure = 1; measure <= 29; measure++)
        for (int dir = 1; dir <= 2; dir++) {
            const int m = dir == 1 ? 6 : 5;
            Square r(m, 0.0);
            if (measure == 5 && dir == 2) continue;  // units only
            int status = ResemblanceLib(6, 5, t.x, r.x, dir, measure, 0, types, 1, 1, 1, false);
            // Mahalanobis refuses the singular covariance of too few entities.
            if (measure == 29 && status == reseRefused) continue;
            EXPECT_EQ(status, reseComputed) << "measure " << measure;
            EXPECT_TRUE(Symmetric(m, r.x)) << "measure " << measure << " direction " << dir;
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

}  // namespace
