// The side input forms, the prefix written as a net and read back, and the
// net preparations, each checked against the explicit state space of random
// 1-safe nets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "erv.h"
#include "formats/formats.h"
#include "net.h"
#include "outfile.h"
#include "outputs.h"
#include "petri_test.h"
#include "prefix_check.h"
#include "trelmik.h"
#include "unfold.h"
#include "vos.h"

using namespace trelmik;
using testsupport::TestNet;

namespace {

struct NetHolder {
    netlib::NET* net;
    explicit NetHolder(netlib::NET* n) : net(n) {}
    ~NetHolder() {
        if (net) netlib::delete_net(net);
    }
    NetHolder(const NetHolder&) = delete;
    NetHolder& operator=(const NetHolder&) = delete;
};

// The net record as a test net, places and transitions in list order.
TestNet test_net_of(netlib::NET* net) {
    netlib::renumber(net);
    TestNet t;
    for (netlib::NET_NODE* p = net->first_place; p; p = p->next) {
        t.place_names.push_back(p->name);
        t.m0.push_back(p->marking);
    }
    for (netlib::NET_NODE* tr = net->first_transition; tr; tr = tr->next) {
        t.trans_names.push_back(tr->name);
        std::vector<int> pre, post;
        for (netlib::NET_ARC* a = tr->preset; a; a = a->t_next)
            if (a->weight > 0) pre.push_back(static_cast<int>(a->place->number) - 1);
        for (netlib::NET_ARC* a = tr->postset; a; a = a->t_next)
            if (a->weight > 0) post.push_back(static_cast<int>(a->place->number) - 1);
        t.pre.push_back(pre);
        t.post.push_back(post);
    }
    return t;
}

// Reachable markings as sets of place names (after `rename` maps a name of
// the read net to the original name; names mapped to "" are left out, and
// markings that put a token on a place mapped to "-" are skipped).
template <class Rename>
std::set<std::set<std::string>> named_markings(const TestNet& net, Rename rename) {
    std::set<std::set<std::string>> out;
    const testsupport::StateSpace ss = testsupport::explore(net);
    for (const auto& m : ss.states) {
        std::set<std::string> names;
        bool skip = false;
        for (int p = 0; p < net.places(); ++p) {
            if (m[p] == 0) continue;
            const std::string n = rename(net.place_names[p]);
            if (n == "-") skip = true;
            else if (!n.empty()) names.insert(n);
        }
        if (!skip) out.insert(names);
    }
    return out;
}

std::string same_name(const std::string& s) { return s; }

std::string write_text(const std::string& path, const std::string& text) {
    EXPECT_TRUE(testsupport::write_file(path, text));
    return path;
}

std::string format_a_text(const TestNet& n) {
    std::ostringstream o;
    o << "VOS\nPlainNet\nFORMAT_A\n";
    for (int p = 0; p < n.places(); ++p)
        o << "PLA:\nidt: " << p + 1 << "\nnam: '" << n.place_names[p] << "'\nima: " << n.m0[p] << "\nend:\n";
    const int base = n.places();
    for (int t = 0; t < n.transitions(); ++t)
        o << "TRA:\nidt: " << base + t + 1 << "\nnam: '" << n.trans_names[t] << "'\nend:\n";
    for (int t = 0; t < n.transitions(); ++t) {
        for (int p : n.pre[t]) o << "ARC:\nsou: " << p + 1 << "\ndes: " << base + t + 1 << "\nwgt: 1\nend:\n";
        for (int p : n.post[t]) o << "ARC:\nsou: " << base + t + 1 << "\ndes: " << p + 1 << "\nwgt: 1\nend:\n";
    }
    o << "END:\n";
    return o.str();
}

std::string lisp_text(const TestNet& n) {
    std::ostringstream o;
    o << "(define transitions '(\n";
    for (int t = 0; t < n.transitions(); ++t) {
        o << " ((";
        for (int p : n.pre[t]) o << " " << n.place_names[p];
        o << ") (";
        for (int p : n.post[t]) o << " " << n.place_names[p];
        o << "))\n";
    }
    o << "))\n(define initial-tokens '(";
    for (int p = 0; p < n.places(); ++p)
        if (n.m0[p]) o << " " << n.place_names[p];
    o << "))\n";
    return o.str();
}

std::string matlab_text(const TestNet& n) {
    std::ostringstream o;
    o << "function [ausgabe]=net(flag);\n% a net\nFm=[\n";
    for (int t = 0; t < n.transitions(); ++t)
        for (int p : n.pre[t]) o << p + 1 << " " << t + 1 << " 1\n";
    o << n.places() << " " << n.transitions() << " 0\n];\n\nFp=[\n";
    for (int t = 0; t < n.transitions(); ++t)
        for (int p : n.post[t]) o << p + 1 << " " << t + 1 << " 1\n";
    o << n.places() << " " << n.transitions() << " 0\n];\n\nM0=[\n";
    for (int p = 0; p < n.places(); ++p)
        if (n.m0[p]) o << p + 1 << " 1 1\n";
    o << n.places() << " 1 0\n];\n\nif flag==1\n  ausgabe=spconvert(Fm);\nend;\n";
    return o.str();
}

struct Unfolded {
    std::uint32_t events = 0, conditions = 0, cutoffs = 0;
};

Unfolded unfold_checked(netlib::NET* net, const std::string& what) {
    const TestNet t = test_net_of(net);
    const InputNet in = input_from_net(net);
    const Prefix pf = unfold_mcmillan(in, Settings{});
    EXPECT_EQ(unftest::check_prefix(t, pf, true), "") << what;
    return {pf.events(), pf.conditions(), static_cast<std::uint32_t>(pf.cutoffs.size())};
}

std::vector<TestNet> sample_nets() {
    std::vector<TestNet> nets;
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        testsupport::RandomNetParams p;
        p.general = seed % 2 == 0;
        p.max_sync = 3;
        nets.push_back(testsupport::random_safe_net(seed, p));
    }
    return nets;
}

}  // namespace

// The same net in every input form unfolds to a prefix of the same size, and
// the forms have the same reachable markings.
TEST(InputForms, EveryFormGivesTheSameNet) {
    testsupport::TempDir dir;
    int k = 0;
    for (const TestNet& net : sample_nets()) {
        const std::string base = dir.path() + "/n" + std::to_string(++k);
        const auto reference = named_markings(net, same_name);
        ASSERT_TRUE(testsupport::write_vos(net, base + ".ll_net"));
        NetHolder vos(netlib::read_VOS(base + ".ll_net"));
        const Unfolded ref = unfold_checked(vos.net, "VOS " + base);
        // The incidence matrix of the VOS net with its start marking.
        netlib::write_matrix(vos.net, base + ".mat");
        netlib::write_netmarking(vos.net, base + ".mat");

        struct Form {
            const char* what;
            netlib::NET* net;
            std::string (*rename)(const std::string&);
        };
        auto matlab_name = [](const std::string& s) -> std::string {
            // "P%08u" back to "p<number>"
            return "p" + std::to_string(std::stoul(s.substr(1)));
        };
        std::vector<Form> forms = {
            {"FORMAT_A", netlib::read_VOS(write_text(base + ".fa", format_a_text(net))), same_name},
            {"LISP", netlib::read_LISP(write_text(base + ".lisp", lisp_text(net))), same_name},
            {"Matlab", netlib::read_Matlab(write_text(base + ".m", matlab_text(net))), +matlab_name},
            {"matrix", netlib::read_matrix(base + ".mat"), same_name},
        };
        for (Form& f : forms) {
            NetHolder h(f.net);
            ASSERT_NE(h.net, nullptr) << f.what;
            const std::string what = std::string(f.what) + " " + base;
            const Unfolded u = unfold_checked(h.net, what);
            EXPECT_EQ(u.events, ref.events) << what;
            EXPECT_EQ(u.conditions, ref.conditions) << what;
            EXPECT_EQ(named_markings(test_net_of(h.net), f.rename), reference) << what;
        }
    }
}

// The prefix written as a net unfolds again to the same events without cut-offs.
TEST(PrefixAsNet, UnfoldsToItself) {
    testsupport::TempDir dir;
    int k = 0;
    for (const TestNet& net : sample_nets()) {
        for (bool layered : {false, true}) {
            const std::string base = dir.path() + "/u" + std::to_string(++k);
            ASSERT_TRUE(testsupport::write_vos(net, base + ".ll_net"));
            NetHolder in_net(netlib::read_VOS(base + ".ll_net"));
            const InputNet in = input_from_net(in_net.net);
            const Prefix pf = unfold_mcmillan(in, Settings{});
            write_unf_net(base, in, pf, layered);
            outfile::commit();
            NetHolder again(netlib::read_VOS(base + ".unf_net"));
            const InputNet in2 = input_from_net(again.net);
            const Prefix pf2 = unfold_mcmillan(in2, Settings{});
            EXPECT_EQ(pf2.events(), pf.events()) << base;
            EXPECT_EQ(pf2.conditions(), pf.conditions()) << base;
            EXPECT_EQ(pf2.cutoffs.size(), 0u) << base;
            // Event E<k> of the first prefix is transition E<k> (or CUT_E<k>) of the net.
            std::multiset<std::string> first, second;
            for (std::uint32_t e = 1; e <= pf.events(); ++e)
                first.insert((pf.is_cutoff[e - 1] ? "CUT_E" : "E") + std::to_string(e));
            for (std::uint32_t e = 1; e <= pf2.events(); ++e) second.insert(in2.trans_names[pf2.ev_trans[e - 1]].str());
            EXPECT_EQ(first, second) << base;
        }
    }
}

// Complement places and split transitions leave the reachable markings of
// the original places as they were.
TEST(Preparation, KeepsReachableMarkings) {
    testsupport::TempDir dir;
    int k = 0;
    std::size_t gadgets = 0;
    for (const TestNet& net : sample_nets()) {
        const std::set<std::string> originals(net.place_names.begin(), net.place_names.end());
        // Gadget places of split transitions hold tokens only between the
        // halves of a split step; complement places are left out.
        auto original_only = [&](const std::string& s) -> std::string {
            if (originals.count(s)) return s;
            return s.rfind("ZZZS", 0) == 0 ? "-" : "";
        };
        const auto reference = named_markings(net, same_name);
        const std::string path = dir.path() + "/p" + std::to_string(++k) + ".ll_net";
        ASSERT_TRUE(testsupport::write_vos(net, path));
        for (int mode : {0, 1, 2}) {
            NetHolder h(netlib::read_VOS(path));
            std::fflush(stdout);
            add_complement_places(h.net);
            split_transitions(h.net, mode);
            const TestNet prepared = test_net_of(h.net);
            // Complements first, each holding the token its place lacks.
            const auto all = testsupport::explore(prepared);
            const int n = net.places();
            ASSERT_EQ(prepared.place_names[0], "|" + net.place_names[0] + "|");
            for (const auto& m : all.states)
                for (int p = 0; p < n; ++p) {
                    if (mode == 0) {
                        ASSERT_EQ(m[p] + m[p + n], 1) << path << " place " << net.place_names[p];
                    }
                }
            // Split transitions may hold tokens in their gadget places; the
            // markings without them are the original ones.
            EXPECT_EQ(named_markings(prepared, original_only), reference) << path << " mode " << mode;
            if (mode != 0) {
                for (const auto& name : prepared.place_names) gadgets += name.rfind("ZZZS", 0) == 0;
                for (std::size_t t = 0; t < prepared.pre.size(); ++t)
                    EXPECT_LE(prepared.pre[t].size(), 2u) << path << " " << prepared.trans_names[t];
            }
            unfold_checked(h.net, path + " prepared");
        }
        // Splitting alone, without complements.
        for (int mode : {1, 2}) {
            NetHolder h(netlib::read_VOS(path));
            split_transitions(h.net, mode);
            EXPECT_EQ(named_markings(test_net_of(h.net), original_only), reference) << path << " mode " << mode;
        }
    }
    EXPECT_GT(gadgets, 0u) << "no sample net has a transition with three input places";
}

// Four input places: two gadgets in either form, two input arcs left; two
// input places: nothing changes.
TEST(Preparation, GadgetCounts) {
    for (int mode : {1, 2}) {
        netlib::NET* net = netlib::new_net();
        for (const char* p : {"a", "b", "c", "d", "e", "f", "g"}) netlib::insert_place(net, p, 1);
        netlib::insert_transition(net, "big");
        netlib::insert_transition(net, "two");
        for (const char* p : {"a", "b", "c", "d"}) netlib::insert_PT_con(net, p, "big", 1);
        netlib::insert_TP_con(net, "e", "big", 1);
        netlib::insert_PT_con(net, "f", "two", 1);
        netlib::insert_PT_con(net, "g", "two", 1);
        netlib::insert_TP_con(net, "e", "two", 1);
        split_transitions(net, mode);
        const TestNet t = test_net_of(net);
        EXPECT_EQ(t.transitions(), 2 + 4) << mode;
        EXPECT_EQ(t.places(), 7 + 2) << mode;
        EXPECT_EQ(t.pre[t.trans_index("big")].size(), 2u) << mode;
        EXPECT_EQ(t.pre[t.trans_index("two")].size(), 2u) << mode;
        for (const auto& name : t.place_names) {
            if (name.rfind("ZZZS", 0) == 0) {
                EXPECT_NE(name.find("big"), std::string::npos);
            }
        }
        netlib::delete_net(net);
    }
}

// A self-loop keeps its arcs at the place and gets none at the complement.
TEST(Preparation, SelfLoopLeavesComplementAlone) {
    netlib::NET* net = netlib::new_net();
    netlib::insert_place(net, "p", 1);
    netlib::insert_place(net, "q", 0);
    netlib::insert_transition(net, "loop");
    netlib::insert_transition(net, "move");
    netlib::insert_PT_con(net, "p", "loop", 1);
    netlib::insert_TP_con(net, "p", "loop", 1);
    netlib::insert_PT_con(net, "p", "move", 1);
    netlib::insert_TP_con(net, "q", "move", 1);
    add_complement_places(net);
    const TestNet t = test_net_of(net);
    EXPECT_EQ(t.place_names, (std::vector<std::string>{"|p|", "|q|", "p", "q"}));
    EXPECT_EQ(t.m0, (std::vector<int>{0, 1, 1, 0}));
    const int loop = t.trans_index("loop"), move = t.trans_index("move");
    EXPECT_EQ(t.pre[loop], (std::vector<int>{2}));
    EXPECT_EQ(t.post[loop], (std::vector<int>{2}));
    EXPECT_EQ(std::set<int>(t.pre[move].begin(), t.pre[move].end()), (std::set<int>{1, 2}));
    EXPECT_EQ(std::set<int>(t.post[move].begin(), t.post[move].end()), (std::set<int>{0, 3}));
    netlib::delete_net(net);
}

// The "Q" text keeps the tables of the ".unf" text and lists the cut-offs
// with their corresponding events and only the count of configurations.
TEST(UnfLast, TablesAsUnfCutoffsAndCount) {
    testsupport::TempDir dir;
    TestNet net;
    net.place_names = {"a", "b"};
    net.trans_names = {"t1", "t2"};
    net.pre = {{0}, {1}};
    net.post = {{1}, {0}};
    net.m0 = {1, 0};
    const InputNet in = unftest::to_input(net);
    const Prefix pf = unfold_mcmillan(in, Settings{});
    Configurations configs;
    configs.computed = true;
    configs.sets = {{1, 2}};
    const std::string base = dir.path() + "/c";
    write_unf(base, "c.ll_net", in, pf, configs, false, {});
    write_unf_last(base, "c.ll_net", in, pf, configs);
    outfile::commit();
    const std::string unf = testsupport::read_file(base + ".unf");
    const std::string q = testsupport::read_file(base + "Q.unf");
    const std::string tables_end = "\n1 cutoff event";
    const auto after_header = [](const std::string& s) { return s.substr(s.find("\nUnfolding")); };
    ASSERT_NE(q.find(tables_end), std::string::npos) << q;
    EXPECT_EQ(after_header(q).substr(0, after_header(q).find(tables_end)),
              after_header(unf).substr(0, after_header(unf).find(tables_end)));
    EXPECT_NE(q.find("1 cutoff event (last corresponding event):\nE2(start marking).\n\n"
                     "1 maximal configuration:\n\n\n****"),
              std::string::npos)
        << q;
    EXPECT_NE(q.find("* FILE: " + base + "Q.unf"), std::string::npos);
}

// Self-loops are found by the arcs whatever order the arc lists are in.
TEST(Preparation, SelfLoopInUnsortedArcLists) {
    netlib::NET* net = netlib::new_net();
    netlib::NET_NODE* p = netlib::append_place(net, "p", 1);
    netlib::NET_NODE* q = netlib::append_place(net, "q", 0);
    netlib::NET_NODE* u = netlib::append_transition(net, "u");
    netlib::NET_NODE* v = netlib::append_transition(net, "v");
    netlib::append_PT_arc(net, p, v, 1);
    netlib::append_TP_arc(net, v, q, 1);
    netlib::append_PT_arc(net, p, u, 1);
    netlib::append_TP_arc(net, u, p, 1);
    add_complement_places(net);
    const TestNet t = test_net_of(net);
    ASSERT_EQ(t.place_names, (std::vector<std::string>{"|p|", "|q|", "p", "q"}));
    const int iu = t.trans_index("u"), iv = t.trans_index("v");
    EXPECT_EQ(t.pre[iu], (std::vector<int>{2}));
    EXPECT_EQ(t.post[iu], (std::vector<int>{2}));
    EXPECT_EQ(std::set<int>(t.post[iv].begin(), t.post[iv].end()), (std::set<int>{0, 3}));
    EXPECT_EQ(std::set<int>(t.pre[iv].begin(), t.pre[iv].end()), (std::set<int>{1, 2}));
    netlib::delete_net(net);
}

namespace {

// Whether the state space holds a reachable cycle through an accepting
// transition: an accepting edge whose target leads back to its source.
bool accepting_cycle(const TestNet& net, const testsupport::StateSpace& ss) {
    for (std::size_t s = 0; s < ss.states.size(); ++s)
        for (const auto& [t, to] : ss.succ[s]) {
            if (net.trans_names[t][0] != '@') continue;
            std::vector<bool> seen(ss.states.size(), false);
            std::vector<int> stack{to};
            seen[to] = true;
            while (!stack.empty()) {
                const int x = stack.back();
                stack.pop_back();
                if (x == static_cast<int>(s)) return true;
                for (const auto& [u, y] : ss.succ[x])
                    if (!seen[y]) {
                        seen[y] = true;
                        stack.push_back(y);
                    }
            }
        }
    return false;
}

// The marking reached by firing the events' transitions in ascending event
// number (a causal order), nullopt when one is not enabled.
std::optional<testsupport::Marking> fire_events(const TestNet& net, const Prefix& pf,
                                                const std::vector<std::uint32_t>& events) {
    std::vector<int> seq;
    for (std::uint32_t e : events) seq.push_back(static_cast<int>(pf.ev_trans[e - 1]));
    return testsupport::replay(net, seq);
}

}  // namespace

// -V in each of the three loops: the run stops at the first cut-off that
// closes an accepting cycle, keeping the events the full run creates up to
// there; the verdict equals an accepting-cycle search of the state space,
// and the witness replays: both configurations reach one marking and the
// events between them include an accepting one.
TEST(Ltl, StopsAtTheFirstAcceptingCutoffInEveryLoop) {
    int found = 0, absent = 0;
    for (std::uint64_t seed = 1; seed <= 90; ++seed) {
        testsupport::RandomNetParams params;
        params.components = 2 + static_cast<int>(seed % 2);
        params.states_per_component = 2 + static_cast<int>(seed % 3);
        params.max_sync = 1 + static_cast<int>(seed % 2);
        TestNet net = testsupport::random_safe_net(seed, params);
        for (int t = 0; t < net.transitions(); ++t)
            if ((t + seed) % 4 == 0) net.trans_names[t] = "@" + net.trans_names[t];
        const testsupport::StateSpace ss = testsupport::explore(net);
        ASSERT_TRUE(ss.complete && ss.safe);
        const bool want = accepting_cycle(net, ss);
        InputNet in = unftest::to_input(net);
        in.components = static_cast<std::uint32_t>(params.components);
        for (std::uint32_t p = 0; p < in.places(); ++p)
            in.place_comp[p] = p / static_cast<std::uint32_t>(params.states_per_component) + 1;
        for (const char* loop : {"McMillan", "ERV", "SPTS"}) {
            auto unfold = [&](const Settings& s) {
                erv_options = ErvOptions{};
                if (loop[0] == 'M') return unfold_mcmillan(in, s);
                if (loop[0] == 'E') return unfold_erv(in, s);
                return unfold_spts(in, s);
            };
            std::FILE* sink = std::fopen("/dev/null", "w");
            ASSERT_NE(sink, nullptr);
            Settings s;
            s.out = sink;
            const Prefix full = unfold(s);
            AcceptingCycleWatch watch(in);
            s.watch = &watch;
            const Prefix stopped = unfold(s);
            std::fclose(sink);
            const LtlWitness& w = watch.witness();
            const std::string where = std::string(loop) + " seed " + std::to_string(seed) + "\n" +
                                      testsupport::to_vos(net);
            ASSERT_EQ(w.found, want) << where;
            // The same witness as asking the full prefix's cut-offs in turn.
            const LtlWitness after = find_accepting_cycle(in, full);
            ASSERT_EQ(after.found, w.found) << where;
            if (!w.found) {
                EXPECT_EQ(stopped.events(), full.events()) << where;
                ++absent;
                continue;
            }
            ++found;
            EXPECT_EQ(after.cutoff, w.cutoff) << where;
            ASSERT_FALSE(stopped.cutoffs.empty());
            EXPECT_EQ(stopped.cutoffs.back().first, w.cutoff) << where;
            EXPECT_EQ(stopped.cutoffs.size(),
                      std::size_t(std::find(full.cutoffs.begin(), full.cutoffs.end(), stopped.cutoffs.back()) -
                                  full.cutoffs.begin()) + 1)
                << where;
            ASSERT_LE(stopped.events(), full.events()) << where;
            for (std::uint32_t e = 1; e <= stopped.events(); ++e)
                ASSERT_EQ(stopped.ev_trans[e - 1], full.ev_trans[e - 1]) << where;
            const auto m1 = fire_events(net, stopped, w.cutoff_config);
            const auto m2 = fire_events(net, stopped, w.corr_config);
            ASSERT_TRUE(m1 && m2) << where;
            EXPECT_EQ(*m1, *m2) << where;
            bool accepting = false;
            for (std::uint32_t e : w.cutoff_config)
                if (!std::binary_search(w.corr_config.begin(), w.corr_config.end(), e))
                    accepting |= net.trans_names[stopped.ev_trans[e - 1]][0] == '@';
            EXPECT_TRUE(accepting) << where;
        }
    }
    EXPECT_GT(found, 30);
    EXPECT_GT(absent, 10);
}
