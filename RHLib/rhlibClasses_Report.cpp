// ===========================================================================
// The report
// ===========================================================================

#include "rhlibClasses.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibClasses_internal.h"

using namespace manovadetail;

namespace {

// The report's separator line (79 dashes).
const char* const kSeparator =
    "-------------------------------------------------------------------------------";

// The threads a parallel region would have. Without a dynamic team and
// outside a region that is the team size set: no team is started (and met)
// only to count it.
int TeamSize() {
    if (!omp_get_dynamic() && !omp_in_parallel()) return std::min(omp_get_max_threads(), omp_get_thread_limit());
    int threads = 1;
#pragma omp parallel
    {
#pragma omp single
        threads = omp_get_num_threads();
    }
    return threads;
}

// A probability ("%g"), or the words for one that is not testable.
void PrintP(FILE* f, double p, bool pt) {
    if (std::isnan(p))
        fputs(NotTestableText(pt), f);
    else
        fprintf(f, "%g", p);
}

}  // namespace

const char* RandomizationTestManova::FactorName(int f) const {
    return factorNames_[f].c_str();
}

// Unit u's label (its number without labels) in format; nothing is
// allocated, as blocks are printed inside the permutation loop.
void RandomizationTestManova::PrintUnit(FILE* file, const char* format, char** labels, int u) const {
    if (!labels) labels = rec_.unitLabels;
    char number[16];
    snprintf(number, sizeof number, "%d", u + 1);
    fprintf(file, format, labels && labels[u] ? labels[u] : number);
}

double RandomizationTestManova::Shown(int i, int j) const {
    return shown_->qb[static_cast<size_t>(i) * (k_ + 2) + j];
}

// P of entry [i][j], or during the loop the count reached so far.
double RandomizationTestManova::ShownP(int i, int j) const {
    if (!inLoop_) return P_[i][j];
    const double observed = statistic_ == 0 ? observed_->qb[static_cast<size_t>(i) * (k_ + 2) + j]
                                            : observed_->alt[i];
    return std::isfinite(observed) ? static_cast<double>(counts_[StatIndex(k_, i, j)]) : kNaN;
}

double RandomizationTestManova::ShownThreeP() const {
    if (!inLoop_) return P3_;
    return std::isfinite(observed_->three) ? static_cast<double>(counts_[(k_ + 1) * (k_ + 1)]) : kNaN;
}

double RandomizationTestManova::ShownContrastP(int c) const {
    const Contrast& ct = contrasts_[c];
    if (!inLoop_) return contrastRes_[ct.factor][ct.index][1];
    const int idx = (k_ + 1) * (k_ + 1) + 1 + c;
    return std::isfinite(observed_->contrast[2 * c]) ? static_cast<double>(counts_[idx]) : kNaN;
}

void RandomizationTestManova::PrintManovaResults(FILE* file, char** unitLabels, int digits, int nRemoved,
                                                 int* removedFactors, bool fromSeries,
                                                 bool permutationBlock, int permutation) {
    if (statistic_ != 0)
        PrintAlternativeReport(file, unitLabels, digits, permutationBlock, permutation);
    else
        PrintQbReport(file, unitLabels, digits, nRemoved, removedFactors, fromSeries, permutationBlock,
                      permutation);
}

void RandomizationTestManova::PrintManovaResults(FILE* file, char** unitLabels, int digits, int nRemoved,
                                                 int* removedFactors, bool fromSeries) {
    PrintManovaResults(file, unitLabels, digits, nRemoved, removedFactors, fromSeries, false, 0);
}

void RandomizationTestManova::PrintManovaResults(FILE* file, int digits, int nRemoved, int* removedFactors,
                                                 char** unitLabels) {
    PrintManovaResults(file, unitLabels, digits, nRemoved, removedFactors, false);
}

void RandomizationTestManova::PrintManovaResults(FILE* file, char** unitLabels, int digits) {
    PrintManovaResults(file, digits, 0, nullptr, unitLabels);
}

void RandomizationTestManova::PrintManovaResults(FILE* file, char** unitLabels, int digits,
                                                 bool permutationBlock, int permutation) {
    PrintManovaResults(file, unitLabels, digits, rec_.nRemoved, rec_.removedFactors, false,
                       permutationBlock, permutation);
}

// Title lines; in a block its number and, without contrasts, the list.
void RandomizationTestManova::PrintTitle(FILE* file, char** unitLabels, bool block, int permutation,
                                         bool withList) {
    const bool pt = rec_.portuguese == 1;
    fprintf(file, "\n%s\n", kSeparator);
    fputs(Tx(pt, "RANDOMIZATION TEST", "TESTE DE ALEATORIZACAO"), file);
    if (block) {
        fprintf(file, Tx(pt, "\nINTERMEDIATE RESULTS Permutation %d", "\nRESULTADOS INTERMEDIARIOS Permutacao %d"),
                permutation + 1);
        if (withList) {
            fputs(Tx(pt, "\nRandom permutation of sampling unit vectors:\t",
                     "\nPermutacao aleatoria dos vetores das unidades amostrais:\t"),
                  file);
            for (int a = 0; a < n_; a++) PrintUnit(file, "%s\t", unitLabels, currentList_[a] - 1);
        }
    }
    fprintf(file, "\n%s\n", kSeparator);
}

// Time, run and partition lines.
void RandomizationTestManova::PrintHeader(FILE* file, char** unitLabels, bool alternative) {
    const bool pt = rec_.portuguese == 1;
    const time_t now = time(nullptr);
    fprintf(file, "%s", ctime(&now));
    fprintf(file, Tx(pt, "Elapsed time: %g seconds\n", "Tempo decorrido: %g seconds\n"), elapsed_);
    fprintf(file, "Maximum number of threads: %d\n", TeamSize());
    if (alternative)
        fprintf(file,
                Tx(pt, "Number of random permutations plus observed data: %d\n",
                   "Numero de permutacoes aleatorias mais os dados observados: %d\n"),
                rec_.nPermutations);
    else
        fprintf(file,
                Tx(pt, "Number of random permutations plus observed data set: %d\n",
                   "Numero de permutacoes aleatorias mais o conjunto de dados observado: %d\n"),
                rec_.nPermutations);
    fprintf(file, Tx(pt, "Random number generation initializer: %u\n",
                     "Inicializador da geracao de numeros aleatorios: %u\n"),
            rec_.seed);
    fputs(Tx(pt, "Group partition of sampling units:\n", "Particao das unidades amostrais em grupos:\n"), file);
    fputs(Tx(pt, "Sampling units:   ", "Unidades amostrais:"), file);
    for (int u = 0; u < n_; u++) PrintUnit(file, " %s", unitLabels, u);
    for (int f = 0; f < k_; f++) {
        fprintf(file, Tx(pt, "\nFactor %s: ", "\nFator %s: "), FactorName(f));
        if (alternative)
            fputs(Tx(pt, "\nGroups:             ", "\nGrupos:              "), file);
        else
            fputs(Tx(pt, "\nGroups:           ", "\nGrupos:            "), file);
        for (int u = 0; u < n_; u++) fprintf(file, " %d", partitions_[f].label[u]);
        fputs("\n", file);
        // The alternative statistics have no contrast results to order.
        if (rec_.doContrasts && !alternative) {
            fputs(Tx(pt, "Order of groups in contrasts:", "Ordem dos grupos nos contrastes:"), file);
            for (int code : partitions_[f].codes) fprintf(file, " %d", code);
            fputs("\n", file);
        }
    }
}

void RandomizationTestManova::PrintDataNotes(FILE* file, int nRemoved, int* removedFactors) {
    const bool pt = rec_.portuguese == 1;
    auto removed = [&](int t) {
        const int f = removedFactors ? removedFactors[t] - 1 : -1;
        return f >= 0 && f < k_ ? FactorName(f) : "";
    };
    fputs(Tx(pt, "\nPermuted data were ", "\nOs dados permutados foram "), file);
    if (nRemoved <= 0 || !removedFactors)
        fputs(Tx(pt, "vectors of raw data.", "vetores de dados brutos."), file);
    else if (nRemoved == 1)
        fprintf(file, Tx(pt, "vectors of residuals (effect of factor %s was removed).",
                         "vetores de residuos (o efeito do fator %s foi removido)."),
                removed(0));
    else if (nRemoved == 2)
        fprintf(file, Tx(pt, "vectors of residuals (effects of factors %s and %s were removed).",
                         "vetores de residuos (os efeitos dos fatores %s e %s foram removidos)."),
                removed(0), removed(1));
    else
        fprintf(file, Tx(pt, "vectors of residuals (effects of factors %s, %s and %s were removed).",
                         "vetores de residuos (os efeitos dos fatores %s, %s e %s foram removidos)."),
                removed(0), removed(1), removed(2));
}

void RandomizationTestManova::PrintRestrictionNotes(FILE* file, bool withSynchronized) {
    const bool pt = rec_.portuguese == 1;
    fputs(Tx(pt, "\nRandomization restrictions:", "\nRestricoes a aleatorizacao:"), file);
    if (!rec_.nested && !rec_.permuteBundles) fputs(Tx(pt, "none\n", "nenhuma\n"), file);
    if (rec_.permuteBundles) {
        fputs(Tx(pt, "\nUnits randomly permuted as bundles:\t", "\nUnidades permutadas aleatoriamente em feixes:\t"),
              file);
        for (int u = 0; u < n_; u++) fprintf(file, " %d", rec_.bundleGroups[u]);
    }
    if (rec_.nested) {
        fputs(Tx(pt, "\nRandom permutation within nesting groups:\t",
                 "\nPermutacao aleatoria dentro de grupos de aninhamento:\t"),
              file);
        for (int u = 0; u < n_; u++) fprintf(file, " %d", rec_.nestGroups[u]);
    }
    // The order of the two steps means something only when both are taken.
    if (rec_.permuteBundles && rec_.nested) {
        if (rec_.bundlesOnly)
            fputs(Tx(pt, "\nPermutation of bundles within nesting groups.\n",
                     "\nPermutacao dos feixes dentro de grupos de aninhamento.\n"),
                  file);
        else
            fputs(Tx(pt, "\nPermutation of units within nesting groups, followed by permutation of the bundles.\n",
                     "\nPermutacao das unidades dentro de grupos de aninhamento, seguida pela permutacao dos "
                     "feixes.\n"),
                  file);
    }
    if (withSynchronized && rec_.synchronized)
        fputs(Tx(pt, "\nSynchronized permutations were performed.\n", "\nForam realizadas permutacoes sincronizadas.\n"),
              file);
}

void RandomizationTestManova::PrintQbReport(FILE* file, char** unitLabels, int digits, int nRemoved,
                                            int* removedFactors, bool fromSeries, bool block, int permutation) {
    if (refused_ || !file) return;
    rec_.report = file;
    const bool pt = rec_.portuguese == 1;
    const int k = k_;
    PrintTitle(file, unitLabels, block, permutation, !rec_.doContrasts);
    // The notes of the default test series belong to its designs only; any
    // other report says how its own data were permuted.
    const bool seriesNotes = fromSeries && (k > 2 || (k == 2 && blockFactor_ < 0));
    if (!(block && permutation > 0)) {
        PrintHeader(file, unitLabels, false);
        if (seriesNotes) {
            fputs(Tx(pt,
                     "\nVectors of raw data were used to generate probabilities for the main effects while "
                     "vectors of residuals were used for double interactions (both factor effects removed).",
                     "\nVetores de dados brutos foram usados para gerar as probabilidades dos efeitos "
                     "principais, enquanto vetores de residuos foram usados para as interacoes duplas "
                     "(efeitos de ambos os fatores removidos)."),
                  file);
            fputs(Tx(pt,
                     "\nFor each main effect permutations were restricted within the groups defined by the "
                     "combination of the other factors.",
                     "\nPara cada efeito principal as permutacoes foram restritas aos grupos definidos pela "
                     "combinacao dos outros fatores."),
                  file);
            fputs(Tx(pt, "\nFor the all-factor combination effect permutations were unrestricted.\n",
                     "\nPara o efeito da combinacao de todos os fatores as permutacoes foram irrestritas.\n"),
                  file);
            fputs(Tx(pt,
                     "\n(*) Probabilities P generated for sum of squares (Qb), except for interactions, where "
                     "F=Qb/Qw was used as test criterion.\n",
                     "\n(*) Probabilidades P geradas para a soma de quadrados (Qb), exceto para as interacoes, "
                     "onde F=Qb/Qw foi usado como criterio de teste.\n"),
                  file);
        } else {
            PrintDataNotes(file, nRemoved, removedFactors);
            PrintRestrictionNotes(file, true);
        }
        if (rec_.balance) {
            if (rec_.balanceAlways)
                fputs(Tx(pt, "Balancing analysis was always performed even when group sizes equal.\n",
                         "Foi sempre feita analise balanceada, mesmo com grupos de tamanhos iguais.\n"),
                      file);
            else if (subsample_)
                fputs(Tx(pt, "Balancing analysis was performed when group sizes were unequal.\n",
                         "Foi feita analise balanceada quando os tamanhos dos grupos eram desiguais.\n"),
                      file);
        }
    }
    PrintTable(file, digits, seriesNotes, block);
    fprintf(file, "%-22s\t%20.*g\n", Tx(pt, "Within groups", "Dentro dos grupos"), digits, NoNegativeZero(shown_->qw));
    fprintf(file, "%.78s\n", kSeparator);
    fprintf(file, "%-22s\t%20.*g\n", "Total", digits, NoNegativeZero(Shown(k + 1, k + 1)));
    if (!block && means_) PrintGroupMeans(file, digits, k > 1);
}

// The table of the Qb test, or with pseudoF of the F test: one line per
// factor (with its contrasts), factor pair, three-factor term and the cells
// of all factors. F is printed with Q = F x Qw, or with "-" when Qw is not
// positive (F then holds Q undivided).
void RandomizationTestManova::PrintTable(FILE* file, int digits, bool seriesNotes, bool block) {
    const bool pt = rec_.portuguese == 1, F = rec_.pseudoF;
    const int k = k_;
    const double qw = shown_->qw;
    const bool divided = F && observed_->qw > 0;
    const char* source = Tx(pt, "Source of variation   ", "Fonte de variacao     ");
    const char* sumSq = Tx(pt, "Sum of squares(Q)   ", "Soma de quadrados(Q)");
    if (F) {
        fprintf(file, "\n\n%-22s\t%20.20s\t%12.12s\t%s\n", source, sumSq, "F=Qb/Qw",
                block ? " Freq(FNULL>=F)" : " P(FNULL>=F)");
    } else {
        const char* head = block ? (seriesNotes ? " Freq(QbNULL>=Qb) *" : " Freq(QbNULL>=Qb)")
                                 : (seriesNotes ? " P(QbNULL>=Qb) *" : " P(QbNULL>=Qb)");
        fprintf(file, "\n\n%-22s\t%20.20s\t%s\n", source, sumSq, head);
    }
    // Q and F of a value, in fields of the given widths.
    auto values = [&](double v, double divisor, int wq, int wf, bool divide) {
        if (!F)
            fprintf(file, "%*.*g\t", wq, digits, NoNegativeZero(v));
        else if (divide)
            fprintf(file, "%*.*g\t%*.*g\t", wq, digits, NoNegativeZero(v * divisor), wf, digits, NoNegativeZero(v));
        else
            fprintf(file, "%*.*g\t%*s\t", wq, digits, NoNegativeZero(v), wf, "-");
    };
    auto endP = [&](double p) {
        PrintP(file, p, pt);
        fputs("\n", file);
    };
    const char* between = Tx(pt, "Between groups", "Entre grupos");
    for (int i = 0; i < k; i++) {
        fprintf(file, "%.78s\n", kSeparator);
        if (F)
            fprintf(file, Tx(pt, "Factor %s:\n", "Fator %s:\n"), FactorName(i));
        else
            fprintf(file, Tx(pt, "\nFactor %s: \n", "\nFator %s: \n"), FactorName(i));
        fprintf(file, "%-22s\t", between);
        values(Shown(i, i), qw, 20, 12, divided);
        if (i == blockFactor_)
            fputs("\n", file);
        else
            endP(ShownP(i, i));
        bool heading = false;
        for (size_t c = 0; c < contrasts_.size(); c++) {
            const Contrast& ct = contrasts_[c];
            if (ct.factor != i) continue;
            if (!heading) fprintf(file, "%-22s\n", Tx(pt, "   Contrasts:", "   Contrastes:"));
            heading = true;
            const double stat = shown_->contrast[2 * c], qwc = shown_->contrast[2 * c + 1];
            fprintf(file, "%-22s\t", ct.label.c_str());
            if (F) {
                values(stat, qwc, 20, 12, observed_->contrast[2 * c + 1] > 0);
                endP(ShownContrastP(static_cast<int>(c)));
            } else if (i == blockFactor_) {
                fprintf(file, "%20.*g\n", digits, NoNegativeZero(stat));
            } else {
                fprintf(file, "%20.*g\t\t", digits, NoNegativeZero(stat));
                endP(ShownContrastP(static_cast<int>(c)));
            }
        }
    }
    for (int i = 0, pair = 0; i < k; i++)
        for (int j = i + 1; j < k; j++, pair++) {
            if (i == blockFactor_ || j == blockFactor_) continue;
            fprintf(file, "%.78s\n", kSeparator);
            fprintf(file, "%-9s x %-9s\t", FactorName(i), FactorName(j));
            values(Shown(i, j), qw, 20, 12, divided);
            endP(ShownP(i, j));
            if (!pairComplete_[pair])
                fputs(Tx(pt, "Warning! Data do not contain all the combinations of levels for these factors.\n",
                         "Atencao! Os dados nao contem todas as combinacoes de niveis destes fatores.\n"),
                      file);
        }
    if (k == 3 && blockFactor_ < 0) {
        fprintf(file, "%.78s\n", kSeparator);
        fprintf(file, "%-9s x %-9s x %-9s\t", FactorName(0), FactorName(1), FactorName(2));
        values(shown_->three, qw, 13, 9, divided);
        endP(ShownThreeP());
    }
    if (k > 3) {
        double other = Shown(k, k);
        for (int i = 0; i < k; i++)
            for (int j = i; j < k; j++) other -= Shown(i, j);
        fprintf(file, "%.78s\n", kSeparator);
        fprintf(file, "%-22s\t%20.*g\n", Tx(pt, "Other interactions", "Outras interacoes"), digits,
                NoNegativeZero(divided ? other * qw : other));
    }
    if (k > 1 && blockFactor_ < 0) {
        fprintf(file, "%.78s\n", kSeparator);
        fprintf(file, "%-22s\t", between);
        if (F && !divided)
            fprintf(file, "%20.*g\t%-12s\t", digits, NoNegativeZero(Shown(k, k)), "-");
        else
            values(Shown(k, k), qw, 20, 12, divided);
        endP(ShownP(k, k));
    }
}

void RandomizationTestManova::PrintGroupMeans(FILE* file, int digits, bool pairsToo) {
    const bool pt = rec_.portuguese == 1;
    const int p = rec_.nVar;
    fputs(Tx(pt, "\nMean vectors of each group:\n", "\nVetores medios de cada grupo:\n"), file);
    for (int f = 0; f < k_; f++) {
        fprintf(file, Tx(pt, "Factor %s:\n", "Fator %s:\n"), FactorName(f));
        const Partition& part = partitions_[f];
        for (int g = 0; g < part.Groups(); g++) {
            fprintf(file, Tx(pt, "Group %d (n=%d):\t", "Grupo %d (n=%d):\t"), part.codes[g], part.size[g]);
            PrintVector(file, p, means_[f][g], digits, 10, 0);
        }
    }
    if (!pairsToo || nMeanPartitions_ <= k_ + 1) return;
    fputs("\n", file);
    int q = k_ + 1;
    for (int i = 0; i < k_; i++)
        for (int j = i + 1; j < k_; j++, q++) {
            fprintf(file, Tx(pt, "Interaction factors %s x %s:\n", "Interacao dos fatores %s x %s:\n"), FactorName(i),
                    FactorName(j));
            const Partition& part = partitions_[q];
            for (int g = 0; g < part.Groups(); g++) {
                fprintf(file, Tx(pt, "Group %d x %d (n=%d):\t", "Grupo %d x %d (n=%d):\t"), part.levelA[g],
                        part.levelB[g], part.size[g]);
                PrintVector(file, p, means_[q][g], digits, 10, 0);
            }
        }
}

void RandomizationTestManova::PrintAlternativeReport(FILE* file, char** unitLabels, int digits, bool block,
                                                     int permutation) {
    if (refused_ || !file) return;
    rec_.report = file;
    const bool pt = rec_.portuguese == 1;
    PrintTitle(file, unitLabels, block, permutation, false);
    if (!(block && permutation > 0)) {
        PrintHeader(file, unitLabels, true);
        switch (statistic_) {
        case 1:
            fputs(Tx(pt, "\n(*) Probabilities P generated for the sum F statistic based on ANOVA Fs for each variable.\n",
                     "\n(*) Probabilidades P geradas para a estatistica soma de F, baseada nos F da ANOVA de cada "
                     "variavel.\n"),
                  file);
            break;
        case 2:
            fputs("\n(*) Probabilities P generated for the LR-IND likelihood ratio for independent variables "
                  "statistic (Eskell & Calvet 2004).\n",
                  file);
            break;
        case 3:
            fputs(Tx(pt,
                     "\n(*) Probabilities P generated for the MRPP statistic (average dissimilaritty, v=1, Sorvin "
                     "& Dosset 2001).\n",
                     "\n(*) Probabilidades P geradas para a estatistica MRPP (dissimilaridade media, v=1, Sorvin "
                     "& Dosset 2001).\n"),
                  file);
            break;
        default:
            fputs(Tx(pt, "\n(*) Probabilities P generated for the ANOSIM statistic (R, Wendle 1993).\n",
                     "\n(*) Probabilidades P geradas para a estatistica ANOSIM (R, Wendle 1993).\n"),
                  file);
        }
        PrintRestrictionNotes(file, false);
    }
    static const char* const names[4] = {"SUM-F", "LR-IND", "MRPP", "ANOSIM R"};
    static const char* const pLabels[4] = {"P(SUM-F_Rnd>=SUM-F):", "P(LR-IND_Rnd>=LR-IND):",
                                           "P(MRPP_Rnd<=MRPP):", "P(R_Rnd>=R):"};
    static const char* const freqLabels[4] = {"Freq(SUM-F_Rnd>=SUM-F):", "Freq(LR-IND_Rnd>=LR-IND):",
                                              "Freq(MRPP_Rnd<=MRPP):", "Freq(R_Rnd>=R):"};
    const int s = statistic_ - 1;
    for (int f = 0; f < k_; f++) {
        fprintf(file, "%.78s\n", kSeparator);
        fprintf(file, Tx(pt, "Factor %s:\n", "Fator %s:\n"), FactorName(f));
        fprintf(file, "%s:\t%g\t%s\t", names[s], NoNegativeZero(shown_->alt[f]), block ? freqLabels[s] : pLabels[s]);
        PrintP(file, ShownP(f, f), pt);
        fputs("\n", file);
    }
    // Contrasts asked for with a statistic that tests none are not passed
    // over in silence.
    if (rec_.doContrasts && maxContrasts_ > 0 && !(block && permutation > 0))
        fprintf(file,
                Tx(pt, "Contrasts were not tested: the %s statistic has no contrast results.\n",
                   "Os contrastes nao foram testados: a estatistica %s nao tem resultados de contrastes.\n"),
                names[s]);
    if (!block && means_) PrintGroupMeans(file, digits, false);
}

// One row of the table of intermediate results: the statistics of the
// arrangement shown, and the list of units without contrasts.
void RandomizationTestManova::PrintManovaIntermResults(FILE* file, int digits, int permutation) {
    if (refused_ || !file || statistic_ != 0) return;
    rec_.report = file;
    const bool pt = rec_.portuguese == 1;
    const int k = k_;
    const bool noBlock = blockFactor_ < 0;
    if (permutation == 0) {
        fprintf(file, "\n%s\n", kSeparator);
        fputs(Tx(pt, "RANDOMIZATION TEST - INTERMEDIATE RESULTS", "TESTE DE ALEATORIZACAO - RESULTADOS INTERMEDIARIOS"),
              file);
        fprintf(file, "\n%s\n", kSeparator);
        for (int f = 0; f < k; f++) fprintf(file, "%s\t", FactorName(f));
        for (int i = 0; i < k; i++)
            for (int j = i + 1; j < k; j++)
                if (i != blockFactor_ && j != blockFactor_) fprintf(file, "%s x %s\t", FactorName(i), FactorName(j));
        if (k == 3 && noBlock) fprintf(file, "%s x %s x %s\t", FactorName(0), FactorName(1), FactorName(2));
        if (k > 1 && noBlock) fputs(Tx(pt, "All factors\t", "Todos os fatores\t"), file);
        if (!rec_.doContrasts) fputs(Tx(pt, "Random permutations", "Permutacoes aleatorias"), file);
        fprintf(file, "\n%s", kSeparator);
    }
    // One line per arrangement, as the heading has one column per statistic.
    fputs("\n", file);
    for (int f = 0; f < k; f++) fprintf(file, "%*g\t", digits, NoNegativeZero(Shown(f, f)));
    for (int i = 0; i < k; i++)
        for (int j = i + 1; j < k; j++)
            if (i != blockFactor_ && j != blockFactor_) fprintf(file, "%20.*g\t", digits, NoNegativeZero(Shown(i, j)));
    if (k == 3 && noBlock) fprintf(file, "%13.*g\t", digits, NoNegativeZero(shown_->three));
    if (k > 1 && noBlock) fprintf(file, "%20.*g\t", digits, NoNegativeZero(Shown(k, k)));
    if (!rec_.doContrasts)
        for (int a = 0; a < n_; a++) PrintUnit(file, "%s\t", nullptr, currentList_[a] - 1);
}
