// The old tagged VOS format, LISP and Matlab nets, the incidence matrix and
// GSPN descriptions: their particular rules and their errors.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "format_test_util.h"
#include "formats/formats.h"
#include "net.h"
#include "petri_test.h"
#include "vos.h"

namespace {

using fmt_test::NetPtr;
using fmt_test::put;
using fmt_test::weight;
using netlib::NET_NODE;

NET_NODE* place(netlib::NET* net, const std::string& name) {
    for (NET_NODE* p = net->first_place; p; p = p->next)
        if (p->name == name) return p;
    return nullptr;
}

struct ErrorCase {
    const char* text;
    int code;
    const char* message;
};

// ---- FORMAT_A -----------------------------------------------------------------

const char* const kFormatAHeader = "VOS\nPetriBox\nFORMAT_A\n";

std::string pla(const char* tag, unsigned id, const std::string& fields = "") {
    return std::string(tag) + ":\nidt: " + std::to_string(id) + "\n" + fields + "end:\n";
}
std::string tra(unsigned id, const std::string& fields = "") {
    return "TRA:\nidt: " + std::to_string(id) + "\n" + fields + "end:\n";
}
std::string arc(unsigned from, unsigned to, unsigned w = 1) {
    return "ARC:\nsou: " + std::to_string(from) + "\ndes: " + std::to_string(to) + "\nwgt: " + std::to_string(w) +
           "\nend:\n";
}

TEST(FormatA, PlaceKindsMarkingsDefaultNamesAndWeights) {
    testsupport::TempDir dir;
    std::string text = std::string(kFormatAHeader) + pla("IPL", 1) + pla("PLA", 2, "nam: 'busy'\nima: 3\ncma: 1\n") +
                       pla("OPL", 3, "ima: 2\ncap: 4\n") + tra(4, "mea: 'go'\ndpt: 5@6\n") +
                       "RTR:\nidt: 5\nnam: 'r'\nend:\n" + arc(1, 4, 2) + arc(4, 2) + arc(2, 5) + arc(5, 3, 3) +
                       "TXT:\nstr: 'note'\ndpt: 1@1\nend:\nFML: anything here\nEND:\n";
    std::string path = put(dir, "a.ll_net", text);
    NetPtr net(netlib::read_FORMAT_A_file(path));
    EXPECT_EQ(net->identifier, "PetriBox");
    EXPECT_EQ(fmt_test::names(net->first_place), (std::vector<std::string>{"S1", "S3", "busy"}));
    EXPECT_EQ(fmt_test::names(net->first_transition), (std::vector<std::string>{"r", "T4"}));
    EXPECT_EQ(place(net.get(), "S1")->marking, 1);   // entry place without ima
    EXPECT_EQ(place(net.get(), "S1")->kind, 1);
    EXPECT_EQ(place(net.get(), "S3")->kind, 2);
    EXPECT_EQ(place(net.get(), "S3")->marking, 2);
    EXPECT_EQ(place(net.get(), "busy")->marking, 3);
    EXPECT_EQ(place(net.get(), "busy")->aux, 1u);
    EXPECT_EQ(net->components, 1u);
    EXPECT_EQ(weight(net.get(), "S1", "T4", true), 2);
    EXPECT_EQ(weight(net.get(), "busy", "T4", false), 1);
    EXPECT_EQ(weight(net.get(), "busy", "r", true), 1);
    EXPECT_EQ(weight(net.get(), "S3", "r", false), 3);

    // Starting from the current marking takes "cma".
    netlib::vos_options.use_current_marking = true;
    NetPtr current(netlib::read_FORMAT_A_file(path));
    netlib::vos_options.use_current_marking = false;
    EXPECT_EQ(place(current.get(), "busy")->marking, 1);
    EXPECT_EQ(place(current.get(), "S1")->marking, 0);
}

TEST(FormatA, KeptExtrasHoldPositionsAndLabels) {
    testsupport::TempDir dir;
    netlib::vos_options.keep_extras = true;
    NetPtr net(netlib::read_FORMAT_A_file(put(
        dir, "a.ll_net", std::string(kFormatAHeader) + pla("PLA", 1, "dpt: 7@8\nmea: 'lbl'\n") + tra(2) + arc(1, 2) + "END:\n")));
    netlib::vos_options.keep_extras = false;
    EXPECT_TRUE(net->has_extras);
    ASSERT_TRUE(net->first_place->extras);
    EXPECT_EQ(net->first_place->extras->x, 7);
    EXPECT_EQ(net->first_place->extras->y, 8);
    EXPECT_EQ(net->first_place->extras->label, "lbl");
    ASSERT_TRUE(net->first_transition->extras);
    ASSERT_NE(net->first_place->postset, nullptr);
    EXPECT_TRUE(net->first_place->postset->extras);
}

TEST(FormatA, IdentifierTableGrowsStepByStep) {
    testsupport::TempDir dir;
    std::string text = kFormatAHeader;
    for (unsigned id = 1998; id <= 3001; ++id) text += pla("PLA", id);
    text += tra(9000) + arc(3001, 9000) + arc(9000, 1998) + "END:\n";
    testing::internal::CaptureStdout();
    NetPtr net(netlib::read_FORMAT_A_file(put(dir, "big.ll_net", text)));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "AN: 2000, MN: 2000\nAN: 3000, MN: 3000\nAN: 9000, MN: 4000\n");
    EXPECT_EQ(net->places, 1004u);
    EXPECT_EQ(weight(net.get(), "S3001", "T9000", true), 1);
    EXPECT_EQ(weight(net.get(), "S1998", "T9000", false), 1);
}

TEST(FormatA, UnknownBlockCommandIsReportedAndSkipped) {
    testsupport::TempDir dir;
    std::string path = put(dir, "u.ll_net", std::string(kFormatAHeader) + "XYZ: whatever\n" + pla("PLA", 1) + "END:\n");
    testing::internal::CaptureStderr();
    NetPtr net(netlib::read_FORMAT_A_file(path));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: CM.read_VOS(): unknown VOS command found: 'XYZ'.\n");
    EXPECT_EQ(net->places, 1u);
}

class FormatAErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(FormatAErrors, EndTheProgram) {
    testsupport::TempDir dir;
    std::string path = put(dir, "bad.ll_net", GetParam().text);
    EXPECT_EXIT(netlib::read_FORMAT_A_file(path), ::testing::ExitedWithCode(GetParam().code), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatAErrors,
    ::testing::Values(
        ErrorCase{"VOS\nPlainNet\nFORMAT_B\n", 10, "line 4: keyword 'FORMAT_A' expected\\."},
        ErrorCase{"VOX\n", 10, "keyword 'VOS' expected"},
        ErrorCase{"VOS\nMyNet\nFORMAT_A\n", 10, "file identifier \\( 'PlainNet', 'PetriBox', \\.\\.\\. \\) expected"},
        ErrorCase{"VOS\nPlainNet\nFORMAT_A\nPLA:\nnam: 'x'\nend:\n", 10, "line 6: missing place identifier\\."},
        ErrorCase{"VOS\nPlainNet\nFORMAT_A\nPLA:\nidt: 1\nend:\nPLA:\nidt: 1\nend:\n", 10,
                  "multiply defined place identificator\\."},
        ErrorCase{"VOS\nPlainNet\nFORMAT_A\nTRA:\nidt: 1\nend:\nIPL:\nidt: 1\nend:\n", 10,
                  "multiply defined place identifer\\."},
        ErrorCase{"VOS\nPlainNet\nFORMAT_A\nPLA:\nidt: 1\nend:\nOPL:\nidt: 1\nend:\n", 10,
                  "multiply defined place identifier\\."},
        ErrorCase{"VOS\nPlainNet\nFORMAT_A\nTRA:\nend:\n", 10, "missing transition identifier\\."},
        ErrorCase{"VOS\nPlainNet\nFORMAT_A\nPLA:\nidt: 1\nend:\nTRA:\nidt: 1\nend:\n", 10,
                  "multiply defined transition identifier\\."},
        ErrorCase{"VOS\nPlainNet\nFORMAT_A\nPLA:\nidt: 1\ncap: many\nend:\n", 10,
                  "ERROR: CM.read_VOS\\(\\): capacity'Omega' expected\\.\nERROR: syntax error in file '.*', line 6: "
                  "incorrect capacity\\."},
        ErrorCase{"VOS\nPlainNet\nFORMAT_A\nTRA:\nidt: 1\nend:\nTRA:\nidt: 2\nend:\nARC:\nsou: 1\ndes: 2\nend:\n", 10,
                  "faulty VOS net file: S->S resp\\. T->T arc found\\."},
        ErrorCase{"VOS\nPlainNet\nFORMAT_A\nTRA:\nidt: 1\nend:\nARC:\nsou: 7\ndes: 1\nend:\n", 10,
                  "arc: missing source identifier\\."},
        ErrorCase{"VOS\nPlainNet\nFORMAT_A\nTRA:\nidt: 1\nend:\nARC:\nsou: 1\nend:\n", 10,
                  "arc: missing destination identifier\\."},
        ErrorCase{"VOS\nPlainNet\nFORMAT_A\nPLA:\nidt: 1\n", 10, "ReadAlphaName: alphanumerische Zeichenkette erwartet"},
        ErrorCase{"VOS\nPlainNet\nFORMAT_A\nPLAC:\n", 10, "ReadCommand\\(\\): unknown command found"},
        ErrorCase{"VOS\nPlainNet\nFORMAT_A\nPLA:\nidt: 1\nima: -1\nend:\n", 10, "line 6: negative marking\\."},
        ErrorCase{"VOS\nPlainNet\nFORMAT_A\nPLA:\nidt: 1\ncma: -3\nend:\n", 10, "line 6: negative marking\\."}));

TEST(FormatA, MissingFile) {
    testsupport::TempDir dir;
    EXPECT_EXIT(netlib::read_FORMAT_A_file(dir.file("none")), ::testing::ExitedWithCode(4),
                "ERROR: CM.read_VOS\\(\\): could not open file '.*none' for reading\\.");
}

// ---- LISP and Matlab ----------------------------------------------------------------

TEST(Lisp, NamesNumbersAndEmptyLists) {
    testsupport::TempDir dir;
    NetPtr net(netlib::read_LISP(put(dir, "n.lisp",
                                     "(define transitions '(\n"
                                     "  ((b a) (c))\n"
                                     "  ((c) ())\n"
                                     "  (() (a.1 x-y))\n"
                                     "))\n"
                                     "(define initial-tokens '(a x-y))\n")));
    EXPECT_EQ(fmt_test::names(net->first_transition), (std::vector<std::string>{"T1", "T2", "T3"}));
    EXPECT_EQ(net->last_transition->number, 3u);
    EXPECT_EQ(place(net.get(), "b")->number, 1u);
    EXPECT_EQ(place(net.get(), "a")->number, 2u);
    EXPECT_EQ(place(net.get(), "c")->number, 3u);
    EXPECT_EQ(place(net.get(), "x-y")->number, 5u);
    EXPECT_EQ(place(net.get(), "a")->marking, 1);
    EXPECT_EQ(place(net.get(), "x-y")->marking, 1);
    EXPECT_EQ(place(net.get(), "b")->marking, 0);
    NET_NODE* t2 = net->first_transition->next;
    EXPECT_EQ(t2->postset, nullptr);
    EXPECT_NE(t2->preset, nullptr);
    EXPECT_EQ(net->last_transition->preset, nullptr);
    EXPECT_EQ(weight(net.get(), "a.1", "T3", false), 1);
}

TEST(Matlab, PrefixScriptIsReadWithANotice) {
    testsupport::TempDir dir;
    std::string path = put(dir, "prefix.m",
                           "function [ausgabe]=prefix(flag);\n\n"
                           "% Dieses Netz beschreibt die Entfaltung des Netzes\n%\n\n"
                           "Fp=[\n2 1 1\n3 1 1\n3 1 0\n];\n\n"
                           "Fm=[\n1 1 1\n3 1 0\n];\n\n"
                           "M0=[\n1 1 1\n3 1 0\n];\n\n"
                           "Placefunction=[\n1 1 4\n2 1 5\n3 1 6\n3 1 0\n];\n\n"
                           "Transitionfunction=[\n1 1 1\n1 1 0\n];\n\n"
                           "Cut_off=[\n1 1 0\n];\n\n"
                           "Gl=[\n1 1 1\n1 1 0\n];\n\n"
                           "other = 3;\n"
                           "weights=[1 2\n 3 4];\n"
                           "if flag==1\n  ausgabe=spconvert(Fm);\nend;\n");
    testing::internal::CaptureStderr();
    NetPtr net(netlib::read_Matlab(path));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Hmm... you are just calculating the unfolding of an unfolding.\n");
    EXPECT_EQ(fmt_test::names(net->first_place), (std::vector<std::string>{"P00000001", "P00000002", "P00000003"}));
    EXPECT_EQ(fmt_test::names(net->first_transition), (std::vector<std::string>{"T00000001"}));
    EXPECT_EQ(net->first_place->marking, 1);
    EXPECT_EQ(net->first_place->next->number, 2u);
    EXPECT_EQ(weight(net.get(), "P00000001", "T00000001", true), 1);
    EXPECT_EQ(weight(net.get(), "P00000003", "T00000001", false), 1);
    EXPECT_EQ(netlib::duplicate_policy, 2);
}

TEST(Matlab, UnidentifiedSyntaxIsWarnedAbout) {
    testsupport::TempDir dir;
    std::string path = put(dir, "w.m", "disp\nFm=[\n1 1 1\n1 1 0\n];\nif\n");
    testing::internal::CaptureStderr();
    NetPtr net(netlib::read_Matlab(path));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: unidentified syntax in file '" + path + "', line 2 after identifier 'disp'\n");
    EXPECT_EQ(net->transitions, 1u);
}

// Token counts above one are kept as read: judging them is the unfolder's
// part (a net that is not 1-safe), not the reader's.
TEST(LispMatlab, TokenCountsAreKept) {
    testsupport::TempDir dir;
    NetPtr lisp(netlib::read_LISP(put(dir, "two.lisp",
                                      "(define transitions '( ((a) (b)) ))\n(define initial-tokens '(a b a))\n")));
    EXPECT_EQ(place(lisp.get(), "a")->marking, 2);
    EXPECT_EQ(place(lisp.get(), "b")->marking, 1);
    NetPtr matlab(netlib::read_Matlab(put(dir, "two.m", "M0=[\n4 1 2\n5 1 2147483647\n5 1 0\n];\nif\n")));
    EXPECT_EQ(place(matlab.get(), "P00000004")->marking, 2);
    EXPECT_EQ(place(matlab.get(), "P00000005")->marking, INT32_MAX);
}

class LispMatlabErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(LispMatlabErrors, EndTheProgram) {
    testsupport::TempDir dir;
    std::string text = GetParam().text;
    bool lisp = text[0] == '(';
    std::string path = put(dir, lisp ? "bad.lisp" : "bad.m", text);
    if (lisp)
        EXPECT_EXIT(netlib::read_LISP(path), ::testing::ExitedWithCode(GetParam().code), GetParam().message);
    else
        EXPECT_EXIT(netlib::read_Matlab(path), ::testing::ExitedWithCode(GetParam().code), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LispMatlabErrors,
    ::testing::Values(
        ErrorCase{"(defun transitions '())", 10, "CM.read_LISP\\(\\): keyword 'define' expected"},
        ErrorCase{"(define places '())", 10, "CM.read_LISP\\(\\): keyword 'transitions' expected"},
        ErrorCase{"(define transitions '())\n(define tokens '())", 10,
                  "CM.read_LISP\\(\\): keyword 'initial-tokens' expected"},
        ErrorCase{"(define transitions '(((a) (b))", 10, "'\\(' expected, but end of file was found"},
        ErrorCase{"(define transitions '(((a) (b$))))", 10, "ReadLISPName\\(\\): identifier expected"},
        ErrorCase{"Fm=[\n1 2 2\n1 2 0\n];\nif\n", 10, "line 2: arc pl 1 -> tr 2 - weight \\[2\\] > 1\\."},
        ErrorCase{"Fp=[\n1 2 3\n1 2 0\n];\nif\n", 10, "arc tr 2 -> pl 1 - weight \\[3\\] > 1"},
        ErrorCase{"Fm=[\n1 x 1\n];\n", 10, "number expected, but 'x' found"},
        ErrorCase{"Fm=[\n1 1 1\n", 10, "number expected, but '' found"},
        ErrorCase{"Fm=[\n1 99999999999 1\n", 10, "number expected, but '99999999999' found"},
        ErrorCase{"Fm=[\n1 1 0\n]\n", 10, "';' expected, but end of file was found"},
        ErrorCase{"x=[1 2 3\n", 10, "'\\]' expected"},
        ErrorCase{"Fm=[\n1 1 0\n];\n", 10, "unknown identifier: ''"},
        ErrorCase{"Fm=[\n1 1 0\n];\n$\n", 10, "line 4: identifier or number expected, but '\\$' found"}));

TEST(LispMatlab, MissingFiles) {
    testsupport::TempDir dir;
    EXPECT_EXIT(netlib::read_LISP(dir.file("none")), ::testing::ExitedWithCode(4),
                "ERROR: CM.read_LISP\\(\\): could not open file '.*none' for reading\\.");
    EXPECT_EXIT(netlib::read_Matlab(dir.file("none")), ::testing::ExitedWithCode(4),
                "^ERROR: could not open file '.*none' for reading\\.");
}

// ---- incidence matrix -------------------------------------------------------------------

NetPtr weighted_net() {
    NetPtr net(netlib::new_net());
    netlib::insert_place(net.get(), "p", 2);
    netlib::insert_place(net.get(), "longplace", 0);
    netlib::insert_place(net.get(), "q", 1);
    netlib::insert_transition(net.get(), "t");
    netlib::insert_transition(net.get(), "u12345678901");
    netlib::insert_PT_con(net.get(), "p", "t", 2);
    netlib::insert_TP_con(net.get(), "longplace", "t", 1);
    netlib::insert_PT_con(net.get(), "longplace", "u12345678901", 1);
    netlib::insert_TP_con(net.get(), "p", "u12345678901", 12);
    netlib::insert_PT_con(net.get(), "q", "t", 1);
    netlib::insert_TP_con(net.get(), "q", "t", 1);
    return net;
}

TEST(Matrix, PrintedMatrixReadsBackWithWeightsAndMarking) {
    testsupport::TempDir dir;
    NetPtr net = weighted_net();
    std::string path = dir.file("w.mat");
    netlib::write_matrix(net.get(), path);
    std::string text = testsupport::read_file(path);
    EXPECT_EQ(text.rfind("3 2 \nInzidenzmatrix: \n", 0), 0u) << text;
    EXPECT_NE(text.find(" \np           |( 0,2)  (-12,0)       \nq "), std::string::npos) << text;
    netlib::write_netmarking(net.get(), path);
    EXPECT_NE(testsupport::read_file(path).find("\nStartmarkierung: \n( 2 ,1 ,0 ) \n"), std::string::npos);
    NetPtr back(netlib::read_matrix(path));
    EXPECT_TRUE(fmt_test::shape_of(back.get()) == fmt_test::shape_of(net.get()))
        << fmt_test::describe(fmt_test::shape_of(back.get()));
    EXPECT_EQ(weight(back.get(), "p", "u12345678901", false), 12);
}

TEST(Matrix, ColumnsFollowTheHeaderNames) {
    // Columns and markings are given in the file's own order, not in the
    // order in which the net keeps its names.
    testsupport::TempDir dir;
    NetPtr net(netlib::read_matrix(put(dir, "h.mat",
                                       "2 2\nInzidenzmatrix:\n      zz  a\n"
                                       "y |(-1,0) ( 0,1)\n"
                                       "b |( 0,1) (-1,0)\n"
                                       "Startmarkierung: 1, 0\n")));
    EXPECT_EQ(weight(net.get(), "y", "zz", false), 1);
    EXPECT_EQ(weight(net.get(), "y", "a", true), 1);
    EXPECT_EQ(weight(net.get(), "b", "zz", true), 1);
    EXPECT_EQ(weight(net.get(), "b", "a", false), 1);
    EXPECT_EQ(place(net.get(), "y")->marking, 1);
    EXPECT_EQ(place(net.get(), "b")->marking, 0);
}

class MatrixErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(MatrixErrors, EndTheProgram) {
    testsupport::TempDir dir;
    std::string path = put(dir, "bad.mat", GetParam().text);
    EXPECT_EXIT(netlib::read_matrix(path), ::testing::ExitedWithCode(GetParam().code), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MatrixErrors,
    ::testing::Values(
        ErrorCase{"1 1\nIncidence:\n", 10, "keyword 'Inzidenzmatrix:' expected"},
        ErrorCase{"1 1\nInzidenzmatrix:\nt\np |( 0,1)\nMarking: 1\n", 10, "keyword 'Startmarkierung:' expected"},
        ErrorCase{"1 1\nInzidenzmatrix:\nt\np |( 0,1)\nStartmarkierung: ( 1\n", 10, "marking vector: '\\)' expected"},
        ErrorCase{"1 1\nInzidenzmatrix:\nt\np ( 0,1)\n", 10, "'\\|' expected, but '\\(' was found"},
        ErrorCase{"2000000000 1\nInzidenzmatrix:\nt\np |( 0,1)\n", 10, "place name expected"},
        ErrorCase{"1 900000000\nInzidenzmatrix:\nt\n", 10, "transition name expected"},
        ErrorCase{"-1 1\nInzidenzmatrix:\n", 10, "incorrect number of places"},
        ErrorCase{"1 1\nInzidenzmatrix:\nt\np |( 0,1)\nStartmarkierung: ( 1, 2 )\n", 10,
                  "marking vector: '\\)' expected"}));

TEST(Matrix, FileErrors) {
    testsupport::TempDir dir;
    NetPtr net = weighted_net();
    EXPECT_EXIT(netlib::read_matrix(dir.file("none")), ::testing::ExitedWithCode(4),
                "WARNING: NN.read_matrix\\(\\): could not open file '.*none' for reading\\.");
    EXPECT_EXIT(netlib::write_matrix(net.get(), dir.file("no/such/dir")), ::testing::ExitedWithCode(5),
                "WARNING: NN.write_matrix\\(\\): could not open file '.*no/such/dir' for writing\\.");
    EXPECT_EXIT(netlib::write_netmarking(net.get(), dir.file("no/such/dir")), ::testing::ExitedWithCode(4),
                "WARNING: NN.write_netmarking\\(\\): could not open file '.*no/such/dir' for reading\\.");
    EXPECT_EXIT(netlib::write_matrix(net.get(), "/dev/full"), ::testing::ExitedWithCode(5),
                "WARNING: NN.write_matrix\\(\\): could not write file '/dev/full'\\.");
}

// ---- GSPN ----------------------------------------------------------------------------

const char* const kGspn =
    "|0|\n"
    "|\n"
    "a small net\n"
    "with two comment lines\n"
    "|\n"
    "skipped\n"
    " f   1   2   0   2   1   0\n"
    "mpar 1\n"
    "idle   1   1.0 2.0 0.5 0.5 0\n"
    "busy   0   3.0 2.0 0.5 0.5 0\n"
    "group 1\n"
    "start 1.0 0 0 0 1 1.0 1.0 0.0 0.0 0\n"
    "   1 1 0 0\n"
    "   1\n"
    "   2 2 1 0\n"
    "   4.0 4.0\n"
    "   0\n"
    "stop 1.0 0 0 0 1 1.0 1.0 0.0 0.0 0\n"
    "   2 2 0 0\n"
    "   1\n"
    "   1 1 0 0\n"
    "   0\n";

TEST(Gspn, NetPartIsRead) {
    testsupport::TempDir dir;
    NetPtr net(netlib::gspn_ini(put(dir, "n.net", kGspn)));
    ASSERT_TRUE(net);
    EXPECT_EQ(fmt_test::names(net->first_place), (std::vector<std::string>{"busy", "idle"}));
    EXPECT_EQ(place(net.get(), "idle")->marking, 1);
    EXPECT_EQ(weight(net.get(), "idle", "start", true), 1);
    EXPECT_EQ(weight(net.get(), "busy", "start", false), 2);
    EXPECT_EQ(weight(net.get(), "busy", "stop", true), 2);
    EXPECT_EQ(weight(net.get(), "idle", "stop", false), 1);
}

TEST(Gspn, InhibitorArcsGiveNoNet) {
    testsupport::TempDir dir;
    std::string text = kGspn;
    text.replace(text.rfind("   0\n"), 5, "   1\n   1 1 0 0\n");
    std::string path = put(dir, "i.net", text);
    testing::internal::CaptureStderr();
    netlib::NET* net = netlib::gspn_ini(path);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: NN.gspn_ini(): net contains inhibitor arcs.\n");
    EXPECT_EQ(net, nullptr);
}

class GspnErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(GspnErrors, EndTheProgram) {
    testsupport::TempDir dir;
    std::string path = put(dir, "bad.net", GetParam().text);
    EXPECT_EXIT(netlib::gspn_ini(path), ::testing::ExitedWithCode(GetParam().code), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GspnErrors,
    ::testing::Values(
        ErrorCase{"|0|\n|\nno bar line\n", 10, "line 4: gspn_ini\\(\\): unexpected end of file"},
        ErrorCase{"a\nb\n|\nx\n g 0 1 0 0 0 0\n", 10, "line 5: gspn_ini\\(\\): header line 'f' expected"},
        ErrorCase{"a\nb\n|\nx\nf 0 1 0 0 0 0\n$$ 1\n", 10, "line 6: gspn_ini\\(\\): place expected"},
        ErrorCase{"a\nb\n|\nx\nf 0 1 0 1 0 0\np 1\nt 1.0 0 0 0 1\n 1 2 0 0\n", 10,
                  "line 8: gspn_ini\\(\\): arc: incorrect place number"},
        ErrorCase{"a\nb\n|\nx\nf 0 1 0 1 0 0\np 1\nt 1.0 0 0 0 1\n 1 1 99999 0\n", 10,
                  "gspn_ini\\(\\): unexpected end of file"},
        ErrorCase{"a\nb\n|\nx\nf 0 1 0 1 0 0\np 1\nt 1.0 0 0 0 -1\n", 10, "line 7: gspn_ini\\(\\): transition expected"},
        ErrorCase{"a\nb\n|\nx\nf 0 1 0 1 0 0\np 1\nt 1.0 0 0 0 0\nmany\n", 10,
                  "line 8: gspn_ini\\(\\): number of arcs expected"}));

TEST(Gspn, MissingFile) {
    testsupport::TempDir dir;
    EXPECT_EXIT(netlib::gspn_ini(dir.file("none")), ::testing::ExitedWithCode(4),
                "WARNING: NN.gspn_ini\\(\\): could not open file '.*none' for reading\\.");
}

}  // namespace

// ---- layout export ---------------------------------------------------------------------

namespace {

TEST(Layout, NetWithKeptExtrasIsListedForDrawing) {
    testsupport::TempDir dir;
    std::string path = put(dir, "l.ll_net",
                           "VOS\nPlainNet\nFORMAT_N\nPL\n"
                           "1\"p\"10@20z\"<1>\"M1b\"lab\"\n"
                           "2\"q\"30@40\n"
                           "TR\n1\"t\"20@30T\"note\"\n"
                           "TP\n1<2p\"x\"\n"
                           "PT\n1>1\n"
                           "TX\n");
    netlib::vos_options.keep_extras = true;
    NetPtr net(netlib::read_VOS(path));
    netlib::vos_options.keep_extras = false;
    std::string out = dir.file("l.layout");
    netlib::export_layout(net.get(), out);
    EXPECT_EQ(testsupport::read_file(out),
              "Place\n"
              "Name p Position 10 20\n 10 20\"lab\" \"\"\n"
              "Name q Position 30 40\n 30 40\"\" \"\"\n"
              "\nTransition\n"
              "Name t Position 20 30\n 20 30\"\" \"note\"\n"
              "\nEdge\n"
              "Name HLEdge1 From t To q\n 25 35 25 35\"x\"\n"
              "Name HLEdge2 From p To t\n 15 25 15 25\"\"\n"
              "\nToken\n"
              "Name p  \"<1>\"\n"
              "\n");

    NetPtr plain(netlib::read_VOS(path));
    EXPECT_EXIT(netlib::export_layout(plain.get(), out), ::testing::ExitedWithCode(10),
                "Internal Error: 'CM_storeCoordinates' not set");
    EXPECT_EXIT(netlib::export_layout(net.get(), dir.file("no/dir")), ::testing::ExitedWithCode(10),
                "Could not open file for writing");
}

}  // namespace
