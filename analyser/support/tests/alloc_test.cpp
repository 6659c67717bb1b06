// Allocation, text helpers and diagnostics.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "alloc.h"
#include "testutil.h"

using supporttest::RunChild;

TEST(Alloc, ZeroSizesGiveNullAndFreeing) {
    EXPECT_EQ(Etacolla(0), nullptr);
    EXPECT_EQ(YarraColla(0, 8), nullptr);
    EXPECT_EQ(YarraColla(8, 0), nullptr);
    void* block = Etacolla(16);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Reallocate(block, 0), nullptr);  // freed: the sanitizer would see a leak
    Deallocate(nullptr);
    auto* zeroed = static_cast<unsigned char*>(YarraColla(5, 7));
    for (int i = 0; i < 35; ++i)
        EXPECT_EQ(zeroed[i], 0);
    Deallocate(zeroed);
    int value = 3;
    EXPECT_EQ(Pvoid(&value), &value);
}

TEST(Alloc, FailuresEndTheProcessWithTheirMessages) {
    const size_t huge = SIZE_MAX / 2;
    struct Case {
        std::function<void()> call;
        std::string message;
    };
    void* old = nullptr;
    std::vector<Case> cases = {
        {[&] { Etacolla(huge); }, "\nmalloc(" + std::to_string(huge) + ") failed\n"},
        {[&] { YarraColla(huge, 4); }, "\ncalloc(" + std::to_string(huge) + ", 4) failed\n"},
        {[&] {
             old = Etacolla(8);
             Reallocate(old, huge);
         },
         ""},
    };
    for (const Case& c : cases) {
        auto run = RunChild(c.call);
        EXPECT_FALSE(run.exited);
        EXPECT_EQ(run.signal, SIGABRT);
        EXPECT_EQ(run.out, "\n");
        if (!c.message.empty())
            EXPECT_EQ(run.err, c.message);
        else
            EXPECT_EQ(run.err.rfind("\nrealloc(0x", 0), 0u) << run.err;
    }
}

TEST(Alloc, FileNameAndReadLong) {
    char* name = FileName("net", "dat");
    EXPECT_STREQ(name, "net.dat");
    Deallocate(name);
    name = FileName("", "");
    EXPECT_STREQ(name, ".");
    Deallocate(name);
    long value = 0;
    EXPECT_EQ(ReadLong("-42x", &value), 1);
    EXPECT_EQ(value, -42);
    EXPECT_EQ(ReadLong("x", &value), 0);
    EXPECT_EQ(ReadLong("", &value), EOF);
}

namespace {

// Reads every line of the text through BruteReadln with one buffer.
struct Lines {
    std::vector<std::string> lines;
    std::vector<int> results;
    std::vector<unsigned> sizes;
};

Lines ReadAll(const std::string& text, char* buffer = nullptr, unsigned size = 0) {
    FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    if (text.empty())
        file = std::fopen("/dev/null", "r");
    Lines result;
    for (;;) {
        int r = BruteReadln(&buffer, &size, file);
        result.lines.emplace_back(buffer);
        result.results.push_back(r);
        result.sizes.push_back(size);
        if (!r)
            break;
    }
    std::fclose(file);
    Deallocate(buffer);
    return result;
}

}  // namespace

TEST(Alloc, BruteReadlnGrowsAndKeepsEveryLine) {
    // From an empty buffer the sizes go 1, 2, 4, 7, 11, ...
    Lines one = ReadAll("abcdefghi\n");
    ASSERT_EQ(one.lines.size(), 2u);
    EXPECT_EQ(one.lines[0], "abcdefghi\n");
    EXPECT_EQ(one.results[0], 1);
    EXPECT_EQ(one.sizes[0], 11u);
    EXPECT_EQ(one.lines[1], "");
    EXPECT_EQ(one.results[1], 0);

    std::string longLine(100000, 'x');
    for (size_t i = 0; i < longLine.size(); ++i)
        longLine[i] = static_cast<char>('a' + i % 26);
    Lines many = ReadAll(longLine + "\nshort\nlast", static_cast<char*>(Etacolla(4)), 4);
    ASSERT_EQ(many.lines.size(), 3u);
    EXPECT_EQ(many.lines[0], longLine + "\n");
    EXPECT_EQ(many.lines[1], "short\n");
    EXPECT_EQ(many.lines[2], "last\n");  // a newline replaces the missing one
    EXPECT_EQ(many.results, (std::vector<int>{1, 1, 0}));
    EXPECT_GT(many.sizes[0], longLine.size() + 1);
    EXPECT_EQ(many.sizes[2], many.sizes[0]);  // never shrinks

    Lines none = ReadAll("");
    EXPECT_EQ(none.lines, std::vector<std::string>{""});
    EXPECT_EQ(none.results, std::vector<int>{0});
    EXPECT_EQ(none.sizes, std::vector<unsigned>{1});
}

namespace {

int PositionHook(const char** name, unsigned long* line) {
    *name = "net.net";
    *line = 12;
    return 1;
}

int StdinHook(const char** name, unsigned long* line) {
    *name = nullptr;
    *line = 3;
    return 1;
}

}  // namespace

TEST(Alloc, DiagnosticsPrintPositionAndMessageVerbatim) {
    auto run = RunChild([] {
        Warning("first %s %d");
        errPositionHook = PositionHook;
        error("100% wrong");
        if (exitStatus != 1)
            _exit(7);
        errPositionHook = StdinHook;
        Warning("$not special");
        errno = ENOENT;
        Fatal("$Cannot open file x for reading");
    });
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err,
              "\nWarning: first %s %d\n"
              "net.net: 12: 100% wrong\n"
              "<standard input>: 3: Warning: $not special\n"
              "<standard input>: 3: Cannot open file x for reading\n"
              "Errno 2: " + std::string(std::strerror(ENOENT)) + "\n");
}

TEST(Alloc, FatalWithoutDollarAndErrnoHelpers) {
    auto run = RunChild([] { Fatal("plain"); });
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "\nplain\n");

    errno = ENOENT;
    EXPECT_TRUE(FileNotFoundErrno());
    EXPECT_EQ(Errno(), ENOENT);
    errno = EACCES;
    EXPECT_FALSE(FileNotFoundErrno());
    ClearErrno();
    EXPECT_EQ(Errno(), 0);
}
