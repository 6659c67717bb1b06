#include "cycles.h"

#include <vector>

#include "output.h"

namespace zbdd {

namespace {

constexpr std::size_t kMaxDfsNodes = 10000;
constexpr std::uint32_t kFinished = 0xFFFFFFFFu;

// One step of the automaton (automaton true) or of the net, forward or
// backward, as the union over the transitions of the firing order.
Zbdd step(const NetEncoding& enc, const Zbdd& x, bool automaton, bool backward) {
    Zbdd result(0);
    for (int i = 0; i < enc.nOrd; ++i) {
        const int t = enc.firingOrder[i];
        if ((enc.net->transitions[t].automaton != 0) != automaton) continue;
        const TransitionVector& v = enc.records[t].vector;
        const std::uint32_t aux = static_cast<std::uint32_t>(i);
        result = unite(result, backward ? preImage(x, v, aux) : image(x, v, aux));
    }
    return result;
}

// A dead accepting marking after an automaton step, handed back to the
// automaton: the net's turn passes without a move.
Zbdd stutter(const NetEncoding& enc, Zbdd x) {
    if (enc.hasPnScheduler) x = change(x, enc.variableOf[enc.pnScheduler]);
    if (enc.hasBaScheduler) x = change(x, enc.variableOf[enc.baScheduler]);
    return x;
}

void progress(int n) {
    if (n % 10 == 0)
        message("%d", n);
    else
        message(".");
}

}  // namespace

Zbdd acceptingMarkings(const NetEncoding& enc) {
    const Zbdd universe(-1);
    Zbdd acc(0);
    for (const Place& p : enc.net->places)
        if (p.accepting) acc = unite(acc, onset(universe, enc.variableOf[p.index]));
    return acc;
}

Zbdd deadMarkings(const NetEncoding& enc, const Zbdd& within) {
    const Zbdd universe(-1);
    Zbdd dead = within;
    const std::uint32_t pn = enc.hasPnScheduler ? enc.variableOf[enc.pnScheduler] : enc.nP;
    for (const Transition& t : enc.net->transitions) {
        if (t.automaton || dead.isEmpty()) continue;
        const TransitionVector& v = enc.records[t.index].vector;
        Zbdd disabled(0);
        for (std::size_t i = 0; i + 1 < v.size(); i += 2)
            if ((v[i + 1] == kConsume || v[i + 1] == kTest) && v[i] != pn)
                disabled = unite(disabled, subset0(universe, v[i]));
        dead = intersect(dead, disabled);
    }
    return dead;
}

bool fwdCycleCheck(NetEncoding& enc) {
    const Zbdd init = enc.initialMarking();
    const Zbdd acc = acceptingMarkings(enc);
    const Zbdd da = deadMarkings(enc, acc);
    Zbdd z = init, zOld, dead(0);
    for (int pass = 1;; ++pass) {
        message("(%d Loop):", pass);
        zOld = z;
        Zbdd y(0), yOld;
        for (int n = 1;; ++n) {
            yOld = y;
            Zbdd x = step(enc, unite(y, z), true, false);
            dead = unite(dead, stutter(enc, intersect(da, x)));
            y = step(enc, x, false, false);
            progress(n);
            if (y == yOld) break;
        }
        message("\n");
        message("-> ZP: #states %s", y.stateCount().toString().c_str());
        z = intersect(unite(y, dead), acc);
        message(" YP: #states %s\n", z.stateCount().toString().c_str());
        if (z == zOld) break;
    }
    return z.isEmpty();
}

bool bwdCycleCheck(NetEncoding& enc) {
    const Zbdd init = enc.initialMarking();
    const Zbdd acc = acceptingMarkings(enc);
    const Zbdd da = deadMarkings(enc, acc);
    const Zbdd& rs = enc.rs;
    // Dead accepting markings reached by an automaton step.
    Zbdd deadAfterBa = intersect(rs, da);
    if (enc.hasPnScheduler) deadAfterBa = onset(deadAfterBa, enc.variableOf[enc.pnScheduler]);
    Zbdd z = intersect(rs, acc), zOld, y;
    for (int pass = 1;; ++pass) {
        message("(%d Loop):", pass);
        zOld = z;
        y = Zbdd(0);
        for (int n = 1;; ++n) {
            Zbdd yOld = y;
            Zbdd x = unite(yOld, zOld);
            Zbdd xb = intersect(rs, unite(step(enc, x, false, true), deadAfterBa));
            y = intersect(rs, step(enc, xb, true, true));
            progress(n);
            if (y == yOld) break;
        }
        message("\n");
        z = intersect(y, acc);
        message("-> ZP: #states %s", y.stateCount().toString().c_str());
        message(" YP: #states %s\n", z.stateCount().toString().c_str());
        if (z == zOld) break;
    }
    const bool cycleTarget = !zOld.isEmpty() || !deadAfterBa.isEmpty();
    return !(cycleTarget && !intersect(y, init).isEmpty());
}

namespace {

struct DfsNode {
    std::uint32_t dfs = 0;
    std::uint8_t accepting = 0;
    std::uint8_t cycle = 0;
    Zbdd set;
};

struct NodeRef {
    bool accepting;
    std::uint32_t index;
};

class SymbolicSearch {
public:
    explicit SymbolicSearch(NetEncoding& enc) : enc_(enc) {}

    bool run() {
        if (!enc_.hasPnScheduler || !enc_.hasBaScheduler)
            fatal("SymbolicDFS needs the scheduler places @SC_PN@ and @SC_FBA@ (pelwick -d)\n");
        enc_.init = enc_.initialMarking();
        enc_.acc = acceptingMarkings(enc_);
        enc_.da = deadMarkings(enc_, enc_.acc);
        enc_.rs = Zbdd(0);
        nonAcc_.push_back(DfsNode{0, 0, 0, enc_.init});
        search({false, 0});
        return !found_;
    }

private:
    struct Frame {
        NodeRef node;
        std::vector<NodeRef> children;
        std::size_t next = 0;
        std::uint32_t lowlink = 0;
    };

    DfsNode& node(NodeRef r) { return (r.accepting ? acc_ : nonAcc_)[r.index]; }

    // The node of the table whose set is s, appended when there is none.
    NodeRef findOrAppend(bool accepting, const Zbdd& s) {
        std::vector<DfsNode>& table = accepting ? acc_ : nonAcc_;
        for (std::uint32_t i = 0; i < table.size(); ++i)
            if (table[i].set == s) return {accepting, i};
        if (table.size() >= kMaxDfsNodes)
            fatal("SymbolicDFS: more than %zu nodes in a table\n", kMaxDfsNodes);
        table.push_back(DfsNode{0, static_cast<std::uint8_t>(accepting), 0, s});
        return {accepting, static_cast<std::uint32_t>(table.size() - 1)};
    }

    // Covers r by nodes of one table: existing nodes inside r, the parts
    // of r inside existing nodes, and the rest as one node.
    void cover(bool accepting, Zbdd r, std::vector<NodeRef>& children) {
        std::vector<DfsNode>& table = accepting ? acc_ : nonAcc_;
        for (std::uint32_t i = 0; i < table.size() && !r.isEmpty(); ++i) {
            const Zbdd s = table[i].set;
            if (s == r) {
                children.push_back({accepting, i});
                return;
            }
            Zbdd in = intersect(s, r);
            if (in == r) {
                children.push_back(findOrAppend(accepting, r));
                return;
            }
            if (in.isEmpty()) continue;
            if (in != s) {
                children.push_back(findOrAppend(accepting, in));
                r = difference(r, in);
            } else {
                children.push_back({accepting, i});
                r = difference(r, s);
            }
        }
        if (!r.isEmpty()) children.push_back(findOrAppend(accepting, r));
    }

    // Steps 1 to 4 of a visit: number the node and find its children.
    void enter(NodeRef r) {
        DfsNode& n = node(r);
        n.dfs = ++counter_;
        n.cycle = 0;
        if (tarjan_.size() >= kMaxDfsNodes) fatal("SymbolicDFS: more than %zu nodes on the stack\n", kMaxDfsNodes);
        tarjan_.push_back(r);
        Frame f;
        f.node = r;
        f.lowlink = n.dfs;
        const Zbdd set = n.set;  // the tables may grow below
        Zbdd x = step(enc_, set, true, false);
        Zbdd stutterSet = stutter(enc_, intersect(enc_.da, x));
        Zbdd next = step(enc_, x, false, false);
        for (;;) {
            Zbdd before = next;
            for (int i = 0; i < enc_.nOrd; ++i) {
                const int t = enc_.firingOrder[i];
                if (enc_.net->transitions[t].automaton) continue;
                next = fireUnion(next, next, enc_.records[t].vector, static_cast<std::uint32_t>(i));
            }
            if (next == before) break;
        }
        next = onset(next, enc_.variableOf[enc_.baScheduler]);
        next = unite(next, stutterSet);
        progress(static_cast<int>(counter_));
        Zbdd nAcc = intersect(next, enc_.acc);
        Zbdd nNon = difference(next, enc_.acc);
        cover(true, nAcc, f.children);
        cover(false, nNon, f.children);
        frames_.push_back(std::move(f));
    }

    void apply(Frame& f, std::uint32_t value) {
        if (value != kFinished && value <= f.lowlink) {
            node(f.node).cycle = 1;
            f.lowlink = value;
        }
    }

    void search(NodeRef root) {
        enter(root);
        while (!frames_.empty()) {
            Frame& f = frames_.back();
            if (f.next < f.children.size()) {
                NodeRef c = f.children[f.next];
                if (node(c).dfs == 0) {
                    enter(c);  // its lowlink is applied when it returns
                    continue;
                }
                ++f.next;
                apply(f, node(c).dfs);
                continue;
            }
            DfsNode& n = node(f.node);
            const std::uint32_t lowlink = f.lowlink;
            if (lowlink == n.dfs) {
                bool anyAccepting = false;
                for (;;) {
                    NodeRef top = tarjan_.back();
                    tarjan_.pop_back();
                    DfsNode& m = node(top);
                    anyAccepting |= m.accepting != 0;
                    m.dfs = kFinished;
                    if (top.accepting == f.node.accepting && top.index == f.node.index) break;
                }
                if (n.cycle && anyAccepting) found_ = true;
            }
            frames_.pop_back();
            if (!frames_.empty()) {
                Frame& parent = frames_.back();
                ++parent.next;
                apply(parent, lowlink);
            }
        }
    }

    NetEncoding& enc_;
    std::vector<DfsNode> acc_, nonAcc_;
    std::vector<NodeRef> tarjan_;
    std::vector<Frame> frames_;
    std::uint32_t counter_ = 0;
    bool found_ = false;
};

}  // namespace

bool symbolicDfs(NetEncoding& enc) {
    SymbolicSearch search(enc);
    return search.run();
}

}  // namespace zbdd
