// Stands for a library of third_party/: its names are its own.
#pragma once

struct BundledThing {
    int size_ = 1;
};
