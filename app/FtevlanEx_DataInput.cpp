// ===========================================================================
// Data file input
// ===========================================================================

#include "FtevlanEx.h"
#include "FtevlanEx_internal.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <map>
#include <string>

#include "FtevlanGlob.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibOut.h"

using namespace ex_detail;

// Source name of answers read from `in`, for the messages of the readers.
const char* Keyboard() { return eng ? "keyboard" : "teclado"; }

// A yes/no question in the current language; true unless the answer is n.
bool AskYes(const char* english, const char* portuguese) {
    fprintf(out, "%s", eng ? english : portuguese);
    fflush(out);
    return ScanChar(in, eng ? "y n" : "s n", Keyboard()) != 'n';
}

// One word of at most maxLength characters from `in`; the end of the input
// ends the program like every other reader.
std::string AskWord(int maxLength) {
    char word[256];
    if (maxLength > 255) maxLength = 255;
    if (!ScanString(in, maxLength, word, nullptr, 0, Keyboard())) throw 2;
    return word;
}

void SurplusWarning(FILE* file, const char* name, long long read, const char* needed) {
    const long long left = FieldsLeft(file);
    if (left == 0) return;
    fprintf(out,
            eng ? "\nWarning: file %s holds %lld values; the first %lld were read (%s), the rest were not.\n"
                : "\nAtencao: o arquivo %s contem %lld valores; os primeiros %lld foram lidos (%s), os demais nao.\n",
            name, read + left, read, needed);
}

namespace {

constexpr int kLabelLength = 29;

// Labels that do not stand as declared: the unit labels end inside a line
// that goes on with variable labels, while the labels take more than one
// line (all of them on one line is a layout of its own).
struct LabelLines {
    long long firstLine = -1, onFirstLine = 0, lastUnitLine = -1, firstVariableLine = -1, lastLine = -1;
    bool Contradicted() const { return lastUnitLine == firstVariableLine && lastLine != firstLine; }
};

// Reads the labels that follow the data; false when the file ends first.
// position goes on from the data, noting the lines of the labels in lines.
bool ReadLabels(FILE* f, LinePosition& position, LabelLines& lines) {
    bool cut = false;
    char word[256];
    auto one = [&](char* label) {
        // The white space before the word is passed here, for its lines.
        int c;
        while ((c = getc(f)) != EOF && isspace(c))
            if (c == '\n') position.line++;
        if (c != EOF) ungetc(c, f);
        if (!freadck1(f, "%s", word, sizeof word, filename)) return false;
        if (lines.firstLine < 0) lines.firstLine = position.line;
        if (position.line == lines.firstLine) lines.onFirstLine++;
        lines.lastLine = position.line;
        if (strlen(word) > static_cast<size_t>(kLabelLength)) cut = true;
        CopyCut(label, kLabelLength + 1, word);
        return true;
    };
    for (int i = 0; i < nObj; i++)
        if (!one(uaLabels[i])) return false;
    lines.lastUnitLine = position.line;
    for (int j = 0; j < nVar; j++) {
        if (!one(varLabels[j])) return false;
        if (j == 0) lines.firstVariableLine = position.line;
    }
    if (cut) LabelsCutNote();
    return true;
}

// Whether anything but white space follows in the file.
bool MoreInFile(FILE* f) {
    int c;
    do {
        c = getc(f);
    } while (c != EOF && isspace(c));
    return c != EOF;
}

// How the values of the data stand on the lines of the file, noted value by
// value as they are read (the file is not read twice). A row is what the
// declared order puts together: a sampling unit (N) or a variable (T).
class DataLines {
public:
    DataLines(int rows, int rowLength) : rows_(rows), rowLength_(rowLength) {}

    // The next value, read on line `line` (counted from 0).
    void Value(long long line) {
        if (inLine_ == 0 || line != line_) {
            LineEnds();
            line_ = line;
            lineStart_ = read_;
        }
        inLine_++;
        read_++;
    }

    // The data are read whole: the last line ends with them.
    void End() { LineEnds(); }

    // The declared sizes are contradicted when a clear majority of the
    // lines (more than half, of two or more) hold another number of values
    // than a row, and rows end inside lines (some line holds values of two
    // rows). A row wrapped over lines of its own (each row starting a line)
    // and the whole table on one line are layouts of their own, and say
    // nothing of the sizes.
    bool SizesContradicted(long long* sharing, long long* lines, long long* count) const {
        if (lines_ < 2 || first_ < 0) return false;
        for (const auto& [values, n] : counts_)
            if (2 * n > lines_ && values != rowLength_) {
                *sharing = n;
                *lines = lines_;
                *count = values;
                return true;
            }
        return false;
    }

    // In a file laid out a row to a line, a row a value short beside another
    // a value long keeps the total and shifts every value between them to
    // the next row. When the data take a line per row, or most of their
    // lines hold a row each, and some line holds values of two rows, the
    // line where the lines fell out of step with the rows is named (from 1)
    // with its count; a row merely wrapped over lines of its own shifts
    // nothing and is not.
    bool LineOutOfStep(long long* lineNumber, long long* count) const {
        if (first_ < 0 || (lines_ != rows_ && 2 * LinesHolding(rowLength_) < lines_)) return false;
        *lineNumber = first_ + 1;
        *count = firstCount_;
        return true;
    }

private:
    long long LinesHolding(long long values) const {
        const auto it = counts_.find(values);
        return it == counts_.end() ? 0 : it->second;
    }

    void LineEnds() {
        if (inLine_ == 0) return;
        lines_++;
        counts_[inLine_]++;
        const bool twoRows = lineStart_ / rowLength_ != (read_ - 1) / rowLength_;
        if (twoRows && first_ < 0) {
            first_ = outOfStep_ >= 0 ? outOfStep_ : line_;
            firstCount_ = outOfStep_ >= 0 ? outOfStepCount_ : inLine_;
        }
        if (read_ % rowLength_ == 0) {
            outOfStep_ = -1;
        } else if (outOfStep_ < 0) {
            outOfStep_ = line_;
            outOfStepCount_ = inLine_;
        }
        inLine_ = 0;
    }

    const long long rows_, rowLength_;
    long long read_ = 0, line_ = 0, lineStart_ = 0, inLine_ = 0, lines_ = 0;
    // The line named for the first line holding values of two rows (-1 while
    // there is none), and the first line ending inside a row since the lines
    // last ended with one.
    long long first_ = -1, firstCount_ = 0, outOfStep_ = -1, outOfStepCount_ = 0;
    std::map<long long, long long> counts_;  // values on a line, lines holding them
};

// The warnings on the layout of the data, once they are read. True when the
// sizes were found contradicted (the labels then need no warning of their own).
bool DataLinesWarning(const DataLines& lines) {
    const bool byVariables = format == 'T';
    long long sharing = 0, total = 0, count = 0;
    if (lines.SizesContradicted(&sharing, &total, &count)) {
        fprintf(out,
                eng ? "\nWarning: in file %s, %lld of the %lld lines of data hold %lld values each, but %d were "
                      "declared per %s; check the order: sampling units, then variables.\n"
                    : "\nAtencao: no arquivo %s, %lld das %lld linhas de dados contem %lld valores cada, mas foram "
                      "declarados %d por %s; verifique a ordem: unidades amostrais, depois variaveis.\n",
                filename, sharing, total, count, byVariables ? nObj : nVar,
                byVariables ? (eng ? "variable (the number of sampling units: order T)"
                                   : "variavel (o numero de unidades amostrais: ordem T)")
                            : (eng ? "sampling unit (the number of variables)"
                                   : "unidade amostral (o numero de variaveis)"));
        return true;
    }
    long long lineNumber = 0;
    if (!lines.LineOutOfStep(&lineNumber, &count)) return false;
    fprintf(out,
            eng ? "\nWarning: line %lld of file %s holds %lld values, and the other lines of the data hold %d (one %s "
                  "each): the values were read in order as one stream, and may belong to other %s than the lines "
                  "show.\n"
                : "\nAtencao: a linha %lld do arquivo %s contem %lld valores, e as demais linhas dos dados contem %d "
                  "(uma %s cada): os valores foram lidos em ordem como uma sequencia, e podem pertencer a outras %s "
                  "que as linhas mostram.\n",
            lineNumber, filename, count, byVariables ? nObj : nVar,
            byVariables ? (eng ? "variable" : "variavel") : (eng ? "sampling unit" : "unidade amostral"),
            byVariables ? (eng ? "variables" : "variaveis") : (eng ? "sampling units" : "unidades amostrais"));
    return false;
}

void LabelLinesWarning(const LabelLines& lines) {
    if (!lines.Contradicted()) return;
    fprintf(out,
            eng ? "\nWarning: in file %s, the first line of labels holds %lld labels, but %d sampling-unit labels "
                  "were declared, then %d variable labels; check the order: sampling units, then variables.\n"
                : "\nAtencao: no arquivo %s, a primeira linha de rotulos contem %lld rotulos, mas foram declarados %d "
                  "rotulos de unidades amostrais, depois %d de variaveis; verifique a ordem: unidades amostrais, "
                  "depois variaveis.\n",
            filename, lines.onFirstLine, nObj, nVar);
}

// What a data file holds, for a file of another kind.
void DataFormatHint() {
    fprintf(out, "%s",
            eng ? "A data file holds the numbers first, separated by blanks or tabs (not commas), one sampling unit "
                  "per line, then the sampling-unit labels and the variable labels; no header row. The format is "
                  "shown in examples/README.md.\n"
                : "Um arquivo de dados contem primeiro os numeros, separados por espacos ou tabulacoes (nao por "
                  "virgulas), uma unidade amostral por linha, depois os rotulos das unidades amostrais e os das "
                  "variaveis; sem linha de cabecalho. O formato e mostrado em examples/README.md.\n");
}

void IncompleteFile() {
    fprintf(out,
            eng ? "\nFile %s was not read because it is incomplete.\nPlease check!\n"
                : "\nO arquivo %s nao foi lido porque esta incompleto.\nFavor verificar!\n",
            filename);
}

// The variable types of mixed data, into varType. A table too large for its
// file has no type array (it is refused later as incomplete): its questions
// are asked all the same, so that a script of answers stays in step; the
// heading then numbers only the variables the file could hold (shown), not
// the billions a mistyped size may declare.
void VariableTypes(double shown) {
    for (;;) {
        int kinds[5] = {0, 0, 0, 0, 0};
        for (;;) {
            if (eng)
                fprintf(out, "Enter variable type (1:binary,2:qualitative,3:quantitative interval or ratio "
                             "scale,4:ordinal): \nVariable: ");
            else
                fprintf(out, "Entre o tipo de cada variavel (1:binaria,2:qualitativa,3:quantitativa escala "
                             "intervalar ou de razao,4:ordinal): \nVariavel: ");
            for (int j = 1; j <= nVar; j++) {
                if (j > shown) {
                    fprintf(out, "...");
                    break;
                }
                fprintf(out, "%-3d", j);
            }
            fprintf(out, "%s", eng ? "\nType:     " : "\nTipo:     ");
            fflush(out);
            std::fill(kinds, kinds + 5, 0);
            for (int j = 0; j < nVar; j++) {
                const int type = static_cast<int>(ScanNumber(in, Keyboard(), "1 2 3 4"));
                kinds[type] = 1;
                if (varType) varType[j] = type;
            }
            if (!AskYes("Wish to correct? y/n ", "Corrigir? s/n ")) break;
        }
        // The flags follow the types of this pass only.
        temBin = kinds[1];
        temQual = kinds[2];
        temQuant = kinds[3] || kinds[4] ? 1 : 0;
        if (temQuant + temQual + temBin >= 2) return;
        fprintf(out, "%s", eng ? "Data not mixed as indicated!!!\n" : "Dados nao sao mistos como indicado!!!\n");
        if (AskYes("Wish to correct manually? y/n ", "Corrigir manualmente? s/n ")) continue;
        if (temQual)
            optVarTipo = 3;
        else if (temQuant)
            optVarTipo = 2;
        else if (temBin)
            optVarTipo = 4;
        return;
    }
}

// The expansion of a contingency table into one line (row, column) per
// counted individual.
void ExpandContingencyTable(FILE* report) {
    int total = 0;
    if (!ContingencyIndividuals(nObj, nVar, dataOrig, report, &total)) return;
    fprintf(report, "%s", eng ? "\nExpanded contingency table:\n" : "\nTabela de contingencia expandida:\n");
    fprintf(report,
            eng ? "\t(Rows= %d sampling units, columns= %d nominal variables)\n"
                : "\t(Linhas= %d unidades amostrais, colunas= %d variaveis nominais)\n",
            total, 2);
    ForEachIndividual(nObj, nVar, dataOrig, [report](int i, int j) { fprintf(report, "%d\t%d\n", i, j); });
}

}  // namespace

int AbreDados() {
    // 1. The file.
    std::string name;
    for (;;) {
        fprintf(out, "%s",
                eng ? "Enter name of file containing data matrix: " : "Entre nome do arquivo contendo a matriz de dados: ");
        fflush(out);
        name = AskWord(99);
        FILE* f = fopenck(name.c_str(), nullptr, "r");
        if (f) {
            fclose(f);
            break;
        }
        if (!AskYes("Try again? y/n ", "Tentar novamente? s/n ")) return 0;
    }
    // 2. Content.
    if (eng)
        fprintf(out, "The data contain: \n\t(1) only quantitative variables, same measurement scale\n"
                     "\t(2) only quantitative variables, different scales\n"
                     "\t(3) only qualitative, non binary variables\n\t(4) only binary variables\n"
                     "\t(5) several variable types \n\t(6) a contingency table \n\t\tEnter option: ");
    else
        fprintf(out, "Os dados contem: \n\t(1) somente variaveis quantitativas, mesma escala de medida\n"
                     "\t(2) somente variaveis quantitativas, escalas diferentes\n"
                     "\t(3) somente variaveis qualitativas, nao binarias\n\t(4) somente variaveis binarias\n"
                     "\t(5) varios tipos de variaveis \n\t(6) uma tabela de contingencia \n\t\tEntre opcao: ");
    fflush(out);
    int content = static_cast<int>(ScanNumber(in, Keyboard(), "1 2 3 4 5 6"));
    // 3. Sizes: at least one of each.
    const bool table = content == 6;
    fprintf(out, "%s",
            table ? (eng ? "Number of rows:    " : "Numero de linhas:    ")
                  : (eng ? "Number of sampling units:    " : "Numero de unidades amostrais:    "));
    fflush(out);
    int units = static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, 2147483647.0));
    fprintf(out, "%s",
            table ? (eng ? "Number of columns: " : "Numero de colunas: ")
                  : (eng ? "Number of variables: " : "Numero de variaveis: "));
    fflush(out);
    int variables = static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, 2147483647.0));

    // A table that cannot be in the file is incomplete: no memory is asked
    // for its cells, and the dialogue goes on to the same message as a short
    // file.
    double room = -1;
    {
        FILE* f = fopenck(name.c_str(), nullptr, "r");
        if (f) room = MostNumbersIn(f);
        if (f) fclose(f);
    }
    const bool fits = static_cast<double>(units) * variables <= room;
    // One that the file can hold may still not fit in memory: the table as
    // read, the working copy every analysis reads, and the labels. It is
    // refused before the current data set is let go.
    const double p = variables;
    if (fits && !WorkFits(eng == 1, units,
                          [p](double n) { return 2 * (n * p + n) * sizeof(double) + 30 * (n + p) + 4 * p; },
                          "the data table", "a tabela de dados", "sampling units", "unidades amostrais"))
        return 0;

    // 4. A fresh data set.
    Init();
    LivraMemoria();
    temQuant = temQual = temBin = 0;
    snprintf(filename, sizeof filename, "%s", name.c_str());
    optVarTipo = content;
    nObj = units;
    nVar = variables;
    if (fits)
        Dimensiona();
    else if (nVar <= room)
        varType = dim1DT<int>(nVar);

    // 5. Variable types.
    if (content == 5) {
        VariableTypes(varType ? nVar : room);
    } else {
        const int type = content == 3 ? 2 : (content == 4 ? 1 : 3);
        temQuant = type == 3;
        temQual = type == 2;
        temBin = type == 1;
        for (int j = 0; varType && j < nVar; j++) varType[j] = type;
    }

    // 6. Order.
    format = 'N';
    if (nVar > 1) {
        fprintf(out, "%s",
                eng ? "Data ordered by (the rows of the matrix correspond to): \n"
                    : "Dados ordenados por (as linhas da matriz correspondem a): \n");
        if (table)
            fprintf(out, "%s",
                    eng ? "\t(N) rows of the contingency table (r1c1,..., r1cp,..., rnc1,..., rncp)\n"
                          "\t(T) columns of the contingency table (r1c1,..., rnc1,..., r1cp,..., rncp)\n"
                        : "\t(N) linhas da tabela de contingencia (r1c1,..., r1cp,..., rnc1,..., rncp)\n"
                          "\t(T) colunas da tabela de contingencia (r1c1,..., rnc1,..., r1cp,..., rncp)\n");
        else
            fprintf(out, "%s",
                    eng ? "\t(N) sampling units (u1v1,..., u1vp,..., unv1,..., unvp)\n"
                          "\t(T) variables (u1v1,..., unv1,..., u1vp,..., unvp)\n"
                        : "\t(N) unidades amostrais (u1v1,..., u1vp,..., unv1,..., unvp)\n"
                          "\t(T) variaveis (u1v1,..., unv1,..., u1vp,..., unvp)\n");
        fprintf(out, "\t\t%s: ", enterOpt);
        fflush(out);
        format = static_cast<char>(toupper(ScanChar(in, "T N", Keyboard())));
    }

    // 7. Numbers, each field read whole: a field that is not a number refuses
    // the file, never shifts the table.
    FILE* f = fits ? fopenck(filename, nullptr, "r") : nullptr;
    bool complete = f != nullptr;
    const int rows = format == 'T' ? nVar : nObj, rowLength = format == 'T' ? nObj : nVar;
    LinePosition position;
    DataLines dataLines(rows, rowLength);
    if (complete) {
        for (int a = 0; complete && a < rows; a++)
            for (int b = 0; b < rowLength; b++) {
                const int unit = format == 'T' ? b : a, variable = format == 'T' ? a : b;
                char token[kTokenShown];
                const int k = ReadNumberToken(f, &dataOrig[unit][variable], token, sizeof token, filename, &position);
                if (k == tokenNumber) {
                    dataLines.Value(position.fieldLine);
                    continue;
                }
                if (k == tokenEnd) {
                    complete = false;
                    break;
                }
                if (k == tokenNotNumber) {
                    char place[64];
                    snprintf(place, sizeof place, eng ? "unit %d, variable %d" : "unidade %d, variavel %d", unit + 1,
                             variable + 1);
                    NotANumberMessage(out, eng == 1, filename, place, token);
                    // A file of another kind (a spreadsheet's CSV, a header
                    // row, names before the numbers) shows at its first field.
                    if (a == 0 && b == 0) DataFormatHint();
                    fputc(7, out);
                    LivraMemoria();
                    fclose(f);
                    return 0;
                }
            }
    }
    if (!complete) {
        LivraMemoria();
        IncompleteFile();
        if (f) fclose(f);
        return 0;
    }
    dataLines.End();
    const bool sizesWarned = DataLinesWarning(dataLines);

    // 8. Labels.
    fprintf(out, "%s",
            eng ? "\nLabels for sampling units and variables: \n\t(1) given by default (1, 2, ...) \n"
                : "\nRotulos para unidades amostrais e variaveis: \n\t(1) padrao (1, 2, ...) \n");
    fprintf(out,
            eng ? "\t(2) read labels after data on file %s\n\t       (s. units first, labels with max. %d "
                  "alphanumeric symbols)\n"
                : "\t(2) ler rotulos apos os dados no arquivo %s\n\t       (unidades amostrais primeiro, "
                  "rotulos com no max. %d simbolos alfanumericos)\n",
            filename, kLabelLength);
    fprintf(out, "\t\t%s: ", enterOpt);
    fflush(out);
    optLabel = static_cast<int>(ScanNumber(in, Keyboard(), "1 2"));
    if (optLabel == 1) {
        for (int i = 0; i < nObj; i++) snprintf(uaLabels[i], kLabelLength + 1, "%d", i + 1);
        for (int j = 0; j < nVar; j++) snprintf(varLabels[j], kLabelLength + 1, "%d", j + 1);
    } else {
        LabelLines labelLines;
        if (!ReadLabels(f, position, labelLines)) {
            LivraMemoria();
            fprintf(out,
                    eng ? "\nLabels not read because the file %s is incomplete.\nPlease check!\n"
                        : "\nRotulos nao lidos porque o arquivo %s esta incompleto.\nFavor verificar!\n",
                    filename);
            fclose(f);
            return 0;
        }
        if (!sizesWarned) LabelLinesWarning(labelLines);
        if (MoreInFile(f)) {
            // A surplus row would have become labels without a word: the
            // table loads as declared, but the user learns that the file
            // holds more.
            fprintf(out,
                    eng ? "\nWarning: file %s holds more than the declared %d x %d values and labels; the rest of it "
                          "was not read.\n"
                        : "\nAtencao: o arquivo %s contem mais que os %d x %d valores e rotulos declarados; o "
                          "restante nao foi lido.\n",
                    filename, nObj, nVar);
        }
    }

    // 9. The data as read are the current data.
    fclose(f);
    for (int i = 0; i < nObj; i++) memcpy(data[i], dataOrig[i], sizeof(double) * nVar);
    temDados = 1;

    // 10. Report.
    optPrintData = AskYes("\nInclude data matrix in the output file? y/n ",
                          "\nIncluir matriz de dados no arquivo com resultados? s/n ")
                       ? 's'
                       : 'n';
    if (optPrintData != 's') return 1;

    // Asked before the report is opened: another run may be waiting to
    // write to it while this one waits for the answer.
    const bool expand =
        table &&
        AskYes("Do you wish to expand the contingeny table into data with two nominal variables (the first "
               "specifying the row, the second the column)? y/n ",
               "Expandir tabela de contingencia em dados com duas variaveis nominais (a primeira especificando a "
               "linha, a segunda a coluna)? s/n ");

    // 11. The data in the report.
    FILE* report = fopenck("Vidive.txt", nullptr, modeVidive);
    if (report) {
        fprintf(report, "\n%s\n", line);
        fprintf(report, eng ? "TEVLAN version %s" : "TEVLAN versao %s", versao);
        fprintf(report, "\n%s\n", line);
        timer = time(nullptr);
        fprintf(report, "%s", ctime(&timer));
        ShowStatus(report);
        fprintf(report, "%s", eng ? "\nOriginal data matrix:\n" : "\nMatriz de dados original:\n");
        fprintf(report,
                eng ? "\t(Rows= %d sampling units, columns= %d variables)\n"
                    : "\t(Linhas= %d unidades amostrais, colunas= %d variaveis)\n",
                nObj, nVar);
        fprintf(report, "%s", eng ? "Labels of sampling units:\t" : "Rotulos das unidades amostrais:\t");
        PrintStringVectorTab(report, nObj, uaLabels);
        fprintf(report, "%s", eng ? "Labels of variables:\t" : "Rotulos das variaveis:\t");
        PrintStringVectorTab(report, nVar, varLabels);
        PrintMatrixFloat(report, nObj, nVar, dataOrig, sDigits, 0);
    }
    // 12. A contingency table may be written out as two nominal variables.
    if (expand && report) ExpandContingencyTable(report);
    // 13. Done. The user is sent to the report only when it holds the data.
    bool written = false;
    if (report) {
        written = fcloseck(report, "Vidive.txt");
        if (strcmp(modeVidive, "w") == 0) strcpy(modeVidive, "a");
    }
    ClearLine();
    if (written) fprintf(out, "%s", eng ? "\nSee data on file Vidive.txt.\n" : "\nVeja dados no arquivo Vidive.txt.\n");
    return 1;
}

int SpecifySession() {
    fprintf(out, "%s",
            eng ? "Wish to specify new data (n) or to open (o) an existing session? n/o "
                : "Deseja especificar novos dados (n) ou abrir (a) uma sessao ja existente? n/a ");
    fflush(out);
    int key = ScanChar(in, eng ? "n o" : "n a", Keyboard());
    // Whether a data set was loaded or a session opened (here or through the
    // renewed offer of the last session).
    bool loaded = false;
    if (key != 'n') {
        loaded = OpenSession() == 1;
    } else if (AbreDados() == 1) {
        if (strcmp(sessionName, "Sessao") != 0 &&
            AskYes("Wish to rename this session? y/n ", "Deseja renomear esta sessao? s/n "))
            SaveSession();
        WriteSessionTrack();
        loaded = true;
    } else {
        CheckSession();
        loaded = temDados == 1;
    }
    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
    SetStepReached();
    return loaded ? 1 : 0;
}
