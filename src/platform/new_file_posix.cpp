#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/new_file.h"

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

std::error_code replace_file(const char* from, const char* to) {
    if (std::rename(from, to) != 0) {
        return std::error_code(errno, std::generic_category());
    }
    return {};
}

} // namespace korvale::platform
