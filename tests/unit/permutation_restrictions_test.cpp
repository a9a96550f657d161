// The permutation-restriction dialogue of the randomization tests, run on
// scripted answers with the console captured.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "driver_fixture.h"

namespace {

using TestDialogue = DriverTest;

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

}  // namespace
