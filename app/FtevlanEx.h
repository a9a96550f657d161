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
void SetPreferences();
void Initialize();
void ShowStatus(FILE* stream);

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
