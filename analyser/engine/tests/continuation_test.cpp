// An interrupted and continued generation writes the same files as an
// uninterrupted one, and a seed gives the same files every time.
#include <gtest/gtest.h>

#include "enginetest.h"

using namespace enginetest;

namespace {

std::map<std::string, std::string> GraphFiles(const std::string& dir) {
    std::map<std::string, std::string> files = Files(dir);
    files.erase("x.out");
    return files;
}

TEST(EngineContinuation, InterruptedThenContinuedEqualsUninterrupted) {
    const std::vector<std::vector<std::string>> variants = {
        {"-i"}, {"-i", "-m", "0"}, {"-l"}, {"-e"}, {"-i", "-f", "-r", "77"}, {"-r", "5"}};
    for (std::size_t v = 0; v < variants.size(); ++v) {
        testsupport::RandomNetParams shape;
        shape.components = 4;
        testsupport::TestNet tn = testsupport::random_safe_net(3000 + v, shape);
        std::vector<bool> visible;
        for (int t = 0; t < tn.transitions(); ++t)
            visible.push_back(t % 2 == 0);
        ptnet::Net net = ptnet::FromTestNet(tn, visible);
        std::size_t states = testsupport::explore(tn).states.size();
        SCOPED_TRACE(variants[v][0] + " on " + std::to_string(states) + " states");
        testsupport::TempDir once, again, broken;
        Generate(net, once.file("x"), variants[v]);
        Generate(net, again.file("x"), variants[v]);
        GenerateInterrupted(net, broken.file("x"), variants[v], states / 3 + 1);
        std::map<std::string, std::string> files = GraphFiles(once.path());
        EXPECT_TRUE(files.count("x.gph") && files.count("x.aws") && files.count("x.adr"));
        EXPECT_FALSE(files.count("x.hsh"));
        EXPECT_EQ(files, GraphFiles(again.path())) << "the same run twice";
        EXPECT_EQ(files, GraphFiles(broken.path())) << "interrupted and continued";
    }
}

}  // namespace
