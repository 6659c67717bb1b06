#include "outfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class OutfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/outfile_testXXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
        old_cwd_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override {
        outfile::discard();
        fs::current_path(old_cwd_);
        fs::remove_all(dir_);
    }

    static void put(const std::string& name, const std::string& text) { std::ofstream(name, std::ios::binary) << text; }
    static std::string get(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Every name in the directory, hidden ones included.
    static std::set<std::string> listing(const std::string& dir = ".") {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
        return names;
    }
    static void write_staged(const std::string& path, const std::string& text, const char* mode = "w") {
        std::FILE* f = outfile::open(path, mode);
        ASSERT_NE(f, nullptr) << path << ": " << std::strerror(errno);
        std::fputs(text.c_str(), f);
        ASSERT_EQ(std::fclose(f), 0);
    }

    std::string dir_;
    fs::path old_cwd_;
};

TEST_F(OutfileTest, SameFileFindsEverySpellingOfOneFile) {
    put("a", "a");
    put("b", "b");
    fs::create_directory("d");
    fs::create_symlink("a", "link");
    fs::create_symlink("link", "link2");
    fs::create_hard_link("a", "hard");
    struct Case {
        const char* x;
        const char* y;
        bool same;
    } cases[] = {
        {"a", "a", true},          {"a", "./a", true},      {"a", "d/../a", true},   {"a", "link", true},
        {"link2", "a", true},      {"a", "hard", true},     {"a", "b", false},       {"a", "d", false},
        {"gone", "./gone", true},  {"gone", "gone2", false}, {"", "", false},         {"a", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(outfile::same_file(c.x, c.y), c.same) << c.x << " vs " << c.y;
        EXPECT_EQ(outfile::same_file(c.y, c.x), c.same) << c.y << " vs " << c.x;
    }
    fs::path abs = fs::current_path() / "a";
    EXPECT_TRUE(outfile::same_file(abs.string(), "a"));

    std::vector<std::string> inputs = {"b", "a"};
    const std::string* hit = outfile::names_input("./link", inputs);
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(*hit, "a");
    EXPECT_EQ(outfile::names_input("new", inputs), nullptr);
}

TEST_F(OutfileTest, CommitPutsEveryOutputInPlaceAndLeavesNoTemporaryFile) {
    put("old", "old text");
    write_staged("new", "one");
    write_staged("old", "two");
    // Until the commit the outputs are unchanged and absent.
    EXPECT_FALSE(fs::exists("new"));
    EXPECT_EQ(get("old"), "old text");
    ASSERT_TRUE(outfile::commit());
    EXPECT_EQ(get("new"), "one");
    EXPECT_EQ(get("old"), "two");
    EXPECT_EQ(listing(), (std::set<std::string>{"new", "old"}));
}

TEST_F(OutfileTest, DiscardOrAnExitWithoutCommitKeepsTheEarlierFiles) {
    put("old", "old text");
    write_staged("old", "half");
    write_staged("new", "half");
    outfile::discard();
    EXPECT_EQ(get("old"), "old text");
    EXPECT_EQ(listing(), std::set<std::string>{"old"});

    EXPECT_EXIT(
        {
            write_staged("old", "half");
            write_staged("new", "half");
            std::exit(3);
        },
        ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(get("old"), "old text");
    EXPECT_EQ(listing(), std::set<std::string>{"old"});
}

TEST_F(OutfileTest, AChildProcessLeavesItsParentsStagedFilesAlone) {
    write_staged("out", "parent");
    EXPECT_EXIT(std::exit(0), ::testing::ExitedWithCode(0), "");
    ASSERT_TRUE(outfile::commit());
    EXPECT_EQ(get("out"), "parent");
}

TEST_F(OutfileTest, AppendModesStartFromThePresentContents) {
    put("log", "abc");
    write_staged("log", "def", "a");
    write_staged("fresh", "xyz", "a");
    ASSERT_TRUE(outfile::commit());
    EXPECT_EQ(get("log"), "abcdef");
    EXPECT_EQ(get("fresh"), "xyz");
}

TEST_F(OutfileTest, LinksStayLinksAndReplacedFilesKeepTheirPermissions) {
    fs::create_directory("d");
    put("d/target", "old");
    ASSERT_EQ(chmod("d/target", 0640), 0);
    fs::create_symlink("d/target", "link");
    write_staged("link", "new");
    write_staged("made", "x");
    ASSERT_TRUE(outfile::commit());
    EXPECT_TRUE(fs::is_symlink("link"));
    EXPECT_EQ(get("d/target"), "new");
    EXPECT_EQ(listing("d"), std::set<std::string>{"target"});
    struct stat st;
    ASSERT_EQ(stat("d/target", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    const mode_t mask = umask(0);
    umask(mask);
    ASSERT_EQ(stat("made", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u & ~mask);
}

TEST_F(OutfileTest, DevicesAreWrittenDirectly) {
    write_staged("/dev/null", "gone");
    ASSERT_TRUE(outfile::commit());
    struct stat st;
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(OutfileTest, OutputsThatCannotBeCreatedFailAtOnce) {
    fs::create_directory("d");
    struct Case {
        const char* path;
        int error;
    } cases[] = {{"nodir/x", ENOENT}, {"d", EISDIR}, {"d/", EISDIR}};
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(outfile::open(c.path), nullptr) << c.path;
        EXPECT_EQ(errno, c.error) << c.path;
        EXPECT_EQ(outfile::open_fd(c.path), -1) << c.path;
    }
    EXPECT_EQ(listing(), std::set<std::string>{"d"});
}

TEST_F(OutfileTest, AFileClosedToWritingIsNotReplaced) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write every file";
    put("locked", "kept");
    ASSERT_EQ(chmod("locked", 0444), 0);
    errno = 0;
    EXPECT_EQ(outfile::open("locked"), nullptr);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(get("locked"), "kept");
    EXPECT_EQ(listing(), std::set<std::string>{"locked"});
}

TEST_F(OutfileTest, AFailedRenameRemovesTheRestAndNamesTheOutput) {
    put("second", "kept");
    write_staged("first", "1");
    write_staged("second", "2");
    // The first name turns into a directory before the commit.
    fs::create_directory("first");
    std::string failed;
    EXPECT_FALSE(outfile::commit(&failed));
    EXPECT_EQ(failed, "first");
    EXPECT_EQ(get("second"), "kept");
    EXPECT_EQ(listing(), (std::set<std::string>{"first", "second"}));
}

TEST_F(OutfileTest, StagedNameAndDescriptorsReachTheFileBeingWritten) {
    int fd = outfile::open_fd("bin");
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "raw", 3), 3);
    ASSERT_EQ(close(fd), 0);
    const std::string temp = outfile::staged_name("bin");
    EXPECT_NE(temp, "bin");
    EXPECT_EQ(get(temp), "raw");
    EXPECT_EQ(outfile::staged_name("other"), "other");
    ASSERT_TRUE(outfile::commit());
    EXPECT_EQ(get("bin"), "raw");
    EXPECT_EQ(outfile::staged_name("bin"), "bin");
}

}  // namespace
