// Token routines of the net readers.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <unistd.h>

#include "scanner.h"
#include "test_util.h"

using namespace netlib;

namespace {

struct Stream {
    std::FILE* f;
    explicit Stream(const std::string& text) : f(std::tmpfile()) {
        std::fputs(text.c_str(), f);
        std::rewind(f);
        scan.file = "input";
        scan.line = 1;
    }
    ~Stream() { std::fclose(f); }
    operator std::FILE*() const { return f; }
    std::string rest() {
        std::string s;
        for (int c; (c = std::getc(f)) != EOF;) s += static_cast<char>(c);
        return s;
    }
};

}  // namespace

TEST(Scanner, IntegersAndPairs) {
    Stream in("-12 - 12 12@-3x 7\n8");
    EXPECT_EQ(read_integer(in), -12);
    EXPECT_EQ(read_integer(in), -12);
    long a = 0, b = 0;
    read_number_pair(in, a, b);
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, -3);
    EXPECT_EQ(std::getc(in), 'x');
    EXPECT_EQ(read_integer(in), 7);
    EXPECT_EQ(read_integer(in), 8);
    EXPECT_EQ(scan.line, 2);
    Stream at("12@");
    EXPECT_EQ(read_integer(at), 12);
    EXPECT_EQ(at.rest(), "@");
}

TEST(Scanner, CommentsAndLineCount) {
    Stream in("  % a comment\n\t%another\nX\nY");
    EXPECT_EQ(next_significant(in), 'X');
    EXPECT_EQ(scan.line, 3);
    EXPECT_EQ(next_significant(in), '\n');
    EXPECT_EQ(scan.line, 4);
    Stream lines("a\nb\nc\nd");
    skip_lines(lines, 2);
    EXPECT_EQ(scan.line, 3);
    EXPECT_EQ(next_nonblank(lines), 'c');
    EXPECT_EQ(next_nonblank(lines), 'd');
    EXPECT_EQ(scan.line, 4);
    EXPECT_EQ(next_nonblank(lines), EOF);
}

TEST(Scanner, CharactersAndWords) {
    Stream in("  x  y word,next  longwordrest tail");
    EXPECT_EQ(test_char(in, 'x'), 1);
    EXPECT_EQ(test_char(in, 'z'), 0);
    expect_char(in, 'y');
    EXPECT_EQ(read_word(in, 10), "word");
    EXPECT_EQ(std::getc(in), ',');
    EXPECT_EQ(read_word(in, 10), "next");
    EXPECT_EQ(read_word(in, 8), "longword");
    EXPECT_EQ(read_word(in, 8), "tail");
}

TEST(Scanner, Strings) {
    Stream in("'abc' 'toolongstring' rest");
    EXPECT_EQ(ReadString(in, 10), "abc");
    EXPECT_EQ(ReadString(in, 5), "tool");
    EXPECT_EQ(in.rest(), " rest");
    Stream encl(" % c\n\"a name\" 'x\"y' \"cut here\" after");
    EXPECT_EQ(ReadEnclString(encl, 100), "a name");
    EXPECT_EQ(scan.line, 2);
    EXPECT_EQ(ReadEnclString(encl, 100), "x\"y");
    EXPECT_EQ(ReadEnclString(encl, 3), "cut");
    EXPECT_EQ(encl.rest(), " after");
}

TEST(Scanner, Names) {
    Stream in(" ^ abc_?!x, 12ab:  PLA:x  abcdef");
    EXPECT_EQ(ReadAlphaName(in, 20), "^abc_?!x");
    EXPECT_EQ(std::getc(in), ',');
    EXPECT_EQ(ReadCmdToken(in, 20), "12ab");
    EXPECT_EQ(std::getc(in), ':');
    EXPECT_EQ(ReadCommand(in, 10), "PLA");
    EXPECT_EQ(std::getc(in), 'x');
    EXPECT_EQ(ReadAlphaName(in, 3), "abc");
    EXPECT_EQ(in.rest(), "");
}

// Every syntax error of the token routines: message, line and exit code 10.
TEST(ScannerDeathTest, EveryMessage) {
    struct Case {
        const char* input;
        std::function<void(std::FILE*)> read;
        int line;
        const char* text;
        const char* out;   // expected on standard output before the error
    };
    const Case cases[] = {
        {"\n\nq", [](std::FILE* f) { expect_char(f, '@'); }, 3, "'@' expected, but 'q' was found", ""},
        {"", [](std::FILE* f) { expect_char(f, ':'); }, 1, "':' expected, but end of file was found", ""},
        {"\nx", [](std::FILE* f) { read_integer(f); }, 2, "digit expected", ""},
        {"- x", [](std::FILE* f) { read_integer(f); }, 1, "digit expected", ""},
        {"99999999999", [](std::FILE* f) { read_integer(f); }, 1, "number out of range", ""},
        {"1@x", [](std::FILE* f) { long a, b; read_number_pair(f, a, b); }, 1, "digit expected", ""},
        {"1 2", [](std::FILE* f) { long a, b; read_number_pair(f, a, b); }, 1, "'@' expected, but '2' was found", ""},
        {"\"x\"", [](std::FILE* f) { ReadString(f, 10); }, 1, "ReadString: \"'\" erwartet", ""},
        {" +", [](std::FILE* f) { ReadAlphaName(f, 10); }, 1, "ReadAlphaName: alphanumerische Zeichenkette erwartet",
         "43.\n"},
        {"%c\n-", [](std::FILE* f) { ReadCmdToken(f, 10); }, 2, "ReadCmdToken(): alphanumerical string expected",
         "'-'\n"},
        {"abc", [](std::FILE* f) { ReadEnclString(f, 10); }, 1, "ReadEnclString(): string leading ' or \" expected", ""},
        {"\"abc\ndef", [](std::FILE* f) { ReadEnclString(f, 10); }, 2, "ReadEnclString(): closing \" is missing", ""},
        {"'abc", [](std::FILE* f) { ReadEnclString(f, 10); }, 1, "ReadEnclString(): closing ' is missing", ""},
        {"ABCD:", [](std::FILE* f) { ReadCommand(f, 10); }, 1, "ReadCommand(): unknown command found", ""},
        {"ABC;", [](std::FILE* f) { ReadCommand(f, 10); }, 1, "':' expected, but ';' was found", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        // Standard output joins the error stream, so that the order of both
        // is checked too.
        EXPECT_EXIT(
            {
                dup2(2, 1);
                Stream in(c.input);
                c.read(in);
            },
            testing::ExitedWithCode(10),
            "^" + nettest::literal(c.out + nettest::syntax_message("input", c.line, c.text)) + "$");
    }
}
