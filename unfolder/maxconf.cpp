// The list of maximal configurations, updated event by event.
//
// At the update of event e only the events 1 … e count, so consumers are
// taken up to e.  A configuration is a vector of event numbers, descending
// (its first element is its newest event); the list keeps configurations with
// newer first events in front.
#include "maxconf.h"

#include <algorithm>
#include <functional>
#include <list>

namespace trelmik {

namespace {

using Config = std::vector<std::uint32_t>;

bool subset(const Config& a, const Config& b) {  // a ⊆ b
    return a.size() <= b.size() && std::includes(b.begin(), b.end(), a.begin(), a.end(), std::greater<>());
}

void print_set(std::FILE* out, const Config& c) {
    std::fputc('{', out);
    for (std::size_t i = 0; i < c.size(); ++i) std::fprintf(out, i ? ",%u" : "%u", c[i]);
    std::fputs("}\n", out);
}

}  // namespace

void MaxConfigurations::update(const Prefix& pf, std::uint32_t e) {
    if (in_conflict_.size() <= e) {
        in_conflict_.resize(std::size_t(e) * 2 + 2, 0);
        in_config_.resize(std::size_t(e) * 2 + 2, 0);
    }
    // Conflict set: consumers (up to e) of e's inputs and every event that
    // follows them, so that what is left of a configuration stays closed.
    ++kstamp_;
    conflict_.clear();
    stack_.clear();
    pre_.clear();
    auto add = [&](std::uint32_t f) {
        if (f > e || in_conflict_[f] == kstamp_) return;
        in_conflict_[f] = kstamp_;
        conflict_.push_back(f);
        stack_.push_back(f);
    };
    for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i) {
        const std::uint32_t c = pf.ev_pre_conds[i];
        pf.for_each_consumer(c, add);
        if (pf.cond_pre[c - 1] != 0) pre_.push_back(pf.cond_pre[c - 1]);
    }
    while (!stack_.empty()) {
        const std::uint32_t f = stack_.back();
        stack_.pop_back();
        const std::uint32_t first = pf.ev_post_first[f - 1];
        for (std::uint32_t b = first; b != 0 && b < first + pf.ev_post_count[f - 1]; ++b)
            pf.for_each_consumer(b, add);
    }
    std::sort(pre_.begin(), pre_.end(), std::greater<>());
    pre_.erase(std::unique(pre_.begin(), pre_.end()), pre_.end());

    if (configs_.empty()) {
        configs_.push_back(Config{e});
        return;
    }
    std::list<Config> front;  // configurations whose newest event is e
    for (auto it = configs_.begin(); it != configs_.end();) {
        Config& c = *it;
        if (!pre_.empty() && c.front() < pre_.front()) break;
        if (!subset(pre_, c)) {
            ++it;
            continue;
        }
        // Does an event of c consume one of e's inputs?
        ++cstamp_;
        for (std::uint32_t f : c) in_config_[f] = cstamp_;
        bool clash = false;
        for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e] && !clash; ++i)
            pf.for_each_consumer(pf.ev_pre_conds[i], [&](std::uint32_t f) {
                if (f < e && in_config_[f] == cstamp_) clash = true;
            });
        if (!clash) {
            c.insert(c.begin(), e);
            for (auto f = front.begin(); f != front.end();)
                f = subset(*f, c) ? front.erase(f) : std::next(f);
            front.splice(front.end(), configs_, it++);
            continue;
        }
        // A new configuration: e with what of c is not in conflict with e.
        Config n{e};
        for (std::uint32_t f : c)
            if (in_conflict_[f] != kstamp_) n.push_back(f);
        bool dropped = false;
        for (const Config& f : front)
            if (subset(n, f)) { dropped = true; break; }
        if (!dropped) {
            for (auto f = front.begin(); f != front.end();)
                f = subset(*f, n) ? front.erase(f) : std::next(f);
            // The older configurations form an antichain and n drops an
            // event of c together with what follows it: none of them can
            // lie inside n.  Without the reduction step (-z) they are
            // compared all the same.
            if (!reduce_) {
                for (auto f = configs_.begin(); f != configs_.end();) {
                    if (f != it && subset(*f, n)) f = configs_.erase(f);
                    else ++f;
                }
            }
            front.push_front(std::move(n));
        }
        ++it;
    }
    configs_.splice(configs_.begin(), front);
}

std::uint64_t MaxConfigurations::cells() const {
    std::uint64_t n = 0;
    for (const Config& c : configs_) n += c.size();
    return n;
}

Configurations MaxConfigurations::result() const {
    Configurations out;
    out.computed = true;
    for (const Config& c : configs_) out.sets.emplace_back(c.rbegin(), c.rend());
    return out;
}

Configurations maximal_configurations(const Prefix& pf, bool reduce) {
    MaxConfigurations m(reduce);
    for (std::uint32_t e = 1; e <= pf.events(); ++e) m.update(pf, e);
    return m.result();
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
