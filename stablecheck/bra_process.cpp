#include "bra_process.h"

#include <cstdlib>
#include <new>

namespace velcheck {

void internal_error(const char* what, const char* file, int line) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s:%d: internal error: assertion '%s' failed\n", file, line, what);
    std::abort();
}

// ----------------------------------------------------------------- BITARRAY

BITARRAY NewBitArray(std::uint32_t n) {
    BITARRAY a;
    a.bits = n;
    a.words = (n + 31) / 32;
    a.data.assign(a.words, 0);
    return a;
}

void CopyBitArray(const BITARRAY& src, BITARRAY& dst) { dst = src; }

void AndBitArray(const BITARRAY& a, const BITARRAY& b, BITARRAY& dst) {
    for (std::uint32_t i = 0; i < a.words; ++i) dst.data[i] = a.data[i] & b.data[i];
}

void OrBitArray(const BITARRAY& a, const BITARRAY& b, BITARRAY& dst) {
    for (std::uint32_t i = 0; i < a.words; ++i) dst.data[i] = a.data[i] | b.data[i];
}

void NotBitArray(const BITARRAY& a, BITARRAY& dst) {
    for (std::uint32_t i = 0; i < a.words; ++i) dst.data[i] = ~a.data[i];
    // Keep the bits beyond n clear.
    if (a.words && (a.bits & 31)) dst.data[a.words - 1] &= (1u << (a.bits & 31)) - 1;
}

// ------------------------------------------------------------------ UlStack

namespace {
[[noreturn]] void ul_fail(const char* msg) {
    std::fputs(msg, stderr);
    std::exit(1);
}
}  // namespace

UlStack::UlStack() {
    page_ = new (std::nothrow) Page{nullptr, nullptr};
    if (!page_) ul_fail("Could not allocate ul stack.\n");
    page_->values = new (std::nothrow) std::uint32_t[page_size];
    if (!page_->values) ul_fail("Could not allocate ul stack page elements.\n");
}

UlStack::~UlStack() {
    while (page_) {
        Page* next = page_->next;
        delete[] page_->values;
        delete page_;
        page_ = next;
    }
}

void UlStack::push(std::uint32_t v) {
    if (cursor_ == page_size) {
        Page* p = new (std::nothrow) Page{nullptr, page_};
        if (!p) ul_fail("Could not allocate ul stack page.\n");
        p->values = new (std::nothrow) std::uint32_t[page_size];
        if (!p->values) ul_fail("Could not allocate ul stack page elements.\n");
        page_ = p;
        cursor_ = 0;
    }
    page_->values[cursor_++] = v;
}

std::uint32_t UlStack::pop() {
    VELCHECK_ASSERT(!empty());
    if (cursor_ == 0) {
        Page* old = page_;
        page_ = old->next;
        delete[] old->values;
        delete old;
        cursor_ = page_size;
    }
    const std::uint32_t v = page_->values[--cursor_];
    if (cursor_ == 0 && page_->next) {
        Page* old = page_;
        page_ = old->next;
        delete[] old->values;
        delete old;
        cursor_ = page_size;
    }
    return v;
}

std::size_t UlStack::pages() const {
    std::size_t n = 0;
    for (Page* p = page_; p; p = p->next) ++n;
    return n;
}

// --------------------------------------------------------------- the reader

void BraProcess::Load(prefixfile::Prefix&& p) {
    const std::uint32_t C = p.conditions, E = p.events;
    conditions = C;
    events = E;
    cond_place = std::move(p.condition_place);
    cond_pre = std::move(p.condition_pre);
    consumers = std::move(p.consumers);
    event_trans = std::move(p.event_transition);
    preset = std::move(p.preset);
    postset = std::move(p.postset);
    arcs = static_cast<std::uint32_t>(consumers.items.size() + postset.items.size());
    // Cut-off pairs, in detection order.
    cutoffs = NewBitArray(E);
    corresponding.assign(std::size_t(E) + 1, 0);
    first_cutoff = p.cutoffs.empty() ? 0 : p.cutoffs.front().first;
    for (const auto& [e, k] : p.cutoffs) {
        SetBit(cutoffs, e);
        corresponding[e] = k;
    }
    ComputeDerivedSets();
    const std::uint32_t P = p.places.count(), T = p.transitions.count();
    place_names.clear();
    trans_names.clear();
    place_names.reserve(P);
    trans_names.reserve(T);
    for (std::uint32_t i = 1; i <= P; ++i) place_names.push_back(p.places.str(i));
    for (std::uint32_t i = 1; i <= T; ++i) trans_names.push_back(p.transitions.str(i));
    place_index_.clear();
    for (std::uint32_t i = P; i >= 1; --i) place_index_[place_names[i - 1]] = i;
    first_cond_of_place_.assign(std::size_t(P) + 1, 0);
    place_initial_.assign(std::size_t(P) + 1, false);
    for (std::uint32_t c = C; c >= 1; --c) first_cond_of_place_[cond_place[c]] = c;
    for (std::uint32_t c = 1; c <= C; ++c)
        if (cond_pre[c] == 0) place_initial_[cond_place[c]] = true;
    relevant_events = NewBitArray(E);
    relevant_conditions = NewBitArray(C);
}

bool BraProcess::ReadPrefix(std::FILE* file, std::string& error) {
    try {
        Load(prefixfile::read_mci(file, "prefix"));
    } catch (const prefixfile::ReadError& e) {
        error = e.what();
        return false;
    }
    return true;
}

bool BraProcess::ReadPrefixBytes(const std::vector<unsigned char>& bytes, std::string& error) {
    try {
        Load(prefixfile::read_mci_bytes(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), "prefix"));
    } catch (const prefixfile::ReadError& e) {
        error = e.what();
        return false;
    }
    return true;
}

void BraProcess::ComputeDerivedSets() {
    const std::uint32_t C = conditions, E = events;
    initial_conditions = NewBitArray(C);
    conflict_conditions = NewBitArray(C);
    unconsumed_conditions = NewBitArray(C);
    conflict_events = NewBitArray(E);
    single_pre_event_events = NewBitArray(E);
    for (std::uint32_t c = 1; c <= C; ++c) {
        if (cond_pre[c] == 0) SetBit(initial_conditions, c);
        if (IsPreEventCutoff(c)) continue;
        std::uint32_t live = 0;
        for (const std::uint32_t* it = consumers.begin(c); it != consumers.end(c); ++it)
            if (!IsCutoff(*it)) ++live;
        if (live >= 2) SetBit(conflict_conditions, c);
        if (live == 0) SetBit(unconsumed_conditions, c);
    }
    for (std::uint32_t e = 1; e <= E; ++e) {
        if (IsCutoff(e)) continue;
        bool conflict = false, same = true;
        bool first = true;
        std::uint32_t pre = 0;
        for (const std::uint32_t* it = preset.begin(e); it != preset.end(e); ++it) {
            if (TestBit(conflict_conditions, *it)) conflict = true;
            if (first) {
                pre = cond_pre[*it];
                first = false;
            } else if (cond_pre[*it] != pre) {
                same = false;
            }
        }
        if (conflict) SetBit(conflict_events, e);
        if (same) SetBit(single_pre_event_events, e);
    }
}

std::uint32_t BraProcess::FindPlace(const std::string& name) const {
    auto it = place_index_.find(name);
    return it == place_index_.end() ? 0 : it->second;
}

bool BraProcess::IsPlaceInitiallyMarked(std::uint32_t p) const {
    return p < place_initial_.size() && place_initial_[p];
}

bool BraProcess::IsPlaceInPrefix(std::uint32_t p) const {
    return p < first_cond_of_place_.size() && first_cond_of_place_[p] != 0;
}

std::uint32_t BraProcess::GiveAnyPreEvent(std::uint32_t p) const {
    VELCHECK_ASSERT(IsPlaceInPrefix(p));
    return cond_pre[first_cond_of_place_[p]];
}

void BraProcess::MarkTouchingEvents(const BITARRAY& conds, BITARRAY& evs) const {
    for (std::uint32_t c = 1; c <= conditions; ++c) {
        if (!TestBit(conds, c)) continue;
        if (cond_pre[c] && !IsCutoff(cond_pre[c])) SetBit(evs, cond_pre[c]);
        for (const std::uint32_t* it = consumers.begin(c); it != consumers.end(c); ++it)
            if (!IsCutoff(*it)) SetBit(evs, *it);
    }
}

void BraProcess::EnablednessClosure(const BITARRAY& start) {
    relevant_events = NewBitArray(events);
    relevant_conditions = NewBitArray(conditions);
    UlStack stack;
    for (std::uint32_t e = 1; e <= events; ++e)
        if (TestBit(start, e)) {
            SetBit(relevant_events, e);
            stack.push(e);
        }
    auto enter = [&](std::uint32_t e) {
        if (!TestBit(relevant_events, e)) {
            SetBit(relevant_events, e);
            stack.push(e);
        }
    };
    while (!stack.empty()) {
        const std::uint32_t e = stack.pop();
        for (const std::uint32_t* it = preset.begin(e); it != preset.end(e); ++it) {
            const std::uint32_t c = *it;
            if (TestBit(relevant_conditions, c)) continue;
            SetBit(relevant_conditions, c);
            if (cond_pre[c]) enter(cond_pre[c]);
            for (const std::uint32_t* k = consumers.begin(c); k != consumers.end(c); ++k) enter(*k);
        }
    }
}

void BraProcess::CausalClosure(BITARRAY& evs) const {
    UlStack stack;
    for (std::uint32_t e = 1; e <= events; ++e)
        if (TestBit(evs, e)) stack.push(e);
    while (!stack.empty()) {
        const std::uint32_t e = stack.pop();
        for (const std::uint32_t* it = preset.begin(e); it != preset.end(e); ++it) {
            const std::uint32_t p = cond_pre[*it];
            if (p && !TestBit(evs, p)) {
                SetBit(evs, p);
                stack.push(p);
            }
        }
    }
}

std::uint32_t BraProcess::ContinueToDeadlock(BITARRAY& config) const {
    BITARRAY marking = initial_conditions;
    for (std::uint32_t e = 1; e <= events; ++e) {
        if (!TestBit(config, e)) continue;
        for (const std::uint32_t* it = postset.begin(e); it != postset.end(e); ++it) {
            VELCHECK_ASSERT(!TestBit(marking, *it));
            SetBit(marking, *it);
        }
        for (const std::uint32_t* it = preset.begin(e); it != preset.end(e); ++it) {
            VELCHECK_ASSERT(TestBit(marking, *it));
            ClearBit(marking, *it);
        }
    }
    std::vector<std::uint32_t> preset_counters(std::size_t(events) + 1, 0);
    UlStack stack;
    for (std::uint32_t e = 1; e <= events; ++e) {
        if (TestBit(config, e) || IsCutoff(e)) continue;
        std::uint32_t n = 0;
        for (const std::uint32_t* it = preset.begin(e); it != preset.end(e); ++it)
            if (!TestBit(marking, *it)) ++n;
        preset_counters[e] = n;
        if (n == 0) stack.push(e);
    }
    auto open = [&](std::uint32_t x) { return !IsCutoff(x) && !TestBit(config, x); };
    while (!stack.empty()) {
        const std::uint32_t e = stack.pop();
        if (preset_counters[e] != 0 || TestBit(config, e)) continue;
        SetBit(config, e);
        for (const std::uint32_t* it = preset.begin(e); it != preset.end(e); ++it) {
            const std::uint32_t c = *it;
            VELCHECK_ASSERT(TestBit(marking, c));
            ClearBit(marking, c);
            for (const std::uint32_t* k = consumers.begin(c); k != consumers.end(c); ++k)
                if (open(*k)) preset_counters[*k]++;
        }
        for (const std::uint32_t* it = postset.begin(e); it != postset.end(e); ++it) {
            const std::uint32_t c = *it;
            VELCHECK_ASSERT(!TestBit(marking, c));
            SetBit(marking, c);
            for (const std::uint32_t* k = consumers.begin(c); k != consumers.end(c); ++k)
                if (open(*k) && --preset_counters[*k] == 0) stack.push(*k);
        }
    }
    for (std::uint32_t e = 1; e <= events; ++e) {
        if (!IsCutoff(e)) continue;
        bool enabled = true;
        for (const std::uint32_t* it = preset.begin(e); it != preset.end(e) && enabled; ++it)
            if (!TestBit(marking, *it)) enabled = false;
        if (enabled) return e;
    }
    return 0;
}

}  // namespace velcheck
