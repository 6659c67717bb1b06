#include "trelmik.h"

#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "formats/formats.h"
#include "net.h"
#include "outputs.h"
#include "erv.h"
#include "bitcuts.h"
#include "kconf.h"
#include "outfile.h"
#include "maxconf.h"
#include "unfold.h"
#include "vos.h"
#include "writers.h"

namespace trelmik {

namespace {

const char* const kVersion = "4.5.1";
const char* const kDate = "22.06.1999";

// ---------------------------------------------------------------- fatal signals

const char kBar[] = "================================================\n";

void fatal_banner(const char* what) {
    // Only async-signal-safe calls here.
    auto put = [](const char* s) { ssize_t r = ::write(2, s, std::strlen(s)); (void)r; };
    put(kBar);
    put("    A");
    put(what);
    put(" has occurred.\n");
    put(kBar);
    _exit(1);
}

extern "C" void on_sigbus(int) { fatal_banner(" bus error"); }
extern "C" void on_sigsegv(int) { fatal_banner(" segmentation violation"); }
extern "C" void on_sigill(int) { fatal_banner("n illegal instruction error"); }
extern "C" void on_sigfpe(int) { fatal_banner(" floating point exception error"); }

void install_signal_handlers(bool install) {
    std::signal(SIGBUS, install ? on_sigbus : SIG_DFL);
    std::signal(SIGSEGV, install ? on_sigsegv : SIG_DFL);
    std::signal(SIGILL, install ? on_sigill : SIG_DFL);
    std::signal(SIGFPE, install ? on_sigfpe : SIG_DFL);
}

// ---------------------------------------------------------------- options

struct ValueOption {
    bool given = false;
    std::string value;
};

struct Options {
    std::string program;
    std::string input;
    bool have_input = false;
    char input_kind = 'v';       // 'v' VOS, 'F' automata, 'S' STG, 'G' Matlab, 'L' LISP, 'K' SPTS

    ValueOption u, U, UG, m, M, g, e, Po, Pi, O, V;
    bool co_matrix = false;      // -M or -up
    bool ascii_matrix = false;   // the later of -M and -up decides
    bool uc = false;
    bool erv = false;            // -@
    ErvOptions erv_opts;         // -y, -Q, -+, -w, -N

    bool version = false, usage = false;
    bool no_reduction = false;   // -z
    bool separate_configs = false;  // -k
    bool bit_cuts = false, second_cut = false;  // -b, -a
    bool no_configs = false, no_cutoff_conditions = false, last = false, repeat = false;
    bool current_marking = false, block_mode = false;
    char progress = 0;
    int stats = 0;               // 1 -s, 2 -ss
    bool times = false, debug = false, hash = false, analyse_only = false, print_matrix = false;
    std::uint32_t event_limit = kUnbounded, co_limit = kUnbounded;
    int unused_mode = 0;         // -T: 1 list, 2 '+', 3 '++'
    bool unused_file_given = false;
    std::string unused_file;
    int d_count = 0;
    bool complement = false, print_prefix = false;   // -j, -o
    std::vector<std::string> unavailable;  // options whose function is not built in
};

[[noreturn]] void param_error(const char* fmt, const std::string& what) {
    std::fprintf(stderr, fmt, what.c_str());
    throw ExitRequest{11};
}

void print_usage(const std::string& prog) {
    std::FILE* o = stdout;
    std::fprintf(o, "'%s' -- construct finite prefix/unfolding for a 1-safe Petri net.\n", prog.c_str());
    std::fputs("Parameters: (in any order)\n", o);
    std::fputs("  <net_file>        or\n", o);
    std::fputs("  -f=<net_file>     input file (Petri net, VOS format)\n", o);
    std::fputs("  -F=<FSA_file>     input file (Communicating FSAs)\n", o);
    std::fputs("  -S=<STG_file>     input file (Signal Transition Graph)\n", o);
    std::fputs("  -G=<Matlab_file>  input file (Matlab *.m file)\n", o);
    std::fputs("  -K=<SPTS_file>    input file (SPTS net file)\n", o);
    std::fputs("  -u=<unf_file>     output in '.unf' file format\n", o);
    std::fputs("  -U=<net_file>     output in VOS format, '.unf_net'\n", o);
    std::fputs("                     (Note: contains useless graphical info only)\n", o);
    std::fputs("  -m=<mci_file>     output in '.mci' file format\n", o);
    std::fputs("  -M=<co-mat_file>  output of the co relation matrix (conditions)\n", o);
    std::fputs("                     in '.bin_coco' file format\n", o);
    std::fputs("  -g=<Matlab_file>  output in Matlab format\n", o);
    std::fputs("  -@                switch to ERV unfolding\n", o);
    std::fputs("                     (default: calculate McMillan unfolding)\n", o);
    std::fputs("  -c                do not calculate global configurations\n", o);
    std::fputs("  -C                do not insert any conditions behind cut-offs\n", o);
    std::fputs("  -l                use last corresponding events (instead of first ones)\n", o);
    std::fputs("  -I                use current marking instead of initial as start marking\n", o);
    std::fputs("  -T[+[+]][=<file>] print the list of unused transitions. If the filename <file>\n", o);
    std::fputs("                    is given, the list will be written in that file; the '+'\n", o);
    std::fputs("                    produces a minimized net which contains no longer those\n", o);
    std::fputs("                    useless transitions. The new net file gets the additional\n", o);
    std::fputs("                    extension '.min'. Option '++' removes isolated places, too.\n", o);
    std::fputs("  -p                display progress status (multiple lines)\n", o);
    std::fputs("  -q                display progress status (one line)\n", o);
    std::fputs("  -s                display some statistics at the end\n", o);
    std::fputs("  -t                display construction time at the end\n", o);
    std::fputs("  -#                check consistency of configurations\n", o);
    std::fputs("  -b                use bit arrays for hash table entries\n", o);
    std::fprintf(o, "  -n                change B-conflict algorithm after %u events\n", 3000u);
    std::fputs("  -n=<number>       change B-conflict algorithm after <number> events, number>0\n", o);
    std::fprintf(o, "  -x                restrict the number of maximal generated events to %u\n", 10000u);
    std::fputs("  -x=<number>       restrict the number of maximal generated events to <number>\n", o);
    std::fputs("  -v                display the program version number\n", o);
}

void set_input(Options& o, const std::string& value, const char* after, char kind) {
    if (o.have_input)
        std::fprintf(stderr, "parameter warning: input file %salready specified;\n%*s'%s' overwrites '%s'.\n",
                     after, 19, "", value.c_str(), o.input.c_str());
    o.input = value;
    o.have_input = true;
    o.input_kind = kind;
}

void set_value(ValueOption& opt, const char* letters, const std::string& value) {
    if (opt.given)
        std::fprintf(stderr, "parameter warning: option '-%s' appears twice;\n%*s'%s' overwrites '%s'.\n",
                     letters, 19, "", value.c_str(), opt.value.c_str());
    opt.given = true;
    opt.value = value;
}

// Reads "=N" after -n or -x at position i (just behind the letter); returns
// the number and leaves i behind its digits.
std::uint32_t read_number(const std::string& arg, std::size_t& i, const char* letter,
                          std::uint32_t plain_default) {
    if (i >= arg.size() || arg[i] != '=') return plain_default;
    ++i;
    if (i >= arg.size() || !std::isdigit(static_cast<unsigned char>(arg[i])))
        param_error("parameter error: number expected after '-%s='.\n", letter);
    std::uint64_t v = 0;
    bool overflow = false;
    while (i < arg.size() && std::isdigit(static_cast<unsigned char>(arg[i]))) {
        v = v * 10 + static_cast<unsigned>(arg[i] - '0');
        if (v > 0xffffffffull) {
            overflow = true;
            v = 0xffffffffull;
        }
        ++i;
    }
    if (overflow) param_error("parameter error: number out of range (32 bits) after '-%s='.\n", letter);
    if (v == 0) param_error("parameter error: number greater than 0 expected after '-%s'.\n", letter);
    return static_cast<std::uint32_t>(v);
}

void parse_arguments(Options& o, int argc, char** argv) {
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg.empty() || arg[0] != '-') {
            set_input(o, arg, "", 'v');
            continue;
        }
        if (arg.size() == 1) {
            std::fputs("parameter warning: missing option after '-'.\n", stderr);
            continue;
        }
        std::size_t i = 1;
        // A letter that takes a value: "=" must follow; the value is the rest.
        auto value_of = [&](std::size_t after_letters, const char* letters) -> std::string {
            if (after_letters >= arg.size() || arg[after_letters] != '=')
                param_error("parameter error: '=' expected after '-%s'.\n", letters);
            std::string v = arg.substr(after_letters + 1);
            i = arg.size();
            return v;
        };
        while (i < arg.size()) {
            const char ch = arg[i];
            switch (ch) {
            case '@': o.erv = true; ++i; break;
            case 'c': o.no_configs = true; ++i; break;
            case 'k': o.separate_configs = true; ++i; break;
            case 'C': o.no_cutoff_conditions = true; ++i; break;
            case 'l': o.last = true; ++i; break;
            case 'r': o.repeat = true; ++i; break;
            case 'I': o.current_marking = true; ++i; break;
            case 'B': o.block_mode = true; ++i; break;
            case 'p': o.progress = 'p'; ++i; break;
            case 'q': o.progress = 'q'; ++i; break;
            case 's':
                if (i + 1 < arg.size() && arg[i + 1] == 's') {
                    o.stats = 2;
                    i += 2;
                } else {
                    if (o.stats == 0) o.stats = 1;
                    ++i;
                }
                break;
            case 't': o.times = true; ++i; break;
            case '#': o.debug = true; ++i; break;
            case 'a': o.bit_cuts = o.second_cut = true; ++i; break;
            case 'b':
                // -bb: taken as -b (the second b alone selects nothing that works).
                o.bit_cuts = true;
                i += i + 1 < arg.size() && arg[i + 1] == 'b' ? 2 : 1;
                break;
            case 'y': o.erv_opts.dense_keys = true; ++i; break;
            case 'Q': o.erv_opts.insertion = 'q'; ++i; break;
            case '+': o.erv_opts.insertion = 'b'; ++i; break;
            case 'w': o.erv_opts.size_keys = true; ++i; break;
            case 'N': o.erv_opts.keep_events = true; ++i; break;
            case 'z': o.no_reduction = true; ++i; break;
            case 'h': o.hash = true; ++i; break;
            case 'j': o.complement = true; ++i; break;
            case 'o': o.print_prefix = true; ++i; break;
            case 'i': o.print_matrix = true; ++i; break;
            case 'A': o.analyse_only = true; ++i; break;
            case 'v': o.version = true; ++i; break;
            case '$': o.usage = true; ++i; break;
            case 'd':
                ++i;
                if (i < arg.size() && arg[i] == '1') { o.d_count += 1; ++i; }
                else if (i < arg.size() && arg[i] == '2') { o.d_count += 2; ++i; }
                else o.d_count += 1;
                break;
            case 'n':
                ++i;
                o.co_limit = read_number(arg, i, "n", 3000);
                break;
            case 'x':
                ++i;
                o.event_limit = read_number(arg, i, "x", 10000);
                break;
            case 'u':
                if (i + 1 < arg.size() && arg[i + 1] == 'p') {
                    o.co_matrix = true;
                    o.ascii_matrix = true;
                    i = arg.size();
                } else if (i + 1 < arg.size() && arg[i + 1] == 'c') {
                    o.uc = true;
                    std::fputs("OUTPUT-CO-CORR-EVENTS\n", stdout);
                    i = arg.size();
                } else {
                    set_value(o.u, "u", value_of(i + 1, "u"));
                }
                break;
            case 'U':
                if (i + 1 < arg.size() && arg[i + 1] == 'G') set_value(o.UG, "UG", value_of(i + 2, "UG"));
                else set_value(o.U, "U", value_of(i + 1, "U"));
                break;
            case 'P':
                if (i + 1 < arg.size() && arg[i + 1] == 'o') {
                    set_value(o.Po, "Po", value_of(i + 2, "Po"));
                } else if (i + 1 < arg.size() && arg[i + 1] == 'i') {
                    set_value(o.Pi, "Pi", value_of(i + 2, "Pi"));
                } else {
                    // Any other letter: the rest of the group is passed over silently.
                    i = arg.size();
                }
                break;
            case 'm': set_value(o.m, "m", value_of(i + 1, "m")); break;
            case 'M': {
                set_value(o.M, "M", value_of(i + 1, "M"));
                o.co_matrix = true;
                o.ascii_matrix = false;
                break;
            }
            case 'g': set_value(o.g, "g", value_of(i + 1, "g")); break;
            case 'e': set_value(o.e, "e", value_of(i + 1, "e")); break;
            case 'O': set_value(o.O, "O", value_of(i + 1, "O")); break;
            case 'V': {
                const std::string v = value_of(i + 1, "V");
                if (o.V.given)
                    std::fprintf(stderr,
                                 "parameter warning: input file %salready specified;\n%*s'%s' overwrites '%s'.\n",
                                 "after '-V' ", 19, "", v.c_str(), o.V.value.c_str());
                o.V.given = true;
                o.V.value = v;
                break;
            }
            case 'f': set_input(o, value_of(i + 1, "f"), "after '-f' ", 'v'); break;
            case 'F': set_input(o, value_of(i + 1, "F"), "after '-F' ", 'F'); break;
            case 'G': set_input(o, value_of(i + 1, "G"), "after '-G' ", 'G'); break;
            case 'L': set_input(o, value_of(i + 1, "L"), "after '-L' ", 'L'); break;
            case 'S': {
                const std::string v = value_of(i + 1, "S");
                if (o.have_input)
                    std::fprintf(stderr, "parameter warning: option '-%s' appears twice;\n%*s'%s' overwrites '%s'.\n",
                                 "S", 19, "", v.c_str(), o.input.c_str());
                o.input = v;
                o.have_input = true;
                o.input_kind = 'S';
                break;
            }
            case 'K': {
                ++i;
                while (i < arg.size() && arg[i] != '=') {
                    const char k = arg[i];
                    if (k == '1' || k == '2') o.erv_opts.silex_order = k;
                    else if (k == 'a') o.erv_opts.descending = false;
                    else if (k == 'd') o.erv_opts.descending = true;
                    else if (k == 's') o.erv_opts.sum_step = true;
                    else std::fputs("parameter error: '=' expected after '-K'.\n", stderr);
                    ++i;
                }
                if (i >= arg.size()) param_error("parameter error: '=' expected after '-%s'.\n", "K");
                set_input(o, arg.substr(i + 1), "after '-K' ", 'K');
                i = arg.size();
                break;
            }
            case 'T':
                ++i;
                o.unused_mode = 1;
                if (i < arg.size() && arg[i] == '!') {
                    o.unused_mode = 3;
                    ++i;
                } else if (i < arg.size() && arg[i] == '+') {
                    o.unused_mode = 2;
                    ++i;
                    if (i < arg.size() && arg[i] == '+') {
                        o.unused_mode = 3;
                        ++i;
                    }
                }
                if (i < arg.size() && arg[i] == '=') {
                    o.unused_file_given = true;
                    o.unused_file = arg.substr(i + 1);
                    i = arg.size();
                }
                break;
            default:
                std::fprintf(stderr, "parameter warning: unknown option '%s' (ignoring).\n", arg.substr(i).c_str());
                i = arg.size();
                break;
            }
        }
    }
    // Writers that belong to later work: asking for them must not look like success.
}

// ---------------------------------------------------------------- run-time report

struct Snapshot {
    struct rusage usage;
    struct timeval time;
};

void take_snapshot(Snapshot& s) {
    std::memset(&s, 0, sizeof s);
    getrusage(RUSAGE_SELF, &s.usage);
    gettimeofday(&s.time, nullptr);
}

void print_report(const Snapshot& a, const Snapshot& b) {
    std::FILE* o = stdout;
    long rsec = b.time.tv_sec - a.time.tv_sec;
    long rusec = b.time.tv_usec - a.time.tv_usec;
    const long r = rsec * 100 + rusec / 10000;  // hundredths
    const long h = r / 360000, mnt = (r / 6000) % 60, sec = (r / 100) % 60, hund = r % 100;
    if (r >= 360000) std::fprintf(o, "%ld:%.2ld", h, mnt);
    else std::fprintf(o, "%ld", r / 6000);
    std::fprintf(o, ":%.2ld.%.2d real ", sec, static_cast<int>(hund));
    auto span = [](const struct timeval& x, const struct timeval& y, long& s, long& ms) {
        s = y.tv_sec - x.tv_sec;
        long us = y.tv_usec - x.tv_usec;
        if (us < 0) {
            --s;
            us += 1000000;
        }
        ms = us / 1000;
    };
    long us_s, us_ms, sy_s, sy_ms;
    span(a.usage.ru_utime, b.usage.ru_utime, us_s, us_ms);
    span(a.usage.ru_stime, b.usage.ru_stime, sy_s, sy_ms);
    std::fprintf(o, "%ld.%03ld user, ", us_s, us_ms);
    std::fprintf(o, "%ld.%03ld sys\n", sy_s, sy_ms);
    const long p = (us_s + sy_s) * 100 + (us_ms + sy_ms) / 10;
    const long pct = r ? p * 1000 / r : 0;
    std::fprintf(o, "%ld.%01ld%% time spent running\n", pct / 10, pct % 10);
    auto per = [p](long v) { return p ? v / p : 0L; };
    const struct rusage& x = a.usage;
    const struct rusage& y = b.usage;
    std::fprintf(o, "%ldk shared text + ", per(y.ru_ixrss - x.ru_ixrss));
    std::fprintf(o, "%ldk unshared data\n", per((y.ru_idrss - x.ru_idrss) + (y.ru_isrss - x.ru_isrss)));
    std::fprintf(o, "%ld/", y.ru_inblock - x.ru_inblock);
    std::fprintf(o, "%ld FS blocks in/out\n", y.ru_oublock - x.ru_oublock);
    std::fprintf(o, "%ld page faults\n", y.ru_majflt - x.ru_majflt);
    std::fprintf(o, "%ld swaps\n", y.ru_nswap - x.ru_nswap);
    std::fprintf(o, "%ld total data memory used\n",
                 per((y.ru_ixrss - x.ru_ixrss) + (y.ru_idrss - x.ru_idrss) + (y.ru_isrss - x.ru_isrss)));
    std::fprintf(o, "%ld page reclaims\n", y.ru_minflt - x.ru_minflt);
    std::fprintf(o, "%ld/", y.ru_msgrcv - x.ru_msgrcv);
    std::fprintf(o, "%ld socket messages received/sent\n", y.ru_msgsnd - x.ru_msgsnd);
    std::fprintf(o, "%ld waits\n", y.ru_nvcsw - x.ru_nvcsw);
    std::fprintf(o, "%ld context switches\n", y.ru_nivcsw - x.ru_nivcsw);
    std::fputc('\n', o);
}

std::uint64_t rounded_name(std::size_t len) { return (len + 1 + 7) / 8 * 8 + 8; }

void print_memory_line(std::uint64_t bytes) {
    std::printf("  --> allocated memory: %10u Bytes\n", static_cast<unsigned>(bytes));
}

// What the run's structures hold.  The two net lines count nodes, arcs and
// names as a net record holds them (48 bytes a node, 40 an arc); the other
// lines count this program's own storage: the stored cut records and the
// places they keep (the McMillan loop keeps hashes only), the cut-off pairs,
// and the maximal configurations with their events.
void print_memory_statistics(const InputNet& net, const Prefix& pf, const RunInfo& info, bool bit_cuts,
                             std::uint64_t configurations, std::uint64_t config_cells) {
    std::printf("GL_maxTpostset = %u, ", info.max_postset);
    std::printf("GL_maxTpreset = %u\n", info.max_preset);
    std::printf("List elements: %u\n", static_cast<unsigned>(pf.cut_cells + config_cells));
    std::uint64_t mem = 48ull * (net.places() + net.transitions()) + 40ull * (net.pt_arcs + net.tp_arcs);
    for (const auto& s : net.place_names) mem += rounded_name(s.size());
    for (const auto& s : net.trans_names) mem += rounded_name(s.size());
    std::printf("* Original system:\n");
    std::printf("  |S|=%6u, |T|=%6u, |ST|=%6u, |TS|=%6u\n", net.places(), net.transitions(),
                static_cast<unsigned>(net.pt_arcs), static_cast<unsigned>(net.tp_arcs));
    print_memory_line(mem);
    std::uint32_t eb = 0;
    for (std::uint32_t pre : pf.cond_pre) eb += pre != 0;
    const std::uint64_t be = pf.ev_pre_conds.size();
    mem = 48ull * (pf.conditions() + pf.events()) + 40ull * (be + eb);
    for (std::uint32_t c = 1; c <= pf.conditions(); ++c) mem += rounded_name(1 + std::to_string(c).size());
    for (std::uint32_t e = 1; e <= pf.events(); ++e) mem += rounded_name(1 + std::to_string(e).size());
    std::printf("* Unfolded net:\n");
    std::printf("  |B|=%6u, |E|=%6u, |BE|=%6u, |EB|=%6u\n", pf.conditions(), pf.events(),
                static_cast<unsigned>(be), eb);
    print_memory_line(mem);
    std::printf("* Hash table:\n");
    std::printf("  Number of buckets: %u.\n", pf.buckets);
    print_memory_line(rounded_name(4ull * pf.buckets));
    const std::uint64_t cells = pf.cut_cells;
    const std::uint64_t record = sizeof(CutRecord);
    if (bit_cuts) {
        // What each cut takes as a bit array over the places with its record head.
        const std::uint64_t length = ((net.places() + 1) / 8 + 1 + 7) / 8 * 8;
        std::printf("  Hash table entries: %u bit arrays ( %u (head) + %u (array) bytes each )\n",
                    static_cast<unsigned>(pf.cuts.size()), 40u, static_cast<unsigned>(length));
        print_memory_line(pf.cuts.size() * (length + 40ull));
    } else {
        std::printf("  Hash table entries: %u linear lists ( %u set list elements )\n",
                    static_cast<unsigned>(pf.cuts.size()), static_cast<unsigned>(cells));
        print_memory_line(pf.cuts.size() * record + cells * sizeof(std::uint32_t));
    }
    std::printf("* Number of cutoff events: %u.\n", static_cast<unsigned>(pf.cutoffs.size()));
    print_memory_line(pf.cutoffs.size() * sizeof(pf.cutoffs[0]));
    std::printf("* Number of maximal configurations: %u", static_cast<unsigned>(configurations));
    std::printf(" ( %u+%u list elements ).\n", static_cast<unsigned>(configurations), static_cast<unsigned>(config_cells));
    print_memory_line(configurations * sizeof(std::vector<std::uint32_t>) + config_cells * sizeof(std::uint32_t));
    std::printf("* Other bit arrays: <...yet missing...>\n");
}

// ---------------------------------------------------------------- -T

void list_unused(const Options& o, const InputNet& net, const Prefix& pf) {
    std::FILE* f = stdout;
    if (o.unused_file_given) {
        f = outfile::open(o.unused_file);
        if (!f) {
            std::fprintf(stderr, "error: could not open file '%s' for writing.\n", o.unused_file.c_str());
            throw ExitRequest{4};
        }
    } else {
        std::fputs("Useless transitions for the construction of the unfolding:\n{", f);
    }
    std::size_t count = 1;
    bool first = true;
    for (std::uint32_t t = 0; t < net.transitions(); ++t) {
        if (pf.trans_used[t]) continue;
        const netlib::Name name = net.trans_names[t];
        if (!first) {
            std::fputc(',', f);
            ++count;
        }
        first = false;
        if (count + name.size() + 1 >= 76) {
            std::fprintf(f, "\n  %s", name.c_str());
            count = name.size() + 2;
        } else {
            std::fprintf(f, " %s", name.c_str());
            count += name.size() + 1;
        }
    }
    if (o.unused_file_given) {
        std::fputc('\n', f);
        bool bad = std::ferror(f) != 0;
        bad |= std::fclose(f) != 0;
        if (bad) {
            std::fprintf(stderr, "error: cannot write file '%s'.\n", o.unused_file.c_str());
            throw ExitRequest{5};
        }
    } else {
        std::fputs(" }\n", f);
    }
}

// ---------------------------------------------------------------- output files

// The files the options ask for, under the names their writers give them.
std::vector<std::string> output_files(const Options& o) {
    std::vector<std::string> out;
    auto add = [&](const ValueOption& v, const char* ext) {
        if (v.given && !v.value.empty()) out.push_back(complete_name(v.value, ext));
    };
    add(o.u, ".unf");
    add(o.Pi, ".unf");
    add(o.U, ".unf_net");
    add(o.UG, ".unf_net");
    add(o.m, ".mci");
    add(o.e, ".ent");
    add(o.g, ".m");
    add(o.Po, ".unf.pst.tex");
    if (o.O.given && !o.O.value.empty()) out.push_back(o.O.value);
    if (o.V.given) out.push_back(o.V.value.empty() ? o.input + ".LTLcnf" : o.V.value);
    if (o.co_matrix)
        out.push_back(o.ascii_matrix ? "MATRIX.asc_coco"
                                     : complete_name(o.M.value.empty() ? "DUMMY" : o.M.value, ".bin_coco"));
    if (o.separate_configs) {
        if (!o.no_configs) out.push_back("SR_CONFIGFILE");
        if (o.u.given && !o.u.value.empty()) out.push_back(complete_name(o.u.value + "Q", ".unf"));
    }
    if (o.unused_file_given) out.push_back(o.unused_file);
    if (o.unused_mode >= 2) out.push_back(o.input + ".min");
    return out;
}

// No output may replace the net it is made from (by any spelling or link):
// refused before anything is read or written.
void refuse_output_over_input(const Options& o) {
    for (const std::string& out : output_files(o)) {
        if (outfile::names_input(out, {o.input}) == nullptr) continue;
        std::fprintf(stderr, "error: output file '%s' would replace the input '%s'.\n", out.c_str(),
                     o.input.c_str());
        throw ExitRequest{5};
    }
}

// Reads the input net with the reader of its kind.
netlib::NET* read_input(const Options& o) {
    switch (o.input_kind) {
    case 'F': return netlib::read_FSA(o.input);
    case 'S': return netlib::read_STG(o.input);
    case 'G': return netlib::read_Matlab(o.input);
    case 'L': return netlib::read_LISP(o.input);
    default: return netlib::read_VOS(o.input);
    }
}

void write_minimized(const Options& o, const InputNet& net, const Prefix& pf) {
    netlib::vos_options.keep_extras = true;
    netlib::vos_options.use_current_marking = false;
    netlib::vos_options.allow_block_mode = o.block_mode;
    netlib::NET* again = read_input(o);
    for (std::uint32_t t = 0; t < net.transitions(); ++t)
        if (!pf.trans_used[t]) netlib::delete_transition(again, net.trans_names[t].str());
    if (o.unused_mode == 3) {
        for (netlib::NET_NODE* p = again->first_place; p != nullptr;) {
            if (p->preset == nullptr && p->postset == nullptr) p = netlib::delete_place_node(again, p);
            else p = p->next;
        }
    }
    netlib::renumber(again);
    netlib::write_VOS(again, o.input + ".min");
    netlib::delete_net(again);
}

// ---------------------------------------------------------------- the steps

typedef Prefix (*LoopFn)(const InputNet&, const Settings&, RunInfo*);
typedef void (*CoMatrixFn)(const Options&, const Prefix&);

void co_matrix_binary(const Options& o, const Prefix& pf) {
    write_bin_coco(o.M.value, pf, stdin, stdout);
}
void co_matrix_ascii(const Options&, const Prefix& pf) { write_asc_coco(pf, stdin, stdout); }

// The choices the options make, filled once before the run.
struct UnfoldStrategy {
    LoopFn loop = unfold_mcmillan;
    CoMatrixFn co_matrix_writer = co_matrix_binary;
};

// Options that work on the net record itself, or on its nodes before the
// net to unfold is taken from it.
bool needs_net_record(const Options& o) {
    return o.input_kind != 'v' || o.complement || (o.O.given && !o.O.value.empty()) ||
           (o.Pi.given && !o.Pi.value.empty()) || o.analyse_only || o.V.given || o.d_count != 0 || o.print_matrix;
}

void warn_not_t_restricted(std::string_view transition) {
    std::fprintf(stderr, "The net is not T-restricted in '%.*s'.\n", static_cast<int>(transition.size()),
                 transition.data());
}

// A marked place is needed, and no place with two tokens.
void check_start_marking(const InputNet& in) {
    if (std::none_of(in.marking.begin(), in.marking.end(), [](std::int32_t m) { return m != 0; })) {
        std::fputs("error: net without start marking.\n", stderr);
        throw ExitRequest{13};
    }
    // Only 1-safe nets are unfolded: a start marking with two tokens on a
    // place ends the run here, whatever the input form and the loop (the
    // files of -O and -Pi are then not kept either).
    refuse_unsafe_marking(in);
}

// Reads a VOS file into the net to unfold without a net record, when the
// options and the file allow it (input_from_lists); true when `in` is made
// and checked.  Otherwise the lists read wait in `lists` for the net record.
bool read_plain_input(const Options& o, InputNet& in, std::unique_ptr<netlib::VosLists>& lists) {
    if (needs_net_record(o)) return false;
    lists = netlib::read_VOS_lists(o.input);
    if (!lists || !input_from_lists(*lists, in)) return false;
    lists.reset();
    for (std::uint32_t t = 0; t < in.transitions(); ++t)
        if (in.pre[t].empty() || in.post[t].empty()) warn_not_t_restricted(in.trans_names[t]);
    check_start_marking(in);
    return true;
}

// The steps on the net record, from reading it (or making it of the lists
// read already) to the net to unfold in `in`; an exit code to end the run
// with, or -1 to go on.
int prepare_net_record(const Options& o, InputNet& in, std::unique_ptr<netlib::VosLists> lists) {
    const bool spts = o.input_kind == 'K';
    netlib::NET* net = lists ? netlib::net_from_lists(*lists) : read_input(o);
    lists.reset();
    struct NetGuard {
        netlib::NET*& n;
        ~NetGuard() { if (n) netlib::delete_net(n); }
    } guard{net};
    if (spts) {
        // The components count the tokens of their places: a place with two
        // of them is refused first, as a net that is not 1-safe.
        refuse_unsafe_marking(net);
        if (!check_components(input_from_net(net), stderr)) return 13;
    }

    if (o.complement) add_complement_places(net);
    if (o.O.given && !o.O.value.empty()) netlib::write_VOS_PlainNet(net, o.O.value, o.complement || o.input_kind == 'K');
    if (o.Pi.given && !o.Pi.value.empty()) {
        // No prefix exists yet: the file describes the net with an empty prefix.
        const InputNet before_run = input_from_net(net);
        write_unf(o.Pi.value, o.input, before_run, Prefix{}, Configurations{}, false, {});
    }
    if (o.analyse_only) return 0;
    if (o.V.given) check_accepting(net);

    // Transitions: T-restriction and arc weights.
    for (netlib::NET_NODE* t = net->first_transition; t != nullptr;) {
        if (t->preset == nullptr || t->postset == nullptr) warn_not_t_restricted(t->name);
        bool heavy = false;
        for (netlib::NET_ARC* a = t->preset; a && !heavy; a = a->t_next) heavy = a->weight > 1;
        for (netlib::NET_ARC* a = t->postset; a && !heavy; a = a->t_next) heavy = a->weight > 1;
        if (heavy) {
            std::fprintf(stderr, "Transition '%s' is connected to an arc with weight > 1 and is removed.\n",
                         t->name.c_str());
            t = netlib::delete_transition_node(net, t);
        } else {
            t = t->next;
        }
    }

    split_transitions(net, o.d_count);

    in = input_from_net(net);
    check_start_marking(in);
    if (o.print_matrix) netlib::print_net_matrix(net);
    return -1;
}

int run(int argc, char** argv) {
    Options o;
    o.program = argc > 0 && argv[0] ? argv[0] : "trelmik";
    UnfoldStrategy strategy;
    install_signal_handlers(true);

    if (argc <= 1) {
        print_usage(o.program);
        return 0;
    }
    parse_arguments(o, argc, argv);
    if (o.stats == 2) install_signal_handlers(false);
    if (o.ascii_matrix) strategy.co_matrix_writer = co_matrix_ascii;
    const bool spts = o.input_kind == 'K';
    // The component loop keeps its cuts as place arrays: no bit-array form.
    if (spts) o.bit_cuts = o.second_cut = false;
    if (o.erv || spts) {
        strategy.loop = spts ? unfold_spts : unfold_erv;
        erv_options = o.erv_opts;
        erv_options.mark_cutoffs = o.uc;
    }

    if (o.version) std::printf("%s - Version %s (%s).\n", o.program.c_str(), kVersion, kDate);
    if (o.usage) print_usage(o.program);
    if (!o.have_input) {
        if (o.version || o.usage) return 0;
        std::fputs("error: missing parameter (input file).\n", stderr);
        return 10;
    }
    if (!o.unavailable.empty()) {
        for (const auto& opt : o.unavailable)
            std::fprintf(stderr, "error: option '-%s' is not available in this version of trelmik.\n", opt.c_str());
        return 11;
    }

    refuse_output_over_input(o);

    netlib::vos_options.use_current_marking = o.current_marking;
    netlib::vos_options.allow_block_mode = o.block_mode;
    InputNet in;
    std::unique_ptr<netlib::VosLists> lists;
    if (!read_plain_input(o, in, lists)) {
        const int code = prepare_net_record(o, in, std::move(lists));
        if (code >= 0) return code;
    }

    Settings settings;
    settings.event_limit = o.event_limit;
    settings.co_row_limit = o.co_limit;
    settings.co_rows = o.co_matrix;  // only the co-matrix writers read co sets
    settings.conditions_behind_cutoffs = !o.no_cutoff_conditions;
    settings.last_corresponding = o.last;
    settings.repeat_cutoff = o.repeat;
    settings.debug = o.debug;
    settings.bit_cuts = o.bit_cuts;
    settings.second_cut = o.second_cut;
    settings.progress = o.progress;

    Snapshot before, after;
    RunInfo info;
    const std::clock_t c0 = std::clock();
    take_snapshot(before);
    std::fflush(stdout);
    // The maximal configurations belong to the construction (and its time):
    // the loop updates them with every event it creates.
    MaxConfigurations running(!o.no_reduction);
    if (!o.no_configs) settings.configs = &running;
    AcceptingCycleWatch watch(in);
    if (o.V.given) settings.watch = &watch;
    Prefix pf = strategy.loop(in, settings, &info);
    Configurations configs;
    if (!o.no_configs) configs = running.result();
    const std::clock_t c1 = std::clock();
    take_snapshot(after);
    const double seconds = static_cast<double>(c1 - c0) / CLOCKS_PER_SEC;
    if (o.co_matrix) strategy.co_matrix_writer(o, pf);

    const std::vector<std::uint8_t> no_marks;
    const std::vector<std::uint8_t>& marks = o.erv || spts ? erv_counters.concurrent_cutoffs : no_marks;
    if (o.V.given) write_LTLcnf(o.V.value, o.input, in, pf, watch.witness());
    if (o.debug) consistency_check(stdout, pf, configs);
    if (o.u.given && !o.u.value.empty()) {
        write_unf(o.u.value, o.input, in, pf, configs, o.uc, marks);
        // The text form names initial conditions entry conditions; the
        // writers after it show them so.
        for (std::uint32_t c = 0; c < pf.conditions(); ++c)
            if (pf.cond_pre[c] == 0) pf.cond_kind[c] = 1;
    }
    if (o.U.given && !o.U.value.empty()) write_unf_net(o.U.value, in, pf, false);
    if (o.UG.given && !o.UG.value.empty()) write_unf_net(o.UG.value, in, pf, true);
    if (o.m.given && !o.m.value.empty()) write_mci(o.m.value, in, pf, configs);
    if (o.e.given && !o.e.value.empty()) write_entry_file(o.e.value, in, pf, configs);
    if (o.g.given && !o.g.value.empty()) write_matlab(o.g.value, o.input, in, pf, configs, spts ? "ERV SPTS" : o.erv ? "ERV" : "McMillan");
    if (o.Po.given && !o.Po.value.empty()) write_pstricks(o.Po.value, o.input, in, pf);
    if (o.print_prefix) print_prefix_matrix(stdout, in, pf, configs);

    if (o.hash) {
        const auto* reached = (o.erv || spts) && o.erv_opts.keep_events ? &erv_counters.cut_events : nullptr;
        if (o.bit_cuts) print_hash_table_bits(stdout, in, pf, reached);
        else print_hash_table(stdout, in, pf, reached, spts);
    }
    if (o.times || o.stats) {
        std::printf("|S|=%4u, |T|=%4u, |B|=%5u, |E|=%5u, ", in.places(), in.transitions(), pf.conditions(),
                    pf.events());
        std::printf("Cutoffs: %u, ", static_cast<unsigned>(pf.cutoffs.size()));
        if (configs.computed) std::printf("Configs: %u, ", static_cast<unsigned>(configs.sets.size()));
        std::printf("time: %9.2f s\n", seconds);
        if (spts) {
            const ErvCounters& n = erv_counters;
            std::printf("Number of components: %u\n", in.components);
            std::printf("Silex order %c, %sscending transition numbering%s\n", o.erv_opts.silex_order,
                        o.erv_opts.descending ? "de" : "a",
                        o.erv_opts.sum_step ? ", compare sum of component vectors" : "");
            if (o.erv_opts.sum_step)
                std::printf("Comparisons: %llu sum / %llu depth [%llu zero] / %llu normal\n",
                            static_cast<unsigned long long>(n.sum_comparisons),
                            static_cast<unsigned long long>(n.depth_comparisons),
                            static_cast<unsigned long long>(n.zero_depth),
                            static_cast<unsigned long long>(n.normal_comparisons));
            else
                std::printf("Comparisons: %llu depth [%llu zero] / %llu normal\n",
                            static_cast<unsigned long long>(n.depth_comparisons),
                            static_cast<unsigned long long>(n.zero_depth),
                            static_cast<unsigned long long>(n.normal_comparisons));
        }
        if (o.erv || spts) {
            const std::uint64_t eq = erv_counters.equality, cmp = erv_counters.comparisons;
            if (eq != 0 && !spts)
                std::printf("%llu equality case%s detected.\n", static_cast<unsigned long long>(eq), eq == 1 ? "" : "s");
            std::printf("%llu comparison%s for queue inserting (%s), maximum %llu entries.\n",
                        static_cast<unsigned long long>(cmp), cmp == 1 ? "" : "s",
                        erv_insertion_name(o.erv_opts.insertion),
                        static_cast<unsigned long long>(erv_counters.max_queue));
        }
        std::printf("Calculated %s unfolding.\n", spts ? "ERV SPTS" : o.erv ? "ERV" : "McMillan");
        if (o.no_cutoff_conditions) std::printf("No conditions behind cut-off events have been included.\n");
    }
    if (o.stats == 1) {
        std::printf("Statistics:\n");
        print_report(before, after);
        std::uint64_t cells = 0;
        for (const auto& c : configs.sets) cells += c.size();
        print_memory_statistics(in, pf, info, o.bit_cuts, configs.sets.size(), cells);
    }
    if (o.separate_configs) {
        const std::clock_t k0 = std::clock();
        const SeparateResult k = separate_configurations(pf, o.no_configs, stdout);
        const double k_seconds = static_cast<double>(std::clock() - k0) / CLOCKS_PER_SEC;
        if (o.times || o.stats) {
            std::printf("|S|=%4u, |T|=%4u, |B|=%5u, |E|=%5u, ", in.places(), in.transitions(), k.conditions, k.events);
            std::printf("Cutoffs: %u, Configs: %u\n", static_cast<unsigned>(pf.cutoffs.size()), k.configurations);
            std::printf("Time to calculate configurations separately: %9.2f s\n", k_seconds);
            if (o.erv || spts) {
                const std::uint64_t eq = erv_counters.equality, cmp = erv_counters.comparisons;
                if (eq != 0 && !spts)
                    std::printf("%llu equality case%s detected.\n", static_cast<unsigned long long>(eq), eq == 1 ? "" : "s");
                std::printf("%llu comparison%s for queue inserting (%s), maximum %llu entries.\n",
                            static_cast<unsigned long long>(cmp), cmp == 1 ? "" : "s",
                            erv_insertion_name(o.erv_opts.insertion),
                            static_cast<unsigned long long>(erv_counters.max_queue));
            }
        }
        if (o.u.given && !o.u.value.empty()) {
            Configurations separate;
            separate.computed = true;
            separate.sets = k.sets;
            write_unf_last(o.u.value, o.input, in, k.reduced, separate);
        }
        if (o.stats == 1) {
            std::uint64_t cells = 0;
            for (const auto& c : k.sets) cells += c.size();
            print_memory_statistics(in, k.reduced, info, o.bit_cuts, k.configurations, cells);
        }
    }
    if (o.unused_mode) {
        list_unused(o, in, pf);
        if (o.unused_mode >= 2) write_minimized(o, in, pf);
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace

netlib::NET* prefix_to_net(const InputNet& net, const Prefix& pf, netlib::NET* input) {
    std::vector<netlib::NET_NODE*> places, transitions;
    for (netlib::NET_NODE* p = input ? input->first_place : nullptr; p != nullptr; p = p->next) places.push_back(p);
    for (netlib::NET_NODE* t = input ? input->first_transition : nullptr; t != nullptr; t = t->next)
        transitions.push_back(t);
    netlib::NET* out = netlib::new_net();
    std::vector<netlib::NET_NODE*> conds(pf.conditions()), events(pf.events());
    for (std::uint32_t c = 1; c <= pf.conditions(); ++c) {
        netlib::NET_NODE* n = netlib::append_place(out, "B" + std::to_string(c), 0);
        const std::uint32_t p = pf.cond_place[c - 1];
        n->link = p < places.size() ? places[p] : nullptr;
        n->kind = pf.cond_kind[c - 1];
        n->aux = net.place_comp[p];
        conds[c - 1] = n;
    }
    for (std::uint32_t e = 1; e <= pf.events(); ++e) {
        netlib::NET_NODE* n = netlib::append_transition(out, "E" + std::to_string(e));
        const std::uint32_t t = pf.ev_trans[e - 1];
        n->link = t < transitions.size() ? transitions[t] : nullptr;
        n->kind = static_cast<std::int32_t>(pf.ev_depth[e - 1]);
        events[e - 1] = n;
    }
    for (std::uint32_t e = 1; e <= pf.events(); ++e) {
        for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i)
            netlib::append_PT_arc(out, conds[pf.ev_pre_conds[i] - 1], events[e - 1], 1);
        const std::uint32_t first = pf.ev_post_first[e - 1];
        for (std::uint32_t x = first; x < first + pf.ev_post_count[e - 1]; ++x)
            netlib::append_TP_arc(out, events[e - 1], conds[x - 1], 1);
    }
    return out;
}

int run_trelmik(int argc, char** argv) {
    int code = 0;
    try {
        code = run(argc, argv);
    } catch (const ExitRequest& e) {
        std::fflush(stdout);
        code = e.code;
    }
    // The outputs take their names only when the whole run succeeded; a
    // failed run leaves the files of earlier runs as they were.
    if (code != 0) {
        outfile::discard();
        return code;
    }
    std::string failed;
    if (!outfile::commit(&failed)) {
        std::fprintf(stderr, "error: cannot write file '%s'.\n", failed.c_str());
        return 5;
    }
    return 0;
}

}  // namespace trelmik
