// Shared pieces of the analyser engine's benchmarks: clocks, peak memory,
// and full generation of the current net's state space through PtFollowers
// into a fresh graph file set.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "graph.h"
#include "inst.h"
#include "plainnet.h"

namespace enginebench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

inline long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Adds the visible transition `number` with unit arcs from the places `pre`
// and to the places `post`, as the instance code of a net adds it.
template <class Places>
inline void AddTransition(int number, const Places& pre, const Places& post, TUPLE* empty) {
    InsEncode(number, 0, nullptr, &_engBuffer, &_engBfSize);
    TRN* trn = GetTrn(0, _engBuffer, &_new);
    TrnSVisible(trn);
    for (unsigned p : pre) PutInArc(trn, 1, p, empty);
    for (unsigned p : post) PutOutArc(trn, 1, p, empty);
    TrnReform(trn);
}

// Creates the graph set `base` with `flags`, stores the initial marking and
// expands every node in the order it was stored; `seconds` receives the time
// of the expansion.  The graph stays open as _graph[0].
inline GRAPH* GenerateAll(const std::string& base, std::uint32_t flags, unsigned long memory, double* seconds) {
    std::string name = base;
    GRAPH* graph = GphCreate(name.data(), flags, 1u << 20, 0);
    _graph[0] = graph;
    GphMapToMem(graph, memory);
    unsigned contents = PlcEncode(_tblPlc, &_engBuffer, &_engBfSize);
    std::uint32_t start = GphPutNode(graph, _engBuffer, contents, &_back);
    _path[0] = PthCreate(start);
    _path[3] = _path[0];
    auto t0 = Clock::now();
    for (std::uint32_t ordinal = 0; ordinal < graph->glob[GW_NODES]; ++ordinal) {
        std::uint32_t node = GphId(graph, ordinal);
        PlcDecode(GphNode(graph, node));
        _path[0]->end = node;
        PtFollowers();
    }
    *seconds = Seconds(t0);
    return graph;
}

}  // namespace enginebench
