#include "vorga.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "outfile.h"
#include "problems.h"

namespace vorga {

namespace {

Settings settings;

void WorstExitCode(std::uint32_t code) {
    if (code > settings.worst) settings.worst = code;
}

void out_of_memory() {
    std::fputs("\n Error: memory overflow.\n", stderr);
    std::exit(2);
}

void help(bool extended) {
    std::printf("\nvorga 2.01: checking properties of Petri nets on their unfoldings by linear constraints");
    std::printf("\n\nUsage:");
    std::printf("\n  vorga [-h]");
    std::printf(
        "\n  vorga [-![n]] [-M[n]] [-i] [-s] [-t] [-w]\n      [\n      -d filename.ll_net |\n      -r filename  "
        "      |\n      -c filename        |\n      -e filename        |\n      -m filename\n      ] "
        "inputfilename.mci  [outputfilename]");
    std::printf("\n\nOptions: (some of the described option are not implemented yet)");
    std::printf("\n  -h     extended help");
    std::printf("\n  -![n]  Using branching condition n (0-9)");
    std::printf("\n  -M[n]  Memory saving mode n (0-9). Greater n, less memory is used.");
    std::printf("\n  -i     dead \"internal\" tokens are allowed in a final marking (deadlock checking)");
    std::printf("\n  -s     the system is supposed to be safe");
    std::printf("\n  -t     look for a shortest trail (may be much slower)");
    std::printf("\n  -w     wait for a line on standard input before exiting");
    std::printf("\n  -d     deadlock checking; filename.ll_net is the net, whose exit places give the terminal marking");
    std::printf("\n  -r     reachability analysis; filename holds the marking");
    std::printf("\n  -c     coverability analysis; filename holds the marking");
    std::printf("\n  -e     extended reachability analysis; filename holds a system of linear constraints");
    std::printf("\n  -m     mutual exclusion checking; filename holds a list of places");
    std::printf("\n\nAt most one of -d, -r, -c, -e, -m may be specified.\n");
    if (!extended) {
        std::printf("\nType vorga -h for extended help\n");
        return;
    }
    std::printf(
        "\nDeadlock checking is the default mode. Without -d, terminal markings are not distinguished from "
        "deadlocks; with -d, the marking in which exactly the exit places of the net are marked is not "
        "counted as a deadlock.");
    std::printf(
        "\n\nThe files of -r and -c list places with optional token counts separated by commas, for "
        "example\n  P1, 3 P5, 4 P7, EXIT_PLACE2\nWith -r every place not listed must be empty; with -c it may "
        "hold tokens.");
    std::printf(
        "\n\nThe file of -e holds linear constraints over the token counts of places, separated by white "
        "space, for example\n  P1=1\n  P3<3\n  P8>0\n  2*P4+P5<=2\n  -3*P11-2*P12+5*P15>=1");
    std::printf(
        "\n\nThe file of -m lists places separated by commas, for example\n  P1, P3, P5, EXIT_PLACE2\nvorga checks "
        "that no reachable marking puts tokens on two of them.");
    std::printf(
        "\n\nWith -t the trail found is a shortest one; the search may take much longer.");
    std::printf("\n\nIf outputfilename is omitted, then stdout is used.\n");
}

// Parses the options into settings; false when the program is to stop.
bool parse_options(int argc, char** argv) {
    static const char* const no_data[] = {
        "", "\n Error: no data for deadlock checking!\n", "\n Error: no data for reachability analysis!\n",
        "\n Error: no data for coverability analysis!\n", "\n Error: no data for extended reachability analysis!\n",
        "\n Error: no data for mutual exclusion checking!\n"};
    int i = 1;
    for (; i < argc; ++i) {
        const char* a = argv[i];
        if (a[0] != '-') break;
        unsigned char c = static_cast<unsigned char>(a[1]);
        auto digit = [&]() { return std::isdigit(static_cast<unsigned char>(a[2])) ? a[2] - '0' : 0; };
        int mode = 0;
        switch (c) {
            case 'h':
                help(true);
                return false;
            case '!': {
                int n = digit();
                settings.branching = static_cast<std::int8_t>(n);
                std::printf("\nBranching condition %d is used (-!%d option)\n", n, n);
                continue;
            }
            case 'M': {
                int n = digit();
                settings.memory = static_cast<std::int8_t>(n);
                std::printf("\nMemory saving mode (-M%d option)\n", n);
                continue;
            }
            case 'i':
                settings.internal = true;
                std::printf("\nDead \"internal\" tokens in a final marking are allowed according to -i option\n");
                continue;
            case 's':
                settings.safe = true;
                std::printf("\nThe system is supposed to be safe (-s option)\n");
                continue;
            case 't':
                settings.shortest = true;
                std::printf("\nLooking for a shortest trail according to -t option\n");
                continue;
            case 'w':
                settings.wait = true;
                std::printf("\nWait mode (-w option)\n");
                continue;
            case 'd': mode = MODE_DEADLOCK; break;
            case 'r': mode = MODE_REACH; break;
            case 'c': mode = MODE_COVER; break;
            case 'e': mode = MODE_EXT_REACH; break;
            case 'm': mode = MODE_MUTEX; break;
            default:
                std::fprintf(stderr, "\n Error: unrecognized option: %s\n", a);
                WorstExitCode(2);
                return false;
        }
        if (settings.mode != MODE_NONE) {
            std::fprintf(stderr, mode == MODE_MUTEX
                                     ? "\n Error: only one option among -d, -r, -c, -e, -m may be specified!\n"
                                     : "\n Error: only one option among -d, -r, -c, -e, -m may be specified.\n");
            WorstExitCode(2);
            return false;
        }
        if (argc - i - 1 < 2) {
            std::fputs(no_data[mode], stderr);
            WorstExitCode(2);
            return false;
        }
        settings.mode = mode;
        settings.data = argv[++i];
    }
    if (i >= argc) {
        std::fprintf(stderr, "\n Error: unfolding file name must be specified!\n");
        WorstExitCode(2);
        return false;
    }
    settings.mci = argv[i];
    if (i + 1 < argc) settings.output = argv[i + 1];
    if (settings.mode == MODE_NONE) settings.mode = MODE_DEADLOCK;
    return true;
}

// Writes a piece of the result on the result stream, and on standard output too
// when the result stream is a file.
void emit(std::FILE* out, const std::string& s) {
    std::fputs(s.c_str(), out);
    if (out != stdout) std::fputs(s.c_str(), stdout);
}

void print_verdict(int mode, bool found) {
    const char* text = nullptr;
    switch (mode) {
        case MODE_REACH:
        case MODE_EXT_REACH:
            text = found ? "\nthe marking is reachable\n" : "\nthe marking is unreachable\n";
            break;
        case MODE_COVER: text = found ? "\nthe marking is coverable\n" : "\nthe marking is uncoverable\n"; break;
        case MODE_MUTEX:
            text = found ? "\nplaces are not mutually exclusive\n" : "\nplaces are mutually exclusive\n";
            break;
        default: text = found ? "\nthe system has a deadlock\n" : "\nthe system is deadlock-free\n"; break;
    }
    std::fputs(text, stdout);
}

}  // namespace

int vorga_main(int argc, char** argv) {
    std::set_new_handler(out_of_memory);
    settings = Settings{};
    if (argc < 2) {
        help(false);
        return 0;
    }
    if (!parse_options(argc, argv)) {
        std::fflush(stdout);
        return static_cast<int>(settings.worst);
    }
    std::FILE* out = stdout;
    if (settings.output) {
        // The result file must not replace an input, by any name or link.
        std::vector<std::string> inputs{settings.mci};
        if (settings.data) inputs.push_back(*settings.data);
        if (const std::string* in = outfile::names_input(*settings.output, inputs)) {
            std::fprintf(stderr, "\n Error: output file %s would replace the input %s!\n",
                         settings.output->c_str(), in->c_str());
            WorstExitCode(2);
            std::fflush(stdout);
            return static_cast<int>(settings.worst);
        }
        // The result file takes its name only when the run has answered.
        const std::string& o = *settings.output;
        std::FILE* f = outfile::open(o);
        if (!f) {
            std::fprintf(stderr, "\n Warning: unable to open %s for output; stdout is used instead\n", o.c_str());
            WorstExitCode(1);
        } else {
            out = f;
        }
    }
    {
        unfolding unf;
        unfolding::ReadStatus rs = unf.ReadUnfolding(settings.mci);
        if (rs != unfolding::ReadStatus::ok) {
            WorstExitCode(2);
            if (out != stdout) std::fclose(out);
            outfile::discard();
            std::fflush(stdout);
            return static_cast<int>(settings.worst);
        }
        std::printf("\nfile: %s", settings.mci.c_str());
        std::printf("\n|B|=%7u; |E|=%7u; |Ecut|=%7u\n", unf.n_conditions(), unf.n_events(), unf.cutoff_count());
        if (settings.mode == MODE_MUTEX && settings.branching < 0) settings.branching = 2;
        std::unique_ptr<mc_problem> problem = make_problem(unf, settings);
        problem->read_input(settings.data ? settings.data->c_str() : nullptr);
        if (problem->status <= 1) {
            bool found = problem->run();
            if (found) {
                emit(out, "YES\n_SEQUENCE:\n");
                std::string seq;
                for (std::size_t k = 0; k < problem->trail->size(); ++k) {
                    if (k) seq += ",";
                    seq += unf.trans_names[(*problem->trail)[k].second - 1];
                }
                emit(out, seq);
                emit(out, "\n");
                std::printf("\npath length: %zu\n", problem->trail->size());
            } else {
                emit(out, "NO");
            }
            print_verdict(settings.mode, found);
        }
        std::uint32_t st = problem->status;
        problem.reset();
        WorstExitCode(st);
    }
    // A result that did not reach its stream is not reported as written:
    // the result file only echoes standard output (a warning), while a
    // result on standard output alone is lost (an error).
    if (out != stdout) {
        const bool failed = std::ferror(out) != 0;
        if (std::fclose(out) != 0 || failed) {
            outfile::discard();
            std::fprintf(stderr, "\n Warning: unable to write %s\n", settings.output->c_str());
            WorstExitCode(1);
        }
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        if (out == stdout) {
            std::fprintf(stderr, "\n Error: unable to write the result on stdout\n");
            WorstExitCode(2);
        }
    }
    // A run that gave no answer leaves the earlier result file as it was.
    if (settings.worst >= 2) {
        outfile::discard();
    } else if (!outfile::commit()) {
        std::fprintf(stderr, "\n Warning: unable to write %s\n", settings.output->c_str());
        WorstExitCode(1);
    }
    if (settings.wait) {
        // Waits until a word has been entered after the pushed-back letter;
        // the word is read but not kept, so that endless input without white
        // space does not fill the memory.
        std::ungetc('a', stdin);
        int c = std::getchar();
        while (c != EOF && !std::isspace(c)) c = std::getchar();
    }
    return static_cast<int>(settings.worst);
}

}  // namespace vorga
