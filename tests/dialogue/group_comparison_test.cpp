// Key P through the whole program on the dune data grouped by management
// (and by use, from the nominal environmental table): the sums of squares,
// F, MRPP and contrasts computed here from the data, the default test series,
// the restriction dialogue and what the test leaves unchanged.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

using Matrix = std::vector<std::vector<double>>;

const int kUnits = 20, kSpecies = 30;

// Key N on dune.txt with its own labels, no data matrix in the report.
const char* const kLoad = "n\nn\ndune.txt\n1\n20\n30\nN\n2\nn\n";
// Key G's answers for one factor, management, read from its file.
const char* const kManagement = "1\nManagement\nf\ndune_groups_management.txt\n";
// The prologue with seed 12345.
const char* const kSeed = "2\n12345\n";

std::vector<double> Numbers(const std::string& text, size_t count) {
    std::istringstream in(text);
    std::vector<double> x;
    for (double v; x.size() < count && in >> v;) x.push_back(v);
    return x;
}

Matrix Dune() {
    const std::vector<double> x = Numbers(ReadFile(std::string(TEVLAN_EXAMPLES) + "/dune.txt"), kUnits * kSpecies);
    Matrix m(kUnits, std::vector<double>(kSpecies));
    for (int i = 0; i < kUnits; i++)
        for (int j = 0; j < kSpecies; j++) m[i][j] = x[i * kSpecies + j];
    return m;
}

// Column c (from 0) of the nominal environmental table.
std::vector<int> Environment(int c) {
    const std::vector<double> x = Numbers(ReadFile(std::string(TEVLAN_EXAMPLES) + "/dune_env_nominal.txt"), 80);
    std::vector<int> g(kUnits);
    for (int i = 0; i < kUnits; i++) g[i] = static_cast<int>(x[i * 4 + c]);
    return g;
}
std::vector<int> Management() { return Environment(1); }
std::vector<int> Use() { return Environment(2); }

std::string GroupFile(const std::vector<std::vector<int>>& factors) {
    std::string s;
    for (const std::vector<int>& f : factors)
        for (int g : f) s += std::to_string(g) + " ";
    return s + "\n";
}

// Dissimilarities between the units, d(x, y).
Matrix Distances(const std::function<double(const std::vector<double>&, const std::vector<double>&)>& d) {
    const Matrix x = Dune();
    Matrix D(kUnits, std::vector<double>(kUnits, 0.0));
    for (int i = 0; i < kUnits; i++)
        for (int j = 0; j < kUnits; j++) D[i][j] = i == j ? 0.0 : d(x[i], x[j]);
    return D;
}

// The distance of a similarity s: sqrt(s(x, x) + s(y, y) - 2 s(x, y)).
Matrix FromSimilarity(const std::function<double(const std::vector<double>&, const std::vector<double>&)>& s) {
    return Distances([&](const std::vector<double>& a, const std::vector<double>& b) {
        return std::sqrt(s(a, a) + s(b, b) - 2 * s(a, b));
    });
}

double Mean(const std::vector<double>& a) {
    double s = 0;
    for (double v : a) s += v;
    return s / a.size();
}

double Covariance(const std::vector<double>& a, const std::vector<double>& b) {
    const double ma = Mean(a), mb = Mean(b);
    double s = 0;
    for (size_t k = 0; k < a.size(); k++) s += (a[k] - ma) * (b[k] - mb);
    return s / (a.size() - 1);
}

double Euclidean(const std::vector<double>& a, const std::vector<double>& b) {
    double s = 0;
    for (size_t k = 0; k < a.size(); k++) s += (a[k] - b[k]) * (a[k] - b[k]);
    return std::sqrt(s);
}

// Sum of d^2 over the pairs of the units in, divided by their number.
double Q(const Matrix& D, const std::vector<int>& in) {
    double s = 0;
    int m = 0;
    for (int i = 0; i < kUnits; i++) {
        if (!in[i]) continue;
        m++;
        for (int j = i + 1; j < kUnits; j++)
            if (in[j]) s += D[i][j] * D[i][j];
    }
    return m ? s / m : 0.0;
}

std::vector<int> All() { return std::vector<int>(kUnits, 1); }

std::vector<int> Members(const std::vector<int>& groups, std::set<int> codes) {
    std::vector<int> in(kUnits);
    for (int i = 0; i < kUnits; i++) in[i] = codes.count(groups[i]) ? 1 : 0;
    return in;
}

// Qt minus the sum of Q over the groups.
double Qb(const Matrix& D, const std::vector<int>& groups) {
    double within = 0;
    for (int g : std::set<int>(groups.begin(), groups.end())) within += Q(D, Members(groups, {g}));
    return Q(D, All()) - within;
}

// The reports of the runs in a report file, in order.
std::vector<std::string> Runs(const std::string& report) {
    std::vector<std::string> runs;
    const std::string head = "\nRANDOMIZATION TEST\n";
    for (size_t at = report.find(head); at != std::string::npos;) {
        const size_t next = report.find(head, at + 1);
        runs.push_back(report.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    return runs;
}

// The numbers on the line of a report that begins with label (its n-th
// such line), after the label.
std::vector<double> Line(const std::string& run, const std::string& label, int n = 0) {
    size_t at = 0;
    for (int k = 0; k <= n; k++) {
        at = run.find("\n" + label, k ? at + 1 : 0);
        if (at == std::string::npos) return {};
    }
    const size_t start = at + 1 + label.size();
    std::istringstream in(run.substr(start, run.find('\n', start) - start));
    std::vector<double> x;
    for (std::string w; in >> w;) {
        char* end = nullptr;
        const double v = strtod(w.c_str(), &end);
        if (end && *end == '\0') x.push_back(v);
    }
    return x;
}

void ExpectClose(double actual, double expected, const std::string& what) {
    EXPECT_NEAR(actual, expected, 1e-4 * std::fabs(expected) + 1e-9) << what;
}

TEST(GroupComparisonKey, DefaultOneFactorOverEveryKindOfMeasure) {
    struct Case {
        int measure;
        Matrix D;
    };
    auto crossProduct = [](const std::vector<double>& a, const std::vector<double>& b) {
        double s = 0;
        for (size_t k = 0; k < a.size(); k++) s += a[k] * b[k];
        return s;
    };
    auto correlation = [](const std::vector<double>& a, const std::vector<double>& b) {
        return Covariance(a, b) / std::sqrt(Covariance(a, a) * Covariance(b, b));
    };
    const std::vector<Case> cases = {
        {3, Distances(Euclidean)},
        {20, Distances([](const std::vector<double>& a, const std::vector<double>& b) {
             double num = 0, den = 0;
             for (size_t k = 0; k < a.size(); k++) {
                 num += std::fabs(a[k] - b[k]);
                 den += a[k] + b[k];
             }
             return num / den;
         })},
        // A product moment, a correlation and a covariance are similarities:
        // the test sums the distances they define.
        {1, FromSimilarity(crossProduct)},
        {17, FromSimilarity(correlation)},
        {22, FromSimilarity(Covariance)},
    };
    std::string script = kLoad;
    for (size_t c = 0; c < cases.size(); c++)
        script += "r\n1\n" + std::to_string(cases[c].measure) + "\n0\nn\np\n" + (c ? "n\n" : kManagement) + kSeed +
                  "d\n0\n999\nn\n";
    Dialogue d;
    d.PutExample("dune.txt");
    d.PutExample("dune_groups_management.txt");
    const RunResult r = d.Run(script + "x\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Count(r.out, "\n\nSee results on file Vidive.txt.\n"), 5);
    const std::vector<std::string> runs = Runs(r.File("Vidive.txt"));
    ASSERT_EQ(runs.size(), cases.size());
    const std::vector<int> g = Management();
    for (size_t c = 0; c < cases.size(); c++) {
        const std::string what = "measure " + std::to_string(cases[c].measure) + "\n" + runs[c];
        const std::vector<double> between = Line(runs[c], "Between groups");
        ASSERT_EQ(between.size(), 2u) << what;
        const double qt = Q(cases[c].D, All()), qb = Qb(cases[c].D, g);
        ExpectClose(between[0], qb, what);
        EXPECT_LE(between[1], 0.01) << what;
        EXPECT_GE(between[1], 1.0 / 999) << what;
        ExpectClose(Line(runs[c], "Within groups")[0], qt - qb, what);
        ExpectClose(Line(runs[c], "Total")[0], qt, what);
        EXPECT_NE(runs[c].find("Permuted data were vectors of raw data.\nRandomization restrictions:none\n"),
                  std::string::npos)
            << what;
    }
}

TEST(GroupComparisonKey, AdvancedStatisticsAndContrasts) {
    Dialogue d;
    d.PutExample("dune.txt");
    d.PutExample("dune_groups_management.txt");
    d.Put("use.txt", GroupFile({Use()}));
    // Pseudo-F, MRPP and Qb with all pairwise contrasts by management; then
    // by use, contrasts whose coefficients do not add up to 0 (1 1 -1 among
    // them) or are all 0 refused before 0.1 0.2 -0.3, which adds up to 0
    // only within rounding.
    const std::string advanced = std::string(kSeed) + "a\n";
    const RunResult r =
        d.Run(std::string(kLoad) + "r\n1\n3\n0\nn\np\n" + kManagement + advanced + "2\n0\n0\n0\n999\nn\n" + "p\nn\n" +
              advanced + "3\n0\n0\n0\n999\nn\n" + "p\nn\n" + advanced + "1\n0\n0\n1\n999\nn\n" +
              "p\ny\n1\nUse\nf\nuse.txt\n" + advanced + "1\n0\n0\n2\n1\n1 1 1\n1 1 -1\n0 0 0\n0.1 0.2 -0.3\n999\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<std::string> runs = Runs(r.File("Vidive.txt"));
    ASSERT_EQ(runs.size(), 4u) << r.File("Vidive.txt");
    const Matrix D = Distances(Euclidean);
    const std::vector<int> g = Management();
    const double qb = Qb(D, g), qw = Q(D, All()) - qb;

    // F = Qb / Qw, printed with Qb.
    const std::vector<double> f = Line(runs[0], "Between groups");
    ASSERT_EQ(f.size(), 3u) << runs[0];
    ExpectClose(f[0], qb, runs[0]);
    ExpectClose(f[1], qb / qw, runs[0]);
    EXPECT_LE(f[2], 0.01);

    // MRPP: the mean distance within each group, weighted by its share of
    // the units.
    double delta = 0;
    for (int code : std::set<int>(g.begin(), g.end())) {
        double sum = 0;
        int pairs = 0, size = 0;
        for (int i = 0; i < kUnits; i++) {
            if (g[i] != code) continue;
            size++;
            for (int j = i + 1; j < kUnits; j++)
                if (g[j] == code) {
                    sum += D[i][j];
                    pairs++;
                }
        }
        delta += static_cast<double>(size) / kUnits * sum / pairs;
    }
    const std::vector<double> mrpp = Line(runs[1], "MRPP:");
    ASSERT_EQ(mrpp.size(), 2u) << runs[1];
    ExpectClose(mrpp[0], delta, runs[1]);
    EXPECT_LE(mrpp[1], 0.01);

    // Each pairwise contrast is the Qb of its two groups, in the order
    // (1,2), (1,3), (1,4), (2,3), (2,4), (3,4).
    const size_t heading = runs[2].find("   Contrasts:");
    ASSERT_NE(heading, std::string::npos) << runs[2];
    std::istringstream lines(runs[2].substr(runs[2].find('\n', heading) + 1));
    for (int a = 1; a <= 4; a++)
        for (int b = a + 1; b <= 4; b++) {
            std::string line;
            std::getline(lines, line);
            const std::vector<double> x = Line("\n" + line, "");
            ASSERT_EQ(x.size(), 6u) << line;
            const std::vector<int> in = Members(g, {a, b});
            const double expected = Q(D, in) - Q(D, Members(g, {a})) - Q(D, Members(g, {b}));
            ExpectClose(x[4], expected, line);
        }

    // Use has three groups: the contrast opposes the first two to the third.
    EXPECT_NE(r.out.find("\nEnter the number of contrasts for factor Use (max. 12): Specify the coefficients in each "
                         "contrast:\nGroups:       \t 1 2 3\nContrast 1: \tContrast 1: \tContrast 1: \tContrast 1: \t"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(Count(r.err, "Reenter! Coefficients must sum zero!!\n"), 3) << r.err;
    const std::vector<int> u = Use();
    const double contrast = Q(D, All()) - Q(D, Members(u, {1, 2})) - Q(D, Members(u, {3}));
    const size_t at = runs[3].find("   Contrasts:");
    ASSERT_NE(at, std::string::npos) << runs[3];
    const std::vector<double> x = Line(runs[3].substr(at), "");
    ASSERT_EQ(x.size(), 5u) << runs[3];
    ExpectClose(x[3], contrast, runs[3]);
}

// MRPP tests no contrast: contrasts asked for, all pairs or one specified,
// are answered in one line of its report instead of an order of groups.
TEST(GroupComparisonKey, MrppSaysItTestsNoContrastsAskedFor) {
    Dialogue d;
    d.PutExample("dune.txt");
    d.PutExample("dune_groups_management.txt");
    const std::string mrpp = std::string(kSeed) + "a\n3\n0\n0\n";
    const RunResult r = d.Run(std::string(kLoad) + "r\n1\n3\n0\nn\np\n" + kManagement + mrpp + "1\n19\nn\np\nn\n" +
                              mrpp + "2\n1\n1 -1 0 0\n19\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<std::string> runs = Runs(r.File("Vidive.txt"));
    ASSERT_EQ(runs.size(), 2u) << r.File("Vidive.txt");
    for (const std::string& run : runs) {
        EXPECT_EQ(run.find("Order of groups"), std::string::npos) << run;
        const size_t at = run.find("\nMRPP:\t");
        ASSERT_NE(at, std::string::npos) << run;
        EXPECT_EQ(run.substr(run.find('\n', at + 1) + 1, 71),
                  "Contrasts were not tested: the MRPP statistic has no contrast results.\n")
            << run;
        EXPECT_EQ(Count(run, "Contrasts"), 1);
    }
}

TEST(GroupComparisonKey, NeitherTheSessionNorACancelledReportChange) {
    Dialogue d;
    d.PutExample("dune.txt");
    d.PutExample("dune_groups_management.txt");
    // Jaccard between the units of a presence/absence copy of dune.
    std::string pa;
    const Matrix x = Dune();
    for (const std::vector<double>& row : x) {
        for (double v : row) pa += v > 0 ? "1\t" : "0\t";
        pa += "\n";
    }
    d.Put("pa.txt", pa);
    const RunResult made = d.Run("n\nn\npa.txt\n4\n20\n30\nN\n1\nn\nr\n1\n11\n0\nn\ng\n" +
                                 std::string(kManagement) + "x\n");
    ASSERT_EQ(made.status, 0) << made.out << made.err;
    const std::string session = made.File("Sessao.trk"), report = made.File("Vidive.txt");
    ASSERT_NE(session, "");

    // 99 at the contrasts, with the report to be erased at the first
    // analysis: nothing is written.
    const RunResult cancelled = d.Run(std::string("y\ne\np\nn\n") + kSeed + "d\n99\nx\n");
    ASSERT_EQ(cancelled.status, 0) << cancelled.out << cancelled.err;
    EXPECT_NE(cancelled.out.find("\t(99)return to main menu\n\t\tEnter option: \nAnalysis status:"),
              std::string::npos)
        << cancelled.out;
    EXPECT_EQ(Count(cancelled.out, "See results on file Vidive.txt."), 0);
    EXPECT_EQ(cancelled.File("Vidive.txt"), report);
    EXPECT_EQ(cancelled.File("Sessao.trk"), session);

    // A test on the distances sqrt(2 (1 - s)) of the Jaccard similarities s;
    // the session, similarities and all, is written again as it was.
    const RunResult tested = d.Run(std::string("y\na\np\nn\n") + kSeed + "d\n0\n99\nn\nx\n");
    ASSERT_EQ(tested.status, 0) << tested.out << tested.err;
    EXPECT_EQ(tested.File("Sessao.trk"), session);
    const std::vector<std::string> runs = Runs(tested.File("Vidive.txt"));
    ASSERT_EQ(runs.size(), 1u);
    const Matrix D = Distances([](const std::vector<double>& a, const std::vector<double>& b) {
        int both = 0, either = 0;
        for (size_t k = 0; k < a.size(); k++) {
            both += a[k] > 0 && b[k] > 0;
            either += a[k] > 0 || b[k] > 0;
        }
        return std::sqrt(2 * (1 - static_cast<double>(both) / either));
    });
    ExpectClose(Line(runs[0], "Between groups")[0], Qb(D, Management()), runs[0]);
    ExpectClose(Line(runs[0], "Total")[0], Q(D, All()), runs[0]);
}

// Residuals of the dune table after removing the means of the groups of
// each factor listed (mode 1: x - mean(a); mode 2: x - mean(a) - mean(b) +
// the grand mean).
Matrix ResidualTable(const std::vector<std::vector<int>>& factors) {
    const Matrix x = Dune();
    Matrix r = x;
    std::vector<double> grand(kSpecies, 0.0);
    for (int j = 0; j < kSpecies; j++) {
        for (int i = 0; i < kUnits; i++) grand[j] += x[i][j];
        grand[j] /= kUnits;
    }
    for (const std::vector<int>& f : factors)
        for (int j = 0; j < kSpecies; j++)
            for (int i = 0; i < kUnits; i++) {
                double sum = 0;
                int m = 0;
                for (int u = 0; u < kUnits; u++)
                    if (f[u] == f[i]) {
                        sum += x[u][j];
                        m++;
                    }
                r[i][j] -= sum / m;
            }
    for (size_t extra = 1; extra < factors.size(); extra++)
        for (int i = 0; i < kUnits; i++)
            for (int j = 0; j < kSpecies; j++) r[i][j] += grand[j];
    return r;
}

Matrix EuclideanOf(const Matrix& x) {
    Matrix D(kUnits, std::vector<double>(kUnits, 0.0));
    for (int i = 0; i < kUnits; i++)
        for (int j = 0; j < kUnits; j++) D[i][j] = Euclidean(x[i], x[j]);
    return D;
}

// Key G's answers for two factors read from a file the test wrote.
std::string TwoFactors(bool blocks, const std::string& second) {
    return std::string("2\n") + (blocks ? "y\n" + second : "n\nManagement\n" + second) + "\nf\ntwo.txt\n";
}

TEST(GroupComparisonKey, DefaultSeriesOfTwoAndThreeFactorsAndABlockDesign) {
    Dialogue d;
    d.PutExample("dune.txt");
    const std::vector<int> m = Management(), u = Use(), w = Environment(0);
    d.Put("two.txt", GroupFile({m, u}));
    d.Put("three.txt", GroupFile({w, m, u}));
    const std::string series = std::string(kSeed) + "d\n0\n99\nn\n";
    const RunResult r = d.Run(std::string(kLoad) + "r\n1\n3\n0\nn\np\n" + TwoFactors(false, "Use") + series +
                              "p\ny\n3\nn\nMoisture\nManagement\nUse\nf\nthree.txt\n" + series + "p\ny\n" +
                              TwoFactors(true, "Use") + series + "p\ny\n" + TwoFactors(false, "Use") + kSeed +
                              "d\n0\n99\np\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    const std::string report = r.File("Vidive.txt");
    const std::vector<std::string> runs = Runs(report);
    ASSERT_EQ(runs.size(), 4u) << report;
    const Matrix D = Distances(Euclidean);
    auto cells = [](const std::vector<int>& a, const std::vector<int>& b) {
        std::vector<int> c(kUnits);
        for (int i = 0; i < kUnits; i++) c[i] = a[i] * 100 + b[i];
        return c;
    };
    auto p = [](const std::vector<double>& x) { return x.size() >= 2 && x.back() > 0 && x.back() <= 1; };

    // Two factors: each main effect, the interaction Qb(cells) - Qb(A) -
    // Qb(B) and the cells, every one with its P, under the series' notes.
    const std::string& two = runs[0];
    EXPECT_NE(two.find("\nVectors of raw data were used to generate probabilities for the main effects while "
                       "vectors of residuals were used for double interactions (both factor effects removed)."),
              std::string::npos)
        << two;
    const std::vector<double> a = Line(two, "Between groups", 0), b = Line(two, "Between groups", 1),
                              ab = Line(two, "Management x Use      "), all = Line(two, "Between groups", 2);
    ExpectClose(a[0], Qb(D, m), two);
    ExpectClose(b[0], Qb(D, u), two);
    ExpectClose(ab[0], Qb(D, cells(m, u)) - Qb(D, m) - Qb(D, u), two);
    ExpectClose(all[0], Qb(D, cells(m, u)), two);
    EXPECT_TRUE(p(a) && p(b) && p(ab) && p(all)) << two;

    // Three factors: every pair and the three-factor term have a P.
    const std::string& three = runs[1];
    const std::vector<int> wm = cells(w, m), wu = cells(w, u), mu = cells(m, u);
    const double threeWay = Qb(D, cells(wm, u)) - (Qb(D, wm) - Qb(D, w) - Qb(D, m)) -
                            (Qb(D, wu) - Qb(D, w) - Qb(D, u)) - (Qb(D, mu) - Qb(D, m) - Qb(D, u)) - Qb(D, w) -
                            Qb(D, m) - Qb(D, u);
    const std::vector<double> t = Line(three, "Moisture  x Management x Use      ");
    ExpectClose(t[0], threeWay, three);
    EXPECT_TRUE(p(t)) << three;
    for (const char* pair : {"Moisture  x Management", "Moisture  x Use      ", "Management x Use      "})
        EXPECT_TRUE(p(Line(three, pair))) << pair << three;

    // The block design: one run within the blocks, the block factor without
    // P and without interactions.
    const std::string& blocks = runs[2];
    std::string within = "\nRandom permutation within nesting groups:\t";
    for (int code : m) within += " " + std::to_string(code);
    EXPECT_NE(blocks.find(within + "\n"), std::string::npos) << blocks;
    EXPECT_EQ(Line(blocks, "Between groups", 0).size(), 1u) << blocks;
    EXPECT_TRUE(p(Line(blocks, "Between groups", 1))) << blocks;
    // The interaction of blocks and use is part of the error.
    ExpectClose(Line(blocks, "Within groups")[0], Q(D, All()) - Qb(D, m) - Qb(D, u), blocks);
    EXPECT_EQ(blocks.substr(0, blocks.find("Mean vectors")).find(" x "), std::string::npos) << blocks;
    EXPECT_EQ(blocks.find("Vectors of raw data were used"), std::string::npos);

    // The series again with the table of every run's random statistics:
    // the same observed values.
    EXPECT_EQ(Count(report, "RANDOMIZATION TEST - INTERMEDIATE RESULTS"), 4);
    const std::vector<double> tabled = Line(runs[3], "Management x Use      ");
    ASSERT_TRUE(p(tabled)) << runs[3];
    EXPECT_EQ(tabled[0], ab[0]);
}

// The dune codes read as qualitative states, compared by simple matching:
// the series tests the main effects and the cells on the distances
// sqrt(2 (1 - s)), but residuals of states mean nothing, so the interaction
// is not tested.
TEST(GroupComparisonKey, QualitativeDataLeaveTheInteractionUntested) {
    Dialogue d;
    d.PutExample("dune.txt");
    const std::vector<int> m = Management(), u = Use();
    d.Put("two.txt", GroupFile({m, u}));
    const RunResult r = d.Run("n\nn\ndune.txt\n3\n20\n30\nN\n2\nn\nr\n1\n12\n0\nn\np\n" + TwoFactors(false, "Use") +
                              kSeed + "d\n0\n99\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<std::string> runs = Runs(r.File("Vidive.txt"));
    ASSERT_EQ(runs.size(), 1u) << r.File("Vidive.txt");
    const std::string& report = runs[0];
    const Matrix D = Distances([](const std::vector<double>& a, const std::vector<double>& b) {
        int same = 0;
        for (size_t k = 0; k < a.size(); k++) same += a[k] == b[k];
        return std::sqrt(2 * (1 - static_cast<double>(same) / a.size()));
    });
    std::vector<int> cells(kUnits);
    for (int i = 0; i < kUnits; i++) cells[i] = m[i] * 100 + u[i];
    const struct {
        std::vector<double> line;
        double qb;
    } effects[] = {{Line(report, "Between groups", 0), Qb(D, m)},
                   {Line(report, "Between groups", 1), Qb(D, u)},
                   {Line(report, "Between groups", 2), Qb(D, cells)}};
    for (const auto& e : effects) {
        ASSERT_EQ(e.line.size(), 2u) << report;
        ExpectClose(e.line[0], e.qb, report);
        EXPECT_GT(e.line[1], 0) << report;
    }
    const size_t at = report.find("\nManagement x Use      \t");
    ASSERT_NE(at, std::string::npos) << report;
    EXPECT_NE(report.substr(at, report.find('\n', at + 1) - at).find("not testable"), std::string::npos) << report;
}

TEST(GroupComparisonKey, AdvancedResidualsAndAKeptBlockDesign) {
    Dialogue d;
    d.PutExample("dune.txt");
    const std::vector<int> m = Management(), u = Use();
    d.Put("two.txt", GroupFile({m, u}));
    // Residuals of both factors (the same factor twice is asked again);
    // then the block design kept, with the factor of the blocks printed
    // without P.
    const RunResult r = d.Run(std::string(kLoad) + "r\n1\n3\n0\nn\np\n" + TwoFactors(false, "Use") + kSeed +
                              "a\n1\n2\n1 1\n2 1\n0\n0\n0\n99\nn\n" + "p\ny\n" + TwoFactors(true, "Use") + kSeed +
                              "a\n1\n0\nm\n0\n1\n99\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("\nSpecify the factors whose effects are to be removed ( 1.Management 2.Use ): \t\n"
                         "The factors cannot be the same!\n\nSpecify the factors whose effects are to be removed ( "),
              std::string::npos)
        << r.out;
    const std::vector<std::string> runs = Runs(r.File("Vidive.txt"));
    ASSERT_EQ(runs.size(), 2u) << r.File("Vidive.txt");
    const std::string& residual = runs[0];
    EXPECT_NE(residual.find("\nPermuted data were vectors of residuals (effects of factors Use and Management were "
                            "removed)."),
              std::string::npos)
        << residual;
    const Matrix R = EuclideanOf(ResidualTable({u, m}));
    std::vector<int> cells(kUnits);
    for (int i = 0; i < kUnits; i++) cells[i] = m[i] * 100 + u[i];
    ExpectClose(Line(residual, "Between groups", 2)[0], Qb(R, cells), residual);
    ExpectClose(Line(residual, "Total")[0], Q(R, All()), residual);

    // Kept blocks: no pairwise contrasts for them, those of use with P.
    const std::string& blocks = runs[1];
    EXPECT_EQ(Line(blocks, "Between groups", 0).size(), 1u) << blocks;
    EXPECT_EQ(Line(blocks, "Between groups", 1).size(), 2u) << blocks;
    EXPECT_EQ(Count(blocks, "   Contrasts:"), 1) << blocks;
    const std::vector<double> c12 = Line(blocks, " 1 -1 0");
    ASSERT_EQ(c12.size(), 2u) << blocks;
    ExpectClose(c12[0], Q(EuclideanOf(Dune()), Members(u, {1, 2})) - Q(EuclideanOf(Dune()), Members(u, {1})) -
                            Q(EuclideanOf(Dune()), Members(u, {2})),
                blocks);
}

TEST(GroupComparisonKey, SavingEveryPermutationOrTheirTable) {
    Dialogue d;
    d.PutExample("dune.txt");
    d.PutExample("dune_groups_management.txt");
    // 51 permutations: the yes is confirmed, a no asks again, and p writes
    // the table; 50 and yes: no confirmation, every block written.
    const RunResult r = d.Run(std::string(kLoad) + "r\n1\n3\n0\nn\np\n" + kManagement + kSeed +
                              "d\n0\n51\ny\nn\np\n" + "p\nn\n" + kSeed + "d\n0\n50\ny\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(Count(r.out, "Save data and results at each permutation? y/n "), 3);
    EXPECT_EQ(Count(r.out, "Are you sure? y/n There are 51 permutations! "), 1);
    EXPECT_EQ(Count(r.out, "Are you sure?"), 1);
    const std::string report = r.File("Vidive.txt");
    EXPECT_EQ(Count(report, "RANDOMIZATION TEST - INTERMEDIATE RESULTS"), 1);
    EXPECT_EQ(Count(report, "INTERMEDIATE RESULTS Permutation "), 50);
    EXPECT_NE(report.find("INTERMEDIATE RESULTS Permutation 50\n"), std::string::npos);
    EXPECT_EQ(Count(report, "INTERMEDIATE RESULTS Permutation 51"), 0);
}

// Reports without the lines of time and of the number of threads.
std::string Comparable(const std::string& report) {
    std::istringstream in(Normalise(report));
    std::string kept;
    for (std::string line; std::getline(in, line);)
        if (line.find("threads") == std::string::npos && line.find("processors") == std::string::npos)
            kept += line + "\n";
    return kept;
}

TEST(GroupComparisonKey, ASeedGivesTheSameReportOnAnyNumberOfThreads) {
    std::vector<std::string> reports;
    for (const char* processors : {"1", "0", "0"}) {
        Dialogue d;
        d.Put("Tevlan.prf", std::string("06Apr2012\n0\n0\n0\n0\n0\n0\n5\n6\n") + processors + "\n");
        d.PutExample("dune.txt");
        d.Put("two.txt", GroupFile({Management(), Use()}));
        const RunResult r = d.Run(std::string(kLoad) + "r\n1\n20\n0\nn\np\n" + TwoFactors(false, "Use") + kSeed +
                                  "d\n1\n199\nn\nx\n");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        reports.push_back(Comparable(r.File("Vidive.txt")));
    }
    ASSERT_NE(reports[0].find("   Contrasts:"), std::string::npos) << reports[0];
    EXPECT_EQ(reports[0], reports[1]);
    EXPECT_EQ(reports[1], reports[2]);
}

// The last report of a series (its time lines left out).
std::string LastRun(const std::string& report) {
    const std::vector<std::string> runs = Runs(report);
    return runs.empty() ? "" : Comparable(runs.back());
}

// The default series gives the same statistics and P for a seed whether
// the random statistics are tabled (every run over every partition) or not,
// with and without contrasts, for two and three factors, and for a factor
// nested in the other (the cells are its groups, coded out of their order).
TEST(GroupComparisonKey, ASeriesReportsTheSamePWithOrWithoutTheTable) {
    const std::vector<int> m = Management(), u = Use(), w = Environment(0);
    std::vector<int> nested(kUnits);
    for (int i = 0; i < kUnits; i++) nested[i] = 10 * (4 - m[i]) + u[i];
    const std::string three = "3\nn\nMoisture\nManagement\nUse\nf\nthree.txt\n";
    const struct {
        std::vector<std::vector<int>> factors;
        std::string groups, contrasts;
    } cases[] = {
        {{m, u}, TwoFactors(false, "Use"), "0\n"},
        {{m, u}, TwoFactors(false, "Use"), "1\n"},
        {{m, u}, TwoFactors(false, "Use"), "2\n1\n1 -1 0 0\n2\n1 -1 0\n0 1 -1\n"},
        {{m, u}, TwoFactors(false, "Use"), "2\n0\n0\n"},
        {{nested, m}, TwoFactors(false, "Plot"), "0\n"},
        {{w, m, u}, three, "0\n"},
        {{w, m, u}, three, "1\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> reports;
        for (const char* save : {"n", "p"}) {
            Dialogue d;
            d.PutExample("dune.txt");
            d.Put(c.factors.size() == 2 ? "two.txt" : "three.txt", GroupFile(c.factors));
            const RunResult r = d.Run(std::string(kLoad) + "r\n1\n3\n0\nn\np\n" + c.groups + kSeed + "d\n" +
                                      c.contrasts + "199\n" + save + "\nx\n");
            ASSERT_EQ(r.status, 0) << r.out << r.err;
            reports.push_back(LastRun(r.File("Vidive.txt")));
        }
        ASSERT_NE(reports[0].find("Vectors of raw data were used"), std::string::npos) << reports[0];
        EXPECT_EQ(reports[0], reports[1]) << c.groups << c.contrasts;
    }
}

TEST(GroupComparisonKey, BadInputGetsAMessageAndAWayOn) {
    Dialogue d;
    d.PutExample("dune.txt");
    d.PutExample("dune_groups_management.txt");
    d.Put("two.txt", GroupFile({Management(), Use()}));
    d.Put("short.txt", "1 1 1 1 1 1 1 1 1 1 2 2 2 2 2 2 2 2 2\n");
    const RunResult made = d.Run(std::string(kLoad) + "r\n1\n3\n0\nn\ng\n" + TwoFactors(true, "Use") + "x\n");
    ASSERT_EQ(made.status, 0) << made.out << made.err;
    const std::string session = made.File("Sessao.trk"), report = made.File("Vidive.txt");

    // Bundles of use across the blocks: the design is refused, no test. A
    // nesting file one number short: its message and the question again.
    std::string keyboard;
    for (int i = 0; i < kUnits; i++) keyboard += i < 10 ? "1 " : "2 ";
    const RunResult r = d.Run(std::string("y\na\np\nn\n") + kSeed + "a\n1\n0\nc\n1\n1\n1\n2\n1\n0\n99\nn\n" + "p\nn\n" +
                              kSeed + "a\n1\n0\nc\n2\nf\nshort.txt\nk\n" + keyboard + "\n0\n0\n99\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find("Bundles with units in more than one nesting group."), std::string::npos);
    EXPECT_EQ(Count(r.out, "See results on file Vidive.txt."), 1) << r.out;
    EXPECT_NE(r.out.find("File short.txt was not read: it holds 19 group numbers, and 20 are needed (1 factor(s) x 20 "
                         "sampling units).\nRead nesting group memberships from file (f) or from the keyboard (k)? "
                         "f/k Enter the nesting group of each sampling unit:\n"),
              std::string::npos)
        << r.out;
    const std::vector<std::string> runs = Runs(r.File("Vidive.txt"));
    ASSERT_EQ(runs.size(), 1u);
    std::string nesting = "\nRandom permutation within nesting groups:\t";
    for (int i = 0; i < kUnits; i++) nesting += i < 10 ? " 1" : " 2";
    EXPECT_NE(runs[0].find(nesting + "\n"), std::string::npos) << runs[0];
    EXPECT_EQ(r.File("Sessao.trk"), session);

    // A report that cannot be opened (a folder in its place): fopenck's
    // message, no test, and the session as it was.
    const std::string kept = r.File("Vidive.txt");
    std::remove((d.Folder() + "/Vidive.txt").c_str());
    ASSERT_EQ(system(("mkdir '" + d.Folder() + "/Vidive.txt'").c_str()), 0);
    const RunResult blocked = d.Run(std::string("y\na\np\nn\n") + kSeed + "d\n0\n99\nn\nx\n");
    ASSERT_EQ(blocked.status, 1) << blocked.out << blocked.err;
    EXPECT_NE(blocked.err.find("Vidive.txt"), std::string::npos) << blocked.err;
    EXPECT_EQ(Count(blocked.out, "See results on file Vidive.txt."), 0);
    EXPECT_EQ(blocked.File("Sessao.trk"), session);

    // A script that ends inside the dialogue: the fatal end, files as they were.
    const RunResult cut = d.Run(std::string("y\na\np\nn\n") + kSeed + "d\n0\n");
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.File("Sessao.trk"), session);
}

// Bundles of two neighbouring units are equal, but a contrast of the first
// two managements takes one unit of some of them: the engine could not
// permute that contrast's bundles, so the test is refused before the report
// is opened, and the report of the previous analysis stays.
TEST(GroupComparisonKey, BundlesAContrastSplitsAreRefusedBeforeTheReport) {
    Dialogue d;
    d.PutExample("dune.txt");
    std::vector<int> pairs(kUnits);
    for (int i = 0; i < kUnits; i++) pairs[i] = i / 2 + 1;
    d.Put("two.txt", GroupFile({Management(), pairs}));
    const RunResult made = d.Run(std::string(kLoad) + "r\n1\n3\n0\nn\ng\n" + TwoFactors(false, "Pair") + "x\n");
    ASSERT_EQ(made.status, 0) << made.out << made.err;
    const std::string report = made.File("Vidive.txt");
    ASSERT_NE(report, "");
    struct Case {
        std::string contrasts;
        bool refused;
    };
    const Case cases[] = {
        {"2\n1\n1 -1 0 0\n0\n", true},
        // Every unit in the contrast: whole bundles.
        {"2\n1\n1 1 -1 -1\n0\n", false},
    };
    for (const Case& c : cases) {
        // Erase the report at the first analysis: a refused test keeps it.
        const RunResult r =
            d.Run(std::string("y\ne\np\nn\n") + kSeed + "a\n1\n0\n0\n1\n2\n" + c.contrasts + "99\nn\nx\n");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const bool refused = (r.out + r.err).find("Unbalanced design.") != std::string::npos;
        EXPECT_EQ(refused, c.refused) << c.contrasts << r.out << r.err;
        EXPECT_EQ(Count(r.out, "See results on file Vidive.txt."), c.refused ? 0 : 1) << r.out;
        if (c.refused) EXPECT_EQ(r.File("Vidive.txt"), report);
        else EXPECT_NE(r.File("Vidive.txt").find("   Contrasts:"), std::string::npos) << r.File("Vidive.txt");
    }
    // The refusal speaks the language of the dialogue.
    d.Put("Tevlan.prf", "06Apr2012\n0\n1\n0\n0\n0\n0\n5\n6\n0\n");
    const RunResult pt =
        d.Run(std::string("s\na\np\nn\n") + kSeed + "a\n1\n0\n0\n1\n2\n" + cases[0].contrasts + "99\nn\nx\n");
    EXPECT_NE(pt.out.find("Delineamento desbalanceado. A permutacao entre feixes de unidades nao e possivel.\n"),
              std::string::npos)
        << pt.out << pt.err;
}

TEST(GroupComparisonKey, Portuguese) {
    Dialogue d;
    d.Put("Tevlan.prf", "06Apr2012\n0\n1\n0\n0\n0\n0\n5\n6\n0\n");
    d.PutExample("dune.txt");
    d.PutExample("dune_groups_management.txt");
    const RunResult r = d.Run(std::string(kLoad) + "r\n1\n3\n0\nn\np\n1\nManejo\na\ndune_groups_management.txt\n" +
                              kSeed + "d\n0\n99\ns\nn\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Usar opcoes padrao (d) ou especificar opcoes avancadas (a)? d/a Contrastes de grupos: \n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Guardar dados e resultados a cada permutacao? s/n Tem certeza? s/n Sao 99 permutacoes! "
                         "Guardar dados"),
              std::string::npos);
    EXPECT_NE(r.out.find("\n\nVeja resultados no arquivo Vidive.txt.\n"), std::string::npos);
    const std::string report = r.File("Vidive.txt");
    EXPECT_NE(report.find("TESTE DE ALEATORIZACAO"), std::string::npos) << report;
    ExpectClose(Line(report, "Entre grupos")[0], Qb(Distances(Euclidean), Management()), report);
}


// One group, or every unit its own group: every arrangement gives the
// observed Qb (0, or the total), so P = 1.
TEST(GroupComparisonKey, OneGroupOrEveryUnitItsOwnGroupGivesPOfOne) {
    std::string single, own;
    for (int i = 0; i < kUnits; i++) {
        single += "7 ";
        own += std::to_string(i + 1) + " ";
    }
    const double qt = Q(Distances(Euclidean), All());
    const struct {
        std::string groups;
        double qb;
    } cases[] = {{single, 0.0}, {own, qt}};
    for (const auto& c : cases) {
        Dialogue d;
        d.PutExample("dune.txt");
        d.Put("groups.txt", c.groups + "\n");
        // N of 0 and -1 are asked again.
        const RunResult r = d.Run(std::string(kLoad) + "r\n1\n3\n0\nn\np\n1\nG\nf\ngroups.txt\n" + kSeed +
                                  "d\n0\n0\n-1\n99\nn\nx\n");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(Count(r.err, "Incorrect input = "), 2) << r.err;
        const std::vector<double> between = Line(r.File("Vidive.txt"), "Between groups");
        ASSERT_EQ(between.size(), 2u) << r.File("Vidive.txt");
        EXPECT_NEAR(between[0], c.qb, 1e-4 * qt);
        EXPECT_EQ(between[1], 1.0);
    }
}

// Jaccard turnover is undefined for a pair with a unit without species:
// the matrix cannot be tested, and nothing is written.
TEST(GroupComparisonKey, AnUndefinedResemblanceIsRefused) {
    Dialogue d;
    d.PutExample("dune_groups_management.txt");
    std::string pa;
    const Matrix x = Dune();
    for (int i = 0; i < kUnits; i++) {
        for (double v : x[i]) pa += v > 0 && i > 0 ? "1\t" : "0\t";
        pa += "\n";
    }
    d.Put("pa.txt", pa);
    const RunResult r = d.Run("n\nn\npa.txt\n4\n20\n30\nN\n1\nn\nr\n1\n24\n0\nn\np\n" + std::string(kManagement) +
                              kSeed + "d\n0\n99\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("\nThe resemblance matrix holds undefined (-999) or not finite values: the groups cannot be "
                         "compared.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Count(r.out, "See results on file Vidive.txt."), 1);  // key R's
    EXPECT_EQ(r.File("Vidive.txt").find("RANDOMIZATION TEST"), std::string::npos);
}

}  // namespace
