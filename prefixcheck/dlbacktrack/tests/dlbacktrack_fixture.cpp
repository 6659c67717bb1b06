#include "dlbacktrack_fixture.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <set>

namespace dlbacktrack_test {

std::uint32_t FixturePrefix::add_event(std::uint32_t transition) {
    event_trans.push_back(transition);
    return static_cast<std::uint32_t>(event_trans.size());
}

std::uint32_t FixturePrefix::add_condition(std::uint32_t place, std::uint32_t pre,
                                           std::vector<std::uint32_t> post) {
    Condition c;
    c.place = place;
    c.pre = pre;
    c.post = std::move(post);
    conds.push_back(c);
    return static_cast<std::uint32_t>(conds.size());
}

namespace {

void put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string ev(std::uint32_t n) { return "E" + std::to_string(n); }

std::string printf_string(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string printf_string(const char* fmt, ...) {
    char buf[4096];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

const char* plural(std::size_t n) { return n == 1 ? "" : "s"; }

}  // namespace

std::string mci_bytes(const FixturePrefix& p) {
    std::string out;
    put32(out, static_cast<std::uint32_t>(p.conds.size()));
    put32(out, static_cast<std::uint32_t>(p.event_trans.size()));
    for (std::uint32_t t : p.event_trans) put32(out, t);
    for (const auto& c : p.conds) {
        put32(out, c.place);
        put32(out, c.pre);
        for (std::uint32_t e : c.post) put32(out, e);
        put32(out, 0);
    }
    for (const auto& [e, corr] : p.cutoffs) {
        put32(out, e);
        put32(out, corr);
    }
    put32(out, 0);
    for (const auto& conf : p.configs) {
        for (std::uint32_t e : conf) put32(out, e);
        put32(out, 0);
    }
    put32(out, 0);
    std::size_t longest = 0;
    for (const auto& n : p.places) longest = std::max(longest, n.size() & 0xFFFF);
    for (const auto& n : p.transitions) longest = std::max(longest, n.size() & 0xFFFF);
    put32(out, static_cast<std::uint32_t>(p.places.size()));
    put32(out, static_cast<std::uint32_t>(p.transitions.size()));
    put32(out, static_cast<std::uint32_t>(longest));
    for (const auto& n : p.places) out += n + '\0';
    out += '\0';
    for (const auto& n : p.transitions) out += n + '\0';
    out += '\0';
    return out;
}

std::string unf_text(const FixturePrefix& p, const std::string& file_name,
                     const std::string& net_file) {
    const std::string stars(45, '*');
    const std::size_t nb = p.conds.size(), ne = p.event_trans.size();
    std::string o;
    o += stars + "\n" + printf_string("* FILE: %-36s*\n", file_name.c_str()) + stars + "\n";
    o += printf_string("\nUnfolding of the net described in file '%s'.\n", net_file.c_str());
    o += "=========\n\n";
    o += printf_string("%zu condition%s.\n", nb, plural(nb));
    o += printf_string("%zu event%s.\n", ne, plural(ne));
    o += printf_string("%u component%s.\n\n", 1u, plural(1));

    int name_w = 5, label_w = 8;
    for (std::size_t e = 1; e <= ne; ++e) name_w = std::max<int>(name_w, ev(e).size() + 1);
    for (std::uint32_t t : p.event_trans)
        label_w = std::max<int>(label_w, p.transitions[t - 1].size() + 1);
    o += "Names and labellings of events:\n";
    o += printf_string("numname  %-*s %-*s label (multiset or variable)\n", name_w, "name", label_w,
                       "tr_name");
    for (std::size_t e = 1; e <= ne; ++e)
        o += printf_string("%7zu. %-*s %-*s {}\n", e, name_w, ev(e).c_str(), label_w,
                           p.transitions[p.event_trans[e - 1] - 1].c_str());

    name_w = 5;
    label_w = 8;
    for (std::size_t c = 1; c <= nb; ++c)
        name_w = std::max<int>(name_w, ("B" + std::to_string(c)).size() + 1);
    for (const auto& c : p.conds) label_w = std::max<int>(label_w, p.places[c.place - 1].size() + 1);
    o += "\nList of conditions and edges:\n";
    o += printf_string("preset     numname  label<comp>%-*s %-*s      postset\n", name_w, "name",
                       label_w, "pl_name");
    for (std::size_t k = 1; k <= nb; ++k) {
        const auto& c = p.conds[k - 1];
        o += c.pre ? printf_string("%7u -->", c.pre) : std::string(11, ' ');
        int kind = c.pre == 0 ? 1 : c.kind;
        char letter = kind >= 0 && kind <= 4 ? "0exid"[kind] : '-';
        o += printf_string(" %7zu. (%c)", k, letter);
        o += printf_string(" <%2u>  ", 0u);
        o += printf_string("%-*s ", name_w, ("B" + std::to_string(k)).c_str());
        o += printf_string("%-*s ", label_w, p.places[c.place - 1].c_str());
        for (std::size_t i = 0; i < c.post.size(); ++i)
            o += printf_string(i == 0 ? " --> %u" : ",%u", c.post[i]);
        o += "\n";
    }

    o += printf_string("\n%zu cutoff event%s", p.cutoffs.size(), plural(p.cutoffs.size()));
    o += " (corresponding event):\n";
    std::size_t count = 0;
    for (std::size_t i = 0; i < p.cutoffs.size(); ++i) {
        std::string name = ev(p.cutoffs[i].first);
        std::string corr = p.cutoffs[i].second ? ev(p.cutoffs[i].second) : "start marking";
        if (i == 0) {
            count = name.size() + corr.size() + 2;
        } else {
            o += ",";
            count += name.size() + 1;
            if (count > 75) {
                o += "\n  ";
                count = 0;
            }
        }
        o += name;
        if (i > 0) {
            count += corr.size() + 2;
            if (count > 75) {
                o += "\n  ";
                count = 0;
            }
        }
        o += "(" + corr + ")";
    }
    o += ".\n\n";

    o += printf_string("%zu maximal configuration%s:\n", p.configs.size(), plural(p.configs.size()));
    for (const auto& conf : p.configs) {
        for (std::size_t i = 0; i < conf.size(); ++i) {
            std::string name = ev(conf[i]);
            if (i == 0) {
                count = name.size();
            } else {
                o += ",";
                count += name.size() + 1;
                if (count > 75) {
                    o += "\n  ";
                    count = 0;
                }
            }
            o += name;
        }
        o += ".\n";
    }
    o += "\n";
    o += "\n" + stars + "\n" + printf_string("* END OF FILE %-30s*\n", file_name.c_str()) + stars +
         "\n\n";
    return o;
}

// ---------------------------------------------------------------------------
namespace {

struct RefEvent {
    int t;
    std::vector<int> pre, post;
    std::vector<int> local;   // sorted event indices, itself included
    bool cutoff = false;
};

struct RefCond {
    int place;
    int pre;   // -1 for an initial condition
    std::vector<int> cons;
};

class RefUnfolder {
public:
    explicit RefUnfolder(const testsupport::TestNet& net) : net_(net) {}

    bool run(std::size_t max_events) {
        for (int p = 0; p < net_.places(); ++p)
            if (net_.m0[p] > 0) conds_.push_back({p, -1, {}});
        std::vector<testsupport::Marking> marks;
        for (;;) {
            std::vector<int> best_pre;
            int best_t = -1;
            std::size_t best_size = 0;
            for (int t = 0; t < net_.transitions(); ++t) {
                if (net_.pre[t].empty()) continue;
                std::vector<int> chosen;
                enumerate(t, 0, chosen, [&](const std::vector<int>& pre) {
                    std::vector<int> sorted(pre);
                    std::sort(sorted.begin(), sorted.end());
                    if (made_.count({t, sorted})) return;
                    std::size_t size = local_of(pre).size() + 1;
                    if (best_t < 0 || size < best_size) {
                        best_t = t;
                        best_pre = pre;
                        best_size = size;
                    }
                });
            }
            if (best_t < 0) break;
            if (events_.size() >= max_events) return false;
            std::vector<int> sorted(best_pre);
            std::sort(sorted.begin(), sorted.end());
            made_.insert({best_t, sorted});

            RefEvent e;
            e.t = best_t;
            e.pre = best_pre;
            int id = static_cast<int>(events_.size());
            e.local = local_of(best_pre);
            e.local.push_back(id);
            testsupport::Marking m = net_.m0;
            for (int x : e.local) m = testsupport::fire(net_, m, x == id ? best_t : events_[x].t);
            int corr = -2;
            if (m == net_.m0) corr = -1;
            for (std::size_t x = 0; x < events_.size() && corr == -2; ++x)
                if (marks[x] == m && events_[x].local.size() < e.local.size())
                    corr = static_cast<int>(x);
            e.cutoff = corr != -2;
            for (int c : best_pre) conds_[c].cons.push_back(id);
            events_.push_back(e);
            marks.push_back(m);
            if (e.cutoff) {
                cutoffs_.push_back({id, corr});
            } else {
                add_outputs(id, 0);
            }
        }
        for (auto it = cutoffs_.rbegin(); it != cutoffs_.rend(); ++it) add_outputs(it->first, 3);
        return true;
    }

    FixturePrefix prefix() const {
        FixturePrefix p;
        p.places = net_.place_names;
        p.transitions = net_.trans_names;
        for (const auto& e : events_) p.add_event(static_cast<std::uint32_t>(e.t + 1));
        for (std::size_t c = 0; c < conds_.size(); ++c) {
            std::vector<std::uint32_t> post;
            for (int e : conds_[c].cons) post.push_back(static_cast<std::uint32_t>(e + 1));
            std::sort(post.begin(), post.end());
            auto k = p.add_condition(static_cast<std::uint32_t>(conds_[c].place + 1),
                                     static_cast<std::uint32_t>(conds_[c].pre + 1), post);
            p.conds[k - 1].kind = kinds_.count(static_cast<int>(c)) ? 3 : 0;
        }
        for (const auto& [e, corr] : cutoffs_)
            p.cutoffs.push_back({static_cast<std::uint32_t>(e + 1), static_cast<std::uint32_t>(corr + 1)});
        // One maximal configuration: events taken in ascending order while enabled.
        std::vector<char> in_cut(conds_.size(), 0);
        for (std::size_t c = 0; c < conds_.size(); ++c) in_cut[c] = conds_[c].pre < 0;
        std::vector<std::uint32_t> conf;
        for (std::size_t e = 0; e < events_.size(); ++e) {
            bool ok = true;
            for (int c : events_[e].pre) ok = ok && in_cut[c];
            if (!ok) continue;
            for (int c : events_[e].pre) in_cut[c] = 0;
            for (int c : events_[e].post) in_cut[c] = 1;
            conf.push_back(static_cast<std::uint32_t>(e + 1));
        }
        if (!events_.empty()) p.configs.push_back(conf);
        return p;
    }

private:
    void add_outputs(int id, int kind) {
        for (int p : net_.post[events_[id].t]) {
            int c = static_cast<int>(conds_.size());
            conds_.push_back({p, id, {}});
            events_[id].post.push_back(c);
            if (kind == 3) kinds_.insert(c);
        }
    }

    std::vector<int> local_of(const std::vector<int>& pre) const {
        std::set<int> u;
        for (int c : pre)
            if (conds_[c].pre >= 0)
                u.insert(events_[conds_[c].pre].local.begin(), events_[conds_[c].pre].local.end());
        return {u.begin(), u.end()};
    }

    // Conditions in the preset of an event of `events` (a set of events).
    bool conflict_free(const std::vector<int>& events) const {
        std::set<int> used;
        for (int e : events)
            for (int c : events_[e].pre)
                if (!used.insert(c).second) return false;
        return true;
    }

    bool co(int a, int b) const {
        std::vector<int> u = local_of({a, b});
        if (!conflict_free(u)) return false;
        for (int e : u)
            for (int c : events_[e].pre)
                if (c == a || c == b) return false;
        return true;
    }

    template <class F>
    void enumerate(int t, std::size_t k, std::vector<int>& chosen, F&& f) {
        if (k == net_.pre[t].size()) {
            f(chosen);
            return;
        }
        int place = net_.pre[t][k];
        for (std::size_t c = 0; c < conds_.size(); ++c) {
            if (conds_[c].place != place) continue;
            if (conds_[c].pre >= 0 && events_[conds_[c].pre].cutoff) continue;
            bool ok = true;
            for (int d : chosen) ok = ok && co(d, static_cast<int>(c));
            if (!ok) continue;
            chosen.push_back(static_cast<int>(c));
            enumerate(t, k + 1, chosen, f);
            chosen.pop_back();
        }
    }

    const testsupport::TestNet& net_;
    std::vector<RefEvent> events_;
    std::vector<RefCond> conds_;
    std::vector<std::pair<int, int>> cutoffs_;
    std::set<std::pair<int, std::vector<int>>> made_;
    std::set<int> kinds_;
};

}  // namespace

FixturePrefix reference_unfold(const testsupport::TestNet& net, std::size_t max_events,
                               bool& complete) {
    RefUnfolder u(net);
    complete = u.run(max_events);
    return u.prefix();
}

}  // namespace dlbacktrack_test
