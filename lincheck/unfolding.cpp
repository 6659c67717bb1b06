#include "unfolding.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace vorga {

VariableStore store;

namespace {

// Little-endian 32-bit reader over the bytes of a file; every read is checked.
class ByteReader {
public:
    explicit ByteReader(const std::vector<unsigned char>& b) : b_(b) {}
    bool u32(std::uint32_t& v) {
        if (b_.size() - pos_ < 4) return false;
        v = static_cast<std::uint32_t>(b_[pos_]) | static_cast<std::uint32_t>(b_[pos_ + 1]) << 8 |
            static_cast<std::uint32_t>(b_[pos_ + 2]) << 16 | static_cast<std::uint32_t>(b_[pos_ + 3]) << 24;
        pos_ += 4;
        return true;
    }
    bool byte(unsigned char& c) {
        if (pos_ >= b_.size()) return false;
        c = b_[pos_++];
        return true;
    }
    // A NUL-terminated string (the NUL is consumed).
    bool cstring(std::string& s) {
        s.clear();
        for (;;) {
            unsigned char c;
            if (!byte(c)) return false;
            if (c == 0) return true;
            s.push_back(static_cast<char>(c));
        }
    }
    std::size_t remaining() const { return b_.size() - pos_; }

private:
    const std::vector<unsigned char>& b_;
    std::size_t pos_ = 0;
};

std::uint32_t lookup(const std::vector<std::pair<std::string, std::uint32_t>>& index, const std::string& name) {
    auto it = std::lower_bound(index.begin(), index.end(), name,
                               [](const std::pair<std::string, std::uint32_t>& a, const std::string& n) {
                                   return a.first < n;
                               });
    if (it != index.end() && it->first == name) return it->second;
    return 0;
}

}  // namespace

std::uint32_t unfolding::lookup_place(const std::string& name) const { return lookup(place_index_, name); }
std::uint32_t unfolding::lookup_transition(const std::string& name) const { return lookup(trans_index_, name); }

std::uint32_t unfolding::cutoff_count() const {
    std::uint32_t n = 0;
    for (const Event& e : events) n += e.cutoff ? 1 : 0;
    return n;
}

void unfolding::build_indexes() {
    place_index_.clear();
    trans_index_.clear();
    for (std::uint32_t i = 0; i < place_names.size(); ++i) place_index_.emplace_back(place_names[i], i + 1);
    for (std::uint32_t i = 0; i < trans_names.size(); ++i) trans_index_.emplace_back(trans_names[i], i + 1);
    auto by_name = [](const std::pair<std::string, std::uint32_t>& a, const std::pair<std::string, std::uint32_t>& b) {
        return a.first < b.first;
    };
    std::stable_sort(place_index_.begin(), place_index_.end(), by_name);
    std::stable_sort(trans_index_.begin(), trans_index_.end(), by_name);
}

bool unfolding::parse(const std::vector<unsigned char>& bytes) {
    conditions.clear();
    events.clear();
    place_names.clear();
    trans_names.clear();
    place_conditions.clear();
    ByteReader r(bytes);
    std::uint32_t nc = 0, ne = 0;
    if (!r.u32(nc) || !r.u32(ne)) return false;
    // Each condition takes at least three numbers and each event one, so
    // counts the file cannot hold are refused before anything is allocated.
    if (static_cast<std::uint64_t>(nc) * 12 + static_cast<std::uint64_t>(ne) * 4 > r.remaining()) return false;
    conditions.resize(nc);
    events.resize(ne);
    for (Event& e : events)
        if (!r.u32(e.transition) || e.transition == 0) return false;
    for (std::uint32_t c = 1; c <= nc; ++c) {
        Condition& cond = conditions[c - 1];
        if (!r.u32(cond.place) || cond.place == 0) return false;
        if (!r.u32(cond.producer) || cond.producer > ne) return false;
        if (cond.producer) events[cond.producer - 1].postset.push_back(c);
        for (;;) {
            std::uint32_t f;
            if (!r.u32(f)) return false;
            if (f == 0) break;
            if (f > ne) return false;
            Event& ev = events[f - 1];
            // A condition listed twice for one event would count twice in its preset.
            if (!ev.preset.empty() && ev.preset.back() == c) return false;
            cond.consumers.push_back(f);
            ev.preset.push_back(c);
        }
    }
    for (;;) {
        std::uint32_t cut, corr;
        if (!r.u32(cut)) return false;
        if (cut == 0) break;
        if (cut > ne || !r.u32(corr) || corr > ne) return false;
        events[cut - 1].cutoff = true;
    }
    {
        std::uint32_t x;
        if (!r.u32(x)) return false;
        while (x != 0) {
            for (;;) {
                if (x > ne) return false;
                if (!r.u32(x)) return false;
                if (x == 0) break;
            }
            if (!r.u32(x)) return false;
        }
    }
    std::uint32_t np = 0, nt = 0, maxlen = 0;
    if (!r.u32(np) || !r.u32(nt) || !r.u32(maxlen)) return false;
    if (static_cast<std::uint64_t>(np) + nt > r.remaining()) return false;
    place_names.resize(np);
    trans_names.resize(nt);
    for (std::string& s : place_names)
        if (!r.cstring(s)) return false;
    unsigned char sep;
    if (!r.byte(sep)) return false;
    for (std::string& s : trans_names)
        if (!r.cstring(s)) return false;
    n_places = np;
    n_transitions = nt;
    for (const Event& e : events)
        if (e.transition > nt) return false;
    place_conditions.assign(np, {});
    for (std::uint32_t c = 1; c <= nc; ++c) {
        if (conditions[c - 1].place > np) return false;
        place_conditions[conditions[c - 1].place - 1].push_back(c);
    }
    // The flow must be acyclic: order the events so that every event follows
    // the producers of its preset conditions.
    std::vector<std::uint32_t> pending(ne, 0), ready;
    for (std::uint32_t e = 0; e < ne; ++e) {
        for (std::uint32_t c : events[e].preset)
            if (conditions[c - 1].producer) ++pending[e];
        if (pending[e] == 0) ready.push_back(e);
    }
    std::uint32_t ordered = 0;
    while (!ready.empty()) {
        std::uint32_t e = ready.back();
        ready.pop_back();
        ++ordered;
        for (std::uint32_t c : events[e].postset)
            for (std::uint32_t f : conditions[c - 1].consumers)
                if (--pending[f - 1] == 0) ready.push_back(f - 1);
    }
    if (ordered != ne) return false;
    build_indexes();
    return true;
}

unfolding::ReadStatus unfolding::ReadUnfolding(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, " Error: cannot open %s\n", path.c_str());
        return ReadStatus::cannot_open;
    }
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || !parse(bytes)) {
        std::fprintf(stderr, "\n Error while reading a file.\n");
        return ReadStatus::bad_file;
    }
    return ReadStatus::ok;
}

void VariableStore::init_store(const unfolding& u) {
    unf = &u;
    n_vars = n_events = u.n_events();
    n_conditions = u.n_conditions();
    n_places = u.n_places;
    n_transitions = u.n_transitions;
    stamp.assign(n_vars, 0);
    value.assign(n_vars, 0);
    saved.assign(n_vars, 0);
    fixed_.clear();
    fixed_.reserve(n_vars);
    work_.clear();
    ones = 0;
    level = 1;
}

void VariableStore::free_store() {
    stamp.clear();
    value.clear();
    saved.clear();
    fixed_.clear();
    work_.clear();
    stamp.shrink_to_fit();
    value.shrink_to_fit();
    saved.shrink_to_fit();
    unf = nullptr;
    n_vars = n_events = 0;
    ones = 0;
}

void VariableStore::fix(std::uint32_t e, std::uint8_t v) {
    stamp[e] = level;
    value[e] = v;
    if (v) ++ones;
    fixed_.push_back(e);
}

void VariableStore::fix_cutoffs() {
    for (std::uint32_t e = 0; e < n_events; ++e)
        if (unf->events[e].cutoff && is_free(e)) fix(e, 0);
}

bool VariableStore::exclude_closure() {
    while (!work_.empty()) {
        std::uint32_t y = work_.back();
        work_.pop_back();
        if (is_one(y)) {
            work_.clear();
            return false;
        }
        if (!is_free(y)) continue;
        fix(y, 0);
        for (std::uint32_t c : unf->events[y].postset)
            for (std::uint32_t g : unf->conditions[c - 1].consumers)
                if (!is_zero_fixed(g - 1)) work_.push_back(g - 1);
    }
    return true;
}

bool VariableStore::exclude_event(std::uint32_t e) {
    if (is_one(e)) return false;
    if (!is_free(e)) return true;
    work_.clear();
    work_.push_back(e);
    return exclude_closure();
}

bool VariableStore::include_event(std::uint32_t e) {
    if (is_one(e)) return true;
    if (!is_free(e)) return false;
    std::vector<std::uint32_t>& todo = incl_;
    todo.clear();
    todo.push_back(e);
    while (!todo.empty()) {
        std::uint32_t x = todo.back();
        todo.pop_back();
        if (is_one(x)) continue;
        if (!is_free(x)) return false;
        fix(x, 1);
        for (std::uint32_t c : unf->events[x].preset) {
            const Condition& cond = unf->conditions[c - 1];
            if (cond.producer) {
                std::uint32_t p = cond.producer - 1;
                if (!is_one(p)) {
                    if (!is_free(p)) return false;
                    todo.push_back(p);
                }
            }
            for (std::uint32_t f1 : cond.consumers) {
                std::uint32_t f = f1 - 1;
                if (f == x) continue;
                if (is_one(f)) return false;
                if (is_free(f)) {
                    fix(f, 0);
                    work_.clear();
                    for (std::uint32_t d : unf->events[f].postset)
                        for (std::uint32_t g : unf->conditions[d - 1].consumers)
                            if (!is_zero_fixed(g - 1)) work_.push_back(g - 1);
                    if (!exclude_closure()) return false;
                }
            }
        }
    }
    return true;
}

void VariableStore::undo(std::uint32_t lvl) {
    while (!fixed_.empty() && stamp[fixed_.back()] >= lvl) {
        std::uint32_t e = fixed_.back();
        fixed_.pop_back();
        if (value[e]) --ones;
        value[e] = 0;
        stamp[e] = 0;
    }
}

std::uint32_t VariableStore::solution_size() const {
    std::uint32_t n = 0;
    for (std::uint8_t v : saved) n += v;
    return n;
}

}  // namespace vorga
