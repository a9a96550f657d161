// A fixture for unit tests of the dialogue drivers: English, no data set but
// the one a test sets up, a temporary folder as the working folder, and the
// answers read from a script with the console and the standard error kept.
#ifndef TEST_DRIVER_FIXTURE_H
#define TEST_DRIVER_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "dataset_util.h"
#include "stream_util.h"

class DriverTest : public testing::Test {
protected:
    void SetUp() override {
        ResetCurrentDataSet();
        English();
        char tmpl[] = "/tmp/tevlan_driverXXXXXX";
        folder_ = mkdtemp(tmpl);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
    }
    void TearDown() override {
        ResetCurrentDataSet();
        English();
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_);
    }
    // A current data set of n units labelled u1..un (one variable of zeros),
    // read from "units.txt".
    void Units(int n) {
        LivraMemoria();
        nObj = n;
        nVar = 1;
        Dimensiona();
        for (int i = 0; i < n; i++) snprintf(uaLabels[i], 30, "u%d", i + 1);
        snprintf(filename, sizeof filename, "%s", "units.txt");
        temDados = 1;
    }
    void English() {
        port = 0;
        eng = 1;
        Initialize();
    }
    void Portuguese() {
        port = 1;
        eng = 0;
        Initialize();
    }
    void Put(const std::string& name, const std::string& text) {
        FILE* f = fopen(name.c_str(), "w");
        fputs(text.c_str(), f);
        fclose(f);
    }
    // Runs call on the answers; the console goes to shown_, the standard
    // error to err_, and the error code thrown (0 if none) is returned.
    template <class F>
    int Run(const std::string& answers, F&& call) {
        testing::internal::CaptureStderr();
        int code = ThrownCode([&] { WithConsole(answers, shown_, call); });
        err_ = testing::internal::GetCapturedStderr();
        return code;
    }

    std::string shown_, err_;
    std::string folder_;
    std::filesystem::path previous_;
};

#endif
