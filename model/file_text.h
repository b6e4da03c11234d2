// The whole text of one file, held while it is read once.
//
// Only regular files are taken: a directory, FIFO or device is refused without
// being opened (opening a FIFO would wait for a writer that may never come).
//
// Files of kMapFrom bytes or more are mapped into memory rather than copied
// (where the system can map files): copying a large file through read() costs
// several times as much as parsing its text. If another process cuts a mapped
// file short while it is held, touching the lost pages would raise SIGBUS and
// end the program; instead they read as NUL bytes from then on and shrank()
// turns true, so the caller can throw away what it read. (A handler for SIGBUS
// is installed on the first mapping; faults outside our mappings go on to the
// handler that was there before, or end the program as they would have.)
//
// Smaller files, and every file where nothing is mapped, are read into a buffer
// that is kept for the thread's next file (clips are read again and again on
// key presses) unless it grew beyond kKeptBuffer.
#pragma once

#include <csignal>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

class FileText {
public:
    static constexpr size_t kMapFrom = size_t{1} << 20;
    static constexpr size_t kKeptBuffer = size_t{32} << 20;

    FileText() = default;
    ~FileText();
    FileText(const FileText&) = delete;
    FileText& operator=(const FileText&) = delete;

    // Takes in the file. On failure returns false and sets `error` to the
    // reason ("is a directory", "not a regular file", the system's message, or
    // "file too large to hold in memory"). Call once.
    bool open(const char* fileName, std::string& error);

    std::string_view text() const { return {data_, size_}; }
    bool mapped() const { return mapping_ != nullptr; }
    // True once part of a mapped file vanished while it was held.
    bool shrank() const;

    // One mapped file; a thread's mappings form a list, innermost first, that
    // the SIGBUS handler looks through.
    struct Mapping {
        char* begin = nullptr;
        size_t length = 0;  // mapped bytes: the file's size when it was mapped
        volatile std::sig_atomic_t shrank = 0;
        Mapping* outer = nullptr;
    };

private:
    const char* data_ = "";
    size_t size_ = 0;
    std::unique_ptr<Mapping> mapping_;
    std::unique_ptr<char[]> buffer_;
    size_t capacity_ = 0;
};
