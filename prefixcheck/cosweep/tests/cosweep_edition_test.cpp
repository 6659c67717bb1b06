// cosweep's edition of the net library: the same code as every program's,
// switched to cosweep's messages and insert behaviour.
#include <gtest/gtest.h>

#include <cstdio>

#include "formats/formats.h"
#include "net.h"
#include "outfile.h"
#include "petri_test.h"
#include "scanner.h"
#include "vos.h"

namespace {

struct Edition : testing::Test {
    void SetUp() override { netlib::edition = netlib::Edition::Cosweep; }
    void TearDown() override {
        netlib::edition = netlib::Edition::Standard;
        netlib::vos_options = netlib::VosOptions();
    }
    std::string net_file(const std::string& text) {
        std::string path = dir.file("n.ll_net");
        testsupport::write_file(path, text);
        return path;
    }
    testsupport::TempDir dir;
};

std::FILE* text_stream(const std::string& text) {
    std::FILE* f = std::tmpfile();
    std::fputs(text.c_str(), f);
    std::rewind(f);
    return f;
}

}  // namespace

TEST_F(Edition, FatalMessages) {
    EXPECT_EXIT(netlib::memory_overflow("Strdup", 12), testing::ExitedWithCode(3),
                "^ERROR: NN.Strdup\\(\\): memory overflow.\n$");
    EXPECT_EXIT(netlib::read_new_VOS(dir.file("none.ll_net")), testing::ExitedWithCode(4),
                "^ERROR: CM.read_VOS\\(\\): could not open file '.*none.ll_net' for reading.\n$");
    struct Case { const char* place_line; const char* text; };
    for (const Case& c : {Case{"\"p\"M-x", "ReadNumber\\(\\): digit expected"},
                          Case{"\"p\"A5x", "ReadSymbol: unexpected character read"}}) {
        std::string path = net_file(std::string("VOS\nPlainNet\nFORMAT_N\nPL\n") + c.place_line + "\nTR\nTP\nPT\nTX\n");
        EXPECT_EXIT(netlib::read_new_VOS(path), testing::ExitedWithCode(10),
                    std::string("line 5: ") + c.text + ".\n$")
            << c.place_line;
    }
    // The token routines: their own texts, nothing printed before the error.
    EXPECT_EXIT(netlib::expect_char(text_stream("x"), '@'), testing::ExitedWithCode(10),
                "ReadSymbol: unexpected character read");
    EXPECT_EXIT(netlib::read_integer(text_stream("-y")), testing::ExitedWithCode(10),
                "ReadNumber\\(\\): digit expected");
    testing::internal::CaptureStdout();
    EXPECT_EXIT(
        {
            netlib::ReadCmdToken(text_stream("#"), 10);
        },
        testing::ExitedWithCode(10), "ReadCmdToken\\(\\): alphanumerical string expected");
    EXPECT_EXIT(netlib::ReadAlphaName(text_stream("#"), 10), testing::ExitedWithCode(10),
                "ReadAlphaName: alphanumerische Zeichenkette erwartet");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(Edition, ReaderInsertsWarnAndPlacesTakeTheirComponent) {
    netlib::NET* net = netlib::new_net();
    netlib::NET_NODE* cursor = nullptr;
    netlib::NET_NODE* p = netlib::fast_insert_place(net, "p", 1, cursor, 7);
    EXPECT_EQ(p->aux, 7u);
    netlib::duplicate_policy = 1;   // no policy in this edition: still only a warning
    testing::internal::CaptureStderr();
    EXPECT_EQ(netlib::fast_insert_place(net, "p", 0, cursor, 9), p);
    netlib::NET_NODE* t = netlib::fast_insert_transition(net, "t", cursor);
    EXPECT_EQ(netlib::fast_insert_transition(net, "t", cursor), t);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: NN.fast_insert_place(): place 'p' already exists.\n"
              "WARNING: NN.fast_insert_transition(): transition 't' already exists.\n");
    netlib::duplicate_policy = 2;
    EXPECT_EQ(p->aux, 7u);
    EXPECT_EQ(p->marking, 1);
    netlib::delete_net(net);
}

TEST_F(Edition, WritersLeaveOutTextsAndComponents) {
    netlib::vos_options.keep_extras = true;
    netlib::NET* net = netlib::read_new_VOS(
        net_file("VOS\nPlainNet\nFORMAT_N\nPL\n\"p\"M1C2T\"note\"\nTR\n\"t\"T\"tnote\"\nTP\n1<1\nPT\n1>1\nTX\n"));
    netlib::write_VOS(net, dir.file("w.ll_net"));
    outfile::commit();
    std::string text = testsupport::read_file(dir.file("w.ll_net"));
    EXPECT_EQ(text.find("note"), std::string::npos) << text;
    netlib::write_VOS_PlainNet(net, dir.file("plain.ll_net"), true);
    outfile::commit();
    text = testsupport::read_file(dir.file("plain.ll_net"));
    EXPECT_NE(text.find("\n\"p\"30@30M1\n"), std::string::npos) << text;
    netlib::delete_net(net);
}

TEST_F(Edition, SideFormatsReadQuietlyWithTheirOwnTexts) {
    std::string path = dir.file("x.g");
    testsupport::write_file(path, ".inputs a c\n.graph\na+ c\nc p\n.marking { p }\n.end\n");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    netlib::NET* net = netlib::read_STG(path);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "CP_read_STG(): transition name without trailing +/-/~ found (c)\n"
              "CP_read_STG(): transition name without trailing +/-/~ found (c)\n");
    ASSERT_NE(net, nullptr);
    EXPECT_NE(netlib::find_T(net, "c~"), nullptr);
    netlib::delete_net(net);

    struct Case { const char* text; const char* message; };
    for (const Case& c : {Case{"1 1\nIncidence:\n", "Schluesselwort 'Inzidenzmatrix:' erwartet"},
                          Case{"1 1\nInzidenzmatrix:\nt\np |( 0,1)\nMarking: 1\n", "Schluesselwort 'Startmarkierung:' erwartet"},
                          Case{"1 1\nInzidenzmatrix:\nt\np |( 0,1)\nStartmarkierung: ( 1\n", "Markierungsvektor: '\\)' erwartet"}}) {
        std::string m = dir.file("m.txt");
        testsupport::write_file(m, c.text);
        EXPECT_EXIT(netlib::read_matrix(m), testing::ExitedWithCode(10), c.message) << c.text;
    }
}

TEST_F(Edition, FormatAReadsWithoutReportingTheTableGrowth) {
    // Identifiers beyond the first table size make the table grow twice.
    std::string text = "VOS\nPetriBox\nFORMAT_A\n";
    for (unsigned id : {1u, 2500u, 5200u}) text += "PLA:\nidt: " + std::to_string(id) + "\nend:\n";
    text += "END:\n";
    testing::internal::CaptureStdout();
    netlib::NET* net = netlib::read_FORMAT_A_file(net_file(text));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_NE(net, nullptr);
    EXPECT_EQ(net->places, 3u);
    netlib::delete_net(net);
}
