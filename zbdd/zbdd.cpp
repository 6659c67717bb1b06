// The package's tables: node array, unique table, garbage collection,
// external references, counts and statistics.  The operations are in
// operations.cpp.
#include "zbdd.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "output.h"

namespace zbdd {

namespace {

constexpr std::uint32_t kMark = 1;
constexpr std::uint32_t K = kHashSpread;
// Node indices stay 32-bit with room for the two terminals; table exponents
// stay below the width of the hashes.
constexpr std::uint64_t kMostNodes = 0x7FFFFFF0u;
constexpr std::uint32_t kMostExponent = 30;

// The memory the package's tables may take at most: half of the machine's
// memory or of the process's address-space limit, whichever is smaller.
std::uint64_t memoryBudget() {
    std::uint64_t bytes = std::uint64_t{1} << 32;
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) bytes = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        bytes = std::min<std::uint64_t>(bytes, limit.rlim_cur);
    return bytes / 2;
}

ZbddManager gManager;

}  // namespace

ZbddManager& manager() { return gManager; }

ModelSize cyrtalModelSize(SizeChoice size) {
    switch (size) {
    case SizeChoice::Small: return {500000, 9, 7, 7, 7};
    case SizeChoice::Medium: return {1200000, 20, 18, 18, 12};
    case SizeChoice::Large: return {4000000, 22, 20, 20, 12};
    case SizeChoice::ExtraLarge: return {8000000, 23, 21, 21, 13};
    }
    return {1200000, 20, 18, 18, 12};
}

ModelSize movraneModelSize(SizeChoice size) {
    if (size == SizeChoice::Large) return {2000000, 21, 19, 19, 12};
    return cyrtalModelSize(size);
}

void ZbddManager::initManager(std::uint32_t maxNodes, std::uint32_t maxExtRefs, std::uint32_t nVars,
                              std::uint32_t kUnique, std::uint32_t kFire, std::uint32_t kBinOp,
                              std::uint32_t kStateNr) {
    deleteManager();
    nVars_ = nVars;
    maxNodes_ = maxNodes;
    kUnique_ = kUnique;
    kFire_ = kFire;
    kBinOp_ = kBinOp;
    kStateNr_ = kStateNr;
    try {
        nodes_.assign(static_cast<std::size_t>(maxNodes) + 2, Node{0, 0, 0, 0});
        refs_.assign(maxExtRefs, 0);
        freeSlots_.clear();
        freeSlots_.reserve(maxExtRefs);
        for (std::uint32_t s = maxExtRefs; s-- > 0;) freeSlots_.push_back(s);
        unique_.assign(std::size_t{1} << kUnique, 0);
        fire_.assign(std::size_t{1} << kFire, CacheEntry{0, 0, 0, 0});
        binOp_.assign(std::size_t{1} << kBinOp, CacheEntry{0, 0, 0, 0});
        stateNr_.assign(std::size_t{1} << kStateNr, StateEntry{0, LongInt()});
        stack_.reserve(1024);
    } catch (const std::bad_alloc&) {
        deleteManager();
        fatal("Out of memory (init)");
    }
    for (std::uint32_t t = 0; t < 2; ++t) nodes_[t].var2 = (nVars << 1) | kMark;
    // Free list in ascending order: head 2, the last node's link 0.
    for (std::uint32_t n = 2; n <= maxNodes + 1; ++n) nodes_[n].lo = n <= maxNodes ? n + 1 : 0;
    freeHead_ = maxNodes >= 1 ? 2 : 0;
    refCount_ = 0;
    resetStatistics();
    // Growing doubles every table together, so the bytes per node stay as
    // at the start, but for the caches, which may grow further to half an
    // entry per node each.
    const double perNode =
        static_cast<double>(tableBytes(std::max<std::uint32_t>(maxNodes, 1), kUnique, kFire, kBinOp)) /
            std::max<std::uint32_t>(maxNodes, 1) +
        static_cast<double>(sizeof(CacheEntry));
    const double fit = static_cast<double>(memoryBudget()) / perNode;
    looseLimit_ = kLooseNodes;
    nodeLimit_ = static_cast<std::uint32_t>(
        std::max<double>(maxNodes, std::min<double>(fit, static_cast<double>(kMostNodes))));
}

std::size_t ZbddManager::tableBytes(std::uint64_t nodes, std::uint32_t kUnique, std::uint32_t kFire,
                                    std::uint32_t kBinOp) const {
    return (nodes + 2) * sizeof(Node) + (std::size_t{1} << kUnique) * sizeof(std::uint32_t) +
           ((std::size_t{1} << kFire) + (std::size_t{1} << kBinOp)) * sizeof(CacheEntry) +
           stateNr_.size() * sizeof(StateEntry);
}

void ZbddManager::deleteManager() {
    std::vector<Node>().swap(nodes_);
    std::vector<std::uint32_t>().swap(unique_);
    std::vector<CacheEntry>().swap(fire_);
    std::vector<CacheEntry>().swap(binOp_);
    std::vector<StateEntry>().swap(stateNr_);
    std::vector<std::uint32_t>().swap(refs_);
    std::vector<std::uint32_t>().swap(freeSlots_);
    std::vector<Frame>().swap(stack_);
    std::vector<std::uint32_t>().swap(walk_);
    freeHead_ = 0;
    refCount_ = 0;
}

static inline std::uint32_t uniqueHash(std::uint32_t v, std::uint32_t lo, std::uint32_t hi, std::uint32_t k) {
    std::uint32_t h2 = k / 2, h4 = k / 4;
    return (v + ((lo ^ K) << h2) + ((lo ^ K) >> h2) + (hi << h4) + (hi >> h4)) & ((1u << k) - 1);
}

std::uint32_t ZbddManager::getNode(std::uint32_t v, std::uint32_t lo, std::uint32_t hi) {
    if (hi == 0) return lo;
    std::uint32_t& bucket = unique_[uniqueHash(v, lo, hi, kUnique_)];
    const std::uint32_t v2 = v << 1;
    for (std::uint32_t n = bucket; n != 0; n = nodes_[n].next) {
        const Node& x = nodes_[n];
        if ((x.var2 & ~kMark) == v2 && x.lo == lo && x.hi == hi) return n;
    }
    if (freeHead_ == 0) throw NoFreeNodes{};
    std::uint32_t n = freeHead_;
    Node& x = nodes_[n];
    freeHead_ = x.lo;
    ++stats_.nodesMade;
    ++stats_.liveNodes;
    x.var2 = v2 | (x.var2 & kMark);
    x.lo = lo;
    x.hi = hi;
    x.next = bucket;
    bucket = n;
    return n;
}

std::uint32_t ZbddManager::mark(std::uint32_t root) {
    if (nodes_[root].var2 & kMark) return 0;
    std::uint32_t count = 1;
    walk_.clear();
    walk_.push_back(root);
    nodes_[root].var2 |= kMark;
    while (!walk_.empty()) {
        std::uint32_t n = walk_.back();
        walk_.pop_back();
        for (std::uint32_t c : {nodes_[n].lo, nodes_[n].hi}) {
            if (!(nodes_[c].var2 & kMark)) {
                nodes_[c].var2 |= kMark;
                walk_.push_back(c);
                ++count;
            }
        }
    }
    return count;
}

void ZbddManager::unmark(std::uint32_t root) {
    if (root < 2 || !(nodes_[root].var2 & kMark)) return;
    walk_.clear();
    walk_.push_back(root);
    nodes_[root].var2 &= ~kMark;
    while (!walk_.empty()) {
        std::uint32_t n = walk_.back();
        walk_.pop_back();
        for (std::uint32_t c : {nodes_[n].lo, nodes_[n].hi}) {
            if (c >= 2 && (nodes_[c].var2 & kMark)) {
                nodes_[c].var2 &= ~kMark;
                walk_.push_back(c);
            }
        }
    }
}

void ZbddManager::purgeCaches() {
    // A cache entry stays true while its nodes exist: nodes keep their
    // indices through a collection, so only entries naming a node that is
    // about to be freed (and whose index may come back as another node) go.
    for (CacheEntry& e : fire_)
        if (!(marked(e.a) && marked(e.b) && marked(e.result))) e = CacheEntry{0, 0, 0, 0};
    for (CacheEntry& e : binOp_)
        if (!(marked(e.a) && marked(e.result) && (e.c < kFirstBinaryTag || marked(e.b)))) e = CacheEntry{0, 0, 0, 0};
    for (StateEntry& e : stateNr_)
        if (!marked(e.node)) e.node = 0;
}

bool ZbddManager::doubleCache(CacheKind kind) {
    std::vector<CacheEntry>& table = kind == CacheKind::Fire ? fire_ : binOp_;
    std::uint32_t& k = kind == CacheKind::Fire ? kFire_ : kBinOp_;
    if (k >= kMostExponent) return false;
    try {
        std::vector<CacheEntry> larger(std::size_t{1} << (k + 1), CacheEntry{0, 0, 0, 0});
        ++k;
        for (const CacheEntry& e : table) {
            if (e.a == 0) continue;
            // image and preImage keys hold 0 as Q and hash P in its place.
            const std::uint32_t slot = kind == CacheKind::Fire ? fireHash(e.a, e.b != 0 ? e.b : e.a, e.c, k)
                                                               : binOpHash(e.c, e.a, e.b, k);
            larger[slot] = e;
        }
        table.swap(larger);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void ZbddManager::growUsefulCaches() {
    // A cache that has been refilled several times over since it last grew,
    // while still answering at least one lookup in four, loses answers that
    // a larger one would keep.  Caches grow so to at most half as many
    // entries as the node array has nodes.
    struct Window {
        CacheKind kind;
        std::uint32_t hits, misses, k;
        CacheWindow& window;
    };
    for (Window w : {Window{CacheKind::Fire, stats_.fireHits, stats_.fireMisses, kFire_, fireWindow_},
                     Window{CacheKind::BinOp, stats_.binOpHits, stats_.binOpMisses, kBinOp_, binOpWindow_}}) {
        const std::uint32_t hits = w.hits - w.window.hits, misses = w.misses - w.window.misses;
        if (misses / 4 < (std::uint32_t{1} << w.k)) continue;
        const bool useful = std::uint64_t{hits} * 4 >= std::uint64_t{hits} + misses;
        if (useful && (std::uint64_t{1} << (w.k + 1)) <= maxNodes_ / 2) doubleCache(w.kind);
        w.window = CacheWindow{w.hits, w.misses};
    }
}

bool ZbddManager::grow() {
    if (maxNodes_ >= nodeLimit_) return false;
    const std::uint32_t newMax =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{maxNodes_} * 2, nodeLimit_));
    try {
        nodes_.resize(static_cast<std::size_t>(newMax) + 2, Node{0, 0, 0, 0});
    } catch (const std::bad_alloc&) {
        nodeLimit_ = maxNodes_;
        return false;
    }
    maxNodes_ = newMax;
    // The unique table is rebuilt by the sweep; the caches move their
    // entries to the slots of the larger tables.  Tables that cannot grow
    // keep their size: they only work less well.
    if (kUnique_ < kMostExponent) {
        try {
            std::vector<std::uint32_t>(std::size_t{1} << (kUnique_ + 1), 0).swap(unique_);
            ++kUnique_;
        } catch (const std::bad_alloc&) {
        }
    }
    doubleCache(CacheKind::Fire);
    doubleCache(CacheKind::BinOp);
    return true;
}

bool ZbddManager::growInPlace() {
    const std::uint32_t oldMax = maxNodes_;
    if (freeHead_ != 0 || !grow()) return false;
    std::fill(unique_.begin(), unique_.end(), 0);
    for (std::uint32_t n = 2; n <= oldMax + 1; ++n) {
        Node& x = nodes_[n];
        std::uint32_t& bucket = unique_[uniqueHash(x.var2 >> 1, x.lo, x.hi, kUnique_)];
        x.next = bucket;
        bucket = n;
    }
    for (std::uint32_t n = maxNodes_ + 1; n >= oldMax + 2; --n) {
        nodes_[n].lo = freeHead_;
        freeHead_ = n;
    }
    stack_.clear();
    return true;
}

bool ZbddManager::makeRoom(bool failedBefore) {
    if (maxNodes_ < std::min(looseLimit_, nodeLimit_) && growInPlace()) return true;
    const bool grew = garbageCollect(failedBefore);
    return grew || !failedBefore;
}

bool ZbddManager::garbageCollect(bool mustGrow) {
    ++stats_.collections;
    stats_.liveNodes = 0;
    std::uint64_t live = 0;
    for (std::uint32_t n : refs_) live += mark(n);
    // An operation that ran out of nodes leaves its pending calls on the
    // stack: the results they already have stay, with their cache entries,
    // so that the operation's retry finds them, and they count as live when
    // deciding whether the array must grow.  (Their operands are held by
    // the operation's arguments.)
    for (const Frame& f : stack_) live += mark(f.lo) + mark(f.hi);
    stack_.clear();
    purgeCaches();
    const bool grew = (mustGrow || (maxNodes_ - live) * 4 < maxNodes_) && grow();
    std::fill(unique_.begin(), unique_.end(), 0);
    freeHead_ = 0;
    for (std::uint32_t n = maxNodes_ + 1; n >= 2; --n) {
        Node& x = nodes_[n];
        if (x.var2 & kMark) {
            ++stats_.liveNodes;
            x.var2 &= ~kMark;
            std::uint32_t& bucket = unique_[uniqueHash(x.var2 >> 1, x.lo, x.hi, kUnique_)];
            x.next = bucket;
            bucket = n;
        } else {
            x.lo = freeHead_;
            freeHead_ = n;
        }
    }
    return grew;
}

std::uint32_t ZbddManager::acquireRef(std::uint32_t node) {
    if (freeSlots_.empty()) fatal("Too many external bdds.\n");
    std::uint32_t slot = freeSlots_.back();
    freeSlots_.pop_back();
    refs_[slot] = node;
    if (++refCount_ > stats_.maxRefs) stats_.maxRefs = refCount_;
    return slot;
}

void ZbddManager::releaseRef(std::uint32_t node, std::uint32_t slot) {
    if (slot >= refs_.size() || refs_[slot] != node) {
        // Called from handle destructors, which cannot throw.
        std::fputs("Error in external bdd references.\n", stderr);
        std::exit(1);
    }
    refs_[slot] = 0;
    freeSlots_.push_back(slot);
    --refCount_;
}

LongInt ZbddManager::countStates(std::uint32_t root) {
    // The recursive count(lo) + count(hi) with the state number cache, on an
    // explicit stack: a node is pushed once to expand it and once more to add
    // the two counts its children left on the value stack.
    const std::uint32_t mask = (1u << kStateNr_) - 1;
    std::vector<std::pair<std::uint32_t, bool>> todo{{root, false}};
    std::vector<LongInt> values;
    while (!todo.empty()) {
        auto [n, expanded] = todo.back();
        todo.pop_back();
        if (!expanded) {
            if (n < 2) {
                values.emplace_back(n);
                continue;
            }
            StateEntry& e = stateNr_[n & mask];
            if (e.node == n) {
                ++stats_.stateNrHits;
                values.push_back(e.count);
                continue;
            }
            ++stats_.stateNrMisses;
            todo.push_back({n, true});
            todo.push_back({nodes_[n].lo, false});
            todo.push_back({nodes_[n].hi, false});
        } else {
            LongInt lo = std::move(values.back());
            values.pop_back();
            values.back() += lo;
            StateEntry& e = stateNr_[n & mask];
            e.node = n;
            e.count = values.back();
        }
    }
    return values.back();
}

std::uint32_t ZbddManager::nodeCount(std::uint32_t root) {
    if (root < 2) return 0;
    std::uint32_t count = 0;
    walk_.clear();
    walk_.push_back(root);
    nodes_[root].var2 |= kMark;
    while (!walk_.empty()) {
        std::uint32_t n = walk_.back();
        walk_.pop_back();
        ++count;
        for (std::uint32_t c : {nodes_[n].lo, nodes_[n].hi}) {
            if (!(nodes_[c].var2 & kMark)) {
                nodes_[c].var2 |= kMark;
                walk_.push_back(c);
            }
        }
    }
    unmark(root);
    return count;
}

void ZbddManager::printStatistics(bool withRefs) const {
    const ZbddStatistics& s = stats_;
    if (withRefs) message("max number of refs: %u\n", s.maxRefs);
    message("overall number of nodes: %u\n", s.nodesMade);
    message("number of nodes in nodes-array: %u\n", s.liveNodes);
    message("number of garbage collections: %u\n", s.collections);
    message("fireUnion cache hits/miss/sum: %u %u %u\n", s.fireHits, s.fireMisses, s.fireHits + s.fireMisses);
    message("binOp cache hits/miss/sum: %u %u %u\n", s.binOpHits, s.binOpMisses, s.binOpHits + s.binOpMisses);
    message("state number cache hits/miss/sum: %u %u %u\n", s.stateNrHits, s.stateNrMisses,
            s.stateNrHits + s.stateNrMisses);
}

void ZbddManager::printUniqueHashHistogram() const {
    std::uint32_t lengths[11] = {};
    for (std::uint32_t head : unique_) {
        std::uint32_t len = 0;
        for (std::uint32_t n = head; n != 0 && len < 10; n = nodes_[n].next) ++len;
        ++lengths[len];
    }
    message("size of uniqueHash: %u\n", 1u << kUnique_);
    message("n | number of lists of length n in uniqueHash:\n");
    for (int n = 0; n < 10; ++n) message("%d %u\n", n, lengths[n]);
    message(">=10 %u\n", lengths[10]);
}

void ZbddManager::outOfNodes() { fatal("Out of memory (insert)\n"); }

std::uint32_t ZbddManager::universeRaw() {
    std::uint32_t cur = 1;
    for (std::uint32_t v = nVars_; v-- > 0;) cur = getNode(v, cur, cur);
    return cur;
}

// ---- handles ----

Zbdd::Zbdd(std::uint32_t node, Adopt) : node_(node) {
    if (node_ >= 2) slot_ = manager().acquireRef(node_);
}

Zbdd::Zbdd(int constant) {
    if (constant == 0 || constant == 1) {
        node_ = static_cast<std::uint32_t>(constant);
        return;
    }
    ZbddManager& m = manager();
    std::uint32_t n = m.guarded([&] { return m.universeRaw(); });
    node_ = n;
    if (node_ >= 2) slot_ = m.acquireRef(node_);
}

void Zbdd::release() noexcept {
    if (node_ >= 2) manager().releaseRef(node_, slot_);
    node_ = 0;
    slot_ = 0;
}

Zbdd& Zbdd::operator=(const Zbdd& other) {
    if (this != &other && node_ != other.node_) {
        Zbdd copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Zbdd& Zbdd::operator=(Zbdd&& other) noexcept {
    if (this != &other) {
        release();
        node_ = other.node_;
        slot_ = other.slot_;
        other.node_ = 0;
        other.slot_ = 0;
    }
    return *this;
}

bool Zbdd::pick(std::vector<std::uint8_t>& marking) const {
    if (node_ == 0) return false;
    const ZbddManager& m = manager();
    for (std::uint32_t n = node_; n >= 2; n = m.hi(n)) marking[m.var(n)] = 1;
    return true;
}

std::string Zbdd::toText() const {
    // '(' lo ' ' var ' ' hi ')' on an explicit stack of pending pieces.
    const ZbddManager& m = manager();
    std::string out;
    // Each entry is a node to print, or (with the top bit) a text piece:
    // 0x80000000 | var prints " var ", 0xC0000000 prints ")".
    constexpr std::uint32_t kVarPiece = 0x80000000u, kClose = 0xC0000000u;
    std::vector<std::uint32_t> todo{node_};
    while (!todo.empty()) {
        std::uint32_t x = todo.back();
        todo.pop_back();
        if (x == kClose) {
            out += ')';
        } else if (x & kVarPiece) {
            out += ' ' + std::to_string(x & ~kVarPiece) + ' ';
        } else if (x == 0) {
            out += 'Z';
        } else if (x == 1) {
            out += 'O';
        } else {
            out += '(';
            todo.push_back(kClose);
            todo.push_back(m.hi(x));
            todo.push_back(kVarPiece | m.var(x));
            todo.push_back(m.lo(x));
        }
    }
    return out;
}

void Zbdd::print(std::FILE* out) const {
    std::string text = toText();
    std::fputs(text.c_str(), out);
    std::fputc('\n', out);
}

Zbdd markingToZbdd(const std::vector<std::uint8_t>& marking) {
    ZbddManager& m = manager();
    std::uint32_t cur = 1;
    try {
        for (std::uint32_t v = m.nVars(); v-- > 0;)
            if (marking[v]) cur = m.getNode(v, 0, cur);
    } catch (const NoFreeNodes&) {
        fatal("Too many nodes (initial marking)");
    }
    return Zbdd::fromNode(cur);
}

}  // namespace zbdd
