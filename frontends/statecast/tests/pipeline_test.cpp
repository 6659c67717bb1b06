// statecast's nets on the modelling road: each specification goes through
// statecast and flatnet, and the explorer, trelmik and dlbacktrack give the
// hand-worked expectations of its behaviour.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "mnet.h"
#include "mnet_algebra.h"
#include "pipeline.h"

namespace statecast_test {
namespace {

using testsupport::read_file;
using testsupport::shell_quote;

// trelmik and dlbacktrack on the run's low-level net: true when dlbacktrack
// finds no deadlock.
bool prefix_deadlock_free(const Run& r) {
    std::string bin = VOS_BIN_DIR;
    std::string cd = "cd " + shell_quote(r.dir.path()) + " && ";
    auto t = testsupport::run(cd + bin + "/trelmik -m=spec spec.ll_net");
    EXPECT_EQ(t.exit_code, 0) << t.err;
    auto d = testsupport::run(cd + bin + "/dlbacktrack spec.mci");
    EXPECT_EQ(d.exit_code, 0) << d.err;
    return d.out.rfind("TRUE", 0) == 0;
}

void expect_expanded(const Run& r) {
    ASSERT_EQ(r.statecast.exit_code, 0) << r.statecast.err << r.statecast.out;
    ASSERT_EQ(r.flatnet.exit_code, 0) << r.flatnet.err;
    ASSERT_TRUE(r.expanded);
    ASSERT_TRUE(r.space.complete);
    EXPECT_TRUE(r.space.safe);
}

// For every reachable marking, the values of the places labelled
// "name=(pid,value)": "pid:name" -> value.
std::vector<std::map<std::string, std::string>> variables_by_marking(const Run& r) {
    struct Cell {
        std::string key, value;
    };
    std::vector<Cell> cells(r.place_label.size());
    for (std::size_t p = 0; p < r.place_label.size(); ++p) {
        std::string name;
        std::vector<std::string> v;
        if (split_label(r.place_label[p], name, v) && v.size() == 2) cells[p] = {v[0] + ":" + name, v[1]};
    }
    std::vector<std::map<std::string, std::string>> out;
    for (const auto& m : r.space.states) {
        auto& of = out.emplace_back();
        for (std::size_t p = 0; p < m.size(); ++p)
            if (m[p] > 0 && !cells[p].key.empty()) of[cells[p].key] = cells[p].value;
    }
    return out;
}

// ---------------------------------------------------------------------------

TEST(StatecastPipeline, LoopingStartStateNeverDeadlocks) {
    auto r = pipeline("system S;\n process P(1);\n  state s0 #start;\n   nextstate s0;\n  endstate;\n"
                      " endprocess;\nendsystem;\n");
    expect_expanded(*r);
    EXPECT_FALSE(testsupport::has_deadlock(r->space));
    EXPECT_TRUE(prefix_deadlock_free(*r));
    auto fired = r->fired();
    EXPECT_TRUE(std::count(fired.begin(), fired.end(), "state s0")) << "the transition of s0 never fires";
}

TEST(StatecastPipeline, InputWithoutSenderDeadlocks) {
    auto r = pipeline("system S;\n signal a();\n process P(1);\n  state s0 #start;\n   input a();\n"
                      "   nextstate s0;\n  endstate;\n endprocess;\nendsystem;\n");
    expect_expanded(*r);
    EXPECT_TRUE(testsupport::has_deadlock(r->space));
    EXPECT_FALSE(prefix_deadlock_free(*r));
    EXPECT_TRUE(r->transitions("state s0, input a").size() > 0);
    auto fired = r->fired();
    EXPECT_EQ(std::count(fired.begin(), fired.end(), "state s0, input a"), 0);
}

// The states reachable without firing a transition whose label starts with
// the prefix.
std::set<int> reachable_without(const Run& r, const std::string& prefix) {
    std::set<int> seen{0};
    std::vector<int> todo{0};
    while (!todo.empty()) {
        int s = todo.back();
        todo.pop_back();
        for (const auto& e : r.space.succ[static_cast<std::size_t>(s)]) {
            if (r.trans_label[static_cast<std::size_t>(e.first)].compare(0, prefix.size(), prefix) == 0) continue;
            if (seen.insert(e.second).second) todo.push_back(e.second);
        }
    }
    return seen;
}

TEST(StatecastPipeline, InputFollowsOutput) {
    const std::string spec =
        "system S;\n signal a();\n"
        " process P(1);\n  state p0 #start;\n   output a() via {r}0;\n   nextstate p1;\n  endstate;\n"
        "  state p1;\n   stop;\n  endstate;\n endprocess;\n"
        " process Q(1);\n  state q0 #start;\n   input a();\n   stop;\n  endstate;\n endprocess;\n"
        " signalroute r(1) #unicast from P to Q with a;\nendsystem;\n";
    auto r = pipeline(spec);
    expect_expanded(*r);
    auto fired = r->fired();
    ASSERT_TRUE(std::count(fired.begin(), fired.end(), "state q0, input a")) << "Q never receives a";
    for (int s : reachable_without(*r, "output a"))
        for (const auto& e : r->space.succ[static_cast<std::size_t>(s)])
            EXPECT_NE(r->trans_label[static_cast<std::size_t>(e.first)], "state q0, input a");
    // Both processes end, and so does the system: its only dead marking,
    // which the prefix finds too.
    auto dead = testsupport::dead_states(r->space);
    ASSERT_EQ(dead.size(), 1u);
    EXPECT_FALSE(prefix_deadlock_free(*r));
}

TEST(StatecastPipeline, KillTakesOnlyTheCopyOfItsTarget) {
    const std::string spec =
        "system S;\n signal a();\n"
        " process P(1);\n  state p0 #start;\n   kill {Q}0;\n   stop;\n  endstate;\n endprocess;\n"
        " process Q(1);\n  state q0 #start;\n   input a();\n   nextstate q0;\n  endstate;\n endprocess;\n"
        " signalroute r(1) from P to Q with a;\nendsystem;\n";
    auto r = pipeline(spec);
    expect_expanded(*r);
    std::vector<std::string> kills;
    for (const auto& l : r->fired())
        if (l.compare(0, 4, "kill") == 0) kills.push_back(l);
    EXPECT_EQ(kills, std::vector<std::string>{"kill Q"});
    // The high-level net holds a copy per process and route and the stop
    // branch; the expansion keeps only those whose guard can hold.
    std::string hl = read_file(r->file(".hl_net"));
    for (const char* other : {"b\"kill P\"", "b\"kill Q\"", "b\"kill r\"", "b\"kill self\""})
        EXPECT_NE(hl.find(other), std::string::npos) << other;
    for (const char* other : {"kill P", "kill r", "kill self"}) EXPECT_TRUE(r->transitions(other).empty()) << other;
    // Q killed and P stopped: the system ends, for the explorer and the prefix
    EXPECT_TRUE(testsupport::has_deadlock(r->space));
    EXPECT_FALSE(prefix_deadlock_free(*r));
}

// State numbers go beyond 8 bits: a ring of 260 states runs round.
TEST(StatecastPipeline, RingBeyondTwoHundredFiftyFiveStates) {
    std::string spec = "system S;\n process P(1);\n";
    for (int i = 0; i < 260; ++i)
        spec += "  state s" + std::to_string(i) + (i == 0 ? " #start" : "") + "; nextstate s" +
                std::to_string((i + 1) % 260) + "; endstate;\n";
    spec += " endprocess;\nendsystem;\n";
    auto r = pipeline(spec);
    expect_expanded(*r);
    EXPECT_FALSE(testsupport::has_deadlock(r->space));
    std::set<std::string> states = r->marked("P.state");
    EXPECT_EQ(states.count("1,256"), 1u);
    EXPECT_EQ(states.count("1,260"), 1u);
    auto fired = r->fired();
    EXPECT_TRUE(std::count(fired.begin(), fired.end(), "state s259"));
    EXPECT_TRUE(std::count(fired.begin(), fired.end(), "nextstate s0"));
}

// {integer} p: the instance index of the process or route that owns the
// pid, 0 for nil and the environment.
TEST(StatecastPipeline, InstanceIndexOfPids) {
    const std::string spec =
        "system S;\n type t = range 0..2;\n signal a();\n"
        " process P(1);\n  var q pid; var k t;\n"
        "  state p0 #start;\n   task q := {env}0; nextstate p1;\n   task q := {P}1; nextstate p1;\n"
        "   task q := {Q}1; nextstate p1;\n   task q := {r}0; nextstate p1;\n   nextstate p1;\n  endstate;\n"
        "  state p1;\n   task k := 2; task k := {integer} q; nextstate p2;\n  endstate;\n"
        "  state p2; nextstate p2; endstate;\n endprocess;\n"
        " process Q(1);\n  state q0 #start; stop; endstate;\n endprocess;\n"
        " signalroute r(1) from P to Q with a;\nendsystem;\n";
    auto r = pipeline(spec, "-DP2");  // P: pids 1, 2; Q: 3, 4; r: 5
    expect_expanded(*r);
    std::set<std::string> pairs;
    for (const auto& of : variables_by_marking(*r))
        if (of.count("1:P.state") && of.at("1:P.state") == "3") pairs.insert(of.at("1:q") + "," + of.at("1:k"));
    EXPECT_EQ(pairs, (std::set<std::string>{"dot,0", "0,0", "2,1", "4,1", "5,0"}));
}

// A kill of the own pid can take only its stop branch, which ends the
// instance.
TEST(StatecastPipeline, KillOfTheOwnPidStops) {
    const std::string spec =
        "system S;\n process P(1);\n  var q pid;\n"
        "  state p0 #start; task q := self; nextstate p1; endstate;\n"
        "  state p1; kill q; nextstate p2; endstate;\n  state p2; nextstate p2; endstate;\n endprocess;\n"
        " process Q(1);\n  state q0 #start; nextstate q0; endstate;\n endprocess;\nendsystem;\n";
    auto r = pipeline(spec);
    expect_expanded(*r);
    std::vector<std::string> kills;
    for (const auto& l : r->fired())
        if (l.compare(0, 4, "kill") == 0) kills.push_back(l);
    EXPECT_EQ(kills, std::vector<std::string>{"kill self"});
    EXPECT_EQ(r->marked("P.state").count("1,0"), 1u);  // the instance ended
    auto fired = r->fired();
    EXPECT_EQ(std::count(fired.begin(), fired.end(), "nextstate p2"), 0);
}

// The instance that kills itself leaves only through a stop that follows;
// before a nextstate it waits for ever for its old state, and in a state
// that is not #unstable it keeps the lock, so that Q stops too.
TEST(StatecastPipeline, KillOfTheOwnInstanceEndsItOnlyBeforeStop) {
    struct Case {
        const char* attributes;
        const char* rest;
        bool leaves;    // the instance leaves its loop
        bool deadlock;  // Q cannot run round for ever
    };
    for (const Case& c : {Case{"", "stop;", true, false}, Case{"", "nextstate p1;", false, true},
                          Case{" #unstable", "nextstate p1;", false, false}}) {
        std::string spec = std::string("system S;\n process P(1);\n  state p0 #start") + c.attributes +
                           ";\n   kill self;\n   " + c.rest +
                           "\n  endstate;\n  state p1; nextstate p1; endstate;\n endprocess;\n"
                           " process Q(1);\n  state q0 #start; nextstate q0; endstate;\n endprocess;\nendsystem;\n";
        auto r = pipeline(spec);
        expect_expanded(*r);
        auto fired = r->fired();
        EXPECT_EQ(std::any_of(fired.begin(), fired.end(),
                              [](const std::string& l) { return l.find("exit P") != std::string::npos; }),
                  c.leaves)
            << c.attributes << " " << c.rest;
        EXPECT_EQ(testsupport::has_deadlock(r->space), c.deadlock) << c.attributes << " " << c.rest;
        EXPECT_EQ(prefix_deadlock_free(*r), !c.deadlock) << c.attributes << " " << c.rest;
    }
}

// An input takes only the head of the queue: a head that no transition of
// the state inputs keeps every signal behind it waiting.
TEST(StatecastPipeline, QueueHeadBlocksTheSignalsBehindIt) {
    struct Case {
        const char* other;  // a further transition of Q's state q0
        bool received;      // Q takes a, which waits behind b
    };
    for (const Case& c : {Case{"", false}, Case{"   input b(); nextstate q0;\n", true}}) {
        std::string spec = std::string("system S;\n signal a(); signal b();\n") +
                           " process P(1);\n  state p0 #start; output b() to {Q}0; output a() to {Q}0; stop; endstate;\n"
                           " endprocess;\n process Q(1);\n  state q0 #start;\n   input a(); nextstate q1;\n" + c.other +
                           "  endstate;\n  state q1; nextstate q1; endstate;\n endprocess;\nendsystem;\n";
        auto r = pipeline(spec, "-DQ2");
        expect_expanded(*r);
        auto fired = r->fired();
        EXPECT_EQ(std::count(fired.begin(), fired.end(), "state q0, input a") > 0, c.received) << c.other;
        EXPECT_EQ(testsupport::has_deadlock(r->space), !c.received) << c.other;
        EXPECT_EQ(prefix_deadlock_free(*r), c.received) << c.other;
    }
}

// ---------------------------------------------------------------------------
// Signalroutes: which instances of Q receive the one signal P sends.

struct RouteKind {
    const char* attributes;
    const char* to;
    std::set<std::string> receivers;  // pids of Q that receive
    bool both;                        // both in one run
};

// One entry per route kind, so that each stays short under the sanitizers.
class StatecastRouteKinds : public testing::TestWithParam<RouteKind> {};

TEST_P(StatecastRouteKinds, DeliverToTheirReceivers) {
    const RouteKind& c = GetParam();
    std::string spec = std::string("system S;\n signal a();\n") +
                       " process P(1);\n  state p0 #start;\n   output a() via {r}0" + c.to +
                       ";\n   nextstate p1;\n  endstate;\n  state p1; nextstate p1; endstate;\n endprocess;\n"
                       " process Q(2);\n  var got boolean;\n  state q0 #start;\n   input a();\n"
                       "   task got := true;\n   nextstate q1;\n  endstate;\n"
                       "  state q1; nextstate q1; endstate;\n endprocess;\n"
                       " signalroute r(1) " + c.attributes + " from P to Q with a;\nendsystem;\n";
    auto r = pipeline(spec, "-DP2");
    expect_expanded(*r);
    std::set<std::string> receivers;
    for (const auto& v : r->marked("got"))
        if (v.size() > 3 && v.substr(v.size() - 3) == ",tt") receivers.insert(v.substr(0, v.size() - 3));
    EXPECT_EQ(receivers, c.receivers) << c.attributes << c.to;
    EXPECT_EQ(r->marks_together({"got=(3,tt)", "got=(4,tt)"}), c.both) << c.attributes << c.to;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, StatecastRouteKinds,
    testing::Values(RouteKind{"#unicast", "", {"3", "4"}, false},
                    RouteKind{"", "", {}, false},  // peer without a receiver: the signal is lost
                    RouteKind{"", " to {Q}1", {"4"}, false},
                    RouteKind{"#multicast", "", {"3", "4"}, true},
                    RouteKind{"#delay[1,2] #unicast", "", {"3", "4"}, false},
                    RouteKind{"#delay[1,2]", " to {Q}0", {"3"}, false},
                    RouteKind{"#delay[1,2] #multicast", "", {"3", "4"}, true}));

// A route carries only the signals it was declared with: P sends a, which
// r carries, or b, which it does not.  Q waits for the signal and then runs
// round in q1 for ever, so the system has no dead marking exactly when the
// signal arrives; an undeclared signal leaves P waiting in its output with
// the lock, and nothing moves any more.
struct RouteSignal {
    const char* attributes;
    const char* to;  // a peer route delivers only with a receiver
};

class StatecastRouteSignalSets : public testing::TestWithParam<RouteSignal> {};

TEST_P(StatecastRouteSignalSets, CarryOnlyDeclaredSignals) {
    const RouteSignal& c = GetParam();
    for (const std::string signal : {"a", "b"}) {
        std::string spec = "system S;\nsignal a();\nsignal b();\nsignalroute r(1) " + std::string(c.attributes) +
                           " from P to Q with a;\nprocess P(1);\n  state s #start;\n    output " + signal +
                           "() via {r}0" + c.to + ";\n    stop;\n  endstate;\nendprocess;\n"
                           "process Q(1);\n  state q #start;\n    input " + signal +
                           "();\n    nextstate q1;\n  endstate;\n  state q1; nextstate q1; endstate;\n"
                           "endprocess;\nendsystem;\n";
        bool declared = signal == "a";
        auto r = pipeline(spec);
        expect_expanded(*r);
        auto fired = r->fired();
        EXPECT_EQ(std::count(fired.begin(), fired.end(), "state q, input " + signal) > 0, declared)
            << c.attributes << " " << signal;
        EXPECT_EQ(r->transitions("output " + signal).empty(), !declared) << c.attributes << " " << signal;
        EXPECT_EQ(testsupport::has_deadlock(r->space), !declared) << c.attributes << " " << signal;
        EXPECT_EQ(prefix_deadlock_free(*r), declared) << c.attributes << " " << signal;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, StatecastRouteSignalSets,
                         testing::Values(RouteSignal{"#peer", " to {Q}0"}, RouteSignal{"#unicast", ""},
                                         RouteSignal{"#multicast", ""}, RouteSignal{"#delay[1,2] #peer", " to {Q}0"},
                                         RouteSignal{"#delay[1,2] #unicast", ""},
                                         RouteSignal{"#delay[1,2] #multicast", ""}));

// A signal to a full input queue is lost under the overflow flag 1 (the
// default), else its sender waits.
TEST(StatecastPipeline, OverflowFlagOfFullQueues) {
    const std::string spec =
        "system S;\n signal a(); signal b();\n"
        " process P(1);\n  state p0 #start;\n   output a() to {Q}0;\n   output a() to {Q}0;\n"
        "   nextstate p1;\n  endstate;\n  state p1; nextstate p1; endstate;\n endprocess;\n"
        " process Q(1);\n  state q0 #start; input b(); nextstate q0; endstate;\n endprocess;\nendsystem;\n";
    struct Case {
        const char* options;
        bool passes;  // P gets past its second output
    };
    for (const Case& c : {Case{"", true}, Case{"-O1", true}, Case{"-O0", false}}) {
        auto r = pipeline(spec, c.options);
        expect_expanded(*r);
        auto fired = r->fired();
        EXPECT_EQ(std::count(fired.begin(), fired.end(), "nextstate p1") > 0, c.passes) << c.options;
        EXPECT_EQ(testsupport::has_deadlock(r->space), !c.passes) << c.options;
    }
}

// A lossy route may drop the signal for good; a reliable one always can
// still deliver it.
TEST(StatecastPipeline, LossyRoutesMayDropSignals) {
    for (bool lossy : {false, true}) {
        std::string spec = std::string("system S;\n signal a();\n") +
                           " process P(1);\n  state p0 #start; output a() via {r}0; nextstate p1; endstate;\n"
                           "  state p1; nextstate p1; endstate;\n endprocess;\n"
                           " process Q(2);\n  var got boolean;\n"
                           "  state q0 #start; input a(); task got := true; nextstate q1; endstate;\n"
                           "  state q1; nextstate q1; endstate;\n endprocess;\n"
                           " signalroute r(1) #delay[1,2] #unicast" + (lossy ? " #lossy" : "") +
                           " from P to Q with a;\nendsystem;\n";
        auto r = pipeline(spec, "-DP2");
        expect_expanded(*r);
        // the states from which a marking with got=tt can still be reached
        std::size_t n = r->space.states.size();
        std::vector<std::vector<int>> pred(n);
        for (std::size_t s = 0; s < n; ++s)
            for (const auto& e : r->space.succ[s])
                pred[static_cast<std::size_t>(e.second)].push_back(static_cast<int>(s));
        std::vector<int> todo;
        std::vector<bool> can(n, false);
        for (std::size_t p = 0; p < r->place_label.size(); ++p) {
            if (r->place_label[p] != "got=(3,tt)" && r->place_label[p] != "got=(4,tt)") continue;
            for (std::size_t s = 0; s < n; ++s)
                if (r->space.states[s][p] > 0 && !can[s]) can[s] = true, todo.push_back(static_cast<int>(s));
        }
        EXPECT_FALSE(todo.empty()) << "lossy " << lossy;
        while (!todo.empty()) {
            int s = todo.back();
            todo.pop_back();
            for (int q : pred[static_cast<std::size_t>(s)])
                if (!can[static_cast<std::size_t>(q)]) can[static_cast<std::size_t>(q)] = true, todo.push_back(q);
        }
        EXPECT_EQ(std::count(can.begin(), can.end(), false) > 0, lossy) << "lossy " << lossy;
    }
}

// A delayed route keeps the order of its signals; a multiset route does not.
TEST(StatecastPipeline, DelayedRoutesKeepOrderUnlessMultiset) {
    auto spec = [](const std::string& attributes) {
        return "system S;\n signal a(); signal b();\n"
               " process P(1);\n  state p0 #start;\n   output a() via {r}0;\n   output b() via {r}0;\n"
               "   nextstate p1;\n  endstate;\n  state p1; nextstate p1; endstate;\n endprocess;\n"
               " process Q(1);\n  var order boolean;\n  state q0 #start;\n"
               "   input a(); nextstate q1;\n   input b(); task order := true; nextstate q1;\n  endstate;\n"
               "  state q1; nextstate q1; endstate;\n endprocess;\n"
               " signalroute r(1) #delay[0,1] #unicast " + attributes + " from P to Q with a, b;\nendsystem;\n";
    };
    auto fifo = pipeline(spec(""), "-DC2");
    expect_expanded(*fifo);
    EXPECT_EQ(fifo->marked("order"), std::set<std::string>{"2,ff"});
    auto bag = pipeline(spec("#multiset"), "-DC2");
    expect_expanded(*bag);
    EXPECT_EQ(bag->marked("order"), (std::set<std::string>{"2,ff", "2,tt"}));
}

TEST(StatecastPipeline, ForkCreatesInstancesWithArguments) {
    auto spec = [](int initial) {
        return "system S;\n type t = range 0..5;\n"
               " process P(" + std::to_string(initial) + ");\n  fpar p t, q boolean;\n  var ok boolean;\n"
               "  state s #start;\n   provided p = 3 and q;\n   task ok := true;\n   nextstate s1;\n  endstate;\n"
               "  state s1; nextstate s1; endstate;\n endprocess;\n"
               " process R(1);\n  var x pid;\n  var failed boolean;\n  state r0 #start;\n"
               "   x := fork P(3, true);\n   if x = nil then task failed := true; endif\n   nextstate r1;\n"
               "  endstate;\n  state r1; nextstate r1; endstate;\n endprocess;\nendsystem;\n";
    };
    auto created = pipeline(spec(0));
    expect_expanded(*created);
    EXPECT_EQ(created->marked("ok"), (std::set<std::string>{"1,ff", "1,tt"}));  // P[0] gets 3 and true
    EXPECT_EQ(created->marked("failed"), std::set<std::string>{"2,ff"});
    EXPECT_EQ(created->marked("x"), (std::set<std::string>{"2,dot", "2,1"}));
    auto full = pipeline(spec(1));  // the only pid of P is taken
    expect_expanded(*full);
    EXPECT_EQ(full->marked("failed"), (std::set<std::string>{"2,ff", "2,tt"}));
    EXPECT_EQ(full->marked("x"), std::set<std::string>{"2,dot"});
    EXPECT_EQ(full->marked("ok"), std::set<std::string>{"1,ff"});  // P[0] was created with ff
}

TEST(StatecastPipeline, SystemVariablesAreShared) {
    const std::string spec =
        "system S;\n type t = range 0..3;\n var n t;\n"
        " process P(1);\n  state s #start;\n   task n := n + 1;\n   stop;\n  endstate;\n endprocess;\n"
        " process Q(1);\n  state s #start;\n   task n := n + 1;\n   stop;\n  endstate;\n endprocess;\n"
        "endsystem;\n";
    auto r = pipeline(spec);
    expect_expanded(*r);
    EXPECT_EQ(r->marked("n"), (std::set<std::string>{"dot,0", "dot,1", "dot,2"}));
    // The system ends once both processes stopped, after the variable's
    // termination: the first stop gives the lock back to the other process.
    auto dead = testsupport::dead_states(r->space);
    ASSERT_EQ(dead.size(), 1u);
}

TEST(StatecastPipeline, WhileLoopsAndUnstableStates) {
    const std::string spec =
        "system S;\n type t = range 0..3;\n"
        " process P(1);\n  var i t;\n  state s #start #unstable;\n"
        "   while i < 2 do task i := i + 1; endwhile\n   nextstate s1;\n  endstate;\n"
        "  state s1; nextstate s1; endstate;\n endprocess;\nendsystem;\n";
    auto r = pipeline(spec);
    expect_expanded(*r);
    EXPECT_EQ(r->marked("i"), (std::set<std::string>{"1,0", "1,1", "1,2"}));
    EXPECT_FALSE(testsupport::has_deadlock(r->space));
}

TEST(StatecastPipeline, EnvironmentReadsAndWrites) {
    const std::string spec =
        "system S;\n signal a(); signal b();\n"
        " process P(1);\n  state s #start;\n   input a();\n   output b() via {o}0;\n   nextstate s;\n"
        "  endstate;\n endprocess;\n"
        " signalroute i(1) #unicast from env to P with a;\n"
        " signalroute o(1) #unicast from P to env with b;\nendsystem;\n";
    auto r = pipeline(spec);
    expect_expanded(*r);
    // A synchronised transition joins the texts of its parts with '*'.
    auto fired = r->fired();
    for (const char* t : {"write to i", "read from o", "state s, input a", "output b"})
        EXPECT_TRUE(std::any_of(fired.begin(), fired.end(),
                                [&](const std::string& l) { return l.find(t) != std::string::npos; }))
            << t;
    EXPECT_FALSE(testsupport::has_deadlock(r->space));

    // Without the environment model (-E) the route from the environment
    // takes signals at any time, and P still reads and answers them.
    auto open = pipeline(spec, "-E");
    expect_expanded(*open);
    auto fired_open = open->fired();
    for (const char* t : {"state s, input a", "output b"})
        EXPECT_TRUE(std::any_of(fired_open.begin(), fired_open.end(),
                                [&](const std::string& l) { return l.find(t) != std::string::npos; }))
            << t;
}

// ---------------------------------------------------------------------------
// Signal encoding: the decoding of an input's guard and the encoding of an
// output against the information file.

TEST(StatecastPipeline, SignalNumbersDecodeAsTheInformationFileSays) {
    const std::string spec =
        "system S;\n type t = range 0..2;\n signal a();\n signal b(t, boolean);\n signal c(pid);\n"
        " process P(1);\n  var x t;\n  state p0 #start;\n"
        "   provided x < 2;\n   task x := x + 1;\n   nextstate p0;\n"
        "   output b(x, true) via {r}0 to {Q}0;\n   nextstate p0;\n  endstate;\n endprocess;\n"
        " process Q(1);\n  var x t;\n  var y boolean;\n  state q0 #start;\n   input b(x, y);\n"
        "   nextstate q0;\n  endstate;\n endprocess;\n"
        " signalroute r(1) from P to Q with a, b, c;\n signalroute e(1) from env to Q with b;\nendsystem;\n";
    auto r = pipeline(spec, "-DP2");
    ASSERT_EQ(r->statecast.exit_code, 0) << r->statecast.err;
    ASSERT_EQ(r->flatnet.exit_code, 0) << r->flatnet.err;
    std::string info = read_file(r->file(".if_info"));
    ASSERT_NE(info.find("PID\nP[0] = 1\nP[1] = 2\nQ[0] = 3\nQ[1] = 4\nr[0] = 5\ne[0] = 6\n"), std::string::npos)
        << info;
    // the instances of b in the information file
    std::map<int, std::pair<std::string, std::string>> decoded;
    const std::string signals = info.substr(info.find("SIGNAL\n"));
    for (int n = 1; n <= 6; ++n) {
        std::string key = " = " + std::to_string(n) + "\n";
        std::size_t at = signals.find(key);
        ASSERT_NE(at, std::string::npos);
        std::size_t start = signals.rfind('\n', at) + 1;
        std::string text = signals.substr(start, at - start);  // b(x,Bool)
        std::size_t comma = text.find(',');
        decoded[n] = {text.substr(2, comma - 2), text.substr(comma + 1, text.size() - comma - 2)};
    }
    // Each low-level instance of Q's input reads a signal place Q.signal=(3,h,n)
    // and writes x=(3,v) and y=(3,w).
    const std::string ll = read_file(r->file(".ll_net"));
    auto labels = ll_labels(ll);
    std::map<int, std::set<std::pair<std::string, std::string>>> seen;
    std::map<int, std::set<int>> sent;  // x of P -> signals put into Q's queue by "output b"
    for (std::size_t t = 0; t < r->net.trans_names.size(); ++t) {
        const std::string& label = labels[r->net.trans_names[t]];
        std::string name;
        std::vector<std::string> v;
        if (label == "state q0, input b") {
            int sig = -1;
            std::string x, y;
            for (int p : r->net.pre[t])
                if (split_label(labels[r->net.place_names[static_cast<std::size_t>(p)]], name, v) &&
                    name == "Q.signal" && v[0] == "3")
                    sig = std::stoi(v[2]);
            if (sig < 0) continue;  // an instance of the second pid of Q
            for (int p : r->net.post[t])
                if (split_label(labels[r->net.place_names[static_cast<std::size_t>(p)]], name, v) && v[0] == "3") {
                    if (name == "x") x = v[1];
                    if (name == "y") y = v[1];
                }
            seen[sig].insert({x, y});
        }
        if (label == "output b") {
            int x = -1, sig = -1;
            for (int p : r->net.pre[t])
                if (split_label(labels[r->net.place_names[static_cast<std::size_t>(p)]], name, v) && name == "x" &&
                    v[0] == "1")
                    x = std::stoi(v[1]);
            for (int p : r->net.post[t])
                if (split_label(labels[r->net.place_names[static_cast<std::size_t>(p)]], name, v) &&
                    name == "Q.signal" && v[0] == "3")
                    sig = std::stoi(v[2]);
            if (x >= 0 && sig >= 0) sent[x].insert(sig);
        }
    }
    for (int n = 1; n <= 6; ++n) {
        std::string y = decoded[n].second == "True" ? "tt" : "ff";
        EXPECT_EQ(seen[n], (std::set<std::pair<std::string, std::string>>{{decoded[n].first, y}})) << "signal " << n;
    }
    for (int x = 0; x <= 2; ++x) EXPECT_EQ(sent[x], std::set<int>{4 + x}) << "x = " << x;
    EXPECT_EQ(seen.size(), 6u);  // no other signal number is decoded
}

// Every value combination of a signal with a negative range and a pid
// parameter travels from P's variables to Q's: an input with variables
// receives what the output encoded, and inputs with constants (a negative
// number, nil, self) take only their own instance.
TEST(StatecastPipeline, SignalParametersOfEveryKindRoundTrip) {
    const std::string spec =
        "system S;\n type n = range -1..0;\n signal m(n, pid);\n"
        " process P(1);\n  var x n; var q pid;\n"
        "  state p0 #start;\n   task x := 0; nextstate p1;\n   nextstate p1;\n  endstate;\n"
        "  state p1;\n   task q := {env}0; nextstate p2;\n   task q := {P}0; nextstate p2;\n"
        "   task q := {Q}0; nextstate p2;\n   nextstate p2;\n  endstate;\n"
        "  state p2;\n   output m(x, q) to {Q}0; nextstate p3;\n  endstate;\n"
        "  state p3; nextstate p3; endstate;\n endprocess;\n"
        " process Q(1);\n  var a n; var b pid; var got boolean; var hit boolean; var me boolean;\n"
        "  state q0 #start;\n   input m(a, b); task got := true; nextstate q1;\n"
        "   input m(-1, nil); task hit := true; nextstate q1;\n"
        "   input m(0, self); task me := true; nextstate q1;\n  endstate;\n"
        "  state q1; nextstate q1; endstate;\n endprocess;\nendsystem;\n";
    auto r = pipeline(spec);
    expect_expanded(*r);
    // P's values when Q's inputs have taken the signal (pids: env 0, P 1, Q 2)
    std::set<std::string> sent_by_got, sent_by_hit, sent_by_me;
    for (auto& of : variables_by_marking(*r)) {
        std::string sent = of["1:x"] + "," + of["1:q"];
        if (of["2:got"] == "tt") {
            EXPECT_EQ(of["2:a"] + "," + of["2:b"], sent);
            sent_by_got.insert(sent);
        }
        if (of["2:hit"] == "tt") sent_by_hit.insert(sent);
        if (of["2:me"] == "tt") sent_by_me.insert(sent);
    }
    EXPECT_EQ(sent_by_got, (std::set<std::string>{"-1,dot", "-1,0", "-1,1", "-1,2", "0,dot", "0,0", "0,1", "0,2"}));
    EXPECT_EQ(sent_by_hit, std::set<std::string>{"-1,dot"});
    EXPECT_EQ(sent_by_me, std::set<std::string>{"0,2"});
}

// ---------------------------------------------------------------------------
// The written files: the net reads back consistent, the reference texts are
// the source slices.

TEST(StatecastPipeline, WrittenNetIsConsistentAndReferencesQuoteTheSource) {
    const std::string spec =
        "system S;\n signal a(); signal m(boolean);\n"
        " process P(1);\n  var b boolean;\n  state p0 #start;\n"
        "   informal \"two\nlines\";\n"
        "   if b then\n    output m(b) to {Q}0;\n   else\n    task b := true;\n   endif\n"
        "   nextstate p0;\n  endstate;\n endprocess;\n"
        " process Q(1);\n  state q0 #start;\n   input m(true);\n   nextstate -;\n  endstate;\n endprocess;\n"
        "endsystem;\n";
    auto r = pipeline(spec);
    expect_expanded(*r);
    mnet::init_symtabs();
    mnet::MNet* net = mnet::read_VOS(r->file(".hl_net"), nullptr);
    EXPECT_EQ(mnet::CheckNet(net), 0);
    mnet::FreeNet(&net);

    // the source lines, for the slices
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at <= spec.size()) {
        std::size_t end = spec.find('\n', at);
        if (end == std::string::npos) break;
        lines.push_back(spec.substr(at, end - at));
        at = end + 1;
    }
    std::string refs = read_file(r->file(".if_hl_ref"));
    ASSERT_EQ(refs.rfind("VOS\nReferences_IF_HL\nFORMAT_N\nDEF\n", 0), 0u);
    int texts = 0;
    at = 0;
    while ((at = refs.find(" R\"(", at)) != std::string::npos) {
        unsigned l1, c1, l2, c2;
        ASSERT_EQ(std::sscanf(refs.c_str() + at, " R\"(%u,%u;%u,%u)\"", &l1, &c1, &l2, &c2), 4);
        std::size_t kind = refs.find(")\"", at) + 2;
        char letter = refs[kind];
        std::size_t b = refs.find("b\"", kind);
        std::string text = refs.substr(b + 2, refs.find('"', b + 2) - b - 2);
        at = b;
        if (letter != 'A' && letter != 'W' && letter != 'T') continue;
        std::string slice;
        for (unsigned l = l1; l <= l2; ++l) {
            const std::string& line = lines[l - 1];
            std::size_t from = l == l1 ? c1 - 1 : 0;
            std::size_t to = l == l2 ? c2 : line.size();
            for (std::size_t i = from; i < to; ++i)
                if (line[i] != '"') slice += line[i];
        }
        EXPECT_EQ(text, slice);
        ++texts;
    }
    EXPECT_GE(texts, 8);
    EXPECT_NE(refs.find("b\"informal twolines;\""), std::string::npos) << refs;
    EXPECT_NE(refs.find("b\"if b then    output m(b) to {Q}0;   else    task b := true;   endif\""), std::string::npos)
        << refs;
    // elements name their records: places P%u and transitions T%u with number:qualifier
    EXPECT_NE(refs.find("\nPL\nP"), std::string::npos);
    EXPECT_NE(refs.find("\nTR\nT"), std::string::npos);
}

// A specification means the same whatever its identifiers are named: every
// variable name of the process box and of the translation's statement boxes
// as a process parameter (read by a guard) and as a variable that an
// output and a fork read.
class StatecastNames : public testing::TestWithParam<const char*> {};

TEST_P(StatecastNames, AnyNameKeepsTheMeaning) {
    std::string spec =
        "system S;\n type num = range 0..5;\n signal go(num, boolean);\n"
        " signalroute r(1) from R to Q with go;\n"
        " process P(0);\n  fpar NAME num, q boolean;\n  var ok boolean;\n"
        "  state s #start;\n   provided NAME = 3 and q;\n   task ok := true;\n   nextstate s1;\n  endstate;\n"
        "  state s1; nextstate s1; endstate;\n endprocess;\n"
        " process R(1);\n  var NAME num;\n  var x pid;\n"
        "  state r0 #start;\n   task NAME := 3;\n   output go(NAME, true) via {r}0 to {Q}0;\n"
        "   x := fork P(NAME, true);\n   nextstate r1;\n  endstate;\n"
        "  state r1; nextstate r1; endstate;\n endprocess;\n"
        " process Q(1);\n  var w num;\n  var b boolean;\n"
        "  state q0 #start;\n   input go(w, b);\n   nextstate q1;\n  endstate;\n"
        "  state q1; nextstate q1; endstate;\n endprocess;\nendsystem;\n";
    for (std::size_t at; (at = spec.find("NAME")) != std::string::npos;) spec.replace(at, 4, GetParam());
    auto r = pipeline(spec);
    expect_expanded(*r);
    EXPECT_FALSE(testsupport::has_deadlock(r->space));
    EXPECT_EQ(r->marked("ok"), (std::set<std::string>{"1,ff", "1,tt"}));  // P[0] was created with 3 and true
    EXPECT_EQ(r->marked("w"), (std::set<std::string>{"3,0", "3,3"}));     // Q received 3 and true
    EXPECT_EQ(r->marked("b"), (std::set<std::string>{"3,ff", "3,tt"}));
}

INSTANTIATE_TEST_SUITE_P(BoxVariables, StatecastNames,
                         testing::Values("a", "h", "h2", "id", "k", "k2", "n", "n2", "sig", "v", "t",
                                         "targetid", "c0", "c1", "d0", "d1", "target", "exprid", "e0", "srid",
                                         "prid", "tt"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
}  // namespace statecast_test
