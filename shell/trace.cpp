#include "shell/trace.h"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace {
FILE* traceFile = nullptr;
}

bool openTrace(const std::string& path, std::string& error) {
    closeTrace();
    traceFile = std::fopen(path.c_str(), "wb");
    if (traceFile == nullptr) {
        error = "cannot write the trace '" + path + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

bool traceOpen() {
    return traceFile != nullptr;
}

void closeTrace() {
    if (traceFile != nullptr) std::fclose(traceFile);
    traceFile = nullptr;
}

void traceAppendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.9g", value);
    out += buf;
}

void traceKey(TraceLine& line, const char* key) {
    if (!line.first) line.text += ',';
    line.first = false;
    line.text += '"';
    line.text += key;
    line.text += "\":";
}

void traceNumber(TraceLine& line, const char* key, double value) {
    traceKey(line, key);
    traceAppendNumber(line.text, value);
}

void traceInteger(TraceLine& line, const char* key, int64_t value) {
    traceKey(line, key);
    line.text += std::to_string(value);
}

void traceBool(TraceLine& line, const char* key, bool value) {
    traceKey(line, key);
    line.text += value ? "true" : "false";
}

void traceNull(TraceLine& line, const char* key) {
    traceKey(line, key);
    line.text += "null";
}

void traceArray(TraceLine& line, const char* key, const double* values, int count) {
    traceKey(line, key);
    line.text += '[';
    for (int i = 0; i < count; ++i) {
        if (i > 0) line.text += ',';
        traceAppendNumber(line.text, values[i]);
    }
    line.text += ']';
}

void traceVec3(TraceLine& line, const char* key, const Vec3& v) {
    const double values[3] = {v.x, v.y, v.z};
    traceArray(line, key, values, 3);
}

void traceBeginObject(TraceLine& line, const char* key) {
    traceKey(line, key);
    line.text += '{';
    line.first = true;
}

void traceEndObject(TraceLine& line) {
    line.text += '}';
    line.first = false;
}

void traceBeginFrame(TraceLine& line, uint64_t frame, uint32_t tick, int32_t fps, bool help,
                     const Vec3& eye, const Vec3& target, bool paused) {
    line.text.clear();
    line.text += '{';
    line.first = true;
    traceInteger(line, "frame", static_cast<int64_t>(frame));
    traceInteger(line, "tick", tick);
    traceInteger(line, "fps", fps);
    traceBool(line, "help", help);
    traceVec3(line, "eye", eye);
    traceVec3(line, "target", target);
    traceBool(line, "paused", paused);
}

void traceClip(TraceLine& line, const Model& played, const ClipClock& clock) {
    traceBeginObject(line, "clip");
    traceInteger(line, "frames", static_cast<int64_t>(played.frames.size()));
    traceInteger(line, "current", clock.currentFrame);
    traceInteger(line, "next", clock.nextFrame);
    traceNumber(line, "periodMs", clock.framePeriodMs);
    traceBool(line, "interpolate", clock.interpolate);
    traceNumber(line, "elapsedMs", clock.elapsedMs);
    traceEndObject(line);
}

void traceEndFrame(TraceLine& line, double cpuUs) {
    traceNumber(line, "cpuUs", cpuUs);
    line.text += "}\n";
    if (traceFile != nullptr) {
        std::fwrite(line.text.data(), 1, line.text.size(), traceFile);
        std::fflush(traceFile);
    }
}
