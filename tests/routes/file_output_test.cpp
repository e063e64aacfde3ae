// The route writer's file operations of the platform layer, on real files: a new file never
// takes over an old one, and the rename replaces the old one (which Windows' own rename refuses).
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/file_output.h"
#include "support/temp_dir.h"

namespace {

std::string text_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(FileOutput, ANewFileNeverTakesOverAnOldOneAndItsRenameReplacesIt) {
    using namespace korvale::platform;
    korvale_test::TempDir dir;
    const std::string old_file = dir.path() + "/route.txt", new_file = dir.path() + "/route.tmp";
    { std::ofstream(old_file, std::ios::binary) << "old\n"; }

    errno = 0;
    EXPECT_EQ(create_new_file(old_file.c_str()), nullptr);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(text_of(old_file), "old\n");

    std::FILE* file = create_new_file(new_file.c_str());
    ASSERT_NE(file, nullptr);
    std::fputs("new\r\n", file); // binary: the bytes as they are
    ASSERT_EQ(std::fclose(file), 0);
    EXPECT_EQ(replace_file(new_file.c_str(), old_file.c_str()), 0);
    EXPECT_EQ(text_of(old_file), "new\r\n");
    EXPECT_FALSE(std::filesystem::exists(new_file));

    EXPECT_EQ(replace_file(new_file.c_str(), old_file.c_str()), ENOENT);
    EXPECT_EQ(create_new_file((dir.path() + "/missing/route.tmp").c_str()), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(text_of(old_file), "new\r\n");
}

} // namespace
