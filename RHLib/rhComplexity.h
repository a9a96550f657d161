// Huffman-code complexity of a vector of amounts, and linear interpolation of
// a data series onto a regular integer time (or space) scale.
#ifndef RHCOMPLEXITY_H
#define RHCOMPLEXITY_H

// The Huffman code of one alphabet of nch symbols. Arrays are indexed from 1
// (lvector blocks): symbols are 1..nch, internal nodes nch + 1..nodemax.
struct huffcode {
    unsigned long* icod;   // code bits of each symbol: bit b set when the b-th step up
                           // from it leaves a right child (the first 64 steps)
    unsigned long* ncod;   // code length of each symbol (0 for a count of 0)
    unsigned long* left;   // children of each internal node
    unsigned long* right;
    unsigned long nch;     // number of symbols
    unsigned long nodemax;  // the root (nch when fewer than two symbols are coded)
};

// Builds the Huffman code of the counts[1..nch] into code, whose four arrays
// must hold 2 nch - 1 entries from index 1 (left and right are written only
// at internal nodes). Symbols with a count of 0 get no code. With at most one
// symbol coded every length is 0. *longestSymbol (from 0) and *longestLength
// receive the first symbol with the longest code and that length (0 and 0
// when nothing is coded). Ties between equal counts are broken by the heap
// order of hufapp, so equal inputs always give equal codes.
void hufmak(const unsigned long* counts, unsigned long nch, unsigned long* longestSymbol,
            unsigned long* longestLength, huffcode* code);

// Sift-down of a binary min-heap: heap[1..n] holds symbol numbers ordered by
// values[symbol]; restores the heap below position i. Of two children of
// equal value the left one is taken; an entry equal to its smaller child
// stays where it is.
void hufapp(unsigned long* heap, const unsigned long* values, unsigned long n, unsigned long i);

// Total complexity of the n amounts x: the amounts are turned into integer
// counts out of 1,000,000 (x_i 1e6 / S, truncated; S the sum of the amounts
// above 0) and the result is the mean Huffman code length of those counts,
// sum count_i ncod_i / 1e6, in bits. Amounts of 0 or less (missing values
// included) take no part. Fewer than 3 amounts above 0 give 0.
double ComplexityVector(int n, const double* x);
// The same, and each amount's integer code length into lengths[0..n-1]
// (0 for an amount without a code). With fewer than 3 amounts above 0
// lengths is left as it was.
double ComplexityVectorHuffCode(int n, const double* x, unsigned long* lengths);
// ComplexityVector of the row totals (non-missing values) of the n x p matrix X.
double ComplexityRows(int n, int p, double** X);

// Linear interpolation of the n x p series X, observed at the increasing
// times[0..n-1], at the m new times newTimes. The grid is the integers from
// the whole part of the first time to the whole part of the last; the value
// of a variable at a grid point is the straight line between the two
// observations around it (at an observation's own time, its value; before the
// first time, the first value; after the last, the last). A new time that is
// not a grid point (not whole, or beyond the times) has no data and is
// written missing (-999); a value below 0.00001 becomes 0. A value that leans
// on a missing observation (-999) stays missing.
//
// Writes "Interpolated.txt" (replaced): the m x p result at digits
// significant digits, a line with its size, the new times and the original
// times. Returns 1. Returns 0 after a message on the standard error stream,
// with nothing written, when n or p is below 1, the times are not finite or
// do not increase, or the grid would hold more than 2147483647 points; also
// when the file cannot be created or written.
int Interpolate(int n, int p, double** X, const double* times, int m, const double* newTimes, int digits);
// The same at new times from the whole part of the first time in steps of
// the interval rounded up to a whole number; their number is the whole part
// of (last time - first time) / interval + 1, so that with an interval that
// is not whole the last new times can lie past the last time (missing). An
// interval that is not a
// finite number above 0, or more than 2147483647 new times, is refused like
// the times above.
int Interpolate(int n, int p, double** X, const double* times, double interval, int digits);
// The number of new times that form would give for the n increasing times
// (before its limit is applied): the whole part of (last time - first
// time) / interval + 1; NaN when the interval is not a finite number above 0.
double InterpolationCount(int n, const double* times, double interval);

#endif
