// The study of ordination stopping rules (key U) through the whole program:
// runs read from an options file, the results, summary and population files
// they leave, damaged inputs, and the current data set left as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "reference_eigen.h"

namespace {

namespace fs = std::filesystem;
const size_t npos = std::string::npos;

// The answers of a run in mode e: name n N p, rank and weights, no noise,
// normal deviates, no transformation, correlations between variables.
std::string ModeE(const std::string& name, const std::string& sizes, const std::string& weights) {
    return name + " " + sizes + " e " + weights + " n 2 0 2 17 ";
}

// Principal components, the eleven flags, T, alpha, the save flag, A and
// the bootstrap options.
std::string Rest(const std::string& flags, const std::string& tail) { return "2 " + flags + " " + tail + "\n"; }

// A small study: 30 units of 5 variables with two eigenvalues in the
// proportions 3:1, criteria 6 to 9 and 11 on 10 data sets.
std::string Example(const std::string& name) {
    return ModeE(name, "30 30 5", "2 3 1") + Rest("0 0 0 0 0 1 1 1 1 0 1", "10 0.05 n 2 10 10 9 n");
}

std::set<std::string> SummaryFiles(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("SummaryResults", 0) == 0) names.insert(name);
    }
    return names;
}

// A summary line: the proportion of each axis, then the results file.
std::string SummaryLine(const std::vector<int>& retained, const std::string& name) {
    std::string s;
    for (int x : retained) s += std::to_string(x) + "\t";
    return s + "\t" + name + "\n";
}

std::string G(double x) {
    char b[32];
    snprintf(b, sizeof b, "%g", x);
    return b;
}

// The n x p tables saved as "Simulated data set k (units in rows):".
std::vector<refeig::Matrix> Tables(const std::string& report, int n, int p) {
    std::vector<refeig::Matrix> tables;
    const std::string head = " (units in rows):\n";
    for (size_t at = report.find(head); at != npos; at = report.find(head, at + 1)) {
        std::istringstream s(report.substr(at + head.size()));
        refeig::Matrix t(n, refeig::Vec(p));
        for (auto& row : t)
            for (double& x : row) s >> x;
        tables.push_back(t);
    }
    return tables;
}

double Correlation(const refeig::Matrix& t, int a, int b) {
    const size_t n = t.size();
    double ma = 0, mb = 0;
    for (const auto& r : t) ma += r[a] / n, mb += r[b] / n;
    double sab = 0, saa = 0, sbb = 0;
    for (const auto& r : t) {
        sab += (r[a] - ma) * (r[b] - mb);
        saa += (r[a] - ma) * (r[a] - ma);
        sbb += (r[b] - mb) * (r[b] - mb);
    }
    return sab / std::sqrt(saa * sbb);
}

TEST(StoppingRuleStudy, TheExampleStudyAndItsSummaryLines) {
    Dialogue d;
    d.Put("opts.txt", Example("res1.txt"));
    // The blank line and the X go to the main menu once the batch is done.
    RunResult r = d.Run("U s 12345 f opts.txt\n\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Count(r.out, "MAIN MENU"), 2);
    const std::string res = r.File("res1.txt");
    for (const char* text : {"Sample sizes at 3 sampling step(s):\t10\t20\t30\t\n", "Considering up to 2 ordination axes.\n",
                             "Specified  eigenvalues (proportions):\t0.75\t0.25\t0\t0\t0\t\n",
                             "Mean of generated eigenvalues (proportions) in the 10 samples:\t0.75\t0.25\t0\t0\t0\t\n",
                             "and eigenvectors found in the sample with specified noise:\t1\t1\t\n",
                             "normal distribution.\n", "\nData transformation:\tnone",
                             "\nRandom number initializer: 12345\n"})
        EXPECT_NE(res.find(text), npos) << text << "\n" << res;

    // The rules worked by hand on the proportions 0.75 and 0.25 of p = 5.
    const double prop[2] = {0.75, 0.25};
    const double H = -(0.75 * std::log(0.75) + 0.25 * std::log(0.25)), D = std::exp(H);
    ASSERT_NEAR(D, 1.754765, 1e-6);
    auto stick = [](int k) {
        double s = 0;
        for (int i = k; i <= 5; i++) s += 1.0 / i;
        return s / 5;
    };
    std::vector<int> guttman, broken, harbeck, harbeck1;
    for (int a = 0; a < 2; a++) {
        guttman.push_back(5 * prop[a] > 1 ? 1 : 0);
        broken.push_back(prop[a] >= stick(a + 1) ? 1 : 0);
        harbeck.push_back(a + 1 < D ? 1 : 0);
        harbeck1.push_back(a + 1 < D - 1 ? 1 : 0);
    }
    EXPECT_EQ(r.File("SummaryResultsKGuttman_1.txt"), SummaryLine(guttman, "res1.txt"));
    EXPECT_EQ(r.File("SummaryResultsKGuttman_07.txt"), SummaryLine(guttman, "res1.txt"));
    EXPECT_EQ(r.File("SummaryResultsBrokenStick.txt"), SummaryLine(broken, "res1.txt"));
    EXPECT_EQ(r.File("SummaryResultsHarbeck.txt"), SummaryLine(harbeck, "res1.txt"));
    EXPECT_EQ(r.File("SummaryResultsHarbeck_1.txt"), SummaryLine(harbeck1, "res1.txt"));
    EXPECT_EQ(broken, (std::vector<int>{1, 0}));
    EXPECT_EQ(SummaryFiles(d.Folder()),
              (std::set<std::string>{"SummaryResultsKGuttman_1.txt", "SummaryResultsKGuttman_07.txt",
                                     "SummaryResultsBrokenStick.txt", "SummaryResultsHarbeck.txt",
                                     "SummaryResultsHarbeck_1.txt"}));
    const std::string population = r.File("PopulationData_res1.txt");
    EXPECT_NE(population.find("\nres1.txt\nSpecified eigenvalues for generating this data set:\t3.75\t1.25\t0\t0\t0\t"),
              npos)
        << population;
    EXPECT_NE(population.find("Eigenvalues:\t3.7"), npos);
}

// A disc that fills up within a summary line: the torn line is taken back,
// so that the next run's line follows the earlier ones whole.
TEST(StoppingRuleStudy, ASummaryLineThatDoesNotFitIsTakenBack) {
    Dialogue d;
    const std::string earlier = SummaryLine({1, 0}, "old.txt");
    d.Put("SummaryResultsBrokenStick.txt", earlier);
    d.Put("opts.txt", Example("res1.txt"));
    d.LimitFileSize(static_cast<long>(earlier.size()) + 5);
    RunResult r = d.Run("U s 12345 f opts.txt\n\nx\n");
    EXPECT_NE(r.err.find("\nFAIL TO PRINT ON FILE SummaryResultsBrokenStick.txt !!!\n"), npos) << r.err;
    EXPECT_EQ(r.File("SummaryResultsBrokenStick.txt"), earlier);
    d.LimitFileSize(-1);
    r = d.Run("U s 12345 f opts.txt\n\nx\n");
    EXPECT_EQ(r.File("SummaryResultsBrokenStick.txt"), earlier + SummaryLine({1, 0}, "res1.txt"));
}

// Two runs in one file, and a key script that ends with them: the main
// menu meets the end of the standard input.
TEST(StoppingRuleStudy, TwoRunsInOneFile) {
    Dialogue d;
    d.Put("opts.txt", Example("res1.txt") + Example("res2.txt"));
    RunResult r = d.Run("U a f opts.txt\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("END OF FILE"), npos);
    for (const char* f : {"res1.txt", "res2.txt", "PopulationData_res1.txt", "PopulationData_res2.txt"})
        EXPECT_TRUE(r.HasFile(f)) << f;
    const std::set<std::string> summaries = SummaryFiles(d.Folder());
    EXPECT_EQ(summaries.size(), 5u);
    for (const std::string& s : summaries) {
        const std::string text = r.File(s);
        EXPECT_EQ(Count(text, "\n"), 2) << s;
        EXPECT_NE(text.find("\tres1.txt\n"), npos);
        EXPECT_EQ(text.find("\tres2.txt\n"), text.size() - 10) << text;
    }
}

// Mode c: with n = N every table has exactly the correlations of the
// matrix (to the printed digits), drawn from uniform deviates whatever the
// distribution asked; a sample of a larger population does not.
TEST(StoppingRuleStudy, CorrelationMatrixGivesItsCorrelationsAndEigenvalues) {
    const refeig::Matrix R = {{1, .5, .2}, {.5, 1, .4}, {.2, .4, 1}};
    Dialogue d;
    d.Put("R.txt", "1 .5 .2\n.5 1 .4\n.2 .4 1\n");
    auto run = [](const std::string& name, const std::string& sizes, const char* code) {
        return name + " " + sizes + " 3 c R.txt " + code + " 0 2 17 " +
               Rest("0 0 0 0 0 1 0 0 0 0 0", "3 0.05 y 1 " + sizes.substr(0, 2) + " 1 n");
    };
    d.Put("opts.txt", run("exact.txt", "50 50", "5") + run("sample.txt", "20 50", "2"));
    RunResult r = d.Run("U s 3 f opts.txt\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    const std::string exact = r.File("exact.txt");
    const auto tables = Tables(exact, 50, 3);
    ASSERT_EQ(tables.size(), 3u) << exact;
    for (const auto& t : tables)
        for (int a = 0; a < 3; a++)
            for (int b = a + 1; b < 3; b++) EXPECT_NEAR(Correlation(t, a, b), R[a][b], 1e-4);
    const refeig::Eigen e = refeig::Jacobi(R);
    const std::string eigenLine = "\nEigenvalues of specified correlation matrix:\t" + G(e.values[0]) + "\t" +
                                  G(e.values[1]) + "\t" + G(e.values[2]) + "\t\n";
    EXPECT_EQ(eigenLine, "\nEigenvalues of specified correlation matrix:\t1.74644\t0.805996\t0.447562\t\n");
    EXPECT_NE(exact.find(eigenLine), npos) << exact;
    EXPECT_NE(exact.find("Random numbers were drawn from a uniform distribution.\n"), npos);
    EXPECT_NE(r.File("sample.txt").find("Random numbers were drawn from a normal distribution.\n"), npos);

    double largest = 0;
    for (const auto& t : Tables(r.File("sample.txt"), 20, 3))
        for (int a = 0; a < 3; a++)
            for (int b = a + 1; b < 3; b++) largest = std::max(largest, std::fabs(Correlation(t, a, b) - R[a][b]));
    EXPECT_GT(largest, 0.01);
}

// Criterion 3 on data with one strong axis (weights 5 1 1 1): the first
// eigenvalue beats every permuted one in every data set.
TEST(StoppingRuleStudy, EigenvalueTestRetainsAStrongAxis) {
    Dialogue d;
    d.Put("opts.txt", ModeE("strong.txt", "30 30 4", "4 5 1 1 1") +
                          Rest("0 0 1 0 0 0 0 0 0 0 0", "5 0.05 n 1 30 40 n"));
    RunResult r = d.Run("U s 11 f opts.txt\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.File("SummaryResultsEig.txt"), SummaryLine({1}, "strong.txt"));
}

// Criteria 2 to 5 with the bootstrap's save answer: every permutation goes
// to "Vidive.txt", the results file keeps its own blocks only.
TEST(StoppingRuleStudy, PermutationDumpsGoToTheReport) {
    Dialogue d;
    d.Put("opts.txt", ModeE("dumps.txt", "12 12 3", "2 2 1") + Rest("0 1 1 1 1 0 0 0 0 0 0", "2 0.05 y 1 12 3 y"));
    RunResult r = d.Run("U s 5 f opts.txt\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string report = r.File("Vidive.txt"), res = r.File("dumps.txt");
    EXPECT_EQ(Count(report, "Test criterion: RVDIM (Kresh 2008)\n"), 2);
    EXPECT_EQ(Count(report, "Test criterion: eigenvalue itself (ter Frelle 1988), pseudo-F ratio (ter Frelle 1988)\n"),
              2);
    EXPECT_EQ(res.find("RANDOMIZATION TEST"), npos);
    EXPECT_NE(res.find("RVDIM and p-value (Kresh) for axis 1:\t"), npos);
    EXPECT_NE(res.find("P-value for the average random eigenvalue (Castor-Lim et al. 2005) for axis 1:\t"), npos);
}

// A seed gives the same files on one thread and on all, the bootstrap
// (criterion 1) included; the settings menus follow the language.
TEST(StoppingRuleStudy, SameSeedSameFilesOnAnyNumberOfThreads) {
    const std::string opts =
        "r.txt 20 40 4 e 3 3 2 1 n 2 0 2 17 2 1 0 1 0 0 1 0 0 0 1 0 2 0.1 y 2 5 5 8 n\n";
    std::vector<std::string> files;
    for (const char* processors : {"1", "0"}) {
        Dialogue d;
        d.Put("Tevlan.prf", std::string("06Apr2012\n0\n1\n0\n0\n0\n0\n5\n6\n") + processors + "\n");
        d.Put("opts.txt", opts);
        RunResult r = d.Run("U s 99 f opts.txt\nx\n");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_NE(r.out.find("(0)restaurar dados originais (sem transformacao)"), npos);
        EXPECT_NE(r.out.find("GENERATING DATA plus ORDINATION:"), npos);
        std::string all;
        for (const char* f : {"r.txt", "PopulationData_r.txt", "SummaryResultsBoot.txt", "SummaryResultsEig.txt",
                              "SummaryResultsKGuttman_1.txt", "SummaryResultsBartlett.txt"})
            all += Normalise(r.File(f)) + "\f";
        EXPECT_NE(all.find("Bootstrapped ordination probabilities with simulated data set 2:\n"), npos);
        files.push_back(all);
    }
    EXPECT_EQ(files[0], files[1]);
}

// The generator's vector menus hold the double adjustment, and their
// headings say so in either language.
TEST(StoppingRuleStudy, VectorMenuHeadingsNameTheDoubleAdjustment) {
    struct Case {
        const char* preferences;
        const char* yes;
        const char* variables;
        const char* units;
        const char* note;
    };
    const Case cases[] = {
        {"06Apr2012\n1\n0\n", "y", "\nVector transformation within variables:\n",
         "\nVector transformation within sampling units:\n",
         " (includes double adjustment based on marginal totals)\n\t(0)"},
        {"06Apr2012\n0\n1\n", "s", "\nTransformacao vetorial dentro de variaveis:\n",
         "\nTransformacao vetorial dentro de unidades amostrais:\n",
         " (inclui ajuste duplo baseado nos totais marginais)\n\t(0)"},
    };
    for (const Case& c : cases) {
        Dialogue d;
        d.Put("Tevlan.prf", c.preferences);
        d.Put("opts.txt", std::string("t.txt 10 10 3 e 2 2 1 n 2 1 0 2 3 ") + c.yes + " 4 2 17 " +
                              Rest("0 0 0 0 0 1 0 0 0 0 0", "1 0.05 n 1 10 1 n"));
        RunResult r = d.Run("U s 2 f opts.txt\nx\n");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_NE(r.out.find(std::string(c.variables) + c.note), npos) << r.out;
        EXPECT_NE(r.out.find(std::string(c.units) + c.note), npos) << r.out;
    }
}

// Runs that cannot be carried out are skipped after their answers, with a
// message; answers out of range are asked again; rules that need other
// scores than principal coordinates of variables give are not applied.
TEST(StoppingRuleStudy, RefusedRunsAreSkippedAndTheNextIsWritten) {
    Dialogue d;
    fs::create_directory(d.Folder() + "/folder.txt");
    d.Put("short.txt", "1 .5 .5 1 .2\n");
    d.Put("word.txt", "1 .5 .2 .5 one .4 .2 .4 1\n");
    d.Put("asym.txt", "1 .5 .2 .6 1 .4 .2 .4 1\n");
    const std::string modeC = " 2 0 2 17 " + Rest("0 0 0 0 0 1 0 0 0 0 0", "2 0.05 n 1 10 1 n");
    std::string opts = ModeE("folder.txt", "10 10 3", "1 1") + Rest("0 0 0 0 0 1 0 0 0 0 0", "2 0.05 n 1 10 1 n");
    for (const char* matrix : {"missing.txt", "short.txt", "word.txt", "asym.txt"})
        opts += std::string("c_") + matrix + " 10 10 3 c " + matrix + modeC;
    // An n of 1, weights that sum to 0 and an A of 4 are asked again.
    opts += "good.txt 1 12 12 3 e 2 0 0 2 1 n 2 0 2 17 1 1 1 0 0 0 1 0 0 0 0 0 2 0.05 n 4 2 12 1 n\n";
    d.Put("opts.txt", opts);
    RunResult r = d.Run("U s 2 f opts.txt\nx\n");
    ASSERT_EQ(r.status, 1) << r.out << r.err;
    for (const char* text :
         {"can't open folder.txt", "can't open missing.txt", "File short.txt ends before the 3 x 3 correlation matrix",
          "File word.txt was not read: the value for row 2, column 2 is \"one\"", "File asym.txt: row 1, column 2"})
        EXPECT_NE((r.out + r.err).find(text), npos) << text;
    EXPECT_EQ(Count(r.out, "Incorrect input") + Count(r.err, "Incorrect input"), 2);
    EXPECT_EQ(Count(r.out, "Enter the variances' weights along each one of the 2 dimensions: "), 2);
    EXPECT_EQ(Count(r.out, "\nThe weights sum to 0: they are asked again.\n"), 1);
    EXPECT_EQ(Count(r.out, "\nCriterion (1) compares the scores of sampling units"), 1);
    EXPECT_EQ(Count(r.out, "\nCriterion (2) needs principal components of variables"), 1);

    std::set<std::string> written;
    for (const auto& e : fs::directory_iterator(d.Folder())) written.insert(e.path().filename().string());
    EXPECT_EQ(written, (std::set<std::string>{"folder.txt", "short.txt", "word.txt", "asym.txt", "opts.txt",
                                              "good.txt", "PopulationData_good.txt", "SummaryResultsKGuttman_1.txt"}));
    EXPECT_EQ(Count(r.File("SummaryResultsKGuttman_1.txt"), "\n"), 1);
    EXPECT_EQ(r.File("good.txt").find("Bootstrapped ordination (Hallek"), npos);
}

// Options key O refuses are refused here with its lines when the ordination
// is chosen; the run is skipped once its answers are read, and the next runs.
TEST(StoppingRuleStudy, OrdinationsKeyORefusesAreSkipped) {
    struct Case {
        const char* name;
        const char* options;  // transformation, resemblance, ordination
        const char* message;
    };
    const char* const ca = "Data transformation and/or resemblance measure are not compatible.\n";
    const char* const pca = "Resemblance measure is not compatible.\n";
    const Case cases[] = {
        {"ca_none.txt", "0 2 1 3", ca},
        {"ca_measure.txt", "1 0 1 6 2 17 3", ca},
        {"pca_measure.txt", "0 1 3 2", pca},
        {"good.txt", "0 1 3 1", nullptr},
    };
    std::string opts;
    for (const Case& c : cases)
        opts += std::string(c.name) + " 10 10 3 e 2 2 1 n 2 " + c.options + " 0 0 0 0 0 1 0 0 0 0 0 2 0.05 n 1 10 1 n\n";
    Dialogue d;
    d.Put("opts.txt", opts);
    RunResult r = d.Run("U s 2 f opts.txt\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(Count(r.out, ca), 2);
    EXPECT_EQ(Count(r.out, pca), 1);
    for (const Case& c : cases) {
        const std::string skipped = std::string("\nThe ordination method does not suit the transformation and "
                                                "resemblance measure: run ") + c.name + " is skipped.\n";
        EXPECT_EQ(Count(r.out, skipped), c.message ? 1 : 0) << c.name;
        EXPECT_EQ(r.HasFile(c.name), !c.message) << c.name;
    }
    EXPECT_EQ(Count(r.File("SummaryResultsKGuttman_1.txt"), "\t\tgood.txt\n"), 1);
    EXPECT_EQ(Count(r.File("SummaryResultsKGuttman_1.txt"), "\n"), 1);
}

// Correspondence analysis is defined for tables of values of at least 0 with
// positive row and column totals. Runs whose variables are centred (n = N)
// are refused when it is chosen; otherwise each table that does not qualify
// (counted here from the saved tables) is left out, the proportions are of
// the others, and no file holds an undefined number.
// Correspondence analysis of square roots: the variables' scores are
// centred by the column totals of the square roots, the table analysed.
TEST(StoppingRuleStudy, CorrespondenceScoresTakeTheMarginsOfTheTableAnalysed) {
    Dialogue d;
    d.Put("R.txt", "1 0.3 0.2\n0.3 1 0.1\n0.2 0.1 1\n");
    d.Put("opts.txt", "ca.txt 8 30 3 c R.txt 7 1 2 1 6 1 1 3 0 0 0 0 0 1 0 0 0 0 0 2 0.05 y 2 8 1 n\n");
    const std::string res = d.Run("U s 3 f opts.txt\nx\n").File("ca.txt");
    const std::vector<refeig::Matrix> tables = Tables(res, 8, 3);
    ASSERT_EQ(tables.size(), 2u) << res;
    for (size_t k = 0, at = 0; k < 2; k++) {
        std::istringstream s(res.substr(at = res.find("\nScores:\n", at + 1) + 9));
        for (int axis = 0; axis < 2; axis++) {
            double centre = 0, size = 0, score;
            for (int j = 0; j < 3 && s >> score; j++) {
                double total = 0;
                for (const auto& row : tables[k]) total += std::sqrt(row[j]);
                centre += total * score, size += std::fabs(total * score);
            }
            EXPECT_LT(std::fabs(centre), 1e-4 * size) << k << " " << axis;
        }
    }
}

TEST(StoppingRuleStudy, CorrespondenceAnalysisOnlyOfTablesItIsDefinedFor) {
    struct Case {
        const char* name;
        const char* generation;  // n N p, the population, exponential deviates
        int undefined;           // -1: refused; -2: some of the 6, not all
    };
    const Case cases[] = {{"whole_e.txt", "8 8 2 e 2 2 1 n", -1},
                          {"whole_c.txt", "8 8 2 c R.txt", -1},
                          {"centred.txt", "8 30 2 e 2 2 1 n", 6},
                          {"positive.txt", "8 30 2 c R.txt", 0},
                          {"mixed.txt", "4 30 2 c Rneg.txt", -2}};
    std::string opts;
    for (const Case& c : cases)
        opts += std::string(c.name) + " " + c.generation + " 7 1 0 1 6 1 1 3 0 0 0 0 0 1 0 0 0 0 0 6 0.05 y 1 " +
                std::string(c.generation).substr(0, 1) + " 1 n\n";
    Dialogue d;
    d.Put("opts.txt", opts), d.Put("R.txt", "1 0\n0 1\n"), d.Put("Rneg.txt", "1 -0.3\n-0.3 1\n");
    RunResult r = d.Run("U s 3 f opts.txt\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    for (const Case& c : cases) {
        const std::string res = r.File(c.name);
        EXPECT_EQ(Count(r.out, std::string("cannot be applied to these simulated tables: run ") + c.name),
                  c.undefined == -1);
        EXPECT_EQ(r.HasFile(c.name), c.undefined != -1) << c.name;
        if (c.undefined == -1) continue;
        int undefined = 0;
        for (const refeig::Matrix& t : Tables(res, c.generation[0] - '0', 2)) {
            double low = 0, row = 1, column[2] = {0, 0};
            for (const auto& x : t) {
                low = std::min({low, x[0], x[1]}), row = std::min(row, x[0] + x[1]);
                column[0] += x[0], column[1] += x[1];
            }
            undefined += low < 0 || row <= 0 || column[0] <= 0 || column[1] <= 0;
        }
        EXPECT_TRUE(c.undefined == undefined || (c.undefined == -2 && undefined > 0 && undefined < 6))
            << c.name << " " << undefined;
        EXPECT_EQ(Count(res, "is undefined (it needs no negative value"), undefined) << c.name;
        EXPECT_EQ(Count(res, "being undefined (it needs no negative value and a positive total in every row and "
                             "column):\t " + std::to_string(undefined) + "\n"), undefined > 0) << c.name;
        EXPECT_NE(r.File("PopulationData_" + std::string(c.name)).find("population is undefined"), npos);
    }
    // Two columns leave one axis, which carries the whole inertia: each
    // table tested retains it, and a run with none tested has no line.
    EXPECT_EQ(r.File("SummaryResultsKGuttman_1.txt"), "1\t\tpositive.txt\n1\t\tmixed.txt\n");
    for (const auto& e : fs::directory_iterator(d.Folder()))
        EXPECT_EQ(ReadFile(e.path().string()).find("nan"), npos) << e.path();
}

// An output name whose results or population file would replace the
// options file being read or the correlation matrix is refused and asked
// again; the input stays as it was.
TEST(StoppingRuleStudy, AnOutputNeverReplacesAnInput) {
    struct Case {
        const char* optionsFile;
        const char* answers;  // up to the distribution
        const char* message;
        const char* written;
    };
    const Case cases[] = {
        {"opts.txt", "opts.txt o.txt 10 10 3 e 2 2 1 n", "File opts.txt holds the options being read", "o.txt"},
        {"PopulationData_p.txt", "p.txt q.txt 10 10 3 e 2 2 1 n",
         "File PopulationData_p.txt holds the options being read", "q.txt"},
        {"opts.txt", "R.txt 10 10 3 c R.txt c.txt", "File R.txt holds the correlation matrix", "c.txt"},
    };
    const std::string matrix = "1 .5 .2\n.5 1 .4\n.2 .4 1\n";
    for (const Case& c : cases) {
        Dialogue d;
        d.Put("R.txt", matrix);
        const std::string opts =
            std::string(c.answers) + " 2 0 2 17 " + Rest("0 0 0 0 0 1 0 0 0 0 0", "1 0.05 n 1 10 1 n");
        d.Put(c.optionsFile, opts);
        RunResult r = d.Run(std::string("U s 2 f ") + c.optionsFile + "\nx\n");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(Count(r.out, std::string("\n") + c.message + ": it cannot also store the output.\nFile name to store "
                                                              "output: "),
                  1)
            << r.out;
        EXPECT_EQ(r.File(c.optionsFile), opts);
        EXPECT_EQ(r.File("R.txt"), matrix);
        EXPECT_NE(r.File(c.written).find("FINAL RESULTS"), npos) << c.written;
    }
}

// The study's own questions take y under either language; the menus and the
// bootstrap options it shares follow the language, so that the Portuguese
// file says s at the bootstrap's last question and the study is the same.
TEST(StoppingRuleStudy, SharedQuestionsFollowTheLanguage) {
    std::string results[2];
    for (int portuguese = 0; portuguese < 2; portuguese++) {
        Dialogue d;
        d.Put("opts.txt", std::string("res.txt 12 12 4 e 2 3 1 y 0.5 2 0 2 17 1 0 0 0 0 0 1 0 0 0 0 0 2 0.05 y 2 6 6 2 ") +
                              (portuguese ? "s" : "y") + "\n");
        RunResult r = d.Run(std::string(portuguese ? "e l c\n" : "") + "U s 7 f opts.txt\nx\n");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_NE(r.out.find(portuguese ? "Guardar resultados intermediarios? s/n" : "Save intermediate results? y/n"),
                  npos);
        results[portuguese] = Normalise(r.File("res.txt"));
    }
    EXPECT_NE(results[0].find("FINAL RESULTS"), npos) << results[0];
    EXPECT_EQ(results[1], results[0]);
}

// An options file that cannot be opened brings the question back; one that
// ends inside a run ends the program.
TEST(StoppingRuleStudy, OptionsFileMissingOrCut) {
    Dialogue d;
    d.Put("cut.txt", "cut.txt 30 30 5 e");
    RunResult r = d.Run("U s 1 f nosuch.txt f cut.txt\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("can't open nosuch.txt"), npos);
    EXPECT_EQ(Count(r.out, "Read input from file (f) or from the keyboard (k)? f/k "), 2);
    EXPECT_NE(r.err.find("END OF FILE"), npos);
    EXPECT_FALSE(r.HasFile("PopulationData_cut.txt"));
}

// The generator leaves the current data set, its options and its
// resemblance as they were: the species' correlations are still ordinated.
TEST(StoppingRuleStudy, CurrentDataSetIsLeftAsItWas) {
    Dialogue d;
    d.PutExample("dune.txt");
    // A study of sampling units by Euclidean distances and principal
    // coordinates, square root transformation.
    d.Put("opts.txt", "pc.txt 10 10 3 e 2 2 1 n 2 1 2 0 1 3 1 0 0 0 0 0 1 0 0 0 0 0 2 0.05 n 1 10 1 n\n");
    RunResult r = d.Run("n\nn\ndune.txt\n1\n20\n30\nN\n1\nn\nr\n2\n17\n0\nn\nU s 4 f opts.txt\no\n2\nn\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    ASSERT_TRUE(r.HasFile("pc.txt"));
    EXPECT_NE(r.File("pc.txt").find("Data transformation:\t(2)square root (sqrt(|x|))"), npos);
    const size_t after = r.out.rfind("GENERATING DATA plus ORDINATION:");
    const std::string status = r.out.substr(after, r.out.find("MAIN MENU", after) - after);
    EXPECT_NE(status.find("Dimensions: 20 sampling units, 30 variables\n"), npos) << status;
    EXPECT_NE(status.find("Scalar transformation: (0)none\n"), npos);
    EXPECT_NE(status.find("Resemblance measure: (17)correlation, (2)comparing variables\n"), npos);
    EXPECT_NE(r.out.find("\nSee results on file Vidive.txt.\n", after), npos);

    // The generator's menus: no expansion, no transformation that needs
    // groups or co-occurrences, measures 1 to 23.
    const size_t start = r.out.find("GENERATING DATA plus ORDINATION AXES TESTS:");
    const std::string menus = r.out.substr(start, after - start);
    EXPECT_NE(menus.find("\t(3)logarithm (log(|x+1|))\n"), npos);
    EXPECT_NE(menus.find("\t(20)percentage difference"), npos);
    for (const char* absent : {"(5)expand contingency", "(3)other transformations", "(29)Mahalanobis"})
        EXPECT_EQ(menus.find(absent), npos) << absent;
}

}  // namespace
