// High-level net files ("HLNet") and high-level reference files: the reader
// read_VOS, the writer write_HLNet with the output driver, and the B(PN)2
// reference writer and reader with the source-text routines.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "mnet_net.h"

namespace mnet {

// Reads an HLNet file into a new net (box flag 1).  In source-net mode a
// reference path (not null) is read after the net with read_REF.
MNet* read_VOS(const std::string& net_path, const char* ref_path);
void write_HLNet(MNet* net, std::FILE* f);

// Opens the file for writing ("Error: Could not open file %s !\n", exit 3),
// announces it, lets the writer fill it and closes it; write and close
// errors also end the program with code 3.  The text goes to a staged file
// beside the output (outfile.h): it replaces the output only when the
// program calls commit_outputs(), and an exit before that leaves the
// earlier file as it was.
void write_output_file(const std::string& path, MNet* net, void (*writer)(MNet*, std::FILE*));
// The net file, then the reference file when one is named.
void write_outputs(MNet* net);
// Puts every staged output of the run in place; a file that cannot be
// replaced ends the program with "Error: Could not write file %s !\n" and
// code 3.  Called once, when the run has succeeded.
void commit_outputs();

// Reference files.
void write_BPN2_refs(MNet* net, std::FILE* f);
void read_REF(const std::string& path, MNet* net);
void write_ref_coords(std::uint16_t number, int quote_flags, std::FILE* f);
// Source text of a reference with its decoration; empty for number 0 and for
// nonsensical or out-of-range references (reported at level info).
std::string source_ref_text(std::uint16_t number, std::uint16_t decoration);
void write_source_ref(std::uint16_t number, std::uint16_t decoration, std::FILE* f);
// The `b` field of the references selected for an element's label.
void write_ref_label(std::FILE* f, const std::vector<RefEntry>& refs, bool for_places, std::uint32_t number);
// Forgets the loaded source text (a new source file name takes effect).
void reset_source_text();

}  // namespace mnet
