// ===========================================================================
// Descriptive attributes
// ===========================================================================

#include "FtevlanEx.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <vector>

#include "FtevlanGlob.h"
#include "samplerM.h"
#include "rhComplexity.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

namespace descriptive_detail {

// Nats to bits.
constexpr double kNatsPerBit = 0.6931471805599453;

const char* Text(const char* english, const char* portuguese) { return eng ? english : portuguese; }

// "title" and the labels, then "title" and the values, one line each.
void LabelledValues(FILE* f, const char* labelsTitle, int n, char** labels, const char* valuesTitle,
                    const double* values) {
    fprintf(f, "%s", labelsTitle);
    PrintStringVectorTab(f, n, labels);
    fprintf(f, "%s", valuesTitle);
    PrintVectorTab(f, n, values, sDigits);
}

// Skewness m3 / m2^1.5 of k values. Values without spread have none (0),
// also when rounding leaves their central moments a hair away from 0.
double Skewness(int k, const double* x) {
    const auto range = std::minmax_element(x, x + k);
    if (*range.first == *range.second) return 0.0;
    return Moment(k, x, 3) / std::pow(Moment(k, x, 2), 1.5);
}

// Option 1. byVariable: the data with one row per variable.
void MeansBlock(FILE* f, double** byVariable) {
    std::vector<double> mean(nVar), sd(nVar), skew(nVar), redundancy(nVar), present(nObj);
    for (int j = 0; j < nVar; j++) {
        const int type = EffectiveVarType(j);
        if (type != 1 && type != 3) {
            mean[j] = sd[j] = HUGE_VAL;
            skew[j] = 0.0;
            continue;
        }
        // Missing values take no part; a statistic without the values it
        // needs is missing itself.
        int k = 0;
        for (int i = 0; i < nObj; i++)
            if (byVariable[j][i] != MISSING) present[k++] = byVariable[j][i];
        if (k == 0) {
            mean[j] = sd[j] = skew[j] = MISSING;
            continue;
        }
        // Values so large that their squares or cubes overflow (from about
        // 1e102) are taken in units of a power of two, which scales every
        // statistic exactly: the deviation and skewness of finite data stay
        // finite instead of becoming "inf" and "-nan".
        double largest = 0.0;
        for (int i = 0; i < k; i++) largest = std::max(largest, std::fabs(present[i]));
        int e = 0;
        if (largest > 0x1p300) {
            std::frexp(largest, &e);
            for (int i = 0; i < k; i++) present[i] = std::ldexp(present[i], -e);
        }
        MeanStDev(k, present.data(), mean[j], sd[j]);
        mean[j] = std::ldexp(mean[j], e);
        sd[j] = k < 2 ? MISSING : std::ldexp(sd[j], e);
        skew[j] = Skewness(k, present.data());
    }
    int kept = 0;
    Communality(nVar, nObj, byVariable, redundancy.data(), &kept);

    fprintf(f, "%s", Text("\nMean and standard deviation of variables:\n", "\nMedia e desvio padrao das variaveis:\n"));
    LabelledValues(f, Text("Variable:     \t", "Variavel:     \t"), nVar, varLabels,
                   Text("Mean:         \t", "Media:        \t"), mean.data());
    fprintf(f, "%s", Text("Standard dev.: \t", "Desvio padrao: \t"));
    PrintVectorTab(f, nVar, sd.data(), sDigits);
    fprintf(f, "%s",
            Text("Skewness in the frequency distribution of each variable: \t",
                 "Assimetria na distribuicao de frequencias de cada variavel: \t"));
    PrintVectorTab(f, nVar, skew.data(), sDigits);
    fprintf(f,
            Text("\nRedundancy (Velnik 1975) of %d variables, the level of relative redundancy (co-variation) of each "
                 "variable with respect to the other variables (-999 indicates computation was not possible):\n",
                 "\nRedundancia (Velnik 1975) de %d variaveis, o nivel de redundancia relativa (co-variacao) de cada "
                 "variavel em relacao as outras variaveis (-999 indica que o calculo nao foi possivel):\n"),
            kept);
    LabelledValues(f, Text("Variable:    \t", "Variavel:    \t"), nVar, varLabels,
                   Text("Redundancy: \t", "Redundancia: \t"), redundancy.data());
}

// Option 2. byVariable: the data with one row per variable.
void EntropyBlock(FILE* f, double** byVariable) {
    fprintf(f,
            Text("\nFrequency table an Renyi general entropy of order %g (nats) in each variable:\n",
                 "\nTabela de frequencias e entropia geral de Renyi de ordem %g (nats) em cada variavel:\n"),
            alphaEntropy);
    std::vector<double> entropy(nVar), frequency(nObj);
    std::vector<int> states(nObj);
    for (int j = 0; j < nVar; j++) {
        const int type = EffectiveVarType(j);
        if (type != 1 && type != 2) {
            entropy[j] = HUGE_VAL;
            continue;
        }
        int count = 0;
        ContingencyVector(nObj, byVariable[j], frequency.data(), &count, states.data());
        fprintf(f, Text("Variable %s:\n", "Variavel %s:\n"), varLabels[j]);
        fprintf(f, "%s", Text("States:    \t", "Estados:   \t"));
        for (int s = 0; s < count; s++) fprintf(f, "%d\t", states[s]);
        fprintf(f, "\n%s", Text("Frequency: \t", "Frequencia:\t"));
        PrintVectorTab(f, count, frequency.data(), sDigits);
        // A variable without a single value has no entropy.
        entropy[j] = count > 0 ? EntropyVector(count, frequency.data(), alphaEntropy) : MISSING;
    }
    fprintf(f,
            Text("\nRenyi general entropy of order %g (nats) in variables:\n",
                 "\nEntropia geral de Renyi de ordem %g (nats) nas variaveis:\n"),
            alphaEntropy);
    LabelledValues(f, Text("Variables:\t", "Variaveis:\t"), nVar, varLabels, Text("Entropy:  \t", "Entropia: \t"),
                   entropy.data());
}

void TableMatrixLine(FILE* f) {
    fprintf(f,
            Text("\t(Rows= %d sampling units, columns= %d variables):\n",
                 "\t(Linhas= %d unidades amostrais, colunas= %d variaveis):\n"),
            nObj, nVar);
}

// The totals of one margin, and the line of its entropy.
void Margin(FILE* f, const char* title, int n, const double* totals, const char* entropyLine, double entropy) {
    fprintf(f, "%s", title);
    PrintVectorTab(f, n, totals, sDigits);
    fprintf(f, entropyLine, alphaEntropy, sDigits, entropy);
}

// Option 3: the data as a contingency table, units in rows.
void ContingencyBlock(FILE* f) {
    const double alpha = alphaEntropy;
    if (optPrintData == 'n') {
        fprintf(f, "%s", Text("Data matrix:\n", "Matriz de dados:\n"));
        fprintf(f,
                Text("\t(Rows= %d sampling units, columns= %d variables)\n",
                     "\t(Linhas= %d unidades amostrais, colunas= %d variaveis)\n"),
                nObj, nVar);
        PrintMatrixFloat(f, nObj, nVar, data, sDigits, 0);
    }
    fprintf(f,
            Text("\nAssuming data matrix %s is a CONTINGENCY TABLE:\n",
                 "\nAssumindo que a matriz de dados %s e uma TABELA DE CONTINGENCIA:\n"),
            filename);
    std::vector<double> rows(nObj), cols(nVar);
    RowTotalsMV(nObj, nVar, data, rows.data());
    ColTotalsMV(nObj, nVar, data, cols.data());
    Margin(f, Text("Row totals:\n", "Totais das linhas:\n"), nObj, rows.data(),
           Text("Renyi entropy order %g (nats) with marginal totals of rows: \t%.*g\n",
                "Entropia de Renyi ordem %g (nats) com os totais marginais das linhas: \t%.*g\n"),
           EntropyRows(nObj, nVar, data, alpha));
    Margin(f, Text("\nColumn totals:\n", "\nTotais das colunas:\n"), nVar, cols.data(),
           Text("Renyi entropy order %g (nats) with marginal totals of columns: \t%.*g\n",
                "Entropia de Renyi ordem %g (nats) com os totais marginais das colunas: \t%.*g\n"),
           EntropyCols(nObj, nVar, data, alpha));
    fprintf(f,
            Text("Renyi mutual entropy order %g (nats): \t%.*g\n", "Entropia mutua de Renyi ordem %g (nats): \t%.*g\n"),
            alpha, sDigits, MutualEntropyMV(nObj, nVar, data, alpha));
    fprintf(
        f,
        Text("Coherence coefficient (Renyi order %g): \t%.*g\n", "Coeficiente de coerencia (Renyi ordem %g): \t%.*g\n"),
        alpha, sDigits, CoheCoefMV(nObj, nVar, data, alpha));

    // Each unit's entropy with the code length of each cell, and its Huffman
    // code; the two code-length matrices are made once, zero-filled, so that
    // cells without a code show 0.
    std::vector<double> H(nObj), L(nObj);
    double** shannon = dim2DT<double>(nObj, nVar);
    unsigned long** huffman = dim2DT<unsigned long>(nObj, nVar);
    for (int i = 0; i < nObj; i++) {
        H[i] = EntropyVectorCodeLength(nVar, data[i], alpha, shannon[i]);
        L[i] = ComplexityVectorHuffCode(nVar, data[i], huffman[i]);
    }
    fprintf(f,
            Text("\nRenyi entropy of order %g in sampling units (nats):\n",
                 "\nEntropia de Renyi de ordem %g nas unidades amostrais (nats):\n"),
            alpha);
    LabelledValues(f, Text("Sampling units:    \t", "Unidades amostrais:\t"), nObj, uaLabels,
                   Text("Entropy (nats):    \t", "Entropia (nats):   \t"), H.data());
    for (double& h : H) h /= kNatsPerBit;
    fprintf(f,
            Text("\nRenyi entropy (H) of order %g in sampling units (bits):\n",
                 "\nEntropia de Renyi (H) de ordem %g nas unidades amostrais (bits):\n"),
            alpha);
    LabelledValues(f, Text("Sampling units:    \t", "Unidades amostrais:\t"), nObj, uaLabels,
                   Text("Entropy (bits):    \t", "Entropia (bits):   \t"), H.data());
    fprintf(f, "%s",
            Text("\nKolmogorov complexity (Velmar & Velnik 1996) in sampling units:\n",
                 "\nComplexidade de Kolmogorov (Velmar & Velnik 1996) nas unidades amostrais:\n"));
    LabelledValues(f, Text("Sampling units:     \t       \t", "Unidades amostrais: \t       \t"), nObj, uaLabels,
                   Text("Total complexity (L):       \t", "Complexidade total (L):      \t"), L.data());
    if (std::fabs(alpha - 1.0) < 0.0001) {
        std::vector<double> structural(nObj);
        for (int i = 0; i < nObj; i++) structural[i] = L[i] - H[i];
        fprintf(f, "%s", Text("Structural complexity (L-H):\t", "Complexidade estrutural (L-H):\t"));
        PrintVectorTab(f, nObj, structural.data(), sDigits);
    } else {
        fprintf(f, "%s",
                Text("Structural complexity (L-H) computed only for Renyi entropy of order alpha limit 1 (Shannon "
                     "entropy):\n",
                     "Complexidade estrutural (L-H) calculada somente para entropia de Renyi de ordem alfa limite 1 "
                     "(entropia de Shannon):\n"));
    }
    fprintf(f, "%s",
            Text("\n\nHuffmann code lengths (integer bits)", "\n\nComprimentos do codigo de Huffmann (bits inteiros)"));
    TableMatrixLine(f);
    PrintMatrixTab(f, nObj, nVar, huffman);
    if (alpha == 1.0) {
        for (int i = 0; i < nObj; i++)
            for (int j = 0; j < nVar; j++) shannon[i][j] /= kNatsPerBit;
        fprintf(f, "%s",
                Text("\n\nShannon's code lengths (fractionary bits)",
                     "\n\nComprimentos do codigo de Shannon (bits fracionarios)"));
        TableMatrixLine(f);
        PrintMatrixTab(f, nObj, nVar, shannon, sDigits);
    }
    free2DT(huffman, nObj);
    free2DT(shannon, nObj);
}

// Option 4 asks whole table or groups; the factor (from 0) whose groups are
// compared, or -1 for the whole table; -2 when no groups could be had.
int AskBetaGroups() {
    fprintf(
        out, "%s",
        Text("Compute multi-site beta diversity for the whole data matrix (w) or within specified groups (g)? (w/g) ",
             "Calcular a diversidade beta entre multiplos locais para toda a matriz de dados (w) ou dentro de grupos "
             "especificados (g)? (w/g) "));
    fflush(out);
    if (ScanChar(in, "w g", Keyboard()) == 'w') return -1;
    SetGroups();
    if (temGrupo != 1 || !grMemb || !factorLabel || nFactors < 1) return -2;
    if (nFactors == 1) return 0;
    fprintf(out, "%s",
            Text("\nSpecify the factor defining unit group membership: ",
                 "\nEspecifique o fator que define os grupos de unidades amostrais: "));
    for (int k = 0; k < nFactors; k++) fprintf(out, "%d.%s ", k + 1, factorLabel[k]);
    fprintf(out, "): \t");
    fflush(out);
    return static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, nFactors)) - 1;
}

// Option 4: betaSOR of the whole table, or of each group of the factor.
void BetaBlock(FILE* f, int factor) {
    if (factor < 0) {
        fprintf(f,
                Text("\nBeta diversity (betaSOR, sensu Quenby 2010) para toda a tabela de dados:\t%g\n",
                     "\nDiversidade beta (sensu Quenby 2010) for the whole table:\t%g\n"),
                BetaSOR(nObj, nVar, data, nullptr, nullptr));
        return;
    }
    int count = 0;
    std::vector<int> labels(nObj);
    CountGroupsNew(nObj, grMemb[factor], count, labels.data());
    std::vector<double> beta(count);
    BetaSOR(nObj, nVar, data, grMemb[factor], beta.data());
    fprintf(f, "%s",
            Text("\nBeta diversity (betaSOR, sensu Quenby 2010) para cada grupo especificado:\n",
                 "\nDiversidade beta (sensu Quenby 2010) for each specified group:\n"));
    fprintf(f, "%s", Text("\nGroups:\t", "\nGrupos:\t"));
    PrintVectorTab(f, count, labels.data());
    fprintf(f, "%s", "\nBetaSOR:\t");
    PrintVectorTab(f, count, beta.data(), sDigits);
}

}  // namespace descriptive_detail

int DescriptiveAttributes() {
    using namespace descriptive_detail;
    ShowStatus(out);
    fprintf(out, "%s\n", line);
    fprintf(out, "%s", Text("DESCRIPTIVE ATTRIBUTES\n", "ATRIBUTOS DESCRITIVOS\n"));
    fprintf(out, "%s", Text("Options:\n", "Opcoes:\n"));
    const int option = ShowMenu(1, 5, appliesDescriptiveAttr, dataType - 1, optDescrAttrInfo, nullptr);
    if (option < 1 || option > 4) return 0;
    optDescrAttr = option;
    if (option == 2 || option == 3) {
        fprintf(
            out, "%s",
            Text("Alpha value for Renyi entropy functions: ", "Valor de alfa para as funcoes de entropia de Renyi: "));
        fflush(out);
        alphaEntropy = ScanNumber(in, Keyboard(), "-", 0, 20);
    }
    const int factor = option == 4 ? AskBetaGroups() : -1;
    if (factor == -2) return 0;

    FILE* report = fopenck("Vidive.txt", nullptr, modeVidive);
    if (!report) return 0;
    if (strcmp(modeVidive, "w") == 0) fprintf(report, Text("TEVLAN version %s", "TEVLAN versao %s"), versao);
    fprintf(report, "\n\n%s\n", line);
    fprintf(report, "%s", Text("DESCRIPTIVE ATTRIBUTES\n", "ATRIBUTOS DESCRITIVOS\n"));
    fprintf(report, "%s\n", line);
    timer = time(nullptr);
    fprintf(report, "%s", ctime(&timer));
    ShowStatus(report);
    if (option == 1 || option == 2) {
        // The variables as rows: one contiguous vector each.
        double** byVariable = dim2DT<double>(nVar, nObj);
        TransposeMatrix(nObj, nVar, data, byVariable);
        if (option == 1)
            MeansBlock(report, byVariable);
        else
            EntropyBlock(report, byVariable);
        free2DT(byVariable, nVar);
    } else if (option == 3) {
        ContingencyBlock(report);
    } else {
        BetaBlock(report, factor);
    }
    if (!fcloseck(report, "Vidive.txt")) return 0;

    bool written = true;
    if ((option == 1 || option == 2) &&
        AskYes("\nGet confidence limits using bootstrap resampling? y/n ",
               "\nObter limites de confianca atraves de autoreamostragem (bootstrap)? s/n "))
        written = option == 1 ? SamplerMeans(nObj, nVar, data) : SamplerEntropy(nObj, nVar, data);
    if (written)
        fprintf(out, "%s", Text("\nSee results on file Vidive.txt.\n", "\nVeja resultados no arquivo Vidive.txt.\n"));
    return 1;
}
