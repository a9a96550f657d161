// The report of the permutation MANOVA engine: its lines, with the sums of
// squares computed pair by pair in the test.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <functional>
#include <string>

#include "iflibG.h"
#include "manova_util.h"
#include "stream_util.h"

namespace {

using namespace manovatest;

std::string Format(const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

const std::string kDashes78(78, '-');

int Occurrences(const std::string& text, const std::string& what) {
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) count++;
    return count;
}

Ints Identity(int n) {
    Ints list(n);
    for (int i = 0; i < n; i++) list[i] = i + 1;
    return list;
}

#define EXPECT_HAS(text, part) EXPECT_NE((text).find(part), std::string::npos) << "missing:\n" << (part)

TEST(ManovaReport, OneFactor) {
    const Ints A = {1, 1, 1, 2, 2, 2, 3, 3};
    Design d({A}, 7, 99);
    RandomizationTestManova t(&d.in);
    const std::string r = Printed([&](FILE* f) { t.PrintManovaResults(f, d.unitPtrs.data(), 5, 0, nullptr, true); });
    const Ints id = Identity(d.n);
    const double qb = ListQb(d, id, [&](int a) { return A[a]; });
    const double qt = ListQ(d, id, [](int) { return true; });
    const std::string title = "\n" + std::string(79, '-') + "\nRANDOMIZATION TEST\n" + std::string(79, '-') + "\n";
    EXPECT_EQ(r.substr(0, title.size()), title);
    EXPECT_HAS(r, "\nNumber of random permutations plus observed data set: 99\nRandom number generation initializer: 7\n"
                  "Group partition of sampling units:\nSampling units:    u1 u2 u3 u4 u5 u6 u7 u8"
                  "\nFactor A: \nGroups:            1 1 1 2 2 2 3 3\n");
    // Not a series design: the data and restriction notes.
    EXPECT_HAS(r, "\nPermuted data were vectors of raw data.\nRandomization restrictions:none\n");
    const std::string table =
        "\n\nSource of variation   \tSum of squares(Q)   \t P(QbNULL>=Qb)\n" + kDashes78 + "\n" + "\nFactor A: \n" +
        Format("Between groups        \t%20.5g\t%g\n", qb, t.GetManovaResults()->P[0][0]) +
        Format("Within groups         \t%20.5g\n", qt - qb) + kDashes78 + "\n" + Format("Total                 \t%20.5g\n", qt);
    EXPECT_EQ(r.substr(r.size() - table.size()), table);
    EXPECT_EQ(Occurrences(r, "Between groups"), 1);
}

// The lines every variant puts into the table, built from the sums computed
// by the test.
TEST(ManovaReport, TableVariants) {
    const Ints blk = {1, 1, 1, 1, 2, 2, 2, 2}, A = {1, 2, 1, 2, 1, 2, 1, 2};
    const Ints id = Identity(8);
    struct Case {
        const char* name;
        std::vector<Ints> factors;
        std::function<void(Design&)> set;
        std::function<std::vector<std::string>(Design&, RandomizationTestManova&)> expected;
        std::vector<std::string> absent;
    };
    const std::vector<Case> cases = {
        {"block factor without P", {blk, A},
         [](Design& d) {
             d.in.firstFactorBlocks = d.in.nested = true;
             d.in.nestingFactor = 1;
             d.in.nestGroups = d.factors[0].data();
         },
         [&](Design& d, RandomizationTestManova&) {
             const double q = ListQb(d, id, [&](int a) { return blk[a]; });
             return std::vector<std::string>{
                 Format("\nFactor A: \nBetween groups        \t%20.5g\t\n", q),
                 "\nRandom permutation within nesting groups:\t 1 1 1 1 2 2 2 2"};
         },
         {"A         x B", "P(QbNULL>=Qb) *"}},
        {"pseudo-F with Qw of 0", {{1, 2, 3, 4, 5, 6, 7, 8}},
         [](Design& d) { d.in.pseudoF = true; },
         [&](Design& d, RandomizationTestManova&) {
             const double q = ListQ(d, id, [](int) { return true; });
             return std::vector<std::string>{
                 "\n\nSource of variation   \tSum of squares(Q)   \t     F=Qb/Qw\t P(FNULL>=F)\n",
                 Format("Factor A:\nBetween groups        \t%20.5g\t           -\t1\n", q)};
         },
         {}},
        {"pseudo-F", {blk, A},
         [](Design& d) { d.in.pseudoF = true; },
         [&](Design& d, RandomizationTestManova& t) {
             const double cells = ListQb(d, id, [&](int a) { return blk[a] * 10 + A[a]; });
             const double qw = ListQ(d, id, [](int) { return true; }) - cells;
             const double qa = ListQb(d, id, [&](int a) { return A[a]; });
             return std::vector<std::string>{
                 Format("Factor B:\nBetween groups        \t%20.5g\t%12.5g\t%g\n", qa, qa / qw,
                        t.GetManovaResults()->P[1][1]),
                 Format("Between groups        \t%20.5g\t%12.5g\t", cells, cells / qw)};
         },
         {}},
        {"empty cell", {{1, 1, 2, 2, 3, 3, 3, 3}, {1, 2, 1, 2, 1, 1, 1, 1}}, [](Design&) {},
         [&](Design&, RandomizationTestManova&) {
             return std::vector<std::string>{
                 "A         x B        \t",
                 "\nWarning! Data do not contain all the combinations of levels for these factors.\n"};
         },
         {}},
        {"series notes", {blk, A}, [](Design&) {},
         [&](Design&, RandomizationTestManova&) {
             return std::vector<std::string>{"\nFor the all-factor combination effect permutations were unrestricted.\n",
                                             "\t P(QbNULL>=Qb) *\n"};
         },
         {"Permuted data were"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Design d(c.factors, 17, 30);
        c.set(d);
        RandomizationTestManova t(&d.in);
        const std::string r = Printed([&](FILE* f) { t.PrintManovaResults(f, d.unitPtrs.data(), 5, 0, nullptr, true); });
        for (const std::string& line : c.expected(d, t)) EXPECT_HAS(r, line);
        for (const std::string& line : c.absent) EXPECT_EQ(r.find(line), std::string::npos) << line;
    }
}

TEST(ManovaReport, SavedRunBlocksAndIntermediateTable) {
    struct TeamGuard {
        ~TeamGuard() { InitMultiprocessing(0); }
    } guard;
    const Ints A = {1, 1, 2, 2, 3, 3}, B = {1, 2, 1, 2, 1, 2};
    Design d({A, B}, 3, 4);
    d.in.printEachPermutation = true;
    std::string blocks = Printed([&](FILE* f) {
        d.in.report = f;
        RandomizationTestManova t(&d.in);
    });
    const Ints id = Identity(6);
    const double qa = ListQb(d, id, [&](int a) { return A[a]; });
    EXPECT_HAS(blocks, "RANDOMIZATION TEST\nINTERMEDIATE RESULTS Permutation 1\n"
                       "Random permutation of sampling unit vectors:\tu1\tu2\tu3\tu4\tu5\tu6\t\n");
    EXPECT_HAS(blocks, Format("\nFactor A: \nBetween groups        \t%20.5g\t1\n", qa));
    for (int p = 2; p <= 4; p++) EXPECT_HAS(blocks, Format("INTERMEDIATE RESULTS Permutation %d\n", p));
    EXPECT_EQ(Occurrences(blocks, "Number of random permutations"), 1);
    EXPECT_EQ(Occurrences(blocks, "\t Freq(QbNULL>=Qb)\n"), 4);
    EXPECT_EQ(blocks.find("Permutation 5"), std::string::npos);

    d.in.printEachPermutation = false;
    d.in.intermediateTable = true;
    std::string table = Printed([&](FILE* f) {
        d.in.report = f;
        RandomizationTestManova t(&d.in);
    });
    const double qb = ListQb(d, id, [&](int a) { return B[a]; });
    const double cells = ListQb(d, id, [&](int a) { return A[a] * 10 + B[a]; });
    EXPECT_HAS(table, "RANDOMIZATION TEST - INTERMEDIATE RESULTS\n" + std::string(79, '-') +
                          "\nA\tB\tA x B\tAll factors\tRandom permutations\n" + std::string(79, '-') +
                          Format("\n%5g\t%5g\t%20.5g\t%20.5g\tu1\tu2\tu3\tu4\tu5\tu6\t", qa, qb, cells - qa - qb, cells));
    EXPECT_EQ(Occurrences(table, "\tu"), 4 * 6) << "four rows of six units";
}

TEST(ManovaReport, ContrastLabelsOfFortyGroups) {
    Ints A(80);
    for (int i = 0; i < 80; i++) A[i] = i / 2 + 1;
    Design d({A}, 23, 10);
    std::vector<double> c1(40, 0.0), c2(40, 1.0);
    c1[0] = 1, c1[39] = -1, c2[39] = -39;
    double* rows[] = {c1.data(), c2.data()};
    double** factor[] = {rows};
    int count[] = {2};
    d.in.doContrasts = true;
    d.in.contrastCoef = factor;
    d.in.nContrasts = count;
    RandomizationTestManova t(&d.in);
    const std::string r = Printed([&](FILE* f) { t.PrintManovaResults(f, d.unitPtrs.data(), 5); });
    std::string label1 = " 1", label2;
    for (int g = 1; g < 39; g++) label1 += " 0";
    label1 += " -1";
    for (int g = 0; g < 39; g++) label2 += " 1";
    label2 += " -39";
    double** res = t.GetManovaResults()->contrasts[0];
    EXPECT_HAS(r, Format("%-22s\n", "   Contrasts:") + Format("%s\t%20.5g\t\t%g\n", label1.c_str(), res[0][0], res[0][1]) +
                      Format("%s\t%20.5g\t\t%g\n", label2.c_str(), res[1][0], res[1][1]));
    EXPECT_HAS(r, "Order of groups in contrasts: 1 2 3");
}

TEST(ManovaReport, AlternativeStatisticsAndGroupMeans) {
    const Ints A = {1, 1, 1, 2, 2, 2}, B = {5, 6, 5, 6, 5, 6};
    Design d({A, B}, 5, 20, 2);
    d.in.groupMeans = true;
    RandomizationTestManova t(&d.in, 3);
    const std::string r = Printed([&](FILE* f) { t.PrintManovaResults(f, d.unitPtrs.data(), 5, false, 0); });
    manovaResults* res = t.GetManovaResults();
    EXPECT_HAS(r, "Number of random permutations plus observed data: 20\n");
    EXPECT_HAS(r, "\nFactor B: \nGroups:" + std::string(13, ' ') + " 5 6 5 6 5 6\n");
    EXPECT_HAS(r, "(average dissimilaritty, v=1, Sorvin & Dosset 2001).\n\nRandomization restrictions:none\n");
    EXPECT_HAS(r, Format("Factor A:\nMRPP:\t%g\tP(MRPP_Rnd<=MRPP):\t%g\n", res->Qb[0][0], res->P[0][0]));
    // Group means: the mean vector in fields of width 10.
    const double m0 = (d.data[0][0] + d.data[1][0] + d.data[2][0]) / 3;
    const double m1 = (d.data[0][1] + d.data[1][1] + d.data[2][1]) / 3;
    EXPECT_HAS(r, Format("\nMean vectors of each group:\nFactor A:\nGroup 1 (n=3):\t%10.5g\t%10.5g\t\n", m0, m1));

    RandomizationTestManova q(&d.in);
    const std::string rq = Printed([&](FILE* f) { q.PrintManovaResults(f, d.unitPtrs.data(), 5); });
    EXPECT_HAS(rq, "\nInteraction factors A x B:\nGroup 1 x 5 (n=2):\t");
}

TEST(ManovaReport, Portuguese) {
    Design d({{1, 1, 2, 2, 2}}, 9, 10);
    d.in.portuguese = 1;
    d.D[2][0] = std::nan("");
    RandomizationTestManova t(&d.in);
    const std::string r = Printed([&](FILE* f) { t.PrintManovaResults(f, d.unitPtrs.data(), 5); });
    for (const std::string& line :
         {std::string("TESTE DE ALEATORIZACAO"), std::string(" seconds\n"),
          std::string("Os dados permutados foram vetores de dados brutos."), std::string("\nFator A: \n"),
          Format("%-22s\t%20.5g\tnao testavel\n", "Entre grupos", std::nan("")), Format("%-22s\t", "Dentro dos grupos"),
          Format("%-22s\tSoma de quadrados(Q)\t", "Fonte de variacao")})
        EXPECT_HAS(r, line);
    EXPECT_EQ(r.find("Between"), std::string::npos);
}

}  // namespace

namespace {

// A report without the lines that change from run to run: the time stamp
// (the line after the title) and the elapsed time.
std::string Steady(std::string r) {
    const std::string separator = std::string(79, '-') + "\n";
    const size_t stamp = r.find(separator, r.find("RANDOMIZATION TEST")) + separator.size();
    r.erase(stamp, r.find('\n', stamp) + 1 - stamp);
    const size_t elapsed = r.find("Elapsed time: ");
    r.erase(elapsed, r.find('\n', elapsed) + 1 - elapsed);
    return r;
}

// The five forms of the report and the data notes they carry.
TEST(ManovaReport, FormsAndDataNotes) {
    const Ints A = {1, 1, 2, 2, 3, 3, 1, 2}, B = {1, 2, 1, 2, 1, 2, 2, 1};
    Design d({A, B}, 13, 25);
    RandomizationTestManova t(&d.in);
    char** labels = d.unitPtrs.data();
    int one[] = {2}, two[] = {1, 2};
    const std::string plain = Steady(Printed([&](FILE* f) { t.PrintManovaResults(f, labels, 5); }));
    EXPECT_EQ(Steady(Printed([&](FILE* f) { t.PrintManovaResults(f, 5, 0, nullptr, labels); })), plain);
    EXPECT_EQ(Steady(Printed([&](FILE* f) { t.PrintManovaResults(f, labels, 5, 0, nullptr, false); })), plain);
    EXPECT_EQ(Steady(Printed([&](FILE* f) { t.PrintManovaResults(f, labels, 5, 0, nullptr, false, false, 0); })),
              plain);
    const std::string raw = "\nPermuted data were vectors of raw data.\nRandomization restrictions:none\n\n\n";
    EXPECT_HAS(plain, raw);
    EXPECT_HAS(Printed([&](FILE* f) { t.PrintManovaResults(f, 5, 1, one, labels); }),
               "\nPermuted data were vectors of residuals (effect of factor B was removed).\nRandomization "
               "restrictions:none\n");
    EXPECT_HAS(Printed([&](FILE* f) { t.PrintManovaResults(f, 5, 2, two, labels); }),
               "\nPermuted data were vectors of residuals (effects of factors A and B were removed).\n");
    // The default series: its notes instead, and the asterisk that refers to them.
    const std::string series = Printed([&](FILE* f) { t.PrintManovaResults(f, labels, 5, 0, nullptr, true); });
    EXPECT_HAS(series,
               "\nVectors of raw data were used to generate probabilities for the main effects while vectors of "
               "residuals were used for double interactions (both factor effects removed).\nFor each main effect "
               "permutations were restricted within the groups defined by the combination of the other factors.\n"
               "For the all-factor combination effect permutations were unrestricted.\n\n(*) Probabilities P "
               "generated for sum of squares (Qb), except for interactions, where F=Qb/Qw was used as test "
               "criterion.\n\n\nSource of variation   \tSum of squares(Q)   \t P(QbNULL>=Qb) *\n");
    EXPECT_EQ(series.find("Permuted data were"), std::string::npos);
    EXPECT_EQ(plain.find(" *\n"), std::string::npos);
}

// The notes on how the permutations were restricted and balanced.
TEST(ManovaReport, RestrictionAndBalancingNotes) {
    const Ints A = {1, 2, 1, 2, 1, 2, 1, 2, 2, 2, 2, 2};
    const Ints nest = {1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2}, bund = {1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6};
    const std::string bundles = "\nUnits randomly permuted as bundles:\t 1 1 2 2 3 3 4 4 5 5 6 6";
    const std::string nesting = "\nRandom permutation within nesting groups:\t 1 1 1 1 1 1 2 2 2 2 2 2";
    struct Case {
        const char* name;
        bool nested, bundles, only, synchronized, balance, always;
        std::string notes;  // from "Randomization restrictions:" to the table
    };
    const std::vector<Case> cases = {
        {"none", false, false, false, false, false, false, "none\n"},
        {"nesting", true, false, false, false, false, false, nesting},
        {"bundles", false, true, false, false, false, false, bundles},
        {"both", true, true, false, false, false, false,
         bundles + nesting + "\nPermutation of units within nesting groups, followed by permutation of the bundles.\n"},
        {"bundles only", true, true, true, false, false, false,
         bundles + nesting + "\nPermutation of bundles within nesting groups.\n"},
        {"synchronized", true, false, false, true, false, false,
         nesting + "\nSynchronized permutations were performed.\n"},
        {"balanced", false, false, false, false, true, false,
         "none\nBalancing analysis was performed when group sizes were unequal.\n"},
        {"always balanced", false, false, false, false, true, true,
         "none\nBalancing analysis was always performed even when group sizes equal.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Synchronized nesting needs groups of equal size.
        Design d({c.synchronized ? Ints{1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2} : A}, 3, 10);
        d.in.nested = c.nested;
        d.in.permuteBundles = c.bundles;
        d.in.bundlesOnly = c.only;
        d.in.synchronized = c.synchronized;
        d.in.balance = c.balance;
        d.in.balanceAlways = c.always;
        d.in.nestGroups = const_cast<int*>(nest.data());
        d.in.bundleGroups = const_cast<int*>(bund.data());
        RandomizationTestManova t(&d.in);
        ASSERT_FALSE(t.Refused());
        EXPECT_HAS(Printed([&](FILE* f) { t.PrintManovaResults(f, d.unitPtrs.data(), 5); }),
                   "\nRandomization restrictions:" + c.notes + "\n\nSource of variation");
    }
}

// Three factors: the three-factor line; four: the other interactions.
TEST(ManovaReport, ThreeFactorTermAndOtherInteractions) {
    const Ints A = {1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 2, 1}, B = {1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 2},
               C = {1, 1, 1, 1, 2, 2, 2, 2, 1, 1, 2, 2, 2, 1}, E = {1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2};
    const Ints id = Identity(14);
    for (int k : {3, 4}) {
        SCOPED_TRACE(k);
        std::vector<Ints> factors = {A, B, C, E};
        factors.resize(k);
        Design d(factors, 19, 30);
        RandomizationTestManova t(&d.in);
        const std::string r = Printed([&](FILE* f) { t.PrintManovaResults(f, d.unitPtrs.data(), 6); });
        // The terms from sums of squares of cells, each made by the test.
        auto qb = [&](const Ints& which) {
            return ListQb(d, id, [&](int a) {
                int key = 0;
                for (int f : which) key = key * 10 + factors[f][a];
                return key;
            });
        };
        Ints all(k);
        for (int f = 0; f < k; f++) all[f] = f;
        double rest = qb(all);
        for (int i = 0; i < k; i++) rest -= qb({i});
        for (int i = 0; i < k; i++)
            for (int j = i + 1; j < k; j++) rest -= qb({i, j}) - qb({i}) - qb({j});
        manovaResults* res = t.GetManovaResults();
        const std::string dashes = kDashes78 + "\n";
        if (k == 3) {
            EXPECT_HAS(r, dashes + Format("A         x B         x C        \t%13.6g\t%g\n", rest, res->P3));
            EXPECT_GT(res->P3, 1.0 / 30);
        } else {
            EXPECT_HAS(r, dashes + Format("Other interactions    \t%20.6g\n", rest) + dashes +
                              Format("Between groups        \t%20.6g\t%g\n", qb(all), res->P[k][k]));
            EXPECT_EQ(r.find("x C         x"), std::string::npos);
        }
    }
}

// The alternative statistics: the note and line of each, in the full
// report and in the blocks of a saved run, whose frequencies are the counts
// reached so far.
TEST(ManovaReport, AlternativeStatisticsLinesAndBlocks) {
    const Ints A = {1, 1, 1, 2, 2, 2, 3, 3};
    struct Case {
        int statistic;
        std::string note, line, freq;
    };
    const std::vector<Case> cases = {
        {1, "\n(*) Probabilities P generated for the sum F statistic based on ANOVA Fs for each variable.\n",
         "SUM-F:\t%g\tP(SUM-F_Rnd>=SUM-F):\t%g\n", "SUM-F:\t%g\tFreq(SUM-F_Rnd>=SUM-F):\t%g\n"},
        {2,
         "\n(*) Probabilities P generated for the LR-IND likelihood ratio for independent variables statistic "
         "(Eskell & Calvet 2004).\n",
         "LR-IND:\t%g\tP(LR-IND_Rnd>=LR-IND):\t%g\n", "LR-IND:\t%g\tFreq(LR-IND_Rnd>=LR-IND):\t%g\n"},
        {3, "\n(*) Probabilities P generated for the MRPP statistic (average dissimilaritty, v=1, Sorvin & Dosset 2001).\n",
         "MRPP:\t%g\tP(MRPP_Rnd<=MRPP):\t%g\n", "MRPP:\t%g\tFreq(MRPP_Rnd<=MRPP):\t%g\n"},
        {4, "\n(*) Probabilities P generated for the ANOSIM statistic (R, Wendle 1993).\n",
         "ANOSIM R:\t%g\tP(R_Rnd>=R):\t%g\n", "ANOSIM R:\t%g\tFreq(R_Rnd>=R):\t%g\n"},
    };
    struct TeamGuard {
        ~TeamGuard() { InitMultiprocessing(0); }
    } guard;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statistic);
        Design d({A}, 40 + c.statistic, 6, 2);
        RandomizationTestManova t(&d.in, c.statistic);
        manovaResults* res = t.GetManovaResults();
        const std::string r = Printed([&](FILE* f) { t.PrintManovaResults(f, d.unitPtrs.data(), 5, false, 0); });
        EXPECT_HAS(r, c.note + "\nRandomization restrictions:none\n" + kDashes78 + "\nFactor A:\n" +
                          Format(c.line.c_str(), res->Qb[0][0], res->P[0][0]));

        // The saved run: each block's frequency counts the blocks so far whose
        // statistic is as extreme as the observed one.
        d.in.printEachPermutation = true;
        const std::string blocks = Printed([&](FILE* f) {
            d.in.report = f;
            RandomizationTestManova s(&d.in, c.statistic);
        });
        const std::string name = c.line.substr(0, c.line.find('\t') + 1);
        double count = 0, observed = 0;
        size_t at = 0;
        for (int p = 0; p < 6; p++) {
            at = blocks.find(name, at);
            ASSERT_NE(at, std::string::npos) << p;
            const double value = std::stod(blocks.substr(at + name.size()));
            if (p == 0) observed = value;
            count += c.statistic == 3 ? value <= observed : value >= observed;
            EXPECT_EQ(blocks.substr(at, blocks.find('\n', at) + 1 - at), Format(c.freq.c_str(), value, count)) << p;
            at++;
        }
        EXPECT_EQ(Occurrences(blocks, "Number of random permutations"), 1);
        EXPECT_EQ(Occurrences(blocks, "Random permutation of sampling unit vectors"), 0);
    }
}

// The frequencies of a saved run of the Qb test: the counts so far.
TEST(ManovaReport, SavedRunFrequenciesAreTheCountsSoFar) {
    struct TeamGuard {
        ~TeamGuard() { InitMultiprocessing(0); }
    } guard;
    const Ints A = {1, 1, 1, 2, 2, 2, 3, 3};
    Design d({A}, 61, 12);
    d.in.printEachPermutation = true;
    d.in.digits = 17;
    const std::string blocks = Printed([&](FILE* f) {
        d.in.report = f;
        RandomizationTestManova t(&d.in);
    });
    const std::string key = "Between groups        \t";
    double observed = 0, count = 0;
    size_t at = 0;
    for (int p = 0; p < 12; p++) {
        at = blocks.find(key, at);
        ASSERT_NE(at, std::string::npos);
        const double value = std::stod(blocks.substr(at + key.size()));
        if (p == 0) observed = value;
        count += value >= observed * (1 - 1e-12);
        EXPECT_EQ(blocks.substr(at, blocks.find('\n', at) + 1 - at), key + Format("%20.17g\t%g\n", value, count));
        at++;
    }
    EXPECT_GT(count, 1);
    EXPECT_LT(count, 12);
}

// Portuguese: the block of a saved run, the intermediate table and the
// alternative report.
TEST(ManovaReport, PortugueseBlocksAndTables) {
    struct TeamGuard {
        ~TeamGuard() { InitMultiprocessing(0); }
    } guard;
    const Ints A = {1, 1, 2, 2, 3, 3}, B = {1, 2, 1, 2, 1, 2};
    Design d({A, B}, 8, 2);
    d.in.portuguese = 1;
    d.in.printEachPermutation = d.in.intermediateTable = true;
    const std::string r = Printed([&](FILE* f) {
        d.in.report = f;
        RandomizationTestManova t(&d.in);
    });
    for (const std::string& line :
         {std::string("TESTE DE ALEATORIZACAO\nRESULTADOS INTERMEDIARIOS Permutacao 1\n"),
          std::string("TESTE DE ALEATORIZACAO\nRESULTADOS INTERMEDIARIOS Permutacao 2\n"),
          std::string("Tempo decorrido: "), std::string(" seconds\nMaximum number of threads: 1\n"),
          std::string("TESTE DE ALEATORIZACAO - RESULTADOS INTERMEDIARIOS\n" + std::string(79, '-') +
                      "\nA\tB\tA x B\tTodos os fatores\tPermutacoes aleatorias\n"),
          std::string("\t Freq(QbNULL>=Qb)\n")})
        EXPECT_HAS(r, line);
    EXPECT_EQ(r.find("RESULTS"), std::string::npos);
    EXPECT_EQ(r.find("Between"), std::string::npos);
    d.in.printEachPermutation = d.in.intermediateTable = false;
    d.in.report = nullptr;  // the stream above is closed
    RandomizationTestManova alt(&d.in, 4);
    const std::string a = Printed([&](FILE* f) { alt.PrintManovaResults(f, d.unitPtrs.data(), 5, false, 0); });
    EXPECT_HAS(a, "\n(*) Probabilidades P geradas para a estatistica ANOSIM (R, Wendle 1993).\n");
    EXPECT_HAS(a, "\nFator A: \nGrupos:");
}

}  // namespace
