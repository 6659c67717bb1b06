// The net tables that the APNN reader fills: places, transitions and arcs
// with their adjacency lists, an id table shared by places and transitions,
// and a table of unique place names.
//
// Lists are kept in vectors in the order the elements were added; the
// listing order of the format ("newest first") is their reverse.  A read arc
// is one arc that stands in all four lists of its place and transition.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace zbdd {

// The three readers differ in keywords, arc types and messages.
enum class Dialect { Cyrtal, Movrane, Pelwick };

// Arc flags.  cyrtal and pelwick know the first two.
enum ArcFlag : int {
    kOrdinaryArc = 0,
    kReadArc = 1,
    kInhibitorArc = 2,         // movrane
    kInhibitorProduceArc = 3,  // movrane: the transition also puts a token there
};

struct Place {
    std::string id;
    std::string name;
    int index = 0;
    int init = 0;
    int accepting = 0;  // movrane and pelwick: the partition number
    std::vector<int> in;   // arcs transition -> place
    std::vector<int> out;  // arcs place -> transition
};

struct Transition {
    std::string id;
    std::string name;
    int automaton = 0;
    int index = 0;
    std::vector<int> pre;   // arcs place -> transition
    std::vector<int> post;  // arcs transition -> place
};

struct Arc {
    int place = 0;
    int trans = 0;
    int flag = kOrdinaryArc;
};

// The attributes of one element as the parser collects them.
struct ElementAttributes {
    bool hasId = false, hasName = false, hasFrom = false, hasTo = false;
    std::string id, name, from, to, type = "ordinary";
    long long init = 1, capacity = 1, accepting = 0, automaton = 0, weight = 1;
};

class NetTables {
public:
    NetTables();

    Dialect dialect = Dialect::Cyrtal;

    std::vector<Place> places;            // by index
    std::vector<Transition> transitions;  // by index
    std::vector<Arc> arcs;
    int markedPlaces = 0;  // NrMP

    int nrP() const { return static_cast<int>(places.size()); }
    int nrT() const { return static_cast<int>(transitions.size()); }

    // Node ids: places and transitions share one id space.
    enum class Kind { Place, Transition };
    struct NodeRef {
        Kind kind;
        int index;
    };
    bool findNodeById(const std::string& id, NodeRef& out) const;
    // -1 when no place has the name.
    int findPlaceByName(const std::string& name) const;

    // The checks and linking of the format; failures are fatal.
    void addPlace(const ElementAttributes& a, int line);
    void addTransition(const ElementAttributes& a, int line);
    void addArc(const ElementAttributes& a, int line);

    // pelwick's own places and arcs: no checks, the id as name.
    int addPlaceUnchecked(const std::string& id, const std::string& name, int init);
    int linkArc(int place, int trans, bool toTransition);

    void reset();

private:
    static std::uint32_t textHash(const std::string& text);
    void addMovraneArc(const ElementAttributes& a, int place, int trans, bool toTransition, int line);
    void addBuechiArc(const ElementAttributes& a, int place, int trans, bool toTransition, int line);
    int arcBetween(const std::vector<int>& list, int place) const;

    struct IdEntry {
        std::string id;
        NodeRef ref;
    };
    std::vector<std::vector<IdEntry>> idTable_;    // 997 buckets
    std::vector<std::vector<int>> nameTable_;      // 997 buckets of place indices
    std::unordered_map<std::string, int> nextSuffix_;  // renaming: base name -> next suffix to try
};

}  // namespace zbdd
