// Set by a test binary that replaces operator new (no_alloc_test.cpp): while true, every
// allocation through operator new fails as it would without memory.
#pragma once

#include <atomic>

namespace korvale_test {

extern std::atomic<bool> refuse_allocations;

// Refuses every allocation while it lives.
class RefusedAllocations {
public:
    RefusedAllocations() { refuse_allocations.store(true); }
    ~RefusedAllocations() { refuse_allocations.store(false); }
    RefusedAllocations(const RefusedAllocations&) = delete;
    RefusedAllocations& operator=(const RefusedAllocations&) = delete;
};

} // namespace korvale_test
