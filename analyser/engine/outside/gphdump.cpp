// gphdump: a graph file set as text, read through the graph queries.
//
//   gphdump name
//
// Lines: "HEADER" and the 21 header words; per node by ordinal "NODE
// ordinal address arrows contents" (arrows "-" while unexpanded, contents
// in hexadecimal) and per arrow of it "ARROW source target ordinal kind
// label" (kind v visible, i invisible, h hot invisible); "TERMINAL" and
// the ordinals of the terminal nodes; once computed, per component
// "COMPONENT number: member ordinals -> successor components".
// Exit status 0, 3 for a wrong command line, 4 when the graph cannot be
// read.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "alloc.h"
#include "graph.h"
#include "internal.h"
#include "invoc.h"

namespace {

std::string Hex(const unsigned char* bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (; *bytes != 0; ++bytes) {
        if (!text.empty())
            text += ' ';
        text += digits[*bytes >> 4];
        text += digits[*bytes & 15];
    }
    return text.empty() ? "-" : text;
}

std::vector<unsigned long> Elements(AVLSET* set) {
    static std::vector<unsigned long>* into;
    std::vector<unsigned long> elements;
    into = &elements;
    BalTrApply(set, [](void* element) {
        into->push_back(*static_cast<unsigned long*>(element));
        return 0;
    });
    BalTrDestroy(set, TRUE);
    return elements;
}

void Dump(GRAPH* graph) {
    std::printf("HEADER");
    for (uint32_t word : graph->glob)
        std::printf(" %lu", static_cast<unsigned long>(word));
    std::printf("\n");
    uint32_t nodes = GphNdCount(graph);
    for (uint32_t ordinal = 0; ordinal < nodes; ++ordinal) {
        unsigned long node = GphId(graph, ordinal);
        uint32_t count = GphAwCount(graph, node);
        std::string contents = Hex(GphNode(graph, node));
        if (count == 0xFFFFFFFFu)
            std::printf("NODE %lu %lu - %s\n", static_cast<unsigned long>(ordinal), node, contents.c_str());
        else
            std::printf("NODE %lu %lu %lu %s\n", static_cast<unsigned long>(ordinal), node,
                        static_cast<unsigned long>(count), contents.c_str());
        if (count == 0 || count == 0xFFFFFFFFu)
            continue;
        unsigned long aw = 0, succ = 0;
        GphFlFirst(graph, node, &aw, &succ);
        for (uint32_t k = 0; k < count; ++k) {
            if (k > 0)
                GphFlNext(graph, &aw, &succ);
            char kind = GphAwHot(graph, aw) ? 'h' : GphAwInvisible(graph, aw) ? 'i' : 'v';
            uint32_t arrowOrdinal = GphAwOrdinal(graph, aw);
            unsigned long target = GphOrdinal(graph, succ);
            std::string label = Hex(GphArrow(graph, aw));
            std::printf("ARROW %lu %lu %lu %c %s\n", static_cast<unsigned long>(ordinal), target,
                        static_cast<unsigned long>(arrowOrdinal), kind, label.c_str());
        }
    }
    std::printf("TERMINAL");
    std::vector<unsigned long> terminal = Elements(GphTNGet(graph));
    std::vector<unsigned long> ordinals;
    for (unsigned long node : terminal)
        ordinals.push_back(GphOrdinal(graph, node));
    std::sort(ordinals.begin(), ordinals.end());
    for (unsigned long o : ordinals)
        std::printf(" %lu", o);
    std::printf("\n");
    for (uint32_t c = 0; c < GphSgCount(graph); ++c) {
        std::printf("COMPONENT %lu:", static_cast<unsigned long>(c));
        std::vector<unsigned long> members;
        for (unsigned long node : Elements(GphSgGet(graph, c)))
            members.push_back(GphOrdinal(graph, node));
        std::sort(members.begin(), members.end());
        for (unsigned long m : members)
            std::printf(" %lu", m);
        std::printf(" ->");
        for (unsigned long s : Elements(GphSgSucc(graph, c)))
            std::printf(" %lu", s);
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    IoInit();
    myName = Invoc(argv[0]);
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(_err, "\nUsage:  %s name\n", myName);
        return 3;
    }
    GRAPH* graph = GphOpen(argv[1], 2, 0);
    if (graph == nullptr)
        return 4;
    GphMapToMem(graph, 0);
    if (const char* damage = engine::RecordDamage(graph)) {
        std::fprintf(_err, "\nThe files of graph %s are damaged: %s\n", argv[1], damage);
        GphClose(graph);
        return 4;
    }
    Dump(graph);
    GphClose(graph);
    return 0;
}
