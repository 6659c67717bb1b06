// McMillan's unfolding loop on number-indexed arrays.
//
// Events are created as soon as a new condition completes a co-set of a
// transition's preset (find_extensions) and queued by |[e]|, the earliest
// created first among equal sizes.  Taking an event from the queue decides
// whether it is a cut-off: its cut was hashed when the event was created
// (analyse), and only a stored cut with the same hash and length is compared
// with it.  A non-cut-off event gets its output conditions.  When a
// co-matrix writer asks for co sets, the set of each new condition is the
// intersection of the co sets of the event's inputs plus its siblings, which
// is exactly the set of existing conditions concurrent with it.
#include "unfold.h"

#include "bitcuts.h"
#include "cuts.h"
#include "extensions.h"
#include "maxconf.h"

#include <algorithm>
#include <cinttypes>
#include <queue>

namespace trelmik {

bool ListTable::List::operator==(const std::vector<std::uint32_t>& v) const {
    return std::equal(begin(), end(), v.begin(), v.end());
}

ListTable::ListTable(std::initializer_list<std::initializer_list<std::uint32_t>> lists) {
    for (const auto& l : lists) push_back(l);
}

void ListTable::append(const std::uint32_t* x, std::size_t n) {
    if (begin_.empty()) begin_.push_back(0);
    items_.insert(items_.end(), x, x + n);
    begin_.push_back(static_cast<std::uint32_t>(items_.size()));
}

void ListTable::replace(std::size_t i, const std::vector<std::uint32_t>& list) {
    ListTable out;
    for (std::size_t k = 0; k < size(); ++k) {
        const List l = (*this)[k];
        if (k == i) out.push_back(list);
        else out.append(l.begin(), l.size());
    }
    *this = std::move(out);
}

void ListTable::shape(const std::vector<std::uint32_t>& sizes) {
    begin_.assign(sizes.size() + 1, 0);
    for (std::size_t i = 0; i < sizes.size(); ++i) begin_[i + 1] = begin_[i] + sizes[i];
    items_.assign(begin_.back(), 0);
    fill_.assign(begin_.begin(), begin_.end() - 1);
}

void InputNet::derive_place_post() {
    std::vector<std::uint32_t> size(places(), 0);
    for (std::uint32_t t = 0; t < transitions(); ++t)
        for (std::uint32_t p : pre[t]) ++size[p];
    place_post.shape(size);
    for (std::uint32_t t = 0; t < transitions(); ++t)
        for (std::uint32_t p : pre[t]) place_post.fill(p, t);
    place_post.finish_filling();
}

std::uint32_t Prefix::rowed_conditions() const {
    std::uint32_t n = 0;
    for (std::uint8_t r : cond_has_row) n += r;
    return n;
}

bool Prefix::concurrent(std::uint32_t a, std::uint32_t b) const {
    if (a == b) return false;
    if (a < b) std::swap(a, b);
    if (a <= co.size()) return co[a - 1].contains(b);
    CoTest test;
    test.anchor(*this, a);
    return test.with(*this, b);
}

std::uint32_t cut_bucket(const std::uint32_t* places, std::uint32_t n, std::uint32_t buckets) {
    std::uint64_t sum = 0;
    for (std::uint32_t k = 0; k < n; ++k) sum = (sum + std::uint64_t(k + 1) * places[k]) % buckets;
    return static_cast<std::uint32_t>(sum % buckets);
}

void report_not_one_safe(const InputNet& net, std::uint32_t place, std::FILE* out) {
    std::fflush(out);
    std::fprintf(stderr, "The given net is not 1-safe in place '%s'\n", net.place_names[place].c_str());
    throw ExitRequest{101};
}

std::vector<std::uint32_t> initial_places(const InputNet& net, std::FILE* out) {
    std::vector<std::uint32_t> places;
    for (std::uint32_t p = 0; p < net.places(); ++p) {
        if (net.marking[p] > 1) report_not_one_safe(net, p, out);
        if (net.marking[p] != 0) places.push_back(p + 1);
    }
    return places;
}

namespace {

void print_numbers(std::FILE* f, const std::vector<std::uint32_t>& set) {
    std::fputc('{', f);
    for (std::size_t i = 0; i < set.size(); ++i) std::fprintf(f, i ? ",%u" : "%u", set[i]);
    std::fputs("}\n", f);
}

// Min-queue of possible extensions: by |[e]|, then by creation (event number).
struct QueueEntry {
    std::uint32_t size;
    std::uint32_t event;
    bool operator>(const QueueEntry& o) const {
        return size != o.size ? size > o.size : event > o.event;
    }
};

class Unfolder {
public:
    Unfolder(const InputNet& net, const Settings& s, Prefix& pf, RunInfo& info)
        : net_(net), s_(s), pf_(pf), info_(info) {}

    void run();

private:
    const InputNet& net_;
    const Settings& s_;
    Prefix& pf_;
    RunInfo& info_;

    std::vector<std::vector<std::uint32_t>> place_conds_;  // ascending condition numbers
    std::priority_queue<QueueEntry, std::vector<QueueEntry>, std::greater<QueueEntry>> queue_;

    // Stamps replace clearing marks between walks.
    std::uint32_t stamp_ = 0;
    std::vector<std::uint32_t> ev_stamp_;
    std::vector<std::uint32_t> cond_stamp_;
    std::vector<std::uint32_t> stack_;
    std::vector<std::uint32_t> visited_;
    std::vector<std::uint32_t> cut_;
    CutIndex cuts_;  // hashes of cuts and the table of stored cuts
    std::vector<std::uint32_t> others_;
    std::vector<std::uint32_t> initial_cut_;

    ExtensionFinder finder_;
    CoSet common_, scratch_;  // co set shared by the outputs of one event
    bool rows_ = false;       // co sets are kept for the conditions made now
    bool released_ = false;   // the sets were cut down to the older conditions (-n)

    // Capacities of the work stacks as the -# output reports them.
    std::uint32_t step_ = 2000;
    std::uint32_t cond_cap_ = 0;
    std::uint32_t ev_cap_ = 0;

    std::uint32_t next_stamp();
    std::uint32_t new_condition(std::uint32_t place, std::uint32_t pre_event, std::int32_t kind);
    void new_event(std::uint32_t t, const std::uint32_t* conds, std::size_t n);
    void find_extensions(std::uint32_t c);
    void analyse(std::uint32_t e);
    void compute_cut(std::uint32_t e, std::vector<std::uint32_t>& out);
    // Returns true when the event is a cut-off; stores (e, corresponding) then.
    bool cutoff_lookup(std::uint32_t e, std::uint32_t size, std::uint64_t hash, std::uint32_t length);
    void extend_from(std::uint32_t e);
    void progress_line();
};

std::uint32_t Unfolder::next_stamp() {
    if (++stamp_ == 0) {
        std::fill(ev_stamp_.begin(), ev_stamp_.end(), 0);
        std::fill(cond_stamp_.begin(), cond_stamp_.end(), 0);
        stamp_ = 1;
    }
    return stamp_;
}

std::uint32_t Unfolder::new_condition(std::uint32_t place, std::uint32_t pre_event, std::int32_t kind) {
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
    if (rows_) pf_.co.emplace_back();
    cond_stamp_.push_back(0);
    return b;
}

// The summary of [e] (its size, and the hash and length of its cut) is kept
// by the cut index; the size also goes into the prefix.
void Unfolder::analyse(std::uint32_t e) {
    pf_.ev_size.push_back(cuts_.analyse(pf_, e).size);
}

void Unfolder::new_event(std::uint32_t t, const std::uint32_t* conds, std::size_t n) {
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
    pf_.ev_trans.push_back(t);
    pf_.trans_used[t] = 1;
    std::uint32_t depth = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t c = conds[i];
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
    pf_.is_cutoff.push_back(0);
    ev_stamp_.push_back(0);
    analyse(e);
    const std::uint32_t size = pf_.ev_size[e - 1];
    queue_.push(QueueEntry{size, e});
    if (s_.configs) s_.configs->update(pf_, e);
}

void Unfolder::find_extensions(std::uint32_t c) {
    finder_.find(c, net_, pf_, place_conds_,
                 [this](std::uint32_t t, const std::uint32_t* conds, std::size_t n) { new_event(t, conds, n); });
}

void Unfolder::compute_cut(std::uint32_t e, std::vector<std::uint32_t>& out) {
    compute_local_cut(net_, pf_, e, next_stamp(), ev_stamp_, cond_stamp_, stack_, visited_, others_, out);
}

bool Unfolder::cutoff_lookup(std::uint32_t e, std::uint32_t size, std::uint64_t h, std::uint32_t length) {
    // The cut itself is only formed when it is printed.
    bool have_cut = false;
    auto need_cut = [&] {
        if (have_cut) return;
        if (e == 0) cut_ = initial_cut_;
        else compute_cut(e, cut_);
        have_cut = true;
    };
    if (s_.debug) {
        need_cut();
        if (e == 0) {
            std::fputs("--  Start Marking  --: ", s_.out);
        } else {
            std::fprintf(s_.out, "E%u: ", e);
            std::fprintf(s_.out, "(depth=%u) ", pf_.ev_depth[e - 1]);
            std::fprintf(s_.out, "(size=%u) ", size);
        }
        if (s_.bit_cuts) print_places(s_.out, net_, cut_);
        else print_numbers(s_.out, cut_);
    }
    if (s_.second_cut && e != 0) {
        // The cut once more, from the cuts of the pre-events, for comparison.
        need_cut();
        std::fputs("ohne M0    : ", s_.out);
        print_places(s_.out, net_, second_cut(net_, pf_, e));
        std::fputs("ueber Konf.: ", s_.out);
        print_places(s_.out, net_, cut_);
        std::fputc('\n', s_.out);
    }
    // Cuts of equal hash and length are compared by the events in which
    // their configurations differ.
    const std::int64_t found = cuts_.find(
        pf_, h, length, [&](std::uint32_t k) { return cuts_.same_cut(net_, pf_, e, pf_.cuts[k].first); });
    if (found >= 0) {
        CutRecord& r = pf_.cuts[static_cast<std::size_t>(found)];
        std::uint32_t corresponding;
        if (s_.repeat_cutoff) {
            corresponding = r.event;
            r.event = e;
        } else if (r.size < size) {
            corresponding = r.event;
        } else {
            r.size = size;
            if (s_.last_corresponding) r.event = e;
            return false;
        }
        pf_.cutoffs.emplace_back(e, corresponding);
        pf_.is_cutoff[e - 1] = 1;
        return true;
    }
    // A new cut.
    CutRecord r;
    r.hash = h;
    r.length = length;
    r.size = s_.repeat_cutoff ? 0 : size;
    r.event = e;
    r.first = e;
    pf_.cuts.push_back(r);
    cuts_.insert(pf_);
    return false;
}

void Unfolder::progress_line() {
    if (!s_.progress) return;
    const std::uint32_t depth = pf_.events() ? pf_.ev_depth[pf_.events() - 1] : 0;
    std::fprintf(s_.out, "|B|=%8u, |E|=%8u, Cutoffs:%8u, Config's:%8u, Depth: %4u %c",
                 pf_.conditions(), pf_.events(), static_cast<std::uint32_t>(pf_.cutoffs.size()),
                 s_.configs ? s_.configs->count() : 0u, depth, s_.progress == 'q' ? '\r' : '\n');
    if (s_.progress == 'q') std::fflush(s_.out);
}

// The new event e is not a cut-off: create its output conditions, each
// concurrent with exactly the conditions concurrent with all of e's inputs
// and with its siblings, and search the extensions each one enables.
void Unfolder::extend_from(std::uint32_t e) {
    const std::uint32_t t = pf_.ev_trans[e - 1];
    const ListTable::List post = net_.post[t];
    if (post.empty()) return;
    const bool rows = pf_.events() < s_.co_row_limit;
    // Co sets are kept while the matrix rows are (all older conditions have
    // theirs then); past the -n threshold no set grows any more.
    rows_ = rows && s_.co_rows;
    if (!rows && s_.co_rows && !released_) {
        // Past the threshold no set is intersected any more: each row keeps
        // only the older conditions, which the matrix writers read.
        released_ = true;
        for (std::uint32_t k = 1; k <= pf_.co.size(); ++k) pf_.co[k - 1].keep_below(k);
    }
    const std::uint32_t begin = pf_.ev_pre_begin[e - 1], end = pf_.ev_pre_begin[e];
    CoSet& common = common_;
    if (rows_) {
        common = pf_.co[pf_.ev_pre_conds[begin] - 1];
        for (std::uint32_t i = begin + 1; i < end && !common.empty(); ++i) {
            CoSet::intersect(common, pf_.co[pf_.ev_pre_conds[i] - 1], scratch_);
            common.swap(scratch_);
        }
    }
    const std::uint32_t first = pf_.conditions() + 1;
    pf_.ev_post_first[e - 1] = first;
    for (std::uint32_t p : post) {
        const std::uint32_t b = new_condition(p, e, net_.place_kind[p]);
        pf_.ev_post_count[e - 1] += 1;
        pf_.cond_has_row[b - 1] = rows;
        if (rows_) {
            CoSet& cob = pf_.co[b - 1];
            cob = common;
            if (first < b) cob.append_run(first, b - 1);
        }
        if (finder_.concurrent_in(b, pf_, place_conds_[p]) != 0) report_not_one_safe(net_, p, s_.out);
        place_conds_[p].push_back(b);
        if (!net_.place_post[p].empty()) find_extensions(b);
    }
    if (!rows_) return;
    // The older conditions learn of the new ones once all exist: the sets of
    // older conditions are intersected for later events.
    const std::uint32_t last = pf_.conditions();
    common.for_each([&](std::uint32_t x) { pf_.co[x - 1].append_run(first, last); });
    for (std::uint32_t s = first; s < last; ++s) pf_.co[s - 1].append_run(s + 1, last);
}

void Unfolder::run() {
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

    pf_ = Prefix();
    pf_.buckets = 4 * P + 1;
    pf_.trans_used.assign(T, 0);
    pf_.ev_pre_begin.push_back(0);
    place_conds_.assign(P, {});
    finder_.reset(P);

    // The initial cut, stored with size 0 and the initial-marking mark.  The
    // initial conditions will be numbered 1, 2, ... in ascending place order.
    cuts_.reset(net_);
    initial_cut_ = initial_places(net_, s_.out);
    cutoff_lookup(0, 0, cuts_.initial_hash(), cuts_.initial_length());

    const std::vector<std::uint32_t> marked = initial_cut_;
    const bool rows = s_.co_row_limit > 0;
    rows_ = rows && s_.co_rows;
    for (std::uint32_t pn : marked) {
        const std::uint32_t p = pn - 1;
        const std::uint32_t c = new_condition(p, 0, net_.place_kind[p]);
        pf_.cond_has_row[c - 1] = rows;
        if (rows_ && c > 1) {
            pf_.co[c - 1].append_run(1, c - 1);
            for (std::uint32_t x = 1; x < c; ++x) pf_.co[x - 1].append(c);
        }
        pf_.initial_conditions = c;
        place_conds_[p].push_back(c);
        if (!net_.place_post[p].empty()) find_extensions(c);
    }

    while (!queue_.empty()) {
        const QueueEntry q = queue_.top();
        queue_.pop();
        const CutIndex::Summary& sum = cuts_.summary(q.event);
        if (cutoff_lookup(q.event, q.size, sum.hash, sum.length)) {
            // LTL mode: a cut-off that closes an accepting cycle ends the run.
            if (s_.watch && s_.watch->stops(pf_, q.event, pf_.cutoffs.back().second)) {
                queue_ = decltype(queue_)();
                break;
            }
            continue;
        }
        extend_from(q.event);
        progress_line();
    }

    if (s_.conditions_behind_cutoffs) {
        // Conditions behind cut-offs carry an empty co set when sets are kept.
        rows_ = s_.co_rows && pf_.co.size() == pf_.conditions();
        for (auto it = pf_.cutoffs.rbegin(); it != pf_.cutoffs.rend(); ++it) {
            const std::uint32_t e = it->first;
            const ListTable::List post = net_.post[pf_.ev_trans[e - 1]];
            if (post.empty()) continue;
            pf_.ev_post_first[e - 1] = pf_.conditions() + 1;
            for (std::uint32_t p : post) {
                new_condition(p, e, 3);
                pf_.ev_post_count[e - 1] += 1;
            }
        }
    }
    if (s_.progress == 'p') std::fputc('\n', s_.out);
}

}  // namespace

std::vector<std::uint32_t> cut_of(const InputNet& net, const Prefix& pf, std::uint32_t e) {
    std::vector<std::uint8_t> consumed(pf.conditions(), 0), seen(pf.events(), 0);
    std::vector<std::uint32_t> stack, places;
    if (e != 0) {
        stack.push_back(e);
        seen[e - 1] = 1;
        for (std::uint32_t p : net.post[pf.ev_trans[e - 1]]) places.push_back(p + 1);
    }
    std::vector<std::uint32_t> history;
    while (!stack.empty()) {
        const std::uint32_t f = stack.back();
        stack.pop_back();
        if (f != e) history.push_back(f);
        for (std::uint32_t i = pf.ev_pre_begin[f - 1]; i < pf.ev_pre_begin[f]; ++i) {
            const std::uint32_t c = pf.ev_pre_conds[i];
            consumed[c - 1] = 1;
            const std::uint32_t g = pf.cond_pre[c - 1];
            if (g != 0 && !seen[g - 1]) {
                seen[g - 1] = 1;
                stack.push_back(g);
            }
        }
    }
    for (std::uint32_t f : history) {
        const std::uint32_t first = pf.ev_post_first[f - 1];
        for (std::uint32_t x = first; x < first + pf.ev_post_count[f - 1]; ++x)
            if (!consumed[x - 1]) places.push_back(pf.cond_place[x - 1] + 1);
    }
    for (std::uint32_t x = 1; x <= pf.initial_conditions; ++x)
        if (!consumed[x - 1]) places.push_back(pf.cond_place[x - 1] + 1);
    std::sort(places.begin(), places.end());
    places.erase(std::unique(places.begin(), places.end()), places.end());
    return places;
}

Prefix unfold_mcmillan(const InputNet& net, const Settings& settings, RunInfo* info) {
    Prefix pf;
    RunInfo local;
    Unfolder u(net, settings, pf, info ? *info : local);
    u.run();
    return pf;
}

}  // namespace trelmik
