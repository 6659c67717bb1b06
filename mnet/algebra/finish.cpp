// Block composition, declaration triples, duplicate place removal, the
// consistency check and the finishing of a net before it is written.
#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "mnet_algebra.h"
#include "mnet_hlnet.h"

namespace mnet {

// ---------------------------------------------------------------------------
// Block composition.

MNet* compose_block(const BlockParts& parts, const ActionSet& actions) {
    // Missing parts drop out: the operations return the other operand.
    MNet* z = M_parallel(parts.data, M_sequence(M_sequence(parts.init, parts.body), parts.term));
    if (!z || no_scoping()) return z;
    return M_scope(z, actions, arc_weight_bound);
}

DeclTriple merge_declarations(DeclTriple o, DeclTriple n) {
    const bool parallel = MNetOptions[0] & OPT0_PARALLEL_DECLS;
    DeclTriple r;
    if (!o.init) r.init = n.init;
    else if (!n.init) r.init = o.init;
    else r.init = parallel ? M_parallel(o.init, n.init) : M_sequence(o.init, n.init);
    if (!o.data) r.data = n.data;
    else if (!n.data) r.data = o.data;
    else r.data = M_parallel(o.data, n.data);
    if (!o.term) r.term = n.term;
    else if (!n.term) r.term = o.term;
    else r.term = parallel ? M_parallel(o.term, n.term) : M_sequence(n.term, o.term);
    return r;
}

// ---------------------------------------------------------------------------
// Finishing.

void sort_transition_references(MNet* net) {
    auto key = [](const RefEntry& e) {
        const RefRecord* r = ref_get(e.number);
        return r ? std::make_pair(r->line1, r->col1) : std::make_pair(std::uint32_t(0), std::uint32_t(0));
    };
    for (MTransition* t = net->first_trans; t; t = t->next) {
        auto& refs = t->refs;
        if (refs.size() < 2) continue;
        for (std::size_t i = 0; i + 1 < refs.size(); ++i) {
            std::size_t best = i;
            auto best_key = key(refs[i]);
            for (std::size_t j = i + 1; j < refs.size(); ++j) {
                auto k = key(refs[j]);
                if (k < best_key) best = j, best_key = k;
            }
            if (best != i) std::swap(refs[i], refs[best]);
        }
    }
}

void finish_net(MNet* net) {
    if (MNetOptions[0] & OPT0_DEAD_TRANSITIONS) std::printf("%u dead transition(s) eliminated.\n", dead_transition_counter);
    if (MNetOptions[0] & OPT0_REMOVE_DUPLICATES) {
        std::printf("Removing duplicates: ");
        std::uint32_t places = 0, transitions = 0, preserved = 0;
        remove_duplicate_places(net, &places, &transitions, &preserved);
        std::printf("%u place(s), %u transition(s),\n", places, transitions);
        std::printf("%21s", "");
        std::printf("%u duplicate ", preserved);
        std::printf("place(s) preserved because of different phantoms.\n\n");
    }
    if (MNetOptions[0] & OPT0_CHECK_CONSISTENCY) {
        std::printf("Checking consistency of resulting net: ");
        int code = CheckNet(net);
        if (code) {
            std::printf("inconsistent (%i)!\n\n", code);
            std::fflush(stdout);
            std::exit(5);
        }
        std::printf("OK !\n\n");
    }
    std::fflush(stdout);
    if (net_file_name.empty()) return;
    M_move(net, 30 - net->origin_x, 30 - net->origin_y);
    sort_transition_references(net);
    if (blocks_in_output()) M_block_boxes(net);
    write_outputs(net);
    if (net->trans_count != transition_counter)
        report(INFO, "Transitions: counter (%lu) <> real number (%lu) !", transition_counter,
               static_cast<unsigned long>(net->trans_count));
}

// ---------------------------------------------------------------------------
// Duplicate place removal.

namespace {

bool markings_equal(const MPlace* p, const MPlace* q) {
    return p->initial_marking == q->initial_marking && p->current_marking == q->current_marking;
}

bool arc_lists_equal(const MArc* a, const MArc* b, bool dot) {
    for (; a && b; a = a->pnext, b = b->pnext) {
        if (a->trans != b->trans) return false;
        if (dot ? inscription_size(a->inscription) != inscription_size(b->inscription)
                : !inscription_identical(a->inscription, b->inscription))
            return false;
    }
    return !a && !b;
}

bool no_arcs(const MPlace* p) { return !p->in && !p->out; }

}  // namespace

void remove_duplicate_places(MNet* net, std::uint32_t* removed_places, std::uint32_t* removed_transitions,
                             std::uint32_t* preserved) {
    std::uint32_t removed = 0, kept = 0;
    for (MPlace* p = net->first_place; p; p = p->next) p->number = 1;
    const bool phantoms = phantoms_in_output();
    // 0: different, 1: equal up to phantom arcs, 2: equal.
    auto compare = [&](const MPlace* p, const MPlace* q) {
        if (p->type != q->type || !type_equal(p, q) || !markings_equal(p, q)) return 0;
        bool dot = dot_type(p);
        if (!arc_lists_equal(p->in, q->in, dot) || !arc_lists_equal(p->out, q->out, dot)) return 0;
        if (phantoms && (!arc_lists_equal(p->phantom_in, q->phantom_in, dot) ||
                         !arc_lists_equal(p->phantom_out, q->phantom_out, dot)))
            return 1;
        return 2;
    };
    std::vector<MPlace*> candidates;
    for (MPlace* p = net->last_place; p;) {
        candidates.clear();
        if (p->out) {
            for (MArc* a = p->out->trans->pre; a; a = a->tnext)
                if (a->place != p) candidates.push_back(a->place);
        } else if (p->in) {
            for (MArc* a = p->in->trans->post; a; a = a->tnext)
                if (a->place != p && !a->place->out) candidates.push_back(a->place);
        } else {
            for (MPlace* q = p->prev; q; q = q->prev)
                if (no_arcs(q)) candidates.push_back(q);
        }
        for (MPlace* q : candidates) {
            int c = compare(p, q);
            if (c == 1) {
                if (p->number == 1 || q->number == 1) ++kept;
                p->number = q->number = 0;
            } else if (c == 2) {
                if (q->number == 0 && kept) --kept;
                RemovePlace(net, q);
                ++removed;
            }
        }
        p = p->prev;
    }
    if (removed_places) *removed_places = removed;
    if (removed_transitions) *removed_transitions = 0;
    if (preserved) *preserved = kept;
}

// ---------------------------------------------------------------------------
// Consistency check.

void number_elements(MNet* net) {
    std::uint32_t k = 0;
    for (MPlace* p = net->first_place; p; p = p->next) p->number = ++k;
    k = 0;
    for (MTransition* t = net->first_trans; t; t = t->next) t->number = ++k;
    k = 0;
    for (MTransition* t = net->first_phantom; t; t = t->next) t->number = ++k;
}

namespace {

bool in_trans_list(const MArc* list, const MArc* a) {
    for (; list; list = list->tnext)
        if (list == a) return true;
    return false;
}

// The place list each arc stands in (0 in, 1 out, 2 phantom in, 3 phantom
// out), gathered from the places' lists before the transitions are checked,
// so that finding an arc of a transition in its place's list does not walk
// that list again (places of many arcs would make the check quadratic).
using PlaceListOf = std::unordered_map<const MArc*, int>;

int place_list_kind(bool incoming, bool phantom) { return (incoming ? 0 : 1) + (phantom ? 2 : 0); }

bool in_place_list(const PlaceListOf& lists, const MArc* a, bool incoming, bool phantom) {
    auto it = lists.find(a);
    return it != lists.end() && it->second == place_list_kind(incoming, phantom);
}

// One arc list of a place; base is -3 for incoming, -8 for outgoing arcs.
int check_place_arcs(const MPlace* p, const MArc* list, bool incoming, bool phantom, int o, PlaceListOf& lists) {
    const int base = incoming ? -3 : -8;
    if (list && list->pprev) return o + base;
    std::uint32_t last_number = 0;
    for (const MArc* a = list; a; a = a->pnext) {
        if (a->place != p) return o + base - 1;
        lists[a] = place_list_kind(incoming, phantom);
        if (a->pnext && a->pnext->pprev != a) return o + base - 2;
        if (a->trans->number < last_number) return o + base - 3;
        last_number = a->trans->number;
        if (!in_trans_list(incoming ? a->trans->post : a->trans->pre, a)) return o + base - 4;
    }
    return 0;
}

// One arc list of a transition; base is -23 for the pre-set, -28 for the
// post-set.
int check_trans_arcs(const MTransition* t, const MArc* list, bool post, bool phantom, int o,
                     const PlaceListOf& lists) {
    const int base = post ? -28 : -23;
    if (list && list->tprev) return o + base;
    std::uint32_t last_number = 0;
    for (const MArc* a = list; a; a = a->tnext) {
        if (a->trans != t) return o + base - 1;
        if (a->tnext && a->tnext->tprev != a) return o + base - 2;
        if (a->place->number < last_number) return o + base - 3;
        last_number = a->place->number;
        if (!in_place_list(lists, a, post, phantom)) return o + base - 4;
    }
    return 0;
}

// Guard: every conjunct begins with a header and its operands point to
// earlier nodes of the same conjunct.
int check_guard(const Guard& g, int o) {
    for (const TermTable& c : g) {
        if (c.empty() || c[0].kind != 0) return o - 201;
        if (c.size() < 2) return o - 202;
        for (std::size_t i = 1; i < c.size(); ++i) {
            const TermNode& n = c[i];
            int arity = 0;
            switch (n.kind) {
            case N_NOT: case N_PAREN: case N_NEG: case N_FOREACH: arity = 1; break;
            case N_CONST: case N_VAR: case 0: arity = 0; break;
            default: arity = 2; break;
            }
            if (arity >= 1 && (n.left == 0 || n.left >= i)) return o - 202;
            if (arity == 2 && (n.right == 0 || n.right >= i)) return o - 202;
        }
    }
    return 0;
}

// Restrictions: entries in strictly ascending (variable, component) order,
// each with an ascending value list.
int check_restrictions(const RestrictionList& l, int o) {
    for (std::size_t i = 0; i < l.size(); ++i) {
        if (i && std::make_pair(l[i - 1].var, l[i - 1].component) >= std::make_pair(l[i].var, l[i].component))
            return o - 203;
        for (std::size_t k = 1; k < l[i].values.size(); ++k)
            if (l[i].values[k - 1] >= l[i].values[k]) return o - 203;
    }
    return 0;
}

int check_transitions(const MTransition* first, const MTransition* last, std::uint32_t count, bool phantom,
                      const MTransition* other_first, const MTransition* other_last, const PlaceListOf& lists) {
    const int o = phantom ? -100 : 0;
    std::unordered_set<const MTransition*> other;
    for (const MTransition* u = other_last; u; u = u->prev) other.insert(u);
    (void)other_first;
    if (first && first->prev) return o - 21;
    std::uint32_t n = 0;
    for (const MTransition* t = first; t; t = t->next) {
        ++n;
        if (t->next && t->next->prev != t) return o - 22;
        if (int c = check_trans_arcs(t, t->pre, false, phantom, o, lists)) return c;
        if (int c = check_trans_arcs(t, t->post, true, phantom, o, lists)) return c;
        if (int c = check_guard(t->guard, o)) return c;
        if (int c = check_restrictions(t->restrictions, o)) return c;
        for (const MTransition* l : t->links) {
            if (!other.count(l)) return o - 205;
            if (std::find(l->links.begin(), l->links.end(), t) == l->links.end()) return o - 204;
        }
        if (!t->next && t != last) return o - 33;
    }
    if (!first && last) return o - 34;
    if (n != count) return o - 35;
    return 0;
}

}  // namespace

int CheckNet(MNet* net) {
    number_elements(net);
    if (net->first_place && net->first_place->prev) return -1;
    std::uint32_t n = 0;
    PlaceListOf lists;
    for (const MPlace* p = net->first_place; p; p = p->next) {
        ++n;
        if (p->next && p->next->prev != p) return -2;
        if (int c = check_place_arcs(p, p->in, true, false, 0, lists)) return c;
        if (int c = check_place_arcs(p, p->out, false, false, 0, lists)) return c;
        if (int c = check_place_arcs(p, p->phantom_in, true, true, -100, lists)) return c;
        if (int c = check_place_arcs(p, p->phantom_out, false, true, -100, lists)) return c;
        if (!p->next && p != net->last_place) return -13;
    }
    if (!net->first_place && net->last_place) return -14;
    if (n != net->place_count) return -15;
    if (int c = check_transitions(net->first_trans, net->last_trans, net->trans_count, false, net->first_phantom,
                                  net->last_phantom, lists))
        return c;
    return check_transitions(net->first_phantom, net->last_phantom, net->phantom_count, true, net->first_trans,
                             net->last_trans, lists);
}

}  // namespace mnet
