#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "new_file.h"

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

} // namespace korvale::platform
