// The reference file of autocast ("References_PFA_HL"): the definitions of
// the reference table (states, automata, atomic actions, declared
// variables, channels and stacks) with their object numbers, then the
// references of every place, transition and phantom transition.
//
// Object numbers are kept beside the reference records, not in their
// coordinates: the state number of a state, the automaton counter of an
// automaton block, the arc number of an atomic action and the declaration
// counter of a declared variable, channel or stack.
#pragma once

#include <cstdint>
#include <string>

#include "mnet_net.h"
#include "mnet_symtab.h"

namespace autocast {

// Reference kinds of the table's records.
enum : std::uint8_t {
    KIND_VARIABLE = 2, KIND_CHANNEL = 3, KIND_STACK = 6,
    KIND_AUTOMATON = 8, KIND_STATE = 9, KIND_ACTION = 10,
};

// A new reference record of the kind, named, owned by the run (the
// reference table keeps its address): the records autocast makes itself
// for states, automaton blocks and atomic actions.
mnet::RefRecord* new_record(std::uint8_t kind, const std::string& name = std::string());

// The record's number in the reference table, always a new entry.
std::uint16_t new_ref_code(mnet::RefRecord* record);

void set_object_number(const mnet::RefRecord* record, std::uint16_t number);
std::uint16_t object_number(const mnet::RefRecord* record);
// The name written for a record of kind 8 or 9.
void set_record_name(const mnet::RefRecord* record, const std::string& name);

// Writes the reference file.  A file that cannot be opened throws a Failure
// with "could not open file %s for writing" (status 3).
void write_pfa_references(mnet::MNet* net, const std::string& path);

// Forgets the records and object numbers (for tests that run twice).
void reset_references();

}  // namespace autocast
