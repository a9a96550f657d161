// Allocation of arrays, validated reading of answers and file fields, and
// small numeric utilities shared by the whole library.
#ifndef RHLIBDIM_H
#define RHLIBDIM_H

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string_view>

// Missing value marker of every data cell.
constexpr double MISSING = -999.0;

// ---------------------------------------------------------------------------
// Arrays. Every block is zero-filled and owned by the caller until released
// by the routine of the same dimension with the same leading counts.
// ---------------------------------------------------------------------------
void* dim1D_Clear(int n, unsigned long long size);
void* dim1D(unsigned long long size, int n);
// The same block without the zero fill, for one that is written before it
// is read: a large one is then only mapped as its pages are first written.
void* dim1DUnfilled(unsigned long long size, int n);
void** dim2D(unsigned long long size, int rows, int cols);
void*** dim3D(unsigned long long size, int a, int b, int c);
void**** dim4D(unsigned long long size, int a, int b, int c, int d);
void***** dim5D(unsigned long long size, int a, int b, int c, int d, int e);

void free1D(void* p);
void free2D(void** p, int rows);
void free3D(void*** p, int a, int b);
void free4D(void**** p, int a, int b, int c);
void free5D(void***** p, int a, int b, int c, int d);

// Typed conveniences over the same allocator (same blocks, same release).
template <class T> inline T* dim1DT(int n) { return static_cast<T*>(dim1D(sizeof(T), n)); }
template <class T> inline T** dim2DT(int rows, int cols) {
    return reinterpret_cast<T**>(dim2D(sizeof(T), rows, cols));
}
template <class T> inline T*** dim3DT(int a, int b, int c) {
    return reinterpret_cast<T***>(dim3D(sizeof(T), a, b, c));
}
template <class T> inline void free2DT(T** p, int rows) { free2D(reinterpret_cast<void**>(p), rows); }
template <class T> inline void free3DT(T*** p, int a, int b) {
    free3D(reinterpret_cast<void***>(p), a, b);
}
// A rows x cols work matrix of the same allocator, released with its scope.
template <class T> struct ScopedMatrix {
    int rows;
    T** x;
    ScopedMatrix(int r, int c) : rows(r > 0 ? r : 0), x(dim2DT<T>(rows, c > 0 ? c : 0)) {}
    ~ScopedMatrix() { free2DT(x, rows); }
    ScopedMatrix(const ScopedMatrix&) = delete;
    ScopedMatrix& operator=(const ScopedMatrix&) = delete;
    operator T**() const { return x; }
    T* operator[](int i) const { return x[i]; }
};

// A work vector of n elements of the same allocator, released with its scope.
template <class T> struct ScopedVector {
    T* x;
    explicit ScopedVector(int n) : x(dim1DT<T>(n > 0 ? n : 0)) {}
    ~ScopedVector() { free1D(x); }
    ScopedVector(const ScopedVector&) = delete;
    ScopedVector& operator=(const ScopedVector&) = delete;
    operator T*() const { return x; }
    T& operator[](int i) const { return x[i]; }
};

// ---------------------------------------------------------------------------
// Validated input. A stream that has met its end stays ended (its end-of-file
// indicator, sticky on this platform): a later read of it never waits for
// input; it raises error code 2 at once (freadck1 reports the end again and
// returns 0). Readers never close the stream they are given: the owner does,
// so a reader's end can never close the standard input or free a stream its
// caller still holds.
// ---------------------------------------------------------------------------

// One key out of the accepted list (every non-blank character is a key; case is
// ignored). Returns the key in lower case. End of stream: error code 2.
int ScanChar(FILE* stream, const char* accepted, const char* sourceName);

// spec null: any number, strictly read (a non-number is error code 2).
// spec "": any number, tolerant reading.
// otherwise: a list of accepted numbers separated by blanks ("1 2 3 99").
double ScanNumber(FILE* stream, const char* sourceName, const char* spec);
// Range form (spec "-"): lowest <= number <= highest.
double ScanNumber(FILE* stream, const char* sourceName, const char* spec, double lowest,
                  double highest);

// Sizes typed by the user or read from a file, and the work arrays whose
// size the data decide, are compared with memory before anything is
// allocated for them.
//
// What the program holds and the limits it runs under, in bytes; a limit
// that is not in force is infinite. Read without allocating, so that it can
// be read before the C library has started.
struct MemoryState {
    double physical;      // the machine's memory
    double container;     // a control group's limit on the program's memory
    double addressSpace;  // the limit on the address space (ulimit -v)
    double dataSegment;   // the limit on the data segment (ulimit -d)
    double threadStack;   // the stack of each thread the program starts
    double resident;      // memory the program holds (VmRSS)
    double reserved;      // address space the program has reserved (VmSize)
    double data;          // of which writable data (VmData)
};
MemoryState ReadMemoryState();
// The first bytes (at most capacity - 1) of a small file of the system, such
// as /proc/self/status, in text ending with a NUL; read without allocating,
// so that it can be read before the C library has started. False when the
// file cannot be read or is empty.
bool ReadSmallFile(const char* path, char* text, size_t capacity);

// The thread team reserves memory of its own, counted against a limit on
// the address space or the data segment though barely touched: the
// linear-algebra library (OpenBLAS) keeps a buffer for each thread of its
// team from the moment it starts, and as the team works it takes another
// for each thread that calls it, while each thread beyond the first gets a
// stack and an arena of the memory allocator (which reserves address space
// only). TeamAsItWorks is the part beyond the buffers held from the start.
double TeamAtStart(int threads);
double TeamAsItWorks(const MemoryState& s, int threads, bool addressSpace);
// The largest team up to `processors` whose reservations take at most half
// of what the limits on the address space and the data segment leave (a
// team of one may take all but 64 MB); 0 when not even one thread fits.
// s is read before the linear-algebra library has started.
int TeamWithinLimits(const MemoryState& s, int processors);
// What the limit on the address space (or, with addressSpace false, on the
// data segment) leaves once what the program has reserved there and what a
// team of `threads` will still reserve as it works are taken from it.
double RoomUnderLimit(const MemoryState& s, int threads, bool addressSpace);
// The smallest limit, in bytes, that leaves room for a team of one, given
// what the program reserves (or holds as data) before the library starts.
double LeastLimitForOneThread(const MemoryState& s, bool addressSpace);

// An analysis may take half of what the tightest limit in force still
// leaves (MemoryBudget, in bytes): the machine's memory and a container's
// limit less what the program holds, the limits on the address space and on
// the data segment less what it has reserved there and what a team of
// `team` threads will still reserve. Beyond half, the allocation would be
// refused (the program ending out of memory), granted and then served by
// swapping the whole machine, or end in the program killed; the other half
// is room for the copies and smaller arrays an analysis makes beside its
// largest ones.
double MemoryBudget(const MemoryState& s, int team);
// The budget now, for the largest team the program may run (TeamLimit).
double MemoryBudget();
bool FitsInMemory(double bytes);
// The largest whole number in [lowest, highest] whose bytes(x) fit (bytes
// grows with x); lowest - 1 when not even lowest fits.
double LargestThatFits(double lowest, double highest, const std::function<double(double)>& bytes);
// A whole number from lowest to the largest that fits, read as ScanNumber's
// range form: a larger one is refused with the range accepted and read
// again. bytes(x) is what the answer x makes the analysis allocate, at the
// least, with the answers already given. Where not even lowest fits,
// lowest is accepted: the caller checks that first (WorkFits), or checks
// the whole run before allocating it.
double ScanSize(FILE* stream, const char* sourceName, double lowest, double highest,
                const std::function<double(double)>& bytes);
// True when bytes(count) fits. Otherwise says on the standard error stream
// (in English or Portuguese) that `work` (e.g. "the resemblance matrix") of
// count items (e.g. "variables") needs so many MB, how many the budget
// leaves and how many items would fit, and returns false: the caller then
// allocates nothing and changes nothing.
bool WorkFits(bool english, double count, const std::function<double(double)>& bytes, const char* workEnglish,
              const char* workPortuguese, const char* itemsEnglish, const char* itemsPortuguese);
// What a square matrix of m rows of doubles takes with its row pointers.
inline double SquareBytes(double m) { return (m * m + m) * sizeof(double); }

// One word cut to maxLength characters (word must hold maxLength + 1), optionally
// out of a list of "/"-separated alternatives. Returns word, or null on refusal
// or at the end of the stream.
char* ScanString(FILE* stream, int maxLength, char* word, const char* accepted, int caseSensitive,
                 const char* sourceName);

// One field that must be there; a mismatch or the end of the stream raises
// error code 2. Returns 1.
int freadck(FILE* stream, const char* format, double* destination, const char* sourceName);
int freadck(FILE* stream, const char* format, float* destination, const char* sourceName);
int freadck(FILE* stream, const char* format, int* destination, const char* sourceName);
int freadck(FILE* stream, const char* format, long* destination, const char* sourceName);
// A word ("%s"), cut to capacity - 1 characters; the rest of the word is dropped.
int freadck(FILE* stream, const char* format, char* destination, size_t capacity,
            const char* sourceName);
template <size_t N>
inline int freadck(FILE* stream, const char* format, char (&destination)[N], const char* sourceName) {
    return freadck(stream, format, destination, N, sourceName);
}

// One field, passing over characters that do not match. Returns 1 when a field
// was read, 0 at the end of the stream (after "\nEnd of file %s\n").
int freadck1(FILE* stream, const char* format, double* destination, const char* sourceName);
int freadck1(FILE* stream, const char* format, float* destination, const char* sourceName);
int freadck1(FILE* stream, const char* format, int* destination, const char* sourceName);
int freadck1(FILE* stream, const char* format, long* destination, const char* sourceName);
int freadck1(FILE* stream, const char* format, char* destination, size_t capacity,
             const char* sourceName);
template <size_t N>
inline int freadck1(FILE* stream, const char* format, char (&destination)[N], const char* sourceName) {
    return freadck1(stream, format, destination, N, sourceName);
}

// ---------------------------------------------------------------------------
// Strict reading of the numbers of a user's file: data files, and the group
// membership, restriction and scale files. freadck1 passes over what does
// not match, which suits answers at a prompt but silently shifts a table
// ("1,5" would become the two cells 1 and 5). These readers refuse instead.
//
// A field is one white-space-delimited token that must read whole, with the
// syntax of "%lf", as a finite number (3, -0.5, 1e-3, -999). A single ',' or
// ';' at its end is a separator and is dropped, so files written with ", "
// between values read as written. Anything else is no number: a word, "NA",
// "1,5", "1..2", "--1", "1e", "nan", "inf", 1e999, a token holding a NUL
// byte. The missing value -999 is an ordinary number at this level.
//
// How a reader calls it (one field; `place` in the user's language):
//
//     double x;
//     char token[kTokenShown];
//     int k = ReadNumberToken(f, &x, token, sizeof token, fileName);
//     if (k == tokenEnd) { ... the file ended: report it incomplete ... }
//     if (k == tokenNotNumber) {
//         NotANumberMessage(out, eng == 1, fileName, "unit 3, variable 2", token);
//         ... refuse the file, or ask for another one ...
//     }
//     ... x is a finite double; a reader of whole numbers (group labels)
//     checks x == trunc(x) and its range itself ...
//
// Open such files with fopenck (mode "r"): it refuses a folder, a FIFO or a
// device, so a reader never blocks on one or reads endless bytes; a pipe
// reads as a regular file holding what it carried.
// ---------------------------------------------------------------------------

enum TokenRead { tokenEnd = 0, tokenNumber = 1, tokenNotNumber = -1 };

// Room for the text of a refused token as NotANumberMessage shows it.
constexpr size_t kTokenShown = 48;

// The lines a reader has passed, for a caller that checks how the fields of
// a file stand on its lines while it reads them (a second pass would not
// work on a stream that cannot be read again). Lines are counted from 0.
struct LinePosition {
    long long line = 0;       // newlines passed so far
    long long fieldLine = 0;  // the line of the last field read
};

// Reads one field. tokenNumber: *destination holds it. tokenNotNumber: token
// holds the field as written (bytes that cannot be shown as '?', cut with
// "..." when longer than capacity - 1), *destination is unchanged.
// tokenEnd: the stream ended before a field; "\nEnd of file %s\n" has been
// written on the standard error stream with sourceName, as freadck1 does.
// With a position, the newlines passed and the field's line are noted in it.
int ReadNumberToken(FILE* stream, double* destination, char* token, size_t capacity,
                    const char* sourceName, LinePosition* position = nullptr);

// Reads the stream to its end and returns the number of white-space-delimited
// fields it held from where it stood: what a reader that took all it needs
// left unread.
long long FieldsLeft(FILE* stream);

// True when text[0..length), followed by a NUL, reads whole as one number
// with the syntax of "%lf"; *x is then the double strtod gives (which may be
// infinite or NaN: callers decide).
bool WholeNumber(const char* text, size_t length, double* x);

// The refusal of a field: "File %s was not read: the value for %s is \"%s\",
// which is not a number." with the file, the place ("unit 3, variable 2")
// and the token (in Portuguese when english is false), and for a comma
// between digits one more line saying that decimals are written with a point.
void NotANumberMessage(FILE* stream, bool english, const char* fileName, const char* place,
                       const char* token);

// The most numbers the open file f can hold: every number takes at least one
// character and a separator, but for the last. A reader compares the count
// a file must hold with it before allocating room for them, so that a size
// mistyped into the billions allocates nothing for a file of a few bytes.
double MostNumbersIn(FILE* f);

// True when name is a regular file (following links), false for a folder,
// a FIFO, a device or a name that does not exist.
bool IsRegularFile(const char* name);

// One line of at most maxLength characters (line holds maxLength + 1).
int freadlineck(FILE* stream, int maxLength, char* line, const char* sourceName);
int freadlineck_Space(FILE* stream, int maxLength, char* line, const char* sourceName);

// Opens prefix + name (at most 99 characters) or prints "\ncan't open %s \n"
// and returns null; a file of a kind that is refused adds why, as in
// "\ncan't open %s: is a FIFO \n". Opened are: a regular file (links
// followed), /dev/null, for writing a name that does not exist yet, and for
// reading a pipe the program was given (/dev/stdin, /dev/fd/N): that is read
// whole at its first opening and every opening reads the copy, which can be
// sized, sought and read again. Refused, since they could block the open or
// never end: a named FIFO, any other device, a folder, a socket, and a pipe
// for writing.
// The report "Vidive.txt" opened for writing is held under an exclusive
// lock until fcloseck closes it (a run that must wait for another says so),
// so that the blocks of two runs in one folder follow one another whole; it
// must then be closed with fcloseck, and no answer read while it is open.
FILE* fopenck(const char* name, const char* prefix, const char* mode);

// Closes an output file, checking that every write, the flush and the close
// succeeded. On failure prints "\nFAIL TO PRINT ON FILE %s !!!\n" with the
// name on the standard error stream, rings the bell and returns false: the
// caller then does not send the user to the file. f may be null (false, no
// message: fopenck has spoken).
bool fcloseck(FILE* f, const char* name);

// Writes text as the whole new content of the file name: into a temporary
// file of this process beside it, then renamed onto it, so that a failed
// write or a killed run leaves the old file whole and two runs writing it
// at once leave one of their texts whole. Through a link, the file linked
// to is replaced and the link kept. /dev/null takes the text; a folder, a
// FIFO or a device in its place is refused as fopenck refuses it. False on
// any failure (the temporary file removed); a refusal or a temporary file
// that cannot be created has been named on the standard error stream,
// other failures are the caller's to say.
bool ReplaceFile(const char* name, std::string_view text);

// Whether any output of the run failed: a file to be written that could not
// be opened, one whose writes or close failed (fopenck, fcloseck,
// ReplaceFile count them), and those a caller writing by other means counts
// with NoteFailedWrite. A run that lost results does not end as a success.
// FailedWrites is how many so far: a report that several routines write in
// turn, some of them opening and closing blocks of their own, was written
// whole when the count did not grow meanwhile.
void NoteFailedWrite();
bool SomeWriteFailed();
long FailedWrites();

// Asks for a data file name on the standard input until one opens.
FILE* ReadDataFileName(char* name);

// True when the stream has met its end (or a read error).
bool StreamEnded(FILE* stream);

// ---------------------------------------------------------------------------
// Small numeric utilities.
// ---------------------------------------------------------------------------
bool AlmostEqual2sComplement(double a, double b, int maxUlps);
bool IsLargerThanOrEqual(double a, double b, int maxUlps, bool absolute);

// Counting in permutation tests. The observed arrangement counts as
// permutation 1 (counters start at 1.0); a random statistic adds 1.0 when it
// is as extreme as the observed one, a tie being equality by
// AlmostEqual2sComplement with one unit:
//   Larger          random >= observed;
//   LargerAbsolute  |random| >= |observed| (correlations, coefficients: either sign is extreme);
//   Smaller         random <= observed (statistics whose small values are extreme, such as MRPP).
enum class TieRule { Larger, LargerAbsolute, Smaller };
// False whatever the random value when the observed statistic is not a
// finite number: such a statistic is not tested (a NaN would otherwise get
// whatever count it happened to get, down to a P of 1/N).
bool CountsTowardP(double random, double observed, TieRule rule);
// P = count / nPerm; NaN (not testable) when the observed statistic is not
// finite or nPerm < 1.
double PermutationP(double count, int nPerm, double observed);
// How reports name a P that is NaN: "not testable" ("nao testavel").
const char* NotTestableText(bool portuguese);
bool AlmostEqual_Tolerance(double a, double b, double tolerance);

double Fmax(double a, double b);
double Fmin(double a, double b);
int Fmax(int a, int b);
int Fmin(int a, int b);

long double Factorial(int n);

int compareInt(const void* a, const void* b);
int compareIntDecreasing(const void* a, const void* b);
int compareDouble(const void* a, const void* b);
int compareDoubleDecreasing(const void* a, const void* b);
int compareStr(const void* a, const void* b);

int CountStates(int n, const double* x);
int CountStates(int n, const double* x, int* states);
// Every distinct code of the non-missing values (truncated toward zero), 0
// and negative codes included, ascending, into states (room for
// CountStates(n, x) entries); returns their number, the same as CountStates.
// Returns -1, writing nothing, when a code lies outside the int range.
int ListStates(int n, const double* x, int* states);

void StrToUpper(char* text);
int StrCmp(const char* a, const char* b);

double RoundDigit(double x, int digits);
void swap(void** array, int i, int j);
char* trimString(char* text);
void IntToAlpha(int n, char* text);

#endif
