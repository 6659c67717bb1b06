#include <gtest/gtest.h>

#include "enginetest.h"

using namespace enginetest;

TEST(Smoke, Cycle) {
    testsupport::TempDir dir;
    testsupport::TestNet tn;
    tn.place_names = {"p1", "p2"};
    tn.trans_names = {"a", "b"};
    tn.pre = {{0}, {1}};
    tn.post = {{1}, {0}};
    tn.m0 = {1, 0};
    Generate(ptnet::FromTestNet(tn), dir.file("x"), {"-i"});
    RawGraph g = ReadRaw(dir.file("x"));
    ASSERT_TRUE(g.ok) << g.error;
    EXPECT_EQ(g.header[1], 2u);
    EXPECT_EQ(g.header[2], 2u);
    EXPECT_EQ(g.header[6], 0u);
}
