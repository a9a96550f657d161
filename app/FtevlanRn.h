// Randomization tests and path analysis: the prologue every test opens with,
// the permutation-restriction dialogue, the conventions all permutation tests
// share, and the test drivers.
#ifndef FTEVLANRN_H
#define FTEVLANRN_H

#include <cstdio>
#include <string>

#include "rhlibDim.h"  // TieRule, CountsTowardP, PermutationP

// ===========================================================================
// Prologue
// ===========================================================================

// Shows the status and the title of the test family, sets optCompara (1 when
// the last resemblance compared sampling units, 2 otherwise), asks how to
// seed the generator (the clock, or a typed seed from 0 to 4294967295),
// stores the seed in `seed` and seeds `r` with it. Reports print `seed`
// (PrintSeed), so a run seeded from the clock can be repeated.
void AleatorizacaoMain();

// ===========================================================================
// Permutation restrictions
// ===========================================================================

// Restriction options, as the menu numbers them.
enum PermutationRestriction {
    kNoRestriction = 0,
    kEmbeddedMatrix = 1,  // units are the cells of an m x m resemblance matrix
    kWithinGroups = 2,    // units permuted within nesting groups
    kBundles = 3          // bundles of units permuted as wholes
};

// The restriction dialogue. Clears *nested and *permuteBundles, then writes
// the option and what belongs to it: option 1 the dimension m (asked until
// m(m-1)/2 = nObj; the option is refused when no m fits), option 2 *nested
// and nestGroups, option 3 *permuteBundles and bundleGroups (nObj entries
// each, the user's labels as given); the other outputs are not touched.
// Groups come from a file or the keyboard. A group file is read strictly: a
// field that is not a whole number within the int range, or a file that ends
// before nObj numbers, ends the program (error code 2), unless lenientFile is
// set: then a file that ends early leaves the remaining groups 0 after
// "End of file" and the dialogue goes on. The file is closed here, once.
void SetPermutationRestrictions(int* option, int* dimension, bool* nested, int* nestGroups, bool* permuteBundles,
                                int* bundleGroups, bool lenientFile = false);

// The restriction lines of a final block, after "Permutation restrictions:\t":
// none, the embedded matrix with its dimension, or the nesting groups and/or
// bundles with their group vectors (nObj entries).
void PrintPermutationRestrictions(FILE* report, int option, int dimension, bool nested, const int* nestGroups,
                                  bool permuteBundles, const int* bundleGroups);

// ===========================================================================
// Conventions shared by every permutation test
// ===========================================================================
//
// Counting: counters start at 1.0 (the observed arrangement is permutation
// 1, so N - 1 random ones are drawn); each random statistic adds 1.0 when
// CountsTowardP(random, observed, rule) holds (rhlibDim.h: TieRule::Larger,
// LargerAbsolute for correlations and coefficients, Smaller for MRPP);
// P = PermutationP(count, N, observed), NaN when the observed statistic is
// not finite. Print P with ProbabilityText, which names such a P
// "not testable".

// "Number of permutations: ", read as a whole number from 1 to 2147483647
// (integer part kept; anything else is refused and read again).
int AskNumberOfPermutations();

// The save question in its general form: the question in each language and,
// with orTable, the key p accepted too (a table of intermediate results).
// A yes for more than 50 permutations is confirmed by "Are you sure? y/n
// There are %d permutations! "; a no there asks the save question again.
// Returns 'y' (in either language), 'n' or 'p'.
int AskSaveQuestion(int nPerm, const char* english, const char* portuguese, bool orTable);
// "Save data and results of each random permutation? y/n "; true to save.
bool AskSaveEachPermutation(int nPerm);

// The progress line before random permutation i of nPerm
// ("Permutation: %d %d"); ClearLine removes it after the loop.
void ShowPermutationProgress(int nPerm, int i);

// Report lines common to the test reports, in the current language; each
// driver prints them in its own order, after the separator and the time
// stamp (TimeStamp).
void PrintNumberOfPermutations(FILE* report, int nPerm);  // "Number of permutations: %d\n"
void PrintElapsedTime(FILE* report, double seconds);      // "Elapsed time: %g seconds\n"
void PrintSeed(FILE* report);                             // "Random number generation initializer: %u\n"

// "not testable" ("nao testavel").
const char* NotTestable();
// A probability as "%.*g" with digits, or NotTestable() when it is NaN.
std::string ProbabilityText(double p, int digits);

// ===========================================================================
// Test drivers
// ===========================================================================

int AleatorizacaoUnitsManova();
int AleatorizacaoVar();
int PathAnalysis();

class Session;

// The two sessions hold the same sampling units in the same order: s1 the
// responses (Y), s2 the factors or explanatory variables (X). Sessions of
// different sizes and tables holding missing values are refused with a
// message before the dialogue, and a model whose factors cannot be fitted
// (collinear, constant, or as many as the units) runs no permutation.

// Permutation test of the regressions of the variables of s1 (responses) on
// those of s2 (factors), over the same sampling units: every coefficient and
// every r squared. full adds the tables and fitted values to the printout of
// the observed fit.
void AleatorizacaoModLin(Session* s1, Session* s2, bool full);
// Redundancy analysis of s1 on s2 and the permutation test of the
// correlation of each canonical axis.
void AleatorizacaoRDA(Session* s1, Session* s2);

// ===========================================================================
// Tests of the axes of the current ordination (key O)
// ===========================================================================

// Key O's menu entries for the tests that apply to the current ordination,
// each as "\t%s\n ", with their numbers appended to accepted: (4) the RVDIM
// test after principal components of variables, (5) the Malinvaud test
// after a correspondence analysis, each with at least one axis.
void OrdinationTestEntries(std::string& accepted);

// The RVDIM test of the axes of principal components of variables: the
// current resemblance matrix is ordinated again for the variable weights and
// unit scores (continued sessions keep no eigenvectors of principal
// components). Both drivers leave the current ordination as it is and
// return 1 when the test ran, 0 when it does not apply.
int AleatorizacaoOrdination();
// The Malinvaud test of a correspondence analysis: dataOrig must be a table
// of whole counts from 0 with a total of 1 to 2147483647; any other table is
// refused with a message before the test's dialogue.
int Aleatorizacao_CA();
// Its permutations, on the current data set (a correspondence analysis of a
// table of whole counts, total T): X2[j] = T x the sum of the eigenvalues
// after axis j + 1, and its P against nPerm - 1 random tables with the
// margins of dataOrig (the counts' row numbers permuted over their column
// numbers), each transformed, compared and ordinated with the current
// options, for the rank axes. With save each table is appended to
// "Vidive.txt".
void MalinvaudTest(int nPerm, bool save, double* X2, double* P);

#endif
