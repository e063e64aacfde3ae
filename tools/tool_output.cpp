#include "tool_output.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>

namespace korvale_tool {

namespace {

bool verbose_lines = false;

// The library's lines, one a line on standard error.
void to_standard_error(std::int32_t /*level*/, const char* line, void* /*user*/) {
    std::fprintf(stderr, "%s\n", line);
    std::fflush(stderr);
}

} // namespace

void set_verbose(bool verbose) {
    verbose_lines = verbose;
}

korvale::DiagSink library_lines() {
    return verbose_lines ? korvale::DiagSink::to(to_standard_error, nullptr)
                         : korvale::DiagSink::dropped();
}

korvale::DiagSink HeldLines::sink() {
    return verbose_lines ? korvale::DiagSink::to(hold, this) : korvale::DiagSink::dropped();
}

void HeldLines::hold(std::int32_t level, const char* line, void* user) {
    try {
        static_cast<HeldLines*>(user)->lines.emplace_back(level, line);
    } catch (...) {
        // (a line that does not fit in memory is dropped)
    }
}

void HeldLines::release() {
    for (const auto& [level, line] : lines) {
        to_standard_error(level, line.c_str(), nullptr);
    }
    lines.clear();
}

void warn(const std::string& message) {
    std::cout.flush();
    std::cerr << "korvale: warning: " << message << "\n";
}

int report_error(const std::string& message) {
    std::cout.flush();
    std::cerr << "korvale: error: " << message << "\n";
    return 1;
}

void require_readable(const std::string& path, const std::string& what) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    int error = file == nullptr ? (errno != 0 ? errno : ENOENT) : 0;
    if (file != nullptr) {
        errno = 0;
        std::fgetc(file);
        error = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
        std::fclose(file);
    }
    if (error != 0) {
        throw std::runtime_error("cannot read " + what + " '" + path +
                                 "': " + std::strerror(error));
    }
}

void print_columns(const std::vector<std::vector<std::string>>& rows, Alignment alignment,
                   std::ostream& out) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::string pad(widths[i] - row[i].size(), ' ');
            if (alignment == Alignment::numbers && i > 0) {
                line += "  " + pad + row[i];
            } else {
                line += row[i];
                if (i + 1 < row.size()) {
                    line += pad + "  ";
                }
            }
        }
        out << line << "\n";
    }
}

void write_all_or_none(const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<std::string> written; // temporary files, then the renamed ones
    const auto undo = [&](const std::string& path, const std::string& reason) {
        for (const std::string& name : written) {
            std::remove(name.c_str());
        }
        throw std::runtime_error("cannot write " + path + ": " + reason);
    };
    for (const auto& [path, text] : files) {
        const std::string temporary = path + ".partial";
        errno = 0;
        std::FILE* file = std::fopen(temporary.c_str(), "wb");
        if (file == nullptr) {
            undo(path, std::strerror(errno != 0 ? errno : EIO));
        }
        written.push_back(temporary);
        const bool wrote = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        const int error = errno != 0 ? errno : EIO;
        if (std::fclose(file) != 0 || !wrote) {
            undo(path, std::strerror(error));
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::error_code error;
        std::filesystem::rename(written[i], files[i].first, error);
        if (error) {
            for (std::size_t j = 0; j < i; ++j) {
                written[j] = files[j].first; // already in place: remove those too
            }
            undo(files[i].first, error.message());
        }
    }
}

} // namespace korvale_tool
