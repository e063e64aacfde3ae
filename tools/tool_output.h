// What the korvale tool says besides its own output: warnings and the library's diagnostic
// lines, both on standard error, so that standard output carries the command's output alone.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "diag.h"

namespace korvale_tool {

// With verbose, the library's own lines (profile construction, the dashboard link) go to
// standard error; without, they are dropped. Set once, before a command runs.
void set_verbose(bool verbose);

// Where the profiles and links that the tool builds write their lines.
korvale::DiagSink library_lines();

// The library's lines of one call, held until the tool knows whether to show them: on release
// they go where library_lines() says, in their order; unreleased, they are dropped.
class HeldLines {
public:
    korvale::DiagSink sink();
    void release();

private:
    static void hold(std::int32_t level, const char* line, void* user);

    std::vector<std::pair<std::int32_t, std::string>> lines;
};

// "korvale: warning: MESSAGE" on standard error.
void warn(const std::string& message);

// "korvale: error: MESSAGE" on standard error; returns the tool's exit status for it, 1.
int report_error(const std::string& message);

// Throws std::runtime_error "cannot read WHAT 'PATH': REASON" unless the file opens and reads
// (a directory does not).
void require_readable(const std::string& path, const std::string& what);

// One line per row, in columns as wide as their widest entry, two blanks apart: every column
// left-aligned (no blanks after the last), or with numbers the first left-aligned and the
// others right-aligned.
enum class Alignment { left, numbers };
void print_columns(const std::vector<std::vector<std::string>>& rows, Alignment alignment,
                   std::ostream& out);

// Writes each (path, text) in full or none of them: all to temporary files beside their paths
// first, then each renamed into place. Throws std::runtime_error "cannot write PATH: REASON",
// leaving no file of them behind (nor any temporary one).
void write_all_or_none(const std::vector<std::pair<std::string, std::string>>& files);

} // namespace korvale_tool
