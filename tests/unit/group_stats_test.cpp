// Group sums of squares, residuals and the alternative group statistics,
// against sums written out pair by pair and one-way ANOVA by the textbook
// formulas.
#include <gtest/gtest.h>
#include <gsl/gsl_rng.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <vector>

#include "matrix_util.h"
#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

using testmat::Table;
using Ints = std::vector<int>;

// A symmetric n x n matrix of dissimilarities drawn from a generator of the
// test's own; the diagonal is 0.
void FillDissimilarities(Table& D, unsigned seed) {
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, seed);
    for (int i = 0; i < D.rows; i++)
        for (int j = i + 1; j < D.rows; j++) D[i][j] = D[j][i] = 0.5 + 3.0 * gsl_rng_uniform(g);
    gsl_rng_free(g);
}

// Q of the units for which in(i) holds: the pairs added one by one.
double BruteQ(const Table& D, const std::function<bool(int)>& in, bool squared = false) {
    double s = 0;
    int m = 0;
    for (int i = 0; i < D.rows; i++) {
        if (!in(i)) continue;
        m++;
        for (int j = 0; j < D.rows; j++)
            if (j > i && in(j)) s += squared ? D[i][j] : D[i][j] * D[i][j];
    }
    return m ? s / m : 0;
}

double BruteQb(const Table& D, const Ints& groups) {
    double qt = BruteQ(D, [](int) { return true; }), sum = 0;
    Ints labels = groups;
    std::sort(labels.begin(), labels.end());
    labels.erase(std::unique(labels.begin(), labels.end()), labels.end());
    for (int l : labels) sum += BruteQ(D, [&](int i) { return groups[i] == l; });
    return qt - sum;
}

TEST(GroupSumsOfSquares, SetsAndTheirComplementsAddUpToTheTotal) {
    Table D(9, 9);
    FillDissimilarities(D, 3);
    const Ints groups = {2, 1, 2, 3, 1, 3, 2, 2, 1};
    const double qt = BruteQ(D, [](int) { return true; });
    EXPECT_NEAR(SumSqDissim(9, D.x, false), qt, 1e-12);

    double Qb = 0, Qt = 0;
    BetweenGrSqDissim(9, D.x, groups.data(), Qb, Qt, nullptr, false);
    EXPECT_NEAR(Qt, qt, 1e-12);
    double sumWithin = 0;
    for (int l = 1; l <= 3; l++) {
        Ints mask(9);
        std::vector<char> bmask(9);
        for (int i = 0; i < 9; i++) bmask[i] = mask[i] = groups[i] == l;
        const double q = BruteQ(D, [&](int i) { return mask[i] == 1; });
        EXPECT_NEAR(WithinGrSqDissim(9, D.x, mask.data(), false), q, 1e-12);
        EXPECT_NEAR(WithinGrSqDissim(9, D.x, reinterpret_cast<bool*>(bmask.data()), false), q, 1e-12);
        sumWithin += q;
    }
    EXPECT_NEAR(Qb + sumWithin, Qt, 1e-12);
    EXPECT_NEAR(Qb, BruteQb(D, groups), 1e-12);

    // Squared entries are summed as they stand.
    Table D2(9, 9);
    for (int i = 0; i < 9; i++)
        for (int j = 0; j < 9; j++) D2[i][j] = D[i][j] * D[i][j];
    EXPECT_NEAR(SumSqDissim(9, D2.x, true), qt, 1e-12);

    // Only the included units take part.
    const Ints included = {1, 1, 0, 1, 1, 0, 1, 1, 1};
    BetweenGrSqDissim(9, D.x, groups.data(), Qb, Qt, included.data(), false);
    auto in = [&](int i) { return included[i] == 1; };
    EXPECT_NEAR(Qt, BruteQ(D, in), 1e-12);
    double within = 0;
    for (int l = 1; l <= 3; l++) within += BruteQ(D, [&](int i) { return in(i) && groups[i] == l; });
    EXPECT_NEAR(Qb, Qt - within, 1e-12);
}

TEST(GroupSumsOfSquares, DegenerateSetsAndPartitions) {
    Table D(5, 5);
    FillDissimilarities(D, 11);
    const Ints none(5, 0), one = {0, 0, 1, 0, 0};
    EXPECT_EQ(WithinGrSqDissim(5, D.x, none.data(), false), 0.0);
    EXPECT_EQ(WithinGrSqDissim(5, D.x, one.data(), false), 0.0);

    // Every unit its own group: nothing is within.
    const Ints own = {1, 2, 3, 4, 5};
    double Qb = 0, Qt = 0;
    BetweenGrSqDissim(5, D.x, own.data(), Qb, Qt, nullptr, false);
    EXPECT_DOUBLE_EQ(Qb, Qt);
    // One group: nothing is between.
    const Ints all(5, 7);
    BetweenGrSqDissim(5, D.x, all.data(), Qb, Qt, nullptr, false);
    EXPECT_NEAR(Qb, 0.0, 1e-12);
}

TEST(GroupSumsOfSquares, ContrastsAndThePairwiseTable) {
    Table D(10, 10);
    FillDissimilarities(D, 5);
    const Ints groups = {1, 2, 3, 1, 2, 3, 3, 1, 2, 3};
    auto qOf = [&](std::function<bool(int)> in) { return BruteQ(D, in); };

    // A contrast of two groups is Qb of the two groups alone.
    const int c12[] = {1, -1, 0};
    const double q1 = qOf([&](int i) { return groups[i] == 1; });
    const double q2 = qOf([&](int i) { return groups[i] == 2; });
    const double q3 = qOf([&](int i) { return groups[i] == 3; });
    const double q12 = qOf([&](int i) { return groups[i] != 3; });
    EXPECT_NEAR(GrContrastSqDissim(10, D.x, groups.data(), c12, false), q12 - q1 - q2, 1e-12);

    // Only the signs count: 2, -1, -1 is 1, -1, -1, group 1 against 2 and 3.
    const int a[] = {2, -1, -1}, b[] = {1, -1, -1};
    const double q23 = qOf([&](int i) { return groups[i] != 1; });
    const double q123 = qOf([](int) { return true; });
    EXPECT_NEAR(GrContrastSqDissim(10, D.x, groups.data(), a, false), q123 - q1 - q23, 1e-12);
    EXPECT_DOUBLE_EQ(GrContrastSqDissim(10, D.x, groups.data(), a, false),
                     GrContrastSqDissim(10, D.x, groups.data(), b, false));

    // The mask forms.
    Ints pos(10), neg(10);
    for (int i = 0; i < 10; i++) pos[i] = groups[i] == 1, neg[i] = groups[i] == 2;
    EXPECT_NEAR(GrContrastSS(10, D.x, pos.data(), neg.data(), false), q12 - q1 - q2, 1e-12);
    bool posB[10], negB[10];
    for (int i = 0; i < 10; i++) posB[i] = pos[i] == 1, negB[i] = neg[i] == 1;
    EXPECT_NEAR(GrContrastSS(10, D.x, posB, negB, false), q12 - q1 - q2, 1e-12);

    // The pairwise table: Q(a) on the diagonal, Q(a and b) - Q(a) - Q(b) above.
    Table M(3, 3);
    BetweenGrSSPairwise(10, D.x, M.x, groups.data(), 3, false);
    const double q13 = qOf([&](int i) { return groups[i] != 2; });
    const double expected[3][3] = {{q1, q12 - q1 - q2, q13 - q1 - q3}, {0, q2, q23 - q2 - q3}, {0, 0, q3}};
    for (int r = 0; r < 3; r++)
        for (int c = r; c < 3; c++) EXPECT_NEAR(M[r][c], expected[r][c], 1e-12) << r << "," << c;
}

// Every routine that takes group labels, run on labels 1, 2, 3 and again on
// 0, 10, 20 (and on 20, 10, 0, which reverses their order).
TEST(GroupSumsOfSquares, AnyLabelsGiveTheResultsOfTheirPositions) {
    Table D(8, 8), X(8, 3);
    FillDissimilarities(D, 21);
    for (int i = 0; i < 8; i++)
        for (int v = 0; v < 3; v++) X[i][v] = std::sin(1.0 + i * 3 + v) * 5;
    const Ints base = {1, 2, 3, 1, 2, 3, 1, 3};
    auto relabel = [&](int a, int b, int c) {
        Ints g(8);
        for (int i = 0; i < 8; i++) g[i] = base[i] == 1 ? a : (base[i] == 2 ? b : c);
        return g;
    };
    const Ints shifted = relabel(0, 10, 20), reversed = relabel(20, 10, 0);
    struct Case {
        const char* name;
        std::function<double(const Ints&)> f;
    };
    const int coef[] = {1, 0, -1};
    const std::vector<Case> cases = {
        {"Qb", [&](const Ints& g) { double qb, qt; BetweenGrSqDissim(8, D.x, g.data(), qb, qt, nullptr, false); return qb; }},
        {"contrast", [&](const Ints& g) { return GrContrastSqDissim(8, D.x, g.data(), coef, false); }},
        {"pairwise", [&](const Ints& g) { Table M(3, 3); BetweenGrSSPairwise(8, D.x, M.x, g.data(), 3, false); return M[0][2] + 10 * M[1][1]; }},
        {"SUM-F", [&](const Ints& g) { return F_SUM(8, 3, g.data(), X.x); }},
        {"LR-IND", [&](const Ints& g) { return LR_IND(8, 3, g.data(), X.x); }},
        {"MRPP", [&](const Ints& g) { return MRPP(8, 3, g.data(), D.x, false, false); }},
        {"MRPP squares", [&](const Ints& g) { return MRPP(8, 3, g.data(), D.x, false, true); }},
        {"ANOSIM", [&](const Ints& g) { return ANOSIM(8, 3, g.data(), D.x, false); }},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(c.f(shifted), c.f(base)) << c.name;
        if (std::string(c.name) != "contrast" && std::string(c.name) != "pairwise") {
            EXPECT_DOUBLE_EQ(c.f(reversed), c.f(base)) << c.name;
        }
    }
}

// A balanced 2 x 2 design with two replicates, one variable, worked by hand:
// cell values (A1B1) 1, 3; (A1B2) 5, 7; (A2B1) 2, 2; (A2B2) 10, 12.
// Grand mean 5.25; A means 4, 6.5; B means 2, 8.5.
TEST(Residuals, ModesOnABalancedDesign) {
    Table X = {{1}, {3}, {5}, {7}, {2}, {2}, {10}, {12}};
    int a[] = {1, 1, 1, 1, 2, 2, 2, 2}, b[] = {1, 1, 2, 2, 1, 1, 2, 2}, c[] = {1, 2, 1, 2, 1, 2, 1, 2};
    int* memb[] = {a, b, c};
    int codes1[] = {1, 2}, codes2[] = {1, 2}, codes3[] = {1, 2};
    int* codes[] = {codes1, codes2, codes3};
    const int nGroups[] = {2, 2, 2};
    Table R(8, 1);

    const int ra[] = {1};
    ASSERT_TRUE(Residuals(8, 1, 3, memb, nGroups, codes, X.x, R.x, 1, ra));
    const double mode1[] = {-3, -1, 1, 3, -4.5, -4.5, 3.5, 5.5};
    for (int i = 0; i < 8; i++) EXPECT_DOUBLE_EQ(R[i][0], mode1[i]) << i;

    // x - A mean - B mean + 5.25.
    const int rab[] = {1, 2};
    ASSERT_TRUE(Residuals(8, 1, 3, memb, nGroups, codes, X.x, R.x, 2, rab));
    const double mode2[] = {0.25, 2.25, -2.25, -0.25, -1.25, -1.25, 0.25, 2.25};
    for (int i = 0; i < 8; i++) EXPECT_DOUBLE_EQ(R[i][0], mode2[i]) << i;

    // Factor C (replicate 1 or 2) has means 4.5 and 6: x - A - B - C + 2 x 5.25,
    // whose mean is 0 like that of the other modes.
    const int rabc[] = {1, 2, 3};
    ASSERT_TRUE(Residuals(8, 1, 3, memb, nGroups, codes, X.x, R.x, 3, rabc));
    const double mode3[] = {1.0, 1.5, -1.5, -1.0, -0.5, -2.0, 1.0, 1.5};
    double sum = 0;
    for (int i = 0; i < 8; i++) {
        EXPECT_DOUBLE_EQ(R[i][0], mode3[i]) << i;
        sum += R[i][0];
    }
    EXPECT_NEAR(sum, 0.0, 1e-12);

    // Out of range: refused, R untouched.
    const int bad[] = {4};
    EXPECT_FALSE(Residuals(8, 1, 3, memb, nGroups, codes, X.x, R.x, 1, bad));
    EXPECT_FALSE(Residuals(8, 1, 3, memb, nGroups, codes, X.x, R.x, 4, rabc));
    EXPECT_DOUBLE_EQ(R[0][0], mode3[0]);
}

TEST(Residuals, MissingValuesAreSkippedAndKept) {
    Table X = {{1, MISSING}, {3, 4}, {MISSING, 6}, {9, 8}};
    int f[] = {5, 5, 9, 9};
    int* memb[] = {f};
    int codes[] = {5, 9};
    int* codeList[] = {codes};
    const int nGroups[] = {2};
    const int removed[] = {1};
    // In place: R is X.
    ASSERT_TRUE(Residuals(4, 2, 1, memb, nGroups, codeList, X.x, X.x, 1, removed));
    EXPECT_DOUBLE_EQ(X[0][0], -1);  // group 5 mean of variable 1: 2
    EXPECT_EQ(X[0][1], MISSING);
    EXPECT_DOUBLE_EQ(X[1][1], 0);   // only 4 in group 5
    EXPECT_EQ(X[2][0], MISSING);
    EXPECT_DOUBLE_EQ(X[3][0], 0);   // only 9 in group 9
    EXPECT_DOUBLE_EQ(X[3][1], 1);   // group 9 mean 7
}

// One-way ANOVA of one variable by the computing formulas: SST = sum x^2 -
// (sum x)^2 / n, SSB = sum over groups of (group sum)^2 / n_g - (sum x)^2 / n.
struct Anova {
    double T, B, W;
    int n, g;
};
Anova TextbookAnova(const std::vector<double>& x, const Ints& groups) {
    std::vector<double> gsum(100, 0);
    Ints gn(100, 0);
    double s = 0, s2 = 0;
    for (size_t i = 0; i < x.size(); i++) {
        s += x[i];
        s2 += x[i] * x[i];
        gsum[groups[i]] += x[i];
        gn[groups[i]]++;
    }
    const double n = static_cast<double>(x.size());
    double between = 0;
    int g = 0;
    for (int c = 0; c < 100; c++)
        if (gn[c]) between += gsum[c] * gsum[c] / gn[c], g++;
    Anova a{s2 - s * s / n, between - s * s / n, 0, static_cast<int>(x.size()), g};
    a.W = a.T - a.B;
    return a;
}

TEST(AlternativeStatistics, SumFAndLrIndAgainstOneWayAnova) {
    const int n = 12, p = 4;
    Table X(n, p);
    const Ints groups = {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3};
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 8);
    for (int i = 0; i < n; i++)
        for (int v = 0; v < p; v++) X[i][v] = 10 * gsl_rng_uniform(g) + groups[i] * v;
    gsl_rng_free(g);
    // Variable 3 is constant within every group: it adds nothing to either.
    for (int i = 0; i < n; i++) X[i][3] = 0.1 * groups[i];

    double sumF = 0, lr = 0;
    for (int v = 0; v < 3; v++) {
        std::vector<double> x(n);
        for (int i = 0; i < n; i++) x[i] = X[i][v];
        Anova a = TextbookAnova(x, groups);
        sumF += (a.B / (a.g - 1)) / (a.W / (a.n - a.g));
        lr += n * std::log(a.T / a.W);
    }
    EXPECT_NEAR(F_SUM(n, p, groups.data(), X.x), sumF, 1e-9 * sumF);
    EXPECT_NEAR(LR_IND(n, p, groups.data(), X.x), lr, 1e-9 * lr);

    // One group: no F-ratio at all.
    const Ints one(n, 1);
    EXPECT_EQ(F_SUM(n, p, one.data(), X.x), 0.0);
    EXPECT_NEAR(LR_IND(n, p, one.data(), X.x), 0.0, 1e-9);
}

// A variable nearly constant within groups whose groups differ widely has
// an F in the tens of trillions and must count; one constant within groups
// whose group means are rounded must not. Groups {1e6, 1e6, 1e6 + 0.5} and
// {2e6, 2e6, 2e6}: W = 1/36 + 1/36 + 1/9 = 1/6; means 1e6 + 1/6 and 2e6
// around 1.5e6 + 1/12, B = 6 (5e5 - 1/12)^2 ... = 1.5e12 + 1/24, so
// F = B / (W / 4) = 3.6e13 + 1 and LR-IND = 6 ln((B + W) / W).
TEST(AlternativeStatistics, NearlyConstantWithinGroupsCountsRoundingDoesNot) {
    const Ints two = {1, 1, 1, 2, 2, 2}, seven = {1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2};
    const double B = 1.5e12 + 1.0 / 24, W = 1.0 / 6;
    struct Case {
        const char* name;
        std::vector<double> x;
        const Ints& groups;
        double sumF, lrInd;
    };
    const std::vector<Case> cases = {
        {"nearly constant", {1e6, 1e6, 1e6 + 0.5, 2e6, 2e6, 2e6}, two, B / (W / 4), 6 * std::log((B + W) / W)},
        {"constant, rounded means", {0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.7, 0.7, 0.7, 0.7, 0.7}, seven, 0, 0},
    };
    for (const Case& c : cases) {
        const int n = static_cast<int>(c.x.size());
        Table X(n, 1);
        for (int i = 0; i < n; i++) X[i][0] = c.x[i];
        EXPECT_NEAR(F_SUM(n, 1, c.groups.data(), X.x), c.sumF, 1e-6 * c.sumF) << c.name;
        EXPECT_NEAR(LR_IND(n, 1, c.groups.data(), X.x), c.lrInd, 1e-6 * c.lrInd) << c.name;
    }
}

TEST(AlternativeStatistics, SumFSkipsMissingValues) {
    Table X = {{1}, {2}, {MISSING}, {6}, {9}, {4}};
    const Ints groups = {1, 1, 1, 2, 2, 2};
    Anova a = TextbookAnova({1, 2, 6, 9, 4}, {1, 1, 2, 2, 2});
    EXPECT_NEAR(F_SUM(6, 1, groups.data(), X.x), (a.B / 1) / (a.W / 3), 1e-12);
}

// Five units: a pentagon-free hand example. Groups {0, 1, 2} and {3, 4}.
// Within group 1 the distances are 1, 2, 3 (pairs 01, 02, 12), within group 2
// the one distance 4.
TEST(AlternativeStatistics, MrppInBothWeightings) {
    Table D(5, 5);
    for (int i = 0; i < 5; i++)
        for (int j = 0; j < 5; j++) D[i][j] = i == j ? 0 : 9;
    D[0][1] = D[1][0] = 1;
    D[0][2] = D[2][0] = 2;
    D[1][2] = D[2][1] = 3;
    D[3][4] = D[4][3] = 4;
    const Ints groups = {1, 1, 1, 2, 2};
    // n_c / n weights: 3/5 x mean(1, 2, 3) + 2/5 x 4.
    EXPECT_NEAR(MRPP(5, 2, groups.data(), D.x, false, false), 0.6 * 2 + 0.4 * 4, 1e-12);
    // (n_c - 1) / (n - g) weights on squared distances: 2/3 x 14/3 + 1/3 x 16.
    EXPECT_NEAR(MRPP(5, 2, groups.data(), D.x, false, true), 2.0 / 3 * 14 / 3 + 16.0 / 3, 1e-12);
    // Entries already squared: their square roots.
    EXPECT_NEAR(MRPP(5, 2, groups.data(), D.x, true, false),
                0.6 * (1 + std::sqrt(2.0) + std::sqrt(3.0)) / 3 + 0.4 * 2, 1e-12);
    EXPECT_NEAR(MRPP(5, 2, groups.data(), D.x, true, true), 2.0 / 3 * 2 + 4.0 / 3, 1e-12);

    // One group of all units: the mean of all pairs.
    const Ints all(5, 1);
    EXPECT_NEAR(MRPP(5, 1, all.data(), D.x, false, false), (1 + 2 + 3 + 4 + 6 * 9) / 10.0, 1e-12);
    // A group of one adds nothing, and its weight is not given to the others.
    const Ints lone = {1, 1, 1, 2, 3};
    EXPECT_NEAR(MRPP(5, 3, lone.data(), D.x, false, false), 0.6 * 2, 1e-12);
    EXPECT_NEAR(MRPP(5, 3, lone.data(), D.x, false, true), 2.0 / 2 * 14 / 3, 1e-12);
}

TEST(AlternativeStatistics, AnosimWithTiedRanks) {
    // Two pairs, perfectly separated: R = 1.
    Table D(4, 4);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) D[i][j] = i == j ? 0 : 5;
    D[0][1] = D[1][0] = 1;
    D[2][3] = D[3][2] = 2;
    const Ints groups = {1, 1, 2, 2};
    EXPECT_DOUBLE_EQ(ANOSIM(4, 2, groups.data(), D.x, false), 1.0);

    // Ties: distances 01 = 1, 23 = 3, 02 = 3, and 5 elsewhere. Ranks: 1; 2.5,
    // 2.5; 5 for the three 5s (ranks 4, 5, 6). Within: 1 and 2.5, mean 1.75;
    // between: 2.5, 5, 5, 5, mean 4.375. R = 2.625 / 3.
    D[2][3] = D[3][2] = 3;
    D[0][2] = D[2][0] = 3;
    EXPECT_NEAR(ANOSIM(4, 2, groups.data(), D.x, false), 2.625 / 3, 1e-12);

    // Already ranked: the entries are taken as they stand.
    EXPECT_NEAR(ANOSIM(4, 2, groups.data(), D.x, true), ((3 + 5 + 5 + 5) / 4.0 - 2.0) / 3, 1e-12);
    // One group: no between pairs, whose mean counts as 0.
    const Ints one(4, 1);
    EXPECT_NEAR(ANOSIM(4, 1, one.data(), D.x, false), -3.5 / 3, 1e-12);
    EXPECT_TRUE(std::isnan(ANOSIM(1, 1, one.data(), D.x, false)));
    // A dissimilarity that is not a number has no rank.
    D[0][3] = D[3][0] = std::nan("");
    EXPECT_TRUE(std::isnan(ANOSIM(4, 2, groups.data(), D.x, false)));
}

// The cost of an assignment and the best of all n! assignments.
double Cost(const Table& D, int n, const Ints& which) {
    double c = 0;
    for (int i = 0; i < n; i++) c += D[i][n + which[i]];
    return c;
}

TEST(NearestNeighbourMatching, AValidAssignmentNeverBelowTheOptimum) {
    for (int n = 1; n <= 7; n++) {
        Table D(2 * n, 2 * n);
        FillDissimilarities(D, 40 + n);
        // Ties in the second set: the first nearest unit is taken.
        if (n >= 3) D[0][n + 1] = D[0][n + 2] = D[n + 1][0] = D[n + 2][0] = 0.1;
        InitRndNumberGenerator(99);
        Ints which(n, -1);
        const double cost = NearNeigSSqWhich(n, D.x, which.data());
        Ints sorted = which;
        std::sort(sorted.begin(), sorted.end());
        for (int j = 0; j < n; j++) ASSERT_EQ(sorted[j], j) << "n = " << n;
        EXPECT_NEAR(cost, Cost(D, n, which), 1e-12);

        Ints perm(n);
        std::iota(perm.begin(), perm.end(), 0);
        double best = 1e300;
        do best = std::min(best, Cost(D, n, perm));
        while (std::next_permutation(perm.begin(), perm.end()));
        EXPECT_GE(cost, best - 1e-12);
        if (n == 1) {
            EXPECT_DOUBLE_EQ(cost, D[0][1]);
        }
        InitRndNumberGenerator(99);
        EXPECT_EQ(NearNeigSSq(n, D.x), cost) << "the cost form runs the same search";
    }
}

TEST(GroupStatisticsExtras, AveragesAndComparisons) {
    Table D = {{0, 1, 2, 3}, {1, 0, 4, 5}, {2, 4, 0, 6}, {3, 5, 6, 0}};
    EXPECT_DOUBLE_EQ(AverageResemblance(4, D.x), 21.0 / 6);
    const Ints groups = {1, 1, 2, 2}, included = {1, 1, 1, 0};
    EXPECT_DOUBLE_EQ(AverageDissim(4, D.x, groups.data(), nullptr), (2 + 3 + 4 + 5) / 4.0);
    EXPECT_DOUBLE_EQ(AverageDissim(4, D.x, groups.data(), included.data()), 3.0);
    double count = 1.0;
    CompareLambda(2.0, 2.0, count);
    CompareLambda(1.0, 2.0, count);
    EXPECT_EQ(count, 2.0);
}

// Groups a = {0, 1}, b = {2, 3}, c = {4} (labels 5, 7, 9), the lower
// triangle filled with values that must not be read. By hand, the pair
// means are a-b 16/4, a-c 11/2, b-c 19/2; the nearest-unit means a-b
// (2 + 5 + 2 + 3) / 4, a-c (4 + 7 + 4) / 3, b-c (9 + 10 + 9) / 3. Every pair
// weighs the same: the mean over all units of different groups (46/8) is
// another value.
TEST(GroupStatisticsExtras, SeparationOfGroupPairs) {
    Table D = {{0, 1, 2, 3, 4}, {99, 0, 5, 6, 7}, {99, 99, 0, 8, 9}, {99, 99, 99, 0, 10}, {99, 99, 99, 99, 0}};
    const Ints groups = {5, 5, 7, 7, 9};
    const struct {
        int g;
        double centroid, nearest;
    } cases[] = {{3, (4 + 5.5 + 9.5) / 3, (3 + 5 + 28.0 / 3) / 3}, {2, 4, 3}, {1, 0, 0}, {9, 19.0 / 3, 52.0 / 9}};
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(CentroidDist(5, c.g, groups.data(), D.x), c.centroid) << c.g;
        EXPECT_DOUBLE_EQ(NearNeighDist(5, c.g, groups.data(), D.x), c.nearest) << c.g;
    }
    D[0][2] = NAN;
    EXPECT_TRUE(std::isnan(CentroidDist(5, 3, groups.data(), D.x)));
    EXPECT_TRUE(std::isnan(NearNeighDist(5, 3, groups.data(), D.x)));
}

TEST(GroupStatisticsExtras, LogisticCentreIsOneUniformDrawBetweenTheBounds) {
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 31);
    InitRndNumberGenerator(31);
    for (double lo : {2.0, 5.0}) {
        const double hi = 7.0 - lo, centre = RndLogisticCentre(lo, hi);
        EXPECT_DOUBLE_EQ(centre, lo + (hi - lo) * gsl_rng_uniform(g));
        EXPECT_TRUE(centre >= 2.0 && centre <= 5.0) << centre;
    }
    EXPECT_EQ(gsl_rng_get(r), gsl_rng_get(g));
    gsl_rng_free(g);
}

}  // namespace
