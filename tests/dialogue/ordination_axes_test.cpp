// The RVDIM test of the axes through the whole program on the dune data:
// offered by key O only after principal components of the species, the
// typed seed in the report, and a continued session in erase mode with
// every permutation saved.
#include <gtest/gtest.h>

#include <string>

#include "harness.h"

namespace {

// Key N for dune.txt, then key R for correlations between the species.
const char* const kCorrelations = "n\nn\ndune.txt\n1\n20\n30\nN\n1\nn\nr\n2\n17\n0\nn\n";
const char* const kEntry = "\t(4)randomization test of ordination axes (RVDIM)\n \t(99)";
const char* const kHeading = "RVDIM and corresponding probabilities p(RVDIM_rnd >= RVDIM_obs) (Kresh 2008)\n";

TEST(OrdinationAxes, RvdimTestOfferedAfterPrincipalComponentsOfTheSpecies) {
    Dialogue d;
    d.PutExample("dune.txt");
    // Key O twice: principal components, then their test.
    RunResult r = d.Run(std::string(kCorrelations) + "o\n2\nn\nn\no\n4\n2\n12345\n30\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Count(r.out, "\t(3)correspondence analysis\n \t(99)"), 1) << "the first menu offers no test";
    EXPECT_EQ(Count(r.out, kEntry), 1);
    EXPECT_EQ(Count(r.out, "(Malinvaud)"), 0);
    EXPECT_EQ(Count(r.out, "\n\nSee results on file Vidive.txt.\n"), 1);
    const std::string report = r.File("Vidive.txt");
    const size_t block = report.find("RANDOMIZATION TEST\n");
    ASSERT_NE(block, std::string::npos) << report;
    EXPECT_NE(report.find("Random number generation initializer: 12345\n", block), std::string::npos);
    EXPECT_NE(report.find("Number of permutations: 30\n", block), std::string::npos);
    // The first axes' statistics of the published test, at five digits.
    EXPECT_NE(report.find(std::string(kHeading) + "0.67309\t0.64673\t0.60316\t0.56247\t0.55032\t", block),
              std::string::npos)
        << report.substr(block);
}

// A continued session keeps no eigenvectors of its principal components:
// the test ordinates the matrix again. In erase mode, with every
// permutation saved, the report holds the dump and then the final block.
TEST(OrdinationAxes, SavedRvdimTestOfAContinuedSessionInEraseMode) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(std::string(kCorrelations) + "o\n2\nn\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_NE(r.File("Vidive.txt").find("ORDINATION"), std::string::npos);

    r = d.Run("y\ne\no\n4\n2\n5\n3\ny\nx\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.err, "");
    const std::string report = r.File("Vidive.txt");
    EXPECT_EQ(report.find("ORDINATION"), std::string::npos) << "erase mode";
    const size_t dump = report.find("RANDOMIZATION TEST: Data and results of each permutation\n");
    const size_t last = report.rfind("RANDOMIZATION TEST: Final results\n");
    ASSERT_NE(dump, std::string::npos) << report;
    ASSERT_NE(last, std::string::npos);
    EXPECT_LT(dump, last);
    EXPECT_NE(report.find("Random number generation initializer: 5\n", last), std::string::npos);
    EXPECT_NE(report.find(std::string(kHeading) + "0.67309\t", last), std::string::npos) << report.substr(last);
    // Each of the 19 axes is tested on its own permuted residuals, twice.
    EXPECT_EQ(Count(report, "Permuted residual matrix, for testing dimension 19:\n"), 2);
}

}  // namespace
