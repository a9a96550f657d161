// Printers of vectors and matrices: exact texts, widths and row breaks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "rhlibDim.h"
#include "rhlibOut.h"
#include "stream_util.h"

namespace {

int Count(const std::string& s, char c) {
    int n = 0;
    for (char x : s) n += x == c;
    return n;
}

// A matrix built from rows of values, released at the end of the test.
template <class T>
class Mat {
public:
    Mat(std::initializer_list<std::initializer_list<T>> rows)
        : rows_(static_cast<int>(rows.size())), cols_(static_cast<int>(rows.begin()->size())) {
        m_ = dim2DT<T>(rows_, cols_);
        int i = 0;
        for (auto& r : rows) {
            int j = 0;
            for (T v : r) m_[i][j++] = v;
            i++;
        }
    }
    Mat(int rows, int cols, T value) : rows_(rows), cols_(cols) {
        m_ = dim2DT<T>(rows, cols);
        for (int i = 0; i < rows; i++)
            for (int j = 0; j < cols; j++) m_[i][j] = value;
    }
    ~Mat() { free2DT(m_, rows_); }
    T** get() { return m_; }

private:
    int rows_, cols_;
    T** m_;
};

TEST(Printers, AlignedMatrixUsesTheWidestEntry) {
    Mat<double> m{{1, 10.5}, {100, 2}};
    int width = -1;
    std::string s = Printed([&](FILE* f) { width = PrintMatrix(f, 2, 2, m.get(), 5, 0); });
    EXPECT_EQ(width, 4);
    EXPECT_EQ(s, "   1\t10.5\t\n 100\t   2\t\n");
    // A given width is used as it is; the float forms print the same.
    EXPECT_EQ(Printed([&](FILE* f) { PrintMatrix(f, 1, 2, m.get(), 5, 6); }), "     1\t  10.5\t\n");
    Mat<float> mf{{1, 10.5f}, {100, 2}};
    EXPECT_EQ(Printed([&](FILE* f) { PrintMatrixFloat(f, 2, 2, mf.get(), 5, 0); }), s);
    EXPECT_EQ(Printed([&](FILE* f) { PrintMatrixFloat(f, 2, 2, m.get(), 5, 0); }), s);
}

TEST(Printers, LongRowBreaksAfterTheCounterPassesTheLimit) {
    ASSERT_EQ(maxColsPrint, 10000);
    const int n = 3000;
    Mat<double> m(1, n, 123456.0);  // width 6 at 6 digits
    std::string s = Printed([&](FILE* f) { PrintMatrix(f, 1, n, m.get(), 6, 0); });
    // Built independently: before entry k (from 1) the line holds 7 characters
    // per entry since the last break; a line is broken once it exceeds 10000.
    std::string expected;
    int used = 0, breaks = 0;
    for (int k = 1; k <= n; k++) {
        if (used > 10000) {
            expected += "\n      \t";
            used = 0;
            breaks++;
            if (breaks == 1) {
                EXPECT_EQ(k, 1430);
            }
        }
        used += 7;
        expected += "123456\t";
    }
    expected += "\n";
    EXPECT_EQ(breaks, 2);
    EXPECT_EQ(s, expected);
    // The first break comes right after the 1429th entry.
    EXPECT_EQ(s.find('\n'), static_cast<size_t>(1429 * 7));
}

TEST(Printers, WidthIsMeasuredWithoutABufferAtAnyPrecision) {
    Mat<double> m{{1.0 / 3.0, -2.5e-300}};
    std::string third = Printed([](FILE* f) { fprintf(f, "%.*g", 200, 1.0 / 3.0); });
    std::string tiny = Printed([](FILE* f) { fprintf(f, "%.*g", 200, -2.5e-300); });
    EXPECT_EQ(GetWidthMax(1, 2, m.get(), 200), static_cast<int>(std::max(third.size(), tiny.size())));
    Mat<double> q{{4, 100}, {0.25, 9}};
    EXPECT_EQ(GetWidthMaxSqrt(2, 2, q.get(), 5, 1), 3);  // sqrt: 2, 10, 0.5, 3
    EXPECT_EQ(GetWidthMaxSqrt(2, 2, q.get(), 5, 0), 4);
}

TEST(Printers, TabStylesOfEveryElementType) {
    Mat<double> d{{1.23456, 2}, {3, -4.5}};
    EXPECT_EQ(Printed([&](FILE* f) { EXPECT_EQ(PrintMatrixTab(f, 2, 2, d.get(), 3), 1); }),
              "1.23\t2\t\n3\t-4.5\t\n");
    EXPECT_EQ(Printed([&](FILE* f) { PrintMatrixTab_T(f, 2, 2, d.get(), 3); }), "1.23\t3\t\n2\t-4.5\t\n");
    Mat<int> i{{1, -2}};
    EXPECT_EQ(Printed([&](FILE* f) { PrintMatrixTab(f, 1, 2, i.get()); }), "1\t-2\t\n");
    Mat<char> c{{'a', 'b'}};
    EXPECT_EQ(Printed([&](FILE* f) { PrintMatrixTab(f, 1, 2, c.get()); }), "a\tb\t\n");
    // Values beyond 32 bits keep every digit.
    Mat<unsigned long> u{{4294967296UL + 5, 7}};
    EXPECT_EQ(Printed([&](FILE* f) { PrintMatrixTab(f, 1, 2, u.get()); }), "4294967301\t7\t\n");
}

TEST(Printers, VectorsWithAndWithoutIndex) {
    double x[] = {1.5, 20, 300};
    int idx[] = {3, 1};
    EXPECT_EQ(Printed([&](FILE* f) { PrintVectorTab(f, 2, x, 5, idx); }), "300\t1.5\t\n");
    EXPECT_EQ(Printed([&](FILE* f) { PrintVectorTab(f, 3, x, 5); }), "1.5\t20\t300\t\n");
    int k[] = {7, 8, 9};
    EXPECT_EQ(Printed([&](FILE* f) { PrintVectorTab(f, 2, k, idx); }), "9\t7\t\n");
    float xf[] = {1.5f, 20, 300};
    EXPECT_EQ(Printed([&](FILE* f) { PrintVectorTab(f, 2, xf, 5, idx); }), "300\t1.5\t\n");
    // Aligned: the width is measured over the entries written.
    int width = 0;
    std::string s = Printed([&](FILE* f) { width = PrintVector(f, 2, x, 5, 0, 0, idx); });
    EXPECT_EQ(width, 3);
    EXPECT_EQ(s, "300\t1.5\t\n");
}

TEST(Printers, VectorContinuationIsIndentedByTheStartColumn) {
    const int n = 2000;
    std::vector<double> x(n, 12345.0);  // width 5
    std::string s = Printed([&](FILE* f) { PrintVector(f, n, x.data(), 5, 0, 20, nullptr); });
    // Counter starts at 20 and grows by 6: it first exceeds 10000 after 1664
    // entries (20 + 6 * 1664 = 10004), so entry 1665 starts the new line.
    size_t br = s.find('\n');
    EXPECT_EQ(br, static_cast<size_t>(1664 * 6));
    EXPECT_EQ(s.substr(br, 21 + 6), "\n" + std::string(20, ' ') + "12345\t");
    EXPECT_EQ(Count(s, '\n'), 2);
}

TEST(Printers, StringVectors) {
    char a[] = "ab", b[] = "c", c[] = "def";
    char* labels[] = {a, b, c};
    int idx[] = {3, 2};
    EXPECT_EQ(Printed([&](FILE* f) { PrintStringVectorTab(f, 3, labels); }), "ab\tc\tdef\t\n");
    EXPECT_EQ(Printed([&](FILE* f) { PrintStringVectorTab(f, 2, labels, idx); }), "def\tc\t\n");
    EXPECT_EQ(Printed([&](FILE* f) { PrintStringVector(f, 3, labels, 4, 0); }), "  ab\t   c\t def\t\n");
}

TEST(Printers, HalfMatrices) {
    Mat<double> m{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    // Above the diagonal: two rows, the first starting with one blank field.
    EXPECT_EQ(Printed([&](FILE* f) { PrintHalfMatrix(f, 3, m.get(), 1, 5); }), " \t2\t3\t\n \t \t6\t\n");
    EXPECT_EQ(Printed([&](FILE* f) { PrintHalfMatrix(f, 3, m.get(), 0, 5); }),
              "1\t2\t3\t\n \t5\t6\t\n \t \t9\t\n");
    Mat<double> sq{{1, 4}, {9, 100}};
    EXPECT_EQ(Printed([&](FILE* f) { PrintHalfMatrix(f, 2, sq.get(), 0, 5, 1); }), " 1\t 2\t\n  \t10\t\n");
    int width = 0;
    std::string low = Printed([&](FILE* f) { width = PrintLowerHalfMatrix(f, 3, m.get(), 5, 0); });
    EXPECT_EQ(width, 1);
    EXPECT_EQ(low, "1\t\n4\t5\t\n7\t8\t9\t\n");
    EXPECT_EQ(Printed([&](FILE* f) { PrintLowerHalfMatrixTab(f, 3, m.get(), 5); }), low);
    EXPECT_EQ(Printed([&](FILE* f) { PrintNeighborRese(f, 3, m.get(), 5); }), "4\t8\t\n");
    EXPECT_EQ(Printed([&](FILE* f) { PrintHalfMatrixTab(f, 3, m.get(), 1); }), "1\t2\t3\t\n4\t5\t6\t\n");
    EXPECT_EQ(Printed([&](FILE* f) { PrintHalfMatrix_row(f, 3, m.get(), 1); }), "2\t3\t6\t");
    EXPECT_EQ(Printed([&](FILE* f) { PrintHalfMatrix_row(f, 2, sq.get(), 0, 1); }), "1\t2\t10\t");
}

// A zero prints as 0 in every form, whatever its sign bit.
TEST(Printers, NegativeZeroPrintsAsZero) {
    const std::vector<std::function<void(FILE*, double**, double*)>> forms = {
        [](FILE* f, double** m, double*) { PrintMatrix(f, 2, 2, m, 5, 0); },
        [](FILE* f, double** m, double*) { PrintMatrixTab(f, 2, 2, m, 5); },
        [](FILE* f, double** m, double*) { PrintMatrixTab_T(f, 2, 2, m, 5); },
        [](FILE* f, double**, double* x) { PrintVector(f, 2, x, 5, 0, 0); },
        [](FILE* f, double**, double* x) { PrintVectorTab(f, 2, x, 5); },
        [](FILE* f, double** m, double*) { PrintHalfMatrix(f, 2, m, 0, 5, 1); },
        [](FILE* f, double** m, double*) { PrintLowerHalfMatrix(f, 2, m, 5, 0); },
        [](FILE* f, double** m, double*) { PrintLowerHalfMatrixTab(f, 2, m, 5); },
        [](FILE* f, double** m, double*) { PrintHalfMatrixTab(f, 2, m, 0); },
        [](FILE* f, double** m, double*) { PrintHalfMatrix_row(f, 2, m, 0, 1); },
        [](FILE* f, double** m, double*) { PrintHalfMatrix_ff(f, 2, m, 0); },
        [](FILE* f, double** m, double*) { PrintLowerHalfMatrix_ff(f, 2, m, 5, true); },
    };
    Mat<double> negative(2, 2, -0.0), positive(2, 2, 0.0);
    double xn[] = {-0.0, -0.0}, xp[] = {0.0, 0.0};
    for (size_t k = 0; k < forms.size(); k++)
        EXPECT_EQ(Printed([&](FILE* f) { forms[k](f, negative.get(), xn); }),
                  Printed([&](FILE* f) { forms[k](f, positive.get(), xp); }))
            << "form " << k;
}

TEST(Printers, OneValueALine) {
    Mat<double> m{{1.5, 2.25, 1.0 / 3.0}, {4, 5, 6}, {7, 8, 9}};
    EXPECT_EQ(Printed([&](FILE* f) { PrintHalfMatrix_ff(f, 3, m.get(), 1); }), "2.25\n0.333333\n6\n");
    EXPECT_EQ(Printed([&](FILE* f) { PrintHalfMatrix_ff(f, 3, m.get(), 0); }),
              "1.5\n2.25\n0.333333\n5\n6\n9\n");
    Mat<float> mf{{0, 0.1f}, {0, 0}};
    EXPECT_EQ(Printed([&](FILE* f) { PrintHalfMatrix_ff(f, 2, mf.get(), 1); }), "0.10000000149\n");
    EXPECT_EQ(Printed([&](FILE* f) { PrintLowerHalfMatrix_ff(f, 3, m.get(), 3, false); }), "4\n7\n8\n");
    EXPECT_EQ(Printed([&](FILE* f) { PrintLowerHalfMatrix_ff(f, 2, m.get(), 3, true); }), "1.5\n4\n5\n");
}

TEST(Printers, VectorRewrittenInPlaceAtItsOffsets) {
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    fputs("0123456789012345678901234567890123456789", f);
    long pos[] = {0, 20, -5};
    double x[] = {1.5, -2, 3};
    PrintVector_bi(f, 3, x, pos);
    EXPECT_EQ(pos[0], 15);
    EXPECT_EQ(pos[1], 35);
    EXPECT_EQ(pos[2], -5);  // unreachable: skipped
    rewind(f);
    char buf[64] = {};
    ASSERT_EQ(fread(buf, 1, 40, f), 40u);
    fclose(f);
    EXPECT_EQ(std::string(buf, 40), "  1.500000e+00 56789 -2.000000e+00 56789");
}

// The upper half from offset k goes to the offsets of its entries, in the
// vector's fixed field; entries left of the half are neither written nor
// their offsets read, and the float form writes the same.
TEST(Printers, HalfMatrixRewrittenInPlaceAtItsOffsets) {
    Mat<double> m{{1, -2}, {9, 0.5}};
    Mat<float> mf{{1, -2}, {9, 0.5f}};
    const std::string digits = "0123456789012345678901234567890123456789";
    const struct {
        int k;
        long pos[2][2], after[2][2];
        std::string text;
    } cases[] = {
        {1, {{-1, 20}, {-1, -1}}, {{-1, 35}, {-1, -1}}, "01234567890123456789 -2.000000e+00 56789"},
        {0, {{0, 15}, {-1, -5}}, {{15, 30}, {-1, -5}}, "  1.000000e+00  -2.000000e+00 0123456789"},
    };
    for (const auto& c : cases)
        for (bool single : {false, true}) {
            FILE* f = tmpfile();
            ASSERT_NE(f, nullptr);
            fputs(digits.c_str(), f);
            long rows[2][2];
            std::memcpy(rows, c.pos, sizeof rows);
            long* positions[] = {rows[0], rows[1]};
            if (single)
                PrintHalfMatrix_bi(f, 2, mf.get(), positions, c.k);
            else
                PrintHalfMatrix_bi(f, 2, m.get(), positions, c.k);
            for (int i = 0; i < 2; i++)
                for (int j = 0; j < 2; j++) EXPECT_EQ(rows[i][j], c.after[i][j]) << c.k << i << j;
            rewind(f);
            char buf[64] = {};
            ASSERT_EQ(fread(buf, 1, 40, f), 40u);
            fclose(f);
            EXPECT_EQ(std::string(buf, 40), c.text) << "k " << c.k << (single ? " float" : "");
        }
}

// A form for floats prints what its double form prints of the same values
// widened, returning the same (9 digits show the float rounding of 0.1).
template <class Form>
void SameForFloats(const char* name, Form form) {
    Mat<float> f{{0.1f, 2.5f, 1e-3f}, {4, 0.3f, 6}, {7, 8, 9.75f}};
    Mat<double> d(3, 3, 0.0);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) d.get()[i][j] = f.get()[i][j];
    int fromDouble = 0, fromFloat = 0;
    const std::string expected = Printed([&](FILE* o) { fromDouble = form(o, d.get()); });
    EXPECT_EQ(Printed([&](FILE* o) { fromFloat = form(o, f.get()); }), expected) << name;
    EXPECT_EQ(fromFloat, fromDouble) << name;
    EXPECT_FALSE(expected.empty()) << name;
}

const int idx[] = {3, 1, 2};

TEST(Printers, FloatFormsPrintWhatTheDoubleFormsPrint) {
    SameForFloats("GetWidthMax", [](FILE* o, auto** m) { return fprintf(o, "%d", GetWidthMax(3, 3, m, 9)); });
    SameForFloats("GetWidthMaxSqrt",
                  [](FILE* o, auto** m) { return fprintf(o, "%d", GetWidthMaxSqrt(3, 3, m, 9, 1)); });
    SameForFloats("GetWidthMax vector",
                  [](FILE* o, auto** m) { return fprintf(o, "%d", GetWidthMax(3, m[0], 9, idx)); });
    SameForFloats("PrintHalfMatrix", [](FILE* o, auto** m) { return PrintHalfMatrix(o, 3, m, 1, 9); });
    SameForFloats("PrintHalfMatrix sqrt", [](FILE* o, auto** m) { return PrintHalfMatrix(o, 3, m, 0, 9, 1); });
    SameForFloats("PrintHalfMatrixTab", [](FILE* o, auto** m) { return PrintHalfMatrixTab(o, 3, m, 1); });
    SameForFloats("PrintHalfMatrix_row", [](FILE* o, auto** m) { return PrintHalfMatrix_row(o, 3, m, 0); });
    SameForFloats("PrintHalfMatrix_row sqrt", [](FILE* o, auto** m) { return PrintHalfMatrix_row(o, 3, m, 1, 1); });
    SameForFloats("PrintLowerHalfMatrix", [](FILE* o, auto** m) { return PrintLowerHalfMatrix(o, 3, m, 9, 0); });
    SameForFloats("PrintLowerHalfMatrixTab", [](FILE* o, auto** m) { return PrintLowerHalfMatrixTab(o, 3, m, 9); });
    SameForFloats("PrintLowerHalfMatrix_ff",
                  [](FILE* o, auto** m) { return PrintLowerHalfMatrix_ff(o, 3, m, 9, true); });
    SameForFloats("PrintMatrixTab", [](FILE* o, auto** m) { return PrintMatrixTab(o, 3, 3, m, 9); });
    SameForFloats("PrintNeighborRese", [](FILE* o, auto** m) { return PrintNeighborRese(o, 3, m, 9); });
    SameForFloats("PrintVector", [](FILE* o, auto** m) { return PrintVector(o, 3, m[0], 9, 0, 4, idx); });
    SameForFloats("PrintVector_bi", [](FILE* o, auto** m) {
        long pos[] = {0, 15, 30};
        return PrintVector_bi(o, 3, m[2], pos) + static_cast<int>(pos[2]);
    });
    Mat<float> f{{0.1f}};
    EXPECT_EQ(Printed([&](FILE* o) { PrintMatrixTab(o, 1, 1, f.get(), 9); }), "0.100000001\t\n");
    // The int form of the tab style prints what the double one prints of whole numbers.
    Mat<int> i{{1, -2}, {30, 4}};
    Mat<double> d{{1, -2}, {30, 4}};
    EXPECT_EQ(Printed([&](FILE* o) { PrintHalfMatrixTab(o, 2, i.get(), 0); }),
              Printed([&](FILE* o) { PrintHalfMatrixTab(o, 2, d.get(), 0); }));
}

// The buffered writer against printf itself, format by format, over values
// that try the rounding (ties included), the choice of the exponent form, the
// widths and the special values; the lines are compared one by one.
TEST(BufferedText, WritesWhatPrintfWrites) {
    std::mt19937_64 g(2024);
    std::vector<double> values = {0.0, -0.0, -999, 0.5, 1.5, 2.5, -2.5, 0.125, 0.375, 9.5, 99.5, 1e15, 1e16,
                                  123456.5, 999999.5, 9.9999995, 1e-4, 1e-5, 5e-324, 2.2250738585072009e-308,
                                  std::numeric_limits<double>::min(), std::numeric_limits<double>::max(),
                                  -std::numeric_limits<double>::max(), HUGE_VAL, -HUGE_VAL, NAN, -NAN};
    for (int i = 0; i < 400; i++) {
        // Whole numbers ending in 5 and binary fractions: exact ties at some precision.
        values.push_back(static_cast<double>(g() % 100000000000000000ULL / 10 * 10 + 5) / (1 << (i % 8)));
        // Any magnitude, and any bit pattern (denormals and NaNs with payloads included).
        std::uniform_real_distribution<double> mantissa(1, 10);
        values.push_back((i % 2 ? -1 : 1) * mantissa(g) * std::pow(10.0, static_cast<int>(g() % 629) - 320));
        double bits;
        uint64_t word = g();
        memcpy(&bits, &word, sizeof bits);
        values.push_back(bits);
    }
    auto same = [](const char* what, const std::function<void(BufferedText&, int)>& ours,
                   const std::function<std::string(int)>& printf_, int n) {
        std::string written = Printed([&](FILE* f) {
            BufferedText t(f);
            for (int i = 0; i < n; i++) ours(t.Char('\n'), i);
        });
        std::string expected;
        for (int i = 0; i < n; i++) expected += "\n" + printf_(i);
        for (size_t a = 0, line = 0; a < expected.size(); line++) {
            size_t b = expected.find('\n', a + 1);
            ASSERT_EQ(written.substr(a, b - a), expected.substr(a, b - a)) << what << ", value " << line;
            a = b;
        }
        EXPECT_EQ(written.size(), expected.size()) << what;
    };
    auto text = [](const char* format, auto... args) {
        std::string s(static_cast<size_t>(snprintf(nullptr, 0, format, args...)) + 1, '\0');
        s.resize(static_cast<size_t>(snprintf(&s[0], s.size(), format, args...)));
        return s;
    };
    const int n = static_cast<int>(values.size());
    for (int digits : {-1, 0, 1, 2, 3, 5, 6, 9, 15, 16, 17, 25, 60})
        for (int width : {0, -13, -11, 13}) {
            std::string what = "%*.*g, digits " + std::to_string(digits) + ", width " + std::to_string(width);
            same(what.c_str(), [&](BufferedText& t, int i) { t.General(values[i], digits, width); },
                 [&](int i) { return text("%*.*g", width, digits, values[i]); }, n);
        }
    same("%g", [&](BufferedText& t, int i) { t.General(values[i]); }, [&](int i) { return text("%g", values[i]); }, n);
    std::vector<int> ints = {0, -1, 7, 12345, 123456, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()};
    for (int width : {0, -5, 5})
        same("%*d", [&](BufferedText& t, int i) { t.Int(ints[i], width); },
             [&](int i) { return text("%*d", width, ints[i]); }, static_cast<int>(ints.size()));
    // Texts and fields longer than the buffer.
    const std::string label(BufferedText::kCapacity + 100000, 'a');
    const int wide = static_cast<int>(BufferedText::kCapacity) + 150000;
    for (int width : {0, -5, 5, -wide, wide})
        same("%*s", [&](BufferedText& t, int) { t.Text(label, width).Text("b", width); },
             [&](int) { return text("%*s", width, label.c_str()) + text("%*s", width, "b"); }, 1);
}

// Made on one thread of a team, the text is written piece by piece by
// another: the stream gets every piece, in order.
TEST(BufferedText, OnATeamThePiecesComeInOrder) {
    std::string expected;
    for (int i = 0; i < 1000000; i++) expected += std::to_string(i) + (i % 10 ? '\t' : '\n');
    ASSERT_GT(expected.size(), 4 * BufferedText::kCapacity);
    for (bool team : {false, true}) {
        std::string written = Printed([&](FILE* f) {
#pragma omp parallel num_threads(2) if (team)
#pragma omp single
            {
                BufferedText t(f);
                for (int i = 0; i < 1000000; i++) t.Int(i).Char(i % 10 ? '\t' : '\n');
            }
        });
        EXPECT_TRUE(written == expected) << "team " << team;
    }
}

// A write the disc refuses shows at the stream's close, as any write does.
TEST(BufferedText, AFailedWriteShowsAtTheClose) {
    FILE* full = fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    {
        BufferedText t(full);
        for (int i = 0; i < 100000; i++) t.Int(i).Char('\t');
    }
    testing::internal::CaptureStderr();
    EXPECT_FALSE(fcloseck(full, "Vidive.txt"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nFAIL TO PRINT ON FILE Vidive.txt !!!\n");
}

}  // namespace
