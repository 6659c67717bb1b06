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
};

// What the last ERV run counted, for the summary lines.
struct ErvCounters {
    std::uint64_t comparisons = 0;  // made by the queue insertion
    std::uint64_t equality = 0;     // equal Parikh vectors, and again equal Foata forms
    std::uint64_t max_queue = 0;    // longest queue
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

// Name of the queue insertion for the summary: "end", "beginning" or "binary".
const char* erv_insertion_name(char insertion);

}  // namespace trelmik
