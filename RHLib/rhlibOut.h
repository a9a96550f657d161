// Printers of vectors and matrices: aligned, tab-separated and one value a
// line; and a buffered writer of printf's number formats for large reports.
//
// The aligned style writes every number right-aligned in one common width
// ("%*.*g\t") and carries a row that grows beyond maxColsPrint characters on
// to an indented continuation line; the tab style writes "%.*g\t". Every
// printer writes to the stream it is given and leaves it open.
#ifndef RHLIBOUT_H
#define RHLIBOUT_H

#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

// Characters of one aligned line before a row is continued (10000).
extern int maxColsPrint;

// A value as reports print it: a zero without a sign. Negations and products
// leave -0 (-2 x the logarithm of 1, a vector component of 0 turned over),
// which printf writes "-0". Every printer below prints through it, and so
// does every report line that prints a statistic with its own format.
inline double NoNegativeZero(double x) { return x == 0.0 ? 0.0 : x; }

// --- Numbers without printf -------------------------------------------------
// printf's conversions done by std::to_chars: the same bytes for a small part
// of the cost, since printf parses its format again for every number, and a
// report or a session of millions of numbers spent most of its time there.
// Each writes at p, which has kNumberRoom bytes of room, and returns the end
// of what it wrote.
constexpr int kNumberRoom = 32;
// "%lld"
inline char* FormatInt(char* p, long long v) { return std::to_chars(p, p + kNumberRoom, v).ptr; }
// The shortest text that reads back as exactly v ("inf", "nan" as printf).
char* FormatShortest(char* p, double v);

// Text gathered in memory and handed to a stream in large pieces, with the
// numbers written as the printf format named beside each. A width follows
// printf's "*": positive pads on the left (right-aligned), negative on the
// right (left-aligned). A failed write shows where any write to the stream
// shows, in its error flag and at its close: Flush (or the destructor)
// before the stream is closed. Made on one thread of a team (a single
// construct), the text goes on while another thread of the team writes the
// previous piece.
class BufferedText {
public:
    explicit BufferedText(FILE* file);
    ~BufferedText() { Flush(); }
    BufferedText(const BufferedText&) = delete;
    BufferedText& operator=(const BufferedText&) = delete;

    // "%*s"
    BufferedText& Text(std::string_view s, int width = 0) {
        if (width != 0 || s.size() > kCapacity) return Padded(s, width);
        memcpy(Room(s.size()), s.data(), s.size());
        used_ += s.size();
        return *this;
    }
    // "%c"
    BufferedText& Char(char c) {
        *Room(1) = c;
        used_++;
        return *this;
    }
    // "%*lld"
    BufferedText& Int(long long v, int width = 0) {
        if (width != 0) {
            char text[kNumberRoom];
            return Padded({text, static_cast<size_t>(FormatInt(text, v) - text)}, width);
        }
        used_ = static_cast<size_t>(FormatInt(Room(kNumberRoom), v) - buffer_.get());
        return *this;
    }
    // "%*.*g"
    BufferedText& General(double v, int digits = 6, int width = 0);
    // At most `most` bytes (kCapacity or fewer) written straight into the
    // buffer by write(p), which returns the end of what it wrote: for loops
    // of millions of small pieces.
    template <class Write>
    BufferedText& InPlace(size_t most, Write write) {
        used_ = static_cast<size_t>(write(Room(most)) - buffer_.get());
        return *this;
    }
    // Large pieces: every write to a file also stamps its time of change,
    // and a report of tens of megabytes spent a good part of its time there.
    static constexpr size_t kCapacity = size_t{1} << 20;
    // Everything so far in the stream.
    void Flush();

private:
    char* Room(size_t k) {
        if (kCapacity - used_ < k) HandOver();
        return buffer_.get() + used_;
    }
    // The text so far to the stream (a task), the spare buffer in its place.
    void HandOver();
    BufferedText& Padded(std::string_view s, int width);
    FILE* file_;
    std::unique_ptr<char[]> buffer_, spare_;
    size_t used_ = 0;
};

// Largest printed length ("%.*g" at digits) of any entry; the Sqrt forms
// measure the square roots of the entries when squareRoot is non-zero.
int GetWidthMax(int rows, int cols, double** M, int digits);
int GetWidthMax(int rows, int cols, float** M, int digits);
int GetWidthMaxSqrt(int rows, int cols, double** M, int digits, int squareRoot);
int GetWidthMaxSqrt(int rows, int cols, float** M, int digits, int squareRoot);
// Over a vector (the entries selected by the optional 1-based index).
int GetWidthMax(int n, const double* x, int digits, const int* index = nullptr);
int GetWidthMax(int n, const float* x, int digits, const int* index = nullptr);

// Aligned style; width 0 means measured over the matrix. Return the width used.
int PrintMatrix(FILE* file, int rows, int cols, double** M, int digits, int width);
int PrintMatrixFloat(FILE* file, int rows, int cols, float** M, int digits, int width);
int PrintMatrixFloat(FILE* file, int rows, int cols, double** M, int digits, int width);

// Tab style; return 1.
int PrintMatrixTab(FILE* file, int rows, int cols, double** M, int digits);
int PrintMatrixTab(FILE* file, int rows, int cols, float** M, int digits);
int PrintMatrixTab(FILE* file, int rows, int cols, char** M);
int PrintMatrixTab(FILE* file, int rows, int cols, int** M);
int PrintMatrixTab(FILE* file, int rows, int cols, unsigned long** M);
// The transpose: one line per column of M.
int PrintMatrixTab_T(FILE* file, int rows, int cols, double** M, int digits);

// One aligned row; the column counter starts at startColumn (the room already
// used on the line) and a continuation line is indented by startColumn blanks.
// index (1-based positions, optional) selects the entries. Return the width used.
int PrintVector(FILE* file, int n, const double* x, int digits, int width, int startColumn,
                const int* index = nullptr);
int PrintVector(FILE* file, int n, const float* x, int digits, int width, int startColumn,
                const int* index = nullptr);
int PrintVectorTab(FILE* file, int n, const double* x, int digits, const int* index = nullptr);
int PrintVectorTab(FILE* file, int n, const float* x, int digits, const int* index = nullptr);
int PrintVectorTab(FILE* file, int n, const int* x, const int* index = nullptr);

int PrintStringVector(FILE* file, int n, char** labels, int width, int startColumn,
                      const int* index = nullptr);
int PrintStringVectorTab(FILE* file, int n, char** labels, const int* index = nullptr);

// Upper half of a square matrix from offset k (k 0: with the diagonal, k 1:
// above it), aligned, the columns left of the half written as blank fields.
int PrintHalfMatrix(FILE* file, int n, double** M, int k, int digits);
int PrintHalfMatrix(FILE* file, int n, float** M, int k, int digits);
int PrintHalfMatrix(FILE* file, int n, double** M, int k, int digits, int squareRoot);
int PrintHalfMatrix(FILE* file, int n, float** M, int k, int digits, int squareRoot);

// Lower half with the diagonal, aligned; returns the width used.
int PrintLowerHalfMatrix(FILE* file, int n, double** M, int digits, int width);
int PrintLowerHalfMatrix(FILE* file, int n, float** M, int digits, int width);

// The upper half from offset k, one entry a line ("%g\n" for doubles,
// "%.12g\n" for floats): the form the session file stores.
int PrintHalfMatrix_ff(FILE* file, int n, double** M, int k);
int PrintHalfMatrix_ff(FILE* file, int n, float** M, int k);

// Forms without a caller in the interactive program.
int PrintHalfMatrixTab(FILE* file, int n, double** M, int k);
int PrintHalfMatrixTab(FILE* file, int n, float** M, int k);
int PrintHalfMatrixTab(FILE* file, int n, int** M, int k);
int PrintLowerHalfMatrixTab(FILE* file, int n, double** M, int digits);
int PrintLowerHalfMatrixTab(FILE* file, int n, float** M, int digits);
int PrintLowerHalfMatrixTab(FILE* file, int n, int** M);
int PrintNeighborRese(FILE* file, int n, double** M, int digits);
int PrintNeighborRese(FILE* file, int n, float** M, int digits);
int PrintLowerHalfMatrix_ff(FILE* file, int n, double** M, int digits, bool withDiagonal);
int PrintLowerHalfMatrix_ff(FILE* file, int n, float** M, int digits, bool withDiagonal);
int PrintHalfMatrix_row(FILE* file, int n, double** M, int k);
int PrintHalfMatrix_row(FILE* file, int n, float** M, int k);
int PrintHalfMatrix_row(FILE* file, int n, double** M, int k, int squareRoot);
int PrintHalfMatrix_row(FILE* file, int n, float** M, int k, int squareRoot);
// Rewrites each entry in place at its file offset ("% #14e "), storing the
// offset after it back into positions; an entry whose offset cannot be
// reached is skipped.
int PrintVector_bi(FILE* file, int n, const double* x, long* positions);
int PrintVector_bi(FILE* file, int n, const float* x, long* positions);
// The upper half of a square matrix from offset k rewritten in the same way:
// entry (i, j), j >= i + k, at positions[i][j].
int PrintHalfMatrix_bi(FILE* file, int n, double** M, long** positions, int k);
int PrintHalfMatrix_bi(FILE* file, int n, float** M, long** positions, int k);

#endif
