#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/new_file.h"

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

std::error_code replace_file(const char* from, const char* to) {
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) == 0) {
        return std::error_code(static_cast<int>(GetLastError()), std::system_category());
    }
    return {};
}

} // namespace korvale::platform
