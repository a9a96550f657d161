// Random generator, permutation and bootstrap lists.
#include <gtest/gtest.h>
#include <gsl/gsl_rng.h>
#include <omp.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <set>
#include <vector>

#include "rhlib_M.h"
#include "rhlibDim.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

using Ints = std::vector<int>;

// The k-th raw output (from 1) of a fresh MT19937 generator seeded with seed.
unsigned long RawOutput(unsigned int seed, int k) {
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, seed);
    unsigned long v = 0;
    for (int i = 0; i < k; i++) v = gsl_rng_get(g);
    gsl_rng_free(g);
    return v;
}

// Number of raw outputs that r has used since InitRndNumberGenerator(seed)
// (every draw of the lists uses one on MT19937); -1 past 10000.
int DrawsSince(unsigned int seed) {
    unsigned long next = gsl_rng_get(r);
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, seed);
    int used = -1;
    for (int k = 0; k <= 10000 && used < 0; k++)
        if (gsl_rng_get(g) == next) used = k;
    gsl_rng_free(g);
    return used;
}

bool IsPermutation(const Ints& list) {
    Ints s = list;
    std::sort(s.begin(), s.end());
    for (size_t i = 0; i < s.size(); i++)
        if (s[i] != static_cast<int>(i) + 1) return false;
    return true;
}

TEST(RandomGenerator, ExistsFromStartUpAndReseedsReproducibly) {
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(gsl_rng_name(r), "mt19937");
    InitRndNumberGenerator(77);
    unsigned long a = gsl_rng_get(r), b = gsl_rng_get(r);
    InitRndNumberGenerator(77);
    EXPECT_EQ(gsl_rng_get(r), a);
    EXPECT_EQ(gsl_rng_get(r), b);
    EXPECT_EQ(a, RawOutput(77, 1));
}

TEST(RandomGenerator, RndIntegersStaysInItsRange) {
    InitRndNumberGenerator(5);
    std::set<int> seen;
    for (int i = 0; i < 200; i++) {
        int v = RndIntegers(-2, 2);
        EXPECT_GE(v, -2);
        EXPECT_LE(v, 2);
        seen.insert(v);
    }
    EXPECT_EQ(seen.size(), 5u);
    EXPECT_EQ(RndIntegers(4, 3), 4);  // empty range: no draw
    EXPECT_EQ(DrawsSince(5), 200);
}

TEST(RndList, KnownListForSeed12345) {
    InitRndNumberGenerator(12345);
    Ints list(10);
    RndList(10, list.data());
    EXPECT_EQ(list, (Ints{10, 1, 5, 4, 6, 3, 7, 2, 8, 9}));
    EXPECT_EQ(DrawsSince(12345), 9);

    InitRndNumberGenerator(12345);
    Ints again(10);
    RndList(10, again.data());
    EXPECT_EQ(again, list);
}

TEST(RndList, DrawCountsOfSmallLists) {
    InitRndNumberGenerator(3);
    int one = 0;
    RndList(1, &one);
    EXPECT_EQ(one, 1);
    RndList(0, nullptr);
    EXPECT_EQ(DrawsSince(3), 0);

    InitRndNumberGenerator(3);
    Ints two(2);
    RndList(2, two.data());
    EXPECT_TRUE(IsPermutation(two));
    EXPECT_EQ(DrawsSince(3), 1);
}

TEST(RndList, SpecifiedAndPartialShuffleTheCallersContents) {
    InitRndNumberGenerator(11);
    Ints list{10, 20, 30, 40, 50};
    RndListSpecified(5, list.data());
    Ints sorted = list;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (Ints{10, 20, 30, 40, 50}));
    EXPECT_EQ(DrawsSince(11), 4);

    // The same draws on the identity give RndList's list.
    InitRndNumberGenerator(11);
    Ints id{1, 2, 3, 4, 5}, ref(5);
    RndListSpecified(5, id.data());
    InitRndNumberGenerator(11);
    RndList(5, ref.data());
    EXPECT_EQ(id, ref);

    InitRndNumberGenerator(11);
    Ints part{1, 2, 3, 4, 5, 6};
    RndListPartial(6, part.data());
    EXPECT_TRUE(IsPermutation(part));
    EXPECT_EQ(DrawsSince(11), 6);
}

TEST(RndListSelect, PermutesOnlyTheSelectedUnits) {
    const bool sel[7] = {false, true, true, false, true, false, true};
    const int selInt[7] = {0, 1, 1, 0, 1, 0, 1};
    InitRndNumberGenerator(99);
    Ints list{-1, -2, -3, -4, -5, -6, -7};
    RndListSelect(7, list.data(), sel);
    // Unselected positions keep the caller's values.
    EXPECT_EQ(list[0], -1);
    EXPECT_EQ(list[3], -4);
    EXPECT_EQ(list[5], -6);
    Ints moved{list[1], list[2], list[4], list[6]};
    std::sort(moved.begin(), moved.end());
    EXPECT_EQ(moved, (Ints{2, 3, 5, 7}));
    EXPECT_EQ(DrawsSince(99), 3);

    // Candidate t takes candidate q[t] of the permutation RndList(m) draws.
    InitRndNumberGenerator(99);
    Ints q(4);
    RndList(4, q.data());
    const int cand[4] = {2, 3, 5, 7};
    for (int t = 0; t < 4; t++) EXPECT_EQ(list[cand[t] - 1], cand[q[t] - 1]);

    // The int form draws the same list.
    InitRndNumberGenerator(99);
    Ints list2{-1, -2, -3, -4, -5, -6, -7};
    RndListSelect(7, list2.data(), selInt);
    EXPECT_EQ(list2, list);
}

TEST(RndListSelect, NoSelectedUnitDrawsNothing) {
    const bool none[3] = {false, false, false};
    InitRndNumberGenerator(8);
    Ints list{4, 5, 6};
    RndListSelect(3, list.data(), none);
    EXPECT_EQ(list, (Ints{4, 5, 6}));
    EXPECT_EQ(DrawsSince(8), 0);
}

TEST(RndListSelect, SynchronizedRepeatsThePermutationAndRefusesUnequalBlocks) {
    const bool blockA[6] = {true, true, true, false, false, false};
    const bool blockB[6] = {false, false, false, true, true, true};
    const bool small[6] = {false, false, false, true, true, false};
    const int order[3] = {1, 2, 3};
    InitRndNumberGenerator(21);
    Ints list{1, 2, 3, 4, 5, 6}, perm(6);
    ASSERT_TRUE(RndListSelectSynchronized(6, list.data(), blockA, order, perm.data(), true));
    ASSERT_TRUE(RndListSelectSynchronized(6, list.data(), blockB, order, perm.data(), false));
    for (int t = 0; t < 3; t++) EXPECT_EQ(list[3 + t] - 3, list[t]);  // same pattern in both blocks
    EXPECT_EQ(DrawsSince(21), 2);

    Ints before = list;
    EXPECT_FALSE(RndListSelectSynchronized(6, list.data(), small, order, perm.data(), false));
    EXPECT_EQ(list, before);
    const int badOrder[3] = {1, 2, 9};
    EXPECT_FALSE(RndListSelectSynchronized(6, list.data(), blockB, badOrder, perm.data(), false));
    EXPECT_EQ(list, before);
}

// Number of the pair (i, j), i != j, of an m x m matrix, row by row over the
// upper triangle, from 1.
int PairNumber(int m, int i, int j) {
    if (i > j) std::swap(i, j);
    int k = 0;
    for (int a = 0; a < i; a++) k += m - 1 - a;
    return k + (j - i);
}

TEST(RndListMantelRestricted, PairsFollowOnePermutationOfTheObjects) {
    const int m = 5, nPairs = 10;
    InitRndNumberGenerator(4242);
    Ints list(nPairs);
    ASSERT_TRUE(RndListMantelRestricted(nPairs, list.data(), m));
    EXPECT_TRUE(IsPermutation(list));
    EXPECT_EQ(DrawsSince(4242), m - 1);

    InitRndNumberGenerator(4242);
    Ints s(m);
    RndList(m, s.data());
    int k = 0;
    for (int i = 0; i < m; i++)
        for (int j = i + 1; j < m; j++) EXPECT_EQ(list[k++], PairNumber(m, s[i] - 1, s[j] - 1));
}

TEST(RndListMantelRestricted, RefusesAListOfTheWrongLength) {
    Ints list(6, 0);
    CaptureStdout();
    EXPECT_FALSE(RndListMantelRestricted(6, list.data(), 5));  // 5 objects have 10 pairs
    std::string out = GetCapturedStdout();
    EXPECT_NE(out.find("not possible"), std::string::npos);
    EXPECT_EQ(list, Ints(6, 0));
}

TEST(RndListBootstrap, DrawsWithReplacement) {
    InitRndNumberGenerator(2024);
    Ints list(10);
    RndListBootstrap(10, list.data());
    for (int v : list) {
        EXPECT_GE(v, 1);
        EXPECT_LE(v, 10);
    }
    std::set<int> distinct(list.begin(), list.end());
    EXPECT_LT(distinct.size(), 10u);  // with this seed some unit is drawn twice, some never
    EXPECT_EQ(DrawsSince(2024), 10);

    InitRndNumberGenerator(2024);
    Ints first(4);
    RndListBootstrapN(10, 4, first.data());
    EXPECT_EQ(first, Ints(list.begin(), list.begin() + 4));

    InitRndNumberGenerator(2024);
    Ints untouched(3, -5);
    RndListBootstrapN(0, 3, untouched.data());
    RndListBootstrap(0, untouched.data());
    EXPECT_EQ(untouched, Ints(3, -5));
    EXPECT_EQ(DrawsSince(2024), 0);
}

// Block (or bundle) label of every unit a list position receives.
Ints LabelsOfValues(const Ints& list, const Ints& labels) {
    Ints out;
    for (int v : list) out.push_back(labels[v - 1]);
    return out;
}

TEST(RndListNested, UnitsStayInsideTheirBlocks) {
    const Ints blocks{3, 1, 3, 1, 2, 3, 2, 1, 3};
    for (unsigned seed = 1; seed <= 20; seed++) {
        InitRndNumberGenerator(seed);
        Ints list(9);
        EXPECT_TRUE(RndListNestedNew(9, true, blocks.data(), false, nullptr, false, list.data()));
        EXPECT_TRUE(IsPermutation(list));
        EXPECT_EQ(LabelsOfValues(list, blocks), blocks);
    }
    // Blocks in ascending order of label, each drawn by RndListSelect.
    InitRndNumberGenerator(6);
    Ints list(9);
    RndListNestedNew(9, true, blocks.data(), false, nullptr, false, list.data());
    InitRndNumberGenerator(6);
    Ints ref{1, 2, 3, 4, 5, 6, 7, 8, 9};
    for (int label : {1, 2, 3}) {
        bool member[9];
        for (int i = 0; i < 9; i++) member[i] = blocks[i] == label;
        RndListSelect(9, ref.data(), member);
    }
    EXPECT_EQ(list, ref);
}

// For every bundle, the positions of the bundle (ascending) receive, in order,
// the values that the positions of one bundle held before the bundle step.
void ExpectWholeBundles(const Ints& list, const Ints& before, const Ints& bundles) {
    std::map<int, Ints> pos;
    for (size_t i = 0; i < bundles.size(); i++) pos[bundles[i]].push_back(static_cast<int>(i));
    std::set<int> sources;
    for (auto& [h, ph] : pos) {
        Ints got;
        for (int i : ph) got.push_back(list[i]);
        bool found = false;
        for (auto& [g, pg] : pos) {
            Ints had;
            for (int i : pg) had.push_back(before[i]);
            if (had == got) {
                found = true;
                sources.insert(g);
            }
        }
        EXPECT_TRUE(found) << "bundle " << h << " was split";
    }
    EXPECT_EQ(sources.size(), pos.size());
}

TEST(RndListNested, BundlesMoveWholeAcrossTheTable) {
    const Ints bundles{2, 1, 2, 3, 1, 3};  // three bundles of two units
    bool moved = false;
    for (unsigned seed = 1; seed <= 10; seed++) {
        InitRndNumberGenerator(seed);
        Ints list(6);
        EXPECT_TRUE(RndListNestedNew(6, false, nullptr, true, bundles.data(), false, list.data()));
        ExpectWholeBundles(list, Ints{1, 2, 3, 4, 5, 6}, bundles);
        moved = moved || list != Ints{1, 2, 3, 4, 5, 6};
    }
    EXPECT_TRUE(moved);

    // Groups form: within groups, then whole groups.
    const Ints groups{1, 1, 2, 2, 3, 3};
    InitRndNumberGenerator(31);
    Ints a(6), b(6);
    RndListNestedNew(6, groups.data(), a.data());
    InitRndNumberGenerator(31);
    RndListNestedNew(6, true, groups.data(), true, groups.data(), false, b.data());
    EXPECT_EQ(a, b);
    InitRndNumberGenerator(31);
    RndListNestedNew(6, groups.data(), 3, b.data());
    EXPECT_EQ(a, b);
    InitRndNumberGenerator(31);
    RndListNestedNew(6, groups.data(), 1, b.data());
    EXPECT_EQ(LabelsOfValues(b, groups), groups);
    InitRndNumberGenerator(31);
    RndListNestedNew(6, groups.data(), 2, b.data());
    ExpectWholeBundles(b, Ints{1, 2, 3, 4, 5, 6}, groups);
}

TEST(RndListNested, BundlesWithinBlocksStayInTheirBlock) {
    // Blocks 1 and 2; block 1 holds bundles 10 and 11, block 2 bundles 20, 21
    // and 22, with sizes that differ between the blocks.
    const Ints blocks{1, 2, 1, 2, 1, 2, 1, 2, 2, 2};
    const Ints bundles{10, 20, 11, 21, 10, 22, 11, 20, 21, 22};
    ASSERT_TRUE(CheckNestedDesign(10, true, blocks.data(), true, bundles.data(), true, false, nullptr));
    std::set<Ints> seen;
    for (unsigned seed = 1; seed <= 200; seed++) {
        InitRndNumberGenerator(seed);
        Ints list(10);
        EXPECT_TRUE(RndListNestedNew(10, true, blocks.data(), true, bundles.data(), true, list.data()));
        EXPECT_EQ(LabelsOfValues(list, blocks), blocks);
        ExpectWholeBundles(list, Ints{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, bundles);
        seen.insert(list);
    }
    EXPECT_EQ(seen.size(), 2u * 6u);  // 2! orders in block 1 times 3! in block 2
}

TEST(RndListNested, RefusedDesignsAreReportedOnceByTheCheck) {
    const Ints blocks{1, 1, 1, 2, 2, 2};
    const Ints unbalanced{1, 1, 2, 3, 3, 4};  // sizes 2, 1, 2, 1
    CaptureStdout();
    EXPECT_FALSE(CheckNestedDesign(6, true, blocks.data(), true, unbalanced.data(), false, false, nullptr));
    EXPECT_EQ(GetCapturedStdout(),
              "Unbalanced design. Permutation among bundling blocks is not possible.\n");

    // The list routine stays silent, leaves out the bundle step and says so.
    CaptureStdout();
    InitRndNumberGenerator(17);
    Ints list(6);
    EXPECT_FALSE(RndListNestedNew(6, true, blocks.data(), true, unbalanced.data(), false, list.data()));
    EXPECT_EQ(GetCapturedStdout(), "");
    EXPECT_EQ(LabelsOfValues(list, blocks), blocks);
    InitRndNumberGenerator(17);
    Ints withinOnly(6);
    RndListNestedNew(6, true, blocks.data(), false, nullptr, false, withinOnly.data());
    EXPECT_EQ(list, withinOnly);

    const Ints crossing{1, 1, 2, 2, 3, 3};  // bundle 2 has units in both blocks
    CaptureStdout();
    EXPECT_FALSE(CheckNestedDesign(6, true, blocks.data(), true, crossing.data(), true, false, nullptr));
    EXPECT_NE(GetCapturedStdout().find("more than one nesting group"), std::string::npos);
    EXPECT_FALSE(RndListNestedNew(6, true, blocks.data(), true, crossing.data(), true, list.data()));
    EXPECT_EQ(list, (Ints{1, 2, 3, 4, 5, 6}));

    const Ints unequalBlocks{1, 1, 2, 2, 2, 2};
    const int order[6] = {1, 2, 3, 4, 5, 6};
    CaptureStdout();
    EXPECT_FALSE(CheckNestedDesign(6, true, unequalBlocks.data(), false, nullptr, false, true, nullptr));
    EXPECT_NE(GetCapturedStdout().find("unequal size"), std::string::npos);
    InitRndNumberGenerator(17);
    EXPECT_FALSE(RndListNestedSynchronized(6, true, unequalBlocks.data(), false, nullptr, false,
                                           list.data(), true, order));
    EXPECT_EQ(list, (Ints{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(DrawsSince(17), 0);
}

TEST(RndListNested, SynchronizedBlocksShareOnePermutation) {
    const Ints blocks{1, 2, 1, 2, 1, 2, 1, 2};
    const int order[4] = {1, 2, 3, 4};
    for (unsigned seed = 1; seed <= 5; seed++) {
        InitRndNumberGenerator(seed);
        Ints list(8);
        ASSERT_TRUE(RndListNestedSynchronized(8, true, blocks.data(), false, nullptr, false, list.data(),
                                              true, order));
        // Rank t of block 1 and rank t of block 2 take the same rank.
        for (int t = 0; t < 4; t++) EXPECT_EQ(list[2 * t + 1], list[2 * t] + 1);
        EXPECT_EQ(DrawsSince(seed), 3);
    }
}

TEST(RndListNested, SelectKeepsUnselectedUnitsAndEmptyBundlesInPlace) {
    const Ints blocks{1, 1, 1, 1, 2, 2, 2, 2};
    const Ints bundles{1, 1, 2, 2, 3, 3, 4, 4};
    const bool sel[8] = {true, true, true, true, false, false, true, true};
    for (unsigned seed = 1; seed <= 10; seed++) {
        InitRndNumberGenerator(seed);
        Ints list(8);
        EXPECT_TRUE(RndListNestedSelect(8, false, blocks.data(), true, bundles.data(), false, list.data(),
                                        sel));
        EXPECT_EQ(list[4], 5);
        EXPECT_EQ(list[5], 6);
        EXPECT_TRUE(IsPermutation(list));
        ExpectWholeBundles(list, Ints{1, 2, 3, 4, 5, 6, 7, 8}, bundles);
    }
    // Selected sizes 2, 0, 1, 0: a comparison of neighbouring bundles that
    // skips bundles without selected units would find nothing unequal.
    const bool sel2[8] = {true, true, false, false, true, false, false, false};
    CaptureStdout();
    EXPECT_FALSE(CheckNestedDesign(8, false, nullptr, true, bundles.data(), false, false, sel2));
    EXPECT_EQ(GetCapturedStdout(),
              "Unbalanced design. Permutation among bundling blocks is not possible.\n");
}

TEST(GetData, CopiesListedRowsAndDropsEmptyColumns) {
    double rows[3][4] = {{1, 0, 2, 0}, {0, 0, 5, 0}, {3, 0, 0, 0}};
    double* data[3] = {rows[0], rows[1], rows[2]};
    double** sample = dim2DT<double>(3, 4);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++) sample[i][j] = 99;
    const int list[3] = {2, 2, 3};
    int kept = -1;
    GetData(3, 3, 4, &kept, data, sample, list, 1);
    EXPECT_EQ(kept, 2);
    const double expected[3][4] = {{0, 5, 0, 0}, {0, 5, 0, 0}, {3, 0, 0, 0}};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++) EXPECT_EQ(sample[i][j], expected[i][j]) << i << "," << j;

    kept = -1;
    GetData(3, 3, 4, &kept, data, sample, list, 0);
    EXPECT_EQ(kept, -1);
    for (int j = 0; j < 4; j++) EXPECT_EQ(sample[2][j], rows[2][j]);

    const int zeroRows[1] = {2};
    double z[1][4] = {{0, 0, 0, 0}};
    double* zd[2] = {z[0], z[0]};
    GetData(1, 1, 4, &kept, zd, sample, zeroRows, 1);
    EXPECT_EQ(kept, 0);
    free2DT(sample, 3);
}

TEST(PermuteArray, EnumeratesEverySubsetOnce) {
    const Ints expected[6] = {{1, 2, 3, 4}, {1, 3, 2, 4}, {1, 4, 2, 3},
                              {2, 3, 1, 4}, {2, 4, 1, 3}, {3, 4, 1, 2}};
    Ints list(4), flags(4);
    for (int s = 0; s < 6; s++) {
        EXPECT_EQ(PermuteArray(4, 2, list.data(), s == 0), s + 1);
        EXPECT_EQ(list, expected[s]);
        EXPECT_EQ(PermuteArrayBinary(4, 2, flags.data(), s == 0), s + 1);
        Ints f(4, 0);
        f[expected[s][0] - 1] = f[expected[s][1] - 1] = 1;
        EXPECT_EQ(flags, f);
    }
    EXPECT_EQ(PermuteArray(4, 2, list.data(), false), 0);  // finished
    EXPECT_EQ(PermuteArray(3, 5, list.data(), true), 0);   // no such subset
}

TEST(PermuteArray, CountsEverySubsetOfTwentyNineUnits) {
    // 29! / (1! 28!) in extended precision falls just below 29.
    Ints list(29);
    int last = 0;
    for (int s = 0; s < 29; s++) last = PermuteArray(29, 1, list.data(), s == 0);
    EXPECT_EQ(last, 29);
    EXPECT_EQ(list[0], 29);
}

TEST(RunDrawnBlocks, SameDrawsAndResultsOnAnyNumberOfThreads) {
    // Each block draws lists serially; each item's value depends on its list.
    auto run = [](int threads) {
        omp_set_num_threads(threads);
        InitRndNumberGenerator(555);
        const int nBlocks = 7, n = 6;
        std::vector<long long> value(nBlocks * 40, -1);
        RunDrawnBlocks(
            nBlocks,
            [&](int b, std::vector<int>& store) {
                int count = 20 + b * 3;
                store.resize(count * n);
                for (int i = 0; i < count; i++) RndList(n, &store[i * n]);
                return count;
            },
            [&](int b, int i, const std::vector<int>& store, int) {
                long long v = 0;
                for (int k = 0; k < n; k++) v = v * 10 + store[i * n + k];
                value[b * 40 + i] = v;
            });
        return value;
    };
    std::vector<long long> one = run(1), three = run(3);
    // A loop this small left to the calling thread, as outside the tests.
    const double every = drawn_blocks::SetLeastSharedSeconds(0.05);
    std::vector<long long> kept = run(3);
    drawn_blocks::SetLeastSharedSeconds(every);
    omp_set_num_threads(1);
    EXPECT_EQ(one, three);
    EXPECT_EQ(one, kept);

    // The one-thread order: block after block, item after item.
    InitRndNumberGenerator(555);
    for (int b = 0; b < 7; b++)
        for (int i = 0; i < 20 + b * 3; i++) {
            Ints l(6);
            RndList(6, l.data());
            long long v = 0;
            for (int k = 0; k < 6; k++) v = v * 10 + l[k];
            EXPECT_EQ(one[b * 40 + i], v);
        }
}

// ---------------------------------------------------------------------------
// The draw rule rebuilt on a private GSL generator, step by step, without the
// library's list routines: every seeded list must be the one it gives.
// ---------------------------------------------------------------------------

struct Reference {
    gsl_rng* g;
    explicit Reference(unsigned seed) : g(gsl_rng_alloc(gsl_rng_mt19937)) { gsl_rng_set(g, seed); }
    ~Reference() { gsl_rng_free(g); }
    int U(int m) { return static_cast<int>(gsl_rng_uniform_int(g, m)); }
    Ints List(int n) {
        Ints l(n);
        for (int i = 0; i < n; i++) l[i] = i + 1;
        for (int i = 0; i + 1 < n; i++) std::swap(l[i], l[i + U(n - i)]);
        return l;
    }
    void Select(Ints& list, const std::vector<bool>& sel) {
        Ints c;
        for (size_t i = 0; i < sel.size(); i++)
            if (sel[i]) c.push_back(static_cast<int>(i) + 1);
        Ints q = List(static_cast<int>(c.size()));
        for (size_t t = 0; t < c.size(); t++) list[c[t] - 1] = c[q[t] - 1];
    }
    // Restricted permutation: units within blocks (or, withinBlocks, bundles
    // among the bundles of their block), then whole bundles across the table.
    // Labels in ascending order; no design fault.
    Ints Nested(const Ints& blocks, const Ints& bundles, bool withinBlocks) {
        const int n = static_cast<int>(std::max(blocks.size(), bundles.size()));
        Ints list(n);
        std::iota(list.begin(), list.end(), 1);
        std::set<int> blockLabels(blocks.begin(), blocks.end());
        if (!blocks.empty() && !withinBlocks)
            for (int g : blockLabels) {
                std::vector<bool> m(n);
                for (int i = 0; i < n; i++) m[i] = blocks[i] == g;
                Select(list, m);
            }
        if (bundles.empty()) return list;
        const std::set<int> bundleLabels(bundles.begin(), bundles.end());
        const Ints labels(bundleLabels.begin(), bundleLabels.end());
        const int nb = static_cast<int>(labels.size());
        std::vector<Ints> pos(nb);
        for (int h = 0; h < nb; h++)
            for (int i = 0; i < n; i++)
                if (bundles[i] == labels[h]) pos[h].push_back(i);
        if (!withinBlocks) {
            std::vector<Ints> val(nb);
            for (int h = 0; h < nb; h++)
                for (int i : pos[h]) val[h].push_back(list[i]);
            Ints q = List(nb);
            for (int h = 0; h < nb; h++)
                for (size_t c = 0; c < pos[h].size(); c++) list[pos[h][c]] = val[q[h] - 1][c];
            return list;
        }
        Ints q(nb);
        std::iota(q.begin(), q.end(), 1);
        for (int g : blockLabels) {
            std::vector<bool> mark(nb);
            std::vector<Ints> val(nb);
            for (int h = 0; h < nb; h++) {
                mark[h] = blocks[pos[h][0]] == g;
                if (mark[h])
                    for (int i : pos[h]) val[h].push_back(list[i]);
            }
            Select(q, mark);
            for (int h = 0; h < nb; h++)
                if (mark[h])
                    for (size_t c = 0; c < pos[h].size(); c++) list[pos[h][c]] = val[q[h] - 1][c];
        }
        return list;
    }
};

TEST(DrawRule, EveryListRoutineDrawsAsTheRuleSays) {
    for (unsigned seed : {1u, 12345u, 4000000000u}) {
        {
            Reference ref(seed);
            InitRndNumberGenerator(seed);
            for (int n : {0, 1, 2, 7, 31}) {
                Ints list(n);
                RndList(n, list.data());
                EXPECT_EQ(list, ref.List(n)) << "RndList " << n;
            }
            // Selection: candidates in ascending order take candidates of q.
            const bool sel[9] = {true, false, true, true, false, false, true, true, false};
            Ints list{9, 8, 7, 6, 5, 4, 3, 2, 1}, expected = list;
            RndListSelect(9, list.data(), sel);
            ref.Select(expected, std::vector<bool>(sel, sel + 9));
            EXPECT_EQ(list, expected);
            // Two masks: the units selected in both.
            const bool other[9] = {true, true, false, true, true, false, true, false, false};
            Ints two{9, 8, 7, 6, 5, 4, 3, 2, 1}, expectedTwo = two;
            RndListTwoSelect_(9, two.data(), sel, other);
            std::vector<bool> both(9);
            for (int i = 0; i < 9; i++) both[i] = sel[i] && other[i];
            ref.Select(expectedTwo, both);
            EXPECT_EQ(two, expectedTwo);
            // Bootstrap: 1 + U(n), in order.
            Ints boot(12);
            RndListBootstrapN(5, 12, boot.data());
            for (int i = 0; i < 12; i++) EXPECT_EQ(boot[i], 1 + ref.U(5));
            // Pairs: a permutation of the objects, then the pairs row by row.
            const int m = 6;
            Ints pairs(m * (m - 1) / 2);
            ASSERT_TRUE(RndListMantelRestricted(m * (m - 1) / 2, pairs.data(), m));
            Ints s = ref.List(m);
            int k = 0;
            for (int i = 0; i < m; i++)
                for (int j = i + 1; j < m; j++) EXPECT_EQ(pairs[k++], PairNumber(m, s[i] - 1, s[j] - 1));
            EXPECT_EQ(RndIntegers(-3, 10), -3 + ref.U(14));
            EXPECT_EQ(gsl_rng_get(r), gsl_rng_get(ref.g));  // no draw more, none less
        }
        // Restricted permutations, labels unsorted and not numbered from 1.
        const Ints blocks{7, 2, 7, 2, 5, 5, 7, 2, 5, 7, 2, 5};
        const Ints across{4, 9, 4, 9, 1, 1, 6, 3, 8, 6, 3, 8};   // six bundles of two
        const Ints within{40, 90, 40, 90, 10, 10, 60, 30, 10, 60, 30, 10};
        struct Case {
            bool useBlocks, useBundles, withinBlocks;
            const Ints* bundles;
        } cases[] = {{true, false, false, nullptr}, {false, true, false, &across},
                     {true, true, false, &across},   {true, true, true, &within}};
        for (const Case& c : cases) {
            Reference ref(seed);
            InitRndNumberGenerator(seed);
            for (int rep = 0; rep < 3; rep++) {
                Ints list(12);
                const int* bundles = c.bundles ? c.bundles->data() : nullptr;
                // The six-argument form is the seven-argument one without bundles within blocks.
                EXPECT_TRUE(rep == 2 && !c.withinBlocks
                                ? RndListNestedNew(12, c.useBlocks, blocks.data(), c.useBundles, bundles, list.data())
                                : RndListNestedNew(12, c.useBlocks, blocks.data(), c.useBundles, bundles,
                                                   c.withinBlocks, list.data()));
                EXPECT_EQ(list, ref.Nested(c.useBlocks ? blocks : Ints{}, c.bundles ? *c.bundles : Ints{},
                                           c.withinBlocks))
                    << c.useBlocks << c.useBundles << c.withinBlocks << " rep " << rep;
            }
            EXPECT_EQ(gsl_rng_get(r), gsl_rng_get(ref.g));
        }
        {
            // Selected units only: unselected units leave blocks and bundles.
            const bool sel[12] = {true, true, true, true, false, false, true, true, true, true, true, true};
            Reference ref(seed);
            InitRndNumberGenerator(seed);
            Ints list(12);
            EXPECT_TRUE(RndListNestedSelect(12, true, blocks.data(), true, across.data(), false,
                                            list.data(), sel));
            // The reference without the unselected units: blocks and bundles
            // of the others, positions kept.
            Ints expected(12);
            std::iota(expected.begin(), expected.end(), 1);
            for (int g : {2, 5, 7}) {
                std::vector<bool> m(12);
                for (int i = 0; i < 12; i++) m[i] = blocks[i] == g && sel[i];
                ref.Select(expected, m);
            }
            const Ints labels{3, 4, 6, 8, 9};
            std::vector<Ints> pos(5), val(5);
            for (int h = 0; h < 5; h++)
                for (int i = 0; i < 12; i++)
                    if (sel[i] && across[i] == labels[h]) pos[h].push_back(i), val[h].push_back(expected[i]);
            Ints q = ref.List(5);
            for (int h = 0; h < 5; h++)
                for (size_t c = 0; c < pos[h].size(); c++) expected[pos[h][c]] = val[q[h] - 1][c];
            EXPECT_EQ(list, expected);
            EXPECT_EQ(gsl_rng_get(r), gsl_rng_get(ref.g));
        }
        {
            // Synchronized: the first block's permutation, in every block.
            const Ints sb{3, 1, 3, 1, 2, 2, 3, 1, 2};
            const int order[3] = {1, 2, 3};
            Reference ref(seed);
            InitRndNumberGenerator(seed);
            Ints list(9);
            ASSERT_TRUE(RndListNestedSynchronized(9, true, sb.data(), false, nullptr, false, list.data(),
                                                  true, order));
            Ints q = ref.List(3), expected(9);
            std::iota(expected.begin(), expected.end(), 1);
            for (int g : {1, 2, 3}) {
                Ints c;
                for (int i = 0; i < 9; i++)
                    if (sb[i] == g) c.push_back(i + 1);
                for (int t = 0; t < 3; t++) expected[c[t] - 1] = c[q[t] - 1];
            }
            EXPECT_EQ(list, expected);
            EXPECT_EQ(gsl_rng_get(r), gsl_rng_get(ref.g));
        }
    }
}

}  // namespace
