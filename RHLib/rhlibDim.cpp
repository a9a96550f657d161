#include "rhlibDim.h"

#include "iflibG.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

namespace {

void Bell() {
    fputc(7, stdout);
    fflush(stdout);
}

// Waits for RETURN on the standard input, but never beyond its end.
void WaitReturn() {
    int c;
    while ((c = getchar()) != EOF && c != '\n') {
    }
}

[[noreturn]] void OutOfMemory() {
    // Several threads may run out at once: one message, one exit.
    static std::mutex m;
    m.lock();
    fputs("\nOUT OF MEMORY !!!\n", stderr);
    fputs("\nPress RETURN to exit.\n", stderr);
    fputc(7, stderr);
    fflush(stderr);
    fflush(stdout);
    WaitReturn();
    std::_Exit(1);
}

[[noreturn]] void EndOfStream(const char* sourceName, bool bell) {
    fprintf(stderr, "\nfile %s ", sourceName ? sourceName : "");
    if (bell) Bell();
    throw 2;
}

// A number read where characters that are no number are passed over; each
// run of them is named on the standard error stream.
int ReadNumberNamingSkips(FILE* stream, double* destination, const char* sourceName);

}  // namespace

// ---------------------------------------------------------------------------
// Arrays
// ---------------------------------------------------------------------------

void* dim1DUnfilled(unsigned long long size, int n) {
    // A negative count or a byte count that overflows can never be satisfied:
    // it takes the out-of-memory path without asking the allocator.
    long long count = n;
    if (count < 0 || (size != 0 && static_cast<unsigned long long>(count) > SIZE_MAX / size))
        OutOfMemory();
    size_t bytes = static_cast<size_t>(count) * static_cast<size_t>(size);
    try {
        return new char[bytes == 0 ? 1 : bytes];
    } catch (const std::bad_alloc&) {
        OutOfMemory();
    }
}

void* dim1D_Clear(int n, unsigned long long size) {
    void* p = dim1DUnfilled(size, n);
    size_t bytes = static_cast<size_t>(size) * static_cast<size_t>(n);  // no overflow: allocated
    std::memset(p, 0, bytes == 0 ? 1 : bytes);
    return p;
}

void* dim1D(unsigned long long size, int n) {
    void* p = dim1D_Clear(n, size);
    if (p == nullptr) {
        Bell();
        throw 1;
    }
    return p;
}

void** dim2D(unsigned long long size, int rows, int cols) {
    void** m = static_cast<void**>(dim1D(sizeof(void*), rows));
    for (int i = 0; i < rows; i++) m[i] = dim1D(size, cols);
    return m;
}

void*** dim3D(unsigned long long size, int a, int b, int c) {
    void*** m = static_cast<void***>(dim1D(sizeof(void*), a));
    for (int i = 0; i < a; i++) m[i] = dim2D(size, b, c);
    return m;
}

void**** dim4D(unsigned long long size, int a, int b, int c, int d) {
    void**** m = static_cast<void****>(dim1D(sizeof(void*), a));
    for (int i = 0; i < a; i++) m[i] = dim3D(size, b, c, d);
    return m;
}

void***** dim5D(unsigned long long size, int a, int b, int c, int d, int e) {
    void***** m = static_cast<void*****>(dim1D(sizeof(void*), a));
    for (int i = 0; i < a; i++) m[i] = dim4D(size, b, c, d, e);
    return m;
}

void free1D(void* p) { delete[] static_cast<char*>(p); }

void free2D(void** p, int rows) {
    if (!p) return;
    for (int i = 0; i < rows; i++) free1D(p[i]);
    free1D(p);
}

void free3D(void*** p, int a, int b) {
    if (!p) return;
    for (int i = 0; i < a; i++) free2D(p[i], b);
    free1D(p);
}

void free4D(void**** p, int a, int b, int c) {
    if (!p) return;
    for (int i = 0; i < a; i++) free3D(p[i], b, c);
    free1D(p);
}

void free5D(void***** p, int a, int b, int c, int d) {
    if (!p) return;
    for (int i = 0; i < a; i++) free4D(p[i], b, c, d);
    free1D(p);
}

// ---------------------------------------------------------------------------
// Validated input
// ---------------------------------------------------------------------------

bool StreamEnded(FILE* stream) { return stream == nullptr || feof(stream) || ferror(stream); }

int ScanChar(FILE* stream, const char* accepted, const char* sourceName) {
    const bool hasList = accepted && *accepted;
    for (;;) {
        if (StreamEnded(stream)) EndOfStream(sourceName, false);
        int c = getc(stream);
        if (c == EOF) EndOfStream(sourceName, false);
        c = tolower(c);
        if (hasList) {
            if (c != ' ')
                for (const char* p = accepted; *p; ++p)
                    if (*p != ' ' && tolower(static_cast<unsigned char>(*p)) == c) {
                        // A word typed for a key ("yes") gives its first
                        // letter; the rest stays for the next answer, which
                        // a user could not guess without a word.
                        const int next = getc(stream);
                        if (next != EOF) ungetc(next, stream);
                        if (next != EOF && isgraph(next)) {
                            fflush(stdout);
                            fprintf(stderr, "Only \"%c\" was taken; what follows it is read as the next answer.\n",
                                    c);
                        }
                        return c;
                    }
            // Line ends, tabs and the like are passed over; a NUL byte is no
            // key of any script or keyboard and is refused like a wrong key,
            // so that a file of NULs taken as a script says so.
            if ((iscntrl(c) && c != '\0') || c == ' ') continue;
            Bell();
            fprintf(stderr, "\nIncorrect input = %c. Reenter.\n", c);
            fprintf(stderr, "Accepted input: %s\n", accepted);
        } else {
            if (c == '\t' || c == '\n' || c == ' ') continue;
            return c;
        }
    }
}

namespace {

// True when x equals one of the numbers of a blank-separated list. The list is
// walked with its end pointer checked, so a trailing blank or a stray entry
// ends the walk instead of matching anything.
bool InNumberList(const char* list, double x) {
    const char* p = list;
    for (;;) {
        while (*p == ' ') ++p;
        if (*p == '\0') return false;
        char* end = nullptr;
        double v = strtod(p, &end);
        if (end == p) return false;
        if (v == x) return true;
        p = end;
    }
}

double ScanNumberLoop(FILE* stream, const char* sourceName, const char* spec, bool isRange,
                      double lowest, double highest) {
    for (;;) {
        double x;
        if (!ReadNumberNamingSkips(stream, &x, sourceName)) {
            Bell();
            throw 2;
        }
        bool ok = !std::isfinite(x)         ? false
                  : (!isRange && *spec == '\0') ? true
                  : isRange                    ? (lowest <= x && x <= highest)
                                               : InNumberList(spec, x);
        if (ok) return x;
        Bell();
        fprintf(stderr, "\nIncorrect input = %g. Reenter.\n", x);
        if (isRange)
            fprintf(stderr, "Accepted input: %g to %g\n", lowest, highest);
        else if (*spec != '\0')
            fprintf(stderr, "Accepted input: %s\n", spec);
    }
}

}  // namespace

double ScanNumber(FILE* stream, const char* sourceName, const char* spec) {
    if (spec == nullptr) {
        double x;
        freadck(stream, "%lf", &x, sourceName);
        return x;
    }
    assert(spec[0] != '-' && "a range needs its bounds");
    return ScanNumberLoop(stream, sourceName, spec, false, 0, 0);
}

double ScanNumber(FILE* stream, const char* sourceName, const char* spec, double lowest,
                  double highest) {
    (void)spec;
    return ScanNumberLoop(stream, sourceName, "-", true, lowest, highest);
}

// ---------------------------------------------------------------------------
// Sizes against memory
// ---------------------------------------------------------------------------

bool ReadSmallFile(const char* path, char* text, size_t capacity) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    size_t got = 0;
    for (ssize_t k; got + 1 < capacity && (k = read(fd, text + got, capacity - 1 - got)) > 0;)
        got += static_cast<size_t>(k);
    close(fd);
    text[got] = '\0';
    return got > 0;
}

namespace {

constexpr double kMB = 1048576.0;
const double kNoLimit = std::numeric_limits<double>::infinity();

// The whole number that follows the first occurrence of key in text, or
// fallback when there is none.
double NumberAfter(const char* text, const char* key, double fallback) {
    const char* p = strstr(text, key);
    if (!p) return fallback;
    p += strlen(key);
    while (*p == ' ' || *p == '\t') p++;
    if (!isdigit(static_cast<unsigned char>(*p))) return fallback;
    double x = 0;
    for (; isdigit(static_cast<unsigned char>(*p)); p++) x = x * 10 + (*p - '0');
    return x;
}

double Limit(int resource) {
    struct rlimit limit;
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kNoLimit;
    return static_cast<double>(limit.rlim_cur);
}

// The linear-algebra library's buffer, one for each thread of its team, and
// one more for each thread that calls it: 128 MB in the x86-64 builds.
constexpr double kBlasBuffer = 128 * kMB;
// The memory allocator's arena of a thread: 64 MB of address space.
constexpr double kArena = 64 * kMB;
// Beside its stack, each thread takes a few MB of its own (thread-local
// storage, the runtime's records): about 2.3 MB seen, rounded up.
constexpr double kThreadOwn = 4 * kMB;
// A team of one may take all the room but this much, left for the data.
constexpr double kLeastData = 64 * kMB;

}  // namespace

MemoryState ReadMemoryState() {
    MemoryState s;
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
    // Where the platform cannot tell, 2 GB (a budget of 1 GB): little enough
    // for any machine that runs the program at all.
    s.physical = pages > 0 && pageSize > 0 ? static_cast<double>(pages) * static_cast<double>(pageSize) : 2147483648.0;
    // A container may hold the program to less than the machine has; beyond
    // its limit the program is killed, not refused an allocation. Its limit
    // reads "max" or a number beyond the machine when there is none.
    s.container = kNoLimit;
    char text[4096];
    for (const char* limit : {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"})
        if (ReadSmallFile(limit, text, sizeof text)) {
            const double x = NumberAfter(text, "", 0);
            if (x > 0) s.container = std::min(s.container, x);
        }
    s.addressSpace = Limit(RLIMIT_AS);
    s.dataSegment = Limit(RLIMIT_DATA);
    // A thread's stack is as large as the limit on the main one; without a
    // limit the C library gives 8 MB, taken as 32 to be safe.
    const double stack = Limit(RLIMIT_STACK);
    s.threadStack = stack < 1024 * kMB ? stack : 32 * kMB;
    s.resident = s.reserved = s.data = 0;
    if (ReadSmallFile("/proc/self/status", text, sizeof text)) {
        s.resident = NumberAfter(text, "VmRSS:", 0) * 1024;
        s.reserved = NumberAfter(text, "VmSize:", 0) * 1024;
        s.data = NumberAfter(text, "VmData:", 0) * 1024;
    }
    return s;
}

double TeamAtStart(int threads) { return std::max(threads, 1) * kBlasBuffer; }

double TeamAsItWorks(const MemoryState& s, int threads, bool addressSpace) {
    const int t = std::max(threads, 1);
    return t * kBlasBuffer + (t - 1) * (s.threadStack + kThreadOwn + (addressSpace ? kArena : 0));
}

int TeamWithinLimits(const MemoryState& s, int processors) {
    const double roomAS = s.addressSpace - s.reserved, roomData = s.dataSegment - s.data;
    auto fits = [&](int t, double share) {
        const double asked = TeamAtStart(t);
        return asked + TeamAsItWorks(s, t, true) <= share * roomAS &&
               asked + TeamAsItWorks(s, t, false) <= share * roomData;
    };
    int t = std::max(processors, 1);
    while (t > 0 && !fits(t, 0.5)) t--;
    if (t == 0) {
        const double asked = TeamAtStart(1) + TeamAsItWorks(s, 1, true) + kLeastData;
        if (asked <= roomAS && asked <= roomData) t = 1;
    }
    return t;
}

double LeastLimitForOneThread(const MemoryState& s, bool addressSpace) {
    return (addressSpace ? s.reserved : s.data) + TeamAtStart(1) + TeamAsItWorks(s, 1, addressSpace) + kLeastData;
}

double RoomUnderLimit(const MemoryState& s, int threads, bool addressSpace) {
    return (addressSpace ? s.addressSpace - s.reserved : s.dataSegment - s.data) -
           TeamAsItWorks(s, threads, addressSpace);
}

double MemoryBudget(const MemoryState& s, int team) {
    double room = std::min(s.physical, s.container) - s.resident;
    room = std::min(room, RoomUnderLimit(s, team, true));
    room = std::min(room, RoomUnderLimit(s, team, false));
    return std::max(room, 0.0) / 2;
}

double MemoryBudget() { return MemoryBudget(ReadMemoryState(), TeamLimit()); }

namespace {

bool Within(double bytes, double budget) { return bytes >= 0 && bytes <= budget; }

// LargestThatFits against a budget already read.
double LargestWithin(double budget, double lowest, double highest, const std::function<double(double)>& bytes) {
    auto fits = [&](double x) { return Within(bytes(x), budget); };
    if (!fits(lowest)) return lowest - 1;
    if (fits(highest)) return highest;
    // bytes(lo) fits, bytes(hi) does not.
    double lo = lowest, hi = highest;
    while (hi - lo > 1) {
        const double mid = std::floor(lo + (hi - lo) / 2);
        (fits(mid) ? lo : hi) = mid;
    }
    return lo;
}

}  // namespace

bool FitsInMemory(double bytes) { return Within(bytes, MemoryBudget()); }

double LargestThatFits(double lowest, double highest, const std::function<double(double)>& bytes) {
    return LargestWithin(MemoryBudget(), lowest, highest, bytes);
}

double ScanSize(FILE* stream, const char* sourceName, double lowest, double highest,
                const std::function<double(double)>& bytes) {
    return ScanNumber(stream, sourceName, "-", lowest, std::max(lowest, LargestThatFits(lowest, highest, bytes)));
}

bool WorkFits(bool english, double count, const std::function<double(double)>& bytes, const char* workEnglish,
              const char* workPortuguese, const char* itemsEnglish, const char* itemsPortuguese) {
    // One reading of the budget, so that the message's figures agree.
    const double asked = bytes(count), budget = MemoryBudget();
    if (Within(asked, budget)) return true;
    const double largest = LargestWithin(budget, 0, count, bytes);
    fflush(stdout);
    fprintf(stderr,
            english ? "\nNot enough memory: %s of %.0f %s needs %.0f MB, and %.0f MB are free for it"
                    : "\nMemoria insuficiente: %s de %.0f %s precisa de %.0f MB, e ha %.0f MB livres para isso",
            english ? workEnglish : workPortuguese, count, english ? itemsEnglish : itemsPortuguese,
            std::ceil(asked / kMB), std::floor(budget / kMB));
    if (largest >= 1)
        fprintf(stderr, english ? ", enough for at most %.0f %s" : ", o suficiente para no maximo %.0f %s", largest,
                english ? itemsEnglish : itemsPortuguese);
    fprintf(stderr, "%s", english ? ". Nothing was changed.\n" : ". Nada foi alterado.\n");
    fflush(stderr);
    Bell();
    return false;
}

char* ScanString(FILE* stream, int maxLength, char* word, const char* accepted, int caseSensitive,
                 const char* sourceName) {
    // A caller that asks again after the end gets the end-of-file error,
    // never an endless series of empty answers.
    if (StreamEnded(stream)) EndOfStream(sourceName, false);
    char buffer[256];
    if (!freadck1(stream, "%s", buffer, sizeof buffer, sourceName)) return nullptr;
    if (maxLength < 0) maxLength = 0;
    strncpy(word, buffer, static_cast<size_t>(maxLength));
    word[maxLength] = '\0';
    trimString(word);
    if (accepted == nullptr || *accepted == '\0') return word;

    const char* p = accepted;
    for (;;) {
        const char* slash = strchr(p, '/');
        size_t len = slash ? static_cast<size_t>(slash - p) : strlen(p);
        std::string alternative(p, len);
        bool equal = caseSensitive ? alternative == word : StrCmp(alternative.c_str(), word) == 0;
        if (equal) return word;
        if (!slash) break;
        p = slash + 1;
    }
    Bell();
    fprintf(stderr, "\nIncorrect input = %s. Reenter.\n", word);
    fprintf(stderr, "Accepted input: %s\n", accepted);
    word[0] = '\0';
    return nullptr;
}

namespace {

enum class Scan { Ok, Mismatch, End };

template <class T>
Scan ScanOne(FILE* stream, const char* format, T* destination, bool finiteOnly) {
    T value{};
    int k = fscanf(stream, format, &value);
    if (k == EOF) return Scan::End;
    if (k != 1) return Scan::Mismatch;
    if constexpr (std::is_floating_point<T>::value) {
        // "nan", "inf" and numbers too large for a double are no answer to
        // a strict read.
        if (finiteOnly && !std::isfinite(value)) return Scan::Mismatch;
    }
    *destination = value;
    return Scan::Ok;
}

// Reads one whitespace-delimited word, keeping at most capacity - 1 characters
// and dropping the rest of the word.
Scan ScanWord(FILE* stream, char* destination, size_t capacity) {
    int c;
    do {
        c = getc(stream);
    } while (c != EOF && isspace(c));
    if (c == EOF) return Scan::End;
    size_t k = 0;
    while (c != EOF && !isspace(c)) {
        if (k + 1 < capacity) destination[k++] = static_cast<char>(c);
        c = getc(stream);
    }
    if (c != EOF) ungetc(c, stream);
    if (capacity > 0) destination[k] = '\0';
    return Scan::Ok;
}

template <class T>
int Freadck(FILE* stream, const char* format, T* destination, const char* sourceName) {
    if (!StreamEnded(stream) && ScanOne(stream, format, destination, true) == Scan::Ok) return 1;
    EndOfStream(sourceName, true);
}

int ReportEnd(const char* sourceName) {
    fprintf(stderr, "\nEnd of file %s\n", sourceName ? sourceName : "");
    Bell();
    return 0;
}

template <class T>
int Freadck1(FILE* stream, const char* format, T* destination, const char* sourceName) {
    if (StreamEnded(stream)) return ReportEnd(sourceName);
    // A field read as a number that is not finite ("nan", "inf", 1e999) is
    // returned as it is: passing over it would silently shift every later
    // value of a table, so the caller decides what to do with it.
    for (;;) {
        Scan s = ScanOne(stream, format, destination, false);
        if (s == Scan::Ok) return 1;
        if (s == Scan::End) return ReportEnd(sourceName);
        // Pass over the character that does not match and scan again.
        if (getc(stream) == EOF) return ReportEnd(sourceName);
    }
}

}  // namespace

int freadck(FILE* s, const char* f, double* d, const char* n) { return Freadck(s, f, d, n); }
int freadck(FILE* s, const char* f, float* d, const char* n) { return Freadck(s, f, d, n); }
int freadck(FILE* s, const char* f, int* d, const char* n) { return Freadck(s, f, d, n); }
int freadck(FILE* s, const char* f, long* d, const char* n) { return Freadck(s, f, d, n); }

int freadck(FILE* stream, const char* format, char* destination, size_t capacity,
            const char* sourceName) {
    (void)format;
    if (!StreamEnded(stream) && ScanWord(stream, destination, capacity) == Scan::Ok) return 1;
    EndOfStream(sourceName, true);
}

int freadck1(FILE* s, const char* f, double* d, const char* n) { return Freadck1(s, f, d, n); }
int freadck1(FILE* s, const char* f, float* d, const char* n) { return Freadck1(s, f, d, n); }
int freadck1(FILE* s, const char* f, int* d, const char* n) { return Freadck1(s, f, d, n); }
int freadck1(FILE* s, const char* f, long* d, const char* n) { return Freadck1(s, f, d, n); }

int freadck1(FILE* stream, const char* format, char* destination, size_t capacity,
             const char* sourceName) {
    (void)format;
    if (StreamEnded(stream)) return ReportEnd(sourceName);
    if (ScanWord(stream, destination, capacity) == Scan::Ok) return 1;
    return ReportEnd(sourceName);
}

namespace {

// The longest field that can still be a number; a longer one is refused
// whole (it is read to its end all the same, so the next field starts right).
constexpr size_t kLongestNumber = 256;

// Copies the field as it will be shown in a message: bytes that are not
// printable become '?', and a field cut to the room given ends in "...".
void ShowToken(const char* raw, size_t length, bool longer, char* token, size_t capacity) {
    if (capacity == 0) return;
    size_t room = capacity - 1;
    bool cut = longer || length > room;
    size_t keep = cut ? (room > 3 ? room - 3 : 0) : length;
    if (keep > length) keep = length;
    size_t k = 0;
    for (; k < keep; k++) {
        unsigned char c = static_cast<unsigned char>(raw[k]);
        token[k] = (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
    }
    if (cut)
        for (int d = 0; d < 3 && k < room; d++) token[k++] = '.';
    token[k] = '\0';
}

// White space of the C locale, the program's, without a call per character
// (a table of 900,000 values is read a character at a time).
inline bool Blank(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Whether text (lower case) begins one of the words the number conversion
// reads as a value that is not finite, or is one of them whole.
bool BeginsNonFinite(const std::string& text) {
    return std::string("infinity").compare(0, text.size(), text) == 0 ||
           std::string("nan").compare(0, text.size(), text) == 0;
}
bool IsNonFinite(const std::string& text) { return text == "inf" || text == "infinity" || text == "nan"; }

// Keeps freadck1's way of passing over what is no number, a character at a
// time (so "1o00" still gives 1, then 0), and names each run passed over
// once it ends at a blank or at the number that follows it. The conversion
// sees only text that begins with a digit or a point: given a word such as
// "NA", the C library's went on past the blank and took the start of the
// next answer with it ("NA 20" gave 0), and what it took could not be named.
int ReadNumberNamingSkips(FILE* stream, double* destination, const char* sourceName) {
    if (StreamEnded(stream)) return ReportEnd(sourceName);
    constexpr size_t kShownLength = 40;
    std::string passed;
    bool longer = false;
    auto keep = [&](int c) {
        if (passed.size() < kShownLength)
            passed += static_cast<char>(c);
        else
            longer = true;
    };
    auto name = [&] {
        if (passed.empty() && !longer) return;
        char shown[kShownLength + 4];
        ShowToken(passed.data(), passed.size(), longer, shown, sizeof shown);
        fflush(stdout);
        fprintf(stderr, "Ignored \"%s\": a number is expected.\n", shown);
        passed.clear();
        longer = false;
    };
    // The run passed over is named when a blank or the end follows it.
    auto nameAtBlank = [&] {
        const int next = getc(stream);
        if (next == EOF || Blank(next)) name();
        if (next != EOF) ungetc(next, stream);
    };
    for (;;) {
        int c;
        do {
            c = getc(stream);
        } while (c != EOF && Blank(c));
        const int sign = c == '+' || c == '-' ? c : 0;
        if (sign) c = getc(stream);
        if (c != EOF && (isdigit(c) || c == '.')) {
            ungetc(c, stream);
            double x;
            if (ScanOne(stream, "%lf", &x, false) == Scan::Ok) {
                name();
                *destination = sign == '-' ? -x : x;
                return 1;
            }
            // The point, or a hexadecimal prefix, was taken and refused.
            if (sign) keep(sign);
            keep(c);
            nameAtBlank();
            continue;
        }
        if (c != EOF && BeginsNonFinite(std::string(1, static_cast<char>(tolower(c))))) {
            // "inf", "infinity" or "nan", read as far as the word goes on.
            std::string word(1, static_cast<char>(c)), lower(1, static_cast<char>(tolower(c)));
            for (int d = getc(stream); d != EOF; d = getc(stream)) {
                if (!BeginsNonFinite(lower + static_cast<char>(tolower(d)))) {
                    ungetc(d, stream);
                    break;
                }
                word += static_cast<char>(d);
                lower += static_cast<char>(tolower(d));
            }
            if (IsNonFinite(lower)) {
                name();
                const double value = lower == "nan" ? std::numeric_limits<double>::quiet_NaN() : HUGE_VAL;
                *destination = sign == '-' ? -value : value;
                return 1;
            }
            if (sign) keep(sign);
            for (char w : word) keep(w);
            nameAtBlank();
            continue;
        }
        if (sign) keep(sign);
        if (c == EOF) {
            name();
            return ReportEnd(sourceName);
        }
        if (Blank(c)) {
            name();
            continue;
        }
        keep(c);
        nameAtBlank();
    }
}

}  // namespace

bool WholeNumber(const char* text, size_t length, double* x) {
    if (length == 0) return false;
    // Plain decimals, nearly every field of a table, are read by from_chars,
    // several times faster than strtod and to the same correctly rounded
    // double; what it does not read whole (a '+' sign, hexadecimal, a value
    // out of range) is left to strtod.
    double v;
    const std::from_chars_result r = std::from_chars(text, text + length, v);
    if (r.ec == std::errc() && r.ptr == text + length) {
        *x = v;
        return true;
    }
    char* end = nullptr;
    v = strtod(text, &end);
    if (end != text + length) return false;
    *x = v;
    return true;
}

int ReadNumberToken(FILE* stream, double* destination, char* token, size_t capacity,
                    const char* sourceName, LinePosition* position) {
    if (capacity > 0) token[0] = '\0';
    if (StreamEnded(stream)) return ReportEnd(sourceName);
    // The stream is read by this thread alone: the locking getc would
    // cost a good part of reading a large table.
    int c;
    do {
        c = getc_unlocked(stream);
        if (c == '\n' && position) position->line++;
    } while (c != EOF && Blank(c));
    if (c == EOF) return ReportEnd(sourceName);
    if (position) position->fieldLine = position->line;
    char raw[kLongestNumber + 1];
    size_t length = 0;
    bool longer = false;
    // The blank that ends the field is taken with it: every reader passes
    // over blanks before its next field.
    while (c != EOF && !Blank(c)) {
        if (length < kLongestNumber)
            raw[length++] = static_cast<char>(c);
        else
            longer = true;
        c = getc_unlocked(stream);
    }
    if (c == '\n' && position) position->line++;
    raw[length] = '\0';

    if (!longer) {
        // One separator at the end of the field is not part of the number.
        size_t numberLength = length;
        if (numberLength > 1 && (raw[numberLength - 1] == ',' || raw[numberLength - 1] == ';')) numberLength--;
        const char kept = raw[numberLength];
        raw[numberLength] = '\0';
        double x = 0;
        // Read whole: the conversion must stop at the end of the field, which
        // also refuses a field holding a NUL byte (the text ends there).
        const bool whole = WholeNumber(raw, numberLength, &x);
        raw[numberLength] = kept;
        if (whole && std::isfinite(x)) {
            *destination = x;
            return tokenNumber;
        }
    }
    ShowToken(raw, length, longer, token, capacity);
    return tokenNotNumber;
}

long long FieldsLeft(FILE* stream) {
    long long fields = 0;
    bool inField = false;
    for (int c; (c = getc_unlocked(stream)) != EOF;) {
        const bool blank = Blank(c);
        if (!blank && !inField) fields++;
        inField = !blank;
    }
    return fields;
}

void NotANumberMessage(FILE* stream, bool english, const char* fileName, const char* place,
                       const char* token) {
    fprintf(stream,
            english ? "\nFile %s was not read: the value for %s is \"%s\", which is not a number.\n"
                    : "\nO arquivo %s nao foi lido: o valor para %s e \"%s\", que nao e um numero.\n",
            fileName, place, token);
    // A decimal comma (1,5) is the common cause where spreadsheets write
    // numbers the Portuguese way.
    bool comma = false;
    for (size_t k = 1; token[k] && token[k + 1] && !comma; k++)
        comma = token[k] == ',' && isdigit(static_cast<unsigned char>(token[k - 1])) &&
                isdigit(static_cast<unsigned char>(token[k + 1]));
    if (comma)
        fprintf(stream, "%s",
                english ? "Decimals are written with a point: 1.5, not 1,5.\n"
                        : "Decimais sao escritos com ponto: 1.5, e nao 1,5.\n");
}

double MostNumbersIn(FILE* f) {
    const long here = ftell(f);
    if (here < 0 || fseek(f, 0, SEEK_END) != 0) return 0;
    const long size = ftell(f);
    fseek(f, here, SEEK_SET);
    return size < 0 ? 0 : (static_cast<double>(size) + 1) / 2;
}

namespace {

int ReadLine(FILE* stream, int maxLength, char* line, const char* sourceName, bool tabIsBlank) {
    if (StreamEnded(stream)) EndOfStream(sourceName, true);
    int c;
    do {
        c = getc(stream);
    } while (c == ' ' || c == '\t' || c == '\n' || c == '\r');
    if (c == EOF) EndOfStream(sourceName, true);
    int k = 0;
    while (c != EOF && k < maxLength) {
        if (c == '\n' || c == '\r' || (!tabIsBlank && c == '\t')) break;
        line[k++] = static_cast<char>(c == '\t' ? ' ' : c);
        if (k < maxLength) c = getc(stream);
    }
    line[k] = '\0';
    return 1;
}

}  // namespace

int freadlineck(FILE* stream, int maxLength, char* line, const char* sourceName) {
    return ReadLine(stream, maxLength, line, sourceName, false);
}

int freadlineck_Space(FILE* stream, int maxLength, char* line, const char* sourceName) {
    return ReadLine(stream, maxLength, line, sourceName, true);
}

FILE* ReadDataFileName(char* name) {
    for (;;) {
        fprintf(stdout, "Enter data file name: ");
        freadlineck(stdin, 150, name, "input");
        FILE* f = fopenck(name, nullptr, "r");
        if (f) return f;
    }
}

// ---------------------------------------------------------------------------
// Small numeric utilities
// ---------------------------------------------------------------------------

bool AlmostEqual2sComplement(double a, double b, int maxUlps) {
    assert(maxUlps > 0 && maxUlps < 4 * 1024 * 1024);
    float fa = static_cast<float>(a), fb = static_cast<float>(b);
    int32_t ia, ib;
    std::memcpy(&ia, &fa, sizeof ia);
    std::memcpy(&ib, &fb, sizeof ib);
    // Lexicographic images: negative floats are mirrored so that the integer
    // order follows the float order and +0 and -0 coincide.
    if (ia < 0) ia = static_cast<int32_t>(0x80000000u - static_cast<uint32_t>(ia));
    if (ib < 0) ib = static_cast<int32_t>(0x80000000u - static_cast<uint32_t>(ib));
    long long diff = static_cast<long long>(ia) - static_cast<long long>(ib);
    if (diff < 0) diff = -diff;
    return diff <= maxUlps;
}

bool IsLargerThanOrEqual(double a, double b, int maxUlps, bool absolute) {
    if (absolute) {
        a = std::fabs(a);
        b = std::fabs(b);
    }
    if (AlmostEqual2sComplement(a, b, maxUlps)) return true;
    return a > b;
}

bool CountsTowardP(double random, double observed, TieRule rule) {
    if (!std::isfinite(observed)) return false;
    switch (rule) {
        case TieRule::Larger:
            return IsLargerThanOrEqual(random, observed, 1, false);
        case TieRule::LargerAbsolute:
            return IsLargerThanOrEqual(random, observed, 1, true);
        case TieRule::Smaller:
            return IsLargerThanOrEqual(observed, random, 1, false);
    }
    return false;
}

double PermutationP(double count, int nPerm, double observed) {
    if (!std::isfinite(observed) || nPerm < 1) return std::numeric_limits<double>::quiet_NaN();
    return count / nPerm;
}

const char* NotTestableText(bool portuguese) { return portuguese ? "nao testavel" : "not testable"; }

bool AlmostEqual_Tolerance(double a, double b, double tolerance) {
    return std::fabs(a - b) < tolerance;
}

double Fmax(double a, double b) { return a > b ? a : b; }
double Fmin(double a, double b) { return a < b ? a : b; }
int Fmax(int a, int b) { return a >= b ? a : b; }
int Fmin(int a, int b) { return b <= a ? b : a; }

long double Factorial(int n) {
    long double f = 1.0L;
    for (int k = n; k >= 2; k--) f *= k;
    return f;
}

int compareInt(const void* a, const void* b) {
    int x = *static_cast<const int*>(a), y = *static_cast<const int*>(b);
    return (x > y) - (x < y);
}

int compareIntDecreasing(const void* a, const void* b) { return compareInt(b, a); }

int compareDouble(const void* a, const void* b) {
    double x = *static_cast<const double*>(a), y = *static_cast<const double*>(b);
    if (x > y) return 1;
    if (y > x) return -1;
    return 0;
}

int compareDoubleDecreasing(const void* a, const void* b) { return compareDouble(b, a); }

int compareStr(const void* a, const void* b) {
    return strcmp(*static_cast<char* const*>(a), *static_cast<char* const*>(b));
}

namespace {

// The distinct codes (values truncated toward zero) of the non-missing cells,
// in ascending order. Sorting, rather than a tally sized by the largest code,
// keeps any code (negative, huge) inside the arrays.
std::vector<double> DistinctCodes(int n, const double* x) {
    std::vector<double> codes;
    codes.reserve(n > 0 ? static_cast<size_t>(n) : 0);
    for (int i = 0; i < n; i++) {
        if (x[i] == MISSING || std::isnan(x[i])) continue;
        codes.push_back(std::trunc(x[i]));
    }
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    return codes;
}

}  // namespace

int CountStates(int n, const double* x) { return static_cast<int>(DistinctCodes(n, x).size()); }

int CountStates(int n, const double* x, int* states) {
    std::vector<double> codes = DistinctCodes(n, x);
    int k = 0;
    for (double c : codes)
        if (c >= 1 && c <= 2147483647.0) states[k++] = static_cast<int>(c);
    return static_cast<int>(codes.size());
}

int ListStates(int n, const double* x, int* states) {
    std::vector<double> codes = DistinctCodes(n, x);
    if (!codes.empty() && (codes.front() < -2147483648.0 || codes.back() > 2147483647.0)) return -1;
    for (size_t k = 0; k < codes.size(); k++) states[k] = static_cast<int>(codes[k]);
    return static_cast<int>(codes.size());
}

void StrToUpper(char* text) {
    for (; *text; ++text) *text = static_cast<char>(toupper(static_cast<unsigned char>(*text)));
}

int StrCmp(const char* a, const char* b) {
    std::string ua(a), ub(b);
    StrToUpper(&ua[0]);
    StrToUpper(&ub[0]);
    int c = strcmp(ua.c_str(), ub.c_str());
    return (c > 0) - (c < 0);
}

double RoundDigit(double x, int digits) {
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%.*g", digits, x);
    double y = x;
    sscanf(buffer, "%lf", &y);
    return y;
}

void swap(void** array, int i, int j) {
    void* t = array[i];
    array[i] = array[j];
    array[j] = t;
}

char* trimString(char* text) {
    size_t w = 0;
    for (size_t r = 0; text[r]; r++) {
        if (text[r] == ' ' && (text[r + 1] == ' ' || text[r + 1] == '\0')) continue;
        text[w++] = text[r];
    }
    text[w] = '\0';
    return text;
}

void IntToAlpha(int n, char* text) {
    static const char digits[] =
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    int q = n / 62, r = n % 62;
    text[0] = (q >= 0 && q < 62) ? digits[q] : '?';
    text[1] = (r >= 0 && r < 62) ? digits[r] : '?';
}
