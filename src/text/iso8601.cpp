#include "text/iso8601.h"

#include <limits>

#include "text/text.h"

namespace korvale::text {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double SECONDS_PER_DAY = 86400.0;
constexpr std::size_t MINUTE_END = 16; // "YYYY-MM-DDThh:mm"

struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    double fraction = 0.0;       // of a second
    double offset_minutes = 0.0; // east of UTC
};

// Reads `digits` decimal digits at text[at] into value.
bool read_digits(std::string_view text, std::size_t at, int digits, int* value) {
    if (at + static_cast<std::size_t>(digits) > text.size()) {
        return false;
    }
    *value = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = text[at + static_cast<std::size_t>(i)];
        if (c < '0' || c > '9') {
            return false;
        }
        *value = *value * 10 + (c - '0');
    }
    return true;
}

// Days from 1970-01-01 to the date in the proleptic Gregorian calendar.
double days_from_civil(int year, int month, int day) {
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int year_of_era = y - era * 400;
    const int day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return static_cast<double>(era) * 146097.0 + day_of_era - 719468.0;
}

// "YYYY-MM-DDThh:mm" at the start (a 't' or a blank may stand for the 'T').
bool read_date_and_minute(std::string_view text, DateTime* time) {
    return read_digits(text, 0, 4, &time->year) && text.size() >= MINUTE_END && text[4] == '-' &&
           read_digits(text, 5, 2, &time->month) && text[7] == '-' &&
           read_digits(text, 8, 2, &time->day) &&
           (text[10] == 'T' || text[10] == 't' || text[10] == ' ') &&
           read_digits(text, 11, 2, &time->hour) && text[13] == ':' &&
           read_digits(text, 14, 2, &time->minute);
}

// ":ss" with a fraction after '.' or ',', if the text goes on with them at *at; moves *at on.
bool read_seconds(std::string_view text, std::size_t* at, DateTime* time) {
    if (*at >= text.size() || text[*at] != ':') {
        return true;
    }
    if (!read_digits(text, *at + 1, 2, &time->second)) {
        return false;
    }
    *at += 3;
    if (*at >= text.size() || (text[*at] != '.' && text[*at] != ',')) {
        return true;
    }
    double scale = 0.1;
    const std::size_t digits = ++*at;
    while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9') {
        time->fraction += (text[*at] - '0') * scale;
        scale /= 10;
        ++*at;
    }
    return *at > digits;
}

// The zone that ends the text: none (UTC), 'Z', or "+hh", "+hhmm", "+hh:mm" (or '-').
bool read_zone(std::string_view zone, DateTime* time) {
    if (zone.empty() || zone == "Z" || zone == "z") {
        return true;
    }
    if (zone[0] != '+' && zone[0] != '-') {
        return false;
    }
    const std::string_view rest = zone.substr(1);
    int hours = 0, minutes = 0;
    const bool read = (rest.size() == 2 && read_digits(rest, 0, 2, &hours)) ||
                      (rest.size() == 4 && read_digits(rest, 0, 2, &hours) &&
                       read_digits(rest, 2, 2, &minutes)) ||
                      (rest.size() == 5 && read_digits(rest, 0, 2, &hours) && rest[2] == ':' &&
                       read_digits(rest, 3, 2, &minutes));
    if (!read || hours > 23 || minutes > 59) {
        return false;
    }
    time->offset_minutes = (zone[0] == '+' ? 1 : -1) * (hours * 60.0 + minutes);
    return true;
}

// 60 seconds is a leap second; 24:00:00 is the end of the day.
bool in_range(const DateTime& time) {
    return time.month >= 1 && time.month <= 12 && time.day >= 1 && time.day <= 31 &&
           time.hour <= 24 && time.minute <= 59 && time.second <= 60;
}

} // namespace

double parse_iso8601(std::string_view raw) {
    const std::string_view text = trimmed(raw);
    DateTime time;
    std::size_t at = MINUTE_END;
    if (!read_date_and_minute(text, &time) || !read_seconds(text, &at, &time) ||
        !read_zone(text.substr(at), &time) || !in_range(time)) {
        return NaN;
    }
    return days_from_civil(time.year, time.month, time.day) * SECONDS_PER_DAY + time.hour * 3600.0 +
           time.minute * 60.0 + time.second + time.fraction - time.offset_minutes * 60.0;
}

} // namespace korvale::text
