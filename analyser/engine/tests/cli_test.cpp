// The analyser built for described nets, run as a program: the tester's
// reports with their error files, refused options, components, signals.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <set>
#include <sstream>

#include "enginemain.h"
#include "enginetest.h"

using namespace enginetest;

namespace {

// p0 -a-> p1 [-b-> p2]; the tester place t moves from value 0 to 1 with a
// (and to 2 with b); the given tester values carry the given conditions.
ptnet::Net TesterNet(bool chain, std::map<std::int32_t, unsigned> bits) {
    ptnet::Net net;
    net.places = {{"p0", 0, {{0, 1}}}, {"p1", 0, {}}, {"p2", 0, {}}, {"t", 1, {{0, 1}}}};
    net.transitions = {{"a", {{0, 1}, {3, 1, 0}}, {{1, 1}, {3, 1, 1}}, true, 0, {}}};
    if (chain)
        net.transitions.push_back({"b", {{1, 1}, {3, 1, 1}}, {{2, 1}, {3, 1, 2}}, false, 0, {}});
    net.tester = 3;
    net.testerBits = bits;
    return net;
}

std::string Report(const std::string& what, int node, const std::string& base) {
    return std::string("\n") + what + "\nNode " + std::to_string(node) + "\nFor more information, start \"kenner " +
           base + "\"\nand look at the set %1\n";
}

TEST(EngineAnalyser, DeadlockTesterStops) {
    struct Case {
        const char* what;
        bool chain;
        std::string args;
        std::map<std::int32_t, unsigned> bits;
        std::string report;
        int node;
    } cases[] = {
        {"deadlock", false, "-i", {{1, 2}}, "Deadlock reached", 1},
        {"reject at the start", false, "-i", {{0, 1}}, "Reject state reached", 0},
        {"deadlock ending a chain", true, "-e", {{2, 2}}, "Deadlock reached", 1},
    };
    for (const Case& c : cases) {
        testsupport::TempDir dir;
        ptnet::Write(TesterNet(c.chain, c.bits), dir.file("x"));
        auto run = Analyser(dir.path(), "x", c.args);
        EXPECT_EQ(run.exit_code, 1) << c.what << run.err;
        EXPECT_EQ(run.out, Report(c.report, c.node, "x")) << c.what;
        RawGraph g = ReadRaw(dir.file("x"));
        ASSERT_TRUE(g.ok) << c.what << ": " << g.error;
        EXPECT_TRUE(g.header[0] & 0x1000) << c.what << ": the illegal path is marked";
        std::string err = testsupport::read_file(dir.file("x.err"));
        ASSERT_EQ(err.size(), 8u) << c.what;
        EXPECT_EQ(Hex(err.substr(4)), "FF FF FF FF");
        EXPECT_EQ(static_cast<unsigned char>(err[0]) | static_cast<unsigned char>(err[1]) << 8,
                  g.nodes[c.node].address);
        EXPECT_TRUE(testsupport::read_file(dir.file("x.hsh")).empty()) << c.what << ": no hash is kept";
        // Refused: as complete when the report counted the last node, else
        // for the illegal path.
        auto again = Analyser(dir.path(), "x", c.args + " -c");
        EXPECT_EQ(again.exit_code, 4) << c.what;
        EXPECT_TRUE(again.err.find("an illegal path has already been found") != std::string::npos ||
                    again.err.find("has been completely generated") != std::string::npos)
            << again.err;
    }
}

// For ZEL users a stop writes the LTS of the graph so far, its actions
// named by the transition instances.
TEST(EngineAnalyser, ZelUsersGetTheLtsOfAStoppedGraph) {
    testsupport::TempDir dir;
    ptnet::Write(TesterNet(false, {{1, 2}}), dir.file("x"));
    auto run = Analyser(dir.path(), "x", "-i -Z");
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_EQ(testsupport::read_file(dir.file("x.lts")),
              "LTS |B|\nROOT |0|\nNODE_COUNT |2|\nARC_COUNT |1|\nSYMBOL_COUNT |2|\nHISTORY |created by ptanalyser|\n"
              "END_HEADER\nSYMBOLS\n0 i\n1 a\nEND_SYMBOLS\nARCS\n0 1 1\nEND_ARCS\nNODES\nEND_NODES\nEND_LTS\n");
}

// The instance keys in binary form: places, then the transitions of every
// class, each key with its length.
TEST(EngineAnalyser, InstanceKeys) {
    testsupport::TempDir dir;
    testsupport::TestNet tn;
    tn.place_names = {"p1", "p2"};
    tn.trans_names = {"a", "b"};
    tn.pre = {{0}, {1}};
    tn.post = {{1}, {0}};
    tn.m0 = {1, 0};
    ptnet::Write(ptnet::FromTestNet(tn), dir.file("x"));
    EXPECT_EQ(Analyser(dir.path(), "x", "-i -b").exit_code, 0);
    EXPECT_EQ(Hex(testsupport::read_file(dir.file("x.bnt"))),
              "02 00 00 00 01 00 00 00 01 01 00 00 00 02 02 00 00 00 01 00 00 00 01 01 00 00 00 02");
}

TEST(EngineAnalyser, CommandLines) {
    testsupport::TempDir dir;
    ptnet::Write(TesterNet(false, {}), dir.file("x"));
    struct Case {
        std::string args;
        int code;
        const char* message;
    } cases[] = {
        {"-q", 3, "unknown option -q"},
        {"-h 0", 3, "-h needs a number of hash slots"},
        {"-z -c", 3, "-z needs the whole generation"},
        {"x", 3, "a second net name"},
        {"-c", 4, "Cannot open file x.gph"},
        {"-s -L -R -P -r 5", 0, ""},
        {"-T -R -r 4", 0, ""},
        {"-i -F", 0, ""},
    };
    for (const Case& c : cases) {
        auto run = Analyser(dir.path(), "x", c.args);
        EXPECT_EQ(run.exit_code, c.code) << c.args;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.args << ": " << run.err;
        if (c.code == 3) {
            EXPECT_NE(run.err.find("\nUsage:  ptanalyser [-b] [-c]"), std::string::npos) << run.err;
        }
    }
    // The nested search for infinite paths keeps its paths in memory: it
    // starts again rather than continue.
    ptnet::Write(TesterNet(false, {{1, 8}}), dir.file("x"));
    auto nested = Analyser(dir.path(), "x", "-i -c");
    EXPECT_EQ(nested.exit_code, 4);
    EXPECT_NE(nested.err.find("cannot be continued: start it again without -c"), std::string::npos) << nested.err;
    // Sleep sets stay without the tester's livelock check.
    ptnet::Write(TesterNet(false, {{1, 4}}), dir.file("x"));
    auto sleep = Analyser(dir.path(), "x", "-l");
    EXPECT_EQ(sleep.exit_code, 6);
    EXPECT_NE(sleep.err.find("Sleep sets work without CFFD"), std::string::npos) << sleep.err;
    auto none = Analyser(dir.path(), "nonet", "-i");
    EXPECT_EQ(none.exit_code, 4);
}

// n independent toggles a_k <-> b_k, each starting in a_k: 2^n nodes.
testsupport::TestNet Toggles(int n) {
    testsupport::TestNet tn;
    for (int k = 0; k < n; ++k) {
        tn.place_names.push_back("a" + std::to_string(k));
        tn.place_names.push_back("b" + std::to_string(k));
        tn.m0.push_back(1);
        tn.m0.push_back(0);
        tn.trans_names.push_back("t" + std::to_string(k));
        tn.pre.push_back({2 * k});
        tn.post.push_back({2 * k + 1});
        tn.trans_names.push_back("u" + std::to_string(k));
        tn.pre.push_back({2 * k + 1});
        tn.post.push_back({2 * k});
    }
    return tn;
}

// A graph of 4 toggles interrupted after 3 of its 16 nodes, its files
// damaged: the continuation and the dump refuse them with the unusable
// graph's exit status instead of reading past what the files hold.
// The installed usage text and the built-in one are one text, and it names
// every option the engine main accepts, each once in the synopsis and once
// in the option list, and every exit status.
TEST(EngineAnalyser, UsageTextListsWhatTheMainAccepts) {
    const std::string text = testsupport::read_file(std::string(TULM_SOURCE_PATH) + "/cfg/tulm.msg");
    ASSERT_FALSE(text.empty());
    std::set<char> accepted;
    for (char c = 'A'; c <= 'z'; ++c) {
        if (!std::isalpha(static_cast<unsigned char>(c)))
            continue;
        for (std::string arg : {std::string("-") + c, std::string("-") + c + "1"}) {
            std::string prog = "p", net = "n";
            char* argv[] = {prog.data(), arg.data(), net.data()};
            engine::Options o;
            std::string error;
            if (engine::ParseOptions(3, argv, &o, &error))
                accepted.insert(c);
        }
    }
    const std::size_t synopsisEnd = text.find("\n\n");
    ASSERT_NE(synopsisEnd, std::string::npos);
    std::set<char> synopsis, described;
    for (std::size_t at = 0; (at = text.find("[-", at)) < synopsisEnd; at += 2) {
        EXPECT_TRUE(synopsis.insert(text[at + 2]).second) << text[at + 2];
    }
    std::istringstream lines(text.substr(synopsisEnd));
    for (std::string line; std::getline(lines, line);)
        if (line.size() > 4 && line.compare(0, 3, "  -") == 0 && line[4] == ' ') {
            EXPECT_TRUE(described.insert(line[3]).second) << line;
        }
    EXPECT_EQ(synopsis, accepted);
    EXPECT_EQ(described, accepted);
    EXPECT_EQ(text.find("not built into"), std::string::npos);

    std::set<int> listed;
    const std::size_t exits = text.find("Exit status:");
    ASSERT_NE(exits, std::string::npos);
    std::istringstream words(text.substr(exits, text.find("\n\n", exits) - exits));
    for (std::string w; words >> w;)
        if (std::isdigit(static_cast<unsigned char>(w[0])) && w.size() <= 2)
            listed.insert(std::stoi(w));
    using namespace engine;
    EXPECT_EQ(listed, (std::set<int>{kExitDone, kExitVerdict, kExitLtsOutput, kExitUsage, kExitFiles, kExitErrorFile,
                                     kExitNotBuilt, kExitInterrupted, kExitCount, kExitTooLarge, kExitLts, kExitNet}));

    // Without TULMPATH the program prints the same text.
    testsupport::TempDir dir;
    const std::string program = testsupport::shell_quote(std::string(VOS_BIN_DIR) + "/ptanalyser");
    auto with = testsupport::run("TULMPATH=" + testsupport::shell_quote(TULM_SOURCE_PATH) + " " + program + " -q x");
    auto without = testsupport::run("cd " + testsupport::shell_quote(dir.path()) + " && env -u TULMPATH " + program +
                                    " -q x");
    EXPECT_EQ(with.exit_code, kExitUsage);
    EXPECT_EQ(without.exit_code, kExitUsage);
    const std::string usage = "\nUsage:  ptanalyser " + text;
    ASSERT_GE(with.err.size(), usage.size());
    EXPECT_EQ(with.err.substr(with.err.size() - usage.size()), usage);
    ASSERT_GE(without.err.size(), usage.size());
    EXPECT_EQ(without.err.substr(without.err.size() - usage.size()), usage);
    EXPECT_NE(without.err.find("Cannot open file cfg/tulm.msg for reading"), std::string::npos) << without.err;
}

// A file of the run that is the table file under another name is refused
// before anything is written; the tables stay as they were.
TEST(EngineAnalyser, OutputsNamingTheTablesAreRefused) {
    struct Case {
        const char* link;
        const char* args;
    } cases[] = {
        {"ln -s x.dat x.gph", ""},
        {"ln x.dat g.lts", "-z -g g"},
        {"ln -s ./x.dat x.bnt", "-b"},
        {"ln -s x.dat x.ll_net", "-n"},
        {"ln x.dat x.hsh", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        testsupport::TempDir dir;
        ptnet::Write(TesterNet(false, {}), dir.file("x"));
        const std::string tables = testsupport::read_file(dir.file("x.dat"));
        testsupport::run("cd " + testsupport::shell_quote(dir.path()) + " && " + c.link);
        auto run = Analyser(dir.path(), "x", c.args);
        EXPECT_EQ(run.exit_code, engine::kExitFiles);
        EXPECT_NE(run.err.find("would replace the table file x.dat"), std::string::npos) << run.err;
        EXPECT_EQ(testsupport::read_file(dir.file("x.dat")), tables);
        EXPECT_FALSE(testsupport::run("test -e " + testsupport::shell_quote(dir.file("x.aws"))).exit_code == 0);
    }
}

TEST(EngineAnalyser, DamagedGraphFiles) {
    const testsupport::TestNet tn = Toggles(4);
    auto patch = [](const std::string& file, std::size_t at, std::uint32_t word, int bytes) {
        std::string data = testsupport::read_file(file);
        for (int k = 0; k < bytes; ++k)
            data[at + k] = static_cast<char>(word >> (8 * k));
        testsupport::write_file(file, data);
    };
    auto size = [](const std::string& file) { return testsupport::read_file(file).size(); };
    struct Case {
        const char* what;
        std::string options;
        std::function<void(const testsupport::TempDir&)> damage;
        const char* message;
    } cases[] = {
        // The last byte of the nodes file ends the newest node's contents:
        // a lead byte there claims groups beyond them.
        {"state string", "", [&](const testsupport::TempDir& d) { patch(d.file("x.gph"), size(d.file("x.gph")) - 1, 135, 1); },
         "cannot be decoded"},
        {"place slots", "-i", [&](const testsupport::TempDir& d) { patch(d.file("x.gph"), size(d.file("x.gph")) - 1, 135, 1); },
         "cannot be decoded"},
        {"hash link outside the nodes", "-i",
         [&](const testsupport::TempDir& d) {
             for (std::size_t at = 0; at + 4 < size(d.file("x.hsh")); at += 4)
                 patch(d.file("x.hsh"), at, 0x7FFFFFFF, 4);
         },
         "a link of its hash leads outside the nodes"},
        {"no node", "-i", [&](const testsupport::TempDir& d) { patch(d.file("x.gph"), 4, 0, 4), patch(d.file("x.gph"), 32, 0, 4); },
         "it holds no node"},
        // The words of the newest stack entry end with its length.
        {"node stack", "-l",
         [&](const testsupport::TempDir& d) { patch(d.file("x.stk"), size(d.file("x.stk")) - 4, 0xFFFF, 4); },
         "its node stack"},
        // The newest entry's node inside the start node's record.
        {"stack entry off a node", "-l",
         [&](const testsupport::TempDir& d) {
             std::string stack = testsupport::read_file(d.file("x.stk"));
             std::size_t words = static_cast<unsigned char>(stack[stack.size() - 4]);
             patch(d.file("x.stk"), stack.size() - 4 * words, 88, 4);
         },
         "its node stack"},
        {"sleep set of a stack entry", "-l",
         [&](const testsupport::TempDir& d) { patch(d.file("x.stk"), size(d.file("x.stk")) - 8, 99, 4); },
         "a sleep set names a transition the net does not have"},
        {"hash ending too early", "-l",
         [&](const testsupport::TempDir& d) {
             std::string hash = testsupport::read_file(d.file("x.hsh"));
             testsupport::write_file(d.file("x.hsh"), hash.substr(0, hash.size() - 4));
         },
         "it ends too early"},
        // The start node's ordinal word.
        {"node record", "-i", [&](const testsupport::TempDir& d) { patch(d.file("x.gph"), 84, 7, 4); },
         "a node record does not fit its place"},
        {"short arrows file", "-i",
         [&](const testsupport::TempDir& d) { testsupport::write_file(d.file("x.aws"), ""); },
         "the arrows file is shorter than its header says"},
    };
    for (const Case& c : cases) {
        testsupport::TempDir dir;
        std::vector<std::string> options;
        if (!c.options.empty())
            options.push_back(c.options);
        Interrupted(ptnet::FromTestNet(tn), dir.file("x"), options, 3);
        ASSERT_FALSE(testsupport::read_file(dir.file("x.hsh")).empty()) << c.what;
        c.damage(dir);
        auto run = Analyser(dir.path(), "x", c.options + " -c");
        EXPECT_EQ(run.exit_code, 4) << c.what << run.err;
        EXPECT_NE(run.err.find(" damaged: "), std::string::npos) << c.what << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
        if (std::string(c.what) == "short arrows file") {
            auto dump = Dump(dir.path(), "x");
            EXPECT_EQ(dump.exit_code, 4) << dump.err;
            EXPECT_NE(dump.err.find("the arrows file is shorter than its header says"), std::string::npos) << dump.err;
        }
    }
}

// p0 -> p1 <-> p2: two components, one of them a nontrivial terminal one;
// a second computation is refused.
TEST(EngineAnalyser, ComponentsInASeparateRun) {
    testsupport::TempDir dir;
    testsupport::TestNet tn;
    tn.place_names = {"p0", "p1", "p2"};
    tn.trans_names = {"a", "b", "c"};
    tn.pre = {{0}, {1}, {2}};
    tn.post = {{1}, {2}, {1}};
    tn.m0 = {1, 0, 0};
    ptnet::Write(ptnet::FromTestNet(tn), dir.file("x"));
    auto run = Analyser(dir.path(), "x", "-i -d");
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("Number of nodes: 3\nNumber of arrows: 3\n"), std::string::npos) << run.out;
    auto comps = Analyser(dir.path(), "x", "-C");
    EXPECT_EQ(comps.exit_code, 0) << comps.err;
    EXPECT_NE(comps.out.find("Number of strongly connected components: 2\n"
                             "Number of nontrivial terminal strongly connected components: 1\n"),
              std::string::npos)
        << comps.out;
    RawGraph g = ReadRaw(dir.file("x"));
    EXPECT_EQ(g.header[3], 2u);
    EXPECT_EQ(g.header[4], 1u);
    auto dump = Dump(dir.path(), "x");
    EXPECT_EQ(dump.exit_code, 0);
    EXPECT_NE(dump.out.find("COMPONENT 0: 1 2 ->\nCOMPONENT 1: 0 -> 0\n"), std::string::npos) << dump.out;
    auto twice = Analyser(dir.path(), "x", "-C");
    EXPECT_EQ(twice.exit_code, 4);
    EXPECT_NE(twice.err.find("have already been computed"), std::string::npos);
}

// The dump walks only records that lie where its queries may read them:
// a damaged record gives the unusable graph's exit status, not an abort or
// a walk in circles.  p0 -> p1 <-> p2 with its components; node 0 at 84
// (eight words, then its contents), arrow 0 at 0 (five words).
TEST(EngineAnalyser, DumpRefusesDamagedRecords) {
    testsupport::TempDir dir;
    testsupport::TestNet tn;
    tn.place_names = {"p0", "p1", "p2"};
    tn.trans_names = {"a", "b", "c"};
    tn.pre = {{0}, {1}, {2}};
    tn.post = {{1}, {2}, {1}};
    tn.m0 = {1, 0, 0};
    ptnet::Write(ptnet::FromTestNet(tn), dir.file("x"));
    ASSERT_EQ(Analyser(dir.path(), "x", "-i").exit_code, 0);
    std::map<std::string, std::string> before;
    for (const char* file : {"x.gph", "x.aws", "x.adr"})
        before[file] = testsupport::read_file(dir.file(file));
    ASSERT_EQ(Analyser(dir.path(), "x", "-C").exit_code, 0);
    const std::string nodes = testsupport::read_file(dir.file("x.gph"));
    const std::string arrows = testsupport::read_file(dir.file("x.aws"));
    struct Case {
        const char* file;
        std::size_t at;
        char byte;
        const char* message;
    } cases[] = {
        {"x.gph", 84, 7, "a node record does not fit its place"},
        {"x.aws", 12, 85, "an arrow's label or target lies outside its file"},
        {"x.gph", 84 + 4 * 5, 84, "the members of a component leave the nodes file or run in circles"},
    };
    for (const Case& c : cases) {
        testsupport::write_file(dir.file("x.gph"), nodes);
        testsupport::write_file(dir.file("x.aws"), arrows);
        std::string bytes = testsupport::read_file(dir.file(c.file));
        bytes.replace(c.at, 4, std::string(1, c.byte) + std::string(3, '\0'));
        testsupport::write_file(dir.file(c.file), bytes);
        auto dump = Dump(dir.path(), "x");
        EXPECT_EQ(dump.exit_code, 4) << c.message << dump.err;
        EXPECT_EQ(dump.err, std::string("\nThe files of graph x are damaged: ") + c.message + "\n");
        EXPECT_EQ(dump.out, "");
    }
    // The component computation walks the same records.
    for (const auto& [file, bytes] : before)
        testsupport::write_file(dir.file(file), bytes);
    std::string damaged = before["x.gph"];
    damaged[84] = 7;
    testsupport::write_file(dir.file("x.gph"), damaged);
    auto comps = Analyser(dir.path(), "x", "-C");
    EXPECT_EQ(comps.exit_code, 4) << comps.err;
    EXPECT_NE(comps.err.find("\nThe files of graph x are damaged: a node record does not fit its place\n"),
              std::string::npos)
        << comps.err;
}

// 11 independent toggles: 2048 nodes.  An interrupt closes the graph for a
// continuation that ends as an uninterrupted run; a terminal stop suspends
// the run until it is continued.
TEST(EngineAnalyser, Signals) {
    const testsupport::TestNet tn = Toggles(11);
    testsupport::TempDir once, broken, paused;
    for (auto* dir : {&once, &broken, &paused})
        ptnet::Write(ptnet::FromTestNet(tn), dir->file("x"));
    ASSERT_EQ(Analyser(once.path(), "x", "-i").exit_code, 0);
    // Started in the background; the signal comes once 100 nodes are
    // written (4 bytes each in the address file).
    auto background = [](const testsupport::TempDir& dir, const std::string& between) {
        std::string command = "cd " + testsupport::shell_quote(dir.path()) + " || exit 9; TULMPATH=" +
                              testsupport::shell_quote(TULM_SOURCE_PATH) +
                              " PTNET_ARCS=x.arcs ASAN_OPTIONS=detect_leaks=0 " +
                              testsupport::shell_quote(std::string(VOS_BIN_DIR) + "/ptanalyser") +
                              " -i -m 0 x >out 2>err & pid=$!; n=0; "
                              "while [ \"$(stat -c %s x.adr 2>/dev/null || echo 0)\" -lt 400 ] && [ $n -lt 2000 ]; "
                              "do sleep 0.01; n=$((n+1)); done; " +
                              between + "; wait $pid; echo $?";
        return testsupport::run(command);
    };
    auto interrupted = background(broken, "kill -INT $pid");
    EXPECT_EQ(interrupted.out, "7\n");
    EXPECT_NE(testsupport::read_file(broken.file("err")).find("Graph generation interrupted"), std::string::npos);
    EXPECT_FALSE(testsupport::read_file(broken.file("x.hsh")).empty());
    EXPECT_EQ(Analyser(broken.path(), "x", "-i -m 0 -c").exit_code, 0);
    auto stopped = background(paused, "kill -TSTP $pid; sleep 0.2; ps -o stat= -p $pid | cut -c1 >state; kill -CONT $pid");
    EXPECT_EQ(stopped.out, "0\n");
    EXPECT_EQ(testsupport::read_file(paused.file("state")), "T\n") << "suspended";
    for (const char* file : {"x.gph", "x.aws", "x.adr"}) {
        EXPECT_EQ(testsupport::read_file(once.file(file)), testsupport::read_file(broken.file(file))) << file;
        EXPECT_EQ(testsupport::read_file(once.file(file)), testsupport::read_file(paused.file(file))) << file;
    }
}

}  // namespace
