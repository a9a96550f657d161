#include "rhlibOut.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

// Characters of one printed line of the aligned style before a row goes on
// on a continuation line. The program never changes it; it lives with the
// printers so that the library stands on its own.
int maxColsPrint = 10000;

char* FormatShortest(char* p, double v) { return std::to_chars(p, p + kNumberRoom, v).ptr; }

BufferedText::BufferedText(FILE* file) : file_(file), buffer_(new char[kCapacity]) {}

void BufferedText::HandOver() {
    if (used_ == 0) return;
    // The previous piece is written before this one is handed over: the
    // stream gets the pieces in order, and the spare buffer is free.
#pragma omp taskwait
    if (!spare_) spare_.reset(new char[kCapacity]);
    buffer_.swap(spare_);
    const char* text = spare_.get();
    const size_t size = used_;
    FILE* file = file_;
    used_ = 0;
#pragma omp task default(none) firstprivate(text, size, file)
    if (file) fwrite(text, 1, size, file);
}

void BufferedText::Flush() {
    HandOver();
#pragma omp taskwait
}

BufferedText& BufferedText::General(double v, int digits, int width) {
    // std::to_chars with a precision converts as "%.*g" does, to the rounding
    // and the exponent form; a precision too long for the room goes to printf.
    char text[64];
    std::to_chars_result r = std::to_chars(text, text + sizeof text, v, std::chars_format::general, digits);
    if (r.ec == std::errc()) return Text({text, static_cast<size_t>(r.ptr - text)}, width);
    std::string wide(static_cast<size_t>(snprintf(nullptr, 0, "%.*g", digits, v)) + 1, '\0');
    wide.resize(static_cast<size_t>(snprintf(&wide[0], wide.size(), "%.*g", digits, v)));
    return Padded(wide, width);
}

BufferedText& BufferedText::Padded(std::string_view s, int width) {
    const long long field = width < 0 ? -static_cast<long long>(width) : width;
    long long pad = field - static_cast<long long>(s.size());
    auto blanks = [&] {
        for (; pad > 0; pad -= static_cast<long long>(kCapacity)) {
            const size_t k = static_cast<size_t>(std::min<long long>(pad, kCapacity));
            memset(Room(k), ' ', k);
            used_ += k;
        }
    };
    if (width > 0) blanks();
    if (s.size() <= kCapacity) {
        Text(s);
    } else {
        Flush();
        if (file_) fwrite(s.data(), 1, s.size(), file_);
    }
    blanks();
    return *this;
}

namespace {

// Printed length of one value, measured without a buffer so that no
// significant-digits setting can overflow anything.
int Length(double v, int digits) {
    int k = snprintf(nullptr, 0, "%.*g", digits, NoNegativeZero(v));
    return k < 0 ? 0 : k;
}

template <class T>
int WidthOfMatrix(int rows, int cols, T** M, int digits, bool squareRoot) {
    int w = 0;
    for (int i = 0; i < rows; i++)
        for (int j = 0; j < cols; j++) {
            double v = M[i][j];
            if (squareRoot) v = std::sqrt(v);
            int k = Length(v, digits);
            if (k > w) w = k;
        }
    return w;
}

template <class T>
inline double Entry(const T* x, int i, const int* index) {
    return index ? x[index[i] - 1] : x[i];
}

template <class T>
int WidthOfVector(int n, const T* x, int digits, const int* index) {
    int w = 0;
    for (int i = 0; i < n; i++) {
        int k = Length(Entry(x, i, index), digits);
        if (k > w) w = k;
    }
    return w;
}

// The column counter of the aligned style: before each field, a line that
// already exceeds maxColsPrint characters is broken and indented.
class Aligned {
public:
    Aligned(FILE* file, int width, int start, bool tabAfterIndent)
        : file_(file), width_(width), start_(start), tab_(tabAfterIndent), counter_(start) {}
    void Field() {
        if (counter_ > maxColsPrint) {
            if (tab_)
                fprintf(file_, "\n%*s\t", width_, "");
            else
                fprintf(file_, "\n%*s", start_, "");
            counter_ = start_;
        }
        counter_ += width_ + 1;
    }

private:
    FILE* file_;
    int width_, start_;
    bool tab_;
    int counter_;
};

template <class T>
int Matrix(FILE* file, int rows, int cols, T** M, int digits, int width) {
    if (width == 0) width = WidthOfMatrix(rows, cols, M, digits, false);
    for (int i = 0; i < rows; i++) {
        Aligned line(file, width, 0, true);
        for (int j = 0; j < cols; j++) {
            line.Field();
            fprintf(file, "%*.*g\t", width, digits, NoNegativeZero(M[i][j]));
        }
        fprintf(file, "\n");
    }
    return width;
}

template <class T>
int MatrixTab(FILE* file, int rows, int cols, T** M, int digits) {
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++) fprintf(file, "%.*g\t", digits, NoNegativeZero(M[i][j]));
        fprintf(file, "\n");
    }
    return 1;
}

template <class T>
int Vector(FILE* file, int n, const T* x, int digits, int width, int startColumn, const int* index) {
    if (width == 0) width = WidthOfVector(n, x, digits, index);
    Aligned line(file, width, startColumn, false);
    for (int i = 0; i < n; i++) {
        line.Field();
        fprintf(file, "%*.*g\t", width, digits, NoNegativeZero(Entry(x, i, index)));
    }
    fprintf(file, "\n");
    return width;
}

template <class T>
int VectorTab(FILE* file, int n, const T* x, int digits, const int* index) {
    for (int i = 0; i < n; i++) fprintf(file, "%.*g\t", digits, NoNegativeZero(Entry(x, i, index)));
    fprintf(file, "\n");
    return 1;
}

template <class T>
int HalfMatrix(FILE* file, int n, T** M, int k, int digits, bool squareRoot) {
    int width = WidthOfMatrix(n, n, M, digits, squareRoot);
    for (int i = 0; i < n - k; i++) {
        Aligned line(file, width, 0, true);
        for (int j = 0; j < n; j++) {
            line.Field();
            if (j < i + k) {
                fprintf(file, "%*s\t", width, "");
            } else {
                double v = M[i][j];
                if (squareRoot) v = std::sqrt(v);
                fprintf(file, "%*.*g\t", width, digits, NoNegativeZero(v));
            }
        }
        fprintf(file, "\n");
    }
    return 1;
}

template <class T>
int LowerHalf(FILE* file, int n, T** M, int digits, int width) {
    if (width == 0) width = WidthOfMatrix(n, n, M, digits, false);
    for (int i = 0; i < n; i++) {
        Aligned line(file, width, 0, true);
        for (int j = 0; j <= i; j++) {
            line.Field();
            fprintf(file, "%*.*g\t", width, digits, NoNegativeZero(M[i][j]));
        }
        fprintf(file, "\n");
    }
    return width;
}

template <class T>
int HalfTab(FILE* file, int n, T** M, int k) {
    for (int i = 0; i < n - k; i++) {
        for (int j = 0; j < n; j++) fprintf(file, "%g\t", NoNegativeZero(M[i][j]));
        fprintf(file, "\n");
    }
    return 1;
}

template <class T>
int LowerHalfTab(FILE* file, int n, T** M, int digits) {
    for (int i = 0; i < n; i++) {
        for (int j = 0; j <= i; j++) fprintf(file, "%.*g\t", digits, NoNegativeZero(M[i][j]));
        fprintf(file, "\n");
    }
    return 1;
}

template <class T>
int NeighborRese(FILE* file, int n, T** M, int digits) {
    for (int i = 1; i < n; i++) fprintf(file, "%.*g\t", digits, NoNegativeZero(M[i][i - 1]));
    fprintf(file, "\n");
    return 1;
}

template <class T>
int LowerHalf_ff(FILE* file, int n, T** M, int digits, bool withDiagonal) {
    for (int i = 0; i < n; i++) {
        int last = withDiagonal ? i : i - 1;
        for (int j = 0; j <= last; j++) fprintf(file, "%.*g\n", digits, NoNegativeZero(M[i][j]));
    }
    return 1;
}

template <class T>
int HalfRow(FILE* file, int n, T** M, int k, bool squareRoot) {
    for (int i = 0; i < n; i++)
        for (int j = i + k; j < n; j++) {
            double v = M[i][j];
            if (squareRoot) v = std::sqrt(v);
            fprintf(file, "%g\t", NoNegativeZero(v));
        }
    return 1;
}

// One entry rewritten at its file offset; the offset after it is kept for
// the next rewrite. An offset that cannot be reached leaves the entry out.
void AtOffset(FILE* file, double v, long& position) {
    if (fseek(file, position, SEEK_SET) != 0) return;
    fprintf(file, "% #14e ", NoNegativeZero(v));
    position = ftell(file);
}

template <class T>
int VectorBi(FILE* file, int n, const T* x, long* positions) {
    for (int i = 0; i < n; i++) AtOffset(file, static_cast<double>(x[i]), positions[i]);
    return 1;
}

template <class T>
int HalfMatrixBi(FILE* file, int n, T** M, long** positions, int k) {
    for (int i = 0; i < n; i++)
        for (int j = i + k; j < n; j++) AtOffset(file, static_cast<double>(M[i][j]), positions[i][j]);
    return 1;
}

}  // namespace

int GetWidthMax(int rows, int cols, double** M, int digits) {
    return WidthOfMatrix(rows, cols, M, digits, false);
}
int GetWidthMax(int rows, int cols, float** M, int digits) {
    return WidthOfMatrix(rows, cols, M, digits, false);
}
int GetWidthMaxSqrt(int rows, int cols, double** M, int digits, int squareRoot) {
    return WidthOfMatrix(rows, cols, M, digits, squareRoot != 0);
}
int GetWidthMaxSqrt(int rows, int cols, float** M, int digits, int squareRoot) {
    return WidthOfMatrix(rows, cols, M, digits, squareRoot != 0);
}
int GetWidthMax(int n, const double* x, int digits, const int* index) {
    return WidthOfVector(n, x, digits, index);
}
int GetWidthMax(int n, const float* x, int digits, const int* index) {
    return WidthOfVector(n, x, digits, index);
}

int PrintMatrix(FILE* file, int rows, int cols, double** M, int digits, int width) {
    return Matrix(file, rows, cols, M, digits, width);
}
int PrintMatrixFloat(FILE* file, int rows, int cols, float** M, int digits, int width) {
    return Matrix(file, rows, cols, M, digits, width);
}
int PrintMatrixFloat(FILE* file, int rows, int cols, double** M, int digits, int width) {
    return Matrix(file, rows, cols, M, digits, width);
}

int PrintMatrixTab(FILE* file, int rows, int cols, double** M, int digits) {
    return MatrixTab(file, rows, cols, M, digits);
}
int PrintMatrixTab(FILE* file, int rows, int cols, float** M, int digits) {
    return MatrixTab(file, rows, cols, M, digits);
}
int PrintMatrixTab(FILE* file, int rows, int cols, char** M) {
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++) fprintf(file, "%c\t", M[i][j]);
        fprintf(file, "\n");
    }
    return 1;
}
int PrintMatrixTab(FILE* file, int rows, int cols, int** M) {
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++) fprintf(file, "%d\t", M[i][j]);
        fprintf(file, "\n");
    }
    return 1;
}
int PrintMatrixTab(FILE* file, int rows, int cols, unsigned long** M) {
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++) fprintf(file, "%lu\t", M[i][j]);
        fprintf(file, "\n");
    }
    return 1;
}
int PrintMatrixTab_T(FILE* file, int rows, int cols, double** M, int digits) {
    for (int j = 0; j < cols; j++) {
        for (int i = 0; i < rows; i++) fprintf(file, "%.*g\t", digits, NoNegativeZero(M[i][j]));
        fprintf(file, "\n");
    }
    return 1;
}

int PrintVector(FILE* file, int n, const double* x, int digits, int width, int startColumn,
                const int* index) {
    return Vector(file, n, x, digits, width, startColumn, index);
}
int PrintVector(FILE* file, int n, const float* x, int digits, int width, int startColumn,
                const int* index) {
    return Vector(file, n, x, digits, width, startColumn, index);
}
int PrintVectorTab(FILE* file, int n, const double* x, int digits, const int* index) {
    return VectorTab(file, n, x, digits, index);
}
int PrintVectorTab(FILE* file, int n, const float* x, int digits, const int* index) {
    return VectorTab(file, n, x, digits, index);
}
int PrintVectorTab(FILE* file, int n, const int* x, const int* index) {
    for (int i = 0; i < n; i++) fprintf(file, "%d\t", index ? x[index[i] - 1] : x[i]);
    fprintf(file, "\n");
    return 1;
}

int PrintStringVector(FILE* file, int n, char** labels, int width, int startColumn, const int* index) {
    Aligned line(file, width, startColumn, false);
    for (int i = 0; i < n; i++) {
        line.Field();
        fprintf(file, "%*s\t", width, labels[index ? index[i] - 1 : i]);
    }
    fprintf(file, "\n");
    return 1;
}
int PrintStringVectorTab(FILE* file, int n, char** labels, const int* index) {
    for (int i = 0; i < n; i++) fprintf(file, "%s\t", labels[index ? index[i] - 1 : i]);
    fprintf(file, "\n");
    return 1;
}

int PrintHalfMatrix(FILE* file, int n, double** M, int k, int digits) {
    return HalfMatrix(file, n, M, k, digits, false);
}
int PrintHalfMatrix(FILE* file, int n, float** M, int k, int digits) {
    return HalfMatrix(file, n, M, k, digits, false);
}
int PrintHalfMatrix(FILE* file, int n, double** M, int k, int digits, int squareRoot) {
    return HalfMatrix(file, n, M, k, digits, squareRoot != 0);
}
int PrintHalfMatrix(FILE* file, int n, float** M, int k, int digits, int squareRoot) {
    return HalfMatrix(file, n, M, k, digits, squareRoot != 0);
}

int PrintLowerHalfMatrix(FILE* file, int n, double** M, int digits, int width) {
    return LowerHalf(file, n, M, digits, width);
}
int PrintLowerHalfMatrix(FILE* file, int n, float** M, int digits, int width) {
    return LowerHalf(file, n, M, digits, width);
}

int PrintHalfMatrix_ff(FILE* file, int n, double** M, int k) {
    for (int i = 0; i < n; i++)
        for (int j = i + k; j < n; j++) fprintf(file, "%g\n", NoNegativeZero(M[i][j]));
    return 1;
}
int PrintHalfMatrix_ff(FILE* file, int n, float** M, int k) {
    for (int i = 0; i < n; i++)
        for (int j = i + k; j < n; j++) fprintf(file, "%.12g\n", NoNegativeZero(M[i][j]));
    return 1;
}

int PrintHalfMatrixTab(FILE* file, int n, double** M, int k) { return HalfTab(file, n, M, k); }
int PrintHalfMatrixTab(FILE* file, int n, float** M, int k) { return HalfTab(file, n, M, k); }
int PrintHalfMatrixTab(FILE* file, int n, int** M, int k) {
    for (int i = 0; i < n - k; i++) {
        for (int j = 0; j < n; j++) fprintf(file, "%d\t", M[i][j]);
        fprintf(file, "\n");
    }
    return 1;
}
int PrintLowerHalfMatrixTab(FILE* file, int n, double** M, int digits) {
    return LowerHalfTab(file, n, M, digits);
}
int PrintLowerHalfMatrixTab(FILE* file, int n, float** M, int digits) {
    return LowerHalfTab(file, n, M, digits);
}
int PrintLowerHalfMatrixTab(FILE* file, int n, int** M) {
    for (int i = 0; i < n; i++) {
        for (int j = 0; j <= i; j++) fprintf(file, "%d\t", M[i][j]);
        fprintf(file, "\n");
    }
    return 1;
}
int PrintNeighborRese(FILE* file, int n, double** M, int digits) { return NeighborRese(file, n, M, digits); }
int PrintNeighborRese(FILE* file, int n, float** M, int digits) { return NeighborRese(file, n, M, digits); }
int PrintLowerHalfMatrix_ff(FILE* file, int n, double** M, int digits, bool withDiagonal) {
    return LowerHalf_ff(file, n, M, digits, withDiagonal);
}
int PrintLowerHalfMatrix_ff(FILE* file, int n, float** M, int digits, bool withDiagonal) {
    return LowerHalf_ff(file, n, M, digits, withDiagonal);
}
int PrintHalfMatrix_row(FILE* file, int n, double** M, int k) { return HalfRow(file, n, M, k, false); }
int PrintHalfMatrix_row(FILE* file, int n, float** M, int k) { return HalfRow(file, n, M, k, false); }
int PrintHalfMatrix_row(FILE* file, int n, double** M, int k, int squareRoot) {
    return HalfRow(file, n, M, k, squareRoot != 0);
}
int PrintHalfMatrix_row(FILE* file, int n, float** M, int k, int squareRoot) {
    return HalfRow(file, n, M, k, squareRoot != 0);
}
int PrintVector_bi(FILE* file, int n, const double* x, long* positions) {
    return VectorBi(file, n, x, positions);
}
int PrintVector_bi(FILE* file, int n, const float* x, long* positions) {
    return VectorBi(file, n, x, positions);
}
int PrintHalfMatrix_bi(FILE* file, int n, double** M, long** positions, int k) {
    return HalfMatrixBi(file, n, M, positions, k);
}
int PrintHalfMatrix_bi(FILE* file, int n, float** M, long** positions, int k) {
    return HalfMatrixBi(file, n, M, positions, k);
}
