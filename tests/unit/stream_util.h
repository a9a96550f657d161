// In-memory input streams for the unit tests of the readers.
#ifndef TEST_STREAM_UTIL_H
#define TEST_STREAM_UTIL_H

#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "iflibG.h"

// A read-only stream over a copy of text; close with fclose.
class TextStream {
public:
    explicit TextStream(const std::string& text) : buffer_(text) {
        f_ = buffer_.empty() ? fopen("/dev/null", "r")
                             : fmemopen(&buffer_[0], buffer_.size(), "r");
    }
    ~TextStream() {
        if (f_) fclose(f_);
    }
    TextStream(const TextStream&) = delete;
    TextStream& operator=(const TextStream&) = delete;
    FILE* get() const { return f_; }
    operator FILE*() const { return f_; }

private:
    std::string buffer_;
    FILE* f_;
};

// What a printer wrote to an in-memory stream.
template <class F>
std::string Printed(F&& print) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&buffer, &size);
    print(f);
    fclose(f);
    std::string s(buffer, size);
    free(buffer);
    return s;
}

// The whole of a file ("" when it cannot be read).
inline std::string Slurp(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return "";
    std::string s;
    char buf[4096];
    size_t k;
    while ((k = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, k);
    fclose(f);
    return s;
}

// While it lives, the progress line goes to /dev/null instead of the
// test's output; it is cleared at the end.
class QuietProgress {
public:
    QuietProgress() : f_(fopen("/dev/null", "w")) { SetProgressStream(f_); }
    ~QuietProgress() {
        ClearLine();
        SetProgressStream(nullptr);
        if (f_) fclose(f_);
    }
    QuietProgress(const QuietProgress&) = delete;
    QuietProgress& operator=(const QuietProgress&) = delete;

private:
    FILE* f_;
};

// While it lives, no regular file grows beyond `bytes`: a write past that
// fails as on a full disc (the signal that would end the process instead is
// ignored). A file `bytes` long already takes no further byte.
class FullDisc {
public:
    explicit FullDisc(long bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = saved_;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FullDisc() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }
    FullDisc(const FullDisc&) = delete;
    FullDisc& operator=(const FullDisc&) = delete;

private:
    struct rlimit saved_;
    void (*previous_)(int);
};

// The number of occurrences of needle in text.
inline int Count(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t p = text.find(needle); p != std::string::npos; p = text.find(needle, p + needle.size())) n++;
    return n;
}

// The error code thrown by f, or 0 when it returned normally.
template <class F>
int ThrownCode(F&& f) {
    try {
        f();
    } catch (int code) {
        return code;
    }
    return 0;
}

#endif
