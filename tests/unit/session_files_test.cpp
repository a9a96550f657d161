// Reading session files, and the dialogues that take a second and a third
// data set.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "TevlanClasses.h"
#include "dataset_util.h"
#include "rhlibDim.h"
#include "stream_util.h"

namespace fs = std::filesystem;

namespace {

void ResetAll() { ResetCurrentDataSet(); }

// ---------------------------------------------------------------------------
// Session files, in a folder of their own.
// ---------------------------------------------------------------------------

class SessionFiles : public testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tevlan-unit-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        folder_ = tmpl;
        previous_ = fs::current_path();
        fs::current_path(folder_);
        ResetAll();
    }
    void TearDown() override {
        ResetAll();
        fs::current_path(previous_);
        fs::remove_all(folder_);
    }
    static void Put(const std::string& name, const std::string& text) { std::ofstream(name) << text; }
    // A set of n units x p variables whose cells encode their place, saved
    // under a session name.
    static void SaveSet(const char* session, const char* file, int n, int p) {
        LivraMemoria();
        snprintf(filename, sizeof filename, "%s", file);
        nObj = n;
        nVar = p;
        Dimensiona();
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++) dataOrig[i][j] = data[i][j] = 10 * i + j;
        for (int i = 0; i < n; i++) snprintf(uaLabels[i], 30, "u%d", i);
        for (int j = 0; j < p; j++) snprintf(varLabels[j], 30, "v%d", j);
        for (int j = 0; j < p; j++) varType[j] = 3;
        optVarTipo = 1;
        temQuant = 1;
        optLabel = 2;
        temDados = 1;
        ASSERT_EQ(SaveSession(session), 1);
    }
    static void Open(const char* session) {
        snprintf(sessionFilename, sizeof sessionFilename, "%s.trk", session);
        ASSERT_EQ(ReadSessionTrack(), 1);
    }

private:
    std::string folder_;
    fs::path previous_;
};

TEST_F(SessionFiles, ResemblanceComesBackSymmetricAndNumbersRounded) {
    Put("R.trk",
        "R\nr.txt\n16/May/2007\n1\n3\n1\n1\n1\n0\n0\nN\n3\t\n0.1234567\t\n2\t\n3\t\n0\n0\n0\n"
        "0.1234567\t\n2\t\n3\t\na\tb\tc\t\nx\t\n2\n"
        "1\n1\n3\n0\n0\n0\n0\n0\n0\n1.5\n2.5\n0\n3.5\n0\n0\n0\n");
    Open("R");
    EXPECT_EQ(temDados, 1);
    EXPECT_EQ(temRese, 1);
    EXPECT_EQ(nRows, 3);
    EXPECT_EQ(nCols, 1);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_EQ(rese[i][j], rese[j][i]);
    EXPECT_EQ(rese[2][0], 2.5);
    EXPECT_EQ(rese[2][1], 3.5);
    EXPECT_EQ(stepReached, 2);
    // Written back in full precision, read again exactly.
    ASSERT_EQ(WriteSessionTrack(), 1);
    LivraMemoria();
    Open("R");
    EXPECT_EQ(dataOrig[0][0], 0.1234567);
    EXPECT_STREQ(uaLabels[2], "c");
}

TEST_F(SessionFiles, NumbersComeBackBitForBitInTheNewAndTheOldFormat) {
    const double awkward[] = {0.1,     1.0 / 3,  -2.0 / 3e-5, 1e-310,   1.7976931348623157e308, 5e-324,
                              -0.0,    1e21,     0.3 - 0.1,   1 + 2.2e-16, 123456789.12345679,  2.5e-7};
    SaveSet("N", "n.txt", 3, 4);
    for (int k = 0; k < 12; k++) {
        dataOrig[k / 4][k % 4] = awkward[k];
        data[k / 4][k % 4] = -awkward[11 - k];
    }
    nRows = 3;
    nCols = 4;
    optReseDir = optReseTipo = 1;
    rese = dim2DT<double>(3, 3);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) rese[i][j] = awkward[i + j + 4];
    temRese = 1;
    alphaH = 1.0 / 7;
    ASSERT_EQ(SaveSession("N"), 1);
    const std::string written = Slurp("N.trk");
    EXPECT_NE(written.find("\n0.1\t0.3333333333333333\t"), std::string::npos) << written;
    // The same file with every number in seventeen significant digits, as
    // sessions were written before.
    std::string old;
    for (size_t i = 0; i < written.size();) {
        size_t j = written.find_first_of("\t\n", i);
        std::string token = written.substr(i, j - i);
        char* end = nullptr;
        const double x = strtod(token.c_str(), &end);
        char buffer[40];
        if (!token.empty() && *end == '\0' && token.find_first_of(".e") != std::string::npos) {
            snprintf(buffer, sizeof buffer, "%.17g", x);
            token = buffer;
        }
        old += token + written[j];
        i = j + 1;
    }
    ASSERT_NE(old, written);
    Put("O.trk", old);
    auto same = [](double a, double b) { return memcmp(&a, &b, sizeof a) == 0; };
    for (const char* session : {"N", "O"}) {
        LivraMemoria();
        Open(session);
        for (int k = 0; k < 12; k++) {
            EXPECT_TRUE(same(dataOrig[k / 4][k % 4], awkward[k])) << session << " " << k;
            EXPECT_TRUE(same(data[k / 4][k % 4], -awkward[11 - k])) << session << " " << k;
        }
        for (int i = 0; i < 3; i++)
            for (int j = i; j < 3; j++) EXPECT_TRUE(same(rese[i][j], awkward[i + j + 4])) << session;
        EXPECT_TRUE(same(alphaH, 1.0 / 7)) << session;
    }
}

// Runs write with files limited to a few kilobytes, as on a disc that fills
// up during the write.
template <class F>
int WithFullDisc(F&& write) {
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    void (*handler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    testing::internal::CaptureStderr();
    int result = write();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, handler);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("the session is NOT saved"), std::string::npos);
    return result;
}

std::string Slurp(const char* name) {
    std::ifstream f(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

TEST_F(SessionFiles, AWriteCutShortKeepsThePreviousSessionAndItsName) {
    // The default session: its file is also the name file.
    SaveSet("Sessao", "a.txt", 40, 30);
    const std::string before = Slurp("Sessao.trk");
    ASSERT_GT(before.size(), 2 * 4096u);  // twice what the disc takes
    data[0][0] = 77;
    EXPECT_EQ(WithFullDisc(WriteSessionTrack), 0);
    EXPECT_EQ(savedSession, 0);
    EXPECT_TRUE(Slurp("Sessao.trk") == before) << "the previous default session was replaced";
    for (const auto& e : fs::directory_iterator("."))
        EXPECT_NE(e.path().extension(), ".tmp") << "a temporary file was left behind";
    // A named session: a new name whose file could not be written is not
    // put into the name file.
    SaveSet("A", "a.txt", 40, 30);
    const std::string a = Slurp("A.trk");
    EXPECT_EQ(Slurp("Sessao.trk"), "A\n");
    EXPECT_EQ(WithFullDisc([] { return SaveSession("B"); }), 0);
    EXPECT_EQ(Slurp("Sessao.trk"), "A\n");
    EXPECT_TRUE(Slurp("A.trk") == a);
    EXPECT_FALSE(fs::exists("B.trk"));
}

TEST_F(SessionFiles, AFailedReadLeavesTheCurrentSetAsItWas) {
    SaveSet("A", "a.txt", 3, 2);
    double** before = data;
    Put("W.trk", "W\nw.txt\n01/Jan/2001\n1\n");
    snprintf(sessionFilename, sizeof sessionFilename, "W.trk");
    testing::internal::CaptureStdout();
    EXPECT_EQ(ReadSessionTrack(), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("incompatible version"), std::string::npos);
    EXPECT_EQ(data, before);
    EXPECT_EQ(temDados, 1);
    EXPECT_STREQ(sessionName, "A");
}

class Dialogues : public SessionFiles {
protected:
    // Answers from a text, prompts into a buffer, for one call.
    template <class F>
    static int Answer(const std::string& answers, F&& call, std::string* shown = nullptr) {
        std::string text;
        int result = WithConsole(answers, text, call);
        if (shown) *shown = text;
        return result;
    }
};

TEST_F(Dialogues, SecondDataSetKeptSwitchedAndRespecified) {
    SaveSet("A", "a.txt", 3, 2);
    SaveSet("B", "b.txt", 2, 4);
    LivraMemoria();
    Open("A");
    std::string shown;
    EXPECT_EQ(Answer("B\n", SpecifySecondSession, &shown), 1);
    EXPECT_NE(shown.find("First data set: a.txt\nSpecify now the second data set.\n"), std::string::npos);
    EXPECT_TRUE(secondSet);
    EXPECT_STREQ(filename, "a.txt");
    EXPECT_STREQ(sessionName, "A");
    EXPECT_EQ(nVar, 2);
    EXPECT_EQ(data, session1->data);  // the globals share the first snapshot
    EXPECT_STREQ(session2->filename, "b.txt");
    EXPECT_EQ(session2->dataOrig[1][3], 13);

    // Switch: the second set becomes current, nothing is asked.
    EXPECT_EQ(Answer("s\n", SpecifySecondSession, &shown), 1);
    EXPECT_NE(shown.find("First data set: a.txt\nSecond data set: b.txt\n"
                         "Keep (k), switch order (s) or specify the second data set again (n)? "),
              std::string::npos);
    EXPECT_EQ(shown.find("Specify now"), std::string::npos);
    EXPECT_STREQ(filename, "b.txt");
    EXPECT_EQ(nVar, 4);
    EXPECT_STREQ(session2->filename, "a.txt");
    EXPECT_TRUE(secondSet);
    EXPECT_EQ(Answer("k\n", SpecifySecondSession), 1);
    EXPECT_STREQ(filename, "b.txt");

    // Specified again, but no session opened: the first set stays current.
    testing::internal::CaptureStderr();
    EXPECT_EQ(Answer("n\nmissing\nn\n", SpecifySecondSession), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(secondSet);
    EXPECT_STREQ(filename, "b.txt");
    EXPECT_EQ(dataOrig[1][3], 13);
}

TEST_F(Dialogues, ThirdDataSetSwitchesWithTheSecond) {
    SaveSet("A", "a.txt", 3, 2);
    SaveSet("B", "b.txt", 3, 4);
    SaveSet("C", "c.txt", 3, 1);
    LivraMemoria();
    Open("A");
    ASSERT_EQ(Answer("B\n", SpecifySecondSession), 1);
    std::string shown;
    EXPECT_EQ(Answer("C\n", SpecifyThirdSession, &shown), 1);
    EXPECT_NE(shown.find("First data set: a.txt\nSecond data set: b.txt\nSpecify now the third data set.\n"),
              std::string::npos);
    EXPECT_TRUE(thirdSet);
    EXPECT_TRUE(secondSet);  // the second set is still held
    EXPECT_STREQ(filename, "a.txt");
    EXPECT_STREQ(session3->filename, "c.txt");
    EXPECT_EQ(Answer("s\n", SpecifyThirdSession, &shown), 1);
    EXPECT_NE(shown.find("Third data set: c.txt\nKeep (k), switch order (s) between second and third"),
              std::string::npos);
    EXPECT_STREQ(session2->filename, "c.txt");
    EXPECT_STREQ(session3->filename, "b.txt");
    EXPECT_STREQ(filename, "a.txt");
    EXPECT_EQ(nVar, 2);
    EXPECT_TRUE(secondSet);
    // And the second set is kept when asked for again.
    EXPECT_EQ(Answer("k\n", SpecifySecondSession, &shown), 1);
    EXPECT_NE(shown.find("Second data set: c.txt\nKeep (k)"), std::string::npos) << shown;
}

}  // namespace
