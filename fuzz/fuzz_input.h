// Reads the bytes libFuzzer hands over as a sequence of small decisions.
// Past the end every read gives zero, so any input is a whole program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace quarlin_fuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    size_t left() const { return size_ - at_; }

    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    // A value in [0, count).
    uint32_t choice(uint32_t count) { return count == 0 ? 0 : byte() % count; }
    bool flip() { return (byte() & 1) != 0; }

    template <typename T>
    T raw() {
        T value{};
        const size_t n = left() < sizeof value ? left() : sizeof value;
        if (n > 0) std::memcpy(&value, data_ + at_, n);
        at_ += n;
        return value;
    }

    // A text of up to `limit` bytes, its length given first.
    std::string text(size_t limit) {
        size_t length = byte();
        if (length > limit) length = limit;
        if (length > left()) length = left();
        std::string out(reinterpret_cast<const char*>(data_ + at_), length);
        at_ += length;
        return out;
    }

    // What is left, taken whole.
    std::string_view rest() {
        std::string_view out(reinterpret_cast<const char*>(data_ + at_), left());
        at_ = size_;
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// A double that is often one a host really passes: small integers, their
// neighbours, the edges of int32, non-finite values, or any bit pattern.
inline double interestingDouble(FuzzInput& in) {
    static constexpr double kEdges[] = {0.0, -0.0, 1.0, -1.0, 0.5, -2.0, -5.0, 2147483647.0, 2147483648.0,
                                        -2147483648.0, -2147483649.0, 4294967296.0, 1e300, -1e300,
                                        __builtin_inf(), -__builtin_inf(), __builtin_nan("")};
    switch (in.choice(4)) {
        case 0: return static_cast<double>(static_cast<int8_t>(in.byte()));
        case 1: return kEdges[in.choice(sizeof kEdges / sizeof kEdges[0])];
        case 2: return static_cast<double>(in.raw<int32_t>());
        default: return in.raw<double>();
    }
}

}  // namespace quarlin_fuzz
