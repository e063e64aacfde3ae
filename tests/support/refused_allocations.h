// Set by a test binary that replaces operator new (no_alloc_test.cpp): while true, every
// allocation through operator new fails as it would without memory.
#pragma once

#include <atomic>
#include <cstdint>

namespace korvale_test {

extern std::atomic<bool> refuse_allocations;
// While refuse_allocations is true, how many allocations still succeed before they fail.
extern std::atomic<std::int64_t> allocations_still_granted;

// Refuses every allocation while it lives, after the first `granted` ones.
class RefusedAllocations {
public:
    explicit RefusedAllocations(std::int64_t granted = 0) {
        allocations_still_granted.store(granted);
        refuse_allocations.store(true);
    }
    ~RefusedAllocations() { refuse_allocations.store(false); }
    RefusedAllocations(const RefusedAllocations&) = delete;
    RefusedAllocations& operator=(const RefusedAllocations&) = delete;
};

} // namespace korvale_test
