// Snapshots of the current data set, so that a second and a third data set
// can be held beside it and swapped in and out of the globals.
//
// Ownership: an array of a data set is held by the globals, by one deep
// snapshot, or by both at once after ChangeCurrentSession (then they share
// it). Whoever lets go of it last releases it: a deep snapshot that is
// deleted leaves the arrays the globals still point at to the globals, and
// the globals never release an array that a live deep snapshot holds. So a
// replaced snapshot can always be deleted, and nothing is released twice.
#ifndef TEVLANCLASSES_H
#define TEVLANCLASSES_H

#include "FtevlanGlob.h"

// The fields of a snapshot, filled by the caller; the names point at the
// caller's texts.
struct sessionInput {
    const char* filename = nullptr;
    const char* sessionName = nullptr;
    const char* sessionFilename = nullptr;
    char format = 'N';
    const char* versaoTrack = nullptr;
    int nObj = 0, nVar = 0, nRows = 0, nCols = 0, optVarTipo = 0, optLabel = 0, temQuant = 0,
        temQual = 0, temBin = 0;
    int* varType = nullptr;
    int optTrEs = 0, optTrVeVar = 0, optTrVeUnits = 0, dataType = 0;
    // The first factor unless the set's own is known (a session file has none).
    int optTrGroupFactor = 1;
    // Beals smoothing's options, as the program starts (a session file has none).
    int bealsType = 1;
    bool bealsInclude = true, bealsNormalize = false;
    TransformationDoubts doubts;
    double** dataOrig = nullptr;
    double** data = nullptr;
    char** uaLabels = nullptr;
    char** varLabels = nullptr;
    int temRese = 0, optReseDir = 0, optReseTipo = 0, nClassesVar = 0, nClassesUnits = 0,
        countDoubleAbsence = 0;
    double alphaH = 0, kParameter = 0;
    int temEscore = 0, optOrdiType = 0, rank = 0;
    double** rese = nullptr;
    double** evectors = nullptr;
    double** escores = nullptr;
    double* eig = nullptr;
    int temGrupo = 0, nFactors = 0, nesting = 0;
    int* nestedFactor = nullptr;
    int* nGroups = nullptr;
    int** grLabel = nullptr;
    int** grMemb = nullptr;
    char** factorLabel = nullptr;
    bool secondSet = false;
    // Whether the set holds data at all (a record with data arrays does),
    // carried so that swapping sets never leaves data in place while the
    // flags say none.
    int temDados = 1;
};

class Session {
public:
    // A deep snapshot owns copies of the arrays (those the set does not have
    // stay null); a shallow one points at the caller's arrays.
    Session(sessionInput* input, bool deep);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void DimensionSessionArrays();
    bool IsDeep() const { return deep_; }
    // True when one of the snapshot's array fields is p.
    bool Holds(const void* p) const;

    char filename[100];
    char sessionName[100];
    char sessionFilename[108];
    char format;
    const char* versaoTrack;
    int nObj, nVar, nRows, nCols, optVarTipo, optLabel, temQuant, temQual, temBin;
    int* varType;
    int optTrEs, optTrVeVar, optTrVeUnits, dataType;
    int optTrGroupFactor;
    int bealsType;
    bool bealsInclude, bealsNormalize;
    TransformationDoubts doubts;
    double** dataOrig;
    double** data;
    char** uaLabels;
    char** varLabels;
    int temRese, optReseDir, optReseTipo, nClassesVar, nClassesUnits, countDoubleAbsence;
    double alphaH, kParameter;
    int temEscore, optOrdiType, rank;
    double** rese;
    double** evectors;
    double** escores;
    double* eig;
    int temGrupo, nFactors, nesting;
    int* nestedFactor;
    int* nGroups;
    int** grLabel;
    int** grMemb;
    char** factorLabel;
    bool secondSet;
    int temDados;

private:
    bool deep_;
    void CopyArrays(const sessionInput* input);
};

// A new snapshot of the current globals (deep: with copies of the arrays).
Session* SessionClass(bool deep);
// Makes s the current data set: the globals take its fields and share its
// arrays; arrays the globals held alone are released first. The data type
// and stage are derived anew.
void ChangeCurrentSession(Session* s);
// Exchanges session1 and session2 and makes the new session1 current.
void SwitchSessions();
// Makes second current (the first is not used).
void SwitchSessions(Session* first, Session* second);

// True when a live deep snapshot holds the array p (the globals must then
// not release it).
bool SnapshotHolds(const void* p);
// Puts fresh into a snapshot slot (session1, session2 or session3) and
// deletes the snapshot it replaces, unless another slot still holds it.
void ReplaceSession(Session*& slot, Session* fresh);

#endif
