// Key F through the whole program on four dune species: the basis-set test's
// report, and the session and options it leaves as they were.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

// dune.txt's species 1, 2, 17 and 19 (Achimill, Agrostol, Lolipere, Poaprat)
// as a 20 x 4 data file with its unit and variable labels; Agrostol and
// Poaprat may be written with an exponent.
std::string Dune4File(const char* agrostol = "", const char* poaprat = "") {
    std::istringstream in(ReadFile(std::string(TEVLAN_EXAMPLES) + "/dune.txt"));
    std::ostringstream s;
    for (int i = 0; i < 20; i++) {
        double row[30];
        for (double& x : row) in >> x;
        s << row[0] << '\t' << row[1] << agrostol << '\t' << row[16] << '\t' << row[18] << poaprat << '\n';
    }
    for (int i = 1; i <= 20; i++) s << i << (i < 20 ? '\t' : '\n');
    s << "Achimill\tAgrostol\tLolipere\tPoaprat\n";
    return s.str();
}

const char* const kLoad = "n\nn\ndune4.txt\n1\n20\n4\nN\n2\nn\n";
// Euclidean distances between units.
const char* const kResemblance = "r\n1\n3\n0\nn\n";
// Univariate road, model 1, seed 12345, 999 permutations, no restriction, no
// saving, the basis set of three claims.
const char* const kBasisSet =
    "f\n1\n1\n2\n12345\n999\n0\nn\n2\n4\n3\n1 1 0 0\n0\n1 0 0 1\n1\n0 0 1 0\n0 1 0 1\n1\n0 0 1 0\n";

TEST(PathAnalysisKey, BasisSetReportAndTheSessionLeftAsItWas) {
    Dialogue d;
    d.Put("dune4.txt", Dune4File());
    RunResult first = d.Run(std::string(kLoad) + kResemblance + "x\n");
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    const std::string session = first.File("Sessao.trk");

    // The session continued, the report appended to, F, then the Mantel road.
    RunResult r = d.Run(std::string("y\na\n") + kBasisSet + "f\n2\n1\n2\n12345\n99\n0\nn\n2\n2\n2 2\n1\n1 1\n0\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    const std::string report = r.File("Vidive.txt");
    EXPECT_EQ(report.find(first.File("Vidive.txt")), 0u);
    EXPECT_NE(report.find("\nCorrelation r =\t-0.607571\tP-value =\t0.00500501\tVariable pair:\tAchimill\tAgrostol\n"
                          "Correlation r =\t-0.113925\tP-value =\t0.62963\tVariable pair:\tAchimill\tPoaprat\t"
                          "Covariable(s):\tLolipere\t\n"
                          "Correlation r =\t0.123308\tP-value =\t0.616617\tVariable pair:\tAgrostol\tPoaprat\t"
                          "Covariable(s):\tLolipere\t\n"
                          "Fisher's C statistics (Granvik 2000):\t12.4869\tP-value chi-square distribution with 6 "
                          "degrees of freedom =\t0.0519476\n"
                          "AICc (Akaike's information criterion with correction for small sample (Granvik "
                          "2013):\t35.8202\tK=\t7\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("\nResults for the specified (partial) Mantel correlations:\nCorrelation r =\t"),
              std::string::npos);
    EXPECT_EQ(Count(r.out, "\n\nSee results on file Vidive.txt.\n"), 2);

    // The resemblance options and matrix are those of key R: the status
    // says so and the session file is written as it was.
    const std::string status = r.out.substr(r.out.rfind("Analysis status:"));
    EXPECT_NE(status.find("Resemblance measure: (3)Euclidean distance, (1)comparing sampling units\n"
                          "Transformation of the resemblance measure: (0)none\n"),
              std::string::npos)
        << status;
    const std::string after = r.File("Sessao.trk");
    EXPECT_EQ(after.substr(after.find('\n')), session.substr(session.find('\n')));
}

// Values near 1e200 and 1e-200, whose squares overflow and underflow, are
// correlated as the same values near 1: keys R, A and F write the same
// report (r = -0.60757 for Achimill and Agrostol, as R's cor gives).
TEST(PathAnalysisKey, VariablesOfVeryLargeAndVerySmallValues) {
    const std::string keys = "r\n2\n17\n0\ny\na\n2\n12345\n999\n0\nn\nn\n" + std::string(kBasisSet) + "x\n";
    std::string reports[2];
    for (int scaled = 0; scaled < 2; scaled++) {
        Dialogue d;
        d.Put("dune4.txt", scaled ? Dune4File("e200", "e-200") : Dune4File());
        const RunResult r = d.Run(kLoad + keys);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        reports[scaled] = Normalise(r.File("Vidive.txt"));
    }
    EXPECT_NE(reports[1].find("\nResemblance matrix:\n       1\t-0.60757\t"), std::string::npos) << reports[1];
    EXPECT_NE(reports[1].find("\nCorrelation r =\t-0.607571\tP-value =\t0.00500501\t"), std::string::npos);
    EXPECT_EQ(reports[1], reports[0]);
}

// With the observed arrangement alone every P is 1, so Fisher's C is
// -2 x (ln 1 + ln 1 + ln 1), a zero the report writes as 0.
TEST(PathAnalysisKey, ZeroStatisticsPrintWithoutASign) {
    std::string keys = std::string(kBasisSet);
    keys.replace(keys.find("999"), 3, "1");
    Dialogue d;
    d.Put("dune4.txt", Dune4File());
    const RunResult r = d.Run(kLoad + std::string(kResemblance) + keys + "x\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string report = r.File("Vidive.txt");
    EXPECT_NE(report.find("\nFisher's C statistics (Granvik 2000):\t0\tP-value chi-square distribution with 6 "
                          "degrees of freedom =\t1\n"),
              std::string::npos)
        << report;
    EXPECT_EQ(report.find("-0\t"), std::string::npos) << report;
}

}  // namespace
