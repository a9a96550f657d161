// ===========================================================================
// Random generator, permutation and bootstrap lists
// ===========================================================================

#include "rhlib_M.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M_internal.h"

gsl_rng* r = gsl_rng_alloc(gsl_rng_mt19937);

// Held by every routine that draws or replaces the generator; recursive
// because list routines call one another.
std::recursive_mutex generatorMutex;

namespace {

// Number of selected units of the last permutation that
// RndListSelectSynchronized drew.
int synchronizedCount = -1;

// U(m): uniform over 0..m-1. Callers never pass m below 1.
// The generator-taking forms draw from g instead (g's owner keeps it to
// one thread), by the same rules.
inline int U(int m, gsl_rng* g) { return static_cast<int>(gsl_rng_uniform_int(g, static_cast<unsigned long>(m))); }
inline int U(int m) { return U(m, r); }

void Shuffle(int n, int* list, gsl_rng* g) {
    for (int i = 0; i < n - 1; i++) {
        int j = i + U(n - i, g);
        std::swap(list[i], list[j]);
    }
}
void Shuffle(int n, int* list) { Shuffle(n, list, r); }

// Unit numbers of the selected positions, ascending. Permutation tests ask
// for them at every permutation: the vector is kept from call to call.
template <class Sel>
std::vector<int>& Candidates(int n, const Sel* sel) {
    thread_local std::vector<int> c;
    c.clear();
    for (int i = 0; i < n; i++)
        if (sel[i] == 1) c.push_back(i + 1);
    return c;
}

// Called with the generator held.
template <class Sel>
void SelectImpl(int n, int* list, const Sel* sel) {
    thread_local std::vector<int> q;
    const std::vector<int>& c = Candidates(n, sel);
    const int m = static_cast<int>(c.size());
    q.resize(m);
    for (int t = 0; t < m; t++) q[t] = t + 1;
    Shuffle(m, q.data());
    for (int t = 0; t < m; t++) list[c[t] - 1] = c[q[t] - 1];
}

// Index (0-based, in ascending order of label) of the group of every unit
// that takes part; -1 for the others.
struct Grouping {
    int count = 0;
    std::vector<int> of;
};

Grouping GroupsOf(int n, const int* labels, const bool* sel) {
    Grouping g;
    g.of.assign(n, -1);
    std::vector<int> taking;
    for (int i = 0; i < n; i++)
        if (!sel || sel[i]) taking.push_back(labels[i]);
    if (taking.empty()) return g;
    std::vector<int> distinct(taking.size());
    CountGroups(static_cast<int>(taking.size()), taking.data(), g.count, distinct.data());
    distinct.resize(g.count);
    for (int i = 0; i < n; i++)
        if (!sel || sel[i])
            g.of[i] = static_cast<int>(std::lower_bound(distinct.begin(), distinct.end(), labels[i]) -
                                       distinct.begin());
    return g;
}

struct NestedDesign {
    int n;
    bool useBlocks;
    const int* blocks;
    bool useBundles;
    const int* bundles;
    bool withinBlocks;
    bool synchronized;
    const int* order;  // synchronized only
    const bool* sel;   // may be null
};

enum class DesignFault { none, unequalBlocks, crossingBundles, unbalancedBundles };

struct DesignAnalysis {
    Grouping block, bundle;
    std::vector<int> bundleSize;   // units of each bundle that take part
    std::vector<int> blockOfBundle;  // -1: no unit in a block
    DesignFault fault = DesignFault::none;
};

DesignAnalysis Analyse(const NestedDesign& d) {
    DesignAnalysis a;
    const bool blocksUsed = d.useBlocks && d.blocks;
    const bool bundlesUsed = d.useBundles && d.bundles;
    if (blocksUsed) a.block = GroupsOf(d.n, d.blocks, d.sel);
    if (bundlesUsed) a.bundle = GroupsOf(d.n, d.bundles, d.sel);

    if (blocksUsed && d.synchronized && !d.withinBlocks) {
        std::vector<int> size(a.block.count, 0);
        for (int i = 0; i < d.n; i++)
            if (a.block.of[i] >= 0) size[a.block.of[i]]++;
        for (int s : size)
            if (s != size[0]) {
                a.fault = DesignFault::unequalBlocks;
                return a;
            }
    }
    if (!bundlesUsed) return a;

    a.bundleSize.assign(a.bundle.count, 0);
    a.blockOfBundle.assign(a.bundle.count, -1);
    bool crossing = false;
    for (int i = 0; i < d.n; i++) {
        int h = a.bundle.of[i];
        if (h < 0) continue;
        a.bundleSize[h]++;
        if (blocksUsed) {
            int g = a.block.of[i];
            if (a.blockOfBundle[h] == -1)
                a.blockOfBundle[h] = g;
            else if (a.blockOfBundle[h] != g)
                crossing = true;
        }
    }
    if (crossing) {
        a.fault = DesignFault::crossingBundles;
        return a;
    }
    bool balanced = true;
    if (d.withinBlocks) {
        // Bundles are exchanged only with the bundles of their own block.
        std::vector<int> size(blocksUsed ? a.block.count : 0, -1);
        for (int h = 0; h < a.bundle.count && blocksUsed; h++) {
            int g = a.blockOfBundle[h];
            if (size[g] == -1)
                size[g] = a.bundleSize[h];
            else if (size[g] != a.bundleSize[h])
                balanced = false;
        }
    } else {
        for (int s : a.bundleSize)
            if (s != a.bundleSize[0]) balanced = false;
    }
    if (!balanced) a.fault = DesignFault::unbalancedBundles;
    return a;
}

bool NestedList(const NestedDesign& d, int* list) {
    for (int i = 0; i < d.n; i++) list[i] = i + 1;
    DesignAnalysis a = Analyse(d);
    if (a.fault == DesignFault::unequalBlocks) return false;
    const bool blocksUsed = d.useBlocks && d.blocks;
    const bool bundlesUsed = d.useBundles && d.bundles;

    // Units within blocks.
    if (blocksUsed && !d.withinBlocks) {
        std::unique_ptr<bool[]> m(new bool[d.n]);
        std::vector<int> work(d.n);
        for (int g = 0; g < a.block.count; g++) {
            for (int i = 0; i < d.n; i++) m[i] = a.block.of[i] == g;
            if (d.synchronized) {
                if (!RndListSelectSynchronized(d.n, list, m.get(), d.order, work.data(), g == 0)) {
                    // An order that does not fit the blocks: nothing is permuted.
                    for (int i = 0; i < d.n; i++) list[i] = i + 1;
                    return false;
                }
            } else {
                RndListSelect(d.n, list, m.get());
            }
        }
    }
    if (!bundlesUsed) return true;
    if (a.fault != DesignFault::none) return false;
    const int nBundles = a.bundle.count;

    // Positions of each bundle, ascending.
    std::vector<std::vector<int>> pos(nBundles);
    for (int i = 0; i < d.n; i++)
        if (a.bundle.of[i] >= 0) pos[a.bundle.of[i]].push_back(i);

    if (!d.withinBlocks) {
        std::vector<std::vector<int>> value(nBundles);
        for (int h = 0; h < nBundles; h++)
            for (int i : pos[h]) value[h].push_back(list[i]);
        std::vector<int> q(nBundles);
        RndList(nBundles, q.data());
        for (int h = 0; h < nBundles; h++)
            for (size_t c = 0; c < pos[h].size(); c++) list[pos[h][c]] = value[q[h] - 1][c];
        return true;
    }

    if (!blocksUsed) return true;  // bundles within blocks, but no blocks: nothing moves
    std::vector<int> q(nBundles);
    for (int h = 0; h < nBundles; h++) q[h] = h + 1;
    std::unique_ptr<bool[]> marks(new bool[nBundles]);
    std::vector<std::vector<int>> value(nBundles);
    for (int g = 0; g < a.block.count; g++) {
        for (int h = 0; h < nBundles; h++) {
            marks[h] = a.blockOfBundle[h] == g;
            value[h].clear();
            if (marks[h])
                for (int i : pos[h]) value[h].push_back(list[i]);
        }
        RndListSelect(nBundles, q.data(), marks.get());
        for (int h = 0; h < nBundles; h++)
            if (marks[h])
                for (size_t c = 0; c < pos[h].size(); c++) list[pos[h][c]] = value[q[h] - 1][c];
    }
    return true;
}

// Enumeration state of PermuteArray and PermuteArrayBinary.
struct SubsetEnumeration {
    std::vector<int> index;  // the k chosen positions, ascending
    long long nPermutations = 0;
    long long counter = 0;
    int n = 0, k = 0;

    // Restarts (first) or advances; false when there is no subset to give.
    bool Next(int nUnits, int kUnits, bool first) {
        if (first) {
            index.clear();
            counter = 0;
            n = nUnits;
            k = kUnits;
            if (k < 0 || k > n) return false;
            for (int i = 0; i < k; i++) index.push_back(i);
            // Rounded, not truncated: a quotient of factorials just below a
            // whole number would end the enumeration one subset early.
            long double count = std::roundl(Factorial(n) / (Factorial(k) * Factorial(n - k)));
            nPermutations = count < 9.0e18L ? static_cast<long long>(count)
                                            : std::numeric_limits<long long>::max();
            return nPermutations > 0;
        }
        if (counter <= 0 || counter >= nPermutations) return false;
        int i = k - 1;
        while (i >= 0 && index[i] >= n - k + i) i--;
        if (i < 0) return false;
        index[i]++;
        for (int j = i + 1; j < k; j++) index[j] = index[j - 1] + 1;
        return true;
    }
    long long Given() {
        counter++;
        long long c = counter;
        if (counter >= nPermutations) {
            std::vector<int>().swap(index);  // finished: the vectors are released
        }
        return c;
    }
};

SubsetEnumeration subsetList, subsetFlags;

}  // namespace

void InitRndNumberGenerator(unsigned int seed) {
    GeneratorLock lock(generatorMutex);
    gsl_rng* fresh = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(fresh, seed);
    gsl_rng* old = r;
    r = fresh;
    if (old) gsl_rng_free(old);
    synchronizedCount = -1;
    srand(seed);
}

unsigned int AutomaticSeed() {
    static std::atomic<unsigned long long> calls{0};
    static std::atomic<unsigned int> last{0};
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    unsigned long long x =
        static_cast<unsigned long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count());
    x ^= static_cast<unsigned long long>(getpid()) << 40;
    x += ++calls * 0x9E3779B97F4A7C15ULL;
    // SplitMix64's finaliser: every input bit reaches every bit of the seed,
    // so that calls a few nanoseconds apart give unrelated seeds.
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    x ^= x >> 31;
    unsigned int seed = static_cast<unsigned int>(x ^ (x >> 32));
    while (seed == 0 || seed == last) seed++;
    last = seed;
    return seed;
}

int RndIntegers(int lo, int hi) {
    if (hi < lo) return lo;
    GeneratorLock lock(generatorMutex);
    unsigned long long range = static_cast<unsigned long long>(static_cast<long long>(hi) - lo) + 1;
    // A range of every 32-bit value is beyond gsl_rng_uniform_int; one raw
    // output of MT19937 is uniform over it.
    unsigned long long u = range > gsl_rng_max(r) - gsl_rng_min(r) ? gsl_rng_get(r) - gsl_rng_min(r)
                                                                   : gsl_rng_uniform_int(r, range);
    return static_cast<int>(lo + static_cast<long long>(u));
}

void RndList(int n, int* list, gsl_rng* g) {
    if (!g) return RndList(n, list);
    for (int i = 0; i < n; i++) list[i] = i + 1;
    Shuffle(n, list, g);
}

void RndList(int n, int* list) {
    GeneratorLock lock(generatorMutex);
    RndList(n, list, r);
}

void RndListSpecified(int n, int* list) {
    GeneratorLock lock(generatorMutex);
    Shuffle(n, list);
}

void RndListPartial(int n, int* list) {
    GeneratorLock lock(generatorMutex);
    for (int i = 0; i < n; i++) std::swap(list[i], list[U(n)]);
}

void RndListSelect(int n, int* list, const bool* sel) {
    GeneratorLock lock(generatorMutex);
    SelectImpl(n, list, sel);
}

void RndListSelect(int n, int* list, const int* sel) {
    GeneratorLock lock(generatorMutex);
    SelectImpl(n, list, sel);
}

void RndListTwoSelect_(int n, int* list, const bool* first, const bool* second) {
    std::vector<char> both(n > 0 ? n : 0);
    for (int i = 0; i < n; i++) both[i] = first[i] && second[i];
    GeneratorLock lock(generatorMutex);
    SelectImpl(n, list, both.data());
}

bool RndListSelectSynchronized(int n, int* list, const bool* sel, const int* order, int* perm,
                               bool newPerm) {
    GeneratorLock lock(generatorMutex);
    const std::vector<int>& c = Candidates(n, sel);
    const int m = static_cast<int>(c.size());
    if (!newPerm && m != synchronizedCount) return false;
    for (int k = 0; k < m; k++)
        if (order[k] < 1 || order[k] > m) return false;
    if (newPerm) {
        RndList(m, perm);
        synchronizedCount = m;
    }
    for (int k = 0; k < m; k++) {
        int t = order[k] - 1;
        list[c[t] - 1] = c[perm[t] - 1];
    }
    return true;
}

bool RndListMantelRestricted(int nPairs, int* list, int m) {
    if (m < 0 || static_cast<long long>(m) * (m - 1) / 2 != nPairs) {
        printf("\nThe list of %d pairs does not fit a matrix of %d objects (%lld pairs). "
               "Restricted permutation is not possible.\n",
               nPairs, m, m < 0 ? 0LL : static_cast<long long>(m) * (m - 1) / 2);
        return false;
    }
    GeneratorLock lock(generatorMutex);
    // A[i][j]: number of the pair (i, j) in row order of the upper triangle.
    std::vector<int> A(static_cast<size_t>(m) * m, 0);
    int k = 0;
    for (int i = 0; i < m; i++)
        for (int j = i + 1; j < m; j++) {
            ++k;
            A[static_cast<size_t>(i) * m + j] = A[static_cast<size_t>(j) * m + i] = k;
        }
    std::vector<int> s(m);
    RndList(m, s.data());
    k = 0;
    for (int i = 0; i < m; i++)
        for (int j = i + 1; j < m; j++)
            list[k++] = A[static_cast<size_t>(s[i] - 1) * m + (s[j] - 1)];
    return true;
}

void RndListBootstrap(int n, int* list) { RndListBootstrapN(n, n, list); }

void RndListBootstrapN(int n, int m, int* list, gsl_rng* g) {
    if (!g) return RndListBootstrapN(n, m, list);
    if (n < 1) return;
    for (int i = 0; i < m; i++) list[i] = 1 + U(n, g);
}

void RndListBootstrapN(int n, int m, int* list) {
    GeneratorLock lock(generatorMutex);
    RndListBootstrapN(n, m, list, r);
}

void RndListBootstrap(int n, int* list, gsl_rng* g) { RndListBootstrapN(n, n, list, g); }

bool CheckNestedDesign(int n, bool useBlocks, const int* blocks, bool useBundles, const int* bundles,
                       bool bundlesWithinBlocks, bool synchronized, const bool* sel, bool portuguese) {
    NestedDesign d{n, useBlocks, blocks, useBundles, bundles, bundlesWithinBlocks, synchronized,
                   nullptr, sel};
    switch (Analyse(d).fault) {
    case DesignFault::none:
        return true;
    case DesignFault::unequalBlocks:
        printf("%s", portuguese ? "Grupos de aninhamento de tamanhos diferentes. A permutacao sincronizada nao e "
                                  "possivel.\n"
                                : "Nesting groups of unequal size. Synchronized permutation is not possible.\n");
        return false;
    case DesignFault::crossingBundles:
        printf("%s", portuguese ? "Feixes com unidades em mais de um grupo de aninhamento. A permutacao entre feixes "
                                  "de unidades nao e possivel.\n"
                                : "Bundles with units in more than one nesting group. Permutation among bundling "
                                  "blocks is not possible.\n");
        return false;
    case DesignFault::unbalancedBundles:
        printf("%s", portuguese ? "Delineamento desbalanceado. A permutacao entre feixes de unidades nao e possivel.\n"
                                : "Unbalanced design. Permutation among bundling blocks is not possible.\n");
        return false;
    }
    return false;
}

bool RndListNestedNew(int n, bool useBlocks, const int* blocks, bool useBundles, const int* bundles,
                      bool bundlesWithinBlocks, int* list) {
    GeneratorLock lock(generatorMutex);
    return NestedList({n, useBlocks, blocks, useBundles, bundles, bundlesWithinBlocks, false, nullptr,
                       nullptr},
                      list);
}

bool RndListNestedNew(int n, bool useBlocks, const int* blocks, bool useBundles, const int* bundles,
                      int* list) {
    return RndListNestedNew(n, useBlocks, blocks, useBundles, bundles, false, list);
}

bool RndListNestedNew(int n, const int* groups, int* list) {
    return RndListNestedNew(n, true, groups, true, groups, false, list);
}

bool RndListNestedNew(int n, const int* groups, int mode, int* list) {
    return RndListNestedNew(n, mode == 1 || mode == 3, groups, mode == 2 || mode == 3, groups, false,
                            list);
}

bool RndListNestedSynchronized(int n, bool useBlocks, const int* blocks, bool useBundles,
                               const int* bundles, bool bundlesWithinBlocks, int* list,
                               bool synchronized, const int* order) {
    GeneratorLock lock(generatorMutex);
    return NestedList({n, useBlocks, blocks, useBundles, bundles, bundlesWithinBlocks, synchronized,
                       order, nullptr},
                      list);
}

bool RndListNestedSelect(int n, bool useBlocks, const int* blocks, bool useBundles, const int* bundles,
                         bool bundlesWithinBlocks, int* list, const bool* sel) {
    GeneratorLock lock(generatorMutex);
    return NestedList({n, useBlocks, blocks, useBundles, bundles, bundlesWithinBlocks, false, nullptr,
                       sel},
                      list);
}

void GetData(int n, int m, int p, int* kept, double** data, double** sample, const int* list,
             int dropEmpty) {
    GetData(n, m, p, kept, data, sample, list, dropEmpty, nullptr);
}

void GetData(int n, int m, int p, int* kept, double** data, double** sample, const int* list,
             int dropEmpty, int* columns) {
    const int rows = std::max(n, m);
    for (int i = 0; i < rows; i++)
        for (int j = 0; j < p; j++) sample[i][j] = 0;
    int c = 0;
    for (int j = 0; j < p; j++) {
        if (dropEmpty == 1) {
            bool any = false;
            for (int i = 0; i < m && !any; i++) any = data[list[i] - 1][j] != 0;
            if (!any) continue;
        }
        for (int i = 0; i < m; i++) sample[i][c] = data[list[i] - 1][j];
        if (columns) columns[c] = j;
        c++;
    }
    if (dropEmpty == 1) *kept = c;
}

int PermuteArray(int n, int k, int* list, bool first) {
    SubsetEnumeration& e = subsetList;
    if (!e.Next(n, k, first)) return 0;
    std::vector<char> isIn(e.n, 0);
    int w = 0;
    for (int i : e.index) {
        list[w++] = i + 1;
        isIn[i] = 1;
    }
    for (int u = 0; u < e.n; u++)
        if (!isIn[u]) list[w++] = u + 1;
    return static_cast<int>(e.Given());
}

int PermuteArrayBinary(int n, int k, int* flags, bool first) {
    SubsetEnumeration& e = subsetFlags;
    if (!e.Next(n, k, first)) return 0;
    for (int u = 0; u < e.n; u++) flags[u] = 0;
    for (int i : e.index) flags[i] = 1;
    return static_cast<int>(e.Given());
}

namespace drawn_blocks {

namespace {
// A loop of less processor time runs on the calling thread: starting the
// team and meeting it at the end costs more than a team can save on it.
std::atomic<double> leastShared{0.05};
}  // namespace

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

bool WorthATeam(int threads, int nBlocks, double blockSeconds, double drawSeconds) {
    // Each thread's share of a block, against the wait at the block's end:
    // on a machine whose processors are all busy, a member may get its turn
    // a good part of a millisecond late.
    constexpr double kShareSeconds = 0.001;
    if (threads < 2) return false;
    const double least = leastShared.load();
    if (least <= 0.0) return true;
    // With drawing the longer part, the team would wait for the thread that
    // draws the next block.
    if (blockSeconds * nBlocks < least || blockSeconds < drawSeconds) return false;
    return blockSeconds / threads >= kShareSeconds;
}

double SetLeastSharedSeconds(double seconds) { return leastShared.exchange(seconds); }

}  // namespace drawn_blocks
