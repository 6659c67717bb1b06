// The guard language and the text forms of places and arcs.
#include <gtest/gtest.h>

#include <map>

#include "failure.h"
#include "guard.h"
#include "names.h"
#include "values.h"

using namespace flatnet;

namespace {

// Parses and evaluates a guard; variables get consecutive slots.
struct Evaluation {
    bool parsed = false;
    Value value = 0;
    bool error = false;
    std::string messages;  // what the guard reported on standard error
};

Evaluation evaluate(const std::string& text, const std::map<std::string, Tuple>& vars = {}) {
    NameTable names;
    testing::internal::CaptureStderr();
    Guard g = guard_parse(text, 7, names);
    Evaluation r;
    r.parsed = g.ok;
    if (g.ok) {
        std::vector<Value> binding;
        std::map<std::uint32_t, VariableSlot> slots;
        for (const auto& [name, tuple] : vars) {
            slots[names.name_to_code(name)] = {static_cast<std::uint32_t>(binding.size()),
                                               static_cast<std::uint32_t>(tuple.size())};
            binding.insert(binding.end(), tuple.begin(), tuple.end());
        }
        GuardProgram program(g, 7, [&slots](std::uint32_t code) { return slots.at(code); });
        r.value = program.evaluate(binding.data(), r.error);
    }
    r.messages = testing::internal::GetCapturedStderr();
    return r;
}

std::vector<int> token_types(const std::string& text) {
    std::vector<int> out;
    for (const GuardTokenValue& t : guard_lex(text)) out.push_back(t.type);
    return out;
}

}  // namespace

TEST(GuardScanner, Tokens) {
    EXPECT_EQ(token_types("pr2(x) >= 10 and not y|z&!w<=..X"),
              (std::vector<int>{PROJ, NUMBER, '(', IDENT, ')', GE, NUMBER, AND, NOT, IDENT, OR, IDENT, AND, NOT,
                                IDENT, LE, DOTDOT, CROSS, 0}));
    EXPECT_EQ(token_types("tt ff dot or pr pr23 x' _a@b!? $"),
              (std::vector<int>{TRUE, FALSE, DOT_TOKEN, OR, PROJ, IDENT, IDENT, IDENT, '$', 0}));
    // "pr" and one digit is a projection; the digit is read again.
    std::vector<GuardTokenValue> t = guard_lex("pr0");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[1].number, 0);
    // A word longer than 128 characters goes on as a new token.
    t = guard_lex(std::string(130, 'a'));
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].text.size(), 128u);
    EXPECT_EQ(t[1].text, "aa");
}

TEST(GuardEvaluation, OperatorsPrecedenceAndTypes) {
    using V = std::map<std::string, Tuple>;
    struct Case {
        const char* text;
        V vars;
        Value value;
        bool error;
    } cases[] = {
        // AND binds weaker than comparisons and NOT.
        {"x >= 2 and not (y = dot)", V{{"x", {3}}, {"y", {1}}}, tt, false},
        {"x >= 2 and not (y = dot)", V{{"x", {3}}, {"y", {dot}}}, ff, false},
        {"not x = 1 & tt", V{{"x", {2}}}, tt, false},
        {"1 + 2 * 3 = 7 & (1 + 2) * 3 = 9 & -x * 2 = -4 & 7 % 3 = 1 & -7 / 2 = -3", V{{"x", {2}}}, tt, false},
        {"1 - 2 - 3 = -4 | ff", {}, tt, false},
        // Components count from 0; a projection beyond the dimension fails.
        {"pr2(x) = 3", V{{"x", {1, 2, 3}}}, tt, false},
        {"pr0(x) = 1 & x = 1", V{{"x", {1, 2, 3}}}, tt, false},
        {"pr3(x) = 3", V{{"x", {1, 2, 3}}}, ff, true},
        // Comparisons of values that are not numbers.
        {"tt >= ff", {}, ff, false},
        {"dot <= dot", {}, tt, false},
        {"tt < dot", {}, ff, false},
        {"tt # ff", {}, tt, false},
        // A zero divisor sets the error flag.
        {"6 / x = 3", V{{"x", {2}}}, tt, false},
        {"6 / x = 3", V{{"x", {0}}}, ff, true},
        {"6 % x = 0", V{{"x", {0}}}, ff, true},
        // The deciding left operand of & and | leaves the right one alone.
        {"ff & 1 / 0 = 1", {}, ff, false},
        {"tt | 1 / 0 = 1", {}, tt, false},
        {"tt & 1 / 0 = 1", {}, tt, true},
        // 16-bit arithmetic: 32767 + 1 wraps onto ff.
        {"32767 + 1 = ff", {}, tt, false},
        {"-32765 - 1 = dot", {}, tt, false},
    };
    for (const Case& c : cases) {
        Evaluation r = evaluate(c.text, c.vars);
        ASSERT_TRUE(r.parsed) << c.text;
        EXPECT_EQ(r.value, c.value) << c.text;
        EXPECT_EQ(r.error, c.error) << c.text;
        EXPECT_EQ(r.messages, "") << c.text;
    }
}

TEST(GuardEvaluation, TypeErrorsAreReportedAndEvaluationGoesOn) {
    Evaluation r = evaluate("not 5");
    EXPECT_EQ(r.value, tt);
    EXPECT_FALSE(r.error);
    EXPECT_EQ(r.messages, "transition id 7: Boolean value expected\n");
    r = evaluate("tt + 1 = ff + 2");
    EXPECT_EQ(r.value, tt);
    EXPECT_EQ(r.messages, "transition id 7: Numerical value expected\ntransition id 7: Numerical value expected\n");
    // The result of a non-Boolean AND is its last evaluated operand.
    r = evaluate("3 & 4");
    EXPECT_EQ(r.value, 4);
    EXPECT_EQ(r.messages, "transition id 7: Boolean value expected\n");
}

TEST(GuardParser, DeclarationsAndErrors) {
    NameTable names;
    Guard g = guard_parse("x{1..3} X {tt,ff} and y{-3..-1, [5,6], 9, 2..1} X {dot}: y # x", 3, names);
    ASSERT_TRUE(g.ok);
    ASSERT_EQ(g.declarations.size(), 2u);
    EXPECT_EQ(names.code_to_name(g.declarations[0].code), "x");
    EXPECT_EQ(g.declarations[0].domain, (std::vector<ValueSet>{{1, 2, 3}, {ff, tt}}));
    EXPECT_EQ(g.declarations[1].domain, (std::vector<ValueSet>{{-3, -2, -1, 5, 6, 9}, {dot}}));
    EXPECT_EQ(g.declared.entries().size(), 2u);
    EXPECT_EQ(g.used.entries().size(), 2u);
    ASSERT_GE(g.root, 0);
    EXPECT_EQ(g.nodes[g.root].type, '#');

    for (const char* bad : {"x +", "(x", "x)", "x{1..3}", "x{}: tt", "1 < 2 < 3", "99999 = x", "x{-32766}: tt",
                            "$", "pr(x)", "pr1 x", "x = = 1", ""}) {
        testing::internal::CaptureStderr();
        Guard b = guard_parse(bad, 12, names);
        EXPECT_FALSE(b.ok) << bad;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "transition id 12: parse error\n") << bad;
    }
    // Deep nesting needs no recursion.
    std::string deep = std::string(100000, '(') + "tt" + std::string(100000, ')');
    EXPECT_EQ(evaluate(deep).value, tt);
    std::string sum = "0";
    for (int i = 0; i < 100000; ++i) sum += " + 1";
    EXPECT_EQ(evaluate(sum + " = -31072").value, tt);  // 100000 in 16 bits
}

TEST(TextForms, PlaceTypes) {
    PlaceType t = parse_place_type("{1..3} X {tt,ff}");
    EXPECT_FALSE(t.untyped);
    EXPECT_EQ(t.components, (std::vector<ValueSet>{{1, 2, 3}, {ff, tt}}));
    EXPECT_EQ(t.size(1), 6u);
    EXPECT_EQ(parse_place_type(" { -2 , 5, 0..1, dot } ").components, (std::vector<ValueSet>{{dot, -2, 0, 1, 5}}));
    EXPECT_EQ(parse_place_type("{}").size(1), 0u);
    EXPECT_TRUE(PlaceType().untyped);
    EXPECT_EQ(PlaceType().components, (std::vector<ValueSet>{{dot}}));

    for (const auto& [text, message] : std::vector<std::pair<const char*, const char*>>{
             {"{3..1}", "first number in range should be smaller than the second"},
             {"1..3}", "'{' expected"},
             {"{1..3", "'}' expected"},
             {"{1} {2}", "'X' expected"},
             {"{x}", "unknown number"},
             {"{-}", "number expected after '-'"},
             {"{32768}", "number out of range"},
             {"{-32766}", "number out of range"},
         }) {
        try {
            parse_place_type(text);
            ADD_FAILURE() << text;
        } catch (const TextError& e) {
            EXPECT_STREQ(e.what(), message) << text;
        }
    }
    // 2^64 values do not fit.
    PlaceType huge;
    huge.components.assign(4, ValueSet(65536, 0));
    EXPECT_THROW(huge.size(9), Failure);
}

TEST(TextForms, Markings) {
    Marking m = parse_marking("{2*dot, dot, (1,tt), 3 (1,tt), 4, -5}");
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].tuple, Tuple{dot});
    EXPECT_EQ(m[0].count, 3u);
    EXPECT_EQ(m[1].tuple, Tuple{-5});
    EXPECT_EQ(m[2].tuple, (Tuple{1, tt}));
    EXPECT_EQ(m[2].count, 4u);
    EXPECT_EQ(m[3].tuple, Tuple{4});
    EXPECT_TRUE(parse_marking("{}").empty());
    for (const auto& [text, message] : std::vector<std::pair<const char*, const char*>>{
             {"{-2*dot}", "negative count"},
             {"{4294967296*dot}", "count out of range"},
             {"{(1,2}", "')' expected"},
             {"dot", "'{' expected"},
             {"{dot", "'}' expected"},
             {"{4294967295*dot, dot}", "count out of range"},
         }) {
        try {
            parse_marking(text);
            ADD_FAILURE() << text;
        } catch (const TextError& e) {
            EXPECT_STREQ(e.what(), message) << text;
        }
    }
    EXPECT_EQ(parse_number_list("(1, 2,4294967295)"), (std::vector<std::int64_t>{1, 2, 4294967295LL}));
    EXPECT_TRUE(parse_number_list("()").empty());
    EXPECT_THROW(parse_number_list("(1,2"), TextError);
}

TEST(TextForms, Inscriptions) {
    NameTable names;
    Inscription ins = parse_arc_inscription("{2*x, (y,tt), 3 (1, z)}", 2, names);
    ASSERT_EQ(ins.size(), 3u);
    EXPECT_EQ(ins[0].count, 2u);
    EXPECT_FALSE(ins[0].tuple);
    EXPECT_EQ(names.code_to_name(ins[0].terms[0].code), "x");
    EXPECT_TRUE(ins[1].tuple);
    EXPECT_TRUE(ins[1].terms[0].variable);
    EXPECT_FALSE(ins[1].terms[1].variable);
    EXPECT_EQ(ins[1].terms[1].value, tt);
    EXPECT_EQ(ins[2].count, 3u);
    EXPECT_EQ(ins[2].terms[0].value, 1);
    ins = parse_arc_inscription("dot,dot", 1, names);
    ASSERT_EQ(ins.size(), 2u);
    EXPECT_EQ(ins[1].terms[0].value, dot);
    EXPECT_EQ(parse_arc_inscription("-3", 1, names)[0].terms[0].value, -3);
    EXPECT_EQ(parse_arc_inscription("@c'", 1, names)[0].terms[0].code, names.name_to_code("@c'"));
    for (const auto& [text, message] : std::vector<std::pair<const char*, const char*>>{
             {"  ", "annotation string is missing"},
             {"{x,}", "identifier or constant expected"},
             {"(x,y,z)", "inscription doesn't have the required dimension"},
             {"3", "inscription doesn't have the required dimension"},
             {"(x,y", "')' expected"},
             {"{x", "malformed inscription"},
             {"x y", "malformed inscription"},
             {"-2*x", "negative count"},
         }) {
        try {
            parse_arc_inscription(text, 2, names);
            ADD_FAILURE() << text;
        } catch (const TextError& e) {
            EXPECT_STREQ(e.what(), message) << text;
        }
    }
}

TEST(CodeLists, UnionSumDifferenceAndOverflow) {
    CodeList a, b;
    a.add(3);
    a.add(1, 2);
    b.add(3, 4);
    b.add(2);
    CodeList u = a;
    u.unite(b);
    EXPECT_EQ(u.entries(), (std::vector<CodeList::Entry>{{1, 2}, {2, 1}, {3, 4}}));
    CodeList s = a;
    s.sum(b);
    EXPECT_EQ(s.entries(), (std::vector<CodeList::Entry>{{1, 2}, {2, 1}, {3, 5}}));
    EXPECT_EQ(a.difference(b).entries(), (std::vector<CodeList::Entry>{{1, 2}}));
    CodeList big;
    big.add(1, 65535);
    try {
        big.add(1);
        ADD_FAILURE();
    } catch (const Failure& f) {
        EXPECT_EQ(f.status(), 1);
        EXPECT_STREQ(f.what(), "\nUeberlauf: Aktionsname zu haeufig; Abh.: 'Action'\nProgram aborted.\n");
    }
}
