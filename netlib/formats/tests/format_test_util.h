// Helpers of the side-format tests: owning net pointers, a comparable form
// of a net, and writing input files.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "formats/formats.h"
#include "net.h"
#include "petri_test.h"

namespace fmt_test {

struct NetDeleter {
    void operator()(netlib::NET* net) const { netlib::delete_net(net); }
};
using NetPtr = std::unique_ptr<netlib::NET, NetDeleter>;

// Arcs of one transition: (place, weight) in place-name order.
using ArcSet = std::vector<std::pair<std::string, int>>;

struct Shape {
    std::map<std::string, int> places;                    // name -> marking
    std::multiset<std::pair<ArcSet, ArcSet>> transitions;  // (preset, postset)
    std::set<std::string> transition_names;

    bool operator==(const Shape& o) const {
        return places == o.places && transitions == o.transitions;
    }
};

// The net as places with markings and transitions as their arc sets.  Places
// without arcs and tokens are left out: not every format can write them.
inline Shape shape_of(netlib::NET* net) {
    Shape s;
    for (netlib::NET_NODE* p = net->first_place; p; p = p->next)
        if (p->preset || p->postset || p->marking) s.places[p->name] = p->marking;
    for (netlib::NET_NODE* t = net->first_transition; t; t = t->next) {
        ArcSet pre, post;
        for (netlib::NET_ARC* a = t->preset; a; a = a->t_next) pre.emplace_back(a->place->name, a->weight);
        for (netlib::NET_ARC* a = t->postset; a; a = a->t_next) post.emplace_back(a->place->name, a->weight);
        std::sort(pre.begin(), pre.end());
        std::sort(post.begin(), post.end());
        if (pre.empty() && post.empty()) continue;
        s.transitions.emplace(pre, post);
        s.transition_names.insert(t->name);
    }
    return s;
}

inline Shape shape_of(const testsupport::TestNet& net) {
    Shape s;
    std::vector<bool> used(net.places(), false);
    for (int t = 0; t < net.transitions(); ++t) {
        std::map<std::string, int> pre, post;
        for (int q : net.pre[t]) pre[net.place_names[q]] = 1, used[q] = true;
        for (int q : net.post[t]) post[net.place_names[q]] = 1, used[q] = true;
        if (pre.empty() && post.empty()) continue;
        s.transitions.emplace(ArcSet(pre.begin(), pre.end()), ArcSet(post.begin(), post.end()));
        s.transition_names.insert(net.trans_names[t]);
    }
    for (int q = 0; q < net.places(); ++q)
        if (used[q] || net.m0[q]) s.places[net.place_names[q]] = net.m0[q];
    return s;
}

inline std::string describe(const Shape& s) {
    std::string out;
    for (auto& [name, m] : s.places) out += name + "=" + std::to_string(m) + " ";
    out += "\n";
    for (auto& [pre, post] : s.transitions) {
        out += "{";
        for (auto& [p, w] : pre) out += p + "*" + std::to_string(w) + " ";
        out += "} -> {";
        for (auto& [p, w] : post) out += p + "*" + std::to_string(w) + " ";
        out += "}\n";
    }
    return out;
}

// Writes a file into the directory and returns its path.
inline std::string put(const testsupport::TempDir& dir, const std::string& name, const std::string& text) {
    std::string path = dir.file(name);
    testsupport::write_file(path, text);
    return path;
}

// Arc weight of place->transition (pt) or transition->place, 0 when absent.
inline int weight(netlib::NET* net, const std::string& place, const std::string& trans, bool pt) {
    for (netlib::NET_NODE* p = net->first_place; p; p = p->next) {
        if (p->name != place) continue;
        for (netlib::NET_ARC* a = pt ? p->postset : p->preset; a; a = a->p_next)
            if (a->transition->name == trans) return a->weight;
    }
    return 0;
}

inline std::vector<std::string> names(netlib::NET_NODE* first) {
    std::vector<std::string> out;
    for (netlib::NET_NODE* n = first; n; n = n->next) out.push_back(n->name);
    return out;
}

}  // namespace fmt_test
