// Start-up with a name file or session file that holds no words: the program
// must start (as without a last session) and the next write must replace it.
#include <gtest/gtest.h>

#include <string>

#include "harness.h"
#include "screens.h"

namespace {

// Key N with a 3 x 2 table of default labels, no report, then exit.
const char* const kLoadSix = "n\nn\nsix.txt\n1\n3\n2\nN\n1\nn\nx\n";

TEST(SessionStart, EmptyOrBlankNameFileMeansNoLastSession) {
    for (const std::string& content : {std::string(""), std::string("  \n\t \n\n")}) {
        Dialogue d;
        d.Put("Sessao.trk", content);
        d.Put("six.txt", "1 2 3 4 5 6\n");
        RunResult r = d.Run("x\n");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.find("Wish to continue"), std::string::npos);
        EXPECT_NE(r.out.find("\nAnalysis status: Data not available.\n"), std::string::npos);
        EXPECT_NE(r.out.find("MAIN MENU\n"), std::string::npos);
        // Nothing was written over it while no session was made.
        EXPECT_EQ(r.File("Sessao.trk"), content);

        // The next session replaces it, and the start after that offers it.
        r = d.Run(kLoadSix);
        EXPECT_EQ(r.status, 0);
        std::vector<std::string> lines = Lines(r.File("Sessao.trk"));
        ASSERT_GT(lines.size(), 3u);
        EXPECT_EQ(lines[0], "Sessao");
        EXPECT_EQ(lines[1], "six.txt");
        r = d.Run("y\nx\n");
        EXPECT_NE(r.out.find("Wish to continue analysis session with data file six.txt? y/n "), std::string::npos);
        EXPECT_NE(r.out.find("Dimensions: 3 sampling units, 2 variables\n"), std::string::npos);
    }
}

TEST(SessionStart, NamedSessionFileWithoutItsWordsIsTakenAsMissing) {
    // An empty session file, and one cut after its first word.
    for (const std::string& content : {std::string(""), std::string("Field\n")}) {
        Dialogue d;
        d.Put("Sessao.trk", "Field\n");
        d.Put("Field.trk", content);
        d.Put("six.txt", "1 2 3 4 5 6\n");
        // (The data of a named session bring the offer to rename it: n.)
        RunResult r = d.Run("n\nn\nsix.txt\n1\n3\n2\nN\n1\nn\nn\nx\n");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.find("Wish to continue"), std::string::npos);
        // As with a missing file, the named session receives the new data.
        EXPECT_NE(r.out.find("Analysis status session Field:\nData file name: six.txt\n"), std::string::npos);
        EXPECT_EQ(r.File("Sessao.trk"), "Field\n");
        EXPECT_EQ(Lines(r.File("Field.trk"))[1], "six.txt");
    }
}

}  // namespace
