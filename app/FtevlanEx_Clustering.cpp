// ===========================================================================
// Cluster analysis
// ===========================================================================

#include "FtevlanEx.h"

#include <cmath>
#include <ctime>
#include <string>

#include "FtevlanGlob.h"
#include "samplerM.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlib_M.h"

namespace {

// Label of entity e (from 1); its number when the data set has no labels.
std::string EntityLabel(char** labels, int e) {
    if (labels && labels[e - 1]) return labels[e - 1];
    return std::to_string(e);
}

void FusionDirectory(FILE* f, int n, const clusterReport* records, char** labels, int method) {
    bool sums = method == 3 || method == 6 || method == 7;
    fprintf(f, "%s", eng ? "Fusion directory:\n" : "Agrupamento hierarquico:\n");
    const char* step = eng ? "Step" : "Passo";
    const char* group = eng ? "Objects in group" : "Grupo formado";
    if (method == 3 || method == 7)
        fprintf(f, "%-5s\t%-11s\t%-13s\t%-s\n", step, eng ? "SSwithin" : "SQdentro",
                eng ? "SSbetween" : "SQentre", group);
    else if (method == 6)
        fprintf(f, "%-5s\t%-11s\t%-13s\t%-s\n", step, eng ? "Eigen.II" : "Autov.II",
                eng ? "Eigen.I " : "Autov.I ", group);
    else
        fprintf(f, "%-5s\t%-13s\t%-s\n", step, eng ? "Resemblance" : "Semelhanca", group);
    for (int k = 0; k < n - 1; k++) {
        const clusterReport& r = records[k];
        fprintf(f, "%-5d\t", k + 1);
        fprintf(f, "%-13.*g\t", sDigits, NoNegativeZero(r.level));
        if (sums) fprintf(f, "%-11.*g\t", sDigits, NoNegativeZero(r.criterion));
        // A long group goes on over continuation lines with empty leading fields.
        int counter = 1;
        for (int i = 0; i < r.nMembers; i++) {
            if (4 * counter + 32 > maxColsPrint) {
                if (sums)
                    fprintf(f, "\n%-5s\t%-11s\t%-13s\t", "", "", "");
                else
                    fprintf(f, "\n%-5s\t%-13s\t", "", "");
                counter = 1;
            }
            fprintf(f, "%s ", EntityLabel(labels, r.members[i]).c_str());
            counter++;
        }
        fprintf(f, "\n");
    }
}

void GroupPartitions(FILE* f, int n, clusterReport* records, char** labels, int method) {
    fprintf(f, "%s",
            eng ? "\nGroup partitions at each clustering level (cl):\n"
                : "\nParticoes em grupos em cada nivel de agrupamento (na):\n");
    fprintf(f, "%s", eng ? "Objects:                \t" : "Objetos:                  \t");
    for (int e = 1; e <= n; e++) fprintf(f, "%s\t", EntityLabel(labels, e).c_str());
    ForEachClusterPartition(n, records, method, [&](int k, const int* partition, double level) {
        fprintf(f, eng ? "\n%d groups (cl = %g):    \t" : "\n%d grupos (na = %g):      \t", k, NoNegativeZero(level));
        for (int e = 0; e < n; e++) fprintf(f, "%d\t", partition[e]);
    });
    fprintf(f, "\n");
}

// Method 6: the merged profiles of every fusion on the two axes.
void FactorialProfiles(FILE* f, int n, int p, const clusterReport* records) {
    if (optReseDir == 1) {
        fprintf(f, "%s",
                eng ? "\nScores of variables on the first and second representative unit for each clustering node:\n"
                    : "\nEscores das variaveis na primeira e segunda unidade representativa de cada no do agrupamento:\n");
        fprintf(f, "%s", eng ? "Variables:" : "Variaveis:");
        for (int j = 1; j <= nVar; j++) fprintf(f, "\t%s", EntityLabel(varLabels, j).c_str());
    } else {
        fprintf(f, "%s",
                eng ? "\nScores of units on the first and second representative variable for each clustering node:\n"
                    : "\nEscores das unidades na primeira e segunda variavel representativa de cada no do agrupamento:\n");
        fprintf(f, "%s", eng ? "Units:" : "Unidades:");
        for (int i = 1; i <= nObj; i++) fprintf(f, "\t%s", EntityLabel(uaLabels, i).c_str());
    }
    for (int k = 0; k < n - 1; k++) {
        fprintf(f, eng ? "\nStep %d, Eig.I:" : "\nPasso %d, Autov.I:", k + 1);
        for (int t = 0; t < p; t++) fprintf(f, "\t%g", NoNegativeZero(records[k].scoresAxis1[t]));
        fprintf(f, eng ? "\nStep %d, Eig.II:" : "\nPasso %d, Autov.II:", k + 1);
        for (int t = 0; t < p; t++) fprintf(f, "\t%g", NoNegativeZero(records[k].scoresAxis2[t]));
        fprintf(f, "\n");
    }
    fprintf(f, "\n");
}

// Whether every value of the matrix is a number that can be clustered: not
// -999 (an undefined turnover or nestedness) and not infinite.
bool Clusterable(int n, double** matrix) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            if (matrix[i][j] == MISSING || !std::isfinite(matrix[i][j])) return false;
    return true;
}

// The data matrix with the clustered entities as rows, a copy in any case.
double** FactorialData() {
    double** t = dim2DT<double>(nRows, nCols);
    if (optReseDir == 1)
        CopyMatrix(nObj, nVar, data, t);
    else
        TransposeMatrix(nObj, nVar, data, t);
    return t;
}

}  // namespace

void Cluster() {
    ShowStatus(out);
    fprintf(out, "%s", eng ? "Clustering method: \n" : "Metodo de agrupamento: \n");
    for (int k = 1; k <= 7; k++) fprintf(out, "\t%s\n", MenuText(clusMethInfo, k));
    fprintf(out, "\t(99)%s\n", returnMain);
    fprintf(out, "\t\t%s: ", enterOpt);
    fflush(out);
    // Method 6 needs the pairwise second eigenvalues of measure 21.
    clusMeth = static_cast<int>(
        ScanNumber(in, "teclado", optReseTipo == 21 ? "1 2 3 4 5 6 7 99" : "1 2 3 4 5 7 99"));
    if (clusMeth == 99) return;
    // Clustered as numbers, undefined values would fuse first at level -999.
    // The factorial method clusters the data rows, not the matrix.
    if (clusMeth != 6 && !Clusterable(nRows, rese)) {
        fprintf(out, "%s",
                eng ? "\nThe resemblance matrix holds undefined values (-999, such as the turnover or nestedness of "
                      "sampling units without any presence) or values too large to represent: it cannot be clustered.\n"
                    : "\nA matriz de semelhanca contem valores indefinidos (-999, como a substituicao ou o aninhamento de "
                      "unidades amostrais sem nenhuma presenca) ou valores grandes demais para representar: ela nao pode "
                      "ser agrupada.\n");
        fputc(7, out);
        return;
    }

    int n = nRows;
    bool isDissimilarity = !IsSimilarityMeasure(optReseTipo);
    char** labels = optReseDir == 1 ? uaLabels : varLabels;

    // The work arrays go on every way out, the end of the input (error code
    // 2, thrown from a question below) included.
    double** work = nullptr;
    int** adjacency = nullptr;
    clusterReport* records = nullptr;
    struct Release {
        double**& work;
        int**& adjacency;
        clusterReport*& records;
        int n;
        ~Release() {
            if (records) FreeClusterReports(records, n);
            if (work) free2DT(work, n);
            if (adjacency) free2DT(adjacency, n);
            if (dataT) {
                free2DT(dataT, nRows);
                dataT = nullptr;
            }
        }
    } release{work, adjacency, records, n};

    // The current resemblance matrix is never changed: the methods work on a copy.
    work = dim2DT<double>(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) work[i][j] = rese[i][j];

    int correlTransf = -1;
    if (optReseTipo == 17 && optReseDir == 2 && clusMeth != 6) {
        fprintf(out, "%s",
                eng ? "Transformation of correlations:\n\t(0)without transformation\n\t(1)absolute value\n\t(2)squared\n"
                    : "Transformacao das correlacoes:\n\t(0)sem transformacao\n\t(1)valor absoluto\n\t(2)ao quadrado\n");
        fprintf(out, "\t\t%s: ", enterOpt);
        fflush(out);
        correlTransf = static_cast<int>(ScanNumber(in, "teclado", "0 1 2"));
        if (correlTransf == 1) {
            for (int i = 0; i < n; i++)
                for (int j = 0; j < n; j++) work[i][j] = std::fabs(work[i][j]);
        } else if (correlTransf == 2) {
            SquareSqMatrix(n, work, work);
        }
    }

    if (clusMeth == 7) {
        fprintf(out, "%s",
                eng ? "Sampling unit topology:\n\t(1)sampling unit order in the data indicate spatial or temporal topology\n"
                      "\t(2)wish to specify another topology [not yet implemented]\n"
                    : "Topologia das unidades amostrais:\n\t(1)a ordem das unidades amostrais nos dados indica a topologia espacial ou temporal\n"
                      "\t(2)deseja especificar outra topologia [ainda nao implementado]\n");
        fprintf(out, "\t\t%s: ", enterOpt);
        fflush(out);
        ScanNumber(in, "teclado", "1 2");
        // Either answer: each entity is adjacent to the next one in data order.
        adjacency = dim2DT<int>(n, n);
        for (int i = 0; i + 1 < n; i++) adjacency[i][i + 1] = 1;
    }

    // The sum-of-squares methods work on squared distances: from similarities
    // through the diagonal, from mutual information through a centred product.
    bool squared = false;
    if (clusMeth == 3 || clusMeth == 7) {
        if (!isDissimilarity) {
            ProdToSqDist(n, work, work);
            squared = true;
        } else if (optReseTipo == 4) {
            DissToCenterProdMatrix(n, work, work, false);
            ProdToSqDist(n, work, work);
            squared = true;
        }
    }

    records = NewClusterReports(n, nCols, clusMeth == 6);
    switch (clusMeth) {
        case 3:
            SumSqCluster(n, work, records, squared);
            break;
        case 7:
            SumSqClusterRestrained(n, work, adjacency, records, squared);
            break;
        case 6:
            dataT = FactorialData();
            HierFactorialClustering(nRows, nCols, dataT, records);
            break;
        default:
            LinkageCluster(n, work, records, isDissimilarity, false, clusMeth, true);
    }

    std::string newick;
    if (clusMeth != 6) NewickFormat(n, records, labels, true, newick);

    FILE* f = fopenck("Vidive.txt", nullptr, modeVidive);
    if (f) {
        fprintf(f, "\n%s\n", line);
        fprintf(f, "%s", eng ? "CLUSTER ANALYSIS" : "ANALISE DE AGRUPAMENTOS");
        fprintf(f, "\n%s\n", line);
        time(&timer);
        fprintf(f, "%s", ctime(&timer));
        ShowStatus(f);
        fprintf(f, eng ? "Clustering criterion: %s\n" : "Criterio de agrupamento: %s\n",
                MenuText(clusMethInfo, clusMeth));
        if (correlTransf >= 0)
            fprintf(f, eng ? "Correlation transformation: %s\n" : "Transformacao das correlacoes: %s\n",
                    MenuText(optTransfCorrelInfo, correlTransf));
        FusionDirectory(f, n, records, labels, clusMeth);
        fprintf(f, "%s", eng ? "\n\nDendrogram in Newick format:\n" : "\n\nDendrograma no formato Newick:\n");
        fprintf(f, "%s;\n", newick.c_str());
        GroupPartitions(f, n, records, labels, clusMeth);
        if (clusMeth == 6) FactorialProfiles(f, n, nCols, records);
    }
    bool written = fcloseck(f, "Vidive.txt");
    FILE* tree = fopenck("newick.txt", nullptr, "w");
    if (tree) fprintf(tree, "%s;\n", newick.c_str());
    written = fcloseck(tree, "newick.txt") && written;

    if (optReseDir == 1 && clusMeth != 7) {
        fprintf(out, "%s",
                eng ? "\nEvaluate group partition sharpness using bootstrap resampling? y/n "
                    : "\nAvaliar a nitidez das particoes em grupos via reamostragem bootstrap? s/n ");
        fflush(out);
        int answer = eng ? ScanChar(in, "y n", "keyboard") : ScanChar(in, "s n", "teclado");
        if (answer != 'n') written = SamplerGroups(n, rese, isDissimilarity, records) && written;
    }

    ClearLine();
    if (written)
        fprintf(out, "%s", eng ? "\nSee results on file Vidive.txt.\n" : "\nVeja resultados no arquivo Vidive.txt.\n");
}
