// The engine main of an analyser: built once per net and linked with the
// net's code (the generated _CompInst, _CompPrec, _BuchiOK and _Followers,
// or code of a test that describes a net), the engine and the support
// library.  main() is EngineMain(); the steps are open to tests, which run
// a generation in-process.
#pragma once

#include <cstdint>
#include <string>

extern "C" int EngineMain(int argc, char** argv);

namespace engine {

// Exit statuses of an analyser.
enum ExitStatus {
    kExitDone = 0,         // graph complete (or components computed)
    kExitVerdict = 1,      // an on-the-fly check stopped with a report
    kExitLtsOutput = 2,    // the LTS of a stopped graph cannot be written
    kExitUsage = 3,        // wrong command line
    kExitFiles = 4,        // tables or graph files cannot be read, created or continued
    kExitErrorFile = 5,    // the error file of a report cannot be written
    kExitNotBuilt = 6,     // a reduction or check this net cannot have
    kExitInterrupted = 7,  // SIGINT: the graph is closed and can be continued
    kExitCount = 8,        // a token count beyond 4294967295
    kExitTooLarge = 9,     // a graph file beyond 4294967295 bytes
    kExitLts = 11,         // the LTS file cannot be created
    kExitNet = 12          // the net file cannot be created
};

struct Options {
    std::string net;              // base name of the tables (net.dat)
    std::string graph;            // base name of the graph files (default: net)
    bool cont = false;            // -c continue an interrupted generation
    bool components = false;      // -C strongly connected components
    bool instances = false;       // -i successors through PtFollowers
    bool dots = false;            // -d
    bool freeExpansion = false;   // -f
    bool elimination = false;     // -e
    bool defVis = false;          // -v
    bool sleep = false;           // -l
    bool zel = false;             // -z
    bool zelUsers = false;        // -Z
    bool vos = false;             // -n
    bool keys = false;            // -b
    unsigned long memory = 64UL << 20;  // -m
    std::uint32_t hashSize = 1u << 18;  // -h
    std::uint32_t seed = 0;             // -r
    bool stubborn = false;        // -s stubborn sets (the incremental algorithm)
    bool deletion = false;        // -D the deletion algorithm (implies -s)
    bool lazy = false;            // -L lazy stubborn sets (implies -s)
    bool tryAgain = false;        // -T the exhaustive pass of the deletion algorithm (implies -D)
    bool symmetries = false;      // -S
    bool keepMarking = false;     // -M symmetries keep the initial marking (implies -S)
    bool cffd = false;            // -F CFFD-preserving reduction (implies -s)
    bool trRandom = false;        // -R random transition order
    bool plRandom = false;        // -P random place order
    unsigned verbose = 0;         // -V the symmetries printed: 1 generators, 2 also the others
};

// Parses the expanded arguments; false with a message in *error.
bool ParseOptions(int argc, char** argv, Options* options, std::string* error);

// A generation in steps: Start reads the tables, builds the net, creates or
// reopens the graph and stores the start node; Generate expands at most
// maxNodes nodes (0: all) and returns true when the graph is complete;
// Interrupt closes an unfinished graph for a later continuation; Finish
// prints the statistics and closes the complete graph; Release frees the
// tables (tests run several nets in one process).  Failures end the
// process with their exit status.
void Start(const Options& options);
bool Generate(unsigned long maxNodes);
void Interrupt();
void Finish();
void Release();

}  // namespace engine
