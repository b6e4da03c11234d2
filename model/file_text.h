// A file's text, read with ordinary reads.
//
// Only regular files are taken: a directory, FIFO or device is refused without
// being opened (opening a FIFO would wait for a writer that may never come).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens a regular file for reading from its start. On failure returns null and
// sets `error` to the reason ("is a directory", "not a regular file" or the
// system's message).
FileHandle openRegularFile(const char* fileName, std::string& error);

// Appends the file's next bytes to `text` until `text` holds `limit` bytes or
// the file ends (a file may grow or shrink while it is read; what was there is
// taken). Returns false with `error` set when reading fails or the text does not
// fit in memory ("file too large to hold in memory").
bool readFileText(std::FILE* file, std::string& text, std::string& error, size_t limit = SIZE_MAX);
