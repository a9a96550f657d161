// ===========================================================================
// Group-comparison test (key P)
// ===========================================================================

#include "FtevlanRn.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn_internal.h"
#include "iflibG.h"
#include "rhlibClasses.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

using namespace rn_detail;

namespace group_test {

const double kUndefined = std::numeric_limits<double>::quiet_NaN();

// Group means and residuals mean something only for these data types.
bool NumericData() { return dataType == 1 || dataType == 2 || dataType == 4 || dataType == 6; }

// The answers of the dialogue.
struct Choice {
    bool advanced = false;
    int statistic = 1;  // 1 Qb, 2 pseudo-F, 3 MRPP
    int nRemoved = 0;
    int removed[3] = {0, 0, 0};
    bool nested = false, bundles = false, bundlesOnly = false, blocks = false;
    int nestingFactor = 0;
    std::vector<int> nestGroups, bundleGroups;
    int contrastOption = 0;
    // [factor][contrast][group position] coefficients, and the pointers the
    // engine reads.
    std::vector<std::vector<std::vector<double>>> coefficients;
    std::vector<std::vector<double*>> contrastRows;
    std::vector<double**> contrastFactors;
    std::vector<int> nContrasts;
    int nPerm = 0;
    int save = 'n';

    // Built once: records made earlier keep reading them.
    double*** ContrastPointers() {
        if (!contrastFactors.empty()) return contrastFactors.data();
        contrastRows.assign(nFactors, {});
        contrastFactors.assign(nFactors, nullptr);
        for (int f = 0; f < nFactors; f++) {
            for (std::vector<double>& c : coefficients[f]) contrastRows[f].push_back(c.data());
            contrastFactors[f] = contrastRows[f].data();
        }
        return contrastFactors.data();
    }
};

void FactorList() {
    for (int f = 0; f < nFactors; f++) fprintf(out, "%d.%s ", f + 1, factorLabel[f]);
    fprintf(out, "): \t");
    fflush(out);
}

int AskFactorNumber() { return static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, nFactors)); }

int AskMenu(const char* english, const char* portuguese, const char* keys) {
    fprintf(out, "%s", eng ? english : portuguese);
    fflush(out);
    return static_cast<int>(ScanNumber(in, Keyboard(), keys));
}

void AskStatistic(Choice& c) {
    c.statistic = AskMenu(
        "\nChoose the test statistic:\n  (1) Sum of squares between groups (Qb, Hallek & Velnik 1996)\n  (2) Pseudo "
        "F-ratio (Torvik 2001)\n  (3) Average dissimilarity within groups (MRPP for v=1, Sorvin & Dosset 2001)\n      "
        "Enter option: ",
        "\nEscolha a estatistica do teste:\n  (1) Soma de quadrados entre grupos (Qb, Hallek & Velnik 1996)\n  (2) "
        "Pseudo razao F (Torvik 2001)\n  (3) Dissimilaridade media dentro dos grupos (MRPP para v=1, Sorvin & Dosset "
        "2001)\n      Entre opcao: ",
        "1 2 3");
}

// The factors whose effects residuals remove (all different).
void AskResiduals(Choice& c) {
    if ((nFactors != 2 && nFactors != 3) || !NumericData()) return;
    if (nFactors == 2)
        c.nRemoved = AskMenu("\nUse residuals in the analysis?\n  (0) No\n  (1) Remove the effect of one factor\n  (2) "
                             "Remove the effect of two factors\n      Enter option: ",
                             "\nUsar residuos na analise?\n  (0) Nao\n  (1) Remover o efeito de um fator\n  (2) "
                             "Remover o efeito de dois fatores\n      Entre opcao: ",
                             "0 1 2");
    else
        c.nRemoved = AskMenu("\nUse residuals in the analysis?\n  (0) No\n  (1) Remove the effect of one factor\n  (2) "
                             "Remove the effect of two factors\n  (3) Remove the effect of three factors\n      Enter "
                             "option: ",
                             "\nUsar residuos na analise?\n  (0) Nao\n  (1) Remover o efeito de um fator\n  (2) "
                             "Remover o efeito de dois fatores\n  (3) Remover o efeito de tres fatores\n      Entre "
                             "opcao: ",
                             "0 1 2 3");
    if (c.nRemoved == 0) return;
    for (;;) {
        if (c.nRemoved == 1)
            fprintf(out, "%s",
                    eng ? "\nSpecify the factor effect to be removed ( "
                        : "\nEspecifique o efeito de fator a ser removido ( ");
        else
            fprintf(out, "%s",
                    eng ? "\nSpecify the factors whose effects are to be removed ( "
                        : "\nEspecifique os fatores cujos efeitos devem ser removidos ( ");
        FactorList();
        for (int t = 0; t < c.nRemoved; t++) c.removed[t] = AskFactorNumber();
        const int* r = c.removed;
        const bool distinct = c.nRemoved == 1 || (c.nRemoved == 2 && r[0] != r[1]) ||
                              (r[0] != r[1] && r[0] != r[2] && r[1] != r[2]);
        if (distinct) return;
        fprintf(out, "%s", eng ? "\n\bThe factors cannot be the same!\n" : "\n\bOs fatores nao podem ser os mesmos!\n");
    }
}

void GroupsOfFactor(int f, std::vector<int>& groups) { groups.assign(grMemb[f - 1], grMemb[f - 1] + nObj); }

// A restriction menu: none, the groups of a factor, or groups read as the
// restriction dialogue reads them.
struct RestrictionMenu {
    const char* menuE;
    const char* menuP;
    const char* factorE;
    const char* factorP;
    const GroupDialogueTexts& groups;
};

// True when a restriction was chosen; *factor is its factor (0: groups read).
bool AskRestriction(const RestrictionMenu& m, std::vector<int>& groups, int* factor) {
    const int option = AskMenu(m.menuE, m.menuP, "0 1 2");
    if (option == 1) {
        fprintf(out, "%s", eng ? m.factorE : m.factorP);
        FactorList();
        *factor = AskFactorNumber();
        GroupsOfFactor(*factor, groups);
    } else if (option == 2) {
        ReadRestrictionGroups(m.groups, nObj, uaLabels, groups.data(), GroupFileFault::kAskAgain);
    }
    return option != 0;
}

// Nesting, bundles and their order.
void AskRestrictions(Choice& c) {
    c.nestGroups.assign(nObj, 0);
    c.bundleGroups.assign(nObj, 0);
    bool askNesting = true;
    if (nesting == 1) {
        fprintf(out, "%s",
                eng ? "A block design was informed when setting the groups. Wish to maintain (m) or to change (c)? "
                      "m/c "
                    : "Um delineamento em blocos foi informado ao definir os grupos. Deseja manter (m) ou alterar "
                      "(a)? m/a ");
        fflush(out);
        if (ScanChar(in, "m c a", Keyboard()) == 'm') {
            // The block factor's interactions go into the error term, and
            // the report finds the block factor through nestingFactor.
            c.nested = c.blocks = true;
            c.nestingFactor = 1;
            GroupsOfFactor(1, c.nestGroups);
            askNesting = false;
        }
    }
    if (askNesting) {
        fprintf(out, "%s", eng ? "\nRandomization restrictions:\n" : "\nRestricoes a aleatorizacao:\n");
        const RestrictionMenu nesting = {
            "Nesting (like a block design or a nested design):\n  (0) None\n  (1) Permutations restricted within "
            "groups of one factor already specified\n  (2) Permutations restricted within groups to be specified\n  "
            "    Enter option: ",
            "Aninhamento (como em delineamento em blocos ou aninhado):\n  (0) Nenhum\n  (1) Permutacoes restritas "
            "dentro de grupos de um fator ja especificado\n  (2) Permutacoes restritas dentro de grupos a "
            "especificar\n      Entre opcao: ",
            "\nSpecify which is the nesting factor ( ", "\nEspecifique o fator de aninhamento ( ",
            eng ? kNestingE : kNestingP};
        c.nested = AskRestriction(nesting, c.nestGroups, &c.nestingFactor);
    }
    fprintf(out, "%s", eng ? "\nAdditional randomization restrictions:\n" : "\nRestricoes adicionais a aleatorizacao:\n");
    const RestrictionMenu bundles = {
        "Permutation among unit bundles (e.g., main plots in a nested design or when subsampling is involved):\n  (0) "
        "None\n  (1) Bundles according to one factor already specified\n  (2) Bundles to be specified\n      Enter "
        "option: ",
        "Permutacao entre feixes de unidades (p.ex., parcelas principais em um delineamento aninhado ou com "
        "subamostragem):\n  (0) Nenhuma\n  (1) Feixes segundo um fator ja especificado\n  (2) Feixes a "
        "especificar\n      Entre opcao: ",
        "\nSpecify which is the bundling factor ( ", "\nEspecifique o fator dos feixes ( ", eng ? kBundlesE : kBundlesP};
    int bundlingFactor = 0;
    c.bundles = AskRestriction(bundles, c.bundleGroups, &bundlingFactor);
    if (c.nested && c.bundles)
        c.bundlesOnly =
            AskMenu("Restriction order:\n  (1) Permute units within nesting levels and then permute the bundles "
                    "(assuming equally sized bundles)\n  (2) Permute only the bundles within nesting levels\n      "
                    "Enter option: ",
                    "Ordem das restricoes:\n  (1) Permutar as unidades dentro dos niveis de aninhamento e depois "
                    "permutar os feixes (supondo feixes de tamanhos iguais)\n  (2) Permutar somente os feixes dentro "
                    "dos niveis de aninhamento\n      Entre opcao: ",
                    "1 2") == 2;
}

// Coefficients add up to 0 within rounding, and are not all 0.
bool ValidContrast(const std::vector<double>& coefficients) {
    double sum = 0, size = 0;
    for (double x : coefficients) {
        sum += x;
        size += std::fabs(x);
    }
    return size > 0 && std::fabs(sum) <= 1e-9 * size;
}

void AskSpecifiedContrasts(Choice& c, int maxContrasts) {
    for (int f = 0; f < nFactors; f++) {
        fprintf(out,
                eng ? "\nEnter the number of contrasts for factor %s (max. %d): "
                    : "\nEntre o numero de contrastes para o fator %s (max. %d): ",
                factorLabel[f], maxContrasts);
        fflush(out);
        const int count = static_cast<int>(ScanNumber(in, Keyboard(), "-", 0, maxContrasts));
        c.nContrasts[f] = count;
        if (count == 0) continue;
        const int g = nGroups[f];
        fprintf(out, "%s", eng ? "Specify the coefficients in each contrast:\n" : "Especifique os coeficientes de cada contraste:\n");
        fprintf(out, "%s", eng ? "Groups:       \t" : "Grupos:       \t");
        for (int a = 0; a < g; a++) fprintf(out, " %d", grLabel[f][a]);
        fprintf(out, "\n");
        c.coefficients[f].assign(count, std::vector<double>(g, 0.0));
        for (int k = 0; k < count; k++)
            for (;;) {
                fprintf(out, eng ? "Contrast %d: \t" : "Contraste %d: \t", k + 1);
                fflush(out);
                for (int a = 0; a < g; a++) c.coefficients[f][k][a] = ScanNumber(in, Keyboard(), "-", -1e300, 1e300);
                if (ValidContrast(c.coefficients[f][k])) break;
                RefusalMessage(eng ? "Reenter! Coefficients must sum zero!!\n"
                                   : "Entre novamente! Os coeficientes devem somar zero!!\n");
            }
    }
}

// False for 99 (back to the main menu).
bool AskContrasts(Choice& c) {
    c.nContrasts.assign(nFactors, 0);
    c.coefficients.assign(nFactors, {});
    fprintf(out,
            eng ? "Contrasts of groups: \n\t(0)no contrasts\n\t(1)perform all pairwise group contrasts\n\t(2)specify "
                  "contrasts\n\t(99)%s\n"
                : "Contrastes de grupos: \n\t(0)nenhum contraste\n\t(1)realizar todos os contrastes entre pares de "
                  "grupos\n\t(2)especificar contrastes\n\t(99)%s\n",
            returnMain);
    fprintf(out, "\t\t%s: ", enterOpt);
    fflush(out);
    c.contrastOption = static_cast<int>(ScanNumber(in, Keyboard(), "0 1 2 99"));
    if (c.contrastOption == 99) return false;
    if (c.contrastOption == 1) {
        for (int f = 0; f < nFactors; f++) {
            if (f == 0 && c.blocks) continue;
            const int g = nGroups[f];
            for (int a = 0; a < g; a++)
                for (int b = a + 1; b < g; b++) {
                    std::vector<double> pair(g, 0.0);
                    pair[a] = 1;
                    pair[b] = -1;
                    c.coefficients[f].push_back(pair);
                }
            c.nContrasts[f] = static_cast<int>(c.coefficients[f].size());
        }
    } else if (c.contrastOption == 2) {
        long long m = 0;
        for (int f = 0; f < nFactors; f++) m = std::max<long long>(m, nGroups[f]);
        AskSpecifiedContrasts(c, static_cast<int>(std::min<long long>(4 * (m * (m - 1) / 2), 2147483647LL)));
    }
    return true;
}

// The whole dialogue; false when the user went back to the main menu.
bool AskChoice(Choice& c) {
    AleatorizacaoMain();
    fprintf(out, "%s",
            eng ? "Use default (d) or wish to specify advanced (a) options? d/a "
                : "Usar opcoes padrao (d) ou especificar opcoes avancadas (a)? d/a ");
    fflush(out);
    c.advanced = ScanChar(in, "d a", Keyboard()) == 'a';
    if (c.advanced) {
        AskStatistic(c);
        AskResiduals(c);
        AskRestrictions(c);
    } else if (nesting == 1) {
        c.nested = c.blocks = true;
        c.nestingFactor = 1;
        GroupsOfFactor(1, c.nestGroups);
        c.bundleGroups.assign(nObj, 0);
    } else {
        c.nestGroups.assign(nObj, 0);
        c.bundleGroups.assign(nObj, 0);
    }
    if (!AskContrasts(c)) return false;
    c.nPerm = AskNumberOfPermutations();
    c.save = AskSaveQuestion(c.nPerm, "Save data and results at each permutation? y/n ",
                             "Guardar dados e resultados a cada permutacao? s/n ", true);
    return true;
}

void Refused(const char* english, const char* portuguese) { RefusalMessage(eng ? english : portuguese); }

// The dissimilarities the test sums, from the resemblance matrix R into W
// (which may be R): similarities become the distances sqrt(s_ii + s_jj -
// 2 s_ij), measure 4 through Gower's centring first; dissimilarities are
// copied. Both triangles are written. False, with a message, when R holds a
// missing value (-999, as measures 24 and 25 give for some pairs) or a value
// that is not finite: no sum of squares can be formed from it.
bool TestDistances(int n, double** R, double** W, bool residuals) {
    bool usable = true;
    for (int i = 0; i < n && usable; i++)
        for (int j = 0; j < n; j++)
            if (i != j && (R[i][j] == MISSING || !std::isfinite(R[i][j]))) {
                usable = false;
                break;
            }
    const bool similarity = IsSimilarityMeasure(optReseTipo);
    if (usable) {
        if (R != W)
            for (int i = 0; i < n; i++) memcpy(W[i], R[i], sizeof(double) * n);
        if (optReseTipo == 4) DissToCenterProdMatrix(n, W, W, false);
        if (similarity || optReseTipo == 4) {
            ProdToSqDist(n, W, W);
            for (int i = 0; i < n; i++) {
                W[i][i] = 0;
                for (int j = i + 1; j < n; j++) {
                    // A square a rounding error took below 0 is 0.
                    const double d2 = W[i][j];
                    W[i][j] = W[j][i] = d2 > 0 ? std::sqrt(d2) : 0.0;
                    if (!std::isfinite(W[i][j])) usable = false;
                }
            }
        }
    }
    if (!usable) {
        if (residuals)
            Refused("\nThe resemblance matrix of the residuals holds undefined (-999) or not finite values: it "
                    "cannot be tested.\n",
                    "\nA matriz de semelhanca dos residuos contem valores indefinidos (-999) ou nao finitos: nao "
                    "pode ser testada.\n");
        else
            Refused("\nThe resemblance matrix holds undefined (-999) or not finite values: the groups cannot be "
                    "compared.\n",
                    "\nA matriz de semelhanca contem valores indefinidos (-999) ou nao finitos: os grupos nao podem "
                    "ser comparados.\n");
    }
    return usable;
}

// The test's matrix from the residuals of data after removing the given
// factors (1-based), into W; table is an nObj x nVar work table.
bool ResidualDistances(int nRemoved, const int* removed, double** table, double** W) {
    if (!Residuals(nObj, nVar, nFactors, grMemb, nGroups, grLabel, data, table, nRemoved, removed)) return false;
    const int done = ResemblanceLib(nObj, nVar, table, W, 1, optReseTipo, optPostReseTransf, varType, alphaH,
                                    kParameter, countDoubleAbsence, false);
    if (done != reseComputed) {
        Refused("\nThe resemblance matrix of the residuals could not be computed with the current measure.\n",
                "\nA matriz de semelhanca dos residuos nao pode ser calculada com a medida atual.\n");
        return false;
    }
    return TestDistances(nObj, W, W, true);
}

// The restrictions can be applied to the units, and to the units of each
// contrast, which are permuted on their own (bundles a contrast takes in
// part are unequal): else the engine's message, before any report is opened.
bool RestrictionsAccepted(const Choice& c) {
    if (!CheckNestedDesign(nObj, c.nested, c.nestGroups.data(), c.bundles, c.bundleGroups.data(), c.bundlesOnly,
                           false, nullptr, port == 1))
        return false;
    // The alternative statistics test no contrasts.
    if (c.contrastOption == 0 || (c.advanced && c.statistic == 3)) return true;
    std::vector<int> position(nObj);
    std::unique_ptr<bool[]> mask(new bool[nObj]);
    for (int f = 0; f < nFactors; f++) {
        GroupPositions(nObj, grMemb[f], position.data());
        for (int k = 0; k < c.nContrasts[f]; k++) {
            for (int u = 0; u < nObj; u++) mask[u] = c.coefficients[f][k][position[u] - 1] != 0;
            if (!CheckNestedDesign(nObj, c.nested, c.nestGroups.data(), c.bundles, c.bundleGroups.data(),
                                   c.bundlesOnly, false, mask.get(), port == 1))
                return false;
        }
    }
    return true;
}

// The record of a run with the options chosen.
manovaInput Record(Choice& c, double** W, FILE* report) {
    manovaInput in{};
    in.nObj = nObj;
    in.nVar = nVar;
    in.nPermutations = c.nPerm;
    in.dissim = W;
    in.contrastCoef = c.ContrastPointers();
    in.data = data;
    in.alreadySquared = false;
    in.doContrasts = c.contrastOption != 0;
    in.seedGenerator = false;
    in.nested = c.nested;
    in.permuteBundles = c.bundles;
    in.bundlesOnly = c.bundlesOnly;
    in.firstFactorBlocks = c.blocks;
    in.synchronized = false;
    in.groupMeans = NumericData();
    in.pseudoF = c.advanced && c.statistic == 2;
    in.nFactors = nFactors;
    in.memberships = grMemb;
    in.nContrasts = c.nContrasts.data();
    in.nestingFactor = c.nestingFactor;
    in.nestGroups = c.nestGroups.data();
    in.bundleGroups = c.bundleGroups.data();
    in.factorLabels = factorLabel;
    in.unitLabels = uaLabels;
    in.seed = static_cast<unsigned int>(seed);
    in.portuguese = port == 1 ? 1 : 0;
    in.digits = sDigits;
    in.printEachPermutation = c.save == 'y';
    in.intermediateTable = c.save == 'p';
    in.nRemoved = c.nRemoved;
    in.removedFactors = c.removed;
    in.balance = in.balanceAlways = false;
    in.nTests = in.testIndex = 1;
    in.showProgress = true;
    in.mrppOption = false;
    in.report = report;
    return in;
}

// The default test series over two or more factors: interactions on
// residuals, the cells unrestricted, each factor within the cells of the
// others; the last run (or, when every run took its own partition alone, an
// object of the last run's observed statistics) carries every collected P
// into the report.
class Series {
public:
    Series(Choice& c, double** W, FILE* report) : c_(c), W_(W), report_(report), k_(nFactors) {}

    std::unique_ptr<RandomizationTestManova> Run(double start) {
        const int block = c_.blocks ? 0 : -1;
        const bool residuals = NumericData();
        P_.assign(static_cast<size_t>(k_ + 1) * (k_ + 1), kUndefined);
        for (int i = 0; i <= k_; i++) Prow_.push_back(P_.data() + static_cast<size_t>(i) * (k_ + 1));
        contrastP_.assign(k_, {});
        for (int f = 0; f < k_; f++) contrastP_[f].assign(std::max(c_.nContrasts[f], 1), kUndefined);
        for (std::vector<double>& v : contrastP_) contrastProw_.push_back(v.data());

        int pairs = 0;
        for (int i = 0; i < k_; i++)
            for (int j = i + 1; j < k_; j++)
                if (i != block) pairs++;
        const bool threeFactors = k_ == 3 && block < 0;
        nTests_ = (residuals ? pairs + (threeFactors ? 1 : 0) : 0) + 1 + (block < 0 ? k_ : k_ - 1);

        double threeP = kUndefined;
        if (residuals) {
            ScopedMatrix<double> table(nObj, nVar);
            for (int i = 0; i < k_; i++)
                for (int j = i + 1; j < k_; j++) {
                    if (i == block) continue;
                    const int removed[3] = {i + 1, j + 1, 0};
                    testIndex_++;
                    if (!ResidualDistances(2, removed, table, W_)) continue;
                    manovaInput in = Base(2, removed);
                    in.pseudoF = true;
                    in.doContrasts = false;
                    in.nested = block >= 0;
                    in.nestGroups = c_.nestGroups.data();
                    Prow_[i][j] = RandomizationTestManova(&in).GetManovaResults()->P[i][j];
                }
            if (threeFactors) {
                const int removed[3] = {1, 2, 3};
                testIndex_++;
                if (ResidualDistances(3, removed, table, W_)) {
                    manovaInput in = Base(3, removed);
                    in.pseudoF = true;
                    in.doContrasts = false;
                    in.nested = false;
                    threeP = RandomizationTestManova(&in).GetManovaResults()->P3;
                }
            }
        }

        // The matrix of the data as they are: checked before the dialogue
        // ended, so it converts.
        TestDistances(nObj, rese, W_, false);
        // Without saved permutations, whose blocks show every factor, a
        // main effect or the cells are tested over their own partition
        // alone: their Qb does not depend on the other factors, and such a
        // run costs a fraction of one over every partition. It draws the
        // same lists from the generator as a run over every partition only
        // when no contrast is drawn besides them: with contrasts every run
        // takes every partition, so that a seed gives the same P either way.
        int contrasts = 0;
        if (c_.contrastOption != 0)
            for (int f = 0; f < k_; f++) contrasts += c_.nContrasts[f];
        const bool alone = c_.save == 'n' && contrasts == 0;
        cells_.assign(nObj, 0);
        testIndex_++;
        if (alone) {
            OtherFactorCells(-1);
            RunAlone(-1, false, Prow_[k_][k_], nullptr);
        } else {
            manovaInput in = Base(0, nullptr);
            in.nested = false;
            RandomizationTestManova t(&in);
            const manovaResults* res = t.GetManovaResults();
            for (int i = 0; i <= k_; i++) Prow_[i][i] = res->P[i][i];
        }

        std::unique_ptr<RandomizationTestManova> last;
        for (int i = 0; i < k_; i++) {
            if (i == block) continue;
            OtherFactorCells(i);
            if (alone) {
                testIndex_++;
                RunAlone(i, true, Prow_[i][i], contrastProw_[i]);
                if (i < k_ - 1) continue;
                // The report's object: the last run's record, its observed
                // statistics over every partition and no permutation of its
                // own, since every P it shows comes from the runs above.
                manovaInput& in = last_;
                in = Base(0, nullptr);
                in.nested = true;
                in.nestGroups = cells_.data();
                in.nPermutations = 1;
                in.showProgress = false;
                last.reset(new RandomizationTestManova(&in));
                last->SetNumberOfPermutations(c_.nPerm);
                continue;
            }
            testIndex_++;
            manovaInput& in = last_;
            in = Base(0, nullptr);
            in.nested = true;
            in.nestGroups = cells_.data();
            last.reset(new RandomizationTestManova(&in));
            const manovaResults* res = last->GetManovaResults();
            Prow_[i][i] = res->P[i][i];
            if (in.doContrasts)
                for (int q = 0; q < c_.nContrasts[i]; q++) contrastProw_[i][q] = res->contrasts[i][q][1];
        }
        if (k_ == 3)
            last->ReplaceProbabilities(Prow_.data(), contrastProw_.data(), threeP);
        else
            last->ReplaceProbabilities(Prow_.data(), contrastProw_.data());
        last->SetElapsedTime(static_cast<float>(difftime_Clock(start)));
        return last;
    }

private:
    manovaInput Base(int nRemoved, const int* removed) {
        std::copy(removed ? removed : kNone, (removed ? removed : kNone) + 3, removed_);
        manovaInput in = Record(c_, W_, report_);
        in.nRemoved = nRemoved;
        in.removedFactors = removed_;
        in.nTests = nTests_;
        in.testIndex = testIndex_;
        return in;
    }

    // Unit u's group in cells_: the 1-based number of the first unit with
    // its groups on every factor but i (i = -1: on every factor).
    void OtherFactorCells(int i) {
        std::map<std::vector<int>, int> first;
        std::vector<int> key;
        for (int u = 0; u < nObj; u++) {
            key.clear();
            for (int f = 0; f < k_; f++)
                if (f != i) key.push_back(grMemb[f][u]);
            cells_[u] = first.emplace(key, u + 1).first->second;
        }
    }

    // The codes of the cells of every factor (cells_): those of the first
    // factor whose groups are the cells, when the other factors are nested
    // in it, as a run over every partition sums their groups in that
    // factor's order and a sum in another order may round apart; else
    // cells_.
    int* SameGroupingAsCells() {
        const size_t cells = std::set<int>(cells_.begin(), cells_.end()).size();
        for (int f = 0; f < k_; f++)
            if (std::set<int>(grMemb[f], grMemb[f] + nObj).size() == cells) return grMemb[f];
        return cells_.data();
    }

    // The P of one partition's Qb, over that partition alone: factor f's
    // groups with its contrasts (P and contrastP), within cells_ when
    // nested, or (f = -1) the cells_ themselves.
    void RunAlone(int f, bool nested, double& P, double* contrastP) {
        int* memberships[1] = {f >= 0 ? grMemb[f] : SameGroupingAsCells()};
        int count[1] = {f >= 0 && c_.contrastOption != 0 ? c_.nContrasts[f] : 0};
        double** coefficients[1] = {count[0] > 0 ? c_.contrastRows[f].data() : nullptr};
        char* label[1] = {factorLabel[f >= 0 ? f : 0]};
        manovaInput in = Base(0, nullptr);
        in.nFactors = 1;
        in.memberships = memberships;
        in.nContrasts = count;
        in.contrastCoef = coefficients;
        in.doContrasts = count[0] > 0;
        in.factorLabels = label;
        in.firstFactorBlocks = false;
        in.nestingFactor = 0;
        in.groupMeans = false;
        in.nested = nested;
        in.nestGroups = cells_.data();
        RandomizationTestManova t(&in);
        const manovaResults* res = t.GetManovaResults();
        P = res->P[0][0];
        for (int q = 0; q < count[0]; q++) contrastP[q] = res->contrasts[0][q][1];
    }

    static constexpr int kNone[3] = {0, 0, 0};
    Choice& c_;
    double** W_;
    FILE* report_;
    const int k_;
    int nTests_ = 1, testIndex_ = 0;
    int removed_[3] = {0, 0, 0};
    std::vector<double> P_;
    std::vector<double*> Prow_;
    std::vector<std::vector<double>> contrastP_;
    std::vector<double*> contrastProw_;
    std::vector<int> cells_;
    manovaInput last_{};
};

}  // namespace group_test

int AleatorizacaoUnitsManova() {
    using namespace group_test;
    // Key P is offered once a resemblance matrix between the units exists,
    // and SetGroups has just made sure of the groups.
    if (temRese != 1 || !rese || optReseDir != 1 || nRows != nObj || temGrupo != 1 || !grMemb || !factorLabel ||
        nFactors < 1)
        return 0;
    Choice c;
    if (!AskChoice(c)) return 0;
    // The test sums a converted copy of the matrix, residuals computed from
    // a copy of the table.
    const double table = 8.0 * nVar;
    if (!WorkFits(eng == 1, nObj, [table](double n) { return SquareBytes(n) + table * n; }, "the test",
                  "o teste", "sampling units", "unidades amostrais"))
        return 0;

    const double start = difftime_Clock_Init();
    // The test sums a converted copy: rese, data and the session stay as
    // they are.
    ScopedMatrix<double> W(nObj, nObj);
    if (c.advanced && c.nRemoved > 0) {
        ScopedMatrix<double> table(nObj, nVar);
        if (!ResidualDistances(c.nRemoved, c.removed, table, W)) return 0;
    } else if (!TestDistances(nObj, rese, W, false)) {
        return 0;
    }
    if ((c.nested || c.bundles) && !RestrictionsAccepted(c)) return 0;

    FILE* report = fopenck("Vidive.txt", nullptr, modeVidive);
    if (!report) return 0;
    std::unique_ptr<RandomizationTestManova> test;
    manovaInput in = Record(c, W, report);
    Series series(c, W, report);  // the last run of a series keeps pointers into it
    if (c.advanced && c.statistic == 3) {
        test.reset(new RandomizationTestManova(&in, 3));
        test->PrintManovaResults(report, uaLabels, sDigits, false, 0);
    } else if (c.advanced) {
        test.reset(new RandomizationTestManova(&in));
        test->PrintManovaResults(report, sDigits, c.nRemoved, c.removed, uaLabels);
    } else if (nFactors == 1 || (nFactors == 2 && c.blocks)) {
        test.reset(new RandomizationTestManova(&in));
        test->PrintManovaResults(report, uaLabels, sDigits, 0, nullptr, true);
    } else {
        test = series.Run(start);
        test->PrintManovaResults(report, uaLabels, sDigits, 0, nullptr, true);
    }
    ShowStatus(report);
    const bool written = fcloseck(report, "Vidive.txt");
    strcpy(modeVidive, "a");
    test.reset();
    ClearLine();
    if (written)
        fprintf(out, "%s", eng ? "\n\nSee results on file Vidive.txt.\n" : "\n\nVeja resultados no arquivo Vidive.txt.\n");
    return 1;
}
