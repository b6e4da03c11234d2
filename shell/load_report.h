// What the programs say on stderr about the files they load: the reader's
// report and what concerns drawing, each report once per run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/model.h"
#include "model/smd.h"

// The lines for one load of `path` into `model` (as the load left it): the
// reader's problems (describeSmdLoad) but its quiet ones, then "PATH: nothing to draw: REASON" when
// the file was read (to its end) and the model shows nothing, or a warning naming the deepest bone
// when a chain has more links than a bone's line is drawn with (`maxSegments`; 0: no limit).
std::string describeLoad(const char* path, const SmdLoadResult& result, const Model& model,
                         uint32_t maxSegments);

// What the window says about the load of the file it shows, or "" when the
// file was read and has something to draw: for a file that could not be read
// (whole) its first error, for one with nothing to draw that line of the
// report, each with the file named by its name alone.
std::string windowLoadProblem(const char* path, const SmdLoadResult& result, const Model& model);

// `text` broken into lines of at most `width` characters, at blanks where it
// has them (a longer word is cut).
std::vector<std::string> wrapText(const std::string& text, size_t width);

// Prints `report` on stderr unless this run printed the same report before, so
// reloading an unchanged file says nothing again. (Every line of a report names
// its file.) An empty report prints nothing.
void printLoadReportOnce(const std::string& report);
