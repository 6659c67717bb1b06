// The solver against a brute-force stable-model enumerator on random small
// programs, and the printed form of programs.
#include "veltra.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t LARGE_SEEDS = 400;

struct TRule {
    int kind;  // 1 basic, 2 constraint, 3 choice
    std::vector<int> heads, pos, neg;
    int bound = 0;
};

struct TProgram {
    int atoms = 0;
    std::vector<TRule> rules;
    std::vector<int> must_true, must_false;
};

bool in(unsigned m, int a) { return (m >> a) & 1u; }

// Stable models by definition: M satisfies the compute statement and equals
// the least model of the reduct of the program by M.
std::set<unsigned> brute_force(const TProgram& p) {
    std::set<unsigned> models;
    for (unsigned m = 0; m < (1u << p.atoms); ++m) {
        bool ok = true;
        for (int a : p.must_true) ok = ok && in(m, a);
        for (int a : p.must_false) ok = ok && !in(m, a);
        if (!ok) continue;
        // Reduct rules: (head, positive body, bound over the positive body).
        struct R {
            int head;
            std::vector<int> pos;
            int need;
        };
        std::vector<R> reduct;
        for (const TRule& r : p.rules) {
            int neg_true = 0;
            for (int b : r.neg) neg_true += !in(m, b);
            if (r.kind == 1) {
                if (neg_true == static_cast<int>(r.neg.size()))
                    reduct.push_back({r.heads[0], r.pos, static_cast<int>(r.pos.size())});
            } else if (r.kind == 2) {
                reduct.push_back({r.heads[0], r.pos, r.bound - neg_true});
            } else {
                if (neg_true == static_cast<int>(r.neg.size()))
                    for (int h : r.heads)
                        if (in(m, h)) reduct.push_back({h, r.pos, static_cast<int>(r.pos.size())});
            }
        }
        // M must be a model of the basic and constraint rules (checked by the
        // least-model comparison) and the least model must equal M.
        unsigned lm = 0;
        bool changed = true;
        while (changed) {
            changed = false;
            for (const R& r : reduct) {
                if (in(lm, r.head)) continue;
                int cnt = 0;
                for (int a : r.pos) cnt += in(lm, a);
                if (cnt >= r.need) {
                    lm |= 1u << r.head;
                    changed = true;
                }
            }
        }
        if (lm == m) models.insert(m);
    }
    return models;
}

struct Built {
    veltra::Veltra solver;
    std::vector<veltra::Atom*> atoms;
};

void build(const TProgram& p, Built& b, bool names = false) {
    veltra::Api api(b.solver);
    for (int i = 0; i < p.atoms; ++i) {
        b.atoms.push_back(api.new_atom());
        if (names) api.set_name(b.atoms.back(), ("a" + std::to_string(i)).c_str());
    }
    for (const TRule& r : p.rules) {
        api.begin_rule(static_cast<veltra::RuleKind>(r.kind));
        for (int h : r.heads) api.add_head(b.atoms[h]);
        for (int a : r.pos) api.add_body(b.atoms[a], true);
        for (int a : r.neg) api.add_body(b.atoms[a], false);
        if (r.kind == 2) api.set_atleast(r.bound);
        api.end_rule();
    }
    for (int a : p.must_true) api.set_compute(b.atoms[a], true);
    for (int a : p.must_false) api.set_compute(b.atoms[a], false);
    api.done();
}

std::set<unsigned> all_models(const TProgram& p, bool lookahead, bool& duplicate) {
    Built b;
    build(p, b);
    std::set<unsigned> models;
    duplicate = false;
    for (int guard = 0; guard < 1000 && b.solver.find_model(lookahead); ++guard) {
        unsigned m = 0;
        for (int i = 0; i < p.atoms; ++i) {
            EXPECT_TRUE(b.atoms[i]->is_true != b.atoms[i]->is_false);
            if (b.atoms[i]->is_true) m |= 1u << i;
        }
        if (!models.insert(m).second) duplicate = true;
    }
    return models;
}

TProgram random_program(std::uint64_t seed, int max_atoms = 8) {
    std::mt19937_64 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<std::uint64_t>(n)); };
    TProgram p;
    p.atoms = 2 + pick(max_atoms - 1);
    const int rules = 1 + pick(2 * p.atoms + 2);
    for (int i = 0; i < rules; ++i) {
        TRule r;
        const int k = pick(10);
        r.kind = k < 6 ? 1 : k < 8 ? 2 : 3;
        const int heads = r.kind == 3 ? 1 + pick(3) : 1;
        for (int h = 0; h < heads; ++h) r.heads.push_back(pick(p.atoms));
        const int body = pick(4);
        for (int j = 0; j < body; ++j) (pick(3) ? r.pos : r.neg).push_back(pick(p.atoms));
        if (r.kind == 2) r.bound = pick(static_cast<int>(r.pos.size() + r.neg.size()) + 2);
        p.rules.push_back(r);
    }
    if (pick(3) == 0) p.must_true.push_back(pick(p.atoms));
    if (pick(3) == 0) p.must_false.push_back(pick(p.atoms));
    return p;
}

TEST(VeltraRandom, AgreesWithBruteForceEnumerator) {
    for (std::uint64_t seed = 1; seed <= 3000; ++seed) {
        const TProgram p = random_program(seed);
        const std::set<unsigned> expected = brute_force(p);
        for (bool lookahead : {false, true}) {
            bool duplicate = false;
            const std::set<unsigned> got = all_models(p, lookahead, duplicate);
            ASSERT_EQ(got, expected) << "seed " << seed << " lookahead " << lookahead;
            ASSERT_FALSE(duplicate) << "seed " << seed;
            Built b;
            build(p, b);
            ASSERT_EQ(b.solver.find_model(lookahead), !expected.empty()) << "seed " << seed;
        }
    }
}

// Larger programs: longer positive loops and more rules per atom.
TEST(VeltraRandom, LargerProgramsAgreeWithBruteForceEnumerator) {
    for (std::uint64_t seed = 1; seed <= LARGE_SEEDS; ++seed) {
        const TProgram p = random_program(seed * 7919, 12);
        const std::set<unsigned> expected = brute_force(p);
        for (bool lookahead : {false, true}) {
            bool duplicate = false;
            ASSERT_EQ(all_models(p, lookahead, duplicate), expected) << "seed " << seed << " lookahead " << lookahead;
            ASSERT_FALSE(duplicate) << "seed " << seed;
        }
    }
}

std::string printed(const TProgram& p) {
    Built b;
    build(p, b, true);
    std::FILE* f = std::tmpfile();
    b.solver.program.print(f);
    std::rewind(f);
    std::string s;
    char buf[256];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
}

TEST(VeltraPrint, RuleForms) {
    TProgram p;
    p.atoms = 4;
    p.rules.push_back({1, {0}, {}, {}});
    p.rules.push_back({1, {1}, {0}, {2}});
    p.rules.push_back({2, {3}, {0, 1}, {2}, 2});
    p.rules.push_back({3, {1, 2}, {}, {}});
    p.rules.push_back({3, {2}, {0}, {3}});
    p.must_false = {3};
    p.must_true = {0};
    EXPECT_EQ(printed(p),
              "a0.\n"
              "a1 :- a0, not a2.\n"
              "a3 :- 2 { a0, a1, not a2 }.\n"
              "{ a1, a2 }.\n"
              "{ a2 } :- a0, not a3.\n"
              "compute { a0, not a3 }\n");
}

TEST(VeltraPrint, UnnamedAtom) {
    veltra::Veltra s;
    veltra::Api api(s);
    veltra::Atom* a = api.new_atom();
    api.begin_rule(veltra::RuleKind::basic);
    api.add_head(a);
    api.end_rule();
    api.done();
    std::FILE* f = std::tmpfile();
    s.program.print(f);
    std::rewind(f);
    char buf[64] = {};
    std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    EXPECT_STREQ(buf, "#noname#.\n");
}

TEST(VeltraSearch, CasesFromTheSolverDescription) {
    // live. with "not live" required: no model, no choice.
    {
        TProgram p;
        p.atoms = 1;
        p.rules.push_back({1, {0}, {}, {}});
        p.must_false = {0};
        Built b;
        build(p, b);
        EXPECT_FALSE(b.solver.find_model(true));
        EXPECT_EQ(b.solver.stats().choice_points, 0);
    }
    // A positive loop without other support is false.
    {
        TProgram p;
        p.atoms = 3;
        p.rules.push_back({1, {0}, {1}, {}});
        p.rules.push_back({1, {1}, {0}, {}});
        p.rules.push_back({3, {2}, {}, {}});
        Built b;
        build(p, b);
        ASSERT_TRUE(b.solver.find_model(false));
        EXPECT_TRUE(b.atoms[0]->is_false);
        EXPECT_TRUE(b.atoms[1]->is_false);
        // Without lookahead the first choice is "false".
        EXPECT_TRUE(b.atoms[2]->is_false);
        EXPECT_EQ(b.solver.stats().choice_points, 1);
    }
    // conflict :- 2 { e1, e2, e3 } with two literals false cannot fire.
    {
        TProgram p;
        p.atoms = 4;
        p.rules.push_back({2, {0}, {1, 2, 3}, {}, 2});
        p.rules.push_back({3, {1, 2, 3}, {}, {}});
        p.must_false = {0};
        bool dup = false;
        auto models = all_models(p, true, dup);
        EXPECT_EQ(models, brute_force(p));
        EXPECT_EQ(models.size(), 4u);  // at most one of e1, e2, e3
    }
}

// Deep chains must not exhaust the machine stack or overflow the queues.
TEST(VeltraSearch, LongChainAndManyChoices) {
    TProgram p;
    const int n = 20000;
    p.atoms = n + 1;
    for (int i = 1; i <= n; ++i) p.rules.push_back({1, {i}, {i - 1}, {}});
    p.rules.push_back({3, {0}, {}, {}});
    p.must_true = {n};
    for (bool lookahead : {false, true}) {
        Built b;
        build(p, b);
        ASSERT_TRUE(b.solver.find_model(lookahead));
        for (int i = 0; i <= n; ++i) ASSERT_TRUE(b.atoms[i]->is_true);
    }
}

}  // namespace
