// What the source files of the randomization tests share and no caller
// outside them needs: the restriction dialogue's group texts and reader, the
// refusal message, the checks and draws of the restriction options, and the
// helpers of path analysis that key A reuses. Each is defined once, in the
// file of the section named above it.
#ifndef FTEVLANRN_INTERNAL_H
#define FTEVLANRN_INTERNAL_H

#include "FtevlanRn.h"

namespace rn_detail {

// ---------------------------------------------------------------------------
// Permutation restrictions (FtevlanRn_Restrictions.cpp)
// ---------------------------------------------------------------------------

// The texts of one kind of restriction group (nesting or bundles).
struct GroupDialogueTexts {
    const char* heading;
    const char* question;
    const char* filePrompt;
    const char* keyboardHeading;
    const char* unitsLine;
    const char* groupsLine;
};

extern const GroupDialogueTexts kNestingE;
extern const GroupDialogueTexts kBundlesE;
extern const GroupDialogueTexts kNestingP;
extern const GroupDialogueTexts kBundlesP;

// What a restriction file that ends early or holds a field that is not a
// whole number gets, after the message of the membership reader (the same
// for every file of groups): the end of the program, or (as key G's
// membership files) the file-or-keyboard question again.
enum class GroupFileFault { kEnd, kAskAgain };

void ReadRestrictionGroups(const GroupDialogueTexts& t, int n, const char* const* labels, int* groups,
                           GroupFileFault fault);

void RefusalMessage(const char* text);

// ---------------------------------------------------------------------------
// Linear-model and redundancy-analysis tests (FtevlanRn_LinearModels.cpp)
// ---------------------------------------------------------------------------

bool RestrictionsFit(int n, int option, int dimension, bool nested, const int* nestGroups, bool permuteBundles,
                     const int* bundleGroups);
void DrawList(int n, int option, int dimension, bool nested, const int* nestGroups, bool permuteBundles,
              const int* bundleGroups, int* list, bool bundlesWithinBlocks = false);
void PermutedRows(int n, int q, double** Y, const int* list, double** random);

// ---------------------------------------------------------------------------
// Path analysis (FtevlanRn_PathAnalysis.cpp)
// ---------------------------------------------------------------------------

bool TransformationsInForce();
bool HoldsMissing(int n, int p, double** X);
PermutationDesign DesignOf(int nPerm, int restriction, int dim, bool nested, const int* nestGroups, bool bundled,
                           const int* bundleGroups, bool bundleFlag);
bool DesignFits(const PermutationDesign& d);
int AskOption(const char* english, const char* portuguese, int value = 0);

}  // namespace rn_detail

#endif
