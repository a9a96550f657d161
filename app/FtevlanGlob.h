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

// Number of group partitions kept for nFactors factors: each factor, each
// pair of factors, and one more.
inline int NumberOfPartitions(int factors) { return factors + factors * (factors - 1) / 2 + 1; }

// ---------------------------------------------------------------------------
// Menu texts (current-language pointers and the two sets) and availability.
// ---------------------------------------------------------------------------
extern const char** optMainMenuInfo;
extern const char* optMainMenuInfoE[17];
extern const char* optMainMenuInfoP[17];
extern int appliesMain[17][5];

extern const char* enterOptValid;

#endif
