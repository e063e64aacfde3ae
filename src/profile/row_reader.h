// Reading the six numbers of one route-file line exactly as the row pattern
// "%lf %lf %lf %lf %lf %lf" of sscanf reads them under the current locale.
#pragma once

#include <cstddef>

namespace korvale {

class RowReader {
public:
    // Decides once, for the current locale, rounding and C library, whether the quick reading
    // may be used; a reader made under one locale must not be used under another.
    RowReader();

    // Reads the line text[0..length), which holds at most 1023 characters (one piece of a line,
    // the line feed included when there is one) and may hold any byte. Stores six values and
    // returns true when the line starts with six numbers, as sscanf with the row pattern would
    // on the same characters followed by a terminating zero.
    bool read(const char* text, std::size_t length, double values[6]) const;

    // The same answer, always from sscanf itself.
    static bool read_with_sscanf(const char* text, std::size_t length, double values[6]);

    // Whether read() may answer lines itself.
    bool is_quick() const { return quick; }

private:
    bool quick = false;
};

} // namespace korvale
