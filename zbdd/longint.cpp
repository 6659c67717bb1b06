#include "longint.h"

#include <new>

#include "output.h"

namespace zbdd {

LongInt::LongInt(std::uint32_t value) {
    low_ = value % kBase;
    if (value >= kBase) high_.push_back(value / kBase);
}

LongInt& LongInt::operator+=(const LongInt& other) {
    try {
        std::size_t n = limbs() > other.limbs() ? limbs() : other.limbs();
        std::uint32_t carry = 0;
        for (std::size_t i = 0; i < n || carry; ++i) {
            std::uint32_t a = i < limbs() ? limb(i) : 0;
            std::uint32_t b = i < other.limbs() ? other.limb(i) : 0;
            std::uint32_t s = a + b + carry;  // below 2^32: each limb < 10^9
            carry = 0;
            if (s >= kBase) {
                s -= kBase;
                carry = 1;
            }
            if (i == 0) {
                low_ = s;
            } else if (i - 1 < high_.size()) {
                high_[i - 1] = s;
            } else {
                high_.push_back(s);
            }
        }
    } catch (const std::bad_alloc&) {
        fatal("Out of memory (LongInt)\n");
    }
    return *this;
}

std::string LongInt::toString() const {
    std::size_t n = limbs();
    std::string s = std::to_string(limb(n - 1));
    for (std::size_t i = n - 1; i-- > 0;) s += format("%09u", limb(i));
    return s;
}

bool LongInt::toUint64(std::uint64_t& out) const {
    unsigned __int128 v = 0;
    for (std::size_t i = limbs(); i-- > 0;) {
        v = v * kBase + limb(i);
        if (v > UINT64_MAX) return false;
    }
    out = static_cast<std::uint64_t>(v);
    return true;
}

}  // namespace zbdd
