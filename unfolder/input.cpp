// The net to unfold, from either form a reader gives: a net record, or the
// lists of a VOS file taken as they are.
#include <algorithm>

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

// The arcs of one direction as lists per transition, each in place order;
// false when an arc is given twice.
bool arc_lists(const std::vector<netlib::VosArc>& arcs, bool place_to_transition,
               const std::vector<std::uint32_t>& place_rank, const std::vector<std::uint32_t>& trans_rank,
               ListTable& lists, std::uint64_t& count) {
    std::vector<std::uint32_t> size(trans_rank.size(), 0);
    for (const netlib::VosArc& a : arcs)
        if (a.place_to_transition == place_to_transition) ++size[trans_rank[a.transition]];
    lists.shape(size);
    for (const netlib::VosArc& a : arcs)
        if (a.place_to_transition == place_to_transition) lists.fill(trans_rank[a.transition], place_rank[a.place]);
    lists.finish_filling();
    for (std::size_t t = 0; t < lists.size(); ++t) {
        std::uint32_t* first = lists.data(t);
        std::uint32_t* last = first + size[t];
        std::sort(first, last);
        if (std::adjacent_find(first, last) != last) return false;
    }
    count += lists.items();
    return true;
}

}  // namespace

bool input_from_lists(netlib::VosLists& l, InputNet& in) {
    // Block order, labels and extras are the net record's matters.
    if (l.file_order || l.has_extras || !l.place_labels.empty() || !l.transition_labels.empty()) return false;
    // So are weights: a weight other than 1 removes the transition, 0 the arc.
    for (const netlib::VosArc& a : l.arcs)
        if (a.weight != 1) return false;
    std::vector<std::size_t> place_order, trans_order;
    std::vector<std::uint32_t> place_rank, trans_rank;
    if (!name_ranks(l.place_names, place_order, place_rank) || !name_ranks(l.transition_names, trans_order, trans_rank))
        return false;
    InputNet out;
    if (!arc_lists(l.arcs, true, place_rank, trans_rank, out.pre, out.pt_arcs) ||
        !arc_lists(l.arcs, false, place_rank, trans_rank, out.post, out.tp_arcs))
        return false;
    const std::size_t P = l.place_names.size();
    out.place_names = l.place_names.permuted(place_order);
    l.place_names.release();
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
    l.transition_names.release();
    out.derive_place_post();
    in = std::move(out);
    return true;
}

}  // namespace trelmik
