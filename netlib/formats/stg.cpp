// Reader of signal transition graphs in the dot-command text format.
//
// Signal edges ("a+", "b-", "c~", optionally with an instance "a+/2") become
// transitions, all other names places; an arc written between two edges gets
// an implicit place "zzzplace%u" in between.  The reader reports what it reads
// on standard output.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

#include "format_util.h"
#include "formats.h"
#include "net.h"
#include "scanner.h"

namespace netlib {
namespace {

using fmt_detail::format;

// The listing of what is read, on standard output; the cosweep edition
// prints none.
void listing(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
void listing(const char* pattern, ...) {
    if (edition == Edition::Cosweep) return;
    va_list args;
    va_start(args, pattern);
    std::vprintf(pattern, args);
    va_end(args);
}

constexpr std::size_t kCommandLimit = 512;
constexpr std::size_t kNameLimit = 4096;

bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }
bool ends_name(int c) { return c == ',' || c == '=' || c == '>' || c == '}' || c == '#'; }

struct StgNode {
    NET_NODE* node = nullptr;
    bool transition = false;
};

class StgReader {
public:
    StgReader(std::FILE* f, NET* net) : f_(f), net_(net) {}

    void run() {
        bool have_pending = false;
        std::string cmd;
        bool eol = false;
        for (;;) {
            if (have_pending) {
                have_pending = false;
            } else {
                cmd = read_name(kCommandLimit, true, eol);
                if (cmd.empty()) {
                    int c = std::fgetc(f_);
                    if (c == EOF) return;
                    name_line_ = scan.line;
                    cmd = std::string(1, static_cast<char>(c));
                }
            }
            if (cmd[0] != '.')
                name_error(format("read_STG(): command with prefix '.' expected, but '%s' found", cmd.c_str()));
            if (cmd == ".model" || cmd == ".name") {
                if (!eol) read_name(kNameLimit, false, eol);
            } else if (cmd == ".inputs" || cmd == ".outputs" || cmd == ".internal" || cmd == ".dummy") {
                read_signals(eol);
            } else if (cmd == ".graph") {
                if (read_graph(cmd, eol)) have_pending = true;
            } else if (cmd == ".marking") {
                read_marking();
            } else if (cmd == ".capacity") {
                read_capacity();
            } else if (cmd == ".end") {
                return;
            } else {
                name_error(format("read_STG(): unknown keyword '%s'", cmd.c_str()));
            }
        }
    }

private:
    // A syntax error about the name read last, reported at the line it stands in.
    [[noreturn]] void name_error(const std::string& text) {
        scan.line = name_line_;
        syntax_error(text);
    }

    // Reads a name.  With across_lines, line breaks and '#' comments before it
    // are skipped; otherwise a line break before the name gives the empty name
    // with eol set.  eol tells whether the name ended its line (or the file).
    // A name ends at a blank, a line break, ',', '=', '>', '}', '#' or the end
    // of the file; the punctuation is left for the caller.
    std::string read_name(std::size_t limit, bool across_lines, bool& eol) {
        eol = false;
        int c;
        for (;;) {
            c = std::fgetc(f_);
            if (is_blank(c)) continue;
            if (c == '#') {
                while (c != '\n' && c != EOF) c = std::fgetc(f_);
            }
            if (c == '\n') {
                ++scan.line;
                if (across_lines) continue;
                eol = true;
                return {};
            }
            if (c == EOF) {
                eol = true;
                return {};
            }
            break;
        }
        name_line_ = scan.line;
        std::string name;
        while (c != EOF && c != '\n' && !is_blank(c) && !ends_name(c)) {
            if (name.size() >= limit) syntax_error(edition == Edition::Cosweep ? "read_STG(): length of identifier too long"
                                                                     : "read_STG_Name(): length of identifier too long");
            name += static_cast<char>(c);
            c = std::fgetc(f_);
        }
        if (c == '\n') {
            ++scan.line;
            eol = true;
        } else if (c == EOF) {
            eol = true;
        } else if (!is_blank(c)) {
            std::ungetc(c, f_);
        }
        return name;
    }

    // Next character that is not white space or part of a '#' comment.
    int next_token_char() {
        for (;;) {
            int c = std::fgetc(f_);
            if (c == '#') {
                while (c != '\n' && c != EOF) c = std::fgetc(f_);
            }
            if (c == '\n') {
                ++scan.line;
                continue;
            }
            if (is_blank(c)) continue;
            return c;
        }
    }

    // Finds or makes the node of a name: a signal edge is a transition, every
    // other name a place.
    StgNode lookup(const std::string& name) {
        std::string head = name, instance;
        std::size_t slash = name.find('/');
        if (slash != std::string::npos) {
            head = name.substr(0, slash);
            instance = name.substr(slash);
        }
        std::string trans_name;
        if (!head.empty() && (head.back() == '+' || head.back() == '-' || head.back() == '~') &&
            signals_.count(head.substr(0, head.size() - 1))) {
            trans_name = name;
        } else if (signals_.count(head)) {
            if (edition == Edition::Cosweep)
                std::fprintf(stderr, "CP_read_STG(): transition name without trailing +/-/~ found (%s)\n",
                             name.c_str());
            else
                listing("CP_read_STG_Node(): transition name without trailing +/-/~ found (%s)\n",
                            name.c_str());
            trans_name = head + "~" + instance;
        } else {
            listing("place: '%s'\n", name.c_str());
            NET_NODE* p = fmt_detail::lookup_place(net_, name);
            if (!p) p = fast_insert_place(net_, name, 0, place_cursor_);
            return {p, false};
        }
        NET_NODE* t = fmt_detail::lookup_transition(net_, trans_name);
        if (!t) t = fast_insert_transition(net_, trans_name, trans_cursor_);
        return {t, true};
    }

    NET_NODE* lookup_transition_name(const std::string& name) {
        StgNode n = lookup(name);
        if (!n.transition) name_error("CP_read_STG(): transition name expected");
        return n.node;
    }

    void read_signals(bool eol) {
        listing(".dummy/.inputs/.outputs area\n");
        while (!eol) {
            std::string name = read_name(kNameLimit, false, eol);
            if (name.empty()) {
                if (!eol) std::fgetc(f_);   // a separator such as ','
                continue;
            }
            if (!signals_.insert(name).second)
                name_error(format("transition '%s' multiply used", name.c_str()));
            listing("transition '%s'\n", name.c_str());
        }
    }

    // The arcs of a graph section are linked into the arc lists together at
    // its end (nothing reads them before): a list sorted once, not searched
    // for every arc, so long graph lines read in O(A log A).
    void add_arc(NET_NODE* place, NET_NODE* transition, bool place_to_transition) {
        NewArc a;
        a.place = place;
        a.transition = transition;
        a.place_to_transition = place_to_transition;
        arcs_.push_back(std::move(a));
    }
    void link_arcs() {
        insert_arcs(net_, arcs_);
        arcs_.clear();
    }

    // Reads graph lines up to the next command; returns true and leaves the
    // command in cmd (with its eol) when one follows.
    bool read_graph(std::string& cmd, bool& cmd_eol) {
        listing(".graph area\n");
        for (;;) {
            bool eol = false;
            std::string source = read_name(kNameLimit, true, eol);
            if (source.empty()) {
                int c = std::fgetc(f_);
                if (c == EOF) {
                    listing("END-OF-GRAPH\n");
                    link_arcs();
                    return false;
                }
                syntax_error(format("read_STG(): command with prefix '.' expected, but '%c' found", c));
            }
            if (source[0] == '.') {
                listing("END-OF-GRAPH\n");
                link_arcs();
                cmd = source;
                cmd_eol = eol;
                return true;
            }
            int source_line = name_line_;
            StgNode src = lookup(source);
            if (src.transition)
                listing("[T:%s]:", src.node->name.c_str());
            else
                listing("(P)");
            int destinations = 0;
            while (!eol) {
                std::string dname = read_name(kNameLimit, false, eol);
                if (dname.empty()) {
                    if (!eol) std::fgetc(f_);   // a separator such as ','
                    continue;
                }
                ++destinations;
                StgNode dst = lookup(dname);
                if (src.transition) {
                    if (dst.transition) {
                        std::string pname = format("zzzplace%u", ++implicit_places_);
                        NET_NODE* p = fmt_detail::lookup_place(net_, pname);
                        if (!p) p = fast_insert_place(net_, pname, 0, place_cursor_);
                        add_arc(p, src.node, false);
                        add_arc(p, dst.node, true);
                        listing("[T:%s]:(%s)[tp][P][pt]", dst.node->name.c_str(), pname.c_str());
                    } else {
                        add_arc(dst.node, src.node, false);
                        listing("[P][tp]");
                    }
                } else {
                    if (!dst.transition) name_error("CP_read_STG(): transition name expected");
                    add_arc(src.node, dst.node, true);
                    listing("(T)(pt)");
                }
            }
            if (destinations == 0) {
                scan.line = source_line;
                syntax_error("CP_read_STG(): missing destination name");
            }
            listing("\n");
        }
    }

    // The place between t1 and t2: the first place that t1's output arcs
    // reach with exactly one input and one output arc, the output arc going
    // to t2.  Such a place is also an input of t2, so t1's outputs and t2's
    // inputs are walked in step: a pair costs the shorter list, and a
    // transition with many outputs does not make a marking line quadratic.
    static NET_NODE* place_between(NET_NODE* t1, NET_NODE* t2) {
        auto between = [&](NET_NODE* p) {
            return p->preset && !p->preset->p_next && p->preset->transition == t1 && p->postset &&
                   !p->postset->p_next && p->postset->transition == t2;
        };
        NET_ARC* a = t1->postset;
        NET_ARC* b = t2->preset;
        std::vector<NET_NODE*> found;   // the places between them met among t2's inputs
        for (; a && b; a = a->t_next, b = b->t_next) {
            if (between(a->place)) return a->place;
            if (between(b->place)) found.push_back(b->place);
        }
        if (!b) {
            // Every place between them is in `found`; the first in t1's
            // order lies among t1's outputs not walked yet.
            if (found.size() <= 1) return found.empty() ? nullptr : found[0];
            for (; a; a = a->t_next)
                if (std::find(found.begin(), found.end(), a->place) != found.end()) return a->place;
        }
        return nullptr;
    }

    // "<t1,t2>" after the '<': returns the place between them, or none.
    NET_NODE* read_pair(std::string& n1, std::string& n2) {
        bool eol = false;
        NET_NODE* t1 = lookup_transition_name(read_name(kNameLimit, true, eol));
        expect_char(f_, ',');
        NET_NODE* t2 = lookup_transition_name(read_name(kNameLimit, true, eol));
        expect_char(f_, '>');
        n1 = t1->name;
        n2 = t2->name;
        return place_between(t1, t2);
    }

    void read_marking() {
        int c = next_token_char();
        if (c != '{') syntax_error("read_STG(): '{' expected");
        listing("MARKING\n");
        for (;;) {
            c = next_token_char();
            if (c == '}') break;
            if (c == EOF) syntax_error("read_STG(): '}' expected");
            if (c == ',') continue;
            if (c == '<') {
                std::string n1, n2;
                if (NET_NODE* p = read_pair(n1, n2)) {
                    ++p->marking;
                    listing(" <%s,%s>", n1.c_str(), n2.c_str());
                }
                continue;
            }
            std::ungetc(c, f_);
            bool eol = false;
            std::string name = read_name(kNameLimit, true, eol);
            if (name.empty()) syntax_error("CP_read_STG(): place name expected");
            StgNode n = lookup(name);
            if (n.transition) name_error("CP_read_STG(): place name expected");
            ++n.node->marking;
            listing(" %s", name.c_str());
        }
        listing("\n");
    }

    void read_capacity() {
        listing("CAPACITY\n");
        for (;;) {
            int c = next_token_char();
            if (c == EOF) break;
            if (c == '.') {
                std::ungetc(c, f_);
                break;
            }
            if (c == ',') continue;
            if (c == '<') {
                std::string n1, n2;
                if (read_pair(n1, n2)) listing(" <%s,%s>", n1.c_str(), n2.c_str());
            } else {
                std::ungetc(c, f_);
                bool eol = false;
                std::string name = read_name(kNameLimit, true, eol);
                if (name.empty()) syntax_error("CP_read_STG(): place name expected");
                if (lookup(name).transition) name_error("CP_read_STG(): place name expected");
                listing(" %s", name.c_str());
            }
            expect_char(f_, '=');
            read_integer(f_);
        }
        listing("\n");
    }

    std::FILE* f_;
    NET* net_;
    std::unordered_set<std::string> signals_;
    std::vector<NewArc> arcs_;   // of the graph section being read
    unsigned implicit_places_ = 0;
    int name_line_ = 1;   // line in which the name read last began
    NET_NODE* place_cursor_ = nullptr;
    NET_NODE* trans_cursor_ = nullptr;
};

}  // namespace

NET* read_STG(const std::string& path) {
    fmt_detail::InFile in(path, "r");
    if (!in) fmt_detail::open_failure("ERROR: CM.read_STG(): could not open file '%s' for reading.\n", path, 4);
    scan.file = path;
    scan.line = 1;
    NET* net = new_net();
    net->components = 1;
    StgReader reader(in.get(), net);
    reader.run();
    return net;
}

}  // namespace netlib
