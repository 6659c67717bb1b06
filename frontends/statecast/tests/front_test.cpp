// The IF front end: scanner, parser with its checks and messages, constant
// evaluation, numbering, and the side files, against hand-worked
// expectations.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "commnet.h"
#include "driver.h"
#include "mnet.h"
#include "node.h"
#include "outfile.h"
#include "parser.h"
#include "petri_test.h"
#include "ref.h"
#include "scanner.h"
#include "settings.h"

namespace statecast {
namespace {

struct Parsed {
    std::unique_ptr<Program> program = std::make_unique<Program>();
    ParseResult result = PARSE_OK;
    int errors = 0;
    std::string messages;

    bool has(const std::string& text) const { return messages.find(text) != std::string::npos; }
    const SystemObj* system() const { return program->system->as<SystemObj>(); }
    Ident* decl(const std::string& name) const {
        for (Ident* d : system()->decls)
            if (d->name == name) return d;
        return nullptr;
    }
};

Parsed parse(const std::string& text) {
    mnet::error_counter = 0;
    mnet::parsing_flag = 1;
    Parsed p;
    testing::internal::CaptureStderr();
    p.result = parse_if(text, *p.program);
    p.messages = testing::internal::GetCapturedStderr();
    p.errors = mnet::error_counter;
    mnet::parsing_flag = 0;
    return p;
}

// A system around the given declarations, with a type t = 0..2, a signal
// s(t) and a process P whose start state holds `body`.
std::string system_with(const std::string& decls, const std::string& body = "nextstate s0;",
                        const std::string& process_decls = "") {
    return "system S;\n type t = range 0..2;\n signal s(t);\n" + decls + "\n process P(1);\n" + process_decls +
           "\n  state s0 #start;\n" + body + "\n  endstate;\n endprocess;\nendsystem;\n";
}

class StatecastFront : public testing::Test {
protected:
    void SetUp() override {
        settings = Settings();
        reset_side_files();
        reset_expressions();
    }
};

// ---------------------------------------------------------------------------
// Scanner.

std::vector<Token> scan_all(const std::string& text, Program& program) {
    Scanner sc(text, program.table);
    std::vector<Token> out;
    for (;;) {
        Token t = sc.next();
        out.push_back(t);
        if (t.code == T_END) break;
    }
    return out;
}

TEST_F(StatecastFront, ScannerTokens) {
    Program program;
    testing::internal::CaptureStdout();
    auto toks = scan_all("state State STATE a<>b /= % {# #} 0..5 := => >= <= x1_y // comment\n ~ $", program);
    std::string echoed = testing::internal::GetCapturedStdout();
    std::vector<int> codes;
    for (const Token& t : toks) codes.push_back(t.code);
    std::vector<int> expected = {K_STATE, T_NAME, T_NAME, T_NAME, T_NE, T_NAME, T_NE, K_MOD, T_OPEN_BODY,
                                 T_CLOSE_BODY, T_NUMBER, '.', '.', T_NUMBER, T_ASSIGN, T_IMPLIES, T_GE, T_LE,
                                 T_NAME, T_END};
    EXPECT_EQ(codes, expected);
    EXPECT_EQ(echoed, "~$");  // characters of no rule are echoed and skipped
    EXPECT_EQ(toks[10].number, 0);
    EXPECT_EQ(toks[13].number, 5);
    // positions: first and last column
    EXPECT_EQ(toks[0].pos.col1, 1u);
    EXPECT_EQ(toks[0].pos.col2, 5u);
    EXPECT_EQ(toks[1].pos.col1, 7u);
    // a placeholder is entered for each new name, once
    EXPECT_TRUE(toks[1].fresh);
    EXPECT_NE(toks[1].ident, toks[2].ident);
}

TEST_F(StatecastFront, ScannerStringsCountLinesAndConstantsAreNumbers) {
    Program program;
    Ident* n = program.table.enter("n", CL_CONST);
    ConstObj c;
    c.value = 42;
    n->object = &c;
    auto toks = scan_all("\"one\ntwo\" n\nlast", program);
    ASSERT_EQ(toks.size(), 4u);
    EXPECT_EQ(toks[0].code, T_STRING);
    EXPECT_EQ(toks[0].text, "one\ntwo");
    EXPECT_EQ(toks[1].code, T_NUMBER);
    EXPECT_EQ(toks[1].number, 42);
    EXPECT_EQ(toks[1].pos.line, 2u);  // the line end inside the string counts
    EXPECT_EQ(toks[2].pos.line, 3u);
}

TEST_F(StatecastFront, KeywordTable) {
    EXPECT_EQ(keyword_code("system"), K_SYSTEM);
    EXPECT_EQ(keyword_code("returns"), K_RETURNS);
    EXPECT_EQ(keyword_code("Returns"), 0);
    EXPECT_EQ(K_END_OF_KEYWORDS - K_FIRST, 76);
}

// ---------------------------------------------------------------------------
// Parser: accepted texts and their trees.

TEST_F(StatecastFront, TreeOfASmallSystem) {
    Parsed p = parse(system_with("", "if true then task x := 1; task x := 2; else skip; endif\n"
                                     "while x < 2 do task x := x + 1; endwhile\n nextstate s0;",
                                 "var x t;"));
    ASSERT_EQ(p.result, PARSE_OK) << p.messages;
    ASSERT_EQ(p.errors, 0) << p.messages;
    const ProcessObj* proc = p.decl("P")->as<ProcessObj>();
    ASSERT_NE(proc->start_state, nullptr);
    const StateObj* s0 = proc->start_state->as<StateObj>();
    EXPECT_EQ(s0->number, 1);
    ASSERT_EQ(s0->items.size(), 1u);
    const Transition* t = s0->items[0].transition;
    ASSERT_EQ(t->statements.size(), 3u);
    const Stmt* if_stmt = t->statements[0];
    EXPECT_EQ(if_stmt->kind, SK_IF);
    ASSERT_EQ(if_stmt->then_list.size(), 2u);
    EXPECT_EQ(if_stmt->then_list[0]->expr->value, 1);
    EXPECT_EQ(if_stmt->then_list[1]->expr->value, 2);
    ASSERT_EQ(if_stmt->else_list.size(), 1u);
    EXPECT_EQ(if_stmt->else_list[0]->text, "skip");
    EXPECT_EQ(t->statements[1]->kind, SK_WHILE);
    EXPECT_EQ(t->statements[2]->kind, SK_NEXTSTATE);
    EXPECT_EQ(t->statements[2]->target, proc->start_state);
    // the information entries of the process's states
    ASSERT_EQ(p.program->state_entries.size(), 1u);
    EXPECT_EQ(p.program->state_entries[0].state, "s0");
}

TEST_F(StatecastFront, ExpressionShapes) {
    // not a = b is (not a) = b; - a * b is (-a) * b; a => b => c is (a => b) => c;
    // {P} i + 1 is {P}(i + 1); a % b is a mod b.
    Parsed p = parse(system_with("", "task b := not b = c; task x := - x * x; task b := b => c => b;\n"
                                     "task q := {P} x + 1; task x := x % 2; task b := x <> 1; nextstate s0;",
                                 "var x t; var b boolean; var c boolean; var q pid;"));
    ASSERT_EQ(p.result, PARSE_OK) << p.messages;
    EXPECT_EQ(p.errors, 0) << p.messages;
    const auto& st = p.decl("P")->as<ProcessObj>()->start_state->as<StateObj>()->items[0].transition->statements;
    EXPECT_EQ(st[0]->expr->kind, EK_EQ);
    EXPECT_EQ(st[0]->expr->left->kind, EK_NOT);
    EXPECT_EQ(st[1]->expr->kind, EK_MUL);
    EXPECT_EQ(st[1]->expr->left->kind, EK_NEG);
    EXPECT_EQ(st[2]->expr->kind, EK_IMPLIES);
    EXPECT_EQ(st[2]->expr->left->kind, EK_IMPLIES);
    EXPECT_EQ(st[3]->expr->kind, EK_PID_OF);
    EXPECT_EQ(st[3]->expr->left->kind, EK_ADD);
    EXPECT_EQ(st[3]->expr->ident, p.decl("P"));  // the cast identifier resolved at endsystem
    EXPECT_EQ(st[4]->expr->kind, EK_MOD);
    EXPECT_EQ(st[5]->expr->kind, EK_NE);
}

TEST_F(StatecastFront, RouteAttributesAndProperties) {
    settings.route_capacity = 4;
    Parsed p = parse(system_with("signalroute r(1) from P to env with s;\n"
                                 "signalroute d(1) #delay[1,2] #lossy #multiset #multicast from env to P with s;\n"
                                 "signalroute u(1) #rate[3,4] #delay[1,2] #peer from P to Q with s;\n"
                                 "process Q(1); state q #start; stop; endstate; endprocess;"));
    ASSERT_EQ(p.result, PARSE_OK) << p.messages;
    ASSERT_EQ(p.errors, 0) << p.messages;
    const RouteObj* r = p.decl("r")->as<RouteObj>();
    EXPECT_EQ(r->queue, RC_FIFO);
    EXPECT_EQ(r->reliability, RC_RELIABLE);
    EXPECT_EQ(r->casting, RC_PEER);
    EXPECT_EQ(r->delay, RC_URGENT);
    EXPECT_EQ(r->capacity, 0);  // urgent routes have no capacity
    const RouteObj* d = p.decl("d")->as<RouteObj>();
    EXPECT_EQ(d->delay, RC_DELAY);
    EXPECT_EQ(d->delay_lo, 1);
    EXPECT_EQ(d->delay_hi, 2);
    EXPECT_EQ(d->capacity, 4);
    EXPECT_EQ(d->reliability, RC_LOSSY);
    EXPECT_EQ(d->queue, RC_MULTISET);
    EXPECT_EQ(d->casting, RC_MULTICAST);
    const RouteObj* u = p.decl("u")->as<RouteObj>();
    EXPECT_EQ(u->delay, RC_DELAY);  // the last attribute of a group wins
    EXPECT_EQ(u->casting, RC_PEER);
    EXPECT_EQ(u->reliability, RC_RELIABLE);  // the codes return to their defaults
    EXPECT_EQ(p.program->pid_count, 2 + 3 + 2);
}

TEST_F(StatecastFront, EnumerationsAndTypeCopies) {
    Parsed p = parse(system_with("type e = enum a, b, c endenum; type bb = boolean; const k = c + 1;",
                                 "task y := true; task z := b; nextstate s0;",
                                 "var y bb; var z e; state s1; nextstate s0; endstate;"
                                 "type f = enum u, v endenum;"));
    ASSERT_EQ(p.result, PARSE_OK) << p.messages;
    EXPECT_EQ(p.errors, 0) << p.messages;
    const Type& e = p.decl("e")->as<TypeObj>()->type;
    EXPECT_EQ(e.values, (ValueSet{0, 1, 2}));
    EXPECT_EQ(p.decl("k")->as<ConstObj>()->value, 3);
    EXPECT_TRUE(p.decl("bb")->as<TypeObj>()->type.is_boolean());
}

// ---------------------------------------------------------------------------
// Parser: messages.

struct MessageCase {
    const char* name;
    std::string text;
    int result;
    std::vector<std::string> messages;  // each must appear
    int errors;                         // counted errors, -1: any
};

std::string sys(const std::string& decls, const std::string& body = "nextstate s0;", const std::string& pdecls = "") {
    return system_with(decls, body, pdecls);
}

TEST_F(StatecastFront, MessagesOfTheChecks) {
    const std::vector<MessageCase> cases = {
        {"constant hides a name", "system S; const n = 3; var n t; endsystem;", 1, {"parse error"}, 0},
        {"undeclared name in a process", sys("", "task x := y; nextstate s0;", "var x t;"), 0,
         {"identifier y undeclared or used incorrectly", "y declared but not defined"}, 2},
        {"forward nextstate", sys("", "nextstate s1;", "state s1; nextstate s0; endstate;"), 0, {}, 0},
        {"nextstate to no state", sys("", "nextstate s9;"), 0, {"s9 declared but not defined"}, 1},
        {"defined twice, same class", sys("type u = range 0..1; type u = range 0..1;"), 0,
         {"u previously defined"}, 1},
        {"defined twice, other class", sys("type u = range 0..1; signal u();"), 0, {"u previously declared"}, 1},
        {"system name hidden in a process", sys("", "nextstate s0;", "var S t;"), 0, {}, 0},
        {"input constant -10000", sys("signal m(integer);", "nextstate s0;"), 0, {"data type not supported"}, 1},
        {"input constant at the lowest value",
         sys("type w = range -10000..0; signal m(w);", "input m(-10000); nextstate s0;"), 0, {}, 0},
        {"input constant too low", sys("", "input s(-10001); nextstate s0;"), 0,
         {"constant too low - are youtrying to break me?"}, -1},
        {"input constant out of range", sys("", "input s(3); nextstate s0;"), 0, {"constant out of declared range"}, 1},
        {"a = b = c", sys("", "provided 1 = 1 = 1; nextstate s0;"), 1, {"parse error"}, 0},
        {"a < b < c", sys("", "provided 1 < 1 < 1; nextstate s0;"), 1, {"parse error"}, 0},
        {"stop inside if", sys("", "if true then skip; else stop; endif nextstate s0;"), 1, {"parse error"}, 0},
        {"signal named before its declaration", "system S; signalroute r(1) from P to env with m; signal m(); "
                                                "process P(1); state s #start; stop; endstate; endprocess; endsystem;",
         0, {"identifier m undeclared or used incorrectly", "m previously declared", "m declared but not defined"}, 3},
        {"empty inline body", sys("procedure p; {# #} endprocedure;"), 0, {}, 0},
        {"token in the inline body", sys("procedure p; {# skip #} endprocedure;"), 1, {"parse error"}, 0},
        {"not a = b with numeric a", sys("", "provided not x = true; nextstate s0;", "var x t;"), 0,
         {"type mismatch in expression"}, -1},
        {"integer variable", sys("var x integer;"), 0, {"data type not supported"}, 1},
        {"integer parameter", "system S; process P(1); fpar x integer; state s #start; stop; endstate; endprocess; "
                              "endsystem;",
         0, {"cannot use unlimited sort"}, 1},
        {"signal without parentheses", sys("signal m;"), 1, {"parse error"}, 0},
        {"argument to a signal without parameters", sys("signal m();", "input m(x); nextstate s0;", "var x t;"), 0,
         {"incorrect number of arguments to signal"}, 1},
        {"no start state", "system S; process P(1); state s; stop; endstate; endprocess; endsystem;", 0,
         {"process has no start state defined"}, 1},
        {"two start states", sys("", "nextstate s0;", "state s1 #start; stop; endstate;"), 0,
         {"process has multiple start states defined"}, 1},
        {"cast of nothing", sys("", "task q := {T}0; nextstate s0;", "var q pid;"), 0,
         {"cast identifier T is neither a process nor a signalroute"}, 1},
        {"cast of env", sys("", "task q := {env}0; nextstate s0;", "var q pid;"), 0, {}, 0},
        {"cast of a later process", sys("process Q(1); state q #start; stop; endstate; endprocess;",
                                        "task q := {Q}0; nextstate s0;", "var q pid;"),
         0, {}, 0},
        {"fork of a non-route", sys("", "fork P; nextstate s0;"), 0, {"identifier P undeclared or used incorrectly"},
         1},
        {"fork result not a pid", sys("", "x := fork P(1); nextstate s0;", "var x t;"), 0, {"pid variable expected"},
         1},
        {"set of a clock", sys("", "set c := 1; nextstate s0;", "var c clock;"), 0,
         {"set statement not supported; will ignore"}, 0},
        {"set of a non-clock", sys("", "set x := 1; nextstate s0;", "var x t;"), 0,
         {"clock variable expected", "set statement not supported; will ignore"}, 1},
        {"call", sys("procedure p; endprocedure;", "call p(1); nextstate s0;"), 0,
         {"call statement not supported; will ignore"}, 0},
        {"provided not boolean", sys("", "provided 1; nextstate s0;"), 0,
         {"boolean expression expected at provided clause"}, 1},
        {"kill of a number", sys("", "kill 1; nextstate s0;"), 0, {"expression of type pid expected"}, 1},
        {"if of a number", sys("", "if 1 then skip; endif nextstate s0;"), 0, {"expression of type boolean expected"},
         1},
        {"output argument of the wrong type", sys("", "output s(true); nextstate s0;"), 0,
         {"type mismatch in expression"}, 1},
        {"array form", sys("type a = record x t; endrecord;"), 0, {"records are not supported"}, -1},
        {"in/out parameter", "system S; type t = range 0..1; process P(1); fpar in/out x t; state s #start; stop; "
                             "endstate; endprocess; endsystem;",
         0, {"process cannot have in/out parameters"}, 1},
        {"non-constant constant", sys("", "nextstate s0;", "var x t; const k = x;"), 0, {"expression is not constant"},
         1},
        {"clock constraint", sys("", "when x < 1; nextstate s0;", "var x t;"), 0, {"clock variable expected"}, 1},
        {"nextstate to a variable", sys("", "nextstate x;", "var x t;"), 0, {"x is of wrong type"}, 1},
        {"route from a signal", sys("signalroute r(1) from s to env with s;"), 0, {"s is of wrong type"}, 1},
        {"route from nothing", sys("signalroute r(1) from X to env with s;"), 0, {"X declared but not defined"}, 1},
        {"input variable wider than the parameter",
         sys("type w = range 0..5;", "input s(v); nextstate s0;", "var v w;"), 0,
         {"argument variable is not a subset of the required type"}, 1},
        {"input variable within the parameter", sys("type w = range 1..2;", "input s(v); nextstate s0;", "var v w;"),
         0, {}, 0},
        {"clock parameter", sys("signal m(clock);"), 0, {"clock type not supported as signal"}, 1},
        {"abstract type", sys("type ab = abstract x y(); endabstract;"), 0, {"abstracts are not supported"}, -1},
        {"clock bound not numeric", sys("", "when c < true; nextstate s0;", "var c clock;"), 0,
         {"numerical expression expected"}, 1},
        // the type fit of assignments: numbers fit ranges and clocks, booleans
        // only boolean types, pids only pid, clock values nothing
        {"fit: number to a boolean", sys("", "task y := 1; nextstate s0;", "var y boolean;"), 0,
         {"type mismatch in expression"}, 1},
        {"fit: number to a pid", sys("", "task q := 1; nextstate s0;", "var q pid;"), 0,
         {"type mismatch in expression"}, 1},
        {"fit: nil to a range", sys("", "task x := nil; nextstate s0;", "var x t;"), 0,
         {"type mismatch in expression"}, 1},
        {"fit: boolean to a copied boolean type",
         sys("type bb = boolean;", "task y := true; nextstate s0;", "var y bb;"), 0, {}, 0},
        {"fit: number to an enumeration",
         sys("type e = enum u, v endenum;", "task y := 1; nextstate s0;", "var y e;"), 0, {}, 0},
        {"fit: pid to a pid", sys("", "task q := {P}0; nextstate s0;", "var q pid;"), 0, {}, 0},
        {"fit: a clock's value", sys("", "task x := c; nextstate s0;", "var x t; var c clock;"), 0,
         {"type mismatch in expression"}, 1},
        // mended: empty ranges, too many parameters, broken route counts,
        // constants beyond the encodings, division by zero
        {"empty range", sys("type u = range 5..2;"), 0, {"empty range 5..2"}, 1},
        {"ten process parameters",
         "system S; type t = range 0..1; process P(1); fpar a t, b t, c t, d t, e t, f t, g t, h t, i t, j t; "
         "state s #start; stop; endstate; endprocess; endsystem;",
         0, {"process P has more than 9 parameters"}, 1},
        {"route without instances", sys("signalroute r(0) from P to env with s;"), 0, {}, 0},
        {"route beyond its instances", sys("signalroute r(2) from P to env with s;"), 0,
         {"initial number larger than maximum"}, 1},
        {"constant aliasing true", sys("const k = 32763 + 1;"), 0, {"of constant expression out of range"}, 1},
        {"constant division by zero", sys("const k = 1 / (1 - 1);"), 0, {"division by zero in constant expression"},
         1},
    };
    for (const auto& c : cases) {
        Parsed p = parse(c.text);
        EXPECT_EQ(p.result, c.result) << c.name << "\n" << p.messages;
        for (const auto& m : c.messages) EXPECT_TRUE(p.has(m)) << c.name << ": no '" << m << "' in\n" << p.messages;
        if (c.errors >= 0) {
            EXPECT_EQ(p.errors, c.errors) << c.name << "\n" << p.messages;
        }
    }
}

TEST_F(StatecastFront, InstanceCountsOfProcessesAndRoutes) {
    testsupport::TempDir dir;
    testsupport::write_file(dir.file("p.if_prop"), "VOS\nIF_Properties\nFORMAT_N2\nP.instances = 1\nQ.instances = 0\n"
                                                   "\nr.instances=0\n");
    testing::internal::CaptureStdout();
    read_if_properties(dir.file("p.if_prop"), true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Reading properties from " + dir.file("p.if_prop") + "\n");
    EXPECT_EQ(get_if_property("P.instances", 7), 1);
    EXPECT_EQ(get_if_property("P.capacity", 7), 7);
    auto text = [](const std::string& decl) {
        return "system S; " + decl + " state s #start; stop; endstate; endprocess; endsystem;";
    };
    Parsed a = parse(text("process P(2);"));
    EXPECT_TRUE(a.has("initial number larger than maximum")) << a.messages;
    EXPECT_EQ(a.errors, 1);
    Parsed b = parse(text("process Q(0);"));
    EXPECT_TRUE(b.has("number of instances is broken")) << b.messages;
    EXPECT_EQ(b.errors, 1);
    Parsed c = parse("system S; signal m(); signalroute r(0) from env to env with m; endsystem;");
    EXPECT_TRUE(c.has("number of instances is broken")) << c.messages;

    // queue capacities are values of the net: negative ones and ones that
    // reach the codes of false, true and nil are refused
    struct Capacity {
        std::int32_t queue, route;
        int errors;
    };
    for (const Capacity& k : {Capacity{0, 0, 0}, Capacity{32763, 32763, 0}, Capacity{-1, 1, 1},
                              Capacity{1, -3, 1}, Capacity{32764, 1, 1}, Capacity{1, 40000, 1}}) {
        settings.queue_capacity = k.queue;
        settings.route_capacity = k.route;
        Parsed d = parse("system S; signal m(); signalroute w(1) #delay[0,1] from env to env with m;"
                         " signalroute u(1) from env to env with m;"
                         " process X(1); state s #start; stop; endstate; endprocess; endsystem;");
        EXPECT_EQ(d.errors, k.errors) << k.queue << " " << k.route << d.messages;
        if (k.errors) {
            EXPECT_TRUE(d.has("out of range 0..32763")) << d.messages;
        }
    }
}

TEST_F(StatecastFront, ErrorLinesCarryLineTokenAndNumber) {
    Parsed p = parse("system S;\nprocess P(1);\nstate s #start;\ntask x := 1;\nstop; endstate; endprocess; endsystem;");
    EXPECT_NE(p.messages.find("[line   4] error   1   (before or at ';'): identifier x undeclared or used incorrectly"),
              std::string::npos)
        << p.messages;
    Parsed q = parse("system S;\nendsystem; x");
    EXPECT_EQ(q.result, PARSE_SYNTAX_ERROR);
    EXPECT_NE(q.messages.find("[line   2] error   0   (before or at 'x'): parse error"), std::string::npos) << q.messages;
}

TEST_F(StatecastFront, ParseStackLimit) {
    auto nested = [](int depth) {
        return sys("const k = " + std::string(static_cast<std::size_t>(depth), '(') + "1" +
                   std::string(static_cast<std::size_t>(depth), ')') + ";");
    };
    Parsed fine = parse(nested(3000));
    EXPECT_EQ(fine.result, PARSE_OK) << fine.messages.substr(0, 300);
    EXPECT_EQ(fine.decl("k")->as<ConstObj>()->value, 1);
    Parsed deep = parse(nested(20000));
    EXPECT_EQ(deep.result, PARSE_STACK_OVERFLOW);
    EXPECT_TRUE(deep.has("parser stack overflow"));
    // nested if bodies keep their own stack too
    std::string body;
    for (int i = 0; i < 4000; ++i) body += "if true then ";
    body += "skip;";
    for (int i = 0; i < 4000; ++i) body += " endif";
    Parsed ifs = parse(sys("", body + " nextstate s0;"));
    EXPECT_EQ(ifs.result, PARSE_STACK_OVERFLOW);
    std::string some;
    for (int i = 0; i < 500; ++i) some += "while true do ";
    some += "skip;";
    for (int i = 0; i < 500; ++i) some += " endwhile";
    Parsed whiles = parse(sys("", some + " nextstate s0;"));
    EXPECT_EQ(whiles.result, PARSE_OK) << whiles.messages.substr(0, 300);
}

// ---------------------------------------------------------------------------
// Constant evaluation.

TEST_F(StatecastFront, ConstantEvaluation) {
    struct Case {
        const char* expr;
        std::int32_t value;
    };
    const std::vector<Case> cases = {
        {"1 + 2 * 3", 7},         {"(1 + 2) * 3", 9},      {"7 / 2", 3},          {"7 mod 3", 1},
        {"7 % 3", 1},             {"- 4 + 10", 6},         {"1 < 2", V_TRUE},     {"2 <= 1", V_FALSE},
        {"true and false", V_FALSE}, {"true or false", V_TRUE}, {"true xor true", V_FALSE},
        {"false => false", V_TRUE},  {"true => false", V_FALSE}, {"not false", V_TRUE}, {"nil = nil", V_TRUE},
        {"3 <> 3", V_FALSE},      {"32000 * 2 - 32000", 32000},  {"-10000", -10000},
    };
    for (const auto& c : cases) {
        Parsed p = parse(sys(std::string("const k = ") + c.expr + ";"));
        ASSERT_EQ(p.result, PARSE_OK) << c.expr << p.messages;
        EXPECT_EQ(p.errors, 0) << c.expr << p.messages;
        EXPECT_EQ(p.decl("k")->as<ConstObj>()->value, c.value) << c.expr;
    }
}

// ---------------------------------------------------------------------------
// Numbering and the information file.

// The example of the information file: -DP2, t = 0..2, signals a(),
// b(t,boolean), c(pid), processes P and Q, route r(1) from P to Q and route
// e(1) from the environment.
const char* const info_example =
    "system S;\n"
    "  type t = range 0..2;\n"
    "  signal a();\n"
    "  signal b(t, boolean);\n"
    "  signal c(pid);\n"
    "  process P(1);\n"
    "    state p0 #start; nextstate p0; endstate;\n"
    "  endprocess;\n"
    "  process Q(1);\n"
    "    state q0 #start; nextstate q1; endstate;\n"
    "    state q1; nextstate q0; endstate;\n"
    "  endprocess;\n"
    "  signalroute r(1) from P to Q with a, b;\n"
    "  signalroute e(1) from env to Q with c;\n"
    "endsystem;\n";

TEST_F(StatecastFront, NumberingOfTheExample) {
    settings.process_instances = 2;
    Parsed p = parse(info_example);
    ASSERT_EQ(p.result, PARSE_OK) << p.messages;
    ASSERT_EQ(p.errors, 0) << p.messages;
    number_system(*p.program);
    const SystemObj* s = p.system();
    EXPECT_EQ(p.decl("P")->as<ProcessObj>()->pid_first, 1);
    EXPECT_EQ(p.decl("Q")->as<ProcessObj>()->pid_first, 3);
    EXPECT_EQ(p.decl("r")->as<RouteObj>()->pid_first, 5);
    EXPECT_EQ(p.decl("e")->as<RouteObj>()->pid_first, 6);
    ASSERT_NE(p.decl("e")->as<RouteObj>()->from_channel, nullptr);
    EXPECT_EQ(p.decl("e")->as<RouteObj>()->from_channel->name, "S@a");
    EXPECT_EQ(s->decls.back()->cls, CL_ENV_CHANNEL);
    EXPECT_EQ(p.decl("r")->as<RouteObj>()->signal_set, (ValueSet{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(p.decl("e")->as<RouteObj>()->signal_set, (ValueSet{7, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(pid_value_set(), (ValueSet{0, 1, 2, 3, 4, 5, 6, V_NIL}));

    testsupport::TempDir dir;
    testing::internal::CaptureStdout();
    write_if_information(dir.file("x.if_info"), *p.program);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Writing state information to " + dir.file("x.if_info") + "\n");
    ASSERT_TRUE(outfile::commit());
    EXPECT_EQ(testsupport::read_file(dir.file("x.if_info")),
              "VOS\nIF_Information\nFORMAT_N\nSTATE\nP.p0 = 1\nQ.q1 = 2\nQ.q0 = 1\n"
              "PID\nP[0] = 1\nP[1] = 2\nQ[0] = 3\nQ[1] = 4\nr[0] = 5\ne[0] = 6\n"
              "SIGNAL\na() = 0\nb(0,False) = 1\nb(1,False) = 2\nb(2,False) = 3\nb(0,True) = 4\nb(1,True) = 5\n"
              "b(2,True) = 6\nc(nil) = 7\nc(env) = 8\nc(P[0]) = 9\nc(P[1]) = 10\nc(Q[0]) = 11\nc(Q[1]) = 12\n"
              "c(r[0]) = 13\nc(e[0]) = 14\n");
}

TEST_F(StatecastFront, PidsOfProcessesComeBeforeRoutes) {
    testsupport::TempDir dir;
    testsupport::write_file(dir.file("p.if_prop"), "VOS\nIF_Properties\nFORMAT_N\nA.instances = 2\nB.instances=3\n");
    testing::internal::CaptureStdout();
    read_if_properties(dir.file("p.if_prop"), false);
    testing::internal::GetCapturedStdout();
    Program program;
    mnet::error_counter = 0;
    mnet::parsing_flag = 1;
    ASSERT_EQ(parse_if("system S; signal m(); signalroute r(1) from A to B with m;"
                       "process A(1); state s #start; stop; endstate; endprocess;"
                       "process B(1); state s #start; stop; endstate; endprocess; endsystem;",
                       program),
              PARSE_OK);
    mnet::parsing_flag = 0;
    EXPECT_EQ(mnet::error_counter, 0);
    number_system(program);
    const auto& e = pid_entries();
    ASSERT_EQ(e.size(), 6u);
    EXPECT_EQ(e[0].name, "A");
    EXPECT_EQ(e[1].pid, 2);
    EXPECT_EQ(e[2].name, "B");
    EXPECT_EQ(e[4].pid, 5);
    EXPECT_EQ(e[5].name, "r");
    EXPECT_EQ(e[5].pid, 6);
}

TEST_F(StatecastFront, StateNumbersBeyondEightBits) {
    std::string states;
    for (int i = 0; i < 300; ++i)
        states += "state s" + std::to_string(i) + (i == 0 ? " #start" : "") + "; nextstate s" +
                  std::to_string((i + 1) % 300) + "; endstate;\n";
    Parsed p = parse("system S; process P(1);\n" + states + "endprocess; endsystem;");
    ASSERT_EQ(p.result, PARSE_OK) << p.messages.substr(0, 300);
    ASSERT_EQ(p.errors, 0);
    ASSERT_EQ(p.program->state_entries.size(), 300u);
    EXPECT_EQ(p.program->state_entries.front().state, "s299");  // newest first
    EXPECT_EQ(p.program->state_entries.front().number, 300);
}

TEST_F(StatecastFront, EnvironmentChannelNames) {
    EXPECT_EQ(env_channel_name("S", 0), "S@a");
    EXPECT_EQ(env_channel_name("S", 25), "S@z");
    EXPECT_EQ(env_channel_name("S", 26), "S@aa");
    EXPECT_EQ(env_channel_name("S", 27), "S@ab");
    EXPECT_EQ(env_channel_name("S", 52), "S@ba");
}

TEST_F(StatecastFront, SourceSlicesOfReferences) {
    const std::vector<std::string> lines = {"output m(\"a\");", "  if b then", "  endif", "x"};
    struct Case {
        std::uint32_t l1, c1, l2, c2;
        const char* text;
    };
    const std::vector<Case> cases = {
        {1, 1, 1, 15, "output m(a);"},       // double quotes left out
        {2, 3, 3, 7, "if b then  endif"},    // lines joined without their ends
        {1, 8, 1, 8, "m"},                   // one column
        {3, 3, 3, 99, "endif"},              // a column beyond the line's end
        {4, 1, 9, 5, "x"},                   // a line beyond the source
        {9, 1, 9, 5, "x"},                   // wholly beyond: the last line
        {0, 0, 0, 0, ""},                    // no position
    };
    for (const auto& c : cases) {
        PosRec r;
        r.line1 = c.l1;
        r.col1 = c.c1;
        r.line2 = c.l2;
        r.col2 = c.c2;
        EXPECT_EQ(source_slice(lines, r), c.text) << c.l1 << "," << c.c1 << ";" << c.l2 << "," << c.c2;
    }
}

// ---------------------------------------------------------------------------
// Command line.

TEST_F(StatecastFront, FileNamesOfTheCommandLine) {
    struct Case {
        std::vector<std::string> args;
        const char *net, *props, *ref, *info;
        bool explicit_props;
    };
    const std::vector<Case> cases = {
        {{"spec.if"}, "spec.hl_net", "spec.if_prop", "spec.if_hl_ref", "spec.if_info", false},
        {{"spec", "-o", "out.net"}, "out.net", "spec.if_prop", "out.if_hl_ref", "out.if_info", false},
        {{"-r", "my.ref", "spec.if"}, "spec.hl_net", "spec.if_prop", "spec.if_hl_ref", "spec.if_info", false},
        {{"spec.if", "-r", "my.ref"}, "spec.hl_net", "spec.if_prop", "my.ref", "spec.if_info", false},
        {{"spec.if", "-r", "my.ref", "-o", "o"}, "o", "spec.if_prop", "o.if_hl_ref", "o.if_info", false},
        {{"spec.if", "-i", "x.info", "-p", "p.prop"}, "spec.hl_net", "p.prop", "spec.if_hl_ref", "x.info", true},
        {{"-p", "p.prop", "spec.if"}, "spec.hl_net", "spec.if_prop", "spec.if_hl_ref", "spec.if_info", false},
        {{"my.dir/spec"}, "my.dir/spec.hl_net", "my.dir/spec.if_prop", "my.dir/spec.if_hl_ref",
         "my.dir/spec.if_info", false},
        {{"my.dir/spec.x.if"}, "my.dir/spec.x.hl_net", "my.dir/spec.x.if_prop", "my.dir/spec.x.if_hl_ref",
         "my.dir/spec.x.if_info", false},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(read_command_line(c.args), 0) << c.args[0];
        EXPECT_EQ(settings.net_file, c.net) << c.args.size();
        EXPECT_EQ(settings.properties_file, c.props);
        EXPECT_EQ(settings.reference_file, c.ref);
        EXPECT_EQ(settings.information_file, c.info);
        EXPECT_EQ(settings.explicit_properties, c.explicit_props);
    }
}

TEST_F(StatecastFront, OptionLetters) {
    ASSERT_EQ(read_command_line({"-DC0", "-DS3", "-DQ12", "-DP2", "-BS7", "-BP3", "-O5", "-E", "s.if"}), 0);
    EXPECT_EQ(settings.route_capacity, 0);
    EXPECT_EQ(settings.route_instances, 3);
    EXPECT_EQ(settings.queue_capacity, 12);
    EXPECT_EQ(settings.process_instances, 2);
    EXPECT_EQ(settings.route_variant, 7);
    EXPECT_EQ(settings.process_variant, 3);
    EXPECT_EQ(settings.overflow, 5);
    EXPECT_FALSE(settings.model_environment);
    ASSERT_EQ(read_command_line({"-EBP1DC2", "s.if"}), 0);  // letters of one word, left to right
    EXPECT_EQ(settings.process_variant, 1);
    EXPECT_EQ(settings.route_capacity, 2);

    struct Bad {
        std::vector<std::string> args;
        const char* err;
    };
    const std::vector<Bad> bad = {
        {{"-Q", "s.if"}, "unknown flag: 'Q'\n"},
        {{"-DCx", "s.if"}, "Usage: statecast"},
        {{"-BS", "s.if"}, "Usage: statecast"},
        {{"-BX1", "s.if"}, "Usage: statecast"},
        {{"-O", "s.if"}, "Usage: statecast"},
        {{"a.if", "b.if"}, "Usage: statecast"},
        {{}, "Usage: statecast"},
        {{"s.if", "-o", "s.if"}, "would replace the input"},
    };
    for (const auto& b : bad) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(read_command_line(b.args), 1);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(b.err), std::string::npos) << err;
    }
    testing::internal::CaptureStderr();
    read_command_line({});
    std::string usage = testing::internal::GetCapturedStderr();
    EXPECT_EQ(usage.substr(usage.size() - 28), "Version 0.1.1 (11.10.2001)\n\n");
}

}  // namespace
}  // namespace statecast
