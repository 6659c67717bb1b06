// Runs the C translation unit that includes every header.
#include <gtest/gtest.h>

extern "C" int SupportCHeadersSmoke(void);

TEST(CHeaders, CompileAndRunAsC) { EXPECT_EQ(SupportCHeadersSmoke(), 1); }
