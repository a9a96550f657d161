// Progress line, processors and clocks.
#include <gtest/gtest.h>
#include <omp.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "iflibG.h"
#include "rhlibDim.h"
#include "stream_util.h"

namespace {

// Sends the progress line to a temporary file for the life of the object.
class CapturedProgress {
public:
    CapturedProgress() : f_(tmpfile()) { SetProgressStream(f_); }
    ~CapturedProgress() {
        SetProgressStream(nullptr);
        fclose(f_);
    }
    std::string Text() {
        fflush(f_);
        long n = ftell(f_);
        std::string s(static_cast<size_t>(n), '\0');
        rewind(f_);
        size_t got = fread(&s[0], 1, s.size(), f_);
        s.resize(got);
        fseek(f_, 0, SEEK_END);
        return s;
    }

private:
    FILE* f_;
};

void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(12)); }

const std::string k40Blanks(40, ' ');

TEST(ProgressLine, DrawsAtMostOnceInsideTheInterval) {
    // The two calls must come within 4 ms of each other; a machine so busy
    // that the test was held up 3 ms between them gets another try.
    std::unique_ptr<CapturedProgress> captured;
    for (int attempt = 0; attempt < 5; attempt++) {
        captured.reset();  // the old capture lets go of the stream first
        captured = std::make_unique<CapturedProgress>();
        InitIFLibG();
        Pause();
        auto before = std::chrono::steady_clock::now();
        HandleEventInfoWhere2("Permutation: 1 10");
        HandleEventInfoWhere2("Permutation: 2 10");  // within 4 ms: not drawn
        if (std::chrono::steady_clock::now() - before < std::chrono::milliseconds(3)) break;
    }
    CapturedProgress& p = *captured;
    std::string first = std::string(23, ' ') + "Permutation: 1 10" + k40Blanks;
    EXPECT_EQ(p.Text(), first);

    Pause();
    HandleEventInfoWhere2("Permutation: 3 10");
    // The second draw first backspaces over the whole 80-column line.
    EXPECT_EQ(p.Text(), first + std::string(80, '\b') + std::string(23, ' ') + "Permutation: 3 10" + k40Blanks);
    ClearLine();
    EXPECT_EQ(p.Text().substr(first.size() + 160), std::string(80, '\b'));
    EXPECT_EQ(is40CharLine.load(), 0);
    EXPECT_EQ(is80CharLine.load(), 0);
}

TEST(ProgressLine, LongTextIsCutTo40) {
    CapturedProgress p;
    InitIFLibG();
    Pause();
    std::string text(55, 'x');
    text[39] = 'L';
    HandleEventInfoWhere2(text.c_str());
    EXPECT_EQ(p.Text(), text.substr(0, 40) + k40Blanks);
    ClearLine();
}

TEST(ProgressLine, ClearAfterInitWritesNothing) {
    CapturedProgress p;
    InitIFLibG();
    ClearLine();
    EXPECT_EQ(p.Text(), "");
}

TEST(ProgressLine, ConcurrentRedrawsNeverInterleave) {
    CapturedProgress p;
    InitIFLibG();
#pragma omp parallel for num_threads(4)
    for (int i = 0; i < 4000; i++) {
        char text[40];
        snprintf(text, sizeof text, "Iteration: %d", i);
        HandleEventInfoWhere2(text);
        if (i % 400 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(6));
    }
    ClearLine();
    // Every draw is a whole 80-column line, preceded by 80 backspaces except
    // the first; the clear adds 80 backspaces.
    std::string s = p.Text();
    size_t pos = 0, draws = 0;
    while (pos < s.size()) {
        if (s[pos] == '\b') {
            size_t run = s.find_first_not_of('\b', pos) == std::string::npos ? s.size() - pos
                                                                              : s.find_first_not_of('\b', pos) - pos;
            EXPECT_EQ(run, 80u);
            pos += run;
        } else {
            ASSERT_LE(pos + 80, s.size());
            EXPECT_EQ(s.substr(pos + 40, 40), k40Blanks);
            pos += 80;
            draws++;
        }
    }
    EXPECT_GE(draws, 1u);
}

TEST(Processors, TeamSizeFollowsThePreference) {
    const int procs = omp_get_num_procs();
    InitMultiprocessing(3);
    EXPECT_EQ(NumberOfThreads(), procs < 3 ? procs : 3);
    EXPECT_EQ(omp_get_max_threads(), NumberOfThreads());
    InitMultiprocessing(0);
    EXPECT_EQ(NumberOfThreads(), procs);
    EXPECT_EQ(omp_get_max_threads(), procs);
    // More threads than processors is never asked for.
    InitMultiprocessing(2147483647);
    EXPECT_EQ(NumberOfThreads(), procs);
    // A loop nested inside a parallel loop runs on its calling thread alone.
    int inner = 0;
#pragma omp parallel num_threads(2)
    {
#pragma omp parallel
        {
#pragma omp single
            {
#pragma omp atomic write
                inner = omp_get_num_threads();
            }
        }
    }
    EXPECT_EQ(inner, 1);
}

TEST(Clocks, StopwatchAndTimeStamp) {
    double start = difftime_Clock_Init();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    double elapsed = difftime_Clock(start);
    EXPECT_GE(elapsed, 0.015);
    EXPECT_LT(elapsed, 5.0);

    FILE* f = tmpfile();
    TimeStamp(f);
    rewind(f);
    char buffer[64] = {0};
    ASSERT_NE(fgets(buffer, sizeof buffer, f), nullptr);
    fclose(f);
    EXPECT_EQ(std::string(buffer).size(), 25u);  // "Www Mmm dd hh:mm:ss yyyy\n"
    EXPECT_EQ(buffer[24], '\n');
}

// Runs call with the standard input reading text; what call leaves unread
// is dropped.
template <class F>
void WithStdin(const std::string& text, F&& call) {
    FILE* t = tmpfile();
    fputs(text.c_str(), t);
    rewind(t);
    const int saved = dup(STDIN_FILENO);
    dup2(fileno(t), STDIN_FILENO);
    clearerr(stdin);
    call();
    __fpurge(stdin);
    dup2(saved, STDIN_FILENO);
    close(saved);
    clearerr(stdin);
    fclose(t);
}

TEST(Console, WaitAndTheProgressLineForms) {
    // Wait reads up to the first control character and leaves it there; at
    // the end of the input it returns.
    int next = 0;
    WithStdin("any text\nmore", [&] {
        Wait();
        next = getchar();
    });
    EXPECT_EQ(next, '\n');
    WithStdin("no end of line", [] { Wait(); });
    CapturedProgress p;
    ClearLineLength(3);
    EXPECT_EQ(p.Text(), "\b\b\b");
    EXPECT_EQ(GetNumberActiveProcessors(), 1);
}

TEST(Console, DataFileNameIsAskedUntilAFileOpens) {
    char name[160] = "";
    FILE* f = nullptr;
    char existing[] = "/tmp/tevlan_nameXXXXXX";
    close(mkstemp(existing));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    WithStdin("no-such-file.txt\n" + std::string(existing) + "\n", [&] { f = ReadDataFileName(name); });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Enter data file name: \aEnter data file name: ");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("can't open no-such-file.txt"), std::string::npos);
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(std::string(name), existing);
    unlink(existing);
    // An input that ends before a file opens ends the program's way.
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int code = 0;
    WithStdin("no-such-file.txt\n", [&] { code = ThrownCode([&] { ReadDataFileName(name); }); });
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 2);
}

}  // namespace
