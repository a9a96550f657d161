// Bootstrap samplers of means and entropy: the options dialogue, the sample
// sizes and tails, and the reports checked against runs rebuilt here from the
// draw rule of the bootstrap lists on a private GSL generator, with the
// statistics computed the two-pass way and the limits read off sorted values.
#include <gtest/gtest.h>
#include <gsl/gsl_rng.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "iflibG.h"
#include "dataset_util.h"
#include "levels_util.h"
#include "rhlibDim.h"
#include "rhlib_M.h"
#include "samplerM.h"
#include "stream_util.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

using Ints = std::vector<int>;
using Vec = std::vector<double>;
using Table = std::vector<Vec>;  // units x variables
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---------------------------------------------------------------------------
// Sizes, the even-product rule and the tails
// ---------------------------------------------------------------------------

TEST(BootstrapSizes, StepsAndSizes) {
    struct Case {
        int n, initial, step;
        Ints sizes;
    } cases[] = {
        {10, 3, 4, {3, 7, 10}}, {10, 10, 0, {10}},   {20, 5, 5, {5, 10, 15, 20}},
        {7, 3, 10, {3, 7}},     {4, 1, 1, {1, 2, 3, 4}}, {10, 3, 0, {3, 10}},  // a step of 0 cannot loop
    };
    for (const Case& c : cases) {
        const int count = CountSteps(c.n, c.initial, c.step);
        ASSERT_EQ(count, static_cast<int>(c.sizes.size())) << c.n << " " << c.initial << " " << c.step;
        Ints sizes(count);
        SampleSizes(c.n, c.initial, c.step, sizes.data());
        EXPECT_EQ(sizes, c.sizes);
    }
    EXPECT_EQ(CountSteps(2147483647, 2147483600, 2147483647), 2);  // no wrap past the largest int
}

TEST(BootstrapIterations, RaisedToAnEvenProductWithinTheCap) {
    struct Case {
        int typed;
        double alpha;
        int raised;  // 0: refused
    } cases[] = {
        {999, 0.05, 1000}, {10, 0.05, 40},      {1, 0.05, 40},       {10, 0.07, 1000},
        {999, 0.001, 2000}, {999, 0.025, 1040}, {999, 0.333333, 0}, {999, 0.1234567, 0},
        {999, 0.0, 0},     {0, 0.05, 0},        {999, 1.0, 1000},    {2147483647, 0.05, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BootstrapEvenIterations(c.typed, c.alpha), c.raised) << c.typed << " at " << c.alpha;
        if (c.raised > 0) {
            // An even whole product: each tail holds exactly iterations x alpha / 2.
            const int m = BootstrapTailSize(c.raised, c.alpha);
            EXPECT_EQ(2.0 * m, c.raised * c.alpha);
        }
    }
    EXPECT_EQ(BootstrapIterationCap(999), 10999);
    EXPECT_EQ(BootstrapIterationCap(5000), 50000);
    EXPECT_EQ(BootstrapIterationCap(2000000000), 2147483647);
}

TEST(BootstrapTails, MthSmallestAndLargestAgainstSorting) {
    std::mt19937 g(7);
    for (int m : {1, 3, 25}) {
        for (int count : {m - 1, m, 40, 400}) {
            std::uniform_int_distribution<int> tie(0, 6);  // many ties
            Vec values(count), low(m), high(m);
            BootstrapTailsReset(m, low.data(), high.data());
            for (double& v : values) {
                v = tie(g) * 0.5;
                BootstrapTailsAdd(m, low.data(), high.data(), v);
            }
            double lower, upper;
            BootstrapTailsLimits(m, low.data(), high.data(), count, &lower, &upper);
            if (count < m) {
                EXPECT_EQ(lower, MISSING);
                EXPECT_EQ(upper, MISSING);
                continue;
            }
            std::sort(values.begin(), values.end());
            EXPECT_EQ(lower, values[m - 1]) << m << " of " << count;
            EXPECT_EQ(upper, values[count - m]) << m << " of " << count;
        }
    }
}

// ---------------------------------------------------------------------------
// The reference: the bootstrap lists replayed on a private generator
// ---------------------------------------------------------------------------

struct Replay {
    gsl_rng* g;
    explicit Replay(unsigned seed) : g(gsl_rng_alloc(gsl_rng_mt19937)) { gsl_rng_set(g, seed); }
    ~Replay() { gsl_rng_free(g); }
    // list[i] = 1 + U(n), in order.
    Ints List(int n) {
        Ints l(n);
        for (int& u : l) u = 1 + static_cast<int>(gsl_rng_uniform_int(g, n));
        return l;
    }
};

// Two-pass statistics of the non-missing values; NaN where undefined.
Vec Moments(Vec x) {
    x.erase(std::remove(x.begin(), x.end(), MISSING), x.end());
    const double c = x.size();
    if (c < 1) return {kNaN, kNaN, kNaN};
    long double mean = 0;
    for (double v : x) mean += v;
    mean /= c;
    long double q = 0, k = 0;
    for (double v : x) q += (v - mean) * (v - mean), k += (v - mean) * (v - mean) * (v - mean);
    // Equal values have no spread, whatever the rounding of their mean.
    if (*std::min_element(x.begin(), x.end()) == *std::max_element(x.begin(), x.end())) q = k = 0;
    const long double m2 = q / c, m3 = k / c;
    return {static_cast<double>(mean), c >= 2 ? static_cast<double>(std::sqrt(q / (c - 1))) : kNaN,
            m2 > 0 ? static_cast<double>(m3 / std::pow(m2, 1.5L)) : 0.0};
}

// Renyi entropy (nats) of the frequencies of the truncated codes.
Vec Entropy(const Vec& x, double alpha) {
    std::map<double, double> freq;
    double total = 0;
    for (double v : x)
        if (v != MISSING) freq[std::trunc(v)] += 1, total += 1;
    if (total == 0) return {kNaN};
    double s = 0;
    for (auto& f : freq) {
        const double p = f.second / total;
        s += alpha == 1 ? -p * std::log(p) : std::pow(p, alpha);
    }
    return {alpha == 1 ? s : std::log(s) / (1 - alpha)};
}

// Every iteration's value of every cell [stat][variable][size], drawn as the
// samplers draw: one list of n per iteration, each size a prefix of it.
struct Series {
    std::vector<std::vector<std::vector<Vec>>> v;
    unsigned long nextDraw;  // the generator's next output after the run
};

Series RunReference(const Table& x, const Ints& sizes, int iterations, unsigned seed, bool means,
                    double alphaEntropy) {
    const int n = x.size(), p = x[0].size(), stats = means ? 3 : 1;
    Series s;
    s.v.assign(stats, std::vector<std::vector<Vec>>(p, std::vector<Vec>(sizes.size())));
    Replay r(seed);
    for (int it = 0; it < iterations; it++) {
        Ints list = r.List(n);
        for (int j = 0; j < p; j++)
            for (size_t k = 0; k < sizes.size(); k++) {
                Vec sample;
                for (int i = 0; i < sizes[k]; i++) sample.push_back(x[list[i] - 1][j]);
                Vec stat = means ? Moments(sample) : Entropy(sample, alphaEntropy);
                for (int st = 0; st < stats; st++) s.v[st][j][k].push_back(stat[st]);
            }
    }
    s.nextDraw = gsl_rng_get(r.g);
    return s;
}

// Average over the defined values and the m-th smallest and largest of them;
// MISSING where they cannot be formed.
struct Summary {
    double average, lower, upper;
};
Summary Summarise(Vec values, int m) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }),
                 values.end());
    const int c = values.size();
    double sum = 0;
    for (double v : values) sum += v;
    std::sort(values.begin(), values.end());
    return {c > 0 ? sum / c : MISSING, c >= m ? values[m - 1] : MISSING, c >= m ? values[c - m] : MISSING};
}

// ---------------------------------------------------------------------------
// The report
// ---------------------------------------------------------------------------

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The numbers of the row "\nVar. <label>: " (or ":\t") that first follows
// each of the headings in turn; empty when a heading or the row is absent.
Vec Row(const std::string& report, const std::vector<std::string>& headings, const std::string& label) {
    size_t at = 0;
    for (const std::string& h : headings) {
        at = report.find(h, at);
        if (at == std::string::npos) return {};
    }
    at = report.find("\nVar. " + label + ":", at);
    if (at == std::string::npos) return {};
    const char* c = report.c_str() + at + 7 + label.size();
    Vec v;
    for (;;) {
        while (*c == ' ' || *c == '\t') c++;
        if (*c == '\n' || *c == '\0') return v;
        char* end;
        double d = strtod(c, &end);
        if (end == c) return v;
        v.push_back(d);
        c = end;
    }
}

bool Near(double a, double b) { return std::fabs(a - b) <= 1e-10 * std::max(1.0, std::fabs(b)); }

// A current data set in a scratch folder of its own; globals restored after.
class Sampler : public testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tevlan_samplerXXXXXX";
        folder_ = mkdtemp(tmpl);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
        quiet_ = std::make_unique<QuietProgress>();
        savedTypes_ = varType;
        savedLabels_ = varLabels;
        port = optTrEs = 0;
        eng = 1;
        sDigits = 15;
        alphaEntropy = 1;
    }
    void TearDown() override {
        varType = savedTypes_;
        varLabels = savedLabels_;
        optTrEs = 0;
        port = 0;
        eng = 1;
        sDigits = 5;
        if (data_) free2DT(data_, static_cast<int>(x_.size()));
        if (labels_) free2DT(labels_, static_cast<int>(types_.size()));
        quiet_.reset();
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_);
    }
    void Data(const Table& x, const Ints& types, std::vector<std::string> names = {}) {
        x_ = x;
        types_ = types;
        if (names.empty())
            for (size_t j = 0; j < types.size(); j++) names.push_back("v" + std::to_string(j + 1));
        names_ = names;
        data_ = dim2DT<double>(x.size(), types.size());
        for (size_t i = 0; i < x.size(); i++)
            for (size_t j = 0; j < types.size(); j++) data_[i][j] = x[i][j];
        labels_ = dim2DT<char>(types.size(), 30);
        for (size_t j = 0; j < types.size(); j++) snprintf(labels_[j], 30, "%s", names[j].c_str());
        varType = types_.data();
        varLabels = labels_;
    }
    // Reads an example file: n x p numbers, n unit labels, p variable labels.
    void Example(const std::string& file, int n, int p, int type) {
        std::ifstream f(std::string(TEVLAN_TEST_DATA) + "/" + file);
        Table x(n, Vec(p));
        for (auto& row : x)
            for (double& v : row) f >> v;
        std::string word;
        for (int i = 0; i < n; i++) f >> word;
        std::vector<std::string> names(p);
        for (auto& name : names) f >> name;
        Data(x, Ints(p, type), names);
    }
    std::string Run(bool (*sampler)(int, int, double**), const std::string& answers) {
        std::string console;
        CaptureStderr();
        WithConsole(answers, console, [&] { sampler(x_.size(), types_.size(), data_); });
        err_ = GetCapturedStderr();
        return console;
    }
    // Every cell of every variable taken, against the reference.
    void ExpectReport(const Series& ref, const Ints& taken, int m, const std::vector<std::string>& titles) {
        const std::string report = Slurp("Vidive.txt");
        for (size_t st = 0; st < titles.size(); st++)
            for (int j : taken) {
                const std::string& name = names_[j];
                Vec avg = Row(report, {titles[st], "Average"}, name);
                Vec lo = Row(report, {titles[st], "Lower limits"}, name);
                Vec up = Row(report, {titles[st], "Upper limits"}, name);
                Vec diff = Row(report, {titles[st], "Difference"}, name);
                const size_t steps = ref.v[st][j].size();
                ASSERT_EQ(avg.size(), steps) << titles[st] << " " << name;
                ASSERT_EQ(lo.size(), steps);
                ASSERT_EQ(up.size(), steps);
                ASSERT_EQ(diff.size(), steps);
                for (size_t k = 0; k < steps; k++) {
                    Summary s = Summarise(ref.v[st][j][k], m);
                    EXPECT_PRED2(Near, avg[k], s.average) << titles[st] << " " << name << " step " << k;
                    EXPECT_PRED2(Near, lo[k], s.lower) << titles[st] << " " << name << " step " << k;
                    EXPECT_PRED2(Near, up[k], s.upper) << titles[st] << " " << name << " step " << k;
                    EXPECT_PRED2(Near, diff[k], s.lower == MISSING ? MISSING : s.upper - s.lower);
                }
            }
    }

    std::string folder_, err_;
    std::filesystem::path previous_;
    std::unique_ptr<QuietProgress> quiet_;
    int* savedTypes_ = nullptr;
    char** savedLabels_ = nullptr;
    Table x_;
    Ints types_;
    std::vector<std::string> names_;
    double** data_ = nullptr;
    char** labels_ = nullptr;
};

const std::vector<std::string> kMeanTitles = {"Statistic: MEAN", "Statistic: STANDARD DEVIATION",
                                              "Statistic: SKEWNESS"};
const std::vector<std::string> kEntropyTitles = {"Statistics: Renyi"};

Ints All(int p) {
    Ints t(p);
    for (int j = 0; j < p; j++) t[j] = j;
    return t;
}

// ---------------------------------------------------------------------------
// Dialogue
// ---------------------------------------------------------------------------

TEST(BootstrapOptions, Dialogue) {
    struct Case {
        const char* answers;
        int portuguese, askAlpha;
        bool withSeed;
        int initial, step, iterations, save;
        double alpha;
        unsigned seed;
        std::vector<std::string> shown, notShown;
    } cases[] = {
        {"5 5 999 0.05 2 12345 y n", 0, 1, true, 5, 5, 1000, 'n', 0.05, 12345,
         {"Initial sample size: ", "Number of sampling units added at each sampling step: ",
          "Save intermediate results? y/n  Are you sure? y/n There will be 1000 bootstrap resamplings!"},
         {}},
        {"20 10 0.05 2 7 y", 0, 1, true, 20, 0, 40, 'y', 0.05, 7, {}, {"added at each", "Are you sure"}},
        {"20 999 0.05 2 7 y y", 0, 1, true, 20, 0, 1000, 'y', 0.05, 7, {}, {}},
        // 0 iterations and alpha 0 are asked again; an alpha past the cap gets its line.
        {"3 1 0 999 0 0.333333 0.025 2 4000000000 n", 0, 1, true, 3, 1, 1040, 'n', 0.025, 4000000000u,
         {"\nAlpha 0.333333 would need more than 10999 iterations. Enter another alpha.\n"}, {}},
        {"20 10 0.05 2 7 s", 1, 1, true, 20, 0, 40, 'y', 0.05, 7, {"Guardar resultados intermediarios? s/n  "}, {}},
        {"20 999 0.05 2 7 s n", 1, 1, true, 20, 0, 1000, 'n', 0.05, 7, {"Tem certeza? s/n Sao 1000 reamostragens! "},
         {}},
        // No alpha: the iterations stay as typed; no seed destination: no seed question.
        {"4 2 999 n", 0, 0, false, 4, 2, 999, 'n', -1, 0, {}, {"alpha", "Initialization"}},
    };
    for (const Case& c : cases) {
        port = c.portuguese;
        eng = 1 - port;
        int initial = -1, step = -1, iterations = -1, save = -1;
        unsigned seed = 0;
        double alpha = -1;
        std::string console;
        CaptureStderr();
        WithConsole(c.answers, console, [&] {
            return SetBootstrapOptions(20, 1, &initial, &step, &iterations, c.withSeed ? &seed : nullptr, &save,
                                       c.askAlpha, &alpha);
        });
        GetCapturedStderr();
        EXPECT_EQ(initial, c.initial) << c.answers;
        EXPECT_EQ(step, c.step) << c.answers;
        EXPECT_EQ(iterations, c.iterations) << c.answers;
        EXPECT_EQ(save, c.save) << c.answers;
        EXPECT_EQ(alpha, c.alpha) << c.answers;
        EXPECT_EQ(seed, c.seed) << c.answers;
        for (const std::string& s : c.shown) EXPECT_NE(console.find(s), std::string::npos) << console;
        for (const std::string& s : c.notShown) EXPECT_EQ(console.find(s), std::string::npos) << console;
    }
    port = 0;
    eng = 1;
    // An ended script ends the program through code 2.
    int i, s, it, sv;
    double a;
    std::string console;
    CaptureStderr();
    EXPECT_EQ(ThrownCode([&] {
                  WithConsole("5 5 999", console, [&] { SetBootstrapOptions(20, 1, &i, &s, &it, nullptr, &sv, 1, &a); });
              }),
              2);
    GetCapturedStderr();
}

// ---------------------------------------------------------------------------
// Runs against the replay
// ---------------------------------------------------------------------------

TEST_F(Sampler, MeansOfDuneReplayed) {
    Example("dune.txt", 20, 30, 3);
    const std::string console = Run(SamplerMeans, "5\n5\n999\n0.05\n2\n12345\nn\n");
    const Series ref = RunReference(x_, {5, 10, 15, 20}, 1000, 12345, true, 0);
    EXPECT_EQ(gsl_rng_get(r), ref.nextDraw);  // one list of 20 per iteration, nothing more
    EXPECT_STREQ(modeVidive, "a");

    // The replay itself gives the figures worked out independently for Achimill.
    const Vec mean = {0.7878, 0.7891, 0.790067, 0.79495}, low = {0, 0.1, 0.266667, 0.3}, high = {2, 1.6, 1.4, 1.35},
              sd = {1.06321, 1.14918, 1.1689, 1.18164}, skew = {0.658277, 1.09825, 1.18198, 1.18718};
    for (int k = 0; k < 4; k++) {
        Summary m = Summarise(ref.v[0][0][k], 25);
        EXPECT_NEAR(m.average, mean[k], 5e-7);
        EXPECT_NEAR(m.lower, low[k], 5e-7);
        EXPECT_NEAR(m.upper, high[k], 5e-7);
        EXPECT_NEAR(Summarise(ref.v[1][0][k], 25).average, sd[k], 5e-6);
        EXPECT_NEAR(Summarise(ref.v[2][0][k], 25).average, skew[k], 5e-6);
    }
    ExpectReport(ref, All(30), 25, kMeanTitles);

    const std::string report = Slurp("Vidive.txt");
    for (const char* text :
         {"\n\nSAMPLER\nBootstrap resampling\n-----------------------------------------------------------------\n"
          "Number of sampling units added at each sampling step: 5 (starting with 5 units at 1st step)\n"
          "Sample attributes: mean and standard deviation of each variable\n",
          "Number of sampling steps of size 5 (starting with 5 units at the 1st step): 4\n"
          "Initializer of pseudo-random number generator: 12345\n\nSample size at 4 sampling step(s):\n5\t10\t15\t20\t",
          "\nAverage of the sample mean generated by 1000 random iterations of bootstrap resampling:",
          "\n\nConfidence limits at 0.05 alpha probability (generated by 1000 random iterations of resampling):\n"
          "Lower limits for 4 samples with increasing sizes:\nVar. Achimill: \t0\t0.1\t"})
        EXPECT_NE(report.find(text), std::string::npos) << text;
    EXPECT_EQ(report.find("INTERMEDIATE"), std::string::npos);
}

TEST_F(Sampler, MeansIdenticalOnEveryVectorLevel) {
    // The moments in the registers of each level, 30 columns: every digit of
    // the final tables the same.
    Example("dune.txt", 20, 30, 3);
    sDigits = 17;
    std::string first;
    testlevels::OnEveryLevel([&](simd::Level level) {
        std::filesystem::remove("Vidive.txt");
        Run(SamplerMeans, "3\n4\n99\n0.1\n2\n12345\nn\n");
        const std::string report = Slurp("Vidive.txt");
        const std::string tables = report.substr(report.find("\nSample size at"));
        if (level == simd::kBaseline)
            first = tables;
        else
            EXPECT_EQ(tables, first) << "level " << level;
    });
}

TEST_F(Sampler, EntropyOfNominalDuneReplayed) {
    Example("dune_env_nominal.txt", 20, 4, 2);
    for (double order : {1.0, 2.0}) {
        alphaEntropy = order;
        std::filesystem::remove("Vidive.txt");
        Run(SamplerEntropy, "5\n5\n999\n0.05\n2\n12345\nn\n");
        const Series ref = RunReference(x_, {5, 10, 15, 20}, 1000, 12345, false, order);
        EXPECT_EQ(gsl_rng_get(r), ref.nextDraw);
        ExpectReport(ref, All(4), 25, kEntropyTitles);
        if (order != 1) continue;
        const Vec avg = {0.938696, 1.11974, 1.17442, 1.20314}, low = {0.500402, 0.673012, 0.882311, 0.926507},
                  high = {1.33218, 1.36616, 1.36245, 1.36616};
        for (int k = 0; k < 4; k++) {
            Summary s = Summarise(ref.v[0][0][k], 25);
            EXPECT_NEAR(s.average, avg[k], 5e-6);
            EXPECT_NEAR(s.lower, low[k], 5e-6);
            EXPECT_NEAR(s.upper, high[k], 5e-6);
        }
    }
}

TEST_F(Sampler, FewIterationsGiveTheExtremes) {
    Example("dune.txt", 20, 30, 3);
    Run(SamplerMeans, "3\n4\n10\n0.05\n2\n99\nn\n");
    EXPECT_NE(Slurp("Vidive.txt").find("generated by 40 random iterations"), std::string::npos);
    ExpectReport(RunReference(x_, {3, 7, 11, 15, 19, 20}, 40, 99, true, 0), All(30), 1, kMeanTitles);
}

// A report that takes nothing more (a full disc): both the heading and the
// final block say that they could not be written.
TEST_F(Sampler, AReportThatCannotBeWrittenIsSaidSo) {
    Example("dune.txt", 20, 30, 3);
    std::ofstream("Vidive.txt") << std::string(4096, 'x');
    FullDisc full(4096);
    Run(SamplerMeans, "3\n4\n10\n0.05\n2\n99\nn\n");
    EXPECT_EQ(err_, "\nFAIL TO PRINT ON FILE Vidive.txt !!!\n\nFAIL TO PRINT ON FILE Vidive.txt !!!\n");
}

// Real values far from 0 (stability), a constant column, missing values, an
// all-missing column and a sample of one unit: numbers or -999, never nan or
// inf, and the two-pass values to 1e-10. The entropy sampler takes the same
// columns as nominal codes: -999 is never one of their states.
TEST_F(Sampler, UndefinedAndMissingValues) {
    std::mt19937 g(3);
    std::lognormal_distribution<double> value(0, 1);
    Table x(13, Vec(4));
    for (int i = 0; i < 13; i++) {
        x[i][0] = 1e4 + value(g);
        x[i][1] = 0.7;
        x[i][2] = i % 3 == 0 ? MISSING : 3 * value(g);
        x[i][3] = MISSING;
    }
    Data(x, {3, 3, 1, 3});
    for (bool means : {true, false}) {
        if (!means) {
            types_ = {2, 2, 1, 2};
            varType = types_.data();
        }
        std::filesystem::remove("Vidive.txt");
        Run(means ? SamplerMeans : SamplerEntropy, "1\n3\n99\n0.1\n2\n5\nn\n");  // 100 iterations, m = 5
        const std::string report = Slurp("Vidive.txt");
        EXPECT_EQ(report.find("nan"), std::string::npos);
        EXPECT_EQ(report.find("inf"), std::string::npos);
        ExpectReport(RunReference(x_, {1, 4, 7, 10, 13}, 100, 5, means, 1), All(4), 5,
                     means ? kMeanTitles : kEntropyTitles);
        // An all-missing column has nothing, in every cell.
        EXPECT_EQ(Row(report, {means ? "MEAN" : "Renyi", "Upper"}, "v4"), Vec(5, MISSING));
        if (!means) continue;
        // A sample of one unit has no standard deviation.
        EXPECT_EQ(Row(report, {"STANDARD DEVIATION", "Average"}, "v1")[0], MISSING);
        EXPECT_EQ(Row(report, {"STANDARD DEVIATION", "Lower"}, "v1")[0], MISSING);
        EXPECT_EQ(Row(report, {"SKEWNESS", "Average"}, "v2"), Vec(5, 0.0));
    }
}

TEST_F(Sampler, IntermediateResultsOfEachIteration) {
    Data({{1, 3}, {2, 1}, {4, 1}, {8, 2}, {0, 1}}, {3, 2});
    alphaEntropy = 1;
    for (auto sampler : {SamplerMeans, SamplerEntropy}) {
        const bool means = sampler == SamplerMeans;
        std::filesystem::remove("Vidive.txt");
        Run(sampler, "2\n2\n1\n1\n2\n21\ny\n");  // 1 x 1 is odd: 2 iterations
        const std::string report = Slurp("Vidive.txt");
        const int j = means ? 0 : 1;
        Replay replay(21);
        Ints list = replay.List(5);
        std::ostringstream resampled;
        for (int u : list) resampled << x_[u - 1][j] << "\t";
        EXPECT_NE(report.find("INTERMEDIATE RESULTS:\n\nResampled data (2 variables in rows, 5 sampling units in "
                              "columns):\n" + resampled.str() + "\n"),
                  std::string::npos)
            << report;
        const Series ref = RunReference(x_, {2, 4, 5}, 2, 21, means, 1);
        const std::string table = means ? "\nSample mean with increasing sample size:\nVariable\tn=2\tn=4\tn=5\t"
                                        : "\nRenyi general entropy of order 1 (nats) with increasing sample size:\n"
                                          "Variable\tn=2\tn=4\tn=5\t";
        Vec first = Row(report, {table}, names_[j]);
        ASSERT_EQ(first.size(), 3u);
        for (int k = 0; k < 3; k++) EXPECT_NEAR(first[k], ref.v[0][j][k][0], 1e-5);
        EXPECT_NE(report.find("\n-----------------------------------------------------------------\nFINAL RESULTS:\n"),
                  std::string::npos);
    }
}

// Means take binary and quantitative variables, entropy binary and
// qualitative ones; under presence/absence every variable is binary.
TEST_F(Sampler, VariablesTakenByType) {
    Data({{1, 0, 2, 1}, {0, 1, 3, 4}, {1, 1, 1, 2}}, {1, 2, 3, 4});
    struct Case {
        bool (*sampler)(int, int, double**);
        int presenceAbsence;
        std::vector<bool> taken;
    } cases[] = {
        {SamplerMeans, 0, {true, false, true, false}},
        {SamplerEntropy, 0, {true, true, false, false}},
        {SamplerMeans, 1, {true, true, true, true}},
        {SamplerEntropy, 1, {true, true, true, true}},
    };
    for (const Case& c : cases) {
        optTrEs = c.presenceAbsence;
        std::filesystem::remove("Vidive.txt");
        Run(c.sampler, "3\n10\n0.05\n2\n1\nn\n");
        const std::string report = Slurp("Vidive.txt");
        EXPECT_EQ(report.find("Number of sampling"), std::string::npos);  // one size: no step lines
        for (int j = 0; j < 4; j++)
            EXPECT_EQ(report.find("\nVar. " + names_[j] + ":") != std::string::npos, c.taken[j])
                << names_[j] << " presence/absence " << c.presenceAbsence;
    }
}

TEST_F(Sampler, AReportThatCannotBeOpenedRunsNothing) {
    Data({{1}, {2}, {3}}, {3});
    std::filesystem::create_directory("Vidive.txt");
    strcpy(modeVidive, "w");
    InitRndNumberGenerator(8);
    Run(SamplerMeans, "3\n10\n0.05\n2\n1\nn\n");
    EXPECT_NE(err_.find("can't open Vidive.txt"), std::string::npos) << err_;
    EXPECT_STREQ(modeVidive, "a");
    Replay untouched(8);  // not reseeded, nothing drawn
    EXPECT_EQ(gsl_rng_get(r), gsl_rng_get(untouched.g));
}

TEST(SamplerVectorMean, LimitsOfTheMeanReplayed) {
    const Vec x = {3, 1, MISSING, 4, 1, 5, 9, 2, 6};
    InitRndNumberGenerator(4242);
    double lower, upper;
    EXPECT_EQ(SamplerVectorMeanFunction(9, x.data(), 999, 0.05, &lower, &upper), 1);
    Replay replay(4242);
    Vec means;
    for (int it = 0; it < 1000; it++) {
        double s = 0;
        int c = 0;
        for (int u : replay.List(9))
            if (x[u - 1] != MISSING) s += x[u - 1], c++;
        if (c > 0) means.push_back(s / c);
    }
    Summary ref = Summarise(means, 25);
    EXPECT_DOUBLE_EQ(lower, ref.lower);
    EXPECT_DOUBLE_EQ(upper, ref.upper);
    for (auto bad : {std::make_pair(0, 0.05), std::make_pair(999, 0.0), std::make_pair(999, 0.333333)}) {
        EXPECT_EQ(SamplerVectorMeanFunction(9, x.data(), bad.first, bad.second, &lower, &upper), 0);
        EXPECT_EQ(lower, MISSING);
        EXPECT_EQ(upper, MISSING);
    }
}

}  // namespace
