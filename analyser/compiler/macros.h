// The macro table of the preprocessor.
//
// A macro body is a sequence of parts: parameter references, names and other
// texts.  A new macro whose body names macros is checked against cyclic
// definitions before it enters the table, so that expanding a body
// terminates; arguments are expanded while they are read, so they carry no
// macro names into the body.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ppio.h"

namespace tulc {

struct MacroPart {
    enum Kind { kParam, kName, kText } kind = kText;
    int param = 0;     // kParam: index in the parameter list
    std::string text;  // kName, kText
};

struct Macro {
    std::string name;
    std::vector<MacroPart> body;  // in reading order
    int paramCount = -1;          // -1: defined without a parameter list
    bool refersToNames = false;
    // Calls whose arguments are being read; while above 0 the macro cannot
    // be undefined.
    int expanding = 0;
    // Walk marks of the cycle check (valid when equal to the walk number).
    std::uint64_t visited = 0, onPath = 0;
};

void MacroTableInit();
Macro* MacroLookup(const std::string& name);
void MacroDelete(const std::string& name);
// Creates the macro from the definition tokens (up to the first newline
// token); reports a cyclic definition and returns null then.
Macro* MacroCreate(const std::string& name, const std::vector<std::string>* params,
                   const std::vector<Token>& definition);
// The body with each parameter reference replaced by the argument's texts.
std::string MacroExpansion(const Macro& macro, const std::vector<std::vector<Token>>& args);

}  // namespace tulc
