// Small hand-made boxes for the box-algebra tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mnet_algebra.h"
#include "mnet_labels.h"

namespace algebra_test {

using namespace mnet;

struct Algebra : ::testing::Test {
    void SetUp() override {
        MNetOptions[0] = MNetOptions[1] = MNetOptions[2] = 0;
        init_symtabs();
        init_action_buffers();
        init_var_buffers();
        init_blocks();
        transition_counter = 0;
        dead_transition_counter = 0;
        variable_rendering_mode = 0;
        arc_weight_bound = 1;
        net_file_name.clear();
        ref_file_name.clear();
    }
    void TearDown() override { MNetOptions[0] = MNetOptions[1] = MNetOptions[2] = 0; }
};

// An atomic box whose transition carries the action set, guard and name
// given; slot 0 is the token variable of its arcs, the action parameters
// come after it.
inline MNet* atom(const std::string& actions, const std::string& guard = "", const char* name = nullptr) {
    MTransition tmp;
    new_comvars(tmp.comvars, 1);
    ActionSet label = actions.empty() ? new_actset() : parse_actionset(actions, &tmp);
    Guard g = parse_guard(guard, &tmp);
    MNet* n = M_atomic_box(label, &g, &tmp.restrictions, tmp.comvars, 0);
    if (name) n->first_trans->label_text = std::string(name);
    return n;
}

inline ActionSet actions(const std::string& text) {
    MTransition tmp;
    return parse_actionset(text, &tmp);
}

inline std::vector<MPlace*> places(const MNet* n) {
    std::vector<MPlace*> v;
    for (MPlace* p = n->first_place; p; p = p->next) v.push_back(p);
    return v;
}

inline std::vector<MTransition*> transitions(const MNet* n) {
    std::vector<MTransition*> v;
    for (MTransition* t = n->first_trans; t; t = t->next) v.push_back(t);
    return v;
}

inline int count_type(const MNet* n, std::uint8_t type) {
    int k = 0;
    for (MPlace* p : places(n)) k += p->type == type;
    return k;
}

inline MTransition* named(const MNet* n, const std::string& name) {
    for (MTransition* t : transitions(n))
        if (t->label_text && *t->label_text == name) return t;
    return nullptr;
}

// Names of the transitions at the other ends of an arc list.
inline std::vector<std::string> neighbours(const MArc* list, bool place_side) {
    std::vector<std::string> v;
    for (const MArc* a = list; a; a = place_side ? a->pnext : a->tnext)
        v.push_back(a->trans->label_text ? *a->trans->label_text : std::string("?"));
    std::sort(v.begin(), v.end());
    return v;
}

// The sorted parts of a joined transition's name ("t1*t3" -> {t1, t3}).
inline std::vector<std::string> parts(const std::string& text) {
    std::vector<std::string> v;
    std::size_t start = 0;
    for (;;) {
        std::size_t k = text.find('*', start);
        v.push_back(text.substr(start, k == std::string::npos ? std::string::npos : k - start));
        if (k == std::string::npos) break;
        start = k + 1;
    }
    std::sort(v.begin(), v.end());
    return v;
}

inline bool holds_code(const MTransition* t, std::uint16_t code) {
    for (const ActionTerm& a : t->label)
        if (a.code == code) return true;
    return false;
}

}  // namespace algebra_test
