// Accepting transitions for LTL checking: a cut-off closes an accepting cycle
// when its corresponding configuration lies inside its own and the events
// between the two include an accepting one.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "net.h"
#include "outputs.h"

namespace trelmik {

namespace {

bool accepting_name(std::string_view s) { return !s.empty() && s[0] == '@'; }

// The events of [e] in ascending order; `stamp` marks them with `mark`.
std::vector<std::uint32_t> local_configuration(const Prefix& pf, std::uint32_t e, std::vector<std::uint32_t>& stamp,
                                               std::uint32_t mark) {
    std::vector<std::uint32_t> out, stack;
    if (e == 0) return out;
    stack.push_back(e);
    stamp[e - 1] = mark;
    while (!stack.empty()) {
        const std::uint32_t x = stack.back();
        stack.pop_back();
        out.push_back(x);
        for (std::uint32_t i = pf.ev_pre_begin[x - 1]; i < pf.ev_pre_begin[x]; ++i) {
            const std::uint32_t g = pf.cond_pre[pf.ev_pre_conds[i] - 1];
            if (g != 0 && stamp[g - 1] != mark) {
                stamp[g - 1] = mark;
                stack.push_back(g);
            }
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

std::uint32_t check_accepting(netlib::NET* net) {
    std::uint32_t count = 0;
    for (netlib::NET_NODE* t = net->first_transition; t != nullptr; t = t->next) {
        if (!accepting_name(t->name)) continue;
        if (++count >= 65535) {
            std::fputs("Internal overflow: more than 2^16 accepting transitions (LTL)", stderr);
            throw ExitRequest{100};
        }
    }
    if (count == 0) std::fputs("WARNING: No accepting '@' transitions given (LTL)", stderr);
    return count;
}

bool AcceptingCycleWatch::stops(const Prefix& pf, std::uint32_t e, std::uint32_t corr) {
    if (w_.found) return true;
    const std::uint32_t E = pf.events();
    // Pre-events have smaller numbers: the flags of new events follow from older ones.
    for (std::uint32_t f = static_cast<std::uint32_t>(accepting_below_.size()) + 1; f <= E; ++f) {
        std::uint8_t a = accepting_name(net_.trans_names[pf.ev_trans[f - 1]]);
        for (std::uint32_t i = pf.ev_pre_begin[f - 1]; i < pf.ev_pre_begin[f] && !a; ++i) {
            const std::uint32_t g = pf.cond_pre[pf.ev_pre_conds[i] - 1];
            if (g != 0) a = accepting_below_[g - 1];
        }
        accepting_below_.push_back(a);
    }
    stamp_.resize(E, 0);
    if (!accepting_below_[e - 1]) return false;
    std::vector<std::uint32_t> config = local_configuration(pf, e, stamp_, ++mark_);
    if (corr != 0 && stamp_[corr - 1] != mark_) return false;   // [corr] is not inside [e]
    std::vector<std::uint32_t> corr_config;
    if (corr != 0) corr_config = local_configuration(pf, corr, stamp_, ++mark_);
    // [corr] ⊆ [e]: the events between them are those of [e] not in [corr].
    bool accepting_between = false;
    for (std::uint32_t x : config) {
        if (corr != 0 && stamp_[x - 1] == mark_) continue;
        if (accepting_name(net_.trans_names[pf.ev_trans[x - 1]])) {
            accepting_between = true;
            break;
        }
    }
    if (!accepting_between) return false;
    w_.found = true;
    w_.cutoff = e;
    w_.corresponding = corr;
    w_.cutoff_config = std::move(config);
    w_.corr_config = std::move(corr_config);
    return true;
}

LtlWitness find_accepting_cycle(const InputNet& net, const Prefix& pf) {
    AcceptingCycleWatch watch(net);
    for (const auto& co : pf.cutoffs)
        if (watch.stops(pf, co.first, co.second)) break;
    return watch.witness();
}

void write_LTLcnf(const std::string& name, const std::string& net_file, const InputNet& net,
                  const Prefix& pf, const LtlWitness& w) {
    const std::string path = name.empty() ? net_file + ".LTLcnf" : name;
    OutFile f(path);
    if (!w.found) {
        f.puts("N\n");
    } else {
        auto list = [&](const std::vector<std::uint32_t>& events) {
            for (std::size_t i = 0; i < events.size(); ++i)
                f.printf("%s%s", i ? "," : "", net.trans_names[pf.ev_trans[events[i] - 1]].c_str());
        };
        f.puts("Y\n");
        list(w.cutoff_config);
        f.puts("\n(");
        list(w.corr_config);
        f.puts(")\n");
    }
    f.close();
}

}  // namespace trelmik
