#include "shell/data_folder.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#elif defined(__linux__)
#include <unistd.h>
#endif

namespace {

// Paths stay narrow strings in the encoding the file functions take (the ANSI
// code page on Windows), so the reader opens exactly what is found here.

// 0 when nothing is at `path`, else its stat mode bits.
unsigned modeOf(const std::string& path) {
    struct stat s {};
    return stat(path.c_str(), &s) == 0 ? static_cast<unsigned>(s.st_mode) : 0u;
}
bool isFolder(const std::string& path) {
    return (modeOf(path) & S_IFMT) == S_IFDIR;
}

// The running executable's folder; empty when the platform does not say.
std::string executableFolder() {
    std::string file;
#if defined(_WIN32)
    char buffer[4096];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (n > 0 && n < sizeof buffer) file.assign(buffer, n);
#elif defined(__linux__)
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n > 0 && static_cast<size_t>(n) < sizeof buffer)
        file.assign(buffer, static_cast<size_t>(n));
#endif
    const size_t slash = file.find_last_of("/\\");
    return slash == std::string::npos ? std::string{} : file.substr(0, slash);
}

// Found once per process; empty when there is none.
const std::string& installedFolder() {
    static const std::string folder = [] {
        std::string f;
#if defined(ARTIC_DATA_FROM_BIN)
        f = executableFolder();
        if (f.empty()) return f;
        if (std::string(ARTIC_DATA_FROM_BIN) != ".") f += "/" ARTIC_DATA_FROM_BIN;
#if !defined(_WIN32)
        f = std::filesystem::path(f).lexically_normal().string();
#endif
        if (!isFolder(f)) f.clear();
#endif
        return f;
    }();
    return folder;
}

bool isAbsolute(const char* name) {
    if (name[0] == '/' || name[0] == '\\') return true;
#if defined(_WIN32)
    if (name[0] != '\0' && name[1] == ':') return true;
#endif
    return false;
}

}  // namespace

std::string dataFilePath(const char* name) {
    if (name == nullptr) return {};
    if (name[0] == '\0' || isAbsolute(name) || modeOf(name) != 0 || installedFolder().empty())
        return name;
    const std::string installed = installedFolder() + "/" + name;
    if (modeOf(installed) == 0 || isFolder(installed)) return name;
    static bool said = false;
    if (!said) {
        said = true;
        std::fprintf(stderr, "%s is not in the working directory: data files are read from %s\n",
                     name, installedFolder().c_str());
    }
    return installed;
}
