// Symmetries of the net: the group of place permutations that, with a
// matching permutation of the transitions, keep every arc and its weights.
//
// This module holds the net as relations between indices, the degree
// orders and the constraints with their refinement; mirror2 holds the
// group search.
//
// The search narrows the candidates in two ways.  Places and transitions
// are first grouped by their arc degree (the lists they have, their sizes,
// the multisets of their weights); a constraint then holds pairs (domain,
// range) of places and of transitions, the domain to be mapped onto the
// range, and a partition refinement splits the pairs until every pair
// meets every other pair over every arc weight in the same numbers.  The
// group search (CompSymm) fixes one place at a time, refines, prunes the
// branches that a known element already covers, and closes the group under
// multiplication whenever a new generator is found.  The levels of the
// search are an explicit stack.
//
// Every complete mapping is checked against the arcs before it is kept, so
// that each element of the group is an automorphism of the net whatever
// the refinement missed.
#include "mirror.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "alloc.h"
#include "inst.h"
#include "internal.h"
#include "mirrorkit.h"
#include "plainnet.h"

AVLSET* _plcSymmetries = nullptr;
LIST* _plcSyGenerators = nullptr;
int _plcIMkSymm = 0;

namespace engine::mirror {

// ---- the mappings as the firing code reads them: a RADIX per mapping ----

void* SlotCopy(void* element) { return element; }
void SlotDiscard(void*) {}
const TOOLS kSlotTools = {SlotCopy, SlotDiscard};

void* MrepCopy(void* element) { return RadixCopy(static_cast<RADIX*>(element), FALSE); }
void MrepDiscard(void* element) { RadixDestroy(static_cast<RADIX*>(element), FALSE); }
int MrepCompare(void* element, const void* key) {
    auto* a = static_cast<RADIX*>(element);
    auto* b = static_cast<RADIX*>(const_cast<void*>(key));
    for (unsigned long i = 0; i < a->ptrCount; ++i) {
        auto x = reinterpret_cast<std::uintptr_t>(RadixGet(a, i));
        auto y = reinterpret_cast<std::uintptr_t>(RadixGet(b, i));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}
const TOOLS mrepTools = {MrepCopy, MrepDiscard};
const BALTOOLS mrepBalTools = {MrepCopy, MrepDiscard, MrepCompare, nullptr};

RADIX* Mrep(const Mapping& m) {
    RADIX* r = RadixCreate(m.size(), &kSlotTools);
    for (std::size_t i = 0; i < m.size(); ++i)
        RadixPut(r, reinterpret_cast<void*>(static_cast<std::uintptr_t>(m[i])), i);
    return r;
}

// ---- the net as relations between indices ----

Net net;

void AddArc(std::uint32_t p, std::uint32_t t, unsigned long weight, bool intoPlace) {
    if (weight == 0)
        return;
    if (intoPlace) {
        net.placeIn[p].push_back({t, weight});
        net.trnOut[t].push_back({p, weight});
    } else {
        net.placeOut[p].push_back({t, weight});
        net.trnIn[t].push_back({p, weight});
    }
}

void BuildNet() {
    net = Net();
    std::unordered_map<const TRN*, std::uint32_t> index;
    for (unsigned c = 0; c < _ingNofClasses; ++c) {
        RADIX* table = _tblTrn[c];
        for (unsigned long i = 0; table != nullptr && i < table->ptrCount; ++i) {
            auto* t = static_cast<TRN*>(RadixGet(table, i));
            if (t == nullptr)
                continue;
            index[t] = static_cast<std::uint32_t>(net.trns.size());
            net.trns.push_back(t);
            net.trnClass.push_back(c);
        }
    }
    for (unsigned long i = 0; i < _tblPlc->ptrCount; ++i)
        net.places.push_back(static_cast<PLC*>(RadixGet(_tblPlc, i)));
    net.placeOut.assign(net.places.size(), {});
    net.placeIn.assign(net.places.size(), {});
    net.trnIn.assign(net.trns.size(), {});
    net.trnOut.assign(net.trns.size(), {});
    auto each = [](LIST* list, auto f) {
        if (list != nullptr)
            for (LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next)
                f(cell->_node);
    };
    for (std::uint32_t p = 0; p < net.places.size(); ++p) {
        PLC* plc = net.places[p];
        if (plc->_flag & PLC_BUCHI)
            continue;  // its _lp is the list of following states, no arcs
        each(plc->_lp._pureIn, [&](void* a) {
            auto* arc = static_cast<PLARC*>(a);
            AddArc(p, index.at(arc->_trn), arc->_weight, true);
        });
        each(plc->_pureOut, [&](void* a) {
            auto* arc = static_cast<PLARC*>(a);
            AddArc(p, index.at(arc->_trn), arc->_weight, false);
        });
        each(plc->_neutral, [&](void* a) {
            auto* arc = static_cast<PLARC*>(a);
            AddArc(p, index.at(arc->_trn), arc->_weight, true);
            AddArc(p, index.at(arc->_trn), arc->_weight, false);
        });
        for (LIST* list : {plc->_mostIn, plc->_mostOut})
            each(list, [&](void* a) {
                auto* arc = static_cast<PLDRC*>(a);
                AddArc(p, index.at(arc->_trn), arc->_in, true);
                AddArc(p, index.at(arc->_trn), arc->_out, false);
            });
    }
}

// ---- degree orders ----

// The degree of a record as a key compared lexicographically: the lists it
// has, their sizes, then the sorted weights of each list.  Equal sizes make
// the weight parts line up.

template <class One, class Two>
void ListsKey(Key* key, LIST* const (&lists)[5], bool two[5]) {
    for (int k = 0; k < 5; ++k)
        key->push_back(lists[k] != nullptr && lists[k]->_first != nullptr ? 1 : 0);
    for (int k = 0; k < 5; ++k)
        key->push_back(lists[k] != nullptr ? LstSize(lists[k]) : 0);
    for (int k = 0; k < 5; ++k) {
        if (lists[k] == nullptr)
            continue;
        std::vector<std::pair<unsigned long, unsigned long>> weights;
        for (LISTNODE* cell = lists[k]->_first; cell != nullptr; cell = cell->_next) {
            if (two[k]) {
                auto* arc = static_cast<Two*>(cell->_node);
                weights.emplace_back(arc->_in, arc->_out);
            } else {
                weights.emplace_back(static_cast<One*>(cell->_node)->_weight, 0);
            }
        }
        std::sort(weights.begin(), weights.end());
        for (const auto& w : weights) {
            key->push_back(w.first);
            key->push_back(w.second);
        }
    }
}

Key PlaceKey(const PLC* plc) {
    Key key;
    if (_plcIMkSymm)
        key.push_back(plc->_count);
    // A tester or Buchi state goes only onto one with the same conditions,
    // so that a state found as an image has the verdicts of the state.
    key.push_back(plc->_flag & PLC_FLY);
    // A state of the automaton goes onto itself only: its successors and
    // what it requires of the marking are no arcs of the net.
    if (plc->_flag & PLC_BUCHI) {
        for (const unsigned char* p = plc->_key; p != nullptr && *p != 0; ++p)
            key.push_back(*p);
        return key;
    }
    LIST* const lists[5] = {plc->_lp._pureIn, plc->_pureOut, plc->_neutral, plc->_mostIn, plc->_mostOut};
    bool two[5] = {false, false, false, true, true};
    ListsKey<PLARC, PLDRC>(&key, lists, two);
    return key;
}

Key TrnKey(std::uint32_t t) {
    const TRN* trn = net.trns[t];
    Key key{net.trnClass[t]};
    LIST* const lists[5] = {trn->_pureIn, trn->_pureOut, trn->_neutral, trn->_mostIn, trn->_mostOut};
    bool two[5] = {false, false, false, true, true};
    ListsKey<TRARC, TRDRC>(&key, lists, two);
    return key;
}

// ---- constraints and their refinement ----

// The classes of equal keys, in key order, as pairs of the class with
// itself.
std::vector<Pair> Classes(const std::vector<Key>& keys) {
    std::vector<std::uint32_t> order(keys.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
    std::vector<Pair> pairs;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i == 0 || keys[order[i]] != keys[order[i - 1]])
            pairs.emplace_back();
        pairs.back().domain.push_back(order[i]);
    }
    for (Pair& p : pairs) {
        std::sort(p.domain.begin(), p.domain.end());
        p.range = p.domain;
    }
    return pairs;
}

// Membership marks of the refinement, by index.
std::vector<std::uint32_t> inSetA, inSetB;
std::uint32_t stamp = 0;

void Mark(std::vector<std::uint32_t>* marks, const std::vector<std::uint32_t>& set) {
    for (std::uint32_t i : set)
        (*marks)[i] = stamp;
}

// The weights of the arcs of a set (one side of a relation).
void Weights(std::set<unsigned long>* weights, const std::vector<std::vector<Arc>>& arcs,
             const std::vector<std::uint32_t>& set) {
    for (std::uint32_t i : set)
        for (const Arc& a : arcs[i])
            weights->insert(a.weight);
}

// The elements of set that have an arc of the weight to an element of the
// other set (marked in `other`).
std::vector<std::uint32_t> Meeting(const std::vector<std::uint32_t>& set, const std::vector<std::vector<Arc>>& arcs,
                                   const std::vector<std::uint32_t>& other, unsigned long weight) {
    std::vector<std::uint32_t> result;
    for (std::uint32_t i : set)
        for (const Arc& a : arcs[i])
            if (a.weight == weight && other[a.other] == stamp) {
                result.push_back(i);
                break;
            }
    return result;
}

std::vector<std::uint32_t> Minus(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    std::vector<std::uint32_t> r;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(r));
    return r;
}

// Splits the pair at `at` of `pairs` into (a1, b1) and the rest, when both
// parts are non-empty; the sizes must agree.  The rest goes first, then the
// intersection, at the front of the list.
Split SplitPair(std::vector<Pair>* pairs, std::size_t at, std::vector<std::uint32_t> a1,
                std::vector<std::uint32_t> b1) {
    Pair& pair = (*pairs)[at];
    if (a1.size() != b1.size())
        return Split::kFailed;
    if (a1.empty() || a1.size() == pair.domain.size())
        return Split::kNone;
    Pair rest{Minus(pair.domain, a1), Minus(pair.range, b1)};
    Pair cut{std::move(a1), std::move(b1)};
    pairs->erase(pairs->begin() + static_cast<long>(at));
    pairs->insert(pairs->begin(), std::move(cut));
    pairs->insert(pairs->begin(), std::move(rest));
    return Split::kSplit;
}

// One refinement step over one relation (p -> t arcs, or t -> p arcs):
// placeSide are the arcs seen from the places, trnSide from the
// transitions.
Split RefineOver(Cnstr* c, std::size_t pi, std::size_t ti, const std::vector<std::vector<Arc>>& placeSide,
                 const std::vector<std::vector<Arc>>& trnSide) {
    const Pair& pp = c->places[pi];
    const Pair& tp = c->trns[ti];
    std::set<unsigned long> weights, wr;
    Weights(&weights, placeSide, pp.domain);
    Weights(&weights, trnSide, tp.domain);
    Weights(&wr, placeSide, pp.range);
    Weights(&wr, trnSide, tp.range);
    if (weights != wr)
        return Split::kFailed;
    for (unsigned long w : weights) {
        ++stamp;
        Mark(&inSetA, tp.domain);
        std::vector<std::uint32_t> a1 = Meeting(pp.domain, placeSide, inSetA, w);
        Mark(&inSetB, tp.range);
        std::vector<std::uint32_t> b1 = Meeting(pp.range, placeSide, inSetB, w);
        ++stamp;
        Mark(&inSetA, pp.domain);
        std::vector<std::uint32_t> t1 = Meeting(tp.domain, trnSide, inSetA, w);
        Mark(&inSetB, pp.range);
        std::vector<std::uint32_t> u1 = Meeting(tp.range, trnSide, inSetB, w);
        Split s = SplitPair(&c->places, pi, std::move(a1), std::move(b1));
        if (s != Split::kNone)
            return s;
        s = SplitPair(&c->trns, ti, std::move(t1), std::move(u1));
        if (s != Split::kNone)
            return s;
    }
    return Split::kNone;
}

Split Refine(Cnstr* c) {
    for (std::size_t pi = 0; pi < c->places.size(); ++pi) {
        const Pair& pp = c->places[pi];
        if (pp.domain.size() != pp.range.size())
            return Split::kFailed;
        std::set<unsigned long> a, b;
        Weights(&a, net.placeIn, pp.domain);
        Weights(&b, net.placeIn, pp.range);
        if (a != b)
            return Split::kFailed;
        a.clear(), b.clear();
        Weights(&a, net.placeOut, pp.domain);
        Weights(&b, net.placeOut, pp.range);
        if (a != b)
            return Split::kFailed;
        for (std::size_t ti = 0; ti < c->trns.size(); ++ti) {
            Split s = RefineOver(c, pi, ti, net.placeOut, net.trnIn);
            if (s == Split::kNone)
                s = RefineOver(c, pi, ti, net.placeIn, net.trnOut);
            if (s != Split::kNone)
                return s;
        }
    }
    return Split::kNone;
}

// Refines until stable; false when the constraint admits no mapping.
bool ExhaustRefine(Cnstr* c) {
    for (;;) {
        Split s = Refine(c);
        if (s == Split::kFailed)
            return false;
        if (s == Split::kNone)
            return true;
    }
}

}  // namespace engine::mirror
