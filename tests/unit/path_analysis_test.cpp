// Path analysis (key F) on four dune species: the basis-set tests and the
// undirected search against a replay of the draws on a generator of the
// test's own, the node matrices against vegan's values, and the refusals.
#include <gtest/gtest.h>
#include <gsl/gsl_rng.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "PathModelGenerator_Tevlan.h"
#include "driver_fixture.h"
#include "iflibG.h"
#include "linear_models_reference.h"
#include "matrix_util.h"
#include "reference_stats.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

namespace {

using lsref::Matrix;
using lsref::Vec;

// Achimill, Agrostol, Lolipere, Poaprat: dune's species 1, 2, 17, 19.
Matrix Dune4() {
    Matrix m;
    for (const Vec& row : lsref::Dune()) m.push_back({row[0], row[1], row[16], row[18]});
    return m;
}

struct Claim {
    int i, j;
    std::vector<int> given;
};

Matrix Correlations(const Matrix& X) {
    const size_t p = X[0].size();
    Matrix R(p, Vec(p, 1.0));
    for (size_t a = 0; a < p; a++)
        for (size_t b = 0; b < p; b++)
            if (a != b) R[a][b] = Pearson(lsref::Column(X, a), lsref::Column(X, b));
    return R;
}

// The recursion on the last covariable k of the claim: r_ij.S = (r_ij.T -
// r_ik.T r_jk.T) / sqrt((1 - r_ik.T^2)(1 - r_jk.T^2)), T = S less k.
// Infinite where a covariable correlates +-1 with the others within rounding.
double Partial(const Matrix& R, const Claim& c) {
    if (c.given.empty()) return R[c.i][c.j];
    const int k = c.given.back();
    const std::vector<int> rest(c.given.begin(), c.given.end() - 1);
    const double ij = Partial(R, {c.i, c.j, rest}), ik = Partial(R, {c.i, k, rest}), jk = Partial(R, {c.j, k, rest});
    const double v = (1 - ik * ik) * (1 - jk * jk);
    return v > 1e-12 ? (ij - ik * jk) / std::sqrt(v) : INFINITY;
}

// P of each claim: per permutation one list per variable in column order,
// drawn by the program's rule; model 1 moves every variable by its list,
// model 2 the claim's first variable alone. none: the permutations in which
// a claim had no partial correlation.
Vec Replayed(const Matrix& X, const std::vector<Claim>& claims, int model, unsigned seed, int N, int* none = nullptr) {
    const int n = static_cast<int>(X.size()), p = static_cast<int>(X[0].size());
    Vec count(claims.size(), 1.0), rObs;
    for (const Claim& c : claims) rObs.push_back(Partial(Correlations(X), c));
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, seed);
    if (none) *none = 0;
    for (int k = 2; k <= N; k++) {
        std::vector<std::vector<int>> lists;
        for (int a = 0; a < p; a++) lists.push_back(lsref::DrawnList(g, n));
        auto moved = [&](int only) {
            Matrix Y = X;
            for (int u = 0; u < n; u++)
                for (int a = 0; a < p; a++)
                    if (only < 0 || a == only) Y[u][a] = X[lists[a][u] - 1][a];
            return Correlations(Y);
        };
        const Matrix all = moved(-1);
        bool undefined = false;
        for (size_t c = 0; c < claims.size(); c++) {
            const double r = Partial(model == 2 ? moved(claims[c].i) : all, claims[c]);
            undefined = undefined || !std::isfinite(r);
            count[c] += std::isfinite(r) ? lsref::Counts(r, rObs[c]) : 1;
        }
        if (none) *none += undefined;
    }
    gsl_rng_free(g);
    for (double& c : count) c /= N;
    return count;
}

// Null model 2's matrix by each kind of nodes' own route: that of the
// arrangement moving node first alone, and to the bit the observed matrix
// when the list leaves the units in place.
void ExpectFirstNodeMatrices(PathNodes& nodes, const int* list) {
    const int b = nodes.Nodes();
    testmat::Table observed(b, b), M(b, b), whole(b, b);
    std::vector<int> identity(nodes.Units());
    std::iota(identity.begin(), identity.end(), 1);
    nodes.NodeMatrix(nullptr, observed.x);
    for (int first = 0; first < b; first++) {
        nodes.FirstNodeMatrix(first, list, observed.x, M.x);
        nodes.PathNodes::FirstNodeMatrix(first, list, observed.x, whole.x);
        for (int a = 0; a < b; a++)
            for (int c = 0; c < b; c++) EXPECT_NEAR(M[a][c], whole[a][c], 1e-13) << first << a << c;
        nodes.FirstNodeMatrix(first, identity.data(), observed.x, M.x);
        for (int a = 0; a < b; a++)
            for (int c = 0; c < b; c++) EXPECT_EQ(M[a][c], observed[a][c]) << first << a << c;
    }
}

const std::vector<Claim> kDune4Claims = {{0, 1, {}}, {0, 3, {2}}, {1, 3, {2}}};
const char* const kDune4ClaimAnswers = "1 1 0 0\n0\n1 0 0 1\n1\n0 0 1 0\n0 1 0 1\n1\n0 0 1 0\n";

// The univariate road up to the road's own questions: null model, seed
// 12345, N, no restriction, save answer.
std::string Univariate(int model, int N, const std::string& save = "n\n") {
    return "1\n" + std::to_string(model) + "\n2\n12345\n" + std::to_string(N) + "\n0\n" + save;
}
std::string BasisSet(int model, int N, const std::string& claims = kDune4ClaimAnswers) {
    return Univariate(model, N) + "2\n4\n3\n" + claims;
}

// The numbers after `key` on each line that holds it.
Vec After(const std::string& text, const std::string& key) {
    Vec v;
    for (size_t p = text.find(key); p != std::string::npos; p = text.find(key, p + 1))
        v.push_back(std::strtod(text.c_str() + p + key.size(), nullptr));
    return v;
}

class PathAnalysisTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        strcpy(modeVidive, "w");
        sDigits = 5;
        InitMultiprocessing(0);
    }
    // x as the data set, its first five variables labelled as dune4's
    // species and a copy (or by the labels given).
    void Install(const Matrix& x, std::vector<std::string> labels = {}) {
        CurrentTable(x);
        if (labels.empty()) labels = {"Achimill", "Agrostol", "Lolipere", "Poaprat", "Copy"};
        for (int j = 0; j < nVar && j < static_cast<int>(labels.size()); j++)
            snprintf(varLabels[j], 30, "%s", labels[j].c_str());
        snprintf(filename, sizeof filename, "%s", "dune4.txt");
        stepReached = 1;
    }
    std::string F(const std::string& answers) {
        code_ = Run(answers, [] { PathAnalysis(); });
        return Slurp("Vidive.txt");
    }
    QuietProgress quiet_;
    int code_ = 0;
};

TEST_F(PathAnalysisTest, BasisSetOnDune4AgreesWithAReplayAndTheFiguresOfASecondProgram) {
    struct Case {
        int model, N;
        Vec P;
        double C, chi, aicc;
    } cases[] = {
        {1, 999, {0.00500501, 0.62963, 0.616617}, 12.48689641, 0.05194755599, 35.82022974},
        {2, 999, {0.00700701, 0.672673, 0.621622}, 11.66552953, 0.06986014595, 34.99886286},
        {1, 1, {1, 1, 1}, 0, 1, 23.33333333},
    };
    const Matrix x = Dune4();
    for (const Case& c : cases) {
        Install(x);
        remove("Vidive.txt");
        const std::string report = F(BasisSet(c.model, c.N));
        ASSERT_EQ(code_, 0) << shown_ << err_;
        const Vec r = After(report, "\nCorrelation r =\t"), P = After(report, "\tP-value =\t");
        ASSERT_EQ(P.size(), 3u) << report;
        const Vec replayed = Replayed(x, kDune4Claims, c.model, 12345, c.N);
        const double rR[] = {-0.6075705993, -0.1139251419, 0.1233080077};  // R, from the correlation inverse
        for (int k = 0; k < 3; k++) {
            EXPECT_NEAR(r[k], rR[k], 5e-6) << k;
            EXPECT_NEAR(replayed[k], c.P[k], 1e-6) << c.model << " " << k;
            EXPECT_NEAR(P[k], c.P[k], 1e-6) << c.model << " " << k;
        }
        // C = -2 sum ln P and its chi-square probability on 6 degrees of
        // freedom: 1 - F(C) = e^(-C/2)(1 + C/2 + (C/2)^2/2).
        double C = 0;
        for (double p : replayed) C -= 2 * std::log(p);
        const double h = C / 2, chi = std::exp(-h) * (1 + h + h * h / 2);
        EXPECT_NEAR(C, c.C, 1e-5);
        EXPECT_NEAR(chi, c.chi, 1e-6);
        EXPECT_NEAR(After(report, "Fisher's C statistics (Granvik 2000):\t")[0], c.C, 5e-4 * (1 + c.C));
        EXPECT_NEAR(After(report, "degrees of freedom =\t")[0], c.chi, 1e-5);
        // AICc = C + 2Kn / (n - K - 1), K = V + A = 7, n = 20.
        EXPECT_NEAR(C + 2.0 * 7 * 20 / 12, c.aicc, 1e-5);
        EXPECT_NEAR(After(report, "(Granvik 2013):\t")[0], c.aicc, 5e-4);
        EXPECT_NE(report.find("\tK=\t7\n"), std::string::npos);
        EXPECT_NE(report.find("Variable pair:\tAchimill\tPoaprat\tCovariable(s):\tLolipere\t"), std::string::npos);
        EXPECT_NE(shown_.find("\n\nSee results on file Vidive.txt.\n"), std::string::npos);
    }
}

// x1 and x2 each half a covariable plus noise, the covariables c1 and c2
// correlated 0.986. Model 2 moves x1 alone: every arrangement is real data,
// x1 _||_ x2 | c1 c2 always has a partial correlation, and P is that of the
// replay (about 0.28 by 20,000 permutations in R). Covariables of +-1 on
// four units coincide, up to the sign, in a third of model 1's
// arrangements, which have none: the report says how many.
TEST_F(PathAnalysisTest, NullModel2MovesTheFirstVariableAlone) {
    const double d[] = {  // x1, x2, c1, c2 of each unit
        0.2728, 0.8122, 2.2872, 2.4276, 0.1203, 0.6181, -1.1968, -1.4649, -0.2365, 0.1979, -0.6943, -0.7865,
        -0.2846, -0.1063, -0.4123, -0.4137, -0.9058, 0.594, -0.9707, -0.6742, -1.0358, -0.6104, -0.9473,
        -0.6954, 1.3716, 0.4722, 0.7481, 0.9597, -1.1636, 0.5046, -0.117, 0.2748, -0.066, 1.5753, 0.1527,
        -0.2637, 1.41, 2.0097, 2.19, 2.5719, 1.397, 0.6872, 0.357, 0.4122, 0.6591, -0.0967, 2.7168, 2.9424,
        0.8553, 1.5477, 2.2815, 2.459, -1.1495, 0.1805, 0.324, 0.0291, 0.557, 0.0067, 1.8961, 1.8132};
    Matrix x(15, Vec(4));
    for (int u = 0; u < 60; u++) x[u / 4][u % 4] = d[u];
    const std::string uncomputed = "\nPermutations in which a random partial correlation could not be computed "
                                   "(counted as at least as extreme as the observed one):\t";
    const std::string claim = "2\n4\n5\n1 1 0 0\n2\n0 0 1 1\n";
    Install(x, {"x1", "x2", "c1", "c2"});
    std::string report = F(Univariate(2, 9999) + claim);
    ASSERT_EQ(code_, 0) << shown_ << err_;
    int none = -1;
    const double replayed = Replayed(x, {{0, 1, {2, 3}}}, 2, 12345, 9999, &none)[0];
    EXPECT_EQ(none, 0);
    EXPECT_NEAR(After(report, "\tP-value =\t")[0], replayed, 1e-6);
    EXPECT_NEAR(replayed, 0.28, 0.02);
    EXPECT_EQ(report.find(uncomputed), std::string::npos) << report;

    Matrix signs(x.begin(), x.begin() + 4);
    for (int u = 0; u < 4; u++) signs[u][2] = u < 2 ? 1 : -1, signs[u][3] = u % 2 ? 1 : -1;
    Install(signs, {"x1", "x2", "c1", "c2"});
    remove("Vidive.txt");
    report = F(Univariate(1, 99) + claim);
    Replayed(signs, {{0, 1, {2, 3}}}, 1, 12345, 99, &none);
    EXPECT_GT(none, 20) << none;
    EXPECT_NE(report.find(uncomputed + std::to_string(none) + " of 98\n"), std::string::npos) << none << report;
}

TEST_F(PathAnalysisTest, UndirectedSearchOnDune4) {
    const Matrix x = Dune4();
    Install(x);
    const std::string report = F(Univariate(1, 999, "y\ny\n") + "1\n0.05\n");
    ASSERT_EQ(code_, 0) << shown_ << err_;
    // Order 0 tests the six pairs in one run, in the order of the pairs.
    const std::vector<Claim> pairs = {{0, 1, {}}, {0, 2, {}}, {0, 3, {}}, {1, 2, {}}, {1, 3, {}}, {2, 3, {}}};
    const Vec expected = {0.00500501, 0.0800801, 0.183183, 0.114114, 0.273273, 0.001001};
    const Vec replayed = Replayed(x, pairs, 1, 12345, 999);
    std::istringstream block(report.substr(report.find("Observed correlations and p-value:\n") + 35));
    for (size_t k = 0; k < pairs.size(); k++) {
        std::string line;
        std::getline(block, line);
        EXPECT_NEAR(std::strtod(line.substr(line.rfind('\t') + 1).c_str(), nullptr), expected[k], 1e-6) << line;
        EXPECT_NEAR(replayed[k], expected[k], 1e-6) << k;
    }
    // Two links are left: Achimill-Agrostol and Lolipere-Poaprat. Order 1
    // ran once for each of them (two covariable subsets each).
    const std::string links = "0\t\n1\t0\t\n0\t0\t0\t\n0\t0\t1\t0\t\n";
    EXPECT_NE(report.find("\tAlpha probability threshold: \t0.05\n\tUndirected path matrix (1 indicates a link, 0 "
                          "indicates no link between the variables)\n" +
                          links),
              std::string::npos)
        << report;
    EXPECT_EQ(Count(report, "Undirected path algorithm: Intermediate results\n"), 3);
    EXPECT_NE(report.find("Variable pair:\tLolipere\tPoaprat\tCovariable(s):\tAgrostol\t"), std::string::npos);
    EXPECT_NE(report.find("Test criterion:\n\tResemblance measure: (17)correlation, (2)comparing variables\n"
                          "Permutation restrictions:\tNone\n"),
              std::string::npos);

    // An alpha of exactly 80/999, the P of Achimill-Lolipere: that link stays.
    char alpha[64];
    snprintf(alpha, sizeof alpha, "%.17g\n", 80.0 / 999);
    Install(x);
    remove("Vidive.txt");
    const std::string equal = F(Univariate(1, 999, "y\ny\n") + "1\n" + alpha);
    EXPECT_NE(equal.find("no link between the variables)\n0\t\n1\t0\t\n1\t0\t0\t\n0\t0\t1\t0\t\n"), std::string::npos)
        << equal;
}

// The claims' test writes each arrangement when asked (the search never asks:
// it holds the report itself): the arranged table, whose columns hold the
// data's values reordered, and the claim's random correlation, that of the
// table's two columns.
TEST_F(PathAnalysisTest, ClaimsTestWritesEachArrangementWhenAsked) {
    const Matrix x = Dune4();
    Install(x);
    const Matrix r = Correlations(x);
    testmat::Table corr(4, 4);
    for (int a = 0; a < 4; a++)
        for (int b = 0; b < 4; b++) corr[a][b] = r[a][b];
    int pair[2] = {0, 1}, order = 0, none = 0;
    int* pairs[] = {pair};
    int* covariables[] = {&none};
    double rObs = 0, P = 0;
    partialCorr run{4, 20, corr.x, 5, 3, 0, 0, false, nullptr, false, nullptr, false, 'y', 1, pairs, &order,
                    covariables, &rObs, &P};
    Run("", [&] { AleatorizacaoVar_PartialCorrelation(&run, kPermuteAllNodes); });
    const std::string report = Slurp("Vidive.txt");
    EXPECT_NEAR(rObs, r[0][1], 1e-12);
    EXPECT_EQ(Count(report, "Random data:\nData matrix:\n"), 2) << report;
    for (size_t at = report.find("Random data:\nData matrix:\n"); at != std::string::npos;
         at = report.find("Random data:\nData matrix:\n", at + 1)) {
        std::istringstream table(report.substr(at + 26));
        Matrix arranged(20, Vec(4));
        for (Vec& row : arranged)
            for (double& v : row) table >> v;
        for (size_t j = 0; j < 4; j++) {
            Vec a = lsref::Column(arranged, j), b = lsref::Column(x, j);
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            EXPECT_EQ(a, b) << "column " << j;
        }
        const size_t c = report.find("\nCorrelation:\t", at);
        ASSERT_NE(c, std::string::npos);
        EXPECT_NEAR(std::strtod(report.c_str() + c + 14, nullptr),
                    Pearson(lsref::Column(arranged, 0), lsref::Column(arranged, 1)), 1e-5);
    }
}

// dune's 30 species in three blocks of ten; vegan's protest and mantel (on
// Euclidean distances) give the node correlations.
TEST_F(PathAnalysisTest, BlockNodeMatricesAndTheirArrangements) {
    const Matrix dune = lsref::Dune();
    const int n = 20;
    testmat::Table X(n, 30);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < 30; j++) X[i][j] = dune[i][j];
    const std::vector<int> sizes = {10, 10, 10};
    BlockTableNodes procrustes(n, X.x, sizes, [](int m, int p, int q, double** A, double** B) {
        return ProcrustesCoeff(m, p, q, A, B);
    });
    std::vector<testmat::Table*> D;
    std::vector<double**> matrices;
    for (int a = 0; a < 3; a++) {
        D.push_back(new testmat::Table(n, n));
        ResemblanceLib(n, 10, procrustes.Table(a), D.back()->x, 1, 3, 0, nullptr, 1, 1, 0, false);
        matrices.push_back(D.back()->x);
    }
    ResemblanceNodes mantel(n, matrices);
    testmat::Table M(3, 3);
    const double expected[2][3] = {{0.6195665157, 0.5142333384, 0.6013887702},
                                   {0.1769202101, 0.03604811979, 0.05930793082}};
    PathNodes* nodes[2] = {&procrustes, &mantel};
    for (int k = 0; k < 2; k++) {
        nodes[k]->NodeMatrix(nullptr, M.x);
        EXPECT_NEAR(M[0][1], expected[k][0], 1e-9);
        EXPECT_NEAR(M[0][2], expected[k][1], 1e-9);
        EXPECT_NEAR(M[1][2], expected[k][2], 1e-9);
        EXPECT_EQ(M[2][1], M[1][2]);
        EXPECT_EQ(M[2][2], 1.0);
    }

    // An arrangement read through the lists is the Mantel correlation of the
    // permuted copies, and the Procrustes one that of the permuted tables.
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 7);
    std::vector<std::vector<int>> lists;
    for (int a = 0; a < 3; a++) lists.push_back(lsref::DrawnList(g, n));
    gsl_rng_free(g);
    const int* L[3] = {lists[0].data(), lists[1].data(), lists[2].data()};
    testmat::Table P0(n, n), P2(n, n), T0(n, 10), T2(n, 10);
    for (int u = 0; u < n; u++) {
        for (int v = 0; v < n; v++) {
            P0[u][v] = (*D[0])[L[0][u] - 1][L[0][v] - 1];
            P2[u][v] = (*D[2])[L[2][u] - 1][L[2][v] - 1];
        }
        for (int j = 0; j < 10; j++) {
            T0[u][j] = dune[L[0][u] - 1][j];
            T2[u][j] = dune[L[2][u] - 1][20 + j];
        }
    }
    mantel.NodeMatrix(L, M.x);
    EXPECT_NEAR(M[0][2], MatrixCorr(n, P0.x, P2.x), 1e-13);
    procrustes.NodeMatrix(L, M.x);
    EXPECT_NEAR(M[0][2], ProcrustesCoeff(n, 10, 10, T0.x, T2.x), 1e-13);
    CentredResemblanceNodes rv(n, matrices, true), rd(n, matrices, false);
    for (PathNodes* kind : std::vector<PathNodes*>{&procrustes, &mantel, &rv, &rd}) ExpectFirstNodeMatrices(*kind, L[1]);
    (*D[1])[1][2] = (*D[1])[2][1] = MISSING;  // Mantel correlations of copies
    ResemblanceNodes literal(n, matrices);
    ExpectFirstNodeMatrices(literal, L[1]);
    for (testmat::Table* t : D) delete t;
}

// The cross-product route of the variable nodes against correlations of the
// gathered table; with the transformations in force (group centring of a
// factor included) every arrangement is transformed again as the data were.
TEST_F(PathAnalysisTest, VariableNodesFormTheCorrelationsOfEachArrangement) {
    const Matrix x = Dune4();
    Install(x);
    const int n = 20, p = 4;
    testmat::Table observed(p, p), viaLibrary(p, p), M(p, p), T(n, p);
    ResemblanceLib(n, p, data, viaLibrary.x, 2, 17, 0, varType, 1, 1, 0, false);
    VariableNodes plain(n, p, data, false);
    plain.NodeMatrix(nullptr, observed.x);
    for (int a = 0; a < p; a++)
        for (int b = 0; b < p; b++)
            if (a != b) {
                EXPECT_EQ(observed[a][b], viaLibrary[a][b]) << a << b;
            }

    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 11);
    std::vector<std::vector<int>> lists;
    for (int a = 0; a < p; a++) lists.push_back(lsref::DrawnList(g, n));
    gsl_rng_free(g);
    const int* L[4] = {lists[0].data(), lists[1].data(), lists[2].data(), lists[3].data()};
    auto expectCorrelations = [&](VariableNodes& nodes, const Matrix& arranged) {
        nodes.NodeMatrix(L, M.x);
        const Matrix R = Correlations(arranged);
        for (int a = 0; a < p; a++)
            for (int b = 0; b < p; b++) EXPECT_NEAR(M[a][b], R[a][b], 1e-13) << a << b;
    };
    Matrix gathered(n, Vec(p));
    for (int u = 0; u < n; u++)
        for (int a = 0; a < p; a++) gathered[u][a] = x[L[a][u] - 1][a];
    expectCorrelations(plain, gathered);
    ExpectFirstNodeMatrices(plain, L[2]);

    // Centred within the management groups (key T, option 12).
    const std::string groups = "2 1 2 2 1 1 1 1 1 4 3 4 3 3 4 4 3 4 4 3\n";
    ASSERT_EQ(Run("1\n0\n2\n12\n1\nF\nk\n" + groups + "n\nn\n", [] { return TransformaDados(); }), 0) << shown_;
    ASSERT_EQ(optTrVeVar, 12);
    std::istringstream labels(groups);
    std::vector<int> group(n);
    for (int& v : group) labels >> v;
    Matrix centred = gathered;
    for (int a = 0; a < p; a++)
        for (int u = 0; u < n; u++) {
            double s = 0;
            int k = 0;
            for (int v = 0; v < n; v++)
                if (group[v] == group[u]) s += gathered[v][a], k++;
            centred[u][a] = gathered[u][a] - s / k;
        }
    VariableNodes retransformed(n, p, dataOrig, true);
    expectCorrelations(retransformed, centred);
    retransformed.ArrangedTable(L, T.x);
    EXPECT_NEAR(T[0][0], centred[0][0], 1e-12);
}

// Every refusal asks again or ends in order; the resemblance options and the
// matrix of the data set are what they were, whatever way F ended.
TEST_F(PathAnalysisTest, RefusalsAndTheOptionsLeftAsTheyWere) {
    const std::string claims2and3 = "1 0 0 1\n1\n0 0 1 0\n0 1 0 1\n1\n0 0 1 0\n";
    struct Case {
        const char* what;
        std::string answers;
        const char* message;  // on the console, or (starting with '!') the standard error
        int code;             // 2: the script ended where an answer was awaited
    } cases[] = {
        {"three variables marked", BasisSet(1, 9, "1 1 1 0\n1 1 0 0\n0\n" + claims2and3),
         "\nError! Please specify two variables. Try again.\n", 0},
        {"a covariable in the pair", BasisSet(1, 9, "1 1 0 0\n0\n1 0 0 1\n1\n0 0 0 1\n0 0 1 0\n0 1 0 1\n1\n0 0 1 0\n"),
         "\nError! A covariable cannot be one of the variables of the pair. Try again.\n", 0},
        {"too many covariables", BasisSet(1, 9, "1 1 0 0\n0\n1 0 0 1\n1\n0 1 1 0\n0 0 1 0\n0 1 0 1\n1\n0 0 1 0\n"),
         "\nError! Please specify 1 covariables. Try again.\n", 0},
        {"a mark that is not 0 or 1", BasisSet(1, 9, "1 2 1 0 0\n0\n" + claims2and3), "!Incorrect input = 2", 0},
        {"no claim left to test", Univariate(1, 9) + "2\n4\n6\n3\n" + kDune4ClaimAnswers, "!Incorrect input = 6", 0},
        {"no permutation", "1\n1\n2\n12345\n0\n9\n0\nn\n2\n4\n3\n" + std::string(kDune4ClaimAnswers),
         "!Incorrect input = 0", 0},
        {"the script ends inside a claim", BasisSet(1, 9, "1 1 0 0\n0\n1 0"), "", 2},
        {"block sizes beyond the variables", "2\n1\n2\n12345\n9\n0\nn\n1\n2\n3 2\n2 2\n1\n1 1\n0\n",
         "\nError! Sum of block sizes is larger than the number of variables.", 0},
        {"a huge block basis set", "2\n1\n2\n12345\n9\n0\nn\n2\n2\n2 2\n2147483647\n1 1\n0\n",
         "Number of correlations is larger than the maximum size of the basis set. ", 2},
    };
    const Matrix x = Dune4();
    for (const Case& c : cases) {
        Install(x);
        ASSERT_EQ(Run("1\n3\n1\nn\n", [] { return Semelhanca(); }), 0) << shown_;
        ASSERT_NE(rese, nullptr) << shown_;
        temRese = 1;
        ASSERT_EQ(optReseTipo, 3);
        double** matrix = rese;
        const Matrix before = [&] {
            Matrix m(nObj, Vec(nObj));
            for (int i = 0; i < nObj; i++)
                for (int j = 0; j < nObj; j++) m[i][j] = rese[i][j];
            return m;
        }();
        remove("Vidive.txt");
        F(c.answers);
        EXPECT_EQ(code_, c.code) << c.what << "\n" << shown_ << err_;
        const bool onError = c.message[0] == '!';
        EXPECT_NE((onError ? err_ : shown_).find(c.message + (onError ? 1 : 0)), std::string::npos)
            << c.what << "\n" << shown_ << err_;
        EXPECT_EQ(optReseDir, 1) << c.what;
        EXPECT_EQ(optReseTipo, 3) << c.what;
        EXPECT_EQ(optPostReseTransf, 1) << c.what;
        ASSERT_EQ(rese, matrix) << c.what;
        for (int i = 0; i < nObj; i++)
            for (int j = 0; j < nObj; j++) ASSERT_EQ(rese[i][j], before[i][j]) << c.what;
        if (c.code == 0) {
            EXPECT_NE(Slurp("Vidive.txt").find("Fisher's C statistics"), std::string::npos) << c.what;
        }
    }
}

TEST_F(PathAnalysisTest, WhatCannotBeTestedOrComputed) {
    Matrix x = Dune4();
    for (Vec& row : x) row.push_back(row[2]);  // a copy of Lolipere
    struct Case {
        const char* what;
        Matrix data;
        std::string answers;
        std::vector<const char*> expected;
    } cases[] = {
        // Collinear covariables: the claim, C and AICc are not testable, its
        // partial correlation undefined.
        {"collinear covariables", x, Univariate(1, 99) + "2\n5\n9\n1 1 0 0 0\n2\n0 0 1 0 1\n",
         {"\nCorrelation r =\tundefined\tP-value =\tnot testable\t",
          "(Granvik 2000):\tnot testable\tP-value chi-square distribution with 2 degrees of freedom =\tnot testable\n",
          "(Granvik 2013):\tnot testable\tK=\t14\n"}},
        // Seven units and K = 9: AICc has no value.
        {"too few units for AICc", Matrix(x.begin(), x.begin() + 7), Univariate(1, 9) + "2\n4\n5\n1 1 0 0 0\n0\n",
         {"(Granvik 2013):\tundefined\tK=\t9\n"}},
        // In the search the untestable claim (Achimill, Agrostol | Lolipere,
        // copy) removes no link.
        {"search", x, Univariate(1, 99, "y\ny\n") + "1\n1\n",
         {"Variable pair:\tAchimill\tAgrostol\tCovariable(s):\tLolipere\tCopy\t\tundefined\tnot testable\n"}},
        // C(34, 17) claims in the run of one pair at order 17: beyond int.
        {"a search over 36 variables", Matrix(x.size(), Vec(36, 1.0)), Univariate(1, 9) + "1\n0.05\n",
         {"\nThe search over 36 variables would test more than 2147483647 partial correlations in one run: it can "
          "search at most 35 variables.\n"}},
        {"one variable", Matrix(x.size(), Vec(1, 1.0)), "", {"\nPath analysis needs at least 2 variables.\n"}},
        {"two variables, univariate", Matrix(x.size(), Vec{1.0, 2.0}), "1\n",
         {"\nPath analysis needs at least 3 variables.\n"}},
    };
    for (const Case& c : cases) {
        Install(c.data);
        remove("Vidive.txt");
        const std::string report = F(c.answers);
        EXPECT_EQ(code_, 0) << c.what << "\n" << shown_ << err_;
        for (const char* e : c.expected)
            EXPECT_NE((report + shown_).find(e), std::string::npos) << c.what << "\n" << report << shown_;
    }
}

// The report of each road: one that cannot be opened (a folder of that
// name) runs nothing and the forced options come back; an older report is
// erased when erasing was chosen at start-up, and appended to otherwise.
TEST_F(PathAnalysisTest, TheReportOfEachRoad) {
    const std::string blocks = "2\n1\n2\n12345\n9\n0\nn\n";  // null model 1, seed, N, no restriction
    const std::string older = "An older report.\n";
    for (const std::string& road : {BasisSet(1, 9), Univariate(1, 9) + "1\n0.05\n",
                                    blocks + "1\n2\n2 2\n1\n1 1\n0\n", blocks + "2\n2\n2 2\n1\n1 1\n0\n"}) {
        Install(Dune4());
        optReseDir = optReseTipo = optPostReseTransf = 0;
        remove("Vidive.txt");
        ASSERT_EQ(mkdir("Vidive.txt", 0700), 0);
        F(road);
        rmdir("Vidive.txt");
        EXPECT_EQ(code_, 0) << shown_ << err_;
        EXPECT_NE(err_.find("can't open Vidive.txt"), std::string::npos) << err_;
        EXPECT_EQ(shown_.find("See results"), std::string::npos);
        EXPECT_EQ(optReseDir + optReseTipo + optPostReseTransf, 0);

        for (const char* mode : {"w", "a"}) {
            Put("Vidive.txt", older);
            strcpy(modeVidive, mode);
            const std::string report = F(road);
            EXPECT_EQ(code_, 0) << shown_ << err_;
            EXPECT_EQ(report.find(older) == 0, mode[0] == 'a') << mode << "\n" << road << "\n" << report;
            EXPECT_NE(report.find("PATH ANALYSIS"), std::string::npos) << report;
        }
    }
}

// On dune's 30 species nineteen permutations leave every P at 1/19 or more,
// above 0.05: the search removes every link at order 0 and ends there (the
// orders above have nothing to test; their claim arrays would run to
// gigabytes).
TEST_F(PathAnalysisTest, ASearchWithNoLinkLeftEnds) {
    Install(lsref::Dune());
    const std::string report = F(Univariate(1, 19, "y\n") + "1\n0.05\n");
    ASSERT_EQ(code_, 0) << shown_ << err_;
    EXPECT_EQ(Count(report, "Undirected path algorithm: Intermediate results\n"), 1);
    std::string none;
    for (int j = 0; j < 30; j++) {
        for (int i = 0; i <= j; i++) none += "0\t";
        none += "\n";
    }
    EXPECT_NE(report.find("no link between the variables)\n" + none + "\n"), std::string::npos) << report;
}

// The Mantel road on one thread and on all: the same report.
TEST_F(PathAnalysisTest, MantelBlocksGiveTheSamePOnAnyNumberOfThreads) {
    std::string reports[2];
    for (int threads : {1, 0}) {
        InitMultiprocessing(threads);
        Install(lsref::Dune(), std::vector<std::string>(30, "s"));
        remove("Vidive.txt");
        const std::string report = F("2\n2\n2\n12345\n199\n0\nn\n2\n3\n10 10 10\n1\n1 0 1\n1\n0 1 0\n");
        ASSERT_EQ(code_, 0) << shown_ << err_;
        reports[threads == 0] = report.substr(report.find("Results for the specified (partial) Mantel"));
    }
    EXPECT_EQ(reports[0], reports[1]);
    EXPECT_NE(reports[0].find("Variable block pair:\t1\t3\tCovariable(s) block:\t2\t"), std::string::npos) << reports[0];
}

}  // namespace
