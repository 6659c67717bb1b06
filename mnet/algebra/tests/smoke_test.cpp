#include <gtest/gtest.h>
#include "algebra.h"
using namespace mnet;
TEST(Smoke, Atomic) {
    init_symtabs();
    ComVars v; new_comvars(v, 1);
    MNet* n = M_atomic_box(new_actset(), nullptr, nullptr, v, 0);
    EXPECT_EQ(CheckNet(n), 0);
    FreeNet(&n);
}
