// The SMD text reader.
//
// loadSmd fills a Model from an SMD file ("version 1", then `nodes`,
// `skeleton` and `triangles` sections in any order, each closed by `end`;
// sections may repeat and append). Apart from the first line and the quoted
// bone names the text is a stream of words separated by blanks (space, tab,
// line breaks, CR); keywords match in any letter case. Bones are numbered by
// their position in the file, and frames by their order, whatever their index
// words and "time" numbers say. Keys go to bones by position too, except in a
// time block whose index words all name distinct bones (see below).
//
// What it leaves in the model:
//   - the file cannot be opened or read (missing, no access, a directory, a
//     FIFO or device, which is never opened, too large for memory): the model
//     keeps its previous content;
//   - the first line is not "version 1" (letter case aside, nothing else on the
//     line; a CR before the line feed is fine): the model is left empty; loadSmd
//     tells from the first 512 bytes when they hold that line, or enough of it
//     to see it is not "version 1", and reads no further;
//   - otherwise the model is replaced by what was read, then checked and
//     repaired as below, so every model handed out is safe to evaluate.
// Every outcome and every problem found on the way is described in the returned
// SmdLoadResult; the reader itself prints nothing. loadSmd reads the whole file
// into memory first (model/file_text.h).
//
// Stopping early (status Malformed). Reading stops at the first of: the end of
// the text inside a section (no closing `end`), a token that is not a number
// where one is needed, a word other than nodes/skeleton/triangles where a
// section must start, a word or bone name of 1000 or more characters, a bone
// name with no closing quote. Everything read completely before that point is
// kept, exactly as if the section had been closed there: whole bones, whole
// triangles, and the frame being read with the keys completed so far. The kept
// model is then checked and repaired like any other.
//
// Numbers: decimal text as stream input reads it ("-1", "+2.5", ".5", "1e-3"),
// each a whole word; the float is the one nearest to the decimal value. A
// word that reads as a number but not as a finite float ("nan", "inf",
// "1e999"), or as one beyond +-1e9 (no model lies there, and the bound keeps
// everything computed from a model finite), is replaced by 0 and reported as
// an error (status Repaired). An
// integer field written with a fraction ("-1.000000") takes its whole value
// (warning); integers beyond 32 bits saturate and then count as out of range.
//
// Checks and repairs after reading (status Repaired, one problem per repair;
// at most 5 are listed per kind, then a count of the rest):
//   - a parent outside [-1, bones) makes the bone a root (error);
//   - parent links that form a cycle are cut at the cycle's lowest-numbered
//     bone, which becomes a root (error);
//   - a time block whose index words are all bone indices, no two the same, but
//     not the positions 0, 1, 2... (exporters write later blocks with only the
//     bones that moved): each key goes to the bone its index word names, and a
//     bone the block leaves out keeps its key of the frame before, all zeros in
//     frame 0 (warning, once per file);
//   - any other frame with fewer keys than bones is completed: each missing key repeats
//     the same bone's key of the frame before, or is all zeros in frame 0
//     (warning); keys beyond the bone count are kept and not used (warning,
//     not a repair);
//   - a corner whose bone does not exist is attached to bone 0 (warning; with
//     no bones at all every corner's bone is 0);
//   - bone names longer than 63 bytes and material names longer than 31 bytes
//     are cut to fit their fields, never inside a UTF-8 sequence (warning).
// Afterwards: every parent lies in [-1, bones) and every chain of parents ends
// at a root; every frame holds at least one key per bone; every number is
// finite and within +-1e9.
//
// Accepted for compatibility with files real exporters write (each reported
// once per file as a warning, with the number of occurrences):
//   - comments: a word starting with "//" starts a comment that runs to the end
//     of its line, also on lines before "version 1"; a UTF-8 byte order mark;
//   - weight links after a corner's nine fields (a link count n, then n pairs
//     of bone index and weight), recognised when the corner starts its line and
//     the rest of that line has exactly that shape; the links are kept in
//     Model::links, as read (a count of 0 says there are none, without a
//     warning); a line of another shape keeps no link and reads as tokens;
//   - index words that differ from the position (gaps in node ids, and key
//     index words in blocks read by position).
// Indentation, blank lines, CRLF line ends and a missing final line break need
// no special treatment.
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
    uint32_t column = 0;  // 1-based, in bytes
    std::string message;
    // A fact that changes nothing the stick figure shows (a comment skipped,
    // weight links skipped, a byte order mark): the programs leave it out of
    // their reports, smdinfo --check lists it.
    bool quiet = false;
};

// Problems come in file order, those not tied to a place last. CannotOpen,
// WrongFirstLine and Malformed always come with at least one error.
struct SmdLoadResult {
    SmdStatus status = SmdStatus::Loaded;
    std::vector<SmdProblem> problems;
};

SmdLoadResult loadSmd(Model& model, const char* fileName);
// The same reader over a buffer already in memory (tests, fuzzing, benchmarks).
// The text need not be NUL-terminated; a NUL byte inside is an ordinary character.
SmdLoadResult loadSmdFromMemory(Model& model, std::string_view text);

// The message a program prints on stderr for one load: one line per problem in the
// form "FILE:LINE:COL: error|warning: message" (or "FILE: error: ..." without a
// place). Empty when the file loaded cleanly. Quiet problems are listed only
// `withQuiet`.
std::string describeSmdLoad(const char* fileName, const SmdLoadResult& result,
                            bool withQuiet = true);
