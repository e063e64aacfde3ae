#include "diag.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace korvale {

namespace {

// The process's log function and its user pointer: the library's only global state besides the
// last error of each thread.
std::mutex log_mutex;
LogFunction log_function = nullptr;
void* log_user = nullptr;
// Calls of the log function under way: of the one installed, and of ones replaced since they
// began (set_log waits for these). Each set_log starts a new generation.
std::uint64_t log_generation = 0;
int calls_of_installed = 0;
int calls_of_replaced = 0;
// Calls of the process's log function under way on this thread (a log function that prints).
thread_local int calls_on_this_thread = 0;

// The process's log function taken for one message (when the message goes to the process's
// log), counted as under way while it lives.
class InstalledFunction {
public:
    explicit InstalledFunction(bool taken) {
        if (!taken) {
            return;
        }
        const std::lock_guard<std::mutex> lock(log_mutex);
        function = log_function;
        user = log_user;
        if (function != nullptr) {
            generation = log_generation;
            ++calls_of_installed;
            ++calls_on_this_thread;
        }
    }
    ~InstalledFunction() {
        if (function == nullptr) {
            return;
        }
        --calls_on_this_thread;
        const std::lock_guard<std::mutex> lock(log_mutex);
        if (generation == log_generation) {
            --calls_of_installed;
        } else {
            --calls_of_replaced;
        }
    }
    InstalledFunction(const InstalledFunction&) = delete;
    InstalledFunction& operator=(const InstalledFunction&) = delete;

    LogFunction function = nullptr;
    void* user = nullptr;

private:
    std::uint64_t generation = 0;
};

// The lines of this thread are noted while a FailureNote lives.
thread_local bool noting = false;
thread_local char noted_line[LAST_ERROR_SIZE];
thread_local char last_error[LAST_ERROR_SIZE];

// Copies text (length bytes) into a buffer of size bytes, cut where a character of UTF-8 starts.
std::size_t copy_cut(const char* text, std::size_t length, char* buffer, std::size_t size) {
    std::size_t count = length < size ? length : size - 1;
    if (count < length) {
        while (count > 0 && (static_cast<unsigned char>(text[count]) & 0xC0) == 0x80) {
            --count;
        }
    }
    std::memcpy(buffer, text, count);
    buffer[count] = '\0';
    return count;
}

// The message formatted into text (DIAG_LINE_SIZE bytes); args is left for another use.
// Returns the formatted length (which may exceed the buffer), or -1 when formatting failed.
int format_message(char* text, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(text, DIAG_LINE_SIZE, format, copy);
    va_end(copy);
    return length;
}

// The formatted message on a stream, formatted anew when it did not fit the buffer.
void write_to_stream(std::FILE* stream, const char* text, int length, const char* format,
                     va_list args) {
    if (static_cast<std::size_t>(length) < DIAG_LINE_SIZE) {
        std::fwrite(text, 1, static_cast<std::size_t>(length), stream);
    } else {
        std::vfprintf(stream, format, args);
    }
    std::fflush(stream);
}

// The text line by line, without line feeds, to the function (when there is one); empty lines
// say nothing. The last line is noted while this thread notes its lines.
void pass_lines(char* text, std::int32_t level, LogFunction function, void* user) {
    const char* last = nullptr;
    for (char* line = text; *line != '\0';) {
        char* end = std::strchr(line, '\n');
        char* next = end == nullptr ? line + std::strlen(line) : end + 1;
        if (end != nullptr) {
            *end = '\0';
        }
        if (*line != '\0') {
            if (function != nullptr) {
                function(level, line, user);
            }
            last = line;
        }
        line = next;
    }
    if (noting && last != nullptr) {
        copy_cut(last, std::strlen(last), noted_line, sizeof noted_line);
    }
}

void write_message(const DiagSink& sink, std::int32_t level, const char* format, va_list args) {
    const InstalledFunction installed(sink.process_log);
    const LogFunction function = sink.process_log ? installed.function : sink.function;
    void* const user = sink.process_log ? installed.user : sink.user;
    std::FILE* stream =
        sink.process_log && function == nullptr ? (level == LOG_ERROR ? stderr : stdout) : nullptr;
    if (function == nullptr && !noting) {
        // The common case keeps the streams' own formatting, whatever the length.
        if (stream != nullptr) {
            std::vfprintf(stream, format, args);
            std::fflush(stream);
        }
        return;
    }
    char text[DIAG_LINE_SIZE];
    const int length = format_message(text, format, args);
    if (length < 0) {
        return;
    }
    if (stream != nullptr) {
        write_to_stream(stream, text, length, format, args);
    }
    pass_lines(text, level, function, user);
}

} // namespace

void set_log(LogFunction function, void* user) noexcept {
    {
        const std::lock_guard<std::mutex> lock(log_mutex);
        log_function = function;
        log_user = user;
        ++log_generation;
        calls_of_replaced += calls_of_installed;
        calls_of_installed = 0;
    }
    // Called from a log function, it cannot wait for that call, nor safely for another thread's.
    // Otherwise the calls it waits for are a few lines long: it lets them run to their end.
    while (calls_on_this_thread == 0) {
        {
            const std::lock_guard<std::mutex> lock(log_mutex);
            if (calls_of_replaced == 0) {
                break;
            }
        }
        std::this_thread::yield();
    }
}

void diag_print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    write_message(DiagSink::standard(), LOG_OUTPUT, format, args);
    va_end(args);
}

void diag_print(const DiagSink& sink, const char* format, ...) {
    va_list args;
    va_start(args, format);
    write_message(sink, LOG_OUTPUT, format, args);
    va_end(args);
}

void diag_error(const DiagSink& sink, const char* format, ...) {
    va_list args;
    va_start(args, format);
    write_message(sink, LOG_ERROR, format, args);
    va_end(args);
}

FailureNote::FailureNote() noexcept : outer_noting(noting) {
    if (outer_noting) {
        std::memcpy(outer_line, noted_line, sizeof outer_line);
    }
    noting = true;
    noted_line[0] = '\0';
}

FailureNote::~FailureNote() {
    noting = outer_noting;
    if (outer_noting) {
        std::memcpy(noted_line, outer_line, sizeof noted_line);
    }
}

void FailureNote::outcome(bool succeeded) noexcept {
    std::memcpy(last_error, succeeded ? "" : noted_line,
                succeeded ? 1 : std::strlen(noted_line) + 1);
}

void FailureNote::outcome_by_lines() noexcept {
    outcome(noted_line[0] == '\0');
}

std::size_t copy_last_error(char* buffer, std::size_t size) noexcept {
    const std::size_t length = std::strlen(last_error);
    if (buffer != nullptr && size > 0) {
        copy_cut(last_error, length, buffer, size);
    }
    return length;
}

} // namespace korvale
