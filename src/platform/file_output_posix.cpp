#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "file_output.h"

namespace korvale::platform {

std::FILE* create_new_file(const char* path) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        const int code = errno;
        ::close(fd);
        ::unlink(path);
        errno = code;
    }
    return file;
}

int replace_file(const char* from, const char* to) {
    return std::rename(from, to) == 0 ? 0 : errno;
}

} // namespace korvale::platform
