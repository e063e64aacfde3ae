// Files for tests: a fresh directory per test, and route files written into it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace korvale_test {

// A directory that exists for the lifetime of the object.
class TempDir {
public:
    TempDir() {
        std::string pattern = "/tmp/korvale_test_XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = buffer.data();
    }
    ~TempDir() {
        std::string command = "rm -rf '" + path_ + "'";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "could not remove %s\n", path_.c_str());
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }

    // Writes content byte for byte to a file in the directory and returns its path.
    std::string write(const std::string& name, const std::string& content) const {
        const std::string file = path_ + "/" + name;
        std::ofstream out(file, std::ios::binary);
        out << content;
        if (!out) {
            throw std::runtime_error("cannot write " + file);
        }
        return file;
    }

private:
    std::string path_;
};

// One route row: x y z radius limit superelevation.
struct Row {
    double x, y, z, radius, limit, superelevation;
};

// The text of a route file, each row ending in a line feed.
inline std::string route_text(const std::vector<Row>& rows) {
    std::string text;
    char line[256];
    for (const Row& r : rows) {
        std::snprintf(line, sizeof line, "%.17g %.17g %.17g %.17g %.17g %.17g\n", r.x, r.y, r.z,
                      r.radius, r.limit, r.superelevation);
        text += line;
    }
    return text;
}

// The built-in car of the default coasting model, as the eight parameters.
constexpr double DEFAULT_CAR[8] = {0.3, 2.3, 1.293, 1644, 9.81, 0.015, 0, 0};

} // namespace korvale_test
