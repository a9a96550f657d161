// Key P through the whole program on the dune data grouped by management
// (and by use, from the nominal environmental table): the sums of squares,
// F, MRPP and contrasts computed here from the data, the default test series,
// the restriction dialogue and what the test leaves unchanged.
#include <gtest/gtest.h>

#include <cmath>
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

}  // namespace
