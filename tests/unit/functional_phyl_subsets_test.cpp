// Subsets of a set.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "rhFunctionalPhyl.h"
#include "rhlibDim.h"

namespace {

std::vector<std::string> Rows(int** M, int rows, int n) {
    std::vector<std::string> r;
    for (int i = 0; i < rows; i++) {
        std::string s;
        for (int j = 0; j < n; j++) s += static_cast<char>('0' + M[i][j]);
        r.push_back(s);
    }
    return r;
}

TEST(AllCombinations, SubsetsBySizeInLexicographicOrder) {
    ScopedMatrix<int> M(7, 3);
    EXPECT_TRUE(AllCombinations(M.x, 7, 3));
    EXPECT_EQ(Rows(M.x, 7, 3), (std::vector<std::string>{"100", "010", "001", "110", "101", "011", "111"}));
    ScopedMatrix<int> six(6, 3);
    EXPECT_TRUE(AllCombinations(six.x, 6, 2, 3));
    EXPECT_EQ(Rows(six.x, 6, 3), (std::vector<std::string>{"100", "010", "001", "110", "101", "011"}));

    // Too few rows: nothing written.
    ScopedMatrix<int> few(6, 3);
    few[0][0] = 7;
    EXPECT_FALSE(AllCombinations(few.x, 6, 3));
    EXPECT_EQ(few[0][0], 7);
    EXPECT_FALSE(AllCombinations(few.x, 5, 2, 3));

    // n = 6 against the subsets enumerated as bit masks, ordered by size
    // and then by their sorted positions.
    const int n = 6, all = 63;
    std::vector<std::vector<int>> subsets;
    for (int mask = 1; mask < 64; mask++) {
        std::vector<int> pos;
        for (int j = 0; j < n; j++)
            if (mask >> j & 1) pos.push_back(j);
        subsets.push_back(pos);
    }
    std::sort(subsets.begin(), subsets.end(), [](const std::vector<int>& a, const std::vector<int>& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    ScopedMatrix<int> big(all, n);
    ASSERT_TRUE(AllCombinations(big.x, all, n));
    for (int r = 0; r < all; r++) {
        std::string expected(n, '0');
        for (int j : subsets[r]) expected[j] = '1';
        EXPECT_EQ(Rows(big.x, all, n)[r], expected) << r;
    }
}

TEST(NumberAllCombinations, ExactUpTo31) {
    const int expected[][2] = {{0, 0}, {1, 1}, {3, 7}, {29, 536870911}, {30, 1073741823},
                               {31, 2147483647}, {32, -1}, {-1, -1}};
    for (const auto& e : expected) EXPECT_EQ(NumberAllCombinations(e[0]), e[1]) << e[0];
}

}  // namespace
