// Synchronisation of transitions over conjugate actions, restriction,
// scoping, the equality of transitions modulo variable renaming, and the
// dead-transition check.
#include <algorithm>
#include <array>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "mnet_algebra.h"

namespace mnet {

std::uint16_t dead_transition_counter = 0;

namespace {

constexpr std::uint16_t UNBOUND = 65535;
using SlotMap = std::array<std::uint16_t, 256>;

// Name of the synchronised action for messages (empty unless asked for).
std::string& message_name() {
    static std::string name;
    return name;
}
const char* mname() { return message_name().c_str(); }

bool var_code_p(std::uint16_t c) { return c < 256; }

SlotMap unbound_map() {
    SlotMap m;
    m.fill(UNBOUND);
    return m;
}

// Renames the variable leaves of a conjunct through the map; a leaf that
// maps to a constant becomes a constant leaf.
void map_conjunct(TermTable& table, const SlotMap& map) {
    for (TermNode& n : table) {
        if (n.kind != N_VAR || !var_code_p(n.left)) continue;
        std::uint16_t m = map[n.left];
        if (m == UNBOUND) continue;
        if (var_code_p(m)) {
            n.left = m;
        } else {
            n.kind = N_CONST;
            n.left = static_cast<std::uint16_t>(std::int32_t(m) - CONST_BASE);
            n.right = 0;
        }
    }
}

// Links arc `a` into transition t's list in ascending order of place number.
void insert_by_place_number(MArc*& list, MArc* a) {
    MArc* before = nullptr;
    for (MArc* x = list; x && x->place->number <= a->place->number; x = x->tnext) before = x;
    a->tprev = before;
    a->tnext = before ? before->tnext : list;
    if (a->tnext) a->tnext->tprev = a;
    if (before) before->tnext = a;
    else list = a;
}

bool value_in(const ValueSet& s, std::int32_t v) { return std::binary_search(s.begin(), s.end(), v); }

// Whether the map binds a variable of one of t's arcs to a constant outside
// the set of the arc's place (or of the tuple element's component).  Such a
// join has no firing mode; it is dead, not an inconsistent net.
bool bound_outside_place(const MTransition* t, const SlotMap& map) {
    for (const MArc* list : {t->pre, t->post})
        for (const MArc* a = list; a; a = a->tnext) {
            const MPlace* pl = a->place;
            const std::size_t nc = pl->components.size();
            auto outside = [&](std::uint16_t code, std::size_t c) {
                if (!var_code_p(code) || !pl->components[c]) return false;
                const std::uint16_t m = map[code];
                return is_const_code(m) && !value_in(*pl->components[c], std::int32_t(m) - CONST_BASE);
            };
            for (const InscTerm& term : a->inscription) {
                if (var_code_p(term.code)) {
                    if (nc == 1 && outside(term.code, 0)) return true;
                } else if (is_tuple_code(term.code)) {
                    const Tuple& tu = get_tuple(static_cast<std::uint16_t>(term.code - TUPLE_BASE));
                    if (tu.size() != nc) continue;  // a dimension fault, reported by the check
                    for (std::size_t c = 0; c < nc; ++c)
                        if (outside(tu[c], c)) return true;
                }
            }
        }
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// sync_pair

namespace {

// Answers whether a new join equals a transition made before (the closure's
// own check, beside the one of source-net mode).
using MadeBefore = std::function<bool(const MTransition*)>;

MTransition* join_pair(MNet* net, MTransition* t1, MTransition* t2, const ActionTerm& p, const ActionTerm& q,
                       std::uint16_t limit, const MadeBefore* made_before) {
    if (MNetOptions[1] & (OPT1_UNITE_NAMES | OPT1_REPORT_REBINDING)) action_name(q.code & ~1u, message_name());
    else message_name().clear();

    const std::size_t n1 = std::min<std::size_t>(t1->comvars.size(), 256);
    const std::size_t n2 = std::min<std::size_t>(t2->comvars.size(), 256);
    const std::size_t np = std::min<std::size_t>({p.nparams, q.nparams, std::size_t(MAX_PARAMS)});
    SlotMap m1 = unbound_map(), m2 = unbound_map();

    // Constants first, until nothing changes.
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t i = 0; i < np; ++i) {
            std::uint16_t x = p.params[i], y = q.params[i];
            bool xv = var_code_p(x), yv = var_code_p(y);
            if (!xv && yv) {
                if (m2[y] == UNBOUND) m2[y] = x, changed = true;
                else if (m2[y] != x) return nullptr;
            } else if (!xv && !yv) {
                if (x != y) return nullptr;
            } else if (xv && !yv) {
                if (m1[x] == UNBOUND) m1[x] = y, changed = true;
                else if (m1[x] != y) return nullptr;
            } else {
                if (m1[x] == UNBOUND && m2[y] != UNBOUND) m1[x] = m2[y], changed = true;
                else if (m1[x] != UNBOUND && m2[y] == UNBOUND) m2[y] = m1[x], changed = true;
                else if (m1[x] != UNBOUND && m1[x] != m2[y]) return nullptr;
            }
        }
    }

    // Variables: t1's variables are identified with t2's; t2's variables that
    // meet each other are united (the representative is the end of a chain).
    auto root = [&](std::uint16_t k) {
        for (int steps = 0; steps < 256 && m2[k] != UNBOUND && var_code_p(m2[k]) && m2[k] != k; ++steps) k = m2[k];
        return k;
    };
    for (std::size_t i = 0; i < np; ++i) {
        std::uint16_t x = p.params[i], y = q.params[i];
        if (!var_code_p(x) || !var_code_p(y)) continue;
        if (m1[x] == UNBOUND) {
            m1[x] = y;
        } else if (var_code_p(m1[x]) && m1[x] != y) {
            std::uint16_t ry = root(y), rr = root(m1[x]);
            if (ry != rr && m2[ry] == UNBOUND) m2[ry] = rr;
        }
    }
    SlotMap f2 = unbound_map();
    for (std::size_t k = 0; k < 256; ++k) {
        if (k < n2 && m2[k] == UNBOUND) {
            f2[k] = static_cast<std::uint16_t>(k);
        } else if (m2[k] != UNBOUND && var_code_p(m2[k])) {
            std::uint16_t r = root(static_cast<std::uint16_t>(k));
            f2[k] = (m2[r] != UNBOUND && m2[r] != r) ? m2[r] : r;
        } else {
            f2[k] = m2[k];
        }
    }

    // Final map of t1: identified variables through t2's representatives,
    // the others to fresh slots behind t2's.
    ComVars v1(t1->comvars.begin(), t1->comvars.begin() + static_cast<long>(n1));
    ComVars v2(t2->comvars.begin(), t2->comvars.begin() + static_cast<long>(n2));
    std::size_t fresh = 0;
    for (std::size_t k = 0; k < n1; ++k) {
        if (m1[k] != UNBOUND) {
            if (var_code_p(m1[k])) m1[k] = f2[m1[k]];
            continue;
        }
        if (MNetOptions[1] & OPT1_UNITE_NAMES) {
            std::size_t j = 0;
            while (j < n2 && v2[j].var != v1[k].var) ++j;
            if (j < n2) {
                if (v2[j].flags & 1) {
                    v1[k].flags |= 1;
                } else if (v1[k].flags & 1) {
                    v2[j].flags |= 1;
                } else {
                    report(WARNING, "[%s] Different renamings of '%s' united !", mname(), var_name(v1[k].var).c_str());
                    if (variable_rendering_mode == NAMING_NAMES) {
                        m1[k] = f2[j];
                        continue;
                    }
                }
            }
        }
        m1[k] = static_cast<std::uint16_t>(std::min<std::size_t>(n2 + fresh++, UNBOUND - 1));
    }
    // t2's slots and the fresh ones; t1's variables bound to constants or
    // identified with t2's take no slot.
    const std::size_t count = n2 + fresh;

    // Label: both labels renamed and added, less the synchronised pair.
    ActionSet label, l1;
    copy_actset_into(label, t2->label, f2.data());
    copy_actset_into(l1, t1->label, m1.data());
    actset_union(label, l1);
    actset_remove_pair(label, &q, f2.data(), 1);

    MTransition* n = DuplicateTrans(net, t2, nullptr, nullptr, f2.data());
    n->label = std::move(label);
    n->number = 1;
    n->flags = t2->flags | t1->flags;

    // Communication variables.
    if (count > MAX_COMVARS)
        report(FATAL, "[%s] Synchronisation produced a transition with too many ComVars !", mname());
    n->comvars = v2;
    n->comvars.resize(count);
    for (std::size_t k = 0; k < n1; ++k) {
        std::uint16_t m = m1[k];
        if (!var_code_p(m) || m >= count) continue;
        ComVar& slot = n->comvars[m];
        if (m >= n2) {
            slot = v1[k];
        } else if (slot.var == v1[k].var) {
            // the same variable: the entry stays
        } else if (slot.flags & 2) {
            slot = v1[k];
        } else if (!(v1[k].flags & 2) && variable_rendering_mode == NAMING_NAMES) {
            std::string a = var_name(slot.var), b = var_name(v1[k].var);
            report(WARNING, "[%s] Variables %s and %s were united by synchronisation !", mname(), a.c_str(),
                   b.c_str());
        }
    }

    // Restrictions of both, renamed; a constant must lie in its set.
    const std::pair<const MTransition*, const SlotMap*> sources[2] = {{t1, &m1}, {t2, &f2}};
    for (const auto& [src, map] : sources) {
        for (const Restriction& r : src->restrictions) {
            std::uint16_t v = var_code_p(r.var) ? (*map)[r.var] : r.var;
            if (v == UNBOUND) continue;
            if (var_code_p(v)) {
                restrict_var(n->restrictions, v, r.component, r.values);
            } else if (is_const_code(v) && !value_in(r.values, std::int32_t(v) - CONST_BASE)) {
                RemoveTrans(net, n, 0);
                return nullptr;
            }
        }
    }

    // Guard: t2's conjuncts, then t1's.
    n->guard.clear();
    n->guard.reserve(t1->guard.size() + t2->guard.size());
    for (const TermTable& c : t2->guard) {
        n->guard.push_back(c);
        map_conjunct(n->guard.back(), f2);
    }
    for (const TermTable& c : t1->guard) {
        n->guard.push_back(c);
        map_conjunct(n->guard.back(), m1);
    }

    // Arcs of t1: merged with t2's arc on the same place, otherwise new.
    for (int side = 0; side < 2; ++side) {
        for (MArc* a = side ? t1->post : t1->pre; a; a = a->tnext) {
            MPlace* pl = a->place;
            MArc*& plist = side ? pl->in : pl->out;
            Inscription insc = copy_inscription(a->inscription, m1.data());
            if (plist && plist->trans == n) {
                inscription_union(plist->inscription, insc);
                if (inscription_size(plist->inscription) > limit) {
                    RemoveTrans(net, n, 0);
                    return nullptr;
                }
                continue;
            }
            auto* c = new MArc();
            c->place = pl;
            c->trans = n;
            c->flags = a->flags;
            c->inscription = std::move(insc);
            c->pnext = plist;
            if (plist) plist->pprev = c;
            plist = c;
            insert_by_place_number(side ? n->post : n->pre, c);
        }
    }

    // A constant that unification put on an arc outside the place's set
    // makes the join dead; one written on an arc of the net stays fatal in
    // the check.
    if (((MNetOptions[0] & OPT0_DEAD_TRANSITIONS) && (bound_outside_place(t1, m1) || bound_outside_place(t2, f2))) ||
        !check_transition_bindings(n)) {
        ++dead_transition_counter;
        RemoveTrans(net, n, 0);
        return nullptr;
    }

    if (source_net_mode() && n->pre) {
        for (MArc* a = n->pre->place->out; a; a = a->pnext) {
            if (a->trans == n) continue;
            if (trans_equal(n, a->trans)) {
                RemoveTrans(net, n, 0);
                return nullptr;
            }
        }
    }
    if (made_before && (*made_before)(n)) {
        RemoveTrans(net, n, 0);
        return nullptr;
    }

    n->refs = t2->refs;
    for (const RefEntry& r : t1->refs) add_reference(n->refs, r.number, r.decoration);
    n->blocks = t2->blocks;
    for (std::uint16_t b : t1->blocks) add_block_number(n->blocks, b);

    // Phantom copies and position.
    auto midpoint = [](std::int32_t a, std::int32_t b) {
        std::int64_t s = std::int64_t(a) + b;
        return static_cast<std::int32_t>(s >= 0 ? s / 2 : -((-s + 1) / 2));
    };
    bool both_proc = (t1->flags & TR_PROCEDURE) && (t2->flags & TR_PROCEDURE);
    if ((t1->flags | t2->flags) & TR_PHANTOM_SYNC) {
        n->flags |= TR_PHANTOM_SYNC;
        for (MTransition* t : {t2, t1}) {
            if (!t->links.empty() || !(t->flags & TR_PROCEDURE)) continue;
            MTransition* ph = M_Copy2PTransition(net, t);
            add_phantom_link(t, ph);
            add_phantom_link(ph, t);
        }
        if (both_proc) n->x = midpoint(t1->x, t2->x), n->y = midpoint(t1->y, t2->y);
    } else if (both_proc) {
        n->x = midpoint(t1->x, t2->x), n->y = midpoint(t1->y, t2->y);
    } else if (t1->flags & TR_PROCEDURE) {
        n->x = t1->x, n->y = t1->y;
    }
    t2->x += 15;
    t2->y += 15;
    if (t1->flags & TR_OFFSET) {
        n->x -= 30;
        n->y -= 30;
        n->flags &= ~std::uint32_t(TR_OFFSET);
    }
    for (MTransition* ph : t1->links) add_phantom_link(n, ph);
    for (MTransition* ph : t2->links) add_phantom_link(n, ph);
    for (MTransition* ph : n->links) add_phantom_link(ph, n);

    std::optional<std::string> text;
    join_labels(t1->label_text, t2->label_text, text);
    n->label_text = text;
    return n;
}

}  // namespace

MTransition* sync_pair(MNet* net, MTransition* t1, MTransition* t2, const ActionTerm& p, const ActionTerm& q,
                       std::uint16_t limit) {
    return join_pair(net, t1, t2, p, q, limit, nullptr);
}

// ---------------------------------------------------------------------------
// Closure over one action.  Synchronisation walks the transitions and joins
// every holder of ^a with every holder of a, itself included; the joins are
// met again by the same walk, as either partner, so a join is joined again
// while its label still holds a or ^a.  The walk's result is this closure:
// every pair of members (originals holding a or ^a, and the joins made) of
// opposite polarity is joined once, each member with itself when it holds
// both, in whatever order the list comes.
//
// A join that trans_equal finds equal to a member is dropped: it would only
// repeat that member's joins.  Chains end where a merged arc exceeds the
// limit, where the dead-transition check drops a join, or where the
// communication variables overflow.  An original without arcs meets none of
// these, so a join may hold at most max(limit, 1) copies of such an
// original; an equal join is then dropped only when the member it equals
// holds no more copies of any of them (else the member would cut joins that
// the new one may make).

namespace {

const ActionTerm* holds(const MTransition* t, std::uint16_t code, std::uint16_t nparams) {
    return find_action(code, nparams, &t->label);
}

void number_places(MNet* net) {
    std::uint32_t k = 0;
    for (MPlace* p = net->first_place; p; p = p->next) p->number = ++k;
}

// Hash of what trans_equal compares, blind to the renaming of variables.
std::uint64_t join_signature(const MTransition* t) {
    std::uint64_t h = 1469598103934665603ull;
    auto mix = [&h](std::uint64_t v) { h = (h ^ v) * 1099511628211ull; };
    const std::uint64_t VAR = 1u << 20, TUPLE = 2u << 20;
    mix(t->label.size());
    for (const ActionTerm& a : t->label) {
        mix(a.code), mix(a.nparams), mix(a.mult);
        for (std::size_t k = 0; k < a.nparams && k < MAX_PARAMS; ++k) mix(a.params[k] < 256 ? VAR : a.params[k]);
    }
    mix(t->guard.size());
    for (const TermTable& c : t->guard) {
        mix(c.size());
        for (const TermNode& n : c) {
            mix(n.kind);
            if (n.kind != N_VAR) mix(n.left);
            if (n.kind != 0 && n.kind != N_CONST && n.kind != N_PAREN && n.kind != N_NOT && n.kind != N_NEG) mix(n.right);
        }
    }
    for (const MArc* list : {t->post, t->pre}) {
        mix(TUPLE + 1);
        for (const MArc* a = list; a; a = a->tnext) {
            mix(a->place->number), mix(a->inscription.size());
            for (const InscTerm& term : a->inscription) {
                mix(term.count);
                if (term.code < 256) {
                    mix(VAR);
                } else if (is_tuple_code(term.code)) {
                    const Tuple& tu = get_tuple(static_cast<std::uint16_t>(term.code - TUPLE_BASE));
                    mix(TUPLE + tu.size());
                    for (std::uint16_t e : tu) mix(e < 256 ? VAR : e);
                } else {
                    mix(term.code);
                }
            }
        }
    }
    return h;
}

// Copies of the originals in a transition: (original, count), sorted by
// original.  The originals are the transitions that held a listed action
// when synchronisation or scoping began; the count is kept over all the
// actions of the list, so that a join made over b from joins made over a
// still counts the originals it is built from.
using Copies = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

struct Member {
    MTransition* t;
    bool holds_a, holds_co;
    Copies copies;
};

// What the closure knows of each original: how many copies a join may hold,
// and whether it has no arcs (then that number is the documented bound, not
// a consequence of the arc bound).
struct Original {
    std::uint32_t most;
    bool arcless;
};

// Sum of two members' copies; false when an original exceeds its number.
bool add_copies(const Copies& x, const Copies& y, const std::vector<Original>& originals, Copies& out) {
    out.clear();
    std::size_t i = 0, j = 0;
    while (i < x.size() || j < y.size()) {
        std::pair<std::uint32_t, std::uint32_t> e;
        if (j == y.size() || (i < x.size() && x[i].first < y[j].first)) e = x[i++];
        else if (i == x.size() || y[j].first < x[i].first) e = y[j++];
        else e = {x[i].first, x[i].second + y[j].second}, ++i, ++j;
        if (e.second > originals[e.first].most) return false;
        out.push_back(e);
    }
    return true;
}

// a holds no more copies than b of any original without arcs.
bool arcless_within(const Copies& a, const Copies& b, const std::vector<Original>& originals) {
    std::size_t j = 0;
    for (const auto& [orig, count] : a) {
        if (!originals[orig].arcless) continue;
        while (j < b.size() && b[j].first < orig) ++j;
        if (j == b.size() || b[j].first != orig || b[j].second < count) return false;
    }
    return true;
}

// The actions of a list, one term per action: a and ^a, and terms of the
// same action with other parameter patterns, name one closure (only the
// code pair and the parameter count matter to it).  First appearance keeps
// the list's order.
std::vector<ActionTerm> distinct_actions(const ActionSet& actions) {
    std::vector<ActionTerm> out;
    std::unordered_set<std::uint32_t> seen;
    for (const ActionTerm& a : actions)
        if (seen.insert((std::uint32_t(a.code | 1u) << 16) | a.nparams).second) out.push_back(a);
    return out;
}

// The holders of the actions of one synchronisation or scoping list, found in
// one walk over the net and kept as joins are made and transitions deleted,
// so that the closure over an action meets only its holders instead of
// walking every transition again: a list of n actions over a net of m
// transitions costs m + the holders, not n * m.  Each action's holders are
// kept in the order in which a walk from the net's last transition to its
// first meets them (joins go to the head of the list, so they come last, in
// the order made).  Buckets hold registry slots; a deleted transition's slot
// is emptied, so that a later transition at the same address is not taken
// for it.  Each slot keeps the copies of the originals its transition holds.
class HolderIndex {
public:
    HolderIndex(MNet* net, const ActionSet& actions, std::uint16_t limit) {
        for (const ActionTerm& a : actions) buckets_.emplace(key(a.code, a.nparams), std::vector<std::size_t>());
        for (MTransition* t = net->last_trans; t; t = t->prev) {
            if (!enter(t)) continue;
            // k copies put k times the tokens of each arc on its place: more
            // than the limit allows are bound to fail, and are not tried.
            std::size_t widest = 0;
            for (const MArc* list : {t->pre, t->post})
                for (const MArc* arc = list; arc; arc = arc->tnext)
                    widest = std::max<std::size_t>(widest, inscription_size(arc->inscription));
            const auto most = static_cast<std::uint32_t>(limit / std::max<std::size_t>(widest, 1));
            const auto k = static_cast<std::uint32_t>(originals_.size());
            originals_.push_back(Original{std::max<std::uint32_t>(most, 1), !t->pre && !t->post});
            entries_.back().copies = Copies{{k, 1}};
        }
    }
    // Enters a join in the buckets of the listed actions it holds.
    void add(MTransition* t, const Copies& copies) {
        if (enter(t)) entries_.back().copies = copies;
    }
    void remove(MTransition* t) {
        auto it = slot_of_.find(t);
        if (it == slot_of_.end()) return;
        entries_[it->second].t = nullptr;
        slot_of_.erase(it);
    }
    // The transitions holding a or ^a, in walk order, with their copies.
    std::vector<Member> holders(const ActionTerm& a) const {
        std::vector<Member> out;
        auto it = buckets_.find(key(a.code, a.nparams));
        if (it == buckets_.end()) return out;
        const std::uint16_t even = static_cast<std::uint16_t>(a.code & ~1u);
        for (std::size_t slot : it->second) {
            const Entry& e = entries_[slot];
            if (!e.t) continue;
            const bool ha = find_action(even, a.nparams, &e.t->label) != nullptr;
            const bool hc = find_action(static_cast<std::uint16_t>(even | 1u), a.nparams, &e.t->label) != nullptr;
            if (ha || hc) out.push_back(Member{e.t, ha, hc, e.copies});
        }
        return out;
    }
    const std::vector<Original>& originals() const { return originals_; }

private:
    struct Entry {
        MTransition* t;
        Copies copies;
    };
    // Puts t in the buckets of the listed actions it holds; false when it
    // holds none.
    bool enter(MTransition* t) {
        const std::size_t slot = entries_.size();
        bool entered = false;
        for (const ActionTerm& x : t->label) {
            auto it = buckets_.find(key(x.code, x.nparams));
            if (it == buckets_.end()) continue;
            if (!it->second.empty() && it->second.back() == slot) continue;  // a and ^a
            if (!entered) entries_.push_back(Entry{t, {}}), slot_of_[t] = slot, entered = true;
            it->second.push_back(slot);
        }
        return entered;
    }
    static std::uint32_t key(std::uint16_t code, std::uint16_t nparams) {
        return (std::uint32_t(code & ~1u) << 16) | nparams;
    }
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> buckets_;
    std::vector<Entry> entries_;
    std::vector<Original> originals_;
    std::unordered_map<const MTransition*, std::size_t> slot_of_;
};

// Builds the closure over action a and returns its members (the transitions
// holding a or ^a, then the joins in the order made).
std::vector<Member> close_over(MNet* net, const ActionTerm& a, std::uint16_t limit, HolderIndex& index) {
    const std::uint16_t even = static_cast<std::uint16_t>(a.code & ~1u), odd = static_cast<std::uint16_t>(even | 1u);
    const std::uint16_t np = a.nparams;
    const std::vector<Original>& originals = index.originals();
    std::vector<Member> members = index.holders(a);
    std::unordered_multimap<std::uint64_t, std::size_t> by_signature;
    for (std::size_t i = 0; i < members.size(); ++i) by_signature.emplace(join_signature(members[i].t), i);

    Copies copies;
    const MadeBefore equal_member = [&](const MTransition* n) {
        auto range = by_signature.equal_range(join_signature(n));
        for (auto it = range.first; it != range.second; ++it) {
            const Member& m = members[it->second];
            if (arcless_within(m.copies, copies, originals) && trans_equal(n, m.t)) return true;
        }
        return false;
    };
    // Joins member x (holding ^a, as t1) with member y (holding a, as t2).
    auto attempt = [&](std::size_t x, std::size_t y) {
        if (!add_copies(members[x].copies, members[y].copies, originals, copies)) return;
        MTransition *t1 = members[x].t, *t2 = members[y].t;
        const ActionTerm p = *holds(t1, odd, np), q = *holds(t2, even, np);
        MTransition* n = join_pair(net, t1, t2, p, q, limit, &equal_member);
        if (!n) return;
        index.add(n, copies);
        by_signature.emplace(join_signature(n), members.size());
        members.push_back(Member{n, holds(n, even, np) != nullptr, holds(n, odd, np) != nullptr, copies});
    };
    // Each member meets every earlier member of the other polarity, and
    // itself; members made meanwhile come later in the list.
    std::vector<std::size_t> with_a, with_co;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const bool ha = members[i].holds_a, hc = members[i].holds_co;
        if (hc)
            for (std::size_t k = 0; k < with_a.size(); ++k) attempt(i, with_a[k]);
        if (ha)
            for (std::size_t k = 0; k < with_co.size(); ++k) attempt(with_co[k], i);
        if (ha && hc) attempt(i, i);
        if (ha) with_a.push_back(i);
        if (hc) with_co.push_back(i);
    }
    return members;
}

}  // namespace

MNet* M_synchronise(MNet* net, const ActionSet& actions, std::uint16_t limit) {
    number_places(net);
    HolderIndex index(net, actions, limit);
    for (const ActionTerm& a : distinct_actions(actions)) close_over(net, a, limit, index);
    return net;
}

MNet* M_restrict(MNet* net, const ActionSet& actions) {
    for (MTransition* t = net->last_trans; t;) {
        bool hit = false;
        for (const ActionTerm& x : t->label) {
            for (const ActionTerm& y : actions)
                if ((x.code | 1u) == (y.code | 1u) && x.nparams == y.nparams) hit = true;
            if (hit) break;
        }
        t = hit ? RemoveTrans(net, t, 0) : t->prev;
    }
    return net;
}

void mark_for_scope(MTransition* t, const ActionTerm& a) {
    std::uint16_t even = static_cast<std::uint16_t>(a.code & ~1u);
    std::uint32_t mark = 0;
    if (holds(t, even, a.nparams)) mark |= 1;
    if (holds(t, static_cast<std::uint16_t>(even | 1u), a.nparams)) mark |= 2;
    t->number = mark ? mark : 4;
}

MTransition* M_delete_transition(MNet* net, MTransition* t) {
    std::vector<MTransition*> links = std::move(t->links);
    t->links.clear();
    std::sort(links.begin(), links.end());
    links.erase(std::unique(links.begin(), links.end()), links.end());
    for (MTransition* ph : links) {
        std::size_t before = ph->links.size();
        ph->links.erase(std::remove(ph->links.begin(), ph->links.end(), t), ph->links.end());
        if (before <= 1 || ph->links.empty()) RemoveTrans(net, ph, 1);
    }
    return RemoveTrans(net, t, 0);
}

MNet* M_scope(MNet* net, const ActionSet& actions, std::uint16_t limit) {
    number_places(net);
    HolderIndex index(net, actions, limit);
    for (const ActionTerm& a : distinct_actions(actions)) {
        // Every member still holds a or ^a, or was made without them.
        for (const Member& m : close_over(net, a, limit, index)) {
            mark_for_scope(m.t, a);
            if (m.t->number == 4) continue;
            index.remove(m.t);
            M_delete_transition(net, m.t);
        }
    }
    return net;
}

// ---------------------------------------------------------------------------
// Equality modulo renaming.

namespace {
struct Renaming {
    SlotMap map = unbound_map();
    SlotMap image = unbound_map();
    bool param_equal(std::uint16_t x, std::uint16_t y) {
        if (!var_code_p(x) || !var_code_p(y)) return x == y;
        if (map[x] != UNBOUND) return map[x] == y;
        if (image[y] != UNBOUND) return false;
        map[x] = y;
        image[y] = x;
        return true;
    }
    bool inscription_equal(const Inscription& a, const Inscription& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (a[i].count != b[i].count) return false;
            std::uint16_t x = a[i].code, y = b[i].code;
            if (is_tuple_code(x) && is_tuple_code(y)) {
                const Tuple& tx = get_tuple(static_cast<std::uint16_t>(x - TUPLE_BASE));
                const Tuple& ty = get_tuple(static_cast<std::uint16_t>(y - TUPLE_BASE));
                if (tx.size() != ty.size()) return false;
                for (std::size_t k = 0; k < tx.size(); ++k) {
                    if (var_code_p(tx[k]) != var_code_p(ty[k])) return false;
                    if (!param_equal(tx[k], ty[k])) return false;
                }
            } else if (var_code_p(x) != var_code_p(y)) {
                return false;
            } else if (!param_equal(x, y)) {
                return false;
            }
        }
        return true;
    }
};

bool arcs_equal(Renaming& r, const MArc* a, const MArc* b) {
    for (; a && b; a = a->tnext, b = b->tnext)
        if (a->place->number != b->place->number || !r.inscription_equal(a->inscription, b->inscription)) return false;
    return !a && !b;
}

// The restrictions of one variable: its entries of a list sorted by
// (variable, component).
using Restricted = std::pair<const Restriction*, const Restriction*>;

bool same_entries(Restricted x, Restricted y) {
    if (x.second - x.first != y.second - y.first) return false;
    for (; x.first != x.second; ++x.first, ++y.first)
        if (x.first->component != y.first->component || x.first->values != y.first->values) return false;
    return true;
}

bool entries_before(Restricted x, Restricted y) {
    return std::lexicographical_compare(x.first, x.second, y.first, y.second,
                                        [](const Restriction& a, const Restriction& b) {
                                            return std::tie(a.component, a.values) < std::tie(b.component, b.values);
                                        });
}

std::vector<std::pair<std::uint16_t, Restricted>> by_variable(const RestrictionList& list) {
    std::vector<std::pair<std::uint16_t, Restricted>> out;
    const Restriction* const last = list.data() + list.size();
    for (const Restriction* it = list.data(); it != last;) {
        const Restriction* end = std::find_if(it, last, [&](const Restriction& x) { return x.var != it->var; });
        out.emplace_back(it->var, Restricted{it, end});
        it = end;
    }
    return out;
}

// Every variable is restricted alike on both sides: a variable the renaming
// maps must have the same entries as its image (none on both sides counts
// as alike), and the variables that occur only in restrictions, which any
// renaming may pair, must be restricted alike as multisets.
bool restrictions_equal(const Renaming& r, const RestrictionList& t, const RestrictionList& u) {
    const auto tv = by_variable(t), uv = by_variable(u);
    auto entries_of = [](const std::vector<std::pair<std::uint16_t, Restricted>>& vars, std::uint16_t v) {
        auto it = std::lower_bound(vars.begin(), vars.end(), v,
                                   [](const std::pair<std::uint16_t, Restricted>& e, std::uint16_t k) { return e.first < k; });
        return it != vars.end() && it->first == v ? it->second : Restricted{nullptr, nullptr};
    };
    std::vector<Restricted> free_t, free_u;
    for (const auto& [v, entries] : tv) {
        std::uint16_t w = var_code_p(v) ? r.map[v] : v;
        if (w == UNBOUND) free_t.push_back(entries);
        else if (!same_entries(entries, entries_of(uv, w))) return false;
    }
    for (const auto& [w, entries] : uv) {
        std::uint16_t v = var_code_p(w) ? r.image[w] : w;
        if (v == UNBOUND) free_u.push_back(entries);
        else if (!same_entries(entries, entries_of(tv, v))) return false;
    }
    if (free_t.size() != free_u.size()) return false;
    std::sort(free_t.begin(), free_t.end(), entries_before);
    std::sort(free_u.begin(), free_u.end(), entries_before);
    for (std::size_t i = 0; i < free_t.size(); ++i)
        if (!same_entries(free_t[i], free_u[i])) return false;
    return true;
}
}  // namespace

bool trans_equal(const MTransition* t, const MTransition* u) {
    Renaming r;
    if (t->label.size() != u->label.size()) return false;
    for (std::size_t i = 0; i < t->label.size(); ++i) {
        const ActionTerm &x = t->label[i], &y = u->label[i];
        if (x.code != y.code || x.nparams != y.nparams || x.mult != y.mult) return false;
        for (std::size_t k = 0; k < x.nparams && k < MAX_PARAMS; ++k)
            if (!r.param_equal(x.params[k], y.params[k])) return false;
    }
    if (t->guard.size() != u->guard.size()) return false;
    for (std::size_t c = 0; c < t->guard.size(); ++c) {
        const TermTable &a = t->guard[c], &b = u->guard[c];
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            const TermNode &x = a[i], &y = b[i];
            if (x.kind != y.kind) return false;
            if (x.kind == N_VAR) {
                if (!r.param_equal(x.left, y.left)) return false;
            } else if (x.left != y.left) {
                return false;
            }
            bool skip_right = x.kind == 0 || x.kind == N_CONST || x.kind == N_PAREN || x.kind == N_NOT ||
                              x.kind == N_NEG;
            if (!skip_right && x.right != y.right) return false;
        }
    }
    if (!arcs_equal(r, t->post, u->post) || !arcs_equal(r, t->pre, u->pre)) return false;
    return restrictions_equal(r, t->restrictions, u->restrictions);
}

// ---------------------------------------------------------------------------
// Dead-transition check.

namespace {

enum { COMPONENTS = 4 };

struct Domains {
    std::vector<std::uint8_t> dim = std::vector<std::uint8_t>(256, 0);  // 0 while unknown
    std::vector<bool> has = std::vector<bool>(256 * COMPONENTS, false);
    std::vector<ValueSet> values = std::vector<ValueSet>(256 * COMPONENTS);
    const MTransition* t;

    void set_dim(std::uint16_t v, std::size_t d) {
        if (dim[v] && dim[v] != d) report(FATAL, "[%s] Variable bound to ranges of different dimensions !", mname());
        dim[v] = static_cast<std::uint8_t>(d);
    }
    void intersect(std::size_t id, const ValueSet& s) {
        ValueSet both;
        std::set_intersection(values[id].begin(), values[id].end(), s.begin(), s.end(), std::back_inserter(both));
        values[id].swap(both);
    }
    void bind(std::uint16_t v, std::size_t comp, const ValueSet& s, bool tuple_element) {
        std::size_t id = std::size_t(v) * COMPONENTS + comp;
        if (!has[id]) {
            has[id] = true;
            values[id] = s;
            return;
        }
        if (MNetOptions[1] & OPT1_REPORT_REBINDING) {
            const std::string& name = v < t->comvars.size() ? var_name(t->comvars[v].var) : std::string();
            if (tuple_element) report(INFO, "[%s] Tupel element %s rebound !", mname(), name.c_str());
            else report(INFO, "[%s] 1-dim variable %s rebound !", mname(), name.c_str());
        }
        intersect(id, s);
    }
    void bind_arc(const MArc* a) {
        const MPlace* pl = a->place;
        const std::size_t nc = std::min<std::size_t>(pl->components.size(), COMPONENTS);
        for (const InscTerm& term : a->inscription) {
            std::uint16_t code = term.code;
            if (var_code_p(code)) {
                if (nc == 0) continue;
                set_dim(code, nc);
                for (std::size_t c = 0; c < nc; ++c)
                    if (pl->components[c]) bind(code, c, *pl->components[c], false);
            } else if (is_tuple_code(code)) {
                const Tuple& tu = get_tuple(static_cast<std::uint16_t>(code - TUPLE_BASE));
                if (tu.size() < nc) report(FATAL, "[%s] Tupel has smaller dim than the corresponding place !", mname());
                if (tu.size() > nc) report(FATAL, "[%s] Tupel has bigger dimension than the corresponding place !", mname());
                for (std::size_t c = 0; c < nc; ++c) {
                    if (!pl->components[c]) continue;
                    std::uint16_t e = tu[c];
                    if (var_code_p(e)) {
                        set_dim(e, 1);
                        bind(e, 0, *pl->components[c], true);
                    } else if (!value_in(*pl->components[c], std::int32_t(e) - CONST_BASE)) {
                        report(FATAL, "[%s] Constant at an arc is not in the corresponding set !", mname());
                    }
                }
            } else {
                if (nc > 1) report(FATAL, "[%s] Single constant at an arc from/to a place with tupels !", mname());
                if (nc == 1 && pl->components[0] && !value_in(*pl->components[0], std::int32_t(code) - CONST_BASE))
                    report(FATAL, "[%s] Constant at an arc is not in the corresponding set !", mname());
            }
        }
    }
};

const std::int32_t TT = VAL_TT, FF = VAL_FF;

std::int32_t wrap16(std::int32_t v) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(v & 0xffff)); }

// Evaluates one conjunct; its nodes come operands first, the root last.  A
// division or remainder by zero anywhere makes the conjunct false.
bool conjunct_holds(const TermTable& c, const std::vector<std::int32_t>& value_of_leaf,
                    std::vector<std::int32_t>& val) {
    val.assign(c.size(), 0);
    bool undefined = false;
    auto operand = [&](std::size_t i, std::uint16_t k) -> std::int32_t {
        if (k == 0 || k >= i) {
            undefined = true;
            return 0;
        }
        return val[k];
    };
    for (std::size_t i = 1; i < c.size(); ++i) {
        const TermNode& n = c[i];
        std::int32_t l = 0, r = 0, v = 0;
        switch (n.kind) {
        case 0: v = TT; break;
        case N_CONST: v = static_cast<std::int16_t>(n.left); break;
        case N_VAR: v = value_of_leaf[i]; break;
        case N_NOT: v = operand(i, n.left) == TT ? FF : TT; break;
        case N_PAREN: v = operand(i, n.left); break;
        case N_NEG: v = wrap16(-operand(i, n.left)); break;
        case N_AND: case N_OR: case N_EQ: case N_NE: case N_LT: case N_GT: case N_LE: case N_GE:
        case N_ADD: case N_SUB: case N_MUL: case N_DIV: case N_MOD:
            l = operand(i, n.left);
            r = operand(i, n.right);
            switch (n.kind) {
            case N_AND: v = (l == TT && r == TT) ? TT : FF; break;
            case N_OR: v = (l == TT || r == TT) ? TT : FF; break;
            case N_EQ: v = l == r ? TT : FF; break;
            case N_NE: v = l != r ? TT : FF; break;
            case N_LT: v = l < r ? TT : FF; break;
            case N_GT: v = l > r ? TT : FF; break;
            case N_LE: v = l <= r ? TT : FF; break;
            case N_GE: v = l >= r ? TT : FF; break;
            case N_ADD: v = wrap16(l + r); break;
            case N_SUB: v = wrap16(l - r); break;
            case N_MUL: v = wrap16(l * r); break;
            case N_DIV:
            case N_MOD:
                if (r == 0) {
                    undefined = true;
                    v = 0;
                } else {
                    v = wrap16(n.kind == N_DIV ? l / r : l % r);
                }
                break;
            }
            break;
        default:
            report(FATAL, "Internal error: Unknown node type!");
        }
        val[i] = v;
    }
    return !undefined && c.size() > 1 && val.back() == TT;
}

}  // namespace

bool check_transition_bindings(const MTransition* t) {
    if (!(MNetOptions[0] & OPT0_DEAD_TRANSITIONS)) return true;
    return transition_satisfiable(t);
}

bool transition_satisfiable(const MTransition* t) {
    Domains d;
    d.t = t;
    for (const MArc* a = t->pre; a; a = a->tnext) d.bind_arc(a);
    for (const MArc* a = t->post; a; a = a->tnext) d.bind_arc(a);
    for (const Restriction& r : t->restrictions) {
        if (!var_code_p(r.var)) continue;
        std::size_t comp = r.component == NO_COMPONENT ? 0 : r.component;
        if (comp >= COMPONENTS) continue;
        std::size_t id = std::size_t(r.var) * COMPONENTS + comp;
        if (d.has[id]) {
            if (MNetOptions[1] & OPT1_REPORT_REBINDING) {
                const std::string& name = r.var < t->comvars.size() ? var_name(t->comvars[r.var].var) : std::string();
                report(INFO, "[%s] %s rebound by definition !", mname(), name.c_str());
            }
            d.intersect(id, r.values);
        } else {
            d.has[id] = true;
            d.values[id] = r.values;
        }
    }
    if (t->guard.empty()) return true;

    // The variable components each conjunct reads, leaf by leaf.
    std::vector<std::size_t> used;  // component ids, ascending
    std::vector<std::vector<std::int32_t>> leaf_component(t->guard.size());
    for (std::size_t c = 0; c < t->guard.size(); ++c) {
        const TermTable& table = t->guard[c];
        leaf_component[c].assign(table.size(), -1);
        for (std::size_t i = 1; i < table.size(); ++i) {
            const TermNode& n = table[i];
            if (n.kind != N_VAR) continue;
            if (!var_code_p(n.left)) return true;  // no domain known
            std::uint16_t v = n.left;
            std::size_t comp = 0;
            if (n.right != NO_COMPONENT) {
                if (d.dim[v] == 1) report(FATAL, "[%s] Projection applied to a non-vector identifier !", mname());
                if (d.dim[v] && n.right >= d.dim[v])
                    report(FATAL, "[%s] Index of projection too high for specific vector !", mname());
                comp = n.right;
            } else if (d.dim[v] > 1) {
                report(FATAL, "[%s] Identifier of vector used without projection !", mname());
            }
            if (comp >= COMPONENTS) return true;
            std::size_t id = std::size_t(v) * COMPONENTS + comp;
            if (!d.has[id]) return true;  // a guard variable without domain
            leaf_component[c][i] = static_cast<std::int32_t>(id);
            used.push_back(id);
        }
    }
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    for (std::size_t id : used)
        if (d.values[id].empty()) return false;  // no value at all

    // Each conjunct is tested as soon as the last component it reads has a
    // value; components take their values in ascending order of number.
    const std::size_t m = used.size();
    std::vector<std::vector<std::size_t>> at_depth(m);
    std::vector<std::size_t> constant_conjuncts;
    for (std::size_t c = 0; c < t->guard.size(); ++c) {
        std::int32_t deepest = -1;
        for (std::int32_t id : leaf_component[c])
            if (id >= 0) {
                auto pos = std::lower_bound(used.begin(), used.end(), std::size_t(id)) - used.begin();
                deepest = std::max<std::int32_t>(deepest, static_cast<std::int32_t>(pos));
            }
        if (deepest < 0) constant_conjuncts.push_back(c);
        else at_depth[static_cast<std::size_t>(deepest)].push_back(c);
    }
    std::vector<std::int32_t> current(256 * COMPONENTS, 0);
    std::vector<std::int32_t> leaf_values, scratch;
    auto holds_now = [&](std::size_t c) {
        const TermTable& table = t->guard[c];
        leaf_values.assign(table.size(), 0);
        for (std::size_t i = 1; i < table.size(); ++i)
            if (leaf_component[c][i] >= 0) leaf_values[i] = current[static_cast<std::size_t>(leaf_component[c][i])];
        return conjunct_holds(table, leaf_values, scratch);
    };
    for (std::size_t c : constant_conjuncts)
        if (!holds_now(c)) return false;
    if (m == 0) return true;

    std::vector<std::size_t> choice(m, 0);
    std::size_t depth = 0;
    for (;;) {
        const ValueSet& dom = d.values[used[depth]];
        if (choice[depth] >= dom.size()) {
            if (depth == 0) return false;
            choice[depth] = 0;
            --depth;
            ++choice[depth];
            continue;
        }
        current[used[depth]] = dom[choice[depth]];
        bool ok = true;
        for (std::size_t c : at_depth[depth])
            if (!holds_now(c)) {
                ok = false;
                break;
            }
        if (!ok) {
            ++choice[depth];
            continue;
        }
        if (depth + 1 == m) return true;
        ++depth;
        choice[depth] = 0;
    }
}

}  // namespace mnet
