// Key G on a current data set of four units set up in memory: the factors,
// their names, block designs, memberships from files and from the keyboard,
// and what stays when the dialogue is declined, refused or cut short.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "TevlanClasses.h"
#include "driver_fixture.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace {

std::vector<int> Row(const int* p, int n) { return std::vector<int>(p, p + n); }

class GroupsDialogue : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        Units(4);
    }
    // Key G on the answers; the error code thrown, or 0.
    int Run(const std::string& answers) { return DriverTest::Run(answers, SetGroups); }
    // A partition of one factor "Treat" with the groups in the file text.
    void Partition(const std::string& groups) {
        Put("start.txt", groups);
        ASSERT_EQ(Run(std::string(temGrupo == 1 ? "y\n" : "") + "1\nTreat\nf\nstart.txt\n"), 0) << err_;
    }
};

TEST_F(GroupsDialogue, OneFactorFromAFileIsCounted) {
    Put("g.txt", "2 1 2 3\n");
    ASSERT_EQ(Run("1\nTreat\nf\ng.txt\n"), 0) << err_;
    const std::string line(79, '-');
    EXPECT_EQ(shown_, line + "\nSPECIFYING GROUPS\nFile: units.txt\n"
                             "Enter the number of factors that are defining groups: "
                             "Enter the name of each factor: \nFactor 1: "
                             "Read group memberships from file (f) or from the keyboard (k)? f/k "
                             "Enter name of file containing group memberships: ");
    EXPECT_EQ(temGrupo, 1);
    EXPECT_EQ(grMembDimensioned, 1);
    EXPECT_EQ(nFactors, 1);
    EXPECT_EQ(nesting, 0);
    EXPECT_STREQ(factorLabel[0], "Treat");
    EXPECT_EQ(nestedFactor[0], 0);
    EXPECT_EQ(Row(grMemb[0], 4), (std::vector<int>{2, 1, 2, 3}));
    EXPECT_EQ(nGroups[0], 3);
    EXPECT_EQ(Row(grLabel[0], 3), (std::vector<int>{1, 2, 3}));
    // The further partition (one factor: two in all) stays empty.
    EXPECT_EQ(Row(grMemb[1], 4), (std::vector<int>(4, 0)));
    EXPECT_EQ(nGroups[1], 0);
}

TEST_F(GroupsDialogue, LabelsAreKeptAsGivenAndIndexedByPosition) {
    Partition("0 10 -5 10");
    EXPECT_EQ(Row(grMemb[0], 4), (std::vector<int>{0, 10, -5, 10}));
    EXPECT_EQ(nGroups[0], 3);
    EXPECT_EQ(Row(grLabel[0], 3), (std::vector<int>{-5, 0, 10}));
    int positions[4];
    EXPECT_EQ(GroupPositions(4, grMemb[0], positions), 3);
    EXPECT_EQ(Row(positions, 4), (std::vector<int>{2, 3, 1, 3}));
}

TEST_F(GroupsDialogue, BlockDesignNamesTheFirstFactorBlocks) {
    Put("g.txt", "1 1 2 2\n1 2 1 2\n");
    ASSERT_EQ(Run("2\ny\nTreat\nf\ng.txt\n"), 0) << err_;
    EXPECT_NE(shown_.find("Block design? y/n Enter the name of each factor: \nFactor 1: Blocks\nFactor 2: Read group"),
              std::string::npos)
        << shown_;
    EXPECT_NE(shown_.find("File must be ordered by factors (f1u1, ..., f1uN; f2u1, ...f2uN ...).\n"),
              std::string::npos);
    EXPECT_EQ(nesting, 1);
    EXPECT_EQ(Row(nestedFactor, 2), (std::vector<int>{0, 1}));
    EXPECT_STREQ(factorLabel[0], "Blocks");
    EXPECT_STREQ(factorLabel[1], "Treat");
    EXPECT_EQ(Row(grMemb[1], 4), (std::vector<int>{1, 2, 1, 2}));
    EXPECT_EQ(Row(nGroups, 2), (std::vector<int>{2, 2}));
    // Two factors keep four partitions: the further ones stay empty.
    EXPECT_EQ(Row(nGroups, 4), (std::vector<int>{2, 2, 0, 0}));

    // Without blocks both names are asked and nothing is nested.
    ASSERT_EQ(Run("y\n2\nn\nSite\nTreat\nf\ng.txt\n"), 0) << err_;
    EXPECT_EQ(nesting, 0);
    EXPECT_EQ(Row(nestedFactor, 2), (std::vector<int>{0, 0}));
    EXPECT_STREQ(factorLabel[0], "Site");
}

TEST_F(GroupsDialogue, DecliningToChangeKeepsEveryArray) {
    Partition("2 1 2 3");
    int** memb = grMemb;
    int** labels = grLabel;
    char** names = factorLabel;
    int* counts = nGroups;
    int* nested = nestedFactor;
    ASSERT_EQ(Run("n\n"), 0);
    EXPECT_NE(shown_.find("Current group partition:\nSampling units:   \tu1\tu2\tu3\tu4\nFactor Treat: \n"
                          "Groups:           \t2\t1\t2\t3\nChange? y/n "),
              std::string::npos)
        << shown_;
    EXPECT_EQ(grMemb, memb);
    EXPECT_EQ(grLabel, labels);
    EXPECT_EQ(factorLabel, names);
    EXPECT_EQ(nGroups, counts);
    EXPECT_EQ(nestedFactor, nested);
    EXPECT_EQ(Row(grMemb[0], 4), (std::vector<int>{2, 1, 2, 3}));
    EXPECT_EQ(Row(grLabel[0], 3), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(nGroups[0], 3);
    EXPECT_STREQ(factorLabel[0], "Treat");
}

TEST_F(GroupsDialogue, ARefusedFileAsksAgainAndAFullReadReplacesEveryEntry) {
    struct Case {
        const char* content;  // null: no such file
        const char* message;
    };
    const Case cases[] = {
        {"5 6 7\n", "File bad.txt was not read: it holds 3 group numbers, and 4 are needed"},
        {"", "it holds 0 group numbers"},
        {"one two three four five\n", "the value for unit 1 is \"one\", which is not a number."},
        {"5 6 1,5 7\n", "the value for unit 3 is \"1,5\", which is not a number.\nDecimals are written with a point"},
        {"5 6 1.5 7\n", "the group for unit 3 is 1.5, which is not a whole number"},
        {"5 6 3e9 7\n", "the group for unit 3 is 3000000000, which is not a whole number"},
        {nullptr, ""},
    };
    for (const Case& c : cases) {
        Partition("9 9 9 9");
        std::filesystem::remove("bad.txt");
        if (c.content) Put("bad.txt", c.content);
        Put("good.txt", "2.0 1\r\n-2 3\r\n");  // CRLF ends, and 2.0 is 2
        ASSERT_EQ(Run("y\n1\nT\nf\nbad.txt\nf\ngood.txt\n"), 0) << err_;
        EXPECT_EQ(Count(shown_, "Read group memberships from file (f) or from the keyboard (k)? f/k "), 2);
        EXPECT_NE(shown_.find(c.message), std::string::npos) << shown_;
        if (!c.content) {
            EXPECT_NE(err_.find("can't open bad.txt"), std::string::npos);
        }
        EXPECT_EQ(Row(grMemb[0], 4), (std::vector<int>{2, 1, -2, 3}));
        EXPECT_EQ(Row(grLabel[0], 4), (std::vector<int>{-2, 1, 2, 3}));
        EXPECT_EQ(nGroups[0], 4);
    }
    // The second factor is named in the place of a refusal.
    Put("bad.txt", "1 1 2 2\n1 x 1 2\n");
    Put("good.txt", "1 1 2 2\n1 2 1 2\n");
    ASSERT_EQ(Run("y\n2\nn\nA\nB\nf\nbad.txt\nf\ngood.txt\n"), 0);
    EXPECT_NE(shown_.find("the value for factor 2, unit 2 is \"x\""), std::string::npos) << shown_;
}

TEST_F(GroupsDialogue, KeyboardEntryKeepsIntegerParts) {
    ASSERT_EQ(Run("x\n0\n11\n2.5\nn\nA\nB\nk\n1 2.7 -3 3000000000 4\n7 7 7 7\n"), 0);
    EXPECT_EQ(nFactors, 2);  // x, 0 and 11 refused, 2.5 taken as 2
    EXPECT_EQ(Count(err_, "Reenter."), 3) << err_;
    EXPECT_NE(shown_.find("Enter the group of each sampling unit:\nSampling unit:   \tu1\tu2\tu3\tu4\n"
                          "Factor A: \nGroups:           \nFactor B: \nGroups:           "),
              std::string::npos)
        << shown_;
    EXPECT_EQ(Row(grMemb[0], 4), (std::vector<int>{1, 2, -3, 4}));
    EXPECT_EQ(Row(grMemb[1], 4), (std::vector<int>{7, 7, 7, 7}));
    EXPECT_EQ(Row(nGroups, 2), (std::vector<int>{4, 1}));
}

TEST_F(GroupsDialogue, PortugueseKeys) {
    Partition("2 1 2 3");
    Portuguese();
    Put("g.txt", "1 1 2 2 3 3 4 4\n");
    ASSERT_EQ(Run("s\n2\ns\nTrat\nf\na\ng.txt\n"), 0) << err_;
    EXPECT_NE(shown_.find("ESPECIFICACAO DE GRUPOS\n"), std::string::npos);
    EXPECT_NE(shown_.find("Alterar? s/n "), std::string::npos);
    EXPECT_NE(shown_.find("Delineamento em blocos? s/n Informe o nome de cada fator de agrupamento: \n"
                          "Fator 1: Blocos\nFator 2: "),
              std::string::npos)
        << shown_;
    EXPECT_NE(shown_.find("Ler grupo de cada unidade amostral de um arquivo (a) ou do teclado (t)? a/t "),
              std::string::npos);
    EXPECT_NE(err_.find("Incorrect input = f."), std::string::npos);  // f is not a Portuguese key
    EXPECT_STREQ(factorLabel[0], "Blocos");
    EXPECT_EQ(Row(grMemb[1], 4), (std::vector<int>{3, 3, 4, 4}));
}

TEST_F(GroupsDialogue, AnInputThatEndsInsideTheDialogueChangesNothing) {
    Partition("2 1 2 3");
    int** memb = grMemb;
    Put("short.txt", "1 2");
    for (const char* answers : {"y\n2\n", "y\n1\nT\n", "y\n1\nT\nf\nshort.txt\n", "y\n1\nT\nk\n1 2\n"}) {
        EXPECT_EQ(Run(answers), 2) << answers;
        EXPECT_EQ(grMemb, memb);
        EXPECT_EQ(nFactors, 1);
        EXPECT_STREQ(factorLabel[0], "Treat");
        EXPECT_EQ(Row(grMemb[0], 4), (std::vector<int>{2, 1, 2, 3}));
    }
}

TEST_F(GroupsDialogue, AHeldSnapshotKeepsTheOldPartition) {
    Partition("2 1 2 3");
    Session* held = SessionClass(true);
    ChangeCurrentSession(held);  // the globals now share the snapshot's arrays
    session1 = held;
    ASSERT_EQ(held->grMemb, grMemb);
    Put("g.txt", "5 5 6 6");
    ASSERT_EQ(Run("y\n1\nSite\nf\ng.txt\n"), 0);
    EXPECT_NE(held->grMemb, grMemb);
    EXPECT_EQ(Row(held->grMemb[0], 4), (std::vector<int>{2, 1, 2, 3}));
    EXPECT_STREQ(held->factorLabel[0], "Treat");
    EXPECT_EQ(Row(grMemb[0], 4), (std::vector<int>{5, 5, 6, 6}));
}

}  // namespace
