// The cuts of local configurations, hashed and compared without forming them.
//
// The hash of a cut is the sum of a random key per marked place; one walk
// over [e] gives it together with |[e]| and the number of places.  Two cuts
// with the same hash and length are compared through the places where each
// differs from the initial marking, which one more walk over [e] finds: the
// cost follows the local configuration, never the number of places.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "unfold.h"

namespace trelmik {

class CutIndex {
public:
    // Work space of the walks: stamps per event and condition (the caller
    // hands out fresh stamps and sizes them), a stack and the events walked.
    struct Walk {
        std::vector<std::uint32_t>& ev_stamp;
        std::vector<std::uint32_t>& cond_stamp;
        std::vector<std::uint32_t>& stack;
        std::vector<std::uint32_t>& visited;
    };

    // Sets up a run over `net`: place keys, the initial marking (the places
    // holding a token) and an empty table.
    void reset(const InputNet& net) {
        const std::uint32_t P = net.places();
        place_key_.resize(P);
        place_stamp_.assign(P, 0);
        place_flag_.assign(P, 0);
        initial_of_place_.assign(P, 0);
        initial_hash_ = 0;
        initial_length_ = 0;
        for (std::uint32_t p = 0; p < P; ++p) {
            place_key_[p] = splitmix64(p + 0x5851f42d4c957f2dull);
            if (net.marking[p] == 0) continue;
            initial_of_place_[p] = ++initial_length_;
            initial_hash_ += place_key_[p];
        }
        slots_.assign(1024, 0);
    }
    // After a wrap of the caller's stamps.
    void clear_stamps() { std::fill(place_stamp_.begin(), place_stamp_.end(), 0); }

    std::uint64_t initial_hash() const { return initial_hash_; }
    std::uint32_t initial_length() const { return initial_length_; }

    struct Summary {
        std::uint32_t size;     // |[e]|
        std::uint64_t hash;
        std::uint32_t length;   // places of the cut
    };

    // One walk over [e] (st a fresh stamp).  The cut consists of the initial
    // conditions not consumed in [e], the outputs of the events of [e] not
    // consumed in [e], and the outputs of e, each place counted once.  An
    // event of [e] may still be getting its outputs: those not created yet
    // are not consumed in [e].
    Summary analyse(const InputNet& net, const Prefix& pf, std::uint32_t e, std::uint32_t st, const Walk& w) {
        Summary s{1, initial_hash_, initial_length_};
        w.stack.clear();
        w.visited.clear();
        auto take_pres = [&](std::uint32_t f) {
            for (std::uint32_t i = pf.ev_pre_begin[f - 1]; i < pf.ev_pre_begin[f]; ++i) {
                const std::uint32_t c = pf.ev_pre_conds[i];
                if (w.cond_stamp[c - 1] == st) continue;
                w.cond_stamp[c - 1] = st;
                const std::uint32_t g = pf.cond_pre[c - 1];
                if (g == 0) {
                    s.hash -= place_key_[pf.cond_place[c - 1]];
                    --s.length;
                } else if (w.ev_stamp[g - 1] != st) {
                    w.ev_stamp[g - 1] = st;
                    w.stack.push_back(g);
                }
            }
        };
        take_pres(e);
        while (!w.stack.empty()) {
            const std::uint32_t f = w.stack.back();
            w.stack.pop_back();
            ++s.size;
            w.visited.push_back(f);
            take_pres(f);
        }
        auto add_place = [&](std::uint32_t p) {
            if (place_stamp_[p] == st) return;
            place_stamp_[p] = st;
            // Marked by an initial condition still (one not created yet counts too).
            const std::uint32_t init = initial_of_place_[p];
            if (init != 0 && (init > pf.conditions() || w.cond_stamp[init - 1] != st)) return;
            s.hash += place_key_[p];
            ++s.length;
        };
        for (std::uint32_t f : w.visited) {
            const std::uint32_t first = pf.ev_post_first[f - 1];
            const std::uint32_t made = pf.ev_post_count[f - 1];
            const std::vector<std::uint32_t>& post = net.post[pf.ev_trans[f - 1]];
            for (std::uint32_t i = 0; i < post.size(); ++i)
                if (i >= made || w.cond_stamp[first + i - 1] != st) add_place(post[i]);
        }
        for (std::uint32_t p : net.post[pf.ev_trans[e - 1]]) add_place(p);
        return s;
    }

    // The places (0-based, ascending) that are marked in exactly one of the
    // cut of [e] and the initial marking; e = 0 gives none.  Every event of
    // [e] but e has all its outputs.  st is a fresh stamp.
    void delta(const InputNet& net, const Prefix& pf, std::uint32_t e, std::uint32_t st, const Walk& w,
               std::vector<std::uint32_t>& out) {
        out.clear();
        if (e == 0) return;
        w.stack.clear();
        touched_.clear();
        enum : std::uint8_t { kProduced = 1, kConsumed = 2 };
        auto flag = [&](std::uint32_t p, std::uint8_t bit) {
            if (place_flag_[p] == 0) touched_.push_back(p);
            place_flag_[p] |= bit;
        };
        auto take_pres = [&](std::uint32_t f) {
            for (std::uint32_t i = pf.ev_pre_begin[f - 1]; i < pf.ev_pre_begin[f]; ++i) {
                const std::uint32_t c = pf.ev_pre_conds[i];
                w.cond_stamp[c - 1] = st;
                const std::uint32_t g = pf.cond_pre[c - 1];
                if (g == 0) {
                    flag(pf.cond_place[c - 1], kConsumed);
                } else if (w.ev_stamp[g - 1] != st) {
                    w.ev_stamp[g - 1] = st;
                    w.stack.push_back(g);
                }
            }
        };
        w.visited.clear();
        take_pres(e);
        while (!w.stack.empty()) {
            const std::uint32_t f = w.stack.back();
            w.stack.pop_back();
            w.visited.push_back(f);
            take_pres(f);
        }
        for (std::uint32_t f : w.visited) {
            const std::uint32_t first = pf.ev_post_first[f - 1];
            for (std::uint32_t x = first; x < first + pf.ev_post_count[f - 1]; ++x)
                if (w.cond_stamp[x - 1] != st) flag(pf.cond_place[x - 1], kProduced);
        }
        for (std::uint32_t p : net.post[pf.ev_trans[e - 1]]) flag(p, kProduced);
        for (std::uint32_t p : touched_) {
            const bool initially = initial_of_place_[p] != 0;
            const bool now = (place_flag_[p] & kProduced) || (initially && !(place_flag_[p] & kConsumed));
            if (now != initially) out.push_back(p);
            place_flag_[p] = 0;
        }
        std::sort(out.begin(), out.end());
    }

    // The index into pf.cuts of the first record with this hash and length
    // for which same(index) holds, or -1.  The slot where the search ended is
    // kept for insert().
    template <class Same>
    std::int64_t find(const Prefix& pf, std::uint64_t hash, std::uint32_t length, Same&& same) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = hash & mask;
        while (slots_[i] != 0) {
            const CutRecord& r = pf.cuts[slots_[i] - 1];
            if (r.hash == hash && r.length == length && same(slots_[i] - 1)) return slots_[i] - 1;
            i = (i + 1) & mask;
        }
        free_slot_ = i;
        return -1;
    }

    // Enters the newest record of pf.cuts after a find() that failed.
    void insert(const Prefix& pf) {
        slots_[free_slot_] = static_cast<std::uint32_t>(pf.cuts.size());
        if (pf.cuts.size() * 2 <= slots_.size()) return;
        std::vector<std::uint32_t> bigger(slots_.size() * 2, 0);
        const std::size_t mask = bigger.size() - 1;
        for (std::uint32_t k = 0; k < pf.cuts.size(); ++k) {
            std::size_t j = pf.cuts[k].hash & mask;
            while (bigger[j] != 0) j = (j + 1) & mask;
            bigger[j] = k + 1;
        }
        slots_.swap(bigger);
    }

private:
    static std::uint64_t splitmix64(std::uint64_t x) {
        x += 0x9e3779b97f4a7c15ull;
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
        return x ^ (x >> 31);
    }

    std::vector<std::uint64_t> place_key_;
    std::vector<std::uint32_t> place_stamp_;
    std::vector<std::uint8_t> place_flag_;
    std::vector<std::uint32_t> initial_of_place_;  // initial condition of a place (1-based), 0 = none
    std::vector<std::uint32_t> touched_;
    std::uint64_t initial_hash_ = 0;
    std::uint32_t initial_length_ = 0;
    std::vector<std::uint32_t> slots_;  // record index + 1
    std::size_t free_slot_ = 0;
};

}  // namespace trelmik
