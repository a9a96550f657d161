// The prologue of the randomization tests, the permutation-restriction
// dialogue and the conventions every permutation test shares, run on
// scripted answers with the console captured.
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
// Permutation restrictions
// ---------------------------------------------------------------------------

// The outputs of one run of the restriction dialogue, with flags set true and
// the group vectors filled with 77 beforehand, so that what the dialogue
// leaves alone can be seen.
struct Restrictions {
    int option = -1, dimension = -1;
    bool nested = true, bundles = true;
    std::vector<int> nestGroups, bundleGroups;
};

class Restriction : public TestDialogue {
protected:
    int Ask(const std::string& answers, bool lenient = false) {
        got_ = Restrictions();
        got_.nestGroups.assign(nObj, 77);
        got_.bundleGroups.assign(nObj, 77);
        return Run(answers, [&] {
            SetPermutationRestrictions(&got_.option, &got_.dimension, &got_.nested, got_.nestGroups.data(),
                                       &got_.bundles, got_.bundleGroups.data(), lenient);
        });
    }
    Restrictions got_;
};

TEST_F(Restriction, EachOptionWritesOnlyWhatBelongsToIt) {
    Units(6);
    const std::vector<int> untouched(6, 77);
    struct Case {
        std::string answers;
        int option, dimension;
        bool nested, bundles;
        std::vector<int> nestGroups, bundleGroups;
    };
    const Case cases[] = {
        {"0\n", 0, -1, false, false, untouched, untouched},
        {"1\n4\n", 1, 4, false, false, untouched, untouched},
        {"2\nk\n1 1 2 2 -3 0\n", 2, -1, true, false, {1, 1, 2, 2, -3, 0}, untouched},
        {"3\nt\n5 5 6 6 7.8 -7.8\n", 3, -1, false, true, untouched, {5, 5, 6, 6, 7, -7}},
        {"2\na\nnest.txt\n", 2, -1, true, false, {1, 2, 1, 2, 10, 2147483647}, untouched},
        {"3\nf\nnest.txt\n", 3, -1, false, true, untouched, {1, 2, 1, 2, 10, 2147483647}},
    };
    Put("nest.txt", "1 2 1\r\n2 10 2147483647\r\n");
    for (const Case& c : cases) {
        ASSERT_EQ(Ask(c.answers), 0) << c.answers << err_;
        EXPECT_EQ(got_.option, c.option) << c.answers;
        EXPECT_EQ(got_.dimension, c.dimension) << c.answers;
        EXPECT_EQ(got_.nested, c.nested) << c.answers;
        EXPECT_EQ(got_.bundles, c.bundles) << c.answers;
        EXPECT_EQ(got_.nestGroups, c.nestGroups) << c.answers;
        EXPECT_EQ(got_.bundleGroups, c.bundleGroups) << c.answers;
    }
}

TEST_F(Restriction, MenuAndTheTwoKeyboardLayouts) {
    Units(2);
    ASSERT_EQ(Ask("2\nk\n1 2\n"), 0);
    EXPECT_EQ(shown_,
              "Permutation restrictions: \n\t(0) none\n\t(1) take variables arranged into a resemblance matrix (as "
              "in a Mantel test)\n\t(2) Permutations restricted within groups to be specified\n\t(3) Permutation "
              "among unit bundles to be specified (e.g., to avoid autocorrelation)\n\t\tEnter option: "
              "Specify the nesting criterion (for each unit, enter the group to which it belongs):\n"
              "Read nesting group memberships from file (f) or from the keyboard (k)? f/k "
              "Enter the nesting group of each sampling unit:\nSampling unit:    \tu1\tu2\nNesting groups:   ");
    ASSERT_EQ(Ask("3\nk\n1 2\n"), 0);
    EXPECT_NE(shown_.find("Specify the bundling criterion  (for each unit, enter the group to which it belongs):\n"
                          "Read bundling group memberships from file (f) or from the keyboard (k)? f/k "
                          "Enter the bundling group of each sampling unit:\nSampling unit:   \tu1\tu2\n"
                          "Bundling groups:  "),
              std::string::npos)
        << shown_;

    Portuguese();
    ASSERT_EQ(Ask("3\nt\n1 2\n"), 0);
    EXPECT_NE(shown_.find("Unidade amostral: \tu1\tu2\nGrupos:           "), std::string::npos) << shown_;
    EXPECT_EQ(got_.bundleGroups, (std::vector<int>{1, 2}));
    ASSERT_EQ(Ask("2\na\nnone.txt\nf\nnone.txt\nk\n3 4\n"), 0);  // f and a in Portuguese too
    EXPECT_EQ(Count(err_, "can't open none.txt"), 2);
    EXPECT_EQ(got_.nestGroups, (std::vector<int>{3, 4}));
}

TEST_F(Restriction, TheEmbeddedDimensionMustMatchTheUnits) {
    // Six units are the pairs of a 4 x 4 matrix: 3 and 5 are asked again.
    Units(6);
    ASSERT_EQ(Ask("1\n3\n5\n4\n"), 0);
    EXPECT_EQ(got_.dimension, 4);
    EXPECT_EQ(Count(shown_, "Enter the dimension of the embedded resemblance matrix: "), 3);
    EXPECT_NE(err_.find("dimension 3 has 3 cells above its diagonal, not 6"), std::string::npos) << err_;
    EXPECT_NE(err_.find("dimension 5 has 10 cells"), std::string::npos) << err_;

    // No matrix has 5 pairs: option 1 is refused and the menu comes again.
    Units(5);
    ASSERT_EQ(Ask("1\n0\n"), 0);
    EXPECT_EQ(got_.option, 0);
    EXPECT_EQ(got_.dimension, -1);
    EXPECT_EQ(Count(shown_, "Permutation restrictions: "), 2);
    EXPECT_NE(err_.find("The 5 sampling units cannot be the cells of a resemblance matrix"), std::string::npos);
}

TEST_F(Restriction, GroupFilesAreReadStrictly) {
    Units(4);
    struct Case {
        const char* content;
        int code;
        const char* message;  // on the console, naming the file and the place
    };
    const Case cases[] = {
        {"1 2 3", 2, "File g.txt was not read: it holds 3 group numbers, and 4 are needed (1 factor(s) x 4"},
        {"", 2, "File g.txt was not read: it holds 0 group numbers"},
        {"1 2 x 4", 2, "File g.txt was not read: the value for unit 3 is \"x\", which is not a number."},
        {"1 2 1,5 4", 2, "the value for unit 3 is \"1,5\", which is not a number.\nDecimals are written with a point"},
        // The last field needed is read whole too, never cut to its number.
        {"1 2 3 4x", 2, "the value for unit 4 is \"4x\", which is not a number."},
        // A fraction is no group, as in key G's files.
        {"1 2 1.5 4", 2, "the group for unit 3 is 1.5, which is not a whole number from -2147483648 to 2147483647."},
        {"1 2 3e9 4", 2, "the group for unit 3 is 3000000000, which is not a whole number from -2147483648"},
        {"1 2 3 4 5 6", 0, ""},  // numbers beyond the units are not read
    };
    for (const Case& c : cases) {
        Put("g.txt", c.content);
        EXPECT_EQ(Ask("2\nf\ng.txt\n"), c.code) << c.content;
        EXPECT_NE(shown_.find(c.message), std::string::npos) << c.content << shown_;
    }
    EXPECT_EQ(got_.nestGroups, (std::vector<int>{1, 2, 3, 4}));

    // Where a refused file is asked again, the same files are refused with
    // the same messages and the question comes again.
    for (const char* content : {"8 9\n", "8 9 1.5 2\n", "8 nine 1 2\n"}) {
        Put("g.txt", content);
        ASSERT_EQ(Ask("3\nf\ng.txt\nk\n5 6 7 8\n", true), 0) << content;
        EXPECT_NE(shown_.find("File g.txt was not read: "), std::string::npos) << shown_;
        EXPECT_EQ(Count(shown_, "Read bundling group memberships from file (f) or from the keyboard (k)? f/k "), 2);
        EXPECT_EQ(got_.bundleGroups, (std::vector<int>{5, 6, 7, 8}));
    }
}

TEST_F(Restriction, TypedGroupsOutsideTheIntRangeAreAskedAgain) {
    Units(3);
    ASSERT_EQ(Ask("2\nk\n1 3000000000 2 -2147483648\n"), 0);
    EXPECT_EQ(got_.nestGroups, (std::vector<int>{1, 2, -2147483648}));
    EXPECT_NE(err_.find("Incorrect input = 3e+09. Reenter."), std::string::npos) << err_;
    EXPECT_EQ(Ask("2\nk\n1 2\n"), 2);  // the input ends
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
