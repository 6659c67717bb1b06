// The prefix read from a ".mci" file and the global 0/1 variable store over
// its events.
//
// Conditions and events are numbered from 1 in file order; the arrays here are
// indexed by number minus 1.  The store keeps every assignment causally closed
// and conflict-free: including an event includes its causal past and excludes
// every event in conflict with it, so the search visits exactly the
// configurations of the prefix that contain no cut-off event.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "prefixfile.h"

namespace vorga {

// The lists of conditions and events are ranges of the arrays of the prefix
// that the unfolding holds.
struct Condition {
    std::uint32_t place = 0;      // 1-based place of the unfolded net
    std::uint32_t producer = 0;   // 1-based event number, 0 for an initial condition
    prefixfile::Span consumers;   // 1-based event numbers, ascending
};

struct Event {
    std::uint32_t transition = 0;  // 1-based transition of the unfolded net
    bool cutoff = false;
    prefixfile::Span preset;   // 1-based condition numbers, ascending
    prefixfile::Span postset;  // 1-based condition numbers, ascending
};

class unfolding {
public:
    unfolding() = default;
    virtual ~unfolding() = default;
    // Moving keeps the arrays the lists point into; copying would not.
    unfolding(unfolding&&) = default;
    unfolding& operator=(unfolding&&) = default;
    unfolding(const unfolding&) = delete;
    unfolding& operator=(const unfolding&) = delete;

    std::vector<Condition> conditions;
    std::vector<Event> events;
    std::uint32_t n_places = 0, n_transitions = 0;
    std::vector<std::string> place_names, trans_names;
    // Conditions (1-based numbers, ascending) per place number.
    prefixfile::Relation place_conditions;

    std::uint32_t n_conditions() const { return static_cast<std::uint32_t>(conditions.size()); }
    std::uint32_t n_events() const { return static_cast<std::uint32_t>(events.size()); }

    // Place or transition number for a name, 0 when there is none.
    std::uint32_t lookup_place(const std::string& name) const;
    std::uint32_t lookup_transition(const std::string& name) const;

    enum class ReadStatus { ok, cannot_open, bad_file };
    // Reads a ".mci" file through the shared reader.  cannot_open (missing,
    // unreadable or a directory) prints " Error: cannot open %s\n"; bad_file
    // (a read error or anything that is not a prefix) prints
    // "\n Error while reading a file.\n".  Both go to standard error.
    ReadStatus ReadUnfolding(const std::string& path);
    // The same on bytes already in memory (no messages).
    bool parse(const std::vector<unsigned char>& bytes);
    // Takes over a prefix read by the shared reader.
    void load(prefixfile::Prefix&& prefix);

    std::uint32_t cutoff_count() const;

private:
    prefixfile::Prefix prefix_;
    std::vector<std::pair<std::string, std::uint32_t>> place_index_, trans_index_;
    void build_indexes();
};

// The variable store: one 0/1 variable per event.  A variable is free (stamp
// 0) or fixed at the level given by its stamp with value 0 or 1.  Every
// fixing is remembered on a stack so that undoing a level frees exactly what
// was fixed at it (and above) without a pass over all variables.
class VariableStore {
public:
    std::uint32_t n_vars = 0, n_events = 0, n_conditions = 0, n_places = 0, n_transitions = 0;
    const unfolding* unf = nullptr;
    std::uint32_t level = 1;
    std::vector<std::uint32_t> stamp;
    std::vector<std::uint8_t> value;
    std::vector<std::uint8_t> saved;
    std::uint64_t ones = 0;  // variables with value 1

    void init_store(const unfolding& u);
    void fix_cutoffs();
    // Event indices are 0-based here.
    bool include_event(std::uint32_t e);
    bool exclude_event(std::uint32_t e);
    void undo(std::uint32_t lvl);
    void save_solution() { saved = value; }
    std::uint32_t solution_size() const;
    void free_store();

    bool is_free(std::uint32_t e) const { return stamp[e] == 0; }
    bool is_one(std::uint32_t e) const { return value[e] != 0; }
    bool is_zero_fixed(std::uint32_t e) const { return stamp[e] != 0 && value[e] == 0; }

private:
    std::vector<std::uint32_t> fixed_;  // fixed variables in the order of fixing
    std::vector<std::uint32_t> work_;   // explicit stack of the exclusion closure
    std::vector<std::uint32_t> incl_;   // explicit stack of the inclusion closure
    void fix(std::uint32_t e, std::uint8_t v);
    bool exclude_closure();
};

extern VariableStore store;

}  // namespace vorga
