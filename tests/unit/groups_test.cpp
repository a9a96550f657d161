// Group counting, renumbering, classes of equal width and group summaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace {

const double M = MISSING;

double** Matrix(const std::vector<std::vector<double>>& rows) {
    const int n = static_cast<int>(rows.size()), m = static_cast<int>(rows[0].size());
    double** a = dim2DT<double>(n, m);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) a[i][j] = rows[i][j];
    return a;
}

// ---------------------------------------------------------------------------
// Counting and renumbering
// ---------------------------------------------------------------------------

TEST(GroupCounting, DistinctLabelsInAscendingOrder) {
    const int g[] = {3, 1, 3, 2};
    int count = 0, labels[4] = {0, 0, 0, 0};
    CountGroupsNew(4, g, count, labels);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(std::vector<int>(labels, labels + 3), (std::vector<int>{1, 2, 3}));
    CountGroupsNew(4, g, count, nullptr);
    EXPECT_EQ(count, 3);

    const int raw[] = {20, -5, 0, 20, -5};
    CountGroups(5, raw, count, labels);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(std::vector<int>(labels, labels + 3), (std::vector<int>{-5, 0, 20}));

    const int select[] = {1, 0, 1, 1, 0};
    CountGroupsSelect(5, raw, select, count, labels);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(std::vector<int>(labels, labels + 2), (std::vector<int>{0, 20}));
}

TEST(GroupCounting, PositionsAmongSortedLabels) {
    const int raw[] = {10, 0, -5, 10, 0};
    int pos[5] = {0, 0, 0, 0, 0};
    EXPECT_EQ(GroupPositions(5, raw, pos), 3);
    EXPECT_EQ(std::vector<int>(pos, pos + 5), (std::vector<int>{3, 2, 1, 3, 2}));
}

// The renumbering rule taken literally: for v = 1..k, while no label is v and
// a larger label remains, every label above v is decreased by 1.
std::vector<int> RenameByRule(std::vector<int> labels, int k) {
    for (int v = 1; v <= k; v++) {
        for (;;) {
            bool present = false, larger = false;
            for (int l : labels) {
                present |= l == v;
                larger |= l > v;
            }
            if (present || !larger) break;
            for (int& l : labels)
                if (l > v) l--;
        }
    }
    return labels;
}

TEST(GroupCounting, RenumberingClosesGaps) {
    int labels[] = {1, 3, 5, 3};
    RenamePartitionLabels(4, 3, labels);
    EXPECT_EQ(std::vector<int>(labels, labels + 4), (std::vector<int>{1, 2, 3, 2}));

    // A k larger than the number of labels still terminates.
    int few[] = {4, 9};
    RenamePartitionLabels(2, 10, few);
    EXPECT_EQ(std::vector<int>(few, few + 2), (std::vector<int>{1, 2}));

    std::mt19937 gen(17);
    for (int trial = 0; trial < 200; trial++) {
        const int n = 1 + static_cast<int>(gen() % 12);
        std::vector<int> l(n);
        for (int& v : l) v = static_cast<int>(gen() % 15) - 2;  // zero and negatives too
        const int k = static_cast<int>(gen() % 8);
        std::vector<int> mine = l;
        RenamePartitionLabels(n, k, mine.data());
        ASSERT_EQ(mine, RenameByRule(l, k)) << "trial " << trial;
    }
}

// ---------------------------------------------------------------------------
// Classes of equal width
// ---------------------------------------------------------------------------

TEST(Classes, EqualWidthWithMissingValues) {
    double c[4];
    const double x[] = {0, 5, 10, M};
    EXPECT_EQ(ClassesMV(4, x, c, 2), 1);
    EXPECT_EQ(std::vector<double>(c, c + 4), (std::vector<double>{1, 1, 2, M}));
    const double y[] = {2, 7, 10};
    EXPECT_EQ(ClassesMV(3, y, c, 4), 1);
    EXPECT_EQ(std::vector<double>(c, c + 3), (std::vector<double>{1, 3, 4}));
    EXPECT_EQ(Classes(3, y, c, 4), 1);
    EXPECT_EQ(std::vector<double>(c, c + 3), (std::vector<double>{1, 3, 4}));
    const double same[] = {4, M, 4};
    ClassesMV(3, same, c, 3);
    EXPECT_EQ(std::vector<double>(c, c + 3), (std::vector<double>{1, M, 1}));

    // A number of classes below 1 is refused and nothing is written.
    c[0] = 77;
    EXPECT_EQ(ClassesMV(3, y, c, 0), 0);
    EXPECT_EQ(Classes(3, y, c, -2), 0);
    EXPECT_EQ(c[0], 77);

    // Every value lands in 1..k, even just below the maximum.
    const double big[] = {1e15, 1e15 + 0.125, 1e15 + 1};
    ClassesMV(3, big, c, 7);
    for (int i = 0; i < 3; i++) {
        EXPECT_GE(c[i], 1);
        EXPECT_LE(c[i], 7);
    }
}

TEST(Classes, FrequencyDistribution) {
    const double x[] = {0, 1, 2, 3, 4, 10};
    int counts[2];
    double upper[2];
    FreqDistribution(6, x, counts, 2, upper);
    EXPECT_EQ(counts[0], 5);
    EXPECT_EQ(counts[1], 1);
    EXPECT_EQ(upper[0], 5);
    EXPECT_EQ(upper[1], 10);
}

// ---------------------------------------------------------------------------
// Belonging, identical units and group summaries
// ---------------------------------------------------------------------------

TEST(Belonging, CrispUsesLabelPositions) {
    const int g[] = {20, 10, 20};
    double** Q = dim2DT<double>(3, 2);
    CrispBelonging(3, 2, g, Q);
    EXPECT_EQ(Q[0][0], 0);
    EXPECT_EQ(Q[0][1], 1);
    EXPECT_EQ(Q[1][0], 1);
    EXPECT_EQ(Q[2][1], 1);
    double** I = dim2DT<double>(3, 3);
    CrispBelonging(3, 3, nullptr, I);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_EQ(I[i][j], i == j ? 1.0 : 0.0);
    free2DT(Q, 3);
    free2DT(I, 3);
}

TEST(Belonging, FuzzyWithADuplicateUnit) {
    // Unit 1 duplicates unit 0 (similarity 1) in group 1; unit 2 is group 2.
    double** S = Matrix({{1, 1, 0.5}, {0, 1, 0.5}, {0, 0, 1}});
    const int g[] = {1, 1, 2};
    double** Q = dim2DT<double>(3, 2);
    FuzzyBelonging(3, 2, S, g, Q, false);
    // Rows before division by their sums: (1, .5), (1, .5), (.5, 1).
    EXPECT_NEAR(Q[0][0], 2.0 / 3, 1e-15);
    EXPECT_NEAR(Q[0][1], 1.0 / 3, 1e-15);
    EXPECT_NEAR(Q[1][0], 2.0 / 3, 1e-15);
    EXPECT_NEAR(Q[2][0], 1.0 / 3, 1e-15);
    EXPECT_NEAR(Q[2][1], 2.0 / 3, 1e-15);

    // The same as dissimilarities.
    double** D = Matrix({{0, 0, 0.5}, {0, 0, 0.5}, {0, 0, 0}});
    double** P = dim2DT<double>(3, 2);
    FuzzyBelonging(3, 2, D, g, P, true);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 2; j++) EXPECT_NEAR(P[i][j], Q[i][j], 1e-15);
    free2DT(S, 3);
    free2DT(D, 3);
    free2DT(Q, 3);
    free2DT(P, 3);
}

// Fuzzy belonging computed literally, unit by unit: groups by the position of
// their label, duplicates marked against any earlier unit of their group,
// sums over the unit itself and the unmarked units other than the one it
// duplicates, missing similarities left out, rows then divided by their sums.
std::vector<std::vector<double>> FuzzyByRule(int n, int k, double** S, const int* labels, bool dissimilarity) {
    std::vector<int> distinct(labels, labels + n);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    std::vector<int> g(n);
    for (int i = 0; i < n; i++)
        g[i] = static_cast<int>(std::lower_bound(distinct.begin(), distinct.end(), labels[i]) - distinct.begin());
    auto sim = [&](int i, int j) {
        const double v = i <= j ? S[i][j] : S[j][i];
        return v == M ? M : (dissimilarity ? 1 - v : v);
    };
    std::vector<int> count(k, 0), duplicateOf(n, -1);
    for (int i = 0; i < n; i++)
        if (g[i] < k) count[g[i]]++;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < i && g[i] < k; j++)
            if (g[j] == g[i] && sim(j, i) != M && AlmostEqual2sComplement(sim(j, i), 1.0, 1)) {
                duplicateOf[i] = j;
                count[g[i]]--;
                break;
            }
    std::vector<std::vector<double>> q(n, std::vector<double>(k, M));
    for (int i = 0; i < n; i++) {
        double rowSum = 0;
        for (int c = 0; c < k; c++) {
            double s = 0;
            bool added = false;
            for (int j = 0; j < n; j++) {
                if (g[j] != c || (j != i && (duplicateOf[j] >= 0 || j == duplicateOf[i])) || sim(i, j) == M) continue;
                s += sim(i, j);
                added = true;
            }
            if (added) {
                q[i][c] = s / count[c];
                rowSum += q[i][c];
            }
        }
        for (int c = 0; c < k; c++)
            if (q[i][c] != M) q[i][c] /= rowSum == 0 ? 1 : rowSum;
    }
    return q;
}

TEST(Belonging, FuzzyAgreesWithTheRuleOnAnyLabelsAndTeam) {
    std::mt19937 gen(29);
    const int saved = NumberOfThreads();
    for (int trial = 0; trial < 300; trial++) {
        const int n = 2 + static_cast<int>(gen() % 9), k = 1 + static_cast<int>(gen() % 4);
        const bool dissimilarity = gen() % 2 == 0;
        std::vector<int> labels(n);
        double** S = dim2DT<double>(n, n);
        for (int i = 0; i < n; i++) {
            labels[i] = static_cast<int>(gen() % 4) * 10 - 15;  // -15, -5, 5, 15
            for (int j = i; j < n; j++) {
                const int r = static_cast<int>(gen() % 6);
                double s = i == j || r == 0 ? 1.0 : static_cast<double>(gen() % 100) / 100;
                if (r == 1 && i != j) {
                    S[i][j] = M;
                    continue;
                }
                S[i][j] = dissimilarity ? 1 - s : s;
            }
        }
        const auto expected = FuzzyByRule(n, k, S, labels.data(), dissimilarity);
        for (int threads : {1, 3}) {
            InitMultiprocessing(threads);
            double** Q = dim2DT<double>(n, k);
            FuzzyBelonging(n, k, S, labels.data(), Q, dissimilarity);
            for (int i = 0; i < n; i++)
                for (int c = 0; c < k; c++) ASSERT_NEAR(Q[i][c], expected[i][c], 1e-12) << trial << " " << i << "," << c;
            free2DT(Q, n);
        }
        free2DT(S, n);
    }
    InitMultiprocessing(saved);
}

TEST(Belonging, IdenticalUnitsJoinTheEarlierOne) {
    double** S = Matrix({{1, .3, 1, .3}, {0, 1, .3, 1}, {0, 0, 1, .3}, {0, 0, 0, 1}});
    int part[4], count = 0;
    ClusterIdenticals(4, S, part, count, false);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(std::vector<int>(part, part + 4), (std::vector<int>{1, 2, 1, 2}));
    double** D = Matrix({{0, .3, .2, 0}, {0, 0, .3, .4}, {0, 0, 0, .3}, {0, 0, 0, 0}});
    ClusterIdenticals(4, D, part, count, true);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(std::vector<int>(part, part + 4), (std::vector<int>{1, 2, 3, 1}));
    free2DT(S, 4);
    free2DT(D, 4);
}

TEST(GroupSummaries, ConcentrateReleveAndMovingWindows) {
    double** X = Matrix({{1, 2}, {3, 4}});
    const int rows[] = {5, 5}, cols[] = {7, 9};
    double** Y = dim2DT<double>(1, 2);
    ConcentrateGroups(2, 2, X, Y, 1, rows, 2, cols, 0);
    EXPECT_EQ(Y[0][0], 2);  // (1 + 3) / (2 x 1)
    EXPECT_EQ(Y[0][1], 3);
    ConcentrateGroups(2, 2, X, Y, 1, rows, 2, cols, 1);
    EXPECT_EQ(Y[0][0], 4);  // rescaled to the plain total 10
    EXPECT_EQ(Y[0][1], 6);

    double** R = Matrix({{5, 8}});
    double** Z = dim2DT<double>(1, 1);
    const int g[] = {1, 1};
    ReleveChange(2, R, Z, 1, 1, g);
    EXPECT_EQ(Z[0][0], 3);  // 8 - (5 - 0)

    double** W = Matrix({{1, 2}, {3, 4}, {5, 6}});
    double** V = dim2DT<double>(3, 2);
    int count = 0;
    SplitMovingWinPool(3, 2, W, V, 2, count, true);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(V[0][0], 2);
    EXPECT_EQ(V[1][1], 5);
    SplitMovingWinPool(3, 2, W, V, 2, count, false);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(V[2][0], 5.5);
    SplitMovingWinPool(3, 2, W, V, 4, count, true);
    EXPECT_EQ(count, 0);
    free2DT(X, 2);
    free2DT(Y, 1);
    free2DT(R, 1);
    free2DT(Z, 1);
    free2DT(W, 3);
    free2DT(V, 3);
}

}  // namespace
