// A test fixture that runs a program's real executable headless in a scratch
// folder of its own (per process and test; kept when the test fails) and reads
// back what it wrote: exit status, stderr and the per-frame trace.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/json_line.h"
#include "tests/support/png_image.h"

struct HeadlessResult {
    int status = -1;  // the exit status, -1 when the program did not exit normally
    std::string err;  // what it wrote on stderr
    std::vector<JsonFields> trace;
};

class HeadlessRun : public ::testing::Test {
protected:
    // `scratchName` names the scratch folder ("<scratchName>_<pid>_<test>").
    explicit HeadlessRun(std::string scratchName) : scratchName_(std::move(scratchName)) {}
    void SetUp() override;
    void TearDown() override;

    std::string path(const std::string& name) const { return (dir / name).string(); }
    PngImage image(const std::string& name) const;

    // Runs `exe --headless --data DATA --trace FILE [--script FILE] EXTRA`; the
    // script text, when given, is written to the scratch folder first.
    HeadlessResult runHeadless(const char* exe, const std::string& data,
                               const std::optional<std::string>& script, const std::string& extra);

    std::filesystem::path dir;

private:
    std::string scratchName_;
};
