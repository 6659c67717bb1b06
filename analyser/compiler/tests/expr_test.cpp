// Expressions and markings: the parser's grammar and precedences, the
// compile-time folding against a uint32 reference evaluator, and the
// simplifier against the same evaluator on expressions that it cannot fold.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <random>

#include "diag.h"
#include "exprtree.h"
#include "formula.h"
#include "net.h"
#include "parser.h"
#include "tulc_test_util.h"

namespace {

using tulc::Marking;
using tulctest::Pieces;

// ----- Reference evaluator ----------------------------------------------

// An integer expression with its value as C on uint32 would give it, with
// the short-cuts of the analyser (no operand that the result does not need
// is evaluated, so a division by zero there does no harm).
struct Ref {
    enum Op { kNum, kCard, kNeg, kNot, kCompl, kBin, kCond } op = kNum;
    std::uint32_t value = 0;  // kNum; kCard: place index
    std::string bin;          // kBin: the operator
    std::shared_ptr<Ref> a, b, c;
};
using RefP = std::shared_ptr<Ref>;

// Precedences of the grammar, higher binds tighter.
int Prec(const std::string& op) {
    static const std::vector<std::vector<std::string>> levels = {
        {"?"}, {"||"}, {"&&"}, {"|"}, {"^"}, {"&"}, {"==", "!="}, {"<", "<=", ">", ">="}, {"<<", ">>"}, {"+", "-"}, {"*", "/", "%"}};
    for (std::size_t i = 0; i < levels.size(); ++i)
        for (const auto& o : levels[i])
            if (o == op) return static_cast<int>(i) + 1;
    return 100;
}
int PrecOf(const Ref& r) {
    switch (r.op) {
    case Ref::kBin: return Prec(r.bin);
    case Ref::kCond: return Prec("?");
    case Ref::kNeg:
    case Ref::kNot:
    case Ref::kCompl: return 50;
    default: return 100;
    }
}

// Text with the parentheses the precedences need (all of them with full).
std::string Print(const Ref& r, bool full) {
    auto sub = [&](const Ref& x, bool paren) {
        std::string t = Print(x, full);
        return paren || (full && x.op != Ref::kNum && x.op != Ref::kCard) ? "( " + t + " )" : t;
    };
    switch (r.op) {
    case Ref::kNum: return std::to_string(r.value);
    case Ref::kCard: return "card ( p" + std::to_string(r.value) + " )";
    case Ref::kNeg:
    case Ref::kNot:
    case Ref::kCompl: {
        const char* op = r.op == Ref::kNeg ? "-" : r.op == Ref::kNot ? "!" : "~";
        return std::string(op) + " " + sub(*r.a, PrecOf(*r.a) < 50);
    }
    case Ref::kBin: {
        const int p = Prec(r.bin);
        return sub(*r.a, PrecOf(*r.a) < p) + " " + r.bin + " " + sub(*r.b, PrecOf(*r.b) <= p);
    }
    case Ref::kCond: {
        const int p = Prec("?");
        return sub(*r.a, PrecOf(*r.a) <= p) + " ? " + sub(*r.b, PrecOf(*r.b) <= p) + " : " + sub(*r.c, PrecOf(*r.c) < p);
    }
    }
    return "";
}

// The value; nullopt when a division by zero is met.
std::optional<std::uint32_t> Value(const Ref& r, const std::vector<std::uint32_t>& cards) {
    using V = std::optional<std::uint32_t>;
    switch (r.op) {
    case Ref::kNum: return r.value;
    case Ref::kCard: return cards[r.value];
    case Ref::kNeg: {
        V a = Value(*r.a, cards);
        return a ? V(0u - *a) : a;
    }
    case Ref::kNot: {
        V a = Value(*r.a, cards);
        return a ? V(*a == 0) : a;
    }
    case Ref::kCompl: {
        V a = Value(*r.a, cards);
        return a ? V(~*a) : a;
    }
    case Ref::kCond: {
        V a = Value(*r.a, cards);
        if (!a) return a;
        return Value(*a ? *r.b : *r.c, cards);
    }
    case Ref::kBin: break;
    }
    const std::string& op = r.bin;
    if (op == "/" || op == "%") {
        V d = Value(*r.b, cards);
        if (!d || *d == 0) return std::nullopt;
        V n = Value(*r.a, cards);
        if (!n) return n;
        return op == "/" ? *n / *d : *n % *d;
    }
    V a = Value(*r.a, cards);
    if (!a) return a;
    if ((op == "*" || op == "<<" || op == ">>" || op == "&" || op == "&&") && *a == 0) return 0u;
    if (op == "|" && *a == 0xFFFFFFFFu) return *a;
    if (op == "||" && *a != 0) return 1u;
    V bv = Value(*r.b, cards);
    if (!bv) return bv;
    const std::uint32_t x = *a, y = *bv;
    if (op == "*") return x * y;
    if (op == "+") return x + y;
    if (op == "-") return x - y;
    if (op == "<<") return x << (y & 31);
    if (op == ">>") return x >> (y & 31);
    if (op == "<") return x < y;
    if (op == "<=") return x <= y;
    if (op == ">") return x > y;
    if (op == ">=") return x >= y;
    if (op == "==") return x == y;
    if (op == "!=") return x != y;
    if (op == "&") return x & y;
    if (op == "^") return x ^ y;
    if (op == "|") return x | y;
    if (op == "&&") return y != 0;
    return y != 0;  // ||
}

// Whether a division by zero is met when every operand is evaluated (as the
// bottom-up simplifier does).
bool DividesByZeroAnywhere(const Ref& r, const std::vector<std::uint32_t>& cards) {
    if (r.op == Ref::kBin && (r.bin == "/" || r.bin == "%")) {
        if (!Value(*r.b, cards) || *Value(*r.b, cards) == 0) return true;
    }
    for (const Ref* x : {r.a.get(), r.b.get(), r.c.get()})
        if (x && (DividesByZeroAnywhere(*x, cards) || !Value(*x, cards))) return true;
    return false;
}

RefP RandomRef(std::mt19937& rng, int depth, bool cards) {
    auto pick = [&](unsigned n) { return rng() % n; };
    auto r = std::make_shared<Ref>();
    if (depth == 0 || pick(4) == 0) {
        if (cards && pick(3) == 0) {
            r->op = Ref::kCard;
            r->value = pick(3);
            return r;
        }
        static const std::uint32_t special[] = {0, 1, 2, 31, 32, 33, 255, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFEu};
        r->value = pick(2) ? special[pick(11)] : static_cast<std::uint32_t>(rng());
        return r;
    }
    static const char* ops[] = {"*", "/", "%", "+", "-", "<<", ">>", "<", "<=", ">", ">=", "==", "!=", "&", "^", "|", "&&", "||"};
    switch (pick(8)) {
    case 0:
        r->op = static_cast<Ref::Op>(Ref::kNeg + pick(3));
        r->a = RandomRef(rng, depth - 1, cards);
        return r;
    case 1:
        r->op = Ref::kCond;
        r->a = RandomRef(rng, depth - 1, cards);
        r->b = RandomRef(rng, depth - 1, cards);
        r->c = RandomRef(rng, depth - 1, cards);
        return r;
    default:
        r->op = Ref::kBin;
        r->bin = ops[pick(18)];
        r->a = RandomRef(rng, depth - 1, cards);
        r->b = RandomRef(rng, depth - 1, cards);
        return r;
    }
}

// ----- Helpers over the library --------------------------------------------

// Cards of the three places p0, p1, p2.
const std::vector<std::uint32_t> kCards = {0, 2, 5};

void ResetWithPlaces() {
    tulctest::ResetCompiler();
    tulctest::AddPlace("p0", {});
    tulctest::AddPlace("p1", {{{1}, 2}});
    tulctest::AddPlace("p2", {{{1}, 2}, {{2}, 3}});
    tulctest::AddPlace("AND", {{{7}, 1}});
}

// A marking text parsed and evaluated.
std::optional<Marking> ParseMarking(const std::string& text) {
    tulc::ParserReset();
    Marking m;
    tulc::ParseText(nullptr, nullptr, &m, Pieces(text));
    if (tulc::ParseErrorState()) return std::nullopt;
    return m;
}

// An integer text parsed; nullopt after an error.
std::optional<std::uint32_t> ParseInteger(const std::string& text) {
    tulc::ParserReset();
    std::uint32_t v = 0;
    tulc::ParseText(nullptr, &v, nullptr, Pieces(text));
    if (tulc::ParseErrorState()) return std::nullopt;
    return v;
}

// A formula parsed without folding; null after an error.
tulc::Formula ParseFormula(const std::string& text) {
    tulc::ParserReset();
    tulc::Formula f;
    tulc::ParseText(&f, nullptr, nullptr, Pieces(text));
    if (tulc::ParseErrorState()) return nullptr;
    return f;
}

Marking M(std::initializer_list<std::pair<std::vector<std::uint32_t>, std::uint32_t>> entries) {
    Marking m;
    for (const auto& [t, c] : entries) m.Add(Marking::Single(t, c));
    m.Normalize();
    return m;
}

std::string Show(const Marking& m) {
    std::string s;
    for (const auto& e : m.Entries()) {
        s += std::to_string(e.count) + "<.";
        for (std::size_t i = 0; i < e.tuple.size(); ++i) s += (i ? "," : "") + std::to_string(e.tuple[i]);
        s += ".>";
    }
    return s.empty() ? "empty" : s;
}

}  // namespace

// Folding in mk(<.E.>): the range bound is evaluated with the short-cuts;
// a division by zero is an error with no value.
TEST(TulcFolding, RandomExpressionsEqualTheReference) {
    ResetWithPlaces();
    std::mt19937 rng(7);
    int errors = 0;
    for (int k = 0; k < 3000; ++k) {
        RefP r = RandomRef(rng, 4, false);
        const bool full = k % 2;
        const std::string text = Print(*r, full);
        SCOPED_TRACE(text);
        std::optional<std::uint32_t> want = Value(*r, kCards);
        std::optional<Marking> got = ParseMarking("<. " + text + " .>");
        if (!want) {
            ++errors;
            EXPECT_FALSE(got);
            continue;
        }
        ASSERT_TRUE(got);
        EXPECT_EQ(Show(*got), Show(M({{{*want}, 1}})));
    }
    EXPECT_GT(errors, 10);  // some texts divide by zero
}

// The simplifier on expressions over card(p): the simplified tree has the
// value of the reference.
TEST(TulcFolding, SimplifiedExpressionsKeepTheirValue) {
    ResetWithPlaces();
    std::mt19937 rng(11);
    for (int k = 0; k < 3000; ++k) {
        RefP r = RandomRef(rng, 4, true);
        if (DividesByZeroAnywhere(*r, kCards)) continue;
        const std::string text = Print(*r, k % 2);
        SCOPED_TRACE(text);
        tulc::Formula f = ParseFormula(text);
        ASSERT_TRUE(f);
        ASSERT_EQ(f->kind, tulc::FORMULA::kAtom);
        EXPECT_EQ(tulc::IntEvaluate(*f->atom), *Value(*r, kCards));
    }
}

TEST(TulcFolding, RewritesKeepValuesAndShapes) {
    ResetWithPlaces();
    struct Case {
        const char* text;
        std::uint32_t value;
    };
    // p2 holds 5 tokens, p1 two.
    const Case cases[] = {
        {"(card(p1) && 1) == 1", 1},        // x && c keeps 0/1
        {"(3 && card(p2)) == 1", 1},
        {"(card(p2) || 0) == 1", 1},
        {"card(p2) / 4294967295", 0},        // not a negation
        {"card(p2) * 4294967295", 0u - 5u},  // that one is
        {"card(p2) ^ 4294967295", ~5u},
        {"card(p2) / 1", 5},
        {"card(p2) % 1", 0},
        {"0 - card(p2)", 0u - 5u},
        {"0 << card(p2)", 0},
        {"5 < 4294967295", 1},
        {"card(<.1..3.>)", 3},
        {"1 ? card(p1) : card(p2)", 2},
        {"card(p1 : (field[0] == 1))", 2},
        {"card(<.1..3.> : (field[0] > 1))", 2},
        {"card(2 <.1,2.> * <.3.>)", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        tulc::Formula f = ParseFormula(c.text);
        ASSERT_TRUE(f);
        EXPECT_EQ(tulc::IntEvaluate(*f->atom), c.value);
    }
    // Shapes: x ^ 0 is x, x ^ 0xFFFFFFFF is ~x, the division by 1 its left
    // operand, the remainder by 1 stays.
    auto same = [](const char* a, const char* b) {
        tulc::Formula x = ParseFormula(a);
        tulc::Formula y = ParseFormula(b);
        return x && y && tulc::IntEqual(*x->atom, *y->atom);
    };
    EXPECT_TRUE(same("card(p1) ^ 0", "card(p1)"));
    EXPECT_TRUE(same("card(p1) ^ 4294967295", "~card(p1)"));
    EXPECT_TRUE(same("card(p1) / 1", "card(p1)"));
    EXPECT_FALSE(same("card(p1) % 1", "card(p1)"));
    EXPECT_TRUE(same("card(p1) + card(p2)", "card(p2) + card(p1)"));  // swapped operands
    EXPECT_FALSE(same("card(p1) - card(p2)", "card(p2) - card(p1)"));
    EXPECT_TRUE(same("p1 == p2 + p0", "p0 + p2 == p1"));
    EXPECT_FALSE(same("p1 < p2", "p2 < p1"));
}

TEST(TulcParser, Precedences) {
    ResetWithPlaces();
    tulc::ForSimplifyRules() = false;
    auto same = [](const std::string& a, const std::string& b) {
        tulc::Formula x = ParseFormula(a);
        tulc::Formula y = ParseFormula(b);
        return x && y && tulc::ForEqual(x.get(), y.get());
    };
    const std::string a = "card(p0) > 0", b = "card(p1) > 0", c = "card(p2) > 0";
    EXPECT_TRUE(same(a + " or " + b + " and " + c, a + " or (" + b + " and " + c + ")"));
    EXPECT_FALSE(same(a + " or " + b + " and " + c, "(" + a + " or " + b + ") and " + c));
    EXPECT_TRUE(same(a + " implies " + b + " or " + c, "(" + a + " implies " + b + ") or " + c));
    EXPECT_TRUE(same(a + " until " + b + " or " + c, a + " until (" + b + " or " + c + ")"));
    EXPECT_TRUE(same("not " + a + " and " + b, "(not " + a + ") and " + b));
    EXPECT_TRUE(same("eventually " + a + " until " + b, "(eventually " + a + ") until " + b));
    EXPECT_TRUE(same("- card(p0) * card(p1)", "(- card(p0)) * card(p1)"));
    EXPECT_TRUE(same("card(p0) - card(p1) - card(p2)", "(card(p0) - card(p1)) - card(p2)"));
    EXPECT_TRUE(same("not p0 == p1", "not (p0 == p1)"));
    EXPECT_TRUE(same("- 1 <.2.> == p1", "- (1 <.2.> == p1)"));
    tulc::ForSimplifyRules() = true;
    EXPECT_EQ(ParseInteger("1 ? 2 : 0 ? 3 : 4"), 2u);
    EXPECT_EQ(ParseInteger("0 ? 2 : 0 ? 3 : 4"), 4u);
    EXPECT_EQ(ParseInteger("0 ? 1 : 1 ? 2 : 3"), 2u);
    EXPECT_EQ(ParseInteger("-2 * 3 == 0 - 6"), 1u);
    // Markings: * binds tighter than + - &, which share one level.
    auto mk = [](const std::string& t) {
        auto m = ParseMarking(t);
        return m ? Show(*m) : std::string("error");
    };
    EXPECT_EQ(mk("<.1.> + <.2.> * <.3.>"), "1<.1.>1<.2,3.>");
    EXPECT_EQ(mk("<.1.> + <.2.> - <.1.> - <.1.>"), "1<.2.>");
    EXPECT_EQ(mk("<.1.> + <.2.> & <.2.>"), "1<.2.>");
    EXPECT_EQ(mk("2 p1 : (field[0] == 1)"), "error");  // a count's marking is a primary; the filter result is not
    EXPECT_EQ(mk("(2 p1) : (field[0] == 1)"), "4<.1.>");
    EXPECT_EQ(mk("p2 : (field[0] > 1)"), "3<.2.>");
    EXPECT_EQ(mk("<.1..3, 7.>"), "1<.1,7.>1<.2,7.>1<.3,7.>");
    EXPECT_EQ(mk("<.(1..2), (4).>"), "1<.1,4.>1<.2,4.>");
    EXPECT_EQ(mk("<.3..1.>"), "empty");
    EXPECT_EQ(mk("<.4294967294..4294967295.>"), "1<.4294967294.>1<.4294967295.>");  // the last value ends it
    EXPECT_EQ(mk("<. .> + empty"), "1<..>");  // one token of arity 0
    EXPECT_EQ(mk("5<. .> + <..> - 2<. .>"), "4<..>");
    EXPECT_EQ(mk("<. .> * <.1.>"), "1<.1.>");
    EXPECT_EQ(mk(""), "empty");
    EXPECT_EQ(mk("p1 * p1"), "4<.1,1.>");
    EXPECT_EQ(mk("card(AND) <.5.>"), "1<.5.>");
}

TEST(TulcParser, ErrorsReportOnce) {
    ResetWithPlaces();
    struct Case {
        const char* text;
        enum { kMarking, kInteger, kFormula } want;
        const char* message;  // on the error stream
    };
    const Case cases[] = {
        {"p : field[0] == 1", Case::kMarking, "parse error\n"},
        {"q + 1", Case::kMarking, "Place q not defined\nq + 1\n^\n"},
        {"1 + p0", Case::kInteger, "parse error\nError in expression:\n1 + p0\n      ^\n"},
        {"", Case::kInteger, "Expected integer-valued expression, got nothing\n"},
        {"p0", Case::kInteger, "Expected integer-valued expression, got marking\n"},
        {"p0", Case::kFormula, "Expected formula, got marking\n"},
        {"1", Case::kMarking, "Expected marking, got formula\n"},
        {"not 1", Case::kInteger, "Expected integer-valued expression, got formula\n"},
        {"card(p0) AND 1", Case::kFormula, "parse error\n"},
        {"(1 + ", Case::kInteger, "parse error\nError in expression:\n"},
        {"card(", Case::kInteger, "parse error\nError in marking expression:\n"},
        {"1 ; 2", Case::kInteger, "parse error\nError in formula:\n"},
        {"1/0", Case::kInteger, "Division by zero\n"},
        {"<.field[1].>", Case::kMarking, "Illegal field reference: 1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        testing::internal::CaptureStderr();
        tulc::ParserReset();
        Marking m;
        std::uint32_t v;
        tulc::Formula f;
        if (c.want == Case::kMarking) tulc::ParseText(nullptr, nullptr, &m, Pieces(c.text));
        if (c.want == Case::kInteger) tulc::ParseText(nullptr, &v, nullptr, Pieces(c.text));
        if (c.want == Case::kFormula) tulc::ParseText(&f, nullptr, nullptr, Pieces(c.text));
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(tulc::ParseErrorState(), 0);
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
    }
    // Deep nesting: the parser's stack ends at 10000 entries.
    testing::internal::CaptureStderr();
    auto deep = ParseInteger(std::string(20000, '(') + "1" + std::string(20000, ')'));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(deep);
    EXPECT_NE(err.find("parser stack overflow"), std::string::npos);
    // A long sum is no deep nesting.
    std::string sum = "<.0.>";
    for (int i = 1; i < 100000; ++i) sum += " + <." + std::to_string(i) + ".>";
    auto m = ParseMarking(sum);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Entries().size(), 100000u);
    // So is a long sum of place names, each looked up by its column.
    std::string names = "p1";
    for (int i = 1; i < 100000; ++i) names += i % 2 ? " + p2" : " + p1";
    auto n = ParseMarking(names);
    ASSERT_TRUE(n);
    EXPECT_EQ(Show(*n), "200000<.1.>150000<.2.>");
}

// The same through the program: the initial markings in the table file hold
// the folded values; a division by zero is an error and the place is left
// out.
TEST(TulcFolding, TheTableFileHoldsTheFoldedValues) {
    std::mt19937 rng(3);
    std::string net;
    std::vector<std::uint32_t> want;
    while (want.size() < 150) {
        RefP r = RandomRef(rng, 4, false);
        std::optional<std::uint32_t> v = Value(*r, kCards);
        if (!v) continue;
        net += "#place p" + std::to_string(want.size()) + " mk(<." + Print(*r, want.size() % 2) + ".>)\n";
        want.push_back(*v);
    }
    net += "#place z mk(<. 1 + 6 / (3 - 3) .>)\n";
    tulctest::Workspace w;
    tulctest::TulcRun run = w.Compile(net);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("x.net: 151: Division by zero\n"), std::string::npos) << run.err;
    tulctest::DatFile d = tulctest::ReadDat(w.Read("x.dat"));
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.placeNames.size(), want.size());
    ASSERT_EQ(d.marking.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(d.marking[i].place, i);
        EXPECT_EQ(d.marking[i].tuple, std::vector<std::uint32_t>{want[i]});
        EXPECT_EQ(d.marking[i].count, 1u);
    }
}
