// The single-statistic permutation tests against a replay of their draws on a
// generator of the test's own, each random arrangement built out as a whole
// matrix, and the resemblance options of another program that they take.
#include <gtest/gtest.h>
#include <gsl/gsl_rng.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "functional_phyl_util.h"
#include "linear_models_reference.h"
#include "matrix_util.h"
#include "reference_stats.h"
#include "rhFunctionalPhyl.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"
#include "stream_util.h"

namespace {

using fptest::Euclidean;
using fptest::Rows;
using lsref::DrawnList;
using lsref::Matrix;
using lsref::Vec;
using testmat::Table;

// S with its rows and columns taken in list order (numbers from 1).
Matrix PermutedSquare(double** S, int p, const std::vector<int>& list) {
    Matrix t(p, Vec(p));
    for (int a = 0; a < p; a++)
        for (int b = 0; b < p; b++) t[a][b] = S[list[a] - 1][list[b] - 1];
    return t;
}

gsl_rng* Replay(unsigned seed) {
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, seed);
    return g;
}

// ---------------------------------------------------------------------------
// Permutation tests
// ---------------------------------------------------------------------------

// A community table with repeated abundances and absences, and OTU
// resemblances with many ties (whole-number traits), so that the order of
// the neighbour search matters.
struct CommunityData {
    int p, c;
    Table W, dis, sim;
    CommunityData(int p_, int c_, unsigned seed)
        : p(p_), c(c_), W(c_, p_), dis(p_, p_), sim(p_, p_) {
        gsl_rng* g = Replay(seed);
        Vec traits(p);
        for (double& t : traits) t = static_cast<double>(gsl_rng_uniform_int(g, 6));
        for (int i = 0; i < c; i++)
            for (int j = 0; j < p; j++) W[i][j] = gsl_rng_uniform(g) < 0.5 ? 0.0 : 1.0 + gsl_rng_uniform_int(g, 4);
        for (int a = 0; a < p; a++)
            for (int b = 0; b < p; b++) {
                dis[a][b] = std::fabs(traits[a] - traits[b]);
                sim[a][b] = 1.0 / (1.0 + dis[a][b]);
            }
        gsl_rng_free(g);
    }
};

TEST(ProbLimitingSimilarity, ReplayOfTheShuffleOnWholeMatrices) {
    struct Case {
        int p, c, N;
        bool dissimilarity;
    } cases[] = {{9, 6, 300, true}, {9, 6, 300, false}, {15, 4, 200, true}};
    for (const Case& k : cases) {
        CommunityData d(k.p, k.c, 7 + k.p);
        double** S = k.dissimilarity ? d.dis.x : d.sim.x;
        InitRndNumberGenerator(2024);
        const double P = Prob_LimitingSimilarity(k.N, k.p, k.c, d.W.x, S, k.dissimilarity, false, nullptr);

        gsl_rng* g = Replay(2024);
        const double observed =
            NearNeigAvgTraitResemblance_WithinCommunity(k.p, k.c, d.W.x, S, k.dissimilarity, false, nullptr);
        double count = 1;
        for (int it = 1; it < k.N; it++) {
            Table Sp(PermutedSquare(S, k.p, DrawnList(g, k.p)));
            const double v =
                NearNeigAvgTraitResemblance_WithinCommunity(k.p, k.c, d.W.x, Sp.x, k.dissimilarity, false, nullptr);
            if (AtOrBeyond(v, observed, k.dissimilarity)) count++;
        }
        gsl_rng_free(g);
        EXPECT_DOUBLE_EQ(P, count / k.N) << k.p << " " << k.dissimilarity;
        EXPECT_GT(P, 1.0 / k.N);
        EXPECT_LT(P, 1.0);
    }
}

TEST(ProbLimitingSimilarity, ManyOtusScanInsteadOfSorting) {
    // Beyond the size of the sorted neighbour lists; three sparse
    // communities. The replay needs only the OTUs present somewhere, in
    // their order, so it works on that small table.
    const int p = 2049, c = 3, N = 40;
    Table W(c, p), S(p, p);
    Vec traits(p);
    gsl_rng* t = Replay(41);
    for (double& v : traits) v = static_cast<double>(gsl_rng_uniform_int(t, 1000));
    gsl_rng_free(t);
    for (int a = 0; a < p; a++)
        for (int b = 0; b < p; b++) S[a][b] = std::fabs(traits[a] - traits[b]);
    std::vector<int> present;
    for (int j = 0; j < p; j++)
        for (int i = 0; i < c; i++)
            if (j % 97 == i) {
                W[i][j] = 1 + (j % 3);
                if (present.empty() || present.back() != j) present.push_back(j);
            }
    const int u = static_cast<int>(present.size());
    Table Wsub(c, u);
    for (int i = 0; i < c; i++)
        for (int t = 0; t < u; t++) Wsub[i][t] = W[i][present[t]];
    InitRndNumberGenerator(5);
    const double P = Prob_LimitingSimilarity(N, p, c, W.x, S.x, true, false, nullptr);
    gsl_rng* g = Replay(5);
    const double observed = NearNeigAvgTraitResemblance_WithinCommunity(p, c, W.x, S.x, true, false, nullptr);
    double count = 1;
    for (int it = 1; it < N; it++) {
        const std::vector<int> list = DrawnList(g, p);
        Table Ssub(u, u);
        for (int a = 0; a < u; a++)
            for (int b = 0; b < u; b++) Ssub[a][b] = S[list[present[a]] - 1][list[present[b]] - 1];
        if (AtOrBeyond(NearNeigAvgTraitResemblance_WithinCommunity(u, c, Wsub.x, Ssub.x, true, false, nullptr),
                       observed, true))
            count++;
    }
    gsl_rng_free(g);
    EXPECT_DOUBLE_EQ(P, count / N);
    EXPECT_GT(P, 2.0 / N);
    EXPECT_LT(P, 1.0 - 2.0 / N);
}

// The numbers written after a heading, up to the end of its line.
std::vector<int> NumbersAfter(const std::string& text, const std::string& heading, size_t from = 0) {
    std::vector<int> v;
    size_t at = text.find(heading, from);
    if (at == std::string::npos) return v;
    std::istringstream line(text.substr(at + heading.size(), text.find('\n', at + heading.size()) - at - heading.size()));
    int x;
    while (line >> x) v.push_back(x);
    return v;
}

TEST(ProbRedundancy, ReplayPerCommunityAndRestrictedShuffle) {
    CommunityData d(8, 5, 31);
    // OTUs 3 and 6 are absent everywhere: the restricted shuffle leaves them.
    for (int i = 0; i < d.c; i++) d.W[i][2] = d.W[i][5] = 0;
    Vec diversity(d.c);
    for (int i = 0; i < d.c; i++) diversity[i] = RaoIndex_Simpson(d.p, d.W[i], nullptr, true, false);
    const int N = 150;
    for (bool restricted : {false, true})
        for (bool sqrtRao : {false, true}) {
            Vec P(d.c);
            InitRndNumberGenerator(77);
            EXPECT_TRUE(Prob_Redundancy(N, d.p, 2, d.c, diversity.data(), P.data(), d.sim.x, d.W.x, sqrtRao, false,
                                        nullptr, restricted));

            std::vector<int> listing;  // present OTUs, community by community
            for (int i = 0; i < d.c; i++)
                for (int j = 0; j < d.p; j++)
                    if (d.W[i][j] > 0 && std::find(listing.begin(), listing.end(), j + 1) == listing.end())
                        listing.push_back(j + 1);
            gsl_rng* g = Replay(77);
            Vec observed(d.c), count(d.c, 1);
            for (int i = 0; i < d.c; i++) observed[i] = diversity[i] - RaoIndex(d.p, d.W[i], d.sim.x, sqrtRao);
            for (int it = 1; it < N; it++) {
                std::vector<int> list(d.p);
                if (restricted) {
                    for (int j = 0; j < d.p; j++) list[j] = j + 1;
                    const std::vector<int> q = DrawnList(g, static_cast<int>(listing.size()));
                    for (size_t t = 0; t < listing.size(); t++) list[listing[t] - 1] = listing[q[t] - 1];
                } else {
                    list = DrawnList(g, d.p);
                }
                Table Sp(PermutedSquare(d.sim.x, d.p, list));
                for (int i = 0; i < d.c; i++)
                    if (AtOrBeyond(diversity[i] - RaoIndex(d.p, d.W[i], Sp.x, sqrtRao), observed[i], true)) count[i]++;
            }
            gsl_rng_free(g);
            for (int i = 0; i < d.c; i++)
                EXPECT_DOUBLE_EQ(P[i], count[i] / N) << "restricted " << restricted << " sqrt " << sqrtRao << " " << i;
        }

    // The restricted lists keep the absent OTUs in place and move each
    // present one once.
    Vec P(d.c);
    const std::string trace = Printed([&](FILE* f) {
        Prob_Redundancy(4, d.p, 2, d.c, diversity.data(), P.data(), d.sim.x, d.W.x, false, true, f, true);
    });
    const std::string heading = "\nOrder of OTUs in randomly permuted resemblance matrix between OTUs:\t";
    EXPECT_EQ(Count(trace, heading), 3);
    for (size_t at = trace.find(heading); at != std::string::npos; at = trace.find(heading, at + 1)) {
        std::vector<int> list = NumbersAfter(trace, heading, at);
        ASSERT_EQ(list.size(), 8u);
        EXPECT_EQ(list[2], 3);
        EXPECT_EQ(list[5], 6);
        std::sort(list.begin(), list.end());
        for (int j = 0; j < 8; j++) EXPECT_EQ(list[j], j + 1);
    }
}

TEST(PermutationTests, OneArrangementTracesAndSeeds) {
    CommunityData d(6, 4, 3);
    Vec diversity(d.c, 0.8), P(d.c);

    // N = 1: the observed arrangement alone.
    EXPECT_EQ(Prob_LimitingSimilarity(1, d.p, d.c, d.W.x, d.dis.x, true, false, nullptr), 1.0);
    EXPECT_TRUE(Prob_Redundancy(1, d.p, 2, d.c, diversity.data(), P.data(), d.sim.x, d.W.x, false, false, nullptr,
                                false));
    for (double v : P) EXPECT_EQ(v, 1.0);
    // N = 0 is refused.
    EXPECT_TRUE(std::isnan(Prob_LimitingSimilarity(0, d.p, d.c, d.W.x, d.dis.x, true, false, nullptr)));
    EXPECT_FALSE(Prob_Redundancy(0, d.p, 2, d.c, diversity.data(), P.data(), d.sim.x, d.W.x, false, false, nullptr,
                                 false));
    EXPECT_TRUE(std::isnan(P[0]));

    // The same seed, the same P.
    InitRndNumberGenerator(11);
    const double first = Prob_LimitingSimilarity(99, d.p, d.c, d.W.x, d.sim.x, false, false, nullptr);
    InitRndNumberGenerator(11);
    EXPECT_EQ(Prob_LimitingSimilarity(99, d.p, d.c, d.W.x, d.sim.x, false, false, nullptr), first);

    // Traces: the headings once, one iteration line per random arrangement.
    const std::string limiting = Printed([&](FILE* f) {
        Prob_LimitingSimilarity(5, d.p, d.c, d.W.x, d.dis.x, true, true, f);
    });
    for (const char* heading : {"\nPERMUTATION TEST for the \n", "INTERMEDIATE RESULTS\n",
                                "\nObserved dissimilarity matrix of 6 OTUs:\n",
                                "\nCommunity data matrix (4 communities by 6 OTUs):\n", "\n\nObserved test statistic=\t"})
        EXPECT_EQ(Count(limiting, heading), 1) << heading;
    EXPECT_EQ(Count(limiting, "\n\nPermuted distance matrix:\n"), 4);
    EXPECT_EQ(Count(limiting, "\n\nOrder of original OTUs in permuted matrix:\t"), 4);
    EXPECT_EQ(Count(limiting, "\tRandom test statistic=\t"), 4);
    EXPECT_NE(limiting.find("\nIteration 4\tRandom test statistic=\t"), std::string::npos);

    const std::string redundancy = Printed([&](FILE* f) {
        Prob_Redundancy(3, d.p, 2, d.c, diversity.data(), P.data(), d.sim.x, d.W.x, false, true, f, false);
    });
    for (const char* heading : {"\nPERMUTATION TEST FOR REDUNDANCY\n", "INTERMEDIATE RESULTS\n",
                                "\nObserved resemblance matrix between OTUs based on the traits:\n",
                                "\nMatrix W (4 communities by 6 OTUs):\n", "\nObserved redundancy in 4 communities\n"})
        EXPECT_EQ(Count(redundancy, heading), 1) << heading;
    EXPECT_EQ(Count(redundancy, "\n\nITERATION\t"), 2);
    EXPECT_EQ(Count(redundancy, "after rearrangement according to OTUs permutation:\n"), 2);
    EXPECT_EQ(Count(redundancy, "\tRedundancy according to the null model in 4 communities:\n"), 2);
}

// ---------------------------------------------------------------------------
// Mantel test and the tests of ro(XE) and ro(XE.T)
// ---------------------------------------------------------------------------

Matrix BrayCurtis(const Matrix& m) {
    Matrix d(m.size(), Vec(m.size()));
    for (size_t i = 0; i < m.size(); i++)
        for (size_t j = 0; j < m.size(); j++) {
            double num = 0, den = 0;
            for (size_t k = 0; k < m[i].size(); k++) num += std::fabs(m[i][k] - m[j][k]), den += m[i][k] + m[j][k];
            d[i][j] = den > 0 ? num / den : 0;
        }
    return d;
}

// The pairs above the diagonal, row by row.
Vec Upper(const Matrix& m) {
    Vec v;
    for (size_t i = 0; i < m.size(); i++)
        for (size_t j = i + 1; j < m.size(); j++) v.push_back(m[i][j]);
    return v;
}

Matrix Product(const Matrix& a, const Matrix& b) {
    Matrix y(a.size(), Vec(b[0].size()));
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < b[0].size(); j++)
            for (size_t k = 0; k < b.size(); k++) y[i][j] += a[i][k] * b[k][j];
    return y;
}

TEST(ProbMantel, DunePlotsAgainstRAndAReplay) {
    const Matrix plots = lsref::ExampleTable("dune.txt", 10, 30);
    Matrix bc = BrayCurtis(plots), eu = Euclidean(Rows(plots, 10, 5));
    // Only the upper triangle of A is read; the rest is kept as it was.
    Table A(bc), B(eu);
    for (int i = 0; i < 10; i++)
        for (int j = 0; j < i; j++) A[i][j] = -5;
    Table before(Matrix(10, Vec(10)));
    for (int i = 0; i < 10; i++) std::memcpy(before[i], A[i], 10 * sizeof(double));

    double r = 0;
    InitRndNumberGenerator(4321);
    const double P = ProbMantel(10, 10000, A.x, B.x, r);
    EXPECT_NEAR(r, 0.4524930, 5e-8);  // vegan::mantel
    EXPECT_NEAR(r, Pearson(Upper(bc), Upper(eu)), 1e-12);
    // P from 2,000,000 random permutations: 0.0085, standard error with
    // N = 10,000 about 0.00092.
    EXPECT_NEAR(P, 0.0085, 4 * std::sqrt(0.0085 * 0.9915 / 10000));
    for (int i = 0; i < 10; i++) EXPECT_EQ(std::memcmp(before[i], A[i], 10 * sizeof(double)), 0) << i;

    // The draws replayed, each permuted matrix written out; against B and
    // against -B, where r is negative and either sign is as extreme.
    const int N = 300;
    double Preplay = 0;
    for (double sign : {1.0, -1.0}) {
        Matrix signedEu = eu;
        for (auto& row : signedEu)
            for (double& v : row) v *= sign;
        Table Bs(signedEu);
        InitRndNumberGenerator(99);
        Preplay = ProbMantel(10, N, A.x, Bs.x, r);
        gsl_rng* g = Replay(99);
        double count = 1;
        for (int it = 1; it < N; it++) {
            const std::vector<int> list = DrawnList(g, 10);
            Matrix permuted(10, Vec(10));
            for (int i = 0; i < 10; i++)
                for (int j = 0; j < 10; j++) permuted[i][j] = bc[list[i] - 1][list[j] - 1];
            if (lsref::Counts(Pearson(Upper(permuted), Upper(signedEu)), r)) count++;
        }
        gsl_rng_free(g);
        EXPECT_DOUBLE_EQ(Preplay, count / N) << sign;
    }

    EXPECT_EQ(ProbMantel(10, 1, A.x, B.x, r), 1.0);
    InitRndNumberGenerator(99);
    // The same seed, the same P (that of -B: only |r| counts).
    EXPECT_EQ(ProbMantel(10, N, A.x, B.x, r), Preplay);
    // A matrix without spread: r is 0 and every |r*| ties with it.
    Table flat(Matrix(10, Vec(10, 1.0)));
    EXPECT_EQ(ProbMantel(10, 20, flat.x, B.x, r), 1.0);
    EXPECT_EQ(r, 0.0);
}

// Six communities of five OTUs with two traits (B), two fuzzy types (U)
// and two ecological variables (E).
struct TypesExample {
    Matrix W = {{3, 0, 1, 2, 0}, {1, 2, 0, 0, 4}, {0, 1, 3, 1, 1}, {2, 2, 2, 0, 0}, {0, 0, 1, 3, 2}, {1, 0, 0, 1, 3}};
    Matrix B = {{1, .2}, {2, .5}, {.5, 1.5}, {3, .1}, {1.5, 2.5}};
    Matrix U = {{1, 0}, {.7, .3}, {.2, .8}, {0, 1}, {.5, .5}};
    Matrix E = {{1.2, 3}, {2.5, 1}, {.3, 2.2}, {1.9, .4}, {3.1, 2.8}, {2.2, 1.7}};
    Matrix DE = Euclidean(E);
    Matrix DT;
    TypesExample() {
        Matrix T = Product(W, B);  // columns scaled to unit length
        for (size_t j = 0; j < 2; j++) {
            double s = 0;
            for (auto& row : T) s += row[j] * row[j];
            for (auto& row : T) row[j] /= std::sqrt(s);
        }
        DT = Euclidean(T);
    }
    // ro(XT), ro(XE) and ro(XE.T) of U with its rows in list order.
    void Ro(const std::vector<int>& list, double rTE, double& xt, double& xe, double& xet) const {
        Matrix Ur;
        for (int u : list) Ur.push_back(U[u - 1]);
        const Vec dx = Upper(Euclidean(Product(W, Ur)));
        xe = Pearson(Upper(DE), dx);
        xt = Pearson(dx, Upper(DT));
        xet = (xe - xt * rTE) / std::sqrt((1 - xt * xt) * (1 - rTE * rTE));
    }
};

TEST(ProbRoXET, FuzzyTypesExampleAndReplay) {
    const TypesExample ex;
    const double rTE = Pearson(Upper(ex.DT), Upper(ex.DE));
    EXPECT_NEAR(rTE, -0.1612961, 5e-8);
    Table U(ex.U), W(ex.W), DT(ex.DT), DE(ex.DE);
    double PXE = -1, PXET = -1;

    // Observed values (vegan::mantel.partial(DX, DE, DT)) from the trace.
    const std::string trace = Printed([&](FILE* f) {
        EXPECT_TRUE(Prob_ro_XE_T(3, 5, 2, 6, U.x, W.x, rTE, DT.x, DE.x, PXE, PXET, 6, true, f));
    });
    auto observed = [&trace](const std::string& label) {
        const size_t at = trace.find(label);
        return at == std::string::npos ? NAN : std::atof(trace.c_str() + at + label.size());
    };
    EXPECT_NEAR(observed("Observed ro(XE)=\t"), 0.1774443, 1e-6);
    EXPECT_NEAR(observed("Observed ro(XE.T)=\t"), 0.1536779, 1e-6);
    for (const char* heading : {"\nPERMUTATION TEST FOR PARTIAL CORRELATION ro(XE.T)\n", "INTERMEDIATE RESULTS\n",
                                "\nObserved belonging matrix (U):\n", "\nMatrix W (6 communities by 5 OTUs):\n",
                                "\nMatrix correlation between DT and DE:\t", "\nObserved ro(XT)=\t"})
        EXPECT_EQ(Count(trace, heading), 1) << heading;
    EXPECT_EQ(Count(trace, "\n\nITERATION\t"), 2);
    EXPECT_EQ(Count(trace, "Permuted belonging matrix (Urnd):\n"), 2);
    EXPECT_EQ(Count(trace, "\nResemblance matrix DX between 6 communities:\n"), 2);
    EXPECT_EQ(Count(trace, "\tCummulative frequency for ro(XE.T)="), 2);

    // Both draw rules replayed: lists from the identity, or each list
    // reshuffling the one before.
    const int N = 200;
    double xt, xe, xet;
    ex.Ro({1, 2, 3, 4, 5}, rTE, xt, xe, xet);
    for (bool specified : {false, true}) {
        InitRndNumberGenerator(606);
        EXPECT_TRUE(Prob_ro_XE_T(N, 5, 2, 6, U.x, W.x, rTE, DT.x, DE.x, PXE, PXET, 6, false, nullptr, specified));
        gsl_rng* g = Replay(606);
        std::vector<int> list = {1, 2, 3, 4, 5};
        double countXE = 1, countXET = 1;
        for (int it = 1; it < N; it++) {
            const std::vector<int> q = DrawnList(g, 5);
            std::vector<int> next(5);
            for (int i = 0; i < 5; i++) next[i] = specified ? list[q[i] - 1] : q[i];
            list = next;
            double rt, re, ret;
            ex.Ro(list, rTE, rt, re, ret);
            countXE += AtOrBeyond(re, xe, true);
            countXET += AtOrBeyond(ret, xet, true);
        }
        gsl_rng_free(g);
        EXPECT_DOUBLE_EQ(PXE, countXE / N) << specified;
        EXPECT_DOUBLE_EQ(PXET, countXET / N) << specified;
    }

    EXPECT_TRUE(Prob_ro_XE_T(1, 5, 2, 6, U.x, W.x, rTE, DT.x, DE.x, PXE, PXET, 6, false, nullptr));
    EXPECT_EQ(PXE, 1.0);
    EXPECT_EQ(PXET, 1.0);
    // Refused: options without a measure, one community, no arrangement.
    PXE = PXET = -1;
    for (int option : {1, 2, 4, 7, 9})
        EXPECT_FALSE(Prob_ro_XE_T(5, 5, 2, 6, U.x, W.x, rTE, DT.x, DE.x, PXE, PXET, option, false, nullptr)) << option;
    EXPECT_FALSE(Prob_ro_XE_T(5, 5, 2, 1, U.x, W.x, rTE, DT.x, DE.x, PXE, PXET, 6, false, nullptr));
    EXPECT_FALSE(Prob_ro_XE_T(0, 5, 2, 6, U.x, W.x, rTE, DT.x, DE.x, PXE, PXET, 6, false, nullptr));
    EXPECT_EQ(PXE, -1.0);
}

TEST(ProbRoXET, TwoCommunities) {
    // ro = 1 - |a - b| / max(|a|, |b|) of the single pair, 1 when a = b.
    const TypesExample ex;
    Table U(ex.U);
    struct Case {
        Matrix W;   // X = W U: rows (1, 0) and (1, 1), 1 apart; or equal rows
        double de, dt, xe, xt;
    } cases[] = {
        {{{1, 0, 0, 0, 0}, {0, 0, 0, 0, 2}}, 1, 1, 1, 1},
        {{{1, 0, 0, 0, 0}, {0, 0, 0, 0, 2}}, 2, 0.5, 0.5, 0.5},
        {{{1, 0, 0, 0, 0}, {0, 0, 0, 0, 2}}, -3, 4, -1.0 / 3, 0.25},
        {{{1, 0, 0, 0, 0}, {1, 0, 0, 0, 0}}, 0, 2, 1, 0},
    };
    for (const Case& c : cases) {
        Table W(c.W), DE(Matrix{{0, c.de}, {c.de, 0}}), DT(Matrix{{0, c.dt}, {c.dt, 0}});
        const std::string trace = Printed([&](FILE* f) {
            double PXE, PXET;
            EXPECT_TRUE(Prob_ro_XE_T(2, 5, 2, 2, U.x, W.x, 0.3, DT.x, DE.x, PXE, PXET, 6, true, f));
        });
        const size_t xe = trace.find("Observed ro(XE)=\t"), xt = trace.find("Observed ro(XT)=\t"),
                     xet = trace.find("Observed ro(XE.T)=\t");
        ASSERT_NE(xet, std::string::npos);
        EXPECT_NEAR(std::atof(trace.c_str() + xe + 17), c.xe, 1e-6) << c.de;
        EXPECT_NEAR(std::atof(trace.c_str() + xt + 17), c.xt, 1e-6) << c.de;
        EXPECT_NEAR(std::atof(trace.c_str() + xet + 19), PartialCorrelation(c.xe, c.xt, 0.3), 1e-5) << c.de;
    }
}

// ---------------------------------------------------------------------------
// Statistics that cannot be tested, degenerate sizes and the thread team
// ---------------------------------------------------------------------------

TEST(PermutationTests, UndefinedObservedStatisticsAreNotTested) {
    CommunityData d(6, 4, 3);
    // No community holds two OTUs: no nearest neighbour anywhere.
    Table lone(Matrix{{0, 2, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}});
    EXPECT_TRUE(std::isnan(Prob_LimitingSimilarity(20, 6, 2, lone.x, d.dis.x, true, false, nullptr)));
    // One community's diversity is undefined: only its P is.
    Vec diversity = {0.8, NAN, 0.7, 0.6}, P(4);
    EXPECT_TRUE(Prob_Redundancy(20, 6, 2, 4, diversity.data(), P.data(), d.sim.x, d.W.x, false, false, nullptr, false));
    EXPECT_TRUE(std::isnan(P[1]));
    for (int i : {0, 2, 3}) EXPECT_TRUE(P[i] > 0 && P[i] <= 1) << i;
    // rTE undefined: ro(XE.T) is, ro(XE) is still tested.
    const TypesExample ex;
    Table U(ex.U), W(ex.W), DT(ex.DT), DE(ex.DE);
    double PXE, PXET;
    EXPECT_TRUE(Prob_ro_XE_T(20, 5, 2, 6, U.x, W.x, NAN, DT.x, DE.x, PXE, PXET, 6, false, nullptr));
    EXPECT_TRUE(PXE > 0 && PXE <= 1);
    EXPECT_TRUE(std::isnan(PXET));
}

TEST(PermutationTests, DegenerateSizes) {
    Table none(1, 1), one{{0.0}}, two{{0, 3}, {3, 0}};
    double r = -1;
    EXPECT_EQ(ProbMantel(0, 10, none.x, none.x, r), 1.0);
    EXPECT_EQ(ProbMantel(1, 10, one.x, one.x, r), 1.0);
    EXPECT_EQ(r, 0.0);  // a single pair has no spread
    EXPECT_EQ(ProbMantel(2, 10, two.x, two.x, r), 1.0);
    EXPECT_TRUE(std::isnan(Prob_LimitingSimilarity(10, 0, 0, none.x, none.x, true, false, nullptr)));
    Vec P(1, -1);
    double diversity = 0.5;
    EXPECT_TRUE(Prob_Redundancy(10, 0, 0, 1, &diversity, P.data(), none.x, none.x, false, false, nullptr, true));
    EXPECT_EQ(P[0], 1.0);
    double alpha, beta, gamma, aEq, bEq, gEq, bProp;
    Table W{{2, 2}};
    Table D{{0, 1}, {1, 0}};
    EXPECT_TRUE(DiversityPartition(1, 2, W.x, D.x, alpha, beta, gamma, aEq, bEq, gEq, bProp));
    EXPECT_NEAR(alpha, 0.5, 1e-15);
    EXPECT_NEAR(beta, 0.0, 1e-15);
}

TEST(PermutationTests, SameResultsOnOneAndFourThreads) {
    const TypesExample ex;
    Table U(ex.U), W(ex.W), DT(ex.DT), DE(ex.DE);
    const Matrix plots = lsref::ExampleTable("dune.txt", 20, 30);
    Table A(BrayCurtis(plots)), B(Euclidean(plots));
    double results[2][3];
    for (int t = 0; t < 2; t++) {
        InitMultiprocessing(t == 0 ? 1 : 4);
        double r;
        InitRndNumberGenerator(8);
        results[t][0] = ProbMantel(20, 299, A.x, B.x, r);
        InitRndNumberGenerator(8);
        EXPECT_TRUE(Prob_ro_XE_T(99, 5, 2, 6, U.x, W.x, -0.16, DT.x, DE.x, results[t][1], results[t][2], 6, false,
                                 nullptr));
    }
    InitMultiprocessing(0);
    for (int k = 0; k < 3; k++) EXPECT_EQ(results[0][k], results[1][k]) << k;
}

// ---------------------------------------------------------------------------
// Resemblance options of another program
// ---------------------------------------------------------------------------

TEST(TranslateReseOpt, TableOfOptions) {
    const int expected[][2] = {{1, 0}, {2, 0}, {3, 1}, {4, 0}, {5, 17}, {6, 3}, {7, 0},
                               {8, 2}, {9, 0}, {10, 18}, {11, 1}, {0, 1}, {-3, 1}};
    for (const auto& e : expected) EXPECT_EQ(TranslateReseOpt_KELDAN_TEVLAN(e[0]), e[1]) << e[0];
}

}  // namespace
