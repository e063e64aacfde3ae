// Includes a header of the project, which is checked, and a bundled library's, which is not.
#include "fixture/counter.h"
#include "bundled.hpp"

int counted() {
    Counter counter;
    BundledThing thing;
    return counter.value() + thing.size_;
}
