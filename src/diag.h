// Diagnostic output of the library: formatted lines, where they go, and the message of the
// last failure of a call on this thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#if defined(__GNUC__) || defined(__clang__)
#define KORVALE_PRINTF_FORMAT(fmt_index, first_arg)                                                \
    __attribute__((format(printf, fmt_index, first_arg)))
#else
#define KORVALE_PRINTF_FORMAT(fmt_index, first_arg)
#endif

namespace korvale {

// Receives one diagnostic line without its line feed: level LOG_OUTPUT for a line that goes to
// standard output when nobody takes the lines, LOG_ERROR for one that goes to standard error.
using LogFunction = void (*)(std::int32_t level, const char* line, void* user);
constexpr std::int32_t LOG_OUTPUT = 0;
constexpr std::int32_t LOG_ERROR = 1;

// Where the diagnostic lines of one profile's construction or one link go. The library's exports
// always use standard(): the process's log, which is the function set_log() installed or, with
// none, standard output and standard error, byte for byte as formatted. A program that builds
// profiles or links itself (the korvale tool) may hand them to a function of its own, or drop
// them.
struct DiagSink {
    bool process_log = true;        // the process's log; the two below are then unused
    LogFunction function = nullptr; // otherwise the lines go here; null drops them
    void* user = nullptr;           // handed to function with every line

    static DiagSink standard() { return {}; }
    static DiagSink to(LogFunction function, void* user) { return {false, function, user}; }
    static DiagSink dropped() { return {false, nullptr, nullptr}; }
};

// Installs the process's log function (null: back to standard output and error). Lines being
// written on other threads meanwhile go to the old or the new place, each line whole. Returns
// once no other thread is in the function it replaced, so that its user data can then be
// freed; called from within a log function, it returns at once.
void set_log(LogFunction function, void* user) noexcept;

// Writes one diagnostic message, formatted with the conversions of printf, to the process's log
// as a LOG_OUTPUT line; on a stream it is flushed, so that it is out even when the process ends
// right after it. A message holding several lines reaches a log function line by line; one
// longer than DIAG_LINE_SIZE - 1 bytes reaches it cut there. Never throws.
void diag_print(const char* format, ...) KORVALE_PRINTF_FORMAT(1, 2);

// The same to the sink, as a LOG_OUTPUT line.
void diag_print(const DiagSink& sink, const char* format, ...) KORVALE_PRINTF_FORMAT(2, 3);

// The same to the sink, as a LOG_ERROR line.
void diag_error(const DiagSink& sink, const char* format, ...) KORVALE_PRINTF_FORMAT(2, 3);

constexpr std::size_t DIAG_LINE_SIZE = 1024;

// The message of the last failure on this thread: its last line, cut to LAST_ERROR_SIZE - 1
// bytes. It lives in a fixed buffer of the thread: nothing is allocated.
constexpr std::size_t LAST_ERROR_SIZE = 512;

// Notes the lines that this thread writes while it lives (whatever their sink) and, when told
// how the call went, sets the last error: the last line noted for a failure, empty for a
// success. Not told (an exception), the last error stays as it was.
class FailureNote {
public:
    FailureNote() noexcept;
    ~FailureNote();
    FailureNote(const FailureNote&) = delete;
    FailureNote& operator=(const FailureNote&) = delete;

    void outcome(bool succeeded) noexcept;
    // A failure when a line was noted, else a success: for calls that print only on failure.
    void outcome_by_lines() noexcept;

private:
    // A call made by a log function, within a call that notes its lines: that call's note,
    // taken up again when this one ends.
    bool outer_noting;
    char outer_line[LAST_ERROR_SIZE];
};

// Copies the last error of this thread into buffer (at most size - 1 bytes and a terminating
// zero; nothing for a null buffer or a size of 0) and returns its length.
std::size_t copy_last_error(char* buffer, std::size_t size) noexcept;

} // namespace korvale
