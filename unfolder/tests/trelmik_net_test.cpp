// The net record on both sides of the unfolder: the input net turned into
// number-indexed arrays, and the prefix turned back into a net record.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "net.h"
#include "petri_test.h"
#include "scanner.h"
#include "trelmik.h"
#include "unfold.h"
#include "vos.h"

using namespace trelmik;
using testsupport::TempDir;

namespace {

// Two philosophers' worth of a net: names chosen so that name order differs
// from insertion order.
netlib::NET* small_net() {
    netlib::NET* net = netlib::new_net();
    netlib::insert_place(net, "idle", 1);
    netlib::insert_place(net, "free", 1);
    netlib::insert_place(net, "busy", 0);
    netlib::insert_place(net, "held", 0);
    netlib::insert_transition(net, "take");
    netlib::insert_transition(net, "give");
    netlib::insert_PT_con(net, "idle", "take", 1);
    netlib::insert_PT_con(net, "free", "take", 1);
    netlib::insert_TP_con(net, "busy", "take", 1);
    netlib::insert_TP_con(net, "held", "take", 1);
    netlib::insert_PT_con(net, "busy", "give", 1);
    netlib::insert_PT_con(net, "held", "give", 1);
    netlib::insert_TP_con(net, "idle", "give", 1);
    netlib::insert_TP_con(net, "free", "give", 1);
    return net;
}

}  // namespace

TEST(TrelmikNet, InputFollowsListOrder) {
    netlib::NET* net = small_net();
    const InputNet in = input_from_net(net);
    // Places and transitions numbered in list (name) order.
    EXPECT_EQ(in.place_names.strings(), (std::vector<std::string>{"busy", "free", "held", "idle"}));
    EXPECT_EQ(in.trans_names.strings(), (std::vector<std::string>{"give", "take"}));
    EXPECT_EQ(in.marking, (std::vector<std::int32_t>{0, 1, 0, 1}));
    EXPECT_EQ(in.pre[1], (std::vector<std::uint32_t>{1, 3}));   // take: free, idle
    EXPECT_EQ(in.post[0], (std::vector<std::uint32_t>{1, 3}));  // give: free, idle
    EXPECT_EQ(in.place_post[1], (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(in.pt_arcs, 4u);
    EXPECT_EQ(in.tp_arcs, 4u);
    netlib::delete_net(net);
}

TEST(TrelmikNet, PrefixAsNetRecord) {
    netlib::NET* net = small_net();
    const InputNet in = input_from_net(net);
    const Prefix pf = unfold_mcmillan(in, {});
    netlib::NET* out = prefix_to_net(in, pf, net);
    ASSERT_EQ(out->places, pf.conditions());
    ASSERT_EQ(out->transitions, pf.events());
    // B1 free, B2 idle (initial); E1 take; B3 busy, B4 held; E2 give (cut-off); B5, B6 behind it.
    netlib::NET_NODE* b1 = out->first_place;
    EXPECT_EQ(b1->name, "B1");
    EXPECT_EQ(static_cast<netlib::NET_NODE*>(b1->link)->name, "free");
    EXPECT_EQ(b1->preset, nullptr);
    ASSERT_NE(b1->postset, nullptr);
    EXPECT_EQ(b1->postset->transition->name, "E1");
    netlib::NET_NODE* e1 = out->first_transition;
    EXPECT_EQ(static_cast<netlib::NET_NODE*>(e1->link)->name, "take");
    EXPECT_EQ(e1->kind, 1);
    // E1's inputs in the order chosen (the newest condition first), outputs in arc order.
    ASSERT_NE(e1->preset, nullptr);
    EXPECT_EQ(e1->preset->place->name, "B2");
    EXPECT_EQ(e1->preset->t_next->place->name, "B1");
    EXPECT_EQ(e1->postset->place->name, "B3");
    EXPECT_EQ(e1->postset->t_next->place->name, "B4");
    netlib::NET_NODE* b5 = netlib::find_P(out, "B5");
    ASSERT_NE(b5, nullptr);
    EXPECT_EQ(b5->kind, 3);
    EXPECT_EQ(b5->preset->transition->name, "E2");
    netlib::delete_net(out);
    netlib::delete_net(net);
}

namespace {

void expect_same_input(const InputNet& a, const InputNet& b) {
    EXPECT_EQ(a.place_names, b.place_names);
    EXPECT_EQ(a.place_kind, b.place_kind);
    EXPECT_EQ(a.place_comp, b.place_comp);
    EXPECT_EQ(a.marking, b.marking);
    EXPECT_EQ(a.trans_names, b.trans_names);
    EXPECT_EQ(a.pre, b.pre);
    EXPECT_EQ(a.post, b.post);
    EXPECT_EQ(a.place_post, b.place_post);
    EXPECT_EQ(a.components, b.components);
    EXPECT_EQ(a.pt_arcs, b.pt_arcs);
    EXPECT_EQ(a.tp_arcs, b.tp_arcs);
}

// The net taken straight from the lists of the file at `path` is the one
// its net record gives.
void expect_lists_give_record(const std::string& path) {
    std::unique_ptr<netlib::VosLists> lists = netlib::read_VOS_lists(path);
    ASSERT_TRUE(lists);
    InputNet direct;
    ASSERT_TRUE(input_from_lists(*lists, direct));
    netlib::NET* net = netlib::read_VOS(path);
    expect_same_input(direct, input_from_net(net));
    netlib::delete_net(net);
}

// A VOS net with names of several lengths (so that length order and file
// order differ), identifiers shuffled or left out, and arcs in any order.
std::string random_net(std::mt19937& rng) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const int places = 1 + pick(12), transitions = 1 + pick(10);
    const bool box = pick(4) == 0, with_ids = pick(3) != 0;
    std::vector<int> pid(places), tid(transitions);
    for (int i = 0; i < places; ++i) pid[i] = i + 1;
    for (int i = 0; i < transitions; ++i) tid[i] = i + 1;
    if (with_ids) {
        std::shuffle(pid.begin(), pid.end(), rng);
        std::shuffle(tid.begin(), tid.end(), rng);
    }
    static const char* const stems[] = {"a", "zz", "p", "fork", "philosopher_thinking_long_name", "q"};
    std::string text = box ? "VOS\nPetriBox\nFORMAT_N\nPL\n" : "VOS\nPlainNet\nFORMAT_N\nPL\n";
    for (int i = 0; i < places; ++i) {
        if (with_ids) text += std::to_string(pid[i]);
        if (with_ids && pick(5) == 0) text += " ";
        if (!with_ids || pick(6) != 0) {
            text += "\"" + std::string(stems[pick(6)]) + std::to_string(i) + "\"";
            if (pick(5) == 0) text += "7@3";
        }
        if (pick(3) == 0) text += "M1";
        if (pick(4) == 0) text += "C" + std::to_string(pick(4));
        if (box && pick(4) == 0) text += pick(2) ? "e" : "x";
        text += "\n";
    }
    text += "TR\n";
    for (int i = 0; i < transitions; ++i) {
        if (with_ids) text += std::to_string(tid[i]);
        if (!with_ids || pick(6) != 0) text += "\"" + std::string(stems[pick(6)]) + "t" + std::to_string(i) + "\"";
        text += "\n";
    }
    std::vector<std::string> tp, pt;
    for (int t = 0; t < transitions; ++t)
        for (int p = 0; p < places; ++p) {
            if (pick(4) == 0) tp.push_back(std::to_string(tid[t]) + "<" + std::to_string(pid[p]) + (pick(6) ? "" : " w1"));
            if (pick(4) == 0) pt.push_back(std::to_string(pid[p]) + ">" + std::to_string(tid[t]));
        }
    std::shuffle(tp.begin(), tp.end(), rng);
    std::shuffle(pt.begin(), pt.end(), rng);
    text += "TP\n";
    for (const std::string& a : tp) text += a + "\n";
    text += "PT\n";
    for (const std::string& a : pt) text += a + "\n";
    return text + "TX\n";
}

}  // namespace

// The net taken straight from a file's lists is the one the net record of
// the same file gives.
TEST(TrelmikNet, ListsGiveTheNetOfTheRecord) {
    std::mt19937 rng(36);
    TempDir dir;
    const std::string path = dir.file("n.ll_net");
    for (int round = 0; round < 300; ++round) {
        const std::string text = random_net(rng);
        SCOPED_TRACE(text);
        ASSERT_TRUE(testsupport::write_file(path, text));
        expect_lists_give_record(path);
    }
}

// A net large enough to be taken from its lists by two threads: the net of
// the net record all the same, and with an arc given twice the lists stay
// as they were read.
TEST(TrelmikNet, LargeListsGiveTheNetOfTheRecord) {
    std::mt19937 rng(65536);
    const int cycles = 20000;   // 2 places and 2 transitions each
    std::vector<int> pid(2 * cycles), tid(2 * cycles);
    for (int i = 0; i < 2 * cycles; ++i) pid[i] = tid[i] = i + 1;
    std::shuffle(pid.begin(), pid.end(), rng);
    std::shuffle(tid.begin(), tid.end(), rng);
    std::string text = "VOS\nPlainNet\nFORMAT_N\nPL\n";
    for (int i = 0; i < 2 * cycles; ++i)
        text += std::to_string(pid[i]) + (i % 2 ? "\"full" : "\"empty") + std::to_string(i / 2) + "\"" +
                (i % 2 ? "" : "M1") + "\n";
    text += "TR\n";
    for (int i = 0; i < 2 * cycles; ++i)
        text += std::to_string(tid[i]) + (i % 2 ? "\"take" : "\"put") + std::to_string(rng() % 1000000) + "_" +
                std::to_string(i) + "\"\n";
    text += "TP\n";
    for (int c = 0; c < cycles; ++c)
        text += std::to_string(tid[2 * c]) + "<" + std::to_string(pid[2 * c + 1]) + "\n" + std::to_string(tid[2 * c + 1]) +
                "<" + std::to_string(pid[2 * c]) + "\n";
    text += "PT\n";
    for (int c = 0; c < cycles; ++c)
        text += std::to_string(pid[2 * c]) + ">" + std::to_string(tid[2 * c]) + "\n" + std::to_string(pid[2 * c + 1]) +
                ">" + std::to_string(tid[2 * c + 1]) + "\n";
    TempDir dir;
    const std::string path = dir.file("n.ll_net");
    ASSERT_TRUE(testsupport::write_file(path, text + "TX\n"));
    expect_lists_give_record(path);

    ASSERT_TRUE(testsupport::write_file(path, text + std::to_string(pid[0]) + ">" + std::to_string(tid[0]) + "\nTX\n"));
    std::unique_ptr<netlib::VosLists> lists = netlib::read_VOS_lists(path);
    ASSERT_TRUE(lists);
    const netlib::NameTable places = lists->place_names, transitions = lists->transition_names;
    InputNet in;
    EXPECT_FALSE(input_from_lists(*lists, in));
    EXPECT_EQ(lists->place_names, places);
    EXPECT_EQ(lists->transition_names, transitions);
}

// Files whose rules only the net record applies: the lists stay as they
// were read, and their net record is the one the file gives.
TEST(TrelmikNet, ListsLeaveRecordRulesToTheRecord) {
    const std::string pl = "VOS\nPlainNet\nFORMAT_N\nPL\n1\"p\"M1\n2\"q\"\nTR\n1\"t\"\n2\"u\"\n";
    struct Case {
        const char* name;
        std::string text;
        bool block = false;
        bool labels = false;
    };
    const std::vector<Case> cases = {
        {"name twice", "VOS\nPlainNet\nFORMAT_N\nPL\n1\"p\"M1\n2\"p\"\nTR\n1\"t\"\nTP\n1<2\nPT\n1>1\n"},
        {"weight 2", pl + "TP\n1<2w2\n2<1\nPT\n1>1\n2>2\n"},
        {"weight 0", pl + "TP\n1<2w0\n2<1\nPT\n1>1\n2>2\n"},
        {"arc twice", pl + "TP\n1<2\n2<1\nPT\n1>1\n2>2\n1>1\n"},
        {"block mode", pl + "TP\n1<2\n2<1\nPT\n1>1\n2>2\n", true},
        {"labels", "VOS\nPlainNet\nFORMAT_N\nPL\n1\"p\"M1b\"l\"\nTR\n1\"t\"\nTP\n1<1\nPT\n1>1\n", false, true},
    };
    TempDir dir;
    const std::string path = dir.file("n.ll_net");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(testsupport::write_file(path, c.text));
        netlib::vos_options.allow_block_mode = c.block;
        netlib::collect_labels = c.labels;
        std::unique_ptr<netlib::VosLists> lists = netlib::read_VOS_lists(path);
        ASSERT_TRUE(lists);
        const netlib::NameTable names = lists->place_names;
        InputNet in;
        EXPECT_FALSE(input_from_lists(*lists, in));
        EXPECT_EQ(lists->place_names, names);
        netlib::NET* from_lists = netlib::net_from_lists(*lists);
        netlib::free_label_list(netlib::place_labels);
        netlib::vos_options.allow_block_mode = c.block;
        netlib::NET* direct = netlib::read_VOS(path);
        expect_same_input(input_from_net(from_lists), input_from_net(direct));
        netlib::delete_net(from_lists);
        netlib::delete_net(direct);
        netlib::free_label_list(netlib::place_labels);
        netlib::collect_labels = false;
        netlib::vos_options.allow_block_mode = false;
    }
}
