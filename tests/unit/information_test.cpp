// Entropy, diversity and information measures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "matrix_util.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

using testmat::Square;
using testmat::Table;

// Shannon entropy of counts, written out independently of the library.
double Shannon(const std::vector<double>& counts) {
    double t = 0, h = 0;
    for (double c : counts) t += c;
    for (double c : counts)
        if (c > 0) h -= c / t * std::log(c / t);
    return h;
}

// Counts of the joint states of several nominal rows, over the positions
// where every one is present (a map, so nothing depends on state order).
std::vector<double> JointCounts(const std::vector<const double*>& rows, int q) {
    std::map<std::vector<double>, double> c;
    for (int k = 0; k < q; k++) {
        std::vector<double> key;
        bool ok = true;
        for (auto r : rows) {
            if (r[k] == MISSING) ok = false;
            key.push_back(r[k]);
        }
        if (ok) c[key] += 1;
    }
    std::vector<double> v;
    for (auto& e : c) v.push_back(e.second);
    return v;
}

// Runs the body in a fresh folder and returns there afterwards.
class InTempDir {
public:
    InTempDir() : old_(std::filesystem::current_path()) {
        char tmpl[] = "/tmp/tevlan_info_XXXXXX";
        dir_ = mkdtemp(tmpl);
        std::filesystem::current_path(dir_);
    }
    ~InTempDir() {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }
    std::string Read(const char* name) const {
        std::ifstream f(dir_ + "/" + name);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    bool Exists(const char* name) const { return std::filesystem::exists(dir_ + "/" + name); }

private:
    std::filesystem::path old_;
    std::string dir_;
};

// ---------------------------------------------------------------------------
// Entropy of a vector
// ---------------------------------------------------------------------------

TEST(EntropyVector, UniformAndSingleStateAtEveryOrder) {
    double u[4] = {1, 1, 1, 1}, one[1] = {5};
    for (double alpha : {0.0, 0.5, 1.0, 2.0, 3.0}) {
        EXPECT_NEAR(EntropyVector(4, u, alpha), std::log(4.0), 1e-15) << alpha;
        EXPECT_EQ(EntropyVector(1, one, alpha), 0.0) << alpha;
    }
}

TEST(EntropyVector, HandWorkedRenyiAndShannon) {
    double x[3] = {1, 0, 3};
    EXPECT_NEAR(EntropyVector(3, x, 1.0), -(0.25 * std::log(0.25) + 0.75 * std::log(0.75)), 1e-15);
    EXPECT_NEAR(EntropyVector(3, x, 2.0), -std::log(0.25 * 0.25 + 0.75 * 0.75), 1e-15);
    EXPECT_NEAR(EntropyVector(3, x, 0.0), std::log(2.0), 1e-15);  // the zero does not count
    // Renyi tends to Shannon as the order tends to 1.
    EXPECT_NEAR(EntropyVector(3, x, 1.0 + 1e-7), EntropyVector(3, x, 1.0), 1e-7);
    double none[2] = {0, 0};
    EXPECT_EQ(EntropyVector(2, none, 1.0), 0.0);
    EXPECT_EQ(EntropyVector(2, none, 2.0), 0.0);

    double code[3] = {-1, -1, -1};
    EXPECT_NEAR(EntropyVectorCodeLength(3, x, 1.0, code), EntropyVector(3, x, 1.0), 1e-15);
    EXPECT_NEAR(code[0], std::log(4.0), 1e-15);
    EXPECT_EQ(code[1], -1.0);  // a zero has no code length
    EXPECT_NEAR(code[2], -std::log(0.75), 1e-15);
}

// Renyi entropy of proportions in long double, summed plainly: its exponent
// range holds p^alpha for the orders of these tests (0.05^1000 = 1e-1301).
long double RenyiReference(const std::vector<long double>& p, long double alpha) {
    long double s = 0;
    for (long double v : p) s += powl(v, alpha);
    return logl(s) / (1 - alpha);
}

// Renyi divergence of p from e, likewise.
long double DivergenceReference(const std::vector<long double>& p, const std::vector<long double>& e,
                                long double alpha) {
    long double s = 0;
    for (size_t i = 0; i < p.size(); i++) s += powl(p[i], alpha) * powl(e[i], 1 - alpha);
    return logl(s) / (alpha - 1);
}

// The largest order the resemblance dialogue takes; there the Renyi forms
// are their limits: the min-entropy -ln(max p) and ln(max p/e).
constexpr double kTopOrder = 3.4028234663852886e38;

TEST(EntropyVector, LargeOrdersAndOrdersNearOne) {
    const double x[4] = {5, 3, 1, 1};
    std::vector<long double> p = {0.5L, 0.3L, 0.1L, 0.1L};
    for (double alpha : {0.0, 0.5, 1.0 - 1e-9, 1.0 + 1e-9, 2.0, 200.0, 400.0, 1000.0, 1e4}) {
        SCOPED_TRACE(alpha);
        const double want = static_cast<double>(RenyiReference(p, alpha));
        const double got = EntropyVector(4, x, alpha);
        ASSERT_TRUE(std::isfinite(got));
        // Within 1e-9 of order 1 the long double reference holds about ten
        // digits (ln of a sum within 1e-9 of 1); ln(sum p^alpha) in double
        // held seven.
        const double digits = std::fabs(alpha - 1) < 1e-6 ? 2e-9 : 1e-12;
        EXPECT_NEAR(got, want, digits * want);
    }
    EXPECT_NEAR(EntropyVector(4, x, kTopOrder), std::log(2.0), 1e-15);
}

// The dune meadow's nominal variables, one row each.
struct NominalDune {
    double v[4][20];
    NominalDune() {
        std::ifstream f(std::string(TEVLAN_TEST_DATA) + "/dune_env_nominal.txt");
        for (int i = 0; i < 20; i++)
            for (int j = 0; j < 4; j++) f >> v[j][i];
    }
};

// Proportions of the joint states of rows a and b, and of each row's states
// in the same cell order.
struct PairProportions {
    std::vector<long double> joint, rowOfCell, colOfCell, rows, cols;
    PairProportions(const double* a, const double* b, int q) {
        std::map<std::pair<double, double>, int> j;
        std::map<double, int> ra, cb;
        for (int k = 0; k < q; k++) {
            j[{a[k], b[k]}]++;
            ra[a[k]]++;
            cb[b[k]]++;
        }
        for (auto& c : j) {
            joint.push_back(c.second / static_cast<long double>(q));
            rowOfCell.push_back(ra[c.first.first] / static_cast<long double>(q));
            colOfCell.push_back(cb[c.first.second] / static_cast<long double>(q));
        }
        for (auto& c : ra) rows.push_back(c.second / static_cast<long double>(q));
        for (auto& c : cb) cols.push_back(c.second / static_cast<long double>(q));
    }
    std::vector<long double> Independent() const {
        std::vector<long double> e(joint.size());
        for (size_t i = 0; i < e.size(); i++) e[i] = rowOfCell[i] * colOfCell[i];
        return e;
    }
    long double MaxRatio() const {
        long double m = 0;
        std::vector<long double> e = Independent();
        for (size_t i = 0; i < e.size(); i++) m = std::max(m, joint[i] / e[i]);
        return m;
    }
};

long double MinEntropy(const std::vector<long double>& p) { return -logl(*std::max_element(p.begin(), p.end())); }

TEST(MutualEntropy, StableAtEveryOrderTheDialogueTakes) {
    NominalDune d;
    Table x(4, 20);
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 20; i++) x[j][i] = d.v[j][i];
    for (double alpha : {0.5, 2.0, 200.0, 400.0, 1000.0, kTopOrder}) {
        SCOPED_TRACE(alpha);
        Square me(4), co(4);
        ASSERT_TRUE(MutualEntropyPairwiseMV(4, 20, x.x, me.x, alpha, false));
        ASSERT_TRUE(CoheCoefPairwiseMV(4, 20, x.x, co.x, alpha, false));
        for (int a = 0; a < 4; a++)
            for (int b = a + 1; b < 4; b++) {
                SCOPED_TRACE(testing::Message() << "variables " << a + 1 << " x " << b + 1);
                PairProportions t(d.v[a], d.v[b], 20);
                long double mutual, hJoint, hRow, hCol;
                if (alpha == kTopOrder) {
                    mutual = logl(t.MaxRatio());
                    hJoint = MinEntropy(t.joint);
                    hRow = MinEntropy(t.rows);
                    hCol = MinEntropy(t.cols);
                } else {
                    mutual = DivergenceReference(t.joint, t.Independent(), alpha);
                    hJoint = RenyiReference(t.joint, alpha);
                    hRow = RenyiReference(t.rows, alpha);
                    hCol = RenyiReference(t.cols, alpha);
                }
                long double rajski = 1 - (hRow + hCol - hJoint) / hJoint;
                long double coherence = sqrtl(1 - rajski * rajski);
                EXPECT_NEAR(me[a][b], static_cast<double>(mutual), 1e-12);
                EXPECT_NEAR(co[a][b], static_cast<double>(coherence), 1e-12);
            }
    }
    // Moisture and use at order 400: a coherence of 0.267, not 0.
    Square co(4);
    ASSERT_TRUE(CoheCoefPairwiseMV(4, 20, x.x, co.x, 400.0, false));
    EXPECT_NEAR(co[0][2], 0.26735, 5e-6);
}

TEST(MutualEntropy, IdenticalAndIndependentVariablesGiveExactEnds) {
    // Row 1 and row 3 are the same variable; rows 1 and 2 are independent:
    // their table holds every pair of states equally often.
    Table x(3, 24);
    for (int k = 0; k < 24; k++) {
        x[0][k] = 1 + k % 4;
        x[1][k] = 1 + (k / 4) % 3;
        x[2][k] = x[0][k];
    }
    for (double alpha : {0.25, 0.5, 1.0, 2.0, 3.0, 400.0, kTopOrder}) {
        SCOPED_TRACE(alpha);
        Square co(3);
        ASSERT_TRUE(CoheCoefPairwiseMV(3, 24, x.x, co.x, alpha, false));
        EXPECT_EQ(co[0][2], 1.0);
        EXPECT_EQ(co[0][1], 0.0);  // never the 2e-8 of a rounding under the root
    }
    // Rajski's metric from a coherence one unit of rounding below 1.
    EXPECT_EQ(RootOfOneLessSquare(std::nextafter(1.0, 0.0)), 0.0);
    EXPECT_EQ(RootOfOneLessSquare(0.0), 1.0);
    EXPECT_NEAR(RootOfOneLessSquare(0.6), 0.8, 1e-15);
}

// ---------------------------------------------------------------------------
// Contingency tables
// ---------------------------------------------------------------------------

TEST(Contingency, StatesInOrderOfFirstAppearanceAndMissingSkipped) {
    double x[7] = {3, 1, 3, -999, 1, 7, 3};
    double freq[7];
    int states[7], n = 0;
    ContingencyVector(7, x, freq, &n, states);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(states[0], 3);
    EXPECT_EQ(states[1], 1);
    EXPECT_EQ(states[2], 7);
    EXPECT_EQ(freq[0], 3.0);
    EXPECT_EQ(freq[1], 2.0);
    EXPECT_EQ(freq[2], 1.0);

    double a[6] = {1, 1, 2, 2, 3, -999}, b[6] = {5, 6, 5, 6, 5, 5};
    Table t(3, 3);
    int dims[2];
    ContingencyMV(6, a, b, t.x, dims, nullptr);
    EXPECT_EQ(dims[0], 3);
    EXPECT_EQ(dims[1], 2);
    EXPECT_EQ(t[0][0], 1.0);
    EXPECT_EQ(t[0][1], 1.0);
    EXPECT_EQ(t[1][0], 1.0);
    EXPECT_EQ(t[2][0], 1.0);
    EXPECT_EQ(t[2][1], 0.0);
}

TEST(Contingency, NegativeAndLargeCodesStayInsideATableSizedByTheirCount) {
    double a[4] = {-5, 100000, -5, 100000}, b[4] = {2, 2, -1, -1};
    int na = CountStates(4, a), nb = CountStates(4, b);
    Table t(na, nb);
    int dims[2];
    ContingencyMV(4, a, b, t.x, dims, nullptr);
    EXPECT_EQ(dims[0], 2);
    EXPECT_EQ(dims[1], 2);
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++) EXPECT_EQ(t[i][j], 1.0);

    double c[4] = {1, 2, 1, -999};
    double*** t3 = dim3DT<double>(2, 2, 2);
    int d3[3];
    Contingency3D_MV(4, a, b, c, t3, d3, nullptr);
    EXPECT_EQ(d3[2], 2);
    EXPECT_EQ(t3[0][0][0], 1.0);  // (-5, 2, 1)
    EXPECT_EQ(t3[1][0][1], 1.0);  // (100000, 2, 2)
    EXPECT_EQ(t3[0][1][0], 1.0);  // (-5, -1, 1)
    EXPECT_EQ(t3[1][1][0], 0.0);  // the fourth position has a missing value
    free3DT(t3, 2, 2);
}

TEST(Contingency, NonIntegerCodesAreRefusedWithAMessage) {
    Table x{{1, 2.5, 1}, {1, 1, 2}};
    Square r(2);
    CaptureStderr();
    CaptureStdout();
    EXPECT_FALSE(QuiSquareMV(2, 3, x.x, r.x, false));
    EXPECT_FALSE(MutualEntropyPairwiseMV(2, 3, x.x, r.x, 1.0, false));
    std::string err = GetCapturedStderr();
    GetCapturedStdout();
    EXPECT_NE(err.find("whole-number states: 2.5 is not one. Nothing was computed."), std::string::npos) << err;
    EXPECT_EQ(r[0][1], 12345.0);
    Table ok{{1, -999, 0}, {-3, 2, 7}};
    EXPECT_TRUE(CheckStateCodes(2, 3, ok.x));
}

// ---------------------------------------------------------------------------
// Chi-square and minimum discrimination information
// ---------------------------------------------------------------------------

TEST(ChiSquare, HandWorkedTwoByTwo) {
    Table t{{10, 20}, {30, 40}};
    // N (ad - bc)^2 / (row and column totals), no continuity correction.
    double expected = 100.0 * (400.0 - 600.0) * (400.0 - 600.0) / (30.0 * 70.0 * 40.0 * 60.0);
    EXPECT_NEAR(QuiSquareFromContingencyMV(2, 2, t.x), expected, 1e-13);
    // A missing cell is skipped; an empty row has expected counts 0 and is skipped.
    Table m{{10, 20, -999}, {0, 0, 0}, {30, 40, 0}};
    EXPECT_NEAR(QuiSquareFromContingencyMV(3, 3, m.x), expected, 1e-13);
    EXPECT_FALSE(std::isnan(QuiSquareFromContingencyMV(3, 3, m.x)));
}

TEST(ChiSquare, PairwiseOnNominalRows) {
    // Rows 1 and 2 are independent with exactly the expected counts.
    Table x{{1, 1, 2, 2}, {1, 2, 1, 2}, {1, 1, 2, 2}};
    Square r(3);
    EXPECT_TRUE(QuiSquareMV(3, 4, x.x, r.x, false));
    EXPECT_NEAR(r[0][1], 0.0, 1e-15);
    EXPECT_NEAR(r[0][2], 4.0, 1e-14);  // N phi^2 with phi = 1
    EXPECT_EQ(r[1][0], 12345.0);
}

TEST(MDIS, GStatisticAndSelfComparison) {
    Table x{{1, 1, 2, 2, 1, 3, 3, 1}, {1, 2, 2, 2, 1, 1, 2, 2}};
    Square r(2);
    EXPECT_TRUE(MDISMV(2, 8, x.x, r.x, false));
    // G = 2 sum O ln(O / E) over the observed cells.
    std::map<std::pair<double, double>, double> o;
    std::map<double, double> ra, cb;
    for (int k = 0; k < 8; k++) {
        o[{x[0][k], x[1][k]}] += 1;
        ra[x[0][k]] += 1;
        cb[x[1][k]] += 1;
    }
    double g = 0;
    for (auto& e : o) g += 2 * e.second * std::log(e.second / (ra[e.first.first] * cb[e.first.second] / 8));
    EXPECT_NEAR(r[0][1], g, 1e-13);
    // A row with itself: 2 G H, H its Shannon entropy.
    EXPECT_NEAR(r[0][0], 2 * 8 * Shannon({4, 2, 2}), 1e-13);
}

// ---------------------------------------------------------------------------
// Entropies of a table, mutual entropy, Rajski and coherence
// ---------------------------------------------------------------------------

TEST(TableEntropy, ShannonIdentityAndOrders) {
    Table t{{3, 1, 0}, {2, 2, 4}};
    double joint[8], col[8], row[8], mut[8], raj[8], coh[8];
    int n = Entropy_MV(2, 3, t.x, joint, col, row, mut, raj, coh, 0.5, 2.0, 0.5);
    ASSERT_EQ(n, 4);
    EXPECT_NEAR(joint[1], Shannon({3, 1, 2, 2, 4}), 1e-14);
    EXPECT_NEAR(row[1], Shannon({4, 8}), 1e-14);
    EXPECT_NEAR(col[1], Shannon({5, 3, 4}), 1e-14);
    EXPECT_NEAR(row[3], -std::log((16.0 + 64.0) / 144.0), 1e-14);  // order 2
    // At order 1 the mutual entropy of the two routines is the same quantity.
    EXPECT_NEAR(mut[1], MutualEntropyMV(2, 3, t.x, 1.0), 1e-14);
    EXPECT_NEAR(raj[1], 1 - mut[1] / joint[1], 1e-15);
    EXPECT_NEAR(coh[1], std::sqrt(1 - raj[1] * raj[1]), 1e-15);
    EXPECT_NEAR(EntropyRows(2, 3, t.x, 2.0), row[3], 1e-15);
    EXPECT_NEAR(EntropyCols(2, 3, t.x, 0.5), col[0], 1e-15);
    EXPECT_NEAR(CoheCoefMV(2, 3, t.x, 1.5), coh[2], 1e-15);
}

TEST(TableEntropy, OrderCountIsRoundedAndOneIsShannon) {
    EXPECT_EQ(EntropyOrderCount(0.1, 0.3, 0.1), 3);  // 0.2 / 0.1 is 1.9999999999999998
    EXPECT_EQ(EntropyOrderCount(1, 1, 0), 1);
    EXPECT_EQ(EntropyOrderCount(2, 1, 0.5), 0);
    // A step that does not divide the span stops before passing its end:
    // 0.1, 0.2, 0.3 up to 0.35, never 0.4.
    EXPECT_EQ(EntropyOrderCount(0.1, 0.35, 0.1), 3);
    EXPECT_EQ(EntropyOrderCount(0.5, 2.2, 0.5), 4);
    EXPECT_EQ(EntropyOrderCount(2, 1, 0), 0);  // nothing from 2 up to 1
    Table t{{3, 1}, {2, 2}};
    double j[4], c[4], r[4];
    // 0.1 + 3 x 0.3 is 0.9999999999999999: treated as order 1.
    ASSERT_EQ(EntropyMV(2, 2, t.x, j, c, r, 0.1, 1.0, 0.3), 4);
    EXPECT_DOUBLE_EQ(j[3], Shannon({3, 1, 2, 2}));
}

// The coherence coefficient, the column entropy and the pairwise mutual
// entropy take the order in single precision; the row entropy as given.
TEST(TableEntropy, OrdersHeldInSinglePrecision) {
    Table t{{3, 1, 0}, {2, 2, 4}};
    const double a = 0.1, af = 0.100000001490116119384765625;  // 0.1 as a float
    auto renyi = [](std::vector<double> n, double alpha) {
        double total = 0, s = 0;
        for (double v : n) total += v;
        for (double v : n) s += std::pow(v / total, alpha);
        return std::log(s) / (1 - alpha);
    };
    // The two orders give entropies far enough apart to tell them.
    ASSERT_GT(std::fabs(renyi({5, 3, 4}, a) - renyi({5, 3, 4}, af)), 1e-11);
    EXPECT_NEAR(EntropyCols(2, 3, t.x, a), renyi({5, 3, 4}, af), 1e-14);
    EXPECT_NEAR(EntropyRows(2, 3, t.x, a), renyi({4, 8}, a), 1e-14);
    // Coherence: sqrt(1 - (1 - I/J)^2), I = H(rows) + H(cols) - J.
    double hr = renyi({4, 8}, af), hc = renyi({5, 3, 4}, af), hj = renyi({3, 1, 2, 2, 4}, af);
    double raj = 1 - (hr + hc - hj) / hj;
    EXPECT_NEAR(CoheCoefMV(2, 3, t.x, a), std::sqrt(1 - raj * raj), 1e-13);
    // Pairwise mutual entropy of two nominal rows whose table is t.
    Table x{{1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2}, {5, 5, 5, 6, 5, 5, 6, 6, 7, 7, 7, 7}};
    Square me(2);
    ASSERT_TRUE(MutualEntropyPairwiseMV(2, 12, x.x, me.x, a, false));
    EXPECT_EQ(me[0][1], MutualEntropyMV(2, 3, t.x, af));
    EXPECT_NE(me[0][1], MutualEntropyMV(2, 3, t.x, a));
}

TEST(TableEntropy, MissingCellsAndDegenerateTables) {
    Table t{{3, -999}, {2, 2}};
    EXPECT_NEAR(EntropyRows(2, 2, t.x, 1.0), Shannon({3, 4}), 1e-15);
    // One occupied cell: joint entropy 0, Rajski 0, coherence 1, no NaN.
    Table one{{0, 0}, {0, 6}};
    double j, c, r, m, raj, coh;
    Entropy_MV(2, 2, one.x, &j, &c, &r, &m, &raj, &coh, 1, 1, 0);
    EXPECT_EQ(j, 0.0);
    EXPECT_EQ(raj, 0.0);
    EXPECT_EQ(coh, 1.0);
    // Independent variables: coherence 0.
    Table ind{{1, 2}, {2, 4}};
    EXPECT_NEAR(CoheCoefMV(2, 2, ind.x, 1.0), 0.0, 1e-7);
    Table empty{{0, 0}, {0, 0}};
    EXPECT_EQ(MutualEntropyMV(2, 2, empty.x, 2.0), 0.0);
    EXPECT_EQ(QuiSquareFromContingencyMV(2, 2, empty.x), 0.0);
}

TEST(MutualEntropy, RenyiHandWorked) {
    Table d{{1, 0}, {0, 1}};
    EXPECT_NEAR(MutualEntropyMV(2, 2, d.x, 1.0), std::log(2.0), 1e-15);
    EXPECT_NEAR(MutualEntropyMV(2, 2, d.x, 2.0), std::log(2.0), 1e-15);
    // p = (.5, .25 / 0, .25), margins (.5, .5) and (.75, .25):
    // order 2: ln(sum p^2 / (p_i p_j)) = ln(.25/.375 + .0625/.125 + .0625/.375).
    Table t{{2, 0}, {1, 1}};
    EXPECT_NEAR(MutualEntropyMV(2, 2, t.x, 2.0),
                std::log(0.25 / 0.375 + 0.0625 / 0.125 + 0.0625 / 0.375), 1e-15);
}

TEST(MutualEntropy, PairwiseNominalRows) {
    Table x{{1, 2, 2, 3, 1, 3, 3, -999}, {1, 2, 2, 3, 1, 3, 3, 2}, {4, 4, 5, 5, 4, 5, 4, 5}};
    Square me(3), co(3);
    ASSERT_TRUE(MutualEntropyPairwiseMV(3, 8, x.x, me.x, 1.0, false));
    ASSERT_TRUE(CoheCoefPairwiseMV(3, 8, x.x, co.x, 1.0, false));
    // Rows 1 and 2 agree wherever both are present: mutual entropy equals the
    // entropy, coherence 1 (Rajski 0).
    double h = Shannon({2, 2, 3});
    EXPECT_NEAR(me[0][1], h, 1e-14);
    EXPECT_NEAR(co[0][1], 1.0, 1e-12);
    EXPECT_NEAR(me[0][0], h, 1e-14);
    // Rows 1 and 3: H(X) + H(Y) - H(X, Y) over the seven shared positions.
    double hx = Shannon(JointCounts({x[0]}, 8)), hz = Shannon(JointCounts({x[2]}, 7));
    double hxz = Shannon(JointCounts({x[0], x[2]}, 8));
    EXPECT_NEAR(me[0][2], hx + hz - hxz, 1e-14);
    EXPECT_NEAR(co[0][2], std::sqrt(1 - std::pow(1 - (hx + hz - hxz) / hxz, 2)), 1e-14);
    EXPECT_EQ(me[2][0], 12345.0);
}

TEST(MutualEntropy, ThreeWayAgainstEntropyDecomposition) {
    std::mt19937 g(5);
    const int q = 60;
    Table x(3, q);
    for (int k = 0; k < q; k++) {
        x[0][k] = static_cast<double>(g() % 3);
        x[1][k] = static_cast<double>(g() % 2);
        x[2][k] = (g() % 4 == 0) ? MISSING : static_cast<double>((static_cast<int>(x[0][k]) + g() % 2) % 3);
    }
    double*** r3 = dim3DT<double>(3, 3, 3);
    ASSERT_TRUE(MutualEntropyTripletsMV(3, q, x.x, r3, 1.0, false));
    // Over the positions where all three are present, the Kirkwood information
    // is H(XY) + H(XZ) + H(YZ) - H(X) - H(Y) - H(Z) - H(XYZ).
    std::vector<int> keep;
    for (int k = 0; k < q; k++)
        if (x[2][k] != MISSING) keep.push_back(k);
    int n = static_cast<int>(keep.size());
    Table y(3, n);
    for (int i = 0; i < 3; i++)
        for (int k = 0; k < n; k++) y[i][k] = x[i][keep[k]];
    auto H = [&](std::vector<const double*> rows) { return Shannon(JointCounts(rows, n)); };
    double kirkwood = H({y[0], y[1]}) + H({y[0], y[2]}) + H({y[1], y[2]}) - H({y[0]}) - H({y[1]}) -
                      H({y[2]}) - H({y[0], y[1], y[2]});
    EXPECT_NEAR(r3[0][1][2], kirkwood, 1e-13);

    // Against the product of the one-way margins: the total correlation.
    double*** t3 = dim3DT<double>(3, 3, 3);
    int dims[3];
    Contingency3D_MV(q, x[0], x[1], x[2], t3, dims, nullptr);
    double total = H({y[0]}) + H({y[1]}) + H({y[2]}) - H({y[0], y[1], y[2]});
    EXPECT_NEAR(ThreeWayInteraction_MV(dims[0], dims[1], dims[2], t3, 1.0), total, 1e-13);
    EXPECT_NEAR(MutualEntropy3D_MV(dims[0], dims[1], dims[2], t3, 1.0), kirkwood, 1e-13);
    free3DT(t3, 3, 3);
    free3DT(r3, 3, 3);
}

// ---------------------------------------------------------------------------
// Tables files
// ---------------------------------------------------------------------------

TEST(TablesFile, PairsInMatrixOrderWithStatesAndCounts) {
    InTempDir dir;
    Table x{{1, 2, 1}, {2, 2, 1}};
    Square r(2);
    ASSERT_TRUE(QuiSquareMV(2, 3, x.x, r.x, true));
    EXPECT_EQ(dir.Read("Tables.txt"),
              "\nContingency table var.1 x var.1:\nRow states (2): 1\t2\t\nColumn states (2): 1\t2\t\n"
              "2\t0\t\n0\t1\t\n"
              "\nContingency table var.1 x var.2:\nRow states (2): 1\t2\t\nColumn states (2): 2\t1\t\n"
              "1\t1\t\n1\t0\t\n"
              "\nContingency table var.2 x var.2:\nRow states (2): 2\t1\t\nColumn states (2): 2\t1\t\n"
              "2\t0\t\n0\t1\t\n");
    // Each call replaces the file.
    ASSERT_TRUE(MDISMV(1, 3, x.x, r.x, true));
    EXPECT_EQ(dir.Read("Tables.txt").find("var.1 x var.2"), std::string::npos);
}

TEST(TablesFile, ThreeWayTablesOnePerStateOfTheFirstRow) {
    InTempDir dir;
    Table x{{1, 2}, {3, 3}, {5, 6}};
    double*** r3 = dim3DT<double>(3, 3, 3);
    ASSERT_TRUE(MutualEntropyTripletsMV(3, 2, x.x, r3, 1.0, true));
    std::string s = dir.Read("Tables3D.txt");
    // The first triplet is row 1 three times: its second and third rows give
    // the states, and there is one table for each of its two states.
    std::string first = "\nContingency table var.1 x var.1:\nRow states (2): 1\t2\t\nColumn states (2): 1\t2\t\n"
                        "1\t0\t\n0\t0\t\n0\t0\t\n0\t1\t\n\nContingency table";
    EXPECT_EQ(s.substr(0, first.size()), first);
    // Ten triplets i <= j <= k of three rows.
    size_t count = 0;
    for (size_t at = s.find("Contingency table"); at != std::string::npos; at = s.find("Contingency table", at + 1))
        count++;
    EXPECT_EQ(count, 10u);
    EXPECT_NE(s.find("Row states (1): 3\t\nColumn states (2): 5\t6\t\n1\t0\t\n0\t1\t\n"), std::string::npos);
    free3DT(r3, 3, 3);
}

TEST(TablesFile, AFileThatCannotBeOpenedIsSkipped) {
    InTempDir dir;
    std::filesystem::create_directory("Tables.txt");  // cannot be opened for writing
    Table x{{1, 2, 1}, {2, 2, 1}};
    Square r(2);
    CaptureStderr();
    CaptureStdout();
    EXPECT_TRUE(QuiSquareMV(2, 3, x.x, r.x, true));
    std::string err = GetCapturedStderr();
    GetCapturedStdout();
    EXPECT_NE(err.find("can't open Tables.txt"), std::string::npos);
    EXPECT_NEAR(r[0][1], 0.75, 1e-15);
}

// ---------------------------------------------------------------------------
// Information divergence and mutual information
// ---------------------------------------------------------------------------

TEST(Divergence, HandWorkedAndMissingSkipped) {
    Table x{{2, 0, 1}, {0, 2, 1}, {2, -999, 1}};
    Square r(3), mi(3);
    IDivergenceMV(3, 3, x.x, r.x);
    EXPECT_NEAR(r[0][1], 4 * std::log(2.0), 1e-15);
    EXPECT_NEAR(r[0][0], 0.0, 1e-15);
    // The second attribute is missing in unit 3: its terms are left out.
    EXPECT_NEAR(r[1][2], 2 * std::log(2.0), 1e-15);
    EXPECT_FALSE(std::isnan(r[0][2]));
    Square n(3);
    IDivergenceNeighbours(3, 3, x.x, n.x, 1);
    EXPECT_DOUBLE_EQ(n[0][1], r[0][1]);
    EXPECT_DOUBLE_EQ(n[1][2], r[1][2]);
    EXPECT_EQ(n[0][2], 12345.0);

    MutualInformationMV(3, 3, x.x, mi.x);
    // Table rows (2, 0, 1) and (0, 2, 1): G (H(row) + H(col) - H(cells)).
    EXPECT_NEAR(mi[0][1], 6 * (Shannon({3, 3}) + Shannon({2, 2, 2}) - Shannon({2, 1, 2, 1})), 1e-14);
}

TEST(Divergence, MutualInformationOfRandomAbundanceRows) {
    std::mt19937 g(9);
    Table x(4, 9);
    for (int i = 0; i < 4; i++)
        for (int k = 0; k < 9; k++) x[i][k] = static_cast<double>(g() % 6);
    x[2][4] = MISSING;
    Square mi(4);
    MutualInformationMV(4, 9, x.x, mi.x);
    for (int i = 0; i < 4; i++)
        for (int j = i; j < 4; j++) {
            std::vector<double> cells, rows(2, 0), cols;
            for (int k = 0; k < 9; k++) {
                if (x[i][k] == MISSING || x[j][k] == MISSING) continue;
                cells.push_back(x[i][k]);
                cells.push_back(x[j][k]);
                rows[0] += x[i][k];
                rows[1] += x[j][k];
                cols.push_back(x[i][k] + x[j][k]);
            }
            double G = rows[0] + rows[1];
            EXPECT_NEAR(mi[i][j], G * (Shannon(rows) + Shannon(cols) - Shannon(cells)), 1e-12)
                << i << " " << j;
            EXPECT_GE(mi[i][j], -1e-12);
        }
}

// ---------------------------------------------------------------------------
// Rao's quadratic entropy
// ---------------------------------------------------------------------------

TEST(Rao, HandWorkedAndSimpson) {
    double x[3] = {1, 1, 2};
    Square d(3, 0.0);
    d[0][1] = 1, d[0][2] = 2, d[1][2] = 3;
    d[1][0] = d[2][0] = d[2][1] = 777;  // the lower triangle is not read
    double p[3] = {0.25, 0.25, 0.5};
    double expected = 2 * (p[0] * p[1] * 1 + p[0] * p[2] * 2 + p[1] * p[2] * 3);
    EXPECT_NEAR(RaoIndex(3, x, d.x, true, false), expected, 1e-15);
    // The upper triangle is copied onto the lower one: the caller gets the
    // whole matrix back.
    EXPECT_EQ(d[1][0], 1.0);
    EXPECT_EQ(d[2][0], 2.0);
    EXPECT_EQ(d[2][1], 3.0);
    double expectedSqrt = 2 * (p[0] * p[1] * 1 + p[0] * p[2] * std::sqrt(2.0) + p[1] * p[2] * std::sqrt(3.0));
    EXPECT_NEAR(RaoIndex(3, x, d.x, true, true), expectedSqrt, 1e-15);

    // With all distances 1 off the diagonal Rao's entropy is Simpson's.
    Square s(3, 0.0);  // similarities: identity
    for (int i = 0; i < 3; i++) s[i][i] = 1;
    double simpson = 1 - (p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    EXPECT_NEAR(RaoIndex(3, x, s.x, false), simpson, 1e-15);
    EXPECT_NEAR(RaoIndex_Simpson(3, x, nullptr, true, false), simpson, 1e-15);
    EXPECT_NEAR(RaoIndex_Simpson(3, x, d.x, true, false), expected, 1e-15);

    // Missing quantities and resemblances take no part; no total, no entropy.
    double xm[3] = {1, -999, 1};
    EXPECT_NEAR(RaoIndex(3, xm, d.x, true, false), 2 * 0.25 * 2, 1e-15);
    double zero[3] = {0, 0, 0};
    EXPECT_EQ(RaoIndex(3, zero, d.x, true, false), 0.0);
}

TEST(Rao, PairWeights) {
    double x[3] = {1, 1, 2};
    Square d(3, 0.0);
    d[0][1] = 1, d[0][2] = 2, d[1][2] = 3;
    double p[3] = {0.25, 0.25, 0.5};
    int w[3] = {1, 0, 0};
    // Only pairs that involve entity 1 count.
    EXPECT_NEAR(RaoIndex_Weight(3, x, d.x, true, w, false), 2 * (p[0] * p[1] * 1 + p[0] * p[2] * 2), 1e-15);
    int w2[3] = {2, 1, 1};
    EXPECT_NEAR(RaoIndex_Weight(3, x, d.x, true, false, w2, true),
                2 * (2 * p[0] * p[1] * 1 + 2 * p[0] * p[2] * 2 + p[1] * p[2] * 3), 1e-15);
    // Similarities in the six-argument form: distance sqrt(1 - s).
    Square s(3, 1.0);
    s[0][1] = 0.75, s[0][2] = 0.0, s[1][2] = 0.36;
    int all[3] = {1, 1, 1};
    EXPECT_NEAR(RaoIndex_Weight(3, x, s.x, false, all, true),
                2 * (p[0] * p[1] * 0.5 + p[0] * p[2] * 1.0 + p[1] * p[2] * 0.8), 1e-15);
}

TEST(Rao, MatrixOfCommunities) {
    Table w{{1, 1, 2}, {0, 3, 3}, {0, 0, 0}};
    Square d(3, 0.0);
    d[0][1] = 1, d[0][2] = 2, d[1][2] = 3;
    double q[3];
    int ones[3] = {1, 1, 1};
    ASSERT_TRUE(RaoIndex_Weight_Matrix(3, 3, w.x, d.x, q, true, false, ones, true, true));
    // Relative abundances and a zero diagonal: the plain Rao entropy.
    EXPECT_NEAR(q[0], RaoIndex(3, w[0], d.x, true, false), 1e-15);
    EXPECT_NEAR(q[1], RaoIndex(3, w[1], d.x, true, false), 1e-15);
    EXPECT_EQ(q[2], 0.0);

    // A missing resemblance: the sum over the pairs that entered (1 + 1) is
    // scaled by all pairs over those pairs (3 / 2), then doubled.
    Table u{{1, 1, 1}};
    d[0][2] = MISSING, d[1][2] = 1;
    ASSERT_TRUE(RaoIndex_Weight_Matrix(1, 3, u.x, d.x, q, true, false, ones, true, false));
    EXPECT_NEAR(q[0], 6.0, 1e-15);
}

// ---------------------------------------------------------------------------
// Library-only measures
// ---------------------------------------------------------------------------

TEST(Florula, DeviationsPatternsValencesAndDiversity) {
    double a[2] = {1, 1}, b[2] = {1, 0}, z[2] = {0, 0};
    EXPECT_DOUBLE_EQ(SumAbsDeviations(2, a, b, false), 0.5);
    EXPECT_DOUBLE_EQ(SumAbsDeviations(2, a, b, true), 0.25);
    EXPECT_EQ(SumAbsDeviations(2, a, z, false), 0.0);
    EXPECT_EQ(CompareVector(2, a, a), 1);
    EXPECT_EQ(CompareVector(2, a, b), 0);

    Table f{{1, 2, 0, 1}, {0, 0, 1, 0}, {1, 5, 0, 3}};
    double freq[4];
    int patterns = 0;
    FlorulaFrequencies(3, 4, f.x, &patterns, freq);
    EXPECT_EQ(patterns, 2);
    EXPECT_EQ(freq[0], 3.0);
    EXPECT_EQ(freq[1], 1.0);
    EXPECT_EQ(f[0][1], 2.0);  // the table is not changed
    EXPECT_NEAR(FlorulaDiversity(3, 4, f.x, 1.0), Shannon({3, 1}), 1e-15);

    // Species 1 in both communities, species 2 in the first only.
    Table s{{1, 1}, {1, 0}};
    double lv, fv, li, fi;
    ASSERT_EQ(ValenceInvalence(2, 2, s.x, &lv, &fv, &li, &fi, 1.0), 1);
    EXPECT_NEAR(lv, Shannon({2, 1}), 1e-15);
    EXPECT_NEAR(fv, Shannon({2, 1}), 1e-15);
    EXPECT_EQ(li, 0.0);
    EXPECT_EQ(fi, 0.0);
    EXPECT_DOUBLE_EQ(LocalValence(2, 2, s.x, 1.0), lv);
    EXPECT_DOUBLE_EQ(FloristicValence(2, 2, s.x, 1.0), fv);
    EXPECT_NEAR(LocalDistinctiveness(2, 2, s.x, 1.0), std::log(2.0), 1e-15);
    // Occupancies 3, 1, 2 of four communities and richnesses 2, 1, 2, 1 of
    // three species: the invalences are the entropies of the absences.
    Table t{{1, 1, 1, 0}, {1, 0, 0, 0}, {0, 0, 1, 1}};
    EXPECT_NEAR(LocalInvalence(3, 4, t.x, 1.0), Shannon({1, 3, 2}), 1e-15);
    EXPECT_NEAR(FloristicInvalence(3, 4, t.x, 1.0), Shannon({1, 2, 1, 2}), 1e-15);

    Table absent{{1, 1}, {0, 0}};
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(ValenceInvalence(2, 2, absent.x, &lv, &fv, &li, &fi, 1.0), 0);
    EXPECT_EQ(LocalDistinctiveness(2, 2, absent.x, 1.0), 0.0);
    std::string err = GetCapturedStderr();
    GetCapturedStdout();
    EXPECT_NE(err.find("\nCheck species in row 2. It is completely absent!\n"), std::string::npos);
    Table emptyCommunity{{1, 0}, {1, 0}};
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(ValenceInvalence(2, 2, emptyCommunity.x, &lv, &fv, &li, &fi, 1.0), 0);
    err = GetCapturedStderr();
    GetCapturedStdout();
    EXPECT_NE(err.find("\nCheck community in column 2. It is completely empty!\n"), std::string::npos);
}

}  // namespace
