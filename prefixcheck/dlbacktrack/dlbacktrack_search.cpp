#include "dlbacktrack_search.h"

#include <algorithm>
#include <limits>

namespace dlbacktrack {

std::vector<std::uint32_t> greedy_configuration(const PrefixGraph& g,
                                                const std::vector<std::uint32_t>& candidates) {
    std::vector<std::uint8_t> in_cut(g.conditions + 1, 0);
    for (std::uint32_t c = 1; c <= g.conditions; ++c) in_cut[c] = g.condition_pre[c] == 0;
    std::vector<std::uint32_t> taken;
    for (std::uint32_t e : candidates) {
        bool enabled = g.preset.size(e) > 0;
        for (std::uint32_t c : g.preset[e]) enabled = enabled && in_cut[c];
        if (!enabled) continue;
        for (std::uint32_t c : g.preset[e]) in_cut[c] = 0;
        for (std::uint32_t c : g.postset[e]) in_cut[c] = 1;
        taken.push_back(e);
    }
    return taken;
}

bool is_maximal_configuration(const PrefixGraph& g, const std::vector<std::uint32_t>& events) {
    std::vector<std::uint32_t> sorted(events);
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) return false;
    for (std::uint32_t e : sorted)
        if (e == 0 || e > g.events) return false;
    // A causally closed, conflict-free set fires completely in ascending order.
    if (greedy_configuration(g, sorted).size() != sorted.size()) return false;

    std::vector<std::uint8_t> in_cut(g.conditions + 1, 0), member(g.events + 1, 0);
    for (std::uint32_t c = 1; c <= g.conditions; ++c) in_cut[c] = g.condition_pre[c] == 0;
    for (std::uint32_t e : sorted) {
        member[e] = 1;
        for (std::uint32_t c : g.preset[e]) in_cut[c] = 0;
        for (std::uint32_t c : g.postset[e]) in_cut[c] = 1;
    }
    for (std::uint32_t e = 1; e <= g.events; ++e) {
        if (member[e] || g.preset.size(e) == 0) continue;
        bool enabled = true;
        for (std::uint32_t c : g.preset[e]) enabled = enabled && in_cut[c];
        if (enabled) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
DeadlockSearch::DeadlockSearch(const PrefixGraph& g, std::function<void()> step)
    : g_(g), step_(std::move(step)) {
    record_of_.assign(g.events + 1, 0);
    for (std::uint32_t e = 1; e <= g.events; ++e) {
        if (!g.cutoff[e]) continue;
        table_.push_back(e);
        record_of_[e] = static_cast<std::uint32_t>(table_.size());
    }
    mark_.assign(g.events + 1, 0);
    event_stamp_.assign(g.events + 1, 0);
    cond_stamp_.assign(g.conditions + 1, 0);
    stack_a_.reserve(g.conditions + 1);
    stack_b_.reserve(g.conditions + 1);
    unmarked_cutoffs_ = static_cast<std::uint32_t>(table_.size());
}

std::uint32_t DeadlockSearch::fresh_event_stamp() {
    if (++event_clock_ == 0) {   // wrapped: forget every old stamp
        std::fill(event_stamp_.begin(), event_stamp_.end(), 0);
        event_clock_ = 1;
    }
    return event_clock_;
}

std::uint32_t DeadlockSearch::fresh_condition_stamp() {
    if (++cond_clock_ == 0) {
        std::fill(cond_stamp_.begin(), cond_stamp_.end(), 0);
        cond_clock_ = 1;
    }
    return cond_clock_;
}

std::uint32_t DeadlockSearch::CutoffConflicts(std::vector<std::uint32_t>& list, std::uint32_t e) {
    const std::uint32_t ev = fresh_event_stamp();
    stack_a_.clear();   // conditions whose pre-event is still to be visited
    stack_b_.clear();   // branching conditions consumed inside [e]
    auto visit_preset = [&](std::uint32_t f) {
        for (std::uint32_t c : g_.preset[f]) {
            std::uint32_t p = g_.condition_pre[c];
            if (p && event_stamp_[p] != ev) stack_a_.push_back(c);
            if (g_.consumers.size(c) >= 2) stack_b_.push_back(c);
        }
    };
    event_stamp_[e] = ev;
    visit_preset(e);
    while (!stack_a_.empty()) {
        std::uint32_t f = g_.condition_pre[stack_a_.back()];
        stack_a_.pop_back();
        if (event_stamp_[f] == ev) continue;
        event_stamp_[f] = ev;
        visit_preset(f);
    }
    // Now exactly the events of [e] carry the stamp.
    list.clear();
    while (!stack_b_.empty()) {
        std::uint32_t c = stack_b_.back();
        stack_b_.pop_back();
        for (std::uint32_t x : g_.consumers[c]) {
            if (event_stamp_[x] == ev) continue;
            event_stamp_[x] = ev;
            if (!g_.cutoff[x]) list.push_back(x);
        }
    }
    std::sort(list.begin(), list.end());
    return static_cast<std::uint32_t>(list.size());
}

void DeadlockSearch::AllConflicts() {
    const auto records = table_.size();
    conf_begin_.assign(records + 1, 0);
    conf_.clear();
    for (std::size_t r = 0; r < records; ++r) {
        conf_begin_[r] = static_cast<std::uint32_t>(conf_.size());
        CutoffConflicts(scratch_, table_[r]);
        conf_.insert(conf_.end(), scratch_.begin(), scratch_.end());
    }
    conf_begin_[records] = static_cast<std::uint32_t>(conf_.size());

    // Which records list each event, so that marking keeps the live counts.
    inv_begin_.assign(g_.events + 2, 0);
    for (std::uint32_t e : conf_) ++inv_begin_[e + 1];
    for (std::uint32_t e = 1; e <= g_.events + 1; ++e) inv_begin_[e] += inv_begin_[e - 1];
    inv_.assign(conf_.size(), 0);
    std::vector<std::uint32_t> fill(inv_begin_.begin(), inv_begin_.end() - 1);
    for (std::size_t r = 0; r < records; ++r)
        for (auto i = conf_begin_[r]; i < conf_begin_[r + 1]; ++i)
            inv_[fill[conf_[i]]++] = static_cast<std::uint32_t>(r);

    live_.assign(records, 0);
    for (std::size_t r = 0; r < records; ++r) live_[r] = conf_begin_[r + 1] - conf_begin_[r];
    cursor_.assign(records, 0);
}

std::vector<std::uint32_t> DeadlockSearch::conflict_list(std::size_t record) const {
    return {conf_.begin() + conf_begin_[record], conf_.begin() + conf_begin_[record + 1]};
}

bool DeadlockSearch::CutoffWithoutConflicts() const {
    for (std::size_t r = 0; r < table_.size(); ++r)
        if (conf_begin_[r] == conf_begin_[r + 1]) return true;
    return false;
}

std::uint32_t DeadlockSearch::PickCutoff() const {
    std::uint64_t best_count = std::numeric_limits<std::uint64_t>::max();
    std::uint32_t best = 0;
    for (std::uint32_t r = 0; r < table_.size(); ++r) {
        if (mark_[table_[r]] != 0 || live_[r] >= best_count) continue;
        best_count = live_[r];
        best = r;
        if (best_count == 0) break;
    }
    return best;
}

// The record's candidates are tried in ascending order; whenever the search
// comes back to this record the marks are those it had when the record was
// first picked, so the candidates already tried are exactly the unmarked ones
// before the cursor.
std::uint32_t DeadlockSearch::NextCandidate(std::uint32_t record) {
    const std::uint32_t begin = conf_begin_[record], end = conf_begin_[record + 1];
    for (std::uint32_t i = begin + cursor_[record]; i < end; ++i) {
        if (mark_[conf_[i]] == 0) {
            cursor_[record] = i - begin + 1;
            return conf_[i];
        }
    }
    cursor_[record] = end - begin;
    return 0;
}

void DeadlockSearch::set_mark(std::uint32_t e, std::uint32_t depth) {
    mark_[e] = depth;
    trail_.push_back(e);
    for (auto i = inv_begin_[e]; i < inv_begin_[e + 1]; ++i) --live_[inv_[i]];
    if (record_of_[e]) --unmarked_cutoffs_;
}

void DeadlockSearch::clear_depth(std::uint32_t depth) {
    const std::size_t start = trail_start_.back();
    trail_start_.pop_back();
    for (std::size_t i = trail_.size(); i > start; --i) {
        std::uint32_t e = trail_[i - 1];
        if (mark_[e] != depth) continue;
        mark_[e] = 0;
        for (auto j = inv_begin_[e]; j < inv_begin_[e + 1]; ++j) ++live_[inv_[j]];
        if (record_of_[e]) ++unmarked_cutoffs_;
    }
    trail_.resize(start);
}

// Marks e and, walking forward, every unmarked event that follows it.
void DeadlockSearch::MarkEvent(std::uint32_t e, std::uint32_t depth) {
    if (mark_[e] != 0) return;
    set_mark(e, depth);
    event_stack_.clear();
    event_stack_.push_back(e);
    while (!event_stack_.empty()) {
        std::uint32_t h = event_stack_.back();
        event_stack_.pop_back();
        for (std::uint32_t c : g_.postset[h])
            for (std::uint32_t w : g_.consumers[c]) {
                if (mark_[w] != 0) continue;
                set_mark(w, depth);
                event_stack_.push_back(w);
            }
    }
}

void DeadlockSearch::MarkConflicts(std::uint32_t candidate, std::uint32_t depth) {
    const std::uint32_t ev = fresh_event_stamp();
    const std::uint32_t cs = fresh_condition_stamp();
    scratch_.clear();   // events in direct conflict with [candidate]
    event_stack_.clear();
    event_stamp_[candidate] = ev;
    event_stack_.push_back(candidate);
    while (!event_stack_.empty()) {
        std::uint32_t f = event_stack_.back();
        event_stack_.pop_back();
        for (std::uint32_t b : g_.preset[f]) {
            if (cond_stamp_[b] == cs) continue;
            cond_stamp_[b] = cs;
            for (std::uint32_t x : g_.consumers[b])
                if (x != f) scratch_.push_back(x);
            std::uint32_t p = g_.condition_pre[b];
            if (p && event_stamp_[p] != ev) {
                event_stamp_[p] = ev;
                event_stack_.push_back(p);
            }
        }
    }
    std::sort(scratch_.begin(), scratch_.end());
    scratch_.erase(std::unique(scratch_.begin(), scratch_.end()), scratch_.end());
    for (std::uint32_t x : scratch_) MarkEvent(x, depth);
}

bool DeadlockSearch::BacktrackSearch() {
    std::uint32_t depth = 0;
    for (;;) {
        if (AllCutoffsKilled()) return true;
        ++steps_;
        if (step_) step_();
        std::uint32_t r = PickCutoff();
        std::uint32_t x = NextCandidate(r);
        if (x != 0) {
            ++depth;
            trail_start_.push_back(trail_.size());
            MarkConflicts(x, depth);
            continue;
        }
        if (depth == 0) return false;
        cursor_[r] = 0;
        clear_depth(depth);
        --depth;
    }
}

std::vector<std::uint32_t> DeadlockSearch::DeadlockConfiguration() const {
    std::vector<std::uint32_t> unmarked;
    for (std::uint32_t e = 1; e <= g_.events; ++e)
        if (mark_[e] == 0) unmarked.push_back(e);
    return greedy_configuration(g_, unmarked);
}

}  // namespace dlbacktrack
