#include "constraints.h"

#include <algorithm>
#include <cinttypes>

#include "unfolding.h"

namespace vorga {

namespace {

void merge_sorted(std::vector<Term>& v) {
    std::sort(v.begin(), v.end(), [](const Term& a, const Term& b) { return a.index < b.index; });
    std::size_t out = 0;
    for (std::size_t i = 0; i < v.size();) {
        Term t = v[i++];
        while (i < v.size() && v[i].index == t.index) t.coef += v[i++].coef;
        if (t.coef != 0) v[out++] = t;
    }
    v.resize(out);
}

}  // namespace

void sparse_list::append(std::uint32_t index, std::int64_t coef) {
    if (items.size() >= merge_limit) {
        sort_merge();
        items.shrink_to_fit();
        if (items.size() >= merge_limit / 2) merge_limit += 20000;
    }
    items.push_back({index, coef});
}

void sparse_list::sort_merge() { merge_sorted(items); }

void lin_func::add(std::uint32_t index, std::int64_t coef) {
    if (coef > 0)
        pos.append(index, coef);
    else if (coef < 0)
        neg.append(index, coef);
}

std::int64_t lin_func::evaluate() {
    std::int64_t v = 0;
    for (const Term& t : pos.items)
        if (store.value[t.index]) v += t.coef;
    for (const Term& t : neg.items)
        if (store.value[t.index]) v += t.coef;
    last = v;
    return v;
}

lin_func::Bounds lin_func::bounds() const {
    Bounds b;
    for (const Term& t : pos.items) {
        if (store.is_free(t.index))
            b.P += t.coef;
        else if (store.value[t.index])
            b.F += t.coef;
    }
    for (const Term& t : neg.items) {
        if (store.is_free(t.index))
            b.N += t.coef;
        else if (store.value[t.index])
            b.F += t.coef;
    }
    return b;
}

void lin_func::normalise() {
    std::vector<Term> all;
    all.reserve(pos.items.size() + neg.items.size());
    all.insert(all.end(), pos.items.begin(), pos.items.end());
    all.insert(all.end(), neg.items.begin(), neg.items.end());
    merge_sorted(all);
    pos.items.clear();
    neg.items.clear();
    for (const Term& t : all) (t.coef > 0 ? pos.items : neg.items).push_back(t);
    pos.items.shrink_to_fit();
    neg.items.shrink_to_fit();
}

void lin_func::print(std::FILE* out) const {
    std::vector<Term> all(pos.items);
    all.insert(all.end(), neg.items.begin(), neg.items.end());
    std::stable_sort(all.begin(), all.end(), [](const Term& a, const Term& b) { return a.index < b.index; });
    bool first = true;
    for (const Term& t : all) {
        if (t.coef > 0 && !first) std::fputc('+', out);
        first = false;
        std::fprintf(out, "%" PRId64 "*X%u", t.coef, t.index + 1);
        if (t.index < store.stamp.size() && !store.is_free(t.index))
            std::fprintf(out, "{=%d}", store.value[t.index]);
        else
            std::fputs("{=?}", out);
    }
}

void constraint::branching_mask(std::vector<std::uint8_t>& bits) { std::fill(bits.begin(), bits.end(), 0); }

void constraint::close_now() { stamp = store.level; }

namespace {

// Fixes every free event of one part to the value v; false on a contradiction.
bool fix_all_free(const sparse_list& part, bool v) {
    for (const Term& t : part.items) {
        if (!store.is_free(t.index)) continue;
        if (!(v ? store.include_event(t.index) : store.exclude_event(t.index))) return false;
    }
    return true;
}

}  // namespace

int inequat::propagate() {
    lin_func::Bounds b = func.bounds();
    std::int64_t s = bound - b.F;
    if (b.P <= s) {
        close_now();
        return PROP_CONSISTENT | PROP_SATISFIED;
    }
    if (s < b.N) return PROP_CONTRADICTION;
    if (b.N == s) {
        // Only the extreme assignment fits: all free negatives 1, free positives 0.
        if (!fix_all_free(func.neg, true) || !fix_all_free(func.pos, false)) return PROP_CONTRADICTION;
        b = func.bounds();
        s = bound - b.F;
        if (b.P <= s) {
            close_now();
            return PROP_CONSISTENT | PROP_FIXED | PROP_SATISFIED;
        }
        return s < b.N ? PROP_CONTRADICTION : (PROP_CONSISTENT | PROP_FIXED);
    }
    bool fixed = false;
    for (const Term& t : func.neg.items) {
        if (!store.is_free(t.index)) continue;
        if (s < b.N - t.coef) {  // leaving the event at 0 would break the bound
            if (!store.include_event(t.index)) return PROP_CONTRADICTION;
            fixed = true;
            b = func.bounds();
            s = bound - b.F;
        }
    }
    for (const Term& t : func.pos.items) {
        if (!store.is_free(t.index)) continue;
        if (s < t.coef + b.N) {  // the event at 1 would break the bound
            if (!store.exclude_event(t.index)) return PROP_CONTRADICTION;
            fixed = true;
            b = func.bounds();
            s = bound - b.F;
        }
    }
    if (fixed && s < b.N) return PROP_CONTRADICTION;
    return fixed ? (PROP_CONSISTENT | PROP_FIXED) : PROP_CONSISTENT;
}

int equat::propagate() {
    lin_func::Bounds b = func.bounds();
    std::int64_t s = bound - b.F;
    if (b.N == s && b.P == s) {
        close_now();
        return PROP_CONSISTENT | PROP_SATISFIED;
    }
    if (s < b.N || b.P < s) return PROP_CONTRADICTION;
    if (b.N == s || b.P == s) {
        bool ok = b.N == s ? (fix_all_free(func.neg, true) && fix_all_free(func.pos, false))
                           : (fix_all_free(func.pos, true) && fix_all_free(func.neg, false));
        if (!ok) return PROP_CONTRADICTION;
        b = func.bounds();
        s = bound - b.F;
        if (b.N == s && b.P == s) {
            close_now();
            return PROP_CONSISTENT | PROP_FIXED | PROP_SATISFIED;
        }
        return (s < b.N || b.P < s) ? PROP_CONTRADICTION : (PROP_CONSISTENT | PROP_FIXED);
    }
    bool fixed = false;
    auto refresh = [&]() {
        fixed = true;
        b = func.bounds();
        s = bound - b.F;
    };
    for (const Term& t : func.neg.items)
        if (store.is_free(t.index) && s < b.N - t.coef) {
            if (!store.include_event(t.index)) return PROP_CONTRADICTION;
            refresh();
        }
    for (const Term& t : func.pos.items)
        if (store.is_free(t.index) && s < t.coef + b.N) {
            if (!store.exclude_event(t.index)) return PROP_CONTRADICTION;
            refresh();
        }
    for (const Term& t : func.pos.items)
        if (store.is_free(t.index) && b.P - t.coef < s) {
            if (!store.include_event(t.index)) return PROP_CONTRADICTION;
            refresh();
        }
    for (const Term& t : func.neg.items)
        if (store.is_free(t.index) && t.coef + b.P < s) {
            if (!store.exclude_event(t.index)) return PROP_CONTRADICTION;
            refresh();
        }
    if (fixed && (s < b.N || b.P < s)) return PROP_CONTRADICTION;
    return fixed ? (PROP_CONSISTENT | PROP_FIXED) : PROP_CONSISTENT;
}

void inequat::print(std::FILE* out) const {
    func.print(out);
    std::fprintf(out, "<=%" PRId64 "\n", bound);
}

void equat::print(std::FILE* out) const {
    func.print(out);
    std::fprintf(out, "=%" PRId64 "\n", bound);
}

void constr_system::clear_members() {
    for (auto& m : members) m->stamp = 0;
    members.clear();
    first_open = 0;
}

void constr_system::undo(std::uint32_t level) {
    while (first_open > 0 && members[first_open - 1]->stamp >= level) {
        --first_open;
        members[first_open]->stamp = 0;
    }
    if (stamp >= level) stamp = 0;
}

std::size_t constr_system::size() const {
    std::size_t n = 0;
    for (const auto& m : members) n += m->size();
    return n;
}

void constr_system::normalise() {
    for (auto& m : members) m->normalise();
}

bool constr_system::holds() {
    bool ok = true;
    for (std::size_t i = first_open; i < members.size(); ++i)
        if (!members[i]->holds()) ok = false;
    return ok;
}

bool constr_system::holds_active() {
    for (std::size_t i = first_open; i < members.size(); ++i)
        if (!members[i]->holds()) return false;
    return true;
}

int constr_system::propagate() {
    for (;;) {
        bool again = false;
        for (std::size_t i = first_open; i < members.size(); ++i) {
            int r = members[i]->propagate();
            if (r == PROP_CONTRADICTION) return PROP_CONTRADICTION;
            if ((r & PROP_FIXED) && i != first_open) again = true;
            if (r & PROP_SATISFIED) {
                std::swap(members[i], members[first_open]);
                ++first_open;
            }
        }
        if (!again) return PROP_CONSISTENT;
    }
}

void constr_system::print(std::FILE* out) const {
    for (const auto& m : members) m->print(out);
    std::fputc('\n', out);
}

void lin_constr_system::branching_mask(std::vector<std::uint8_t>& bits) {
    score.assign(store.n_events, 0);
    for (std::size_t i = first_open; i < members.size(); ++i) {
        const auto* m = static_cast<const lin_constr*>(members[i].get());
        std::int64_t d = m->func.last - m->bound;
        for (const Term& t : m->func.pos.items) score[t.index] += d * t.coef;
        if (!m->is_inequality() || m->func.last > m->bound)
            for (const Term& t : m->func.neg.items) score[t.index] += d * t.coef;
    }
    std::fill(bits.begin(), bits.end(), 0);
    for (std::uint32_t e = 0; e < store.n_events; ++e)
        if (score[e] >= 0) set_mask_bit(bits, e);
}

}  // namespace vorga
