// The session files, key N's opening of sessions, the start-up offer to
// continue, and key S.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"
#include "load_answers.h"
#include "screens.h"

namespace {

// A session file without its first two lines (session and data-file names).
std::string Body(const std::string& session) {
    size_t a = session.find('\n');
    size_t b = session.find('\n', a + 1);
    return b == std::string::npos ? "" : session.substr(b + 1);
}

// ---------------------------------------------------------------------------
// Sessions
// ---------------------------------------------------------------------------

// A session file as the program writes it now: every number that the text
// gives with decimals or an exponent in the fewest significant digits that
// read back as the same double (the fixtures below are written the older
// way, with six decimals, which the program still reads). For the fixtures'
// magnitudes, %g's choice between decimals and an exponent is the shorter.
std::string Precise(const std::string& text) {
    std::string result;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = i;
        while (j < text.size() && !isspace(static_cast<unsigned char>(text[j]))) j++;
        std::string token = text.substr(i, j - i);
        char* end = nullptr;
        double x = token.empty() ? 0 : strtod(token.c_str(), &end);
        if (!token.empty() && end == token.c_str() + token.size() && token.find_first_of(".eE") != std::string::npos) {
            char buffer[40];
            for (int digits = 1; digits <= 17; digits++) {
                snprintf(buffer, sizeof buffer, "%.*g", digits, x);
                if (strtod(buffer, nullptr) == x) break;
            }
            token = buffer;
        }
        result += token;
        while (j < text.size() && isspace(static_cast<unsigned char>(text[j]))) result += text[j++];
        i = j;
    }
    return result;
}

// A session of 3 units x 2 variables with a resemblance matrix, principal
// coordinates and one factor of groups, as the program wrote it before
// sessions kept full precision.
std::string SmallSession(const std::string& name, const std::string& tag = "16/May/2007") {
    return name + "\nsmall.txt\n" + tag +
           "\n1\n3\n2\n1\n1\n0\n0\nN\n3\t3\t\n"
           "1.000000\t2.000000\t\n3.000000\t4.000000\t\n5.000000\t6.000000\t\n"
           "0\n4\n0\n"
           "0.100000\t0.200000\t\n0.300000\t0.400000\t\n0.500000\t0.600000\t\n"
           "a\tb\tc\t\nx\ty\t\n2\n"
           "1\n1\n3\n0\n0\n0.000000\n0.000000\n0\n"
           "0\n2.82843\n5.65685\n0\n2.82843\n0\n"
           "1\n1\n2\n8.000000\t0.500000\t\n-2.000000\t0.000000\t2.000000\t\n0.100000\t-0.200000\t0.100000\t\n"
           "1\n1\n0\nTreatment\n0\t\n2\t\n1\t2\t\n1\t2\t1\t\n";
}

TEST(Sessions, ContinueAndSaveGiveTheSameStateBack) {
    Dialogue d;
    d.Put("Sessao.trk", "S3\n");
    d.Put("S3.trk", SmallSession("S3"));
    RunResult r = d.Run("y\ns\nCopy\nx\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Wish to continue analysis session S3 with data file small.txt? y/n "), std::string::npos);
    EXPECT_NE(r.out.find("\nAnalysis status session S3:\nData file name: small.txt\n"
                         "Dimensions: 3 sampling units, 2 variables\n"
                         "Data type: (1) quantitative, same measurement scales\n"
                         "Scalar transformation: (0)none\n"
                         "Vector transformation: (4)normalization, within variables\n"
                         "Resemblance measure: (3)Euclidean distance, (1)comparing sampling units\n"
                         "Transformation of the resemblance measure: (0)none\n"
                         "Ordination scores available: (1)principal coordinates analysis\n"
                         "Session IS saved.\n"),
              std::string::npos)
        << r.out;
    // Stage 3: resemblance between units with groups.
    EXPECT_NE(r.out.find("\t* P  randomization tests"), std::string::npos);
    EXPECT_NE(r.out.find("Enter name for the session: "), std::string::npos);
    EXPECT_EQ(r.File("Sessao.trk"), "Copy\n");
    EXPECT_EQ(r.File("Copy.trk"), Precise(SmallSession("Copy")));
    EXPECT_EQ(r.File("S3.trk"), SmallSession("S3"));
    // The next start offers the session saved last.
    r = d.Run("n\nx\n");
    EXPECT_NE(r.out.find("Wish to continue analysis session Copy with data file small.txt? y/n "),
              std::string::npos);
    EXPECT_NE(r.out.find("Analysis status: Data not available."), std::string::npos);
}

TEST(Sessions, DataLoadedSavedAndContinuedComeBackWhole) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(Load("dune.txt", 1, 20, 30, "N\n2\nn\ns\nDune\nx\n"));
    std::string saved = r.File("Dune.trk");
    ASSERT_NE(saved, "");
    r = d.Run("y\ns\nAgain\nx\n");
    EXPECT_NE(r.out.find("Wish to continue analysis session Dune with data file dune.txt? y/n "), std::string::npos);
    EXPECT_EQ(Body(r.File("Again.trk")), Body(saved));
    EXPECT_NE(saved.find("Achimill\tAgrostol\t"), std::string::npos);
    // New data under a named session: asked whether to rename it.
    r = d.Run("y\n" + Load("dune.txt", 1, 20, 30, "N\n2\nn\ny\nThird\nx\n"));
    EXPECT_NE(r.out.find("Wish to rename this session? y/n Enter name for the session: "), std::string::npos);
    EXPECT_EQ(Body(r.File("Third.trk")), Body(saved));
}

// A session with every kind of state: mixed variables of all four types
// read variable by variable, transformations of three kinds, a resemblance
// between variables with its parameters, a correspondence analysis (scores
// and eigenvectors) and two factors in a block design.
std::string RichSession(const std::string& name) {
    return name + "\nmixed.txt\n16/May/2007\n"
           "1\n3\n4\n5\n1\n1\n1\nT\n1\t2\t3\t4\t\n"
           "1.000000\t2.000000\t3.500000\t-999.000000\t\n0.000000\t1.000000\t7.250000\t2.000000\t\n"
           "1.000000\t3.000000\t0.125000\t1.000000\t\n"
           "2\n1\n6\n"
           "0.500000\t-1.250000\t3.000000\t0.000000\t\n1.000000\t2.000000\t-3.000000\t4.000000\t\n"
           "0.333333\t0.666667\t1.000000\t-0.000001\t\n" +
           std::string(29, 'U') + "\tu2\tu3\t\nbin\tnom\tquant\tord\t\n2\n"
           "1\n2\n5\n3\n2\n0.500000\n2.250000\n1\n"
           "0\n0.25\n0.5\n1\n0\n0.125\n0.75\n0\n1e-07\n0\n"
           "1\n3\n2\n0.900000\t0.100000\t\n1.000000\t-1.000000\t0.500000\t\n0.500000\t0.500000\t-0.500000\t-0.500000\t\n"
           "-2.000000\t1.000000\t1.000000\t\n0.100000\t0.200000\t0.300000\t0.400000\t\n"
           "1\n2\n1\nBlocks\nTreatment\n0\t1\t\n2\t3\t\n1\t2\t\n1\t2\t3\t\n1\t1\t2\t\n3\t1\t2\t\n";
}

// What follows the first status of a session (up to the main menu, or to
// the end of a report), with the session name taken out.
std::string StatusOf(const std::string& out, const std::string& session) {
    const std::string heading = "Analysis status session " + session + ":";
    size_t from = out.find(heading);
    if (from == std::string::npos) return "(no status of " + session + ")";
    from += heading.size();
    return out.substr(from, out.find("MAIN MENU", from) - from);
}

TEST(Sessions, EveryKindOfStateComesBackExactly) {
    Dialogue d;
    d.Put("Sessao.trk", "Rich\n");
    d.Put("Rich.trk", RichSession("Rich"));
    RunResult first = d.Run("y\ns\nCopy\nx\n");
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.err, "");
    EXPECT_EQ(first.File("Copy.trk"), Precise(RichSession("Copy")));
    EXPECT_EQ(first.File("Rich.trk"), RichSession("Rich"));
    EXPECT_NE(first.out.find("Data type: (5) mixed\nVariable: 1 2 3 4 \nType:     1 2 3 4 \n"), std::string::npos)
        << first.out;
    EXPECT_NE(first.out.find("(2)comparing variables"), std::string::npos);
    EXPECT_NE(first.out.find("Ordination scores available: (3)correspondence analysis"), std::string::npos);
    // Continuing the copy shows the very same state.
    RunResult second = d.Run("y\nx\n");
    EXPECT_NE(second.out.find("Wish to continue analysis session Copy with data file mixed.txt? y/n "),
              std::string::npos);
    EXPECT_EQ(StatusOf(second.out, "Copy"), StatusOf(first.out, "Rich"));

    // The same through the program's own analyses on the example table:
    // the state saved, continued and saved again is the state saved, and the
    // same analysis of either gives the same report.
    Dialogue e;
    e.PutExample("dune.txt");
    RunResult r = e.Run(Load("dune.txt", 1, 20, 30, "N\n2\nn\nr\n1\n20\n0\nn\no\n1\nn\nn\ns\nA\nx\n"));
    ASSERT_EQ(r.status, 0);
    const std::string a = r.File("A.trk");
    ASSERT_NE(a.find("\n16/May/2007\n1\n20\n30\n"), std::string::npos);
    r = e.Run("y\ne\ns\nB\nx\n");
    EXPECT_EQ(Body(r.File("B.trk")), Body(a));
    const std::string analyse = "y\ne\no\n1\nn\nn\nx\n";
    const std::string reportB = Normalise(e.Run(analyse).File("Vidive.txt"));
    e.Put("Sessao.trk", "A\n");
    RunResult fromA = e.Run(analyse);
    EXPECT_NE(fromA.out.find("Wish to continue analysis session A "), std::string::npos);
    const std::string reportA = Normalise(fromA.File("Vidive.txt"));
    ASSERT_NE(reportA.find("\nORDINATION\n"), std::string::npos) << reportA;
    ASSERT_GT(reportA.size(), 5000u);
    EXPECT_EQ(StatusOf(reportB, "B"), StatusOf(reportA, "A"));
}

TEST(Sessions, AnotherVersionTagIsRefusedAndNeverOverwritten) {
    Dialogue d;
    d.Put("Sessao.trk", "Old\n");
    const std::string old = SmallSession("Old", "01/Jan/2001");
    d.Put("Old.trk", old);
    d.Put("six.txt", "1 2 3 4 5 6\n");
    RunResult r = d.Run("y\nx\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Previous analysis done with incompatible version of Tevlan. \nSpecify data again.\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("Analysis status: Data not available."), std::string::npos);
    EXPECT_EQ(r.File("Old.trk"), old);
    // New data after the refusal go to the default session, not over it.
    r = d.Run("y\n" + Load("six.txt", 1, 3, 2, "N\n1\nn\nx\n"));
    EXPECT_EQ(r.File("Old.trk"), old);
    EXPECT_EQ(Lines(r.File("Sessao.trk"))[0], "Sessao");
    EXPECT_NE(r.out.find("Data file name: six.txt"), std::string::npos);
}

TEST(Sessions, DamagedSessionFilesAreRefusedWithoutHarm) {
    Dialogue d;
    d.Put("Sessao.trk", "Bad\n");
    std::string good = SmallSession("Bad");
    // The damage, what it becomes, and the section the message names.
    struct Damage {
        std::string from, to, section;
    };
    const std::vector<Damage> damage = {
        {"\n3\n2\n", "\n-3\n2\n", "data"},                            // negative count
        {"\n3\n2\n", "\n300000000\n2\n", "data"},                     // more numbers than the file holds
        {"\nN\n", "\nQ\n", "data"},                                   // no such order
        {"\n0\n4\n0\n", "\n0\n44\n0\n", "data"},                      // no such transformation
        {"0\n2.82843\n5.65685\n", "0\nx\n5.65685\n", "resemblance"},  // not a number
        {"\n2\t\n1\t2\t\n", "\n3\t\n1\t2\t\n", "groups"},             // groups that are not the memberships'
        {"\n0\nTreatment\n0\t\n", "\n1\nTreatment\n0\t\n", "groups"},  // a block design of one factor
        {"\n0\nTreatment\n0\t\n", "\n0\nTreatment\n1\t\n", "groups"},  // a factor nested without blocks
        {"\n2\n1\n1\n0\n0\nN\n", "\n2\n5\n1\n0\n0\nN\n", "data"},       // mixed, but one kind of variable
        {"\n1.000000\t2.000000\t\n3", "\nnan\t2.000000\t\n3", "data"},  // data that are no number
        {"\n1.000000\t2.000000\t\n3", "\n1.0\t1e999\t\n3", "data"},     // beyond any number
        {"\nN\n", "\nNT\n", "data"},                                  // no such order
        {"\n0.000000\n0.000000\n0\n", "\n-0.5\n0.000000\n0\n", "resemblance"},  // a negative parameter
        {"\n0.000000\n0.000000\n0\n", "\n0.000000\nnan\n0\n", "resemblance"},   // a parameter that is no number
        // Values that are not finite numbers, in every numeric section.
        {"0.500000\t0.600000\t", "0.500000\tinf\t", "data"},           // transformed data
        {"0\n2.82843\n5.65685\n", "0\nnan\n5.65685\n", "resemblance"},
        {"8.000000\t0.500000\t", "8.000000\tinf\t", "ordination"},     // an eigenvalue
        {"0.100000\t-0.200000\t0.100000\t", "0.100000\t-nan\t0.100000\t", "ordination"},  // a score
    };
    for (const Damage& k : damage) {
        std::string bad = good;
        size_t p = bad.find(k.from);
        ASSERT_NE(p, std::string::npos) << k.from;
        bad.replace(p, k.from.size(), k.to);
        d.Put("Bad.trk", bad);
        RunResult r = d.Run("y\nx\n");
        EXPECT_EQ(r.status, 0) << k.to;
        EXPECT_NE(r.out.find("Session file Bad.trk is damaged in its " + k.section +
                             " section and was not read. \nSpecify data again.\n"),
                  std::string::npos)
            << k.to;
        EXPECT_NE(r.out.find("Analysis status: Data not available."), std::string::npos) << k.to;
        EXPECT_EQ(r.File("Bad.trk"), bad);
    }
    // A file cut short.
    d.Put("Bad.trk", good.substr(0, good.size() / 2));
    RunResult r = d.Run("y\nx\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Session file Bad.trk is damaged in its data section"), std::string::npos);
    // The order is read in either case, as the keyboard answer is.
    std::string lower = good;
    lower.replace(lower.find("\nN\n"), 3, "\nn\n");
    d.Put("Bad.trk", lower);
    r = d.Run("y\ns\nCopy\nx\n");
    EXPECT_EQ(r.out.find("is damaged"), std::string::npos);
    EXPECT_EQ(r.File("Copy.trk"), Precise(SmallSession("Copy")));
}

TEST(Sessions, LongLabelsInASessionFileAreCutWithoutShifting) {
    Dialogue d;
    d.Put("Sessao.trk", "Long\n");
    std::string session = SmallSession("Long");
    session.replace(session.find("a\tb\tc\t\n"), 7, std::string(40, 'a') + "\tb\tc\t\n");
    session.replace(session.find("\nTreatment\n"), 11, "\n" + std::string(120, 'T') + "\n");
    d.Put("Long.trk", session);
    RunResult r = d.Run("y\ns\nCut\nx\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\nSome labels have more than 29 characters: only their first 29 were kept.\n"),
              std::string::npos);
    std::string expected = Precise(SmallSession("Cut"));
    expected.replace(expected.find("a\tb\tc\t\n"), 7, std::string(29, 'a') + "\tb\tc\t\n");
    expected.replace(expected.find("\nTreatment\n"), 11, "\n" + std::string(99, 'T') + "\n");
    EXPECT_EQ(r.File("Cut.trk"), expected);
}

TEST(Sessions, OpenAnotherSessionWithKeyN) {
    Dialogue d;
    d.Put("S3.trk", SmallSession("S3"));
    d.Put("six.txt", "1 2 3 4 5 6\n");
    RunResult r = d.Run("n\no\nnone\ny\nS3\nx\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Wish to specify new data (n) or to open (o) an existing session? n/o "
                         "Enter session name (without the extension .trk): "),
              std::string::npos);
    EXPECT_NE(r.err.find("\ncan't open none.trk \n"), std::string::npos);
    EXPECT_NE(r.out.find("Analysis status session S3:"), std::string::npos);
    EXPECT_EQ(r.File("Sessao.trk"), "S3\n");
    // A damaged session opened over loaded data leaves the data, and their
    // session file, as they were.
    std::string bad = SmallSession("B");
    bad.replace(bad.find("\nN\n"), 3, "\nQ\n");
    d.Put("B.trk", bad);
    r = d.Run("y\nn\no\nB\nx\n");
    EXPECT_NE(r.out.find("Session file B.trk is damaged in its data section and was not read."), std::string::npos);
    std::string after = r.out.substr(r.out.find("is damaged"));
    EXPECT_NE(after.find("Analysis status session S3:\nData file name: small.txt\n"), std::string::npos) << after;
    EXPECT_EQ(r.File("S3.trk"), Precise(SmallSession("S3")));
    EXPECT_EQ(r.File("B.trk"), bad);
}

// The session file holds neither the factor whose group means were taken
// off nor the number of classes without a resemblance matrix; where the
// data held leave them open, the continued session says so once, and every
// report of a table transformed anew says it again. F2's groups lie within
// F1's and their means are F1's, so both factors give the data back; after
// the classes a step within units hides their count. Presences smoothed by
// Beals leave nothing open: both ways of counting co-occurrences are one.
TEST(Sessions, OptionsTheDataLeaveOpenAreSaidWhereTheyAreUsed) {
    const std::string factor = "The session file does not name the factor whose group means were removed, and each "
                               "of F1 and F2 gives back its data: tables transformed anew take off the group means "
                               "of F1.\n";
    const std::string classes = "The session file does not keep the number of classes of the rescaling, and its "
                                "data do not show it: tables transformed anew are not rescaled into classes.\n";
    const std::string grouped = "n n n.txt 1 8 2 N 2 n\ng 2 n F1 F2 f gn.txt\n";
    const std::string counts = "n n c.txt 1 6 3 N 1 n\n";
    const struct {
        std::string make, test, line;
        int blocks;  // reports that carry the line
    } cases[] = {
        // The ordination bootstrap.
        {grouped + "t 1 0 2 12 n 2 n n\nr 1 3 0 n\nx\n", "o 1 n y 2 8 3 2 11 n\n", factor, 1},
        // Key A, then key F's search.
        {counts + "t 1 0 2 8 3 y 4 n\nx\n", "r 2 17 0 n\na 2 1 19 0 n n\nf 1 1 2 1 19 0 n 1 0.05\n", classes, 2},
        // Correspondence analysis, then the Malinvaud test.
        {counts + "t 1 0 2 8 3 y 6 n\nx\n", "r 2 1 0 n\no 3 n n\no 5 2 1 19 n\n", classes, 2},
        {counts + "t 1 1 3 11 0 y n n n\nx\n", "", "", 0},
    };
    for (const auto& c : cases) {
        Dialogue d;
        d.Put("n.txt", "1 5\n3 1\n3 2\n1 4\n10 7\n12 7\n11 6\n11 8\nu1 u2 u3 u4 u5 u6 u7 u8\nX Y\n");
        d.Put("gn.txt", "1 1 1 1 2 2 2 2 1 1 2 2 3 3 4 4\n");
        d.Put("c.txt", "1 4 2\n3 0 5\n2 2 2\n5 1 0\n0 3 1\n4 5 3\n");
        ASSERT_EQ(d.Run(c.make).status, 0) << c.make;
        const RunResult r = d.Run("y e\n" + c.test + "x\n");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        // Said once, where the session is continued.
        EXPECT_EQ(Count(r.out, c.blocks > 0 ? "y/n \n" + c.line : "The session file does not"), c.blocks > 0 ? 1 : 0)
            << r.out;
        EXPECT_EQ(Count(r.File("Vidive.txt"), c.line), c.blocks) << c.test << r.File("Vidive.txt");
    }
}

// The session file keeps no Beals options: each set, not only the one in
// force by default, is found again from quantities that tell them apart.
TEST(Sessions, EachSetOfBealsOptionsIsFoundAgain) {
    for (int set = 0; set < 8; set++) {
        Dialogue d;
        d.Put("c.txt", "1 4 2\n3 0 5\n2 2 2\n5 1 0\n0 3 1\n4 5 3\n");
        const bool weighted = set & 1, included = set & 2, standardized = set & 4;
        ASSERT_EQ(d.Run(std::string("n n c.txt 1 6 3 N 1 n t 1 0 3 11 ") + (weighted ? "1" : "0") +
                        (included ? " y" : " n") + (standardized ? " y" : " n") + " n n\nx\n")
                      .status,
                  0);
        const RunResult r = d.Run("y e x\n");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.find("The session file does not"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(weighted ? "Co-occurence probabilities of target variable weighted"
                                      : "Co-occurence probabilities based on presences and absences"),
                  std::string::npos)
            << set;
        EXPECT_NE(r.out.find(included ? "Target species values included" : "Target species values NOT included"),
                  std::string::npos)
            << set;
        EXPECT_NE(r.out.find(standardized ? "co-occurrence standardized" : "co-occurrence NOT standardized"),
                  std::string::npos)
            << set;
    }
}

TEST(Sessions, SaveAsksBeforeReplacingAndRefusesOverlongNames) {
    Dialogue d;
    d.Put("six.txt", "1 2 3 4 5 6\n");
    d.Put("A.trk", "keep me\n");
    const std::string tooLong(96, 'n');
    RunResult r = d.Run(Load("six.txt", 1, 3, 2, "N\n1\nn\ns\nA\nn\n" + tooLong + "\nB\nx\n"));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("A session named A already exists. Wish to erase? y/n Enter name for the session: "),
              std::string::npos);
    EXPECT_NE(r.out.find("\nA session name has at most 95 characters.\n"), std::string::npos);
    EXPECT_EQ(r.File("A.trk"), "keep me\n");
    EXPECT_EQ(r.File("Sessao.trk"), "B\n");
    EXPECT_TRUE(r.HasFile("B.trk"));
    // 95 characters fit.
    r = d.Run("y\ns\n" + std::string(95, 'n') + "\nx\n");
    EXPECT_TRUE(r.HasFile(std::string(95, 'n') + ".trk"));
}

TEST(Sessions, FailedWriteKeepsThePreviousFileAndSaysNotSaved) {
    Dialogue d;
    d.Put("Sessao.trk", "S3\n");
    d.Put("S3.trk", SmallSession("S3"));
    d.LimitFileSize(0);
    RunResult r = d.Run("y\ns\nS3\ny\nx\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\nSession file S3.trk could not be written: the session is NOT saved.\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("Session is NOT saved.\n"), std::string::npos);
    EXPECT_EQ(r.File("S3.trk"), SmallSession("S3"));
    EXPECT_EQ(r.File("Sessao.trk"), "S3\n");
}

TEST(Sessions, AKeyThatChangesNothingLeavesTheSessionFileAndItsStatus) {
    for (int units : {20, 401}) {
        Dialogue d;
        std::string table, groups;
        for (int i = 0; i < units; i++) {
            table += std::to_string(i % 17) + " " + std::to_string(i % 5) + ".5\n";
            groups += std::to_string(i % 3 + 1) + " ";
        }
        d.Put("t.txt", table);
        d.Put("g.txt", groups + "\n");
        const std::string prepare = Load("t.txt", 1, units, 2, "N\n1\nn\n") + "r\n1\n3\n0\nn\ng\n1\nF\nf\ng.txt\n";
        const std::string keyP = "p\nn\n2\n12345\nd\n0\n99\nn\n";
        RunResult r;
        if (units <= 400) {
            r = d.Run(prepare + "x\n");
            ASSERT_EQ(r.status, 0) << r.err;
            // A session written again would be a new file under the name.
            struct stat before, after;
            ASSERT_EQ(stat((d.Folder() + "/Sessao.trk").c_str(), &before), 0);
            r = d.Run("y\na\n" + keyP + "x\n");
            ASSERT_EQ(stat((d.Folder() + "/Sessao.trk").c_str(), &after), 0);
            EXPECT_EQ(before.st_ino, after.st_ino);
        } else {
            // Beyond 400 rows only S writes the resemblance.
            r = d.Run(prepare + "s\nBig\n" + keyP + "x\n");
        }
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Count(r.out, "See results on file Vidive.txt."), units <= 400 ? 1 : 2) << units;
        EXPECT_EQ(r.err.find("could not be written"), std::string::npos) << r.err;
        const std::string last = r.out.substr(r.out.rfind("Analysis status"));
        EXPECT_NE(last.find("Session IS saved."), std::string::npos) << units << last;
    }
}

}  // namespace
