#include "routes/source_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "routes/route_error.h"

namespace korvale::routes {

std::string read_source_file(const std::string& path, const char* what) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw RouteError(std::string("cannot read the ") + what + " '" + path +
                         "': " + std::generic_category().message(errno));
    }
    std::string data;
    std::size_t got = 0;
    do {
        // grows by half what it holds, from 64 KiB: a few reads for a file of any size
        const std::size_t held = data.size();
        data.resize(held + std::max<std::size_t>(held / 2, 1 << 16));
        got = std::fread(&data[held], 1, data.size() - held, file);
        data.resize(held + got);
    } while (got > 0);
    const bool failed = std::ferror(file) != 0;
    const int code = errno;
    std::fclose(file);
    if (failed) {
        throw RouteError(std::string("cannot read the ") + what + " '" + path +
                         "': " + std::generic_category().message(code));
    }
    return data;
}

} // namespace korvale::routes
