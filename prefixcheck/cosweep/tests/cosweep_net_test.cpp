// The complement net: names derived from the net file, the complement
// places with their arcs, markings, coordinates and components, the written
// file as the net reader reads it back, and the nets that are refused.
#include <gtest/gtest.h>

#include <map>

#include "cosweep_error.h"
#include "cosweep_net.h"
#include "net.h"
#include "petri_test.h"
#include "vos.h"

using cosweep::CosweepError;
using netlib::NET;

namespace {

struct NetCase : testing::Test {
    void SetUp() override {
        netlib::edition = netlib::Edition::Cosweep;
        netlib::vos_options.keep_extras = true;
    }
    void TearDown() override { netlib::edition = netlib::Edition::Standard; }

    NET* read(const std::string& text) {
        std::string path = dir.file("in.ll_net");
        testsupport::write_file(path, text);
        return netlib::read_new_VOS(path);
    }
    testsupport::TempDir dir;
};

// p is consumed and produced by loop, produced only by fill, consumed only
// by drain; q, produced by drain and consumed by fill, is marked and has
// "m" (current marking) 0.
const char kNet[] =
    "VOS\nPlainNet\nFORMAT_N\nPL\n"
    "1\"p\"100@200b\"lab\"\n"
    "2\"q\"10@20M1m0\n"
    "TR\n1\"loop\"5@5\n2\"fill\"6@6i\"act\"\n3\"drain\"7@7\n"
    "TP\n1<1\n2<1\n3<2\n"
    "PT\n1>1\n1>3\n2>2\nTX\n";

std::string arcs_of(NET* net, const std::string& place) {
    std::string s;
    netlib::NET_NODE* p = netlib::find_P(net, place);
    for (netlib::NET_ARC* a = p->preset; a; a = a->p_next) s += a->transition->name + ">" + place + " ";
    for (netlib::NET_ARC* a = p->postset; a; a = a->p_next) s += place + ">" + a->transition->name + " ";
    return s;
}

}  // namespace

TEST(DerivedNames, TakeTheLastDotOfTheFileName) {
    struct Case { const char* net; const char* comp; const char* stem; };
    for (const Case& c : {Case{"ring.ll_net", "ring.comp.ll_net", "ring.comp"},
                          Case{"a.b.c", "a.b.comp.c", "a.b.comp"},
                          Case{"dir.x/ring.ll_net", "dir.x/ring.comp.ll_net", "dir.x/ring.comp"},
                          Case{"net.", "net.comp.", "net.comp"}}) {
        cosweep::DerivedNames d = cosweep::derive_names(c.net);
        EXPECT_EQ(d.complement, c.comp) << c.net;
        EXPECT_EQ(d.stem, c.stem) << c.net;
        EXPECT_EQ(d.mci(), std::string(c.stem) + ".mci");
        EXPECT_EQ(d.bin_coco(), std::string(c.stem) + ".bin_coco");
    }
    // No '.' in the file's own name: an error, not a name built from a directory.
    for (const char* bad : {"ring", "dir.x/ring", "./ring"}) {
        try {
            cosweep::derive_names(bad);
            ADD_FAILURE() << bad;
        } catch (const CosweepError& e) {
            EXPECT_EQ(std::string(e.what()), "ERROR: Dateiname " + std::string(bad) + " hat keine Endung!\n");
            EXPECT_EQ(e.code, 1);
        }
    }
}

TEST_F(NetCase, ComplementPlacesArcsMarkingsAndCoordinates) {
    NET* net = read(kNet);
    std::string out = dir.file("in.comp.ll_net");
    cosweep::ComplementNet(net, out, false);
    netlib::delete_net(net);
    NET* c = netlib::read_new_VOS(out);
    ASSERT_EQ(c->places, 4u);
    EXPECT_EQ(netlib::marking(c, "p"), 0);
    EXPECT_EQ(netlib::marking(c, "|p"), 1);
    EXPECT_EQ(netlib::marking(c, "q"), 1);
    EXPECT_EQ(netlib::marking(c, "|q"), 0);
    // loop both consumes and produces p: no arc to |p.
    EXPECT_EQ(arcs_of(c, "|p"), "drain>|p |p>fill ");
    EXPECT_EQ(arcs_of(c, "|q"), "fill>|q |q>drain ");
    EXPECT_EQ(arcs_of(c, "p"), "fill>p loop>p p>loop p>drain ");
    EXPECT_EQ(netlib::find_P(c, "|p")->extras->x, 115);
    EXPECT_EQ(netlib::find_P(c, "|p")->extras->y, 215);
    EXPECT_EQ(netlib::find_P(c, "p")->extras->label, "lab");
    EXPECT_EQ(netlib::find_T(c, "fill")->extras->action, "act");
    EXPECT_EQ(c->components, 1u);
    netlib::delete_net(c);

    // The file itself: marking written twice, no second marking field from
    // the current marking that would override the start marking.
    std::string text = testsupport::read_file(out);
    EXPECT_EQ(text.substr(0, 67), "VOS\nPlainNet\nFORMAT_N\nDPL s7n10@-9t2\nDTR s7n10@-9t2\nDPT w1t1\nPL\n\"p\"");
    EXPECT_NE(text.find("\n\"q\"10@20M1m1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n\"|p\"115@215M1m1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n\"p\"100@200b\"lab\"\n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 4), "TX\n\n");
}

// Names that hold both quote characters are read as joined quoted runs;
// the complement net writes them so that they read back the same.
TEST_F(NetCase, NamesWithBothQuoteCharactersReadBack) {
    NET* net = read("VOS\nPlainNet\nFORMAT_N\nPL\n\"x'\"'\"y'M1\n\"z\"\nTR\n'a\"'\"'b\"\nTP\n1<2\nPT\n1>1\nTX\n");
    ASSERT_NE(netlib::find_P(net, "x'\"y"), nullptr);
    std::string out = dir.file("in.comp.ll_net");
    cosweep::ComplementNet(net, out, false);
    netlib::delete_net(net);
    NET* c = netlib::read_new_VOS(out);
    EXPECT_EQ(netlib::marking(c, "x'\"y"), 1);
    EXPECT_EQ(netlib::marking(c, "|x'\"y"), 0);
    EXPECT_EQ(arcs_of(c, "|x'\"y"), "a\"'b>|x'\"y ");
    netlib::delete_net(c);
}

// A place at the edge of the coordinate range: its complement place stays
// inside the range, where the reader takes it back.
TEST_F(NetCase, ComplementPlaceAtTheEdgeOfTheCoordinates) {
    NET* net = read("VOS\nPlainNet\nFORMAT_N\nPL\n\"p\"2147483647@2147483640M1\nTR\nTP\nPT\nTX\n");
    std::string out = dir.file("in.comp.ll_net");
    cosweep::ComplementNet(net, out, false);
    netlib::delete_net(net);
    NET* c = netlib::read_new_VOS(out);
    EXPECT_EQ(netlib::find_P(c, "|p")->extras->x, 2147483647);
    EXPECT_EQ(netlib::find_P(c, "|p")->extras->y, 2147483647);
    netlib::delete_net(c);
}

TEST_F(NetCase, ComponentsPairEachPlaceWithItsComplement) {
    NET* net = read("VOS\nPlainNet\nFORMAT_N\nPL\n\"b\"M1\n\"a\"\n\"|c\"\nTR\n\"t\"\nTP\n1<2\nPT\n1>1\nTX\n");
    std::string out = dir.file("in.comp.ll_net");
    cosweep::ComplementNet(net, out, true);
    netlib::delete_net(net);
    NET* c = netlib::read_new_VOS(out);
    // A place "|c" without a place "c" is a place of its own.
    std::map<std::string, std::uint32_t> comp;
    for (netlib::NET_NODE* p = c->first_place; p; p = p->next) comp[p->name] = p->aux;
    EXPECT_EQ(comp["a"], 1u);
    EXPECT_EQ(comp["b"], 2u);
    EXPECT_EQ(comp["|a"], 1u);
    EXPECT_EQ(comp["|b"], 2u);
    EXPECT_EQ(comp["|c"], 3u);
    EXPECT_EQ(comp["||c"], 3u);
    EXPECT_EQ(c->components, 3u);
    netlib::delete_net(c);
}

TEST_F(NetCase, UnsafeAndAlreadyComplementedNetsAreRefused) {
    NET* net = read("VOS\nPlainNet\nFORMAT_N\nPL\n\"p\"M2\nTR\nTP\nPT\nTX\n");
    try {
        cosweep::ComplementNet(net, dir.file("x.comp.ll_net"), false);
        ADD_FAILURE();
    } catch (const CosweepError& e) {
        EXPECT_STREQ(e.what(), "ERROR: Netz ist nicht sicher!\n");
    }
    netlib::delete_net(net);
    net = read("VOS\nPlainNet\nFORMAT_N\nPL\n\"p\"\n\"|p\"M1\nTR\nTP\nPT\nTX\n");
    try {
        cosweep::check_no_complement_places(net);
        ADD_FAILURE();
    } catch (const CosweepError& e) {
        EXPECT_STREQ(e.what(), "ERROR: Netz hat schon die Komplementstelle |p!\n");
    }
    netlib::delete_net(net);
    net = read("VOS\nPlainNet\nFORMAT_N\nPL\n\"|p\"\nTR\nTP\nPT\nTX\n");
    EXPECT_NO_THROW(cosweep::check_no_complement_places(net));
    netlib::delete_net(net);
}

TEST_F(NetCase, RandomNetsKeepTheirBehaviourWithComplementPlaces) {
    // Every reachable marking of the complement net marks exactly one of p, |p.
    for (std::uint64_t seed = 1; seed <= 30; ++seed) {
        testsupport::RandomNetParams params;
        params.general = seed % 2 == 0;
        testsupport::TestNet tn = testsupport::random_safe_net(seed, params);
        testsupport::write_vos(tn, dir.file("r.ll_net"));
        NET* net = netlib::read_new_VOS(dir.file("r.ll_net"));
        cosweep::ComplementNet(net, dir.file("r.comp.ll_net"), false);
        netlib::delete_net(net);
        NET* c = netlib::read_new_VOS(dir.file("r.comp.ll_net"));
        testsupport::TestNet ct;
        netlib::renumber(c);
        for (netlib::NET_NODE* p = c->first_place; p; p = p->next) {
            ct.place_names.push_back(p->name);
            ct.m0.push_back(p->marking);
        }
        for (netlib::NET_NODE* t = c->first_transition; t; t = t->next) {
            ct.trans_names.push_back(t->name);
            ct.pre.emplace_back();
            ct.post.emplace_back();
            for (netlib::NET_ARC* a = t->preset; a; a = a->t_next) ct.pre.back().push_back(int(a->place->number) - 1);
            for (netlib::NET_ARC* a = t->postset; a; a = a->t_next) ct.post.back().push_back(int(a->place->number) - 1);
        }
        netlib::delete_net(c);
        testsupport::StateSpace orig = testsupport::explore(tn), comp = testsupport::explore(ct);
        EXPECT_TRUE(comp.safe) << seed;
        EXPECT_EQ(orig.states.size(), comp.states.size()) << seed;
        for (const auto& m : comp.states)
            for (int p = 0; p < tn.places(); ++p)
                EXPECT_EQ(m[ct.place_index(tn.place_names[p])] + m[ct.place_index("|" + tn.place_names[p])], 1)
                    << seed;
    }
}
