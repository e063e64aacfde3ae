// The loader's own number reading against the C library: the input is cut into the pieces the
// loader reads (up to and including a line feed, at most 1023 characters, any byte), and each
// piece must give the row that sscanf with the row pattern gives on the same characters under
// the current locale: stored or skipped, and the six values bit for bit (any NaN matches any
// NaN). The same input is then loaded as a file, which must store exactly those rows, up to
// the capacity that its line count gives.
//
// The run takes the locale of the process, which is the C locale unless KORVALE_FUZZ_LOCALE
// names another (e.g. KORVALE_FUZZ_LOCALE=de_DE.UTF-8 for a decimal comma).
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "profile/route_loader.h"
#include "profile/row_reader.h"

namespace {

constexpr std::size_t PIECE = korvale::LINE_BUFFER_SIZE - 1;

struct Row {
    double v[6];
};

bool same_value(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) {
        return std::isnan(a) && std::isnan(b);
    }
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The row pattern on the piece as a C string, as the loader read lines with fgets().
bool read_with_c_library(const char* piece, std::size_t length, Row* row) {
    char line[PIECE + 1];
    std::memcpy(line, piece, length);
    line[length] = '\0';
    double* v = row->v;
    return std::sscanf(line, "%lf %lf %lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) ==
           6;
}

void report(const char* piece, std::size_t length, const char* what) {
    std::fprintf(stderr, "number reader differs from sscanf (%s) on the piece [", what);
    std::fwrite(piece, 1, length, stderr);
    std::fprintf(stderr, "] of %zu characters\n", length);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    korvale_fuzz::silence_standard_output();
    if (const char* locale = std::getenv("KORVALE_FUZZ_LOCALE")) {
        if (std::setlocale(LC_ALL, locale) == nullptr) {
            std::fprintf(stderr, "locale %s is not available\n", locale);
            std::exit(2);
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const korvale::RowReader reader; // made under the locale of the whole run
    const char* text = reinterpret_cast<const char*>(data);
    std::vector<Row> expected;
    std::size_t begin = 0;
    while (begin < size) {
        const char* piece = text + begin;
        const std::size_t available = size - begin < PIECE ? size - begin : PIECE;
        const void* feed = std::memchr(piece, '\n', available);
        const std::size_t length =
            feed != nullptr ? static_cast<std::size_t>(static_cast<const char*>(feed) - piece) + 1
                            : available;
        begin += length;

        Row want{};
        Row got{};
        const bool stored = read_with_c_library(piece, length, &want);
        if (reader.read(piece, length, got.v) != stored) {
            report(piece, length, stored ? "the reader skips a row" : "the reader stores a row");
            std::abort();
        }
        if (stored) {
            for (int i = 0; i < 6; ++i) {
                if (!same_value(got.v[i], want.v[i])) {
                    std::fprintf(stderr, "value %d: %a from the reader, %a from sscanf\n", i,
                                 got.v[i], want.v[i]);
                    report(piece, length, "a value");
                    std::abort();
                }
            }
            expected.push_back(want);
        }
    }

    // The loader reads the same bytes from a file in blocks of its own.
    static const korvale_fuzz::ScratchFile file;
    file.write(data, size);
    const std::int32_t capacity = korvale::count_lines(file.path());
    KORVALE_FUZZ_CHECK(capacity >= 0);
    const auto rows = static_cast<std::size_t>(capacity);
    std::vector<double> c[6];
    for (auto& column : c) {
        column.assign(rows, 0.0);
    }
    const std::int32_t stored =
        korvale::parse_rows(capacity, file.path(), c[0].data(), c[1].data(), c[2].data(),
                            c[3].data(), c[4].data(), c[5].data());
    KORVALE_FUZZ_CHECK(stored >= 0);
    KORVALE_FUZZ_CHECK(static_cast<std::size_t>(stored) == std::min(rows, expected.size()));
    for (std::size_t r = 0; r < static_cast<std::size_t>(stored); ++r) {
        for (int i = 0; i < 6; ++i) {
            KORVALE_FUZZ_CHECK(same_value(c[i][r], expected[r].v[i]));
        }
    }
    return 0;
}
