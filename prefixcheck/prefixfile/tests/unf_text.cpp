#include "unf_text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace prefixfile_test {

namespace {

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

std::string unf_text(const testsupport::Prefix& p, const std::string& file_name,
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

}  // namespace prefixfile_test
