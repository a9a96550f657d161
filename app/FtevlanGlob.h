// Global state of the interactive program: streams, language, preferences,
// the current data set with its options and results, and the data sets held
// beside it.
#ifndef FTEVLANGLOB_H
#define FTEVLANGLOB_H

#include <cstdio>
#include <ctime>

class Session;

// Streams: answers come from `in` (the keyboard, or a script after key Z),
// menus and prompts go to `out`.
extern FILE* out;
extern FILE* in;

// Language and output preferences.
extern int port;  // 1 = Portuguese
extern int eng;   // always 1 - port
extern const char* versao;
extern const char* line;
extern int sDigits;
extern int nMaxDim;
extern int maxColsPrint;  // defined with the printers (rhlibOut)
extern int nProcessors;
extern double scatterHSize, scatterVSize, treeHSize, treeVSize;

extern char modeVidive[8];
extern time_t timer;
extern int optMain;

extern const char* versaoTrack;
extern const char* versionPref;
extern const char* sessionExt;
extern unsigned long seed;

// The data set.
extern char filename[100];
extern char sessionName[100];
extern char sessionFilename[108];
extern char format;
extern int nObj, nVar, nRows, nCols;
extern int optVarTipo;
extern int optLabel;
extern int temQuant, temQual, temBin;
extern int* varType;
extern double** dataOrig;
extern double** data;
extern char** uaLabels;
extern char** varLabels;
extern double** dataT;

// Options and derived state.
extern int optTrEs, optTrVeVar, optTrVeUnits;
extern int nClassesVar, nClassesUnits;
// The factor (1..nFactors) whose unit-group means the transformation within
// variables 12 removed: every later re-application of the transformations
// (ReapplyTransformations) takes the groups of this factor, so permuted and
// resampled tables are transformed as the data were. The session file has
// no field for it: a continued session finds it again from its data.
extern int optTrGroupFactor;
extern int dataType;
extern int isStandardized, hasNegative;
extern int stepReached;
extern int optReseDir, optReseTipo, optPostReseTransf;
extern int countDoubleAbsence;
extern double alphaH;
extern double kParameter;
extern double alphaEntropy;
extern int optDescrAttr;
extern int BealsTypeOpt;
extern bool BealsIncludeOpt, BealsNormalizeOpt, BealsTestOpt;
// How a continued session found again the options of the transformations in
// force that its file does not hold (the factor of option 12, the Beals
// options): surely when one of them gives back the data it holds, or what
// its data leave open. A number of classes it could not find stays 0.
enum class Found { surely, amongSeveral, notAtAll };
struct TransformationDoubts {
    Found factor = Found::surely, beals = Found::surely;
    // With factor amongSeveral: bit f - 1 for each factor f that gives the
    // data back.
    unsigned factors = 0;
};
extern TransformationDoubts transformationDoubts;
extern int optOrdiType;
extern int rank;
extern int clusMeth;
extern int optCompara;
extern int optPrintData;

// Results and flags.
extern double** rese;
extern double* eig;
extern double** evectors;
extern double** escores;
extern int temDados, temRese, temEscore, temGrupo;
extern int savedSession;

// Groups of sampling units.
extern int nFactors, nesting;
extern int* nestedFactor;
extern int* nGroups;
extern int** grLabel;
extern int** grMemb;
extern char** factorLabel;
extern int grMembDimensioned;

// Data sets held beside the current one.
extern Session* session1;
extern Session* session2;
extern Session* session3;
extern bool secondSet, thirdSet;

// The type of variable j (0-based) for the analyses that take variables by
// type (1 binary, 2 qualitative, 3 quantitative, 4 ordinal). While the
// presence/absence transformation is in force (optTrEs 1) the data hold only
// 0 and 1, so every variable counts as binary, whatever type varType keeps
// from the data file; otherwise varType[j]. Key V and the bootstrap samplers
// of means and entropy choose their variables through this one rule.
int EffectiveVarType(int j);

// Number of group partitions kept for nFactors factors: each factor, each
// pair of factors, and one more.
inline int NumberOfPartitions(int factors) { return factors + factors * (factors - 1) / 2 + 1; }

// ---------------------------------------------------------------------------
// Menu texts: an English and a Portuguese set of each table, and the
// current-language pointer that all code uses (switched by Initialize).
// Entry k of a numbered table begins with "(k)"; a cancel entry with "(99)".
// ---------------------------------------------------------------------------
#define TEVLAN_MENU_TABLE(name, n)     \
    extern const char** name;          \
    extern const char* name##E[n];     \
    extern const char* name##P[n];     \
    constexpr int name##Length = n;

TEVLAN_MENU_TABLE(optMainMenuInfo, 17)
TEVLAN_MENU_TABLE(optVarTipoInfo, 7)
TEVLAN_MENU_TABLE(optDescrAttrInfo, 6)
TEVLAN_MENU_TABLE(optTrInfo, 3)
TEVLAN_MENU_TABLE(optTrEsInfo, 7)
TEVLAN_MENU_TABLE(optTrVeDirInfo, 4)
TEVLAN_MENU_TABLE(optTrVe2Info, 14)
TEVLAN_MENU_TABLE(optReseDirInfo, 4)
TEVLAN_MENU_TABLE(optReseTipoInfo, 31)
TEVLAN_MENU_TABLE(optPostReseTransfInfo, 4)
TEVLAN_MENU_TABLE(optOrdiTypeInfo, 5)
TEVLAN_MENU_TABLE(clusMethInfo, 9)
TEVLAN_MENU_TABLE(optCriterioInfo, 4)
TEVLAN_MENU_TABLE(optTransfCorrelInfo, 3)
TEVLAN_MENU_TABLE(yesnoInfo, 2)
#undef TEVLAN_MENU_TABLE

// Single texts of the current language.
extern const char* enterOpt;
extern const char* enterOptValid;
extern const char* returnMain;
extern const char* iteraStr;

// Number of entries of a menu-text table (either language), or 0 when texts
// is none of the tables above.
int MenuTableLength(const char** texts);
// Text k of a table, or the neutral "(?)" when k lies outside it (an option
// code read back from a damaged file must never index outside a table).
const char* MenuText(const char** texts, int k);

// ---------------------------------------------------------------------------
// Availability: 1 where an entry is offered. Columns are the data type minus
// 1 (appliesTr: 0 data as read, 1 transformed); appliesMain by stage. Not
// const: the data type switches single entries at run time.
// ---------------------------------------------------------------------------
extern int appliesMain[17][5];
extern int appliesReseUnits[31][8];
extern int appliesReseVar[31][8];
extern int appliesReseDir[5][8];
extern int appliesVectorVar[14][8];
extern int appliesVectorUnits[14][8];
extern int appliesVectorOther[14][8];
extern int appliesVectorDir[4][8];
extern int appliesScalar[7][8];
extern int appliesDescriptiveAttr[6][8];
extern int appliesTr[3][8];

// Rows of an availability table of 8 columns, or 0 when it is none of them.
int AppliesTableRows(const int (*applies)[8]);

#endif
