// The linear-model and redundancy-analysis tests on sessions made from the
// dune data, with answers on `in`: probabilities against a replay of the
// draws on a generator of the test's own, the report, and the refusals.
#include <gtest/gtest.h>
#include <gsl/gsl_rng.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "TevlanClasses.h"
#include "dataset_util.h"
#include "driver_fixture.h"
#include "iflibG.h"
#include "linear_models_reference.h"
#include "matrix_util.h"
#include "rhLinearModels.h"
#include "rhlibDim.h"
#include "stream_util.h"

namespace {

using lsref::Matrix;
using lsref::Vec;

// The tab-separated fields of the line that starts with `start`, after it
// (the text from `after` on).
std::vector<std::string> Fields(const std::string& text, const std::string& start, const std::string& after = "") {
    size_t from = after.empty() ? 0 : text.find(after);
    if (from == std::string::npos) return {};
    size_t p = text.find(start, from);
    if (p == std::string::npos) return {};
    p += start.size();
    const std::string rest = text.substr(p, text.find('\n', p) - p);
    std::vector<std::string> f;
    std::stringstream s(rest);
    std::string item;
    while (std::getline(s, item, '\t'))
        if (!item.empty()) f.push_back(item);
    return f;
}

std::vector<double> Numbers(const std::vector<std::string>& fields) {
    std::vector<double> v;
    for (const auto& f : fields) v.push_back(std::strtod(f.c_str(), nullptr));
    return v;
}

// A table of values without ties, from a generator of the test's own.
Matrix RandomLike(int n, int p) {
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 5);
    Matrix m(n, Vec(p));
    for (auto& row : m)
        for (double& v : row) v = gsl_rng_uniform(g);
    gsl_rng_free(g);
    return m;
}

class LinearModelDriver : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        strcpy(modeVidive, "w");
        sDigits = 5;
        InitMultiprocessing(0);
    }
    void TearDown() override {
        delete s1_;
        delete s2_;
        DriverTest::TearDown();
    }

    // A deep snapshot of a table made current (it stays current for s1).
    Session* Snapshot(const Matrix& x, const char* file, const char* labelPrefix,
                      const std::vector<std::string>& labels = {}) {
        CurrentTable(x);
        for (int i = 0; i < nObj; i++) snprintf(uaLabels[i], 30, "%d", i + 1);
        for (int j = 0; j < nVar; j++) {
            if (!labels.empty())
                snprintf(varLabels[j], 30, "%s", labels[j].c_str());
            else
                snprintf(varLabels[j], 30, "%s%d", labelPrefix, j + 1);
        }
        snprintf(filename, sizeof filename, "%s", file);
        return SessionClass(true);
    }
    // s2 first, so that the responses s1 are the current data set.
    void Sets(const Matrix& y, const Matrix& x, const std::vector<std::string>& factorLabels = {},
              const std::vector<std::string>& responseLabels = {}) {
        delete s1_;
        delete s2_;
        s2_ = Snapshot(x, "factors.txt", "f", factorLabels);
        s1_ = Snapshot(y, "responses.txt", "y", responseLabels);
    }
    void DuneSets() {
        Sets(lsref::Dune(), lsref::DuneEnvironment(), {"Moisture", "Management", "Use", "Manure"},
             lsref::DuneSpecies());
    }

    std::string RunModLin(const std::string& answers, bool full = false) {
        code_ = Run(answers, [&] { AleatorizacaoModLin(s1_, s2_, full); });
        return Slurp("Vidive.txt");
    }
    std::string RunRDA(const std::string& answers) {
        code_ = Run(answers, [&] { AleatorizacaoRDA(s1_, s2_); });
        return Slurp("Vidive.txt");
    }

    QuietProgress quiet_;
    Session* s1_ = nullptr;
    Session* s2_ = nullptr;
    int code_ = 0;
};

const char* const kProbabilities =
    "Corresponding probabilities for 4 factors (rows) and 30 response variables (columns):";

// P of every coefficient (rows 0..p-1) and r squared (row p), replayed: the
// lists drawn by the program's rule on a private generator, each fit by QR.
template <class Draw>
Matrix ReplayedLinearModel(const Matrix& y, const Matrix& x, unsigned seed, int N, Draw&& draw) {
    const size_t q = y[0].size(), p = x[0].size();
    std::vector<lsref::Fit> observed;
    for (size_t v = 0; v < q; v++) observed.push_back(lsref::LeastSquares(x, lsref::Column(y, v)));
    Matrix count(p + 1, Vec(q, 1.0));
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, seed);
    for (int k = 2; k <= N; k++) {
        const Matrix yr = lsref::Permuted(y, draw(g));
        for (size_t v = 0; v < q; v++) {
            const lsref::Fit f = lsref::LeastSquares(x, lsref::Column(yr, v));
            for (size_t j = 0; j < p; j++) count[j][v] += lsref::Counts(f.b[j], observed[v].b[j]);
            count[p][v] += lsref::Counts(f.r2, observed[v].r2);
        }
    }
    gsl_rng_free(g);
    for (auto& row : count)
        for (double& c : row) c /= N;
    return count;
}

Matrix ReplayedLinearModel(const Matrix& y, const Matrix& x, unsigned seed, int N) {
    return ReplayedLinearModel(y, x, seed, N, [&](gsl_rng* g) { return lsref::DrawnList(g, static_cast<int>(y.size())); });
}

// A permutation within groups: the units of each group (groups in ascending
// order of label, units in ascending order) permuted among themselves by the
// free rule.
std::vector<int> DrawnWithinGroups(gsl_rng* g, const std::vector<int>& groups) {
    std::vector<int> list(groups.size()), labels = groups;
    for (size_t i = 0; i < list.size(); i++) list[i] = static_cast<int>(i) + 1;
    std::sort(labels.begin(), labels.end());
    labels.erase(std::unique(labels.begin(), labels.end()), labels.end());
    for (int label : labels) {
        std::vector<int> units;
        for (size_t i = 0; i < groups.size(); i++)
            if (groups[i] == label) units.push_back(static_cast<int>(i) + 1);
        const std::vector<int> q = lsref::DrawnList(g, static_cast<int>(units.size()));
        for (size_t t = 0; t < units.size(); t++) list[units[t] - 1] = units[q[t] - 1];
    }
    return list;
}

TEST_F(LinearModelDriver, LinearModelProbabilitiesEqualAReplayOfTheDraws) {
    DuneSets();
    const std::string report = RunModLin("2\n12345\n999\n0\nn\n");
    const Matrix expected = ReplayedLinearModel(lsref::Dune(), lsref::DuneEnvironment(), 12345, 999);
    const char* rows[] = {"\nMoisture b1:", "\nManagement b2:", "\nUse b3:", "\nManure b4:"};
    for (int f = 0; f < 4; f++) {
        const std::vector<double> P = Numbers(Fields(report, rows[f], kProbabilities));
        ASSERT_EQ(P.size(), 30u) << rows[f];
        for (int v = 0; v < 30; v++) EXPECT_NEAR(P[v], expected[f][v], 1e-5) << rows[f] << " " << v;
    }
    const std::vector<double> Pr2 =
        Numbers(Fields(report, "\nCorresponding probabilities of r squared for 30 response variaveis:"));
    ASSERT_EQ(Pr2.size(), 30u);
    for (int v = 0; v < 30; v++) EXPECT_NEAR(Pr2[v], expected[4][v], 1e-5) << v;
    // Achimill, as a second program written to the same draw rule found.
    const double achimill[] = {0.331331, 0.0640641, 0.27027, 0.494494, 0.011011};
    for (int f = 0; f < 5; f++) EXPECT_NEAR(expected[f][0], achimill[f], 1e-6) << f;

    // The observed fit stands before the randomization block, the seed in it.
    const size_t fit = report.find("\nRegression coefficients for each factor (rows)");
    const size_t block = report.find("LINEAR MODELS: RANDOMIZATION TEST\n");
    EXPECT_NE(fit, std::string::npos);
    EXPECT_LT(fit, block);
    EXPECT_EQ(report.find("Factor matrix"), std::string::npos);
    EXPECT_NE(report.find("Random number generation initializer: 12345\n"), std::string::npos);
    EXPECT_NE(report.find("Permutation restrictions:\tNone\n"), std::string::npos);
    EXPECT_NE(report.find("\n\nResults:\nRegression coefficients for 4 factors (rows) and 30 response variables "
                          "(columns):\n\tAchimill\tAgrostol"),
              std::string::npos);
    EXPECT_NE(shown_.find("\n\nSee results on file Vidive.txt.\n"), std::string::npos);

    // Sums of squares: r2 SST, (1 - r2) SST and SST of Achimill (29.2, r2 from R).
    const std::string frame = "Sum of squares(Q) for each response variable\n";
    EXPECT_NE(report.find(frame + "                  " + "            Achimill"), std::string::npos);
    EXPECT_NEAR(Numbers(Fields(report, "Regression        ", frame))[0], 0.5631171561 * 29.2, 1e-3);
    EXPECT_NEAR(Numbers(Fields(report, "\nResidual          ", frame))[0], (1 - 0.5631171561) * 29.2, 1e-3);
    EXPECT_NEAR(Numbers(Fields(report, "\nTotal             ", frame))[0], 29.2, 1e-9);
    const std::vector<double> framed =
        Numbers(Fields(report, "Regression        ", "P(QbNULL>=Qb) for each response variable"));
    ASSERT_EQ(framed.size(), 30u);
    EXPECT_NEAR(framed[0], 0.011011, 1e-6);
}

// P of each redundancy axis, replayed with the full analysis of each
// permuted table.
Vec ReplayedRDA(const Matrix& y, const Matrix& x, unsigned seed, int N, int axes) {
    const int n = static_cast<int>(y.size()), q = static_cast<int>(y[0].size()),
              p = static_cast<int>(x[0].size());
    auto corrOf = [&](const Matrix& yy) {
        testmat::Table Y(n, q), X(n, p), evec(q, q), sx(q, n), sy(q, n), cx(q, p);
        for (int i = 0; i < n; i++) {
            for (int v = 0; v < q; v++) Y[i][v] = yy[i][v];
            for (int j = 0; j < p; j++) X[i][j] = x[i][j];
        }
        Vec eig(q), corr(q, 0.0);
        int nAxes = 0;
        double total = 0;
        RDA(n, q, p, Y.x, X.x, eig.data(), evec.x, &nAxes, &total, sx.x, sy.x, corr.data(), cx.x);
        for (int a = nAxes; a < q; a++) corr[a] = 0;
        return corr;
    };
    const Vec observed = corrOf(y);
    Vec count(axes, 1.0);
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, seed);
    for (int k = 2; k <= N; k++) {
        const Vec r = corrOf(lsref::Permuted(y, lsref::DrawnList(g, n)));
        for (int a = 0; a < axes; a++) count[a] += lsref::Counts(r[a], observed[a]);
    }
    gsl_rng_free(g);
    for (double& c : count) c /= N;
    return count;
}

const char* const kAxisResults = "random permutations of unit vectors in matrix Y):\n";

TEST_F(LinearModelDriver, RedundancyProbabilitiesEqualAReplayOfTheDraws) {
    DuneSets();
    const std::string report = RunRDA("2\n12345\n999\nn\n");
    const Vec expected = ReplayedRDA(lsref::Dune(), lsref::DuneEnvironment(), 12345, 999, 4);
    const double second[] = {0.001001, 0.014014, 0.0630631, 0.002002};
    const double corr[] = {0.9488038933, 0.8642827258, 0.8067009076, 0.8680336706};
    for (int a = 0; a < 4; a++) {
        const std::string label = "Canonical axis " + std::to_string(a + 1) + ":\t";
        const std::vector<double> v = Numbers(Fields(report, label, kAxisResults));
        ASSERT_EQ(v.size(), 2u) << a;
        EXPECT_NEAR(v[0], corr[a], 1e-5);
        EXPECT_NEAR(v[1], expected[a], 1e-6) << a;
        EXPECT_NEAR(expected[a], second[a], 1e-6) << a;
    }
    EXPECT_EQ(Fields(report, "Canonical axis 5:", kAxisResults).size(), 0u);
    EXPECT_NE(report.find("(999 random permutations of unit vectors in matrix Y)"), std::string::npos);
    EXPECT_NE(report.find("Random number generation initializer: 12345\n"), std::string::npos);
    EXPECT_NE(report.find("\nData matrix with response variables (Y):\tresponses.txt\n"
                          "Data matrix with explanatory variables (X):\tfactors.txt\n"),
              std::string::npos);
    const std::vector<double> eig =
        Numbers(Fields(report, "\nCanonical eigenvalues (space defined by explanatory variables x): \n"));
    ASSERT_EQ(eig.size(), 4u);
    EXPECT_NEAR(eig[0], 21.9293, 1e-3);
    EXPECT_NE(report.find("Explanatory variables:\t\tMoisture\tManagement\tUse\tManure\t\n"), std::string::npos);
}

// With one response only one axis exists, whatever the number of factors.
TEST_F(LinearModelDriver, RedundancyTestCountsOnlyTheAxesThatExist) {
    Sets({{1}, {3}, {2}, {5}, {4}, {6}, {8}, {7}}, {{1, 0, 2}, {2, 1, 1}, {2, 0, 5}, {4, 1, 1}, {3, 3, 2},
                                                    {5, 1, 4}, {7, 2, 2}, {6, 0, 1}});
    const std::string report = RunRDA("2\n5\n20\nn\n");
    EXPECT_EQ(Numbers(Fields(report, "Canonical axis 1:\t", kAxisResults)).size(), 2u);
    EXPECT_EQ(report.find("Canonical axis 2:"), std::string::npos);
}

TEST_F(LinearModelDriver, OnePermutationGivesProbabilityOne) {
    DuneSets();
    const std::string model = RunModLin("2\n1\n1\n0\nn\n");
    for (const char* row : {"\nMoisture b1:", "\nManure b4:"})
        for (double P : Numbers(Fields(model, row, kProbabilities))) EXPECT_EQ(P, 1.0);
    std::remove("Vidive.txt");
    const std::string rda = RunRDA("2\n1\n1\nn\n");
    for (int a = 1; a <= 4; a++)
        EXPECT_EQ(Numbers(Fields(rda, "Canonical axis " + std::to_string(a) + ":\t", kAxisResults))[1], 1.0);
}

// The part of a report from its results on (elapsed time left out).
std::string ResultsOf(const std::string& report, const std::string& from) {
    const size_t p = report.find(from);
    return p == std::string::npos ? "" : report.substr(p);
}

TEST_F(LinearModelDriver, SameProbabilitiesOnOneThreadAndOnAll) {
    DuneSets();
    std::string results[2][2];
    for (int t = 0; t < 2; t++) {
        InitMultiprocessing(t == 0 ? 1 : 0);
        std::remove("Vidive.txt");
        results[t][0] = ResultsOf(RunModLin("2\n77\n199\n0\nn\n"), "\n\nResults:");
        std::remove("Vidive.txt");
        results[t][1] = ResultsOf(RunRDA("2\n77\n199\nn\n"), kAxisResults);
        results[t][1] = results[t][1].substr(0, results[t][1].find("Elapsed"));
    }
    EXPECT_FALSE(results[0][0].empty());
    EXPECT_EQ(results[0][0], results[1][0]);
    EXPECT_EQ(results[0][1], results[1][1]);
}

// LinearModels opens the report in its mode first (an erase takes effect),
// then appends the test; the two-argument form is the detailed one.
TEST_F(LinearModelDriver, LinearModelsEntryPoints) {
    DuneSets();
    Put("Vidive.txt", "older report\n");
    const std::string detailed = RunModLin("2\n77\n19\n0\nn\n", true);
    Put("Vidive.txt", "older report\n");
    strcpy(modeVidive, "w");
    code_ = Run("2\n77\n19\n0\nn\n", [&] { LinearModels(s1_, s2_); });
    const std::string report = Slurp("Vidive.txt");
    EXPECT_EQ(report.find("older report"), std::string::npos);
    EXPECT_STREQ(modeVidive, "a");
    EXPECT_FALSE(ResultsOf(report, "\n\nResults:").empty());
    EXPECT_EQ(ResultsOf(report, "\n\nResults:"), ResultsOf(detailed, "\n\nResults:"));
}

TEST_F(LinearModelDriver, OneFactorAndSavedPermutations) {
    Sets({{1, 2}, {3, 1}, {2, 2}, {5, 4}, {4, 3}, {6, 6}}, {{1}, {2}, {3}, {4}, {5}, {6}});
    const std::string report = RunModLin("2\n3\n3\n0\ny\n", true);
    EXPECT_NE(report.find("Permutation 1:\n\nFactor matrix:\n1\t\n2\t\n"), std::string::npos);
    EXPECT_NE(report.find("\nIteration: 2\nRandom data and corresponding results:\n\nFactor matrix:\n"),
              std::string::npos);
    EXPECT_NE(report.find("\nIteration: 3\n"), std::string::npos);
    EXPECT_NE(report.find("LINEAR MODELS: RANDOMIZATION TEST: Final results\n"), std::string::npos);
    // The coefficient table: bo, then the one factor's row.
    EXPECT_NE(report.find("(columns):\n\ty1\ty2\nbo:\t"), std::string::npos);
    EXPECT_EQ(Fields(report, "\nf1 b1:", "Corresponding probabilities for 1 factors").size(), 2u);
    EXPECT_EQ(report.find(" b2:"), std::string::npos);
}

TEST_F(LinearModelDriver, RedundancyDumpOfEachPermutation) {
    DuneSets();
    const std::string saved = RunRDA("2\n3\n3\ny\n");
    EXPECT_NE(saved.find("First iteration (with observed data)"), std::string::npos);
    EXPECT_NE(saved.find("\n\nRandom permutation: 3 3\n"), std::string::npos);
    EXPECT_NE(saved.find("Observed response matrix Y, whose corresponding results are shown above:\n"),
              std::string::npos);
    EXPECT_NE(saved.find("\nCorrelations between scores on the space defined by the permuted response (Y)"),
              std::string::npos);
}

// A negative coefficient is tested by its magnitude, and a response without
// variation has no r squared to test.
TEST_F(LinearModelDriver, NegativeSlopeAndConstantResponse) {
    Sets({{8, 4}, {7, 4}, {6, 4}, {5, 4}, {4, 4}, {3, 4}, {1, 4}, {2, 4}}, {{1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}});
    const std::string report = RunModLin("2\n9\n99\n0\nn\n");
    const std::vector<std::string> P =
        Fields(report, "\nCorresponding probabilities of r squared for 2 response variaveis:");
    ASSERT_EQ(P.size(), 2u);
    EXPECT_EQ(P[1], "not testable");
    const std::vector<std::string> b = Fields(report, "\nf1 b1:", "Corresponding probabilities for 1 factors");
    ASSERT_EQ(b.size(), 2u);
    EXPECT_LT(std::strtod(b[0].c_str(), nullptr), 0.05);  // slope -0.96
    EXPECT_EQ(b[1], "1");  // every random slope of a constant response is 0 too
    EXPECT_LT(std::strtod(P[0].c_str(), nullptr), 0.05);
    EXPECT_EQ(Fields(report, "Regression        ", "P(QbNULL>=Qb)")[1], std::string(20 - 12, ' ') + "not testable");
}

TEST_F(LinearModelDriver, RefusedSetsAndModels) {
    const Matrix y = {{1, 2}, {3, 1}, {2, 2}, {5, 4}, {4, 3}, {6, 6}};
    struct Case {
        const char* what;
        Matrix y, x;
        const char* message;
        bool prologue;  // the dialogue ran and the report says why no test was run
    };
    const Case cases[] = {
        {"sizes differ", y, {{1}, {2}, {3}, {4}, {5}}, "\nThe data sets describe different numbers of sampling units (6 in responses.txt and 5 in factors.txt): "
         "they must describe the same units in the same order.\n", false},
        {"missing value", y, {{1}, {2}, {-999}, {4}, {5}, {6}}, "\nThe test needs complete data: factors.txt holds missing values (-999).\n", false},
        {"collinear", y, {{1, 2}, {2, 4}, {3, 6}, {4, 8}, {5, 10}, {6, 12}}, "\nThe regression model cannot be fitted: the factors are collinear or too many for the number of sampling units.\n", true},
        {"constant factor", y, {{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}}, "\nThe regression model cannot be fitted", true},
        {"too many factors", y, RandomLike(6, 6), "\nThe regression model cannot be fitted", true},
    };
    for (const Case& c : cases) {
        Sets(c.y, c.x);
        for (int test = 0; test < 2; test++) {
            std::remove("Vidive.txt");
            const std::string report = test == 0 ? RunModLin("2\n1\n9\n0\nn\n") : RunRDA("2\n1\n9\nn\n");
            EXPECT_NE(shown_.find(c.message), std::string::npos) << c.what << test << shown_;
            EXPECT_EQ(shown_.find("HYPOTHESIS TESTING") != std::string::npos, c.prologue) << c.what << test;
            EXPECT_EQ(report.find(c.message) != std::string::npos, c.prologue) << c.what << test;
            EXPECT_EQ(report.find("Results"), std::string::npos) << c.what << test;
            EXPECT_EQ(report.find("P-values"), std::string::npos) << c.what << test;
        }
        // The sets' tables are as they were.
        for (size_t i = 0; i < c.x.size(); i++)
            for (size_t j = 0; j < c.x[0].size(); j++) EXPECT_EQ(s2_->data[i][j], c.x[i][j]) << c.what;
        for (size_t i = 0; i < y.size(); i++)
            for (size_t j = 0; j < y[0].size(); j++) EXPECT_EQ(s1_->data[i][j], y[i][j]) << c.what;
    }
}

// A report that cannot be opened runs no test; one that takes nothing is
// said so and not offered as written.
TEST_F(LinearModelDriver, UnopenableOrFullReport) {
    DuneSets();
    std::filesystem::create_directory("Vidive.txt");
    for (int test = 0; test < 2; test++) {
        test == 0 ? RunModLin("2\n1\n9\n0\nn\n") : RunRDA("2\n1\n9\nn\n");
        EXPECT_NE(err_.find("can't open Vidive.txt"), std::string::npos);
        EXPECT_EQ(shown_.find("See results"), std::string::npos);
    }
    std::filesystem::remove("Vidive.txt");
    Put("Vidive.txt", std::string(4096, 'x'));
    strcpy(modeVidive, "a");
    FullDisc full(4096);
    for (int test = 0; test < 2; test++) {
        if (test == 0)
            Run("2\n1\n9\n0\nn\n", [&] { AleatorizacaoModLin(s1_, s2_, false); });
        else
            Run("2\n1\n9\nn\n", [&] { AleatorizacaoRDA(s1_, s2_); });
        EXPECT_NE(err_.find("FAIL TO PRINT ON FILE Vidive.txt"), std::string::npos) << test;
        EXPECT_EQ(shown_.find("See results"), std::string::npos);
    }
}

TEST_F(LinearModelDriver, ScriptEndingInTheDialogueEndsTheProgram) {
    DuneSets();
    for (const char* answers : {"2\n12345\n", "2\n12345\n10\n", "2\n12345\n10\n0\n"}) {
        RunModLin(answers);
        EXPECT_EQ(code_, 2) << answers;
    }
    RunRDA("2\n5\n10\n");
    EXPECT_EQ(code_, 2);
    EXPECT_FALSE(std::filesystem::exists("Vidive.txt"));
}

TEST_F(LinearModelDriver, PortugueseReport) {
    Portuguese();
    Sets({{8, 4}, {7, 4}, {6, 4}, {5, 4}, {4, 4}, {3, 4}, {1, 4}, {2, 4}}, {{1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}});
    const std::string report = RunModLin("2\n9\n19\n0\nn\n");
    EXPECT_NE(report.find("MODELOS LINEARES: TESTE DE ALEATORIZACAO\n"), std::string::npos);
    EXPECT_NE(report.find("\n\nResultados:\n\nCoeficientes de regressao para 1 fatores"), std::string::npos);
    EXPECT_NE(report.find("\tnao testavel"), std::string::npos);
    EXPECT_NE(report.find("Fonte de variacao     \tSoma de quadrados(Q) para cada variavel resposta\n"
                          "                 " "                  y1"),
              std::string::npos);
    EXPECT_NE(report.find("Fator 1:\t"), std::string::npos);
    EXPECT_NE(shown_.find("Veja resultados no arquivo Vidive.txt."), std::string::npos);
}

// Permutations within the management groups of examples/dune_groups_management.txt,
// read from the file after a copy one number short was refused and the
// question asked again.
TEST_F(LinearModelDriver, PermutationsWithinGroupsFromAFile) {
    DuneSets();
    std::vector<int> groups;
    FILE* f = fopen(TEVLAN_TEST_DATA "/dune_groups_management.txt", "r");
    ASSERT_NE(f, nullptr);
    for (int g; fscanf(f, "%d", &g) == 1;) groups.push_back(g);
    fclose(f);
    ASSERT_EQ(groups.size(), 20u);
    FILE* shortFile = fopen("short.txt", "w");
    for (int i = 0; i < 19; i++) fprintf(shortFile, "%d ", groups[i]);
    fclose(shortFile);

    const std::string report =
        RunModLin(std::string("2\n31\n99\n2\nf\nshort.txt\nf\n") + TEVLAN_TEST_DATA "/dune_groups_management.txt\nn\n");
    EXPECT_NE(shown_.find("File short.txt was not read: it holds 19 group numbers, and 20 are needed"),
              std::string::npos);
    std::string groupsLine = "Restricted permutations within specified groups\nGroups:\t";
    for (int g : groups) groupsLine += std::to_string(g) + "\t";
    EXPECT_NE(report.find(groupsLine), std::string::npos);
    const Matrix expected = ReplayedLinearModel(lsref::Dune(), lsref::DuneEnvironment(), 31, 99,
                                                [&](gsl_rng* g) { return DrawnWithinGroups(g, groups); });
    const std::vector<double> P = Numbers(Fields(report, "\nManagement b2:", kProbabilities));
    ASSERT_EQ(P.size(), 30u);
    for (int v = 0; v < 30; v++) EXPECT_NEAR(P[v], expected[1][v], 1e-5) << v;
}

// Bundles are permuted whole only when they are of one size: otherwise every
// list would be the identity, and the test is refused.
TEST_F(LinearModelDriver, BundlesOfUnequalSizeAreRefused) {
    Sets(RandomLike(6, 2), {{1}, {2}, {3}, {4}, {5}, {6}});
    testing::internal::CaptureStdout();
    const std::string balanced = RunModLin("2\n4\n19\n3\nk\n1 1 2 2 3 3\nn\n");
    std::remove("Vidive.txt");
    const std::string unbalanced = RunModLin("2\n4\n19\n3\nk\n1 1 2 2 2 3\nn\n");
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(balanced.find("Restricted permutations as specified bundles (e.g. to avoid autocorrelation\n"
                            "Groups:\t1\t1\t2\t2\t3\t3\t"),
              std::string::npos);
    EXPECT_NE(printed.find("Unbalanced design. Permutation among bundling blocks is not possible.\n"), std::string::npos);
    EXPECT_EQ(unbalanced, "");
    EXPECT_EQ(shown_.find("See results"), std::string::npos);
}

TEST_F(LinearModelDriver, EmbeddedMatrixRestrictionAndNumberOfPermutations) {
    Sets(RandomLike(6, 2), {{1}, {2}, {3}, {4}, {5}, {6}});
    const std::string report = RunModLin("2\n4\n0\n1e12\n9\n1\n4\nn\n");
    EXPECT_NE(err_.find("Incorrect input = 0."), std::string::npos);
    EXPECT_NE(err_.find("Incorrect input = 1e+12."), std::string::npos);
    EXPECT_NE(report.find("Number of permutations: 9\n"), std::string::npos);
    EXPECT_NE(report.find("Permutation restrictions:\tConsidered each variable arranged in a resemblance matrix "
                          "(upper diagonal) with 4 rows.\n"),
              std::string::npos);
}

}  // namespace
