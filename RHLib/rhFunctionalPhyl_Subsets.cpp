// ===========================================================================
// Subsets of a set
// ===========================================================================

#include "rhFunctionalPhyl.h"

#include "rhlibDim.h"

namespace {

// Number of non-empty subsets of n items of at most maxSize items, or more
// than limit when it exceeds limit (the count stops there).
long long SubsetsUpTo(int n, int maxSize, long long limit) {
    long long total = 0, binomial = 1;
    for (int size = 1; size <= maxSize && size <= n; size++) {
        binomial = binomial * (n - size + 1) / size;  // exact: C(n, size)
        total += binomial;
        if (total > limit) return total;
    }
    return total;
}

}  // namespace

void Combi(int** M, int& counter, int* work, int size, int start, int depth, int* chosen, int n) {
    if (depth == size) {
        for (int j = 0; j < n; j++) M[counter][j] = work[j] ? 1 : 0;
        counter++;
        return;
    }
    // Positions beyond n - (size - depth) cannot complete a subset.
    for (int pos = start; pos <= n - (size - depth); pos++) {
        work[pos] = 1;
        if (chosen) chosen[depth] = pos;
        Combi(M, counter, work, size, pos + 1, depth + 1, chosen, n);
        work[pos] = 0;
    }
}

bool AllCombinations(int** M, int rows, int maxSize, int n) {
    if (n < 0 || SubsetsUpTo(n, maxSize, rows) > rows) return false;
    for (int r = 0; r < rows; r++)
        for (int j = 0; j < n; j++) M[r][j] = 0;
    ScopedVector<int> work(n), chosen(n);
    int counter = 0;
    for (int size = 1; size <= maxSize && size <= n; size++)
        Combi(M, counter, work.x, size, 0, 0, chosen.x, n);
    return true;
}

bool AllCombinations(int** M, int rows, int n) { return AllCombinations(M, rows, n, n); }

int NumberAllCombinations(int n) {
    if (n < 0 || n > 31) return -1;
    return static_cast<int>((1LL << n) - 1);
}
