// The graph file set: opening with its refusals, memory copies, the header
// and its accessors, closing with the hash kept or deleted; the stop report
// with its error file; shortest paths over a stored graph.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <cstring>
#include <vector>

#include "alloc.h"
#include "bdd.h"
#include "encode.h"
#include "fileaux.h"
#include "internal.h"
#include "plainnet.h"

GRAPH* _graph[2] = {nullptr, nullptr};
RADIX* _arpFoldings = nullptr;
int _zelTulm = 0;

namespace {

const char* const kSuffixes[] = {"gph", "aws", "adr", "hsh", "stk"};
enum { kHashSuffix = 3 };

char* SuffixedName(const char* base, const char* suffix, bool rotated) {
    if (!rotated)
        return FileName(base, suffix);
    char turned[4] = {suffix[1], suffix[2], suffix[0], 0};
    return FileName(base, turned);
}

MMFILE** CopyOf(GRAPH* graph, engine::GraphFile which) {
    switch (which) {
    case engine::kNodes:
        return &graph->mmnodes;
    case engine::kArrows:
        return &graph->mmarrows;
    case engine::kAddrs:
        return &graph->mmaddrs;
    default:
        return &graph->mmstack;
    }
}

BINARYFILE FileOf(const GRAPH* graph, engine::GraphFile which) {
    switch (which) {
    case engine::kNodes:
        return graph->nodes;
    case engine::kArrows:
        return graph->arrows;
    case engine::kAddrs:
        return graph->addrs;
    default:
        return graph->stack;
    }
}

void Refuse(const char* format, const char* a = "", const char* b = "", const char* c = "") {
    std::fprintf(_err, format, a, b, c);
    std::fflush(_err);
}

void CloseFile(BINARYFILE* file) {
    if (*file >= 0)
        OwnClose(*file);
    *file = -1;
}

// Releases a graph whose opening failed: files closed, hash destroyed.
GRAPH* Abandon(GRAPH* graph) {
    CloseFile(&graph->nodes);
    CloseFile(&graph->arrows);
    CloseFile(&graph->addrs);
    CloseFile(&graph->stack);
    if (graph->hash != nullptr)
        HashDestroy(graph->hash);
    Deallocate(graph->name);
    Deallocate(graph);
    return nullptr;
}

void HeaderFromBytes(GRAPH* graph, const unsigned char* bytes) {
    for (unsigned w = 0; w < GW_COUNT; ++w)
        graph->glob[w] = engine::GetWord(bytes + 4 * w);
}

void WriteHeader(GRAPH* graph) {
    unsigned char bytes[GPH_HEADER_BYTES];
    for (unsigned w = 0; w < GW_COUNT; ++w)
        engine::PutWord(bytes + 4 * w, graph->glob[w]);
    engine::Write(graph, engine::kNodes, 0, bytes, GPH_HEADER_BYTES);
}

void Map(GRAPH* graph, engine::GraphFile which, const char* suffix, unsigned long len, unsigned long actLen) {
    *CopyOf(graph, which) = MapToMem(engine::SetFileName(graph, suffix), FileOf(graph, which), len, actLen);
}

void Unmap(GRAPH* graph, engine::GraphFile which, bool writeBack) {
    MMFILE** copy = CopyOf(graph, which);
    if (*copy != nullptr)
        Unmap(*copy, writeBack ? TRUE : FALSE);
    *copy = nullptr;
}

// Cuts a written file to the length its header gives, so that nothing of
// an erased or rewritten tail stays behind it.
void Cut(BINARYFILE file, unsigned long length) {
    if (file >= 0 && ftruncate(file, static_cast<off_t>(length)) != 0) {
        std::fprintf(_err, "\nCannot cut a graph file to %lu bytes\n", length);
        ErrnoOutput(_err);
    }
}

unsigned long AddressesLength(const GRAPH* graph) {
    return (static_cast<unsigned long>(graph->glob[GW_COMPS]) * 3 + graph->glob[GW_NODES]) * 4;
}

// What makes the opened files of a graph unusable: a header whose ends,
// counts and lengths do not fit the files, or an address table whose node
// addresses do not rise inside the nodes file.  Null when they fit.  The
// queries and the store trust these words from then on.
const char* Damage(GRAPH* graph, BINARYFILE hash) {
    const uint32_t* g = graph->glob;
    unsigned long nodesEnd = g[GW_NODESEND], arrowsEnd = g[GW_ARROWSEND];
    unsigned long nodeBytes = 4UL * graph->num_node_fields;
    unsigned long arrowBytes = 4UL * graph->num_arrow_fields;
    if (nodesEnd < GPH_HEADER_BYTES || nodesEnd > SeekEnd(graph->nodes))
        return "the nodes file is shorter than its header says";
    if (arrowsEnd > SeekEnd(graph->arrows))
        return "the arrows file is shorter than its header says";
    if (AddressesLength(graph) > SeekEnd(graph->addrs))
        return "the addresses file is shorter than its header says";
    if (graph->stack >= 0 && g[GW_STACKEND] > SeekEnd(graph->stack))
        return "the stack file is shorter than its header says";
    if (g[GW_NODES] > (nodesEnd - GPH_HEADER_BYTES) / nodeBytes || g[GW_ARROWS] > arrowsEnd / arrowBytes)
        return "its header counts more nodes or arrows than its files hold";
    if (g[GW_MAXLEN] > nodesEnd || g[GW_BUFSIZE] > nodesEnd + 1UL)
        return "its header gives node contents longer than the nodes file";
    if (g[GW_COMPS] > g[GW_NODES] || g[GW_TERMNODES] > g[GW_NODES])
        return "its header counts more components or terminal nodes than nodes";
    if (g[GW_DONE] > ((g[GW_FLAGS] & GF_SLEEP) ? g[GW_ARROWS] + 2UL : g[GW_NODES]))
        return "its header counts more processed nodes than it can have";
    if (hash >= 0 && (g[GW_HASHSIZE] == 0 || g[GW_HASHSIZE] > engine::kMaxHashSlots ||
                      SeekEnd(hash) < (g[GW_HASHSIZE] + 1UL) * 4))
        return "the hash file does not fit its header";
    // The node addresses rise with the ordinals, one record after another.
    std::vector<unsigned char> chunk;
    unsigned long previous = 0;
    for (unsigned long first = 0; first < g[GW_NODES]; first += 4096) {
        unsigned long count = std::min<unsigned long>(4096, g[GW_NODES] - first);
        chunk.resize(4 * count);
        SeekAbs(graph->addrs, 4 * first);
        ReadBytes(chunk.data(), chunk.size(), graph->addrs);
        for (unsigned long k = 0; k < count; ++k) {
            unsigned long node = engine::GetWord(chunk.data() + 4 * k);
            unsigned long least = first + k == 0 ? GPH_HEADER_BYTES : previous + nodeBytes;
            if ((first + k == 0 && node != GPH_HEADER_BYTES) || node < least || node + nodeBytes > nodesEnd)
                return "a node address lies out of order or outside the nodes file";
            previous = node;
        }
    }
    return nullptr;
}

void Remove(GRAPH* graph, const char* suffix) {
    char* name = engine::SetFileName(graph, suffix);
    std::remove(name);
    Deallocate(name);
}

}  // namespace

// ---- raw access ----

char* engine::SetFileName(GRAPH* graph, const char* suffix) {
    return SuffixedName(graph->name, suffix, (graph->glob[GW_FLAGS] & GF_ROTATED) != 0);
}

const unsigned char* engine::Peek(GRAPH* graph, GraphFile which, unsigned long pos, unsigned long cnt) {
    MMFILE* copy = *CopyOf(graph, which);
    if (copy == nullptr || pos > copy->actLen || cnt > copy->actLen - pos)
        return nullptr;
    return copy->start + pos;
}

void engine::Read(GRAPH* graph, GraphFile which, unsigned long pos, void* buf, unsigned long cnt) {
    MMFILE* copy = *CopyOf(graph, which);
    if (copy != nullptr) {
        MapSkAbs(copy, pos);
        MapReBytes(buf, cnt, copy);
    } else {
        SeekAbs(FileOf(graph, which), pos);
        ReadBytes(buf, cnt, FileOf(graph, which));
    }
}

void engine::Write(GRAPH* graph, GraphFile which, unsigned long pos, const void* buf, unsigned long cnt) {
    MMFILE** copy = CopyOf(graph, which);
    if (*copy != nullptr) {
        MapSkAbs(*copy, pos);
        MapWrBytes(buf, cnt, copy);
    } else {
        SeekAbs(FileOf(graph, which), pos);
        WriteBytes(buf, cnt, FileOf(graph, which));
    }
}

// The word accessors go straight to a memory copy where the bytes lie within
// its data: the hot paths of generation and of the component search.

std::uint32_t engine::ReadWord(GRAPH* graph, GraphFile which, unsigned long pos) {
    if (const unsigned char* p = Peek(graph, which, pos, 4))
        return GetWord(p);
    unsigned char bytes[4];
    Read(graph, which, pos, bytes, 4);
    return GetWord(bytes);
}

void engine::WriteWord(GRAPH* graph, GraphFile which, unsigned long pos, std::uint32_t word) {
    if (const unsigned char* p = Peek(graph, which, pos, 4)) {
        PutWord(const_cast<unsigned char*>(p), word);
        return;
    }
    unsigned char bytes[4];
    PutWord(bytes, word);
    Write(graph, which, pos, bytes, 4);
}

void engine::ReadWords(GRAPH* graph, GraphFile which, unsigned long pos, std::uint32_t* words, unsigned count) {
    unsigned char bytes[64];
    const unsigned char* p = Peek(graph, which, pos, 4UL * count);
    if (p == nullptr) {
        Read(graph, which, pos, bytes, 4UL * count);
        p = bytes;
    }
    for (unsigned k = 0; k < count; ++k)
        words[k] = GetWord(p + 4 * k);
}

void engine::WriteWords(GRAPH* graph, GraphFile which, unsigned long pos, const std::uint32_t* words,
                        unsigned count) {
    unsigned char bytes[64];
    for (unsigned k = 0; k < count; ++k)
        PutWord(bytes + 4 * k, words[k]);
    Write(graph, which, pos, bytes, 4UL * count);
}

// ---- the file set ----

void GphFieldPositions(GRAPH* graph) {
    uint32_t flags = graph->glob[GW_FLAGS];
    bool dfs = (flags & GF_DFS) != 0;
    bool check = dfs && (flags & GF_INFMON);
    graph->next_lower_pos = dfs ? 3 : TULM_NONE;
    graph->check_pos = check ? 4 : TULM_NONE;
    graph->sgc_val_pos = !dfs ? 3 : check ? 5 : 4;
    graph->predecessors_pos = graph->sgc_val_pos + 1;
    graph->left_child_pos = graph->sgc_val_pos + 2;
    if (flags & GF_BDD) {
        graph->right_child_pos = TULM_NONE;
        graph->datalen_pos = graph->sgc_val_pos + 3;
    } else {
        graph->right_child_pos = graph->sgc_val_pos + 3;
        graph->datalen_pos = graph->sgc_val_pos + 4;
    }
    graph->num_node_fields = graph->datalen_pos + 1;
    graph->aw_datalen_pos = (flags & GF_FREE) ? 5 : 4;
    graph->num_arrow_fields = graph->aw_datalen_pos + 1;
}

int GphComplete(GRAPH* graph) {
    if (graph->glob[GW_NODES] == 0)
        return 0;
    if (graph->glob[GW_FLAGS] & GF_SLEEP)
        return graph->glob[GW_STACKDONE] == TULM_NONE;
    return graph->glob[GW_DONE] == graph->glob[GW_NODES];
}

GRAPH* GphOpen(char* name, int reason, int rotSuff) {
    if (reason < 0 || reason > 2) {
        std::fprintf(_err, "\nIllegal reason for GphOpen: %d\n", reason);
        std::fflush(_err);
        return nullptr;
    }
    auto* graph = static_cast<GRAPH*>(YarraColla(1, sizeof(GRAPH)));
    graph->name = StrCp(name);
    graph->reason = reason;
    graph->nodes = graph->arrows = graph->addrs = graph->stack = -1;
    if (rotSuff)
        graph->glob[GW_FLAGS] = GF_ROTATED;
    char* nodesName = engine::SetFileName(graph, kSuffixes[0]);
    graph->nodes = reason == 2 ? OpenRead(nodesName, 1) : OpenUpdate(nodesName);
    if (graph->nodes < 0) {
        Deallocate(nodesName);
        return Abandon(graph);
    }
    // A file shorter than the header is no graph: refused, never read.
    if (SeekEnd(graph->nodes) < GPH_HEADER_BYTES) {
        Refuse("\nThe nodes file %s of the graph is shorter than its header\n", nodesName);
        Deallocate(nodesName);
        return Abandon(graph);
    }
    Deallocate(nodesName);
    unsigned char header[GPH_HEADER_BYTES];
    SeekAbs(graph->nodes, 0);
    ReadBytes(header, GPH_HEADER_BYTES, graph->nodes);
    HeaderFromBytes(graph, header);
    uint32_t flags = graph->glob[GW_FLAGS];
    BINARYFILE hashFile = -1;
    if (reason == 0) {
        if (GphComplete(graph)) {
            Refuse("\nReachability graph %s has been completely generated\n", name);
            return Abandon(graph);
        }
        if (flags & GF_ERR) {
            Refuse("\nGraph generation will not be continued because\nan illegal path has already been found\n");
            return Abandon(graph);
        }
        if (flags & GF_BDD) {
            Refuse("\nBDD-based graph generation will not be continued\n");
            return Abandon(graph);
        }
        if (flags & GF_INFMON) {
            Refuse("\nGraph generation will not be continued because\nan infinite path monitor state has been defined\n");
            return Abandon(graph);
        }
        char* hashName = engine::SetFileName(graph, kSuffixes[kHashSuffix]);
        hashFile = OpenRead(hashName, 1);
        Deallocate(hashName);
        if (hashFile < 0)
            return Abandon(graph);
        if (flags & GF_SLEEP) {
            char* stackName = engine::SetFileName(graph, kSuffixes[4]);
            graph->stack = OpenUpdate(stackName);
            Deallocate(stackName);
            if (graph->stack < 0) {
                CloseFile(&hashFile);
                return Abandon(graph);
            }
        }
    } else if (reason == 1) {
        if (graph->glob[GW_COMPS] != 0) {
            Refuse("\nStrongly connected components of %s have already been computed\n", name);
            return Abandon(graph);
        }
        if (graph->glob[GW_NODES] == 0) {
            Refuse("\nComputation of strongly connected components of %s is not allowed\nuntil all nodes of %s have "
                   "been completely processed\nand there is at least one node in %s\n",
                   name, name, name);
            return Abandon(graph);
        }
        if (!GphComplete(graph)) {
            Refuse("\nComputation of strongly connected components of %s is not allowed\nuntil all nodes of %s have "
                   "been completely processed\n",
                   name, name);
            return Abandon(graph);
        }
    }
    char* arrowsName = engine::SetFileName(graph, kSuffixes[1]);
    graph->arrows = reason == 2 ? OpenRead(arrowsName, 1) : OpenUpdate(arrowsName);
    Deallocate(arrowsName);
    if (graph->arrows < 0) {
        CloseFile(&hashFile);
        return Abandon(graph);
    }
    char* addrsName = engine::SetFileName(graph, kSuffixes[2]);
    graph->addrs = reason == 2 ? OpenRead(addrsName, 1) : OpenUpdate(addrsName);
    Deallocate(addrsName);
    if (graph->addrs < 0) {
        CloseFile(&hashFile);
        return Abandon(graph);
    }
    GphFieldPositions(graph);
    if (const char* damage = Damage(graph, hashFile)) {
        Refuse("\nThe files of graph %s are damaged: %s\n", name, damage);
        CloseFile(&hashFile);
        return Abandon(graph);
    }
    if (hashFile >= 0) {
        graph->hash = HashCreate(graph->glob[GW_HASHSIZE]);
        SeekAbs(hashFile, 0);
        HashRead(graph->hash, graph->glob[GW_HASHSIZE], hashFile);
        OwnClose(hashFile);
    }
    graph->now = AddressesLength(graph);
    graph->latest_node = TULM_NONE;
    graph->latest_rec = static_cast<uint32_t*>(YarraColla(graph->num_node_fields, sizeof(uint32_t)));
    if (reason != 1) {
        unsigned long room = graph->glob[GW_MAXLEN] + 1UL;
        if (reason == 0 && graph->glob[GW_BUFSIZE] > room)
            room = graph->glob[GW_BUFSIZE];
        graph->latest_contents = static_cast<unsigned char*>(Etacolla(room));
    }
    graph->arrow_rec = static_cast<uint32_t*>(YarraColla(graph->num_arrow_fields, sizeof(uint32_t)));
    graph->sgc_rec = static_cast<uint32_t*>(YarraColla(3, sizeof(uint32_t)));
    if (reason != 2 && !rotSuff) {
        Remove(graph, "cad");
        Remove(graph, "caw");
    }
    return graph;
}

void GphFlush(GRAPH* graph) {
    WriteHeader(graph);
    for (MMFILE* copy : {graph->mmnodes, graph->mmarrows, graph->mmaddrs, graph->mmstack})
        if (copy != nullptr)
            MapFlush(copy);
}

void GphMapToMem(GRAPH* graph, unsigned long len) {
    const uint32_t* g = graph->glob;
    unsigned long nodes = g[GW_NODES], comps = g[GW_COMPS];
    switch (graph->reason) {
    case 0:
        Map(graph, engine::kNodes, kSuffixes[0], len, g[GW_NODESEND]);
        if ((g[GW_FLAGS] & GF_SLEEP) && graph->stack >= 0)
            Map(graph, engine::kStack, kSuffixes[4], len, g[GW_STACKEND]);
        Map(graph, engine::kAddrs, kSuffixes[2], len == 0 ? 0 : (len - 1) / graph->num_node_fields + 1,
            AddressesLength(graph));
        Map(graph, engine::kArrows, kSuffixes[1], len, g[GW_ARROWSEND]);
        break;
    case 1:
        Map(graph, engine::kNodes, kSuffixes[0], g[GW_NODESEND], g[GW_NODESEND]);
        Map(graph, engine::kAddrs, kSuffixes[2], nodes * 16, nodes * 4);
        Map(graph, engine::kArrows, kSuffixes[1], g[GW_ARROWSEND] * 2UL, g[GW_ARROWSEND]);
        break;
    default:
        Map(graph, engine::kNodes, kSuffixes[0], g[GW_NODESEND], g[GW_NODESEND]);
        Map(graph, engine::kAddrs, kSuffixes[2], (nodes * 5 + comps * 3) * 4, AddressesLength(graph));
        Map(graph, engine::kArrows, kSuffixes[1], g[GW_ARROWSEND], g[GW_ARROWSEND]);
        break;
    }
}

void GphClose(GRAPH* graph) {
    bool readOnly = graph->reason == 2;
    Unmap(graph, engine::kArrows, !readOnly);
    Unmap(graph, engine::kAddrs, !readOnly);
    if (!readOnly) {
        Cut(graph->arrows, graph->glob[GW_ARROWSEND]);
        Cut(graph->addrs, AddressesLength(graph));
    }
    CloseFile(&graph->arrows);
    CloseFile(&graph->addrs);
    uint32_t flags = graph->glob[GW_FLAGS];
    if (graph->reason != 0) {
        Unmap(graph, engine::kNodes, !readOnly);
        CloseFile(&graph->nodes);
    } else {
        WriteHeader(graph);
        Unmap(graph, engine::kNodes, true);
        Cut(graph->nodes, graph->glob[GW_NODESEND]);
        CloseFile(&graph->nodes);
        if (flags & GF_SLEEP) {
            bool unfinished = graph->glob[GW_NODES] == 0 || graph->glob[GW_STACKDONE] != TULM_NONE;
            bool keep = unfinished && !(flags & (GF_BDD | GF_ERR | GF_INFMON));
            Unmap(graph, engine::kStack, keep);
            Cut(graph->stack, graph->glob[GW_STACKEND]);
            CloseFile(&graph->stack);
        }
        if (flags & GF_BDD) {
            if (graph->avlSet != nullptr)
                BalTrDestroy(graph->avlSet, TRUE);
            _bddList = LstCreate(&bddTools);
            BddCat(graph->bdd);
            LstDestroy(_bddList, TRUE);
            _bddList = nullptr;
        } else if (graph->hash != nullptr) {
            char* hashName = engine::SetFileName(graph, kSuffixes[kHashSuffix]);
            if (flags & (GF_ERR | GF_INFMON)) {
                std::remove(hashName);
            } else if (graph->glob[GW_NODES] == 0 || !GphComplete(graph)) {
                BINARYFILE file = CreateWrite(hashName);
                if (file < 0) {
                    std::fputs("No panic. The graph itself should be OK.\n", _err);
                    std::fflush(_err);
                } else {
                    HashWrite(graph->hash, graph->glob[GW_HASHSIZE], file);
                    OwnClose(file);
                }
            } else {
                std::remove(hashName);
            }
            Deallocate(hashName);
        }
    }
    if (graph->hash != nullptr)
        HashDestroy(graph->hash);
    CloseFile(&graph->stack);
    for (GRAPH*& open : _graph)
        if (open == graph)
            open = nullptr;
    Deallocate(graph->name);
    Deallocate(graph->latest_rec);
    Deallocate(graph->latest_contents);
    Deallocate(graph->arrow_rec);
    Deallocate(graph->sgc_rec);
    Deallocate(graph);
}

void GphIncGenCount(GRAPH* graph) {
    uint32_t* g = graph->glob;
    if (g[GW_DONE] < g[GW_NODES] || ((g[GW_FLAGS] & GF_SLEEP) && g[GW_DONE] < g[GW_ARROWS] + 2UL)) {
        ++g[GW_DONE];
        return;
    }
    engine::Fail("\nIllegal GphIncGenCount call\n");
}

uint32_t GphGenCount(GRAPH* graph) { return graph->glob[GW_DONE]; }
uint32_t GphBufSize(GRAPH* graph) { return graph->glob[GW_BUFSIZE]; }
uint32_t GphBits(GRAPH* graph) { return graph->glob[GW_BITS]; }
uint32_t GphSeed(GRAPH* graph) { return graph->glob[GW_SEED]; }
void GphSetSeed(GRAPH* graph, unsigned seed) { graph->glob[GW_SEED] = seed; }

namespace {
int Flag(const GRAPH* graph, uint32_t flag) { return (graph->glob[GW_FLAGS] & flag) != 0 ? 1 : 0; }
}  // namespace

int GphUnfold(GRAPH* graph) { return Flag(graph, GF_UNFOLD); }
int GphSymm(GRAPH* graph) { return Flag(graph, GF_SYMM); }
int GphStub(GRAPH* graph) { return Flag(graph, GF_STUB); }
int GphDelAlg(GRAPH* graph) { return Flag(graph, GF_DELALG); }
int GphDfs(GRAPH* graph) { return Flag(graph, GF_DFS); }
int GphFreeExpansion(GRAPH* graph) { return Flag(graph, GF_FREE); }
int GphIMkSymm(GRAPH* graph) { return Flag(graph, GF_IMKSYMM); }
int GphCFFD(GRAPH* graph) { return Flag(graph, GF_CFFD); }
int GphDefVis(GRAPH* graph) { return Flag(graph, GF_DEFVIS); }
int GphSleep(GRAPH* graph) { return Flag(graph, GF_SLEEP); }
int GphErr(GRAPH* graph) { return Flag(graph, GF_ERR); }

// ---- the stop report ----

void ExOnTheFly(GRAPH* graph, PATH* path, int loop) {
    // The path in its own order, oldest step first.
    std::vector<STEP*> steps;
    if (path->steps != nullptr)
        for (LISTNODE* cell = path->steps->_first; cell != nullptr; cell = cell->_next)
            steps.insert(steps.begin(), static_cast<STEP*>(cell->_node));
    std::size_t loopStart = steps.size();
    for (std::size_t k = 0; k < steps.size(); ++k)
        if (steps[k]->world == path->end) {
            loopStart = k;
            break;
        }
    unsigned long endOrdinal = GphOrdinal(graph, path->end);
    if (!loop) {
        std::fputs("Node ", _out);
    } else {
        std::fputs("Loop ", _out);
        for (std::size_t k = loopStart; k < steps.size(); ++k)
            std::fprintf(_out, "%lu [%lu> ", static_cast<unsigned long>(GphOrdinal(graph, steps[k]->world)),
                         static_cast<unsigned long>(GphAwOrdinal(graph, steps[k]->awAddr)));
        if (_zelTulm) {
            std::fprintf(_out, "%lu\nThe same for ZEL users:\n", endOrdinal);
            for (std::size_t k = loopStart; k < steps.size(); ++k) {
                const unsigned char* label = GphArrow(graph, steps[k]->awAddr);
                unsigned long value = NumGet(&label);
                auto* action = _arpFoldings != nullptr && value < _arpFoldings->ptrCount
                                   ? static_cast<ACTION*>(RadixGet(_arpFoldings, value))
                                   : nullptr;
                std::fprintf(_out, "%lu %s(%u)\n", static_cast<unsigned long>(GphOrdinal(graph, steps[k]->world)),
                             action != nullptr ? action->name : "", action != nullptr ? action->number : 0u);
            }
        }
    }
    std::fprintf(_out, "%lu\nFor more information, start \"kenner %s\"\nand look at the set %%1\n", endOrdinal,
                 graph->name);
    std::fflush(_out);
    if (_zelTulm)
        LTSOutput(graph);
    graph->glob[GW_FLAGS] |= GF_ERR;
    // The name goes with the graph record: build it first.
    char* errName = FileName(graph->name, "err");
    GphClose(graph);
    for (GRAPH* other : _graph)
        if (other != nullptr)
            GphClose(other);
    BINARYFILE file = CreateWrite(errName);
    if (file < 0)
        Exit(5);
    std::vector<unsigned char> bytes;
    auto word = [&bytes](unsigned long w) {
        unsigned char b[4];
        engine::PutWord(b, static_cast<uint32_t>(w));
        bytes.insert(bytes.end(), b, b + 4);
    };
    if (loop) {
        for (std::size_t k = 0; k < steps.size(); ++k) {
            word(steps[k]->world);
            word(steps[k]->awAddr);
            if (steps[k]->world == path->end)
                break;
        }
    }
    word(path->end);
    word(TULM_NONE);
    WriteBytes(bytes.data(), bytes.size(), file);
    PthDracsid(path);
    OwnClose(file);
    Deallocate(errName);
    Exit(1);
}

// ---- shortest paths ----

namespace {

// The working area of GphShortest behind the node addresses and component
// records of the address file's memory copy: one complemented distance per
// node ordinal, one predecessor arrow per ordinal, then the queue of node
// addresses.  The queue positions *head and *tail are byte offsets from the
// start of the area.
struct ShortestArea {
    unsigned char* base;
    unsigned long nodes;
    uint32_t Get(unsigned long at) const { return engine::GetWord(base + at); }
    void Set(unsigned long at, uint32_t w) const { engine::PutWord(base + at, w); }
    unsigned long Dist(unsigned long ordinal) const { return 4 * ordinal; }
    unsigned long Pred(unsigned long ordinal) const { return 4 * (nodes + ordinal); }
    unsigned long QueueStart() const { return 8 * nodes; }
};

[[noreturn]] void ShortestError(const char* format, unsigned long a = 0, unsigned long b = 0, unsigned long c = 0) {
    std::fputs("\n", _out);
    std::fflush(_out);
    std::fprintf(_err, format, a, b, c);
    std::fflush(_err);
    Abort();
}

}  // namespace

int GphShortest(GRAPH* graph, unsigned long* present, unsigned long* head, unsigned long* tail, PATH** path,
                int* cont, void* formula, FOOL along, PTHF admit) {
    unsigned long nodes = graph->glob[GW_NODES];
    unsigned long now = AddressesLength(graph);
    MMFILE* copy = graph->mmaddrs;
    if (copy == nullptr || copy->len < now + 12 * nodes)
        engine::Fail("\nGphShortest: the address file has no memory copy with room for the search\n");
    ShortestArea area{copy->start + now, nodes};
    const uint32_t unreached = ~static_cast<uint32_t>(nodes);
    // Callbacks may use the room behind the tables and the queue.
    auto call = [&](auto f, unsigned long node) {
        graph->now = now + 12 * nodes;
        int result = f(formula, graph, node);
        graph->now = now;
        return result;
    };
    auto expand = [&](unsigned long node) {
        uint32_t count = GphAwCount(graph, node);
        if (count == 0 || count == TULM_NONE || !call(along, node))
            return;
        uint32_t distance = area.Get(area.Dist(GphOrdinal(graph, node)));
        unsigned long aw = 0, succ = 0;
        GphFlFirst(graph, node, &aw, &succ);
        for (uint32_t k = 0; k < count; ++k) {
            if (k > 0)
                GphFlNext(graph, &aw, &succ);
            uint32_t target = GphOrdinal(graph, succ);
            if (area.Get(area.Dist(target)) != unreached)
                continue;
            area.Set(area.Dist(target), distance - 1);
            area.Set(area.Pred(target), static_cast<uint32_t>(aw));
            area.Set(*tail, static_cast<uint32_t>(succ));
            *tail += 4;
        }
    };
    if (*path == nullptr) {
        for (unsigned long o = 0; o < nodes; ++o) {
            area.Set(area.Dist(o), unreached);
            area.Set(area.Pred(o), TULM_NONE);
        }
        *head = *tail = area.QueueStart();
        area.Set(area.Dist(GphOrdinal(graph, *present)), 0xFFFFFFFFu);
        area.Set(*tail, static_cast<uint32_t>(*present));
        *tail += 4;
    } else {
        // Go on after the node found last.
        expand(*present);
    }
    for (;;) {
        if (!*cont || *head == *tail) {
            if (*path != nullptr)
                PthDracsid(*path);
            *path = nullptr;
            return 0;
        }
        unsigned long node = area.Get(*head);
        *head += 4;
        *present = node;
        uint32_t ordinal = GphOrdinal(graph, node);
        uint32_t distance = ~area.Get(area.Dist(ordinal));
        if (distance >= nodes)
            ShortestError("\nGphShortest: internal error, unexpected dist\n");
        if (!call(admit, node)) {
            expand(node);
            continue;
        }
        // The path back through the predecessor arrows; every node before
        // the target must let the path run on.
        PATH* found = PthCreate(node);
        unsigned long at = node;
        for (unsigned long back = 0;; ++back) {
            uint32_t o = GphOrdinal(graph, at);
            uint32_t aw = area.Get(area.Pred(o));
            if (aw == TULM_NONE)
                break;
            if (back >= nodes)
                ShortestError("\nGphShortest: internal error, back %lu >= %lu, dist %lu\n", back, nodes, distance);
            if (aw >= graph->glob[GW_ARROWSEND])
                ShortestError("\nGphShortest: internal error, pred %lu >= %lu\n", aw,
                              static_cast<unsigned long>(graph->glob[GW_ARROWSEND]));
            unsigned long source = engine::ReadWord(graph, engine::kArrows, aw + 4UL);
            if (!call(along, source))
                ShortestError("\nGphShortest: internal error, unexpexted along\n");
            PthInsFirst(found, source, aw);
            at = source;
        }
        PATH* result = PthCopy(found);
        PthDracsid(found);
        *path = *path == nullptr ? result : PthCatenate(*path, result);
        return 1;
    }
}
