#include "text/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace korvale::text {

namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

} // namespace

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view text) {
    std::size_t first = 0, last = text.size();
    while (first < last && is_blank(text[first])) {
        ++first;
    }
    while (last > first && is_blank(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

std::string lower(std::string text) {
    // Not std::tolower: a host's locale may map 'I' elsewhere (Turkish) or touch other bytes.
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string_view without_byte_order_mark(std::string_view text) {
    if (text.substr(0, BYTE_ORDER_MARK.size()) == BYTE_ORDER_MARK) {
        text.remove_prefix(BYTE_ORDER_MARK.size());
    }
    return text;
}

bool read_number(const char* first, const char* last, double* value) {
    const std::string_view number = trimmed(std::string_view(first, last - first));
    first = number.data();
    last = first + number.size();
    if (first < last && *first == '+') {
        ++first;
        if (first < last && *first == '-') {
            return false; // "+-1" is no number
        }
    }
    const auto done = std::from_chars(first, last, *value);
    return first < last && done.ec == std::errc() && done.ptr == last && std::isfinite(*value);
}

bool read_number(std::string_view text, double* value) {
    return read_number(text.data(), text.data() + text.size(), value);
}

bool read_integer(std::string_view text, int* value) {
    const char* last = text.data() + text.size();
    const auto done = std::from_chars(text.data(), last, *value);
    return !text.empty() && done.ec == std::errc() && done.ptr == last;
}

std::size_t line_of(const char* data, std::size_t size, std::ptrdiff_t offset) {
    const std::size_t end = offset < 0 ? 0 : std::min(size, static_cast<std::size_t>(offset));
    return 1 + static_cast<std::size_t>(std::count(data, data + end, '\n'));
}

std::string quoted(std::string_view text, std::size_t max_chars) {
    if (text.size() > max_chars) {
        return "'" + std::string(text.substr(0, max_chars)) + "...'";
    }
    return "'" + std::string(text) + "'";
}

} // namespace korvale::text
