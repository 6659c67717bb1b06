#include "options.h"

#include <cctype>
#include <cstring>

namespace progcast {

namespace {

struct Flag {
    char letter;
    int byte;
    std::uint8_t bit;
};
const Flag flags[] = {
    {'u', 0, 0x01}, {'c', 0, 0x02}, {'r', 0, 0x04}, {'e', 0, 0x08}, {'t', 0, 0x10}, {'!', 0, 0x20},
    {'l', 0, 0x40}, {'q', 0, 0x80}, {'h', 1, 0x01}, {'b', 1, 0x02}, {'x', 1, 0x04}, {'k', 1, 0x08},
    {'w', 1, 0x10}, {'d', 1, 0x40}, {'J', 1, 0x80},
};

// The decimal number right after the letter; the rest of the word is
// ignored.  False without a digit or above the limit.
bool number(const char* p, std::uint64_t limit, std::uint64_t& value) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
        value = value * 10 + static_cast<std::uint64_t>(*p - '0');
        if (value > limit) return false;
    }
    return true;
}

// "=value" with at least one character.
bool file_value(const char* p, std::optional<std::string>& out) {
    if (p[0] != '=' || p[1] == 0) return false;
    out = std::string(p + 1);
    return true;
}

// One option word (without its '-').
bool option_word(const char* w, Options& o) {
    if (!*w) return false;
    for (const char* p = w; *p; ++p) {
        const char c = *p;
        if (c < '!' || c > 'z') return false;
        bool flag = false;
        for (const Flag& f : flags)
            if (f.letter == c) {
                (f.byte ? o.byte1 : o.byte0) |= f.bit;
                flag = true;
            }
        if (flag) continue;
        std::uint64_t v = 0;
        switch (c) {
        case 'a': o.allow_fragments = true; break;
        case 'f': o.free_memory = true; break;
        case 'g': o.procedure_semantics = true; break;
        case 'n': o.naming = 3; break;
        case 'o': o.no_old_warnings = true; break;
        case 'C':
        case 'P':
            if (p[1]) {
                (c == 'C' ? o.channel_variant : o.procedure_variant) = p[1];
                ++p;
            }
            break;
        case 's':
        case 'i':
        case 'v':
            if (!number(p + 1, 65535, v)) return false;
            (c == 's' ? o.scale : c == 'i' ? o.instances : o.max_arc_variables) = static_cast<std::uint16_t>(v);
            return true;
        case 'm':
            if (!number(p + 1, 4294967295u, v)) return false;
            o.max_transitions = static_cast<std::uint32_t>(v);
            return true;
        case 'p': return file_value(p + 1, o.net_out);
        case 'z': return file_value(p + 1, o.ref_out);
        case 'y': return file_value(p + 1, o.template_dir);
        case 'Z': return file_value(p + 1, o.source_ref);
        case 'X': return file_value(p + 1, o.exclude);
        case 'j':
            o.byte1 |= 0x20;
            if (p[1] == '=') {
                o.sync_list = std::string(p + 2);
                return true;
            }
            break;
        default: return false;
        }
    }
    return true;
}

}  // namespace

bool parse_options(int argc, const char* const* argv, Options& o) {
    bool have_source = false;
    for (int k = 1; k < argc; ++k) {
        const char* a = argv[k];
        if (a[0] == '-') {
            if (!option_word(a + 1, o)) return false;
        } else {
            if (have_source) return false;
            o.source = a;
            have_source = true;
        }
    }
    return have_source;
}

void print_usage(const char* program, std::FILE* f) {
    const int width = static_cast<int>(std::strlen(program)) + 15;
    std::fprintf(f, "\nUsage: %s source [-p=fname] [-z=fname] [-y=f_name] [-Z=fname]\n%*c", program, width, ' ');
    std::fprintf(f, "[-j[=action[,action..]]] [-X[=action[,action..]]]\n%*c", width, ' ');
    std::fputs("[-obxsretlqnmhaigu!vfckw]\n\n", f);
    static const char* const lines[] = {
        " z: specify resulting reference file",
        " p: specify resulting VOS-file",
        " o: disable warnings at old syntax",
        " b: named blocks in output",
        " x: phantom transitions in output",
        "s#: specify scale",
        " r: remove duplicates",
        " e: eliminate dead transitions",
        " t: use parallel termination",
        " l: big loop",
        " q: medium loop",
        " n: use bpn-names for communication variables",
        "m#: specify maximum number of transitions",
        " h: make VOS-file shorter",
        " a: allow b(pn)2-fragments",
        "i#: specify default number of procedure instances",
        " g: generally use procedure semantic",
        " u: use set for procedure identifiers instead of stack",
        " !: no scoping",
        " J: no disjunct idsets",
        "C#: specify which channel box to use",
        "P#: specify which procedure box to use",
        "",
        " ---ONLY IN SYNCHRONIZE MODE---",
        " j: enter synchronize mode with specified actions",
        "    (use -j to specify ALL actions)",
        " d: do restriction after synchronization",
        " Z: specify reference file for source net",
        " X: exclude specified actions from synchronization",
        "",
        " ---ONLY FOR DEBUGGING PURPOSES---",
        " y: specify directory with box templates",
        "v#: specify maximum number of variables in an arc label",
        " f: free memory explicitly",
        " c: check resulting net",
        " k: check for conflicting variable names",
        " w: warn if different sets are intersected",
        "",
    };
    for (const char* l : lines) {
        std::fputs(l, f);
        std::fputc('\n', f);
    }
}

}  // namespace progcast
