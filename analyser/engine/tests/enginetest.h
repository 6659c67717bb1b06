// Helpers of the engine's tests: in-process generations of described nets,
// an independent reader of the graph files, random nets with weights, test
// and double arcs, and the command-line analyser.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "petri_test.h"
#include "ptnet.h"

namespace enginetest {

// The graph files read byte by byte, without the engine's queries.
struct RawArrow {
    std::uint32_t address = 0, word0 = 0, source = 0, previous = 0, target = 0, next = 0;
    std::string label;
    bool visible() const { return word0 & 1; }
    std::uint32_t ordinal() const { return word0 >> 2; }
};
struct RawNode {
    std::uint32_t address = 0, ordinal = 0, count = 0, first = 0, component = 0, predecessor = 0, left = 0;
    std::string contents;
    std::vector<RawArrow> arrows;  // in the order of the node's arrow list
};
struct RawGraph {
    bool ok = false;
    std::string error;
    std::vector<std::uint32_t> header;
    std::vector<RawNode> nodes;                     // by ordinal
    std::map<std::uint32_t, std::size_t> byAddress; // node address -> ordinal
    std::vector<std::uint32_t> terminal;            // ordinals, along the chain
};
RawGraph ReadRaw(const std::string& base);

// Node contents as a marking of places 0 .. places-1: as PlcEncode writes
// them (slot = place), or as the state strings of the generated successor
// function (header word 11 is 0), for places of arity 0.
testsupport::Marking Decode(const std::string& contents, int places);
testsupport::Marking DecodeState(const std::string& contents, int places);
// The numbers of a label.
std::vector<std::uint32_t> LabelValues(const std::string& label);
std::string Hex(const std::string& bytes);

// An in-process generation: the net's files under base, the options of the
// engine main (without the net name; small -m and -h unless given), run to
// the end; the engine's tables
// are released afterwards.  _out goes to a scratch file meanwhile.
void Generate(const ptnet::Net& net, const std::string& base, const std::vector<std::string>& options,
              bool withDat = true);

// The same, interrupted after `first` nodes (the graph closed for a
// continuation, as SIGINT does) and then continued with -c.
void GenerateInterrupted(const ptnet::Net& net, const std::string& base, const std::vector<std::string>& options,
                         unsigned long first);

// Only the first part of that: the graph closed for a continuation after
// `first` nodes.
void Interrupted(const ptnet::Net& net, const std::string& base, const std::vector<std::string>& options,
                 unsigned long first);

// A random bounded net: at most maxPlaces places and maxTrans transitions,
// weights 1 to 3, test arcs and double arcs, tokens 0 to 2 per place, with
// at most maxStates reachable markings (seeds are skipped until one fits).
testsupport::TestNet RandomNet(std::uint64_t seed, int maxPlaces = 8, int maxTrans = 8, std::size_t maxStates = 400);

// The analyser built for described nets, run in dir on base with the
// arguments; PTNET_ARCS names base's description.
testsupport::RunResult Analyser(const std::string& dir, const std::string& base, const std::string& args);
testsupport::RunResult Dump(const std::string& dir, const std::string& base);

// Runs the net compiler in dir on base.net (written from text); its exit
// status.
int Tulc(const std::string& dir, const std::string& base, const std::string& text);

// The files of a directory with their contents.
std::map<std::string, std::string> Files(const std::string& dir);

}  // namespace enginetest
