// Only regular files directly inside the served directory can be opened.

#include "service/file_confine.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace kestrix::tftp {
namespace {

class ConfineTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kx_confine_XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        root_ = tmpl;
        dir_ = root_ + "/served";
        ASSERT_EQ(mkdir(dir_.c_str(), 0755), 0);
        std::ofstream(dir_ + "/fw.bin") << "firmware";
        std::ofstream(dir_ + "/a..b") << "dots inside a name are fine";
        std::ofstream(dir_ + "/name with space.BIN") << "x";
        std::ofstream(root_ + "/secret") << "outside";
        ASSERT_EQ(mkdir((dir_ + "/sub").c_str(), 0755), 0);
        std::ofstream(dir_ + "/sub/inner") << "inner";
        ASSERT_EQ(symlink((root_ + "/secret").c_str(), (dir_ + "/link").c_str()), 0);
        ASSERT_EQ(symlink("fw.bin", (dir_ + "/samedir-link").c_str()), 0);
        ASSERT_EQ(symlink("nowhere", (dir_ + "/dangling").c_str()), 0);
        ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0644), 0);
        dir_fd_ = open(dir_.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(dir_fd_, 0);
    }
    void TearDown() override {
        if (dir_fd_ >= 0) close(dir_fd_);
        std::string cmd = "rm -rf '" + root_ + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }
    std::string root_, dir_;
    int dir_fd_ = -1;
};

TEST_F(ConfineTest, OpensOnlyRegularFilesDirectlyInside) {
    struct Case {
        const char* name;
        ErrorCode error;  // kNotDefined: opens
        uint64_t size;
    };
    const std::string longName(300, 'x');
    const Case cases[] = {
        {"fw.bin", ErrorCode::kNotDefined, 8},
        {"a..b", ErrorCode::kNotDefined, 27},
        {"name with space.BIN", ErrorCode::kNotDefined, 1},
        {"missing.bin", ErrorCode::kFileNotFound, 0},
        {"FW.BIN", ErrorCode::kFileNotFound, 0},
        {"../secret", ErrorCode::kAccessViolation, 0},
        {"..", ErrorCode::kAccessViolation, 0},
        {".", ErrorCode::kAccessViolation, 0},
        {"", ErrorCode::kAccessViolation, 0},
        {"/etc/passwd", ErrorCode::kAccessViolation, 0},
        {"sub/inner", ErrorCode::kAccessViolation, 0},
        {"sub\\inner", ErrorCode::kAccessViolation, 0},
        {"..\\secret", ErrorCode::kAccessViolation, 0},
        {"sub", ErrorCode::kAccessViolation, 0},
        {"link", ErrorCode::kAccessViolation, 0},
        {"samedir-link", ErrorCode::kAccessViolation, 0},
        {"dangling", ErrorCode::kAccessViolation, 0},
        {"fifo", ErrorCode::kAccessViolation, 0},
        {longName.c_str(), ErrorCode::kFileNotFound, 0},
    };
    for (const auto& c : cases) {
        auto opened = OpenConfined(dir_fd_, c.name);
        if (c.error == ErrorCode::kNotDefined) {
            ASSERT_GE(opened.fd, 0) << c.name;
            EXPECT_EQ(opened.size, c.size) << c.name;
            close(opened.fd);
        } else {
            EXPECT_LT(opened.fd, 0) << c.name;
            EXPECT_EQ(opened.error, c.error) << c.name;
            EXPECT_FALSE(opened.message.empty()) << c.name;
        }
    }
}

TEST_F(ConfineTest, FifoOpenNeverBlocks) {
    // Even when the name is swapped for a FIFO after the look, the open with
    // O_NONBLOCK returns and the descriptor is refused; here the look itself
    // already refuses it, and no writer is ever needed.
    auto opened = OpenConfined(dir_fd_, "fifo");
    EXPECT_LT(opened.fd, 0);
}

}  // namespace
}  // namespace kestrix::tftp
