// An independent oracle of statecast's nets: random IF systems drawn as
// data, written as IF text, and interpreted directly.
//
// The systems use the part of the language whose meaning the translation
// fixes without waiting: processes of one or two instances whose states are
// all atomic (each transition runs as one step), variables of the range 0..2
// and booleans, signals with at most one parameter, inputs, provided
// clauses, assignments, if/else, while loops that count x up to a bound,
// outputs straight into a process's queue (`to {P}k`), nextstate and stop.
// Queues hold one signal; a signal to a full queue or to an instance that
// does not live is lost.  An input takes the signal at the head of the
// queue when it decodes into the input's arguments; a head that no
// transition of the current state takes stays there.  Every assignment stays in its range, so no
// transition stops half-way, except at an output below.
//
// Systems drawn with routes also have one or two urgent signalroutes (peer,
// unicast or multicast; a multicast one may be delayed, which changes
// nothing) declared with some of the signals, and outputs `via` them of any
// signal: a peer route hands the signal to the instance `to` names, a
// unicast route to any one instance of its receiver, a multicast route to
// both at once.  An output of a signal the route was not declared with
// never happens: its sender waits there for ever, holding the lock, so the
// system stops.
//
// The interpreter's states are compared with the explorer's markings of the
// expanded net that lie between transitions (the lock free, every living
// instance's variables set): instance states, variable values and queues.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace statecast_test {

struct OExpr {
    enum Kind { CONST, VAR, ADD_MOD, EQ, LT, NOT } kind = CONST;
    int value = 0;  // CONST: the value (0/1 for booleans); ADD_MOD, EQ, LT: the constant
    int var = -1;   // VAR, ADD_MOD, EQ, LT, NOT: the variable
    bool boolean = false;
};

struct OVar {
    std::string name;
    bool boolean = false;  // else 0..2
};

struct OSignal {
    std::string name;
    int param = -1;  // -1 none, 0 range 0..2, 1 boolean
};

struct ORoute {
    enum Kind { PEER, UNICAST, MULTICAST } kind = PEER;
    bool delayed = false;  // multicast only
    int from = 0, to = 0;  // processes
    std::vector<bool> carries;  // per signal: declared with the route
};

struct OStatement {
    enum Kind { TASK, OUTPUT, IF, WHILE } kind = TASK;
    int var = -1;        // TASK; IF: the variable both branches assign
    OExpr expr;          // TASK: the value; OUTPUT: the argument; IF: the condition
    OExpr expr2;         // IF: the value of the else branch (then: expr3); WHILE: b's value in each round
    OExpr expr3;
    int bound = 0;       // WHILE: while x < bound do task b := expr2; task x := x + 1; endwhile
    int signal = -1;     // OUTPUT
    int process = -1;    // OUTPUT: the receiver
    int instance = 0;    // OUTPUT straight or over a peer route: the receiving instance
    int route = -1;      // OUTPUT: the route of the via clause, or -1 for none
};

struct OTransition {
    int input = -1;  // signal, or -1
    bool input_var = true;
    int input_arg = 0;  // the variable, or the constant
    bool has_provided = false;
    OExpr provided;
    std::vector<OStatement> statements;
    bool stop = false;
    int next = 0;  // the next state (index)
};

struct OProcess {
    std::string name;
    int initial = 1;  // of 2 pids
    std::vector<OVar> vars;
    std::vector<std::vector<OTransition>> states;  // state 0 is the start state
};

struct OSystem {
    std::vector<OSignal> signals;
    std::vector<OProcess> processes;
    std::vector<ORoute> routes;  // route k is named r<k>
};

// The same seed gives the same system; with_routes adds routes and outputs
// over them.
OSystem random_system(std::uint64_t seed, bool with_routes = false);
std::string if_text(const OSystem& s);

struct OracleResult {
    std::set<std::string> states;  // canonical texts of the reachable states
    bool deadlock = false;         // a reachable state where nothing happens
    bool routed = false;           // a signal went over a route
    bool undeclared = false;       // an output of a signal its route does not carry was reached
};
// Every process has 2 pids (statecast -DP2): process k has the pids 2k+1,
// 2k+2.
OracleResult interpret(const OSystem& s);

struct Run;
// The same canonical texts for the markings of the expanded net that lie
// between transitions.
std::set<std::string> net_states(const OSystem& s, const Run& r);

}  // namespace statecast_test
