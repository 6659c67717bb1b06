#include "mci_oracle.h"

#include <algorithm>
#include <set>

namespace prefixfile_test {

namespace {

// Words and strings from the front of the bytes; `ok` turns false at the end.
struct Cursor {
    const std::string& b;
    std::size_t at = 0;
    bool ok = true;

    std::uint32_t word() {
        if (b.size() - at < 4) {
            ok = false;
            at = b.size();
            return 0;
        }
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
        at += 4;
        return v;
    }
    std::string text() {
        std::size_t end = b.find('\0', at);
        if (end == std::string::npos) {
            ok = false;
            at = b.size();
            return {};
        }
        std::string s = b.substr(at, end - at);
        at = end + 1;
        return s;
    }
    std::size_t left() const { return b.size() - at; }
};

}  // namespace

Decoded decode_mci(const std::string& bytes) {
    Decoded d;
    testsupport::Prefix& p = d.prefix;
    Cursor in{bytes};
    const std::uint32_t C = in.word();
    if (!in.ok) return d;
    if (C == 0) {
        d.verdict = Oracle::Empty;
        return d;
    }
    const std::uint32_t E = in.word();
    // A condition takes at least three words, an event one.
    if (!in.ok || std::uint64_t(E) * 4 + std::uint64_t(C) * 12 > in.left()) return d;
    for (std::uint32_t e = 0; e < E && in.ok; ++e) p.event_trans.push_back(in.word());
    for (std::uint32_t c = 0; c < C && in.ok; ++c) {
        testsupport::Prefix::Condition cond;
        cond.place = in.word();
        cond.pre = in.word();
        for (std::uint32_t e = in.word(); in.ok && e != 0; e = in.word()) cond.post.push_back(e);
        p.conds.push_back(cond);
    }
    for (std::uint32_t e = in.word(); in.ok && e != 0; e = in.word()) {
        std::uint32_t k = in.word();
        p.cutoffs.emplace_back(e, k);
    }
    for (std::uint32_t e = in.word(); in.ok && e != 0; e = in.word()) {
        std::vector<std::uint32_t> config;
        for (; in.ok && e != 0; e = in.word()) config.push_back(e);
        p.configs.push_back(config);
    }
    const std::uint32_t P = in.word(), T = in.word();
    in.word();
    // Every name takes at least two bytes.
    if (!in.ok || 2 * (std::uint64_t(P) + T) + 2 > in.left()) return d;
    for (std::uint32_t i = 0; i < P && in.ok; ++i) p.places.push_back(in.text());
    const bool places_closed = in.ok && in.text().empty();
    for (std::uint32_t i = 0; i < T && in.ok; ++i) p.transitions.push_back(in.text());
    const bool transitions_closed = in.ok && in.text().empty();
    if (!in.ok) return d;
    d.verdict = Oracle::Invalid;
    if (!places_closed || !transitions_closed) {
        d.rule = "name list not closed";
    } else if (in.left() != 0) {
        d.rule = "bytes after the end";
    } else {
        d.rule = broken_rule(p);
        if (d.rule.empty()) d.verdict = Oracle::Valid;
    }
    return d;
}

std::string broken_rule(const testsupport::Prefix& p) {
    const std::uint32_t E = static_cast<std::uint32_t>(p.event_trans.size());
    const std::uint32_t P = static_cast<std::uint32_t>(p.places.size());
    const std::uint32_t T = static_cast<std::uint32_t>(p.transitions.size());
    for (std::uint32_t t : p.event_trans)
        if (t < 1 || t > T) return "event label out of range";
    std::set<std::uint32_t> consumed;
    for (const auto& c : p.conds) {
        if (c.place < 1 || c.place > P) return "condition label out of range";
        if (c.pre > E) return "pre-event out of range";
        for (std::size_t i = 0; i < c.post.size(); ++i) {
            if (c.post[i] < 1 || c.post[i] > E) return "post-event out of range";
            if (c.post[i] <= c.pre) return "post-event not after the pre-event";
            if (i > 0 && c.post[i] <= c.post[i - 1]) return "post-events not ascending";
            consumed.insert(c.post[i]);
        }
    }
    if (consumed.size() != E) return "event without preset";
    std::set<std::uint32_t> cutoffs;
    for (const auto& [e, k] : p.cutoffs) {
        if (e < 1 || e > E) return "cut-off out of range";
        if (k > E) return "corresponding event out of range";
        if (k == e) return "cut-off corresponds to itself";
        if (!cutoffs.insert(e).second) return "cut-off listed twice";
    }
    for (const auto& c : p.conds)
        if (c.pre && cutoffs.count(c.pre) && !c.post.empty()) return "condition behind a cut-off consumed";
    for (const auto& config : p.configs)
        for (std::uint32_t e : config)
            if (e < 1 || e > E) return "configuration event out of range";
    for (const auto* names : {&p.places, &p.transitions}) {
        std::set<std::string> seen;
        for (const std::string& n : *names) {
            if (n.empty()) return "empty name";
            if (!seen.insert(n).second) return "repeated name";
        }
    }
    return {};
}

std::string broken_rule(const prefixfile::Prefix& p) {
    // Rebuild the record from the reader's own fields and check that the
    // derived relations agree with it.
    testsupport::Prefix r;
    for (std::uint32_t i = 1; i <= p.places.count(); ++i) r.places.push_back(p.places.str(i));
    for (std::uint32_t i = 1; i <= p.transitions.count(); ++i) r.transitions.push_back(p.transitions.str(i));
    for (std::uint32_t e = 1; e <= p.events; ++e) r.event_trans.push_back(p.event_transition[e]);
    for (std::uint32_t c = 1; c <= p.conditions; ++c)
        r.add_condition(p.condition_place[c], p.condition_pre[c],
                        std::vector<std::uint32_t>(p.consumers[c].begin(), p.consumers[c].end()));
    r.cutoffs = p.cutoffs;
    if (!p.first_configuration.empty()) r.configs.push_back(p.first_configuration);
    std::string rule = broken_rule(r);
    if (!rule.empty()) return rule;
    for (std::uint32_t e = 1; e <= p.events; ++e) {
        std::vector<std::uint32_t> pre, post;
        for (std::uint32_t c = 1; c <= p.conditions; ++c) {
            const auto& cons = r.conds[c - 1].post;
            if (std::find(cons.begin(), cons.end(), e) != cons.end()) pre.push_back(c);
            if (r.conds[c - 1].pre == e) post.push_back(c);
        }
        if (pre != std::vector<std::uint32_t>(p.preset[e].begin(), p.preset[e].end())) return "preset differs";
        if (post != std::vector<std::uint32_t>(p.postset[e].begin(), p.postset[e].end())) return "postset differs";
        const bool listed = std::any_of(p.cutoffs.begin(), p.cutoffs.end(), [e](const auto& x) { return x.first == e; });
        if (listed != (p.cutoff[e] != 0)) return "cut-off mark differs";
    }
    return {};
}

}  // namespace prefixfile_test
