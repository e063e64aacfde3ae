// The files of the dashboard page, built into the tool from tools/dashboard_page/ and
// third_party/uplot/ (the definitions are generated at build time).
#pragma once

#include <cstddef>

namespace korvale_tool {

struct PageAsset {
    const char* name; // file name, served under /assets/ ("index.html" is "/")
    const char* content_type;
    const unsigned char* data;
    std::size_t size;
};

extern const PageAsset PAGE_ASSETS[];
extern const std::size_t PAGE_ASSET_COUNT;

} // namespace korvale_tool
