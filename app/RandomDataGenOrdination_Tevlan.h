// Random data generator for the study of ordination stopping rules: data
// sets drawn from a population of given correlations or eigenvalues are
// ordinated, and eleven rules decide how many of the first axes of each are
// significant. Each run writes a results file, a population file and one
// line to the summary file of every rule it applied.
#ifndef RANDOMDATAGENORDINATION_TEVLAN_H
#define RANDOMDATAGENORDINATION_TEVLAN_H

#include <string>
#include <vector>

// Key U. The seed and the source of the answers are asked on the standard
// input; the runs' answers are read from `in` (an options file or the
// keyboard), run after run, until it ends where a run's output name would
// be read. An options file is then closed and `in` is the standard input
// again. The current data set is left as it was. Returns 1.
int RandomDataGenerator();

// Append one line to the file named `file`: "%s for axis %d:\t%g\n" (text,
// axis, value), the same with two values, or text as it stands. Each
// returns 1, or 0 when the file cannot be opened (after fopenck's message:
// the line is left out).
int PrintIntermediateResults(const char* file, int axis, const char* text, double value);
int Print2IntermediateResults(const char* file, int axis, const char* text, double first, double second);
int PrintAnyIntermediateMessage(const char* file, const char* text);

// The stopping rules, numbered from 0 (the menu's 1 to 11).
constexpr int kStoppingRules = 11;

// One run as its dialogue leaves it.
struct StoppingRuleRun {
    std::string name;  // the results file; the population file adds a prefix
    int n = 2, N = 2, p = 1;
    char mode = 'e';           // 'c': the correlations R; 'e': eigenvalues
    std::vector<double> R;     // mode c: p x p, row after row
    int rank = 1;              // mode e: the non-zero eigenvalues
    std::vector<double> weights;  // mode e: their rank variance weights
    double noise = 0.0;        // mode e: variance of the normal noise added
    int code = 2;              // deviates (1, 2, 5, 7 or 8)
    int ordType = 2;           // 1 principal coordinates, 2 components, 3 correspondence
    bool criteria[kStoppingRules] = {};
    int T = 1;                 // data sets
    double alpha = 0.05;
    bool save = false;         // each data set's block in the results file
    int A = 1;                 // axes monitored
    int initial = 2, step = 0, iterations = 1;  // bootstrap; iterations are also the permutations
    int bootSave = 'n';        // dumps of the bootstrap and permutations to "Vidive.txt"
};

// Runs one study with the transformation and resemblance options in force
// (the globals), the seed only being printed. False, after a message, when
// the results file cannot be created: nothing is run.
bool RunStoppingRuleStudy(const StoppingRuleRun& run, unsigned long seed);

#endif
