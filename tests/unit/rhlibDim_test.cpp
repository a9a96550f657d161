// Allocation of arrays, validated input and file opening.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(ScanNumber, WhatIsPassedOverIsNamed) {
    struct Case {
        std::string typed;
        std::vector<double> read;  // the numbers the answers give, in order
        std::string err;
    };
    const std::string longWord(50, 'q');
    const Case cases[] = {
        {"abc 3.5", {3.5}, "Ignored \"abc\": a number is expected.\n"},
        {"1o00 2", {1, 0, 2}, "Ignored \"o\": a number is expected.\n"},
        {"x2 y\t7", {2, 7}, "Ignored \"x\": a number is expected.\nIgnored \"y\": a number is expected.\n"},
        {longWord + " 4", {4}, "Ignored \"" + std::string(40, 'q') + "...\": a number is expected.\n"},
        {"5 6", {5, 6}, ""},
        // Words begun like "nan" or "inf" and signs are named whole, and the
        // next answer is read whole.
        {"no 5 NA 12\t-x inx -n 13", {5, 12, 13},
         "Ignored \"no\": a number is expected.\nIgnored \"NA\": a number is expected.\n"
         "Ignored \"-x\": a number is expected.\nIgnored \"inx\": a number is expected.\n"
         "Ignored \"-n\": a number is expected.\n"},
    };
    for (const Case& c : cases) {
        TextStream s(c.typed);
        CaptureStderr();
        for (double x : c.read) EXPECT_EQ(ScanNumber(s, "keyboard", "-", 0, 20), x) << c.typed;
        EXPECT_EQ(GetCapturedStderr(), c.err) << c.typed;
    }
    // A word where one key is asked for gives its first letter and says so.
    TextStream s("yes\nn\n");
    CaptureStderr();
    EXPECT_EQ(ScanChar(s, "y n", "keyboard"), 'y');
    EXPECT_EQ(GetCapturedStderr(), "Only \"y\" was taken; what follows it is read as the next answer.\n");
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(ScanChar(s, "e s", "keyboard"), 'e');
    EXPECT_EQ(ScanChar(s, "n s", "keyboard"), 's');
    EXPECT_EQ(ScanChar(s, "n s", "keyboard"), 'n');
    EXPECT_EQ(GetCapturedStderr(), "Only \"e\" was taken; what follows it is read as the next answer.\n");
    GetCapturedStdout();
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

TEST(Freadck, FloatAndLongFields) {
    TextStream s("x 2.5 -7 0.25 9");
    float f = 0;
    long l = 0;
    EXPECT_EQ(freadck1(s, "%f", &f, "data.txt"), 1);  // x passed over
    EXPECT_EQ(f, 2.5f);
    EXPECT_EQ(freadck1(s, "%ld", &l, "data.txt"), 1);
    EXPECT_EQ(l, -7);
    EXPECT_EQ(freadck(s, "%f", &f, "data.txt"), 1);
    EXPECT_EQ(f, 0.25f);
    EXPECT_EQ(freadck(s, "%ld", &l, "data.txt"), 1);
    EXPECT_EQ(l, 9);
}

TEST(Freadck1, LabelsAreBoundedWordByWord) {
    TextStream s("abcdefghij k");
    char w[5];
    EXPECT_EQ(freadck1(s, "%s", w, "data.txt"), 1);
    EXPECT_STREQ(w, "abcd");
    EXPECT_EQ(freadck1(s, "%s", w, "data.txt"), 1);
    EXPECT_STREQ(w, "k");
}

// ---------------------------------------------------------------------------
// Strict number fields
// ---------------------------------------------------------------------------

struct FieldCase {
    std::string text;   // the field as written in the file
    bool number;        // read as a number?
    double value;       // its value
    std::string shown;  // the token a refusal shows
};

TEST(ReadNumberToken, EachFieldReadsWholeOrIsRefused) {
    const FieldCase cases[] = {
        {"3", true, 3, ""},
        {"-0.5", true, -0.5, ""},
        {"1e-3", true, 0.001, ""},
        {"-999", true, -999, ""},
        {"+7.25E+1", true, 72.5, ""},
        {"1,", true, 1, ""},           // ", " between values
        {"2;", true, 2, ""},
        {"1e-400", true, 0, ""},       // underflows to zero: still a finite number
        {"1,5", false, 0, "1,5"},      // a decimal comma is never split into two cells
        {"1,5,", false, 0, "1,5,"},
        {"1,,", false, 0, "1,,"},      // one separator only
        {",", false, 0, ","},
        {"NA", false, 0, "NA"},
        {"1..2", false, 0, "1..2"},
        {"--1", false, 0, "--1"},
        {"1e", false, 0, "1e"},
        {"0x", false, 0, "0x"},
        {"nan", false, 0, "nan"},
        {"inf", false, 0, "inf"},
        {"-Infinity", false, 0, "-Infinity"},
        {"1e999", false, 0, "1e999"},
        {"abc", false, 0, "abc"},
        {std::string("1\0", 2), false, 0, "1?"},  // a UTF-16 digit
        {"\xEF\xBB\xBF" "5", false, 0, "???5"},   // a byte-order mark before the first number
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.shown.empty() ? c.text : c.shown);
        // The field between two numbers: the next field must come out whole.
        TextStream s("  " + c.text + "\n42");
        double x = -1;
        char token[kTokenShown];
        int k = ReadNumberToken(s, &x, token, sizeof token, "data.txt");
        if (c.number) {
            EXPECT_EQ(k, tokenNumber);
            EXPECT_DOUBLE_EQ(x, c.value);
        } else {
            EXPECT_EQ(k, tokenNotNumber);
            EXPECT_EQ(x, -1);  // untouched
            EXPECT_EQ(std::string(token), c.shown);
        }
        EXPECT_EQ(ReadNumberToken(s, &x, token, sizeof token, "data.txt"), tokenNumber);
        EXPECT_EQ(x, 42);
    }
}

TEST(ReadNumberToken, SeparatedListsAndTheEnd) {
    // "NA -3" once made -3 into 3: the field after a refused one is intact.
    TextStream s("1, 2; 3\tNA -3\n");
    double v[5] = {0, 0, 0, 0, 0};
    char token[kTokenShown];
    for (int i = 0; i < 3; i++) ASSERT_EQ(ReadNumberToken(s, &v[i], token, sizeof token, "d"), tokenNumber);
    EXPECT_EQ(ReadNumberToken(s, &v[3], token, sizeof token, "d"), tokenNotNumber);
    EXPECT_EQ(ReadNumberToken(s, &v[4], token, sizeof token, "d"), tokenNumber);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 2);
    EXPECT_EQ(v[2], 3);
    EXPECT_EQ(v[4], -3);
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(ReadNumberToken(s, &v[0], token, sizeof token, "d.txt"), tokenEnd);
    EXPECT_EQ(GetCapturedStderr(), "\nEnd of file d.txt\n");
    EXPECT_EQ(GetCapturedStdout(), "\a");
}

TEST(ReadNumberToken, LongFieldsAreShownCutAndPassedWhole) {
    std::string digits(300, '1');  // too long to be a number anyone wrote
    std::string word(60, 'w');
    TextStream s(digits + " " + word + " 5");
    double x = 0;
    char token[12];
    EXPECT_EQ(ReadNumberToken(s, &x, token, sizeof token, "d"), tokenNotNumber);
    EXPECT_STREQ(token, "11111111...");
    EXPECT_EQ(ReadNumberToken(s, &x, token, sizeof token, "d"), tokenNotNumber);
    EXPECT_STREQ(token, "wwwwwwww...");
    EXPECT_EQ(ReadNumberToken(s, &x, token, sizeof token, "d"), tokenNumber);
    EXPECT_EQ(x, 5);
}

TEST(NotANumberMessage, NamesFilePlaceAndTokenWithTheDecimalHint) {
    auto say = [](bool english, const char* token) {
        return Printed([&](FILE* f) { NotANumberMessage(f, english, "d.txt", english ? "unit 2, variable 3" : "unidade 2, variavel 3", token); });
    };
    EXPECT_EQ(say(true, "NA"),
              "\nFile d.txt was not read: the value for unit 2, variable 3 is \"NA\", which is not a number.\n");
    EXPECT_EQ(say(true, "1,5"),
              "\nFile d.txt was not read: the value for unit 2, variable 3 is \"1,5\", which is not a number.\n"
              "Decimals are written with a point: 1.5, not 1,5.\n");
    EXPECT_EQ(say(false, "12,75;"),
              "\nO arquivo d.txt nao foi lido: o valor para unidade 2, variavel 3 e \"12,75;\", que nao e um "
              "numero.\nDecimais sao escritos com ponto: 1.5, e nao 1,5.\n");
    // A comma that is no decimal comma gets no hint.
    EXPECT_EQ(say(true, "1,,").find("Decimals"), std::string::npos);
    EXPECT_EQ(say(true, ",5").find("Decimals"), std::string::npos);
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
    FILE* f = fopenck(name.c_str(), nullptr, "w");
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(GetCapturedStderr(), "\ncan't open " + name + " \n");
    GetCapturedStdout();
    // A fault that creates the file must not leave it behind for later runs.
    if (f) fclose(f);
    std::error_code ec;
    EXPECT_FALSE(std::filesystem::remove(name, ec));
}

TEST(Fopenck, AFolderIsNotAFileToOpen) {
    // A folder opens for reading on this platform, but every read of it then
    // fails: taken as a file, it would look like a file that ended at once.
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "tevlan_fopenck_dir";
    std::filesystem::create_directories(dir);
    CaptureStderr();
    CaptureStdout();
    EXPECT_EQ(fopenck(dir.string().c_str(), nullptr, "r"), nullptr);
    EXPECT_EQ(GetCapturedStderr(), "\ncan't open " + dir.string() + ": is a folder \n");
    EXPECT_EQ(GetCapturedStdout(), "\a");
    std::filesystem::remove(dir);
}

TEST(Fopenck, OnlyRegularFilesAreOpened) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("tevlan_fopenck_fifo_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string fifo = (dir / "data.txt").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A writer holds the FIFO open, so that a faulty open returns at once
    // instead of waiting for one.
    int holder = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    // Nor for writing: a FIFO without a reader would block the open, and
    // a device is no file to keep.
    for (const std::string& name : {fifo, std::string("/dev/zero"), std::string("/dev/full")})
        for (const char* mode : {"r", "w", "a"}) {
            SCOPED_TRACE(name + " " + mode);
            CaptureStderr();
            CaptureStdout();
            FILE* f = fopenck(name.c_str(), nullptr, mode);
            EXPECT_EQ(f, nullptr);
            if (f) fclose(f);
            EXPECT_EQ(GetCapturedStderr(),
                      "\ncan't open " + name + (name == fifo ? ": is a FIFO \n" : ": is a device \n"));
            GetCapturedStdout();
            EXPECT_FALSE(IsRegularFile(name.c_str()));
        }
    close(holder);
    // A regular file, and for writing a name that does not exist yet.
    const std::string plain = (dir / "plain.txt").string();
    FILE* made = fopenck(plain.c_str(), nullptr, "w");
    ASSERT_NE(made, nullptr);
    fclose(made);
    EXPECT_TRUE(IsRegularFile(plain.c_str()));
    for (const char* mode : {"r", "a", "w"}) {
        FILE* f = fopenck(plain.c_str(), nullptr, mode);
        EXPECT_NE(f, nullptr) << mode;
        if (f) fclose(f);
    }
    fs::remove_all(dir);
}

TEST(Fcloseck, AWriteThatFailsAtTheFlushIsReported) {
    // /dev/full takes the open but no byte: the failure shows only when the
    // buffer is flushed.
    FILE* full = fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    fprintf(full, "a report\n");
    CaptureStderr();
    CaptureStdout();
    EXPECT_FALSE(fcloseck(full, "Vidive.txt"));
    EXPECT_EQ(GetCapturedStderr(), "\nFAIL TO PRINT ON FILE Vidive.txt !!!\n");
    EXPECT_EQ(GetCapturedStdout(), "\a");
    // A file written whole closes quietly; no file, nothing to say.
    const std::string path = (std::filesystem::temp_directory_path() / "tevlan_fcloseck.txt").string();
    FILE* f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fprintf(f, "x\n");
    CaptureStderr();
    EXPECT_TRUE(fcloseck(f, "x.txt"));
    EXPECT_FALSE(fcloseck(nullptr, "y.txt"));
    EXPECT_EQ(GetCapturedStderr(), "");
    std::remove(path.c_str());
}

TEST(StrCmp, IgnoresCase) {
    EXPECT_EQ(StrCmp("abc", "ABC"), 0);
    EXPECT_LT(StrCmp("abc", "ABD"), 0);
    EXPECT_GT(StrCmp("b", "A"), 0);
}

}  // namespace

// A limit on the address space below the machine's memory (256 MB beyond
// what the tests already take) is the memory the program has.
TEST(MemoryBudget, HalfOfALimitOnTheAddressSpace) {
    std::istringstream status(Slurp("/proc/self/status"));
    long used = 0;  // kB
    for (std::string word; status >> word && word != "VmSize:";) {}
    ASSERT_TRUE(status >> used);
    struct rlimit saved, limit;
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    limit = saved;
    limit.rlim_cur = static_cast<rlim_t>(used) * 1024 + 268435456;
    if (saved.rlim_cur < limit.rlim_cur) GTEST_SKIP() << "a lower limit is set";
    ASSERT_EQ(setrlimit(RLIMIT_AS, &limit), 0);
    const double budget = MemoryBudget();
    ASSERT_EQ(setrlimit(RLIMIT_AS, &saved), 0);
    EXPECT_LE(budget, static_cast<double>(limit.rlim_cur) / 2);
}

// Worked by hand, in MB. Before the linear-algebra library starts the
// program has reserved 48 MB (1 of data). A team of t fits when its t
// buffers of 128 MB and what it takes as it works (t more, and for each
// thread beyond the first a stack of 8, 4 of its own and an arena of 64 of
// address space) are at most half of the room: 256 MB for one thread, 588
// for two, 920 for three, 1252 for four (data segment: 256, 524, 792); a
// team of one may take all but 64 MB of the room.
TEST(MemoryBudget, TeamSizedToTheLimits) {
    const double MB = 1048576, KB = 1024, none = HUGE_VAL;
    struct Case {
        double space, dataLimit;
        int team;
    } cases[] = {
        {none, none, 8},
        {800000 * KB, none, 1},   // room 733 MB
        {1200000 * KB, none, 1},  // room 1124 MB
        {2000 * MB, none, 3},     // room 1952 MB
        {none, 1000000 * KB, 1},  // room 976 MB
        {none, 1500000 * KB, 2},  // room 1464 MB
        {400000 * KB, none, 1},   // room 343 MB: 320 for one thread
        {300000 * KB, none, 0},   // room 245 MB
    };
    for (const Case& c : cases) {
        const MemoryState s{16384 * MB, none, c.space, c.dataLimit, 8 * MB, 20 * MB, 48 * MB, 1 * MB};
        EXPECT_EQ(TeamWithinLimits(s, 8), c.team) << c.space / KB << " " << c.dataLimit / KB;
    }
    const MemoryState s{16384 * MB, none, 300000 * KB, none, 8 * MB, 20 * MB, 48 * MB, 1 * MB};
    EXPECT_DOUBLE_EQ(LeastLimitForOneThread(s, true) / MB, 48 + 256 + 64);
}
