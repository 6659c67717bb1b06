#include "velcheck.h"

#include "bra_process.h"
#include "formula.h"
#include "outfile.h"
#include "prefixfile.h"
#include "unf2velt.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace velcheck {

namespace {

void usage(const char* prog) {
    const std::string rule(76, '=');
    std::fprintf(stderr,
                 "%s\n"
                 "Safe net model checker (Veltra reachability translation)\n"
                 "Usage: %s [OPTION]... file1 [file2]\n"
                 "\n"
                 "Options:\n"
                 "        -f=fname : Model check the formula in the file fname\n"
                 "        -D       : Deadlock check the net (default)\n"
                 "        -O0      : Do not optimize the translation\n"
                 "        -O1      : Do only guaranteed linear time optimizations\n"
                 "        -O2      : Do cheap polynomial time optimizations\n"
                 "        -O3      : Do also enabledness closure (default)\n"
                 "        -O4      : Do expensive optimizations (much slower than O3)\n"
                 "        -n       : Use veltra with no lookahead (fast for easy examples)\n"
                 "        -d       : Produce veltra translation only (for debugging)\n"
                 "        -v       : Give verbose translation statistics\n"
                 "\n"
                 "        file1 : input file containing unfolding\n"
                 "                extension '.mci': binary coded format\n"
                 "        file2 : output result file\n"
                 "\n"
                 "velcheck version 1.0, built %s\n"
                 "%s\n",
                 rule.c_str(), prog, __DATE__, rule.c_str());
}

struct Options {
    const char* file1 = nullptr;
    const char* file2 = nullptr;
    const char* formula = nullptr;
    int level = 3;
    bool lookahead = true;
    bool print_only = false;
    bool verbose = false;
};

bool parse_options(int argc, char** argv, Options& o) {
    bool f_given = false, d_given = false;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (a[0] == '-') {
            if (std::strncmp(a, "-f=", 3) == 0) {
                o.formula = a + 3;
                f_given = true;
            } else if (std::strcmp(a, "-D") == 0) {
                o.formula = nullptr;
                d_given = true;
            } else if (a[1] == 'O' && a[2] >= '0' && a[2] <= '3' && a[3] == '\0') {
                o.level = a[2] - '0';
            } else if (std::strcmp(a, "-n") == 0) {
                o.lookahead = false;
            } else if (std::strcmp(a, "-d") == 0) {
                o.print_only = true;
            } else if (std::strcmp(a, "-v") == 0) {
                o.verbose = true;
            } else {
                return false;
            }
        } else if (!o.file1) {
            o.file1 = a;
        } else if (!o.file2) {
            o.file2 = a;
        } else {
            return false;
        }
    }
    return o.file1 && !(f_given && d_given);
}

struct Closer {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, Closer>;

// User plus system time as seconds and milliseconds.
void split_time(long sec, long usec, long& s, long& ms) {
    s = sec + usec / 1000000;
    ms = usec / 1000;
    if (ms > 999) ms -= 1000;
}

}  // namespace

namespace {

const char* program_name = "velcheck";

// An allocation that fails ends the program (exit 3).
void out_of_memory() {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: Out of memory\n", program_name);
    std::exit(3);
}

}  // namespace

int run(int argc, char** argv) {
    const char* prog = argc > 0 ? argv[0] : "velcheck";
    program_name = prog;
    std::set_new_handler(out_of_memory);
    Options o;
    if (!parse_options(argc, argv, o)) {
        usage(prog);
        return 1;
    }
    const bool formula_mode = o.formula != nullptr;

    File in(prefixfile::open_for_reading(o.file1));
    if (!in) {
        std::fprintf(stderr, "%s: No such prefix file: %s\n", prog, o.file1);
        return 2;
    }
    if (o.file2) {
        // The output must never replace an input, by any name or link.
        std::vector<std::string> inputs{o.file1};
        if (formula_mode) inputs.push_back(o.formula);
        if (outfile::names_input(o.file2, inputs)) {
            std::fprintf(stderr, "%s: Output file is the same as an input file: %s\n", prog, o.file2);
            return 2;
        }
        // Standard output goes to the output file, which takes its name only
        // when the run has succeeded (a failed run leaves the earlier file).
        std::fflush(stdout);
        const int fd = outfile::open_fd(o.file2);
        if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) {
            std::fprintf(stderr, "%s: Could not open output file: %s \n", prog, o.file2);
            return 2;
        }
        if (fd != STDOUT_FILENO) close(fd);
    }
    File formula_file;
    if (formula_mode) {
        formula_file.reset(prefixfile::open_for_reading(o.formula));
        if (!formula_file) {
            std::fprintf(stderr, "%s: No such formula file: %s\n", prog, o.formula);
            return 3;
        }
    }

    BraProcess prefix;
    try {
        prefix.Load(prefixfile::read_mci(in.get(), o.file1));
    } catch (const prefixfile::ReadError& e) {
        std::fprintf(stderr,
                     e.failure == prefixfile::Failure::ReadFailed ? "%s: Could not read prefix file: %s\n"
                                                                  : "%s: Malformed prefix file: %s\n",
                     prog, o.file1);
        return 2;
    }

    FormulaTree tree;
    if (formula_mode) {
        const ParseResult r = ParseFormula(formula_file.get(), prefix, tree, stderr);
        formula_file.reset();
        if (!r.ok) return 1;
        if (!IsSimpleReachability(tree)) {
            std::fprintf(stderr, "Formula is not simple reachability, aborting!\n");
            return 1;
        }
        TreeOptimize(tree);
        EvaluatePlacesInInitialState(tree, prefix);
        TreeOptimize(tree);
    }

    const bool has_cutoffs = prefix.first_cutoff != 0;
    std::unique_ptr<Unf2Velt> translator;
    if (formula_mode || has_cutoffs) {
        translator = std::make_unique<Unf2Velt>(prefix);
        translator->SetOptimizationLevel(o.level);
    }
    bool decided = false, negated = false;
    if (formula_mode)
        decided = translator->CreateReachabilityProgram(tree, o.print_only, negated);
    else if (has_cutoffs)
        translator->CreateDeadlockProgram(o.print_only);

    std::FILE* out = stdout;
    if (o.print_only) {
        if (translator)
            translator->PrintProgram(out);
        else
            std::fprintf(out, "no_cutoffs.\n");
    } else {
        struct rusage before {}, after {};
        getrusage(RUSAGE_SELF, &before);
        if (formula_mode) {
            const bool found = !decided && translator->SolveProgram(o.lookahead);
            if (decided || found) {
                std::fprintf(out, negated ? "FALSE\n" : "TRUE\n");
                getrusage(RUSAGE_SELF, &after);
                if (found) {
                    translator->ModelToConfiguration();
                    translator->PrintConfiguration(out);
                } else if (translator->has_witness()) {
                    translator->PrintConfiguration(out);
                }
            } else {
                std::fprintf(out, negated ? "TRUE\n" : "FALSE\n");
                getrusage(RUSAGE_SELF, &after);
            }
        } else if (!has_cutoffs) {
            std::fprintf(out, "FALSE - EVERY\n");
            getrusage(RUSAGE_SELF, &after);
        } else if (translator->SolveProgram(o.lookahead)) {
            std::fprintf(out, "FALSE\n");
            getrusage(RUSAGE_SELF, &after);
            if (!translator->DeadlockSanityCheck(out)) {
                std::fflush(out);
                return 2;
            }
        } else {
            std::fprintf(out, "TRUE\n");
            getrusage(RUSAGE_SELF, &after);
        }
        std::fflush(out);
        struct rusage total {};
        getrusage(RUSAGE_SELF, &total);
        long s, ms;
        split_time(total.ru_utime.tv_sec + total.ru_stime.tv_sec,
                   total.ru_utime.tv_usec + total.ru_stime.tv_usec, s, ms);
        std::fprintf(out, "\nTime needed:      %ld.%.3ld\n", s, ms);
        if (o.verbose) {
            std::fprintf(out, "\nVeltra statistics:\n");
            if (!translator) {
                std::fprintf(out, "\nProgram not generated (no cutoff events)\n");
            } else {
                auto diff = [](const timeval& a, const timeval& b, long& sec, long& usec) {
                    sec = a.tv_sec - b.tv_sec;
                    usec = a.tv_usec - b.tv_usec;
                    if (usec < 0) {
                        usec += 1000000;
                        sec -= 1;
                    }
                };
                long us, uu, ss, su;
                diff(after.ru_utime, before.ru_utime, us, uu);
                diff(after.ru_stime, before.ru_stime, ss, su);
                split_time(us + ss, uu + su, s, ms);
                std::fprintf(out, "\nDuration: %ld.%.3ld\n", s, ms);
                translator->PrintStatistics(out);
            }
        }
    }
    if (std::fflush(out) != 0 || std::ferror(out)) {
        std::fprintf(stderr, "%s: Could not write output file: %s\n", prog,
                     o.file2 ? o.file2 : "standard output");
        return 2;
    }
    if (o.file2 && (std::fclose(stdout) != 0 || !outfile::commit())) {
        std::fprintf(stderr, "%s: Could not write output file: %s\n", prog, o.file2);
        return 2;
    }
    return 0;
}

}  // namespace velcheck
