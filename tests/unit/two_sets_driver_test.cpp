// The permutation tests between two data sets on sessions made from the dune
// data, with answers on `in`: observed values from R (vegan mantel,
// mantel.partial and protest, ade4 RV.rtest) and from the definitions, counts
// from a replay of the draws on a generator of the test's own (the observed
// arrangement counted, magnitudes compared), the report, and the refusals.
#include <gtest/gtest.h>
#include <gsl/gsl_rng.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "TevlanClasses.h"
#include "comparisons_reference.h"
#include "driver_fixture.h"
#include "iflibG.h"
#include "rhlib_M.h"

namespace {

using cmpref::Matrix;
using cmpref::Vec;
using Statistic = std::function<double(const std::vector<int>&)>;

// The count of a test replayed: 1 for the observed arrangement, then one for
// each of N - 1 lists whose statistic reaches the observed one in magnitude.
std::vector<int> Identity(int n) {
    std::vector<int> l(n);
    for (int i = 0; i < n; i++) l[i] = i + 1;
    return l;
}

int ReplayedCount(const Statistic& statistic, unsigned seed, int N, int n) {
    const double observed = statistic(Identity(n));
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, seed);
    int count = 1;
    for (int k = 2; k <= N; k++) count += lsref::Counts(statistic(lsref::DrawnList(g, n)), observed);
    gsl_rng_free(g);
    return count;
}

// RV of x against the rows of y in the order of a list, as ||X' Y||^2 /
// (||X' X|| ||Y' Y||) of the centred tables (Frobenius norms): the two norms
// are taken once.
Statistic RVOfRows(const Matrix& x, const Matrix& y) {
    auto centred = [](Matrix t) {
        for (size_t j = 0; j < t[0].size(); j++) {
            double m = 0;
            for (const Vec& row : t) m += row[j] / t.size();
            for (Vec& row : t) row[j] -= m;
        }
        return t;
    };
    auto cross = [](const Matrix& a, const Matrix& b, const std::vector<int>& rowsOfB) {
        double s = 0;
        for (size_t u = 0; u < a[0].size(); u++)
            for (size_t v = 0; v < b[0].size(); v++) {
                double c = 0;
                for (size_t i = 0; i < a.size(); i++) c += a[i][u] * b[rowsOfB[i] - 1][v];
                s += c * c;
            }
        return s;
    };
    const Matrix cx = centred(x), cy = centred(y);
    const std::vector<int> id = Identity(static_cast<int>(x.size()));
    const double norms = std::sqrt(cross(cx, cx, id) * cross(cy, cy, id));
    return [=](const std::vector<int>& l) { return cross(cx, cy, l) / norms; };
}

double Partial(const Vec& a, const Vec& b, const Vec& z) {
    const double rAB = Pearson(a, b), rAZ = Pearson(a, z), rBZ = Pearson(b, z);
    return (rAB - rAZ * rBZ) / std::sqrt((1 - rAZ * rAZ) * (1 - rBZ * rBZ));
}

class TwoSetsDriver : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        strcpy(modeVidive, "w");
    }
    void TearDown() override {
        for (Session* s : sets_) delete s;
        DriverTest::TearDown();
    }
    // A deep snapshot of a table with a resemblance matrix between its units
    // (none when rese is empty).
    Session* Set(const Matrix& x, const Matrix& rese, const char* file) {
        CurrentTable(x);
        snprintf(filename, sizeof filename, "%s", file);
        if (!rese.empty()) {
            nRows = nObj;
            ::rese = dim2DT<double>(nObj, nObj);
            for (int i = 0; i < nObj; i++)
                for (int j = 0; j < nObj; j++) ::rese[i][j] = rese[i][j];
            temRese = 1;
            optReseDir = 1;
        }
        sets_.push_back(SessionClass(true));
        return sets_.back();
    }
    // Runs test k (0 Mantel, 1 partial Mantel, 2 Procrustes, 3 RV, 4 Rd) and
    // returns the report.
    std::string RunTest(int k, Session* s1, Session* s2, Session* s3, const std::string& answers) {
        std::remove("Vidive.txt");
        code_ = Run(answers, [&] {
            switch (k) {
                case 0: return AleatorizacaoMantel(s1, s2);
                case 1: return AleatorizacaoPartialMantel(s1, s2, s3);
                case 2: return AleatorizacaoProcrustes(s1, s2);
                case 3: return AleatorizacaoRV(s1, s2);
                default: return AleatorizacaoRd(s1, s2);
            }
        });
        return Slurp("Vidive.txt");
    }
    // The value after "label\t" in the results.
    static std::string After(const std::string& report, const std::string& label) {
        const size_t at = report.find("\n" + label + "\t");
        if (at == std::string::npos) return "";
        const size_t from = at + label.size() + 2;
        return report.substr(from, report.find('\n', from) - from);
    }

    QuietProgress quiet_;
    std::vector<Session*> sets_;
    int code_ = 0;
    const Matrix dune_ = lsref::Dune(), env_ = lsref::DuneEnvironment();
    const Matrix bc_ = cmpref::BrayCurtis(dune_);
};

const char* const kResult[] = {"Matrix correlation:", "Partial matrix correlation:", "Procrustes correlation (r):",
                               "RV coefficient:", "Rd coefficient:"};
const char* const kProbability[] = {
    "Probability P(|ro random| >= |ro observed|):", "Probability P(|ro random| >= |ro observed|):",
    "Probability P(|r random| >= |r observed|):", "Probability P(|RV random| >= |RV observed|):",
    "Probability P(|Rd random| >= |Rd observed|):"};

// Observed values and probabilities of the five tests for two choices of the
// second and third sets, against R's values and the counts a second program
// written to the same draw rule found; the replay here must find them too.
TEST_F(TwoSetsDriver, ObservedValuesAndCountsOfTheFiveTests) {
    using cmpref::Upper;
    const Matrix management = cmpref::Columns(env_, 1, 2), moisture = cmpref::Columns(env_, 0, 1);
    struct Case {
        Matrix x2, x3, d2, d3;  // the second and third tables and their distances
        unsigned seed;
        double observed[5];
        int counts[5];
        bool replay;  // one replay per seed: each costs a second under the sanitizers
    };
    const Case cases[] = {
        {management, moisture, cmpref::Euclidean(management), cmpref::Euclidean(moisture), 777,
         {0.04531221348, 0.03039121475, 0.3646792486, 0.3315073351, 0.3810195314}, {598, 736, 6, 6, 8}, true},
        {management, moisture, cmpref::Euclidean(management), cmpref::Euclidean(moisture), 12345,
         {0.04531221348, 0.03039121475, 0.3646792486, 0.3315073351, 0.3810195314}, {587, 712, 11, 11, 13}, false},
        {env_, dune_, cmpref::Euclidean(env_), cmpref::Euclidean(dune_), 777,
         {0.5527849634, 0.2757965528, 0.667291325, 0.6946520577, 0.7688004631}, {1, 3, 1, 1, 1}, true},
    };
    for (const Case& c : cases) {
        Session* s1 = Set(dune_, bc_, "dune.txt");
        Session* s2 = Set(c.x2, c.d2, "env2.txt");
        Session* s3 = Set(c.x3, c.d3, "env3.txt");
        const Statistic reference[] = {
            [&](const std::vector<int>& l) { return Pearson(Upper(cmpref::PermutedSquare(bc_, l)), Upper(c.d2)); },
            [&](const std::vector<int>& l) {
                return Partial(Upper(cmpref::PermutedSquare(bc_, l)), Upper(c.d2), Upper(c.d3));
            },
            [&](const std::vector<int>& l) { return cmpref::ReferenceProcrustes(c.x2, lsref::Permuted(dune_, l)); },
            RVOfRows(c.x2, dune_),
            [&](const std::vector<int>& l) { return cmpref::ReferenceRd(c.d2, cmpref::PermutedSquare(bc_, l)); },
        };
        for (int k = 0; k < 5; k++) {
            const std::string report = RunTest(k, s1, s2, s3, "2\n" + std::to_string(c.seed) + "\n999\nn\n");
            const std::string what = std::string(kResult[k]) + " seed " + std::to_string(c.seed);
            EXPECT_NEAR(std::stod(After(report, kResult[k])), c.observed[k], 5e-6 * std::fabs(c.observed[k])) << what;
            EXPECT_NEAR(reference[k](Identity(20)), c.observed[k], 1e-9) << what;
            if (c.replay) {
                EXPECT_EQ(ReplayedCount(reference[k], c.seed, 999, 20), c.counts[k]) << what;
            }
            EXPECT_NEAR(std::stod(After(report, kProbability[k])), c.counts[k] / 999.0, 1e-6) << what;
            EXPECT_NE(report.find("Random number generation initializer: " + std::to_string(c.seed) + "\n"),
                      std::string::npos);
        }
    }
}

// What the tests leave of the sets: the Mantel tests make s1's matrix
// symmetric from its upper triangle, Rd leaves it as it was, nothing else is
// written. And Rd permutes a similarity's diagonal with its units.
TEST_F(TwoSetsDriver, SetsAfterTheTestsAndRdOfASimilarity) {
    Matrix skew = bc_, jaccard(20, Vec(20, 1.0));
    for (int i = 1; i < 20; i++) skew[i][0] = 5.0;
    for (int i = 0; i < 20; i++)
        for (int j = 0; j < 20; j++) {
            double a = 0, abc = 0;
            for (int v = 0; v < 30; v++)
                a += dune_[i][v] > 0 && dune_[j][v] > 0, abc += dune_[i][v] > 0 || dune_[j][v] > 0;
            jaccard[i][j] = a / abc;
        }
    const Matrix management = cmpref::Columns(env_, 1, 2), d2 = cmpref::Euclidean(management);
    auto matrixOf = [](Session* s) {
        Matrix m(s->nObj, Vec(s->nObj));
        for (int i = 0; i < s->nObj; i++)
            for (int j = 0; j < s->nObj; j++) m[i][j] = s->rese[i][j];
        return m;
    };
    for (int k = 0; k < 5; k++) {
        Session* s1 = Set(dune_, skew, "dune.txt");
        Session* s2 = Set(management, d2, "management.txt");
        Session* s3 = Set(dune_, d2, "three.txt");
        RunTest(k, s1, s2, s3, "2\n5\n19\nn\n");
        EXPECT_EQ(matrixOf(s1), k == 0 || k == 1 ? bc_ : skew) << k;
        EXPECT_EQ(matrixOf(s2), d2) << k;
        EXPECT_EQ(matrixOf(s3), d2) << k;
        for (Session* s : {s1, s2})
            for (int i = 0; i < 20; i++)
                for (int j = 0; j < s->nVar; j++) EXPECT_EQ(s->data[i][j], s == s1 ? dune_[i][j] : management[i][0]);
    }

    // Were the random diagonal left 0 while the observed one is 1, the
    // random values would shrink and the count fall to 1.
    Session* s1 = Set(dune_, jaccard, "dune.txt");
    Session* s2 = Set(management, d2, "management.txt");
    const std::string report = RunTest(4, s1, s2, nullptr, "2\n777\n999\nn\n");
    const Statistic rd = [&](const std::vector<int>& l) {
        return cmpref::ReferenceRd(d2, cmpref::PermutedSquare(jaccard, l));
    };
    EXPECT_NEAR(rd(Identity(20)), -0.3510114469, 1e-9);
    EXPECT_EQ(ReplayedCount(rd, 777, 999, 20), 20);
    EXPECT_EQ(After(report, "Rd coefficient:"), "-0.351011");
    EXPECT_NEAR(std::stod(After(report, kProbability[4])), 20 / 999.0, 1e-6);
}

// The save question asks no confirmation up to 50 permutations; above, a no
// to the confirmation asks the question again. The dump holds one block per
// permutation.
TEST_F(TwoSetsDriver, SaveDialogueAndDump) {
    Session* s1 = Set(dune_, bc_, "dune.txt");
    Session* s2 = Set(env_, cmpref::Euclidean(env_), "env.txt");
    const std::string saved = RunTest(0, s1, s2, nullptr, "2\n5\n3\ny\n");
    EXPECT_EQ(shown_.find("Are you sure?"), std::string::npos);
    EXPECT_NE(saved.find("MANTEL TEST: Data and results of each permutation\n"), std::string::npos);
    EXPECT_NE(saved.find("Number of permutations: 3\nTest criterion: matrix correlation  (Pearson between "
                         "resemblances defined with data sets dune.txt and env.txt).\n\n" +
                         std::string(line) + "\nPermutation 1:\n\n" + line +
                         "\nIteration: 2\nRandom data and corresponding results:\n\n" + line +
                         "\nIteration: 3\nRandom data and corresponding results:\n\n" + line +
                         "\nMANTEL TEST: Final results\n"),
              std::string::npos);
    EXPECT_NE(saved.find("Random number generation initializer: 5\nTest criterion: Matrix correlation  (Pearson "
                         "between resemblances defined with data sets dune.txt and env.txt).\nResults:\n"
                         "Matrix correlation:\t0.552785\n"),
              std::string::npos);
    EXPECT_NE(shown_.find("\n\nSee results on file Vidive.txt.\n"), std::string::npos);

    const std::string declined = RunTest(2, s1, s2, nullptr, "2\n5\n60\ny\nn\nn\n");
    EXPECT_EQ(Count(shown_, "Save data and results of each random permutation? y/n "), 2);
    EXPECT_EQ(Count(shown_, "Are you sure? y/n There are 60 permutations! "), 1);
    EXPECT_EQ(declined.find("Data and results of each permutation"), std::string::npos);
    EXPECT_NE(declined.find("\nPROCRUSTES TEST\n"), std::string::npos);
    EXPECT_NE(declined.find("Test criterion: Procrustes correlation defined with data sets dune.txt and env.txt).\n"),
              std::string::npos);
}

// Runs that draw nothing: sets that do not match are refused before the
// dialogue with one line; a statistic that is not defined is reported so and
// not tested; one permutation gives P = 1. The generator is left as the seed
// set it.
TEST_F(TwoSetsDriver, RunsThatDrawNothing) {
    const Matrix management = cmpref::Columns(env_, 1, 2), d2 = cmpref::Euclidean(management);
    Matrix holes = d2;
    holes[0][3] = holes[3][0] = -999.0;
    Session* s1 = Set(dune_, bc_, "dune.txt");
    Session* s2 = Set(management, d2, "management.txt");
    Session* s3 = Set(dune_, cmpref::Euclidean(dune_), "three.txt");
    Session* fewer = Set(Matrix(dune_.begin(), dune_.end() - 1), Matrix(19, Vec(19, 1.0)), "short.txt");
    Session* tableOnly = Set(management, {}, "table.txt");
    Session* flat = Set(Matrix(20, Vec(2, 3.0)), {}, "flat.txt");
    Session* withHoles = Set(management, holes, "holes.txt");
    Matrix notANumber = d2;
    notANumber[2][6] = notANumber[6][2] = NAN;
    Session* withNaN = Set(management, notANumber, "nan.txt");
    Session* variables = Set(dune_, bc_, "variables.txt");
    variables->optReseDir = 2;
    const char* const kSizes20and19 =
        "\nThe data sets describe different numbers of sampling units (20 in dune.txt and 19 in short.txt): they "
        "must describe the same units in the same order.\n";
    const char* const kSizes19and20 =
        "\nThe data sets describe different numbers of sampling units (19 in short.txt and 20 in dune.txt): they "
        "must describe the same units in the same order.\n";
    struct Case {
        int test;
        Session *a, *b, *c;
        const char* N;
        const char* text;  // the refusal on the console, or a line of the report
    };
    const Case cases[] = {
        {0, s1, fewer, nullptr, "99", kSizes20and19},
        {3, fewer, s1, nullptr, "99", kSizes19and20},
        {1, s1, s2, fewer, "99", kSizes20and19},
        {1, s1, s2, nullptr, "99", "\nA data set is missing.\n"},
        {4, s1, tableOnly, nullptr, "99",
         "\nThe data set table.txt has no resemblance matrix between its sampling units.\n"},
        {0, variables, s2, nullptr, "99",
         "\nThe data set variables.txt has no resemblance matrix between its sampling units.\n"},
        {1, s1, s2, s1, "99",
         "Partial matrix correlation:\tundefined\nProbability P(|ro random| >= |ro observed|):\tnot testable\n"},
        // A matrix holding NaN has no correlation, not one of 0.
        {0, s1, withNaN, nullptr, "99",
         "Matrix correlation:\tundefined\nProbability P(|ro random| >= |ro observed|):\tnot testable\n"},
        {1, withNaN, s2, s3, "99",
         "Partial matrix correlation:\tundefined\nProbability P(|ro random| >= |ro observed|):\tnot testable\n"},
        {3, s1, flat, nullptr, "99",
         "RV coefficient:\tundefined\nProbability P(|RV random| >= |RV observed|):\tnot testable\n"},
        {4, s1, withHoles, nullptr, "99",
         "Rd coefficient:\tundefined\nProbability P(|Rd random| >= |Rd observed|):\tnot testable\n"},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    for (int k = 0; k < 5; k++) all.push_back({k, s1, s2, s3, "1", ":\t1\n"});
    for (const Case& c : all) {
        const std::string report = RunTest(c.test, c.a, c.b, c.c, std::string("2\n9\n") + c.N + "\nn\n");
        const bool refused = c.text[0] == '\n';
        EXPECT_NE((refused ? shown_ : report).find(c.text), std::string::npos) << c.text << shown_;
        EXPECT_EQ(shown_.find("HYPOTHESIS TESTING") == std::string::npos, refused) << c.text;
        if (refused) {
            EXPECT_EQ(report, "") << c.text;
            continue;
        }
        gsl_rng* fresh = gsl_rng_alloc(gsl_rng_mt19937);
        gsl_rng_set(fresh, 9);
        EXPECT_EQ(gsl_rng_get(r), gsl_rng_get(fresh)) << c.text;
        gsl_rng_free(fresh);
    }
}

TEST_F(TwoSetsDriver, PortugueseTexts) {
    Portuguese();
    Session* s1 = Set(dune_, bc_, "dune.txt");
    Session* s2 = Set(env_, cmpref::Euclidean(env_), "env.txt");
    const char* lines[][2] = {
        {"\nTESTE DE MANTEL\n", "\nCorrelacao matricial:\t0.552785\nProbabilidade P(|ro aleatorio| >= |ro "
                                 "observado|):\t"},
        {"\nTESTE DE MANTEL PARCIAL\n", "controlando as semelhancas com os dados env.txt).\nResultados:\n"
                                         "Correlacao matricial parcial:\tindefinido\n"},
        {"\nTESTE DE PROCRUSTES\n", "\nCorrelacao de Procrustes (r):\t0.667291\n"},
        {"\nTESTE do Coeficiente RV\n", "\nCoeficiente RV:\t0.694652\n"},
        {"\nTESTE do Coeficiente Rd\n", "\nCoeficiente Rd:\t0.7688\nProbabilidade P(|Rd aleatorio| >= |Rd "
                                         "observado|):\t"},
    };
    for (int k = 0; k < 5; k++) {
        const std::string report = RunTest(k, s1, s2, s2, "2\n5\n9\nn\n");
        for (const char* text : lines[k]) EXPECT_NE(report.find(text), std::string::npos) << text;
        EXPECT_NE(report.find("Numero de permutacoes: 9\n"), std::string::npos);
        EXPECT_NE(shown_.find("Veja resultados no arquivo Vidive.txt."), std::string::npos);
    }
}

// The forms the menu does not call: CoInertia runs the RV test (the value of
// ade4, the P of the same seed), Procrustes_OLD appends the Procrustes
// statistic alone (the value of vegan's protest).
TEST_F(TwoSetsDriver, CoInertiaAndTheProcrustesStatisticAlone) {
    Session* s1 = Set(dune_, bc_, "dune.txt");
    Session* s2 = Set(env_, cmpref::Euclidean(env_), "env.txt");
    const std::string rv = RunTest(3, s1, s2, nullptr, "2\n5\n99\nn\n");
    std::remove("Vidive.txt");
    Run("2\n5\n99\nn\n", [&] { CoInertia(s1, s2); });
    const std::string coInertia = Slurp("Vidive.txt");
    EXPECT_EQ(After(coInertia, kResult[3]), "0.694652");
    EXPECT_EQ(After(coInertia, kProbability[3]), After(rv, kProbability[3]));
    std::remove("Vidive.txt");
    Run("", [&] { Procrustes_OLD(s1, s2); });
    EXPECT_NE(Slurp("Vidive.txt").find("\n\nProcrustes statistic (traceW similarity) according to Lavonne & Lavonne "
                                       "(2012 p.534): 0.667291\n"),
              std::string::npos);
}

// A report that cannot be opened runs nothing (s1's matrix is not made
// symmetric); a script that ends in the dialogue ends the program.
TEST_F(TwoSetsDriver, UnopenableReportAndEndedScript) {
    Matrix skew = bc_;
    skew[5][0] = 9.0;
    Session* s1 = Set(dune_, skew, "dune.txt");
    Session* s2 = Set(env_, cmpref::Euclidean(env_), "env.txt");
    for (const char* answers : {"2\n5\n", "2\n5\n60\n", "2\n5\n60\ny\n"}) {
        RunTest(0, s1, s2, nullptr, answers);
        EXPECT_EQ(code_, 2) << answers;
    }
    std::filesystem::create_directory("Vidive.txt");
    Run("2\n5\n9\nn\n", [&] { AleatorizacaoMantel(s1, s2); });
    EXPECT_NE(err_.find("can't open Vidive.txt"), std::string::npos);
    EXPECT_EQ(shown_.find("See results"), std::string::npos);
    EXPECT_EQ(s1->rese[5][0], 9.0);

    // A report that opens but takes nothing (a full disc) is not offered as
    // written.
    std::filesystem::remove("Vidive.txt");
    Put("Vidive.txt", std::string(4096, 'x'));
    strcpy(modeVidive, "a");
    {
        FullDisc full(4096);
        Run("2\n5\n9\nn\n", [&] { AleatorizacaoRV(s1, s2); });
    }
    EXPECT_NE(err_.find("FAIL TO PRINT ON FILE Vidive.txt"), std::string::npos);
    EXPECT_EQ(shown_.find("See results"), std::string::npos);
}

}  // namespace
