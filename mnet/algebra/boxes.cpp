// Place product, the box operations built on it, the elementary boxes and
// the layout operations.
//
// Element order: new places and new transitions go to the head of their
// lists, and the arcs of a new element go to the head of the arc lists of its
// neighbours.  Together with the order in which operands are united this
// keeps every arc list in the order of the list positions of the elements at
// its other end.
#include <vector>

#include "mnet_algebra.h"

namespace mnet {

namespace {

// Places of the net whose type has one of the bits (or, with exact, equals
// the bits), from the tail of the list towards its head.
std::vector<MPlace*> select(MNet* net, std::uint8_t bits, bool exact = false) {
    std::vector<MPlace*> out;
    for (MPlace* p = net->last_place; p; p = p->prev)
        if (exact ? p->type == bits : (p->type & bits) != 0) out.push_back(p);
    return out;
}

void remove_places(MNet* net, const std::vector<MPlace*>& places) {
    for (MPlace* p : places) RemovePlace(net, p);
}

// Arc lists of a place, as the products copy them.
enum ArcSide : unsigned { IN = 1, OUT = 2, PIN = 4, POUT = 8, ALL = 15 };

void append_arcs(MPlace* from, MPlace* to, unsigned sides) {
    if (sides & IN) DuplicateTPEdges(from, to, nullptr, 0);
    if (sides & OUT) DuplicatePTEdges(from, to, nullptr, 0);
    if (sides & PIN) DuplicateTPEdges(from, to, nullptr, 1);
    if (sides & POUT) DuplicatePTEdges(from, to, nullptr, 1);
}

// References appended, label texts joined.
void merge_texts(MPlace* n, const MPlace* q) {
    for (const RefEntry& r : q->refs) add_reference(n->refs, r.number, r.decoration);
    std::optional<std::string> joined;
    join_labels(n->label, q->label, joined);
    n->label = joined;
}

MPlace* copy_place(MNet* net, MPlace* p) { return DuplicatePlace(net, p, nullptr, nullptr, nullptr, nullptr); }

// Lays the new places (in the order they were made) out in one row centred
// on the net; counter is 60 per new place.
void row_layout(MNet* net, const std::vector<MPlace*>& made, std::int32_t counter) {
    std::int32_t total = std::int32_t(counter) - LAYOUT_UNIT;
    std::int32_t start = (std::int32_t(net->width) - total) / 2 + net->origin_x;
    if (total > std::int32_t(net->width)) {
        net->width = total;
        net->origin_x = start;
    }
    std::int32_t x = start;
    for (MPlace* n : made) {
        n->x = x;
        x += LAYOUT_ROW;
        n->number = 1;
    }
}

// Arc from transition t to place p (or from p to t), at the head of both
// lists.
MArc* head_arc(MPlace* p, MTransition* t, bool to_place, Inscription insc) {
    auto* a = new MArc();
    a->place = p;
    a->trans = t;
    a->inscription = std::move(insc);
    MArc*& plist = to_place ? p->in : p->out;
    MArc*& tlist = to_place ? t->post : t->pre;
    a->pnext = plist;
    if (plist) plist->pprev = a;
    plist = a;
    a->tnext = tlist;
    if (tlist) tlist->tprev = a;
    tlist = a;
    return a;
}

// A transition at the head of the net's list.
MTransition* head_transition(MNet* net) {
    MTransition* t = new_transition();
    t->next = net->first_trans;
    if (net->first_trans) net->first_trans->prev = t;
    else net->last_trans = t;
    net->first_trans = t;
    ++net->trans_count;
    return t;
}

void widen_to(MNet* r, const MNet* e) {
    if (e->width > r->width) {
        r->width = e->width;
        r->origin_x = e->origin_x;
    }
}

// Moves E centred below R and lets R grow by E's height.
void put_below(MNet* r, MNet* e) {
    M_move(e, (std::int32_t(r->width) - std::int32_t(e->width)) / 2 + (r->origin_x - e->origin_x),
           (std::int32_t(r->height) - LAYOUT_UNIT) + (r->origin_y - e->origin_y));
    widen_to(r, e);
    r->height = r->height + e->height - LAYOUT_UNIT;
}

// Moves I centred above R and lets R grow upwards by I's height.
void put_above(MNet* r, MNet* i) {
    M_move(i, (std::int32_t(r->width) - std::int32_t(i->width)) / 2 + (r->origin_x - i->origin_x),
           (r->origin_y - i->origin_y) - std::int32_t(i->height) + LAYOUT_UNIT);
    widen_to(r, i);
    r->height = r->height + i->height - LAYOUT_UNIT;
    r->origin_y = i->origin_y;
}

MNet* silent_box() {
    ComVars vars;
    new_comvars(vars, 1);
    return M_atomic_box(new_actset(), nullptr, nullptr, vars, 0);
}

}  // namespace

// ---------------------------------------------------------------------------
// Layout.

void M_move(MNet* net, std::int32_t dx, std::int32_t dy) {
    net->origin_x += dx;
    net->origin_y += dy;
    for (MPlace* p = net->first_place; p; p = p->next) p->x += dx, p->y += dy;
    for (MTransition* t = net->first_trans; t; t = t->next) t->x += dx, t->y += dy;
    for (MTransition* t = net->first_phantom; t; t = t->next) t->x += dx, t->y += dy;
}

void M_layout_side_by_side(MNet* a, MNet* b) {
    M_move(b, std::int32_t(a->width) + (a->origin_x - b->origin_x) + LAYOUT_UNIT, a->origin_y - b->origin_y);
    a->width = a->width + LAYOUT_UNIT + b->width;
    if (b->height > a->height) {
        a->height = b->height;
        for (MPlace* p = a->first_place; p; p = p->next)
            if (p->type == PLACE_EXIT) p->y = std::int32_t(a->height) + a->origin_y - LAYOUT_UNIT;
    } else if (a->height > b->height) {
        b->height = a->height;
        for (MPlace* p = b->first_place; p; p = p->next)
            if (p->type == PLACE_EXIT) p->y = std::int32_t(b->height) + b->origin_y - LAYOUT_UNIT;
    }
}

namespace {
template <class F>
void each_element(MNet* net, F f) {
    for (MPlace* p = net->first_place; p; p = p->next) f(p->x, p->y);
    for (MTransition* t = net->first_trans; t; t = t->next) f(t->x, t->y);
    for (MTransition* t = net->first_phantom; t; t = t->next) f(t->x, t->y);
}
}  // namespace

void M_rotate_left(MNet* net) {
    std::int32_t ox = net->origin_x, oy = net->origin_y;
    net->origin_x = oy;
    net->origin_y = -ox - std::int32_t(net->width) + LAYOUT_UNIT;
    std::swap(net->width, net->height);
    each_element(net, [](std::int32_t& x, std::int32_t& y) {
        std::int32_t nx = y, ny = -x;
        x = nx;
        y = ny;
    });
}

void M_rotate_right(MNet* net) {
    std::int32_t ox = net->origin_x, oy = net->origin_y;
    net->origin_x = -oy - std::int32_t(net->height) + LAYOUT_UNIT;
    net->origin_y = ox;
    std::swap(net->width, net->height);
    each_element(net, [](std::int32_t& x, std::int32_t& y) {
        std::int32_t nx = -y, ny = x;
        x = nx;
        y = ny;
    });
}

void M_stretch_vertical(MNet* net, std::int32_t y1, std::int32_t y2, std::int32_t d) {
    if (d < 1) return;
    std::int32_t up = d - d / 2, down = d / 2;
    net->height = net->height + d;
    net->origin_y -= up;
    each_element(net, [&](std::int32_t&, std::int32_t& y) {
        if (y < y1) y -= up;
        else if (y > y2) y += down;
    });
}

// ---------------------------------------------------------------------------
// Elementary boxes.

MNet* M_atomic_box(const ActionSet& label, Guard* guard, RestrictionList* restrictions, ComVars& comvars,
                   std::uint16_t reference) {
    MNet* net = M_new_net();
    net->box = 1;
    net->origin_x = 0;
    net->origin_y = 0;
    net->width = 30;
    net->height = 150;
    auto make_place = [&](std::uint8_t type, std::int32_t y, std::uint16_t decoration) {
        MPlace* p = new_place();
        p->type = type;
        p->number = 1;
        p->read_mark = 1;
        p->y = y;
        p->components.emplace_back(*default_place_type);
        if (reference) add_reference(p->refs, reference, decoration);
        return p;
    };
    MPlace* entry = make_place(PLACE_ENTRY, 0, 1);
    MPlace* exit = make_place(PLACE_EXIT, 120, 2);
    entry->next = exit;
    exit->prev = entry;
    net->first_place = entry;
    net->last_place = exit;
    net->place_count = 2;
    MTransition* t = head_transition(net);
    t->number = 1;
    t->y = 60;
    t->label = label;
    if (restrictions) t->restrictions = std::move(*restrictions);
    if (guard) t->guard = std::move(*guard);
    t->comvars = std::move(comvars);
    comvars.clear();
    if (reference) add_reference(t->refs, reference, 0);
    head_arc(entry, t, false, new_inscription(0));
    head_arc(exit, t, true, new_inscription(0));
    return net;
}

MNet* M_place_chain_box(std::uint16_t n) {
    MNet* net = M_new_net();
    net->box = 1;
    net->origin_x = 0;
    net->origin_y = 0;
    net->width = 30;
    net->height = 30 + 60 * (std::int32_t(n) + 1);
    MPlace* tail = new_place();
    tail->number = std::uint32_t(n) + 1;
    tail->y = (std::int32_t(n) + 1) * LAYOUT_ROW;
    tail->components.emplace_back(*default_place_type);
    net->first_place = net->last_place = tail;
    net->place_count = 1;
    MPlace* prev = tail;
    for (std::int32_t k = n; k >= 0; --k) {
        MPlace* p = copy_place(net, prev);  // at the head
        p->number = std::uint32_t(k);
        p->y = prev->y - LAYOUT_ROW;
        prev = p;
    }
    net->first_place->type = PLACE_ENTRY;
    net->last_place->type = PLACE_EXIT;
    return net;
}

// ---------------------------------------------------------------------------
// Place product.

void M_place_product(MNet* a, MNet* b, std::uint8_t sel_b, std::uint8_t sel_a) {
    // Exactly the places present now are visited, in both nets.
    std::vector<MPlace*> qs = select(b, sel_b);
    std::vector<MPlace*> ps = select(a, sel_a);
    std::int32_t counter = 0;
    std::vector<MPlace*> made;
    made.reserve(ps.size() * qs.size());
    for (MPlace* p : ps) {
        for (MPlace* q : qs) {
            counter += LAYOUT_ROW;
            MPlace* n = copy_place(a, p);
            if (p->type != q->type) n->type = PLACE_INTERNAL;
            append_arcs(q, n, ALL);
            n->flags |= q->flags;
            merge_texts(n, q);
            made.push_back(n);
        }
        RemovePlace(a, p);
    }
    row_layout(a, made, counter);
    remove_places(b, qs);
}

MNet* M_sequence(MNet* a, MNet* b) {
    if (!a) return b;
    if (!b) return a;
    M_move(b, (a->origin_x - b->origin_x) + (std::int32_t(a->width) - std::int32_t(b->width)) / 2,
           std::int32_t(a->height) + (a->origin_y - b->origin_y) - LAYOUT_UNIT);
    widen_to(a, b);
    a->height = a->height - LAYOUT_UNIT + b->height;
    M_place_product(a, b, PLACE_ENTRY, PLACE_EXIT);
    return M_union(a, b);
}

MNet* M_choice(MNet* a, MNet* b) {
    if (!a) return b;
    if (!b) return a;
    M_layout_side_by_side(a, b);
    M_place_product(a, b, PLACE_ENTRY, PLACE_ENTRY);
    M_place_product(a, b, PLACE_EXIT, PLACE_EXIT);
    return M_union(a, b);
}

MNet* M_parallel(MNet* a, MNet* b) {
    if (!a) return b;
    if (!b) return a;
    M_layout_side_by_side(a, b);
    b->origin_x = a->origin_x;
    b->origin_y = a->origin_y;
    b->width = a->width;
    b->height = a->height;
    return M_union(b, a);
}

// ---------------------------------------------------------------------------
// Iteration.

MNet* M_iteration(MNet* body, MNet* exit, MNet* init) {
    if (!body) return init ? M_sequence(init, exit) : exit;
    if (!init) init = silent_box();
    if (MNetOptions[0] & OPT0_DOUBLED_ITERATION) return M_iteration_doubled(body, exit, init);
    if (MNetOptions[0] & OPT0_COPIED_ITERATION) return M_iteration_copied(body, exit, init);
    return M_iteration_repeat(body, exit, init);
}

MNet* M_iteration_repeat(MNet* r, MNet* e, MNet* i) {
    if (!i) i = silent_box();
    r->origin_x -= LAYOUT_ROW;
    MTransition* rep = head_transition(r);
    new_comvars(rep->comvars, 1);
    rep->number = 1;
    rep->x = r->origin_x;
    rep->y = (std::int32_t(r->height) - LAYOUT_UNIT) / 2 + r->origin_y;
    rep->flags = TR_REPEAT;
    r->width = r->width + LAYOUT_ROW;
    M_rotate_left(r);

    std::vector<MPlace*> e_entries = select(e, PLACE_ENTRY);
    std::vector<MPlace*> i_exits = select(i, PLACE_EXIT);
    std::int32_t counter = 0;
    std::vector<MPlace*> made;
    // Every place present before the loop places are made, tail first.
    std::vector<MPlace*> all;
    for (MPlace* p = r->last_place; p; p = p->prev) all.push_back(p);
    for (MPlace* p : all) {
        if (p->type == PLACE_ENTRY) {
            for (MPlace* x : i_exits)
                for (MPlace* y : e_entries) {
                    counter += LAYOUT_ROW;
                    MPlace* n = copy_place(r, p);
                    n->type = PLACE_INTERNAL;
                    merge_texts(n, x);
                    merge_texts(n, y);
                    head_arc(n, rep, true, new_inscription(0));
                    append_arcs(x, n, IN);
                    append_arcs(y, n, OUT);
                    append_arcs(x, n, PIN);
                    append_arcs(y, n, POUT);
                    made.push_back(n);
                }
            RemovePlace(r, p);
        } else if (p->type == PLACE_EXIT) {
            p->type = PLACE_INTERNAL;
            head_arc(p, rep, false, new_inscription(0));
            p->y += LAYOUT_UNIT;
        }
    }
    // One column: the first place made lies lowest.
    std::int32_t total = std::int32_t(counter) - LAYOUT_UNIT;
    std::int32_t start = (std::int32_t(r->height) - total) / 2 + r->origin_y;
    if (total > std::int32_t(r->height)) {
        r->height = total;
        r->origin_y = start;
    }
    std::int32_t y = start + std::int32_t(counter) - LAYOUT_ROW;
    for (MPlace* n : made) {
        n->y = y;
        y -= LAYOUT_ROW;
        n->number = 1;
    }

    put_below(r, e);
    put_above(r, i);
    remove_places(e, e_entries);
    remove_places(i, i_exits);
    M_union(r, i);
    return M_union(r, e);
}

namespace {

// Merges every place of `keep` of the given exact type with every place of
// `other` of that type: the product carries the arcs of both on the given
// sides; the old places of `keep` are removed.  The places of `other` stay.
void merge_ends(MNet* keep, MNet* other, std::uint8_t type, unsigned sides) {
    std::vector<MPlace*> ks = select(keep, type, true);
    std::vector<MPlace*> os = select(other, type, true);
    for (MPlace* k : ks) {
        for (MPlace* o : os) {
            MPlace* n = copy_place(keep, k);
            append_arcs(o, n, sides);
            n->number = 1;
        }
        RemovePlace(keep, k);
    }
}

struct LoopPart {
    MNet* net;
    std::uint8_t type;  // exact place type taken from the part
    unsigned sides;     // arcs taken from its places
};

// Loop state: every place of R of the given exact type times one place of
// each further part gives an internal place of R that carries the R place's
// arcs and the given arcs of the others; the R places are removed and the
// new places laid out in one row.
void loop_state(MNet* r, std::uint8_t r_type, const std::vector<LoopPart>& parts) {
    std::vector<std::vector<MPlace*>> sel;
    for (const LoopPart& part : parts) sel.push_back(select(part.net, part.type, true));
    std::int32_t counter = 0;
    std::vector<MPlace*> made;
    for (MPlace* p : select(r, r_type, true)) {
        bool empty = false;
        for (auto& s : sel) empty = empty || s.empty();
        if (!empty) {
            std::vector<std::size_t> idx(parts.size(), 0);
            for (;;) {
                counter += LAYOUT_ROW;
                MPlace* n = copy_place(r, p);
                n->type = PLACE_INTERNAL;
                for (std::size_t k = 0; k < parts.size(); ++k) merge_texts(n, sel[k][idx[k]]);
                // Ordinary arcs first, side by side, then the phantom arcs.
                for (unsigned side : {unsigned(IN), unsigned(OUT), unsigned(PIN), unsigned(POUT)})
                    for (std::size_t k = 0; k < parts.size(); ++k)
                        if (parts[k].sides & side) append_arcs(sel[k][idx[k]], n, side);
                made.push_back(n);
                std::size_t k = parts.size();
                while (k > 0) {
                    --k;
                    if (++idx[k] < sel[k].size()) break;
                    idx[k] = 0;
                    if (k == 0) {
                        k = parts.size() + 1;
                        break;
                    }
                }
                if (k == parts.size() + 1) break;
            }
        }
        RemovePlace(r, p);
    }
    row_layout(r, made, counter);
}

MNet* iteration_unrolled(MNet* r, MNet* e, MNet* i, bool doubled) {
    MNet* r2 = M_copy_net(r);
    MNet* e2 = M_copy_net(e);
    MNet* i2 = doubled ? M_copy_net(i) : nullptr;
    M_rotate_right(r2);
    M_rotate_left(r);
    M_move(r2, r->origin_x - r2->origin_x, std::int32_t(r->height) + LAYOUT_UNIT + (r->origin_y - r2->origin_y));
    r->height = 2 * r->height + LAYOUT_UNIT;

    // E and E' end in the same exit places; with a doubled loop, I and I'
    // start from the same entry places.
    merge_ends(e, e2, PLACE_EXIT, IN | PIN);
    if (doubled) merge_ends(i, i2, PLACE_ENTRY, OUT | POUT);

    // L1 = entry(R) x exit(R') x entry(E) x exit(I)
    loop_state(r, PLACE_ENTRY,
               {{r2, PLACE_EXIT, IN | PIN}, {i, PLACE_EXIT, IN | PIN}, {e, PLACE_ENTRY, OUT | POUT}});
    // L2 = exit(R) x entry(R') x entry(E') [x exit(I')]
    if (doubled)
        loop_state(r, PLACE_EXIT,
                   {{r2, PLACE_ENTRY, OUT | POUT}, {i2, PLACE_EXIT, IN | PIN}, {e2, PLACE_ENTRY, OUT | POUT}});
    else
        loop_state(r, PLACE_EXIT, {{r2, PLACE_ENTRY, OUT | POUT}, {e2, PLACE_ENTRY, OUT | POUT}});

    // Layout: I (and I' to its right) above R, E and E' side by side below.
    if (doubled) {
        M_move(i2, std::int32_t(i->width) + LAYOUT_UNIT + (i->origin_x - i2->origin_x), i->origin_y - i2->origin_y);
        std::int32_t w = 2 * std::int32_t(i->width) + LAYOUT_UNIT;
        std::int32_t dx = (std::int32_t(r->width) - w) / 2 + (r->origin_x - i->origin_x);
        std::int32_t dy = (r->origin_y - i->origin_y) - std::int32_t(i->height) + LAYOUT_UNIT;
        M_move(i, dx, dy);
        M_move(i2, dx, dy);
        if (w > std::int32_t(r->width)) {
            r->width = w;
            r->origin_x = i->origin_x;
        }
        r->height = r->height + i->height - LAYOUT_UNIT;
        r->origin_y = i->origin_y;
    } else {
        put_above(r, i);
    }
    M_move(e2, std::int32_t(e->width) + LAYOUT_UNIT + (e->origin_x - e2->origin_x), e->origin_y - e2->origin_y);
    std::int32_t w = 2 * std::int32_t(e->width) + LAYOUT_UNIT;
    std::int32_t dx = (std::int32_t(r->width) - w) / 2 + (r->origin_x - e->origin_x);
    std::int32_t dy = (std::int32_t(r->height) - LAYOUT_UNIT) + (r->origin_y - e->origin_y);
    M_move(e, dx, dy);
    M_move(e2, dx, dy);
    if (w > std::int32_t(r->width)) {
        r->width = w;
        r->origin_x = e->origin_x;
    }
    r->height = r->height + e->height - LAYOUT_UNIT;

    M_drop_selected(i, PLACE_EXIT);
    M_drop_selected(e2, PLACE_ENTRY | PLACE_EXIT);
    M_drop_selected(e, PLACE_ENTRY);
    M_drop_selected(r2, PLACE_ENTRY | PLACE_EXIT);
    if (doubled) M_drop_selected(i2, PLACE_ENTRY | PLACE_EXIT);
    // The order of union keeps every arc list in list order.
    M_union(r, r2);
    M_union(r, i);
    if (doubled) M_union(r, i2);
    M_union(r, e);
    return M_union(r, e2);
}

}  // namespace

MNet* M_iteration_copied(MNet* r, MNet* e, MNet* i) {
    if (!i) i = silent_box();
    return iteration_unrolled(r, e, i, false);
}

MNet* M_iteration_doubled(MNet* r, MNet* e, MNet* i) {
    if (!i) i = silent_box();
    return iteration_unrolled(r, e, i, true);
}

// ---------------------------------------------------------------------------
// Refinement.

MNet* M_refine(MNet* n, MTransition* t, MNet* d) {
    M_move(d, t->x - d->origin_x, t->y - d->origin_y - (std::int32_t(d->height) - LAYOUT_UNIT) / 2);
    M_stretch_vertical(n, t->y, t->y, std::int32_t(d->height) - 150);
    n->width = t->x - n->origin_x;
    for (MArc* a = t->pre; a; a = a->tnext) a->place->type = 4;
    for (MArc* a = t->post; a; a = a->tnext) a->place->type = 8;
    RemoveTrans(n, t, 0);
    M_place_product(d, n, 4, PLACE_ENTRY);
    M_place_product(d, n, 8, PLACE_EXIT);
    d->width = d->width + n->width;
    d->height = n->height;
    d->origin_x = n->origin_x;
    d->origin_y = n->origin_y;
    return M_union(d, n);
}

}  // namespace mnet
