#include "cosweep_driver.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "cosweep_error.h"
#include "cosweep_net.h"
#include "cosweep_prefix.h"
#include "cosweep_search.h"
#include "prefixfile.h"
#include "net.h"
#include "outfile.h"
#include "vos.h"

namespace cosweep {

namespace {

void usage() {
    std::printf("\ncosweep -- reachability analysis based on co-sets\n\n");
    std::printf("Usage: cosweep [-K] <ll_net> <formula_file>\n\n");
    std::printf("  -K  let trelmik compute the prefix by its component-based unfolding\n\n");
    std::printf("Version 0.1\n\n");
}

// Whether the file opens for reading (a directory does not).
bool can_open(const std::string& path) {
    std::FILE* f = prefixfile::open_for_reading(path, false);
    if (!f) return false;
    std::fclose(f);
    return true;
}

// Whether `file` exists and was written no earlier than `source`.
bool up_to_date(const std::string& file, const std::string& source) {
    struct stat a, b;
    if (::stat(file.c_str(), &a) != 0 || !S_ISREG(a.st_mode)) return false;
    if (::stat(source.c_str(), &b) != 0) return false;
    if (a.st_mtim.tv_sec != b.st_mtim.tv_sec) return a.st_mtim.tv_sec > b.st_mtim.tv_sec;
    return a.st_mtim.tv_nsec >= b.st_mtim.tv_nsec;
}

struct NetOwner {
    netlib::NET* net = nullptr;
    ~NetOwner() { netlib::delete_net(net); }
};

// Whether every place of the net in the file carries a component number.
bool has_components(const std::string& path) {
    NetOwner net;
    net.net = netlib::read_new_VOS(path);
    for (const netlib::NET_NODE* p = net.net->first_place; p; p = p->next)
        if (p->aux == 0) return false;
    return true;
}

int check(bool component_loop, const std::string& net_file, const std::string& formula_file) {
    if (!can_open(net_file)) {
        const char* pwd = std::getenv("PWD");
        std::fflush(stdout);
        std::fprintf(stderr, "ERROR (hurz!): Datei #%s# konnte nicht geoeffnet werden!\n", net_file.c_str());
        std::fprintf(stderr, "PWD=%s\n", pwd ? pwd : "");
        return 1;
    }
    if (!can_open(formula_file))
        throw CosweepError("ERROR: Datei " + formula_file + " konnte nicht geoeffnet werden!\n");
    const DerivedNames names = derive_names(net_file);
    // No file cosweep writes (or has trelmik write) may replace an input.
    const std::vector<std::string> inputs{net_file, formula_file};
    for (const std::string& out : {names.complement, names.mci(), names.bin_coco()})
        if (const std::string* in = outfile::names_input(out, inputs))
            throw CosweepError("ERROR: Ausgabedatei " + out + " wuerde die Eingabe " + *in + " ersetzen!\n");

    netlib::vos_options.keep_extras = true;
    // The complement net is reused when it is not older than the net (and,
    // for the component loop, carries the components); otherwise it is made
    // anew from the net, which is read only then.
    const bool fresh_complement =
        !up_to_date(names.complement, net_file) || (component_loop && !has_components(names.complement));
    if (fresh_complement) {
        NetOwner input;
        input.net = netlib::read_new_VOS(net_file);
        check_no_complement_places(input.net);
        ComplementNet(input.net, names.complement, component_loop);
    }

    const std::string mci = names.mci(), coco = names.bin_coco();
    if (fresh_complement || !up_to_date(mci, names.complement) || !up_to_date(coco, names.complement)) {
        // Stale files must not be read if trelmik fails to replace them.
        std::remove(mci.c_str());
        std::remove(coco.c_str());
        std::string command;
        if (component_loop) {
            command = "echo y|trelmik -ctCK=" + shell_quote(names.complement) + " -m=" + shell_quote(names.stem) +
                      " -M=" + shell_quote(names.stem);
        } else {
            // (The net file, and so C, never begins with '-' here: it would
            // have been taken for an option.)
            command = "echo y|trelmik -@@ctC -m=" + shell_quote(names.stem) + " -M=" + shell_quote(names.stem) +
                      " " + shell_quote(names.complement);
        }
        std::fflush(stdout);
        std::fflush(stderr);
        int status = std::system(command.c_str());
        (void)status;   // a failure shows when the prefix is read
    }

    // The prefix names the places of the complement net it was unfolded
    // from; the formula lines are read against them.
    Prefix prefix = readMCI(mci);
    CoSearch search(prefix);
    search.read_co_relation(coco);

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(prefixfile::open_for_reading(formula_file, false), &std::fclose);
    if (!f) throw CosweepError("ERROR: Datei " + formula_file + " konnte nicht geoeffnet werden!\n");
    while (!search.found()) {
        if (search.ReadMarkingLine(f.get(), formula_file)) break;
        search.decide_line();
    }
    f.reset();
    if (search.found()) {
        std::printf("\nYES!\n");
        search.PrintFiringSequence(stdout);
    } else {
        std::printf("\nNO!\n");
    }
    // A verdict that did not reach standard output is no answer.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw CosweepError("ERROR: Ergebnis konnte nicht geschrieben werden!\n");
    return 0;
}

}  // namespace

std::string shell_quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

int run(int argc, char** argv) {
    netlib::edition = netlib::Edition::Cosweep;
    netlib::install_memory_handler();
    if (argc <= 2) {
        usage();
        return 0;
    }
    bool component_loop = false;
    int first = 1;
    if (argv[1][0] == '-') {
        if (argv[1][1] != 'K') {
            std::fflush(stdout);
            std::fprintf(stderr, "ERROR: %s ist keine Option!\n", argv[1]);
            std::fflush(stderr);
            usage();
            return 1;
        }
        if (argc < 4) {
            usage();
            return 0;
        }
        component_loop = true;
        first = 2;
    }
    try {
        return check(component_loop, argv[first], argv[first + 1]);
    } catch (const CosweepError& e) {
        std::fflush(stdout);
        std::FILE* out = e.stream == CosweepError::Stream::Out ? stdout : stderr;
        std::fwrite(e.text.data(), 1, e.text.size(), out);
        std::fflush(out);
        return e.code;
    }
}

}  // namespace cosweep
