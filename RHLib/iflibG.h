// Progress line, clocks, time stamps and the size of the thread team.
#ifndef IFLIBG_H
#define IFLIBG_H

#include <atomic>
#include <cstdio>
#include <ctime>

extern time_t timeStart;
// 1 while the progress line is on the screen.
extern std::atomic<int> is40CharLine;
extern std::atomic<int> is80CharLine;

// Team size of the parallel loops: n threads, or every processor when n is 0
// or more than there are, but never more than TeamLimit.
void InitMultiprocessing(int n);
// The team size last set.
int NumberOfThreads();
// The largest team the program may run: the processors it may run on, or
// fewer where a limit on memory leaves room for fewer (PrepareStart).
int TeamLimit();
// Run before the shared libraries start, from the program's .preinit_array
// (main's arguments and environment; the C library has not started yet).
// The linear-algebra library reserves its thread buffers as it starts and,
// when a reservation fails, retries it for ever; and the OpenMP runtime
// reads how its idle threads wait as it starts. So, here:
// - under a limit on the address space or the data segment the team is
//   sized to what the limit leaves (TeamWithinLimits); when not even one
//   thread fits, the program ends at once, status 1, with a message naming
//   the limit and the least one that would do;
// - unless the environment sets how idle threads wait (OMP_WAIT_POLICY or
//   GOMP_SPINCOUNT), they are set to spin only briefly before they sleep.
// Both take the program started again with its environment so set, which
// is done only when /proc/self/exe is the program itself (not the dynamic
// loader it was started through). Otherwise it runs on as it is, unless
// the library would start more threads than the limit leaves room for:
// then it ends at once, status 1, saying how to start it.
void PrepareStart(int argc, char** argv, char** envp);
void InitIFLibG();
double difftime_Clock_Init();
double difftime_Clock(double start);
// Redraws the progress line with text when more than 4 ms have passed since
// the last redraw; a thread that finds another one drawing skips its turn.
// When the standard output is not a terminal (and no stream was set), the
// text is written as a whole line of 40 columns instead, at most once a
// second, and ClearLine has nothing to erase.
void HandleEventInfoWhere2(const char* text);
void HandleEventInfoWhere(const char* name);
void ClearLine();
void ClearLineLength(int k);
void TimeStamp(FILE* file);
void Wait();
int GetNumberActiveProcessors();

// Where the progress line is drawn (the standard output unless redirected).
void SetProgressStream(FILE* stream);

#endif
