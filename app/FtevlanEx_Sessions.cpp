// ===========================================================================
// Sessions
// ===========================================================================

#include "FtevlanEx.h"
#include "FtevlanEx_internal.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FtevlanGlob.h"
#include "TevlanClasses.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"

using namespace ex_detail;

namespace {

// Without opening it: opening a FIFO for reading would wait for a writer.
bool FileExists(const char* name) {
    std::error_code ec;
    return std::filesystem::exists(name, ec);
}

long FileSize(FILE* f) {
    long here = ftell(f);
    if (fseek(f, 0, SEEK_END) != 0) return -1;
    long size = ftell(f);
    fseek(f, here, SEEK_SET);
    return size;
}

const char* const kNameFile = "Sessao.trk";
// A session name leaves room for ".trk" in every name buffer.
constexpr int kMaxSessionName = 95;

// The session file last rejected by ReadSessionTrack: an empty session is
// never written over it.
std::string rejectedSessionFile;

// A word as the session file stores it: never empty, never with blanks,
// so that it reads back as exactly one word.
std::string AsWord(const char* text) {
    std::string w = text ? text : "";
    for (char& c : w)
        if (isspace(static_cast<unsigned char>(c))) c = '_';
    return w.empty() ? "_" : w;
}

// The session file's text, built in memory: it is compared with the file
// before anything is written, and written in one piece when it differs.
// A comparison sees the text a piece at a time as it is built and may stop
// the building at the first piece that differs: a key that changed the
// resemblance matrix is not made to convert all of it to learn that.
class SessionText {
public:
    using Check = std::function<bool(std::string_view)>;
    explicit SessionText(Check check) : check_(std::move(check)) {}
    SessionText& operator<<(int v) {
        if (stopped_) return *this;
        used_ = static_cast<size_t>(FormatInt(Room(kNumberRoom), v) - s_.data());
        return *this;
    }
    // The shortest text that reads back as the same double, so that a
    // continued session goes on exactly where the interrupted one stood;
    // it costs a fraction of printf's seventeen digits, which made the
    // writes of a large table take seconds.
    SessionText& operator<<(double v) {
        if (stopped_) return *this;
        used_ = static_cast<size_t>(FormatShortest(Room(kNumberRoom), v) - s_.data());
        return *this;
    }
    SessionText& operator<<(char c) {
        if (stopped_) return *this;
        *Room(1) = c;
        used_++;
        return *this;
    }
    SessionText& operator<<(const std::string& w) {
        if (stopped_) return *this;
        memcpy(Room(w.size()), w.data(), w.size());
        used_ += w.size();
        return *this;
    }
    template <class T>
    void Row(int n, const T* x) {
        for (int j = 0; j < n; j++) *this << x[j] << '\t';
        *this << '\n';
    }
    void Reserve(size_t n) { s_.resize(std::max(s_.size(), n)); }
    // The whole text, or the part built before a comparison stopped it.
    std::string Take() {
        if (check_ && !stopped_) stopped_ = !check_(Text());
        s_.resize(used_);
        used_ = 0;
        return std::move(s_);
    }

private:
    static constexpr size_t kPiece = 1 << 16;
    std::string_view Text() const { return {s_.data(), used_}; }
    // The numbers are converted in place, at the end of the text.
    char* Room(size_t k) {
        if (check_ && used_ - checked_ >= kPiece) {
            checked_ = used_;
            stopped_ = !check_(Text());
        }
        if (s_.size() - used_ < k) s_.resize(std::max(2 * s_.size(), used_ + k));
        return &s_[used_];
    }
    Check check_;
    std::string s_;
    size_t used_ = 0, checked_ = 0;
    bool stopped_ = false;
};

// The session file's text; check, when given, compares it as it is built.
std::string SessionBody(SessionText::Check check = nullptr) {
    const bool comparing = static_cast<bool>(check);
    SessionText f(std::move(check));
    // Room for the usual size of a text to write (the table twice, the
    // resemblance triangle) at once, instead of copying it as it grows.
    const double numbers = temDados == 1 ? 2.0 * nObj * nVar + (temRese == 1 ? 0.5 * nRows * (nRows + 1.0) : 0) : 0;
    if (!comparing) f.Reserve(static_cast<size_t>(std::min(numbers * 8 + 4096, 1e9)));
    f << AsWord(sessionName) << '\n' << AsWord(filename) << '\n' << std::string(versaoTrack) << '\n';
    const bool hasData = temDados == 1 && dataOrig && data && varType && uaLabels && varLabels;
    f << (hasData ? 1 : 0) << '\n';
    if (hasData) {
        for (int v : {nObj, nVar, optVarTipo, temQuant, temQual, temBin}) f << v << '\n';
        f << format << '\n';
        f.Row(nVar, varType);
        for (int i = 0; i < nObj; i++) f.Row(nVar, dataOrig[i]);
        f << optTrEs << '\n' << optTrVeVar << '\n' << optTrVeUnits << '\n';
        for (int i = 0; i < nObj; i++) f.Row(nVar, data[i]);
        for (int i = 0; i < nObj; i++) f << AsWord(uaLabels[i]) << '\t';
        f << '\n';
        for (int j = 0; j < nVar; j++) f << AsWord(varLabels[j]) << '\t';
        f << '\n' << optLabel << '\n';
    }
    const bool hasRese = hasData && temRese == 1 && rese;
    f << (hasRese ? 1 : 0) << '\n';
    if (hasRese) {
        f << optReseDir << '\n' << optReseTipo << '\n' << nClassesVar << '\n' << nClassesUnits << '\n';
        f << alphaH << '\n' << kParameter << '\n' << countDoubleAbsence << '\n';
        for (int i = 0; i < nRows; i++)
            for (int j = i; j < nRows; j++) f << rese[i][j] << '\n';
    }
    const bool hasScores = hasRese && temEscore == 1 && eig && escores && evectors;
    f << (hasScores ? 1 : 0) << '\n';
    if (hasScores) {
        f << optOrdiType << '\n' << rank << '\n';
        f.Row(rank, eig);
        for (int a = 0; a < rank; a++) {
            if (optOrdiType == 2 || optOrdiType == 3) {
                f.Row(nCols, escores[a]);
                if (optOrdiType == 3) f.Row(nRows, evectors[a]);
            } else {
                f.Row(nRows, escores[a]);
            }
        }
    }
    const bool hasGroups = hasData && temGrupo == 1 && grMemb && grLabel && nGroups && nestedFactor && factorLabel;
    f << (hasGroups ? 1 : 0) << '\n';
    if (hasGroups) {
        f << nFactors << '\n' << nesting << '\n';
        for (int k = 0; k < nFactors; k++) f << AsWord(factorLabel[k]) << '\n';
        f.Row(nFactors, nestedFactor);
        f.Row(nFactors, nGroups);
        for (int k = 0; k < nFactors; k++) f.Row(nGroups[k], grLabel[k]);
        for (int k = 0; k < nFactors; k++) f.Row(nObj, grMemb[k]);
    }
    return f.Take();
}

// A file read a piece at a time, to tell whether a text is what it holds.
// A session that the file already holds is not written again, so an
// analysis that only read it leaves the file (and a folder that cannot be
// written) alone.
class FileComparison {
public:
    explicit FileComparison(const char* name) {
        std::error_code ec;
        if (!IsRegularFile(name)) return;
        size_ = std::filesystem::file_size(name, ec);
        if (!ec) f_ = fopen(name, "rb");
    }
    ~FileComparison() {
        if (f_) fclose(f_);
    }
    FileComparison(const FileComparison&) = delete;
    FileComparison& operator=(const FileComparison&) = delete;
    // Whether the file goes on as text does past what was compared before.
    bool Continues(std::string_view text) {
        if (!f_ || text.size() > size_) return false;
        char chunk[1 << 16];
        while (at_ < text.size()) {
            const size_t want = std::min(sizeof chunk, text.size() - at_);
            if (fread(chunk, 1, want, f_) != want || memcmp(chunk, text.data() + at_, want) != 0) return false;
            at_ += want;
        }
        return true;
    }
    bool Holds(std::string_view text) { return Continues(text) && at_ == size_ && getc(f_) == EOF; }

private:
    FILE* f_ = nullptr;
    size_t size_ = 0, at_ = 0;
};

bool FileHolds(const char* name, const std::string& text) { return FileComparison(name).Holds(text); }

}  // namespace

namespace ex_detail {

bool SessionFileIsCurrent() {
    FileComparison file(sessionFilename);
    bool same = true;
    const std::string text = SessionBody([&](std::string_view t) { return same = same && file.Continues(t); });
    return same && file.Holds(text);
}

}  // namespace ex_detail

namespace {

void SessionNotWritten(const char* name) {
    fflush(stdout);
    fprintf(stderr,
            eng ? "\nSession file %s could not be written: the session is NOT saved.\n"
                : "\nArquivo de sessao %s nao pode ser escrito: a sessao NAO esta armazenada.\n",
            name);
    fputc(7, stderr);
    fflush(stderr);
    savedSession = 0;
}

// ---------------------------------------------------------------------------
// Reading a session file: every token is checked before it is used, and the
// set is read into a snapshot of its own that becomes current only when the
// whole file was sound.
// ---------------------------------------------------------------------------

class SessionReader {
public:
    SessionReader(FILE* f, long size) : f_(f), size_(size) {}

    // One word; a longer one keeps its first capacity - 1 characters.
    bool Word(char* to, size_t capacity) {
        char w[512];
        if (!Token(w, sizeof w)) return false;
        if (strlen(w) >= capacity) cut_ = true;
        CopyCut(to, capacity, w);
        return true;
    }
    bool Int(int& v, long long lowest, long long highest) {
        char w[64];
        if (!Token(w, sizeof w)) return false;
        char* end = nullptr;
        errno = 0;
        long long x = strtoll(w, &end, 10);
        if (errno != 0 || *end != '\0' || end == w || x < lowest || x > highest) return Fail();
        v = static_cast<int>(x);
        return true;
    }
    // A number of the session is finite wherever it stands: every value
    // the program keeps was computed from finite data.
    bool Real(double& v) {
        char w[512];
        if (!Token(w, sizeof w)) return false;
        if (!WholeNumber(w, strlen(w), &v) || !std::isfinite(v)) return Fail();
        return true;
    }
    bool Reals(int n, double* x) {
        for (int j = 0; j < n; j++)
            if (!Real(x[j])) return false;
        return true;
    }
    bool Ints(int n, int* x, long long lowest, long long highest) {
        for (int j = 0; j < n; j++)
            if (!Int(x[j], lowest, highest)) return false;
        return true;
    }
    // Counts whose numbers could not all be in a file of this size are
    // damage, not a request for memory.
    bool Plausible(double numbers) const { return numbers <= (static_cast<double>(size_) + 1) / 2; }
    bool WordsWereCut() const { return cut_; }

private:
    bool Fail() { return false; }
    bool Token(char* to, size_t capacity) {
        // The file is read by this thread alone (see ReadNumberToken).
        int c;
        do {
            c = getc_unlocked(f_);
        } while (c != EOF && isspace(c));
        if (c == EOF) return false;
        size_t k = 0;
        while (c != EOF && !isspace(c)) {
            if (k + 1 < capacity) to[k++] = static_cast<char>(c);
            c = getc_unlocked(f_);
        }
        to[k] = '\0';
        return true;
    }
    FILE* f_;
    long size_;
    bool cut_ = false;
};

// The parts of a session file, as a damaged one is reported.
enum SessionSection { sectionHeading, sectionData, sectionResemblance, sectionOrdination, sectionGroups };

const char* SectionName(SessionSection k) {
    static const char* const english[] = {"heading (names and version)", "data", "resemblance", "ordination",
                                          "groups"};
    static const char* const portuguese[] = {"cabecalho (nomes e versao)", "dados", "semelhanca", "ordenacao",
                                             "grupos"};
    return eng ? english[k] : portuguese[k];
}

// Reads the body of a session file into s; on damage, section names the part
// where it was found.
bool ReadSessionBody(SessionReader& r, Session* s, SessionSection& section) {
    section = sectionData;
    if (!r.Int(s->temDados, 0, 1)) return false;
    if (s->temDados == 1) {
        if (!r.Int(s->nObj, 1, 2147483647) || !r.Int(s->nVar, 1, 2147483647)) return false;
        // The data appear twice in the file, and each label once.
        if (!r.Plausible(2.0 * s->nObj * s->nVar + s->nObj + s->nVar)) return false;
        if (!r.Int(s->optVarTipo, 1, 6) || !r.Int(s->temQuant, 0, 1) || !r.Int(s->temQual, 0, 1) ||
            !r.Int(s->temBin, 0, 1))
            return false;
        // Mixed data are those of at least two kinds of variables: the data
        // type is derived from that combination.
        if (s->optVarTipo == 5 && s->temQuant + s->temQual + s->temBin < 2) return false;
        char word[4];
        if (!r.Word(word, sizeof word) || strlen(word) != 1) return false;
        s->format = static_cast<char>(toupper(static_cast<unsigned char>(word[0])));
        if (s->format != 'N' && s->format != 'T') return false;
        s->varType = dim1DT<int>(s->nVar);
        s->dataOrig = dim2DT<double>(s->nObj, s->nVar);
        s->data = dim2DT<double>(s->nObj, s->nVar);
        s->uaLabels = dim2DT<char>(s->nObj, 30);
        s->varLabels = dim2DT<char>(s->nVar, 30);
        if (!r.Ints(s->nVar, s->varType, 1, 4)) return false;
        for (int i = 0; i < s->nObj; i++)
            if (!r.Reals(s->nVar, s->dataOrig[i])) return false;
        if (!r.Int(s->optTrEs, 0, 5) || !r.Int(s->optTrVeVar, 0, 12) || !r.Int(s->optTrVeUnits, 0, 12)) return false;
        for (int i = 0; i < s->nObj; i++)
            if (!r.Reals(s->nVar, s->data[i])) return false;
        for (int i = 0; i < s->nObj; i++)
            if (!r.Word(s->uaLabels[i], 30)) return false;
        for (int j = 0; j < s->nVar; j++)
            if (!r.Word(s->varLabels[j], 30)) return false;
        if (!r.Int(s->optLabel, 1, 2)) return false;
    }
    section = sectionResemblance;
    if (!r.Int(s->temRese, 0, 1)) return false;
    if (s->temRese == 1) {
        if (s->temDados != 1) return false;
        if (!r.Int(s->optReseDir, 1, 2) || !r.Int(s->optReseTipo, 1, 29) ||
            !r.Int(s->nClassesVar, 0, 2147483647) || !r.Int(s->nClassesUnits, 0, 2147483647) ||
            !r.Real(s->alphaH) || !r.Real(s->kParameter) || !r.Int(s->countDoubleAbsence, 0, 1))
            return false;
        // The parameters as the resemblance dialogue takes them.
        auto parameter = [](double x) { return x >= 0 && x <= 3.4028234663852886e38; };
        if (!parameter(s->alphaH) || !parameter(s->kParameter)) return false;
        s->nRows = s->optReseDir == 1 ? s->nObj : s->nVar;
        s->nCols = s->optReseDir == 1 ? s->nVar : s->nObj;
        if (!r.Plausible(0.5 * s->nRows * (s->nRows + 1.0))) return false;
        s->rese = dim2DT<double>(s->nRows, s->nRows);
        for (int i = 0; i < s->nRows; i++)
            for (int j = i; j < s->nRows; j++) {
                if (!r.Real(s->rese[i][j])) return false;
                s->rese[j][i] = s->rese[i][j];
            }
    }
    section = sectionOrdination;
    if (!r.Int(s->temEscore, 0, 1)) return false;
    if (s->temEscore == 1) {
        if (s->temRese != 1) return false;
        if (!r.Int(s->optOrdiType, 1, 3) || !r.Int(s->rank, 0, s->nRows)) return false;
        const int width = s->optOrdiType == 1 ? s->nRows : s->nCols;
        s->eig = dim1DT<double>(s->nRows + 1);
        s->evectors = dim2DT<double>(s->nRows + 1, s->nRows + 1);
        s->escores = dim2DT<double>(s->nRows, width);
        if (!r.Reals(s->rank, s->eig)) return false;
        for (int a = 0; a < s->rank; a++) {
            if (!r.Reals(width, s->escores[a])) return false;
            if (s->optOrdiType == 3 && !r.Reals(s->nRows, s->evectors[a])) return false;
        }
    }
    section = sectionGroups;
    if (!r.Int(s->temGrupo, 0, 1)) return false;
    if (s->temGrupo == 1) {
        if (s->temDados != 1) return false;
        if (!r.Int(s->nFactors, 1, 10)) return false;
        const int P = NumberOfPartitions(s->nFactors);
        s->grMemb = dim2DT<int>(P, s->nObj);
        s->grLabel = dim2DT<int>(P, s->nObj);
        s->nGroups = dim1DT<int>(P);
        s->nestedFactor = dim1DT<int>(s->nFactors);
        s->factorLabel = dim2DT<char>(s->nFactors, 100);
        if (!r.Int(s->nesting, 0, 1)) return false;
        for (int k = 0; k < s->nFactors; k++)
            if (!r.Word(s->factorLabel[k], 100)) return false;
        if (!r.Ints(s->nFactors, s->nestedFactor, 0, 1) || !r.Ints(s->nFactors, s->nGroups, 1, s->nObj)) return false;
        // Only a block design marks a factor nested: the second, within the
        // blocks of the first. One factor alone is never a block design,
        // and the test would take it as the blocks it is to be tested in.
        if (s->nesting == 1 && s->nFactors < 2) return false;
        for (int k = 0; k < s->nFactors; k++)
            if (s->nestedFactor[k] != (k == 1 ? s->nesting : 0)) return false;
        for (int k = 0; k < s->nFactors; k++)
            if (!r.Ints(s->nGroups[k], s->grLabel[k], -2147483648LL, 2147483647)) return false;
        for (int k = 0; k < s->nFactors; k++)
            if (!r.Ints(s->nObj, s->grMemb[k], -2147483648LL, 2147483647)) return false;
        // The group labels must be those of the memberships.
        std::vector<int> labels(s->nObj);
        for (int k = 0; k < s->nFactors; k++) {
            int count = 0;
            CountGroups(s->nObj, s->grMemb[k], count, labels.data());
            if (count != s->nGroups[k] || !std::equal(labels.begin(), labels.begin() + count, s->grLabel[k]))
                return false;
        }
    }
    return true;
}

void IncompatibleSession() {
    fprintf(out, "%s",
            eng ? "Previous analysis done with incompatible version of Tevlan. \nSpecify data again.\n"
                : "Analise anterior gerada por versao incompativel. \nEspecifique dados novamente.\n");
}

void DamagedSession(const char* file, SessionSection section) {
    fprintf(out,
            eng ? "Session file %s is damaged in its %s section and was not read. \nSpecify data again.\n"
                : "O arquivo de sessao %s esta danificado na secao de %s e nao foi lido. \nEspecifique dados "
                  "novamente.\n",
            file, SectionName(section));
}

// A session name that names a file in the working folder: no folder
// separators, and not "..".
bool SafeSessionName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name.find('\\') == std::string::npos &&
           name != "..";
}

// The session name of a session file name (the name without ".trk").
std::string SessionNameOf(const char* file) {
    std::string name = file;
    const size_t ext = strlen(sessionExt);
    if (name.size() > ext && name.compare(name.size() - ext, ext, sessionExt) == 0) name.resize(name.size() - ext);
    return name;
}

}  // namespace

void SetDefaultSessionName() {
    snprintf(sessionName, sizeof sessionName, "Sessao");
    snprintf(sessionFilename, sizeof sessionFilename, "Sessao%s", sessionExt);
}

int WriteSessionTrack() {
    // An empty session never replaces a file that could not be read: that
    // file may hold a user's work from another version.
    if (temDados != 1 && rejectedSessionFile == sessionFilename) return 0;
    // The session first, then the name file: a session that could not be
    // written is never named, and the default session, whose file is the
    // name file itself, is never replaced by its name alone.
    const std::string body = SessionBody();
    if (!FileHolds(sessionFilename, body) && !ReplaceFile(sessionFilename, body)) {
        SessionNotWritten(sessionFilename);
        return 0;
    }
    const std::string nameLine = AsWord(sessionName) + "\n";
    if (strcmp(sessionFilename, kNameFile) != 0 && !FileHolds(kNameFile, nameLine) &&
        !ReplaceFile(kNameFile, nameLine)) {
        SessionNotWritten(kNameFile);
        return 0;
    }
    ClearLine();
    savedSession = 1;
    rejectedSessionFile.clear();
    return 1;
}

int ReadSessionTrack() {
    FILE* f = fopenck(sessionFilename, nullptr, "r");
    if (!f) {
        fflush(stdout);
        exit(1);
    }
    SessionReader r(f, FileSize(f));
    char name[100], file[100], tag[32];
    SessionSection section = sectionHeading;
    bool ok = r.Word(name, kMaxSessionName + 1) && r.Word(file, sizeof file) && r.Word(tag, sizeof tag);
    const bool otherVersion = ok && strcmp(tag, versaoTrack) != 0;
    ok = ok && !otherVersion;
    // The set is read into a snapshot of its own: the current data set stays
    // as it is unless the whole file is sound.
    sessionInput none;
    none.temDados = 0;
    Session* staged = new Session(&none, true);
    ok = ok && ReadSessionBody(r, staged, section);
    fclose(f);
    if (!ok) {
        delete staged;
        rejectedSessionFile = sessionFilename;
        if (otherVersion)
            IncompatibleSession();
        else
            DamagedSession(sessionFilename, section);
        return 0;
    }
    if (r.WordsWereCut()) LabelsCutNote();
    // The session is the file that was opened, whatever name a copied or
    // renamed file holds inside: the name written back to the name file
    // must lead to this file again.
    snprintf(staged->sessionName, sizeof staged->sessionName, "%s", SessionNameOf(sessionFilename).c_str());
    snprintf(staged->filename, sizeof staged->filename, "%s", file);
    snprintf(staged->sessionFilename, sizeof staged->sessionFilename, "%s", sessionFilename);
    staged->versaoTrack = versaoTrack;
    staged->secondSet = secondSet;
    ChangeCurrentSession(staged);
    delete staged;  // its arrays stay with the globals
    grMembDimensioned = grMemb ? 1 : 0;
    RecoverTransformationOptions();
    ClearLine();
    return 1;
}

void CheckSession() {
    SetDefaultSessionName();
    bool asked = false;
    // A name file without a word (emptied, or cut short by a full disc)
    // names no session, and a session file without its two words is taken
    // as a missing one: the program starts without data and the next
    // session write replaces the file. Reading them with the fatal readers
    // would end every start of the program.
    char word[kMaxSessionName + 1];
    bool named = false;
    if (FILE* names = IsRegularFile(kNameFile) ? fopen(kNameFile, "r") : nullptr) {
        SessionReader r(names, FileSize(names));
        // A name that would lead out of the working folder counts as damage.
        named = r.Word(word, sizeof word) && SafeSessionName(word);
        fclose(names);
        if (!named)
            fprintf(out,
                    eng ? "The session name file %s is damaged: no last session is offered.\n"
                        : "O arquivo de nome de sessao %s esta danificado: nenhuma sessao anterior e oferecida.\n",
                    kNameFile);
    }
    if (named) {
        snprintf(sessionName, sizeof sessionName, "%s", word);
        snprintf(sessionFilename, sizeof sessionFilename, "%s%s", sessionName, sessionExt);
        char file[sizeof filename];
        bool readable = false;
        const bool exists = FileExists(sessionFilename);
        if (FILE* session = IsRegularFile(sessionFilename) ? fopen(sessionFilename, "r") : nullptr) {
            SessionReader r(session, FileSize(session));
            readable = r.Word(word, sizeof word) && r.Word(file, sizeof file);
            fclose(session);
        }
        if (!readable && exists)
            DamagedSession(sessionFilename, sectionHeading);
        if (readable) {
            snprintf(filename, sizeof filename, "%s", file);
            asked = true;
            bool yes;
            if (strcmp(sessionName, "Sessao") != 0) {
                fprintf(out,
                        eng ? "Wish to continue analysis session %s with data file %s? y/n "
                            : "Continuar sessao de analise %s com dados %s? s/n ",
                        sessionName, filename);
            } else {
                fprintf(out,
                        eng ? "Wish to continue analysis session with data file %s? y/n "
                            : "Continuar sessao de analise com dados %s? s/n ",
                        filename);
            }
            fflush(out);
            yes = ScanChar(in, eng ? "y n" : "s n", Keyboard()) != 'n';
            if (!yes || ReadSessionTrack() != 1) {
                // A session given up, or one that could not be read, leaves
                // nothing behind, and later writes go to the default session.
                LivraMemoria();
                SetDefaultSessionName();
            }
            savedSession = 1;
        }
    }
    if (!asked) LivraMemoria();
    SetStepReached();
    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
    if (FileExists("Vidive.txt")) {
        fprintf(out,
                eng ? "An older file %s was found. Wish to erase(e) or append(a)? "
                    : "Ja existe o arquivo %s. Apagar(a) ou emendar(e)? ",
                "Vidive.txt");
        fflush(out);
        int key = ScanChar(in, "a e", Keyboard());
        bool erase = eng ? key == 'e' : key == 'a';
        strcpy(modeVidive, erase ? "w" : "a");
    } else {
        strcpy(modeVidive, "w");
    }
}

namespace {

// Asks a session name until one fits (at most 95 characters).
std::string AskSessionName(const char* english, const char* portuguese) {
    for (;;) {
        fprintf(out, "%s", eng ? english : portuguese);
        fflush(out);
        std::string name = AskWord(99);
        if (!SafeSessionName(name)) {
            // The session file is made in the working folder, never elsewhere.
            fprintf(out, "%s",
                    eng ? "\nA session name holds neither '/' nor '\\' and is not \"..\".\n"
                        : "\nUm nome de sessao nao contem '/' nem '\\' e nao e \"..\".\n");
            continue;
        }
        if (static_cast<int>(name.size()) <= kMaxSessionName) return name;
        fprintf(out, "%s",
                eng ? "\nA session name has at most 95 characters.\n"
                    : "\nUm nome de sessao tem no maximo 95 caracteres.\n");
    }
}

const char* DataFileOf(const Session* s) { return s ? s->filename : ""; }

}  // namespace

int SaveSession() {
    std::string name;
    for (;;) {
        name = AskSessionName("Enter name for the session: ", "Entre nome para a sessao: ");
        if (!FileExists((name + sessionExt).c_str())) break;
        fprintf(out,
                eng ? "A session named %s already exists. Wish to erase? y/n "
                    : "Ja existe uma sessao denominada %s. Deseja apagar? s/n ",
                name.c_str());
        fflush(out);
        if (ScanChar(in, eng ? "y n" : "s n", Keyboard()) != 'n') break;
    }
    return SaveSession(name.c_str());
}

int SaveSession(const char* name) {
    if (!SafeSessionName(name)) return 0;
    // A session that could not be written keeps its old name: the new one
    // names no file.
    const std::string oldName = sessionName, oldFile = sessionFilename;
    snprintf(sessionName, sizeof sessionName, "%.*s", kMaxSessionName, name);
    snprintf(sessionFilename, sizeof sessionFilename, "%s%s", sessionName, sessionExt);
    if (WriteSessionTrack() == 1) return 1;
    snprintf(sessionName, sizeof sessionName, "%s", oldName.c_str());
    snprintf(sessionFilename, sizeof sessionFilename, "%s", oldFile.c_str());
    return 0;
}

int OpenSession() {
    std::string file;
    for (;;) {
        std::string name = AskSessionName("Enter session name (without the extension .trk): ",
                                          "Entre nome da sessao (sem a extensao .trk): ");
        file = name + sessionExt;
        FILE* f = fopenck(file.c_str(), nullptr, "r");
        if (f) {
            fclose(f);
            break;
        }
        if (!AskYes("Try again? y/n ", "Tentar novamente? s/n ")) return 0;
    }
    snprintf(sessionFilename, sizeof sessionFilename, "%s", file.c_str());
    if (ReadSessionTrack() == 1) return 1;
    snprintf(sessionFilename, sizeof sessionFilename, "%s%s", sessionName, sessionExt);
    return 0;
}

namespace ex_detail {

// The second-set dialogue. takeFirst: snapshot the current data set as the
// first set; key K has just taken that snapshot and made it current, and a
// second copy of every array would only double the memory held.
int SecondSetDialogue(bool takeFirst) {
    if (secondSet && session1 && session2) {
        fprintf(out, eng ? "First data set: %s\n" : "Primeiro conjunto de dados: %s\n", DataFileOf(session1));
        fprintf(out, eng ? "Second data set: %s\n" : "Segundo conjunto de dados: %s\n", DataFileOf(session2));
        fprintf(out, "%s",
                eng ? "Keep (k), switch order (s) or specify the second data set again (n)? "
                    : "Manter (k), inverter ordem (s) ou especificar o segundo novamente (n)? ");
        fflush(out);
        int key = ScanChar(in, "k s n", Keyboard());
        if (key == 'k') return 1;
        if (key == 's') {
            SwitchSessions();
            secondSet = true;
            return 1;
        }
    }
    secondSet = false;
    fprintf(out, eng ? "First data set: %s\n" : "Primeiro conjunto de dados: %s\n", filename);
    fprintf(out, "%s", eng ? "Specify now the second data set.\n" : "Especifique agora o segundo conjunto de dados.\n");
    if (takeFirst || !session1) ReplaceSession(session1, SessionClass(true));
    if (OpenSession() != 1) return 0;  // the first data set is still current
    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
    SetStepReached();
    ReplaceSession(session2, SessionClass(true));
    ChangeCurrentSession(session1);
    secondSet = true;
    return 1;
}

}  // namespace ex_detail

int SpecifySecondSession() { return SecondSetDialogue(true); }

int SpecifyThirdSession() {
    if (!session1) ReplaceSession(session1, SessionClass(true));
    if (thirdSet && session3) {
        fprintf(out, eng ? "First data set: %s\n" : "Primeiro conjunto de dados: %s\n", DataFileOf(session1));
        fprintf(out, eng ? "Second data set: %s\n" : "Segundo conjunto de dados: %s\n", DataFileOf(session2));
        fprintf(out, eng ? "Third data set: %s\n" : "Terceiro conjunto de dados: %s\n", DataFileOf(session3));
        fprintf(out, "%s",
                eng ? "Keep (k), switch order (s) between second and third or specify the third data set again (n)? "
                    : "Manter (k), inverter ordem (s) entre o segundo e o terceiro ou especificar o terceiro "
                      "novamente (n)? ");
        fflush(out);
        int key = ScanChar(in, "k s n", Keyboard());
        if (key == 'k') return 1;
        if (key == 's') {
            std::swap(session2, session3);
            return 1;
        }
    }
    thirdSet = false;
    fprintf(out, eng ? "First data set: %s\n" : "Primeiro conjunto de dados: %s\n", DataFileOf(session1));
    fprintf(out, eng ? "Second data set: %s\n" : "Segundo conjunto de dados: %s\n", DataFileOf(session2));
    fprintf(out, "%s", eng ? "Specify now the third data set.\n" : "Especifique agora o terceiro conjunto de dados.\n");
    if (OpenSession() != 1) return 0;
    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
    SetStepReached();
    ReplaceSession(session3, SessionClass(true));
    // The first set's snapshot was taken before a second set was held: the
    // second set is held still.
    const bool second = secondSet;
    ChangeCurrentSession(session1);
    secondSet = second;
    thirdSet = true;
    return 1;
}
