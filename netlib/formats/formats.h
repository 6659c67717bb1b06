// Readers of the side net formats (old tagged VOS files, signal transition
// graphs, communicating automata, LISP and Matlab nets, incidence matrices and
// GSPN descriptions) and the incidence-matrix writers.
//
// Every reader returns a new NET that the caller owns (free it with
// delete_net).  Syntax errors end the program through syntax_error (exit 10,
// "ERROR: syntax error in file '%s', line %d: %s.\n"); a file that cannot be
// opened ends it with exit 4 after the reader's own message.
#pragma once

#include <cstdio>
#include <string>

#include "net.h"

namespace netlib {

// ---- old tagged VOS format (third header word "FORMAT_A") --------------------
//
// Reads the blocks of a FORMAT_A file from a stream that stands right after
// the header word "FORMAT_A" (read_VOS has read "VOS", the identifier and that
// word, and has set the scanner's file name and line).  `identifier` is the
// file identifier read before ("PetriBox", "PlainNet", ...); it becomes the
// class of the net.  The stream is left open: the caller closes it.
// Honours vos_options.use_current_marking and vos_options.keep_extras.
NET* read_FORMAT_A_impl(std::FILE* f, const std::string& identifier);

// Opens the file, checks the three header words ("keyword 'VOS' expected",
// "file identifier ( 'PlainNet', 'PetriBox', ... ) expected",
// "keyword 'FORMAT_A' expected") and reads the blocks with read_FORMAT_A_impl.
// Open failure: "ERROR: CM.read_VOS(): could not open file '%s' for reading.\n",
// exit 4.
NET* read_FORMAT_A_file(const std::string& path);

// ---- signal transition graphs ---------------------------------------------------
// Dot-command text (".model", ".inputs", ".outputs", ".internal", ".dummy",
// ".graph", ".marking", ".capacity", ".end").  Signal edges become
// transitions ("a+", "b-", "c~", "a+/2"), other names places, and an arc
// between two edges an implicit place "zzzplace%u".  Reports its progress on
// standard output.  Open failure:
// "ERROR: CM.read_STG(): could not open file '%s' for reading.\n", exit 4.
NET* read_STG(const std::string& path);

// ---- communicating automata -----------------------------------------------------
// A file of "FSA" blocks; builds the product net: states are places
// "%05u%016u" (automaton, state), local moves transitions "%05u%016u"
// (automaton, move), each matching call/accept pair a synchronised transition
// "%05u%016u" (automata + 1, counter).  Places and transitions are numbered
// 1, 2, ... in list order.  Open failure:
// "ERROR: CM.read_FSA(): could not open file '%s' for reading.\n", exit 4.
NET* read_FSA(const std::string& path);

// ---- LISP and Matlab nets -------------------------------------------------------
// (define transitions '( ((in ...) (out ...)) ... ))
// (define initial-tokens '( place ... ))
// Transitions are named "T%u" and numbered in file order, places numbered in
// order of first appearance; each name in the token list is one token.  Open failure:
// "ERROR: CM.read_LISP(): could not open file '%s' for reading.\n", exit 4.
NET* read_LISP(const std::string& path);

// Matlab script with the sparse matrices "Fm" (place -> transition), "Fp"
// (transition -> place) and "M0", as the unfolder writes for a prefix.
// Places are named "P%08u", transitions "T%08u" after their numbers; token
// counts are kept as read, arc weights above 1 are syntax errors.  Open
// failure: "ERROR: could not open file '%s' for reading.\n", exit 4.
NET* read_Matlab(const std::string& path);

// ---- incidence matrix, start marking, GSPN ----------------------------------------
// Writes the incidence matrix ("%d %d \n", "Inzidenzmatrix: \n", header row,
// one row per place with "(-a,b)" entries); "WARNING: NN.output_matrix(): not
// a net.\n" for no net.
void output_matrix(NET* net, std::FILE* stream);
// The matrix on standard output.
void print_net_matrix(NET* net);
// The matrix into a file; open or write failure:
// "WARNING: NN.write_matrix(): could not open file '%s' for writing.\n"
// (resp. "could not write file"), exit 5.
void write_matrix(NET* net, const std::string& path);
// Appends "\nStartmarkierung: \n( m1 ,m2 ... ) \n" to the file; open failure
// "WARNING: NN.write_netmarking(): could not open file '%s' for reading.\n",
// exit 4; write failure "WARNING: NN.write_netmarking(): could not write file
// '%s'.\n", exit 5.
void write_netmarking(NET* net, const std::string& path);
// Reads a matrix written by output_matrix followed by a start marking
// appended by write_netmarking.  Open failure:
// "WARNING: NN.read_matrix(): could not open file '%s' for reading.\n", exit 4.
NET* read_matrix(const std::string& path);

// Reads the net part of a GSPN net description.  A net with inhibitor arcs
// gives "WARNING: NN.gspn_ini(): net contains inhibitor arcs.\n" and an empty
// result.  Open failure:
// "WARNING: NN.gspn_ini(): could not open file '%s' for reading.\n", exit 4.
NET* gspn_ini(const std::string& path);

// ---- layout export ------------------------------------------------------------------
// Writes a net read with kept extras (vos_options.keep_extras) as lists
// "Place", "Transition", "Edge" and "Token" for a drawing tool: names,
// positions, labels, texts, edges with their midpoints and inscriptions, and
// the high-level initial markings.  Labels are placed at their node.  Without
// kept extras: syntax error "Internal Error: 'CM_storeCoordinates' not set";
// open failure: syntax error "Could not open file for writing".
void export_layout(NET* net, const std::string& path);

}  // namespace netlib
