// A file read as the C library's text mode ("r") gives it. On Windows that mode drops a
// carriage return before a line feed and ends the file at a Ctrl-Z (0x1A) byte; the C library
// does so a byte at a time, this reads the file in binary and translates whole runs between
// those bytes. Elsewhere text mode changes nothing, and the bytes are read as they are.
#pragma once

#include <cstddef>
#include <cstdio>
#include <vector>

namespace korvale::platform {

// The first byte equal to c in [begin, end), or end. The C library's memchr where it is fast;
// on Windows (whose msvcrt.dll, Wine's above all, may go a byte at a time) eight bytes at a
// time.
const char* find_byte(const char* begin, const char* end, char c);

class TextFile {
public:
    // Opens the file for reading; is_open() tells whether that worked (a null path never does).
    explicit TextFile(const char* path);
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    bool is_open() const { return file != nullptr; }

    // Reads up to size bytes of the text into buffer, as fread() of the text-mode file would;
    // fewer only at the end of the file, 0 there.
    std::size_t read(char* buffer, std::size_t size);

private:
    // Keeps the bytes not yet taken at the front of raw and reads more behind them; false
    // when the file has nothing more.
    bool fill();

    // What text mode keeps between reads (Windows only): a block of the file's bytes as they
    // are, the part of it not yet taken, and whether a Ctrl-Z was met.
    struct RawBlock {
        std::vector<char> bytes;
        std::size_t begin = 0;
        std::size_t end = 0;
        bool ended = false;
    };

    std::FILE* file = nullptr;
    RawBlock raw;
};

} // namespace korvale::platform
