// The net record on both sides of the unfolder: the input net turned into
// number-indexed arrays, and the prefix turned back into a net record.
#include <gtest/gtest.h>

#include "net.h"
#include "trelmik.h"
#include "unfold.h"

using namespace trelmik;

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
    EXPECT_EQ(in.place_names, (std::vector<std::string>{"busy", "free", "held", "idle"}));
    EXPECT_EQ(in.trans_names, (std::vector<std::string>{"give", "take"}));
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
