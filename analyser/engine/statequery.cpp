// Queries of a stored graph by node and arrow addresses, the check bits of
// the on-the-fly searches, statistics, and the strongly connected
// components: computed once for a complete graph by Tarjan's algorithm made
// iterative, then read by number.
//
// Every access checks its address against the end of its file (header
// words 9 and 10); a failed check is an internal error of the caller.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "alloc.h"
#include "fileaux.h"
#include "internal.h"
#include "plainnet.h"

namespace {

using engine::kAddrs;
using engine::kArrows;
using engine::kNodes;

void CheckNode(const GRAPH* graph, unsigned long node, const char* who) {
    if (node < GPH_HEADER_BYTES || node >= graph->glob[GW_NODESEND])
        engine::Fail("\nIllegal node address for %s: %lu\n", who, node);
}

void CheckArrow(const GRAPH* graph, unsigned long aw, const char* who) {
    if (aw >= graph->glob[GW_ARROWSEND])
        engine::Fail("\nIllegal arrow address for %s: %lu\n", who, aw);
}

void ReadArrow(GRAPH* graph, unsigned long aw) {
    engine::ReadWords(graph, kArrows, aw, graph->arrow_rec, graph->num_arrow_fields);
}

uint32_t ArrowWord(GRAPH* graph, unsigned long aw, unsigned pos) {
    return engine::ReadWord(graph, kArrows, aw + 4UL * pos);
}

// The arrow after aw among its source's arrows.
unsigned long NextArrow(GRAPH* graph, unsigned long aw) {
    ReadArrow(graph, aw);
    if (graph->glob[GW_FLAGS] & GF_FREE)
        return graph->arrow_rec[4];
    return aw + 4UL * graph->num_arrow_fields + graph->arrow_rec[graph->aw_datalen_pos];
}

unsigned long ComponentRecord(const GRAPH* graph, unsigned long component) {
    return (graph->glob[GW_NODES] + 3UL * component) * 4;
}

void CheckComponent(const GRAPH* graph, unsigned long component, const char* who) {
    if (component >= graph->glob[GW_COMPS])
        engine::Fail("\nIllegal component number for %s: %lu\n", who, component);
}

AVLSET* NumberSet() { return BalTrCreate(&lngBalTools); }

void Add(AVLSET* set, unsigned long n) {
    if (BalTrElement(set, &n) == nullptr)
        BalTrInsert(set, LngCons(n), &n, TRUE);
}

}  // namespace

void SaveLatest(GRAPH* graph, unsigned long node, int withContents) {
    bool cached = node == graph->latest_node;
    if (!cached) {
        engine::ReadWords(graph, kNodes, node, graph->latest_rec, graph->num_node_fields);
        graph->latest_node = static_cast<uint32_t>(node);
    }
    bool readOnly = graph->reason == 2;
    if (!(withContents || readOnly) || (cached && readOnly))
        return;
    uint32_t length = graph->latest_rec[graph->datalen_pos];
    if (graph->latest_contents == nullptr || length > graph->glob[GW_MAXLEN]) {
        // Room for this node and for every node the header knows of.
        unsigned long room = std::max<unsigned long>(length, graph->glob[GW_MAXLEN]) + 1;
        graph->latest_contents = static_cast<unsigned char*>(Reallocate(graph->latest_contents, room));
        if (length > graph->glob[GW_MAXLEN])
            graph->glob[GW_MAXLEN] = length;
    }
    engine::Read(graph, kNodes, node + 4UL * graph->num_node_fields, graph->latest_contents, length);
    graph->latest_contents[length] = 0;
}

uint32_t GphStart(GRAPH* graph) {
    if (graph->glob[GW_NODES] == 0)
        engine::Fail("\nIllegal GphStart call\n");
    return GPH_HEADER_BYTES;
}

uint32_t GphOrdinal(GRAPH* graph, unsigned long node) {
    CheckNode(graph, node, "GphOrdinal");
    SaveLatest(graph, node, 0);
    return graph->latest_rec[0];
}

uint32_t GphId(GRAPH* graph, unsigned long ordinal) {
    if (ordinal >= graph->glob[GW_NODES])
        engine::Fail("\nIllegal node ordinal number for GphId: %lu\n", ordinal);
    return engine::ReadWord(graph, kAddrs, 4 * ordinal);
}

uint32_t GphNdCount(GRAPH* graph) { return graph->glob[GW_NODES]; }
uint32_t GphGlAwCount(GRAPH* graph) { return graph->glob[GW_ARROWS]; }
uint32_t GphSgCount(GRAPH* graph) { return graph->glob[GW_COMPS]; }
uint32_t GphTmSgCount(GRAPH* graph) { return graph->glob[GW_TERMCOMPS]; }

uint32_t GphAwCount(GRAPH* graph, unsigned long node) {
    CheckNode(graph, node, "GphAwCount");
    SaveLatest(graph, node, 0);
    return graph->latest_rec[1];
}

uint32_t GphCompNumber(GRAPH* graph, unsigned long node) {
    if (graph->glob[GW_COMPS] == 0)
        engine::Fail("\nIllegal GphCompNumber call\n");
    CheckNode(graph, node, "GphCompNumber");
    SaveLatest(graph, node, 0);
    return ~graph->latest_rec[graph->sgc_val_pos];
}

int GphFresh(GRAPH* graph, unsigned long node, unsigned mask) {
    if (graph->check_pos == TULM_NONE)
        engine::Fail("\nIllegal GphFresh call\n");
    CheckNode(graph, node, "GphFresh");
    SaveLatest(graph, node, 0);
    return (graph->latest_rec[graph->check_pos] & mask) == 0 ? 1 : 0;
}

void GphConsume(GRAPH* graph, unsigned long node, unsigned mask) {
    if (graph->check_pos == TULM_NONE)
        engine::Fail("\nIllegal GphConsume call\n");
    CheckNode(graph, node, "GphConsume");
    SaveLatest(graph, node, 0);
    uint32_t& check = graph->latest_rec[graph->check_pos];
    if ((check & mask) == mask)
        engine::Fail("\nUseless GphConsume call\n");
    check |= mask;
    engine::WriteWord(graph, kNodes, node + 4UL * graph->check_pos, check);
}

void GphFlFirst(GRAPH* graph, unsigned long node, unsigned long* aw, unsigned long* succ) {
    CheckNode(graph, node, "GphFlFirst");
    SaveLatest(graph, node, 0);
    uint32_t count = graph->latest_rec[1];
    if (count == 0 || count == TULM_NONE)
        engine::Fail("\nIllegal GphFlFirst call\n");
    *aw = graph->latest_rec[2];
    if (succ != nullptr)
        *succ = ArrowWord(graph, *aw, 3);
}

void GphFlNext(GRAPH* graph, unsigned long* aw, unsigned long* succ) {
    CheckArrow(graph, *aw, "GphFlNext");
    unsigned long next = NextArrow(graph, *aw);
    CheckArrow(graph, next, "GphFlNext");
    *aw = next;
    if (succ != nullptr)
        *succ = ArrowWord(graph, next, 3);
}

void GphPrLast(GRAPH* graph, unsigned long node, unsigned long* aw, unsigned long* pred) {
    CheckNode(graph, node, "GphPrLast");
    SaveLatest(graph, node, 0);
    *aw = graph->latest_rec[graph->predecessors_pos];
    if (*aw == TULM_NONE) {
        *pred = TULM_NONE;
        return;
    }
    if (*aw >= graph->glob[GW_ARROWSEND])
        engine::Fail("\nGphPrLast: internal error, back %lu >= %lu\n", *aw,
                     static_cast<unsigned long>(graph->glob[GW_ARROWSEND]));
    *pred = ArrowWord(graph, *aw, 1);
}

void GphPrPrec(GRAPH* graph, unsigned long* aw, unsigned long* pred) {
    CheckArrow(graph, *aw, "GphPrPrec");
    *aw = ArrowWord(graph, *aw, 2);
    if (*aw == TULM_NONE) {
        *pred = TULM_NONE;
        return;
    }
    CheckArrow(graph, *aw, "GphPrPrec");
    *pred = ArrowWord(graph, *aw, 1);
}

unsigned char* GphNode(GRAPH* graph, unsigned long node) {
    CheckNode(graph, node, "GphNode");
    SaveLatest(graph, node, 1);
    return graph->latest_contents;
}

unsigned char* GphArrow(GRAPH* graph, unsigned long aw) {
    CheckArrow(graph, aw, "GphArrow");
    ReadArrow(graph, aw);
    uint32_t length = graph->arrow_rec[graph->aw_datalen_pos];
    // The label goes into the contents buffer: the cached node is gone.
    if (graph->latest_contents == nullptr || length > graph->glob[GW_MAXLEN]) {
        unsigned long room = std::max<unsigned long>(length, graph->glob[GW_MAXLEN]) + 1;
        graph->latest_contents = static_cast<unsigned char*>(Reallocate(graph->latest_contents, room));
    }
    graph->latest_node = TULM_NONE;
    engine::Read(graph, kArrows, aw + 4UL * graph->num_arrow_fields, graph->latest_contents, length);
    graph->latest_contents[length] = 0;
    return graph->latest_contents;
}

uint32_t GphAwOrdinal(GRAPH* graph, unsigned long aw) {
    CheckArrow(graph, aw, "GphAwOrdinal");
    return ArrowWord(graph, aw, 0) >> 2;
}

int GphAwInvisible(GRAPH* graph, unsigned long aw) {
    CheckArrow(graph, aw, "GphAwInvisible");
    return (ArrowWord(graph, aw, 0) & 1) == 0 ? 1 : 0;
}

int GphAwHot(GRAPH* graph, unsigned long aw) {
    CheckArrow(graph, aw, "GphAwHot");
    return (ArrowWord(graph, aw, 0) & 3) == 2 ? 1 : 0;
}

void GphChLastArrow(GRAPH* graph, unsigned char* label, unsigned long length, unsigned long target,
                    unsigned long* back, int cold) {
    uint32_t* g = graph->glob;
    unsigned long last = g[GW_LASTARROW];
    if (last == TULM_NONE || last >= g[GW_ARROWSEND])
        engine::Fail("\nIllegal GphChLastArrow call: %s %lu >= end %lu\n", "last", last,
                     static_cast<unsigned long>(g[GW_ARROWSEND]));
    if (target < GPH_HEADER_BYTES || target >= g[GW_NODESEND])
        engine::Fail("\nIllegal GphChLastArrow call: %s %lu >= end %lu\n", "target", target,
                     static_cast<unsigned long>(g[GW_NODESEND]));
    ReadArrow(graph, last);
    uint32_t* rec = graph->arrow_rec;
    unsigned long targetPred = target + 4UL * graph->predecessors_pos;
    rec[2] = engine::ReadWord(graph, kNodes, targetPred);
    rec[3] = static_cast<uint32_t>(target);
    rec[graph->aw_datalen_pos] = static_cast<uint32_t>(length);
    if (cold)
        rec[0] &= ~3u;
    engine::WriteWords(graph, kArrows, last, rec, graph->num_arrow_fields);
    engine::Write(graph, kArrows, last + 4UL * graph->num_arrow_fields, label, length);
    engine::WriteWord(graph, kNodes, targetPred, static_cast<uint32_t>(last));
    engine::Invalidate(graph);
    g[GW_ARROWSEND] = static_cast<uint32_t>(last + 4UL * graph->num_arrow_fields + length);
    if (back != nullptr)
        *back = last;
}

void GphStatistics(GRAPH* graph, FILE* stream) {
    const uint32_t* g = graph->glob;
    std::fprintf(stream, "Number of nodes: %lu\n", static_cast<unsigned long>(g[GW_NODES]));
    std::fprintf(stream, "Number of arrows: %lu\n", static_cast<unsigned long>(g[GW_ARROWS]));
    std::fprintf(stream, "Number of terminal nodes: %lu\n", static_cast<unsigned long>(g[GW_TERMNODES]));
    if (g[GW_FLAGS] & GF_SLEEP)
        std::fprintf(stream, "Number of poppings from node stack during graph generation: %lu\n",
                     static_cast<unsigned long>(g[GW_DONE]));
    else
        std::fprintf(stream, "Number of nodes that have been completely processed: %lu\n",
                     static_cast<unsigned long>(g[GW_DONE]));
    if (g[GW_COMPS] != 0) {
        std::fprintf(stream, "Number of strongly connected components: %lu\n", static_cast<unsigned long>(g[GW_COMPS]));
        std::fprintf(stream, "Number of nontrivial terminal strongly connected components: %lu\n",
                     static_cast<unsigned long>(g[GW_TERMCOMPS]));
    } else {
        std::fputs("Strongly connected components have not been computed\n", stream);
    }
}

namespace {

// One node of the depth-first walk of the component search.
struct Frame {
    uint32_t node;
    uint32_t visit, low;
    uint32_t aw;               // next arrow to follow
    uint32_t left;             // arrows left
    std::vector<uint32_t> succ;// successor components met (may repeat)
};

uint32_t ComponentWord(GRAPH* graph, uint32_t node) {
    return engine::ReadWord(graph, kNodes, node + 4UL * graph->sgc_val_pos);
}

void SetNodeWord(GRAPH* graph, uint32_t node, unsigned pos, uint32_t word) {
    engine::WriteWord(graph, kNodes, node + 4UL * pos, word);
}

}  // namespace

void GphSgSearch(GRAPH* graph) {
    uint32_t* g = graph->glob;
    if (graph->reason != 1 || g[GW_COMPS] != 0 || !GphComplete(graph))
        engine::Fail("\nIllegal GphSgSearch call\n");
    graph->now = 0;
    std::vector<uint32_t> members;  // the node stack of Tarjan's algorithm
    std::vector<Frame> frames;
    auto enter = [&](uint32_t node) {
        uint32_t visit = static_cast<uint32_t>(++graph->now);
        SetNodeWord(graph, node, graph->sgc_val_pos, visit);
        members.push_back(node);
        uint32_t rec[16];
        engine::ReadWords(graph, kNodes, node, rec, graph->num_node_fields);
        uint32_t count = rec[1] == TULM_NONE ? 0 : rec[1];
        frames.push_back(Frame{node, visit, visit, count != 0 ? rec[2] : TULM_NONE, count, {}});
    };
    enter(GphStart(graph));
    while (!frames.empty()) {
        Frame& f = frames.back();
        if (f.left > 0) {
            uint32_t aw = f.aw;
            uint32_t target = ArrowWord(graph, aw, 3);
            if (--f.left > 0)
                f.aw = static_cast<uint32_t>(NextArrow(graph, aw));
            uint32_t w = ComponentWord(graph, target);
            if (w == 0)
                enter(target);  // f may move: not used after this
            else if (w > graph->now)
                f.succ.push_back(~w);
            else if (w < f.low)
                f.low = w;
            continue;
        }
        Frame done = std::move(f);
        frames.pop_back();
        if (done.low != done.visit) {
            Frame& parent = frames.back();
            parent.low = std::min(parent.low, done.low);
            if (parent.succ.size() < done.succ.size())
                parent.succ.swap(done.succ);
            parent.succ.insert(parent.succ.end(), done.succ.begin(), done.succ.end());
            continue;
        }
        // The node closes a component.
        uint32_t number = g[GW_COMPS];
        std::sort(done.succ.begin(), done.succ.end());
        done.succ.erase(std::unique(done.succ.begin(), done.succ.end()), done.succ.end());
        uint32_t rec[3];
        rec[2] = static_cast<uint32_t>(done.succ.size());
        if (done.succ.empty()) {
            uint32_t arrows = engine::ReadWord(graph, kNodes, done.node + 4UL);
            bool trivial = members.back() == done.node && (arrows == 0 || arrows == TULM_NONE);
            if (trivial) {
                rec[1] = TULM_NONE;
            } else {
                rec[1] = g[GW_LASTTERMCOMP];
                g[GW_LASTTERMCOMP] = number;
                ++g[GW_TERMCOMPS];
            }
        } else {
            rec[1] = g[GW_ARROWSEND];
            std::vector<unsigned char> bytes(4 * done.succ.size());
            for (std::size_t k = 0; k < done.succ.size(); ++k)
                engine::PutWord(bytes.data() + 4 * k, done.succ[k]);
            engine::Write(graph, kArrows, g[GW_ARROWSEND], bytes.data(), bytes.size());
            g[GW_ARROWSEND] += static_cast<uint32_t>(bytes.size());
        }
        uint32_t previous = TULM_NONE;
        uint32_t member;
        do {
            member = members.back();
            members.pop_back();
            SetNodeWord(graph, member, graph->sgc_val_pos, ~number);
            SetNodeWord(graph, member, graph->left_child_pos, previous);
            previous = member;
        } while (member != done.node);
        rec[0] = done.node;
        engine::WriteWords(graph, kAddrs, ComponentRecord(graph, number), rec, 3);
        ++g[GW_COMPS];
        if (!frames.empty())
            frames.back().succ.push_back(number);
    }
    if (g[GW_COMPS] == 1) {
        g[GW_TERMCOMPS] = 0;
        g[GW_LASTTERMCOMP] = TULM_NONE;
    }
    engine::Invalidate(graph);
    engine::WriteWords(graph, kNodes, 12, g + GW_COMPS, 3);
    engine::WriteWord(graph, kNodes, 40, g[GW_ARROWSEND]);
}

AVLSET* GphSgGet(GRAPH* graph, unsigned long component) {
    CheckComponent(graph, component, "GphSgGet");
    AVLSET* set = NumberSet();
    uint32_t node = engine::ReadWord(graph, kAddrs, ComponentRecord(graph, component));
    // A component has at most every node: a longer chain of members runs in
    // circles through damaged links.
    for (unsigned long members = 0; node != TULM_NONE; ++members) {
        if (members == graph->glob[GW_NODES])
            engine::Fail("\nGphSgGet: the members of component %lu run in circles\n", component);
        CheckNode(graph, node, "GphSgGet");
        Add(set, node);
        node = engine::ReadWord(graph, kNodes, node + 4UL * graph->left_child_pos);
    }
    return set;
}

uint32_t GphSgFlCount(GRAPH* graph, unsigned long component) {
    CheckComponent(graph, component, "GphSgFlCount");
    return engine::ReadWord(graph, kAddrs, ComponentRecord(graph, component) + 8);
}

AVLSET* GphSgSucc(GRAPH* graph, unsigned long component) {
    CheckComponent(graph, component, "GphSgSucc");
    uint32_t rec[3];
    engine::ReadWords(graph, kAddrs, ComponentRecord(graph, component), rec, 3);
    AVLSET* set = NumberSet();
    for (uint32_t k = 0; k < rec[2]; ++k)
        Add(set, engine::ReadWord(graph, kArrows, rec[1] + 4UL * k));
    return set;
}

AVLSET* GphTNGet(GRAPH* graph) {
    AVLSET* set = NumberSet();
    uint32_t node = graph->glob[GW_LASTTERM];
    for (uint32_t k = 0; k < graph->glob[GW_TERMNODES] && node != TULM_NONE; ++k) {
        CheckNode(graph, node, "GphTNGet");
        Add(set, node);
        node = engine::ReadWord(graph, kNodes, node + 8UL);
    }
    return set;
}

AVLSET* GphTmSgGet(GRAPH* graph) {
    if (graph->glob[GW_COMPS] == 0)
        engine::Fail("\nIllegal GphTmSgGet call\n");
    AVLSET* set = NumberSet();
    uint32_t component = graph->glob[GW_LASTTERMCOMP];
    for (uint32_t k = 0; k < graph->glob[GW_TERMCOMPS] && component != TULM_NONE; ++k) {
        CheckComponent(graph, component, "GphTmSgGet");
        Add(set, component);
        component = engine::ReadWord(graph, kAddrs, ComponentRecord(graph, component) + 4);
    }
    return set;
}
