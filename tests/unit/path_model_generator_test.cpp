// The path-model generator: the deviates and the path rule against their
// moments and regressions computed here, the RV and Rd nodes against the
// plain statistics, the calibration of the tests it runs, the levels rule
// and the lines it appends.
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iomanip>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "FtevlanGlob.h"
#include "PathModelGenerator_Tevlan.h"
#include "driver_fixture.h"
#include "matrix_util.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

namespace {

// A study of one test without permutations over p unlinked variables.
PathModelStudy Unlinked(int p, int n, int deviates) {
    PathModelStudy s;
    s.output = "study.txt";
    s.p = p;
    s.n = n;
    s.B.assign(static_cast<size_t>(p) * p, 0.0);
    s.levels.assign(p, 0);
    s.deviates = deviates;
    s.sizes.assign(p, 1);
    s.claims = {PathClaim{0, 1, {}}};
    return s;
}

// The chain x1 -> x2 -> x3 with paths of 1.5, as 0-based columns.
PathModelStudy Chain(int n, int criterion, std::vector<PathClaim> claims) {
    PathModelStudy s = Unlinked(3, n, kNormalDeviates);
    s.B[0 * 3 + 1] = s.B[1 * 3 + 2] = 1.5;
    s.levels = {0, 1, 2};
    s.criterion = criterion;
    s.claims = std::move(claims);
    return s;
}

// The tables saved in a study's output, one per data set.
std::vector<std::vector<std::vector<double>>> SavedTables(const std::string& text, int p) {
    std::vector<std::vector<std::vector<double>>> tables;
    const std::string heading = "(units in rows):\n";
    for (size_t at = text.find(heading); at != std::string::npos; at = text.find(heading, at + 1)) {
        std::istringstream lines(text.substr(at + heading.size()));
        std::vector<std::vector<double>> rows;
        std::string line;
        while (std::getline(lines, line) && !line.empty()) {
            std::istringstream fields(line);
            std::vector<double> row(p);
            for (double& x : row) fields >> x;
            rows.push_back(row);
        }
        tables.push_back(rows);
    }
    return tables;
}

double Mean(const std::vector<double>& x) {
    double s = 0.0;
    for (double v : x) s += v;
    return s / x.size();
}

// Central moment of order k.
double Moment(const std::vector<double>& x, int k) {
    const double m = Mean(x);
    double s = 0.0;
    for (double v : x) s += std::pow(v - m, k);
    return s / x.size();
}

double Covariance(const std::vector<double>& x, const std::vector<double>& y) {
    const double mx = Mean(x), my = Mean(y);
    double s = 0.0;
    for (size_t i = 0; i < x.size(); i++) s += (x[i] - mx) * (y[i] - my);
    return s / x.size();
}

class PathModelGeneratorTest : public DriverTest {};

// Each distribution's saved cells (2 x 2000, as printed) against the
// moments the distribution has: mean and variance within five standard
// errors, the errors estimated from the sample. The negative binomial takes
// one probability per variable, so its two columns differ.
TEST_F(PathModelGeneratorTest, DeviatesHaveTheirDistributionsMoments) {
    const double nan = std::nan("");
    const struct {
        int code;
        double probability[2];
        double mean[2], variance[2];  // NaN: not checked
    } cases[] = {
        {kUniformDeviates, {0, 0}, {0, 0}, {1.0 / 12, 1.0 / 12}},
        {kNormalDeviates, {0, 0}, {0, 0}, {1, 1}},
        {kNegativeBinomialDeviates, {0.5, 0.25}, {5, 15}, {10, 60}},
        {kLognormalDeviates, {0, 0}, {std::exp(0.5), std::exp(0.5)}, {nan, nan}},
        {kExponentialDeviates, {0, 0}, {1, 1}, {1, 1}},
        {kCubedExponentialDeviates, {0, 0}, {6, 6}, {nan, nan}},
    };
    QuietProgress quiet;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        PathModelStudy s = Unlinked(2, 2000, c.code);
        if (c.code == kNegativeBinomialDeviates) s.probabilities = {c.probability[0], c.probability[1]};
        s.saveDataSets = true;
        remove("study.txt");
        InitRndNumberGenerator(777);
        Run("", [&] { RunPathModelStudy(s, 777); });
        const auto tables = SavedTables(Slurp("study.txt"), 2);
        ASSERT_EQ(tables.size(), 1u);
        ASSERT_EQ(tables[0].size(), 2000u);
        for (int j = 0; j < 2; j++) {
            std::vector<double> x;
            for (const auto& row : tables[0]) x.push_back(row[j]);
            const double n = x.size(), var = Moment(x, 2);
            EXPECT_NEAR(Mean(x), c.mean[j], 5 * std::sqrt(var / n)) << "column " << j;
            if (!std::isnan(c.variance[j])) {
                EXPECT_NEAR(var, c.variance[j], 5 * std::sqrt((Moment(x, 4) - var * var) / n)) << "column " << j;
            }
        }
    }
}

// The chain 1 -> 2 -> 3 drawn in two column orders: the variables follow
// their levels, not their columns, and each keeps its own error term, so
// the regressions recover the paths and unit residual variances, and x1 and
// x3 are independent given x2.
TEST_F(PathModelGeneratorTest, PathRuleFollowsTheLevelsAndKeepsEachErrorTerm) {
    const struct {
        int column[3];  // the columns of x1, x2, x3
    } layouts[] = {{{0, 1, 2}}, {{2, 1, 0}}};
    for (const auto& l : layouts) {
        const int n = 2000, p = 3;
        std::vector<double> B(9, 0.0);
        std::vector<int> levels(3);
        for (int v = 0; v < 3; v++) levels[l.column[v]] = v;
        B[l.column[0] * p + l.column[1]] = 1.5;
        B[l.column[1] * p + l.column[2]] = 1.5;
        testmat::Table X(n, p);
        InitRndNumberGenerator(4242);
        DrawPathModelData(n, p, B.data(), levels.data(), kNormalDeviates, nullptr, X.x);
        std::vector<double> x1, x2, x3;
        for (int i = 0; i < n; i++) {
            x1.push_back(X[i][l.column[0]]);
            x2.push_back(X[i][l.column[1]]);
            x3.push_back(X[i][l.column[2]]);
        }
        const struct {
            const std::vector<double>& x;
            const std::vector<double>& y;
        } regressions[] = {{x1, x2}, {x2, x3}};
        for (const auto& g : regressions) {
            const double slope = Covariance(g.x, g.y) / Moment(g.x, 2);
            EXPECT_NEAR(slope, 1.5, 0.1);
            EXPECT_NEAR(Moment(g.y, 2) - slope * Covariance(g.x, g.y), 1.0, 0.1);
        }
        const double r12 = Covariance(x1, x2) / std::sqrt(Moment(x1, 2) * Moment(x2, 2));
        const double r23 = Covariance(x2, x3) / std::sqrt(Moment(x2, 2) * Moment(x3, 2));
        const double r13 = Covariance(x1, x3) / std::sqrt(Moment(x1, 2) * Moment(x3, 2));
        EXPECT_LT(std::fabs((r13 - r12 * r23) / std::sqrt((1 - r12 * r12) * (1 - r23 * r23))), 0.1);
    }
}

// RV and Rd nodes, observed and arranged, against the plain statistics of
// the (permuted) distance matrices; RV also against the RV of the tables.
TEST_F(PathModelGeneratorTest, CentredNodesAreTheRVAndRdOfThePermutedMatrices) {
    const int n = 9;
    const int sizes[3] = {2, 1, 3};
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 11);
    std::vector<testmat::Table*> tables, distances;
    std::vector<double**> matrices;
    std::vector<std::vector<int>> lists;
    for (int a = 0; a < 3; a++) {
        tables.push_back(new testmat::Table(n, sizes[a]));
        for (int i = 0; i < n; i++)
            for (int j = 0; j < sizes[a]; j++) (*tables[a])[i][j] = gsl_ran_gaussian(g, 1.0) + (j == 0 ? i : 0);
        distances.push_back(new testmat::Table(n, n));
        ResemblanceLib(n, sizes[a], tables[a]->x, distances[a]->x, 1, 3, 0, nullptr, 1, 1, 0, false);
        matrices.push_back(distances[a]->x);
        std::vector<int> list(n);
        RndList(n, list.data(), g);
        lists.push_back(list);
    }
    gsl_rng_free(g);
    const int* L[3] = {lists[0].data(), lists[1].data(), lists[2].data()};
    for (bool squared : {true, false}) {
        CentredResemblanceNodes nodes(n, matrices, squared);
        testmat::Table M(3, 3);
        const int* const* arrangements[2] = {nullptr, L};
        for (const int* const* arrangement : arrangements) {
            nodes.NodeMatrix(arrangement, M.x);
            for (int a = 0; a < 3; a++) {
                EXPECT_EQ(M[a][a], 1.0);
                for (int c = a + 1; c < 3; c++) {
                    testmat::Table Da(n, n), Dc(n, n), Ta(n, sizes[a]), Tc(n, sizes[c]);
                    for (int u = 0; u < n; u++) {
                        const int ua = arrangement ? L[a][u] - 1 : u, uc = arrangement ? L[c][u] - 1 : u;
                        for (int v = 0; v < n; v++) {
                            Da[u][v] = (*distances[a])[ua][arrangement ? L[a][v] - 1 : v];
                            Dc[u][v] = (*distances[c])[uc][arrangement ? L[c][v] - 1 : v];
                        }
                        for (int j = 0; j < sizes[a]; j++) Ta[u][j] = (*tables[a])[ua][j];
                        for (int j = 0; j < sizes[c]; j++) Tc[u][j] = (*tables[c])[uc][j];
                    }
                    EXPECT_NEAR(M[a][c], RdMatrixCorr(n, Da.x, Dc.x, squared), 1e-12);
                    if (squared) {
                        EXPECT_NEAR(M[a][c], RVcoeff(n, sizes[a], sizes[c], Ta.x, Tc.x), 1e-12);
                    }
                    EXPECT_EQ(M[c][a], M[a][c]);
                }
            }
        }
    }
    for (int a = 0; a < 3; a++) {
        delete tables[a];
        delete distances[a];
    }
}

// The chain, 50 units, 199 permutations of the first node, 100 tests: the
// true claim (1, 3 | 2) is found valid at 0.05 in most tests by Procrustes
// correlations (of single variables, the correlations' absolute values),
// the false claim (1, 3) in almost none by Mantel correlations. A generator
// in which x3 ignored x2 would fail both. (Distances are not the variables:
// partialling D2 out of D1 and D3 linearly leaves them related, and a
// partial Mantel test rejects the true claim in about a third of the tests.)
// The forced resemblance options are put back.
TEST_F(PathModelGeneratorTest, TrueClaimsPassAndFalseOnesFail) {
    QuietProgress quiet;
    optReseDir = 2;
    optReseTipo = 17;
    optPostReseTransf = 1;
    const struct {
        PathClaim claim;
        int criterion;
        int least, most;  // tests valid at 0.05
    } cases[] = {{PathClaim{0, 2, {1}}, kProcrustesCriterion, 85, 100}, {PathClaim{0, 2, {}}, kMantelCriterion, 0, 5}};
    for (const auto& c : cases) {
        PathModelStudy s = Chain(50, c.criterion, {c.claim});
        s.tests = 100;
        s.nPerm = 199;
        s.nullModel = kPermuteFirstNode;
        InitRndNumberGenerator(2017);
        PathModelTally tally;
        Run("", [&] { tally = RunPathModelStudy(s, 2017); });
        EXPECT_EQ(tally.defined, 100);
        EXPECT_GE(tally.counts[0], c.least);
        EXPECT_LE(tally.counts[0], c.most);
        for (int l = 1; l < kPathLevels; l++) EXPECT_LE(tally.counts[l], tally.counts[l - 1]);
        EXPECT_EQ(optReseDir, 2);
        EXPECT_EQ(optReseTipo, 17);
        EXPECT_EQ(optPostReseTransf, 1);
    }
}

// A test counts at the levels its Q exceeds; a Q equal to a level, also
// when it is a single claim's P = k/20 equal to that level taken through
// Fisher's C, does not; an undefined Q counts nowhere and is set apart.
TEST(PathModelTally, LevelsCountOnlyAQAboveThem) {
    struct Case {
        double Q;
        int defined, valid;  // levels counted: the first `valid` ones
    };
    std::vector<Case> cases = {
        {0.05, 1, 0}, {0.0500001, 1, 1}, {0.5, 1, 5}, {0.5000001, 1, 6}, {1.0, 1, 10}, {0.0, 1, 0}, {std::nan(""), 0, 0},
    };
    for (int l = 0; l < kPathLevels; l++) {
        const double P = std::round(kPathLevelValues[l] * 20) / 20;  // the count over 20 permutations
        double C = 0.0, Q = 0.0;
        FisherC(1, &P, &C, &Q);
        cases.push_back({Q, 1, l});
    }
    for (const auto& c : cases) {
        PathModelTally t;
        TallyTest(c.Q, t);
        EXPECT_EQ(t.defined, c.defined) << c.Q;
        EXPECT_EQ(t.undefined, 1 - c.defined) << c.Q;
        for (int l = 0; l < kPathLevels; l++)
            EXPECT_EQ(t.counts[l], l < c.valid ? 1 : 0) << std::setprecision(17) << c.Q << " level " << l;
    }
}

// Tests whose claim cannot be tested (its covariables perfectly
// correlated) are left out: no proportion is NaN, and the report says how
// many were left out. Each test's saved result names the correlation
// undefined, not a number.
TEST_F(PathModelGeneratorTest, UntestableDataSetsAreLeftOutOfTheProportions) {
    QuietProgress quiet;
    PathModelStudy s = Unlinked(4, 20, kNormalDeviates);
    s.B[2 * 4 + 3] = 1e12;  // x4 is x3 but for rounding
    s.levels = {0, 0, 0, 1};
    s.claims = {PathClaim{0, 1, {2, 3}}};
    s.tests = 3;
    s.saveDataSets = true;
    s.nPerm = 9;
    InitRndNumberGenerator(5);
    PathModelTally tally;
    Run("", [&] { tally = RunPathModelStudy(s, 5); });
    EXPECT_EQ(tally.defined, 0);
    EXPECT_EQ(tally.undefined, 3);
    const std::string report = Slurp("study.txt");
    EXPECT_NE(report.find("0.05 to 0.9:\tnot testable\tnot testable\t"), std::string::npos) << report;
    EXPECT_NE(report.find("\nTests left out of the proportions (a claim's observed partial correlation was not "
                          "finite):\t 3\nRandom number initializer: 5\n"),
              std::string::npos)
        << report;
    EXPECT_EQ(Count(report, "\nCorrelation r =\tundefined\tP-value =\tnot testable\tVariable block pair:\t1\t2\t"), 3)
        << report;
    EXPECT_EQ(Count(report, "\nFisher's C statistics (Granvik 2000):\tnot testable\tP-value chi-square distribution "
                            "with 2 degrees of freedom =\tnot testable\n"),
              3);
}

// A path of 1e308 overflows in the units whose source value exceeds about
// 1.8: those simulated sets hold infinities and are not tested, the others
// are, and the proportions count the tested ones alone.
TEST_F(PathModelGeneratorTest, DataSetsThatAreNotFiniteAreNotTested) {
    QuietProgress quiet;
    PathModelStudy s = Unlinked(3, 4, kNormalDeviates);
    s.B[0 * 3 + 1] = 1e308;
    s.levels = {0, 1, 0};
    s.claims = {PathClaim{0, 1, {}}};
    s.tests = 12;
    s.saveDataSets = true;
    s.nPerm = 9;
    InitRndNumberGenerator(3);
    PathModelTally tally;
    Run("", [&] { tally = RunPathModelStudy(s, 3); });
    const std::string report = Slurp("study.txt");
    int notFinite = 0;
    const std::string heading = "(units in rows):\n";
    for (size_t at = report.find(heading); at != std::string::npos; at = report.find(heading, at + 1)) {
        const char* c = report.c_str() + at + heading.size();
        bool finite = true;
        for (int k = 0; k < 4 * 3; k++) {
            char* end = nullptr;
            finite = std::isfinite(std::strtod(c, &end)) && finite;
            c = end;
        }
        notFinite += finite ? 0 : 1;
    }
    ASSERT_GT(notFinite, 0) << report;
    ASSERT_LT(notFinite, 12) << report;
    EXPECT_EQ(tally.notFinite, notFinite);
    EXPECT_EQ(tally.defined, 12 - notFinite);
    EXPECT_EQ(tally.undefined, 0);
    EXPECT_EQ(Count(report, "holds values that are not finite: it is not tested.\n"), notFinite);
    EXPECT_EQ(Count(report, "\nFisher's C statistics"), 12 - notFinite);
    EXPECT_NE(report.find("\nData sets left out of the proportions (simulated values not finite, not tested):\t " +
                          std::to_string(notFinite) + "\nRandom number initializer: 3\n"),
              std::string::npos)
        << report;
    // Each proportion is a count of the tested sets.
    const std::string levels = "0.05 to 0.9:\t";
    const size_t at = report.find(levels);
    ASSERT_NE(at, std::string::npos);
    std::istringstream line(report.substr(at + levels.size()));
    for (int l = 0; l < kPathLevels; l++) {
        double proportion = -1;
        line >> proportion;
        EXPECT_NEAR(proportion, static_cast<double>(tally.counts[l]) / tally.defined, 1e-6) << l;
    }
}

// The three line printers append their formats; a file that cannot be
// opened leaves the line out with fopenck's message and returns 0.
TEST_F(PathModelGeneratorTest, IntermediateLinesAreAppendedOrLeftOut) {
    EXPECT_EQ(PrintIntermediateResults_("lines.txt", 2, "P-value", 0.25), 1);
    EXPECT_EQ(Print2IntermediateResults_("lines.txt", 3, "RVDIM and p-value", 0.5, 0.01), 1);
    EXPECT_EQ(PrintAnyIntermediateMessage_("lines.txt", "\n"), 1);
    EXPECT_EQ(Slurp("lines.txt"), "P-value for axis 2:\t0.25\nRVDIM and p-value for axis 3:\t0.5\t0.01\n\n");
    std::filesystem::create_directory("folder");
    testing::internal::CaptureStderr();
    const int written = PrintIntermediateResults_("folder", 1, "x", 1.0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(written, 0);
    EXPECT_NE(said.find("can't open folder"), std::string::npos) << said;
}

}  // namespace
