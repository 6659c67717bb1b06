// pelwick: the product of a 1-safe net and a Büchi automaton, written as a
// Büchi net in APNN for cyrtal.  The automaton's states become places
// ("@P_%d@", entered from "@Q_0@"), its edges transitions ("@T_%d@") that test
// the literals of the state they enter by read arcs; a negated proposition
// gets a complementary place "Neg_%s" kept up to date by the net.  With the
// scheduler places the net and the automaton move in turn.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "nettables.h"

namespace zbdd {

struct BuchiAutomaton {
    std::string identifier;
    int nodes = 0;  // from the header
    int props = 0;
    struct Node {
        std::string name;
        bool initial = false;
        bool accepting = false;
        // Kept sparse, so that the header's counts cost nothing until
        // nodes and literals use them.
        std::set<int> successors;     // node indices
        std::map<int, int> literals;  // proposition index -> +1 or -1
    };
    std::vector<Node> nodeList;
    struct Proposition {
        std::string name;
        int place = -1;       // the place of that name
        int complement = -1;  // its complementary place, once made
    };
    std::map<int, Proposition> propositions;  // the declared ones, by index 1..props
    bool withX() const { return identifier == "LTL2BA_wX"; }
};

// Reads the automaton text; the propositions are looked up in the net.
BuchiAutomaton readAutomaton(const std::string& text, const std::string& fileName, const NetTables& net);

// Adds the complementary places and, with the scheduler, the scheduler
// places and their arcs; then writes the Büchi net.
std::string buildProduct(NetTables& net, BuchiAutomaton& ba, bool scheduler);

}  // namespace zbdd
