// Huffman-code complexity against codes built here by brute force (repeated
// merging of the two lightest weights), and interpolation against values
// worked by hand and the straight line between the observations.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "matrix_util.h"
#include "nrutilRH.h"
#include "rhComplexity.h"
#include "rhlibDim.h"
#include "stream_util.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

using testmat::Table;
using Vec = std::vector<double>;
using Counts = std::vector<unsigned long>;

// The integer counts out of 1e6 of the amounts above 0.
Counts CountsOf(const Vec& x) {
    double S = 0;
    for (double v : x)
        if (v > 0) S += v;
    Counts c;
    for (double v : x) c.push_back(v > 0 ? static_cast<unsigned long>(std::floor(v * 1e6 / S)) : 0);
    return c;
}

// A Huffman code by brute force: the two lightest groups of symbols merged
// until one is left; every symbol of a merged group goes one level deeper.
// The sum of the merged weights is the sum of count x depth whatever the tie
// order; the depths themselves are unique only when no step had a choice
// (uniqueDepths).
struct BruteHuffman {
    unsigned long long mergedWeight = 0;
    std::vector<unsigned long> depth;
    bool uniqueDepths = true;
    explicit BruteHuffman(const Counts& c) : depth(c.size(), 0) {
        std::vector<std::pair<unsigned long long, std::vector<size_t>>> groups;
        for (size_t i = 0; i < c.size(); i++)
            if (c[i] > 0) groups.push_back({c[i], {i}});
        while (groups.size() > 1) {
            std::sort(groups.begin(), groups.end(),
                      [](const auto& a, const auto& b) { return a.first < b.first; });
            if (groups.size() > 2 && groups[1].first == groups[2].first) uniqueDepths = false;
            auto merged = groups[0];
            merged.first += groups[1].first;
            merged.second.insert(merged.second.end(), groups[1].second.begin(), groups[1].second.end());
            for (size_t s : merged.second) depth[s]++;
            mergedWeight += merged.first;
            groups.erase(groups.begin(), groups.begin() + 2);
            groups.push_back(merged);
        }
    }
};

// A code made by hufmak on counts (0-based here), with its arrays.
struct Code {
    unsigned long nch;
    long nodes;
    huffcode h{};
    unsigned long longestSymbol = 99, longestLength = 99;
    explicit Code(const Counts& c) : nch(c.size()), nodes(2 * static_cast<long>(c.size()) - 1) {
        h.icod = lvector(1, nodes);
        h.ncod = lvector(1, nodes);
        h.left = lvector(1, nodes);
        h.right = lvector(1, nodes);
        // Work arrays come uncleared from the allocator: fill them with noise
        // so that a link read before it is written shows.
        for (long k = 1; k <= nodes; k++) h.icod[k] = h.ncod[k] = h.left[k] = h.right[k] = 0xdeadbeefUL;
        unsigned long* counts = lvector(1, static_cast<long>(nch));
        for (unsigned long j = 0; j < nch; j++) counts[j + 1] = c[j];
        hufmak(counts, nch, &longestSymbol, &longestLength, &h);
        free_lvector(counts, 1, static_cast<long>(nch));
    }
    ~Code() {
        free_lvector(h.icod, 1, nodes);
        free_lvector(h.ncod, 1, nodes);
        free_lvector(h.left, 1, nodes);
        free_lvector(h.right, 1, nodes);
    }
    // The symbol reached from the root by the code of symbol j (1-based),
    // read from its most significant step down.
    unsigned long Decode(unsigned long j) const {
        unsigned long node = h.nodemax;
        for (unsigned long b = h.ncod[j]; b-- > 0;) node = (h.icod[j] >> b) & 1UL ? h.right[node] : h.left[node];
        return node;
    }
};

Vec DuneUnit1() {
    std::ifstream f(std::string(TEVLAN_TEST_DATA) + "/dune.txt");
    Vec row(30);
    for (double& v : row) f >> v;
    return row;
}

TEST(Huffman, SmallVectorsWorkedByHand) {
    // Counts in the ratio 1 : 1 : 2, and the rule that fewer than three positive
    // amounts carry no code (zero, negative and missing amounts don't count).
    struct Case {
        Vec x;
        double L;
        std::vector<unsigned long> lengths;  // 77: left as it was
    } cases[] = {
        {{1, 1, 2}, 1.5, {2, 2, 1}},
        {{2, 4, 2}, 1.5, {2, 1, 2}},
        {{-999, 1, 0, 1, -3, 2}, 1.5, {0, 2, 0, 2, 0, 1}},
        {{1, 1, 1, 1}, 2.0, {2, 2, 2, 2}},
        {{3, 5}, 0.0, {77, 77}},
        {{0, 7, -999, 7}, 0.0, {77, 77, 77, 77}},
        {{}, 0.0, {}},
        // Three positive amounts of which only one keeps a count: no tree.
        {{1e6, 0.5, 0.5}, 0.0, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        std::vector<unsigned long> lengths(c.x.size(), 77);
        EXPECT_DOUBLE_EQ(ComplexityVectorHuffCode(static_cast<int>(c.x.size()), c.x.data(), lengths.data()), c.L);
        EXPECT_EQ(lengths, c.lengths);
        EXPECT_DOUBLE_EQ(ComplexityVector(static_cast<int>(c.x.size()), c.x.data()), c.L);
    }
}

TEST(Huffman, DuneUnitOne) {
    // Counts 55555, 222222, 388888, 222222, 111111: merges 166666, 388888,
    // 611110 and 999998.
    const Vec x = DuneUnit1();
    std::vector<unsigned long> lengths(30, 77);
    EXPECT_NEAR(ComplexityVectorHuffCode(30, x.data(), lengths.data()), 2.166662, 1e-12);
    // The lengths depend on how the tie of 388888 is broken; the absent
    // species have none.
    for (int j = 0; j < 30; j++) EXPECT_EQ(lengths[j] == 0, x[j] == 0) << j;
}

TEST(Huffman, RandomVectorsAgainstRepeatedMerging) {
    std::mt19937 gen(2025);
    std::exponential_distribution<double> amount(1.0);
    std::uniform_int_distribution<int> size(3, 80);
    int compared = 0;
    for (int trial = 0; trial < 300; trial++) {
        const int n = size(gen);
        Vec x(n);
        for (double& v : x) v = trial % 3 == 0 ? std::floor(amount(gen) * 4) : amount(gen);  // ties, zeros
        const Counts c = CountsOf(x);
        const BruteHuffman ref(c);
        std::vector<unsigned long> lengths(n, 77);
        const double L = ComplexityVectorHuffCode(n, x.data(), lengths.data());
        int positive = 0;
        for (double v : x) positive += v > 0;
        if (positive < 3) {
            EXPECT_EQ(L, 0.0);
            continue;
        }
        EXPECT_NEAR(L, static_cast<double>(ref.mergedWeight) / 1e6, 1e-9) << "trial " << trial;

        const Code code(c);
        unsigned long sum = 0;
        for (int j = 0; j < n; j++) {
            EXPECT_EQ(code.h.ncod[j + 1], lengths[j]);
            sum += c[j] * code.h.ncod[j + 1];
            // Every coded symbol's bits lead from the root to itself.
            if (code.h.ncod[j + 1] > 0) {
                EXPECT_EQ(code.Decode(j + 1), static_cast<unsigned long>(j + 1));
            }
        }
        EXPECT_EQ(sum, ref.mergedWeight);
        if (ref.uniqueDepths) {
            compared++;
            EXPECT_EQ(Counts(lengths.begin(), lengths.end()), ref.depth) << "trial " << trial;
        }
        // The longest code: its first symbol.
        const auto longest = std::max_element(lengths.begin(), lengths.end());
        EXPECT_EQ(code.longestLength, *longest);
        EXPECT_EQ(code.longestSymbol, static_cast<unsigned long>(longest - lengths.begin()));
    }
    EXPECT_GT(compared, 100);
}

TEST(Huffman, TreesDeeperThanAWordAndDegenerateAlphabets) {
    // Fibonacci counts give a chain: symbol k at depth n - k (the two
    // lightest at the bottom), deeper than the 64 bits of a code word.
    const int n = 70;
    Counts fib(n);
    fib[0] = fib[1] = 1;
    for (int k = 2; k < n; k++) fib[k] = fib[k - 1] + fib[k - 2] + 1;  // +1 keeps every step tie-free
    const BruteHuffman ref(fib);
    ASSERT_TRUE(ref.uniqueDepths);
    const Code deep(fib);
    for (int k = 0; k < n; k++) EXPECT_EQ(deep.h.ncod[k + 1], ref.depth[k]) << k;
    EXPECT_EQ(deep.longestLength, static_cast<unsigned long>(n - 1));
    EXPECT_EQ(deep.longestSymbol, 0u);
    EXPECT_EQ(deep.h.nodemax, static_cast<unsigned long>(2 * n - 1));

    // One symbol or none coded: no tree, every length 0, the root the last symbol.
    for (const Counts& c : {Counts{0, 5, 0}, Counts{0, 0}, Counts{9}}) {
        const Code one(c);
        for (size_t j = 1; j <= c.size(); j++) {
            EXPECT_EQ(one.h.ncod[j], 0u);
            EXPECT_EQ(one.h.icod[j], 0u);
        }
        EXPECT_EQ(one.h.nodemax, c.size());
        EXPECT_EQ(one.longestLength, 0u);
    }
}

TEST(Huffman, SiftDownKeepsTheHeapAndItsTieRule) {
    // Symbols 1..3 by their values (index 0 unused). An entry moves below a
    // strictly smaller child only; of two equal children the left is taken.
    struct Case {
        std::vector<unsigned long> values, heap, after;
    } cases[] = {
        {{0, 5, 3, 3}, {0, 1, 2, 3}, {0, 2, 1, 3}},
        {{0, 3, 3, 3}, {0, 1, 2, 3}, {0, 1, 2, 3}},
        {{0, 5, 4, 3}, {0, 1, 2, 3}, {0, 3, 2, 1}},
        {{0, 3, 5, 3}, {0, 1, 2, 3}, {0, 1, 2, 3}},
    };
    for (Case& c : cases) {
        hufapp(c.heap.data(), c.values.data(), 3, 1);
        EXPECT_EQ(c.heap, c.after);
    }
    // Built from the bottom up, a random heap has every parent at most its children.
    std::mt19937 gen(7);
    std::uniform_int_distribution<unsigned long> value(0, 9);
    for (int trial = 0; trial < 50; trial++) {
        const unsigned long n = 1 + trial;
        std::vector<unsigned long> values(n + 1), heap(n + 1);
        for (unsigned long s = 1; s <= n; s++) values[s] = value(gen), heap[s] = n + 1 - s;
        for (unsigned long i = n; i >= 1; i--) hufapp(heap.data(), values.data(), n, i);
        for (unsigned long i = 2; i <= n; i++) EXPECT_LE(values[heap[i / 2]], values[heap[i]]);
        std::sort(heap.begin() + 1, heap.end());
        for (unsigned long s = 1; s <= n; s++) EXPECT_EQ(heap[s], s);  // nothing lost
    }
}

TEST(Huffman, TiesBrokenAsTheMergingLoopOnHufappBreaksThem) {
    // The merging loop written plainly on hufapp's heap of symbol numbers:
    // counts of few values (ties everywhere) must give its very tree and
    // lengths.
    std::mt19937 gen(44);
    for (int trial = 0; trial < 400; trial++) {
        Counts c(1 + gen() % 300);
        const unsigned long top = 1 + gen() % 12;
        for (unsigned long& v : c) v = gen() % (top + 1);
        const Code code(c);
        const unsigned long nch = c.size();
        std::vector<unsigned long> value(2 * nch + 1), heap(1);
        std::vector<long> parent(value.size(), 0);
        for (unsigned long j = 1; j <= nch; j++)
            if ((value[j] = c[j - 1])) heap.push_back(j);
        unsigned long u = heap.size() - 1, k = nch;
        for (unsigned long i = u; i >= 1; i--) hufapp(heap.data(), value.data(), u, i);
        while (u > 1) {
            const unsigned long a = heap[1];
            heap[1] = heap[u--];
            hufapp(heap.data(), value.data(), u, 1);
            value[++k] = value[heap[1]] + value[a];
            ASSERT_EQ(code.h.left[k], a) << "trial " << trial;
            ASSERT_EQ(code.h.right[k], heap[1]) << "trial " << trial;
            parent[heap[1]] = -static_cast<long>(k);
            parent[a] = static_cast<long>(k);
            heap[1] = k;
            hufapp(heap.data(), value.data(), u, 1);
        }
        ASSERT_EQ(code.h.nodemax, k);
        for (unsigned long j = 1; j <= nch; j++) {
            unsigned long steps = 0;
            for (long p = c[j - 1] ? parent[j] : 0; p != 0; p = parent[std::labs(p)]) steps++;
            ASSERT_EQ(code.h.ncod[j], steps) << "trial " << trial;
        }
    }
}

TEST(Huffman, ExtremeAmountsAndRowTotals) {
    // Amounts near the top of the double range scale like any others.
    struct Case {
        Vec x;
        double L;
    } cases[] = {
        {{4e307, 4e307, 8e307}, 1.5},              // the counts would overflow
        {{1e308, 1e308, 1e308}, 1.666665},         // so would the sum: 333333 each
    };
    for (const Case& c : cases) EXPECT_NEAR(ComplexityVector(3, c.x.data()), c.L, 1e-12) << c.x[0];

    // Row totals 1, 1 and 2 (a missing cell takes no part).
    Table X{{1, 0}, {0.5, 0.5}, {-999, 2}};
    EXPECT_DOUBLE_EQ(ComplexityRows(3, 2, X.x), 1.5);
}

// ---------------------------------------------------------------------------
// Interpolation
// ---------------------------------------------------------------------------

class Interpolation : public testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tevlan_interp_XXXXXX";
        dir_ = mkdtemp(tmpl);
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }
    std::string File() const {
        std::ifstream f(dir_ + "/Interpolated.txt");
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    bool Written() const { return std::filesystem::exists(dir_ + "/Interpolated.txt"); }
    // The interpolated matrix: the tab-separated lines before the first blank line.
    std::vector<Vec> Result() const {
        std::vector<Vec> rows;
        std::istringstream lines(File());
        for (std::string l; std::getline(lines, l) && !l.empty();) {
            std::istringstream cells(l);
            Vec row;
            for (double v; cells >> v;) row.push_back(v);
            rows.push_back(row);
        }
        return rows;
    }
    std::string dir_;
    std::filesystem::path old_;
};

TEST_F(Interpolation, IntegerTimesGiveTheLineAndTheFileLayout) {
    Table X{{0, 10}, {2, 6}, {4, 0}};
    const double times[] = {0, 2, 4};
    ASSERT_EQ(Interpolate(3, 2, X.x, times, 1.0, 5), 1);
    EXPECT_EQ(File(),
              "0\t10\t\n1\t8\t\n2\t6\t\n3\t3\t\n4\t0\t\n"
              "\nAbove matrix (Rows= 5 sampling units, columns= 2 variables)\n"
              "contains interpolated data obtained from data originally with 3 sampling units.\n"
              "New time (or spatial) scale of interpolated data:\n0\t1\t2\t3\t4\t\n"
              "\nSpecified time (or spatial) scale of original data:\n0\t2\t4\t\n");
}

TEST_F(Interpolation, GridValuesAgainstTheStraightLine) {
    struct Case {
        Vec times, values, newTimes;
        double interval;  // 0: the grid form with newTimes
        Vec expected;
    } cases[] = {
        // Fractional times: the value at each integer between them.
        {{0, 1.5, 3}, {0, 3, 6}, {0, 1, 2, 3}, 0, {0, 2, 4, 6}},
        // An interval of 2.5 steps by 3; the count, (10 - 0) / 2.5 + 1 = 5,
        // reaches past the grid, where there are no data: missing.
        {{0, 5, 10}, {0, 5, 10}, {}, 2.5, {0, 3, 6, 9, -999}},
        // The first time is not whole: the grid starts at its whole part,
        // which takes the first value.
        {{0.5, 2.5}, {1, 5}, {}, 1, {1, 2, 4}},
        // New times off the grid, or not whole, are missing.
        {{1, 3}, {2, 4}, {0, 1, 1.5, 2, 3, 4}, 0, {-999, 2, -999, 3, 4, -999}},
        // Values below 0.00001, negative ones too, become 0.
        {{0, 2}, {-2, 2}, {0, 1, 2}, 0, {0, 0, 2}},
        {{0, 1}, {0.000009, 0.00002}, {0, 1}, 0, {0, 0.00002}},
        // The data's own times give the data back exactly.
        {{3, 7, 8}, {0.1, 0.7, 0.3}, {3, 7, 8}, 0, {0.1, 0.7, 0.3}},
        // A missing observation: the points that lean on it stay missing.
        {{0, 2, 4}, {1, -999, 5}, {0, 1, 2, 3, 4}, 0, {1, -999, -999, -999, 5}},
        // Negative times: the grid runs from -1 to 1; the fourth new time,
        // 2, is past it.
        {{-1.5, 1.5}, {0, 6}, {}, 1, {1, 3, 5, -999}},
    };
    for (const Case& c : cases) {
        const int n = static_cast<int>(c.times.size());
        Table X(n, 1);
        for (int i = 0; i < n; i++) X[i][0] = c.values[i];
        const int done = c.interval > 0
                             ? Interpolate(n, 1, X.x, c.times.data(), c.interval, 17)
                             : Interpolate(n, 1, X.x, c.times.data(), static_cast<int>(c.newTimes.size()),
                                           c.newTimes.data(), 17);
        ASSERT_EQ(done, 1);
        const std::vector<Vec> rows = Result();
        ASSERT_EQ(rows.size(), c.expected.size()) << File();
        for (size_t r = 0; r < rows.size(); r++) EXPECT_NEAR(rows[r][0], c.expected[r], 1e-12) << File();
    }
}

TEST_F(Interpolation, RefusalsWriteNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    Table X{{1}, {2}, {3}};
    struct Case {
        Vec times;
        double interval;
        const char* message;
    } cases[] = {
        {{0, 1, 2}, 0, "interval must be a number above 0"},
        {{0, 1, 2}, -1, "interval must be a number above 0"},
        {{0, 1, 2}, nan, "interval must be a number above 0"},
        {{0, 1, 2}, inf, "interval must be a number above 0"},
        {{0, 1, 1}, 1, "must be numbers that increase"},
        {{0, 2, 1}, 1, "must be numbers that increase"},
        {{0, nan, 2}, 1, "must be numbers that increase"},
        {{0, 1, inf}, 1, "must be numbers that increase"},
        {{0, 1, 3e9}, 1, "more than 2147483647 points"},
        {{0, 1, 2e9}, 0.5, "more than 2147483647 new times"},
    };
    for (const Case& c : cases) {
        CaptureStderr();
        EXPECT_EQ(Interpolate(3, 1, X.x, c.times.data(), c.interval, 5), 0);
        const std::string err = GetCapturedStderr();
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_NE(err.find("nothing was interpolated"), std::string::npos);
        EXPECT_FALSE(Written());
    }
    const double times[] = {0, 1, 1}, newTimes[] = {0};
    CaptureStderr();
    EXPECT_EQ(Interpolate(3, 1, X.x, times, 1, newTimes, 5), 0);
    EXPECT_EQ(Interpolate(0, 1, X.x, times, 1.0, 5), 0);
    GetCapturedStderr();
    EXPECT_FALSE(Written());
}

TEST_F(Interpolation, FileThatCannotBeCreatedOrWritten) {
    Table X{{1}, {2}};
    const double times[] = {0, 1};
    std::filesystem::create_directory(dir_ + "/Interpolated.txt");
    CaptureStderr();
    EXPECT_EQ(Interpolate(2, 1, X.x, times, 1.0, 5), 0);
    EXPECT_NE(GetCapturedStderr().find("can't open Interpolated.txt"), std::string::npos);

    // A disc that fills up: 1001 interpolated rows do not fit in 1024 bytes.
    std::filesystem::remove(dir_ + "/Interpolated.txt");
    CaptureStderr();
    {
        FullDisc full(1024);
        EXPECT_EQ(Interpolate(2, 1, X.x, times, 0.001, 5), 0);
    }
    EXPECT_NE(GetCapturedStderr().find("FAIL TO PRINT ON FILE Interpolated.txt"), std::string::npos);
}

}  // namespace
