// Reading route files: the line count, the rows that parse, and the failure lines.
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comm/dashboard_link.h"
#include "platform/text_file.h"
#include "profile/route_loader.h"
#include "profile/route_profile.h"
#include "support/random.h"
#include "support/temp_dir.h"

using korvale::count_lines;
using korvale::parse_rows;
using korvale_test::TempDir;

namespace {

struct Parsed {
    int count = 0;
    int rows = 0;
    std::vector<double> x, y, z, radius, limit, superelevation;
};

// Both passes as a profile runs them: the count sizes the arrays of the parse.
Parsed load(const std::string& path) {
    Parsed p;
    p.count = count_lines(path.c_str());
    if (p.count <= 0) {
        return p;
    }
    for (auto* v : {&p.x, &p.y, &p.z, &p.radius, &p.limit, &p.superelevation}) {
        v->assign(static_cast<size_t>(p.count), -99.0);
    }
    p.rows = parse_rows(p.count, path.c_str(), p.x.data(), p.y.data(), p.z.data(), p.radius.data(),
                        p.limit.data(), p.superelevation.data());
    return p;
}

} // namespace

TEST(RouteLoader, LineCountIsLineFeedsPlusOneAndBoundsTheRows) {
    TempDir dir;
    const std::string row = "1 2 3 4 5 6";
    EXPECT_EQ(load(dir.write("empty", "")).count, 0);
    EXPECT_EQ(load(dir.write("no_feed", row)).count, 0); // a single row without a line end

    Parsed one = load(dir.write("one", row + "\n"));
    EXPECT_EQ(one.count, 2);
    EXPECT_EQ(one.rows, 1);

    Parsed unterminated = load(dir.write("three_open", row + "\n" + row + "\n" + row));
    EXPECT_EQ(unterminated.count, 3);
    EXPECT_EQ(unterminated.rows, 3);

    Parsed terminated = load(dir.write("three", row + "\n" + row + "\n" + row + "\n"));
    EXPECT_EQ(terminated.count, 4);
    EXPECT_EQ(terminated.rows, 3);
}

TEST(RouteLoader, StoresSixNumberLinesInFileOrderAndSkipsTheRest) {
    TempDir dir;
    const Parsed p = load(dir.write("mixed", "x y z radius limit superelevation\n"
                                             "\n"
                                             "0 0 0 100 50 0.05\n"
                                             "1 2 3 4 5\n"      // five numbers
                                             "7,8,9,10,11,12\n" // commas stop after one
                                             "   \t\n"
                                             "10 -1 2.5 1e4 80 0\r\n" // CRLF
                                             "1 2 3 4 5 6 7\n"        // seven: first six kept
                                             "6 5 4 3 2 1 trailing words\n"
                                             "+1.5e1 .5 -0 inf nan 0x10\n"));
    ASSERT_EQ(p.rows, 5);
    const std::vector<double> expected_x = {0, 10, 1, 6, 15};
    const std::vector<double> expected_limit = {50, 80, 5, 2};
    for (size_t i = 0; i < expected_x.size(); ++i) {
        EXPECT_EQ(p.x[i], expected_x[i]) << "row " << i;
    }
    for (size_t i = 0; i < expected_limit.size(); ++i) {
        EXPECT_EQ(p.limit[i], expected_limit[i]) << "row " << i;
    }
    EXPECT_EQ(p.y[1], -1.0);
    EXPECT_EQ(p.z[1], 2.5);
    EXPECT_EQ(p.radius[1], 1e4);
    EXPECT_EQ(p.superelevation[2], 6.0);
    // Numbers are stored as read, whatever they are.
    EXPECT_EQ(p.y[4], 0.5);
    EXPECT_TRUE(std::signbit(p.z[4]));
    EXPECT_TRUE(std::isinf(p.radius[4]));
    EXPECT_TRUE(std::isnan(p.limit[4]));
    EXPECT_EQ(p.superelevation[4], 16.0);
}

TEST(RouteLoader, NumbersReadLikeC99FormattedInput) {
    TempDir dir;
    // Infinities and NaN in any case, hexadecimal numbers with binary exponents, exponents in
    // either case: read alike by every C library that follows C99.
    const Parsed p = load(dir.write("forms", "infinity -INF NaN 0x1.8p1 1E-3 -0X.8P-1\n"
                                             "0.1 +.25e+2 1e308 4.9406564584124654e-324 7. -0.0\n"
                                             "0x1p 1e 2 3 4 5\n"));
    ASSERT_EQ(p.rows, 3);
    EXPECT_TRUE(std::isinf(p.x[0]) && p.x[0] > 0);
    EXPECT_TRUE(std::isinf(p.y[0]) && p.y[0] < 0);
    EXPECT_TRUE(std::isnan(p.z[0]));
    EXPECT_EQ(p.radius[0], 3.0);
    EXPECT_EQ(p.limit[0], 1e-3);
    EXPECT_EQ(p.superelevation[0], -0.25);
    EXPECT_EQ(p.x[1], 0.1);
    EXPECT_EQ(p.y[1], 25.0);
    EXPECT_EQ(p.z[1], 1e308);
    EXPECT_EQ(p.radius[1], 4.9406564584124654e-324);
    EXPECT_EQ(p.limit[1], 7.0);
    EXPECT_TRUE(std::signbit(p.superelevation[1]));
    // An exponent mark without digits ends the number before it (glibc and mingw-w64 agree).
    EXPECT_EQ(p.x[2], 1.0);
    EXPECT_EQ(p.y[2], 1.0);
    EXPECT_EQ(p.z[2], 2.0);
}

TEST(RouteLoader, NumbersFollowTheDecimalSeparatorOfTheCurrentLocale) {
    // A locale with a decimal comma, under the names different systems give it.
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252", "German",
                             "fr_FR.UTF-8", "French"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr &&
            std::localeconv()->decimal_point[0] == ',') {
            comma = true;
            break;
        }
    }
    if (!comma) {
        std::setlocale(LC_NUMERIC, before.c_str());
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    TempDir dir;
    const Parsed p = load(dir.write("comma", "1,5 2,25 0 100 50 0,05\n"
                                             "1.5 2 3 4 5 6\n")); // "1" then ".5": no row
    std::setlocale(LC_NUMERIC, before.c_str());
    ASSERT_EQ(p.rows, 1);
    EXPECT_EQ(p.x[0], 1.5);
    EXPECT_EQ(p.y[0], 2.25);
    EXPECT_EQ(p.superelevation[0], 0.05);
}

TEST(RouteLoader, CrLfRowsLoadLikeLfRows) {
    TempDir dir;
    const Parsed lf = load(dir.write("lf", "0 0 0 1 2 3\n4 5 6 7 8 9\n"));
    const Parsed crlf = load(dir.write("crlf", "0 0 0 1 2 3\r\n4 5 6 7 8 9\r\n"));
    ASSERT_EQ(lf.rows, 2);
    ASSERT_EQ(crlf.rows, 2);
    EXPECT_EQ(lf.superelevation, crlf.superelevation);
    EXPECT_EQ(lf.x, crlf.x);
}

TEST(RouteLoader, LongLinesAreReadInPiecesOf1023Characters) {
    TempDir dir;
    // The first piece is all blanks and is skipped; the rest of the line is a row of its own.
    const std::string padded = std::string(1023, ' ') + "1 2 3 4 5 6\n";
    // A number cut at the piece boundary ends the first piece's row; its tail is skipped.
    std::string cut = "7 7 7 7 7 ";
    cut += std::string(1023 - cut.size() - 5, ' ') + "12345" + "678 junk\n";
    const Parsed p = load(dir.write("long", padded + cut + "8 8 8 8 8 8\n"));
    ASSERT_EQ(p.rows, 3);
    EXPECT_EQ(p.x[0], 1.0);
    EXPECT_EQ(p.x[1], 7.0);
    EXPECT_EQ(p.superelevation[1], 12345.0);
    EXPECT_EQ(p.x[2], 8.0);
}

TEST(RouteLoader, MissingFilePrintsBothFailureLinesAndGivesMinusOne) {
    TempDir dir;
    const std::string missing = dir.path() + "/nowhere.txt";
    std::vector<double> a(4);
    for (int pass = 0; pass < 2; ++pass) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int result = pass == 0 ? count_lines(missing.c_str())
                                     : parse_rows(4, missing.c_str(), a.data(), a.data(), a.data(),
                                                  a.data(), a.data(), a.data());
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, -1);
        EXPECT_EQ(err, "Can't open output file " + missing + "!\n");
        EXPECT_EQ(out, "[KORVALE_DLL] data parser FAILED reading file " + missing + "\n");
    }
    // A directory opens on some systems but never yields a line feed or a row.
    EXPECT_LE(count_lines(dir.path().c_str()), 0);
}

TEST(RouteLoader, LineCountsBeyondThirtyTwoBitsAreRefused) {
    EXPECT_EQ(korvale::line_count_for_feeds(0), 0);
    EXPECT_EQ(korvale::line_count_for_feeds(1), 2);
    EXPECT_EQ(korvale::line_count_for_feeds(2147483646), 2147483647);
    EXPECT_EQ(korvale::line_count_for_feeds(2147483647), -1);
    EXPECT_EQ(korvale::line_count_for_feeds(int64_t{1} << 40), -1);
}

TEST(RouteLoader, SkippedLinesAreCountedWithTheirFirstNumbersInTheSamePass) {
    TempDir dir;
    const std::string row = "1 2 3 4 5 6\n";
    // Blank lines and comments do not count; a long row's leftover piece is part of its row;
    // a long line without any row counts once; the last line may lack its line feed.
    const std::string text = "# header\n" + row + "\n  \t\r\n" + "x y z r s e\n" + row +
                             "1 2 3 4 5\n" + "   # indented comment\n" + row + "1,2,3,4,5,6\n" +
                             "1 2 3 4 5 6 " + std::string(1100, 'x') + "\n" +
                             std::string(2100, 'y') + "\n" + "a\n" + "b\n" + "c";
    const std::string path = dir.write("skips", text);
    const int capacity = count_lines(path.c_str());
    std::vector<double> c(static_cast<size_t>(capacity));
    korvale::SkippedLines skipped;
    const int rows = parse_rows(capacity, path.c_str(), c.data(), c.data(), c.data(), c.data(),
                                c.data(), c.data(), korvale::DiagSink::standard(), &skipped);
    EXPECT_EQ(rows, 4);
    EXPECT_EQ(skipped.count, 7); // lines 5, 7, 10, 12, 13, 14, 15
    EXPECT_EQ(skipped.kept(), korvale::SkippedLines::KEPT);
    EXPECT_EQ(std::vector<int64_t>(skipped.first.begin(), skipped.first.end()),
              (std::vector<int64_t>{5, 7, 10, 12, 13}));

    // A profile's construction hands the same count out through its details.
    korvale::ConstructionDetails details;
    testing::internal::CaptureStdout();
    korvale::RouteProfile profile(path.c_str(), korvale::CoastModel(korvale::BUILT_IN_VEHICLE),
                                  &details);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(profile.row_count(), 4);
    EXPECT_EQ(details.skipped_lines.count, 7);
}

TEST(RouteLoader, ASinkTakesTheLibrarysLinesAndADroppedSinkNone) {
    TempDir dir;
    const std::string good = dir.write("good", "0 0 0 1e4 50 0\n10 0 0 1e4 50 0\n");
    const std::string missing = dir.path() + "/missing.txt";
    std::vector<std::string> lines; // "level line"
    const auto take = [](std::int32_t level, const char* line, void* user) {
        static_cast<std::vector<std::string>*>(user)->push_back(std::to_string(level) + " " + line);
    };
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    {
        const korvale::CoastModel car(korvale::BUILT_IN_VEHICLE);
        const auto sink = korvale::DiagSink::to(take, &lines);
        korvale::RouteProfile to_function(missing.c_str(), car, nullptr, sink);
        korvale::RouteProfile dropped(good.c_str(), car, nullptr, korvale::DiagSink::dropped());
        EXPECT_EQ(dropped.row_count(), 2);
        korvale::comm::DashboardLink link(5005, 0, sink);
        link.close();
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "0 === KORVALE_DLL Library === (START)",
                         "1 Can't open output file " + missing + "!",
                         "0 [KORVALE_DLL] data parser FAILED reading file " + missing,
                         "0 [KORVALE_DLL] '" + missing + "' data parser has -1 rows",
                         "0 Closing connection for port 5005",
                     }));
}

// The loader reads route files in the C library's text mode (on Windows: a carriage return
// before a line feed dropped, a Ctrl-Z ends the file), carriage returns at the edges of its
// 64 KiB blocks and at the end of the file included, whatever the size of each read.
TEST(RouteLoader, FilesReadAsTheCLibrarysTextModeReadsThem) {
    TempDir dir;
    std::string rows;
    for (int i = 0; i < 3000; ++i) {
        static const char* endings[] = {"\n", "\r\n", "\r", "\r\r\n", " \r \n"};
        rows += std::to_string(i) + " 1 2 3 4 5" + endings[i % 5];
    }
    const std::string block_edges = std::string(65535, 'x') + "\r\n" + std::string(65534, 'y') +
                                    "\r\r\n" + std::string(65533, ' ') + "\r" +
                                    std::string(65535, ' ');
    const std::string texts[] = {rows + block_edges + rows + "\r",
                                 block_edges + rows + "\x1a" + rows, "\r", "\r\n\r\n", ""};
    for (std::size_t t = 0; t < sizeof texts / sizeof texts[0]; ++t) {
        const std::string path = dir.write("text" + std::to_string(t), texts[t]);
        std::string expected;
        std::FILE* file = std::fopen(path.c_str(), "r");
        ASSERT_NE(file, nullptr);
        for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
            expected += static_cast<char>(c);
        }
        std::fclose(file);
        for (const std::size_t size :
             {std::size_t{1}, std::size_t{3}, std::size_t{1000}, std::size_t{70000}}) {
            korvale::platform::TextFile text(path.c_str());
            ASSERT_TRUE(text.is_open());
            std::string got;
            std::vector<char> buffer(size);
            for (std::size_t n = 0; (n = text.read(buffer.data(), size)) > 0;) {
                ASSERT_LE(n, size);
                got.append(buffer.data(), n);
            }
            EXPECT_EQ(got, expected) << "file " << t << ", reads of " << size;
        }
    }
    // A lone carriage return joins two rows into one line: 2400 rows before the Ctrl-Z; where
    // that is a byte like any other, 2399 more after it (the line it starts is no row).
    const Parsed p = load(dir.path() + "/text1");
    EXPECT_TRUE(p.rows == 2400 || p.rows == 4799) << p.rows;
    EXPECT_FALSE(korvale::platform::TextFile(nullptr).is_open());

    // The byte search that both passes use, against a plain one.
    korvale_test::Random r(5);
    for (int i = 0; i < 20000; ++i) {
        std::string bytes(static_cast<std::size_t>(r.below(40)), '\0');
        for (char& c : bytes) {
            c = static_cast<char>(r.below(4) == 0 ? '\n' : r.below(256));
        }
        const char wanted = "\n\x80\xff"[r.below(3)];
        const char* begin = bytes.data();
        const char* end = begin + bytes.size();
        ASSERT_EQ(korvale::platform::find_byte(begin, end, wanted), std::find(begin, end, wanted));
    }
}
