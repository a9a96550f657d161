// Statistics of one community table: hand-worked values and figures from R on
// the dune data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "functional_phyl_util.h"
#include "linear_models_reference.h"
#include "matrix_util.h"
#include "rhFunctionalPhyl.h"
#include "rhlibDim.h"

namespace {

using fptest::Euclidean;
using lsref::Matrix;
using lsref::Vec;
using testmat::Table;

// resemblance(a, b) between every pair of the points x.
template <class F>
Matrix PairMatrix(const Vec& x, F resemblance) {
    Matrix t(x.size(), Vec(x.size()));
    for (size_t i = 0; i < x.size(); i++)
        for (size_t j = 0; j < x.size(); j++) t[i][j] = resemblance(x[i], x[j]);
    return t;
}
Matrix AbsDiff(const Vec& x) {
    return PairMatrix(x, [](double a, double b) { return std::fabs(a - b); });
}

TEST(NearNeighbour, HandWorkedCommunities) {
    // Traits 0, 1, 3 (and 0, 1, 2 for the tie); the second community holds
    // one OTU only and takes no part.
    const Vec traits = {0, 1, 3};
    Table dis(AbsDiff(traits));
    Table sim(PairMatrix(traits, [](double a, double b) { return 1 - std::fabs(a - b) / 3; }));
    Table simShort(PairMatrix(traits, [](double a, double b) { return std::max(0.0, 1 - std::fabs(a - b) / 2); }));
    Table tie(AbsDiff({0, 1, 2}));
    Table W{{1, 2, 1}, {0, 5, 0}};
    Table Wtie{{1, 1, 5}, {0, 0, 0}};
    Table Wsingle{{0, 1, 0}, {0, 0, 2}};
    // A negative abundance is no presence: the first community has two OTUs.
    Table Wnegative{{1, -2, 1}, {3, 0, 0}};
    struct Case {
        const char* what;
        Table* W;
        Table* S;
        bool dissimilarity;
        double expected;
    } cases[] = {
        // 1*2*1 + 1*1*2 + 2*2*1 over richness 3.
        {"dissimilarity", &W, &dis, true, 8.0 / 3},
        // (2/3)/2 + (2/3)/2 + (1/3)/2 over 3.
        {"similarity", &W, &sim, false, 5.0 / 18},
        // OTU 3 has no neighbour with a similarity above 0: it adds 0.
        {"similarity without neighbour", &W, &simShort, false, (0.25 + 0.25) / 3},
        // OTU 2 is 1 from OTU 1 and from OTU 3: the first one is its neighbour.
        {"tie", &Wtie, &tie, true, (1.0 + 1.0 + 5.0) / 3},
        {"negative abundance", &Wnegative, &dis, true, (3.0 * 1 * 1 + 3.0 * 1 * 1) / 2},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(NearNeigAvgTraitResemblance_WithinCommunity(3, 2, c.W->x, c.S->x, c.dissimilarity, false, nullptr),
                    c.expected, 1e-12)
            << c.what;
    EXPECT_TRUE(std::isnan(NearNeigAvgTraitResemblance_WithinCommunity(3, 2, Wsingle.x, dis.x, true, false, nullptr)));

    // The lower triangle is taken from the upper one when asked.
    Table upper(AbsDiff(traits));
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < i; j++) upper[i][j] = 100;
    EXPECT_NEAR(NearNeigAvgTraitResemblance_WithinCommunity(3, 2, W.x, upper.x, true, true, nullptr), 8.0 / 3, 1e-12);
    EXPECT_EQ(upper[2][0], 3.0);
    // A given richness divides instead of the count.
    const int richness[] = {4, 1};
    EXPECT_NEAR(NearNeigAvgTraitResemblance_WithinCommunity(3, 2, W.x, dis.x, true, false, richness), 8.0 / 4, 1e-12);
}

TEST(NNCRD, NearestNeighbourContributionsAverageTies) {
    Table T(AbsDiff({0, 1, 2, 3})), D(AbsDiff({0, 10, 30, 40}));
    Vec result(4);
    EXPECT_TRUE(NNCRD(4, T.x, D.x, result.data()));
    const Vec expected = {10, 15, 15, 10};
    for (int i = 0; i < 4; i++) EXPECT_DOUBLE_EQ(result[i], expected[i]) << i;

    // A missing resemblance is no neighbour; a lone entity gets 0.
    T[0][1] = MISSING;
    EXPECT_TRUE(NNCRD(4, T.x, D.x, result.data()));
    EXPECT_DOUBLE_EQ(result[0], 30);
    double one = -1;
    EXPECT_TRUE(NNCRD(1, T.x, D.x, &one));
    EXPECT_EQ(one, 0.0);
}

TEST(LCBD, HandWorkedAndDune) {
    // Points 0, 1, 3: the diagonal of -1/2 J D^2 J is 16/9, 1/9, 25/9.
    Table D(AbsDiff({0, 1, 3}));
    Table D2(PairMatrix({0, 1, 3}, [](double a, double b) { return (a - b) * (a - b); }));
    for (bool squared : {false, true}) {
        Vec result(3);
        EXPECT_TRUE(LCBD(3, squared ? D2.x : D.x, result.data(), squared));
        EXPECT_NEAR(result[0], 16.0 / 42, 1e-12) << squared;
        EXPECT_NEAR(result[1], 1.0 / 42, 1e-12) << squared;
        EXPECT_NEAR(result[2], 25.0 / 42, 1e-12) << squared;
    }
    // Figures of base R (-J D^2 J / 2 on dist(dune)).
    Table E(Euclidean(lsref::Dune()));
    Vec lcbd(20);
    EXPECT_TRUE(LCBD(20, E.x, lcbd.data(), false));
    EXPECT_NEAR(lcbd[0], 0.04118779, 5e-9);
    EXPECT_NEAR(lcbd[1], 0.05201145, 5e-9);
    EXPECT_NEAR(lcbd[2], 0.04644321, 5e-9);
    EXPECT_EQ(std::max_element(lcbd.begin(), lcbd.end()) - lcbd.begin(), 15);
    EXPECT_NEAR(lcbd[15], 0.07747521, 5e-9);
    // Identical units: a trace of 0 gives contributions of 0, not NaN.
    Table zero(3, 3);
    Vec z(3, -1);
    EXPECT_TRUE(LCBD(3, zero.x, z.data(), false));
    for (double v : z) EXPECT_EQ(v, 0.0);
}

TEST(DiversityPartition, HandWorkedPartition) {
    Table W{{1, 1, 0, 0}, {0, 0, 1, 1}, {1, 1, 1, 1}};
    // The same with an empty community, which takes no part.
    Table Wempty{{1, 1, 0, 0}, {0, 0, 0, 0}, {0, 0, 1, 1}, {1, 1, 1, 1}};
    Table D(PairMatrix({0, 1, 2, 3}, [](double a, double b) { return a == b ? 0.0 : 1.0; }));
    for (Table* w : {&W, &Wempty}) {
        double alpha, beta, gamma, aEq, bEq, gEq, bProp;
        EXPECT_TRUE(DiversityPartition(w->rows, 4, w->x, D.x, alpha, beta, gamma, aEq, bEq, gEq, bProp));
        // Rao of (1/2, 1/2, 0, 0) and (0, 0, 1/2, 1/2) is 1/2, of the even
        // profile 3/4; the pooled profile is even.
        EXPECT_NEAR(alpha, (0.5 + 0.5 + 0.75) / 3, 1e-12);
        EXPECT_NEAR(gamma, 0.75, 1e-12);
        EXPECT_NEAR(beta, 0.75 - 1.75 / 3, 1e-12);
        EXPECT_NEAR(aEq, 2.4, 1e-12);
        EXPECT_NEAR(gEq, 4, 1e-12);
        EXPECT_NEAR(bEq, 4 / 2.4, 1e-12);
        EXPECT_NEAR(bProp, 0.4, 1e-12);
    }
    // Without a matrix, Simpson's partition gives the same here (D is 1 off
    // the diagonal); with no community at all every index is 0.
    double alpha, beta, gamma, aEq, bEq, gEq, bProp;
    EXPECT_TRUE(DiversityPartition(3, 4, W.x, nullptr, alpha, beta, gamma, aEq, bEq, gEq, bProp));
    EXPECT_NEAR(gamma, 0.75, 1e-12);
    Table empty(2, 4);
    EXPECT_TRUE(DiversityPartition(2, 4, empty.x, D.x, alpha, beta, gamma, aEq, bEq, gEq, bProp));
    EXPECT_EQ(alpha, 0.0);
    EXPECT_EQ(gamma, 0.0);
    EXPECT_EQ(aEq, 1.0);
    EXPECT_EQ(bProp, 0.0);
}

}  // namespace
