// pelwick: the product of a 1-safe net and a Büchi automaton, written as a
// Büchi net in APNN for cyrtal.  The automaton's states become places
// ("@P_%d@", entered from "@Q_0@"), its edges transitions ("@T_%d@") that test
// the literals of the state they enter by read arcs; a negated proposition
// gets a complementary place "Neg_%s" kept up to date by the net.  With the
// scheduler places the net and the automaton move in turn.
#pragma once

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
        std::vector<char> successors;  // by node index
        std::vector<int> literals;     // 1..props: +1, -1 or 0
    };
    std::vector<Node> nodeList;
    struct Proposition {
        bool declared = false;
        std::string name;
        int place = -1;       // the place of that name
        int complement = -1;  // its complementary place, once made
    };
    std::vector<Proposition> propositions;  // 1..props
    bool withX() const { return identifier == "LTL2BA_wX"; }
};

// Reads the automaton text; the propositions are looked up in the net.
BuchiAutomaton readAutomaton(const std::string& text, const std::string& fileName, const NetTables& net);

// Adds the complementary places and, with the scheduler, the scheduler
// places and their arcs; then writes the Büchi net.
std::string buildProduct(NetTables& net, BuchiAutomaton& ba, bool scheduler);

}  // namespace zbdd
