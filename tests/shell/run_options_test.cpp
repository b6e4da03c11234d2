#include "shell/run_options.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shell/services.h"

namespace {

struct ScriptCase {
    const char* line;
    ScriptEvent::Kind kind;
    uint32_t atMs;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

TEST(ParseScript, EveryEventBecomesTheMessageAWindowWouldGet) {
    const ScriptCase cases[] = {
        {"0 key ESCAPE", ScriptEvent::Kind::Message, 0, msg::KeyDown, vk::Escape, 0},
        {"5 key RETURN", ScriptEvent::Kind::Message, 5, msg::KeyDown, vk::Return, 0},
        {"10 key F1", ScriptEvent::Kind::Message, 10, msg::KeyDown, vk::F1, 0},
        {"10 key ADD", ScriptEvent::Kind::Message, 10, msg::KeyDown, vk::Add, 0},
        {"10 key SUBTRACT", ScriptEvent::Kind::Message, 10, msg::KeyDown, vk::Subtract, 0},
        {"10 key PRIOR", ScriptEvent::Kind::Message, 10, msg::KeyDown, vk::Prior, 0},
        {"10 key NEXT", ScriptEvent::Kind::Message, 10, msg::KeyDown, vk::Next, 0},
        {"10 key LEFT", ScriptEvent::Kind::Message, 10, msg::KeyDown, vk::Left, 0},
        {"10 key UP", ScriptEvent::Kind::Message, 10, msg::KeyDown, vk::Up, 0},
        {"10 key RIGHT", ScriptEvent::Kind::Message, 10, msg::KeyDown, vk::Right, 0},
        {"10 key DOWN", ScriptEvent::Kind::Message, 10, msg::KeyDown, vk::Down, 0},
        {"10 key A", ScriptEvent::Kind::Message, 10, msg::KeyDown, 'A', 0},
        {"10 key w", ScriptEvent::Kind::Message, 10, msg::KeyDown, 'W', 0},
        {"10 key 7", ScriptEvent::Kind::Message, 10, msg::KeyDown, '7', 0},
        {"4294967295 key S", ScriptEvent::Kind::Message, 4294967295u, msg::KeyDown, 'S', 0},
        {"20 lbuttondown 250 240", ScriptEvent::Kind::Message, 20, msg::LButtonDown, 0,
         250 | (240 << 16)},
        {"20 lbuttonup 1 2", ScriptEvent::Kind::Message, 20, msg::LButtonUp, 0, 1 | (2 << 16)},
        {"20 rbuttondown 0 0", ScriptEvent::Kind::Message, 20, msg::RButtonDown, 0, 0},
        {"20 rbuttonup 483 460", ScriptEvent::Kind::Message, 20, msg::RButtonUp, 0,
         483 | (460 << 16)},
        {"20 mousemove 65535 65535", ScriptEvent::Kind::Message, 20, msg::MouseMove, 0,
         static_cast<intptr_t>(0xFFFFFFFFu)},
        {"\t30   close  ", ScriptEvent::Kind::Close, 30, 0, 0, 0},
    };
    for (const ScriptCase& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<ScriptEvent> events;
        std::string error;
        ASSERT_TRUE(parseScript(c.line, events, error)) << error;
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].kind, c.kind);
        EXPECT_EQ(events[0].atMs, c.atMs);
        EXPECT_EQ(events[0].message, c.message);
        EXPECT_EQ(events[0].wParam, c.wParam);
        EXPECT_EQ(static_cast<uint32_t>(events[0].lParam), static_cast<uint32_t>(c.lParam));
    }
}

TEST(ParseScript, KeepsFileOrderAndSkipsCommentsAndBlankLines) {
    const char* text =
        "# a drag\n"
        "\n"
        "50 lbuttondown 250 250   # press\r\n"
        "   \n"
        "50 key a\n"
        "200 capture shots/with blank.png  \n"
        "300 close";
    std::vector<ScriptEvent> events;
    std::string error;
    ASSERT_TRUE(parseScript(text, events, error)) << error;
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].atMs, 50u);
    EXPECT_EQ(events[0].message, msg::LButtonDown);
    EXPECT_EQ(events[1].message, msg::KeyDown);  // same time: file order is the posting order
    EXPECT_EQ(events[2].kind, ScriptEvent::Kind::Capture);
    EXPECT_EQ(std::filesystem::path(events[2].file).filename().string(), "with blank.png");
    EXPECT_TRUE(std::filesystem::path(events[2].file).is_absolute());
    EXPECT_EQ(events[3].kind, ScriptEvent::Kind::Close);
}

TEST(ParseScript, RejectsBadLinesNamingTheLine) {
    const struct {
        const char* text;
        const char* lineTag;
    } cases[] = {
        {"key A", "1: "},
        {"-1 key A", "1: "},
        {"4294967296 key A", "1: "},
        {"10", "1: "},
        {"# ok\n10 jump", "2: "},
        {"10 key", "1: "},
        {"10 key A B", "1: "},
        {"10 key PLUS", "1: "},
        {"10 key AB", "1: "},
        {"10 mousemove 1", "1: "},
        {"10 mousemove 1 2 3", "1: "},
        {"10 mousemove -1 2", "1: "},
        {"10 mousemove 65536 2", "1: "},
        {"10 lbuttondown x 2", "1: "},
        {"1 close\n2 close now", "2: "},
        {"10 capture", "1: "},
        {"10 capture   # only a comment", "1: "},
        {"2000 key F1\n# later\n100 close", "3: "},  // out of time order
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<ScriptEvent> events{ScriptEvent{}};
        std::string error;
        EXPECT_FALSE(parseScript(c.text, events, error));
        EXPECT_EQ(error.rfind(c.lineTag, 0), 0u) << error;
        EXPECT_EQ(events.size(), 1u) << "output must stay untouched on failure";
    }
}

// Runs parseRunOptions on a list of arguments, capturing stderr.
struct Parsed {
    OptionsOutcome outcome;
    RunOptions options;
};
Parsed parse(std::vector<std::string> args, const char* fileArgument = nullptr) {
    args.insert(args.begin(), "articulated");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    Parsed r;
    r.outcome = parseRunOptions(static_cast<int>(argv.size()), argv.data(), "articulated",
                                "VX330_1: Articulated Model", r.options, fileArgument);
    return r;
}

class ParseRunOptions : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("run_options_test_" + std::to_string(getpid()) + "_" +
               std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string write(const char* name, const char* text) {
        const auto p = dir / name;
        std::ofstream(p) << text;
        return p.string();
    }
    std::filesystem::path dir;
};

TEST_F(ParseRunOptions, NoOptionsMeansTheDesignedProgram) {
    const Parsed r = parse({});
    ASSERT_EQ(r.outcome, OptionsOutcome::Run);
    EXPECT_FALSE(r.options.headless);
    EXPECT_EQ(r.options.tickStart, 1000000u);
    EXPECT_EQ(r.options.stepMs, 16u);
    EXPECT_EQ(r.options.frames, -1);
    EXPECT_TRUE(r.options.dataDir.empty());
    EXPECT_TRUE(r.options.script.empty());
    EXPECT_TRUE(r.options.captureFile.empty());
    EXPECT_TRUE(r.options.traceFile.empty());
}

TEST_F(ParseRunOptions, ReadsEveryOptionInBothSpellings) {
    const std::string script = write("s.txt", "0 key F1\n16 close\n");
    const Parsed r =
        parse({"--data", "d", "--headless", "--tick-start", "4294967000", "--step=1", "--frames",
               "3", "--script", script, "--capture=out.png", "--trace", "t.jsonl"});
    ASSERT_EQ(r.outcome, OptionsOutcome::Run);
    EXPECT_EQ(r.options.dataDir, "d");
    EXPECT_TRUE(r.options.headless);
    EXPECT_EQ(r.options.tickStart, 4294967000u);
    EXPECT_EQ(r.options.stepMs, 1u);
    EXPECT_EQ(r.options.frames, 3);
    ASSERT_EQ(r.options.script.size(), 2u);
    EXPECT_EQ(r.options.script[1].kind, ScriptEvent::Kind::Close);
    // Output files stay where the program was started, whatever --data does.
    EXPECT_TRUE(std::filesystem::path(r.options.captureFile).is_absolute());
    EXPECT_EQ(std::filesystem::path(r.options.captureFile).filename(), "out.png");
    EXPECT_TRUE(std::filesystem::path(r.options.traceFile).is_absolute());
}

TEST_F(ParseRunOptions, HelpAndVersionEndSuccessfully) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"--help"}).outcome, OptionsOutcome::ExitSuccess);
    const std::string help = testing::internal::GetCapturedStdout();
    for (const char* option : {"--data", "--headless", "--tick-start", "--step", "--frames",
                               "--script", "--capture", "--trace", "--help", "--version"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"--version"}).outcome, OptionsOutcome::ExitSuccess);
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("articulated ", 0), 0u);
}

// A program that takes a file gets one, named from where it was started.
TEST_F(ParseRunOptions, OneFileWhereTheProgramTakesOne) {
    const Parsed r = parse({"--data", "d", "clip.smd", "--headless"}, "FILE.smd");
    ASSERT_EQ(r.outcome, OptionsOutcome::Run);
    EXPECT_EQ(r.options.file, (std::filesystem::current_path() / "clip.smd").string());
    testing::internal::CaptureStderr();
    EXPECT_EQ(parse({"a.smd", "b.smd"}, "FILE.smd").outcome, OptionsOutcome::ExitFailure);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("'b.smd'"), std::string::npos);
}

TEST_F(ParseRunOptions, BadInputFailsWithAReason) {
    const std::string badScript = write("bad.txt", "0 key F1\n10 fly\n");
    const std::vector<std::vector<std::string>> cases = {
        {"--frobnicate"},
        {"stray"},
        {"--frames"},
        {"--frames", "0"},
        {"--frames", "-5"},
        {"--frames", "ten"},
        {"--step", "1.5"},
        {"--tick-start", "4294967296"},
        {"--data", ""},
        {"--headless=yes"},
        {"--script", (dir / "missing.txt").string()},
        {"--script", dir.string()},
        {"--script", badScript},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
        testing::internal::CaptureStderr();
        EXPECT_EQ(parse(args).outcome, OptionsOutcome::ExitFailure);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("articulated: ", 0), 0u) << err;
    }
    testing::internal::CaptureStderr();
    parse({"--script", badScript});
    EXPECT_NE(testing::internal::GetCapturedStderr().find("bad.txt:2: unknown event 'fly'"),
              std::string::npos);
}

}  // namespace
