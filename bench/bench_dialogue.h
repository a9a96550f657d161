// A quiet setting for benchmarks of whole test dialogues: a temporary
// working folder, one thread, the console and the progress line sent to
// /dev/null; everything is put back when it goes out of scope.
#ifndef BENCH_DIALOGUE_H
#define BENCH_DIALOGUE_H

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "iflibG.h"

struct QuietDialogue {
    QuietDialogue() : previous(std::filesystem::current_path()) {
        char tmpl[] = "/tmp/tevlan_benchXXXXXX";
        folder = mkdtemp(tmpl);
        std::filesystem::current_path(folder);
        InitMultiprocessing(1);
        Initialize();
        sink = fopen("/dev/null", "w");
        SetProgressStream(sink);
        out = sink;
    }
    ~QuietDialogue() {
        LivraMemoria();
        out = savedOut;
        in = savedIn;
        SetProgressStream(nullptr);
        fclose(sink);
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(folder);
    }
    QuietDialogue(const QuietDialogue&) = delete;
    QuietDialogue& operator=(const QuietDialogue&) = delete;

    // Runs call with the answers on `in` and a fresh report.
    template <class F>
    void Answer(std::string answers, F&& call) {
        strcpy(modeVidive, "w");
        in = fmemopen(&answers[0], answers.size(), "r");
        call();
        fclose(in);
    }

    std::filesystem::path previous;
    std::string folder;
    FILE* sink = nullptr;
    FILE* savedOut = out;
    FILE* savedIn = in;
};

#endif
