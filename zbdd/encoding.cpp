#include "encoding.h"

#include <algorithm>

#include "output.h"

namespace zbdd {

std::uint32_t presetCode(int flag) {
    switch (flag) {
    case kReadArc: return kTest;
    case kInhibitorArc: return kInhibit;
    case kInhibitorProduceArc: return kInhibitProduce;
    default: return kConsume;
    }
}

NetEncoding::~NetEncoding() { teardown(); }

void NetEncoding::teardown() {
    rs = Zbdd();
    init = Zbdd();
    acc = Zbdd();
    da = Zbdd();
    if (packageOwned_) manager().deleteManager();
    packageOwned_ = false;
}

void NetEncoding::setupEncoding(const NetTables& tables, bool variableHeuristic, bool transitionHeuristic,
                                const ModelSize& size, std::uint32_t maxExtRefs) {
    net = &tables;
    nP = tables.nrP();
    nT = tables.nrT();
    hasPnScheduler = hasBaScheduler = false;
    for (const Place& p : tables.places) {
        if (p.name == "@SC_PN@") {
            hasPnScheduler = true;
            pnScheduler = p.index;
        }
        if (p.name == "@SC_FBA@") {
            hasBaScheduler = true;
            baScheduler = p.index;
        }
    }
    records.assign(nT, {});
    for (const Transition& t : tables.transitions) {
        TransitionRecord& r = records[t.index];
        r.index = t.index;
        r.presetArcs = static_cast<int>(t.pre.size());
        for (int a : t.post)
            if (tables.arcs[a].flag != kReadArc) ++r.producedPlaces;
    }
    orderTransitions(transitionHeuristic);
    orderVariables(variableHeuristic);
    buildVectors();
    teardown();
    manager().initManager(size, maxExtRefs, static_cast<std::uint32_t>(nP));
    packageOwned_ = true;
}

// Token flow: a transition is placed once the places it consumes or reads
// are touched (an inhibitor place need not be); its postset is touched at
// once, so later transitions of the same pass see it.
void NetEncoding::orderTransitions(bool heuristic) {
    firingOrder.clear();
    if (!heuristic) {
        for (int t = 0; t < nT; ++t) firingOrder.push_back(t);
        nOrd = nT;
        return;
    }
    std::vector<char> touched(nP, 0), placed(nT, 0);
    for (const Place& p : net->places) touched[p.index] = p.init != 0;
    bool progress = true;
    while (progress) {
        progress = false;
        for (const Transition& t : net->transitions) {
            if (placed[t.index]) continue;
            bool ready = true;
            for (int a : t.pre) {
                const Arc& arc = net->arcs[a];
                if ((arc.flag == kOrdinaryArc || arc.flag == kReadArc) && !touched[arc.place]) {
                    ready = false;
                    break;
                }
            }
            if (!ready) continue;
            placed[t.index] = 1;
            firingOrder.push_back(t.index);
            for (int a : t.post) touched[net->arcs[a].place] = 1;
            progress = true;
        }
    }
    nOrd = static_cast<int>(firingOrder.size());
}

// Greedy order: the first place chosen gets the highest variable number (the
// bottom of the diagrams).  Scores depend only on the counts A and B of the
// transitions around a place, so after each choice only the places next to
// the chosen place's transitions are scored again.
void NetEncoding::orderVariables(bool heuristic) {
    variableOf.assign(nP, 0);
    if (!heuristic) {
        for (int p = 0; p < nP; ++p) variableOf[p] = static_cast<std::uint32_t>(p);
        return;
    }
    const NetTables& N = *net;
    std::vector<int> A(nT, 0), B(nT, 0);
    std::vector<char> eligible(nT, 0);
    for (int t = 0; t < nT; ++t) eligible[t] = records[t].presetArcs > 0 && records[t].producedPlaces > 0;
    std::vector<char> chosen(nP, 0), dirty(nP, 1), defined(nP, 0);
    std::vector<long double> score(nP, 0);
    auto rescore = [&](int pi) {
        const Place& p = N.places[pi];
        long double sum = 0;
        int n = 0;
        for (auto it = p.in.rbegin(); it != p.in.rend(); ++it) {
            const Arc& arc = N.arcs[*it];
            const int t = arc.trans;
            if (!eligible[t]) continue;
            const long double pre = records[t].presetArcs, out = records[t].producedPlaces;
            if (A[t] == 0)
                sum = static_cast<float>(sum + 0.1 / records[t].presetArcs);
            else
                sum += A[t] / pre;
            if (arc.flag != kReadArc) {
                sum += (2.0L * B[t] + 2) / out;
                ++n;
            } else {
                sum += 2.0L * B[t] / out;
            }
        }
        for (auto it = p.out.rbegin(); it != p.out.rend(); ++it) {
            const int t = N.arcs[*it].trans;
            if (!eligible[t]) continue;
            const long double pre = records[t].presetArcs, out = records[t].producedPlaces;
            sum += (A[t] + 1) / pre;
            if (B[t] == 0)
                sum = static_cast<float>(sum + 0.2 / records[t].producedPlaces);
            else
                sum += 2.0L * B[t] / out;
            ++n;
        }
        defined[pi] = n > 0;
        score[pi] = n > 0 ? sum / n : 0;
        dirty[pi] = 0;
    };
    auto touchAround = [&](int t) {
        for (int a : N.transitions[t].pre) dirty[N.arcs[a].place] = 1;
        for (int a : N.transitions[t].post) dirty[N.arcs[a].place] = 1;
    };
    std::uint32_t next = static_cast<std::uint32_t>(nP);
    for (int pass = 0; pass < nP; ++pass) {
        int best = -1, firstFree = -1;
        long double bestScore = -1.0L;
        for (int p = 0; p < nP; ++p) {
            if (chosen[p]) continue;
            if (firstFree < 0) firstFree = p;
            if (dirty[p]) rescore(p);
            if (defined[p] && score[p] > bestScore) {
                bestScore = score[p];
                best = p;
            }
        }
        if (best < 0) best = firstFree;
        chosen[best] = 1;
        variableOf[best] = --next;
        const Place& p = N.places[best];
        for (int a : p.out) {
            ++A[N.arcs[a].trans];
            touchAround(N.arcs[a].trans);
        }
        for (int a : p.in) {
            if (N.arcs[a].flag == kReadArc) continue;
            ++B[N.arcs[a].trans];
            touchAround(N.arcs[a].trans);
        }
    }
}

void NetEncoding::buildVectors() {
    const NetTables& N = *net;
    for (const Transition& t : N.transitions) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
        for (int a : t.pre) pairs.push_back({variableOf[N.arcs[a].place], presetCode(N.arcs[a].flag)});
        for (int a : t.post)
            if (N.arcs[a].flag == kOrdinaryArc) pairs.push_back({variableOf[N.arcs[a].place], kProduce});
        std::sort(pairs.begin(), pairs.end());
        TransitionVector& v = records[t.index].vector;
        v.clear();
        for (auto [var, code] : pairs) {
            v.push_back(var);
            v.push_back(code);
        }
        v.push_back(static_cast<std::uint32_t>(nP));
    }
    placeOf.assign(nP, 0);
    for (int p = 0; p < nP; ++p) placeOf[variableOf[p]] = p;
}

Zbdd NetEncoding::initialMarking() const {
    Zbdd z(1);
    for (const Place& p : net->places)
        if (p.init) z = change(z, variableOf[p.index]);
    return z;
}

void NetEncoding::computeRS() {
    Zbdd z = initialMarking();
    for (int pass = 1;; ++pass) {
        Zbdd y = z;
        for (int i = 0; i < nOrd; ++i)
            z = fireUnion(z, z, records[firingOrder[i]].vector, static_cast<std::uint32_t>(i));
        if (pass % 10 == 0)
            message("%d", pass);
        else
            message(".");
        if (z == y) break;
    }
    rs = z;
}

bool NetEncoding::safeQ(const Zbdd& set) const {
    for (const Transition& t : net->transitions) {
        const TransitionVector& v = records[t.index].vector;
        // The markings of the set that enable t by its preset: restricting
        // the set itself gives the same set as intersecting it with the
        // restricted universe, at a fraction of the nodes.
        Zbdd e = set;
        for (std::size_t i = 0; i + 1 < v.size(); i += 2) {
            if (v[i + 1] == kConsume || v[i + 1] == kTest)
                e = onset(e, v[i]);
            else if (v[i + 1] == kInhibit || v[i + 1] == kInhibitProduce)
                e = subset0(e, v[i]);
        }
        for (std::size_t i = 0; i + 1 < v.size(); i += 2) {
            if (v[i + 1] != kProduce && v[i + 1] != kInhibitProduce) continue;
            Zbdd c = onset(e, v[i]);
            if (c.isEmpty()) continue;
            message("\n\nAttention: the net is not safe!\n\n");
            message("Transition: %s\n", t.name.c_str());
            std::vector<std::uint8_t> marking(nP, 0);
            if (!c.pick(marking)) fatal("Internal Error: safeQ\n");
            message("State: [ ");
            bool first = true;
            for (int var = 0; var < nP; ++var) {
                if (!marking[var]) continue;
                message(first ? "%s" : ", %s", net->places[placeOf[var]].name.c_str());
                first = false;
            }
            message(" ]\n");
            return false;
        }
    }
    return true;
}

void NetEncoding::dumpVectors() const {
    if (net->dialect == Dialect::Movrane) message("fireTransNr=%d\n", nOrd);
    for (int i = 0; i < nOrd; ++i) {
        const TransitionVector& v = records[firingOrder[i]].vector;
        message("%d ", firingOrder[i]);
        for (std::size_t k = 0; k + 1 < v.size(); k += 2) {
            static const char* const labels[] = {"PR", "PP", "PO", "PI", "PJ"};
            message("%s%u ", labels[v[k + 1] < 5 ? v[k + 1] : 0], v[k]);
        }
        message("\n");
    }
}

}  // namespace zbdd
