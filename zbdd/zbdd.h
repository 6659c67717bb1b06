// The ZBDD package: sets of markings of a 1-safe net as zero-suppressed
// binary decision diagrams.
//
// One node array is shared by all diagrams (`ZbddManager`, one per process).
// A marking is the set of its marked places, each place a variable; variable 0
// lies nearest the root.  Node 0 is the empty set, node 1 the set holding only
// the empty marking; no non-terminal node has hi = 0 (zero suppression), and
// the unique table keeps every (variable, lo, hi) once, so equal sets are
// equal node indices.
//
// Callers hold diagrams through `Zbdd` handles only: every handle is an
// external reference, and the external references are the roots of garbage
// collection.  Collection runs only inside an operation that ran out of
// nodes; the operation then starts again (its arguments are held by
// handles, so they survive).  The model size is where a run starts, not a
// wall: a full array smaller than the extra-large model size doubles
// without a collection (keeping every node and cache entry); a larger one
// is collected, and doubles with its tables when the collection frees less
// than a quarter of it or the operation had already failed once after a
// collection, as far as the machine's memory allows.  Only an operation
// that runs out of nodes when nothing can grow any more ends the run with
// "Out of memory (insert)".  Collections keep the cache entries whose nodes
// all survive them, and a cache that refills often while still answering
// grows.
//
// The operations walk diagrams with explicit stacks, never with recursion on
// the diagram's depth, so nets of any size fit the process stack.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "longint.h"

namespace zbdd {

// Sizes of the package's arrays and tables (each table has 2^k entries).
struct ModelSize {
    std::uint32_t maxNodes;
    std::uint32_t kUnique;
    std::uint32_t kFire;
    std::uint32_t kBinOp;
    std::uint32_t kStateNr;
};

enum class SizeChoice { Small = 0, Medium = 1, Large = 2, ExtraLarge = 3 };
ModelSize cyrtalModelSize(SizeChoice size);
ModelSize movraneModelSize(SizeChoice size);

// Transition vector: pairs (variable, code) in ascending variable order,
// closed by the single word nVars.
using TransitionVector = std::vector<std::uint32_t>;
enum PairCode : std::uint32_t {
    kConsume = 0,        // marked before, unmarked after
    kTest = 1,           // read arc: marked before and after
    kProduce = 2,        // unmarked before, marked after
    kInhibit = 3,        // inhibitor: unmarked before and after
    kInhibitProduce = 4  // inhibitor whose transition also produces: as kProduce
};

// Thrown by getNode when no node is free; caught by the operation entries.
struct NoFreeNodes {};

// The ten statistic counters, reset and copied together.
struct ZbddStatistics {
    std::uint32_t nodesMade = 0;     // overall number of nodes
    std::uint32_t liveNodes = 0;     // number of nodes in nodes-array
    std::uint32_t collections = 0;
    std::uint32_t fireHits = 0;
    std::uint32_t fireMisses = 0;
    std::uint32_t binOpHits = 0;
    std::uint32_t binOpMisses = 0;
    std::uint32_t stateNrHits = 0;
    std::uint32_t stateNrMisses = 0;
    std::uint32_t maxRefs = 0;
};

class Zbdd;

class ZbddManager {
public:
    static constexpr std::uint32_t kNone = 0;

    bool initialised() const { return !nodes_.empty(); }
    // Allocates and clears every table; "Out of memory (init)" when that fails.
    void initManager(std::uint32_t maxNodes, std::uint32_t maxExtRefs, std::uint32_t nVars, std::uint32_t kUnique,
                     std::uint32_t kFire, std::uint32_t kBinOp, std::uint32_t kStateNr);
    void initManager(const ModelSize& size, std::uint32_t maxExtRefs, std::uint32_t nVars) {
        initManager(size.maxNodes, maxExtRefs, nVars, size.kUnique, size.kFire, size.kBinOp, size.kStateNr);
    }
    // Releases every table.  No handle other than a terminal may be alive.
    void deleteManager();

    std::uint32_t nVars() const { return nVars_; }
    std::uint32_t maxNodes() const { return maxNodes_; }
    // The most nodes the array may grow to; initManager sets it from the
    // machine's memory.  Setting it at or below maxNodes() keeps the array
    // at its size.
    void setNodeLimit(std::uint32_t limit) { nodeLimit_ = limit; }
    // Below the loose limit a full array grows without a collection: the
    // nodes of finished operations stay, and with them the cache entries
    // that the next operations reuse.  By default it is the extra-large
    // model size, so that a run which makes many nodes has the tables of
    // that size before it starts collecting.
    static constexpr std::uint32_t kLooseNodes = 8000000;
    void setLooseLimit(std::uint32_t limit) { looseLimit_ = limit; }
    std::uint32_t nodeLimit() const { return nodeLimit_; }

    // The unique-table lookup; throws NoFreeNodes when a node is needed and
    // none is free.
    std::uint32_t getNode(std::uint32_t var, std::uint32_t lo, std::uint32_t hi);
    // Doubles an operation cache that has been refilled several times over
    // while it still answered often; the entries go along.  Run between
    // operations.
    void growUsefulCaches();
    // After an operation ran out of nodes: while the array is smaller than
    // the loose limit it grows at once, keeping every node (and so every
    // cache entry); beyond, a collection runs, which grows the tables when
    // it frees little or when the operation had run out before (failedBefore).
    // False when no room could be made.
    bool makeRoom(bool failedBefore);
    // Marks from the external references (and from the results of the
    // calls that an operation which ran out of nodes left pending), keeps
    // the cache entries whose nodes are all marked, grows the tables when
    // fewer than a quarter of the nodes are free (or always with mustGrow),
    // and sweeps.  True when the tables grew.
    bool garbageCollect(bool mustGrow = false);
    // A second exhaustion within one operation: "Out of memory (insert)".
    [[noreturn]] static void outOfNodes();

    // External references: acquireRef returns the slot that holds the node.
    std::uint32_t acquireRef(std::uint32_t node);
    void releaseRef(std::uint32_t node, std::uint32_t slot);
    std::uint32_t refCount() const { return refCount_; }

    LongInt countStates(std::uint32_t node);
    std::uint32_t nodeCount(std::uint32_t node);

    void resetStatistics() {
        stats_ = ZbddStatistics();
        fireWindow_ = binOpWindow_ = CacheWindow();
    }
    const ZbddStatistics& statistics() const { return stats_; }
    // The report of "ZBDD statistic:"; movrane leaves the first line out.
    void printStatistics(bool withRefs) const;
    void printUniqueHashHistogram() const;

    // Node fields, for walks outside the package (tests, printing).
    std::uint32_t var(std::uint32_t n) const { return nodes_[n].var2 >> 1; }
    std::uint32_t lo(std::uint32_t n) const { return nodes_[n].lo; }
    std::uint32_t hi(std::uint32_t n) const { return nodes_[n].hi; }

    // Raw workers: node indices in, node index out.  They may throw
    // NoFreeNodes; the entries below catch it.
    std::uint32_t fireUnionRaw(std::uint32_t p, std::uint32_t q, const TransitionVector& tv, std::uint32_t aux);
    std::uint32_t imageRaw(std::uint32_t p, const TransitionVector& tv, std::uint32_t aux);
    std::uint32_t preImageRaw(std::uint32_t p, const TransitionVector& tv, std::uint32_t aux);
    std::uint32_t subset0Raw(std::uint32_t p, std::uint32_t var);
    std::uint32_t onsetRaw(std::uint32_t p, std::uint32_t var);
    std::uint32_t changeRaw(std::uint32_t p, std::uint32_t var);
    std::uint32_t uniteRaw(std::uint32_t p, std::uint32_t q);
    std::uint32_t intersectRaw(std::uint32_t p, std::uint32_t q);
    std::uint32_t differenceRaw(std::uint32_t p, std::uint32_t q);
    std::uint32_t universeRaw();

    // Runs a raw worker; on NoFreeNodes collects garbage and runs it once
    // more; a second exhaustion is fatal.
    template <class F>
    std::uint32_t guarded(F&& worker);

    struct Node {
        std::uint32_t var2;  // variable << 1 | mark bit
        std::uint32_t lo;
        std::uint32_t hi;
        std::uint32_t next;  // unique-table chain
    };
    struct CacheEntry {
        std::uint32_t a, b, c, result;
    };
    struct StateEntry {
        std::uint32_t node;
        LongInt count;
    };
    // A pending call of an operation worker on the explicit stack.
    struct Call {
        std::uint32_t p, q, t;
    };
    // A call waiting for the results of its children: the node (var, lo, hi)
    // is made once both are known; var kPass passes the lo result through.
    struct Frame {
        Call key;      // cache key of the call (kept for the store)
        Call loCall;   // child calls
        Call hiCall;
        std::uint32_t var;
        std::uint32_t lo;
        std::uint32_t hi;
        std::uint32_t slot;   // cache slot to fill, or kNoSlot
        std::uint8_t calls;   // kLoCall | kHiCall
        std::uint8_t waiting; // which result is awaited
    };
    static constexpr std::uint32_t kNoSlot = 0xFFFFFFFFu;
    static constexpr std::uint32_t kPass = 0xFFFFFFFFu;
    static constexpr std::uint8_t kLoCall = 1;
    static constexpr std::uint8_t kHiCall = 2;

private:
    template <class Op>
    std::uint32_t run(Call call);
    // Marks the node and everything below it; returns how many nodes it marked.
    std::uint32_t mark(std::uint32_t root);
    void unmark(std::uint32_t root);
    bool marked(std::uint32_t n) const { return nodes_[n].var2 & 1; }
    // Clears the cache entries that name an unmarked node.
    void purgeCaches();
    // Doubles the node array (as far as the limit allows) and the unique
    // table and the two operation caches with it; false when it cannot.
    bool grow();
    // grow() while every node is in use (the free list is empty): no node
    // is freed, the unique table takes all of them again.
    bool growInPlace();
    enum class CacheKind { Fire, BinOp };
    bool doubleCache(CacheKind kind);
    std::size_t tableBytes(std::uint64_t nodes, std::uint32_t kUnique, std::uint32_t kFire,
                           std::uint32_t kBinOp) const;

    friend struct FireUnionOp;
    friend struct ImageOp;
    friend struct PreImageOp;
    friend struct Subset0Op;
    friend struct OnsetOp;
    friend struct ChangeOp;
    friend struct UniteOp;
    friend struct IntersectOp;
    friend struct DifferenceOp;

    std::uint32_t nVars_ = 0;
    std::uint32_t maxNodes_ = 0;
    std::uint32_t nodeLimit_ = 0;
    std::uint32_t looseLimit_ = kLooseNodes;
    std::uint32_t kUnique_ = 0, kFire_ = 0, kBinOp_ = 0, kStateNr_ = 0;
    std::vector<Node> nodes_;
    std::uint32_t freeHead_ = 0;
    std::vector<std::uint32_t> unique_;
    std::vector<CacheEntry> fire_;
    std::vector<CacheEntry> binOp_;
    std::vector<StateEntry> stateNr_;
    std::vector<std::uint32_t> refs_;      // slot -> node (0 = free)
    std::vector<std::uint32_t> freeSlots_;  // stack of free slots, lowest on top
    std::uint32_t refCount_ = 0;
    ZbddStatistics stats_;
    // Hits and misses of each operation cache when it last grew.
    struct CacheWindow {
        std::uint32_t hits = 0, misses = 0;
    };
    CacheWindow fireWindow_, binOpWindow_;

    // Operation state of the running worker.
    const std::uint32_t* tv_ = nullptr;
    std::uint32_t aux_ = 0;
    std::vector<Frame> stack_;
    std::vector<std::uint32_t> walk_;  // stack of the mark walks
};

template <class F>
inline std::uint32_t ZbddManager::guarded(F&& worker) {
    growUsefulCaches();
    for (bool failedBefore = false;; failedBefore = true) {
        try {
            return worker();
        } catch (const NoFreeNodes&) {
        }
        if (!makeRoom(failedBefore)) outOfNodes();
    }
}

// The process's package.
ZbddManager& manager();

// Cache hashes: all arithmetic unsigned 32-bit; k is the table's exponent.
constexpr std::uint32_t kHashSpread = 0x55555555u;
inline std::uint32_t fireHash(std::uint32_t p, std::uint32_t q, std::uint32_t aux, std::uint32_t k) {
    const std::uint32_t h2 = k / 2, h4 = k / 4, K = kHashSpread;
    return (((p ^ K) << h2) + aux + ((p ^ K) >> h2) + (q << h4) + (q >> h4)) & ((1u << k) - 1);
}
inline std::uint32_t binOpHash(std::uint32_t tag, std::uint32_t a, std::uint32_t b, std::uint32_t k) {
    const std::uint32_t h2 = k / 2, h4 = k / 4, K = kHashSpread;
    return (((a ^ K) >> h2) + tag + ((a ^ K) << h2) + (b << h4) + (b >> h4)) & ((1u << k) - 1);
}
// binOp tags: the one-variable operations (below kFirstBinaryTag) keep a
// variable, not a node, as their second key.
constexpr std::uint32_t kFirstBinaryTag = 4;

// A diagram held as an external reference.
class Zbdd {
public:
    Zbdd() = default;
    // 0 = the empty set, 1 = {empty marking}, -1 = the universe.
    explicit Zbdd(int constant);
    static Zbdd fromNode(std::uint32_t node) { return Zbdd(node, Adopt{}); }
    Zbdd(const Zbdd& other) : Zbdd(other.node_, Adopt{}) {}
    Zbdd(Zbdd&& other) noexcept : node_(other.node_), slot_(other.slot_) {
        other.node_ = 0;
        other.slot_ = 0;
    }
    Zbdd& operator=(const Zbdd& other);
    Zbdd& operator=(Zbdd&& other) noexcept;
    ~Zbdd() { release(); }

    std::uint32_t node() const { return node_; }
    bool operator==(const Zbdd& o) const { return node_ == o.node_; }
    bool operator!=(const Zbdd& o) const { return node_ != o.node_; }
    bool isEmpty() const { return node_ == 0; }
    LongInt stateCount() const { return manager().countStates(node_); }
    std::uint32_t nodeCount() const { return manager().nodeCount(node_); }
    // Fills marking[var] = 1 along the path that always follows hi; false for
    // the empty set.  The vector is not cleared first.
    bool pick(std::vector<std::uint8_t>& marking) const;
    // Nested text: 'Z', 'O' or "(lo var hi)", then a newline.
    void print(std::FILE* out) const;
    std::string toText() const;

private:
    struct Adopt {};
    Zbdd(std::uint32_t node, Adopt);
    void release() noexcept;
    std::uint32_t node_ = 0;
    std::uint32_t slot_ = 0;
};

// The single marking given as a byte vector indexed by variable.
Zbdd markingToZbdd(const std::vector<std::uint8_t>& marking);

Zbdd fireUnion(const Zbdd& p, const Zbdd& q, const TransitionVector& tv, std::uint32_t aux);
Zbdd image(const Zbdd& p, const TransitionVector& tv, std::uint32_t aux);
Zbdd preImage(const Zbdd& p, const TransitionVector& tv, std::uint32_t aux);
Zbdd subset0(const Zbdd& p, std::uint32_t var);
Zbdd onset(const Zbdd& p, std::uint32_t var);
Zbdd change(const Zbdd& p, std::uint32_t var);
Zbdd unite(const Zbdd& p, const Zbdd& q);
Zbdd intersect(const Zbdd& p, const Zbdd& q);
Zbdd difference(const Zbdd& p, const Zbdd& q);

}  // namespace zbdd
