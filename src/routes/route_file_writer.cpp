#include "routes/route_file_writer.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <random>
#include <system_error>

#include "platform/new_file.h"
#include "routes/route_error.h"

namespace korvale::routes {

namespace {

// The loader reads a line longer than 1023 characters in pieces, each piece as a line of its
// own; comment lines stay well below that so that no piece of one can pass for a row.
constexpr std::size_t MAX_COMMENT_BYTES = 990;
// Rows are collected in memory and written in blocks of about this size.
constexpr std::size_t WRITE_BLOCK = 1 << 16;
// Below this magnitude six decimals are written; above, the shortest exact text.
constexpr double FIXED_LIMIT = 1e15;
constexpr int DECIMALS = 6;

std::string errno_text(int code) {
    return std::generic_category().message(code);
}

// Comment text as lines of at most MAX_COMMENT_BYTES, cut between UTF-8 sequences.
std::vector<std::string> comment_lines(const std::string& text) {
    std::string clean = text;
    for (char& c : clean) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            c = '?';
        }
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    do {
        std::size_t end = std::min(clean.size(), start + MAX_COMMENT_BYTES);
        while (end < clean.size() && end > start + 1 &&
               (static_cast<unsigned char>(clean[end]) & 0xC0) == 0x80) {
            --end; // a continuation byte: cut before its sequence
        }
        lines.push_back(clean.substr(start, end - start));
        start = end;
    } while (start < clean.size());
    return lines;
}

} // namespace

void check_row_count(double rows, double max_rows) {
    if (!(rows <= max_rows)) {
        char text[128];
        if (std::isfinite(rows)) {
            std::snprintf(text, sizeof text, "%.0f", rows);
        } else {
            std::snprintf(text, sizeof text, "countless");
        }
        char limit[64];
        std::snprintf(limit, sizeof limit, "%.0f", max_rows);
        throw RouteError(std::string("the route would have ") + text + " rows, more than " + limit +
                         " (use a larger step)");
    }
}

void check_step(double step) {
    if (!(step >= MIN_STEP && step <= MAX_STEP)) {
        throw RouteError("the step " + number_text(step) + " m is outside " +
                         number_text(MIN_STEP) + " to " + number_text(MAX_STEP) + " m");
    }
}

std::size_t format_number(double value, char* out) {
    char* const last = out + MAX_NUMBER_CHARS;
    if (value == 0.0) {
        out[0] = '0';
        return 1;
    }
    if (std::isfinite(value) && std::fabs(value) < FIXED_LIMIT) {
        const auto done = std::to_chars(out, last, value, std::chars_format::fixed, DECIMALS);
        char* end = done.ptr;
        while (end[-1] == '0') {
            --end;
        }
        if (end[-1] == '.') {
            --end;
        }
        if (end - out == 2 && out[0] == '-' && out[1] == '0') { // a tiny negative number
            out[0] = '0';
            return 1;
        }
        return static_cast<std::size_t>(end - out);
    }
    return static_cast<std::size_t>(std::to_chars(out, last, value).ptr - out);
}

std::string number_text(double value) {
    char text[MAX_NUMBER_CHARS];
    return std::string(text, format_number(value, text));
}

void append_row(const RouteRow& row, std::string& out) {
    const double values[6] = {row.x, row.y, row.z, row.radius, row.speed_limit, row.superelevation};
    char line[6 * (MAX_NUMBER_CHARS + 1)];
    std::size_t used = 0;
    for (int i = 0; i < 6; ++i) {
        used += format_number(values[i], line + used);
        line[used++] = i < 5 ? ' ' : '\n';
    }
    out.append(line, used);
}

RouteFileWriter::RouteFileWriter(std::string route_path, const std::vector<std::string>& comments)
    : path(std::move(route_path)) {
    // What may fail for want of memory comes first: once the file is made, nothing throws.
    buffer.reserve(WRITE_BLOCK + 256);
    for (const std::string& comment : comments) {
        for (const std::string& line : comment_lines(comment)) {
            buffer += "# ";
            buffer += line;
            buffer += '\n';
        }
    }
    std::random_device entropy;
    for (int attempt = 0; attempt < 100 && file == nullptr; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(entropy()));
        temporary = path + suffix;
        file = platform::create_new_file(temporary.c_str()); // fails when the name is taken
        if (file == nullptr && errno != EEXIST) {
            break;
        }
    }
    if (file == nullptr) {
        throw RouteError("cannot write the route file '" + path + "': " + errno_text(errno));
    }
}

RouteFileWriter::~RouteFileWriter() {
    if (file != nullptr) {
        std::fclose(file);
    }
    if (!committed) {
        std::remove(temporary.c_str());
    }
}

void RouteFileWriter::add(const RouteRow& row) {
    append_row(row, buffer);
    ++written;
    if (buffer.size() >= WRITE_BLOCK) {
        flush();
    }
}

void RouteFileWriter::flush() {
    if (!buffer.empty() && std::fwrite(buffer.data(), 1, buffer.size(), file) != buffer.size()) {
        fail("cannot write the route file '" + path + "': " + errno_text(errno));
    }
    buffer.clear();
}

void RouteFileWriter::commit() {
    flush();
    const int closed = std::fclose(file);
    file = nullptr;
    if (closed != 0) {
        fail("cannot write the route file '" + path + "': " + errno_text(errno));
    }
    const std::error_code error = platform::replace_file(temporary.c_str(), path.c_str());
    if (error) {
        fail("cannot write the route file '" + path + "': " + error.message());
    }
    committed = true;
}

void RouteFileWriter::fail(const std::string& what) {
    if (file != nullptr) {
        std::fclose(file);
        file = nullptr;
    }
    std::remove(temporary.c_str());
    committed = true; // nothing left to remove
    throw RouteError(what);
}

} // namespace korvale::routes
