#include "prefix_check.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <sstream>

namespace unftest {

using trelmik::InputNet;
using trelmik::Prefix;

InputNet to_input(const testsupport::TestNet& net) {
    InputNet in;
    in.place_names = netlib::NameTable(net.place_names);
    in.trans_names = netlib::NameTable(net.trans_names);
    in.marking = net.m0;
    in.place_kind.assign(net.places(), 0);
    in.place_comp.assign(net.places(), 0);
    for (int t = 0; t < net.transitions(); ++t) {
        std::vector<std::uint32_t> pre(net.pre[t].begin(), net.pre[t].end());
        std::vector<std::uint32_t> post(net.post[t].begin(), net.post[t].end());
        in.pt_arcs += pre.size();
        in.tp_arcs += post.size();
        in.pre.push_back(pre);
        in.post.push_back(post);
    }
    in.derive_place_post();
    return in;
}

namespace {

std::vector<std::uint32_t> pre_conds(const Prefix& pf, std::uint32_t e) {
    return std::vector<std::uint32_t>(pf.ev_pre_conds.begin() + pf.ev_pre_begin[e - 1],
                                      pf.ev_pre_conds.begin() + pf.ev_pre_begin[e]);
}

// Events of [e], e included.
std::set<std::uint32_t> local_config(const Prefix& pf, std::uint32_t e) {
    std::set<std::uint32_t> seen{e};
    std::vector<std::uint32_t> stack{e};
    while (!stack.empty()) {
        std::uint32_t f = stack.back();
        stack.pop_back();
        for (std::uint32_t c : pre_conds(pf, f)) {
            std::uint32_t g = pf.cond_pre[c - 1];
            if (g && seen.insert(g).second) stack.push_back(g);
        }
    }
    return seen;
}

std::vector<int> marking_of(const testsupport::TestNet& net, const Prefix& pf, const std::set<std::uint32_t>& config) {
    testsupport::Marking m = net.m0;
    for (std::uint32_t f : config) {
        for (int p : net.pre[pf.ev_trans[f - 1]]) m[p] -= 1;
        for (int p : net.post[pf.ev_trans[f - 1]]) m[p] += 1;
    }
    return m;
}

}  // namespace

std::string check_prefix(const testsupport::TestNet& net, const Prefix& pf, bool behind_cutoffs,
                         bool strict_sizes) {
    std::ostringstream err;
    const std::uint32_t B = pf.conditions(), E = pf.events();
    // Initial conditions: one per marked place, ascending, numbered first.
    std::vector<int> marked;
    for (int p = 0; p < net.places(); ++p)
        if (net.m0[p]) marked.push_back(p);
    if (pf.initial_conditions != marked.size()) return "wrong number of initial conditions";
    for (std::uint32_t c = 1; c <= pf.initial_conditions; ++c)
        if (pf.cond_pre[c - 1] != 0 || static_cast<int>(pf.cond_place[c - 1]) != marked[c - 1])
            return "initial condition " + std::to_string(c) + " wrong";
    for (std::uint32_t c = pf.initial_conditions + 1; c <= B; ++c)
        if (pf.cond_pre[c - 1] == 0) return "condition without pre-event after the initial ones";

    // Labels and flow.
    for (std::uint32_t e = 1; e <= E; ++e) {
        const int t = static_cast<int>(pf.ev_trans[e - 1]);
        std::vector<int> pre, post;
        for (std::uint32_t c : pre_conds(pf, e)) {
            pre.push_back(static_cast<int>(pf.cond_place[c - 1]));
            bool listed = false;
            pf.for_each_consumer(c, [&](std::uint32_t f) { listed |= f == e; });
            if (!listed) return "E" + std::to_string(e) + " missing in its input's postset";
        }
        const std::uint32_t first = pf.ev_post_first[e - 1];
        for (std::uint32_t c = first; c < first + pf.ev_post_count[e - 1]; ++c) {
            post.push_back(static_cast<int>(pf.cond_place[c - 1]));
            if (pf.cond_pre[c - 1] != e) return "output condition with another pre-event";
        }
        std::vector<int> want_pre = net.pre[t], want_post = net.post[t];
        std::sort(pre.begin(), pre.end());
        std::sort(want_pre.begin(), want_pre.end());
        std::sort(post.begin(), post.end());
        std::sort(want_post.begin(), want_post.end());
        if (pre != want_pre) return "E" + std::to_string(e) + ": preset labels differ from its transition";
        const bool expect_post = !pf.is_cutoff[e - 1] || behind_cutoffs;
        if (expect_post ? post != want_post : !post.empty())
            return "E" + std::to_string(e) + ": postset labels differ from its transition";
        // [e] is a configuration: no condition consumed twice within it.
        std::set<std::uint32_t> cfg = local_config(pf, e);
        std::map<std::uint32_t, int> consumed;
        for (std::uint32_t f : cfg)
            for (std::uint32_t c : pre_conds(pf, f))
                if (++consumed[c] > 1) return "E" + std::to_string(e) + ": conflict or dependency in its history";
        if (pf.ev_size[e - 1] != cfg.size()) return "E" + std::to_string(e) + ": wrong |[e]|";
    }
    for (std::uint32_t c = 1; c <= B; ++c) {
        std::uint32_t last = 0;
        bool ordered = true;
        pf.for_each_consumer(c, [&](std::uint32_t f) {
            ordered &= f > last;
            last = f;
        });
        if (!ordered) return "postset of B" + std::to_string(c) + " not ascending";
    }

    // Cut-offs.
    std::set<std::uint32_t> cut_events;
    for (const auto& [e, corr] : pf.cutoffs) {
        if (!pf.is_cutoff[e - 1] || !cut_events.insert(e).second) return "cut-off list inconsistent";
        const auto cfg = local_config(pf, e);
        std::vector<int> m = marking_of(net, pf, cfg);
        std::vector<int> mc = net.m0;
        std::size_t csize = 0;
        if (corr) {
            if (pf.is_cutoff[corr - 1] && strict_sizes) return "corresponding event is a cut-off";
            const auto ccfg = local_config(pf, corr);
            mc = marking_of(net, pf, ccfg);
            csize = ccfg.size();
        }
        if (m != mc) return "E" + std::to_string(e) + ": marking differs from its corresponding event's";
        if (strict_sizes && csize >= cfg.size()) return "E" + std::to_string(e) + ": corresponding configuration not smaller";
    }
    for (std::uint32_t e = 1; e <= E; ++e)
        if (pf.is_cutoff[e - 1] && !cut_events.count(e)) return "cut-off not listed";

    // Markings of the configurations without cut-offs.
    const testsupport::StateSpace ss = testsupport::explore(net);
    std::set<std::vector<int>> reachable(ss.states.begin(), ss.states.end());
    std::set<std::vector<int>> found;
    std::set<std::vector<std::uint32_t>> seen;
    std::deque<std::vector<std::uint32_t>> todo;
    std::vector<std::uint32_t> start;
    for (std::uint32_t c = 1; c <= pf.initial_conditions; ++c) start.push_back(c);
    seen.insert(start);
    todo.push_back(start);
    while (!todo.empty()) {
        std::vector<std::uint32_t> cut = todo.front();
        todo.pop_front();
        std::vector<int> m(net.places(), 0);
        for (std::uint32_t c : cut) m[pf.cond_place[c - 1]] += 1;
        if (!reachable.count(m)) return "a configuration's marking is not reachable";
        found.insert(m);
        std::set<std::uint32_t> in_cut(cut.begin(), cut.end());
        std::set<std::uint32_t> tried;
        for (std::uint32_t c : cut) {
            pf.for_each_consumer(c, [&](std::uint32_t f) {
                if (pf.is_cutoff[f - 1] || !tried.insert(f).second) return;
                for (std::uint32_t x : pre_conds(pf, f))
                    if (!in_cut.count(x)) return;
                std::set<std::uint32_t> next = in_cut;
                for (std::uint32_t x : pre_conds(pf, f)) next.erase(x);
                const std::uint32_t first = pf.ev_post_first[f - 1];
                for (std::uint32_t x = first; x < first + pf.ev_post_count[f - 1]; ++x) next.insert(x);
                std::vector<std::uint32_t> v(next.begin(), next.end());
                if (seen.insert(v).second) todo.push_back(v);
            });
        }
        if (seen.size() > 400000) return "too many configurations to check";
    }
    if (found != reachable) return "markings of the prefix differ from the reachable markings";
    return err.str();
}

// ---------------------------------------------------------------- reference

namespace {

struct Ref {
    const InputNet& net;
    bool behind, last, repeat;
    RefPrefix r;
    std::vector<std::vector<int>> place_conds;
    std::vector<std::pair<int, int>> queue;  // (event, size) ascending by size, FIFO among equals
    struct CutRec { std::vector<int> cut; int size; int event; };
    std::vector<CutRec> table;
    std::vector<bool> W;  // working bits, index = condition number
    std::vector<int> ev_size;

    Ref(const InputNet& n, bool b, bool l, bool rp) : net(n), behind(b), last(l), repeat(rp) {}

    int new_condition(int place, int pre) {
        r.cond_place.push_back(place);
        r.cond_pre.push_back(pre);
        r.cond_post.emplace_back();
        r.rows.emplace_back();
        r.has_row.push_back(false);
        int b = static_cast<int>(r.cond_place.size());
        if (static_cast<int>(W.size()) <= b) W.resize(b + 1, false);
        return b;
    }

    std::set<int> config(int e) {
        std::set<int> s{e};
        std::vector<int> st{e};
        while (!st.empty()) {
            int f = st.back();
            st.pop_back();
            for (int c : r.ev_pre[f - 1]) {
                int g = r.cond_pre[c - 1];
                if (g && s.insert(g).second) st.push_back(g);
            }
        }
        return s;
    }

    void new_event(int t, const std::vector<int>& conds) {
        r.ev_trans.push_back(t);
        r.ev_pre.push_back(conds);
        int e = static_cast<int>(r.ev_trans.size());
        for (int c : conds) r.cond_post[c - 1].push_back(e);
        int size = static_cast<int>(config(e).size());
        ev_size.push_back(size);
        auto it = queue.end();
        while (it != queue.begin() && std::prev(it)->second > size) --it;
        queue.insert(it, {e, size});
    }

    bool not_co(int x, int y) {
        int a = x, b = y;
        if (a < b) return r.rows[b - 1][a];
        return r.rows[a - 1][b];
    }

    void find_ext(int c) {
        int p = r.cond_place[c - 1];
        for (std::uint32_t tu : net.place_post[p]) {
            int t = static_cast<int>(tu);
            const auto& pre = net.pre[t];
            if (pre.size() == 1) {
                new_event(t, {c});
            } else if (pre.size() == 2) {
                int q = static_cast<int>(pre[0]) == p ? pre[1] : pre[0];
                std::vector<int> ds = place_conds[q];
                for (auto it = ds.rbegin(); it != ds.rend(); ++it)
                    if (!W[*it]) new_event(t, {c, *it});
            } else {
                std::vector<std::vector<int>> sets;
                bool none = false;
                for (auto q : pre) {
                    if (static_cast<int>(q) == p) continue;
                    std::vector<int> s;
                    for (int d : place_conds[q])
                        if (!W[d]) s.push_back(d);
                    if (s.empty()) none = true;
                    sets.push_back(s);
                }
                if (none) continue;
                // Odometer over the combinations, first set outermost.
                std::vector<int> chosen{c};
                std::vector<std::size_t> idx;
                std::function<void(std::size_t)> rec = [&](std::size_t k) {
                    if (k == sets.size()) {
                        new_event(t, chosen);
                        return;
                    }
                    for (int x : sets[k]) {
                        bool ok = true;
                        for (std::size_t j = 0; j < chosen.size() && ok; ++j) ok = !not_co(x, chosen[j]);
                        if (!ok) continue;
                        chosen.push_back(x);
                        rec(k + 1);
                        chosen.pop_back();
                    }
                };
                rec(0);
            }
        }
    }

    std::vector<int> cut_of(int e) {
        std::set<int> cfg = config(e);
        std::set<int> produced, consumed;
        for (int c = 1; c <= static_cast<int>(r.cond_place.size()); ++c)
            if (r.cond_pre[c - 1] == 0) produced.insert(c);
        for (int f : cfg) {
            for (int c : r.ev_pre[f - 1]) consumed.insert(c);
            if (f == e) continue;
            for (int c = 1; c <= static_cast<int>(r.cond_place.size()); ++c)
                if (r.cond_pre[c - 1] == f) produced.insert(c);
        }
        std::set<int> places;
        for (int c : produced)
            if (!consumed.count(c)) places.insert(r.cond_place[c - 1]);
        for (auto p : net.post[r.ev_trans[e - 1]]) places.insert(static_cast<int>(p));
        return std::vector<int>(places.begin(), places.end());
    }

    void run() {
        place_conds.assign(net.places(), {});
        std::vector<int> m0;
        for (std::uint32_t p = 0; p < net.places(); ++p)
            if (net.marking[p]) m0.push_back(static_cast<int>(p));
        table.push_back({m0, 0, 0});
        for (int p : m0) {
            int c = new_condition(p, 0);
            r.rows[c - 1].assign(1, false);
            r.rows[c - 1].resize(c + 1, false);
            r.has_row[c - 1] = true;
            place_conds[p].push_back(c);
            find_ext(c);
        }
        // Initial rows are all zero: extend them lazily.
        while (!queue.empty()) {
            auto [e, size] = queue.front();
            queue.erase(queue.begin());
            std::vector<int> cut = cut_of(e);
            bool cutoff = false;
            int corr = 0;
            bool found = false;
            for (auto& rec : table) {
                if (rec.cut != cut) continue;
                found = true;
                if (repeat) {
                    cutoff = true;
                    corr = rec.event;
                    rec.event = e;
                } else if (rec.size < size) {
                    cutoff = true;
                    corr = rec.event;
                } else {
                    rec.size = size;
                    if (last) rec.event = e;
                }
                break;
            }
            if (!found) table.push_back({cut, size, e});
            if (cutoff) {
                r.cutoffs.push_back({e, corr});
                continue;
            }
            int t = r.ev_trans[e - 1];
            if (net.post[t].empty()) continue;
            // Conflict marking.
            std::fill(W.begin(), W.end(), false);
            std::set<int> cfg = config(e);
            std::vector<int> consumed_list;
            for (int f : cfg)
                for (int c : r.ev_pre[f - 1]) {
                    W[c] = true;
                    consumed_list.push_back(c);
                }
            std::set<int> stamped;
            for (int c : consumed_list)
                if (r.cond_pre[c - 1]) stamped.insert(r.cond_pre[c - 1]);
            std::vector<int> walk = consumed_list;
            while (!walk.empty()) {
                int c = walk.back();
                walk.pop_back();
                for (int f : r.cond_post[c - 1]) {
                    if (stamped.count(f)) continue;
                    stamped.insert(f);
                    for (int x = 1; x <= static_cast<int>(r.cond_place.size()); ++x)
                        if (r.cond_pre[x - 1] == f && !W[x]) {
                            W[x] = true;
                            walk.push_back(x);
                        }
                }
            }
            for (auto pu : net.post[t]) {
                int p = static_cast<int>(pu);
                int b = new_condition(p, e);
                r.rows[b - 1] = W;
                r.has_row[b - 1] = true;
                place_conds[p].push_back(b);
                find_ext(b);
            }
        }
        if (behind) {
            for (auto it = r.cutoffs.rbegin(); it != r.cutoffs.rend(); ++it)
                for (auto p : net.post[r.ev_trans[it->first - 1]]) new_condition(static_cast<int>(p), it->first);
        }
    }
};

}  // namespace

RefPrefix reference_mcmillan(const InputNet& net, bool behind_cutoffs, bool last, bool repeat) {
    Ref ref(net, behind_cutoffs, last, repeat);
    // Rows of initial conditions are all zero; make every row long enough for lookups.
    ref.run();
    std::size_t n = ref.r.cond_place.size() + 1;
    for (auto& row : ref.r.rows) row.resize(n, false);
    return ref.r;
}

std::string compare_with_reference(const Prefix& pf, const RefPrefix& ref) {
    if (pf.conditions() != ref.cond_place.size()) return "condition counts differ";
    if (pf.events() != ref.ev_trans.size()) return "event counts differ";
    for (std::uint32_t e = 1; e <= pf.events(); ++e) {
        if (static_cast<int>(pf.ev_trans[e - 1]) != ref.ev_trans[e - 1]) return "label of E" + std::to_string(e);
        std::vector<int> pre;
        for (std::uint32_t c : pre_conds(pf, e)) pre.push_back(static_cast<int>(c));
        if (pre != ref.ev_pre[e - 1]) return "preset of E" + std::to_string(e);
    }
    for (std::uint32_t c = 1; c <= pf.conditions(); ++c) {
        if (static_cast<int>(pf.cond_place[c - 1]) != ref.cond_place[c - 1] ||
            static_cast<int>(pf.cond_pre[c - 1]) != ref.cond_pre[c - 1])
            return "condition B" + std::to_string(c);
        std::vector<int> post;
        pf.for_each_consumer(c, [&](std::uint32_t f) { post.push_back(static_cast<int>(f)); });
        if (post != ref.cond_post[c - 1]) return "postset of B" + std::to_string(c);
        if (static_cast<bool>(pf.cond_has_row[c - 1]) != ref.has_row[c - 1]) return "row of B" + std::to_string(c);
        if (!pf.cond_has_row[c - 1]) continue;
        for (std::uint32_t j = 1; j < c; ++j)
            if (pf.co[c - 1].contains(j) == ref.rows[c - 1][j])
                return "co relation of B" + std::to_string(c) + " and B" + std::to_string(j);
    }
    if (pf.cutoffs.size() != ref.cutoffs.size()) return "cut-off counts differ";
    for (std::size_t k = 0; k < pf.cutoffs.size(); ++k)
        if (static_cast<int>(pf.cutoffs[k].first) != ref.cutoffs[k].first ||
            static_cast<int>(pf.cutoffs[k].second) != ref.cutoffs[k].second)
            return "cut-off pair " + std::to_string(k + 1);
    return "";
}

std::set<std::uint32_t> local_configuration(const trelmik::Prefix& pf, std::uint32_t e) {
    std::set<std::uint32_t> out;
    std::vector<std::uint32_t> stack;
    if (e != 0) stack.push_back(e);
    while (!stack.empty()) {
        const std::uint32_t f = stack.back();
        stack.pop_back();
        if (!out.insert(f).second) continue;
        for (std::uint32_t i = pf.ev_pre_begin[f - 1]; i < pf.ev_pre_begin[f]; ++i)
            if (pf.cond_pre[pf.ev_pre_conds[i] - 1]) stack.push_back(pf.cond_pre[pf.ev_pre_conds[i] - 1]);
    }
    return out;
}

bool brute_concurrent(const trelmik::Prefix& pf, std::uint32_t a, std::uint32_t b,
                      const std::vector<std::set<std::uint32_t>>* configs) {
    auto past = [&](std::uint32_t c) {
        const std::uint32_t e = pf.cond_pre[c - 1];
        return configs ? (*configs)[e] : local_configuration(pf, e);
    };
    std::set<std::uint32_t> u = past(a);
    const std::set<std::uint32_t> pb = past(b);
    u.insert(pb.begin(), pb.end());
    std::set<std::uint32_t> consumed;
    for (std::uint32_t e : u)
        for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i)
            if (!consumed.insert(pf.ev_pre_conds[i]).second) return false;
    return !consumed.count(a) && !consumed.count(b);
}

}  // namespace unftest
