// Benchmark of the analyser engine's reductions: one net family, one size
// and one mode per run (bench/bench.py --reductions runs the matrix, each
// in a process of its own so that the peak memory is the run's own).  Not
// part of the tests.
//
//   reducebench --net chains|philosophers|processes --n N [--k K]
//               --mode full|s|L|D|T|S [--dir D]
//
// chains: N independent chains of K steps, (K+1)^N states; philosophers: N
// dining philosophers (think, left fork, right fork, eat, put both back);
// processes: N independent processes p_i -> t_i -> q_i, all marked, 2^N
// states, symmetric under every permutation of the processes.  Modes: full
// generation, stubborn sets by the incremental algorithm (s, lazy L), by
// the deletion algorithm (D, with its exhaustive pass T), symmetries (S).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "alloc.h"
#include "graph.h"
#include "inst.h"
#include "mirror.h"
#include "plainnet.h"
#include "engine_generate.h"

namespace {

using enginebench::Clock;
using enginebench::PeakKiB;
using enginebench::Seconds;

struct Net {
    unsigned places = 0;
    std::vector<unsigned> marked;
    // (inputs, outputs) per transition
    std::vector<std::pair<std::vector<unsigned>, std::vector<unsigned>>> transitions;
};

Net Chains(unsigned n, unsigned k) {
    Net net;
    for (unsigned c = 0; c < n; ++c) {
        unsigned first = net.places;
        net.places += k + 1;
        net.marked.push_back(first);
        for (unsigned i = 0; i < k; ++i)
            net.transitions.push_back({{first + i}, {first + i + 1}});
    }
    return net;
}

Net Philosophers(unsigned n) {
    // Per philosopher i: think 4i, left fork held 4i+1, eating 4i+2, fork 4i+3.
    Net net;
    net.places = 4 * n;
    for (unsigned i = 0; i < n; ++i) {
        net.marked.push_back(4 * i);
        net.marked.push_back(4 * i + 3);
        unsigned right = 4 * ((i + 1) % n) + 3;
        net.transitions.push_back({{4 * i, 4 * i + 3}, {4 * i + 1}});
        net.transitions.push_back({{4 * i + 1, right}, {4 * i + 2}});
        net.transitions.push_back({{4 * i + 2}, {4 * i, 4 * i + 3, right}});
    }
    return net;
}

Net Processes(unsigned n) {
    Net net;
    net.places = 2 * n;
    for (unsigned i = 0; i < n; ++i) {
        net.marked.push_back(2 * i);
        net.transitions.push_back({{2 * i}, {2 * i + 1}});
    }
    return net;
}

// The net built as the instance code of a net would build it.
void Build(const Net& net) {
    InsAlloc(net.places, static_cast<unsigned>(net.transitions.size()));
    PtLTSInit();
    TUPLE* empty = TupCons(0);
    for (unsigned p = 0; p < net.places; ++p) {
        TupEncode(static_cast<int>(p), empty, &_engBuffer, &_engBfSize);
        GetPlc(_engBuffer)->_count = 0;
    }
    for (unsigned p : net.marked) {
        TupEncode(static_cast<int>(p), empty, &_engBuffer, &_engBfSize);
        GetPlc(_engBuffer)->_count = 1;
    }
    for (std::size_t t = 0; t < net.transitions.size(); ++t)
        enginebench::AddTransition(static_cast<int>(t), net.transitions[t].first, net.transitions[t].second, empty);
    TupDiscard(empty);
    PlcFill();
    TrnFill();
}

}  // namespace

int main(int argc, char** argv) {
    std::string family = "chains", mode = "full", dir = "/tmp";
    unsigned n = 4, k = 9;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--net"))
            family = argv[i + 1];
        else if (!std::strcmp(argv[i], "--n"))
            n = static_cast<unsigned>(std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--k"))
            k = static_cast<unsigned>(std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--mode"))
            mode = argv[i + 1];
        else if (!std::strcmp(argv[i], "--dir"))
            dir = argv[i + 1];
    }
    Net net = family == "philosophers" ? Philosophers(n) : family == "processes" ? Processes(n) : Chains(n, k);
    IoInit();
    _ptStub = mode == "s" || mode == "L" || mode == "D" || mode == "T";
    _ptLazy = mode == "L";
    _ptDelAlg = mode == "D" || mode == "T";
    _ptTryAgain = mode == "T";
    _ptSy = mode == "S";
    Build(net);
    double symmetries = 0;
    unsigned long group = 0;
    if (_ptSy) {
        // CompSymm's own lines stay out of the table.
        FILE* out = _out;
        _out = std::fopen("/dev/null", "w");
        auto t = Clock::now();
        CompSymm(1);
        symmetries = Seconds(t);
        std::fclose(_out);
        _out = out;
        group = _plcSymmetries != nullptr ? _plcSymmetries->elCount : 0;
    }
    std::string base = dir + "/reducebench";
    uint32_t flags = (_ptStub ? GF_STUB : 0) | (_ptDelAlg ? GF_DELALG : 0) | (_ptSy ? GF_SYMM : 0);
    double generation = 0;
    GRAPH* graph = enginebench::GenerateAll(base, flags, 256UL << 20, &generation);
    unsigned long states = graph->glob[GW_NODES], arrows = graph->glob[GW_ARROWS];
    unsigned long terminal = graph->glob[GW_TERMNODES];
    GphClose(graph);
    for (const char* suffix : {".gph", ".aws", ".adr", ".hsh"})
        std::remove((base + suffix).c_str());
    std::printf("%-12s %3u %-4s %10lu %10lu %8lu %9.3f %9.2f %10ld", family.c_str(), n, mode.c_str(), states, arrows,
                terminal, generation, generation * 1e6 / static_cast<double>(states), PeakKiB());
    if (_ptSy)
        std::printf(" %9.3f %10lu", symmetries, group);
    std::printf("\n");
    return 0;
}
