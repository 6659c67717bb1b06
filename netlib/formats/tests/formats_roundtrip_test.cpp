// One net written in every side format reads to the same net: the same
// places with the same marking, and the same transitions with the same arcs.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "format_test_util.h"
#include "formats/formats.h"
#include "net.h"
#include "petri_test.h"
#include "vos.h"

namespace {

using fmt_test::NetPtr;
using fmt_test::put;
using fmt_test::shape_of;
using testsupport::TestNet;

// Places "P%08u" and transitions "T%08u" after their numbers, the names the
// Matlab reader gives, so that every format can keep them.
TestNet numbered(TestNet net) {
    char buf[32];
    for (int i = 0; i < net.places(); ++i) {
        std::snprintf(buf, sizeof buf, "P%08u", static_cast<unsigned>(i + 1));
        net.place_names[i] = buf;
    }
    for (int t = 0; t < net.transitions(); ++t) {
        std::snprintf(buf, sizeof buf, "T%08u", static_cast<unsigned>(t + 1));
        net.trans_names[t] = buf;
    }
    return net;
}

// The old tagged format; transition identifiers follow the places'.
std::string to_format_a(const TestNet& net) {
    std::ostringstream o;
    o << "VOS\nPlainNet\nFORMAT_A\n";
    o << "com: 'written by the test'\n";
    for (int i = 0; i < net.places(); ++i) {
        o << "PLA:\n idt: " << i + 1 << "\n nam: '" << net.place_names[i] << "'\n dpt: 10@20\n cap: Omega\n";
        o << " ima: " << net.m0[i] << "\n cma: 0\nend:\n";
    }
    for (int t = 0; t < net.transitions(); ++t)
        o << "TRA:\n idt: " << net.places() + t + 1 << "\n nam: '" << net.trans_names[t] << "'\n dwd: 3\nend:\n";
    auto arc = [&](int from, int to) {
        o << "ARC:\n sou: " << from << "\n des: " << to << "\n wgt: 1\n dpt: 1@1\n dpt: 2@2\n vsf: x\nend:\n";
    };
    for (int t = 0; t < net.transitions(); ++t) {
        for (int q : net.pre[t]) arc(q + 1, net.places() + t + 1);
        for (int q : net.post[t]) arc(net.places() + t + 1, q + 1);
    }
    o << "END:\n";
    return o.str();
}

std::string to_lisp(const TestNet& net) {
    std::ostringstream o;
    o << "(define transitions '(\n";
    for (int t = 0; t < net.transitions(); ++t) {
        o << "  ((";
        for (int q : net.pre[t]) o << " " << net.place_names[q];
        o << ") (";
        for (int q : net.post[t]) o << net.place_names[q] << " ";
        o << "))\n";
    }
    o << "))\n(define initial-tokens '(";
    for (int i = 0; i < net.places(); ++i)
        if (net.m0[i]) o << net.place_names[i] << " ";
    o << "))\n";
    return o.str();
}

// A script laid out as the unfolder writes one.
std::string to_matlab(const TestNet& net) {
    std::ostringstream o;
    o << "function [ausgabe]=net(flag);\n\n% Dieses Netz ist ein Test\n%\n\n";
    o << "Fm=[\n";
    for (int t = 0; t < net.transitions(); ++t)
        for (int q : net.pre[t]) o << q + 1 << " " << t + 1 << " 1\n";
    o << net.places() << " " << net.transitions() << " 0\n];\n\n";
    o << "Fp=[\n";
    for (int t = 0; t < net.transitions(); ++t)
        for (int q : net.post[t]) o << q + 1 << " " << t + 1 << " 1\n";
    o << net.places() << " " << net.transitions() << " 0\n];\n\n";
    o << "M0=[\n";
    for (int i = 0; i < net.places(); ++i)
        if (net.m0[i]) o << i + 1 << " 1 1\n";
    o << net.places() << " 1 0\n];\n\n";
    o << "if flag==1\n  ausgabe=spconvert(Fm);\nelseif flag==2\n  ausgabe=spconvert(Fp);\nend;\n";
    return o.str();
}

void expect_same(const fmt_test::Shape& want, netlib::NET* net, const std::string& form, bool names_kept) {
    fmt_test::Shape got = shape_of(net);
    EXPECT_TRUE(got == want) << form << " differs:\nwant\n" << fmt_test::describe(want) << "got\n"
                             << fmt_test::describe(got);
    if (names_kept) {
        EXPECT_EQ(got.transition_names, want.transition_names) << form;
    }
}

class RoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(RoundTrip, EveryFormatReadsTheSameNet) {
    testsupport::RandomNetParams params;
    params.general = GetParam() % 2 == 1;
    params.components = 3;
    params.places = 7;
    params.transitions = 7;
    TestNet net = numbered(testsupport::random_safe_net(static_cast<std::uint64_t>(GetParam()) * 7919 + 3, params));
    const fmt_test::Shape want = shape_of(net);
    testsupport::TempDir dir;

    NetPtr vos(netlib::read_VOS(put(dir, "net.ll_net", testsupport::to_vos(net))));
    expect_same(want, vos.get(), "VOS", true);

    NetPtr old(netlib::read_FORMAT_A_file(put(dir, "old.ll_net", to_format_a(net))));
    expect_same(want, old.get(), "FORMAT_A", true);

    NetPtr lisp(netlib::read_LISP(put(dir, "net.lisp", to_lisp(net))));
    expect_same(want, lisp.get(), "LISP", false);
    EXPECT_EQ(lisp->transitions, static_cast<std::uint32_t>(net.transitions()));

    NetPtr matlab(netlib::read_Matlab(put(dir, "net.m", to_matlab(net))));
    expect_same(want, matlab.get(), "Matlab", true);
    EXPECT_EQ(netlib::duplicate_policy, 2);

    // The matrix of the VOS net with its start marking appended.
    std::string matrix = dir.file("net.mat");
    netlib::write_matrix(vos.get(), matrix);
    netlib::write_netmarking(vos.get(), matrix);
    NetPtr back(netlib::read_matrix(matrix));
    expect_same(want, back.get(), "matrix", true);
}

INSTANTIATE_TEST_SUITE_P(RandomNets, RoundTrip, ::testing::Range(0, 12));

}  // namespace
