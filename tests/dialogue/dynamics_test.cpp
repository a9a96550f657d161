// Key Y through the whole program: its menu, Markov fitting of a worked
// series with a typed seed, the report appended after Y, and the options
// refused without the resemblance they need.
#include <gtest/gtest.h>

#include <string>

#include "harness.h"

namespace {

const char* const kMenu =
    "System dynamics:\n\t(1) Markov fitting\n\t(2) data interpolation\n\t(3) rate of change (velocity and "
    "acceleration)\n\t(4) canonical serial scaling (Velnik et al. 2006)\n\t(99) return to the main menu\n\t\tEnter "
    "option: ";

TEST(DynamicsKey, MarkovFittingThenOptionsThatLackTheirResemblance) {
    Dialogue d;
    d.Put("series.txt", "10 0 0\n6 4 0\n3 5 2\n2 4 4\nu1 u2 u3 u4\na b c\n");
    RunResult r = d.Run(
        "n\nn\nseries.txt\n1\n4\n3\nN\n2\nn\n"
        "y\n1\ny\n2\n5\n999\n2\n12345\n"
        "y\n1\nn\n1\n2\n1\n2\n1\n"
        "y\n3\ny\n4\ny\n99\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(r.out, kMenu), 5);
    EXPECT_NE(r.out.find("Resemblance matrix comparing units is missing for data series.txt."), std::string::npos);
    EXPECT_NE(r.out.find("requires previously the definition of a correlation matrix between variables"),
              std::string::npos);
    EXPECT_EQ(Count(r.out, "\n\nResults appended to file Vidive.txt\n"), 2);
    const std::string v = r.File("Vidive.txt");
    EXPECT_NE(v.find("ordered from past to present:\n(Original data was reordered from past to present)\n2\t4\t4\t\n"
                     "3\t5\t2\t\n6\t4\t0\t\n10\t0\t0\t\n"),
              std::string::npos)
        << v;
    EXPECT_NE(v.find("Number of iterations: 999\nRandom number generation initializer: 12345\nMinimum theoretical "
                     "probability of the test (1/n!): 0.0416667\n"),
              std::string::npos);
    EXPECT_EQ(Count(v, "Probability P(Knull <= K): "), 2);
    EXPECT_EQ(Count(v, "\n\nMARKOV FITTING\n"), 2) << "the second report is appended";
}

}  // namespace
