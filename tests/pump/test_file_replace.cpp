// Replacing a file whole or not at all, on a real disk that refuses: /dev/full answers every write
// with "no space left", as a full disk does.

#include "pump/file_replace.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace {

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class FileReplace : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("file-replace-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::size_t filesIn() const {
        return std::size_t(std::distance(std::filesystem::directory_iterator(dir),
                                         std::filesystem::directory_iterator()));
    }
    std::filesystem::path dir;
    std::vector<uint8_t> bytes{'n', 'e', 'w', '\r', '\n'};
};

TEST_F(FileReplace, ReplacesTheOldFileWhole) {
    const auto path = dir / "snapshot.nox";
    std::ofstream(path) << "old contents, longer than the new ones";
    EXPECT_EQ(replaceFile(path, bytes), "");
    EXPECT_EQ(contents(path), "new\r\n");
    EXPECT_EQ(filesIn(), 1u);
}

TEST_F(FileReplace, AFullDiskLeavesTheOldFileAndNoTemporaryOne) {
    const auto path = dir / "snapshot.nox";
    std::ofstream(path) << "old";
    // What reaches the disk goes to /dev/full instead, where writes end in "no space left".
    const FileWriteFn full = [](std::FILE*, std::span<const uint8_t> b) {
        std::FILE* device = std::fopen("/dev/full", "wb");
        if (device == nullptr) {
            return false;
        }
        const bool ok = writeAllBytes(device, b);
        const int error = errno;
        std::fclose(device);
        errno = error;
        return ok;
    };
    const std::string error = replaceFile(path, bytes, full);
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    EXPECT_EQ(contents(path), "old");
    EXPECT_EQ(filesIn(), 1u);
}

TEST_F(FileReplace, UnwritablePlacesGiveAReasonAndTouchNothing) {
    std::ofstream(dir / "plain") << "a file, not a folder";
    for (const auto& path : {dir / "missing" / "x.csv", dir / "plain" / "x.csv", dir, dir / ""}) {
        SCOPED_TRACE(path.string());
        EXPECT_FALSE(replaceFile(path, bytes).empty());
    }
    EXPECT_EQ(contents(dir / "plain"), "a file, not a folder");
    EXPECT_EQ(filesIn(), 1u);
}

}  // namespace
