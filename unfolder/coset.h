// Sets of condition numbers kept as sorted runs of consecutive numbers.
//
// The unfolder records, for every condition, the set of conditions that are
// concurrent with it.  In concurrent nets these sets hold long runs of
// consecutive numbers (the conditions of an independent part of the prefix),
// so a run [lo, hi] is stored as two numbers.  New conditions always carry the
// highest number so far, so every insertion is an append.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace trelmik {

class CoSet {
public:
    // Appends x, which must exceed every element already present.
    void append(std::uint32_t x) {
        if (!runs_.empty() && runs_.back() + 1 == x) {
            runs_.back() = x;
        } else {
            runs_.push_back(x);
            runs_.push_back(x);
        }
    }

    bool contains(std::uint32_t x) const {
        // First run whose upper end is >= x.
        std::size_t lo = 0, hi = runs_.size() / 2;
        while (lo < hi) {
            std::size_t mid = (lo + hi) / 2;
            if (runs_[2 * mid + 1] < x) lo = mid + 1; else hi = mid;
        }
        return lo < runs_.size() / 2 && runs_[2 * lo] <= x;
    }

    bool empty() const { return runs_.empty(); }
    std::size_t runs() const { return runs_.size() / 2; }
    std::uint32_t run_lo(std::size_t i) const { return runs_[2 * i]; }
    std::uint32_t run_hi(std::size_t i) const { return runs_[2 * i + 1]; }

    std::uint64_t count() const {
        std::uint64_t n = 0;
        for (std::size_t i = 0; i < runs_.size(); i += 2) n += runs_[i + 1] - runs_[i] + 1;
        return n;
    }

    template <class F>
    void for_each(F&& f) const {
        for (std::size_t i = 0; i < runs_.size(); i += 2)
            for (std::uint64_t x = runs_[i]; x <= runs_[i + 1]; ++x) f(static_cast<std::uint32_t>(x));
    }

    // this := this ∩ other.
    void intersect_with(const CoSet& other) {
        std::vector<std::uint32_t> out;
        out.reserve(std::min(runs_.size(), other.runs_.size() * 2));
        std::size_t i = 0, j = 0;
        const auto& a = runs_;
        const auto& b = other.runs_;
        while (i < a.size() && j < b.size()) {
            std::uint32_t lo = std::max(a[i], b[j]);
            std::uint32_t hi = std::min(a[i + 1], b[j + 1]);
            if (lo <= hi) {
                out.push_back(lo);
                out.push_back(hi);
            }
            if (a[i + 1] < b[j + 1]) i += 2; else j += 2;
        }
        runs_.swap(out);
    }

    void clear() { runs_.clear(); }
    void shrink() { runs_.shrink_to_fit(); }
    std::size_t bytes() const { return runs_.capacity() * sizeof(std::uint32_t); }

private:
    std::vector<std::uint32_t> runs_;  // lo0, hi0, lo1, hi1, ... ascending, disjoint, non-adjacent
};

}  // namespace trelmik
