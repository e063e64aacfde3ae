// The route writer's files on each platform, on real files: its temporary file never takes over
// a file of the same name, and a committed route replaces the file at its path (which the C
// library's rename refuses on Windows) while an uncommitted one leaves it as it was, also where
// its name is not plain ASCII.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/new_file.h"
#include "routes/route_file_writer.h"
#include "support/temp_dir.h"

namespace {

std::string text_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_route(const std::string& path, const std::string& comment, bool commit) {
    korvale::routes::RouteFileWriter writer(path, {comment});
    writer.add({1.5, 2, 0, 10000, 50, 0});
    if (commit) {
        writer.commit();
    }
}

TEST(NewFile, ATemporaryFileNeverTakesOverAnOldOneAndARouteReplacesItsFile) {
    korvale_test::TempDir dir;
    const std::string route = dir.path() + "/route.txt";
    { std::ofstream(route, std::ios::binary) << "old\n"; }
    errno = 0;
    EXPECT_EQ(korvale::platform::create_new_file(route.c_str()), nullptr);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(text_of(route), "old\n");
    EXPECT_EQ(korvale::platform::create_new_file((dir.path() + "/no/route.txt").c_str()), nullptr);
    EXPECT_EQ(errno, ENOENT);

    write_route(route, "new", true);
    EXPECT_EQ(text_of(route), "# new\n1.5 2 0 10000 50 0\n"); // binary: no carriage returns
    write_route(route, "unfinished", false);
    EXPECT_EQ(text_of(route), "# new\n1.5 2 0 10000 50 0\n");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++files;
    }
    EXPECT_EQ(files, 1); // no temporary file left

    // A blank and a euro sign (its UTF-8 bytes, which Windows reads in its code page as fopen
    // does: the rename must read them the same way).
    const std::string named = dir.path() + "/route \xe2\x82\xac.txt";
    write_route(named, "named", true);
    EXPECT_EQ(text_of(named), "# named\n1.5 2 0 10000 50 0\n");
}

} // namespace
