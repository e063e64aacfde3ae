// Text mode is binary mode here: the bytes as they are.
#include <cstring>

#include "platform/text_file.h"

namespace korvale::platform {

const char* find_byte(const char* begin, const char* end, char c) {
    const void* found = std::memchr(begin, c, static_cast<std::size_t>(end - begin));
    return found != nullptr ? static_cast<const char*>(found) : end;
}

TextFile::TextFile(const char* path) : file(path != nullptr ? std::fopen(path, "r") : nullptr) {}

TextFile::~TextFile() {
    if (file != nullptr) {
        std::fclose(file);
    }
}

std::size_t TextFile::read(char* buffer, std::size_t size) {
    return file != nullptr ? std::fread(buffer, 1, size, file) : 0;
}

bool TextFile::fill() {
    return false;
}

} // namespace korvale::platform
