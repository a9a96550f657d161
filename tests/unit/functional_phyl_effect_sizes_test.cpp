// Effect sizes and P values of the random values of a statistic.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "rhFunctionalPhyl.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(EffectSizes, MeanAndMedianBased) {
    // 1, 2, 3, 4: mean 2.5, standard deviation sqrt(5/3).
    EXPECT_NEAR(SES(5, 30, 10, 4), 2.5 / std::sqrt(5.0 / 3), 1e-12);
    EXPECT_NEAR(SES(5, 30, 10, 4), 1.936492, 1e-6);
    EXPECT_DOUBLE_EQ(SES_median(5, 3, 1, 4), 2);
    EXPECT_DOUBLE_EQ(SES_median(2, 3, 1, 4), -0.5);
    // No spread: the IEEE result, even where rounding leaves the sum of
    // squared deviations of equal values below 0.
    const double tenth = 0.1;
    EXPECT_EQ(SES(0.5, 3 * tenth * tenth, 3 * tenth, 3), kInf);
    EXPECT_EQ(SES(-5, 27, 9, 3), -kInf);
    EXPECT_TRUE(std::isnan(SES(3, 27, 9, 3)));
    EXPECT_EQ(SES_median(2, 3, 3, 4), -kInf);
    EXPECT_EQ(SES_median(4, 3, 1, 3), kInf);
    EXPECT_TRUE(std::isnan(SES_median(3, 3, 1, 3)));
}

TEST(Pvalue, TailsCountEveryRandomValue) {
    const double random[] = {3, 1, 2, 9};
    struct Case {
        double observed, median;
        int sided;
        double expected;
    } cases[] = {
        {2, 2.5, 1, 4.0 / 5},     // 3, 2 and 9 at or above 2
        {2, 2.5, -1, 3.0 / 5},    // 1 and 2 at or below
        {9.5, 2.5, 0, 2.0 / 5},   // none above: 2 x 1/5
        {2, 2.5, 0, 1.0},         // 2 x 3/5, capped
        {9, 2.5, 1, 2.0 / 5},     // the largest value is read
        {2 + 1e-9, 2.5, 1, 4.0 / 5},  // equal in single precision
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(Pvalue(4, random, c.observed, c.median, c.sided), c.expected)
            << c.observed << " sided " << c.sided;
    EXPECT_TRUE(std::isnan(Pvalue(4, random, std::nan(""), 2.5, 1)));
    EXPECT_TRUE(std::isnan(Pvalue(4, random, kInf, 2.5, 0)));
    EXPECT_DOUBLE_EQ(Pvalue(0, random, 2, 2, 1), 1.0);
}

TEST(PvalueDeathTest, UndefinedSideEndsTheProgram) {
    const double random[] = {1, 2};
    EXPECT_EXIT(Pvalue(2, random, 1, 1, 2), testing::ExitedWithCode(1),
                "Undefined one- or two-sided option in function P-value!");
}

}  // namespace
