// A bounded mutation loop over the readers of the user's files: data files
// through the data dialogue and session files through the session reader,
// each fed a few thousand damaged copies of real files (seeded, so a failure
// repeats). No input may crash, hang, load values that are not finite
// numbers, leave an inconsistent data set, or change a file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "driver_fixture.h"
#include "rhlibDim.h"

namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
}

// Damages a copy of text in one to four places: bytes changed, inserted or
// removed, runs repeated, whole fields replaced by troublesome ones, the end
// cut off.
class Mutator {
public:
    explicit Mutator(unsigned seed) : g_(seed) {}
    std::string operator()(std::string t) {
        const int edits = 1 + Below(4);
        for (int e = 0; e < edits; e++) {
            if (t.empty()) t = "1";
            const size_t at = Below(static_cast<int>(t.size()));
            switch (Below(7)) {
                case 0: t[at] = static_cast<char>(g_()); break;
                case 1: t.insert(at, 1, Pick(kBytes)); break;
                case 2: t.erase(at, 1 + Below(16)); break;
                case 3: t.insert(at, t.substr(at, 1 + Below(64))); break;
                case 4: t.resize(at); break;
                default: {
                    // A whole field: from the blank before at to the next one.
                    size_t from = t.find_last_of(" \t\n", at);
                    from = from == std::string::npos ? 0 : from + 1;
                    size_t to = t.find_first_of(" \t\n", at);
                    if (to == std::string::npos) to = t.size();
                    t.replace(from, to - from, kFields[Below(static_cast<int>(kFields.size()))]);
                }
            }
        }
        return t;
    }

private:
    int Below(int n) { return n <= 1 ? 0 : static_cast<int>(g_() % static_cast<unsigned>(n)); }
    char Pick(const std::string& s) { return s[Below(static_cast<int>(s.size()))]; }
    const std::string kBytes = std::string("\0,.;-+eE9 \t\n\r\xff", 15);
    const std::vector<std::string> kFields = {"nan", "inf", "-inf", "1e999", "-1", "0", "2147483647", "-2147483648",
                                              "99999999999", "-999", "1,5", "", "x", "..", "../up", "1e-400", "T",
                                              "16/May/2007", "\xef\xbb\xbf"};
    std::mt19937 g_;
};

class ReaderFuzz : public DriverTest {
protected:
    // The thousands of rewrites of one small file go to memory where the
    // platform offers it: on a disc, each truncation waits for the device.
    void SetUp() override {
        DriverTest::SetUp();
        std::error_code ec;
        if (!fs::is_directory("/dev/shm", ec)) return;
        char tmpl[] = "/dev/shm/tevlan_fuzzXXXXXX";
        if (!mkdtemp(tmpl)) return;
        memory_ = tmpl;
        fs::current_path(memory_);
    }
    void TearDown() override {
        if (!memory_.empty()) {
            fs::current_path(folder_);
            fs::remove_all(memory_);
        }
        DriverTest::TearDown();
    }
    // One damaged input through call, the console and the standard error
    // kept out of the test's output (captured once around the whole loop).
    template <class F>
    int Feed(const std::string& answers, F&& call) {
        return ThrownCode([&] { WithConsole(answers, shown_, call); });
    }
    std::string memory_;

    // Every file of the folder with its bytes.
    std::vector<std::pair<std::string, std::string>> Folder() const {
        std::vector<std::pair<std::string, std::string>> files;
        for (const auto& e : fs::directory_iterator(fs::current_path()))
            files.push_back({e.path().filename().string(), Slurp(e.path().string())});
        std::sort(files.begin(), files.end());
        return files;
    }
    // What is wrong with the current data set ("" when it is whole and
    // finite wherever it is defined).
    static std::string Inconsistency() {
        if (temDados != 1) return "";
        if (nObj <= 0 || nVar <= 0 || !dataOrig || !data || !uaLabels || !varLabels) return "data arrays";
        for (int i = 0; i < nObj; i++)
            for (int j = 0; j < nVar; j++)
                if (!std::isfinite(dataOrig[i][j]) || !std::isfinite(data[i][j])) return "a value not finite";
        for (int i = 0; i < nObj; i++)
            if (strlen(uaLabels[i]) >= 30) return "a label too long";
        if (temRese == 1) {
            if (!rese || nRows != (optReseDir == 1 ? nObj : nVar)) return "resemblance size";
            for (int i = 0; i < nRows; i++)
                for (int j = 0; j < nRows; j++)
                    if (!std::isfinite(rese[i][j]) || rese[i][j] != rese[j][i]) return "resemblance values";
        }
        if (temEscore == 1) {
            if (rank < 0 || rank > nRows || !eig) return "ordination rank";
            for (int k = 0; k < rank; k++)
                if (!std::isfinite(eig[k])) return "an eigenvalue not finite";
        }
        return "";
    }
    // The whole loop runs with the console and the standard error captured
    // (thousands of refusals); the first fault found is reported after it.
    void Loop(int rounds, const std::function<std::string(int)>& round) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        std::string fault;
        for (int k = 0; k < rounds && fault.empty(); k++) {
            fault = round(k);
            if (!fault.empty()) fault = "round " + std::to_string(k) + ": " + fault;
        }
        testing::internal::GetCapturedStderr();
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(fault, "");
    }
};

// What a table read from text must hold, worked out here on its own: the
// white-space-separated fields in order, each a finite number once one ','
// or ';' at its end is dropped, then the labels as words. "" when the loaded
// table (read unit by unit) agrees, else what differs; a file that should
// not have loaded at all differs too.
std::string AgreesWithTheText(const std::string& text) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : text) {
        if (isspace(static_cast<unsigned char>(c))) {
            if (!field.empty()) fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    if (!field.empty()) fields.push_back(field);
    const size_t cells = static_cast<size_t>(nObj) * nVar;
    if (fields.size() < cells + nObj + nVar) return "loaded from a file too short";
    for (size_t k = 0; k < cells; k++) {
        std::string f = fields[k];
        if (f.size() > 1 && (f.back() == ',' || f.back() == ';')) f.pop_back();
        char* end = nullptr;
        const double x = strtod(f.c_str(), &end);
        if (f.empty() || end != f.c_str() + f.size() || f.find('\0') != std::string::npos || !std::isfinite(x))
            return "loaded the field \"" + fields[k] + "\", which is no number";
        if (dataOrig[k / nVar][k % nVar] != x) return "cell " + std::to_string(k) + " is not " + fields[k];
    }
    // A label is a word kept to 29 characters (a NUL byte, which no label
    // can hold, ends it).
    auto label = [](const std::string& word) { return word.substr(0, std::min<size_t>(29, word.find('\0'))); };
    for (int i = 0; i < nObj; i++)
        if (label(fields[cells + i]) != uaLabels[i]) return "unit label " + std::to_string(i + 1);
    for (int j = 0; j < nVar; j++)
        if (label(fields[cells + nObj + j]) != varLabels[j]) return "variable label " + std::to_string(j + 1);
    return "";
}

// The answers that load each base file: content, sizes, order, labels, report.
struct DataBase {
    const char* file;
    const char* answers;
};

TEST_F(ReaderFuzz, DamagedDataFilesLoadWholeOrNotAtAll) {
    const DataBase bases[] = {{"dune.txt", "1\n20\n30\nN\n2\nn\n"},
                              {"dune_env_nominal.txt", "3\n20\n4\nN\n2\nn\n"},
                              {"dune_env_nominal.txt", "5\n20\n4\n3 2 2 3\nn\nN\n2\nn\n"}};
    std::string texts[3];
    for (int b = 0; b < 3; b++) texts[b] = Slurp(std::string(TEVLAN_TEST_DATA) + "/" + bases[b].file);
    Mutator mutate(20240517);
    int loaded = 0, refused = 0;
    Loop(1500, [&](int k) -> std::string {
        const DataBase& base = bases[k % 3];
        const std::string text = mutate(texts[k % 3]);
        Write("d.txt", text);
        const auto before = Folder();
        int result = -1;
        if (Feed(std::string("d.txt\n") + base.answers, [&] { result = AbreDados(); }) != 0)
            return "the dialogue ended: " + shown_;
        if (result != 0 && result != 1) return "result " + std::to_string(result);
        if (temDados != result) return "data flag";
        std::string bad = Inconsistency();
        if (bad.empty() && result == 1) bad = AgreesWithTheText(text);
        if (!bad.empty()) return bad;
        if (Folder() != before) return "a file changed";
        (result == 1 ? loaded : refused)++;
        LivraMemoria();
        return "";
    });
    // Both ways were taken many times (a mutation may leave a file valid).
    EXPECT_GT(loaded, 100);
    EXPECT_GT(refused, 500);
}

// Session files as the program writes them: a quantitative table with a
// resemblance and an ordination, and a nominal one compared by variables
// with an entropy measure.
std::vector<std::string> SessionBases() {
    std::vector<std::string> sessions;
    const char* const runs[][3] = {
        {"dune.txt\n1\n20\n30\nN\n2\nn\n", "1\n3\n0\nn\n", "1\nn\nn\n"},
        {"dune_env_nominal.txt\n3\n20\n4\nN\n2\nn\n", "2\n9\n2\n0\nn\n", nullptr},
    };
    for (const auto& run : runs) {
        std::string shown;
        const std::string file = std::string(run[0]).substr(0, std::string(run[0]).find('\n'));
        fs::copy_file(std::string(TEVLAN_TEST_DATA) + "/" + file, file, fs::copy_options::overwrite_existing);
        EXPECT_EQ(WithConsole(run[0], shown, AbreDados), 1) << shown;
        SetDataType(optTrEs, optTrVeVar, optTrVeUnits);  // as key N does
        EXPECT_EQ(WithConsole(run[1], shown, Semelhanca), 1) << shown;
        temRese = 1;
        if (run[2]) {
            EXPECT_EQ(WithConsole(run[2], shown, Ordenacao), 1) << shown;
            temEscore = 1;
        }
        EXPECT_EQ(WriteSessionTrack(), 1);
        sessions.push_back(Slurp("Sessao.trk"));
        LivraMemoria();
        fs::remove(file);
    }
    return sessions;
}

TEST_F(ReaderFuzz, DamagedSessionFilesAreReadWholeOrRefused) {
    const std::vector<std::string> bases = SessionBases();
    ASSERT_EQ(bases.size(), 2u);
    Mutator mutate(77);
    int read = 0, refused = 0;
    Loop(1500, [&](int k) -> std::string {
        Write("S.trk", mutate(bases[k % 2]));
        const auto before = Folder();
        snprintf(sessionFilename, sizeof sessionFilename, "%s", "S.trk");
        int result = -1;
        if (Feed("", [&] { result = ReadSessionTrack(); }) != 0) return "the reader ended the program";
        if (result == 1) {
            std::string bad = Inconsistency();
            if (!bad.empty()) return bad;
            read++;
        } else if (result == 0) {
            // Every refusal says why.
            if (shown_.find("is damaged in its") == std::string::npos &&
                shown_.find("incompatible version") == std::string::npos)
                return "a refusal without its message: " + shown_;
            refused++;
        } else {
            return "result " + std::to_string(result);
        }
        if (Folder() != before) return "a file changed";
        ResetCurrentDataSet();
        return "";
    });
    EXPECT_GT(read, 50);
    EXPECT_GT(refused, 500);
}

}  // namespace
