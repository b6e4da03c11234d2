// A small JSON reader for the trace lines: one object is flattened into dotted
// paths ("clip.periodMs", "eye.0") with their values.
#pragma once

#include <map>
#include <string>

struct JsonValue {
    enum class Kind { Null, Bool, Number, String } kind = Kind::Null;
    double number = 0.0;
    bool boolean = false;
    std::string text;
};

using JsonFields = std::map<std::string, JsonValue>;

// False (with the byte offset of the problem in `error`) on anything that is not
// one complete JSON value.
bool parseJsonLine(const std::string& line, JsonFields& out, std::string& error);
