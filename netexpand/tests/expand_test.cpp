// flatnet's runs on hand-written high-level nets: the readers, the
// expansion and the writers, through the same run as the program.
#include <gtest/gtest.h>

#include <map>

#include "driver.h"
#include "failure.h"
#include "hlnet.h"
#include "petri_test.h"

using namespace flatnet;
using testsupport::TempDir;

namespace {

struct Result {
    int status = 0;
    std::string message;  // of a failure
    std::string err;      // further standard error
    std::map<std::string, std::string> files;  // outputs by extension
};

const char* const OUTPUTS[] = {".ll_net", ".hl_ll_ref", ".bpn2_ll_ref", ".pfa_ll_ref", ".sdl_ll_ref", ".if_ll_ref"};

// Runs flatnet on the net (and the reference files, by extension) in a
// temporary directory, with the options before the net's name.
Result flatten(const std::string& net, const std::vector<std::string>& options = {},
               const std::map<std::string, std::string>& refs = {}) {
    TempDir dir;
    const std::string base = dir.file("net");
    testsupport::write_file(base + ".hl_net", net);
    for (const auto& [ext, text] : refs) testsupport::write_file(base + ext, text);
    std::vector<std::string> words{"flatnet"};
    words.insert(words.end(), options.begin(), options.end());
    words.push_back(base + ".hl_net");
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    Result r;
    testing::internal::CaptureStderr();
    try {
        run(parse_arguments(static_cast<int>(argv.size()), argv.data(), false, false));
    } catch (const Failure& f) {
        r.status = f.status();
        r.message = f.what();
        // The syntax errors name the temporary file; keep its last part.
        const std::string::size_type at = r.message.find(dir.path());
        if (at != std::string::npos) r.message.erase(at, dir.path().size() + 1);
    }
    r.err = testing::internal::GetCapturedStderr();
    for (const char* ext : OUTPUTS) {
        std::string text = testsupport::read_file(base + ext);
        if (!text.empty()) r.files[ext] = text;
    }
    return r;
}

std::string hl_net(const std::string& sections) { return "VOS\nHLNet\nFORMAT_N2\n" + sections; }

// The part of a file from the line `from` up to the line `to` (excluded).
std::string section(const std::string& text, const std::string& from, const std::string& to) {
    std::string::size_type a = text.find("\n" + from + "\n");
    if (a == std::string::npos) return "<no " + from + ">";
    a += from.size() + 2;
    std::string::size_type b = to.empty() ? text.size() : text.find("\n" + to + "\n", a - 1);
    return text.substr(a, b == std::string::npos ? std::string::npos : b + 1 - a);
}

}  // namespace

// Places: one per value tuple, the last component fastest, sets sorted with
// ff before tt; each component moves the place by its own offset; the
// markings by tuple; untyped entry places marked without a text.
TEST(Expansion, PlacesOfTypesAndMarkings) {
    Result r = flatten(hl_net("PL\n"
                              "1 100@100b\"p\"Z\"{1..3} X {tt,ff}\"z\"{(1,tt),2*(3,ff),(4,tt)}\"y\"{(2,ff)}\"\n"
                              "2 0@-10ez\"{dot}\"\n"
                              "3 10@10b\"q\"z\"{2*dot}\"\n"
                              "4 20@20e\n"
                              "5 30@30xv4R\"ref\"u\"3\"\n"
                              "6 40@40Z\"{1} X {2} X {3} X {4..5}\"\n"
                              "TR\nTP\nPT\n"));
    ASSERT_EQ(r.status, 0) << r.message;
    EXPECT_EQ(r.files[".ll_net"],
              "VOS\nPetriBox\nFORMAT_N\nDPL s7n10@-9t2\nDTR s7n10@-9t2\nDPT w1t1\nPL\n"
              "\"P1\"100@100b\"p=(1,ff)\"\n"
              "\"P2\"124@100M1b\"p=(1,tt)\"\n"
              "\"P3\"100@124m1b\"p=(2,ff)\"\n"
              "\"P4\"124@124b\"p=(2,tt)\"\n"
              "\"P5\"100@148M2b\"p=(3,ff)\"\n"
              "\"P6\"124@148b\"p=(3,tt)\"\n"
              "\"P7\"0@-10eM1m1\n"
              "\"P8\"10@10M2b\"q\"\n"
              "\"P9\"20@20eM1m1\n"
              "\"P10\"30@30xv4R\"ref\"\n"
              "\"P11\"40@40b\"=(1,2,3,4)\"\n"
              "\"P12\"40@64b\"=(1,2,3,5)\"\n"
              "TR\nTP\nPT\n");
    EXPECT_EQ(section(r.files[".hl_ll_ref"], "PL", "TR"),
              "P1\"P1\"\nP2\"P1\"\nP3\"P1\"\nP4\"P1\"\nP5\"P1\"\nP6\"P1\"\nP7\"P2\"\nP8\"P3\"\nP9\"P4\"\nP10\"P5\"\n"
              "P11\"P6\"\nP12\"P6\"\n");
    EXPECT_EQ(r.err.rfind("Warning: none of ", 0), 0u) << r.err;
}

// Transitions: one instance per satisfying binding of the arc variables;
// declared-only variables are existential; a zero divisor rejects the
// binding; a guard that does not parse gives no instances and spoils
// nothing after it.
TEST(Expansion, GuardsSelectBindings) {
    Result r = flatten(hl_net("PL\n"
                              "1 0@0\"src\"Z\"{0..3}\"z\"{0,1,2,3}\"\n"
                              "2 0@50\"dst\"Z\"{0..3}\"\n"
                              "TR\n"
                              "1 100@0\"inc\"g\"y{1..3}: y = x + 1\"\n"
                              "2 200@0\"half\"g\"6 / x = 3\"\n"
                              "3 300@0\"broken\"g\"x +\"\n"
                              "4 400@-5\"all\"g\"\"v2b\"lab\"R\"r\"\n"
                              "5 500@0\"none\"g\"x > 3\"\n"
                              "TP\n1<2p\"x\"\n2<2p\"x\"\n3<2p\"x\"\n4<2p\"x\"\n5<2p\"x\"\n"
                              "PT\n1>1p\"x\"\n1>2p\"x\"\n1>3p\"x\"\n1>4p\"x\"\n1>5p\"x\"\n"));
    ASSERT_EQ(r.status, 0) << r.message;
    const std::string& ll = r.files[".ll_net"];
    EXPECT_EQ(section(ll, "TR", "TP"),
              "\"T1\"100@0\n\"T2\"106@6\n\"T3\"112@12\n\"T4\"200@0\n"
              "\"T5\"400@-5v2b\"lab\"R\"r\"\n\"T6\"406@1v2b\"lab\"R\"r\"\n\"T7\"412@7v2b\"lab\"R\"r\"\n"
              "\"T8\"418@13v2b\"lab\"R\"r\"\n");
    // inc moves 0..2, half moves 2, all moves every value.
    EXPECT_EQ(section(ll, "TP", "PT"), "1<5\n2<6\n3<7\n4<7\n5<5\n6<6\n7<7\n8<8\n");
    EXPECT_EQ(section(ll, "PT", ""), "1>1\n2>2\n3>3\n3>4\n1>5\n2>6\n3>7\n4>8\n");
    EXPECT_EQ(section(r.files[".hl_ll_ref"], "TR", ""),
              "T1\"inc\"\nT2\"inc\"\nT3\"inc\"\nT4\"half\"\nT5\"all\"\nT6\"all\"\nT7\"all\"\nT8\"all\"\n");
    EXPECT_NE(r.err.find("transition id 3: parse error\n"), std::string::npos) << r.err;
}

// Transitions with 300 declared-only variables and with 300 arc variables
// (a front end allows 256 communication variables per transition).
TEST(Expansion, ManyVariables) {
    std::string guard, places = "PL\n1 0@0Z\"{0,1}\"z\"{1}\"\n", arcs = "PT\n1>1p\"x\"\n";
    for (int i = 1; i <= 300; ++i) {
        guard += (i > 1 ? " and v" : "v") + std::to_string(i) + "{" + std::to_string(i) + "}";
        places += std::to_string(i + 1) + " 0@0Z\"{7}\"\n";
        arcs += std::to_string(i + 1) + ">2p\"x" + std::to_string(i) + "\"\n";
    }
    Result r = flatten(hl_net(places + "TR\n1 0@0g\"" + guard + ": v300 = 300 & x = 1\"\n2 5@5\nTP\n" + arcs));
    ASSERT_EQ(r.status, 0) << r.message;
    EXPECT_EQ(section(r.files[".ll_net"], "TR", "TP"), "\"T1\"0@0\n\"T2\"5@5\n");
    EXPECT_EQ(section(r.files[".ll_net"], "PT", "").substr(0, 15), "2>1\n3>2\n4>2\n5>2");
}

// Arc weights sum the multiplicities that lead to one place (a count of 0
// adds nothing); every weight of 2 or more is written, and "-" removes the
// transitions that have one, numbering the rest without gaps.
TEST(Expansion, WeightsAndTheirRemoval) {
    const std::string net = hl_net("PL\n1 0@0\"a\"z\"{dot}\"\n2 0@0\"b\"\n"
                                   "TR\n1 0@0\"one\"\n2 0@0\"two\"\n3 0@0\"many\"\n4 0@0\"four\"\n5 0@0\"none\"\n"
                                   "TP\n1<2p\"dot\"\n2<2p\"dot,dot\"\n3<2p\"1000*dot\"\n4<2p\"{dot, 0*dot}\"v3\n"
                                   "5<2p\"0*dot\"\n"
                                   "PT\n1>1p\"dot\"\n1>2p\"dot\"\n1>3p\"dot\"\n1>4p\"dot\"\n1>5p\"dot\"\n");
    Result r = flatten(net);
    ASSERT_EQ(r.status, 0) << r.message;
    EXPECT_EQ(section(r.files[".ll_net"], "TP", "PT"), "1<2\n2<2w2\n3<2w1000\n4<2v3\n");
    r = flatten(net, {"-"});
    ASSERT_EQ(r.status, 0) << r.message;
    EXPECT_EQ(section(r.files[".ll_net"], "TR", ""),
              "\"T1\"0@0\n\"T2\"0@0\n\"T3\"0@0\nTP\n1<2\n2<2v3\nPT\n1>1\n1>2\n1>3\n");
    EXPECT_EQ(section(r.files[".hl_ll_ref"], "TR", ""), "T1\"one\"\nT2\"four\"\nT3\"none\"\n");
}

// A phantom synchronised with a transition whose three instances induce
// two bindings of its variable: two low-level phantoms, each in the
// partner lists of its instances and listing them.
TEST(Expansion, PhantomsFollowTheirPartnersBindings) {
    const std::string net = hl_net("PL\n1 0@0\"p\"Z\"{1,2}\"z\"{1,2}\"\n2 0@50\"q\"Z\"{1,2}\"z\"{1,2}\"\n"
                                   "TR\n1 100@0\"t\"g\"x <= y\"\n"
                                   "PTR\n1 200@0\"ph\"P\"(1,7)\"b\"sync\"\n"
                                   "TP\nPT\n1>1p\"x\"\n2>1p\"y\"\n"
                                   "PTP\n1<2p\"1\"\nPPT\n1>1p\"u\"\n");
    Result r = flatten(net, {"-p"});
    ASSERT_EQ(r.status, 0) << r.message;
    const std::string& ll = r.files[".ll_net"];
    EXPECT_EQ(ll.substr(0, 23), "VOS\nPetriBox\nFORMAT_N2\n");
    EXPECT_EQ(section(ll, "TR", "PTR"), "\"T1\"100@0SP\"(1)\"\n\"T2\"106@6SP\"(1)\"\n\"T3\"112@12SP\"(2)\"\n");
    EXPECT_EQ(section(ll, "PTR", "TP"), "\"PT1\"200@0b\"sync\"P\"(1,2)\"\n\"PT2\"206@6b\"sync\"P\"(3)\"\n");
    EXPECT_EQ(section(ll, "PT", "PTP"), "1>1\n3>1\n1>2\n4>2\n2>3\n4>3\n");
    EXPECT_EQ(section(ll, "PTP", "PPT"), "1<3\n2<3\n");
    EXPECT_EQ(section(ll, "PPT", ""), "1>1\n2>2\n");
    EXPECT_EQ(r.files[".hl_ll_ref"].substr(0, 31), "VOS\nReferences_HL_LL\nFORMAT_N2\n");
    EXPECT_EQ(section(r.files[".hl_ll_ref"], "PTR", ""), "PT1\"ph\"\nPT2\"ph\"\n");

    // Without the phantom flag nothing of them is written.
    r = flatten(net);
    EXPECT_EQ(r.files[".ll_net"].find("PT1"), std::string::npos);
    EXPECT_EQ(r.files[".ll_net"].find("SP"), std::string::npos);
    EXPECT_EQ(r.files[".ll_net"].substr(0, 22), "VOS\nPetriBox\nFORMAT_N\n");

    // A phantom whose partners all disappear under "-" is not written, and
    // a weighted phantom disappears from its partners' lists.
    r = flatten(net, {"-p", "-"});
    EXPECT_EQ(section(r.files[".ll_net"], "PTR", "TP"), "\"PT1\"200@0b\"sync\"P\"(1,2)\"\n\"PT2\"206@6b\"sync\"P\"(3)\"\n");
    std::string weighted = net;
    const std::string arc = "PPT\n1>1p\"u\"";
    weighted.replace(weighted.find(arc), arc.size(), "PPT\n1>1p\"2*u\"");
    r = flatten(weighted, {"-p", "-"});
    ASSERT_EQ(r.status, 0) << r.message;
    EXPECT_EQ(section(r.files[".ll_net"], "TR", "TP"), "\"T1\"100@0\n\"T2\"106@6\n\"T3\"112@12\nPTR\n");
}

// The variables of a phantom and of a partner are matched by backtracking
// over the phantom's arcs; the first complete match counts.
TEST(Expansion, PhantomMatching) {
    auto net = [](const std::string& t_arcs, const std::string& ph_arcs) {
        return hl_net("PL\n1 0@0\"p\"Z\"{1,2}\"z\"{1,2}\"\n2 0@50\"q\"Z\"{1,2}\"z\"{1}\"\n"
                      "3 0@50\"r\"Z\"{1,2} X {1,2}\"\n"
                      "TR\n1 100@0\"t\"\nPTR\n1 200@0\"ph\"P\"(1)\"\n"
                      "TP\nPT\n" + t_arcs + "PTP\nPPT\n" + ph_arcs);
    };
    struct Case {
        std::string t_arcs, ph_arcs;
        int status;
        std::string message, phantoms;
    } cases[] = {
        // u is x on p; y on q is left alone: two phantoms for x = 1, 2.
        {"1>1p\"x\"\n2>1p\"y\"\n", "1>1p\"u\"\n", 0, "", "\"PT1\"200@0P\"(1,2)\"\n\"PT2\"206@6P\"(3,4)\"\n"},
        // u must be x on p and then on q: y is not x, x is not on q.
        {"1>1p\"x\"\n2>1p\"y\"\n", "1>1p\"u\"\n2>1p\"u\"\n", 1, "Error: cannot match variables of ph and t\n", ""},
        {"1>1p\"x\"\n2>1p\"x\"\n", "1>1p\"u\"\n2>1p\"u\"\n", 0, "", "\"PT1\"200@0P\"(1)\"\n\"PT2\"206@6P\"(2)\"\n"},
        // Backtracking: u tries x first, which q does not have; y fits.
        {"1>1p\"{x,y}\"\n2>1p\"y\"\n", "1>1p\"u\"\n2>1p\"u\"\n", 0, "", "\"PT1\"200@0P\"(1,3)\"\n\"PT2\"206@6P\"(2,4)\"\n"},
        {"1>1p\"x\"\n", "1>1p\"u\"\n2>1p\"u\"\n", 1, "Error: ph is adjacent to q, but t is not\n", ""},
        {"1>1p\"x\"\n", "1>1p\"{u,v}\"\n", 1,
         "Error: more than one variable on inscription of arc at phantom transition ph\n", ""},
        // Constants and phantom arcs without variables are passed over.
        {"1>1p\"x\"\n", "1>1p\"1\"\n", 0, "", "\"PT1\"200@0P\"(1,2)\"\n"},
        // A pair variable cannot stand for a component.
        {"3>1p\"(x,y)\"\n", "3>1p\"u\"\n", 1, "Error: cannot match variables of ph and t\n", ""},
        // Neither has arcs: the partner's one instance has an empty binding.
        {"", "", 0, "", "\"PT1\"200@0P\"(1)\"\n"},
    };
    for (const Case& c : cases) {
        Result r = flatten(net(c.t_arcs, c.ph_arcs), {"-p"});
        EXPECT_EQ(r.status, c.status) << c.t_arcs << c.ph_arcs;
        EXPECT_EQ(r.message, c.message) << c.t_arcs << c.ph_arcs;
        if (c.status == 0) {
            EXPECT_EQ(section(r.files[".ll_net"], "PTR", "TP"), c.phantoms) << c.t_arcs << c.ph_arcs;
        }
    }
    // A choice with untried candidates is ambiguous, but taken.
    Result r = flatten(net("1>1p\"{x,y}\"\n", "1>1p\"u\"\n"), {"-p"});
    EXPECT_EQ(r.status, 0) << r.message;
    EXPECT_NE(r.err.find("Warning: matching the variables of ph and t is ambiguous\n"), std::string::npos) << r.err;

    // A match that fails on the last arc is found to fail without trying
    // every combination of the candidates of the arcs before it: here 4^20
    // combinations of the variables u0..u19, while the last arc asks u19
    // for a partner that its first arc does not offer.
    std::string places = "PL\n", t_arcs, ph_arcs;
    for (int i = 0; i < 21; ++i) {
        const std::string k = std::to_string(i);
        places += std::to_string(i + 1) + " 0@0Z\"{0..1}\"\n";
        t_arcs += std::to_string(i + 1) + ">1p\"" + (i < 20 ? "{a" + k + ",b" + k + ",c" + k + ",d" + k + "}" : "z") + "\"\n";
        ph_arcs += std::to_string(i + 1) + ">1p\"u" + std::to_string(i < 20 ? i : 19) + "\"\n";
    }
    r = flatten(hl_net(places + "TR\n1 0@0\"t\"\nPTR\n1 0@0\"ph\"P\"(1)\"\nTP\nPT\n" + t_arcs + "PTP\nPPT\n" + ph_arcs),
                {"-p"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.message, "Error: cannot match variables of ph and t\n");
}

// The front ends' reference files: DEF texts spanning lines, blocks, nodes
// by number or by name; carried over to the low-level nodes.
TEST(References, CarriedOverToLowLevelNodes) {
    const std::string net = hl_net("BL\n1\"blk\"\n2'say \"hi\"'\nPL\n1 0@0Z\"{tt,ff}\"\n2 0@0z\"{dot}\"\n"
                                   "TR\n1 0@0\n2 0@0\"named\"\nPTR\n1 0@0P\"(1)\"\n"
                                   "TP\n1<2p\"dot\"\n2<2p\"dot\"\nPT\n1>1p\"x\"\n2>2p\"dot\"\n"
                                   "PTP\nPPT\n1>1p\"x\"\n");
    const std::string bpn2 =
        "VOS\nReferences_BPN2_HL\nFORMAT_N\nDEF\n"
        "1 R\"(1,1;1,5)\"b\"x := 'a\nPL\nb'\"\n"
        "2 R\"(2,1;2,3)\"\n"
        "BL\nB1 T\"1:0\"\n"
        "PL\nP1 T\"1:1\"\n2 T\"2:0*1:2\"\n"
        "TR\nT1 T\"1:0\"\nnamed T'say \"hi\"'\n"
        "PTR\nPT1 T\"2:0\"\n";
    Result r = flatten(net, {"-p", "-b"}, {{".bpn2_hl_ref", bpn2}, {".if_hl_ref", "VOS\nReferences_IF_HL\nFORMAT_N\nDEF\nPL\nTR\n"}});
    ASSERT_EQ(r.status, 0) << r.message;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.files[".bpn2_ll_ref"],
              "VOS\nReferences_BPN2_LL\nFORMAT_N2\nDEF\n"
              "1 R\"(1,1;1,5)\"b\"x := 'a\nPL\nb'\"\n2 R\"(2,1;2,3)\"\n"
              "BL\nB1 T\"1:0\"\n"
              "PL\nP1 T\"1:1;ff\"\nP2 T\"1:1;tt\"\nP3 T\"2:0*1:2;dot\"\n"
              "TR\nT1 T\"1:0\"\nT2 T\"1:0\"\nT3 T'say \"hi\"'\n"
              "PTR\nPT1 T\"2:0\"\nPT2 T\"2:0\"\n");
    EXPECT_EQ(r.files[".if_ll_ref"], "VOS\nReferences_IF_LL\nFORMAT_N2\nDEF\nBL\nPL\nTR\nPTR\n");
    EXPECT_EQ(r.files.count(".pfa_ll_ref"), 0u);
    // A block text holding a double quote stays in single quotes.
    EXPECT_EQ(section(r.files[".ll_net"], "BL", "PL"), "1 \"blk\"\n2 'say \"hi\"'\n");

    // Without blocks and phantoms: FORMAT_N and neither BL nor PTR.
    r = flatten(net, {}, {{".bpn2_hl_ref", bpn2}});
    EXPECT_EQ(r.files[".bpn2_ll_ref"],
              "VOS\nReferences_BPN2_LL\nFORMAT_N\nDEF\n"
              "1 R\"(1,1;1,5)\"b\"x := 'a\nPL\nb'\"\n2 R\"(2,1;2,3)\"\n"
              "PL\nP1 T\"1:1;ff\"\nP2 T\"1:1;tt\"\nP3 T\"2:0*1:2;dot\"\n"
              "TR\nT1 T\"1:0\"\nT2 T\"1:0\"\nT3 T'say \"hi\"'\n");
}

TEST(References, Errors) {
    const std::string net = hl_net("PL\n1 0@0\nTR\n1 0@0\nPTR\n1 0@0\nTP\nPT\n");
    const std::string head = "VOS\nReferences_PFA_HL\nFORMAT_N2\nDEF\n";
    struct Case {
        std::string text, message;
    } cases[] = {
        {"VOZ\n", "line 2: keyword `VOS' expected"},
        {"VOS\nReferences_BPN2_HL\n", "line 3: format identifier `References_PFA_HL' expected"},
        {"VOS\nReferences_PFA_HL\nFORMAT\n", "line 4: keyword `FORMAT_N' or `FORMAT_N2' expected"},
        {"VOS\nReferences_PFA_HL\nFORMAT_N\nDEFS\n", "line 5: keyword 'DEF' expected"},
        {head + "1 \"x\nPL\n", "keyword 'PL' expected"},
        {head + "PL\nP1 X\"a\"\n", "line 6: 'T' expected"},
        {head + "PL\nP1 T\"a\" b\n", "line 6: garbage characters after reference"},
        {head + "PL\nP2 T\"a\"\n", "line 6: invalid place identifier"},
        {head + "PL\nP1 T\"a\"\n", "keyword 'TR' expected"},
        {head + "PL\nP1 T\"a\"\nTX\n", "keyword 'TR' expected"},
        {head + "PL\nTR\n0 T\"a\"\n", "line 7: invalid transition identifier"},
        {head + "PL\nTR\nT1 T\"a\"\nPT\n", "keyword `PTR' expected"},
        {head + "PL\nTR\nPTR\nPT2 T\"a\"\n", "line 8: invalid phantom transition identifier"},
    };
    for (const Case& c : cases) {
        Result r = flatten(net, {}, {{".pfa_hl_ref", c.text}});
        EXPECT_EQ(r.status, 10) << c.text;
        EXPECT_NE(r.message.find("ERROR: syntax error in file 'net.pfa_hl_ref', "), std::string::npos) << r.message;
        EXPECT_NE(r.message.find(c.message + ".\n"), std::string::npos) << c.text << r.message;
    }
    // A reference file that cannot be opened.
    HLNet n;
    try {
        read_x_HLref(n, "/nonexistent/x.if_hl_ref", FE_IF);
        ADD_FAILURE();
    } catch (const Failure& f) {
        EXPECT_EQ(f.status(), 2);
        EXPECT_STREQ(f.what(), "ERROR: read_x_HLref(): could not open file '/nonexistent/x.if_hl_ref' for reading.\n");
    }
}

// Node numbers, names and the reader's errors.
TEST(Reading, NumberingNamesAndQuotes) {
    // Empty type and marking texts read as none.
    Result r = flatten(hl_net("PL\n0@0b'say \"hi\"'\n0@0ex\n3 0@0'a\"b'\n4 0@0eZ\"\"z\"\"y\"\"\n"
                              "TR\n0@0\"x'\"\nTP\n1<2p\"dot\"\n1<3p\"dot\"\nPT\n"));
    ASSERT_EQ(r.status, 0) << r.message;
    EXPECT_EQ(section(r.files[".ll_net"], "PL", "TR"),
              "\"P1\"0@0b'say \"hi\"'\n\"P2\"0@0eM1m1\n\"P3\"0@0\n\"P4\"0@0eM1m1\n");
    EXPECT_EQ(r.files[".hl_ll_ref"],
              "VOS\nReferences_HL_LL\nFORMAT_N\nPL\nP1\"P1\"\nP2\"P2\"\nP3'a\"b'\nP4\"P4\"\nTR\nT1\"x'\"\n");
}

// The ordered inserts keep number order whatever the input order, and
// refuse a number twice; arcs keep the order of their other node.
TEST(Reading, OrderedInserts) {
    HLNet net;
    PlaceCursor pc = net.places.end();
    for (std::uint32_t n : {5u, 6u, 3u, 9u, 4u, 10u, 1u}) M_fast_insert_place(net, n, pc);
    std::vector<std::uint32_t> order;
    for (const auto& [n, p] : net.places) order.push_back(p.number);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{1, 3, 4, 5, 6, 9, 10}));
    for (std::uint32_t n : {4u, 10u, 1u}) {
        try {
            M_fast_insert_place(net, n, pc);
            ADD_FAILURE() << n;
        } catch (const Failure& f) {
            EXPECT_EQ(f.status(), 1);
            EXPECT_EQ(std::string(f.what()), "ERROR: HL.M_fast_insert_place(): place '" + std::to_string(n) +
                                                 "' already exists.\n");
        }
    }
    TransitionCursor tc = net.transitions.end();
    for (std::uint32_t n : {2u, 1u, 3u}) M_fast_insert_transition(net.transitions, n, tc);
    EXPECT_THROW(M_fast_insert_transition(net.transitions, 2, tc), Failure);
    HLPlace& p5 = net.places.at(5);
    for (std::uint32_t t : {3u, 1u, 2u, 1u}) fast_insert_PT_edge(net, p5, net.transitions.at(t), false);
    std::vector<std::uint32_t> arcs;
    for (const HLArc* a : p5.out) arcs.push_back(a->transition->number);
    EXPECT_EQ(arcs, (std::vector<std::uint32_t>{1, 1, 2, 3}));
    for (std::uint32_t q : {9u, 3u, 4u}) fast_insert_TP_edge(net, net.transitions.at(1), net.places.at(q), true);
    arcs.clear();
    for (const HLArc* a : net.transitions.at(1).out) arcs.push_back(a->place->number);
    EXPECT_EQ(arcs, (std::vector<std::uint32_t>{3, 4, 9}));
    EXPECT_EQ(net.places.at(9).phantom_in.size(), 1u);
    EXPECT_TRUE(net.places.at(9).in.empty());
}

TEST(Reading, SyntaxErrors) {
    struct Case {
        std::string sections, message;
    } cases[] = {
        {"PL\n1 0@0\n3 0@0\n0@0\nTR\nTP\nPT\n", "line 7: missing place identifier"},
        {"PL\n1 0@0\n1 0@0\nTR\nTP\nPT\n", "line 6: place identifier 1 used twice"},
        {"PL\n0 0@0\nTR\nTP\nPT\n", "line 5: invalid place identifier 0"},
        {"PL\n-1 0@0\nTR\nTP\nPT\n", "line 5: invalid place identifier -1"},
        {"PL\nTR\n2 0@0\n0@0\nTP\nPT\n", "line 7: missing transition identifier"},
        {"PL\nTR\n1 0@0\n1 0@0\nTP\nPT\n", "line 7: transition identifier 1 used twice"},
        {"PL\nTR\nPTR\n1 0@0\n1 0@0\nTP\nPT\n", "line 8: phantom transition identifier 1 used twice"},
        {"PL\n1 0@0\nTR\n1 0@0\nTP\n1<5p\"x\"\nPT\n", "line 9: arc: incorrect place identifier"},
        {"PL\n1 0@0\nTR\n1 0@0\nTP\n9<1p\"x\"\nPT\n", "line 9: arc: incorrect transition identifier"},
        {"PL\n1 0@0\nTR\nPTR\n1 0@0\nTP\nPT\nPTP\n9<1p\"x\"\n", "arc: incorrect phantom transition identifier"},
        {"PL\n1 0@0\nTR\n1 0@0\nTP\nPT\n1>1v2\n", "line 10: arc: missing arc annotation"},
        {"PL\n1 0@0#\nTR\nTP\nPT\n", "line 5: unknown token `#'"},
        {"PL\n1 0@0\nTR\n", "section `TP' not found"},
    };
    for (const Case& c : cases) {
        Result r = flatten(hl_net(c.sections));
        EXPECT_EQ(r.status, 10) << c.sections;
        EXPECT_EQ(r.message.rfind("ERROR: syntax error in file 'net.hl_net', ", 0), 0u) << r.message;
        EXPECT_NE(r.message.find(c.message + ".\n"), std::string::npos) << c.sections << r.message;
        EXPECT_TRUE(r.files.empty());
    }
}

TEST(Expansion, Errors) {
    struct Case {
        std::string place, arcs, transition, message;
    } cases[] = {
        {"Z\"{1\"", "", "", "Error in type of place 1: '}' expected\n"},
        {"Z\"{1} X {1,2} X {-32765..32767} X {-32765..32767}\"", "", "", "Error: type of place 1 has too many values\n"},
        {"Z\"{-32765..32767} X {-32765..32767} X {-32765..32767} X {-32765..32767} X {1,2}\"", "", "",
         "Error: type of place 1 has more than 2^64 values\n"},
        {"z\"{x}\"", "", "", "Error in initial marking of place 1: unknown number\n"},
        {"y\"{-1*dot}\"", "", "", "Error in current marking of place 1: negative count\n"},
        {"Z\"{1} X {2}\"", "TP\n1<1p\"3\"\nPT\n", "",
         "Error in annotation of arc from t to p: inscription doesn't have the required dimension\n"},
        {"", "TP\nPT\n1>1p\"x y\"\n", "", "Error in annotation of arc from p to t: malformed inscription\n"},
        {"Z\"{1,2}\"", "TP\nPT\n1>1p\"3\"\n", "",
         "Error: constant out of range on arc between place 1 and transition 1\n"},
        {"", "TP\nPT\n1>1p\"dot\"\n", "g\"z = 1\"", "Error: Untyped variable z in annotation of transition 1.\n\n"},
        {"", "TP\nPT\n1>1p\"4294967295*dot, dot\"\n", "", "Error: arc weight of transition 1 is too large\n"},
        {"", "TP\nPT\nPTR\n1 0@0\"ph\"P\"(1\"\n", "", "Error in list of sync transitions of ph: ')' expected\n"},
    };
    for (const Case& c : cases) {
        std::string arcs = c.arcs.empty() ? "TP\nPT\n" : c.arcs;
        std::string phantoms;
        if (arcs.find("PTR\n") != std::string::npos) {
            phantoms = arcs.substr(arcs.find("PTR\n"));
            arcs.erase(arcs.find("PTR\n"));
        }
        Result r = flatten(hl_net("PL\n1 0@0\"p\"" + c.place + "\nTR\n1 0@0\"t\"" + c.transition + "\n" + phantoms +
                                  arcs));
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_EQ(r.message, c.message);
        EXPECT_TRUE(r.files.empty());
    }
}
