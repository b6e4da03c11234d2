// The three programs run headless against hostile data files, key storms, long
// runs and a tick count that wraps: they never crash or hang, say what is wrong
// with a file on stderr, and every number they trace stays finite.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/json_line.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Program {
    const char* name;
    const char* exe;
    std::vector<std::string> files;  // the data files it reads
};

const Program kArticulated{"articulated", ARTICULATED_EXE, {"walk.smd", "run.smd", "barney.smd"}};
const Program kPathmove{"pathmove", PATHMOVE_EXE, {"walk.smd", "run.smd", "barney.smd"}};
const Program kIkreach{"ikreach", IKREACH_EXE, {"barney.smd"}};

struct RunResult {
    int exitCode = -1;  // -1: killed by a signal or by the time limit
    int signal = 0;
    bool timedOut = false;
    std::string err;
    std::vector<std::string> lines;
    std::vector<JsonFields> trace;
    long peakRssKb = 0;
};

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a program with stderr to a file, at most `limitSeconds` long; samples
// the peak resident size (VmHWM) while it runs.
RunResult runProgram(const Program& program, const fs::path& dir, const fs::path& data, long frames,
                     const std::string& script, std::vector<std::string> extra = {},
                     int limitSeconds = 120) {
    const fs::path trace = dir / "trace.jsonl", err = dir / "stderr.txt",
                   scriptFile = dir / "script.txt";
    fs::remove(trace);
    std::vector<std::string> args = {program.exe,   "--headless",  "--data",
                                     data.string(), "--frames",    std::to_string(frames),
                                     "--trace",     trace.string()};
    if (!script.empty()) {
        std::ofstream(scriptFile) << script;
        args.push_back("--script");
        args.push_back(scriptFile.string());
    }
    for (std::string& e : extra) args.push_back(e);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    RunResult r;
    const int spawned = posix_spawn(&pid, program.exe, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        r.err = "cannot start " + std::string(program.exe);
        return r;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
    int status = 0;
    const std::string statusFile = "/proc/" + std::to_string(pid) + "/status";
    for (;;) {
        // The high-water mark of the resident set, while the process exists.
        std::ifstream in(statusFile);
        for (std::string line; std::getline(in, line);)
            if (line.rfind("VmHWM:", 0) == 0)
                r.peakRssKb = std::max(r.peakRssKb, std::stol(line.substr(6)));
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            r.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    r.err = readAll(err);
    std::ifstream in(trace);
    for (std::string line; std::getline(in, line);) {
        r.lines.push_back(line);
        JsonFields f;
        std::string error;
        if (parseJsonLine(line, f, error)) r.trace.push_back(std::move(f));
    }
    return r;
}

double num(const JsonFields& f, const std::string& key) {
    auto it = f.find(key);
    return it == f.end() || it->second.kind != JsonValue::Kind::Number ? NAN : it->second.number;
}

// A run ended on its own, with every trace line valid JSON (a non-finite number
// is printed as nan or inf, which is not), every number finite and the clip
// indices inside the clip.
void expectSoundRun(const RunResult& r, long frames, const std::string& what) {
    EXPECT_FALSE(r.timedOut) << what;
    EXPECT_EQ(r.signal, 0) << what << ": killed by signal " << r.signal << "\n" << r.err;
    EXPECT_EQ(r.exitCode, 0) << what << "\n" << r.err;
    EXPECT_EQ(static_cast<long>(r.lines.size()), frames) << what << "\n" << r.err;
    ASSERT_EQ(r.trace.size(), r.lines.size()) << what << ": a trace line is not valid JSON";
    for (size_t i = 0; i < r.trace.size(); ++i) {
        for (const auto& [key, value] : r.trace[i]) {
            if (value.kind == JsonValue::Kind::Number) {
                ASSERT_TRUE(std::isfinite(value.number))
                    << what << " frame " << i + 1 << " " << key;
            }
        }
        const double clipFrames = num(r.trace[i], "clip.frames");
        if (std::isnan(clipFrames)) continue;
        for (const char* index : {"clip.current", "clip.next"}) {
            const double v = num(r.trace[i], index);
            if (clipFrames == 0) {
                EXPECT_EQ(v, 0) << what << " frame " << i + 1 << " " << index;
            } else {
                EXPECT_TRUE(v >= 0 && v < clipFrames) << what << " frame " << i + 1 << " " << index
                                                      << " " << v << " of " << clipFrames;
            }
        }
    }
}

class ProgramRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("robust_run_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "data");
        for (const char* f : {"walk.smd", "run.smd", "barney.smd"})
            fs::copy_file(fs::path(DATA_DIR) / f, dir / "data" / f);
    }
    void TearDown() override {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir / "data", ec))
            fs::permissions(e.path(), fs::perms::owner_all, ec);
        if (!HasFailure()) fs::remove_all(dir, ec);
    }
    fs::path dir;
};

// ---- hostile data files ----------------------------------------------------

struct Hostile {
    std::string name;
    enum Kind { Text, Directory, Fifo, SymlinkLoop, NoPermission } kind = Text;
    std::string text;
    bool quiet = false;  // a valid file: nothing to report
};

std::string chain(int bones, const std::string& key) {
    std::string s = "version 1\nnodes\n";
    for (int i = 0; i < bones; ++i)
        s += std::to_string(i) + " \"b" + std::to_string(i) + "\" " + std::to_string(i - 1) + "\n";
    s += "end\nskeleton\n";
    for (int f = 0; f < 3; ++f) {
        s += "time " + std::to_string(f) + "\n";
        for (int i = 0; i < bones; ++i) s += std::to_string(i) + " " + key + "\n";
    }
    return s + "end\n";
}

// Every hostile variant of one good file.
std::vector<Hostile> hostileFiles(const std::string& good) {
    std::vector<Hostile> out;
    out.push_back({"empty", Hostile::Text, ""});
    out.push_back({"first_line_only", Hostile::Text, "version 1\n"});
    const size_t skeleton = good.find("skeleton"), triangles = good.find("triangles");
    out.push_back({"cut_in_nodes", Hostile::Text, good.substr(0, good.find("end") / 2)});
    if (skeleton != std::string::npos)
        out.push_back({"cut_in_skeleton", Hostile::Text, good.substr(0, skeleton + 4000)});
    if (triangles != std::string::npos)
        out.push_back({"cut_in_triangles", Hostile::Text, good.substr(0, triangles + 300)});
    std::string word = good;
    word.insert(skeleton + 9, std::string(100000, '7') + " ");
    out.push_back({"word_100000", Hostile::Text, word});
    std::string name = good;
    name.insert(name.find('"') + 1, std::string(10000, 'n'));
    out.push_back({"bone_name_10000", Hostile::Text, name});
    for (const char* n : {"nan", "inf", "1e999", "-0", "3e38"}) {
        Hostile h{std::string("number_") + n, Hostile::Text,
                  chain(30, std::string("0 0 ") + n + " " + n + " 0.1 " + n)};
        h.quiet = std::string(n) == "-0";
        out.push_back(h);
    }
    out.push_back({"parents_out_of_range", Hostile::Text,
                   "version 1\nnodes\n0 \"a\" 5\n1 \"b\" -9\n2 \"c\" 1\nend\nskeleton\ntime 0\n0 1 "
                   "0 0 0 0 0\n"
                   "1 0 1 0 0 0 0\n2 0 0 1 0 0 0\nend\n"});
    out.push_back(
        {"parents_in_a_cycle", Hostile::Text,
         "version 1\nnodes\n0 \"a\" 2\n1 \"b\" 0\n2 \"c\" 1\nend\nskeleton\ntime 0\n0 1 0 0 0 0 0\n"
         "1 0 1 0 0 0 0\n2 0 0 1 0 0 0\nend\n"});
    std::string few = chain(20, "0 0 2 0.1 0 0");
    few.insert(few.find("time 1"), "");
    few = few.substr(0, few.find("time 1")) + "time 1\n0 0 0 1 0 0 0\n" +
          few.substr(few.find("time 2"));
    out.push_back({"frame_with_fewer_keys", Hostile::Text, few});
    out.push_back({"bones_70", Hostile::Text, chain(70, "0 0 1 0.05 0 0")});
    out.push_back({"bones_120", Hostile::Text, chain(120, "0 0 1 0.05 0 0")});
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131 + 7) & 0xFF);
    out.push_back({"binary", Hostile::Text, binary});
    out.push_back({"directory", Hostile::Directory, ""});
    out.push_back({"fifo", Hostile::Fifo, ""});
    out.push_back({"symlink_loop", Hostile::SymlinkLoop, ""});
    out.push_back({"no_permission", Hostile::NoPermission, good});
    return out;
}

// Puts the hostile variant in place of `file`; false when it cannot be made
// to fail here (no permission as root).
bool place(const Hostile& h, const fs::path& file) {
    fs::remove(file);
    switch (h.kind) {
        case Hostile::Text:
            std::ofstream(file, std::ios::binary) << h.text;
            return true;
        case Hostile::Directory:
            fs::create_directory(file);
            return true;
        case Hostile::Fifo:
            return mkfifo(file.c_str(), 0600) == 0;
        case Hostile::SymlinkLoop:
            fs::create_symlink(file.filename(), file);
            return true;
        case Hostile::NoPermission:
            std::ofstream(file, std::ios::binary) << h.text;
            fs::permissions(file, fs::perms::none);
            return access(file.c_str(), R_OK) != 0;
    }
    return false;
}

// Every file a program reads, in turn replaced by every hostile variant, with a
// script that loads each clip file (articulated, pathmove) or starts a walk
// (ikreach).
void hostileRuns(const Program& program, const fs::path& dir, const std::string& script,
                 long frames, std::vector<std::string> extra) {
    for (const std::string& file : program.files) {
        const std::string good = readAll(fs::path(DATA_DIR) / file);
        for (const Hostile& h : hostileFiles(good)) {
            const fs::path target = dir / "data" / file;
            if (!place(h, target)) continue;
            const std::string what = std::string(program.name) + " with " + h.name + " as " + file;
            const RunResult r = runProgram(program, dir, dir / "data", frames, script, extra, 60);
            expectSoundRun(r, frames, what);
            // Up to 68 bones fit articulated's strips, up to 99 the others'.
            const bool fits = h.name == "bones_70" && std::string(program.name) != "articulated";
            if (!h.quiet && !fits) {
                EXPECT_NE(r.err.find(file), std::string::npos) << what << ": stderr names no file\n"
                                                               << r.err;
            }
            // Back to the good file for the next variant.
            std::error_code ec;
            fs::permissions(target, fs::perms::owner_all, ec);
            fs::remove_all(target);
            fs::copy_file(fs::path(DATA_DIR) / file, target);
        }
    }
}

const char kClipKeys[] = "50 key R\n150 key A\n250 key A\n300 key S\n450 key W\n600 key R\n";

TEST_F(ProgramRun, ArticulatedSurvivesHostileFiles) {
    hostileRuns(kArticulated, dir, kClipKeys, 50, {});
}

TEST_F(ProgramRun, PathmoveSurvivesHostileFiles) {
    // 100 ms steps: the passes reach the running phase (run.smd) within the run.
    hostileRuns(kPathmove, dir, kClipKeys, 60, {"--step", "100"});
}

TEST_F(ProgramRun, IkreachSurvivesHostileFiles) {
    hostileRuns(kIkreach, dir, "50 key LEFT\n100 key RETURN\n2300 key PRIOR\n2400 key RETURN\n", 60,
                {"--step", "100"});
}

// ---- key storms ------------------------------------------------------------

// Every bound key hundreds of times in a mixed order, clip switches in the
// middle of interpolation, Enter during walks and blends, and mouse drags.
std::string keyStorm(const std::vector<std::string>& keys, uint32_t events, uint32_t everyMs) {
    std::string s;
    uint32_t state = 12345;
    auto next = [&] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    for (uint32_t i = 0; i < events; ++i) {
        const uint32_t ms = i * everyMs;
        switch (next() % 6) {
            case 0:
                s += std::to_string(ms) + " lbuttondown " + std::to_string(next() % 484) + " " +
                     std::to_string(next() % 461) + "\n";
                break;
            case 1:
                s += std::to_string(ms) + " mousemove " + std::to_string(next() % 484) + " " +
                     std::to_string(next() % 461) + "\n";
                break;
            case 2:
                s += std::to_string(ms) + (next() % 2 ? " lbuttonup " : " rbuttondown ") +
                     std::to_string(next() % 484) + " " + std::to_string(next() % 461) + "\n";
                break;
            default:
                s += std::to_string(ms) + " key " + keys[next() % keys.size()] + "\n";
        }
    }
    return s;
}

const std::vector<std::string> kClipStormKeys = {"R", "W", "S", "A",    "ADD", "SUBTRACT", "F1",
                                                 "R", "W", "A", "LEFT", "Q",   "7"};

TEST_F(ProgramRun, ArticulatedKeyStorm) {
    const RunResult r =
        runProgram(kArticulated, dir, dir / "data", 800, keyStorm(kClipStormKeys, 2400, 5));
    expectSoundRun(r, 800, "articulated key storm");
}

TEST_F(ProgramRun, PathmoveKeyStorm) {
    const RunResult r = runProgram(kPathmove, dir, dir / "data", 800,
                                   keyStorm(kClipStormKeys, 2400, 5), {"--step", "33"});
    expectSoundRun(r, 800, "pathmove key storm");
}

TEST_F(ProgramRun, IkreachKeyStorm) {
    const std::vector<std::string> keys = {"LEFT", "RIGHT",  "UP",     "DOWN", "PRIOR",
                                           "NEXT", "RETURN", "RETURN", "F1",   "A",
                                           "R",    "S",      "W"};
    const RunResult r =
        runProgram(kIkreach, dir, dir / "data", 800, keyStorm(keys, 2400, 17), {"--step", "50"});
    expectSoundRun(r, 800, "ikreach key storm");
}

// ---- long runs -------------------------------------------------------------

// The resident set of a long run stays at the size of a short one: nothing
// grows with the frames drawn.
void longRun(const Program& program, const fs::path& dir, const std::string& script) {
    const long shortFrames = 2000, longFrames = 20000;
    const RunResult a =
        runProgram(program, dir, dir / "data", shortFrames, script, {"--step", "16"}, 300);
    expectSoundRun(a, shortFrames, std::string(program.name) + " short run");
    const RunResult b =
        runProgram(program, dir, dir / "data", longFrames, script, {"--step", "16"}, 600);
    expectSoundRun(b, longFrames, std::string(program.name) + " long run");
    ASSERT_GT(a.peakRssKb, 0);
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer holds freed memory in its quarantine (up to 256 MB), so the
    // resident set says nothing about leaks here; LeakSanitizer checks those.
    GTEST_SKIP() << "resident memory is not comparable under AddressSanitizer";
#endif
    // Allocators and drivers settle within a few megabytes; a leak of even
    // 100 bytes per frame would add 1.8 MB over the extra 18 000 frames.
    EXPECT_LT(b.peakRssKb - a.peakRssKb, 4096)
        << program.name << ": peak RSS " << a.peakRssKb << " kB after " << shortFrames
        << " frames, " << b.peakRssKb << " kB after " << longFrames;
}

TEST_F(ProgramRun, PathmoveLongRunKeepsItsMemory) {
    longRun(kPathmove, dir, "1000 key R\n3000 key W\n");
}

TEST_F(ProgramRun, IkreachLongRunKeepsItsMemory) {
    std::string script;
    for (int i = 0; i < 60; ++i)
        script += std::to_string(i * 5000) + " key " + (i % 2 ? "LEFT" : "PRIOR") + "\n" +
                  std::to_string(i * 5000 + 10) + " key RETURN\n";
    longRun(kIkreach, dir, script);
}

// ---- tick wrap-around ------------------------------------------------------

constexpr const char* kWrapStart = "4294967000";  // wraps after 296 ms

TEST_F(ProgramRun, ArticulatedClockAndFpsCarryOnAcrossTheWrap) {
    const RunResult r =
        runProgram(kArticulated, dir, dir / "data", 400, "", {"--tick-start", kWrapStart});
    expectSoundRun(r, 400, "articulated wrap");
    // 16 ms frames: the frame changes every 19th frame (304 ms > 300), the same
    // before and after the wrap, and elapsedMs never jumps.
    int changes = 0;
    for (size_t i = 1; i < r.trace.size(); ++i) {
        const double e = num(r.trace[i], "clip.elapsedMs"),
                     before = num(r.trace[i - 1], "clip.elapsedMs");
        EXPECT_TRUE(e == before + 16 || e == 0)
            << "frame " << i + 1 << ": " << before << " -> " << e;
        EXPECT_LE(e, 300) << "frame " << i + 1;
        changes += num(r.trace[i], "clip.current") != num(r.trace[i - 1], "clip.current");
    }
    EXPECT_GE(changes, 19);
    EXPECT_LE(changes, 21);
    // About 62 frames per second (1000 / 16), shown once a second, wrap or not.
    for (size_t i = 150; i < r.trace.size(); ++i) {
        const double fps = num(r.trace[i], "fps");
        EXPECT_TRUE(fps >= 60 && fps <= 64) << "frame " << i + 1 << " fps " << fps;
    }
}

TEST_F(ProgramRun, PathmovePassCarriesOnAcrossTheWrap) {
    const RunResult r =
        runProgram(kPathmove, dir, dir / "data", 300, "", {"--tick-start", kWrapStart});
    expectSoundRun(r, 300, "pathmove wrap");
    for (size_t i = 1; i < r.trace.size(); ++i) {
        const double f = num(r.trace[i], "path.fraction"),
                     before = num(r.trace[i - 1], "path.fraction");
        EXPECT_NEAR(f - before, 16.0 / 7000.0, 1e-6) << "frame " << i + 1;
        const double x = num(r.trace[i], "path.ground.0"),
                     px = num(r.trace[i - 1], "path.ground.0");
        const double y = num(r.trace[i], "path.ground.1"),
                     py = num(r.trace[i - 1], "path.ground.1");
        EXPECT_LT(std::hypot(x - px, y - py), 5.0) << "frame " << i + 1;
    }
}

TEST_F(ProgramRun, IkreachWalkAndBlendCarryOnAcrossTheWrap) {
    // Enter 100 ms before the wrap: the two-second walk and then the blend run
    // across it.
    const RunResult r = runProgram(kIkreach, dir, dir / "data", 250,
                                   "100 key LEFT\n150 key RETURN\n", {"--tick-start", kWrapStart});
    expectSoundRun(r, 250, "ikreach wrap");
    double lastFraction = -1, highest = 0;
    int walked = 0;
    bool finished = false;
    for (size_t i = 0; i < r.trace.size(); ++i) {
        const double f = num(r.trace[i], "path.fraction");
        if (!std::isnan(f)) {
            // The walk's fraction grows by 16 / 2000 a frame, across the wrap too.
            if (lastFraction >= 0 && f > lastFraction && f < 1.0) {
                EXPECT_NEAR(f - lastFraction, 16.0 / 2000.0, 1e-6) << "frame " << i + 1;
            }
            lastFraction = f;
            highest = std::max(highest, f);
            ++walked;
        }
        auto it = r.trace[i].find("reach.finished");
        finished |= it != r.trace[i].end() && it->second.boolean;
    }
    EXPECT_GE(walked, 120);    // the whole walk, not cut short by the wrap
    EXPECT_GT(highest, 0.99);  // it reached its end
    EXPECT_TRUE(finished) << "the blend ends within the run";
}

}  // namespace
