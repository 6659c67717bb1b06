// The cuts of local configurations, hashed and compared without forming them.
//
// The hash of a cut is the sum of a random key per token, so it follows the
// marking as a multiset: firing an event adds its transition's effect (keys
// of its output places minus keys of its input places).  The summary of [e]
// (size, hash, number of tokens) is that of one event below e's inputs plus
// the effects of the events [e] adds to it, which a walk over the difference
// of both configurations finds; when e's inputs come from one event, as along
// a token passed round a ring, no walk is needed at all.  Two cuts with the
// same hash and length are compared by the effects of the events in which
// their configurations differ.  The cost follows those differences (or the
// number of transitions, below), never the size of the configurations.
//
// The events [e] adds to [base] are found in one of two ways.  The walk by
// event number passes every shared event numbered above the oldest added one,
// which along a buffer chain is a wide band of shared history.  So on nets
// with few transitions the index also keeps, for recent events, how many
// events of each transition [e] holds.  In a 1-safe net the events of a
// transition with an input place within one configuration form a chain (two
// of them consume tokens of one place, and conditions of one place in a
// configuration are never concurrent), so an event z of the other producers'
// histories lies in [base] exactly when z's position on its transition's
// chain is within [base]'s count of that transition.  So the counts of [e]
// are, transition by transition, the largest counts of its producers (plus
// e), and the summary grows by the effects of what they count beyond [base]:
// one pass over the transitions, however far apart the histories reach.
// Where only [base]'s counts are still kept, a search down from the other
// producers that stops at events of [base] visits just the added events and
// their boundary; where not even those are, the walk decides.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "histwalk.h"
#include "unfold.h"

namespace trelmik {

class CutIndex {
public:
    // Sets up a run over `net`: place keys, transition effects, the initial
    // marking (the places holding a token) and an empty table.
    void reset(const InputNet& net) {
        const std::uint32_t P = net.places();
        place_key_.resize(P);
        place_count_.assign(P, 0);
        initial_hash_ = 0;
        initial_length_ = 0;
        for (std::uint32_t p = 0; p < P; ++p) {
            place_key_[p] = splitmix64(p + 0x5851f42d4c957f2dull);
            if (net.marking[p] == 0) continue;
            ++initial_length_;
            initial_hash_ += place_key_[p];
        }
        const std::uint32_t T = net.transitions();
        effect_hash_.assign(T, 0);
        effect_length_.assign(T, 0);
        for (std::uint32_t t = 0; t < T; ++t) {
            for (std::uint32_t p : net.post[t]) effect_hash_[t] += place_key_[p];
            for (std::uint32_t p : net.pre[t]) effect_hash_[t] -= place_key_[p];
            effect_length_[t] = static_cast<std::int32_t>(net.post[t].size()) - static_cast<std::int32_t>(net.pre[t].size());
        }
        summaries_.clear();
        slots_.assign(1024, 0);
        // Counts per transition are kept where a vector costs little and
        // every transition has an input place (events of a transition without
        // one are not ordered).
        transitions_ = T;
        counted_ = T != 0 && T <= kMaxCounted;
        for (std::uint32_t t = 0; t < T && counted_; ++t)
            if (net.pre[t].empty()) counted_ = false;
        vector_slots_ = counted_ ? std::max<std::uint32_t>(kMinSlots, kCountBudget / T) : 0;
        counts_.clear();
        slot_owner_.clear();
        chain_.clear();
        search_stamp_.clear();
        search_ = 0;
    }

    // How many recent events keep their counts per transition (0: none, the
    // summaries come from walks alone); reset() picks it from the net, and
    // on a net where counts are not kept at all other numbers are ignored.
    void keep_counts(std::uint32_t events) {
        if (!counted_ && events != 0) return;
        vector_slots_ = events;
        counted_ = events != 0;
        counts_.clear();
        slot_owner_.clear();
    }

    std::uint64_t initial_hash() const { return initial_hash_; }
    std::uint32_t initial_length() const { return initial_length_; }

    struct Summary {
        std::uint32_t size;     // |[e]|
        std::uint64_t hash;
        std::uint32_t length;   // tokens of the cut
    };

    // The summary of [e], kept for the events above e; every event below
    // e's inputs has been analysed before.  Events may be analysed in any
    // order that respects causality.
    Summary analyse(const Prefix& pf, std::uint32_t e) {
        // The events that produce e's inputs; the one with the largest
        // configuration is the base.
        std::uint32_t base = 0, others = 0;
        for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i) {
            const std::uint32_t g = pf.cond_pre[pf.ev_pre_conds[i] - 1];
            if (g == 0 || g == base) continue;
            if (base == 0) {
                base = g;
            } else {
                ++others;
                if (summary(g).size > summary(base).size || (summary(g).size == summary(base).size && g > base))
                    base = g;
            }
        }
        Summary s = base == 0 ? Summary{0, initial_hash_, initial_length_} : summary(base);
        if (summaries_.size() < e) summaries_.resize(e, Summary{0, 0, 0});
        if (counted_ && chain_.size() < e) chain_.resize(e, 0);
        if (counted_ && add_counted(pf, e, base, s)) {
            summaries_[e - 1] = s;
            return s;
        }
        if (others != 0) {
            // Add the events below the other producers that [base] lacks.
            walk_.start(pf, TwoSidedWalk::kRight);
            walk_.seed(base, TwoSidedWalk::kLeft);
            for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i) {
                const std::uint32_t g = pf.cond_pre[pf.ev_pre_conds[i] - 1];
                if (g != base) walk_.seed(g, TwoSidedWalk::kRight);
            }
            walk_.run(pf, [&](std::uint32_t f, std::uint8_t) { fire(s, pf.ev_trans[f - 1]); });
        }
        fire(s, pf.ev_trans[e - 1]);
        summaries_[e - 1] = s;
        return s;
    }

    // The summary of an analysed event.
    const Summary& summary(std::uint32_t e) const { return summaries_[e - 1]; }

    // Whether the cuts of [e] and [f] are the same marking (0 = the initial
    // marking): the events in only one of the configurations add up to the
    // same effect on every place.
    bool same_cut(const InputNet& net, const Prefix& pf, std::uint32_t e, std::uint32_t f) {
        if (e == f) return true;
        walk_.start(pf, TwoSidedWalk::kBoth);
        walk_.seed(e, TwoSidedWalk::kLeft);
        walk_.seed(f, TwoSidedWalk::kRight);
        touched_.clear();
        walk_.run(pf, [&](std::uint32_t x, std::uint8_t side) {
            const std::int32_t sign = side == TwoSidedWalk::kLeft ? 1 : -1;
            const std::uint32_t t = pf.ev_trans[x - 1];
            for (std::uint32_t p : net.post[t]) count(p, sign);
            for (std::uint32_t p : net.pre[t]) count(p, -sign);
        });
        bool same = true;
        for (std::uint32_t p : touched_) {
            if (place_count_[p] != 0) same = false;
            place_count_[p] = 0;
        }
        return same;
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
    // Counts are kept on nets with at most this many transitions, for the
    // most recent events that fit kCountBudget words (at least kMinSlots).
    static constexpr std::uint32_t kMaxCounted = 4096;
    static constexpr std::uint32_t kCountBudget = 1u << 19;
    static constexpr std::uint32_t kMinSlots = 256;

    std::uint32_t* counts_of(std::uint32_t slot) { return counts_.data() + std::size_t(slot) * transitions_; }

    // The summary of [e] from [base]'s counts, with the counts of [e] kept
    // in e's slot; false (and nothing kept for e) when base's counts are
    // gone or the search meets an event without a chain position.
    bool add_counted(const Prefix& pf, std::uint32_t e, std::uint32_t base, Summary& s) {
        const std::uint32_t slot = (e - 1) % vector_slots_;
        const std::uint32_t base_slot = base == 0 ? 0 : (base - 1) % vector_slots_;
        if (base != 0 && (base_slot >= slot_owner_.size() || slot_owner_[base_slot] != base || base_slot == slot))
            return false;
        if (slot_owner_.size() <= slot) {
            // Every slot is used before any is reused: room for all at once.
            if (counts_.capacity() == 0) counts_.reserve(std::size_t(vector_slots_) * transitions_);
            slot_owner_.resize(slot + 1, 0);
            counts_.resize(std::size_t(slot + 1) * transitions_, 0);
        }
        if (search_stamp_.size() < e) search_stamp_.resize(e, 0);
        if (++search_ == 0) {
            std::fill(search_stamp_.begin(), search_stamp_.end(), 0);
            search_ = 1;
        }
        slot_owner_[slot] = 0;
        std::uint32_t* const mine = counts_of(slot);
        const std::uint32_t* const below = base == 0 ? nullptr : counts_of(base_slot);
        const std::uint32_t t = pf.ev_trans[e - 1];
        if (below && join_counts(pf, e, base, mine, below, s)) {
            fire(s, t);
            chain_[e - 1] = ++mine[t];
            slot_owner_[slot] = e;
            return true;
        }
        if (below) std::copy(below, below + transitions_, mine);
        else std::fill(mine, mine + transitions_, 0);
        Summary sum = s;
        // z lies in [base] when its position on its transition's chain is
        // within base's count; an event of the other producers' histories
        // outside [base] has every event above it in e's history outside
        // [base] too, so the search reaches all of them.
        bool known = true;
        auto reach = [&](std::uint32_t z) {
            if (z == 0 || z == base || search_stamp_[z - 1] == search_) return;
            search_stamp_[z - 1] = search_;
            const std::uint32_t position = chain_[z - 1];
            if (position == 0) {
                known = false;
                return;
            }
            if (below && position <= below[pf.ev_trans[z - 1]]) return;
            stack_.push_back(z);
        };
        stack_.clear();
        for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i)
            reach(pf.cond_pre[pf.ev_pre_conds[i] - 1]);
        while (!stack_.empty() && known) {
            const std::uint32_t z = stack_.back();
            stack_.pop_back();
            const std::uint32_t t = pf.ev_trans[z - 1];
            fire(sum, t);
            mine[t] = std::max(mine[t], chain_[z - 1]);
            for (std::uint32_t i = pf.ev_pre_begin[z - 1]; i < pf.ev_pre_begin[z]; ++i)
                reach(pf.cond_pre[pf.ev_pre_conds[i] - 1]);
        }
        if (!known) return false;
        fire(sum, t);
        chain_[e - 1] = ++mine[t];
        slot_owner_[slot] = e;
        s = sum;
        return true;
    }

    // When the counts of every producer of e are kept: [e] without e holds
    // of each transition the most events any producer's history holds, so
    // its counts are their maximum, and the summary grows by the effects of
    // the events counted beyond [base].
    bool join_counts(const Prefix& pf, std::uint32_t e, std::uint32_t base, std::uint32_t* mine,
                     const std::uint32_t* below, Summary& s) {
        const std::uint32_t own = std::uint32_t(mine - counts_.data()) / transitions_;
        for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i) {
            const std::uint32_t g = pf.cond_pre[pf.ev_pre_conds[i] - 1];
            if (g == 0 || g == base) continue;
            const std::uint32_t k = (g - 1) % vector_slots_;
            if (k == own || slot_owner_[k] != g) return false;
        }
        // mine starts as the base's counts; each further producer raises it.
        const std::uint32_t* from = below;
        for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i) {
            const std::uint32_t g = pf.cond_pre[pf.ev_pre_conds[i] - 1];
            if (g == 0 || g == base) continue;
            const std::uint32_t* other = counts_of((g - 1) % vector_slots_);
            for (std::uint32_t t = 0; t < transitions_; ++t) mine[t] = std::max(from[t], other[t]);
            from = mine;
        }
        if (from == below) std::copy(below, below + transitions_, mine);
        std::uint32_t size = 0;
        std::uint64_t hash = 0;
        std::int64_t length = 0;
        for (std::uint32_t t = 0; t < transitions_; ++t) {
            const std::uint32_t d = mine[t] - below[t];
            if (d == 0) continue;
            size += d;
            hash += std::uint64_t(d) * effect_hash_[t];
            length += std::int64_t(d) * effect_length_[t];
        }
        s.size += size;
        s.hash += hash;
        s.length = static_cast<std::uint32_t>(static_cast<std::int64_t>(s.length) + length);
        return true;
    }

    static std::uint64_t splitmix64(std::uint64_t x) {
        x += 0x9e3779b97f4a7c15ull;
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
        return x ^ (x >> 31);
    }

    void fire(Summary& s, std::uint32_t t) const {
        s.size += 1;
        s.hash += effect_hash_[t];
        s.length = static_cast<std::uint32_t>(static_cast<std::int64_t>(s.length) + effect_length_[t]);
    }

    void count(std::uint32_t p, std::int32_t by) {
        if (place_count_[p] == 0) touched_.push_back(p);
        place_count_[p] += by;
    }

    std::vector<std::uint64_t> place_key_;
    std::vector<std::uint64_t> effect_hash_;    // per transition
    std::vector<std::int32_t> effect_length_;   // per transition
    std::vector<std::int32_t> place_count_;     // effects summed by same_cut, 0 between calls
    std::vector<std::uint32_t> touched_;
    std::vector<Summary> summaries_;            // per analysed event
    TwoSidedWalk walk_;
    std::uint64_t initial_hash_ = 0;
    std::uint32_t initial_length_ = 0;
    std::vector<std::uint32_t> slots_;  // record index + 1
    std::size_t free_slot_ = 0;

    bool counted_ = false;            // counts per transition are kept
    std::uint32_t transitions_ = 0;
    std::uint32_t vector_slots_ = 0;  // events whose counts are kept at once
    // Slot (e - 1) % vector_slots_ holds the counts of [e] for e = its owner.
    std::vector<std::uint32_t> counts_;
    std::vector<std::uint32_t> slot_owner_;
    // Per event: its position on its transition's chain, |[e] ∩ events of
    // that transition| (0 = not known: e was summed by the walk).
    std::vector<std::uint32_t> chain_;
    std::vector<std::uint32_t> search_stamp_, stack_;
    std::uint32_t search_ = 0;
};

}  // namespace trelmik
