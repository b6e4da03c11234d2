#include "model/file_text.h"

#include <sys/stat.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#include <unistd.h>
#define ARTIC_MAP_FILES 1
#else
#define ARTIC_MAP_FILES 0
#endif

// The thread's kept read buffer (see the header).
namespace {
thread_local std::unique_ptr<char[]> keptBuffer;
thread_local size_t keptCapacity = 0;
}  // namespace

#if ARTIC_MAP_FILES

namespace {

thread_local FileText::Mapping* innermostMapping = nullptr;
struct sigaction busActionBefore;
uintptr_t pageSize = 4096;

// A fault inside one of this thread's mappings means the file lost those pages:
// they are replaced by zero pages and reading goes on. Anything else is handed
// to whatever handled SIGBUS before; with no such handler the default action is
// restored and the fault, repeated on return, ends the program as usual.
// (Only async-signal-safe calls here: mmap and sigaction.)
void onBusError(int signal, siginfo_t* info, void* context) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
    for (FileText::Mapping* m = innermostMapping; m; m = m->outer) {
        const uintptr_t begin = reinterpret_cast<uintptr_t>(m->begin);
        if (at < begin || at - begin >= m->length) continue;
        const uintptr_t from = at & ~(pageSize - 1);
        const size_t length = begin + m->length - from;
        if (mmap(reinterpret_cast<void*>(from), length, PROT_READ,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            m->shrank = 1;
            return;
        }
        break;
    }
    if (busActionBefore.sa_flags & SA_SIGINFO) {
        busActionBefore.sa_sigaction(signal, info, context);
    } else if (busActionBefore.sa_handler != SIG_DFL && busActionBefore.sa_handler != SIG_IGN) {
        busActionBefore.sa_handler(signal);
    } else {
        struct sigaction fallback = {};
        fallback.sa_handler = SIG_DFL;
        sigaction(SIGBUS, &fallback, nullptr);
    }
}

void guardMappings() {
    static std::once_flag once;
    std::call_once(once, [] {
        pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
        struct sigaction action = {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &busActionBefore);
    });
}

}  // namespace

#endif

FileText::~FileText() {
#if ARTIC_MAP_FILES
    if (mapping_) {
        for (Mapping** link = &innermostMapping; *link; link = &(*link)->outer) {
            if (*link == mapping_.get()) {
                *link = mapping_->outer;
                break;
            }
        }
        munmap(mapping_->begin, mapping_->length);
    }
#endif
    if (buffer_ && capacity_ <= kKeptBuffer) {
        keptBuffer = std::move(buffer_);
        keptCapacity = capacity_;
    }
}

bool FileText::shrank() const {
#if ARTIC_MAP_FILES
    return mapping_ && mapping_->shrank != 0;
#else
    return false;
#endif
}

bool FileText::open(const char* fileName, std::string& error) {
    auto describe = [](const struct stat& info) {
        return S_ISDIR(info.st_mode) ? "is a directory" : "not a regular file";
    };
    // Look before opening: opening a FIFO (or a device) would wait for a writer
    // that may never come. The type is checked again on the open file below.
    struct stat before;
    if (stat(fileName, &before) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(before.st_mode)) {
        error = describe(before);
        return false;
    }
    std::FILE* file = std::fopen(fileName, "rb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, FileCloser> closer(file);
    struct stat info;
    if (fstat(fileno(file), &info) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = describe(info);
        return false;
    }
    const size_t fileSize = static_cast<size_t>(info.st_size);

#if ARTIC_MAP_FILES
    if (fileSize >= kMapFrom) {
        void* at = mmap(nullptr, fileSize, PROT_READ, MAP_PRIVATE, fileno(file), 0);
        if (at != MAP_FAILED) {
            guardMappings();
            madvise(at, fileSize, MADV_SEQUENTIAL);
            mapping_ = std::make_unique<Mapping>();
            mapping_->begin = static_cast<char*>(at);
            mapping_->length = fileSize;
            mapping_->outer = innermostMapping;
            innermostMapping = mapping_.get();
            data_ = mapping_->begin;
            size_ = fileSize;
            return true;
        }
        // Not mappable (some file systems): read it like a small file.
    }
#endif

    // Read the whole file at once; it may still grow or shrink while we read.
    std::setvbuf(file, nullptr, _IONBF, 0);
    buffer_ = std::move(keptBuffer);
    capacity_ = keptCapacity;
    keptCapacity = 0;
    size_t size = 0;
    try {
        const size_t wanted = fileSize + 1;
        if (capacity_ < wanted) {
            buffer_.reset();
            buffer_.reset(new char[wanted]);
            capacity_ = wanted;
        }
        for (;;) {
            const size_t got = std::fread(buffer_.get() + size, 1, capacity_ - size, file);
            size += got;
            if (size < capacity_) break;
            std::unique_ptr<char[]> bigger(new char[capacity_ * 2]);
            std::memcpy(bigger.get(), buffer_.get(), size);
            buffer_ = std::move(bigger);
            capacity_ *= 2;
        }
    } catch (const std::bad_alloc&) {
        error = "file too large to hold in memory";
        return false;
    }
    if (std::ferror(file)) {
        error = std::strerror(errno);
        return false;
    }
    data_ = buffer_.get();
    size_ = size;
    return true;
}
