// Float equality, comparators, factorials, state counts and strings.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "rhlibDim.h"

namespace {

TEST(FloatEquality, SinglePrecisionUlps) {
    EXPECT_TRUE(AlmostEqual2sComplement(0.1, 0.1 + 1e-12, 1));  // same float
    EXPECT_TRUE(AlmostEqual2sComplement(1.0, 1.0000001, 1));    // adjacent floats
    EXPECT_FALSE(AlmostEqual2sComplement(1.0, 1.0000002, 1));   // two floats apart
    EXPECT_TRUE(AlmostEqual2sComplement(0.0, -0.0, 1));
    EXPECT_TRUE(AlmostEqual2sComplement(-0.0, 0.0, 1));
    // The smallest positive and negative floats are one step from zero each.
    const float tiny = std::nextafter(0.0f, 1.0f);
    EXPECT_TRUE(AlmostEqual2sComplement(tiny, 0.0, 1));
    EXPECT_TRUE(AlmostEqual2sComplement(-tiny, 0.0, 1));
    EXPECT_FALSE(AlmostEqual2sComplement(-tiny, tiny, 1));
    EXPECT_TRUE(AlmostEqual2sComplement(-tiny, tiny, 2));
    // Far-apart images must not overflow into a false "equal".
    EXPECT_FALSE(AlmostEqual2sComplement(FLT_MAX, -FLT_MAX, 1));
    EXPECT_FALSE(AlmostEqual2sComplement(-1.0, 1.0, 1));
    const float one = 1.0f;
    EXPECT_TRUE(AlmostEqual2sComplement(std::nextafter(one, 2.0f), std::nextafter(one, 0.0f), 2));
    EXPECT_FALSE(AlmostEqual2sComplement(std::nextafter(one, 2.0f), std::nextafter(one, 0.0f), 1));
}

TEST(FloatEquality, LargerOrEqual) {
    EXPECT_TRUE(IsLargerThanOrEqual(-3, 2, 1, true));
    EXPECT_FALSE(IsLargerThanOrEqual(-3, 2, 1, false));
    EXPECT_TRUE(IsLargerThanOrEqual(2, 2.0000001, 1, false));  // tie by the float rule
    EXPECT_FALSE(IsLargerThanOrEqual(2, 2.001, 1, false));
    EXPECT_TRUE(AlmostEqual_Tolerance(1.0, 1.05, 0.1));
    EXPECT_FALSE(AlmostEqual_Tolerance(1.0, 1.1, 0.1));  // strictly smaller
}

TEST(LargerSmaller, IntAndDouble) {
    EXPECT_EQ(Fmax(2.5, -1.0), 2.5);
    EXPECT_EQ(Fmin(2.5, -1.0), -1.0);
    EXPECT_EQ(Fmax(3, 7), 7);
    EXPECT_EQ(Fmin(3, 7), 3);
}

TEST(Factorial, ExactInExtendedPrecision) {
    EXPECT_EQ(Factorial(0), 1.0L);
    EXPECT_EQ(Factorial(1), 1.0L);
    EXPECT_EQ(Factorial(5), 120.0L);
    long double f20 = Factorial(20);
    EXPECT_EQ(static_cast<unsigned long long>(f20), 2432902008176640000ULL);
}

TEST(Comparators, OrderWithoutOverflow) {
    std::vector<int> v = {5, INT_MIN, INT_MAX, -7, 0, INT_MAX, INT_MIN};
    qsort(v.data(), v.size(), sizeof(int), compareInt);
    EXPECT_EQ(v, (std::vector<int>{INT_MIN, INT_MIN, -7, 0, 5, INT_MAX, INT_MAX}));
    qsort(v.data(), v.size(), sizeof(int), compareIntDecreasing);
    EXPECT_EQ(v, (std::vector<int>{INT_MAX, INT_MAX, 5, 0, -7, INT_MIN, INT_MIN}));
    int a = INT_MIN, b = 1;
    EXPECT_LT(compareInt(&a, &b), 0);
    EXPECT_GT(compareInt(&b, &a), 0);

    std::vector<double> d = {2.5, -1, 3, 2.5};
    qsort(d.data(), d.size(), sizeof(double), compareDouble);
    EXPECT_EQ(d, (std::vector<double>{-1, 2.5, 2.5, 3}));
    qsort(d.data(), d.size(), sizeof(double), compareDoubleDecreasing);
    EXPECT_EQ(d, (std::vector<double>{3, 2.5, 2.5, -1}));

    const char* s[] = {"pear", "Apple", "apple"};
    qsort(s, 3, sizeof(char*), compareStr);
    EXPECT_STREQ(s[0], "Apple");
    EXPECT_STREQ(s[1], "apple");
    EXPECT_STREQ(s[2], "pear");
}

TEST(CountStates, WithAndWithoutZero) {
    const double x[] = {2, 0, -999, 2, 5};
    EXPECT_EQ(CountStates(5, x), 3);
    int states[4] = {0, 0, 0, 42};
    EXPECT_EQ(CountStates(5, x, states), 3);
    EXPECT_EQ(states[0], 2);
    EXPECT_EQ(states[1], 5);
    EXPECT_EQ(states[2], 0);  // code 0 is counted, not listed
    EXPECT_EQ(states[3], 42);

    const double y[] = {3.7, 1, 3, 1.2};  // truncated codes 3 and 1
    int s2[2] = {0, 0};
    EXPECT_EQ(CountStates(4, y, s2), 2);
    EXPECT_EQ(s2[0], 1);
    EXPECT_EQ(s2[1], 3);
}

TEST(CountStates, AllMissingNegativeAndHugeCodesStayInBounds) {
    const double missing[] = {-999, -999};
    EXPECT_EQ(CountStates(2, missing), 0);
    int none[1] = {7};
    EXPECT_EQ(CountStates(2, missing, none), 0);
    EXPECT_EQ(none[0], 7);

    const double odd[] = {-2, 1, 1e12, -2, 4};
    EXPECT_EQ(CountStates(5, odd), 4);
    int listed[4] = {0, 0, 0, 0};
    EXPECT_EQ(CountStates(5, odd, listed), 4);
    EXPECT_EQ(listed[0], 1);
    EXPECT_EQ(listed[1], 4);
    EXPECT_EQ(listed[2], 0);  // the negative and the huge code are not listed
}

TEST(Strings, UpperTrimAndCaseFreeCompare) {
    char t[] = "Abc-d e";
    StrToUpper(t);
    EXPECT_STREQ(t, "ABC-D E");
    char u[] = "a  b   c  ";
    EXPECT_STREQ(trimString(u), "a b c");
    EXPECT_EQ(StrCmp("Sessao", "SESSAO"), 0);
    EXPECT_NE(StrCmp("Sessao", "Sessao1"), 0);
    EXPECT_DOUBLE_EQ(RoundDigit(3.14159, 3), 3.14);
    char code[3] = {0, 0, 0};
    IntToAlpha(62 * 12 + 61, code);
    EXPECT_STREQ(code, "Cz");
}

TEST(Pointers, SwapExchangesTwoEntries) {
    int a = 1, b = 2, c = 3;
    void* p[] = {&a, &b, &c};
    swap(p, 0, 2);
    EXPECT_EQ(p[0], &c);
    EXPECT_EQ(p[1], &b);
    EXPECT_EQ(p[2], &a);
}

}  // namespace
