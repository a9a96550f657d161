#include "rhComplexity.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "nrutilRH.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlib_M.h"

// ===========================================================================
// Huffman code
// ===========================================================================

namespace {

// The sift-down of hufapp's min-heap (positions 1..n) of symbol numbers
// whose values are looked up. The smaller child is chosen by arithmetic, not
// a branch: which child wins is a coin toss the processor cannot predict.
template <class Entry, class ValueOf>
void SiftDown(Entry* heap, ValueOf valueOf, unsigned long n, unsigned long i) {
    const Entry v = heap[i];
    const unsigned long value = valueOf(v);
    while (i <= n / 2) {
        unsigned long j = 2 * i;
        if (j < n) j += valueOf(heap[j + 1]) < valueOf(heap[j]);
        const Entry child = heap[j];
        if (value <= valueOf(child)) break;
        heap[i] = child;
        i = j;
    }
    heap[i] = v;
}

// The heap of hufmak (most of the cost of a code): values and nodes in
// arrays of their own at positions 1..n, and beyond n (to 4n + 3) the
// largest value, which never wins a strict comparison: a child that does not
// exist is never taken and stops every entry.
struct Heap {
    unsigned long* value;
    unsigned long* node;
};

// SiftDown (hufapp's rule) two levels a step: the four grandchildren are
// read with the two children, before the comparison that chooses among them
// is known, so each level waits for a comparison and not for a load.
void SiftDownHeap(Heap h, unsigned long i, unsigned long value, unsigned long node) {
    unsigned long p = i;
    for (;;) {
        const unsigned long* c = h.value + 2 * p;
        const unsigned long* g = h.value + 4 * p;
        const unsigned long c0 = c[0], c1 = c[1], g0 = g[0], g1 = g[1], g2 = g[2], g3 = g[3];
        const bool right = c1 < c0;
        const unsigned long j = 2 * p + right, child = right ? c1 : c0;
        if (value <= child) break;
        h.value[p] = child;
        h.node[p] = h.node[j];
        const unsigned long lo = right ? g2 : g0, hi = right ? g3 : g1;
        const bool right2 = hi < lo;
        const unsigned long j2 = 2 * j + right2, grandchild = right2 ? hi : lo;
        if (value <= grandchild) {
            p = j;
            break;
        }
        h.value[j] = grandchild;
        h.node[j] = h.node[j2];
        p = j2;
    }
    h.value[p] = value;
    h.node[p] = node;
}

}  // namespace

void hufapp(unsigned long* heap, const unsigned long* values, unsigned long n, unsigned long i) {
    SiftDown(heap, [values](unsigned long s) { return values[s]; }, n, i);
}

void hufmak(const unsigned long* counts, unsigned long nch, unsigned long* longestSymbol,
            unsigned long* longestLength, huffcode* code) {
    code->nch = nch;
    *longestSymbol = 0;
    *longestLength = 0;
    const long nodes = 2 * static_cast<long>(nch) - 1;
    // From malloc like the other work vectors of the code: a failed
    // allocation is a dead end of the numerical routines.
    const unsigned long span = 4 * nch + 4;
    unsigned long* work = static_cast<unsigned long*>(std::malloc(sizeof(unsigned long) * (span + nch + 1)));
    if (!work) nrerror("allocation failure in hufmak()");
    const Heap heap{work, work + span};
    // The loops over the symbols choose without branching: whether a count
    // is 0 is as unpredictable as the data.
    unsigned long used = 0;
    for (unsigned long j = 1; j <= nch; j++) {
        code->icod[j] = code->ncod[j] = 0;
        heap.value[used + 1] = counts[j];
        heap.node[used + 1] = j;
        used += counts[j] != 0;
    }
    std::fill(heap.value + used + 1, heap.value + span, ULONG_MAX);
    for (unsigned long i = used / 2; i >= 1; i--) SiftDownHeap(heap, i, heap.value[i], heap.node[i]);

    // Merge the two lightest nodes until one is left. Node k is made after
    // both of its children, so every parent has a higher number than its
    // children.
    unsigned long k = nch;
    while (used > 1) {
        const unsigned long a = heap.node[1], aValue = heap.value[1];
        const unsigned long last = heap.value[used], lastNode = heap.node[used];
        heap.value[used--] = ULONG_MAX;
        SiftDownHeap(heap, 1, last, lastNode);
        k++;
        code->left[k] = a;
        code->right[k] = heap.node[1];
        SiftDownHeap(heap, 1, heap.value[1] + aValue, k);
    }
    code->nodemax = k;

    // Lengths and bits from the root down, parents before children: the
    // whole code in one pass over the nodes, however deep the tree. The bits
    // of a node are its parent's shifted up with its own side in bit 0, so
    // bit b tells the side of the node b steps above the symbol. (With a
    // single symbol coded there is no tree: its length stays 0.)
    if (k > nch) {
        // In the heap's place, which is done with (2 nodes < span).
        unsigned long* depth = work;
        unsigned long* bits = work + nodes;
        std::fill(depth + 1, depth + nch + 1, 0UL);
        std::fill(bits + 1, bits + nch + 1, 0UL);
        depth[k] = 0;
        bits[k] = 0;
        for (unsigned long node = k; node > nch; node--) {
            const unsigned long l = code->left[node], r = code->right[node];
            depth[l] = depth[r] = depth[node] + 1;
            bits[l] = bits[node] << 1;
            bits[r] = (bits[node] << 1) | 1UL;
        }
        std::copy(depth + 1, depth + nch + 1, code->ncod + 1);
        std::copy(bits + 1, bits + nch + 1, code->icod + 1);
    }
    std::free(work);
    for (unsigned long j = 1; j <= nch; j++)
        if (code->ncod[j] > *longestLength) {
            *longestLength = code->ncod[j];
            *longestSymbol = j - 1;
        }
}

// ===========================================================================
// Complexity
// ===========================================================================

namespace {

constexpr double kCountScale = 1000000.0;

// c when it is above 0, else +0 (NaN too), by a mask: the compiler would
// branch on a comparison whose outcome is as unforeseeable as the data.
inline double PositivePart(double c) {
    std::uint64_t bits;
    std::memcpy(&bits, &c, sizeof bits);
    bits &= -static_cast<std::uint64_t>(c > 0);
    std::memcpy(&c, &bits, sizeof c);
    return c;
}

double Complexity(int n, const double* x, unsigned long* lengths) {
    int positive = 0;
    double S = 0.0, largest = 0.0;
    for (int i = 0; i < n; i++) {
        const double v = x[i] > 0 ? x[i] : 0.0;  // NaN is not above 0
        positive += x[i] > 0;
        S += v;
        largest = std::max(largest, v);
    }
    if (positive < 3) return 0.0;
    // Amounts near the top of the double range would overflow the sum or the
    // product: those are first divided by the largest of them.
    double scale = 1.0;
    if (!std::isfinite(S) || !std::isfinite(largest * kCountScale)) {
        scale = largest;
        S = 0.0;
        for (int i = 0; i < n; i++)
            if (x[i] > 0) S += x[i] / scale;
    }
    if (!(S > 0)) S = 1.0;

    const unsigned long nch = static_cast<unsigned long>(n);
    const long nodes = 2 * static_cast<long>(n) - 1;
    unsigned long* counts = lvector(1, n);
    for (int i = 0; i < n; i++) {
        // An amount of 0 or less gives a count of 0, and so does NaN; no
        // count passes 1e6. Of a number from 0 to 1e6 the whole part is the
        // truncation, which takes no branch on the unforeseeable zeros.
        const double c = (scale == 1.0 ? x[i] : x[i] / scale) * kCountScale / S;
        counts[i + 1] = static_cast<unsigned long>(static_cast<long>(std::min(PositivePart(c), kCountScale)));
    }
    // The four arrays of the code in one block.
    unsigned long* block = lvector(1, 4 * nodes);
    huffcode code;
    code.icod = block;
    code.ncod = block + nodes;
    code.left = block + 2 * nodes;
    code.right = block + 3 * nodes;
    unsigned long longestSymbol, longestLength;
    hufmak(counts, nch, &longestSymbol, &longestLength, &code);

    // Counts and lengths are far below 2^63: converted as signed numbers,
    // which the processor does in one instruction.
    double L = 0.0;
    for (int i = 0; i < n; i++) {
        L += static_cast<double>(static_cast<long>(counts[i + 1])) / kCountScale *
             static_cast<double>(static_cast<long>(code.ncod[i + 1]));
        if (lengths) lengths[i] = code.ncod[i + 1];
    }
    free_lvector(block, 1, 4 * nodes);
    free_lvector(counts, 1, n);
    return L;
}

}  // namespace

double ComplexityVector(int n, const double* x) { return Complexity(n, x, nullptr); }

double ComplexityVectorHuffCode(int n, const double* x, unsigned long* lengths) {
    return Complexity(n, x, lengths);
}

double ComplexityRows(int n, int p, double** X) {
    if (n < 1) return 0.0;
    double* totals = dim1DT<double>(n);
    RowTotalsMV(n, p, X, totals);
    const double L = ComplexityVector(n, totals);
    free1D(totals);
    return L;
}

// ===========================================================================
// Interpolation
// ===========================================================================

namespace {

constexpr double kLargestInt = 2147483647.0;
constexpr double kBelowIsZero = 0.00001;

void Refused(const char* why) {
    fflush(stdout);
    fprintf(stderr, "\n%s: nothing was interpolated.\n", why);
    fputc(7, stderr);
    fflush(stderr);
}

// The checks common to both forms; false after the message.
bool SeriesAccepted(int n, int p, const double* times) {
    if (n < 1 || p < 1) {
        Refused("There are no data to interpolate");
        return false;
    }
    for (int i = 0; i < n; i++)
        if (!std::isfinite(times[i]) || (i > 0 && !(times[i] > times[i - 1]))) {
            Refused("The times (or positions) of the sampling units must be numbers that increase from one unit "
                    "to the next");
            return false;
        }
    // Grid points from the whole part of the first time to that of the last.
    if (std::trunc(times[n - 1]) - std::trunc(times[0]) + 1 > kLargestInt) {
        Refused("The interpolation grid would hold more than 2147483647 points");
        return false;
    }
    return true;
}

// Value of variable j at time g, on the straight line between the
// observations around it.
double Between(int n, double** X, const double* times, int j, double g) {
    if (g <= times[0]) return X[0][j];
    if (g >= times[n - 1]) return X[n - 1][j];
    const int k = static_cast<int>(std::lower_bound(times, times + n, g) - times);  // times[k-1] < g <= times[k]
    if (times[k] == g) return X[k][j];
    const double a = X[k - 1][j], b = X[k][j];
    if (a == MISSING || b == MISSING) return MISSING;
    return a + (b - a) * (g - times[k - 1]) / (times[k] - times[k - 1]);
}

}  // namespace

int Interpolate(int n, int p, double** X, const double* times, int m, const double* newTimes, int digits) {
    if (!SeriesAccepted(n, p, times)) return 0;
    if (m < 0) m = 0;
    const double first = std::trunc(times[0]), last = std::trunc(times[n - 1]);
    double** Y = dim2DT<double>(m > 0 ? m : 1, p);
    for (int r = 0; r < m; r++) {
        const double g = newTimes[r];
        // A new time that is no point of the grid (past the last time, or not
        // whole) has no data: it is written missing, never as an observed 0.
        const bool onGrid = std::isfinite(g) && g == std::trunc(g) && g >= first && g <= last;
        for (int j = 0; j < p; j++) {
            const double y = onGrid ? Between(n, X, times, j, g) : MISSING;
            Y[r][j] = y == MISSING || y >= kBelowIsZero ? y : 0.0;
        }
    }
    FILE* f = fopenck("Interpolated.txt", nullptr, "w");
    if (!f) {
        free2DT(Y, m > 0 ? m : 1);
        return 0;
    }
    PrintMatrixTab(f, m, p, Y, digits);
    fprintf(f,
            "\nAbove matrix (Rows= %d sampling units, columns= %d variables)\ncontains interpolated data obtained "
            "from data originally with %d sampling units.\n",
            m, p, n);
    fprintf(f, "New time (or spatial) scale of interpolated data:\n");
    PrintVectorTab(f, m, newTimes, digits);
    fprintf(f, "\nSpecified time (or spatial) scale of original data:\n");
    PrintVectorTab(f, n, times, digits);
    free2DT(Y, m > 0 ? m : 1);
    return fcloseck(f, "Interpolated.txt") ? 1 : 0;
}

double InterpolationCount(int n, const double* times, double interval) {
    if (n < 1 || !std::isfinite(interval) || !(interval > 0)) return std::numeric_limits<double>::quiet_NaN();
    return std::trunc((times[n - 1] - times[0]) / interval + 1);
}

int Interpolate(int n, int p, double** X, const double* times, double interval, int digits) {
    if (!std::isfinite(interval) || !(interval > 0)) {
        Refused("The interpolation interval must be a number above 0");
        return 0;
    }
    if (!SeriesAccepted(n, p, times)) return 0;
    const double count = InterpolationCount(n, times, interval);
    if (!(count <= kLargestInt)) {
        Refused("The interpolation would give more than 2147483647 new times");
        return 0;
    }
    const int m = static_cast<int>(count);
    // The new times step by the interval rounded up to a whole number, their
    // number counted with the interval as given.
    const double step = std::ceil(interval), start = std::trunc(times[0]);
    double* newTimes = dim1DT<double>(m);
    for (int k = 0; k < m; k++) newTimes[k] = start + k * step;
    const int done = Interpolate(n, p, X, times, m, newTimes, digits);
    free1D(newTimes);
    return done;
}
