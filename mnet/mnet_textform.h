// Text forms of value sets, place types and transition guards, as the HLNet
// writer puts them into the Z and g fields; the set and guard parsers read
// them back.
#pragma once

#include <cstdio>
#include <string>

#include "mnet_net.h"

namespace mnet {

std::string valueset_text(const ValueSet& set);
void PrintValueSet(const ValueSet& set, std::FILE* f);
std::string place_type_text(const MPlace* p);
void print_place_type(const MPlace* p, std::FILE* f);
std::string guard_text(const MTransition* t);
void print_guard(const MTransition* t, std::FILE* f);
std::string term_text(const TermTable& table, const ComVars& vars, std::uint16_t index);
void print_term(std::FILE* f, const TermTable& table, const ComVars& vars, std::uint16_t index);

}  // namespace mnet
