// Samplers of group sharpness (key C) and ordination stability (key O): the
// statistics of a saved iteration recomputed here from the units and
// partitions it printed (sums of squares by their definition, the best
// pairing by trying every one, principal coordinates by Jacobi rotations, a
// Procrustes rotation by the square root of M'M), the identity sample, the
// degenerate cells, the dialogue, and the same report on 1 and 4 threads.
#include <gtest/gtest.h>
#include <gsl/gsl_rng.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "dataset_util.h"
#include "iflibG.h"
#include "matrix_util.h"
#include "reference_eigen.h"
#include "reference_stats.h"
#include "rhlibDim.h"
#include "rhlib_M.h"
#include "samplerM.h"
#include "stream_util.h"

namespace {

using Vec = std::vector<double>;
using Matrix = std::vector<Vec>;
using Ints = std::vector<int>;

std::string Slurp(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return "";
    std::string s;
    char buf[4096];
    size_t k;
    while ((k = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, k);
    fclose(f);
    return s;
}

// The numbers on the rest of the line that follows `heading` (searched from
// `at`, which moves past the line).
Vec After(const std::string& text, const std::string& heading, size_t& at) {
    Vec v;
    size_t p = text.find(heading, at);
    if (p == std::string::npos) {
        at = std::string::npos;
        return v;
    }
    p += heading.size();
    size_t end = text.find('\n', p);
    std::string rest = text.substr(p, end - p);
    std::replace(rest.begin(), rest.end(), ',', ' ');
    std::replace(rest.begin(), rest.end(), ';', ' ');
    std::istringstream s(rest);
    double x;
    while (s >> x) v.push_back(x);
    at = end;
    return v;
}

// Rows of numbers: the `rows` lines that follow `heading`.
Matrix RowsAfter(const std::string& text, const std::string& heading, size_t& at, int rows) {
    Matrix m;
    size_t p = text.find(heading, at);
    if (p == std::string::npos) return m;
    p = text.find('\n', p + heading.size() - 1) + 1;
    for (int r = 0; r < rows; r++) {
        size_t end = text.find('\n', p);
        std::istringstream s(text.substr(p, end - p));
        std::string word;
        Vec row;
        while (s >> word) {
            char* e;
            double x = strtod(word.c_str(), &e);
            if (*e == '\0') row.push_back(x);
        }
        m.push_back(row);
        p = end + 1;
    }
    at = p;
    return m;
}

// The report without the lines that change from run to run.
std::string Steady(const std::string& report) {
    std::istringstream s(report);
    std::string line, kept;
    const char* days[] = {"Mon ", "Tue ", "Wed ", "Thu ", "Fri ", "Sat ", "Sun "};
    while (std::getline(s, line)) {
        bool drop = line.rfind("Elapsed time", 0) == 0 || line.rfind("Maximum number of threads", 0) == 0;
        for (const char* d : days) drop = drop || line.rfind(d, 0) == 0;
        if (!drop) kept += line + "\n";
    }
    return kept;
}

double SquaredDistance(const Vec& a, const Vec& b) {
    double s = 0;
    for (size_t k = 0; k < a.size(); k++) s += (a[k] - b[k]) * (a[k] - b[k]);
    return s;
}

// Q of a set of points: the sum of squared distances over its pairs / its size.
double Q(const std::vector<Vec>& points) {
    double s = 0;
    for (size_t i = 0; i < points.size(); i++)
        for (size_t j = i + 1; j < points.size(); j++) s += SquaredDistance(points[i], points[j]);
    return points.empty() ? 0 : s / points.size();
}

// Principal coordinates of the rows of X (Euclidean distances): scores[axis]
// [unit] and the eigenvalues, largest first.
void PrincipalCoordinates(const Matrix& X, Matrix& scores, Vec& eig) {
    const size_t n = X.size();
    Matrix G(n, Vec(n));
    for (size_t i = 0; i < n; i++)
        for (size_t j = 0; j < n; j++) G[i][j] = -0.5 * SquaredDistance(X[i], X[j]);
    Vec row(n, 0), col(n, 0);
    double all = 0;
    for (size_t i = 0; i < n; i++)
        for (size_t j = 0; j < n; j++) row[i] += G[i][j] / n, all += G[i][j] / (n * n);
    for (size_t i = 0; i < n; i++)
        for (size_t j = 0; j < n; j++) G[i][j] += all - row[i] - row[j];
    refeig::Eigen e = refeig::Jacobi(G);
    eig = e.values;
    scores.assign(n, Vec(n, 0));
    for (size_t k = 0; k < n; k++)
        for (size_t i = 0; i < n; i++) scores[k][i] = e.vectors[k][i] * std::sqrt(std::max(e.values[k], 0.0));
}

// Y (k axes x s units) rotated onto X and scaled: Q = (M'M)^(-1/2) M' with
// M = Xc Yc', the orthogonal matrix nearest to M'; returns the fitted axes.
Matrix ProcrustesFit(const Matrix& X, const Matrix& Y) {
    const size_t k = X.size(), s = X[0].size();
    auto centred = [&](Matrix A) {
        for (Vec& r : A) {
            const double m = std::accumulate(r.begin(), r.end(), 0.0) / s;
            for (double& v : r) v -= m;
        }
        return A;
    };
    const Matrix Xc = centred(X), Yc = centred(Y);
    Matrix M(k, Vec(k, 0)), MtM(k, Vec(k, 0));
    for (size_t a = 0; a < k; a++)
        for (size_t b = 0; b < k; b++)
            for (size_t i = 0; i < s; i++) M[a][b] += Xc[a][i] * Yc[b][i];
    for (size_t a = 0; a < k; a++)
        for (size_t b = 0; b < k; b++)
            for (size_t c = 0; c < k; c++) MtM[a][b] += M[c][a] * M[c][b];
    refeig::Eigen e = refeig::Jacobi(MtM);
    Matrix root(k, Vec(k, 0)), Qm(k, Vec(k, 0));  // (M'M)^(-1/2), then Q (kY x kX)
    for (size_t t = 0; t < k; t++)
        for (size_t a = 0; a < k; a++)
            for (size_t b = 0; b < k; b++) root[a][b] += e.vectors[t][a] * e.vectors[t][b] / std::sqrt(e.values[t]);
    for (size_t b = 0; b < k; b++)
        for (size_t a = 0; a < k; a++)
            for (size_t c = 0; c < k; c++) Qm[b][a] += root[b][c] * M[a][c];
    Matrix fit(k, Vec(s, 0));
    double num = 0, den = 0;
    for (size_t a = 0; a < k; a++)
        for (size_t i = 0; i < s; i++) {
            for (size_t b = 0; b < k; b++) fit[a][i] += Yc[b][i] * Qm[b][a];
            num += fit[a][i] * Xc[a][i];
        }
    for (const Vec& r : Yc)
        for (double v : r) den += v * v;
    for (Vec& r : fit)
        for (double& v : r) v *= num / den;
    return fit;
}

// The seed of iteration 1 and its bootstrap list, drawn as the samplers draw.
Ints FirstList(unsigned seed, int n) {
    gsl_rng* r = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(r, seed);
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, static_cast<unsigned>(gsl_rng_get(r)));
    Ints list(n);
    for (int& u : list) u = 1 + static_cast<int>(gsl_rng_uniform_int(g, n));
    gsl_rng_free(g);
    gsl_rng_free(r);
    return list;
}

// A current data set with its resemblance matrix in a folder of its own.
class Samplers : public testing::Test {
protected:
    void SetUp() override {
        port = 0;
        eng = 1;
        Initialize();
        char tmpl[] = "/tmp/tevlan_samplers23XXXXXX";
        folder_ = mkdtemp(tmpl);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
        ResetCurrentDataSet();
        strcpy(modeVidive, "w");
        sDigits = 15;
        sink_ = fopen("/dev/null", "w");
        SetProgressStream(sink_);
        threads_ = omp_get_max_threads();
    }
    void TearDown() override {
        omp_set_num_threads(threads_);
        ResetCurrentDataSet();
        sDigits = 5;
        SetProgressStream(nullptr);
        fclose(sink_);
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_);
    }
    void Data(const Matrix& x) {
        LivraMemoria();
        x_ = x;
        nObj = static_cast<int>(x.size());
        nVar = static_cast<int>(x[0].size());
        Dimensiona();
        for (int i = 0; i < nObj; i++)
            for (int j = 0; j < nVar; j++) data[i][j] = dataOrig[i][j] = x[i][j];
        for (int i = 0; i < nObj; i++) snprintf(uaLabels[i], 30, "u%d", i + 1);
        for (int j = 0; j < nVar; j++) {
            snprintf(varLabels[j], 30, "v%d", j + 1);
            varType[j] = 3;
        }
        optVarTipo = 1;
        temDados = 1;
        SetDataType(0, 0, 0);
        // Euclidean distances between units, as key R leaves them.
        nRows = nObj;
        nCols = nVar;
        rese = dim2DT<double>(nRows, nRows);
        ResemblanceLib(nObj, nVar, data, rese, 1, 3, varType, 1, 0, 0, false);
        optReseTipo = 3;
        optReseDir = 1;
        temRese = 1;
    }
    // Runs a driver on the answers; fails the test when it reads past them.
    template <class F>
    void Run(const std::string& answers, F&& driver) {
        int code = ThrownCode([&] { WithConsole(answers, shown_, driver); });
        ASSERT_EQ(code, 0) << "the dialogue read past its answers:\n" << shown_;
    }
    // The sampler's part of the report.
    std::string Sampler() {
        std::string r = Slurp("Vidive.txt");
        size_t p = r.find("\n\nSAMPLER\n");
        return p == std::string::npos ? "" : r.substr(p);
    }

    Matrix x_;
    std::string shown_, folder_;
    std::filesystem::path previous_;
    FILE* sink_ = nullptr;
    int threads_ = 1;
};

// Three loose clusters of four units in the plane.
const Matrix kClusters = {{0, 0},   {1, 0},   {0, 1.5}, {1.2, 1}, {6, 0},   {7, 1},
                          {6.5, -1}, {7.5, 0.3}, {3, 6},   {4, 7},   {2.5, 7.5}, {3.5, 5.5}};

// Eight units on three variables with distinct eigenvalues.
const Matrix kEight = {{2, 5, 1}, {4, 1, 3}, {7, 3, 2}, {1, 8, 6}, {5, 5, 9}, {9, 2, 4}, {3, 7, 7}, {6, 6, 1}};

TEST_F(Samplers, SavedSharpnessIterationRecomputed) {
    Data(kClusters);
    // Average linkage, sampler: K 3, sizes 6, 9, 12, one iteration, seed 99, saved.
    Run("4\ny\n3\n6\n3\n1\n2\n99\ny\nn\n", Cluster);
    const std::string report = Sampler();
    ASSERT_NE(report.find("INTERMEDIATE RESULTS ITERATION 1:\n"), std::string::npos) << shown_;
    const int n = 12;
    size_t at = 0;
    std::vector<Vec> finalG(2);
    for (int step = 1; step <= 3; step++) {
        const int s = 3 + 3 * step;
        ASSERT_NE(at = report.find("Sampling step: " + std::to_string(step) + ", Number of sampling units: " +
                                       std::to_string(s),
                                   at),
                  std::string::npos);
        for (int k = 2; k <= 3; k++) {
            const std::string heading =
                "partitions with " + std::to_string(k) + " groups in each, generated by independent";
            at = report.find(heading, at);
            ASSERT_NE(at, std::string::npos);
            const Vec units = After(report, "Sampling units:\t", at);
            const Vec groups = After(report, "Groups:        \t", at);
            ASSERT_EQ(units.size(), static_cast<size_t>(n + s));
            ASSERT_EQ(groups.size(), units.size());
            // The set of n + s units, by group.
            std::vector<std::vector<Vec>> members(2 * k);
            std::vector<Vec> all;
            for (size_t u = 0; u < units.size(); u++) {
                members[static_cast<int>(groups[u]) - 1].push_back(x_[static_cast<int>(units[u]) - 1]);
                all.push_back(x_[static_cast<int>(units[u]) - 1]);
            }
            auto between = [&](int a, int b) {
                std::vector<Vec> pooled = members[a];
                pooled.insert(pooled.end(), members[b].begin(), members[b].end());
                return Q(pooled) - Q(members[a]) - Q(members[b]);
            };
            const double T = Q(all);
            double within = 0;
            for (auto& m : members) within += Q(m);
            EXPECT_NEAR(After(report, "Total sum of squares (T): ", at)[0], T, 1e-5 * T);
            EXPECT_NEAR(After(report, "Sum of squares within groups: ", at)[0], within, 1e-5 * T);
            const double S = After(report, "(S): ", at)[0];
            const Vec pairs = After(report, "Nearest neighbour groups: ", at);
            ASSERT_EQ(pairs.size(), static_cast<size_t>(2 * k));
            double matched = 0;
            Ints pairOf(k);
            for (int i = 0; i < k; i++) {
                EXPECT_EQ(pairs[2 * i], i + 1);
                pairOf[i] = static_cast<int>(pairs[2 * i + 1]) - 1;
                matched += between(i, pairOf[i]);
            }
            EXPECT_NEAR(S, matched, 1e-5 * T + 1e-9);
            // Every exclusive pairing: none costs less.
            Ints perm(k);
            std::iota(perm.begin(), perm.end(), k);
            double best = 1e300;
            do {
                double c = 0;
                for (int i = 0; i < k; i++) c += between(i, perm[i]);
                best = std::min(best, c);
            } while (std::next_permutation(perm.begin(), perm.end()));
            EXPECT_NEAR(S, best, 1e-5 * T + 1e-9);
            const double G = After(report, "contrasts: ", at)[0];
            EXPECT_NEAR(G, 1 - matched / T, 1e-5);
            finalG[k - 2].push_back(G);

            // The null sample: each matched sample group drawn from the
            // reference group it was matched to.
            at = report.find("Reference and NULL bootstrap sample", at);
            const Vec nullUnits = After(report, "Sampling units:\t", at);
            const Vec nullGroups = After(report, "Groups:        \t", at);
            ASSERT_EQ(nullGroups, groups);
            std::vector<Vec> nullAll;
            for (size_t u = 0; u < nullUnits.size(); u++) {
                nullAll.push_back(x_[static_cast<int>(nullUnits[u]) - 1]);
                if (u < static_cast<size_t>(n)) continue;
                const int sampleGroup = static_cast<int>(groups[u]) - k - 1;
                const int refGroup = std::find(pairOf.begin(), pairOf.end(), sampleGroup + k) - pairOf.begin();
                EXPECT_EQ(groups[static_cast<int>(nullUnits[u]) - 1], refGroup + 1) << "unit " << nullUnits[u];
            }
            EXPECT_NEAR(After(report, "(TNull): ", at)[0], Q(nullAll), 1e-5 * Q(nullAll));
        }
    }
    // One iteration: the averages are that iteration's values.
    size_t fin = report.find("Average of sample attribute (G*) generated by 1 random");
    ASSERT_NE(fin, std::string::npos);
    for (int k = 2; k <= 3; k++) {
        const Vec avg = After(report, "\n" + std::to_string(k) + " groups:\t", fin);
        ASSERT_EQ(avg.size(), 3u);
        for (int st = 0; st < 3; st++) EXPECT_NEAR(avg[st], finalG[k - 2][st], 1e-5);
    }
    EXPECT_NE(report.find("Considering partitions with 2 to 3 groups.\n"), std::string::npos);
}

TEST_F(Samplers, IdentitySampleIsSharpAndStable) {
    Data(kClusters);
    const int n = 12, K = 4;
    clusterReport* records = NewClusterReports(n, 0, false);
    LinkageCluster(n, rese, records, true, false, 4, true);
    testmat::Table D2(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) D2[i][j] = rese[i][j] * rese[i][j];
    Ints identity(n);
    std::iota(identity.begin(), identity.end(), 1);
    // One size: G* and the counts per level (K - 1 of them).
    testmat::Table G(K - 1, 1);
    Ints counts(K - 1, 0), groupCounts((K - 1) * K, 0);
    std::vector<int*> countRows, groupRows;
    for (int L = 0; L < K - 1; L++) countRows.push_back(&counts[L]), groupRows.push_back(&groupCounts[L * K]);
    std::vector<int**> groupLevels;
    for (int L = 0; L < K - 1; L++) groupLevels.push_back(&groupRows[L]);
    InitRndNumberGenerator(5);
    GroupPartitionSharpness_PerGroup(1, 1, 1, n, 0, n, rese, D2.x, true, true, records, identity.data(), 'n', G.x,
                                     countRows.data(), nullptr, groupLevels.data(), K, 4, nullptr);
    for (int L = 0; L < K - 1; L++) EXPECT_EQ(G[L][0], 1.0) << L + 2 << " groups";
    // Without the per-group counts, on a work made beforehand: the same G* and
    // counts from the same draws.
    testmat::Table G2(K - 1, 1);
    Ints counts2(K - 1, 0);
    std::vector<int*> countRows2;
    for (int L = 0; L < K - 1; L++) countRows2.push_back(&counts2[L]);
    SharpnessWork* work = NewSharpnessWork(n, K, D2.x, records, 4, nullptr);
    InitRndNumberGenerator(5);
    GroupPartitionSharpness(1, 1, 1, n, 0, n, rese, D2.x, true, true, records, identity.data(), 'n', G2.x,
                            countRows2.data(), work, K, 4, nullptr);
    FreeSharpnessWork(work);
    for (int L = 0; L < K - 1; L++) EXPECT_EQ(G2[L][0], 1.0) << L + 2 << " groups";
    EXPECT_EQ(counts2, counts);
    FreeClusterReports(records, n);

    // Principal coordinates of kEight, the sample the whole data in order.
    Data(kEight);
    Run("1\nn\nn\n", Ordenacao);
    ASSERT_EQ(rank, 3);
    testmat::Table ro(3, 1);
    std::vector<int> p(3, 0);
    std::vector<int*> pRows = {&p[0], &p[1], &p[2]};
    Ints all(8);
    std::iota(all.begin(), all.end(), 1);
    StabilityWork* stability = NewStabilityWork(3);  // a work of the caller's gives the same
    for (StabilityWork* w : {static_cast<StabilityWork*>(nullptr), stability}) {
        BootstrappedOrdination_D(1, 1, 0, 8, all.data(), ro.x, pRows.data(), 3, escores, 'n', nullptr, w);
        for (int a = 0; a < 3; a++) EXPECT_NEAR(ro[a][0], 1.0, 1e-9) << "axis " << a + 1;
    }
    FreeStabilityWork(stability);

    // Squared distances (post-transformation 1): the samples are ordinated
    // from the same post-transformed resemblance as the reference was.
    ResemblanceLib(8, 3, data, rese, 1, 3, 1, varType, 1, 0, 0, false);
    optPostReseTransf = 1;
    Run("1\nn\nn\n", Ordenacao);
    ASSERT_GE(rank, 2);
    BootstrappedOrdination_D(1, 1, 0, 8, all.data(), ro.x, pRows.data(), 2, escores, 'n', nullptr, nullptr);
    for (int a = 0; a < 2; a++) EXPECT_NEAR(ro[a][0], 1.0, 1e-9) << "squared, axis " << a + 1;
    optPostReseTransf = 0;
}

// Principal coordinates of kEight (Euclidean), A = 2, sizes 4, 6, 8, one
// saved iteration: each ro* from the printed sample, whose coordinates are
// computed here, and the printed reference scores of its units.
TEST_F(Samplers, SavedStabilityIterationRecomputed) {
    Data(kEight);
    Run("1\nn\ny\n2\n4\n2\n1\n2\n7\ny\n", Ordenacao);
    const std::string report = Sampler();
    ASSERT_NE(report.find("INTERMEDIATE RESULTS ITERATION 1:\n"), std::string::npos) << shown_;
    ASSERT_NE(report.find("\nReference ordination scores:\n"), std::string::npos);
    size_t at = report.find("INTERMEDIATE RESULTS ITERATION 1:");
    int checked = 0;
    for (int step = 1; step <= 3; step++) {
        const int s = 2 + 2 * step;
        at = report.find("Sampling step: " + std::to_string(step) + ", Number of sampling units: " + std::to_string(s), at);
        ASSERT_NE(at, std::string::npos);
        const Vec units = After(report, "Sampling units in the bootstrap sample: ", at);
        ASSERT_EQ(units.size(), static_cast<size_t>(s));
        // The sample as printed (variables in rows) is the listed units' data.
        Matrix printed = RowsAfter(report, "(variables are rows, sampling units are columns):\n", at, 3);
        Matrix sample(s, Vec(3));
        for (int i = 0; i < s; i++)
            for (int j = 0; j < 3; j++) {
                sample[i][j] = x_[static_cast<int>(units[i]) - 1][j];
                EXPECT_EQ(printed[j][i], sample[i][j]);
            }
        size_t e = report.find("Eigenvalues (first ", at);
        ASSERT_NE(e, std::string::npos);
        const int A1 = atoi(report.c_str() + e + 19);
        const Vec eigen = After(report, "): ", e);
        ASSERT_EQ(eigen.size(), static_cast<size_t>(A1));
        Matrix scores;
        Vec eig;
        PrincipalCoordinates(sample, scores, eig);
        for (int a = 0; a < A1; a++) EXPECT_NEAR(eigen[a], eig[a], 1e-5 * eig[0]);
        const Matrix reference = RowsAfter(report, "reference ordination axis(es):\n", at, A1);
        for (int a = 0; a < A1; a++) {
            Matrix ref(reference.begin(), reference.begin() + a + 1), boot(scores.begin(), scores.begin() + a + 1);
            const Matrix fit = ProcrustesFit(ref, boot);
            const double ro = Pearson(ref[a], fit[a]);
            const Vec printedRo = After(report, "Correlation between reference and bootstrap sample scores (axis " +
                                                    std::to_string(a + 1) + "): ",
                                        at);
            ASSERT_EQ(printedRo.size(), 1u);
            EXPECT_NEAR(printedRo[0], ro, 2e-5) << "size " << s << " axis " << a + 1;
            checked++;
        }
    }
    EXPECT_GE(checked, 4);
}

// A second variable of next to no variance: ro* of the last monitored axis is
// 0 at every size; the first is as usual.
TEST_F(Samplers, LastAxisOfNoVarianceGivesZero) {
    Data({{0, 0.01}, {3, 0.03}, {5, 0.02}, {9, 0.01}, {4, 0.03}, {7, 0.02}, {1, 0.03}, {8, 0.01}});
    Run("1\nn\ny\n2\n4\n4\n5\n2\n3\nn\n", Ordenacao);
    size_t at = Sampler().find("Average ro*:");
    ASSERT_NE(at, std::string::npos) << shown_;
    const Vec first = After(Sampler(), "Axis 1:   \t", at), second = After(Sampler(), "Axis 2:   \t", at);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second, Vec({0, 0}));
    EXPECT_GT(first[0], 0.5);
}

// Five units; a seed whose first list repeats a unit among its first three:
// the sample of 3 then has one axis, and axis 2 at size 3 is never defined.
TEST_F(Samplers, UndefinedCellPrintsMissingWithCountZero) {
    Data({{0, 1}, {2, 5}, {4, 2}, {7, 6}, {9, 3}});
    unsigned seed = 1;
    for (;; seed++) {
        Ints l = FirstList(seed, 5);
        if (l[0] == l[1] || l[0] == l[2] || l[1] == l[2]) break;
    }
    Run("1\nn\ny\n2\n3\n1\n1\n2\n" + std::to_string(seed) + "\nn\n", Ordenacao);
    const std::string report = Sampler();
    size_t at = report.find("Average ro*:");
    ASSERT_NE(at, std::string::npos) << shown_;
    EXPECT_EQ(After(report, "Axis 2:   \t", at)[0], -999);
    at = report.find("Probabilities P(roRnd >= ro)");
    EXPECT_EQ(After(report, "Axis 2:   \t", at)[0], -999);
    at = report.find("The actual number of iterations");
    EXPECT_EQ(After(report, "Axis 1:   \t", at), Vec({1, 1, 1}));
    EXPECT_EQ(After(report, "Axis 2:   \t", at)[0], 0);
    EXPECT_EQ(report.find("nan"), std::string::npos);
}

// One seed, 1 and 4 threads: the same reports, the saved iterations' blocks
// included, but for the time, elapsed time and thread lines.
TEST_F(Samplers, SameReportOnOneAndFourThreads) {
    struct Case {
        const char* name;
        Matrix x;
        std::string answers;
        int (*driver)();
    } cases[] = {
        {"sharpness", kClusters, "4\ny\n3\n5\n2\n12\n2\n4242\nn\n", nullptr},
        {"sharpness saved", kClusters, "3\ny\n2\n6\n3\n3\n2\n4242\ny\n", nullptr},
        {"stability", kEight, "1\nn\ny\n2\n3\n2\n12\n2\n4242\nn\n", Ordenacao},
        {"stability saved", kEight, "1\nn\ny\n3\n4\n4\n3\n2\n4242\ny\n", Ordenacao},
    };
    for (const Case& c : cases) {
        std::string reports[2];
        for (int t = 0; t < 2; t++) {
            InitMultiprocessing(t == 0 ? 1 : 4);
            Data(c.x);
            remove("Vidive.txt");
            if (c.driver)
                Run(c.answers, c.driver);
            else
                Run(c.answers, Cluster);
            reports[t] = Steady(Sampler());
        }
        ASSERT_NE(reports[0].find("Initializer of pseudo-random number generator: 4242"), std::string::npos)
            << c.name << shown_;
        EXPECT_EQ(reports[0], reports[1]) << c.name;
    }
}

TEST_F(Samplers, DialogueRefusalsAndHeader) {
    // K = 2: one level; an initial size below K + 1 is asked again.
    Data(kClusters);
    testing::internal::CaptureStderr();
    Run("4\ny\n2\n2\n3\n3\n1\n2\n5\nn\n", Cluster);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("Incorrect input = 2. Reenter."), std::string::npos) << errors;
    std::string report = Sampler();
    EXPECT_NE(report.find("Considering partitions with 2 groups.\n"), std::string::npos) << report;
    EXPECT_NE(report.find("(starting with 3 units at 1st step)"), std::string::npos);
    EXPECT_EQ(report.find("\n3 groups:"), std::string::npos);
    EXPECT_NE(report.find("\n2 groups:\t"), std::string::npos);

    // Refusals that ask nothing more and write no sampler block.
    struct Case {
        const char* name;
        Matrix x;
        std::string message;
    } cases[] = {
        {"two units", {{0, 0}, {1, 1}}, "needs at least 3 sampling units"},
        {"all distances 0", {{1, 2}, {1, 2}, {1, 2}, {1, 2}}, "All distances between the sampling units are 0"},
    };
    for (const Case& c : cases) {
        Data(c.x);
        remove("Vidive.txt");
        Run("4\ny\n", Cluster);
        EXPECT_NE(shown_.find(c.message), std::string::npos) << c.name << shown_;
        EXPECT_EQ(Sampler(), "") << c.name;
    }

    // A report that cannot be opened: fopenck's message, nothing runs.
    Data(kClusters);
    remove("Vidive.txt");
    std::filesystem::create_directory("Vidive.txt");
    testing::internal::CaptureStderr();
    Run("4\ny\n2\n3\n3\n5\n2\n5\nn\n", Cluster);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("can't open Vidive.txt"), std::string::npos);
    std::filesystem::remove("Vidive.txt");
}

TEST(CheckZeroData, KeepsTheColumnsWithAValueAndSaysWhichTheyWere) {
    testmat::Table X = {{0, 1, 0, -2}, {0, 0, 0, 3}};
    testmat::Table Y(2, 4);
    Y[0][3] = 7;  // zero-filled first
    int cols = -1, columns[4] = {-1, -1, -1, -1};
    CheckZeroData(2, 4, &cols, X.x, Y.x, columns);
    EXPECT_EQ(cols, 2);
    EXPECT_EQ(columns[0], 1);
    EXPECT_EQ(columns[1], 3);
    const double expected[2][4] = {{1, -2, 0, 0}, {0, 3, 0, 0}};
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 4; j++) EXPECT_EQ(Y[i][j], expected[i][j]);
    // The form without the column numbers.
    testmat::Table Z(2, 4);
    cols = -1;
    CheckZeroData(2, 4, &cols, X.x, Z.x);
    EXPECT_EQ(cols, 2);
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 4; j++) EXPECT_EQ(Z[i][j], expected[i][j]);
}

}  // namespace
