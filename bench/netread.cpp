// Times reading and writing a VOS net file with the net library:
//   netread FILE [OUT]
// prints the counts and the seconds taken by each step.
#include <chrono>
#include <cstdio>

#include "net.h"
#include "outfile.h"
#include "vos.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: netread FILE [OUT]\n");
        return 2;
    }
    using clock = std::chrono::steady_clock;
    auto t0 = clock::now();
    netlib::NET* net = netlib::read_VOS(argv[1]);
    auto t1 = clock::now();
    if (argc > 2) {
        netlib::write_VOS_PlainNet(net, argv[2], false);
        if (!outfile::commit()) std::perror(argv[2]);
    }
    auto t2 = clock::now();
    std::printf("places %u transitions %u read %.3f s write %.3f s\n", net->places, net->transitions,
                std::chrono::duration<double>(t1 - t0).count(),
                std::chrono::duration<double>(t2 - t1).count());
    netlib::delete_net(net);
    return 0;
}
