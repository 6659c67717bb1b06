// The net record: name order, look-ups, inserts, deletes, markings.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <new>
#include <random>

#include "net.h"
#include "test_util.h"
#include "vos.h"

using namespace netlib;

namespace {

struct NetPtr {
    NET* net = new_net();
    ~NetPtr() { delete_net(net); }
    NET* operator->() const { return net; }
    operator NET*() const { return net; }
};

// Checks the links of both lists and of every arc list, the counts, and that
// arc lists are sorted by the name of the other end.
void expect_consistent(NET* net) {
    for (bool transitions : {false, true}) {
        NET_NODE* head = transitions ? net->first_transition : net->first_place;
        NET_NODE* tail = transitions ? net->last_transition : net->last_place;
        std::uint32_t count = 0;
        NET_NODE* prev = nullptr;
        for (NET_NODE* n = head; n; n = n->next) {
            ASSERT_EQ(n->prev, prev);
            prev = n;
            ++count;
            for (bool pre : {false, true}) {
                NET_ARC* a = pre ? n->preset : n->postset;
                NET_ARC* before = nullptr;
                bool place_side = !transitions;
                for (; a; a = place_side ? a->p_next : a->t_next) {
                    ASSERT_EQ(place_side ? a->p_prev : a->t_prev, before);
                    ASSERT_EQ(place_side ? a->place : a->transition, n);
                    if (before) {
                        const std::string& x = place_side ? before->transition->name : before->place->name;
                        const std::string& y = place_side ? a->transition->name : a->place->name;
                        EXPECT_FALSE(name_less(y, x)) << x << " before " << y;
                    }
                    before = a;
                }
            }
        }
        EXPECT_EQ(prev, tail);
        EXPECT_EQ(count, transitions ? net->transitions : net->places);
    }
}

std::vector<std::string> chain(const NameList& list) {
    std::vector<std::string> out;
    for (const NameCell* c = list.get(); c; c = c->next.get()) out.push_back(c->name);
    return out;
}

}  // namespace

TEST(NameOrder, LengthFirstAndLexical) {
    {
        NetPtr net;
        for (const char* n : {"P10", "P9", "P1"}) insert_place(net, n, 0);
        EXPECT_EQ(nettest::place_names(net), "P1 P9 P10");
    }
    use_lexical_order();
    {
        NetPtr net;
        for (const char* n : {"P10", "P9", "P1"}) insert_place(net, n, 0);
        EXPECT_EQ(nettest::place_names(net), "P1 P10 P9");
    }
    use_length_order();
}

TEST(NameOrder, OnlyTheFirst200CharactersCount) {
    std::string a(200, 'a'), b(200, 'a');
    a += "x";
    b += "y";
    EXPECT_TRUE(name_equal(a, b));
    NetPtr net;
    NET_NODE* first = insert_place(net, a, 1);
    testing::internal::CaptureStderr();
    NET_NODE* second = insert_place(net, b, 2);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("already exists"), std::string::npos);
    EXPECT_EQ(first, second);
    EXPECT_EQ(net->places, 1u);
    EXPECT_EQ(find_P(net, b), first);
}

TEST(NameOrder, LongNamesOfDifferentLengthStayApart) {
    // Same first 200 characters, different lengths: two names in length
    // order, and search agrees with insert.
    std::string a(200, 'a'), b(205, 'a');
    EXPECT_FALSE(name_equal(a, b));
    NetPtr net;
    NET_NODE* pa = insert_place(net, a, 0);
    NET_NODE* pb = insert_place(net, b, 0);
    EXPECT_NE(pa, pb);
    EXPECT_EQ(find_P(net, a), pa);
    EXPECT_EQ(find_P(net, b), pb);
    EXPECT_EQ(delete_place(net, b), 1);
    EXPECT_EQ(find_P(net, a), pa);
    EXPECT_EQ(net->places, 1u);
}

TEST(NameOrder, LargeListsSortAsTheComparisonDoes) {
    // Enough names for the bulk sort: numbered names of many lengths, names
    // sharing their first sixteen bytes, names past 200 bytes, zero bytes,
    // high bytes and repeats.  Equal names keep the order given.
    std::mt19937 rng(7);
    std::vector<std::string> names;
    const std::string long_head(200, 'q');
    for (int k = 0; k < 6000; ++k) {
        switch (rng() % 6) {
        case 0: names.push_back("p" + std::to_string(rng() % 3000)); break;
        case 1: names.push_back("sixteen_bytes_ab" + std::to_string(rng() % 50)); break;
        case 2: names.push_back(long_head + std::string(rng() % 3, 'z') + std::to_string(rng() % 5)); break;
        case 3: names.push_back(std::string("n\0", 2) + std::string(rng() % 3, '\0')); break;
        case 4: names.push_back(std::string(1 + rng() % 20, static_cast<char>(0x80 + rng() % 100))); break;
        default: names.push_back(std::string(rng() % 18, 'a' + static_cast<char>(rng() % 3))); break;
        }
    }
    for (bool lexical : {false, true}) {
        if (lexical) use_lexical_order();
        std::vector<std::size_t> want(names.size());
        for (std::size_t k = 0; k < want.size(); ++k) want[k] = k;
        std::stable_sort(want.begin(), want.end(),
                         [&](std::size_t a, std::size_t b) { return name_less(names[a], names[b]); });
        EXPECT_EQ(name_order(NameTable(names)), want) << (lexical ? "lexical" : "length first");
    }
    use_length_order();
}

TEST(NameOrder, ListsGivenInRunsSortAsTheComparisonDoes) {
    // Nodes of a few kinds numbered in sequence, given kind by kind or in
    // turn: runs in order that lie apart, runs that overlap, equal names in
    // two runs, more runs than are joined, and one name far longer than the
    // rest (the lengths then go into the sort keys).
    auto numbered = [](std::vector<std::string> stems, int from, int to, bool in_turn) {
        std::vector<std::string> names;
        if (in_turn) {
            for (int i = from; i < to; ++i)
                for (const std::string& s : stems) names.push_back(s + std::to_string(i));
        } else {
            for (const std::string& s : stems)
                for (int i = from; i < to; ++i) names.push_back(s + std::to_string(i));
        }
        return names;
    };
    std::vector<std::string> many_stems;
    for (char c = 'a'; c <= 'z'; ++c) many_stems.push_back(std::string(1, c)), many_stems.push_back(std::string(2, c));
    struct Case {
        const char* what;
        std::vector<std::string> names;
    };
    std::vector<Case> cases = {
        {"kinds in turn", numbered({"think", "hasleft", "eat", "fork"}, 0, 3000, true)},
        {"kinds one after another, backwards", numbered({"z", "m", "a"}, 0, 2000, false)},
        {"runs that overlap", numbered({"p1", "p"}, 0, 1500, false)},
        {"equal names in two runs", numbered({"b", "a", "b"}, 0, 500, false)},
        {"more runs than are joined", numbered(many_stems, 0, 100, true)},
        {"one very long name", numbered({"t", "s"}, 0, 800, true)},
        {"one name", {"only"}},
        {"none", {}},
    };
    cases[5].names.push_back(std::string(100000, 'L'));
    for (const Case& c : cases)
        for (bool lexical : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (lexical ? ", lexical" : ", length first"));
            if (lexical) use_lexical_order();
            std::vector<std::size_t> want(c.names.size());
            for (std::size_t k = 0; k < want.size(); ++k) want[k] = k;
            std::stable_sort(want.begin(), want.end(),
                             [&](std::size_t a, std::size_t b) { return name_less(c.names[a], c.names[b]); });
            EXPECT_EQ(name_order(NameTable(c.names)), want);
            use_length_order();
        }
}

TEST(NetRecord, FindsAndQueries) {
    NetPtr net;
    insert_place(net, "p", 2);
    insert_place(net, "q", 0);
    insert_transition(net, "t");
    insert_transition(net, "u");
    insert_PT_con(net, "p", "t", 2);
    insert_PT_con(net, "q", "t", 1);
    insert_TP_con(net, "q", "u", 3);
    insert_PTP_con(net, "p", "u", 1, 1);
    expect_consistent(net);
    EXPECT_EQ(PT_connection(net, "p", "t"), 2);
    EXPECT_EQ(TP_connection(net, "q", "u"), 3);
    EXPECT_EQ(TP_connection(net, "q", "t"), 0);
    EXPECT_EQ(trans_predecessor_number(net, "t"), 3);
    EXPECT_EQ(trans_successor_number(net, "u"), 4);
    EXPECT_EQ(chain(trans_predecessor_list(net, "t")), (std::vector<std::string>{"p", "p", "q"}));
    EXPECT_EQ(chain(place_successor_list(net, "p")), (std::vector<std::string>{"t", "t", "u"}));
    EXPECT_EQ(marking(net, "p"), 2);
    EXPECT_EQ(row_index(net, "q"), 2u);
    EXPECT_EQ(column_index(net, "u"), 2u);
    EXPECT_FALSE(name_unused(net, "u"));
    EXPECT_TRUE(name_unused(net, "v"));
    EXPECT_EQ(max_placename_length(net), 1u);
    // next_PT_connection walks all place->transition arcs place by place.
    int arcs = 0;
    for (NET_ARC* a = next_PT_connection(net, nullptr); a; a = next_PT_connection(net, a)) ++arcs;
    EXPECT_EQ(arcs, 3);
    testing::internal::CaptureStderr();
    EXPECT_EQ(find_PT_connection(net, "nope", "t"), nullptr);
    EXPECT_EQ(find_P(nullptr, "p"), nullptr);
    EXPECT_EQ(PT_connection(net, "", "t"), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("WARNING: NN.find_PT_connection(): place 'nope' does not exist.\n"), std::string::npos);
    EXPECT_NE(err.find("WARNING: NN.find_P(): not a net.\n"), std::string::npos);
    EXPECT_NE(err.find("WARNING: NN.PT_connection(): not a net or no P/T name.\n"), std::string::npos);
}

TEST(NetRecord, ArcWeightsReplaceAndRemove) {
    NetPtr net;
    insert_place(net, "p", 0);
    insert_transition(net, "t");
    ArcCursors cur;
    NET_ARC* a = fast_insert_PT_con(net, "p", "t", 2, cur);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(cur.arc, a);
    EXPECT_EQ(fast_insert_PT_con(net, "p", "t", 5, cur), a);
    EXPECT_EQ(a->weight, 5);
    EXPECT_EQ(fast_insert_PT_con(net, "p", "t", 0, cur), nullptr);
    EXPECT_EQ(PT_connection(net, "p", "t"), 0);
    // A new arc of weight 0 is not made, by any insert.
    EXPECT_EQ(fast_insert_TP_con(net, "p", "t", 0, cur), nullptr);
    EXPECT_EQ(insert_TP_con(net, "p", "t", 0), nullptr);
    EXPECT_EQ(net->first_place->preset, nullptr);
    EXPECT_EQ(net->first_place->postset, nullptr);
    expect_consistent(net);
}

TEST(NetRecord, DeleteConnectionLowersTheOppositeArc) {
    NetPtr net;
    insert_place(net, "p", 0);
    insert_transition(net, "t");
    insert_TP_con(net, "p", "t", 3);
    insert_PT_con(net, "p", "t", 1);
    EXPECT_EQ(delete_P_to_T_connection(net, "p", "t"), 1);
    EXPECT_EQ(TP_connection(net, "p", "t"), 2);
    EXPECT_EQ(delete_T_to_P_connection(net, "p", "t"), 1);
    EXPECT_EQ(PT_connection(net, "p", "t"), 0);
    EXPECT_EQ(net->first_transition->preset, nullptr);
    expect_consistent(net);
}

TEST(NetRecord, DeletesKeepListsAndIndexRight) {
    NetPtr net;
    for (int k = 0; k < 50; ++k) insert_place(net, "p" + std::to_string(k), k);
    for (int k = 0; k < 20; ++k) insert_transition(net, "t" + std::to_string(k));
    for (int k = 0; k < 50; ++k) {
        insert_PT_con(net, "p" + std::to_string(k), "t" + std::to_string(k % 20), 1);
        insert_TP_con(net, "p" + std::to_string(k), "t" + std::to_string((k + 3) % 20), 2);
    }
    expect_consistent(net);
    // Delete every other place while walking.
    int k = 0;
    for (NET_NODE* p = net->first_place; p;) p = (k++ % 2) ? delete_place_node(net, p) : p->next;
    EXPECT_EQ(net->places, 25u);
    EXPECT_EQ(delete_transition(net, "t3"), 1);
    expect_consistent(net);
    EXPECT_EQ(find_T(net, "t3"), nullptr);
    for (NET_NODE* p = net->first_place; p; p = p->next) EXPECT_EQ(find_P(net, p->name), p);
    testing::internal::CaptureStderr();
    EXPECT_EQ(delete_place(net, "absent"), 1);
    EXPECT_EQ(delete_place(net, ""), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("WARNING: NN.delete_place(): place 'absent' does not exist.\n"), std::string::npos);
    EXPECT_NE(err.find("WARNING: NN.delete_place(): not a net or no place.\n"), std::string::npos);
}

TEST(NetRecord, NumbersAndOutOfRangeIdentifiers) {
    NetPtr net;
    for (const char* n : {"c", "a", "b"}) insert_place(net, n, 0);
    insert_transition(net, "t");
    renumber(net);
    EXPECT_EQ(find_P_num(net, 2)->name, "b");
    NET_NODE* cursor = nullptr;
    EXPECT_EQ(fast_find_P_num(net, 3, cursor)->name, "c");
    EXPECT_EQ(cursor->name, "c");
    testing::internal::CaptureStderr();
    EXPECT_EQ(find_P_num(net, 0), nullptr);
    EXPECT_EQ(find_P_num(net, 4), nullptr);
    EXPECT_EQ(find_P_num(net, UINT32_MAX), nullptr);
    ArcCursors cur;
    EXPECT_EQ(fast_insert_PT_num(net, 7, 1, 1, cur), nullptr);
    EXPECT_EQ(fast_insert_TP_num(net, 1, 0, 1, cur), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("WARNING: NN.find_P_num(): a place numbered 4 does not exist\n"), std::string::npos);
    EXPECT_NE(err.find("WARNING: NN.fast_insert_PT_num(): place identifier '7' does not exist.\n"), std::string::npos);
    EXPECT_NE(err.find("WARNING: NN.fast_insert_TP_num(): transition identifier '0' does not exist.\n"),
              std::string::npos);
    EXPECT_NE(fast_insert_PT_num(net, 3, 1, 1, cur), nullptr);
    EXPECT_EQ(PT_connection(net, "c", "t"), 1);
    // Numbers set directly by a reader are found too.
    net->first_place->number = 40;
    EXPECT_EQ(find_P_num(net, 40), net->first_place);
}

TEST(NetRecord, AppendsRenamesAndLinks) {
    NetPtr input;
    NET_NODE* label = insert_place(input, "p", 1);
    NetPtr prefix;
    std::vector<NET_NODE*> conds;
    for (int k = 0; k < 1000; ++k) {
        NET_NODE* c = append_place(prefix, "", 0);
        c->link = label;   // not owned by the prefix
        conds.push_back(c);
    }
    NET_NODE* e = append_transition(prefix, "");
    for (int k = 0; k < 3; ++k) append_PT_arc(prefix, conds[k], e, 1);
    for (int k = 3; k < 5; ++k) append_TP_arc(prefix, e, conds[k], 1);
    EXPECT_EQ(append_PT_arc(prefix, conds[9], e, 0), nullptr);
    EXPECT_EQ(conds[999]->number, 1000u);
    // Creation order is kept, arcs in append order.
    EXPECT_EQ(e->preset->place, conds[0]);
    EXPECT_EQ(e->preset->t_next->t_next->place, conds[2]);
    for (NET_NODE* c = prefix->first_place; c; c = c->next) rename_node(prefix, c, "B" + std::to_string(c->number));
    rename_node(prefix, e, "E1");
    EXPECT_EQ(find_P(prefix, "B500"), conds[499]);
    EXPECT_EQ(find_T(prefix, "E1"), e);
    EXPECT_EQ(find_P_num(prefix, 731), conds[730]);
    EXPECT_EQ(delete_place(prefix, "B2"), 1);
    EXPECT_EQ(find_P(prefix, "B3"), conds[2]);
    EXPECT_EQ(trans_predecessor_number(prefix, "E1"), 2);
    // The labelled node of the input net survives the prefix.
    delete_net(prefix.net);
    EXPECT_EQ(find_P(input, "p"), label);
}

TEST(NetRecord, DuplicateNamesInFileOrderLists) {
    // Lists in creation order may hold a name twice: look-ups find the
    // first, and after deleting it the second.
    NetPtr net;
    NET_NODE* a = append_place(net, "x", 0);
    append_place(net, "y", 0);
    NET_NODE* b = append_place(net, "x", 0);
    EXPECT_EQ(find_P(net, "x"), a);
    EXPECT_EQ(delete_place_node(net, a), net->first_place);
    EXPECT_EQ(find_P(net, "x"), b);
    EXPECT_EQ(delete_place(net, "x"), 1);
    EXPECT_EQ(nettest::place_names(net), "y");
}

TEST(NetRecord, BlockNodesAreReleasedWithTheNet) {
    NetPtr net;
    std::vector<NET_NODE*> ps = append_place_block(net, {"c", "a", "b"});
    std::vector<NET_NODE*> ts = append_transition_block(net, {"t2", "t1"});
    EXPECT_EQ(net->flags & NET_BLOCK_ALLOCATED, NET_BLOCK_ALLOCATED);
    EXPECT_EQ(nettest::place_names(net), "c a b");
    EXPECT_EQ(ps[1]->number, 2u);
    ps[0]->extras.reset(new NodeExtras);
    ps[0]->extras->label = "owned by the node";
    insert_PT_con(net, "a", "t1", 1);
    insert_PT_con(net, "a", "t2", 1);
    // A node inserted later is not part of a block and is freed alone.
    insert_place(net, "d", 0);
    insert_PT_con(net, "d", "t1", 1);
    expect_consistent(net);
    EXPECT_EQ(delete_place(net, "c"), 1);
    EXPECT_EQ(delete_place(net, "d"), 1);
    EXPECT_EQ(find_P(net, "a"), ps[1]);
    EXPECT_EQ(find_P(net, "b"), ps[2]);
    EXPECT_EQ(delete_transition_node(net, ts[0]), ts[1]);
    EXPECT_EQ(place_successor_number(net, "a"), 1);
    expect_consistent(net);
}

TEST(NetRecord, FastInsertsFollowTheDuplicatePolicy) {
    NetPtr net;
    NET_NODE* cursor = nullptr;
    NET_NODE* p = fast_insert_place(net, "p", 1, cursor);
    EXPECT_EQ(cursor, p);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fast_insert_place(net, "p", 5, cursor), p);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: place 'p' already exists.\n");
    EXPECT_EQ(p->marking, 1);
    duplicate_policy = 0;
    testing::internal::CaptureStderr();
    fast_insert_transition(net, "t", cursor);
    fast_insert_transition(net, "t", cursor);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    duplicate_policy = 2;
}

TEST(NetRecordDeathTest, DuplicatePolicyOneEndsTheProgram) {
    EXPECT_EXIT(
        {
            duplicate_policy = 1;
            NET* net = new_net();
            NET_NODE* cursor = nullptr;
            fast_insert_transition(net, "t", cursor);
            fast_insert_transition(net, "t", cursor);
        },
        testing::ExitedWithCode(1), nettest::literal("ERROR: transition 't' already exists.\n"));
    EXPECT_EXIT(
        {
            duplicate_policy = 1;
            NET* net = new_net();
            fast_insert_places(net, {"a", "b", "a"});
        },
        testing::ExitedWithCode(1), nettest::literal("ERROR: place 'a' already exists.\n"));
}

TEST(NetRecord, BulkInsertsMatchOneByOne) {
    std::vector<std::string> names;
    std::mt19937 rng(7);
    for (int k = 0; k < 300; ++k) names.push_back("n" + std::to_string(rng() % 200));
    NetPtr one, bulk;
    NET_NODE* cursor = nullptr;
    duplicate_policy = 0;
    for (const std::string& n : names) fast_insert_place(one, n, 0, cursor);
    std::vector<NET_NODE*> nodes = fast_insert_places(bulk, NameTable(names));
    duplicate_policy = 2;
    EXPECT_EQ(nettest::place_names(one), nettest::place_names(bulk));
    for (std::size_t k = 0; k < names.size(); ++k) EXPECT_EQ(nodes[k]->name, names[k]);
    expect_consistent(bulk);
}

TEST(NetRecord, BulkArcsMatchOneByOne) {
    NetPtr one, bulk;
    std::mt19937 rng(3);
    for (NET* n : {one.net, bulk.net}) {
        for (int k = 0; k < 30; ++k) insert_place(n, "p" + std::to_string(k), 0);
        for (int k = 0; k < 30; ++k) insert_transition(n, "t" + std::to_string(k));
    }
    std::vector<NewArc> arcs;
    ArcCursors cur;
    for (int k = 0; k < 400; ++k) {
        std::string p = "p" + std::to_string(rng() % 30), t = "t" + std::to_string(rng() % 30);
        int w = static_cast<int>(rng() % 4);
        bool pt = rng() % 2;
        if (pt) fast_insert_PT_con(one, p, t, w, cur);
        else fast_insert_TP_con(one, p, t, w, cur);
        NewArc a;
        a.place = find_P(bulk, p);
        a.transition = find_T(bulk, t);
        a.place_to_transition = pt;
        a.weight = w;
        arcs.push_back(std::move(a));
        if (k == 200) {   // into lists that hold arcs already
            insert_arcs(bulk, arcs);
            arcs.clear();
        }
    }
    insert_arcs(bulk, arcs);
    EXPECT_EQ(nettest::describe(one), nettest::describe(bulk));
    expect_consistent(bulk);
}

TEST(Markings, CopyChangeAndShow) {
    NetPtr net;
    insert_place(net, "a", 1);
    insert_place(net, "b", 0);
    NameList m = copy_start_marking(net);
    ASSERT_EQ(chain_length(m), 2u);
    m->tokens = 7;
    EXPECT_EQ(change_start_marking(net, m), 1);
    EXPECT_EQ(marking(net, "a"), 7);
    testing::internal::CaptureStdout();
    show_marking(m);
    print_name_list(m);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "(7, 0)\n{a, b}\n");
    // One cell short: nothing changes.
    m->next.reset();
    m->tokens = 9;
    testing::internal::CaptureStderr();
    EXPECT_EQ(change_start_marking(net, m), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: NN.change_start_marking(): marking list does not fit to the number of places.\n");
    EXPECT_EQ(marking(net, "a"), 7);
    EXPECT_EQ(change_place_marking(net, "b", 3), 1);
    EXPECT_EQ(marking(net, "b"), 3);
    free_chain(m);
    EXPECT_EQ(m, nullptr);
}

TEST(Markings, LongNamesAndFailedChanges) {
    // Two names of 250 and 230 characters that agree in their first 200,
    // and a short one: the copied list sets each of them back.
    NetPtr net;
    const std::string common(200, 'p');
    insert_place(net, common + std::string(50, 'x'), 1);
    insert_place(net, common + std::string(30, 'y'), 2);
    insert_place(net, "s", 3);
    NameList m = copy_start_marking(net);
    ASSERT_EQ(chain_length(m), 3u);
    std::vector<std::int32_t> want;
    int k = 10;
    for (NameCell* c = m.get(); c; c = c->next.get()) want.push_back(c->tokens = ++k);
    EXPECT_EQ(change_start_marking(net, m), 1);
    std::vector<std::int32_t> got;
    for (NET_NODE* p = net->first_place; p; p = p->next) got.push_back(p->marking);
    EXPECT_EQ(got, want);
    // A cell naming no place: a warning, and no marking changes.
    m->next->next->name = "t";
    for (NameCell* c = m.get(); c; c = c->next.get()) c->tokens = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(change_start_marking(net, m), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: NN.change_start_marking(): number of marks of place 't' has not been changed.\n");
    got.clear();
    for (NET_NODE* p = net->first_place; p; p = p->next) got.push_back(p->marking);
    EXPECT_EQ(got, want);
}

TEST(Markings, LongChainsAreFreedWithoutRecursion) {
    NetPtr net;
    for (int k = 0; k < 200000; ++k) append_place(net, "p", 0);
    NameList m = copy_start_marking(net);
    EXPECT_EQ(chain_length(m), 200000u);
}

TEST(AllocationDeathTest, FailedOperatorNewEndsWithCodeThree) {
    // The handler runs where operator new finds no memory.
    auto fail = [](const char* routine) {
        if (routine) install_memory_handler(routine);
        else install_memory_handler();
        std::get_new_handler()();
    };
    EXPECT_EXIT(fail(nullptr), testing::ExitedWithCode(3), nettest::literal("ERROR: NN.Malloc(): memory overflow (size=0).\n"));
    EXPECT_EXIT(fail("trelmik"), testing::ExitedWithCode(3), nettest::literal("ERROR: NN.trelmik(): memory overflow (size=0).\n"));
}

TEST(AllocationDeathTest, ExhaustedMemoryEndsWithCodeThree) {
    const std::size_t huge = SIZE_MAX / 2;
    EXPECT_EXIT(Malloc(huge), testing::ExitedWithCode(3),
                nettest::literal("ERROR: NN.Malloc(): memory overflow (size=" + std::to_string(huge) + ").\n"));
    EXPECT_EXIT(Calloc(SIZE_MAX / 4, 4), testing::ExitedWithCode(3), "ERROR: NN.Calloc\\(\\): memory overflow");
    EXPECT_EXIT(Realloc(nullptr, huge), testing::ExitedWithCode(3), "ERROR: NN.Realloc\\(\\): memory overflow");
}

TEST(Allocation, FreshMemoryIsZero) {
    auto* p = static_cast<unsigned char*>(Malloc(64));
    EXPECT_TRUE(std::all_of(p, p + 64, [](unsigned char c) { return c == 0; }));
    p = static_cast<unsigned char*>(Realloc(p, 128));
    Free(p);
    char* s = Strdup("net");
    EXPECT_STREQ(s, "net");
    Free(s);
}
