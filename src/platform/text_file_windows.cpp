// Windows' text mode, done on blocks of the binary file: a carriage return followed by a line
// feed is dropped, any other carriage return kept (also the last byte of the file), and a
// Ctrl-Z ends the file.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/text_file.h"

namespace korvale::platform {

namespace {

constexpr std::size_t RAW_BLOCK_SIZE = 1 << 16;
constexpr char CARRIAGE_RETURN = '\r';
constexpr char END_OF_TEXT = '\x1a'; // Ctrl-Z

constexpr std::uint64_t ONES = 0x0101010101010101u;
constexpr std::uint64_t HIGHS = 0x8080808080808080u;

// Has the high bit set in the lowest byte of word that is zero (and maybe in higher ones).
constexpr std::uint64_t zero_bytes(std::uint64_t word) {
    return (word - ONES) & ~word & HIGHS;
}

// The first byte in [begin, end) equal to a or b, or end: eight bytes at a time.
const char* find_either(const char* begin, const char* end, char a, char b) {
    const std::uint64_t pattern_a = ONES * static_cast<unsigned char>(a);
    const std::uint64_t pattern_b = ONES * static_cast<unsigned char>(b);
    const char* p = begin;
    for (; end - p >= 8; p += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, sizeof word); // the bytes in little-endian order
        const std::uint64_t found = zero_bytes(word ^ pattern_a) | zero_bytes(word ^ pattern_b);
        if (found != 0) {
            int byte = 0;
            while ((found >> (8 * byte + 7) & 1u) == 0) {
                ++byte;
            }
            return p + byte;
        }
    }
    for (; p < end; ++p) {
        if (*p == a || *p == b) {
            return p;
        }
    }
    return end;
}

} // namespace

const char* find_byte(const char* begin, const char* end, char c) {
    return find_either(begin, end, c, c);
}

TextFile::TextFile(const char* path) : file(path != nullptr ? std::fopen(path, "rb") : nullptr) {
    if (file != nullptr) {
        raw.bytes.resize(RAW_BLOCK_SIZE);
    }
}

TextFile::~TextFile() {
    if (file != nullptr) {
        std::fclose(file);
    }
}

bool TextFile::fill() {
    std::memmove(raw.bytes.data(), raw.bytes.data() + raw.begin, raw.end - raw.begin);
    raw.end -= raw.begin;
    raw.begin = 0;
    const std::size_t got =
        std::fread(raw.bytes.data() + raw.end, 1, raw.bytes.size() - raw.end, file);
    raw.end += got;
    return got > 0;
}

std::size_t TextFile::read(char* buffer, std::size_t size) {
    if (file == nullptr) {
        return 0;
    }
    std::size_t written = 0;
    while (written < size && !raw.ended) {
        if (raw.begin == raw.end && !fill()) {
            break;
        }
        // The run up to the next carriage return or Ctrl-Z is copied as it is.
        const char* run = raw.bytes.data() + raw.begin;
        const std::size_t room = std::min(size - written, raw.end - raw.begin);
        const char* special = find_either(run, run + room, CARRIAGE_RETURN, END_OF_TEXT);
        const auto length = static_cast<std::size_t>(special - run);
        std::memcpy(buffer + written, run, length);
        written += length;
        raw.begin += length;
        if (length == room) {
            continue;
        }
        if (*special == END_OF_TEXT) {
            raw.ended = true;
            break;
        }
        // A carriage return: its next byte decides, read first when it is not there yet.
        if (raw.begin + 1 == raw.end && !fill()) {
            buffer[written++] = CARRIAGE_RETURN; // the file's last byte
            raw.begin = raw.end;
            break;
        }
        if (raw.bytes[raw.begin + 1] != '\n') {
            buffer[written++] = CARRIAGE_RETURN;
        }
        ++raw.begin;
    }
    return written;
}

} // namespace korvale::platform
