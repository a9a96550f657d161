// The permutation tests of ordination axes: statistics worked by hand, the
// published RVDIM test of the dune species, and both tests rebuilt here on a
// private generator that replays the draw rule, with eigenvalues by Jacobi
// rotations instead of the library's eigen routine.
#include <gtest/gtest.h>
#include <gsl/gsl_rng.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "driver_fixture.h"
#include "linear_models_reference.h"
#include "matrix_util.h"
#include "reference_eigen.h"
#include "rhlibDim.h"
#include "rhlib_M.h"
#include "stream_util.h"

namespace {

using Vec = std::vector<double>;
using Rows = std::vector<Vec>;
using testmat::Table;

void Fill(Table& t, const Rows& x) {
    for (int i = 0; i < t.rows; i++)
        for (int j = 0; j < t.cols; j++) t[i][j] = x[i][j];
}

Vec JacobiEigenvalues(const Rows& a) { return refeig::Jacobi(a).values; }

// Cross-products of the columns of x; with `correlations` the columns are
// centred and scaled to unit length first.
Rows ColumnProducts(Rows x, bool correlations) {
    const size_t n = x.size(), p = x[0].size();
    if (correlations)
        for (size_t j = 0; j < p; j++) {
            double m = 0, q = 0;
            for (size_t i = 0; i < n; i++) m += x[i][j] / n;
            for (size_t i = 0; i < n; i++) q += (x[i][j] - m) * (x[i][j] - m);
            for (size_t i = 0; i < n; i++) x[i][j] = q > 0 ? (x[i][j] - m) / std::sqrt(q) : 0.0;
        }
    Rows c(p, Vec(p, 0.0));
    for (size_t a = 0; a < p; a++)
        for (size_t b = 0; b < p; b++)
            for (size_t i = 0; i < n; i++) c[a][b] += x[i][a] * x[i][b];
    return c;
}

// The eigenvalues of an ordination's axes: those above 1e-6 per cent of the
// total of the positive ones.
Vec Axes(const Vec& eig) {
    double total = 0;
    for (double v : eig)
        if (v > 0) total += v;
    Vec kept;
    for (double v : eig)
        if (total > 0 && 100 * v / total > 1e-6) kept.push_back(v);
    return kept;
}

// The tie rule of the tests: as large, or equal in single precision within
// one unit in the last place.
bool AsLarge(double random, double observed) {
    const float a = static_cast<float>(random), b = static_cast<float>(observed);
    return random > observed || a == b || std::nextafter(a, b) == b;
}

// The draw rule on a private generator: a permutation of 1..n is the
// identity with position i swapped with i + U(n - i), i = 0..n-2.
struct Replay {
    gsl_rng* g;
    explicit Replay(unsigned seed) : g(gsl_rng_alloc(gsl_rng_mt19937)) { gsl_rng_set(g, seed); }
    ~Replay() { gsl_rng_free(g); }
    // Each column of x permuted apart, columns in order.
    Rows PermuteColumns(const Rows& x) {
        const int n = static_cast<int>(x.size());
        Rows y = x;
        std::vector<int> l(n);
        for (size_t j = 0; j < x[0].size(); j++) {
            for (int i = 0; i < n; i++) l[i] = i;
            for (int i = 0; i + 1 < n; i++) std::swap(l[i], l[i + gsl_rng_uniform_int(g, n - i)]);
            for (int i = 0; i < n; i++) y[i][j] = x[l[i]][j];
        }
        return y;
    }
};

Rows Noise(int n, int p, unsigned seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> z;
    Rows x(n, Vec(p));
    for (auto& row : x)
        for (double& v : row) v = z(gen);
    return x;
}

// Principal components of the correlations between the variables of x, as
// key O makes them: variable weights in the eigenvector rows, unit scores
// in the score rows.
struct Components {
    int n, p, axes = 0;
    Table R, weights, scores;
    Vec eig;
    explicit Components(Table& x) : n(x.rows), p(x.cols), R(p, p), weights(p, p), scores(p, n), eig(p) {
        ResemblanceLib(n, p, x.x, R.x, 2, 17, nullptr, 1, 0, 0, false);
        bool ok;
        OrdinationLib_D(p, n, x.x, R.x, weights.x, scores.x, &axes, eig.data(), &ok, 2, 17, 2);
    }
};

// A folder of its own for the reports, and no progress line.
class AxisTests : public DriverTest {
protected:
    QuietProgress quiet_;
};

// ---------------------------------------------------------------------------

// With N = 1 nothing is drawn: every P is 1 and the statistics are those of
// the eigenvalues 4, 2, 1, 1: RVDIM 4 / sqrt(22), 2 / sqrt(6), 1 / sqrt(2),
// 1, and pseudo-F 4 / 3, 2 / 1, and 0 for the last two, whose ratio has
// nothing or one eigenvalue left to divide by. The dumps are appended.
TEST_F(AxisTests, OnePermutationGivesPOfOneAndTheStatisticsOfTheEigenvalues) {
    Table x = {{1, 2, 0, 4}, {3, 1, 2, 2}, {0, 5, 1, 1}, {2, 2, 4, 0}, {1, 0, 3, 5}};
    Table weights = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    Table scores = {{1, -1, 0, 0, 0}, {0, 1, -1, 0, 0}, {0, 0, 1, -1, 0}, {0, 0, 0, 1, -1}};
    const Vec eig = {4, 2, 1, 1};
    FILE* f = fopen("Vidive.txt", "w");
    fputs("earlier report\n", f);
    fclose(f);

    Vec rv(4, -1), P(4, -1);
    RVDIMPermutation_D(5, 4, 4, 1, x.x, weights.x, scores.x, eig.data(), 2, 0, 0, 0, 2, 17, nullptr, 1, 0, false,
                       rv.data(), P.data(), 'y', 6);
    const Vec expected = {4 / std::sqrt(22.0), 2 / std::sqrt(6.0), 1 / std::sqrt(2.0), 1};
    for (int d = 0; d < 4; d++) {
        EXPECT_NEAR(rv[d], expected[d], 1e-15) << d;
        EXPECT_EQ(P[d], 1.0) << d;
    }
    Vec Peig(4, -1), PF(4, -1), below(4, -1);
    EigenPermutation_D(5, 4, 4, 5, 4, 1, x.x, nullptr, eig.data(), 2, 0, 0, 0, 0, 0, 2, 17, nullptr, 1, 0, false,
                       Peig.data(), PF.data(), below.data(), 'y', 6);
    for (int a = 0; a < 4; a++) {
        EXPECT_EQ(Peig[a], 1.0) << a;
        EXPECT_EQ(PF[a], 1.0) << a;
        // No random eigenvalue: the average is 0, and each axis is above it.
        EXPECT_EQ(below[a], 0.0) << a;
    }

    const std::string report = Slurp("Vidive.txt");
    EXPECT_EQ(report.rfind("earlier report\n", 0), 0u);
    EXPECT_NE(report.find("\nObserved RVDIM in the data (axes 1 to 4):\t0.852803\t0.816497\t0.707107\t1\t"),
              std::string::npos);
    EXPECT_NE(report.find("(specified number = 1 permutations):\nAxis 1:\t1\nAxis 2:\t1\nAxis 3:\t1\nAxis 4:\t1\n"),
              std::string::npos);
    EXPECT_NE(report.find("(Kresh 2008)\n0.852803\t0.816497\t0.707107\t1\t\n1\t1\t1\t1\t\n"), std::string::npos);
    EXPECT_NE(report.find("\nObserved pseudo-F ratio in the data (axes 1 to 4):\t1.33333\t2\t0\t0\t"), std::string::npos);
    EXPECT_NE(report.find("Results:\n1.33333\t2\t0\t0\t\n1\t1\t1\t1\t\n"), std::string::npos);
    EXPECT_EQ(Count(report, "RANDOMIZATION TEST: Final results\n"), 2);
}

// The observed statistics of the dune species (principal components of the
// correlations between species) are ade4's testdim values, and each P lies
// within Monte Carlo error of its P from 9,999 permutations.
TEST_F(AxisTests, RvdimOfTheDuneSpeciesAgreesWithThePublishedTest) {
    const Rows dune = lsref::Dune();
    ASSERT_EQ(dune.size(), 20u);
    Table x(20, 30);
    Fill(x, dune);
    Components c(x);
    ASSERT_EQ(c.axes, 19);
    const int N = 1000;
    // The long run is left to the optimised build.
#if defined(__SANITIZE_ADDRESS__)
    const int runs = 1;
#else
    const int runs = N;
#endif
    Vec rv(19), P(19);
    InitRndNumberGenerator(20240611);
    RVDIMPermutation_D(20, 30, 19, runs, x.x, c.weights.x, c.scores.x, c.eig.data(), 2, 0, 0, 0, 2, 17, nullptr, 1,
                       0, false, rv.data(), P.data(), 'n', 6);
    const std::vector<std::pair<int, double>> observed = {{0, 0.6730858}, {1, 0.6467327}, {2, 0.6031642},
                                                          {3, 0.5624702}, {4, 0.5503178}, {17, 0.9010372},
                                                          {18, 1.0}};
    for (auto& o : observed) EXPECT_NEAR(rv[o.first], o.second, 6e-8) << "axis " << o.first + 1;
    if (runs < N) GTEST_SKIP() << "the 1,000 permutations run in the optimised build";
    const Vec reference = {0.0001, 0.002,  0.0165, 0.1443, 0.2924, 0.45,   0.406,  0.2066, 0.0865, 0.4705,
                           0.1787, 0.0312, 0.0155, 0.0003, 0.1963, 0.0002, 0.0001, 0.0001, 0.0001};
    for (int d = 0; d < 19; d++) {
        const double q = reference[d];
        EXPECT_NEAR(P[d], q, 4 * std::sqrt(q * (1 - q) / N) + 0.001) << "axis " << d + 1;
    }
}

// The RVDIM test rebuilt: residual tables from the same layers, columns
// permuted in the order of the draws, the first eigenvalue of their
// cross-products against the root of the sum of their squares. Comparing
// units (n x n cross-products) or variables (p x p) gives the same
// non-zero eigenvalues, hence the same P.
TEST_F(AxisTests, RvdimFollowsTheDrawRuleInEitherDirection) {
    const int n = 9, p = 4, N = 40;
    const Rows data = Noise(n, p, 7);
    Table x(n, p);
    Fill(x, data);
    Components c(x);
    const int K = c.axes;
    ASSERT_EQ(K, 4);

    const unsigned seed = 99;
    Replay replay(seed);
    std::vector<Rows> residual(K, Rows(n, Vec(p, 0.0)));
    for (int d = 0; d < K; d++)
        for (int k = d; k < K; k++)
            for (int i = 0; i < n; i++)
                for (int j = 0; j < p; j++) residual[d][i][j] += c.scores[k][i] * c.weights[k][j];
    Vec observed(K), count(K, 1.0);
    for (int d = 0; d < K; d++) {
        double q = 0;
        for (int k = d; k < K; k++) q += c.eig[k] * c.eig[k];
        observed[d] = c.eig[d] / std::sqrt(q);
    }
    for (int i = 2; i <= N; i++)
        for (int d = 0; d < K; d++) {
            const Vec e = Axes(JacobiEigenvalues(ColumnProducts(replay.PermuteColumns(residual[d]), false)));
            double q = 0;
            for (double v : e) q += v * v;
            if (AsLarge(e[0] / std::sqrt(q), observed[d])) count[d] += 1;
        }

    for (int dir : {2, 1}) {
        SCOPED_TRACE("direction " + std::to_string(dir));
        Vec rv(K), P(K);
        InitRndNumberGenerator(seed);
        RVDIMPermutation_D(n, p, K, N, x.x, c.weights.x, c.scores.x, c.eig.data(), 2, 0, 0, 0, dir, 17, nullptr, 1, 0,
                           false, rv.data(), P.data(), 'n', 6);
        for (int d = 0; d < K; d++) {
            EXPECT_NEAR(rv[d], observed[d], 1e-12);
            EXPECT_DOUBLE_EQ(P[d], count[d] / N) << "axis " << d + 1;
        }
    }
}

// Each axis is tested on its own ordinations: an axis is counted whenever
// the ordination of its permuted residuals has an axis, whatever the number
// of axes of the other dimensions' ordinations. Here the last residual
// table lives in one variable (one axis once permuted) while the others
// have three.
TEST_F(AxisTests, RvdimCountsEachAxisOnItsOwnOrdinations) {
    Table x = {{1, 2, 3}, {2, 0, 1}, {0, 1, 4}, {3, 3, 0}, {1, 4, 2}, {2, 1, 1}};
    Table weights = {{0.8, 0.6, 0}, {-0.6, 0.8, 0}, {0, 0, 1}};
    Table scores = {{2, -1, 0.5, -2, 1, -0.5}, {1, 1, -2, 0.5, -1, 0.5}, {-1, 0.5, 1, -0.5, 0, 0}};
    const Vec eig = {3, 2, 1};
    Vec rv(3), P(3);
    InitRndNumberGenerator(5);
    RVDIMPermutation_D(6, 3, 3, 20, x.x, weights.x, scores.x, eig.data(), 2, 0, 0, 0, 2, 1, nullptr, 1, 0, false,
                       rv.data(), P.data(), 'y', 6);
    const std::string report = Slurp("Vidive.txt");
    EXPECT_NE(report.find("(specified number = 20 permutations):\nAxis 1:\t20\nAxis 2:\t20\nAxis 3:\t20\n"),
              std::string::npos)
        << report.substr(report.find("Number of effective"));
    // One permuted axis has an RVDIM of 1, as large as the observed last one.
    EXPECT_EQ(P[2], 1.0);
}

// The eigenvalue test rebuilt: columns permuted in the order of the draws,
// correlations, Jacobi eigenvalues, counts by the tie rule over the axes of
// each random ordination. The average random eigenvalue divides N - 1 sums
// by N (with N = 2, a single random eigenvalue is halved). The permuted
// tables of a few presences have fewer axes now and then: a ratio left
// from a table with more axes must not be counted.
TEST_F(AxisTests, EigenvalueTestFollowsTheDrawRule) {
    // One presence per species: a permuted table has one axis fewer than
    // the number of units its species occupy.
    Rows presences(6, Vec(8, 0.0));
    for (int j = 0; j < 8; j++) presences[j % 6][j] = 1.0;
    struct Case {
        const char* name;
        Rows data;
        int N;
    };
    const Case cases[] = {{"noise", Noise(30, 6, 3), 200}, {"noise", Noise(30, 6, 3), 2}, {"presences", presences, 300}};
    auto pseudoF = [](const Vec& e, int k) {
        double s = 0;
        for (size_t i = k + 1; i + 1 < e.size(); i++) s += e[i];
        return s > 0 ? e[k] / s : 0.0;
    };
    bool halvedMatters = false, fewerAxes = false;
    for (const Case& t : cases) {
        SCOPED_TRACE(std::string(t.name) + ", N = " + std::to_string(t.N));
        const int n = static_cast<int>(t.data.size()), p = static_cast<int>(t.data[0].size()), N = t.N;
        Table x(n, p);
        Fill(x, t.data);
        Components c(x);
        const int K = c.axes;
        const Vec obs(c.eig.begin(), c.eig.begin() + K);
        const unsigned seed = 4242;
        Replay replay(seed);
        Vec Peig(K, 1.0), PF(K, 1.0), sum(K, 0.0), Fobs(K);
        for (int k = 0; k < K; k++) Fobs[k] = pseudoF(obs, k);
        for (int i = 2; i <= N; i++) {
            const Vec all = JacobiEigenvalues(ColumnProducts(replay.PermuteColumns(t.data), true));
            const Vec e = Axes(all);
            const int axes = static_cast<int>(e.size());
            fewerAxes |= axes < K;
            for (int k = 0; k < K; k++) sum[k] += all[k];
            for (int k = 0; k < std::min(K, axes); k++) {
                Peig[k] += AsLarge(e[k], obs[k]);
                PF[k] += AsLarge(pseudoF(e, k), Fobs[k]);
            }
        }
        Vec gotEig(K), gotF(K), below(K);
        InitRndNumberGenerator(seed);
        EigenPermutation_D(n, p, p, n, K, N, x.x, nullptr, c.eig.data(), 2, 0, 0, 0, 0, 0, 2, 17, nullptr, 1, 0, false,
                           gotEig.data(), gotF.data(), below.data(), 'n', 6);
        for (int k = 0; k < K; k++) {
            EXPECT_DOUBLE_EQ(gotEig[k], Peig[k] / N) << "axis " << k + 1;
            EXPECT_DOUBLE_EQ(gotF[k], PF[k] / N) << "axis " << k + 1;
            EXPECT_EQ(below[k], obs[k] > sum[k] / N ? 0.0 : 1.0) << "axis " << k + 1;
            if (N == 2 && obs[k] > sum[k] / 2 && obs[k] <= sum[k]) halvedMatters = true;
        }
    }
    EXPECT_TRUE(halvedMatters) << "no axis tells N from N - 1 in the average";
    EXPECT_TRUE(fewerAxes) << "no random table with fewer axes";
}

// One strong axis (a rank-one signal plus small noise): no permuted table
// reaches its eigenvalue or pseudo-F ratio, and it alone is above the
// average random eigenvalue.
TEST_F(AxisTests, EigenvalueTestFindsOneStrongAxis) {
    const int n = 30, p = 6, N = 100;
    std::mt19937 gen(11);
    std::normal_distribution<double> z;
    Rows data(n, Vec(p));
    for (auto& row : data) {
        const double f = z(gen);
        for (int j = 0; j < p; j++) row[j] = (1 + 0.2 * j) * f + 0.15 * z(gen);
    }
    Table x(n, p);
    Fill(x, data);
    Components c(x);
    Vec Peig(p), PF(p), below(p);
    InitRndNumberGenerator(1);
    EigenPermutation_D(n, p, p, n, p, N, x.x, nullptr, c.eig.data(), 2, 0, 0, 0, 0, 0, 2, 17, nullptr, 1, 0, false,
                       Peig.data(), PF.data(), below.data(), 'n', 6);
    EXPECT_DOUBLE_EQ(Peig[0], 0.01);
    EXPECT_DOUBLE_EQ(PF[0], 0.01);
    EXPECT_EQ(below[0], 0.0);
    for (int k = 1; k < p; k++) {
        EXPECT_EQ(Peig[k], 1.0) << k;
        EXPECT_EQ(below[k], 1.0) << k;
    }
}

// Classes within variables do not change under a permutation of the units,
// so classing each permuted table into 3 classes gives, seed for seed, the
// test of the table classed beforehand.
TEST_F(AxisTests, EigenvalueTestClassesEachRandomTableWithTheGivenCounts) {
    const int n = 25, p = 5, N = 60;
    const Rows data = Noise(n, p, 21);
    Table raw(n, p), classed(n, p);
    Fill(raw, data);
    Fill(classed, data);
    DataTransformationsLib_D(n, p, classed.x, 0, 8, 0, 3, 0);
    Components c(classed);
    Vec P1(p), F1(p), b1(p), P2(p), F2(p), b2(p);
    InitRndNumberGenerator(77);
    EigenPermutation_D(n, p, p, n, c.axes, N, raw.x, nullptr, c.eig.data(), 2, 0, 8, 0, 3, 7, 2, 17, nullptr, 1, 0,
                       false, P1.data(), F1.data(), b1.data(), 'n', 6);
    InitRndNumberGenerator(77);
    EigenPermutation_D(n, p, p, n, c.axes, N, classed.x, nullptr, c.eig.data(), 2, 0, 0, 0, 0, 0, 2, 17, nullptr, 1, 0,
                       false, P2.data(), F2.data(), b2.data(), 'n', 6);
    EXPECT_EQ(P1, P2);
    EXPECT_EQ(F1, F2);
    EXPECT_EQ(b1, b2);
    EXPECT_GT(P1[0], 1.5 / N);  // the random tables were ordinated and counted
}

}  // namespace
