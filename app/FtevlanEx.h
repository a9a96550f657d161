// The main loop and session bookkeeping, the data and session dialogues, the
// preferences, menus and status report, and the exploratory drivers.
#ifndef FTEVLANEX_H
#define FTEVLANEX_H

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Start-up and the main menu loop; returns 1 on key X.
int TevlanMain();

// Key Z's question, asked and answered on the standard input: answers from a
// file (its name, at most 49 characters, asked until one opens) or from the
// keyboard. `in` becomes that file or the standard input; a script it was
// reading before is closed.
void AskInputSource();

// The start of the two generators, on the standard input: the seed (typed,
// or the clock's), r seeded with it and its name shown, then the source of
// the later answers (AskInputSource). Returns the seed.
unsigned long StartGeneratorRun();

// Whether `name` is the options file `in` is reading (through any path or
// link): a generator's output must not be created over it.
bool IsOptionsFile(const std::string& name);
// Whether the two names reach one existing file.
bool SameExistingFile(const std::string& a, const std::string& b);

// Appends through body to the file `name`, opened for appending and closed
// again; false (that output left out) after fopenck's or fcloseck's message
// when it cannot be opened or written, the file then cut back to its size
// before the block.
bool AppendTo(const std::string& name, const std::function<void(FILE*)>& body);

// Answers from `in` in the current language, for every dialogue.
// Source name of `in` for the readers' messages ("keyboard" or "teclado").
const char* Keyboard();
// A yes/no question ("y n" or "s n"); true unless the answer is n.
bool AskYes(const char* english, const char* portuguese);
// One word of at most maxLength characters; the end of the input is error code 2.
std::string AskWord(int maxLength);

// Preferences, language tables and status.
void ReadPreferences();
// Writes "Tevlan.prf"; a failed write raises error code 3 and leaves the
// previous file as it was.
void WritePreferences();
void SetPreferences();
void Initialize();
// Shows entries first..last of a menu-text table (only those whose row of
// applies holds 1 in column, or all of them without a table), reads the
// number of one entry shown (99 for a "(99)" entry) and returns it, also
// through chosen. With no entry to show it reads nothing and returns 99.
int ShowMenu(int first, int last, const int (*applies)[8], int column, const char** texts, int* chosen);
void ShowStatus(FILE* stream);
// The vector transformations of the data as the status and the scatter
// legend name them, without a line end: "(k)..., within variables", "(k)...,
// within sampling units", both joined by " and ", or transformation 0.
std::string VectorTransformationText(int withinVariables, int withinUnits);
void PrintData(FILE* stream, int rows, int cols, int digits, double** matrix);
void PrintData(FILE* stream, int rows, int cols, int digits, float** matrix);
// The upper triangle with the diagonal, shown as the lower half of the
// transpose; the matrix is left as it was.
void PrintRese(FILE* stream, int n, int digits, double** matrix);

// Current data set, data type and stage.
void Init();
// Allocates the data arrays for the current nObj and nVar (zero-filled).
void Dimensiona();
// Releases the whole current data set (data, resemblance, ordination,
// groups) and clears its flags.
void LivraMemoria();
// The globals let go of one part of the data set; an array a snapshot still
// holds is left to it. Drivers that replace a result release the old one
// through these (with the dimensions it was made with) before they change
// nRows or nFactors.
void ReleaseRese();
void ReleaseOrdination();
void ReleaseGroupArrays();
void ReleaseDataSetArrays();
// Derive the data type (with isStandardized, hasNegative and the offer of
// measure 4) and the stage reached.
void SetDataType(int trEs, int trVeVar, int trVeUnits);
void SetStepReached();

// Data input: key N (1 when a data set was loaded or a session opened), and
// the data-file dialogue (1 when data were read).
int SpecifySession();
int AbreDados();

// Sessions.
void SetDefaultSessionName();
// Rewrites "Sessao.trk" and the session file; 0 (session marked as not
// saved, the previous files intact) when a file could not be written.
int WriteSessionTrack();
// Reads sessionFilename into the current data set; 0, with the current set
// unchanged, when the file has another version tag or is damaged.
int ReadSessionTrack();
void CheckSession();
int SaveSession();
int SaveSession(const char* name);
int OpenSession();
// A second (third) data set for the analyses that relate data sets; 0 when
// none was opened (the first data set stays current).
int SpecifySecondSession();
int SpecifyThirdSession();

// Exploratory drivers (return 1 on success).
int DescriptiveAttributes();
int TransformaDados();
// Key T's dialogue reduced to setting the transformation options of the
// current data set (no data are transformed, no report): restore (0) or
// specify (1); the scalar, direction and vector menus offer what a table of
// quantitative variables takes without groups or files. 1 when the options
// were set, 0 when a menu was cancelled.
int SettingsDataTransformation();
// The transformations in force (scalar, within variables and within sampling
// units, with their classes, the Beals options and, for option 12, the
// groups of factor optTrGroupFactor) applied in place to X: n rows of p
// values as read. Row i of X is unit units[i] (from 1) of the data set, or
// unit i + 1 when units is null, so that the groups follow the units a
// resampling drew. Key T transforms the data through it; every test or
// sampler that transforms permuted or resampled tables anew calls it.
// Returns 1.
int ReapplyTransformations(int n, int p, double** X, const int* units);
// The same stopped before the double adjustment: the table whose margins
// weigh the scores of a correspondence analysis of the data as transformed.
int ReapplyTransformationsForCorrespondence(int n, int p, double** X, const int* units);
// A session file keeps the number of classes of a rescaling only beside a
// resemblance matrix, and neither the Beals smoothing options nor the factor
// whose group means were taken off: when the transformation in force needs
// them, they are found again among those that give back the data held, the
// ones in force first. What the data leave open (several candidates, or
// none) is said at once, one line each, and kept in transformationDoubts
// (a number of classes not found stays 0).
void RecoverTransformationOptions();
// Those lines, for the transformations still in force; nothing when the
// options are sure. Every test that transforms its tables anew writes them
// in its report.
void PrintTransformationDoubts(FILE* f);
int Semelhanca();
// Key R's dialogue reduced to setting the resemblance options (direction,
// measure 1 to 23 and its parameter) and nRows, nCols by the direction; no
// matrix is computed. 1 when the options were set, 0 on a cancel.
int SettingsResemblance();
// Key G: the factors of groups of sampling units and each unit's group.
void SetGroups();
// A group number typed on `in`: any number within the int range, its integer
// part kept (labels are the user's: 0 and negative numbers too); anything
// else is refused and read again.
int AskGroupNumber(const char* sourceName);
// Reads nFactorsInFile x nUnits group numbers from an open membership file,
// factor after factor, into groups. Each field must be a whole number within
// the int range ("2.0" is 2); numbers beyond those needed are not read, and
// a warning says how many there were. False when the file refuses: a field
// that is not such a number, or a file that ends too soon; a message naming
// the file and the place is printed and groups is partly written. The
// caller closes the file.
bool ReadMembershipFile(FILE* file, const char* name, int nFactorsInFile, int nUnits, int* groups);
// After a reader of a file of numbers took the `read` it needs: when the
// file holds more, one warning names the file, the values it holds and those
// read, with what they were needed for (`needed`, in the user's language).
// The rest of the file is read through to count them.
void SurplusWarning(FILE* file, const char* name, long long read, const char* needed);
// Key D: the coordinates of a scatter diagram (data, transformed data or
// ordination scores, optionally a biplot) written to "ScatterData.txt".
void Scatter();
// One point of a scatter diagram.
struct ScatterPoint {
    std::string label;
    double x, y;
};
// The biplot's variable points, appended to points: the correlations of the
// p variables (columns of data, n x p) with the n units' coordinates x and y,
// scaled by f = (|min x| + max x + max y + |min y|) / 4 of those units. A
// variable correlated with neither axis is left out. Labels: labels[j], or
// "v1", "v2", ... when numbered.
void AppendBiplotVariables(int n, double* x, double* y, int p, double** data, char** labels, bool numbered,
                           std::vector<ScatterPoint>& points);
// Writes the file read by the plotting tool: a header, one line per point and
// the legend, whose carriage returns become line feeds. False, after a
// message, when the file could not be created or written (no partial file is
// left).
bool WriteScatterData(const char* name, const std::vector<ScatterPoint>& points, const std::string& legend);
int Ordenacao();
// Whether ordination type (1 to 3) suits the resemblance measure and the
// vector transformations in force: principal components need measure 1, 17
// or 22, correspondence analysis measure 1 and the double adjustment within
// variables or sampling units. Otherwise key O's two lines and a bell.
bool OrdinationSuitsOptions(int type);
// Score tables of an ordination. PrintScores also replaces "scores.txt" with
// the printed axes, one line per entity; false when that file could not be
// written.
bool PrintScores(FILE* report, int nAxes, int n, double** scores, const char* name);
// Percentage contribution of each of p descriptors to each axis.
void VarContribution(FILE* report, int nAxes, int p, double** evectors, double** rese, const char* title,
                     char** labels);
// Correlations between p descriptors and the axes (scores: axis rows of n
// values; descriptor j is data[j][.] when dataByRows, column j otherwise).
void ScoreCorr(FILE* report, int nAxes, int n, double** scores, double** data, int p, const char* title,
               bool dataByRows, char** labels);
// The same; for principal components (type 2) from the eigenvectors.
void ScoreCorr(FILE* report, int nAxes, int n, double** scores, double** data, int p, const char* title,
               bool dataByRows, char** labels, int type, double** rese, const double* eig,
               double** evectors);
void Cluster();

// Key K: relations between the current data set and a second one (a third
// for the partial Mantel test), held as snapshots. Returns 1.
int Canonical();
class Session;
// The linear-model test of the responses (one snapshot) on the factors
// (another, of the same units), after "Vidive.txt" was opened and closed in
// its mode so that an erase takes effect; the report is then appended to.
void LinearModels(Session* responses, Session* factors, bool detailed);
void LinearModels(Session* responses, Session* factors);  // detailed
// The Procrustes test, then the second set's table fitted onto the first's
// (n rows, as many columns as the larger set has variables) appended to
// "Vidive.txt".
void Procrustes(Session* first, Session* second);
// The Procrustes statistic alone appended to "Vidive.txt".
void Procrustes_OLD(Session* first, Session* second);
// The RV test.
void CoInertia(Session* first, Session* second);
// Velocities and accelerations along the series of sampling units: the
// first set's resemblance between consecutive units over the second set's
// (the reference), placed on the scale of the second set's first variable as
// read (a point leaning on a missing value there has no place); the report
// goes to "Vidive.txt" in its mode, which becomes "a".
void Rate_of_Change(Session* first, Session* second);
// The transformations in force applied in place to a table of the current
// data set's shape (nObj x nVar). Returns 1.
int DataTransformations(double** table);

#endif
