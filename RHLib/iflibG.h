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
// or more than there are.
void InitMultiprocessing(int n);
// The team size last set.
int NumberOfThreads();
// Called first thing in main: unless the user's environment sets how idle
// threads wait (OMP_WAIT_POLICY or GOMP_SPINCOUNT), the program is started
// again (argv as main got it) with idle threads that spin only briefly
// before they sleep. Returns when nothing was to be done or the new start
// failed.
void ShortThreadWaits(char** argv);
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
