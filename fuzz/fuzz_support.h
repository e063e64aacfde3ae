// What the fuzz targets share: a route file of their own to write each input to, and quiet
// standard output (the library prints its diagnostic lines there on every load).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace korvale_fuzz {

// A file that only this process writes, removed when the process ends.
class ScratchFile {
public:
    ScratchFile() {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(dir) + "/korvale_fuzz_XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0) {
            std::perror("mkstemp");
            std::abort();
        }
        close(fd);
        file_path = pattern;
    }
    ~ScratchFile() { std::remove(file_path.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Replaces the file's content with exactly these bytes.
    void write(const void* data, std::size_t size) const {
        std::FILE* file = std::fopen(file_path.c_str(), "wb");
        if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size)) {
            std::perror(file_path.c_str());
            std::abort();
        }
        std::fclose(file);
    }

    const char* path() const { return file_path.c_str(); }

private:
    std::string file_path;
};

// The diagnostic lines of every load would drown libFuzzer's own lines, which go to standard
// error.
inline void silence_standard_output() {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::perror("/dev/null");
    }
}

// Ends the run as a finding when a promise of the library does not hold.
#define KORVALE_FUZZ_CHECK(condition)                                                              \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

} // namespace korvale_fuzz
