// Composed boxes written by the net writer read back with the same shape.
#include <cstdio>
#include <unistd.h>

#include "fixture.h"
#include "mnet_hlnet.h"

namespace algebra_test {
namespace {

using AlgebraRoundTrip = Algebra;

TEST_F(AlgebraRoundTrip, ComposedAndScopedBoxReadsBack) {
    MNet* body = M_iteration(M_choice(atom("x(a),c(a)", "a < 3", "r1"), atom("x(b)", "b > 0", "r2")),
                             atom("^c(e)", "", "e"), nullptr);
    MNet* data = M_choice(atom("^x(v)", "v{0..3}: v # 2", "d1"), atom("^x(w)", "", "d2"));
    MNet* n = compose_block(body, atom("", "", "init"), data, atom("", "", "term"), actions("x(v),c(v)"));
    ASSERT_EQ(CheckNet(n), 0);
    char dir[] = "/tmp/algebraXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    net_file_name = std::string(dir) + "/box.hl_net";
    testing::internal::CaptureStdout();
    finish_net(n);
    testing::internal::GetCapturedStdout();
    MNet* back = read_VOS(net_file_name, nullptr);
    EXPECT_EQ(back->place_count, n->place_count);
    EXPECT_EQ(back->trans_count, n->trans_count);
    EXPECT_EQ(CheckNet(back), 0);
    FreeNet(&back);
    FreeNet(&n);
    std::remove(net_file_name.c_str());
    rmdir(dir);
}

}  // namespace
}  // namespace algebra_test
