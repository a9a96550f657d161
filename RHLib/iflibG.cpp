#include "iflibG.h"

#include <omp.h>

#include <sched.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "rhlibDim.h"

time_t timeStart = 0;
std::atomic<int> is40CharLine{0};
std::atomic<int> is80CharLine{0};

namespace {

int teamSize = 1;
FILE* progressStream = nullptr;
std::mutex progressMutex;
// Milliseconds of the monotonic clock at the last redraw.
std::atomic<int64_t> t2{0};

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

FILE* Progress() { return progressStream ? progressStream : stdout; }

// A terminal shows the line redrawn in place. A file or a pipe would keep
// every redraw with its backspaces, thousands in a long run, so there the
// line is written whole, at most once a second, and never erased. A stream
// the caller names receives the line as a terminal shows it.
bool stdoutIsTerminal = true;
bool RedrawnInPlace() { return progressStream != nullptr || stdoutIsTerminal; }

void Backspaces(FILE* f, int k) {
    for (int i = 0; i < k; i++) fputc(8, f);
}

}  // namespace

void SetProgressStream(FILE* stream) { progressStream = stream; }

namespace {

// The largest team a limit on memory leaves room for; 0 for none.
int teamCap = 0;

int Processors() { return std::max(1, omp_get_num_procs()); }

}  // namespace

int TeamLimit() { return teamCap > 0 ? std::min(teamCap, Processors()) : Processors(); }

void InitMultiprocessing(int n) {
    const int most = TeamLimit();
    teamSize = (n <= 0 || n > most) ? most : n;
    omp_set_num_threads(teamSize);
    // A parallel loop started inside another one runs on its calling thread,
    // so the team never grows to its square.
    omp_set_max_active_levels(1);
}

int NumberOfThreads() { return teamSize; }

namespace {

// The OpenMP runtime's default keeps an idle thread of a team spinning for
// milliseconds at every meeting of the team before it sleeps. On a machine
// whose processors are all busy with other programs, the spinning threads
// hold the processors that the one thread the others wait for needs: a
// permutation test of 20 units took 30 times as long on 8 threads as on one.
// This many checks (a tenth of a millisecond or two) still catch the next
// loop of a run of short parallel loops, as LAPACK's are: principal
// coordinates of 2,000 units take as long with them as with the default on
// a quiet machine, where 1,000 checks took three times as long.
char spinSetting[] = "GOMP_SPINCOUNT=10000";
char teamSetting[32];
// The environment of the new start: the given one with the settings above.
constexpr int kMostVariables = 4096;
char* newEnvironment[kMostVariables + 3];

const char* Variable(char** envp, const char* name) {
    const size_t length = strlen(name);
    for (char** e = envp; e && *e; e++)
        if (strncmp(*e, name, length) == 0 && (*e)[length] == '=') return *e + length + 1;
    return nullptr;
}

// The number a variable starts with (OMP_NUM_THREADS may give one for each
// level of nesting), or 0.
int LeadingCount(const char* text) {
    if (!text) return 0;
    long n = 0;
    for (; *text >= '0' && *text <= '9' && n < 1000000; text++) n = n * 10 + (*text - '0');
    return static_cast<int>(n);
}

// Whether /proc/self/exe is the program: the file that the code of this
// function is mapped from. Started through the dynamic loader, it is the
// loader.
bool StartedAsItself() {
    struct stat exe;
    if (stat("/proc/self/exe", &exe) != 0) return false;
    static char maps[65536];
    if (!ReadSmallFile("/proc/self/maps", maps, sizeof maps)) return false;
    const uintptr_t here = reinterpret_cast<uintptr_t>(&StartedAsItself);
    // Each line: start-end permissions offset major:minor inode path.
    for (char* line = maps; *line;) {
        char* next = strchr(line, '\n');
        if (next) *next = '\0';
        char* p = line;
        const unsigned long long start = strtoull(p, &p, 16);
        const unsigned long long end = *p == '-' ? strtoull(p + 1, &p, 16) : 0;
        if (start <= here && here < end) {
            while (*p == ' ') p++;
            while (*p && *p != ' ') p++;  // the permissions
            strtoull(p, &p, 16);          // the offset
            const unsigned long long deviceMajor = strtoull(p, &p, 16);
            const unsigned long long deviceMinor = *p == ':' ? strtoull(p + 1, &p, 16) : ~0ull;
            const unsigned long long inode = strtoull(p, &p, 10);
            return deviceMajor == major(exe.st_dev) && deviceMinor == minor(exe.st_dev) && inode == exe.st_ino;
        }
        if (!next) break;
        line = next + 1;
    }
    return false;
}

void Say(const char* text) {
    const ssize_t written = write(2, text, strlen(text));
    static_cast<void>(written);
}

// The processors the program may run on, read before the OpenMP runtime
// has started.
int ProcessorsAtStart() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 && online < 4096 ? static_cast<int>(online) : 1;
}

// The limit named in a message: the one that leaves the less room once
// what a team of `threads` reserves is taken from it. True for the
// address space.
bool NameLimit(const MemoryState& s, int threads, char* text, size_t capacity) {
    const bool space = RoomUnderLimit(s, threads, true) <= RoomUnderLimit(s, threads, false);
    snprintf(text, capacity, "The limit on the %s (ulimit %s %.0f kB)", space ? "address space" : "data segment",
             space ? "-v" : "-d", (space ? s.addressSpace : s.dataSegment) / 1024);
    return space;
}

}  // namespace

void PrepareStart(int argc, char** argv, char** envp) {
    static_cast<void>(argc);
    const int processors = ProcessorsAtStart();
    // The team the linear-algebra library is about to start.
    const int asked = LeadingCount(Variable(envp, "OMP_NUM_THREADS"));
    const int starting = asked > 0 ? std::min(asked, processors) : processors;
    const MemoryState s = ReadMemoryState();
    const int team = TeamWithinLimits(s, processors);
    char limit[128], message[512];
    if (team == 0) {
        const bool space = NameLimit(s, 1, limit, sizeof limit);
        snprintf(message, sizeof message,
                 "\n%s is too small for TEVLAN: it needs at least %.0f kB. Raise the limit and start again.\n", limit,
                 std::ceil(LeastLimitForOneThread(s, space) / 1024));
        Say(message);
        _exit(1);
    }
    if (team < processors) teamCap = team;

    int count = 0;
    while (envp && envp[count]) count++;
    const bool waitsSet = Variable(envp, "OMP_WAIT_POLICY") || Variable(envp, "GOMP_SPINCOUNT");
    const bool resize = starting > team;
    if ((!waitsSet || resize) && count <= kMostVariables && StartedAsItself()) {
        int k = 0;
        for (int i = 0; i < count; i++)
            if (!resize || strncmp(envp[i], "OMP_NUM_THREADS=", 16) != 0) newEnvironment[k++] = envp[i];
        if (!waitsSet) newEnvironment[k++] = spinSetting;
        if (resize) {
            snprintf(teamSetting, sizeof teamSetting, "OMP_NUM_THREADS=%d", team);
            newEnvironment[k++] = teamSetting;
        }
        newEnvironment[k] = nullptr;
        execve("/proc/self/exe", argv, newEnvironment);
    }
    if (resize) {
        NameLimit(s, starting, limit, sizeof limit);
        snprintf(message, sizeof message,
                 "\n%s leaves room for %d of the %d threads the linear-algebra library would start. Start TEVLAN "
                 "itself, not through another program, or set OMP_NUM_THREADS=%d.\n",
                 limit, team, starting, team);
        Say(message);
        _exit(1);
    }
}

void InitIFLibG() {
    std::lock_guard<std::mutex> lock(progressMutex);
    is40CharLine = 0;
    is80CharLine = 0;
    t2 = NowMs();
    timeStart = time(nullptr);
    stdoutIsTerminal = isatty(fileno(stdout)) == 1;
}

double difftime_Clock_Init() { return omp_get_wtime(); }

double difftime_Clock(double start) { return omp_get_wtime() - start; }

void HandleEventInfoWhere2(const char* text) {
    const int64_t interval = RedrawnInPlace() ? 4 : 1000;
    if (NowMs() - t2.load() <= interval) return;
    std::unique_lock<std::mutex> lock(progressMutex, std::try_to_lock);
    if (!lock.owns_lock()) return;
    if (NowMs() - t2.load() <= interval) return;
    FILE* f = Progress();
    if (!RedrawnInPlace()) {
        fprintf(f, "%*.*s\n", 40, 40, text);
        t2 = NowMs();
        fflush(f);
        return;
    }
    if (is40CharLine && is80CharLine)
        Backspaces(f, 80);
    else if (is40CharLine)
        Backspaces(f, 40);
    fprintf(f, "%*.*s", 40, 40, text);
    fprintf(f, "%*.*s", 40, 40, " ");
    t2 = NowMs();
    is40CharLine = 1;
    is80CharLine = 1;
    fflush(f);
}

void HandleEventInfoWhere(const char* name) { (void)name; }

void ClearLine() {
    std::lock_guard<std::mutex> lock(progressMutex);
    FILE* f = Progress();
    if (is40CharLine) {
        Backspaces(f, 40);
        is40CharLine = 0;
    }
    if (is80CharLine) {
        Backspaces(f, 40);
        is80CharLine = 0;
    }
}

void ClearLineLength(int k) { Backspaces(Progress(), k); }

void TimeStamp(FILE* file) {
    time_t now = time(nullptr);
    fprintf(file, "%s", ctime(&now));
}

void Wait() {
    int c;
    while ((c = getchar()) != EOF) {
        if (c < 32 || c == 127) {
            ungetc(c, stdin);
            return;
        }
    }
}

int GetNumberActiveProcessors() { return 1; }
