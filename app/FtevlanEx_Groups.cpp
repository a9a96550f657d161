// ===========================================================================
// Groups of sampling units
// ===========================================================================

#include "FtevlanEx.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "FtevlanGlob.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

int AskGroupNumber(const char* sourceName) {
    return static_cast<int>(ScanNumber(in, sourceName, "-", -2147483648.0, 2147483647.0));
}

bool ReadMembershipFile(FILE* file, const char* name, int nFactorsInFile, int nUnits, int* groups) {
    const long long total = static_cast<long long>(nFactorsInFile) * nUnits;
    for (long long k = 0; k < total; k++) {
        double x = 0;
        char token[kTokenShown];
        const int read = ReadNumberToken(file, &x, token, sizeof token, name);
        if (read == tokenEnd) {
            fprintf(out,
                    eng ? "\nFile %s was not read: it holds %lld group numbers, and %lld are needed (%d factor(s) x "
                          "%d sampling units).\n"
                        : "\nO arquivo %s nao foi lido: contem %lld numeros de grupo, e sao necessarios %lld (%d "
                          "fator(es) x %d unidades amostrais).\n",
                    name, k, total, nFactorsInFile, nUnits);
            return false;
        }
        char place[64];
        const int unit = static_cast<int>(k % nUnits) + 1, factor = static_cast<int>(k / nUnits) + 1;
        if (nFactorsInFile > 1)
            snprintf(place, sizeof place, eng ? "factor %d, unit %d" : "fator %d, unidade %d", factor, unit);
        else
            snprintf(place, sizeof place, eng ? "unit %d" : "unidade %d", unit);
        if (read == tokenNotNumber) {
            NotANumberMessage(out, eng == 1, name, place, token);
            return false;
        }
        // A fraction is no group label, and a label beyond the int range
        // cannot be held: either would silently become another group.
        if (x != std::trunc(x) || x < -2147483648.0 || x > 2147483647.0) {
            fprintf(out,
                    eng ? "\nFile %s was not read: the group for %s is %.15g, which is not a whole number from "
                          "-2147483648 to 2147483647.\n"
                        : "\nO arquivo %s nao foi lido: o grupo para %s e %.15g, que nao e um numero inteiro de "
                          "-2147483648 a 2147483647.\n",
                    name, place, x);
            return false;
        }
        groups[k] = static_cast<int>(x);
    }
    char needed[96];
    snprintf(needed, sizeof needed, eng ? "%d factor(s) x %d sampling units" : "%d fator(es) x %d unidades amostrais",
             nFactorsInFile, nUnits);
    SurplusWarning(file, name, total, needed);
    return true;
}

namespace {

void ShowPartition() {
    fprintf(out, "%s", eng ? "Current group partition:\n" : "Particao atual de grupos:\n");
    fprintf(out, "%s", eng ? "Sampling units:   " : "Unidades amostrais: ");
    for (int i = 0; i < nObj; i++) fprintf(out, "\t%s", uaLabels[i]);
    for (int k = 0; k < nFactors; k++) {
        fprintf(out, eng ? "\nFactor %s: " : "\nFator %s: ", factorLabel[k]);
        fprintf(out, "%s", eng ? "\nGroups:           " : "\nGrupos:           ");
        for (int i = 0; i < nObj; i++) fprintf(out, "\t%d", grMemb[k][i]);
        fprintf(out, "\n");
    }
}

// A partition being specified, kept apart from the current one until it is
// complete: the end of the input inside the dialogue leaves the current
// partition (and the session file) as they were.
struct NewPartition {
    int factors = 0;
    int nesting = 0;
    std::vector<std::string> names;
    std::vector<int> memberships;  // factor after factor, nObj each
};

// Memberships from a file; false (with its message) when the file does not
// open or refuses, and the question is asked again.
bool MembershipsFromFile(NewPartition& p) {
    if (p.factors > 1)
        fprintf(out, "%s",
                eng ? "File must be ordered by factors (f1u1, ..., f1uN; f2u1, ...f2uN ...).\n"
                    : "O arquivo deve estar ordenado por fatores (f1u1, ..., f1uN; f2u1, ...f2uN ...).\n");
    fprintf(out, "%s",
            eng ? "Enter name of file containing group memberships: "
                : "Entre o nome do arquivo contendo os grupos de cada unidade amostral: ");
    fflush(out);
    const std::string name = AskWord(99);
    FILE* f = fopenck(name.c_str(), nullptr, "r");
    if (!f) return false;
    std::vector<int> read(p.memberships.size());
    const bool ok = ReadMembershipFile(f, name.c_str(), p.factors, nObj, read.data());
    fclose(f);
    if (ok) p.memberships.swap(read);
    return ok;
}

void MembershipsFromKeyboard(NewPartition& p) {
    fprintf(out, "%s", eng ? "Enter the group of each sampling unit:\n" : "Entre o grupo de cada unidade amostral:\n");
    fprintf(out, "%s", eng ? "Sampling unit:   " : "Unidade amostral: ");
    for (int i = 0; i < nObj; i++) fprintf(out, "\t%s", uaLabels[i]);
    for (int k = 0; k < p.factors; k++) {
        fprintf(out, eng ? "\nFactor %s: " : "\nFator %s: ", p.names[k].c_str());
        fprintf(out, "%s", eng ? "\nGroups:           " : "\nGrupos:           ");
        fflush(out);
        for (int i = 0; i < nObj; i++) p.memberships[static_cast<size_t>(k) * nObj + i] = AskGroupNumber(Keyboard());
    }
}

// Replaces the current partition by p: the old arrays are let go (a held
// snapshot keeps its own), the new ones made and the groups counted.
void InstallPartition(const NewPartition& p) {
    ReleaseGroupArrays();
    nFactors = p.factors;
    nesting = p.nesting;
    const int P = NumberOfPartitions(nFactors);
    grMemb = dim2DT<int>(P, nObj);
    grLabel = dim2DT<int>(P, nObj);
    factorLabel = dim2DT<char>(nFactors, 100);
    nGroups = dim1DT<int>(P);
    nestedFactor = dim1DT<int>(nFactors);
    grMembDimensioned = 1;
    if (nesting == 1) nestedFactor[1] = 1;
    for (int k = 0; k < nFactors; k++) {
        snprintf(factorLabel[k], 100, "%s", p.names[k].c_str());
        std::copy(p.memberships.begin() + static_cast<size_t>(k) * nObj,
                  p.memberships.begin() + static_cast<size_t>(k + 1) * nObj, grMemb[k]);
        CountGroups(nObj, grMemb[k], nGroups[k], grLabel[k]);
    }
    temGrupo = 1;
}

}  // namespace

void SetGroups() {
    fprintf(out, "%s\n", line);
    fprintf(out, "%s", eng ? "SPECIFYING GROUPS\n" : "ESPECIFICACAO DE GRUPOS\n");
    fprintf(out, eng ? "File: %s\n" : "Arquivo: %s\n", filename);
    if (temDados != 1 || nObj < 1 || !uaLabels) return;
    if (temGrupo == 1 && grMemb && factorLabel) {
        ShowPartition();
        if (!AskYes("Change? y/n ", "Alterar? s/n ")) return;
    }

    NewPartition p;
    fprintf(out, "%s",
            eng ? "Enter the number of factors that are defining groups: "
                : "Entre o numero de fatores que definem grupos: ");
    fflush(out);
    p.factors = static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, 10));
    if (p.factors > 1 && AskYes("Block design? y/n ", "Delineamento em blocos? s/n ")) p.nesting = 1;

    fprintf(out, "%s", eng ? "Enter the name of each factor: \n" : "Informe o nome de cada fator de agrupamento: \n");
    for (int k = 1; k <= p.factors; k++) {
        if (p.nesting == 1 && k == 1) {
            p.names.push_back(eng ? "Blocks" : "Blocos");
            fprintf(out, eng ? "Factor %d: %s\n" : "Fator %d: %s\n", k, p.names.back().c_str());
            continue;
        }
        fprintf(out, eng ? "Factor %d: " : "Fator %d: ", k);
        fflush(out);
        p.names.push_back(AskWord(99));
    }

    p.memberships.assign(static_cast<size_t>(p.factors) * nObj, 0);
    for (;;) {
        fprintf(out, "%s",
                eng ? "Read group memberships from file (f) or from the keyboard (k)? f/k "
                    : "Ler grupo de cada unidade amostral de um arquivo (a) ou do teclado (t)? a/t ");
        fflush(out);
        const int key = ScanChar(in, eng ? "f k" : "a t", Keyboard());
        if (key == 'k' || key == 't') {
            MembershipsFromKeyboard(p);
            break;
        }
        if (MembershipsFromFile(p)) break;
    }
    InstallPartition(p);
}
