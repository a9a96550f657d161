// Key A through the whole program: the correlations of dune's species and
// the mutual entropy of three of its environmental variables with the
// triplet test, the report erased at start-up and kept across both tests.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

// Answers of key N for an example file with its labels (content, units,
// variables), no data matrix in the report.
std::string Load(const std::string& file, int content, int variables) {
    return "n\nn\n" + file + "\n" + std::to_string(content) + "\n20\n" + std::to_string(variables) + "\nN\n2\nn\n";
}

TEST(VariableComparisonKey, DuneCorrelations) {
    Dialogue d;
    d.PutExample("dune.txt");
    // Correlations between variables, then key A: seed 12345, 999
    // permutations, no restriction, nothing saved, no partial correlations.
    const RunResult r = d.Run(Load("dune.txt", 1, 30) + "r\n2\n17\n0\nn\na\n2\n12345\n999\n0\nn\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    const std::string report = r.File("Vidive.txt");
    // Achimill's row: the observed r below the diagonal; its P with
    // Agrostol (5/999) above.
    EXPECT_NE(report.find("Permutation restrictions:\tNone\nResults:\n\t(Resemblance matrix below the main diagonal "
                          "and\n corresponding probabilities P(|Lambda random| >= |Lambda observed|) above the main "
                          "diagonal)\n        0\t 0.005005\t"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("\n -0.60757\t        0\t"), std::string::npos);
    EXPECT_NE(r.out.find("\n\nSee results on file Vidive.txt.\nTest partial correlations? y/n "), std::string::npos);

    // Pairs uncorrelated in exact arithmetic (n Sxy = Sx Sy on the counts)
    // print r = 0 with P = 1; the 435 P add up to 217802 / 999, the sum of
    // the exact counts. Two of them alone: r = 0 and P = 1 too.
    std::istringstream file(ReadFile(std::string(TEVLAN_EXAMPLES) + "/dune.txt"));
    std::vector<long> x(600);
    for (long& v : x) file >> v;
    std::istringstream result(report.substr(report.rfind("diagonal)\n") + 10));
    std::vector<double> printed(900);
    for (double& v : printed) result >> v;
    long counts = 0, uncorrelated = 0;
    for (int a = 0; a < 30; a++)
        for (int b = a + 1; b < 30; b++) {
            long sa = 0, sb = 0, sab = 0;
            for (int u = 0; u < 20; u++) sa += x[30 * u + a], sb += x[30 * u + b], sab += x[30 * u + a] * x[30 * u + b];
            counts += std::lround(printed[30 * a + b] * 999);
            if (20 * sab != sa * sb) continue;
            uncorrelated++;
            EXPECT_EQ(printed[30 * a + b], 1.0) << a << ' ' << b;
            EXPECT_EQ(printed[30 * b + a], 0.0) << a << ' ' << b;
        }
    EXPECT_EQ(uncorrelated, 4);
    EXPECT_EQ(counts, 217802);

    std::ostringstream two;
    for (int u = 0; u < 20; u++) two << x[30 * u] << '\t' << x[30 * u + 2] << '\n';
    for (int u = 1; u <= 20; u++) two << u << (u < 20 ? '\t' : '\n');
    Dialogue pair;
    pair.Put("two.txt", two.str() + "Achimill\tAiraprae\n");
    const RunResult t = pair.Run(Load("two.txt", 1, 2) + "r\n2\n17\n0\ny\na\n2\n12345\n999\n0\nn\nx\n");
    ASSERT_EQ(t.status, 0) << t.out << t.err;
    EXPECT_NE(t.File("Vidive.txt").find("\nResemblance matrix:\n1\t0\t\n0\t1\t\n"), std::string::npos);
    EXPECT_NE(t.File("Vidive.txt").find("above the main diagonal)\n0\t1\t\n0\t0\t\n"), std::string::npos);
}

TEST(VariableComparisonKey, TripletTestKeepsTheReportErasedAtStartUp) {
    Dialogue d;
    std::istringstream in(ReadFile(std::string(TEVLAN_EXAMPLES) + "/dune_env_nominal.txt"));
    std::ostringstream file;
    for (int i = 0; i < 20; i++) {
        double row[4];
        for (double& x : row) in >> x;
        file << row[0] << '\t' << row[1] << '\t' << row[2] << '\n';
    }
    for (int i = 1; i <= 20; i++) file << i << (i < 20 ? '\t' : '\n');
    file << "Moisture\tManagement\tUse\n";
    d.Put("env3.txt", file.str());
    // Mutual entropy of order 1 between the variables.
    const RunResult first = d.Run(Load("env3.txt", 3, 3) + "r\n2\n7\n1\n0\nn\nx\n");
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    ASSERT_NE(first.File("Vidive.txt").find("TEVLAN version"), std::string::npos);

    // The session continued, the report erased, key A and its triplet test.
    const RunResult r = d.Run("y\ne\na\n2\n12345\n999\n0\nn\ny\n2\n12345\n999\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string report = r.File("Vidive.txt");
    EXPECT_EQ(report.find("TEVLAN version"), std::string::npos) << "the first run's report was erased";
    EXPECT_NE(report.find("above the main diagonal)\n      0\t0.46547\t0.82182\t\n0.29481\t      0\t0.22422\t\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("Mutual entropy between variables in triplets:\nVar. 1 x 2 x 3:\t0.195305\tnats (\t0.281765"
                          "\tbits)\tP=\t0.758759\n\nMutual entropy pairwise conditional (|) to a third variable:\n"
                          "Var. 1 x 2 | 3:\t0.490114\tnats (\t0.707085\tbits)\tP=\t0.744745\n"
                          "Var. 1 x 3 | 2:\t0.312594\tnats (\t0.450978\tbits)\tP=\t0.912913\n"
                          "Var. 2 x 3 | 1:\t0.451873\tnats (\t0.651915\tbits)\tP=\t0.590591\n"),
              std::string::npos)
        << report;
    EXPECT_EQ(Count(r.out, "\n\nSee results on file Vidive.txt.\n"), 2);
}

}  // namespace
