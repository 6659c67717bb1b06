// Changes to the input net before the run: complement places and the
// splitting of transitions with many input places.
#include <cstdio>
#include <string>
#include <vector>

#include "net.h"
#include "outputs.h"

namespace trelmik {

namespace {

using netlib::NET;
using netlib::NET_ARC;
using netlib::NET_NODE;

void clear_links(NET* net) {
    for (NET_NODE* n = net->first_place; n != nullptr; n = n->next) n->link = nullptr;
    for (NET_NODE* n = net->first_transition; n != nullptr; n = n->next) n->link = nullptr;
}

// Moves the places from `first_new` to the end of the list ahead of the others.
void rotate_to_front(NET* net, NET_NODE* first_new) {
    if (first_new == nullptr || first_new == net->first_place) return;
    NET_NODE* old_first = net->first_place;
    NET_NODE* old_last_original = first_new->prev;
    NET_NODE* new_last = net->last_place;
    old_last_original->next = nullptr;
    first_new->prev = nullptr;
    new_last->next = old_first;
    old_first->prev = new_last;
    net->first_place = first_new;
    net->last_place = old_last_original;
}

}  // namespace

namespace {

[[noreturn]] void refuse_unsafe(std::string_view place) {
    std::fflush(stdout);
    std::fprintf(stderr, "The given net is not 1-safe in place '%.*s'\n", static_cast<int>(place.size()), place.data());
    throw ExitRequest{101};
}

}  // namespace

void refuse_unsafe_marking(const NET* net) {
    // The complement construction meets the places from the last to the
    // first: the last one with two tokens is named.
    const NET_NODE* unsafe = nullptr;
    for (const NET_NODE* p = net->first_place; p != nullptr; p = p->next)
        if (p->marking > 1) unsafe = p;
    if (unsafe != nullptr) refuse_unsafe(unsafe->name);
}

void refuse_unsafe_marking(const InputNet& net) {
    for (std::uint32_t p = net.places(); p-- > 0;)
        if (net.marking[p] > 1) refuse_unsafe(net.place_names[p]);
}

void add_complement_places(NET* net) {
    refuse_unsafe_marking(net);
    netlib::renumber(net);
    std::vector<NET_NODE*> places;
    for (NET_NODE* p = net->first_place; p != nullptr; p = p->next) places.push_back(p);
    std::vector<std::uint8_t> consumes(net->transitions + 1), produces(net->transitions + 1);
    NET_NODE* first_new = nullptr;
    for (NET_NODE* p : places) {
        NET_NODE* c = netlib::append_place(net, "|" + p->name + "|", 1 - p->marking);
        c->kind = p->kind;
        c->aux = p->aux;
        if (first_new == nullptr) first_new = c;
        // Self-loops are told by the arcs themselves: a transition that both
        // takes and puts back p needs no arc at the complement.
        for (NET_ARC* a = p->postset; a != nullptr; a = a->p_next)
            if (a->weight > 0) consumes[a->transition->number] = 1;
        for (NET_ARC* a = p->preset; a != nullptr; a = a->p_next)
            if (a->weight > 0) produces[a->transition->number] = 1;
        for (NET_ARC* a = p->postset; a != nullptr; a = a->p_next) {
            const std::uint32_t t = a->transition->number;
            if (a->weight > 0 && !produces[t]) netlib::append_TP_arc(net, a->transition, c, 1);
        }
        for (NET_ARC* a = p->preset; a != nullptr; a = a->p_next) {
            const std::uint32_t t = a->transition->number;
            if (a->weight > 0 && !consumes[t]) netlib::append_PT_arc(net, c, a->transition, 1);
        }
        for (NET_ARC* a = p->postset; a != nullptr; a = a->p_next) consumes[a->transition->number] = 0;
        for (NET_ARC* a = p->preset; a != nullptr; a = a->p_next) produces[a->transition->number] = 0;
    }
    rotate_to_front(net, first_new);
    netlib::renumber(net);
}

namespace {

struct Splitter {
    NET* net;

    // Two places q, r (q the lower-numbered) feed t1 -> s -> t2 back to q, r.
    NET_NODE* gadget(NET_NODE* q, NET_NODE* r, NET_NODE* t) {
        if (r->number < q->number) std::swap(q, r);
        NET_NODE* s = netlib::append_place(net, "", 0);
        netlib::rename_node(net, s, "ZZZS" + std::to_string(s->number) + t->name);
        s->aux = r->aux;
        NET_NODE* t1 = netlib::append_transition(net, "");
        netlib::rename_node(net, t1, "ZZZT" + std::to_string(t1->number) + t->name);
        netlib::append_PT_arc(net, q, t1, 1);
        netlib::append_PT_arc(net, r, t1, 1);
        netlib::append_TP_arc(net, t1, s, 1);
        NET_NODE* t2 = netlib::append_transition(net, "");
        netlib::rename_node(net, t2, "ZZZT" + std::to_string(t2->number) + t->name);
        netlib::append_PT_arc(net, s, t2, 1);
        netlib::append_TP_arc(net, t2, q, 1);
        netlib::append_TP_arc(net, t2, r, 1);
        return s;
    }

    std::vector<NET_NODE*> take_inputs(NET_NODE* t) {
        std::vector<NET_NODE*> in;
        for (NET_ARC* a = t->preset; a != nullptr; a = a->t_next)
            if (a->weight > 0) in.push_back(a->place);
        if (in.size() < 3) return {};
        while (t->preset != nullptr) netlib::delete_P_to_T_con_node(net, t->preset);
        return in;
    }

    void serial(NET_NODE* t) {
        std::vector<NET_NODE*> in = take_inputs(t);
        if (in.empty()) return;
        NET_NODE* running = in[0];
        for (std::size_t i = 1; i + 1 < in.size(); ++i) running = gadget(running, in[i], t);
        netlib::append_PT_arc(net, in.back(), t, 1);
        netlib::append_PT_arc(net, running, t, 1);
    }

    void tree(NET_NODE* t) {
        std::vector<NET_NODE*> in = take_inputs(t);
        if (in.empty()) return;
        while (in.size() >= 3) {
            std::vector<NET_NODE*> next(in.size() / 2 + in.size() % 2);
            std::size_t j = next.size();
            std::size_t i = in.size();
            while (i >= 2) {
                next[--j] = gadget(in[i - 2], in[i - 1], t);
                i -= 2;
            }
            if (i == 1) next[--j] = in[0];
            in.swap(next);
        }
        if (in.size() < 2) {
            std::fputs("ERROR\n", stdout);
            return;
        }
        if (in[1]->number < in[0]->number) std::swap(in[0], in[1]);
        netlib::append_PT_arc(net, in[0], t, 1);
        netlib::append_PT_arc(net, in[1], t, 1);
    }
};

}  // namespace

void split_transitions(NET* net, int mode) {
    if (mode != 1 && mode != 2) return;
    netlib::renumber(net);
    std::fputs(mode == 1 ? "Transform the net (serially).\n" : "Transform the net (tree-like).\n", stdout);
    Splitter s{net};
    // Only the transitions present now are split; the gadgets are appended.
    std::vector<NET_NODE*> original;
    for (NET_NODE* t = net->first_transition; t != nullptr; t = t->next) original.push_back(t);
    for (NET_NODE* t : original) {
        if (mode == 1) s.serial(t);
        else s.tree(t);
    }
    clear_links(net);
}

}  // namespace trelmik
