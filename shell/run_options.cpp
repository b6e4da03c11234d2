#include "shell/run_options.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "shell/services.h"

#ifndef ARTIC_VERSION
#define ARTIC_VERSION "0.0.0"
#endif

namespace {

// Parses a whole decimal number in [minValue, maxValue]; false on anything else.
bool parseUnsigned(std::string_view text, uint64_t minValue, uint64_t maxValue, uint64_t& out) {
    if (text.empty() || text.size() > 20) return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    if (value < minValue || value > maxValue) return false;
    out = value;
    return true;
}

std::string upper(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

// The virtual-key code of a script key name; 0 when the name is unknown.
uint32_t keyCode(std::string_view name) {
    const std::string n = upper(name);
    struct Named {
        const char* name;
        uint32_t code;
    };
    static const Named table[] = {
        {"ESCAPE", vk::Escape}, {"RETURN", vk::Return},     {"F1", vk::F1},
        {"ADD", vk::Add},       {"SUBTRACT", vk::Subtract}, {"LEFT", vk::Left},
        {"UP", vk::Up},         {"RIGHT", vk::Right},       {"DOWN", vk::Down},
        {"PRIOR", vk::Prior},   {"NEXT", vk::Next},         {"SPACE", vk::Space},
        {"HOME", vk::Home},
    };
    for (const Named& k : table) {
        if (n == k.name) return k.code;
    }
    if (n.size() == 1 && ((n[0] >= 'A' && n[0] <= 'Z') || (n[0] >= '0' && n[0] <= '9'))) {
        return static_cast<uint32_t>(n[0]);
    }
    return 0;
}

// Splits a line into blank-separated words.
std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

// The text after the first `skip` words, trimmed (a capture file may hold blanks).
std::string_view restAfterWords(std::string_view line, size_t skip) {
    size_t i = 0;
    for (size_t w = 0; w < skip; ++w) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    }
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t end = line.size();
    while (end > i && (line[end - 1] == ' ' || line[end - 1] == '\t' || line[end - 1] == '\r')) {
        --end;
    }
    return line.substr(i, end - i);
}

struct MouseEvent {
    const char* name;
    uint32_t message;
};
const MouseEvent kMouseEvents[] = {
    {"lbuttondown", msg::LButtonDown}, {"lbuttonup", msg::LButtonUp},
    {"rbuttondown", msg::RButtonDown}, {"rbuttonup", msg::RButtonUp},
    {"mousemove", msg::MouseMove},
};

void printHelp(const char* programName, const char* windowTitle, const char* fileArgument,
               const char* fileHelp) {
    std::printf(
        "%s - %s\n"
        "\n"
        "usage: %s [OPTIONS]%s%s%s\n"
        "\n"
        "Without options the program opens its window and runs until it is closed.\n"
        "%s"
        "\n"
        "  --data DIR          change to DIR before start-up (the SMD files are read from it)\n"
        "  --headless          no window: draw into an offscreen 484 x 461 surface;\n"
        "                      the tick count is virtual\n"
        "  --tick-start MS     headless: first tick count (default 1000000)\n"
        "  --step MS           headless: virtual milliseconds added after each drawn frame\n"
        "                      (default 16)\n"
        "  --frames N          end after N drawn frames, as if the window were closed\n"
        "                      (headless default 600; with --script, one frame\n"
        "                      after its last event)\n"
        "  --script FILE       timed input, one event per line: <ms> <event> [args]\n"
        "                      events: key NAME, lbuttondown X Y, lbuttonup X Y,\n"
        "                      rbuttondown X Y, rbuttonup X Y, mousemove X Y,\n"
        "                      capture FILE, close; '#' starts a comment\n"
        "  --capture FILE.png  write the last drawn frame\n"
        "  --trace FILE.jsonl  one JSON object per drawn frame\n"
        "  --fps N             clips play at N frames per second (1 to 1000; programs\n"
        "                      that play clips)\n"
        "  --help              show this text\n"
        "  --version           show the version\n",
        programName, windowTitle, programName, fileArgument ? " [" : "",
        fileArgument ? fileArgument : "", fileArgument ? "]" : "", fileHelp ? fileHelp : "");
}

bool readFile(const std::string& path, std::string& out) {
    std::error_code ec;
    // Pipes (a shell's <(...)) are fine; a directory is not a script.
    if (std::filesystem::is_directory(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) return false;
    out = s.str();
    return true;
}

// Output files are named relative to the directory the program was started in,
// even though --data changes the working directory before start-up.
std::string absolutePath(const std::string& path) {
    if (path.empty()) return path;
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    return ec ? path : p.string();
}

}  // namespace

bool parseScript(std::string_view text, std::vector<ScriptEvent>& out, std::string& error) {
    std::vector<ScriptEvent> events;
    uint32_t lineNumber = 0;
    uint64_t previousMs = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        const size_t hash = line.find('#');
        if (hash != std::string_view::npos) line = line.substr(0, hash);
        const std::vector<std::string_view> w = words(line);
        if (w.empty()) {
            if (end == text.size()) break;
            continue;
        }
        auto fail = [&](const std::string& message) {
            error = std::to_string(lineNumber) + ": " + message;
            return false;
        };
        uint64_t ms = 0;
        if (!parseUnsigned(w[0], 0, UINT32_MAX, ms)) {
            return fail("'" + std::string(w[0]) +
                        "' is not a time in milliseconds (0 to 4294967295)");
        }
        if (ms < previousMs) {
            return fail("time " + std::to_string(ms) + " is earlier than the line before (" +
                        std::to_string(previousMs) + "); events must be in time order");
        }
        previousMs = ms;
        if (w.size() < 2) return fail("missing event after the time");
        ScriptEvent e;
        e.atMs = static_cast<uint32_t>(ms);
        const std::string event(w[1]);
        bool known = false;
        if (event == "key") {
            known = true;
            if (w.size() != 3) return fail("'key' takes one key name");
            const uint32_t code = keyCode(w[2]);
            if (code == 0) {
                return fail("unknown key '" + std::string(w[2]) +
                            "' (ESCAPE RETURN F1 A R S W ADD SUBTRACT LEFT UP RIGHT DOWN PRIOR "
                            "NEXT SPACE HOME, a letter or a digit)");
            }
            e.kind = ScriptEvent::Kind::Message;
            e.message = msg::KeyDown;
            e.wParam = code;
        } else if (event == "capture") {
            known = true;
            const std::string_view file = restAfterWords(line, 2);
            if (file.empty()) return fail("'capture' needs a file name");
            e.kind = ScriptEvent::Kind::Capture;
            e.file = absolutePath(std::string(file));
        } else if (event == "close") {
            known = true;
            if (w.size() != 2) return fail("'close' takes no arguments");
            e.kind = ScriptEvent::Kind::Close;
        } else {
            for (const MouseEvent& m : kMouseEvents) {
                if (event != m.name) continue;
                known = true;
                if (w.size() != 4) return fail("'" + event + "' takes X and Y");
                uint64_t x = 0, y = 0;
                if (!parseUnsigned(w[2], 0, 0xFFFF, x) || !parseUnsigned(w[3], 0, 0xFFFF, y)) {
                    return fail("'" + event + "' needs client pixel coordinates 0 to 65535");
                }
                e.kind = ScriptEvent::Kind::Message;
                e.message = m.message;
                e.lParam = static_cast<intptr_t>(x | (y << 16));
            }
        }
        if (!known) return fail("unknown event '" + event + "'");
        events.push_back(std::move(e));
        if (end == text.size()) break;
    }
    out = std::move(events);
    return true;
}

OptionsOutcome parseRunOptions(int argc, char** argv, const char* programName,
                               const char* windowTitle, RunOptions& out, const char* fileArgument,
                               const char* fileHelp, bool furtherFiles) {
    RunOptions o;
    auto fail = [&](const std::string& message) {
        std::fprintf(stderr, "%s: %s (try --help)\n", programName, message.c_str());
        return OptionsOutcome::ExitFailure;
    };
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        std::string value;
        bool hasInlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            const size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInlineValue = true;
            }
        }
        auto takeValue = [&](std::string& v) {
            if (hasInlineValue) {
                v = value;
                return true;
            }
            if (i + 1 >= argc || argv[i + 1] == nullptr) return false;
            v = argv[++i];
            return true;
        };
        const bool flag =
            arg == "--headless" || arg == "--help" || arg == "-h" || arg == "--version";
        if (flag && hasInlineValue) return fail("option " + arg + " takes no value");
        if (arg == "--help" || arg == "-h") {
            printHelp(programName, windowTitle, fileArgument, fileHelp);
            return OptionsOutcome::ExitSuccess;
        }
        if (arg == "--version") {
            std::printf("%s %s\n", programName, ARTIC_VERSION);
            return OptionsOutcome::ExitSuccess;
        }
        if (arg == "--headless") {
            o.headless = true;
            continue;
        }
        const bool takesValue = arg == "--data" || arg == "--tick-start" || arg == "--step" ||
                                arg == "--frames" || arg == "--script" || arg == "--capture" ||
                                arg == "--trace" || arg == "--fps";
        if (!takesValue) {
            if (arg.rfind("-", 0) == 0) return fail("unknown option '" + arg + "'");
            if (fileArgument == nullptr || (!o.file.empty() && !furtherFiles) || arg.empty())
                return fail("unexpected argument '" + arg + "'");
            // Named from where the program was started.
            (o.file.empty() ? o.file : o.furtherFiles.emplace_back()) = absolutePath(arg);
            continue;
        }
        std::string v;
        if (!takeValue(v)) return fail("option " + arg + " needs a value");
        uint64_t n = 0;
        if (arg == "--data") {
            if (v.empty()) return fail("--data needs a directory");
            o.dataDir = v;
        } else if (arg == "--tick-start") {
            if (!parseUnsigned(v, 0, UINT32_MAX, n)) {
                return fail("--tick-start needs a tick count 0 to 4294967295, not '" + v + "'");
            }
            o.tickStart = static_cast<uint32_t>(n);
        } else if (arg == "--step") {
            if (!parseUnsigned(v, 0, 3600000, n)) {
                return fail("--step needs milliseconds 0 to 3600000, not '" + v + "'");
            }
            o.stepMs = static_cast<uint32_t>(n);
        } else if (arg == "--frames") {
            if (!parseUnsigned(v, 1, INT64_MAX, n)) {
                return fail("--frames needs a frame count of at least 1, not '" + v + "'");
            }
            o.frames = static_cast<int64_t>(n);
        } else if (arg == "--script") {
            if (v.empty()) return fail("--script needs a file");
            o.scriptFile = v;
        } else if (arg == "--capture") {
            if (v.empty()) return fail("--capture needs a file");
            o.captureFile = absolutePath(v);
        } else if (arg == "--fps") {
            if (!parseUnsigned(v, kMinClipFps, kMaxClipFps, n)) {
                return fail("--fps needs frames per second 1 to 1000, not '" + v + "'");
            }
            o.clipFps = static_cast<uint32_t>(n);
        } else if (arg == "--trace") {
            if (v.empty()) return fail("--trace needs a file");
            o.traceFile = absolutePath(v);
        }
    }
    if (!o.scriptFile.empty()) {
        std::string text;
        if (!readFile(o.scriptFile, text)) {
            std::fprintf(stderr, "%s: cannot read script '%s'\n", programName,
                         o.scriptFile.c_str());
            return OptionsOutcome::ExitFailure;
        }
        std::string error;
        if (!parseScript(text, o.script, error)) {
            std::fprintf(stderr, "%s: %s:%s\n", programName, o.scriptFile.c_str(), error.c_str());
            return OptionsOutcome::ExitFailure;
        }
    }
    out = std::move(o);
    return OptionsOutcome::Run;
}
