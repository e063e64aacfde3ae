#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "new_file.h"

namespace korvale::platform {

std::FILE* create_new_file(const char* path) {
    const int fd = ::_open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                           _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = ::_fdopen(fd, "wb");
    if (file == nullptr) {
        const int code = errno;
        ::_close(fd);
        ::_unlink(path);
        errno = code;
    }
    return file;
}

} // namespace korvale::platform
