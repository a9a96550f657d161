// The axis tests offered by key O after the ordination they test: the menu,
// the Malinvaud test of the dune table against chi-squares worked here and
// the P values of tables drawn with the same margins in another program,
// the RVDIM test of the dune species, refusals, and the report file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "FtevlanRn.h"
#include "driver_fixture.h"
#include "iflibG.h"
#include "linear_models_reference.h"
#include "rhlib_M.h"

namespace {

using lsref::Matrix;
using lsref::Vec;

// The two lines that follow the last occurrence of a heading: the
// statistic of each axis and its P.
std::pair<Vec, Vec> ResultLines(const std::string& report, const std::string& heading) {
    std::pair<Vec, Vec> r;
    size_t p = report.rfind(heading);
    if (p == std::string::npos) return r;
    std::istringstream s(report.substr(p + heading.size()));
    std::string line;
    for (Vec* v : {&r.first, &r.second}) {
        std::getline(s, line);
        std::istringstream l(line);
        for (double x; l >> x;) v->push_back(x);
    }
    return r;
}

const char* const kMalinvaud =
    "Partial Malinvaud chi-squares and corresponding probabilities p(sumChiSq_rnd >= sumChiSq_obs):\n";
const char* const kRvdim = "RVDIM and corresponding probabilities p(RVDIM_rnd >= RVDIM_obs) (Kresh 2008)\n";
const char* const kRvdimEntry = "\t(4)randomization test of ordination axes (RVDIM)\n ";
const char* const kMalinvaudEntry = "\t(5)randomization test of correspondence analysis axes (Malinvaud)\n ";

class AxisDriver : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        strcpy(modeVidive, "w");
        digits_ = sDigits;
        sDigits = 7;
    }
    void TearDown() override {
        sDigits = digits_;
        DriverTest::TearDown();
    }
    // The current data set: x as read, then transformed within units by
    // `withinUnits` (0 none), compared by `measure` in `direction`, as keys
    // N, T and R leave it.
    void Current(const Matrix& x, int withinUnits, int measure, int direction) {
        CurrentTable(x);
        optTrVeUnits = withinUnits;
        DataTransformationsLib(nObj, nVar, data, 0, 0, withinUnits, 0, 0, 0, true, false);
        SetDataType(0, 0, withinUnits);
        CurrentResemblance(measure, direction);
    }
    // Key O on the answers; an ordination made counts as the main loop
    // counts it.
    int KeyO(const std::string& answers) {
        int result = 0;
        const int code = Run(answers, [&] { result = Ordenacao(); });
        EXPECT_EQ(code, 0) << "the dialogue read past its answers:\n" << shown_;
        if (result == 1) temEscore = 1;
        return result;
    }
    std::string Report() { return Slurp("Vidive.txt"); }

    int digits_ = 5;
    QuietProgress quiet_;
};

// The dune table as counts: its chi-square, worked here from the margins.
double ChiSquare(const Matrix& x, double& total) {
    Vec r(x.size(), 0.0), c(x[0].size(), 0.0);
    total = 0;
    for (size_t i = 0; i < x.size(); i++)
        for (size_t j = 0; j < x[0].size(); j++) r[i] += x[i][j], c[j] += x[i][j], total += x[i][j];
    double chi2 = 0;
    for (size_t i = 0; i < x.size(); i++)
        for (size_t j = 0; j < x[0].size(); j++) {
            const double e = r[i] * c[j] / total;
            chi2 += (x[i][j] - e) * (x[i][j] - e) / e;
        }
    return chi2;
}

// ---------------------------------------------------------------------------

// Each entry is offered only after the ordination it tests (with an axis),
// and a number not shown is refused.
TEST_F(AxisDriver, MenuOffersEachTestAfterItsOrdination) {
    const Matrix counts = {{3, 1, 0, 2}, {1, 4, 2, 0}, {0, 2, 5, 1}, {2, 0, 1, 6}, {1, 1, 2, 2}};
    struct Case {
        const char* name;
        int withinUnits, measure, direction;
        const char* ordination;  // answers of the first key O ("" for none)
        bool rvdim, malinvaud;
    };
    const Case cases[] = {
        {"no ordination yet", 0, 17, 2, "", false, false},
        {"principal components of variables", 0, 17, 2, "2\nn\nn\n", true, false},
        {"principal components of units", 0, 17, 1, "2\nn\nn\n", false, false},
        {"principal coordinates of variables", 0, 17, 2, "1\nn\nn\n", false, false},
        {"correspondence analysis", 6, 1, 2, "3\nn\nn\n", false, true},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        Current(counts, t.withinUnits, t.measure, t.direction);
        if (*t.ordination) {
            ASSERT_EQ(KeyO(t.ordination), 1);
        }
        // A number shown leaves with its test's prologue; one not shown is
        // refused and 99 then returns.
        const std::string answers = std::string(t.rvdim ? "5\n4\n" : t.malinvaud ? "4\n5\n" : "4\n5\n99\n") + "1\n1\nn\n";
        KeyO(answers);
        EXPECT_EQ(shown_.find(kRvdimEntry) != std::string::npos, t.rvdim);
        EXPECT_EQ(shown_.find(kMalinvaudEntry) != std::string::npos, t.malinvaud);
        EXPECT_NE(shown_.find("\n \t(99)return to main menu\n \t\tEnter option: "), std::string::npos);
        EXPECT_EQ(Count(err_, "Incorrect input ="), t.rvdim || t.malinvaud ? 1 : 2) << err_;
        EXPECT_EQ(shown_.find("HYPOTHESIS TESTING VIA RANDOMIZATION") != std::string::npos, t.rvdim || t.malinvaud);
    }
}

// Dune as a contingency table (deviations from the expectations of the
// margins, product moments, correspondence analysis): the partial
// chi-squares of its 19 axes, the first of which plus 685 times the first
// eigenvalue is the table's chi-square, and P values within Monte Carlo
// error of those from 99,999 tables with the same margins.
TEST_F(AxisDriver, MalinvaudTestOfTheDuneTable) {
    const Matrix dune = lsref::Dune();
    Current(dune, 6, 1, 2);
    ASSERT_EQ(KeyO("3\nn\nn\n"), 1);
    ASSERT_EQ(rank, 19);
    const int N = 1000;
    ASSERT_EQ(KeyO("5\n2\n8675309\n" + std::to_string(N) + "\nn\n"), 1);
    EXPECT_NE(shown_.find("\n\nSee results on file Vidive.txt.\n"), std::string::npos);
    const std::string report = Report();
    EXPECT_NE(report.find("Random number generation initializer: 8675309\n"), std::string::npos);
    EXPECT_EQ(report.find("Data and results of each permutation"), std::string::npos);
    EXPECT_EQ(report.find("Results:"), std::string::npos);
    auto [X2, P] = ResultLines(report, kMalinvaud);
    ASSERT_EQ(X2.size(), 19u) << report;
    ASSERT_EQ(P.size(), 19u);

    double total = 0;
    const double chi2 = ChiSquare(dune, total);
    EXPECT_EQ(total, 685);
    EXPECT_NEAR(chi2, 1448.956, 1e-3);
    EXPECT_NEAR(X2[0] + total * 0.5360051, chi2, 2e-3);
    const std::vector<std::pair<int, double>> published = {{0, 1081.792}, {1, 807.6938}, {2, 629.7356},
                                                           {3, 509.1901}, {16, 7.177743}, {17, 2.381687},
                                                           {18, 0.0}};
    for (auto& x : published) EXPECT_NEAR(X2[x.first], x.second, 1e-3) << "axis " << x.first + 1;
    Vec reference(11, 0.0001);
    for (double q : {0.00219, 0.06209, 0.124, 0.1676, 0.07651, 0.05014, 0.1667, 1.0}) reference.push_back(q);
    for (int j = 0; j < 19; j++)
        EXPECT_NEAR(P[j], reference[j], 4 * std::sqrt(reference[j] * (1 - reference[j]) / N) + 0.001)
            << "axis " << j + 1;
}

// A table with one axis leaves nothing after it: a partial chi-square of 0,
// which every random table reaches.
TEST_F(AxisDriver, MalinvaudTestOfOneAxis) {
    Current({{3, 1}, {1, 3}}, 6, 1, 1);
    ASSERT_EQ(KeyO("3\nn\nn\n"), 1);
    ASSERT_EQ(rank, 1);
    ASSERT_EQ(KeyO("5\n2\n1\n30\nn\n"), 1);
    auto [X2, P] = ResultLines(Report(), kMalinvaud);
    EXPECT_EQ(X2, Vec{0.0});
    EXPECT_EQ(P, Vec{1.0});
}

// A table that is not one of whole counts is refused before the prologue:
// the message, and nothing else.
TEST_F(AxisDriver, MalinvaudTestRefusesWhatAreNoCounts) {
    struct Case {
        const char* name;
        double cell;
        const char* says;
    };
    const Case cases[] = {
        {"fraction", 1.5, "unit 2, variable 3 holds 1.5"},
        {"negative", -1, "unit 2, variable 3 holds -1"},
        {"missing", -999, "unit 2, variable 3 holds -999"},
        {"total beyond a list", 3e9, "this table's total is 3000000015"},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        std::filesystem::remove("Vidive.txt");
        Current({{3, 1, 2}, {1, 3, t.cell}, {2, 2, 1}}, 6, 1, 1);
        ASSERT_EQ(KeyO("3\nn\nn\n"), 1);
        std::filesystem::remove("Vidive.txt");
        EXPECT_EQ(KeyO("5\n"), 0);
        EXPECT_NE(err_.find("The Malinvaud test needs a contingency table of whole counts"), std::string::npos) << err_;
        EXPECT_NE(err_.find(t.says), std::string::npos) << err_;
        EXPECT_EQ(shown_.find("HYPOTHESIS TESTING"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists("Vidive.txt"));
        EXPECT_EQ(optOrdiType, 3);
    }
}

// Called with another ordination the Malinvaud test says once that it does
// not apply, and writes nothing.
TEST_F(AxisDriver, MalinvaudTestAfterAnotherOrdination) {
    Current({{3, 1, 2}, {1, 3, 0}, {2, 2, 1}}, 0, 17, 2);
    ASSERT_EQ(KeyO("2\nn\nn\n"), 1);
    std::filesystem::remove("Vidive.txt");
    int result = -1;
    Run("", [&] { result = Aleatorizacao_CA(); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(shown_, "\n\nNot applicable to the chosen ordination method.\n");
    EXPECT_FALSE(std::filesystem::exists("Vidive.txt"));
}

// The RVDIM test of the dune species: the observed statistics are those of
// the published test. The driver ordinates the matrix again: eigenvectors
// that a continued session does not keep (zeros) give the same test.
TEST_F(AxisDriver, RvdimTestOfTheDuneSpecies) {
    Current(lsref::Dune(), 0, 17, 2);
    ASSERT_EQ(KeyO("2\nn\nn\n"), 1);
    ASSERT_EQ(rank, 19);
    const std::string answers = "4\n2\n4242\n20\nn\n";
    ASSERT_EQ(KeyO(answers), 1);
    const std::string first = Report();
    auto [rvdim, P] = ResultLines(first, kRvdim);
    ASSERT_EQ(rvdim.size(), 19u) << first;
    ASSERT_EQ(P.size(), 19u);
    const std::vector<std::pair<int, double>> published = {
        {0, 0.6730858}, {1, 0.6467327}, {2, 0.6031642}, {3, 0.5624702}, {4, 0.5503178}, {17, 0.9010372}, {18, 1}};
    for (auto& x : published) EXPECT_NEAR(rvdim[x.first], x.second, 1e-6) << "axis " << x.first + 1;
    for (double q : P) EXPECT_NEAR(q * 20, std::round(q * 20), 1e-9);
    EXPECT_EQ(first.find("Results:"), std::string::npos);
    EXPECT_NE(first.find("Random number generation initializer: 4242\n"), std::string::npos);

    for (int a = 0; a <= nRows; a++)
        for (int i = 0; i <= nRows; i++) evectors[a][i] = 0.0;
    ASSERT_EQ(KeyO(answers), 1);
    EXPECT_EQ(ResultLines(Report(), kRvdim), std::make_pair(rvdim, P));
    EXPECT_EQ(optOrdiType, 2);
    EXPECT_EQ(rank, 19);
}

// With every permutation saved the dump goes ahead of the final block, in
// erase mode too (the report is emptied once, before the dump), and in
// append mode after what the report held. The block is in the user's
// language.
TEST_F(AxisDriver, SavedPermutationsStayAheadOfTheFinalBlock) {
    const Matrix counts = {{3, 1, 0, 2}, {1, 4, 2, 0}, {0, 2, 5, 1}, {2, 0, 1, 6}, {1, 1, 2, 2}};
    struct Case {
        const char* name;
        int withinUnits, measure, ordination;
        const char* answers;
        const char* mode;
        bool portuguese;
    };
    const Case cases[] = {
        {"RVDIM, erase", 0, 17, 2, "4\n2\n7\n3\ny\n", "w", false},
        {"RVDIM, append", 0, 17, 2, "4\n2\n7\n3\ny\n", "a", false},
        {"Malinvaud, erase", 6, 1, 3, "5\n2\n7\n3\ny\n", "w", false},
        {"Malinvaud, Portuguese", 6, 1, 3, "5\n2\n7\n3\ns\n", "w", true},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        t.portuguese ? Portuguese() : English();
        Current(counts, t.withinUnits, t.measure, 2);
        ASSERT_EQ(KeyO(std::to_string(t.ordination) + "\nn\nn\n"), 1);
        Put("Vidive.txt", "earlier report\n");
        strcpy(modeVidive, t.mode);
        ASSERT_EQ(KeyO(t.answers), 1);
        const std::string report = Report();
        EXPECT_EQ(report.rfind("earlier report\n", 0) == 0, std::string(t.mode) == "a");
        const size_t dump = report.find(t.portuguese ? "TESTE DE ALEATORIZACAO: Dados e resultados de cada permutacao"
                                                     : "RANDOMIZATION TEST: Data and results of each permutation");
        const size_t last = report.rfind(t.portuguese ? "TESTE DE ALEATORIZACAO: Resultado final"
                                                      : "RANDOMIZATION TEST: Final results");
        ASSERT_NE(dump, std::string::npos) << report;
        ASSERT_NE(last, std::string::npos) << report;
        EXPECT_LT(dump, last);
        EXPECT_NE(report.find(t.portuguese ? "Inicializador do gerador de numero aleatorios: 7\n"
                                           : "Random number generation initializer: 7\n",
                              last),
                  std::string::npos);
        EXPECT_EQ(report.find("Resultados:\n", last) != std::string::npos, t.portuguese);
        EXPECT_EQ(Count(report, "Iteration: 3\n") + Count(report, "Iteracao: 3\n"), t.ordination == 2 ? 4 : 1);
    }
}

// A report that cannot be opened, or takes no byte more (a full disc): the
// test runs, its dump is skipped or lost, and no "See results" is said of a
// report that was not written.
TEST_F(AxisDriver, UnwritableReport) {
    Current({{3, 1, 0, 2}, {1, 4, 2, 0}, {0, 2, 5, 1}, {2, 0, 1, 6}}, 6, 1, 2);
    ASSERT_EQ(KeyO("3\nn\nn\n"), 1);
    for (bool full : {false, true}) {
        std::filesystem::remove("Vidive.txt");
        if (full)
            Put("Vidive.txt", std::string(4096, 'x'));
        else
            std::filesystem::create_directory("Vidive.txt");
        for (const char* save : {"n\n", "y\n"}) {
            SCOPED_TRACE(std::string(full ? "full, " : "folder, ") + save);
            strcpy(modeVidive, "a");
            std::unique_ptr<FullDisc> disc(full ? new FullDisc(4096) : nullptr);
            EXPECT_EQ(KeyO(std::string("5\n2\n3\n5\n") + save), 1);
            EXPECT_NE(err_.find(full ? "FAIL TO PRINT ON FILE Vidive.txt" : "can't open Vidive.txt"), std::string::npos)
                << err_;
            EXPECT_EQ(shown_.find("See results"), std::string::npos);
        }
        std::filesystem::remove("Vidive.txt");
    }
}

// The tables are drawn in one serial loop: a seed gives the same P on one
// thread and on all.
TEST_F(AxisDriver, MalinvaudTestOnOneThreadAndOnAll) {
    Current({{5, 1, 0, 2, 3}, {1, 4, 2, 0, 1}, {0, 2, 5, 1, 2}, {2, 0, 1, 6, 0}, {3, 1, 2, 2, 4}}, 6, 1, 2);
    ASSERT_EQ(KeyO("3\nn\nn\n"), 1);
    const int previous = NumberOfThreads();
    std::pair<Vec, Vec> results[2];
    for (int t = 0; t < 2; t++) {
        InitMultiprocessing(t == 0 ? 1 : 0);
        ASSERT_EQ(KeyO("5\n2\n99\n200\nn\n"), 1);
        results[t] = ResultLines(Report(), kMalinvaud);
    }
    InitMultiprocessing(previous);
    ASSERT_EQ(results[0].second.size(), static_cast<size_t>(rank));
    EXPECT_EQ(results[0], results[1]);
}

}  // namespace
