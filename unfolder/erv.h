// The ERV unfolding loop: possible extensions are queued in a total adequate
// order (size of the local configuration, then Parikh vector, then Foata
// normal form) and an event is created only when its extension leaves the
// queue; a cut that was reached before always makes the new event a cut-off.
#pragma once

#include <cstdint>
#include <vector>

#include "unfold.h"

namespace trelmik {

// How the ERV queue is kept and keyed (set once by the program).
struct ErvOptions {
    char insertion = 'e';      // 'e' from the end, 'b' from the beginning (-+), 'q' binary (-Q)
    bool dense_keys = false;   // -y: Parikh vectors as one count per transition
    bool size_keys = false;    // -w: keys hold only |[e]|; vectors are built on equal sizes
    bool keep_events = false;  // -N: each cut keeps every event that reached it
    bool mark_cutoffs = false;  // -uc: mark the cut-offs concurrent with their corresponding events
    // Component loop (-K): states as one place per component, Silex order.
    bool spts = false;
    char silex_order = '2';    // '1': transition sequences after each equal depth; '2': after all depths
    bool descending = false;   // letter d: the larger depth first
    bool sum_step = false;     // letter s: the smaller sum of depths first
};

// What the last ERV run counted, for the summary lines.
struct ErvCounters {
    std::uint64_t comparisons = 0;  // made by the queue insertion
    std::uint64_t equality = 0;     // equal Parikh vectors, and again equal Foata forms
    std::uint64_t max_queue = 0;    // longest queue
    // Component loop: comparisons of depth sums, of transition sequences
    // (and how many of those were at depth 0), and of single depths.
    std::uint64_t sum_comparisons = 0, depth_comparisons = 0, zero_depth = 0, normal_comparisons = 0;
    // Per stored cut (index into Prefix::cuts): the events that reached it (-N).
    std::vector<std::vector<std::uint32_t>> cut_events;
    // Bit k (most significant bit of byte k / 8 first) set when the k-th
    // cut-off (k from 1) and its corresponding event are concurrent.
    std::vector<std::uint8_t> concurrent_cutoffs;
};

extern ErvOptions erv_options;
extern ErvCounters erv_counters;

// Runs the ERV loop with erv_options; fills erv_counters.  Throws
// ExitRequest{3} at the event limit and ExitRequest{111} when a Parikh count
// does not fit its field.
Prefix unfold_erv(const InputNet& net, const Settings& settings, RunInfo* info = nullptr);

// The component loop for SPTS nets (erv_options.spts is set for the run).
Prefix unfold_spts(const InputNet& net, const Settings& settings, RunInfo* info = nullptr);

// Checks that the net is made of sequential components: every place carries
// a component number 1 … C, every component holds a place and exactly one
// token, and every transition's preset and postset each meet the components
// it touches once and the same ones.  Prints each fault after one heading
// "ERRORS while checking components:\n" on `err`; returns false on a fault.
bool check_components(const InputNet& net, std::FILE* err);

// The message for a count of the sparse Parikh vector that passes `limit`
// when the transitions of `order` are counted in turn into the sorted entry
// list, or nullptr when none does.  Each count goes to the entry of its
// transition, found from the entry counted last: a count that passes the
// limit before that entry, behind it or at it has its own message.
const char* pv_count_overflow(const std::vector<std::uint32_t>& order, std::uint32_t limit);

// Name of the queue insertion for the summary: "end", "beginning" or "binary".
const char* erv_insertion_name(char insertion);

}  // namespace trelmik
