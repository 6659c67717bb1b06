#include "unf2velt.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace velcheck {

// --------------------------------------------------------------- SIMPLEHASH

namespace {

inline void mix(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c) {
    a -= b; a -= c; a ^= (c >> 13);
    b -= c; b -= a; b ^= (a << 8);
    c -= a; c -= b; c ^= (b >> 13);
    a -= b; a -= c; a ^= (c >> 12);
    b -= c; b -= a; b ^= (a << 16);
    c -= a; c -= b; c ^= (b >> 5);
    a -= b; a -= c; a ^= (c >> 3);
    b -= c; b -= a; b ^= (a << 10);
    c -= a; c -= b; c ^= (b >> 15);
}

// Bob Jenkins' lookup2 over the bytes k[0..length).
std::uint32_t lookup2(const unsigned char* k, std::uint32_t length, std::uint32_t initval) {
    std::uint32_t a = 0x9e3779b9u, b = 0x9e3779b9u, c = initval;
    std::uint32_t len = length;
    auto word = [](const unsigned char* p) {
        return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
               std::uint32_t(p[3]) << 24;
    };
    while (len >= 12) {
        a += word(k);
        b += word(k + 4);
        c += word(k + 8);
        mix(a, b, c);
        k += 12;
        len -= 12;
    }
    c += length;
    switch (len) {
    case 11: c += std::uint32_t(k[10]) << 24; [[fallthrough]];
    case 10: c += std::uint32_t(k[9]) << 16; [[fallthrough]];
    case 9: c += std::uint32_t(k[8]) << 8; [[fallthrough]];
    case 8: b += std::uint32_t(k[7]) << 24; [[fallthrough]];
    case 7: b += std::uint32_t(k[6]) << 16; [[fallthrough]];
    case 6: b += std::uint32_t(k[5]) << 8; [[fallthrough]];
    case 5: b += k[4]; [[fallthrough]];
    case 4: a += std::uint32_t(k[3]) << 24; [[fallthrough]];
    case 3: a += std::uint32_t(k[2]) << 16; [[fallthrough]];
    case 2: a += std::uint32_t(k[1]) << 8; [[fallthrough]];
    case 1: a += k[0]; break;
    default: break;
    }
    mix(a, b, c);
    return c;
}

}  // namespace

SIMPLEHASH::SIMPLEHASH(std::size_t capacity) {
    std::size_t b = 2;
    while (b < capacity) b *= 2;
    slots_.assign(b * 2, Slot{});
    mask_ = b * 2 - 1;
}

std::uint32_t SIMPLEHASH::Hash(const std::uint32_t* vec) {
    const std::uint32_t n = vec[0];
    std::vector<unsigned char> bytes(std::size_t(n) * 4);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t w = vec[i + 1];
        bytes[4 * i] = static_cast<unsigned char>(w);
        bytes[4 * i + 1] = static_cast<unsigned char>(w >> 8);
        bytes[4 * i + 2] = static_cast<unsigned char>(w >> 16);
        bytes[4 * i + 3] = static_cast<unsigned char>(w >> 24);
    }
    return lookup2(bytes.data(), n * 4, 1);
}

const std::uint32_t* SIMPLEHASH::InsertDataIfNew(const std::uint32_t* vec) {
    VELCHECK_ASSERT(vec[0] > 0);
    VELCHECK_ASSERT(count_ < slots_.size() / 2);
    const std::uint32_t h = Hash(vec);
    for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
        Slot& s = slots_[i];
        if (!s.vec) {
            s.vec = vec;
            s.hash = h;
            ++count_;
            return nullptr;
        }
        if (s.hash == h && s.vec[0] == vec[0] &&
            std::memcmp(s.vec + 1, vec + 1, std::size_t(vec[0]) * 4) == 0)
            return s.vec;
    }
}

void SIMPLEHASH::Clear() {
    std::fill(slots_.begin(), slots_.end(), Slot{});
    count_ = 0;
}

// ----------------------------------------------------------------- Unf2Velt

Unf2Velt::Unf2Velt(BraProcess& prefix)
    : prefix_(prefix), solver_(std::make_unique<veltra::Veltra>()) {
    api_ = std::make_unique<veltra::Api>(*solver_);
    atoms_.assign(2, nullptr);
    e_index_.assign(std::size_t(prefix.events) + 1, 0);
    be_index_.assign(std::size_t(prefix.events) + 1, 0);
    rep_.assign(std::size_t(prefix.events) + 1, 0);
    b_index_.assign(std::size_t(prefix.conditions) + 1, 0);
    own_b_.assign(std::size_t(prefix.conditions) + 1, false);
    merged_events = NewBitArray(prefix.events);
    witness_ = NewBitArray(prefix.events);
}

void Unf2Velt::SetOptimizationLevel(int level) {
    optimize_cutoff_presets = optimize_force_events = optimize_unconsumed_conditions =
        optimize_merge_events = optimize_use_choice_rules = level >= 1;
    optimize_remove_duplicates = optimize_sort_rules = optimize_use_multihead_rules = level >= 2;
    optimize_enabledness_closure = level >= 3;
}

std::uint32_t Unf2Velt::NewAtom(bool names, const char* fmt, long number) {
    veltra::Atom* a = api_->new_atom();
    if (names) {
        char buf[64];
        std::snprintf(buf, sizeof buf, fmt, number);
        api_->set_name(a, buf);
    }
    atoms_.push_back(a);
    return static_cast<std::uint32_t>(atoms_.size() - 1);
}

veltra::Atom* Unf2Velt::AtomAt(std::uint32_t index) const {
    VELCHECK_ASSERT(index >= 2 && index < atoms_.size());
    return atoms_[index];
}

std::uint32_t Unf2Velt::Rep(std::uint32_t e) const {
    if (e == 0) return 0;
    return TestBit(merged_events, e) ? rep_[e] : e;
}

bool Unf2Velt::Translated(std::uint32_t e) const {
    return !closure_ || TestBit(prefix_.relevant_events, e);
}

bool Unf2Velt::ConditionTranslated(std::uint32_t c) const {
    return !closure_ || TestBit(prefix_.relevant_conditions, c);
}

bool Unf2Velt::IsOpen(std::uint32_t e, const BITARRAY* open_events) const {
    return TestBit(prefix_.conflict_events, e) || (open_events && TestBit(*open_events, e));
}

void Unf2Velt::MakeEventAtoms(bool names, const BITARRAY* open_events) {
    const BraProcess& P = prefix_;
    for (std::uint32_t j = 1; j <= P.events; ++j) {
        if (P.IsCutoff(j) || !Translated(j)) continue;
        const bool open = IsOpen(j, open_events);
        if (optimize_merge_events && !open) {
            bool same = true, first = true;
            std::uint32_t k = 0;
            for (const std::uint32_t* it = P.preset.begin(j); it != P.preset.end(j); ++it) {
                const std::uint32_t r = Rep(P.cond_pre[*it]);
                if (first) {
                    k = r;
                    first = false;
                } else if (r != k) {
                    same = false;
                    break;
                }
            }
            if (same && k < j) {
                rep_[j] = k;
                e_index_[j] = k ? e_index_[k] : 1;
                SetBit(merged_events, j);
                continue;
            }
        }
        e_index_[j] = NewAtom(names, "e%ld", static_cast<long>(j));
        if (!optimize_use_choice_rules && (!optimize_force_events || open))
            be_index_[j] = NewAtom(names, "be%ld", static_cast<long>(j));
    }
}

// The distinct representatives of the pre-events of e's preset conditions,
// in ascending order of the last file position at which each occurs.
Unf2Velt::Body Unf2Velt::EventBody(std::uint32_t e) {
    const BraProcess& P = prefix_;
    Body stack;
    const std::uint32_t* b = P.preset.begin(e);
    for (const std::uint32_t* it = P.preset.end(e); it != b;) {
        --it;  // the preset list runs against file order
        const std::uint32_t r = Rep(P.cond_pre[*it]);
        if (r == 0 || e_index_[r] <= 1) continue;
        if (TestBit(scratch_, r)) continue;
        SetBit(scratch_, r);
        stack.push_back(r);
    }
    Body body(stack.rbegin(), stack.rend());
    for (std::uint32_t r : body) ClearBit(scratch_, r);
    return body;
}

// The distinct representatives of c's non-cut-off consumers that have atoms.
Unf2Velt::Body Unf2Velt::ConsumerAtoms(std::uint32_t c) {
    const BraProcess& P = prefix_;
    Body stack;
    const std::uint32_t* b = P.consumers.begin(c);
    for (const std::uint32_t* it = P.consumers.end(c); it != b;) {
        --it;
        if (P.IsCutoff(*it) || !Translated(*it)) continue;
        const std::uint32_t r = Rep(*it);
        if (r == 0 || e_index_[r] < 2) continue;
        if (TestBit(scratch_, r)) continue;
        SetBit(scratch_, r);
        stack.push_back(r);
    }
    Body body(stack.rbegin(), stack.rend());
    for (std::uint32_t r : body) ClearBit(scratch_, r);
    return body;
}

void Unf2Velt::MakeEventRules(const BITARRAY* open_events) {
    const BraProcess& P = prefix_;
    veltra::Api& api = *api_;
    std::vector<Body> bodies(std::size_t(P.events) + 1);
    std::vector<bool> choice(std::size_t(P.events) + 1, false);
    std::vector<std::uint32_t> group(std::size_t(P.events) + 1, 0);  // first event of equal choice body
    std::vector<std::vector<std::uint32_t>> keys(std::size_t(P.events) + 1);
    std::size_t own = 0;
    for (std::uint32_t j = 1; j <= P.events; ++j)
        if (e_index_[j] >= 2 && !TestBit(merged_events, j) && !P.IsCutoff(j)) ++own;
    SIMPLEHASH hash(own);
    std::unordered_map<const std::uint32_t*, std::uint32_t> owner;
    std::vector<std::vector<std::uint32_t>> members(std::size_t(P.events) + 1);
    for (std::uint32_t j = 1; j <= P.events; ++j) {
        if (e_index_[j] < 2 || TestBit(merged_events, j) || P.IsCutoff(j)) continue;
        bodies[j] = EventBody(j);
        choice[j] = optimize_use_choice_rules && IsOpen(j, open_events);
        group[j] = j;
        if (choice[j] && optimize_use_multihead_rules) {
            auto& key = keys[j];
            key.push_back(static_cast<std::uint32_t>(bodies[j].size() + 1));
            key.insert(key.end(), bodies[j].begin(), bodies[j].end());
            key.push_back(static_cast<std::uint32_t>(veltra::RuleKind::choice));
            const std::uint32_t* found = hash.InsertDataIfNew(key.data());
            if (found)
                group[j] = owner[found];
            else
                owner[key.data()] = j;
        }
        if (choice[j]) members[group[j]].push_back(j);
    }
    for (std::uint32_t j = 1; j <= P.events; ++j) {
        if (e_index_[j] < 2 || TestBit(merged_events, j) || P.IsCutoff(j)) continue;
        if (choice[j]) {
            if (group[j] != j) continue;
            api.begin_rule(veltra::RuleKind::choice);
            for (std::uint32_t h : members[j]) api.add_head(AtomAt(e_index_[h]));
            for (std::uint32_t r : bodies[j]) api.add_body(AtomAt(e_index_[r]), true);
            api.end_rule();
        } else if (be_index_[j]) {
            api.begin_rule(veltra::RuleKind::basic);
            api.add_head(AtomAt(e_index_[j]));
            for (std::uint32_t r : bodies[j]) api.add_body(AtomAt(e_index_[r]), true);
            api.add_body(AtomAt(be_index_[j]), false);
            api.end_rule();
            api.begin_rule(veltra::RuleKind::basic);
            api.add_head(AtomAt(be_index_[j]));
            api.add_body(AtomAt(e_index_[j]), false);
            api.end_rule();
        } else {
            api.begin_rule(veltra::RuleKind::basic);
            api.add_head(AtomAt(e_index_[j]));
            for (std::uint32_t r : bodies[j]) api.add_body(AtomAt(e_index_[r]), true);
            api.end_rule();
        }
    }
}

namespace {

// Sorts each list, drops lists equal to an earlier one and, when asked,
// orders the rest lexicographically (a proper prefix first).
void dedupe_and_sort(std::vector<std::vector<std::uint32_t>>& lists, bool remove_duplicates,
                     bool sort_rules) {
    if (remove_duplicates) {
        std::vector<std::vector<std::uint32_t>> keys;
        keys.reserve(lists.size());
        for (auto& l : lists) {
            std::sort(l.begin(), l.end());
            std::vector<std::uint32_t> key;
            key.reserve(l.size() + 1);
            key.push_back(static_cast<std::uint32_t>(l.size()));
            key.insert(key.end(), l.begin(), l.end());
            keys.push_back(std::move(key));
        }
        SIMPLEHASH hash(lists.size());
        std::vector<std::vector<std::uint32_t>> kept;
        for (std::size_t i = 0; i < lists.size(); ++i)
            if (!hash.InsertDataIfNew(keys[i].data())) kept.push_back(std::move(lists[i]));
        lists = std::move(kept);
    }
    if (sort_rules) std::stable_sort(lists.begin(), lists.end());
}

}  // namespace

void Unf2Velt::MakeConflictRules(bool all_conflict_conditions) {
    const BraProcess& P = prefix_;
    std::vector<Body> lists;
    for (std::uint32_t c = 1; c <= P.conditions; ++c) {
        if (!TestBit(P.conflict_conditions, c) || !ConditionTranslated(c)) continue;
        if (!all_conflict_conditions && b_index_[c] == 0) continue;
        Body l = ConsumerAtoms(c);
        if (l.size() >= 2) lists.push_back(std::move(l));
    }
    dedupe_and_sort(lists, optimize_remove_duplicates, optimize_sort_rules);
    veltra::Api& api = *api_;
    for (const Body& l : lists) {
        api.begin_rule(l.size() == 2 ? veltra::RuleKind::basic : veltra::RuleKind::constraint);
        api.add_head(conflict_);
        for (std::uint32_t e : l) api.add_body(AtomAt(e_index_[e]), true);
        if (l.size() > 2) api.set_atleast(2);
        api.end_rule();
    }
}

void Unf2Velt::MakeMarkingRules() {
    const BraProcess& P = prefix_;
    veltra::Api& api = *api_;
    for (std::uint32_t c = 1; c <= P.conditions; ++c) {
        if (!own_b_[c]) continue;
        const std::uint32_t pre = P.cond_pre[c];
        const std::uint32_t pre_index = pre ? e_index_[pre] : 1;
        if (pre_index == 0) continue;  // its pre-event never occurs
        const Body consumers = ConsumerAtoms(c);
        api.begin_rule(veltra::RuleKind::basic);
        api.add_head(AtomAt(b_index_[c]));
        if (pre_index >= 2) api.add_body(AtomAt(pre_index), true);
        for (std::uint32_t x : consumers) api.add_body(AtomAt(e_index_[x]), false);
        api.end_rule();
    }
}

void Unf2Velt::CreateDeadlockProgram(bool names) {
    BraProcess& P = prefix_;
    const std::uint32_t E = P.events, C = P.conditions;
    scratch_ = NewBitArray(E);
    closure_ = optimize_enabledness_closure;
    if (closure_) P.EnablednessClosure(P.cutoffs);

    // Conditions that need a marking atom.
    BITARRAY S = NewBitArray(C);
    if (optimize_cutoff_presets) {
        for (std::uint32_t e = 1; e <= E; ++e) {
            if (!Translated(e)) continue;
            const bool wanted = P.IsCutoff(e) || (optimize_force_events ? TestBit(P.conflict_events, e) : true);
            if (!wanted) continue;
            for (const std::uint32_t* it = P.preset.begin(e); it != P.preset.end(e); ++it)
                if (ConditionTranslated(*it)) SetBit(S, *it);
        }
    } else {
        for (std::uint32_t c = 1; c <= C; ++c)
            if (!P.IsPreEventCutoff(c) && ConditionTranslated(c)) SetBit(S, c);
    }

    conflict_ = AtomAt(NewAtom(names, "conflict", 0));
    live_ = AtomAt(NewAtom(names, "live", 0));
    MakeEventAtoms(names, nullptr);

    for (std::uint32_t c = 1; c <= C; ++c) {
        if (!TestBit(S, c)) continue;
        const std::uint32_t pre = P.cond_pre[c];
        if (optimize_unconsumed_conditions && TestBit(P.unconsumed_conditions, c)) {
            b_index_[c] = pre ? e_index_[pre] : 1;
            continue;
        }
        // The first non-cut-off consumer in list order (the last in the file).
        std::uint32_t first = 0;
        const std::uint32_t* b = P.consumers.begin(c);
        for (const std::uint32_t* it = P.consumers.end(c); it != b;) {
            --it;
            if (!P.IsCutoff(*it)) {
                first = *it;
                break;
            }
        }
        if (first == 0 || !TestBit(merged_events, first)) {
            b_index_[c] = NewAtom(names, "b%ld", static_cast<long>(c));
            own_b_[c] = true;
        } else {
            b_index_[c] = 0;  // consumed whenever it is created
        }
    }

    MakeEventRules(nullptr);
    MakeConflictRules(false);
    MakeMarkingRules();

    // Liveness: some translated event is still enabled.
    std::vector<Body> lists;
    bool always = false;
    const std::uint32_t A = static_cast<std::uint32_t>(atoms_.size());
    BITARRAY seen = NewBitArray(A);
    for (std::uint32_t v = 1; v <= E && !always; ++v) {
        if (!Translated(v) || TestBit(merged_events, v)) continue;
        const bool wanted = P.IsCutoff(v) || (e_index_[v] >= 2 && (!optimize_force_events ||
                                                                   TestBit(P.conflict_events, v)));
        if (!wanted) continue;
        Body stack;
        bool never = false;
        const std::uint32_t* b = P.preset.begin(v);
        for (const std::uint32_t* it = P.preset.end(v); it != b;) {
            --it;
            const std::uint32_t m = b_index_[*it];
            if (m == 0) {
                never = true;
                break;
            }
            if (m == 1 || TestBit(seen, m)) continue;
            SetBit(seen, m);
            stack.push_back(m);
        }
        for (std::uint32_t m : stack) ClearBit(seen, m);
        if (never) continue;
        if (stack.empty()) {
            always = true;
            break;
        }
        lists.emplace_back(stack.rbegin(), stack.rend());
    }
    veltra::Api& api = *api_;
    if (always) {
        api.begin_rule(veltra::RuleKind::basic);
        api.add_head(live_);
        api.end_rule();
    } else {
        dedupe_and_sort(lists, optimize_remove_duplicates, optimize_sort_rules);
        for (const Body& l : lists) {
            api.begin_rule(veltra::RuleKind::basic);
            api.add_head(live_);
            for (std::uint32_t m : l) api.add_body(AtomAt(m), true);
            api.end_rule();
        }
    }
    api.set_compute(conflict_, false);
    api.set_compute(live_, false);
    api.done();
}

bool Unf2Velt::CreateReachabilityProgram(FormulaTree& tree, bool names, bool& negated) {
    BraProcess& P = prefix_;
    veltra::Api& api = *api_;
    const std::uint32_t E = P.events, C = P.conditions;
    scratch_ = NewBitArray(E);
    negated = false;
    conflict_ = AtomAt(NewAtom(names, "conflict", 0));
    veltra::Atom* formula = AtomAt(NewAtom(names, "formula", 0));

    VELCHECK_ASSERT(tree.root >= 0);
    const TreeNode& root = tree.at(tree.root);
    const bool is_not_diamond = root.kind == TOK_NOT && tree.at(root.right).kind == TOK_DIAMOND;
    VELCHECK_ASSERT(root.kind == TOK_TRUE || root.kind == TOK_FALSE || root.kind == TOK_DIAMOND ||
                    is_not_diamond);
    const std::int32_t diamond = root.kind == TOK_DIAMOND ? tree.root : is_not_diamond ? root.right : -1;

    // Trivial formulas are decided here.
    const bool trivial = diamond < 0 || tree.at(tree.at(diamond).right).kind == TOK_PLACE ||
                         tree.at(tree.at(diamond).right).kind == TOK_TRUE ||
                         tree.at(tree.at(diamond).right).kind == TOK_FALSE;
    if (trivial) {
        bool answer;
        if (diamond < 0) {
            answer = root.kind == TOK_TRUE;
        } else {
            const TreeNode& op = tree.at(tree.at(diamond).right);
            bool holds;
            if (op.kind == TOK_PLACE) {
                const std::uint32_t p = op.place;
                holds = P.IsPlaceInPrefix(p);
                if (holds) {
                    // The local configuration of a condition labelled p marks p.
                    const std::uint32_t e = P.GiveAnyPreEvent(p);
                    if (e) SetBit(witness_, e);
                    P.CausalClosure(witness_);
                    has_witness_ = true;
                }
            } else {
                holds = op.kind == TOK_TRUE;
            }
            answer = is_not_diamond ? !holds : holds;
        }
        veltra::Atom* t = AtomAt(NewAtom(names, "true", 0));
        api.begin_rule(veltra::RuleKind::basic);
        api.add_head(t);
        api.end_rule();
        api.begin_rule(veltra::RuleKind::basic);
        api.add_head(formula);
        api.add_body(t, answer);
        api.end_rule();
        api.done();
        negated = !answer;
        return true;
    }

    // Atoms of the formula places, in order of first appearance.
    std::vector<std::uint32_t> places;
    std::unordered_map<std::uint32_t, veltra::Atom*> s_atom;
    {
        std::vector<std::int32_t> stack{tree.root};
        while (!stack.empty()) {
            const TreeNode& n = tree.at(stack.back());
            stack.pop_back();
            if (n.kind == TOK_PLACE && !s_atom.count(n.place)) {
                s_atom[n.place] = AtomAt(NewAtom(names, "s%ld", static_cast<long>(n.place)));
                places.push_back(n.place);
            }
            if (n.right >= 0) stack.push_back(n.right);
            if (n.left >= 0) stack.push_back(n.left);
        }
    }
    std::vector<bool> formula_place(P.place_names.size() + 1, false);
    for (std::uint32_t p : places) formula_place[p] = true;
    BITARRAY U = NewBitArray(C);
    for (std::uint32_t c = 1; c <= C; ++c)
        if (formula_place[P.cond_place[c]] && !P.IsPreEventCutoff(c)) SetBit(U, c);
    BITARRAY V = NewBitArray(E);
    P.MarkTouchingEvents(U, V);
    closure_ = optimize_enabledness_closure;
    if (closure_) P.EnablednessClosure(V);

    MakeEventAtoms(names, &V);
    for (std::uint32_t c = 1; c <= C; ++c)
        if (TestBit(U, c)) {
            b_index_[c] = NewAtom(names, "b%ld", static_cast<long>(c));
            own_b_[c] = true;
        }
    MakeEventRules(&V);
    MakeConflictRules(true);
    MakeMarkingRules();

    // Projection: a formula place is marked when one of its conditions is.
    std::unordered_map<std::uint32_t, std::vector<veltra::Atom*>> marking_atoms;
    for (std::uint32_t c = 1; c <= C; ++c)
        if (TestBit(U, c)) marking_atoms[P.cond_place[c]].push_back(AtomAt(b_index_[c]));
    for (std::uint32_t p : places) {
        const std::vector<veltra::Atom*>& bs = marking_atoms[p];
        if (bs.empty()) continue;  // never marked in the prefix
        api.begin_rule(bs.size() == 1 ? veltra::RuleKind::basic : veltra::RuleKind::constraint);
        api.add_head(s_atom[p]);
        for (veltra::Atom* b : bs) api.add_body(b, true);
        if (bs.size() > 1) api.set_atleast(1);
        api.end_rule();
    }

    // The formula itself, bottom-up.
    long counter = 0;
    struct Lit {
        veltra::Atom* atom;
        bool negated;
    };
    std::vector<std::pair<std::int32_t, bool>> stack{{tree.root, false}};
    std::vector<Lit> results;
    while (!stack.empty()) {
        auto [i, done] = stack.back();
        stack.pop_back();
        const TreeNode n = tree.at(i);
        if (!done) {
            stack.emplace_back(i, true);
            if (n.right >= 0) stack.emplace_back(n.right, false);
            if (n.left >= 0) stack.emplace_back(n.left, false);
            continue;
        }
        switch (n.kind) {
        case TOK_PLACE:
            results.push_back({s_atom[n.place], false});
            break;
        case TOK_NOT: {
            Lit l = results.back();
            VELCHECK_ASSERT(!l.negated);
            results.back().negated = true;
            break;
        }
        case TOK_AND:
        case TOK_OR: {
            const Lit r = results.back();
            results.pop_back();
            const Lit l = results.back();
            results.pop_back();
            veltra::Atom* f = AtomAt(NewAtom(names, "f%ld", ++counter));
            api.begin_rule(n.kind == TOK_AND ? veltra::RuleKind::basic : veltra::RuleKind::constraint);
            api.add_head(f);
            api.add_body(l.atom, !l.negated);
            api.add_body(r.atom, !r.negated);
            if (n.kind == TOK_OR) api.set_atleast(1);
            api.end_rule();
            tree.at(i).atom = f;
            results.push_back({f, false});
            break;
        }
        case TOK_DIAMOND: {
            const Lit l = results.back();
            results.pop_back();
            ++counter;
            veltra::Atom* d = AtomAt(NewAtom(names, "diamond", 0));
            api.begin_rule(veltra::RuleKind::basic);
            api.add_head(d);
            api.add_body(l.atom, !l.negated);
            api.end_rule();
            tree.at(i).atom = d;
            results.push_back({d, false});
            break;
        }
        default:
            VELCHECK_ASSERT(!"constant inside a formula to translate");
        }
    }
    const Lit d = results.back();
    api.begin_rule(veltra::RuleKind::basic);
    api.add_head(formula);
    api.add_body(d.atom, !d.negated);
    api.end_rule();
    api.set_compute(conflict_, false);
    api.set_compute(d.atom, true);
    api.done();
    negated = d.negated;
    return false;
}

bool Unf2Velt::SolveProgram(bool lookahead) { return solver_->find_model(lookahead); }

void Unf2Velt::ModelToConfiguration() {
    const BraProcess& P = prefix_;
    witness_ = NewBitArray(P.events);
    for (std::uint32_t e = 1; e <= P.events; ++e) {
        if (P.IsCutoff(e) || !Translated(e)) continue;
        const std::uint32_t idx = e_index_[e];
        if (idx == 1 || (idx >= 2 && atoms_[idx]->is_true)) SetBit(witness_, e);
    }
    P.CausalClosure(witness_);
    has_witness_ = true;
}

bool Unf2Velt::DeadlockSanityCheck(std::FILE* out) {
    ModelToConfiguration();
    const std::uint32_t n = prefix_.ContinueToDeadlock(witness_);
    if (n) {
        std::fprintf(out, "Deadlock configuration sanity check failed:\n");
        std::fprintf(out, "Cutoff event E%ld is still enabled!\n", static_cast<long>(n));
        std::fprintf(out, "\nThe error occurred in the non-deadlocking configuration:\n");
    }
    PrintConfiguration(out);
    return n == 0;
}

void Unf2Velt::PrintConfiguration(std::FILE* out) const {
    const BraProcess& P = prefix_;
    std::uint32_t count = 0;
    for (std::uint32_t e = 1; e <= P.events; ++e) {
        if (!TestBit(witness_, e)) continue;
        const char* sep = count == 0 ? "" : (count % 2 == 1 ? ", " : ",\n  ");
        std::fprintf(out, "%sE%ld(%s)", sep, static_cast<long>(e),
                     P.TransitionName(P.event_trans[e]).c_str());
        ++count;
    }
    if (count) std::fprintf(out, ".");
    std::fprintf(out, "\n");
    std::fflush(out);
}

}  // namespace velcheck
