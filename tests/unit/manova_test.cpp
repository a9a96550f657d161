// The permutation MANOVA engine against a reference loop written out in the
// test: the lists replayed on a private MT19937 in the one-thread order, the
// sums of squares added pair by pair over the permuted positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "iflibG.h"
#include "levels_util.h"
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

// The statistics of one arrangement, added pair by pair over the permuted
// positions: main list for the factors, one list per contrast.
struct RefStats {
    std::vector<double> main;  // each factor, each pair i < j, the cells of all, three-factor term
    double qw = 0;
    std::vector<double> contrast;  // statistic, Qw_c of each contrast
};

// The reference computation of a design with k factors and the contrasts
// of con (factor after factor); obs (null for the observed data) decides
// the pseudo-F division as the engine does.
struct Reference {
    const Design& d;
    const Contrasts& con;
    bool pseudoF;
    int Side(int f, size_t c, int a) const {
        Ints pos(d.n);
        GroupPositions(d.n, d.factors[f].data(), pos.data());
        const double x = con.coef[f][c][pos[a] - 1];
        return x > 0 ? 0 : (x < 0 ? 1 : -1);
    }
    double Cells(const Ints& list, const Ints& which) const {
        return ListQb(d, list, [&](int a) {
            int key = 0;
            for (int f : which) key = key * 1000 + d.factors[f][a] + 500;
            return key;
        });
    }
    RefStats Of(const Ints& list, const std::vector<Ints>& clists, const RefStats* obs) const {
        RefStats s;
        const int k = d.k;
        std::vector<double> q(k);
        for (int f = 0; f < k; f++) s.main.push_back(q[f] = Cells(list, {f}));
        double pairs = 0;
        for (int i = 0; i < k; i++)
            for (int j = i + 1; j < k; j++) {
                s.main.push_back(Cells(list, {i, j}) - q[i] - q[j]);
                pairs += s.main.back();
            }
        Ints all(k);
        for (int f = 0; f < k; f++) all[f] = f;
        const double cells = Cells(list, all);
        s.main.push_back(cells);
        double mains = 0;
        for (double x : q) mains += x;
        s.main.push_back(k == 3 ? cells - mains - pairs : 0.0);
        s.qw = ListQ(d, list, [](int) { return true; }) - cells;
        size_t c = 0;
        for (int f = 0; f < k && f < static_cast<int>(con.coef.size()); f++)
            for (size_t ci = 0; ci < con.coef[f].size(); ci++, c++) {
                const Ints& cl = clists[c];
                const double q0 = ListQ(d, cl, [&](int a) { return Side(f, ci, a) >= 0; });
                const double qp = ListQ(d, cl, [&](int a) { return Side(f, ci, a) == 0; });
                const double qn = ListQ(d, cl, [&](int a) { return Side(f, ci, a) == 1; });
                double stat = q0 - qp - qn;
                const double qwc = obs ? obs->contrast[2 * c + 1] : qp + qn;
                if (pseudoF && qwc > 0) stat /= qp + qn;
                s.contrast.push_back(stat);
                s.contrast.push_back(qp + qn);
            }
        const double qw = obs ? obs->qw : s.qw;
        if (pseudoF && qw > 0)
            for (double& x : s.main) x /= s.qw;
        return s;
    }
    size_t NumberOfContrasts() const {
        size_t c = 0;
        for (const auto& f : con.coef) c += f.size();
        return c;
    }
};

// A random arrangement: the main list, then each contrast's list.
using Draw = std::function<std::vector<Ints>(Replay&)>;

// Runs the engine on d and checks its statistics and counts against the
// reference replaying draw on its own generator.
void ExpectCountsOfTheReference(Design& d, Contrasts& con, bool pseudoF, const Draw& draw) {
    const int n = d.n, k = d.k, N = d.in.nPermutations;
    d.in.pseudoF = pseudoF;
    RandomizationTestManova test(&d.in);
    ASSERT_FALSE(test.Refused());
    manovaResults* res = test.GetManovaResults();
    const Reference ref{d, con, pseudoF};
    const size_t nc = ref.NumberOfContrasts();
    Ints identity(n);
    for (int i = 0; i < n; i++) identity[i] = i + 1;
    const RefStats obs = ref.Of(identity, std::vector<Ints>(nc, identity), nullptr);
    // Where each statistic is in the engine's results.
    std::vector<std::pair<double*, double*>> slots;
    for (int f = 0; f < k; f++) slots.push_back({&res->Qb[f][f], &res->P[f][f]});
    for (int i = 0; i < k; i++)
        for (int j = i + 1; j < k; j++) slots.push_back({&res->Qb[i][j], &res->P[i][j]});
    slots.push_back({&res->Qb[k][k], &res->P[k][k]});
    slots.push_back({&res->Qb3, &res->P3});
    for (size_t s = 0; s < slots.size(); s++)
        EXPECT_NEAR(*slots[s].first, obs.main[s], 1e-9 * std::max(1.0, std::fabs(obs.main[s]))) << s;
    EXPECT_NEAR(res->Qb[k + 1][k + 1], ListQ(d, identity, [](int) { return true; }), 1e-9);

    Replay rep(d.in.seed);
    std::vector<double> count(obs.main.size() + nc, 1.0);
    auto tally = [&](size_t slot, double rnd, double o) {
        if (IsLargerThanOrEqual(rnd, o, 1, false)) count[slot]++;
    };
    for (int p = 1; p < N; p++) {
        const std::vector<Ints> lists = draw(rep);
        const RefStats s = ref.Of(lists[0], std::vector<Ints>(lists.begin() + 1, lists.end()), &obs);
        for (size_t m = 0; m < s.main.size(); m++) tally(m, s.main[m], obs.main[m]);
        for (size_t c = 0; c < nc; c++) tally(obs.main.size() + c, s.contrast[2 * c], obs.contrast[2 * c]);
    }
    // One factor: the cells are the factor and are not counted; two: no three-factor term.
    if (k == 1) count[k] = 1.0;
    if (k != 3) count[obs.main.size() - 1] = 0.0;
    for (size_t s = 0; s < slots.size(); s++) EXPECT_DOUBLE_EQ(*slots[s].second * N, count[s]) << "statistic " << s;
    size_t c = 0;
    for (size_t f = 0; f < con.coef.size(); f++)
        for (size_t ci = 0; ci < con.coef[f].size(); ci++, c++) {
            EXPECT_NEAR(res->contrasts[f][ci][0], obs.contrast[2 * c], 1e-9);
            EXPECT_NEAR(res->contrasts[f][ci][2], obs.contrast[2 * c + 1], 1e-9);
            EXPECT_DOUBLE_EQ(res->contrasts[f][ci][1] * N, count[obs.main.size() + c]) << "contrast " << c;
        }
    // Some counts must be neither 1 nor N, or the comparison says little.
    EXPECT_GT(count[0], 1.0);
    EXPECT_LT(count[0], N);
}

// Draws of the unrestricted test: a permutation of all units, then each
// contrast's units permuted among themselves.
Draw PlainDraw(const Design& d, const Contrasts& con) {
    const Reference ref{d, con, false};
    return [&d, ref](Replay& rep) {
        std::vector<Ints> lists = {rep.Permutation(d.n)};
        for (size_t f = 0; f < ref.con.coef.size(); f++)
            for (size_t ci = 0; ci < ref.con.coef[f].size(); ci++) {
                std::vector<bool> sel(d.n);
                for (int a = 0; a < d.n; a++) sel[a] = ref.Side(static_cast<int>(f), ci, a) >= 0;
                lists.push_back(rep.Select(sel));
            }
        return lists;
    };
}

// Two and three factors with contrasts; counts of every statistic after N
// permutations, from the engine (P x N) and from the reference.
TEST(ManovaEngine, CountsEqualThoseOfTheReferenceLoop) {
    const Ints A = {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 1, 3, 3};
    const Ints B = {1, 1, 1, 2, 2, 2, 1, 1, 1, 2, 2, 2, 1, 2, 2, 1, 2};
    const Ints C = {7, 9, 9, 7, 9, 7, 7, 9, 7, 9, 9, 7, 9, 7, 7, 9, 7};
    for (int k : {2, 3})
        for (bool pseudoF : {false, true}) {
            SCOPED_TRACE(std::to_string(k) + (pseudoF ? " factors, pseudo-F" : " factors, Qb"));
            std::vector<Ints> factors = {A, B, C};
            factors.resize(k);
            Design d(factors, 2024, 150);
            Contrasts con;
            con.coef = {{{1, -1, 0}, {1, 1, -2}}, {{1, -1}}};
            con.Attach(d.in);
            ExpectCountsOfTheReference(d, con, pseudoF, PlainDraw(d, con));
        }
}

// Balancing: in every cell larger than the smallest (every cell when
// always), a random subset of the smallest cell's size is permuted; a
// contrast's larger side likewise contributes as many units as its smaller
// side. Each subset is the first units of a permutation of the cell's
// members, every list starting from the identity.
TEST(ManovaEngine, BalancingCountsEqualThoseOfTheReferenceLoop) {
    const Ints A = {1, 2, 3, 3, 2, 1, 3, 2, 3, 3, 1, 2, 3, 2};  // groups of 3, 5 and 6
    for (bool always : {false, true}) {
        SCOPED_TRACE(always ? "always" : "unequal groups");
        Design d({A}, 404, 120);
        Contrasts con;
        con.coef = {{{1, -1, 0}, {1, 1, -1}, {0, 1, -1}}};
        con.Attach(d.in);
        d.in.balance = true;
        d.in.balanceAlways = always;
        const Reference ref{d, con, false};
        // Marks `take` of the members: the first of a permutation of them.
        auto subset = [](Replay& rep, const Ints& members, int take, std::vector<bool>& mask) {
            const Ints q = rep.Permutation(static_cast<int>(members.size()));
            for (int t = 0; t < take; t++) mask[members[q[t] - 1]] = true;
        };
        const Draw draw = [&](Replay& rep) {
            std::vector<bool> mask(d.n, false);
            // Cells in the order of their first unit: 1 (3 units), 2 (5), 3 (6).
            for (int g : {1, 2, 3}) {
                Ints members;
                for (int a = 0; a < d.n; a++)
                    if (A[a] == g) members.push_back(a);
                if (g != 1 || always)
                    subset(rep, members, 3, mask);
                else
                    for (int a : members) mask[a] = true;
            }
            std::vector<Ints> lists = {rep.Select(mask)};
            for (size_t ci = 0; ci < con.coef[0].size(); ci++) {
                Ints side[2];
                for (int a = 0; a < d.n; a++)
                    if (ref.Side(0, ci, a) >= 0) side[ref.Side(0, ci, a)].push_back(a);
                const int smaller = static_cast<int>(std::min(side[0].size(), side[1].size()));
                std::vector<bool> sel(d.n, false);
                for (const Ints& members : side) {
                    if (static_cast<int>(members.size()) > smaller || always)
                        subset(rep, members, smaller, sel);
                    else
                        for (int a : members) sel[a] = true;
                }
                lists.push_back(rep.Select(sel));
            }
            return lists;
        };
        ExpectCountsOfTheReference(d, con, false, draw);
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

TEST(ManovaEngine, IdenticalResultsOnAnyNumberOfThreadsAndEveryVectorLevel) {
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
        testlevels::OnEveryLevel([&](simd::Level level) {
            for (int threads : {1, 2, 3, 8}) {
                if (level != simd::kBaseline && threads != 3) continue;  // wider levels: on one team
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
                    EXPECT_EQ(all, first) << threads << " threads, level " << level;
            }
        });
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
    // 0 nesting, 1 bundles, 2 bundles within nesting groups, 3 synchronized nesting.
    for (int mode = 0; mode < 4; mode++) {
        Design d({A}, 31 + mode, N);
        d.in.nested = mode != 1;
        d.in.permuteBundles = mode == 1 || mode == 2;
        d.in.bundlesOnly = mode == 2;
        d.in.synchronized = mode == 3;
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
                if (mode == 1 || mode == 2) {
                    EXPECT_EQ(bundles[u], bundles[list[a - a % 4] - 1]);
                    EXPECT_EQ(u % 4, a % 4);
                }
                moved += u != a;
            }
            // Synchronized: the second nesting group is permuted as the first.
            if (mode == 3) {
                for (int a = 0; a < 8; a++) EXPECT_EQ(list[a + 8], list[a] + 8) << "position " << a + 1;
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

    // Contrasts of a one-group factor, and one without a non-zero
    // coefficient: nothing to compare, statistic 0 and P 1, no empty array read.
    for (bool balance : {false, true}) {
        Design d({Ints(6, 3)}, 14, N);
        Contrasts con;
        con.coef = {{{1}, {-2}, {0}}};
        con.Attach(d.in);
        d.in.balance = d.in.balanceAlways = balance;
        RandomizationTestManova t(&d.in);
        ASSERT_FALSE(t.Refused());
        for (int c = 0; c < 3; c++) {
            EXPECT_NEAR(t.GetManovaResults()->contrasts[0][c][0], 0.0, 1e-12) << c;
            EXPECT_DOUBLE_EQ(t.GetManovaResults()->contrasts[0][c][1], 1.0) << c;
        }
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

// A dissimilarity that is not a number, between two groups: the Qb test
// sees it in Qt; MRPP would skip it in the observed arrangement but not in
// the arrangements that put the pair in one group, and ANOSIM would rank it
// anywhere. Each is not testable.
TEST(ManovaEngine, NotANumberIsNotTestable) {
    for (int s : {0, 3, 4}) {
        SCOPED_TRACE(s);
        Design d({{1, 1, 2, 2, 3, 3}}, 2, 30);
        d.D[3][1] = std::nan("");
        RandomizationTestManova t(&d.in, s);
        ASSERT_FALSE(t.Refused());
        EXPECT_TRUE(std::isnan(t.GetManovaResults()->P[0][0]));
        const std::string r = s == 0 ? Printed([&](FILE* f) { t.PrintManovaResults(f, nullptr, 5); })
                                     : Printed([&](FILE* f) { t.PrintManovaResults(f, nullptr, 5, false, 0); });
        EXPECT_NE(r.find("not testable"), std::string::npos);
    }
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

namespace {

// The alternative statistics take group positions: labels 0, 1, 2 give the
// results of 1, 2, 3 (a 0/1 coding once lost group 0), on any team.
TEST(ManovaEngine, AlternativeStatisticsOnAnyLabelsAndTeam) {
    TeamGuard guard;
    const Ints base = {1, 2, 3, 1, 2, 3, 1, 2, 3, 3, 2, 1, 1, 3};
    Ints zero(base);
    for (int& g : zero) g -= 1;
    for (int s = 1; s <= 4; s++) {
        SCOPED_TRACE(s);
        std::vector<std::vector<double>> results;
        for (const Ints& g : {base, zero})
            for (int threads : {1, 3, 8}) {
                InitMultiprocessing(threads);
                Design d({g}, 70 + s, 90, 3);
                RandomizationTestManova t(&d.in, s);
                ASSERT_FALSE(t.Refused());
                results.push_back(Everything(t, 1, nullptr));
            }
        for (size_t r = 1; r < results.size(); r++) EXPECT_EQ(results[r], results[0]) << r;
        // Not every permutation is as extreme: the comparison says something.
        EXPECT_LT(results[0][1], 1.0);
    }
}

}  // namespace

namespace {

// The progress line of each kind of run, in both languages.
TEST(ManovaEngine, ProgressLine) {
    TeamGuard guard;
    InitMultiprocessing(1);
    struct Case {
        int statistic, nTests, portuguese;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {0, 3, 0, "Test: 3 2 Permutation: 400 "},
        {0, 3, 1, "Teste: 3 2 Permutacao: 400 "},
        {0, 1, 0, "Permutation: 400 "},
        {3, 3, 0, "Permutation: 400 "},
        {3, 1, 1, "Permutacao: 400 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        Design d({{1, 1, 1, 2, 2, 2, 3, 3, 3, 3}}, 5, 400);
        d.in.showProgress = true;
        d.in.nTests = c.nTests;
        d.in.testIndex = 2;
        d.in.portuguese = c.portuguese;
        const std::string progress = Printed([&](FILE* f) {
            SetProgressStream(f);
            InitIFLibG();
            struct timespec pause = {0, 6000000};  // past the redraw interval
            nanosleep(&pause, nullptr);
            RandomizationTestManova t(&d.in, c.statistic);
            ClearLine();
            SetProgressStream(nullptr);
        });
        const size_t at = progress.find(c.expected);
        ASSERT_NE(at, std::string::npos) << progress;
        // The count of permutations done so far, then the team for the Qb test.
        const std::string rest = progress.substr(at + c.expected.size());
        const int done = std::stoi(rest);
        EXPECT_GT(done, 1);
        EXPECT_LE(done, 400);
        const std::string after = rest.substr(rest.find_first_not_of("0123456789"));
        EXPECT_EQ(after.substr(0, 9), c.statistic == 0 ? "   CPUs: " : std::string(9, ' '));
        if (c.statistic == 0) {
            EXPECT_EQ(after[9], '1');
        }
    }
}

}  // namespace
