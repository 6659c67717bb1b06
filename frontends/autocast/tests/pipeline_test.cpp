// autocast on systems of automata, from the project file to the low-level
// net: autocast, then flatnet, then the explicit explorer (and trelmik with
// dlbacktrack) against the product interpreter of the automata.  The
// low-level places are traced back through the reference files: a state's
// place by its state reference, a variable's places by their labels.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>

#include "automata_oracle.h"
#include "petri_test.h"

using oracle::System;
using testsupport::TempDir;

namespace {

const std::string BIN = VOS_BIN_DIR;

std::string sh(const std::string& s) { return testsupport::shell_quote(s); }

// Runs a program of the build in the directory.
testsupport::RunResult run_in(const TempDir& dir, const std::string& command) {
    return testsupport::run("cd " + sh(dir.path()) + " && VOSHOME=" + sh(VOS_TEMPLATES) + " " + BIN + "/" + command);
}

// The low-level net of a system with what its places stand for.
struct LowLevel {
    testsupport::TestNet net;
    std::string text;
    std::vector<std::pair<int, int>> state_of;   // per place: (automaton, state) or (-1, -1)
    std::vector<std::pair<int, int>> value_of;   // per place: (variable, value) or (-1, 0)
};

std::string field(const std::string& line, const std::string& letter) {
    std::size_t at = line.find(letter + "\"");
    if (at == std::string::npos) return "";
    std::size_t end = line.find('"', at + letter.size() + 1);
    return line.substr(at + letter.size() + 1, end - at - letter.size() - 1);
}

// autocast, then flatnet; the failure text when a program fails.
std::string translate(const System& s, const TempDir& dir, const std::string& options, LowLevel& out) {
    oracle::write_system(s, dir.path());
    testsupport::RunResult r = run_in(dir, "autocast " + options + " t.prj -o t.hl_net -r t.pfa_hl_ref");
    if (r.exit_code != 0) return "autocast: " + std::to_string(r.exit_code) + " " + r.err;
    r = run_in(dir, "flatnet t.hl_net");
    if (r.exit_code != 0) return "flatnet: " + std::to_string(r.exit_code) + " " + r.err;
    std::string error;
    auto net = testsupport::read_vos(dir.file("t.ll_net"), &error);
    if (!net) return "reading the low-level net: " + error;
    out.net = *net;
    out.text = testsupport::read_file(dir.file("t.ll_net"));
    out.state_of.assign(out.net.places(), {-1, -1});
    out.value_of.assign(out.net.places(), {-1, 0});

    // Variables: the places labelled "x=(v,dot)".
    std::istringstream ll(out.text);
    std::string line;
    bool places = false;
    while (std::getline(ll, line)) {
        if (line == "PL") places = true;
        else if (line == "TR") places = false;
        else if (places) {
            const int p = out.net.place_index(field(line, ""));
            const std::string label = field(line, "b");
            const std::size_t eq = label.find("=(");
            if (p < 0 || eq == std::string::npos) continue;
            for (std::size_t v = 0; v < s.variables.size(); ++v)
                if (label.substr(0, eq) == s.variables[v].name)
                    out.value_of[p] = {static_cast<int>(v), std::stoi(label.substr(eq + 2))};
        }
    }
    // States: the places whose references hold a state's ("K") definition.
    std::map<std::string, std::pair<int, int>> state_named;
    for (std::size_t a = 0; a < s.automata.size(); ++a)
        for (std::size_t i = 0; i < s.automata[a].states.size(); ++i)
            state_named[s.automata[a].states[i].name] = {static_cast<int>(a), static_cast<int>(i)};
    std::map<int, std::pair<int, int>> state_ref;
    std::istringstream refs(testsupport::read_file(dir.file("t.pfa_ll_ref")));
    std::string section;
    while (std::getline(refs, line)) {
        if (line == "DEF" || line == "PL" || line == "TR" || line == "BL") {
            section = line;
            continue;
        }
        if (section == "DEF" && line.find("\"Kb\"") != std::string::npos) {
            state_ref[std::stoi(line)] = state_named.at(field(line, "Kb"));
        } else if (section == "PL") {
            const int p = out.net.place_index(line.substr(0, line.find(' ')));
            std::string list = field(line, "T");
            list = list.substr(0, list.find(';'));
            std::istringstream entries(list);
            std::string entry;
            while (std::getline(entries, entry, '*')) {
                auto it = state_ref.find(std::stoi(entry));
                if (p >= 0 && it != state_ref.end()) out.state_of[p] = it->second;
            }
        }
    }
    return "";
}

// What a marking shows of the automata and the variables; false while a
// variable has no value (before its initialisation, after its termination).
bool view_of(const LowLevel& ll, const System& s, const testsupport::Marking& m, oracle::View& view) {
    view.where.assign(s.automata.size(), oracle::NOWHERE);
    view.values.assign(s.variables.size(), 0);
    std::vector<int> count(s.variables.size(), 0);
    for (int p = 0; p < ll.net.places(); ++p) {
        if (!m[p]) continue;
        if (ll.state_of[p].first >= 0) view.where[ll.state_of[p].first] = ll.state_of[p].second;
        if (ll.value_of[p].first >= 0) {
            ++count[ll.value_of[p].first];
            view.values[ll.value_of[p].first] = ll.value_of[p].second;
        }
    }
    // An automaton's own variables exist only while it runs.
    for (std::size_t v = 0; v < s.variables.size(); ++v) {
        const int owner = s.variables[v].owner;
        if (owner >= 0 && view.where[owner] == oracle::NOWHERE) view.values[v] = oracle::NOWHERE;
        else if (count[v] != 1) return false;
    }
    return true;
}

struct Observed {
    std::set<oracle::View> reachable, dead;
    bool ended = false;  // a dead marking without the variables: the net has terminated
};

Observed observe(const LowLevel& ll, const System& s) {
    testsupport::StateSpace ss = testsupport::explore(ll.net);
    EXPECT_TRUE(ss.complete);
    EXPECT_TRUE(ss.safe);
    Observed o;
    const std::vector<int> dead = testsupport::dead_states(ss);
    for (std::size_t i = 0; i < ss.states.size(); ++i) {
        oracle::View v;
        const bool complete = view_of(ll, s, ss.states[i], v);
        const bool is_dead = std::find(dead.begin(), dead.end(), static_cast<int>(i)) != dead.end();
        if (complete) o.reachable.insert(v);
        if (is_dead && complete) o.dead.insert(v);
        if (is_dead && !complete) o.ended = true;
    }
    return o;
}

std::string show(const std::set<oracle::View>& views) {
    std::string t;
    for (const oracle::View& v : views) {
        t += "(";
        for (int w : v.where) t += std::to_string(w) + " ";
        t += "|";
        for (int x : v.values) t += " " + std::to_string(x);
        t += ") ";
    }
    return t;
}

std::string describe(const System& s) {
    std::string t = oracle::project_text(s);
    for (std::size_t a = 0; a < s.automata.size(); ++a)
        t += "--- " + s.automata[a].file + "\n" + oracle::automaton_text(s, a);
    return t;
}

// With "-i" the automata start in their initial states (once their own
// variables are initialised) and never end.  Having no exit, they no
// longer hold back the termination of the variables, which may then happen
// at any time: the reachable views of started automata agree, the dead
// ones are those where the variables are gone.
void expect_agreement(const System& s, const std::string& options = "") {
    SCOPED_TRACE("autocast options: " + options);
    TempDir dir;
    LowLevel ll;
    const std::string failure = translate(s, dir, options, ll);
    ASSERT_EQ(failure, "") << describe(s);
    const bool entry_exit = options != "-i";
    const oracle::Behaviour want = oracle::explore(s, entry_exit);
    Observed got = observe(ll, s);
    if (!entry_exit) {
        for (auto v = got.reachable.begin(); v != got.reachable.end();) {
            const bool started = std::count(v->where.begin(), v->where.end(), oracle::NOWHERE) == 0;
            v = started ? std::next(v) : got.reachable.erase(v);
        }
    }
    EXPECT_EQ(show(got.reachable), show(want.reachable)) << describe(s) << ll.text;
    if (!entry_exit) return;
    EXPECT_EQ(show(got.dead), show(want.dead)) << describe(s);
    EXPECT_EQ(got.ended, want.all_ended) << describe(s);
}

oracle::Automaton automaton(const std::string& file, std::vector<oracle::State> states,
                            std::vector<oracle::Arc> arcs) {
    return oracle::Automaton{file, std::move(states), std::move(arcs)};
}

// ---------------------------------------------------------------------------

TEST(AutocastPipeline, TwoIncrementsOfASharedVariable) {
    System s;
    s.variables.push_back({"x", 0, 3, 0});
    for (const char* n : {"a", "b"})
        s.automata.push_back(automaton(std::string(n) + ".pfa", {{std::string(n) + "0", '1'}, {std::string(n) + "1", '2'}},
                                       {{0, 1, "<x' = 'x + 1>"}}));
    const oracle::Behaviour want = oracle::explore(s);
    std::set<int> values;
    for (const oracle::View& v : want.reachable) values.insert(v.values[0]);
    EXPECT_EQ(values, (std::set<int>{0, 1, 2}));
    expect_agreement(s);
}

TEST(AutocastPipeline, DeadlockOfAStateWithoutWayBack) {
    System stuck;
    stuck.automata.push_back(automaton("a.pfa", {{"idle", '1'}, {"busy", '2'}}, {{0, 1, "<true>"}}));
    System cycle;
    cycle.automata.push_back(automaton("a.pfa", {{"idle", '1'}, {"busy", '2'}}, {{0, 1, "<true>"}, {1, 0, "<true>"}}));
    EXPECT_TRUE(oracle::explore(stuck).deadlock());
    EXPECT_FALSE(oracle::explore(cycle).deadlock());
    expect_agreement(stuck);
    expect_agreement(cycle);
}

// A system means the same whatever its identifiers are named.  Every
// variable name of the templates names a channel of capacity 0 under
// procedure semantics (its value must not become the instance of the
// action) and a value parameter of the procedure box (it must not become
// the box's instance counter); the low-level net is that of a neutral name.
class AutocastNames : public testing::TestWithParam<const char*> {};

struct Shape {
    int transitions = 0;
    std::size_t states = 0, dead = 0;
    bool operator==(const Shape& o) const { return transitions == o.transitions && states == o.states && dead == o.dead; }
};

std::ostream& operator<<(std::ostream& out, const Shape& s) {
    return out << s.transitions << " transitions, " << s.states << " states, " << s.dead << " dead";
}

std::string automaton_file(const std::vector<std::string>& labels) {
    std::string t = "VOS\nFiniteAutomaton\nFORMAT_N2\nPL\n";
    for (std::size_t i = 0; i <= labels.size(); ++i)
        t += std::to_string(i + 1) + " 100@100 " + (i == 0 ? "1" : i == labels.size() ? "3" : "2") + " \"s" +
             std::to_string(i) + "\"\n";
    t += "AR\n";
    for (std::size_t i = 0; i < labels.size(); ++i)
        t += std::to_string(i + 1) + " " + std::to_string(i + 1) + ">" + std::to_string(i + 2) + " 150@80 150@80 \"" +
             labels[i] + "\"\n";
    return t + "TX\n\"B(PN)2\"\n\"\"\n";
}

Shape shape_of(const std::string& declarations, const std::vector<std::vector<std::string>>& automata,
               const std::string& options) {
    TempDir dir;
    std::string project = "VOS\nPROJECT_vosPFA\nVAR\n" + declarations + "\nFA\n";
    for (std::size_t a = 0; a < automata.size(); ++a) {
        const std::string file = "a" + std::to_string(a) + ".pfa";
        EXPECT_TRUE(testsupport::write_file(dir.file(file), automaton_file(automata[a])));
        project += file + "\n";
    }
    EXPECT_TRUE(testsupport::write_file(dir.file("t.prj"), project));
    testsupport::RunResult r = run_in(dir, "autocast " + options + " t.prj -o t.hl_net");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    r = run_in(dir, "flatnet t.hl_net");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::string error;
    auto net = testsupport::read_vos(dir.file("t.ll_net"), &error);
    if (!net) {
        ADD_FAILURE() << error;
        return {};
    }
    const testsupport::StateSpace ss = testsupport::explore(*net);
    EXPECT_TRUE(ss.complete);
    return {net->transitions(), ss.states.size(), testsupport::dead_states(ss).size()};
}

TEST_P(AutocastNames, AnyNameKeepsTheMeaning) {
    auto channel = [](const std::string& n) {
        return shape_of("var " + n + " : chan 0 of {0..2}; var x : {0..2} init 0;",
                        {{"<" + n + "! = 2>"}, {"<x' = " + n + "?>", "<x = 2>"}}, "-g1..2");
    };
    EXPECT_EQ(channel(GetParam()), channel("w"));
    auto parameter = [](const std::string& n) {
        return shape_of("var x : {0..2} init 0;", {{"<x' = 1>"}}, "-g1..2 -u2 '-Pproc P(val " + n + " : {0..2})'");
    };
    EXPECT_EQ(parameter(GetParam()), parameter("w"));
}

INSTANTIATE_TEST_SUITE_P(TemplateVariables, AutocastNames,
                         testing::Values("a", "b", "h", "h2", "id", "k", "k2", "p", "v"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// ---------------------------------------------------------------------------
// Random systems: one to three automata over one or two variables, labels
// made of assignments, comparisons, arithmetic and the logical operators,
// printed with no more parentheses than their precedences need.

class Generator {
public:
    // With `locals` some automata declare a variable of their own.
    explicit Generator(std::uint64_t seed, bool locals = false) : rng_(seed), locals_(locals) {}

    System system() {
        System s;
        const int vars = pick(1, 2);
        for (int v = 0; v < vars; ++v) {
            oracle::Variable x{v ? "y" : "x", 0, pick(1, 2), std::nullopt};
            if (chance(0.5)) x.init = pick(0, x.hi);
            s.variables.push_back(x);
        }
        const int automata = pick(1, 3);
        for (int a = 0; a < automata; ++a) {
            oracle::Automaton aut;
            aut.file = "a" + std::to_string(a) + ".pfa";
            current_ = a;
            if (locals_ && chance(0.5)) {
                oracle::Variable l{"l" + std::to_string(a), 0, pick(1, 2), std::nullopt, a};
                if (chance(0.5)) l.init = pick(0, l.hi);
                s.variables.push_back(l);
            }
            const int states = pick(2, 4);
            for (int i = 0; i < states; ++i)
                aut.states.push_back({"a" + std::to_string(a) + "s" + std::to_string(i),
                                      i == 0 ? '1' : chance(0.3) ? '3' : '2'});
            for (int i = 0; i < states; ++i) {
                const int out = pick(i == 0 ? 1 : 0, 2);
                for (int k = 0; k < out; ++k) aut.arcs.push_back({i, pick(0, states - 1), "<" + label(s) + ">"});
            }
            s.automata.push_back(aut);
        }
        return s;
    }

private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }

    // A printed expression and its precedence level: 1 or, 2 and, 3 not,
    // 4 comparisons, 5 + -, 6 * %, 7 unary minus, 8 operands.
    struct Text {
        std::string s;
        int level;
    };
    Text paren(Text t) { return {"(" + t.s + ")", 8}; }
    // The operand as it must be printed below an operator of level `at`.
    Text operand(Text t, int at, bool strict) {
        if (t.level < at || (strict && t.level == at) || chance(0.1)) return paren(t);
        return t;
    }
    Text binary(Text a, const std::string& op, Text b, int level, char assoc) {
        a = operand(a, level, assoc != 'l');
        b = operand(b, level, assoc != 'r');
        return {a.s + " " + op + " " + b.s, level};
    }

    // A variable that the current automaton sees: a global one or its own.
    std::string variable(const System& s) {
        std::vector<const oracle::Variable*> seen;
        for (const oracle::Variable& v : s.variables)
            if (v.owner < 0 || v.owner == current_) seen.push_back(&v);
        return seen[pick(0, static_cast<int>(seen.size()) - 1)]->name;
    }

    Text arith(const System& s, int depth) {
        switch (depth > 0 ? pick(0, 7) : pick(0, 2)) {
        case 0: return {std::to_string(pick(0, 2)), 8};
        case 1: return {"'" + variable(s), 8};
        case 2: return {variable(s), 8};
        case 3: return binary(arith(s, depth - 1), "+", arith(s, depth - 1), 5, 'l');
        case 4: return binary(arith(s, depth - 1), "-", arith(s, depth - 1), 5, 'l');
        case 5: return binary(arith(s, depth - 1), pick(0, 1) ? "*" : "%", {std::to_string(pick(1, 3)), 8}, 6, 'l');
        case 6: return {"-" + operand(arith(s, depth - 1), 7, false).s, 7};
        default: return paren(arith(s, depth - 1));
        }
    }

    Text boolean(const System& s, int depth) {
        static const char* const comparisons[] = {"=", "#", "<", ">", "<=", ">="};
        static const char* const ors[] = {"or", "|", "OR"};
        static const char* const ands[] = {"and", "&", "AND"};
        static const char* const nots[] = {"not", "!", "NOT"};
        switch (depth > 0 ? pick(0, 6) : pick(0, 1)) {
        case 0: return binary({variable(s) + "'", 8}, "=", arith(s, 1), 4, 'n');
        case 1: return binary(arith(s, 1), comparisons[pick(0, 5)], arith(s, 1), 4, 'n');
        case 2: return binary(boolean(s, depth - 1), ors[pick(0, 2)], boolean(s, depth - 1), 1, 'l');
        case 3:
        case 4: return binary(boolean(s, depth - 1), ands[pick(0, 2)], boolean(s, depth - 1), 2, 'r');
        case 5: return {std::string(nots[pick(0, 2)]) + " " + operand(boolean(s, depth - 1), 3, false).s, 3};
        default: return {pick(0, 3) ? "true" : "false", 8};
        }
    }

    std::string label(const System& s) { return boolean(s, pick(0, 2)).s; }

    std::mt19937_64 rng_;
    bool locals_;
    int current_ = 0;
};

class AutocastRandomSystems : public testing::TestWithParam<int> {};

TEST_P(AutocastRandomSystems, ExplorerAgreesWithTheProductInterpreter) {
    for (int k = 0; k < 8; ++k) {
        const std::uint64_t seed = static_cast<std::uint64_t>(GetParam()) * 8 + k;
        SCOPED_TRACE("seed " + std::to_string(seed));
        expect_agreement(Generator(seed).system());
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, AutocastRandomSystems, testing::Range(0, 4));

// Automata with variables of their own, each scoped to its automaton, with
// and without the places and transitions that start and end the automata.
class AutocastRandomSystemsLocal : public testing::TestWithParam<int> {};

TEST_P(AutocastRandomSystemsLocal, ExplorerAgreesWithTheProductInterpreter) {
    for (int k = 0; k < 3; ++k) {
        const std::uint64_t seed = 200 + static_cast<std::uint64_t>(GetParam()) * 3 + k;
        SCOPED_TRACE("seed " + std::to_string(seed));
        const System s = Generator(seed, true).system();
        expect_agreement(s);
        expect_agreement(s, "-i");
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, AutocastRandomSystemsLocal, testing::Range(0, 2));

// trelmik's prefix and dlbacktrack's verdict agree with the interpreter.
TEST(AutocastRandomSystemsPipe, DlbacktrackFindsTheDeadlocksOfTheInterpreter) {
    if (testsupport::read_file(BIN + "/trelmik").empty() || testsupport::read_file(BIN + "/dlbacktrack").empty())
        GTEST_SKIP() << "trelmik and dlbacktrack are not built";
    int with = 0, without = 0;
    for (std::uint64_t seed = 100; seed < 140 && with + without < 6; ++seed) {
        const System s = Generator(seed).system();
        const bool deadlock = oracle::explore(s).deadlock();
        if ((deadlock ? with : without) >= 3) continue;
        ++(deadlock ? with : without);
        TempDir dir;
        LowLevel ll;
        ASSERT_EQ(translate(s, dir, "", ll), "") << describe(s);
        testsupport::RunResult r = run_in(dir, "trelmik -c -m=t t.ll_net");
        ASSERT_EQ(r.exit_code, 0) << r.err << ll.text;
        r = run_in(dir, "dlbacktrack t.mci");
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out.rfind("TRUE", 0) == 0, !deadlock) << "seed " << seed << "\n" << describe(s) << r.out;
    }
    EXPECT_EQ(with, 3);
    EXPECT_EQ(without, 3);
}

}  // namespace
