#include "model/file_text.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

const char* describe(const struct stat& info) {
    return S_ISDIR(info.st_mode) ? "is a directory" : "not a regular file";
}

}  // namespace

FileHandle openRegularFile(const char* fileName, std::string& error) {
    // Look before opening; the type is checked again on the open file.
    struct stat info;
    if (stat(fileName, &info) != 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        error = describe(info);
        return nullptr;
    }
    FileHandle file(std::fopen(fileName, "rb"));
    if (!file) {
        error = std::strerror(errno);
        return nullptr;
    }
    if (fstat(fileno(file.get()), &info) != 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        error = describe(info);
        return nullptr;
    }
    // Whole reads go straight into the caller's text, not through a stdio buffer.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    return file;
}

bool readFileText(std::FILE* file, std::string& text, std::string& error, size_t limit) {
    // The size the file has now, to read the rest in one go (plus a byte, to see
    // the end in the same read).
    struct stat info;
    const long at = std::ftell(file);
    size_t rest = 0;
    if (fstat(fileno(file), &info) == 0 && at >= 0 && info.st_size > at)
        rest = static_cast<size_t>(info.st_size - at);
    constexpr size_t kStep = size_t{64} << 10;
    try {
        while (text.size() < limit) {
            const size_t have = text.size();
            const size_t room = std::min(limit - have, std::max(rest + 1, kStep));
            text.resize(have + room);
            const size_t got = std::fread(text.data() + have, 1, room, file);
            text.resize(have + got);
            rest -= std::min(rest, got);
            if (got < room) break;
        }
    } catch (const std::bad_alloc&) {
        error = "file too large to hold in memory";
        return false;
    } catch (const std::length_error&) {
        error = "file too large to hold in memory";
        return false;
    }
    if (std::ferror(file)) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}
