#include "routes/source_text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "routes/route_error.h"

namespace korvale::routes {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

std::string read_source_file(const std::string& path, const char* what) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw RouteError(std::string("cannot read the ") + what + " '" + path +
                         "': " + std::generic_category().message(errno));
    }
    std::string data;
    std::size_t got = 0;
    do {
        // grows by half what it holds, from 64 KiB: a few reads for a file of any size
        const std::size_t held = data.size();
        data.resize(held + std::max<std::size_t>(held / 2, 1 << 16));
        got = std::fread(&data[held], 1, data.size() - held, file);
        data.resize(held + got);
    } while (got > 0);
    const bool failed = std::ferror(file) != 0;
    const int code = errno;
    std::fclose(file);
    if (failed) {
        throw RouteError(std::string("cannot read the ") + what + " '" + path +
                         "': " + std::generic_category().message(code));
    }
    return data;
}

bool read_number(const char* first, const char* last, double* value) {
    while (first < last && is_blank(*first)) {
        ++first;
    }
    while (last > first && is_blank(last[-1])) {
        --last;
    }
    if (first < last && *first == '+') {
        ++first;
    }
    const auto done = std::from_chars(first, last, *value);
    return first < last && done.ec == std::errc() && done.ptr == last && std::isfinite(*value);
}

bool read_number(const char* text, double* value) {
    return read_number(text, text + std::strlen(text), value);
}

bool read_number(const std::string& text, double* value) {
    return read_number(text.data(), text.data() + text.size(), value);
}

std::size_t line_of(const char* data, std::size_t size, std::ptrdiff_t offset) {
    const std::size_t end = offset < 0 ? 0 : std::min(size, static_cast<std::size_t>(offset));
    return 1 + static_cast<std::size_t>(std::count(data, data + end, '\n'));
}

std::string quoted(const std::string& text, std::size_t max_chars) {
    if (text.size() > max_chars) {
        return "'" + text.substr(0, max_chars) + "...'";
    }
    return "'" + text + "'";
}

} // namespace korvale::routes
