// Key N's new data: the data-file dialogue, the files it refuses, and the
// report of the data.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "load_answers.h"
#include "screens.h"

namespace {

// The dune table (20 units x 30 species) as numbers and labels.
struct Table {
    std::vector<std::vector<std::string>> cells;
    std::vector<std::string> units, variables;
};

Table Dune() {
    std::istringstream in(ReadFile(std::string(TEVLAN_EXAMPLES) + "/dune.txt"));
    Table t;
    t.cells.assign(20, std::vector<std::string>(30));
    for (auto& row : t.cells)
        for (auto& c : row) in >> c;
    t.units.resize(20);
    t.variables.resize(30);
    for (auto& l : t.units) in >> l;
    for (auto& l : t.variables) in >> l;
    return t;
}

TEST(DataFile, BothOrdersGiveTheSameTable) {
    Dialogue d;
    d.PutExample("dune.txt");
    // The same table written variable by variable, labels after it.
    Table t = Dune();
    std::string transposed;
    for (int j = 0; j < 30; j++) {
        for (int i = 0; i < 20; i++) transposed += t.cells[i][j] + (i < 19 ? " " : "\n");
    }
    for (auto& l : t.units) transposed += l + " ";
    transposed += "\n";
    for (auto& l : t.variables) transposed += l + " ";
    d.Put("dune_t.txt", transposed + "\n");

    RunResult n = d.Run(Load("dune.txt", 1, 20, 30, "N\n2\nn\nx\n"));
    EXPECT_EQ(n.status, 0);
    EXPECT_EQ(n.err, "");
    EXPECT_NE(n.out.find("Data ordered by (the rows of the matrix correspond to): \n"
                         "\t(N) sampling units (u1v1,..., u1vp,..., unv1,..., unvp)\n"
                         "\t(T) variables (u1v1,..., unv1,..., u1vp,..., unvp)\n\t\tEnter option: "),
              std::string::npos);
    EXPECT_NE(n.out.find("\nAnalysis status:\nData file name: dune.txt\n"
                         "Dimensions: 20 sampling units, 30 variables\n"
                         "Data type: (1) quantitative, same measurement scales\n"),
              std::string::npos);
    // Stage 1: data read, no resemblance yet.
    EXPECT_NE(n.out.find("\t* V  descriptive attributes\n"), std::string::npos);
    EXPECT_NE(n.out.find("\t  O  ordination\n"), std::string::npos);
    std::string byUnits = n.File("Sessao.trk");
    std::vector<std::string> lines = Lines(byUnits);
    ASSERT_GT(lines.size(), 14u);
    EXPECT_EQ(lines[0], "Sessao");
    EXPECT_EQ(lines[1], "dune.txt");
    EXPECT_EQ(lines[2], "16/May/2007");
    EXPECT_EQ(lines[10], "N");
    // The first row of the table as read, whole numbers as they are.
    EXPECT_EQ(lines[12].substr(0, 6), "1\t0\t0\t");

    RunResult tr = d.Run("n\n" + Load("dune_t.txt", 1, 20, 30, "T\n2\nn\nx\n"));
    EXPECT_EQ(tr.status, 0);
    EXPECT_EQ(tr.out.find("Warning"), std::string::npos);
    std::string byVariables = tr.File("Sessao.trk");
    std::vector<std::string> l2 = Lines(byVariables);
    ASSERT_GT(l2.size(), 10u);
    l2[10] = "N";  // the declared order is all that differs
    lines[1] = l2[1] = "";
    EXPECT_EQ(l2, lines);
}

TEST(DataFile, SmallTableInEitherOrderAndDefaultLabels) {
    Dialogue d;
    d.Put("six.txt", "1 2 3 4 5 6\n");
    RunResult r = d.Run(Load("six.txt", 1, 3, 2, "N\n1\nn\nx\n"));
    std::vector<std::string> l = Lines(r.File("Sessao.trk"));
    ASSERT_GT(l.size(), 22u);
    EXPECT_EQ(l[12], "1\t2\t");
    EXPECT_EQ(l[13], "3\t4\t");
    EXPECT_EQ(l[14], "5\t6\t");
    EXPECT_EQ(l[21], "1\t2\t3\t");  // labels made up
    EXPECT_EQ(l[22], "1\t2\t");
    r = d.Run("n\n" + Load("six.txt", 1, 3, 2, "T\n1\nn\nx\n"));
    l = Lines(r.File("Sessao.trk"));
    ASSERT_GT(l.size(), 14u);
    EXPECT_EQ(l[12], "1\t4\t");
    EXPECT_EQ(l[13], "2\t5\t");
    EXPECT_EQ(l[14], "3\t6\t");
}

TEST(DataFile, TooFewNumbersLeaveNoData) {
    Dialogue d;
    d.Put("five.txt", "1 2 3 4 5\n");
    RunResult r = d.Run(Load("five.txt", 1, 3, 2, "N\nx\n"));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\nFile five.txt was not read because it is incomplete.\nPlease check!\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("\nAnalysis status: Data not available.\n"), std::string::npos);
    EXPECT_EQ(Count(r.out, "\t* "), 8);  // two menus at stage 0: N, E, Z, X
    // Sizes the file could never hold: the same message, with nothing
    // allocated for them, and the same questions on the way.
    // (A failed load writes no session: the next start offers none.)
    r = d.Run(Load("five.txt", 1, 2000000000, 2000000000, "N\nx\n"));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("File five.txt was not read because it is incomplete."), std::string::npos);
    // Sizes of 0 are refused and asked again.
    r = d.Run("n\nn\nfive.txt\n1\n0\n5\n1\n1\nn\nx\n");
    EXPECT_NE(r.err.find("\nIncorrect input = 0. Reenter.\nAccepted input: 1 to 2.14748e+09\n"), std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("Dimensions: 5 sampling units, 1 variables\n"), std::string::npos);
}

// Skipping a field that is no finite number would shift every later value
// into the wrong cell. A file of another kind (a spreadsheet's CSV, a header
// row) shows at its first field: what a data file holds is said once.
TEST(DataFile, AValueThatIsNotAFiniteNumberLeavesNoData) {
    const std::string hint = "\nA data file holds the numbers first, separated by blanks or tabs (not commas), one "
                             "sampling unit per line, then the sampling-unit labels and the variable labels; no "
                             "header row. The format is shown in examples/README.md.\n";
    const struct {
        std::string file, place, token;
        int hints;
    } cases[] = {
        {"1 1e999 3 4\n", "unit 1, variable 2", "1e999", 0},
        {"1 nan 3 4\n", "unit 1, variable 2", "nan", 0},
        {"1 -inf 3 4\n", "unit 1, variable 2", "-inf", 0},
        {"\"\",\"Callvulg\"\n\"1\",1\n", "unit 1, variable 1", "\"\",\"Callvulg\"", 1},
        {"Callvulg Empenigr\n1 0\n0 1\n", "unit 1, variable 1", "Callvulg", 1},
    };
    for (const auto& c : cases) {
        Dialogue d;
        d.Put("odd.txt", c.file);
        RunResult r = d.Run(Load("odd.txt", 1, 2, 2, "N\nx\n"));
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("\nFile odd.txt was not read: the value for " + c.place + " is \"" + c.token +
                             "\", which is not a number.\n"),
                  std::string::npos)
            << c.file;
        EXPECT_EQ(Count(r.out, hint), c.hints) << r.out;
        EXPECT_NE(r.out.find("\nAnalysis status: Data not available.\n"), std::string::npos);
    }
}

// Sizes or an order that contradict the lines of the file are pointed out,
// and the table still loads as declared; layouts that keep each row to its
// own lines (wrapped, or the whole table on one line) are not.
TEST(DataFile, SizesThatContradictTheLinesAreNamed) {
    const std::string dune = ReadFile(std::string(TEVLAN_EXAMPLES) + "/dune.txt");
    const std::string data = "in file f.txt, 20 of the 20 lines of data hold 30 values each, but 20 were declared per ";
    const std::string labels = "in file f.txt, the first line of labels holds ";
    const struct {
        std::string file, answers, shown;  // shown: "" when no warning is due
    } cases[] = {
        {dune, Load("f.txt", 1, 30, 20, "N\n2\nn\nx\n"),
         data + "sampling unit (the number of variables); check the order: sampling units, then variables.\n"},
        {dune, Load("f.txt", 1, 20, 30, "T\n1\nn\nx\n"),
         data + "variable (the number of sampling units: order T); check the order"},
        {dune, Load("f.txt", 1, 20, 30, "N\n2\nn\nx\n"), ""},
        // Units of 4 values wrapped 2 to a line; labels of 4 units read as 2.
        {"1 2\n3 4\n5 6\n7 8\nu1 u2\nv1 v2 v3 v4\n", Load("f.txt", 1, 2, 4, "N\n2\nn\nx\n"), ""},
        {"1 2\n3 4\n5 6\n7 8\nu1 u2 u3 u4\nv1 v2\n", Load("f.txt", 1, 2, 4, "N\n2\nn\nx\n"),
         labels + "4 labels, but 2 sampling-unit labels were declared, then 4 variable labels; check the order"},
        {"1 2 3 4 5 6\nu1\nu2\nu3\nv1\nv2\n", Load("f.txt", 1, 3, 2, "N\n2\nn\nx\n"), ""},
        {"1 2 3\n4 5 6\nu1 u2 u3 v1 v2\n", Load("f.txt", 1, 3, 2, "N\n2\nn\nx\n"), "in file f.txt, 2 of the 2 lines"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answers);
        Dialogue d;
        d.Put("f.txt", c.file);
        RunResult r = d.Run(c.answers);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("Data file name: f.txt"), std::string::npos);  // loaded all the same
        if (c.shown.empty()) {
            EXPECT_EQ(r.out.find("Warning"), std::string::npos) << r.out;
        } else {
            EXPECT_EQ(Count(r.out, "\nWarning: " + c.shown), 1) << r.out;
        }
    }
}

TEST(DataFile, MissingLabelsAndLongLabels) {
    Dialogue d;
    d.Put("short.txt", "1 2 3 4\nu1 u2\nv1\n");
    RunResult r = d.Run(Load("short.txt", 1, 2, 2, "N\n2\nx\n"));
    EXPECT_NE(r.out.find("\nLabels not read because the file short.txt is incomplete.\nPlease check!\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("Data not available."), std::string::npos);

    const std::string longLabel(40, 'a');
    d.Put("long.txt", "1 2 3 4\n" + longLabel + " u2\nv1 v2\n");
    r = d.Run(Load("long.txt", 1, 2, 2, "N\n2\nn\nx\n"));
    EXPECT_NE(r.out.find("\nSome labels have more than 29 characters: only their first 29 were kept.\n"),
              std::string::npos);
    std::vector<std::string> l = Lines(r.File("Sessao.trk"));
    ASSERT_GT(l.size(), 20u);
    EXPECT_EQ(l[19], std::string(29, 'a') + "\tu2\t");
    EXPECT_EQ(l[20], "v1\tv2\t");
}

TEST(DataFile, MixedDataThatAreNotMixed) {
    Dialogue d;
    d.Put("m.txt", "1 2 3 4 5 6\n");
    // Types all 3: refused as mixed; answering n makes the content 2.
    RunResult r = d.Run(Load("m.txt", 5, 2, 3, "3 3 3\nn\nn\nN\n1\nn\nx\n"));
    EXPECT_NE(r.out.find("Enter variable type (1:binary,2:qualitative,3:quantitative interval or ratio "
                         "scale,4:ordinal): \nVariable: 1  2  3  \nType:     Wish to correct? y/n "
                         "Data not mixed as indicated!!!\nWish to correct manually? y/n "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Data type: (2) quantitative, different scales\n"), std::string::npos);
    // Corrected by hand to binary and quantitative: data type 6, on which
    // path analysis is not offered.
    r = d.Run("n\n" + Load("m.txt", 5, 2, 3, "3 3 3\nn\ny\n1 3 3\nn\nN\n1\nn\nf\nx\n"));
    EXPECT_NE(r.out.find("Data type: (5) mixed\nVariable: 1 2 3 \nType:     1 3 3 \n"), std::string::npos);
    EXPECT_NE(r.out.find("\nData type is not adequate for any option of path analysis."), std::string::npos);
}

TEST(DataFile, ContingencyTableExpanded) {
    Dialogue d;
    d.Put("ct.txt", "2 0.5\n0 1\n-999 3\n");
    RunResult r = d.Run(Load("ct.txt", 6, 3, 2, "N\n1\ny\ny\nx\n"));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Number of rows:    Number of columns: "), std::string::npos);
    EXPECT_NE(r.out.find("\t(N) rows of the contingency table (r1c1,..., r1cp,..., rnc1,..., rncp)\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("\nSee data on file Vidive.txt.\n"), std::string::npos);
    std::string report = r.File("Vidive.txt");
    EXPECT_NE(report.find("\nOriginal data matrix:\n\t(Rows= 3 sampling units, columns= 2 variables)\n"
                          "Labels of sampling units:\t1\t2\t3\t\nLabels of variables:\t1\t2\t\n"),
              std::string::npos)
        << report;
    // 2 + ceil(0.5) + 1 + 3 individuals; the missing cell counts nothing.
    EXPECT_NE(report.find("\nExpanded contingency table:\n\t(Rows= 7 sampling units, columns= 2 nominal "
                          "variables)\n1\t1\n1\t1\n1\t2\n2\t2\n3\t2\n3\t2\n3\t2\n"),
              std::string::npos)
        << report;
    // A contingency table is offered what data type 1 is offered.
    EXPECT_NE(r.out.find("\t* F  path analysis\n"), std::string::npos);
}

TEST(DataFile, ContingencyTableTooLargeToExpand) {
    // Counts beyond the largest data set (2147483647 units), one of them
    // beyond any integer: no lines are written, and no count wraps round.
    for (const char* table : {"2000000000 147483648\n1 0\n", "1e300 1\n2 3\n"}) {
        Dialogue d;
        d.Put("ct.txt", table);
        RunResult r = d.Run(Load("ct.txt", 6, 2, 2, "N\n1\ny\ny\nx\n"), 20);
        EXPECT_EQ(r.status, 0) << table;
        std::string report = r.File("Vidive.txt");
        EXPECT_NE(report.find("\nThe contingency table holds more than 2147483647 individuals: it was not expanded.\n"),
                  std::string::npos)
            << report;
        EXPECT_EQ(report.find("Expanded contingency table"), std::string::npos);
        EXPECT_EQ(report.find("1\t1\n"), std::string::npos);
    }
}

TEST(DataFile, FileNameTriedAgainOrGivenUp) {
    Dialogue d;
    d.Put("six.txt", "1 2 3 4 5 6\n");
    RunResult r = d.Run("n\nn\nnothere.txt\ny\nsix.txt\n1\n3\n2\nN\n1\nn\nn\nn\nnothere.txt\nn\nn\nx\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Count(r.err, "\ncan't open nothere.txt \n"), 2);
    EXPECT_EQ(Count(r.out, "Try again? y/n "), 2);
    // Giving up the second time returns to the offer of the last session.
    EXPECT_NE(r.out.find("Wish to continue analysis session with data file six.txt? y/n "), std::string::npos)
        << r.out;
}

TEST(DataFile, ReportOfTheDataAndTheModeOfTheReport) {
    Dialogue d;
    d.Put("six.txt", "1 2.5 3 4 5 6\na b c\nx y\n");
    d.Put("Vidive.txt", "old report\n");
    // English: e erases.
    RunResult r = d.Run("e\n" + Load("six.txt", 1, 3, 2, "N\n2\ny\nx\n"));
    EXPECT_NE(r.out.find("An older file Vidive.txt was found. Wish to erase(e) or append(a)? "), std::string::npos);
    std::string report = r.File("Vidive.txt");
    EXPECT_EQ(report.find("old report"), std::string::npos);
    EXPECT_NE(report.find("\n" + std::string(79, '-') + "\nTEVLAN version 3.85b\n" + std::string(79, '-') + "\n"),
              std::string::npos);
    EXPECT_NE(report.find("Labels of sampling units:\ta\tb\tc\t\nLabels of variables:\tx\ty\t\n"
                          "  1\t2.5\t\n  3\t  4\t\n  5\t  6\t\n"),
              std::string::npos)
        << report;
    // Appended the next time (a keeps the report), and the data go after it.
    r = d.Run("n\na\n" + Load("six.txt", 1, 3, 2, "N\n2\ny\nx\n"));
    EXPECT_EQ(Count(r.File("Vidive.txt"), "Original data matrix"), 2);
    // Portuguese: a (apagar) erases.
    d.Put("Tevlan.prf", "06Apr2012\n0\n1\n0\n0\n0\n0\n5\n6\n0\n");
    r = d.Run("n\na\nx\n");
    r = d.Run("n\na\n" + Load("six.txt", 1, 3, 2, "N\n2\ns\nx\n"));
    EXPECT_NE(r.out.find("Ja existe o arquivo Vidive.txt. Apagar(a) ou emendar(e)? "), std::string::npos);
    EXPECT_EQ(Count(r.File("Vidive.txt"), "Matriz de dados original"), 1);
    EXPECT_EQ(Count(r.File("Vidive.txt"), "Original data matrix"), 0);
}

}  // namespace
