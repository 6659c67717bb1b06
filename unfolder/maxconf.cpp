// The list of maximal configurations, updated event by event.
//
// Events are replayed in creation order; at the update of event e only the
// events 1 … e exist, so consumers are taken up to e.  A configuration is a
// vector of event numbers, descending (its first element is its newest
// event); the list keeps configurations with newer first events in front.
#include "maxconf.h"

#include <algorithm>
#include <functional>
#include <list>

namespace trelmik {

namespace {

using Config = std::vector<std::uint32_t>;  // descending

bool subset(const Config& a, const Config& b) {  // a ⊆ b
    return a.size() <= b.size() && std::includes(b.begin(), b.end(), a.begin(), a.end(), std::greater<>());
}

void print_set(std::FILE* out, const Config& c) {
    std::fputc('{', out);
    for (std::size_t i = 0; i < c.size(); ++i) std::fprintf(out, i ? ",%u" : "%u", c[i]);
    std::fputs("}\n", out);
}

}  // namespace

Configurations maximal_configurations(const Prefix& pf, bool reduce) {
    const std::uint32_t E = pf.events();
    std::list<Config> configs;
    std::vector<std::uint32_t> in_conflict(E + 1, 0), in_config(E + 1, 0);
    std::uint32_t kstamp = 0, cstamp = 0;
    std::vector<std::uint32_t> stack, pre;
    Config conflict;
    for (std::uint32_t e = 1; e <= E; ++e) {
        // Conflict set: consumers (up to e) of e's inputs and, unless -z,
        // every event that follows them.
        ++kstamp;
        conflict.clear();
        stack.clear();
        pre.clear();
        auto add = [&](std::uint32_t f) {
            if (f > e || in_conflict[f] == kstamp) return;
            in_conflict[f] = kstamp;
            conflict.push_back(f);
            if (reduce) stack.push_back(f);
        };
        for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i) {
            const std::uint32_t c = pf.ev_pre_conds[i];
            pf.for_each_consumer(c, add);
            if (pf.cond_pre[c - 1] != 0) pre.push_back(pf.cond_pre[c - 1]);
        }
        while (!stack.empty()) {
            const std::uint32_t f = stack.back();
            stack.pop_back();
            const std::uint32_t first = pf.ev_post_first[f - 1];
            for (std::uint32_t b = first; b != 0 && b < first + pf.ev_post_count[f - 1]; ++b)
                pf.for_each_consumer(b, add);
        }
        std::sort(pre.begin(), pre.end(), std::greater<>());
        pre.erase(std::unique(pre.begin(), pre.end()), pre.end());

        if (configs.empty()) {
            configs.push_back(Config{e});
            continue;
        }
        std::list<Config> front;  // configurations whose newest event is e
        for (auto it = configs.begin(); it != configs.end();) {
            Config& c = *it;
            if (!pre.empty() && c.front() < pre.front()) break;
            if (!subset(pre, c)) {
                ++it;
                continue;
            }
            // Does an event of c consume one of e's inputs?
            ++cstamp;
            for (std::uint32_t f : c) in_config[f] = cstamp;
            bool clash = false;
            for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e] && !clash; ++i)
                pf.for_each_consumer(pf.ev_pre_conds[i], [&](std::uint32_t f) {
                    if (f < e && in_config[f] == cstamp) clash = true;
                });
            if (!clash) {
                c.insert(c.begin(), e);
                for (auto f = front.begin(); f != front.end();)
                    f = subset(*f, c) ? front.erase(f) : std::next(f);
                front.splice(front.end(), configs, it++);
                continue;
            }
            // A new configuration: e with what of c is not in conflict with e.
            Config n{e};
            for (std::uint32_t f : c)
                if (in_conflict[f] != kstamp) n.push_back(f);
            bool dropped = false;
            for (const Config& f : front)
                if (subset(n, f)) { dropped = true; break; }
            if (!dropped) {
                for (auto f = front.begin(); f != front.end();)
                    f = subset(*f, n) ? front.erase(f) : std::next(f);
                // The older configurations form an antichain and n drops an
                // event of c: none of them can lie inside n unless the
                // conflict set was cut short (-z).
                if (!reduce) {
                    for (auto f = configs.begin(); f != configs.end();) {
                        if (f != it && subset(*f, n)) f = configs.erase(f);
                        else ++f;
                    }
                }
                front.push_front(std::move(n));
            }
            ++it;
        }
        configs.splice(configs.begin(), front);
    }
    Configurations out;
    out.computed = true;
    for (Config& c : configs) {
        std::reverse(c.begin(), c.end());
        out.sets.push_back(std::move(c));
    }
    return out;
}

bool consistency_check(std::FILE* out, const Prefix& pf, const Configurations& configs) {
    bool ok = true;
    std::fputs("Consistency Check\n", out);
    const std::uint32_t E = pf.events();
    std::vector<std::uint32_t> mark(E + 1, 0), seen(E + 1, 0);
    std::uint32_t stamp = 0;
    std::vector<std::uint32_t> stack;
    std::vector<std::uint8_t> covered(E + 1, 0);
    for (const Config& c : configs.sets) {
        ++stamp;
        for (std::uint32_t e : c) {
            mark[e] = stamp;
            covered[e] = 1;
        }
        stack.assign(c.begin(), c.end());
        for (std::uint32_t e : c) seen[e] = stamp;
        while (!stack.empty()) {
            const std::uint32_t f = stack.back();
            stack.pop_back();
            for (std::uint32_t i = pf.ev_pre_begin[f - 1]; i < pf.ev_pre_begin[f]; ++i) {
                const std::uint32_t g = pf.cond_pre[pf.ev_pre_conds[i] - 1];
                if (g == 0 || seen[g] == stamp) continue;
                seen[g] = stamp;
                stack.push_back(g);
                if (mark[g] != stamp) {
                    ok = false;
                    std::fprintf(out, "### Inconsistency: Event E%u.\n", g);
                    print_set(out, c);
                }
            }
        }
    }
    auto includes = [](const Config& big, const Config& small) {
        return small.size() <= big.size() && std::includes(big.begin(), big.end(), small.begin(), small.end());
    };
    for (std::size_t i = 0; i < configs.sets.size(); ++i)
        for (std::size_t j = i + 1; j < configs.sets.size(); ++j) {
            const Config& a = configs.sets[i];
            const Config& b = configs.sets[j];
            if (a == b) {
                ok = false;
                std::fputs("### Inconsistency: Configuration multiply listed: ", out);
                print_set(out, a);
            } else if (includes(a, b) || includes(b, a)) {
                ok = false;
                std::fputs("### Inconsistency: Configuration not maximal: ", out);
                print_set(out, includes(a, b) ? b : a);
            }
        }
    std::vector<std::uint32_t> lost;
    for (const auto& [e, corr] : pf.cutoffs) {
        (void)corr;
        if (!covered[e]) lost.push_back(e);
    }
    if (!lost.empty()) {
        ok = false;
        std::fprintf(out, "There %s not contained in any maximal configuration: ",
                     lost.size() == 1 ? "is a cut-off event" : "are cut-off events");
        for (std::size_t i = 0; i < lost.size(); ++i) std::fprintf(out, i ? ", E%u" : "E%u", lost[i]);
        std::fputc('\n', out);
    }
    std::fputs("End of Consistency Check\n", out);
    return ok;
}

}  // namespace trelmik
