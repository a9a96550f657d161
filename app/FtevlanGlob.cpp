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
const char** optMainMenuInfo = optMainMenuInfoE;

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

const char* enterOptValid = "Enter option (valid options with *)";
