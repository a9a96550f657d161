// Key K through the whole program: sessions saved with key S and named as
// the second (and third) data set; the refusals, the data set current after
// each, and the reports checked against R and against values worked by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "screens.h"

namespace {

using Table = std::vector<std::vector<double>>;

// dune.txt's rows [0, units) and columns [first, last), with their labels.
std::string DuneColumns(int first, int last, int units = 20) {
    std::istringstream in(ReadFile(std::string(TEVLAN_EXAMPLES) + "/dune.txt"));
    std::vector<std::vector<std::string>> cells(20, std::vector<std::string>(30));
    for (auto& row : cells)
        for (auto& c : row) in >> c;
    std::vector<std::string> unitLabels(20), variableLabels(30);
    for (auto& l : unitLabels) in >> l;
    for (auto& l : variableLabels) in >> l;
    std::ostringstream s;
    for (int i = 0; i < units; i++)
        for (int j = first; j < last; j++) s << cells[i][j] << (j + 1 < last ? '\t' : '\n');
    for (int i = 0; i < units; i++) s << unitLabels[i] << (i + 1 < units ? '\t' : '\n');
    for (int j = first; j < last; j++) s << variableLabels[j] << (j + 1 < last ? '\t' : '\n');
    return s.str();
}

Table Numbers(const std::string& text) {
    Table rows;
    for (const std::string& l : Lines(text)) {
        std::istringstream s(l);
        std::vector<double> row;
        for (double x; s >> x;) row.push_back(x);
        rows.push_back(row);
    }
    return rows;
}

// The numbers after label on its line.
std::vector<double> After(const std::string& text, const std::string& label) {
    const size_t p = text.find(label);
    if (p == std::string::npos) return {};
    const size_t from = p + label.size();
    return Numbers(text.substr(from, text.find('\n', from) - from))[0];
}

// Key N loading a file as a new data set: its content type, sizes, order
// (only asked of tables with more than one variable) and labels, no data in
// the report; then the session is named: renamed when the session in use
// has a name, otherwise saved by key S.
std::string Load(const std::string& file, int content, int units, int variables, bool labels,
                 const std::string& session, bool named = true) {
    std::ostringstream s;
    s << "n\nn\n" << file << "\n" << content << "\n" << units << "\n" << variables << "\n";
    if (variables > 1) s << "N\n";
    s << (labels ? "2" : "1") << "\nn\n" << (named ? "y\n" : "s\n") << session << "\n";
    return s.str();
}

// Key R between sampling units with measure m, no post-transformation.
std::string Resemblance(int m) { return "r\n1\n" + std::to_string(m) + "\n0\nn\n"; }

class TwoSetsKey : public testing::Test {
protected:
    // Builds the sessions: "dune" (Euclidean distances), "bare" (no
    // resemblance), "env" (qualitative), "short" (19 units).
    void SetUp() override {
        d_.PutExample("dune.txt");
        d_.PutExample("dune_env_nominal.txt");
        d_.Put("short.txt", DuneColumns(0, 30, 19));
        const std::string script = Load("dune.txt", 1, 20, 30, true, "bare", false) +
                                   Load("dune.txt", 1, 20, 30, true, "dune") + Resemblance(3) +
                                   Load("dune_env_nominal.txt", 3, 20, 4, true, "env") +
                                   Load("short.txt", 1, 19, 30, true, "short") + Resemblance(3) + "x\n";
        const RunResult r = d_.Run(script);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }
    // A run that starts afresh (no session continued, no report).
    RunResult Fresh(const std::string& script) {
        std::filesystem::remove(d_.Folder() + "/Vidive.txt");
        return d_.Run("n\n" + script);
    }
    // A run that opens session and answers key K with k, then exits; the
    // report of earlier runs is removed first.
    RunResult OpenAndK(const std::string& session, const std::string& k, bool reportIsAFolder = false) {
        if (!reportIsAFolder) std::filesystem::remove(d_.Folder() + "/Vidive.txt");
        return d_.Run(std::string("n\n") + (reportIsAFolder ? "a\n" : "") + "n\no\n" + session + "\nk\n" + k + "x\n");
    }
    // The status of the current data set last shown by the main menu (the
    // second set's, when one is held, follows it in the same status).
    static std::string Status(const RunResult& r) {
        const size_t end = r.out.rfind("Maximum number of processors");
        size_t p = r.out.rfind("Analysis status", end);
        const size_t q = p == std::string::npos || p == 0 ? std::string::npos : r.out.rfind("Analysis status", p - 1);
        if (q != std::string::npos && r.out.substr(q, p - q).find("Second data set: ") != std::string::npos &&
            r.out.substr(q, p - q).find("Maximum number") == std::string::npos)
            p = q;
        return p == std::string::npos ? "" : r.out.substr(p, end - p);
    }
    static std::string Current(const RunResult& r) {
        const std::string s = Status(r);
        const size_t p = s.find("Data file name: ");
        return p == std::string::npos ? "" : s.substr(p + 16, s.find('\n', p) - p - 16);
    }
    std::string Session(const std::string& name) { return ReadFile(d_.Folder() + "/" + name + ".trk"); }

    Dialogue d_;
};

TEST_F(TwoSetsKey, RefusalsLeaveTheSetThePartNamesCurrentAndWriteNoReport) {
    struct Case {
        const char* session;
        const char* answers;
        const char* message;
        const char* current;  // data file current afterwards
        bool secondAsked;
    };
    const char* const sizes =
        "\nThe data sets describe different numbers of sampling units (20 in dune.txt and 19 in short.txt): they "
        "must describe the same units in the same order.\n";
    const char* const noMatrix =
        "\nResemblance matrix comparing units is missing for data %s. Define a resemblance measure in the main "
        "menu.\n";
    auto missing = [&](const char* file) {
        char text[300];
        snprintf(text, sizeof text, noMatrix, file);
        return std::string(text);
    };
    const std::string bare = missing("dune.txt"), env = missing("dune_env_nominal.txt");
    const Case cases[] = {
        {"env", "7\n", "\nThe analysis is not permitted with non-commensurate variables.\n", "dune_env_nominal.txt",
         false},
        {"bare", "1\n", bare.c_str(), "dune.txt", false},
        {"bare", "4\n", bare.c_str(), "dune.txt", false},
        {"bare", "5\n", bare.c_str(), "dune.txt", false},
        {"bare", "8\n", bare.c_str(), "dune.txt", false},
        // The second set lacks the matrix: it becomes current, for key R.
        {"dune", "1\nenv\n", env.c_str(), "dune_env_nominal.txt", true},
        {"dune", "4\ndune\nenv\n", env.c_str(), "dune_env_nominal.txt", true},
        {"dune", "6\nenv\n",
         "\nThe analysis is not permitted with non-commensurate variables in the second data matrix.\n", "dune.txt",
         true},
        {"dune", "1\nshort\n", sizes, "dune.txt", true},
        {"dune", "4\ndune\nshort\n", sizes, "dune.txt", true},
        {"dune", "2\n2\nshort\n", sizes, "dune.txt", true},
        {"dune", "8\nnosuch\nn\n", "Try again? y/n ", "dune.txt", true},
    };
    for (const Case& c : cases) {
        const std::string session = c.current == std::string("dune.txt") ? c.session : "env";
        const std::string before = Session(session);
        const RunResult r = OpenAndK(c.session, c.answers);
        SCOPED_TRACE(std::string(c.session) + " " + c.answers);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Specify now the second data set.") != std::string::npos, c.secondAsked);
        EXPECT_EQ(Current(r), c.current);
        EXPECT_FALSE(r.HasFile("Vidive.txt"));
        EXPECT_EQ(Session(session), before);
    }
    // The menu, and a second set of another size not kept as the second set.
    const RunResult r = OpenAndK("dune", "1\nshort\n");
    EXPECT_NE(r.out.find("Evaluate relations between two sets of variables: \n\t(1) Mantel test\n\t(2) linear "
                         "models\n\t(3) canonical ordination\n\t(4) Partial Mantel test\n\t(5) rate of change\n\t(6) "
                         "Procrustes\n\t(7) RV coefficient (Varnholt 1973)\n\t(8) Rd coefficient (Yarrick & Brodnek "
                         "2013)\n\t(99) return to main menu\n\t\tEnter option: "),
              std::string::npos);
    EXPECT_EQ(Status(r).find("Second data set"), std::string::npos);
    // The set that lacked its matrix is current, the first is held as the second.
    const RunResult s = OpenAndK("dune", "1\nenv\n");
    EXPECT_NE(Status(s).find("Second data set: dune.txt, with 30 variables\n"), std::string::npos) << Status(s);
}

TEST_F(TwoSetsKey, CanonicalOrdinationOnTheEnvironmentalCodes) {
    const RunResult r = OpenAndK("dune", "3\nenv\n2\n12345\n999\nn\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string report = r.File("Vidive.txt");
    // vegan's rda(dune ~ Moisture + Management + Use + Manure) on the codes;
    // the probabilities of a replay of the draws for seed 12345.
    const double corr[] = {0.9488038933, 0.8642827258, 0.8067009076, 0.8680336706};
    const double P[] = {0.001001, 0.014014, 0.0630631, 0.002002};
    const size_t results = report.find("random permutations of unit vectors in matrix Y):\n");
    ASSERT_NE(results, std::string::npos);
    for (int a = 0; a < 4; a++) {
        const std::vector<double> v =
            After(report.substr(results), "Canonical axis " + std::to_string(a + 1) + ":\t");
        ASSERT_EQ(v.size(), 2u) << a;
        EXPECT_NEAR(v[0], corr[a], 1e-5);
        EXPECT_NEAR(v[1], P[a], 1e-6);
    }
    const std::vector<double> eig =
        After(report, "Canonical eigenvalues (space defined by explanatory variables x): \n");
    ASSERT_GE(eig.size(), 1u);
    EXPECT_NEAR(eig[0], 21.92934948, 1e-3);
    EXPECT_EQ(Current(r), "dune.txt");
}

TEST_F(TwoSetsKey, LinearModelsWithinTheCurrentSetAgreeWithR) {
    // Achimill and Agrostol on Lolipere and Poaprat (columns 1, 2, 17, 19).
    // First no factor (asked again), then a 2 among the marks (read again).
    std::string zeros, responses = "1 2 1", factors;
    for (int j = 0; j < 30; j++) zeros += "0 ";
    for (int j = 2; j < 30; j++) responses += " 0";
    for (int j = 0; j < 30; j++) factors += (j == 16 || j == 18) ? "1 " : "0 ";
    const RunResult r = OpenAndK(
        "dune", "2\n1\n" + responses + "\n" + zeros + "\n" + responses + "\n" + factors + "\nn\n2\n12345\n99\n0\nn\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(r.out, "\nMark at least one response variable and at least one factor variable.\n"), 1);
    EXPECT_EQ(Count(r.out, "\nSpecify response variables (0/1):  "), 2);
    EXPECT_NE(r.out.find("\nVariables:                       Achimill Agrostol Airaprae "), std::string::npos);
    EXPECT_EQ(Count(r.out, "See results on file Vidive.txt."), 1);
    const std::string report = r.File("Vidive.txt");
    // R: lm(cbind(Achimill, Agrostol) ~ Lolipere + Poaprat, dune).
    struct Row {
        const char* label;
        double achimill, agrostol;
    };
    const Row rows[] = {{"\nbo:\t", 0.3794301598, 3.16104934},
                        {"\nLolipere b1:\t", 0.2640722724, -0.5472550382},
                        {"\nPoaprat b2:\t", -0.1438498958, 0.3441626129},
                        {"response variables:\t", 0.1826039773, 0.1494230277}};
    for (const Row& row : rows) {
        const std::vector<double> v = After(report, row.label);
        ASSERT_EQ(v.size(), 2u) << row.label;
        EXPECT_NEAR(v[0], row.achimill, 1e-5 * std::fabs(row.achimill)) << row.label;
        EXPECT_NEAR(v[1], row.agrostol, 1e-5 * std::fabs(row.agrostol)) << row.label;
    }
    EXPECT_EQ(Current(r), "dune.txt");
    EXPECT_EQ(Status(r).find("Second data set"), std::string::npos);
}

TEST_F(TwoSetsKey, RatesOfChangeWorkedByHand) {
    // The series: one variable 0, 2, 5, 9, Euclidean distances 2, 3, 4 between
    // consecutive units. References: first variable 0, 1, 3, 6 and sums of
    // absolute differences 1, 2, 4 ("ref"), or 1, 0, 6 with units 2 and 3
    // alike ("flat").
    d_.Put("series.txt", "0\n2\n5\n9\n");
    d_.Put("ref.txt", "0 0\n1 0\n3 0\n6 1\n");
    d_.Put("flat.txt", "0 0\n1 0\n1 0\n6 1\n");
    const RunResult made = Fresh(Load("ref.txt", 1, 4, 2, false, "ref", false) + Resemblance(2) +
                                  Load("flat.txt", 1, 4, 2, false, "flat") + Resemblance(2) +
                                  Load("series.txt", 1, 4, 1, false, "series") + Resemblance(3) + "x\n");
    ASSERT_EQ(made.status, 0) << made.err;
    struct Case {
        const char* second;
        const char* rates;
    };
    const Case cases[] = {
        // v = 2/1, 3/2, 4/4 at (0+1)/2, (1+3)/2, (3+6)/2; a = (1.5-2)/1.5,
        // (1-1.5)/3 at 4/3, 10/3.
        {"ref",
         "\nReference scale:\t0.5\t2\t4.5\t\nRate of change (velocity):\t2\t1.5\t1\t\n\n"
         "Reference scale:\t1.3333\t3.3333\t\nAcceleration:\t-0.33333\t-0.16667\t\n"},
        // The series against itself: v = 1, a = 0, on its own scale.
        {"series",
         "\nReference scale:\t1\t3.5\t7\t\nRate of change (velocity):\t1\t1\t1\t\n\n"
         "Reference scale:\t2.3333\t5.3333\t\nAcceleration:\t0\t0\t\n"},
        // No reference distance between units 2 and 3: no velocity there, and
        // no acceleration next to it.
        {"flat",
         "\nReference scale:\t0.5\t1\t3.5\t\nRate of change (velocity):\t2\t3.4028e+38\t0.66667\t\n\n"
         "Reference scale:\t0.66667\t2.6667\t\nAcceleration:\t3.4028e+38\t3.4028e+38\t\n"},
    };
    for (const Case& c : cases) {
        const RunResult r = OpenAndK("series", std::string("5\n") + c.second + "\n");
        SCOPED_TRACE(c.second);
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string report = r.File("Vidive.txt");
        EXPECT_EQ(report.find("TEVLAN version 3.85b\n-----"), 0u) << report;
        EXPECT_NE(report.find("RATES OF CHANGE\n"), std::string::npos);
        EXPECT_EQ(report.substr(report.size() - std::string(c.rates).size()), c.rates) << report;
        EXPECT_EQ(Current(r), "series.txt");
    }
}

TEST_F(TwoSetsKey, ProcrustesFitsTheSecondSetOntoTheFirst) {
    d_.Put("a.txt", DuneColumns(0, 15));
    d_.Put("b.txt", DuneColumns(15, 30));
    d_.Put("c.txt", DuneColumns(15, 25));
    d_.Put("d.txt", DuneColumns(15, 16));
    const RunResult made = Fresh(Load("b.txt", 1, 20, 15, true, "half2", false) +
                                  Load("c.txt", 1, 20, 10, true, "ten") + Load("d.txt", 1, 20, 1, true, "one") +
                                  Load("a.txt", 1, 20, 15, true, "half1") + "x\n");
    ASSERT_EQ(made.status, 0) << made.err;
    // The first half standardised: columns centred, total sum of squares 1.
    Table X = Numbers(DuneColumns(0, 15));
    X.resize(20);
    double total = 0;
    for (int j = 0; j < 15; j++) {
        double m = 0;
        for (auto& row : X) m += row[j] / 20;
        for (auto& row : X) row[j] -= m, total += row[j] * row[j];
    }
    for (auto& row : X)
        for (double& x : row) x /= std::sqrt(total);

    // The title gives the second set's own variables; a set with fewer than
    // the first's 15 is fitted in 15 dimensions, which one line tells.
    struct Case {
        const char* second;
        int variables;
        double statistic;  // vegan's protest; 0 where none is checked
    };
    for (const Case& c : {Case{"half2", 15, 0.6834361056}, Case{"ten", 10, 0}, Case{"one", 1, 0}}) {
        const RunResult r = OpenAndK("half1", std::string("6\n") + c.second + "\n2\n12345\n99\nn\n");
        SCOPED_TRACE(c.second);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string report = r.File("Vidive.txt");
        const std::vector<double> t = After(report, "Procrustes correlation (r):\t");
        ASSERT_EQ(t.size(), 1u);
        if (c.statistic != 0) {
            EXPECT_NEAR(t[0], c.statistic, 1e-5);
        }
        std::string title = " with 20 units (rows) and " + std::to_string(c.variables) +
                            " variables (columns) after symmetric Procrustes adjustment for maximum fit with session "
                            "a.txt, according to Lavonne & Lavonne (2012 p.534):\n";
        if (c.variables < 15)
            title += "The adjusted matrix has 15 columns, the larger number of variables of the two sessions (15 in "
                     "a.txt).\n";
        const size_t p = report.find(title);
        ASSERT_NE(p, std::string::npos) << report;
        Table fit = Numbers(report.substr(p + title.size()));
        fit.resize(20);
        // The fit is t times a rotation of the second set standardised alike:
        // its sum of squares is t^2 s, and the first set's distance to it
        // s (1 - t^2), s the common sum of squares of the two tables.
        double ssFit = 0;
        for (const auto& row : fit) {
            ASSERT_EQ(row.size(), 15u);
            for (double f : row) ssFit += f * f;
        }
        const double s = ssFit / (t[0] * t[0]), scale = std::sqrt(s);
        double residual = 0;
        for (int i = 0; i < 20; i++)
            for (int j = 0; j < 15; j++) residual += std::pow(scale * X[i][j] - fit[i][j], 2);
        EXPECT_NEAR(s, 19, 1e-2);
        EXPECT_NEAR(residual, s * (1 - t[0] * t[0]), 1e-3 * s);
    }
}

// A model that cannot be fitted, two equal factors or 25 factors for 20
// units, is refused once on the console and once in the report, under the
// block's title and status; the library's own message comes once at most.
TEST_F(TwoSetsKey, ASingularModelIsRefusedOnce) {
    std::string twin;
    for (int i = 0; i < 20; i++) twin += std::to_string(i % 7) + " " + std::to_string(i % 7) + "\n";
    d_.Put("twin.txt", twin);
    d_.Put("many.txt", DuneColumns(0, 25));
    const RunResult made =
        Fresh(Load("twin.txt", 1, 20, 2, false, "twin", false) + Load("many.txt", 1, 20, 25, true, "many") + "x\n");
    ASSERT_EQ(made.status, 0) << made.err;
    std::string responses = "1", factors = "0";
    for (int j = 1; j < 30; j++) responses += " 0", factors += j <= 25 ? " 1" : " 0";
    struct Case {
        std::string answers;
        const char* title;
    };
    const char* const models = "LINEAR MODELS: RANDOMIZATION TEST\n";
    const char* const rda = "REDUNDANCY ANALYSIS (RDA) \n";
    const Case cases[] = {
        {"2\n1\n" + responses + "\n" + factors + "\nn\n2\n12345\n19\n0\nn\n", models},
        {"2\n2\ntwin\ny\n2\n12345\n19\n0\ny\n", models},
        {"3\ntwin\n2\n12345\n19\nn\n", rda},
        {"3\nmany\n2\n12345\n19\nn\n", rda},
    };
    const std::string refusal = "\nThe regression model cannot be fitted: the factors are collinear or too many for "
                                "the number of sampling units.\n";
    for (const Case& c : cases) {
        const RunResult r = OpenAndK("dune", c.answers);
        SCOPED_TRACE(c.answers);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_LE(Count(r.err, "gaussj: Singular Matrix"), 1) << r.err;
        EXPECT_EQ(Count(r.out, refusal), 1) << r.out;
        const std::string report = r.File("Vidive.txt");
        EXPECT_EQ(Count(report, refusal), 1) << report;
        EXPECT_EQ(report.find(std::string("\n") + std::string(79, '-') + "\n" + c.title), 0u) << report;
        EXPECT_LT(report.find("Analysis status"), report.find(refusal));
        EXPECT_EQ(report.find("matrix:\n"), std::string::npos) << report;
    }
}

TEST_F(TwoSetsKey, AReportThatCannotBeOpenedIsSkipped) {
    std::filesystem::remove(d_.Folder() + "/Vidive.txt");
    std::filesystem::create_directory(d_.Folder() + "/Vidive.txt");
    std::string marks;
    for (int j = 0; j < 30; j++) marks += j < 2 ? "1 " : "0 ";
    const std::string dune = Session("dune");
    for (const std::string& k : {"2\n1\n" + marks + "\n" + marks + "\ny\n", std::string("5\ndune\n")}) {
        const RunResult r = OpenAndK("dune", k, true);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("\ncan't open Vidive.txt: is a folder \n"), std::string::npos);
        EXPECT_EQ(r.out.find("See results"), std::string::npos);
        EXPECT_EQ(r.out.find("HYPOTHESIS TESTING"), std::string::npos);
        EXPECT_EQ(Current(r), "dune.txt");
        EXPECT_EQ(Session("dune"), dune);
    }
}

// The input ends at each question of the partial Mantel test and of the
// linear models within the set: the orderly end, the session as it was (and,
// under the sanitizers, no snapshot left unreleased).
TEST_F(TwoSetsKey, TheInputEndsAtEveryQuestion) {
    std::string marks;
    for (int j = 0; j < 30; j++) marks += j < 2 ? "1 " : "0 ";
    const std::string dune = Session("dune");
    const std::vector<std::vector<std::string>> scripts = {
        {"4", "dune", "dune", "2", "1", "9"},
        {"2", "1", marks, marks, "n", "2", "1", "9", "0"},
    };
    for (const auto& script : scripts)
        for (size_t cut = 0; cut < script.size(); cut++) {
            std::string answers = "n\nn\no\ndune\nk\n";
            for (size_t a = 0; a < cut; a++) answers += script[a] + "\n";
            std::filesystem::remove(d_.Folder() + "/Vidive.txt");
            const RunResult r = d_.Run(answers);
            SCOPED_TRACE(answers);
            EXPECT_EQ(r.status, 1);
            EXPECT_NE(r.err.find("END OF FILE !!!"), std::string::npos) << r.err;
            EXPECT_EQ(Session("dune"), dune);
        }
}

}  // namespace
