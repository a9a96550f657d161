// Key V through the whole program on the example data. Expected values come
// from R (mean, sd, skewness of type 1, 1 - 1/diag(solve(cor)), Renyi
// entropies, multi-site Sorensen dissimilarity) or are worked out here from
// the data files: Huffman codes by repeated merging, Shannon code lengths,
// multi-site Sorensen dissimilarity from richness and pairwise unique species.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "screens.h"

namespace {

using Vec = std::vector<double>;
using Table = std::vector<Vec>;  // units x variables

// Preferences first: ten significant digits in the report.
const char* const kDigits = "e\nf\n10\n0\nc\n";

// Key N on a file with its own labels; no data matrix in the report.
std::string Load(const std::string& file, int content, int units, int variables, const std::string& types = "") {
    std::ostringstream s;
    s << "n\nn\n" << file << "\n" << content << "\n" << units << "\n" << variables << "\n" << types << "N\n2\nn\n";
    return s.str();
}

Table Example(const std::string& name, int units, int variables) {
    std::ifstream f(std::string(TEVLAN_EXAMPLES) + "/" + name);
    Table t(units, Vec(variables));
    for (Vec& row : t)
        for (double& x : row) f >> x;
    return t;
}

// The numbers on the first line, at or after from, that begins with title.
Vec Row(const std::string& report, const std::string& title, size_t from = 0) {
    const size_t at = report.find("\n" + title, from);
    EXPECT_NE(at, std::string::npos) << title;
    if (at == std::string::npos) return {};
    const size_t start = at + 1 + title.size(), end = report.find('\n', start);
    std::istringstream cells(report.substr(start, end - start));
    Vec v;
    for (std::string c; std::getline(cells, c, '\t');)
        if (!c.empty() && c.find_first_not_of(' ') != std::string::npos) v.push_back(std::stod(c));
    return v;
}

void ExpectNear(const Vec& got, const Vec& want, double tolerance, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t k = 0; k < want.size(); k++) EXPECT_NEAR(got[k], want[k], tolerance) << what << " " << k;
}

// The menu of key V as the console showed it (between the title and the prompt).
std::string Menu(const std::string& out, size_t from = 0) {
    const size_t a = out.find("DESCRIPTIVE ATTRIBUTES\nOptions:\n", from), b = out.find("Enter option:", a);
    return a == std::string::npos ? "" : out.substr(a, b - a);
}

// Shannon entropy (nats) of counts.
double Shannon(const Vec& counts) {
    double t = 0, h = 0;
    for (double c : counts) t += c;
    for (double c : counts)
        if (c > 0) h -= c / t * std::log(c / t);
    return h;
}

// Sum of count x code length of a Huffman code, by repeatedly merging the
// two lightest weights: the same whatever the order of ties. Weights of 0
// have no code.
double HuffmanCost(Vec w) {
    w.erase(std::remove(w.begin(), w.end(), 0.0), w.end());
    double cost = 0;
    while (w.size() > 1) {
        std::sort(w.begin(), w.end(), std::greater<double>());
        const double merged = w[w.size() - 1] + w[w.size() - 2];
        w.resize(w.size() - 2);
        w.push_back(merged);
        cost += merged;
    }
    return cost;
}

// Multi-site Sorensen dissimilarity of the presence/absence rows given:
// (min + max) / (2 (sum S_i - S_T) + min + max), the pairwise sums over the
// species unique to one unit of a pair.
double BetaSorensen(const Table& t, const std::vector<int>& rows) {
    const size_t p = t[0].size();
    double sumS = 0, total = 0, mins = 0, maxs = 0;
    for (int i : rows)
        for (size_t j = 0; j < p; j++) sumS += t[i][j] > 0;
    for (size_t j = 0; j < p; j++) {
        bool any = false;
        for (int i : rows) any = any || t[i][j] > 0;
        total += any;
    }
    for (size_t a = 0; a < rows.size(); a++)
        for (size_t b = a + 1; b < rows.size(); b++) {
            double onlyA = 0, onlyB = 0;
            for (size_t j = 0; j < p; j++) {
                onlyA += t[rows[a]][j] > 0 && !(t[rows[b]][j] > 0);
                onlyB += t[rows[b]][j] > 0 && !(t[rows[a]][j] > 0);
            }
            mins += std::min(onlyA, onlyB);
            maxs += std::max(onlyA, onlyB);
        }
    return (mins + maxs) / (2 * (sumS - total) + mins + maxs);
}

TEST(DescriptiveKey, MeansDeviationsSkewnessAndRedundancyOfTheEnvironment) {
    Dialogue d;
    d.PutExample("dune_env_nominal.txt");
    RunResult r = d.Run(std::string(kDigits) + Load("dune_env_nominal.txt", 1, 20, 4) + "v\n1\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Menu(r.out),
              "DESCRIPTIVE ATTRIBUTES\nOptions:\n\t(1) means and standard deviations of variables\n \t(3) entropy "
              "and complexity in contingency table\n \t(99)cancel and return to main menu\n \t\t");
    EXPECT_NE(r.out.find("Enter option: \nGet confidence limits using bootstrap resampling? y/n \nSee results on "
                         "file Vidive.txt.\n"),
              std::string::npos);
    const std::string v = Normalise(r.File("Vidive.txt"));
    EXPECT_EQ(v.find("TEVLAN version 3.85b\n\n" + std::string(79, '-') + "\nDESCRIPTIVE ATTRIBUTES\n" +
                     std::string(79, '-') + "\n<TIME>\n\nAnalysis status:\n"),
              0u)
        << v;
    EXPECT_NE(v.find("\nVariable:     \tMoisture\tManagement\tUse\tManure\t\n"), std::string::npos);
    ExpectNear(Row(v, "Mean:         \t"), {2.9, 2.75, 1.9, 1.75}, 1e-9, "mean");
    ExpectNear(Row(v, "Standard dev.: \t"), {1.803505359, 1.069923755, 0.7880689257, 1.482352327}, 1e-9, "sd");
    ExpectNear(Row(v, "Skewness in the frequency distribution of each variable: \t"),
               {0.1524377808, -0.281064694, 0.1721141535, 0.1429846385}, 1e-9, "skewness");
    EXPECT_NE(v.find("\nRedundancy (Velnik 1975) of 4 variables, the level of relative redundancy (co-variation) of "
                     "each variable with respect to the other variables (-999 indicates computation was not "
                     "possible):\nVariable:    \tMoisture\tManagement\tUse\tManure\t\n"),
              std::string::npos);
    ExpectNear(Row(v, "Redundancy: \t"), {0.3703973951, 0.3737604345, 0.2924888529, 0.4700066879}, 1e-9, "redundancy");
}

TEST(DescriptiveKey, FrequencyTablesAndRenyiEntropyOfNominalVariables) {
    Dialogue d;
    d.PutExample("dune_env_nominal.txt");
    RunResult r = d.Run(std::string(kDigits) + Load("dune_env_nominal.txt", 3, 20, 4) + "v\n2\n1\nn\nv\n2\n2\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Menu(r.out),
              "DESCRIPTIVE ATTRIBUTES\nOptions:\n\t(2) entropy of variables\n \t(99)cancel and return to "
              "main menu\n \t\t");
    const std::string v = r.File("Vidive.txt");
    // The second report appends: one version line, two blocks.
    EXPECT_EQ(Count(v, "TEVLAN version"), 1);
    EXPECT_EQ(Count(v, "\nDESCRIPTIVE ATTRIBUTES\n"), 2);
    EXPECT_NE(v.find("\nFrequency table an Renyi general entropy of order 1 (nats) in each variable:\nVariable "
                     "Moisture:\nStates:    \t1\t2\t5\t4\t\nFrequency: \t7\t4\t7\t2\t\nVariable Management:\n"),
              std::string::npos)
        << v;
    const Vec shannon = Row(v, "Entropy:  \t");
    ExpectNear(shannon, {1.287021579, 1.353525271, 1.080527627, 1.574103002}, 1e-9, "alpha 1");
    EXPECT_NEAR(shannon[0], Shannon({7, 4, 7, 2}), 1e-9);
    const size_t second = v.find("of order 2 (nats) in each variable");
    ASSERT_NE(second, std::string::npos);
    ExpectNear(Row(v, "Entropy:  \t", second), {1.220779923, 1.328025453, 1.064210862, 1.537117251}, 1e-9, "alpha 2");
    // Order 2 of Moisture by hand: -ln(sum p^2).
    EXPECT_NEAR(Row(v, "Entropy:  \t", second)[0], -std::log((49.0 + 16 + 49 + 4) / 400), 1e-9);
}

TEST(DescriptiveKey, DuneAsAContingencyTable) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(std::string(kDigits) + Load("dune.txt", 1, 20, 30) + "v\n3\n1\nv\n3\n2\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // No bootstrap for option 3.
    EXPECT_EQ(r.out.find("Get confidence limits"), std::string::npos);
    const std::string v = r.File("Vidive.txt");
    const size_t second = v.find("\nDESCRIPTIVE ATTRIBUTES\n", v.find("Shannon's code lengths"));
    ASSERT_NE(second, std::string::npos);
    const std::string one = v.substr(0, second), two = v.substr(second);

    // The data were not printed when read: they are here.
    EXPECT_NE(one.find("\nData matrix:\n\t(Rows= 20 sampling units, columns= 30 variables)\n"), std::string::npos);
    EXPECT_NE(one.find("\nAssuming data matrix dune.txt is a CONTINGENCY TABLE:\nRow totals:\n18\t"),
              std::string::npos);
    EXPECT_NE(one.find("Renyi entropy order 1 (nats) with marginal totals of rows: \t2.958247176\n"),
              std::string::npos);
    EXPECT_NE(one.find("Renyi entropy order 1 (nats) with marginal totals of columns: \t3.081969378\n"),
              std::string::npos);
    EXPECT_NE(one.find("Renyi mutual entropy order 1 (nats): \t0.8583282701\n"), std::string::npos);
    EXPECT_NE(one.find("Coherence coefficient (Renyi order 1): \t0.5512199972\n"), std::string::npos);

    const Table dune = Example("dune.txt", 20, 30);
    const Vec nats = Row(one, "Entropy (nats):    \t"), bits = Row(one, "Entropy (bits):    \t"),
              L = Row(one, "Total complexity (L):       \t"), LH = Row(one, "Structural complexity (L-H):\t");
    ASSERT_EQ(L.size(), 20u);
    ASSERT_EQ(LH.size(), 20u);
    EXPECT_NEAR(nats[0], 1.440481742, 1e-9);
    EXPECT_NEAR(bits[0], 2.078175865, 1e-9);
    EXPECT_NEAR(L[0], 2.166662, 1e-12);
    EXPECT_NEAR(LH[0], 0.08848613, 1e-8);

    // Every unit against codes and entropies worked out here from the file.
    const size_t huffman = one.find(
        "\n\nHuffmann code lengths (integer bits)\t(Rows= 20 sampling units, columns= 30 "
        "variables):\n");
    const size_t shannon = one.find(
        "\n\nShannon's code lengths (fractionary bits)\t(Rows= 20 sampling units, "
        "columns= 30 variables):\n");
    ASSERT_NE(huffman, std::string::npos);
    ASSERT_NE(shannon, std::string::npos);
    std::istringstream lengths(one.substr(one.find(":\n", huffman) + 2)),
        codes(one.substr(one.find(":\n", shannon) + 2));
    for (int i = 0; i < 20; i++) {
        double total = 0;
        for (double x : dune[i]) total += x;
        Vec counts;
        for (double x : dune[i]) counts.push_back(std::floor(x * 1e6 / total));
        EXPECT_NEAR(nats[i], Shannon(dune[i]), 1e-9) << i;
        EXPECT_NEAR(bits[i], Shannon(dune[i]) / std::log(2.0), 1e-9) << i;
        EXPECT_NEAR(L[i], HuffmanCost(counts) / 1e6, 1e-12) << i;
        EXPECT_NEAR(LH[i], L[i] - bits[i], 1e-8) << i;
        // A row's integer lengths: a complete prefix code (Kraft sum 1) of
        // the optimal cost, and no code for an absent species.
        double kraft = 0, cost = 0;
        for (int j = 0; j < 30; j++) {
            int len = -1;
            double code = -1;
            lengths >> len;
            codes >> code;
            EXPECT_EQ(len == 0, dune[i][j] == 0) << i << " " << j;
            if (dune[i][j] > 0) {
                kraft += std::ldexp(1.0, -len);
                cost += counts[j] * len;
                EXPECT_NEAR(code, -std::log2(dune[i][j] / total), 1e-9) << i << " " << j;
            } else {
                EXPECT_EQ(code, 0.0);
            }
        }
        EXPECT_DOUBLE_EQ(kraft, 1.0) << i;
        EXPECT_EQ(cost, HuffmanCost(counts)) << i;
    }

    // Order 2: the note instead of L - H, and no Shannon code lengths.
    EXPECT_NE(two.find("Renyi entropy of order 2 in sampling units (nats):\n"), std::string::npos);
    EXPECT_NE(two.find("\nStructural complexity (L-H) computed only for Renyi entropy of order alpha limit 1 (Shannon "
                       "entropy):\n\n\nHuffmann code lengths"),
              std::string::npos);
    EXPECT_EQ(two.find("Shannon's code lengths"), std::string::npos);
    ExpectNear(Row(two, "Total complexity (L):       \t"), L, 1e-12, "L at order 2");
}

TEST(DescriptiveKey, PresenceAbsenceBetaDiversityAndBinaryEntropy) {
    Dialogue d;
    d.PutExample("dune.txt");
    d.PutExample("dune_groups_management.txt");
    RunResult r = d.Run(std::string(kDigits) + Load("dune.txt", 1, 20, 30) + "t\n1\n1\n0\nn\n" +
                        "v\n4\nw\nv\n4\ng\n1\nManagement\nf\ndune_groups_management.txt\nv\n2\n1\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const size_t afterT = r.out.find("See results on file Vidive.txt.");
    EXPECT_EQ(Menu(r.out, afterT),
              "DESCRIPTIVE ATTRIBUTES\nOptions:\n\t(1) means and standard deviations of variables\n \t(2) entropy "
              "of variables\n \t(4) multi-site beta diversity (sensu Quenby 2012)\n \t(99)cancel and return to main "
              "menu\n \t\t");
    // One factor: no factor question.
    EXPECT_EQ(r.out.find("Specify the factor defining unit group membership"), std::string::npos);

    const std::string v = r.File("Vidive.txt");
    const Table dune = Example("dune.txt", 20, 30);
    std::vector<int> all(20);
    for (int i = 0; i < 20; i++) all[i] = i;
    EXPECT_NEAR(BetaSorensen(dune, all), 0.856836691, 1e-9);  // the reference itself, against R
    const Vec whole = Row(v, "Beta diversity (betaSOR, sensu Quenby 2010) para toda a tabela de dados:\t");
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_NEAR(whole[0], 0.856836691, 1e-6);  // printed with %g

    EXPECT_NE(
        v.find("\nBeta diversity (betaSOR, sensu Quenby 2010) para cada grupo especificado:\n\nGroups:\t1\t2\t3\t4"
               "\t\n\nBetaSOR:\t"),
        std::string::npos);
    std::ifstream groupsFile(std::string(TEVLAN_EXAMPLES) + "/dune_groups_management.txt");
    std::vector<std::vector<int>> members(5);
    for (int i = 0, g; i < 20 && groupsFile >> g;) members[g].push_back(i++);
    const Vec groups = Row(v, "BetaSOR:\t");
    ExpectNear(groups, {0.4444444444, 0.4939759036, 0.73, 0.6616915423}, 1e-9, "groups");
    for (int g = 1; g <= 4; g++) EXPECT_NEAR(groups[g - 1], BetaSorensen(dune, members[g]), 1e-9) << g;

    // Presence/absence makes every species binary, so each has an entropy.
    EXPECT_NE(v.find("Variable Achimill:\nStates:    \t1\t0\t\nFrequency: \t7\t13\t\n"), std::string::npos);
    const Vec entropy = Row(v, "Entropy:  \t");
    ASSERT_EQ(entropy.size(), 30u);
    EXPECT_NEAR(entropy[0], 0.647446639, 1e-9);
    for (int j = 0; j < 30; j++) {
        double present = 0;
        for (int i = 0; i < 20; i++) present += dune[i][j] > 0;
        EXPECT_NEAR(entropy[j], Shannon({present, 20 - present}), 1e-9) << j;
    }
}

TEST(DescriptiveKey, FactorAskedAmongSeveralAndOutOfRangeAnswersAskedAgain) {
    Dialogue d;
    d.PutExample("dune.txt");
    const std::string halves = "1 1 1 1 1 1 1 1 1 1 2 2 2 2 2 2 2 2 2 2",
                      thirds = "5 5 5 5 5 5 5 7 7 7 7 7 7 7 9 9 9 9 9 9";
    RunResult r =
        d.Run(std::string(kDigits) + Load("dune.txt", 1, 20, 30) + "t\n1\n1\n0\nn\ng\n2\nn\nHalf\nThird\nk\n" + halves +
              "\n" + thirds + "\nv\n5\n4\ng\nn\n0\n3\n2\nv\n2\n21\n-1\n1\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\nSpecify the factor defining unit group membership: 1.Half 2.Third ): \t"),
              std::string::npos);
    EXPECT_EQ(r.err,
              "\nIncorrect input = 5. Reenter.\nAccepted input: 1 2 4 99\n"
              "\nIncorrect input = 0. Reenter.\nAccepted input: 1 to 2\n"
              "\nIncorrect input = 3. Reenter.\nAccepted input: 1 to 2\n"
              "\nIncorrect input = 21. Reenter.\nAccepted input: 0 to 20\n"
              "\nIncorrect input = -1. Reenter.\nAccepted input: 0 to 20\n");
    const std::string v = r.File("Vidive.txt");
    EXPECT_NE(v.find("\nGroups:\t5\t7\t9\t\n"), std::string::npos) << v;
    const Table dune = Example("dune.txt", 20, 30);
    const std::vector<std::vector<int>> members = {
        {0, 1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12, 13}, {14, 15, 16, 17, 18, 19}};
    const Vec beta = Row(v, "BetaSOR:\t");
    ASSERT_EQ(beta.size(), 3u);
    for (int g = 0; g < 3; g++) EXPECT_NEAR(beta[g], BetaSorensen(dune, members[g]), 1e-9) << g;
}

TEST(DescriptiveKey, MissingValuesConstantColumnsAndMixedTypes) {
    Dialogue d;
    // Columns: a missing value; constant 0.1 (its moments round a hair
    // away from 0); a single value; no value at all; a qualitative code;
    // values whose squares overflow.
    d.Put("odd.txt",
          "1 0.1 -999 -999 1 1e300\n"
          "2 0.1 -999 -999 2 -1e300\n"
          "-999 0.1 7 -999 1 -999\n"
          "6 0.1 -999 -999 3 2e300\n"
          "a b c d\nx1 x2 x3 x4 x5 x6\n");
    RunResult r = d.Run(std::string(kDigits) + Load("odd.txt", 5, 4, 6, "3 3 3 3 2 3\nn\n") + "v\n1\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    const std::string v = r.File("Vidive.txt");
    EXPECT_EQ(v.find("nan"), std::string::npos) << v;
    const Vec mean = Row(v, "Mean:         \t"), sd = Row(v, "Standard dev.: \t"),
              skew = Row(v, "Skewness in the frequency distribution of each variable: \t");
    ASSERT_EQ(mean.size(), 6u);
    // Column 1 over 1, 2 and 6: deviations -2, -1 and 3, so mean 3, sd
    // sqrt(14 / 2), m2 14/3 and m3 18/3.
    ExpectNear({mean[0], sd[0], skew[0]}, {3, std::sqrt(7.0), 6 / std::pow(14.0 / 3, 1.5)}, 1e-9, "col 1");
    ExpectNear({mean[1], sd[1], skew[1]}, {0.1, 0, 0}, 1e-15, "constant");
    ExpectNear({mean[2], sd[2], skew[2]}, {7, -999, 0}, 0, "one value");
    ExpectNear({mean[3], sd[3], skew[3]}, {-999, -999, -999}, 0, "no value");
    // The qualitative variable has no mean.
    EXPECT_TRUE(std::isinf(mean[4]) && std::isinf(sd[4]));
    EXPECT_EQ(skew[4], 0.0);
    // Deviations of 1/3, -5/3 and 4/3 times 1e300: m2 14/9, m3 -20/27 (in
    // units of 1e300).
    ExpectNear({mean[5] / 1e300, sd[5] / 1e300, skew[5]},
               {2.0 / 3, std::sqrt(7.0 / 3), -20.0 / 27 / std::pow(14.0 / 9, 1.5)}, 1e-9, "beyond 1e102");
    EXPECT_NE(v.find("\nMean:         \t3\t0.1\t7\t-999\tinf\t"), std::string::npos);
}

TEST(DescriptiveKey, CancelWritesNothingAndTheReportStaysToBeErased) {
    Dialogue d;
    d.PutExample("dune.txt");
    d.Put("Vidive.txt", "old report\n");
    // A report to erase, a cancelled V, then a resemblance: the old report
    // goes, and no V block is written.
    RunResult r = d.Run("e\n" + Load("dune.txt", 1, 20, 30) + "v\n99\nr\n1\n3\n0\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string v = r.File("Vidive.txt");
    EXPECT_EQ(v.find("old report"), std::string::npos);
    EXPECT_EQ(v.find("DESCRIPTIVE ATTRIBUTES"), std::string::npos);
    EXPECT_NE(v.find("RESEMBLANCE MEASURES"), std::string::npos);
}

TEST(DescriptiveKey, ReportThatCannotBeOpenedOrWritten) {
    // Vidive.txt a folder (cannot be opened), then a report on a full disc
    // (the failure shows at the close): a message, no bootstrap question,
    // no "See results", and the report stays to be erased.
    for (bool folder : {true, false}) {
        Dialogue d;
        d.PutExample("dune_env_nominal.txt");
        if (folder) {
            std::filesystem::create_directory(d.Folder() + "/Vidive.txt");
        } else {
            d.Put("Vidive.txt", std::string(4096, 'x'));
            d.LimitFileSize(4096);
        }
        RunResult r = d.Run(std::string(folder ? "e\n" : "a\n") + Load("dune_env_nominal.txt", 1, 20, 4) + "v\n1\nx\n");
        ASSERT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(folder ? "can't open Vidive.txt" : "FAIL TO PRINT ON FILE Vidive.txt"), std::string::npos)
            << r.err;
        EXPECT_EQ(r.out.find("Get confidence limits"), std::string::npos);
        EXPECT_EQ(r.out.find("See results"), std::string::npos);
    }
}

TEST(DescriptiveKey, BootstrapOfferedAfterMeansRunsTheSampler) {
    Dialogue d;
    d.PutExample("dune_env_nominal.txt");
    // The sampler's options: initial size 20 (no step), 10 iterations at
    // alpha 0.1, seed 1, no intermediate results.
    RunResult r = d.Run(Load("dune_env_nominal.txt", 1, 20, 4) + "v\n1\ny\n20\n10\n0.1\n2\n1\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string v = r.File("Vidive.txt");
    const size_t means = v.find("Mean and standard deviation of variables:"), sampler = v.find("\n\nSAMPLER\n");
    ASSERT_NE(means, std::string::npos);
    ASSERT_NE(sampler, std::string::npos);
    EXPECT_LT(means, sampler);
    EXPECT_NE(v.find("Statistic: SKEWNESS", sampler), std::string::npos);
    EXPECT_NE(r.out.find("See results on file Vidive.txt."), std::string::npos);
}

TEST(DescriptiveKey, EndOfInputAtEveryQuestionIsAnOrderlyEnd) {
    // Under the sanitizers a leak fails the run at exit.
    for (const std::string end : {"v\n", "v\n2\n", "v\n2\n1\n", "v\n4\n", "v\n4\ng\nn\n"}) {
        Dialogue d;
        d.PutExample("dune.txt");
        // Presence/absence (options 1, 2 and 4) and two factors.
        std::string groups;
        for (int k = 0; k < 40; k++) groups += k % 2 ? "2\n" : "1\n";
        RunResult r = d.Run(Load("dune.txt", 1, 20, 30) + "t\n1\n1\n0\nn\ng\n2\nn\nA\nB\nk\n" + groups + end);
        EXPECT_EQ(r.status, 1) << end;
        EXPECT_FALSE(r.timedOut);
        EXPECT_NE(r.err.find("END OF FILE !!!"), std::string::npos) << end;
        EXPECT_EQ(r.err.find("LeakSanitizer"), std::string::npos) << r.err;
    }
}

}  // namespace
