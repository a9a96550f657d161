// Key A: the resemblance of each pair of variables against arrangements of
// each variable's values, checked against a replay of the draws on a
// generator of the test's own; the triplet test against table entropies;
// the questions, the dump and the refusals.
#include <gtest/gtest.h>
#include <gsl/gsl_rng.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <algorithm>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "driver_fixture.h"
#include "iflibG.h"
#include "linear_models_reference.h"
#include "matrix_util.h"
#include "reference_stats.h"
#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

using lsref::Matrix;
using lsref::Vec;
using Transform = std::function<void(Matrix&)>;
using Compare = std::function<double(const Vec&, const Vec&)>;

// Every pair of columns of X compared (upper triangle).
Matrix Pairwise(const Matrix& X, const Compare& compare) {
    const size_t p = X[0].size();
    std::vector<Vec> columns;
    for (size_t a = 0; a < p; a++) columns.push_back(lsref::Column(X, a));
    Matrix R(p, Vec(p, 0.0));
    for (size_t a = 0; a < p; a++)
        for (size_t b = a + 1; b < p; b++) R[a][b] = compare(columns[a], columns[b]);
    return R;
}

double Euclidean(const Vec& a, const Vec& b) {
    double s = 0;
    for (size_t u = 0; u < a.size(); u++) s += (a[u] - b[u]) * (a[u] - b[u]);
    return std::sqrt(s);
}

// Shannon entropy (nats) of the joint states of the given columns (state
// codes 0 to 9).
double Entropy(const Matrix& X, const std::vector<int>& columns) {
    std::vector<int> count(1000, 0);
    for (const Vec& row : X) {
        int key = 0;
        for (int c : columns) key = key * 10 + static_cast<int>(row[c]);
        count[key]++;
    }
    double h = 0;
    for (int c : count)
        if (c > 0) h -= c / double(X.size()) * std::log(c / double(X.size()));
    return h;
}
double MutualInformation(const Matrix& X, int a, int b) { return Entropy(X, {a}) + Entropy(X, {b}) - Entropy(X, {a, b}); }
// I(a;b|c) - I(a;b), from the entropies of the tables.
double TripletInformation(const Matrix& X, int a, int b, int c) {
    const double conditional = Entropy(X, {a, c}) + Entropy(X, {b, c}) - Entropy(X, {a, b, c}) - Entropy(X, {c});
    return conditional - MutualInformation(X, a, b);
}

// The tie rule on signed values, one unit in the last place of a float.
bool CountsSigned(double random, double observed) {
    const float a = static_cast<float>(random), b = static_cast<float>(observed);
    return a >= b || std::nextafter(a, b) == b;
}

// One random arrangement of X by the program's rule, from the test's own
// generator: one list per variable, in column order; with groups, the units
// of each group (in ascending order of label) permuted among themselves.
Matrix Arranged(gsl_rng* g, const Matrix& X, const std::vector<int>& groups = {}) {
    const int n = static_cast<int>(X.size()), p = static_cast<int>(X[0].size());
    Matrix Xr(n, Vec(p));
    for (int a = 0; a < p; a++) {
        std::vector<int> list(n);
        if (groups.empty()) {
            list = lsref::DrawnList(g, n);
        } else {
            for (int label : std::set<int>(groups.begin(), groups.end())) {
                std::vector<int> members;
                for (int u = 0; u < n; u++)
                    if (groups[u] == label) members.push_back(u + 1);
                const std::vector<int> q = lsref::DrawnList(g, static_cast<int>(members.size()));
                for (size_t t = 0; t < members.size(); t++) list[members[t] - 1] = members[q[t] - 1];
            }
        }
        for (int u = 0; u < n; u++) Xr[u][a] = X[list[u] - 1][a];
    }
    return Xr;
}

// P of every pair (upper triangle) over N - 1 arrangements of the data as
// read, each transformed, then compared.
Matrix ReplayedP(const Matrix& X, const Transform& transform, const Compare& compare, int N,
                 const std::vector<int>& groups = {}) {
    const int p = static_cast<int>(X[0].size());
    Matrix T = X;
    transform(T);
    const Matrix observed = Pairwise(T, compare);
    Matrix P(p, Vec(p, 1.0));
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 12345);
    for (int k = 2; k <= N; k++) {
        Matrix Xr = Arranged(g, X, groups);
        transform(Xr);
        const Matrix random = Pairwise(Xr, compare);
        for (int a = 0; a < p; a++)
            for (int b = a + 1; b < p; b++) P[a][b] += lsref::Counts(random[a][b], observed[a][b]);
    }
    gsl_rng_free(g);
    for (Vec& row : P)
        for (double& v : row) v /= N;
    return P;
}

const Transform kAsRead = [](Matrix&) {};

// The matrix of the (first) final block: observed values below the
// diagonal, P above.
Matrix ResultMatrix(const std::string& report, int p) {
    const std::string note = "above the main diagonal)\n";
    std::istringstream in(report.substr(report.find(note) + note.size()));
    Matrix M(p, Vec(p));
    for (Vec& row : M)
        for (double& v : row) in >> v;
    return M;
}

// Numbers following the text `after` (its first occurrence).
Vec NumbersAfter(const std::string& text, const std::string& after, int count) {
    std::istringstream in(text.substr(text.find(after) + after.size()));
    Vec v(count);
    for (double& x : v) in >> x;
    return v;
}

std::string KeyA(int N, const std::string& restOfAnswers = "n\n") {
    return "2\n12345\n" + std::to_string(N) + "\n0\n" + restOfAnswers;
}

class VariableComparisonTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        strcpy(modeVidive, "w");
        sDigits = 10;
        alphaH = 1;
        InitMultiprocessing(0);
    }
    // x as the data set, its resemblance between variables current (stage 4).
    void Install(const Matrix& x, int measure, int content = 1) {
        CurrentTable(x, content);
        snprintf(filename, sizeof filename, "%s", "table.txt");
        CurrentResemblance(measure, 2);
        stepReached = 4;
    }
    std::string A(const std::string& answers) {
        remove("Vidive.txt");
        code_ = Run(answers, [] { AleatorizacaoVar(); });
        return Slurp("Vidive.txt");
    }
    QuietProgress quiet_;
    int code_ = 0;
};

Matrix FirstColumns(const Matrix& x, size_t p) {
    Matrix m;
    for (const Vec& row : x) m.emplace_back(row.begin(), row.begin() + p);
    return m;
}

// The correlation as R's cor forms it: the covariance over the product of
// the standard deviations.
double RCorrelation(const Vec& a, const Vec& b) {
    const double n = static_cast<double>(a.size());
    double ma = 0, mb = 0, sab = 0, saa = 0, sbb = 0;
    for (size_t u = 0; u < a.size(); u++) ma += a[u], mb += b[u];
    ma /= n, mb /= n;
    for (size_t u = 0; u < a.size(); u++) {
        sab += (a[u] - ma) * (b[u] - mb);
        saa += (a[u] - ma) * (a[u] - ma);
        sbb += (b[u] - mb) * (b[u] - mb);
    }
    return (sab / (n - 1)) / (std::sqrt(saa / (n - 1)) * std::sqrt(sbb / (n - 1)));
}

TEST_F(VariableComparisonTest, DuneCorrelationsAgainstAReplayOfTheDraws) {
    const Matrix dune = lsref::Dune();
    const std::vector<std::string> species = lsref::DuneSpecies();
    auto at = [&](const char* name) {
        return static_cast<int>(std::find(species.begin(), species.end(), name) - species.begin());
    };
    const Matrix replayed = ReplayedP(dune, kAsRead, RCorrelation, 999);
    const Matrix r = Pairwise(dune, Pearson);
    double replayedSum = 0;
    for (int a = 0; a < 30; a++)
        for (int b = a + 1; b < 30; b++) replayedSum += replayed[a][b];
    EXPECT_NEAR(replayedSum, 217.8608609, 1e-7);
    // Both full runs agree with the replay: the same P on one thread and on
    // all, with the matrix squared or not.
    struct Case {
        int N, threads, post;
    } cases[] = {{999, 1, 0}, {999, 0, 1}, {1, 1, 0}};
    for (const Case& c : cases) {
        InitMultiprocessing(c.threads);
        Install(dune, 17);
        // A squared matrix is compared as the correlations it came from.
        optPostReseTransf = c.post;
        for (int i = 0; c.post && i < 30; i++)
            for (int j = 0; j < 30; j++) rese[i][j] *= rese[i][j];
        const Matrix M = ResultMatrix(A(KeyA(c.N, "n\nn\n")), 30);
        ASSERT_EQ(code_, 0) << shown_ << err_;
        for (int a = 0; a < 30; a++)
            for (int b = a + 1; b < 30; b++) {
                EXPECT_NEAR(M[b][a], c.post ? r[a][b] * r[a][b] : r[a][b], 5e-10 + 1e-9 * std::fabs(r[a][b])) << a << b;
                // Four pairs correlate exactly 0: their random values are
                // compared at the level of rounding, whatever computes them.
                if (c.N == 1) {
                    EXPECT_EQ(M[a][b], 1.0);
                } else if (std::fabs(r[a][b]) > 1e-12) {
                    EXPECT_NEAR(M[a][b], replayed[a][b], 1e-9) << a << " " << b;
                }
            }
        if (c.N == 1) continue;
        if (!c.post) {
            EXPECT_NEAR(M[1][0], -0.6075705993, 1e-9);  // R's cor
        }
        const struct {
            const char *a, *b;
            double P;
        } figures[] = {{"Achimill", "Agrostol", 0.00500501}, {"Achimill", "Lolipere", 0.0770771},
                       {"Agrostol", "Alopgeni", 0.019019},   {"Lolipere", "Poaprat", 0.001001},
                       {"Airaprae", "Hyporadi", 0.00700701}, {"Bracruta", "Callcusp", 1}};
        for (const auto& f : figures) EXPECT_NEAR(M[at(f.a)][at(f.b)], f.P, 1e-7) << f.a << " " << f.b;
        EXPECT_NE(shown_.find("\n\nSee results on file Vidive.txt.\nTest partial correlations? y/n "), std::string::npos);
    }
}

// The route without tables counts as the gathered tables do, free or within
// groups.
TEST_F(VariableComparisonTest, CrossProductsCountAsTheTableRoute) {
    Install(lsref::Dune(), 17);
    const std::vector<int> groups = {4, 1, 4, 4, 2, 2, 2, 2, 2, 1, 1, 4, 4, 3, 3, 4, 3, 3, 3, 3};
    for (bool nested : {false, true}) {
        PermutationDesign design;
        design.nPerm = 199;
        design.restriction = nested ? kWithinGroups : kNoRestriction;
        design.nested = nested;
        design.nestGroups = groups.data();
        testmat::Table counts[2] = {testmat::Table(30, 30), testmat::Table(30, 30)};
        for (int literal : {0, 1}) {
            InitRndNumberGenerator(12345);
            VariableComparisonCounts(design, rese, counts[literal].x, nullptr, literal);
        }
        for (int a = 0; a < 30; a++)
            for (int b = 0; b < a; b++) ASSERT_EQ(counts[0][a][b], counts[1][a][b]) << nested << a << b;
    }
}

// The random tables are the data as read, arranged by the restriction and
// then transformed as the data were (standardised, or centred within
// management groups), and the dump shows each table before and its distances
// after the transformation.
TEST_F(VariableComparisonTest, ArrangementsAreTransformedAgain) {
    const Matrix x = FirstColumns(lsref::Dune(), 6);
    const std::vector<int> group = {4, 1, 4, 4, 2, 2, 2, 2, 2, 1, 1, 4, 4, 3, 3, 4, 3, 3, 3, 3};
    const Transform standardised = [](Matrix& X) {
        for (size_t a = 0; a < X[0].size(); a++) {
            double m = 0, q = 0;
            for (const Vec& row : X) m += row[a] / X.size();
            for (const Vec& row : X) q += (row[a] - m) * (row[a] - m);
            for (Vec& row : X) row[a] = (row[a] - m) / (q > 0 ? std::sqrt(q) : 1);
        }
    };
    const Transform centred = [&group](Matrix& X) {
        const Matrix Y = X;
        for (size_t a = 0; a < X[0].size(); a++)
            for (size_t u = 0; u < X.size(); u++) {
                double s = 0, k = 0;
                for (size_t v = 0; v < X.size(); v++)
                    if (group[v] == group[u]) s += Y[v][a], k++;
                X[u][a] = Y[u][a] - s / k;
            }
    };
    std::string groups;
    for (int g : group) groups += std::to_string(g) + " ";
    const struct {
        std::string transformation, restriction;
        Transform reference;
        std::vector<int> within;
    } cases[] = {{"1\n0\n2\n5\nn\nn\n", "0\n", standardised, {}},
                 {"1\n0\n2\n12\n1\nF\nk\n" + groups + "\nn\nn\n", "0\n", centred, {}},
                 {"", "2\nk\n" + groups + "\n", kAsRead, group}};
    for (const auto& c : cases) {
        optTrEs = optTrVeVar = optTrVeUnits = 0;
        CurrentTable(x);
        if (!c.transformation.empty()) {
            ASSERT_EQ(Run(c.transformation, [] { return TransformaDados(); }), 0) << shown_;
        }
        CurrentResemblance(3, 2);
        stepReached = 4;
        const std::string report = A("2\n12345\n99\n" + c.restriction + "y\ny\n");
        ASSERT_EQ(code_, 0) << shown_ << err_;
        const Matrix M = ResultMatrix(report, 6), P = ReplayedP(x, c.reference, Euclidean, 99, c.within);
        for (int a = 0; a < 6; a++)
            for (int b = a + 1; b < 6; b++) EXPECT_NEAR(M[a][b], P[a][b], 1e-9) << a << b;

        // Iteration 2: the first arrangement of the replay.
        gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
        gsl_rng_set(g, 12345);
        Matrix arranged = Arranged(g, x, c.within);
        gsl_rng_free(g);
        const std::string dump = report.substr(report.find("Iteration: 2\nRandom data:\n"));
        const Vec table = NumbersAfter(dump, "Data matrix:\n", 120), rese2 = NumbersAfter(dump, "Resemblance matrix:\n", 21);
        for (int u = 0; u < 20; u++)
            for (int a = 0; a < 6; a++) EXPECT_EQ(table[u * 6 + a], arranged[u][a]);
        c.reference(arranged);
        EXPECT_NEAR(rese2[1], Euclidean(lsref::Column(arranged, 0), lsref::Column(arranged, 1)), 1e-8);
        EXPECT_EQ(Count(report, "Random data:\n"), 98);
    }
}

// T of the triplet, then H = I(a;b) + T of the pairs (1,2), (1,3), (2,3),
// with their P over N - 1 free arrangements compared by signed value.
Matrix ReplayedTriplet(const Matrix& X, int N) {
    const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
    auto values = [&](const Matrix& Y) {
        const double T = TripletInformation(Y, 0, 1, 2);
        Vec v = {T};
        for (const auto& q : pairs) v.push_back(MutualInformation(Y, q[0], q[1]) + T);
        return v;
    };
    const Vec observed = values(X);
    Matrix result(4, Vec{0, 1});
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 12345);
    for (int k = 2; k <= N; k++) {
        const Vec random = values(Arranged(g, X));
        for (int q = 0; q < 4; q++) result[q][1] += CountsSigned(random[q], observed[q]);
    }
    gsl_rng_free(g);
    for (int q = 0; q < 4; q++) result[q] = {observed[q], result[q][1] / N};
    return result;
}

TEST_F(VariableComparisonTest, TripletsOfMutualEntropy) {
    const Matrix env = FirstColumns(lsref::DuneEnvironment(), 3);  // Moisture, Management, Use
    Matrix redundant = env;  // Moisture, Use, Moisture: T = -I(Moisture; Use)
    for (Vec& row : redundant) row = {row[0], row[2], row[0]};
    const double figures[4][2] = {{0.195304856, 0.758759}, {0.4901143017, 0.744745}, {0.3125937829, 0.912913},
                                  {0.4518732661, 0.590591}};
    const char* lines[4] = {"Var. 1 x 2 x 3:\t", "Var. 1 x 2 | 3:\t", "Var. 1 x 3 | 2:\t", "Var. 2 x 3 | 1:\t"};
    for (const Matrix* x : {&env, static_cast<const Matrix*>(&redundant)}) {
        Install(*x, 7, 3);
        const int N = x == &env ? 999 : 99;
        const std::string report = A(KeyA(N, "n\ny\n2\n12345\n" + std::to_string(N) + "\nn\n"));
        ASSERT_EQ(code_, 0) << shown_ << err_;
        // The main test's block stays ahead of the triplet test's.
        EXPECT_EQ(Count(report, "\nRANDOMIZATION TEST\n"), 2);
        const Matrix replayed = ReplayedTriplet(*x, N);
        // In the redundant table the pairs with Moisture twice are
        // independent given the third variable: H is 0 up to rounding.
        for (int q = 0; q < (x == &env ? 4 : 1); q++) {
            std::istringstream line(report.substr(report.find(lines[q]) + strlen(lines[q])));
            double nats, bits, P;
            std::string word;
            line >> nats >> word >> word >> bits >> word >> word >> P;
            // Printed with 6 digits.
            EXPECT_NEAR(nats, replayed[q][0], 5e-6 * std::fabs(nats)) << q;
            EXPECT_NEAR(bits, replayed[q][0] / std::log(2.0), 5e-6 * std::fabs(bits)) << q;
            EXPECT_NEAR(P, replayed[q][1], 5e-7) << q;
            if (x == &env) {
                EXPECT_NEAR(replayed[q][0], figures[q][0], 1e-9) << q;
                EXPECT_NEAR(replayed[q][1], figures[q][1], 5e-7) << q;
            }
        }
        if (x != &env) continue;
        EXPECT_NEAR(figures[0][0] / std::log(2.0), 0.2817653472, 1e-9);
        const Matrix M = ResultMatrix(report, 3);
        const Matrix P = ReplayedP(env, kAsRead, [](const Vec& a, const Vec& b) {
            Matrix ab;
            for (size_t u = 0; u < a.size(); u++) ab.push_back({a[u], b[u]});
            return MutualInformation(ab, 0, 1);
        }, 999);
        const double mainP[3] = {0.465465, 0.821822, 0.224224};
        for (int k = 0, a = 0; a < 3; a++)
            for (int b = a + 1; b < 3; b++, k++) {
                EXPECT_NEAR(M[a][b], mainP[k], 5e-7);
                EXPECT_NEAR(P[a][b], mainP[k], 5e-7);
                EXPECT_NEAR(M[b][a], MutualInformation(env, a, b), 1e-9);
            }
    }
}

// Which questions each run asks, and what the dump holds.
TEST_F(VariableComparisonTest, QuestionsAndFollowUps) {
    const Matrix dune = lsref::Dune(), env = lsref::DuneEnvironment();
    const struct {
        const char* what;
        Matrix x;
        int measure, content;
        std::string answers;
        std::vector<const char*> shown, notShown, reported;
    } cases[] = {
        {"51 permutations saved", FirstColumns(dune, 2), 17, 1, KeyA(51, "y\ny\n"),
         {"Are you sure? y/n There are 51 permutations! "}, {"Test partial correlations?"},
         {"Permutation 1:\nData matrix:\n", "Iteration: 51\nRandom data:\n", ": Final results\n"}},
        {"50 permutations saved", FirstColumns(dune, 3), 17, 1, KeyA(50, "y\nn\n"), {"Test partial correlations? y/n "},
         {"Are you sure?"}, {"Iteration: 50\n"}},
        {"four variables, entropy", env, 7, 3, KeyA(9, "n\n"), {}, {"Test for mutual entropy"}, {}},
        {"three variables, entropy, no triplet test", FirstColumns(env, 3), 7, 3, KeyA(9, "n\nn\n"),
         {"Test for mutual entropy of variable triplets? y/n "}, {}, {}},
        {"partial correlations", FirstColumns(dune, 3), 17, 1, KeyA(9, "n\ny\n2\n3\n2\n1 1 0\n0\nn\n"),
         {"Null model for testing partial correlations: \n\t(1) permute all variables at once\n\t(2) permute only "
          "the first variable (Tessop et al. 1986)\n\t\tEntre opcao: "},
         {},
         {"Permutation restrictions:\tNone\nResults:\n", "Results for the specified (partial) correlations:"}},
    };
    for (const auto& c : cases) {
        Install(c.x, c.measure, c.content);
        const std::string report = A(c.answers);
        EXPECT_EQ(code_, 0) << c.what << "\n" << shown_ << err_;
        for (const char* s : c.shown) EXPECT_NE(shown_.find(s), std::string::npos) << c.what << "\n" << shown_;
        for (const char* s : c.notShown) EXPECT_EQ(shown_.find(s), std::string::npos) << c.what;
        for (const char* s : c.reported) EXPECT_NE(report.find(s), std::string::npos) << c.what << "\n" << report;
    }
}

// Refusals ask again or end in order, and an undefined resemblance is not
// tested.
TEST_F(VariableComparisonTest, RefusalsAndWhatCannotBeTested) {
    const Matrix dune = lsref::Dune();
    Matrix withAbsent = FirstColumns(dune, 3);  // presences, the third species absent:
    for (Vec& row : withAbsent) row = {row[0] > 0 ? 1.0 : 0.0, row[1] > 0 ? 1.0 : 0.0, 0.0};  // turnover 0/0
    const struct {
        const char* what;
        Matrix x;
        int measure;
        std::string answers;
        int code;
        const char* console;  // on the console, or (starting with '!') the standard error
        const char* report;   // "" when no report may be written
    } cases[] = {
        {"no permutation, too many", FirstColumns(dune, 2), 17, "2\n12345\n0\n1e12\n9\n0\nn\n", 0,
         "!Incorrect input = 0", "Number of permutations: 9\n"},
        {"a dimension that does not fit", Matrix(dune.begin(), dune.begin() + 10), 17,
         "2\n12345\n9\n1\n4\n5\nn\nn\n", 0, "!A resemblance matrix of dimension 4 has 6 cells",
         "Considered each variable arranged in a resemblance matrix (upper diagonal) with 5 rows.\n"},
        {"a short group file", FirstColumns(dune, 2), 17, "2\n12345\n9\n2\nf\nshort.txt\n", 2, "!file short.txt", ""},
        {"the script ends in the follow-ups", FirstColumns(dune, 3), 17, KeyA(9, "n\ny\n"), 2, "Entre opcao: ",
         "Results:\n"},
        {"an undefined resemblance", withAbsent, 24, KeyA(9, "n\n"), 0, "See results",
         "\n           1\t           0\t        -999\t\n        -999\t        -999\t           0\t\n(-999 in place of a "
         "probability: not testable, the observed value is undefined)\n"},
    };
    Put("short.txt", "1 2 1 2");
    for (const auto& c : cases) {
        Install(c.x, c.measure);
        strcpy(modeVidive, "w");
        const std::string report = A(c.answers);
        EXPECT_EQ(code_, c.code) << c.what << "\n" << shown_ << err_;
        const bool onError = c.console[0] == '!';
        EXPECT_NE((onError ? err_ : shown_).find(c.console + onError), std::string::npos) << c.what << "\n" << shown_ << err_;
        if (*c.report) {
            EXPECT_NE(report.find(c.report), std::string::npos) << c.what << "\n" << report;
            EXPECT_STREQ(modeVidive, "a") << c.what;
        } else {
            EXPECT_EQ(report, "") << c.what;
        }
    }

    // A report that cannot be opened: nothing runs, nothing more is asked.
    Install(FirstColumns(dune, 3), 17);
    remove("Vidive.txt");
    ASSERT_EQ(mkdir("Vidive.txt", 0700), 0);
    code_ = Run(KeyA(9, "n\n"), [] { AleatorizacaoVar(); });
    rmdir("Vidive.txt");
    EXPECT_EQ(code_, 0);
    EXPECT_NE(err_.find("can't open Vidive.txt"), std::string::npos) << err_;
    EXPECT_EQ(shown_.find("See results"), std::string::npos);
    EXPECT_EQ(shown_.find("Test partial correlations?"), std::string::npos);
}

}  // namespace
