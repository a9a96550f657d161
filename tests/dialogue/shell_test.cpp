// The console shell: banner, main menu, validated keys, scripts and the
// orderly end of a script that runs out.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <filesystem>

#include "harness.h"
#include "screens.h"

namespace {

// The status block of a fresh start, before the main menu.
std::string StatusNoData() {
    return "\nAnalysis status: Data not available.\nMaximum number of processors the program may use: <N>\n";
}

const std::string kLine(79, '-');

std::string Banner() {
    return "\n\n\nTEVLAN\nfor multivariate analysis, randomization tests and bootstrapping       v.3.85b\n" +
           kLine + "\n" + kLine + "\n";
}

// The main menu at stage 0: only N, E, Z and X offered.
std::string MenuStage0() {
    return "\n" + kLine + "\nMAIN MENU\n"
           "\t* N  specify data or open existing session\n"
           "\t  V  descriptive attributes\n"
           "\t  T  transform data\n"
           "\t  R  resemblance measures\n"
           "\t  G  specify groups of sampling units\n"
           "\t  D  scatter diagrams\n"
           "\t  O  ordination\n"
           "\t  C  cluster analysis\n"
           "\t  P  randomization tests comparing groups of sampling units\n"
           "\t  A  randomization tests comparing variables\n"
           "\t  F  path analysis\n"
           "\t  K  relations between two sets of variables\n"
           "\t  Y  analysis of dynamics\n"
           "\t* E  preferences\n"
           "\t  S  save session\n"
           "\t* Z  run script\n"
           "\t* X  exit\n" +
           kLine + "\nEnter option (valid options with *): ";
}

TEST(Shell, FirstScreenAndExit) {
    Dialogue d;
    RunResult r = d.Run("x\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(MaskProcessors(r.out), Banner() + StatusNoData() + MenuStage0() + "\n\n");
    EXPECT_EQ(r.err, "");
}

// Started without a setting of how idle threads wait, the program starts
// itself again with one; the user sees one start, and the answers already
// typed are read by it.
TEST(Shell, AStartWithoutWaitSettingsRunsTheSameDialogue) {
    const char* names[] = {"OMP_WAIT_POLICY", "GOMP_SPINCOUNT"};
    std::string saved[2];
    bool had[2];
    for (int k = 0; k < 2; k++) {
        const char* v = getenv(names[k]);
        had[k] = v != nullptr;
        if (v) saved[k] = v;
        unsetenv(names[k]);
    }
    Dialogue d;
    const RunResult r = d.Run("h\nX\n");
    for (int k = 0; k < 2; k++)
        if (had[k]) setenv(names[k], saved[k].c_str(), 1);
    Dialogue plain;
    const RunResult expected = plain.Run("h\nX\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected.out);
    EXPECT_EQ(Count(r.out, "TEVLAN\n"), 1);
    EXPECT_EQ(r.err, expected.err);
}

TEST(Shell, RefusedKeysAreReportedAndReadAgainInEitherCase) {
    Dialogue d;
    // h is no entry, v is an entry not offered at stage 0; upper-case X exits.
    RunResult r = d.Run("h\nv X\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "\nIncorrect input = h. Reenter.\nAccepted input: N E Z X U J \n"
              "\nIncorrect input = v. Reenter.\nAccepted input: N E Z X U J \n");
    // One menu only: the refused keys were read again without a new prompt.
    EXPECT_EQ(Count(r.out, "MAIN MENU"), 1);
}

TEST(Shell, UnlistedKeysAreAlwaysAccepted) {
    Dialogue d;
    // Key U on an options file without any run goes straight back; key J
    // runs a study of one test of two variables answered on the keyboard.
    d.Put("none.txt", "");
    d.Put("coef.txt", "0 0 0 0 0 0\n");
    RunResult r =
        d.Run("u\na\nf\nnone.txt\nJ\na\nk\nres.txt\n2 0 3\ncoef.txt\n2\n1\n1\nn\n1\n1\n1\n0\nn\n1\n1 1\n0\nx\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Count(r.out, "GENERATING DATA plus ORDINATION AXES TESTS:"), 1);
    EXPECT_EQ(Count(r.out, "GENERATING PATH MODEL AND ASSESSING VALIDITY TEST ACCURACY:"), 2);
    EXPECT_NE(r.File("res.txt").find("FINAL RESULTS"), std::string::npos);
    EXPECT_EQ(Count(r.out, "MAIN MENU"), 3);
}

TEST(Shell, EndOfInputIsAnOrderlyFatalEnd) {
    Dialogue d;
    RunResult r = d.Run("");
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\nfile teclado \nEND OF FILE !!!\n\nPress RETURN to exit.\n");
}

TEST(Shell, ScriptFileDrivesTheProgramToItsExit) {
    Dialogue d;
    d.Put("answers.txt", "E\nC\nx\n");  // into the preferences and back
    RunResult r = d.Run("z\nf\nanswers.txt\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Read input from file (f) or from the keyboard (k)? f/k "
                         "Enter name of text file with all the options: "),
              std::string::npos);
    EXPECT_EQ(Count(r.out, "MAIN MENU"), 3);
}

TEST(Shell, ScriptThatCannotBeOpenedAsksAgain) {
    Dialogue d;
    d.Put("good.txt", "x\n");
    RunResult r = d.Run("z\nf\nmissing.txt\nF\ngood.txt\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "\ncan't open missing.txt \n");
    EXPECT_EQ(Count(r.out, "Read input from file (f) or from the keyboard (k)? f/k "), 2);
}

TEST(Shell, FolderNamedAsScriptAsksAgain) {
    Dialogue d;
    std::filesystem::create_directory(d.Folder() + "/scripts");
    d.Put("good.txt", "x\n");
    RunResult r = d.Run("z\nf\nscripts\nf\ngood.txt\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "\ncan't open scripts: is a folder \n");
    EXPECT_EQ(Count(r.out, "Read input from file (f) or from the keyboard (k)? f/k "), 2);
}

TEST(Shell, KeyboardAgainAfterScript) {
    Dialogue d;
    d.Put("s.txt", "z\n");  // the script hands the input back to the keyboard
    RunResult r = d.Run("z\nf\ns.txt\nk\nx\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Count(r.out, "MAIN MENU"), 3);
}

TEST(Shell, ScriptThatRunsOutEndsTheProgramWithFailure) {
    Dialogue d;
    d.Put("short.txt", "");
    RunResult r = d.Run("z\nf\nshort.txt\nx\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\nfile teclado \nEND OF FILE !!!\n\nPress RETURN to exit.\n");
}

TEST(Shell, EndOfInputAtTheScriptQuestion) {
    Dialogue d;
    RunResult r = d.Run("z\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\nfile keyboard \nEND OF FILE !!!\n\nPress RETURN to exit.\n");
}

TEST(Shell, LongScriptNameIsRefusedNotOverflowed) {
    Dialogue d;
    d.Put("ok.txt", "x\n");
    std::string longName(300, 'a');
    RunResult r = d.Run("z\nf\n" + longName + "\nf\nok.txt\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Count(r.err, "can't open"), 1);
}

// A 2 x 3 table: one binary and two quantitative variables (data type 6),
// kept as a session with a Gower resemblance; a report from an earlier run
// is left beside it, and the next start is told to erase it.
void MixedSessionWithOldReport(Dialogue& d) {
    d.Put("m.txt", "1 2 3\n0 5 6\n");
    RunResult r = d.Run("n\nn\nm.txt\n5\n2\n3\n1 3 3\nn\nN\n1\nn\nr\n1\n5\nn\n0\nn\nx\n");
    ASSERT_EQ(r.status, 0);
    d.Put("Vidive.txt", "EARLIER REPORT\n");
}

const char* const kContinueAndErase = "y\ne\n";
const char* const kGowerReport = "r\n1\n5\nn\n0\nn\nx\n";

TEST(Shell, PathAnalysisRefusedForTheDataTypeLeavesTheReportToBeErased) {
    Dialogue d;
    MixedSessionWithOldReport(d);
    RunResult r = d.Run(std::string(kContinueAndErase) + "f\n" + kGowerReport);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\nData type is not adequate for any option of path analysis."), std::string::npos);
    std::string report = r.File("Vidive.txt");
    EXPECT_EQ(report.find("EARLIER REPORT"), std::string::npos) << report;
    EXPECT_EQ(Count(report, "RESEMBLANCE MEASURES"), 1);
}

TEST(Shell, CancelledClusterAnalysisStillSwitchesTheReportToAppend) {
    Dialogue d;
    MixedSessionWithOldReport(d);
    RunResult r = d.Run(std::string(kContinueAndErase) + "c\n99\n" + kGowerReport);
    EXPECT_EQ(r.status, 0);
    std::string report = r.File("Vidive.txt");
    EXPECT_EQ(report.rfind("EARLIER REPORT\n", 0), 0u) << report;
    EXPECT_EQ(Count(report, "RESEMBLANCE MEASURES"), 1);
}

// Written to a file, the progress line of a long test is a whole line at most
// once a second, never backspaces over redraws.
TEST(Shell, ProgressLineInAFileIsWholeLinesWithoutBackspaces) {
    Dialogue d;
    d.PutExample("dune.txt");
    d.PutExample("dune_groups_management.txt");
    const auto start = std::chrono::steady_clock::now();
    RunResult r = d.Run("n\nn\ndune.txt\n1\n20\n30\nN\n2\nn\nr\n1\n3\n0\nn\np\n1\nManagement\nf\n"
                        "dune_groups_management.txt\n2\n12345\nd\n0\n10000\nn\nx\n");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.rawOut.find('\b'), std::string::npos);
    EXPECT_LE(Count(r.rawOut, "CPUs:"), static_cast<int>(seconds) + 1);
    EXPECT_EQ(r.out.find("CPUs:"), std::string::npos) << "the harness removes the progress lines";
}

// The last line of ./run-tests.sh sums both phases; a phase that wrote no
// results counts as failed.
TEST(Shell, TestRunSummaryLine) {
    Dialogue d;
    auto junit = [](int tests, int failures, int skipped) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuite name=\"(empty)\"\n\ttests=\"" +
               std::to_string(tests) + "\"\n\tfailures=\"" + std::to_string(failures) +
               "\"\n\tdisabled=\"0\"\n\tskipped=\"" + std::to_string(skipped) +
               "\"\n\thostname=\"\"\n\t>\n\t<testcase name=\"A.B\" status=\"run\"/>\n</testsuite>\n";
    };
    d.Put("release.xml", junit(730, 0, 0));
    d.Put("sanitize.xml", junit(730, 2, 1));
    const std::string script = std::string(TEVLAN_EXAMPLES) + "/../scripts/test-summary.sh";
    auto summary = [&](const std::string& files) {
        std::string out;
        FILE* p = popen(("cd " + d.Folder() + " && " + script + " " + files).c_str(), "r");
        for (int c; p && (c = fgetc(p)) != EOF;) out += static_cast<char>(c);
        if (p) pclose(p);
        return out;
    };
    EXPECT_EQ(summary("release.xml sanitize.xml"), "1457 passed, 2 failed, 1 skipped\n");
    EXPECT_EQ(summary("release.xml missing.xml"), "730 passed, 1 failed, 0 skipped\n");
}

}  // namespace
