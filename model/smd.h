// The SMD text reader.
//
// loadSmd fills a Model from an SMD file ("version 1", then `nodes`,
// `skeleton` and `triangles` sections in any order, each closed by `end`).
// What it leaves in the model on failure:
//   - the file cannot be opened or read: the model keeps its previous content;
//   - the first line is not "version 1": the model is left empty.
// Every other outcome, and every problem found on the way, is described in the
// returned SmdLoadResult; the reader itself prints nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/model.h"

enum class SmdStatus {
    Loaded,          // read as written (warnings may still be listed)
    Repaired,        // read, but inconsistencies were repaired (listed as problems)
    CannotOpen,      // missing, unreadable or not a regular file: model unchanged
    WrongFirstLine,  // not an SMD file of version 1: model left empty
    Malformed,       // reading stopped at a syntax error: what was read before is kept
};

struct SmdProblem {
    enum class Severity { Warning, Error } severity = Severity::Error;
    uint32_t line = 0;    // 1-based; 0 when the problem is not tied to a place
    uint32_t column = 0;  // 1-based
    std::string message;
};

struct SmdLoadResult {
    SmdStatus status = SmdStatus::Loaded;
    std::vector<SmdProblem> problems;
};

SmdLoadResult loadSmd(Model& model, const char* fileName);
// The same reader over a buffer already in memory (tests, fuzzing, benchmarks).
SmdLoadResult loadSmdFromMemory(Model& model, std::string_view text);

// The message a program prints on stderr for one load: one line per problem in the
// form "FILE:LINE:COL: error|warning: message" (or "FILE: error: ..." without a
// place). Empty when the file loaded cleanly.
std::string describeSmdLoad(const char* fileName, const SmdLoadResult& result);
