#include "FtevlanGlob.h"

FILE* out = stdout;
FILE* in = stdin;

int port = 0;
int eng = 1;
const char* versao = "3.85b";
const char* line = "-------------------------------------------------------------------------------";
int sDigits = 5;
int nMaxDim = 6;
int nProcessors = 0;
double scatterHSize = 0, scatterVSize = 0, treeHSize = 0, treeVSize = 0;

char modeVidive[8] = "w";
time_t timer = 0;
int optMain = 0;

const char* versaoTrack = "16/May/2007";
const char* versionPref = "06Apr2012";
const char* sessionExt = ".trk";
unsigned long seed = 0;

char filename[100];
char sessionName[100] = "Sessao";
char sessionFilename[108] = "Sessao.trk";
char format = 'N';
int nObj = 0, nVar = 0, nRows = 0, nCols = 0;
int optVarTipo = 0;
int optLabel = 0;
int temQuant = 0, temQual = 0, temBin = 0;
int* varType = nullptr;
double** dataOrig = nullptr;
double** data = nullptr;
char** uaLabels = nullptr;
char** varLabels = nullptr;
double** dataT = nullptr;

int optTrEs = 0, optTrVeVar = 0, optTrVeUnits = 0;
int nClassesVar = 0, nClassesUnits = 0;
int optTrGroupFactor = 1;
int dataType = 0;
int isStandardized = 0, hasNegative = 0;
int stepReached = 0;
int optReseDir = 0, optReseTipo = 0, optPostReseTransf = 0;
int countDoubleAbsence = 0;
double alphaH = 0;
double kParameter = 0;
double alphaEntropy = 0;
int optDescrAttr = 0;
int BealsTypeOpt = 1;
bool BealsIncludeOpt = true, BealsNormalizeOpt = false, BealsTestOpt = false;
TransformationDoubts transformationDoubts;
int optOrdiType = 0;
int rank = 0;
int clusMeth = 0;
int optCompara = 0;
int optPrintData = 0;

double** rese = nullptr;
double* eig = nullptr;
double** evectors = nullptr;
double** escores = nullptr;
int temDados = 0, temRese = 0, temEscore = 0, temGrupo = 0;
int savedSession = 0;

int nFactors = 0, nesting = 0;
int* nestedFactor = nullptr;
int* nGroups = nullptr;
int** grLabel = nullptr;
int** grMemb = nullptr;
char** factorLabel = nullptr;
int grMembDimensioned = 0;

Session* session1 = nullptr;
Session* session2 = nullptr;
Session* session3 = nullptr;
bool secondSet = false, thirdSet = false;

// ---------------------------------------------------------------------------
// Menu texts
// ---------------------------------------------------------------------------
const char* optMainMenuInfoE[17] = {
    "N  specify data or open existing session",
    "V  descriptive attributes",
    "T  transform data",
    "R  resemblance measures",
    "G  specify groups of sampling units",
    "D  scatter diagrams",
    "O  ordination",
    "C  cluster analysis",
    "P  randomization tests comparing groups of sampling units",
    "A  randomization tests comparing variables",
    "F  path analysis",
    "K  relations between two sets of variables",
    "Y  analysis of dynamics",
    "E  preferences",
    "S  save session",
    "Z  run script",
    "X  exit",
};
const char* optMainMenuInfoP[17] = {
    "N  especificar dados ou abrir sessao existente",
    "V  atributos descritivos",
    "T  transformar dados",
    "R  medidas de semelhanca",
    "G  especificar grupos de unidades amostrais",
    "D  diagramas de dispersao",
    "O  ordenacao",
    "C  agrupamento (cluster analysis)",
    "P  testes de aleatorizacao comparando grupos de unidades amostrais",
    "A  testes de aleatorizacao comparando variaveis",
    "F  analise de caminhos",
    "K  relacoes entre dois conjuntos de variaveis",
    "Y  analise da dinamica",
    "E  preferencias",
    "S  armazenar sessao",
    "Z  executar script",
    "X  sair",
};
const char* optVarTipoInfoE[7] = {
    " ",
    "(1) quantitative, same measurement scales",
    "(2) quantitative, different scales",
    "(3) qualitative, non binary",
    "(4) binary",
    "(5) mixed",
    "(6) contingency table",
};
const char* optVarTipoInfoP[7] = {
    " ",
    "(1) quantitativas, mesmas escalas de medida",
    "(2) quantitativas, escalas diferentes",
    "(3) qualitativas, nao binarias",
    "(4) binarias",
    "(5) mistas",
    "(6) tabela de contingencia",
};

const char* optDescrAttrInfoE[6] = {
    "",
    "(1) means and standard deviations of variables",
    "(2) entropy of variables",
    "(3) entropy and complexity in contingency table",
    "(4) multi-site beta diversity (sensu Quenby 2012)",
    "(99)cancel and return to main menu",
};
const char* optDescrAttrInfoP[6] = {
    "",
    "(1) medias e desvios padrao das variaveis",
    "(2) entropia das variaveis",
    "(3) entropia e complexidade em tabela de contingencia",
    "(4) diversidade beta entre multiplos locais (sensu Quenby 2012)",
    "(99)cancelar e voltar ao menu principal",
};

const char* optTrInfoE[3] = {
    "(0)restore original data (no transformation)",
    "(1)specify transformations on original data",
    "(99)leave as is",
};
const char* optTrInfoP[3] = {
    "(0)restaurar dados originais (sem transformacao)",
    "(1)especificar transformacoes sobre os dados originais",
    "(99)deixar como esta",
};

const char* optTrEsInfoE[7] = {
    "(0)none",
    "(1)presence/absence",
    "(2)square root (sqrt(|x|))",
    "(3)logarithm (log(|x+1|))",
    "(4)expand nominal variables into binary ones",
    "(5)expand contingency table into nominal data",
    "(99)cancel and return to main menu",
};
const char* optTrEsInfoP[7] = {
    "(0)nenhuma",
    "(1)presenca/ausencia",
    "(2)raiz quadrada (sqrt(|x|))",
    "(3)logaritmo (log(|x+1|))",
    "(4)expandir variaveis nominais em variaveis binarias",
    "(5)expandir tabela de contingencia em dados nominais",
    "(99)cancelar e voltar ao menu principal",
};

const char* optTrVeDirInfoE[4] = {
    "(0)none",
    "(1)within sampling units",
    "(2)within variables",
    "(3)other transformations",
};
const char* optTrVeDirInfoP[4] = {
    "(0)nenhuma",
    "(1)dentro de unidades amostrais",
    "(2)dentro de variaveis",
    "(3)outras transformacoes",
};

const char* optTrVe2InfoE[14] = {
    "(0)none",
    "(1)standardizing by marginal total",
    "(2)centering and division by N-1 (implicit in covariance)",
    "(3)centering",
    "(4)normalization",
    "(5)centering and normalization (implicit in correlation)",
    "(6)deviations expected values via marginal totals (double adjustment)",
    "(7)standardizing by the range",
    "(8)rescaling into classes",
    "(9)rescaling into ranks",
    "(10)Hellinger transformation",
    "(11)Beals smoothing",
    "(12)deviations from unit group means",
    "(99)cancel and return to main menu",
};
const char* optTrVe2InfoP[14] = {
    "(0)nenhuma",
    "(1)padronizacao pelo total marginal",
    "(2)centralizacao e divisao por N-1 (implicita na covariancia)",
    "(3)centralizacao",
    "(4)normalizacao",
    "(5)centralizacao e normalizacao (implicita na correlacao)",
    "(6)desvios dos valores esperados pelos totais marginais (ajuste duplo)",
    "(7)padronizacao pela amplitude",
    "(8)reescalonamento em classes",
    "(9)reescalonamento em postos",
    "(10)transformacao de Hellinger",
    "(11)suavizacao de Beals",
    "(12)desvios das medias dos grupos de unidades",
    "(99)cancelar e voltar ao menu principal",
};

const char* optReseDirInfoE[4] = {
    " ",
    "(1)comparing sampling units",
    "(2)comparing variables",
    "(99)cancel and return to main menu",
};
const char* optReseDirInfoP[4] = {
    " ",
    "(1)comparando unidades amostrais",
    "(2)comparando variaveis",
    "(99)cancelar e voltar ao menu principal",
};

const char* optReseTipoInfoE[31] = {
    " ",
    "(1)product moment",
    "(2)absolute value function",
    "(3)Euclidean distance",
    "(4)mutual information",
    "(5)Gower index",
    "(6)MDIS",
    "(7)mutual entropy",
    "(8)Rajski's metric",
    "(9)coherence coefficient",
    "(10)chi-square",
    "(11)Jaccard",
    "(12)simple matching",
    "(13)Sokal-Michener",
    "(14)Ochiai",
    "(15)Sorensen",
    "(16)mean square contingency",
    "(17)correlation",
    "(18)chord distance",
    "(19)Legendre&Chodorowski index",
    "(20)percentage difference (Bray&Curtis dissimilarity)",
    "(21)second eigenvalue of pairwise correlation",
    "(22)covariance",
    "(23)Jaccard dissimilarity (beta_jac Quenby, 2012)",
    "(24)Jaccard turnover (beta_jtu, Quenby 2012)",
    "(25)Jaccard nestedness (beta_jne, Quenby 2012)",
    "(26)Sorensen dissimilarity (beta_sor Quenby, 2010)",
    "(27)Sorensen turnover (Simpson, beta_sim, Quenby 2010)",
    "(28)Sorensen nestedness (beta_sne, Quenby 2010)",
    "(29)Mahalanobis distance",
    "(99)cancel and return to main menu",
};
const char* optReseTipoInfoP[31] = {
    " ",
    "(1)produto escalar",
    "(2)funcao valor absoluto",
    "(3)distancia euclidiana",
    "(4)informacao mutua",
    "(5)indice de Gower",
    "(6)MDIS",
    "(7)entropia mutua",
    "(8)metrica de Rajski",
    "(9)coeficiente de coerencia",
    "(10)qui-quadrado",
    "(11)Jaccard",
    "(12)concordancia simples",
    "(13)Sokal-Michener",
    "(14)Ochiai",
    "(15)Sorensen",
    "(16)contingencia quadratica media",
    "(17)correlacao",
    "(18)distancia de corda",
    "(19)indice de Legendre&Chodorowski",
    "(20)diferenca percentual (dissimilaridade de Bray&Curtis)",
    "(21)segundo autovalor da correlacao entre pares",
    "(22)covariancia",
    "(23)dissimilaridade de Jaccard (beta_jac Quenby, 2012)",
    "(24)substituicao de Jaccard (beta_jtu, Quenby 2012)",
    "(25)aninhamento de Jaccard (beta_jne, Quenby 2012)",
    "(26)dissimilaridade de Sorensen (beta_sor Quenby, 2010)",
    "(27)substituicao de Sorensen (Simpson, beta_sim, Quenby 2010)",
    "(28)aninhamento de Sorensen (beta_sne, Quenby 2010)",
    "(29)distancia de Mahalanobis",
    "(99)cancelar e voltar ao menu principal",
};

const char* optPostReseTransfInfoE[4] = {
    "(0)none",
    "(1)squared resemblance",
    "(2)square root of resemblance",
    "(99)cancel and return to main menu",
};
const char* optPostReseTransfInfoP[4] = {
    "(0)nenhuma",
    "(1)semelhanca ao quadrado",
    "(2)raiz quadrada da semelhanca",
    "(99)cancelar e voltar ao menu principal",
};

const char* optOrdiTypeInfoE[5] = {
    " ",
    "(1)principal coordinates analysis",
    "(2)principal components analysis",
    "(3)correspondence analysis",
    "(99)cancel and return to main menu",
};
const char* optOrdiTypeInfoP[5] = {
    " ",
    "(1)analise de coordenadas principais",
    "(2)analise de componentes principais",
    "(3)analise de correspondencia",
    "(99)cancelar e voltar ao menu principal",
};

const char* clusMethInfoE[9] = {
    " ",
    "(1)simple linkage (nearest neighbor)",
    "(2)complete linkage",
    "(3)incremental sum of squares (Ward)",
    "(4)average linkage (UPGMA)",
    "(5)average linkage (WPGMA)",
    "(6)hierarchical factorial (Sarrow & Pretel) (requires resemblance function #21)",
    "(7)topologically constrained incremental sum of squares",
    "(99)cancel and return to main menu",
};
const char* clusMethInfoP[9] = {
    " ",
    "(1)ligacao simples (vizinho mais proximo)",
    "(2)ligacao completa",
    "(3)soma de quadrados incremental (Ward)",
    "(4)ligacao media (UPGMA)",
    "(5)ligacao media (WPGMA)",
    "(6)fatorial hierarquico (Sarrow & Pretel) (requer a funcao de semelhanca #21)",
    "(7)soma de quadrados incremental com restricao topologica",
    "(99)cancelar e voltar ao menu principal",
};

const char* optCriterioInfoE[4] = {
    " ",
    "(1)between group sum of squared distance",
    "(2)between groups average distance",
    "(99)cancel and return to main menu",
};
const char* optCriterioInfoP[4] = {
    " ",
    "(1)soma dos quadrados das distancias entre grupos",
    "(2)distancia media entre grupos",
    "(99)cancelar e voltar ao menu principal",
};

const char* optTransfCorrelInfoE[3] = {
    "(0)no transformation",
    "(1)absolute value correlations",
    "(2)squared correlations",
};
const char* optTransfCorrelInfoP[3] = {
    "(0)sem transformacao",
    "(1)correlacoes em valor absoluto",
    "(2)correlacoes ao quadrado",
};

const char* yesnoInfoE[2] = {"not", "yes"};
const char* yesnoInfoP[2] = {"nao", "sim"};

const char** optMainMenuInfo = optMainMenuInfoE;
const char** optVarTipoInfo = optVarTipoInfoE;
const char** optDescrAttrInfo = optDescrAttrInfoE;
const char** optTrInfo = optTrInfoE;
const char** optTrEsInfo = optTrEsInfoE;
const char** optTrVeDirInfo = optTrVeDirInfoE;
const char** optTrVe2Info = optTrVe2InfoE;
const char** optReseDirInfo = optReseDirInfoE;
const char** optReseTipoInfo = optReseTipoInfoE;
const char** optPostReseTransfInfo = optPostReseTransfInfoE;
const char** optOrdiTypeInfo = optOrdiTypeInfoE;
const char** clusMethInfo = clusMethInfoE;
const char** optCriterioInfo = optCriterioInfoE;
const char** optTransfCorrelInfo = optTransfCorrelInfoE;
const char** yesnoInfo = yesnoInfoE;

const char* enterOpt = "Enter option";
const char* enterOptValid = "Enter option (valid options with *)";
const char* returnMain = "return to main menu";
const char* iteraStr = "Iteration";

namespace {

struct TableSize {
    const char** english;
    const char** portuguese;
    int length;
};

#define TEVLAN_TABLE_SIZE(name) {name##E, name##P, name##Length}
const TableSize tableSizes[] = {
    TEVLAN_TABLE_SIZE(optMainMenuInfo),     TEVLAN_TABLE_SIZE(optVarTipoInfo),
    TEVLAN_TABLE_SIZE(optDescrAttrInfo),    TEVLAN_TABLE_SIZE(optTrInfo),
    TEVLAN_TABLE_SIZE(optTrEsInfo),         TEVLAN_TABLE_SIZE(optTrVeDirInfo),
    TEVLAN_TABLE_SIZE(optTrVe2Info),        TEVLAN_TABLE_SIZE(optReseDirInfo),
    TEVLAN_TABLE_SIZE(optReseTipoInfo),     TEVLAN_TABLE_SIZE(optPostReseTransfInfo),
    TEVLAN_TABLE_SIZE(optOrdiTypeInfo),     TEVLAN_TABLE_SIZE(clusMethInfo),
    TEVLAN_TABLE_SIZE(optCriterioInfo),     TEVLAN_TABLE_SIZE(optTransfCorrelInfo),
    TEVLAN_TABLE_SIZE(yesnoInfo),
};
#undef TEVLAN_TABLE_SIZE

}  // namespace

int MenuTableLength(const char** texts) {
    for (const TableSize& t : tableSizes)
        if (texts == t.english || texts == t.portuguese) return t.length;
    return 0;
}

const char* MenuText(const char** texts, int k) {
    if (texts != nullptr && k >= 0 && k < MenuTableLength(texts)) return texts[k];
    return "(?)";
}

// ---------------------------------------------------------------------------
// Availability
// ---------------------------------------------------------------------------
// Column = stage reached (0 no data ... 4 resemblance between variables).
int appliesMain[17][5] = {
    {1, 1, 1, 1, 1},  // N
    {0, 1, 1, 1, 1},  // V
    {0, 1, 1, 1, 1},  // T
    {0, 1, 1, 1, 1},  // R
    {0, 1, 1, 1, 1},  // G
    {0, 1, 1, 1, 1},  // D
    {0, 0, 1, 1, 1},  // O
    {0, 0, 1, 1, 1},  // C
    {0, 0, 1, 1, 0},  // P
    {0, 0, 0, 0, 1},  // A
    {0, 1, 1, 1, 1},  // F
    {0, 1, 1, 1, 1},  // K
    {0, 1, 1, 1, 1},  // Y
    {1, 1, 1, 1, 1},  // E
    {0, 1, 1, 1, 1},  // S
    {1, 1, 1, 1, 1},  // Z
    {1, 1, 1, 1, 1},  // X
};

int appliesReseUnits[31][8] = {
    {1, 1, 1, 1, 1, 1, 1, 1},
    {1, 0, 0, 1, 0, 0, 0, 0},  // (1)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (2)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (3)
    {1, 0, 0, 0, 0, 0, 0, 0},  // (4)
    {1, 1, 1, 1, 1, 1, 1, 1},  // (5)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (6)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (7)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (8)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (9)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (10)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (11)
    {0, 0, 1, 1, 0, 0, 1, 0},  // (12)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (13)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (14)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (15)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (16)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (17)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (18)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (19)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (20)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (21)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (22)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (23)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (24)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (25)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (26)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (27)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (28)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (29)
    {1, 1, 1, 1, 1, 1, 1, 1},  // (99) cancel
};

int appliesReseVar[31][8] = {
    {1, 1, 1, 1, 1, 1, 1, 1},
    {1, 0, 0, 1, 0, 0, 0, 0},  // (1)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (2)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (3)
    {1, 0, 0, 0, 0, 0, 0, 0},  // (4)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (5)
    {0, 0, 1, 1, 0, 0, 1, 0},  // (6)
    {0, 0, 1, 1, 0, 0, 1, 0},  // (7)
    {0, 0, 1, 1, 0, 0, 1, 0},  // (8)
    {0, 0, 1, 1, 0, 0, 1, 0},  // (9)
    {0, 0, 1, 1, 0, 0, 1, 0},  // (10)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (11)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (12)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (13)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (14)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (15)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (16)
    {1, 1, 0, 1, 0, 1, 0, 0},  // (17)
    {1, 1, 0, 1, 0, 1, 0, 0},  // (18)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (19)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (20)
    {1, 1, 0, 1, 0, 1, 0, 0},  // (21)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (22)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (23)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (24)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (25)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (26)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (27)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (28)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (29)
    {1, 1, 1, 1, 1, 1, 1, 1},  // (99) cancel
};

int appliesReseDir[5][8] = {
    {1, 1, 1, 1, 1, 1, 1, 1},
    {1, 1, 1, 1, 1, 1, 1, 1},  // (1) sampling units
    {1, 1, 1, 1, 0, 1, 1, 0},  // (2) variables
    {1, 0, 0, 1, 0, 0, 0, 0},  // (99) cancel
    {1, 1, 1, 1, 1, 1, 1, 1},
};

int appliesVectorVar[14][8] = {
    {1, 1, 1, 1, 1, 1, 1, 1},
    {1, 1, 0, 1, 0, 1, 0, 0},  // (1)
    {1, 1, 0, 1, 0, 1, 0, 0},  // (2)
    {1, 1, 0, 1, 0, 1, 0, 0},  // (3)
    {1, 1, 0, 1, 0, 1, 0, 0},  // (4)
    {1, 1, 0, 1, 0, 1, 0, 0},  // (5)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (6)
    {1, 1, 0, 1, 0, 1, 0, 0},  // (7)
    {1, 1, 0, 1, 0, 1, 0, 0},  // (8)
    {1, 1, 0, 1, 0, 1, 0, 0},  // (9)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (10)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (11)
    {1, 1, 0, 1, 0, 1, 0, 0},  // (12)
    {1, 1, 1, 1, 1, 1, 1, 1},  // (99) cancel
};

int appliesVectorUnits[14][8] = {
    {1, 1, 1, 1, 1, 1, 1, 1},
    {1, 0, 0, 1, 0, 0, 0, 0},  // (1)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (2)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (3)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (4)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (5)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (6)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (7)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (8)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (9)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (10)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (11)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (12)
    {1, 1, 1, 1, 1, 1, 1, 1},  // (99) cancel
};

int appliesVectorOther[14][8] = {
    {1, 1, 1, 1, 1, 1, 1, 1},
    {0, 0, 0, 0, 0, 0, 0, 0},  // (1)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (2)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (3)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (4)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (5)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (6)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (7)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (8)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (9)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (10)
    {1, 0, 0, 1, 0, 0, 0, 0},  // (11)
    {0, 0, 0, 0, 0, 0, 0, 0},  // (12)
    {1, 1, 1, 1, 1, 1, 1, 1},  // (99) cancel
};

int appliesVectorDir[4][8] = {
    {1, 1, 1, 1, 1, 1, 1, 1},  // (0)
    {1, 1, 0, 1, 0, 1, 0, 0},  // (1) within sampling units
    {1, 1, 0, 1, 0, 1, 0, 0},  // (2) within variables
    {1, 1, 1, 1, 1, 1, 1, 1},  // (3) other transformations
};

int appliesScalar[7][8] = {
    {1, 1, 1, 1, 1, 1, 1, 1},  // (0)
    {1, 1, 0, 1, 0, 1, 0, 0},  // (1)
    {1, 1, 0, 1, 0, 1, 0, 0},  // (2)
    {1, 1, 0, 1, 0, 1, 0, 0},  // (3)
    {0, 0, 1, 0, 1, 0, 1, 1},  // (4) expand nominal
    {1, 0, 0, 1, 0, 0, 0, 0},  // (5) expand contingency table
    {1, 1, 1, 1, 1, 1, 1, 1},  // (99) cancel
};

int appliesDescriptiveAttr[6][8] = {
    {1, 1, 1, 1, 1, 1, 1, 1},
    {1, 1, 0, 1, 1, 1, 1, 1},  // (1)
    {0, 0, 1, 1, 1, 0, 1, 1},  // (2)
    {1, 0, 0, 0, 0, 0, 0, 0},  // (3)
    {0, 0, 0, 1, 0, 0, 0, 0},  // (4)
    {1, 1, 1, 1, 1, 1, 1, 1},  // (99) cancel
};

// Column 0: data as read, 1: transformed.
int appliesTr[3][8] = {
    {1, 1, 0, 0, 0, 0, 0, 0},  // (0) restore
    {1, 1, 1, 1, 1, 1, 1, 1},  // (1) specify
    {1, 1, 0, 0, 0, 0, 0, 0},  // (99) leave as is
};

int AppliesTableRows(const int (*applies)[8]) {
    struct Rows {
        const int (*table)[8];
        int rows;
    };
    static const Rows known[] = {
        {appliesReseUnits, 31},  {appliesReseVar, 31},     {appliesReseDir, 5},
        {appliesVectorVar, 14},  {appliesVectorUnits, 14}, {appliesVectorOther, 14},
        {appliesVectorDir, 4},   {appliesScalar, 7},       {appliesDescriptiveAttr, 6},
        {appliesTr, 3},
    };
    for (const Rows& r : known)
        if (r.table == applies) return r.rows;
    return 0;
}

int EffectiveVarType(int j) { return optTrEs == 1 ? 1 : varType[j]; }
