// Hierarchical clustering: fusion levels against hand-worked values and
// against brute-force clusterings written from the definitions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "clustering_util.h"
#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

using namespace clustertest;

struct Expected {
    std::vector<int> members;
    int lastOfFirst;
    double level, branchFirst, branchSecond;
};

void ExpectRecords(const Records& r, const std::vector<Expected>& want, int n) {
    for (size_t k = 0; k < want.size(); k++) {
        SCOPED_TRACE("record " + std::to_string(k + 1));
        EXPECT_EQ(r.Members(k), want[k].members);
        EXPECT_EQ(r[k].lastOfFirst, want[k].lastOfFirst);
        EXPECT_EQ(r[k].node, n + 1 + static_cast<int>(k));
        EXPECT_NEAR(r[k].level, want[k].level, 1e-12);
        EXPECT_NEAR(r[k].branchFirst, want[k].branchFirst, 1e-12);
        EXPECT_NEAR(r[k].branchSecond, want[k].branchSecond, 1e-12);
    }
}

TEST(Linkage, HandWorkedLevelsOfTheFourMethods) {
    Matrix d = Five();
    Matrix keep = d;
    {
        Records r(5);
        LinkageCluster(5, Rows(d), r.get(), true, false, 1, true);
        ExpectRecords(r,
                      {{{1, 2}, 1, 2, 2, 2},
                       {{4, 5}, 4, 3, 3, 3},
                       {{3, 4, 5}, 3, 4, 4, 1},
                       {{1, 2, 3, 4, 5}, 2, 5, 3, 1}},
                      5);
    }
    {
        Records r(5);
        LinkageCluster(5, Rows(d), r.get(), true, false, 2, true);
        ExpectRecords(r,
                      {{{1, 2}, 1, 2, 2, 2},
                       {{4, 5}, 4, 3, 3, 3},
                       {{3, 4, 5}, 3, 5, 5, 2},
                       {{1, 2, 3, 4, 5}, 2, 10, 8, 5}},
                      5);
    }
    {
        Records r(5);
        LinkageCluster(5, Rows(d), r.get(), true, false, 4, true);
        // Last level: the mean of the six dissimilarities between {1,2} and {3,4,5}.
        ExpectRecords(r,
                      {{{1, 2}, 1, 2, 2, 2},
                       {{4, 5}, 4, 3, 3, 3},
                       {{3, 4, 5}, 3, 4.5, 4.5, 1.5},
                       {{1, 2, 3, 4, 5}, 2, 47.0 / 6, 47.0 / 6 - 2, 47.0 / 6 - 4.5}},
                      5);
    }
    {
        Records r(5);
        LinkageCluster(5, Rows(d), r.get(), true, false, 5, true);
        // WPGMA weighs the two parts equally: (5.5 + 9) / 2.
        ExpectRecords(r,
                      {{{1, 2}, 1, 2, 2, 2},
                       {{4, 5}, 4, 3, 3, 3},
                       {{3, 4, 5}, 3, 4.5, 4.5, 1.5},
                       {{1, 2, 3, 4, 5}, 2, 7.25, 5.25, 2.75}},
                      5);
    }
    EXPECT_EQ(d, keep);  // worked on copies
}

TEST(Linkage, SimilaritiesFuseTheLargestValuesAndLevelsFall) {
    Matrix s = Five();
    for (auto& row : s)
        for (auto& x : row) x = 10 - x;
    Records single(5), complete(5);
    LinkageCluster(5, Rows(s), single.get(), false, false, 1, true);
    LinkageCluster(5, Rows(s), complete.get(), false, false, 2, true);
    // Single linkage of similarities takes the largest value between groups.
    ExpectRecords(single,
                  {{{1, 2}, 1, 8, 8, 8},
                   {{4, 5}, 4, 7, 7, 7},
                   {{3, 4, 5}, 3, 6, 6, -1},
                   {{1, 2, 3, 4, 5}, 2, 5, -3, -1}},
                  5);
    EXPECT_EQ(complete.Members(2), (std::vector<int>{3, 4, 5}));
    EXPECT_DOUBLE_EQ(complete[2].level, 5);
    EXPECT_DOUBLE_EQ(complete[3].level, 0);
}

TEST(Linkage, SquaredInputIsRootedOnceAndTheCallersMatrixOnlyWithoutCopy) {
    Matrix d = Five();
    Matrix sq = d;
    for (auto& row : sq)
        for (auto& x : row) x *= x;
    for (int method : {1, 2, 4, 5}) {
        SCOPED_TRACE(method);
        Records plain(5), squared(5);
        LinkageCluster(5, Rows(d), plain.get(), true, false, method, true);
        Matrix work = sq;
        LinkageCluster(5, Rows(work), squared.get(), true, true, method, method != 5);
        for (int k = 0; k < 4; k++) {
            EXPECT_EQ(plain.Members(k), squared.Members(k));
            EXPECT_NEAR(plain[k].level, squared[k].level, 1e-12);
        }
        if (method == 5)
            EXPECT_NE(work, sq);  // rewritten in place
        else
            EXPECT_EQ(work, sq);
    }
}

TEST(Linkage, TiesGoToTheFirstPairInRowMajorOrder) {
    // (1,4) and (2,3) tie: row 1 comes before row 2.
    Matrix d = Matrix({{0, 5, 5, 1}, {5, 0, 1, 5}, {5, 1, 0, 5}, {1, 5, 5, 0}});
    Records r(4);
    LinkageCluster(4, Rows(d), r.get(), true, false, 1, true);
    EXPECT_EQ(r.Members(0), (std::vector<int>{1, 4}));
    EXPECT_EQ(r.Members(1), (std::vector<int>{2, 3}));
    // After compaction {1,4} is at position 0, {2,3} at position 1.
    EXPECT_EQ(r.Members(2), (std::vector<int>{1, 4, 2, 3}));
    EXPECT_EQ(r[2].lastOfFirst, 4);
}

TEST(Linkage, TwoEntitiesGiveOneRecord) {
    Matrix d = Matrix({{0, 3}, {3, 0}});
    Records r(2);
    LinkageCluster(2, Rows(d), r.get(), true, false, 4, true);
    EXPECT_EQ(r[0].node, 3);
    EXPECT_EQ(r[0].level, 3);
    EXPECT_EQ(r[0].branchFirst, 3);
    EXPECT_EQ(r[0].branchSecond, 3);
    Records w(2);
    SumSqCluster(2, Rows(d), w.get(), false);
    EXPECT_EQ(w[0].level, 4.5);  // d^2 / 2
    EXPECT_EQ(w[0].criterion, 4.5);
    EXPECT_EQ(w[0].branchFirst, 4.5);
    EXPECT_EQ(w[0].branchSecond, 4.5);
}

TEST(Linkage, ANonNumberNeverStopsTheSearch) {
    // The first pair is not a number: every method still fuses all entities,
    // and the undefined pair is never preferred to a number.
    double nan = std::numeric_limits<double>::quiet_NaN();
    Matrix d = Matrix({{0, nan, 4, 7}, {nan, 0, 2, 3}, {4, 2, 0, 1e308}, {7, 3, 1e308, 0}});
    for (int method : {1, 2, 4, 5}) {
        Records r(4);
        LinkageCluster(4, Rows(d), r.get(), true, false, method, true);
        EXPECT_EQ(r.Members(0), (std::vector<int>{2, 3}));
        EXPECT_EQ(r[2].nMembers, 4);
    }
    // Ward with nothing but infinite values still fuses.
    Matrix inf = Matrix({{0, HUGE_VAL, HUGE_VAL}, {HUGE_VAL, 0, HUGE_VAL}, {HUGE_VAL, HUGE_VAL, 0}});
    Records w(3);
    SumSqCluster(3, Rows(inf), w.get(), true);
    EXPECT_EQ(w.Members(0), (std::vector<int>{1, 2}));
    EXPECT_EQ(w.Members(1), (std::vector<int>{1, 2, 3}));
}

// ---------------------------------------------------------------------------
// Brute-force references
// ---------------------------------------------------------------------------

using Group = std::vector<int>;  // entity numbers from 1

double Pair(const Matrix& d, int e1, int e2) { return d[e1 - 1][e2 - 1]; }

// Between-group value of the linkage methods from their definitions: the
// smallest, largest or mean original value over all pairs of members.
double Linkage(const Matrix& d, const Group& a, const Group& b, int method, bool diss) {
    double sum = 0, lo = HUGE_VAL, hi = -HUGE_VAL;
    for (int i : a)
        for (int j : b) {
            double x = Pair(d, i, j);
            sum += x;
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
    if (method == 4) return sum / (a.size() * b.size());
    return (method == 1) == diss ? lo : hi;
}

// Within-group sum of squares from squared dissimilarities: the sum over the
// pairs of members divided by the size.
double Within(const Matrix& d2, const Group& g) {
    double s = 0;
    for (size_t i = 0; i < g.size(); i++)
        for (size_t j = i + 1; j < g.size(); j++) s += Pair(d2, g[i], g[j]);
    return s / g.size();
}

struct Step {
    Group members;
    int lastOfFirst;
    double level, criterion;
};

// Agglomeration by definition: at every step every pair of current groups is
// evaluated afresh (methods 1, 2, 4 by their member pairs, 3 as the increase
// of the within-group sum of squares); groups keep their relative order.
std::vector<Step> ByDefinition(const Matrix& d, int method, bool diss) {
    int n = d.size();
    Matrix d2 = d;
    for (auto& r : d2)
        for (auto& x : r) x *= x;
    std::vector<Group> groups;
    for (int i = 1; i <= n; i++) groups.push_back({i});
    std::vector<Step> steps;
    while (groups.size() > 1) {
        size_t ba = 0, bb = 1;
        double best = 0;
        bool first = true;
        for (size_t a = 0; a < groups.size(); a++)
            for (size_t b = a + 1; b < groups.size(); b++) {
                double v;
                if (method == 3) {
                    Group u = groups[a];
                    u.insert(u.end(), groups[b].begin(), groups[b].end());
                    v = Within(d2, u) - Within(d2, groups[a]) - Within(d2, groups[b]);
                } else {
                    v = Linkage(d, groups[a], groups[b], method, diss);
                }
                if (first || (diss ? v < best : v > best)) {
                    best = v;
                    ba = a;
                    bb = b;
                    first = false;
                }
            }
        Group u = groups[ba];
        u.insert(u.end(), groups[bb].begin(), groups[bb].end());
        steps.push_back({u, groups[ba].back(), method == 3 ? Within(d2, u) : best, best});
        groups[ba] = u;
        groups.erase(groups.begin() + bb);
    }
    return steps;
}

TEST(Clustering, LinkageAndWardAgreeWithTheDefinitions) {
    for (unsigned seed : {1u, 2u, 3u}) {
        Matrix d = Euclidean(RandomPoints(14, 3, seed));
        int n = d.size();
        for (int method : {1, 2, 3, 4}) {
            for (bool diss : {true, false}) {
                if (method == 3 && !diss) continue;
                SCOPED_TRACE("seed " + std::to_string(seed) + " method " + std::to_string(method) +
                             (diss ? " dissimilarities" : " similarities"));
                Matrix in = d;
                if (!diss)
                    for (auto& r : in)
                        for (auto& x : r) x = 100 - x;
                Records r(n);
                if (method == 3)
                    SumSqCluster(n, Rows(in), r.get(), false);
                else
                    LinkageCluster(n, Rows(in), r.get(), diss, false, method, true);
                std::vector<Step> want = ByDefinition(in, method, diss);
                for (int k = 0; k < n - 1; k++) {
                    ASSERT_EQ(r.Members(k), want[k].members) << "record " << k + 1;
                    EXPECT_EQ(r[k].lastOfFirst, want[k].lastOfFirst);
                    EXPECT_NEAR(r[k].level, want[k].level, 1e-9 * (1 + std::fabs(want[k].level)));
                    if (method == 3) {
                        EXPECT_NEAR(r[k].criterion, want[k].criterion, 1e-9 * (1 + want[k].criterion));
                    }
                }
            }
        }
    }
}

// The agglomeration as a compacted matrix that is scanned whole at every
// fusion, with the recurrences of each method, on values with many ties: the
// first best pair in row-major order fuses.
std::vector<Step> Compacted(Matrix w, int method, bool diss) {
    int n = w.size();
    std::vector<Group> groups;
    for (int i = 1; i <= n; i++) groups.push_back({i});
    if (method == 3)
        for (auto& r : w)
            for (auto& x : r) x *= x;
    std::vector<Step> steps;
    while (groups.size() > 1) {
        int m = groups.size(), ba = 0, bb = 1;
        auto value = [&](int a, int b) {
            if (method != 3) return w[a][b];
            double na = groups[a].size(), nb = groups[b].size();
            return na * w[a][b] * nb / (na + nb);
        };
        double best = value(0, 1);
        for (int a = 0; a < m; a++)
            for (int b = a + 1; b < m; b++) {
                double v = value(a, b);
                if (diss || method == 3 ? v < best : v > best) {
                    best = v;
                    ba = a;
                    bb = b;
                }
            }
        double na = groups[ba].size(), nb = groups[bb].size(), dab = w[ba][bb];
        for (int g = 0; g < m; g++) {
            if (g == ba || g == bb) continue;
            double xa = w[g][ba], xb = w[g][bb], v;
            switch (method) {
                case 1: v = diss ? std::min(xa, xb) : std::max(xa, xb); break;
                case 2: v = diss ? std::max(xa, xb) : std::min(xa, xb); break;
                case 4: v = (na * xa + nb * xb) / (na + nb); break;
                case 5: v = (xa + xb) / 2; break;
                default: v = (na * xa + nb * xb) / (na + nb) - na * nb * dab / ((na + nb) * (na + nb));
            }
            w[g][ba] = w[ba][g] = v;
        }
        Group u = groups[ba];
        u.insert(u.end(), groups[bb].begin(), groups[bb].end());
        steps.push_back({u, groups[ba].back(), 0, best});
        groups[ba] = u;
        groups.erase(groups.begin() + bb);
        w.erase(w.begin() + bb);
        for (auto& r : w) r.erase(r.begin() + bb);
    }
    return steps;
}

TEST(Clustering, TiesAreDecidedAsByAFullScanOfTheCompactedMatrix) {
    std::mt19937 gen(7);
    // Small tables for every method; and tables where single linkage meets
    // more than 64 groups at one level, and groups of several members tie.
    struct Table {
        int n, highest;
        std::vector<int> methods;
    };
    std::vector<Table> tables;
    for (int rep = 0; rep < 20; rep++) tables.push_back({9 + rep % 5, 4, {1, 2, 3, 4, 5}});
    for (int rep = 0; rep < 4; rep++) tables.push_back({150 + rep, 6, {1}});
    for (size_t rep = 0; rep < tables.size(); rep++) {
        std::uniform_int_distribution<int> u(1, tables[rep].highest);
        int n = tables[rep].n;
        Matrix d(n, std::vector<double>(n));
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++) d[i][j] = d[j][i] = u(gen);
        for (int method : tables[rep].methods)
            for (bool diss : {true, false}) {
                if (method == 3 && !diss) continue;
                SCOPED_TRACE("rep " + std::to_string(rep) + " method " + std::to_string(method) +
                             (diss ? " dissimilarities" : " similarities"));
                Records r(n);
                if (method == 3)
                    SumSqCluster(n, Rows(d), r.get(), false);
                else
                    LinkageCluster(n, Rows(d), r.get(), diss, false, method, true);
                std::vector<Step> want = Compacted(d, method, diss);
                for (int k = 0; k < n - 1; k++) {
                    ASSERT_EQ(r.Members(k), want[k].members) << "record " << k + 1;
                    double got = method == 3 ? r[k].criterion : r[k].level;
                    EXPECT_EQ(got, want[k].criterion);
                }
            }
    }
}

// ---------------------------------------------------------------------------
// Ward
// ---------------------------------------------------------------------------

TEST(Ward, HandWorkedPointsOnALine) {
    // 0, 1, 3 and 7 on a line: {0,1} (increase 0.5), then 3 joins (increase
    // 2/3 x 2.5^2), then 7; the levels are the within-group sums of squares.
    std::vector<double> x = {0, 1, 3, 7};
    Matrix d(4, std::vector<double>(4));
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) d[i][j] = std::fabs(x[i] - x[j]);
    Records r(4);
    SumSqCluster(4, Rows(d), r.get(), false);
    EXPECT_EQ(r.Members(0), (std::vector<int>{1, 2}));
    EXPECT_DOUBLE_EQ(r[0].criterion, 0.5);
    EXPECT_DOUBLE_EQ(r[0].level, 0.5);
    EXPECT_EQ(r.Members(1), (std::vector<int>{1, 2, 3}));
    EXPECT_DOUBLE_EQ(r[1].criterion, 2.0 / 3 * 6.25);
    EXPECT_DOUBLE_EQ(r[1].level, 42.0 / 9);
    EXPECT_DOUBLE_EQ(r[1].branchFirst, 42.0 / 9 - 0.5);
    EXPECT_DOUBLE_EQ(r[1].branchSecond, 42.0 / 9);
    EXPECT_EQ(r.Members(2), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_DOUBLE_EQ(r[2].criterion, 0.75 * 289.0 / 9);
    EXPECT_DOUBLE_EQ(r[2].level, 28.75);
    EXPECT_DOUBLE_EQ(r[2].branchFirst, 28.75 - 42.0 / 9);
    EXPECT_DOUBLE_EQ(r[2].branchSecond, 28.75);
}

TEST(Ward, PlainOrSquaredInputGiveTheSameRecordsAndTheInputStays) {
    Matrix d = Euclidean(RandomPoints(12, 2, 11));
    Matrix sq = d;
    for (auto& r : sq)
        for (auto& x : r) x *= x;
    Matrix keepD = d, keepSq = sq;
    Records a(12), b(12);
    SumSqCluster(12, Rows(d), a.get(), false);
    SumSqCluster(12, Rows(sq), b.get(), true);
    for (int k = 0; k < 11; k++) {
        EXPECT_EQ(a.Members(k), b.Members(k));
        EXPECT_EQ(a[k].level, b[k].level);
        EXPECT_EQ(a[k].criterion, b[k].criterion);
        EXPECT_EQ(a[k].branchFirst, b[k].branchFirst);
    }
    EXPECT_EQ(d, keepD);
    EXPECT_EQ(sq, keepSq);
}

TEST(Ward, ChainConstraintJoinsOnlyNeighbouringRuns) {
    // Points scattered in the plane, so that unconstrained Ward would join
    // entities far apart in data order.
    int n = 16;
    Matrix x = RandomPoints(n, 2, 5);
    Matrix d = Euclidean(x);
    Matrix d2 = d;
    for (auto& r : d2)
        for (auto& v : r) v *= v;
    auto adj = Chain(n);
    auto keep = adj;
    auto rows = IntRows(adj);
    Records r(n);
    SumSqClusterRestrained(n, Rows(d), rows.data(), r.get(), false);
    EXPECT_EQ(adj, keep);
    for (int k = 0; k < n - 1; k++) {
        std::vector<int> m = r.Members(k);
        // A run of consecutive entities, in order: first part then second part.
        for (size_t i = 1; i < m.size(); i++) ASSERT_EQ(m[i], m[i - 1] + 1) << "record " << k + 1;
        EXPECT_NEAR(r[k].level, Within(d2, m), 1e-9);
    }
    Records u(n);
    SumSqCluster(n, Rows(d), u.get(), false);
    bool allRuns = true;
    for (int k = 0; k < n - 1; k++) {
        std::vector<int> m = u.Members(k);
        std::sort(m.begin(), m.end());
        allRuns = allRuns && m.back() - m.front() + 1 == static_cast<int>(m.size());
    }
    EXPECT_FALSE(allRuns);  // the constraint made a difference
}

TEST(Ward, ConstraintWithoutAConnectionFallsBackToTheBestPair) {
    // Two chains 1-2-3 and 4-5 with no link: the last fusion joins them.
    Matrix d = Euclidean({{0}, {1}, {2}, {10}, {11}});
    std::vector<std::vector<int>> adj(5, std::vector<int>(5));
    adj[0][1] = adj[1][2] = adj[3][4] = 1;
    auto rows = IntRows(adj);
    Records r(5);
    SumSqClusterRestrained(5, Rows(d), rows.data(), r.get(), false);
    EXPECT_EQ(r.Members(3), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(r[3].lastOfFirst, 3);
}

TEST(Ward, CompactedMatrixUpdates) {
    // Four groups; fuse positions 1 and 2.
    Matrix m({{0, 4, 6, 8}, {0, 0, 2, 5}, {0, 0, 0, 7}, {0, 0, 0, 0}});
    Matrix keep = m;
    int sizes[4] = {1, 2, 3, 1};
    Rows rows(m);
    double** p = rows;
    double* rowB = p[2];
    FusionMatrix(4, sizes, 1, 2, p);
    // D(g, ab) = (2 D_ga + 3 D_gb) / 5 - 6 D_ab / 25 with D_ab = 2.
    EXPECT_DOUBLE_EQ(p[0][1], (2 * 4 + 3 * 6) / 5.0 - 12 / 25.0);
    EXPECT_DOUBLE_EQ(p[1][2], (2 * 5 + 3 * 7) / 5.0 - 12 / 25.0);
    EXPECT_DOUBLE_EQ(p[0][2], 8);  // group 4 moved down one place
    EXPECT_EQ(p[3], rowB);
    EXPECT_EQ(sizes[0], 1);
    EXPECT_EQ(sizes[1], 5);
    EXPECT_EQ(sizes[2], 1);

    Matrix l = keep;
    int sz[4] = {1, 2, 3, 1};
    Rows lr(l);
    double** q = lr;
    LinkageFusion(4, sz, 1, 2, q, true, 4);
    EXPECT_DOUBLE_EQ(q[0][1], (2 * 4 + 3 * 6) / 5.0);
    EXPECT_DOUBLE_EQ(q[1][2], (2 * 5 + 3 * 7) / 5.0);

    std::vector<std::vector<int>> adj = {{0, 0, 1, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {0, 0, 0, 0}};
    auto ar = IntRows(adj);
    TopologyFusion(4, sz, 0, 1, ar.data());
    EXPECT_EQ(ar[0][1], 1);  // either part was adjacent to the old position 2
    EXPECT_EQ(ar[0][2], 0);
    EXPECT_EQ(ar[1][2], 1);
}

// ---------------------------------------------------------------------------
// Hierarchical factorial clustering
// ---------------------------------------------------------------------------

// Second eigenvalue of the symmetric 2 x 2 matrix [[a, b], [b, d]].
double SecondEigen(double a, double b, double d) {
    return (a + d - std::sqrt((a - d) * (a - d) + 4 * b * b)) / 2;
}

double Dot(const std::vector<double>& x, const std::vector<double>& y) {
    double s = 0;
    for (size_t t = 0; t < x.size(); t++) s += x[t] * y[t];
    return s;
}

TEST(FactorialClustering, FusionsFollowTheSecondEigenvalueOfEachPair) {
    Matrix x = {{1, 3, 2, 5, 4}, {2, 6, 4, 9, 9}, {5, 1, 4, 2, 2}, {0, 2, 7, 1, 3}, {4, 4, 1, 6, 2}};
    int n = x.size(), p = x[0].size();
    Matrix keep = x;
    Records r(n, p, true);
    HierFactorialClustering(n, p, Rows(x), r.get());
    EXPECT_EQ(x, keep);

    // Rows centred and scaled to unit length: the pair matrix of two rows is
    // [[1, r], [r, 1]] and its second eigenvalue is 1 - |r|.
    Matrix z = x;
    for (auto& row : z) {
        double mean = 0, ss = 0;
        for (double v : row) mean += v / p;
        for (double& v : row) ss += (v - mean) * (v - mean);
        for (double& v : row) v = (v - mean) / std::sqrt(ss);
    }
    std::vector<bool> active(n, true);
    for (int k = 0; k < n - 1; k++) {
        SCOPED_TRACE("record " + std::to_string(k + 1));
        int ba = -1, bb = -1;
        double best = HUGE_VAL, first = 0;
        for (int a = 0; a < n; a++)
            for (int b = a + 1; b < n; b++) {
                if (!active[a] || !active[b]) continue;
                double aa = Dot(z[a], z[a]), ab = Dot(z[a], z[b]), bbv = Dot(z[b], z[b]);
                double e2 = SecondEigen(aa, ab, bbv);
                if (e2 < best) {
                    best = e2;
                    first = aa + bbv - e2;
                    ba = a;
                    bb = b;
                }
            }
        EXPECT_EQ(r[k].members[0], ba + 1);
        std::vector<int> m = r.Members(k);
        auto last = std::find(m.begin(), m.end(), r[k].lastOfFirst);
        ASSERT_NE(last, m.end());
        EXPECT_EQ(*(last + 1), bb + 1);
        EXPECT_NEAR(r[k].level, best, 1e-10);
        EXPECT_NEAR(r[k].criterion, first, 1e-10);
        // The merged profile: the pair's weights on the first eigenvector,
        // a unit vector (v1, v2) with (aa - e1) v1 + ab v2 = 0.
        double w1 = r[k].weightsAxis1[0], w2 = r[k].weightsAxis1[1];
        EXPECT_NEAR(w1 * w1 + w2 * w2, 1, 1e-10);
        EXPECT_NEAR((Dot(z[ba], z[ba]) - first) * w1 + Dot(z[ba], z[bb]) * w2, 0, 1e-10);
        std::vector<double> merged(p);
        for (int t = 0; t < p; t++) {
            merged[t] = w1 * z[ba][t] + w2 * z[bb][t];
            EXPECT_NEAR(r[k].scoresAxis1[t], merged[t], 1e-10);
            EXPECT_NEAR(r[k].scoresAxis2[t], r[k].weightsAxis2[0] * z[ba][t] + r[k].weightsAxis2[1] * z[bb][t],
                        1e-10);
        }
        z[ba] = merged;
        active[bb] = false;
    }
    EXPECT_EQ(r[n - 2].nMembers, n);
}

TEST(FactorialClustering, AMissingValueGivesAZeroScore) {
    Matrix x = {{1, 2, MISSING, 4}, {2, 4, 5, 8.5}, {9, 1, 3, 0}};
    Records r(3, 4, true);
    HierFactorialClustering(3, 4, Rows(x), r.get());
    ASSERT_EQ(r.Members(0), (std::vector<int>{1, 2}));
    EXPECT_EQ(r[0].scoresAxis1[2], 0);
    EXPECT_EQ(r[0].scoresAxis2[2], 0);
    EXPECT_NE(r[0].scoresAxis1[0], 0);
    EXPECT_EQ(x[0][2], MISSING);
}

}  // namespace
