// Sets of condition numbers, kept either as sorted runs of consecutive numbers
// or as a bit array, whichever is smaller.
//
// The unfolder records, for every condition, the set of conditions that are
// concurrent with it.  In nets of independent parts these sets hold long runs
// of consecutive numbers (a run [lo, hi] costs two numbers); in nets whose
// parts interleave (buffer chains) they are dense but fragmented, and a bit
// array is smaller and faster.  A set starts as runs and turns into a bit
// array once its runs would take more room than the bits.  New conditions
// always carry the highest number so far, so every insertion is an append.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace trelmik {

class CoSet {
public:
    // A set turns into a bit array when runs > highest element / dense_divisor.
    // (64 makes both forms equally large; tests lower it to exercise both forms.)
    static inline std::uint32_t dense_divisor = 64;

    // Appends x, which must exceed every element already present.
    void append(std::uint32_t x) {
        if (bits_) {
            const std::size_t w = x >> 6;
            if (w < words_.size()) {
                words_[w] |= std::uint64_t(1) << (x & 63);
                hi_ = x;
                return;
            }
        } else if (open_ && hi_ + 1 == x) {
            hi_ = x;
            return;
        }
        append_slow(x);
    }

    // Appends the run [lo, hi], which lies above every element present.
    void append_run(std::uint32_t lo, std::uint32_t hi) {
        if (bits_ || closed_.size() / 2 > hi / dense_divisor + 4) {
            for (std::uint64_t x = lo; x <= hi; ++x) append(static_cast<std::uint32_t>(x));
            return;
        }
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

    bool contains(std::uint32_t x) const {
        if (bits_) {
            const std::size_t w = x >> 6;
            return w < words_.size() && (words_[w] >> (x & 63) & 1);
        }
        if (!open_) return false;
        if (x >= lo_) return x <= hi_;
        std::size_t lo = 0, hi = closed_.size() / 2;
        while (lo < hi) {
            std::size_t mid = (lo + hi) / 2;
            if (closed_[2 * mid + 1] < x) lo = mid + 1; else hi = mid;
        }
        return lo < closed_.size() / 2 && closed_[2 * lo] <= x;
    }

    bool empty() const {
        if (!bits_) return !open_;
        for (std::uint64_t w : words_)
            if (w) return false;
        return true;
    }
    bool dense() const { return bits_; }
    // Runs form only (not dense()): the number of runs and run i.
    std::size_t runs() const { return closed_.size() / 2 + (open_ ? 1 : 0); }
    std::uint32_t run_lo(std::size_t i) const { return 2 * i < closed_.size() ? closed_[2 * i] : lo_; }
    std::uint32_t run_hi(std::size_t i) const { return 2 * i < closed_.size() ? closed_[2 * i + 1] : hi_; }

    // Calls f(lo, hi) for every maximal run, ascending.
    template <class F>
    void for_each_run(F&& f) const {
        if (!bits_) {
            for (std::size_t i = 0; i < closed_.size(); i += 2) f(closed_[i], closed_[i + 1]);
            if (open_) f(lo_, hi_);
            return;
        }
        bool in = false;
        std::uint32_t start = 0;
        for (std::size_t w = 0; w < words_.size(); ++w) {
            std::uint64_t word = words_[w];
            if (!in && word == 0) continue;
            if (in && word == ~std::uint64_t(0)) continue;
            for (unsigned b = 0; b < 64; ++b) {
                const bool set = word >> b & 1;
                const std::uint32_t x = static_cast<std::uint32_t>(w * 64 + b);
                if (set && !in) {
                    start = x;
                    in = true;
                } else if (!set && in) {
                    f(start, x - 1);
                    in = false;
                }
            }
        }
        if (in) f(start, static_cast<std::uint32_t>(words_.size() * 64 - 1));
    }

    // Calls f(x) for every element, ascending.
    template <class F>
    void for_each(F&& f) const {
        if (bits_) {
            for (std::size_t w = 0; w < words_.size(); ++w)
                for (std::uint64_t word = words_[w]; word != 0; word &= word - 1)
                    f(static_cast<std::uint32_t>(w * 64 + static_cast<unsigned>(__builtin_ctzll(word))));
            return;
        }
        for_each_run([&](std::uint32_t lo, std::uint32_t hi) {
            for (std::uint64_t x = lo; x <= hi; ++x) f(static_cast<std::uint32_t>(x));
        });
    }

    std::uint64_t count() const {
        std::uint64_t n = 0;
        if (bits_) {
            for (std::uint64_t w : words_) n += static_cast<std::uint64_t>(__builtin_popcountll(w));
            return n;
        }
        for_each_run([&](std::uint32_t lo, std::uint32_t hi) { n += hi - lo + 1; });
        return n;
    }

    // out := a ∩ b (out must be neither a nor b).
    static void intersect(const CoSet& a, const CoSet& b, CoSet& out) {
        out.clear();
        if (a.bits_ && b.bits_) {
            const std::size_t n = std::min(a.words_.size(), b.words_.size());
            out.bits_ = true;
            out.words_.resize(n);
            for (std::size_t w = 0; w < n; ++w) out.words_[w] = a.words_[w] & b.words_[w];
            out.hi_ = std::max(a.hi_, b.hi_);
            return;
        }
        if (a.bits_ || b.bits_) {
            const CoSet& runs = a.bits_ ? b : a;
            const CoSet& bits = a.bits_ ? a : b;
            runs.for_each_run([&](std::uint32_t lo, std::uint32_t hi) {
                for (std::uint64_t x = lo; x <= hi; ++x)
                    if (bits.contains(static_cast<std::uint32_t>(x))) out.append(static_cast<std::uint32_t>(x));
            });
            return;
        }
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

    // Drops every element not below k and releases the room they took.
    void keep_below(std::uint32_t k) {
        if (bits_) {
            const std::size_t words = k == 0 ? 0 : (std::size_t(k) - 1) / 64 + 1;
            if (words < words_.size()) words_.resize(words);
            if (k % 64 != 0 && words_.size() == words && words != 0)
                words_.back() &= (std::uint64_t(1) << (k % 64)) - 1;
            words_.shrink_to_fit();
            if (hi_ >= k) hi_ = k == 0 ? 0 : k - 1;
            return;
        }
        if (open_ && lo_ >= k) {
            open_ = false;
            // The last closed run below k becomes the open one.
            while (!closed_.empty() && closed_[closed_.size() - 2] >= k) closed_.resize(closed_.size() - 2);
            if (!closed_.empty()) {
                lo_ = closed_[closed_.size() - 2];
                hi_ = closed_.back();
                closed_.resize(closed_.size() - 2);
                open_ = true;
            }
        }
        if (open_ && hi_ >= k) hi_ = k - 1;
        closed_.shrink_to_fit();
    }

    void clear() {
        closed_.clear();
        words_.clear();
        open_ = bits_ = false;
        lo_ = hi_ = 0;
    }
    void swap(CoSet& o) {
        closed_.swap(o.closed_);
        words_.swap(o.words_);
        std::swap(lo_, o.lo_);
        std::swap(hi_, o.hi_);
        std::swap(open_, o.open_);
        std::swap(bits_, o.bits_);
    }

private:
    __attribute__((noinline)) void append_slow(std::uint32_t x) {
        if (bits_) {
            // Rows of a growing prefix grow by one word at a time: reserve ahead.
            const std::size_t need = (x >> 6) + 1;
            if (need > words_.capacity()) words_.reserve(std::max<std::size_t>(need * 2, 16));
            words_.resize(need, 0);
            words_[x >> 6] |= std::uint64_t(1) << (x & 63);
            hi_ = x;
            return;
        }
        if (open_) {
            closed_.push_back(lo_);
            closed_.push_back(hi_);
            if (closed_.size() / 2 > x / dense_divisor + 4) {
                lo_ = hi_ = x;
                to_bits();
                append(x);
                return;
            }
        }
        lo_ = hi_ = x;
        open_ = true;
    }


    // Turns the closed runs into a bit array (the open run is dropped: the
    // caller appends it again).
    void to_bits() {
        std::vector<std::uint64_t> words((hi_ >> 6) + 1, 0);
        for (std::size_t i = 0; i < closed_.size(); i += 2)
            for (std::uint64_t x = closed_[i]; x <= closed_[i + 1]; ++x)
                words[x >> 6] |= std::uint64_t(1) << (x & 63);
        closed_.clear();
        closed_.shrink_to_fit();
        words_.swap(words);
        bits_ = true;
        open_ = false;
    }

    std::vector<std::uint32_t> closed_;  // runs mode: lo0, hi0, lo1, hi1, ... ascending, disjoint
    std::vector<std::uint64_t> words_;   // bits mode: bit x of word x / 64
    std::uint32_t lo_ = 0, hi_ = 0;      // runs mode: the newest run when open_; bits mode: hi_ = largest appended
    bool open_ = false;
    bool bits_ = false;
};

}  // namespace trelmik
