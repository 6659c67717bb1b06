// Sets of condition numbers kept as sorted runs of consecutive numbers.
//
// The unfolder records, for every condition, the set of conditions that are
// concurrent with it.  In concurrent nets these sets hold long runs of
// consecutive numbers (the conditions of an independent part of the prefix),
// so a run [lo, hi] is stored as two numbers.  New conditions always carry the
// highest number so far, so every insertion is an append.  The newest run is
// kept inside the object itself: extending it touches no heap memory, which
// keeps the append of one new condition to many sets cheap.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace trelmik {

class CoSet {
public:
    // Appends x, which must exceed every element already present.
    void append(std::uint32_t x) {
        if (open_ && hi_ + 1 == x) {
            hi_ = x;
            return;
        }
        if (open_) {
            closed_.push_back(lo_);
            closed_.push_back(hi_);
        }
        lo_ = hi_ = x;
        open_ = true;
    }

    bool contains(std::uint32_t x) const {
        if (!open_) return false;
        if (x >= lo_) return x <= hi_;
        // First closed run whose upper end is >= x.
        std::size_t lo = 0, hi = closed_.size() / 2;
        while (lo < hi) {
            std::size_t mid = (lo + hi) / 2;
            if (closed_[2 * mid + 1] < x) lo = mid + 1; else hi = mid;
        }
        return lo < closed_.size() / 2 && closed_[2 * lo] <= x;
    }

    bool empty() const { return !open_; }
    std::size_t runs() const { return open_ ? closed_.size() / 2 + 1 : 0; }
    std::uint32_t run_lo(std::size_t i) const { return 2 * i < closed_.size() ? closed_[2 * i] : lo_; }
    std::uint32_t run_hi(std::size_t i) const { return 2 * i < closed_.size() ? closed_[2 * i + 1] : hi_; }

    std::uint64_t count() const {
        std::uint64_t n = 0;
        for (std::size_t i = 0; i < runs(); ++i) n += run_hi(i) - run_lo(i) + 1;
        return n;
    }

    template <class F>
    void for_each(F&& f) const {
        for (std::size_t i = 0; i < runs(); ++i)
            for (std::uint64_t x = run_lo(i); x <= run_hi(i); ++x) f(static_cast<std::uint32_t>(x));
    }

    // out := a ∩ b (out must be neither a nor b).
    static void intersect(const CoSet& a, const CoSet& b, CoSet& out) {
        out.clear();
        std::size_t i = 0, j = 0;
        const std::size_t na = a.runs(), nb = b.runs();
        while (i < na && j < nb) {
            const std::uint32_t alo = a.run_lo(i), ahi = a.run_hi(i);
            const std::uint32_t blo = b.run_lo(j), bhi = b.run_hi(j);
            const std::uint32_t lo = std::max(alo, blo);
            const std::uint32_t hi = std::min(ahi, bhi);
            if (lo <= hi) out.append_run(lo, hi);
            if (ahi < bhi) ++i; else ++j;
        }
    }

    void clear() {
        closed_.clear();
        open_ = false;
        lo_ = hi_ = 0;
    }
    void swap(CoSet& o) {
        closed_.swap(o.closed_);
        std::swap(lo_, o.lo_);
        std::swap(hi_, o.hi_);
        std::swap(open_, o.open_);
    }
    std::size_t bytes() const { return closed_.capacity() * sizeof(std::uint32_t) + sizeof(*this); }

private:
    // Appends the run [lo, hi], which lies above every element present.
    void append_run(std::uint32_t lo, std::uint32_t hi) {
        if (open_ && hi_ + 1 == lo) {
            hi_ = hi;
            return;
        }
        if (open_) {
            closed_.push_back(lo_);
            closed_.push_back(hi_);
        }
        lo_ = lo;
        hi_ = hi;
        open_ = true;
    }

    std::vector<std::uint32_t> closed_;  // lo0, hi0, lo1, hi1, ... ascending, disjoint, non-adjacent
    std::uint32_t lo_ = 0, hi_ = 0;      // the newest run, when open_
    bool open_ = false;
};

}  // namespace trelmik
