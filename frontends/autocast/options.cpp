#include "options.h"

#include <cctype>
#include <cstring>

#include "failure.h"
#include "outfile.h"

namespace autocast {

std::string usage_text(const std::string& program) {
    return format(
        "\n%s -- translate a set of finite automata into an M-Net\n\n"
        "Usage: %s [options] <prjfile> -o <outfile> [-r <reffile>]\n\n"
        "     Options:\n"
        "      -b        write block information\n"
        "      -p        write phantom transitions\n"
        "      -i        omit init/term places\n"
        "      -s#       give the scale factor\n"
        "      -S        suppress scoping\n"
        "      -g[#..#]  use BPN procedure semantic with specified idset\n"
        "      -u[0,1,2] use either no procedure box, a stack, or a set\n\n"
        "The project file must contain information about global variables\n"
        "and the set of parallel finite automata that are to be translated.\n"
        "The resulting high level net is written to outfile.\n\n"
        "Version 0.9.5 (27.04.1998)\n\n",
        program.c_str(), program.c_str());
}

std::string default_process_declaration(const std::string& project_file) {
    std::string base = project_file.substr(project_file.rfind('/') + 1);
    std::size_t dot = base.rfind('.');
    if (dot != std::string::npos) base.erase(dot);
    for (char& c : base)
        if (c == '.') c = '_';
    return "proc " + base;
}

namespace {

[[noreturn]] void usage(const Settings& s) { throw Failure(EXIT_FAILURE_STATUS, usage_text(s.program)); }

[[noreturn]] void unknown_flag(char c) { throw Failure(EXIT_FAILURE_STATUS, format("unknown flag: '%c'\n", c)); }

bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Reads the digits at w[i...] into value, which saturates at `cap` + 1 so
// that a long number cannot wrap into the admissible range.
std::size_t read_digits(const char* w, std::size_t i, std::uint32_t cap, std::uint32_t& value) {
    value = 0;
    for (; is_digit(w[i]); ++i) {
        value = value * 10 + static_cast<std::uint32_t>(w[i] - '0');
        if (value > cap) value = cap + 1;
    }
    return i;
}

// "-g<lo>..<hi>" from w[i], the first digit: the first number, any two
// separator characters and the second number.  Anything else, and a range
// other than 1 <= lo <= hi <= 32763, is a usage error.
std::size_t read_range(const char* w, std::size_t i, Settings& s) {
    std::uint32_t lo = 0, hi = 0;
    i = read_digits(w, i, MAX_IDENTIFIER, lo);
    if (w[i] == '\0' || w[i + 1] == '\0' || !is_digit(w[i + 2])) usage(s);
    i = read_digits(w, i + 2, MAX_IDENTIFIER, hi);
    if (lo < 1 || lo > hi || hi > MAX_IDENTIFIER) usage(s);
    s.id_lo = static_cast<std::uint16_t>(lo);
    s.id_hi = static_cast<std::uint16_t>(hi);
    return i;
}

}  // namespace

Settings parse_command_line(int argc, const char* const* argv) {
    Settings s;
    if (argc > 0 && argv[0]) s.program = argv[0];
    enum Slot { NONE, PROJECT, NET, REF } expected = PROJECT;
    for (int a = 1; a < argc; ++a) {
        const char* w = argv[a];
        if (w[0] != '-') {
            switch (expected) {
            case NONE: usage(s);
            case PROJECT: s.project_file = w; expected = NONE; break;
            // After a file option the next plain word is the project file again.
            case NET: s.net_file = w; s.net_file_given = true; expected = PROJECT; break;
            case REF: s.ref_file = w; s.ref_file_given = true; expected = PROJECT; break;
            }
            continue;
        }
        for (std::size_t i = 1; w[i] != '\0';) {
            const char c = w[i++];
            switch (c) {
            case 'P':
                s.process_declaration = std::string(w + i);
                i = std::strlen(w);
                break;
            case 'S': s.no_scoping = true; break;
            case 'b': s.blocks = true; break;
            case 'p': s.phantoms = true; break;
            case 'i': s.omit_init_term = true; break;
            case 's': {
                std::uint32_t value = 0;
                for (; is_digit(w[i]); ++i) value = (value * 10 + static_cast<std::uint32_t>(w[i] - '0')) % 65536;
                s.scale = static_cast<std::uint16_t>(value);
                break;
            }
            case 'o': expected = NET; break;
            case 'r': expected = REF; break;
            case 'g':
                s.procedure_semantics = true;
                if (is_digit(w[i])) i = read_range(w, i, s);
                break;
            case 'u':
                s.procedure_semantics = true;
                s.box_mode = BOX_SET;
                if (w[i] == '1') ++i;
                else if (w[i] == '2') {
                    s.box_mode = BOX_STACK;
                    ++i;
                } else if (is_digit(w[i])) unknown_flag(w[i]);
                break;
            default: unknown_flag(c);
            }
        }
    }
    if (s.project_file.empty()) usage(s);
    // The reference file is written after the net: one name for both would
    // leave only the references.
    if (!s.net_file.empty() && !s.ref_file.empty() && outfile::same_file(s.net_file, s.ref_file))
        throw Failure(EXIT_FAILURE_STATUS, format("Error: output files %s and %s are the same file!\n",
                                                  s.net_file.c_str(), s.ref_file.c_str()));
    return s;
}

}  // namespace autocast
