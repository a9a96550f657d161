// ===========================================================================
// Samplers of group sharpness and ordination stability
// ===========================================================================

#include "samplerM.h"
#include "samplerM_internal.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include <omp.h>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "iflibG.h"
#include "rhlibOut.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

using namespace sampler_detail;

namespace {

// The team that runs a sampler's iterations, in blocks whose results are
// added in iteration order. With oneThread (intermediate results saved) the
// team has one thread for the run; otherwise as many as the memory budget
// holds the work of, each thread taking bytesPerThread (a seed gives the
// same results on any number).
class IterationTeam {
public:
    IterationTeam(bool oneThread, double bytesPerThread) : saved_(omp_get_max_threads()) {
        const double fit = std::floor(MemoryBudget() / std::max(bytesPerThread, 1.0));
        if (oneThread || fit < saved_) omp_set_num_threads(oneThread || fit < 1 ? 1 : static_cast<int>(fit));
        threads_ = std::max(1, omp_get_max_threads());
        blockSize_ = std::max(32, 8 * threads_);
    }
    ~IterationTeam() { omp_set_num_threads(saved_); }
    IterationTeam(const IterationTeam&) = delete;
    IterationTeam& operator=(const IterationTeam&) = delete;

    int Threads() const { return threads_; }
    // Result slots the caller provides: an iteration writes to its slot while
    // the slots of the block before wait to be added.
    int Slots() const { return 2 * blockSize_; }

    // Iterations 1..N. Iteration `it` gets a generator of its own, seeded by
    // the it-th number drawn from r; evaluate(it, slot, g, thread) computes it
    // into its slot on one of the team's threads, with any parallel loop it
    // calls kept on that thread; merge(it, slot) then takes the slot,
    // serially and in iteration order.
    template <class Evaluate, class Merge>
    void Run(int N, Evaluate&& evaluate, Merge&& merge) {
        if (N < 1) return;
        std::vector<gsl_rng*> generators(threads_);
        for (gsl_rng*& g : generators) g = gsl_rng_alloc(gsl_rng_mt19937);
        struct Release {
            std::vector<gsl_rng*>& g;
            ~Release() {
                for (gsl_rng* x : g) gsl_rng_free(x);
            }
        } release{generators};
        const int B = blockSize_;
        const int nBlocks = static_cast<int>((static_cast<long long>(N) + B - 1) / B);
        RunDrawnBlocks(
            nBlocks,
            [&](int b, std::vector<int>& store) {
                const int count = static_cast<int>(std::min<long long>(B, static_cast<long long>(N) - 1LL * b * B));
                store.resize(count);
                // A seed is a raw 32-bit output of MT19937, kept in an int.
                for (int& s : store) s = static_cast<int>(static_cast<unsigned int>(gsl_rng_get(r)));
                return count;
            },
            [&](int b, int i, std::vector<int>& store, int thread) {
                omp_set_num_threads(1);
                gsl_rng* g = generators[thread];
                gsl_rng_set(g, static_cast<unsigned int>(store[i]));
                evaluate(b * B + i + 1, (b % 2) * B + i, g, thread);
            },
            [&](int b, std::vector<int>& store) {
                for (int i = 0; i < static_cast<int>(store.size()); i++) merge(b * B + i + 1, (b % 2) * B + i);
            },
            1, true);
    }

private:
    int saved_, threads_ = 1, blockSize_ = 32;
};

void ShowIteration(int iteration, int iterations) {
    if (iterations <= 1) return;
    char progress[64];
    snprintf(progress, sizeof progress, "Bootstrap iteration: %d %d", iterations, iteration);
    HandleEventInfoWhere2(progress);
}

// Sample sizes of a run (as SampleSizes gives them).
std::vector<int> Sizes(int n, int initial, int step) {
    std::vector<int> s(CountSteps(n, initial, step));
    SampleSizes(n, initial, step, s.data());
    return s;
}

// An int table rows x cols over one block, with row pointers for the
// routines that take int**.
struct IntTable {
    std::vector<int> v;
    std::vector<int*> rows;
    IntTable(int r, int c) : v(static_cast<size_t>(r) * c, 0), rows(r) {
        for (int i = 0; i < r; i++) rows[i] = v.data() + static_cast<size_t>(i) * c;
    }
    int** get() { return rows.data(); }
    void Clear() { std::fill(v.begin(), v.end(), 0); }
};

struct DoubleTable {
    std::vector<double> v;
    std::vector<double*> rows;
    DoubleTable(int r, int c) : v(static_cast<size_t>(r) * c, 0.0), rows(r) {
        for (int i = 0; i < r; i++) rows[i] = v.data() + static_cast<size_t>(i) * c;
    }
    double** get() { return rows.data(); }
};

}  // namespace

// ---------------------------------------------------------------------------
// Group sharpness
// ---------------------------------------------------------------------------

// The reference partitions of the complete data, cut once per run, with the
// part of every group-pair sum that they alone make: the sums of d^2 over the
// pairs of reference units never change.
struct SharpnessReference {
    int n = 0, K = 0;
    std::vector<std::vector<int>> group;                 // [level][unit]: 0..k-1
    std::vector<std::vector<std::vector<int>>> members;  // [level][group]: unit numbers from 1
    std::vector<std::vector<double>> sums;               // [level]: 2k x 2k, the reference pairs' part
    // [level][v * k + a]: the sum of d^2 from unit v to the members of group
    // a, so that a sampled unit adds its k cross sums at once.
    std::vector<std::vector<double>> toGroup;
    std::vector<double> toAll;  // [v]: the sum of d^2 from unit v to every unit
    double total = 0.0;         // sum of d^2 over the reference pairs
};

struct SharpnessWork {
    int n, K;
    std::shared_ptr<const SharpnessReference> reference;
    ScopedMatrix<double> sample;  // the sample's own matrix, clustered
    ScopedMatrix<double> B, BNull;
    clusterReport* records;
    std::vector<std::vector<int>> sampleGroup;  // [level][sampled unit]: 0..k-1
    std::vector<std::vector<double>> sums;      // [level]: 2k x 2k group-pair sums
    std::vector<std::vector<int>> sizes;        // [level]: 2k group sizes
    std::vector<int> partition, pair, nullList, draws;
    std::vector<double> gathered;
    std::unique_ptr<ScopedMatrix<double>> combined;  // made only to be printed

    SharpnessWork(int units, int levels)
        : n(units), K(levels), sample(units, units), B(2 * levels, 2 * levels), BNull(2 * levels, 2 * levels),
          records(NewClusterReports(units, 0, false)), sampleGroup(levels - 1, std::vector<int>(units)),
          sums(levels - 1), sizes(levels - 1), partition(2 * units), pair(levels), nullList(units), draws(units),
          gathered(units) {
        for (int L = 0; L + 1 < K; L++) {
            sums[L].assign(static_cast<size_t>(4) * (L + 2) * (L + 2), 0.0);
            sizes[L].assign(2 * (L + 2), 0);
        }
    }
    ~SharpnessWork() { FreeClusterReports(records, n); }
    SharpnessWork(const SharpnessWork&) = delete;
    SharpnessWork& operator=(const SharpnessWork&) = delete;
};

namespace {
// What a thread's SharpnessWork takes for n units: the sample's matrix and
// the members of each of its fusions.
double SharpnessBytes(double n) { return SquareBytes(n) + sizeof(int) * n * n; }
}  // namespace

SharpnessWork* NewSharpnessWork(int n, int K, double** D2, clusterReport* records, int method,
                                const SharpnessWork* shareReference) {
    SharpnessWork* w = new SharpnessWork(n, K);
    if (shareReference) {
        w->reference = shareReference->reference;
        return w;
    }
    auto ref = std::make_shared<SharpnessReference>();
    ref->n = n;
    ref->K = K;
    std::vector<int> g(n);
    for (int k = 2; k <= K; k++) {
        GetClusterPartitionNew(n, k, g.data(), records, method);
        std::vector<std::vector<int>> m(k);
        for (int i = 0; i < n; i++) m[--g[i]].push_back(i + 1);
        ref->group.push_back(g);
        ref->members.push_back(std::move(m));
        ref->sums.emplace_back(static_cast<size_t>(4) * k * k, 0.0);
    }
    for (int L = 0; L + 1 < K; L++) ref->toGroup.emplace_back(static_cast<size_t>(n) * (L + 2), 0.0);
    ref->toAll.assign(n, 0.0);
    for (int u = 0; u < n; u++)
        for (int v = 0; v < n; v++) {
            const double d = u < v ? D2[u][v] : D2[v][u];
            ref->toAll[v] += d;
            for (int L = 0; L + 1 < K; L++) {
                const int k = L + 2, a = ref->group[L][u], b = ref->group[L][v];
                ref->toGroup[L][static_cast<size_t>(v) * k + a] += d;
                if (u < v) ref->sums[L][static_cast<size_t>(std::min(a, b)) * 2 * k + std::max(a, b)] += d;
            }
            if (u < v) ref->total += d;
        }
    w->reference = ref;
    return w;
}

void FreeSharpnessWork(SharpnessWork* work) { delete work; }

namespace {

// The group-pair sums of the levels first..last for the set of the n
// reference units and the s units listed (from 1), grouped by w.sampleGroup:
// the reference pairs' part, then, in one pass over the pairs that involve a
// listed unit, their d^2 (D2 squared distances, shared by every thread) added
// to the pair of groups they join. Also the group sizes. Returns the sum of
// d^2 over all pairs.
double PairSums(SharpnessWork& w, double** D2, int s, const int* list, int first, int last) {
    const SharpnessReference& ref = *w.reference;
    const int n = w.n;
    for (int L = first; L <= last; L++) {
        const int k = L + 2;
        w.sums[L] = ref.sums[L];
        std::fill(w.sizes[L].begin(), w.sizes[L].end(), 0);
        for (int u = 0; u < n; u++) w.sizes[L][ref.group[L][u]]++;
        for (int j = 0; j < s; j++) w.sizes[L][k + w.sampleGroup[L][j]]++;
    }
    double total = ref.total;
    double* x = w.gathered.data();
    // The reference units with each listed unit, by their sums to each group.
    for (int j = 0; j < s; j++) total += ref.toAll[list[j] - 1];
    for (int L = first; L <= last; L++) {
        const int k = L + 2;
        double* S = w.sums[L].data();
        for (int j = 0; j < s; j++) {
            const double* t = ref.toGroup[L].data() + static_cast<size_t>(list[j] - 1) * k;
            double* column = S + k + w.sampleGroup[L][j];
            for (int a = 0; a < k; a++) column[static_cast<size_t>(a) * 2 * k] += t[a];
        }
    }
    // Listed units among themselves.
    for (int i = 0; i < s; i++) {
        const double* row = D2[list[i] - 1];
        const int rest = s - i - 1;
        double rowTotal = 0.0;
        for (int j = 0; j < rest; j++) rowTotal += x[j] = row[list[i + 1 + j] - 1];
        total += rowTotal;
        for (int L = first; L <= last; L++) {
            const int k = L + 2, k2 = 2 * k;
            const int* b = w.sampleGroup[L].data();
            double* S = w.sums[L].data();
            const int bi = k + b[i];
            for (int j = 0; j < rest; j++) {
                const int bj = k + b[i + 1 + j];
                S[static_cast<size_t>(std::min(bi, bj)) * k2 + std::max(bi, bj)] += x[j];
            }
        }
    }
    return total;
}

// Sum over the reference groups i of M[i][k + pair(i)].
double MatchedSum(int k, double** M, const int* pair) {
    double s = 0.0;
    for (int i = 0; i < k; i++) s += M[i][k + pair[i]];
    return s;
}

double WithinSum(int g, double** M) {
    double s = 0.0;
    for (int a = 0; a < g; a++) s += M[a][a];
    return s;
}

void UnitsAndGroups(FILE* f, int n, int s, const int* list, const int* partition) {
    fprintf(f, "Sampling units:\t");
    for (int i = 1; i <= n; i++) fprintf(f, "%d\t", i);
    for (int j = 0; j < s; j++) fprintf(f, "%d\t", list[j]);
    fprintf(f, "\nGroups:        \t");
    for (int u = 0; u < n + s; u++) fprintf(f, "%d\t", partition[u]);
    fprintf(f, "\n");
}

void PairMatrix(FILE* f, int k, double** M) { PrintHalfMatrix(f, 2 * k, M, 0, sDigits); }

// The squared distances of the n reference units followed by the s listed
// units, upper triangle, as the intermediate block shows them.
void PrintCombined(FILE* f, SharpnessWork& w, double** D2, int s, const int* list) {
    const int n = w.n;
    if (!w.combined) w.combined.reset(new ScopedMatrix<double>(2 * n, 2 * n));
    double** C = *w.combined;
    auto unit = [&](int u) { return u < n ? u : list[u - n] - 1; };
    for (int a = 0; a < n + s; a++)
        for (int b = a; b < n + s; b++) C[a][b] = D2[unit(a)][unit(b)];
    PrintHalfMatrix(f, n + s, C, 0, 3);
}

}  // namespace

bool GroupPartitionSharpness_PerGroup(int iteration, int iterations, int nullSamples, int n, int step,
                                      int initial, double** R, double** D2, bool isDissimilarity,
                                      bool squared, clusterReport* records, const int* list, int save,
                                      double** Gstar, int** countG, SharpnessWork* work,
                                      int*** countGroup, int K, int method, gsl_rng* g) {
    (void)iterations;
    // Sums of d^2: of the entries as they stand, or of their squares (a work
    // holds the sums of the squared distances it was made from).
    ScopedMatrix<double> squares(squared ? 0 : n, n);
    if (!squared) {
        SquareSqMatrix(n, D2, squares);
        D2 = squares;
        work = nullptr;
    }
    std::unique_ptr<SharpnessWork> own;
    if (!work) {
        own.reset(NewSharpnessWork(n, K, D2, records, method, nullptr));
        work = own.get();
    }
    SharpnessWork& w = *work;
    const SharpnessReference& ref = *w.reference;
    const std::vector<int> sizes = Sizes(n, initial, step);
    const bool linkage = method == 1 || method == 2 || method == 4 || method == 5;
    // Samples of the other methods are clustered by Ward, and cut as Ward's.
    const int sampleMethod = linkage ? method : 3;
    double** source = linkage ? R : D2;

    FILE* f = save == 'y' ? fopenck("Vidive.txt", nullptr, "a") : nullptr;
    if (f) {
        fprintf(f, "%s\n", kDashes);
        fprintf(f, "INTERMEDIATE RESULTS ITERATION %d:\n", iteration);
    }
    // A block that cannot be opened is lost as one that cannot be closed.
    const bool opened = save != 'y' || f;
    for (int st = 0; st < static_cast<int>(sizes.size()); st++) {
        const int s = sizes[st];
        for (int a = 0; a < s; a++)
            for (int b = 0; b < s; b++) w.sample[a][b] = source[list[a] - 1][list[b] - 1];
        if (linkage)
            LinkageCluster(s, w.sample, w.records, isDissimilarity, false, method, false);
        else
            SumSqCluster(s, w.sample, w.records, true);
        for (int L = 0; L + 2 <= K; L++) {
            GetClusterPartitionNew(s, L + 2, w.sampleGroup[L].data(), w.records, sampleMethod);
            for (int& b : w.sampleGroup[L]) b--;
        }
        const double T = PairSums(w, D2, s, list, 0, K - 2) / (n + s);
        if (f) {
            fprintf(f, "\nSampling step: %d, Number of sampling units: %d\n", st + 1, s);
            fprintf(f, "Sampling units:\n");
            for (int j = 0; j < s; j++) fprintf(f, "%d ", list[j]);
            fprintf(f, "\nDistance matrix (squared) of sampling units (reference plus bootstrap sample):\n");
            PrintCombined(f, w, D2, s, list);
        }
        for (int L = 0; L + 2 <= K; L++) {
            const int k = L + 2;
            for (int i = 0; i < n; i++) w.partition[i] = ref.group[L][i] + 1;
            for (int j = 0; j < s; j++) w.partition[n + j] = k + 1 + w.sampleGroup[L][j];
            BetweenGrSSFromSums(2 * k, w.sums[L].data(), w.sizes[L].data(), w.B);
            const double S = NearNeigSSqWhich(k, w.B, w.pair.data(), g);
            const double G = 1.0 - S / T;
            Gstar[L][st] = G;
            if (f) {
                fprintf(f,
                        "\nReference and bootstrap sample partitions with %d groups in each, generated by "
                        "independent cluster analysis:\n",
                        k);
                UnitsAndGroups(f, n, s, list, w.partition.data());
                fprintf(f, "\nTaking %d groups in each sample  (reference and bootstrap):", k);
                fprintf(f,
                        "\nSum of squares matrix between groups of sampling units based on complete data and "
                        "boostrap sample partitions:\n");
                PairMatrix(f, k, w.B);
                const double within = WithinSum(2 * k, w.B);
                fprintf(f, "Total sum of squares (T): %g\n", NoNegativeZero(T));
                fprintf(f, "Sum of squares within groups: %g\n", NoNegativeZero(within));
                fprintf(f, "Sum of squares between groups (Qb): %g\n", NoNegativeZero(T - within));
                fprintf(f, "Exclusive nearest neighbour sum of squares between partitions (S): %g\n",
                        NoNegativeZero(S));
                fprintf(f, "Nearest neighbour groups: ");
                for (int i = 0; i < k; i++) fprintf(f, "%d,%d; ", i + 1, k + 1 + w.pair[i]);
                fprintf(f, "\nAttribute G = 1 - S/T between reference and bootstrap partitions:\n");
                fprintf(f, "Taking all %d nearest neighbour group contrasts: %g\n", k, NoNegativeZero(G));
            }
            for (int ns = 0; ns < nullSamples; ns++) {
                // Each matched sample group drawn anew from its reference group.
                for (int i = 0; i < k; i++) {
                    const int b = w.pair[i];
                    int m = 0;
                    for (int j = 0; j < s; j++) m += w.sampleGroup[L][j] == b;
                    const std::vector<int>& members = ref.members[L][i];
                    RndListBootstrapN(static_cast<int>(members.size()), m, w.draws.data(), g);
                    int t = 0;
                    for (int j = 0; j < s; j++)
                        if (w.sampleGroup[L][j] == b) w.nullList[j] = members[w.draws[t++] - 1];
                }
                const double TNull = PairSums(w, D2, s, w.nullList.data(), L, L) / (n + s);
                BetweenGrSSFromSums(2 * k, w.sums[L].data(), w.sizes[L].data(), w.BNull);
                const double SNull = MatchedSum(k, w.BNull, w.pair.data());
                const double GNull = 1.0 - SNull / TNull;
                if (GNull <= G) countG[L][st]++;
                if (countGroup)
                    for (int i = 0; i < k; i++)
                        if (w.B[i][k + w.pair[i]] <= w.BNull[i][k + w.pair[i]]) countGroup[L][st][i]++;
                if (f) {
                    fprintf(f, "\nTaking %d groups in each sample  (reference and bootstrap):", k);
                    fprintf(f, "\nReference and NULL bootstrap sample \n");
                    fprintf(f,
                            "\t(Null bootstrap sample accords to the null hypothesis that each group in the "
                            "bootstrap sample is a random sample of its nearest group in the reference "
                            "sample)\n");
                    UnitsAndGroups(f, n, s, w.nullList.data(), w.partition.data());
                    fprintf(f,
                            "\nDistance matrix (squared) of sampling units (reference plus bootstrap null "
                            "sample):\n");
                    PrintCombined(f, w, D2, s, w.nullList.data());
                    fprintf(f,
                            "\nSum of squares matrix between groups of sampling units based on reference and "
                            "NULL boostrap sample partitions:\n");
                    PairMatrix(f, k, w.BNull);
                    const double within = WithinSum(2 * k, w.BNull);
                    fprintf(f, "\nTotal sum of squares (TNull): %g\n", NoNegativeZero(TNull));
                    fprintf(f, "Sum of squares within groups: %g\n", NoNegativeZero(within));
                    fprintf(f, "Sum of squares between groups (QbNull): %g\n", NoNegativeZero(TNull - within));
                    fprintf(f, "Exclusive nearest neighbour sum of squares between partitions (SNull): %g\n",
                            NoNegativeZero(SNull));
                    fprintf(f,
                            "Attribute G null = 1 - SNull/TNull between reference and NULL bootstrap sample "
                            "partitions:\n");
                    fprintf(f, "Taking all %d nearest neighbour group contrasts: %g\n", k, NoNegativeZero(GNull));
                }
            }
        }
    }
    if (f) {
        fprintf(f, "\nFinal results of this iteration:");
        for (int L = 0; L + 2 <= K; L++) {
            fprintf(f, "\nTaking %d groups:\n", L + 2);
            fprintf(f, "Group structure state, at %d sample sizes:\n", static_cast<int>(sizes.size()));
            for (size_t st = 0; st < sizes.size(); st++) fprintf(f, "\t%g", NoNegativeZero(Gstar[L][st]));
        }
        fprintf(f, "\n\n");
        return fcloseck(f, "Vidive.txt");
    }
    return opened;
}

bool GroupPartitionSharpness(int iteration, int iterations, int nullSamples, int n, int step, int initial,
                             double** R, double** D2, bool isDissimilarity, bool squared,
                             clusterReport* records, const int* list, int save, double** Gstar,
                             int** countG, SharpnessWork* work, int K, int method, gsl_rng* g) {
    return GroupPartitionSharpness_PerGroup(iteration, iterations, nullSamples, n, step, initial, R, D2,
                                     isDissimilarity, squared, records, list, save, Gstar, countG, work,
                                     nullptr, K, method, g);
}

namespace {

// One iteration's results in SamplerGroups: G* and the counts it adds.
struct SharpnessSlot {
    DoubleTable G;
    IntTable countG;
    std::vector<IntTable> countGroup;  // [level] steps x K
    std::vector<int**> groupRows;
    SharpnessSlot(int levels, int steps, int K) : G(levels, steps), countG(levels, steps) {
        for (int L = 0; L < levels; L++) countGroup.emplace_back(steps, K);
        for (IntTable& t : countGroup) groupRows.push_back(t.get());
    }
    void Clear() {
        countG.Clear();
        for (IntTable& t : countGroup) t.Clear();
    }
};

void WriteLevelRows(FILE* f, int K, int steps, const std::function<double(int, int)>& value) {
    for (int L = 0; L + 2 <= K; L++) {
        fprintf(f, "\n%d %s:\t", L + 2, Text("groups", "grupos"));
        for (int st = 0; st < steps; st++) fprintf(f, "%.*g\t", sDigits, NoNegativeZero(value(L, st)));
    }
}

}  // namespace

bool SamplerGroups(int n, double** R, bool isDissimilarity, clusterReport* records) {
    if (n < 3) {
        fprintf(out, "%s",
                Text("\nThe sharpness of group partitions needs at least 3 sampling units.\n",
                     "\nA nitidez das particoes em grupos requer pelo menos 3 unidades amostrais.\n"));
        return true;
    }
    // The squared distances, and for each thread a sample's matrix and the
    // members of its fusions.
    if (!WorkFits(eng == 1, n, [](double m) { return 2 * SharpnessBytes(m); }, "the bootstrap resampling",
                  "a reamostragem bootstrap", "sampling units", "unidades amostrais"))
        return true;
    // Squared distances of the clustered matrix, both triangles.
    ScopedMatrix<double> D2(n, n);
    if (isDissimilarity) {
        SquareSqMatrix(n, R, D2);
    } else {
        ProdToSqDist(n, R, D2);
    }
    if (optReseTipo == 4) {
        DissToCenterProdMatrix(n, D2, D2, true);
        ProdToSqDist(n, D2, D2);
    }
    UpperToLowerMatrix(n, D2);
    if (!(SumSqDissim(n, D2, true) > 0.0)) {
        fprintf(out, "%s",
                Text("\nAll distances between the sampling units are 0: there is no group structure to "
                     "evaluate.\n",
                     "\nTodas as distancias entre as unidades amostrais sao 0: nao ha estrutura de grupos a "
                     "avaliar.\n"));
        return true;
    }

    InitIFLibG();
    const int K = AskWhole("Enter the maximum number of groups (group partition level) to be evaluated: ",
                           "Entre o numero maximo de grupos (nivel de particao) a avaliar: ", 2, n - 1);
    RunOptions o;
    o.n = n;
    SetBootstrapOptions(n, K + 1, &o.initial, &o.step, &o.iterations, &o.seed, &o.save, 0, nullptr);

    strcpy(modeVidive, "a");
    FILE* f = fopenck("Vidive.txt", nullptr, modeVidive);
    if (!f) return false;
    char attribute[320];
    if (K == 2)
        snprintf(attribute, sizeof attribute, "%s%s",
                 Text("Sample attribute: sharpness of group structure (G*)\n",
                      "Atributo amostral: nitidez da estrutura de grupos (G*)\n"),
                 Text("Considering partitions with 2 groups.\n", "Considerando particoes com 2 grupos.\n"));
    else
        snprintf(attribute, sizeof attribute,
                 Text("Sample attribute: sharpness of group structure (G*)\nConsidering partitions with 2 to %d "
                      "groups.\n",
                      "Atributo amostral: nitidez da estrutura de grupos (G*)\nConsiderando particoes com 2 a %d "
                      "grupos.\n"),
                 K);
    WriteHeader(f, o, attribute, line, "\n\n");
    std::atomic<bool> written(fcloseck(f, "Vidive.txt"));
    const double start = difftime_Clock_Init();

    const std::vector<int> sizes = Sizes(n, o.initial, o.step);
    const int steps = static_cast<int>(sizes.size()), levels = K - 1;
    o.steps = steps;
    InitRndNumberGenerator(o.seed);

    IterationTeam team(o.save == 'y', SharpnessBytes(n));
    std::vector<std::unique_ptr<SharpnessWork>> works;
    for (int t = 0; t < team.Threads(); t++)
        works.emplace_back(NewSharpnessWork(n, K, D2, records, clusMeth, t > 0 ? works[0].get() : nullptr));
    std::vector<SharpnessSlot> slots;
    slots.reserve(team.Slots());
    for (int i = 0; i < team.Slots(); i++) slots.emplace_back(levels, steps, K);
    std::vector<double> sumG(static_cast<size_t>(levels) * steps, 0.0);
    std::vector<long long> countG(sumG.size(), 0), countGroup(sumG.size() * K, 0);
    std::vector<std::vector<int>> lists(team.Threads(), std::vector<int>(n));

    team.Run(
        o.iterations,
        [&](int it, int slot, gsl_rng* g, int thread) {
            ShowIteration(it, o.iterations);
            SharpnessSlot& sl = slots[slot];
            sl.Clear();
            int* list = lists[thread].data();
            RndListBootstrap(n, list, g);
            if (!GroupPartitionSharpness_PerGroup(it, o.iterations, 1, n, o.step, o.initial, R, D2,
                                                  isDissimilarity, true, records, list, o.save, sl.G.get(),
                                                  sl.countG.get(), works[thread].get(), sl.groupRows.data(), K,
                                                  clusMeth, g))
                written = false;
        },
        [&](int, int slot) {
            SharpnessSlot& sl = slots[slot];
            for (int L = 0; L < levels; L++)
                for (int st = 0; st < steps; st++) {
                    const size_t c = static_cast<size_t>(L) * steps + st;
                    sumG[c] += sl.G.rows[L][st];
                    countG[c] += sl.countG.rows[L][st];
                    for (int i = 0; i < K; i++) countGroup[c * K + i] += sl.countGroup[L].rows[st][i];
                }
        });

    const double N = o.iterations;
    f = fopenck("Vidive.txt", nullptr, "a");
    if (f) {
        WriteFinalOpening(f, o, difftime_Clock(start), line, team.Threads());
        fprintf(f, Text("\nSample size at %d sampling step(s):\n\t", "\nTamanho da amostra em %d passo(s) amostral(is):\n\t"),
                steps);
        for (int st = 0; st < steps; st++) fprintf(f, "%d\t", sizes[st]);
        fprintf(f,
                Text("\n\nAverage of sample attribute (G*) generated by %d random iterations of bootstrap resampling:",
                     "\n\nMedia do atributo amostral (G*) gerada por %d iteracoes aleatorias de reamostragem "
                     "bootstrap:"),
                o.iterations);
        WriteLevelRows(f, K, steps, [&](int L, int st) { return sumG[static_cast<size_t>(L) * steps + st] / N; });
        fprintf(f,
                Text("\n\nProbabilities P(GNull<=G*) generated in %d iterations of bootstrap resampling:",
                     "\n\nProbabilidades P(GNull<=G*) geradas em %d iteracoes de reamostragem bootstrap:"),
                o.iterations);
        WriteLevelRows(f, K, steps, [&](int L, int st) { return countG[static_cast<size_t>(L) * steps + st] / N; });
        fprintf(f,
                Text("\n\nProbabilities P(QbNull>=Qb) per group generated in %d iterations of bootstrap resampling:",
                     "\n\nProbabilidades P(QbNull>=Qb) por grupo geradas em %d iteracoes de reamostragem "
                     "bootstrap:"),
                o.iterations);
        for (int L = 0; L < levels; L++) {
            fprintf(f, Text("\n\n%d groups:", "\n\n%d grupos:"), L + 2);
            for (int i = 0; i < L + 2; i++) {
                fprintf(f, Text("\nGroup %d:", "\nGrupo %d:"), i + 1);
                for (int st = 0; st < steps; st++)
                    fprintf(f, "%.*g\t", sDigits, countGroup[(static_cast<size_t>(L) * steps + st) * K + i] / N);
            }
        }
        fprintf(f, "\n");
    }
    const bool closed = fcloseck(f, "Vidive.txt");
    ClearLine();
    return closed && written;
}

// ---------------------------------------------------------------------------
// Ordination stability
// ---------------------------------------------------------------------------

struct StabilityWork {
    int n, p, A, mx;
    std::vector<int> perm, columnsRandom, columnsSample, typesRandom, types;
    // The randomised data (before and after its empty columns go), a
    // bootstrap sample, its transformed copy, and the ordination's arrays.
    ScopedMatrix<double> shuffled, random, sample, transformed, rese, evectors, scores, randomScores;
    std::vector<double> eig, randomEig;
    // Scores of the sampled units on the first axes: reference, bootstrap
    // and adjusted.
    ScopedMatrix<double> ref, boot, adj;

    explicit StabilityWork(int axes)
        : n(nObj), p(nVar), A(axes), mx(std::max(nObj, nVar) + 1), perm(n), columnsRandom(p), columnsSample(p),
          typesRandom(p), types(p), shuffled(n, p), random(n, p), sample(n, p), transformed(n, p), rese(mx, mx),
          evectors(mx, mx), scores(mx, mx), randomScores(mx, mx), eig(mx), randomEig(mx), ref(axes, n),
          boot(axes, n), adj(axes, n) {}
    StabilityWork(const StabilityWork&) = delete;
    StabilityWork& operator=(const StabilityWork&) = delete;
};

namespace {
// What a thread's StabilityWork takes for n units of p variables.
double StabilityBytes(double n, double p) { return 4 * SquareBytes(std::max(n, p) + 1) + 4 * sizeof(double) * n * p; }
}  // namespace

StabilityWork* NewStabilityWork(int A) { return new StabilityWork(A); }
void FreeStabilityWork(StabilityWork* work) { delete work; }

void CheckZeroData(int n, int p, int* cols, double** X, double** Y, int* columns) {
    std::vector<int> all(n > 0 ? n : 0);
    for (int i = 0; i < n; i++) all[i] = i + 1;
    GetData(n, n, p, cols, X, Y, all.data(), 1, columns);
}

void CheckZeroData(int n, int p, int* cols, double** X, double** Y) { CheckZeroData(n, p, cols, X, Y, nullptr); }

namespace {

// The transformations in force applied to a copy of X (m units x c columns
// as read; row i is unit units[i], or i + 1 when units is null, for the
// groups of option 12), the resemblance with the options in force and the
// ordination of the type in force (correspondence analysis weighs its scores
// by X transformed short of the double adjustment): scores (one row per
// axis, by unit) and eig. Returns the number of axes, 0 when the resemblance
// or the ordination is refused.
int Ordinate(StabilityWork& w, int m, int c, double** X, const int* units, const int* types, double** scores,
             double* eig) {
    if (m < 1 || c < 1) return 0;
    for (int i = 0; i < m; i++) std::copy(X[i], X[i] + c, w.transformed[i]);
    ReapplyTransformations(m, c, w.transformed, units);
    if (ResemblanceLib(m, c, w.transformed, w.rese, optReseDir, optReseTipo, optPostReseTransf, types, alphaH,
                       kParameter, countDoubleAbsence, false) != reseComputed)
        return 0;
    const int entities = optReseDir == 2 ? c : m, others = optReseDir == 2 ? m : c;
    if (optOrdiType == 3) {
        // The resemblance is made: its table gives way to the one the scores
        // take their margins from.
        for (int i = 0; i < m; i++) std::copy(X[i], X[i] + c, w.transformed[i]);
        ReapplyTransformationsForCorrespondence(m, c, w.transformed, units);
    }
    int axes = 0;
    bool ok = false;
    if (OrdinationLib_D(entities, others, w.transformed.x, w.rese, w.evectors, scores, &axes, eig, &ok, optOrdiType,
                        optReseTipo, optReseDir) != ordinationDone)
        return 0;
    return axes;
}

// Variables as rows.
void PrintVariableRows(FILE* f, int m, int c, double** X) {
    for (int j = 0; j < c; j++) {
        for (int i = 0; i < m; i++) fprintf(f, "%g\t", NoNegativeZero(X[i][j]));
        fprintf(f, "\n");
    }
}

void PrintAxisRows(FILE* f, int axes, int m, double** S) {
    for (int b = 0; b < axes; b++) {
        fprintf(f, Text("Axis %d:       \t", "Eixo %d:       \t"), b + 1);
        for (int i = 0; i < m; i++) fprintf(f, "%g\t", NoNegativeZero(S[b][i]));
        fprintf(f, "\n");
    }
}

void PrintFirst(FILE* f, int k, const double* v) {
    for (int a = 0; a < k; a++) fprintf(f, "%g ", NoNegativeZero(v[a]));
}

// ro of axis a: the first a + 1 bootstrap axes (w.boot) adjusted to the
// reference ones (w.ref) over the s sampled units, then the correlation on
// axis a.
double AdjustedCorrelation(StabilityWork& w, int a, int s) {
    ProcrustesAdjT(a + 1, a + 1, s, w.ref, w.boot, w.adj);
    return Correlation2Vec(s, w.ref[a], w.adj[a]);
}

// The sampled units' scores on the first `axes` axes: reference (by unit
// number) and bootstrap.
void SampledScores(StabilityWork& w, int axes, int s, const int* list, double** reference) {
    for (int b = 0; b < axes; b++)
        for (int i = 0; i < s; i++) {
            w.ref[b][i] = reference[b][list[i] - 1];
            w.boot[b][i] = w.scores[b][i];
        }
}

}  // namespace

bool BootstrappedOrdination_D(int iteration, int iterations, int step, int initial, const int* list,
                              double** roStar, int** countP, int A, double** reference, int save,
                              gsl_rng* g, StabilityWork* work) {
    (void)iterations;
    std::unique_ptr<StabilityWork> own;
    if (!work) {
        own.reset(NewStabilityWork(A));
        work = own.get();
    }
    StabilityWork& w = *work;
    const int n = nObj, p = nVar;
    const std::vector<int> sizes = Sizes(n, initial, step);

    FILE* f = nullptr;
    bool written = true;
    if (save == 'y') {
        if (iteration == 1) {
            FILE* h = fopenck("Vidive.txt", nullptr, "a");
            written = h != nullptr;
            if (h) {
                fprintf(h, "%s", Text("\nReference ordination scores:\n", "\nEscores da ordenacao de referencia:\n"));
                fprintf(h, "%s", Text("Sampling units:                 \t", "Unidades amostrais:             \t"));
                for (int i = 1; i <= n; i++) fprintf(h, "%d\t", i);
                fprintf(h, "\n");
                for (int b = 0; b < A; b++) {
                    fprintf(h, Text("Scores on ordination axis %d: \t", "Escores no eixo de ordenacao %d: \t"), b + 1);
                    for (int i = 0; i < n; i++) fprintf(h, "%g\t", NoNegativeZero(reference[b][i]));
                    fprintf(h, "\n");
                }
                written = fcloseck(h, "Vidive.txt");
            }
        }
        f = fopenck("Vidive.txt", nullptr, "a");
        if (!f) written = false;
        if (f) {
            fprintf(f, "%s\n", kDashes);
            fprintf(f, Text("INTERMEDIATE RESULTS ITERATION %d:\n", "RESULTADOS INTERMEDIARIOS ITERACAO %d:\n"),
                    iteration);
        }
    }

    // Each variable's values in an order of its own; columns without a
    // value other than 0 go, their types with them.
    for (int j = 0; j < p; j++) {
        RndList(n, w.perm.data(), g);
        for (int i = 0; i < n; i++) w.shuffled[i][j] = dataOrig[w.perm[i] - 1][j];
    }
    int cols = 0;
    CheckZeroData(n, p, &cols, w.shuffled, w.random, w.columnsRandom.data());
    for (int c = 0; c < cols; c++) w.typesRandom[c] = varType ? varType[w.columnsRandom[c]] : 0;
    const int randomAxes =
        Ordinate(w, n, cols, w.random, nullptr, varType ? w.typesRandom.data() : nullptr, w.randomScores,
                 w.randomEig.data());
    if (f) {
        fprintf(f, "%s",
                Text("\nRANDOMLY permuted data set (variables are rows, sampling units are columns):\n",
                     "\nConjunto de dados permutados ALEATORIAMENTE (variaveis nas linhas, unidades amostrais nas "
                     "colunas):\n"));
        PrintVariableRows(f, n, cols, w.random);
        const int shown = std::min(A, randomAxes);
        fprintf(f,
                Text("Reference ordination eigenvalues (first %d) for random data set: ",
                     "Autovalores da ordenacao de referencia (primeiros %d) para os dados aleatorios: "),
                shown);
        PrintFirst(f, shown, w.randomEig.data());
        fprintf(f, "%s", Text("\nOrdination scores:\n", "\nEscores de ordenacao:\n"));
        fprintf(f, "%s", Text("Sampling units:               \t", "Unidades amostrais:           \t"));
        for (int i = 1; i <= n; i++) fprintf(f, "%d\t", i);
        fprintf(f, "\n");
        PrintAxisRows(f, shown, n, w.randomScores);
    }

    for (int st = 0; st < static_cast<int>(sizes.size()); st++) {
        const int s = sizes[st];
        for (int a = 0; a < A; a++) roStar[a][st] = MISSING;

        int kept = 0;
        GetData(n, s, p, &kept, dataOrig, w.sample, list, 1, w.columnsSample.data());
        for (int c = 0; c < kept; c++) w.types[c] = varType ? varType[w.columnsSample[c]] : 0;
        const int axes = Ordinate(w, s, kept, w.sample, list, varType ? w.types.data() : nullptr, w.scores,
                                  w.eig.data());
        const int A1 = std::min(A, axes);
        if (f) {
            fprintf(f, Text("\nSampling step: %d, Number of sampling units: %d\n",
                            "\nPasso amostral: %d, Numero de unidades amostrais: %d\n"),
                    st + 1, s);
            fprintf(f, "%s", Text("Sampling units in the bootstrap sample: ", "Unidades amostrais na amostra bootstrap: "));
            for (int i = 0; i < s; i++) fprintf(f, "%d ", list[i]);
            fprintf(f, "%s",
                    Text("\nBootstrap sample (variables are rows, sampling units are columns):\n",
                         "\nAmostra bootstrap (variaveis nas linhas, unidades amostrais nas colunas):\n"));
            PrintVariableRows(f, s, kept, w.sample);
            fprintf(f, Text("Eigenvalues (first %d): ", "Autovalores (primeiros %d): "), A1);
            PrintFirst(f, A1, w.eig.data());
            fprintf(f, "%s", Text("\nSampling units:\t", "\nUnidades amostrais:\t"));
            for (int i = 0; i < s; i++) fprintf(f, "%d\t", list[i]);
        }
        SampledScores(w, A1, s, list, reference);
        if (f) {
            fprintf(f,
                    Text("\nScores of %d bootstrap sampling units on the first %d reference ordination axis(es):\n",
                         "\nEscores de %d unidades amostrais bootstrap nos primeiros %d eixo(s) de ordenacao de "
                         "referencia:\n"),
                    s, A1);
            PrintAxisRows(f, A1, s, w.ref);
            fprintf(f,
                    Text("\nScores of %d sampling units on the first %d bootstrap sample ordination axis(es): \n",
                         "\nEscores de %d unidades amostrais nos primeiros %d eixo(s) de ordenacao da amostra "
                         "bootstrap: \n"),
                    s, A1);
            PrintAxisRows(f, A1, s, w.boot);
        }
        double sumEig = 0.0;
        for (int a = 0; a < A1; a++) sumEig += w.eig[a];
        for (int a = 0; a < A1; a++) {
            double ro = AdjustedCorrelation(w, a, s);
            // A last axis of next to no variance has no direction to recover.
            if (a == A1 - 1 && w.eig[a] < 0.001 * sumEig) ro = 0.0;
            roStar[a][st] = std::isfinite(ro) ? ro : MISSING;
            if (f) {
                fprintf(f,
                        Text("\nScores of %d sampling units on bootstrap sample ordination axis %d (Procrustes "
                             "adjusted, using the first %d axes, to maximize similarity with reference): \n",
                             "\nEscores de %d unidades amostrais no eixo %d de ordenacao da amostra bootstrap "
                             "(ajustados por Procrustes, usando os primeiros %d eixos, para maximizar a semelhanca "
                             "com a referencia): \n"),
                        s, a + 1, a + 1);
                for (int i = 0; i < s; i++) fprintf(f, "%g\t", NoNegativeZero(w.adj[a][i]));
                fprintf(f,
                        Text("\nCorrelation between reference and bootstrap sample scores (axis %d): %g\n",
                             "\nCorrelacao entre os escores de referencia e da amostra bootstrap (eixo %d): %g\n"),
                        a + 1, roStar[a][st]);
            }
        }

        // The same units of the randomised data.
        int keptRandom = 0;
        GetData(n, s, cols, &keptRandom, w.random, w.sample, list, 1, w.columnsSample.data());
        for (int c = 0; c < keptRandom; c++) w.types[c] = w.typesRandom[w.columnsSample[c]];
        const int axesRandom = Ordinate(w, s, keptRandom, w.sample, list, varType ? w.types.data() : nullptr,
                                        w.scores, w.eig.data());
        const int A2 = std::min({A1, axesRandom, randomAxes});
        for (int a = A2; a < A; a++) roStar[a][st] = MISSING;
        if (f) {
            fprintf(f, "%s",
                    Text("\nSampling units in the bootstrap sample of RANDOM data: ",
                         "\nUnidades amostrais na amostra bootstrap dos dados ALEATORIOS: "));
            for (int i = 0; i < s; i++) fprintf(f, "%d ", list[i]);
            fprintf(f, "%s",
                    Text("\nBootstrap sample of randomly permuted data (variables are rows, sampling units are "
                         "columns):\n",
                         "\nAmostra bootstrap dos dados permutados aleatoriamente (variaveis nas linhas, unidades "
                         "amostrais nas colunas):\n"));
            PrintVariableRows(f, s, keptRandom, w.sample);
            fprintf(f,
                    Text("Eigenvalues in the bootstrap sample of RANDOM data (first %d): ",
                         "Autovalores na amostra bootstrap dos dados ALEATORIOS (primeiros %d): "),
                    A2);
            PrintFirst(f, A2, w.eig.data());
        }
        SampledScores(w, A2, s, list, w.randomScores);
        if (f) {
            fprintf(f,
                    Text("\nScores of %d bootstrap sampling units on the first %d reference ordination axis(es) of "
                         "RANDOM data:\n",
                         "\nEscores de %d unidades amostrais bootstrap nos primeiros %d eixo(s) de ordenacao de "
                         "referencia dos dados ALEATORIOS:\n"),
                    s, A2);
            PrintAxisRows(f, A2, s, w.ref);
            fprintf(f,
                    Text("\nScores of the previous %d sampling units on the first %d ordination axis(es) of "
                         "bootstrap sample taken from RANDOM data: \n",
                         "\nEscores das %d unidades amostrais anteriores nos primeiros %d eixo(s) de ordenacao da "
                         "amostra bootstrap tomada dos dados ALEATORIOS: \n"),
                    s, A2);
            PrintAxisRows(f, A2, s, w.boot);
        }
        for (int a = 0; a < A2; a++) {
            const double roRandom = AdjustedCorrelation(w, a, s);
            if (roStar[a][st] != MISSING && CountsTowardP(roRandom, roStar[a][st], TieRule::Larger))
                countP[a][st]++;
            if (f) {
                fprintf(f,
                        Text("\nScores of %d sampling units on bootstrap sample ordination axis %d (Procrustes "
                             "adjusted, using the first %d axes, to maximize similarity with reference RANDOM): \n",
                             "\nEscores de %d unidades amostrais no eixo %d de ordenacao da amostra bootstrap "
                             "(ajustados por Procrustes, usando os primeiros %d eixos, para maximizar a semelhanca "
                             "com a referencia ALEATORIA): \n"),
                        s, a + 1, a + 1);
                for (int i = 0; i < s; i++) fprintf(f, "%g\t", NoNegativeZero(w.adj[a][i]));
                fprintf(f,
                        Text("\nPERMUTED data set: Correlation between reference and bootstrap sample scores (axis "
                             "%d): %g\n",
                             "\nDados PERMUTADOS: Correlacao entre os escores de referencia e da amostra bootstrap "
                             "(eixo %d): %g\n"),
                        a + 1, roRandom);
            }
        }
    }
    if (f) written = fcloseck(f, "Vidive.txt") && written;
    return written;
}

namespace {

// One iteration's results in SamplerOrdination.
struct StabilitySlot {
    DoubleTable ro;
    IntTable count;
    StabilitySlot(int A, int steps) : ro(A, steps), count(A, steps) {}
};

void WriteSizeRow(FILE* f, const std::vector<int>& sizes) {
    fprintf(f, "%s", Text("Sample size:\t", "Tamanho da amostra:\t"));
    for (int s : sizes) fprintf(f, "%d\t", s);
}

}  // namespace

int OrdinationStabilityRun(int A, int initial, int step, int iterations, int save, double** reference,
                           StabilitySums& sums) {
    const int n = nObj;
    const int steps = CountSteps(n, initial, step);
    IterationTeam team(save == 'y', StabilityBytes(n, nVar));
    std::vector<std::unique_ptr<StabilityWork>> works;
    for (int t = 0; t < team.Threads(); t++) works.emplace_back(NewStabilityWork(A));
    std::vector<StabilitySlot> slots;
    slots.reserve(team.Slots());
    for (int i = 0; i < team.Slots(); i++) slots.emplace_back(A, steps);
    std::vector<std::vector<int>> lists(team.Threads(), std::vector<int>(n));
    const size_t cells = static_cast<size_t>(A) * steps;
    sums.sum.assign(cells, 0.0);
    sums.defined.assign(cells, 0);
    sums.countP.assign(cells, 0);
    std::atomic<bool> lost(false);

    team.Run(
        iterations,
        [&](int it, int slot, gsl_rng* g, int thread) {
            ShowIteration(it, iterations);
            StabilitySlot& sl = slots[slot];
            sl.count.Clear();
            int* list = lists[thread].data();
            RndListBootstrap(n, list, g);
            if (!BootstrappedOrdination_D(it, iterations, step, initial, list, sl.ro.get(), sl.count.get(), A,
                                          reference, save, g, works[thread].get()))
                lost = true;
        },
        [&](int, int slot) {
            StabilitySlot& sl = slots[slot];
            for (int a = 0; a < A; a++)
                for (int st = 0; st < steps; st++) {
                    const size_t c = static_cast<size_t>(a) * steps + st;
                    const double v = sl.ro.rows[a][st];
                    if (v == MISSING) continue;
                    sums.sum[c] += v;
                    sums.defined[c]++;
                    sums.countP[c] += sl.count.rows[a][st];
                }
        });
    sums.written = !lost;
    return team.Threads();
}

bool SamplerOrdination() {
    const bool offered = (optReseDir == 1 && optOrdiType == 1) || (optReseDir == 2 && (optOrdiType == 2 || optOrdiType == 3));
    const int n = nObj;
    const int most = std::min({nVar, rank, nObj - 1});
    if (!offered || !escores || !dataOrig || most < 1) {
        fprintf(out, "%s",
                Text("\nThe stability of ordination axes needs an ordination of sampling units by principal "
                     "coordinates, or of variables by principal components or correspondence analysis, with at "
                     "least one axis and 2 sampling units.\n",
                     "\nA estabilidade dos eixos de ordenacao requer uma ordenacao de unidades amostrais por "
                     "coordenadas principais, ou de variaveis por componentes principais ou analise de "
                     "correspondencia, com pelo menos um eixo e 2 unidades amostrais.\n"));
        return true;
    }
    const double p = nVar;
    if (!WorkFits(eng == 1, n, [p](double m) { return StabilityBytes(m, p); }, "the bootstrap resampling",
                  "a reamostragem bootstrap", "sampling units", "unidades amostrais"))
        return true;
    InitIFLibG();
    const int A = AskWhole("Enter the maximum number of ordination principal axes to be monitored: ",
                           "Entre o numero maximo de eixos principais de ordenacao a monitorar: ", 1, most);
    RunOptions o;
    o.n = n;
    SetBootstrapOptions(n, A + 1, &o.initial, &o.step, &o.iterations, &o.seed, &o.save, 0, nullptr);

    strcpy(modeVidive, "a");
    FILE* f = fopenck("Vidive.txt", nullptr, modeVidive);
    if (!f) return false;
    char attribute[256];
    snprintf(attribute, sizeof attribute,
             Text("Sample attribute: ordination stability\nConsidering up to %d ordination axes.\n",
                  "Atributo amostral: estabilidade da ordenacao\nConsiderando ate %d eixos de ordenacao.\n"),
             A);
    WriteHeader(f, o, attribute, line, "\n\n");
    const bool opening = fcloseck(f, "Vidive.txt");
    const double start = difftime_Clock_Init();

    const std::vector<int> sizes = Sizes(n, o.initial, o.step);
    const int steps = static_cast<int>(sizes.size());
    o.steps = steps;
    InitRndNumberGenerator(o.seed);
    StabilitySums sums;
    const int threads = OrdinationStabilityRun(A, o.initial, o.step, o.iterations, o.save, escores, sums);
    const std::vector<double>& sum = sums.sum;
    const std::vector<long long>&defined = sums.defined, &countP = sums.countP;

    f = fopenck("Vidive.txt", nullptr, "a");
    if (f) {
        WriteFinalOpening(f, o, difftime_Clock(start), line, threads);
        PrintTransformationDoubts(f);
        fprintf(f, Text("\nSample sizes at %d sampling step(s):\t", "\nTamanhos da amostra em %d passo(s) amostral(is):\t"),
                steps);
        for (int s : sizes) fprintf(f, "%d\t", s);
        // A cell never defined has neither an average nor a probability.
        auto rows = [&](const std::function<double(size_t)>& value) {
            for (int a = 0; a < A; a++) {
                fprintf(f, Text("\nAxis %d:   \t", "\nEixo %d:   \t"), a + 1);
                for (int st = 0; st < steps; st++) {
                    const size_t c = static_cast<size_t>(a) * steps + st;
                    fprintf(f, "%.*g\t", sDigits, defined[c] > 0 ? NoNegativeZero(value(c)) : MISSING);
                }
            }
        };
        fprintf(f,
                Text("\n\nAverage of sample attribute (ro*) generated by %d random iterations of bootstrap "
                     "resampling:\n",
                     "\n\nMedia do atributo amostral (ro*) gerada por %d iteracoes aleatorias de reamostragem "
                     "bootstrap:\n"),
                o.iterations);
        WriteSizeRow(f, sizes);
        fprintf(f, "%s", Text("\nAverage ro*:\t", "\nMedia ro*:\t"));
        rows([&](size_t c) { return sum[c] / defined[c]; });
        fprintf(f,
                Text("\n\nProbabilities P(roRnd >= ro) generated in %d iterations of bootstrap resampling:",
                     "\n\nProbabilidades P(roRnd >= ro) geradas em %d iteracoes de reamostragem bootstrap:"),
                o.iterations);
        fprintf(f, "\n");
        WriteSizeRow(f, sizes);
        rows([&](size_t c) { return static_cast<double>(countP[c]) / defined[c]; });
        fprintf(f, "%s",
                Text("\n\nThe actual number of iterations may not be the same for all sizes and axes:",
                     "\n\nO numero efetivo de iteracoes pode nao ser o mesmo para todos os tamanhos e eixos:"));
        fprintf(f, "\n");
        WriteSizeRow(f, sizes);
        for (int a = 0; a < A; a++) {
            fprintf(f, Text("\nAxis %d:   \t", "\nEixo %d:   \t"), a + 1);
            for (int st = 0; st < steps; st++) fprintf(f, "%lld\t", defined[static_cast<size_t>(a) * steps + st]);
        }
        fprintf(f, "\n");
    }
    const bool closed = fcloseck(f, "Vidive.txt");
    ClearLine();
    return opening && sums.written && closed;
}
