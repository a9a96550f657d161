// Key G through the whole program on the dune data: memberships from the
// management file and from the keyboard, refused files, the partition kept
// in the session, and Portuguese.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

// Key N on dune.txt with its own labels, no data matrix in the report.
const char* const kLoad = "n\nn\ndune.txt\n1\n20\n30\nN\n2\nn\n";

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> w;
    for (std::string s; in >> s;) w.push_back(s);
    return w;
}

std::string Tabbed(const std::vector<std::string>& items) {
    std::string s;
    for (const std::string& x : items) s += "\t" + x;
    return s;
}

// The block key G shows for a partition of the dune units by management.
std::string ShownManagement() {
    const std::string dune = ReadFile(std::string(TEVLAN_EXAMPLES) + "/dune.txt");
    // The unit labels are the line after the 20 x 30 numbers.
    std::vector<std::string> words = Words(dune);
    std::vector<std::string> units(words.begin() + 600, words.begin() + 620);
    std::vector<std::string> groups =
        Words(ReadFile(std::string(TEVLAN_EXAMPLES) + "/dune_groups_management.txt"));
    return "Current group partition:\nSampling units:   " + Tabbed(units) +
           "\nFactor Management: \nGroups:           " + Tabbed(groups) + "\nChange? y/n ";
}

TEST(GroupsKey, MembershipsFromTheManagementFileAreShownAgainAndKeptInTheSession) {
    Dialogue d;
    d.PutExample("dune.txt");
    d.PutExample("dune_groups_management.txt");
    RunResult r = d.Run(std::string(kLoad) + "g\n1\nManagement\nf\ndune_groups_management.txt\ng\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Count(r.out, "SPECIFYING GROUPS\nFile: dune.txt\n"), 2);
    EXPECT_EQ(Count(r.out, ShownManagement()), 1) << r.out;

    // The session holds the partition: management codes 1..4 in groups of
    // 3, 5, 6 and 6 units.
    const std::string session = r.File("Sessao.trk");
    EXPECT_NE(session.find("1\n1\n0\nManagement\n0\t\n4\t\n1\t2\t3\t4\t\n"
                           "4\t1\t4\t4\t2\t2\t2\t2\t2\t1\t1\t4\t4\t3\t3\t4\t3\t3\t3\t3\t\n"),
              std::string::npos)
        << session;

    // Continuing the session at the next start gives the same partition.
    RunResult again = d.Run("y\ng\nn\nx\n");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Count(again.out, ShownManagement()), 1) << again.out;
    EXPECT_EQ(again.File("Sessao.trk"), session);
}

TEST(GroupsKey, KeyboardEntryOfTwoFactorsInABlockDesign) {
    Dialogue d;
    d.PutExample("dune.txt");
    std::string blocks, treatments;
    for (int i = 0; i < 20; i++) {
        blocks += std::to_string(i / 5 + 1) + " ";
        treatments += std::to_string(i % 5 == 0 ? -1 : i % 5 * 10) + " ";
    }
    RunResult r = d.Run(std::string(kLoad) + "g\n2\ny\nDose\nk\n" + blocks + "\n" + treatments + "\ng\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Factor 1: Blocks\nFactor 2: Read group memberships from file (f) or from the keyboard "
                         "(k)? f/k Enter the group of each sampling unit:\nSampling unit:   \t1\t2\t3"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\nFactor Blocks: \nGroups:           \t1\t1\t1\t1\t1\t2\t"), std::string::npos);
    EXPECT_NE(r.out.find("\nFactor Dose: \nGroups:           \t-1\t10\t20\t30\t40\t-1\t"), std::string::npos);
    // Factors, block design, names, nested flags, counts and labels.
    EXPECT_NE(r.File("Sessao.trk").find("1\n2\n1\nBlocks\nDose\n0\t1\t\n4\t5\t\n1\t2\t3\t4\t\n-1\t10\t20\t30\t40\t\n"),
              std::string::npos)
        << r.File("Sessao.trk");
}

TEST(GroupsKey, AShortFileAndAFileOfWordsAskAgain) {
    Dialogue d;
    d.PutExample("dune.txt");
    d.PutExample("dune_groups_management.txt");
    d.Put("short.txt", "4 1 4 4 2 2 2 2 2 1 1 4 4 3 3 4 3 3 3\n");
    d.Put("words.txt", "BF HF NM SF\n");
    RunResult r = d.Run(std::string(kLoad) +
                        "g\n1\nManagement\nf\nshort.txt\nf\nwords.txt\nf\nmissing.txt\nf\ndune_groups_management.txt\n"
                        "g\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(r.out, "Read group memberships from file (f) or from the keyboard (k)? f/k "), 4);
    EXPECT_NE(r.out.find("File short.txt was not read: it holds 19 group numbers, and 20 are needed (1 factor(s) x "
                         "20 sampling units).\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("End of file short.txt"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("File words.txt was not read: the value for unit 1 is \"BF\", which is not a number.\n"),
              std::string::npos);
    EXPECT_NE(r.err.find("can't open missing.txt"), std::string::npos);
    EXPECT_EQ(Count(r.out, ShownManagement()), 1);
}

// A file of group numbers, or of key Y's times, that holds more than the
// units need is read as far as they go, with a warning.
TEST(GroupsKey, AFileWithMoreValuesThanUnitsSaysSo) {
    const std::string management = ReadFile(std::string(TEVLAN_EXAMPLES) + "/dune_groups_management.txt");
    std::string positions;
    for (int i = 1; i <= 23; i++) positions += std::to_string(i) + "\n";
    const struct {
        std::string file, answers, shown;  // shown: "" when no warning is due
    } cases[] = {
        {management + "1 2 3\n", "g\n1\nManagement\nf\nf.txt\n",
         "Warning: file f.txt holds 23 values; the first 20 were read (1 factor(s) x 20 sampling units), the rest "
         "were not.\n"},
        {management + "\n \n", "g\n1\nManagement\nf\nf.txt\n", ""},
        {positions, "y\n2\nf.txt\n1\n",
         "Warning: file f.txt holds 23 values; the first 20 were read (one per sampling unit), the rest were not.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answers);
        Dialogue d;
        d.PutExample("dune.txt");
        d.Put("f.txt", c.file);
        RunResult r = d.Run(std::string(kLoad) + c.answers + "x\n");
        EXPECT_EQ(r.status, 0) << r.err;
        if (c.shown.empty()) {
            EXPECT_EQ(r.out.find("Warning"), std::string::npos);
        } else {
            EXPECT_EQ(Count(r.out, "\n" + c.shown), 1) << r.out;
        }
        if (c.answers[0] == 'g') {  // the first 20 are the partition
            EXPECT_NE(r.File("Sessao.trk").find("4\t1\t4\t4\t2\t2\t2\t2\t2\t1\t1\t4\t4\t3\t3\t4\t3\t3\t3\t3\t\n"),
                      std::string::npos);
        }
    }
}

TEST(GroupsKey, PortugueseAndAnInputThatEndsInsideTheDialogue) {
    Dialogue d;
    d.Put("Tevlan.prf", "06Apr2012\n0\n1\n0\n0\n0\n0\n5\n6\n0\n");
    d.PutExample("dune.txt");
    d.PutExample("dune_groups_management.txt");
    RunResult r = d.Run(std::string(kLoad) + "g\n1\nManejo\nf\na\ndune_groups_management.txt\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("ESPECIFICACAO DE GRUPOS\nArquivo: dune.txt\nEntre o numero de fatores que definem grupos: "
                         "Informe o nome de cada fator de agrupamento: \nFator 1: Ler grupo de cada unidade amostral "
                         "de um arquivo (a) ou do teclado (t)? a/t "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("Incorrect input = f."), std::string::npos);
    const std::string session = r.File("Sessao.trk");
    EXPECT_NE(session.find("Manejo\n"), std::string::npos);

    // The script ends after "Alterar? s" and the number of factors: the
    // fatal end, and the session file keeps the partition it had.
    RunResult cut = d.Run("s\ng\ns\n2\n");
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.out.find("Particao atual de grupos:\nUnidades amostrais: \t1\t2"), std::string::npos) << cut.out;
    EXPECT_NE(cut.out.find("\nFator Manejo: \nGrupos:           \t4\t1\t4"), std::string::npos);
    EXPECT_NE(cut.err.find("ARQUIVO INCOMPLETO"), std::string::npos);
    EXPECT_EQ(cut.File("Sessao.trk"), session);
}

}  // namespace
