#include "unfolding.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace vorga {

VariableStore store;

namespace {

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

void unfolding::load(prefixfile::Prefix&& prefix) {
    prefix_ = std::move(prefix);
    const prefixfile::Prefix& p = prefix_;
    conditions.assign(p.conditions, Condition());
    events.assign(p.events, Event());
    for (std::uint32_t c = 1; c <= p.conditions; ++c)
        conditions[c - 1] = Condition{p.condition_place[c], p.condition_pre[c], p.consumers[c]};
    for (std::uint32_t e = 1; e <= p.events; ++e)
        events[e - 1] = Event{p.event_transition[e], p.cutoff[e] != 0, p.preset[e], p.postset[e]};
    n_places = p.places.count();
    n_transitions = p.transitions.count();
    place_names.clear();
    trans_names.clear();
    for (std::uint32_t i = 1; i <= n_places; ++i) place_names.push_back(p.places.str(i));
    for (std::uint32_t i = 1; i <= n_transitions; ++i) trans_names.push_back(p.transitions.str(i));
    // Conditions by place: counted, then filled in ascending order.
    place_conditions.offset.assign(std::size_t(n_places) + 2, 0);
    for (const Condition& c : conditions) ++place_conditions.offset[c.place + 1];
    for (std::uint32_t q = 1; q <= n_places; ++q) place_conditions.offset[q + 1] += place_conditions.offset[q];
    place_conditions.items.assign(conditions.size(), 0);
    std::vector<std::uint32_t> fill(place_conditions.offset.begin(), place_conditions.offset.end() - 1);
    for (std::uint32_t c = 1; c <= p.conditions; ++c) place_conditions.items[fill[conditions[c - 1].place]++] = c;
    build_indexes();
}

bool unfolding::parse(const std::vector<unsigned char>& bytes) {
    try {
        load(prefixfile::read_mci_bytes(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), "unfolding"));
    } catch (const prefixfile::ReadError&) {
        return false;
    }
    return true;
}

unfolding::ReadStatus unfolding::ReadUnfolding(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(prefixfile::open_for_reading(path), &std::fclose);
    if (!in) {
        std::fprintf(stderr, " Error: cannot open %s\n", path.c_str());
        return ReadStatus::cannot_open;
    }
    try {
        load(prefixfile::read_mci(in.get(), path));
    } catch (const prefixfile::ReadError&) {
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
