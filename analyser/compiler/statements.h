// The statements of a net description that the control-line dispatch hands
// over: #place, #tester, #trans ... #endtr, #verify and #prec; and the
// statement text reader that evaluates the expressions written in them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "marking.h"
#include "ppio.h"

namespace tulc {

void PlaceStatement();
void TesterStatement();
void TransStatement();
void VerifyStatement();
void PrecStatement();

// Clause words of the statement text reader.
enum class Clause { kMk, kLo, kHi, kReject, kDeadlock, kLivelock, kInfinite };

// Reads the text of an expression and evaluates it.  Integer mode
// (marking == nullptr): tokens must hold the expression.  Marking mode:
// without tokens, the text is collected up to the ")" that closes the
// clause on the current line.  Returns the error indicator: 0 on success, 1
// when the ")" was missing, 3 for an empty integer expression, other
// non-zero values after a parse error.
int ReadStatementText(Marking* marking, const std::string& owner, Clause clause, bool ownerIsTester,
                      const std::vector<Token>* tokens, std::uint32_t* integer);

}  // namespace tulc
