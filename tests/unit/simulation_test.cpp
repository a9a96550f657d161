// Simulated tables with given correlations or eigenvalues.
#include <gtest/gtest.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "matrix_util.h"
#include "reference_stats.h"
#include "rhlib_M.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using testmat::Table;
using Vec = std::vector<double>;
using Vars = std::vector<Vec>;

namespace {

Vars Columns(const Table& X, int rows) {
    Vars c(X.cols, Vec(rows));
    for (int i = 0; i < rows; i++)
        for (int j = 0; j < X.cols; j++) c[j][i] = X[i][j];
    return c;
}
Vars Columns(const Table& X) { return Columns(X, X.rows); }
Vars Rows(const Table& X) {
    Vars r;
    for (int i = 0; i < X.rows; i++) r.emplace_back(X[i], X[i] + X.cols);
    return r;
}

double Dot(const Vec& a, const Vec& b) {
    double s = 0.0;
    for (size_t k = 0; k < a.size(); k++) s += a[k] * b[k];
    return s;
}

// Largest |correlation of variables i and j - R[i][j]|.
double CorrelationError(const Vars& v, const Table& R) {
    double worst = 0.0;
    for (size_t i = 0; i < v.size(); i++)
        for (size_t j = i + 1; j < v.size(); j++)
            worst = std::max(worst, std::fabs(Pearson(v[i], v[j]) - R[i][j]));
    return worst;
}

// Largest distance of a variable of x, relative to its length, from the span
// of the centred basis (Gram-Schmidt).
double OutsideSpan(const Vars& x, Vars basis) {
    auto remove = [](Vec& v, const Vars& q) {
        for (const Vec& e : q) {
            const double c = Dot(v, e);
            for (size_t k = 0; k < v.size(); k++) v[k] -= c * e[k];
        }
    };
    Vars q;
    for (Vec b : basis) {
        const double mean = std::accumulate(b.begin(), b.end(), 0.0) / b.size();
        for (double& v : b) v -= mean;
        remove(b, q);
        const double norm = std::sqrt(Dot(b, b));
        for (double& v : b) v /= norm;
        q.push_back(b);
    }
    double worst = 0.0;
    for (const Vec& v : x) {
        Vec rest = v;
        remove(rest, q);
        worst = std::max(worst, std::sqrt(Dot(rest, rest) / Dot(v, v)));
    }
    return worst;
}

// Deviates of `units` units of `vars` variables drawn unit by unit from a
// private generator seeded as r was, as variables.
Vars Replay(unsigned seed, int units, int vars, double (*draw)(gsl_rng*)) {
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, seed);
    Vars v(vars, Vec(units));
    for (int i = 0; i < units; i++)
        for (int j = 0; j < vars; j++) v[j][i] = draw(g);
    gsl_rng_free(g);
    return v;
}
double Uniform(gsl_rng* g) { return gsl_rng_uniform(g) - 0.5; }
double Gaussian(gsl_rng* g) { return gsl_ran_gaussian(g, 1.0); }

double Normal(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }

struct Identity : Table {
    explicit Identity(int p) : Table(p, p) {
        for (int i = 0; i < p; i++) x[i][i] = 1.0;
    }
};

const Table kTarget3{{1, .5, .2}, {.5, 1, .4}, {.2, .4, 1}};
// Diagonally dominant, hence positive definite.
const Table kTarget5{{1, .4, .2, -.1, .1},
                     {.4, 1, .3, .1, -.1},
                     {.2, .3, 1, .25, .15},
                     {-.1, .1, .25, 1, .4},
                     {.1, -.1, .15, .4, 1}};

}  // namespace

TEST(SimulationDeviates, EachCodeGivesItsDistributionUnitByUnit) {
    const struct {
        int code;
        double (*F)(double);
    } cases[] = {
        {1, [](double x) { return x + 0.5; }},
        {2, Normal},
        {3, Normal},  // an unknown code draws normal deviates here
        {5, [](double x) { return x > 0 ? Normal(std::log(x)) : 0.0; }},
        {7, [](double x) { return x > 0 ? 1 - std::exp(-x) : 0.0; }},
        {8, [](double x) { return x > 0 ? 1 - std::exp(-std::cbrt(x)) : 0.0; }},
    };
    const Identity I(2);
    Table X(10000, 2);
    for (const auto& c : cases) {
        InitRndNumberGenerator(34);
        CorrToData_New(X.rows, 2, I.x, X.x, c.code);
        Vars v = Columns(X);
        v[0].insert(v[0].end(), v[1].begin(), v[1].end());
        std::sort(v[0].begin(), v[0].end());
        const double n = v[0].size();
        double ks = 0.0;
        for (size_t i = 0; i < v[0].size(); i++)
            ks = std::max({ks, c.F(v[0][i]) - i / n, (i + 1) / n - c.F(v[0][i])});
        EXPECT_LT(ks, 1.95 / std::sqrt(n)) << c.code;
    }
    // With R = I the table holds the raw deviates, in the order drawn.
    InitRndNumberGenerator(34);
    CorrToData_New(X.rows, 2, I.x, X.x, 1);
    EXPECT_EQ(Columns(X), Replay(34, X.rows, 2, Uniform));
}

TEST(SimulationCorrToData, GivesExactlyTheTargetCorrelations) {
    Table X(200, 5), other(200, 5);
    for (int code : {1, 2}) {
        InitRndNumberGenerator(7);
        CorrToData(200, 5, kTarget5.x, X.x, code);
        EXPECT_LT(CorrelationError(Columns(X), kTarget5), 1e-12) << code;
        // Made of the deviates drawn unit by unit, uniform for every code but 2.
        EXPECT_LT(OutsideSpan(Columns(X), Replay(7, 200, 5, code == 2 ? Gaussian : Uniform)), 1e-12);
    }
    const Identity I(5);
    CorrToData(200, 5, I.x, X.x, 2);
    EXPECT_LT(CorrelationError(Columns(X), I), 1e-12);

    InitRndNumberGenerator(8);
    CorrToData(200, 5, kTarget5.x, X.x, 1);
    for (int code : {2, 3, 5, 7, 8}) {
        InitRndNumberGenerator(8);
        CorrToData(200, 5, kTarget5.x, other.x, code);
        EXPECT_EQ(Columns(other) == Columns(X), code != 2) << code;
    }
}

TEST(SimulationCorrelated, MeanCorrelationsApproachTheTarget) {
    const Identity I40(40);
    Table units(50, 3), wide(40, 3), tall(3, 40);
    const std::function<Vars()> samples[] = {
        [&] { return CorrToData_New(50, 3, kTarget3.x, units.x, 1), Columns(units); },
        [&] { return CorrToData_New(50, 3, kTarget3.x, units.x, 2), Columns(units); },
        [&] { return CorrToData_New(50, 3, kTarget3.x, units.x, 7), Columns(units); },
        // Rows and columns each take their own matrix.
        [&] { return CorrToData_BothRowsColumns(40, 3, kTarget3.x, I40.x, wide.x, 2), Columns(wide); },
        [&] { return CorrToData_BothRowsColumns(3, 40, I40.x, kTarget3.x, tall.x, 1), Rows(tall); },
    };
    InitRndNumberGenerator(9);
    for (const auto& sample : samples) {
        const int draws = 400;
        Table r(draws, 3);  // correlations of the pairs (0, 1), (0, 2), (1, 2)
        for (int t = 0; t < draws; t++) {
            const Vars v = sample();
            r[t][0] = Pearson(v[0], v[1]), r[t][1] = Pearson(v[0], v[2]), r[t][2] = Pearson(v[1], v[2]);
        }
        const double target[3] = {kTarget3[0][1], kTarget3[0][2], kTarget3[1][2]};
        for (int k = 0; k < 3; k++) {
            const Vec c = Columns(r)[k];
            const double mean = std::accumulate(c.begin(), c.end(), 0.0) / draws;
            const double se = std::sqrt((Dot(c, c) - draws * mean * mean) / (draws - 1) / draws);
            EXPECT_NEAR(mean, target[k], 4 * se);
        }
    }
}

TEST(SimulationEigenToData, MeetsTheTargetEigenvalues) {
    double targets[5] = {3.75, 1.25, 0, 0, 0}, eig[5];
    Table X(30, 5), pop(30, 5), corr(5, 5);
    InitRndNumberGenerator(3);
    EigenToData_D(30, 30, 5, 2, targets, X.x, eig, 1, pop.x, corr.x);
    const Vars v = Columns(X);
    double bias = 0.0, squares = 0.0;
    for (int i = 0; i < 5; i++) {
        bias += std::fabs(eig[i] - targets[i]);
        EXPECT_EQ(corr[i][i], 1.0);
        for (int j = 0; j < 5; j++) {
            const double c = i == j ? 1.0 : Pearson(v[i], v[j]);
            EXPECT_NEAR(corr[i][j], c, 1e-12);
            squares += c * c;
        }
    }
    EXPECT_LE(bias, 1e-3);
    // Without the eigen analysis: rank 2, trace 5 and a sum of squared
    // correlations of 3.75^2 + 1.25^2 leave the eigenvalues 3.75 and 1.25 only.
    EXPECT_LT(OutsideSpan(v, {v[0], v[1]}), 1e-10);
    EXPECT_NEAR(squares, 15.625, 1e-2);
    // The population is made of the deviates drawn unit by unit.
    EXPECT_LT(OutsideSpan(Columns(pop), Replay(3, 30, 5, Uniform)), 1e-10);

    Table sample(50, 5), big(200, 5);
    EigenToData_D(200, 50, 5, 2, targets, sample.x, eig, 2, big.x, corr.x);
    EXPECT_EQ(Columns(sample), Columns(big, 50));
}

TEST(SimulationEigenToData, NoiseIsAddedToThePopulationRows) {
    double targets[5] = {2.5, 1.5, 0.75, 0.25, 0}, eig[5];
    Table X(2000, 5), noisy(2000, 5), pop(2000, 5), corr(5, 5), evec(5, 5);
    InitRndNumberGenerator(5);
    EigenToData_D_Noise(2000, 2000, 5, 4, targets, X.x, eig, evec.x, 2, pop.x, corr.x, 0.0);
    EXPECT_EQ(Columns(X), Columns(pop));
    for (int k = 0; k < 5; k++)
        for (int l = 0; l < 5; l++) {
            double dot = 0.0, residual = 0.0;  // evec k . evec l; row l of (corr - eig k) evec k
            for (int j = 0; j < 5; j++) {
                dot += evec[k][j] * evec[l][j];
                residual += (corr[l][j] - (l == j ? eig[k] : 0.0)) * evec[k][j];
            }
            EXPECT_NEAR(dot, k == l ? 1.0 : 0.0, 1e-12);
            EXPECT_NEAR(residual, 0.0, 1e-12);
        }

    InitRndNumberGenerator(5);
    EigenToData_D_Noise(2000, 2000, 5, 4, targets, noisy.x, eig, evec.x, 2, pop.x, corr.x, 0.25);
    Vec d;
    for (int i = 0; i < 2000; i++)
        for (int j = 0; j < 5; j++) d.push_back(noisy[i][j] - X[i][j]);
    const double mean = std::accumulate(d.begin(), d.end(), 0.0) / d.size();
    EXPECT_NEAR((Dot(d, d) - d.size() * mean * mean) / (d.size() - 1), 0.25, 0.05 * 0.25);
}

TEST(SimulationEigenToData, TargetsThatCannotBeMetEndTheIteration) {
    // Six non-zero eigenvalues need at least seven units.
    double unreachable[6], eig[6];
    for (int k = 0; k < 6; k++) unreachable[k] = (6 - k) * 6 / 21.0;
    Table X(6, 6), corr(6, 6), evec(6, 6);
    for (const char* word : {"REDUCED", "INCREASED"}) {
        CaptureStdout();
        if (word[0] == 'R')
            EigenToData_D(6, 6, 6, 6, unreachable, X.x, eig, 1, nullptr, corr.x);
        else
            EigenToData_D_Noise(6, 6, 6, 6, unreachable, X.x, eig, evec.x, 1, nullptr, corr.x, 0.0);
        const std::string shown = GetCapturedStdout(), w = word;
        const std::string expected = "\n\nLack of convergence. Bias threshold " + w + " TO 0.0001\n" +
                                     "\n\nLack of convergence. Bias threshold " + w + " TO 0.001\n" +
                                     "\n\nLack of convergence. Iterations stopped with bias ";
        ASSERT_EQ(shown.substr(0, expected.size()), expected);
        EXPECT_GT(std::strtod(shown.c_str() + expected.size(), nullptr), 1e-3);
        EXPECT_EQ(shown.substr(shown.size() - 2), ".\n");
        EXPECT_TRUE(std::isfinite(X[5][5]));
    }
    // Targets that are no numbers, or have no root, stop it at once.
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -1.0}) {
        double targets[3] = {bad, 2, 1};
        CaptureStdout();
        EigenToData_D(6, 6, 3, 3, targets, X.x, eig, 1, nullptr, corr.x);
        EXPECT_NE(GetCapturedStdout().find("Iterations stopped with bias"), std::string::npos) << bad;
    }
}

TEST(SimulationDeathTest, TargetNotPositiveDefiniteEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const Table bad{{1, .8, .8}, {.8, 1, -.8}, {.8, -.8, 1}};  // x = (1, -1, -1): x'Rx < 0
    const Identity I(3);
    Table X(10, 3);
    const std::function<void()> calls[] = {
        [&] { CorrToData(10, 3, bad.x, X.x, 2); },
        [&] { CorrToData_New(10, 3, bad.x, X.x, 2); },
        [&] { CorrToData_BothRowsColumns(3, 3, bad.x, I.x, X.x, 2); },
        [&] { CorrToData_BothRowsColumns(3, 3, I.x, bad.x, X.x, 2); },
    };
    for (const auto& call : calls)
        EXPECT_EXIT((fflush(stdout), dup2(STDERR_FILENO, STDOUT_FILENO), call()),
                    testing::ExitedWithCode(1), "^\ncholdc failed$");
}

TEST(Simulation, SameSeedGivesTheSameTables) {
    double targets[4] = {2, 1.5, 0.5, 0}, eig[4];
    Table corr(4, 4), evec(4, 4);
    Identity R(20);  // its first 4 x 4 also serve as correlations of 4 variables
    R[0][1] = R[1][0] = 0.3;
    const std::function<void(Table&)> routines[] = {
        [&](Table& T) { CorrToData(20, 4, R.x, T.x, 2); },
        [&](Table& T) { CorrToData_New(20, 4, R.x, T.x, 5); },
        [&](Table& T) { EigenToData_D(30, 20, 4, 3, targets, T.x, eig, 7, nullptr, corr.x); },
        [&](Table& T) { EigenToData_D_Noise(20, 20, 4, 3, targets, T.x, eig, evec.x, 1, nullptr, corr.x, 1); },
        [&](Table& T) { CorrToData_BothRowsColumns(20, 4, R.x, R.x, T.x, 2); },
    };
    for (const auto& run : routines) {
        Table a(20, 4), b(20, 4), c(20, 4);
        InitRndNumberGenerator(11);
        run(a);
        InitRndNumberGenerator(11);
        run(b);
        run(c);
        EXPECT_EQ(Columns(a), Columns(b));
        EXPECT_NE(Columns(a), Columns(c));
    }
}
