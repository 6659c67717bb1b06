// The complement net: the input net extended by one place "|p" per place p,
// marked exactly when p is unmarked, and its writer.
#pragma once

#include <string>

#include "net.h"

namespace cosweep {

// Names derived from the net file N: the complement net C (ring.ll_net ->
// ring.comp.ll_net) and the stem S of the prefix files (ring.comp).
struct DerivedNames {
    std::string complement;   // C
    std::string stem;         // S
    std::string mci() const { return stem + ".mci"; }
    std::string bin_coco() const { return stem + ".bin_coco"; }
};
// Throws CosweepError when the file name has no '.' in its last component.
DerivedNames derive_names(const std::string& net_file);

// Throws CosweepError when the net holds a place "|p" beside a place "p".
void check_no_complement_places(netlib::NET* net);

// Extends the net by the complement places and writes it to `path`
// (WriteComplementNet).  A place marked with more than one token is refused
// (CosweepError "ERROR: Netz ist nicht sicher!").
void ComplementNet(netlib::NET* net, const std::string& path, bool components);

// Writes the net in the VOS format with its kept fields; with `components`
// each place and its complement place form one component.  The file takes
// its name only once it is complete (through outfile, whose staged files
// are committed here); ends the program with a syntax error (exit 10) when
// the file cannot be written, leaving the earlier file as it was.
void WriteComplementNet(netlib::NET* net, const std::string& path, bool components);

}  // namespace cosweep
