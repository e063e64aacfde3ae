#include "profile/route_loader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "diag.h"
#include "platform/text_file.h"
#include "profile/row_reader.h"

namespace korvale {

namespace {

constexpr std::size_t READ_CHUNK_SIZE = 8192; // small enough for the stack of any host thread
constexpr std::size_t READ_BLOCK_SIZE = 1 << 16;
static_assert(READ_BLOCK_SIZE >= LINE_BUFFER_SIZE, "a block must hold a whole piece of a line");

// Whether the route file opened; prints both open-failure lines when it did not.
bool opened(const platform::TextFile& file, const char* path, const DiagSink& sink) {
    if (!file.is_open()) {
        diag_error(sink, "Can't open output file %s!\n", printable_path(path));
        diag_print(sink, "[KORVALE_DLL] data parser FAILED reading file %s\n",
                   printable_path(path));
    }
    return file.is_open();
}

// Follows the pieces of parse_rows() line by line and notes the lines that held something but
// gave no row.
class SkippedLineCounter {
public:
    explicit SkippedLineCounter(SkippedLines* lines) : out(lines) {}

    void piece(const char* text, std::size_t length, bool stored) {
        if (out == nullptr) {
            return;
        }
        line_open = true;
        has_row = has_row || stored;
        for (std::size_t i = 0; first == NOTHING_YET && i < length; ++i) {
            if (!is_blank(text[i])) {
                first = static_cast<unsigned char>(text[i]);
            }
        }
        if (text[length - 1] == '\n') {
            end_line();
        }
    }

    // The last line, when the file does not end in a line feed.
    void finish() {
        if (out != nullptr && line_open) {
            end_line();
        }
    }

private:
    static constexpr int NOTHING_YET = -1;

    static bool is_blank(char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    }

    void end_line() {
        if (!has_row && first != NOTHING_YET && first != '#') {
            if (out->kept() < SkippedLines::KEPT) {
                out->first[out->kept()] = line;
            }
            ++out->count;
        }
        ++line;
        line_open = false;
        has_row = false;
        first = NOTHING_YET;
    }

    SkippedLines* out;
    std::int64_t line = 1;
    bool line_open = false;
    bool has_row = false;
    int first = NOTHING_YET;
};

// The file read in large blocks and cut into the pieces that fgets() with the line buffer would
// give: up to and including the next line feed, at most LINE_BUFFER_SIZE - 1 characters. A
// block always holds a whole piece, or the rest of the file.
class PieceBuffer {
public:
    static constexpr std::size_t PIECE = LINE_BUFFER_SIZE - 1;

    PieceBuffer() : block(READ_BLOCK_SIZE) {}

    // When less than a whole piece is left, moves it to the front and fills the block from file.
    void refill(platform::TextFile& file) {
        if (end - begin < PIECE && !at_end_of_file) {
            std::memmove(block.data(), block.data() + begin, end - begin);
            end -= begin;
            begin = 0;
            while (end < block.size()) {
                const std::size_t got = file.read(block.data() + end, block.size() - end);
                if (got == 0) {
                    at_end_of_file = true;
                    break;
                }
                end += got;
            }
        }
    }

    // The next piece of what the block holds; false when it holds nothing.
    bool next_piece(const char** piece, std::size_t* length) {
        if (begin == end) {
            return false;
        }
        *piece = block.data() + begin;
        const std::size_t available = std::min(end - begin, PIECE);
        const char* feed = platform::find_byte(*piece, *piece + available, '\n');
        *length =
            feed != *piece + available ? static_cast<std::size_t>(feed - *piece) + 1 : available;
        begin += *length;
        return true;
    }

private:
    std::vector<char> block;
    std::size_t begin = 0;
    std::size_t end = 0;
    bool at_end_of_file = false;
};

} // namespace

std::int64_t line_count_for_feeds(std::int64_t line_feeds) {
    const std::int64_t count = line_feeds != 0 ? line_feeds + 1 : 0;
    return count > std::numeric_limits<std::int32_t>::max() ? -1 : count;
}

std::int32_t count_lines(const char* path, const DiagSink& sink) {
    platform::TextFile file(path);
    if (!opened(file, path, sink)) {
        return -1;
    }
    // Counting line feeds in blocks reads the same characters as reading them one by one.
    static_assert(READ_CHUNK_SIZE > 0, "read chunk must not be empty");
    char chunk[READ_CHUNK_SIZE];
    std::int64_t line_feeds = 0;
    std::size_t got = 0;
    while ((got = file.read(chunk, sizeof chunk)) > 0) {
        const char* p = chunk;
        const char* end = chunk + got;
        while ((p = platform::find_byte(p, end, '\n')) != end) {
            ++line_feeds;
            ++p;
        }
    }
    const std::int64_t count = line_count_for_feeds(line_feeds);
    if (count < 0) {
        diag_print(sink, "[KORVALE_DLL] '%s' has more lines than a route can hold\n",
                   printable_path(path));
        return 0;
    }
    return static_cast<std::int32_t>(count);
}

std::int32_t parse_rows(std::int32_t capacity, const char* path, double* x, double* y, double* z,
                        double* curve_radius, double* max_speed, double* superelevation,
                        const DiagSink& sink, SkippedLines* skipped) {
    platform::TextFile file(path);
    if (!opened(file, path, sink)) {
        return -1;
    }
    PieceBuffer buffer;
    SkippedLineCounter skipped_lines(skipped);
    const RowReader reader;
    std::int32_t rows = 0;
    while (rows < capacity) {
        buffer.refill(file);
        const char* piece = nullptr;
        std::size_t length = 0;
        if (!buffer.next_piece(&piece, &length)) {
            break; // nothing left to read
        }
        double v[6];
        const bool stored = reader.read(piece, length, v);
        if (stored) {
            x[rows] = v[0];
            y[rows] = v[1];
            z[rows] = v[2];
            curve_radius[rows] = v[3];
            max_speed[rows] = v[4];
            superelevation[rows] = v[5];
            ++rows;
        }
        skipped_lines.piece(piece, length, stored);
    }
    skipped_lines.finish();
    return rows;
}

} // namespace korvale
