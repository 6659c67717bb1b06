#include "drivers.h"

#include <cstdio>
#include <functional>
#include <new>
#include <string>

#include <getopt.h>
#include <unistd.h>

#include "apnn.h"
#include "ctl.h"
#include "cycles.h"
#include "encoding.h"
#include "output.h"
#include "product.h"

namespace zbdd {

namespace {

constexpr std::uint32_t kCyrtalRefs = 10000;
constexpr std::uint32_t kMovraneRefs = 50;

bool endsWithBn(const std::string& name) {
    return name.size() >= 3 && name.compare(name.size() - 3, 3, ".bn") == 0;
}

void cyrtalUsage() {
    std::fputs("CYRTAL Version 3.0: a simple LTL model checker for safe B\xFC" "chinets based on ZBDDs\n"
               "usage: cyrtal [-f|-b|-d] bnfile\n"
               "\t-f\tFwdCycleCheck\n"
               "\t-b\tBwdCycleCheck\n"
               "\t-d\tSymbolicDFS\n"
               "\n"
               "Authors: the VOS ZBDD checker developers\n",
               stdout);
    std::fflush(stdout);
}

int runCyrtal(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        cyrtalUsage();
        return 1;
    }
    bool fwd = false, bwd = false, dfs = false;
    SizeChoice size = SizeChoice::Medium;
    optind = 0;
    for (int c; (c = getopt(argc, argv, "smxlfbd")) != -1;) {
        switch (c) {
        case 's': size = SizeChoice::Small; break;
        case 'm': size = SizeChoice::Medium; break;
        case 'l': size = SizeChoice::Large; break;
        case 'x': size = SizeChoice::ExtraLarge; break;
        case 'f': fwd = true; break;
        case 'b': bwd = true; break;
        case 'd': dfs = true; break;
        default: cyrtalUsage(); return 1;
        }
    }
    if (optind >= argc) {
        cyrtalUsage();
        return 1;
    }
    const TimeStamp start = takeTime();
    const std::string name = argv[optind];
    std::string text;
    if (!endsWithBn(name) || !readFile(name, text)) fatal("Could not open file: %s\n", name.c_str());
    NetTables net;
    net.dialect = Dialect::Cyrtal;
    buildNetTables(net, text, name);
    NetEncoding enc;
    enc.setupEncoding(net, true, true, cyrtalModelSize(size), kCyrtalRefs);
    manager().resetStatistics();
    const TimeStamp setupEnd = takeTime();
    if (bwd) {
        const TimeStamp t0 = takeTime();
        message("Start reachability set computation:\n");
        enc.computeRS();
        const TimeStamp t1 = takeTime();
        if (!enc.safeQ(enc.rs)) fatal("\n\nOnly safe nets are supported!\n");
        message("\n\nNet is safe!\n");
        message("\n-> reachability set: #nodes %d #states %s\n", static_cast<int>(enc.rs.nodeCount()),
                enc.rs.stateCount().toString().c_str());
        message("RS computation time: %s\n\n", timeText(t0, t1).c_str());
    }
    if (fwd) {
        const bool holds = fwdCycleCheck(enc);
        message(holds ? "\nFwdCycleCheck: The Formula is true\n" : "\nFwdCycleCheck: The Formula is false\n");
        message("FwdCycleCheck computation time: %s\n\n", timeText(setupEnd, takeTime()).c_str());
    }
    if (bwd) {
        const bool holds = bwdCycleCheck(enc);
        message(holds ? "\nBwdCycleCheck: The Formula is true\n" : "\nBwdCycleCheck: The Formula is false\n");
        message("BwdCycleCheck computation time: %s\n\n", timeText(setupEnd, takeTime()).c_str());
    }
    if (dfs) {
        const bool holds = symbolicDfs(enc);
        message(holds ? "\n\nSymbolicDFS: The Formula is true\n" : "\n\nSymbolicDFS: The Formula is false\n");
        message("SymbolicDFS computation time: %s\n\n", timeText(setupEnd, takeTime()).c_str());
    }
    message("Total time: %s\n\n", timeText(start, takeTime()).c_str());
    message("ZBDD statistic:\n");
    manager().printStatistics(true);
    return 0;
}

void movraneUsage() {
    std::fputs("MOVRANE Version 2.0: a simple CTL model checker for safe Petri nets based on ZBDDs\n"
               "usage: movrane [-h][-v][-r][-s|m|l|x] netfile ctlfile\n"
               "\t-h\tprint this message\n"
               "\t-v\tverbose\n"
               "\t-r\tonly compute reachability set\n"
               "\t-s\tsmall  model (approx. 10MB  memory)\n"
               "\t-m\tmedium model (approx. 30MB  memory, default)\n"
               "\t-l\tlarge  model (approx. 50MB  memory)\n"
               "\t-x\txlarge model (approx. 250MB memory)\n"
               "\n"
               "Authors:\n"
               "\tthe VOS ZBDD checker developers\n",
               stdout);
    std::fflush(stdout);
}

int runMovrane(int argc, char** argv) {
    if (argc < 2) {
        movraneUsage();
        return 1;
    }
    bool onlyRS = false;
    SizeChoice size = SizeChoice::Medium;
    setDebugLevel(0);
    optind = 0;
    for (int c; (c = getopt(argc, argv, "smlxvhr")) != -1;) {
        switch (c) {
        case 's': size = SizeChoice::Small; break;
        case 'm': size = SizeChoice::Medium; break;
        case 'l': size = SizeChoice::Large; break;
        case 'x': size = SizeChoice::ExtraLarge; break;
        case 'v': setDebugLevel(3); break;
        case 'r': onlyRS = true; break;
        default: movraneUsage(); return 1;
        }
    }
    if (optind >= argc) {
        movraneUsage();
        return 1;
    }
    message("MOVRANE Version 2.0\n");
    const TimeStamp start = takeTime();
    const std::string netName = argv[optind];
    CtlFile formulas;
    if (optind + 1 < argc) {
        const std::string ctlName = argv[optind + 1];
        std::string ctlText;
        if (!readFile(ctlName, ctlText)) fatal("Could not open file: %s\n", ctlName.c_str());
        formulas = parseCtlFile(ctlText, ctlName);
    } else {
        onlyRS = true;
    }
    std::string text;
    if (!readFile(netName, text)) fatal("Could not open file: %s\n", netName.c_str());
    message("Checking the net: \"%s\"\n", netName.c_str());
    NetTables net;
    net.dialect = Dialect::Movrane;
    buildNetTables(net, text, netName);
    if (!onlyRS) resolveCtlNames(formulas, net);
    NetEncoding enc;
    enc.setupEncoding(net, true, true, movraneModelSize(size), kMovraneRefs);
    manager().resetStatistics();
    const TimeStamp t0 = takeTime();
    message("Start reachability set computation:\n");
    enc.computeRS();
    const TimeStamp t1 = takeTime();
    message("\n-> reachability set: #nodes %d #states %s\n", static_cast<int>(enc.rs.nodeCount()),
            enc.rs.stateCount().toString().c_str());
    message("RS computation time: %s\n\n", elapsedText(t0, t1).c_str());
    if (!enc.safeQ(enc.rs)) fatal("Only safe nets are supported!\n");
    if (!onlyRS) {
        const TimeStamp m0 = takeTime();
        checkFormulas(formulas, enc);
        message("Total MC time: %s\n\n", elapsedText(m0, takeTime()).c_str());
    }
    message("Total time: %s\n\n", elapsedText(start, takeTime()).c_str());
    message("ZBDD statistic:\n");
    manager().printStatistics(false);
    return 0;
}

int pelwickUsage() {
    std::fputs("PELWICK Version 2.0\n"
               "usage: pelwick [-f|-b|-d] pnfile bafile\n"
               "Authors: the VOS ZBDD checker developers\n",
               stderr);
    return 1;
}

int runPelwick(int argc, char** argv) {
    if (argc != 4) return pelwickUsage();
    bool scheduler = false;
    optind = 0;
    for (int c; (c = getopt(argc, argv, "fbd")) != -1;) {
        if (c == 'd')
            scheduler = true;
        else if (c != 'f' && c != 'b')
            return pelwickUsage();
    }
    if (optind != 2) return pelwickUsage();
    const std::string netName = argv[2], baName = argv[3];
    std::string netText, baText;
    if (!readFile(netName, netText)) fatal("Could not open file: %s\n", netName.c_str());
    NetTables net;
    net.dialect = Dialect::Pelwick;
    buildNetTables(net, netText, netName);
    if (!readFile(baName, baText)) fatal("Could not open file: %s\n", baName.c_str());
    BuchiAutomaton ba = readAutomaton(baText, baName, net);
    const std::string out = buildProduct(net, ba, scheduler);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int guardedMain(const std::function<int()>& body) {
    try {
        const int status = body();
        // A verdict or a Büchi net that never reached its stream (a full
        // disk, a closed pipe) is not a success.
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fputs("Could not write to the standard output stream\n", stderr);
            std::fflush(stderr);
            return 1;
        }
        return status;
    } catch (const Fatal& e) {
        std::fflush(stdout);
        std::fwrite(e.text().data(), 1, e.text().size(), stderr);
        std::fflush(stderr);
        return 1;
    } catch (const std::bad_alloc&) {
        // Memory the package does not manage itself (names, formulas, the
        // reader's tables) ends the run like its own exhaustion does.
        std::fflush(stdout);
        std::fputs("Out of memory\n", stderr);
        std::fflush(stderr);
        return 1;
    }
}

int cyrtalMain(int argc, char** argv) { return guardedMain([&] { return runCyrtal(argc, argv); }); }
int movraneMain(int argc, char** argv) { return guardedMain([&] { return runMovrane(argc, argv); }); }
int pelwickMain(int argc, char** argv) { return guardedMain([&] { return runPelwick(argc, argv); }); }

}  // namespace zbdd
