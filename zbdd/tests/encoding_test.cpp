// Encoding, variable and firing orders, reachability set and safety check;
// the reachability sets against the explicit explorer of the test support.
#include <gtest/gtest.h>

#include "apnn.h"
#include "encoding.h"
#include "fixture.h"
#include "output.h"

using namespace zbdd;
using namespace zbdd_test;
using namespace testsupport;

namespace {

std::set<std::vector<int>> explicitStates(const TestNet& net) {
    StateSpace ss = explore(net);
    EXPECT_TRUE(ss.complete && ss.safe);
    return {ss.states.begin(), ss.states.end()};
}

// Captures what the checkers print.
class Capture {
public:
    Capture() : file_(std::tmpfile()) { setMessageStream(file_); }
    ~Capture() {
        setMessageStream(nullptr);
        std::fclose(file_);
    }
    std::string text() {
        std::fflush(file_);
        std::rewind(file_);
        std::string s;
        for (int c; (c = std::fgetc(file_)) != EOF;) s += static_cast<char>(c);
        return s;
    }

private:
    std::FILE* file_;
};

}  // namespace

TEST(Reachability, RandomSafeNetsAgreeWithTheExplorer) {
    QuietOutput quiet;
    for (std::uint64_t seed = 1; seed <= 60; ++seed) {
        RandomNetParams params;
        params.general = seed % 2 == 0;
        params.components = 2 + seed % 3;
        params.places = 5 + seed % 4;
        params.transitions = 4 + seed % 5;
        params.self_loop = 0.2;
        TestNet net = random_safe_net(seed, params);
        NetTables tables;
        NetEncoding enc;
        // A small node array makes the fixpoint collect garbage on the way.
        setup(tables, enc, toApnn(net), Dialect::Cyrtal, seed % 3 == 0 ? 300 : 100000);
        enc.computeRS();
        ASSERT_EQ(markings(enc.rs, enc), explicitStates(net)) << "seed " << seed;
        EXPECT_TRUE(enc.safeQ(enc.rs)) << "seed " << seed;
    }
}

TEST(Reachability, UnsafeNetReportsTransitionAndState) {
    // p(1), q(1), t: p -> q: t is enabled while q is marked.
    Capture out;
    NetTables tables;
    NetEncoding enc;
    setup(tables, enc,
          "\\beginnet{u}\\place{p}{\\name{p}\\init{1}}\\place{q}{\\name{q}\\init{1}}"
          "\\transition{t}{\\name{t}}\\arc{a}{\\from{p}\\to{t}}\\arc{b}{\\from{t}\\to{q}}\\endnet",
          Dialect::Cyrtal);
    enc.computeRS();
    EXPECT_FALSE(enc.safeQ(enc.rs));
    const std::string text = out.text();
    EXPECT_NE(text.find("\n\nAttention: the net is not safe!\n\nTransition: t\nState: [ "), std::string::npos) << text;
    EXPECT_NE(text.find(" ]\n"), std::string::npos);
    // Both places are marked in the witness, in variable order.
    EXPECT_TRUE(text.find("[ p, q ]") != std::string::npos || text.find("[ q, p ]") != std::string::npos) << text;
}

TEST(Reachability, OrdersAndVectors) {
    QuietOutput quiet;
    // a(1) -t1-> b -t2-> c; t3 needs d, which nothing marks; t4 has an empty
    // preset; t5 reads a.
    NetTables tables;
    NetEncoding enc;
    setup(tables, enc,
          "\\beginnet{o}\\place{a}{\\name{a}\\init{1}}\\place{b}{\\name{b}\\init{0}}"
          "\\place{c}{\\name{c}\\init{0}}\\place{d}{\\name{d}\\init{0}}\\place{e}{\\name{e}\\init{0}}"
          "\\transition{t3}{\\name{t3}}\\transition{t2}{\\name{t2}}\\transition{t1}{\\name{t1}}"
          "\\transition{t4}{\\name{t4}}\\transition{t5}{\\name{t5}}"
          "\\arc{x1}{\\from{a}\\to{t1}}\\arc{x2}{\\from{t1}\\to{b}}\\arc{x3}{\\from{b}\\to{t2}}"
          "\\arc{x4}{\\from{t2}\\to{c}}\\arc{x5}{\\from{d}\\to{t3}}\\arc{x6}{\\from{t3}\\to{a}}"
          "\\arc{x7}{\\from{t4}\\to{e}}\\arc{x8}{\\from{a}\\to{t5}\\type{readarc}}\\endnet",
          Dialect::Cyrtal);
    // Token flow: pass 1 places t2 only after t1 made b touched, which comes
    // later in index order; so t1, t4, t5 first, then t2; t3 never.
    EXPECT_EQ(enc.firingOrder, (std::vector<int>{2, 3, 4, 1}));
    EXPECT_EQ(enc.nOrd, 4);
    // The variable order is a permutation, and placeOf its inverse.
    std::vector<int> seen(enc.nP, 0);
    for (int p = 0; p < enc.nP; ++p) {
        ASSERT_LT(enc.variableOf[p], static_cast<std::uint32_t>(enc.nP));
        ++seen[enc.variableOf[p]];
        EXPECT_EQ(enc.placeOf[enc.variableOf[p]], p);
    }
    EXPECT_EQ(seen, std::vector<int>(enc.nP, 1));
    // The read arc is one pair with code 1.
    const TransitionVector& v = enc.records[4].vector;
    EXPECT_EQ(v, (TransitionVector{enc.variableOf[0], kTest, static_cast<std::uint32_t>(enc.nP)}));
    enc.computeRS();
    // a stays marked under t5; t3 never fires.
    for (const auto& m : markings(enc.rs, enc)) EXPECT_EQ(m[3], 0);
    EXPECT_EQ(markings(enc.rs, enc).size(), 6u);  // {a,b,c} x {e or not}
}

TEST(Reachability, PassesPrintDotsAndEveryTenthNumber) {
    // A chain of 12 transitions in index order against the token flow (they
    // are listed from the end of the chain) and without the transition
    // heuristic, so each pass moves the token by one place.
    std::string text = "\\beginnet{chain}";
    for (int i = 0; i <= 12; ++i)
        text += "\\place{p" + std::to_string(i) + "}{\\name{p" + std::to_string(i) + "}\\init{" +
                (i == 0 ? "1" : "0") + "}}";
    for (int i = 12; i >= 1; --i)
        text += "\\transition{t" + std::to_string(i) + "}{\\name{t" + std::to_string(i) + "}}";
    for (int i = 1; i <= 12; ++i)
        text += "\\arc{a" + std::to_string(i) + "}{\\from{p" + std::to_string(i - 1) + "}\\to{t" +
                std::to_string(i) + "}}\\arc{b" + std::to_string(i) + "}{\\from{t" + std::to_string(i) + "}\\to{p" +
                std::to_string(i) + "}}";
    text += "\\endnet";
    Capture out;
    NetTables tables;
    buildNetTables(tables, text, "chain");
    NetEncoding enc;
    enc.setupEncoding(tables, true, false, ModelSize{10000, 10, 8, 8, 6}, 100);
    const std::size_t before = out.text().size();
    enc.computeRS();
    EXPECT_EQ(out.text().substr(before), ".........10...");
    EXPECT_EQ(markings(enc.rs, enc).size(), 13u);
}

TEST(Reachability, DeadInitialMarkingNeedsOnePass) {
    Capture out;
    NetTables tables;
    NetEncoding enc;
    setup(tables, enc, "\\beginnet{d}\\place{p}{\\name{p}\\init{0}}\\transition{t}{\\name{t}}"
                       "\\arc{a}{\\from{p}\\to{t}}\\endnet", Dialect::Cyrtal);
    EXPECT_FALSE(enc.hasPnScheduler);
    EXPECT_FALSE(enc.hasBaScheduler);
    const std::size_t before = out.text().size();
    enc.computeRS();
    EXPECT_EQ(out.text().substr(before), ".");
    EXPECT_EQ(enc.rs.node(), 1u);  // the empty marking only
}
