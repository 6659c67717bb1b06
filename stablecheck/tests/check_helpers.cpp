#include "check_helpers.h"

#include "formula.h"
#include "unf2velt.h"

namespace minitest {

using namespace velcheck;

std::optional<testsupport::Marking> replay_config(const testsupport::TestNet& net, const BraProcess& bp,
                                                  const BITARRAY& config) {
    std::vector<std::string> seq;
    for (std::uint32_t e = 1; e <= bp.events; ++e)
        if (TestBit(config, e)) seq.push_back(bp.TransitionName(bp.event_trans[e]));
    return testsupport::replay_names(net, seq);
}

std::FILE* null_out() {
    static std::FILE* f = std::fopen("/dev/null", "w");
    return f;
}

RandomFormula random_formula(std::mt19937_64& rng, const testsupport::TestNet& net,
                             const std::vector<int>& places, int depth) {
    const int k = depth == 0 ? 0 : static_cast<int>(rng() % 4);
    if (k == 0) {
        const int p = places[rng() % places.size()];
        return {net.place_names[p], [p](const testsupport::Marking& m) { return m[p] > 0; }};
    }
    if (k == 1) {
        RandomFormula f = random_formula(rng, net, places, depth - 1);
        auto h = f.holds;
        return {"-" + f.text, [h](const testsupport::Marking& m) { return !h(m); }};
    }
    RandomFormula l = random_formula(rng, net, places, depth - 1);
    RandomFormula r = random_formula(rng, net, places, depth - 1);
    auto lh = l.holds, rh = r.holds;
    if (k == 2)
        return {"(" + l.text + " * " + r.text + ")",
                [lh, rh](const testsupport::Marking& m) { return lh(m) && rh(m); }};
    return {"(" + l.text + " + " + r.text + ")",
            [lh, rh](const testsupport::Marking& m) { return lh(m) || rh(m); }};
}

DeadlockResult check_deadlock(BraProcess& bp, const testsupport::TestNet& net, int level, bool lookahead) {
    DeadlockResult d;
    if (bp.first_cutoff == 0) {
        d.every = true;
        return d;
    }
    Unf2Velt u(bp);
    u.SetOptimizationLevel(level);
    u.CreateDeadlockProgram(false);
    d.found = u.SolveProgram(lookahead);
    if (!d.found) return d;
    if (!u.DeadlockSanityCheck(null_out())) return d;
    const auto m = replay_config(net, bp, u.witness());
    d.witness_ok = m.has_value() && testsupport::is_dead(net, *m);
    return d;
}

Verdict check_formula(BraProcess& bp, const std::string& text, int level, bool lookahead) {
    Verdict v;
    std::FILE* f = std::tmpfile();
    std::fputs(text.c_str(), f);
    std::rewind(f);
    FormulaTree tree;
    const ParseResult r = ParseFormula(f, bp, tree, null_out());
    std::fclose(f);
    if (!r.ok || !IsSimpleReachability(tree)) return v;
    TreeOptimize(tree);
    EvaluatePlacesInInitialState(tree, bp);
    TreeOptimize(tree);
    Unf2Velt u(bp);
    u.SetOptimizationLevel(level);
    bool negated = false;
    const bool decided = u.CreateReachabilityProgram(tree, false, negated);
    v.ok = true;
    if (decided) {
        v.answer = !negated;
        v.witness = u.has_witness();
    } else if (u.SolveProgram(lookahead)) {
        v.answer = !negated;
        u.ModelToConfiguration();
        v.witness = true;
    } else {
        v.answer = negated;
    }
    v.config = u.witness();
    return v;
}

}  // namespace minitest
