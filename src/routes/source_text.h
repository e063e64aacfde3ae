// Reading the text of a route source (a map, a GPS track, a list of limits): the file's bytes,
// numbers read the same under every locale, and the line an offset lies on for messages.
#pragma once

#include <cstddef>
#include <string>

namespace korvale::routes {

// The whole file; throws RouteError "cannot read the WHAT 'PATH': REASON".
std::string read_source_file(const std::string& path, const char* what);

// A number between first and last as a program writes it, read the same under every locale:
// blanks around it allowed, a leading '+' allowed, nothing else after it; NaN and infinities do
// not count.
bool read_number(const char* first, const char* last, double* value);
bool read_number(const char* text, double* value);
bool read_number(const std::string& text, double* value);

// km/h in a mile per hour.
constexpr double KMH_PER_MPH = 1.609344;

// The line (from 1) that byte offset lies on; offsets outside the text count as its ends.
std::size_t line_of(const char* data, std::size_t size, std::ptrdiff_t offset);

// The text cut to at most max_chars characters ("..." added), in single quotes, for messages.
std::string quoted(const std::string& text, std::size_t max_chars = 40);

} // namespace korvale::routes
