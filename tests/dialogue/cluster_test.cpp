// Key C through the whole program: the main menu offers it once a
// resemblance matrix exists (computed by key R, or in a continued session).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

// A saved session of five units on one variable (0, 1, 3, 7, 12) with their
// Euclidean distances between units.
std::string PointsSession() {
    const double x[5] = {0, 1, 3, 7, 12};
    std::ostringstream s;
    s << "Sessao\npoints.txt\n16/May/2007\n1\n5\n1\n1\n1\n0\n0\nT\n1\t\n";
    for (double v : x) s << v << ".000000\t\n";
    s << "0\n0\n0\n";
    for (double v : x) s << v << ".000000\t\n";
    s << "a\tb\tc\td\te\t\nx\t\n1\n";
    s << "1\n1\n3\n0\n0\n1.000000\n1.000000\n0\n";
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++) s << (x[j] - x[i]) << "\n";
    s << "0\n0\n";
    return s.str();
}

TEST(ClusterKey, ContinuedSessionSingleLinkageThenWardAppended) {
    Dialogue d;
    d.Put("Sessao.trk", PointsSession());
    RunResult r = d.Run("y\nc\n1\nn\nc\n3\ny\nx\n");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("\t* C  cluster analysis\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Clustering method: \n\t(1)simple linkage (nearest neighbor)\n"), std::string::npos);
    EXPECT_EQ(Count(r.out, "\nSee results on file Vidive.txt.\n"), 2);
    EXPECT_EQ(Count(r.out, "The bootstrap evaluation of group partitions is not available yet."), 1);

    std::string report = r.File("Vidive.txt");
    // The second analysis was appended to the first.
    EXPECT_EQ(Count(report, "CLUSTER ANALYSIS"), 2);
    EXPECT_NE(report.find("Clustering criterion: (1)simple linkage (nearest neighbor)\n"
                          "Fusion directory:\n"
                          "Step \tResemblance  \tObjects in group\n"
                          "1    \t1            \ta b \n"
                          "2    \t2            \ta b c \n"
                          "3    \t4            \ta b c d \n"
                          "4    \t5            \ta b c d e \n"
                          "\n\nDendrogram in Newick format:\n"
                          "((((a:1,b:1):1,c:2):2,d:4):1,e:5);\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("\n2 groups (cl = 4):    \t1\t1\t1\t1\t2\t"), std::string::npos);
    // Ward: {a,b} (0.5), then c (within 14/3), d and e (12.5), and the rest.
    EXPECT_NE(report.find("1    \t0.5          \t0.5        \ta b \n"
                          "2    \t4.6667       \t4.1667     \ta b c \n"
                          "3    \t12.5         \t12.5       \td e \n"),
              std::string::npos)
        << report;
    EXPECT_EQ(r.File("newick.txt").find("(((a:0.5,b:0.5):4.16667,c:4.66667):"), 0u) << r.File("newick.txt");
}

TEST(ClusterKey, ACancelledClusterDialogueStillTurnsTheReportToAppend) {
    // The report is to be erased at the start; key C cancelled with 99
    // writes nothing but turns the mode to append, so the next analysis is
    // added to the old report instead of erasing it.
    Dialogue d;
    d.Put("Sessao.trk", PointsSession());
    d.Put("Vidive.txt", "an older report\n");
    RunResult r = d.Run("y\ne\nc\n99\nc\n1\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string report = r.File("Vidive.txt");
    EXPECT_EQ(report.find("an older report\n"), 0u) << report;
    EXPECT_EQ(Count(report, "CLUSTER ANALYSIS"), 1);
}

// ---------------------------------------------------------------------------
// Key N, then key R, then key C on the dune data
// ---------------------------------------------------------------------------

using Matrix = std::vector<std::vector<double>>;

// The dune table: 20 units x 30 species, read by rows.
Matrix Dune() {
    std::istringstream in(ReadFile(std::string(TEVLAN_EXAMPLES) + "/dune.txt"));
    Matrix m(20, std::vector<double>(30));
    for (auto& row : m)
        for (double& x : row) in >> x;
    return m;
}

Matrix Transposed(const Matrix& m) {
    Matrix t(m[0].size(), std::vector<double>(m.size()));
    for (size_t i = 0; i < m.size(); i++)
        for (size_t j = 0; j < m[0].size(); j++) t[j][i] = m[i][j];
    return t;
}

// Key N on dune.txt with default labels, then key R with the given answers
// (direction, measure, no post-transformation, matrix not printed).
std::string DuneWith(int direction, int measure) {
    std::ostringstream s;
    s << "n\nn\ndune.txt\n1\n20\n30\nN\n1\nn\n";
    s << "r\n" << direction << "\n" << measure << "\n0\nn\n";
    return s.str();
}

double Pearson(const std::vector<double>& x, const std::vector<double>& y) {
    double n = x.size(), mx = 0, my = 0, sxy = 0, sxx = 0, syy = 0;
    for (size_t k = 0; k < x.size(); k++) {
        mx += x[k] / n;
        my += y[k] / n;
    }
    for (size_t k = 0; k < x.size(); k++) {
        sxy += (x[k] - mx) * (y[k] - my);
        sxx += (x[k] - mx) * (x[k] - mx);
        syy += (y[k] - my) * (y[k] - my);
    }
    return sxy / std::sqrt(sxx * syy);
}

// The pair of rows with the largest absolute correlation, and that value.
double Strongest(const Matrix& rows, int& bi, int& bj) {
    double best = -1;
    for (size_t i = 0; i < rows.size(); i++)
        for (size_t j = i + 1; j < rows.size(); j++) {
            double r = std::fabs(Pearson(rows[i], rows[j]));
            if (r > best) {
                best = r;
                bi = i;
                bj = j;
            }
        }
    return best;
}

struct Fusion {
    double level = 0, criterion = 0;
    std::vector<std::string> members;
};

// The fusion directory of the last cluster analysis in a report.
std::vector<Fusion> Directory(const std::string& report, bool withCriterion) {
    size_t p = report.rfind("Fusion directory:\n");
    size_t end = report.find("\n\nDendrogram", p);
    std::istringstream lines(report.substr(p, end - p));
    std::string l;
    std::getline(lines, l);
    std::getline(lines, l);  // header
    std::vector<Fusion> out;
    while (std::getline(lines, l)) {
        std::istringstream f(l);
        int step;
        Fusion u;
        f >> step >> u.level;
        if (withCriterion) f >> u.criterion;
        for (std::string m; f >> m;) u.members.push_back(m);
        out.push_back(u);
    }
    return out;
}

// The partition lines "k groups (cl = ...):" of the last analysis.
std::vector<std::vector<int>> Partitions(const std::string& report, int n) {
    std::vector<std::vector<int>> out;
    size_t p = report.rfind("Group partitions at each clustering level");
    for (int k = 2; k <= n; k++) {
        p = report.find("\n" + std::to_string(k) + " groups (cl = ", p);
        if (p == std::string::npos) break;
        p = report.find(":", p);
        std::istringstream f(report.substr(p + 1, 200));
        std::vector<int> g(n);
        for (int& x : g) f >> x;
        out.push_back(g);
    }
    return out;
}

TEST(ClusterKey, AverageLinkageOfBrayCurtisMatchesTheDefinition) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(DuneWith(1, 20) + "c\n4\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    // UPGMA by definition: the mean Bray-Curtis dissimilarity over all pairs
    // of members, every pair of current groups evaluated afresh.
    Matrix x = Dune();
    int n = 20;
    Matrix bc(n, std::vector<double>(n));
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            double num = 0, den = 0;
            for (int t = 0; t < 30; t++) {
                num += std::fabs(x[i][t] - x[j][t]);
                den += x[i][t] + x[j][t];
            }
            bc[i][j] = num / den;
        }
    std::vector<std::vector<int>> groups;
    for (int i = 0; i < n; i++) groups.push_back({i});
    std::vector<Fusion> printed = Directory(r.File("Vidive.txt"), false);
    ASSERT_EQ(printed.size(), 19u);
    for (int k = 0; k < 19; k++) {
        size_t ba = 0, bb = 1;
        double best = HUGE_VAL;
        for (size_t a = 0; a < groups.size(); a++)
            for (size_t b = a + 1; b < groups.size(); b++) {
                double s = 0;
                for (int i : groups[a])
                    for (int j : groups[b]) s += bc[i][j];
                s /= groups[a].size() * groups[b].size();
                if (s < best) {
                    best = s;
                    ba = a;
                    bb = b;
                }
            }
        groups[ba].insert(groups[ba].end(), groups[bb].begin(), groups[bb].end());
        groups.erase(groups.begin() + bb);
        std::vector<std::string> labels;
        for (int i : groups[ba]) labels.push_back(std::to_string(i + 1));
        EXPECT_EQ(printed[k].members, labels) << "step " << k + 1;
        EXPECT_NEAR(printed[k].level, best, 5e-5 * best) << "step " << k + 1;
    }

    // The tree in the report and in newick.txt; every cut holds k groups.
    std::string report = r.File("Vidive.txt");
    size_t p = report.find("Dendrogram in Newick format:\n") + 29;
    EXPECT_EQ(r.File("newick.txt"), report.substr(p, report.find('\n', p) - p + 1));
    auto cuts = Partitions(report, n);
    ASSERT_EQ(cuts.size(), 19u);
    for (int k = 2; k <= n; k++) EXPECT_EQ(*std::max_element(cuts[k - 2].begin(), cuts[k - 2].end()), k);
}

TEST(ClusterKey, WardOnAbsoluteCorrelationsBetweenVariables) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(DuneWith(2, 17) + "c\n3\n1\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Transformation of correlations:\n\t(0)without transformation\n"), std::string::npos);
    EXPECT_EQ(r.out.find("Evaluate group partition sharpness"), std::string::npos);  // variables
    std::string report = r.File("Vidive.txt");
    EXPECT_NE(report.find("Clustering criterion: (3)incremental sum of squares (Ward)\n"
                          "Correlation transformation: (1)absolute value correlations\n"),
              std::string::npos);
    // Squared distances 2 - 2|r|: the first fusion joins the two species
    // with the strongest correlation, either sign, at 1 - |r|.
    int bi, bj;
    double best = Strongest(Transposed(Dune()), bi, bj);
    std::vector<Fusion> printed = Directory(report, true);
    ASSERT_EQ(printed.size(), 29u);
    EXPECT_EQ(printed[0].members, (std::vector<std::string>{std::to_string(bi + 1), std::to_string(bj + 1)}));
    EXPECT_NEAR(printed[0].level, 1 - best, 5e-5);
    EXPECT_NEAR(printed[0].criterion, 1 - best, 5e-5);
}

TEST(ClusterKey, FactorialMethodOnlyAfterMeasure21) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(DuneWith(1, 3) + "c\n6\n99\n" + "r\n1\n21\n0\nn\nc\n6\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\nIncorrect input = 6. Reenter.\nAccepted input: 1 2 3 4 5 7 99\n"), std::string::npos)
        << r.err;
    std::string report = r.File("Vidive.txt");
    EXPECT_EQ(Count(report, "CLUSTER ANALYSIS"), 1);  // 99 wrote nothing
    EXPECT_NE(report.find("Step \tEigen.II   \tEigen.I      \tObjects in group\n"), std::string::npos);
    EXPECT_NE(report.find("\n\nDendrogram in Newick format:\n;\n"), std::string::npos);
    EXPECT_EQ(r.File("newick.txt"), ";\n");
    EXPECT_NE(report.find("Variables:\t1\t2\t3\t"), std::string::npos);
    // The first pair: the two units with the strongest correlation, at the
    // second eigenvalue 1 - |r| of [[1, r], [r, 1]], first eigenvalue 1 + |r|.
    int bi, bj;
    double best = Strongest(Dune(), bi, bj);
    std::vector<Fusion> printed = Directory(report, true);
    ASSERT_EQ(printed.size(), 19u);
    EXPECT_EQ(printed[0].members, (std::vector<std::string>{std::to_string(bi + 1), std::to_string(bj + 1)}));
    EXPECT_NEAR(printed[0].level, 1 - best, 5e-5);
    EXPECT_NEAR(printed[0].criterion, 1 + best, 5e-4);
}

TEST(ClusterKey, ConstrainedWardGroupsAreRunsOfUnitsAndWardCutsHoldKGroups) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(DuneWith(1, 20) + "c\n7\n1\nc\n3\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string report = r.File("Vidive.txt");
    ASSERT_EQ(Count(report, "CLUSTER ANALYSIS"), 2);
    std::string first = report.substr(0, report.rfind("CLUSTER ANALYSIS"));
    for (const Fusion& f : Directory(first, true)) {
        for (size_t i = 1; i < f.members.size(); i++)
            EXPECT_EQ(std::stoi(f.members[i]), std::stoi(f.members[i - 1]) + 1);
    }
    // Ward on Bray-Curtis, a dissimilarity that need not obey the triangle
    // inequality: each cut still holds exactly k groups, and k - 1 groups
    // are unions of the k groups.
    auto cuts = Partitions(report, 20);
    ASSERT_EQ(cuts.size(), 19u);
    for (int k = 2; k <= 20; k++) {
        std::set<int> distinct(cuts[k - 2].begin(), cuts[k - 2].end());
        EXPECT_EQ(distinct.size(), static_cast<size_t>(k));
        if (k > 2) {
            std::map<int, int> coarser;
            for (int e = 0; e < 20; e++) {
                auto it = coarser.emplace(cuts[k - 2][e], cuts[k - 3][e]).first;
                EXPECT_EQ(it->second, cuts[k - 3][e]);
            }
        }
    }
}

}  // namespace
