// Reading the two datagram formats back: what a dashboard does with what the link sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace korvale::comm {

// A decoded value, or the reason why the bytes could not be decoded.
template <class T>
class Decoded {
public:
    static Decoded success(T value) { return Decoded(std::move(value), std::string()); }
    static Decoded failure(std::string error) { return Decoded(T(), std::move(error)); }

    bool ok() const { return message.empty(); }
    explicit operator bool() const { return ok(); }
    // The value; all fields zero or empty when decoding failed.
    const T& value() const { return result; }
    // Empty on success.
    const std::string& error() const { return message; }

private:
    Decoded(T value, std::string error) : result(std::move(value)), message(std::move(error)) {}
    T result;
    std::string message;
};

// The fields of a status record as they travel (reals as 32-bit floats).
struct RecordFields {
    std::int32_t i1 = 0;
    float r1 = 0.0f;
    float r2 = 0.0f;
    float r3 = 0.0f;
    float r4 = 0.0f;
    float r5 = 0.0f;
    float r7 = 0.0f;
    float r8 = 0.0f;
    std::uint8_t flag = 0;
    std::int32_t i2 = 0;
};

struct PlotArrays {
    std::vector<double> a;
    std::vector<double> b;
};

// The fields of a status record; the datagram must be exactly 76 bytes. Reserved bytes are not
// checked.
Decoded<RecordFields> decode_record(const void* data, std::size_t size);

// The two arrays of a plot datagram whose first array holds count_a values; the datagram must be
// a whole number of 8-byte values and hold at least count_a of them.
Decoded<PlotArrays> decode_plot(const void* data, std::size_t size, std::size_t count_a);

} // namespace korvale::comm
