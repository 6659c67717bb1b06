// statecast's side files: the source-position records that net elements
// refer to, the properties file read before parsing, and the reference and
// information files written after the net.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "mnet_net.h"
#include "tree.h"

namespace statecast {

// Kinds of position records; the letter of kind k is "KECRSX VIOPUAWLT"[k].
enum RefKind : std::uint8_t {
    RK_SYSTEM = 0, RK_ENV = 1, RK_CHANNEL = 2, RK_ROUTE = 3, RK_SIGNAL = 4, RK_TOGGLE = 5,
    RK_VARIABLE = 7, RK_IN_PARAM = 8, RK_OUT_PARAM = 9, RK_PROCESS = 10, RK_PROCEDURE = 11,
    RK_STATEMENT = 12, RK_W = 13, RK_L = 14, RK_TEXT = 15,
};

// A source range (lines and columns from 1, both ends inclusive) with the
// construct it describes.  Records are numbered from 1 in creation order;
// the number is what net elements carry as their reference.
struct PosRec {
    std::uint32_t line1 = 0, col1 = 0, line2 = 0, col2 = 0;
    std::uint8_t kind = 0;
    Ident* construct = nullptr;
    std::uint32_t extra = 0;
    std::uint16_t number = 0;
};

// A token position: line, first and last column.
struct Pos {
    std::uint32_t line = 0, col1 = 0, col2 = 0;
};

// Makes the next record, from the first column of `from` to the last column
// of `to`.  More than 65535 records are fatal (reference numbers are 16-bit).
PosRec* new_posrec(RefKind kind, const Pos& from, const Pos& to, Ident* construct = nullptr);
const std::deque<PosRec>& posrecs();

// ---------------------------------------------------------------------------
// Properties ("IF_Properties").
void read_if_properties(const std::string& file_name, bool explicit_name);
std::int32_t get_if_property(const std::string& name, std::int32_t default_value);

// ---------------------------------------------------------------------------
// Information lists, filled by the numbering; the state entries come from the
// parser.
struct PidEntry {
    std::string name;
    std::int32_t instance;
    std::int32_t pid;
};
void add_pid_entry(const std::string& name, std::int32_t instance, std::int32_t pid);
void add_signal_entry(const SignalObj* signal);
const std::vector<PidEntry>& pid_entries();

void write_if_information(const std::string& file_name, const Program& program);

// The text of a signal instance, "b(0,False)", from its number.
std::string signal_instance_text(const SignalObj* signal, std::int32_t number);

// ---------------------------------------------------------------------------
// The reference file ("References_IF_HL"), written after the net.  The
// source slices are cut from the text that was parsed, not from the file
// read again: an input read from a pipe gives nothing the second time.
void write_if_references(const std::string& file_name, mnet::MNet* net, const std::string& source_text);

// The text of a source range as the reference file writes it: inclusive
// columns, without double quotes and line ends; ranges are clamped to the
// source.
std::string source_slice(const std::vector<std::string>& lines, const PosRec& r);

// Resets every list (tests run several translations in one process).
void reset_side_files();

}  // namespace statecast
