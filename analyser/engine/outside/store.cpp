// The graph store of the engine main: new file sets, nodes found by their
// contents, arrows, the records of expanded and terminal nodes, the erasure
// of the newest nodes, the node stack of the sleep-set generation and the
// hash.
//
// The hash has a fixed number of slots (header word 13); a node's slot is
// the FNV-1a hash of its contents, and the slot holds the root of a binary
// search tree of the nodes of that slot, linked through the left-child and
// right-child words of the node records and ordered by contents (length
// first, then bytes).  A node is inserted as a leaf, so every node of the
// subtree below a node came after it: erasing all nodes from some address
// on only cuts links from older nodes.
//
// The hash file holds the slot roots and the sleep sets stored with the
// expanded nodes; both are needed only while the generation is unfinished.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>
#include <vector>

#include "alloc.h"
#include "fileaux.h"
#include "internal.h"
#include "plainnet.h"

namespace {

using engine::GetWord;
using engine::kAddrs;
using engine::kArrows;
using engine::kNodes;
using engine::kStack;

void* KeepSlot(void* element) { return element; }
void DropSlot(void*) {}
const TOOLS hashTools = {KeepSlot, DropSlot};

// The sleep sets stored with expanded nodes, per hash.
using SleepTable = std::unordered_map<uint32_t, std::vector<uint32_t>>;
std::map<const RADIX*, SleepTable> sleepTables;

uint32_t Slot(const GRAPH* graph, const unsigned char* contents, unsigned long length) {
    uint32_t h = 2166136261u;
    for (unsigned long k = 0; k < length; ++k)
        h = (h ^ contents[k]) * 16777619u;
    uint32_t size = graph->glob[GW_HASHSIZE];
    return size > 1 ? h % size : 0;
}

uint32_t Root(GRAPH* graph, uint32_t slot) {
    auto value = reinterpret_cast<uintptr_t>(RadixGet(graph->hash, slot));
    return value == 0 ? TULM_NONE : static_cast<uint32_t>(value);
}

void SetRoot(GRAPH* graph, uint32_t slot, uint32_t node) {
    RadixPut(graph->hash, node == TULM_NONE ? nullptr : reinterpret_cast<void*>(static_cast<uintptr_t>(node)), slot);
}

// A node record as the tree search sees it.
struct NodeView {
    uint32_t left, right, length;
    const unsigned char* contents;
};

std::vector<unsigned char> scratch;

NodeView View(GRAPH* graph, uint32_t node) {
    unsigned fields = graph->num_node_fields;
    const unsigned char* rec = engine::Peek(graph, kNodes, node, 4UL * fields);
    if (rec == nullptr) {
        scratch.resize(4UL * fields);
        engine::Read(graph, kNodes, node, scratch.data(), 4UL * fields);
        rec = scratch.data();
    }
    NodeView view;
    view.left = GetWord(rec + 4 * graph->left_child_pos);
    view.right = GetWord(rec + 4 * graph->right_child_pos);
    view.length = GetWord(rec + 4 * graph->datalen_pos);
    unsigned long at = node + 4UL * fields;
    view.contents = engine::Peek(graph, kNodes, at, view.length);
    if (view.contents == nullptr) {
        scratch.resize(view.length + 1UL);
        engine::Read(graph, kNodes, at, scratch.data(), view.length);
        view.contents = scratch.data();
    }
    return view;
}

int Compare(const unsigned char* a, unsigned long aLength, const NodeView& b) {
    if (aLength != b.length)
        return aLength < b.length ? -1 : 1;
    return aLength == 0 ? 0 : std::memcmp(a, b.contents, aLength);
}

// The search of one slot's tree: the node of these contents (or
// 0xFFFFFFFF), and where its link is or would be: *parent (0xFFFFFFFF for
// the slot root) and *right.
uint32_t Search(GRAPH* graph, uint32_t slot, const unsigned char* contents, unsigned long length, uint32_t* parent,
                bool* right) {
    *parent = TULM_NONE;
    *right = false;
    uint32_t node = Root(graph, slot);
    uint32_t above = 0;
    while (node != TULM_NONE) {
        // Every node lies behind the node it hangs from: damaged links of a
        // continued graph end the run instead of a search in circles.
        if (node < GPH_HEADER_BYTES || node <= above || node >= graph->glob[GW_NODESEND])
            engine::Stop(4, "\nThe files of graph %s are damaged: a link of its hash leads to %lu\n", graph->name,
                         static_cast<unsigned long>(node));
        above = node;
        NodeView view = View(graph, node);
        int c = Compare(contents, length, view);
        if (c == 0)
            return node;
        *parent = node;
        *right = c > 0;
        node = *right ? view.right : view.left;
    }
    return TULM_NONE;
}

void Link(GRAPH* graph, uint32_t slot, uint32_t parent, bool right, uint32_t node) {
    if (parent == TULM_NONE) {
        SetRoot(graph, slot, node);
        return;
    }
    unsigned pos = right ? graph->right_child_pos : graph->left_child_pos;
    engine::WriteWord(graph, kNodes, parent + 4UL * pos, node);
    engine::Invalidate(graph);
}

unsigned long Word(GRAPH* graph, uint32_t node, unsigned pos) {
    return engine::ReadWord(graph, kNodes, node + 4UL * pos);
}

void SetWord(GRAPH* graph, uint32_t node, unsigned pos, uint32_t word) {
    engine::WriteWord(graph, kNodes, node + 4UL * pos, word);
    engine::Invalidate(graph);
}

void CheckNode(const GRAPH* graph, unsigned long node, const char* who) {
    if (node < GPH_HEADER_BYTES || node >= graph->glob[GW_NODESEND])
        engine::Fail("\nIllegal node address for %s: %lu\n", who, node);
}

// The length of a new node: the header keeps the greatest, the buffer
// needed to continue and the room of the record cache follow it.
void NoteLength(GRAPH* graph, unsigned long length) {
    uint32_t* g = graph->glob;
    if (length > g[GW_MAXLEN]) {
        g[GW_MAXLEN] = static_cast<uint32_t>(length);
        graph->latest_contents = static_cast<unsigned char*>(Reallocate(graph->latest_contents, length + 1));
    }
    if (length + 1 > g[GW_BUFSIZE])
        g[GW_BUFSIZE] = static_cast<uint32_t>(length + 1);
}

SleepTable& SleepsOf(GRAPH* graph) { return sleepTables[graph->hash]; }

std::vector<uint32_t> Elements(AVLSET* set) {
    std::vector<uint32_t> elements;
    if (set == nullptr)
        return elements;
    static std::vector<uint32_t>* into = nullptr;
    into = &elements;
    BalTrApply(set, [](void* element) {
        into->push_back(static_cast<uint32_t>(*static_cast<unsigned long*>(element)));
        return 0;
    });
    return elements;
}

AVLSET* SetOf(const uint32_t* elements, std::size_t count) {
    AVLSET* set = BalTrCreate(&lngBalTools);
    for (std::size_t k = 0; k < count; ++k) {
        unsigned long n = elements[k];
        BalTrInsert(set, LngCons(n), &n, TRUE);
    }
    return set;
}

void WriteWords(BINARYFILE file, const std::vector<uint32_t>& words) {
    std::vector<unsigned char> bytes(words.size() * 4);
    for (std::size_t k = 0; k < words.size(); ++k)
        engine::PutWord(bytes.data() + 4 * k, words[k]);
    WriteBytes(bytes.data(), bytes.size(), file);
}

uint32_t ReadWordFrom(BINARYFILE file) {
    unsigned char bytes[4];
    ReadBytes(bytes, 4, file);
    return GetWord(bytes);
}

}  // namespace

GRAPH* GphCreate(char* name, uint32_t flags, uint32_t hashSize, uint32_t seed) {
    auto* graph = static_cast<GRAPH*>(YarraColla(1, sizeof(GRAPH)));
    graph->name = StrCp(name);
    graph->reason = 0;
    graph->nodes = graph->arrows = graph->addrs = graph->stack = -1;
    uint32_t* g = graph->glob;
    g[GW_FLAGS] = flags;
    g[GW_LASTTERMCOMP] = TULM_NONE;
    g[GW_LASTTERM] = TULM_NONE;
    g[GW_NODESEND] = GPH_HEADER_BYTES;
    g[GW_HASHSIZE] = hashSize == 0 ? 1 : hashSize;
    g[GW_BUFSIZE] = 1;
    g[GW_SEED] = seed;
    g[GW_LASTARROW] = TULM_NONE;
    static const char* const suffixes[] = {"gph", "aws", "adr", "stk"};
    BINARYFILE* files[] = {&graph->nodes, &graph->arrows, &graph->addrs, &graph->stack};
    for (int k = 0; k < 4; ++k) {
        if (k == 3 && !(flags & GF_SLEEP))
            break;
        char* file = engine::SetFileName(graph, suffixes[k]);
        *files[k] = CreateUpdate(file);
        Deallocate(file);
        if (*files[k] < 0) {
            for (BINARYFILE* f : files)
                if (*f >= 0)
                    OwnClose(*f);
            Deallocate(graph->name);
            Deallocate(graph);
            return nullptr;
        }
    }
    // What an earlier graph of this name left behind belongs to it.
    for (const char* stale : {"hsh", "err", "cad", "caw"}) {
        char* file = engine::SetFileName(graph, stale);
        std::remove(file);
        Deallocate(file);
    }
    GphFieldPositions(graph);
    graph->hash = HashCreate(g[GW_HASHSIZE]);
    graph->latest_node = TULM_NONE;
    graph->latest_rec = static_cast<uint32_t*>(YarraColla(graph->num_node_fields, sizeof(uint32_t)));
    graph->latest_contents = static_cast<unsigned char*>(Etacolla(1));
    graph->arrow_rec = static_cast<uint32_t*>(YarraColla(graph->num_arrow_fields, sizeof(uint32_t)));
    graph->sgc_rec = static_cast<uint32_t*>(YarraColla(3, sizeof(uint32_t)));
    GphFlush(graph);
    return graph;
}

uint32_t GphFndNode(GRAPH* graph, unsigned char* contents, unsigned long* back) {
    unsigned long length = std::strlen(reinterpret_cast<char*>(contents));
    uint32_t parent;
    bool right;
    uint32_t node = Search(graph, Slot(graph, contents, length), contents, length, &parent, &right);
    if (back != nullptr)
        *back = node == TULM_NONE ? NEW_NODE : Word(graph, node, graph->predecessors_pos);
    return node;
}

uint32_t GphPutNode(GRAPH* graph, unsigned char* contents, unsigned long length, unsigned long* back) {
    uint32_t slot = Slot(graph, contents, length);
    uint32_t parent;
    bool right;
    uint32_t node = Search(graph, slot, contents, length, &parent, &right);
    if (node != TULM_NONE) {
        *back = Word(graph, node, graph->predecessors_pos);
        return node;
    }
    uint32_t* g = graph->glob;
    unsigned fields = graph->num_node_fields;
    unsigned long end = g[GW_NODESEND] + 4UL * fields + length;
    if (end > UINT32_MAX || g[GW_NODES] == UINT32_MAX)
        engine::Stop(9, "\nThe nodes file of %s would pass 4294967295 bytes\n", graph->name);
    node = g[GW_NODESEND];
    uint32_t rec[16];
    for (unsigned k = 0; k < fields; ++k)
        rec[k] = TULM_NONE;
    rec[0] = g[GW_NODES];
    if (graph->check_pos != TULM_NONE)
        rec[graph->check_pos] = 0;
    rec[graph->sgc_val_pos] = 0;
    rec[graph->datalen_pos] = static_cast<uint32_t>(length);
    engine::WriteWords(graph, kNodes, node, rec, fields);
    engine::Write(graph, kNodes, node + 4UL * fields, contents, length);
    engine::WriteWord(graph, kAddrs, 4UL * g[GW_NODES], node);
    g[GW_NODESEND] = static_cast<uint32_t>(end);
    ++g[GW_NODES];
    NoteLength(graph, length);
    Link(graph, slot, parent, right, node);
    *back = NEW_NODE;
    return node;
}

uint32_t GphPutArrow(GRAPH* graph, unsigned char* label, unsigned long length, unsigned long ordinal,
                     unsigned long from, unsigned long to, unsigned long first, unsigned long back, int invisible) {
    (void) back;  // the target's last arrow is read from its record
    CheckNode(graph, from, "GphPutArrow");
    CheckNode(graph, to, "GphPutArrow");
    uint32_t* g = graph->glob;
    unsigned fields = graph->num_arrow_fields;
    unsigned long end = g[GW_ARROWSEND] + 4UL * fields + length;
    if (end > UINT32_MAX || ordinal > (UINT32_MAX >> 2))
        engine::Stop(9, "\nThe arrows file of %s would pass 4294967295 bytes\n", graph->name);
    uint32_t arrow = g[GW_ARROWSEND];
    uint32_t rec[8];
    // An invisible arrow is hot until a collapsed chain cools it.
    rec[0] = static_cast<uint32_t>(ordinal << 2) | (invisible ? 2u : 1u);
    rec[1] = static_cast<uint32_t>(from);
    rec[2] = static_cast<uint32_t>(Word(graph, static_cast<uint32_t>(to), graph->predecessors_pos));
    rec[3] = static_cast<uint32_t>(to);
    if (g[GW_FLAGS] & GF_FREE)
        rec[4] = static_cast<uint32_t>(first);
    rec[graph->aw_datalen_pos] = static_cast<uint32_t>(length);
    engine::WriteWords(graph, kArrows, arrow, rec, fields);
    engine::Write(graph, kArrows, arrow + 4UL * fields, label, length);
    SetWord(graph, static_cast<uint32_t>(to), graph->predecessors_pos, arrow);
    g[GW_ARROWSEND] = static_cast<uint32_t>(end);
    ++g[GW_ARROWS];
    g[GW_LASTARROW] = arrow;
    return arrow;
}

void GphUpdate(GRAPH* graph, unsigned long node, unsigned long awCount, unsigned long awFirst, AVLSET* sleepSet) {
    CheckNode(graph, node, "GphUpdate");
    auto n = static_cast<uint32_t>(node);
    SetWord(graph, n, 1, static_cast<uint32_t>(awCount));
    SetWord(graph, n, 2, awCount != 0 ? static_cast<uint32_t>(awFirst) : TULM_NONE);
    if (graph->glob[GW_FLAGS] & GF_SLEEP) {
        std::vector<uint32_t> elements = Elements(sleepSet);
        SleepTable& table = SleepsOf(graph);
        if (elements.empty())
            table.erase(n);
        else
            table[n] = std::move(elements);
    }
}

void GphAddTermNode(GRAPH* graph, unsigned long node) {
    CheckNode(graph, node, "GphAddTermNode");
    auto n = static_cast<uint32_t>(node);
    uint32_t* g = graph->glob;
    SetWord(graph, n, 1, 0);
    SetWord(graph, n, 2, g[GW_LASTTERM]);
    g[GW_LASTTERM] = n;
    ++g[GW_TERMNODES];
}

void GphErase(GRAPH* graph, unsigned long node, unsigned char* buffer) {
    (void) buffer;  // the store reads the erased contents into its own room
    CheckNode(graph, node, "GphErase");
    auto from = static_cast<uint32_t>(node);
    uint32_t* g = graph->glob;
    uint32_t first = static_cast<uint32_t>(Word(graph, from, 0));
    for (uint32_t ordinal = first; ordinal < g[GW_NODES]; ++ordinal) {
        uint32_t gone = engine::ReadWord(graph, kAddrs, 4UL * ordinal);
        NodeView view = View(graph, gone);
        std::vector<unsigned char> contents(view.contents, view.contents + view.length);
        uint32_t parent;
        bool right;
        uint32_t slot = Slot(graph, contents.data(), contents.size());
        uint32_t found = Search(graph, slot, contents.data(), contents.size(), &parent, &right);
        // A parent that goes as well takes the link with it (and a node
        // below an erased one is out of the tree already).
        if (found == gone && (parent == TULM_NONE || parent < from))
            Link(graph, slot, parent, right, TULM_NONE);
        if (graph->hash != nullptr)
            SleepsOf(graph).erase(gone);
    }
    g[GW_NODES] = first;
    g[GW_NODESEND] = from;
    engine::Invalidate(graph);
}

void GphPush(GRAPH* graph, unsigned long node, AVLSET* sleepSet) {
    std::vector<uint32_t> entry;
    entry.push_back(static_cast<uint32_t>(node));
    std::vector<uint32_t> elements = Elements(sleepSet);
    entry.push_back(static_cast<uint32_t>(elements.size()));
    entry.insert(entry.end(), elements.begin(), elements.end());
    entry.push_back(static_cast<uint32_t>(entry.size() + 1));
    uint32_t* g = graph->glob;
    unsigned long end = g[GW_STACKEND] + 4UL * entry.size();
    if (end > UINT32_MAX)
        engine::Stop(9, "\nThe stack file of %s would pass 4294967295 bytes\n", graph->name);
    std::vector<unsigned char> bytes(4 * entry.size());
    for (std::size_t k = 0; k < entry.size(); ++k)
        engine::PutWord(bytes.data() + 4 * k, entry[k]);
    engine::Write(graph, kStack, g[GW_STACKEND], bytes.data(), bytes.size());
    g[GW_STACKEND] = static_cast<uint32_t>(end);
}

namespace {

// A node stack or sleep set of a continued graph that the generation cannot
// use ends the run as an unusable graph file.
[[noreturn]] void Damaged(const GRAPH* graph, const char* what) {
    engine::Stop(4, "\nThe files of graph %s are damaged: %s\n", graph->name, what);
}

// The elements of a stored sleep set are numbers of transitions of the net.
void CheckSleepSet(const GRAPH* graph, const uint32_t* elements, std::size_t count) {
    unsigned long transitions = _tblTrn != nullptr && _tblTrn[0] != nullptr ? _tblTrn[0]->ptrCount : 0;
    for (std::size_t k = 0; k < count; ++k)
        if (elements[k] >= transitions)
            Damaged(graph, "a sleep set names a transition the net does not have");
}

}  // namespace

int GphPop(GRAPH* graph, unsigned long* node, AVLSET** sleepSet) {
    uint32_t* g = graph->glob;
    if (g[GW_STACKEND] == 0)
        return 0;
    if (g[GW_STACKEND] < 12)
        Damaged(graph, "its node stack");
    uint32_t words = engine::ReadWord(graph, kStack, g[GW_STACKEND] - 4UL);
    if (words < 3 || 4UL * words > g[GW_STACKEND])
        Damaged(graph, "its node stack");
    unsigned long start = g[GW_STACKEND] - 4UL * words;
    std::vector<unsigned char> bytes(4UL * words);
    engine::Read(graph, kStack, start, bytes.data(), bytes.size());
    std::vector<uint32_t> entry(words);
    for (uint32_t k = 0; k < words; ++k)
        entry[k] = GetWord(bytes.data() + 4 * k);
    if (entry[1] != words - 3 || entry[0] < GPH_HEADER_BYTES || entry[0] + 4UL * graph->num_node_fields > g[GW_NODESEND])
        Damaged(graph, "its node stack");
    // A node's ordinal word leads back to it through the address table.
    uint32_t ordinal = static_cast<uint32_t>(Word(graph, entry[0], 0));
    if (ordinal >= g[GW_NODES] || engine::ReadWord(graph, kAddrs, 4UL * ordinal) != entry[0])
        Damaged(graph, "its node stack");
    CheckSleepSet(graph, entry.data() + 2, entry[1]);
    *node = entry[0];
    *sleepSet = SetOf(entry.data() + 2, entry[1]);
    g[GW_STACKEND] = static_cast<uint32_t>(start);
    return 1;
}

AVLSET* GphSleepSet(GRAPH* graph, unsigned long node) {
    CheckNode(graph, node, "GphSleepSet");
    if (Word(graph, static_cast<uint32_t>(node), 1) == TULM_NONE)
        return nullptr;
    const SleepTable& table = SleepsOf(graph);
    auto it = table.find(static_cast<uint32_t>(node));
    if (it == table.end())
        return BalTrCreate(&lngBalTools);
    CheckSleepSet(graph, it->second.data(), it->second.size());
    return SetOf(it->second.data(), it->second.size());
}

RADIX* HashCreate(unsigned long size) {
    RADIX* hash = RadixCreate(size == 0 ? 1 : size, &hashTools);
    sleepTables[hash];
    return hash;
}

void HashWrite(RADIX* hash, unsigned long size, BINARYFILE file) {
    std::vector<uint32_t> words(size);
    for (unsigned long k = 0; k < size; ++k)
        words[k] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(RadixGet(hash, k)));
    const SleepTable& table = sleepTables[hash];
    std::vector<uint32_t> nodes;
    for (const auto& entry : table)
        nodes.push_back(entry.first);
    std::sort(nodes.begin(), nodes.end());
    words.push_back(static_cast<uint32_t>(nodes.size()));
    for (uint32_t node : nodes) {
        const std::vector<uint32_t>& elements = table.at(node);
        words.push_back(node);
        words.push_back(static_cast<uint32_t>(elements.size()));
        words.insert(words.end(), elements.begin(), elements.end());
    }
    WriteWords(file, words);
}

void HashRead(RADIX* hash, unsigned long size, BINARYFILE file) {
    // The words from here to the end of the file, so that a damaged count
    // cannot read past them.
    off_t at = lseek(file, 0, SEEK_CUR);
    unsigned long left = at < 0 ? 0 : (SeekEnd(file) - static_cast<unsigned long>(at)) / 4;
    if (at >= 0)
        SeekAbs(file, static_cast<unsigned long>(at));
    auto take = [&](unsigned long words) {
        if (words > left)
            engine::Stop(4, "\nThe hash file of the graph is damaged: it ends too early\n");
        left -= words;
    };
    take(size + 1UL);
    for (unsigned long k = 0; k < size; ++k)
        RadixPut(hash, reinterpret_cast<void*>(static_cast<uintptr_t>(ReadWordFrom(file))), k);
    SleepTable& table = sleepTables[hash];
    table.clear();
    uint32_t count = ReadWordFrom(file);
    for (uint32_t k = 0; k < count; ++k) {
        take(2);
        uint32_t node = ReadWordFrom(file);
        uint32_t n = ReadWordFrom(file);
        take(n);
        std::vector<uint32_t> elements(n);
        for (uint32_t& e : elements)
            e = ReadWordFrom(file);
        table[node] = std::move(elements);
    }
}

void HashDestroy(RADIX* hash) {
    sleepTables.erase(hash);
    RadixDestroy(hash, FALSE);
}

// Whether the records a walk over the whole graph reads lie where the
// queries may read them:
// each node's fixed words and contents before the next node, its arrows and
// their labels inside the arrows file with targets inside the nodes file,
// the chain of terminal nodes and the members and successor lists of the
// components.  The reason they do not, or null.
const char* engine::RecordDamage(GRAPH* graph) {
    const uint32_t* g = graph->glob;
    const unsigned long nodes = g[GW_NODES], nodesEnd = g[GW_NODESEND], arrowsEnd = g[GW_ARROWSEND];
    const unsigned long nodeBytes = 4UL * graph->num_node_fields, arrowBytes = 4UL * graph->num_arrow_fields;
    // The node addresses rise with the ordinals (checked when the graph
    // was opened): a link to a node is one of them.
    std::vector<uint32_t> addresses(nodes);
    for (unsigned long ordinal = 0; ordinal < nodes; ++ordinal)
        addresses[ordinal] = GphId(graph, ordinal);
    auto isNode = [&](unsigned long node) { return std::binary_search(addresses.begin(), addresses.end(), node); };
    std::vector<uint32_t> rec(graph->num_node_fields), arrow(graph->num_arrow_fields);
    for (unsigned long ordinal = 0; ordinal < nodes; ++ordinal) {
        unsigned long node = addresses[ordinal];
        unsigned long next = ordinal + 1 < nodes ? addresses[ordinal + 1] : nodesEnd;
        ReadWords(graph, kNodes, node, rec.data(), graph->num_node_fields);
        if (rec[0] != ordinal || node + nodeBytes + rec[graph->datalen_pos] > next)
            return "a node record does not fit its place";
        uint32_t count = rec[1];
        if (count == 0 || count == 0xFFFFFFFFu)
            continue;
        if (count > g[GW_ARROWS])
            return "a node has more arrows than the graph";
        unsigned long aw = rec[2];
        for (uint32_t k = 0; k < count; ++k) {
            if (aw + arrowBytes > arrowsEnd)
                return "an arrow lies outside the arrows file";
            ReadWords(graph, kArrows, aw, arrow.data(), graph->num_arrow_fields);
            unsigned long end = aw + arrowBytes + arrow[graph->aw_datalen_pos];
            if (end > arrowsEnd || !isNode(arrow[3]))
                return "an arrow's label or target lies outside its file";
            aw = (g[GW_FLAGS] & GF_FREE) ? arrow[4] : end;
        }
    }
    // While the generation is unfinished, the hash leads to nodes: its slot
    // roots and the child links of the trees, each below its parent.
    if (graph->hash != nullptr) {
        for (unsigned long k = 0; k < g[GW_HASHSIZE]; ++k) {
            auto root = reinterpret_cast<uintptr_t>(RadixGet(graph->hash, k));
            if (root != 0 && root != 0xFFFFFFFFu && !isNode(root))
                return "a link of its hash leads outside the nodes";
        }
        for (unsigned long node : addresses)
            for (unsigned pos : {graph->left_child_pos, graph->right_child_pos}) {
                uint32_t child = ReadWord(graph, kNodes, node + 4UL * pos);
                if (child != 0xFFFFFFFFu && (child <= node || !isNode(child)))
                    return "a link of its hash leads outside the nodes";
            }
    }
    unsigned long terminal = g[GW_LASTTERM];
    for (unsigned long k = 0; k < g[GW_TERMNODES] && terminal != 0xFFFFFFFFu; ++k) {
        if (!isNode(terminal))
            return "the chain of terminal nodes leaves the nodes file";
        terminal = ReadWord(graph, kNodes, terminal + 8);
    }
    for (unsigned long c = 0; c < g[GW_COMPS]; ++c) {
        uint32_t component[3];
        ReadWords(graph, kAddrs, (nodes + 3 * c) * 4, component, 3);
        unsigned long member = component[0];
        for (unsigned long k = 0; member != 0xFFFFFFFFu; ++k) {
            if (k == nodes || !isNode(member))
                return "the members of a component leave the nodes file or run in circles";
            member = ReadWord(graph, kNodes, member + 4UL * graph->left_child_pos);
        }
        if (component[2] > g[GW_COMPS] || (component[2] != 0 && component[1] + 4UL * component[2] > arrowsEnd))
            return "the successors of a component lie outside the arrows file";
    }
    return nullptr;
}
