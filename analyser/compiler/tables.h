// The binary table file <net>.dat that the analyser reads at run time.
//
// Words are 4 bytes little-endian; a record is a word L and L bytes;
// numbers inside records are in the number code (signed values mapped
// first).  In order: the head (offset of the name part, tester place index
// or 0xFFFFFFFF, number of classes), the place profile, the variable
// counts, the fd counts, the let sets, the initial marking, the tester part
// (tester values and the Büchi automaton), and the names of transitions,
// variables, #enum constants, classes and places.
#pragma once

#include <string>

namespace tulc {

// The bytes of the file (word 0 already holds the offset of the name part).
std::string TableBytes();
// Writes the file; ends the program with status 1 when it cannot be
// written completely.  Returns false when it cannot be created (the
// failure has been reported).
bool WriteTables(const std::string& fileName);

}  // namespace tulc
