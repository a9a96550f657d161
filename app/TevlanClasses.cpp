#include "TevlanClasses.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "rhlibDim.h"

namespace {

// Deep snapshots alive, so that the globals can tell whether an array they
// let go of is still held by one of them.
std::vector<const Session*>& LiveDeep() {
    static std::vector<const Session*> live;
    return live;
}

template <size_t N>
void CopyName(char (&to)[N], const char* from) {
    snprintf(to, N, "%s", from ? from : "");
}

// True when the globals point at p through one of the arrays a snapshot has.
bool GlobalsHold(const void* p) {
    return p == ::varType || p == ::dataOrig || p == ::data || p == ::uaLabels || p == ::varLabels ||
           p == ::rese || p == ::eig || p == ::evectors || p == ::escores || p == ::nestedFactor ||
           p == ::nGroups || p == ::grLabel || p == ::grMemb || p == ::factorLabel;
}

bool HeldElsewhere(const void* p, const Session* self) {
    if (p == nullptr) return true;
    if (GlobalsHold(p)) return true;
    for (const Session* s : LiveDeep())
        if (s != self && s->Holds(p)) return true;
    return false;
}

template <class T>
void Release2D(T**& p, int rows, const Session* self) {
    if (!HeldElsewhere(p, self)) free2DT(p, rows);
    p = nullptr;
}

template <class T>
void Release1D(T*& p, const Session* self) {
    if (!HeldElsewhere(p, self)) free1D(p);
    p = nullptr;
}

}  // namespace

Session::Session(sessionInput* in, bool deep) : deep_(deep) {
    CopyName(filename, in->filename);
    CopyName(sessionName, in->sessionName);
    CopyName(sessionFilename, in->sessionFilename);
    format = in->format;
    versaoTrack = in->versaoTrack;
    nObj = in->nObj;
    nVar = in->nVar;
    nRows = in->nRows;
    nCols = in->nCols;
    optVarTipo = in->optVarTipo;
    optLabel = in->optLabel;
    temQuant = in->temQuant;
    temQual = in->temQual;
    temBin = in->temBin;
    optTrEs = in->optTrEs;
    optTrVeVar = in->optTrVeVar;
    optTrVeUnits = in->optTrVeUnits;
    optTrGroupFactor = in->optTrGroupFactor;
    bealsType = in->bealsType;
    bealsInclude = in->bealsInclude;
    bealsNormalize = in->bealsNormalize;
    doubts = in->doubts;
    dataType = in->dataType;
    temRese = in->temRese;
    optReseDir = in->optReseDir;
    optReseTipo = in->optReseTipo;
    nClassesVar = in->nClassesVar;
    nClassesUnits = in->nClassesUnits;
    countDoubleAbsence = in->countDoubleAbsence;
    alphaH = in->alphaH;
    kParameter = in->kParameter;
    temEscore = in->temEscore;
    optOrdiType = in->optOrdiType;
    rank = in->rank;
    temGrupo = in->temGrupo;
    nFactors = in->nFactors;
    nesting = in->nesting;
    secondSet = in->secondSet;
    temDados = in->temDados;

    varType = nullptr;
    dataOrig = data = nullptr;
    uaLabels = varLabels = nullptr;
    rese = evectors = escores = nullptr;
    eig = nullptr;
    nestedFactor = nGroups = nullptr;
    grLabel = grMemb = nullptr;
    factorLabel = nullptr;

    if (!deep) {
        varType = in->varType;
        dataOrig = in->dataOrig;
        data = in->data;
        uaLabels = in->uaLabels;
        varLabels = in->varLabels;
        rese = in->rese;
        evectors = in->evectors;
        escores = in->escores;
        eig = in->eig;
        nestedFactor = in->nestedFactor;
        nGroups = in->nGroups;
        grLabel = in->grLabel;
        grMemb = in->grMemb;
        factorLabel = in->factorLabel;
        return;
    }
    // A deep copy copies only what is there: a flag whose array is missing
    // describes nothing.
    if (!in->dataOrig || !in->data || !in->varType || !in->uaLabels || !in->varLabels) temDados = 0;
    if (temDados != 1) temDados = 0;
    if (!in->rese) temRese = 0;
    if (!in->eig || !in->escores || !in->evectors) temEscore = 0;
    if (!in->grMemb || !in->grLabel || !in->nGroups || !in->nestedFactor || !in->factorLabel) temGrupo = 0;
    DimensionSessionArrays();
    CopyArrays(in);
    LiveDeep().push_back(this);
}

void Session::DimensionSessionArrays() {
    // Only what the set has: arrays of absent results stay null.
    if (temDados == 1) {
        dataOrig = dim2DT<double>(nObj, nVar);
        data = dim2DT<double>(nObj, nVar);
        varType = dim1DT<int>(nVar);
        uaLabels = dim2DT<char>(nObj, 30);
        varLabels = dim2DT<char>(nVar, 30);
    }
    if (temRese == 1) rese = dim2DT<double>(nRows, nRows);
    if (temEscore == 1) {
        eig = dim1DT<double>(nRows + 1);
        evectors = dim2DT<double>(nRows + 1, nRows + 1);
        escores = dim2DT<double>(nRows, optOrdiType == 1 ? nRows : nCols);
    }
    if (temGrupo == 1) {
        int P = NumberOfPartitions(nFactors);
        grMemb = dim2DT<int>(P, nObj);
        grLabel = dim2DT<int>(P, nObj);
        nGroups = dim1DT<int>(P);
        nestedFactor = dim1DT<int>(nFactors);
        factorLabel = dim2DT<char>(nFactors, 100);
    }
}

void Session::CopyArrays(const sessionInput* in) {
    if (dataOrig) {
        memcpy(varType, in->varType, sizeof(int) * nVar);
        for (int i = 0; i < nObj; i++) {
            memcpy(dataOrig[i], in->dataOrig[i], sizeof(double) * nVar);
            memcpy(data[i], in->data[i], sizeof(double) * nVar);
        }
        for (int i = 0; i < nObj; i++) snprintf(uaLabels[i], 30, "%s", in->uaLabels[i]);
        for (int j = 0; j < nVar; j++) snprintf(varLabels[j], 30, "%s", in->varLabels[j]);
    }
    // The whole resemblance matrix, both triangles: once this snapshot is
    // made current, analyses read either triangle.
    if (rese)
        for (int i = 0; i < nRows; i++) memcpy(rese[i], in->rese[i], sizeof(double) * nRows);
    if (eig) {
        int axes = std::max(0, std::min(rank, nRows));
        int width = optOrdiType == 1 ? nRows : nCols;
        for (int i = 0; i < axes; i++) {
            eig[i] = in->eig[i];
            memcpy(escores[i], in->escores[i], sizeof(double) * width);
            if (optOrdiType == 3) memcpy(evectors[i], in->evectors[i], sizeof(double) * nRows);
        }
    }
    if (grMemb) {
        int P = NumberOfPartitions(nFactors);
        for (int k = 0; k < P; k++) {
            memcpy(grMemb[k], in->grMemb[k], sizeof(int) * nObj);
            memcpy(grLabel[k], in->grLabel[k], sizeof(int) * nObj);
            nGroups[k] = in->nGroups[k];
        }
        for (int k = 0; k < nFactors; k++) {
            nestedFactor[k] = in->nestedFactor[k];
            snprintf(factorLabel[k], 100, "%s", in->factorLabel[k]);
        }
    }
}

Session::~Session() {
    if (!deep_) return;
    auto& live = LiveDeep();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
    // Arrays the globals still point at pass to the globals.
    Release2D(dataOrig, nObj, this);
    Release2D(data, nObj, this);
    Release1D(varType, this);
    Release2D(uaLabels, nObj, this);
    Release2D(varLabels, nVar, this);
    Release2D(rese, nRows, this);
    Release1D(eig, this);
    Release2D(evectors, nRows + 1, this);
    Release2D(escores, nRows, this);
    int P = NumberOfPartitions(nFactors);
    Release2D(grMemb, P, this);
    Release2D(grLabel, P, this);
    Release1D(nGroups, this);
    Release1D(nestedFactor, this);
    Release2D(factorLabel, nFactors, this);
}

bool Session::Holds(const void* p) const {
    if (p == nullptr) return false;
    return p == varType || p == dataOrig || p == data || p == uaLabels || p == varLabels || p == rese ||
           p == eig || p == evectors || p == escores || p == nestedFactor || p == nGroups ||
           p == grLabel || p == grMemb || p == factorLabel;
}

bool SnapshotHolds(const void* p) {
    if (p == nullptr) return false;
    for (const Session* s : LiveDeep())
        if (s->Holds(p)) return true;
    return false;
}

Session* SessionClass(bool deep) {
    sessionInput in;
    in.filename = ::filename;
    in.sessionName = ::sessionName;
    in.sessionFilename = ::sessionFilename;
    in.format = ::format;
    in.versaoTrack = ::versaoTrack;
    in.nObj = ::nObj;
    in.nVar = ::nVar;
    in.nRows = ::nRows;
    in.nCols = ::nCols;
    in.optVarTipo = ::optVarTipo;
    in.optLabel = ::optLabel;
    in.temQuant = ::temQuant;
    in.temQual = ::temQual;
    in.temBin = ::temBin;
    in.varType = ::varType;
    in.optTrEs = ::optTrEs;
    in.optTrVeVar = ::optTrVeVar;
    in.optTrVeUnits = ::optTrVeUnits;
    in.optTrGroupFactor = ::optTrGroupFactor;
    in.bealsType = ::BealsTypeOpt;
    in.bealsInclude = ::BealsIncludeOpt;
    in.bealsNormalize = ::BealsNormalizeOpt;
    in.doubts = ::transformationDoubts;
    in.dataType = ::dataType;
    in.dataOrig = ::dataOrig;
    in.data = ::data;
    in.uaLabels = ::uaLabels;
    in.varLabels = ::varLabels;
    in.temRese = ::temRese;
    in.optReseDir = ::optReseDir;
    in.optReseTipo = ::optReseTipo;
    in.nClassesVar = ::nClassesVar;
    in.nClassesUnits = ::nClassesUnits;
    in.countDoubleAbsence = ::countDoubleAbsence;
    in.alphaH = ::alphaH;
    in.kParameter = ::kParameter;
    in.temEscore = ::temEscore;
    in.optOrdiType = ::optOrdiType;
    in.rank = ::rank;
    in.rese = ::rese;
    in.evectors = ::evectors;
    in.escores = ::escores;
    in.eig = ::eig;
    in.temGrupo = ::temGrupo;
    in.nFactors = ::nFactors;
    in.nesting = ::nesting;
    in.nestedFactor = ::nestedFactor;
    in.nGroups = ::nGroups;
    in.grLabel = ::grLabel;
    in.grMemb = ::grMemb;
    in.factorLabel = ::factorLabel;
    in.secondSet = ::secondSet;
    in.temDados = ::temDados;
    return new Session(&in, deep);
}

void ChangeCurrentSession(Session* s) {
    if (s == nullptr) return;
    // What s holds stays; what only the globals held is released.
    auto keep = [s](auto*& p) {
        if (s->Holds(p)) p = nullptr;
    };
    keep(::varType);
    keep(::dataOrig);
    keep(::data);
    keep(::uaLabels);
    keep(::varLabels);
    keep(::rese);
    keep(::eig);
    keep(::evectors);
    keep(::escores);
    keep(::nestedFactor);
    keep(::nGroups);
    keep(::grLabel);
    keep(::grMemb);
    keep(::factorLabel);
    ReleaseDataSetArrays();

    CopyName(::filename, s->filename);
    CopyName(::sessionName, s->sessionName);
    CopyName(::sessionFilename, s->sessionFilename);
    ::format = s->format;
    ::versaoTrack = s->versaoTrack;
    ::nObj = s->nObj;
    ::nVar = s->nVar;
    ::nRows = s->nRows;
    ::nCols = s->nCols;
    ::optVarTipo = s->optVarTipo;
    ::optLabel = s->optLabel;
    ::temQuant = s->temQuant;
    ::temQual = s->temQual;
    ::temBin = s->temBin;
    ::optTrEs = s->optTrEs;
    ::optTrVeVar = s->optTrVeVar;
    ::optTrVeUnits = s->optTrVeUnits;
    ::optTrGroupFactor = s->optTrGroupFactor;
    ::BealsTypeOpt = s->bealsType;
    ::BealsIncludeOpt = s->bealsInclude;
    ::BealsNormalizeOpt = s->bealsNormalize;
    ::transformationDoubts = s->doubts;
    ::temRese = s->temRese;
    ::optReseDir = s->optReseDir;
    ::optReseTipo = s->optReseTipo;
    ::nClassesVar = s->nClassesVar;
    ::nClassesUnits = s->nClassesUnits;
    ::countDoubleAbsence = s->countDoubleAbsence;
    ::alphaH = s->alphaH;
    ::kParameter = s->kParameter;
    ::temEscore = s->temEscore;
    ::optOrdiType = s->optOrdiType;
    ::rank = s->rank;
    ::temGrupo = s->temGrupo;
    ::nFactors = s->nFactors;
    ::nesting = s->nesting;
    ::varType = s->varType;
    ::dataOrig = s->dataOrig;
    ::data = s->data;
    ::uaLabels = s->uaLabels;
    ::varLabels = s->varLabels;
    ::rese = s->rese;
    ::eig = s->eig;
    ::escores = s->escores;
    ::evectors = s->evectors;
    ::factorLabel = s->factorLabel;
    ::nestedFactor = s->nestedFactor;
    ::nGroups = s->nGroups;
    ::grLabel = s->grLabel;
    ::grMemb = s->grMemb;
    ::secondSet = s->secondSet;
    ::temDados = (s->temDados == 1 && s->dataOrig) ? 1 : 0;
    ::grMembDimensioned = s->grMemb != nullptr ? 1 : 0;
    SetDataType(::optTrEs, ::optTrVeVar, ::optTrVeUnits);
    SetStepReached();
}

void SwitchSessions() {
    std::swap(session1, session2);
    ChangeCurrentSession(session1);
}

void SwitchSessions(Session* first, Session* second) {
    (void)first;
    ChangeCurrentSession(second);
}

void ReplaceSession(Session*& slot, Session* fresh) {
    Session* old = slot;
    slot = fresh;
    if (old == nullptr || old == fresh) return;
    if (old == session1 || old == session2 || old == session3) return;
    delete old;
}
