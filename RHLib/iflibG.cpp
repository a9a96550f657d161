#include "iflibG.h"

#include <omp.h>

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <mutex>

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

void InitMultiprocessing(int n) {
    int procs = omp_get_num_procs();
    if (procs < 1) procs = 1;
    teamSize = (n <= 0 || n > procs) ? procs : n;
    omp_set_num_threads(teamSize);
    // A parallel loop started inside another one runs on its calling thread,
    // so the team never grows to its square.
    omp_set_max_active_levels(1);
}

int NumberOfThreads() { return teamSize; }

// The OpenMP runtime's default keeps an idle thread of a team spinning for
// milliseconds at every meeting of the team before it sleeps. On a machine
// whose processors are all busy with other programs, the spinning threads
// hold the processors that the one thread the others wait for needs: a
// permutation test of 20 units took 30 times as long on 8 threads as on one.
// This many checks (a tenth of a millisecond or two) still catch the next
// loop of a run of short parallel loops, as LAPACK's are: principal
// coordinates of 2,000 units take as long with them as with the default on
// a quiet machine, where 1,000 checks took three times as long.
const char* const kSpinCount = "10000";

void ShortThreadWaits(char** argv) {
    if (getenv("OMP_WAIT_POLICY") || getenv("GOMP_SPINCOUNT")) return;
    if (setenv("GOMP_SPINCOUNT", kSpinCount, 1) != 0) return;
    // The runtime reads the environment once, before main, and no earlier
    // setting holds: one made from .preinit_array is lost when the C
    // library's start-up, which runs after it, sets the environment back to
    // the one the program was given. The program starts again with the
    // setting, or runs on as it is when it cannot.
    execv("/proc/self/exe", argv);
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
