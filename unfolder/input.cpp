// The net to unfold, from either form a reader gives: a net record, or the
// lists of a VOS file taken as they are.
#include <algorithm>
#include <future>
#include <system_error>

#include "net.h"
#include "trelmik.h"
#include "unfold.h"
#include "vos.h"

namespace trelmik {

InputNet input_from_net(netlib::NET* net) {
    netlib::renumber(net);
    InputNet in;
    in.components = net->components;
    std::vector<netlib::NET_NODE*> places;
    for (netlib::NET_NODE* p = net->first_place; p != nullptr; p = p->next) {
        places.push_back(p);
        in.place_names.push_back(p->name);
        in.place_kind.push_back(p->kind);
        in.place_comp.push_back(p->aux);
        in.marking.push_back(p->marking);
    }
    std::vector<netlib::NET_NODE*> transitions;
    std::vector<std::uint32_t> pre, post;
    for (netlib::NET_NODE* t = net->first_transition; t != nullptr; t = t->next) {
        transitions.push_back(t);
        in.trans_names.push_back(t->name);
        pre.clear();
        post.clear();
        for (netlib::NET_ARC* a = t->preset; a != nullptr; a = a->t_next) {
            if (a->weight == 0) continue;
            pre.push_back(a->place->number - 1);
            ++in.pt_arcs;
        }
        for (netlib::NET_ARC* a = t->postset; a != nullptr; a = a->t_next) {
            if (a->weight == 0) continue;
            post.push_back(a->place->number - 1);
            ++in.tp_arcs;
        }
        in.pre.push_back(pre);
        in.post.push_back(post);
    }
    std::vector<std::uint32_t> size(places.size(), 0);
    for (std::size_t i = 0; i < places.size(); ++i)
        for (netlib::NET_ARC* a = places[i]->postset; a != nullptr; a = a->p_next)
            if (a->weight != 0) ++size[i];
    in.place_post.shape(size);
    for (std::size_t i = 0; i < places.size(); ++i)
        for (netlib::NET_ARC* a = places[i]->postset; a != nullptr; a = a->p_next)
            if (a->weight != 0) in.place_post.fill(i, a->transition->number - 1);
    in.place_post.finish_filling();
    return in;
}

namespace {

// Nets of this many nodes and more are taken from their lists by two
// threads: below it a thread costs more than the work it takes over.
constexpr std::size_t kSideBySide = 1 << 16;

// Runs `first` and `second`, on two threads when `apart` (and a thread can
// be had), and returns once both are done.  An exception of either goes on
// to the caller once both have ended.
template <class First, class Second>
void side_by_side(bool apart, First first, Second second) {
    std::future<void> done;
    if (apart) {
        try {
            done = std::async(std::launch::async, first);
        } catch (const std::system_error&) {
            apart = false;
        }
    }
    if (!apart) first();
    second();
    if (done.valid()) done.get();
}

// The nodes' positions in the file in name order, and the position of each
// node in name order; false when two nodes share a name (the net record
// makes them one).
bool name_ranks(const netlib::NameTable& names, std::vector<std::size_t>& order, std::vector<std::uint32_t>& rank) {
    order = netlib::name_order(names);
    rank.resize(names.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k > 0 && netlib::name_equal(names[order[k - 1]], names[order[k]])) return false;
        rank[order[k]] = static_cast<std::uint32_t>(k);
    }
    return true;
}

// The arcs as lists per transition, the preset in `pre` and the postset in
// `post`, each list in place order; false when an arc is given twice.
bool arc_lists(const std::vector<netlib::VosArc>& arcs, const std::vector<std::uint32_t>& place_rank,
               const std::vector<std::uint32_t>& trans_rank, InputNet& out) {
    const std::size_t T = trans_rank.size();
    std::vector<std::uint32_t> pre_size(T, 0), post_size(T, 0);
    for (const netlib::VosArc& a : arcs) ++(a.place_to_transition ? pre_size : post_size)[trans_rank[a.transition]];
    out.pre.shape(pre_size);
    out.post.shape(post_size);
    for (const netlib::VosArc& a : arcs)
        (a.place_to_transition ? out.pre : out.post).fill(trans_rank[a.transition], place_rank[a.place]);
    out.pre.finish_filling();
    out.post.finish_filling();
    for (ListTable* lists : {&out.pre, &out.post}) {
        const std::vector<std::uint32_t>& size = lists == &out.pre ? pre_size : post_size;
        for (std::size_t t = 0; t < T; ++t) {
            std::uint32_t* first = lists->data(t);
            std::uint32_t* last = first + size[t];
            // Lists of a few places, mostly given in order already.
            if (!std::is_sorted(first, last)) std::sort(first, last);
            if (std::adjacent_find(first, last) != last) return false;
        }
    }
    out.pt_arcs += out.pre.items();
    out.tp_arcs += out.post.items();
    return true;
}

}  // namespace

bool input_from_lists(netlib::VosLists& l, InputNet& in) {
    // Block order, labels and extras are the net record's matters.
    if (l.file_order || l.has_extras || !l.place_labels.empty() || !l.transition_labels.empty()) return false;
    // So are weights: a weight other than 1 removes the transition, 0 the arc.
    for (const netlib::VosArc& a : l.arcs)
        if (a.weight != 1) return false;
    // The places and the transitions are ranked side by side, then the arc
    // lists are made beside the names and the places' tables.  The lists
    // keep what they hold until the net is known to be taken from them.
    const std::size_t P = l.place_names.size();
    const bool apart = P + l.transition_names.size() >= kSideBySide;
    std::vector<std::size_t> place_order, trans_order;
    std::vector<std::uint32_t> place_rank, trans_rank;
    bool places_ranked = false, transitions_ranked = false;
    side_by_side(
        apart, [&] { places_ranked = name_ranks(l.place_names, place_order, place_rank); },
        [&] { transitions_ranked = name_ranks(l.transition_names, trans_order, trans_rank); });
    if (!places_ranked || !transitions_ranked) return false;
    InputNet out;
    bool arcs_taken = false;
    side_by_side(
        apart,
        [&] { arcs_taken = arc_lists(l.arcs, place_rank, trans_rank, out); },
        [&] {
            out.place_names = l.place_names.permuted(place_order);
            out.place_kind.resize(P);
            out.place_comp.resize(P);
            out.marking.resize(P);
            std::uint32_t components = 0;
            for (std::size_t k = 0; k < P; ++k) {
                const std::uint32_t r = place_rank[k];
                out.place_kind[r] = l.places[k].kind;
                out.place_comp[r] = l.places[k].component;
                out.marking[r] = l.places[k].marking;
                components = std::max(components, l.places[k].component);
            }
            out.components = std::max<std::uint32_t>(components, 1);
            out.trans_names = l.transition_names.permuted(trans_order);
        });
    if (!arcs_taken) return false;
    out.derive_place_post();
    l.place_names.release();
    l.transition_names.release();
    in = std::move(out);
    return true;
}

}  // namespace trelmik
