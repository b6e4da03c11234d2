#include "tests/support/json_line.h"

#include <cctype>
#include <cstdlib>

namespace {

struct Reader {
    const std::string& s;
    size_t i = 0;
    JsonFields& out;
    std::string error;

    void blanks() {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    }
    bool fail(const char* what) {
        if (error.empty()) error = std::string(what) + " at offset " + std::to_string(i);
        return false;
    }
    bool literal(const char* word) {
        const std::string w(word);
        if (s.compare(i, w.size(), w) != 0) return fail("unexpected text");
        i += w.size();
        return true;
    }
    bool string(std::string& text) {
        if (i >= s.size() || s[i] != '"') return fail("expected a string");
        ++i;
        while (i < s.size() && s[i] != '"') {
            if (s[i] == '\\') ++i;
            if (i < s.size()) text += s[i++];
        }
        if (i >= s.size()) return fail("unterminated string");
        ++i;
        return true;
    }
    bool value(const std::string& path) {
        blanks();
        if (i >= s.size()) return fail("expected a value");
        JsonValue v;
        const char c = s[i];
        if (c == '{') {
            ++i;
            blanks();
            if (i < s.size() && s[i] == '}') return ++i, true;
            while (true) {
                blanks();
                std::string key;
                if (!string(key)) return false;
                blanks();
                if (i >= s.size() || s[i] != ':') return fail("expected ':'");
                ++i;
                if (!value(path.empty() ? key : path + "." + key)) return false;
                blanks();
                if (i < s.size() && s[i] == ',') {
                    ++i;
                    continue;
                }
                if (i < s.size() && s[i] == '}') return ++i, true;
                return fail("expected ',' or '}'");
            }
        }
        if (c == '[') {
            ++i;
            blanks();
            if (i < s.size() && s[i] == ']') return ++i, true;
            for (int n = 0;; ++n) {
                if (!value(path + "." + std::to_string(n))) return false;
                blanks();
                if (i < s.size() && s[i] == ',') {
                    ++i;
                    continue;
                }
                if (i < s.size() && s[i] == ']') return ++i, true;
                return fail("expected ',' or ']'");
            }
        }
        if (c == '"') {
            v.kind = JsonValue::Kind::String;
            if (!string(v.text)) return false;
        } else if (c == 't' || c == 'f') {
            v.kind = JsonValue::Kind::Bool;
            v.boolean = c == 't';
            if (!literal(c == 't' ? "true" : "false")) return false;
        } else if (c == 'n') {
            if (!literal("null")) return false;
        } else {
            const char* start = s.c_str() + i;
            char* end = nullptr;
            v.number = std::strtod(start, &end);
            if (end == start) return fail("expected a number");
            v.kind = JsonValue::Kind::Number;
            i += static_cast<size_t>(end - start);
        }
        out[path] = v;
        return true;
    }
};

}  // namespace

bool parseJsonLine(const std::string& line, JsonFields& out, std::string& error) {
    out.clear();
    Reader r{line, 0, out, {}};
    if (!r.value("")) {
        error = r.error;
        return false;
    }
    r.blanks();
    if (r.i != line.size()) {
        error = "trailing text at offset " + std::to_string(r.i);
        return false;
    }
    return true;
}
