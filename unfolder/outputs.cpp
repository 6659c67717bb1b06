// Further writers of the prefix: the prefix as a VOS net, a Matlab function, a
// pstricks drawing and its incidence matrix.
#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "outputs.h"

namespace trelmik {

namespace {

std::string ename(std::uint32_t e) { return "E" + std::to_string(e); }
std::string cname(std::uint32_t c) { return "B" + std::to_string(c); }

// Position of every event within its depth and of every condition within its
// layer (the depth of its pre-event, 0 for an initial condition), from 1.
struct Layers {
    std::vector<std::uint32_t> ev_pos, cond_pos, cond_layer;
    std::uint32_t max_depth = 0;
};

Layers layers_of(const Prefix& pf) {
    Layers l;
    const std::uint32_t E = pf.events(), B = pf.conditions();
    for (std::uint32_t e = 0; e < E; ++e) l.max_depth = std::max(l.max_depth, pf.ev_depth[e]);
    std::vector<std::uint32_t> ev_count(l.max_depth + 1), cond_count(l.max_depth + 1);
    l.ev_pos.resize(E);
    for (std::uint32_t e = 0; e < E; ++e) l.ev_pos[e] = ++ev_count[pf.ev_depth[e]];
    l.cond_pos.resize(B);
    l.cond_layer.resize(B);
    for (std::uint32_t c = 0; c < B; ++c) {
        const std::uint32_t pre = pf.cond_pre[c];
        const std::uint32_t a = pre == 0 ? 0 : pf.ev_depth[pre - 1];
        l.cond_layer[c] = a;
        l.cond_pos[c] = ++cond_count[a];
    }
    return l;
}

// The number in a name after its first character ("P12" gives 12).  A name
// without such a number gives `fallback` (the node's own number): a 0 would
// end the matrix early for every reader of the script.
// The numbers of the names, each read in decimal after its first character,
// when every name gives one and no two give the same; else the list
// numbers 1, 2, ... (a number must name one node).
std::vector<unsigned long> name_numbers(const netlib::NameTable& names) {
    std::vector<unsigned long> out;
    for (std::string_view s : names) {
        unsigned long v = 0;
        std::size_t i = 1;
        for (; i < s.size() && s[i] >= '0' && s[i] <= '9' && v <= 0xffffffffUL; ++i)
            v = v * 10 + static_cast<unsigned>(s[i] - '0');
        if (i == 1 || v == 0 || v > 0xffffffffUL) break;
        out.push_back(v);
    }
    std::vector<unsigned long> sorted = out;
    std::sort(sorted.begin(), sorted.end());
    if (out.size() != names.size() || std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
        out.resize(names.size());
        for (std::size_t k = 0; k < names.size(); ++k) out[k] = k + 1;
    }
    return out;
}

}  // namespace

void write_unf_net(const std::string& name, const InputNet& net, const Prefix& pf, bool layered) {
    const std::string path = complete_name(name, ".unf_net");
    OutFile f(path);
    f.puts("VOS\nPetriBox\nFORMAT_N\nDPL s7n10@-9t2\nDTR s7n10@-9t2\nDPT w1t1\nPL\n");
    Layers l;
    if (layered) l = layers_of(pf);
    TextOut t(f);
    for (std::uint32_t c = 1; c <= pf.conditions(); ++c) {
        std::uint32_t x = 20, y = 20;
        if (layered) {
            x = 40 * l.cond_pos[c - 1];
            y = 80 * l.cond_layer[c - 1] + 40;
        }
        t.put('"').name('B', c).put('"').number(x).put('@').number(y);
        const std::int32_t kind = pf.cond_kind[c - 1];
        if (kind == 1) t.put('e');
        else if (kind == 2) t.put('x');
        if (pf.cond_pre[c - 1] == 0) t.put("M1m1");
        t.put("b\"").put(net.place_names[pf.cond_place[c - 1]]).put("\"\n");
    }
    t.put("TR\n");
    for (std::uint32_t e = 1; e <= pf.events(); ++e) {
        std::uint32_t x = 60, y = 20;
        if (layered) {
            x = 40 * l.ev_pos[e - 1];
            y = 80 * pf.ev_depth[e - 1];
        }
        t.put(pf.is_cutoff[e - 1] ? "\"CUT_" : "\"").name('E', e).put('"');
        t.number(x).put('@').number(y).put("b\"").put(net.trans_names[pf.ev_trans[e - 1]]).put("\"\n");
    }
    t.put("TP\n");
    for (std::uint32_t e = 1; e <= pf.events(); ++e) {
        const std::uint32_t first = pf.ev_post_first[e - 1];
        for (std::uint32_t c = first; c < first + pf.ev_post_count[e - 1]; ++c)
            t.number(e).put('<').number(c).put('\n');
    }
    t.put("PT\n");
    for (std::uint32_t c = 1; c <= pf.conditions(); ++c)
        pf.for_each_consumer(c, [&](std::uint32_t e) { t.number(c).put('>').number(e).put('\n'); });
    t.put("TX\n\n");
    t.flush();
    f.close();
}

void write_matlab(const std::string& name, const std::string& net_file, const InputNet& net,
                  const Prefix& pf, const Configurations& configs, const std::string& algorithm) {
    const std::string path = complete_name(name, ".m");
    const std::string function = path.substr(0, path.size() - 2);
    OutFile f(path);
    const std::uint32_t B = pf.conditions(), E = pf.events();
    f.printf("function [ausgabe]=%s(flag);\n\n", function.c_str());
    f.printf("%% Dieses Netz beschreibt die Entfaltung des Netzes\n%% %s", net_file.c_str());
    f.puts("\n% mittels des Entfaltungsalgorithmus von\n");
    if (algorithm == "ERV")
        f.puts("% Esparza, Roemer und Vogler (ERV, total adaequate Ordnung)\n");
    else if (algorithm == "ERV SPTS")
        f.puts("% Esparza, Roemer und Vogler, komponentenweise (ERV SPTS, Silex-Ordnung)\n");
    else
        f.printf("%% %s\n", algorithm.c_str());
    f.printf("%% (%s vers. %s [%s])\n%%\n%% ", "trelmik", "4.5.1", "22.06.1999");
    f.puts("R\xfc" "ckgabewerte gem\xe4\xdf flag:\n");
    f.puts("% flag==1 => Fp (Ereignis -> Bedingung)\n");
    f.puts("% flag==2 => Fm (Bedingung -> Ereignis)\n");
    f.puts("% flag==3 => M0 (Anfangsmarkierung)\n");
    f.puts("% flag==4 => Placefunction (Stelle je Bedingung)\n");
    f.puts("% flag==5 => Transitionfunction (Transition je Ereignis)\n");
    f.puts("% flag==6 => Cut_off (Abschneideereignisse)\n");
    f.puts("% flag==7 => Gl (maximale Konfigurationen)\n");
    char when[64] = "";
    const std::time_t now = std::time(nullptr);
    std::tm tmv{};
    if (localtime_r(&now, &tmv) != nullptr) std::strftime(when, sizeof when, "%a %d.%m.%Y, %T", &tmv);
    f.printf("%%\n%% erzeugt am: %s", when);
    f.puts("\n% Rechenzeit: sec\n%\n\n");

    TextOut t(f);
    // A row "a b c" of a sparse matrix.
    auto row = [&t](std::uint64_t a, std::uint64_t b, std::uint64_t c) {
        t.number(a).put(' ').number(b).put(' ').number(c).put('\n');
    };
    t.put("Fp=[\n");
    for (std::uint32_t c = 1; c <= B; ++c)
        if (pf.cond_pre[c - 1] != 0) row(c, pf.cond_pre[c - 1], 1);
    row(B, E, 0);
    t.put("];\n\nFm=[\n");
    for (std::uint32_t c = 1; c <= B; ++c) pf.for_each_consumer(c, [&](std::uint32_t e) { row(c, e, 1); });
    row(B, E, 0);
    t.put("];\n\nM0=[\n");
    for (std::uint32_t c = 1; c <= B; ++c)
        if (pf.cond_pre[c - 1] == 0) row(c, 1, 1);
    row(B, 1, 0);
    t.put("];\n\nPlacefunction=[\n");
    const std::vector<unsigned long> place_number = name_numbers(net.place_names);
    for (std::uint32_t c = 1; c <= B; ++c) row(c, 1, place_number[pf.cond_place[c - 1]]);
    row(B, 1, 0);
    t.put("];\n\nTransitionfunction=[\n");
    const std::vector<unsigned long> trans_number = name_numbers(net.trans_names);
    for (std::uint32_t e = 1; e <= E; ++e) row(e, 1, trans_number[pf.ev_trans[e - 1]]);
    row(E, 1, 0);
    t.put("];\n\nCut_off=[\n");
    for (const auto& co : pf.cutoffs) row(co.first, 1, 1);
    row(E, 1, 0);
    t.put("];\n\nGl=[\n");
    for (std::size_t k = 0; k < configs.sets.size(); ++k)
        for (std::uint32_t e : configs.sets[k]) row(e, k + 1, 1);
    row(E, configs.sets.size(), 0);
    t.put("];\n\n");
    t.flush();
    static const char* const kMatrices[] = {"Fm", "Fp", "M0", "Placefunction", "Transitionfunction",
                                            "Cut_off", "Gl"};
    for (int k = 0; k < 7; ++k)
        f.printf("%s flag==%d\n  ausgabe=spconvert(%s);\n", k == 0 ? "if" : "elseif", k + 1, kMatrices[k]);
    f.puts("end;\n\n\n");
    f.close();
}

void write_pstricks(const std::string& name, const std::string& net_file, const InputNet& net,
                    const Prefix& pf) {
    const std::string path = complete_name(name, ".unf.pst.tex");
    OutFile f(path);
    const Layers l = layers_of(pf);
    const std::uint32_t D = l.max_depth;
    f.printf("%% Unfolding of the net '%s'\n", net_file.c_str());
    f.puts("{\n\\psset{framesize=15pt,radius=8pt,linewidth=1.6pt}\n");
    for (std::uint32_t c = 1; c <= pf.conditions(); ++c) {
        const std::uint32_t x = l.cond_pos[c - 1], y = 2 * (D - l.cond_layer[c - 1]) + 4;
        f.printf("\\Cnode(%u,%u){b%u}", x, y, c);
        if (pf.cond_pre[c - 1] == 0) f.printf(" \\qdisk(%u,%u){2.5pt}", x, y);
        f.printf(" \\uput{10pt}[dr](%u,%u){\\tt %s}", x, y, cname(c).c_str());
        f.printf(" \\uput{12pt}[l](%u,%u){\\tiny\\sl %s}\n", x, y, net.place_names[pf.cond_place[c - 1]].c_str());
    }
    for (std::uint32_t e = 1; e <= pf.events(); ++e) {
        const std::uint32_t x = l.ev_pos[e - 1], y = 2 * (D - pf.ev_depth[e - 1]) + 5;
        f.printf(pf.is_cutoff[e - 1] ? "\\fnode[fillcolor=lightgray](%u,%u){e%u}" : "\\fnode(%u,%u){e%u}", x, y, e);
        f.printf(" \\uput{10pt}[dr](%u,%u){\\tt %s}", x, y, ename(e).c_str());
        f.printf(" \\uput{12pt}[l](%u,%u){\\tiny\\sl %s}\n", x, y, net.trans_names[pf.ev_trans[e - 1]].c_str());
    }
    f.puts("}\n{ \\psset{linewidth=.75pt,arrows=->,nodesepB=1pt}\n");
    for (std::uint32_t e = 1; e <= pf.events(); ++e) {
        const std::uint32_t first = pf.ev_post_first[e - 1];
        for (std::uint32_t c = first; c < first + pf.ev_post_count[e - 1]; ++c) f.printf("\\ncarc{e%u}{b%u}\n", e, c);
    }
    for (std::uint32_t c = 1; c <= pf.conditions(); ++c)
        pf.for_each_consumer(c, [&](std::uint32_t e) { f.printf("\\ncarc{b%u}{e%u}\n", c, e); });
    f.puts("}\n% End of file\n");
    f.close();
}

void write_unf_last(const std::string& name, const std::string& net_file, const InputNet& net,
                    const Prefix& pf, const Configurations& configs) {
    const std::string path = complete_name(name + "Q", ".unf");
    OutFile f(path);
    const std::string stars(45, '*');
    auto plural = [](std::uint64_t n) { return n == 1 ? "" : "s"; };
    f.printf("%s\n* FILE: %-36s*\n%s\n", stars.c_str(), path.c_str(), stars.c_str());
    f.printf("\nUnfolding of the net described in file '%s'.\n", net_file.c_str());
    f.puts("=========\n\n");
    const std::uint32_t B = pf.conditions(), E = pf.events();
    f.printf("%u condition%s.\n", B, plural(B));
    f.printf("%u event%s.\n", E, plural(E));
    f.printf("%u component%s.\n\n", net.components, plural(net.components));

    int namew = 0, labelw = 0;
    for (std::uint32_t e = 1; e <= E; ++e) {
        namew = std::max(namew, static_cast<int>(ename(e).size()));
        labelw = std::max(labelw, static_cast<int>(net.trans_names[pf.ev_trans[e - 1]].size()));
    }
    namew = std::max(namew + 1, 5);
    labelw = std::max(labelw + 1, 8);
    f.puts("Names and labellings of events:\n");
    f.printf("numname  %-*s %-*s label (multiset or variable)\n", namew, "name", labelw, "tr_name");
    for (std::uint32_t e = 1; e <= E; ++e)
        f.printf("%7d. %-*s %-*s {}\n", static_cast<int>(e), namew, ename(e).c_str(), labelw,
                 net.trans_names[pf.ev_trans[e - 1]].c_str());

    namew = 0;
    labelw = 0;
    for (std::uint32_t c = 1; c <= B; ++c) {
        namew = std::max(namew, static_cast<int>(cname(c).size()));
        labelw = std::max(labelw, static_cast<int>(net.place_names[pf.cond_place[c - 1]].size()));
    }
    namew = std::max(namew + 1, 5);
    labelw = std::max(labelw + 1, 8);
    f.puts("\nList of conditions and edges:\n");
    f.printf("preset     numname  label<comp>%-*s %-*s      postset\n", namew, "name", labelw, "pl_name");
    static const char kLetters[] = "0exid";
    for (std::uint32_t c = 1; c <= B; ++c) {
        const std::uint32_t pre = pf.cond_pre[c - 1];
        const std::int32_t kind = pre == 0 ? 1 : pf.cond_kind[c - 1];
        if (pre != 0) f.printf("%7d -->", static_cast<int>(pre));
        else f.puts("           ");
        const std::uint32_t p = pf.cond_place[c - 1];
        f.printf(" %7d. (%c) <%2u>  %-*s %-*s ", static_cast<int>(c), kind >= 0 && kind <= 4 ? kLetters[kind] : '-',
                 net.place_comp[p], namew, cname(c).c_str(), labelw, net.place_names[p].c_str());
        bool first = true;
        pf.for_each_consumer(c, [&](std::uint32_t e) {
            f.printf(first ? " --> %u" : ",%u", e);
            first = false;
        });
        f.puts("\n");
    }

    const std::size_t n = pf.cutoffs.size();
    f.printf("\n%zu cutoff event%s", n, plural(n));
    f.puts(" (last corresponding event):\n");
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint32_t corr = pf.cutoffs[k].second;
        f.printf("%sE%u(%s)", k ? "," : "", pf.cutoffs[k].first, corr ? ename(corr).c_str() : "start marking");
    }
    f.puts(".\n\n");
    const std::size_t nconf = configs.computed ? configs.sets.size() : 0;
    f.printf("%zu maximal configuration%s:\n", nconf, plural(nconf));
    f.puts("\n");
    f.printf("\n%s\n* END OF FILE %-30s*\n%s\n\n", stars.c_str(), path.c_str(), stars.c_str());
    f.close();
}

namespace {

template <class Out>
void prefix_matrix(Out& out, const InputNet& net, const Prefix& pf, const Configurations& configs) {
    const std::uint32_t B = pf.conditions(), E = pf.events();
    int cond_w = 0, place_w = 0, ev_w = 0, trans_w = 0;
    for (std::uint32_t c = 1; c <= B; ++c) {
        cond_w = std::max(cond_w, static_cast<int>(cname(c).size()));
        place_w = std::max(place_w, static_cast<int>(net.place_names[pf.cond_place[c - 1]].size()));
    }
    for (std::uint32_t e = 1; e <= E; ++e) {
        ev_w = std::max(ev_w, static_cast<int>(ename(e).size()));
        trans_w = std::max(trans_w, static_cast<int>(net.trans_names[pf.ev_trans[e - 1]].size()));
    }
    const int col = std::max(ev_w + trans_w + 1, 8);
    out.printf("%u %u\n", B, E);
    out.printf("Inzidenzmatrix:\n%*s", cond_w + 1 + place_w + 2, "");
    for (std::uint32_t e = 1; e <= E; ++e) {
        const std::string n = ename(e);
        out.printf(" %s %-*s", n.c_str(), col - static_cast<int>(n.size()),
                   net.trans_names[pf.ev_trans[e - 1]].c_str());
    }
    out.printf("\n");
    // Per condition: the pre-event and the sorted post-events, merged with
    // the columns in one pass.
    std::vector<std::uint32_t> post;
    for (std::uint32_t c = 1; c <= B; ++c) {
        out.printf("%-*s %-*s |", cond_w, cname(c).c_str(), place_w, net.place_names[pf.cond_place[c - 1]].c_str());
        post.clear();
        pf.for_each_consumer(c, [&](std::uint32_t e) { post.push_back(e); });
        std::sort(post.begin(), post.end());
        std::size_t k = 0;
        const std::uint32_t pre = pf.cond_pre[c - 1];
        for (std::uint32_t e = 1; e <= E; ++e) {
            bool out_arc = false;
            while (k < post.size() && post[k] < e) ++k;
            if (k < post.size() && post[k] == e) out_arc = true;
            out.printf(pre == e ? " (-%u," : " ( %u,", pre == e ? 1u : 0u);
            out.printf("%u)%*s", out_arc ? 1u : 0u, col - 5, "");
        }
        out.printf("\n");
    }
    out.printf("\nCutoff\n");
    for (const auto& co : pf.cutoffs) out.printf("%s;", ename(co.first).c_str());
    out.printf("\n\nMaxBranch\n");
    for (const auto& set : configs.sets) {
        for (std::uint32_t e : set) out.printf("%s;", ename(e).c_str());
        out.printf("\n");
    }
}

// Writes to a stream, remembering a failed write.
struct StreamOut {
    std::FILE* f;
    bool bad = false;
    void printf(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        std::va_list ap;
        va_start(ap, fmt);
        if (std::vfprintf(f, fmt, ap) < 0) bad = true;
        va_end(ap);
    }
};

}  // namespace

void write_entry_file(const std::string& name, const InputNet& net, const Prefix& pf,
                      const Configurations& configs) {
    OutFile f(complete_name(name, ".ent"));
    prefix_matrix(f, net, pf, configs);
    f.close();
}

void print_prefix_matrix(std::FILE* out, const InputNet& net, const Prefix& pf, const Configurations& configs) {
    StreamOut s{out};
    prefix_matrix(s, net, pf, configs);
    if (s.bad || std::fflush(out) != 0 || std::ferror(out)) {
        std::fputs("error: cannot write the incidence matrix on standard output.\n", stderr);
        throw ExitRequest{5};
    }
}

}  // namespace trelmik
