// Co tests decided from the histories of conditions, with stamps.
//
// Two conditions a and d are concurrent when neither is consumed in the
// other's history and the union of both histories is free of conflicts (no
// condition consumed by two of its events).  The test anchors on a, whose
// history H is the local configuration of a's producer.  H is explored
// lazily, newest event first: an event is known to lie in H or not once
// every event of H newer than it has been taken, and a condition is known
// to be consumed in H or not once every event of H newer than its producer
// has.  So a question about old events costs a walk down to them, while the
// usual questions, about the few events near the anchor, cost next to
// nothing however long H is.
//
// d is concurrent with a when no consumer of d lies in H and no event of
// d's history outside H consumes a or a condition consumed in H.  The walk
// of d's history stops at events of H and at events already found harmless
// for this anchor, so the candidates of one anchor share their walks.
//
// Two events that consume one condition were created one after the other,
// and the later one found the condition consumed already: it is marked as
// sharing an input.  A conflict between H and d's history needs such a pair,
// one event on each side, so the later, marked one lies in H or in d's
// history.  When neither history holds a marked event and no consumer of a
// lies in d's history, d's history outside H is not walked at all: along a
// conflict-free past (a buffer chain, a pipeline) that walk would pass every
// event made since d's history left H.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "unfold.h"

namespace trelmik {

class CoTest {
public:
    // Makes condition a (1-based) the anchor of the following tests.
    void anchor(const Prefix& pf, std::uint32_t a) {
        grow(pf);
        anchor_ = a;
        in_h_ = ++stamp_;
        ok_ = ++stamp_;
        heap_.clear();
        taken_ = 0;
        top_ = pf.cond_pre[a - 1];
        if (top_ != 0) {
            ev_[top_ - 1] = in_h_;
            heap_.push_back(top_);
        }
    }

    std::uint32_t anchored() const { return anchor_; }

    // Whether condition d (1-based) is concurrent with the anchor.  When
    // `below` is given, it is set when d is initial or its producer lies in
    // H (d is consumed in H or lies in the cut of H).
    bool with(const Prefix& pf, std::uint32_t d, bool* below = nullptr) {
        if (d == anchor_) return false;
        grow(pf);
        if (consumed_in_h(pf, d)) {
            if (below) *below = true;
            return false;
        }
        const std::uint32_t g = pf.cond_pre[d - 1];
        if (g == 0 || (ev_[g - 1] != ok_ && in_h(pf, g))) {
            if (below) *below = true;
            return true;
        }
        if (ev_[g - 1] == ok_) return true;
        if (!shares_below(top_) && !shares_below(g) && !consumed_up_to(pf, anchor_, g)) {
            ev_[g - 1] = ok_;
            return true;
        }
        const std::uint64_t walk = ++stamp_;
        stack_.clear();
        visited_.clear();
        ev_[g - 1] = walk;
        stack_.push_back(g);
        while (!stack_.empty()) {
            const std::uint32_t f = stack_.back();
            stack_.pop_back();
            visited_.push_back(f);
            for (std::uint32_t i = pf.ev_pre_begin[f - 1]; i < pf.ev_pre_begin[f]; ++i) {
                const std::uint32_t x = pf.ev_pre_conds[i];
                // f lies outside H: the anchor itself lies before d, a
                // condition H consumes too is a conflict.
                if (x == anchor_ || consumed_in_h(pf, x)) return false;
                const std::uint32_t h = pf.cond_pre[x - 1];
                if (h == 0) continue;
                const std::uint64_t m = ev_[h - 1];
                if (m == ok_ || m == walk || in_h(pf, h)) continue;
                ev_[h - 1] = walk;
                stack_.push_back(h);
            }
        }
        for (std::uint32_t f : visited_) ev_[f - 1] = ok_;
        return true;
    }

private:
    // Conditions with more consumers than this are asked about by walking H
    // down to their producer rather than by asking about each consumer.
    static constexpr int kConsumerScan = 8;
    // Events of H taken newest first before the rest is walked in any order.
    static constexpr std::uint32_t kOrderedSteps = 64;

    void grow(const Prefix& pf) {
        if (ev_.size() < pf.events()) ev_.resize(pf.events(), 0);
        if (cond_.size() < pf.conditions()) cond_.resize(pf.conditions(), 0);
        // Events never change once made, so the marks of the older ones stay.
        for (std::uint32_t f = static_cast<std::uint32_t>(shares_.size()) + 1; f <= pf.events(); ++f) {
            std::uint8_t below = 0;
            for (std::uint32_t i = pf.ev_pre_begin[f - 1]; i < pf.ev_pre_begin[f] && below == 0; ++i) {
                const std::uint32_t x = pf.ev_pre_conds[i];
                // Consumers are listed in creation order: an older one
                // comes before f.
                if (pf.arc_event[pf.cond_first_arc[x - 1] - 1] != f) below = 1;
                const std::uint32_t h = pf.cond_pre[x - 1];
                if (h != 0) below |= shares_[h - 1];
            }
            shares_.push_back(below);
        }
    }

    // Whether [f] holds an event that shares an input condition with an
    // older event (false for f = 0, the empty history).
    bool shares_below(std::uint32_t f) const { return f != 0 && shares_[f - 1] != 0; }

    // Whether condition x has a consumer numbered g or lower (every event of
    // [g] is).
    static bool consumed_up_to(const Prefix& pf, std::uint32_t x, std::uint32_t g) {
        const std::uint32_t a = pf.cond_first_arc[x - 1];
        return a != 0 && pf.arc_event[a - 1] <= g;
    }

    // Takes the events of H newer than `bound` (the newest first), marking
    // the conditions they consume and queueing their producers.  Once the
    // questions of one anchor have gone deep, the rest of H is marked in one
    // plain walk: every later answer is then a look at a mark, and the heap's
    // ordering is no longer paid for.
    void explore_above(const Prefix& pf, std::uint32_t bound) {
        auto take = [&](std::uint32_t f, auto&& queue) {
            for (std::uint32_t i = pf.ev_pre_begin[f - 1]; i < pf.ev_pre_begin[f]; ++i) {
                const std::uint32_t x = pf.ev_pre_conds[i];
                cond_[x - 1] = in_h_;
                const std::uint32_t h = pf.cond_pre[x - 1];
                if (h != 0 && ev_[h - 1] != in_h_) {
                    ev_[h - 1] = in_h_;
                    queue(h);
                }
            }
        };
        while (!heap_.empty() && heap_.front() > bound) {
            if (++taken_ > kOrderedSteps) {
                while (!heap_.empty()) {
                    const std::uint32_t f = heap_.back();
                    heap_.pop_back();
                    take(f, [&](std::uint32_t h) { heap_.push_back(h); });
                }
                return;
            }
            std::pop_heap(heap_.begin(), heap_.end());
            const std::uint32_t f = heap_.back();
            heap_.pop_back();
            take(f, [&](std::uint32_t h) {
                heap_.push_back(h);
                std::push_heap(heap_.begin(), heap_.end());
            });
        }
    }

    // Whether event y lies in H.  Everything that queues y is newer than y.
    bool in_h(const Prefix& pf, std::uint32_t y) {
        if (y > top_) return false;
        if (ev_[y - 1] == in_h_) return true;
        explore_above(pf, y);
        return ev_[y - 1] == in_h_;
    }

    // Whether an event of H consumes condition x: asked of x's consumers
    // when they are few, otherwise answered by exploring H down to x's
    // producer (every consumer is newer than it).
    bool consumed_in_h(const Prefix& pf, std::uint32_t x) {
        if (top_ == 0) return false;
        if (cond_[x - 1] == in_h_) return true;
        int n = 0;
        std::uint32_t a = pf.cond_first_arc[x - 1];
        for (; a != 0 && n < kConsumerScan; a = pf.arc_next[a - 1], ++n)
            if (in_h(pf, pf.arc_event[a - 1])) return true;
        if (a == 0) return false;
        explore_above(pf, pf.cond_pre[x - 1]);
        return cond_[x - 1] == in_h_;
    }

    // 64-bit stamps never wrap: marks left from earlier anchors stay stale.
    std::uint64_t stamp_ = 0, in_h_ = 0, ok_ = 0;
    std::uint32_t anchor_ = 0;
    std::uint32_t top_ = 0;  // the anchor's producer: the newest event of H, 0 = H is empty
    std::vector<std::uint64_t> ev_, cond_;
    std::vector<std::uint32_t> heap_;  // max-heap of queued events of H (every one lies in H)
    std::uint32_t taken_ = 0;          // events taken from the heap for this anchor
    std::vector<std::uint32_t> stack_, visited_;
    std::vector<std::uint8_t> shares_;  // per event: shares_below
};

}  // namespace trelmik
