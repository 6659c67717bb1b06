// The ERV loop.  Possible extensions (a transition and a co-set of input
// conditions) wait in a queue sorted by the ERV order; the first one becomes
// an event, its cut is looked up, and a non-cut-off event gets its output
// conditions, from which the new possible extensions are searched.  Co tests
// are decided from the histories of the conditions as in the McMillan loop;
// co sets are kept only when a co-matrix writer asks for them.
#include "erv.h"

#include "bitcuts.h"
#include "cuts.h"
#include "extensions.h"
#include "histwalk.h"
#include "maxconf.h"

#include <algorithm>
#include <deque>
#include <unordered_map>

namespace trelmik {

ErvOptions erv_options;
ErvCounters erv_counters;

const char* erv_insertion_name(char insertion) {
    return insertion == 'q' ? "binary" : insertion == 'b' ? "beginning" : "end";
}

const char* pv_count_overflow(const std::vector<std::uint32_t>& order, std::uint32_t limit) {
    std::unordered_map<std::uint32_t, std::uint64_t> counts;
    bool first = true;
    std::uint32_t current = 0;
    for (std::uint32_t t : order) {
        if (++counts[t] > limit) {
            if (!first && t < current) return "Size of PV_Count is too small!\n";
            if (!first && t > current) return "PV_Count size is too small!\n";
            return "PV_Count size is too small for this net!\n";
        }
        first = false;
        current = t;
    }
    return nullptr;
}

namespace {

constexpr std::uint32_t kCountLimit = 65535;

[[noreturn]] void parikh_limit(const char* message) {
    std::fflush(stdout);
    std::fputs(message, stderr);
    throw ExitRequest{111};
}

constexpr std::uint32_t kManyPre = 0xffffffffu;  // inputs made by several events

struct Extension {
    std::uint32_t t = 0;
    std::vector<std::uint32_t> conds;   // input conditions, the new one first
    std::uint32_t size = 0;             // |[e]| of the event it would become
    std::vector<std::uint32_t> sparse;  // (transition number, count) pairs, ascending
    bool has_sparse = false;            // sparse is built (only when sizes tie)
    std::uint32_t one_pre = kManyPre;   // the only pre-event of the inputs (0: all initial)
    std::vector<std::uint16_t> dense;   // -y: count per transition
    std::vector<std::uint32_t> depths;  // component loop: depth per component, then their sum
};

struct VecHash {
    std::size_t operator()(const std::vector<std::uint32_t>& v) const {
        std::uint64_t h = 0x9e3779b97f4a7c15ull ^ v.size();
        for (std::uint32_t x : v) {
            h ^= x + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
            h *= 0xff51afd7ed558ccdull;
        }
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

void print_vector(std::FILE* f, std::uint32_t count, const std::vector<std::uint16_t>& v) {
    std::fprintf(f, "<(%u)", count);
    bool any = false;
    for (std::size_t t = 0; t < v.size(); ++t) {
        if (v[t] == 0) continue;
        if (any) std::fputc(',', f);
        if (v[t] > 1) std::fprintf(f, "%u*", static_cast<unsigned>(v[t]));
        std::fprintf(f, "T%u", static_cast<unsigned>(t + 1));
        any = true;
    }
    if (!any) std::fputs("empty", f);
    std::fputs(">\n", f);
}

class ErvUnfolder {
public:
    ErvUnfolder(const InputNet& net, const Settings& s, const ErvOptions& o, Prefix& pf, RunInfo& info,
                ErvCounters& counters)
        : net_(net), s_(s), o_(o), pf_(pf), info_(info), n_(counters) {}
    void run();

private:
    const InputNet& net_;
    const Settings& s_;
    const ErvOptions& o_;
    Prefix& pf_;
    RunInfo& info_;
    ErvCounters& n_;

    std::vector<std::vector<std::uint32_t>> place_conds_;
    std::vector<Extension> arena_;
    std::vector<std::uint32_t> free_;
    std::deque<std::uint32_t> queue_;

    std::uint32_t stamp_ = 0;
    std::vector<std::uint32_t> ev_stamp_, cond_stamp_;
    std::vector<std::uint32_t> stack_, visited_, others_, cut_;
    std::vector<std::uint32_t> walk_a_, walk_b_;
    TwoSidedWalk two_;                         // differences of two histories
    std::vector<std::int32_t> trans_diff_;     // zero between uses
    std::vector<std::uint16_t> work_a_, work_b_;
    std::vector<std::uint32_t> trans_count_;   // zero between uses
    std::vector<std::uint64_t> trans_bits_;    // zero between uses
    std::vector<std::uint32_t> initial_cut_;
    bool vectors_checked_ = false;

    ExtensionFinder finder_;
    CoSet common_, scratch_;

    // Stored cuts: the component loop keys its table by the whole state;
    // the ERV loop keeps hashes and compares cuts of equal hash by the
    // events in which their configurations differ (CutIndex).
    std::unordered_map<std::vector<std::uint32_t>, std::uint32_t, VecHash> table_;
    CutIndex cuts_;

    std::uint32_t step_ = 2000, cond_cap_ = 0, ev_cap_ = 0;

    // Component loop: per event and component (index (e - 1) × C + i) the
    // depth the component has reached after the event, and the newest event
    // of [e] that moved it (0: none, the component is still initial).
    std::uint32_t comps_ = 0;
    std::vector<std::uint32_t> dep_, last_;
    std::vector<std::uint32_t> comp_initial_;  // initial place (1-based) per component
    std::vector<std::uint32_t> seq_a_, seq_b_;

    std::uint32_t next_stamp();
    std::uint32_t new_condition(std::uint32_t place, std::uint32_t pre_event, std::int32_t kind);
    void walk(const std::vector<std::uint32_t>& conds, std::vector<std::uint32_t>& events);
    void build_key(Extension& x);
    void build_sparse(Extension& x);
    int compare_parikh(const Extension& a, const Extension& b);
    void dense_of(const Extension& x, std::vector<std::uint32_t>& events, std::vector<std::uint16_t>& v);
    int compare(Extension& a, Extension& b);
    int compare_dense(std::uint32_t size, const std::vector<std::uint16_t>& a, const std::vector<std::uint16_t>& b);
    int compare_foata(const Extension& a, const Extension& b);
    void check_vector_width();
    void queue_extension(std::uint32_t t, const std::uint32_t* conds, std::size_t n);
    void find_extensions(std::uint32_t c);
    std::uint32_t new_event(const Extension& x);
    void compute_cut(std::uint32_t e, std::vector<std::uint32_t>& out);
    bool cutoff_lookup(std::uint32_t e);
    void extend_from(std::uint32_t e);
    void mark_concurrent_cutoffs();
    std::uint32_t comp(std::uint32_t c) const { return net_.place_comp[pf_.cond_place[c - 1]] - 1; }
    void spts_depths(const Extension& x, std::vector<std::uint32_t>& out);
    int compare_silex(const Extension& a, const Extension& b);
    int compare_sequences(const Extension& a, const Extension& b, std::uint32_t i);
    void sequence(const Extension& x, std::uint32_t i, std::uint32_t d, std::vector<std::uint32_t>& out);
    void component_cut(std::uint32_t e, std::vector<std::uint32_t>& out);
};

std::uint32_t ErvUnfolder::next_stamp() {
    if (++stamp_ == 0) {
        std::fill(ev_stamp_.begin(), ev_stamp_.end(), 0);
        std::fill(cond_stamp_.begin(), cond_stamp_.end(), 0);
        stamp_ = 1;
    }
    return stamp_;
}

std::uint32_t ErvUnfolder::new_condition(std::uint32_t place, std::uint32_t pre_event, std::int32_t kind) {
    const std::uint32_t b = pf_.conditions() + 1;
    if (b >= cond_cap_ - std::min(cond_cap_, info_.max_postset)) {
        cond_cap_ += step_;
        if (s_.debug) std::fprintf(s_.out, "STACKSIZE COND'S = %u\n", cond_cap_);
    }
    pf_.cond_place.push_back(place);
    pf_.cond_pre.push_back(pre_event);
    pf_.cond_kind.push_back(kind);
    pf_.cond_has_row.push_back(0);
    pf_.cond_first_arc.push_back(0);
    pf_.cond_last_arc.push_back(0);
    if (s_.co_rows) pf_.co.emplace_back();
    cond_stamp_.push_back(0);
    return b;
}

// Sparse vectors and layer rows number transitions in 16 bits: the first one
// made checks that the net's transitions fit.
void ErvUnfolder::check_vector_width() {
    if (vectors_checked_) return;
    vectors_checked_ = true;
    if (net_.transitions() > 65534) parikh_limit("Change PV_Item for Parikh vectors.\n");
}

// The events of the local configuration below the conditions (each once).
void ErvUnfolder::walk(const std::vector<std::uint32_t>& conds, std::vector<std::uint32_t>& events) {
    const std::uint32_t st = next_stamp();
    events.clear();
    stack_.clear();
    auto take = [&](std::uint32_t c) {
        const std::uint32_t g = pf_.cond_pre[c - 1];
        if (g != 0 && ev_stamp_[g - 1] != st) {
            ev_stamp_[g - 1] = st;
            stack_.push_back(g);
        }
    };
    for (std::uint32_t c : conds) take(c);
    while (!stack_.empty()) {
        const std::uint32_t f = stack_.back();
        stack_.pop_back();
        events.push_back(f);
        for (std::uint32_t i = pf_.ev_pre_begin[f - 1]; i < pf_.ev_pre_begin[f]; ++i) take(pf_.ev_pre_conds[i]);
    }
}

void ErvUnfolder::build_key(Extension& x) {
    if (o_.spts) {
        walk(x.conds, walk_a_);
        x.size = static_cast<std::uint32_t>(walk_a_.size()) + 1;
        spts_depths(x, x.depths);
        return;
    }
    if (!o_.dense_keys && !o_.size_keys) check_vector_width();
    x.has_sparse = false;
    x.one_pre = kManyPre;
    if (!o_.dense_keys) {
        // Inputs produced by one event g (or initial): [x] is [g] and x.
        std::uint32_t g = 0;
        bool one = true;
        for (std::uint32_t c : x.conds) {
            const std::uint32_t h = pf_.cond_pre[c - 1];
            if (h == 0 || h == g) continue;
            if (g != 0) {
                one = false;
                break;
            }
            g = h;
        }
        if (one) {
            x.size = g == 0 ? 1 : pf_.ev_size[g - 1] + 1;
            x.one_pre = g;
            return;
        }
    }
    if (o_.dense_keys) {
        walk(x.conds, walk_a_);
        x.size = static_cast<std::uint32_t>(walk_a_.size()) + 1;
        dense_of(x, walk_a_, x.dense);
        return;
    }
    // [x] is the largest history below its inputs plus the events that the
    // other histories add to it.
    std::uint32_t base = 0;
    for (std::uint32_t c : x.conds) {
        const std::uint32_t g = pf_.cond_pre[c - 1];
        if (g != 0 && (base == 0 || pf_.ev_size[g - 1] > pf_.ev_size[base - 1])) base = g;
    }
    std::uint32_t added = 0;
    two_.start(pf_, TwoSidedWalk::kRight);
    two_.seed(base, TwoSidedWalk::kLeft);
    for (std::uint32_t c : x.conds) {
        const std::uint32_t g = pf_.cond_pre[c - 1];
        if (g != base) two_.seed(g, TwoSidedWalk::kRight);
    }
    two_.run(pf_, [&](std::uint32_t, std::uint8_t) { ++added; });
    x.size = (base == 0 ? 0 : pf_.ev_size[base - 1]) + added + 1;
    // Parikh vectors are compared when a comparison meets an equal size.
}

void ErvUnfolder::build_sparse(Extension& x) {
    if (x.has_sparse) return;
    x.has_sparse = true;
    walk(x.conds, walk_a_);
    // Counts per transition; the transitions met are taken in ascending
    // order from a bit array when they are many, else sorted.
    const std::uint32_t T = net_.transitions();
    if (trans_count_.size() != T) {
        trans_count_.assign(T, 0);
        trans_bits_.assign((T + 63) / 64, 0);
    }
    others_.clear();
    auto add = [&](std::uint32_t t) {
        if (trans_count_[t]++ == 0) {
            others_.push_back(t);
            trans_bits_[t >> 6] |= std::uint64_t(1) << (t & 63);
        }
    };
    for (std::uint32_t f : walk_a_) add(pf_.ev_trans[f - 1]);
    add(x.t);
    x.sparse.clear();
    auto put = [&](std::uint32_t t) {
        const std::uint32_t n = trans_count_[t];
        trans_count_[t] = 0;
        if (n > kCountLimit) {
            // Which insertion passed the limit follows from the counting order:
            // the extension's own transition, then the walk's events.
            std::vector<std::uint32_t> order{x.t};
            for (std::uint32_t f : walk_a_) order.push_back(pf_.ev_trans[f - 1]);
            parikh_limit(pv_count_overflow(order, kCountLimit));
        }
        x.sparse.push_back(t + 1);
        x.sparse.push_back(n);
    };
    if (others_.size() * 16 > trans_bits_.size()) {
        for (std::size_t w = 0; w < trans_bits_.size(); ++w) {
            for (std::uint64_t word = trans_bits_[w]; word != 0; word &= word - 1)
                put(static_cast<std::uint32_t>(w * 64 + static_cast<unsigned>(__builtin_ctzll(word))));
            trans_bits_[w] = 0;
        }
    } else {
        std::sort(others_.begin(), others_.end());
        for (std::uint32_t t : others_) put(t);
        for (std::uint32_t t : others_) trans_bits_[t >> 6] = 0;
    }
}

// The dense Parikh vector of an extension whose local events are `events`.
void ErvUnfolder::dense_of(const Extension& x, std::vector<std::uint32_t>& events, std::vector<std::uint16_t>& v) {
    v.assign(net_.transitions(), 0);
    auto add = [&](std::uint32_t t) {
        if (v[t] == kCountLimit) parikh_limit("Parikh_Array_Entry size is too small!\n");
        ++v[t];
    };
    for (std::uint32_t f : events) add(pf_.ev_trans[f - 1]);
    add(x.t);
}

int ErvUnfolder::compare_dense(std::uint32_t size, const std::vector<std::uint16_t>& a,
                               const std::vector<std::uint16_t>& b) {
    std::fputs("VEC1: ", s_.out);
    print_vector(s_.out, size, a);
    std::fputs("VEC2: ", s_.out);
    print_vector(s_.out, size, b);
    // The last count follows from the equal totals.
    for (std::size_t t = 0; t + 1 < a.size(); ++t)
        if (a[t] != b[t]) return a[t] > b[t] ? -1 : 1;
    return 0;
}

// Sparse vectors are built on the first tie of sizes and kept.
int ErvUnfolder::compare(Extension& a, Extension& b) {
    if (o_.spts) return compare_silex(a, b);
    ++n_.comparisons;
    if (a.size != b.size) return a.size < b.size ? -1 : 1;
    int r = 0;
    if (o_.size_keys) {
        walk(a.conds, walk_a_);
        dense_of(a, walk_a_, work_a_);
        walk(b.conds, walk_b_);
        dense_of(b, walk_b_, work_b_);
        r = compare_dense(a.size, work_a_, work_b_);
    } else if (o_.dense_keys) {
        r = compare_dense(a.size, a.dense, b.dense);
    } else if (a.one_pre != kManyPre && a.one_pre == b.one_pre && a.t != b.t) {
        // [a] and [b] are one history plus a's and b's own transitions: the
        // vectors first differ at the smaller of the two, which only the
        // extension of that transition counts.
        r = a.t < b.t ? -1 : 1;
    } else if (a.size <= kCountLimit) {
        // No count can pass the limit: the events in which [a] and [b]
        // differ decide.
        r = compare_parikh(a, b);
    } else {
        build_sparse(a);
        build_sparse(b);
        const std::vector<std::uint32_t>& u = a.sparse;
        const std::vector<std::uint32_t>& v = b.sparse;
        std::size_t i = 0;
        while (i < u.size() && i < v.size() && u[i] == v[i] && u[i + 1] == v[i + 1]) i += 2;
        if (i < u.size() && i < v.size()) {
            if (u[i] != v[i]) r = u[i] < v[i] ? -1 : 1;
            else r = u[i + 1] > v[i + 1] ? -1 : 1;
        } else if (i < u.size()) {
            r = 1;
        } else if (i < v.size()) {
            r = -1;
        }
    }
    if (r != 0) return r;
    ++n_.equality;
    return compare_foata(a, b);
}

// Parikh vectors of equal size: the first transition (by number) whose
// counts differ decides, the larger count first.  Events below both
// extensions count alike, so only the events below one of them are walked.
int ErvUnfolder::compare_parikh(const Extension& a, const Extension& b) {
    if (trans_diff_.size() != net_.transitions()) trans_diff_.assign(net_.transitions(), 0);
    others_.clear();
    auto add = [&](std::uint32_t t, std::int32_t by) {
        if (trans_diff_[t] == 0) others_.push_back(t);
        trans_diff_[t] += by;
    };
    two_.start(pf_, TwoSidedWalk::kBoth);
    for (std::uint32_t c : a.conds) two_.seed(pf_.cond_pre[c - 1], TwoSidedWalk::kLeft);
    for (std::uint32_t c : b.conds) two_.seed(pf_.cond_pre[c - 1], TwoSidedWalk::kRight);
    two_.run(pf_, [&](std::uint32_t f, std::uint8_t side) {
        add(pf_.ev_trans[f - 1], side == TwoSidedWalk::kLeft ? 1 : -1);
    });
    add(a.t, 1);
    add(b.t, -1);
    std::uint32_t first = 0xffffffffu;
    int r = 0;
    for (std::uint32_t t : others_) {
        if (trans_diff_[t] != 0 && t < first) {
            first = t;
            r = trans_diff_[t] > 0 ? -1 : 1;
        }
    }
    for (std::uint32_t t : others_) trans_diff_[t] = 0;
    return r;
}

// Layers by depth: fewer events first, then the first transition (by number)
// whose counts differ, the larger count first.
int ErvUnfolder::compare_foata(const Extension& a, const Extension& b) {
    // The layer table counts transitions in 16-bit fields, whatever the key form.
    if (net_.transitions() > 65534) parikh_limit("Change PV_Item for Parikh vectors.\n");
    check_vector_width();  // the layer rows hold a count per transition
    struct Item {
        std::uint32_t layer, trans;
        bool operator<(const Item& o) const { return layer != o.layer ? layer < o.layer : trans < o.trans; }
    };
    auto layers = [&](const Extension& x, std::vector<Item>& items) {
        walk(x.conds, walk_a_);
        items.clear();
        std::uint32_t top = 0;
        for (std::uint32_t c : x.conds) {
            const std::uint32_t g = pf_.cond_pre[c - 1];
            if (g != 0) top = std::max(top, pf_.ev_depth[g - 1]);
        }
        items.push_back({top + 1, x.t});
        for (std::uint32_t f : walk_a_) items.push_back({pf_.ev_depth[f - 1], pf_.ev_trans[f - 1]});
        std::sort(items.begin(), items.end());
    };
    std::vector<Item> ia, ib;
    layers(a, ia);
    layers(b, ib);
    auto layer_end = [](const std::vector<Item>& v, std::size_t i) {
        std::size_t j = i;
        while (j < v.size() && v[j].layer == v[i].layer) ++j;
        return j;
    };
    std::size_t i = 0, j = 0;
    while (i < ia.size() && j < ib.size()) {
        const std::size_t ie = layer_end(ia, i), je = layer_end(ib, j);
        if (ie - i > kCountLimit || je - j > kCountLimit) parikh_limit("Parikh_Array_Entry size is too small!\n");
        if (ie - i != je - j) return ie - i < je - j ? -1 : 1;
        // Equal layer sizes: walk the (transition, count) runs in step.
        std::size_t x = i, y = j;
        while (x < ie && y < je) {
            std::size_t xe = x, ye = y;
            while (xe < ie && ia[xe].trans == ia[x].trans) ++xe;
            while (ye < je && ib[ye].trans == ib[y].trans) ++ye;
            if (ia[x].trans != ib[y].trans) return ia[x].trans < ib[y].trans ? -1 : 1;
            if (xe - x != ye - y) return xe - x > ye - y ? -1 : 1;
            x = xe;
            y = ye;
        }
        i = ie;
        j = je;
    }
    if (i < ia.size()) return 1;
    if (j < ib.size()) return -1;
    ++n_.equality;
    return 0;
}

void ErvUnfolder::queue_extension(std::uint32_t t, const std::uint32_t* conds, std::size_t n) {
    std::uint32_t id;
    if (!free_.empty()) {
        id = free_.back();
        free_.pop_back();
    } else {
        id = static_cast<std::uint32_t>(arena_.size());
        arena_.emplace_back();
    }
    Extension& x = arena_[id];
    x.t = t;
    x.conds.assign(conds, conds + n);
    build_key(x);
    const std::size_t len = queue_.size();
    std::size_t pos = 0;
    if (o_.insertion == 'q') {
        std::int64_t lo = 1, hi = static_cast<std::int64_t>(len);
        int last = 0;
        bool equal = false;
        while (lo <= hi) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            last = compare(x, arena_[queue_[static_cast<std::size_t>(mid - 1)]]);
            if (last < 0) {
                hi = mid - 1;
            } else if (last > 0) {
                lo = mid + 1;
            } else {
                std::fputs("ERROR IN BINARY QUEUE INSERTING: equal entries\n", s_.out);
                pos = static_cast<std::size_t>(mid);  // behind the equal entry
                equal = true;
                break;
            }
        }
        if (!equal) {
            if (last < 0) pos = static_cast<std::size_t>(hi);
            else if (lo > static_cast<std::int64_t>(len)) pos = len;
            else pos = static_cast<std::size_t>(lo - 1);
        }
    } else if (o_.insertion == 'b') {
        if (len > 0 && compare(x, arena_[queue_[0]]) > 0) {
            pos = 1;
            while (pos < len && compare(arena_[queue_[pos]], x) < 0) ++pos;
        }
    } else {
        pos = len;
        while (pos > 0 && compare(x, arena_[queue_[pos - 1]]) < 0) --pos;
    }
    queue_.insert(queue_.begin() + static_cast<std::ptrdiff_t>(pos), id);
    n_.max_queue = std::max<std::uint64_t>(n_.max_queue, queue_.size());
}

// Queues every co-set the new condition c completes with older conditions.
void ErvUnfolder::find_extensions(std::uint32_t c) {
    finder_.find(c, net_, pf_, place_conds_,
                 [this](std::uint32_t t, const std::uint32_t* conds, std::size_t n) { queue_extension(t, conds, n); });
}

std::uint32_t ErvUnfolder::new_event(const Extension& x) {
    const std::uint64_t number = std::uint64_t(pf_.events()) + 1;
    if (number > s_.event_limit) {
        std::fflush(s_.out);
        std::fprintf(stderr, "Maximal number of events (%u) has been exceeded.\n", s_.event_limit);
        throw ExitRequest{3};
    }
    const std::uint32_t e = static_cast<std::uint32_t>(number);
    if (e >= ev_cap_) {
        ev_cap_ += step_;
        if (s_.debug) std::fprintf(s_.out, "STACKSIZE EVENTS = %u\n", ev_cap_);
    }
    pf_.ev_trans.push_back(x.t);
    pf_.trans_used[x.t] = 1;
    std::uint32_t depth = 0;
    for (std::uint32_t c : x.conds) {
        pf_.ev_pre_conds.push_back(c);
        pf_.arc_event.push_back(e);
        pf_.arc_next.push_back(0);
        const std::uint32_t a = static_cast<std::uint32_t>(pf_.arc_event.size());
        if (pf_.cond_last_arc[c - 1] == 0) pf_.cond_first_arc[c - 1] = a;
        else pf_.arc_next[pf_.cond_last_arc[c - 1] - 1] = a;
        pf_.cond_last_arc[c - 1] = a;
        const std::uint32_t g = pf_.cond_pre[c - 1];
        if (g != 0) depth = std::max(depth, pf_.ev_depth[g - 1]);
    }
    pf_.ev_pre_begin.push_back(static_cast<std::uint32_t>(pf_.ev_pre_conds.size()));
    pf_.ev_post_first.push_back(0);
    pf_.ev_post_count.push_back(0);
    pf_.ev_depth.push_back(depth + 1);
    pf_.ev_size.push_back(x.size);
    pf_.is_cutoff.push_back(0);
    ev_stamp_.push_back(0);
    if (o_.spts) {
        const std::size_t base = dep_.size();
        dep_.resize(base + comps_, 0);
        last_.resize(base + comps_, 0);
        for (std::uint32_t c : x.conds) {
            const std::uint32_t g = pf_.cond_pre[c - 1];
            if (g == 0) continue;
            const std::size_t gb = std::size_t(g - 1) * comps_;
            for (std::uint32_t i = 0; i < comps_; ++i)
                if (dep_[gb + i] > dep_[base + i]) {
                    dep_[base + i] = dep_[gb + i];
                    last_[base + i] = last_[gb + i];
                }
        }
        for (std::uint32_t c : x.conds) {
            dep_[base + comp(c)] = static_cast<std::uint32_t>(pf_.cond_kind[c - 1]) + 1;
            last_[base + comp(c)] = e;
        }
    }
    if (s_.configs) s_.configs->update(pf_, e);
    return e;
}

void ErvUnfolder::compute_cut(std::uint32_t e, std::vector<std::uint32_t>& out) {
    compute_local_cut(net_, pf_, e, next_stamp(), ev_stamp_, cond_stamp_, stack_, visited_, others_, out);
}

// Every cut reached before makes the event a cut-off; its corresponding
// event is the first event of the cut (with -l the latest one before it).
bool ErvUnfolder::cutoff_lookup(std::uint32_t e) {
    // The ERV loop forms the cut only to print it.
    const bool whole = o_.spts || s_.debug;
    if (!whole) cut_.clear();
    else if (e == 0) cut_ = initial_cut_;
    else if (o_.spts) component_cut(e, cut_);
    else compute_cut(e, cut_);
    if (s_.debug) {
        if (e == 0) {
            std::fputs("--  Start Marking  --: ", s_.out);
        } else {
            std::fprintf(s_.out, "E%u: ", e);
            std::fprintf(s_.out, "(depth=%u) ", pf_.ev_depth[e - 1]);
            if (!o_.spts) std::fprintf(s_.out, "(size=%u) ", pf_.ev_size[e - 1]);
        }
        if (s_.bit_cuts && !o_.spts) {
            print_places(s_.out, net_, cut_);
        } else {
            std::fputc('{', s_.out);
            for (std::size_t i = 0; i < cut_.size(); ++i) std::fprintf(s_.out, i ? ",%u" : "%u", cut_[i]);
            std::fputs("}\n", s_.out);
        }
    }
    std::int64_t found = -1;
    std::uint64_t hash = 0;
    std::uint32_t length = 0;
    if (o_.spts) {
        auto it = table_.find(cut_);
        if (it != table_.end()) found = it->second;
        hash = VecHash()(cut_);
        length = static_cast<std::uint32_t>(cut_.size());
    } else {
        hash = cuts_.initial_hash();
        length = cuts_.initial_length();
        if (e != 0) {
            const CutIndex::Summary sum = cuts_.analyse(pf_, e);
            hash = sum.hash;
            length = sum.length;
        }
        found = cuts_.find(pf_, hash, length,
                           [&](std::uint32_t k) { return cuts_.same_cut(net_, pf_, e, pf_.cuts[k].first); });
    }
    if (found >= 0) {
        CutRecord& r = pf_.cuts[static_cast<std::size_t>(found)];
        const std::uint32_t corresponding = s_.last_corresponding ? r.event : r.first;
        r.event = e;
        if (o_.keep_events) n_.cut_events[static_cast<std::size_t>(found)].push_back(e);
        pf_.cutoffs.emplace_back(e, corresponding);
        pf_.is_cutoff[e - 1] = 1;
        return true;
    }
    CutRecord r;
    r.hash = hash;
    r.length = length;
    r.size = e == 0 ? 1 : pf_.ev_size[e - 1];
    r.event = e;
    r.first = e;
    pf_.cuts.push_back(r);
    if (o_.keep_events) n_.cut_events.push_back(e == 0 ? std::vector<std::uint32_t>{} : std::vector<std::uint32_t>{e});
    if (o_.spts) {
        pf_.cut_cells += r.length;
        table_.emplace(cut_, static_cast<std::uint32_t>(pf_.cuts.size() - 1));
    } else {
        cuts_.insert(pf_);
    }
    return false;
}

void ErvUnfolder::extend_from(std::uint32_t e) {
    const std::uint32_t t = pf_.ev_trans[e - 1];
    const ListTable::List post = net_.post[t];
    if (post.empty()) return;
    const bool rows = s_.co_rows;
    const std::uint32_t begin = pf_.ev_pre_begin[e - 1], end = pf_.ev_pre_begin[e];
    CoSet& common = common_;
    if (rows) {
        common = pf_.co[pf_.ev_pre_conds[begin] - 1];
        for (std::uint32_t i = begin + 1; i < end && !common.empty(); ++i) {
            CoSet::intersect(common, pf_.co[pf_.ev_pre_conds[i] - 1], scratch_);
            common.swap(scratch_);
        }
    }
    const std::uint32_t first = pf_.conditions() + 1;
    pf_.ev_post_first[e - 1] = first;
    for (std::uint32_t p : post) {
        const std::int32_t kind = o_.spts ? static_cast<std::int32_t>(dep_[std::size_t(e - 1) * comps_ + net_.place_comp[p] - 1])
                                          : net_.place_kind[p];
        const std::uint32_t b = new_condition(p, e, kind);
        pf_.ev_post_count[e - 1] += 1;
        pf_.cond_has_row[b - 1] = 1;
        if (rows) {
            CoSet& cob = pf_.co[b - 1];
            cob = common;
            if (first < b) cob.append_run(first, b - 1);
        }
        if (finder_.concurrent_in(b, pf_, place_conds_[p]) != 0) report_not_one_safe(net_, p, s_.out);
        place_conds_[p].push_back(b);
        if (!net_.place_post[p].empty()) find_extensions(b);
    }
    if (!rows) return;
    const std::uint32_t last = pf_.conditions();
    common.for_each([&](std::uint32_t x) { pf_.co[x - 1].append_run(first, last); });
    for (std::uint32_t s = first; s < last; ++s) pf_.co[s - 1].append_run(s + 1, last);
}

// A cut-off and its corresponding event are concurrent when neither lies in
// the other's local configuration and no condition is consumed by two events
// of their union.
void ErvUnfolder::mark_concurrent_cutoffs() {
    const std::size_t k_max = pf_.cutoffs.size();
    n_.concurrent_cutoffs.assign(k_max / 8 + 1, 0);
    std::vector<std::uint32_t> ca, cb;
    std::vector<std::uint32_t> consumer(pf_.conditions(), 0);
    for (std::size_t k = 1; k <= k_max; ++k) {
        const std::uint32_t e = pf_.cutoffs[k - 1].first, f = pf_.cutoffs[k - 1].second;
        if (f == 0) continue;
        walk(std::vector<std::uint32_t>(pf_.ev_pre_conds.begin() + pf_.ev_pre_begin[e - 1],
                                        pf_.ev_pre_conds.begin() + pf_.ev_pre_begin[e]), ca);
        walk(std::vector<std::uint32_t>(pf_.ev_pre_conds.begin() + pf_.ev_pre_begin[f - 1],
                                        pf_.ev_pre_conds.begin() + pf_.ev_pre_begin[f]), cb);
        if (std::find(ca.begin(), ca.end(), f) != ca.end() || std::find(cb.begin(), cb.end(), e) != cb.end())
            continue;
        ca.push_back(e);
        cb.push_back(f);
        bool conflict = false;
        std::vector<std::uint32_t> touched;
        for (const auto* list : {&ca, &cb}) {
            for (std::uint32_t g : *list) {
                for (std::uint32_t i = pf_.ev_pre_begin[g - 1]; i < pf_.ev_pre_begin[g] && !conflict; ++i) {
                    const std::uint32_t c = pf_.ev_pre_conds[i];
                    if (consumer[c - 1] != 0 && consumer[c - 1] != g) conflict = true;
                    if (consumer[c - 1] == 0) touched.push_back(c);
                    consumer[c - 1] = g;
                }
            }
        }
        for (std::uint32_t c : touched) consumer[c - 1] = 0;
        if (!conflict) n_.concurrent_cutoffs[k / 8] |= static_cast<std::uint8_t>(128u >> (k % 8));
    }
}

// The depth each component reaches with the extension: one more than its
// input condition for the components it moves, else the deepest reached by
// the pre-events; then their sum.
void ErvUnfolder::spts_depths(const Extension& x, std::vector<std::uint32_t>& out) {
    out.assign(comps_ + 1, 0);
    for (std::uint32_t c : x.conds) {
        const std::uint32_t g = pf_.cond_pre[c - 1];
        if (g == 0) continue;
        const std::size_t gb = std::size_t(g - 1) * comps_;
        for (std::uint32_t i = 0; i < comps_; ++i) out[i] = std::max(out[i], dep_[gb + i]);
    }
    for (std::uint32_t c : x.conds) out[comp(c)] = static_cast<std::uint32_t>(pf_.cond_kind[c - 1]) + 1;
    std::uint64_t sum = 0;
    for (std::uint32_t i = 0; i < comps_; ++i) sum += out[i];
    out[comps_] = static_cast<std::uint32_t>(std::min<std::uint64_t>(sum, 0xffffffffu));
}

// The transitions that moved component i in [x], by position 1 … d (stored
// as transition number, position p at index p - 1).
void ErvUnfolder::sequence(const Extension& x, std::uint32_t i, std::uint32_t d, std::vector<std::uint32_t>& out) {
    out.assign(d, 0);
    std::uint32_t ev = 0, pos = d;
    bool moved = false;
    for (std::uint32_t c : x.conds) {
        if (comp(c) != i) continue;
        out[d - 1] = x.t + 1;
        ev = pf_.cond_pre[c - 1];
        pos = d - 1;
        moved = true;
        break;
    }
    if (!moved) {
        for (std::uint32_t c : x.conds) {
            const std::uint32_t g = pf_.cond_pre[c - 1];
            if (g != 0 && dep_[std::size_t(g - 1) * comps_ + i] == d) {
                ev = last_[std::size_t(g - 1) * comps_ + i];
                break;
            }
        }
    }
    while (pos >= 1 && ev != 0) {
        out[pos - 1] = pf_.ev_trans[ev - 1] + 1;
        std::uint32_t next = 0;
        bool found = false;
        for (std::uint32_t k = pf_.ev_pre_begin[ev - 1]; k < pf_.ev_pre_begin[ev]; ++k) {
            const std::uint32_t c = pf_.ev_pre_conds[k];
            if (comp(c) == i) {
                next = pf_.cond_pre[c - 1];
                found = true;
                break;
            }
        }
        if (!found) {
            std::fputs("SILEX ERROR: component not present in preset\n", s_.out);
            break;
        }
        ev = next;
        --pos;
    }
}

int ErvUnfolder::compare_sequences(const Extension& a, const Extension& b, std::uint32_t i) {
    ++n_.depth_comparisons;
    const std::uint32_t d = a.depths[i];
    if (d == 0) {
        ++n_.zero_depth;
        return 0;
    }
    sequence(a, i, d, seq_a_);
    sequence(b, i, d, seq_b_);
    for (std::uint32_t k = 0; k < d; ++k)
        if (seq_a_[k] != seq_b_[k]) return seq_a_[k] < seq_b_[k] ? -1 : 1;
    return 0;
}

int ErvUnfolder::compare_silex(const Extension& a, const Extension& b) {
    ++n_.comparisons;
    if (o_.sum_step) {
        ++n_.sum_comparisons;
        if (a.depths[comps_] != b.depths[comps_]) return a.depths[comps_] < b.depths[comps_] ? -1 : 1;
    }
    for (std::uint32_t i = 0; i < comps_; ++i) {
        ++n_.normal_comparisons;
        if (a.depths[i] != b.depths[i]) {
            const int r = a.depths[i] < b.depths[i] ? -1 : 1;
            return o_.descending ? -r : r;
        }
        if (o_.silex_order == '1') {
            const int r = compare_sequences(a, b, i);
            if (r != 0) return r;
        }
    }
    if (o_.silex_order != '1') {
        for (std::uint32_t i = 0; i < comps_; ++i) {
            const int r = compare_sequences(a, b, i);
            if (r != 0) return r;
        }
    }
    std::fputs("Hmm... something's going wrong here. Just compared two equal vectors.\n", s_.out);
    std::fputs("VECTOR1: (", s_.out);
    for (std::uint32_t v : a.depths) std::fprintf(s_.out, " %2u", v);
    std::fputs(")\nVECTOR2: (", s_.out);
    for (std::uint32_t v : b.depths) std::fprintf(s_.out, " %2u", v);
    std::fputs(")\n", s_.out);
    return 0;
}

// The state after [e] as one place per component (1-based place numbers).
void ErvUnfolder::component_cut(std::uint32_t e, std::vector<std::uint32_t>& out) {
    out.assign(comps_, 0);
    const std::size_t base = std::size_t(e - 1) * comps_;
    for (std::uint32_t i = 0; i < comps_; ++i) {
        const std::uint32_t f = last_[base + i];
        if (f == 0) {
            out[i] = comp_initial_[i];
            continue;
        }
        for (std::uint32_t p : net_.post[pf_.ev_trans[f - 1]])
            if (net_.place_comp[p] == i + 1) out[i] = p + 1;
    }
}

void ErvUnfolder::run() {
    const std::uint32_t P = net_.places();
    const std::uint32_t T = net_.transitions();
    for (std::uint32_t t = 0; t < T; ++t) {
        info_.max_preset = std::max<std::uint32_t>(info_.max_preset, static_cast<std::uint32_t>(net_.pre[t].size()));
        info_.max_postset = std::max<std::uint32_t>(info_.max_postset, static_cast<std::uint32_t>(net_.post[t].size()));
    }
    step_ = s_.stack_step;
    if (info_.max_preset > step_) step_ = (info_.max_preset + 8) / 8 * 8;
    cond_cap_ = step_;
    ev_cap_ = step_;
    if (s_.debug) {
        std::fprintf(s_.out, "STACKSIZE COND'S = %u\n", cond_cap_);
        std::fprintf(s_.out, "STACKSIZE EVENTS = %u\n", ev_cap_);
    }
    n_ = ErvCounters();
    pf_ = Prefix();
    pf_.buckets = 4 * P + 1;
    pf_.trans_used.assign(T, 0);
    pf_.ev_pre_begin.push_back(0);
    place_conds_.assign(P, {});
    finder_.reset(P);

    std::vector<std::uint32_t> initial_of(P, 0);
    if (o_.spts) {
        // One initial condition per component, in component order (the
        // components were checked: each holds exactly one marked place).
        comps_ = net_.components;
        comp_initial_.assign(comps_, 0);
        for (std::uint32_t pn : initial_places(net_, s_.out)) comp_initial_[net_.place_comp[pn - 1] - 1] = pn;
        initial_cut_ = comp_initial_;
    } else {
        initial_cut_ = initial_places(net_, s_.out);
        cuts_.reset(net_);
    }
    cutoff_lookup(0);

    for (std::uint32_t pn : initial_cut_) {
        const std::uint32_t p = pn - 1;
        const std::uint32_t c = new_condition(p, 0, o_.spts ? 0 : net_.place_kind[p]);
        pf_.cond_has_row[c - 1] = 1;
        if (s_.co_rows && c > 1) {
            pf_.co[c - 1].append_run(1, c - 1);
            for (std::uint32_t x = 1; x < c; ++x) pf_.co[x - 1].append(c);
        }
        pf_.initial_conditions = c;
        place_conds_[p].push_back(c);
        initial_of[p] = c;
    }
    // Each initial co-set is queued once: from its transition's first input place.
    std::vector<std::uint32_t> conds;
    for (std::uint32_t c = 1; c <= pf_.initial_conditions; ++c) {
        const std::uint32_t p = pf_.cond_place[c - 1];
        for (std::uint32_t t : net_.place_post[p]) {
            const ListTable::List pre = net_.pre[t];
            if (pre.size() == 1) {
                queue_extension(t, &c, 1);
                continue;
            }
            if (pre[0] != p) continue;
            conds.clear();
            for (std::uint32_t q : pre) {
                if (initial_of[q] == 0) break;
                conds.push_back(initial_of[q]);
            }
            if (conds.size() == pre.size()) queue_extension(t, conds.data(), conds.size());
        }
    }

    while (!queue_.empty()) {
        const std::uint32_t id = queue_.front();
        queue_.pop_front();
        const std::uint32_t e = new_event(arena_[id]);
        free_.push_back(id);
        if (cutoff_lookup(e)) {
            // LTL mode: a cut-off that closes an accepting cycle ends the run.
            if (s_.watch && s_.watch->stops(pf_, e, pf_.cutoffs.back().second)) {
                for (std::uint32_t rest : queue_) free_.push_back(rest);
                queue_.clear();
                break;
            }
            continue;
        }
        extend_from(e);
        if (s_.progress) {
            std::fprintf(s_.out, "|B|=%8u, |E|=%8u, Cutoffs:%8u, Config's:%8u, Depth: %4u %c", pf_.conditions(),
                         pf_.events(), static_cast<std::uint32_t>(pf_.cutoffs.size()),
                         s_.configs ? s_.configs->count() : 0u, pf_.ev_depth[e - 1],
                         s_.progress == 'q' ? '\r' : '\n');
            if (s_.progress == 'q') std::fflush(s_.out);
        }
    }

    if (s_.conditions_behind_cutoffs) {
        for (auto it = pf_.cutoffs.rbegin(); it != pf_.cutoffs.rend(); ++it) {
            const std::uint32_t e = it->first;
            const ListTable::List post = net_.post[pf_.ev_trans[e - 1]];
            if (post.empty()) continue;
            pf_.ev_post_first[e - 1] = pf_.conditions() + 1;
            for (std::uint32_t p : post) {
                new_condition(p, e, o_.spts ? net_.place_kind[p] : 3);
                pf_.ev_post_count[e - 1] += 1;
            }
        }
    }
    if (s_.progress == 'p') std::fputc('\n', s_.out);
    if (o_.mark_cutoffs) mark_concurrent_cutoffs();
}

}  // namespace

bool check_components(const InputNet& net, std::FILE* err) {
    bool heading = false;
    auto fault = [&]() -> std::FILE* {
        if (!heading) std::fputs("ERRORS while checking components:\n", err);
        heading = true;
        return err;
    };
    // Every component holds a place, so a net holds at most as many
    // components as places: a larger number is out of range whatever the
    // net declares (and no work is done per declared component).
    const std::uint32_t C = std::min(net.components, net.places());
    std::vector<std::uint32_t> places(std::size_t(C) + 1, 0), tokens(std::size_t(C) + 1, 0);
    for (std::uint32_t p = 0; p < net.places(); ++p) {
        const std::uint32_t c = net.place_comp[p];
        if (c < 1 || c > C) {
            std::fprintf(fault(), "* Place \u00b4%s': component out of range\n", net.place_names[p].c_str());
            continue;
        }
        ++places[c];
        if (net.marking[p] > 0) tokens[c] += static_cast<std::uint32_t>(net.marking[p]);
    }
    for (std::uint32_t c = C; c >= 1; --c) {
        if (places[c] == 0) std::fprintf(fault(), "* Component %u contains no place\n", c);
        else if (tokens[c] != 1) std::fprintf(fault(), "* Component %u holds %u tokens, not one\n", c, tokens[c]);
    }
    if (heading) return false;
    for (std::uint32_t t = 0; t < net.transitions(); ++t) {
        bool ok = net.pre[t].size() == net.post[t].size();
        std::vector<std::uint32_t> in, out;
        for (std::uint32_t p : net.pre[t]) in.push_back(net.place_comp[p]);
        for (std::uint32_t p : net.post[t]) out.push_back(net.place_comp[p]);
        std::sort(in.begin(), in.end());
        std::sort(out.begin(), out.end());
        ok = ok && in == out && std::adjacent_find(in.begin(), in.end()) == in.end();
        if (!ok)
            std::fprintf(fault(), "* Transition '%s': preset and postset do not meet the same components once each\n",
                         net.trans_names[t].c_str());
    }
    return !heading;
}

Prefix unfold_spts(const InputNet& net, const Settings& settings, RunInfo* info) {
    ErvOptions o = erv_options;
    o.spts = true;
    Prefix pf;
    RunInfo local;
    ErvUnfolder u(net, settings, o, pf, info ? *info : local, erv_counters);
    u.run();
    return pf;
}

Prefix unfold_erv(const InputNet& net, const Settings& settings, RunInfo* info) {
    Prefix pf;
    RunInfo local;
    ErvUnfolder u(net, settings, erv_options, pf, info ? *info : local, erv_counters);
    u.run();
    return pf;
}

}  // namespace trelmik
