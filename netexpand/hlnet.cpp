// The ordered inserts of the high-level net.
#include <algorithm>

#include "failure.h"
#include "hlnet.h"

namespace flatnet {

namespace {

template <class Node>
Node& insert_ordered(std::map<std::uint32_t, Node>& list, std::uint32_t number,
                     typename std::map<std::uint32_t, Node>::iterator& cursor, const char* routine,
                     const char* what) {
    // Behind the cursor is the place of every number between the cursor's
    // and the next node's; elsewhere the map searches.
    auto hint = cursor != list.end() && number > cursor->first ? std::next(cursor) : list.end();
    if (hint == list.end() ? !list.empty() && list.rbegin()->first >= number : hint->first < number)
        hint = list.lower_bound(number);
    if (hint != list.end() && hint->first == number)
        throw Failure(EXIT_FATAL, format("ERROR: HL.%s(): %s '%u' already exists.\n", routine, what, number));
    cursor = list.emplace_hint(hint, number, Node{});
    cursor->second.number = number;
    return cursor->second;
}

// Keeps an arc list sorted by the number of the arcs' other node; arcs
// between the same nodes stay in the order they came.
template <class Key>
void insert_arc(std::vector<HLArc*>& list, HLArc* arc, Key key) {
    if (list.empty() || key(list.back()) <= key(arc)) {
        list.push_back(arc);
        return;
    }
    auto at = std::upper_bound(list.begin(), list.end(), arc,
                               [&key](const HLArc* a, const HLArc* b) { return key(a) < key(b); });
    list.insert(at, arc);
}

std::uint32_t by_place(const HLArc* a) { return a->place->number; }
std::uint32_t by_transition(const HLArc* a) { return a->transition->number; }

HLArc& new_arc(HLNet& net, HLPlace& p, HLTransition& t) {
    net.arcs.emplace_back();
    HLArc& a = net.arcs.back();
    a.place = &p;
    a.transition = &t;
    return a;
}

}  // namespace

HLPlace& M_fast_insert_place(HLNet& net, std::uint32_t number, PlaceCursor& cursor) {
    return insert_ordered(net.places, number, cursor, "M_fast_insert_place", "place");
}

HLTransition& M_fast_insert_transition(std::map<std::uint32_t, HLTransition>& list, std::uint32_t number,
                                       TransitionCursor& cursor) {
    return insert_ordered(list, number, cursor, "M_fast_insert_transition", "transition");
}

HLArc& fast_insert_TP_edge(HLNet& net, HLTransition& t, HLPlace& p, bool phantom) {
    HLArc& a = new_arc(net, p, t);
    insert_arc(phantom ? p.phantom_in : p.in, &a, by_transition);
    insert_arc(t.out, &a, by_place);
    return a;
}

HLArc& fast_insert_PT_edge(HLNet& net, HLPlace& p, HLTransition& t, bool phantom) {
    HLArc& a = new_arc(net, p, t);
    insert_arc(phantom ? p.phantom_out : p.out, &a, by_transition);
    insert_arc(t.in, &a, by_place);
    return a;
}

const char* hl_reference_identifier(int kind) {
    static const char* const ids[FRONT_ENDS] = {"References_BPN2_HL", "References_PFA_HL", "References_SDL_HL",
                                                "References_IF_HL"};
    return ids[kind];
}

const char* ll_reference_identifier(int kind) {
    static const char* const ids[FRONT_ENDS] = {"References_BPN2_LL", "References_PFA_LL", "References_SDL_LL",
                                                "References_IF_LL"};
    return ids[kind];
}

}  // namespace flatnet
