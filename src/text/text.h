// Text as maps, tracks, traces and lists of limits are written: blanks, the UTF-8 byte-order
// mark, numbers read the same under every locale, and the pieces of messages about them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvale::text {

// A space, a tab, a line feed or a carriage return.
bool is_blank(char c);

// The text without the blanks at its ends (a view into the same characters).
std::string_view trimmed(std::string_view text);

// The text in lower case (ASCII letters only, whatever the locale).
std::string lower(std::string text);

// The text without the UTF-8 byte-order mark that some editors and spreadsheets put first.
std::string_view without_byte_order_mark(std::string_view text);

// A number between first and last as a program writes it, read the same under every locale:
// blanks around it allowed, a leading '+' allowed, nothing else after it; NaN, infinities and
// hexadecimal numbers do not count, nor does a number too large for a double.
bool read_number(const char* first, const char* last, double* value);
bool read_number(std::string_view text, double* value);

// A whole decimal integer that fits an int, with nothing around it (a '-' allowed before it).
bool read_integer(std::string_view text, int* value);

// The line (from 1) that byte offset lies on; offsets outside the text count as its ends.
std::size_t line_of(const char* data, std::size_t size, std::ptrdiff_t offset);

// The text cut to at most max_chars characters ("..." added), in single quotes, for messages.
std::string quoted(std::string_view text, std::size_t max_chars = 40);

} // namespace korvale::text
