#include "nettables.h"

#include "output.h"

namespace zbdd {

namespace {
constexpr std::size_t kBuckets = 997;
}

NetTables::NetTables() { reset(); }

void NetTables::reset() {
    places.clear();
    transitions.clear();
    arcs.clear();
    markedPlaces = 0;
    idTable_.assign(kBuckets, {});
    nameTable_.assign(kBuckets, {});
    nextSuffix_.clear();
}

std::uint32_t NetTables::textHash(const std::string& text) {
    std::uint32_t h = 0;
    for (unsigned char c : text) h = (h << 4) | ((h >> 28) ^ (c & 15u));
    return (h & 0x7FFFFFFFu) % kBuckets;
}

bool NetTables::findNodeById(const std::string& id, NodeRef& out) const {
    const auto& bucket = idTable_[textHash(id)];
    for (auto it = bucket.rbegin(); it != bucket.rend(); ++it) {
        if (it->id == id) {
            out = it->ref;
            return true;
        }
    }
    return false;
}

int NetTables::findPlaceByName(const std::string& name) const {
    const auto& bucket = nameTable_[textHash(name)];
    for (auto it = bucket.rbegin(); it != bucket.rend(); ++it)
        if (places[*it].name == name) return *it;
    return -1;
}

void NetTables::addPlace(const ElementAttributes& a, int line) {
    if (!a.hasId) fatal("APNN: Place at line %d needs a node id!\n", line);
    NodeRef ref;
    if (findNodeById(a.id, ref)) fatal("APNN: Duplicated node id!\n-> P: %s at line %d\n", a.id.c_str(), line);
    if ((a.init != 0 && a.init != 1) || a.capacity != 1)
        fatal("APNN: Only 1-bounded nets are allowed!\n-> P: %s, %d, %d at line %d\n", a.id.c_str(),
              static_cast<int>(a.init), static_cast<int>(a.capacity), line);
    const std::string& base = a.hasName ? a.name : a.id;
    std::string name = base;
    if (findPlaceByName(name) >= 0) {
        // The first free "base_k" from k = 0.  Every suffix below the one
        // this base reached last time is still taken (names stay), so the
        // search resumes there instead of walking them again.
        int& counter = nextSuffix_[base];
        do
            name = base + "_" + std::to_string(counter++);
        while (findPlaceByName(name) >= 0);
    }
    if (name != base || !a.hasName)
        warning("APNN: Place %s at line %d has changed his name to %s\n", a.id.c_str(), line, name.c_str());
    Place p;
    p.id = a.id;
    p.name = name;
    p.index = nrP();
    p.init = static_cast<int>(a.init);
    p.accepting = static_cast<int>(a.accepting);
    places.push_back(std::move(p));
    nameTable_[textHash(name)].push_back(places.back().index);
    idTable_[textHash(a.id)].push_back({a.id, {Kind::Place, places.back().index}});
    if (a.init != 0) ++markedPlaces;
}

int NetTables::addPlaceUnchecked(const std::string& id, const std::string& name, int init) {
    Place p;
    p.id = id;
    p.name = name;
    p.index = nrP();
    p.init = init;
    places.push_back(std::move(p));
    nameTable_[textHash(name)].push_back(places.back().index);
    idTable_[textHash(id)].push_back({id, {Kind::Place, places.back().index}});
    if (init != 0) ++markedPlaces;
    return places.back().index;
}

void NetTables::addTransition(const ElementAttributes& a, int line) {
    if (!a.hasId) fatal("APNN: Transition at line %d needs a node id!\n", line);
    NodeRef ref;
    if (findNodeById(a.id, ref)) fatal("APNN: Duplicated node id!\n-> T %s at line %d\n", a.id.c_str(), line);
    Transition t;
    t.id = a.id;
    t.name = a.hasName ? a.name : std::string();
    t.automaton = static_cast<int>(a.automaton);
    t.index = nrT();
    transitions.push_back(std::move(t));
    idTable_[textHash(a.id)].push_back({a.id, {Kind::Transition, transitions.back().index}});
}

int NetTables::linkArc(int place, int trans, bool toTransition) {
    int idx = static_cast<int>(arcs.size());
    arcs.push_back({place, trans, kOrdinaryArc});
    if (toTransition) {
        transitions[trans].pre.push_back(idx);
        places[place].out.push_back(idx);
    } else {
        transitions[trans].post.push_back(idx);
        places[place].in.push_back(idx);
    }
    return idx;
}

int NetTables::arcBetween(const std::vector<int>& list, int place) const {
    for (int a : list)
        if (arcs[a].place == place) return a;
    return -1;
}

void NetTables::addArc(const ElementAttributes& a, int line) {
    if (a.weight != 1) fatal("APNN: Only 1-bounded nets are allowed! -> at line %d\n ", line);
    if (dialect == Dialect::Movrane) {
        if (a.type != "ordinary" && a.type != "readarc" && a.type != "inhibitor")
            fatal("APNN: Only \"ordinary\", \"readarc\" and \"inhibitor\" arcsare supported! -> at line %d\n", line);
    } else if (a.type != "ordinary" && a.type != "readarc") {
        fatal("APNN: Only ordinary arcs or readarcs are supported! -> at line %d\n", line);
    }
    if (!a.hasId || !a.hasFrom || !a.hasTo)
        fatal("APNN: Arc at line %d needs a node_id, a from_id and a to_id!\n", line);
    NodeRef from, to;
    if (!findNodeById(a.from, from) || !findNodeById(a.to, to))
        fatal("APNN: Nodes at line %d have to be defined before referenced!\n", line);
    if (from.kind == to.kind) fatal("APNN: Petri nets have to be bipartite! -> line %d\n", line);
    const bool toTransition = from.kind == Kind::Place;
    const int place = toTransition ? from.index : to.index;
    const int trans = toTransition ? to.index : from.index;
    if (dialect == Dialect::Movrane)
        addMovraneArc(a, place, trans, toTransition, line);
    else
        addBuechiArc(a, place, trans, toTransition, line);
}

// cyrtal and pelwick: one arc record per place and transition.  An ordinary
// arc whose opposite is already there joins it into a read arc; a second
// read arc is the same read arc again; every other repeat would need a
// second token and is refused.
void NetTables::addBuechiArc(const ElementAttributes& a, int place, int trans, bool toTransition, int line) {
    Transition& t = transitions[trans];
    const bool read = a.type == "readarc";
    if (!toTransition && read) fatal("Readarcs go from places to transitions!\n");
    const int same = arcBetween(toTransition ? t.pre : t.post, place);
    const int opposite = arcBetween(toTransition ? t.post : t.pre, place);
    if (read) {
        if (same >= 0 && arcs[same].flag == kReadArc) return;
        if (same >= 0 || opposite >= 0) fatal("APNN: Only 1-bounded nets are allowed! -> at line %d\n ", line);
        int idx = linkArc(place, trans, true);
        arcs[idx].flag = kReadArc;
        t.post.push_back(idx);
        places[place].in.push_back(idx);
        return;
    }
    if (same >= 0) fatal("APNN: Only 1-bounded nets are allowed! -> at line %d\n ", line);
    if (opposite >= 0) {
        // The opposite arc is ordinary: a read arc would stand in both lists.
        arcs[opposite].flag = kReadArc;
        if (toTransition) {
            t.pre.push_back(opposite);
            places[place].out.push_back(opposite);
        } else {
            t.post.push_back(opposite);
            places[place].in.push_back(opposite);
        }
        return;
    }
    linkArc(place, trans, toTransition);
}

// movrane: ordinary, read and inhibitor arcs.  A declared read arc stands in
// the preset only; an ordinary pair p -> t, t -> p becomes a read arc in all
// four lists, and an inhibitor arc with an arc t -> p becomes an inhibitor
// arc that produces (flag 3).
void NetTables::addMovraneArc(const ElementAttributes& a, int place, int trans, bool toTransition, int line) {
    Transition& t = transitions[trans];
    Place& p = places[place];
    if (toTransition) {
        if (arcBetween(t.pre, place) >= 0)
            fatal("There are several arcs from place %s to transiton %s\n", p.name.c_str(), t.name.c_str());
        const int back = arcBetween(t.post, place);
        if (back >= 0) {
            if (a.type == "readarc" || arcs[back].flag != kOrdinaryArc)
                fatal("Check the arcs between place %s and transiton %s\n", p.name.c_str(), t.name.c_str());
            arcs[back].flag = a.type == "inhibitor" ? kInhibitorProduceArc : kReadArc;
            t.pre.push_back(back);
            p.out.push_back(back);
            return;
        }
        int idx = linkArc(place, trans, true);
        arcs[idx].flag = a.type == "readarc" ? kReadArc : a.type == "inhibitor" ? kInhibitorArc : kOrdinaryArc;
        return;
    }
    if (a.type != "ordinary") fatal("Readarcs and Inhibitor arcs go from places to transitions!\n");
    if (arcBetween(t.post, place) >= 0)
        fatal("There are several arcs from transition %s to place %s\n", t.name.c_str(), p.name.c_str());
    const int fwd = arcBetween(t.pre, place);
    if (fwd >= 0) {
        Arc& arc = arcs[fwd];
        if (arc.flag == kOrdinaryArc)
            arc.flag = kReadArc;
        else if (arc.flag == kInhibitorArc)
            arc.flag = kInhibitorProduceArc;
        else
            fatal("Place: %s, Tr: %s - second arc is neither ordinary nor inhibitor!\n", p.name.c_str(),
                  t.name.c_str());
        t.post.push_back(fwd);
        p.in.push_back(fwd);
        return;
    }
    linkArc(place, trans, false);
}

}  // namespace zbdd
