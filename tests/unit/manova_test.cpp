// The permutation MANOVA engine against a reference loop written out in the
// test: the lists replayed on a private MT19937 in the one-thread order, the
// sums of squares added pair by pair over the permuted positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <sstream>
#include <string>

#include "iflibG.h"
#include "manova_util.h"
#include "rhlibDim.h"
#include "rhlib_M.h"
#include "stream_util.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

using namespace manovatest;

// Contrast coefficients owned by a test: [factor][contrast][group].
struct Contrasts {
    std::vector<std::vector<std::vector<double>>> coef;
    std::vector<std::vector<double*>> rows;
    std::vector<double**> factors;
    Ints count;
    // Every factor of in gets an entry (none for those not given).
    void Attach(manovaInput& in) {
        coef.resize(in.nFactors);
        rows.clear();
        factors.clear();
        count.clear();
        for (auto& f : coef) {
            rows.emplace_back();
            for (auto& c : f) rows.back().push_back(c.data());
            count.push_back(static_cast<int>(f.size()));
        }
        for (auto& r : rows) factors.push_back(r.data());
        in.doContrasts = true;
        in.contrastCoef = factors.data();
        in.nContrasts = count.data();
    }
};

// Restores the team of every processor after a test that changed it.
struct TeamGuard {
    ~TeamGuard() { InitMultiprocessing(0); }
};

// Two factors and two contrasts of A, one of B; counts of every statistic
// after N permutations, from the engine (P x N) and from the reference.
TEST(ManovaEngine, CountsEqualThoseOfTheReferenceLoop) {
    for (bool pseudoF : {false, true}) {
        SCOPED_TRACE(pseudoF ? "pseudo-F" : "Qb");
        const Ints A = {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 1, 3, 3};
        const Ints B = {1, 1, 1, 2, 2, 2, 1, 1, 1, 2, 2, 2, 1, 2, 2, 1, 2};
        const int N = 150;
        Design d({A, B}, 2024, N);
        Contrasts con;
        con.coef = {{{1, -1, 0}, {1, 1, -2}}, {{1, -1}}};
        con.Attach(d.in);
        d.in.pseudoF = pseudoF;
        RandomizationTestManova test(&d.in);
        ASSERT_FALSE(test.Refused());
        manovaResults* res = test.GetManovaResults();

        // The reference: statistics of a main list and of one list per contrast.
        const int n = d.n;
        auto sideOf = [&](int f, int c, int a) {
            const double x = con.coef[f][c][d.factors[f][a] - 1];
            return x > 0 ? 0 : (x < 0 ? 1 : -1);
        };
        struct Stats {
            double a, b, ab, cells, qw;
            std::vector<double> contrast;
        };
        auto stats = [&](const Ints& list, const std::vector<Ints>& clists, const Stats* obs) {
            Stats s;
            s.a = ListQb(d, list, [&](int a) { return A[a]; });
            s.b = ListQb(d, list, [&](int a) { return B[a]; });
            s.cells = ListQb(d, list, [&](int a) { return A[a] * 10 + B[a]; });
            s.ab = s.cells - s.a - s.b;
            s.qw = ListQ(d, list, [](int) { return true; }) - s.cells;
            int c = 0;
            for (int f = 0; f < 2; f++)
                for (size_t ci = 0; ci < con.coef[f].size(); ci++, c++) {
                    const Ints& cl = clists[c];
                    const double q0 = ListQ(d, cl, [&](int a) { return sideOf(f, ci, a) >= 0; });
                    const double qp = ListQ(d, cl, [&](int a) { return sideOf(f, ci, a) == 0; });
                    const double qn = ListQ(d, cl, [&](int a) { return sideOf(f, ci, a) == 1; });
                    double stat = q0 - qp - qn;
                    const double qwc = obs ? obs->contrast[2 * c + 1] : qp + qn;
                    if (pseudoF && qwc > 0) stat /= qp + qn;
                    s.contrast.push_back(stat);
                    s.contrast.push_back(qp + qn);
                }
            const double qw = obs ? obs->qw : s.qw;
            if (pseudoF && qw > 0) s.a /= s.qw, s.b /= s.qw, s.ab /= s.qw, s.cells /= s.qw;
            return s;
        };
        Ints identity(n);
        for (int i = 0; i < n; i++) identity[i] = i + 1;
        const Stats obs = stats(identity, std::vector<Ints>(3, identity), nullptr);
        EXPECT_NEAR(res->Qb[0][0], obs.a, 1e-9);
        EXPECT_NEAR(res->Qb[1][1], obs.b, 1e-9);
        EXPECT_NEAR(res->Qb[0][1], obs.ab, 1e-9);
        EXPECT_NEAR(res->Qb[2][2], obs.cells, 1e-9);
        EXPECT_NEAR(res->Qb[3][3], ListQ(d, identity, [](int) { return true; }), 1e-9);

        Replay rep(2024);
        std::vector<double> count(4 + 3, 1.0);
        auto tally = [&](int slot, double rnd, double o) {
            if (IsLargerThanOrEqual(rnd, o, 1, false)) count[slot]++;
        };
        for (int p = 1; p < N; p++) {
            const Ints list = rep.Permutation(n);
            std::vector<Ints> clists;
            for (int f = 0; f < 2; f++)
                for (size_t ci = 0; ci < con.coef[f].size(); ci++) {
                    std::vector<bool> sel(n);
                    for (int a = 0; a < n; a++) sel[a] = sideOf(f, ci, a) >= 0;
                    clists.push_back(rep.Select(sel));
                }
            const Stats s = stats(list, clists, &obs);
            tally(0, s.a, obs.a);
            tally(1, s.b, obs.b);
            tally(2, s.ab, obs.ab);
            tally(3, s.cells, obs.cells);
            for (int c = 0; c < 3; c++) tally(4 + c, s.contrast[2 * c], obs.contrast[2 * c]);
        }
        EXPECT_DOUBLE_EQ(res->P[0][0] * N, count[0]);
        EXPECT_DOUBLE_EQ(res->P[1][1] * N, count[1]);
        EXPECT_DOUBLE_EQ(res->P[0][1] * N, count[2]);
        EXPECT_DOUBLE_EQ(res->P[2][2] * N, count[3]);
        EXPECT_DOUBLE_EQ(res->contrasts[0][0][1] * N, count[4]);
        EXPECT_DOUBLE_EQ(res->contrasts[0][1][1] * N, count[5]);
        EXPECT_DOUBLE_EQ(res->contrasts[1][0][1] * N, count[6]);
        EXPECT_NEAR(res->contrasts[0][1][0], obs.contrast[2], 1e-9);
        EXPECT_NEAR(res->contrasts[0][1][2], obs.contrast[3], 1e-9);
        // Some of them must be neither 1 / N nor 1, or the comparison says little.
        EXPECT_GT(count[0], 1.0);
        EXPECT_LT(count[0], N);
    }
}

// Two groups of four: 8! arrangements, few enough to enumerate.
TEST(ManovaEngine, PWithinThreeStandardErrorsOfTheExactP) {
    const Ints groups = {1, 1, 1, 1, 2, 2, 2, 2};
    const int N = 3000;
    Design d({groups}, 77, N);
    Ints list = {1, 2, 3, 4, 5, 6, 7, 8};
    auto qb = [&](const Ints& l) { return ListQb(d, l, [&](int a) { return groups[a]; }); };
    const double observed = qb(list);
    long long extreme = 0, all = 0;
    do {
        extreme += IsLargerThanOrEqual(qb(list), observed, 1, false);
        all++;
    } while (std::next_permutation(list.begin(), list.end()));
    const double exact = static_cast<double>(extreme) / all;
    RandomizationTestManova test(&d.in);
    const double P = test.GetManovaResults()->P[0][0];
    EXPECT_GT(exact, 0.03);
    EXPECT_LT(exact, 0.97);
    EXPECT_NEAR(P, exact, 3 * std::sqrt(exact * (1 - exact) / N) + 1.0 / N);
}

// The results of a run, compared whole.
std::vector<double> Everything(RandomizationTestManova& t, int k, const Contrasts* con) {
    manovaResults* r = t.GetManovaResults();
    std::vector<double> v;
    for (int i = 0; i < k + 2; i++)
        for (int j = 0; j < k + 2; j++) v.push_back(r->Qb[i][j]), v.push_back(r->P[i][j]);
    v.push_back(r->Qb3);
    v.push_back(r->P3);
    if (con)
        for (size_t f = 0; f < con->coef.size(); f++)
            for (size_t c = 0; c < con->coef[f].size(); c++)
                for (int x = 0; x < 3; x++) v.push_back(r->contrasts[f][c][x]);
    return v;
}

TEST(ManovaEngine, IdenticalResultsOnAnyNumberOfThreads) {
    TeamGuard guard;
    const Ints A = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3};
    const Ints B = {1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2};
    const Ints C = {1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2};
    Ints blocks(24), bundles(24), unequal(A);
    for (int i = 0; i < 24; i++) blocks[i] = i / 12 + 1, bundles[i] = i / 2 + 1;
    unequal[0] = unequal[1] = 3;  // groups of 6, 8 and 10
    struct Case {
        const char* name;
        std::function<void(Design&, Contrasts&)> set;
    };
    const std::vector<Case> cases = {
        {"nesting and contrasts",
         [&](Design& d, Contrasts& c) {
             d.in.nested = true;
             d.in.nestGroups = blocks.data();
             c.coef = {{{1, -1, 0}, {2, -1, -1}}, {{1, -1}}};
             c.Attach(d.in);
         }},
        {"bundles across the table", [&](Design& d, Contrasts&) {
             d.in.permuteBundles = true;
             d.in.bundleGroups = bundles.data();
         }},
        {"bundles within nesting groups",
         [&](Design& d, Contrasts& c) {
             d.in.nested = d.in.permuteBundles = d.in.bundlesOnly = true;
             d.in.nestGroups = blocks.data();
             d.in.bundleGroups = bundles.data();
             c.coef = {{{1, 0, -1}}, {{-1, 1}}};
             c.Attach(d.in);
         }},
        {"synchronized", [&](Design& d, Contrasts&) {
             d.in.nested = d.in.synchronized = true;
             d.in.nestGroups = blocks.data();
         }},
        {"balancing", [&](Design& d, Contrasts& c) {
             d.factors[0] = unequal;
             d.memb[0] = d.factors[0].data();
             d.in.balance = true;
             c.coef = {{{1, -1, 0}, {1, 1, -1}}, {}};
             c.Attach(d.in);
         }},
        {"blocks and pseudo-F", [&](Design& d, Contrasts&) {
             d.in.pseudoF = d.in.firstFactorBlocks = d.in.nested = true;
             d.in.nestingFactor = 1;
             d.in.nestGroups = d.factors[0].data();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> first;
        for (int threads : {1, 2, 3, 8}) {
            InitMultiprocessing(threads);
            Design d({A, B, C}, 5, 81);
            Contrasts con;
            c.set(d, con);
            RandomizationTestManova test(&d.in);
            ASSERT_FALSE(test.Refused());
            std::vector<double> all = Everything(test, 3, d.in.doContrasts ? &con : nullptr);
            if (first.empty())
                first = all;
            else
                EXPECT_EQ(all, first) << threads << " threads";
        }
    }
}

// The lists of a saved run, read back from the blocks of its report.
std::vector<Ints> PrintedLists(const std::string& report, int n) {
    std::vector<Ints> lists;
    const std::string key = "Random permutation of sampling unit vectors:\t";
    for (size_t at = report.find(key); at != std::string::npos; at = report.find(key, at + 1)) {
        std::istringstream line(report.substr(at + key.size(), report.find('\n', at + key.size()) - at - key.size()));
        Ints list;
        std::string label;
        while (line >> label) list.push_back(std::stoi(label.substr(1)));
        EXPECT_EQ(static_cast<int>(list.size()), n);
        lists.push_back(list);
    }
    return lists;
}

TEST(ManovaEngine, ListsKeepNestingGroupsAndMoveBundlesWhole) {
    TeamGuard guard;
    const int n = 16, N = 40;
    Ints A(n), blocks(n), bundles(n);
    for (int i = 0; i < n; i++) A[i] = i % 2 + 1, blocks[i] = i / 8 + 1, bundles[i] = i / 4 + 1;
    for (int mode = 0; mode < 3; mode++) {
        Design d({A}, 31 + mode, N);
        d.in.nested = mode != 1;
        d.in.permuteBundles = mode != 0;
        d.in.bundlesOnly = mode == 2;
        d.in.nestGroups = blocks.data();
        d.in.bundleGroups = bundles.data();
        d.in.printEachPermutation = true;
        std::string report = Printed([&](FILE* f) {
            d.in.report = f;
            RandomizationTestManova test(&d.in);
        });
        const std::vector<Ints> lists = PrintedLists(report, n);
        ASSERT_EQ(static_cast<int>(lists.size()), N) << mode;
        int moved = 0;
        for (const Ints& list : lists) {
            Ints sorted = list;
            std::sort(sorted.begin(), sorted.end());
            for (int a = 0; a < n; a++) ASSERT_EQ(sorted[a], a + 1);
            for (int a = 0; a < n; a++) {
                const int u = list[a] - 1;
                if (mode != 1) {
                    EXPECT_EQ(blocks[u], blocks[a]) << "unit " << u + 1 << " left its nesting group";
                }
                // A bundle's positions hold a whole bundle, in its order.
                if (mode != 0) {
                    EXPECT_EQ(bundles[u], bundles[list[a - a % 4] - 1]);
                    EXPECT_EQ(u % 4, a % 4);
                }
                moved += u != a;
            }
        }
        EXPECT_GT(moved, 0) << mode;
    }
}

TEST(ManovaEngine, DegenerateDesignsAndTheCallersMatrix) {
    const int N = 60;
    // One factor: the cells are the factor's groups and are not tested.
    Design one({{1, 1, 2, 2, 3, 3, 3}}, 3, N);
    RandomizationTestManova t1(&one.in);
    EXPECT_DOUBLE_EQ(t1.GetManovaResults()->P[1][1], 1.0 / N);
    EXPECT_NEAR(t1.GetManovaResults()->Qb[1][1], t1.GetManovaResults()->Qb[0][0], 1e-12);

    // One group, or every unit its own group: nothing can differ, P = 1.
    for (const Ints& g : {Ints{4, 4, 4, 4, 4}, Ints{1, 2, 3, 4, 5}}) {
        Design d({g}, 9, N);
        RandomizationTestManova t(&d.in);
        EXPECT_DOUBLE_EQ(t.GetManovaResults()->P[0][0], 1.0);
        d.in.pseudoF = true;  // Qw = 0 for the second: F stays Qb
        RandomizationTestManova f(&d.in);
        EXPECT_DOUBLE_EQ(f.GetManovaResults()->Qb[0][0], t.GetManovaResults()->Qb[0][0]);
    }

    // The lower triangle is read; afterwards the upper one holds it too.
    Design d({{1, 2, 1, 2, 1, 2, 3, 3}}, 12, N);
    RandomizationTestManova before(&d.in);
    const double qb = before.GetManovaResults()->Qb[0][0];
    for (int i = 0; i < d.n; i++)
        for (int j = i + 1; j < d.n; j++) d.D[i][j] = 1e6 + i;
    RandomizationTestManova after(&d.in);
    EXPECT_DOUBLE_EQ(after.GetManovaResults()->Qb[0][0], qb);
    for (int i = 0; i < d.n; i++)
        for (int j = 0; j < i; j++) EXPECT_EQ(d.D[j][i], d.D[i][j]);
}

TEST(ManovaEngine, LabelsAndContrastCoefficientsOnlyAsTheyShouldCount) {
    const Ints base = {1, 2, 3, 1, 2, 3, 1, 2, 3, 3, 2};
    Ints shifted(base);
    for (int& g : shifted) g = (g - 1) * 10;
    std::vector<std::vector<double>> results;
    for (const Ints& g : {base, shifted}) {
        for (double first : {1.0, 2.0}) {
            Design d({g}, 41, 99);
            Contrasts con;
            con.coef = {{{first, -1, -1}}};
            con.Attach(d.in);
            RandomizationTestManova t(&d.in);
            results.push_back(Everything(t, 1, &con));
        }
    }
    for (size_t r = 1; r < results.size(); r++) EXPECT_EQ(results[r], results[0]) << r;
}

TEST(ManovaEngine, TenFactorsRun) {
    const int n = 14, k = 10;
    std::vector<Ints> factors(k, Ints(n));
    for (int f = 0; f < k; f++)
        for (int i = 0; i < n; i++) factors[f][i] = ((i * (f + 3)) / 4 + f) % 2 + 1;
    Design d(factors, 8, 20);
    RandomizationTestManova t(&d.in);
    ASSERT_FALSE(t.Refused());
    manovaResults* r = t.GetManovaResults();
    Ints list(n);
    for (int i = 0; i < n; i++) list[i] = i + 1;
    // The cells of all ten factors, and the pair of the last two.
    EXPECT_NEAR(r->Qb[k][k], ListQb(d, list, [&](int a) {
                    int key = 0;
                    for (int f = 0; f < k; f++) key = key * 2 + factors[f][a];
                    return key;
                }), 1e-9);
    EXPECT_NEAR(r->Qb[8][9] + r->Qb[8][8] + r->Qb[9][9],
                ListQb(d, list, [&](int a) { return factors[8][a] * 3 + factors[9][a]; }), 1e-9);
}

TEST(ManovaEngine, RefusedRunsDrawNothingAndPrintNothing) {
    const Ints g = {1, 1, 2, 2, 3, 3};
    Design d({g}, 1, 0);
    RandomizationTestManova none(&d.in);
    EXPECT_TRUE(none.Refused());
    EXPECT_TRUE(std::isnan(none.GetManovaResults()->P[0][0]));
    EXPECT_EQ(Printed([&](FILE* f) { none.PrintManovaResults(f, nullptr, 5); }), "");

    // Bundles of unequal size.
    Ints bundles = {1, 1, 2, 2, 2, 3};
    d.in.nPermutations = 10;
    d.in.permuteBundles = true;
    d.in.bundleGroups = bundles.data();
    InitRndNumberGenerator(5);
    const unsigned long next = gsl_rng_get(r);
    InitRndNumberGenerator(5);
    d.in.seedGenerator = false;
    CaptureStdout();
    RandomizationTestManova unequal(&d.in);
    EXPECT_NE(GetCapturedStdout().find("Unbalanced design"), std::string::npos);
    EXPECT_TRUE(unequal.Refused());
    EXPECT_EQ(gsl_rng_get(r), next);
}

TEST(ManovaEngine, NotANumberIsNotTestable) {
    Design d({{1, 1, 2, 2, 3, 3}}, 2, 30);
    d.D[3][1] = std::nan("");
    RandomizationTestManova t(&d.in);
    EXPECT_TRUE(std::isnan(t.GetManovaResults()->P[0][0]));
    EXPECT_NE(Printed([&](FILE* f) { t.PrintManovaResults(f, nullptr, 5); }).find("not testable"),
              std::string::npos);
}

// Block factor: its interactions are pooled into the error term.
TEST(ManovaEngine, BlockPooling) {
    const Ints blk = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3}, A = {1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2},
               B = {1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2};
    Ints list(12);
    for (int i = 0; i < 12; i++) list[i] = i + 1;
    for (int k = 2; k <= 3; k++) {
        std::vector<Ints> factors = {blk, A, B};
        factors.resize(k);
        Design d(factors, 6, 10);
        d.in.firstFactorBlocks = d.in.nested = d.in.pseudoF = true;
        d.in.nestingFactor = 1;
        d.in.nestGroups = factors[0].data();
        RandomizationTestManova t(&d.in);
        auto qb = [&](std::function<int(int)> g) { return ListQb(d, list, g); };
        const double qt = ListQ(d, list, [](int) { return true; });
        const double qBlk = qb([&](int a) { return blk[a]; }), qA = qb([&](int a) { return A[a]; });
        double qw = qt - qb([&](int a) { return blk[a] * 10 + A[a] + (k == 3 ? 100 * B[a] : 0); });
        qw += qb([&](int a) { return blk[a] * 10 + A[a]; }) - qBlk - qA;  // block x A
        if (k == 3) {
            const double qB = qb([&](int a) { return B[a]; });
            const double bB = qb([&](int a) { return blk[a] * 10 + B[a]; }) - qBlk - qB;
            const double AB = qb([&](int a) { return A[a] * 10 + B[a]; }) - qA - qB;
            const double cells = qb([&](int a) { return blk[a] * 100 + A[a] * 10 + B[a]; });
            qw += bB + (cells - qBlk - qA - qB - (qb([&](int a) { return blk[a] * 10 + A[a]; }) - qBlk - qA) - bB - AB);
        }
        // With pseudo-F, F = Qb / Qw.
        EXPECT_NEAR(t.GetManovaResults()->Qb[1][1], qA / qw, 1e-9) << k;
    }
}

// Second constructor: the statistic of each factor equals the library's
// function, and the counts those of a loop over permuted matrices.
TEST(ManovaEngine, AlternativeStatisticsAgainstPermutedMatrices) {
    const Ints A = {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 1, 2};
    const Ints B = {1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2};
    const int N = 80, n = 12;
    for (int s = 1; s <= 4; s++) {
        SCOPED_TRACE(s);
        Design d({A, B}, 100 + s, N, 4);
        d.in.mrppOption = s == 3;
        RandomizationTestManova t(&d.in, s);
        manovaResults* res = t.GetManovaResults();
        auto statistic = [&](const Ints& list, const Ints& g) {
            testmat::Table X(n, 4), D(n, n);
            for (int a = 0; a < n; a++) {
                for (int v = 0; v < 4; v++) X[a][v] = d.data[list[a] - 1][v];
                for (int b = 0; b < n; b++) D[a][b] = d.D[list[a] - 1][list[b] - 1];
            }
            switch (s) {
            case 1: return F_SUM(n, 4, g.data(), X.x);
            case 2: return LR_IND(n, 4, g.data(), X.x);
            case 3: return MRPP(n, 3, g.data(), D.x, false, true);
            default: return ANOSIM(n, 3, g.data(), D.x, false);
            }
        };
        Ints identity(n);
        for (int i = 0; i < n; i++) identity[i] = i + 1;
        const double oa = statistic(identity, A), ob = statistic(identity, B);
        EXPECT_NEAR(res->Qb[0][0], oa, 1e-9 * std::max(1.0, std::fabs(oa)));
        EXPECT_NEAR(res->Qb[1][1], ob, 1e-9 * std::max(1.0, std::fabs(ob)));
        Replay rep(100 + s);
        double ca = 1, cb = 1;
        for (int p = 1; p < N; p++) {
            const Ints list = rep.Permutation(n);
            const double ra = statistic(list, A), rb = statistic(list, B);
            if (s == 3) {
                ca += IsLargerThanOrEqual(oa, ra, 1, false);
                cb += IsLargerThanOrEqual(ob, rb, 1, false);
            } else {
                ca += IsLargerThanOrEqual(ra, oa, 1, false);
                cb += IsLargerThanOrEqual(rb, ob, 1, false);
            }
        }
        EXPECT_DOUBLE_EQ(res->P[0][0] * N, ca);
        EXPECT_DOUBLE_EQ(res->P[1][1] * N, cb);
    }
}

TEST(ManovaEngine, GroupMeansSkipMissingValues) {
    Design d({{1, 1, 2, 2, 3, 7}, {5, 6, 5, 6, 5, 5}}, 4, 5, 2);
    const double x[6][2] = {{1, 10}, {3, MISSING}, {4, 8}, {6, 2}, {9, MISSING}, {2, 1}};
    for (int i = 0; i < 6; i++)
        for (int v = 0; v < 2; v++) d.data[i][v] = x[i][v];
    d.in.groupMeans = true;
    RandomizationTestManova t(&d.in);
    double*** m = t.GetManovaResults()->groupMeans;
    ASSERT_NE(m, nullptr);
    EXPECT_DOUBLE_EQ(m[0][0][0], 2);
    EXPECT_DOUBLE_EQ(m[0][0][1], 10);
    EXPECT_DOUBLE_EQ(m[0][2][0], 9);
    EXPECT_EQ(m[0][2][1], MISSING);  // group 3 has no value of variable 2
    EXPECT_DOUBLE_EQ(m[1][0][0], 4);  // factor 2, group 5: 1, 4, 9, 2
    EXPECT_DOUBLE_EQ(m[1][0][1], 19.0 / 3);
    // Partition 3 is the pair of factors: cell (1, 6) holds unit 2 alone.
    EXPECT_DOUBLE_EQ(m[3][1][0], 3);
}

}  // namespace
