#include "Tevlan_main.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "iflibG.h"
#include "rhlibDim.h"

namespace {

// The RETURN awaited after a fatal message is read from the keyboard, but
// never beyond the end of its input.
void WaitForReturn() {
    int c;
    while ((c = getchar()) != EOF && c != '\n') {
    }
}

void FatalMessage(const char* english, const char* portuguese, bool inEnglish) {
    fflush(stdout);
    fputs(inEnglish ? english : portuguese, stderr);
    fputs(inEnglish ? "\nPress RETURN to exit.\n" : "\nPressione RETURN para sair.\n", stderr);
    fputc(7, stderr);
    fflush(stderr);
    WaitForReturn();
}

}  // namespace

// A fatal end is reported to the shell as a failure (status 1), whatever
// the code; key X is the only way out with status 0, and only when every
// result of the run was written.
int HandleError(int code) {
    switch (code) {
        case 2:
            FatalMessage("\nEND OF FILE !!!\n", "\nARQUIVO INCOMPLETO !!!\n", eng == 1);
            break;
        case 3:
            FatalMessage("\nFAIL TO PRINT ON FILE !!!\n", "\nFALHA AO ESCREVER NO ARQUIVO !!!\n", eng == 1);
            break;
        case 4:
            FatalMessage("\nFAIL TO OPEN FILE !!!\n", "\nFALHA AO ABRIR ARQUIVO !!!\n", eng == 1);
            break;
        default:
            break;
    }
    return 1;
}

int mainInit() {
    char* reserve = new (std::nothrow) char[16384];
    try {
        TevlanMain();
        delete[] reserve;
        fflush(stdout);
        // A run that lost a report block, a session or an output file is no
        // success to a script that goes on with its files.
        if (!SomeWriteFailed()) return 0;
        fputs(eng == 1 ? "\nSome results were not written: see the messages above.\n"
                       : "\nAlguns resultados nao foram escritos: veja as mensagens acima.\n",
              stderr);
        return 1;
    } catch (int code) {
        delete[] reserve;
        return HandleError(code);
    } catch (const std::bad_alloc&) {
        delete[] reserve;
        FatalMessage("\nOUT OF MEMORY !!!\n", "\nOUT OF MEMORY !!!\n", true);
        return 1;
    } catch (const std::exception& e) {
        // Any other failure of the standard library (a size beyond what a
        // container can hold, say) is an orderly end with its reason, never
        // an abort.
        delete[] reserve;
        const std::string message = std::string("\n") + e.what() + " !!!\n";
        FatalMessage(message.c_str(), message.c_str(), true);
        return 1;
    }
}

// The thread team is sized to the memory limits, and its waits set, before
// the shared libraries start (see PrepareStart).
__attribute__((section(".preinit_array"), used)) static void (*const beforeLibraries)(int, char**, char**) =
    PrepareStart;

int main() { return mainInit(); }
