// Files the reader cannot read: it says why, keeps the model, and never waits.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "model/smd.h"

namespace {

namespace fs = std::filesystem;

class UnreadableFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("robust_unreadable_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        kept.bones.resize(3);  // what a failed load must leave alone
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir / "walk.smd", fs::perms::owner_all, ec);
        fs::remove_all(dir, ec);
    }
    std::string path(const char* name) const { return (dir / name).string(); }

    // Loads with a time limit; a load that hangs fails the test.
    SmdLoadResult loadWithin(const std::string& file, std::chrono::seconds limit) {
        auto pending = std::async(std::launch::async, [&] { return loadSmd(kept, file.c_str()); });
        if (pending.wait_for(limit) == std::future_status::timeout) {
            ADD_FAILURE() << file << ": the load is still waiting after " << limit.count() << " s";
            // Unblock a reader stuck opening a FIFO, so the test can end.
            const int fd = open(file.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) close(fd);
        }
        return pending.get();
    }

    fs::path dir;
    Model kept;
};

TEST_F(UnreadableFile, AFifoIsRefusedWithoutWaitingForAWriter) {
    ASSERT_EQ(mkfifo(path("walk.smd").c_str(), 0600), 0);
    const SmdLoadResult r = loadWithin(path("walk.smd"), std::chrono::seconds(5));
    EXPECT_EQ(r.status, SmdStatus::CannotOpen);
    EXPECT_EQ(kept.bones.size(), 3u);
    EXPECT_NE(
        describeSmdLoad("walk.smd", r).find("walk.smd: error: cannot open: not a regular file"),
        std::string::npos)
        << describeSmdLoad("walk.smd", r);
}

TEST_F(UnreadableFile, DirectoriesLoopsAndMissingFilesSayWhy) {
    fs::create_directory(dir / "walk.smd");
    fs::create_symlink(dir / "loop_a", dir / "loop_b");
    fs::create_symlink(dir / "loop_b", dir / "loop_a");
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"walk.smd", "is a directory"},
        {"loop_a", "Too many levels of symbolic links"},
        {"missing.smd", "No such file or directory"},
    };
    for (const auto& c : cases) {
        const SmdLoadResult r = loadWithin(path(c.name), std::chrono::seconds(5));
        EXPECT_EQ(r.status, SmdStatus::CannotOpen) << c.name;
        EXPECT_NE(describeSmdLoad(c.name, r).find(std::string(c.name) +
                                                  ": error: cannot open: " + c.reason),
                  std::string::npos)
            << describeSmdLoad(c.name, r);
        EXPECT_EQ(kept.bones.size(), 3u) << c.name;
    }
}

// Without read permission (skipped where permissions do not stop reading, as
// for root).
TEST_F(UnreadableFile, NoReadPermission) {
    std::ofstream(path("walk.smd")) << "version 1\nnodes\n0 \"a\" -1\nend\n";
    fs::permissions(path("walk.smd"), fs::perms::none);
    if (access(path("walk.smd").c_str(), R_OK) == 0)
        GTEST_SKIP() << "permissions do not stop reading here";
    const SmdLoadResult r = loadWithin(path("walk.smd"), std::chrono::seconds(5));
    EXPECT_EQ(r.status, SmdStatus::CannotOpen);
    EXPECT_NE(describeSmdLoad("walk.smd", r).find("cannot open: Permission denied"),
              std::string::npos);
    EXPECT_EQ(kept.bones.size(), 3u);
}

}  // namespace
