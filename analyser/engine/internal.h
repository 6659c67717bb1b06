// Helpers private to the engine's modules.
#pragma once

#include <cstdint>

#include "absolute.h"
#include "graph.h"
#include "tulm.h"

namespace engine {

// An internal error: a newline on _out, the formatted message on _err (it
// starts with a newline), both flushed, then Abort().
[[noreturn]] void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A user-level failure: the formatted message on _err, flushed, then
// Exit(status).
[[noreturn]] void Stop(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The greatest number of slots of a graph's node hash (option -h).
constexpr std::uint32_t kMaxHashSlots = 4194304;

// Little-endian 32-bit words of the binary files.
inline std::uint32_t GetWord(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline void PutWord(unsigned char* p, std::uint32_t w) {
    p[0] = static_cast<unsigned char>(w);
    p[1] = static_cast<unsigned char>(w >> 8);
    p[2] = static_cast<unsigned char>(w >> 16);
    p[3] = static_cast<unsigned char>(w >> 24);
}

}  // namespace engine

namespace engine {

// The ZEL arc line of the arrow being stored waits while a chain of forced
// steps may still move its target; a report that ends the run writes it
// first (netkit).
void FlushPendingZel();

// The token moves of a firing, and their exact inverse (netkit).
void Fire(const TRN* trn);
void Unfire(const TRN* trn);

// Expands the end of _path[3] in the decoded marking after FndEnbl: the
// stubborn set the chosen algorithm finds when `reduce`, otherwise every
// enabled transition (plainnet).
void ExpandEnabled(bool reduce);

// The report of a stop condition: the pending ZEL line, the end of the LTS
// when one is written, then the message on _out (plainnet).
void ReportStop(const char* message);

}  // namespace engine

namespace engine {

// The files of a graph set, and raw access to them through their memory
// copies when there are any (a copy that cannot take a write gives itself
// up and the file is used directly from then on).
enum GraphFile { kNodes = 0, kArrows = 1, kAddrs = 2, kStack = 3 };
void Read(GRAPH* graph, GraphFile which, unsigned long pos, void* buf, unsigned long cnt);
void Write(GRAPH* graph, GraphFile which, unsigned long pos, const void* buf, unsigned long cnt);
std::uint32_t ReadWord(GRAPH* graph, GraphFile which, unsigned long pos);
void WriteWord(GRAPH* graph, GraphFile which, unsigned long pos, std::uint32_t word);
// The bytes at pos in the memory copy, or null when there is no copy or
// they lie beyond its data.
const unsigned char* Peek(GRAPH* graph, GraphFile which, unsigned long pos, unsigned long cnt);
// The words of a node's or arrow's fixed part.
void ReadWords(GRAPH* graph, GraphFile which, unsigned long pos, std::uint32_t* words, unsigned count);
void WriteWords(GRAPH* graph, GraphFile which, unsigned long pos, const std::uint32_t* words, unsigned count);
// Why the node records, arrows, terminal chain or component members of an
// opened graph lie outside their files, or null when they do not: checked
// before a walk over the whole graph (store).
const char* RecordDamage(GRAPH* graph);
// Forgets the cached node (after a write to a node record).
inline void Invalidate(GRAPH* graph) { graph->latest_node = 0xFFFFFFFFu; }
// An open graph's file name with the suffix of its set (rotated by one
// letter for the second graph: "gph" becomes "phg").
char* SetFileName(GRAPH* graph, const char* suffix);

}  // namespace engine
