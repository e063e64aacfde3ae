// Dates and times as ISO 8601 writes them.
#pragma once

#include <string_view>

namespace korvale::text {

// An ISO 8601 date and time ("2016-02-02T16:58:58Z", fractions of a second, a 'Z' or an offset
// such as "+01:00" or "-0800"; without either, UTC) as seconds since 1970-01-01 UTC; NaN when it
// does not read as one. Blanks around it are allowed.
double parse_iso8601(std::string_view text);

} // namespace korvale::text
