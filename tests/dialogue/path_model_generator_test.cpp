// Key J through the whole program: a study read from an options file, its
// results file on one thread and on all, the saved blocks, and the answers
// and files that cannot be used.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

// The chain 1 -> 2 -> 3 -> 4 with paths of 1.5, and the variables' levels.
const char* const kChain = "0 1.5 0 0\n0 0 1.5 0\n0 0 0 1.5\n0 0 0 0\n0 1 2 3\n";
// Claims (1, 3 | 2), (1, 4 | 3) and (2, 4 | 1, 3) over four single variables.
const char* const kClaims = "3\n1 0 1 0\n1\n0 1 0 0\n1 0 0 1\n1\n0 0 1 0\n0 1 0 1\n2\n1 0 1 0\n";

// The options up to the claims: output, p, population, n, coefficients,
// deviates, criterion, tests, first save, road, null model, permutations,
// restriction, second save.
std::string Options(const std::string& middle, const std::string& saves = "n\n", const std::string& perm = "199\n",
                    const std::string& secondSave = "n\n") {
    return "res.txt\n4 0 50\ncoef.txt\n" + middle + saves + "1\n1\n" + perm + "0\n" + secondSave + kClaims;
}

const char* const kStart = "J\ns\n12345\nf\nopts.txt\n";

// The results file without its time stamps and the processor count of the
// status, which differs between thread counts by design.
std::string Comparable(const std::string& text) {
    static const std::regex processors("processors the program may use: [0-9]+");
    return std::regex_replace(Normalise(text), processors, "processors the program may use: <N>");
}

std::vector<double> Proportions(const std::string& report) {
    const std::string heading = "ranging from 0.05 to 0.9:\t";
    const size_t at = report.find(heading);
    std::vector<double> p;
    if (at == std::string::npos) return p;
    std::istringstream s(report.substr(at + heading.size(), report.find('\n', at) - at - heading.size()));
    for (double x; s >> x;) p.push_back(x);
    return p;
}

// A study of 20 tests of the chain by Procrustes correlations, 199
// permutations of every node, read from an options file; the main menu then
// reads its X from the rest of that file.
TEST(PathModelGenerator, StudyFromAnOptionsFile) {
    Dialogue d;
    d.Put("coef.txt", kChain);
    d.Put("opts.txt", Options("2\n1\n20\n") + "X\n");
    RunResult r = d.Run(kStart);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("GENERATING PATH MODEL AND ASSESSING VALIDITY TEST ACCURACY:\nVersion 20Oct2017\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("The random number generator is a 'mt19937' generator\n"), std::string::npos);
    const std::string report = r.File("res.txt");
    EXPECT_EQ(report.find("\n\n\nFINAL RESULTS:\n"), 0u) << report;
    for (const char* line :
         {"Number of sampling units in simulated data sets:\t 50\n", "Number of variables:\t 4\n",
          "\n\nSpecified path coefficient matrix:\n0\t1.5\t0\t0\t\n0\t0\t1.5\t0\t\n",
          "\nRandom numbers were drawn from a normal distribution.\n", "Number of permutations: 199\n",
          "Number of simulated data sets (tests performed):\t 20\n", "Test criterion:\t(1) Procrustes correlation\n",
          "\nBasis set:\nVariable pair (blocks):\t1\t3\tCovariable(s) (blocks):\t2\t\n"
          "Variable pair (blocks):\t1\t4\tCovariable(s) (blocks):\t3\t\n"
          "Variable pair (blocks):\t2\t4\tCovariable(s) (blocks):\t1\t3\t\n",
          "\nRandom number initializer: 12345\n"})
        EXPECT_NE(report.find(line), std::string::npos) << line << report;
    const std::vector<double> p = Proportions(report);
    ASSERT_EQ(p.size(), 10u) << report;
    for (size_t l = 0; l < p.size(); l++) {
        EXPECT_GE(p[l], 0.0);
        EXPECT_LE(p[l], 1.0);
        // Each proportion is a count of the 20 tests.
        EXPECT_DOUBLE_EQ(p[l] * 20, std::round(p[l] * 20));
        if (l > 0) {
            EXPECT_LE(p[l], p[l - 1]);
        }
    }
}

// Under Portuguese preferences the study speaks English, the shared
// dialogues it runs included, and the language comes back afterwards, also
// when the options file ends in the middle.
TEST(PathModelGenerator, RunsInEnglishAndGivesTheLanguageBack) {
    Dialogue d;
    d.Put("coef.txt", kChain);
    d.Put("opts.txt", Options("2\n1\n2\n") + "X\n");
    RunResult r = d.Run("e\nl\nc\n" + std::string(kStart));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const size_t last = r.out.rfind("Specify covariables or blocks of covariables (0/1): ");
    ASSERT_NE(last, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Permutation restrictions: \n\t(0) none\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("MENU PRINCIPAL", last), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("MAIN MENU", last), std::string::npos) << r.out;
    // The next start is Portuguese from the preferences.
    d.Put("opts.txt", "res.txt\n4 0 50\ncoef.txt\n2\n");
    r = d.Run(kStart);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ARQUIVO INCOMPLETO !!!"), std::string::npos) << r.err;
}

// Both save answers, the Rd criterion and the null model of the first node:
// each data set, its node matrix, its permutations and its test in the
// results file, the same on one thread and on all.
TEST(PathModelGenerator, SavedBlocksOfEachDataSetAndPermutation) {
    std::string reports[2];
    for (int all = 0; all < 2; all++) {
        Dialogue d;
        d.Put("coef.txt", kChain);
        std::string options = Options("2\n4\n2\n", "y\n", "3\n", "y\n");
        options.replace(options.find("1\n1\n3\n"), 6, "1\n2\n3\n");
        options.replace(options.find("4 0 50"), 6, "4 0 20");
        d.Put("opts.txt", options + "X\n");
        RunResult r = d.Run(std::string(all ? "e\nm\n0\nc\n" : "e\nm\n1\nc\n") + kStart);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        reports[all] = r.File("res.txt");
    }
    const std::string& report = reports[0];
    for (const char* text :
         {"\n\nSimulated data set 2 (units in rows):\n", "\n\nPairwise correlations between 4 variables (or blocks of "
                                                        "variables):\n1\t",
          "Test criterion:\n\tResemblance measure: Rd coefficient according to Yarrick & Brodnek (2013)\n",
          "\nCorrelation matrix permuted according to Tessop et al. (1986) for testing independence for variable "
          "block pair:\t2\t4\tCovariable(s) (block):\t1\t3\t",
          "\nCorrelation matrix with permuted blocks:", "\nResemblance matrix:\t4\n",
          "\nPermutation method:\tPermutation of only the first variable (or block of variables) for testing each "
          "d-separation statement (Tessop et al. 1986).\n",
          "\nResults for the specified (partial) Procrustes correlations:\nCorrelation r =\t",
          "Variable block pair:\t2\t4\tCovariable(s) block:\t1\t3\t\nFisher's C statistics (Granvik 2000):\t",
          "Test criterion:\t(3) Rd coefficient (Yarrick & Brodnek 2013)\n"})
        EXPECT_NE(report.find(text), std::string::npos) << text;
    EXPECT_EQ(Count(report, "(units in rows):\n"), 2);
    EXPECT_EQ(Count(report, "\nIteration: "), 2 * 2);
    EXPECT_EQ(Count(report, "\nPATH ANALYSIS\n"), 2 + 1);
    EXPECT_EQ(Comparable(reports[1]), Comparable(report));

    // The node matrix of the first data set is the Rd (squared distance
    // correlation) of its saved columns, computed here from the doubly
    // centred distances |x_u - x_v|.
    const int n = 20;
    std::istringstream table(report.substr(report.find("(units in rows):\n") + 17));
    std::vector<std::vector<double>> x(4, std::vector<double>(n));
    for (int u = 0; u < n; u++)
        for (int j = 0; j < 4; j++) table >> x[j][u];
    std::vector<std::vector<double>> centred;
    for (const std::vector<double>& column : x) {
        std::vector<double> D(n * n), row(n, 0.0);
        double all = 0.0;
        for (int u = 0; u < n; u++)
            for (int v = 0; v < n; v++) {
                D[u * n + v] = std::fabs(column[u] - column[v]);
                row[u] += D[u * n + v] / n;
                all += D[u * n + v] / (n * n);
            }
        for (int u = 0; u < n; u++)
            for (int v = 0; v < n; v++) D[u * n + v] += all - row[u] - row[v];
        centred.push_back(D);
    }
    auto dot = [&](int a, int c) {
        double s = 0.0;
        for (int k = 0; k < n * n; k++) s += centred[a][k] * centred[c][k];
        return s;
    };
    std::istringstream nodes(report.substr(report.find("blocks of variables):\n") + 22));
    for (int a = 0; a < 4; a++)
        for (int c = 0; c < 4; c++) {
            double printed;
            nodes >> printed;
            EXPECT_NEAR(printed, dot(a, c) / std::sqrt(dot(a, a) * dot(c, c)), 2e-5) << a << " " << c;
        }
}

// What cannot be used: the study's other answers are still read, so that
// the main menu finds its X in the options file, and no test runs.
TEST(PathModelGenerator, UnusableFilesAndAnswers) {
    const struct {
        const char* name;
        std::string stdinText;
        std::string options;  // opts.txt
        std::string coefficients;
        bool outputFolder;  // a folder takes the output's name
        int status;
        const char* err;     // expected on the standard error ("" none)
        const char* out;     // expected on the console
        bool tested;         // final results written
    } cases[] = {
        {"options file missing, asked again", "J\na\nf\nmissing.txt\nf\nopts.txt\n", Options("2\n1\n2\n") + "X\n",
         kChain, false, 0, "\ncan't open missing.txt \n",
         "Read input from file (f) or from the keyboard (k)? f/k Enter name of text file with all the options: "
         "Read input from file (f) or from the keyboard (k)? f/k ",
         true},
        {"coefficient file missing", kStart, Options("2\n1\n2\n") + "X\n", "", false, 0, "\ncan't open coef.txt \n",
         "\nNo test was run: the path coefficients could not be read from file coef.txt.\n", false},
        // A file short of B's last row would make the levels a row of B, an
        // empty one a model of zeros: both say what is missing.
        {"coefficient file short", kStart, Options("2\n1\n2\n") + "X\n", "0 1.5\n", false, 0,
         "\nEnd of file coef.txt\n",
         "\nFile coef.txt was not read: it ends after 2 numbers, and the 4 x 4 path coefficients and the 4 levels "
         "need 20.\n",
         false},
        {"coefficient file a row short", kStart, Options("2\n1\n2\n") + "X\n",
         "0.0000 1.5000 0.0000 0.0000\n0.0000 0.0000 1.5000 0.0000\n0.0000 0.0000 0.0000 1.5000\n0 1 2 3\n", false,
         0, "\nEnd of file coef.txt\n",
         "\nFile coef.txt was not read: it ends after 16 numbers, and the 4 x 4 path coefficients and the 4 levels "
         "need 20.\n",
         false},
        {"coefficient file empty", kStart, Options("2\n1\n2\n") + "X\n", "\n", false, 0, "\nEnd of file coef.txt\n",
         "\nFile coef.txt was not read: it ends after 0 numbers", false},
        {"word in the coefficients", kStart, Options("2\n1\n2\n") + "X\n", "0 1,5 0 0\n", false, 0, "",
         "\nFile coef.txt was not read: the value for row 1, column 2 is \"1,5\", which is not a number.", false},
        {"level not whole", kStart, Options("2\n1\n2\n") + "X\n", "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1.5 2 3\n",
         false, 0, "",
         "\nFile coef.txt was not read: the value for the level of variable 2 is 1.5, which is not a whole "
         "number.\n",
         false},
        {"output cannot be created", kStart, Options("2\n1\n2\n") + "X\n", kChain, true, 1,
         "\ncan't open res.txt: is a folder \n", "\nNo test was run: the output file res.txt could not be created.\n", false},
        {"output named as the options file", kStart,
         "opts.txt\n4 0 50\ncoef.txt\n2\n1\n2\nn\n1\n1\n9\n0\nn\n" + std::string(kClaims) + "X\n", kChain, false, 0,
         "", "\nFile opts.txt holds the options being read: it cannot also store the output.\n", false},
        {"output named as the coefficient file", kStart,
         "coef.txt\n4 0 50\ncoef.txt\n2\n1\n2\nn\n1\n1\n9\n0\nn\n" + std::string(kClaims) + "X\n", kChain, false, 0,
         "", "\nFile coef.txt holds the path coefficients: it cannot also store the output.\n", false},
        {"answers out of range and a covariable in the pair asked again", kStart,
         "res.txt\n1 4\n0\n2 50\ncoef.txt\n2\n1\n2\nn\n1\n1\n9\n0\nn\n1\n1 0 1 0\n1\n1 0 0 0\n0 1 0 0\nX\n", kChain,
         false, 0, "\nIncorrect input = 1. Reenter.",
         "\nError! A covariable cannot be one of the variables or blocks of the pair. Try again.\n", true},
        {"restrictions over the generator's 12 units", kStart,
         "res.txt\n4 0 12\ncoef.txt\n2\n1\n2\nn\n1\n1\n9\n1\n2\nk\n1 1 1 1 1 1 2 2 2 2 2 2\nn\n" +
             std::string(kClaims) + "X\n",
         kChain, false, 0, "\nThe 12 sampling units cannot be the cells of a resemblance matrix",
         "Sampling unit:    \t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\t12\nNesting groups:   ", true},
        {"options file ends", kStart, "res.txt\n4 0 50\ncoef.txt\n2\n", kChain, false, 1, "END OF FILE !!!", "",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Dialogue d;
        if (!c.coefficients.empty()) d.Put("coef.txt", c.coefficients);
        d.Put("opts.txt", c.options);
        if (c.outputFolder) std::filesystem::create_directory(d.Folder() + "/res.txt");
        RunResult r = d.Run(c.stdinText);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        if (*c.err) {
            EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.err, "");
        }
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        if (c.status == 0) {
            EXPECT_EQ(Count(r.out, "MAIN MENU"), 2);
        }
        EXPECT_EQ(r.File("res.txt").find("FINAL RESULTS") != std::string::npos, c.tested);
        if (!c.tested && !c.outputFolder) {
            EXPECT_EQ(r.File("opts.txt"), c.options);
        }
        EXPECT_EQ(r.File("coef.txt"), c.coefficients);
    }
}

}  // namespace
