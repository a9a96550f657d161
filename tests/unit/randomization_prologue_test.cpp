// The prologue of the randomization tests and the conventions every
// permutation test shares, run on scripted answers with the console
// captured.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "driver_fixture.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

using TestDialogue = DriverTest;

// ---------------------------------------------------------------------------
// Prologue
// ---------------------------------------------------------------------------

using Prologue = TestDialogue;

TEST_F(Prologue, TypedSeedsAtBothEndsOfTheRangeAndOneBeyond) {
    struct Case {
        const char* answers;
        unsigned long seed;
        bool refused;
    };
    const Case cases[] = {
        {"2\n0\n", 0ul, false},
        {"2\n4294967295\n", 4294967295ul, false},
        {"2\n4294967296\n7\n", 7ul, true},
        {"3\n2\n12.9\n", 12ul, false},  // 3 is no option; the integer part of the seed is kept
    };
    for (const Case& c : cases) {
        seed = 99;
        ASSERT_EQ(Run(c.answers, AleatorizacaoMain), 0) << c.answers;
        EXPECT_EQ(seed, c.seed) << c.answers;
        EXPECT_NE(shown_.find("\nEnter seed (integer in the 0 to 4294967295 interval): "), std::string::npos);
        const bool refused =
            err_.find("\nIncorrect input = 4.29497e+09. Reenter.\nAccepted input: 0 to 4.29497e+09\n") !=
            std::string::npos;
        EXPECT_EQ(refused, c.refused) << c.answers << err_;
    }
}

TEST_F(Prologue, StatusTitleMenuAndTheGeneratorSeeded) {
    optReseDir = 1;
    ASSERT_EQ(Run("2\n12345\n", AleatorizacaoMain), 0);
    const std::string line(79, '-');
    EXPECT_NE(shown_.find("Data not available."), std::string::npos);  // the status comes first
    EXPECT_NE(shown_.find("\n" + line + "\nHYPOTHESIS TESTING VIA RANDOMIZATION\n"
                          "Initialization of random numbers: \n\t(1) automatically\n\t(2) wish to specify a seed\n"
                          "\t\tEnter option: "),
              std::string::npos)
        << shown_;
    EXPECT_EQ(optCompara, 1);
    // The list the generator gives for this seed by the draw rule.
    std::vector<int> list(10);
    RndList(10, list.data());
    EXPECT_EQ(list, (std::vector<int>{10, 1, 5, 4, 6, 3, 7, 2, 8, 9}));

    optReseDir = 2;
    ASSERT_EQ(Run("2\n1\n", AleatorizacaoMain), 0);
    EXPECT_EQ(optCompara, 2);
}

// Automatic seeds chosen within the same second differ, and each, typed,
// gives the draws of its run again.
TEST_F(Prologue, AutomaticSeedsDifferAndReproduceWhenTypedAndPortugueseTexts) {
    std::vector<unsigned long> seeds;
    std::vector<std::vector<int>> lists;
    for (int k = 0; k < 3; k++) {
        ASSERT_EQ(Run("1\n", AleatorizacaoMain), 0);
        EXPECT_EQ(shown_.find("Enter seed"), std::string::npos);
        seeds.push_back(seed);
        lists.emplace_back(20);
        RndList(20, lists.back().data());
    }
    EXPECT_NE(seeds[0], seeds[1]);
    EXPECT_NE(seeds[0], seeds[2]);
    EXPECT_NE(seeds[1], seeds[2]);
    for (int k = 0; k < 3; k++) {
        ASSERT_EQ(Run("2\n" + std::to_string(seeds[k]) + "\n", AleatorizacaoMain), 0);
        std::vector<int> list(20);
        RndList(20, list.data());
        EXPECT_EQ(list, lists[k]) << seeds[k];
    }

    Portuguese();
    ASSERT_EQ(Run("2\n5\n", AleatorizacaoMain), 0);
    EXPECT_NE(shown_.find("TESTES DE HIPOTESES VIA ALEATORIZACAO\n"), std::string::npos);
    EXPECT_NE(shown_.find("\t\tEntre opcao: "), std::string::npos);
    EXPECT_EQ(seed, 5ul);
}

TEST_F(Prologue, TheEndOfTheInputIsTheFatalEnd) {
    EXPECT_EQ(Run("2\n", AleatorizacaoMain), 2);
    EXPECT_EQ(Run("", AleatorizacaoMain), 2);
}

// ---------------------------------------------------------------------------
// Conventions
// ---------------------------------------------------------------------------

TEST(TieRule, CountsAsExtremeWithTiesWithinOneUnitOfSinglePrecision) {
    struct Case {
        double random, observed;
        TieRule rule;
        bool counts;
    };
    const Case cases[] = {
        {1.0, 1.00000001, TieRule::Larger, true},  // equal in single precision
        {1.0, 1.001, TieRule::Larger, false},
        {1.002, 1.001, TieRule::Larger, true},
        {-1.0, 1.00000001, TieRule::LargerAbsolute, true},
        {-1.0, 1.001, TieRule::LargerAbsolute, false},
        {-2.0, 1.0, TieRule::LargerAbsolute, true},
        {-2.0, 1.0, TieRule::Larger, false},
        {1.00000001, 1.0, TieRule::Smaller, true},
        {1.001, 1.0, TieRule::Smaller, false},
        {0.5, 1.0, TieRule::Smaller, true},
        {kNaN, 1.0, TieRule::Larger, false},
        {kNaN, 1.0, TieRule::Smaller, false},
        // An observed statistic that is not finite counts nothing.
        {kNaN, kNaN, TieRule::Larger, false},
        {5.0, kNaN, TieRule::Larger, false},
        {-5.0, kNaN, TieRule::Smaller, false},
        {INFINITY, INFINITY, TieRule::Larger, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CountsTowardP(c.random, c.observed, c.rule), c.counts)
            << c.random << " vs " << c.observed << " rule " << static_cast<int>(c.rule);
}

TEST(TieRule, ProbabilityAndNotTestable) {
    EXPECT_DOUBLE_EQ(PermutationP(1.0, 1, 3.0), 1.0);
    EXPECT_DOUBLE_EQ(PermutationP(25.0, 1000, 3.0), 0.025);
    EXPECT_TRUE(std::isnan(PermutationP(1.0, 1000, kNaN)));
    EXPECT_TRUE(std::isnan(PermutationP(1.0, 1000, -INFINITY)));
    EXPECT_EQ(ProbabilityText(0.025, 5), "0.025");
    EXPECT_EQ(ProbabilityText(1.0 / 3.0, 3), "0.333");
    EXPECT_EQ(ProbabilityText(PermutationP(1.0, 1000, kNaN), 5), "not testable");
    eng = 0;
    EXPECT_EQ(ProbabilityText(kNaN, 5), "nao testavel");
    eng = 1;
}

using Conventions = TestDialogue;

TEST_F(Conventions, NumberOfPermutationsFromOneToTheIntMaximum) {
    struct Case {
        const char* answers;
        int n;
        int refusals;
    };
    const Case cases[] = {
        {"0\n-3\n1\n", 1, 2},
        {"2147483647\n", 2147483647, 0},
        {"2147483648\n999.9\n", 999, 1},
    };
    for (const Case& c : cases) {
        int n = 0;
        ASSERT_EQ(Run(c.answers, [&] { n = AskNumberOfPermutations(); }), 0);
        EXPECT_EQ(n, c.n) << c.answers;
        EXPECT_EQ(Count(err_, "Reenter."), c.refusals) << c.answers << err_;
        EXPECT_EQ(shown_, "Number of permutations: ");
    }
}

TEST_F(Conventions, SaveQuestionIsConfirmedAboveFifty) {
    struct Case {
        int nPerm;
        const char* answers;
        bool save;
        int questions, confirmations;
    };
    const Case cases[] = {
        {50, "y\n", true, 1, 0},
        {51, "y\ny\n", true, 1, 1},
        {51, "y\nn\nn\n", false, 2, 1},  // no to the confirmation asks the save question again
        {51, "n\n", false, 1, 0},
        {1000, "y\nn\ny\ny\n", true, 2, 2},
    };
    for (const Case& c : cases) {
        bool save = !c.save;
        ASSERT_EQ(Run(c.answers, [&] { save = AskSaveEachPermutation(c.nPerm); }), 0) << c.answers;
        EXPECT_EQ(save, c.save) << c.nPerm << " " << c.answers;
        EXPECT_EQ(Count(shown_, "Save data and results of each random permutation? y/n "), c.questions);
        EXPECT_EQ(Count(shown_, "Are you sure? y/n There are " + std::to_string(c.nPerm) + " permutations! "),
                  c.confirmations);
    }
    int key = 0;
    ASSERT_EQ(Run("p\n", [&] { key = AskSaveQuestion(51, "Save? y/n ", "Guardar? s/n ", true); }), 0);
    EXPECT_EQ(key, 'p');
    Portuguese();
    ASSERT_EQ(Run("y\ns\ns\n", [&] { key = AskSaveQuestion(60, "Save? y/n ", "Guardar? s/n ", false); }), 0);
    EXPECT_EQ(key, 'y');
    EXPECT_EQ(shown_, "Guardar? s/n Tem certeza? s/n Sao 60 permutacoes! ");
    EXPECT_NE(err_.find("Incorrect input = y."), std::string::npos);
}

TEST_F(Conventions, ReportLinesAndProgressText) {
    seed = 4294967295ul;
    auto lines = [] {
        return Printed([](FILE* f) {
            PrintNumberOfPermutations(f, 999);
            PrintElapsedTime(f, 0.25);
            PrintSeed(f);
        });
    };
    EXPECT_EQ(lines(), "Number of permutations: 999\nElapsed time: 0.25 seconds\n"
                       "Random number generation initializer: 4294967295\n");
    Portuguese();
    EXPECT_EQ(lines(), "Numero de permutacoes: 999\nTempo decorrido: 0.25 segundos\n"
                       "Inicializador do gerador de numero aleatorios: 4294967295\n");

    std::string progress = Printed([](FILE* f) {
        SetProgressStream(f);
        InitIFLibG();
        struct timespec pause = {0, 6000000};
        nanosleep(&pause, nullptr);
        ShowPermutationProgress(999, 2);
        ClearLine();
        SetProgressStream(nullptr);
    });
    EXPECT_NE(progress.find("Permutacao: 999 2"), std::string::npos) << progress;
}

}  // namespace
