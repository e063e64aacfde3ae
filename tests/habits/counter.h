// A member with the suffix the tree no longer uses: the header is reached through the .cpp.
#pragma once

class Counter {
public:
    int value() const { return count_; }

private:
    int count_ = 0;
};
