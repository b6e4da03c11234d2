// Taking in a whole file: large files are mapped, small ones read, both give
// the file's bytes; a mapped file cut short while held reads as zeros instead
// of ending the program, and bus errors that are not ours still end it.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "model/file_text.h"
#include "model/smd.h"

namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

class FileTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("file_text_" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string write(const char* name, const std::string& content) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    static std::string randomBytes(size_t size) {
        std::mt19937_64 rng(size);
        std::string s(size, '\0');
        for (char& c : s) c = static_cast<char>(rng());
        return s;
    }
    fs::path dir;
};

TEST_F(FileTextTest, LargeFilesAreMappedSmallOnesReadAndBothGiveTheBytes) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{70000}, FileText::kMapFrom - 1,
                        FileText::kMapFrom, 3 * FileText::kMapFrom + 123}) {
        const std::string content = randomBytes(size);
        const std::string path = write("bytes", content);
        FileText file;
        std::string error;
        ASSERT_TRUE(file.open(path.c_str(), error)) << size << ": " << error;
        EXPECT_EQ(file.mapped(), size >= FileText::kMapFrom) << size;
        EXPECT_TRUE(file.text() == content) << size;
        EXPECT_FALSE(file.shrank());
    }
}

TEST_F(FileTextTest, AMappedClipLoadsAsFromMemory) {
    std::string text = "version 1\nnodes\n0 \"root\" -1\n1 \"arm\" 0\nend\nskeleton\n";
    std::mt19937_64 rng(7);
    char line[160];
    for (int f = 0; text.size() < 2 * FileText::kMapFrom; ++f) {
        text += "time " + std::to_string(f) + "\n";
        for (int b = 0; b < 2; ++b) {
            std::uniform_real_distribution<double> u(-50.0, 50.0);
            std::snprintf(line, sizeof line, "%d %.6f %.6f %.6f %.6f %.6f %.6f\n", b, u(rng),
                          u(rng), u(rng), u(rng) / 20, u(rng) / 20, u(rng) / 20);
            text += line;
        }
    }
    text += "end\n";
    Model fromFile, fromMemory;
    const SmdLoadResult a = loadSmd(fromFile, write("clip.smd", text).c_str());
    const SmdLoadResult b = loadSmdFromMemory(fromMemory, text);
    EXPECT_EQ(a.status, SmdStatus::Loaded) << describeSmdLoad("clip.smd", a);
    EXPECT_EQ(describeSmdLoad("f", a), describeSmdLoad("f", b));
    ASSERT_EQ(fromFile.frames.size(), fromMemory.frames.size());
    ASSERT_GT(fromFile.frames.size(), 10000u);
    for (size_t f = 0; f < fromFile.frames.size(); ++f)
        ASSERT_EQ(std::memcmp(fromFile.frames[f].data(), fromMemory.frames[f].data(),
                              sizeof(BoneKey) * 2),
                  0)
            << f;
}

TEST_F(FileTextTest, AMappedFileCutShortWhileHeldReadsAsZeros) {
    const std::string content = randomBytes(2 * FileText::kMapFrom);
    const std::string path = write("cut", content);
    FileText file;
    std::string error;
    ASSERT_TRUE(file.open(path.c_str(), error)) << error;
    ASSERT_TRUE(file.mapped());
    ASSERT_EQ(truncate(path.c_str(), 5000), 0);
    const std::string_view text = file.text();
    // The pages past the new end are gone: they read as zeros, and it is noticed.
    EXPECT_EQ(text[FileText::kMapFrom], '\0');
    EXPECT_EQ(text.back(), '\0');
    EXPECT_TRUE(file.shrank());
    // What the file still holds is unchanged.
    EXPECT_EQ(text.substr(0, 4096), std::string_view(content).substr(0, 4096));
}

// A bus error outside our mappings: a file mapped here directly, then cut short.
void foreignBusError(const std::string& path) {
    std::ofstream(path, std::ios::binary) << std::string(1 << 16, 'x');
    FILE* f = std::fopen(path.c_str(), "rb");
    void* at = mmap(nullptr, 1 << 16, PROT_READ, MAP_PRIVATE, fileno(f), 0);
    if (at == MAP_FAILED || truncate(path.c_str(), 0) != 0) std::_Exit(3);
    std::printf("%d", static_cast<const volatile char*>(at)[40000]);
}

TEST_F(FileTextTest, OtherBusErrorsGoWhereTheyWentBefore) {
    if (kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer handles bus errors itself";
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: no guard installed yet
    const std::string big = write("big", randomBytes(FileText::kMapFrom));
    const std::string other = (dir / "other").string();
    // No handler before ours: the program ends as it would have.
    EXPECT_EXIT(
        {
            FileText file;
            std::string error;
            if (!file.open(big.c_str(), error) || !file.mapped()) std::_Exit(2);
            foreignBusError(other);
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGBUS), "");
    // A handler installed before ours still gets them.
    EXPECT_EXIT(
        {
            std::signal(SIGBUS, [](int) { std::_Exit(42); });
            FileText file;
            std::string error;
            if (!file.open(big.c_str(), error) || !file.mapped()) std::_Exit(2);
            foreignBusError(other);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(42), "");
}

}  // namespace
