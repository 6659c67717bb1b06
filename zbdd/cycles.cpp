#include "cycles.h"

#include <vector>

#include "output.h"

namespace zbdd {

namespace {

constexpr std::size_t kMaxDfsNodes = 10000;
constexpr std::uint32_t kFinished = 0xFFFFFFFFu;

void progress(int n) {
    if (n % 10 == 0)
        message("%d", n);
    else
        message(".");
}

}  // namespace

// The transitions grouped by the part of a macro step they take.  Without
// the scheduler places every net transition is one net move.  With them,
// the net transitions that consume "@SC_PN@" are the net's moves, and the
// others (pelwick leaves unscheduled the transitions that change no
// proposition) are silent: they fire any number of times around a move and
// leave the automaton's view of the marking unchanged.
MacroStep::MacroStep(const NetEncoding& enc)
    : enc_(enc), scheduled_(enc.hasPnScheduler && enc.hasBaScheduler), dead_(deadMarkings(enc, Zbdd(-1))) {
    const std::uint32_t pn = scheduled_ ? enc.variableOf[enc.pnScheduler] : enc.nP;
    for (int i = 0; i < enc.nOrd; ++i) {
        all_.push_back(i);
        const int t = enc.firingOrder[i];
        if (enc.net->transitions[t].automaton != 0) {
            automaton_.push_back(i);
            continue;
        }
        bool move = !scheduled_;
        const TransitionVector& v = enc.records[t].vector;
        for (std::size_t k = 0; k + 1 < v.size(); k += 2) move |= v[k] == pn && v[k + 1] == kConsume;
        (move ? moves_ : silent_).push_back(i);
    }
}

Zbdd MacroStep::over(const Zbdd& x, const std::vector<int>& positions, bool backward) const {
    Zbdd result(0);
    for (const int i : positions) {
        const TransitionVector& v = enc_.records[enc_.firingOrder[i]].vector;
        const std::uint32_t aux = static_cast<std::uint32_t>(i);
        result = unite(result, backward ? preImage(x, v, aux) : image(x, v, aux));
    }
    return result;
}

Zbdd MacroStep::fixpoint(Zbdd x, const std::vector<int>& positions) const {
    if (positions.empty()) return x;
    for (;;) {
        const Zbdd before = x;
        for (const int i : positions)
            x = fireUnion(x, x, enc_.records[enc_.firingOrder[i]].vector, static_cast<std::uint32_t>(i));
        if (x == before) return x;
    }
}

Zbdd MacroStep::silentClosure(const Zbdd& x) const { return fixpoint(x, silent_); }

Zbdd MacroStep::silentClosureBackward(Zbdd x, const Zbdd& within) const {
    if (silent_.empty()) return x;
    for (;;) {
        const Zbdd next = unite(x, intersect(within, over(x, silent_, true)));
        if (next == x) return x;
        x = next;
    }
}

Zbdd MacroStep::automatonStep(const Zbdd& x, bool backward) const { return over(x, automaton_, backward); }

Zbdd MacroStep::netStep(const Zbdd& x) const {
    if (!scheduled_) return over(x, moves_, false);
    return silentClosure(over(silentClosure(x), moves_, false));
}

Zbdd MacroStep::netStepBackward(const Zbdd& x, const Zbdd& within) const {
    if (!scheduled_) return intersect(within, over(x, moves_, true));
    const Zbdd after = silentClosureBackward(intersect(within, x), within);
    return silentClosureBackward(intersect(within, over(after, moves_, true)), within);
}

Zbdd MacroStep::stopping(const Zbdd& x) const {
    if (silent_.empty()) return intersect(x, dead_);
    // The greatest set of markings, among those silently reachable from x,
    // that are dead or have a silent step into the set.
    const Zbdd reach = silentClosure(x);
    const Zbdd dead = intersect(reach, dead_);
    Zbdd y = reach;
    for (;;) {
        const Zbdd next = unite(dead, intersect(reach, over(y, silent_, true)));
        if (next == y) break;
        y = next;
    }
    return intersect(x, y);
}

Zbdd MacroStep::stutter(Zbdd x) const {
    if (!scheduled_) return x;
    x = change(x, enc_.variableOf[enc_.pnScheduler]);
    return change(x, enc_.variableOf[enc_.baScheduler]);
}

Zbdd MacroStep::closure(const Zbdd& x) const { return fixpoint(x, all_); }

Zbdd acceptingMarkings(const NetEncoding& enc) {
    const Zbdd universe(-1);
    Zbdd acc(0);
    for (const Place& p : enc.net->places)
        if (p.accepting) acc = unite(acc, onset(universe, enc.variableOf[p.index]));
    return acc;
}

Zbdd deadMarkings(const NetEncoding& enc, const Zbdd& within) {
    const std::uint32_t pn = enc.hasPnScheduler ? enc.variableOf[enc.pnScheduler] : enc.nP;
    Zbdd enabled(0);
    for (const Transition& t : enc.net->transitions) {
        if (t.automaton) continue;
        const TransitionVector& v = enc.records[t.index].vector;
        Zbdd e = within;
        for (std::size_t i = 0; i + 1 < v.size() && !e.isEmpty(); i += 2)
            if ((v[i + 1] == kConsume || v[i + 1] == kTest) && v[i] != pn) e = onset(e, v[i]);
        enabled = unite(enabled, e);
    }
    return difference(within, enabled);
}

bool fwdCycleCheck(NetEncoding& enc) {
    const MacroStep step(enc);
    const Zbdd init = enc.initialMarking();
    const Zbdd acc = acceptingMarkings(enc);
    Zbdd z = init, zOld;
    for (int pass = 1;; ++pass) {
        message("(%d Loop):", pass);
        zOld = z;
        // Both halves distribute over union, so each step works on the
        // markings its automaton step adds.
        Zbdd y(0), yOld, x(0);
        for (int n = 1;; ++n) {
            yOld = y;
            const Zbdd xAll = step.automatonStep(unite(y, z), false);
            const Zbdd fresh = difference(xAll, x);
            x = xAll;
            y = unite(y, unite(step.netStep(fresh), step.stutter(step.stopping(fresh))));
            progress(n);
            if (y == yOld) break;
        }
        message("\n");
        message("-> ZP: #states %s", y.stateCount().toString().c_str());
        z = intersect(y, acc);
        message(" YP: #states %s\n", z.stateCount().toString().c_str());
        if (z == zOld) break;
    }
    return z.isEmpty();
}

bool bwdCycleCheck(NetEncoding& enc) {
    const MacroStep step(enc);
    const Zbdd init = enc.initialMarking();
    const Zbdd acc = acceptingMarkings(enc);
    // The reachable markings, together with those a stutter reaches: with
    // the scheduler places a stutter hands the turn back to the automaton,
    // which the net alone never does.
    Zbdd within = enc.rs;
    Zbdd stopped = step.stopping(step.automatonStep(within, false));
    for (;;) {
        const Zbdd more = difference(step.stutter(stopped), within);
        if (more.isEmpty()) break;
        within = step.closure(unite(within, more));
        stopped = step.stopping(step.automatonStep(within, false));
    }
    Zbdd z = intersect(within, acc), zOld, y;
    for (int pass = 1;; ++pass) {
        message("(%d Loop):", pass);
        zOld = z;
        y = Zbdd(0);
        for (int n = 1;; ++n) {
            const Zbdd yOld = y;
            const Zbdd x = unite(yOld, zOld);
            const Zbdd afterBa = unite(step.netStepBackward(x, within), intersect(stopped, step.stutter(x)));
            y = intersect(within, step.automatonStep(afterBa, true));
            progress(n);
            if (y == yOld) break;
        }
        message("\n");
        z = intersect(y, acc);
        message("-> ZP: #states %s", y.stateCount().toString().c_str());
        message(" YP: #states %s\n", z.stateCount().toString().c_str());
        if (z == zOld) break;
    }
    return zOld.isEmpty() || intersect(y, init).isEmpty();
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
    explicit SymbolicSearch(NetEncoding& enc) : enc_(enc), step_(enc) {}

    bool run() {
        if (!enc_.hasPnScheduler || !enc_.hasBaScheduler)
            fatal("SymbolicDFS needs the scheduler places @SC_PN@ and @SC_FBA@ (pelwick -d)\n");
        enc_.init = enc_.initialMarking();
        enc_.acc = acceptingMarkings(enc_);
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
        const Zbdd x = step_.automatonStep(set, false);
        const Zbdd next = unite(step_.netStep(x), step_.stutter(step_.stopping(x)));
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
    const MacroStep step_;
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
