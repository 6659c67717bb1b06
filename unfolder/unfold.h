// The finite complete prefix of the unfolding of a 1-safe net (McMillan's
// algorithm) in compact, number-indexed arrays.
//
// Conditions and events are numbered 1, 2, ... in creation order.  Places and
// transitions of the unfolded net are numbered 1, 2, ... in list order.  The
// prefix keeps, for every condition, the set of conditions concurrent with it
// (co relation) when a co-matrix writer asks for it; extensions are found with
// co tests decided from the histories of the conditions, so they need no sets
// and stay exact whatever the -n threshold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "coset.h"
#include "names.h"

namespace trelmik {

// Thrown to end the program with an exit code after its message was printed.
struct ExitRequest {
    int code;
};

// Lists of numbers, one per index, kept one after another in a single array
// (a net has as many of them as nodes: one allocation, not one per node).
class ListTable {
public:
    // One list, valid while the table is not changed.
    class List {
    public:
        List(const std::uint32_t* b, const std::uint32_t* e) : b_(b), e_(e) {}
        const std::uint32_t* begin() const { return b_; }
        const std::uint32_t* end() const { return e_; }
        std::size_t size() const { return static_cast<std::size_t>(e_ - b_); }
        bool empty() const { return b_ == e_; }
        std::uint32_t operator[](std::size_t i) const { return b_[i]; }
        bool operator==(const std::vector<std::uint32_t>& v) const;

    private:
        const std::uint32_t *b_, *e_;
    };

    ListTable() = default;
    ListTable(std::initializer_list<std::initializer_list<std::uint32_t>> lists);

    std::size_t size() const { return begin_.empty() ? 0 : begin_.size() - 1; }   // empty once moved from
    bool empty() const { return size() == 0; }
    List operator[](std::size_t i) const { return {items_.data() + begin_[i], items_.data() + begin_[i + 1]}; }
    bool operator==(const ListTable& o) const {
        return size() == o.size() && (size() == 0 || begin_ == o.begin_) && items_ == o.items_;
    }
    bool operator!=(const ListTable& o) const { return !(*this == o); }

    // Appends a list at the end.
    void push_back(const std::vector<std::uint32_t>& list) { append(list.data(), list.size()); }
    void push_back(std::initializer_list<std::uint32_t> list) { append(list.begin(), list.size()); }
    // Replaces list i (copies the lists after it).
    void replace(std::size_t i, const std::vector<std::uint32_t>& list);

    // Filling by counts: sizes[i] numbers for list i, then fill(i, x) puts
    // them in list i in call order, each list filled in full before
    // finish_filling().
    void shape(const std::vector<std::uint32_t>& sizes);
    void fill(std::size_t i, std::uint32_t x) { items_[fill_[i]++] = x; }
    void finish_filling() { fill_ = {}; }
    std::uint32_t* data(std::size_t i) { return items_.data() + begin_[i]; }
    std::size_t items() const { return items_.size(); }

private:
    void append(const std::uint32_t* x, std::size_t n);

    std::vector<std::uint32_t> begin_ = {0};   // list i is items_[begin_[i], begin_[i + 1])
    std::vector<std::uint32_t> items_;
    std::vector<std::uint32_t> fill_;          // next free slot per list while shaping
};

// The net to unfold, 0-based indices (place i has number i + 1).
struct InputNet {
    netlib::NameTable place_names;
    std::vector<std::int32_t> place_kind;
    std::vector<std::uint32_t> place_comp;
    std::vector<std::int32_t> marking;
    netlib::NameTable trans_names;
    ListTable pre;         // per transition: input places in arc order
    ListTable post;        // per transition: output places in arc order
    ListTable place_post;  // per place: output transitions in arc order
    std::uint32_t components = 0;
    std::uint64_t pt_arcs = 0, tp_arcs = 0;

    std::uint32_t places() const { return static_cast<std::uint32_t>(place_names.size()); }
    std::uint32_t transitions() const { return static_cast<std::uint32_t>(trans_names.size()); }
    // Fills place_post from pre and the place count (transitions in
    // ascending number per place).
    void derive_place_post();
};

constexpr std::uint32_t kUnbounded = 4294967294u;

struct Prefix;
class MaxConfigurations;

// Watches the cut-offs of a run for one that closes an accepting cycle (LTL
// mode); the loops stop at the first one.
class CutoffWatch {
public:
    virtual ~CutoffWatch() = default;
    // Called when the event e has just become a cut-off with corresponding
    // event corr (0 = the initial marking); true stops the run.
    virtual bool stops(const Prefix& pf, std::uint32_t e, std::uint32_t corr) = 0;
};

struct Settings {
    std::uint32_t event_limit = kUnbounded;    // -x
    std::uint32_t co_row_limit = kUnbounded;   // -n
    bool co_rows = true;                       // keep co sets (the co-matrix writers need them)
    std::uint32_t stack_step = 2000;
    bool conditions_behind_cutoffs = true;     // off with -C
    bool last_corresponding = false;           // -l
    bool repeat_cutoff = false;                // -r
    bool debug = false;                        // -#
    bool bit_cuts = false;                     // -a, -b: cuts printed as place names
    bool second_cut = false;                   // -a: a second cut printed for every event
    char progress = 0;                         // 'p' or 'q'
    std::FILE* out = stdout;                   // debug and progress output
    MaxConfigurations* configs = nullptr;      // updated with every new event unless -c
    CutoffWatch* watch = nullptr;              // -V: asked at every cut-off
};

// One stored cut of the hash table.  The cut itself is not kept: it is the
// cut of the local configuration of `first` (the initial marking for 0) and is
// recomputed when needed.
struct CutRecord {
    std::uint64_t hash;
    std::uint32_t length;   // number of places of the cut
    std::uint32_t size;     // smallest |[e]| seen (unused under -r)
    std::uint32_t event;    // stored event, 0 = the initial marking
    std::uint32_t first;    // the event that first reached the cut, 0 = the initial marking
};

struct Prefix {
    // Conditions, index = number - 1.
    std::vector<std::uint32_t> cond_place;   // 0-based place
    std::vector<std::uint32_t> cond_pre;     // pre-event number, 0 = initial
    std::vector<std::int32_t> cond_kind;
    std::vector<std::uint8_t> cond_has_row;  // has a co row (matrix output)
    std::vector<std::uint32_t> cond_first_arc;  // consumers: arc index + 1, 0 = none
    std::vector<std::uint32_t> cond_last_arc;
    std::vector<std::uint32_t> arc_event;    // consumer event number
    std::vector<std::uint32_t> arc_next;     // next arc index + 1
    // Conditions concurrent with each condition, for the first co.size()
    // conditions only (those made while co sets were kept).
    std::vector<CoSet> co;

    // Events, index = number - 1.
    std::vector<std::uint32_t> ev_trans;       // 0-based transition
    std::vector<std::uint32_t> ev_pre_begin;   // into ev_pre_conds (size E + 1)
    std::vector<std::uint32_t> ev_pre_conds;   // input condition numbers
    std::vector<std::uint32_t> ev_post_first;  // first output condition number, 0 = none
    std::vector<std::uint32_t> ev_post_count;
    std::vector<std::uint32_t> ev_depth;
    std::vector<std::uint32_t> ev_size;        // |[e]|

    // Cut-offs in detection order: (cut-off event, corresponding event or 0).
    std::vector<std::pair<std::uint32_t, std::uint32_t>> cutoffs;
    std::vector<std::uint8_t> is_cutoff;       // per event

    std::uint32_t initial_conditions = 0;
    std::vector<std::uint8_t> trans_used;      // per transition: some event carries it

    // Hash table of cuts (kept for -h and the statistics).
    std::vector<CutRecord> cuts;
    std::uint64_t cut_cells = 0;               // places held by stored cuts (0: only hashes are kept)
    std::uint32_t buckets = 0;                 // 4 × |P| + 1

    std::uint32_t conditions() const { return static_cast<std::uint32_t>(cond_place.size()); }
    std::uint32_t events() const { return static_cast<std::uint32_t>(ev_trans.size()); }
    std::uint32_t rowed_conditions() const;

    // Consumers of condition c (1-based) in ascending event number.
    template <class F>
    void for_each_consumer(std::uint32_t c, F&& f) const {
        for (std::uint32_t a = cond_first_arc[c - 1]; a != 0; a = arc_next[a - 1]) f(arc_event[a - 1]);
    }
    // Whether conditions a and b (1-based) are concurrent (after the run;
    // conditions behind cut-offs carry an empty co set when sets are kept;
    // without sets the histories decide).
    bool concurrent(std::uint32_t a, std::uint32_t b) const;
};

struct RunInfo {
    std::uint32_t max_preset = 0;   // GL_maxTpreset
    std::uint32_t max_postset = 0;  // GL_maxTpostset
};

// Runs McMillan's algorithm.  Throws ExitRequest{3} at the event limit.
Prefix unfold_mcmillan(const InputNet& net, const Settings& settings, RunInfo* info = nullptr);

// The cut of [e] as ascending place numbers (1-based); e = 0 gives the
// initial marking.
std::vector<std::uint32_t> cut_of(const InputNet& net, const Prefix& pf, std::uint32_t e);

// A token produced on a place that holds one already (a new condition
// concurrent with an older one of its place): the net is not 1-safe.  Prints
// "The given net is not 1-safe in place '%s'\n" on the error stream and
// throws ExitRequest{101}.
[[noreturn]] void report_not_one_safe(const InputNet& net, std::uint32_t place, std::FILE* out);

// The places marked by the initial marking, ascending and 1-based: the cut
// of the empty configuration.  A place with two or more tokens is a token on
// a place that holds one already: report_not_one_safe for the first of them.
std::vector<std::uint32_t> initial_places(const InputNet& net, std::FILE* out);

// Hash of a cut as the -h print and the bucket count use it.
std::uint32_t cut_bucket(const std::uint32_t* places, std::uint32_t n, std::uint32_t buckets);

}  // namespace trelmik
