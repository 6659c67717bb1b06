// LongInt: an unsigned integer of any size, for exact state counts.
//
// Limbs of base 10^9, least significant first; the lowest limb lives in the
// object itself, so counts below 10^9 never allocate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zbdd {

class LongInt {
public:
    static constexpr std::uint32_t kBase = 1000000000u;

    LongInt() = default;
    LongInt(std::uint32_t value);  // NOLINT: counts convert implicitly

    LongInt& operator+=(const LongInt& other);
    friend LongInt operator+(LongInt a, const LongInt& b) { return a += b; }
    bool operator==(const LongInt& other) const { return low_ == other.low_ && high_ == other.high_; }
    bool operator!=(const LongInt& other) const { return !(*this == other); }

    // Decimal text: the most significant limb plain, every lower limb with
    // nine digits padded with '0'.
    std::string toString() const;
    // The value when it fits into 64 bits (tests and small counts).
    bool toUint64(std::uint64_t& out) const;

private:
    std::uint32_t limb(std::size_t i) const { return i == 0 ? low_ : high_[i - 1]; }
    std::size_t limbs() const { return 1 + high_.size(); }

    std::uint32_t low_ = 0;
    std::vector<std::uint32_t> high_;  // limbs 1, 2, ...
};

}  // namespace zbdd
