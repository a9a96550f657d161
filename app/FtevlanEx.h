// The main loop and session bookkeeping, the data and session dialogues, the
// preferences, menus and status report, and the exploratory drivers.
#ifndef FTEVLANEX_H
#define FTEVLANEX_H

#include <cstdio>

// Start-up and the main menu loop; returns 1 on key X.
int TevlanMain();

// Prints the one line of a key whose analysis has not been built; returns 0.
int NotAvailableYet();

// Preferences, language tables and status.
void ReadPreferences();
// Writes "Tevlan.prf"; a failed write raises error code 3 and leaves the
// previous file as it was.
void WritePreferences();
void SetPreferences();
void Initialize();
// Shows entries first..last of a menu-text table (only those whose row of
// applies holds 1 in column, or all of them without a table), reads the
// number of one entry shown (99 for a "(99)" entry) and returns it, also
// through chosen. With no entry to show it reads nothing and returns 99.
int ShowMenu(int first, int last, const int (*applies)[8], int column, const char** texts, int* chosen);
void ShowStatus(FILE* stream);
void PrintData(FILE* stream, int rows, int cols, int digits, double** matrix);
void PrintData(FILE* stream, int rows, int cols, int digits, float** matrix);
// The upper triangle with the diagonal, shown as the lower half of the
// transpose; the matrix is left as it was.
void PrintRese(FILE* stream, int n, int digits, double** matrix);

// Current data set, data type and stage.
void Init();
// Allocates the data arrays for the current nObj and nVar (zero-filled).
void Dimensiona();
// Releases the whole current data set (data, resemblance, ordination,
// groups) and clears its flags.
void LivraMemoria();
// The globals let go of one part of the data set; an array a snapshot still
// holds is left to it. Drivers that replace a result release the old one
// through these (with the dimensions it was made with) before they change
// nRows or nFactors.
void ReleaseRese();
void ReleaseOrdination();
void ReleaseGroupArrays();
void ReleaseDataSetArrays();
void SetDataType(int trEs, int trVeVar, int trVeUnits);
void SetStepReached();

// Sessions.
void CheckSession();
int SpecifySession();
void WriteSessionTrack();
void SaveSession();

// Exploratory drivers (return 1 on success).
int DescriptiveAttributes();
int TransformaDados();
int Semelhanca();
void SetGroups();
void Scatter();
int Ordenacao();
void Cluster();
int Canonical();

#endif
