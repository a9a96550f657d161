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
