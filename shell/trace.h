// The per-frame trace (--trace FILE.jsonl): one JSON object per drawn frame, in
// this field order (a program leaves out what it does not have):
//   {"frame":1,"tick":1000000,"fps":0,"help":false,"eye":[-100,0,0],"target":[0,0,0],
//    "paused":false,
//    "clip":{"frames":31,"current":0,"next":1,"periodMs":300,"interpolate":true,
//            "elapsedMs":0},
//    "path":{...},"reach":{...},"cpuUs":8.5}
// Numbers are printed with %.9g (they round-trip to float and back); a number that
// is not finite is written as null so every line stays valid JSON.
//
// A program builds a line with traceBeginFrame, adds its parts (traceClip, or its
// own objects through the generic writers) and closes it with traceEndFrame.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/math.h"
#include "model/model.h"
#include "model/pose.h"

struct TraceLine {
    std::string text;
    bool first = true;  // no field written yet at the current nesting level
};

// The trace file of the run; closed at exit. Lines are flushed as they are written.
bool openTrace(const std::string& path, std::string& error);
bool traceOpen();
void closeTrace();

// Starts a line with frame, tick, fps, help, the camera's eye and look-at
// point (target) and whether the clip is paused.
void traceBeginFrame(TraceLine& line, uint64_t frame, uint32_t tick, int32_t fps, bool help,
                     const Vec3& eye, const Vec3& target, bool paused);
// "clip":{frames,current,next,periodMs,interpolate,elapsedMs}
void traceClip(TraceLine& line, const Model& played, const ClipClock& clock);
// Adds "cpuUs", closes the object and writes the line to the trace file.
void traceEndFrame(TraceLine& line, double cpuUs);

// Generic writers for a program's own fields.
void traceKey(TraceLine& line, const char* key);  // "key": with the comma if needed
void traceNumber(TraceLine& line, const char* key, double value);
void traceInteger(TraceLine& line, const char* key, int64_t value);
void traceBool(TraceLine& line, const char* key, bool value);
void traceNull(TraceLine& line, const char* key);
void traceArray(TraceLine& line, const char* key, const double* values, int count);
void traceVec3(TraceLine& line, const char* key, const Vec3& v);
void traceBeginObject(TraceLine& line, const char* key);
void traceEndObject(TraceLine& line);
// Appends a number as the trace prints it (%.9g, or null when not finite).
void traceAppendNumber(std::string& out, double value);
