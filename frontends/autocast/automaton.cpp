#include "automaton.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "failure.h"
#include "mnet_algebra.h"
#include "fragments.h"
#include "project.h"
#include "references.h"
#include "translate.h"

namespace autocast {

namespace {

using mnet::MArc;
using mnet::MNet;
using mnet::MPlace;
using mnet::MTransition;

// The smallest and largest coordinates of the elements made so far.
struct Extent {
    std::int32_t min_x = INT_MAX, min_y = INT_MAX, max_x = INT_MIN, max_y = INT_MIN;
    void widen(std::int32_t x, std::int32_t y) {
        min_x = std::min(min_x, x);
        min_y = std::min(min_y, y);
        max_x = std::max(max_x, x + 30);
        max_y = std::max(max_y, y + 30);
    }
    bool empty() const { return min_x == INT_MAX; }
};

class NetBuilder {
public:
    NetBuilder(MNet* net, const mnet::ValueSet& place_type) : net_(net), place_type_(place_type) {}

    MPlace* place(std::uint8_t type, std::int32_t x, std::int32_t y) {
        MPlace* p = mnet::M_fast_insert_place(net_, ++places_, &place_cursor_);
        p->type = type;
        p->components.assign(1, place_type_);
        p->x = x;
        p->y = y;
        extent.widen(x, y);
        return p;
    }

    MTransition* transition(std::int32_t x, std::int32_t y) {
        MTransition* t = mnet::M_fast_insert_transition(&net_->trans_count, &net_->first_trans, &net_->last_trans,
                                                        ++transitions_, &trans_cursor_, 0);
        t->x = x;
        t->y = y;
        extent.widen(x, y);
        return t;
    }

    // An arc inscribed with the transition's first communication variable.
    void arc(MPlace* p, MTransition* t, bool to_place) {
        MPlace* ph = p;
        MTransition* th = t;
        MArc* a = to_place ? mnet::M_fast_insert_TP_edge(net_->first_place, net_->first_trans, p->number, t->number,
                                                         &ph, &th, nullptr, 0)
                           : mnet::fast_insert_PT_edge(net_->first_place, net_->first_trans, p->number, t->number,
                                                       &ph, &th, nullptr, 0);
        a->inscription = mnet::new_inscription(0);
    }

    Extent extent;

private:
    MNet* net_;
    const mnet::ValueSet& place_type_;
    std::uint32_t places_ = 0, transitions_ = 0;
    MPlace* place_cursor_ = nullptr;
    MTransition* trans_cursor_ = nullptr;
};

// Transitions 1 and 2: no action, one fresh variable, the true guard.
MTransition* silent_transition(NetBuilder& b, std::int32_t x) {
    MTransition* t = b.transition(x, 0);
    mnet::new_comvars(t->comvars, 1);
    return t;
}

}  // namespace

AutomatonNet build_automaton_net(const AutomatonText& text, const AutomatonSettings& settings) {
    AutomatonNet a;
    a.net = mnet::M_new_net();
    a.net->box = 1;
    NetBuilder b(a.net, settings.place_type);
    if (settings.init_term) {
        a.entry = b.place(mnet::PLACE_ENTRY, 0, 0);
        a.start = silent_transition(b, 100);
        b.arc(a.entry, a.start, false);
        a.exit = b.place(mnet::PLACE_EXIT, 0, 0);
        a.finish = silent_transition(b, 0);
        b.arc(a.exit, a.finish, true);
    }
    a.states.reserve(text.states.size());
    for (const AutomatonState& s : text.states) {
        MPlace* p = b.place(mnet::PLACE_INTERNAL, s.x, s.y);
        mnet::RefRecord* state = new_record(KIND_STATE, s.name);
        set_object_number(state, s.number);
        p->refs.assign(1, mnet::RefEntry{new_ref_code(state), 0});
        if (s.kind == '1') {
            if (settings.init_term) b.arc(p, a.start, true);
            else p->type = mnet::PLACE_ENTRY;
        } else if (s.kind == '3' && settings.init_term) {
            b.arc(p, a.finish, false);
        }
        a.states.push_back(p);
    }
    a.arcs.reserve(text.arcs.size());
    for (const AutomatonArc& arc : text.arcs) {
        MTransition* t = b.transition(arc.x, arc.y);
        t->label_text = arc.label;
        b.arc(a.states[arc.from], t, false);
        b.arc(a.states[arc.to], t, true);
        a.arcs.push_back(t);
    }
    if (!b.extent.empty()) {
        a.net->origin_x = b.extent.min_x;
        a.net->origin_y = b.extent.min_y;
        a.net->width = b.extent.max_x - b.extent.min_x;
        a.net->height = b.extent.max_y - b.extent.min_y;
    }
    if (settings.init_term) {
        a.finish->x = a.net->width - 100;
        a.exit->x = a.net->width;
    }
    return a;
}

void make_automaton_block(AutomatonNet& a, const std::string& file_name, AutomatonSettings& settings) {
    if (a.finish && !a.finish->pre) {
        mnet::RemoveTrans(a.net, a.finish, 0);
        a.finish = nullptr;
    }
    mnet::RefRecord* record = new_record(KIND_AUTOMATON, file_name);
    const std::uint16_t r = new_ref_code(record);
    set_object_number(record, ++settings.automaton_counter);
    std::uint16_t block = 0;
    mnet::new_named_block(file_name, 0, &block, r, 0);
    mnet::block_to_places(a.net, block);
    mnet::block_to_transitions(a.net, block);
    mnet::M_add_block(a.net, block);
    if (a.entry) a.entry->refs.assign(1, mnet::RefEntry{r, 1});
    if (a.exit) a.exit->refs.assign(1, mnet::RefEntry{r, 2});
}

mnet::MNet* translate_automaton(const std::string& file_name, AutomatonSettings& settings, bpn2::IdentRec* process) {
    std::string text;
    if (!read_file_text(file_name, text))
        throw Failure(EXIT_FAILURE_STATUS, format("could not open %s\n", file_name.c_str()));
    AutomatonFileReader reader(std::move(text));
    auto file_error = [&](const FormatError& e) {
        return Failure(EXIT_FAILURE_STATUS, format("error at line number %d in file %s\n", e.line, file_name.c_str()));
    };
    AutomatonText a;
    try {
        if (reader.read_header())
            std::fprintf(stderr,
                         "warning: file %s has old format; references will be bogus.\n"
                         "please load the project in the PFA editor and save it\n",
                         file_name.c_str());
        a = reader.read_body();
    } catch (const FormatError& e) {
        throw file_error(e);
    }
    AutomatonNet n = build_automaton_net(a, settings);
    parse_var_declarations(a.declarations);
    for (std::size_t i = 0; i < n.arcs.size(); ++i) translate_arc_label(n.arcs[i], a.arcs[i].number, process);
    make_automaton_block(n, file_name, settings);
    MNet* net = compose_with(n.net, collect_declarations());
    try {
        reader.read_annotations();
    } catch (const FormatError& e) {
        throw file_error(e);
    }
    return net;
}

}  // namespace autocast
