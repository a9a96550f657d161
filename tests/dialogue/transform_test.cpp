// Key T through the whole program on the example data: the transformed data
// in the report, the two expansion files, the Beals test block, and what the
// main loop and the session keep after it.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

// Key N on an example file with its own labels, no data matrix in the report.
std::string Load(const std::string& file, int content, int units, int variables) {
    std::ostringstream s;
    s << "n\nn\n" << file << "\n" << content << "\n" << units << "\n" << variables << "\nN\n2\nn\n";
    return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

TEST(TransformKey, HellingerWithinUnitsIsReportedAndContinuedInTheNextSession) {
    Dialogue d;
    d.PutExample("dune.txt");
    // A resemblance matrix first: T lets it go.
    RunResult r = d.Run(Load("dune.txt", 1, 20, 30) + "r\n1\n3\n0\nn\nt\n1\n0\n1\n10\ny\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    // Row 1 as vegan::decostand(dune, "hellinger") gives it.
    const std::string report = r.File("Vidive.txt");
    const size_t transformed = report.find("Transformed data matrix:\n");
    ASSERT_NE(transformed, std::string::npos) << report;
    std::istringstream row(report.substr(report.find('\n', report.find("(Rows=", transformed)) + 1));
    std::vector<double> first(30);
    for (double& x : first) row >> x;
    const std::vector<std::pair<int, double>> present = {
        {0, 0.2357}, {11, 0.4714}, {16, 0.62361}, {18, 0.4714}, {19, 0.33333}};
    std::vector<double> expected(30, 0.0);
    for (auto& e : present) expected[e.first] = e.second;
    for (int j = 0; j < 30; j++) EXPECT_NEAR(first[j], expected[j], 5e-5) << j;

    // The status after T: the transformation, no resemblance matrix, and
    // ordination no longer offered.
    const std::string afterT = r.out.substr(r.out.rfind("See results on file Vidive.txt."));
    EXPECT_NE(afterT.find("Vector transformation: (10)Hellinger transformation, within sampling units\n"),
              std::string::npos);
    EXPECT_EQ(afterT.find("Resemblance measure:"), std::string::npos);
    EXPECT_NE(afterT.find("\t  O  ordination\n"), std::string::npos);

    // The next start continues the session with the same data and options;
    // saved under another name it is the same file.
    const std::string session = r.File("Sessao.trk");
    RunResult again = d.Run("y\na\ns\ncopy\nx\n");
    ASSERT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_NE(again.out.find("Vector transformation: (10)Hellinger transformation, within sampling units\n"),
              std::string::npos);
    const std::string copy = again.File("copy.trk");
    ASSERT_FALSE(copy.empty());
    EXPECT_EQ(copy.substr(copy.find('\n')), session.substr(session.find('\n')));
}

// No class is refused; three classes of 0 1 2 4 by hand: 1 (the minimum),
// ceil(1 x 3 / 4) = 1, ceil(2 x 3 / 4) = 2, 3 (the maximum); a constant
// variable is all class 1.
TEST(TransformKey, RescalingIntoClassesTakesOneClassAtLeast) {
    Dialogue d;
    d.Put("c.txt", "0 5\n1 5\n2 5\n4 5\n");
    RunResult r = d.Run("n\nn\nc.txt\n1\n4\n2\nN\n1\nn\nt\n1\n0\n2\n8\n0\n3\nn\ny\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("Incorrect input = 0. Reenter.\nAccepted input: 1 to "), std::string::npos) << r.err;
    EXPECT_NE(r.File("Vidive.txt").find("variables)\n1\t1\t\n1\t1\t\n2\t1\t\n3\t1\t\n"), std::string::npos);
    // The session file holds the count only beside a resemblance matrix:
    // continued without one, the rescaling keeps its 3 classes.
    r = d.Run("y\ne\nr\n1\n3\n0\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.File("Sessao.trk").find("\n1\n1\n3\n3\n0\n"), std::string::npos) << r.File("Sessao.trk");
}

// The session file does not hold the Beals options: a continued session
// finds the ones the data were smoothed with, as its status shows them.
TEST(TransformKey, BealsOptionsOfAContinuedSession) {
    for (const char* options : {"0 n n", "1 y y"}) {
        Dialogue d;
        d.PutExample("dune.txt");
        const auto status = [](const std::string& out) {
            const size_t at = out.rfind("(11)Beals smoothing\n");
            return at == std::string::npos ? "" : out.substr(at, out.find("Session", at) - at);
        };
        const std::string chosen =
            status(d.Run(std::string("n n dune.txt 1 20 30 N 2 n\nt 1 0 3 11 ") + options + " n n\nx\n").out);
        EXPECT_NE(chosen, "");
        EXPECT_EQ(status(d.Run("y e\nx\n").out), chosen) << options;
    }
}

// A second data set read for key K leaves the first one's Beals options
// as they were (included, the second's; not included, the first's).
TEST(TransformKey, BealsOptionsStayWithTheirDataSet) {
    Dialogue d;
    d.PutExample("dune.txt");
    const std::string out = d.Run(
        "n n dune.txt 1 20 30 N 2 n\nt 1 0 3 11 1 y y n n\nr 1 3 0 n\ns b2\nn n dune.txt 1 20 30 N 2 n y one\n"
        "t 1 0 3 11 0 n n n n\nr 1 3 0 n\nk 1 b2 2 12345 9 n\nx\n").out;
    const size_t last = out.rfind("Target species values ");
    ASSERT_NE(last, std::string::npos) << out;
    EXPECT_EQ(out.substr(last, 25), "Target species values NOT");
}

TEST(TransformKey, NominalEnvironmentExpandedIntoBinaryVariables) {
    Dialogue d;
    d.PutExample("dune_env_nominal.txt");
    RunResult r = d.Run(Load("dune_env_nominal.txt", 3, 20, 4) + "t\n1\n4\n0\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string expanded = r.File("ExpandedData.txt");
    const std::vector<std::string> lines = Lines(expanded);
    ASSERT_GE(lines.size(), 21u);
    EXPECT_EQ(lines[0], "1\t0\t0\t0\t0\t0\t0\t1\t0\t1\t0\t0\t0\t0\t0\t1\t");
    const std::string full = "\nExpanded data with 20 units in rows and 16 expanded variables in columns.\n"
                             "Variable labels (each row corresponding to an original variable):\n"
                             "1\t2\t4\t5\t\n1\t2\t3\t4\t\n1\t2\t3\t\n0\t1\t2\t3\t4\t\n"
                             "\nNumber of states for each nominal variable in the original data:\n4\n4\n3\n5\n\n";
    const std::string reduced = "\nExpanded data with 20 units in rows and 12 expanded variables in columns "
                                "(eliminating last expanded binary for each nominal variable).\n"
                                "Variable labels (each row corresponding to an original variable):\n"
                                "1\t2\t4\t\n1\t2\t3\t\n1\t2\t\n0\t1\t2\t3\t\n"
                                "\nNumber of states for each nominal variable in the original data:\n3\n3\n2\n4\n";
    EXPECT_EQ(Count(expanded, full), 1) << expanded;
    ASSERT_GE(expanded.size(), reduced.size());
    EXPECT_EQ(expanded.substr(expanded.size() - reduced.size()), reduced);
    // The reduced table: row 1 without the last column of each variable.
    EXPECT_NE(expanded.find(full + "1\t0\t0\t0\t0\t0\t0\t1\t0\t0\t0\t0\t\n"), std::string::npos);
}

TEST(TransformKey, ContingencyTableExpandedIntoItsIndividuals) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(Load("dune.txt", 1, 20, 30) + "t\n1\n5\n0\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<std::string> lines = Lines(r.File("ExpandedNominalData.txt"));
    // dune holds 685 cover units in all.
    ASSERT_EQ(lines.size(), 687u);
    EXPECT_EQ(lines[0], "1\t1\t");
    EXPECT_EQ(lines[684], "20\t30\t");
    EXPECT_EQ(lines[686], "Expanded data with 685 units in rows and 2 nominal variables in columns.");
}

TEST(TransformKey, BealsSmoothingWithItsTestAppendsTheBlock) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(Load("dune.txt", 1, 20, 30) + "t\n1\n1\n3\n11\n0\nn\nn\ny\n2\n123\n49\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string report = r.File("Vidive.txt");
    const size_t block = report.find("\nDifferences between MEDIANS of Beals values");
    ASSERT_NE(block, std::string::npos) << report;
    const std::vector<std::string> lines = Lines(report.substr(block + 1));
    ASSERT_EQ(lines.size(), 4u);
    // One difference and one P per species; P is a count over 49.
    std::istringstream p(lines[2]);
    int k = 0;
    for (double x; p >> x; k++) {
        EXPECT_GE(x * 49, 0.999);
        EXPECT_NEAR(x * 49, std::round(x * 49), 1e-3);
    }
    EXPECT_EQ(k, 30);
    EXPECT_EQ(lines[3], "Random number generation initializer: 123");
    EXPECT_NE(report.find("Target species values NOT included in their own prediction\n"), std::string::npos);
}

}  // namespace
