// Fuzz target: the input script parser and the option parser over arbitrary
// text.
//
// The first byte chooses what the rest feeds:
//   - even: script text for parseScript. A script it accepts holds only events
//     a window could get (a known key, a mouse message with 16-bit client
//     coordinates, a capture with an absolute file name, close), and writing
//     those events back as script text parses to the same events. A script it
//     refuses names a line that exists, and leaves the output untouched.
//   - odd: a command line (arguments separated by NUL bytes) for
//     parseRunOptions; options that would read files or change the directory
//     are left out. Whatever the outcome, it returns, and a run it accepts
//     holds values inside their documented ranges.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "shell/run_options.h"
#include "shell/services.h"

namespace {

// The script name of a key event's virtual-key code; empty when none exists.
std::string keyName(uintptr_t code) {
    struct Named {
        uint32_t code;
        const char* name;
    };
    static const Named named[] = {
        {vk::Escape, "ESCAPE"}, {vk::Return, "RETURN"},     {vk::F1, "F1"},
        {vk::Add, "ADD"},       {vk::Subtract, "SUBTRACT"}, {vk::Left, "LEFT"},
        {vk::Up, "UP"},         {vk::Right, "RIGHT"},       {vk::Down, "DOWN"},
        {vk::Prior, "PRIOR"},   {vk::Next, "NEXT"},
    };
    for (const Named& n : named)
        if (n.code == code) return n.name;
    if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9'))
        return std::string(1, static_cast<char>(code));
    return "";
}

const char* mouseName(uint32_t message) {
    switch (message) {
        case msg::LButtonDown:
            return "lbuttondown";
        case msg::LButtonUp:
            return "lbuttonup";
        case msg::RButtonDown:
            return "rbuttondown";
        case msg::RButtonUp:
            return "rbuttonup";
        case msg::MouseMove:
            return "mousemove";
    }
    return nullptr;
}

void checkEvent(const ScriptEvent& e) {
    switch (e.kind) {
        case ScriptEvent::Kind::Message:
            if (e.message == msg::KeyDown) {
                FUZZ_CHECK(!keyName(e.wParam).empty());
                FUZZ_CHECK(e.lParam == 0);
            } else {
                FUZZ_CHECK(mouseName(e.message) != nullptr);
                FUZZ_CHECK(e.lParam >= 0 && e.lParam <= 0xFFFFFFFF);
                FUZZ_CHECK(e.wParam == 0);
            }
            FUZZ_CHECK(e.file.empty());
            break;
        case ScriptEvent::Kind::Capture:
            FUZZ_CHECK(!e.file.empty());
            FUZZ_CHECK(e.file.find('\n') == std::string::npos);
            FUZZ_CHECK(e.file.find('#') == std::string::npos);
            break;
        case ScriptEvent::Kind::Close:
            FUZZ_CHECK(e.file.empty());
            break;
    }
}

std::string writeScript(const std::vector<ScriptEvent>& events) {
    std::string text = "# written back\n";
    for (const ScriptEvent& e : events) {
        text += std::to_string(e.atMs) + " ";
        switch (e.kind) {
            case ScriptEvent::Kind::Message:
                if (e.message == msg::KeyDown) {
                    text += "key " + keyName(e.wParam);
                } else {
                    text += std::string(mouseName(e.message)) + " " +
                            std::to_string(e.lParam & 0xFFFF) + " " +
                            std::to_string((e.lParam >> 16) & 0xFFFF);
                }
                break;
            case ScriptEvent::Kind::Capture:
                text += "capture " + e.file;
                break;
            case ScriptEvent::Kind::Close:
                text += "close";
                break;
        }
        text += "\n";
    }
    return text;
}

bool sameEvents(const std::vector<ScriptEvent>& a, const std::vector<ScriptEvent>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].kind != b[i].kind || a[i].atMs != b[i].atMs || a[i].message != b[i].message ||
            a[i].wParam != b[i].wParam || a[i].lParam != b[i].lParam || a[i].file != b[i].file)
            return false;
    }
    return true;
}

void fuzzScript(std::string_view text) {
    std::vector<ScriptEvent> events(1);  // a refused script must leave this alone
    events[0].atMs = 12345;
    std::string error;
    if (!parseScript(text, events, error)) {
        FUZZ_CHECK(events.size() == 1 && events[0].atMs == 12345);
        // "LINE: message", LINE a line of the text.
        size_t digits = 0;
        uint64_t line = 0;
        while (digits < error.size() && error[digits] >= '0' && error[digits] <= '9')
            line = line * 10 + static_cast<uint64_t>(error[digits++] - '0');
        FUZZ_CHECK(digits > 0 && digits <= 10);
        FUZZ_CHECK(error.compare(digits, 2, ": ") == 0 && error.size() > digits + 2);
        size_t lines = 1;
        for (char c : text) lines += c == '\n';
        FUZZ_CHECK(line >= 1 && line <= lines);
        return;
    }
    size_t eventLines = 0;
    for (char c : text) eventLines += c == '\n';
    FUZZ_CHECK(events.size() <= eventLines + 1);
    for (const ScriptEvent& e : events) checkEvent(e);

    std::vector<ScriptEvent> again;
    std::string againError;
    const std::string written = writeScript(events);
    if (!parseScript(written, again, againError)) {
        std::fprintf(stderr, "written script refused: %s\n%s", againError.c_str(), written.c_str());
        FUZZ_CHECK(!"a written script parses");
    }
    FUZZ_CHECK(sameEvents(events, again));
}

void fuzzOptions(std::string_view text) {
    std::vector<std::string> args = {"fuzzed"};
    size_t start = 0;
    while (start <= text.size() && args.size() < 64) {
        size_t end = text.find('\0', start);
        if (end == std::string_view::npos) end = text.size();
        std::string arg(text.substr(start, end - start));
        // Reading a script file or changing the directory would reach outside
        // the input.
        if (arg.rfind("--script", 0) != 0 && arg.rfind("--data", 0) != 0) args.push_back(arg);
        start = end + 1;
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    RunOptions options;
    const OptionsOutcome outcome =
        parseRunOptions(static_cast<int>(args.size()), argv.data(), "fuzzed", "Fuzzed", options);
    if (outcome != OptionsOutcome::Run) return;
    FUZZ_CHECK(options.frames == -1 || options.frames >= 1);
    FUZZ_CHECK(options.stepMs <= 3600000);
    FUZZ_CHECK(options.scriptFile.empty() && options.script.empty());
}

}  // namespace

// --help and --version print to stdout; keep the fuzzer's output readable.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::vector<char> copy(data + 1, data + size);
    const std::string_view text(copy.data(), copy.size());
    if (data[0] % 2 == 0) {
        fuzzScript(text);
    } else {
        fuzzOptions(text);
    }
    return 0;
}
