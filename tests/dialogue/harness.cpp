#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return "";
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

int Count(const std::string& text, const std::string& needle) {
    if (needle.empty()) return 0;
    int n = 0;
    for (size_t p = text.find(needle); p != std::string::npos; p = text.find(needle, p + needle.size())) n++;
    return n;
}

std::string Normalise(const std::string& text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (c != '\a') s += c;
    // A progress line is 40 columns of text and 40 blanks, drawn after
    // backspaces or followed by them when it is cleared. Removed by a scan:
    // a long run leaves its backspaces side by side, which a regular
    // expression would match by recursing once per character.
    auto drawn = [](const std::string& t, size_t i) {
        if (i + 80 > t.size()) return false;
        for (size_t k = 0; k < 40; k++)
            if (t[i + k] == '\n' || t[i + k] == '\x08') return false;
        for (size_t k = 40; k < 80; k++)
            if (t[i + k] != ' ') return false;
        return true;
    };
    std::string kept;
    for (size_t i = 0; i < s.size();) {
        if (drawn(s, i) && i + 80 < s.size() && s[i + 80] == '\x08')
            i += 80;
        else
            kept += s[i++];
    }
    s.clear();
    for (size_t i = 0; i < kept.size();) {
        if (kept[i] != '\x08') {
            s += kept[i++];
            continue;
        }
        while (i < kept.size() && kept[i] == '\x08') i++;
        if (drawn(kept, i)) i += 80;
    }
    // Written to a file, the line is a whole line of 40 columns instead (the
    // text right-aligned), which may follow a prompt on the same line.
    static const std::regex progress("^ *[A-Z][A-Za-z ]*(: |, permutation )[-0-9A-Za-z :,]*[0-9]$");
    kept.clear();
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] == '\n' && kept.size() >= 40 && std::isdigit(static_cast<unsigned char>(kept.back()))) {
            const std::string window = kept.substr(kept.size() - 40);
            const bool lineStart = kept.size() == 40 || kept[kept.size() - 41] == '\n';
            if ((window[0] == ' ' || lineStart) && window.find_first_of("\t\n") == std::string::npos &&
                std::regex_match(window, progress)) {
                kept.resize(kept.size() - 40);
                continue;
            }
        }
        kept += s[i];
    }
    s.swap(kept);
    static const std::regex stamp("(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}");
    s = std::regex_replace(s, stamp, "<TIME>");
    static const std::regex elapsed("(Elapsed time|Tempo decorrido): [-+0-9.eE]+");
    s = std::regex_replace(s, elapsed, "$1: <T>");
    return s;
}

Dialogue::Dialogue() {
    std::string tmpl = (fs::temp_directory_path() / "tevlan-dialogue-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    folder_ = tmpl;
}

Dialogue::~Dialogue() {
    std::error_code ec;
    // A test may have made the folder read-only.
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(folder_, ec);
}

void Dialogue::Put(const std::string& name, const std::string& content) {
    std::ofstream f(folder_ + "/" + name, std::ios::binary);
    f << content;
}

void Dialogue::PutExample(const std::string& name) {
    fs::copy_file(std::string(TEVLAN_EXAMPLES) + "/" + name, folder_ + "/" + name,
                  fs::copy_options::overwrite_existing);
}

std::string RunResult::File(const std::string& name) const { return ReadFile(folder + "/" + name); }

bool RunResult::HasFile(const std::string& name) const { return fs::exists(folder + "/" + name); }

namespace {

// Everything the child writes to fd, appended to text, until its end or
// until nothing is waiting.
void Drain(int fd, std::string& text) {
    char buffer[65536];
    ssize_t k;
    while ((k = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(k));
}

}  // namespace

RunResult Dialogue::Run(const std::string& input, int timeoutSeconds) {
    // Two runs may share the folder at once, each with its own input.
    static std::atomic<int> runs(0);
    const std::string inPath = folder_ + "/.stdin" + std::to_string(runs++);
    {
        std::ofstream f(inPath, std::ios::binary);
        f << input;
    }
    // The console and the standard error come back through pipes, which a
    // limit on the size of files does not cut short.
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (chdir(folder_.c_str()) != 0) _exit(127);
        int i = open(inPath.c_str(), O_RDONLY);
        if (i < 0) _exit(127);
        dup2(i, 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        if (fileSizeLimit_ >= 0) {
            // A full disc: a write past the limit fails (the signal that
            // would end the program instead is ignored, and stays so in it).
            struct rlimit limit;
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(fileSizeLimit_);
            signal(SIGXFSZ, SIG_IGN);
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
        }
        for (const auto& [resource, bytes] : memoryLimits_) {
            struct rlimit limit;
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(bytes);
            if (setrlimit(resource, &limit) != 0) _exit(127);
        }
        if (!launcher_.empty())
            execl(launcher_.c_str(), launcher_.c_str(), TEVLAN_EXE, static_cast<char*>(nullptr));
        else
            execl(TEVLAN_EXE, "tevlan", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    for (int fd : {outPipe[0], errPipe[0]}) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    RunResult r;
    r.folder = folder_;
    std::string out, err;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int wstatus = 0;
    for (;;) {
        struct pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        poll(fds, 2, 5);
        Drain(outPipe[0], out);
        Drain(errPipe[0], err);
        pid_t w = waitpid(pid, &wstatus, WNOHANG);
        if (w == pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &wstatus, 0);
            r.timedOut = true;
            break;
        }
    }
    // What the child wrote just before it ended.
    for (int fd : {outPipe[0], errPipe[0]}) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    Drain(outPipe[0], out);
    Drain(errPipe[0], err);
    close(outPipe[0]);
    close(errPipe[0]);
    if (!r.timedOut && WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
    if (!r.timedOut && WIFSIGNALED(wstatus)) r.signal = WTERMSIG(wstatus);
    r.rawOut = out;
    r.out = Normalise(out);
    r.err = Normalise(err);
    fs::remove(inPath);
    return r;
}
