// The VOS net format: reading, writing, round trips and every error.
// A written file takes its name at outfile::commit(), as at the end of a
// program's successful run; the tests commit before they read it back.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "net.h"
#include "outfile.h"
#include "petri_test.h"
#include "scanner.h"
#include "test_util.h"
#include "vos.h"

using namespace netlib;
using testsupport::TempDir;

namespace {

// Restores the reader settings a test changed.
struct Options {
    VosOptions saved = vos_options;
    ~Options() { vos_options = saved; }
};

struct Read {
    NET* net;
    explicit Read(NET* n) : net(n) {}
    ~Read() { delete_net(net); }
    NET* operator->() const { return net; }
    operator NET*() const { return net; }
};

const char kHeader[] = "VOS\nPlainNet\nFORMAT_N\n";

NET* read_text(const TempDir& dir, const std::string& text, const std::string& name = "n.ll_net") {
    testsupport::write_file(dir.file(name), text);
    return read_VOS(dir.file(name));
}

}  // namespace

TEST(VosReader, PlainNetWithIdentifiersAndFields) {
    TempDir dir;
    Read net(read_text(dir, std::string("VOS\nPlainNet\nFORMAT_N2\nDPL s7n10@-9t2\nDTR s7n10@-9t2\nDPT w1t1\n") +
                                "PL\n"
                                "% a comment line\n"
                                "2\"b\"10@-20M3 k1 v2 c0 s1 t2 A1@2 B3@4 N5@6 a7@8 n9@10 u\"blk\"\n"
                                "1'a\"q'M1m2C4b\"lab\"R\"ref\"T\"txt\" % trailing comment\n"
                                "TR\n"
                                "1\"t\"i\"act\"g\"guard\"r S A1@1 H1@1 h2@2 j3@3 N1@1 a1@1 n1@1 c1 s1 t1 v1 P\"x\"\n"
                                "TP\n"
                                "1<2w2p\"ins\"v7 ,1@2 J1@2 N1@1 Q1@1 n1@1 q1@1 c1 t1\n"
                                "\n"
                                "PT\n"
                                "1>1\n"
                                "2>1 w0\n"
                                "TX\n"
                                "\"some text\" N1@2\n"));
    EXPECT_EQ(net->identifier, "PlainNet");
    EXPECT_EQ(nettest::place_names(net), "b a\"q");
    NET_NODE* a = find_P(net, "a\"q");
    NET_NODE* b = find_P(net, "b");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->marking, 1);
    EXPECT_EQ(b->marking, 3);
    EXPECT_EQ(a->aux, 4u);
    EXPECT_EQ(net->components, 4u);
    EXPECT_EQ(a->extras, nullptr);   // not kept unless asked
    EXPECT_EQ(TP_connection(net, "b", "t"), 2);
    EXPECT_EQ(PT_connection(net, "a\"q", "t"), 1);
    EXPECT_EQ(PT_connection(net, "b", "t"), 0);   // weight 0 makes no arc
    EXPECT_EQ(a->number, 2u);
}

TEST(VosReader, SparseIdentifiersAndWindowsLineEnds) {
    TempDir dir;
    Read net(read_text(dir, "VOS\r\nPlainNet\r\nFORMAT_N\r\nPL\r\n1000000000\"a\"M1\r\n5\"b\"\r\nTR\r\n"
                            "2000000000\"t\"\r\nTP\r\n2000000000<5\r\nPT\r\n1000000000>2000000000 w2\r\nTX\r\n"));
    EXPECT_EQ(nettest::place_names(net), "a b");
    EXPECT_EQ(TP_connection(net, "b", "t"), 1);
    EXPECT_EQ(PT_connection(net, "a", "t"), 2);
    EXPECT_EQ(marking(net, "a"), 1);
}

TEST(VosReader, PositionsAndDefaultNames) {
    TempDir dir;
    // An empty line in a section without identifiers is a place of its own.
    Read net(read_text(dir, std::string(kHeader) + "PL\n\"x\"\n\n\"z\"M1\nTR\n\nTP\n1<2\nPT\n3>1\n"));
    EXPECT_EQ(nettest::place_names(net), "x z PL2");
    EXPECT_EQ(nettest::transition_names(net), "TR1");
    EXPECT_EQ(TP_connection(net, "PL2", "TR1"), 1);
    EXPECT_EQ(PT_connection(net, "z", "TR1"), 1);
}

TEST(VosReader, NumbersBeforeCoordinatesAreNoIdentifiers) {
    TempDir dir;
    // "23@87" gives coordinates only: the entry takes its position as its
    // identifier, though its line starts like a plain "<id>\"name\"" entry.
    Read net(read_text(dir, std::string(kHeader) +
                                "PL\n1\"a\"M1\n23@87\n3\"c\"7@1\nTR\n1\"t\"\n42@0\nTP\n1<2\n2<3\nPT\n1>1\n3>2\n"));
    EXPECT_EQ(nettest::place_names(net), "a c PL2");
    EXPECT_EQ(nettest::transition_names(net), "t TR2");
    EXPECT_EQ(TP_connection(net, "PL2", "t"), 1);
    EXPECT_EQ(TP_connection(net, "c", "TR2"), 1);
    EXPECT_EQ(PT_connection(net, "c", "TR2"), 1);
}

TEST(VosReader, ListsGiveTheNetRecord) {
    TempDir dir;
    const std::string text = std::string(kHeader) +
                             "PL\n1\"b\"M1C2\n2\"a\"\n3\"b\"M1\nTR\n1\"u\"\n2\"t\"\nTP\n1<2w3\n2<1\nPT\n1>1\n3>2\n2>2w0\n";
    testsupport::write_file(dir.file("n.ll_net"), text);
    std::unique_ptr<VosLists> lists = read_VOS_lists(dir.file("n.ll_net"));
    ASSERT_TRUE(lists);
    // File order, the name given twice twice, arcs as written.
    EXPECT_EQ(lists->place_names.strings(), (std::vector<std::string>{"b", "a", "b"}));
    EXPECT_EQ(lists->transition_names.strings(), (std::vector<std::string>{"u", "t"}));
    ASSERT_EQ(lists->arcs.size(), 5u);
    EXPECT_EQ(lists->arcs[0].transition, 0u);
    EXPECT_EQ(lists->arcs[0].place, 1u);
    EXPECT_EQ(lists->arcs[0].weight, 3);
    EXPECT_FALSE(lists->arcs[0].place_to_transition);
    EXPECT_TRUE(lists->arcs[4].place_to_transition);
    EXPECT_EQ(lists->arcs[4].weight, 0);
    EXPECT_EQ(lists->places[0].component, 2u);
    Read from_lists(net_from_lists(*lists));
    Read direct(read_text(dir, text, "m.ll_net"));
    EXPECT_EQ(nettest::describe(from_lists), nettest::describe(direct));
    // The older format has no lists.
    testsupport::write_file(dir.file("a.ll_net"), "VOS\nPlainNet\nFORMAT_A\n");
    EXPECT_FALSE(read_VOS_lists(dir.file("a.ll_net")));
}

TEST(VosReader, PetriBoxEntryAndExitPlaces) {
    TempDir dir;
    const std::string body = "PL\n\"in\"e\n\"out\"x M1\n\"hl\"M1Z\"type\"\n\"mixed\"Z\"t\"M1\n\"cur\"M1m0\nTR\n\"t\"\nTP\nPT\n";
    {
        Read net(read_text(dir, "VOS\nPetriBox\nFORMAT_N\n" + body));
        EXPECT_EQ(find_P(net, "in")->marking, 1);   // entry place without M starts marked
        EXPECT_EQ(find_P(net, "in")->kind, 1);
        EXPECT_EQ(find_P(net, "out")->kind, 2);
        EXPECT_EQ(find_P(net, "hl")->marking, 0);   // a high-level field discards the marking before it
        EXPECT_EQ(find_P(net, "mixed")->marking, 1);
        EXPECT_EQ(find_P(net, "cur")->marking, 1);
    }
    {
        Options keep;
        vos_options.use_current_marking = true;
        Read net(read_text(dir, "VOS\nPetriBox\nFORMAT_N\n" + body));
        EXPECT_EQ(find_P(net, "in")->marking, 0);
        EXPECT_EQ(find_P(net, "cur")->marking, 0);
    }
    {
        Read net(read_text(dir, "VOS\nPlainNet\nFORMAT_N\n" + body));
        EXPECT_EQ(find_P(net, "in")->kind, 0);   // kinds belong to box nets
        EXPECT_EQ(find_P(net, "in")->marking, 0);
    }
}

TEST(VosReader, PhantomTransitionsAndBlocksAreDropped) {
    TempDir dir;
    Read net(read_text(dir, "VOS\nPetriBox\nFORMAT_N2\nBL\n\"block\"1 A1@1 R\"r\"\nPL\n\"p\"\nTR\n\"t\"S\nPTR\n"
                            "1\"ph\"S10@20P\"t\"\nTP\n1<1\nPT\nPTP\n1<1\nPPT\n1>1\nTX\n"));
    EXPECT_EQ(net->transitions, 1u);
    EXPECT_EQ(TP_connection(net, "p", "t"), 1);
}

TEST(VosReader, BlockModeKeepsFileOrder) {
    TempDir dir;
    Options keep;
    const std::string file = std::string(kHeader) + "PL\n\"c\"M1\n\n3\"b\"\nTR\n\"u\"\n\"t\"\nTP\n2<1\nPT\n3>1\n";
    vos_options.allow_block_mode = true;
    {
        Read net(read_text(dir, file));
        EXPECT_EQ(net->flags & NET_BLOCK_ALLOCATED, NET_BLOCK_ALLOCATED);
        EXPECT_EQ(nettest::place_names(net), "c PL2 b");
        EXPECT_EQ(net->places, 3u);
        EXPECT_EQ(find_P_num(net, 3)->name, "b");
        EXPECT_EQ(TP_connection(net, "c", "t"), 1);
        EXPECT_EQ(PT_connection(net, "b", "u"), 1);
        // Look-ups and deletions by name work on lists in file order.
        EXPECT_EQ(delete_place(net, "PL2"), 1);
        EXPECT_EQ(find_P(net, "c")->marking, 1);
        EXPECT_EQ(find_P(net, "b")->name, "b");
        EXPECT_EQ(delete_transition(net, "t"), 1);
        EXPECT_EQ(TP_connection(net, "c", "t"), 0);
        EXPECT_TRUE(vos_options.allow_block_mode);
    }
    // One identifier out of place: name order, and block mode stays off.
    {
        Read net(read_text(dir, std::string(kHeader) + "PL\n1\"c\"\n3\"a\"\n2\"b\"\nTR\n\"u\"\nTP\nPT\n"));
        EXPECT_EQ(net->flags & NET_BLOCK_ALLOCATED, 0);
        EXPECT_EQ(nettest::place_names(net), "a b c");
        EXPECT_FALSE(vos_options.allow_block_mode);
    }
    {
        Read net(read_text(dir, file));
        EXPECT_EQ(net->flags & NET_BLOCK_ALLOCATED, 0);
        EXPECT_EQ(nettest::place_names(net), "b c PL2");
    }
}

TEST(VosReader, DuplicateNamesShareOneNode) {
    TempDir dir;
    testing::internal::CaptureStderr();
    Read net(read_text(dir, std::string(kHeader) + "PL\n\"p\"M1\n\"p\"M2\nTR\n\"t\"\nTP\n1<2\nPT\n2>1\n"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: place 'p' already exists.\n");
    EXPECT_EQ(net->places, 1u);
    EXPECT_EQ(find_P(net, "p")->marking, 1);
    EXPECT_EQ(TP_connection(net, "p", "t"), 1);
    EXPECT_EQ(PT_connection(net, "p", "t"), 1);
}

TEST(VosReader, CollectsLabelsWhenAsked) {
    TempDir dir;
    collect_labels = true;
    Read net(read_text(dir, std::string(kHeader) + "PL\n\"p\"b\"a b\"\n\"q\"b\"ab\"\n\"r\"b\"c\"\nTR\n\"t\"b\"x\"\nTP\nPT\n"));
    collect_labels = false;
    ASSERT_EQ(place_labels.entries.size(), 2u);
    const LabelEntry& ab = place_labels.entries.at("ab");
    EXPECT_EQ(ab.count, 2u);
    EXPECT_EQ(ab.nodes.front()->name, "q");   // newest first
    EXPECT_EQ(place_labels.uses, 3u);
    EXPECT_EQ(place_labels.distinct, 2u);
    EXPECT_EQ(transition_labels.entries.begin()->first, "x");
    free_label_list(place_labels);
    free_label_list(transition_labels);
    EXPECT_TRUE(place_labels.entries.empty());
}

TEST(VosReader, ReadsWhatLaterProgramsWrite) {
    // The frame and fields that flatnet and the analyser write.
    TempDir dir;
    Read net(read_text(dir, "VOS\nPetriBox\nFORMAT_N2\nDPL s7n10@-9t2\nDTR s7n10@-9t2\nDPT w1t1\nBL\n1\"B1\"\n"
                            "PL\n1\"p1\"e v1 M1 m1 b\"l\" R\"r\" u\"1\" k3\n2\"p2\"x v0\nTR\n1\"T1\"10@20v1b\"x\"R\"r\"u\"1\"SP\"(1)\"\n"
                            "PTR\n1\"PT1\"30@20v1 P\"(1)\"\nTP\n1<2 v1\nPT\n1>1 v1 w2\nPTP\n1<2\nPPT\n1>1\n"));
    EXPECT_EQ(net->places, 2u);
    EXPECT_EQ(PT_connection(net, "p1", "T1"), 2);
    EXPECT_EQ(TP_connection(net, "p2", "T1"), 1);
}

TEST(VosWriter, RoundTripKeepsEverything) {
    TempDir dir;
    Options keep;
    vos_options.keep_extras = true;
    const std::string text =
        "VOS\nPetriBox\nFORMAT_N\nPL\n"
        "\"en\"e-5@7b\"lab\"R\"ref\"T\"text\"\n"
        "\"ex\"x\n"
        "'q\"uote'M2m3C2\n"
        "\"hl\"Z\"{1,2}\"z\"{1}\"y\"{2}\"M1\n"
        "\"plain\"\n"
        "TR\n"
        "\"t1\"30@-40i\"a\"b\"b\"g\"x>1\"R\"r\"T\"t\"\n"
        "\"t2\"\n"
        "TP\n1<1w3p\"x+1\"v4\n2<3\nPT\n3>1\n5>2w2\n4>2\n";
    Read first(read_text(dir, text));
    write_VOS(first, dir.file("out.ll_net"));
    outfile::commit();
    Read second(read_VOS(dir.file("out.ll_net")));
    EXPECT_EQ(nettest::describe(first), nettest::describe(second));
    // and once more: the written text is stable
    write_VOS(second, dir.file("again.ll_net"));
    outfile::commit();
    EXPECT_EQ(testsupport::read_file(dir.file("out.ll_net")), testsupport::read_file(dir.file("again.ll_net")));
    const std::string out = testsupport::read_file(dir.file("out.ll_net"));
    const std::string head = "VOS\nPetriBox\nFORMAT_N\nDPL s7n10@-9t2\nDTR s7n10@-9t2\nDPT w1t1\nPL\n\"en\"-5@7e";
    EXPECT_EQ(out.substr(0, head.size()), head);
    EXPECT_NE(out.find("'q\"uote'0@0M2m3C2\n"), std::string::npos);
    EXPECT_NE(out.find("\n1<1p\"x+1\"v4w3\n"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 4), "TX\n\n");
}

TEST(VosWriter, ExitMarkingsAndNamesWithBothQuotesReadBack) {
    TempDir dir;
    Options keep;
    vos_options.keep_extras = true;
    const std::string text =
        "VOS\nPetriBox\nFORMAT_N\nPL\n\"en\"e\n\"ex\"x\n'a\"b'\"'c\"M2\n\"plain\"\nTR\n\"t\"\"'\"\nTP\n1<2\nPT\n1>1\n";
    Read first(read_text(dir, text));
    EXPECT_EQ(marking(first, "a\"b'c"), 2);
    EXPECT_EQ(trans_number(first), 1u);
    EXPECT_EQ(first->first_transition->name, "t'");
    // The reduced net of a run has its token on the exit place.
    EXPECT_EQ(change_place_marking(first, "en", 0), 1);
    EXPECT_EQ(change_place_marking(first, "ex", 1), 1);
    write_VOS(first, dir.file("out.ll_net"));
    outfile::commit();
    Read second(read_VOS(dir.file("out.ll_net")));
    EXPECT_EQ(marking(second, "ex"), 1);
    EXPECT_EQ(marking(second, "a\"b'c"), 2);
    EXPECT_EQ(second->first_transition->name, "t'");
    write_VOS(second, dir.file("again.ll_net"));
    outfile::commit();
    EXPECT_EQ(testsupport::read_file(dir.file("out.ll_net")), testsupport::read_file(dir.file("again.ll_net")));
    write_VOS_PlainNet(second, dir.file("plain.ll_net"), false);
    outfile::commit();
    vos_options.keep_extras = false;
    Read plain(read_VOS(dir.file("plain.ll_net")));
    EXPECT_EQ(nettest::place_names(plain), nettest::place_names(second));
}

TEST(VosWriter, RandomNetsRoundTrip) {
    TempDir dir;
    Options keep;
    vos_options.keep_extras = true;
    for (std::uint64_t seed = 1; seed <= 30; ++seed) {
        testsupport::RandomNetParams params;
        params.general = seed % 2 == 0;
        testsupport::TestNet tn = testsupport::random_safe_net(seed, params);
        testsupport::write_vos(tn, dir.file("r.ll_net"));
        Read net(read_VOS(dir.file("r.ll_net")));
        ASSERT_EQ(net->places, static_cast<std::uint32_t>(tn.places()));
        ASSERT_EQ(net->transitions, static_cast<std::uint32_t>(tn.transitions()));
        for (int t = 0; t < tn.transitions(); ++t) {
            for (int p : tn.pre[t]) EXPECT_EQ(PT_connection(net, tn.place_names[p], tn.trans_names[t]), 1);
            for (int p : tn.post[t]) EXPECT_EQ(TP_connection(net, tn.place_names[p], tn.trans_names[t]), 1);
            EXPECT_EQ(trans_predecessor_number(net, tn.trans_names[t]), static_cast<int>(tn.pre[t].size()));
        }
        for (int p = 0; p < tn.places(); ++p) EXPECT_EQ(marking(net, tn.place_names[p]), tn.m0[p]);
        write_VOS(net, dir.file("w.ll_net"));
        outfile::commit();
        Read back(read_VOS(dir.file("w.ll_net")));
        EXPECT_EQ(nettest::describe(net), nettest::describe(back)) << "seed " << seed;
        write_VOS_PlainNet(net, dir.file("plain.ll_net"), true);
        outfile::commit();
        vos_options.keep_extras = false;
        Read plain(read_VOS(dir.file("plain.ll_net")));
        vos_options.keep_extras = true;
        EXPECT_EQ(plain->places, net->places);
        EXPECT_EQ(nettest::place_names(plain), nettest::place_names(net));
    }
}

TEST(VosWriter, PlainNetForm) {
    TempDir dir;
    Read net(read_text(dir, std::string(kHeader) + "PL\n\"a\"M2C3\n\"b\"\nTR\n\"t\"\nTP\n1<2w2\nPT\n1>1\n"));
    write_VOS_PlainNet(net, dir.file("p.ll_net"), true);
    outfile::commit();
    EXPECT_EQ(testsupport::read_file(dir.file("p.ll_net")),
              "VOS\nPlainNet\nFORMAT_N\nDPL s7n10@-9t2\nDTR s7n10@-9t2\nDPT w1t1\nPL\n"
              "\"a\"30@30m2M2C3\n\"b\"40@40\nTR\n\"t\"170@30\nTP\n1<2w2\nPT\n1>1\nTX\n\n");
    write_VOS_PlainNet(net, dir.file("q.ll_net"), false);
    outfile::commit();
    EXPECT_EQ(testsupport::read_file(dir.file("q.ll_net")).find("C3"), std::string::npos);
    Read back(read_VOS(dir.file("p.ll_net")));
    EXPECT_EQ(TP_connection(back, "b", "t"), 2);
    EXPECT_EQ(back->components, 3u);
}

// Every message and exit code of the readers and writers.
// The long death tests run in three parts, which CTest runs in parallel.
class VosReaderDeathTest : public ::testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(Parts, VosReaderDeathTest, ::testing::Range(0, 3));

TEST_P(VosReaderDeathTest, EveryMessage) {
    struct Case {
        const char* name;
        std::string text;
        int line;
        const char* message;
        bool direct = false;   // through read_new_VOS instead of read_VOS
    };
    const std::string h = kHeader;
    const std::vector<Case> cases = {
        {"vos keyword", "VOX\nPlainNet\nFORMAT_N\n", 1, "keyword 'VOS' expected"},
        {"vos keyword new", "\nVOX\nPlainNet\nFORMAT_N\n", 2, "keyword 'VOS' expected", true},
        {"file identifier", "VOS\nBoxNet\nFORMAT_N\n", 2, "file identifier ( 'PlainNet', 'PetriBox', ... ) expected"},
        {"format identifier", "VOS\nNet\nFORMAT_N\n", 2, "format identifier ( 'PlainNet', 'PetriBox', 'HLNet' ) expected"},
        {"format a keyword", "VOS\nCENet\nFORMAT_X\n", 3, "keyword 'FORMAT_A' expected"},
        // read_VOS hands an old tagged file to its reader, which reads its blocks.
        {"format a hands over", "VOS\nPlainNet\nFORMAT_A\n", 4,
         "ReadAlphaName: alphanumerische Zeichenkette erwartet"},
        {"format n keyword", "VOS\nPlainNet\nFORMAT_A\n", 3, "keyword 'FORMAT_N' or 'FORMAT_N2' expected", true},
        {"unknown default", h + "DPL x\nDXY 1\nPL\n", 5, "read_new_VOS(): unknown keyword 'DXY'"},
        {"pl missing", h + "TR\n", 4, "keyword 'PL' expected"},
        {"pl missing at end", h + "\n", 5, "keyword 'PL' expected"},
        {"tr missing", h + "PL\n\"p\"\nTP\n", 6, "keyword 'TR' expected"},
        {"ptr missing", h + "PL\nTR\nPTP\n", 6, "keyword 'PTR' expected"},
        {"tp missing", h + "PL\nTR\n\"t\"\n", 7, "keyword 'TP' expected"},
        {"tp missing after ptr", h + "PL\nTR\nPTR\nPT\n", 7, "keyword 'TP' expected"},
        {"pt missing", h + "PL\nTR\nTP\n", 7, "keyword 'PT' expected"},
        {"ptp missing", h + "PL\nTR\nTP\nPT\nPPT\n", 8, "keyword 'PTP' expected"},
        {"ppt missing", h + "PL\nTR\nTP\nPT\nPTP\n", 9, "keyword 'PPT' expected"},
        {"missing place identifier", h + "PL\n2\"a\"\n\nTR\nTP\nPT\n", 6, "missing place identifier"},
        {"missing transition identifier", h + "PL\nTR\n2\"a\"\n\"b\"\nTP\nPT\n", 7, "missing transition identifier"},
        {"missing phantom identifier", h + "PL\nTR\nPTR\n5\"a\"\n\"b\"\nTP\nPT\n", 8,
         "missing phantom transition identifier"},
        {"place id twice", h + "PL\n2\"a\"\n2\"b\"\nTR\nTP\nPT\n", 6, "place identifier 2 multiply used"},
        {"transition id twice", h + "PL\nTR\n1\"a\"\n1\"b\"\nTP\nPT\n", 7, "transition identifier 1 multiply used"},
        {"phantom id twice", h + "PL\nTR\nPTR\n3\"a\"\n3\"b\"\nTP\nPT\n", 8,
         "phantom transition identifier 3 multiply used"},
        {"entry then exit", h + "PL\n\"a\"e x\nTR\nTP\nPT\n", 5, "both entry and exit flag found"},
        {"exit then entry", h + "PL\n\"a\"x e\nTR\nTP\nPT\n", 5, "both exit and entry flag found"},
        {"missing at", h + "PL\nTR\nPTR\n\"a\"S10\nTP\nPT\n", 7, "missing '@'"},
        {"arc transition 0", h + "PL\n\"p\"\nTR\n\"t\"\nTP\n0<1\nPT\n", 9, "arc: incorrect transition identifier"},
        {"arc transition beyond", h + "PL\n\"p\"\nTR\n\"t\"\nTP\nPT\n1>2000000000\n", 10,
         "arc: incorrect transition identifier"},
        {"arc transition unused", h + "PL\n\"p\"\nTR\n1\"t\"\n3\"u\"\nTP\n2<1\nPT\n", 10,
         "arc: incorrect transition identifier"},
        {"arc place negative", h + "PL\n\"p\"\nTR\n\"t\"\nTP\n1<-1\nPT\n", 9, "arc: incorrect place identifier"},
        {"arc place beyond", h + "PL\n\"p\"\nTR\n\"t\"\nTP\nPT\n2>1\n", 10, "arc: incorrect place identifier"},
        {"arc phantom", h + "PL\n\"p\"\nTR\nPTR\n\"x\"\nTP\nPT\nPTP\n2<1\nPPT\n", 12,
         "arc: incorrect phantom transition identifier"},
        {"arc phantom place", h + "PL\n\"p\"\nTR\nPTR\n\"x\"\nTP\nPT\nPTP\nPPT\n9>1\n", 13,
         "arc: incorrect place identifier"},
        // An error in identifiers waits for the syntax of the whole file;
        // the first one in file order is reported.
        {"syntax after identifiers", h + "PL\n\"p\"\nTR\n\"t\"\nTP\n5<1\nPT\n1>1 M\n", 11, "unknown token 'M'"},
        {"syntax after missing identifier", h + "PL\n2\"a\"\n\"b\"\nTR\nTP\nPT\n1>1 M\n", 10, "unknown token 'M'"},
        {"first arc error", h + "PL\n\"p\"\nTR\n\"t\"\nTP\n1<7\nPT\n7>1\n", 9, "arc: incorrect place identifier"},
        {"place identifiers before arcs", h + "PL\n2\"a\"\n2\"b\"\nTR\n\"t\"\nTP\n9<1\nPT\n", 6,
         "place identifier 2 multiply used"},
        {"less expected", h + "PL\nTR\nTP\n1>1\n", 7, "'<' expected"},
        {"greater expected", h + "PL\nTR\nTP\nPT\n1<1\n", 8, "'>' expected"},
        {"unknown token", h + "PL\n\"a\"Q1\n", 5, "unknown token 'Q'"},
        {"unknown arc token", h + "PL\nTR\nTP\n1<1 M1\n", 7, "unknown token 'M'"},
        {"digit expected", h + "PL\n\"a\"Mx\n", 5, "digit expected"},
        {"number too large", h + "PL\n\"a\"M3000000000\n", 5, "number out of range"},
        {"negative marking", h + "PL\n\"a\"M-1\n", 5, "negative marking"},
        {"negative weight", h + "PL\n\"p\"\nTR\n\"t\"\nTP\n1<1w-2\nPT\n", 9, "negative arc weight"},
        {"negative component", h + "PL\n\"a\"C-1\n", 5, "negative component number"},
        {"negative v", h + "PL\nTR\nTP\n1<1v-2\n", 7, "negative number"},
        {"zero place identifier", h + "PL\n0\"a\"\n", 5, "incorrect place identifier"},
        {"negative transition identifier", h + "PL\nTR\n-3\"a\"\n", 6, "incorrect transition identifier"},
        {"zero phantom identifier", h + "PL\nTR\nPTR\n0\n", 7, "incorrect phantom transition identifier"},
        {"unterminated name", h + "PL\n\"abc\nTR\n", 5, "ReadEnclString(): closing \" is missing"},
        {"string expected", h + "PL\n\"a\"b lab\n", 5, "ReadEnclString(): string leading ' or \" expected"},
        {"pair expected", h + "PL\n\"a\"A1x\n", 5, "'@' expected, but 'x' was found"},
    };
    for (std::size_t i = GetParam(); i < cases.size(); i += 3) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("e.ll_net");
        testsupport::write_file(path, c.text);
        EXPECT_EXIT(c.direct ? read_new_VOS(path) : read_VOS(path), testing::ExitedWithCode(10),
                    "^" + nettest::literal(nettest::syntax_message(path, c.line, c.message)) + "$");
    }
}

TEST(VosDeathTest, OpenAndWriteFailures) {
    TempDir dir;
    const std::string missing = dir.file("absent.ll_net");
    EXPECT_EXIT(read_VOS(missing), testing::ExitedWithCode(4),
                nettest::literal("ERROR: CM.read_VOS(): could not open file '" + missing + "' for reading.\n"));
    EXPECT_EXIT(read_new_VOS(missing), testing::ExitedWithCode(4),
                nettest::literal("ERROR: CM.read_new_VOS(): could not open file '" + missing + "' for reading.\n"));
    NET* net = new_net();
    insert_place(net, "p", 1);
    EXPECT_EXIT(write_VOS(net, dir.file("x.ll_net")), testing::ExitedWithCode(10),
                nettest::literal("Internal Error: 'CM_storeCoordinates' not set.\n"));
    net->has_extras = true;
    const std::string bad = dir.file("no/such/dir.ll_net");
    EXPECT_EXIT(write_VOS(net, bad), testing::ExitedWithCode(10),
                nettest::literal(nettest::syntax_message(bad, 0, "Could not open file for writing")));
    EXPECT_EXIT(write_VOS_PlainNet(net, bad, false), testing::ExitedWithCode(10),
                nettest::literal("Could not open file for writing.\n"));
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_EXIT(write_VOS_PlainNet(net, "/dev/full", false), testing::ExitedWithCode(10),
                    nettest::literal("Could not write file.\n"));
    }
    delete_net(net);
    EXPECT_EXIT(
        {
            duplicate_policy = 1;
            testsupport::write_file(dir.file("d.ll_net"), std::string(kHeader) + "PL\n\"p\"\nTR\n\"t\"\n\"t\"\nTP\nPT\n");
            read_VOS(dir.file("d.ll_net"));
        },
        testing::ExitedWithCode(1), "^" + nettest::literal("ERROR: transition 't' already exists.\n") + "$");
}

// Damaged files: every one is either read or rejected with exit code 10 (and
// the sanitizers see no fault on the way).
TEST_P(VosReaderDeathTest, DamagedFilesNeverCrash) {
    const std::string good =
        "VOS\nPetriBox\nFORMAT_N2\nDPL s7n10@-9t2\nDTR s7n10@-9t2\nDPT w1t1\nBL\n1\"b\"A1@2\nPL\n"
        "1\"en\"e-5@7b\"lab\"R\"ref\"T\"text\"\n2\"ex\"x\n3'q\"uote'M2m3C2\n4\"hl\"Z\"{1,2}\"z\"{1}\"M1\n5\"plain\"\n"
        "TR\n1\"t1\"30@-40i\"a\"g\"x>1\"S\n2\"t2\"\nPTR\n1\"ph\"S1@2\nTP\n1<1w3p\"x+1\"v4\n2<3\n"
        "PT\n3>1\n5>2w2\n4>2\nPTP\n1<2\nPPT\n3>1\nTX\n\"t\"N1@1\n";
    const std::string alphabet = "0123456789@<>'\"%\n -PLTRXMmeCxwvSZ";
    std::mt19937 rng(11 + GetParam());
    TempDir dir;
    for (int round = 20 * GetParam(); round < 20 * GetParam() + 20; ++round) {
        std::string text = good;
        int edits = 1 + static_cast<int>(rng() % 3);
        for (int k = 0; k < edits; ++k) {
            std::size_t at = rng() % text.size();
            switch (rng() % 3) {
            case 0: text.erase(at, 1 + rng() % 4); break;
            case 1: text.insert(at, 1, alphabet[rng() % alphabet.size()]); break;
            default: text[at] = alphabet[rng() % alphabet.size()]; break;
            }
        }
        const std::string path = dir.file("m" + std::to_string(round) + ".ll_net");
        testsupport::write_file(path, text);
        SCOPED_TRACE(text);
        EXPECT_EXIT(
            {
                vos_options.keep_extras = round % 2 == 0;
                vos_options.allow_block_mode = round % 3 == 0;
                NET* net = read_VOS(path);
                if (vos_options.keep_extras) write_VOS(net, path + ".out");
                delete_net(net);
                std::exit(0);
            },
            [](int status) { return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 10); },
            "");
    }
}
