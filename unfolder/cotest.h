// Co tests decided from the histories of conditions, with stamps.
//
// Two conditions a and d are concurrent when neither is consumed in the
// other's history and the union of both histories is free of conflicts (no
// condition consumed by two of its events).  The test anchors on a: it marks
// the events of a's history H and the conditions consumed in H; then d is
// concurrent with a when d is not consumed in H and no event of d's history
// outside H consumes a or a condition consumed in H.  The walk of d's history
// stops at events of H and at events already found harmless for this anchor,
// so the candidates of one anchor share their walks: the cost is bounded by
// the histories involved, not by the size of the prefix.
#pragma once

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
        stack_.clear();
        const std::uint32_t g = pf.cond_pre[a - 1];
        if (g != 0) {
            ev_[g - 1] = in_h_;
            stack_.push_back(g);
        }
        while (!stack_.empty()) {
            const std::uint32_t f = stack_.back();
            stack_.pop_back();
            for (std::uint32_t i = pf.ev_pre_begin[f - 1]; i < pf.ev_pre_begin[f]; ++i) {
                const std::uint32_t x = pf.ev_pre_conds[i];
                cond_[x - 1] = in_h_;
                const std::uint32_t h = pf.cond_pre[x - 1];
                if (h != 0 && ev_[h - 1] != in_h_) {
                    ev_[h - 1] = in_h_;
                    stack_.push_back(h);
                }
            }
        }
    }

    std::uint32_t anchored() const { return anchor_; }

    // Whether condition d (1-based) is concurrent with the anchor.
    bool with(const Prefix& pf, std::uint32_t d) {
        if (d == anchor_) return false;
        grow(pf);
        if (cond_[d - 1] == in_h_) return false;
        const std::uint32_t g = pf.cond_pre[d - 1];
        if (g == 0 || ev_[g - 1] == in_h_ || ev_[g - 1] == ok_) return true;
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
                // f lies outside H: a condition H consumes too is a conflict,
                // the anchor itself lies before d.
                if (x == anchor_ || cond_[x - 1] == in_h_) return false;
                const std::uint32_t h = pf.cond_pre[x - 1];
                if (h == 0) continue;
                const std::uint64_t m = ev_[h - 1];
                if (m == in_h_ || m == ok_ || m == walk) continue;
                ev_[h - 1] = walk;
                stack_.push_back(h);
            }
        }
        for (std::uint32_t f : visited_) ev_[f - 1] = ok_;
        return true;
    }

private:
    void grow(const Prefix& pf) {
        if (ev_.size() < pf.events()) ev_.resize(pf.events(), 0);
        if (cond_.size() < pf.conditions()) cond_.resize(pf.conditions(), 0);
    }

    // 64-bit stamps never wrap: marks left from earlier anchors stay stale.
    std::uint64_t stamp_ = 0, in_h_ = 0, ok_ = 0;
    std::uint32_t anchor_ = 0;
    std::vector<std::uint64_t> ev_, cond_;
    std::vector<std::uint32_t> stack_, visited_;
};

}  // namespace trelmik
