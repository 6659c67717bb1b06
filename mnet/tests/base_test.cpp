#include <gtest/gtest.h>

#include <new>

#include <cstdio>
#include <cstring>

#include "mnet_base.h"

using namespace mnet;

namespace {
struct ReportState : ::testing::Test {
    void SetUp() override {
        parsing_flag = 0;
        scanner_line = 1;
        scanner_token.clear();
        error_counter = 0;
    }
    void TearDown() override { SetUp(); }
};

// A stream over a text.
std::FILE* text_stream(const std::string& text) {
    std::FILE* f = std::tmpfile();
    std::fputs(text.c_str(), f);
    std::rewind(f);
    return f;
}
}  // namespace

TEST_F(ReportState, OutsideParsingNoPrefix) {
    testing::internal::CaptureStderr();
    report(WARNING, "value %d", 5);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "warning: value 5\n");
}

TEST_F(ReportState, WhileParsingNumbersCountedErrors) {
    parsing_flag = 1;
    scanner_line = 7;
    scanner_token = "od";
    testing::internal::CaptureStderr();
    report(ERROR, "undeclared identifier %s", "x");
    report(ERROR_UNCOUNTED, "again");
    scanner_token.clear();
    report(ERROR, "second");
    report(INFO, "note");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[line   7] error   1   (before or at 'od'): undeclared identifier x\n"
              "[line   7] error   1   (before or at 'od'): again\n"
              "[line   7] error   2  : second\n"
              "[line   7] info   : note\n");
    EXPECT_EQ(error_counter, 2);
}

TEST(ReportDeath, FatalExitsWithBlankLine) {
    EXPECT_EXIT(report(FATAL, "boom %s", "now"), ::testing::ExitedWithCode(1), "fatal  : boom now\n\n");
}

TEST(Memory, MallocIsZeroFilledAndTrackedReleaseWorks) {
    auto* p = static_cast<unsigned char*>(MYmalloc(64));
    for (int i = 0; i < 64; ++i) EXPECT_EQ(p[i], 0);
    EXPECT_EQ(release(p), 1);
    memory_tracking = true;
    void* q = MYmalloc(8);
    q = Realloc(q, 100);
    char* s = MYstrdup("abc");
    int local = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(release(&local), 0);  // never allocated: reported and kept
    EXPECT_EQ(release(q), 1);
    FreeAll(0);  // reports the string
    std::string err = testing::internal::GetCapturedStderr();
    memory_tracking = false;
    EXPECT_NE(err.find("Memory could not be released"), std::string::npos);
    EXPECT_NE(err.find("FreeAll: Memory at"), std::string::npos);
    EXPECT_EQ(err.find("FreeAll", err.find("FreeAll") + 1), std::string::npos);  // only one block left
    (void)s;
}

TEST(MemoryDeath, FailedOperatorNewEndsWithCodeThree) {
    // The handler runs where operator new finds no memory.
    auto fail = [] {
        install_memory_handler();
        std::get_new_handler()();
    };
    EXPECT_EXIT(fail(), ::testing::ExitedWithCode(3), "^ERROR: NN\\.MYmalloc\\(\\): memory overflow\\.\n$");
}

TEST(Tokens, SeparatorsCommentsNumbersCoordinates) {
    std::FILE* f = text_stream("% comment\n  -  12 30 @ 60 x\n");
    scan.line = 1;
    EXPECT_EQ(SkipSeparators(f), '-');  // comment line and blanks skipped
    EXPECT_EQ(scan.line, 2);
    std::ungetc('-', f);
    EXPECT_EQ(ReadNumber(f), -12);
    std::int32_t x, y;
    ReadCoordinates(f, x, y);
    EXPECT_EQ(x, 30);
    EXPECT_EQ(y, 60);
    EXPECT_EQ(PeekSymbol(f, 'y'), 0);
    EXPECT_EQ(PeekSymbol(f, 'x'), 1);
    std::fclose(f);
}

TEST(Tokens, WordsAndStrings) {
    std::FILE* f = text_stream("abc_1,rest \"a\nb\" 'q\"q'");
    EXPECT_EQ(ReadCmdToken(f), "abc_1");
    char buf[8];
    EXPECT_EQ(std::getc(f), ',');
    EXPECT_EQ(ReadWord(f, buf, sizeof buf), 4u);
    EXPECT_STREQ(buf, "rest");
    scan.line = 1;
    EXPECT_EQ(RL_ReadEnclString(f), "a\nb");
    EXPECT_EQ(scan.line, 2);
    EXPECT_EQ(RL_ReadEnclString(f), "q\"q");
    std::fclose(f);
}

TEST(Tokens, HlReaderWordIsCutAndStringIsWhole) {
    std::string word(600, 'w');
    std::string big(10000, 's');
    std::FILE* f = text_stream(word + " next \"" + big + "\"");
    std::string out;
    ReadCmdToken(f, out, 512);
    EXPECT_EQ(out, std::string(511, 'w'));
    ReadCmdToken(f, out, 512);
    EXPECT_EQ(out, "next");
    EXPECT_EQ(SkipSeparators(f), '"');
    std::ungetc('"', f);
    EXPECT_EQ(ReadEnclString(f), big);
    std::fclose(f);
}

TEST(TokensDeath, ErrorsGoThroughTheSyntaxErrorExit) {
    scan.file = "in.net";
    scan.line = 4;
    EXPECT_EXIT(
        {
            std::FILE* f = text_stream("abc");
            ReadNumber(f);
        },
        ::testing::ExitedWithCode(10), "ERROR: syntax error in file 'in.net', line 4: ReadNumber: digit expected.\n");
    EXPECT_EXIT(
        {
            std::FILE* f = text_stream("99999999999");
            ReadNumber(f);
        },
        ::testing::ExitedWithCode(10), "number out of range");
    EXPECT_EXIT(
        {
            std::FILE* f = text_stream("\"open");
            RL_ReadEnclString(f);
        },
        ::testing::ExitedWithCode(10), "RL_ReadEnclString: closing \" is missing");
    EXPECT_EXIT(
        {
            std::FILE* f = text_stream("'open");
            ReadEnclString(f);
        },
        ::testing::ExitedWithCode(10), "ReadCmdToken\\(\\): closing ' is missing");
    EXPECT_EXIT(
        {
            std::FILE* f = text_stream("30 60");
            std::int32_t c[2];
            ReadCoordinates(f, c[0], c[1]);
        },
        ::testing::ExitedWithCode(10), "ReadCoordinates: `@' expected");
}

TEST(Tokens, ReplacedHookAbortsTheRoutine) {
    static std::string seen;
    error_hook = [](const std::string& m) { seen = m; };
    std::FILE* f = text_stream("x");
    EXPECT_THROW(ReadNumber(f), ReadAborted);
    EXPECT_EQ(seen, "ReadNumber: digit expected");
    error_hook = [](const std::string& m) { syntax_error(m); };
    std::fclose(f);
}

TEST(Quoting, DoubleQuoteTextsGoBetweenSingleQuotes) {
    std::FILE* f = std::tmpfile();
    write_quoted(f, "plain");
    write_quoted(f, "say \"hi\"");
    std::rewind(f);
    char buf[64] = {};
    std::fread(buf, 1, sizeof buf - 1, f);
    EXPECT_STREQ(buf, "\"plain\"'say \"hi\"'");
    std::fclose(f);
}
