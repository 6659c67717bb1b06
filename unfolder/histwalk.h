// Walks over two local configurations at once, newest event first.
//
// Events are numbered in creation order and an event is always newer than
// the events below its inputs, so popping the largest event number first
// sees every event only after all events above it: by then it carries the
// marks of both sides it lies below.  The walk stops as soon as no entry left
// lies below only a side the caller asks about, so it costs what the two
// configurations differ in (and the shared events numbered above that), not
// their size.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "unfold.h"

namespace trelmik {

class TwoSidedWalk {
public:
    enum : std::uint8_t { kLeft = 1, kRight = 2, kBoth = 3 };

    // Starts a walk: the sides of the later seed() calls, and which of the
    // one-sided event sets (kLeft, kRight or both) the caller wants to see.
    void start(const Prefix& pf, std::uint8_t wanted) {
        if (stamp_.size() < pf.events()) {
            stamp_.resize(pf.events(), 0);
            flags_.resize(pf.events(), 0);
            queued_.resize(pf.events() / 64 + 1, 0);
        }
        if (++current_ == 0) {
            std::fill(stamp_.begin(), stamp_.end(), 0);
            current_ = 1;
        }
        wanted_ = wanted;
        pending_ = 0;
        heap_.clear();
        // Events the last walk left queued below the last one it took.
        for (std::uint32_t g : marked_) queued_[g / 64] &= ~(std::uint64_t{1} << (g % 64));
        marked_.clear();
        dense_ = false;
    }

    // Puts event g (1-based; 0 is ignored) below side `side`.
    void seed(std::uint32_t g, std::uint8_t side) {
        if (g != 0) mark(g, side);
    }

    // Pops events until no wanted one-sided event is left; visit(f, side) is
    // called for each event that lies below exactly one wanted side.
    template <class Visit>
    void run(const Prefix& pf, Visit&& visit) {
        std::size_t taken = 0;
        while (pending_ != 0) {
            std::uint32_t f;
            if (!dense_ && ++taken > kDense) to_dense();
            if (!dense_) {
                std::pop_heap(heap_.begin(), heap_.end());
                f = heap_.back();
                heap_.pop_back();
            } else {
                // Every event marked while f is taken lies below f, so the
                // scan for the next one only ever moves down.
                while (queued_[word_] == 0) --word_;
                const std::uint32_t bit = 63 - static_cast<std::uint32_t>(__builtin_clzll(queued_[word_]));
                queued_[word_] &= ~(std::uint64_t{1} << bit);
                f = static_cast<std::uint32_t>(word_ * 64 + bit);
            }
            const std::uint8_t side = flags_[f - 1];
            if (is_wanted(side)) {
                --pending_;
                visit(f, side);
            }
            for (std::uint32_t i = pf.ev_pre_begin[f - 1]; i < pf.ev_pre_begin[f]; ++i) {
                const std::uint32_t g = pf.cond_pre[pf.ev_pre_conds[i] - 1];
                if (g != 0) mark(g, side);
            }
        }
    }

private:
    bool is_wanted(std::uint8_t side) const { return side != kBoth && (side & wanted_) != 0; }

    void mark(std::uint32_t g, std::uint8_t side) {
        if (stamp_[g - 1] != current_) {
            stamp_[g - 1] = current_;
            flags_[g - 1] = side;
            if (dense_) {
                queue_dense(g);
            } else {
                heap_.push_back(g);
                std::push_heap(heap_.begin(), heap_.end());
            }
            if (is_wanted(side)) ++pending_;
            return;
        }
        // Still queued: everything that marks g is newer than g.
        const std::uint8_t old = flags_[g - 1];
        const std::uint8_t now = static_cast<std::uint8_t>(old | side);
        if (now == old) return;
        flags_[g - 1] = now;
        if (is_wanted(old)) --pending_;
        if (is_wanted(now)) ++pending_;
    }

    std::vector<std::uint32_t> stamp_;
    std::vector<std::uint8_t> flags_;
    // A walk queues events on a heap for its first kDense events; then the
    // queue becomes a bit per event number, scanned downwards.  The scan
    // costs next to nothing per event when a walk passes most events of a
    // range (a long, wide band of shared history), and the heap keeps short
    // walks between events far apart from scanning the numbers between.
    static constexpr std::size_t kDense = 64;

    void queue_dense(std::uint32_t g) {
        queued_[g / 64] |= std::uint64_t{1} << (g % 64);
        marked_.push_back(g);
    }

    void to_dense() {
        dense_ = true;
        word_ = heap_.front() / 64;
        for (std::uint32_t g : heap_) queue_dense(g);
        heap_.clear();
    }

    std::vector<std::uint32_t> heap_;    // max-heap of event numbers
    bool dense_ = false;
    std::vector<std::uint64_t> queued_;  // dense: bit g is set while event g is queued
    std::vector<std::uint32_t> marked_;  // dense: the events queued in this walk
    std::size_t word_ = 0;               // dense: no queued event lies above this word
    std::uint32_t current_ = 0;
    std::uint32_t pending_ = 0;  // queued events below exactly one wanted side
    std::uint8_t wanted_ = 0;
};

}  // namespace trelmik
