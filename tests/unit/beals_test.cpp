// Beals smoothing, conditional co-occurrence values and the Beals tests.
#include <gtest/gtest.h>
#include <gsl/gsl_rng.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "iflibG.h"
#include "beals_reference.h"
#include "matrix_util.h"
#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

using bealsref::MedianOf;
using bealsref::ReferenceBealsTest;
using bealsref::Rows;

// A test table filled from rows, or with one value.
struct Table : testmat::Table {
    explicit Table(const Rows& rows)
        : testmat::Table(static_cast<int>(rows.size()), static_cast<int>(rows[0].size())) {
        for (int i = 0; i < this->rows; i++)
            for (int j = 0; j < cols; j++) x[i][j] = rows[i][j];
    }
    Table(int n, int p, double fill) : testmat::Table(n, p) {
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++) x[i][j] = fill;
    }
};

void ExpectRows(Table& t, const Rows& expected, double tol = 1e-14) {
    for (int i = 0; i < t.rows; i++)
        for (int j = 0; j < t.cols; j++) EXPECT_NEAR(t[i][j], expected[i][j], tol) << "cell " << i << "," << j;
}

// Four units, three taxa A, B, C. Joint occurrences: A 3, B 3, C 2, AB 2,
// AC 2, BC 1.
const Rows kPresence = {{1, 1, 0}, {1, 0, 1}, {1, 1, 1}, {0, 1, 0}};

TEST(ConditionalProb, JointOccurrencesByHand) {
    Table X(kPresence), M(3, 3, 7.0);
    ConditionalProb(4, 3, X.x, M.x, 0, false);
    ExpectRows(M, {{1, 2.0 / 3, 2.0 / 3}, {2.0 / 3, 1, 1.0 / 3}, {1, 0.5, 1}});
    ConditionalProb(4, 3, X.x, M.x, 0, true);
    ExpectRows(M, {{3.0 / 7, 2.0 / 7, 2.0 / 7}, {1.0 / 3, 0.5, 1.0 / 6}, {0.4, 0.2, 0.4}});
}

TEST(ConditionalProb, QuantitiesAndProductsByHand) {
    Table Y({{2, 1}, {3, 0}, {0, 4}}), M(2, 2, 0.0);
    ConditionalProb(3, 2, Y.x, M.x);  // type 1: quantity of a where b occurs
    ExpectRows(M, {{1, 0.4}, {0.2, 1}});
    ConditionalProb(3, 2, Y.x, M.x, 2);  // products, rows to unit sum
    ExpectRows(M, {{13.0 / 15, 2.0 / 15}, {2.0 / 19, 17.0 / 19}});
    ConditionalProb(3, 2, Y.x, M.x, 2, false);
    ExpectRows(M, {{13, 2}, {2, 17}});
    ConditionalProb(3, 2, Y.x, M.x, 5, false);  // no such type: nothing counted
    ExpectRows(M, {{0, 0}, {0, 0}});
    // A missing value takes no part in a pair.
    Table Z({{2, 1}, {3, MISSING}, {0, 4}});
    ConditionalProb(3, 2, Z.x, M.x, 2, false);
    ExpectRows(M, {{13, 2}, {2, 17}});
}

// A small abundance table with zeros and a missing value.
Rows Abundances() {
    return {{3, 0, 1, 2, 0, 5}, {0, 2, 2, 0, 1, 1}, {1, 1, 0, 4, 0, 0}, {2, 0, 0, 1, 3, 2},
            {0, 0, 4, 0, 2, 1}, {5, 3, 1, MISSING, 0, 2}, {0, 1, 0, 2, 2, 0}, {1, 0, 3, 0, 0, 4},
            {0, 0, 0, 0, 0, 0}};
}

TEST(ConditionalProb, TargetFormUpdatesAfterAColumnChanges) {
    for (int type = 0; type <= 2; type++)
        for (bool normalize : {false, true}) {
            Table X(Abundances()), M(6, 6, 0.0), full(6, 6, 0.0);
            ConditionalProb(9, 6, X.x, M.x, type, normalize);
            // Rearrange column 2 among the units.
            const double col[9] = {4, 0, 3, 0, 2, 1, 0, 1, 0};
            for (int i = 0; i < 9; i++) X[i][2] = col[i];
            ConditionalProb(2, 9, 6, X.x, M.x, type, normalize);
            ConditionalProb(9, 6, X.x, full.x, type, normalize);
            for (int a = 0; a < 6; a++)
                for (int b = 0; b < 6; b++)
                    EXPECT_EQ(M[a][b], full[a][b]) << "type " << type << " normalize " << normalize << " " << a << "," << b;
        }
}

// The forms without a normalize argument normalise type 2 alone; each
// gives what its longer form gives with that choice, the column update too.
TEST(BealsSmoothing, FormsWithoutNormalizeNormaliseTypeTwoAlone) {
    auto same = [](const Table& a, const Table& b, const char* what, int type) {
        for (int i = 0; i < a.rows; i++)
            for (int j = 0; j < a.cols; j++) EXPECT_EQ(a[i][j], b[i][j]) << what << " type " << type;
    };
    for (int type = 0; type <= 2; type++) {
        Table X(Abundances()), a(9, 6, 0.0), b(9, 6, 0.0), Ma(6, 6, 0.0), Mb(6, 6, 0.0);
        for (bool include : {false, true}) {
            BealsSmoothing(9, 6, X.x, X.x, a.x, include, type);
            BealsSmoothing(9, 6, X.x, X.x, b.x, include, type, type == 2);
            same(a, b, "older form", type);
            BealsSmoothing(9, 6, X.x, X.x, a.x, false, 0, Ma.x, include, type);
            BealsSmoothing(9, 6, X.x, X.x, b.x, false, 0, Mb.x, include, type, type == 2);
            same(a, b, "current form", type);
            same(Ma, Mb, "its matrix", type);
        }
        for (int i = 0; i < 9; i++) X[i][2] = i % 3;
        ConditionalProb(2, 9, 6, X.x, Ma.x, type);
        ConditionalProb(2, 9, 6, X.x, Mb.x, type, type == 2);
        same(Ma, Mb, "column update", type);
    }
}

TEST(BealsSmoothing, WithAndWithoutTheTargetByHand) {
    Table X(kPresence), out(4, 3, 0.0), M(3, 3, 0.0);
    BealsSmoothing(4, 3, X.x, X.x, out.x, false, 0, M.x, true, 0, false);
    ExpectRows(out, {{5.0 / 6, 5.0 / 6, 0.5}, {1, 7.0 / 12, 5.0 / 6}, {8.0 / 9, 13.0 / 18, 2.0 / 3},
                     {2.0 / 3, 1, 1.0 / 3}});
    ExpectRows(M, {{1, 2.0 / 3, 2.0 / 3}, {2.0 / 3, 1, 1.0 / 3}, {1, 0.5, 1}});

    // Without the target: the mean conditional value over the other taxa the
    // unit holds; unit 4 holds B alone, so B gets 0 there.
    BealsSmoothing(4, 3, X.x, X.x, out.x, false, 0, M.x, false, 0, false);
    ExpectRows(out, {{2.0 / 3, 2.0 / 3, 0.5}, {1, 7.0 / 12, 2.0 / 3}, {5.0 / 6, 7.0 / 12, 0.5},
                     {2.0 / 3, 0, 1.0 / 3}});
    ExpectRows(M, {{0, 2.0 / 3, 2.0 / 3}, {2.0 / 3, 0, 1.0 / 3}, {1, 0.5, 0}});

    // Rows scaled to unit sum without the diagonal.
    BealsSmoothing(4, 3, X.x, X.x, out.x, false, 0, nullptr, false, 0, true);
    EXPECT_NEAR(out[0][0], 2.0 / 3, 1e-14);
    EXPECT_NEAR(out[0][1], 0.5, 1e-14);
    EXPECT_NEAR(out[0][2], 5.0 / 12, 1e-14);

    // Quantities: unit 1 holds 2/3 of A and 1/3 of B.
    Table Y({{2, 1}, {3, 0}, {0, 4}}), outY(3, 2, 0.0);
    BealsSmoothing(3, 2, Y.x, Y.x, outY.x, false, 0, nullptr, true, 1, false);
    EXPECT_NEAR(outY[0][0], 11.0 / 15, 1e-14);
    EXPECT_NEAR(outY[0][1], 9.0 / 15, 1e-14);
}

TEST(BealsSmoothing, EmptyRowsMissingCellsAndInPlace) {
    Rows rows = kPresence;
    rows.push_back({0, 0, 0});
    Table X(rows), out(5, 3, 9.0);
    for (bool include : {true, false}) {
        BealsSmoothing(5, 3, X.x, X.x, out.x, false, 0, nullptr, include, 0, false);
        for (int j = 0; j < 3; j++) EXPECT_EQ(out[4][j], 0.0);  // total 0, divided by 1
    }
    EXPECT_NEAR(out[0][0], 2.0 / 3, 1e-14);

    // Unit 5 holds A and C, B is missing there: B's value is the mean of the
    // conditional values of A and C, not divided by 1 - (-999).
    rows = kPresence;
    rows.push_back({1, MISSING, 1});
    Table Z(rows), outZ(5, 3, 0.0);
    BealsSmoothing(5, 3, Z.x, Z.x, outZ.x, false, 0, nullptr, false, 0, false);
    EXPECT_NEAR(outZ[4][0], 1.0, 1e-14);
    EXPECT_NEAR(outZ[4][1], 5.0 / 12, 1e-14);
    EXPECT_NEAR(outZ[4][2], 0.75, 1e-14);

    // The transformation smooths the table in place.
    Table Y(kPresence);
    BealsSmoothing(4, 3, Y.x, Y.x, Y.x, false, 0, nullptr, false, 0, false);
    ExpectRows(Y, {{2.0 / 3, 2.0 / 3, 0.5}, {1, 7.0 / 12, 2.0 / 3}, {5.0 / 6, 7.0 / 12, 0.5},
                   {2.0 / 3, 0, 1.0 / 3}});
}

TEST(BealsSmoothing, OlderFormsByHand) {
    Table X(kPresence), a(4, 3, 0.0), b(4, 3, 0.0);
    // Type 1 without normalisation: the same as the current form.
    for (bool include : {true, false}) {
        BealsSmoothing(4, 3, X.x, X.x, a.x, include);
        BealsSmoothing(4, 3, X.x, X.x, b.x, false, 0, nullptr, include, 1, false);
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 3; j++) EXPECT_NEAR(a[i][j], b[i][j], 1e-14);
    }
    // With normalisation each conditional value m becomes m / (1 - m):
    // rows A (0, 2/5, 2/5), B (1/2, 0, 1/5), C (2/3, 1/4, 0).
    BealsSmoothing(4, 3, X.x, X.x, a.x, false, 0, true);
    EXPECT_NEAR(a[0][0], 0.5, 1e-14);
    EXPECT_NEAR(a[0][1], 0.4, 1e-14);
    EXPECT_NEAR(a[0][2], 0.3, 1e-14);
    EXPECT_EQ(a[3][1], 0.0);
}

TEST(BealsSmoothing, TestModeGivesTheColumnOfTheWholeSmoothing) {
    for (int type = 0; type <= 2; type++)
        for (bool normalize : {false, true})
            for (bool include : {false, true})
                for (int t : {0, 3, 5}) {
                    Table X(Abundances()), full(9, 6, 0.0), out(9, 6, 42.0);
                    // Permute the taxon's values: every row total changes.
                    const int list[9] = {4, 1, 8, 2, 3, 7, 5, 6, 9};
                    std::vector<double> col(9);
                    for (int i = 0; i < 9; i++) col[i] = X[list[i] - 1][t];
                    if (t == 3) std::swap(col[5], col[1]);  // keep the missing value in its unit
                    for (int i = 0; i < 9; i++) X[i][t] = col[i];
                    BealsSmoothing(9, 6, X.x, X.x, full.x, false, 0, nullptr, include, type,
                                   normalize);
                    BealsSmoothing(9, 6, X.x, X.x, out.x, true, t, nullptr, include, type,
                                   normalize);
                    for (int i = 0; i < 9; i++)
                        for (int j = 0; j < 6; j++) {
                            if (j == t)
                                EXPECT_NEAR(out[i][j], full[i][j], 1e-13)
                                    << type << normalize << include << " taxon " << t << " unit " << i;
                            else
                                EXPECT_EQ(out[i][j], 42.0);
                        }
                }
}

// Smoothings of one table with several option sets share its raw counts:
// smoothing from them gives the same bits as smoothing the table, in place
// too, and leaves them as they were; presences count alike for types 0 and 1.
TEST(BealsSmoothing, FromTheCountsOfItsTableGivesTheSameBits) {
    Table P(kPresence), Y({{2, 1}, {3, 0}, {0, 4}}), C(3, 3, 7.0), D(2, 2, 7.0);
    CooccurrenceCounts(4, 3, P.x, C.x, 0);
    ExpectRows(C, {{3, 2, 2}, {2, 3, 1}, {2, 1, 2}}, 0);
    CooccurrenceCounts(3, 2, Y.x, D.x, 1);
    ExpectRows(D, {{5, 2}, {1, 5}}, 0);
    Rows presences = kPresence;
    presences.push_back({1, MISSING, 0});
    presences.push_back({0, 0, 0});
    for (const Rows& rows : {Abundances(), presences})
        for (int type = 0; type <= 2; type++)
            for (bool include : {false, true})
                for (bool normalize : {false, true}) {
                    const int n = static_cast<int>(rows.size()), p = static_cast<int>(rows[0].size());
                    const int alike = rows == presences && type < 2 ? 1 - type : type;
                    Table X(rows), counts(p, p, 0.0), again(p, p, 0.0), out(n, p, 0.0), M(p, p, 0.0);
                    Table Mc(p, p, 0.0);
                    CooccurrenceCounts(n, p, X.x, counts.x, type);
                    BealsSmoothing(n, p, X.x, X.x, out.x, false, 0, M.x, include, type, normalize);
                    BealsSmoothingOfCounts(n, p, X.x, counts.x, X.x, Mc.x, include, type, normalize);
                    CooccurrenceCounts(n, p, Table(rows).x, again.x, alike);
                    for (int i = 0; i < n; i++)
                        for (int j = 0; j < p; j++) EXPECT_EQ(X[i][j], out[i][j]) << type << include << normalize;
                    for (int a = 0; a < p; a++)
                        for (int b = 0; b < p; b++) {
                            EXPECT_EQ(Mc[a][b], M[a][b]) << type << include << normalize;
                            EXPECT_EQ(again[a][b], counts[a][b]) << type << alike;
                        }
                }
}

// ---------------------------------------------------------------------------
// Permutation tests
// ---------------------------------------------------------------------------

class BealsTestFixture : public testing::Test {
protected:
    void SetUp() override {
        sink_ = fopen("/dev/null", "w");
        SetProgressStream(sink_);
    }
    void TearDown() override {
        SetProgressStream(nullptr);
        fclose(sink_);
        omp_set_num_threads(1);
    }
    FILE* sink_ = nullptr;
};

// Presence/absence of 14 units and 7 taxa. Taxon 5 occurs wherever it is
// known, taxon 6 nowhere; unit 13 holds nothing (it takes part in no
// permutation).
Rows PresenceTable() {
    const double M = MISSING;
    return {{1, 0, 1, 0, 1, 1, 0}, {0, 1, 1, 0, 0, 1, 0}, {1, 1, 0, 1, 0, 1, 0}, {0, 0, 1, 1, 1, 1, 0},
            {1, 0, 0, 0, 1, 1, 0}, {0, 1, 0, 1, 1, 1, 0}, {1, 1, 1, 0, 0, 1, 0}, {0, 0, 0, 1, 0, 1, 0},
            {1, 0, 1, 1, 0, 1, 0}, {0, 1, 0, 0, 1, 1, 0}, {1, 1, 0, 0, 1, 1, 0}, {0, 0, 1, 0, 0, 1, 0},
            {1, 0, 0, 1, 1, 1, 0}, {0, 0, 0, 0, 0, M, 0}};
}

// Abundances of the same design: distinct values, so that no two different
// permuted tables give statistics equal to the last digits.
Rows AbundanceTable() {
    Rows rows = PresenceTable();
    for (int i = 0; i < 13; i++)
        for (int j = 0; j < 6; j++)
            if (rows[i][j] > 0) rows[i][j] = 1 + ((i * 7 + j * 13) % 17) * 0.37 + 0.011 * i;
    rows[4][2] = MISSING;
    return rows;
}

double PearsonOf(const std::vector<double>& x, const std::vector<double>& y) {
    double mx = 0, my = 0;
    for (size_t i = 0; i < x.size(); i++) mx += x[i], my += y[i];
    mx /= x.size();
    my /= y.size();
    double sxy = 0, sxx = 0, syy = 0;
    for (size_t i = 0; i < x.size(); i++) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
        syy += (y[i] - my) * (y[i] - my);
    }
    return sxy / std::sqrt(sxx * syy);
}

// statistic 1 median, 2 mean, 3 correlation over the units that take part.
double StatisticOf(int statistic, const std::vector<double>& x, const std::vector<double>& s,
                   const std::vector<int>& take) {
    std::vector<double> pres, abs, xt, st;
    for (size_t i = 0; i < x.size(); i++) {
        if (x[i] > 0) pres.push_back(s[i]);
        if (x[i] == 0) abs.push_back(s[i]);
        if (take[i]) xt.push_back(x[i]), st.push_back(s[i]);
    }
    if (statistic == 3) return PearsonOf(xt, st);
    if (statistic == 1) return MedianOf(pres) - MedianOf(abs);
    double a = 0, b = 0;
    for (double v : pres) a += v;
    for (double v : abs) b += v;
    return a / pres.size() - b / abs.size();
}

// The test done the slow way: every permuted table smoothed anew, lists drawn
// taxon after taxon with the units that take part.
void BruteForce(const Rows& rows, int nPerm, int type, bool normalize, int statistic, unsigned seed,
                std::vector<double>& stat, std::vector<double>& prob) {
    const int n = static_cast<int>(rows.size()), p = static_cast<int>(rows[0].size());
    InitRndNumberGenerator(seed);
    Table X(rows), S1(n, p, 0.0), S2(n, p, 0.0), Xp(n, p, 0.0), Sp(n, p, 0.0);
    BealsSmoothing(n, p, X.x, X.x, S1.x, false, 0, nullptr, true, type, normalize);
    BealsSmoothing(n, p, X.x, X.x, S2.x, false, 0, nullptr, false, type, normalize);
    stat.assign(p, MISSING);
    prob.assign(p, 1.0);
    for (int t = 0; t < p; t++) {
        std::vector<int> take(n);
        std::vector<double> x(n), s(n);
        int nPres = 0, nAbs = 0;
        for (int i = 0; i < n; i++) {
            take[i] = rows[i][t] != MISSING && S1[i][t] != 0;
            x[i] = rows[i][t];
            s[i] = S2[i][t];
            nPres += x[i] > 0;
            nAbs += x[i] == 0;
        }
        bool testable = statistic == 3 ? true : nPres > 0 && nAbs > 0;
        if (statistic == 3) {
            std::vector<double> xt;
            for (int i = 0; i < n; i++)
                if (take[i]) xt.push_back(x[i]);
            testable = xt.size() >= 2 &&
                       std::count(xt.begin(), xt.end(), xt[0]) != static_cast<long>(xt.size());
        }
        double observed = testable ? StatisticOf(statistic, x, s, take) : MISSING;
        int count = 1;
        for (int k = 2; k <= nPerm; k++) {
            std::vector<int> list(n);
            for (int i = 0; i < n; i++) list[i] = i + 1;
            RndListSelect(n, list.data(), take.data());
            if (!testable) continue;
            for (int i = 0; i < n; i++)
                for (int j = 0; j < p; j++) Xp[i][j] = j == t ? rows[list[i] - 1][t] : rows[i][j];
            BealsSmoothing(n, p, Xp.x, Xp.x, Sp.x, false, 0, nullptr, false, type, normalize);
            std::vector<double> xp(n), sp(n);
            for (int i = 0; i < n; i++) xp[i] = Xp[i][t], sp[i] = Sp[i][t];
            if (IsLargerThanOrEqual(StatisticOf(statistic, xp, sp, take), observed, 1, false)) count++;
        }
        if (testable) {
            stat[t] = observed;
            prob[t] = static_cast<double>(count) / nPerm;
        }
    }
}

// BealsTest_Partial against the slow way for every type, normalisation and
// statistic, seeded with seedBase + type.
void ExpectPartialTestAsTheSlowWay(const Rows& rows, int nPerm, unsigned seedBase) {
    const int n = static_cast<int>(rows.size()), p = static_cast<int>(rows[0].size());
    for (int type = 0; type <= 2; type++)
        for (bool normalize : {false, true})
            for (int statistic : {1, 2}) {
                std::vector<double> bStat, bProb;
                BruteForce(rows, nPerm, type, normalize, statistic, seedBase + type, bStat, bProb);
                Table X(rows);
                std::vector<double> stat(p), prob(p);
                InitRndNumberGenerator(seedBase + type);
                BealsTest_Partial(n, p, nPerm, X.x, stat.data(), prob.data(), type, normalize, statistic);
                for (int t = 0; t < p; t++) {
                    EXPECT_NEAR(stat[t], bStat[t], 1e-12) << type << normalize << statistic << " taxon " << t;
                    EXPECT_EQ(prob[t], bProb[t]) << type << normalize << statistic << " taxon " << t;
                }
            }
}

TEST_F(BealsTestFixture, PartialTestAgreesWithSmoothingEveryPermutedTable) {
    const Rows rows = AbundanceTable();
    ExpectPartialTestAsTheSlowWay(rows, 40, 900);
    // Taxa 5 (present wherever known) and 6 (nowhere) cannot be tested.
    Table X(rows);
    std::vector<double> stat(7), prob(7);
    for (int statistic : {1, 2}) {
        BealsTest_Partial(14, 7, 40, X.x, stat.data(), prob.data(), 1, false, statistic);
        for (int t : {5, 6}) {
            EXPECT_EQ(stat[t], MISSING);
            EXPECT_EQ(prob[t], 1.0);
        }
    }
}

TEST_F(BealsTestFixture, TablesWithMoreTaxaThanUnitsAgreeWithTheSlowWay) {
    // No more units than taxa: the permutations are evaluated another way
    // than on the tall tables above.
    const double M = MISSING;
    ExpectPartialTestAsTheSlowWay({{1.5, 0, 2.25, 0, 1, 3.5, 0, 0.75, 1.25, 0},
                                   {0, 2.5, 1.75, 0, 0, 1, 2, 0, 0.5, 0},
                                   {3, 1.25, 0, 2.75, 0, 0, 1.5, 0.25, 0, 0},
                                   {0, 0, 1, 1.5, 2.5, 0, M, 0, 2, 0},
                                   {2, 0, 0, 0, 1.75, 0.5, 0, 3.25, 0, 0},
                                   {0, 1.5, 0.25, 2, 0, 2.25, 1, 0, 0.75, 0},
                                   {1, 0.5, 0, 0, 3, 1.25, 0, 2.5, 0, 1}},
                                  60, 300);
}

TEST_F(BealsTestFixture, WholeTableAndCorrelationFormsAgreeWithTheSlowWay) {
    const Rows rows = PresenceTable();
    const int n = 14, p = 7, nPerm = 30;
    for (int type = 0; type <= 2; type++) {
        std::vector<double> bStat, bProb, stat(p), prob(p), stat2(p), prob2(p);
        Table X(rows);
        BruteForce(rows, nPerm, type, type == 2, 2, 77, bStat, bProb);
        InitRndNumberGenerator(77);
        BealsTest(n, p, nPerm, X.x, stat.data(), prob.data(), type);
        InitRndNumberGenerator(77);
        BealsTest_Partial(n, p, nPerm, X.x, stat2.data(), prob2.data(), type);
        for (int t = 0; t < p; t++) {
            EXPECT_NEAR(stat[t], bStat[t], 1e-12);
            EXPECT_EQ(prob[t], bProb[t]);
            EXPECT_NEAR(stat2[t], bStat[t], 1e-12);
            EXPECT_EQ(prob2[t], bProb[t]);
        }
        BruteForce(rows, nPerm, type, type == 2, 3, 78, bStat, bProb);
        InitRndNumberGenerator(78);
        BealsTestBSA(n, p, nPerm, X.x, stat.data(), prob.data(), type);
        for (int t = 0; t < p; t++) {
            EXPECT_NEAR(stat[t], bStat[t], 1e-12) << "taxon " << t;
            EXPECT_EQ(prob[t], bProb[t]) << "taxon " << t;
        }
    }
}

TEST_F(BealsTestFixture, SameResultsOnOneThreadAndOnSeveral) {
    const Rows rows = AbundanceTable();
    const int n = 14, p = 7, nPerm = 60;
    for (int statistic : {1, 2, 3}) {
        std::vector<double> stat1(p), prob1(p), stat3(p), prob3(p);
        for (int threads : {1, 3}) {
            omp_set_num_threads(threads);
            Table X(rows);
            InitRndNumberGenerator(31337);
            double* s = threads == 1 ? stat1.data() : stat3.data();
            double* pr = threads == 1 ? prob1.data() : prob3.data();
            if (statistic == 3)
                BealsTestBSA(n, p, nPerm, X.x, s, pr, 1);
            else
                BealsTest_Partial(n, p, nPerm, X.x, s, pr, 1, true, statistic);
        }
        EXPECT_EQ(stat1, stat3);
        EXPECT_EQ(prob1, prob3);
        // The generator ends where the one-thread draws leave it.
        std::vector<double> b1, b2;
        BruteForce(rows, nPerm, 1, true, statistic, 31337, b1, b2);
        unsigned long afterBrute = gsl_rng_get(r);
        omp_set_num_threads(3);
        Table X(rows);
        InitRndNumberGenerator(31337);
        BealsTest_Partial(n, p, nPerm, X.x, stat3.data(), prob3.data(), 1, true, 2);
        EXPECT_EQ(gsl_rng_get(r), afterBrute);
    }
}

TEST_F(BealsTestFixture, OnePermutationDrawsNothing) {
    Table X(PresenceTable());
    std::vector<double> stat(7), prob(7);
    for (int nPerm : {1, 0, -5}) {
        InitRndNumberGenerator(4);
        BealsTest_Partial(14, 7, nPerm, X.x, stat.data(), prob.data(), 0, false, 2);
        for (int t = 0; t < 7; t++) EXPECT_EQ(prob[t], 1.0);
        EXPECT_NE(stat[0], MISSING);
        gsl_rng* fresh = gsl_rng_alloc(gsl_rng_mt19937);
        gsl_rng_set(fresh, 4);
        EXPECT_EQ(gsl_rng_get(r), gsl_rng_get(fresh));
        gsl_rng_free(fresh);
    }
}

TEST_F(BealsTestFixture, StrongAssociationGivesASmallProbability) {
    // Taxa 0 and 1 always occur together, in half of the units; taxon 2 is
    // spread evenly. Taxon 1's presence is what the others predict.
    Rows rows;
    for (int i = 0; i < 20; i++) {
        double a = i < 10 ? 1 : 0;
        rows.push_back({a, a, static_cast<double>(i % 2), 1.0 - a});
    }
    Table X(rows);
    std::vector<double> stat(4), prob(4);
    InitRndNumberGenerator(2);
    BealsTest_Partial(20, 4, 199, X.x, stat.data(), prob.data(), 0, false, 2);
    EXPECT_GT(stat[1], 0.5);
    EXPECT_LT(prob[1], 0.02);
    EXPECT_GT(prob[2], 0.1);
}

TEST_F(BealsTestFixture, PresenceAbsenceTestAgreesWithItsDefinition) {
    const Rows rows = PresenceTable();
    const int n = 14, p = 7, nPerm = 99;
    for (int statistic : {1, 2})
        for (int threads : {1, 3}) {
            omp_set_num_threads(threads);
            std::vector<double> rStat, rProb, stat(p), prob(p);
            ReferenceBealsTest(rows, nPerm, statistic, 606, rStat, rProb);
            Table X(rows);
            InitRndNumberGenerator(606);
            BealsTest_Partial(n, p, nPerm, X.x, stat.data(), prob.data(), 0, false, statistic);
            for (int t = 0; t < p; t++) {
                EXPECT_NEAR(stat[t], rStat[t], 1e-12) << "statistic " << statistic << " taxon " << t;
                EXPECT_EQ(prob[t], rProb[t]) << "statistic " << statistic << " taxon " << t;
            }
        }
}

}  // namespace
