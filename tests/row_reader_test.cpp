// The loader reads every line as sscanf with the row pattern reads it: the same rows, the same
// values bit for bit, whatever the line holds. Checked against the C library itself, line by
// line over generated and random lines and the fuzz corpus, and file by file against fgets() and
// sscanf().
#include <algorithm>
#include <cfenv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/c_library.h"
#include "profile/route_loader.h"
#include "profile/row_reader.h"
#include "support/random.h"
#include "support/temp_dir.h"

using korvale::RowReader;

using korvale_test::Random;

namespace {

// A number as route files and their writers spell them, and as they should not.
std::string random_number(Random& r) {
    char text[512];
    const double magnitude = std::pow(10.0, r.below(16) - 6) * r.unit();
    const double value = r.below(4) == 0 ? -magnitude : magnitude;
    switch (r.below(12)) {
    case 0:
        std::snprintf(text, sizeof text, "%.3f", value * 1e6);
        return text;
    case 1:
        std::snprintf(text, sizeof text, "%.17g", value);
        return text;
    case 2:
        std::snprintf(text, sizeof text, "%.*e", r.below(20), value);
        return text;
    case 3:
        std::snprintf(text, sizeof text, "%.0f", value * 1000);
        return text;
    case 4: { // raw bits: denormals, huge values, infinities and NaN
        std::uint64_t bits = r.next() << 17 ^ r.next();
        double any = 0;
        std::memcpy(&any, &bits, sizeof any);
        std::snprintf(text, sizeof text, "%.*g", 1 + r.below(25), any);
        return text;
    }
    case 5: { // long digit strings with a point anywhere and leading zeros
        std::string digits =
            r.below(2) == 0 ? "" : std::string(static_cast<size_t>(r.below(5)), '0');
        const int n = 1 + r.below(40);
        const int point = r.below(n + 2);
        for (int i = 0; i < n; ++i) {
            if (i == point) {
                digits += '.';
            }
            digits += static_cast<char>('0' + r.below(10));
        }
        if (r.below(3) == 0) {
            digits += (r.below(2) != 0 ? "e" : "E") + std::string(r.below(3) == 0 ? "-" : "") +
                      std::to_string(r.below(400));
        }
        return (r.below(3) == 0 ? "-" : r.below(5) == 0 ? "+" : "") + digits;
    }
    case 6: { // near the limits of the exact conversion
        const std::uint64_t m = (1ULL << 53) - 2 + static_cast<std::uint64_t>(r.below(5));
        std::snprintf(text, sizeof text, "%llue%d", static_cast<unsigned long long>(m),
                      r.below(50) - 25);
        return text;
    }
    case 7: {
        static const char* odd[] = {"inf",
                                    "-INF",
                                    "nan",
                                    "NAN(123)",
                                    "infinity",
                                    "0x1p3",
                                    "0X.8",
                                    "-0x",
                                    "1e",
                                    "1e+",
                                    "2E-",
                                    ".",
                                    "-",
                                    "+.",
                                    "-.5",
                                    "5.",
                                    "00000",
                                    "-0",
                                    "1e-400",
                                    "1e400",
                                    "4.9e-324",
                                    "2.2250738585072011e-308",
                                    "9007199254740993",
                                    "1.7976931348623157e308",
                                    "1e22",
                                    "1e23",
                                    "123e-22",
                                    "1e-23",
                                    "0.1",
                                    "1,5",
                                    "1.5.5",
                                    "1-2",
                                    "1e5e5",
                                    "--1",
                                    "+-1",
                                    "1e0003",
                                    "0e999999999999",
                                    "1e-99999999999"};
        return odd[r.below(static_cast<int>(sizeof odd / sizeof odd[0]))];
    }
    default:
        std::snprintf(text, sizeof text, "%.*f", r.below(9), value * std::pow(10.0, r.below(8)));
        return text;
    }
}

std::string random_space(Random& r) {
    static const char* spaces[] = {" ", " ", " ", "  ", "\t", " \t ", "\v", "\f", "\r", ""};
    return spaces[r.below(10)];
}

// A line of mostly six numbers, sometimes fewer or more, with odd separators and endings.
std::string generated_line(Random& r) {
    std::string line = r.below(8) == 0 ? random_space(r) : "";
    const int count = r.below(10) < 8 ? 6 : r.below(9);
    for (int i = 0; i < count; ++i) {
        line += random_number(r);
        if (i + 1 < count) {
            line += r.below(20) == 0 ? random_space(r) : " ";
        }
    }
    switch (r.below(8)) {
    case 0:
        line += "\r\n";
        break;
    case 1:
        line += " trailing words\n";
        break;
    case 2:
        break;
    default:
        line += "\n";
    }
    return line;
}

// Bytes of every kind, the characters of numbers the most often.
std::string random_line(Random& r) {
    static const char alphabet[] = "0123456789+-.eE \t\r\v\fxXpPinfaINFA,;()_\x00\x80\xa0\xff";
    std::string line;
    const int n = r.below(60);
    for (int i = 0; i < n; ++i) {
        line += r.below(4) == 0 ? static_cast<char>(r.below(256))
                                : alphabet[r.below(static_cast<int>(sizeof alphabet - 1))];
    }
    return line + "\n";
}

// The reader's answer for a line next to sscanf's, bit for bit.
void expect_same(const RowReader& reader, const std::string& line, int* quick_rows) {
    const std::size_t length = std::min<std::size_t>(line.size(), 1023);
    double quick[6] = {1, 1, 1, 1, 1, 1};
    double reference[6] = {1, 1, 1, 1, 1, 1};
    const bool got = reader.read(line.data(), length, quick);
    const bool expected = RowReader::read_with_sscanf(line.data(), length, reference);
    ASSERT_EQ(got, expected) << "line: [" << line << "]";
    if (got) {
        ++*quick_rows;
        ASSERT_EQ(std::memcmp(quick, reference, sizeof quick), 0) << "line: [" << line << "]";
    }
}

// The loader as it read files before, line by line with fgets() and sscanf(), storing at most
// max_rows rows.
std::vector<double> reference_rows(const std::string& path, std::size_t max_rows = SIZE_MAX) {
    std::vector<double> values;
    std::FILE* file = std::fopen(path.c_str(), "r");
    char line[korvale::LINE_BUFFER_SIZE];
    while (values.size() / 6 < max_rows && std::fgets(line, sizeof line, file) != nullptr) {
        double v[6];
        if (std::sscanf(line, "%lf %lf %lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3], &v[4],
                        &v[5]) == 6) {
            values.insert(values.end(), v, v + 6);
        }
    }
    std::fclose(file);
    return values;
}

std::vector<double> loaded_rows(const std::string& path) {
    const std::int32_t capacity = korvale::count_lines(path.c_str());
    std::vector<double> c[6];
    for (auto& column : c) {
        column.assign(static_cast<std::size_t>(std::max(capacity, 0)), 0.0);
    }
    const std::int32_t rows =
        korvale::parse_rows(capacity, path.c_str(), c[0].data(), c[1].data(), c[2].data(),
                            c[3].data(), c[4].data(), c[5].data());
    std::vector<double> values;
    for (std::int32_t i = 0; i < rows; ++i) {
        for (auto& column : c) {
            values.push_back(column[static_cast<std::size_t>(i)]);
        }
    }
    return values;
}

// The whole file as the loader stores it, up to the capacity its line count gives.
void expect_same_file(const std::string& path) {
    const std::int32_t capacity = korvale::count_lines(path.c_str());
    const std::vector<double> expected =
        reference_rows(path, static_cast<std::size_t>(std::max(capacity, 0)));
    const std::vector<double> got = loaded_rows(path);
    ASSERT_EQ(got.size(), expected.size());
    if (!got.empty()) {
        EXPECT_EQ(std::memcmp(got.data(), expected.data(), got.size() * sizeof(double)), 0);
    }
}

} // namespace

TEST(RowReader, ReadsGeneratedAndRandomLinesAsSscanfDoes) {
    const RowReader reader;
#if defined(__GLIBC__)
    EXPECT_TRUE(reader.is_quick()); // the C locale, rounding to nearest
#endif
    Random r(42);
    int rows = 0;
    for (int i = 0; i < 60000; ++i) {
        expect_same(reader, generated_line(r), &rows);
        expect_same(reader, random_line(r), &rows);
        if (HasFatalFailure()) {
            return;
        }
    }
    EXPECT_GT(rows, 20000); // most generated lines are rows
}

TEST(RowReader, LoadsWholeFilesAsFgetsAndSscanfDo) {
    korvale_test::TempDir dir;
    Random r(7);
    for (int file = 0; file < 20; ++file) {
        std::string text;
        for (int i = 0; i < 400; ++i) {
            switch (r.below(20)) {
            case 0: // longer than a piece, often with the cut inside a number
                text += std::string(static_cast<std::size_t>(990 + r.below(60)), ' ') +
                        generated_line(r);
                break;
            case 1:
                text += random_line(r);
                break;
            case 2:
                text += std::string(1, '\0') + generated_line(r);
                break;
            default:
                text += generated_line(r);
            }
        }
        if (file % 2 == 0) {
            text += "1 2 3 4 5 6"; // a last row without a line feed
        }
        expect_same_file(dir.write("route" + std::to_string(file) + ".txt", text));
    }
}

// mingw-w64's "%lf" rounds to long double first and then to double, so that about one plain
// number in ten thousand reads one step away from the nearest double (strtod's answer). The
// reader gives sscanf's double for every one of them.
TEST(RowReader, PlainNumbersRoundedTwiceByTheCLibraryReadAsItReadsThem) {
    const RowReader reader;
    ASSERT_EQ(reader.is_quick(), korvale::platform::decimal_input_rounding !=
                                     korvale::platform::DecimalRounding::unknown);
    Random r(17);
    int rows = 0;
    int rounded_twice = 0;
    std::string line = "59229597.886558 782599597197439e-7 1 2 3 4\n";
    for (int i = 0; i < 40000 && !HasFatalFailure(); ++i) {
        expect_same(reader, line, &rows);
        for (const char* p = line.c_str(); *p != '\0';) {
            char* next = nullptr;
            const double nearest = std::strtod(p, &next);
            double read = 0;
            std::sscanf(p, "%lf", &read);
            rounded_twice += std::memcmp(&nearest, &read, sizeof read) != 0 ? 1 : 0;
            p = next + 1;
        }
        char text[160];
        std::snprintf(text, sizeof text, "%.3f %.3f %.*f %.1f %.*f %.*f\n", r.unit() * 1e6,
                      r.unit() * 1e7, r.below(4), r.unit() * 3000, r.unit() * 1e4, r.below(10),
                      r.unit() * 1e8, 1 + r.below(8), r.unit() * 0.1);
        line = text;
    }
    if (korvale::platform::decimal_input_rounding == korvale::platform::DecimalRounding::twice) {
        EXPECT_GT(rounded_twice, 5); // the case is met, not only the easy numbers
    } else {
        EXPECT_EQ(rounded_twice, 0);
    }
}

// Every file of the fuzz corpus, piece by piece as the loader cuts it (up to and including a line
// feed, at most 1023 characters, NUL bytes and all), then as a whole file.
TEST(RowReader, ReadsTheFuzzCorpusAsSscanfDoes) {
    if (korvale::platform::decimal_input_rounding == korvale::platform::DecimalRounding::unknown) {
        GTEST_SKIP() << "this C library reads every line with sscanf itself";
    }
    const RowReader reader;
    ASSERT_TRUE(reader.is_quick());
    const std::filesystem::path corpus = KORVALE_FUZZ_CORPUS;
    ASSERT_TRUE(std::filesystem::is_directory(corpus)) << corpus;
    int files = 0;
    int rows = 0;
    for (const auto& target : std::filesystem::directory_iterator(corpus)) {
        if (!target.is_directory()) {
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(target.path())) {
            if (!entry.is_regular_file()) {
                continue;
            }
            SCOPED_TRACE(entry.path().string());
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string text{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
            std::size_t begin = 0;
            while (begin < text.size()) {
                const std::size_t available = std::min<std::size_t>(text.size() - begin, 1023);
                const std::size_t feed = text.find('\n', begin);
                const std::size_t length = feed != std::string::npos && feed - begin < available
                                               ? feed - begin + 1
                                               : available;
                expect_same(reader, text.substr(begin, length), &rows);
                if (HasFatalFailure()) {
                    return;
                }
                begin += length;
            }
            expect_same_file(entry.path().string());
            ++files;
        }
    }
    EXPECT_GT(files, 0);
    EXPECT_GT(rows, 0);
}

TEST(RowReader, OtherRoundingModesAreLeftToTheCLibrary) {
    const int mode = std::fegetround();
    ASSERT_EQ(std::fesetround(FE_UPWARD), 0);
    const RowReader upward;
    std::fesetround(mode);
    EXPECT_FALSE(upward.is_quick());
    Random r(3);
    int rows = 0;
    ASSERT_EQ(std::fesetround(FE_UPWARD), 0);
    for (int i = 0; i < 2000; ++i) {
        expect_same(upward, generated_line(r), &rows);
    }
    std::fesetround(mode);
}

// A host that switches the numeric locale to one with a decimal comma reads "1,5" as 1.5 and
// "1.5" as 1: the loader follows it. glibc's locale is built for the test when the system can;
// Windows has its own under its own names.
TEST(RowReader, ADecimalCommaLocaleIsFollowed) {
    korvale_test::TempDir dir;
    const std::string old_locale = std::setlocale(LC_NUMERIC, nullptr);
#if defined(__GLIBC__)
    const std::string command =
        "localedef -i de_DE -f ISO-8859-1 " + dir.path() + "/de_DE.ISO-8859-1 >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        GTEST_SKIP() << "localedef cannot build a locale with a decimal comma here";
    }
    const char* old_path = std::getenv("LOCPATH");
    const std::string saved = old_path != nullptr ? old_path : "";
    setenv("LOCPATH", dir.path().c_str(), 1);
    const bool switched = std::setlocale(LC_NUMERIC, "de_DE.ISO-8859-1") != nullptr;
#else
    const bool switched = std::setlocale(LC_NUMERIC, "German_Germany.1252") != nullptr;
#endif
    if (switched) {
        const RowReader comma;
        EXPECT_FALSE(comma.is_quick());
        double v[6];
        const std::string line = "1,5 2,25 3 4 5 6,5\n";
        ASSERT_TRUE(comma.read(line.data(), line.size(), v));
        EXPECT_EQ(v[0], 1.5);
        EXPECT_EQ(v[5], 6.5);
        const std::string points = "1.5 2 3 4 5 6\n";
        EXPECT_FALSE(comma.read(points.data(), points.size(), v)); // "1" then ".5" fails
        const std::string file = dir.write("comma.txt", line + points + line);
        expect_same_file(file);
        EXPECT_EQ(loaded_rows(file).size(), 12u);
        Random r(11);
        int rows = 0;
        for (int i = 0; i < 2000 && !HasFatalFailure(); ++i) {
            expect_same(comma, generated_line(r), &rows);
        }
    }
    std::setlocale(LC_NUMERIC, old_locale.c_str());
#if defined(__GLIBC__)
    if (old_path != nullptr) {
        setenv("LOCPATH", saved.c_str(), 1);
    } else {
        unsetenv("LOCPATH");
    }
#endif
    if (!switched) {
        GTEST_SKIP() << "no locale with a decimal comma loads here";
    }
}
