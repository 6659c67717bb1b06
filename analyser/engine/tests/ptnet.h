// Nets described by test code: a place/transition net (places of arity 0,
// and optionally one tester place of arity 1 whose token carries a value),
// its table file written the way the net compiler writes it, and the
// functions the generated code would define for the engine (ptnet.cpp):
// _CompInst builds one instance per transition from the description, and
// _Followers computes the successors of a state of a net of arity-0
// places the way the generated successor function does.
//
// In-process tests set ptnet::current; the command-line test analyser reads
// the description from the file named by PTNET_ARCS.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "petri_test.h"

namespace ptnet {

struct Arc {
    int place;
    unsigned long weight;
    std::int32_t value = 0;  // the token's value on a place of arity 1
};

struct Transition {
    std::string name;
    std::vector<Arc> in, out;
    bool visible = true;
    unsigned cls = 0;
    std::vector<std::int32_t> values;  // the instance's variable values
    // 1 the initialisation transition of a Buchi section (enabled in the
    // start node only), 2 its stuttering transition (enabled when nothing
    // before it is).
    unsigned kind = 0;
};

struct Place {
    std::string name;
    unsigned arity = 0;
    // (value, count); a place of arity 0 holds at most one entry.
    std::vector<std::pair<std::int32_t, unsigned long>> marking;
};

struct Net {
    std::vector<Place> places;
    std::vector<Transition> transitions;
    unsigned classes = 1;
    std::vector<std::pair<unsigned, unsigned>> prec;  // (lower class, higher class)
    int tester = -1;                                  // the tester place
    std::map<std::int32_t, unsigned> testerBits;      // value: 1 reject, 2 deadlock, 4 livelock, 8 infinite
    // A Buchi automaton on the tester place: buchi[q - 1] lists the states
    // that may follow state q; require[q - 1] the (place, marked) pairs that
    // the marking entered with state q must satisfy (what the net
    // compiler's _BuchiOK checks).
    std::vector<std::vector<std::int32_t>> buchi;
    std::vector<std::vector<std::pair<int, bool>>> require;
};

// The net of a test net: arity-0 places, every transition visible unless
// visible says otherwise.
Net FromTestNet(const testsupport::TestNet& net, const std::vector<bool>& visible = {});

// The table file <base>.dat (variables are not written: the transitions
// of a net with values come with the net compiler's table file) and the
// description <base>.arcs.
std::string DatBytes(const Net& net);
bool Write(const Net& net, const std::string& base, bool withDat = true);

// Description as text, and back.
std::string ToText(const Net& net);
Net FromText(const std::string& text);

// The net _CompInst builds in-process (null: read PTNET_ARCS).
extern const Net* current;

}  // namespace ptnet
