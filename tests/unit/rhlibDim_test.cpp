// Allocation of arrays, validated input and file opening.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "rhlibDim.h"
#include "stream_util.h"

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

// ---------------------------------------------------------------------------
// Arrays
// ---------------------------------------------------------------------------

TEST(Arrays, ShapesAreZeroFilled) {
    double** m = dim2DT<double>(3, 4);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++) EXPECT_EQ(m[i][j], 0.0);
    m[2][3] = 7;  // every element of the last row is writable
    free2DT(m, 3);

    int*** a = reinterpret_cast<int***>(dim3D(sizeof(int), 2, 3, 5));
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 3; j++)
            for (int k = 0; k < 5; k++) EXPECT_EQ(a[i][j][k], 0);
    free3D(reinterpret_cast<void***>(a), 2, 3);

    char***** e = reinterpret_cast<char*****>(dim5D(1, 2, 2, 2, 2, 3));
    EXPECT_EQ(e[1][1][1][1][2], 0);
    free5D(reinterpret_cast<void*****>(e), 2, 2, 2, 2);

    void**** f = dim4D(8, 2, 1, 2, 2);
    EXPECT_EQ(static_cast<void**>(f[1][0][1])[1], nullptr);
    free4D(f, 2, 1, 2);
}

TEST(Arrays, CountsOfZeroAndNullReleases) {
    void* v = dim1D(8, 0);
    EXPECT_NE(v, nullptr);
    free1D(v);
    void** m = dim2D(8, 0, 5);  // no rows are made
    free2D(m, 0);
    free1D(nullptr);
    free2D(nullptr, 3);
    free3D(nullptr, 3, 3);
    free4D(nullptr, 1, 1, 1);
    free5D(nullptr, 1, 1, 1, 1);
}

TEST(ArraysDeathTest, NegativeCountEndsWithOutOfMemory) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(dim1D(8, -1), testing::ExitedWithCode(1),
                "\nOUT OF MEMORY !!!\n\nPress RETURN to exit.\n\a");
    EXPECT_EXIT(dim2D(8, 2, -3), testing::ExitedWithCode(1), "OUT OF MEMORY");
}

// ---------------------------------------------------------------------------
// ScanChar
// ---------------------------------------------------------------------------

TEST(ScanChar, AcceptsEitherCaseAndLeavesTheRest) {
    TextStream s("Y\nno\n");
    EXPECT_EQ(ScanChar(s, "y n", "keyboard"), 'y');
    EXPECT_EQ(ScanChar(s, "y n", "keyboard"), 'n');
    EXPECT_EQ(ScanChar(s, nullptr, "keyboard"), 'o');  // the rest of "no" stays
}

TEST(ScanChar, RefusesWithBothMessagesAndReadsAgain) {
    TextStream s("x y");
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(ScanChar(s, "y n", "keyboard"), 'y');
    EXPECT_EQ(GetCapturedStdout(), "\a");
    EXPECT_EQ(GetCapturedStderr(), "\nIncorrect input = x. Reenter.\nAccepted input: y n\n");
}

TEST(ScanChar, ListIsASetOfSingleCharacters) {
    TextStream s("9");
    EXPECT_EQ(ScanChar(s, "1 2 3 99", "keyboard"), '9');
}

TEST(ScanChar, WithoutListSkipsOnlyTabNewlineAndBlank) {
    TextStream s(" \t\n\rA");
    EXPECT_EQ(ScanChar(s, "", "keyboard"), '\r');
    EXPECT_EQ(ScanChar(s, nullptr, "keyboard"), 'a');
}

TEST(ScanChar, EndOfStreamIsErrorCodeTwoAndStaysEnded) {
    TextStream s("\n ");
    CaptureStderr();
    EXPECT_EQ(ThrownCode([&] { ScanChar(s, "y n", "script.txt"); }), 2);
    EXPECT_EQ(GetCapturedStderr(), "\nfile script.txt ");
    // A later read of the ended stream fails at once, without reading.
    CaptureStderr();
    EXPECT_EQ(ThrownCode([&] { ScanChar(s, "y n", "script.txt"); }), 2);
    GetCapturedStderr();
}

// ---------------------------------------------------------------------------
// ScanNumber
// ---------------------------------------------------------------------------

TEST(ScanNumber, ListRefusesAndNamesTheList) {
    TextStream s("4 2");
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(ScanNumber(s, "teclado", "1 2 3 99"), 2);
    EXPECT_EQ(GetCapturedStdout(), "\a");
    EXPECT_EQ(GetCapturedStderr(), "\nIncorrect input = 4. Reenter.\nAccepted input: 1 2 3 99\n");
}

TEST(ScanNumber, ListWithTrailingBlankAcceptsOnlyItsNumbers) {
    TextStream s("0 -1 99 1");
    CaptureStderr();
    EXPECT_EQ(ScanNumber(s, "teclado", "1 2 99 "), 99);
    EXPECT_EQ(ScanNumber(s, "teclado", "1 2 99 "), 1);
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("Incorrect input = 0."), std::string::npos);
    EXPECT_NE(err.find("Incorrect input = -1."), std::string::npos);
}

TEST(ScanNumber, RangeBoundsAreIncluded) {
    TextStream s("0 20 20.5 -0.5 7");
    EXPECT_EQ(ScanNumber(s, "keyboard", "-", 0, 20), 0);
    EXPECT_EQ(ScanNumber(s, "keyboard", "-", 0, 20), 20);
    CaptureStderr();
    EXPECT_EQ(ScanNumber(s, "keyboard", "-", 0, 20), 7);
    EXPECT_EQ(GetCapturedStderr(),
              "\nIncorrect input = 20.5. Reenter.\nAccepted input: 0 to 20\n"
              "\nIncorrect input = -0.5. Reenter.\nAccepted input: 0 to 20\n");
}

TEST(ScanNumber, LargeRangeBounds) {
    TextStream s("4294967295 4294967296 12");
    CaptureStderr();
    EXPECT_EQ(ScanNumber(s, "keyboard", "-", 0, 4294967295.0), 4294967295.0);
    EXPECT_EQ(ScanNumber(s, "keyboard", "-", 0, 4294967295.0), 12);
    EXPECT_NE(GetCapturedStderr().find("Accepted input: 0 to 4.29497e+09"), std::string::npos);
}

TEST(ScanNumber, FreeFormsStrictAndTolerant) {
    TextStream s("abc 3.5 -2e3");
    EXPECT_EQ(ScanNumber(s, "keyboard", ""), 3.5);  // passes over abc
    EXPECT_EQ(ScanNumber(s, "keyboard", nullptr), -2000);
    TextStream w("word");
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(ThrownCode([&] { ScanNumber(w, "teclado", nullptr); }), 2);
    EXPECT_EQ(GetCapturedStderr(), "\nfile teclado ");
    EXPECT_EQ(GetCapturedStdout(), "\a");
}

TEST(ScanNumber, NotAFiniteNumberIsRefused) {
    TextStream s("nan 1e999 5 inf 1");
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(ScanNumber(s, "keyboard", ""), 5);
    EXPECT_EQ(ScanNumber(s, "keyboard", "-", 0, 1e308), 1);
    EXPECT_EQ(GetCapturedStderr(),
              "\nIncorrect input = nan. Reenter.\n\nIncorrect input = inf. Reenter.\n"
              "\nIncorrect input = inf. Reenter.\nAccepted input: 0 to 1e+308\n");
    GetCapturedStdout();
}

TEST(Freadck1, ANumberTooLargeIsReturnedNotSkipped) {
    // Passing over it would shift every later value of a table.
    TextStream s("1 1e999 3");
    double v[3];
    for (double& x : v) EXPECT_EQ(freadck1(s, "%lf", &x, "data.txt"), 1);
    EXPECT_EQ(v[0], 1);
    EXPECT_TRUE(std::isinf(v[1]));
    EXPECT_EQ(v[2], 3);
    double strict;
    TextStream t("1e999");
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(ThrownCode([&] { freadck(t, "%lf", &strict, "data.txt"); }), 2);
    GetCapturedStderr();
    GetCapturedStdout();
}

TEST(ScanNumber, EndOfScriptWithList) {
    TextStream s("7 ");
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(ThrownCode([&] { ScanNumber(s, "script.txt", "1 2"); }), 2);
    EXPECT_EQ(GetCapturedStdout(), "\a\a\a");  // the refusal of 7, the end, once more
    EXPECT_EQ(GetCapturedStderr(),
              "\nIncorrect input = 7. Reenter.\nAccepted input: 1 2\n\nEnd of file script.txt\n");
}

// ---------------------------------------------------------------------------
// ScanString
// ---------------------------------------------------------------------------

TEST(ScanString, AlternativesAndCase) {
    TextStream s("B d c");
    char word[100];
    EXPECT_STREQ(ScanString(s, 99, word, "a/b/c", 0, "keyboard"), "B");
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(ScanString(s, 99, word, "a/b/c", 1, "keyboard"), nullptr);
    EXPECT_STREQ(word, "");
    EXPECT_EQ(GetCapturedStderr(), "\nIncorrect input = d. Reenter.\nAccepted input: a/b/c\n");
    GetCapturedStdout();
    EXPECT_STREQ(ScanString(s, 99, word, "a/b/c", 1, "keyboard"), "c");
}

TEST(ScanString, LongWordIsCutAndEndGivesNull) {
    std::string longWord(300, 'x');
    TextStream s(longWord + " next\n");
    char word[11];
    EXPECT_STREQ(ScanString(s, 10, word, nullptr, 1, "keyboard"), "xxxxxxxxxx");
    EXPECT_STREQ(ScanString(s, 10, word, nullptr, 1, "keyboard"), "next");
    CaptureStderr();
    EXPECT_EQ(ScanString(s, 10, word, nullptr, 1, "names.txt"), nullptr);
    EXPECT_EQ(GetCapturedStderr(), "\nEnd of file names.txt\n");
    // Asking again of the ended stream is an end-of-file error, never a loop.
    CaptureStderr();
    EXPECT_EQ(ThrownCode([&] { ScanString(s, 10, word, nullptr, 1, "names.txt"); }), 2);
    GetCapturedStderr();
}

// ---------------------------------------------------------------------------
// freadck, freadck1, line readers
// ---------------------------------------------------------------------------

TEST(Freadck, ReadsFieldsAndFailsOnMismatch) {
    TextStream s("12 3.25 label x");
    int i = 0;
    double d = 0;
    char w[4];
    EXPECT_EQ(freadck(s, "%d", &i, "f.txt"), 1);
    EXPECT_EQ(freadck(s, "%lf", &d, "f.txt"), 1);
    EXPECT_EQ(freadck(s, "%s", w, "f.txt"), 1);
    EXPECT_STREQ(w, "lab");  // cut to the destination, rest of the word dropped
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(ThrownCode([&] { freadck(s, "%d", &i, "f.txt"); }), 2);
    EXPECT_EQ(GetCapturedStderr(), "\nfile f.txt ");
    EXPECT_EQ(GetCapturedStdout(), "\a");
}

TEST(Freadck, EndOfStreamIsErrorCodeTwo) {
    TextStream s("  \n");
    double d;
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(ThrownCode([&] { freadck(s, "%lf", &d, "f.txt"); }), 2);
    GetCapturedStderr();
    GetCapturedStdout();
}

TEST(Freadck1, PassesOverWhatDoesNotMatchAndReportsTheEnd) {
    TextStream s("a,b 5;6 z");
    int v = 0;
    EXPECT_EQ(freadck1(s, "%d", &v, "data.txt"), 1);
    EXPECT_EQ(v, 5);
    EXPECT_EQ(freadck1(s, "%d", &v, "data.txt"), 1);
    EXPECT_EQ(v, 6);
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(freadck1(s, "%d", &v, "data.txt"), 0);
    EXPECT_EQ(v, 6);
    EXPECT_EQ(GetCapturedStderr(), "\nEnd of file data.txt\n");
    EXPECT_EQ(GetCapturedStdout(), "\a");
}

TEST(Freadck1, LabelsAreBoundedWordByWord) {
    TextStream s("abcdefghij k");
    char w[5];
    EXPECT_EQ(freadck1(s, "%s", w, "data.txt"), 1);
    EXPECT_STREQ(w, "abcd");
    EXPECT_EQ(freadck1(s, "%s", w, "data.txt"), 1);
    EXPECT_STREQ(w, "k");
}

TEST(LineReaders, TabEndsALineOrIsABlank) {
    TextStream s("\n  first part\tsecond\nthird\tfourth\n");
    char line[100];
    freadlineck(s, 99, line, "f");
    EXPECT_STREQ(line, "first part");
    freadlineck(s, 99, line, "f");
    EXPECT_STREQ(line, "second");
    freadlineck_Space(s, 99, line, "f");
    EXPECT_STREQ(line, "third fourth");
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(ThrownCode([&] { freadlineck(s, 99, line, "f"); }), 2);
    GetCapturedStderr();
    GetCapturedStdout();
}

TEST(LineReaders, LineIsCutAtItsLength) {
    TextStream s("abcdefgh\n");
    char line[4];
    freadlineck(s, 3, line, "f");
    EXPECT_STREQ(line, "abc");
}

// ---------------------------------------------------------------------------
// fopenck
// ---------------------------------------------------------------------------

TEST(Fopenck, OpensOrSaysWhy) {
    std::string path = (std::filesystem::temp_directory_path() / "tevlan_fopenck.txt").string();
    FILE* f = fopenck(path.c_str(), nullptr, "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    std::remove(path.c_str());

    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(fopenck("no/such/dir/file.txt", nullptr, "r"), nullptr);
    EXPECT_EQ(GetCapturedStderr(), "\ncan't open no/such/dir/file.txt \n");
    EXPECT_EQ(GetCapturedStdout(), "\a");
}

TEST(Fopenck, NamesLongerThan99AreRefused) {
    std::string name(100, 'n');
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(fopenck(name.c_str(), nullptr, "w"), nullptr);
    EXPECT_EQ(GetCapturedStderr(), "\ncan't open " + name + " \n");
    GetCapturedStdout();
    EXPECT_FALSE(std::filesystem::exists(name));
}

TEST(Fopenck, AFolderIsNotAFileToOpen) {
    // A folder opens for reading on this platform, but every read of it then
    // fails: taken as a file, it would look like a file that ended at once.
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "tevlan_fopenck_dir";
    std::filesystem::create_directories(dir);
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(fopenck(dir.string().c_str(), nullptr, "r"), nullptr);
    EXPECT_EQ(GetCapturedStderr(), "\ncan't open " + dir.string() + " \n");
    EXPECT_EQ(GetCapturedStdout(), "\a");
    std::filesystem::remove(dir);
}

TEST(StrCmp, IgnoresCase) {
    EXPECT_EQ(StrCmp("abc", "ABC"), 0);
    EXPECT_LT(StrCmp("abc", "ABD"), 0);
    EXPECT_GT(StrCmp("b", "A"), 0);
}

}  // namespace
