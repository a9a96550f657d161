// ===========================================================================
// Cluster analysis
// ===========================================================================

#include "FtevlanEx.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <omp.h>

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

// The report's largest parts (the partitions at every level hold n x n
// numbers) go through a buffer: written number by number with fprintf, they
// took several times as long as the clustering itself.
void FusionDirectory(BufferedText& t, int n, const clusterReport* records, char** labels, int method) {
    bool sums = method == 3 || method == 6 || method == 7;
    t.Text(eng ? "Fusion directory:\n" : "Agrupamento hierarquico:\n");
    const char* step = eng ? "Step" : "Passo";
    const char* group = eng ? "Objects in group" : "Grupo formado";
    t.Text(step, -5).Char('\t');
    if (method == 3 || method == 7)
        t.Text(eng ? "SSwithin" : "SQdentro", -11).Char('\t').Text(eng ? "SSbetween" : "SQentre", -13);
    else if (method == 6)
        t.Text(eng ? "Eigen.II" : "Autov.II", -11).Char('\t').Text(eng ? "Eigen.I " : "Autov.I ", -13);
    else
        t.Text(eng ? "Resemblance" : "Semelhanca", -13);
    t.Char('\t').Text(group).Char('\n');
    // Each label with its blank, made once: a chained dendrogram lists about
    // n x n / 2 of them.
    std::vector<std::string> named(n + 1);
    for (int e = 1; e <= n; e++) named[e] = EntityLabel(labels, e) + ' ';
    for (int k = 0; k < n - 1; k++) {
        const clusterReport& r = records[k];
        t.Int(k + 1, -5).Char('\t');
        t.General(NoNegativeZero(r.level), sDigits, -13).Char('\t');
        if (sums) t.General(NoNegativeZero(r.criterion), sDigits, -11).Char('\t');
        // A long group goes on over continuation lines with empty leading fields.
        int counter = 1;
        for (int i = 0; i < r.nMembers; i++) {
            if (4 * counter + 32 > maxColsPrint) {
                t.Char('\n').Text("", -5).Char('\t');
                if (sums) t.Text("", -11).Char('\t');
                t.Text("", -13).Char('\t');
                counter = 1;
            }
            t.Text(named[r.members[i]]);
            counter++;
        }
        t.Char('\n');
    }
}

void GroupPartitions(BufferedText& t, int n, clusterReport* records, char** labels, int method) {
    t.Text(eng ? "\nGroup partitions at each clustering level (cl):\n"
               : "\nParticoes em grupos em cada nivel de agrupamento (na):\n");
    t.Text(eng ? "Objects:                \t" : "Objetos:                  \t");
    for (int e = 1; e <= n; e++) t.Text(EntityLabel(labels, e)).Char('\t');
    // The n x n group numbers are copied from their texts ("%d\t"), made
    // once, eight bytes at a time: the partitions are most of the report.
    struct Number {
        char text[kNumberRoom];
        size_t length;
    };
    const bool fits = n < 10000000;  // seven digits and the tab
    std::vector<Number> numbers(fits ? n + 1 : 0);
    for (int g = 1; fits && g <= n; g++) {
        char* end = FormatInt(numbers[g].text, g);
        *end = '\t';
        numbers[g].length = static_cast<size_t>(end + 1 - numbers[g].text);
    }
    constexpr int kPiece = static_cast<int>(BufferedText::kCapacity / 8);
    ForEachClusterPartition(n, records, method, [&](int k, const int* partition, double level) {
        t.Char('\n').Int(k).Text(eng ? " groups (cl = " : " grupos (na = ").General(NoNegativeZero(level));
        t.Text(eng ? "):    \t" : "):      \t");
        if (!fits) {
            for (int e = 0; e < n; e++) t.Int(partition[e]).Char('\t');
            return;
        }
        for (int first = 0; first < n; first += kPiece)
            t.InPlace(8 * static_cast<size_t>(std::min(kPiece, n - first)), [&](char* p) {
                for (int e = first; e < n && e < first + kPiece; e++) {
                    const Number& g = numbers[partition[e]];
                    memcpy(p, g.text, 8);
                    p += g.length;
                }
                return p;
            });
    });
    t.Char('\n');
}

// Method 6: the merged profiles of every fusion on the two axes.
void FactorialProfiles(BufferedText& t, int n, int p, const clusterReport* records) {
    if (optReseDir == 1) {
        t.Text(eng ? "\nScores of variables on the first and second representative unit for each clustering node:\n"
                   : "\nEscores das variaveis na primeira e segunda unidade representativa de cada no do agrupamento:\n");
        t.Text(eng ? "Variables:" : "Variaveis:");
        for (int j = 1; j <= nVar; j++) t.Char('\t').Text(EntityLabel(varLabels, j));
    } else {
        t.Text(eng ? "\nScores of units on the first and second representative variable for each clustering node:\n"
                   : "\nEscores das unidades na primeira e segunda variavel representativa de cada no do agrupamento:\n");
        t.Text(eng ? "Units:" : "Unidades:");
        for (int i = 1; i <= nObj; i++) t.Char('\t').Text(EntityLabel(uaLabels, i));
    }
    for (int k = 0; k < n - 1; k++) {
        t.Text(eng ? "\nStep " : "\nPasso ").Int(k + 1).Text(eng ? ", Eig.I:" : ", Autov.I:");
        for (int j = 0; j < p; j++) t.Char('\t').General(NoNegativeZero(records[k].scoresAxis1[j]));
        t.Text(eng ? "\nStep " : "\nPasso ").Int(k + 1).Text(eng ? ", Eig.II:" : ", Autov.II:");
        for (int j = 0; j < p; j++) t.Char('\t').General(NoNegativeZero(records[k].scoresAxis2[j]));
        t.Char('\n');
    }
    t.Char('\n');
}

// Whether every value of the matrix is a number that can be clustered: not
// -999 (an undefined turnover or nestedness) and not infinite.
bool Clusterable(int n, double** matrix) {
    // Every resemblance matrix is symmetric (each way of making one mirrors
    // it): the upper triangle with the diagonal holds all its values. The
    // team reads it: on one thread a large matrix takes a tenth of the
    // time of its clustering.
    bool clusterable = true;
#pragma omp parallel for schedule(dynamic, 16) reduction(&& : clusterable) if (n > 500)
    for (int i = 0; i < n; i++)
        for (int j = i; j < n && clusterable; j++)
            if (matrix[i][j] == MISSING || !std::isfinite(matrix[i][j])) clusterable = false;
    return clusterable;
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
    // A working copy of the matrix, the members of each fusion, and what
    // the method adds: the adjacency of the units, or the data table with
    // each fusion's profiles.
    const double method = clusMeth == 7 ? 4.0 : 0.0, table = clusMeth == 6 ? 24.0 * nCols : 0.0;
    if (!WorkFits(eng == 1, n, [=](double m) { return SquareBytes(m) + (4.0 + method) * m * m + table * m; },
                  "the cluster analysis", "a analise de agrupamentos",
                  optReseDir == 1 ? "sampling units" : "variables", optReseDir == 1 ? "unidades amostrais" : "variaveis"))
        return;
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

    int correlTransf = -1;
    if (optReseTipo == 17 && optReseDir == 2 && clusMeth != 6) {
        fprintf(out, "%s",
                eng ? "Transformation of correlations:\n\t(0)without transformation\n\t(1)absolute value\n\t(2)squared\n"
                    : "Transformacao das correlacoes:\n\t(0)sem transformacao\n\t(1)valor absoluto\n\t(2)ao quadrado\n");
        fprintf(out, "\t\t%s: ", enterOpt);
        fflush(out);
        correlTransf = static_cast<int>(ScanNumber(in, "teclado", "0 1 2"));
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

    // The current resemblance matrix is never changed: a transformation
    // works on a copy, which the linkage methods then rewrite; otherwise the
    // methods copy what they rewrite themselves (a copy of a large matrix
    // costs a good part of the clustering).
    // The sum-of-squares methods work on squared distances: from similarities
    // through the diagonal, from mutual information through a centred product.
    const bool toSquared = (clusMeth == 3 || clusMeth == 7) && (!isDissimilarity || optReseTipo == 4);
    double** matrix = rese;
    if (correlTransf == 1 || correlTransf == 2 || toSquared) {
        work = dim2DT<double>(n, n);
        CopyMatrix(n, n, rese, work);
        matrix = work;
    }
    if (correlTransf == 1) {
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) work[i][j] = std::fabs(work[i][j]);
    } else if (correlTransf == 2) {
        SquareSqMatrix(n, work, work);
    }
    if (toSquared) {
        if (isDissimilarity) DissToCenterProdMatrix(n, work, work, false);
        ProdToSqDist(n, work, work);
    }

    records = NewClusterReports(n, nCols, clusMeth == 6);
    switch (clusMeth) {
        case 3:
            SumSqCluster(n, matrix, records, toSquared);
            break;
        case 7:
            SumSqClusterRestrained(n, matrix, adjacency, records, toSquared);
            break;
        case 6:
            dataT = FactorialData();
            HierFactorialClustering(nRows, nCols, dataT, records);
            break;
        default:
            LinkageCluster(n, matrix, records, isDissimilarity, false, clusMeth, matrix == rese);
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
        // A second thread writes each megabyte of the text while the next
        // is made: both take about as long.
#pragma omp parallel num_threads(2) if (n > 200 && omp_get_max_threads() > 1)
#pragma omp single
        {
            BufferedText t(f);
            FusionDirectory(t, n, records, labels, clusMeth);
            t.Text(eng ? "\n\nDendrogram in Newick format:\n" : "\n\nDendrograma no formato Newick:\n");
            t.Text(newick).Text(";\n");
            GroupPartitions(t, n, records, labels, clusMeth);
            if (clusMeth == 6) FactorialProfiles(t, n, nCols, records);
        }
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
