// What a new user meets with damaged files, interrupted dialogues, extreme
// answers and outputs that cannot be written: data files read as written or
// refused with the place, sessions that are never lost or renamed away,
// reports that never claim a write that failed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "screens.h"

namespace {

namespace fs = std::filesystem;

// Answers of key N for a new data file, then whatever follows.
std::string Load(const std::string& file, int content, int units, int variables, const std::string& rest) {
    std::ostringstream s;
    s << "n\nn\n" << file << "\n" << content << "\n" << units << "\n" << variables << "\n" << rest;
    return s.str();
}

// The part of a report from the k-th (from 0) occurrence of a title to the
// next separator line after its status, with the session-dependent lines as
// they are: what an analysis wrote.
std::string Section(const std::string& report, const std::string& title, int k = 0) {
    size_t p = report.find(title);
    for (int i = 0; i < k && p != std::string::npos; i++) p = report.find(title, p + title.size());
    if (p == std::string::npos) return "(no " + title + ")";
    size_t end = report.find("\nTEVLAN version", p);
    size_t next = report.find(std::string(79, '-') + "\nCLUSTER", p + title.size());
    size_t nextO = report.find(std::string(79, '-') + "\nORDINATION", p + title.size());
    end = std::min({end, next, nextO});
    std::string section = report.substr(p, end == std::string::npos ? std::string::npos : end - p);
    while (!section.empty() && section.back() == '\n') section.pop_back();  // the blank lines between blocks
    return section;
}

// ---------------------------------------------------------------------------
// A saved session is never replaced by an empty one
// ---------------------------------------------------------------------------

TEST(SavedSession, GivingUpInsideKeyNLeavesTheSessionFiles) {
    Dialogue d;
    d.Put("six.txt", "1 2 3 4 5 6\n");
    // A full default session, then a named one.
    RunResult r = d.Run(Load("six.txt", 1, 3, 2, "N\n1\nn\nx\n"));
    ASSERT_EQ(r.status, 0);
    const std::string sessao = r.File("Sessao.trk");
    ASSERT_GT(Lines(sessao).size(), 15u);
    // Declining the last session, then giving up at the session name, at
    // the data file name, and at a data file that cannot be read.
    d.Put("five.txt", "1 2 3 4 5\n");
    const std::vector<std::string> giveUp = {
        "n\nn\no\nnope\nn\nx\n",
        "n\nn\nn\nnope.txt\nn\nn\nx\n",
        "n\n" + Load("five.txt", 1, 3, 2, "N\nn\nx\n"),
    };
    for (const std::string& answers : giveUp) {
        r = d.Run(answers);
        EXPECT_EQ(r.status, 0) << answers << r.err;
        EXPECT_EQ(r.File("Sessao.trk"), sessao) << answers;
    }
    // A named session and its name file, likewise.
    r = d.Run("y\ns\nKept\nx\n");
    const std::string kept = r.File("Kept.trk");
    ASSERT_EQ(r.File("Sessao.trk"), "Kept\n");
    for (const std::string& answers : giveUp) {
        r = d.Run(answers);
        EXPECT_EQ(r.File("Sessao.trk"), "Kept\n") << answers;
        EXPECT_EQ(r.File("Kept.trk"), kept) << answers;
    }
    // Opening a session through N does write it (as the session just opened).
    r = d.Run("n\nn\no\nKept\nx\n");
    EXPECT_EQ(r.File("Sessao.trk"), "Kept\n");
    EXPECT_NE(r.out.find("Analysis status session Kept:"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Data files: read as written, or refused with the place
// ---------------------------------------------------------------------------

struct FileCase {
    std::string name;       // what the case is
    std::string content;    // the file
    std::string order;      // "N" or "T"
    std::string refusal;    // the message expected on the console ("" when it loads)
    bool decimalHint;       // the line about decimal points
};

TEST(DataFileFields, EachCellIsOneNumberOrTheFileIsRefused) {
    const std::string hint = "Decimals are written with a point: 1.5, not 1,5.\n";
    auto refused = [](int unit, int variable, const std::string& token) {
        return "\nFile d.txt was not read: the value for unit " + std::to_string(unit) + ", variable " +
               std::to_string(variable) + " is \"" + token + "\", which is not a number.\n";
    };
    const std::vector<FileCase> cases = {
        {"decimal comma", "1,5 2\n3 4\n", "N", refused(1, 1, "1,5"), true},
        {"decimal comma later", "1 2\n3 4,25\n", "N", refused(2, 2, "4,25"), true},
        {"NA before a negative", "1 NA\n-3 4\n", "N", refused(1, 2, "NA"), false},
        {"two points", "1..2 2\n3 4\n", "N", refused(1, 1, "1..2"), false},
        {"two signs", "1 2\n--1 4\n", "N", refused(2, 1, "--1"), false},
        {"exponent without digits", "1 2\n3 1e\n", "N", refused(2, 2, "1e"), false},
        {"by variables: the third value is unit 1, variable 2", "1 2 x 4\n", "T", refused(1, 2, "x"), false},
        {"separators after values", "1, 2,\n3; 4;\n", "N", "", false},
        {"missing value", "-999 2\n3 4\n", "N", "", false},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.name);
        Dialogue d;
        d.Put("d.txt", c.content);
        // A refused file ends the dialogue before the labels are asked for.
        const std::string rest = c.refusal.empty() ? "\n1\nn\nx\n" : "\nx\n";
        RunResult r = d.Run(Load("d.txt", 1, 2, 2, c.order + rest));
        EXPECT_EQ(r.status, 0) << r.err;
        if (c.refusal.empty()) {
            EXPECT_NE(r.out.find("Dimensions: 2 sampling units, 2 variables"), std::string::npos) << r.out;
            std::vector<std::string> l = Lines(r.File("Sessao.trk"));
            ASSERT_GT(l.size(), 13u);
            EXPECT_EQ(l[12] + l[13], c.name == "missing value" ? "-999\t2\t3\t4\t" : "1\t2\t3\t4\t");
            continue;
        }
        EXPECT_NE(r.out.find(c.refusal + (c.decimalHint ? hint : "")), std::string::npos) << r.out;
        if (!c.decimalHint) {
            EXPECT_EQ(r.out.find(hint), std::string::npos);
        }
        EXPECT_NE(r.out.find("Analysis status: Data not available."), std::string::npos);
        EXPECT_FALSE(r.HasFile("Sessao.trk"));
    }
    // In Portuguese.
    Dialogue d;
    d.Put("Tevlan.prf", "06Apr2012\n0\n1\n0\n0\n0\n0\n5\n6\n0\n");
    d.Put("d.txt", "1 2,5\n3 4\n");
    RunResult r = d.Run(Load("d.txt", 1, 2, 2, "N\nx\n"));
    EXPECT_NE(r.out.find("\nO arquivo d.txt nao foi lido: o valor para unidade 1, variavel 2 e \"2,5\", que nao e um "
                         "numero.\nDecimais sao escritos com ponto: 1.5, e nao 1,5.\n"),
              std::string::npos)
        << r.out;
}

TEST(DataFileFields, WhatIsNotATableIsNeverLoaded) {
    // A UTF-16 file (as some editors save "Unicode" text) and 100 KB of
    // random bytes.
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("1 2\r\n3 4\r\n")) utf16 += std::string(1, c) + std::string(1, '\0');
    std::mt19937 g(17);
    std::string noise(100 * 1024, '\0');
    for (char& c : noise) c = static_cast<char>(g());
    for (const std::string& content : {utf16, noise}) {
        Dialogue d;
        d.Put("d.txt", content);
        RunResult r = d.Run(Load("d.txt", 1, 2, 2, "N\nx\n"));
        EXPECT_EQ(r.status, 0);
        EXPECT_FALSE(r.timedOut);
        EXPECT_NE(r.out.find("File d.txt was not read"), std::string::npos);
        EXPECT_NE(r.out.find("Analysis status: Data not available."), std::string::npos);
    }
}

TEST(DataFileFields, TextAfterTheLastLabelIsNoticed) {
    Dialogue d;
    // A surplus row: its numbers once became labels without a word.
    d.Put("d.txt", "1 2\n3 4\n5 6\na b\nx y\n");
    RunResult r = d.Run(Load("d.txt", 1, 2, 2, "N\n2\nn\nx\n"));
    EXPECT_EQ(r.status, 0);
    const std::string warning =
        "\nWarning: file d.txt holds more than the declared 2 x 2 values and labels; the rest of it was not read.\n";
    EXPECT_EQ(Count(r.out, warning), 1) << r.out;
    EXPECT_NE(r.out.find("Dimensions: 2 sampling units, 2 variables"), std::string::npos);
    // Exactly the declared values and labels: no warning, whatever the
    // white space after them; nor with labels given by default.
    d.Put("e.txt", "1 2\n3 4\nu v\nx y\n\n \t\n");
    r = d.Run("n\n" + Load("e.txt", 1, 2, 2, "N\n2\nn\nx\n"));
    EXPECT_EQ(r.out.find("holds more than"), std::string::npos);
    r = d.Run("n\n" + Load("d.txt", 1, 2, 2, "N\n1\nn\nx\n"));
    EXPECT_EQ(r.out.find("holds more than"), std::string::npos);
}

TEST(DataFileFields, AFifoIsRefusedAtOpenInsteadOfBlocking) {
    Dialogue d;
    ASSERT_EQ(mkfifo((d.Folder() + "/pipe.txt").c_str(), 0600), 0);
    d.Put("six.txt", "1 2 3 4 5 6\n");
    RunResult r = d.Run("n\nn\npipe.txt\ny\nsix.txt\n1\n3\n2\nN\n1\nn\nx\n", 10);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("\ncan't open pipe.txt: is a FIFO \n"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Try again? y/n "), std::string::npos);
    EXPECT_NE(r.out.find("Data file name: six.txt"), std::string::npos);
    // Nor does a FIFO in place of the session or preferences files hold up
    // the start.
    Dialogue e;
    ASSERT_EQ(mkfifo((e.Folder() + "/Sessao.trk").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((e.Folder() + "/Tevlan.prf").c_str(), 0600), 0);
    r = e.Run("x\n", 10);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 0);
    // Nor in place of a file the program writes: the session and the
    // scores, then the report, are refused as the open of any file that
    // cannot be, and the analyses go on.
    Dialogue f;
    f.Put("six.txt", "1 2 3 4 5 6\n");
    for (const char* name : {"Sessao.trk", "scores.txt"})
        ASSERT_EQ(mkfifo((f.Folder() + "/" + name).c_str(), 0600), 0);
    r = f.Run(Load("six.txt", 1, 3, 2, "N\n1\nn\nr\n1\n3\n0\nn\no\n1\nn\nn\nx\n"), 10);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 1);
    for (const char* name : {"Sessao.trk", "scores.txt"})
        EXPECT_NE(r.err.find(std::string("\ncan't open ") + name + ": is a FIFO \n"), std::string::npos) << name << r.err;
    EXPECT_NE(r.out.find("Ordination scores available: (1)principal coordinates analysis"), std::string::npos);
    fs::remove(f.Folder() + "/Vidive.txt");
    ASSERT_EQ(mkfifo((f.Folder() + "/Vidive.txt").c_str(), 0600), 0);
    r = f.Run("e\n" + Load("six.txt", 1, 3, 2, "N\n1\ny\nx\n"), 10);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\ncan't open Vidive.txt: is a FIFO \n"), std::string::npos) << r.err;
}

TEST(DataFileFields, CompleteFileWithoutAFinalNewlineLoads) {
    // The size check counts one character per value and one per separator,
    // and the last value needs no separator after it.
    for (const std::string& content : {std::string("1 2"), std::string("1 2 3 4 5 6")}) {
        Dialogue d;
        d.Put("d.txt", content);
        const int units = content.size() == 3 ? 1 : 3;
        RunResult r = d.Run(Load("d.txt", 1, units, 2, "N\n1\nn\nx\n"));
        EXPECT_NE(r.out.find("Dimensions: " + std::to_string(units) + " sampling units, 2 variables"),
                  std::string::npos)
            << content << r.out;
    }
}

TEST(DataFileFields, MixedDataTooShortStillAskTheTypesInOrder) {
    // Ten variables declared, three numbers in the file: the ten type answers
    // are taken by the type questions, not by the next questions.
    Dialogue d;
    d.Put("d.txt", "1 2 3\n");
    RunResult r = d.Run(Load("d.txt", 5, 1, 10, "1 2 3 3 3 3 3 3 3 4\nn\nN\nx\n"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.find("Incorrect input"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Variable: 1  2  3  ..."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nFile d.txt was not read because it is incomplete.\n"), std::string::npos);
    // A file short only of the later units: every variable is numbered.
    d.Put("e.txt", "1 2 3 4\n");
    r = d.Run(Load("e.txt", 5, 3, 2, "1 3\nn\nN\nx\n"));
    EXPECT_EQ(r.err.find("Incorrect input"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Variable: 1  2  \nType:     "), std::string::npos);
}

TEST(DataFileFields, LabelsOfExactly29CharactersAreKeptWithoutANote) {
    const std::string note = "\nSome labels have more than 29 characters: only their first 29 were kept.\n";
    for (int length : {29, 30}) {
        Dialogue d;
        const std::string label(length, 'L');
        d.Put("d.txt", "1 2\n3 4\n" + label + " u2\nv1 v2\n");
        RunResult r = d.Run(Load("d.txt", 1, 2, 2, "N\n2\nn\nx\n"));
        EXPECT_EQ(Count(r.out, note), length > 29 ? 1 : 0) << length;
        std::vector<std::string> l = Lines(r.File("Sessao.trk"));
        ASSERT_GT(l.size(), 19u);
        EXPECT_EQ(l[19], std::string(29, 'L') + "\tu2\t");
    }
}

// ---------------------------------------------------------------------------
// Key R
// ---------------------------------------------------------------------------

TEST(ResemblanceKey, AMatrixThatIsNotFiniteIsRefusedAndNothingChanges) {
    Dialogue d;
    d.Put("big.txt", "0\n1e200\n");
    d.Put("Vidive.txt", "old report\n");
    // Euclidean distance 1e200, squared: beyond any double.
    RunResult r = d.Run("a\n" + Load("big.txt", 1, 2, 1, "1\nn\nr\n1\n3\n1\ny\nx\n"));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("\nThe resemblance matrix holds values that are not finite numbers (too large to represent, "
                         "or undefined): nothing was changed.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.find("See results on file"), std::string::npos);
    EXPECT_EQ(r.File("Vidive.txt"), "old report\n");
    const std::string after = r.out.substr(r.out.rfind("Analysis status"));
    EXPECT_EQ(after.find("Resemblance measure"), std::string::npos) << after;
    EXPECT_EQ(Lines(r.File("Sessao.trk"))[Lines(r.File("Sessao.trk")).size() - 3], "0");  // no resemblance saved
}

TEST(ResemblanceKey, EntropyMeasuresAtTheLargestOrders) {
    // Coherence between the dune's moisture and use classes at order 400 is
    // 0.267 (it printed 0); at the largest order every measure is finite.
    Dialogue d;
    d.PutExample("dune_env_nominal.txt");
    const std::string load = Load("dune_env_nominal.txt", 3, 20, 4, "N\n2\nn\n");
    RunResult r = d.Run(load + "r\n2\n9\n400\n0\ny\nr\n2\n7\n3.4e38\n0\ny\nr\n2\n8\n3.4e38\n0\ny\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string report = r.File("Vidive.txt");
    size_t p = report.find("\nResemblance matrix:\n");
    ASSERT_NE(p, std::string::npos);
    std::istringstream m(report.substr(p + 21));
    double row[4];
    m >> row[0] >> row[1] >> row[2] >> row[3];  // moisture against the others
    EXPECT_NEAR(row[2], 0.26735, 1e-5) << report.substr(p, 300);
    EXPECT_EQ(report.find("nan"), std::string::npos);
    EXPECT_EQ(report.find("inf"), std::string::npos);
    EXPECT_EQ(Count(report, "\nResemblance matrix:\n"), 3);
    EXPECT_EQ(r.File("Sessao.trk").find("nan"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Sessions keep full precision
// ---------------------------------------------------------------------------

TEST(SessionPrecision, ContinuingGivesTheSameReportsAsTheUninterruptedRun) {
    // Values with more digits than six decimals keep, printed with 17
    // significant digits so that any rounding on the way shows.
    Dialogue d;
    std::mt19937 g(7);
    std::uniform_real_distribution<double> u(0, 10);
    std::ostringstream data;
    data.precision(17);
    for (int i = 0; i < 8; i++) {
        for (int j = 0; j < 4; j++) data << u(g) << ' ';
        data << '\n';
    }
    d.Put("p.txt", data.str());
    d.Put("Tevlan.prf", "06Apr2012\n1\n0\n0\n0\n0\n0\n17\n6\n0\n");
    const std::string analyses = "r\n1\n3\n0\ny\no\n1\nn\nn\nc\n1\nn\n";
    RunResult first = d.Run(Load("p.txt", 1, 8, 4, "N\n1\nn\n") + analyses + "x\n");
    ASSERT_EQ(first.status, 0) << first.err;
    const std::string firstReport = first.File("Vidive.txt");  // read now: the next run replaces it
    // Continued: ordination and clustering of the saved matrix, then the
    // resemblance of the saved data.
    RunResult second = d.Run("y\ne\no\n1\nn\nn\nc\n1\nn\nr\n1\n3\n0\ny\nx\n");
    ASSERT_EQ(second.status, 0) << second.err;
    // Whether an ordination was held when a report was written is the one
    // line of the status that differs between the two orders of work.
    auto withoutScoresLine = [](const std::string& text) {
        std::string kept;
        for (const std::string& l : Lines(text))
            if (l.rfind("Ordination scores available", 0) != 0) kept += l + "\n";
        return kept;
    };
    const std::string a = withoutScoresLine(Normalise(firstReport));
    const std::string b = withoutScoresLine(Normalise(second.File("Vidive.txt")));
    for (const char* title : {"RESEMBLANCE MEASURES\n", "ORDINATION\n", "CLUSTER ANALYSIS\n"}) {
        const std::string sa = Section(a, title), sb = Section(b, title);
        EXPECT_GT(sa.size(), 200u) << title;
        EXPECT_EQ(sa, sb) << title;
    }
}

// ---------------------------------------------------------------------------
// Reports that cannot be written
// ---------------------------------------------------------------------------

TEST(ReportWrites, AFailedWriteIsSaidAndNeverSentToTheFile) {
    // The disc is full once the report has grown to 4096 bytes: every
    // block appended to it is lost.
    Dialogue d;
    d.Put("six.txt", "1 2 3 4 5 6\n");
    d.Put("Vidive.txt", std::string(4096, 'x'));
    d.LimitFileSize(4096);
    const std::string keys = "r\n1\n3\n0\ny\no\n1\nn\nn\nc\n1\nn\nx\n";
    RunResult r = d.Run("a\n" + Load("six.txt", 1, 3, 2, "N\n1\ny\n") + keys);
    EXPECT_EQ(Count(r.err, "\nFAIL TO PRINT ON FILE Vidive.txt !!!\n"), 4) << r.err;  // N, R, O, C
    // Nor is the run a success to the shell.
    const std::string lost = "\nSome results were not written: see the messages above.\n";
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.substr(r.err.size() - lost.size()), lost);
    EXPECT_EQ(r.out.find("See data on file"), std::string::npos);
    EXPECT_EQ(r.out.find("See results on file"), std::string::npos);
    // The analyses themselves stand: the resemblance and the ordination
    // are part of the data set, and the tree went to its own file.
    EXPECT_NE(r.out.find("Ordination scores available: (1)principal coordinates analysis"), std::string::npos);
    EXPECT_EQ(r.File("newick.txt").back(), '\n');
    // A disc that takes 16 bytes more: the scores (25 bytes) are lost too.
    Dialogue s;
    s.Put("six.txt", "1 2 3 4 5 6\n");
    s.LimitFileSize(16);
    r = s.Run(Load("six.txt", 1, 3, 2, "N\n1\nn\n") + keys);
    EXPECT_GE(Count(r.err, "\nFAIL TO PRINT ON FILE scores.txt !!!\n"), 1) << r.err;

    // Contingency tables that cannot be written (1231 bytes on a disc that
    // takes 1024) are not pointed to; the report (828 bytes) is.
    Dialogue e;
    e.PutExample("dune_env_nominal.txt");
    e.LimitFileSize(1024);
    r = e.Run(Load("dune_env_nominal.txt", 3, 20, 4, "N\n2\nn\nr\n2\n8\n1\n0\ny\nx\n"));
    EXPECT_NE(r.err.find("\nFAIL TO PRINT ON FILE Tables.txt !!!\n"), std::string::npos);
    EXPECT_EQ(r.out.find("See contingency tables"), std::string::npos);
    EXPECT_NE(r.out.find("See results on file Vidive.txt."), std::string::npos);

    // A report that cannot be opened (a folder of its name): no message
    // that the data are in it.
    Dialogue f;
    f.Put("six.txt", "1 2 3 4 5 6\n");
    fs::create_directory(f.Folder() + "/Vidive.txt");
    r = f.Run("e\n" + Load("six.txt", 1, 3, 2, "N\n1\ny\nx\n"));
    EXPECT_NE(r.err.find("\ncan't open Vidive.txt: is a folder \n"), std::string::npos);
    EXPECT_EQ(r.out.find("See data on file"), std::string::npos);
    EXPECT_EQ(r.status, 1);
    // In Portuguese, when that is the language in force.
    Dialogue g;
    g.Put("six.txt", "1 2 3 4 5 6\n");
    g.Put("Tevlan.prf", "06Apr2012\n0\n1\n0\n0\n0\n0\n5\n6\n0\n");
    fs::create_directory(g.Folder() + "/Vidive.txt");
    r = g.Run("a\n" + Load("six.txt", 1, 3, 2, "N\n1\ns\nx\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\nAlguns resultados nao foram escritos: veja as mensagens acima.\n"), std::string::npos);
}

// The disc fills up 64 bytes before the end of the last block of a report
// (measured on a run with room for all of it): the block that follows the
// report proper, the bootstrap's final block or the Beals test's, is lost,
// and the screen does not send the user to the report.
TEST(ReportWrites, ADiscFullAtTheLastBlockLeavesNoSeeResults) {
    const std::string dune = Load("dune.txt", 1, 20, 30, "N\n1\nn\n");
    const struct {
        const char* key;
        std::string script;
    } cases[] = {
        {"V bootstrap", dune + "v\n1\ny\n20\n10\n0.1\n2\n1\nn\nx\n"},
        {"T Beals test", dune + "t\n1\n1\n3\n11\n0\nn\nn\ny\n2\n123\n49\nn\nx\n"},
        {"C sharpness", dune + "r\n1\n3\n0\nn\nc\n3\ny\n2\n20\n3\n2\n11\nn\nx\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        Dialogue room;
        room.PutExample("dune.txt");
        RunResult r = room.Run(c.script);
        ASSERT_EQ(r.status, 0) << r.err;
        const int said = Count(r.out, "See results on file Vidive.txt.");
        ASSERT_GE(said, 1);
        const long whole = static_cast<long>(r.File("Vidive.txt").size());
        Dialogue full;
        full.PutExample("dune.txt");
        full.LimitFileSize(whole - 64);
        r = full.Run(c.script);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("\nFAIL TO PRINT ON FILE Vidive.txt !!!\n"), std::string::npos) << r.err;
        // The keys before it wrote whole reports and said so.
        EXPECT_EQ(Count(r.out, "See results"), said - 1);
    }
}

// ---------------------------------------------------------------------------
// Numeric files hold what their format says
// ---------------------------------------------------------------------------

// A group that is not a whole number is refused by every key that reads
// groups of units from a file (A, F, K and J as G and P), with one message;
// where a refused file is asked again (K, as G and P), a file a value short
// is asked again too. A data file whose lines hold a unit each but for a
// short line and a long one loads (its numbers are one stream) with a
// warning naming the first of them; a row wrapped over lines of its own is
// no such line. Each script ends where an answer is
// awaited.
TEST(NumericFiles, ValuesThatAreNotWhatTheFormatSaysAreRefusedOrNamed) {
    const std::string dune = Load("dune.txt", 1, 20, 30, "N\n1\nn\n");
    std::string marks;
    for (int j = 0; j < 30; j++) marks += j < 2 ? "1 " : "0 ";
    const std::string fraction = "\nFile g.txt was not read: the group for unit 10 is 1.5, which is not a whole number "
                                 "from -2147483648 to 2147483647.\n";
    const std::string kModel = dune + "k\n2\n1\n" + marks + "\n" + marks + "\nn\n2\n1\n9\n2\nf\n";
    const struct {
        const char* what;
        std::string script;
        int status;
        std::string shown;
        int fileQuestions;  // times the nesting file-or-keyboard question was asked
    } cases[] = {
        {"A fraction", dune + "r\n2\n17\n0\nn\na\n2\n12345\n99\n2\nf\ng.txt\n", 1, fraction, 1},
        {"F fraction", dune + "r\n1\n3\n0\nn\nf\n1\n1\n2\n12345\n99\n2\nf\ng.txt\n", 1, fraction, 1},
        {"K fraction", kModel + "g.txt\n", 1, fraction, 2},
        {"K a value short", kModel + "short.txt\n", 1,
         "\nFile short.txt was not read: it holds 19 group numbers, and 20 are needed (1 factor(s) x 20 sampling "
         "units).\n",
         2},
        {"J fraction", "j\ns\n1\nk\nres.txt\n4\n0\n20\ncoef.txt\n2\n1\n2\nn\n1\n1\n9\n2\nf\ng.txt\n", 1, fraction,
         1},
        {"data lines shifted", Load("d.txt", 1, 4, 3, "N\n1\nn\nx\n"), 0,
         "\nWarning: line 2 of file d.txt holds 2 values, and the other lines of the data hold 3 (one sampling unit "
         "each): the values were read in order as one stream, and may belong to other sampling units than the lines "
         "show.\n",
         0},
        // A row wrapped over lines of its own shifts nothing: no warning
        // comes between the order's answer and the labels' question; before
        // a shift it is not named in place of the line that lost the step.
        {"data row wrapped", Load("w.txt", 1, 4, 3, "N\n1\nn\nx\n"), 0,
         "Enter option: \nLabels for sampling units and variables: ", 0},
        {"data row wrapped, then lines shifted", Load("ws.txt", 1, 8, 3, "N\n1\nn\nx\n"), 0,
         "\nWarning: line 5 of file ws.txt holds 2 values, and the other lines of the data hold 3 (one sampling unit", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Dialogue d;
        d.PutExample("dune.txt");
        d.Put("g.txt", "1 1 1 1 1 1 1 1 1 1.5 2 2 2 2 2 2 2 2 2 2\n");
        d.Put("short.txt", "1 1 1 1 1 1 1 1 1 1 2 2 2 2 2 2 2 2 2\n");
        d.Put("coef.txt", "0 1.5 0 0\n0 0 1.5 0\n0 0 0 1.5\n0 0 0 0\n0 1 2 3\n");
        d.Put("d.txt", "1 2 3\n4 5\n6 7 8 9\n10 11 12\n");
        d.Put("w.txt", "1 2 3\n4\n5 6\n7 8 9\n10 11 12\n");
        d.Put("ws.txt", "1 2\n3\n4 5 6\n7 8 9\n10 11\n12 13 14 15\n16 17 18\n19 20 21\n22 23 24\n");
        const RunResult r = d.Run(c.script);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.out.find(c.shown), std::string::npos)
            << r.out.substr(r.out.size() > 3000 ? r.out.size() - 3000 : 0);
        EXPECT_EQ(Count(r.out, "Read nesting group memberships from file (f) or from the keyboard (k)? f/k "),
                  c.fileQuestions);
    }
}

// ---------------------------------------------------------------------------
// Sizes beyond memory
// ---------------------------------------------------------------------------

// Sizes no machine's memory holds are refused with the range that fits and
// asked again, before anything is allocated; a coefficient or correlation
// file too short for the size typed is refused without room made for it.
// Each script then ends where an answer is awaited: the orderly end.
TEST(Sizes, BeyondMemoryAreAskedAgainWithTheRangeThatFits) {
    const std::string J = "j\ns\n1\nk\nres.txt\n", U = "u\ns\n1\nk\nout.txt\n";
    const struct {
        const char* what;
        std::string script;
        std::vector<std::string> refused;  // "Incorrect input = ..." and the start of the range
        const char* then;                  // shown once the size was taken
    } cases[] = {
        {"J variables and units", J + "1073741824\n4\n0\n2147483647\n50\ncoef.txt\n",
         {"1.07374e+09. Reenter.\nAccepted input: 2 to ", "2.14748e+09. Reenter.\nAccepted input: 3 to "},
         "\nRandom numbers to be drawn from the following distribution:"},
        // 10000 variables fit; their 800 MB of coefficients are not made
        // for a file of 20 numbers.
        {"J variables beyond the file", J + "10000\n0\n50\ncoef.txt\n", {},
         "\nFile coef.txt was not read: it ends after 20 numbers, and the 10000 x 10000 path coefficients and the "
         "10000 levels need 100010000.\n"},
        {"U units, population and variables", U + "2147483647\n10\n2147483647\n20\n1073741824\n4\nc\nr.txt\n",
         {"2.14748e+09. Reenter.\nAccepted input: 2 to ", "2.14748e+09. Reenter.\nAccepted input: 10 to ",
          "1.07374e+09. Reenter.\nAccepted input: 1 to "},
         "\nRandom numbers to be drawn from the following distribution:"},
        {"Y Markov units", Load("dune.txt", 1, 20, 30, "N\n1\nn\n") + "y\n1\nn\n1\n2147483647\n3\n",
         {"2.14748e+09. Reenter.\nAccepted input: 2 to "}, "Enter the number of iterations"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Dialogue d;
        d.PutExample("dune.txt");
        d.Put("coef.txt", "0 1.5 0 0\n0 0 1.5 0\n0 0 0 1.5\n0 0 0 0\n0 1 2 3\n");
        d.Put("r.txt", "1 0.5 0 0\n0.5 1 0 0\n0 0 1 0\n0 0 0 1\n");
        const RunResult r = d.Run(c.script);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("END OF FILE !!!"), std::string::npos) << r.err;
        for (const std::string& refused : c.refused)
            EXPECT_NE(r.err.find("\nIncorrect input = " + refused), std::string::npos) << refused << r.err;
        EXPECT_NE(r.out.find(c.then), std::string::npos) << r.out.substr(r.out.size() > 2000 ? r.out.size() - 2000 : 0);
    }
}

// ---------------------------------------------------------------------------
// Session names stay in the folder
// ---------------------------------------------------------------------------

TEST(SessionNames, NamesThatLeaveTheFolderAreRefusedWhereTyped) {
    Dialogue d;
    d.Put("six.txt", "1 2 3 4 5 6\n");
    const std::string refusal = "\nA session name holds neither '/' nor '\\' and is not \"..\".\n";
    const fs::path outside = fs::path(d.Folder()).parent_path() / "up.trk";
    const bool there = fs::exists(outside);
    RunResult r = d.Run(Load("six.txt", 1, 3, 2, "N\n1\nn\ns\n../up\nsub/x\na\\b\n..\nHere\nx\n"));
    // A file written outside the folder is taken away again.
    const bool written = !there && fs::exists(outside);
    if (written) fs::remove(outside);
    EXPECT_FALSE(written);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Count(r.out, refusal), 4) << r.out;
    EXPECT_EQ(r.File("Sessao.trk"), "Here\n");
    EXPECT_TRUE(r.HasFile("Here.trk"));
    // Opening: refused the same way, then asked again.
    r = d.Run("n\nn\no\n../Here\nHere\nx\n");
    EXPECT_EQ(Count(r.out, refusal), 1);
    EXPECT_NE(r.out.find("Analysis status session Here:"), std::string::npos);
}

TEST(SessionNames, TheNameFileNamesOnlyAFileOfTheFolder) {
    Dialogue d;
    d.Put("six.txt", "1 2 3 4 5 6\n");
    RunResult r = d.Run(Load("six.txt", 1, 3, 2, "N\n1\nn\ns\nA\nx\n"));
    const std::string a = r.File("A.trk");
    for (const std::string& name : {std::string("../A"), std::string(".."), std::string("x\\A"), std::string("")}) {
        d.Put("Sessao.trk", name + "\n");
        r = d.Run("x\n");
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("The session name file Sessao.trk is damaged: no last session is offered.\n"),
                  std::string::npos)
            << name;
        EXPECT_EQ(r.out.find("Wish to continue"), std::string::npos);
        EXPECT_EQ(r.File("Sessao.trk"), name + "\n");
    }
    // A session file without its two first words is reported too.
    d.Put("Sessao.trk", "A\n");
    d.Put("A.trk", "A\n");
    r = d.Run("x\n");
    EXPECT_NE(r.out.find("Session file A.trk is damaged in its heading (names and version) section"),
              std::string::npos)
        << r.out;
}

TEST(SessionNames, AContinuedSessionIsWrittenBackUnderItsFileName) {
    Dialogue d;
    d.Put("six.txt", "1 2 3 4 5 6\n");
    RunResult r = d.Run(Load("six.txt", 1, 3, 2, "N\n1\nn\ns\nB\nx\n"));
    // The file B.trk copied to A.trk, its first word still B.
    d.Put("A.trk", r.File("B.trk"));
    d.Put("Sessao.trk", "A\n");
    fs::remove(d.Folder() + "/B.trk");
    r = d.Run("y\nr\n1\n3\n0\nn\nx\n");
    EXPECT_NE(r.out.find("Wish to continue analysis session A with data file six.txt? y/n "), std::string::npos)
        << r.out;
    EXPECT_EQ(r.File("Sessao.trk"), "A\n");
    EXPECT_EQ(Lines(r.File("A.trk"))[0], "A");
    EXPECT_FALSE(r.HasFile("B.trk"));
    // And the next start finds it again.
    r = d.Run("y\ne\nx\n");
    EXPECT_NE(r.out.find("Analysis status session A:"), std::string::npos);
}

TEST(SessionNames, KeySThatCannotWriteKeepsTheOldName) {
    Dialogue d;
    d.Put("six.txt", "1 2 3 4 5 6\n");
    RunResult r = d.Run(Load("six.txt", 1, 3, 2, "N\n1\nn\ns\nOld\nx\n"));
    const std::string old = r.File("Old.trk");
    d.LimitFileSize(0);  // nothing can be written
    r = d.Run("y\ns\nNew\nx\n");
    EXPECT_NE(r.err.find("could not be written"), std::string::npos);
    const std::string last = r.out.substr(r.out.rfind("Analysis status"));
    EXPECT_EQ(last.find("Analysis status session Old:"), 0u) << last;
    EXPECT_EQ(r.File("Sessao.trk"), "Old\n");
    EXPECT_EQ(r.File("Old.trk"), old);
    EXPECT_FALSE(r.HasFile("New.trk"));
}

// ---------------------------------------------------------------------------
// Small faults
// ---------------------------------------------------------------------------

TEST(MainLoop, ANewSmallerTableForgetsTheSizeOfTheLastResemblance) {
    Dialogue d;
    std::string many;
    for (int i = 0; i < 401; i++) many += std::to_string(i % 7) + "\n";
    d.Put("many.txt", many);
    d.PutExample("dune.txt");
    d.PutExample("dune_groups_management.txt");
    RunResult r = d.Run(Load("many.txt", 1, 401, 1, "1\nn\nr\n1\n3\n0\nn\n") +
                        Load("dune.txt", 1, 20, 30, "N\n2\nn\n") +
                        "g\n1\nManagement\nf\ndune_groups_management.txt\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Session is NOT saved."), std::string::npos);  // the 401-row resemblance
    const std::string last = r.out.substr(r.out.rfind("Analysis status"));
    EXPECT_NE(last.find("Session IS saved."), std::string::npos) << last;
    EXPECT_NE(r.File("Sessao.trk").find("Management"), std::string::npos);
}

TEST(Preferences, OrdinationAxesAreReadInOneToAThousand) {
    Dialogue d;
    RunResult r = d.Run("e\nf\n5\n1001\n1000\nc\nx\n");
    EXPECT_NE(r.err.find("\nIncorrect input = 1001. Reenter.\nAccepted input: 0 to 1000\n"), std::string::npos)
        << r.err;
    EXPECT_EQ(Lines(r.File("Tevlan.prf"))[8], "1000");
    // A stored count beyond that is damage: the defaults stay.
    d.Put("Tevlan.prf", "06Apr2012\n1\n0\n0\n0\n0\n0\n5\n1073741824\n1\n");
    r = d.Run("e\nc\nx\n");
    EXPECT_EQ(r.err, "\nPreferences file Tevlan.prf is incomplete: defaults are used for the missing settings.\n");
    EXPECT_EQ(Lines(r.File("Tevlan.prf"))[8], "6");
}

TEST(Cluster, EndOfInputInsideTheQuestionsReleasesEverything) {
    // Under the sanitizers a leak fails the run at exit.
    for (const std::string& end : {std::string("c\n7\n"), std::string("c\n1\n")}) {
        Dialogue d;
        d.Put("six.txt", "1 2 3 4 5 6\n");
        RunResult r = d.Run(Load("six.txt", 1, 3, 2, "N\n1\nn\nr\n1\n3\n0\nn\n") + end);
        EXPECT_EQ(r.status, 1) << end;
        EXPECT_NE(r.err.find("END OF FILE !!!"), std::string::npos);
        EXPECT_EQ(r.err.find("LeakSanitizer"), std::string::npos) << r.err;
    }
    // Correlations between variables: the transformation question.
    Dialogue d;
    d.Put("t.txt", "1 2 3\n2 1 4\n3 5 1\n4 4 4\n");
    RunResult r = d.Run(Load("t.txt", 1, 4, 3, "N\n1\nn\nr\n2\n17\n0\nn\nc\n1\n"));
    EXPECT_NE(r.out.find("Transformation of correlations:"), std::string::npos);
    EXPECT_EQ(r.err.find("LeakSanitizer"), std::string::npos) << r.err;
}

TEST(Script, NulBytesAreRefusedAndADeviceIsNoScript) {
    Dialogue d;
    d.Put("nul.txt", std::string(300, '\0'));
    RunResult r = d.Run("z\nf\nnul.txt\n", 20);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Count(r.err, "Incorrect input = "), 300);
    EXPECT_NE(r.err.find("END OF FILE !!!"), std::string::npos);
    // A device of endless NULs is not opened as a script.
    r = d.Run("z\nf\n/dev/zero\nk\nx\n", 20);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("\ncan't open /dev/zero: is a device \n"), std::string::npos);
}

TEST(Script, CarriageReturnsAtThePromptsChangeNothing) {
    Dialogue d;
    d.Put("six.txt", "1 2 3 4 5 6\na b c\nx y\n");
    const std::string answers = Load("six.txt", 1, 3, 2, "N\n2\ny\n") + "r\n1\n3\n0\ny\ns\nS\nx\n";
    RunResult unix = d.Run(answers);
    ASSERT_EQ(unix.status, 0);
    const std::string session = unix.File("S.trk");
    Dialogue e;
    e.Put("six.txt", "1 2 3 4 5 6\na b c\nx y\n");
    std::string crlf;
    for (char c : answers) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    RunResult dos = e.Run(crlf);
    EXPECT_EQ(dos.status, 0);
    EXPECT_EQ(dos.err, unix.err);
    EXPECT_EQ(dos.out, unix.out);
    EXPECT_EQ(dos.File("S.trk"), session);
    EXPECT_EQ(Normalise(dos.File("Vidive.txt")), Normalise(unix.File("Vidive.txt")));
}

}  // namespace
