// McMillan's backtracking search for a deadlock on a finite complete prefix.
//
// A configuration of the prefix leads to a deadlock when it is in conflict
// with every cut-off event.  The search picks, cut-off by cut-off, an event in
// conflict with the cut-off's local configuration, excludes (marks) every
// event in conflict with the chosen event's local configuration, and
// backtracks when a cut-off can no longer be excluded.  Every walk uses an
// explicit stack, so prefixes of millions of events need no deep recursion.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <vector>

#include "prefixfile.h"

namespace dlbacktrack {

// The prefix as the shared reader delivers it: events 1..events, conditions
// 1..conditions, every relation a range of one array.
using PrefixGraph = prefixfile::Prefix;

// Fires the events of `candidates` (ascending numbers) that are enabled in
// turn, starting from the initial conditions: each event is taken only when
// its whole preset lies in the current cut.  The result is a configuration;
// when every candidate can be taken it is the candidate set itself.
std::vector<std::uint32_t> greedy_configuration(const PrefixGraph& g,
                                                const std::vector<std::uint32_t>& candidates);

// Whether the events form a configuration whose cut enables no event of the
// prefix (a maximal configuration).
bool is_maximal_configuration(const PrefixGraph& g, const std::vector<std::uint32_t>& events);

class DeadlockSearch {
public:
    // `step` is called once per search step (the driver reads the clock there).
    explicit DeadlockSearch(const PrefixGraph& g, std::function<void()> step = {});

    // Conflict lists of every cut-off.
    void AllConflicts();
    // Events outside [e] that are not cut-offs and consume a condition that an
    // event of [e] consumes, ascending; returns their number.
    std::uint32_t CutoffConflicts(std::vector<std::uint32_t>& list, std::uint32_t e);
    bool CutoffWithoutConflicts() const;
    // True when a configuration in conflict with every cut-off was found.
    bool BacktrackSearch();
    // After a successful search: a deadlocking configuration built from the
    // unmarked events, ascending.
    std::vector<std::uint32_t> DeadlockConfiguration() const;

    // Search statistics and state, for tests.
    std::uint32_t mark(std::uint32_t e) const { return mark_[e]; }
    const std::vector<std::uint32_t>& cutoff_table() const { return table_; }
    std::vector<std::uint32_t> conflict_list(std::size_t record) const;
    std::uint64_t steps() const { return steps_; }

private:
    std::uint32_t PickCutoff() const;                  // record index
    std::uint32_t NextCandidate(std::uint32_t record); // event or 0
    void MarkConflicts(std::uint32_t candidate, std::uint32_t depth);
    void MarkEvent(std::uint32_t e, std::uint32_t depth);
    void set_mark(std::uint32_t e, std::uint32_t depth);
    void clear_depth(std::uint32_t depth);
    bool AllCutoffsKilled() const { return unmarked_cutoffs_ == 0; }
    std::uint32_t fresh_event_stamp();
    std::uint32_t fresh_condition_stamp();

    const PrefixGraph& g_;
    std::function<void()> step_;

    std::vector<std::uint32_t> table_;        // cut-off events, ascending
    std::vector<std::uint32_t> record_of_;    // event -> record + 1, 0 for other events
    std::vector<std::uint32_t> conf_begin_, conf_;  // record -> conflict list
    std::vector<std::uint32_t> inv_begin_, inv_;    // event -> records listing it
    std::vector<std::uint32_t> live_;         // record -> unmarked events of its list
    std::vector<std::uint32_t> cursor_;       // record -> position of its next candidate
    std::uint32_t unmarked_cutoffs_ = 0;

    std::vector<std::uint32_t> mark_;         // event -> 0 or the depth that excluded it
    std::vector<std::uint32_t> trail_;        // marked events, by depth
    std::vector<std::size_t> trail_start_;    // depth -> first trail entry of that depth

    std::vector<std::uint32_t> event_stamp_, cond_stamp_;
    std::uint32_t event_clock_ = 0, cond_clock_ = 0;
    std::vector<std::uint32_t> stack_a_, stack_b_, event_stack_, scratch_;
    std::uint64_t steps_ = 0;
};

}  // namespace dlbacktrack
