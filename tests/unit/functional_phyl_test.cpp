// Functional and phylogenetic statistics and their permutation test: the
// six-community example against R's figures and a computation from the
// definitions, row summaries by hand, each arrangement rule replayed on the
// test's own generator, the shuffles read back from the trace, a null check
// and thread independence.
#include <gtest/gtest.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <utility>
#include <set>
#include <string>
#include <vector>

#include "iflibG.h"
#include "comparisons_reference.h"
#include "linear_models_reference.h"
#include "matrix_util.h"
#include "reference_stats.h"
#include "rhFunctionalPhyl.h"
#include "rhlib_M.h"
#include "stream_util.h"

namespace {

using cmpref::Euclidean;
using lsref::DrawnList;
using lsref::Matrix;
using lsref::Vec;
using testmat::Table;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---------------------------------------------------------------------------
// References from the definitions
// ---------------------------------------------------------------------------

Matrix Product(const Matrix& A, const Matrix& B) {
    Matrix Y(A.size(), Vec(B[0].size(), 0.0));
    for (size_t i = 0; i < A.size(); i++)
        for (size_t j = 0; j < B[0].size(); j++)
            for (size_t k = 0; k < B.size(); k++) Y[i][j] += A[i][k] * B[k][j];
    return Y;
}

Matrix UnitColumns(Matrix T) {
    for (size_t j = 0; j < T[0].size(); j++) {
        double s = 0;
        for (auto& row : T) s += row[j] * row[j];
        for (auto& row : T) row[j] /= std::sqrt(s);
    }
    return T;
}

Matrix AbsDiff(const Vec& x) {
    Matrix d(x.size(), Vec(x.size()));
    for (size_t i = 0; i < x.size(); i++)
        for (size_t j = 0; j < x.size(); j++) d[i][j] = std::fabs(x[i] - x[j]);
    return d;
}

// Mantel r: Pearson correlation of the pairs above the diagonal.
double Mantel(const Matrix& A, const Matrix& B) {
    Vec a, b;
    for (size_t i = 0; i < A.size(); i++)
        for (size_t j = i + 1; j < A.size(); j++) a.push_back(A[i][j]), b.push_back(B[i][j]);
    return Pearson(a, b);
}

double Partial(double xy, double xz, double yz) {
    return (xy - xz * yz) / std::sqrt((1 - xz * xz) * (1 - yz * yz));
}

// Rao's entropy of a community: sum over j != k of p_j p_k (1 - s_jk).
double Rao(const Vec& w, const Matrix& S) {
    double total = 0, q = 0;
    for (double v : w) total += v;
    for (size_t j = 0; j < w.size(); j++)
        for (size_t k = 0; k < w.size(); k++)
            if (j != k) q += w[j] / total * w[k] / total * (1 - S[j][k]);
    return q;
}

// Qb / (Qt - Qb) of D in the groups g: Q(set) = the sum of d^2 over its pairs
// / its size, Qb = Q(all) - the sum of the groups' Q.
double GroupRatio(const Matrix& D, const std::vector<int>& g) {
    auto Q = [&](auto in) {
        double s = 0, size = 0;
        for (size_t a = 0; a < g.size(); a++) {
            size += in(a);
            for (size_t b = a + 1; b < g.size(); b++) s += in(a) && in(b) ? D[a][b] * D[a][b] : 0;
        }
        return s / size;
    };
    double within = 0;
    for (int label : std::set<int>(g.begin(), g.end())) within += Q([&](size_t a) { return g[a] == label; });
    const double total = Q([](size_t) { return true; });
    return (total - within) / within;
}

// R's quantile type 7 of unsorted values.
double Quantile7(Vec v, double f) {
    std::sort(v.begin(), v.end());
    const double h = (v.size() - 1) * f;
    const size_t lo = static_cast<size_t>(std::floor(h));
    return lo + 1 < v.size() ? v[lo] + (h - lo) * (v[lo + 1] - v[lo]) : v[lo];
}

// ---------------------------------------------------------------------------
// Data
// ---------------------------------------------------------------------------

struct Data {
    Matrix W, B, U, E, Q, Y, Sb, Sf, M;
};

Matrix CoOccurrence(const Matrix& W) {
    Matrix M(W[0].size(), Vec(W[0].size(), 0.0));
    for (auto& row : W) {
        std::vector<size_t> present;
        for (size_t a = 0; a < row.size(); a++)
            if (row[a] > 0) present.push_back(a);
        for (size_t a : present)
            for (size_t b : present) M[a][b] += 1;
    }
    return M;
}

// Similarity 1 - |x_a - x_b| / scale.
Matrix Similarity(const Vec& x, double scale) {
    Matrix S = AbsDiff(x);
    for (auto& row : S)
        for (double& v : row) v = 1 - v / scale;
    return S;
}

// Six communities by five OTUs, with a second community table,
// phylogenetic columns and OTU similarities of the test's own.
Data Example() {
    Data d;
    d.W = {{3, 0, 1, 2, 0}, {1, 2, 0, 0, 4}, {0, 1, 3, 1, 1}, {2, 2, 2, 0, 0}, {0, 0, 1, 3, 2}, {1, 0, 0, 1, 3}};
    d.B = {{1, .2}, {2, .5}, {.5, 1.5}, {3, .1}, {1.5, 2.5}};
    d.U = {{1, 0}, {.7, .3}, {.2, .8}, {0, 1}, {.5, .5}};
    d.E = {{1.2, 3}, {2.5, 1}, {.3, 2.2}, {1.9, .4}, {3.1, 2.8}, {2.2, 1.7}};
    d.Q = {{1, 0}, {.8, .2}, {0, 1}, {.1, .9}, {.5, .5}};
    d.Y = {{0, 1, 2, 0, 3}, {2, 0, 0, 1, 1}, {1, 1, 0, 2, 0}, {0, 3, 1, 0, 1}, {2, 0, 2, 1, 0}, {1, 2, 0, 0, 2}};
    d.Sb = Similarity({1, 2, .5, 3, 1.5}, 2.5);
    d.Sf = Similarity({1, .8, 0, .1, .5}, 1);
    d.M = CoOccurrence(d.W);
    return d;
}

// c communities, p OTUs, two traits, types, phylogenetic columns and
// ecological variables; with otuMatrices, Y, Sb, Sf and M too. With whole
// numbers every printed value reads back exactly.
Data Generated(int c, int p, unsigned seed, bool whole, bool otuMatrices = true) {
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, seed);
    auto value = [&]() { return whole ? static_cast<double>(gsl_rng_uniform_int(g, 9)) : gsl_ran_gaussian(g, 1.0); };
    auto table = [&](int rows, int cols) {
        Matrix m(rows, Vec(cols));
        for (auto& r : m)
            for (double& v : r) v = value();
        return m;
    };
    Data d;
    d.W = Matrix(c, Vec(p));
    for (auto& row : d.W) {
        for (double& v : row) v = gsl_rng_uniform(g) < 0.5 ? 1.0 + gsl_rng_uniform_int(g, 4) : 0.0;
        row[gsl_rng_uniform_int(g, p)] += 1;  // no empty community
    }
    d.B = table(p, 2);
    d.U = table(p, 2);
    d.Q = table(p, 2);
    d.E = table(c, 2);
    if (!otuMatrices) return gsl_rng_free(g), d;
    d.Y = table(c, p);
    Vec x(p), y(p);
    for (int j = 0; j < p; j++) x[j] = gsl_rng_uniform_int(g, 5), y[j] = gsl_rng_uniform_int(g, 5);
    d.Sb = Similarity(x, 5);
    d.Sf = Similarity(y, 5);
    d.M = CoOccurrence(d.W);
    gsl_rng_free(g);
    return d;
}

// An input record over tables of its own.
struct Record {
    PermTest_FunctionalPhyl_Correl_Input in;
    std::vector<std::unique_ptr<Table>> tables;
    double** Own(const Matrix& m) {
        tables.emplace_back(new Table(m));
        return tables.back()->x;
    }
    Record(const Data& d, int type, int N) {
        in.N = N;
        in.testType = type;
        in.communities = static_cast<int>(d.W.size());
        in.otus = static_cast<int>(d.W[0].size());
        in.traits = static_cast<int>(d.B[0].size());
        in.types = static_cast<int>(d.U[0].size());
        in.phylColumns = static_cast<int>(d.Q[0].size());
        in.ecoVariables = static_cast<int>(d.E[0].size());
        in.W = Own(d.W);
        in.B = Own(d.B);
        in.U = Own(d.U);
        in.E = Own(d.E);
        in.DE = Own(Euclidean(d.E));
        in.Q = Own(d.Q);
        in.phylogeny = true;
        if (d.Y.empty()) return;
        in.Y = Own(d.Y);
        in.DY = Own(Euclidean(d.Y));
        in.Sb = Own(d.Sb);
        in.Sf = Own(d.Sf);
        in.M = Own(d.M);
    }
};

// Every statistic of the example computed from the definitions (type 1).
std::vector<double> ExampleStatistics(const Data& d) {
    const int c = static_cast<int>(d.W.size());
    const Matrix DT = Euclidean(UnitColumns(Product(d.W, d.B))), DX = Euclidean(Product(d.W, d.U));
    const Matrix DP = Euclidean(Product(d.W, d.Q)), DE = Euclidean(d.E), DY = Euclidean(d.Y);
    Vec R(c), F(c), V(c), rich(c);
    for (int i = 0; i < c; i++) {
        R[i] = Rao(d.W[i], d.Sb);
        F[i] = Rao(d.W[i], d.Sf);
        // The environmental nearest neighbour; its compositional distance.
        int nearest = i == 0 ? 1 : 0;
        for (int j = 0; j < c; j++)
            if (j != i && DE[i][j] < DE[i][nearest]) nearest = j;
        V[i] = DX[i][nearest];
        for (double v : d.W[i]) rich[i] += v > 0;
    }
    Matrix richness(c, Vec(1));
    for (int i = 0; i < c; i++) richness[i][0] = rich[i];
    const lsref::Fit fit = lsref::LeastSquares(richness, V);
    Vec Vres(c);
    for (int i = 0; i < c; i++) Vres[i] = V[i] - fit.fitted[i];
    const Matrix DR = AbsDiff(R), DF = AbsDiff(F), DV = AbsDiff(Vres);
    std::vector<double> r(kFunctionalPhylStatistics);
    r[fpTE] = Mantel(DT, DE), r[fpXT] = Mantel(DX, DT), r[fpXE] = Mantel(DX, DE);
    r[fpPE] = Mantel(DP, DE), r[fpPT] = Mantel(DP, DT), r[fpPX] = Mantel(DP, DX);
    r[fpRE] = Mantel(DR, DE), r[fpXR] = Mantel(DX, DR), r[fpTR] = Mantel(DT, DR);
    r[fpRY] = Mantel(DR, DY), r[fpVE] = Mantel(DV, DE), r[fpVY] = Mantel(DV, DY), r[fpFE] = Mantel(DF, DE);
    r[fpBM] = Mantel(d.Sb, d.M);
    r[fpXE_T] = Partial(r[fpXE], r[fpXT], r[fpTE]);
    r[fpPX_T] = Partial(r[fpPX], r[fpPT], r[fpXT]);
    r[fpTE_P] = Partial(r[fpTE], r[fpPT], r[fpPE]);
    r[fpXE_P] = Partial(r[fpXE], r[fpPX], r[fpPE]);
    r[fpPE_T] = Partial(r[fpPE], r[fpPT], r[fpTE]);
    r[fpPE_X] = Partial(r[fpPE], r[fpPX], r[fpXE]);
    r[fpXE_TP] = Partial(r[fpXE_T], r[fpPX_T], r[fpPE_T]);
    r[fpXE_R] = Partial(r[fpXE], r[fpXR], r[fpRE]);
    r[fpTE_R] = Partial(r[fpTE], r[fpTR], r[fpRE]);
    r[fpXT_R] = Partial(r[fpXT], r[fpXR], r[fpTR]);
    r[fpXE_TR] = Partial(r[fpXE_T], Partial(r[fpXR], r[fpXT], r[fpTR]), Partial(r[fpRE], r[fpTE], r[fpTR]));
    return r;
}

// ---------------------------------------------------------------------------
// One arrangement
// ---------------------------------------------------------------------------

TEST(FunctionalPhylStats, ExampleAgainstRAndTheDefinitions) {
    const Data d = Example();
    // vegan::mantel, mantel.partial, protest, ade4::RV.rtest, adonis2.
    struct Case {
        int type, statistic;
        double R;
    } figures[] = {{1, fpTE, -0.1612961}, {1, fpXT, -0.1741987}, {1, fpXE, 0.1774443},
                   {1, fpXE_T, 0.1536779}, {2, fpTE, 0.5448918}, {3, fpTE, 0.2474188}};
    for (const Case& f : figures) {
        Record rec(d, f.type, 99);
        FunctionalPhyl_Stats_Lib_Input work(rec.in);
        ASSERT_TRUE(FunctionalPhyl_Stats_Lib(&rec.in, &work));
        EXPECT_NEAR(work.ro[f.statistic], f.R, 5e-7) << "type " << f.type << " " << FunctionalPhylStatisticName(f.statistic);
    }

    // Types 1 and 5: every statistic from the definitions; type 5 adds the
    // group ratios (the first variable's groups are 1 2 0 1 3 2).
    const std::vector<double> expected = ExampleStatistics(d);
    for (int type : {1, 5}) {
        Record rec(d, type, 99);
        FunctionalPhyl_Stats_Lib_Input work(rec.in);
        ASSERT_TRUE(FunctionalPhyl_Stats_Lib(&rec.in, &work));
        for (int s = 0; s < kFunctionalPhylStatistics; s++)
            EXPECT_NEAR(work.ro[s], expected[s], 1e-10) << "type " << type << " " << FunctionalPhylStatisticName(s);
    }
    Record five(d, 5, 99);
    FunctionalPhyl_Stats_Lib_Input work(five.in);
    ASSERT_TRUE(FunctionalPhyl_Stats_Lib(&five.in, &work));
    const Matrix T = UnitColumns(Product(d.W, d.B));
    ASSERT_EQ(work.ratioT.size(), 2u);
    ASSERT_EQ(work.ratioTraits.size(), 4u);
    EXPECT_NEAR(work.ratioT[0], 4.086368, 5e-7);
    for (int v = 0; v < 2; v++) {
        std::vector<int> g;
        for (auto& row : d.E) g.push_back(static_cast<int>(row[v]));
        EXPECT_NEAR(work.ratioT[v], GroupRatio(Euclidean(T), g), 1e-10) << v;
        for (int j = 0; j < 2; j++) {
            Vec trait;
            for (auto& row : T) trait.push_back(row[j]);
            EXPECT_NEAR(work.ratioTraits[v * 2 + j], GroupRatio(AbsDiff(trait), g), 1e-10) << v << " " << j;
        }
    }

    // A community left out of the selection has no Rao entropy: its pairs
    // take no part in ro(RE); the products still cover every community.
    int selection[6] = {1, 1, 1, 1, 1, 0};
    five.in.communitySelection = selection;
    FunctionalPhyl_Stats_Lib_Input part(five.in);
    ASSERT_TRUE(FunctionalPhyl_Stats_Lib(&five.in, &part));
    Vec R;
    for (int i = 0; i < 5; i++) R.push_back(Rao(d.W[i], d.Sb));
    Matrix DE = Euclidean(d.E);
    for (auto& row : DE) row.pop_back();
    DE.pop_back();
    EXPECT_EQ(part.R[5], -999.0);
    EXPECT_NEAR(part.ro[fpRE], Mantel(AbsDiff(R), DE), 1e-10);
    EXPECT_NEAR(part.ro[fpTE], expected[fpTE], 1e-10);
}

TEST(FunctionalPhylStats, RowSummaryOfFourValues) {
    // Given unsorted, with a value that is not a number: it is left out.
    Vec values = {3, kNaN, 1, 4, 2};
    const fp_detail::RowSummary s = fp_detail::SummariseRow(5, values.data(), 3.0, 1);
    EXPECT_EQ(s.kept, 4);
    EXPECT_EQ(s.median, 2.5);
    EXPECT_NEAR(s.q025, 1.075, 1e-12);
    EXPECT_NEAR(s.q84135, 3.52405, 1e-12);
    EXPECT_NEAR(s.q15865, 1.47595, 1e-12);
    EXPECT_NEAR(s.q975, 3.925, 1e-12);
    EXPECT_NEAR(s.sesMedian, 0.5 / 1.02405, 1e-12);
    EXPECT_NEAR(s.P, 3.0 / 5, 1e-15);  // 3 and 4 reach 3, with the observed: 3 of 5
    EXPECT_TRUE(std::isnan(values[4]));
    EXPECT_EQ(values[0], 1.0);
}

// ---------------------------------------------------------------------------
// The test
// ---------------------------------------------------------------------------

bool SameOrBothNaN(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

TEST(FunctionalPhylTest, EachArrangementRuleReplayed) {
    // ro(TE) (one-sided) and ro(XE) (two-sided) recomputed for every list the
    // test draws, replayed on a generator of the test's own.
    const Data d = Example();
    const int N = 40, c = 6, p = 5;
    const Matrix DE = Euclidean(d.E), T = UnitColumns(Product(d.W, d.B)), X = Product(d.W, d.U);
    std::vector<int> previous;
    auto identity = [](int n) {
        std::vector<int> l(n);
        for (int i = 0; i < n; i++) l[i] = i + 1;
        return l;
    };
    struct Case {
        const char* what;
        bool bootstrap;
        int shuffle;
        std::function<std::vector<int>(gsl_rng*)> draw;
        // ro(TE) and ro(XE) of the communities (W rows, DE) and OTUs (B, U rows) listed.
        std::function<std::pair<double, double>(const std::vector<int>&)> statistics;
    } cases[] = {
        {"OTU shuffle", false, 't', [&](gsl_rng* g) { return DrawnList(g, p); },
         [&](const std::vector<int>& l) {
             return std::make_pair(Mantel(Euclidean(UnitColumns(Product(d.W, lsref::Permuted(d.B, l)))), DE),
                                   Mantel(Euclidean(Product(d.W, lsref::Permuted(d.U, l))), DE));
         }},
        {"bootstrap", true, 't',
         [&](gsl_rng* g) {
             std::vector<int> l(c);
             for (int& v : l) v = 1 + static_cast<int>(gsl_rng_uniform_int(g, c));
             return l;
         },
         [&](const std::vector<int>& l) {
             Matrix D(c, Vec(c));
             for (int i = 0; i < c; i++)
                 for (int j = 0; j < c; j++) D[i][j] = DE[l[i] - 1][l[j] - 1];
             const Matrix W = lsref::Permuted(d.W, l);
             return std::make_pair(Mantel(Euclidean(UnitColumns(Product(W, d.B))), D),
                                   Mantel(Euclidean(Product(W, d.U)), D));
         }},
        // Each site list reshuffles the previous one.
        {"site shuffle", false, 's',
         [&](gsl_rng* g) {
             for (int i = 0; i + 1 < c; i++) std::swap(previous[i], previous[i + gsl_rng_uniform_int(g, c - i)]);
             return previous;
         },
         [&](const std::vector<int>& l) {
             return std::make_pair(Mantel(Euclidean(lsref::Permuted(T, l)), DE),
                                   Mantel(Euclidean(lsref::Permuted(X, l)), DE));
         }},
    };
    QuietProgress quiet;
    for (const Case& k : cases) {
        previous = identity(c);
        Record rec(d, 1, N);
        rec.in.bootstrap = k.bootstrap;
        rec.in.shuffle = k.shuffle;
        Table rows(kFunctionalPhylStatistics, N + 8);
        rec.in.rows = rows.x;
        InitRndNumberGenerator(77);
        ASSERT_TRUE(PermTest_FunctionalPhyl_Correl(&rec.in)) << k.what;

        gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
        gsl_rng_set(g, 77);
        const auto [obsTE, obsXE] = cases[0].statistics(identity(p));
        Vec te, xe;
        double countTE = 1, countXE = 1;
        for (int it = 1; it < N; it++) {
            const auto [a, b] = k.statistics(k.draw(g));
            te.push_back(a), xe.push_back(b);
            countTE += AtOrBeyond(a, obsTE, true);
            countXE += AtOrBeyond(std::fabs(b), std::fabs(obsXE), true);
        }
        gsl_rng_free(g);
        const auto& r = rec.in;
        EXPECT_EQ(r.cumulativeP[fpTE], countTE / N) << k.what;
        EXPECT_EQ(r.cumulativeP[fpXE], countXE / N) << k.what;  // absolute values, two-sided
        // Two-sided P: the tail on the observed side of the median, doubled.
        const double median = Quantile7(xe, 0.5);
        double tail = 1;
        for (double v : xe) tail += AtOrBeyond(v, obsXE, obsXE >= median);
        EXPECT_NEAR(r.P[fpXE], std::min(1.0, 2 * tail / N), 1e-15) << k.what;
        // One-sided, Pvalue is the cumulative probability.
        for (int s = 0; s < kFunctionalPhylRows; s++)
            if (FunctionalPhylSided(s) == 1) {
                EXPECT_TRUE(SameOrBothNaN(r.P[s], r.cumulativeP[s])) << k.what << s;
            }
        double sum = 0, sumSq = 0;
        for (double v : te) sum += v, sumSq += v * v;
        const double mean = sum / te.size(), sd = std::sqrt((sumSq - sum * sum / te.size()) / (te.size() - 1));
        EXPECT_NEAR(r.centre[fpTE], mean, 1e-12) << k.what;
        EXPECT_NEAR(r.ses[fpTE], (obsTE - mean) / sd, 1e-9) << k.what;
        EXPECT_NEAR(r.quantile025[fpTE], Quantile7(te, 0.025), 1e-12) << k.what;
        EXPECT_NEAR(r.quantile975[fpTE], Quantile7(te, 0.975), 1e-12) << k.what;
        // The row: the sorted random values, then the summaries.
        std::sort(te.begin(), te.end());
        for (int i = 0; i < N - 1; i++) EXPECT_NEAR(rows[fpTE][i], te[i], 1e-12) << k.what << " " << i;
        const double q16 = Quantile7(te, 0.15865), q84 = Quantile7(te, 0.84135), m = Quantile7(te, 0.5);
        EXPECT_NEAR(rows[fpTE][N - 1], m, 1e-12);
        EXPECT_NEAR(rows[fpTE][N + 2], obsTE, 1e-12);
        EXPECT_NEAR(rows[fpTE][N + 3], obsTE >= m ? (obsTE - m) / (q84 - m) : (obsTE - m) / (m - q16), 1e-9);
        EXPECT_EQ(rows[fpTE][N + 6], r.P[fpTE]);
    }
}

// The numbers of the lines after heading (from pos on).
Matrix ReadAfter(const std::string& text, size_t& pos, const std::string& heading, int lines) {
    Matrix m;
    pos = text.find(heading, pos);
    if (pos == std::string::npos) return m;
    pos += heading.size();
    for (int r = 0; r < lines; r++) {
        const size_t end = text.find('\n', pos);
        const std::string line = text.substr(pos, end - pos);
        const char* s = line.c_str();
        char* next;
        Vec v;
        for (double x = std::strtod(s, &next); next != s; x = std::strtod(s, &next)) v.push_back(x), s = next;
        m.push_back(v);
        pos = end + 1;
    }
    return m;
}

TEST(FunctionalPhylTest, ShufflesReadBackFromTheTrace) {
    const int c = 6, p = 6, N = 25;
    const Data d = Generated(c, p, 11, true);
    QuietProgress quiet;
    auto traced = [&](Record& rec) {
        rec.in.trace = true;
        InitRndNumberGenerator(5);
        return Printed([&](FILE* f) {
            rec.in.stream = f;
            EXPECT_TRUE(PermTest_FunctionalPhyl_Correl(&rec.in));
        });
    };
    // Within groups (balanced, unbalanced, none): an OTU stays in its group,
    // and one list moves B, U, Q, Sb and Sf alike.
    for (std::vector<int> groups : std::vector<std::vector<int>>{{4, 4, 9, 9, 2, 2}, {1, 2, 1, 1, 2, 3}, {}}) {
        Record rec(d, 1, N);
        rec.in.restriction = groups.empty() ? 0 : 1;
        rec.in.otuGroups = groups.data();
        const std::string text = traced(rec);
        size_t pos = 0;
        int moved = 0;
        for (int it = 1; it < N; it++) {
            const Matrix B = ReadAfter(text, pos, "Permuted trait matrix (Brnd):\n", p);
            const Matrix order = ReadAfter(text, pos, "Brnd:\t", 1);
            const Matrix U = ReadAfter(text, pos, "(Urnd):\n", p), Q = ReadAfter(text, pos, "(Qrnd):\n", p);
            const Matrix Sb = ReadAfter(text, pos, "(Srnd):\n", p), Sf = ReadAfter(text, pos, "(Sfrnd):\n", p);
            ASSERT_EQ(Sf.size(), static_cast<size_t>(p)) << it;
            ASSERT_EQ(order[0].size(), static_cast<size_t>(p)) << it;
            std::vector<int> from;
            for (double v : order[0]) from.push_back(static_cast<int>(v) - 1);
            for (int a = 0; a < p; a++) {
                moved += from[a] != a;
                if (!groups.empty()) {
                    EXPECT_EQ(groups[from[a]], groups[a]) << it;
                }
                EXPECT_EQ(B[a], d.B[from[a]]);
                EXPECT_EQ(U[a], d.U[from[a]]);
                EXPECT_EQ(Q[a], d.Q[from[a]]);
                for (int z = 0; z < p; z++) {
                    EXPECT_NEAR(Sb[a][z], d.Sb[from[a]][from[z]], 1e-12);
                    EXPECT_NEAR(Sf[a][z], d.Sf[from[a]][from[z]], 1e-12);
                }
            }
        }
        EXPECT_GT(moved, 0);
    }

    // The site shuffle: the rows of T, X and P, and the entries of R, follow
    // one community list.
    Record rec(d, 1, N);
    rec.in.shuffle = 's';
    Table T(c, 2), X(c, 2), P(c, 2), R(c, 2);
    rec.in.observedT = T.x, rec.in.observedX = X.x, rec.in.observedP = P.x, rec.in.observedR = R.x;
    const std::string text = traced(rec);
    size_t pos = 0;
    for (int it = 1; it < N; it++) {
        const Matrix order = ReadAfter(text, pos, "Order of original communities in the site shuffle:\t", 1);
        const Matrix Tr = ReadAfter(text, pos, "by site shuffle:\n", c), Xr = ReadAfter(text, pos, "by site shuffle:\n", c);
        const Matrix Pr = ReadAfter(text, pos, "by site shuffle:\n", c), Rr = ReadAfter(text, pos, "by site shuffle:\n", 1);
        ASSERT_EQ(Rr.size(), 1u) << it;
        ASSERT_EQ(Rr[0].size(), static_cast<size_t>(c)) << it;
        for (int i = 0; i < c; i++) {
            const int from = static_cast<int>(order[0][i]) - 1;
            for (int j = 0; j < 2; j++) {
                EXPECT_NEAR(Tr[i][j], T[from][j], 1e-5 * std::fabs(T[from][j]));
                EXPECT_EQ(Xr[i][j], X[from][j]);
                EXPECT_EQ(Pr[i][j], P[from][j]);
            }
            EXPECT_NEAR(Rr[0][i], R[from][0], 1e-5 * R[from][0]);
        }
    }
}

TEST(FunctionalPhylTest, NullCheckOfTraitsDrawnApart) {
    // B drawn independently of W and E: the one-sided P of ro(TE) falls at or
    // below 0.05 in about 5% of the inputs (200 inputs, 100 arrangements).
    QuietProgress quiet;
    int significant = 0;
    const int inputs = 200;
    for (int k = 0; k < inputs; k++) {
        Record rec(Generated(7, 8, 1000 + k, false, false), 1, 100);
        rec.in.phylogeny = false;
        InitRndNumberGenerator(k + 1);
        ASSERT_TRUE(PermTest_FunctionalPhyl_Correl(&rec.in));
        significant += rec.in.P[fpTE] <= 0.05;
    }
    EXPECT_GE(significant, 0.01 * inputs);
    EXPECT_LE(significant, 0.10 * inputs);
}

TEST(FunctionalPhylTest, SameRecordOnOneAndFourThreads) {
    // Large enough for the weighted products to run on the team.
    const Data d = Generated(150, 700, 9, false, false);
    QuietProgress quiet;
    std::vector<double> results[2];
    for (int t = 0; t < 2; t++) {
        InitMultiprocessing(t == 0 ? 1 : 4);
        Record rec(d, 5, 4);
        InitRndNumberGenerator(21);
        ASSERT_TRUE(PermTest_FunctionalPhyl_Correl(&rec.in));
        const auto& r = rec.in;
        for (const double* block : {r.cumulativeP, r.ses, r.centre, r.quantile025, r.quantile975, r.P})
            results[t].insert(results[t].end(), block, block + kFunctionalPhylRows);
        for (const auto* v : {&r.ratioT, &r.ratioTraits, &r.ratioTP, &r.ratioTraitsP})
            results[t].insert(results[t].end(), v->begin(), v->end());
    }
    InitMultiprocessing(0);
    ASSERT_EQ(results[0].size(), results[1].size());
    for (size_t k = 0; k < results[0].size(); k++) EXPECT_TRUE(SameOrBothNaN(results[0][k], results[1][k])) << k;
}

TEST(FunctionalPhylTest, RefusedRecordsAndStatisticsNotTestable) {
    const Data d = Example();
    using In = PermTest_FunctionalPhyl_Correl_Input;
    struct Case {
        const char* what;
        std::function<void(In&)> change;
        bool statsRefuse;  // the one-arrangement entry refuses it too
    } cases[] = {
        {"N of 2", [](In& in) { in.N = 2; }, false},
        {"type 4", [](In& in) { in.testType = 4; }, true},
        {"type 6", [](In& in) { in.testType = 6; }, true},
        {"shuffle x", [](In& in) { in.shuffle = 'x'; }, false},
        {"restriction 2", [](In& in) { in.restriction = 2; }, false},
        {"groups missing", [](In& in) { in.restriction = 1; }, false},
        {"no W", [](In& in) { in.W = nullptr; }, true},
        {"no B", [](In& in) { in.B = nullptr; }, true},
        {"no U", [](In& in) { in.U = nullptr; }, true},
        {"no E", [](In& in) { in.E = nullptr; }, true},
        {"no DE", [](In& in) { in.DE = nullptr; }, true},
        {"no Q", [](In& in) { in.Q = nullptr; }, true},
        {"one community", [](In& in) { in.communities = 1; }, true},
        {"type 5, NaN group", [](In& in) { in.testType = 5, in.E[2][1] = kNaN; }, true},
        {"type 5, group beyond int", [](In& in) { in.testType = 5, in.E[0][0] = 3e9; }, true},
    };
    for (const Case& k : cases) {
        Record rec(d, 1, 20);
        k.change(rec.in);
        rec.in.P[0] = 12345;
        EXPECT_FALSE(PermTest_FunctionalPhyl_Correl(&rec.in)) << k.what;
        EXPECT_EQ(rec.in.P[0], 12345) << k.what;
        Record fine(d, 1, 20);
        FunctionalPhyl_Stats_Lib_Input work(fine.in);
        EXPECT_EQ(FunctionalPhyl_Stats_Lib(&rec.in, &work), !k.statsRefuse) << k.what;
    }

    // Without the phylogeny flag the P family and ro(FE), without DY ro(RY)
    // and ro(VY), are not testable; with the median flag the centre and
    // effect size are the row's median-based ones.
    QuietProgress quiet;
    const int N = 30;
    Record rec(Generated(8, 7, 5, false), 1, N);
    rec.in.phylogeny = false;
    rec.in.DY = nullptr;
    rec.in.median = true;
    Table rows(kFunctionalPhylStatistics, N + 8);
    rec.in.rows = rows.x;
    InitRndNumberGenerator(3);
    ASSERT_TRUE(PermTest_FunctionalPhyl_Correl(&rec.in));
    for (int s = 0; s < kFunctionalPhylRows; s++) {
        const bool absent = (s >= fpPE && s <= fpPE_X) || s == fpRY || s == fpVY;
        EXPECT_EQ(std::isnan(rec.in.P[s]), absent) << FunctionalPhylStatisticName(s);
        EXPECT_EQ(std::isnan(rec.in.cumulativeP[s]), absent) << FunctionalPhylStatisticName(s);
        if (!absent) {
            EXPECT_EQ(rec.in.centre[s], rows[s][N - 1]) << FunctionalPhylStatisticName(s);
            EXPECT_EQ(rec.in.ses[s], rows[s][N + 3]) << FunctionalPhylStatisticName(s);
        }
    }
    EXPECT_TRUE(std::isnan(rec.in.PFE));
}

// The names as the report prints them, in the order of the statistics.
TEST(FunctionalPhylStats, NamesOfTheStatistics) {
    const std::pair<int, const char*> names[] = {{fpTE, "ro(TE)"}, {fpXE_T, "ro(XE.T)"}, {fpXE_TP, "ro(XE.TP)"},
                                                 {fpXE_TR, "ro(XE.TR)"}, {fpBM, "ro(BM)"}, {fpFE, "ro(FE)"},
                                                 {-1, ""}, {kFunctionalPhylStatistics, ""}};
    for (const auto& [s, name] : names) EXPECT_STREQ(FunctionalPhylStatisticName(s), name) << s;
}

}  // namespace
