// The C code of a #verify proposition for the generated _BuchiOK.
#pragma once

#include <string>

#include "exprtree.h"

namespace tulc {

// Appends the statements that leave the proposition's value in _xprDom,
// at stack level 0; label is the label counter of the function.
void EmitProposition(std::string* out, const INTNODE& root, unsigned long* label);

}  // namespace tulc
