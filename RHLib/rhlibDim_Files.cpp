// Opening, closing and replacing the files the program reads and writes.

#include "rhlibDim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

void Bell() {
    fputc(7, stdout);
    fflush(stdout);
}

// What a name stands for, links followed. An anonymous pipe (/dev/stdin,
// /dev/fd/N, a shell's process substitution) lives in the kernel's pipe file
// system; a named FIFO has a node in an ordinary folder.
enum class Kind { Missing, Regular, Folder, NamedFifo, Pipe, Null, Device, Socket };

constexpr long kPipeFileSystem = 0x50495045;

Kind KindOf(const char* name, struct stat* st) {
    if (stat(name, st) != 0) return Kind::Missing;
    if (S_ISREG(st->st_mode)) return Kind::Regular;
    if (S_ISDIR(st->st_mode)) return Kind::Folder;
    if (S_ISFIFO(st->st_mode)) {
        struct statfs fs;
        return statfs(name, &fs) == 0 && static_cast<long>(fs.f_type) == kPipeFileSystem ? Kind::Pipe
                                                                                        : Kind::NamedFifo;
    }
    if (S_ISSOCK(st->st_mode)) return Kind::Socket;
    struct stat null;
    if (S_ISCHR(st->st_mode) && stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) &&
        st->st_rdev == null.st_rdev)
        return Kind::Null;
    return Kind::Device;
}

// Why a file of this kind is not opened, or null when it is. Nothing is
// opened that could block the open or feed a reader without end: a named
// FIFO waits at the open until another program opens its other end, and a
// device such as /dev/zero never ends. A pipe the program was given is read
// (it was opened by whoever started the program), and /dev/null takes
// whatever is written to it.
const char* Refusal(Kind kind, bool writing) {
    switch (kind) {
        case Kind::Missing:
        case Kind::Regular:
        case Kind::Null:
            return nullptr;
        case Kind::Pipe:
            return writing ? "is a pipe" : nullptr;
        case Kind::Folder:
            return "is a folder";
        case Kind::NamedFifo:
            return "is a FIFO";
        case Kind::Socket:
            return "is a socket";
        case Kind::Device:
            return "is a device";
    }
    return nullptr;
}

void CantOpen(const std::string& name, const char* why) {
    if (why)
        fprintf(stderr, "\ncan't open %s: %s \n", name.c_str(), why);
    else
        fprintf(stderr, "\ncan't open %s \n", name.c_str());
    Bell();
}

// ---------------------------------------------------------------------------
// Pipes. A pipe can be read once only, from its start to its end, while
// readers of data files size them, read them twice or open them again. So a
// pipe is read whole at its first opening, and every opening reads that copy
// as it would a regular file.
// ---------------------------------------------------------------------------

std::mutex pipesMutex;
std::map<std::pair<dev_t, ino_t>, std::string> pipeCopies;

FILE* OpenPipeCopy(const std::string& name, const struct stat& st, const char** why) {
    std::lock_guard<std::mutex> hold(pipesMutex);
    const auto key = std::make_pair(st.st_dev, st.st_ino);
    auto found = pipeCopies.find(key);
    if (found == pipeCopies.end()) {
        const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return nullptr;
        std::string text;
        char chunk[1 << 16];
        bool whole = true;
        for (;;) {
            const ssize_t k = read(fd, chunk, sizeof chunk);
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) {
                whole = k == 0;
                break;
            }
            const size_t size = text.size() + static_cast<size_t>(k);
            // Checked as the copy grows, so that an endless pipe is refused
            // before it takes the machine's memory.
            if (size > text.capacity() && !FitsInMemory(2.0 * static_cast<double>(size))) {
                *why = "is a pipe longer than memory can hold";
                whole = false;
                break;
            }
            text.append(chunk, static_cast<size_t>(k));
        }
        close(fd);
        if (!whole) return nullptr;
        found = pipeCopies.emplace(key, std::move(text)).first;
    }
    std::string& text = found->second;
    // The map's strings never move or change: each stream reads its own
    // view of one.
    static char nothing = '\0';
    return fmemopen(text.empty() ? &nothing : &text[0], text.size(), "r");
}

// ---------------------------------------------------------------------------
// The report. Several runs in one folder append to it; each holds an
// exclusive lock on it from the opening of a block to its close, so that
// their blocks follow one another whole. The lock is taken on a descriptor
// of its own, once per process however many streams of the report the run
// has open, since a lock of the same process on a second descriptor would
// wait for itself.
// ---------------------------------------------------------------------------

const char* const kReport = "Vidive.txt";

std::mutex reportMutex;
int reportLock = -1;
std::vector<FILE*> reportStreams;

// Called with reportMutex held, before the stream is opened: an erase (mode
// "w") happens under the lock, never in the middle of another run's block.
void TakeReportLock(const std::string& name) {
    if (!reportStreams.empty() || reportLock >= 0) return;
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) return;  // the open of the stream will say why
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        // Said the first time only: two runs that write blocks by turns
        // (the samplers write one per iteration) would say it at every turn.
        static bool said = false;
        if (!said) {
            fflush(stdout);
            fprintf(stderr, "\nAnother run is writing to %s: waiting until it is done.\n", name.c_str());
            fflush(stderr);
            said = true;
        }
        while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    // A file system that keeps no locks is written as before.
    reportLock = fd;
}

// Called with reportMutex held.
void ReleaseReportLockIfDone() {
    if (reportStreams.empty() && reportLock >= 0) {
        close(reportLock);
        reportLock = -1;
    }
}

std::atomic<long> failedWrites(0);

}  // namespace

bool IsRegularFile(const char* name) {
    struct stat st;
    return name && *name && KindOf(name, &st) == Kind::Regular;
}

FILE* fopenck(const char* name, const char* prefix, const char* mode) {
    std::string full = prefix ? std::string(prefix) + name : std::string(name ? name : "");
    const bool writing = mode[0] != 'r' || strchr(mode, '+') != nullptr;
    FILE* f = nullptr;
    const char* why = nullptr;
    if (full.size() <= 99 && !full.empty()) {
        struct stat st;
        const Kind kind = KindOf(full.c_str(), &st);
        why = Refusal(kind, writing);
        if (!why && kind == Kind::Pipe) {
            f = OpenPipeCopy(full, st, &why);
        } else if (!why && writing && full == kReport && kind != Kind::Null) {
            std::lock_guard<std::mutex> hold(reportMutex);
            TakeReportLock(full);
            f = fopen(full.c_str(), mode);
            if (f) reportStreams.push_back(f);
            ReleaseReportLockIfDone();
        } else if (!why) {
            f = fopen(full.c_str(), mode);
        }
    }
    if (!f) {
        if (writing) failedWrites++;
        CantOpen(full, why);
    }
    return f;
}

bool fcloseck(FILE* f, const char* name) {
    if (!f) return false;
    // A full disc or a device that takes nothing (/dev/full) shows only in
    // the error flag or at the flush that empties the buffer.
    bool ok = !ferror(f);
    ok = fflush(f) == 0 && ok;
    {
        // The lock is let go only once the block is in the file.
        std::lock_guard<std::mutex> hold(reportMutex);
        auto it = std::find(reportStreams.begin(), reportStreams.end(), f);
        ok = fclose(f) == 0 && ok;
        if (it != reportStreams.end()) {
            reportStreams.erase(it);
            ReleaseReportLockIfDone();
        }
    }
    if (!ok) {
        failedWrites++;
        fflush(stdout);
        fprintf(stderr, "\nFAIL TO PRINT ON FILE %s !!!\n", name ? name : "");
        Bell();
    }
    return ok;
}

void NoteFailedWrite() { failedWrites++; }

bool SomeWriteFailed() { return failedWrites > 0; }

long FailedWrites() { return failedWrites; }

// ---------------------------------------------------------------------------
// Files replaced whole
// ---------------------------------------------------------------------------

namespace {

// The file a chain of links named name ends at (name itself when it is no
// link); a relative link is taken from the folder the link is in.
std::string FinalTarget(const std::string& name) {
    namespace fs = std::filesystem;
    fs::path path = name;
    for (int hops = 0; hops < 40; hops++) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(path, ec))) break;
        const fs::path to = fs::read_symlink(path, ec);
        if (ec) break;
        path = to.is_absolute() ? to : path.parent_path() / to;
    }
    return path.string();
}

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t k = write(fd, p, n);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        p += k;
        n -= static_cast<size_t>(k);
    }
    return true;
}

}  // namespace

bool ReplaceFile(const char* name, std::string_view text) {
    struct stat st;
    const Kind kind = KindOf(name, &st);
    if (const char* why = Refusal(kind, true)) {
        failedWrites++;
        CantOpen(name, why);
        return false;
    }
    if (kind == Kind::Null) return true;
    // The temporary file stands beside the file it replaces (a rename does
    // not cross file systems) and bears this process's number: two runs in
    // one folder never write into each other's, and whichever renames last
    // leaves its text whole. Through a link, the link's target is replaced
    // and the link kept.
    const std::string target = FinalTarget(name);
    const std::string temporary = target + "." + std::to_string(getpid()) + ".tmp";
    // A file of this name is one that an earlier process of this number left
    // behind when it was killed.
    unlink(temporary.c_str());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        failedWrites++;
        CantOpen(temporary, nullptr);
        return false;
    }
    bool ok = WriteAll(fd, text.data(), text.size());
    ok = close(fd) == 0 && ok;
    if (ok && rename(temporary.c_str(), target.c_str()) == 0) return true;
    unlink(temporary.c_str());
    failedWrites++;
    return false;
}
