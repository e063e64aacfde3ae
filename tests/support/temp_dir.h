// Files for tests: a fresh directory per test, and route files written into it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace korvale_test {

// A directory under the system's temporary directory that exists for the lifetime of the object.
class TempDir {
public:
    TempDir() {
        namespace fs = std::filesystem;
        static std::atomic<unsigned> made{0};
        std::random_device entropy;
        const auto seed = static_cast<unsigned long long>(entropy()) ^
                          static_cast<unsigned long long>(
                              std::chrono::steady_clock::now().time_since_epoch().count());
        const fs::path base = fs::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path candidate =
                base / ("korvale_test_" + std::to_string(seed % 1000000007ull) + "_" +
                        std::to_string(made++));
            std::error_code error;
            if (fs::create_directory(candidate, error)) {
                root = candidate.string();
                return;
            }
        }
        throw std::runtime_error("cannot create a directory under " + base.string());
    }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(root, error);
        if (error) {
            std::fprintf(stderr, "could not remove %s\n", root.c_str());
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return root; }

    // Writes content byte for byte to a file in the directory and returns its path.
    std::string write(const std::string& name, const std::string& content) const {
        const std::string file = root + "/" + name;
        std::ofstream out(file, std::ios::binary);
        out << content;
        if (!out) {
            throw std::runtime_error("cannot write " + file);
        }
        return file;
    }

private:
    std::string root;
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

} // namespace korvale_test
