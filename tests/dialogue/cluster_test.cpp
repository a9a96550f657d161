// Key C through the whole program: the main menu offers it once a
// resemblance matrix exists (here, in a session continued at start-up).
#include <gtest/gtest.h>

#include <sstream>
#include <string>

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

}  // namespace
