// The test oracle of autocast: a system of communicating automata over
// global variables, written as a project with its automaton files, and a
// direct interpreter of their product.  The interpreter knows nothing of
// M-nets: it reads the labels with a parser of its own and runs the
// automata on the variables' values, with the B(PN)2 meaning of an atomic
// action ('x the value before, x' the value after, a plain x read and kept,
// a variable named in the action but not kept may take any value of its
// set).
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace oracle {

struct Variable {
    std::string name;
    int lo = 0, hi = 1;
    std::optional<int> init;  // none: any value of lo..hi
    // The automaton whose declarations hold it, -1 for a global variable of
    // the project.  Names are unique in the system.
    int owner = -1;
};

struct State {
    std::string name;  // unique in the system
    char kind = '2';   // '1' initial, '2', '3' final
};

struct Arc {
    int from = 0, to = 0;
    std::string label;  // "<...>"
};

struct Automaton {
    std::string file;
    std::vector<State> states;
    std::vector<Arc> arcs;
};

struct System {
    std::vector<Variable> variables;
    std::vector<Automaton> automata;
};

// Writes "t.prj" and the automaton files into the directory.
void write_system(const System& system, const std::string& dir);
std::string project_text(const System& system);
// The file of automaton a, its own variables declared in its TX section.
std::string automaton_text(const System& system, std::size_t a);

// Where an automaton is, as seen from outside: a state index, or none
// (not started yet, or gone through its final state).
constexpr int NOWHERE = -1;

// A state of the product, as seen from outside: where each automaton is
// and the value of each variable; the variables of an automaton that is
// nowhere have the value NOWHERE (before the automaton starts and after it
// ends they need not exist).
struct View {
    std::vector<int> where;
    std::vector<int> values;
    bool operator<(const View& o) const { return where != o.where ? where < o.where : values < o.values; }
    bool operator==(const View& o) const { return where == o.where && values == o.values; }
};

struct Behaviour {
    std::set<View> reachable;
    std::set<View> dead;         // dead states but the one where every automaton has ended
    bool all_ended = false;      // every automaton can end (the net then terminates)
    bool deadlock() const { return all_ended || !dead.empty(); }
};

// The product of the automata: each starts in its initial state (after
// the start transition when `entry_exit` holds) and, with `entry_exit`,
// may end from its final state.  (The net ends an automaton by one
// transition that takes the token of every final state, so an automaton
// with several final states never ends; the interpreter follows it.  The
// systems hold one initial state per automaton.)
Behaviour explore(const System& system, bool entry_exit = true);

// Values of a label's expression under pre and post values (tests of the
// interpreter itself): nullopt when the label does not parse.
std::optional<bool> holds(const std::string& label, const System& system, const std::vector<int>& pre,
                          const std::vector<int>& post);

}  // namespace oracle
