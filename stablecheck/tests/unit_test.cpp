// The prefix store, its sets and walks, and the formula language.
#include "bra_process.h"
#include "formula.h"
#include "prefix_support.h"
#include "unf2velt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace velcheck;
using testsupport::put_word;

namespace {

TEST(VelcheckUlStack, PagesAndOrder) {
    UlStack s;
    EXPECT_TRUE(s.empty());
    for (std::uint32_t i = 0; i < 1025; ++i) s.push(i);
    EXPECT_EQ(s.pages(), 2u);
    for (std::uint32_t i = 1025; i-- > 0;) ASSERT_EQ(s.pop(), i);
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(s.pages(), 1u);
    for (std::uint32_t i = 0; i < 5000; ++i) s.push(i);
    EXPECT_EQ(s.pages(), 5u);
}

TEST(VelcheckBitArray, OperationsKeepTheirSize) {
    BITARRAY a = NewBitArray(40), b = NewBitArray(40), c = NewBitArray(40);
    EXPECT_EQ(a.words, 2u);
    SetBit(a, 1);
    SetBit(a, 40);
    SetBit(b, 40);
    AndBitArray(a, b, c);
    EXPECT_FALSE(TestBit(c, 1));
    EXPECT_TRUE(TestBit(c, 40));
    OrBitArray(a, b, c);
    EXPECT_TRUE(TestBit(c, 1));
    NotBitArray(a, c);
    EXPECT_FALSE(TestBit(c, 1));
    EXPECT_TRUE(TestBit(c, 2));
    EXPECT_EQ(c.data[1], 0x7fu);  // bits 33..39 set, nothing beyond 40
}

// A hand-made prefix.  Places p(1), q(2), r(3); transitions a(1), b(2), c(3).
//   B1(p) initial, consumed by E1(a) and E3(c, cut-off)
//   B2(q) initial, consumed by E2(b, cut-off) only
//   B3(r) from E1, no consumers
//   B4(q) from E2 behind a cut-off
// Cut-off pairs listed as (3, 0) before (2, 1).
std::vector<unsigned char> handmade() {
    std::vector<unsigned char> b;
    put_word(b, 4);
    put_word(b, 3);
    put_word(b, 1);
    put_word(b, 2);
    put_word(b, 3);
    // B1
    put_word(b, 1); put_word(b, 0); put_word(b, 1); put_word(b, 3); put_word(b, 0);
    // B2
    put_word(b, 2); put_word(b, 0); put_word(b, 2); put_word(b, 0);
    // B3
    put_word(b, 3); put_word(b, 1); put_word(b, 0);
    // B4
    put_word(b, 2); put_word(b, 2); put_word(b, 0);
    put_word(b, 3); put_word(b, 0); put_word(b, 2); put_word(b, 1); put_word(b, 0);
    put_word(b, 1); put_word(b, 0); put_word(b, 0);  // one configuration {E1}
    put_word(b, 3);
    put_word(b, 3);
    put_word(b, 1);
    for (const char* n : {"p", "q", "r"}) {
        b.push_back(static_cast<unsigned char>(n[0]));
        b.push_back(0);
    }
    b.push_back(0);
    for (const char* n : {"a", "b", "c"}) {
        b.push_back(static_cast<unsigned char>(n[0]));
        b.push_back(0);
    }
    b.push_back(0);
    return b;
}

TEST(VelcheckPrefixStore, ReadsRelationsCutoffsAndNames) {
    BraProcess bp;
    std::string error;
    ASSERT_TRUE(bp.ReadPrefixBytes(handmade(), error)) << error;
    EXPECT_EQ(bp.conditions, 4u);
    EXPECT_EQ(bp.events, 3u);
    EXPECT_EQ(bp.first_cutoff, 3u);
    EXPECT_TRUE(bp.IsCutoff(2));  // listed after a higher cut-off
    EXPECT_TRUE(bp.IsCutoff(3));
    EXPECT_FALSE(bp.IsCutoff(1));
    EXPECT_EQ(bp.corresponding[2], 1u);
    EXPECT_EQ(bp.FindPlace("q"), 2u);
    EXPECT_EQ(bp.FindPlace("x"), 0u);
    EXPECT_EQ(bp.TransitionName(bp.event_trans[3]), "c");
    EXPECT_TRUE(bp.IsPlaceInitiallyMarked(1));
    EXPECT_FALSE(bp.IsPlaceInitiallyMarked(3));
    EXPECT_TRUE(bp.IsPlaceInPrefix(3));
    EXPECT_EQ(bp.GiveAnyPreEvent(3), 1u);
    EXPECT_EQ(bp.GiveAnyPreEvent(2), 0u);
    EXPECT_TRUE(bp.IsPreEventCutoff(4));
    // B2 is consumed only by a cut-off: no conflict, unconsumed.
    EXPECT_FALSE(TestBit(bp.conflict_conditions, 2));
    EXPECT_TRUE(TestBit(bp.unconsumed_conditions, 2));
    // B1 has one non-cut-off consumer.
    EXPECT_FALSE(TestBit(bp.conflict_conditions, 1));
    EXPECT_FALSE(TestBit(bp.unconsumed_conditions, 1));
    // B4 follows a cut-off.
    EXPECT_FALSE(TestBit(bp.unconsumed_conditions, 4));
    EXPECT_TRUE(TestBit(bp.single_pre_event_events, 1));
    EXPECT_FALSE(TestBit(bp.single_pre_event_events, 2));
    EXPECT_TRUE(TestBit(bp.initial_conditions, 1));
    EXPECT_FALSE(TestBit(bp.initial_conditions, 3));
}

TEST(VelcheckPrefixStore, ContinueToDeadlockReportsAnEnabledCutoff) {
    BraProcess bp;
    std::string error;
    ASSERT_TRUE(bp.ReadPrefixBytes(handmade(), error));
    // From the empty configuration E1 fires; then the cut-off E2 is enabled.
    BITARRAY config = NewBitArray(3);
    EXPECT_EQ(bp.ContinueToDeadlock(config), 2u);
    EXPECT_TRUE(TestBit(config, 1));
    EXPECT_FALSE(TestBit(config, 3));
}

TEST(VelcheckPrefixStore, ClosuresFollowTheFlow) {
    BraProcess bp;
    std::string error;
    ASSERT_TRUE(bp.ReadPrefixBytes(handmade(), error));
    BITARRAY start = NewBitArray(3);
    SetBit(start, 3);
    bp.EnablednessClosure(start);
    // E3 reads B1, which E1 also consumes.
    EXPECT_TRUE(TestBit(bp.relevant_events, 1));
    EXPECT_TRUE(TestBit(bp.relevant_events, 3));
    EXPECT_FALSE(TestBit(bp.relevant_events, 2));
    EXPECT_TRUE(TestBit(bp.relevant_conditions, 1));
    EXPECT_FALSE(TestBit(bp.relevant_conditions, 2));
    BITARRAY conds = NewBitArray(4), evs = NewBitArray(3);
    SetBit(conds, 3);
    bp.MarkTouchingEvents(conds, evs);
    EXPECT_TRUE(TestBit(evs, 1));
    EXPECT_FALSE(TestBit(evs, 2));
}

TEST(VelcheckPrefixStore, CausalClosureOfADeepChain) {
    // A chain of 20000 events: t_i moves the token from p_i to p_{i+1}.
    testsupport::TestNet net;
    const int n = 20000;
    for (int i = 0; i <= n; ++i) net.place_names.push_back("p" + std::to_string(i));
    net.m0.assign(n + 1, 0);
    net.m0[0] = 1;
    testsupport::Prefix pf;
    pf.add_condition(1, 0, {1});
    for (int i = 1; i <= n; ++i) {
        net.trans_names.push_back("t" + std::to_string(i));
        net.pre.push_back({i - 1});
        net.post.push_back({i});
        const std::uint32_t e = pf.add_event(static_cast<std::uint32_t>(i));
        pf.add_condition(e + 1, e, i < n ? std::vector<std::uint32_t>{e + 1} : std::vector<std::uint32_t>{});
    }
    pf.places = net.place_names;
    pf.transitions = net.trans_names;
    BraProcess bp;
    std::string error;
    ASSERT_TRUE(bp.ReadPrefixBytes(testsupport::mci_bytes(pf), error)) << error;
    BITARRAY evs = NewBitArray(n);
    SetBit(evs, n);
    bp.CausalClosure(evs);
    for (int i = 1; i <= n; ++i) ASSERT_TRUE(TestBit(evs, i));
    // No cut-offs: the deadlock program is not needed, but a reachability
    // question over the far end still works through the whole chain.
    for (int level : {0, 3}) {
        Unf2Velt u(bp);
        u.SetOptimizationLevel(level);
        FormulaTree tree;
        tree.root = tree.add(TOK_DIAMOND, -1,
                             tree.add(TOK_AND, tree.add(TOK_PLACE, -1, -1, n + 1),
                                      tree.add(TOK_NOT, -1, tree.add(TOK_PLACE, -1, -1, 1))));
        bool negated = false;
        ASSERT_FALSE(u.CreateReachabilityProgram(tree, false, negated));
        EXPECT_TRUE(u.SolveProgram(true)) << level;
        u.ModelToConfiguration();
        EXPECT_TRUE(TestBit(u.witness(), n));
    }
}

TEST(VelcheckPrefixStore, RejectsInconsistentFlow) {
    struct Case {
        const char* what;
        std::vector<std::uint32_t> words;
    };
    // C=2, E=1, E1 labelled 1; conditions; cut-offs; configurations; names p, a.
    auto tail = [](std::vector<std::uint32_t> w) {
        for (std::uint32_t x : {0u, 0u, 1u, 1u, 1u}) w.push_back(x);
        return w;
    };
    const std::vector<Case> cases = {
        {"consumer before its pre-event", tail({2, 1, 1, 1, 1, 0, 1, 1, 1, 0})},
        {"consumer listed twice", tail({2, 1, 1, 1, 0, 1, 1, 0, 1, 1, 0})},
        {"consumer out of range", tail({2, 1, 1, 1, 0, 2, 0, 1, 1, 0})},
        {"pre-event out of range", tail({2, 1, 1, 1, 0, 1, 0, 1, 5, 0})},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> b;
        for (std::uint32_t w : c.words) put_word(b, w);
        for (const char* s : {"p", "", "a", ""}) {
            for (const char* q = s; *q; ++q) b.push_back(static_cast<unsigned char>(*q));
            b.push_back(0);
        }
        BraProcess bp;
        std::string error;
        EXPECT_FALSE(bp.ReadPrefixBytes(b, error)) << c.what;
    }
    // A cut-off whose output is consumed again is no prefix of the format.
    std::vector<unsigned char> b;
    for (std::uint32_t w : {2u, 2u, 1u, 1u, 1u, 0u, 1u, 0u, 1u, 1u, 2u, 0u, 1u, 0u, 0u, 0u, 1u, 1u, 1u})
        put_word(b, w);
    for (const char* s : {"p", "", "a", ""}) {
        for (const char* q = s; *q; ++q) b.push_back(static_cast<unsigned char>(*q));
        b.push_back(0);
    }
    BraProcess bp;
    std::string error;
    EXPECT_FALSE(bp.ReadPrefixBytes(b, error));
    EXPECT_EQ(error, "readMCI(): Datei 'prefix' ist fehlerhaft: Bedingung B2 hinter dem Cutoff-Ereignis E1 hat Nachereignisse");
}

// Formula trees printed after parsing, and after simplification.
class VelcheckFormulaTree : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::TestNet net;
        net.place_names = {"p", "q", "r"};
        net.m0 = {1, 0, 0};
        net.trans_names = {"t"};
        net.pre = {{0}};
        net.post = {{1}};
        std::string error;
        ASSERT_TRUE(bp.ReadPrefixBytes(testsupport::mci_bytes(testsupport::unfold_prefix(net)), error));
    }
    std::string shown(const std::string& text, bool optimize) {
        std::FILE* in = std::tmpfile();
        std::fputs(text.c_str(), in);
        std::rewind(in);
        FormulaTree tree;
        std::FILE* err = std::tmpfile();
        const ParseResult r = ParseFormula(in, bp, tree, err);
        std::fclose(in);
        std::fclose(err);
        if (!r.ok) return "error: " + r.message;
        if (optimize) TreeOptimize(tree);
        std::FILE* out = std::tmpfile();
        TreeDisplay(out, tree, bp);
        std::rewind(out);
        std::string s;
        for (int c; (c = std::fgetc(out)) != EOF;) s.push_back(static_cast<char>(c));
        std::fclose(out);
        return s;
    }
    BraProcess bp;
};

TEST_F(VelcheckFormulaTree, GrammarBindingAndSugar) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"p + q * r", "(p or (q and r))"},
        {"p * q + r", "((p and q) or r)"},
        {"p => q => r", "((not ((not p) or q)) or r)"},
        {"p <=> q", "(((not p) and (not q)) or (p and q))"},
        {"p + q <=> r", "(((not (p or q)) and (not r)) or ((p or q) and r))"},
        {"-^p", "(not (D p))"},
        {"#p", "(not (D (not p)))"},
        {"-#^p", "(not (not (D (not (D p)))))"},
        {"^(p * [q + {r}])", "(D (p and (q or r)))"},
        {"0 + 1", "(false or true)"},
        {"\xae\xb7p \xac q", "((not (D p)) and q)"},
        {"p \xb0 q", "((not p) or q)"},
        {"p . garbage", "p"},
        {"!p", "error: parse error"},
        {"?p", "error: parse error"},
        {"p q", "error: parse error"},
        {"(p", "error: parse error"},
        {"p)", "error: parse error"},
        {"p < q", "error: parse error"},
        {"2", "error: parse error"},
        {"s", "error: unknown place"},
    };
    for (const auto& [text, tree] : cases) EXPECT_EQ(shown(text, false), tree) << text;
}

TEST_F(VelcheckFormulaTree, Simplification) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"p + -p", "true"},
        {"-p * p", "false"},
        {"p * p", "p"},
        {"p + p", "p"},
        {"--p", "p"},
        {"-(-p * -q)", "(p or q)"},
        {"-(-p + -q)", "(p and q)"},
        {"-(-p + -p)", "p"},
        {"^1", "true"},
        {"^(q * 0)", "false"},
        {"p * 1", "p"},
        {"0 + q", "q"},
        {"-0", "true"},
        {"^(p + q) * 1", "(D (p or q))"},
    };
    for (const auto& [text, tree] : cases) EXPECT_EQ(shown(text, true), tree) << text;
}

TEST_F(VelcheckFormulaTree, SimpleReachabilityAndEvaluation) {
    auto parse = [&](const std::string& text, FormulaTree& tree) {
        std::FILE* in = std::tmpfile();
        std::fputs(text.c_str(), in);
        std::rewind(in);
        std::FILE* err = std::tmpfile();
        const bool ok = ParseFormula(in, bp, tree, err).ok;
        std::fclose(in);
        std::fclose(err);
        return ok;
    };
    FormulaTree t1, t2, t3;
    ASSERT_TRUE(parse("^p + ^q", t1));
    EXPECT_FALSE(IsSimpleReachability(t1));
    ASSERT_TRUE(parse("#p * ^q", t2));
    EXPECT_FALSE(IsSimpleReachability(t2));
    // Outside the diamond places take their initial value; inside, a place
    // of no condition is false.
    ASSERT_TRUE(parse("-q * ^(q + r)", t3));
    EXPECT_TRUE(IsSimpleReachability(t3));
    TreeOptimize(t3);
    EvaluatePlacesInInitialState(t3, bp);
    TreeOptimize(t3);
    std::FILE* out = std::tmpfile();
    TreeDisplay(out, t3, bp);
    std::rewind(out);
    char buf[64] = {};
    std::fread(buf, 1, sizeof buf - 1, out);
    std::fclose(out);
    EXPECT_STREQ(buf, "(D q)");
}

}  // namespace
