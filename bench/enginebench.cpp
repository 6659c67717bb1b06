// Benchmark of the analyser engine: a state space through PtFollowers and
// the graph store, then the strongly connected components of the stored
// graph.  Not part of the tests.
//
//   enginebench [--cycles K] [--length L] [--memory BYTES] [--dir D]
//
// The net: K independent cycles of L places, one token each, so L^K states
// and K arrows per state (the default 4 cycles of 32 places: 1048576 states).
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "alloc.h"
#include "graph.h"
#include "inst.h"
#include "plainnet.h"
#include "engine_generate.h"

namespace {

using enginebench::Clock;
using enginebench::PeakKiB;
using enginebench::Seconds;

unsigned long FileSize(const std::string& name) {
    struct stat st {};
    return stat(name.c_str(), &st) == 0 ? static_cast<unsigned long>(st.st_size) : 0;
}

// The net, built as the instance code of a net would build it.
void BuildNet(unsigned cycles, unsigned length) {
    unsigned places = cycles * length;
    InsAlloc(places, places);
    PtLTSInit();
    TUPLE* empty = TupCons(0);
    auto place = [&](unsigned p) {
        TupEncode(static_cast<int>(p), empty, &_engBuffer, &_engBfSize);
        return GetPlc(_engBuffer);
    };
    for (unsigned c = 0; c < cycles; ++c)
        for (unsigned i = 0; i < length; ++i) {
            unsigned p = c * length + i;
            place(p)->_count = i == 0 ? 1 : 0;
            enginebench::AddTransition(static_cast<int>(p), std::vector<unsigned>{p},
                                       std::vector<unsigned>{c * length + (i + 1) % length}, empty);
        }
    TupDiscard(empty);
    PlcFill();
    TrnFill();
}

}  // namespace

int main(int argc, char** argv) {
    unsigned cycles = 4, length = 32;
    unsigned long memory = 256UL << 20;
    std::string dir = "/tmp";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--cycles"))
            cycles = static_cast<unsigned>(std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--length"))
            length = static_cast<unsigned>(std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--memory"))
            memory = std::strtoul(argv[i + 1], nullptr, 10);
        else if (!std::strcmp(argv[i], "--dir"))
            dir = argv[i + 1];
    }
    IoInit();
    std::string base = dir + "/enginebench";
    long before = PeakKiB();
    BuildNet(cycles, length);
    double generation = 0;
    GRAPH* graph = enginebench::GenerateAll(base, 0, memory, &generation);
    unsigned long states = graph->glob[GW_NODES], arrows = graph->glob[GW_ARROWS];
    long peak = PeakKiB();
    GphClose(graph);
    unsigned long disk = FileSize(base + ".gph") + FileSize(base + ".aws") + FileSize(base + ".adr");
    std::printf("net: %u cycles of %u places\n", cycles, length);
    std::printf("PtFollowers generation   %10lu states %10lu arrows %8.3f s  %10.0f states/s %10.0f arrows/s\n", states,
                arrows, generation, states / generation, arrows / generation);
    std::printf("graph files              %10.1f bytes per state (%lu bytes)\n", static_cast<double>(disk) / states, disk);
    std::printf("peak memory              %10.1f bytes per state (%ld KiB, memory copies of %lu bytes included)\n",
                (peak - before) * 1024.0 / states, peak, memory);

    auto t1 = Clock::now();
    GRAPH* again = GphOpen(base.data(), 1, 0);
    if (again == nullptr)
        return 1;
    GphMapToMem(again, 0);
    GphSgSearch(again);
    double search = Seconds(t1);
    std::printf("GphSgSearch              %10lu nodes %10lu components %8.3f s  %10.0f nodes/s\n",
                static_cast<unsigned long>(again->glob[GW_NODES]), static_cast<unsigned long>(again->glob[GW_COMPS]),
                search, again->glob[GW_NODES] / search);
    GphClose(again);
    for (const char* suffix : {".gph", ".aws", ".adr", ".hsh"})
        std::remove((base + suffix).c_str());
    return 0;
}
