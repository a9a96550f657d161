// Internals shared by the files of the group-comparison test and by no caller:
// the triangle the within-group sums read and their kernel, the text of the
// language chosen, where a statistic is counted, and the parts of the test's
// state that every stage of a run reads.
#ifndef RHLIBCLASSES_INTERNAL_H
#define RHLIBCLASSES_INTERNAL_H

#include <atomic>
#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "rhlibClasses.h"

namespace manovadetail {

constexpr int kChunk = 256;  // columns per tile of the triangle
constexpr int kRows = 16;    // rows per tile
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The packed lower triangle of the values summed over pairs: row i holds its
// columns 0..i-1 at offset i(i-1)/2.
class Triangle {
public:
    // Rows on the team (of a triangle large enough to repay it): each entry
    // is written once, whatever the thread.
    template <class Value>
    void Fill(int n, Value value) {
        n_ = n;
        v_.resize(n > 1 ? static_cast<size_t>(n) * (n - 1) / 2 : 0);
#pragma omp parallel for schedule(dynamic, 32) if (n > 1000)
        for (int i = 1; i < n; i++) {
            double* row = v_.data() + Offset(i);
            for (int j = 0; j < i; j++) row[j] = value(i, j);
        }
    }
    const double* Row(int i) const { return v_.data() + Offset(i); }
    std::vector<double>& Values() { return v_; }
    int Size() const { return n_; }

private:
    static size_t Offset(int i) { return static_cast<size_t>(i) * (i - 1) / 2; }
    int n_ = 0;
    std::vector<double> v_;
};

// One arrangement of the units of a subproblem: lab[i] is the group (0, 1,
// ...) of local unit i, or -1 when it takes no part; W[g] receives the sum
// over the pairs of group g.
struct Job {
    const double* lab;
    double* W;
};

// Adds to W of every job the sums of its groups over the m units units[0..m-1]
// (null: every unit of T); gather holds kRows x kChunk values. Defined with
// the kernel.
void WithinSums(const Triangle& T, const int* units, int m, const Job* jobs, int nJobs, double* gather);

// The text of the language chosen.
inline const char* Tx(bool pt, const char* english, const char* portuguese) {
    return pt ? portuguese : english;
}

inline int StatIndex(int k, int i, int j) { return i * (k + 1) + j; }

}  // namespace manovadetail

struct RandomizationTestManova::Partition {
    std::vector<int> label;   // per unit: the factor's code, or the cell (its first unit, from 1)
    std::vector<int> codes;   // distinct labels, ascending
    std::vector<int> pos;     // per unit: index of its group in codes
    std::vector<int> size;    // units per group
    int distinct = 0;         // first partition with the same grouping
    std::vector<int> levelA;  // factor pairs: the two levels of each cell
    std::vector<int> levelB;
    int Groups() const { return static_cast<int>(codes.size()); }
};

struct RandomizationTestManova::Contrast {
    int factor = 0, index = 0;
    std::vector<int> units;          // units with a non-zero coefficient, ascending (from 0)
    std::vector<int> local;          // per unit: its index in units, -1 outside
    std::vector<signed char> side;   // per unit: 0 positive, 1 negative, -1 zero coefficient
    std::unique_ptr<bool[]> mask;    // non-zero coefficient
    int nPos = 0, nNeg = 0;
    int minSide = 0;                 // balancing: the smaller side, 0 when equal
    double q0 = 0;                   // Q of its units: permutations keep them in place
    std::string label;               // the coefficients, " %g" each
};

struct RandomizationTestManova::Statistics {
    std::vector<double> qb;        // (k + 2) x (k + 2)
    double three = 0;
    double qw = 0;
    std::vector<double> contrast;  // per contrast: statistic, Qw_c
    std::vector<double> alt;       // second constructor: one statistic per factor
};

// Buffers of one thread of the permutation loop, made before it.
struct RandomizationTestManova::ThreadBuffers {
    std::vector<double> lab, W;    // labels and within sums of the partitions
    std::vector<double> clab, cW;  // the same for one contrast
    std::vector<double> gather, sumQ;
    std::vector<manovadetail::Job> jobs;
    std::vector<Statistics> stats;
    std::vector<int> pl;
};

// What the permutation loop shares.
struct RandomizationTestManova::Run {
    int batch = 1;                    // permutations evaluated together
    int perPerm = 0;                  // ints stored per drawn permutation
    std::vector<int> contrastOffset;  // where each contrast's list starts after the main list
    std::vector<int> distinct;        // the partitions with a grouping of their own
    std::vector<int> groupOffset;     // where their within sums start
    int wPerPerm = 0;
    manovadetail::Triangle T;
    double Qt = 0;                    // ANOSIM: the total of the ranks
    bool undefinedPair = false;       // MRPP, ANOSIM: a dissimilarity is not a number
    std::vector<ThreadBuffers> buffers;
    std::atomic<long long> done{0};
};

struct RandomizationTestManova::DrawWork {
    std::unique_ptr<bool[]> permuted, cellMask, contrastMask;
    std::vector<int> list, order, side;
    explicit DrawWork(int n)
        : permuted(new bool[n]), cellMask(new bool[n]), contrastMask(new bool[n]), list(n), order(n) {
        for (int i = 0; i < n; i++) {
            permuted[i] = true;
            cellMask[i] = false;
            order[i] = i + 1;
        }
    }
};

#endif
