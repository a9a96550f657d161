// A bounded fuzz test of the answer scripts of every key: each key's script,
// on a session that holds data, a resemblance, an ordination and groups, is
// cut short and mutated (answers replaced, dropped, repeated or exchanged)
// in a few seeded ways, and the program run on each. Whatever the answers,
// the program ends by itself, with status 0 or 1 and no signal or sanitizer
// report, and the session file stays one the program can read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

namespace fs = std::filesystem;

const int kRunsPerKey = 20;

std::string Marks(int ones, int of) {
    std::string s;
    for (int j = 0; j < of; j++) s += j < ones ? "1 " : "0 ";
    return s;
}

// Each key's answers from the main menu of a continued session; the main
// menu's X follows them. Counts of permutations and iterations, and seeds
// (which a mutation may move into their place), are small, so that a
// mutated run is short.
struct Base {
    const char* name;
    std::string script;
};

std::vector<Base> Bases() {
    const std::string claims = "3\n1 0 1 0\n1\n0 1 0 0\n1 0 0 1\n1\n0 0 1 0\n0 1 0 1\n2\n1 0 1 0\n";
    const std::string nominal = "n\nn\ndune_env_nominal.txt\n3\n20\n4\nN\n2\nn\n";
    return {
        {"N", nominal},
        {"V", "v\n1\ny\n20\n5\n0.1\n2\n1\nn\n"},
        {"VNominal", nominal + "v\n2\n1\ny\n20\n5\n0.1\n2\n1\nn\n"},
        {"T", "t\n1\n1\n3\n11\n0\nn\nn\ny\n2\n3\n9\nn\n"},
        {"R", "r\n1\n20\n0\nn\n"},
        {"RNominal", nominal + "r\n2\n8\n1\n0\ny\n"},
        {"G", "g\ny\n1\nUse\nf\nuse.txt\n"},
        {"D", "d\n1\n1\n2\n"},
        {"O", "o\n1\nn\ny\n2\n20\n3\n2\n11\nn\n"},
        {"OComponents", "r\n2\n17\n0\nn\no\n2\nn\ny\n2\n20\n3\n2\n11\nn\n"},
        {"C", "c\n3\ny\n2\n20\n3\n2\n11\nn\n"},
        {"CSingleLinkage", "c\n1\ny\n3\n20\n3\n2\n11\nn\n"},
        {"P", "p\nn\n2\n7\na\n2\n0\n0\n0\n99\nn\n"},
        {"PContrasts", "p\nn\n2\n7\na\n1\n0\n0\n1\n99\nn\n"},
        {"A", "r\n2\n17\n0\nn\na\n2\n7\n99\n0\nn\nn\n"},
        {"F", "n\nn\ndune4.txt\n1\n20\n4\nN\n2\nn\nr\n1\n3\n0\nn\nf\n1\n1\n2\n7\n99\n0\nn\n2\n4\n" + claims},
        {"K", "k\n2\n1\n" + Marks(2, 8) + "\n" + Marks(2, 8) + "\nn\n2\n1\n9\n0\nn\n"},
        {"Y", "y\n1\ny\n2\n5\n99\n2\n7\n"},
        {"E", "e\nf\n3\n4\nc\n"},
        {"S", "s\nOther\n"},
        {"Z", "z\nf\nmore.txt\n"},
        {"U", "u\ns\n7\nk\nres1.txt\n30\n30\n5\ne\n2\n3 1\nn\n2\n0\n2\n17\n2\n0 0 0 0 0 1 1 1 1 0 1\n5\n0.05\nn\n"
              "2\n10\n10\n9\nn\n"},
        {"J", "j\ns\n1\nk\nres.txt\n4\n0\n30\ncoef.txt\n2\n1\n2\nn\n1\n1\n19\n0\nn\n" + claims},
    };
}

// Columns of dune.txt, as a data file with its labels.
std::string DuneColumns(const std::vector<int>& columns) {
    std::istringstream in(ReadFile(std::string(TEVLAN_EXAMPLES) + "/dune.txt"));
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    std::ostringstream s;
    for (int i = 0; i < 20; i++)
        for (size_t c = 0; c < columns.size(); c++)
            s << words[i * 30 + columns[c]] << (c + 1 < columns.size() ? '\t' : '\n');
    for (int i = 0; i < 20; i++) s << words[600 + i] << (i < 19 ? '\t' : '\n');
    for (size_t c = 0; c < columns.size(); c++) s << words[620 + columns[c]] << (c + 1 < columns.size() ? '\t' : '\n');
    return s.str();
}

// The folder every run starts from: the example data, the files the
// scripts name, and the session made by loading eight species of dune,
// comparing the units, ordinating them and grouping them by management.
// (Eight variables keep every search short: key F's search for a model
// tests up to 2^(p - 2) subsets for each pair of p variables.)
std::map<std::string, std::string> StartingFolder() {
    Dialogue d;
    d.PutExample("dune_env_nominal.txt");
    d.PutExample("dune_groups_management.txt");
    d.Put("dune8.txt", DuneColumns({0, 1, 3, 5, 11, 16, 18, 19}));
    d.Put("dune4.txt", DuneColumns({0, 1, 16, 18}));
    d.Put("use.txt", "1 1 1 2 2 2 2 2 1 1 2 2 3 3 2 3 3 3 3 3\n");
    d.Put("coef.txt", "0 1.5 0 0\n0 0 1.5 0\n0 0 0 1.5\n0 0 0 0\n0 1 2 3\n");
    d.Put("more.txt", "v\n1\nn\nx\n");
    const RunResult r = d.Run(
        "n\nn\ndune8.txt\n1\n20\n8\nN\n2\nn\nr\n1\n3\n0\nn\no\n1\nn\nn\n"
        "g\n1\nManagement\nf\ndune_groups_management.txt\nx\n");
    EXPECT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(d.Folder()))
        if (e.is_regular_file()) files[e.path().filename().string()] = ReadFile(e.path().string());
    EXPECT_EQ(files.count("Sessao.trk"), 1u);
    return files;
}

std::vector<std::string> Answers(const std::string& script) {
    std::istringstream in(script);
    std::vector<std::string> answers;
    for (std::string a; in >> a;) answers.push_back(a);
    return answers;
}

// One to four edits of the answers, and in two runs of five the script cut
// after a random answer: the end of the input at any question.
std::string Mutated(std::vector<std::string> a, std::mt19937& g) {
    static const std::vector<std::string> kOdd = {"0",   "1",   "2",          "3",    "-1",   "99",   "y",
                                                  "n",   "x",   "a",          "k",    "f",    "q",    "1.5",
                                                  "1,5", "nan", "2147483648", "1e300", "-1e300", "dune.txt",
                                                  "none.txt", ".", "..", "/", "Vidive.txt", "\xef\xbb\xbf"};
    auto below = [&g](size_t n) { return n <= 1 ? 0 : static_cast<size_t>(g() % n); };
    const int edits = 1 + static_cast<int>(below(4));
    for (int e = 0; e < edits && !a.empty(); e++) {
        const size_t at = below(a.size());
        switch (below(7)) {
            case 0: a[at] = kOdd[below(kOdd.size())]; break;
            case 1: a[at] = a[below(a.size())]; break;
            case 2: a.erase(a.begin() + static_cast<long>(at)); break;
            case 3: a.insert(a.begin() + static_cast<long>(at), a[at]); break;
            case 4: a.insert(a.begin() + static_cast<long>(at), kOdd[below(kOdd.size())]); break;
            case 5: {
                // A number near one of the script's: one less or more, its
                // negative, ten times it, or 0.
                char* end = nullptr;
                const double x = strtod(a[at].c_str(), &end);
                if (end == a[at].c_str() || *end || !(std::fabs(x) <= 1000)) break;
                const double near[] = {x - 1, x + 1, -x, 10 * x, 0};
                std::ostringstream t;
                t << near[below(5)];
                a[at] = t.str();
                break;
            }
            default:
                if (at + 1 < a.size()) std::swap(a[at], a[at + 1]);
        }
    }
    if (below(5) < 2) a.resize(below(a.size() + 1));
    std::string s;
    for (const std::string& x : a) s += x + "\n";
    return s;
}

// What is wrong with a run ("" when nothing is).
std::string Fault(const RunResult& r) {
    if (r.timedOut) return "no end within the time allowed";
    if (r.signal != 0) return "signal " + std::to_string(r.signal);
    if (r.status != 0 && r.status != 1) return "status " + std::to_string(r.status);
    for (const char* report : {"Sanitizer", "runtime error:", "terminate called"})
        if (r.err.find(report) != std::string::npos) return r.err.substr(r.err.find(report), 2000);
    return "";
}

class ScriptFuzz : public testing::TestWithParam<int> {};

TEST_P(ScriptFuzz, CutAndMutatedAnswersEndInOrderAndKeepTheSession) {
    const Base base = Bases()[GetParam()];
    const std::map<std::string, std::string> start = StartingFolder();
    ASSERT_FALSE(start.empty());
    const std::string session = start.at("Sessao.trk");
    // Continue the session, append to the report, the key, exit.
    const std::string script = "y\na\n" + base.script + "x\n";
    std::mt19937 g(7919u * (GetParam() + 1));
    for (int k = 0; k <= kRunsPerKey; k++) {
        // Run 0 is the script as written: it must run through.
        const std::string answers = k == 0 ? script : Mutated(Answers(script), g);
        SCOPED_TRACE(answers);
        Dialogue d;
        for (const auto& f : start) d.Put(f.first, f.second);
        const RunResult r = d.Run(answers, 60);
        ASSERT_EQ(Fault(r), "") << r.err;
        if (k == 0) {
            EXPECT_EQ(r.status, base.name == std::string("U") ? 1 : 0) << r.err;
            EXPECT_EQ(r.err.find("Incorrect input"), std::string::npos) << r.err;
        }
        // The session file is there, and unless the answers made a new
        // one, as it was; a new one is read back whole.
        const std::string after = r.File("Sessao.trk");
        ASSERT_FALSE(after.empty());
        if (after == session) continue;
        const RunResult back = d.Run("y\na\nx\n", 60);
        ASSERT_EQ(Fault(back), "") << back.err;
        EXPECT_EQ(back.out.find("is damaged"), std::string::npos) << after;
        EXPECT_EQ(back.out.find("incompatible version"), std::string::npos) << after;
        EXPECT_EQ(back.out.find("danificado"), std::string::npos) << after;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKey, ScriptFuzz, testing::Range(0, static_cast<int>(Bases().size())),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string("Key") + Bases()[info.param].name;
                         });

}  // namespace
