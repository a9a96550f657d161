// Rules that sit on a boundary (a threshold, a rounding, a tie), each tested
// at the boundary itself, where a slip of one comparison or one conversion
// changes the result.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "matrix_util.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"
#include "stream_util.h"

namespace {

using testmat::Square;
using testmat::Table;

TEST(Variance, ValuesFarFromZero) {
    // Deviations -0.1, 0, 0.1 around 1e8 + 0.2: a variance of 0.01 (the
    // values themselves are held to about 1e-8).
    const double x[] = {1e8 + 0.1, 1e8 + 0.2, 1e8 + 0.3};
    EXPECT_NEAR(Variance(3, x), 0.01, 1e-7);
    EXPECT_NEAR(SumOfSquaresDev(3, x), 0.02, 2e-7);
    double mean, sd;
    MeanStDev(3, x, mean, sd);
    EXPECT_NEAR(sd, 0.1, 1e-6);
    // Missing values between them change nothing.
    const double y[] = {MISSING, 1e8 + 0.1, MISSING, 1e8 + 0.2, 1e8 + 0.3};
    EXPECT_NEAR(Variance(5, y), 0.01, 1e-7);
    // Row and column sums of variances, on the same values.
    Table rows{{1e9 + 1, 1e9 + 2, 1e9 + 3}, {5, 5, 5}};
    EXPECT_NEAR(MatrixVarianceRows(2, 3, rows.x), 1.0, 1e-6);
    Table cols{{1e9 + 1, 5}, {1e9 + 2, 5}, {1e9 + 3, MISSING}};
    EXPECT_NEAR(MatrixVarianceCols(3, 2, cols.x), 1.0, 1e-6);
    // A constant vector has no deviation at all.
    const double c[] = {0.1, 0.1, 0.1};
    EXPECT_EQ(Variance(3, c), 0.0);
}

TEST(Bartlett, NegativeEigenvaluesCountAsTheirValuePlusTheTinyOne) {
    // Axes 2 and 3 of {4, 2, -0.5}: S = 2 + (-0.5 + 1e-10), L = ln 2 + ln 1e-10.
    const double eig[] = {4, 2, -0.5};
    const double s = 2 + (-0.5 + 1e-10);
    const double u = (12 - 17.0 / 6) * (2 * std::log(s / 2) - (std::log(2.0) + std::log(1e-10)));
    EXPECT_NEAR(Bartlett_u(3, 2, eig, 12, 3), u, 1e-9 * std::fabs(u));
    // Eigenvalues whose mean is not positive: the logarithm of the mean is
    // taken as 0.
    const double none[] = {0.0, -1.0};
    const double u0 = (12 - 15.0 / 6) * (0 - 2 * std::log(1e-10));
    EXPECT_NEAR(Bartlett_u(2, 1, none, 12, 2), u0, 1e-9 * u0);
}

TEST(Printers, ALineOfExactlyTheLimitIsNotBroken) {
    ASSERT_EQ(maxColsPrint, 10000);
    // Width 4, five characters per entry: after 2000 entries the counter is
    // exactly 10000, which does not exceed the limit; the break comes before
    // entry 2002.
    const int n = 2100;
    std::vector<double> x(n, 1234.0);
    std::string s = Printed([&](FILE* f) { PrintVector(f, n, x.data(), 4, 0, 0, nullptr); });
    EXPECT_EQ(s.find('\n'), static_cast<size_t>(2001 * 5));
    double** m = dim2DT<double>(1, n);
    for (int j = 0; j < n; j++) m[0][j] = 1234.0;
    s = Printed([&](FILE* f) { PrintMatrix(f, 1, n, m, 4, 0); });
    EXPECT_EQ(s.find('\n'), static_cast<size_t>(2001 * 5));
    EXPECT_EQ(s.substr(2001 * 5, 7), "\n    \t1");
    free2DT(m, 1);
}

TEST(OrdinationAxes, AnAxisCountsWhenItsShareExceedsAMillionthOfAPercent) {
    // Principal components of a diagonal covariance matrix: its eigenvalues
    // are the diagonal. Of a total of 1e8, 2 is 2e-6 per cent (an axis) and
    // 1 is exactly 1e-6 per cent (not an axis).
    Square cov(3, 0.0);
    cov[0][0] = 1e8 - 3;
    cov[1][1] = 2;
    cov[2][2] = 1;
    Table data(4, 3);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 3; j++) data[i][j] = i == j ? 1 : 0;
    Square evectors(4), scores(4);
    std::vector<double> eig(4, 0.0);
    int axes = -1;
    bool ok = false;
    ASSERT_EQ(OrdinationLib_D(3, 4, data.x, cov.x, evectors.x, scores.x, &axes, eig.data(), &ok, 2, 22, 2),
              ordinationDone);
    EXPECT_EQ(eig[1], 2.0);
    EXPECT_EQ(eig[2], 1.0);
    EXPECT_EQ(axes, 2);
}

TEST(CorrelationList, TiesKeepTheDescriptorOrder) {
    // Forty descriptors, every one correlated +1 or -1 with the axis except
    // descriptor 7 (0.5 in absolute value), listed 2 x nMaxDim = 40 at most.
    port = 0;
    eng = 1;
    Initialize();
    const int p = 40, n = 4;
    double** s = dim2DT<double>(1, n);
    double** d = dim2DT<double>(p, n);
    char** labels = dim2DT<char>(p, 30);
    for (int i = 0; i < n; i++) s[0][i] = i;
    for (int j = 0; j < p; j++) {
        for (int i = 0; i < n; i++) d[j][i] = (j % 3 == 0 ? -1.0 : 2.0) * i;
        snprintf(labels[j], 30, "d%d", j + 1);
    }
    // Descriptor 7 correlates less: r = 1/sqrt(15) with the axis 0, 1, 2, 3
    // (deviations -1.5, -.5, .5, 1.5 and .5, -1.5, .5, .5: 1 / sqrt(5 x 3)).
    const double weak[] = {1, -1, 1, 1};
    for (int i = 0; i < n; i++) d[6][i] = weak[i];
    const int savedAxes = nMaxDim;
    nMaxDim = 20;
    std::string text = Printed([&](FILE* f) { ScoreCorr(f, 1, n, s, d, p, "d", true, labels); });
    nMaxDim = savedAxes;
    std::string expected = "Original descriptors with the highest correlation coefficients:\nAxis 1:\t";
    for (int j = 0; j < p; j++) {
        if (j == 6) continue;
        expected += labels[j] + std::string(j % 3 == 0 ? ":-1\t" : ":1\t");
    }
    char last[32];
    snprintf(last, sizeof last, "d7:%g\t\n", 1 / std::sqrt(15.0));
    EXPECT_NE(text.find(expected + last), std::string::npos) << text;
    free2DT(s, 1);
    free2DT(d, p);
    free2DT(labels, p);
}

TEST(Measure19, ItsParameterIsHeldInSinglePrecision) {
    // Two units whose values differ by 0.1000000005: more than k = 0.1 as a
    // double, less than k as the float the measure holds (0.10000000149).
    Table x{{1.1000000005}, {1.0}};
    Square r(2);
    ASSERT_EQ(ResemblanceLib(2, 1, x.x, r.x, 1, 19, nullptr, 0.0, 0.1, 0, false), reseComputed);
    const double k = static_cast<float>(0.1), diff = 1.1000000005 - 1.0;
    const double expected = static_cast<float>(2 * (k + 1 - diff) / (2 * k + 2 + k * diff));
    EXPECT_EQ(r[0][1], expected);
    EXPECT_GT(r[0][1], 0.9);
}

}  // namespace
