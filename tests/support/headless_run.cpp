#include "tests/support/headless_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

void HeadlessRun::SetUp() {
    dir = fs::temp_directory_path() /
          (scratchName_ + "_" + std::to_string(getpid()) + "_" +
           std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
}

void HeadlessRun::TearDown() {
    if (!HasFailure()) fs::remove_all(dir);
}

PngImage HeadlessRun::image(const std::string& name) const {
    PngImage img;
    std::string error;
    EXPECT_TRUE(readPng(path(name), img, error)) << error;
    return img;
}

HeadlessResult HeadlessRun::runHeadless(const char* exe, const std::string& data,
                                        const std::optional<std::string>& script,
                                        const std::string& extra) {
    std::string command = std::string("'") + exe + "' --headless --data '" + data + "' --trace '" +
                          path("trace.jsonl") + "'";
    if (script) {
        std::ofstream(path("script.txt")) << *script;
        command += " --script '" + path("script.txt") + "'";
    }
    command += " " + extra + " 2>'" + path("stderr.txt") + "' >/dev/null";
    HeadlessResult r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::stringstream s;
    s << std::ifstream(path("stderr.txt")).rdbuf();
    r.err = s.str();
    std::ifstream in(path("trace.jsonl"));
    for (std::string line; std::getline(in, line);) {
        JsonFields f;
        std::string error;
        EXPECT_TRUE(parseJsonLine(line, f, error)) << error << ": " << line;
        r.trace.push_back(f);
    }
    return r;
}
