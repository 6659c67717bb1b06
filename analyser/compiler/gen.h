// The code generator: the C text of one net for the analyser's engine.
//
// Writes the generated header text into _.h (already open, after what the
// preprocessor put there), the numbered source files "_%07lx.c" of the
// source directory and the lines of its build script _.sh.  A file that
// cannot be created, written or closed completely ends the program with a
// message and status 1.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "postproc.h"

namespace tulc {

// header: the open _.h stream named headerName (closed here); prefix: the
// source directory with its trailing separator.
void GenerateCode(std::FILE* header, const std::string& headerName, const std::string& prefix, const NETDESC& net);

// The line count after which a new source file is begun.
constexpr unsigned kGenFileLines = 799;

}  // namespace tulc
