// Partial correlations, communality and the expansion of nominal variables
// into binary ones, against values computed in R, least squares by QR, and
// tables worked by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <set>
#include <vector>

#include "linear_models_reference.h"
#include "matrix_util.h"
#include "reference_stats.h"
#include "rhlibDim.h"
#include "rhlib_M.h"
#include "rhlibRes_M.h"

namespace {

using lsref::Matrix;
using lsref::Vec;
using testmat::Table;

// The correlation matrix of the columns of m, with `diagonal` on its diagonal.
void CorrelationsOf(const Matrix& m, Table& R, double diagonal) {
    for (int a = 0; a < R.rows; a++)
        for (int b = 0; b < R.rows; b++)
            R[a][b] = a == b ? diagonal : Pearson(lsref::Column(m, a), lsref::Column(m, b));
}

// A table with one row per variable, from columns given as vectors.
void RowsOf(const std::vector<Vec>& variables, Table& X) {
    for (int v = 0; v < X.rows; v++)
        for (int u = 0; u < X.cols; u++) X[v][u] = variables[v][u];
}

TEST(PartialCorrelation, ValuesComputedInR) {
    const double inf = std::numeric_limits<double>::infinity();
    Table small{{1, .5, .3}, {.5, 1, .4}, {.3, .4, 1}};
    const Matrix env = lsref::DuneEnvironment();
    ASSERT_EQ(env.size(), 20u);
    Table R(4, 4);
    // The diagonal is never read: NaN there changes nothing.
    CorrelationsOf(env, R, std::nan(""));
    struct Case {
        double** r;
        int i, j;
        std::vector<int> given;
        double expected;
    } cases[] = {
        {small.x, 0, 1, {2}, 0.4346335603},
        {R.x, 0, 3, {1, 2}, -0.5141991532},  // Moisture, Manure | Management, Use
        {R.x, 0, 3, {2, 1}, -0.5141991532},
        {R.x, 0, 3, {2}, -0.3231333002},     // | Use
        {R.x, 3, 0, {2}, -0.3231333002},
    };
    for (Case& c : cases)
        EXPECT_NEAR(PartialCorrelation_GeneralProc(4, c.r, c.i, c.j, static_cast<int>(c.given.size()),
                                                   c.given.data()),
                    c.expected, 1e-9)
            << c.i << " " << c.j;

    // Order 0 is the entry itself, whatever the diagonal holds.
    small[0][0] = small[1][1] = 7;
    EXPECT_EQ(PartialCorrelation_GeneralProc(3, small.x, 0, 1, 0, nullptr), 0.5);

    // Failures give +inf, never NaN: a covariable listed twice, collinear
    // covariables, and a variable that its covariable explains wholly (a
    // conditional variance of 0).
    Table collinear{{1, .2, .3, .3}, {.2, 1, .1, .1}, {.3, .1, 1, 1}, {.3, .1, 1, 1}};
    Table explained{{1, .5, 1}, {.5, 1, .5}, {1, .5, 1}};
    std::vector<int> twice{1, 1}, pair{2, 3}, one{2};
    EXPECT_EQ(PartialCorrelation_GeneralProc(4, R.x, 0, 3, 2, twice.data()), inf);
    EXPECT_EQ(PartialCorrelation_GeneralProc(4, collinear.x, 0, 1, 2, pair.data()), inf);
    EXPECT_EQ(PartialCorrelation_GeneralProc(3, explained.x, 0, 1, 1, one.data()), inf);

    // Covariables collinear in the data, whose correlations come out of
    // rounding a few units off (a repeated indicator may correlate 1 + 1e-15
    // with its copy): the library's own correlations of random tables, with
    // an indicator twice, or with an indicator and its reverse.
    std::mt19937 g(1);
    std::uniform_int_distribution<int> level(0, 3), bit(0, 1);
    for (int t = 0; t < 400; t++) {
        const int n = 5 + t % 10;
        Table X(4, n), D(4, 4);
        for (int u = 0; u < n; u++) {
            X[0][u] = level(g);
            X[1][u] = level(g);
            X[2][u] = bit(g);
            X[3][u] = t % 2 ? X[2][u] : 1 - 0.3 * X[2][u];
        }
        CorrelationMV(4, n, X.x, D.x);
        if (std::fabs(D[2][3]) < 0.5) continue;  // a constant indicator correlates 0
        ASSERT_EQ(PartialCorrelation_GeneralProc(4, D.x, 0, 1, 2, pair.data()), inf) << t;
    }
}

// Orders on both sides of the largest one kept on the stack: the partial
// correlation is the correlation of the residuals of the two variables
// regressed on the covariables.
TEST(PartialCorrelation, HighOrdersEqualResidualCorrelations) {
    const int n = 60, p = 20;
    std::mt19937 g(3);
    std::normal_distribution<double> z;
    Matrix x(n, Vec(p));
    for (Vec& row : x) {
        for (double& v : row) v = z(g);
        for (int j = 1; j < p; j++) row[j] += 0.5 * row[j - 1];
    }
    Table R(p, p);
    CorrelationsOf(x, R, 1.0);
    for (int k : {15, 16, 17, 18}) {
        std::vector<int> given;
        for (int c = 2; c < 2 + k; c++) given.push_back(c);
        Matrix covariables(n, Vec(k));
        for (int u = 0; u < n; u++)
            for (int c = 0; c < k; c++) covariables[u][c] = x[u][given[c]];
        Vec residuals[2];
        for (int v = 0; v < 2; v++) {
            const lsref::Fit f = lsref::LeastSquares(covariables, lsref::Column(x, v));
            for (int u = 0; u < n; u++) residuals[v].push_back(x[u][v] - f.fitted[u]);
        }
        EXPECT_NEAR(PartialCorrelation_GeneralProc(p, R.x, 0, 1, k, given.data()),
                    Pearson(residuals[0], residuals[1]), 1e-10)
            << k;
    }
}

TEST(Communality, DuneEnvironmentAsInR) {
    const Matrix env = lsref::DuneEnvironment();
    std::vector<Vec> vars;
    for (size_t j = 0; j < 4; j++) vars.push_back(lsref::Column(env, j));
    const double expected[4] = {0.3703973951, 0.3737604345, 0.2924888529, 0.4700066879};

    Table X(4, 20);
    RowsOf(vars, X);
    std::vector<double> c(4);
    int kept = -1;
    EXPECT_TRUE(Communality(4, 20, X.x, c.data(), &kept));
    EXPECT_EQ(kept, 4);
    for (int v = 0; v < 4; v++) EXPECT_NEAR(c[v], expected[v], 1e-9) << v;

    // Manure - Moisture is positive in 7 plots only, the fewest: it is
    // dropped, and the others keep their values.
    Vec combination(20);
    for (int u = 0; u < 20; u++) combination[u] = vars[3][u] - vars[0][u];
    vars.push_back(combination);
    Table Y(5, 20);
    RowsOf(vars, Y);
    std::vector<double> d(5);
    Communality(5, 20, Y.x, d.data(), &kept);
    EXPECT_EQ(kept, 4);
    EXPECT_EQ(d[4], MISSING);
    for (int v = 0; v < 4; v++) EXPECT_NEAR(d[v], expected[v], 1e-9) << v;

    // Constant variables: not even one variance inverts.
    Table constant{{2, 2, 2, 2}, {0, 0, 0, 0}, {-1, -1, -1, -1}};
    std::vector<double> e(3, 0.5);
    Communality(3, 4, constant.x, e.data(), &kept);
    EXPECT_EQ(kept, 0);
    for (double v : e) EXPECT_EQ(v, MISSING);
}

// Designs of variables whose numbers of positive entries are all different,
// so that the order in which they are left out is known; some are affine
// combinations of others. The largest leading set without a whole dependent
// set is kept, and each kept variable's communality is the R^2 of its least
// squares fit on the other kept ones.
TEST(Communality, DependentVariablesAnywhereInTheRanking) {
    struct Design {
        int variables;
        // dependent variable -> the variables it combines (positions in the
        // ranking, most positive entries first)
        std::vector<std::pair<int, std::vector<int>>> dependent;
        int kept;
    } designs[] = {
        {9, {}, 9},
        {9, {{8, {0, 3}}}, 8},           // the rarest depends on common ones
        {9, {{2, {0, 1}}}, 2},           // an early one on the two before it
        {9, {{1, {4, 6}}}, 6},           // an early one on rarer ones
        {12, {{5, {0, 2}}, {9, {1}}}, 5},
        {12, {{3, {7, 8}}, {10, {0, 1, 2}}}, 8},
    };
    const int units = 40;
    std::mt19937 gen(20240611);
    std::normal_distribution<double> z(0.0, 1.0);
    for (const Design& d : designs) {
        const int p = d.variables;
        std::vector<Vec> base(p, Vec(units));
        for (auto& v : base)
            for (double& x : v) x = z(gen);
        for (const auto& dep : d.dependent) {
            Vec& v = base[dep.first];
            std::fill(v.begin(), v.end(), 0.0);
            double w = 1.0;
            for (int from : dep.second) {
                for (int u = 0; u < units; u++) v[u] += w * base[from][u];
                w = -0.5 * w - 0.7;
            }
        }
        // Variable r of the ranking gets exactly units - 1 - 2r positive
        // entries by a shift, which keeps every combination affine.
        std::vector<Vec> vars(p);
        for (int r = 0; r < p; r++) {
            Vec sorted = base[r];
            std::sort(sorted.begin(), sorted.end());
            const int positives = units - 1 - 2 * r;
            const double cut = (sorted[units - positives - 1] + sorted[units - positives]) / 2;
            vars[r] = base[r];
            for (double& x : vars[r]) x -= cut;
        }
        // Stored in a scrambled order: the ranking is the routine's to find.
        std::vector<int> position(p);
        for (int r = 0; r < p; r++) position[r] = (r * 5 + 3) % p;
        ASSERT_EQ(std::set<int>(position.begin(), position.end()).size(), static_cast<size_t>(p));
        Table X(p, units);
        for (int r = 0; r < p; r++)
            for (int u = 0; u < units; u++) X[position[r]][u] = vars[r][u];

        std::vector<double> c(p);
        int kept = -1;
        Communality(p, units, X.x, c.data(), &kept);
        ASSERT_EQ(kept, d.kept) << p;
        for (int r = 0; r < p; r++) {
            if (r >= d.kept) {
                EXPECT_EQ(c[position[r]], MISSING) << r;
                continue;
            }
            Matrix others(units);
            for (int u = 0; u < units; u++)
                for (int o = 0; o < d.kept; o++)
                    if (o != r) others[u].push_back(vars[o][u]);
            EXPECT_NEAR(c[position[r]], lsref::LeastSquares(others, vars[r]).r2, 1e-8) << p << " rank " << r;
        }
    }
}

TEST(Binarize, StatesAscendingMissingValuesAndCopiedColumns) {
    const double M = MISSING;
    // Column 0 nominal with codes 5, 0, 2 (2.7 truncates to 2, -0.5 to 0) and
    // a missing value; column 1 quantitative, copied; column 2 nominal with
    // a negative code; column 3 nominal without any value.
    Table X{{5, 1.5, -3, M}, {0, M, 1, M}, {2.7, 2.25, -3, M}, {M, 4, 1, M}, {-0.5, 0, 0, M}};
    bool expand[4] = {true, false, true, true};
    EXPECT_EQ(BinarizedColumns(5, 4, expand, X.x), 3 + 1 + 3 + 0);
    Table Y(5, 7);
    int** states = dim2DT<int>(4, 5);
    int nStates[4], newCols = -1;
    ASSERT_TRUE(Binarize(5, 4, expand, X.x, Y.x, &newCols, states, nStates));
    EXPECT_EQ(newCols, 7);
    EXPECT_EQ(std::vector<int>(nStates, nStates + 4), (std::vector<int>{3, 1, 3, 0}));
    EXPECT_EQ(std::vector<int>(states[0], states[0] + 3), (std::vector<int>{0, 2, 5}));
    EXPECT_EQ(std::vector<int>(states[2], states[2] + 3), (std::vector<int>{-3, 0, 1}));
    const double expected[5][7] = {{0, 0, 1, 1.5, 1, 0, 0},
                                   {1, 0, 0, M, 0, 0, 1},
                                   {0, 1, 0, 2.25, 1, 0, 0},
                                   {0, 0, 0, 4, 0, 0, 1},
                                   {1, 0, 0, 0, 0, 1, 0}};
    for (int i = 0; i < 5; i++)
        for (int j = 0; j < 7; j++) EXPECT_EQ(Y[i][j], expected[i][j]) << i << "," << j;

    // A code beyond the int range is refused before anything is written.
    Table big{{1}, {3e10}};
    Table untouched(2, 2);
    untouched[0][0] = 9;
    bool one[1] = {true};
    EXPECT_FALSE(Binarize(2, 1, one, big.x, untouched.x, &newCols, states, nStates));
    EXPECT_EQ(untouched[0][0], 9);
    free2DT(states, 4);
}

TEST(Binarize, DuneEnvironmentAllNominal) {
    const Matrix env = lsref::DuneEnvironment();
    Table X(20, 4), Y(20, 16);
    for (int i = 0; i < 20; i++)
        for (int j = 0; j < 4; j++) X[i][j] = env[i][j];
    bool expand[4] = {true, true, true, true};
    ASSERT_EQ(BinarizedColumns(20, 4, expand, X.x), 16);
    int** states = dim2DT<int>(4, 20);
    int nStates[4], newCols = 0;
    ASSERT_TRUE(Binarize(20, 4, expand, X.x, Y.x, &newCols, states, nStates));
    EXPECT_EQ(newCols, 16);
    EXPECT_EQ(std::vector<int>(nStates, nStates + 4), (std::vector<int>{4, 4, 3, 5}));
    EXPECT_EQ(std::vector<int>(states[0], states[0] + 4), (std::vector<int>{1, 2, 4, 5}));
    EXPECT_EQ(std::vector<int>(states[3], states[3] + 5), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(std::vector<double>(Y[0], Y[0] + 16),
              (std::vector<double>{1, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1}));
    // Every unit has exactly one state of each variable.
    for (int i = 0; i < 20; i++) EXPECT_EQ(std::accumulate(Y[i], Y[i] + 16, 0.0), 4.0) << i;
    free2DT(states, 4);
}

}  // namespace
