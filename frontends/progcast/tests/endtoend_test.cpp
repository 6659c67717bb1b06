// Programs run through progcast, flatnet, trelmik and dlbacktrack: the
// expanded net reaches the valuations, terminations and deadlocks that the
// tests' own interpreter finds, and dlbacktrack agrees with the explorer.
#include <gtest/gtest.h>

#include "tools.h"

using namespace oracle;
using progcast_test::LowNet;

namespace {

struct Road {
    LowNet low;
    Behaviour net, model;
    bool safe = false, deadlock = false;
};

// progcast (with the extra options), flatnet, the explorer and the
// interpreter; trelmik and dlbacktrack on the way.
Road travel(const Program& p, const std::set<std::string>& observed, const std::string& options = "") {
    testsupport::TempDir dir;
    const std::string src = dir.file("prog.b"), base = dir.file("prog");
    EXPECT_TRUE(testsupport::write_file(src, p.text()));
    auto r = progcast_test::progcast(testsupport::shell_quote(src) + " -p=" + testsupport::shell_quote(base + ".hl_net") +
                                     " -z=" + testsupport::shell_quote(base + ".bpn2_hl_ref") + " -c " + options);
    EXPECT_EQ(r.exit_code, 0) << p.text() << r.out << r.err;
    r = testsupport::run(progcast_test::program("flatnet") + " " + testsupport::shell_quote(base + ".hl_net"));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    Road road;
    road.low = progcast_test::read_low_net(base + ".ll_net");
    road.net = progcast_test::behaviour(road.low, observed, &road.safe, &road.deadlock);
    road.model = oracle::run(p, observed, options.find("-t") != std::string::npos, options.find("-u") != std::string::npos);

    // dlbacktrack on trelmik's prefix agrees with the explorer.
    r = testsupport::run("cd " + testsupport::shell_quote(dir.path()) + " && " + progcast_test::program("trelmik") +
                         " -m=prog prog.ll_net && " + progcast_test::program("dlbacktrack") + " prog.mci");
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    const bool verdict_deadlock = r.out.find("FALSE") != std::string::npos;
    EXPECT_TRUE(verdict_deadlock || r.out.find("TRUE") != std::string::npos) << r.out;
    EXPECT_EQ(verdict_deadlock, road.deadlock) << r.out;
    return road;
}

void expect_same(const Road& r, const Program& p) {
    EXPECT_TRUE(r.safe);
    EXPECT_EQ(r.net.reachable, r.model.reachable) << p.text();
    EXPECT_EQ(r.net.deadlocks, r.model.deadlocks) << p.text();
    EXPECT_EQ(r.net.terminates, r.model.terminates) << p.text();
}

E assign(const Decl& x, E value) { return bin(post(x), "=", std::move(value)); }

TEST(ProgcastRoad, CounterLoop) {
    Program p;
    const Decl& x = p.var("x", {0, 1, 2, 3}, 0);
    p.root = block({&x}, loop({{action(bin(bin(pre(x), "<", num(3)), "and", assign(x, bin(pre(x), "+", num(1))))), true},
                               {action(bin(read(x), "=", num(3))), false}}));
    for (const char* loop_form : {"", "-q", "-l"}) {
        SCOPED_TRACE(loop_form);
        Road r = travel(p, {"x"}, loop_form);
        expect_same(r, p);
        EXPECT_TRUE(r.model.terminates);
        EXPECT_EQ(r.model.reachable.size(), 5u);  // before the initialisation, then x = 0 .. 3
    }
}

TEST(ProgcastRoad, RaceOfTwoIncrements) {
    Program p;
    const Decl& x = p.var("x", {0, 1, 2}, 0);
    const Decl& a = p.var("a", {0, 1, 2}, 0);
    const Decl& b = p.var("b", {0, 1, 2}, 0);
    auto increment = [&](const Decl& t) {
        return seq({action(assign(t, read(x))), action(assign(x, bin(read(t), "+", num(1))))});
    };
    p.root = block({&x, &a, &b}, seq({par({increment(a), increment(b)}), action(bin(read(x), "=", num(2)))}));
    Road r = travel(p, {"x", "a", "b"});
    expect_same(r, p);
    // The lost update: both read 0, x ends at 1 and the final check blocks.
    EXPECT_TRUE(r.model.deadlocks.count({"a=0", "b=0", "x=1"}));
    EXPECT_TRUE(r.model.terminates);
}

TEST(ProgcastRoad, HandshakeOverChannelOfCapacityZero) {
    Program p;
    const Decl& x = p.var("x", {0, 1, 2}, 0);
    const Decl& c = p.chan("c", 0, {0, 1, 2});
    p.root = block({&x, &c}, par({action(bin(send(c), "=", num(2))), action(assign(x, recv(c)))}));
    Road r = travel(p, {"x"});
    expect_same(r, p);
    EXPECT_TRUE(r.model.reachable.count({"x=2"}));
    EXPECT_TRUE(r.model.deadlocks.empty());
}

TEST(ProgcastRoad, SecondSendOnFullChannelBlocks) {
    Program p;
    const Decl& x = p.var("x", {0, 1, 2}, 0);
    const Decl& c = p.chan("c", 1, {0, 1, 2});
    p.root = block({&x, &c}, seq({action(bin(send(c), "=", num(1))), action(bin(send(c), "=", num(2))),
                                  action(assign(x, num(2)))}));
    Road r = travel(p, {"x"});
    expect_same(r, p);
    EXPECT_FALSE(r.model.terminates);
    EXPECT_EQ(r.model.deadlocks, (std::set<std::vector<std::string>>{{"x=0"}}));
}

TEST(ProgcastRoad, ChannelsWithCapacityKeepTheirOrder) {
    // A ring buffer and a stack of capacity 2, their tests, and termination
    // with values left in them.
    Program p;
    const Decl& x = p.var("x", {0, 1, 2, 3}, 0);
    const Decl& y = p.var("y", {0, 1, 2, 3}, 0);
    const Decl& f = p.chan("f", 2, {1, 2, 3});
    Decl& s = p.chan("s", 2, {1, 2, 3});
    s.kind = Decl::Stack;
    p.root = block({&x, &y, &f, &s},
                   seq({action(bin(bin(send(f), "=", num(1)), "and", bin(send(s), "=", num(1)))),
                        action(bin(bin(send(f), "=", num(2)), "and", bin(send(s), "=", num(2)))),
                        action(bin(full(f), "and", bin(bin(full(s), "and", bin(read(x), "=", num(0))), "and",
                                                       bin(read(y), "=", num(0))))),
                        action(bin(assign(x, recv(f)), "and", assign(y, recv(s)))),
                        action(bin(send(f), "=", num(3))),
                        action(bin(bin(empty(s), "=", truth(false)), "and", bin(read(x), "=", num(1))))}));
    Road r = travel(p, {"x", "y"});
    expect_same(r, p);
    EXPECT_TRUE(r.model.reachable.count({"x=1", "y=2"}));
    EXPECT_TRUE(r.model.terminates);
}

TEST(ProgcastRoad, CallWithValueAndReferenceParameters) {
    Program p;
    const Decl& x = p.var("x", {0, 1, 2, 3}, 1);
    const Decl& y = p.var("y", {0, 1, 2, 3}, 0);
    const Decl& a = p.param("a", {0, 1, 2, 3});
    const Decl& b = p.param("b", {0, 1, 2, 3});
    Decl& proc = p.proc("P", {{&a, 1}, {&b, 4}}, 2);
    proc.body = block({}, action(assign(b, bin(read(a), "+", num(1)))));
    p.root = block({&x, &y, &proc}, seq({call(proc, {Arg{&x, nullptr}, Arg{&y, nullptr}}),
                                         action(assign(x, read(y))), action(bin(read(x), "=", num(2)))}));
    Road r = travel(p, {"x", "y"});
    expect_same(r, p);
    EXPECT_TRUE(r.model.reachable.count({"x=2", "y=2"}));
    EXPECT_TRUE(r.model.terminates);
}

TEST(ProgcastRoad, ResultParameterAndExpressionArgument) {
    Program p;
    const Decl& x = p.var("x", {0, 1, 2, 3}, 1);
    const Decl& y = p.var("y", {0, 1, 2, 3}, 0);
    const Decl& a = p.param("a", {0, 1, 2, 3});
    const Decl& r = p.param("r", {0, 1, 2, 3});
    Decl& proc = p.proc("Q", {{&a, 1}, {&r, 3}}, 1);
    proc.body = block({}, action(assign(r, bin(read(a), "*", num(2)))));
    Arg sum{nullptr, bin(read(x), "+", num(0))};
    p.root = block({&x, &y, &proc}, call(proc, {sum, Arg{&y, nullptr}}));
    Road road = travel(p, {"x", "y"});
    expect_same(road, p);
    EXPECT_TRUE(road.model.reachable.count({"x=1", "y=2"}));
}

TEST(ProgcastRoad, InitTrue) {
    Program p;
    const Decl& b = p.var("b", {FF, TT}, TT);
    const Decl& x = p.var("x", {0, 1}, 0);
    p.root = block({&b, &x},
                   loop({{action(bin(pre(b), "and", bin(assign(x, num(1)), "and", assign(b, truth(false))))), true},
                         {action(negate(read(b))), false}}));
    Road r = travel(p, {"b", "x"});
    expect_same(r, p);
    EXPECT_TRUE(r.model.reachable.count({"b=" + std::to_string(FF), "x=1"}));
}

TEST(ProgcastRoad, ShadowingAndParallelTermination) {
    // An inner x hides the outer one; with -t the declarations start and
    // end in parallel.
    Program p;
    const Decl& outer = p.var("x", {0, 1}, 0);
    const Decl& y = p.var("y", {0, 1}, 0);
    const Decl& inner = p.var("x", {0, 1}, 1);
    p.root = block({&outer, &y}, seq({block({&inner}, action(assign(y, read(inner)))), action(bin(read(outer), "=", read(y)))}));
    for (const char* opt : {"", "-t"}) {
        Road r = travel(p, {"x", "y"}, opt);
        expect_same(r, p);
        EXPECT_FALSE(r.model.terminates);
    }
}

TEST(ProgcastRoad, ParallelCallsAndChannelReferences) {
    // Two instances of a procedure at once, each sending to a channel passed
    // by reference; a handshake through a reference to a channel of
    // capacity 0.  With -u the instances are taken in any order.
    Program p;
    const Decl& x = p.var("x", {0, 1, 2, 3}, 0);
    const Decl& c = p.chan("c", 1, {0, 1, 2, 3});
    const Decl& d = p.chan("d", 0, {0, 1, 2, 3});
    const Decl& v = p.param("v", {0, 1, 2, 3});
    const Decl& k = p.chan("k", 1, {0, 1, 2, 3});
    const Decl& h = p.chan("h", 0, {0, 1, 2, 3});
    Decl& send_proc = p.proc("Send", {{&v, 1}, {&k, 4}}, 2);
    send_proc.body = block({}, action(bin(send(k), "=", read(v))));
    Decl& hand = p.proc("Hand", {{&h, 4}}, 1);
    hand.body = block({}, action(bin(send(h), "=", num(3))));
    p.root = block({&x, &c, &d, &send_proc, &hand},
                   seq({par({call(send_proc, {Arg{nullptr, num(1)}, Arg{&c, nullptr}}),
                             call(send_proc, {Arg{nullptr, num(2)}, Arg{&c, nullptr}}), action(assign(x, recv(c)))}),
                        par({call(hand, {Arg{&d, nullptr}}), action(assign(x, recv(d)))})}));
    for (const char* opt : {"", "-u"}) {
        Road r = travel(p, {"x"}, opt);
        expect_same(r, p);
        EXPECT_TRUE(r.model.terminates);
        EXPECT_TRUE(r.model.reachable.count({"x=3"}));
    }
}


// A program means the same whatever its identifiers are named: every
// variable name of the box templates (and id_g, the name of the instance
// variable of an access of g) as a parameter, a global and a local
// variable and a channel of capacity 0, sent to inside a procedure and
// passed by reference, while g is read in the same actions.
class ProgcastNames : public testing::TestWithParam<const char*> {};

TEST_P(ProgcastNames, AnyNameKeepsTheMeaning) {
    const std::string n = GetParam();
    const std::vector<int> values{0, 1, 2, 3};
    {
        // Inc(g, y) hands g over by value and y back by result; Set(g) sets g
        // through a result parameter.
        Program p;
        const Decl& g = p.var("g", values, 1);
        const Decl& y = p.var("y", values, 0);
        const Decl& by_value = p.param(n, values);
        const Decl& r = p.param("r", values);
        Decl& inc = p.proc("Inc", {{&by_value, 1}, {&r, 3}}, 2);
        inc.body = block({}, action(assign(r, bin(read(by_value), "+", num(1)))));
        const Decl& by_result = p.param(n, values);
        Decl& setter = p.proc("Set", {{&by_result, 3}}, 1);
        setter.body = block({}, action(assign(by_result, num(3))));
        p.root = block({&g, &y, &inc, &setter}, seq({call(inc, {Arg{&g, nullptr}, Arg{&y, nullptr}}),
                                                     call(setter, {Arg{&g, nullptr}})}));
        SCOPED_TRACE("parameters named " + n);
        Road road = travel(p, {"g", "y"});
        expect_same(road, p);
        EXPECT_TRUE(road.model.reachable.count({"g=3", "y=2"}));
        EXPECT_TRUE(road.model.terminates);
    }
    {
        // A global variable and, in the procedure, a local one of the name.
        Program p;
        const Decl& global = p.var(n, values, 0);
        const Decl& g = p.var("g", values, 1);
        const Decl& y = p.var("y", values, 0);
        const Decl& local = p.var(n, values, 2);
        const Decl& d = p.param("d", values);
        Decl& inc = p.proc("Inc", {{&d, 1}}, 1);
        inc.body = block({&local}, seq({action(assign(local, bin(pre(local), "+", read(d)))),
                                        action(assign(g, read(local)))}));
        p.root = block({&global, &g, &y, &inc},
                       seq({call(inc, {Arg{nullptr, num(1)}}), action(assign(global, read(g))),
                            action(assign(y, bin(read(global), "-", num(1))))}));
        SCOPED_TRACE("variables named " + n);
        Road road = travel(p, {"g", "y"});
        expect_same(road, p);
        EXPECT_TRUE(road.model.reachable.count({"g=3", "y=2"}));
    }
    {
        // A handshake with a procedure that sends on the channel, and one
        // with a procedure that has the channel by reference.
        Program p;
        const Decl& g = p.var("g", values, 1);
        const Decl& y = p.var("y", values, 0);
        const Decl& c = p.chan(n, 0, values);
        const Decl& d = p.param("d", values);
        Decl& sender = p.proc("Send", {{&d, 1}}, 1);
        sender.body = block({}, action(bin(send(c), "=", read(d))));
        const Decl& ref = p.chan("c", 0, values);
        Decl& put = p.proc("Put", {{&ref, 4}}, 1);
        put.body = block({}, action(bin(send(ref), "=", num(2))));
        p.root = block({&g, &y, &c, &sender, &put},
                       seq({par({call(sender, {Arg{nullptr, num(3)}}),
                                 action(assign(g, bin(bin(recv(c), "+", pre(g)), "-", num(1))))}),
                            par({call(put, {Arg{&c, nullptr}}), action(assign(y, recv(c)))})}));
        SCOPED_TRACE("channel named " + n);
        Road road = travel(p, {"g", "y"});
        expect_same(road, p);
        EXPECT_TRUE(road.model.reachable.count({"g=3", "y=2"}));
        EXPECT_TRUE(road.model.terminates);
    }
}

INSTANTIATE_TEST_SUITE_P(TemplateVariables, ProgcastNames,
                         testing::Values("a", "b", "h", "h2", "i", "id", "k", "k2", "p", "u", "v", "id_g"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
